// Rasterization rules of the off-screen device: fill rule, culling, depth, clears, the
// stage-0 combiner and texture sampling, lines.
#include <algorithm>
#include <set>

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

}  // namespace
