// Load time of real .x files: parsing alone (bytes already in memory) and the whole
// LoadMeshFromX path (file read, parse, merge, attribute sort, adjacency and materials).
// Files that are not present are skipped.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "d3dx8/D3DX8.h"
#include "d3dx8/MeshLoader.h"
#include "xfile/XFile.h"

namespace {

const std::string kCorpus = std::string(CELSHADE_SHARED_DIR) + "/xfiles/";
const std::string kData = std::string(CELSHADE_SOURCE_DIR) + "/data/";

void parseOnly(benchmark::State& state, const std::string& path) {
    if (!std::filesystem::exists(path)) {
        state.SkipWithError(("missing " + path).c_str());
        return;
    }
    std::vector<std::byte> bytes = xfile::readFileBytes(path);
    for (auto _ : state) benchmark::DoNotOptimize(xfile::parse(bytes, path));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void loadMeshFromX(benchmark::State& state, const std::string& path) {
    if (!std::filesystem::exists(path)) {
        state.SkipWithError(("missing " + path).c_str());
        return;
    }
    D3DX8 d3dx;
    for (auto _ : state) {
        std::shared_ptr<D3DXBuffer> adjacency, materials;
        int32_t count = 0;
        benchmark::DoNotOptimize(d3dx.LoadMeshFromX(path, D3DXMESH_SYSTEMMEM, nullptr, &adjacency, &materials, &count));
    }
}

// The largest MSZIP-compressed file of the corpus.
std::string largestCompressed() {
    std::string best;
    uintmax_t bestSize = 0;
    if (!std::filesystem::exists(kCorpus)) return kCorpus + "none";
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        if (entry.path().extension() != ".x" || entry.file_size() < 16) continue;
        try {
            xfile::Header header = xfile::readHeader(xfile::readFileBytes(entry.path().string()), "");
            xfile::parse(xfile::readFileBytes(entry.path().string()), "");
            if (header.compressed && entry.file_size() > bestSize) {
                best = entry.path().string();
                bestSize = entry.file_size();
            }
        } catch (...) {
        }
    }
    return best.empty() ? kCorpus + "none" : best;
}

void registerFile(const std::string& label, const std::string& path) {
    benchmark::RegisterBenchmark(("Parse/" + label).c_str(), parseOnly, path)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("LoadMeshFromX/" + label).c_str(), loadMeshFromX, path)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
    registerFile("ms_tiny", kCorpus + "ms_tiny.x");
    registerFile("largest_compressed", largestCompressed());
    for (int i = 1; i <= 5; ++i) {
        std::string name = "doom" + std::to_string(i) + ".x";
        if (std::filesystem::exists(kData + name)) registerFile(name, kData + name);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
