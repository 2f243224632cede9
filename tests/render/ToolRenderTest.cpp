// celshade-tool render as a user runs it: good models give pictures, a bad one among them is
// reported with its file and reason without stopping the others, and a wrong command line
// is refused with the usage before anything is drawn.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ToolRun {
    int status;
    QString out, err;
};

ToolRun tool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(CELSHADE_RUNTIME_DIR "/celshade-tool"), QStringList{"render"} + args);
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

class ToolRender : public ::testing::Test {
protected:
    QString path(const char* name) const { return folder.filePath(QString::fromLatin1(name)); }
    QTemporaryDir folder;
    const QDir bin{QStringLiteral(CELSHADE_RUNTIME_DIR)};
};

TEST_F(ToolRender, DrawsEveryGoodModelAndNamesEachBadOneWithItsReason) {
    {
        QFile notes(path("notes.x"));
        ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
        notes.write("these are notes, not a model\n");
    }
    {
        // Claims four billion vertices: refused before anything that size is allocated.
        QFile enormous(path("enormous.x"));
        ASSERT_TRUE(enormous.open(QIODevice::WriteOnly));
        enormous.write("xof 0302txt 0032\nMesh {\n 4000000000;\n 0.0;0.0;0.0;;\n 1;\n 3;0,0,0;;\n}\n");
    }
    QDir(folder.path()).mkdir(QStringLiteral("folder.x"));
    const QString box = bin.filePath(QStringLiteral("doom5.x")), robot = bin.filePath(QStringLiteral("doom1.x"));
    // Another model named like the box: its picture would replace the box's.
    QDir(folder.path()).mkdir(QStringLiteral("other"));
    ASSERT_TRUE(QFile::copy(robot, path("other/doom5.x")));
    const ToolRun r = tool({box, path("notes.x"), path("missing.x"), path("folder.x"), path("enormous.x"), robot,
                            path("other/doom5.x"), "--out-dir", path("out"),
                            "--size", "200x150", "--frames", "3"});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    for (const char* picture : {"out/doom5.png", "out/doom1.png"}) {
        const QImage image(path(picture));
        EXPECT_EQ(image.size(), QSize(200, 150)) << picture;
    }
    EXPECT_FALSE(QFile::exists(path("out/notes.png")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("3 frames, median"))) << r.out.toStdString();
    for (const QString& line : {path("notes.x") + ": error -", path("missing.x") + ": error 53:",
                                path("folder.x") + ": error 75:", path("enormous.x") + ": error -",
                                path("other/doom5.x") + ": error 75: Path/File access error: would overwrite " + path("out/doom5.png")})
        EXPECT_TRUE(r.err.contains(line)) << line.toStdString() << "\n" << r.err.toStdString();
}

TEST_F(ToolRender, RefusesAWrongCommandLineWithTheUsage) {
    const QString box = bin.filePath(QStringLiteral("doom5.x"));
    const QStringList wrong[] = {
        {},
        {box, box, "-o", path("a.png")},
        {box, "-o", path("a.png"), "--out-dir", path("d")},
        {box, "--size", "0x10"},
        {box, "--size", "640"},
        {box, "--zoom", "0"},
        {box, "--zoom", "nan"},
        {box, "--frames", "0"},
        {box, "--yaw", "1.5"},
        {box, "--pitch"},
        {box, "--shade"},
    };
    for (const QStringList& args : wrong) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const ToolRun r = tool(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(QStringLiteral("usage: celshade-tool render"))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
