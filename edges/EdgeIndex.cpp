// Grouping a range's directed edges by their start position turns the neighbour search from
// a scan of the whole range into a look at the few edges that leave one point. A group holds
// the corners at its position in ascending order, which is ascending face order: walking the
// ones whose edge ends at the wanted position visits candidates in the order a scan of the
// range would, and the first that passes the threshold is the same face.
//
// Position ids are dense, at most one per vertex, so the per-id tables are as small as the
// vertex count allows; only the ids a range touches are reset between ranges.

#include "EdgeStages.h"

namespace Module1::detail {

RangeEdgeIndex::RangeEdgeIndex(uint32_t distinctPositions) : groups_(distinctPositions) {}

void RangeEdgeIndex::build(const MeshView& mesh, const Table<uint32_t>& positionIds, uint32_t firstFace,
                           uint32_t faceCount) {
    mesh_ = &mesh;
    positionIds_ = &positionIds;
    for (uint32_t id : touched_) groups_[id].count = 0;
    touched_.clear();
    const size_t firstCorner = size_t{firstFace} * 3, endCorner = firstCorner + size_t{faceCount} * 3;
    // An edge with a NaN end has no neighbour and is no one's.
    auto startOf = [&](size_t c) {
        const uint32_t from = positionIds[mesh.vertex(c)];
        return from != kNoPosition && endOf(c) != kNoPosition ? from : kNoPosition;
    };

    for (size_t c = firstCorner; c < endCorner; ++c)
        if (const uint32_t from = startOf(c); from != kNoPosition && groups_[from].count++ == 0) touched_.push_back(from);
    uint32_t next = 0;
    for (uint32_t id : touched_) groups_[id].start = next += groups_[id].count;  // the group's end, for now
    entries_.resize(next);
    // From the last corner down, each group filled from its end: ascending within the group,
    // and its start ends at its first entry.
    for (size_t c = endCorner; c-- > firstCorner;)
        if (const uint32_t from = startOf(c); from != kNoPosition) entries_[--groups_[from].start] = static_cast<uint32_t>(c);
}

}  // namespace Module1::detail
