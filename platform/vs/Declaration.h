#pragma once
// Vertex declarations: which bytes of each stream-0 vertex feed which input register, and the
// constants a declaration loads. Token layout: bits 31..29 token type (0 NOP, 1 STREAM,
// 2 STREAMDATA, 3 TESSELLATOR, 4 CONSTMEM, 5 EXT, 7 END).

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "vs/Interpreter.h"

namespace vs {

// D3DVSDT_* data types that this device reads.
inline constexpr uint32_t kDeclFloat1 = 0, kDeclFloat2 = 1, kDeclFloat3 = 2, kDeclFloat4 = 3, kDeclColor = 4;

struct DeclaredConstant {
    uint32_t reg;
    std::array<float, 4> value;
};

struct Declaration {
    std::vector<InputBinding> bindings;  // in declaration order
    uint32_t vertexSize = 0;             // bytes of one stream-0 vertex the declaration covers
    std::vector<DeclaredConstant> constants;
    size_t tokenCount = 0;               // tokens read, the end token included
};

// Reads tokens up to the end token. Only stream 0 is supported. Raises D3DERR_INVALIDCALL
// naming the token and the reason (unknown token type, register or data type out of range,
// data before a stream selector, constants beyond c95, no end token within `tokens`).
Declaration parseDeclaration(std::span<const uint32_t> tokens);

uint32_t inputTypeSize(InputType type);

}  // namespace vs
