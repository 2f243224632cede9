#pragma once
// An off-screen device and small helpers to draw pre-transformed primitives on it.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "runtime/Error.h"

struct TLVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};
inline constexpr uint32_t kTLVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

inline TLVertex tl(float x, float y, uint32_t diffuse = 0xFFFFFFFF, float z = 0.5f, float u = 0, float v = 0) {
    return {x, y, z, 1.0f, diffuse, u, v};
}

inline std::shared_ptr<Direct3DDevice8> makeOffscreenDevice(uint32_t width, uint32_t height) {
    return createOffscreenDevice(width, height);
}

class OffscreenDeviceTest : public ::testing::Test {
protected:
    static constexpr uint32_t kBlack = 0xFF000000;

    void SetUp() override { open(16, 16); }

    void open(uint32_t width, uint32_t height) {
        device.reset();
        device = makeOffscreenDevice(width, height);
        device->SetVertexShader(kTLVertexFvf);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0);
    }

    void draw(D3DPRIMITIVETYPE type, const std::vector<TLVertex>& vertices) {
        uint32_t perPrimitive = type == D3DPT_TRIANGLELIST ? 3 : type == D3DPT_LINELIST ? 2 : 1;
        device->BeginScene();
        device->DrawPrimitiveUP(type, static_cast<uint32_t>(vertices.size()) / perPrimitive,
                                vertices.data(), sizeof(TLVertex));
        device->EndScene();
    }

    // Pixels whose colour differs from `background`.
    static std::vector<std::pair<uint32_t, uint32_t>> covered(const BackBufferImage& image,
                                                              uint32_t background = kBlack) {
        std::vector<std::pair<uint32_t, uint32_t>> pixels;
        for (uint32_t y = 0; y < image.height; ++y)
            for (uint32_t x = 0; x < image.width; ++x)
                if (image.at(x, y) != background) pixels.emplace_back(x, y);
        return pixels;
    }

    std::shared_ptr<Direct3DDevice8> device;
};
