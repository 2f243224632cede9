#pragma once
// A user at an X display, for end-to-end tests: finds the program's windows, moves and
// clicks the pointer, types, drops files, and reads pixels back from the screen (no window manager:
// windows are top-level children of the root).

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

struct _XDisplay;

class X11Session {
public:
    X11Session();
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    bool connected() const { return display_ != nullptr; }
    QSize screenSize() const;

    // The screen rectangle of the first mapped top-level window with this client size.
    std::optional<QRect> findWindow(int width, int height);
    // Every mapped top-level window.
    std::vector<QRect> windows();
    // The top-level window that holds the keyboard focus, if any does.
    std::optional<QRect> focusedWindow();
    // The same, once it has appeared within timeoutMs.
    std::optional<QRect> waitForWindow(int width, int height, int timeoutMs);
    // Waits (processing nothing else) until pred holds or timeoutMs passes.
    static bool waitFor(const std::function<bool()>& pred, int timeoutMs);

    void moveTo(QPoint p);
    void click(QPoint p, int button = 1);
    void doubleClick(QPoint p);
    // Drags from a to b in `steps` moves with the button held.
    void drag(QPoint a, QPoint b, int button, int steps = 20);
    void typeText(const QString& text);
    // Keysym names ("Control_L", "s"), pressed in order and let go in the opposite order.
    void keys(std::initializer_list<const char*> keysyms);

    QImage grab(QRect area);

    // Drops `path` on the top-level window at `at` as a file manager drops it, by X's
    // drag-and-drop protocol (XDND), handing the file over when the window asks for it. False
    // when the window refuses it or has not finished within timeoutMs.
    static bool dropFile(const QString& path, QPoint at, int timeoutMs);

private:
    void flush(int ms);
    void setButton(int button, bool down);
    std::optional<QRect> placeOf(unsigned long window);
    _XDisplay* display_ = nullptr;
};
