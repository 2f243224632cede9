// Edge-list build time on height-field grids of four ranges that share their vertices,
// against the plain scan of every face of a range, and the cost of one real yield.

#include <QApplication>

#include <benchmark/benchmark.h>

#include "EdgeTestMeshes.h"
#include "d3dsupport/Mdx8.h"
#include "edges/Module1.h"
#include "runtime/Events.h"

namespace {

// A grid of quads x quads cells under `ranges` ranges: 2 x quads^2 x ranges faces.
struct Grid {
    std::shared_ptr<D3DXMesh> mesh;
    std::vector<D3DXATTRIBUTERANGE> ranges;
    explicit Grid(const benchmark::State& state) {
        mesh = edgetest::gridMesh(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)), ranges);
    }
};

QApplication& idleApplication() {
    static int argc = 1;
    static char name[] = "edges_bench";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

void setFaceCounters(benchmark::State& state, const Grid& grid) {
    const double faces = grid.mesh->GetNumFaces();
    state.counters["faces"] = faces;
    state.counters["ns_per_face"] =
        benchmark::Counter(faces * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetComplexityN(static_cast<int64_t>(faces));
}

void BM_BuildEdges(benchmark::State& state) {
    const Grid grid(state);
    const Module1::YieldFn noYield = [] {};
    for (auto _ : state) benchmark::DoNotOptimize(Module1::buildEdges(*grid.mesh, grid.ranges, 0.5f, noYield));
    setFaceCounters(state, grid);
}
// About 1k, 10k, 80k and 200k faces in four ranges, and 80k faces in one range.
BENCHMARK(BM_BuildEdges)
    ->Args({11, 4})->Args({35, 4})->Args({100, 4})->Args({158, 4})->Args({200, 1})
    ->Unit(benchmark::kMillisecond);

void BM_PlainScan(benchmark::State& state) {
    const Grid grid(state);
    int32_t progress = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(edgetest::scanEdges(*grid.mesh, grid.ranges, 0.5f, [] {}, progress));
    setFaceCounters(state, grid);
}
// Quadratic in the range size: the oNSquared rows fit the coefficient that extrapolates to
// 80k faces, separately for four ranges and for one.
BENCHMARK(BM_PlainScan)
    ->Args({11, 4})->Args({16, 4})->Args({23, 4})->Args({35, 4})->Args({50, 4})
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNSquared);
BENCHMARK(BM_PlainScan)
    ->Name("BM_PlainScanOneRange")->Args({16, 1})->Args({23, 1})->Args({35, 1})->Args({50, 1})
    ->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNSquared);

void BM_IdleEventYield(benchmark::State& state) {
    idleApplication();
    for (auto _ : state) QCoreApplication::processEvents();
}
BENCHMARK(BM_IdleEventYield)->Unit(benchmark::kNanosecond);

void BM_BuildEdgesWithIdleEventYield(benchmark::State& state) {
    idleApplication();
    const Grid grid(state);
    const auto previous = rt::setPendingEventProcessor([] { QCoreApplication::processEvents(); });
    // The program's own path: the scene's table, the dialog's threshold, the real yield.
    Mdx8::sceneMesh.attribRanges = grid.ranges;
    Module1::threshold = 0.5f;
    for (auto _ : state) benchmark::DoNotOptimize(Module1::buildEdges(*grid.mesh));
    rt::setPendingEventProcessor(previous);
    setFaceCounters(state, grid);
}
BENCHMARK(BM_BuildEdgesWithIdleEventYield)->Args({100, 4})->Unit(benchmark::kMillisecond);

}  // namespace
