#pragma once
// The stages of one edge-list build, each in its own file. Everything here is working state
// local to one call of buildEdges, so a build nested inside another's yield shares nothing.

#include <cstdint>
#include <span>
#include <vector>

#include "d3dx8/Mesh.h"
#include "math/d3dmath.h"

namespace Module1::detail {

// The build's working tables.
template <typename T>
using Table = std::vector<T>;

// Marks a corner whose position has a NaN coordinate: such a corner equals no position, so
// its edges have no neighbour and are no one's neighbour.
inline constexpr uint32_t kNoPosition = 0xFFFFFFFFu;

// The mesh as one build sees it: its own copy of the positions and corners.
struct MeshGeometry {
    uint32_t faceCount = 0;
    Table<D3DVECTOR> positions;      // per vertex
    Table<uint32_t> positionIds;     // per vertex: equal ids <=> equal positions
    uint32_t distinctPositions = 0;  // ids run from 0 to distinctPositions - 1
    Table<uint32_t> corners;         // 3 x F vertex numbers: corner k of face f at 3f + k

    const D3DVECTOR& corner(size_t i) const { return positions[corners[i]]; }
    uint32_t cornerId(size_t i) const { return positionIds[corners[i]]; }
};

// Checks the mesh's layout and indices, then copies its positions and corners
// (MeshReadback.cpp).
MeshGeometry readGeometry(const D3DXMesh& mesh);

// Dense ids of positions, equal exactly when the positions compare equal as floats
// (PositionIds.cpp). Returns the number of distinct ids.
uint32_t assignPositionIds(std::span<const D3DVECTOR> positions, Table<uint32_t>& ids);

// normalize((P2 - P1) x (P1 - P0)) per face; a zero-area face gets the zero vector
// (FaceNormals.cpp).
Table<D3DVECTOR> faceNormals(const MeshGeometry& geometry);

// A copy of the attribute table, checked against the face count (RangeCheck.cpp).
std::vector<D3DXATTRIBUTERANGE> checkedRanges(std::span<const D3DXATTRIBUTERANGE> ranges,
                                              uint32_t faceCount);

// The directed edges of one attribute range, grouped by start position and ordered by end
// position, then face (EdgeIndex.cpp). Rebuilt for every range; its storage is reused.
class RangeEdgeIndex {
public:
    explicit RangeEdgeIndex(uint32_t distinctPositions);
    void build(const MeshGeometry& geometry, uint32_t firstFace, uint32_t faceCount);

    // The faces of the range that run the edge from -> to, ascending, as (to << 32 | face)
    // entries. A face whose corners all coincide appears up to three times.
    std::span<const uint64_t> facesWithEdge(uint32_t from, uint32_t to) const;
    static uint32_t faceOf(uint64_t entry) { return static_cast<uint32_t>(entry); }

private:
    Table<uint32_t> count_;    // per position id: edges leaving it in this range
    Table<uint32_t> start_;    // per position id: its first entry in edges_
    Table<uint32_t> touched_;  // the ids with a non-zero count, to reset cheaply
    Table<uint64_t> edges_;    // (to << 32 | face), grouped by start position
};

}  // namespace Module1::detail
