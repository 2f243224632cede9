// The handover of the rose exported to glTF: what it costs between the child's finished mesh
// and the parent's checked one, each step alone (the child's writing, the memory file, the
// parent's checks), against the pipe it went through before, and then the program's mesh built
// from it. The whole import, child process and
// Assimp included, is what bench/import/compare-import measures against `assimp info`.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
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
        // Freed memory stays with the heap (the benchmarks' heap policy is the program's): the
        // figures are those of memory already touched. On this virtual machine a first touch
        // costs about 14 us a page, some 700 pages here.
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

// The whole handover as it went before: written into a pipe piece by piece by a thread, read
// into one buffer of the size it announces and checked.
void BM_HandoverPipe(benchmark::State& state) {
    size_t size = 0;
    for (auto _ : state) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) state.SkipWithError("no pipe");
        std::thread child([&] {
            modelimport::writeMesh(rose(), [&](const void* data, size_t n) {
                for (size_t done = 0; done < n;) done += size_t(std::max<ssize_t>(0, ::write(fds[1], static_cast<const char*>(data) + done, n - done)));
            });
            ::close(fds[1]);
        });
        std::vector<std::byte> received(16);
        for (size_t got = 0; got < 16;) got += size_t(std::max<ssize_t>(1, ::read(fds[0], received.data() + got, 16 - got)));
        received.resize(modelimport::announcedSize(received));
        for (size_t got = 16; got < received.size();)
            got += size_t(std::max<ssize_t>(1, ::read(fds[0], received.data() + got, received.size() - got)));
        child.join();
        ::close(fds[0]);
        benchmark::DoNotOptimize(modelimport::decodeHandover(received, kRose));
        size = received.size();
    }
    counters(state, size);
}

void writeAllTo(int fd, const void* data, size_t n) {
    for (size_t done = 0; done < n;) done += size_t(std::max<ssize_t>(0, ::write(fd, static_cast<const char*>(data) + done, n - done)));
}

// The whole handover as it goes now: written piece by piece into a memory file by a thread, as
// the child writes it; sealed, mapped and checked where it lies, as the parent reads it.
void BM_HandoverMemoryFile(benchmark::State& state) {
    size_t size = 0;
    for (auto _ : state) {
        const int fd = ::memfd_create("handover", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd < 0) state.SkipWithError("no memory file");
        std::thread child([&] { modelimport::writeMesh(rose(), [&](const void* data, size_t n) { writeAllTo(fd, data, n); }); });
        child.join();
        ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
        struct stat info {};
        ::fstat(fd, &info);
        size = size_t(info.st_size);
        void* at = ::mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
        benchmark::DoNotOptimize(modelimport::decodeHandover({static_cast<const std::byte*>(at), size}, kRose));
        ::munmap(at, size);
        ::close(fd);
    }
    counters(state, size);
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

BENCHMARK(BM_HandoverPipe)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HandoverMemoryFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildMesh)->Unit(benchmark::kMillisecond);

}  // namespace
