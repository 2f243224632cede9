#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cfloat>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "d3dsupport/Mdx8.h"
#include "dialog/Form2.h"
#include "edges/Module1.h"

namespace {

void ensureApplication() {
    static int argc = 1;
    static char name[] = "dialog_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
    (void)app;
}

// Runs the event loop until `done` holds or the time is up; true when it held.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QTest::qWait(5);
    }
    return true;
}

class Form2Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureApplication(); }

    void SetUp() override {
        Module1::threshold = -99.0f;
        Module1::edgeProgress = 0;
        Mdx8::sceneMesh.numFaces = 0;
        Mdx8::modelFile.clear();
    }

    // Links that record each call the dialog makes outside itself, in order.
    Form2Links recordingLinks() {
        Form2Links links;
        links.showRenderWindow = [this] { calls.push_back("show"); };
        links.restartScene = [this] { calls.push_back("restart"); };
        links.shutdown = [this](bool end) { calls.push_back(end ? "shutdown(true)" : "shutdown(false)"); };
        links.endProgram = [this] { calls.push_back("end"); };
        return links;
    }

    std::unique_ptr<Form2> makeForm(Form2Links links) {
        auto form = std::make_unique<Form2>(std::move(links));
        form->show();
        return form;
    }
    std::unique_ptr<Form2> makeForm() { return makeForm(recordingLinks()); }

    template <typename Widget>
    static Widget* control(const Form2& form, const char* name) {
        auto* widget = form.findChild<Widget*>(QString::fromLatin1(name));
        if (widget == nullptr) ADD_FAILURE() << "no control named " << name;
        return widget;
    }

    static QRadioButton* option(const Form2& form, int index) {
        return control<QRadioButton>(form, ("Option1_" + std::to_string(index)).c_str());
    }

    std::vector<std::string> calls;
};

using Strings = std::vector<std::string>;

TEST_F(Form2Test, StartsWithTheFirstModelThresholdFromTheBoxAndNoReadout) {
    auto form = makeForm();
    EXPECT_EQ(Module1::threshold, 0.5f);
    EXPECT_EQ(Mdx8::sceneMesh.numFaces, 1);
    EXPECT_EQ(Mdx8::modelFile, "\\doom1.x");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(option(*form, i)->isChecked(), i == 0) << i;
    auto* label1 = control<QLabel>(*form, "Label1");
    EXPECT_FALSE(label1->isVisible());
    EXPECT_EQ(label1->text(), QString("Label1"));
    EXPECT_FALSE(form->renderStarted());
    EXPECT_TRUE(calls.empty());
}

TEST_F(Form2Test, ControlsHaveTheirPlacesInPixelsAndCaptions) {
    auto form = makeForm();
    EXPECT_EQ(form->size(), QSize(286, 204));

    struct Expected {
        const char* name;
        QRect pixels;
        QString caption;
    };
    const Expected expected[] = {
        {"STAR", {16, 56, 73, 33}, "STAR"},
        {"Command1", {16, 104, 73, 33}, "EXIT"},
        {"Option1_0", {16, 32, 57, 25}, "机器人"},
        {"Option1_1", {16, 80, 57, 25}, "花"},
        {"Option1_2", {16, 136, 57, 25}, "玫瑰"},
        {"Option1_3", {88, 32, 57, 25}, "天文仪"},
        {"Option1_4", {88, 80, 57, 25}, "盒子"},
    };
    for (const auto& e : expected) {
        auto* button = control<QAbstractButton>(*form, e.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->geometry(), e.pixels) << e.name;
        EXPECT_EQ(button->text(), e.caption) << e.name;
    }
    auto* frame = control<QGroupBox>(*form, "Frame1");
    EXPECT_EQ(frame->geometry(), QRect(112, 8, 161, 185));
    EXPECT_TRUE(frame->title().isEmpty());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(option(*form, i)->parentWidget(), frame) << i;

    auto* label1 = control<QLabel>(*form, "Label1");
    EXPECT_EQ(label1->geometry(), QRect(16, 16, 65, 25));
    auto* label2 = control<QLabel>(*form, "Label2");
    EXPECT_EQ(label2->geometry(), QRect(16, 168, 33, 17));
    EXPECT_EQ(label2->text(), QString("阀值"));
    auto* text1 = control<QLineEdit>(*form, "Text1");
    EXPECT_EQ(text1->geometry(), QRect(48, 160, 25, 19));  // 280 twips: 18.67 pixels
    EXPECT_EQ(text1->text(), QString("0.5"));
}

TEST_F(Form2Test, ReadoutFontIsBoldFifteenPointCJK) {
    auto form = makeForm();
    const QFont font = control<QLabel>(*form, "Label1")->font();
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(font.pointSize(), 15);
    const QStringList cjk = {"宋体", "SimSun", "NSimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC",
                             "Droid Sans Fallback"};
    EXPECT_TRUE(cjk.contains(QFontInfo(font).family())) << QFontInfo(font).family().toStdString();
}

// The model choice is one tab stop, entered at the chosen model; the arrow keys choose within it.
TEST_F(Form2Test, TabVisitsSTARExitTheChosenModelAndTheThresholdBoxInTurn) {
    auto form = makeForm();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto focused = [] { return QApplication::focusWidget()->objectName().toStdString(); };
    auto press = [&](Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key);
        return focused();
    };
    EXPECT_EQ(focused(), "STAR");
    EXPECT_EQ(press(Qt::Key_Tab), "Command1");
    EXPECT_EQ(press(Qt::Key_Tab), "Option1_0");
    EXPECT_EQ(press(Qt::Key_Tab), "Text1");
    EXPECT_EQ(press(Qt::Key_Tab), "STAR");
    EXPECT_EQ(press(Qt::Key_Backtab), "Text1");
    EXPECT_EQ(press(Qt::Key_Backtab), "Option1_0");

    EXPECT_EQ(press(Qt::Key_Down), "Option1_1");
    EXPECT_EQ(Mdx8::modelFile, "\\doom2.x");
    EXPECT_TRUE(option(*form, 1)->isChecked());
    EXPECT_EQ(press(Qt::Key_Tab), "Text1");
    EXPECT_EQ(press(Qt::Key_Backtab), "Option1_1");
}

TEST_F(Form2Test, EachModelChoiceSetsItsFileAndOnlyThat) {
    auto form = makeForm();
    for (int index : {3, 1, 4, 2, 0, 0}) {
        QTest::mouseClick(option(*form, index), Qt::LeftButton);
        EXPECT_EQ(Mdx8::modelFile, "\\doom" + std::to_string(index + 1) + ".x");
        for (int i = 0; i < 5; ++i) EXPECT_EQ(option(*form, i)->isChecked(), i == index);
    }
    EXPECT_TRUE(calls.empty());  // nothing is loaded before STAR
}

TEST_F(Form2Test, EveryKeystrokeInTheThresholdBoxStoresItsValue) {
    auto form = makeForm();
    auto* text1 = control<QLineEdit>(*form, "Text1");
    text1->setFocus();
    text1->selectAll();
    QTest::keyClick(text1, Qt::Key_Delete);
    EXPECT_EQ(Module1::threshold, 0.0f);

    std::vector<float> stored;
    for (char c : std::string("0.8")) {
        QTest::keyClick(text1, c);
        stored.push_back(Module1::threshold);
    }
    EXPECT_EQ(stored, (std::vector<float>{0.0f, 0.0f, 0.8f}));

    text1->selectAll();
    QTest::keyClicks(text1, "1e400");  // beyond every range: stored, not refused
    EXPECT_EQ(Module1::threshold, FLT_MAX);
}

TEST_F(Form2Test, TimerShowsTheBuildProgressWhetherOrNotTheReadoutIsVisible) {
    auto form = makeForm();
    auto* timer = control<QTimer>(*form, "Timer1");
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 55);

    auto* label1 = control<QLabel>(*form, "Label1");
    EXPECT_TRUE(waitFor([&] { return label1->text() == "0%"; }));
    Mdx8::sceneMesh.numFaces = 120;
    Module1::edgeProgress = 37;
    EXPECT_TRUE(waitFor([&] { return label1->text() == "30%"; }));
    Module1::edgeProgress = 120;
    EXPECT_TRUE(waitFor([&] { return label1->text() == "100%"; }));
    EXPECT_FALSE(label1->isVisible());
}

TEST_F(Form2Test, FirstSTARShowsTheRenderWindowEveryLaterOneRebuildsTheScene) {
    auto form = makeForm();
    auto* star = control<QPushButton>(*form, "STAR");
    QTest::mouseClick(star, Qt::LeftButton);
    EXPECT_EQ(calls, (Strings{"show"}));
    EXPECT_TRUE(form->renderStarted());
    EXPECT_TRUE(control<QLabel>(*form, "Label1")->isVisible());
    QTest::mouseClick(star, Qt::LeftButton);
    QTest::mouseClick(star, Qt::LeftButton);
    EXPECT_EQ(calls, (Strings{"show", "restart", "restart"}));
}

// The first show never returns while the program runs: later presses arrive from inside it
// (the render window's event step) and must rebuild, not show again.
TEST_F(Form2Test, STARPressedWhileTheFirstShowRunsRebuildsTheScene) {
    Form2* formPtr = nullptr;
    Form2Links links = recordingLinks();
    links.showRenderWindow = [&] {
        calls.push_back("show");
        QTest::mouseClick(control<QPushButton>(*formPtr, "STAR"), Qt::LeftButton);
        QTest::mouseClick(control<QPushButton>(*formPtr, "STAR"), Qt::LeftButton);
    };
    auto form = makeForm(links);
    formPtr = form.get();
    QTest::mouseClick(control<QPushButton>(*form, "STAR"), Qt::LeftButton);
    EXPECT_EQ(calls, (Strings{"show", "restart", "restart"}));
}

TEST_F(Form2Test, ExitClosesTheDialogWhichShutsDownAndThenEndsTheProgram) {
    auto form = makeForm();
    QTest::mouseClick(control<QPushButton>(*form, "Command1"), Qt::LeftButton);
    EXPECT_EQ(calls, (Strings{"shutdown(true)", "end"}));
}

TEST_F(Form2Test, ClosingTheDialogShutsDownEvenAfterTheRenderWindowStarted) {
    auto form = makeForm();
    QTest::mouseClick(control<QPushButton>(*form, "STAR"), Qt::LeftButton);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(calls, (Strings{"show", "shutdown(true)"}));
}

using Form2DeathTest = Form2Test;

TEST_F(Form2DeathTest, AnErrorInAHandlerEndsTheProgramWithItsReport) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto form = makeForm();
            Mdx8::sceneMesh.numFaces = 0;  // the readout divides by it at the next tick
            waitFor([] { return false; }, std::chrono::seconds(2));
        },
        ::testing::ExitedWithCode(1), "Run-time error '11'");
}

}  // namespace
