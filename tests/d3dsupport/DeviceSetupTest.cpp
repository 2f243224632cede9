#include <gtest/gtest.h>

#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "runtime/Error.h"

namespace {

TEST(DeviceSetup, FullScreenTakesTheGivenSizeAndImmediatePresentation) {
    Mdx8::presentParams = {};
    Mdx8::initDevice(64, 48, D3DFMT_X8R8G8B8, nullptr, false, 1, true);
    const D3DPRESENT_PARAMETERS& p = Mdx8::presentParams;
    EXPECT_EQ(p.BackBufferWidth, 64u);
    EXPECT_EQ(p.BackBufferHeight, 48u);
    EXPECT_EQ(p.Windowed, 0);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_FLIP);
    EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D16);
    EXPECT_EQ(p.FullScreen_PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_EQ(Mdx8::device().backBufferWidth(), 64u);
    EXPECT_NE(Mdx8::d3dx, nullptr);
    Mdx8::shutdown(false);
}

TEST(DeviceSetup, WindowedIgnoresSizeFormatAndCountAndWaitsForTheDisplay) {
    Mdx8::presentParams = {};
    // Without a window there is nothing to size a windowed back buffer by, so creation fails
    // after the parameters are filled.
    EXPECT_THROW(Mdx8::initDevice(800, 600, 23, nullptr, true, 3, false), rt::Error);
    const D3DPRESENT_PARAMETERS& p = Mdx8::presentParams;
    EXPECT_EQ(p.BackBufferWidth, 0u);
    EXPECT_EQ(p.BackBufferHeight, 0u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_X8R8G8B8);  // the desktop's, not 23
    EXPECT_EQ(p.BackBufferCount, 1u);
    EXPECT_EQ(p.Windowed, 1);
    EXPECT_EQ(p.FullScreen_PresentationInterval, 0u);
    Mdx8::shutdown(false);
}

TEST(DeviceSetup, SceneStateProjectsTheOriginToTheCentreAtViewDepthForty) {
    Mdx8::presentParams = {};
    Mdx8::initDevice(64, 48, D3DFMT_X8R8G8B8, nullptr, false, 1, false);
    Mdx8::initScene();
    Direct3DDevice8& device = Mdx8::device();
    EXPECT_EQ(device.GetRenderState(D3DRS_LIGHTING), 0u);
    EXPECT_EQ(device.GetRenderState(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(device.GetTextureStageState(0, D3DTSS_MINFILTER), D3DTEXF_LINEAR);
    const D3DMATRIX viewProj = D3DXMatrixMultiply(Mdx8::matView, Mdx8::matProj);
    // The origin: clip x = y = 0, w = 40 (its view depth).
    EXPECT_FLOAT_EQ(viewProj._41, 0.0f);
    EXPECT_FLOAT_EQ(viewProj._42, 0.0f);
    EXPECT_FLOAT_EQ(viewProj._44, 40.0f);
    EXPECT_EQ(device.GetTransform(D3DTS_PROJECTION)._22, Mdx8::matProj._22);
    Mdx8::shutdown(false);
}

}  // namespace
