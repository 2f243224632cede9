// The frame recipe's states and constants, tested through the recipe itself: a turned cube
// whose visible edges must come out as black lines (the cel pass through the ramp, the edge
// pass through the alpha test, the camera and projection), the first frame's culling, the
// faults a frame raises, and the overlay's status line.

#include <cmath>
#include <map>

#include "Primitives.h"
#include "RecipeFixture.h"
#include "runtime/Error.h"

namespace {

using recipetest::RecipeFixture;
using Screen = std::array<float, 2>;

D3DVECTOR corner(int i) { return {i & 4 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 1 ? 1.0f : -1.0f}; }
D3DVECTOR axis(int k, float sign) {
    D3DVECTOR v{0, 0, 0};
    (k == 0 ? v.x : k == 1 ? v.y : v.z) = sign;
    return v;
}
float coordinate(const D3DVECTOR& v, int k) { return k == 0 ? v.x : k == 1 ? v.y : v.z; }

// Where a model-space point lands on the frame under the world matrix of the last frame.
Screen project(const D3DVECTOR& p) {
    const D3DMATRIX wvp = D3DXMatrixMultiply(D3DXMatrixMultiply(Mdx8::matWorld, Mdx8::matView), Mdx8::matProj);
    const D3DVECTOR c = D3DXVec3TransformCoord(p, wvp);
    return {(1 + c.x) * recipe::kFrameWidth / 2, (1 - c.y) * recipe::kFrameHeight / 2};
}

// Whether the cube face with outward normal n faces the eye (at the view-space origin).
bool facesEye(const D3DVECTOR& n) {
    const D3DMATRIX wv = D3DXMatrixMultiply(Mdx8::matWorld, Mdx8::matView);
    return D3DXVec3Dot(D3DXVec3TransformCoord(n, wv), D3DXVec3TransformNormal(n, wv)) < 0;
}

uint32_t pixel(const BackBufferImage& img, Screen s) {
    return img.at(uint32_t(std::lround(s[0])), uint32_t(std::lround(s[1])));
}
bool isBlack(uint32_t argb) { return (argb & 0xFFFFFF) == 0; }
bool isBackground(uint32_t argb) { return (argb & 0xFFFFFF) == (recipe::backgroundColour() & 0xFFFFFF); }
bool blackNear(const BackBufferImage& img, Screen s) {
    for (float dy = -1; dy <= 1; ++dy)
        for (float dx = -1; dx <= 1; ++dx)
            if (isBlack(pixel(img, {s[0] + dx, s[1] + dy}))) return true;
    return false;
}

datagen::Model cube() {
    datagen::ModelBuilder b("Cube", {datagen::makeMaterial(0.9f, 0.8f, 0.7f, 8, 0)});
    b.add("cube", datagen::chamferBox({1, 1, 1}, 0.0), datagen::Affine{}, 0);
    return b.finish();
}

class FrameRecipe : public RecipeFixture {};

TEST_F(FrameRecipe, VisibleCubeEdgesAreBlackHiddenEdgesAndDiagonalsAreNot) {
    setUp(writeModel(cube(), "cube.x"));
    scene.zoom = 6.0f * std::sqrt(3.0f);  // six model units per unit of the radius-√3 sphere
    scene.pitch = -26;
    scene.yaw = 34;
    const BackBufferImage img = drawFrames(2);

    int shown = 0;
    float visibleLength = 0;
    for (int a = 0; a < 8; ++a)
        for (int k = 0; k < 3; ++k) {
            const int b = a | (1 << (2 - k));  // bit 2 is x, bit 0 is z
            if (b == a) continue;
            // The two faces beside the edge: along the other two axes, on the edge's side.
            bool visible = false;
            for (int m = 0; m < 3; ++m)
                if (m != k) visible |= facesEye(axis(m, coordinate(corner(a), m)));
            const Screen pa = project(corner(a)), pb = project(corner(b));
            SCOPED_TRACE(::testing::Message() << "edge " << a << "-" << b);
            if (!visible) {
                EXPECT_FALSE(isBlack(pixel(img, {(pa[0] + pb[0]) / 2, (pa[1] + pb[1]) / 2})));
                continue;
            }
            ++shown;
            visibleLength += std::hypot(pb[0] - pa[0], pb[1] - pa[1]);
            for (float t : {0.2f, 0.5f, 0.8f})
                EXPECT_TRUE(blackNear(img, {pa[0] + t * (pb[0] - pa[0]), pa[1] + t * (pb[1] - pa[1])})) << t;
        }
    EXPECT_EQ(shown, 9);

    // Face centres (the middles of the diagonals) of the faces in view show the ramp.
    for (int k = 0; k < 3; ++k)
        for (float sign : {-1.0f, 1.0f}) {
            const D3DVECTOR n = axis(k, sign);
            if (!facesEye(n)) continue;
            const uint32_t px = pixel(img, project(n));
            EXPECT_FALSE(isBlack(px) || isBackground(px)) << std::hex << px;
        }

    // No stray lines: the black pixels are about the visible edges' length, not more.
    size_t black = 0;
    for (uint32_t p : img.pixels) black += isBlack(p);
    EXPECT_GT(float(black), 0.8f * visibleLength);
    EXPECT_LT(float(black), 1.5f * visibleLength + 20.0f);
}

// A lone triangle turned away from the camera: the device's default cull mode drops it in
// the first frame's cel pass; the edge pass turns culling off and nothing turns it on again.
// Its border lines show in both frames.
TEST_F(FrameRecipe, OnlyTheFirstFrameCullsBackFaces) {
    datagen::Model sheet;
    sheet.name = "Sheet";
    for (auto [x, y] : {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {0.0f, 1.0f}})
        sheet.vertices.push_back({{x, y, 0}, {0, 0, 1}, 0.5f, 0.5f});
    sheet.faces.push_back({{0, 1, 2}, 0, 0});
    sheet.materials.push_back(datagen::makeMaterial(0.9f, 0.8f, 0.7f, 8, 0));
    sheet.parts.push_back({"sheet", datagen::Closure::Sheet});
    setUp(writeModel(sheet, "sheet.x"));

    const BackBufferImage first = drawFrames(1);
    const BackBufferImage second = drawFrames(1);
    const Screen centre = project({0, -1.0f / 3, 0});
    EXPECT_TRUE(isBackground(pixel(first, centre))) << std::hex << pixel(first, centre);
    EXPECT_FALSE(isBackground(pixel(second, centre))) << std::hex << pixel(second, centre);
    EXPECT_TRUE(blackNear(first, project({0, -1, 0})));
    EXPECT_TRUE(blackNear(second, project({0, -1, 0})));
}

TEST_F(FrameRecipe, FaultsOfAFrameRaiseTheClassicErrors) {
    setUp(writeModel(cube(), "cube.x"));
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
        try {
            recipe::drawFrame(Mdx8::device(), scene);
            ADD_FAILURE() << "no error";
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), c.error) << e.text();
            Mdx8::device().EndScene();  // the program ends here; the test goes on
        }
    }
}

TEST(StatusLine, FacesThenThreeSpacesThenRanges) {
    EXPECT_EQ(recipe::statusLineText(1000, 3), u"三角面：1000   材质数：3");
    EXPECT_EQ(recipe::statusLineText(0, 0), u"三角面：0   材质数：0");
}

}  // namespace
