#pragma once
// Whether the main loop would draw the picture that is already on screen. The loop draws a
// frame and then runs the event step; when nothing the frame depends on has changed since the
// last frames, the next frame would be the same picture, so the event step waits for the next
// event instead of going round again.

#include <cstdint>

// Everything a frame of the render window depends on that can change while the program runs.
struct FrameInputs {
    float zoom = 0.0f;
    int32_t pitch = 0;
    int32_t yaw = 0;
    uint64_t sceneSetups = 0;    // completed scene setups: the model, its lines, sphere and shaders
    uint64_t windowChanges = 0;  // exposures and resizes: the window system may have lost the picture
    uint64_t saveNotices = 0;    // a save's notice shown or gone

    bool operator==(const FrameInputs&) const = default;
};

class SteadyFrames {
public:
    // The first frame of a new device culls back faces in its cel pass and every later one draws
    // them (the edge pass turns culling off for good), so two frames with the same inputs are
    // needed before the next would be the same picture.
    static constexpr int kFramesToSettle = 2;

    void drawn(const FrameInputs& inputs) {
        run_ = inputs == last_ && run_ > 0 ? run_ + 1 : 1;
        last_ = inputs;
    }

    // True when the last frames drawn had these inputs and were enough to settle the picture.
    bool onScreen(const FrameInputs& current) const { return run_ >= kFramesToSettle && current == last_; }

private:
    FrameInputs last_;
    int run_ = 0;  // frames drawn in a row with last_
};
