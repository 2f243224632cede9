#include "gl/OffscreenContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <string>

#include "runtime/Status.h"

namespace gl {
namespace {

std::string eglErrorText() {
    char text[32];
    std::snprintf(text, sizeof text, "EGL error 0x%04X", static_cast<unsigned>(eglGetError()));
    return text;
}

[[noreturn]] void raiseMissing(const char* call, const std::string& what) {
    rt::raiseStatus(D3DERR_NOTAVAILABLE, call, what);
}

EGLDisplay openSurfacelessDisplay() {
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY)
        raiseMissing("eglGetPlatformDisplay",
                     "no EGL display: install libegl-mesa0 and libgl1-mesa-dri");
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor))
        raiseMissing("eglInitialize",
                     "EGL did not initialize (" + eglErrorText() + "): install libegl-mesa0 and libgl1-mesa-dri");
    return display;
}

EGLContext createCoreContext(EGLDisplay display) {
    if (!eglBindAPI(EGL_OPENGL_API))
        raiseMissing("eglBindAPI", "EGL offers no desktop OpenGL: install libgl1-mesa-dri");
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    // Mesa accepts a context without a config (EGL_KHR_no_config_context); nothing is ever
    // drawn to an EGL surface, only to framebuffer objects.
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT)
        raiseMissing("eglCreateContext",
                     "no OpenGL 3.3 core context (" + eglErrorText() + "): install libgl1-mesa-dri");
    return context;
}

}  // namespace

OffscreenContext::OffscreenContext() {
    EGLDisplay display = openSurfacelessDisplay();
    display_ = display;
    try {
        context_ = createCoreContext(display);
        makeCurrent();
    } catch (...) {
        if (context_) eglDestroyContext(display, context_);
        throw;
    }
}

OffscreenContext::~OffscreenContext() {
    if (eglGetCurrentContext() == context_)
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
    // The display is shared by every context of the process; EGL counts nothing, so it is
    // left initialized rather than pulled from under another device.
}

void OffscreenContext::makeCurrent() {
    if (eglGetCurrentContext() == context_) return;
    if (!eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_))
        raiseMissing("eglMakeCurrent",
                     "the off-screen OpenGL context cannot be made current (" + eglErrorText() + ")");
}

}  // namespace gl
