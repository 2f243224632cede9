#pragma once
// Runs assembled source over a handful of vertices given as per-register input vectors.

#include <array>
#include <string>
#include <vector>

#include "vs/Assembler.h"
#include "vs/Interpreter.h"

namespace vstest {

using Vec4 = std::array<float, 4>;

// One vertex: the value of each bound input register (all bound as FLOAT4).
struct VertexIn {
    std::vector<std::pair<int, Vec4>> inputs;
};

struct VertexOut {
    std::array<Vec4, vs::kNumOutputRegisters> reg;
    const Vec4& pos() const { return reg[vs::OutPos]; }
    const Vec4& t0() const { return reg[vs::OutT0]; }
    const Vec4& d0() const { return reg[vs::OutD0]; }
};

inline vs::Program programOf(const std::string& source) {
    const vs::Assembly a = vs::assemble(source, "test.vsh");
    return vs::decodeProgram(a.function);
}

// Every vertex must bind the same registers, in the same order.
inline std::vector<VertexOut> runProgram(const std::string& source, const std::vector<VertexIn>& vertices,
                                         const vs::ConstantFile& constants = {}, unsigned threads = 1) {
    const vs::CompiledShader shader(programOf(source));
    std::vector<vs::InputBinding> bindings;
    const size_t perVertex = vertices.empty() ? 0 : vertices[0].inputs.size();
    for (size_t k = 0; k < perVertex; ++k)
        bindings.push_back({uint8_t(vertices[0].inputs[k].first), vs::InputType::Float4, uint32_t(k * 16)});
    std::vector<float> data;
    for (const VertexIn& v : vertices)
        for (const auto& [reg, value] : v.inputs) data.insert(data.end(), value.begin(), value.end());
    vs::VertexSource src;
    src.data = reinterpret_cast<const std::byte*>(data.data());
    src.stride = uint32_t(perVertex * 16);
    src.bindings = bindings;
    std::vector<float> store(vertices.size() * vs::kNumOutputRegisters * 4);
    vs::OutputArrays out;
    for (size_t r = 0; r < vs::kNumOutputRegisters; ++r)
        for (size_t c = 0; c < 4; ++c) out.comp[r][c] = store.data() + (r * 4 + c) * vertices.size();
    shader.run(constants, src, vertices.size(), out, threads);
    std::vector<VertexOut> result(vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i)
        for (size_t r = 0; r < vs::kNumOutputRegisters; ++r)
            for (size_t c = 0; c < 4; ++c) result[i].reg[r][c] = out.comp[r][c][i];
    return result;
}

// One vertex with v1 = value, through `body` (which writes oT0); oPos comes from v0.
inline Vec4 runOne(const std::string& body, const Vec4& v1, const vs::ConstantFile& constants = {}) {
    const std::string source = "vs.1.1\nmov oPos, v0\n" + body + "\n";
    return runProgram(source, {VertexIn{{{0, {0, 0, 0, 1}}, {1, v1}}}}, constants)[0].t0();
}

}  // namespace vstest
