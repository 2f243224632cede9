// Grouping a range's directed edges by their start position turns the neighbour search from
// a scan of the whole range into a look at the few edges that leave one point. A group holds
// the edges leaving its position in corner order, which is ascending face order: walking the
// ones that end at the wanted position visits candidates in the order a scan of the range
// would, and the first that passes the threshold is the same face. An entry carries its end
// (four bytes more than the corner alone) so that the walk reads nothing else.
//
// Position ids are vertex numbers, so the per-id tables are as small as the vertex count
// allows; only the ids a range touches are reset between ranges.

#include "EdgeStages.h"

namespace Module1::detail {

RangeEdgeIndex::RangeEdgeIndex(uint32_t positionIdBound) : groups_(positionIdBound), firstHalf_(positionIdBound, 0) {}

// An edge with a NaN end has no neighbour and is no one's. A face's ids are read once for
// its three edges.
template <typename Visit>
void RangeEdgeIndex::forEachEdge(uint32_t first, uint32_t end, Visit visit) const {
    for (uint32_t f = first; f < end; ++f) {
        const std::array<uint32_t, 3> id = cornerIds(*mesh_, *positionIds_, f);
        for (uint32_t k = 0; k < 3; ++k) {
            const uint32_t from = id[k], to = id[k == 2 ? 0 : k + 1];
            if (from != kNoPosition && to != kNoPosition) visit(from, to, f);
        }
    }
}

// The range's faces in two halves, one on each core when spread: their edges counted, the
// groups laid out with a group's first-half edges before its second-half ones, then filled,
// each half in corner order, so every group comes out in ascending order.
void RangeEdgeIndex::build(const MeshView& mesh, const Table<uint32_t>& positionIds, uint32_t firstFace,
                           uint32_t faceCount, bool spread) {
    mesh_ = &mesh;
    positionIds_ = &positionIds;
    for (uint32_t id : touched_) groups_[id].count = 0;
    touched_.clear();
    touchedFirst_.clear();
    const uint32_t end = firstFace + faceCount, middle = firstFace + faceCount / 2;

    forEachTask(2, spread, [&](size_t half) {
        if (half == 0)
            forEachEdge(firstFace, middle, [&](uint32_t from, uint32_t, uint32_t) {
                if (firstHalf_[from]++ == 0) touchedFirst_.push_back(from);
            });
        else
            forEachEdge(middle, end, [&](uint32_t from, uint32_t, uint32_t) {
                if (groups_[from].count++ == 0) touched_.push_back(from);
            });
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
        if (half == 0)
            forEachEdge(firstFace, middle, [&](uint32_t from, uint32_t to, uint32_t f) { entries_[firstHalf_[from]++] = {to, f}; });
        else
            forEachEdge(middle, end, [&](uint32_t from, uint32_t to, uint32_t f) { entries_[groups_[from].start++] = {to, f}; });
    });
    // The second half stopped at each group's end.
    for (uint32_t id : touched_) {
        groups_[id].start -= groups_[id].count;
        firstHalf_[id] = 0;
    }
}

}  // namespace Module1::detail
