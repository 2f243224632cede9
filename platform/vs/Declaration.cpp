#include "vs/Declaration.h"

#include <bit>
#include <cstdio>
#include <string>

#include "runtime/Status.h"

namespace vs {
namespace {

[[noreturn]] void invalid(size_t at, uint32_t token, const std::string& reason) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "declaration token %zu (0x%08X): ", at, token);
    rt::raiseStatus(D3DERR_INVALIDCALL, "CreateVertexShader", buf + reason);
}

enum TokenType : uint32_t { Nop = 0, Stream = 1, StreamData = 2, Tessellator = 3, ConstMem = 4, Ext = 5, End = 7 };

struct DeclReader {
    std::span<const uint32_t> tokens;
    size_t pos = 0;
    Declaration out;
    bool haveStream = false;

    void streamData(uint32_t t) {
        if (!haveStream) invalid(pos, t, "vertex data before a stream selector");
        if (t & 0x10000000u) {  // SKIP(count): count dwords of the vertex are not read
            out.vertexSize += ((t >> 16) & 0xF) * 4;
            return;
        }
        const uint32_t type = (t >> 16) & 0xF;
        const uint32_t reg = t & 0x1F;
        if (t & 0x0FF0FFE0u) invalid(pos, t, "unsupported bits set in a register binding");
        if (reg >= kNumInputs) invalid(pos, t, "input register v" + std::to_string(reg) + " out of range (v0-v15)");
        if (type > kDeclColor) invalid(pos, t, "data type " + std::to_string(type) + " is not supported");
        const InputType input = InputType(type);
        out.bindings.push_back({uint8_t(reg), input, out.vertexSize});
        out.vertexSize += inputTypeSize(input);
    }

    void constants(uint32_t t) {
        const uint32_t count = (t >> 25) & 0xF;
        const uint32_t address = t & 0x7F;
        if (address + count > kNumConstants) invalid(pos, t, "constants beyond c95");
        if (pos + 1 + size_t(count) * 4 > tokens.size()) invalid(pos, t, "constant data runs past the declaration");
        for (uint32_t k = 0; k < count; ++k) {
            DeclaredConstant c{address + k, {}};
            for (size_t i = 0; i < 4; ++i) c.value[i] = std::bit_cast<float>(tokens[pos + 1 + k * 4 + i]);
            out.constants.push_back(c);
        }
        pos += size_t(count) * 4;
    }

    // Returns false at the end token.
    bool step() {
        const uint32_t t = tokens[pos];
        switch (t >> 29) {
        case End:
            if (t != 0xFFFFFFFFu) invalid(pos, t, "malformed end token");
            return false;
        case Nop:
            if (t != 0) invalid(pos, t, "malformed NOP token");
            break;
        case Stream:
            if ((t & 0x1FFFFFFFu) != 0) invalid(pos, t, "only stream 0 is supported");
            haveStream = true;
            break;
        case StreamData: streamData(t); break;
        case ConstMem: constants(t); break;
        case Ext: pos += (t >> 24) & 0x1F; break;  // extension data this device does not use
        default: invalid(pos, t, "token type " + std::to_string(t >> 29) + " is not supported");
        }
        ++pos;
        return true;
    }
};

}  // namespace

uint32_t inputTypeSize(InputType type) {
    switch (type) {
    case InputType::Float1: return 4;
    case InputType::Float2: return 8;
    case InputType::Float3: return 12;
    case InputType::Float4: return 16;
    case InputType::D3DColor: return 4;
    }
    return 0;
}

Declaration parseDeclaration(std::span<const uint32_t> tokens) {
    DeclReader reader;
    reader.tokens = tokens;
    for (;;) {
        if (reader.pos >= tokens.size()) rt::raiseStatus(D3DERR_INVALIDCALL, "CreateVertexShader", "declaration has no end token");
        if (!reader.step()) break;
    }
    reader.out.tokenCount = reader.pos + 1;
    return std::move(reader.out);
}

}  // namespace vs
