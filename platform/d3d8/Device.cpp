// Device creation, recorded state, resources and the frame calls. Drawing is in DeviceDraw.cpp.
#include "d3d8/Direct3DDevice8.h"

#include <algorithm>
#include <bit>
#include <span>
#include <string>

#include "d3d8/FixedVertexStage.h"
#include "gl/NativeWindow.h"
#include "gl/OffscreenContext.h"
#include "gl/Rasterizer.h"
#include "runtime/Status.h"

namespace {

constexpr uint32_t kCreateVertexProcessingMask =
    D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING;

uint32_t floatBits(float f) { return std::bit_cast<uint32_t>(f); }

// Defaults of a freshly created device, for every state this program's drawing reads.
void setDefaultRenderStates(std::array<uint32_t, 256>& rs, bool autoDepth) {
    rs[D3DRS_ZENABLE] = autoDepth ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = 1;
    rs[D3DRS_LASTPIXEL] = 1;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = 1;
    rs[D3DRS_LIGHTING] = 1;
    rs[D3DRS_COLORVERTEX] = 1;
    rs[D3DRS_LOCALVIEWER] = 1;
    rs[D3DRS_COLORWRITEENABLE] = 0x0F;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_FOGEND] = rs[D3DRS_FOGDENSITY] = floatBits(1.0f);
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_POINTSIZE] = rs[D3DRS_POINTSIZE_MIN] = rs[D3DRS_POINTSCALE_A] = floatBits(1.0f);
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_POINTSIZE_MAX] = floatBits(64.0f);
}

void setDefaultStageStates(std::span<uint32_t> ts, uint32_t stage) {
    ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    ts[D3DTSS_TEXCOORDINDEX] = stage;
    ts[D3DTSS_ADDRESSU] = ts[D3DTSS_ADDRESSV] = ts[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
    ts[D3DTSS_MAGFILTER] = ts[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    ts[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    ts[D3DTSS_MAXANISOTROPY] = 1;
}

bool isTransformState(D3DTRANSFORMSTATETYPE t) {
    return t == D3DTS_VIEW || t == D3DTS_PROJECTION || (t >= D3DTS_TEXTURE0 && t <= D3DTS_TEXTURE7) ||
           (t >= D3DTS_WORLD && t <= D3DTS_WORLDMATRIX255);
}

bool isRenderState(D3DRENDERSTATETYPE state) { return state != 0 && state <= D3DRS_NORMALORDER; }

// Stage states run from COLOROP to RESULTARG; the numbering leaves out the one after TEXCOORDINDEX.
bool isStageState(D3DTEXTURESTAGESTATETYPE type) {
    return type >= D3DTSS_COLOROP && type <= D3DTSS_RESULTARG && type != D3DTSS_TEXCOORDINDEX + 1;
}

void validatePresentParameters(HWND window, const D3DPRESENT_PARAMETERS& p) {
    const char* call = "CreateDevice";
    if (p.BackBufferFormat != D3DFMT_X8R8G8B8 && p.BackBufferFormat != D3DFMT_A8R8G8B8 &&
        p.BackBufferFormat != D3DFMT_UNKNOWN)
        rt::raiseInvalidCall(call, "back buffer format " + std::to_string(p.BackBufferFormat) + " is not X8R8G8B8");
    if (p.BackBufferCount > 3) rt::raiseInvalidCall(call, "more than 3 back buffers");
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE)
        rt::raiseStatus(D3DERR_NOTAVAILABLE, call, "multisampling is not available");
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY)
        rt::raiseInvalidCall(call, "swap effect " + std::to_string(p.SwapEffect) + " does not exist");
    if (p.EnableAutoDepthStencil && p.AutoDepthStencilFormat != D3DFMT_D16)
        rt::raiseInvalidCall(call, "depth format " + std::to_string(p.AutoDepthStencilFormat) + " is not D16");
    uint32_t interval = p.FullScreen_PresentationInterval;
    if (interval != D3DPRESENT_INTERVAL_DEFAULT && interval != D3DPRESENT_INTERVAL_IMMEDIATE &&
        interval != D3DPRESENT_INTERVAL_ONE)
        rt::raiseInvalidCall(call,
                             "presentation interval " + std::to_string(interval) + " is not DEFAULT, ONE or IMMEDIATE");
    bool sizeGiven = p.BackBufferWidth != 0 && p.BackBufferHeight != 0;
    if ((!window || !p.Windowed) && !sizeGiven)
        rt::raiseInvalidCall(call, window ? "a full-screen device needs the back buffer size"
                                          : "an off-screen device needs the back buffer size");
    if (p.BackBufferWidth > kMaxSurfaceSide || p.BackBufferHeight > kMaxSurfaceSide)
        rt::raiseInvalidCall(call, "back buffer larger than " + std::to_string(kMaxSurfaceSide) + " pixels");
}

}  // namespace

Direct3DDevice8::Direct3DDevice8(HWND focusWindow, uint32_t behaviorFlags,
                                 const D3DPRESENT_PARAMETERS& params) {
    if (std::popcount(behaviorFlags & kCreateVertexProcessingMask) != 1)
        rt::raiseInvalidCall("CreateDevice", "behaviour flags must choose exactly one kind of vertex processing");
    window_ = params.hDeviceWindow ? params.hDeviceWindow : focusWindow;
    validatePresentParameters(window_, params);
    if (window_) {
        // The swap interval goes to the window before its context exists.
        swapInterval_ = params.FullScreen_PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1;
        window_->setSwapInterval(swapInterval_);
        context_ = window_;
        context_->makeCurrent();
        width_ = params.BackBufferWidth ? params.BackBufferWidth : std::max(1u, window_->clientWidth());
        height_ = params.BackBufferHeight ? params.BackBufferHeight : std::max(1u, window_->clientHeight());
    } else {
        offscreen_ = std::make_unique<gl::OffscreenContext>();
        context_ = offscreen_.get();
        width_ = params.BackBufferWidth;
        height_ = params.BackBufferHeight;
    }
    hasDepthBuffer_ = params.EnableAutoDepthStencil != 0;
    rasterizer_ = std::make_unique<gl::Rasterizer>(width_, height_, "CreateDevice");
    if (window_) rasterizer_->setLineWidth(window_->pixelScale());
    setDefaultRenderStates(renderStates_, hasDepthBuffer_);
    for (uint32_t stage = 0; stage < kStageCount; ++stage) setDefaultStageStates(stageStates_[stage], stage);
    fixedStage_ = std::make_shared<FixedVertexStage>();
    fixedStage_->setViewport(width_, height_);
    currentStage_ = fixedStage_;
    // A new back buffer holds black and the farthest depth.
    rasterizer_->clear({}, true, 0xFF000000u, hasDepthBuffer_, 1.0f, "CreateDevice");
}

Direct3DDevice8::~Direct3DDevice8() {
    // OpenGL objects die with the context they were made in.
    try {
        context_->makeCurrent();
    } catch (...) {
    }
    rasterizer_.reset();
}

void Direct3DDevice8::makeCurrent() { context_->makeCurrent(); }

void Direct3DDevice8::requireScene(const char* call) const {
    if (!inScene_) rt::raiseInvalidCall(call, "called outside BeginScene/EndScene");
}

void Direct3DDevice8::BeginScene() {
    if (inScene_) rt::raiseInvalidCall("BeginScene", "a scene is already begun");
    inScene_ = true;
}

void Direct3DDevice8::EndScene() {
    if (!inScene_) rt::raiseInvalidCall("EndScene", "no scene was begun");
    inScene_ = false;
}

void Direct3DDevice8::Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR color,
                            float z, uint32_t /*stencil*/) {
    if (count > 0 && !rects)
        rt::raiseInvalidCall("Clear", "rectangle count " + std::to_string(count) + " without rectangles");
    if (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))
        rt::raiseInvalidCall("Clear", "unknown flags");
    if (flags == 0) rt::raiseInvalidCall("Clear", "no buffer to clear");
    if ((flags & D3DCLEAR_ZBUFFER) && !hasDepthBuffer_) rt::raiseInvalidCall("Clear", "the device has no depth buffer");
    if (flags & D3DCLEAR_STENCIL) rt::raiseInvalidCall("Clear", "the D16 depth buffer has no stencil");
    if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f))
        rt::raiseInvalidCall("Clear", "depth " + std::to_string(z) + " outside 0..1");
    clearRects_.clear();
    for (uint32_t i = 0; i < count; ++i) clearRects_.push_back({rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
    makeCurrent();
    rasterizer_->clear(clearRects_, flags & D3DCLEAR_TARGET, color, flags & D3DCLEAR_ZBUFFER, z, "Clear");
}

void Direct3DDevice8::Present(const D3DRECT* sourceRect, const D3DRECT* destRect,
                              HWND overrideWindow, const void* /*dirtyRegion: advisory only*/) {
    if (sourceRect || destRect) rt::raiseInvalidCall("Present", "source and destination rectangles are not supported");
    if (overrideWindow && overrideWindow != window_)
        rt::raiseInvalidCall("Present", "presenting to another window than the device's is not supported");
    makeCurrent();
    if (window_) {
        rasterizer_->present(window_->defaultFramebuffer(), window_->clientWidth(), window_->clientHeight(), "Present");
        window_->swapBuffers();
    } else {
        rasterizer_->finish();
    }
    rasterizer_->endFrame();
}

BackBufferImage Direct3DDevice8::readBackBuffer() {
    makeCurrent();
    return {width_, height_, rasterizer_->readPixels()};
}

void Direct3DDevice8::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix) {
    if (!isTransformState(state))
        rt::raiseInvalidCall("SetTransform", "transform state " + std::to_string(state) + " does not exist");
    transforms_[state] = matrix;
}

D3DMATRIX Direct3DDevice8::GetTransform(D3DTRANSFORMSTATETYPE state) const {
    if (!isTransformState(state))
        rt::raiseInvalidCall("GetTransform", "transform state " + std::to_string(state) + " does not exist");
    auto found = transforms_.find(state);
    return found != transforms_.end() ? found->second : D3DXMatrixIdentity();
}

void Direct3DDevice8::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) {
    if (!isRenderState(state))
        rt::raiseInvalidCall("SetRenderState", "render state " + std::to_string(state) + " does not exist");
    renderStates_[state] = value;
    rasterStateDirty_ = true;
}

uint32_t Direct3DDevice8::GetRenderState(D3DRENDERSTATETYPE state) const {
    if (!isRenderState(state))
        rt::raiseInvalidCall("GetRenderState", "render state " + std::to_string(state) + " does not exist");
    return renderStates_[state];
}

void Direct3DDevice8::SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value) {
    if (stage >= kStageCount)
        rt::raiseInvalidCall("SetTextureStageState", "stage " + std::to_string(stage) + " does not exist");
    if (!isStageState(type))
        rt::raiseInvalidCall("SetTextureStageState", "texture stage state " + std::to_string(type) + " does not exist");
    stageStates_[stage][type] = value;
    if (stage == 0) rasterStateDirty_ = true;
}

uint32_t Direct3DDevice8::GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type) const {
    if (stage >= kStageCount)
        rt::raiseInvalidCall("GetTextureStageState", "stage " + std::to_string(stage) + " does not exist");
    if (!isStageState(type))
        rt::raiseInvalidCall("GetTextureStageState", "texture stage state " + std::to_string(type) + " does not exist");
    return stageStates_[stage][type];
}

void Direct3DDevice8::SetTexture(uint32_t stage, std::shared_ptr<Direct3DTexture8> texture) {
    if (stage >= kStageCount) rt::raiseInvalidCall("SetTexture", "stage " + std::to_string(stage) + " does not exist");
    textures_[stage] = std::move(texture);
}

std::shared_ptr<Direct3DTexture8> Direct3DDevice8::GetTexture(uint32_t stage) const {
    if (stage >= kStageCount) rt::raiseInvalidCall("GetTexture", "stage " + std::to_string(stage) + " does not exist");
    return textures_[stage];
}

void Direct3DDevice8::SetStreamSource(uint32_t stream, std::shared_ptr<Direct3DVertexBuffer8> buffer,
                                      uint32_t stride) {
    if (stream >= kMaxVertexStreams)
        rt::raiseInvalidCall("SetStreamSource", "stream " + std::to_string(stream) + " does not exist");
    if (buffer && stride == 0) rt::raiseInvalidCall("SetStreamSource", "stride 0");
    streams_[stream] = {std::move(buffer), stride};
}

void Direct3DDevice8::SetIndices(std::shared_ptr<Direct3DIndexBuffer8> indices, uint32_t baseVertexIndex) {
    indices_ = std::move(indices);
    baseVertexIndex_ = baseVertexIndex;
}

void Direct3DDevice8::SetVertexShader(uint32_t handle) {
    if (handle >= kFirstShaderHandle) {
        auto found = vertexShaders_.find(handle);
        if (found == vertexShaders_.end())
            rt::raiseInvalidCall("SetVertexShader", "handle " + std::to_string(handle) + " is not a vertex shader");
        currentStage_ = found->second;
        currentStage_->loadDeclaredConstants(shaderConstants_);
    } else {
        fixedStage_->setFormat(handle);
        currentStage_ = fixedStage_;
    }
    vertexShaderHandle_ = handle;
}

std::shared_ptr<Direct3DVertexBuffer8> Direct3DDevice8::CreateVertexBuffer(uint32_t length, uint32_t usage,
                                                                           uint32_t fvf, D3DPOOL pool) {
    if (length == 0) rt::raiseInvalidCall("CreateVertexBuffer", "length 0");
    if (fvf != 0 && length < fvfVertexSize(fvf))
        rt::raiseInvalidCall("CreateVertexBuffer",
                             "length " + std::to_string(length) + " holds no vertex of the format");
    if (pool > D3DPOOL_SYSTEMMEM)
        rt::raiseInvalidCall("CreateVertexBuffer", "pool " + std::to_string(pool) + " does not exist");
    return std::make_shared<Direct3DVertexBuffer8>(length, usage, fvf, pool);
}

std::shared_ptr<Direct3DIndexBuffer8> Direct3DDevice8::CreateIndexBuffer(uint32_t length, uint32_t usage,
                                                                         D3DFORMAT format, D3DPOOL pool) {
    if (length == 0) rt::raiseInvalidCall("CreateIndexBuffer", "length 0");
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)
        rt::raiseInvalidCall("CreateIndexBuffer", "format " + std::to_string(format) + " is not INDEX16 or INDEX32");
    if (pool > D3DPOOL_SYSTEMMEM)
        rt::raiseInvalidCall("CreateIndexBuffer", "pool " + std::to_string(pool) + " does not exist");
    return std::make_shared<Direct3DIndexBuffer8>(length, usage, format, pool);
}

std::shared_ptr<Direct3DTexture8> Direct3DDevice8::CreateTexture(uint32_t width, uint32_t height, uint32_t levels,
                                                                 uint32_t usage, D3DFORMAT format, D3DPOOL pool) {
    if (pool > D3DPOOL_SYSTEMMEM)
        rt::raiseInvalidCall("CreateTexture", "pool " + std::to_string(pool) + " does not exist");
    return std::make_shared<Direct3DTexture8>(width, height, levels, usage, format, pool);
}
