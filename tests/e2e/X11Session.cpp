#include "X11Session.h"

#include <QUrl>

// After Qt's headers: Xlib's macros would break them.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Windows come and go between the call that lists them and the calls that examine them (a
// program ending while the next one starts): one gone by then is skipped, not a reason for
// Xlib's default handler to end the test.
XErrorHandler previousHandler = nullptr;
int skipVanishedWindows(Display* display, XErrorEvent* error) {
    return error->error_code == BadWindow ? 0 : previousHandler(display, error);
}

// The source's side of one drop: a window of our own, never mapped, that owns the drag's
// selection and receives the target's messages.
class DragSource {
public:
    DragSource(const QByteArray& uriList, int timeoutMs)
        : display_(XOpenDisplay(nullptr)), data_(uriList),
          deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {
        if (display_ != nullptr) window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    }
    ~DragSource() {
        if (display_ == nullptr) return;
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }
    DragSource(const DragSource&) = delete;
    DragSource& operator=(const DragSource&) = delete;

    bool drop(QPoint at) {
        if (display_ == nullptr) return false;
        // With no window manager the top-level windows are children of the root.
        Window root = DefaultRootWindow(display_), target = None;
        int x = 0, y = 0;
        XTranslateCoordinates(display_, root, root, at.x(), at.y(), &x, &y, &target);
        if (target == None) return false;
        XSetSelectionOwner(display_, atom("XdndSelection"), window_, CurrentTime);
        send(target, "XdndEnter", 5L << 24, static_cast<long>(atom("text/uri-list")));
        send(target, "XdndPosition", 0, (long{at.x()} << 16) | at.y(), CurrentTime,
             static_cast<long>(atom("XdndActionCopy")));
        const auto status = answerUntil("XdndStatus");
        if (!status || (status->data.l[1] & 1) == 0) {
            send(target, "XdndLeave", 0);
            return false;
        }
        send(target, "XdndDrop", 0, CurrentTime);
        const auto finished = answerUntil("XdndFinished");
        return finished && (finished->data.l[1] & 1) != 0;
    }

private:
    Atom atom(const char* name) { return XInternAtom(display_, name, False); }

    void send(Window target, const char* type, long l1, long l2 = 0, long l3 = 0, long l4 = 0) {
        XEvent event{};
        event.xclient = {ClientMessage, 0, False, display_, target, atom(type), 32, {}};
        const long data[] = {static_cast<long>(window_), l1, l2, l3, l4};
        std::copy(std::begin(data), std::end(data), event.xclient.data.l);
        XSendEvent(display_, target, False, NoEventMask, &event);
        XFlush(display_);
    }

    // Hands the file over whenever the target asks for it, until it sends the message `type`.
    std::optional<XClientMessageEvent> answerUntil(const char* type) {
        const Atom awaited = atom(type);
        while (std::chrono::steady_clock::now() < deadline_) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == SelectionRequest) answer(event.xselectionrequest);
                if (event.type == ClientMessage && event.xclient.message_type == awaited) return event.xclient;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::nullopt;
    }

    // The file as text/uri-list; any other form is refused.
    void answer(const XSelectionRequestEvent& request) {
        XEvent reply{};
        reply.xselection = {SelectionNotify, 0, False, display_, request.requestor, request.selection,
                            request.target, None, request.time};
        if (request.target == atom("text/uri-list")) {
            reply.xselection.property = request.property != None ? request.property : request.target;
            XChangeProperty(display_, request.requestor, reply.xselection.property, request.target, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(data_.constData()), static_cast<int>(data_.size()));
        }
        XSendEvent(display_, request.requestor, False, NoEventMask, &reply);
        XFlush(display_);
    }

    Display* display_;
    Window window_ = None;
    QByteArray data_;
    std::chrono::steady_clock::time_point deadline_;
};

}  // namespace

// A virtual X server resets when its last client leaves, as at the end of each test's
// program, and refuses connections for a moment while it does: try again for a while.
X11Session::X11Session() {
    if (previousHandler == nullptr) previousHandler = XSetErrorHandler(skipVanishedWindows);
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

// Where a window is on the screen, when it is mapped and viewable.
std::optional<QRect> X11Session::placeOf(unsigned long window) {
    XWindowAttributes a;
    int x = 0, y = 0;
    Window child = 0;
    if (XGetWindowAttributes(display_, window, &a) == 0 || a.map_state != IsViewable ||
        !XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child))
        return std::nullopt;
    return QRect(x, y, a.width, a.height);
}

std::vector<QRect> X11Session::windows() {
    Window root = DefaultRootWindow(display_), parent = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<QRect> found;
    if (XQueryTree(display_, root, &root, &parent, &children, &count) == 0) return found;
    for (unsigned i = 0; i < count; ++i)
        if (const std::optional<QRect> place = placeOf(children[i])) found.push_back(*place);
    if (children != nullptr) XFree(children);
    return found;
}

std::optional<QRect> X11Session::focusedWindow() {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    const Window root = DefaultRootWindow(display_);
    if (focus == None || focus == PointerRoot || focus == root) return std::nullopt;
    // Up to the window that is a child of the root.
    for (;;) {
        Window top = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display_, focus, &top, &parent, &children, &count) == 0) return std::nullopt;
        if (children != nullptr) XFree(children);
        if (parent == root) break;
        focus = parent;
    }
    return placeOf(focus);
}

std::optional<QRect> X11Session::findWindow(int width, int height) {
    for (const QRect& window : windows())
        if (window.size() == QSize(width, height)) return window;
    return std::nullopt;
}

std::optional<QRect> X11Session::waitForWindow(int width, int height, int timeoutMs) {
    std::optional<QRect> found;
    waitFor([&] { return (found = findWindow(width, height)).has_value(); }, timeoutMs);
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

// Sends what is queued, waits until the server has it, and gives the program `ms` to react.
void X11Session::flush(int ms) {
    XSync(display_, False);
    pause(ms);
}

void X11Session::moveTo(QPoint p) {
    XTestFakeMotionEvent(display_, -1, p.x(), p.y(), CurrentTime);
    flush(30);
}

void X11Session::setButton(int button, bool down) {
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), down ? True : False, CurrentTime);
    flush(30);
}

void X11Session::click(QPoint p, int button) {
    moveTo(p);
    setButton(button, true);
    setButton(button, false);
}

void X11Session::doubleClick(QPoint p) {
    moveTo(p);
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        flush(40);
    }
}

void X11Session::drag(QPoint a, QPoint b, int button, int steps) {
    moveTo(a);
    setButton(button, true);
    for (int i = 1; i <= steps; ++i) moveTo(a + (b - a) * i / steps);
    setButton(button, false);
}

// Presses the keys in order and lets them go in the opposite order.
void X11Session::keys(std::initializer_list<const char*> keysyms) {
    for (const char* k : keysyms) XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, XStringToKeysym(k)), True, CurrentTime);
    for (auto k = std::rbegin(keysyms); k != std::rend(keysyms); ++k)
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, XStringToKeysym(*k)), False, CurrentTime);
    flush(40);
}

// Printable ASCII, whose keysyms are their character codes; Shift where the keyboard has the
// character on a key's second level.
void X11Session::typeText(const QString& text) {
    for (QChar c : text) {
        const KeySym symbol = c.unicode();
        const KeyCode code = XKeysymToKeycode(display_, symbol);
        const bool shifted = XkbKeycodeToKeysym(display_, code, 0, 0) != symbol;
        const KeyCode shift = XKeysymToKeycode(display_, XK_Shift_L);
        if (shifted) XTestFakeKeyEvent(display_, shift, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        if (shifted) XTestFakeKeyEvent(display_, shift, False, CurrentTime);
        flush(15);
    }
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

bool X11Session::dropFile(const QString& path, QPoint at, int timeoutMs) {
    return DragSource(QUrl::fromLocalFile(path).toEncoded() + "\r\n", timeoutMs).drop(at);
}
