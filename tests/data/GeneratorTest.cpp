// data/ is what the generator writes: run it and compare every file byte for byte.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "Models.h"

namespace datagen::test {
namespace {

namespace fs = std::filesystem;

std::vector<char> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int runGenerator(const std::string& args) {
    std::string command = std::string("\"") + CELSHADE_DATAGEN + "\" " + args + " 2>/dev/null";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TempDir {
public:
    TempDir() : path_(fs::temp_directory_path() / ("celshade-datagen-" + std::to_string(::getpid()))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

TEST(Generator, RewritesTheCommittedDataByteForByte) {
    TempDir out;
    ASSERT_EQ(runGenerator("\"" + out.path().string() + "\""), 0);
    const fs::path committed = fs::path(CELSHADE_SOURCE_DIR) / "data";
    std::vector<std::string> expected;
    for (const ModelFile& f : modelFiles()) expected.push_back(f.fileName);
    expected.push_back("banda2.bmp");
    size_t written = 0;
    for (const auto& entry : fs::directory_iterator(out.path())) {
        (void)entry;
        ++written;
    }
    EXPECT_EQ(written, expected.size());
    for (const std::string& name : expected) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(committed / name)) << "run celshade-datagen data/ and commit the result";
        EXPECT_TRUE(readAll(out.path() / name) == readAll(committed / name))
            << "data/" << name << " differs from what the generator writes now";
    }
}

TEST(Generator, RefusesAMissingDirectoryAndAMissingArgument) {
    TempDir out;
    EXPECT_EQ(runGenerator("\"" + (out.path() / "absent").string() + "\""), 1);
    EXPECT_EQ(runGenerator(""), 2);
}

}  // namespace
}  // namespace datagen::test
