#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QSettings>
#include <QStandardPaths>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <cfloat>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "d3dsupport/Mdx8.h"
#include "dialog/Form2.h"
#include "dialog/ProgressReadout.h"
#include "edges/Module1.h"
#include "import/ImportProcess.h"
#include "support/QtApplication.h"
#include "support/Raised.h"

namespace {

using Strings = std::vector<std::string>;

class Form2Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::ensureApplication<QApplication>(); }

    void SetUp() override {
        Module1::threshold = -99.0f;
        Module1::edgeProgress = 0;
        Mdx8::sceneMesh.numFaces = 0;
        Mdx8::modelFile.clear();
    }

    // Links that record each call the dialog makes outside itself, in order; `onShow` runs
    // inside the first show, as the render window's main loop would.
    std::unique_ptr<Form2> makeForm(std::function<void()> onShow = [] {}) {
        auto record = [this](const char* what) { return [this, what] { calls.push_back(what); }; };
        auto form = std::make_unique<Form2>(Form2Links{
            .showRenderWindow = [this, onShow] { calls.push_back("show"); onShow(); },
            .restartScene = record("restart"),
            .shutdown = [this](bool end) { calls.push_back(end ? "shutdown(true)" : "shutdown(false)"); },
            .endProgram = record("end")});
        form_ = form.get();
        form->show();
        return form;
    }

    template <typename Widget = QWidget>
    Widget* control(const char* name) {
        auto* widget = form_->findChild<Widget*>(QString::fromLatin1(name));
        if (widget == nullptr) ADD_FAILURE() << "no control named " << name;
        return widget;
    }
    QRadioButton* option(int index) { return control<QRadioButton>(("Option1_" + std::to_string(index)).c_str()); }
    void click(const char* name) { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }

    Form2* form_ = nullptr;
    Strings calls;
};

TEST_F(Form2Test, OpensWithItsLayoutCaptionsTabOrderAndFirstModel) {
    auto form = makeForm();
    EXPECT_EQ(form->size(), QSize(286, 204));
    const std::tuple<const char*, QRect, QString> expected[] = {
        {"STAR", {16, 56, 73, 33}, "STAR"},         {"Command1", {16, 104, 73, 33}, "EXIT"},
        {"Option1_0", {16, 32, 57, 25}, "机器人"}, {"Option1_1", {16, 80, 57, 25}, "花"},
        {"Option1_2", {16, 136, 57, 25}, "玫瑰"},  {"Option1_3", {88, 32, 57, 25}, "天文仪"},
        {"Option1_4", {88, 80, 57, 25}, "盒子"},   {"Frame1", {112, 8, 161, 185}, ""},
        {"Label1", {16, 16, 65, 25}, "Label1"},     {"Label2", {16, 168, 33, 17}, "阀值"},
        {"Text1", {48, 160, 25, 19}, "0.5"},  // 280 twips: 18.67 pixels
        {"Open", {88, 136, 65, 25}, "打开…"},    // the frame's free cell
    };
    for (const auto& [name, pixels, caption] : expected) {
        SCOPED_TRACE(name);
        QWidget* w = control(name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), pixels);
        const QVariant text = w->property("text");
        EXPECT_EQ(text.isValid() ? text.toString() : w->property("title").toString(), caption);
        EXPECT_EQ(w->parentWidget() == control("Frame1"), QString(name).startsWith("Option1_") || QString(name) == "Open");
    }
    // The readout's Chinese font must resolve to one that has the glyphs.
    const QString family = QFontInfo(control("Label1")->font()).family();
    EXPECT_TRUE(QStringList({"宋体", "SimSun", "NSimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC",
                             "Droid Sans Fallback"}).contains(family)) << family.toStdString();

    EXPECT_EQ(Module1::threshold, 0.5f);
    EXPECT_EQ(Mdx8::sceneMesh.numFaces, 1);
    EXPECT_EQ(Mdx8::modelFile, "\\doom1.x");
    EXPECT_TRUE(option(0)->isChecked());

    // The model choice is one tab stop, entered at the chosen model; arrows choose within it.
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    std::vector<std::pair<Qt::Key, const char*>> keys = {
        {Qt::Key_Tab, "Command1"},      {Qt::Key_Tab, "Option1_0"},  {Qt::Key_Tab, "Open"},
        {Qt::Key_Tab, "Text1"},         {Qt::Key_Tab, "STAR"},       {Qt::Key_Backtab, "Text1"},
        {Qt::Key_Backtab, "Open"},      {Qt::Key_Backtab, "Option1_0"}, {Qt::Key_Down, "Option1_1"},
        {Qt::Key_Tab, "Open"},          {Qt::Key_Backtab, "Option1_1"}};
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "STAR");
    for (const auto& [key, next] : keys) {
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), next);
    }
    EXPECT_EQ(Mdx8::modelFile, "\\doom2.x");
    EXPECT_TRUE(calls.empty());
}

// The user's own model: named on the command line (made a full path, no option checked) or
// dropped on either window, where it is also started like STAR. A folder or a remote
// address is refused at the drag. (That an option button chooses its model after a drop is
// tests/e2e/SoakTest.cpp's, whose rounds go from drops to option buttons.)
TEST_F(Form2Test, AModelOfTheUsersOwnIsChosenFromTheCommandLineOrADropOnEitherWindow) {
    auto form = makeForm();
    form->selectModelFile("models/mine.x");
    EXPECT_EQ(Mdx8::modelFile, (std::filesystem::current_path() / "models/mine.x").string());
    for (int index = 0; index < 5; ++index) EXPECT_FALSE(option(index)->isChecked()) << index;

    QTemporaryDir folder;
    const QString file = folder.filePath("dropped.x");
    QFile(file).open(QIODevice::WriteOnly);
    QWindow renderWindow;  // stands in for the render window, which knows nothing of the choice
    auto drop = [](QWindow* target, const QUrl& url) {
        QMimeData data;
        data.setUrls({url});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
        return dropped.isAccepted();
    };
    EXPECT_FALSE(drop(form->windowHandle(), QUrl::fromLocalFile(folder.path())));
    EXPECT_FALSE(drop(&renderWindow, QUrl(QStringLiteral("https://example.org/model.x"))));
    EXPECT_TRUE(calls.empty());

    // The drop is answered before its STAR runs: the first one never returns.
    EXPECT_TRUE(drop(form->windowHandle(), QUrl::fromLocalFile(file)));
    EXPECT_EQ(Mdx8::modelFile, file.toStdString());
    EXPECT_TRUE(calls.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, (Strings{"show"}));
    EXPECT_TRUE(drop(&renderWindow, QUrl::fromLocalFile(file)));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, (Strings{"show", "restart"}));
}

// Open (or Ctrl+O in either window) opens a chooser of model files in the folder last chosen
// from; a file chosen there is chosen as the command line would choose it, and Open
// shows its name until an option button chooses one of the five again.
TEST_F(Form2Test, OpenChoosesAFileInTheFolderLastUsedAndShowsItsName) {
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QStringLiteral("celshade"), QStringLiteral("celshade")).clear();
    modelimport::childSettings().program = CELSHADE_RUNTIME_DIR "/celshade-import";
    auto form = makeForm();
    QTemporaryDir folder;
    const QString model = folder.filePath("Duck.glb");
    QFile(model).open(QIODevice::WriteOnly);
    auto* open = control<QPushButton>("Open");
    QWindow renderWindow;
    auto chooserAfterCtrlO = [&](QWindow* window) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_O, Qt::ControlModifier);
        QCoreApplication::sendEvent(window, &key);
        return form->findChild<QFileDialog*>("modelChooser");
    };

    QFileDialog* chooser = chooserAfterCtrlO(form->windowHandle());
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->directory().absolutePath(), QDir::homePath());
    EXPECT_TRUE(chooser->nameFilters().first().contains("*.x *.3d")) << chooser->nameFilters().first().toStdString();
    EXPECT_TRUE(chooser->nameFilters().first().contains("*.glb")) << chooser->nameFilters().first().toStdString();
    chooser->selectFile(model);  // typing it is tests/e2e's, on a real display
    static_cast<QDialog*>(chooser)->accept();
    EXPECT_EQ(Mdx8::modelFile, model.toStdString());
    EXPECT_TRUE(open->isChecked());
    EXPECT_EQ(open->text(), "Duck.glb");
    EXPECT_FALSE(option(0)->isChecked());

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the chooser, once closed
    chooser = chooserAfterCtrlO(&renderWindow);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->directory().absolutePath(), QFileInfo(model).absolutePath());
    chooser->reject();
    QTest::mouseClick(option(2), Qt::LeftButton);
    EXPECT_EQ(Mdx8::modelFile, "\\doom3.x");
    EXPECT_FALSE(open->isChecked());
    EXPECT_TRUE(calls.empty());
}

// Every keystroke stores the box's value (tests/render/IdleWaitTest.cpp types one while the
// main loop waits); one beyond every range is stored, not refused.
TEST_F(Form2Test, AThresholdBeyondEveryRangeIsStoredNotRefused) {
    auto form = makeForm();
    control<QLineEdit>("Text1")->selectAll();
    QTest::keyClicks(control<QLineEdit>("Text1"), "1e400");
    EXPECT_EQ(Module1::threshold, FLT_MAX);
}

TEST_F(Form2Test, TimerShowsTheBuildProgressWhetherOrNotTheReadoutIsVisible) {
    auto form = makeForm();
    auto* label1 = control<QLabel>("Label1");
    Mdx8::sceneMesh.numFaces = 120;
    Module1::edgeProgress = 37;
    EXPECT_TRUE(QTest::qWaitFor([&] { return label1->text() == "30%"; }));
    EXPECT_FALSE(label1->isVisible());
}

TEST_F(Form2Test, ExitAndCloseBothShutDownEvenAfterTheRenderWindowStarted) {
    auto form = makeForm();
    click("Command1");
    EXPECT_EQ(calls, (Strings{"shutdown(true)", "end"}));
    calls.clear();
    auto second = makeForm();
    click("STAR");
    EXPECT_TRUE(second->close());
    EXPECT_EQ(calls, (Strings{"show", "shutdown(true)"}));
}

using Form2DeathTest = Form2Test;

TEST_F(Form2DeathTest, AnErrorInAHandlerEndsTheProgramWithItsReport) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto form = makeForm();
            Mdx8::sceneMesh.numFaces = 0;  // the readout divides by it at the next tick
            QTest::qWait(2000);
        },
        ::testing::ExitedWithCode(1), "Run-time error '11'");
}

// A nested build can leave more faces counted than the mesh has, and the divisor comes from
// whatever mesh is loaded: the readout prints what the arithmetic gives, with no clamping,
// and only a 32-bit overflow or no faces at all are errors.
TEST(ProgressReadout, IsTheWholePercentRoundedDownUnclampedWithOverflowAndDivisionErrors) {
    struct Case { int32_t progress, faces; const char* text; int error; };
    const Case cases[] = {
        {37, 120, "30%", 0}, {240, 120, "200%", 0}, {1, -3, "-34%", 0} /* rounded down, not towards zero */,
        {21'474'836, 1, "2147483600%", 0}, {21'474'837, 1'000'000'000, "", rt::errc::Overflow},
        {-21'474'837, 1, "", rt::errc::Overflow}, {0, 0, "", rt::errc::DivisionByZero}, {5, 0, "", rt::errc::DivisionByZero},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.progress) + " of " + std::to_string(c.faces));
        std::string text;
        EXPECT_EQ(testsupport::raised([&] { text = dialog::progressReadout(c.progress, c.faces); }).first, c.error);
        EXPECT_EQ(text, c.text);
    }
}

}  // namespace
