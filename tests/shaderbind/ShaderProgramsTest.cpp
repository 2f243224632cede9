// What the two shipped programs compute, on the interpreter with the constants the frame
// recipe uploads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "d3dsupport/Mdx8.h"
#include "scene/FrameRecipe.h"
#include "vs/Assembler.h"
#include "vs/Interpreter.h"

namespace {

using Vec3 = std::array<float, 3>;
using Vec4 = std::array<float, 4>;

// Scale, then turn about X and Y by whole degrees, as the main loop composes the world.
D3DMATRIX worldMatrix(float scale, int32_t degreesX, int32_t degreesY) {
    return Mdx8::makeWorldMatrix(scale, scale, scale, degreesX, degreesY, 0, 0, 0, 0);
}

// The cel pass's registers for `world` under the program's camera and projection.
vs::ConstantFile frameConstants(const D3DMATRIX& world, const Vec4& diffuse = {1, 1, 1, 1}) {
    const D3DMATRIX view = Mdx8::cameraView(), projection = Mdx8::cameraProjection();
    const D3DMATRIX worldView = recipe::worldViewConstant(world, view);
    const D3DMATRIX worldViewProjection = recipe::worldViewProjectionConstant(world, view, projection);
    vs::ConstantFile k{};
    std::memcpy(&k[recipe::kRampRowRegister], &recipe::kRampRow, 16);
    std::memcpy(&k[recipe::kWorldViewRegister], &worldView, 3 * 16);
    std::memcpy(&k[recipe::kWorldViewProjectionRegister], &worldViewProjection, 4 * 16);
    k[recipe::kDiffuseRegister] = diffuse;
    std::memcpy(&k[recipe::kLightRegister], &recipe::kLight, 16);
    return k;
}

vs::CompiledShader load(const char* name) {
    std::ifstream in(std::string(CELSHADE_SOURCE_DIR) + "/data/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return vs::CompiledShader(vs::decodeProgram(vs::assemble(text.str(), name).function));
}

struct Out { Vec4 pos, d0, t0; };

// One vertex as the declarations bind it: position, normal and (u, v) for the cel program,
// position, normalA and normalB for the edge program.
Out shade(const std::vector<float>& vertex, const vs::ConstantFile& k) {
    const bool edge = vertex.size() == 9;
    const vs::InputBinding bindings[] = {{0, vs::InputType::Float3, 0}, {3, vs::InputType::Float3, 12},
                                         {uint8_t(edge ? 6 : 7), edge ? vs::InputType::Float3 : vs::InputType::Float2, 24}};
    const vs::VertexSource src{.data = reinterpret_cast<const std::byte*>(vertex.data()), .stride = uint32_t(vertex.size() * 4),
                               .bindings = bindings, .indices = {}};
    Out o{};
    vs::OutputArrays arrays;
    for (size_t c = 0; c < 4; ++c)
        arrays.comp[vs::OutPos][c] = &o.pos[c], arrays.comp[vs::OutD0][c] = &o.d0[c], arrays.comp[vs::OutT0][c] = &o.t0[c];
    static const vs::CompiledShader cel = load("celshading.txt"), edges = load("shver2.txt");
    (edge ? edges : cel).run(k, src, 1, arrays, 1);
    return o;
}

std::vector<float> celVertex(Vec3 p, Vec3 n) { return {p[0], p[1], p[2], n[0], n[1], n[2], 0.3f, 0.7f}; }

float rampU(Vec3 normal, float scale = 1.0f) { return shade(celVertex({1, 2, 3}, normal), frameConstants(worldMatrix(scale, 0, 0))).t0[0]; }

// The light sits left, above and in front: faces toward the viewer and the light read the
// light end of the ramp (u up to 0.9), faces turned away the dark end (down to 0.1). The
// zoom scales the world matrix and the normal is renormalised, so the shade does not move.
// The material colour passes through.
TEST(CelProgram, ShadeFollowsTheLightIgnoresScaleAndStaysInTheRamp) {
    EXPECT_GT(rampU({0, 0, -1}), 0.75f);  // the lightest of four bands
    EXPECT_LT(rampU({0, 0, 1}), 0.25f);   // the darkest
    const float len = std::sqrt(0.16f + 0.01f + 0.25f);
    EXPECT_NEAR(rampU({-0.4f / len, 0.1f / len, -0.5f / len}), 0.9f, 1e-5f);
    EXPECT_NEAR(rampU({0.4f / len, -0.1f / len, 0.5f / len}), 0.1f, 1e-5f);
    EXPECT_NEAR(rampU({0, 0, -1}, 7.5f), rampU({0, 0, -1}), 1e-5f);
    EXPECT_NEAR(rampU({0, 3, 0}, 0.05f), rampU({0, 1, 0}), 1e-5f);
    const Out o = shade(celVertex({1, 2, 3}, {0, 1, 0}), frameConstants(worldMatrix(3, 57, 115), {0.2f, 0.4f, 0.6f, 0.8f}));
    EXPECT_EQ(o.t0[1], 0.5f);
    EXPECT_EQ(o.d0, (Vec4{0.2f, 0.4f, 0.6f, 0.8f}));
}

struct EdgeCase { Vec3 position, normalA, normalB; float scale, alpha; };  // alpha 0: the line shows

// Crease and border lines carry normalB = -normalA and always show. Otherwise a line shows
// where one face turns toward the eye and the other away; only the signs matter, so inward
// normals work as well as outward ones, and even a tiny shared facing hides a smooth edge at
// any zoom. The facing is taken against the eye-to-vertex vector, not the view axis.
TEST(EdgeProgram, LineShowsExactlyWhereTheFacingsDiffer) {
    const std::vector<EdgeCase> cases = {
        {{1, 1, 1}, {0, 0, -1}, {0, 0, 1}, 1, 0},
        {{1, 1, 1}, {0.6f, -0.8f, 0}, {-0.6f, 0.8f, 0}, 1, 0},
        {{0, 0, 0}, {0, 0.6f, -0.8f}, {0, 0.6f, 0.8f}, 1, 0},
        {{0, 0, 0}, {0, -0.6f, 0.8f}, {0, -0.6f, -0.8f}, 1, 0},
        {{0, 0, 0}, {0, 0.6f, -0.8f}, {0.6f, 0, -0.8f}, 1, 1},
        {{0, 0, 0}, {0, 0.6f, 0.8f}, {0.6f, 0, 0.8f}, 1, 1},
        {{0, 0, 0}, {0, 0.999f, -0.04f}, {0, 0.999f, -0.03f}, 0.05f, 1},
        {{10, 0, 0}, {1, 0, 0}, {0.9f, 0, -0.2f}, 1, 1},  // both away from an eye on the left
        {{10, 0, 0}, {1, 0, 0}, {0.2f, 0, -0.9f}, 1, 0},  // 10 - 0.9 * 40 < 0: toward
    };
    for (const EdgeCase& c : cases) {
        const auto& [p, a, b] = std::tie(c.position, c.normalA, c.normalB);
        const Out o = shade({p[0], p[1], p[2], a[0], a[1], a[2], b[0], b[1], b[2]}, frameConstants(worldMatrix(c.scale, 0, 0)));
        EXPECT_EQ(o.d0, (Vec4{0, 0, 0, c.alpha})) << a[0] << " " << a[1] << " " << a[2] << " / " << b[0] << " " << b[1] << " " << b[2];
    }
}

// The line is pulled toward the camera by 5e-5 in depth, some three steps of a 16-bit
// buffer; x, y and w are the cel pass's.
TEST(EdgeProgram, DepthBiasTowardTheCamera) {
    const vs::ConstantFile k = frameConstants(worldMatrix(3, 23, 52));
    const Out edge = shade({1, 2, -3, 0, 1, 0, 0, -1, 0}, k);
    const Out cel = shade(celVertex({1, 2, -3}, {0, 1, 0}), k);
    EXPECT_EQ((Vec3{edge.pos[0], edge.pos[1], edge.pos[3]}), (Vec3{cel.pos[0], cel.pos[1], cel.pos[3]}));
    EXPECT_NEAR(edge.pos[2] / edge.pos[3] - cel.pos[2] / cel.pos[3], -5e-5f, 2e-6f);
}

}  // namespace
