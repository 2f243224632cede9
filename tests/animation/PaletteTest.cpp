// A frame of more than 256 colours keeps its flat bands exactly and the rest close; frames
// share the global table while their colours fit in it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "animation/Palette.h"

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

}  // namespace
