// The alpha test compares 8-bit levels, and dropping primitives it rejects everywhere
// changes no pixel.
#include <random>

#include "OffscreenDevice.h"

namespace {

class AlphaTest : public OffscreenDeviceTest {
protected:
    void alphaTest(uint32_t func, uint32_t ref) { renderStates({{D3DRS_ALPHATESTENABLE, 1}, {D3DRS_ALPHAFUNC, func}, {D3DRS_ALPHAREF, ref}}); }
};

TEST_F(AlphaTest, LessEqualZeroKeepsOnlyPixelsThatRoundToZero) {
    // Alpha runs 0..1 over 1000 pixels: 0/1000 and 1/1000 round to level 0, 2/1000 to 1.
    // The second line's alphas are all above level 0: it is dropped before drawing.
    open(1008, 4);
    alphaTest(D3DCMP_LESSEQUAL, 0);
    draw(D3DPT_LINELIST, {tl(0, 1, 0x00FFFFFF), tl(1000, 1, kWhite), tl(0, 3, 0x02FFFFFF), tl(10, 3, kWhite)});
    EXPECT_EQ(covered(), (std::vector<Pixel>{{0, 1}, {1, 1}}));
    EXPECT_EQ(device->lastDrawStats().primitivesSubmitted, 1u);
}

TEST_F(AlphaTest, TextureAlphaKeepsEveryPrimitive) {
    // When the alpha comes from the texture, vertex alphas bound nothing: no cull.
    auto t = device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    t->mutableLevel(0).texels[0] = 0x00FFFFFF;
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    alphaTest(D3DCMP_LESSEQUAL, 0);
    draw(D3DPT_LINELIST, {tl(0, 1), tl(10, 1)});
    EXPECT_EQ(device->lastDrawStats().primitivesSubmitted, 1u);
    EXPECT_EQ(covered().size(), 11u);
}

const uint32_t kComparisons[] = {D3DCMP_NEVER,   D3DCMP_LESS,     D3DCMP_EQUAL,        D3DCMP_LESSEQUAL,
                                 D3DCMP_GREATER, D3DCMP_NOTEQUAL, D3DCMP_GREATEREQUAL, D3DCMP_ALWAYS};

TEST_F(AlphaTest, EveryComparisonTakesTheEightBitLevelAndTheReferencesLowByte) {
    // Three quads with alphas one level below, at and above the reference 0x80; whether
    // each shows, in the order of kComparisons.
    const bool shown[][3] = {{false, false, false}, {true, false, false}, {false, true, false}, {true, true, false},
                             {false, false, true},  {true, false, true},  {false, true, true},  {true, true, true}};
    for (int f = 0; f < 8; ++f) {
        SCOPED_TRACE(testing::Message() << "comparison " << kComparisons[f]);
        alphaTest(kComparisons[f], 0xFFFFFF80);
        clear();
        for (uint32_t i = 0; i < 3; ++i)
            draw(D3DPT_TRIANGLELIST, rect(4.0f * i, 0, 4.0f * i + 3, 3, (0x7F + i) << 24 | 0xFFFFFF));
        BackBufferImage image = device->readBackBuffer();
        for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(image.at(4 * i + 1, 1) != kBlack, shown[f][i]) << i;
    }
}

TEST_F(AlphaTest, CullLeavesImagesIdenticalForEveryComparison) {
    // Random triangles and lines whose alphas sit around the reference: the pictures with
    // and without the cull must match to the bit.
    open(64, 64);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> position(-8.0f, 72.0f);
    std::uniform_int_distribution<uint32_t> nearRef(0x78, 0x88), colour(0, 0xFFFFFF);
    std::vector<TLVertex> triangles(450), lines(800);
    for (auto* list : {&triangles, &lines})
        for (TLVertex& v : *list) v = tl(position(random), position(random), nearRef(random) << 24 | colour(random));
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    for (uint32_t func : kComparisons) {
        SCOPED_TRACE(testing::Message() << "comparison " << func);
        alphaTest(func, 0x80);
        BackBufferImage images[2];
        uint32_t submitted[2] = {};
        for (int cull = 0; cull < 2; ++cull) {
            device->setAlphaCullEnabled(cull == 1);
            clear();
            draw(D3DPT_TRIANGLELIST, triangles);
            submitted[cull] = device->lastDrawStats().primitivesSubmitted;
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
}

}  // namespace
