// A 36-frame turntable GIF of the rose at the program's frame size (574 × 441, overlay
// included), as `celshade-tool render doom3.x --turntable 36 -o rose.gif` makes it, in parts:
//  - Frames: the 36 frames drawn through the frame recipe on the off-screen device and read back;
//  - Quantizing: the colour tables of the 36 frames (each its rectangle that changed);
//  - Gif: the whole GIF from the frames read back, its colour tables included (encoding alone
//    is this less Quantizing);
// and Whole: the tool itself in a process of its own, from start to the file written.
#include <benchmark/benchmark.h>

#include <QFont>
#include <QGuiApplication>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "animation/Palette.h"
#include "animation/Writers.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "scene/FrameRecipe.h"

namespace {

constexpr int kFrames = 36;
const std::string kRose = CELSHADE_SOURCE_DIR "/data/doom3.x";
const std::string kGif = (std::filesystem::temp_directory_path() / "celshade-bench-rose.gif").string();

recipe::Scene& roseScene() {
    static recipe::Scene* scene = [] {
        static int argc = 1;
        static char name[] = "turntable_bench";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QGuiApplication(argc, argv);
        Mdx8::setDataDirectory(CELSHADE_SOURCE_DIR "/data");
        Mdx8::initDevice(recipe::kFrameWidth, recipe::kFrameHeight, D3DFMT_X8R8G8B8, nullptr, false, 1, true);
        Mdx8::initScene();
        auto* s = new recipe::Scene;
        s->zoom = recipe::kInitialZoom;
        s->overlayFont = Mdx8::makeFont(QGuiApplication::font());
        recipe::bindRampTexture(*s);
        recipe::setUpScene(*s, kRose);
        recipe::drawFrame(Mdx8::device(), *s);  // the first frame culls; the steady ones do not
        return s;
    }();
    return *scene;
}

std::vector<BackBufferImage> drawTurn() {
    recipe::Scene& scene = roseScene();
    std::vector<BackBufferImage> frames;
    for (int i = 0; i < kFrames; ++i) {
        scene.yaw = -static_cast<int32_t>(std::lround(360.0 * i / kFrames));
        recipe::drawFrame(Mdx8::device(), scene);
        frames.push_back(Mdx8::device().readBackBuffer());
    }
    return frames;
}

const std::vector<BackBufferImage>& turn() {
    static const std::vector<BackBufferImage> frames = drawTurn();
    return frames;
}

void BM_Frames(benchmark::State& state) {
    roseScene();
    for (auto _ : state) benchmark::DoNotOptimize(drawTurn());
}

void BM_Quantizing(benchmark::State& state) {
    const std::vector<BackBufferImage>& frames = turn();
    const uint32_t w = frames[0].width, h = frames[0].height;
    for (auto _ : state) {
        animation::FramePalettes palettes;
        for (size_t i = 0; i < frames.size(); ++i) {
            const uint32_t* now = frames[i].pixels.data();
            const animation::Region region = i == 0 ? animation::Region{now, w, 0, 0, w, h}
                                                    : animation::changedRegion(now, frames[i - 1].pixels.data(), w, h);
            benchmark::DoNotOptimize(palettes.index(region));
        }
    }
}

void BM_Gif(benchmark::State& state) {
    const std::vector<BackBufferImage>& frames = turn();
    for (auto _ : state) {
        const auto sink = animation::gifWriter(kGif, {frames[0].width, frames[0].height, 25});
        for (const BackBufferImage& frame : frames) sink->add(frame.pixels.data());
        sink->finish();
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(kGif));
}

void BM_Whole(benchmark::State& state) {
    const std::string command = std::string(CELSHADE_RUNTIME_DIR "/celshade-tool render ") + kRose +
                                " --turntable 36 -o " + kGif + " >/dev/null 2>&1";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("celshade-tool failed");
}

BENCHMARK(BM_Frames)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Quantizing)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gif)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Whole)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
