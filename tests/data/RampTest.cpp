// The ramp must be a plain 24-bit BMP any loader reads, with a few flat bands dark to light.
#include <gtest/gtest.h>

#include <set>

#include "Ramp.h"

namespace datagen::test {
namespace {

uint32_t le(const std::vector<uint8_t>& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint32_t>(b.at(at + static_cast<size_t>(i))) << (8 * i);
    return v;
}

TEST(Ramp, IsAnUncompressed24BitBitmapWhoseHeaderMatchesItsSize) {
    std::vector<uint8_t> bmp = rampBitmap();
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(le(bmp, 2, 4), bmp.size());
    EXPECT_EQ(le(bmp, 10, 4), 54u);
    EXPECT_EQ(le(bmp, 14, 4), 40u);
    EXPECT_EQ(le(bmp, 18, 4), static_cast<uint32_t>(kRampWidth));
    EXPECT_EQ(le(bmp, 22, 4), static_cast<uint32_t>(kRampHeight));
    EXPECT_EQ(le(bmp, 28, 2), 24u);
    EXPECT_EQ(le(bmp, 30, 4), 0u);
    EXPECT_EQ(bmp.size(), 54u + static_cast<size_t>((kRampWidth * 3 + 3) / 4 * 4 * kRampHeight));
}

TEST(Ramp, ColumnsStepFromDarkToLightInThreeOrFourFlatBands) {
    std::vector<uint8_t> bmp = rampBitmap();
    const size_t row = static_cast<size_t>((kRampWidth * 3 + 3) / 4 * 4);
    std::set<uint32_t> colours;
    int previousLuma = -1;
    uint32_t previous = 0;
    for (int x = 0; x < kRampWidth; ++x) {
        size_t at = 54 + static_cast<size_t>(x) * 3;
        uint32_t bgr = le(bmp, at, 3);
        for (int y = 1; y < kRampHeight; ++y) ASSERT_EQ(le(bmp, at + static_cast<size_t>(y) * row, 3), bgr);
        int luma = bmp[at] + 2 * bmp[at + 1] + bmp[at + 2];
        EXPECT_GE(luma, previousLuma) << "column " << x;
        if (x > 0 && bgr != previous) {
            EXPECT_GT(luma, previousLuma + 60) << "bands too close at column " << x;
        }
        previousLuma = luma;
        previous = bgr;
        colours.insert(bgr);
    }
    EXPECT_GE(colours.size(), 3u);
    EXPECT_LE(colours.size(), 4u);
}

}  // namespace
}  // namespace datagen::test
