#include "runtime/LargePages.h"

#include <sys/mman.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace rt {

namespace {

// From this size up the C library's allocator maps fresh 4 KB pages for each array (its
// default threshold); below it the heap's pages are usually warm already.
constexpr std::size_t kMapThreshold = std::size_t{128} << 10;
// Huge pages cover aligned 2 MB extents only.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Freed mappings kept for the next arrays (the next build's tables are much like the last
// one's): faulted-in pages are reused instead of being zeroed again by the kernel.
constexpr std::size_t kKeptBytes = std::size_t{64} << 20;

// Writes one byte in every 4 KB page, so that the kernel backs them all now. Through a
// volatile pointer: a plain memset of memory about to be freed is a dead store the compiler
// may drop.
void faultIn(void* start, std::size_t length) noexcept {
    constexpr std::size_t kPage = 4096;
    auto* bytes = static_cast<volatile unsigned char*>(start);
    for (std::size_t offset = 0; offset < length; offset += kPage) bytes[offset] = 0;
}

struct Mapping {
    std::byte* start;
    std::size_t length;
};

class Mappings {
public:
    std::byte* take(std::size_t length) {
        std::lock_guard lock(mutex_);
        // The smallest kept mapping that fits without wasting more than it holds.
        auto best = kept_.end();
        for (auto it = kept_.begin(); it != kept_.end(); ++it)
            if (it->length >= length && it->length <= 2 * length && (best == kept_.end() || it->length < best->length))
                best = it;
        Mapping m = best != kept_.end() ? *best : Mapping{fromReserveOrFresh(length), length};
        if (best != kept_.end()) {
            keptBytes_ -= best->length;
            kept_.erase(best);
        }
        live_.push_back(m);
        return m.start;
    }

    void give(void* p) noexcept {
        std::lock_guard lock(mutex_);  // locking a plain mutex does not fail in practice
        auto it = std::find_if(live_.begin(), live_.end(), [&](const Mapping& m) { return m.start == p; });
        if (it == live_.end()) return;
        const Mapping m = *it;
        live_.erase(it);
        try {
            kept_.push_back(m);
        } catch (const std::bad_alloc&) {
            ::munmap(m.start, m.length);
            return;
        }
        keptBytes_ += m.length;
        // The oldest go first.
        while (keptBytes_ > kKeptBytes) {
            ::munmap(kept_.front().start, kept_.front().length);
            keptBytes_ -= kept_.front().length;
            kept_.erase(kept_.begin());
        }
    }

    void reserve(std::size_t length) {
        std::byte* start = mapAligned(length);
        faultIn(start, length);  // now, while nothing waits for it
        std::lock_guard lock(mutex_);
        if (reserve_.length > 0) ::munmap(reserve_.start, reserve_.length);
        reserve_ = {start, length};
    }

private:
    // A mapping may be given back in parts, so a piece cut from the reserve is a mapping like
    // any other.
    std::byte* fromReserveOrFresh(std::size_t length) {
        if (reserve_.length < length) return mapAligned(length);
        std::byte* start = reserve_.start;
        reserve_.start += length;
        reserve_.length -= length;
        return start;
    }

    // One huge page more than needed is mapped; what lies before the first aligned address and
    // after the aligned extent is given back.
    static std::byte* mapAligned(std::size_t length) {
        const std::size_t slack = length + kHugePage;
        void* p = ::mmap(nullptr, slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        auto* base = static_cast<std::byte*>(p);
        const std::size_t skip = (kHugePage - reinterpret_cast<std::uintptr_t>(base) % kHugePage) % kHugePage;
        if (skip > 0) ::munmap(base, skip);
        if (slack - skip > length) ::munmap(base + skip + length, slack - skip - length);
        ::madvise(base + skip, length, MADV_HUGEPAGE);  // a request: ignored where huge pages are off
        return base + skip;
    }

    std::mutex mutex_;
    std::vector<Mapping> live_;
    std::vector<Mapping> kept_;
    std::size_t keptBytes_ = 0;
    Mapping reserve_{nullptr, 0};
};

Mappings& mappings() {
    // Never destroyed: arrays may be freed by other static destructors.
    static Mappings* instance = new Mappings;
    return *instance;
}

void reserve(std::size_t bytes) noexcept {
    try {
        mappings().reserve((bytes + kHugePage - 1) / kHugePage * kHugePage);
    } catch (const std::bad_alloc&) {
        // Large arrays are then mapped as they come.
    }
}

// Blocks just under glibc's largest mapping threshold make the heap itself grow by them all.
constexpr std::size_t kHeapBlock = std::size_t{30} << 20;
using HeapBlocks = std::array<void*, 8>;

// Grows the calling thread's heap by about `bytes` (the blocks hold it until released) and
// asks for that part to be backed by 2 MB pages.
HeapBlocks growHeap(std::size_t bytes) noexcept {
    HeapBlocks blocks{};
#if defined(__GLIBC__)
    const std::size_t count = std::min(blocks.size(), (bytes + kHeapBlock - 1) / kHeapBlock);
    const auto begin = reinterpret_cast<std::uintptr_t>(sbrk(0));
    for (std::size_t i = 0; i < count; ++i) blocks[i] = std::malloc(kHeapBlock);
    const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
    const std::uintptr_t first = (begin + kHugePage - 1) / kHugePage * kHugePage, last = end / kHugePage * kHugePage;
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)bytes;
#endif
    return blocks;
}

// Frees the blocks into the heap, where they stay (below the trim threshold); `touch` faults
// them in first. Any thread may do it.
void release(const HeapBlocks& blocks, bool touch) noexcept {
    for (void* block : blocks) {
        if (touch && block != nullptr) faultIn(block, kHeapBlock);
        std::free(block);
    }
}

}  // namespace

void* allocateLarge(std::size_t bytes) {
    if (bytes < kMapThreshold) return ::operator new(bytes);
    return mappings().take((bytes + kHugePage - 1) / kHugePage * kHugePage);
}

void freeLarge(void* p, std::size_t bytes) noexcept {
    if (p == nullptr) return;
    if (bytes < kMapThreshold)
        ::operator delete(p);
    else
        mappings().give(p);
}

void keepFreedHeapMapped() noexcept {
#if defined(__GLIBC__)
    // Setting either value also stops glibc from moving them by itself.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
}

void growHeapOnLargePages(std::size_t bytes) noexcept {
    keepFreedHeapMapped();
    release(growHeap(bytes), false);
}

std::shared_future<void> prepareMemoryInBackground(std::size_t heapBytes, std::size_t reserveBytes) noexcept {
    keepFreedHeapMapped();
    const HeapBlocks blocks = growHeap(heapBytes);  // on this thread: its heap is the one to grow
    auto done = std::make_shared<std::promise<void>>();
    std::shared_future<void> ready = done->get_future().share();
    auto work = [blocks, reserveBytes, done] {
        release(blocks, true);
        reserve(reserveBytes);
        done->set_value();
    };
    try {
        std::thread(work).detach();
    } catch (const std::system_error&) {
        work();  // no thread to be had: done here instead
    }
    return ready;
}

}  // namespace rt
