// celshade-tool render MODEL.x... [-o FILE.png | --out-dir DIR] [--size WxH] [--yaw DEG]
// [--pitch DEG] [--zoom Z] [--threshold T] [--no-overlay] [--frames N]: the program's frame
// for each model, drawn through the frame recipe on an off-screen device with no display,
// and written as a PNG. The defaults are what the program shows after STAR: 574 × 441, the
// initial zoom and angles, threshold 0.5, the overlay, and a steady frame (the first frame
// of a device culls back faces; the picture is taken after it).

#include <QFont>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Command.h"
#include "DeviceCommands.h"
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
};

bool parseInt(const std::string& text, int64_t low, int64_t high, int32_t& value) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno != 0 || v < low || v > high) return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool parseFloat(const std::string& text, float& value) {
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    value = v;
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
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--no-overlay") {
            o.overlay = false;
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
        else if (a == "--yaw") ok = parseInt(v, INT32_MIN, INT32_MAX, o.yaw);
        else if (a == "--pitch") ok = parseInt(v, INT32_MIN, INT32_MAX, o.pitch);
        else if (a == "--zoom") ok = parseFloat(v, o.zoom) && o.zoom > 0;
        else if (a == "--threshold") ok = parseFloat(v, o.threshold);
        else if (a == "--frames") ok = parseInt(v, 1, 1000000, o.frames);
        else return "unknown option " + a;
        if (!ok) return "bad value for " + a + ": " + v;
    }
    if (o.models.empty()) return "no model given";
    if (o.out && o.outDir) return "-o and --out-dir exclude each other";
    if (o.out && o.models.size() > 1) return "-o names one picture; use --out-dir for several models";
    return std::nullopt;
}

std::string pictureFor(const Options& o, const std::string& model) {
    if (o.out) return *o.out;
    const std::filesystem::path name = std::filesystem::path(model).stem().string() + ".png";
    return o.outDir ? (std::filesystem::path(*o.outDir) / name).string() : name.string();
}

void writePng(const BackBufferImage& frame, const std::string& path) {
    QImage image(static_cast<int>(frame.width), static_cast<int>(frame.height), QImage::Format_RGB32);
    for (uint32_t y = 0; y < frame.height; ++y)
        std::memcpy(image.scanLine(static_cast<int>(y)), &frame.pixels[std::size_t{y} * frame.width], frame.width * 4u);
    if (!image.save(QString::fromStdString(path), "PNG"))
        rt::raiseRuntime(rt::errc::PathFileAccess, "cannot write " + path);
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

void renderModel(const Options& o, recipe::Scene& scene, const std::string& model) {
    recipe::setUpScene(scene, std::filesystem::absolute(model).string());
    const FrameTimes times = drawSteadyFrames(scene, o.frames);
    const std::string picture = pictureFor(o, model);
    writePng(Mdx8::device().readBackBuffer(), picture);
    std::printf("%s: %d faces, %zu ranges -> %s", model.c_str(), Mdx8::sceneMesh.numFaces,
                Mdx8::sceneMesh.attribRanges.size(), picture.c_str());
    if (o.frames > 1) std::printf("; %d frames, median %.2f ms, minimum %.2f ms", o.frames, times.median, times.minimum);
    std::printf("\n");
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
    if (const std::optional<std::string> wrong = parseOptions(args, o)) {
        std::fprintf(stderr,
                     "celshade-tool render: %s\nusage: celshade-tool render MODEL.x... [-o FILE.png | --out-dir DIR] "
                     "[--size WxH] [--yaw DEG] [--pitch DEG] [--zoom Z] [--threshold T] [--no-overlay] [--frames N]\n",
                     wrong->c_str());
        return 2;
    }
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
            const std::string picture = pictureFor(o, model);
            if (drawn.count(picture) != 0)
                rt::raiseRuntime(rt::errc::PathFileAccess, "would overwrite " + picture + ", drawn earlier in this run");
            renderModel(o, scene, model);
            drawn.insert(picture);
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

const Command kCommand{"render", kRenderUsage, &run};

}  // namespace
