#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "runtime/Error.h"
#include "runtime/Rounding.h"

namespace {

TEST(RoundToInt32, TiesGoToTheEvenNeighbourOthersToTheNearestUpToTheLimits) {
    const std::pair<double, int32_t> cases[] = {
        {0.5, 0},   {1.5, 2},   {2.5, 2},   {3.5, 4},   {-0.5, 0},  {-1.5, -2}, {-2.5, -2}, {-3.5, -4},
        {2.4999999, 2}, {2.5000001, 3}, {-1.2, -1}, {-1.7, -2},
        {2147483647.0, 2147483647}, {2147483647.4, 2147483647},
        {-2147483648.0, std::numeric_limits<int32_t>::min()},
        {-2147483648.5, std::numeric_limits<int32_t>::min()},  // tie to even
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(rt::roundToInt32(value), expected) << value;
}

TEST(RoundToInt32, OverflowsBeyondTheLimits) {
    // 2147483647.5 is a tie that rounds up to 2^31.
    for (double value : {2147483647.5, -2147483649.0, std::nan(""), double{INFINITY}}) {
        try {
            rt::roundToInt32(value);
            ADD_FAILURE() << value;
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), rt::errc::Overflow) << value;
        }
    }
}

TEST(ToSingle, OverflowsOnlyBeyondTheFloatRange) {
    EXPECT_EQ(rt::toSingle(0.1), 0.1f);
    EXPECT_EQ(rt::toSingle(3.4028234663852886e38), std::numeric_limits<float>::max());
    for (double value : {1e39, std::nan(""), -double{INFINITY}}) EXPECT_THROW(rt::toSingle(value), rt::Error) << value;
}

}  // namespace
