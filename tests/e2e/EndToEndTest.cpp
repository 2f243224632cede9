// The real program on a virtual display with one of its data files missing, empty, cut to a
// third of its bytes or replaced by garbage; EXIT before any render; the command line. (A long
// session of presses, drags and models is SoakTest.cpp.)

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <regex>
#include <string>
#include <vector>

#include "ProgramOnDisplay.h"

namespace {

using namespace e2e;

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { launch(QStringLiteral(CELSHADE_RUNTIME_DIR)); }

    // Starts the program found in `directory` (with its data files beside it).
    void launch(const QString& directory) {
        if (!x.connected()) GTEST_SKIP() << "no X display";
        dialog = startProgram(program, x, {}, QProcessEnvironment::systemEnvironment(), directory);
        ASSERT_FALSE(dialog.isEmpty()) << "the start dialog did not appear";
    }
    void TearDown() override { stopProgram(program); }

    X11Session x;
    QProcess program;
    QRect dialog;
};

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
    return QString::fromUtf8(info.param.file).replace('.', '_').toStdString() + "_" + kFaults[static_cast<int>(info.param.fault)];
}

class EndToEndDataFault : public EndToEnd, public ::testing::WithParamInterface<DataFault> {
protected:
    void SetUp() override {
        ASSERT_TRUE(directory.isValid());
        const DataFault& c = GetParam();
        QStringList files{"celshade", "banda2.bmp", "celshading.txt", "shver2.txt", "doom1.x", "doom2.x", "doom3.x",
                          "doom4.x", "doom5.x"};
        files.removeOne(QString::fromUtf8(c.file));
        ASSERT_TRUE(linkFromBuild(directory.path(), files));
        QFile original(QStringLiteral(CELSHADE_RUNTIME_DIR "/") + c.file), written(directory.filePath(c.file));
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        QByteArray faulty = c.fault == Fault::Truncated ? original.readAll().left(original.size() / 3) : QByteArray();
        for (int i = 0; c.fault == Fault::Garbage && i < 4096; ++i) faulty.append(char((i * 7919 + 13) % 251));
        if (c.fault == Fault::Fifo) {
            // No writer ever comes: a load that opened it would wait for ever.
            ASSERT_EQ(mkfifo(directory.filePath(c.file).toLocal8Bit().constData(), 0600), 0);
        } else if (c.fault != Fault::Missing) {
            ASSERT_TRUE(written.open(QIODevice::WriteOnly) && written.write(faulty) == faulty.size());
        }
        launch(directory.path());
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
        {"banda2.bmp", Fault::Missing, kD3DNotFound, "file not found"}, {"banda2.bmp", Fault::Empty, kInvalidData, "file is empty"},
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

// The program's own command line, with no display to open (where Qt would end the program
// before anything else): --help and --version are answered on standard output with status 0;
// a wrong option, a second model (Qt's own options and their values aside) or an empty path
// are refused with the usage on standard error and status 2.
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
        {{"-style", "fusion", "a.x", "--platform=xcb", "--", "-b.x"}, 2, "", "one model at a time"},
        {{""}, 2, "", "an empty path names no model"},
    };
    for (const auto& c : cases) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
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
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
