// Load time of .x files: parsing alone (bytes already in memory) and the whole LoadMeshFromX
// path (file read, parse, merge, attribute sort, adjacency and materials), for the five
// models, every corpus file over 100 KB and the two large generated files (bench/xfile/
// MakeBenchFiles.cpp), and the inflating of the compressed ones by each inflater. Files that
// are not present are skipped.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "d3dx8/D3DX8.h"
#include "runtime/Error.h"
#include "runtime/Status.h"
#include "xfile/Inflate.h"
#include "xfile/XFile.h"

namespace {

namespace fs = std::filesystem;

void parseOnly(benchmark::State& state, const std::string& path) {
    const std::vector<std::byte> bytes = xfile::readFileBytes(path);
    for (auto _ : state) benchmark::DoNotOptimize(xfile::parse(bytes, path));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void inflateOnly(benchmark::State& state, const std::string& path, xfile::detail::Inflater inflater) {
    const std::vector<std::byte> bytes = xfile::readFileBytes(path);
    const xfile::Header header = xfile::readHeader(bytes, path);
    size_t size = 0;
    for (auto _ : state) size = xfile::detail::inflateMszip(bytes, path, header, inflater).size();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void loadMeshFromX(benchmark::State& state, const std::string& path, uint32_t options) {
    D3DX8 d3dx;
    for (auto _ : state) {
        std::shared_ptr<D3DXBuffer> adjacency, materials;
        int32_t count = 0;
        benchmark::DoNotOptimize(d3dx.LoadMeshFromX(path, options, nullptr, &adjacency, &materials, &count));
    }
}

// 16-bit indices as the program loads its models, 32-bit for meshes that need them.
uint32_t loadOptions(const std::string& path) {
    try {
        D3DX8().LoadMeshFromX(path, D3DXMESH_SYSTEMMEM, nullptr, nullptr, nullptr, nullptr);
    } catch (const rt::Error& e) {
        if (e.number() == D3DERR_INVALIDCALL) return D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT;
    }
    return D3DXMESH_SYSTEMMEM;
}

std::vector<fs::path> benchFiles() {
    std::vector<fs::path> files;
    for (int i = 1; i <= 5; ++i) files.push_back(fs::path(CELSHADE_SOURCE_DIR) / "data" / ("doom" + std::to_string(i) + ".x"));
    const fs::path corpus = fs::path(CELSHADE_SHARED_DIR) / "xfiles";
    if (fs::is_directory(corpus))
        for (const auto& entry : fs::directory_iterator(corpus))
            if (entry.path().extension() == ".x" && entry.file_size() > 100000) files.push_back(entry.path());
    for (const char* name : {"soup141k.x", "grid60k.x"}) files.push_back(fs::path(CELSHADE_BENCH_FILES) / name);
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    for (const fs::path& file : benchFiles()) {
        if (!fs::exists(file)) continue;
        const std::string path = file.string(), label = file.filename().string();
        benchmark::RegisterBenchmark(("Parse/" + label).c_str(), parseOnly, path)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("LoadMeshFromX/" + label).c_str(), loadMeshFromX, path, loadOptions(path))
            ->Unit(benchmark::kMillisecond);
        if (!xfile::readHeader(xfile::readFileBytes(path), path).compressed) continue;
        using xfile::detail::Inflater;
        for (auto [name, inflater] : {std::pair{"zlib", Inflater::Zlib}, std::pair{"isal", Inflater::Isal}})
            benchmark::RegisterBenchmark(("Inflate/" + std::string(name) + "/" + label).c_str(), inflateOnly, path,
                                         inflater)
                ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
