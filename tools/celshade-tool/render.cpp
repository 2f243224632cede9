// celshade-tool render MODEL... [options]: the program's frame for each model, drawn through
// the frame recipe on an off-screen device with no display, written as a PNG; or, with
// --turntable, the model turning once as a GIF, an animated WebP or a PNG sequence. The
// defaults are what the program shows after STAR: 574 × 441, the initial zoom and angles,
// threshold 0.5, the overlay, and a steady frame (the first frame of a device culls back
// faces; the pictures are taken after it). The options are in DeviceCommands.h.

#include <QFont>
#include <QGuiApplication>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Command.h"
#include "DeviceCommands.h"
#include "PngFrames.h"
#include "TimeLimit.h"
#include "animation/Writers.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3d8/Resources.h"
#include "d3dsupport/Mdx8.h"
#include "edges/Module1.h"
#include "scene/FrameRecipe.h"
#include "runtime/Error.h"

namespace {

struct Options {
    std::vector<std::string> models;
    std::optional<std::string> out;
    std::optional<std::string> outDir;
    int32_t width = recipe::kFrameWidth;
    int32_t height = recipe::kFrameHeight;
    int32_t yaw = 0;
    int32_t pitch = 0;
    float zoom = recipe::kInitialZoom;
    float threshold = Module1::threshold;
    bool overlay = true;
    int32_t frames = 1;
    int32_t turntable = 0;  // frames of one turn; 0: a still picture
    int32_t fps = 25;
    std::optional<float> quality;
    std::optional<std::chrono::milliseconds> timeLimit;
};

constexpr int32_t kDefaultTurntableFrames = 36;

enum class Output { Png, Gif, Webp, PngSequence };

// Whether `path` ends in `extension` (lower case), whatever the case of its letters.
bool hasExtension(const std::string& path, const char* extension) {
    const std::string e(extension);
    if (path.size() < e.size()) return false;
    for (size_t i = 0; i < e.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(path[path.size() - e.size() + i])) != e[i]) return false;
    return true;
}

Output outputOf(const Options& o) {
    if (o.turntable == 0) return Output::Png;
    if (o.outDir) return Output::PngSequence;
    return o.out && hasExtension(*o.out, ".webp") ? Output::Webp : Output::Gif;
}

// A whole number, in decimal, that fits 64 bits.
bool parseWhole(const std::string& text, long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return end != text.c_str() && *end == '\0' && errno == 0;
}

bool parseInt(const std::string& text, int64_t low, int64_t high, int32_t& value) {
    long long v = 0;
    if (!parseWhole(text, v) || v < low || v > high) return false;
    value = static_cast<int32_t>(v);
    return true;
}

// Whole degrees, taken modulo 360 (keeping their sign, so that every angle the program itself
// can reach stays as it is): 370 is 10, and a turn's arithmetic never leaves the int32 range.
bool parseAngle(const std::string& text, int32_t& degrees) {
    long long v = 0;
    if (!parseWhole(text, v)) return false;
    degrees = static_cast<int32_t>(v % 360);
    return true;
}

bool parseFloat(const std::string& text, float& value) {
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool parseQuality(const std::string& text, std::optional<float>& quality) {
    float q = 0;
    if (!parseFloat(text, q) || q < 0 || q > 100) return false;
    quality = q;
    return true;
}

bool parseSize(const std::string& text, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    // The device's largest back buffer.
    return parseInt(text.substr(0, x), 1, kMaxSurfaceSide, width) &&
           parseInt(text.substr(x + 1), 1, kMaxSurfaceSide, height);
}

// Why the command line is wrong, or nothing when it is right.
std::optional<std::string> parseOptions(const std::vector<std::string>& args, Options& o) {
    bool framesGiven = false, fpsGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            o.models.insert(o.models.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        }
        if (a == "--no-overlay") {
            o.overlay = false;
            continue;
        }
        if (a == "--turntable") {
            // The number of frames may follow; without it a turn takes 36. A number there is
            // always the count (a model named like one goes after --, or as ./400).
            o.turntable = kDefaultTurntableFrames;
            float number = 0;
            if (i + 1 < args.size() && parseFloat(args[i + 1], number)) {
                if (!parseInt(args[++i], 1, 360, o.turntable)) return "--turntable takes 1 to 360 frames, not " + args[i];
            }
            continue;
        }
        if (a.rfind("-", 0) != 0) {
            o.models.push_back(a);
            continue;
        }
        if (i + 1 >= args.size()) return a + " needs a value";
        const std::string& v = args[++i];
        bool ok = true;
        if (a == "-o") o.out = v;
        else if (a == "--out-dir") o.outDir = v;
        else if (a == "--size") ok = parseSize(v, o.width, o.height);
        else if (a == "--yaw") ok = parseAngle(v, o.yaw);
        else if (a == "--pitch") ok = parseAngle(v, o.pitch);
        else if (a == "--zoom") ok = parseFloat(v, o.zoom) && o.zoom > 0;
        else if (a == "--threshold") ok = parseFloat(v, o.threshold);
        else if (a == "--frames") ok = (framesGiven = parseInt(v, 1, 1000000, o.frames));
        else if (a == "--fps") ok = (fpsGiven = parseInt(v, 1, 50, o.fps));
        else if (a == "--quality") ok = parseQuality(v, o.quality);
        else if (a == kTimeLimitOption) ok = (o.timeLimit = parseTimeLimit(v)).has_value();
        else return "unknown option " + a;
        if (!ok) return "bad value for " + a + ": " + v;
    }
    if (o.models.empty()) return "no model given";
    if (o.out && o.outDir) return "-o and --out-dir exclude each other";
    if (o.out && o.models.size() > 1) return "-o names one output; use --out-dir for several models";
    if (o.turntable == 0 && (fpsGiven || o.quality)) return "--fps and --quality go with --turntable";
    if (o.turntable != 0 && framesGiven) return "--frames times still pictures, not a turntable";
    if (o.turntable != 0 && o.out && !hasExtension(*o.out, ".gif") && !hasExtension(*o.out, ".webp"))
        return "a turntable goes to a .gif or .webp file, or with --out-dir to PNG frames";
    if (o.quality && outputOf(o) != Output::Webp) return "--quality is for a .webp turntable";
    if (outputOf(o) == Output::Webp && std::max(o.width, o.height) > int32_t(animation::kWebpMaxSide))
        return "a WebP is at most " + std::to_string(animation::kWebpMaxSide) + " pixels a side";
    return std::nullopt;
}

// The file (or, for a PNG sequence, the prefix of the files) a model's output goes to.
std::string outputFor(const Options& o, const std::string& model) {
    if (o.out) return *o.out;
    const std::string stem = std::filesystem::path(model).stem().string();
    const Output kind = outputOf(o);
    const std::string name = kind == Output::PngSequence ? stem + "-" : stem + (kind == Output::Gif ? ".gif" : ".png");
    return o.outDir ? (std::filesystem::path(*o.outDir) / name).string() : name;
}

void writeFrame(const BackBufferImage& frame, const std::string& path) {
    writePng(path, frame.width, frame.height, frame.pixels.data());
}

struct FrameTimes {
    double median = 0;
    double minimum = 0;
};

// The first frame of a scene is drawn and not counted; then `frames` frames are timed.
FrameTimes drawSteadyFrames(recipe::Scene& scene, int32_t frames) {
    Direct3DDevice8& device = Mdx8::device();
    recipe::drawFrame(device, scene);
    std::vector<double> ms;
    for (int32_t i = 0; i < frames; ++i) {
        const auto start = std::chrono::steady_clock::now();
        recipe::drawFrame(device, scene);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

void renderStill(const Options& o, recipe::Scene& scene, const std::string& model) {
    const FrameTimes times = drawSteadyFrames(scene, o.frames);
    const std::string picture = outputFor(o, model);
    writeFrame(Mdx8::device().readBackBuffer(), picture);
    std::printf("%s: %d faces, %zu ranges -> %s", model.c_str(), Mdx8::sceneMesh.numFaces,
                Mdx8::sceneMesh.attribRanges.size(), picture.c_str());
    if (o.frames > 1) std::printf("; %d frames, median %.2f ms, minimum %.2f ms", o.frames, times.median, times.minimum);
    std::printf("\n");
}

std::unique_ptr<animation::FrameSink> turntableSink(const Options& o, const std::string& output) {
    const animation::FrameFormat format{uint32_t(o.width), uint32_t(o.height), o.fps};
    switch (outputOf(o)) {
    case Output::Webp: return animation::webpWriter(output, format, o.quality);
    case Output::PngSequence: return pngSequenceWriter(output, format, o.turntable);
    default: return animation::gifWriter(output, format);
    }
}

// One whole turn about the vertical axis, from the given yaw on, the way a steady drag to the
// right turns the model. Angles are whole degrees, as the window's are.
void renderTurntable(const Options& o, recipe::Scene& scene, const std::string& model) {
    const std::string output = outputFor(o, model);
    const std::unique_ptr<animation::FrameSink> sink = turntableSink(o, output);
    Direct3DDevice8& device = Mdx8::device();
    recipe::drawFrame(device, scene);
    for (int32_t i = 0; i < o.turntable; ++i) {
        scene.yaw = o.yaw - int32_t(std::lround(360.0 * i / o.turntable));
        recipe::drawFrame(device, scene);
        sink->add(device.readBackBuffer().pixels.data());
    }
    scene.yaw = o.yaw;
    sink->finish();
    const std::string shown = outputOf(o) == Output::PngSequence
                                  ? pngSequenceName(output, o.turntable, 0) + " .. " +
                                        pngSequenceName(output, o.turntable, o.turntable - 1)
                                  : output;
    std::printf("%s: %d faces, %zu ranges, %d frames -> %s\n", model.c_str(), Mdx8::sceneMesh.numFaces,
                Mdx8::sceneMesh.attribRanges.size(), o.turntable, shown.c_str());
}

void renderModel(const Options& o, recipe::Scene& scene, const std::string& model) {
    recipe::setUpScene(scene, std::filesystem::absolute(model).string());
    if (o.turntable != 0) {
        renderTurntable(o, scene, model);
    } else {
        renderStill(o, scene, model);
    }
}

// An error leaves the model; the next one starts from a device outside any scene.
void reportFailure(const std::string& model, int32_t number, const std::string& text) {
    std::fprintf(stderr, "%s: error %d: %s\n", model.c_str(), number, text.c_str());
    try {
        Mdx8::device().EndScene();
    } catch (const rt::Error&) {
    }
}

int run(const std::vector<std::string>& args) {
    Options o;
    if (const std::optional<std::string> wrong = parseOptions(args, o)) return usageError("render", *wrong);
    if (o.timeLimit) setImportTimeLimit(*o.timeLimit);
    // Fonts need a GUI application; the off-screen platform gives the program's default
    // font without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "celshade-tool";
    static char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    if (o.outDir) std::filesystem::create_directories(*o.outDir);

    // The one device of the process, without a window: full-screen with no window is off-screen.
    Mdx8::initDevice(o.width, o.height, D3DFMT_X8R8G8B8, nullptr, false, 1, true);
    Mdx8::initScene();
    recipe::Scene scene;
    scene.zoom = o.zoom;
    scene.yaw = o.yaw;
    scene.pitch = o.pitch;
    Module1::threshold = o.threshold;
    if (o.overlay) scene.overlayFont = Mdx8::makeFont(QGuiApplication::font());
    recipe::bindRampTexture(scene);

    int status = 0;
    std::set<std::string> drawn;  // pictures this run has written
    for (const std::string& model : o.models) {
        try {
            // Models of one name from different folders would share a picture: the first keeps it.
            const std::string output = outputFor(o, model);
            if (drawn.count(output) != 0)
                rt::raiseRuntime(rt::errc::PathFileAccess, "would overwrite " + output + ", drawn earlier in this run");
            renderModel(o, scene, model);
            drawn.insert(output);
        } catch (const rt::Error& e) {
            reportFailure(model, e.number(), e.text());
            status = 1;
        } catch (const std::bad_alloc&) {
            reportFailure(model, rt::errc::OutOfMemory, std::string(rt::runtimeErrorText(rt::errc::OutOfMemory)));
            status = 1;
        }
    }
    scene = {};
    Mdx8::shutdown(false);  // the device's context goes before the application's
    return status;
}

const Command kCommand{"render", kRenderSynopsis, kRenderHelp, &run};

}  // namespace
