#include <gtest/gtest.h>

#include <cstdint>

#include "dialog/ProgressReadout.h"
#include "runtime/Error.h"

namespace {

// A nested build can leave more faces counted than the mesh has, and the divisor comes from
// whatever mesh is loaded: the readout prints what the arithmetic gives, with no clamping,
// and only a 32-bit overflow or no faces at all are errors.
TEST(ProgressReadout, IsTheWholePercentRoundedDownUnclampedWithOverflowAndDivisionErrors) {
    struct Case { int32_t progress, faces; const char* text; int error; };
    const Case cases[] = {
        {37, 120, "30%", 0},
        {240, 120, "200%", 0},
        {1, -3, "-34%", 0},  // rounded down, not towards zero
        {21'474'836, 1, "2147483600%", 0},
        {21'474'837, 1'000'000'000, "", rt::errc::Overflow},
        {-21'474'837, 1, "", rt::errc::Overflow},
        {0, 0, "", rt::errc::DivisionByZero},
        {5, 0, "", rt::errc::DivisionByZero},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.progress) + " of " + std::to_string(c.faces));
        try {
            EXPECT_EQ(dialog::progressReadout(c.progress, c.faces), c.text);
            EXPECT_EQ(c.error, 0);
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), c.error);
        }
    }
}

}  // namespace
