#pragma once
// The seam between input assembly and rasterization. A draw first collects the distinct
// vertex numbers its primitives reference, asks the current VertexStage to process exactly
// those vertices once, and hands the processed vertices to the rasterizer. The fixed path
// (pre-transformed vertices) and the programmable path (vs.1.1 on the CPU) are two
// implementations of VertexStage; the device does not care which one it holds.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <numeric>
#include <span>
#include <vector>

#include "math/d3dmath.h"
#include "runtime/UnzeroedAllocator.h"

// A column of ProcessedVertices. The vertex stage writes every entry of a draw, so growing a
// column need not zero it first: a frame whose draws alternate between a few thousand and a
// few hundred thousand vertices would otherwise clear megabytes per draw.
using VertexColumn = std::vector<float, rt::UnzeroedAllocator<float>>;

// Processed vertices in structure-of-arrays form, one entry per processed vertex.
// Positions are Direct3D clip coordinates: the visible volume is -w <= x <= w,
// -w <= y <= w, 0 <= z <= w. Colours are already clamped to 0..1.
struct ProcessedVertices {
    VertexColumn x, y, z, w;
    VertexColumn r, g, b, a;      // diffuse (oD0)
    VertexColumn sr, sg, sb, sa;  // specular (oD1)
    VertexColumn u, v;            // texture coordinate set 0 (oT0.xy)

    std::size_t size() const { return x.size(); }
    // Sizes every array to n; capacity is kept, so a device reusing one instance does not
    // reallocate from frame to frame.
    void resize(std::size_t n) {
        for (auto* column : {&x, &y, &z, &w, &r, &g, &b, &a, &sr, &sg, &sb, &sa, &u, &v})
            column->resize(n);
    }
};

// One vertex stream as the draw sees it: the bytes of a vertex buffer or of the caller's
// memory (DrawPrimitiveUP), and the distance between consecutive vertices.
struct VertexStream {
    std::span<const std::byte> bytes;
    uint32_t stride = 0;
};

inline constexpr uint32_t kMaxVertexStreams = 16;
inline constexpr uint32_t kVertexShaderConstantCount = 96;

// Everything a vertex stage may read while it processes a draw's vertices.
struct VertexInput {
    std::array<VertexStream, kMaxVertexStreams> streams{};
    // The vertex shader constant registers c0..c95 as the device holds them.
    std::span<const D3DXVECTOR4> constants;
};

class VertexStage {
public:
    virtual ~VertexStage() = default;

    // Processes the vertices numbered vertexNumbers[i] (base vertex already added; each is
    // an index into every stream) into out[i]; out is resized to vertexNumbers.size().
    // A vertex that lies beyond the end of a stream raises D3DERR_INVALIDCALL naming `call`.
    virtual void process(const VertexInput& input, std::span<const uint32_t> vertexNumbers,
                         ProcessedVertices& out, const char* call) = 0;

    // The same for the vertices numbered first .. first + count - 1 (a run of a draw without
    // indices): a stage that reads them in order overrides it and is spared their numbers.
    virtual void processRange(const VertexInput& input, uint32_t first, uint32_t count, ProcessedVertices& out,
                              const char* call) {
        rangeNumbers_.resize(count);
        std::iota(rangeNumbers_.begin(), rangeNumbers_.end(), first);
        process(input, rangeNumbers_, out, call);
    }

    // Called when the stage becomes the current one: a shader whose declaration carries
    // constants loads them into the device's registers here, once, so that a later
    // SetVertexShaderConstant on the same registers wins.
    virtual void loadDeclaredConstants(std::span<D3DXVECTOR4> /*registers*/) const {}

    // The bytes per vertex the stage reads from stream 0 (for DrawPrimitiveUP's stride check);
    // 0 when it does not know.
    virtual uint32_t stream0VertexSize() const = 0;

private:
    std::vector<uint32_t> rangeNumbers_;
};
