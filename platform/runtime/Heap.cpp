#include "runtime/Heap.h"

#include <sys/stat.h>

#include "runtime/Sanitizers.h"

#if defined(__GLIBC__) && !defined(CELSHADE_SANITIZED)
#define CELSHADE_HEAP_POLICY 1
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#endif

namespace rt {

#if CELSHADE_HEAP_POLICY

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMostPrepared = std::size_t{1} << 30;
constexpr int kDefaultMmapMax = 65536;  // glibc's own

}  // namespace

void setMallocPolicy() noexcept {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest glibc accepts
    // Above anything prepareHeap lays out: freeing must not hand it back at once.
    mallopt(M_TRIM_THRESHOLD, 2047 << 20);
}

void prepareHeap(std::size_t bytes) noexcept {
    if (bytes < 2 * kHugePage) return;
    bytes = std::min(bytes, kMostPrepared);
    // One block from the heap's end, however large (no mapping of its own), freed at once: the
    // heap keeps the address space, untouched.
    mallopt(M_MMAP_MAX, 0);
    const auto begin = reinterpret_cast<std::uintptr_t>(sbrk(0));
    void* volatile block = std::malloc(bytes);  // volatile: the pair must not be optimised away
    const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
    mallopt(M_MMAP_MAX, kDefaultMmapMax);
    const std::uintptr_t first = (begin + kHugePage - 1) / kHugePage * kHugePage, last = end / kHugePage * kHugePage;
    if (block != nullptr && last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    std::free(block);
}

void giveBackFreeMemory() noexcept { malloc_trim(0); }

#else

void setMallocPolicy() noexcept {}
void prepareHeap(std::size_t) noexcept {}
void giveBackFreeMemory() noexcept {}

#endif

void prepareHeapForFile(const std::string& path) noexcept {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && info.st_size > 0) prepareHeap(static_cast<std::size_t>(info.st_size) * 128);
}

}  // namespace rt
