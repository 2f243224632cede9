// The real program on a virtual display, used as a person would: start it, press STAR,
// watch the readout reach 100%, look at the picture, drag, zoom, type a threshold, pick
// other models, double-click to end.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QFile>

#include "X11Session.h"
#include "dialog/Form2.h"

namespace {

constexpr int kDialogWidth = 286, kDialogHeight = 204;
constexpr int kRenderWidth = 574, kRenderHeight = 441;

// Control centres in the dialog, from their twip geometry (15 twips per pixel).
QPoint twips(int left, int top, int width, int height) {
    return {(left + width / 2) / 15, (top + height / 2) / 15};
}
const QPoint kStar = twips(240, 840, 1095, 495);
const QPoint kText1 = twips(720, 2400, 375, 280);
const QPoint kRose = twips(1680 + 240, 120 + 2040, 855, 375);
const QPoint kBox = twips(1680 + 1320, 120 + 1200, 855, 375);
const QRect kLabel1(240 / 15, 240 / 15, 975 / 15, 375 / 15);

bool isBackground(QRgb c) {
    return std::abs(qRed(c) - 0x4C) <= 2 && std::abs(qGreen(c) - 0x4C) <= 2 && std::abs(qBlue(c) - 0xFF) <= 2;
}
bool isDark(QRgb c) { return qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40; }
bool isWhite(QRgb c) { return qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235; }

int countPixels(const QImage& image, QRect area, bool (*pred)(QRgb)) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += pred(image.pixel(x, y)) ? 1 : 0;
    return n;
}
int modelPixels(const QImage& frame) {
    QRect below(0, 60, frame.width(), frame.height() - 60);  // under the overlay text
    return below.width() * below.height() - countPixels(frame, below, isBackground);
}
int differingPixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return n;
}

// What Label1 shows for a readout: a dialog of our own, drawn by the same code with the
// same fonts, showing that text.
QImage expectedReadout(const QString& text) {
    Form2Links inert;
    inert.showRenderWindow = inert.restartScene = inert.endProgram = [] {};
    inert.shutdown = [](bool) {};
    Form2 reference(inert);
    auto* label = reference.findChild<QLabel*>(QStringLiteral("Label1"));
    label->setText(text);
    label->setVisible(true);
    return reference.grab().toImage().copy(kLabel1).convertToFormat(QImage::Format_RGB32);
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { launch(QStringLiteral(CELSHADE_RUNTIME_DIR), QProcess::ForwardedChannels); }

    // Starts the program found in `directory` (with its data files beside it).
    void launch(const QString& directory, QProcess::ProcessChannelMode channels) {
        if (!x.connected()) GTEST_SKIP() << "no X display";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CELSHADE_NO_ERROR_DIALOG", "1");
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(channels);
        program.start(directory + QStringLiteral("/celshade"), {});
        ASSERT_TRUE(program.waitForStarted(10000));
        ASSERT_TRUE(X11Session::waitFor([&] { return x.findWindow(kDialogWidth, kDialogHeight).has_value(); }, 20000))
            << "the start dialog did not appear";
        dialog = *x.findWindow(kDialogWidth, kDialogHeight);
    }
    void TearDown() override {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }
    QImage frame() { return x.grab(render); }
    QImage statusLine() { return x.grab(QRect(render.topLeft() + QPoint(20, 30), QSize(280, 20))); }
    QImage readout() { return x.grab(kLabel1.translated(dialog.topLeft())); }
    bool readoutShows(const QString& text) {
        QImage shown = readout();
        QImage expected = expectedReadout(text);
        return differingPixels(shown, expected) < expected.width() * expected.height() / 100;
    }
    void save(const QImage& image, const char* name) { image.save(QDir::current().filePath(name)); }

    X11Session x;
    QProcess program;
    QRect dialog, render;
};

TEST_F(EndToEnd, AUserStartsTurnsZoomsSwitchesModelsAndQuits) {
    save(x.grab(dialog), "e2e-dialog.png");
    // Label1 is hidden until the first press.
    QImage hidden = readout();
    EXPECT_EQ(countPixels(hidden, hidden.rect(), isDark), 0);

    x.click(dialog.topLeft() + kStar);
    ASSERT_TRUE(X11Session::waitFor([&] { return x.findWindow(kRenderWidth, kRenderHeight).has_value(); }, 60000))
        << "the render window did not appear";
    render = *x.findWindow(kRenderWidth, kRenderHeight);
    ASSERT_TRUE(X11Session::waitFor([&] { return modelPixels(frame()) > 2000; }, 60000)) << "no model drawn";
    EXPECT_TRUE(X11Session::waitFor([&] { return readoutShows("100%"); }, 10000)) << "the readout did not reach 100%";
    EXPECT_FALSE(readoutShows("99%")) << "the readout check cannot tell readouts apart";

    QImage first = frame();
    save(first, "e2e-render.png");
    EXPECT_TRUE(isBackground(first.pixel(5, kRenderHeight - 5))) << std::hex << first.pixel(5, kRenderHeight - 5);
    EXPECT_GT(countPixels(first, QRect(0, 60, kRenderWidth, kRenderHeight - 60), isDark), 200) << "no outline";
    EXPECT_GT(countPixels(first, QRect(20, 10, 300, 40), isWhite), 100) << "no overlay text";

    const QPoint centre = render.center();
    x.drag(centre, centre + QPoint(60, 0), 1);
    ASSERT_TRUE(X11Session::waitFor([&] { return differingPixels(frame(), first) > 1000; }, 5000))
        << "a left drag did not turn the model";
    QImage turned = frame();
    x.drag(centre, centre + QPoint(0, 120), 3);
    ASSERT_TRUE(X11Session::waitFor([&] { return modelPixels(frame()) > modelPixels(turned) * 5 / 4; }, 5000))
        << "a right drag down did not enlarge the model";

    x.click(dialog.topLeft() + kText1);
    x.pressKeyCombo("Control_L", "a");
    x.typeText("0.8");

    // The rose takes a while to build: a second press during the build is served after it.
    x.click(dialog.topLeft() + kRose);
    const QImage robotStatus = statusLine();
    x.click(dialog.topLeft() + kStar);
    x.click(dialog.topLeft() + kStar);
    ASSERT_TRUE(X11Session::waitFor([&] { return statusLine() != robotStatus; }, 60000))
        << "the status line did not change to the rose's counts";
    EXPECT_TRUE(X11Session::waitFor([&] { return readoutShows("100%"); }, 60000));
    QImage rose = frame();
    save(rose, "e2e-rose.png");
    EXPECT_GT(differingPixels(rose, turned), 1000) << "the rose did not replace the robot";
    const QImage roseStatus = statusLine();
    x.click(dialog.topLeft() + kBox);
    x.click(dialog.topLeft() + kStar);
    ASSERT_TRUE(X11Session::waitFor([&] { return statusLine() != roseStatus; }, 30000))
        << "the box did not replace the rose";
    save(frame(), "e2e-box.png");

    x.doubleClick(centre);
    ASSERT_TRUE(program.waitForFinished(10000)) << "a double-click did not end the program";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(x.findWindow(kRenderWidth, kRenderHeight).has_value());
    EXPECT_FALSE(x.findWindow(kDialogWidth, kDialogHeight).has_value());
}

// The program with its default model missing: STAR ends it with the error report.
class EndToEndWithoutTheRobot : public EndToEnd {
protected:
    void SetUp() override {
        ASSERT_TRUE(directory.isValid());
        const QDir source(QStringLiteral(CELSHADE_RUNTIME_DIR));
        for (const char* name : {"celshade", "banda2.bmp", "celshading.txt", "shver2.txt"})
            ASSERT_TRUE(QFile::copy(source.filePath(name), directory.filePath(name))) << name;
        launch(directory.path(), QProcess::SeparateChannels);
    }
    QTemporaryDir directory;
};

TEST_F(EndToEndWithoutTheRobot, StarEndsTheProgramWithAReportNamingTheFile) {
    x.click(dialog.topLeft() + kStar);
    ASSERT_TRUE(program.waitForFinished(30000)) << "the program did not end";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "it crashed instead of reporting";
    EXPECT_EQ(program.exitCode(), 1);
    const QString report = QString::fromUtf8(program.readAllStandardError());
    EXPECT_TRUE(report.contains(QStringLiteral("Run-time error '53'"))) << report.toStdString();
    EXPECT_TRUE(report.contains(directory.filePath(QStringLiteral("doom1.x")))) << report.toStdString();
}

TEST_F(EndToEnd, ExitEndsTheProgramBeforeAnyRender) {
    x.click(dialog.topLeft() + twips(240, 1560, 1095, 495));
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
}

}  // namespace

int main(int argc, char** argv) {
    // Listing the tests at build time happens with no display; the tests then skip.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
