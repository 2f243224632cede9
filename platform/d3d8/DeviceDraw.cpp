// Draw assembly: which vertices a draw references, processing them once through the vertex
// stage, dropping primitives the alpha test rejects everywhere, and the OpenGL draw.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>
#include <string>

#include "d3d8/AlphaCull.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3d8/FixedVertexStage.h"
#include "gl/NativeWindow.h"
#include "runtime/Status.h"

namespace {

// Bounds what one draw may ask for, so that counts cannot overflow the scratch arrays.
constexpr uint64_t kMaxDrawVertices = uint64_t{1} << 28;
// The vertices a run of a list draws at most (see drawSequential).
constexpr uint32_t kRunVertices = uint32_t{1} << 15;
// The indices a run of an indexed list draws at most (see DrawIndexedPrimitive): its
// distinct vertices and their results stay in the caches however large the model.
constexpr uint32_t kIndexedRunIndices = uint32_t{3} << 15;

// The number of vertices (or indices) that `count` primitives of `type` consume.
uint32_t verticesFor(D3DPRIMITIVETYPE type, uint32_t count, const char* call) {
    uint64_t n = 0;
    switch (type) {
    case D3DPT_POINTLIST: n = count; break;
    case D3DPT_LINELIST: n = uint64_t{count} * 2; break;
    case D3DPT_LINESTRIP: n = uint64_t{count} + 1; break;
    case D3DPT_TRIANGLELIST: n = uint64_t{count} * 3; break;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: n = uint64_t{count} + 2; break;
    default: rt::raiseInvalidCall(call, "primitive type " + std::to_string(type) + " does not exist");
    }
    if (n > kMaxDrawVertices)
        rt::raiseInvalidCall(call, std::to_string(count) + " primitives are too many for one draw");
    return static_cast<uint32_t>(n);
}

uint32_t cornersOf(D3DPRIMITIVETYPE type) {
    switch (type) {
    case D3DPT_POINTLIST: return 1;
    case D3DPT_LINELIST:
    case D3DPT_LINESTRIP: return 2;
    default: return 3;
    }
}

bool isList(D3DPRIMITIVETYPE type) {
    return type == D3DPT_POINTLIST || type == D3DPT_LINELIST || type == D3DPT_TRIANGLELIST;
}

// Runs of a list of these are drawn as they are assembled: drawn in order with the same state,
// the runs make the picture one draw of them all would. Lines wait for the end of the draw,
// which draws the last pixels of all of them after all of them.
bool drawnByRun(D3DPRIMITIVETYPE type) { return type == D3DPT_POINTLIST || type == D3DPT_TRIANGLELIST; }

gl::Primitive primitiveOf(D3DPRIMITIVETYPE type) {
    uint32_t corners = cornersOf(type);
    return corners == 1 ? gl::Primitive::Points : corners == 2 ? gl::Primitive::Lines : gl::Primitive::Triangles;
}

bool selectsDiffuse(uint32_t arg) { return arg == D3DTA_DIFFUSE || arg == D3DTA_CURRENT; }

// Whether a line ending at screen point (x, y) ends inside the diamond |dx| + |dy| < 1/2 of
// its pixel: OpenGL's diamond-exit rule then leaves that pixel out, and Direct3D's
// LASTPIXEL asks for it.
bool endsInsideDiamond(float x, float y) {
    float dx = x - std::nearbyint(x), dy = y - std::nearbyint(y);
    return std::fabs(dx) + std::fabs(dy) < 0.5f;
}

}  // namespace

VertexInput Direct3DDevice8::streamInput() const {
    VertexInput input;
    for (uint32_t i = 0; i < kMaxVertexStreams; ++i) {
        if (streams_[i].buffer) input.streams[i] = {streams_[i].buffer->bytes(), streams_[i].stride};
    }
    input.constants = shaderConstants_;
    return input;
}

void Direct3DDevice8::DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t startVertex, uint32_t primitiveCount) {
    const char* call = "DrawPrimitive";
    requireScene(call);
    uint32_t count = verticesFor(type, primitiveCount, call);
    if (primitiveCount == 0) return;
    if (!streams_[0].buffer) rt::raiseInvalidCall(call, "no vertex buffer on stream 0");
    if (uint64_t{startVertex} + count > std::numeric_limits<uint32_t>::max())
        rt::raiseInvalidCall(call, "vertex numbers run past 2^32");
    drawSequential(type, startVertex, primitiveCount, streamInput(), call);
}

void Direct3DDevice8::DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const void* vertexData,
                                      uint32_t stride) {
    const char* call = "DrawPrimitiveUP";
    requireScene(call);
    uint32_t count = verticesFor(type, primitiveCount, call);
    if (!vertexData) rt::raiseInvalidCall(call, "no vertex data");
    if (stride == 0) rt::raiseInvalidCall(call, "stride 0");
    // Like Direct3D, drawing from memory leaves stream 0 unset.
    streams_[0] = {};
    if (primitiveCount == 0) return;
    VertexInput input = streamInput();
    input.streams[0] = {{static_cast<const std::byte*>(vertexData), std::size_t{count} * stride}, stride};
    drawSequential(type, 0, primitiveCount, input, call);
}

void Direct3DDevice8::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t minIndex, uint32_t numVertices,
                                           uint32_t startIndex, uint32_t primitiveCount) {
    const char* call = "DrawIndexedPrimitive";
    requireScene(call);
    uint32_t count = verticesFor(type, primitiveCount, call);
    if (primitiveCount == 0) return;
    if (!indices_) rt::raiseInvalidCall(call, "no index buffer set");
    if (!streams_[0].buffer) rt::raiseInvalidCall(call, "no vertex buffer on stream 0");
    if (uint64_t{startIndex} + count > indices_->indexCount())
        rt::raiseInvalidCall(call, "indices " + std::to_string(startIndex) + "+" + std::to_string(count) +
                                       " run past the end of the index buffer (" +
                                       std::to_string(indices_->indexCount()) + ")");
    const uint32_t runIndices = runLimit_ != 0 ? runLimit_ : kIndexedRunIndices;
    if (!drawnByRun(type) || count <= runIndices) {
        gatherIndexed(minIndex, numVertices, startIndex, count, call);
        beginAssembly();
        assembleRun(type, primitiveCount, streamInput(), call);
        drawAssembled(type, call);
        return;
    }
    // A large list a run at a time, once every index is known to be good, so that a bad one
    // still leaves the picture untouched.
    checkIndices(startIndex, count, call);
    const uint32_t corners = cornersOf(type), run = std::max(runIndices / corners, 1u);
    const VertexInput input = streamInput();
    beginAssembly();
    for (uint32_t done = 0; done < primitiveCount; done += run) {
        const uint32_t primitives = std::min(run, primitiveCount - done);
        gatherIndexed(minIndex, numVertices, startIndex + done * corners, primitives * corners, call);
        assembleRun(type, primitives, input, call);
        drawRun(type, done + run < primitiveCount, call);
    }
}

// The primitives of a list own their vertices, so a long list is assembled a run of them at a
// time: the scratch arrays stay the size of a run however long the draw (an outline pass has
// six vertices a face). The vertex numbers of the whole draw fit in 32 bits.
void Direct3DDevice8::drawSequential(D3DPRIMITIVETYPE type, uint32_t firstVertex, uint32_t primitiveCount,
                                     const VertexInput& input, const char* call) {
    const uint32_t corners = cornersOf(type);
    const uint32_t runVertices = runLimit_ != 0 ? runLimit_ : kRunVertices;
    const uint32_t run = isList(type) ? std::max(runVertices / corners, 1u) : primitiveCount;
    beginAssembly();
    for (uint32_t done = 0; done < primitiveCount; done += run) {
        const uint32_t primitives = std::min(run, primitiveCount - done);
        gatherSequential(verticesFor(type, primitives, call));
        assembleRun(type, primitives, input, call, firstVertex + done * corners);
        if (drawnByRun(type)) drawRun(type, done + run < primitiveCount, call);
    }
    if (!drawnByRun(type)) drawAssembled(type, call);
}

// A run without indices processes its vertices in order, each once: slot i is its i-th vertex.
void Direct3DDevice8::gatherSequential(uint32_t vertexCount) {
    sequence_.resize(vertexCount);
    std::iota(sequence_.begin(), sequence_.end(), 0u);
}

uint64_t Direct3DDevice8::streamVertexLimit() const {
    uint64_t limit = 0;
    for (const Stream& s : streams_)
        if (s.buffer) limit = std::max<uint64_t>(limit, s.buffer->length() / s.stride);
    return limit;
}

// The check gatherIndexed makes, over a whole draw.
void Direct3DDevice8::checkIndices(uint32_t startIndex, uint32_t indexCount, const char* call) const {
    const std::byte* raw = indices_->bytes().data() + std::size_t{startIndex} * indices_->indexSize();
    uint32_t highest = 0;
    if (indices_->indexSize() == 4) {
        for (uint32_t i = 0; i < indexCount; ++i) {
            uint32_t index;
            std::memcpy(&index, raw + std::size_t{i} * 4, 4);
            highest = std::max(highest, index);
        }
    } else {
        for (uint32_t i = 0; i < indexCount; ++i) {
            uint16_t index;
            std::memcpy(&index, raw + std::size_t{i} * 2, 2);
            highest = std::max<uint32_t>(highest, index);
        }
    }
    const uint64_t vertex = uint64_t{baseVertexIndex_} + highest;
    if (vertex >= streamVertexLimit())
        rt::raiseInvalidCall(call, "index " + std::to_string(highest) + " (vertex " + std::to_string(vertex) +
                                       ") lies beyond the vertex buffer's " + std::to_string(streamVertexLimit()) +
                                       " vertices");
}

// Gives each distinct vertex the draw references a slot, in order of first use, so that
// the vertex stage processes it once however many primitives share it.
void Direct3DDevice8::gatherIndexed(uint32_t /*minIndex: a hint only*/, uint32_t /*numVertices*/,
                                    uint32_t startIndex, uint32_t indexCount, const char* call) {
    const uint64_t vertexLimit = streamVertexLimit();
    if (++stamp_ == 0) {
        std::fill(slotStamp_.begin(), slotStamp_.end(), 0u);
        stamp_ = 1;
    }
    vertexNumbers_.clear();
    sequence_.resize(indexCount);
    const std::byte* raw = indices_->bytes().data();
    const bool wide = indices_->indexSize() == 4;
    for (uint32_t i = 0; i < indexCount; ++i) {
        uint32_t index;
        if (wide) std::memcpy(&index, raw + (std::size_t{startIndex} + i) * 4, 4);
        else {
            uint16_t narrow;
            std::memcpy(&narrow, raw + (std::size_t{startIndex} + i) * 2, 2);
            index = narrow;
        }
        uint64_t vertex = uint64_t{baseVertexIndex_} + index;
        if (vertex >= vertexLimit)
            rt::raiseInvalidCall(call, "index " + std::to_string(index) + " (vertex " + std::to_string(vertex) +
                                           ") lies beyond the vertex buffer's " + std::to_string(vertexLimit) +
                                           " vertices");
        if (index >= slotStamp_.size()) {
            std::size_t size = std::max<std::size_t>(std::size_t{index} + 1, slotStamp_.size() * 2);
            slotStamp_.resize(size, 0u);
            slotOfVertex_.resize(size);
        }
        if (slotStamp_[index] != stamp_) {
            slotStamp_[index] = stamp_;
            slotOfVertex_[index] = static_cast<uint32_t>(vertexNumbers_.size());
            vertexNumbers_.push_back(static_cast<uint32_t>(vertex));
        }
        sequence_[i] = slotOfVertex_[index];
    }
}

void Direct3DDevice8::expandPrimitives(D3DPRIMITIVETYPE type, uint32_t primitiveCount) {
    const std::vector<uint32_t>& s = sequence_;
    std::vector<uint32_t>& out = primitiveIndices_;
    out.clear();
    switch (type) {
    case D3DPT_LINESTRIP:
        for (uint32_t i = 0; i < primitiveCount; ++i) out.insert(out.end(), {s[i], s[i + 1]});
        break;
    case D3DPT_TRIANGLESTRIP:
        // Every other triangle runs the other way round; swapping its last two corners keeps
        // the winding of the strip and the first corner (flat shading's colour).
        for (uint32_t i = 0; i < primitiveCount; ++i) {
            if (i % 2 == 0) out.insert(out.end(), {s[i], s[i + 1], s[i + 2]});
            else out.insert(out.end(), {s[i], s[i + 2], s[i + 1]});
        }
        break;
    case D3DPT_TRIANGLEFAN:
        for (uint32_t i = 0; i < primitiveCount; ++i) out.insert(out.end(), {s[i + 1], s[i + 2], s[0]});
        break;
    default: out.assign(s.begin(), s.end()); break;
    }
}

// With the alpha test on, the final alpha is the diffuse alpha whenever stage 0 selects it;
// only then do vertex alphas bound every pixel's alpha.
bool Direct3DDevice8::alphaComesFromDiffuse() const {
    const auto& ts = stageStates_[0];
    if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE || ts[D3DTSS_ALPHAOP] == D3DTOP_DISABLE) return true;
    if (ts[D3DTSS_ALPHAOP] == D3DTOP_SELECTARG1) return selectsDiffuse(ts[D3DTSS_ALPHAARG1]);
    if (ts[D3DTSS_ALPHAOP] == D3DTOP_SELECTARG2) return selectsDiffuse(ts[D3DTSS_ALPHAARG2]);
    return false;
}

void Direct3DDevice8::cullByAlphaTest(uint32_t corners) {
    const AlphaPassTable passes(renderStates_[D3DRS_ALPHAFUNC], renderStates_[D3DRS_ALPHAREF]);
    const bool flat = renderStates_[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    const float* alpha = processed_.a.data();
    keptIndices_.clear();
    for (std::size_t p = 0; p + corners <= primitiveIndices_.size(); p += corners) {
        const uint32_t* corner = primitiveIndices_.data() + p;
        float low = alpha[corner[0]], high = low;
        // Flat shading colours the whole primitive with its first vertex.
        for (uint32_t c = 1; c < corners && !flat; ++c) {
            low = std::min(low, alpha[corner[c]]);
            high = std::max(high, alpha[corner[c]]);
        }
        if (passes.canPass(low, high)) keptIndices_.insert(keptIndices_.end(), corner, corner + corners);
    }
}

void Direct3DDevice8::addLastPixels(std::span<const uint32_t> lines) {
    const float halfWidth = 0.5f * static_cast<float>(width_), halfHeight = 0.5f * static_cast<float>(height_);
    for (std::size_t p = 1; p < lines.size(); p += 2) {
        uint32_t end = lines[p];
        float w = processed_.w[end];
        if (!(w > 0.0f)) continue;  // behind the eye: clipped, no last pixel
        float x = (processed_.x[end] / w + 1.0f) * halfWidth;
        float y = (1.0f - processed_.y[end] / w) * halfHeight;
        if (endsInsideDiamond(x, y)) {
            lastPixelIndices_.push_back(end);
            lastPixelStarts_.push_back(lines[p - 1]);
        }
    }
}

// Every vertex of the run is handed on, in slot order; the run's primitives and last pixels
// (those from firstLastPixel on) then point at them.
void Direct3DDevice8::interleave(std::span<const uint32_t> kept, std::size_t firstLastPixel) {
    const ProcessedVertices& v = processed_;
    const auto base = static_cast<uint32_t>(interleaved_.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        interleaved_.push_back({v.x[i], v.y[i], v.z[i], v.w[i], v.r[i], v.g[i], v.b[i], v.a[i], v.u[i], v.v[i]});
    for (uint32_t slot : kept) drawIndices_.push_back(base + slot);
    for (std::size_t i = firstLastPixel; i < lastPixelIndices_.size(); ++i) {
        lastPixelIndices_[i] += base;
        lastPixelStarts_[i] += base;
    }
}

// After the alpha cull most vertices of an outline pass belong to no kept primitive;
// handing OpenGL only the used ones saves their upload and their second transformation.
void Direct3DDevice8::interleaveUsed(std::span<const uint32_t> kept, std::size_t firstLastPixel) {
    const ProcessedVertices& v = processed_;
    constexpr uint32_t kUnused = std::numeric_limits<uint32_t>::max();
    compactSlot_.assign(v.size(), kUnused);
    auto remap = [&](uint32_t slot) {
        uint32_t& target = compactSlot_[slot];
        if (target == kUnused) {
            target = static_cast<uint32_t>(interleaved_.size());
            interleaved_.push_back({v.x[slot], v.y[slot], v.z[slot], v.w[slot], v.r[slot], v.g[slot], v.b[slot],
                                    v.a[slot], v.u[slot], v.v[slot]});
        }
        return target;
    };
    for (uint32_t slot : kept) drawIndices_.push_back(remap(slot));
    for (std::size_t i = firstLastPixel; i < lastPixelIndices_.size(); ++i) {
        lastPixelIndices_[i] = remap(lastPixelIndices_[i]);
        lastPixelStarts_[i] = remap(lastPixelStarts_[i]);
    }
}

// A flat line has its first vertex's colour throughout, its last pixel included: that
// pixel's point gets a vertex of its own at the end position with the start's colour.
void Direct3DDevice8::colourLastPixelsFlat() {
    for (std::size_t i = 0; i < lastPixelIndices_.size(); ++i) {
        gl::Vertex point = interleaved_[lastPixelIndices_[i]];
        const gl::Vertex& start = interleaved_[lastPixelStarts_[i]];
        point.r = start.r, point.g = start.g, point.b = start.b, point.a = start.a;
        lastPixelIndices_[i] = static_cast<uint32_t>(interleaved_.size());
        interleaved_.push_back(point);
    }
}

const gl::RasterState& Direct3DDevice8::rasterState() {
    const auto& rs = renderStates_;
    const auto& ts = stageStates_[0];
    if (rasterStateDirty_) {
        gl::RasterState& s = rasterState_;
        s.cullMode = rs[D3DRS_CULLMODE];
        s.depthEnable = rs[D3DRS_ZENABLE] != D3DZB_FALSE && hasDepthBuffer_;
        s.depthWrite = rs[D3DRS_ZWRITEENABLE] != 0;
        s.depthFunc = rs[D3DRS_ZFUNC];
        s.alphaTest = rs[D3DRS_ALPHATESTENABLE] != 0;
        s.alphaFunc = rs[D3DRS_ALPHAFUNC];
        s.alphaRef = rs[D3DRS_ALPHAREF];
        s.blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
        s.srcBlend = rs[D3DRS_SRCBLEND];
        s.destBlend = rs[D3DRS_DESTBLEND];
        s.blendOp = rs[D3DRS_BLENDOP];
        s.flatShading = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
        s.colorWriteMask = rs[D3DRS_COLORWRITEENABLE];
        s.textureFactor = rs[D3DRS_TEXTUREFACTOR];
        s.combiner = {ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG1], ts[D3DTSS_COLORARG2],
                      ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2]};
        s.sampler = {ts[D3DTSS_ADDRESSU], ts[D3DTSS_ADDRESSV], ts[D3DTSS_BORDERCOLOR],
                     ts[D3DTSS_MAGFILTER], ts[D3DTSS_MINFILTER], ts[D3DTSS_MIPFILTER]};
        rasterStateDirty_ = false;
    }
    // The texture is looked at on every draw: its contents may have changed since.
    const Direct3DTexture8* texture = textures_[0].get();
    auto selectsTexture = [&](D3DTEXTURESTAGESTATETYPE arg) { return (ts[arg] & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
    bool usesTexture = ts[D3DTSS_COLOROP] != D3DTOP_DISABLE &&
                       (selectsTexture(D3DTSS_COLORARG1) || selectsTexture(D3DTSS_COLORARG2) ||
                        selectsTexture(D3DTSS_ALPHAARG1) || selectsTexture(D3DTSS_ALPHAARG2));
    if (texture && usesTexture) {
        textureLevels_.clear();
        for (uint32_t i = 0; i < texture->levelCount(); ++i) {
            const auto& level = texture->level(i);
            textureLevels_.push_back({level.width, level.height, level.texels.data()});
        }
        textureSource_ = {texture->identity(), texture->version(), texture->format() == D3DFMT_X8R8G8B8,
                          textureLevels_};
        rasterState_.texture = &textureSource_;
    } else {
        rasterState_.texture = nullptr;
    }
    return rasterState_;
}

void Direct3DDevice8::beginAssembly() {
    interleaved_.clear();
    drawIndices_.clear();
    lastPixelIndices_.clear();
    lastPixelStarts_.clear();
    lastDrawStats_ = {};
}

// One run: its vertices through the vertex stage, its primitives less those the alpha test
// rejects everywhere, their last pixels, and the vertices they use added to the draw.
void Direct3DDevice8::assembleRun(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const VertexInput& input,
                                  const char* call, std::optional<uint32_t> firstVertex) {
    if (firstVertex)
        currentStage_->processRange(input, *firstVertex, static_cast<uint32_t>(sequence_.size()), processed_, call);
    else
        currentStage_->process(input, vertexNumbers_, processed_, call);
    lastDrawStats_.verticesProcessed += static_cast<uint32_t>(processed_.size());
    expandPrimitives(type, primitiveCount);
    const uint32_t corners = cornersOf(type);
    const gl::RasterState& state = rasterState();
    std::span<const uint32_t> kept = primitiveIndices_;
    const bool cull = state.alphaTest && alphaCullEnabled_ && alphaComesFromDiffuse();
    if (cull) {
        cullByAlphaTest(corners);
        kept = keptIndices_;
    }
    const std::size_t firstLastPixel = lastPixelIndices_.size();
    if (corners == 2 && renderStates_[D3DRS_LASTPIXEL] != 0) addLastPixels(kept);
    if (cull) interleaveUsed(kept, firstLastPixel);
    else interleave(kept, firstLastPixel);
}

// One run of a draw in runs, drawn; when more follow, handed to the driver's rasterizer
// threads at once, which draw it while the next run is assembled, and whose memory for binned
// triangles is used again run after run rather than growing with the draw (by 50 MB at two
// million faces, whose cel pass this also made a fifth faster).
void Direct3DDevice8::drawRun(D3DPRIMITIVETYPE type, bool moreFollow, const char* call) {
    drawAssembled(type, call);
    if (moreFollow) rasterizer_->flush();
}

// Draws what has been assembled and starts the next part of the draw from nothing.
void Direct3DDevice8::drawAssembled(D3DPRIMITIVETYPE type, const char* call) {
    const gl::RasterState& state = rasterState();
    if (state.flatShading) colourLastPixelsFlat();
    makeCurrent();
    rasterizer_->draw(primitiveOf(type), interleaved_, drawIndices_, lastPixelIndices_, state, call);
    lastDrawStats_.primitivesSubmitted += static_cast<uint32_t>(drawIndices_.size() / cornersOf(type));
    interleaved_.clear();
    drawIndices_.clear();
    lastPixelIndices_.clear();
    lastPixelStarts_.clear();
}
