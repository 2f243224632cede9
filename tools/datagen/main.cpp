// celshade-datagen OUTDIR: writes doom1.x .. doom5.x and banda2.bmp into OUTDIR, byte for
// byte the same on every run.
#include <cstdio>
#include <filesystem>
#include <fstream>

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: celshade-datagen OUTDIR\n");
        return 2;
    }
    try {
        const std::filesystem::path dir(argv[1]);
        if (!std::filesystem::is_directory(dir)) rt::raiseRuntime(rt::errc::FileNotFound, dir.string());
        for (const datagen::GeneratedFile& f : datagen::generateAll()) writeFile(dir / f.name, f.bytes);
        return 0;
    } catch (const rt::Error& e) {
        std::fprintf(stderr, "celshade-datagen: error %d: %s\n", e.number(), e.text().c_str());
        return 1;
    }
}
