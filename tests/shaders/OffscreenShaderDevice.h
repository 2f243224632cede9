#pragma once
// An off-screen device (EGL, no window) the size of a small back buffer, with a D16 depth
// buffer as the program's device has.

#include <memory>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"

namespace shadertest {

inline std::shared_ptr<Direct3DDevice8> makeDevice(uint32_t width, uint32_t height) {
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

}  // namespace shadertest
