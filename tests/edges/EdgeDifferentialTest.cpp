// The keyed neighbour search must take the same face as a scan of the whole range, in every
// case, including when the threshold changes between faces.

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "EdgeTestMeshes.h"
#include "edges/Module1.h"

namespace {

// Runs one build with the case's threshold schedule applied at the yields; returns the
// entries and the final progress count.
template <typename Build>
std::vector<edgeVertex> runWithSchedule(const edgetest::RandomCase& rc, Build build, int32_t& progress) {
    float threshold = rc.threshold;
    int facesDone = 0;
    auto yield = [&] {
        for (const auto& [face, value] : rc.thresholdChanges)
            if (face == facesDone) threshold = value;
        ++facesDone;
    };
    return build(threshold, yield, progress);
}

std::string describe(const edgetest::RandomCase& rc, uint32_t seed) {
    std::string s = "seed " + std::to_string(seed) + ", faces " + std::to_string(rc.mesh->GetNumFaces()) +
                    ", ranges";
    for (const auto& r : rc.ranges) s += " [" + std::to_string(r.FaceStart) + "+" + std::to_string(r.FaceCount) + "]";
    return s + ", threshold " + std::to_string(rc.threshold);
}

}  // namespace

TEST(KeyedSearchAgreesWithScan, OnRandomMeshesWithThresholdChangesMidBuild) {
    for (uint32_t seed = 1; seed <= 6000; ++seed) {
        std::mt19937 rng(seed);
        const edgetest::RandomCase rc = edgetest::randomCase(rng);
        int32_t scanProgress = 0, unused = 0;
        const auto expected = runWithSchedule(
            rc,
            [&](const float& t, auto yield, int32_t& p) { return edgetest::scanEdges(*rc.mesh, rc.ranges, t, yield, p); },
            scanProgress);
        const auto actual = runWithSchedule(
            rc,
            [&](const float& t, auto yield, int32_t&) { return Module1::buildEdges(*rc.mesh, rc.ranges, t, yield); },
            unused);
        ASSERT_TRUE(edgetest::sameBytes(actual, expected)) << describe(rc, seed);
        ASSERT_EQ(Module1::edgeProgress, scanProgress) << describe(rc, seed);
    }
}

TEST(KeyedSearchAgreesWithScan, OnGridsWithSharedVerticesAcrossRanges) {
    for (float threshold : {0.5f, 0.999f, -1.0f}) {
        std::vector<D3DXATTRIBUTERANGE> ranges;
        auto mesh = edgetest::gridMesh(12, 3, ranges);
        int32_t progress = 0;
        const auto expected = edgetest::scanEdges(*mesh, ranges, threshold, [] {}, progress);
        const auto actual = Module1::buildEdges(*mesh, ranges, threshold, [] {});
        ASSERT_TRUE(edgetest::sameBytes(actual, expected)) << "threshold " << threshold;
    }
}

TEST(KeyedSearchAgreesWithScan, AroundAVertexThatStartsHundredsOfEdges) {
    // A closed fan of 300 faces around one centre, then the same fan again wound the other
    // way and a third copy as it was: the centre's edges form one large group, every spoke
    // is shared by several faces, and the heights make some joints creases.
    std::vector<D3DVECTOR> positions = {{0, 0, 0}};
    const uint16_t spokes = 300;
    for (uint16_t i = 0; i < spokes; ++i) {
        const float a = 6.2831853f * i / spokes;
        positions.push_back({std::cos(a), std::sin(a), (i % 7) * 0.02f});
    }
    std::vector<uint16_t> corners;
    for (int copy = 0; copy < 3; ++copy) {
        for (uint16_t i = 0; i < spokes; ++i) {
            const uint16_t rim = 1 + i, next = 1 + (i + 1) % spokes;
            if (copy == 1)
                corners.insert(corners.end(), {0, rim, next});
            else
                corners.insert(corners.end(), {0, next, rim});
        }
    }
    auto mesh = edgetest::makeMesh(positions, corners);
    for (float threshold : {0.5f, 0.9999f}) {
        for (const auto& ranges : {std::vector<D3DXATTRIBUTERANGE>{edgetest::range(0, 3 * spokes)},
                                   std::vector<D3DXATTRIBUTERANGE>{edgetest::range(500, 400), edgetest::range(0, 500)}}) {
            int32_t progress = 0;
            const auto expected = edgetest::scanEdges(*mesh, ranges, threshold, [] {}, progress);
            EXPECT_TRUE(edgetest::sameBytes(Module1::buildEdges(*mesh, ranges, threshold, [] {}), expected))
                << "threshold " << threshold << ", " << ranges.size() << " ranges";
        }
    }
}
