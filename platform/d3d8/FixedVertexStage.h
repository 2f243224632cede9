#pragma once
// The fixed vertex path: vertices described by a flexible vertex format code. It draws
// pre-transformed vertices (D3DFVF_XYZRHW with optional diffuse, specular and texture
// coordinates); untransformed formats need a vertex shader on this device.

#include <cstdint>

#include "d3d8/VertexStage.h"

class FixedVertexStage : public VertexStage {
public:
    // The stage needs the viewport to take screen positions back to clip coordinates.
    void setFormat(uint32_t fvf) { fvf_ = fvf; }
    uint32_t format() const { return fvf_; }
    void setViewport(uint32_t width, uint32_t height) {
        width_ = width;
        height_ = height;
    }

    void process(const VertexInput& input, std::span<const uint32_t> vertexNumbers,
                 ProcessedVertices& out, const char* call) override;
    uint32_t stream0VertexSize() const override;

private:
    uint32_t fvf_ = 0;
    uint32_t width_ = 1, height_ = 1;
};
