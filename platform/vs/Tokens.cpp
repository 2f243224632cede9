#include "vs/Tokens.h"

#include <array>

namespace vs {
namespace {

constexpr std::array<OpInfo, 26> kOps{{
    {"nop", Opcode::Nop, 0, 1},   {"mov", Opcode::Mov, 1, 1},   {"add", Opcode::Add, 2, 1},
    {"sub", Opcode::Sub, 2, 1},   {"mad", Opcode::Mad, 3, 1},   {"mul", Opcode::Mul, 2, 1},
    {"rcp", Opcode::Rcp, 1, 1},   {"rsq", Opcode::Rsq, 1, 1},   {"dp3", Opcode::Dp3, 2, 1},
    {"dp4", Opcode::Dp4, 2, 1},   {"min", Opcode::Min, 2, 1},   {"max", Opcode::Max, 2, 1},
    {"slt", Opcode::Slt, 2, 1},   {"sge", Opcode::Sge, 2, 1},   {"exp", Opcode::Exp, 1, 12},
    {"log", Opcode::Log, 1, 12},  {"lit", Opcode::Lit, 1, 1},   {"dst", Opcode::Dst, 2, 1},
    {"frc", Opcode::Frc, 1, 3},   {"m4x4", Opcode::M4x4, 2, 4}, {"m4x3", Opcode::M4x3, 2, 3},
    {"m3x4", Opcode::M3x4, 2, 4}, {"m3x3", Opcode::M3x3, 2, 3}, {"m3x2", Opcode::M3x2, 2, 2},
    {"expp", Opcode::Expp, 1, 1}, {"logp", Opcode::Logp, 1, 1},
}};

}  // namespace

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
