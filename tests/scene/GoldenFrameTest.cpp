// The five models, each as the program first shows it (with the overlay) and turned and
// zoomed (without it), drawn through the recipe and compared with the pictures under
// golden/, which celshade-tool render made:
//   celshade-tool render doomN.x -o doomN-default.png
//   celshade-tool render doomN.x --yaw 40 --pitch -25 --zoom 16 --no-overlay -o doomN-turned.png
//
// Tolerance: a pixel counts as different when a channel is more than 8 steps off, and at
// most 0.2% of the frame (506 pixels) may differ. On this llvmpipe the frames are identical;
// the slack is for what another OpenGL driver may do differently without any render state
// or constant having changed: rounding of interpolated colours and texture filtering (a few
// steps), which pixels a line or a shared triangle edge covers, depth precision where an
// outline meets its triangles, and text antialiasing on another font rasterizer. A GPU
// driver would likely move more line pixels than this allows and need pictures of its own.
// Any change to the recipe moves whole bands or outlines: thousands of pixels.

#include <QFont>
#include <QImage>
#include <cstring>

#include "RecipeFixture.h"
#include "d3dsupport/Paths.h"
#include "d3dx8/D3DX8.h"

namespace {

struct View {
    const char* name;
    int32_t yaw, pitch;
    float zoom;
    bool overlay;
};
constexpr View kViews[] = {{"default", 0, 0, recipe::kInitialZoom, true}, {"turned", 40, -25, 16.0f, false}};

constexpr int kChannelSlack = 8;
constexpr double kDifferingShare = 0.002;

int channelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

class GoldenFrames : public recipetest::RecipeFixture, public ::testing::WithParamInterface<int> {};

TEST_P(GoldenFrames, MatchThePicturesOfBothViews) {
    const std::string model = "doom" + std::to_string(GetParam());
    setUp(Mdx8::dataPath("\\" + model + ".x"));
    const auto font = Mdx8::makeFont(QGuiApplication::font());
    for (const View& view : kViews) {
        SCOPED_TRACE(view.name);
        scene.yaw = view.yaw, scene.pitch = view.pitch, scene.zoom = view.zoom;
        scene.overlayFont = view.overlay ? font : nullptr;
        const BackBufferImage frame = drawFrames(2);  // the steady frame, after the first
        const std::string name = model + "-" + view.name + ".png";
        const QImage golden(QString::fromStdString(CELSHADE_SOURCE_DIR "/tests/scene/golden/" + name));
        ASSERT_EQ(golden.size(), QSize(int(frame.width), int(frame.height))) << name;
        int differing = 0, worst = 0;
        for (uint32_t y = 0; y < frame.height; ++y)
            for (uint32_t x = 0; x < frame.width; ++x) {
                const int d = channelDistance(frame.at(x, y), golden.pixel(int(x), int(y)));
                differing += d > kChannelSlack ? 1 : 0;
                worst = std::max(worst, d);
            }
        if (differing > 0) {
            QImage actual(int(frame.width), int(frame.height), QImage::Format_RGB32);
            std::memcpy(actual.bits(), frame.pixels.data(), frame.pixels.size() * 4);
            actual.save(QString::fromStdString("actual-" + name));  // beside the test, to look at
        }
        EXPECT_LE(differing, int(kDifferingShare * frame.width * frame.height))
            << name << ": " << differing << " pixels differ, by up to " << worst;
    }
}

INSTANTIATE_TEST_SUITE_P(FiveModels, GoldenFrames, ::testing::Range(1, 6));

}  // namespace
