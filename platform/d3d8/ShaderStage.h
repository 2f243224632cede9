#pragma once
// The programmable vertex path: a vs.1.x program run on the CPU over the vertices a draw
// references, fed from stream 0 as the shader's declaration describes.

#include <cstdint>

#include "d3d8/VertexStage.h"
#include "vs/Declaration.h"
#include "vs/Interpreter.h"

class ShaderStage : public VertexStage {
public:
    ShaderStage(vs::Declaration declaration, const vs::Program& program);

    void process(const VertexInput& input, std::span<const uint32_t> vertexNumbers,
                 ProcessedVertices& out, const char* call) override;
    void processRange(const VertexInput& input, uint32_t first, uint32_t count, ProcessedVertices& out,
                      const char* call) override;
    void loadDeclaredConstants(std::span<D3DXVECTOR4> registers) const override;
    uint32_t stream0VertexSize() const override { return declaration_.vertexSize; }

    const vs::Declaration& declaration() const { return declaration_; }

private:
    void checkStream(const VertexStream& stream, uint64_t highest, const char* call) const;
    void gatherConstants(const VertexInput& input);
    void shade(const VertexInput& input, vs::VertexSource& source, size_t count, ProcessedVertices& out);

    vs::Declaration declaration_;
    vs::CompiledShader shader_;
    vs::ConstantFile constants_{};
};
