#include <gtest/gtest.h>

#include <cstdint>

#include "dialog/ProgressReadout.h"
#include "runtime/Error.h"

namespace {

int32_t errorNumberOf(int32_t edgeProgress, int32_t numFaces) {
    try {
        dialog::progressReadout(edgeProgress, numFaces);
    } catch (const rt::Error& e) {
        return e.number();
    }
    return 0;
}

TEST(ProgressReadout, IsTheWholePercentRoundedDown) {
    EXPECT_EQ(dialog::progressReadout(0, 1), "0%");
    EXPECT_EQ(dialog::progressReadout(37, 120), "30%");
    EXPECT_EQ(dialog::progressReadout(119, 120), "99%");
    EXPECT_EQ(dialog::progressReadout(120, 120), "100%");
    EXPECT_EQ(dialog::progressReadout(2, 3), "66%");
}

// A nested build can leave more faces counted than the mesh has, and the divisor comes from
// whatever mesh is loaded: the readout prints what the arithmetic gives, with no clamping.
TEST(ProgressReadout, PrintsOutOfRangeSharesPlainly) {
    EXPECT_EQ(dialog::progressReadout(240, 120), "200%");
    EXPECT_EQ(dialog::progressReadout(1, -3), "-34%");  // rounded down, not towards zero
    EXPECT_EQ(dialog::progressReadout(21'474'836, 1), "2147483600%");
}

TEST(ProgressReadout, ProductBeyondThirtyTwoBitsOverflows) {
    EXPECT_EQ(errorNumberOf(21'474'837, 1'000'000'000), rt::errc::Overflow);
    EXPECT_EQ(errorNumberOf(-21'474'837, 1), rt::errc::Overflow);
}

TEST(ProgressReadout, NoFacesIsADivisionByZero) {
    EXPECT_EQ(errorNumberOf(0, 0), rt::errc::DivisionByZero);
    EXPECT_EQ(errorNumberOf(5, 0), rt::errc::DivisionByZero);
}

}  // namespace
