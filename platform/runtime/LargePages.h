#pragma once
// Large arrays on 2 MB pages. The first touch of fresh memory costs a page fault per 4 KB, and
// on a virtual machine a fault costs tens of microseconds: a 17 MB array written once pays far
// more for its faults than for its contents. Arrays from 128 KB up are therefore mapped on
// their own, aligned to 2 MB and marked for huge pages (a request the kernel may ignore, in
// which case they cost what they always did); smaller ones come from the heap as usual.
// Freed mappings are kept, up to a limit, for the next large arrays.

#include <cstddef>
#include <future>
#include <new>
#include <vector>

namespace rt {

// Throws std::bad_alloc when the memory cannot be had. The contents start undefined.
void* allocateLarge(std::size_t bytes);
// `bytes` is the size given to allocateLarge.
void freeLarge(void* p, std::size_t bytes) noexcept;

template <typename T>
struct LargePageAllocator {
    using value_type = T;

    LargePageAllocator() = default;
    template <typename U>
    LargePageAllocator(const LargePageAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(allocateLarge(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { freeLarge(p, n * sizeof(T)); }

    template <typename U>
    bool operator==(const LargePageAllocator<U>&) const noexcept {
        return true;
    }
};

template <typename T>
using LargeVector = std::vector<T, LargePageAllocator<T>>;

// For a process that frees and allocates the same megabytes every frame (the software
// rasterizer's vertex and bin storage): freed heap memory is kept mapped for the next frame
// instead of going back to the kernel, and blocks up to 32 MB come from that heap rather than
// from fresh mappings. Memory then stays at its high-water mark. Idempotent; does nothing
// where the C library has no such setting.
void keepFreedHeapMapped() noexcept;
// keepFreedHeapMapped, and the heap grown at once by `bytes` (at most 240 MB), asked to be
// backed by 2 MB pages, and kept for what follows: for a process about to allocate and free
// tens of megabytes.
void growHeapOnLargePages(std::size_t bytes) noexcept;

// For a process with time to spare before a burst of work (a dialog waiting for its user):
// grows the calling thread's heap as growHeapOnLargePages does, and reserves `reserveBytes`
// (rounded up to 2 MB) for the large arrays to come, replacing an earlier reserve. Both are
// faulted in on a thread of its own, so the caller goes on at once; arrays take from the
// reserve only once all of it is backed. The result is ready when everything is.
std::shared_future<void> prepareMemoryInBackground(std::size_t heapBytes, std::size_t reserveBytes) noexcept;

}  // namespace rt
