#pragma once
// Everything the assembler, the decoder, the validator and the interpreter know about each
// vs.1.x operation, in one table (Opcodes.cpp): a new instruction is one row there, plus a
// kernel in Kernels.cpp if it computes something no existing kernel does.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vs {

enum class Opcode : uint16_t {
    Nop = 0, Mov = 1, Add = 2, Sub = 3, Mad = 4, Mul = 5, Rcp = 6, Rsq = 7, Dp3 = 8, Dp4 = 9,
    Min = 10, Max = 11, Slt = 12, Sge = 13, Exp = 14, Log = 15, Lit = 16, Dst = 17, Frc = 19,
    M4x4 = 20, M4x3 = 21, M3x4 = 22, M3x3 = 23, M3x2 = 24, Expp = 78, Logp = 79,
};

// What the interpreter computes for an operation; a matrix macro runs its kernel once per
// row. MovA0 is mov with a0 as its destination, which rounds instead of copying.
enum class Kernel : uint8_t {
    None, Mov, MovA0, Add, Mad, Mul, Dp3, Dp4, Min, Max, Slt, Sge, Rcp, Rsq, Exp, Log, Expp, Logp, Lit, Dst, Frc,
};

// In OpInfo::reads: the operation reads, in each source, the channels it writes.
inline constexpr uint8_t kReadsWritten = 0;

struct OpInfo {
    std::string_view name;  // the mnemonic, lower case
    Opcode opcode;
    bool writes;            // has a destination operand (all but nop)
    uint8_t sources;        // operands after the destination
    uint8_t slots;          // instruction slots the operation takes, macros counted expanded
    Kernel kernel;
    // Channels (bit c = channel c, after the swizzle) read from each source: a scalar
    // operation reads w only, a dot product xyz or xyzw.
    std::array<uint8_t, 3> reads;
    uint8_t matrixRows;     // matrix macros: consecutive registers the second source spans
    uint16_t writeMasks;    // bit m: write mask m is allowed
};

// Every write mask but the empty one.
inline constexpr uint16_t kAnyWriteMask = 0xFFFE;

// The channels source `index` reads under write mask `mask`.
constexpr uint32_t channelsRead(const OpInfo& op, int index, uint32_t mask) {
    const uint8_t reads = op.reads[size_t(index)];
    return reads == kReadsWritten ? mask : reads;
}

// Whether channel c of the result depends on channel c of the sources only.
constexpr bool worksPerChannel(const OpInfo& op) { return op.writes && op.reads[0] == kReadsWritten; }

std::span<const OpInfo> opcodeTable();

// The operation with this mnemonic (lower case) or opcode; nullopt when there is none.
std::optional<OpInfo> findOp(std::string_view mnemonic);
std::optional<OpInfo> findOp(uint16_t opcode);

}  // namespace vs
