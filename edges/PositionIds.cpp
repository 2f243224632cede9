// Positions are matched by value, not by vertex number, so vertices split at a seam still
// join their faces. Two positions compare equal as floats exactly when their bit patterns
// agree once -0 is read as +0, provided neither has a NaN; that makes a hash of the bits an
// exact stand-in for the coordinate-by-coordinate comparison.

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

// The table holds the first vertex seen at each position, whose id the later ones take, with
// more bits of its hash beside it: eight bytes a slot, and a slot of another position is
// passed over without reading that vertex's position (a cache miss in a model of millions).
uint32_t assignPositionIds(const MeshView& mesh, Table<uint32_t>& ids) {
    const uint32_t count = mesh.vertexCount();
    // Kept at most two-thirds full.
    const size_t size = std::bit_ceil(size_t{count} + count / 2 + 2);
    const unsigned shift = 64 - std::countr_zero(size);
    constexpr uint64_t kEmpty = ~uint64_t{0};
    Table<uint64_t> table(size, kEmpty);
    ids.assign(count, kNoPosition);
    uint32_t nextId = 0;
    for (uint32_t v = 0; v < count; ++v) {
        const D3DVECTOR p = mesh.position(v);
        if (hasNaN(p)) continue;
        const PositionKey key = keyOf(p);
        const uint64_t hash = hashOf(key);
        const uint64_t tag = hash << 32;  // the low half of the hash; the slot comes from the high bits
        size_t i = hash >> shift;
        for (; table[i] != kEmpty; i = (i + 1) & (size - 1)) {
            const auto first = static_cast<uint32_t>(table[i]);
            if ((table[i] & ~uint64_t{0xFFFFFFFF}) == tag && keyOf(mesh.position(first)) == key) break;
        }
        if (table[i] == kEmpty) {
            table[i] = tag | v;
            ids[v] = nextId++;
        } else {
            ids[v] = ids[static_cast<uint32_t>(table[i])];
        }
    }
    return nextId;
}

}  // namespace Module1::detail
