#include "ui/GlWindow.h"

#include <QSurfaceFormat>
#include <algorithm>
#include <cmath>
#include <string>

#include "runtime/Status.h"

namespace ui {
namespace {

QSurfaceFormat coreFormat(int swapInterval) {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    // Not forward-compatible: such a core context may still draw lines wider than a pixel,
    // which a window on a high-density screen does (pixelScale).
    format.setOption(QSurfaceFormat::DeprecatedFunctions);
    format.setDepthBufferSize(0);  // the device draws into its own framebuffer object
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setSwapInterval(swapInterval);
    return format;
}

bool contextMade = false;

uint32_t devicePixels(int logical, qreal ratio) {
    return static_cast<uint32_t>(std::lround(static_cast<double>(logical) * ratio));
}

}  // namespace

GlWindow::GlWindow(QWindow* parent) : QWindow(parent) {
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(coreFormat(swapInterval_));
}

GlWindow::~GlWindow() {
    if (context_ && QOpenGLContext::currentContext() == context_.get()) context_->doneCurrent();
}

void GlWindow::setClientSize(uint32_t width, uint32_t height) {
    qreal ratio = devicePixelRatio();
    resize(static_cast<int>(std::lround(width / ratio)), static_cast<int>(std::lround(height / ratio)));
}

uint32_t GlWindow::clientWidth() const { return devicePixels(width(), devicePixelRatio()); }
uint32_t GlWindow::clientHeight() const { return devicePixels(height(), devicePixelRatio()); }
uint32_t GlWindow::pixelScale() const { return std::max(1u, devicePixels(1, devicePixelRatio())); }

uint32_t GlWindow::defaultFramebuffer() const {
    return context_ ? context_->defaultFramebufferObject() : 0;
}

void GlWindow::createContext() {
    if (!handle()) create();
    context_ = std::make_unique<QOpenGLContext>();
    context_->setFormat(coreFormat(swapInterval_));
    if (!context_->create())
        rt::raiseStatus(D3DERR_NOTAVAILABLE, "QOpenGLContext::create",
                        "no OpenGL context for the window: install libgl1-mesa-dri and libegl-mesa0");
    contextMade = true;
    QSurfaceFormat got = context_->format();
    if (got.majorVersion() * 10 + got.minorVersion() < 33 || got.profile() != QSurfaceFormat::CoreProfile)
        rt::raiseStatus(D3DERR_NOTAVAILABLE, "QOpenGLContext::create",
                        "the window's OpenGL is " + std::to_string(got.majorVersion()) + "." +
                            std::to_string(got.minorVersion()) + ", not 3.3 core");
}

bool GlWindow::anyContextMade() { return contextMade; }

void GlWindow::makeCurrent() {
    if (!context_) createContext();
    if (QOpenGLContext::currentContext() == context_.get()) return;
    if (!context_->makeCurrent(this))
        rt::raiseStatus(D3DERR_NOTAVAILABLE, "QOpenGLContext::makeCurrent",
                        "the window's OpenGL context cannot be made current");
}

void GlWindow::setSwapInterval(int interval) {
    // Qt takes the swap interval from the format when the window and its context are
    // created; recreating them would take the device's OpenGL objects with them.
    swapInterval_ = interval;
    if (!context_ && !handle()) setFormat(coreFormat(interval));
}

void GlWindow::swapBuffers() {
    if (!context_ || !isExposed()) return;
    context_->swapBuffers(this);
}

}  // namespace ui
