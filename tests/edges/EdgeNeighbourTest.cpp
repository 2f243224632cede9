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
const Module1::YieldFn kNoYield = [] {};

bool equal(const D3DVECTOR& a, const D3DVECTOR& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
D3DVECTOR negated(const D3DVECTOR& v) { return {-v.x, -v.y, -v.z}; }

// Two faces on the edge (0,0,0)-(1,0,0): face 0 lies in z = 0, face 1 runs the edge the
// other way and is turned about it so that the normals are `degrees` apart.
std::shared_ptr<D3DXMesh> hinge(float degrees) {
    const float rad = degrees * 3.14159265358979f / 180.0f;
    return makeMesh({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -std::cos(rad), -std::sin(rad)}},
                    {0, 1, 2, 1, 0, 3});
}

std::vector<edgeVertex> build(const D3DXMesh& mesh, std::vector<D3DXATTRIBUTERANGE> ranges, float threshold) {
    return Module1::buildEdges(mesh, ranges, threshold, kNoYield);
}

}  // namespace

TEST(FaceNormalOrder, ClockwiseFromTheViewerFacesMinusZ) {
    // (P2 - P1) x (P1 - P0): a counter-clockwise triangle in the xy-plane points down z.
    auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2});
    const auto lines = build(*mesh, {range(0, 1)}, 0.5f);
    ASSERT_EQ(lines.size(), 6u);
    for (const edgeVertex& v : lines) {
        EXPECT_TRUE(equal(v.normalA, {0, 0, -1}));
        EXPECT_TRUE(equal(v.normalB, {0, 0, 1}));
    }
    const D3DVECTOR ends[6] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}, {0, 0, 0}};
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(equal(lines[i].position, ends[i])) << "entry " << i;
}

TEST(HingeThreshold, GentleBendTakesTheNeighbourAndCreasesKeepTheFlippedNormal) {
    auto gentle = hinge(30.0f);
    const auto lines = build(*gentle, {range(0, 2)}, 0.5f);
    ASSERT_EQ(lines.size(), 12u);
    const D3DVECTOR n0 = lines[0].normalA, n1 = lines[6].normalA;
    EXPECT_NEAR(n1.y, 0.5f, 1e-6f);
    EXPECT_NEAR(n1.z, -0.8660254f, 1e-6f);
    // The shared edge is e0 of face 0 (entries 0, 1) and e0 of face 1 (entries 6, 7).
    for (int i : {0, 1}) EXPECT_TRUE(equal(lines[i].normalB, n1));
    for (int i : {6, 7}) EXPECT_TRUE(equal(lines[i].normalB, n0));
    for (int i : {2, 3, 4, 5, 8, 9, 10, 11}) EXPECT_TRUE(equal(lines[i].normalB, negated(lines[i].normalA)));

    // Bent by exactly 90 degrees the normals are (0,0,-1) and (0,1,0), their dot exactly 0:
    // a crease for thresholds 0.5 and 0 alike (the test is strict), smooth just below 0.
    auto square = makeMesh({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, 0, -1}}, {0, 1, 2, 1, 0, 3});
    for (float t : {0.5f, 0.0f}) {
        const auto creased = build(*square, {range(0, 2)}, t);
        EXPECT_TRUE(equal(creased[0].normalB, {0, 0, 1})) << "threshold " << t;
    }
    const auto smooth = build(*square, {range(0, 2)}, -1e-6f);
    EXPECT_TRUE(equal(smooth[0].normalB, {0, 1, 0}));
    EXPECT_TRUE(equal(smooth[6].normalB, {0, 0, -1}));
}

TEST(NeighbourByPosition, SplitVerticesAndSignedZeroJoinWrongWindingAndNaNDoNot) {
    // Face 1 reaches the shared edge through its own vertices 3 and 4, the first written -0.
    auto split = makeMesh({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {-0.0f, 0, -0.0f}, {1, 0, 0}, {0.5f, -1, 0.2f}},
                          {0, 1, 2, 4, 3, 5});
    auto lines = build(*split, {range(0, 1), range(1, 1)}, 0.5f);
    EXPECT_FALSE(equal(lines[0].normalB, lines[6].normalA)) << "ranges still separate";
    lines = build(*split, {range(0, 2)}, 0.5f);
    EXPECT_TRUE(equal(lines[0].normalB, lines[6].normalA));
    EXPECT_TRUE(equal(lines[6].normalB, lines[0].normalA));

    // Face 1 runs the shared edge the same way as face 0.
    auto wrongWinding = makeMesh({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -1, 0}}, {0, 1, 2, 0, 1, 3});
    lines = build(*wrongWinding, {range(0, 2)}, -2.0f);
    EXPECT_TRUE(equal(lines[0].normalB, negated(lines[0].normalA)));

    // A face with a NaN corner has a NaN normal, which passes no threshold: its neighbour
    // across a clean edge keeps its own flipped normal.
    auto withNaN = makeMesh({{0, kNaN, 0}, {1, 0, 0}, {0.5f, 1, 0}, {2, 1, 0}}, {0, 1, 2, 2, 1, 3});
    lines = build(*withNaN, {range(0, 2)}, -2.0f);
    EXPECT_TRUE(std::isnan(lines[2].normalB.x));
    EXPECT_TRUE(equal(lines[6].normalB, negated(lines[6].normalA)));
}

TEST(ZeroAreaFace, GetsTheZeroNormalNeverNaN) {
    auto mesh = makeMesh({{1, 2, 3}, {2, 4, 6}, {4, 8, 12}}, {0, 0, 0, 0, 1, 2, 1, 1, 2});
    for (float t : {0.5f, -0.5f}) {
        const auto lines = build(*mesh, {range(0, 3)}, t);
        for (const edgeVertex& v : lines) {
            EXPECT_TRUE(equal(v.normalA, {0, 0, 0}));
            EXPECT_TRUE(equal(v.normalB, {0, 0, 0}));
            EXPECT_FALSE(std::isnan(v.normalB.x) || std::isnan(v.normalB.y) || std::isnan(v.normalB.z));
        }
    }
}

TEST(SameVector, ComparesAsFloatsWithoutTolerance) {
    EXPECT_TRUE(Module1::sameVector({0.0f, 1, 2}, {-0.0f, 1, 2}));
    EXPECT_FALSE(Module1::sameVector({1, 2, 3}, {1, 2, std::nextafter(3.0f, 4.0f)}));
    EXPECT_FALSE(Module1::sameVector({kNaN, 0, 0}, {kNaN, 0, 0}));
    EXPECT_FALSE(Module1::sameVector({0, 0, kNaN}, {0, 0, kNaN}));
}
