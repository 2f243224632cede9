#pragma once
// The stages of one edge-list build, each in its own file. Everything here is working state
// local to one call of buildEdges, so a build nested inside another's yield shares nothing.

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

#include "d3dx8/Mesh.h"
#include "edges/Module1.h"
#include "math/d3dmath.h"
#include "runtime/SharedArray.h"

namespace Module1::detail {

// The build's working tables.
template <typename T>
using Table = std::vector<T>;

// Marks a corner whose position has a NaN coordinate: such a corner equals no position, so
// its edges have no neighbour and are no one's neighbour.
inline constexpr uint32_t kNoPosition = 0xFFFFFFFFu;

// The mesh as one build reads it: its vertex and index bytes as they were when the build
// began. They are shared with the mesh, not copied; a write to the mesh copies them first, and
// a mesh released during a yield leaves them to the build (MeshReadback.cpp).
class MeshView {
public:
    // Checks the mesh's layout, counts and indices first.
    explicit MeshView(const D3DXMesh& mesh);

    uint32_t faceCount() const { return faceCount_; }
    uint32_t vertexCount() const { return vertexCount_; }
    // The vertex that corner c names (corner k of face f at 3f + k).
    uint32_t vertex(size_t c) const {
        if (wide_) {
            uint32_t v;
            std::memcpy(&v, indexBytes_ + 4 * c, 4);
            return v;
        }
        uint16_t v;
        std::memcpy(&v, indexBytes_ + 2 * c, 2);
        return v;
    }
    D3DVECTOR position(uint32_t v) const {
        D3DVECTOR p;
        std::memcpy(&p, vertexBytes_ + size_t{v} * stride_, sizeof p);
        return p;
    }
    D3DVECTOR corner(size_t c) const { return position(vertex(c)); }

private:
    rt::SharedArray<std::byte> vertices_, indices_;
    const std::byte* vertexBytes_;
    const std::byte* indexBytes_;
    uint32_t stride_;
    bool wide_;
    uint32_t faceCount_, vertexCount_;
};

// An id per vertex, equal exactly when the positions compare equal as floats, kNoPosition
// for a position with a NaN (PositionIds.cpp), on every core when `spread`. Returns the bound
// on the ids: the vertex count.
uint32_t assignPositionIds(const MeshView& mesh, Table<uint32_t>& ids, bool spread);

// normalize((P2 - P1) x (P1 - P0)) of face f; a zero-area face gets the zero vector
// (FaceNormals.cpp). The same face always gets the same bits, whichever thread asks.
D3DVECTOR faceNormal(const MeshView& mesh, uint32_t f);

// The position ids of face f's three corners.
inline std::array<uint32_t, 3> cornerIds(const MeshView& mesh, const Table<uint32_t>& positionIds, uint32_t f) {
    return {positionIds[mesh.vertex(3 * size_t{f})], positionIds[mesh.vertex(3 * size_t{f} + 1)],
            positionIds[mesh.vertex(3 * size_t{f} + 2)]};
}

// A copy of the attribute table, checked against the face count (RangeCheck.cpp).
std::vector<D3DXATTRIBUTERANGE> checkedRanges(std::span<const D3DXATTRIBUTERANGE> ranges,
                                              uint32_t faceCount);

// The directed edges of one attribute range, grouped by start position (EdgeIndex.cpp): each
// group lists the edges leaving that position in corner order, with their end and face, so the
// faces that run one edge come out ascending, in the order a scan of the range would meet
// them. Eight bytes an edge; rebuilt for every range, its storage reused.
class RangeEdgeIndex {
public:
    explicit RangeEdgeIndex(uint32_t positionIdBound);
    // On both cores when `spread`.
    void build(const MeshView& mesh, const Table<uint32_t>& positionIds, uint32_t firstFace, uint32_t faceCount,
               bool spread);

    // Calls visit(g) for every face g of the range that runs the edge from -> to, ascending,
    // until visit returns false. A face whose corners all coincide comes up to three times.
    template <typename Visit>
    void forEachFaceRunning(uint32_t from, uint32_t to, Visit visit) const {
        if (from == kNoPosition || to == kNoPosition) return;
        const Group group = groups_[from];
        const Entry* entry = entries_.data() + group.start;
        for (const Entry* end = entry + group.count; entry != end; ++entry)
            if (entry->to == to && !visit(entry->face)) return;
    }

private:
    // An edge in its start's group: where it ends, and its face.
    struct Entry {
        uint32_t to, face;
    };
    // The edges leaving one position in this range: entries_[start, start + count).
    struct Group {
        uint32_t start = 0, count = 0;
    };

    // Calls visit(from, to, face) for each edge of faces [first, end) whose ends both have a
    // position, in corner order.
    template <typename Visit>
    void forEachEdge(uint32_t first, uint32_t end, Visit visit) const;

    const MeshView* mesh_ = nullptr;
    const Table<uint32_t>* positionIds_ = nullptr;
    Table<Group> groups_;           // per position id
    Table<uint32_t> touched_;       // the ids with a non-zero count, to reset cheaply
    Table<Entry> entries_;          // edges grouped by start, in ascending corner order within a group
    Table<uint32_t> firstHalf_;     // per position id: the first half's count, then where it writes
    Table<uint32_t> touchedFirst_;  // the ids the first half of the range touches
};

// Calls task(t) for every t in [0, tasks): on every core when `spread`, otherwise in order on
// the calling thread (BlockPipeline.cpp).
void forEachTask(size_t tasks, bool spread, const std::function<void(size_t)>& task);

// How a build spreads its work over the machine (Module1.cpp): faces are prepared in blocks
// of `blockFaces`, and a range of at least `threadedFaces` faces gets a helper thread that
// prepares blocks ahead of the one being finished; the position ids of a mesh of at least
// `spreadVertices` vertices, and the index of a range of at least `spreadFaces` faces, are
// made on every core. Below these, the thread hand-overs would cost more than they save.
struct Spread {
    uint32_t blockFaces = 4096;
    uint32_t threadedFaces = 16384;
    uint32_t spreadVertices = 1 << 15;
    uint32_t spreadFaces = 1 << 15;
};

// buildEdges with its spread explicit; the result does not depend on it.
EdgeList buildEdges(const D3DXMesh& mesh, std::span<const D3DXATTRIBUTERANGE> ranges, const float& threshold,
                    const YieldFn& yield, Spread spread);

}  // namespace Module1::detail
