// A frame as the renderer draws it, on a sphere of 40,000 faces: the cel pass (indexed
// triangles through the cel shader and the ramp texture) and the edge pass (three lines per
// face through the edge shader, kept by the alpha test). Off-screen, 800 × 600.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "math/d3dmath.h"
#include "shaders/ShaderCreation.h"
#include "vs/Assembler.h"

namespace {

struct MeshVertex {
    D3DVECTOR position, normal;
    float u, v;
};
struct EdgeVertex {
    D3DVECTOR position, normalA, normalB;
};

constexpr int kSlices = 200, kStacks = 101;  // 2 × 200 × 100 = 40,000 faces

struct Sphere {
    std::vector<MeshVertex> vertices;
    std::vector<uint16_t> indices;
    std::vector<EdgeVertex> edges;
};

D3DVECTOR faceNormal(const D3DVECTOR& a, const D3DVECTOR& b, const D3DVECTOR& c) {
    D3DVECTOR u = D3DXVec3Subtract(b, a), v = D3DXVec3Subtract(c, a);
    return D3DXVec3Cross(u, v);
}

void addGrid(Sphere& s) {
    for (int st = 0; st <= kStacks; ++st) {
        float theta = static_cast<float>(M_PI) * st / kStacks;
        for (int sl = 0; sl <= kSlices; ++sl) {
            float phi = 2.0f * static_cast<float>(M_PI) * sl / kSlices;
            D3DVECTOR n{std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
            s.vertices.push_back({{10 * n.x, 10 * n.y, 10 * n.z}, n, 0, 0});
        }
    }
    for (int st = 0; st < kStacks - 1; ++st) {
        for (int sl = 0; sl < kSlices; ++sl) {
            uint16_t a = static_cast<uint16_t>(st * (kSlices + 1) + sl), b = a + 1;
            uint16_t c = a + kSlices + 1, d = c + 1;
            s.indices.insert(s.indices.end(), {a, b, d, a, d, c});
        }
    }
}

// Six edge vertices per face: each edge with the face's normal and its neighbour's.
void addEdges(Sphere& s) {
    const size_t faces = s.indices.size() / 3;
    std::vector<D3DVECTOR> normals(faces);
    std::map<std::pair<uint16_t, uint16_t>, std::vector<size_t>> facesOfEdge;
    for (size_t f = 0; f < faces; ++f) {
        const uint16_t* i = &s.indices[3 * f];
        normals[f] = faceNormal(s.vertices[i[0]].position, s.vertices[i[1]].position, s.vertices[i[2]].position);
        for (int e = 0; e < 3; ++e) facesOfEdge[std::minmax(i[e], i[(e + 1) % 3])].push_back(f);
    }
    for (size_t f = 0; f < faces; ++f) {
        const uint16_t* i = &s.indices[3 * f];
        for (int e = 0; e < 3; ++e) {
            const auto& pair = facesOfEdge[std::minmax(i[e], i[(e + 1) % 3])];
            D3DVECTOR other = D3DXVec3Scale(normals[f], -1.0f);
            for (size_t g : pair)
                if (g != f) other = normals[g];
            s.edges.push_back({s.vertices[i[e]].position, normals[f], other});
            s.edges.push_back({s.vertices[i[(e + 1) % 3]].position, normals[f], other});
        }
    }
}

std::string readData(const std::string& name) {
    std::ifstream in(std::string(CELSHADE_SOURCE_DIR) + "/data/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

uint32_t createShader(Direct3DDevice8& device, const std::string& file, std::span<const uint32_t> declaration) {
    vs::Assembly assembly = vs::assemble(readData(file), file);
    return device.CreateVertexShader(declaration.data(), assembly.function.data(), D3DUSAGE_SOFTWAREPROCESSING);
}

struct Renderer {
    std::shared_ptr<Direct3DDevice8> device;
    std::shared_ptr<Direct3DVertexBuffer8> vertexBuffer;
    std::shared_ptr<Direct3DIndexBuffer8> indexBuffer;
    Sphere sphere;
    uint32_t celShader = 0, edgeShader = 0;
    D3DMATRIX view{}, projection{};
};

void setUp(Renderer& r) {
    r.device = createOffscreenDevice(800, 600);
    addGrid(r.sphere);
    addEdges(r.sphere);
    auto& d = *r.device;
    r.vertexBuffer = d.CreateVertexBuffer(static_cast<uint32_t>(r.sphere.vertices.size() * sizeof(MeshVertex)), 0, 274, D3DPOOL_MANAGED);
    r.vertexBuffer->write(0, std::as_bytes(std::span(r.sphere.vertices)));
    r.indexBuffer = d.CreateIndexBuffer(static_cast<uint32_t>(r.sphere.indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED);
    r.indexBuffer->write(0, std::as_bytes(std::span(r.sphere.indices)));
    r.celShader = createShader(d, "celshading.txt", D3DShaders::celShaderDeclaration());
    r.edgeShader = createShader(d, "shver2.txt", D3DShaders::edgeShaderDeclaration());
    auto ramp = d.CreateTexture(64, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
    for (uint32_t x = 0; x < 64; ++x) ramp->mutableLevel(0).texels[x] = 0xFF000000u | (x * 4) * 0x010101u;
    d.SetTexture(0, ramp);
    d.SetRenderState(D3DRS_LIGHTING, 0);
    d.SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    d.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    d.SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    r.view = D3DXMatrixLookAtLH({0, 0, -40}, {0, 0, 0}, {0, 1, 0});
    r.projection = D3DXMatrixPerspectiveFovLH(0.785f, 4.0f / 5.0f, 0.1f, 1400.0f);
}

void drawFrame(Renderer& r, float angle) {
    auto& d = *r.device;
    D3DMATRIX world = D3DXMatrixIdentity();  // turned about y
    world._11 = world._33 = std::cos(angle);
    world._13 = -std::sin(angle);
    world._31 = std::sin(angle);
    D3DMATRIX worldView = D3DXMatrixMultiply(world, r.view);
    D3DMATRIX m = D3DXMatrixTranspose(worldView);
    D3DMATRIX wvp = D3DXMatrixTranspose(D3DXMatrixMultiply(worldView, r.projection));
    const float c0[4] = {0, 0.5f, 0, 0}, c9[4] = {0.8f, 0.6f, 0.4f, 1}, c10[4] = {-0.4f, 0.1f, -0.5f, -0.0002f};
    d.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x004C4CFF, 1.0f, 0);
    d.BeginScene();
    d.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    d.SetVertexShader(r.celShader);
    d.SetVertexShaderConstant(1, &m, 3);
    d.SetVertexShaderConstant(5, &wvp, 4);
    d.SetVertexShaderConstant(0, c0, 1);
    d.SetVertexShaderConstant(10, c10, 1);
    d.SetStreamSource(0, r.vertexBuffer, sizeof(MeshVertex));
    d.SetIndices(r.indexBuffer, 0);
    d.SetVertexShaderConstant(9, c9, 1);
    const uint32_t faces = static_cast<uint32_t>(r.sphere.indices.size() / 3);
    d.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<uint32_t>(r.sphere.vertices.size()), 0, faces);
    d.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_CURRENT);
    d.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d.SetRenderState(D3DRS_ALPHATESTENABLE, 0xFFFFFFFF);
    d.SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESSEQUAL);
    d.SetRenderState(D3DRS_ALPHAREF, 0);
    d.SetVertexShader(r.edgeShader);
    d.DrawPrimitiveUP(D3DPT_LINELIST, static_cast<uint32_t>(r.sphere.edges.size() / 2), r.sphere.edges.data(), sizeof(EdgeVertex));
    d.SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    d.EndScene();
    d.Present(nullptr, nullptr, nullptr, nullptr);
}

// With CELSHADE_SNAPSHOT=<file.ppm> set, the first frame is written there to look at.
void writeSnapshot(Direct3DDevice8& device) {
    const char* path = std::getenv("CELSHADE_SNAPSHOT");
    if (!path) return;
    BackBufferImage image = device.readBackBuffer();
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.width << " " << image.height << "\n255\n";
    for (uint32_t p : image.pixels) {
        const char rgb[3] = {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
        out.write(rgb, 3);
    }
}

void BM_ModelFrame(benchmark::State& state) {
    Renderer r;
    setUp(r);
    r.device->setAlphaCullEnabled(state.range(0) != 0);
    float angle = 0;
    drawFrame(r, angle);
    writeSnapshot(*r.device);
    uint32_t edgesKept = r.device->lastDrawStats().primitivesSubmitted;
    for (auto _ : state) drawFrame(r, angle += 0.01f);
    state.counters["edges_kept"] = edgesKept;
}

// Argument: alpha cull on (1) or off (0).
BENCHMARK(BM_ModelFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
