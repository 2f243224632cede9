#include "d3d8/FixedVertexStage.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "d3d8/d3d8types.h"
#include "runtime/Status.h"

namespace {

struct Layout {
    uint32_t diffuse = 0, specular = 0, texcoord = 0;  // byte offsets; 0: absent
    bool hasDiffuse = false, hasSpecular = false, hasTexcoord = false, texcoordHasV = false;
};

Layout layoutOf(uint32_t fvf) {
    Layout l;
    uint32_t offset = 16;  // x, y, z, rhw
    if (fvf & D3DFVF_NORMAL) offset += 12;
    if (fvf & D3DFVF_PSIZE) offset += 4;
    if (fvf & D3DFVF_DIFFUSE) l.hasDiffuse = true, l.diffuse = offset, offset += 4;
    if (fvf & D3DFVF_SPECULAR) l.hasSpecular = true, l.specular = offset, offset += 4;
    if ((fvf & D3DFVF_TEXCOUNT_MASK) != 0) {
        l.hasTexcoord = true;
        l.texcoord = offset;
        l.texcoordHasV = ((fvf >> 16) & 3) != 3;  // set 0 of one float has no v
    }
    return l;
}

float readFloat(const std::byte* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

void readColor(const std::byte* p, float& r, float& g, float& b, float& a) {
    uint32_t c;
    std::memcpy(&c, p, 4);
    r = static_cast<float>((c >> 16) & 0xFF) * (1.0f / 255.0f);
    g = static_cast<float>((c >> 8) & 0xFF) * (1.0f / 255.0f);
    b = static_cast<float>(c & 0xFF) * (1.0f / 255.0f);
    a = static_cast<float>(c >> 24) * (1.0f / 255.0f);
}

std::string hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

}  // namespace

uint32_t FixedVertexStage::stream0VertexSize() const { return fvfVertexSize(fvf_); }

void FixedVertexStage::process(const VertexInput& input, std::span<const uint32_t> vertexNumbers,
                               ProcessedVertices& out, const char* call) {
    if ((fvf_ & D3DFVF_POSITION_MASK) != D3DFVF_XYZRHW)
        rt::raiseInvalidCall(call, "flexible vertex format " + hex(fvf_) +
                                       " is not pre-transformed; untransformed vertices need a vertex shader");
    const VertexStream& stream = input.streams[0];
    const uint32_t size = fvfVertexSize(fvf_);
    if (stream.stride < size)
        rt::raiseInvalidCall(call, "stream 0 stride " + std::to_string(stream.stride) + " is below the vertex size " +
                                       std::to_string(size));
    const Layout layout = layoutOf(fvf_);
    out.resize(vertexNumbers.size());
    // Screen position back to clip coordinates with w = 1/rhw, so that the rasterizer can
    // treat both paths alike and still interpolate perspective-correctly.
    const float sx = 2.0f / static_cast<float>(width_), sy = 2.0f / static_cast<float>(height_);
    for (std::size_t i = 0; i < vertexNumbers.size(); ++i) {
        uint64_t offset = uint64_t{vertexNumbers[i]} * stream.stride;
        if (offset + size > stream.bytes.size())
            rt::raiseInvalidCall(call,
                                 "vertex " + std::to_string(vertexNumbers[i]) + " lies beyond the end of stream 0");
        const std::byte* v = stream.bytes.data() + offset;
        float rhw = readFloat(v + 12);
        float w = (rhw > 0.0f && std::isfinite(rhw)) ? 1.0f / rhw : 1.0f;
        out.x[i] = (readFloat(v) * sx - 1.0f) * w;
        out.y[i] = (1.0f - readFloat(v + 4) * sy) * w;
        out.z[i] = readFloat(v + 8) * w;
        out.w[i] = w;
        if (layout.hasDiffuse) readColor(v + layout.diffuse, out.r[i], out.g[i], out.b[i], out.a[i]);
        else out.r[i] = out.g[i] = out.b[i] = out.a[i] = 1.0f;
        if (layout.hasSpecular) readColor(v + layout.specular, out.sr[i], out.sg[i], out.sb[i], out.sa[i]);
        else out.sr[i] = out.sg[i] = out.sb[i] = out.sa[i] = 0.0f;
        out.u[i] = layout.hasTexcoord ? readFloat(v + layout.texcoord) : 0.0f;
        out.v[i] = layout.texcoordHasV ? readFloat(v + layout.texcoord + 4) : 0.0f;
    }
}
