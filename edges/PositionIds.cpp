// Positions are matched by value, not by vertex number, so vertices split at a seam still
// join their faces. Two positions compare equal as floats exactly when their bit patterns
// agree once -0 is read as +0, provided neither has a NaN; that makes a hash of the bits an
// exact stand-in for the coordinate-by-coordinate comparison.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "EdgeStages.h"

namespace Module1::detail {

namespace {

struct PositionKey {
    uint32_t x, y, z;
    bool operator==(const PositionKey&) const = default;
};

uint32_t canonicalBits(float f) {
    return f == 0.0f ? 0u : std::bit_cast<uint32_t>(f);
}

bool hasNaN(const D3DVECTOR& p) { return std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z); }

PositionKey keyOf(const D3DVECTOR& p) { return {canonicalBits(p.x), canonicalBits(p.y), canonicalBits(p.z)}; }

uint64_t hashOf(const PositionKey& k) {
    uint64_t h = (uint64_t{k.x} << 32 | k.y) * 0x9E3779B97F4A7C15ull;
    return (h ^ k.z) * 0xC2B2AE3D27D4EB4Full;
}

}  // namespace

// A vertex's id is the number of a vertex at its position that the table holds: four bytes of
// that vertex beside four more bits of its hash, so that a slot of another position is
// passed over without reading that vertex's position (a cache miss in a model of millions).
// Vertices are entered on every core at once: a slot is claimed by an atomic exchange from
// empty, so a position is entered once, by whichever of its vertices comes first.
uint32_t assignPositionIds(const MeshView& mesh, Table<uint32_t>& ids, bool spread) {
    const uint32_t count = mesh.vertexCount();
    // Kept at most two-thirds full.
    const size_t size = std::bit_ceil(size_t{count} + count / 2 + 2);
    const unsigned shift = 64 - std::countr_zero(size);
    constexpr uint64_t kEmpty = ~uint64_t{0};
    Table<uint64_t> table(size, kEmpty);
    ids.assign(count, kNoPosition);
    auto enter = [&](uint32_t v) {
        const D3DVECTOR p = mesh.position(v);
        if (hasNaN(p)) return;
        const PositionKey key = keyOf(p);
        const uint64_t hash = hashOf(key);
        // The hash's low half beside the vertex; the slot comes from its high bits.
        const uint64_t entry = hash << 32 | v;
        for (size_t i = hash >> shift;; i = (i + 1) & (size - 1)) {
            std::atomic_ref<uint64_t> slot(table[i]);
            uint64_t held = slot.load(std::memory_order_relaxed);
            if (held == kEmpty && slot.compare_exchange_strong(held, entry, std::memory_order_relaxed)) {
                ids[v] = v;
                return;
            }
            const auto first = static_cast<uint32_t>(held);
            if ((held >> 32) == (entry >> 32) && keyOf(mesh.position(first)) == key) {
                ids[v] = first;
                return;
            }
        }
    };
    constexpr uint32_t kTaskVertices = 1 << 16;
    forEachTask((size_t{count} + kTaskVertices - 1) / kTaskVertices, spread, [&](size_t task) {
        const uint32_t first = static_cast<uint32_t>(task * kTaskVertices);
        for (uint32_t v = first; v < std::min(count, first + kTaskVertices); ++v) enter(v);
    });
    return count;
}

}  // namespace Module1::detail
