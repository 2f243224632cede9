#include "d3d8/ShaderStage.h"

#include <algorithm>
#include <string>

#include "runtime/Status.h"

ShaderStage::ShaderStage(vs::Declaration declaration, const vs::Program& program)
    : declaration_(std::move(declaration)), shader_(program) {}

void ShaderStage::checkStream(const VertexStream& stream, std::span<const uint32_t> vertexNumbers,
                              const char* call) const {
    if (declaration_.bindings.empty() || vertexNumbers.empty()) return;
    const uint64_t highest = *std::max_element(vertexNumbers.begin(), vertexNumbers.end());
    const uint64_t end = highest * stream.stride + declaration_.vertexSize;
    if (stream.bytes.data() == nullptr || end > stream.bytes.size())
        rt::raiseInvalidCall(call, "vertex " + std::to_string(highest) + " lies beyond the end of stream 0 (" +
                                       std::to_string(stream.bytes.size()) + " bytes, stride " +
                                       std::to_string(stream.stride) + ")");
}

void ShaderStage::gatherConstants(const VertexInput& input) {
    const size_t n = std::min<size_t>(input.constants.size(), vs::kNumConstants);
    for (size_t r = 0; r < n; ++r) {
        const D3DXVECTOR4& c = input.constants[r];
        constants_[r] = {c.x, c.y, c.z, c.w};
    }
}

void ShaderStage::loadDeclaredConstants(std::span<D3DXVECTOR4> registers) const {
    for (const vs::DeclaredConstant& c : declaration_.constants) {
        if (c.reg < registers.size()) registers[c.reg] = {c.value[0], c.value[1], c.value[2], c.value[3]};
    }
}

void ShaderStage::process(const VertexInput& input, std::span<const uint32_t> vertexNumbers,
                          ProcessedVertices& out, const char* call) {
    const VertexStream& stream = input.streams[0];
    checkStream(stream, vertexNumbers, call);
    gatherConstants(input);
    out.resize(vertexNumbers.size());
    vs::VertexSource source;
    source.data = stream.bytes.data();
    source.stride = stream.stride;
    source.bindings = declaration_.bindings;
    source.indices = vertexNumbers;
    vs::OutputArrays arrays;
    arrays.comp[vs::OutPos] = {out.x.data(), out.y.data(), out.z.data(), out.w.data()};
    arrays.comp[vs::OutD0] = {out.r.data(), out.g.data(), out.b.data(), out.a.data()};
    arrays.comp[vs::OutD1] = {out.sr.data(), out.sg.data(), out.sb.data(), out.sa.data()};
    arrays.comp[vs::OutT0] = {out.u.data(), out.v.data(), nullptr, nullptr};
    shader_.run(constants_, source, vertexNumbers.size(), arrays);
}
