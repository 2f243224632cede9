// Grouping a range's faces by directed edge turns the neighbour search from a scan of the
// whole range into a walk over the few faces that share the edge. The groups keep the faces
// in ascending order, so walking a group visits candidates in the same order as a scan of
// the range would, and the first one that passes the threshold is the same face.

#include <bit>

#include "EdgeStages.h"

namespace Module1::detail {

namespace {

constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

uint64_t edgeKey(uint32_t from, uint32_t to) { return uint64_t{from} << 32 | to; }

uint64_t mix(uint64_t key) { return (key ^ (key >> 29)) * 0x9E3779B97F4A7C15ull; }

}  // namespace

size_t RangeEdgeIndex::findSlot(uint64_t key) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = mix(key) >> shift_;; i = (i + 1) & mask) {
        if (slots_[i].key == key) return i;
        if (slots_[i].key == kEmpty) return kNoSlot;
    }
}

size_t RangeEdgeIndex::insertSlot(uint64_t key) {
    const size_t mask = slots_.size() - 1;
    size_t i = mix(key) >> shift_;
    while (slots_[i].key != key && slots_[i].key != kEmpty) i = (i + 1) & mask;
    slots_[i].key = key;
    return i;
}

void RangeEdgeIndex::build(std::span<const uint32_t> ids, uint32_t firstFace, uint32_t faceCount) {
    const size_t edgeCount = size_t{faceCount} * 3;
    const size_t size = std::bit_ceil(edgeCount * 2 + 2);  // at most half full
    shift_ = 64 - std::countr_zero(size);
    slots_.assign(size, Slot{kEmpty, 0, 0});
    edgeSlot_.assign(edgeCount, kNoSlot);

    // Count each face once per edge it runs; only a face whose corners all coincide runs the
    // same directed edge more than once. `start` holds the last face counted, plus one.
    for (size_t e = 0; e < edgeCount; ++e) {
        const uint32_t face = firstFace + static_cast<uint32_t>(e / 3);
        const uint32_t from = ids[3 * size_t{face} + e % 3];
        const uint32_t to = ids[3 * size_t{face} + (e + 1) % 3];
        if (from == kNoPosition || to == kNoPosition) continue;
        Slot& slot = slots_[insertSlot(edgeKey(from, to))];
        if (slot.start == face + 1) continue;
        slot.start = face + 1;
        ++slot.count;
        edgeSlot_[e] = static_cast<uint32_t>(&slot - slots_.data());
    }

    uint32_t next = 0;
    for (Slot& slot : slots_) {
        slot.start = next;
        next += slot.count;
        slot.count = 0;
    }
    faces_.resize(next);
    for (size_t e = 0; e < edgeCount; ++e) {
        if (edgeSlot_[e] == kNoSlot) continue;
        Slot& slot = slots_[edgeSlot_[e]];
        faces_[slot.start + slot.count++] = firstFace + static_cast<uint32_t>(e / 3);
    }
}

std::span<const uint32_t> RangeEdgeIndex::facesWithEdge(uint32_t from, uint32_t to) const {
    if (from == kNoPosition || to == kNoPosition) return {};
    const size_t i = findSlot(edgeKey(from, to));
    if (i == kNoSlot) return {};
    return {faces_.data() + slots_[i].start, slots_[i].count};
}

}  // namespace Module1::detail
