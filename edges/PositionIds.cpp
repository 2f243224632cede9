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

uint64_t hashOf(const PositionKey& k) {
    uint64_t h = (uint64_t{k.x} << 32 | k.y) * 0x9E3779B97F4A7C15ull;
    return (h ^ k.z) * 0xC2B2AE3D27D4EB4Full;
}

}  // namespace

uint32_t assignPositionIds(std::span<const D3DVECTOR> positions, Table<uint32_t>& ids) {
    struct Entry {
        PositionKey key;
        uint32_t id;
    };
    // Kept at most two-thirds full; small enough to stay in cache for 16-bit meshes.
    const size_t size = std::bit_ceil(positions.size() + positions.size() / 2 + 2);
    const unsigned shift = 64 - std::countr_zero(size);
    Table<Entry> table(size, Entry{{}, kNoPosition});
    ids.assign(positions.size(), kNoPosition);
    uint32_t nextId = 0;
    for (size_t v = 0; v < positions.size(); ++v) {
        const D3DVECTOR& p = positions[v];
        if (hasNaN(p)) continue;
        const PositionKey key{canonicalBits(p.x), canonicalBits(p.y), canonicalBits(p.z)};
        size_t i = hashOf(key) >> shift;
        while (table[i].id != kNoPosition && !(table[i].key == key)) i = (i + 1) & (size - 1);
        if (table[i].id == kNoPosition) table[i] = Entry{key, nextId++};
        ids[v] = table[i].id;
    }
    return nextId;
}

}  // namespace Module1::detail
