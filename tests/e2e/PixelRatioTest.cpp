// The program's window at a device pixel ratio of 2 is the same window at twice the pixels.
// (That the window shows exactly celshade-tool render's picture of every model, and that F12
// and Ctrl+S save it, is SoakTest.cpp's.)

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>

#include "ProgramOnDisplay.h"
#include "scene/FrameRecipe.h"

namespace {

using namespace e2e;

// The render window's picture once frames are presented (the corner is the background), the
// model is in the middle and two grabs 300 ms apart agree; a null image if that never happens.
QImage steadyFrame(X11Session& x, QRect render) {
    const QRgb background = 0xFF000000u | recipe::backgroundColour();
    QImage shown;
    const bool steady = X11Session::waitFor([&] {
        const QImage before = x.grab(render);
        QThread::msleep(300);
        shown = x.grab(render);
        return shown == before && shown.pixel(2, render.height() - 3) == background &&
               shown.pixel(render.width() / 2, render.height() / 2) != background;
    }, 60000);
    return steady ? shown : QImage();
}

// The rows from the first to the last with overlay text (white) in them; below the overlay,
// the columns the model covers and the outline's pixels (the model's only black ones).
struct Measures { int textHeight = 0, modelWidth = 0, outline = 0; };

Measures measure(const QImage& frame, int ratio) {
    const QRgb background = 0xFF000000u | recipe::backgroundColour();
    int firstText = -1, lastText = -1, left = frame.width(), right = -1, outline = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb p = frame.pixel(x, y);
            if (y < 60 * ratio) {
                const bool text = x >= 20 * ratio && x < 300 * ratio && qRed(p) > 235 && qGreen(p) > 235 && qBlue(p) > 235;
                if (text && firstText < 0) firstText = y;
                if (text) lastText = y;
            } else if (p != background) {
                left = std::min(left, x), right = std::max(right, x);
                outline += (p & 0xFFFFFFu) == 0;
            }
        }
    return {firstText < 0 ? 0 : lastText - firstText + 1, right < left ? 0 : right - left + 1, outline};
}

// At ratio 2 the dialog and the window are twice the size, the overlay text twice as tall,
// the model drawn at every device pixel (no window pixel doubled), and a drag turns the model
// by the same angle per window pixel: the model then covers twice the columns. The outline is
// two device pixels wide, as the window's one pixel at twice the size: four times the pixels.
TEST(PixelRatio, AtPixelRatioTwoTheWindowIsTheSameAtTwiceThePixels) {
    X11Session x;
    if (!x.connected()) GTEST_SKIP() << "no X display";
    // The dialog and the window side by side, at twice their sizes.
    if (x.screenSize().width() < 1800 || x.screenSize().height() < 1000) GTEST_SKIP() << "the screen is too small";
    Measures at[3];
    for (int ratio : {1, 2}) {
        SCOPED_TRACE(ratio);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(ratio));
        const QRect dialog = startProgram(program, x, {QStringLiteral(CELSHADE_RUNTIME_DIR "/doom5.x")}, env,
                                          QStringLiteral(CELSHADE_RUNTIME_DIR), ratio);
        ASSERT_FALSE(dialog.isEmpty());
        const QRect render = pressStar(x, dialog, 60000, ratio);
        ASSERT_TRUE(!render.isEmpty() && QRect(QPoint(0, 0), x.screenSize()).contains(render));
        // A frame that never steadies is a null picture, which measures nothing and fails below.
        const QImage first = steadyFrame(x, render);
        x.drag(render.center(), render.center() + QPoint(40 * ratio, 0), 1);
        const QImage turned = steadyFrame(x, render);
        stopProgram(program);
        at[ratio] = measure(turned, ratio);
        at[ratio].textHeight = measure(first, ratio).textHeight;
        if (ratio == 2) {
            // Crisp: some pixel at an even column differs from the one right of it.
            bool odd = false;
            for (int y = 0; y < turned.height() && !odd; ++y)
                for (int px = 0; px + 1 < turned.width() && !odd; px += 2) odd = turned.pixel(px, y) != turned.pixel(px + 1, y);
            EXPECT_TRUE(odd) << "every window pixel is two device pixels wide";
        }
    }
    std::printf("overlay text height: %d px at ratio 1, %d px at ratio 2\n", at[1].textHeight, at[2].textHeight);
    EXPECT_GT(at[1].textHeight, 10);
    EXPECT_NEAR(at[2].textHeight, 2 * at[1].textHeight, 2);
    EXPECT_GT(at[1].modelWidth, 50);
    EXPECT_NEAR(at[2].modelWidth, 2 * at[1].modelWidth, 4);
    EXPECT_GT(at[1].outline, 100);
    EXPECT_NEAR(double(at[2].outline) / at[1].outline, 4.0, 0.6) << at[1].outline << " and " << at[2].outline << " outline pixels";
}

}  // namespace
