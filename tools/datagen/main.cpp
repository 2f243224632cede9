// celshade-datagen OUTDIR: writes doom1.x .. doom5.x and banda2.bmp into OUTDIR, byte for
// byte the same on every run.
// celshade-datagen --torus-ply VERTICES OUT.ply: the benchmarks' bumpy torus of about that many
// vertices (bench/bigmodels/compare-f3d).
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "BumpyTorus.h"
#include "Models.h"
#include "runtime/Error.h"

namespace {

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) rt::raiseRuntime(rt::errc::PathFileAccess, path.string());
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) rt::raiseRuntime(rt::errc::PathFileAccess, path.string());
}

bool parseCount(const char* text, uint64_t& value) {
    const char* end = text + std::strlen(text);
    const auto [at, error] = std::from_chars(text, end, value);
    return error == std::errc() && at == end && value >= datagen::kMinTorusVertices &&
           value <= datagen::kMaxTorusVertices;
}

void writeTorus(const std::filesystem::path& path, const datagen::TorusGrid& grid) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) rt::raiseRuntime(rt::errc::PathFileAccess, path.string());
    datagen::writeBumpyTorusPly(out, grid);
    out.close();
    if (!out) rt::raiseRuntime(rt::errc::PathFileAccess, path.string());
    std::printf("%s: %llu vertices (%u x %u), %llu faces\n", path.c_str(), static_cast<unsigned long long>(grid.vertices()),
                grid.segments, grid.sides, static_cast<unsigned long long>(grid.faces()));
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t vertices = 0;
    const bool torus = argc == 4 && std::strcmp(argv[1], "--torus-ply") == 0;
    if ((argc != 2 && !torus) || (torus && !parseCount(argv[2], vertices))) {
        std::fprintf(stderr, "usage: celshade-datagen OUTDIR\n"
                             "       celshade-datagen --torus-ply VERTICES OUT.ply   (%llu .. %llu vertices)\n",
                     static_cast<unsigned long long>(datagen::kMinTorusVertices),
                     static_cast<unsigned long long>(datagen::kMaxTorusVertices));
        return 2;
    }
    try {
        if (torus) {
            writeTorus(argv[3], datagen::torusGrid(vertices));
            return 0;
        }
        const std::filesystem::path dir(argv[1]);
        if (!std::filesystem::is_directory(dir)) rt::raiseRuntime(rt::errc::FileNotFound, dir.string());
        for (const datagen::GeneratedFile& f : datagen::generateAll()) writeFile(dir / f.name, f.bytes);
        return 0;
    } catch (const rt::Error& e) {
        std::fprintf(stderr, "celshade-datagen: error %d: %s\n", e.number(), e.text().c_str());
        return 1;
    }
}
