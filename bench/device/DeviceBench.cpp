// One off-screen frame of the size the renderer draws: 20,000 pre-transformed triangles
// and 60,000 lines, in milliseconds per frame (Present waits for the frame to finish).
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <random>
#include <vector>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"

namespace {

struct TLVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};
constexpr uint32_t kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr uint32_t kWidth = 800, kHeight = 600;
constexpr int kTriangles = 20000, kLines = 60000;

std::shared_ptr<Direct3DDevice8> makeDevice() { return createOffscreenDevice(kWidth, kHeight); }

// A grid of small triangles covering the middle of the screen, like a mesh in view, and
// lines along their edges; `visibleShare` of the lines carry alpha 0 (the outline), the
// rest alpha above 0 at both ends.
struct Scene {
    std::vector<TLVertex> triangles, lines;
};

Scene makeScene(double visibleShare) {
    Scene scene;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int columns = 100, rows = kTriangles / (2 * columns);
    const float cellW = 600.0f / columns, cellH = 450.0f / rows;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            float x = 100 + c * cellW, y = 75 + r * cellH, z = 0.3f + 0.4f * unit(random);
            uint32_t colour = 0xFF000000 | (random() & 0xFFFFFF);
            TLVertex a{x, y, z, 1, colour, 0, 0}, b{x + cellW, y, z, 1, colour, 1, 0},
                d{x, y + cellH, z, 1, colour, 0, 1}, e{x + cellW, y + cellH, z, 1, colour, 1, 1};
            scene.triangles.insert(scene.triangles.end(), {a, b, e, a, e, d});
        }
    }
    for (int i = 0; i < kLines; ++i) {
        const TLVertex& from = scene.triangles[(i * 7) % scene.triangles.size()];
        const TLVertex& to = scene.triangles[(i * 7 + 1) % scene.triangles.size()];
        uint32_t alpha = unit(random) < visibleShare ? 0x00 : 0xC0;
        TLVertex p = from, q = to;
        p.z = q.z = 0.2f;
        p.diffuse = q.diffuse = alpha << 24;
        scene.lines.insert(scene.lines.end(), {p, q});
    }
    return scene;
}

void drawFrame(Direct3DDevice8& device, const Scene& scene) {
    device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x004C4CFF, 1.0f, 0);
    device.BeginScene();
    device.SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, kTriangles, scene.triangles.data(), sizeof(TLVertex));
    device.SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device.DrawPrimitiveUP(D3DPT_LINELIST, kLines, scene.lines.data(), sizeof(TLVertex));
    device.EndScene();
    device.Present(nullptr, nullptr, nullptr, nullptr);
}

void BM_Frame(benchmark::State& state) {
    auto device = makeDevice();
    device->SetVertexShader(kFvf);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESSEQUAL);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->setAlphaCullEnabled(state.range(1) != 0);
    Scene scene = makeScene(static_cast<double>(state.range(0)) / 100.0);
    drawFrame(*device, scene);  // compiles the programs
    state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    for (auto _ : state) drawFrame(*device, scene);
}

// Arguments: percent of lines in the outline, alpha cull on (1) or off (0). Time is wall
// time per frame: OpenGL may rasterize on other threads.
BENCHMARK(BM_Frame)->Args({10, 1})->Args({10, 0})->Args({100, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
