#include "d3d8/AlphaCull.h"

#include <gtest/gtest.h>

#include <cmath>

#include "d3d8/d3d8types.h"

namespace {

TEST(AlphaLevel, RoundsToTheNearestOf256Levels) {
    EXPECT_EQ(alphaLevel(0.0f), 0u);
    EXPECT_EQ(alphaLevel(0.001f), 0u);   // 0.255
    EXPECT_EQ(alphaLevel(0.0025f), 1u);  // 0.6375
    EXPECT_EQ(alphaLevel(128.0f / 255.0f), 128u);
    EXPECT_EQ(alphaLevel(1.0f), 255u);
    EXPECT_EQ(alphaLevel(-3.0f), 0u);
    EXPECT_EQ(alphaLevel(7.0f), 255u);
    EXPECT_EQ(alphaLevel(std::nanf("")), 0u);
}

TEST(AlphaTestCanPass, SmallPositiveAlphaStillPassesLessEqualZero) {
    // 0.001 rounds to level 0, so a line whose alphas reach down to it must be drawn.
    EXPECT_TRUE(alphaTestCanPass(D3DCMP_LESSEQUAL, 0, 0.001f, 1.0f));
    EXPECT_FALSE(alphaTestCanPass(D3DCMP_LESSEQUAL, 0, 0.003f, 1.0f));
    EXPECT_FALSE(alphaTestCanPass(D3DCMP_LESS, 0, 0.0f, 1.0f));
}

TEST(AlphaTestCanPass, SpanInsideTheRejectedLevelsIsDropped) {
    const float below = 0x7F / 255.0f, at = 0x80 / 255.0f, above = 0x81 / 255.0f;
    EXPECT_FALSE(alphaTestCanPass(D3DCMP_EQUAL, 0x80, below, below));
    EXPECT_TRUE(alphaTestCanPass(D3DCMP_EQUAL, 0x80, below, above));
    EXPECT_FALSE(alphaTestCanPass(D3DCMP_NOTEQUAL, 0x80, at, at));
    EXPECT_TRUE(alphaTestCanPass(D3DCMP_NOTEQUAL, 0x80, at, above));
    EXPECT_FALSE(alphaTestCanPass(D3DCMP_GREATER, 0x80, 0.0f, at));
    EXPECT_TRUE(alphaTestCanPass(D3DCMP_GREATEREQUAL, 0x80, 0.0f, at));
    EXPECT_FALSE(alphaTestCanPass(D3DCMP_NEVER, 0x80, 0.0f, 1.0f));
    EXPECT_TRUE(alphaTestCanPass(D3DCMP_ALWAYS, 0x80, 0.0f, 0.0f));
    // Only the reference's low byte counts.
    EXPECT_TRUE(alphaTestCanPass(D3DCMP_EQUAL, 0x1280, at, at));
}

TEST(AlphaTestCanPass, UnknownAlphasAreKept) {
    EXPECT_TRUE(alphaTestCanPass(D3DCMP_NEVER + 1, 0, std::nanf(""), 1.0f));
}

}  // namespace
