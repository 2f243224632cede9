// celshade-tool render as a user runs it: good models give pictures, a bad one among them is
// reported with its file and reason without stopping the others, and turntables are the still
// pictures of one turn. A wrong command line is refused before anything is drawn
// (tests/tools/ToolTest.cpp).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include <vector>

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
    const QString box = bin.filePath(QStringLiteral("doom5.x")), robot = bin.filePath(QStringLiteral("doom1.x"));
    // Another model named like the box: its picture would replace the box's.
    QDir(folder.path()).mkdir(QStringLiteral("other"));
    ASSERT_TRUE(QFile::copy(robot, path("other/doom5.x")));
    const ToolRun r = tool({box, path("notes.x"), robot, path("other/doom5.x"), "--out-dir", path("out"), "--size",
                            "200x150", "--frames", "3"});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    for (const char* picture : {"out/doom5.png", "out/doom1.png"}) {
        const QImage image(path(picture));
        EXPECT_EQ(image.size(), QSize(200, 150)) << picture;
    }
    EXPECT_FALSE(QFile::exists(path("out/notes.png")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("3 frames, median"))) << r.out.toStdString();
    for (const QString& line : {path("notes.x") + ": error -",
                                path("other/doom5.x") + ": error 75: Path/File access error: would overwrite " + path("out/doom5.png")})
        EXPECT_TRUE(r.err.contains(line)) << line.toStdString() << "\n" << r.err.toStdString();
}

// The frames of an animation as a viewer composes them (Qt's decoders, not the libraries
// that wrote them), with their delays in milliseconds and whether it loops for ever.
struct Animation {
    std::vector<QImage> frames;
    std::vector<int> delays;
    bool loops = false;
};

Animation readAnimation(const QString& path) {
    Animation out;
    QImageReader reader(path);
    for (QImage frame; reader.read(&frame);) {
        out.frames.push_back(frame.convertToFormat(QImage::Format_RGB32));
        out.delays.push_back(reader.nextImageDelay());
    }
    out.loops = reader.loopCount() == -1;
    return out;
}

// The mean difference of the channels, over the whole picture.
double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

// Each format's frames are the still pictures of the same turns: exactly where the format keeps
// every colour (a GIF of frames of few colours, here without the overlay's smoothed text; a
// lossless WebP; PNG), closely in a lossy WebP.
TEST_F(ToolRender, ATurntableIsTheStillPicturesOfOneTurn) {
    const QString box = bin.filePath(QStringLiteral("doom5.x"));
    const QStringList view = {"--size", "160x120", "--pitch", "20", "--yaw", "10", "--no-overlay"};
    constexpr int kTurn = 8;
    std::vector<QImage> stills;
    for (int i = 0; i < kTurn; ++i) {
        const QString picture = path("still.png");
        const QString yaw = QString::number(10 - 45 * i);
        ASSERT_EQ(tool(QStringList{box, "-o", picture, "--size", "160x120", "--pitch", "20", "--yaw", yaw, "--no-overlay"}).status, 0);
        stills.push_back(QImage(picture).convertToFormat(QImage::Format_RGB32));
    }
    const ToolRun gif = tool(QStringList{box, "--turntable", "8", "--fps", "20", "-o", path("spin.gif")} + view);
    ASSERT_EQ(gif.status, 0) << gif.err.toStdString();
    EXPECT_TRUE(gif.out.endsWith(QStringLiteral("8 frames -> ") + path("spin.gif") + "\n")) << gif.out.toStdString();
    const ToolRun lossless = tool(QStringList{box, "--turntable", "8", "-o", path("spin.webp")} + view);
    const ToolRun lossy = tool(QStringList{box, "--turntable", "8", "--quality", "60", "-o", path("lossy.webp")} + view);
    const ToolRun sequence = tool(QStringList{box, "--turntable", "8", "--out-dir", path("frames")} + view);
    ASSERT_EQ(lossless.status + lossy.status + sequence.status, 0) << lossless.err.toStdString() << lossy.err.toStdString();

    const Animation fromGif = readAnimation(path("spin.gif")), fromWebp = readAnimation(path("spin.webp")),
                    fromLossy = readAnimation(path("lossy.webp"));
    EXPECT_TRUE(fromGif.loops && fromWebp.loops && fromLossy.loops);
    EXPECT_EQ(fromGif.delays, std::vector<int>(kTurn, 50));  // 20 frames a second, in hundredths
    EXPECT_EQ(fromWebp.delays, std::vector<int>(kTurn, 40));
    ASSERT_EQ(fromGif.frames.size(), size_t(kTurn));
    ASSERT_EQ(fromWebp.frames.size(), size_t(kTurn));
    ASSERT_EQ(fromLossy.frames.size(), size_t(kTurn));
    for (int i = 0; i < kTurn; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fromGif.frames[i], stills[i]);
        EXPECT_EQ(fromWebp.frames[i], stills[i]);
        EXPECT_LT(meanDifference(fromLossy.frames[i], stills[i]), 4.0);
        EXPECT_EQ(QImage(path("frames/doom5-00%1.png").arg(i)).convertToFormat(QImage::Format_RGB32), stills[i]);
    }
    EXPECT_NE(stills[0], stills[1]);

    const ToolRun unwritable = tool({box, "--turntable", "2", "-o", path("absent/spin.gif")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(unwritable.err.contains(QStringLiteral("error 75: Path/File access error: cannot write ") + path("absent/spin.gif")))
        << unwritable.err.toStdString();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
