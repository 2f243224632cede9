#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "runtime/Val.h"

namespace {

void expectAll(const std::vector<std::pair<std::string, double>>& cases) {
    for (const auto& [text, expected] : cases) EXPECT_DOUBLE_EQ(rt::val(text), expected) << '"' << text << '"';
}

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Val, ReadsTheNumberAtTheStartAndStopsAtTheFirstMisfit) {
    expectAll({{"0.5", 0.5}, {"0.5abc", 0.5}, {"1,5", 1.0}, {"-.25", -0.25}, {"+7", 7.0}, {"5.", 5.0},
               {"1.2.3", 1.2}, {"3-4", 3.0}, {"2E-1", 0.2}, {"1D2", 100.0}, {"1d2", 100.0}, {".5e1", 5.0}});
}

TEST(Val, BlanksTabsAndLineFeedsAreSkippedEvenInsideTheNumber) {
    expectAll({{"1 2", 12.0}, {"1615 198th Street", 1615198.0}, {"\t-\n1 . 5", -1.5}, {"1 e 2", 100.0},
               {"1\r2", 1.0}});  // a carriage return is not skipped: it ends the number
}

TEST(Val, IncompleteOrMissingNumbersReadAsLittleAsTheyCan) {
    expectAll({{"1e", 1.0}, {"1e+", 1.0}, {"1ex5", 1.0}, {"", 0.0}, {"   ", 0.0}, {"abc", 0.0}, {".", 0.0},
               {"-", 0.0}, {"-.", 0.0}, {"e5", 0.0}, {"$5", 0.0}, {",5", 0.0}, {"+-5", 0.0},
               {"\xEF\xBC\x90.5", 0.0}});  // a full-width digit is not a digit
}

TEST(Val, HexAndOctalAreSignedSixteenThenThirtyTwoBitIntegers) {
    expectAll({{"&H10", 16.0}, {"&O17", 15.0}, {"&h1f", 31.0}, {" & h 1 0", 16.0}, {"&HFFFF", -1.0},
               {"&H8000", -32768.0}, {"&H0000FFFF", -1.0}, {"&O177777", -1.0}, {"&H10000", 65536.0},
               {"&HFFFFFFFF", -1.0}, {"&H80000000", -2147483648.0}, {"&H100000000", 4294967296.0}});
    expectAll({{"&H", 0.0}, {"&X1", 0.0}, {"&H1G", 1.0}, {"&O18", 1.0}, {"-&H10", 0.0}, {"1&H10", 1.0}});
}

TEST(Val, NumbersBeyondTheDoubleRangeSaturateInsteadOfFailing) {
    const std::string zeros(400, '0');
    const std::pair<std::string, double> exact[] = {
        {"1e400", kInf}, {"-1e400", -kInf}, {"1e99999999999999999999999", kInf}, {std::string(1'000'000, '9'), kInf},
        {"&H" + std::string(100'000, 'F'), kInf}, {"1e-400", 0.0}, {"0." + zeros + "1", 0.0}};
    for (const auto& [text, expected] : exact) EXPECT_EQ(rt::val(text), expected) << text.substr(0, 30);
    // Leading zeros and the exponent offset each other: these are in range.
    expectAll({{"0." + zeros + "1e500", 1e99}, {"1" + zeros + "e-390", 1e10}});
}

TEST(ToSingleSaturated, NeverFailsAndClampsToTheFloatRange) {
    const std::pair<double, float> cases[] = {{0.1, 0.1f},        {kInf, FLT_MAX},    {-kInf, -FLT_MAX},
                                              {-3.5e38, -FLT_MAX}, {1e-300, 0.0f}, {std::nan(""), 0.0f}};
    for (const auto& [value, expected] : cases) EXPECT_EQ(rt::toSingleSaturated(value), expected) << value;
}

}  // namespace
