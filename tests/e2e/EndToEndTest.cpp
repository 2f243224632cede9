// The real program on a virtual display, used as a person would: start it, press STAR,
// watch the readout reach 100%, look at the picture, drag, zoom, type a threshold, pick
// other models, double-click to end.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QFile>

#include <cctype>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

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
// The five model choices, Option1 index 0 to 4, inside Frame1.
const QPoint kOption[] = {twips(1680 + 240, 120 + 480, 855, 375), twips(1680 + 240, 120 + 1200, 855, 375), kRose,
                          twips(1680 + 1320, 120 + 480, 855, 375), kBox};
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
    // Label1 is hidden until the first press. A dialog mapped but not yet painted grabs black,
    // so give a busy machine time to paint it; a shown label stays dark and still fails.
    EXPECT_TRUE(X11Session::waitFor(
        [&] {
            const QImage hidden = readout();
            return countPixels(hidden, hidden.rect(), isDark) == 0;
        },
        10000))
        << "Label1 shows before the first press";
    save(x.grab(dialog), "e2e-dialog.png");

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

// The program with one of its data files missing, empty, cut to a third of its bytes or
// replaced by garbage. Each case gets a directory of its own with the program (a hard link)
// and the data files beside it. The case selects the file's model when it is one of the
// models, presses STAR and expects the program to end by itself, with exit status 1 and an
// error report giving the number, the file's path and the reason, and no window left.
enum class Fault { Missing, Empty, Truncated, Garbage, Fifo };

struct DataFault {
    const char* file;
    Fault fault;
    int32_t number;      // the error number of the report
    const char* reason;  // a regular expression the report's text must contain
};

std::string caseName(const ::testing::TestParamInfo<DataFault>& info) {
    static const char* const kFaults[] = {"Missing", "Empty", "Truncated", "Garbage", "Fifo"};
    std::string name = info.param.file;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name + "_" + kFaults[static_cast<int>(info.param.fault)];
}

void link(const QString& from, const QString& to) {
    std::error_code ec;
    std::filesystem::create_hard_link(from.toStdString(), to.toStdString(), ec);
    if (ec) {
        ASSERT_TRUE(QFile::copy(from, to)) << to.toStdString();
    }
}

class EndToEndDataFault : public EndToEnd, public ::testing::WithParamInterface<DataFault> {
protected:
    void SetUp() override {
        ASSERT_TRUE(directory.isValid());
        const QDir source(QStringLiteral(CELSHADE_RUNTIME_DIR));
        const DataFault& c = GetParam();
        for (const char* name : {"celshade", "banda2.bmp", "celshading.txt", "shver2.txt", "doom1.x", "doom2.x", "doom3.x",
                                 "doom4.x", "doom5.x"}) {
            if (QString::fromUtf8(name) != QString::fromUtf8(c.file)) link(source.filePath(name), directory.filePath(name));
        }
        QFile original(source.filePath(c.file));
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        const QByteArray bytes = original.readAll();
        QByteArray faulty;
        if (c.fault == Fault::Truncated) faulty = bytes.left(bytes.size() / 3);
        if (c.fault == Fault::Garbage)
            for (int i = 0; i < 4096; ++i) faulty.append(char((i * 7919 + 13) % 251));
        if (c.fault == Fault::Fifo) {
            // No writer ever comes: a load that opened it would wait for ever.
            ASSERT_EQ(mkfifo(directory.filePath(c.file).toLocal8Bit().constData(), 0600), 0);
        } else if (c.fault != Fault::Missing) {
            QFile written(directory.filePath(c.file));
            ASSERT_TRUE(written.open(QIODevice::WriteOnly));
            ASSERT_EQ(written.write(faulty), faulty.size());
        }
        launch(directory.path(), QProcess::SeparateChannels);
    }
    QTemporaryDir directory;
};

TEST_P(EndToEndDataFault, StarEndsTheProgramWithAReportNamingTheFile) {
    const DataFault& c = GetParam();
    const QString file = QString::fromUtf8(c.file);
    if (file.startsWith(QStringLiteral("doom"))) x.click(dialog.topLeft() + kOption[file.at(4).digitValue() - 1]);
    x.click(dialog.topLeft() + kStar);
    ASSERT_TRUE(program.waitForFinished(60000)) << "the program did not end";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "it crashed instead of reporting";
    EXPECT_EQ(program.exitCode(), 1);
    const std::string report = QString::fromUtf8(program.readAllStandardError()).toStdString();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(report, m, std::regex(R"(Run-time error '(-?\d+)( \([0-9A-F]{8}\))?':\n\n(.*))")))
        << report;
    EXPECT_EQ(std::stol(m[1]), c.number) << report;
    const std::string text = m[3];
    EXPECT_NE(text.find(directory.filePath(file).toStdString()), std::string::npos) << report;
    EXPECT_TRUE(std::regex_search(text, std::regex(c.reason))) << report;
    EXPECT_FALSE(x.findWindow(kRenderWidth, kRenderHeight).has_value());
    EXPECT_FALSE(x.findWindow(kDialogWidth, kDialogHeight).has_value());
}

constexpr int32_t kNotFound = 53, kPathFileAccess = 75, kInvalidData = int32_t(0x88760B59u), kD3DNotFound = int32_t(0x88760866u);

// Every model fails the same four ways; a model cut short may end anywhere in its syntax.
std::vector<DataFault> dataFaults() {
    std::vector<DataFault> cases;
    for (const char* model : {"doom1.x", "doom2.x", "doom3.x", "doom4.x", "doom5.x"}) {
        cases.push_back({model, Fault::Missing, kNotFound, "File not found"});
        cases.push_back({model, Fault::Empty, kInvalidData, "fewer than the 16 of a .x header"});
        cases.push_back({model, Fault::Truncated, kInvalidData, "the file ends|does not fit the file|passes the end|more than the file holds"});
        cases.push_back({model, Fault::Garbage, kInvalidData, "does not start with \"xof \""});
    }
    cases.insert(cases.end(), {
        {"banda2.bmp", Fault::Missing, kD3DNotFound, "file not found"},
        {"banda2.bmp", Fault::Empty, kInvalidData, "file is empty"},
        {"banda2.bmp", Fault::Truncated, kInvalidData, "truncated: the pixel data"},
        {"banda2.bmp", Fault::Garbage, kInvalidData, "not an image"},
        {"banda2.bmp", Fault::Fifo, kD3DNotFound, R"(cannot read the file \(it is a FIFO\))"},
        {"doom1.x", Fault::Fifo, kPathFileAccess, R"(cannot read the file \(it is a FIFO\))"},
        {"celshading.txt", Fault::Fifo, kInvalidData, R"(cannot read the file \(it is a FIFO\))"},
    });
    for (const char* shader : {"celshading.txt", "shver2.txt"}) {
        cases.push_back({shader, Fault::Missing, kD3DNotFound, "cannot open the file"});
        cases.push_back({shader, Fault::Empty, kInvalidData, ":1:1: missing version line"});
        cases.push_back({shader, Fault::Truncated, kInvalidData, R"(\.txt:\d+:\d+: )"});
        cases.push_back({shader, Fault::Garbage, kInvalidData, R"(\.txt:\d+:\d+: )"});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryFileTheProgramReads, EndToEndDataFault, ::testing::ValuesIn(dataFaults()), caseName);

TEST_F(EndToEnd, ExitEndsTheProgramBeforeAnyRender) {
    x.click(dialog.topLeft() + twips(240, 1560, 1095, 495));
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
}

// The program's own command line. --help and --version are answered on standard output with
// status 0 before any window is made (so with no display); a wrong option, a second model or
// an empty path are refused with the usage on standard error and status 2.
TEST(ProgramCommandLine, AnswersHelpAndVersionAndRefusesWhatItCannotUse) {
    const struct {
        QStringList args;
        int status;
        const char* out;  // what standard output starts with
        const char* err;  // what standard error contains
    } cases[] = {
        {{"--version"}, 0, "celshade " CELSHADE_VERSION "\n", ""},
        {{"--help"}, 0, "usage: celshade", ""},
        {{"--frob"}, 2, "", "celshade: unknown option --frob\nusage: celshade"},
        {{"a.x", "b.x"}, 2, "", "one model at a time"},
        {{""}, 2, "", "an empty path names no model"},
    };
    for (const auto& c : cases) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(CELSHADE_RUNTIME_DIR "/celshade"), c.args);
        ASSERT_TRUE(program.waitForFinished(20000)) << c.args.join(' ').toStdString();
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(program.exitCode(), c.status) << c.args.join(' ').toStdString();
        if (*c.out != 0) {
            EXPECT_TRUE(out.startsWith(QString::fromUtf8(c.out))) << out.toStdString();
        }
        EXPECT_EQ(out.isEmpty(), c.status != 0) << out.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.err))) << err.toStdString();
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Listing the tests at build time happens with no display; the tests then skip.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
