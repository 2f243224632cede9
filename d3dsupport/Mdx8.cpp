// Device creation, the default scene state and shutdown.

#include "d3dsupport/Mdx8.h"

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dx8/D3DX8.h"
#include "import/ImportProcess.h"
#include "runtime/Error.h"
#include "runtime/ProcessEnd.h"

namespace Mdx8 {

namespace {

void createD3DXIfAbsent() {
    if (!d3dx) d3dx = std::make_shared<D3DX8>();
}

void fillPresentParams(int32_t width, int32_t height, int32_t backBufferFormat, HWND hWnd,
                       bool windowed, int32_t backBufferCount, bool immediate,
                       const D3DDISPLAYMODE& desktop) {
    // Fields not assigned here keep their previous value (zero at process start).
    if (windowed) {
        presentParams.BackBufferFormat = desktop.Format;
        presentParams.BackBufferCount = 1;
        presentParams.Windowed = 1;
    } else {
        presentParams.BackBufferWidth = static_cast<uint32_t>(width);
        presentParams.BackBufferHeight = static_cast<uint32_t>(height);
        presentParams.BackBufferFormat = static_cast<D3DFORMAT>(backBufferFormat);
        presentParams.BackBufferCount = static_cast<uint32_t>(backBufferCount);
    }
    presentParams.SwapEffect = D3DSWAPEFFECT_FLIP;
    presentParams.hDeviceWindow = hWnd;
    presentParams.EnableAutoDepthStencil = 1;
    presentParams.AutoDepthStencilFormat = D3DFMT_D16;
    if (immediate) presentParams.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
}

// Runs one release step of shutdown; a failure only skips that step.
template <typename Step>
void ignoringErrors(Step step) {
    try {
        step();
    } catch (...) {
    }
}

}  // namespace

void initDevice(int32_t width, int32_t height, int32_t backBufferFormat, HWND hWnd, bool windowed,
                int32_t backBufferCount, bool immediate) {
    if (!dx) dx = std::make_shared<DirectX8>();
    d3d = dx->Direct3DCreate();
    D3DDISPLAYMODE desktop = d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT);
    fillPresentParams(width, height, backBufferFormat, hWnd, windowed, backBufferCount, immediate, desktop);
    d3dDevice = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd,
                                  D3DCREATE_SOFTWARE_VERTEXPROCESSING, presentParams);
    createD3DXIfAbsent();
}

D3DVECTOR makeVector(float x, float y, float z) { return {x, y, z}; }

Direct3DDevice8& device() {
    if (!d3dDevice) rt::raiseRuntime(rt::errc::ObjectNotSet, "d3dDevice");
    return *d3dDevice;
}

void initScene() {
    Direct3DDevice8& dev = device();
    dev.SetRenderState(D3DRS_LIGHTING, 0);
    dev.SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    dev.SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    dev.SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    dev.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    dev.SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);

    matWorld = D3DXMatrixIdentity();
    dev.SetTransform(D3DTS_WORLD, matWorld);

    matView = cameraView();
    dev.SetTransform(D3DTS_VIEW, matView);
    matProj = cameraProjection();
    dev.SetTransform(D3DTS_PROJECTION, matProj);
}

// 40 units in front of the origin, looking at it, y up.
D3DMATRIX cameraView() {
    D3DVECTOR eye = makeVector(0, 0, -40);
    D3DVECTOR at = makeVector(0, 0, 0);
    D3DVECTOR up = makeVector(0, 1, 0);
    return D3DXMatrixLookAtLH(eye, at, up);
}

// 0.785 rad rather than π/4, and an aspect of 4/5 rather than the window's 4:3: the picture
// is stretched horizontally, as it always was.
D3DMATRIX cameraProjection() {
    constexpr float fieldOfView = 0.785f;
    const float aspect = static_cast<float>(4.0 / 5.0);
    return D3DXMatrixPerspectiveFovLH(fieldOfView, aspect, 0.1f, 1400.0f);
}

void shutdown(bool endProgram) {
    ignoringErrors([] { dx.reset(); });
    ignoringErrors([] { d3d.reset(); });
    ignoringErrors([] { d3dDevice.reset(); });
    ignoringErrors([] { sceneMesh.mesh.reset(); });
    ignoringErrors([] { sceneMesh.indexBuffer.reset(); });
    ignoringErrors([] { sceneMesh.vertexBuffer.reset(); });
    if (!endProgram) return;
    // An import the program was waiting for ends with it, its child reaped.
    modelimport::endRunningImport();
    rt::endProcessNow(0);
}

}  // namespace Mdx8
