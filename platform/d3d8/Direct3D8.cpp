#include "d3d8/Direct3D8.h"

#include <string>

#include "d3d8/Direct3DDevice8.h"
#include "runtime/Status.h"

namespace {
// The mode reported for the desktop; only its format matters to callers, and the device
// takes its sizes from the window.
constexpr D3DDISPLAYMODE kDesktopMode{1920, 1080, 60, D3DFMT_X8R8G8B8};
}  // namespace

std::shared_ptr<Direct3D8> DirectX8::Direct3DCreate() { return std::make_shared<Direct3D8>(); }

D3DDISPLAYMODE Direct3D8::GetAdapterDisplayMode(uint32_t adapter) const {
    if (adapter != D3DADAPTER_DEFAULT)
        rt::raiseInvalidCall("GetAdapterDisplayMode", "adapter " + std::to_string(adapter) + " does not exist");
    return kDesktopMode;
}

std::shared_ptr<Direct3DDevice8> Direct3D8::CreateDevice(uint32_t adapter, uint32_t deviceType,
                                                         HWND focusWindow, uint32_t behaviorFlags,
                                                         const D3DPRESENT_PARAMETERS& params) {
    if (adapter != D3DADAPTER_DEFAULT)
        rt::raiseInvalidCall("CreateDevice", "adapter " + std::to_string(adapter) + " does not exist");
    if (deviceType < D3DDEVTYPE_HAL || deviceType > D3DDEVTYPE_SW)
        rt::raiseInvalidCall("CreateDevice", "device type " + std::to_string(deviceType) + " is not HAL, REF or SW");
    // Direct3D 8 only reads the parameters; the chosen sizes are the device's to report.
    return std::make_shared<Direct3DDevice8>(focusWindow, behaviorFlags, params);
}

std::shared_ptr<Direct3DDevice8> createOffscreenDevice(uint32_t width, uint32_t height) {
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = width;
    params.BackBufferHeight = height;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    params.Windowed = 1;
    params.EnableAutoDepthStencil = 1;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    return DirectX8().Direct3DCreate()->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, params);
}
