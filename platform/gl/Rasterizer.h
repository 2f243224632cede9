#pragma once
// Rasterization through OpenGL 3.3 core with Direct3D 8's conventions: pixel centres at
// integer coordinates, depth 0..1 from clip z in [0, w], y down on screen, cull sense,
// 16-bit depth, the stage-0 texture combiner and the 8-bit alpha test.
//
// State values are Direct3D's own numbers (D3DCMP_*, D3DBLEND_*, D3DTOP_*, D3DTA_*,
// D3DTEXF_*, D3DTADDRESS_*, D3DCULL_*), so the device passes them through unchanged.
// The colour buffer's rows run top row first (OpenGL's window y is Direct3D's screen y), so
// read-back needs no flip and present() flips while it copies.
// The caller must have made the rasterizer's context current. Methods that can fail take
// `call`, the device method on whose behalf they run, and raise rt::Error naming it.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "runtime/D3DStates.h"

namespace gl {

// A processed vertex: Direct3D clip coordinates, diffuse colour clamped to 0..1, and
// texture coordinate set 0.
struct Vertex {
    float x, y, z, w;
    float r, g, b, a;
    float u, v;
};
static_assert(sizeof(Vertex) == 40);

struct SamplerState {
    uint32_t addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
    uint32_t borderColor = 0;
    uint32_t magFilter = D3DTEXF_POINT, minFilter = D3DTEXF_POINT, mipFilter = D3DTEXF_NONE;
    bool operator==(const SamplerState&) const = default;
};

struct CombinerState {
    uint32_t colorOp = D3DTOP_MODULATE, colorArg1 = D3DTA_TEXTURE, colorArg2 = D3DTA_CURRENT;
    uint32_t alphaOp = D3DTOP_SELECTARG1, alphaArg1 = D3DTA_TEXTURE, alphaArg2 = D3DTA_CURRENT;
    bool operator==(const CombinerState&) const = default;
};

// One mip level of a texture: 0xAARRGGBB texels, top row first.
struct TextureLevel {
    uint32_t width = 0, height = 0;
    const uint32_t* texels = nullptr;
};

// What the rasterizer needs to know of a texture: an identity unique for the life of the
// process, a version that changes with its contents, and its levels.
struct TextureSource {
    uint64_t identity = 0;
    uint64_t version = 0;
    bool opaque = false;  // X8R8G8B8: alpha reads as 1
    std::span<const TextureLevel> levels;
};

struct RasterState {
    uint32_t cullMode = D3DCULL_CCW;
    bool depthEnable = true, depthWrite = true;
    uint32_t depthFunc = D3DCMP_LESSEQUAL;
    bool alphaTest = false;
    uint32_t alphaFunc = D3DCMP_ALWAYS, alphaRef = 0;
    bool blend = false;
    uint32_t srcBlend = D3DBLEND_ONE, destBlend = D3DBLEND_ZERO, blendOp = D3DBLENDOP_ADD;
    bool flatShading = false;
    uint32_t colorWriteMask = 0xF;
    uint32_t textureFactor = 0xFFFFFFFF;
    CombinerState combiner;
    SamplerState sampler;
    const TextureSource* texture = nullptr;  // null: texture arguments read as opaque white
};

enum class Primitive { Points, Lines, Triangles };

class Programs;
class TextureCache;

class Rasterizer {
public:
    // Creates a width × height colour buffer (RGBA8) and a 16-bit depth buffer.
    Rasterizer(uint32_t width, uint32_t height, const char* call);
    ~Rasterizer();
    Rasterizer(const Rasterizer&) = delete;
    Rasterizer& operator=(const Rasterizer&) = delete;

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }

    // Clears the whole target, or only the given rectangles (x1, y1, x2, y2, right and
    // bottom exclusive, y down), in colour 0xAARRGGBB and/or depth z.
    struct Rect { int32_t x1, y1, x2, y2; };
    void clear(std::span<const Rect> rects, bool color, uint32_t argb, bool depth, float z, const char* call);

    // Draws `indices` (into `vertices`) as `primitive`, then `pointIndices` as points as wide
    // as lines, with the same state (the last pixels of lines).
    void draw(Primitive primitive, std::span<const Vertex> vertices,
              std::span<const uint32_t> indices, std::span<const uint32_t> pointIndices,
              const RasterState& state, const char* call);

    // Lines and points `pixels` wide from the next draw on (1 unless the window's pixels are
    // several device pixels each), or as wide as the context draws them if that is less.
    void setLineWidth(uint32_t pixels);

    // Waits for drawing to finish and returns the colour buffer as 0xAARRGGBB, top row first.
    std::vector<uint32_t> readPixels();
    // Copies the colour buffer to `framebuffer` (width × height, OpenGL's bottom-up rows).
    void present(uint32_t framebuffer, uint32_t width, uint32_t height, const char* call);
    void finish();
    // Hands what has been drawn so far to the driver's rasterizer threads without waiting.
    void flush();
    // Frees textures that have not been drawn with for a while.
    void endFrame();

private:
    void createTarget(const char* call);
    void createVertexInput();
    void applyState(const RasterState& state, const char* call);
    void setColorTextureFilter(int filter);
    void applyFixedFunction(const RasterState& state, const char* call);
    void applySampler(const SamplerState& sampler);
    void upload(std::span<const Vertex> vertices, std::span<const uint32_t> indices,
                std::span<const uint32_t> pointIndices, const char* call);

    uint32_t width_, height_;
    uint32_t framebuffer_ = 0, colorTexture_ = 0, depthBuffer_ = 0;
    int colorTextureFilter_ = 0;
    uint32_t presentVertexArray_ = 0;
    // One pair for every draw: each upload gives the buffers fresh storage (the driver keeps
    // the old one for as long as an earlier draw still reads it).
    uint32_t vertexArray_ = 0, vertexBuffer_ = 0, indexBuffer_ = 0;
    uint32_t sampler_ = 0;
    std::unique_ptr<Programs> programs_;
    std::unique_ptr<TextureCache> textures_;
    bool haveApplied_ = false;
    RasterState applied_;
    SamplerState appliedSampler_;
    bool haveSampler_ = false;
    uint32_t boundProgram_ = 0;
};

}  // namespace gl
