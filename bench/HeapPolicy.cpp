// Linked into every benchmark: the heap policy the program and the tool set where they start,
// set here before main, so that what is measured is what they run.
#include "runtime/Heap.h"

namespace {

const bool kPolicySet = (rt::setMallocPolicy(), true);

}  // namespace
