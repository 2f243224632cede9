// data/ is what the generator writes: run it and compare every file byte for byte. The ramp
// must read through the program's image loader as a few flat bands, dark to light.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <span>

#include <unistd.h>

#include "Models.h"
#include "Ramp.h"
#include "d3dx8/TextureImage.h"

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

TEST(Ramp, ReadsAsThreeOrFourFlatBandsFromDarkToLight) {
    const std::vector<uint8_t> bmp = rampBitmap();
    const ArgbImage image = decodeImage(std::as_bytes(std::span(bmp)), "banda2.bmp");
    ASSERT_EQ(image.width, static_cast<uint32_t>(kRampWidth));
    ASSERT_EQ(image.height, static_cast<uint32_t>(kRampHeight));
    std::set<uint32_t> colours;
    int previousLuma = -1;
    for (uint32_t x = 0; x < image.width; ++x) {
        const uint32_t argb = image.texels[x];
        for (uint32_t y = 1; y < image.height; ++y) ASSERT_EQ(image.texels[y * image.width + x], argb);
        const int luma = static_cast<int>((argb >> 16 & 0xFF) + 2 * (argb >> 8 & 0xFF) + (argb & 0xFF));
        EXPECT_TRUE(x == 0 || argb == image.texels[x - 1] || luma > previousLuma + 60) << "not rising by a band at " << x;
        previousLuma = luma;
        colours.insert(argb);
    }
    EXPECT_GE(colours.size(), 3u);
    EXPECT_LE(colours.size(), 4u);
}

}  // namespace
}  // namespace datagen::test
