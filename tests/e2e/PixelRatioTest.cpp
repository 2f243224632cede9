// The program's window, started with STAR on a model named on the command line and grabbed
// from the X display once its frames are steady: at a device pixel ratio of 2 it is the same
// window at twice the pixels. (That the window shows exactly celshade-tool render's picture of
// every model, and that F12 and Ctrl+S save it, is SoakTest.cpp's.)

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QThread>

#include <algorithm>
#include <cstdio>

#include "ProgramOnDisplay.h"
#include "scene/FrameRecipe.h"

namespace {

// The program started on `model` at a device pixel ratio, its render window shown with STAR
// and steady.
class RunningProgram {
public:
    RunningProgram(X11Session& x, const QString& model, int ratio) : x_(x), ratio_(ratio) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(ratio));
        dialog_ = e2e::startProgram(program_, x, {model}, env, QStringLiteral(CELSHADE_RUNTIME_DIR), ratio);
    }
    ~RunningProgram() { e2e::stopProgram(program_); }

    // The dialog and the window appear at `ratio` times their sizes; STAR is pressed.
    bool show() {
        if (dialog_.isEmpty()) return false;
        render = e2e::pressStar(x_, dialog_, 60000, ratio_);
        return !render.isEmpty() && QRect(QPoint(0, 0), x_.screenSize()).contains(render) && steady();
    }

    // Frames presented (the corner is the background), the model in the middle, two grabs alike.
    bool steady() {
        const QRgb background = 0xFF000000u | recipe::backgroundColour();
        return X11Session::waitFor([&] {
            const QImage before = x_.grab(render).convertToFormat(QImage::Format_RGB32);
            QThread::msleep(300);
            shown = x_.grab(render).convertToFormat(QImage::Format_RGB32);
            return shown == before && shown.pixel(2, render.height() - 3) == background &&
                   shown.pixel(render.width() / 2, render.height() / 2) != background;
        }, 60000);
    }

    QRect render;
    QImage shown;

private:
    X11Session& x_;
    int ratio_;
    QProcess program_;
    QRect dialog_;
};

class PixelRatio : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.connected()) GTEST_SKIP() << "no X display";
    }
    X11Session x;
};

// The number of rows, from the first to the last, with overlay text in them.
int textHeight(const QImage& frame, int ratio) {
    int first = -1, last = -1;
    for (int y = 0; y < 60 * ratio; ++y)
        for (int x = 20 * ratio; x < 300 * ratio; ++x) {
            const QRgb p = frame.pixel(x, y);
            if (qRed(p) > 235 && qGreen(p) > 235 && qBlue(p) > 235) {
                if (first < 0) first = y;
                last = y;
                break;
            }
        }
    return first < 0 ? 0 : last - first + 1;
}

// The columns the model covers (below the overlay), in the window's own pixels.
int modelWidth(const QImage& frame, int ratio) {
    const QRgb background = 0xFF000000u | recipe::backgroundColour();
    int left = frame.width(), right = -1;
    for (int y = 60 * ratio; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (frame.pixel(x, y) != background) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return right < left ? 0 : right - left + 1;
}

// The outline's pixels (the model's only black ones) below the overlay.
int outlinePixels(const QImage& frame, int ratio) {
    int count = 0;
    for (int y = 60 * ratio; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) count += (frame.pixel(x, y) & 0xFFFFFFu) == 0;
    return count;
}

// At ratio 2 the dialog and the window are twice the size, the overlay text twice as tall,
// the model drawn at every device pixel (no window pixel doubled), and a drag turns the model
// by the same angle per window pixel: the model then covers twice the columns. The outline is
// two device pixels wide, as the window's one pixel at twice the size: four times the pixels.
TEST_F(PixelRatio, AtPixelRatioTwoTheWindowIsTheSameAtTwiceThePixels) {
    // The dialog and the window side by side, at twice their sizes.
    if (x.screenSize().width() < 1800 || x.screenSize().height() < 1000) GTEST_SKIP() << "the screen is too small";
    const QString box = QDir(QStringLiteral(CELSHADE_RUNTIME_DIR)).filePath(QStringLiteral("doom5.x"));
    int height[3] = {}, width[3] = {}, outline[3] = {};
    for (int ratio : {1, 2}) {
        SCOPED_TRACE(ratio);
        RunningProgram program(x, box, ratio);
        ASSERT_TRUE(program.show());
        height[ratio] = textHeight(program.shown, ratio);
        const QPoint centre = program.render.center();
        x.drag(centre, centre + QPoint(40 * ratio, 0), 1);
        ASSERT_TRUE(program.steady());
        width[ratio] = modelWidth(program.shown, ratio);
        outline[ratio] = outlinePixels(program.shown, ratio);
        if (ratio == 2) {
            // Crisp: some pixel at an even column differs from the one right of it.
            bool odd = false;
            for (int y = 0; y < program.shown.height() && !odd; ++y)
                for (int px = 0; px + 1 < program.shown.width() && !odd; px += 2)
                    odd = program.shown.pixel(px, y) != program.shown.pixel(px + 1, y);
            EXPECT_TRUE(odd) << "every window pixel is two device pixels wide";
        }
    }
    std::printf("overlay text height: %d px at ratio 1, %d px at ratio 2\n", height[1], height[2]);
    EXPECT_GT(height[1], 10);
    EXPECT_NEAR(height[2], 2 * height[1], 2);
    EXPECT_GT(width[1], 50);
    EXPECT_NEAR(width[2], 2 * width[1], 4);
    EXPECT_GT(outline[1], 100);
    EXPECT_NEAR(double(outline[2]) / outline[1], 4.0, 0.6) << outline[1] << " and " << outline[2] << " outline pixels";
}

}  // namespace
