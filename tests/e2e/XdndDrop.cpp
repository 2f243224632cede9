#include "XdndDrop.h"

#include <QUrl>
#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

// Last: their macros would break Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

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

bool dropFile(const QString& path, QPoint at, int timeoutMs) {
    return DragSource(QUrl::fromLocalFile(path).toEncoded() + "\r\n", timeoutMs).drop(at);
}
