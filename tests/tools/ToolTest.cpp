// celshade-tool as a user runs it: each subcommand on good files (output in its documented
// form, and consistent between subcommands), on bad files (exit status 1, an error naming
// the file, nothing on stdout) and with bad options (exit status 2 and the subcommand's usage
// line); render's pictures and turntables, which are the still pictures of one turn.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "vs/Assembler.h"

namespace {

const QString kTool = QStringLiteral(CELSHADE_RUNTIME_DIR "/celshade-tool");
const std::string kData = CELSHADE_SOURCE_DIR "/data/";
const std::string kRoundTrip = CELSHADE_ROUNDTRIP_DIR;

struct Outcome {
    int status = -1;
    std::string out, err;
};

// The tool run with `args`; with a `shell` command, the tool is that command's "$0 $@".
Outcome tool(const std::vector<std::string>& args, const char* shell = nullptr) {
    QStringList list;
    if (shell) list << "-c" << shell << kTool;
    for (const std::string& a : args) list << QString::fromStdString(a);
    QProcess p;
    p.start(shell ? QStringLiteral("bash") : kTool, list);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) return {};
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

std::string joined(const std::vector<std::string>& args) {
    std::string s;
    for (const std::string& a : args) s += " " + a;
    return s;
}

std::string run(const std::vector<std::string>& args) {
    const Outcome outcome = tool(args);
    EXPECT_EQ(outcome.status, 0) << joined(args) << "\n" << outcome.err;
    return outcome.out;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

QRegularExpressionMatch match(const std::string& text, const std::string& pattern) {
    return QRegularExpression(QString::fromStdString(pattern)).match(QString::fromStdString(text));
}

// Numbers captured by `pattern` from `text`; empty when it does not match.
std::vector<long> numbers(const std::string& text, const std::string& pattern) {
    const QRegularExpressionMatch m = match(text, pattern);
    std::vector<long> out;
    for (int i = 1; i <= m.lastCapturedIndex(); ++i) out.push_back(m.captured(i).toLong());
    return out;
}

class Tool : public ::testing::Test {
protected:
    std::string file(const char* name, const std::string& bytes) {
        const std::string path = dir_.filePath(name).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string path(const std::string& name) { return dir_.filePath(QString::fromStdString(name)).toStdString(); }
    QTemporaryDir dir_;
};

TEST_F(Tool, InfoDescribesEachModelAndEdgesAgreesWithItsCounts) {
    const Outcome info = tool({"info", kData + "doom5.x", kData + "doom1.x"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.err, "");
    const std::string number = R"((?:-?[0-9.e+-]+|nan|-?inf))";
    const QRegularExpression block(QString::fromStdString(
        "(/[^\\n]+)\\n"
        "  encoding: (text|binary)(, MSZIP-compressed)?, (32|64)-bit floats, version \\d+\\.\\d+\\n"
        "  vertices: (\\d+), faces: (\\d+)( \\(needs 32-bit indices\\))?\\n"
        "  materials: (\\d+)\\n(    \\d+: diffuse( " + number + "){4}(  texture [^\\n]*)?\\n)*"
        "  attribute table: (\\d+) ranges\\n(    id \\d+: faces \\d+\\+\\d+, vertices \\d+\\+\\d+\\n)*"
        "  bounding sphere: centre( " + number + "){3}, radius " + number + "\\n"));
    std::vector<std::string> files;
    long doom5Faces = -1;
    for (const QRegularExpressionMatch& m : block.globalMatch(QString::fromStdString(info.out))) {
        files.push_back(m.captured(1).toStdString());
        if (files.size() == 1) doom5Faces = m.captured(6).toLong();
    }
    EXPECT_EQ(files, (std::vector<std::string>{kData + "doom5.x", kData + "doom1.x"})) << info.out;

    // Six entries of 36 bytes per face; a threshold above every dot product takes no neighbour.
    for (const char* threshold : {"0.5", "2", "-2"}) {
        SCOPED_TRACE(threshold);
        const std::string out = path("lines.bin");
        const Outcome edges = tool({"edges", kData + "doom5.x", "--threshold", threshold, "--out", out});
        ASSERT_EQ(edges.status, 0) << edges.err;
        const auto n = numbers(edges.out, kData + R"(doom5\.x: (\d+) faces in (\d+) ranges, (\d+) entries \((\d+) lines\), )"
                                                  R"((\d+) lines carry a neighbour normal \(threshold -?\d+(?:\.\d+)?\), )"
                                                  R"(built in [0-9.]+ ms \([0-9.]+ ms CPU\)\n$)");
        ASSERT_EQ(n.size(), 5u) << edges.out;
        EXPECT_EQ(n[0], doom5Faces);
        EXPECT_EQ(n[2], 6 * doom5Faces);
        EXPECT_EQ(n[3], 3 * doom5Faces);
        EXPECT_EQ(long(readAll(out).size()), 36 * n[2]);
        if (std::string(threshold) == "2") {
            EXPECT_EQ(n[4], 0);
        } else if (std::string(threshold) == "-2") {
            EXPECT_GT(n[4], 0);
        }
    }
}

// The printed tokens are exactly what the assembler makes: instruction tokens start a line,
// their parameters follow on it, and the constants of def lines come after their own heading.
TEST_F(Tool, AsmPrintsTheAssembledTokens) {
    const std::string withDef = file("def.vsh", "vs.1.1\ndef c1, 1, 2, 3, 4.5\nmov oPos, c1\n");
    for (const std::string& source : {kData + "celshading.txt", kData + "shver2.txt", withDef}) {
        SCOPED_TRACE(source);
        const Outcome run = tool({"asm", source});
        ASSERT_EQ(run.status, 0) << run.err;
        const vs::Assembly expected = vs::assemble(readAll(source), source);
        std::istringstream lines(run.out);
        std::string line;
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line, "; function tokens");
        std::vector<uint32_t> function, constants, *into = &function;
        while (std::getline(lines, line)) {
            if (line == "; constant tokens") {
                into = &constants;
                continue;
            }
            ASSERT_TRUE(match(line, "^[0-9A-F]{8}( [0-9A-F]{8})*$").hasMatch()) << line;
            std::istringstream words(line);
            for (std::string w; words >> w;) into->push_back(uint32_t(std::stoul(w, nullptr, 16)));
        }
        EXPECT_EQ(function, expected.function);
        EXPECT_EQ(constants, expected.constants);
    }
}

TEST_F(Tool, BadFilesEndWithStatusOneAndAnErrorNamingTheFile) {
    const std::string model = readAll(kData + "doom5.x");
    // Every fault of the .x reader takes the same way out; the reader's own tests and the
    // program's (tests/e2e) cover the faults themselves.
    const std::string cut = file("cut.x", model.substr(0, model.size() / 3)), missing = path("missing.x");
    const std::string empty = file("empty.x", "");  // also a file, not a folder, to look inside
    const std::string shaderSyntax = file("syntax.vsh", "vs.1.1\nmov oPos, v0.xyzq\n"), missingShader = path("missing.vsh");
    // A FIFO with no writer: reading it would wait for ever.
    const std::string fifo = path("doom1.x"), throughFile = empty + "/inner.x";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The importer hangs on this PLY file cut short: each subcommand stops it at its time limit.
    const std::string hangs = file("cut.ply", readAll(kRoundTrip + "/ply/doom5.ply").substr(0, 40));
    const std::string timedOut = hangs + ": the importer did not finish within 0.2 s";
    const struct {
        std::vector<std::string> args;
        std::string error;  // a regular expression stderr must contain
    } cases[] = {
        {{"info", cut}, cut + ": error -?\\d+: .*" + cut},
        {{"info", missing}, missing + ": error 53: File not found: " + missing},
        {{"info", throughFile}, throughFile + ": error 53: File not found: " + throughFile},
        {{"info", fifo}, fifo + ": error 75: Path/File access error: " + fifo + ": cannot read the file \\(it is a FIFO\\)"},
        {{"info", "/dev/zero"}, "/dev/zero: error 75: Path/File access error: /dev/zero: cannot read the file \\(it is a device\\)"},
        {{"edges", missing}, "celshade-tool edges: error 53: File not found: " + missing},
        {{"edges", fifo}, "celshade-tool edges: error 75: .*" + fifo + ": cannot read the file \\(it is a FIFO\\)"},
        {{"edges", kData + "doom5.x", "--out", path("absent/lines.bin")}, "error 75: .*" + path("absent/lines.bin")},
        {{"asm", shaderSyntax}, shaderSyntax + ":2:\\d+: .*'q'"},
        {{"asm", missingShader}, missingShader + ": cannot open the file"},
        {{"asm", dir_.path().toStdString()}, dir_.path().toStdString() + ": cannot read the file \\(it is a directory\\)"},
        {{"asm", fifo}, fifo + ": cannot read the file \\(it is a FIFO\\)"},
        {{"info", "--time-limit", "0.2", hangs}, hangs + ": error -?\\d+: .*" + timedOut},
        {{"edges", hangs, "--time-limit", "0.2"}, "celshade-tool edges: error -?\\d+: .*" + timedOut},
        {{"render", hangs, "--time-limit", "0.2", "-o", path("cut.png")}, hangs + ": error -?\\d+: .*" + timedOut},
    };
    for (const auto& c : cases) {
        const Outcome run = tool(c.args);
        EXPECT_EQ(run.status, 1) << joined(c.args);
        EXPECT_EQ(run.out, "") << joined(c.args);
        EXPECT_TRUE(match(run.err, c.error).hasMatch()) << joined(c.args) << "\n" << run.err;
    }
    // A run over several files describes the good ones and nothing of the bad one, though
    // its header could be read.
    const Outcome mixed = tool({"info", kData + "doom5.x", cut});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_EQ(mixed.out.rfind(kData + "doom5.x\n", 0), 0u) << mixed.out;
    EXPECT_NE(mixed.out.find("bounding sphere"), std::string::npos);
    EXPECT_EQ(mixed.out.find(cut), std::string::npos) << mixed.out;
}

TEST_F(Tool, BadOptionsEndWithStatusTwoAndTheUsage) {
    const std::string model = kData + "doom5.x";
    const std::vector<std::string> cases[] = {
        {}, {"frob"}, {"--frob"},
        {"info"}, {"info", ""},  // an empty path names no file
        {"edges"}, {"edges", model, model}, {"edges", model, "--frob"}, {"edges", model, "--out"}, {"edges", model, "--out", ""},
        {"edges", model, "--threshold"}, {"edges", model, "--threshold", "half"}, {"edges", model, "--threshold", "0.5x"},
        {"edges", model, "--threshold", "nan"}, {"edges", model, "--threshold", "-inf"},
        {"edges", model, "--threshold", "1e39"},  // beyond a float
        {"asm"}, {"asm", "a.vsh", "b.vsh"},
        {"render"}, {"render", "", "-o", "a.png"}, {"render", model, model, "-o", path("a.png")},
        {"render", model, "-o", path("a.png"), "--out-dir", path("d")}, {"render", model, "--size", "0x10"},
        {"render", model, "--size", "640"}, {"render", model, "--zoom", "0"}, {"render", model, "--zoom", "nan"},
        {"render", model, "--frames", "0"}, {"render", model, "--yaw", "1.5"}, {"render", model, "--pitch"},
        {"render", model, "--yaw", "99999999999999999999"},  // beyond 64 bits: no angle at all
        {"info", "--frob", model}, {"info", model, "--time-limit"}, {"info", "--time-limit", "-1", model},
        {"edges", model, "--time-limit", "86401"}, {"render", model, "--time-limit", "nan"},
        {"render", model, "--shade"}, {"render", model, "--fps", "10"},
        // A turntable the tool cannot write.
        {"render", model, "--turntable", "8", "-o", path("spin.png")},
        {"render", model, "--turntable", "8", "--quality", "50", "-o", path("spin.gif")},
        {"render", model, "--turntable", "8", "--quality", "101", "-o", path("spin.webp")},
        {"render", model, "--turntable", "8", "--fps", "0"}, {"render", model, "--turntable", "8", "--frames", "3"},
        // A number after --turntable is its count, not a model: it must be one.
        {"render", model, "--turntable", "0"}, {"render", model, "--turntable", "400", "-o", path("spin.gif")},
        {"render", model, "--turntable", "2", "--size", "16384x8", "-o", path("big.webp")},  // beyond WebP's sides
    };
    for (const auto& args : cases) {
        const Outcome run = tool(args);
        EXPECT_EQ(run.status, 2) << joined(args);
        EXPECT_EQ(run.out, "") << joined(args);
        const bool known = !args.empty() && args[0] != "frob" && args[0] != "--frob";
        const std::string command = known ? args[0] : "COMMAND";
        EXPECT_NE(run.err.find("usage: celshade-tool " + command), std::string::npos) << joined(args) << "\n" << run.err;
        if (known) continue;
        for (const char* sub : {"\n  asm ", "\n  edges ", "\n  info ", "\n  render "})
            EXPECT_NE(run.err.find(sub), std::string::npos);
    }
    EXPECT_TRUE(QDir(dir_.path()).isEmpty()) << "a refused command wrote something";
}

// --help and --version answer on standard output with status 0, for the tool and for each
// subcommand (render and edges answered without a graphics device); the version is the
// project's.
TEST_F(Tool, HelpAndVersionGoToStandardOutput) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--version"}, "celshade-tool " CELSHADE_VERSION "\n"}, {{"--help"}, "usage: celshade-tool COMMAND"},
        {{"info", "--help"}, "usage: celshade-tool info"},       {{"asm", "--help"}, "usage: celshade-tool asm"},
        {{"edges", "--help"}, "usage: celshade-tool edges"},     {{"render", "--help"}, "usage: celshade-tool render"}};
    for (const auto& [args, start] : cases) {
        const Outcome run = tool(args);
        EXPECT_EQ(run.status, 0) << joined(args);
        EXPECT_EQ(run.err, "") << joined(args);
        EXPECT_EQ(args[0] == "--version" ? run.out : run.out.substr(0, start.size()), start);
    }
}

// Render: good models give pictures, a bad one among them is reported with its file and
// reason without stopping the others.
TEST_F(Tool, RenderDrawsEveryGoodModelAndNamesEachBadOneWithItsReason) {
    const std::string notes = file("notes.x", "these are notes, not a model\n"), box = kData + "doom5.x";
    // Another model named like the box: its picture would replace the box's.
    QDir(dir_.path()).mkdir(QStringLiteral("other"));
    const std::string other = file("other/doom5.x", readAll(kData + "doom1.x"));
    const Outcome r = tool({"render", "--out-dir", path("out"), "--size", "200x150", "--frames", "3", "--", box, notes,
                            kData + "doom1.x", other});
    EXPECT_EQ(r.status, 1) << r.err;
    for (const char* picture : {"out/doom5.png", "out/doom1.png"})
        EXPECT_EQ(QImage(QString::fromStdString(path(picture))).size(), QSize(200, 150)) << picture;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("out/notes.png"))));
    EXPECT_NE(r.out.find("3 frames, median"), std::string::npos) << r.out;
    for (const std::string& line : {notes + ": error -", other + ": error 75: Path/File access error: would overwrite " + path("out/doom5.png")})
        EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;
}

// The frames of an animation as a viewer composes them (Qt's decoders, not the libraries
// that wrote them), with their delays in milliseconds and whether it loops for ever.
struct Animation {
    std::vector<QImage> frames;
    std::vector<int> delays;
    bool loops = false;
};

Animation readAnimation(const std::string& path) {
    Animation out;
    QImageReader reader(QString::fromStdString(path));
    for (QImage frame; reader.read(&frame);) {
        out.frames.push_back(frame.convertToFormat(QImage::Format_RGB32));
        out.delays.push_back(reader.nextImageDelay());
    }
    out.loops = reader.loopCount() == -1;
    return out;
}

QImage picture(const std::string& path) { return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32); }

enum class Kind { Background, Outline, Model };

Kind kindOf(QRgb p) {
    if (p == qRgb(0x4C, 0x4C, 0xFF)) return Kind::Background;
    return qRed(p) <= 8 && qGreen(p) <= 8 && qBlue(p) <= 8 ? Kind::Outline : Kind::Model;
}

struct Difference {
    double colour = 1;  // share of pixels more than 8 levels apart in a channel
    double kind = 1;    // share of pixels that are background, outline or model in one picture only
    double mean = 255;  // the mean difference of the channels
};

Difference compare(const QImage& x, const QImage& y) {
    if (x.isNull() || x.size() != y.size()) {
        ADD_FAILURE() << "pictures that cannot be compared";
        return {};
    }
    int64_t colour = 0, kind = 0, sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            const int r = std::abs(qRed(p) - qRed(q)), g = std::abs(qGreen(p) - qGreen(q));
            const int b = std::abs(qBlue(p) - qBlue(q));
            colour += std::max({r, g, b}) > 8;
            kind += kindOf(p) != kindOf(q);
            sum += r + g + b;
        }
    const double pixels = double(x.width()) * x.height();
    return {colour / pixels, kind / pixels, sum / (3 * pixels)};
}

// A model whose material takes its colour from an orange texture is drawn orange through the
// toon ramp, from the importer's reading of the texture to the picture: no blue, green about
// half of red, wherever the model shows.
TEST_F(Tool, RenderDrawsATexturedModelInItsTexturesColour) {
    QImage orange(4, 4, QImage::Format_RGB32);
    orange.fill(qRgb(255, 128, 0));
    ASSERT_TRUE(orange.save(QString::fromStdString(path("orange.png"))));
    file("tetra.mtl", "newmtl m\nKd 1 1 1\nmap_Kd orange.png\n");
    const std::string model = file("tetra.obj", "mtllib tetra.mtl\nv 0 0 0\nv 2 0 0\nv 0 1 0\nv 0 0 -3\nvt 0 0\nvt 1 0\nvt 0 1\n"
                                              "usemtl m\nf 1/1 2/2 3/3\nf 1/1 4/3 2/2\nf 1/1 3/3 4/2\nf 2/2 4/3 3/1\n");
    run({"render", model, "--no-overlay", "--size", "200x150", "--yaw", "35", "-o", path("tetra.png")});
    const QImage drawn = picture(path("tetra.png"));
    int modelPixels = 0, orangePixels = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb p = drawn.pixel(x, y);
            if (kindOf(p) != Kind::Model) continue;
            ++modelPixels;
            orangePixels += qBlue(p) <= 2 && qGreen(p) >= 0.4 * qRed(p) && qGreen(p) <= 0.6 * qRed(p);
        }
    EXPECT_GT(modelPixels, 400);
    EXPECT_GE(orangePixels, 0.99 * modelPixels);
}

// Each format's frames are the still pictures of the same turns: exactly where the format keeps
// every colour (a GIF of frames of few colours, here without the overlay's smoothed text; a
// lossless WebP; PNG), closely in a lossy WebP.
TEST_F(Tool, RenderTurntableIsTheStillPicturesOfOneTurn) {
    const std::string box = kData + "doom5.x";
    auto render = [&](std::vector<std::string> args) {  // what follows the view takes its place
        args.insert(args.begin(), {"render", box, "--size", "160x120", "--pitch", "20", "--no-overlay"});
        return tool(args);
    };
    constexpr int kTurn = 8;
    std::vector<QImage> stills;
    for (int i = 0; i < kTurn; ++i) {
        ASSERT_EQ(render({"-o", path("still.png"), "--yaw", std::to_string(10 - 45 * i)}).status, 0);
        stills.push_back(picture(path("still.png")));
    }
    // Angles count modulo 360 (a turn from near the int32 limit stays in range); the
    // extensions in any case.
    const Outcome gif = render({"--turntable", "8", "--fps", "20", "--yaw", "2147483530", "--pitch", "380", "-o", path("spin.Gif")});
    ASSERT_EQ(gif.status, 0) << gif.err;
    EXPECT_TRUE(gif.out.ends_with("8 frames -> " + path("spin.Gif") + "\n")) << gif.out;
    const Outcome lossless = render({"--turntable", "8", "--yaw", "10", "-o", path("spin.webp")});
    const Outcome lossy = render({"--turntable", "8", "--yaw", "10", "--quality", "60", "-o", path("lossy.WEBP")});
    const Outcome sequence = render({"--turntable", "8", "--yaw", "10", "--out-dir", path("frames")});
    ASSERT_EQ(lossless.status + lossy.status + sequence.status, 0) << lossless.err << lossy.err;

    const Animation fromGif = readAnimation(path("spin.Gif")), fromWebp = readAnimation(path("spin.webp")),
                    fromLossy = readAnimation(path("lossy.WEBP"));
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
        EXPECT_LT(compare(fromLossy.frames[i], stills[i]).mean, 4.0);
        EXPECT_EQ(picture(path("frames/doom5-00" + std::to_string(i) + ".png")), stills[i]);
    }
    EXPECT_NE(stills[0], stills[1]);
}

// A picture, an animation or a frame of a sequence whose writing fails part way (here at a
// file size limit of 1 KiB) is reported as error 75 and leaves the file that had its name as
// it was, and nothing else.
TEST_F(Tool, AWriteThatFailsLeavesTheFileOfThatNameAsItWas) {
#ifdef __SANITIZE_THREAD__
    // Without the driver the thread stage preloads: ThreadSanitizer's runtime faults (SIGBUS)
    // under a file size limit as soon as a preloaded Mesa starts its LLVM. (The leak checker of
    // the other sanitizer stage needs the preload: it stays there.)
    const char* limited = "ulimit -f 1; trap '' XFSZ; unset LD_PRELOAD; exec \"$0\" \"$@\"";
#else
    const char* limited = "ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$@\"";
#endif
    const struct {
        std::vector<std::string> options;
        std::string file;
    } cases[] = {{{"-o", path("still.png")}, "still.png"},
                 {{"--turntable", "2", "-o", path("spin.gif")}, "spin.gif"},
                 {{"--turntable", "2", "--out-dir", path("frames")}, "frames/doom5-000.png"}};
    QDir(dir_.path()).mkdir(QStringLiteral("frames"));
    for (const auto& c : cases) {
        const std::string old = file(c.file.c_str(), "the picture drawn before");
        std::vector<std::string> args{"render", kData + "doom5.x"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Outcome run = tool(args, limited);
        EXPECT_EQ(run.status, 1) << c.file;
        EXPECT_NE(run.err.find("error 75: Path/File access error: cannot write " + old + ": File too large"), std::string::npos)
            << run.err;
        EXPECT_EQ(readAll(old), "the picture drawn before");
    }
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"spin.gif", "still.png"}));
    EXPECT_EQ(QDir(QString::fromStdString(path("frames"))).entryList(QDir::Files | QDir::Hidden), QStringList{"doom5-000.png"});
}

// The five models exported by `assimp export` to other formats and drawn by celshade-tool
// render must give the picture of the same model in .x: at most 1% of the pixels may differ
// by more than 8 levels in a channel (what differs below that comes from the bounding sphere,
// centred on the average vertex, which moves when identical vertices are joined).
//
// PLY and STL carry no materials: they are compared with the model drawn in the one material
// a file without any gets. STL carries no vertex normals either, only its facets' normals:
// the importer smooths the mesh itself, so its shading may differ in up to 2% of the pixels;
// its outline and coverage, which only positions and faces decide, still in 1% at most. As STL
// keeps every facet's corners apart, its vertex average, hence its bounding sphere and
// its size on screen, differ too: it is drawn at the scale of the .x picture.
//
// 3DS is left out: Assimp 5.2 writes the scene into it without turning it from y-up to the
// format's z-up, and reads it turning it back, so its round trip turns the model on its back.

const char* const kModels[] = {"doom1", "doom2", "doom3", "doom4", "doom5"};
constexpr float kInitialZoom = 11.0f;

// The standard output of a run that must succeed.
double boundingRadius(const std::string& model) {
    const QRegularExpressionMatch m = match(run({"info", model}), "radius ([0-9.e+-]+)");
    return m.hasMatch() ? m.captured(1).toDouble() : 0;
}

struct Format {
    const char* folder;
    const char* extension;
    bool oneMaterial;      // compared with the model in one material
    bool drawnAtXScale;    // drawn at the .x picture's scale
    double colourTolerance;
};

TEST(ToolRoundTrip, EveryExportedModelDrawsAsItsXPicture) {
    QTemporaryDir dir;
    const std::string out = dir.path().toStdString();
    std::vector<std::string> x{"render", "--out-dir", out + "/x"}, one{"render", "--out-dir", out + "/one-material"};
    for (const char* m : kModels) {
        x.push_back(CELSHADE_SOURCE_DIR "/data/" + std::string(m) + ".x");
        one.push_back(kRoundTrip + "/one-material/" + m + ".x");
    }
    run(x);
    run(one);

    const Format formats[] = {{"glb", "glb", false, false, 0.01}, {"obj", "obj", false, false, 0.01},
                              {"dae", "dae", false, false, 0.01}, {"fbx", "fbx", false, false, 0.01},
                              {"ply", "ply", true, false, 0.01},  {"stl", "stl", true, true, 0.02},
                              {"stlb", "stl", true, true, 0.02}};
    for (const Format& f : formats) {
        const std::string pictures = out + "/" + f.folder;
        std::filesystem::create_directories(pictures);
        std::vector<std::string> all{"render", "--out-dir", pictures};
        for (const char* m : kModels) {
            const std::string model = kRoundTrip + "/" + f.folder + "/" + m + "." + f.extension;
            if (!f.drawnAtXScale) {
                all.push_back(model);
                continue;
            }
            const double zoom = kInitialZoom * boundingRadius(model) / boundingRadius(kRoundTrip + "/one-material/" + m + ".x");
            run({"render", model, "--zoom", std::to_string(zoom), "-o", pictures + "/" + m + ".png"});
        }
        if (all.size() > 3) run(all);
        for (const char* m : kModels) {
            const std::string reference = out + (f.oneMaterial ? "/one-material/" : "/x/") + m + ".png";
            const Difference d = compare(picture(reference), picture(pictures + "/" + m + ".png"));
            EXPECT_LE(d.colour, f.colourTolerance) << f.folder << " " << m;
            EXPECT_LE(d.kind, 0.01) << f.folder << " " << m;
        }
    }
}

// info says what a file was read as, and counts what the .x file has.
TEST(ToolRoundTrip, InfoNamesTheFormatItRead) {
    const std::pair<const char*, const char*> formats[] = {
        {"glb/doom5.glb", "glTF2 Importer"},  {"obj/doom5.obj", "Wavefront Object Importer"},
        {"dae/doom5.dae", "Collada Importer"}, {"fbx/doom5.fbx", "Autodesk FBX Importer"},
        {"3ds/doom5.3ds", "Discreet 3DS Importer"}, {"stlb/doom5.stl", "Stereolithography (STL) Importer"}};
    for (const auto& [file, format] : formats) {
        const std::string info = run({"info", kRoundTrip + "/" + file});
        EXPECT_NE(info.find(std::string("format: ") + format + " (imported)"), std::string::npos) << info;
        EXPECT_NE(info.find("faces: 564"), std::string::npos) << info;
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // for the image readers' plugins
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
