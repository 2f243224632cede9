// A model that needs more than 65,535 vertices loads, is outlined and drawn with 32-bit
// indices; one that fits keeps 16-bit ones.

#include "Primitives.h"
#include "RecipeFixture.h"
#include "d3dx8/D3DX8.h"

namespace {

using recipetest::RecipeFixture;

class WideIndices : public RecipeFixture {};

TEST_F(WideIndices, AreChosenOnlyForAModelOfMoreThan65535Vertices) {
    struct Case { int segments, stacks; bool wide; };
    for (const Case c : {Case{120, 60, false}, Case{330, 200, true}}) {
        SCOPED_TRACE(c.segments);
        datagen::ModelBuilder b("Ball", {datagen::makeMaterial(0.8f, 0.6f, 0.4f, 8, 0.2f)});
        b.add("ball", datagen::sphere(10.0, c.segments, c.stacks), datagen::Affine{}, 0);
        setUp(writeModel(b.finish(), "ball.x"));
        const MeshRecord& mesh = Mdx8::sceneMesh;
        EXPECT_EQ(mesh.numVertices > 65535, c.wide) << mesh.numVertices;
        EXPECT_EQ(mesh.indexBuffer->indexSize(), c.wide ? 4u : 2u);
        EXPECT_EQ(scene.edgeList.size(), 6u * uint32_t(mesh.numFaces));

        // The ball and its silhouette: the middle shows the ramp, the rim an outline.
        const BackBufferImage frame = drawFrames(2);
        const uint32_t middle = frame.at(recipe::kFrameWidth / 2, recipe::kFrameHeight / 2);
        EXPECT_NE(middle & 0xFFFFFF, recipe::backgroundColour() & 0xFFFFFF) << std::hex << middle;
        int black = 0;
        for (uint32_t x = 0; x < frame.width; ++x) black += (frame.at(x, recipe::kFrameHeight / 2) & 0xFFFFFF) == 0;
        EXPECT_GE(black, 2) << "no silhouette on the middle row";
    }
}

}  // namespace
