#include "d3d8/ShaderStage.h"

#include <algorithm>
#include <string>

#include "runtime/Status.h"

ShaderStage::ShaderStage(vs::Declaration declaration, const vs::Program& program)
    : declaration_(std::move(declaration)), shader_(program) {}

void ShaderStage::checkStream(const VertexStream& stream, uint64_t highest, const char* call) const {
    if (declaration_.bindings.empty()) return;
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
    if (!vertexNumbers.empty())
        checkStream(input.streams[0], *std::max_element(vertexNumbers.begin(), vertexNumbers.end()), call);
    vs::VertexSource source;
    source.indices = vertexNumbers;
    shade(input, source, vertexNumbers.size(), out);
}

void ShaderStage::processRange(const VertexInput& input, uint32_t first, uint32_t count, ProcessedVertices& out,
                               const char* call) {
    if (count > 0) checkStream(input.streams[0], uint64_t{first} + count - 1, call);
    vs::VertexSource source;
    source.first = first;
    shade(input, source, count, out);
}

void ShaderStage::shade(const VertexInput& input, vs::VertexSource& source, size_t count, ProcessedVertices& out) {
    const VertexStream& stream = input.streams[0];
    gatherConstants(input);
    out.resize(count);
    source.data = stream.bytes.data();
    source.stride = stream.stride;
    source.bindings = declaration_.bindings;
    vs::OutputArrays arrays;
    arrays.comp[vs::OutPos] = {out.x.data(), out.y.data(), out.z.data(), out.w.data()};
    arrays.comp[vs::OutD0] = {out.r.data(), out.g.data(), out.b.data(), out.a.data()};
    arrays.comp[vs::OutD1] = {out.sr.data(), out.sg.data(), out.sb.data(), out.sa.data()};
    arrays.comp[vs::OutT0] = {out.u.data(), out.v.data(), nullptr, nullptr};
    shader_.run(constants_, source, count, arrays);
}
