// The lines the edge builder makes: on hand-made meshes whose expected lines can be worked out
// on paper, and on every other kind of mesh the same as a plain scan of the whole range makes
// (the keyed neighbour search takes the same face as the scan, in every case, including when
// the threshold changes between faces).

#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "EdgeTestMeshes.h"
#include "edges/EdgeStages.h"
#include "edges/Module1.h"

using edgetest::makeMesh;
using edgetest::range;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

bool equal(const D3DVECTOR& a, const D3DVECTOR& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// Two faces on the edge (0,0,0)-(1,0,0): face 0 lies in z = 0 and, by (P2 - P1) x (P1 - P0),
// faces -z; face 1 runs the edge the other way. The shared edge is entries 0, 1 of face 0
// and 6, 7 of face 1; every other line keeps its face's flipped normal.
TEST(HingeThreshold, GentleBendTakesTheNeighbourAndCreasesKeepTheFlippedNormal) {
    const float c30 = std::cos(3.14159265f / 6), s30 = std::sin(3.14159265f / 6);
    struct Case { const char* what; D3DVECTOR far /* face 1's third corner */; float threshold; bool smooth; };
    const Case cases[] = {
        {"30 degrees", {0.5f, -c30, -s30}, 0.5f, true},
        // Exactly 90 degrees: the normals (0,0,-1) and (0,1,0) have dot exactly 0, and the
        // comparison is strict.
        {"90 degrees at 0", {0.5f, 0, -1}, 0.0f, false},
        {"90 degrees just below 0", {0.5f, 0, -1}, -1e-6f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto hinge = makeMesh({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, c.far}, {0, 1, 2, 1, 0, 3});
        const auto lines = Module1::buildEdges(*hinge, std::vector{range(0, 2)}, c.threshold, [] {});
        ASSERT_EQ(lines.size(), 12u);
        const D3DVECTOR n0 = lines[0].normalA, n1 = lines[6].normalA;
        EXPECT_TRUE(equal(n0, {0, 0, -1}));
        for (int i = 0; i < 12; ++i) {
            const bool shared = i == 0 || i == 1 || i == 6 || i == 7;
            const D3DVECTOR& other = i < 6 ? n1 : n0;
            EXPECT_TRUE(shared && c.smooth ? equal(lines[i].normalB, other) : edgetest::creased(lines[i])) << i;
        }
    }
}

// The plain scan shares this comparison, so it is pinned here on its own.
TEST(SameVector, ComparesAsFloatsWithoutTolerance) {
    EXPECT_TRUE(Module1::sameVector({0.0f, 1, 2}, {-0.0f, 1, 2}));
    EXPECT_FALSE(Module1::sameVector({1, 2, 3}, {1, 2, std::nextafter(3.0f, 4.0f)}));
    EXPECT_FALSE(Module1::sameVector({kNaN, 0, 0}, {kNaN, 0, 0}));
    EXPECT_FALSE(Module1::sameVector({0, 0, kNaN}, {0, 0, kNaN}));
}

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

// The build `spread` makes what the plain scan makes, entry for entry and yield for yield.
void expectAgreesWithScan(const edgetest::RandomCase& rc, const Module1::detail::Spread& spread) {
    int32_t scanProgress = 0;
    const auto expected = run(rc, scanProgress, [&](const float& t, auto yield) {
        return edgetest::scanEdges(*rc.mesh, rc.ranges, t, yield, scanProgress);
    });
    Module1::edgeProgress = 77;
    const auto actual = run(rc, Module1::edgeProgress, [&](const float& t, auto yield) {
        return Module1::detail::buildEdges(*rc.mesh, rc.ranges, t, yield, spread);
    });
    ASSERT_TRUE(edgetest::sameBytes(actual.first, expected.first));
    ASSERT_EQ(actual.second, expected.second);
}

// Progress is counted behind each face's yield, so each yield sees the faces before it.
TEST(KeyedSearchAgreesWithScan, OnRandomMeshesWithThresholdChangesMidBuild) {
    for (uint32_t seed = 1; seed <= 6000; ++seed) {
        std::mt19937 rng(seed);
        SCOPED_TRACE("seed " + std::to_string(seed));
        ASSERT_NO_FATAL_FAILURE(expectAgreesWithScan(edgetest::randomCase(rng), {}));
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

// A build spread over every core (ids and index on both, and a helper thread preparing blocks
// of a few faces ahead of the yields) makes what the plain scan makes, entry for entry and
// yield for yield.
// Besides the random meshes: a book of 40 pages on one spine, wound in turn, the odd pages
// opposite the even ones and fanned out so that a page's first qualifying neighbour across the
// spine comes after eight that fail.
TEST(ThreadedBuildAgreesWithScan, OnRandomMeshesAndOnAnEdgeSharedByManyFaces) {
    const Module1::detail::Spread threaded{3, 0, 0, 0};
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        std::mt19937 rng(seed);
        SCOPED_TRACE("seed " + std::to_string(seed));
        expectAgreesWithScan(edgetest::randomCase(rng), threaded);
    }
    std::vector<D3DVECTOR> positions = {{0, 0, 0}, {0, 0, 1}};
    std::vector<uint16_t> corners;
    for (uint16_t page = 0; page < 40; ++page) {
        const float a = page % 2 == 0 ? 0.3f + 0.005f * page : 3.6415927f + 0.2f - 0.01f * page;
        positions.push_back({std::cos(a), std::sin(a), 0.5f});
        const auto tip = static_cast<uint16_t>(2 + page);
        corners.insert(corners.end(), {uint16_t(page % 2), uint16_t(1 - page % 2), tip});
    }
    for (float threshold : {0.9995f, 0.999f}) {
        SCOPED_TRACE("book at " + std::to_string(threshold));
        const edgetest::RandomCase book{makeMesh(positions, corners), {range(0, 40)}, threshold, {{20, -1.0f}}};
        expectAgreesWithScan(book, threaded);
    }
}

}  // namespace
