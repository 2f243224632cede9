// data/ is what the generator writes: run it and compare every file byte for byte. What the
// program makes of those files is pinned by what the loader makes of them
// (tests/platform/d3dx8/xfile-oracle.tsv) and by the golden frames (tests/scene).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "Models.h"

namespace datagen::test {
namespace {

namespace fs = std::filesystem;

std::vector<char> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int runGenerator(const std::string& args) {
    const std::string command = std::string("\"") + CELSHADE_DATAGEN + "\" " + args + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Generator, RewritesTheCommittedDataByteForByteAndRefusesBadArguments) {
    const fs::path out = fs::temp_directory_path() / ("celshade-datagen-" + std::to_string(::getpid()));
    fs::remove_all(out);
    fs::create_directories(out);
    ASSERT_EQ(runGenerator("\"" + out.string() + "\""), 0);
    std::set<std::string> expected = {"banda2.bmp"}, written;
    for (const ModelFile& f : modelFiles()) expected.insert(f.fileName);
    for (const auto& entry : fs::directory_iterator(out)) written.insert(entry.path().filename().string());
    EXPECT_EQ(written, expected);
    for (const std::string& name : expected) {
        const fs::path committed = fs::path(CELSHADE_SOURCE_DIR) / "data" / name;
        EXPECT_TRUE(fs::exists(committed) && readAll(out / name) == readAll(committed))
            << "data/" << name << " differs from what the generator writes now: run celshade-datagen data/";
    }
    EXPECT_EQ(runGenerator("\"" + (out / "absent").string() + "\""), 1);
    EXPECT_EQ(runGenerator(""), 2);
    // The benchmarks' torus: a closed grid of 2 faces a vertex, 12 bytes a vertex, 13 a face.
    const fs::path torus = out / "torus.ply";
    ASSERT_EQ(runGenerator("--torus-ply 1024 \"" + torus.string() + "\""), 0);
    const std::vector<char> ply = readAll(torus);
    const std::string end = "end_header\n", header(ply.begin(), std::search(ply.begin(), ply.end(), end.begin(), end.end()));
    EXPECT_NE(header.find("element vertex 1024\n"), std::string::npos) << header;
    EXPECT_EQ(ply.size(), header.size() + end.size() + 1024 * 12 + 2048 * 13);
    for (const char* count : {"11", "1e3", "268435457", "-5"})
        EXPECT_EQ(runGenerator(std::string("--torus-ply ") + count + " \"" + torus.string() + "\""), 2) << count;
    fs::remove_all(out);
}

}  // namespace
}  // namespace datagen::test
