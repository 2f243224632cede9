// A frame of more than 256 colours keeps its flat bands exactly and the rest close; frames
// share the global table while their colours fit in it; a frame's own table in the GIF file is
// as small as its colours allow.

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "animation/Palette.h"
#include "animation/Writers.h"

namespace {

using animation::FramePalettes;
using animation::IndexedRegion;
using animation::Region;

int distance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift : {0, 8, 16}) d = std::max(d, std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)));
    return d;
}

uint32_t shown(const IndexedRegion& indexed, const std::vector<uint32_t>& global, size_t i) {
    return (indexed.palette.empty() ? global : indexed.palette)[indexed.indices[i]];
}

TEST(FramePalettes, FlatBandsStayExactWhereTheColoursDoNotFit) {
    // Three flat bands over most of the frame, and a strip of 4,096 different greys and blues.
    constexpr uint32_t kWidth = 256, kHeight = 96;
    const uint32_t bands[] = {0x4C4CFF, 0xC03020, 0x602018};
    std::vector<uint32_t> pixels(kWidth * kHeight);
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x)
            pixels[y * kWidth + x] = y < 80 ? bands[y / 27] | 0xFF000000u : (x << 16 | x << 8 | ((y - 80) * 16 + x % 16));
    FramePalettes palettes;
    const IndexedRegion indexed = palettes.index(Region{pixels.data(), kWidth, 0, 0, kWidth, kHeight});
    ASSERT_EQ(indexed.palette.size(), 256u);  // a table of its own
    int worst = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t colour = pixels[i] & 0xFFFFFFu;
        if (i < 80 * kWidth) {
            ASSERT_EQ(shown(indexed, palettes.global(), i), colour) << i;
        } else {
            worst = std::max(worst, distance(shown(indexed, palettes.global(), i), colour));
        }
    }
    EXPECT_LE(worst, 24);
}

TEST(FramePalettes, FramesShareTheGlobalTableWhileTheirColoursFit) {
    const auto frame = [](uint32_t first, uint32_t count) {
        std::vector<uint32_t> pixels;
        for (uint32_t c = first; c < first + count; ++c) pixels.push_back(c * 0x101u);
        return pixels;
    };
    const std::vector<uint32_t> a = frame(0, 200), b = frame(100, 150), c = frame(150, 120);
    FramePalettes palettes;
    const IndexedRegion first = palettes.index(Region{a.data(), 200, 0, 0, 200, 1});
    const IndexedRegion second = palettes.index(Region{b.data(), 150, 0, 0, 150, 1});  // 50 new: 250
    const IndexedRegion third = palettes.index(Region{c.data(), 120, 0, 0, 120, 1});   // 20 more would not fit
    EXPECT_TRUE(first.palette.empty());
    EXPECT_TRUE(second.palette.empty());
    EXPECT_EQ(third.palette.size(), 120u);
    EXPECT_EQ(palettes.global().size(), 250u);
    for (size_t i = 0; i < b.size(); ++i) EXPECT_EQ(shown(second, palettes.global(), i), b[i]);
    for (size_t i = 0; i < c.size(); ++i) EXPECT_EQ(shown(third, palettes.global(), i), c[i]);
}

// The frames of a GIF as giflib decodes them, each drawn over the one before.
std::vector<std::vector<uint32_t>> decodeGif(const std::string& path, std::vector<int>& localTableSizes) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    std::vector<std::vector<uint32_t>> frames;
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK) return frames;
    std::vector<uint32_t> canvas(size_t(gif->SWidth) * size_t(gif->SHeight));
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const GifImageDesc& d = image.ImageDesc;
        const ColorMapObject* table = d.ColorMap ? d.ColorMap : gif->SColorMap;
        localTableSizes.push_back(d.ColorMap ? d.ColorMap->ColorCount : 0);
        // Each frame stays under the next, which covers only what changed: a viewer that
        // cleared it first would show background where nothing changed.
        GraphicsControlBlock control{};
        if (DGifSavedExtensionToGCB(gif, i, &control) != GIF_OK || control.DisposalMode != DISPOSE_DO_NOT) {
            ADD_FAILURE() << "frame " << i << " is not kept under the next";
        }
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const GifColorType c = table->Colors[image.RasterBits[y * d.Width + x]];
                canvas[size_t(d.Top + y) * size_t(gif->SWidth) + size_t(d.Left + x)] = uint32_t(c.Red) << 16 | c.Green << 8 | c.Blue;
            }
        frames.push_back(canvas);
    }
    DGifCloseFile(gif, &error);
    return frames;
}

// The first frame fills the global table with 256 colours; each later one changes a strip of
// the top row to 1, 3 and 5 new colours, which need tables of 2, 4 and 8 entries.
TEST(GifWriter, SizesEachFramesOwnTableToItsColoursAndDecodesToTheFrames) {
    constexpr uint32_t kSide = 16;
    std::vector<std::vector<uint32_t>> frames(1, std::vector<uint32_t>(kSide * kSide));
    for (uint32_t i = 0; i < kSide * kSide; ++i) frames[0][i] = i * 0x010101u;
    uint32_t next = 0xFF0000u;
    for (const uint32_t colours : {1u, 3u, 5u}) {
        frames.push_back(frames.back());
        for (uint32_t x = 0; x < colours; ++x) frames.back()[x] = next++;
    }
    const std::string path = (std::filesystem::temp_directory_path() / ("celshade-gif-" + std::to_string(getpid()) + ".gif")).string();
    const std::unique_ptr<animation::FrameSink> gif = animation::gifWriter(path, {kSide, kSide, 25});
    for (const std::vector<uint32_t>& frame : frames) gif->add(frame.data());
    gif->finish();
    std::vector<int> tableSizes;
    EXPECT_EQ(decodeGif(path, tableSizes), frames);
    EXPECT_EQ(tableSizes, (std::vector<int>{0, 2, 4, 8}));
    std::filesystem::remove(path);
}

}  // namespace
