#pragma once
// The binary form of vs.1.0 / vs.1.1 programs: version, instruction, destination and source
// tokens, as the device and the assembler exchange them.

#include <cstdint>

#include "vs/Opcodes.h"

namespace vs {

inline constexpr uint32_t kVersion10 = 0xFFFE0100u;
inline constexpr uint32_t kVersion11 = 0xFFFE0101u;
inline constexpr uint32_t kEndToken = 0x0000FFFFu;
inline constexpr uint32_t kCommentOpcode = 0xFFFEu;
inline constexpr uint32_t kMaxSlots = 128;

inline constexpr uint32_t kNumTemps = 12;
inline constexpr uint32_t kNumInputs = 16;
inline constexpr uint32_t kNumConstants = 96;
inline constexpr uint32_t kNumTexCoords = 8;

enum class RegType : uint8_t {
    Temp = 0, Input = 1, Const = 2, Addr = 3, RastOut = 4, AttrOut = 5, TexCrdOut = 6,
};

// Register numbers inside the output files.
inline constexpr uint32_t kRastPos = 0, kRastFog = 1, kRastPts = 2;

inline constexpr uint32_t kSwizzleIdentity = 0xE4;  // x, y, z, w
inline constexpr uint32_t kMaskAll = 0xF;

inline constexpr uint32_t kParamBit = 0x80000000u;
inline constexpr uint32_t kRelativeBit = 0x00002000u;
inline constexpr uint32_t kRegNumMask = 0x00001FFFu;

constexpr uint32_t destinationToken(RegType type, uint32_t number, uint32_t writeMask) {
    return kParamBit | (uint32_t(type) << 28) | ((writeMask & 0xF) << 16) | (number & kRegNumMask);
}

constexpr uint32_t sourceToken(RegType type, uint32_t number, uint32_t swizzle, bool negate,
                               bool relative) {
    return kParamBit | (uint32_t(type) << 28) | (negate ? 1u << 24 : 0u) | ((swizzle & 0xFF) << 16) |
           (relative ? kRelativeBit : 0u) | (number & kRegNumMask);
}

// Component (0..3) that swizzle selects for output channel c.
constexpr uint32_t swizzleComponent(uint32_t swizzle, uint32_t c) { return (swizzle >> (2 * c)) & 3; }

// Declaration tokens of the constant fragment that `def` produces: CONST(addr, count) then
// 4 * count floats.
constexpr uint32_t constDeclToken(uint32_t address, uint32_t count) {
    return 0x80000000u | (count << 25) | address;
}

}  // namespace vs
