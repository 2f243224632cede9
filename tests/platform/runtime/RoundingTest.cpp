#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "runtime/Error.h"
#include "runtime/Rounding.h"

namespace {

int32_t overflowNumber(double v) {
    try {
        rt::roundToInt32(v);
    } catch (const rt::Error& e) {
        return e.number();
    }
    return 0;
}

TEST(RoundToInt32, TiesGoToTheEvenNeighbour) {
    EXPECT_EQ(rt::roundToInt32(0.5), 0);
    EXPECT_EQ(rt::roundToInt32(1.5), 2);
    EXPECT_EQ(rt::roundToInt32(2.5), 2);
    EXPECT_EQ(rt::roundToInt32(3.5), 4);
    EXPECT_EQ(rt::roundToInt32(-0.5), 0);
    EXPECT_EQ(rt::roundToInt32(-1.5), -2);
    EXPECT_EQ(rt::roundToInt32(-2.5), -2);
    EXPECT_EQ(rt::roundToInt32(-3.5), -4);
}

TEST(RoundToInt32, NonTiesGoToTheNearest) {
    EXPECT_EQ(rt::roundToInt32(2.4999999), 2);
    EXPECT_EQ(rt::roundToInt32(2.5000001), 3);
    EXPECT_EQ(rt::roundToInt32(-1.2), -1);
    EXPECT_EQ(rt::roundToInt32(-1.7), -2);
}

TEST(RoundToInt32, LimitsAndOverflow) {
    EXPECT_EQ(rt::roundToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(rt::roundToInt32(2147483647.4), 2147483647);
    EXPECT_EQ(rt::roundToInt32(-2147483648.0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(rt::roundToInt32(-2147483648.5), std::numeric_limits<int32_t>::min());  // tie to even
    EXPECT_EQ(overflowNumber(2147483647.5), rt::errc::Overflow);  // tie rounds up to 2^31
    EXPECT_EQ(overflowNumber(-2147483649.0), rt::errc::Overflow);
    EXPECT_EQ(overflowNumber(std::nan("")), rt::errc::Overflow);
    EXPECT_EQ(overflowNumber(INFINITY), rt::errc::Overflow);
}

TEST(ToSingle, OverflowsOnlyBeyondTheFloatRange) {
    EXPECT_EQ(rt::toSingle(0.1), 0.1f);
    EXPECT_EQ(rt::toSingle(3.4028234663852886e38), std::numeric_limits<float>::max());
    EXPECT_THROW(rt::toSingle(1e39), rt::Error);
    EXPECT_THROW(rt::toSingle(std::nan("")), rt::Error);
    EXPECT_THROW(rt::toSingle(-INFINITY), rt::Error);
}

}  // namespace
