#pragma once
// A top-level window with its own OpenGL 3.3 core context that a Direct3D device can
// present to (it is a NativeWindow, so a GlWindow* is an HWND). It draws nothing itself;
// windows of the program derive from it and add their event handlers.

#include <QOpenGLContext>
#include <QWindow>
#include <memory>

#include "gl/NativeWindow.h"

namespace ui {

class GlWindow : public QWindow, public NativeWindow {
    Q_OBJECT

public:
    explicit GlWindow(QWindow* parent = nullptr);
    ~GlWindow() override;

    // Sets the client area in device pixels (whatever the screen's scale factor).
    void setClientSize(uint32_t width, uint32_t height);

    // NativeWindow
    uint32_t clientWidth() const override;
    uint32_t clientHeight() const override;
    uint32_t pixelScale() const override;
    uint32_t defaultFramebuffer() const override;
    // Takes effect if called before the context is first made current (the device does so).
    void setSwapInterval(int interval) override;
    int swapInterval() const { return swapInterval_; }
    void swapBuffers() override;
    // Creates the native window and the context on first use; raises rt::Error saying
    // what is missing when there is no OpenGL 3.3 core.
    void makeCurrent() override;

    // Whether any window of the process has made its context (and so loaded the driver).
    static bool anyContextMade();

private:
    void createContext();

    std::unique_ptr<QOpenGLContext> context_;
    int swapInterval_ = 1;
};

}  // namespace ui
