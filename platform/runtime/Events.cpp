#include "runtime/Events.h"

#include <utility>

namespace rt {

namespace {
PendingEventProcessor& currentProcessor() {
    static PendingEventProcessor processor;
    return processor;
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

}  // namespace rt
