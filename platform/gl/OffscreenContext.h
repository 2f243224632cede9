#pragma once
// An OpenGL 3.3 core context without any window: EGL on Mesa's surfaceless platform.
// Drawing goes into framebuffer objects only.

#include "gl/NativeWindow.h"

namespace gl {

class OffscreenContext : public ContextOwner {
public:
    // Raises rt::Error saying what is missing when no such context can be made.
    OffscreenContext();
    ~OffscreenContext() override;
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    void makeCurrent() override;

private:
    void* display_ = nullptr;
    void* context_ = nullptr;
};

}  // namespace gl
