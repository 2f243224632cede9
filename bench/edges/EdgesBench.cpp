// Edge-list build time: warm on height-field grids of four ranges that share their vertices,
// against the plain scan of every face of a range; the event step the scene's build takes
// once per face; and the build as the program runs it, loaded from a file of 80,000 faces in
// four ranges with the real event step: cold (the first build in a fresh process, which this
// program starts as a child of itself for each measurement) and warm.

#include <QApplication>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "EdgeTestMeshes.h"
#include "Primitives.h"
#include "XWriter.h"
#include "d3dsupport/Mdx8.h"
#include "edges/EdgeStages.h"
#include "edges/Module1.h"
#include "scene/FrameRecipe.h"
#include "runtime/Events.h"
#include "ui/ErrorReport.h"

namespace {

constexpr const char* kColdBuildFlag = "--cold-build";

// A grid of quads x quads cells under `ranges` ranges: 2 x quads^2 x ranges faces.
struct Grid {
    std::shared_ptr<D3DXMesh> mesh;
    std::vector<D3DXATTRIBUTERANGE> ranges;
    explicit Grid(const benchmark::State& state) {
        mesh = edgetest::gridMesh(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)), ranges);
    }
};

// The program's event step: Qt's, on the X display when there is one.
QApplication& application() {
    static int argc = 1;
    static char name[] = "edges_bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    ui::installQtEventProcessing();
    return app;
}

void setFaceCounters(benchmark::State& state, double faces) {
    state.counters["faces"] = faces;
    state.counters["ns_per_face"] =
        benchmark::Counter(faces * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetComplexityN(static_cast<int64_t>(faces));
}

void BM_BuildEdges(benchmark::State& state) {
    const Grid grid(state);
    const Module1::YieldFn noYield = [] {};
    for (auto _ : state) benchmark::DoNotOptimize(Module1::buildEdges(*grid.mesh, grid.ranges, 0.5f, noYield));
    setFaceCounters(state, grid.mesh->GetNumFaces());
}
// About 1k, 10k, 80k and 200k faces in four ranges, and 80k faces in one range.
BENCHMARK(BM_BuildEdges)
    ->Args({11, 4})->Args({35, 4})->Args({100, 4})->Args({158, 4})->Args({200, 1})
    ->Unit(benchmark::kMillisecond);

// A bumpy torus of side x side vertices and twice as many faces, with 32-bit indices: the
// shape of a scan of millions of faces, one range.
std::shared_ptr<D3DXMesh> torusMesh(uint32_t side) {
    const uint32_t vertices = side * side, faces = 2 * vertices;
    auto mesh = std::make_shared<D3DXMesh>(faces, vertices, D3DXMESH_MANAGED | D3DXMESH_32BIT, 274, nullptr);
    std::vector<std::byte> bytes(size_t{vertices} * 32);
    for (uint32_t i = 0; i < side; ++i)
        for (uint32_t j = 0; j < side; ++j) {
            const double u = 6.283185307 * i / side, v = 6.283185307 * j / side;
            const double r = 1 + 0.08 * std::sin(17 * u) * std::sin(11 * v);
            const float p[3] = {float((3 + r * std::cos(v)) * std::cos(u)), float(r * std::sin(v)),
                                float((3 + r * std::cos(v)) * std::sin(u))};
            std::memcpy(&bytes[(size_t{i} * side + j) * 32], p, sizeof p);
        }
    mesh->GetVertexBuffer()->write(0, bytes);
    std::vector<uint32_t> corners;
    corners.reserve(size_t{faces} * 3);
    for (uint32_t i = 0; i < side; ++i)
        for (uint32_t j = 0; j < side; ++j) {
            const uint32_t a = i * side + j, b = (i + 1) % side * side + j, c = (i + 1) % side * side + (j + 1) % side,
                           d = i * side + (j + 1) % side;
            corners.insert(corners.end(), {a, b, c, a, c, d});
        }
    mesh->setIndices(corners);
    return mesh;
}

// Half a million and two million faces in one range, spread as the program spreads a build,
// and all on the calling thread.
void BM_BuildEdgesLarge(benchmark::State& state) {
    const auto mesh = torusMesh(static_cast<uint32_t>(state.range(0)));
    const std::vector<D3DXATTRIBUTERANGE> ranges = {{0, 0, mesh->GetNumFaces(), 0, mesh->GetNumVertices()}};
    Module1::detail::Spread spread;
    if (state.range(1) == 0) spread.threadedFaces = spread.spreadVertices = spread.spreadFaces = UINT32_MAX;
    for (auto _ : state) benchmark::DoNotOptimize(Module1::detail::buildEdges(*mesh, ranges, 0.5f, [] {}, spread));
    setFaceCounters(state, mesh->GetNumFaces());
}
BENCHMARK(BM_BuildEdgesLarge)->ArgsProduct({{100, 200, 500, 1000}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainScan(benchmark::State& state) {
    const Grid grid(state);
    int32_t progress = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(edgetest::scanEdges(*grid.mesh, grid.ranges, 0.5f, [] {}, progress));
    setFaceCounters(state, grid.mesh->GetNumFaces());
}
// Quadratic in the range size: the oNSquared rows fit the coefficient that extrapolates to
// 80k faces, separately for four ranges and for one.
BENCHMARK(BM_PlainScan)
    ->Args({11, 4})->Args({16, 4})->Args({23, 4})->Args({35, 4})->Args({50, 4})
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNSquared);
BENCHMARK(BM_PlainScan)
    ->Name("BM_PlainScanOneRange")->Args({16, 1})->Args({23, 1})->Args({35, 1})->Args({50, 1})
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNSquared);

// One face's yield in the scene's build, with nothing pending: what the event step adds per face.
void BM_EventStepPerFace(benchmark::State& state) {
    application();
    rt::PacedEventStep step;
    for (auto _ : state) step();
}
BENCHMARK(BM_EventStepPerFace)->Unit(benchmark::kNanosecond);

// A trip through Qt's event loop with nothing pending: what a yield on every face would cost.
void BM_QtProcessEvents(benchmark::State& state) {
    application();
    for (auto _ : state) QCoreApplication::processEvents();
}
BENCHMARK(BM_QtProcessEvents)->Unit(benchmark::kNanosecond);

// The model of the cold and warm builds: four balls of 100 x 101 segments, 79,600 faces in four
// attribute ranges, written into the temporary folder.
std::string ballsModel() {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "celshade-edges-bench-balls.x";
    std::vector<datagen::Material> materials;
    for (int i = 0; i < 4; ++i) materials.push_back(datagen::makeMaterial(0.2f * i, 0.5f, 0.8f, 8, 0.2f));
    datagen::ModelBuilder builder("Balls", materials);
    for (uint32_t i = 0; i < 4; ++i)
        builder.add("ball" + std::to_string(i), datagen::sphere(10.0, 100, 101),
                    datagen::Affine::translate({25.0 * i, 0, 0}), i);
    const std::vector<uint8_t> bytes = datagen::writeX(builder.finish(), datagen::XEncoding::Binary);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

// Wall and CPU milliseconds of one scene build (on a busy machine the wall time includes waits
// for a core; the CPU time does not).
struct BuildTime {
    double wall = 0, cpu = 0;
};

double cpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

BuildTime timeBuild(const D3DXMesh& mesh) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuMilliseconds();
    benchmark::DoNotOptimize(Module1::buildEdges(mesh, Mdx8::sceneMesh.attribRanges));
    return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
            cpuMilliseconds() - cpuStart};
}

// The child: load as scene setup does, then the scene's build twice; prints both times. In the
// program the event loop has run before the first setup (the dialog was shown and clicked),
// so what Qt does on its first events is done here before anything is timed.
int coldBuildChild(const char* modelPath) {
    application();
    QCoreApplication::processEvents();
    recipe::loadModel(modelPath);
    const BuildTime cold = timeBuild(*Mdx8::sceneMesh.mesh);
    const BuildTime warm = timeBuild(*Mdx8::sceneMesh.mesh);
    std::printf("%d %.4f %.4f %.4f %.4f\n", Mdx8::sceneMesh.numFaces, cold.wall, cold.cpu, warm.wall, warm.cpu);
    return 0;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

void BM_SceneBuild(benchmark::State& state, bool cold) {
    static const std::string model = ballsModel();
    const std::string command =
        "/proc/" + std::to_string(getpid()) + "/exe " + kColdBuildFlag + " '" + model + "' 2>/dev/null";
    int faces = 0;
    std::vector<double> walls, cpus;
    for (auto _ : state) {
        FILE* child = popen(command.c_str(), "r");
        BuildTime first, second;
        const bool read = child != nullptr && std::fscanf(child, "%d %lf %lf %lf %lf", &faces, &first.wall, &first.cpu,
                                                          &second.wall, &second.cpu) == 5;
        if (child != nullptr) pclose(child);
        if (!read) {
            state.SkipWithError("the child build printed no times");
            return;
        }
        const BuildTime& t = cold ? first : second;
        state.SetIterationTime(t.wall / 1e3);
        walls.push_back(t.wall);
        cpus.push_back(t.cpu);
    }
    setFaceCounters(state, faces);
    // Medians: on a virtual machine a fresh page now and then costs the host a fault of its own.
    state.counters["median_ms"] = median(walls);
    state.counters["median_cpu_ms"] = median(cpus);
}
BENCHMARK_CAPTURE(BM_SceneBuild, cold, true)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SceneBuild, warm, false)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kColdBuildFlag) == 0) return coldBuildChild(argv[2]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
