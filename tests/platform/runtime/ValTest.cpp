#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "runtime/Val.h"

namespace {

using Case = std::pair<std::string, double>;

void expectAll(const std::vector<Case>& cases) {
    for (const auto& [text, expected] : cases) {
        EXPECT_DOUBLE_EQ(rt::val(text), expected) << "text: \"" << text << "\"";
    }
}

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Val, ReadsTheNumberAtTheStartAndStopsAtTheFirstMisfit) {
    expectAll({{"0.5", 0.5},
               {"0.5abc", 0.5},
               {"1,5", 1.0},
               {"-.25", -0.25},
               {"+7", 7.0},
               {"5.", 5.0},
               {"24 and 57", 24.0},
               {"1.2.3", 1.2},
               {"12$", 12.0},
               {"3-4", 3.0}});
}

TEST(Val, BlanksTabsAndLineFeedsAreSkippedEvenInsideTheNumber) {
    expectAll({{"1 2", 12.0},
               {" 2 45 7", 2457.0},
               {"1615 198th Street N.E.", 1615198.0},
               {"\t-\n1 . 5", -1.5},
               {"1 e 2", 100.0},
               {"- . 2 5", -0.25}});
    // A carriage return is not one of the skipped characters: it ends the number.
    EXPECT_DOUBLE_EQ(rt::val("1\r2"), 1.0);
}

TEST(Val, ExponentIsWrittenWithEOrDInEitherCase) {
    expectAll({{"2E-1", 0.2}, {"1D2", 100.0}, {"1d2", 100.0}, {"1e+2", 100.0}, {"2.5E-1", 0.25},
               {".5e1", 5.0}, {"1e007", 1e7}});
}

TEST(Val, ExponentWithoutDigitsIsLeftOutOfTheNumber) {
    expectAll({{"1e", 1.0}, {"1e+", 1.0}, {"1e-x", 1.0}, {"1ex5", 1.0}, {"2.5D", 2.5}});
}

TEST(Val, TextWithoutANumberAtItsStartReadsAsZero) {
    expectAll({{"", 0.0},
               {"   ", 0.0},
               {"abc", 0.0},
               {".", 0.0},
               {"-", 0.0},
               {"+", 0.0},
               {"-.", 0.0},
               {"e5", 0.0},
               {"$5", 0.0},
               {",5", 0.0},
               {"--5", 0.0},
               {"+-5", 0.0},
               {"\xEF\xBC\x90.5", 0.0}});  // a full-width digit is not a digit
}

TEST(Val, HexAndOctalAreSixteenBitSignedWhenTheyFit) {
    expectAll({{"&H10", 16.0},
               {"&O17", 15.0},
               {"&h1f", 31.0},
               {"&o17", 15.0},
               {"&HFFFF", -1.0},
               {"&H7FFF", 32767.0},
               {"&H8000", -32768.0},
               {"&H0000FFFF", -1.0},
               {"&O177777", -1.0},
               {" & h 1 0", 16.0}});
}

TEST(Val, LongerHexAndOctalAreThirtyTwoBitSignedThenPlain) {
    expectAll({{"&H10000", 65536.0},
               {"&HFFFFFFFF", -1.0},
               {"&H80000000", -2147483648.0},
               {"&O37777777777", -1.0},
               {"&H100000000", 4294967296.0}});
}

TEST(Val, RadixPrefixWithoutDigitsOrMisplacedReadsAsLittleAsItCan) {
    expectAll({{"&H", 0.0},
               {"&", 0.0},
               {"&X1", 0.0},
               {"&H1G", 1.0},
               {"&O18", 1.0},
               {"&O9", 0.0},
               {"-&H10", 0.0},
               {"1&H10", 1.0}});
}

TEST(Val, NumbersBeyondTheDoubleRangeSaturateInsteadOfFailing) {
    EXPECT_EQ(rt::val("1e400"), kInf);
    EXPECT_EQ(rt::val("-1e400"), -kInf);
    EXPECT_EQ(rt::val("1e99999999999999999999999"), kInf);
    EXPECT_EQ(rt::val("1" + std::string(400, '0')), kInf);
    EXPECT_EQ(rt::val("1e-400"), 0.0);
    EXPECT_EQ(rt::val("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(rt::val("0e99999"), 0.0);
    // Leading fraction zeros and a large exponent cancel out: the value is in range.
    EXPECT_DOUBLE_EQ(rt::val("0." + std::string(400, '0') + "1e500"), 1e99);
    EXPECT_DOUBLE_EQ(rt::val("1" + std::string(400, '0') + "e-390"), 1e10);
}

TEST(Val, VeryLongTextsAreReadWithoutTrouble) {
    EXPECT_EQ(rt::val(std::string(1'000'000, '9')), kInf);
    EXPECT_EQ(rt::val("&H" + std::string(100'000, 'F')), kInf);
    EXPECT_DOUBLE_EQ(rt::val(std::string(1'000'000, ' ') + "3"), 3.0);
}

TEST(ToSingleSaturated, NeverFailsAndClampsToTheFloatRange) {
    EXPECT_EQ(rt::toSingleSaturated(0.5), 0.5f);
    EXPECT_EQ(rt::toSingleSaturated(-0.25), -0.25f);
    EXPECT_EQ(rt::toSingleSaturated(0.1), 0.1f);
    EXPECT_EQ(rt::toSingleSaturated(kInf), FLT_MAX);
    EXPECT_EQ(rt::toSingleSaturated(-kInf), -FLT_MAX);
    EXPECT_EQ(rt::toSingleSaturated(1e300), FLT_MAX);
    EXPECT_EQ(rt::toSingleSaturated(-3.5e38), -FLT_MAX);
    EXPECT_EQ(rt::toSingleSaturated(1e-300), 0.0f);
    EXPECT_EQ(rt::toSingleSaturated(std::nan("")), 0.0f);
    EXPECT_EQ(rt::toSingleSaturated(rt::val("1e39")), FLT_MAX);
}

}  // namespace
