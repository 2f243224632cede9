#pragma once
// An off-screen device and small helpers to draw pre-transformed primitives on it.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "runtime/Error.h"

inline constexpr uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kGreen = 0xFF00FF00,
                          kBlue = 0xFF0000FF;

using Pixel = std::pair<uint32_t, uint32_t>;

struct TLVertex { float x, y, z, rhw; uint32_t diffuse; float u, v; };
inline constexpr uint32_t kTLVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

inline TLVertex tl(float x, float y, uint32_t diffuse = kWhite, float z = 0.5f, float u = 0, float v = 0) {
    return {x, y, z, 1.0f, diffuse, u, v};
}

// Two clockwise triangles over (x0, y0)-(x1, y1), u running 0..uMax and v 0..1 across them.
inline std::vector<TLVertex> rect(float x0, float y0, float x1, float y1, uint32_t c = kWhite, float z = 0.5f,
                                  float uMax = 1) {
    const TLVertex a = tl(x0, y0, c, z, 0, 0), b = tl(x1, y0, c, z, uMax, 0), d = tl(x1, y1, c, z, uMax, 1);
    return {a, b, d, a, d, tl(x0, y1, c, z, 0, 1)};
}

class OffscreenDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { open(16, 16); }

    // A new device drawing vertex colours; `cull` 0 keeps the device's default cull mode.
    void open(uint32_t width, uint32_t height, uint32_t cull = D3DCULL_NONE) {
        device.reset();
        device = createOffscreenDevice(width, height);
        device->SetVertexShader(kTLVertexFvf);
        if (cull != 0) device->SetRenderState(D3DRS_CULLMODE, cull);
        stageStates({{D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {D3DTSS_COLORARG1, D3DTA_DIFFUSE},
                     {D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}, {D3DTSS_ALPHAARG1, D3DTA_DIFFUSE}});
        clear();
    }

    using States = std::initializer_list<std::pair<uint32_t, uint32_t>>;
    void renderStates(States states) { for (auto [state, value] : states) device->SetRenderState(state, value); }
    void stageStates(States states) { for (auto [state, value] : states) device->SetTextureStageState(0, state, value); }

    void clear() { device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0); }

    void draw(D3DPRIMITIVETYPE type, const std::vector<TLVertex>& vertices) {
        uint32_t perPrimitive = type == D3DPT_TRIANGLELIST ? 3 : type == D3DPT_LINELIST ? 2 : 1;
        device->SetVertexShader(kTLVertexFvf);
        device->BeginScene();
        device->DrawPrimitiveUP(type, static_cast<uint32_t>(vertices.size()) / perPrimitive,
                                vertices.data(), sizeof(TLVertex));
        device->EndScene();
    }

    // Pixels that are not black, row by row.
    static std::vector<Pixel> covered(const BackBufferImage& image) {
        std::vector<Pixel> pixels;
        for (uint32_t y = 0; y < image.height; ++y)
            for (uint32_t x = 0; x < image.width; ++x)
                if (image.at(x, y) != kBlack) pixels.emplace_back(x, y);
        return pixels;
    }
    std::vector<Pixel> covered() { return covered(device->readBackBuffer()); }

    std::shared_ptr<Direct3DDevice8> device;
};
