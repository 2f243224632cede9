// The program's window and celshade-tool render draw the same frame: a model named on the
// command line, started with STAR, grabbed from the X display once its frames are steady,
// and compared pixel for pixel with the tool's picture of the same file and view.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "../e2e/X11Session.h"
#include "scene/FrameRecipe.h"

namespace {

constexpr int kDialogWidth = 286, kDialogHeight = 204;
const QPoint kStar((240 + 1095 / 2) / 15, (840 + 495 / 2) / 15);  // the button's centre, from twips

class WindowAgreement : public ::testing::Test {
protected:
    void TearDown() override {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }
    X11Session x;
    QProcess program;
    QTemporaryDir folder;
};

TEST_F(WindowAgreement, TheWindowShowsExactlyTheToolsPicture) {
    if (!x.connected()) GTEST_SKIP() << "no X display";
    const QDir bin(QStringLiteral(CELSHADE_RUNTIME_DIR));
    const QString model = folder.filePath(QStringLiteral("my flower.x"));
    ASSERT_TRUE(QFile::copy(bin.filePath(QStringLiteral("doom2.x")), model));

    const QString picture = folder.filePath(QStringLiteral("tool.png"));
    ASSERT_EQ(QProcess::execute(bin.filePath(QStringLiteral("celshade-tool")), {"render", model, "-o", picture}), 0);
    const QImage expected = QImage(picture).convertToFormat(QImage::Format_RGB32);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CELSHADE_NO_ERROR_DIALOG"), QStringLiteral("1"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(bin.filePath(QStringLiteral("celshade")), {model});
    ASSERT_TRUE(X11Session::waitFor([&] { return x.findWindow(kDialogWidth, kDialogHeight).has_value(); }, 20000));
    x.click(x.findWindow(kDialogWidth, kDialogHeight)->topLeft() + kStar);
    ASSERT_TRUE(X11Session::waitFor(
        [&] { return x.findWindow(recipe::kFrameWidth, recipe::kFrameHeight).has_value(); }, 60000));
    const QRect render = *x.findWindow(recipe::kFrameWidth, recipe::kFrameHeight);

    // Steady: frames are presented (the corner shows the background, not the black of a
    // window still loading), the model is in the middle, and two grabs agree.
    const QRgb background = 0xFF000000u | recipe::backgroundColour();
    QImage shown;
    ASSERT_TRUE(X11Session::waitFor([&] {
        const QImage before = x.grab(render).convertToFormat(QImage::Format_RGB32);
        QThread::msleep(300);
        shown = x.grab(render).convertToFormat(QImage::Format_RGB32);
        return shown == before && shown.pixel(2, render.height() - 3) == background &&
               shown.pixel(render.width() / 2, render.height() / 2) != background;
    }, 60000));
    ASSERT_EQ(shown.size(), expected.size());
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int px = 0; px < shown.width(); ++px)
            if (shown.pixel(px, y) != expected.pixel(px, y) && differing++ < 5)
                ADD_FAILURE() << "pixel " << px << "," << y << ": window " << std::hex << shown.pixel(px, y) << ", tool "
                              << expected.pixel(px, y);
    if (differing > 0) shown.save(QStringLiteral("window-agreement-shown.png"));
    EXPECT_EQ(differing, 0);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
