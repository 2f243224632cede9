// What a build promises around its data: limits checked before anything is touched, one
// yield per face with the progress count behind it, and a build nested inside a yield that
// leaves the suspended one intact.

#include <gtest/gtest.h>

#include "EdgeTestMeshes.h"
#include "d3dsupport/Mdx8.h"
#include "edges/Module1.h"
#include "runtime/Error.h"
#include "runtime/Events.h"

using edgetest::makeMesh;
using edgetest::range;

namespace {

const Module1::YieldFn kNoYield = [] {};

int errorNumberOf(const D3DXMesh& mesh, std::vector<D3DXATTRIBUTERANGE> ranges, std::string* text = nullptr) {
    try {
        Module1::buildEdges(mesh, ranges, 0.5f, kNoYield);
    } catch (const rt::Error& e) {
        if (text) *text = e.text();
        return e.number();
    }
    return 0;
}

std::shared_ptr<D3DXMesh> twoFaces() {
    return makeMesh({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -1, 0.2f}}, {0, 1, 2, 1, 0, 3});
}

class RestoreEventProcessor : public ::testing::Test {
protected:
    ~RestoreEventProcessor() override { rt::setPendingEventProcessor(saved_); }
    rt::PendingEventProcessor saved_ = rt::setPendingEventProcessor({});
};

}  // namespace

TEST(BrokenMeshLimits, RaiseSubscriptOrCallErrorsBeforeReadingOutOfBounds) {
    std::string text;
    auto badIndex = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2, 2, 3, 0});
    EXPECT_EQ(errorNumberOf(*badIndex, {range(0, 2)}, &text), rt::errc::SubscriptOutOfRange);
    EXPECT_NE(text.find("corner 1 of face 1 names vertex 3"), std::string::npos) << text;

    auto mesh = twoFaces();
    EXPECT_EQ(errorNumberOf(*mesh, {range(1, 2)}, &text), rt::errc::SubscriptOutOfRange);
    EXPECT_NE(text.find("attribute range 0"), std::string::npos) << text;
    EXPECT_EQ(errorNumberOf(*mesh, {range(0xFFFFFFFFu, 2)}), rt::errc::SubscriptOutOfRange) << "no wrap-around";
    EXPECT_EQ(errorNumberOf(*mesh, {range(0, 2), range(1, 1)}), rt::errc::SubscriptOutOfRange) << "3 faces into 2";
    EXPECT_EQ(errorNumberOf(*mesh, {range(0, 1), range(0, 1)}), 0) << "overlap that still fits";

    auto wideIndices = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, D3DXMESH_MANAGED | D3DXMESH_32BIT);
    EXPECT_EQ(errorNumberOf(*wideIndices, {range(0, 1)}), rt::errc::InvalidCall);
    auto positionOnly = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, D3DXMESH_MANAGED, 2 /* XYZ */);
    EXPECT_EQ(errorNumberOf(*positionOnly, {range(0, 1)}, &text), rt::errc::InvalidCall);
    EXPECT_NE(text.find("format 2 has 12-byte vertices"), std::string::npos) << text;
}

TEST(EmptyInputs, NoFacesOrNoRangesGiveZeroedListsAndNoYield) {
    int yields = 0;
    auto empty = makeMesh({}, {});
    EXPECT_TRUE(Module1::buildEdges(*empty, {}, 0.5f, [&] { ++yields; }).empty());
    const std::vector<D3DXATTRIBUTERANGE> emptyRange = {range(0, 0)};
    EXPECT_TRUE(Module1::buildEdges(*empty, emptyRange, 0.5f, [&] { ++yields; }).empty());

    auto mesh = twoFaces();
    const auto lines = Module1::buildEdges(*mesh, {}, 0.5f, [&] { ++yields; });
    EXPECT_EQ(lines.size(), 12u);
    EXPECT_TRUE(edgetest::sameBytes(lines, std::vector<edgeVertex>(12)));
    EXPECT_EQ(yields, 0);
    EXPECT_EQ(Module1::edgeProgress, 0);
}

TEST(ProgressCount, OneYieldPerFaceWithProgressBehindItAndUnprocessedTailZero) {
    auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {0, 1, 2, 2, 1, 3, 0, 1, 3, 0, 2, 3});
    std::vector<int32_t> seen;
    Module1::edgeProgress = 77;
    const std::vector<D3DXATTRIBUTERANGE> ranges = {range(2, 1), range(0, 2)};
    const auto lines = Module1::buildEdges(*mesh, ranges, 0.5f, [&] { seen.push_back(Module1::edgeProgress); });
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(Module1::edgeProgress, 3);
    // Face 2 is written first, then faces 0 and 1; face 3 is in no range.
    EXPECT_EQ(lines[0].position.x, 0.0f);
    EXPECT_EQ(lines[1].position.x, 1.0f);
    EXPECT_EQ(lines[1].position.y, 0.0f);
    EXPECT_TRUE(edgetest::sameBytes({lines.begin() + 18, lines.end()}, std::vector<edgeVertex>(6)));
}

TEST_F(RestoreEventProcessor, NestedBuildInAYieldLeavesTheSuspendedBuildIntact) {
    std::vector<D3DXATTRIBUTERANGE> outerRanges, innerRanges;
    std::shared_ptr<D3DXMesh> outer = edgetest::gridMesh(4, 2, outerRanges);
    std::shared_ptr<D3DXMesh> inner = edgetest::gridMesh(3, 1, innerRanges);
    int32_t outerFaces = 0, innerFaces = 0;
    const auto outerExpected = edgetest::scanEdges(*outer, outerRanges, 0.5f, [] {}, outerFaces);
    const auto innerExpected = edgetest::scanEdges(*inner, innerRanges, 0.5f, [] {}, innerFaces);

    // As a second scene setup would: the scene's mesh and table are replaced, and the
    // nested build runs to its end, inside the fifth yield of the outer one.
    Mdx8::sceneMesh.attribRanges = outerRanges;
    Module1::threshold = 0.5f;
    int yields = 0;
    std::vector<edgeVertex> innerLines;
    rt::setPendingEventProcessor([&] {
        if (++yields != 5) return;
        Mdx8::sceneMesh.attribRanges = innerRanges;
        outer.reset();  // the last owner: the suspended build's mesh is gone
        innerLines = Module1::buildEdges(*inner);
        EXPECT_EQ(Module1::edgeProgress, innerFaces);
    });
    const auto outerLines = Module1::buildEdges(*outer);

    EXPECT_TRUE(edgetest::sameBytes(innerLines, innerExpected));
    EXPECT_TRUE(edgetest::sameBytes(outerLines, outerExpected));
    // The readout is shared: after the nested build the suspended one counts on from its value.
    EXPECT_EQ(Module1::edgeProgress, innerFaces + outerFaces - 4);
}

TEST_F(RestoreEventProcessor, SceneBuildReadsTheDialogsThresholdAtEveryComparison) {
    // Faces bent 30 degrees apart on every shared edge of a grid would all be smooth at 0.5;
    // raising the threshold to 2 in the yield after face 0 leaves only face 0's lines smooth.
    std::vector<D3DXATTRIBUTERANGE> ranges;
    auto mesh = edgetest::gridMesh(3, 1, ranges);
    Mdx8::sceneMesh.attribRanges = ranges;
    Module1::threshold = -2.0f;
    rt::setPendingEventProcessor([] { Module1::threshold = 2.0f; });
    const auto lines = Module1::buildEdges(*mesh);
    int smoothBeforeChange = 0, smoothAfterChange = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const edgeVertex& v = lines[i];
        const bool flipped = v.normalB.x == -v.normalA.x && v.normalB.y == -v.normalA.y && v.normalB.z == -v.normalA.z;
        (i < 6 ? smoothBeforeChange : smoothAfterChange) += flipped ? 0 : 1;
    }
    EXPECT_EQ(smoothBeforeChange, 4) << "face 0 has two neighbours";
    EXPECT_EQ(smoothAfterChange, 0);
    Module1::threshold = 0.5f;
}
