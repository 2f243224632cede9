#pragma once
// The stages of one edge-list build, each in its own file. Everything here is working state
// local to one call of buildEdges, so a build nested inside another's yield shares nothing.

#include <cstdint>
#include <span>
#include <vector>

#include "d3dx8/Mesh.h"
#include "math/d3dmath.h"

namespace Module1::detail {

// Marks a corner whose position has a NaN coordinate: such a corner equals no position, so
// its edges have no neighbour and are no one's neighbour.
inline constexpr uint32_t kNoPosition = 0xFFFFFFFFu;

struct MeshGeometry {
    uint32_t faceCount = 0;
    std::vector<D3DVECTOR> cornerPositions;   // 3 x F: corner k of face f at 3f + k
    std::vector<uint32_t> cornerPositionIds;  // 3 x F: equal ids <=> equal positions
};

// Checks the mesh's layout and indices, then copies its corners (MeshReadback.cpp).
MeshGeometry readGeometry(const D3DXMesh& mesh);

// Dense ids of positions, equal exactly when the positions compare equal as floats
// (PositionIds.cpp).
std::vector<uint32_t> positionIds(std::span<const D3DVECTOR> positions);

// normalize((P2 - P1) x (P1 - P0)) per face; a zero-area face gets the zero vector
// (FaceNormals.cpp).
std::vector<D3DVECTOR> faceNormals(std::span<const D3DVECTOR> cornerPositions);

// A copy of the attribute table, checked against the face count (RangeCheck.cpp).
std::vector<D3DXATTRIBUTERANGE> checkedRanges(std::span<const D3DXATTRIBUTERANGE> ranges,
                                              uint32_t faceCount);

// The faces of one attribute range grouped by directed edge, each group ascending
// (EdgeIndex.cpp). Rebuilt for every range; its storage is reused.
class RangeEdgeIndex {
public:
    void build(std::span<const uint32_t> cornerPositionIds, uint32_t firstFace, uint32_t faceCount);
    // The faces of the range that run the edge from -> to, ascending, each once.
    std::span<const uint32_t> facesWithEdge(uint32_t from, uint32_t to) const;

private:
    struct Slot {
        uint64_t key;
        uint32_t start;
        uint32_t count;
    };
    static constexpr uint64_t kEmpty = ~uint64_t{0};

    size_t findSlot(uint64_t key) const;
    size_t insertSlot(uint64_t key);

    std::vector<Slot> slots_;            // open addressing, power-of-two size
    std::vector<uint32_t> edgeSlot_;     // per directed edge of the range, its slot or none
    std::vector<uint32_t> faces_;        // the groups, back to back
    unsigned shift_ = 64;
};

}  // namespace Module1::detail
