#include <gtest/gtest.h>

#include <QFont>
#include <QGuiApplication>

#include <algorithm>
#include <climits>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/Font.h"
#include "d3dx8/TextImage.h"
#include "support/QtApplication.h"

namespace {

QFont windowFont() {
    testsupport::ensureApplication<QGuiApplication>();
    QFont font = QGuiApplication::font();
    font.setPointSize(10);
    return font;
}

constexpr D3DCOLOR kWhite = 0xFFFFFFFFu;
const QRect kScreen(0, 0, 200, 100);

// Alpha is the top byte, so the largest texel has the largest alpha.
int maxAlpha(const TextImage& image) { return image.texels.empty() ? 0 : int(std::ranges::max(image.texels) >> 24); }

// Missing glyphs would all draw as the same box.
TEST(TextImages, CjkTextUsesRealGlyphsNotPlaceholderBoxes) {
    const QFont font = windowFont();
    const D3DRECT rect{0, 0, 200, 100};
    const TextImage first = renderTextImage(font, QString::fromUtf8("三"), rect, 0, kWhite, kScreen);
    const TextImage second = renderTextImage(font, QString::fromUtf8("角"), rect, 0, kWhite, kScreen);
    ASSERT_FALSE(first.area.isEmpty());
    EXPECT_GT(maxAlpha(first), 128);
    EXPECT_TRUE(first.area != second.area || first.texels != second.texels);
}

class TextOnDevice : public ::testing::Test {
protected:
    BackBufferImage drawOnBlack(const QString& text, const D3DRECT& rect, uint32_t format) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        device_->BeginScene();
        height_ = font3d_->DrawTextW(text, -1, rect, format, kWhite);
        device_->EndScene();
        return device_->readBackBuffer();
    }

    QFont font_ = windowFont();
    std::shared_ptr<Direct3DDevice8> device_ = createOffscreenDevice(200, 100);
    std::shared_ptr<D3DXFont> font3d_ = D3DX8().CreateFont(device_, &font_);
    int32_t height_ = 0;
};

// Word break wraps at the right edge and nothing leaves the rectangle, even one far beyond the
// target. Each back-buffer pixel must be the text image's texel blended over black: a
// half-pixel slip of the quad would smear or shift the glyphs, and any pixel outside the area
// is a leak.
TEST_F(TextOnDevice, WrappedTextStaysInItsRectangleAndReachesTheBackBufferExactly) {
    const QString line = "wrapped words on the back buffer";
    D3DRECT rect{20, 10, 120, 90};
    TextImage single = renderTextImage(font_, "one", rect, DT_WORDBREAK, kWhite, kScreen);
    TextImage wrapped = renderTextImage(font_, line, rect, DT_WORDBREAK, kWhite, kScreen);
    TextImage unwrapped = renderTextImage(font_, line, rect, DT_LEFT, kWhite, kScreen);
    EXPECT_GE(wrapped.height, 2 * single.height);
    EXPECT_EQ(unwrapped.height, single.height);
    for (const TextImage* image : {&wrapped, &unwrapped}) EXPECT_TRUE(QRect(20, 10, 100, 80).contains(image->area));
    EXPECT_EQ(unwrapped.area.right(), 119);  // the unwrapped line runs into the right edge and is cut there
    EXPECT_EQ(maxAlpha(wrapped), 255);
    TextImage edge = renderTextImage(font_, "edge", D3DRECT{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, DT_WORDBREAK, kWhite, kScreen);
    EXPECT_TRUE(kScreen.contains(edge.area) || edge.area.isEmpty());

    BackBufferImage screen = drawOnBlack(line, rect, DT_WORDBREAK);
    EXPECT_EQ(height_, wrapped.height);
    int mismatches = 0, lit = 0;
    for (uint32_t y = 0; y < screen.height; ++y)
        for (uint32_t x = 0; x < screen.width; ++x) {
            int got = int(screen.at(x, y) & 0xFF);
            int want = 0;
            if (wrapped.area.contains(int(x), int(y)))
                want = int(wrapped.texels[(y - wrapped.area.top()) * wrapped.area.width() + x - wrapped.area.left()] >> 24);
            lit += got > 0;
            mismatches += std::abs(got - want) > 1;
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(lit, 20);
}

// Drawing text puts back every render and texture-stage state, the texture and the shader.
TEST_F(TextOnDevice, EveryStateItChangesIsPutBack) {
    auto ramp = std::make_shared<Direct3DTexture8>(4, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
    device_->SetTexture(0, ramp);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    auto states = [&] {  // every render state, then stage 0 and 1 states (12 is not a state)
        std::vector<uint32_t> all;
        for (uint32_t s = 1; s <= 173; ++s) all.push_back(device_->GetRenderState(s));
        for (uint32_t t = 1; t < 2 * 29; ++t)
            if (t % 29 != 0 && t % 29 != 12) all.push_back(device_->GetTextureStageState(t / 29, t % 29));
        return all;
    };
    const std::vector<uint32_t> before = states();
    drawOnBlack("states", D3DRECT{0, 0, 200, 100}, 0);
    EXPECT_EQ(states(), before);
    EXPECT_EQ(device_->GetTexture(0), ramp);
    EXPECT_EQ(device_->GetVertexShader(), D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
}

// A font keeps its own copy of the window font and its own cache of drawn lines.
TEST_F(TextOnDevice, RepeatedLinesReuseTheirTextureAndTheCacheStaysBoundedAndPrivate) {
    auto other = D3DX8().CreateFont(device_, &font_);
    font_.setPointSize(30);
    EXPECT_EQ(other->font().pointSize(), 10);
    device_->BeginScene();
    for (const char* line : {"title", "status", "title", "status"})
        font3d_->DrawTextW(QString(line), -1, D3DRECT{20, 10, 600, 800}, 0, kWhite);
    EXPECT_EQ(font3d_->cachedTextCount(), 2u);
    EXPECT_EQ(other->cachedTextCount(), 0u);
    for (int n = 0; n < 40; ++n) font3d_->DrawTextW(QString::number(n), -1, D3DRECT{0, 0, 50, 20}, 0, kWhite);
    EXPECT_EQ(font3d_->cachedTextCount(), D3DXFont::kCacheSize);
    device_->EndScene();
}

}  // namespace
