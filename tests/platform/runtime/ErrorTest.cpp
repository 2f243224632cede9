#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/Error.h"
#include "runtime/Events.h"
#include "runtime/LargePages.h"
#include "runtime/Status.h"

namespace {

TEST(RuntimeErrors, CarryTheClassicNumbersAndTexts) {
    try {
        rt::raiseRuntime(rt::errc::SubscriptOutOfRange, "attribRanges(0)");
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), 9);
        EXPECT_EQ(e.text(), "Subscript out of range: attribRanges(0)");
    }
    const std::pair<int, const char*> texts[] = {
        {5, "Invalid procedure call or argument"}, {6, "Overflow"}, {11, "Division by zero"}, {53, "File not found"}};
    for (const auto& [number, text] : texts) EXPECT_EQ(rt::runtimeErrorText(number), text);
}

TEST(StatusErrors, NumberIsTheStatusAndTextNamesIt) {
    try {
        rt::check(D3DERR_INVALIDCALL, "BeginScene");
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(static_cast<uint32_t>(e.number()), 0x8876086Cu);
        EXPECT_EQ(e.text(), "D3DERR_INVALIDCALL: BeginScene");
    }
    EXPECT_NO_THROW(rt::check(S_OK, "Clear"));
    EXPECT_EQ(rt::statusName(D3DXERR_INVALIDDATA), "D3DXERR_INVALIDDATA");
    EXPECT_EQ(rt::statusName(static_cast<HRESULT>(0x80001234u)), "HRESULT 0x80001234");
}

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

namespace {

// Large arrays start on a 2 MB boundary, where the kernel can back them with huge pages; freed
// and taken again they keep working whatever size comes next.
TEST(LargePages, ArraysFromTheThresholdUpStartOnAHugePageBoundary) {
    for (size_t bytes : {size_t{100}, size_t{128} << 10, size_t{3} << 20, size_t{1} << 20, size_t{5} << 20}) {
        rt::LargeVector<uint8_t> array(bytes, uint8_t{7});
        EXPECT_EQ(array.back(), 7);
        if (bytes >= (size_t{128} << 10)) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(array.data()) % (2u << 20), 0u) << bytes;
        }
    }
}

// Whether every 4 KB page of [start, start + bytes) is backed by memory now.
bool resident(const void* start, std::size_t bytes) {
    constexpr std::uintptr_t kPage = 4096;
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(start) + kPage - 1) / kPage * kPage;
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(start) + bytes;
    std::vector<unsigned char> pages((end - first) / kPage);
    if (mincore(reinterpret_cast<void*>(first), pages.size() * kPage, pages.data()) != 0) return false;
    for (unsigned char page : pages)
        if (!(page & 1)) return false;
    return true;
}

// Memory prepared ahead is backed before the arrays that take it write a byte: its first
// touch must not be an optimised-away store.
TEST(LargePages, PreparedMemoryIsBackedBeforeItsFirstUse) {
    constexpr std::size_t kArray = std::size_t{14} << 20;  // larger than any array kept so far
    rt::prepareMemoryInBackground(std::size_t{64} << 20, std::size_t{16} << 20).wait();
    void* reserved = rt::allocateLarge(kArray);
    EXPECT_TRUE(resident(reserved, kArray)) << "the reserve is backed";
    rt::freeLarge(reserved, kArray);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // the sanitizers' allocators have no heap to grow
    void* block = std::malloc(kArray);
    EXPECT_TRUE(resident(block, kArray)) << "the heap's grown part is backed";
    std::free(block);
#endif
}

}  // namespace
