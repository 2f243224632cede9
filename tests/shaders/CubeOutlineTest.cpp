// One frame of the two passes, as the renderer draws it, over a turned cube on the
// off-screen device: the faces shaded through a ramp, then the edge lines through the alpha
// test. Visible edges must come out as black lines, hidden edges and face diagonals not.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FrameConstants.h"
#include "OffscreenShaderDevice.h"
#include "d3dx8/D3DX8.h"
#include "shaders/ShaderCreation.h"

namespace {

using V3 = D3DVECTOR;

struct MeshVertex {
    V3 position, normal;
    float u, v;
};
struct EdgeVertex {
    V3 position, normalA, normalB;
};

constexpr uint32_t kWidth = 200, kHeight = 160;
constexpr uint32_t kBackground = 0xFF2040A0;

// The unit cube's six faces, corners clockwise as seen from outside (Direct3D's front side).
const int kFaces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};

V3 corner(int i) { return {i & 4 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 1 ? 1.0f : -1.0f}; }

struct Cube {
    std::vector<MeshVertex> vertices;
    std::vector<uint16_t> indices;
};

Cube makeCube() {
    Cube c;
    for (const auto& f : kFaces) {
        const V3 a = corner(f[0]), b = corner(f[1]), d = corner(f[3]);
        const V3 outward = D3DXVec3Normalize(D3DXVec3Cross(D3DXVec3Subtract(b, a), D3DXVec3Subtract(d, a)));
        const uint16_t base = uint16_t(c.vertices.size());
        for (int k = 0; k < 4; ++k) c.vertices.push_back({corner(f[k]), D3DXVec3Scale(outward, -1.0f), 0, 0});
        for (int k : {0, 1, 2, 0, 2, 3}) c.indices.push_back(uint16_t(base + k));
    }
    // The cross product above runs against the winding: flip to point out of the cube.
    for (auto& v : c.vertices) v.normal = D3DXVec3Scale(v.normal, -1.0f);
    return c;
}

// The edge list as the program builds it: six line ends per face, normalB the neighbour's
// normal across a gentle bend (cosine above 0.5), otherwise -normalA.
std::vector<EdgeVertex> buildEdges(const Cube& c) {
    const size_t faces = c.indices.size() / 3;
    auto p = [&](size_t f, int k) { return c.vertices[c.indices[3 * f + size_t(k)]].position; };
    auto same = [](V3 a, V3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
    std::vector<V3> normal(faces);
    for (size_t f = 0; f < faces; ++f)
        normal[f] = D3DXVec3Normalize(D3DXVec3Cross(D3DXVec3Subtract(p(f, 2), p(f, 1)), D3DXVec3Subtract(p(f, 1), p(f, 0))));
    std::vector<EdgeVertex> out;
    for (size_t f = 0; f < faces; ++f)
        for (int e = 0; e < 3; ++e) {
            const V3 a = p(f, e), b = p(f, (e + 1) % 3);
            V3 nb = D3DXVec3Scale(normal[f], -1.0f);
            for (size_t g = 0; g < faces; ++g) {
                const bool opposite = (same(a, p(g, 1)) && same(b, p(g, 0))) || (same(a, p(g, 2)) && same(b, p(g, 1))) ||
                                      (same(a, p(g, 0)) && same(b, p(g, 2)));
                if (opposite && D3DXVec3Dot(normal[f], normal[g]) > 0.5f) {
                    nb = normal[g];
                    break;
                }
            }
            out.push_back({a, normal[f], nb});
            out.push_back({b, normal[f], nb});
        }
    return out;
}

class CubeOutline : public ::testing::Test {
protected:
    void SetUp() override {
        device = shadertest::makeDevice(kWidth, kHeight);
        device->SetRenderState(D3DRS_LIGHTING, 0);
        device->SetRenderState(D3DRS_ZENABLE, 1);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        auto ramp = device->CreateTexture(4, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
        ramp->mutableLevel(0).texels = {0xFF505050, 0xFF909090, 0xFFC8C8C8, 0xFFFFFFFF};
        device->SetTexture(0, ramp);
        const std::string data = std::string(CELSHADE_SOURCE_DIR) + "/data/";
        celShader = uint32_t(D3DShaders::createVertexShaderFromFile(d3dx, *device, data + "celshading.txt",
                                                                     D3DShaders::celShaderDeclaration()));
        edgeShader = uint32_t(D3DShaders::createVertexShaderFromFile(d3dx, *device, data + "shver2.txt",
                                                                      D3DShaders::edgeShaderDeclaration()));
    }

    void uploadCube(const Cube& cube) {
        vertexBuffer = device->CreateVertexBuffer(uint32_t(cube.vertices.size() * 32), 0, 274, D3DPOOL_MANAGED);
        vertexBuffer->write(0, std::as_bytes(std::span(cube.vertices)));
        indexBuffer = device->CreateIndexBuffer(uint32_t(cube.indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED);
        indexBuffer->write(0, std::as_bytes(std::span(cube.indices)));
    }

    // Pass 1 and pass 2 of a frame, with the constants and states the renderer uses.
    BackBufferImage drawFrame(const Cube& cube, const std::vector<EdgeVertex>& edges, const D3DMATRIX& world) {
        const vs::ConstantFile k = shadertest::frameConstants(world);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);
        device->BeginScene();
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetVertexShader(celShader);
        device->SetVertexShaderConstant(1, &k[1], 3);
        device->SetVertexShaderConstant(5, &k[5], 4);
        device->SetVertexShaderConstant(0, &k[0], 1);
        device->SetVertexShaderConstant(10, &k[10], 1);
        device->SetStreamSource(0, vertexBuffer, 32);
        device->SetIndices(indexBuffer, 0);
        device->SetVertexShaderConstant(9, &k[9], 1);
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, uint32_t(cube.vertices.size()), 0, uint32_t(cube.indices.size() / 3));
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_CURRENT);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
        device->SetRenderState(D3DRS_ALPHATESTENABLE, 0xFFFFFFFFu);
        device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESSEQUAL);
        device->SetRenderState(D3DRS_ALPHAREF, 0);
        device->SetVertexShader(edgeShader);
        device->DrawPrimitiveUP(D3DPT_LINELIST, uint32_t(edges.size() / 2), edges.data(), sizeof(EdgeVertex));
        device->SetRenderState(D3DRS_ALPHATESTENABLE, 0);
        device->EndScene();
        return device->readBackBuffer();
    }

    std::shared_ptr<Direct3DDevice8> device;
    std::shared_ptr<D3DX8> d3dx;
    std::shared_ptr<Direct3DVertexBuffer8> vertexBuffer;
    std::shared_ptr<Direct3DIndexBuffer8> indexBuffer;
    uint32_t celShader = 0, edgeShader = 0;
};

struct Screen {
    float x, y;
};

Screen project(V3 p, const D3DMATRIX& world) {
    const D3DMATRIX m = D3DXMatrixMultiply(D3DXMatrixMultiply(world, shadertest::viewMatrix()), shadertest::projectionMatrix());
    const float x = p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41;
    const float y = p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42;
    const float w = p.x * m._14 + p.y * m._24 + p.z * m._34 + m._44;
    return {(1 + x / w) * kWidth / 2, (1 - y / w) * kHeight / 2};
}

// For looking at the frame: CELSHADE_DUMP_PPM=file.ppm writes it out.
void writePpm(const BackBufferImage& img, const char* path) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return;
    std::fprintf(f, "P6\n%u %u\n255\n", img.width, img.height);
    for (uint32_t p : img.pixels) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8), static_cast<unsigned char>(p)};
        std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
}

bool isBlack(uint32_t argb) { return (argb & 0xFFFFFF) == 0; }

bool blackNear(const BackBufferImage& img, Screen s) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int x = int(std::lround(s.x)) + dx, y = int(std::lround(s.y)) + dy;
            if (x >= 0 && y >= 0 && x < int(kWidth) && y < int(kHeight) && isBlack(img.at(uint32_t(x), uint32_t(y)))) return true;
        }
    return false;
}

// Whether face f of the cube faces the eye (at the view-space origin) under `world`.
bool facesEye(int f, const D3DMATRIX& world) {
    const D3DMATRIX wv = D3DXMatrixMultiply(world, shadertest::viewMatrix());
    V3 centre{0, 0, 0};
    for (int k = 0; k < 4; ++k) centre = D3DXVec3Add(centre, D3DXVec3Scale(corner(kFaces[f][k]), 0.25f));
    const V3 c = D3DXVec3TransformCoord(centre, wv);
    const V3 n = D3DXVec3TransformNormal(centre, wv);  // a face centre of the unit cube is its normal
    return D3DXVec3Dot(c, n) < 0;
}

TEST_F(CubeOutline, VisibleEdgesAreBlackHiddenEdgesAndDiagonalsAreNot) {
    const Cube cube = makeCube();
    uploadCube(cube);
    const std::vector<EdgeVertex> edges = buildEdges(cube);
    const D3DMATRIX world = shadertest::worldMatrix(6.0f, 0.45f, 0.6f);
    const BackBufferImage img = drawFrame(cube, edges, world);
    if (const char* dump = std::getenv("CELSHADE_DUMP_PPM")) writePpm(img, dump);

    int visible = 0, hidden = 0;
    float visibleLength = 0;
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < 4; ++k) {
            const int a = kFaces[f][k], b = kFaces[f][(k + 1) % 4];
            if (a > b) continue;  // each cube edge once
            // The other face on this edge.
            int g = -1;
            for (int h = 0; h < 6; ++h)
                for (int j = 0; j < 4; ++j)
                    if (h != f && ((kFaces[h][j] == a && kFaces[h][(j + 1) % 4] == b) || (kFaces[h][j] == b && kFaces[h][(j + 1) % 4] == a))) g = h;
            const Screen sa = project(corner(a), world), sb = project(corner(b), world);
            if (facesEye(f, world) || facesEye(g, world)) {
                ++visible;
                visibleLength += std::hypot(sb.x - sa.x, sb.y - sa.y);
                for (float t : {0.2f, 0.5f, 0.8f})
                    EXPECT_TRUE(blackNear(img, {sa.x + t * (sb.x - sa.x), sa.y + t * (sb.y - sa.y)}))
                        << "visible edge " << a << "-" << b << " at " << t;
            } else {
                ++hidden;
                const Screen mid{(sa.x + sb.x) / 2, (sa.y + sb.y) / 2};
                EXPECT_FALSE(isBlack(img.at(uint32_t(std::lround(mid.x)), uint32_t(std::lround(mid.y)))))
                    << "hidden edge " << a << "-" << b;
            }
        }
    EXPECT_EQ(visible, 9);
    EXPECT_EQ(hidden, 3);

    // Face centres (the middles of the diagonals) of the faces in view show the ramp, not a line.
    for (int f = 0; f < 6; ++f) {
        if (!facesEye(f, world)) continue;
        V3 centre{0, 0, 0};
        for (int k = 0; k < 4; ++k) centre = D3DXVec3Add(centre, D3DXVec3Scale(corner(kFaces[f][k]), 0.25f));
        const Screen s = project(centre, world);
        const uint32_t px = img.at(uint32_t(std::lround(s.x)), uint32_t(std::lround(s.y)));
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
