#pragma once
// Processing all pending window events from inside a running handler, as the classic
// runtime's event step did. The window layer installs the real processor at start-up;
// tests install their own to count yields or to change state in the middle of a job.

#include <functional>

namespace rt {

using PendingEventProcessor = std::function<void()>;

// Runs every pending window event (handlers may run re-entrantly inside this call).
void processPendingEvents();

// Replaces the processor; returns the previous one so that a scope can restore it.
PendingEventProcessor setPendingEventProcessor(PendingEventProcessor processor);

}  // namespace rt
