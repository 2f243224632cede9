#include <cstdio>

#include "runtime/Status.h"
#include "vs/Program.h"

namespace vs {
namespace {

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

[[noreturn]] void invalid(const std::string& reason) { rt::raiseStatus(D3DERR_INVALIDCALL, "CreateVertexShader", reason); }

class TokenReader {
public:
    explicit TokenReader(std::span<const uint32_t> tokens) : tokens_(tokens) {}
    size_t position() const { return pos_; }
    uint32_t next() {
        if (pos_ >= tokens_.size()) invalid("function tokens end without the end token");
        return tokens_[pos_++];
    }
    uint32_t parameter() {
        const size_t at = pos_;
        const uint32_t t = next();
        if (!(t & kParamBit)) invalid("token " + std::to_string(at) + " (" + hex(t) + ") is not a parameter token");
        return t;
    }

private:
    std::span<const uint32_t> tokens_;
    size_t pos_ = 0;
};

Destination decodeDestination(TokenReader& in) {
    const size_t at = in.position();
    const uint32_t t = in.parameter();
    // Result modifiers, shifts and the unused number bits have no meaning for vertex shaders.
    if (t & 0x0FF0E000u) invalid("destination token " + std::to_string(at) + " (" + hex(t) + ") has unsupported bits set");
    return Destination{RegType((t >> 28) & 7), uint16_t(t & kRegNumMask), uint8_t((t >> 16) & 0xF)};
}

Source decodeSource(TokenReader& in) {
    const size_t at = in.position();
    const uint32_t t = in.parameter();
    const uint32_t modifier = (t >> 24) & 0xF;
    if (modifier > 1 || (t & 0x0000C000u))
        invalid("source token " + std::to_string(at) + " (" + hex(t) + ") has unsupported bits set");
    return Source{RegType((t >> 28) & 7), uint16_t(t & kRegNumMask), uint8_t((t >> 16) & 0xFF), modifier == 1,
                  (t & kRelativeBit) != 0};
}

void skipComment(TokenReader& in, uint32_t token) {
    for (uint32_t n = (token >> 16) & 0x7FFF; n > 0; --n) in.next();
}

}  // namespace

Program decodeProgram(std::span<const uint32_t> tokens) {
    if (tokens.empty()) invalid("no function tokens");
    TokenReader in(tokens);
    Program program;
    program.version = in.next();
    if (program.version != kVersion10 && program.version != kVersion11)
        invalid("unsupported version token " + hex(program.version));
    for (uint32_t slots = 0; slots <= kMaxSlots;) {  // past the limit findFault has its fault
        const size_t at = in.position();
        const uint32_t t = in.next();
        if (t == kEndToken) break;
        if ((t & 0xFFFF) == kCommentOpcode && !(t & kParamBit)) {
            skipComment(in, t);
            continue;
        }
        const auto op = findOp(uint16_t(t & 0xFFFF));
        if (!op || (t >> 16) != 0) invalid("unknown instruction token " + hex(t) + " at token " + std::to_string(at));
        Instruction ins{*op, {}, {}};
        if (op->writes) ins.dst = decodeDestination(in);
        for (int s = 0; s < op->sources; ++s) ins.src[s] = decodeSource(in);
        program.instructions.push_back(ins);
        slots += op->slots;
    }
    if (auto fault = findFault(program))
        invalid("instruction " + std::to_string(fault->instruction) + ": " + fault->reason);
    return program;
}

}  // namespace vs
