// A model of one's own in the real program: chosen in the file chooser, a broken one reported
// while the program goes on, and an import that is still reading when STAR is pressed again or
// the program is ended.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <fstream>
#include <optional>
#include <string>

#include "ProgramOnDisplay.h"

namespace {

using namespace e2e;

constexpr int kPatienceMs = 60000;
const QString kRose = QStringLiteral(CELSHADE_ROUNDTRIP_DIR "/glb/doom3.glb");

// The importer children of `pid`: processes whose parent it is, other than Qt's own.
std::vector<pid_t> childrenOf(qint64 pid) {
    std::vector<pid_t> children;
    std::ifstream list("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child; list >> child;) children.push_back(child);
    return children;
}

bool exists(pid_t pid) { return ::kill(pid, 0) == 0; }

class OwnModel : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.connected()) GTEST_SKIP() << "no X display";
        ASSERT_TRUE(folder.isValid());
    }
    void TearDown() override { stopProgram(program); }

    void start(const QStringList& arguments, const QString& directory = QStringLiteral(CELSHADE_RUNTIME_DIR),
               bool messageBoxes = false) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (messageBoxes) env.insert(QStringLiteral("CELSHADE_NO_ERROR_DIALOG"), QString());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
        dialog = startProgram(program, x, arguments, env, directory);
        ASSERT_FALSE(dialog.isEmpty()) << "the start dialog did not appear";
    }

    // What celshade-tool draws of `model`: what the window shows of it, pixel for pixel.
    QImage toolPicture(const QString& model) {
        const QString picture = folder.filePath(QStringLiteral("expected.png"));
        EXPECT_EQ(QProcess::execute(QStringLiteral(CELSHADE_RUNTIME_DIR "/celshade-tool"), {"render", model, "-o", picture}), 0);
        return QImage(picture).convertToFormat(QImage::Format_RGB32);
    }

    bool running() { return program.state() == QProcess::Running && !program.waitForFinished(0); }

    bool shows(const QImage& picture) {
        return X11Session::waitFor([&] { return x.grab(render) == picture; }, kPatienceMs);
    }

    // A window of the program's that is neither the dialog nor the render window (a file
    // chooser, a message box), once it has appeared.
    std::optional<QRect> otherWindow(int timeoutMs) {
        std::optional<QRect> found;
        X11Session::waitFor([&] {
            for (const QRect& w : x.windows())
                if (w.size() != QSize(kDialogWidth, kDialogHeight) && w.size() != QSize(kRenderWidth, kRenderHeight))
                    return (found = w).has_value();
            return false;
        }, timeoutMs);
        return found;
    }

    X11Session x;
    QProcess program;
    QTemporaryDir folder;
    QRect dialog, render;
};

// Ctrl+O, the path typed into the chooser, Return, STAR: the model as the command line would
// have drawn it.
TEST_F(OwnModel, ChosenInTheFileChooserItIsDrawnAsWhenNamedOnTheCommandLine) {
    const QImage expected = toolPicture(kRose);
    ASSERT_NO_FATAL_FAILURE(start({}));
    x.click(dialog.topLeft() + QPoint(50, 146));  // the dialog's blank, so that it has the keyboard
    x.keys({"Control_L", "o"});
    ASSERT_TRUE(otherWindow(20000).has_value()) << "Ctrl+O opened no file chooser";
    // Typed only once the chooser has the keyboard: a slow program (under a sanitizer) maps it
    // a while before it takes the focus, and the first keys would go to the dialog.
    ASSERT_TRUE(X11Session::waitFor([&] {
        const std::optional<QRect> chooser = otherWindow(0);
        return chooser && x.focusedWindow() == chooser;
    }, 20000)) << "the chooser never had the keyboard";
    x.typeText(kRose);
    x.keys({"Return"});
    ASSERT_TRUE(X11Session::waitFor([&] { return !otherWindow(0).has_value(); }, 20000)) << "the chooser stayed open";
    render = pressStar(x, dialog, kPatienceMs);
    ASSERT_FALSE(render.isEmpty()) << "the render window did not appear";
    EXPECT_TRUE(shows(expected)) << "the window does not show the chosen model";
}

// A file cut in half: STAR reports it, naming the file, the reason and the error number; once
// the message is dismissed the program is still there, and the robot and STAR draw the robot.
TEST_F(OwnModel, ABrokenFileIsReportedAndTheProgramGoesOn) {
    QFile rose(kRose);
    ASSERT_TRUE(rose.open(QIODevice::ReadOnly));
    const QString cut = folder.filePath(QStringLiteral("cut.glb"));
    QFile written(cut);
    ASSERT_TRUE(written.open(QIODevice::WriteOnly) && written.write(rose.readAll().left(rose.size() / 2)) > 0);
    written.close();
    const QImage robot = toolPicture(QStringLiteral(CELSHADE_RUNTIME_DIR "/doom1.x"));
    ASSERT_NO_FATAL_FAILURE(start({cut}, QStringLiteral(CELSHADE_RUNTIME_DIR), true));

    x.click(dialog.topLeft() + kStar);
    const std::optional<QRect> message = otherWindow(kPatienceMs);
    ASSERT_TRUE(message.has_value()) << "no message";
    QString report;
    X11Session::waitFor([&] {
        program.waitForReadyRead(100);  // with no event loop here, QProcess reads only when asked to wait
        return (report += QString::fromUtf8(program.readAllStandardError())).contains(QStringLiteral("Error "));
    }, 20000);
    EXPECT_TRUE(report.contains(QStringLiteral("Cannot open \"cut.glb\""))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("Error -2005529767 (88760B59): D3DXERR_INVALIDDATA: importing model: ") + cut))
        << report.toStdString();
    x.click(message->center());  // the box gets the keyboard, then Return presses its button
    x.keys({"Return"});
    EXPECT_TRUE(X11Session::waitFor([&] { return !otherWindow(0).has_value(); }, 20000)) << "the message stayed";
    EXPECT_TRUE(running());
    EXPECT_FALSE(x.findWindow(kRenderWidth, kRenderHeight).has_value()) << "a render window with no model in it";

    x.click(dialog.topLeft() + kOption[0]);
    render = pressStar(x, dialog, kPatienceMs);
    ASSERT_FALSE(render.isEmpty()) << "the render window did not appear";
    EXPECT_TRUE(shows(robot)) << "the robot is not drawn";
}

// An importer that never finishes (a stand-in beside the program): STAR again ends it and
// starts another; EXIT two seconds later ends the program and its importer at once.
TEST_F(OwnModel, AnImportStillReadingGivesWayToANewStarAndEndsWithTheProgram) {
    ASSERT_TRUE(linkFromBuild(folder.path(), {"celshade", "banda2.bmp", "celshading.txt", "shver2.txt", "doom1.x"}));
    const std::string importer = folder.filePath(QStringLiteral("celshade-import")).toStdString();
    std::ofstream(importer) << "#!/bin/sh\nexec sleep 300\n";
    ::chmod(importer.c_str(), 0755);
    std::ofstream(folder.filePath(QStringLiteral("slow.glb")).toStdString()) << "glTF";
    ASSERT_NO_FATAL_FAILURE(start({folder.filePath(QStringLiteral("slow.glb"))}, folder.path()));

    const auto importers = [&] { return childrenOf(program.processId()); };
    x.click(dialog.topLeft() + kStar);
    ASSERT_TRUE(X11Session::waitFor([&] { return importers().size() == 1; }, kPatienceMs)) << "no importer started";
    const pid_t first = importers().front();
    render = x.waitForWindow(kRenderWidth, kRenderHeight, kPatienceMs).value_or(QRect());
    ASSERT_FALSE(render.isEmpty()) << "the render window did not appear while the file was read";
    EXPECT_TRUE(X11Session::waitFor([&] { return x.grab(render).pixel(300, 300) == (0xFF000000u | 0x4C4CFFu); }, 20000))
        << "the window is not drawn while the file is read";

    x.click(dialog.topLeft() + kStar);
    ASSERT_TRUE(X11Session::waitFor([&] { return importers().size() == 1 && importers().front() != first; }, kPatienceMs))
        << "STAR did not end the import in progress and start another";
    EXPECT_FALSE(exists(first)) << "the first importer still runs";
    const pid_t second = importers().front();

    QThread::sleep(2);
    x.click(dialog.topLeft() + twips(240, 1560, 1095, 495));  // EXIT
    ASSERT_TRUE(program.waitForFinished(3000)) << "EXIT did not end the program within 3 s";
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(X11Session::waitFor([&] { return !exists(second); }, 1000)) << "the importer outlived the program";
}

}  // namespace
