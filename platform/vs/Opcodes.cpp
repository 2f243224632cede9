#include "vs/Opcodes.h"

namespace vs {
namespace {

constexpr uint8_t W = kReadsWritten;
constexpr uint16_t kAny = kAnyWriteMask;
constexpr uint16_t kFrcMasks = (1u << 0x2) | (1u << 0x3);  // .y or .xy

// name, opcode, writes, sources, slots, kernel, channels read per source, matrix rows, write masks
constexpr OpInfo kOps[] = {
    {"nop", Opcode::Nop, false, 0, 1, Kernel::None, {}, 0, 0},
    {"mov", Opcode::Mov, true, 1, 1, Kernel::Mov, {W}, 0, kAny},
    {"add", Opcode::Add, true, 2, 1, Kernel::Add, {W, W}, 0, kAny},
    {"sub", Opcode::Sub, true, 2, 1, Kernel::Add, {W, W}, 0, kAny},  // a + (-b), see withoutSubtraction
    {"mad", Opcode::Mad, true, 3, 1, Kernel::Mad, {W, W, W}, 0, kAny},
    {"mul", Opcode::Mul, true, 2, 1, Kernel::Mul, {W, W}, 0, kAny},
    {"rcp", Opcode::Rcp, true, 1, 1, Kernel::Rcp, {0x8}, 0, kAny},
    {"rsq", Opcode::Rsq, true, 1, 1, Kernel::Rsq, {0x8}, 0, kAny},
    {"dp3", Opcode::Dp3, true, 2, 1, Kernel::Dp3, {0x7, 0x7}, 0, kAny},
    {"dp4", Opcode::Dp4, true, 2, 1, Kernel::Dp4, {0xF, 0xF}, 0, kAny},
    {"min", Opcode::Min, true, 2, 1, Kernel::Min, {W, W}, 0, kAny},
    {"max", Opcode::Max, true, 2, 1, Kernel::Max, {W, W}, 0, kAny},
    {"slt", Opcode::Slt, true, 2, 1, Kernel::Slt, {W, W}, 0, kAny},
    {"sge", Opcode::Sge, true, 2, 1, Kernel::Sge, {W, W}, 0, kAny},
    {"exp", Opcode::Exp, true, 1, 12, Kernel::Exp, {0x8}, 0, kAny},
    {"log", Opcode::Log, true, 1, 12, Kernel::Log, {0x8}, 0, kAny},
    {"lit", Opcode::Lit, true, 1, 1, Kernel::Lit, {0xB}, 0, kAny},
    {"dst", Opcode::Dst, true, 2, 1, Kernel::Dst, {0x6, 0xA}, 0, kAny},
    {"frc", Opcode::Frc, true, 1, 3, Kernel::Frc, {W}, 0, kFrcMasks},
    {"m4x4", Opcode::M4x4, true, 2, 4, Kernel::Dp4, {0xF, 0xF}, 4, kAny},
    {"m4x3", Opcode::M4x3, true, 2, 3, Kernel::Dp4, {0xF, 0xF}, 3, kAny},
    {"m3x4", Opcode::M3x4, true, 2, 4, Kernel::Dp3, {0x7, 0x7}, 4, kAny},
    {"m3x3", Opcode::M3x3, true, 2, 3, Kernel::Dp3, {0x7, 0x7}, 3, kAny},
    {"m3x2", Opcode::M3x2, true, 2, 2, Kernel::Dp3, {0x7, 0x7}, 2, kAny},
    {"expp", Opcode::Expp, true, 1, 1, Kernel::Expp, {0x8}, 0, kAny},
    {"logp", Opcode::Logp, true, 1, 1, Kernel::Logp, {0x8}, 0, kAny},
};

}  // namespace

std::span<const OpInfo> opcodeTable() { return kOps; }

std::optional<OpInfo> findOp(std::string_view mnemonic) {
    for (const OpInfo& op : kOps)
        if (op.name == mnemonic) return op;
    return std::nullopt;
}

std::optional<OpInfo> findOp(uint16_t opcode) {
    for (const OpInfo& op : kOps)
        if (uint16_t(op.opcode) == opcode) return op;
    return std::nullopt;
}

}  // namespace vs
