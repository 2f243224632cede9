#pragma once
// A vertex-shader program decoded from its tokens, and the checks every program must pass
// before it runs. The assembler builds the same form from text and runs the same checks, so
// a program is judged the same way whether it arrives as text or as tokens.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vs/Tokens.h"

namespace vs {

struct Destination {
    RegType type = RegType::Temp;
    uint16_t number = 0;
    uint8_t mask = kMaskAll;
};

struct Source {
    RegType type = RegType::Temp;
    uint16_t number = 0;  // with `relative`, the offset added to a0.x
    uint8_t swizzle = kSwizzleIdentity;
    bool negate = false;
    bool relative = false;
};

struct Instruction {
    OpInfo op;
    Destination dst;
    std::array<Source, 3> src;
};

struct Program {
    uint32_t version = kVersion11;
    std::vector<Instruction> instructions;
};

// A rule a program breaks: the instruction (instructions.size() for the program as a whole),
// the operand (0 destination, 1..3 sources, -1 the instruction itself) and why.
struct ProgramFault {
    size_t instruction;
    int operand;
    std::string reason;
};

std::optional<ProgramFault> findFault(const Program& program);

// Decodes function tokens up to the end token and checks them. Anything malformed or invalid
// raises D3DERR_INVALIDCALL naming the token or instruction and the reason.
Program decodeProgram(std::span<const uint32_t> tokens);

// Function tokens of a program (version, instructions, end token).
std::vector<uint32_t> encodeProgram(const Program& program);

// The token format has no subtraction for vertex shaders: a - b is written, and run, as
// a + (-b). Any other instruction comes back unchanged.
Instruction withoutSubtraction(const Instruction& ins);

}  // namespace vs
