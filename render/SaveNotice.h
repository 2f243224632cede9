#pragma once
// What became of the last frame saved (F12, Ctrl+S): its path, or why it could not be saved,
// shown as a line over the bottom left of the render window's frames for a few seconds. Only
// the window shows it; no picture of the scene, saved or drawn by celshade-tool, has it. Its
// coming and going are counted among the main loop's frame inputs, so that the idle wait
// draws the frames that show and hide it (the timer that hides it also wakes the wait).

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <string>

namespace recipe {
struct Scene;
}

class SaveNotice {
public:
    SaveNotice();

    // Shows `text` in the frames drawn from now on, for `shownFor`, in place of any notice.
    void show(const std::u16string& text);
    bool visible() const { return visible_; }
    const std::u16string& text() const { return text_; }
    // How many times a notice has come or gone.
    uint64_t changes() const { return changes_; }

    // A frame's window-only step: draws the notice, while it is visible, with the scene's
    // overlay font, and notes whether the frame has it.
    void draw(const recipe::Scene& scene);
    // Whether the last frame drawn, which the back buffer holds, has the notice.
    bool inLastFrame() const { return inLastFrame_; }
    // The scene was drawn again without it.
    void drawnAway() { inLastFrame_ = false; }

    std::chrono::milliseconds shownFor{4000};

private:
    QTimer timer_;
    std::u16string text_;
    bool visible_ = false;
    bool inLastFrame_ = false;
    uint64_t changes_ = 0;
};
