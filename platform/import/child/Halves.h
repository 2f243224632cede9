#pragma once
// Work that splits in two: the program waits while the importer runs, so the importer has the
// machine's cores to itself, and most machines have at least two.

#include <cstddef>
#include <system_error>
#include <thread>

namespace importchild {

// work(begin, end) over [0, count) in two halves at once, the second on a thread of its own;
// all on this thread when the count is too small to pay for a thread, or no thread can be had.
// `work` must not throw: what fails is recorded for the caller to raise once both halves are done.
template <class Work>
void inHalves(size_t count, const Work& work) {
    constexpr size_t kWorthAThread = size_t{1} << 16;
    if (count < kWorthAThread) return work(size_t{0}, count);
    std::thread second;
    try {
        second = std::thread([&] { work(count / 2, count); });
    } catch (const std::system_error&) {
        return work(size_t{0}, count);
    }
    work(size_t{0}, count / 2);
    second.join();
}

}  // namespace importchild
