// The alpha test compares 8-bit levels, and dropping primitives it rejects everywhere
// changes no pixel.
#include <random>

#include "OffscreenDevice.h"

namespace {

using AlphaTestLine = OffscreenDeviceTest;

TEST_F(AlphaTestLine, LessEqualZeroKeepsOnlyPixelsThatRoundToZero) {
    // Alpha runs 0..1 over 1000 pixels: 0/1000 and 1/1000 round to level 0, 2/1000 to 1.
    open(1008, 4);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESSEQUAL);
    device->SetRenderState(D3DRS_ALPHAREF, 0);
    draw(D3DPT_LINELIST, {tl(0, 1, 0x00FFFFFF), tl(1000, 1, 0xFFFFFFFF)});
    auto pixels = covered(device->readBackBuffer());
    ASSERT_EQ(pixels.size(), 2u);
    EXPECT_EQ(pixels[0], std::make_pair(0u, 1u));
    EXPECT_EQ(pixels[1], std::make_pair(1u, 1u));
    EXPECT_EQ(device->lastDrawStats().primitivesSubmitted, 1u);
}

TEST_F(AlphaTestLine, LineWithBothEndsAboveZeroIsDroppedBeforeDrawing) {
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESSEQUAL);
    draw(D3DPT_LINELIST, {tl(0, 1, 0x02FFFFFF), tl(10, 1, 0xFFFFFFFF),
                          tl(0, 3, 0x00FFFFFF), tl(10, 3, 0x00FFFFFF)});
    EXPECT_EQ(device->lastDrawStats().primitivesSubmitted, 1u);
    auto pixels = covered(device->readBackBuffer());
    ASSERT_EQ(pixels.size(), 11u);
    for (auto [x, y] : pixels) EXPECT_EQ(y, 3u);
}

// Three quads with alphas one level below, at and above the reference 0x80.
class AlphaFunctions : public OffscreenDeviceTest,
                       public ::testing::WithParamInterface<std::tuple<uint32_t, bool, bool, bool>> {};

TEST_P(AlphaFunctions, CompareTheEightBitLevelWithTheReference) {
    auto [func, below, equal, above] = GetParam();
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAFUNC, func);
    device->SetRenderState(D3DRS_ALPHAREF, 0xFFFFFF80);  // only the low byte counts
    for (bool cull : {true, false}) {
        device->setAlphaCullEnabled(cull);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
        std::vector<TLVertex> quads;
        const uint32_t alphas[] = {0x7F, 0x80, 0x81};
        for (int i = 0; i < 3; ++i) {
            uint32_t c = alphas[i] << 24 | 0xFFFFFF;
            float x0 = 4.0f * i, x1 = x0 + 3;
            quads.insert(quads.end(), {tl(x0, 0, c), tl(x1, 0, c), tl(x1, 3, c), tl(x0, 0, c), tl(x1, 3, c), tl(x0, 3, c)});
        }
        draw(D3DPT_TRIANGLELIST, quads);
        BackBufferImage image = device->readBackBuffer();
        EXPECT_EQ(image.at(1, 1) != kBlack, below) << "cull " << cull;
        EXPECT_EQ(image.at(5, 1) != kBlack, equal) << "cull " << cull;
        EXPECT_EQ(image.at(9, 1) != kBlack, above) << "cull " << cull;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryComparison, AlphaFunctions,
    ::testing::Values(std::make_tuple(D3DCMP_NEVER, false, false, false),
                      std::make_tuple(D3DCMP_LESS, true, false, false),
                      std::make_tuple(D3DCMP_EQUAL, false, true, false),
                      std::make_tuple(D3DCMP_LESSEQUAL, true, true, false),
                      std::make_tuple(D3DCMP_GREATER, false, false, true),
                      std::make_tuple(D3DCMP_NOTEQUAL, true, false, true),
                      std::make_tuple(D3DCMP_GREATEREQUAL, false, true, true),
                      std::make_tuple(D3DCMP_ALWAYS, true, true, true)));

// Random triangles and lines whose alphas sit around the reference, drawn with every
// comparison, with and without the cull: the pictures must match to the bit.
class AlphaCullIdentical : public OffscreenDeviceTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(AlphaCullIdentical, ImagesMatchWithAndWithoutTheCull) {
    open(64, 64);
    const uint32_t func = GetParam();
    std::mt19937 random(func);
    std::uniform_real_distribution<float> position(-8.0f, 72.0f);
    std::uniform_int_distribution<uint32_t> nearRef(0x78, 0x88), colour(0, 0xFFFFFF);
    std::vector<TLVertex> triangles, lines;
    auto vertex = [&] { return tl(position(random), position(random), nearRef(random) << 24 | colour(random), 0.5f); };
    for (int i = 0; i < 150; ++i) triangles.insert(triangles.end(), {vertex(), vertex(), vertex()});
    for (int i = 0; i < 400; ++i) lines.insert(lines.end(), {vertex(), vertex()});
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAFUNC, func);
    device->SetRenderState(D3DRS_ALPHAREF, 0x80);
    BackBufferImage images[2];
    uint32_t submitted[2] = {};
    for (int cull = 0; cull < 2; ++cull) {
        device->setAlphaCullEnabled(cull == 1);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
        draw(D3DPT_TRIANGLELIST, triangles);
        submitted[cull] += device->lastDrawStats().primitivesSubmitted;
        draw(D3DPT_LINELIST, lines);
        submitted[cull] += device->lastDrawStats().primitivesSubmitted;
        images[cull] = device->readBackBuffer();
    }
    EXPECT_EQ(images[0].pixels, images[1].pixels);
    EXPECT_EQ(submitted[0], 550u);
    if (func != D3DCMP_ALWAYS && func != D3DCMP_NOTEQUAL) {
        EXPECT_LT(submitted[1], 550u);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryComparison, AlphaCullIdentical,
                         ::testing::Values(D3DCMP_NEVER, D3DCMP_LESS, D3DCMP_EQUAL, D3DCMP_LESSEQUAL,
                                           D3DCMP_GREATER, D3DCMP_NOTEQUAL, D3DCMP_GREATEREQUAL,
                                           D3DCMP_ALWAYS));

TEST_F(AlphaTestLine, TextureAlphaKeepsEveryPrimitive) {
    // When the alpha comes from the texture, vertex alphas bound nothing: no cull.
    auto t = device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    t->mutableLevel(0).texels[0] = 0x00FFFFFF;
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESSEQUAL);
    draw(D3DPT_LINELIST, {tl(0, 1, 0xFFFFFFFF), tl(10, 1, 0xFFFFFFFF)});
    EXPECT_EQ(device->lastDrawStats().primitivesSubmitted, 1u);
    EXPECT_EQ(covered(device->readBackBuffer()).size(), 11u);
}

}  // namespace
