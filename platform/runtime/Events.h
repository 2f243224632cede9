#pragma once
// Processing all pending window events from inside a running handler, as the classic
// runtime's event step did. The window layer installs the real processor at start-up;
// tests install their own to count yields or to change state in the middle of a job.

#include <chrono>
#include <functional>

namespace rt {

using PendingEventProcessor = std::function<void()>;

// Runs every pending window event (handlers may run re-entrantly inside this call).
void processPendingEvents();

// Replaces the processor; returns the previous one so that a scope can restore it.
PendingEventProcessor setPendingEventProcessor(PendingEventProcessor processor);

// Blocks until a window event (input, a timer, a posted call) is due, then runs it and every
// other pending event. Without a waiter installed it only runs the pending events.
void waitForEvents();
PendingEventProcessor setEventWaiter(PendingEventProcessor waiter);

// The event step of a long job on the window system's thread, called once per unit of work
// (the edge build calls it once per face). It runs the pending events only once `interval`
// has passed since it last did (or since it was made): a millisecond is far below what a user
// can notice, yet a call in between costs a countdown, and every few calls a clock read, where
// a trip through the window system's queues costs about a microsecond per call.
class PacedEventStep {
public:
    explicit PacedEventStep(std::chrono::nanoseconds interval = std::chrono::milliseconds(1));

    void operator()() {
        if (--countdown_ > 0) return;
        processIfDue();
    }

private:
    using Clock = std::chrono::steady_clock;
    // A clock read costs tens of nanoseconds here; one in 16 calls keeps it to a few per call.
    static constexpr int kCallsPerClockRead = 16;

    void processIfDue();

    std::chrono::nanoseconds interval_;
    Clock::time_point last_;
    int countdown_;
};

}  // namespace rt
