// The main loop on the X display with the real dialog beside it: once the picture is steady,
// its event step waits, and every kind of input reaches its handler while the loop waits: keys
// in the dialog, the dialog's timer, exposure and resize; a save's notice wakes it when it comes
// and when it goes. (The pointer and STAR wake it in every round of SoakTest.cpp, which would
// wait for ever otherwise.)

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "../e2e/X11Session.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "dialog/Form2.h"
#include "edges/Module1.h"
#include "render/Form1.h"
#include "runtime/Events.h"
#include "support/Models.h"
#include "support/QtApplication.h"
#include "ui/ErrorReport.h"

// Last: its macros would break the headers above.
#include <X11/Xlib.h>

namespace {

class IdleWait : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) return;
        testsupport::ensureApplication<QApplication>();
        ui::installQtEventProcessing();
        Mdx8::setDataDirectory(CELSHADE_SOURCE_DIR "/data");
        // The render window is loaded without entering its loop: the test runs the passes.
        dialog = new Form2(Form2Links{.showRenderWindow = [] { Form1::instance().loadWithoutLoop(); },
                                      .restartScene = [] { Form1::instance().STAR(); },
                                      .shutdown = [](bool) {},
                                      .endProgram = [] {}});
        // The sheet: a loop that stopped after the first frame, which culls it, would show the background.
        dialog->selectModelFile(testsupport::writeModel(testsupport::sheet(), "idle-sheet.x"));
        dialog->show();
        dialog->findChild<QPushButton*>(QStringLiteral("STAR"))->click();
    }

    void SetUp() override {
        if (dialog == nullptr || !x.connected()) GTEST_SKIP() << "no X display";
    }

    static Form1& form() { return Form1::instance(); }
    static QTimer* dialogTimer() { return dialog->findChild<QTimer*>(QStringLiteral("Timer1")); }

    // Passes of the loop with its event step but without the wait, until the picture is steady.
    static void settle() {
        do {
            form().drawFrame();
            rt::processPendingEvents();
        } while (!form().frameOnScreen());
    }

    // Settles, then runs one event step in which `during` is called from a timer once the step
    // waits. The step must end by what `during` set off; a watchdog ends it otherwise.
    void eventStepWith(const std::function<void()>& during) {
        settle();
        const uint64_t frames = form().framesDrawn();
        bool ran = false, watchdogFired = false;
        QTimer action, watchdog;
        action.setSingleShot(true);
        watchdog.setSingleShot(true);
        QObject::connect(&action, &QTimer::timeout, [&] {
            ran = true;
            during();
        });
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            watchdogFired = true;
            form().yaw += 1;
        });
        action.start(0);
        watchdog.start(30000);
        form().eventStep();
        EXPECT_TRUE(ran) << "the event step did not wait";
        EXPECT_FALSE(watchdogFired) << "the event step did not wake";
        EXPECT_EQ(form().framesDrawn(), frames);
    }

    // Runs events until pred holds (input sent to the display arrives a little later).
    static bool eventsUntil(const std::function<bool()>& pred) {
        QElapsedTimer timer;
        timer.start();
        while (!pred() && timer.elapsed() < 10000) rt::processPendingEvents();
        return pred();
    }

    QRect renderArea() { return x.findWindow(Form1::kClientWidth, Form1::kClientHeight).value_or(QRect()); }
    QPoint dialogPoint(const char* control) {
        QWidget* widget = dialog->findChild<QWidget*>(QString::fromLatin1(control));
        return widget->mapToGlobal(widget->rect().center());
    }

    static inline Form2* dialog = nullptr;
    X11Session x;
};

TEST_F(IdleWait, WakesOnEveryInputAndRunsTicksThatChangeNothingWithoutDrawing) {
    auto* text = dialog->findChild<QLineEdit*>(QStringLiteral("Text1"));
    const QRect render = renderArea();
    ASSERT_FALSE(render.isEmpty());

    dialogTimer()->stop();  // only the input can wake the loop

    // A key in the dialog: its handler runs while the loop waits (the text box's own change
    // handler ends the wait here, as a drag after typing would).
    x.click(dialogPoint("Text1"));
    ASSERT_TRUE(eventsUntil([&] { return text->hasFocus(); }));
    x.keys({"Control_L", "a"});
    ASSERT_TRUE(eventsUntil([&] { return text->selectedText() == text->text(); }));
    const auto typed = QObject::connect(text, &QLineEdit::textChanged, [&] {
        if (Module1::threshold == 0.75f) form().yaw += 1;
    });
    eventStepWith([&] { x.typeText(QStringLiteral("0.75")); });
    QObject::disconnect(typed);
    EXPECT_EQ(Module1::threshold, 0.75f) << text->text().toStdString();

    // The dialog's timer: its ticks run and change nothing, and the wait goes on through them.
    int ticks = 0;
    const auto counted = QObject::connect(dialogTimer(), &QTimer::timeout, [&] {
        if (++ticks == 3) form().yaw += 1;
    });
    dialogTimer()->start();
    eventStepWith([] {});
    QObject::disconnect(counted);
    EXPECT_EQ(ticks, 3) << "a tick that changed nothing ended the wait";
    dialogTimer()->stop();

    // Exposure: a window over the render window comes and goes.
    QWindow cover;
    cover.setFlags(Qt::Window | Qt::FramelessWindowHint);
    cover.setGeometry(render);
    const uint64_t changes = form().frameInputs().windowChanges;
    eventStepWith([&] {
        cover.show();
        QThread::msleep(100);
        cover.hide();
    });
    EXPECT_GT(form().frameInputs().windowChanges, changes);

    // A resize by the window system, and back.
    Display* display = XOpenDisplay(nullptr);
    const auto resize = [&](int growBy) {
        XResizeWindow(display, form().winId(), Form1::kClientWidth + growBy, Form1::kClientHeight + growBy);
        XSync(display, False);
    };
    eventStepWith([&] { resize(10); });
    eventStepWith([&] { resize(0); });
    XCloseDisplay(display);
}

// A save shows its path in the window: the notice's coming ends the wait, and so does its
// going, on its own. A frame saved while a notice shows is saved without it, as the first was.
TEST_F(IdleWait, ASavesNoticeComesAndGoesAndIsNeverSaved) {
    QTemporaryDir config;
    QFile userDirs(config.filePath(QStringLiteral("user-dirs.dirs")));
    ASSERT_TRUE(userDirs.open(QIODevice::WriteOnly));
    userDirs.write("XDG_PICTURES_DIR=\"" + config.filePath(QStringLiteral("pictures")).toUtf8() + "\"\n");
    userDirs.close();
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const QDir saved(config.filePath(QStringLiteral("pictures/celshade")));
    const auto backBuffer = [] { return Mdx8::device().readBackBuffer().pixels; };

    settle();
    const std::vector<uint32_t> plain = backBuffer();
    SaveNotice& notice = form().saveNotice;
    notice.shownFor = std::chrono::seconds(60);
    eventStepWith([] { form().saveFrame(); });
    ASSERT_TRUE(notice.visible());
    EXPECT_EQ(notice.text(), u"已保存 (saved): " + saved.filePath(saved.entryList(QDir::Files).value(0)).toStdU16String());
    settle();
    EXPECT_NE(backBuffer(), plain) << "the notice is not drawn";
    notice.shownFor = std::chrono::milliseconds(1500);
    eventStepWith([] { form().saveFrame(); });
    eventStepWith([] {});  // the notice goes
    EXPECT_FALSE(notice.visible());
    settle();
    EXPECT_EQ(backBuffer(), plain);

    const QStringList files = saved.entryList(QDir::Files);
    ASSERT_EQ(files.size(), 2);
    const uint32_t width = Mdx8::device().backBufferWidth(), height = Mdx8::device().backBufferHeight();
    const QImage shown(reinterpret_cast<const uchar*>(plain.data()), int(width), int(height), QImage::Format_RGB32);
    for (const QString& file : files)
        EXPECT_EQ(QImage(saved.filePath(file)).convertToFormat(QImage::Format_RGB32), shown) << file.toStdString();
    qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
