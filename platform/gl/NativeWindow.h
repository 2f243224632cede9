#pragma once
// The contexts the OpenGL layer draws with. A device either owns an off-screen context
// (gl::OffscreenContext) or draws through the context of the window it presents to.

#include <cstdint>

namespace gl {

// Something that can make its OpenGL 3.3 core context current on this thread.
class ContextOwner {
public:
    virtual ~ContextOwner() = default;
    // Cheap when the context is current already; raises rt::Error when it cannot be made current.
    virtual void makeCurrent() = 0;
};

}  // namespace gl

// A window that a device presents to (HWND in d3d8types.h points at one). The window layer
// implements it; the device only asks for its size, its context and a swap.
class NativeWindow : public gl::ContextOwner {
public:
    // Client area in device pixels.
    virtual uint32_t clientWidth() const = 0;
    // Device pixels per pixel of the window, whole: 2 on a screen of twice the usual density.
    // Lines and points are drawn this wide, so that the picture is the same at any density.
    virtual uint32_t pixelScale() const { return 1; }
    virtual uint32_t clientHeight() const = 0;
    // The framebuffer object that shows on screen while the context is current.
    virtual uint32_t defaultFramebuffer() const = 0;
    // 1 waits for the display's refresh, 0 does not.
    virtual void setSwapInterval(int interval) = 0;
    virtual void swapBuffers() = 0;
};
