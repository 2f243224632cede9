// The keyed neighbour search must take the same face as a scan of the whole range, in every
// case, including when the threshold changes between faces.

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "EdgeTestMeshes.h"
#include "edges/Module1.h"

namespace {

// The build's lines and the progress count each yield saw, with the case's threshold
// schedule applied at the yields.
template <typename Build>
auto run(const edgetest::RandomCase& rc, const int32_t& progress, Build build) {
    float threshold = rc.threshold;
    std::vector<int32_t> seen;
    auto lines = build(threshold, [&] {
        seen.push_back(progress);
        for (const auto& [face, value] : rc.thresholdChanges)
            if (face + 1 == static_cast<int>(seen.size())) threshold = value;
    });
    seen.push_back(progress);
    return std::pair{std::move(lines), std::move(seen)};
}

// Progress is counted behind each face's yield, so each yield sees the faces before it.
TEST(KeyedSearchAgreesWithScan, OnRandomMeshesWithThresholdChangesMidBuild) {
    for (uint32_t seed = 1; seed <= 6000; ++seed) {
        std::mt19937 rng(seed);
        const edgetest::RandomCase rc = edgetest::randomCase(rng);
        int32_t scanProgress = 0;
        const auto expected = run(rc, scanProgress, [&](const float& t, auto yield) {
            return edgetest::scanEdges(*rc.mesh, rc.ranges, t, yield, scanProgress);
        });
        Module1::edgeProgress = 77;
        const auto actual = run(rc, Module1::edgeProgress, [&](const float& t, auto yield) {
            return Module1::buildEdges(*rc.mesh, rc.ranges, t, yield);
        });
        SCOPED_TRACE("seed " + std::to_string(seed));
        ASSERT_TRUE(edgetest::sameBytes(actual.first, expected.first));
        ASSERT_EQ(actual.second, expected.second);
    }
}

// Large groups: grids whose ranges share every vertex, and a closed fan of 300 faces around
// one centre, then the fan again wound the other way and a third copy as it was, so that
// the centre starts hundreds of edges and every spoke is shared by several faces. Each mesh
// also as a 32-bit-index clone, which must give the same list as the 16-bit scan.
TEST(KeyedSearchAgreesWithScan, OnGridsAndAroundAVertexThatStartsHundredsOfEdges) {
    std::vector<D3DXATTRIBUTERANGE> gridRanges;
    auto grid = edgetest::gridMesh(12, 3, gridRanges);
    std::vector<D3DVECTOR> positions = {{0, 0, 0}};
    const uint16_t spokes = 300;
    for (uint16_t i = 0; i < spokes; ++i) {
        const float a = 6.2831853f * i / spokes;
        positions.push_back({std::cos(a), std::sin(a), (i % 7) * 0.02f});
    }
    std::vector<uint16_t> corners;
    for (int copy = 0; copy < 3; ++copy)
        for (uint16_t i = 0; i < spokes; ++i) {
            const uint16_t rim = 1 + i, next = 1 + (i + 1) % spokes;
            corners.insert(corners.end(), {0, copy == 1 ? rim : next, copy == 1 ? next : rim});
        }
    auto fan = edgetest::makeMesh(positions, corners);
    const std::pair<std::shared_ptr<D3DXMesh>, std::vector<D3DXATTRIBUTERANGE>> cases[] = {
        {grid, gridRanges},
        {fan, {edgetest::range(0, 3 * spokes)}},
        {fan, {edgetest::range(500, 400), edgetest::range(0, 500)}},
    };
    for (const auto& [mesh, ranges] : cases)
        for (float threshold : {0.5f, 0.9999f, -1.0f}) {
            SCOPED_TRACE(std::to_string(mesh->GetNumFaces()) + " faces, " + std::to_string(ranges.size()) +
                         " ranges, threshold " + std::to_string(threshold));
            int32_t progress = 0;
            const auto expected = edgetest::scanEdges(*mesh, ranges, threshold, [] {}, progress);
            EXPECT_TRUE(edgetest::sameBytes(Module1::buildEdges(*mesh, ranges, threshold, [] {}), expected));
            const auto wide = mesh->CloneMeshFVF(D3DXMESH_MANAGED | D3DXMESH_32BIT, 274, nullptr);
            EXPECT_TRUE(edgetest::sameBytes(Module1::buildEdges(*wide, ranges, threshold, [] {}), expected));
        }
}

}  // namespace
