// A model that needs more than 65,535 vertices loads, is outlined and drawn with 32-bit
// indices, in .x as imported from another format; one that fits keeps 16-bit ones.

#include "Primitives.h"
#include "RecipeFixture.h"
#include "d3dx8/D3DX8.h"

#include <fstream>

namespace {

using recipetest::RecipeFixture;

class WideIndices : public RecipeFixture {};

// The model as OBJ holds it: right-handed, so z negated and each face's corners reversed.
std::string writeObj(const datagen::Model& model, const std::string& name) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream out(path);
    for (const datagen::Vertex& v : model.vertices) {
        out << "v " << v.position.x << ' ' << v.position.y << ' ' << -v.position.z << '\n';
        out << "vn " << v.normal.x << ' ' << v.normal.y << ' ' << -v.normal.z << '\n';
    }
    for (const datagen::Face& f : model.faces) {
        out << 'f';
        for (uint32_t c : {f.corners[0], f.corners[2], f.corners[1]}) out << ' ' << c + 1 << "//" << c + 1;
        out << '\n';
    }
    return path;
}

TEST_F(WideIndices, AreChosenOnlyForAModelOfMoreThan65535Vertices) {
    struct Case { int segments, stacks; bool wide, imported; };
    for (const Case c : {Case{120, 60, false, false}, Case{330, 200, true, false}, Case{330, 200, true, true}}) {
        SCOPED_TRACE(c.segments + (c.imported ? 10000 : 0));
        datagen::ModelBuilder b("Ball", {datagen::makeMaterial(0.8f, 0.6f, 0.4f, 8, 0.2f)});
        b.add("ball", datagen::sphere(10.0, c.segments, c.stacks), datagen::Affine{}, 0);
        setUp(c.imported ? writeObj(b.finish(), "ball.obj") : writeModel(b.finish(), "ball.x"));
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
