// One frame of the two passes, as the renderer draws it, over a turned cube on the
// off-screen device: the faces shaded through a ramp, then the edge lines through the alpha
// test. Visible edges must come out as black lines, hidden edges and face diagonals not.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "FrameConstants.h"
#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dx8/D3DX8.h"
#include "shaders/ShaderCreation.h"

namespace {

using V3 = D3DVECTOR;

struct MeshVertex { V3 position, normal; float u, v; };
struct EdgeVertex { V3 position, normalA, normalB; };

constexpr uint32_t kWidth = 200, kHeight = 160, kBackground = 0xFF2040A0;

// The six faces of the cube of side 2, corners clockwise as seen from outside (Direct3D's
// front side).
const int kFaces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};

V3 corner(int i) { return {i & 4 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 1 ? 1.0f : -1.0f}; }

// A face's centre, which on this cube is also its outward normal.
V3 faceCentre(int f) {
    V3 c{0, 0, 0};
    for (int k = 0; k < 4; ++k) c = D3DXVec3Add(c, D3DXVec3Scale(corner(kFaces[f][k]), 0.25f));
    return c;
}

using Screen = std::array<float, 2>;

Screen project(V3 p, const D3DMATRIX& world) {
    const D3DMATRIX wv = D3DXMatrixMultiply(world, shadertest::viewMatrix());
    const V3 c = D3DXVec3TransformCoord(p, D3DXMatrixMultiply(wv, shadertest::projectionMatrix()));
    return {(1 + c.x) * kWidth / 2, (1 - c.y) * kHeight / 2};
}

// Whether face f faces the eye (at the view-space origin) under `world`.
bool facesEye(int f, const D3DMATRIX& world) {
    const D3DMATRIX wv = D3DXMatrixMultiply(world, shadertest::viewMatrix());
    return D3DXVec3Dot(D3DXVec3TransformCoord(faceCentre(f), wv), D3DXVec3TransformNormal(faceCentre(f), wv)) < 0;
}

class CubeOutline : public ::testing::Test {
protected:
    // The mesh: four vertices and two triangles a face. The edge list as the program builds
    // it: both ends of every triangle side, with normalB = -normalA across the cube's
    // right-angled creases and the face's own normal across its diagonal, where the two
    // triangles lie flat.
    void SetUp() override {
        for (int f = 0; f < 6; ++f) {
            const V3 n = faceCentre(f), back = D3DXVec3Scale(n, -1.0f);
            for (int k = 0; k < 4; ++k) vertices.push_back({corner(kFaces[f][k]), n, 0, 0});
            for (int k : {0, 1, 2, 0, 2, 3}) indices.push_back(uint16_t(4 * f + k));
            for (auto [a, b] : {std::pair{0, 1}, {1, 2}, {2, 0}, {0, 2}, {2, 3}, {3, 0}})
                for (int end : {a, b}) edges.push_back({corner(kFaces[f][end]), n, a % 2 == b % 2 ? n : back});
        }
        device = createOffscreenDevice(kWidth, kHeight);
        auto ramp = device->CreateTexture(4, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
        ramp->mutableLevel(0).texels = {0xFF505050, 0xFF909090, 0xFFC8C8C8, 0xFFFFFFFF};
        device->SetTexture(0, ramp);
        const std::string data = std::string(CELSHADE_SOURCE_DIR) + "/data/";
        cel = uint32_t(D3DShaders::createVertexShaderFromFile(d3dx, *device, data + "celshading.txt", D3DShaders::celShaderDeclaration()));
        edge = uint32_t(D3DShaders::createVertexShaderFromFile(d3dx, *device, data + "shver2.txt", D3DShaders::edgeShaderDeclaration()));
    }

    // Pass 1 and pass 2 of a frame, with the states the renderer uses.
    BackBufferImage drawFrame(const D3DMATRIX& world) {
        const vs::ConstantFile k = shadertest::frameConstants(world);
        auto vertexBuffer = device->CreateVertexBuffer(uint32_t(vertices.size() * 32), 0, 274, D3DPOOL_MANAGED);
        vertexBuffer->write(0, std::as_bytes(std::span(vertices)));
        auto indexBuffer = device->CreateIndexBuffer(uint32_t(indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED);
        indexBuffer->write(0, std::as_bytes(std::span(indices)));
        renderStates({{D3DRS_LIGHTING, 0}, {D3DRS_ZENABLE, 1}, {D3DRS_ALPHABLENDENABLE, 1}, {D3DRS_CULLMODE, D3DCULL_NONE}});
        stageStates({{D3DTSS_MAGFILTER, D3DTEXF_LINEAR}, {D3DTSS_MINFILTER, D3DTEXF_LINEAR}});
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);
        device->BeginScene();
        stageStates({{D3DTSS_COLOROP, D3DTOP_MODULATE}, {D3DTSS_COLORARG1, D3DTA_TEXTURE}, {D3DTSS_COLORARG2, D3DTA_DIFFUSE},
                     {D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}, {D3DTSS_ALPHAARG1, D3DTA_DIFFUSE}});
        device->SetVertexShader(cel);
        device->SetVertexShaderConstant(0, k.data(), 11);
        device->SetStreamSource(0, vertexBuffer, 32);
        device->SetIndices(indexBuffer, 0);
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, uint32_t(vertices.size()), 0, uint32_t(indices.size() / 3));
        stageStates({{D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {D3DTSS_COLORARG1, D3DTA_CURRENT}});
        renderStates({{D3DRS_ALPHATESTENABLE, 0xFFFFFFFFu}, {D3DRS_ALPHAFUNC, D3DCMP_LESSEQUAL}, {D3DRS_ALPHAREF, 0}});
        device->SetVertexShader(edge);
        device->DrawPrimitiveUP(D3DPT_LINELIST, uint32_t(edges.size() / 2), edges.data(), sizeof(EdgeVertex));
        device->EndScene();
        return device->readBackBuffer();
    }

    using States = std::initializer_list<std::pair<uint32_t, uint32_t>>;
    void renderStates(States states) { for (auto [state, value] : states) device->SetRenderState(state, value); }
    void stageStates(States states) { for (auto [state, value] : states) device->SetTextureStageState(0, state, value); }

    std::vector<MeshVertex> vertices;
    std::vector<uint16_t> indices;
    std::vector<EdgeVertex> edges;
    std::shared_ptr<Direct3DDevice8> device;
    std::shared_ptr<D3DX8> d3dx;
    uint32_t cel = 0, edge = 0;
};

bool isBlack(uint32_t argb) { return (argb & 0xFFFFFF) == 0; }

uint32_t pixel(const BackBufferImage& img, Screen s) { return img.at(uint32_t(std::lround(s[0])), uint32_t(std::lround(s[1]))); }

bool blackNear(const BackBufferImage& img, Screen s) {
    for (float dy = -1; dy <= 1; ++dy)
        for (float dx = -1; dx <= 1; ++dx)
            if (isBlack(pixel(img, {s[0] + dx, s[1] + dy}))) return true;
    return false;
}

TEST_F(CubeOutline, VisibleEdgesAreBlackHiddenEdgesAndDiagonalsAreNot) {
    const D3DMATRIX world = shadertest::worldMatrix(6.0f, 0.45f, 0.6f);
    const BackBufferImage img = drawFrame(world);
    // A cube edge is visible when either face beside it faces the eye.
    std::map<std::pair<int, int>, bool> visible;
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < 4; ++k) {
            const int a = kFaces[f][k], b = kFaces[f][(k + 1) % 4];
            visible[{std::min(a, b), std::max(a, b)}] |= facesEye(f, world);
        }
    int shown = 0;
    float visibleLength = 0;
    for (const auto& [ends, isVisible] : visible) {
        const Screen a = project(corner(ends.first), world), b = project(corner(ends.second), world);
        SCOPED_TRACE(::testing::Message() << "edge " << ends.first << "-" << ends.second);
        if (!isVisible) {
            EXPECT_FALSE(isBlack(pixel(img, {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2})));
            continue;
        }
        ++shown;
        visibleLength += std::hypot(b[0] - a[0], b[1] - a[1]);
        for (float t : {0.2f, 0.5f, 0.8f}) EXPECT_TRUE(blackNear(img, {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])})) << t;
    }
    EXPECT_EQ(shown, 9);

    // Face centres (the middles of the diagonals) of the faces in view show the ramp, not a line.
    for (int f = 0; f < 6; ++f) {
        if (!facesEye(f, world)) continue;
        const uint32_t px = pixel(img, project(faceCentre(f), world));
        EXPECT_FALSE(isBlack(px)) << "face " << f;
        EXPECT_NE(px, kBackground) << "face " << f;
    }

    // No stray lines: the black pixels are about the visible edges' length, not more.
    size_t black = 0;
    for (uint32_t p : img.pixels) black += isBlack(p);
    EXPECT_GT(float(black), 0.8f * visibleLength);
    EXPECT_LT(float(black), 1.5f * visibleLength + 20.0f);
}

}  // namespace
