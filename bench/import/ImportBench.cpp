// The handover of the rose exported to glTF: what it costs between the child's finished mesh
// and the parent's checked one, each step alone (the child's encoding, the pipe, the parent's
// checks), and then the program's mesh built from it. The whole import, child process and
// Assimp included, is what bench/import/compare-import measures against `assimp info`.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <thread>

#include "d3dx8/MeshLoader.h"
#include "d3dx8/ModelFile.h"
#include "import/Handover.h"
#include "import/ImportProcess.h"

namespace {

const std::string kRose = CELSHADE_BENCH_MODELS "/rose.glb";

const modelimport::ImportedMesh& rose() {
    static const modelimport::ImportedMesh mesh = [] {
        modelimport::childSettings().program = CELSHADE_RUNTIME_DIR "/celshade-import";
        return modelimport::importModel(kRose);
    }();
    return mesh;
}

void counters(benchmark::State& state, size_t bytes) {
    state.counters["vertices"] = double(rose().positions.size());
    state.counters["faces"] = double(rose().faceCount());
    state.counters["MB"] = double(bytes) / (1 << 20);
}

void BM_Encode(benchmark::State& state) {
    size_t size = 0;
    for (auto _ : state) size = modelimport::encodeMesh(rose()).size();
    counters(state, size);
}

// The bytes through a pipe, written by a thread as the child writes them and read as the
// parent reads them.
void BM_Pipe(benchmark::State& state) {
    const std::vector<std::byte> bytes = modelimport::encodeMesh(rose());
    for (auto _ : state) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) state.SkipWithError("no pipe");
        std::thread writer([&] {
            for (size_t done = 0; done < bytes.size();) done += size_t(std::max<ssize_t>(0, ::write(fds[1], bytes.data() + done, bytes.size() - done)));
            ::close(fds[1]);
        });
        std::vector<std::byte> received;
        std::byte buffer[65536];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) received.insert(received.end(), buffer, buffer + n);
        writer.join();
        ::close(fds[0]);
        benchmark::DoNotOptimize(received.data());
    }
    counters(state, bytes.size());
}

void BM_Decode(benchmark::State& state) {
    const std::vector<std::byte> bytes = modelimport::encodeMesh(rose());
    for (auto _ : state) benchmark::DoNotOptimize(modelimport::decodeHandover(bytes, kRose));
    counters(state, bytes.size());
}

// The program's mesh from the checked handover, as LoadMeshFromX builds it.
void BM_BuildMesh(benchmark::State& state) {
    const xfile::Document document = d3dx8::documentFromImport(modelimport::ImportedMesh(rose()), kRose);
    for (auto _ : state)
        benchmark::DoNotOptimize(d3dx8::buildMeshFromX(document, D3DXMESH_SYSTEMMEM, nullptr, d3dx8::IndexSize::AsNeeded));
    counters(state, 0);
}

BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pipe)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildMesh)->Unit(benchmark::kMillisecond);

}  // namespace
