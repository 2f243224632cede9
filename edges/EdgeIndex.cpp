// Grouping a range's directed edges by their start position turns the neighbour search from
// a scan of the whole range into a look at the few edges that leave one point. Within a
// group the edges are ordered by end position and then by face, so the faces that run one
// directed edge come out in ascending order: walking them visits candidates in the order a
// scan of the range would, and the first that passes the threshold is the same face.
//
// Position ids are dense, at most one per vertex, so the per-id tables are as small as the
// vertex count allows; only the ids a range touches are reset between ranges.

#include <algorithm>

#include "EdgeStages.h"

namespace Module1::detail {

namespace {

uint64_t entryOf(uint32_t to, uint32_t face) { return uint64_t{to} << 32 | face; }

// Most groups hold a handful of edges (a vertex's valence), where insertion sort wins.
void sortGroup(uint64_t* first, uint64_t* last) {
    if (last - first > 32) {
        std::sort(first, last);
        return;
    }
    for (uint64_t* i = first + 1; i < last; ++i) {
        const uint64_t value = *i;
        uint64_t* j = i;
        for (; j > first && *(j - 1) > value; --j) *j = *(j - 1);
        *j = value;
    }
}

}  // namespace

RangeEdgeIndex::RangeEdgeIndex(uint32_t distinctPositions)
    : count_(distinctPositions, 0), start_(distinctPositions, 0) {}

void RangeEdgeIndex::build(const MeshGeometry& geometry, uint32_t firstFace, uint32_t faceCount) {
    for (uint32_t id : touched_) count_[id] = 0;
    touched_.clear();
    const size_t firstCorner = size_t{firstFace} * 3, endCorner = firstCorner + size_t{faceCount} * 3;
    auto edgeEnds = [&](size_t c, uint32_t& from, uint32_t& to) {
        from = geometry.cornerId(c);
        to = geometry.cornerId(c % 3 == 2 ? c - 2 : c + 1);
        return from != kNoPosition && to != kNoPosition;
    };

    uint32_t from = 0, to = 0;
    for (size_t c = firstCorner; c < endCorner; ++c) {
        if (!edgeEnds(c, from, to)) continue;
        if (count_[from]++ == 0) touched_.push_back(from);
    }
    uint32_t next = 0;
    for (uint32_t id : touched_) {
        start_[id] = next;
        next += count_[id];
    }
    edges_.resize(next);
    // Faces go in ascending, so a stable order by end position keeps them ascending per edge.
    Table<uint32_t>& fill = count_;
    for (uint32_t id : touched_) fill[id] = 0;
    for (size_t c = firstCorner; c < endCorner; ++c) {
        if (!edgeEnds(c, from, to)) continue;
        edges_[start_[from] + fill[from]++] = entryOf(to, static_cast<uint32_t>(c / 3));
    }
    for (uint32_t id : touched_) sortGroup(edges_.data() + start_[id], edges_.data() + start_[id] + count_[id]);
}

std::span<const uint64_t> RangeEdgeIndex::facesWithEdge(uint32_t from, uint32_t to) const {
    if (from == kNoPosition || to == kNoPosition || count_[from] == 0) return {};
    const uint64_t* first = edges_.data() + start_[from];
    const uint64_t* const end = first + count_[from];
    const uint64_t low = entryOf(to, 0);
    first = end - first > 16 ? std::lower_bound(first, end, low) : std::find_if(first, end, [&](uint64_t e) { return e >= low; });
    const uint64_t* last = first;
    while (last != end && (*last >> 32) == to) ++last;
    return {first, last};
}

}  // namespace Module1::detail
