#include "runtime/Events.h"

#include <utility>

namespace rt {

namespace {
PendingEventProcessor& currentProcessor() {
    static PendingEventProcessor processor;
    return processor;
}
PendingEventProcessor& currentWaiter() {
    static PendingEventProcessor waiter;
    return waiter;
}
}  // namespace

void processPendingEvents() {
    // Copy first: a handler running inside may install another processor.
    PendingEventProcessor processor = currentProcessor();
    if (processor) processor();
}

PendingEventProcessor setPendingEventProcessor(PendingEventProcessor processor) {
    return std::exchange(currentProcessor(), std::move(processor));
}

void waitForEvents() {
    PendingEventProcessor waiter = currentWaiter();
    if (waiter)
        waiter();
    else
        processPendingEvents();
}

PendingEventProcessor setEventWaiter(PendingEventProcessor waiter) {
    return std::exchange(currentWaiter(), std::move(waiter));
}

PacedEventStep::PacedEventStep(std::chrono::nanoseconds interval)
    : interval_(interval), last_(Clock::now()), countdown_(interval.count() > 0 ? kCallsPerClockRead : 1) {}

void PacedEventStep::processIfDue() {
    // With no interval every call is due, and the clock need not be read.
    countdown_ = interval_.count() > 0 ? kCallsPerClockRead : 1;
    if (interval_.count() > 0 && Clock::now() - last_ < interval_) return;
    processPendingEvents();
    // Measured from the end: time spent in handlers does not count as time worked.
    if (interval_.count() > 0) last_ = Clock::now();
}

}  // namespace rt
