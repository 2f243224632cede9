#pragma once
// The root objects: DirectX8 makes Direct3D8, which reports the desktop mode and makes
// the device. One adapter (0), the desktop in X8R8G8B8.

#include <cstdint>
#include <memory>

#include "d3d8/d3d8types.h"

class Direct3D8;
class Direct3DDevice8;

class DirectX8 {
public:
    std::shared_ptr<Direct3D8> Direct3DCreate();
};

class Direct3D8 {
public:
    // The current mode of adapter 0; D3DERR_INVALIDCALL for any other adapter.
    D3DDISPLAYMODE GetAdapterDisplayMode(uint32_t adapter) const;

    // A device for adapter 0. Windowed with a window: back buffer of the window's client
    // size when BackBufferWidth/Height are 0. No window: an off-screen device, which needs
    // the back buffer size.
    std::shared_ptr<Direct3DDevice8> CreateDevice(uint32_t adapter, uint32_t deviceType,
                                                  HWND focusWindow, uint32_t behaviorFlags,
                                                  const D3DPRESENT_PARAMETERS& params);
};

// A windowless device of width × height with the program's back-buffer format, D16 depth and
// software vertex processing: for tests, benchmarks and tools that draw without a display.
std::shared_ptr<Direct3DDevice8> createOffscreenDevice(uint32_t width, uint32_t height);
