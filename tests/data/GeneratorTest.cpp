// data/ is what the generator writes: run it and compare every file byte for byte. What the
// program makes of those files is pinned by what the loader makes of them
// (tests/platform/d3dx8/xfile-oracle.tsv) and by the golden frames (tests/scene).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
    fs::remove_all(out);
}

}  // namespace
}  // namespace datagen::test
