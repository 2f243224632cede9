#pragma once
// An off-screen device (EGL, no window) the size of a small back buffer, with a D16 depth
// buffer as the program's device has.

#include <memory>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"

namespace shadertest {

inline std::shared_ptr<Direct3DDevice8> makeDevice(uint32_t width, uint32_t height) {
    return createOffscreenDevice(width, height);
}

}  // namespace shadertest
