#include <gtest/gtest.h>

#include <chrono>

#include "runtime/Events.h"

namespace {

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
