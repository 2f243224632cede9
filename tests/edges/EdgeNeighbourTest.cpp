// Hand-made meshes whose expected lines can be worked out on paper. Range boundaries and
// edges shared by several faces are left to the comparison with the plain scan.

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "EdgeTestMeshes.h"
#include "edges/Module1.h"

using edgetest::makeMesh;
using edgetest::range;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

bool equal(const D3DVECTOR& a, const D3DVECTOR& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

Module1::EdgeList build(const std::shared_ptr<D3DXMesh>& mesh, std::vector<D3DXATTRIBUTERANGE> ranges,
                        float threshold) {
    return Module1::buildEdges(*mesh, ranges, threshold, [] {});
}

}  // namespace

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
        const auto lines = build(makeMesh({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, c.far}, {0, 1, 2, 1, 0, 3}),
                                 {range(0, 2)}, c.threshold);
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

TEST(NeighbourByPosition, SplitVerticesAndSignedZeroJoinWrongWindingAndZeroAreaDoNot) {
    // Face 1 reaches the shared edge through its own vertices 3 and 4, the first written -0.
    auto split = makeMesh({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {-0.0f, 0, -0.0f}, {1, 0, 0}, {0.5f, -1, 0.2f}},
                          {0, 1, 2, 4, 3, 5});
    auto lines = build(split, {range(0, 2)}, 0.5f);
    EXPECT_TRUE(equal(lines[0].normalB, lines[6].normalA));
    EXPECT_TRUE(equal(lines[6].normalB, lines[0].normalA));

    // Face 1 runs the shared edge the same way as face 0.
    auto sameWay = makeMesh({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -1, 0}}, {0, 1, 2, 0, 1, 3});
    lines = build(sameWay, {range(0, 2)}, -2.0f);
    EXPECT_TRUE(edgetest::creased(lines[0]));

    // Faces without area get the zero normal, never NaN, whatever the threshold.
    auto flat = makeMesh({{1, 2, 3}, {2, 4, 6}, {4, 8, 12}}, {0, 0, 0, 0, 1, 2, 1, 1, 2});
    for (float t : {0.5f, -0.5f})
        for (const edgeVertex& v : build(flat, {range(0, 3)}, t))
            EXPECT_TRUE(equal(v.normalA, {0, 0, 0}) && equal(v.normalB, {0, 0, 0})) << "threshold " << t;
}

// The plain scan shares this comparison, so it is pinned here on its own.
TEST(SameVector, ComparesAsFloatsWithoutTolerance) {
    EXPECT_TRUE(Module1::sameVector({0.0f, 1, 2}, {-0.0f, 1, 2}));
    EXPECT_FALSE(Module1::sameVector({1, 2, 3}, {1, 2, std::nextafter(3.0f, 4.0f)}));
    EXPECT_FALSE(Module1::sameVector({kNaN, 0, 0}, {kNaN, 0, 0}));
    EXPECT_FALSE(Module1::sameVector({0, 0, kNaN}, {0, 0, kNaN}));
}
