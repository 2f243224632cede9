#include "edges/Module1.h"

#include <algorithm>
#include <array>
#include <thread>

#include "BlockPipeline.h"
#include "EdgeStages.h"
#include "runtime/Events.h"

namespace Module1 {

// The dialog writes the value from its text box at load; this only covers builds run
// without the dialog (tools, tests).
float threshold = 0.5f;
int32_t edgeProgress = 0;

bool sameVector(const D3DVECTOR& a, const D3DVECTOR& b) {
    if (a.x != b.x) return false;
    if (a.y != b.y) return false;
    return a.z == b.z;
}

namespace detail {

namespace {

// A face across an edge, as the neighbour search meets it: its normal and that normal's dot
// with the normal of the face that owns the edge. Neither depends on the threshold.
struct Candidate {
    D3DVECTOR normal;
    float dot;
};

// The candidates of one edge end at `end` in the block's list; `more` when the edge has more
// of them than a block lists (only where many faces share one edge), which are looked up when
// the listed ones all fail.
struct EdgeCandidates {
    uint32_t end;
    bool more;
};

constexpr size_t kListedCandidates = 8;
constexpr unsigned kSlots = 4;

// One block of faces of a range, prepared: their entries written but for normalB, and each
// edge's candidates in the order the search visits them.
struct PreparedBlock {
    std::vector<D3DVECTOR> normals;     // per face, for neighbours in the same block
    std::vector<EdgeCandidates> edges;  // three per face
    std::vector<Candidate> candidates;
};

// The build of one attribute range. Everything that does not depend on the threshold (corner
// positions, face normals, the faces across each edge and their dots) is prepared a block at a
// time, on either thread; what does (the choice of each edge's neighbour, normalB, the yield
// and the progress count) is finished face by face on the calling thread, in order.
class RangeBuild {
public:
    RangeBuild(const MeshView& mesh, const Table<uint32_t>& positionIds, const RangeEdgeIndex& index,
               const D3DXATTRIBUTERANGE& range, edgeVertex* entries, uint32_t blockFaces)
        : mesh_(mesh), positionIds_(positionIds), index_(index), range_(range), entries_(entries),
          blockFaces_(blockFaces) {}

    // `blocks` holds the slots, kept from range to range so that their lists keep their room.
    void run(const float& threshold, const YieldFn& yield, bool withHelper, std::array<PreparedBlock, kSlots>& blocks) {
        const size_t blockCount = (size_t{range_.FaceCount} + blockFaces_ - 1) / blockFaces_;
        BlockPipeline pipeline(blockCount, kSlots, withHelper,
                               [&](size_t block, unsigned slot) { prepare(block, blocks[slot]); });
        for (size_t block = 0; block < blockCount; ++block) {
            finish(block, blocks[pipeline.take(block)], threshold, yield);
            pipeline.release(block);
        }
    }

private:
    uint32_t firstFaceOf(size_t block) const { return range_.FaceStart + static_cast<uint32_t>(block * blockFaces_); }
    uint32_t endFaceOf(size_t block) const {
        return range_.FaceStart + static_cast<uint32_t>(std::min<size_t>((block + 1) * blockFaces_, range_.FaceCount));
    }
    // Entries of face f: six from here.
    edgeVertex* entriesOf(uint32_t f) const { return entries_ + 6 * size_t{f - range_.FaceStart}; }
    // Calls visit(g) for the faces of the range that run edge k of a face with these corner ids
    // the other way, ascending.
    template <typename Visit>
    void forEachFaceAcross(const std::array<uint32_t, 3>& id, size_t k, Visit visit) const {
        index_.forEachFaceRunning(id[k == 2 ? 0 : k + 1], id[k], visit);
    }

    // Two passes over a block: its entries with their face normals first, so that a neighbour
    // in the same block (most of them) has its normal to hand; then each edge's candidates.
    void prepare(size_t block, PreparedBlock& prepared) const {
        const uint32_t first = firstFaceOf(block), end = endFaceOf(block);
        prepared.normals.clear();
        prepared.normals.reserve(blockFaces_);
        for (uint32_t f = first; f < end; ++f) {
            const D3DVECTOR normal = prepared.normals.emplace_back(faceNormal(mesh_, f));
            edgeVertex* out = entriesOf(f);
            for (size_t k = 0; k < 3; ++k) {
                out[2 * k] = {mesh_.corner(3 * size_t{f} + k), normal, {}};
                out[2 * k + 1] = {mesh_.corner(3 * size_t{f} + (k + 1) % 3), normal, {}};
            }
        }
        auto normalOf = [&](uint32_t g) { return g >= first && g < end ? prepared.normals[g - first] : faceNormal(mesh_, g); };
        prepared.edges.clear();
        prepared.candidates.clear();
        prepared.edges.reserve(3 * blockFaces_);
        prepared.candidates.reserve(3 * blockFaces_);
        for (uint32_t f = first; f < end; ++f) {
            const D3DVECTOR normal = prepared.normals[f - first];
            const std::array<uint32_t, 3> id = cornerIds(mesh_, positionIds_, f);
            for (size_t k = 0; k < 3; ++k) {
                size_t listed = 0;
                bool more = false;
                forEachFaceAcross(id, k, [&](uint32_t g) {
                    if (listed == kListedCandidates) {
                        more = true;
                        return false;
                    }
                    const D3DVECTOR other = normalOf(g);
                    prepared.candidates.push_back({other, D3DXVec3Dot(normal, other)});
                    ++listed;
                    return true;
                });
                prepared.edges.push_back({static_cast<uint32_t>(prepared.candidates.size()), more});
            }
        }
    }

    // The normal of the first face across edge k of face f, after the listed ones, that bends
    // away from f by less than the threshold allows; false when there is none.
    bool laterNeighbour(uint32_t f, size_t k, const D3DVECTOR& normal, const float& threshold, D3DVECTOR& found) const {
        size_t skipped = 0;
        bool passed = false;
        forEachFaceAcross(cornerIds(mesh_, positionIds_, f), k, [&](uint32_t g) {
            if (skipped < kListedCandidates) {
                ++skipped;
                return true;
            }
            const D3DVECTOR other = faceNormal(mesh_, g);
            // The threshold is read at every comparison: a handler may change it in a yield.
            passed = D3DXVec3Dot(normal, other) > threshold;
            if (passed) found = other;
            return !passed;
        });
        return passed;
    }

    void finish(size_t block, const PreparedBlock& prepared, const float& threshold, const YieldFn& yield) const {
        const EdgeCandidates* edge = prepared.edges.data();
        uint32_t begin = 0;
        for (uint32_t f = firstFaceOf(block); f < endFaceOf(block); ++f) {
            edgeVertex* out = entriesOf(f);
            const D3DVECTOR flipped = D3DXVec3Scale(out[0].normalA, -1.0f);
            for (size_t k = 0; k < 3; ++k, ++edge) {
                const D3DVECTOR* chosen = nullptr;
                for (uint32_t i = begin; i < edge->end && !chosen; ++i)
                    if (prepared.candidates[i].dot > threshold) chosen = &prepared.candidates[i].normal;
                D3DVECTOR later;
                if (!chosen && edge->more && laterNeighbour(f, k, out[0].normalA, threshold, later))
                    chosen = &later;
                out[2 * k].normalB = out[2 * k + 1].normalB = chosen ? *chosen : flipped;
                begin = edge->end;
            }
            if (yield) yield();
            ++edgeProgress;
        }
    }

    const MeshView& mesh_;
    const Table<uint32_t>& positionIds_;
    const RangeEdgeIndex& index_;
    const D3DXATTRIBUTERANGE range_;
    edgeVertex* const entries_;
    const size_t blockFaces_;
};

}  // namespace

EdgeList buildEdges(const D3DXMesh& mesh, std::span<const D3DXATTRIBUTERANGE> ranges, const float& threshold,
                    const YieldFn& yield, Spread spread) {
    edgeProgress = 0;
    // Everything the build needs from the mesh and the table is checked and taken before the
    // first yield.
    const std::vector<D3DXATTRIBUTERANGE> table = checkedRanges(ranges, mesh.GetNumFaces());
    const MeshView view(mesh);
    Table<uint32_t> positionIds;
    RangeEdgeIndex index(assignPositionIds(view, positionIds, view.vertexCount() >= spread.spreadVertices));
    const bool twoCores = std::thread::hardware_concurrency() > 1;
    const uint32_t blockFaces = std::max(spread.blockFaces, 1u);

    // Sized at once, its pages untouched until the entries are written; those after the last
    // face processed are zeroed at the end.
    EdgeList out(size_t{view.faceCount()} * 6);
    size_t written = 0;
    std::array<PreparedBlock, kSlots> blocks;
    for (const D3DXATTRIBUTERANGE& range : table) {
        if (range.FaceCount == 0) continue;
        index.build(view, positionIds, range.FaceStart, range.FaceCount, range.FaceCount >= spread.spreadFaces);
        RangeBuild build(view, positionIds, index, range, out.data() + written, blockFaces);
        build.run(threshold, yield, twoCores && range.FaceCount >= spread.threadedFaces, blocks);
        written += size_t{range.FaceCount} * 6;
    }
    std::fill(out.begin() + static_cast<ptrdiff_t>(written), out.end(), edgeVertex{});
    return out;
}

}  // namespace detail

EdgeList buildEdges(const D3DXMesh& mesh, std::span<const D3DXATTRIBUTERANGE> ranges, const float& threshold,
                    const YieldFn& yield) {
    return detail::buildEdges(mesh, ranges, threshold, yield, detail::Spread{});
}

EdgeList buildEdges(const D3DXMesh& mesh, std::span<const D3DXATTRIBUTERANGE> ranges) {
    rt::PacedEventStep eventStep;
    return buildEdges(mesh, ranges, threshold, [&eventStep] { eventStep(); });
}

}  // namespace Module1
