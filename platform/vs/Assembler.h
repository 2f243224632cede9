#pragma once
// The vs.1.0 / vs.1.1 assembly language: text in, function tokens and constant declaration
// tokens out. Grammar, one statement per line, comments from ';' or '//' to the line end:
//   program     := version-line { def-line } { instruction-line }
//   version     := "vs.1.0" | "vs.1.1"
//   def         := "def" cN "," float "," float "," float "," float
//   instruction := mnemonic [ destination { "," source } ]
//   destination := register [ "." mask ]            mask letters from xyzw in that order
//   source      := [ "-" ] register [ "." swizzle ]  1-4 letters of xyzw / rgba; a short
//                                                    swizzle repeats its last letter
//   register    := rN | vN | cN | "c[" "a0.x" [ "+" N ] "]" | a0 | oPos | oFog | oPts | oDN | oTN
// Mnemonics and register names are case-insensitive. A program has at most 96 def lines (one
// per constant register) and 128 instruction slots; reading stops at the first line past either.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vs {

struct Assembly {
    std::vector<uint32_t> function;   // version, instructions, end token
    std::vector<uint32_t> constants;  // CONST(n, 1) and four floats per def, in source order
};

class AssemblyError : public std::runtime_error {
public:
    AssemblyError(const std::string& file, int line, int column, std::string reason);
    int line() const { return line_; }
    int column() const { return column_; }
    const std::string& reason() const { return reason_; }

private:
    int line_;
    int column_;
    std::string reason_;
};

// Assembles `text`; fileName only names the source in error messages ("file:line:column: reason").
// Raises AssemblyError for the first fault found.
Assembly assemble(std::string_view text, std::string_view fileName);

}  // namespace vs
