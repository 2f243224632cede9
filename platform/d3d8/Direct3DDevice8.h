#pragma once
// The Direct3D 8 device: records state, assembles draws, processes vertices on the CPU
// through a VertexStage and rasterizes through OpenGL (gl/). Every failing call raises
// rt::Error with D3DERR_INVALIDCALL (or another status) naming the method and the reason.
//
// Setters only record state; what OpenGL needs is derived once at the next draw.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "d3d8/Resources.h"
#include "d3d8/VertexStage.h"
#include "d3d8/d3d8types.h"
#include "gl/Rasterizer.h"

namespace gl {
class ContextOwner;
class OffscreenContext;
}  // namespace gl
class FixedVertexStage;

// The back buffer as ARGB words (0xAARRGGBB), top row first.
struct BackBufferImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(uint32_t x, uint32_t y) const { return pixels[std::size_t{y} * width + x]; }
};

class Direct3DDevice8 {
public:
    // Use Direct3D8::CreateDevice. focusWindow null with presentation window null makes an
    // off-screen device (EGL, surfaceless), which needs BackBufferWidth/Height. A window
    // device draws with the window's context: the window must outlive the device.
    Direct3DDevice8(HWND focusWindow, uint32_t behaviorFlags, const D3DPRESENT_PARAMETERS& params);
    ~Direct3DDevice8();
    Direct3DDevice8(const Direct3DDevice8&) = delete;
    Direct3DDevice8& operator=(const Direct3DDevice8&) = delete;

    // Frame.
    void Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR color, float z,
               uint32_t stencil);
    void BeginScene();
    void EndScene();
    void Present(const D3DRECT* sourceRect, const D3DRECT* destRect, HWND overrideWindow,
                 const void* dirtyRegion);

    // State.
    void SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix);
    D3DMATRIX GetTransform(D3DTRANSFORMSTATETYPE state) const;
    void SetRenderState(D3DRENDERSTATETYPE state, uint32_t value);
    uint32_t GetRenderState(D3DRENDERSTATETYPE state) const;
    void SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value);
    uint32_t GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type) const;
    void SetTexture(uint32_t stage, std::shared_ptr<Direct3DTexture8> texture);
    std::shared_ptr<Direct3DTexture8> GetTexture(uint32_t stage) const;

    // Input.
    void SetStreamSource(uint32_t stream, std::shared_ptr<Direct3DVertexBuffer8> buffer,
                         uint32_t stride);
    void SetIndices(std::shared_ptr<Direct3DIndexBuffer8> indices, uint32_t baseVertexIndex);
    // A flexible vertex format code selects the fixed path; a handle from CreateVertexShader
    // selects that shader.
    void SetVertexShader(uint32_t handle);
    uint32_t GetVertexShader() const { return vertexShaderHandle_; }

    // Drawing (inside BeginScene/EndScene).
    void DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t startVertex, uint32_t primitiveCount);
    void DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t minIndex, uint32_t numVertices,
                              uint32_t startIndex, uint32_t primitiveCount);
    void DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const void* vertexData,
                         uint32_t stride);

    // Resources.
    std::shared_ptr<Direct3DVertexBuffer8> CreateVertexBuffer(uint32_t length, uint32_t usage,
                                                              uint32_t fvf, D3DPOOL pool);
    std::shared_ptr<Direct3DIndexBuffer8> CreateIndexBuffer(uint32_t length, uint32_t usage,
                                                            D3DFORMAT format, D3DPOOL pool);
    std::shared_ptr<Direct3DTexture8> CreateTexture(uint32_t width, uint32_t height,
                                                    uint32_t levels, uint32_t usage,
                                                    D3DFORMAT format, D3DPOOL pool);

    // Programmable vertex shaders. Their definitions live in DeviceShaders.cpp.
    uint32_t CreateVertexShader(const uint32_t* declaration, const uint32_t* function,
                                uint32_t usage);
    void SetVertexShaderConstant(uint32_t reg, const void* constantData, uint32_t constantCount);
    void DeleteVertexShader(uint32_t handle);

    // For tests, benchmarks and screenshots: finishes drawing and reads the back buffer.
    BackBufferImage readBackBuffer();
    uint32_t backBufferWidth() const { return width_; }
    uint32_t backBufferHeight() const { return height_; }

    // Statistics of the last draw call, for tests: primitives handed to OpenGL after the
    // alpha-test cull, and vertices processed.
    struct DrawStats {
        uint32_t primitivesSubmitted = 0;
        uint32_t verticesProcessed = 0;
    };
    DrawStats lastDrawStats() const { return lastDrawStats_; }
    // Turns the alpha-test cull off (for tests proving it changes no pixel).
    void setAlphaCullEnabled(bool enabled) { alphaCullEnabled_ = enabled; }
    // The most vertices (indices, for an indexed draw) a run of a list takes, 0 for the
    // device's own (for tests proving that drawing in runs changes no pixel).
    void setRunLimit(uint32_t vertices) { runLimit_ = vertices; }

private:
    struct Stream {
        std::shared_ptr<Direct3DVertexBuffer8> buffer;
        uint32_t stride = 0;
    };

    void makeCurrent();
    void requireScene(const char* call) const;
    void drawSequential(D3DPRIMITIVETYPE type, uint32_t firstVertex, uint32_t primitiveCount,
                        const VertexInput& input, const char* call);
    void beginAssembly();
    // One run's vertices through the vertex stage: those of vertexNumbers_, or with
    // firstVertex those from it on, one per entry of sequence_.
    void assembleRun(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const VertexInput& input, const char* call,
                     std::optional<uint32_t> firstVertex = std::nullopt);
    void drawAssembled(D3DPRIMITIVETYPE type, const char* call);
    void drawRun(D3DPRIMITIVETYPE type, bool moreFollow, const char* call);
    VertexInput streamInput() const;
    void gatherIndexed(uint32_t minIndex, uint32_t numVertices, uint32_t startIndex,
                       uint32_t indexCount, const char* call);
    uint64_t streamVertexLimit() const;
    void checkIndices(uint32_t startIndex, uint32_t indexCount, const char* call) const;
    void gatherSequential(uint32_t vertexCount);
    void expandPrimitives(D3DPRIMITIVETYPE type, uint32_t primitiveCount);
    const gl::RasterState& rasterState();
    bool alphaComesFromDiffuse() const;
    void cullByAlphaTest(uint32_t corners);
    void addLastPixels(std::span<const uint32_t> lines);
    void interleave(std::span<const uint32_t> kept, std::size_t firstLastPixel);
    void interleaveUsed(std::span<const uint32_t> kept, std::size_t firstLastPixel);
    void colourLastPixelsFlat();

    // Context and rasterizer.
    NativeWindow* window_ = nullptr;
    std::unique_ptr<gl::OffscreenContext> offscreen_;
    gl::ContextOwner* context_ = nullptr;
    std::unique_ptr<gl::Rasterizer> rasterizer_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    int swapInterval_ = 1;
    bool inScene_ = false;
    bool hasDepthBuffer_ = false;

    // Recorded state.
    std::unordered_map<uint32_t, D3DMATRIX> transforms_;
    std::array<uint32_t, 256> renderStates_{};
    static constexpr uint32_t kStageCount = 8;
    static constexpr uint32_t kStageStateCount = D3DTSS_RESULTARG + 1;
    std::array<std::array<uint32_t, kStageStateCount>, kStageCount> stageStates_{};
    std::array<std::shared_ptr<Direct3DTexture8>, kStageCount> textures_{};
    std::array<Stream, kMaxVertexStreams> streams_{};
    std::shared_ptr<Direct3DIndexBuffer8> indices_;
    uint32_t baseVertexIndex_ = 0;

    // Vertex processing: the fixed path, or a shader from the handle table.
    uint32_t vertexShaderHandle_ = 0;
    std::shared_ptr<FixedVertexStage> fixedStage_;
    std::shared_ptr<VertexStage> currentStage_;

    // Programmable shaders (managed by DeviceShaders.cpp): handle -> stage, and c0..c95.
    // Handles are numbered from kFirstShaderHandle so that they never equal a flexible
    // vertex format code this device accepts.
    static constexpr uint32_t kFirstShaderHandle = 0x80000001u;
    std::unordered_map<uint32_t, std::shared_ptr<VertexStage>> vertexShaders_;
    uint32_t nextShaderHandle_ = kFirstShaderHandle;
    std::array<D3DXVECTOR4, kVertexShaderConstantCount> shaderConstants_{};

    // Per-draw scratch, kept between draws so that drawing does not allocate. A draw is
    // assembled in runs (a list a run of primitives at a time, anything else in one); the
    // first group holds one run, the second what is assembled and not drawn yet.
    std::vector<uint32_t> vertexNumbers_;    // distinct vertices an indexed run references
    std::vector<uint32_t> sequence_;         // the run's vertices in order, as slots
    std::vector<uint32_t> primitiveIndices_; // per primitive corner: slot in vertexNumbers_
    std::vector<uint32_t> slotOfVertex_;     // index value -> slot, valid where stamped
    std::vector<uint32_t> slotStamp_;        // the draw (stamp_) that set slotOfVertex_[i]
    uint32_t stamp_ = 0;
    ProcessedVertices processed_;
    std::vector<uint32_t> keptIndices_;
    std::vector<uint32_t> compactSlot_;      // slot -> position among the vertices handed on
    std::vector<uint32_t> drawIndices_;      // per corner of the draw: position in interleaved_
    std::vector<uint32_t> lastPixelIndices_;
    std::vector<uint32_t> lastPixelStarts_;  // the first vertex of each such line
    std::vector<gl::Vertex> interleaved_;
    std::vector<gl::Rasterizer::Rect> clearRects_;
    std::vector<gl::TextureLevel> textureLevels_;
    gl::TextureSource textureSource_;
    gl::RasterState rasterState_;
    bool rasterStateDirty_ = true;
    DrawStats lastDrawStats_;
    bool alphaCullEnabled_ = true;
    uint32_t runLimit_ = 0;
};
