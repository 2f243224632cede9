// What the two shipped programs compute, on the interpreter with the renderer's constants.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "FrameConstants.h"

namespace {

using shadertest::frameConstants;
using shadertest::worldMatrix;
using Vec3 = std::array<float, 3>;

struct Out {
    std::array<float, 4> pos, d0, t0;
};

// Runs `program` over vertices of `floatsPerVertex` floats bound as the declarations bind them.
std::vector<Out> shade(const char* program, const std::vector<float>& data, bool edges, const vs::ConstantFile& k) {
    const vs::CompiledShader shader(shadertest::shippedProgram(program));
    const std::vector<vs::InputBinding> bindings = {
        {0, vs::InputType::Float3, 0}, {3, vs::InputType::Float3, 12},
        edges ? vs::InputBinding{6, vs::InputType::Float3, 24} : vs::InputBinding{7, vs::InputType::Float2, 24}};
    const size_t floats = edges ? 9 : 8, n = data.size() / floats;
    vs::VertexSource src;
    src.data = reinterpret_cast<const std::byte*>(data.data());
    src.stride = uint32_t(floats * 4);
    src.bindings = bindings;
    std::vector<float> store(n * 12);
    vs::OutputArrays arrays;
    for (size_t c = 0; c < 4; ++c) {
        arrays.comp[vs::OutPos][c] = &store[c * n];
        arrays.comp[vs::OutD0][c] = &store[(4 + c) * n];
        arrays.comp[vs::OutT0][c] = &store[(8 + c) * n];
    }
    shader.run(k, src, n, arrays);
    std::vector<Out> out(n);
    for (size_t i = 0; i < n; ++i)
        for (size_t c = 0; c < 4; ++c) {
            out[i].pos[c] = store[c * n + i];
            out[i].d0[c] = store[(4 + c) * n + i];
            out[i].t0[c] = store[(8 + c) * n + i];
        }
    return out;
}

std::vector<float> celVertex(Vec3 p, Vec3 n) { return {p[0], p[1], p[2], n[0], n[1], n[2], 0.3f, 0.7f}; }
std::vector<float> edgeVertex(Vec3 p, Vec3 a, Vec3 b) { return {p[0], p[1], p[2], a[0], a[1], a[2], b[0], b[1], b[2]}; }

float rampU(Vec3 normal, float scale = 1.0f) {
    return shade("celshading.txt", celVertex({1, 2, 3}, normal), false, frameConstants(worldMatrix(scale, 0, 0)))[0].t0[0];
}

TEST(CelProgram, ClipPositionIsTheFullTransform) {
    const D3DMATRIX world = worldMatrix(2.0f, 0.3f, -0.7f);
    const D3DMATRIX wvp = D3DXMatrixMultiply(D3DXMatrixMultiply(world, shadertest::viewMatrix()), shadertest::projectionMatrix());
    const Out o = shade("celshading.txt", celVertex({1, -2, 3}, {0, 1, 0}), false, frameConstants(world))[0];
    const float p[4] = {1, -2, 3, 1};
    for (int c = 0; c < 4; ++c) {
        const float expected = p[0] * (&wvp._11)[c] + p[1] * (&wvp._21)[c] + p[2] * (&wvp._31)[c] + p[3] * (&wvp._41)[c];
        EXPECT_NEAR(o.pos[size_t(c)], expected, 1e-4f * std::fabs(expected) + 1e-5f) << c;
    }
}

// The light sits left, above and in front: faces toward the viewer and the light read the
// light end of the ramp, faces turned away the dark end.
TEST(CelProgram, LitSidesReadTheLightEndOfTheRamp) {
    const float toCamera = rampU({0, 0, -1});
    const float away = rampU({0, 0, 1});
    EXPECT_GT(toCamera, 0.75f);  // the lightest of four bands
    EXPECT_LT(away, 0.25f);      // the darkest
    EXPECT_GT(rampU({-1, 0, 0}), rampU({1, 0, 0}));  // left is lit
    EXPECT_GT(rampU({0, 1, 0}), rampU({0, -1, 0}));  // top is lit
    const float len = std::sqrt(0.16f + 0.01f + 0.25f);
    EXPECT_NEAR(rampU({-0.4f / len, 0.1f / len, -0.5f / len}), 0.9f, 1e-5f);
    EXPECT_NEAR(rampU({0.4f / len, -0.1f / len, 0.5f / len}), 0.1f, 1e-5f);
}

// The zoom scales the world matrix; the normal is renormalised, so the shade does not move.
TEST(CelProgram, ShadeIgnoresScaleAndStaysInsideTheRamp) {
    EXPECT_NEAR(rampU({0, 0, -1}, 7.5f), rampU({0, 0, -1}), 1e-5f);
    EXPECT_NEAR(rampU({0, 3, 0}, 0.05f), rampU({0, 1, 0}), 1e-5f);
    std::mt19937 rng(3);
    std::normal_distribution<float> d;
    std::vector<float> data;
    for (int i = 0; i < 500; ++i) {
        const auto v = celVertex({d(rng), d(rng), d(rng)}, {d(rng), d(rng), d(rng)});
        data.insert(data.end(), v.begin(), v.end());
    }
    for (const Out& o : shade("celshading.txt", data, false, frameConstants(worldMatrix(3, 1, 2), {0.2f, 0.4f, 0.6f, 0.8f}))) {
        EXPECT_GE(o.t0[0], 0.1f - 1e-5f);
        EXPECT_LE(o.t0[0], 0.9f + 1e-5f);
        EXPECT_EQ(o.t0[1], 0.5f);
        EXPECT_EQ(o.d0, (std::array<float, 4>{0.2f, 0.4f, 0.6f, 0.8f}));
    }
}

float edgeAlpha(Vec3 position, Vec3 a, Vec3 b, const D3DMATRIX& world = worldMatrix(1, 0, 0)) {
    const Out o = shade("shver2.txt", edgeVertex(position, a, b), true, frameConstants(world))[0];
    EXPECT_EQ(o.d0[0], 0.0f);
    EXPECT_EQ(o.d0[1], 0.0f);
    EXPECT_EQ(o.d0[2], 0.0f);
    return o.d0[3];
}

// Crease and border lines carry normalB = -normalA: their facings always differ.
TEST(EdgeProgram, CreasesAndBordersAlwaysShow) {
    for (Vec3 n : {Vec3{0, 0, -1}, Vec3{0, 0, 1}, Vec3{1, 0, 0}, Vec3{0.6f, -0.8f, 0}})
        EXPECT_EQ(edgeAlpha({1, 1, 1}, n, {-n[0], -n[1], -n[2]}), 0.0f);
}

// Only the signs matter, so the edge list's inward normals work as well as outward ones.
TEST(EdgeProgram, SilhouettesShowSmoothEdgesHide) {
    EXPECT_EQ(edgeAlpha({0, 0, 0}, {0, 0.6f, -0.8f}, {0, 0.6f, 0.8f}), 0.0f);    // one toward the eye, one away
    EXPECT_EQ(edgeAlpha({0, 0, 0}, {0, -0.6f, 0.8f}, {0, -0.6f, -0.8f}), 0.0f);  // the same, inward
    EXPECT_EQ(edgeAlpha({0, 0, 0}, {0, 0.6f, -0.8f}, {0.6f, 0, -0.8f}), 1.0f);   // both toward
    EXPECT_EQ(edgeAlpha({0, 0, 0}, {0, 0.6f, 0.8f}, {0.6f, 0, 0.8f}), 1.0f);     // both away
    // Even a tiny shared facing hides a smooth edge, at any zoom.
    EXPECT_EQ(edgeAlpha({0, 0, 0}, {0, 0.999f, -0.04f}, {0, 0.999f, -0.03f}, worldMatrix(0.05f, 0, 0)), 1.0f);
}

// The facing is taken against the eye-to-vertex vector, not the view axis: off centre, a
// normal along +x faces away from an eye on the left of it.
TEST(EdgeProgram, FacingUsesThePerspectiveEyeVector) {
    EXPECT_EQ(edgeAlpha({10, 0, 0}, {1, 0, 0}, {0.9f, 0, -0.2f}), 1.0f);     // both away from the eye
    EXPECT_EQ(edgeAlpha({10, 0, 0}, {1, 0, 0}, {0.2f, 0, -0.9f}), 0.0f);     // 10 - 0.9 * 40 < 0: toward
}

// The line is pulled toward the camera by 5e-5 in depth: some three steps of a 16-bit buffer.
TEST(EdgeProgram, DepthBiasTowardTheCamera) {
    const D3DMATRIX world = worldMatrix(3, 0.4f, 0.9f);
    const Out edge = shade("shver2.txt", edgeVertex({1, 2, -3}, {0, 1, 0}, {0, -1, 0}), true, frameConstants(world))[0];
    const Out cel = shade("celshading.txt", celVertex({1, 2, -3}, {0, 1, 0}), false, frameConstants(world))[0];
    EXPECT_EQ(edge.pos[0], cel.pos[0]);
    EXPECT_EQ(edge.pos[1], cel.pos[1]);
    EXPECT_EQ(edge.pos[3], cel.pos[3]);
    const float bias = edge.pos[2] / edge.pos[3] - cel.pos[2] / cel.pos[3];
    EXPECT_NEAR(bias, -5e-5f, 2e-6f);
    EXPECT_GT(-bias * 65535.0f, 2.0f);
    EXPECT_LT(-bias * 65535.0f, 5.0f);
}

}  // namespace
