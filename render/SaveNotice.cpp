#include "render/SaveNotice.h"

#include <cmath>

#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dx8/Font.h"
#include "scene/FrameRecipe.h"

SaveNotice::SaveNotice() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        visible_ = false;
        ++changes_;
    });
}

void SaveNotice::show(const std::u16string& text) {
    text_ = text;
    visible_ = true;
    ++changes_;
    timer_.start(shownFor);
}

void SaveNotice::draw(const recipe::Scene& scene) {
    inLastFrame_ = visible_ && scene.overlayFont;
    if (!inLastFrame_) return;
    // Below the model, as the overlay's lines are above it: 20 pixels from the left, its last
    // line 10 from the bottom, wrapping at the right edge; as much further out on a HiDPI screen.
    const auto scaled = [&](int32_t v) { return static_cast<int32_t>(std::lround(v * double{scene.pixelRatio})); };
    const Direct3DDevice8& device = Mdx8::device();
    const D3DRECT area{scaled(20), 0, static_cast<int32_t>(device.backBufferWidth()),
                       static_cast<int32_t>(device.backBufferHeight()) - scaled(10)};
    scene.overlayFont->DrawTextW(text_, -1, area, DT_BOTTOM | DT_WORDBREAK, D3DColorRGBA(1.0f, 1.0f, 1.0f, 1.0f));
}
