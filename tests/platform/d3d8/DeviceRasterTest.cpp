// Rasterization rules of the off-screen device: fill rule, culling, depth, clears, the
// stage-0 combiner and texture sampling, lines.
#include <algorithm>
#include <set>
#include <tuple>

#include "OffscreenDevice.h"

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

using SharedEdgeFill = OffscreenDeviceTest;

TEST_F(SharedEdgeFill, TwoTrianglesOfASquareCoverEachPixelOnce) {
    // Pixel centres at integer coordinates: the square (1,1)-(6,6) covers columns and rows
    // 1..5 by the top-left rule; additive blending shows any pixel drawn twice.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    const uint32_t grey = 0xFF404040;
    draw(D3DPT_TRIANGLELIST, {tl(1, 1, grey), tl(6, 1, grey), tl(6, 6, grey),
                              tl(1, 1, grey), tl(6, 6, grey), tl(1, 6, grey)});
    BackBufferImage image = device->readBackBuffer();
    auto pixels = covered(image);
    ASSERT_EQ(pixels.size(), 25u);
    for (auto [x, y] : pixels) {
        EXPECT_TRUE(x >= 1 && x <= 5 && y >= 1 && y <= 5) << x << "," << y;
        EXPECT_EQ(image.at(x, y), 0xFF404040u) << "drawn twice at " << x << "," << y;
    }
}

TEST_F(SharedEdgeFill, HalfPixelSquareCoversTheCentresInside) {
    // Corners at half pixels put no centre on an edge: exactly the 4 × 4 centres inside.
    draw(D3DPT_TRIANGLELIST, {tl(2.5f, 2.5f), tl(6.5f, 2.5f), tl(6.5f, 6.5f),
                              tl(2.5f, 2.5f), tl(6.5f, 6.5f), tl(2.5f, 6.5f)});
    auto pixels = covered(device->readBackBuffer());
    ASSERT_EQ(pixels.size(), 16u);
    EXPECT_EQ(pixels.front(), std::make_pair(3u, 3u));
    EXPECT_EQ(pixels.back(), std::make_pair(6u, 6u));
}


// Triangle (1,1) (8,1) (1,8) runs clockwise on screen (y down); listed the other way round
// it runs counter-clockwise.
class CullModes : public OffscreenDeviceTest,
                  public ::testing::WithParamInterface<std::tuple<uint32_t, bool, bool>> {};

TEST_P(CullModes, DropTheTrianglesOfTheirWinding) {
    auto [mode, clockwiseShown, counterClockwiseShown] = GetParam();
    device->SetRenderState(D3DRS_CULLMODE, mode);
    draw(D3DPT_TRIANGLELIST, {tl(1, 1), tl(8, 1), tl(1, 8)});
    EXPECT_EQ(!covered(device->readBackBuffer()).empty(), clockwiseShown);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    draw(D3DPT_TRIANGLELIST, {tl(1, 1), tl(1, 8), tl(8, 1)});
    EXPECT_EQ(!covered(device->readBackBuffer()).empty(), counterClockwiseShown);
}

INSTANTIATE_TEST_SUITE_P(NoneCwCcw, CullModes,
                         ::testing::Values(std::make_tuple(D3DCULL_NONE, true, true),
                                           std::make_tuple(D3DCULL_CW, false, true),
                                           std::make_tuple(D3DCULL_CCW, true, false)));

TEST(DefaultCullMode, DropsCounterClockwiseTriangles) {
    auto device = makeOffscreenDevice(8, 8);
    device->SetVertexShader(kTLVertexFvf);
    device->BeginScene();
    TLVertex ccw[] = {tl(1, 1), tl(1, 6), tl(6, 1)};
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(TLVertex));
    device->EndScene();
    for (uint32_t p : device->readBackBuffer().pixels) ASSERT_EQ(p, 0xFF000000u);
}

class DepthTest : public OffscreenDeviceTest {
protected:
    void quad(float z, uint32_t color) {
        draw(D3DPT_TRIANGLELIST, {tl(0, 0, color, z), tl(4, 0, color, z), tl(4, 4, color, z),
                                  tl(0, 0, color, z), tl(4, 4, color, z), tl(0, 4, color, z)});
    }
    uint32_t centre() { return device->readBackBuffer().at(2, 2); }
};

TEST_F(DepthTest, NearerSurfaceWinsWithLessEqual) {
    quad(0.2f, kRed);
    quad(0.8f, kGreen);
    EXPECT_EQ(centre(), kRed);
    quad(0.2f, kBlue);  // equal depth passes LESSEQUAL
    EXPECT_EQ(centre(), kBlue);
}

TEST_F(DepthTest, FunctionEnableAndWriteMask) {
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.0f, 0);
    quad(0.2f, kRed);
    quad(0.8f, kGreen);
    EXPECT_EQ(centre(), kGreen);

    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    quad(0.1f, kBlue);
    EXPECT_EQ(centre(), kBlue);

    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    quad(0.2f, kRed);    // drawn, depth not written
    quad(0.8f, kGreen);  // so this one still passes
    EXPECT_EQ(centre(), kGreen);
}

TEST_F(DepthTest, DepthBufferHasSixteenBits) {
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    const float level = 30000.0f / 65535.0f;
    quad(level, kRed);
    quad(level - 0.2f / 65535.0f, kGreen);  // same 16-bit level: not less
    EXPECT_EQ(centre(), kRed);
    quad(level - 1.0f / 65535.0f, kBlue);  // one level nearer
    EXPECT_EQ(centre(), kBlue);
}

TEST_F(DepthTest, GeometryBeyondTheFarPlaneIsClipped) {
    quad(1.5f, kRed);
    EXPECT_EQ(centre(), kBlack);
    quad(-0.5f, kRed);
    EXPECT_EQ(centre(), kBlack);
}

using ClearTest = OffscreenDeviceTest;

TEST_F(ClearTest, ColourReadsBackAsTheSameArgbWord) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x004C4CFF, 1.0f, 0);
    BackBufferImage image = device->readBackBuffer();
    EXPECT_EQ(image.width, 16u);
    EXPECT_EQ(image.height, 16u);
    for (uint32_t p : image.pixels) ASSERT_EQ(p, 0x004C4CFFu);
}

TEST_F(ClearTest, RectanglesClearOnlyTheirPixels) {
    D3DRECT rects[] = {{2, 3, 5, 4}, {14, 14, 40, 40}};
    device->Clear(2, rects, D3DCLEAR_TARGET, kWhite, 1.0f, 0);
    auto pixels = covered(device->readBackBuffer());
    std::set<std::pair<uint32_t, uint32_t>> expected = {{2, 3}, {3, 3}, {4, 3}, {14, 14}, {15, 14}, {14, 15}, {15, 15}};
    EXPECT_EQ(std::set(pixels.begin(), pixels.end()), expected);
}

class TextureStage : public OffscreenDeviceTest {
protected:
    std::shared_ptr<Direct3DTexture8> texture(uint32_t w, uint32_t h, std::vector<uint32_t> texels) {
        auto t = device->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
        t->mutableLevel(0).texels = std::move(texels);
        return t;
    }
    // A quad over pixels x 0..7, y 0..1 with u running from 0 to uMax across it.
    void texturedStrip(float uMax, uint32_t diffuse = kWhite) {
        draw(D3DPT_TRIANGLELIST, {tl(-0.5f, -0.5f, diffuse, 0.5f, 0, 0), tl(7.5f, -0.5f, diffuse, 0.5f, uMax, 0),
                                  tl(7.5f, 1.5f, diffuse, 0.5f, uMax, 1), tl(-0.5f, -0.5f, diffuse, 0.5f, 0, 0),
                                  tl(7.5f, 1.5f, diffuse, 0.5f, uMax, 1), tl(-0.5f, 1.5f, diffuse, 0.5f, 0, 1)});
    }
    std::vector<uint32_t> row0() {
        BackBufferImage image = device->readBackBuffer();
        return {image.pixels.begin(), image.pixels.begin() + 8};
    }
};

TEST_F(TextureStage, ModulateMultipliesTexelsByDiffuse) {
    device->SetTexture(0, texture(2, 1, {0xFFFF8040, 0xFF20FF80}));
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    texturedStrip(1.0f, 0xFF80FF00);  // red halved, green kept, blue dropped
    std::vector<uint32_t> row = row0();
    EXPECT_EQ(row[0], 0xFF808000u);
    EXPECT_EQ(row[7], 0xFF10FF00u);
}

TEST_F(TextureStage, TextureFactorAndSelectArg2) {
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80123456);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    texturedStrip(1.0f, kRed);
    EXPECT_EQ(row0()[3], 0x80123456u);
}

TEST_F(TextureStage, DisabledStageShowsDiffuse) {
    device->SetTexture(0, texture(1, 1, {0xFF00FF00}));
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
    texturedStrip(1.0f, 0x7F0000FF);
    EXPECT_EQ(row0()[3], 0x7F0000FFu);
}

TEST_F(TextureStage, PointAndLinearFilteringWithWrapAndClamp) {
    device->SetTexture(0, texture(2, 1, {0xFF000000, 0xFFFFFFFF}));
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    // Point: pixel centres u = (x + 0.5) / 8 pick floor(u * 2).
    texturedStrip(1.0f);
    std::vector<uint32_t> row = row0();
    EXPECT_EQ(std::count(row.begin(), row.begin() + 4, kBlack), 4);
    EXPECT_EQ(std::count(row.begin() + 4, row.end(), kWhite), 4);

    // Wrap repeats the texture: two black/white periods over the strip.
    texturedStrip(2.0f);
    row = row0();
    EXPECT_EQ(row[0], kBlack);
    EXPECT_EQ(row[2], kWhite);
    EXPECT_EQ(row[4], kBlack);
    EXPECT_EQ(row[6], kWhite);

    // Clamp holds the last texel past u = 1.
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    texturedStrip(2.0f);
    row = row0();
    EXPECT_EQ(std::count(row.begin() + 2, row.end(), kWhite), 6);

    // Linear blends neighbouring texels: a ramp that rises across the middle.
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    texturedStrip(1.0f);
    row = row0();
    EXPECT_EQ(row[0], kBlack);  // clamped at the left edge
    EXPECT_EQ(row[7], kWhite);
    for (int x = 2; x < 6; ++x) {
        uint32_t grey = row[x] & 0xFF;
        EXPECT_GT(grey, row[x - 1] & 0xFF) << x;
        EXPECT_GT(grey, 0u);
        EXPECT_LT(grey, 255u);
    }
}

TEST_F(TextureStage, UnboundTextureReadsAsOpaqueWhite) {
    // The default stage (MODULATE texture by current) then shows the vertex colour.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    texturedStrip(1.0f, 0xFF336699);
    EXPECT_EQ(row0()[3], 0xFF336699u);
}

TEST_F(TextureStage, ChangedTexelsAreUploadedAgain) {
    auto t = texture(1, 1, {0xFF0000FF});
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    texturedStrip(1.0f);
    EXPECT_EQ(row0()[0], kBlue);
    t->mutableLevel(0).texels[0] = 0xFF00FF00;
    texturedStrip(1.0f);
    EXPECT_EQ(row0()[0], kGreen);
}

TEST_F(TextureStage, MipFilterChoosesTheLevelOfTheMinification) {
    auto t = device->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    ASSERT_EQ(t->levelCount(), 3u);
    const uint32_t colours[] = {kRed, kGreen, kBlue};
    for (uint32_t i = 0; i < 3; ++i) {
        auto& level = t->mutableLevel(i);
        std::fill(level.texels.begin(), level.texels.end(), colours[i]);
    }
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    // The whole 4 × 4 texture on one pixel: level 2 (1 × 1) fits.
    auto onePixel = [&] {
        draw(D3DPT_TRIANGLELIST, {tl(-0.5f, -0.5f, kWhite, 0.5f, 0, 0), tl(1.5f, -0.5f, kWhite, 0.5f, 2, 0),
                                  tl(-0.5f, 1.5f, kWhite, 0.5f, 0, 2)});
        return device->readBackBuffer().at(0, 0);
    };
    EXPECT_EQ(onePixel(), kRed);  // MIPFILTER NONE samples the top level only
    device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_POINT);
    EXPECT_EQ(onePixel(), kBlue);
}

TEST_F(TextureStage, OpaqueFormatReadsAlphaAsOne) {
    auto t = device->CreateTexture(1, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
    t->mutableLevel(0).texels[0] = 0x0000FF00;
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    texturedStrip(1.0f);
    EXPECT_EQ(row0()[0], kGreen);
}

using ShadeMode = OffscreenDeviceTest;

TEST_F(ShadeMode, FlatTakesTheFirstVertexColour) {
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    draw(D3DPT_TRIANGLELIST, {tl(0, 0, kGreen), tl(12, 0, kRed), tl(0, 12, kBlue)});
    for (auto [x, y] : covered(device->readBackBuffer()))
        ASSERT_EQ(device->readBackBuffer().at(x, y), kGreen);
}

TEST_F(ShadeMode, FlatLineKeepsItsColourToTheLastPixel) {
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    draw(D3DPT_LINELIST, {tl(1, 2, kGreen), tl(6, 2, kRed)});
    BackBufferImage image = device->readBackBuffer();
    for (uint32_t x = 1; x <= 6; ++x) EXPECT_EQ(image.at(x, 2), kGreen) << x;
}

TEST_F(ShadeMode, GouraudInterpolatesBetweenVertices) {
    draw(D3DPT_LINELIST, {tl(0, 2, 0xFF000000), tl(10, 2, 0xFFFF0000)});
    BackBufferImage image = device->readBackBuffer();
    EXPECT_EQ(image.at(0, 2), 0xFF000000u);
    EXPECT_NEAR(static_cast<int>((image.at(5, 2) >> 16) & 0xFF), 128, 2);
    EXPECT_EQ(image.at(10, 2), 0xFFFF0000u);
}

using LinePixels = OffscreenDeviceTest;

TEST_F(LinePixels, LastPixelIsDrawnByDefaultAndDroppedWithoutIt) {
    draw(D3DPT_LINELIST, {tl(2, 3), tl(7, 3)});
    auto pixels = covered(device->readBackBuffer());
    ASSERT_EQ(pixels.size(), 6u);
    EXPECT_EQ(pixels.front(), std::make_pair(2u, 3u));
    EXPECT_EQ(pixels.back(), std::make_pair(7u, 3u));

    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    device->SetRenderState(D3DRS_LASTPIXEL, 0);
    draw(D3DPT_LINELIST, {tl(4, 1), tl(4, 9)});
    pixels = covered(device->readBackBuffer());
    ASSERT_EQ(pixels.size(), 8u);
    EXPECT_EQ(pixels.front(), std::make_pair(4u, 1u));
    EXPECT_EQ(pixels.back(), std::make_pair(4u, 8u));
}

TEST_F(LinePixels, DiagonalLineHasOnePixelPerStep) {
    draw(D3DPT_LINELIST, {tl(1, 1), tl(6, 6)});
    auto pixels = covered(device->readBackBuffer());
    ASSERT_EQ(pixels.size(), 6u);
    for (auto [x, y] : pixels) EXPECT_EQ(x, y);
}

TEST_F(LinePixels, LastPixelIsNotDrawnTwice) {
    // A line ending off-centre, outside its end pixel's diamond, already covers that pixel.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    const uint32_t grey = 0xFF404040;
    draw(D3DPT_LINELIST, {tl(1, 2, grey), tl(6.4f, 2.4f, grey), tl(1, 5, grey), tl(6, 5, grey)});
    for (auto [x, y] : covered(device->readBackBuffer()))
        EXPECT_EQ(device->readBackBuffer().at(x, y), grey) << x << "," << y;
}

}  // namespace
