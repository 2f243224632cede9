#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/Error.h"
#include "runtime/Events.h"
#include "runtime/Status.h"

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

TEST(StatusErrors, NumberIsTheStatusAndTextNamesIt) {
    try {
        rt::check(D3DERR_INVALIDCALL, "BeginScene");
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(static_cast<uint32_t>(e.number()), 0x8876086Cu);
        EXPECT_EQ(e.text(), "D3DERR_INVALIDCALL: BeginScene");
    }
    EXPECT_NO_THROW(rt::check(S_OK, "Clear"));
    EXPECT_EQ(rt::statusName(D3DXERR_INVALIDDATA), "D3DXERR_INVALIDDATA");
    EXPECT_EQ(rt::statusName(static_cast<HRESULT>(0x80001234u)), "HRESULT 0x80001234");
}

TEST(PendingEvents, ProcessorCanBeSwappedAndRestored) {
    int calls = 0;
    auto previous = rt::setPendingEventProcessor([&] { ++calls; });
    rt::processPendingEvents();
    rt::setPendingEventProcessor(previous);
    rt::processPendingEvents();
    EXPECT_EQ(calls, 1);
}

// Without a waiter (no window system) a wait only runs what is pending; with one, it waits.
TEST(PendingEvents, WaitFallsBackToTheProcessor) {
    int processed = 0, waited = 0;
    auto previous = rt::setPendingEventProcessor([&] { ++processed; });
    rt::waitForEvents();
    auto previousWaiter = rt::setEventWaiter([&] { ++waited; });
    rt::waitForEvents();
    rt::setEventWaiter(previousWaiter);
    rt::setPendingEventProcessor(previous);
    EXPECT_EQ(processed, 1);
    EXPECT_EQ(waited, 1);
}

TEST(PendingEvents, APacedStepRunsThemOnlyOnceItsIntervalHasPassed) {
    using namespace std::chrono_literals;
    struct Case { std::chrono::nanoseconds interval; int expectedRuns; };
    for (const Case c : {Case{0ns, 1000}, Case{1h, 0}}) {
        int runs = 0;
        auto previous = rt::setPendingEventProcessor([&] { ++runs; });
        rt::PacedEventStep step(c.interval);
        for (int i = 0; i < 1000; ++i) step();
        rt::setPendingEventProcessor(previous);
        EXPECT_EQ(runs, c.expectedRuns);
    }
}

}  // namespace
