// What a build promises around its data: limits checked before anything is touched, the
// scene's threshold read afresh after the events it runs, and a build nested inside a yield
// that leaves the suspended one intact.

#include <gtest/gtest.h>

#include <algorithm>

#include "EdgeTestMeshes.h"
#include "edges/Module1.h"
#include "runtime/Events.h"
#include "support/Raised.h"

using edgetest::makeMesh;
using edgetest::range;

namespace {

class RestoreEventProcessor : public ::testing::Test {
protected:
    ~RestoreEventProcessor() override {
        rt::setPendingEventProcessor(saved_);
        Module1::threshold = 0.5f;
    }
    rt::PendingEventProcessor saved_ = rt::setPendingEventProcessor({});
};

}  // namespace

TEST(BrokenMeshLimits, RaiseSubscriptOrCallErrorsBeforeReadingOutOfBounds) {
    const std::vector<D3DVECTOR> triangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    auto twoFaces = makeMesh({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -1, 0.2f}}, {0, 1, 2, 1, 0, 3});
    struct Case { const char* what; std::shared_ptr<D3DXMesh> mesh; std::vector<D3DXATTRIBUTERANGE> ranges;
                  int error; const char* text; };
    const Case cases[] = {
        {"index past the vertices", makeMesh(triangle, {0, 1, 2, 2, 3, 0}), {range(0, 2)},
         rt::errc::SubscriptOutOfRange, "corner 1 of face 1 names vertex 3"},
        {"range past the faces", twoFaces, {range(1, 2)}, rt::errc::SubscriptOutOfRange, "attribute range 0"},
        {"no wrap-around", twoFaces, {range(0xFFFFFFFFu, 2)}, rt::errc::SubscriptOutOfRange, ""},
        {"3 faces into 2", twoFaces, {range(0, 2), range(1, 1)}, rt::errc::SubscriptOutOfRange, ""},
        {"32-bit index past the vertices", makeMesh(triangle, {0, 1, 2, 2, 3, 0}, D3DXMESH_MANAGED | D3DXMESH_32BIT),
         {range(0, 2)}, rt::errc::SubscriptOutOfRange, "corner 1 of face 1 names vertex 3"},
        {"position-only vertices", makeMesh(triangle, {0, 1, 2}, D3DXMESH_MANAGED, 2 /* XYZ */), {range(0, 1)},
         rt::errc::InvalidCall, "format 2 has 12-byte vertices"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int yields = 0;
        const auto [number, text] = testsupport::raised([&] { Module1::buildEdges(*c.mesh, c.ranges, 0.5f, [&] { ++yields; }); });
        EXPECT_EQ(number, c.error);
        EXPECT_NE(text.find(c.text), std::string::npos) << text;
        EXPECT_EQ(yields, 0);
    }
}

TEST_F(RestoreEventProcessor, NestedBuildInAYieldLeavesTheSuspendedBuildIntact) {
    std::vector<D3DXATTRIBUTERANGE> outerRanges, innerRanges;
    std::shared_ptr<D3DXMesh> outer = edgetest::gridMesh(4, 2, outerRanges);
    std::shared_ptr<D3DXMesh> inner = edgetest::gridMesh(3, 1, innerRanges);
    int32_t outerFaces = 0, innerFaces = 0;
    const auto outerExpected = edgetest::scanEdges(*outer, outerRanges, 0.5f, [] {}, outerFaces);
    const auto innerExpected = edgetest::scanEdges(*inner, innerRanges, 0.5f, [] {}, innerFaces);

    // As a second scene setup would: the scene's mesh and table are replaced, and the
    // nested scene build runs to its end, inside the fifth yield of the outer one.
    std::vector<D3DXATTRIBUTERANGE> sceneTable = outerRanges;
    Module1::threshold = 0.5f;
    int yields = 0;
    Module1::EdgeList innerLines;
    const auto yield = [&] {
        if (++yields != 5) return;
        sceneTable = innerRanges;
        outer.reset();  // the last owner: the suspended build's mesh is gone
        innerLines = Module1::buildEdges(*inner, sceneTable);
        EXPECT_EQ(Module1::edgeProgress, innerFaces);
    };
    const auto outerLines = Module1::buildEdges(*outer, sceneTable, Module1::threshold, yield);

    EXPECT_TRUE(edgetest::sameBytes(innerLines, innerExpected));
    EXPECT_TRUE(edgetest::sameBytes(outerLines, outerExpected));
    // The readout is shared: after the nested build the suspended one counts on from its value.
    EXPECT_EQ(Module1::edgeProgress, innerFaces + outerFaces - 4);
}

// The scene's build runs the window system's events while it works, though not after every
// face, and reads the dialog's threshold at the next comparison after them. Every shared
// edge of the grid bends 30 degrees or less: all smooth at -2, all creased at 2. The first
// event step raises the threshold, so the faces up to its yield have smooth lines and the
// later ones none, and the readout it saw counts exactly the faces before that yield.
TEST_F(RestoreEventProcessor, SceneBuildRunsEventsAndReadsTheDialogsThresholdAfterThem) {
    std::vector<D3DXATTRIBUTERANGE> ranges;
    auto mesh = edgetest::gridMesh(200, 1, ranges);  // 80,000 faces: milliseconds of work
    Module1::threshold = -2.0f;
    std::vector<int32_t> readouts;
    rt::setPendingEventProcessor([&] {
        readouts.push_back(Module1::edgeProgress);
        Module1::threshold = 2.0f;
    });
    const auto lines = Module1::buildEdges(*mesh, ranges);

    ASSERT_FALSE(readouts.empty()) << "no event step during the build";
    EXPECT_TRUE(std::is_sorted(readouts.begin(), readouts.end()));
    EXPECT_LT(readouts.size(), size_t{80000} / 16) << "the event step runs on every face";
    int32_t smoothFaces = 0;
    for (size_t face = 0; face < lines.size() / 6; ++face) {
        bool smooth = false;
        for (size_t i = 6 * face; i < 6 * face + 6; ++i) smooth |= !edgetest::creased(lines[i]);
        if (!smooth) break;
        ++smoothFaces;
    }
    EXPECT_EQ(smoothFaces, readouts.front() + 1);
    for (size_t i = 6 * size_t(smoothFaces); i < lines.size(); ++i) ASSERT_TRUE(edgetest::creased(lines[i])) << i;
}
