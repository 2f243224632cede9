// The frame recipe beyond what the golden frames show (GoldenFrameTest.cpp: the cel pass
// through the ramp, the edge pass through the alpha test, camera and projection, on every
// model, the overlay's lines in the default view): the first frame's culling, the faults a
// frame raises, and 32-bit indices for a large model.

#include <algorithm>
#include <fstream>
#include <functional>

#include "Primitives.h"
#include "RecipeFixture.h"
#include "support/Raised.h"

namespace {

using recipetest::RecipeFixture;

class FrameRecipe : public RecipeFixture {};
class WideIndices : public RecipeFixture {};

// The sheet, turned away from the camera around the middle of the frame: the device's default
// cull mode drops it in the first frame's cel pass; the edge pass turns culling off and nothing
// turns it on again. Its outline shows in both frames.
TEST_F(FrameRecipe, OnlyTheFirstFrameCullsBackFaces) {
    setUp(testsupport::writeModel(testsupport::sheet(), "sheet.x"));
    const BackBufferImage first = drawFrames(1), second = drawFrames(1);
    const uint32_t background = recipe::backgroundColour() & 0xFFFFFF;
    for (const BackBufferImage* frame : {&first, &second}) {
        const uint32_t middle = frame->at(frame->width / 2, frame->height / 2) & 0xFFFFFF;
        EXPECT_EQ(middle == background, frame == &first) << std::hex << middle;
        EXPECT_GT(std::count_if(frame->pixels.begin(), frame->pixels.end(), [](uint32_t p) { return (p & 0xFFFFFF) == 0; }), 100);
    }
}

TEST_F(FrameRecipe, FaultsOfAFrameRaiseTheClassicErrors) {
    setUp(testsupport::writeModel(testsupport::sheet(), "sheet.x"));
    const recipe::Scene good = scene;
    const MeshRecord goodMesh = Mdx8::sceneMesh;
    struct Case { const char* what; std::function<void()> spoil; int error; };
    const Case cases[] = {
        {"zero radius", [&] { scene.sphereRadius = 0; }, rt::errc::DivisionByZero},
        {"zero radius and zoom", [&] { scene.sphereRadius = 0, scene.zoom = 0; }, rt::errc::Overflow},
        {"scale past a float", [&] { scene.sphereRadius = 1e-38f, scene.zoom = 1e10f; }, rt::errc::Overflow},
        {"pitch without a negation", [&] { scene.pitch = INT32_MIN; }, rt::errc::Overflow},
        {"no edge list", [&] { scene.edgeList.clear(); }, rt::errc::SubscriptOutOfRange},
        {"a range without a material", [&] { Mdx8::sceneMesh.materials.clear(); }, rt::errc::SubscriptOutOfRange},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        scene = good;
        Mdx8::sceneMesh = goodMesh;
        c.spoil();
        const auto [number, text] = testsupport::raised([&] { recipe::drawFrame(Mdx8::device(), scene); });
        EXPECT_EQ(number, c.error) << text;
        if (number != 0) Mdx8::device().EndScene();  // the program ends here; the test goes on
    }
}

// A model that needs more than 65,535 vertices loads, is outlined and drawn with 32-bit
// indices, in .x as imported from another format; one that fits keeps 16-bit ones.
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
        setUp(c.imported ? writeObj(b.finish(), "ball.obj") : testsupport::writeModel(b.finish(), "ball.x"));
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

// A model of the user's turns about the middle of its faces: one far from its file's origin is
// drawn where the same model about the origin is, in the middle of the frame, turned the same.
// (The five turn about their origin: GoldenFrameTest.cpp.)
TEST_F(FrameRecipe, AModelFarFromItsOriginIsFramedAsOneAtItsOrigin) {
    const auto ball = [](datagen::Vec3 at) {
        datagen::ModelBuilder b("Ball", {datagen::makeMaterial(0.8f, 0.6f, 0.4f, 8, 0.2f)});
        b.add("ball", datagen::sphere(10.0, 24, 12), datagen::Affine::scale({1, 0.6, 0.8}), 0);
        b.add("knob", datagen::sphere(3.0, 12, 6), datagen::Affine::translate({9, 0, 0}), 0);
        datagen::Model model = b.finish();
        for (datagen::Vertex& v : model.vertices)
            v.position = {v.position.x + float(at.x), v.position.y + float(at.y), v.position.z + float(at.z)};
        return model;
    };
    std::vector<BackBufferImage> frames;
    for (datagen::Vec3 at : {datagen::Vec3{0, 0, 0}, datagen::Vec3{-40, 25, 30}}) {
        setUp(testsupport::writeModel(ball(at), "ball.x"));
        scene.yaw = 30, scene.pitch = -20;
        frames.push_back(drawFrames(2));
    }
    const auto middle = [](const BackBufferImage& f) { return f.at(recipe::kFrameWidth / 2, recipe::kFrameHeight / 2) & 0xFFFFFF; };
    EXPECT_NE(middle(frames[1]), recipe::backgroundColour() & 0xFFFFFF) << "the far model is not in the middle";
    int differing = 0;
    for (size_t i = 0; i < frames[0].pixels.size(); ++i) differing += frames[0].pixels[i] != frames[1].pixels[i];
    EXPECT_LT(differing, 200) << "of " << frames[0].pixels.size() << " pixels";
}

// The overlay's status line as it stands, to the space: the golden frames allow a few pixels.
TEST(StatusLine, FacesThenThreeSpacesThenRanges) {
    EXPECT_EQ(recipe::statusLineText(1000, 3), u"三角面：1000   材质数：3");
    EXPECT_EQ(recipe::statusLineText(0, 0), u"三角面：0   材质数：0");
}

}  // namespace
