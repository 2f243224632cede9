// One pass of the main loop (both passes, overlay, present, event step) for each model, and
// the time from the first press of STAR to the first frame for the largest model.
// Needs an X display: run under xvfb-run.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <string>

#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "render/Form1.h"
#include "runtime/Events.h"
#include "ui/ErrorReport.h"

namespace {

const char* const kModels[] = {"\\doom1.x", "\\doom2.x", "\\doom3.x", "\\doom4.x", "\\doom5.x"};
constexpr const char* kLargestModel = "\\doom3.x";

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void mainLoopPass(benchmark::State& state, const char* model) {
    Form1& form = Form1::instance();
    Mdx8::modelFile = model;
    form.STAR();
    for (auto _ : state) {
        form.drawFrame();
        rt::processPendingEvents();
    }
    state.counters["faces"] = Mdx8::sceneMesh.numFaces;
    state.counters["lines"] = static_cast<double>(form.edgeList.size() / 2);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("render_bench needs an X display (run it under xvfb-run -a)");
        return 0;
    }
    QGuiApplication app(argc, argv);
    ui::installQtEventProcessing();
    Mdx8::setDataDirectory(CELSHADE_SOURCE_DIR "/data");
    Form1& form = Form1::instance();
    form.presentImmediately = true;  // measure the frame, not the display's refresh

    // The first press: device, scene setup of the largest model, ramp, first frame.
    Mdx8::modelFile = kLargestModel;
    const auto start = std::chrono::steady_clock::now();
    form.loadWithoutLoop();
    form.drawFrame();
    const double firstFrame = secondsSince(start);
    const auto again = std::chrono::steady_clock::now();
    form.STAR();
    form.drawFrame();
    const double laterFrame = secondsSince(again);
    std::printf("first STAR to first frame (%s, %d faces): %.1f ms; a later STAR to its first frame: %.1f ms\n",
                kLargestModel + 1, Mdx8::sceneMesh.numFaces, firstFrame * 1e3, laterFrame * 1e3);

    for (const char* model : kModels)
        benchmark::RegisterBenchmark((std::string("MainLoopPass/") + (model + 1)).c_str(), mainLoopPass, model)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::fflush(nullptr);
    std::_Exit(0);  // the window and device go with the process, as in the program
}
