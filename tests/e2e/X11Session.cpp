#include "X11Session.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

// A virtual X server resets when its last client leaves, as at the end of each test's
// program, and refuses connections for a moment while it does: try again for a while.
X11Session::X11Session() {
    display_ = XOpenDisplay(nullptr);
    for (int tries = 0; display_ == nullptr && std::getenv("DISPLAY") != nullptr && tries < 60; ++tries) {
        pause(50);
        display_ = XOpenDisplay(nullptr);
    }
}

X11Session::~X11Session() {
    if (display_ != nullptr) XCloseDisplay(display_);
}

QSize X11Session::screenSize() const {
    return {DisplayWidth(display_, DefaultScreen(display_)), DisplayHeight(display_, DefaultScreen(display_))};
}

std::optional<QRect> X11Session::findWindow(int width, int height) {
    Window root = DefaultRootWindow(display_), parent = 0, *children = nullptr;
    unsigned count = 0;
    std::optional<QRect> found;
    if (XQueryTree(display_, root, &root, &parent, &children, &count) == 0) return found;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display_, children[i], &a) == 0) continue;
        if (a.map_state != IsViewable || a.width != width || a.height != height) continue;
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display_, children[i], root, 0, 0, &x, &y, &child);
        found = QRect(x, y, width, height);
    }
    if (children != nullptr) XFree(children);
    return found;
}

bool X11Session::waitFor(const std::function<bool()>& pred, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        pause(100);
    }
    return pred();
}

void X11Session::flush() { XFlush(display_); XSync(display_, False); }

void X11Session::moveTo(QPoint p) {
    XTestFakeMotionEvent(display_, -1, p.x(), p.y(), CurrentTime);
    flush();
    pause(30);
}

void X11Session::press(int button) {
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, CurrentTime);
    flush();
    pause(30);
}

void X11Session::release(int button) {
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, CurrentTime);
    flush();
    pause(30);
}

void X11Session::click(QPoint p, int button) {
    moveTo(p);
    press(button);
    release(button);
}

void X11Session::doubleClick(QPoint p) {
    moveTo(p);
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        flush();
        pause(40);
    }
}

void X11Session::drag(QPoint a, QPoint b, int button) {
    moveTo(a);
    press(button);
    constexpr int steps = 20;
    for (int i = 1; i <= steps; ++i) moveTo(a + (b - a) * i / steps);
    release(button);
}

void X11Session::typeText(const QString& text) {
    for (QChar c : text) {
        const QByteArray name = c == '.' ? QByteArray("period") : QString(c).toLatin1();
        KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(name.constData()));
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        flush();
        pause(40);
    }
}

void X11Session::pressKeyCombo(const char* modifierKeysym, const char* keysym) {
    KeyCode mod = XKeysymToKeycode(display_, XStringToKeysym(modifierKeysym));
    KeyCode key = XKeysymToKeycode(display_, XStringToKeysym(keysym));
    XTestFakeKeyEvent(display_, mod, True, CurrentTime);
    XTestFakeKeyEvent(display_, key, True, CurrentTime);
    XTestFakeKeyEvent(display_, key, False, CurrentTime);
    XTestFakeKeyEvent(display_, mod, False, CurrentTime);
    flush();
    pause(40);
}

void X11Session::pressKey(const char* keysym) {
    KeyCode key = XKeysymToKeycode(display_, XStringToKeysym(keysym));
    XTestFakeKeyEvent(display_, key, True, CurrentTime);
    XTestFakeKeyEvent(display_, key, False, CurrentTime);
    flush();
    pause(40);
}

QImage X11Session::grab(QRect area) {
    XImage* image = XGetImage(display_, DefaultRootWindow(display_), area.x(), area.y(),
                              static_cast<unsigned>(area.width()), static_cast<unsigned>(area.height()),
                              AllPlanes, ZPixmap);
    QImage result(area.size(), QImage::Format_RGB32);
    if (image == nullptr) return result;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            result.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)) | 0xFF000000u);
    XDestroyImage(image);
    return result;
}
