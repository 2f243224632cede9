// Grouping a range's directed edges by their start position turns the neighbour search from
// a scan of the whole range into a look at the few edges that leave one point. A group holds
// the corners at its position in ascending order, which is ascending face order: walking the
// ones whose edge ends at the wanted position visits candidates in the order a scan of the
// range would, and the first that passes the threshold is the same face.
//
// Position ids are vertex numbers, so the per-id tables are as small as the vertex count
// allows; only the ids a range touches are reset between ranges.

#include "EdgeStages.h"

namespace Module1::detail {

RangeEdgeIndex::RangeEdgeIndex(uint32_t positionIdBound) : groups_(positionIdBound), firstHalf_(positionIdBound, 0) {}

// The start position of corner c's edge; kNoPosition for an edge with a NaN end, which has no
// neighbour and is no one's.
uint32_t RangeEdgeIndex::startOf(size_t c) const {
    const uint32_t from = (*positionIds_)[mesh_->vertex(c)];
    return from != kNoPosition && endOf(c) != kNoPosition ? from : kNoPosition;
}

// The range's corners in two halves, one on each core when spread: counted, the
// groups laid out with a group's first-half corners before its second-half ones, then filled,
// each half in ascending order, so every group comes out ascending.
void RangeEdgeIndex::build(const MeshView& mesh, const Table<uint32_t>& positionIds, uint32_t firstFace,
                           uint32_t faceCount, bool spread) {
    mesh_ = &mesh;
    positionIds_ = &positionIds;
    for (uint32_t id : touched_) groups_[id].count = 0;
    touched_.clear();
    touchedFirst_.clear();
    const size_t begin = size_t{firstFace} * 3, end = begin + size_t{faceCount} * 3;
    const size_t middle = begin + (end - begin) / 2;

    forEachTask(2, spread, [&](size_t half) {
        if (half == 0) {
            for (size_t c = begin; c < middle; ++c)
                if (const uint32_t from = startOf(c); from != kNoPosition && firstHalf_[from]++ == 0)
                    touchedFirst_.push_back(from);
        } else {
            for (size_t c = middle; c < end; ++c)
                if (const uint32_t from = startOf(c); from != kNoPosition && groups_[from].count++ == 0)
                    touched_.push_back(from);
        }
    });
    for (uint32_t id : touchedFirst_)
        if (groups_[id].count == 0) touched_.push_back(id);  // touched by the first half only
    uint32_t next = 0;
    for (uint32_t id : touched_) {
        Group& group = groups_[id];
        const uint32_t inFirstHalf = firstHalf_[id];
        group.count += inFirstHalf;
        firstHalf_[id] = next;              // where the first half writes next
        group.start = next + inFirstHalf;   // where the second half writes next
        next += group.count;
    }
    entries_.resize(next);
    forEachTask(2, spread, [&](size_t half) {
        if (half == 0) {
            for (size_t c = begin; c < middle; ++c)
                if (const uint32_t from = startOf(c); from != kNoPosition) entries_[firstHalf_[from]++] = static_cast<uint32_t>(c);
        } else {
            for (size_t c = middle; c < end; ++c)
                if (const uint32_t from = startOf(c); from != kNoPosition) entries_[groups_[from].start++] = static_cast<uint32_t>(c);
        }
    });
    // The second half stopped at each group's end.
    for (uint32_t id : touched_) {
        groups_[id].start -= groups_[id].count;
        firstHalf_[id] = 0;
    }
}

}  // namespace Module1::detail
