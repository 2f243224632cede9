// The main loop's own state: a scene setup requested during one runs after it, the event step
// waits only while the frames on screen are what the next frame would draw, and the pointer
// turns and zooms the model; where F12 saves.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <limits>
#include <stdexcept>
#include <vector>

#include "render/DeferredCall.h"
#include "render/Form1.h"
#include "render/FrameSave.h"
#include "render/SteadyFrames.h"
#include "support/QtApplication.h"

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
    // A job that fails leaves the call ready for the next request.
    EXPECT_THROW(call.request([] { throw std::runtime_error("load failed"); }), std::runtime_error);
    EXPECT_FALSE(call.running());
    call.request(job);
    EXPECT_EQ(runs, 3);
}


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

constexpr int16_t kLeft = 1, kRight = 2, kMiddle = 4;

// A pointer move with buttons held, then the angles, the zoom and the last position it leaves.
struct Move { int16_t buttons; float x, y; int32_t yaw, pitch; float zoom; int32_t lastX, lastY; };

// Each run of moves starts from a fresh form at zoom 11 with the pointer at the origin. A left
// drag turns by a degree per ten twips (dragging down raises the pitch), the angle rounding
// ties to even; a right drag zooms by a unit per 300 twips within 2 and 44; other buttons only
// track the pointer, whose position rounds ties to even too.
TEST(MouseNavigation, DragsTurnAndZoomAndEveryMoveTracksThePointer) {
    testsupport::ensureApplication<QGuiApplication>();
    const std::vector<Move> runs[] = {
        {{0, 1000, 1000, 0, 0, 11, 1000, 1000}, {kLeft, 1015, 1000, -2, 0, 11, 1015, 1000},  // -1.5 to -2
         {kLeft, 1030, 1000, -4, 0, 11, 1030, 1000},                                         // -3.5 to -4
         {kLeft, 1015, 1000, -2, 0, 11, 1015, 1000},                                         // -2.5 to -2
         {kLeft, 1015, 1015, -2, 2, 11, 1015, 1015}},
        // Small moves turn nothing but still move the last position; half a degree ties to 0.
        {{kLeft, 4, 0, 0, 0, 11, 4, 0}, {kLeft, 9, 0, 0, 0, 11, 9, 0}, {kLeft, 19, 0, -1, 0, 11, 19, 0},
         {kLeft, 14, 0, 0, 0, 11, 14, 0}},
        {{kLeft, 100, 0, -10, 0, 11, 100, 0}},  // the first drag measures from the origin
        {{kRight, 0, 300, 0, 0, 12, 0, 300}, {kRight, 0, 30000, 0, 0, 44, 0, 30000}, {kRight, 0, -60000, 0, 0, 2, 0, -60000}},
        {{0, 500.4f, 700.5f, 0, 0, 11, 500, 700}, {kMiddle, 0, 0, 0, 0, 11, 0, 0}, {kMiddle, 500.4f, 700.5f, 0, 0, 11, 500, 700},
         {kLeft | kRight, 0, 0, 0, 0, 11, 0, 0}, {kLeft | kMiddle, 300, 300, 0, 0, 11, 300, 300}},
    };
    for (const auto& run : runs) {
        Form1 form;
        form.zoom = 11.0f;
        for (const Move& m : run) {
            SCOPED_TRACE(testing::Message() << "move to " << m.x << ", " << m.y << " with buttons " << m.buttons);
            form.Form_MouseMove(m.buttons, 0, m.x, m.y);
            EXPECT_EQ(std::vector<int32_t>({form.yaw, form.pitch, form.lastX, form.lastY}),
                      std::vector<int32_t>({m.yaw, m.pitch, m.lastX, m.lastY}));
            EXPECT_FLOAT_EQ(form.zoom, m.zoom);
        }
    }
}

// F12 saves into the pictures folder that user-dirs.dirs names, else ~/Pictures, and never
// into a relative one (which would depend on where the program was started). The variable
// XDG_PICTURES_DIR in the environment is not where that folder is set: it is not looked at.
TEST(FrameSave, SavesIntoTheAbsolutePicturesFolderAsANewFile) {
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home")), config = dir.filePath(QStringLiteral("config"));
    QDir().mkpath(config);
    const QByteArray savedHome = qgetenv("HOME"), savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    qputenv("XDG_PICTURES_DIR", "pictures");
    const struct {
        const char* home;
        const char* userDirs;
        QString folder;
    } cases[] = {
        {"", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", home + "/Bilder/celshade"},
        {"", "XDG_PICTURES_DIR=\"Bilder\"\n", home + "/Pictures/celshade"},
        {"", "", home + "/Pictures/celshade"},
        {"home", "XDG_PICTURES_DIR=\"Bilder\"\n", QString()},  // a relative home too
    };
    for (const auto& c : cases) {
        qputenv("HOME", *c.home ? QByteArray(c.home) : home.toUtf8());
        QFile file(config + "/user-dirs.dirs");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.userDirs);
        file.close();
        EXPECT_EQ(savedFramesFolder(), c.folder) << c.userDirs;
    }
    qunsetenv("XDG_PICTURES_DIR");
    qputenv("HOME", savedHome);
    savedConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", savedConfig);

    // A name taken is passed over, and the file that has it stays as it was.
    const QString pictures = dir.filePath(QStringLiteral("pictures")), taken = pictures + "/m.png";
    EXPECT_EQ(saveAsNewPicture(pictures, "m", "taken"), taken);
    EXPECT_EQ(saveAsNewPicture(pictures, "m", "two"), pictures + "/m-2.png");
    QFile file(taken);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "taken");
}

}  // namespace
