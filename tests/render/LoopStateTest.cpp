// The main loop's own state: a scene setup requested during one runs after it, and the event
// step waits only while the frames on screen are what the next frame would draw.

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <vector>

#include "render/DeferredCall.h"
#include "render/SteadyFrames.h"

namespace {

TEST(DeferredCall, RequestsDuringARunCollapseIntoOneRunAfterIt) {
    DeferredCall call;
    int runs = 0;
    std::function<void()> job = [&] {
        ++runs;
        if (runs == 1) {
            // Three presses while the first setup is suspended in its event step.
            call.request(job);
            call.request(job);
            call.request(job);
            EXPECT_EQ(runs, 1) << "a nested request must not run inside the running job";
        }
    };
    call.request(job);
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(call.running());
}

TEST(DeferredCall, AnErrorLeavesItReadyForTheNextRequest) {
    DeferredCall call;
    EXPECT_THROW(call.request([] { throw std::runtime_error("load failed"); }), std::runtime_error);
    EXPECT_FALSE(call.running());
    int runs = 0;
    call.request([&] { ++runs; });
    EXPECT_EQ(runs, 1);
}

}  // namespace

namespace {

// The main loop may wait only once two frames in a row had the inputs the next would use.
TEST(SteadyFrames, SettleAfterTwoFramesWithTheSameInputs) {
    const FrameInputs still{11.0f, 0, 0, 1, 1};
    FrameInputs turned = still, zoomed = still, newScene = still, exposed = still;
    turned.yaw = 2, zoomed.zoom = 12.0f, newScene.sceneSetups = 2, exposed.windowChanges = 2;
    FrameInputs unsettled = still;
    unsettled.zoom = std::numeric_limits<float>::quiet_NaN();  // no two frames ever agree: the endless redraw
    struct Case { const char* what; std::vector<FrameInputs> drawn; FrameInputs next; bool wait; };
    const Case cases[] = {
        {"nothing drawn", {}, still, false},
        {"one frame: the first of a device culls, the second does not", {still}, still, false},
        {"two frames", {still, still}, still, true},
        {"many frames", {still, still, still, still}, still, true},
        {"two frames, then the angle changes", {still, still}, turned, false},
        {"two frames, then the zoom", {still, still}, zoomed, false},
        {"two frames, then a scene setup", {still, still}, newScene, false},
        {"two frames, then an exposure", {still, still}, exposed, false},
        {"one frame of the new angle", {still, still, turned}, turned, false},
        {"two of the new angle", {still, still, turned, turned}, turned, true},
        {"turned there and back between frames", {still, turned, still}, still, false},
        {"a zoom that is not a number", {unsettled, unsettled, unsettled}, unsettled, false},
    };
    for (const Case& c : cases) {
        SteadyFrames frames;
        for (const FrameInputs& inputs : c.drawn) frames.drawn(inputs);
        EXPECT_EQ(frames.onScreen(c.next), c.wait) << c.what;
    }
}

}  // namespace
