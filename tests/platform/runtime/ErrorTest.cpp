#include <gtest/gtest.h>

#include "runtime/Error.h"

namespace {

TEST(RuntimeErrors, CarryTheClassicNumbersAndTexts) {
    try {
        rt::raiseRuntime(rt::errc::SubscriptOutOfRange, "attribRanges(0)");
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), 9);
        EXPECT_EQ(e.text(), "Subscript out of range: attribRanges(0)");
    }
    const std::pair<int, const char*> texts[] = {
        {5, "Invalid procedure call or argument"}, {6, "Overflow"}, {11, "Division by zero"}, {53, "File not found"}};
    for (const auto& [number, text] : texts) EXPECT_EQ(rt::runtimeErrorText(number), text);
}

}  // namespace
