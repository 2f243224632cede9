#pragma once
// Text to instructions, one small function per grammar rule (see Assembler.h). Only the form
// of the text is checked here; what the instructions may do is checked by findFault.

#include <string_view>
#include <vector>

#include "vs/Program.h"

namespace vs {

struct SourcePosition {
    int line = 1;
    int column = 1;
};

struct InstructionPositions {
    SourcePosition mnemonic;
    std::array<SourcePosition, 4> operands;  // destination, then sources
};

struct ParsedProgram {
    Program program;
    std::vector<InstructionPositions> positions;  // one per instruction
    std::vector<uint32_t> constants;
    // Where reading stopped, for faults of the whole program: the end of the text, or the
    // line of the first instruction past kMaxSlots, after which the parser reads no further.
    SourcePosition end;
};

struct ParseError {
    SourcePosition at;
    std::string reason;
};

// Throws ParseError.
ParsedProgram parseProgram(std::string_view text);

}  // namespace vs
