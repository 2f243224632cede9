#pragma once
// Meshes for the edge builder's tests and benchmark, and a plain scan over every face of a
// range that serves as the reference the builder's keyed search must agree with.

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <span>
#include <vector>

#include "d3dx8/Mesh.h"
#include "edges/Module1.h"

namespace edgetest {

// A 32-byte-vertex (format 274) mesh with the given positions and corners, 16-bit indices
// unless the options ask for 32-bit ones.
std::shared_ptr<D3DXMesh> makeMesh(const std::vector<D3DVECTOR>& positions, const std::vector<uint16_t>& corners,
                                   uint32_t options = D3DXMESH_MANAGED, uint32_t fvf = 274);

D3DXATTRIBUTERANGE range(uint32_t faceStart, uint32_t faceCount);

// The builder's rules spelled out as directly as possible: for every edge, every face of
// the range is examined. Quadratic; counts finished faces in `progress`.
std::vector<edgeVertex> scanEdges(const D3DXMesh& mesh, std::span<const D3DXATTRIBUTERANGE> ranges,
                                  const float& threshold, const std::function<void()>& yield, int32_t& progress);

// A random mesh with everything that makes neighbour search hard: split vertices, -0, NaN,
// zero-area and duplicate faces, edges shared by several faces, either winding.
struct RandomCase {
    std::shared_ptr<D3DXMesh> mesh;
    std::vector<D3DXATTRIBUTERANGE> ranges;
    float threshold = 0.5f;
    // Threshold changes applied at the yield after face number `first` (counted from 0).
    std::vector<std::pair<int, float>> thresholdChanges;
};
RandomCase randomCase(std::mt19937& rng);

// A height-field grid of side `quads` under `rangeCount` ranges that all cover the same
// vertices, each with its own diagonal pattern: 2 x quads^2 x rangeCount faces.
std::shared_ptr<D3DXMesh> gridMesh(uint32_t quads, uint32_t rangeCount, std::vector<D3DXATTRIBUTERANGE>& ranges);

bool sameBytes(std::span<const edgeVertex> a, std::span<const edgeVertex> b);

// The line keeps its own face's flipped normal: no neighbour was taken.
inline bool creased(const edgeVertex& v) {
    return v.normalB.x == -v.normalA.x && v.normalB.y == -v.normalA.y && v.normalB.z == -v.normalA.z;
}

}  // namespace edgetest
