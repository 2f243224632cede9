// The program's largest arrays (an inflated file, the edge list and the build's tables, the
// vertex columns) come from the ordinary allocator, so that AddressSanitizer sees their exact
// bounds: in the sanitizer build, one element written past the end of a large one is caught.
#include <gtest/gtest.h>

#include <functional>

#include "d3d8/VertexStage.h"
#include "edges/EdgeStages.h"
#include "edges/Module1.h"
#include "xfile/Buffer.h"

#if defined(__SANITIZE_ADDRESS__)
#define CELSHADE_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CELSHADE_UNDER_ASAN 1
#endif
#endif

namespace {

constexpr std::size_t kLarge = std::size_t{3} << 20;  // elements: megabytes, well past any small-block path

// Writes through a pointer the compiler cannot see the end of.
template <typename T>
void writeOnePast(T* data, std::size_t size) {
    T* volatile end = data + size;
    *end = T{};
}

TEST(LargeArrays, AnOverrunByOneElementIsCaughtUnderTheSanitizer) {
#if !defined(CELSHADE_UNDER_ASAN)
    GTEST_SKIP() << "a sanitizer build checks this (scripts/test sanitize)";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<const char*, std::function<void()>> arrays[] = {
        {"inflated file", [] {
             xfile::ByteBuffer bytes(kLarge);
             writeOnePast(bytes.data(), bytes.size());
         }},
        {"edge list", [] {
             Module1::EdgeList lines(kLarge / 36);
             writeOnePast(lines.data(), lines.size());
         }},
        {"edge build table", [] {
             Module1::detail::Table<uint64_t> table(kLarge / 8);
             writeOnePast(table.data(), table.size());
         }},
        {"vertex column", [] {
             ProcessedVertices vertices;
             vertices.resize(kLarge / 4);
             writeOnePast(vertices.w.data(), vertices.size());
         }},
    };
    for (const auto& [name, overrun] : arrays) EXPECT_DEATH(overrun(), "heap-buffer-overflow") << name;
#endif
}

}  // namespace
