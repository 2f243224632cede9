// A device presenting to a real window (needs an X display: run under xvfb-run -a).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "support/QtApplication.h"
#include "ui/GlWindow.h"

namespace {

// As the render window does it: the device is made during the load, before the window is
// shown, and presents at the display's pace.
TEST(GlWindowDevice, BackBufferTakesTheClientSizeAndPresentsWithTheAskedInterval) {
    testsupport::ensureApplication<QGuiApplication>();
    constexpr uint32_t kWidth = 64, kHeight = 48, kGreen = 0xFF00FF00;
    ui::GlWindow window;
    window.setClientSize(kWidth, kHeight);
    D3DPRESENT_PARAMETERS params{};
    params.Windowed = 1;
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    params.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    std::shared_ptr<Direct3DDevice8> device = DirectX8().Direct3DCreate()->CreateDevice(
        D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, params);
    device->Present(nullptr, nullptr, nullptr, nullptr);  // not exposed yet: nothing to swap
    window.show();
    QGuiApplication::processEvents();
    EXPECT_EQ(device->backBufferWidth(), kWidth);
    EXPECT_EQ(device->backBufferHeight(), kHeight);
    EXPECT_EQ(window.swapInterval(), 1);
    for (int frame = 0; frame < 3; ++frame) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1.0f, 0);
        device->Present(nullptr, nullptr, nullptr, nullptr);
        QGuiApplication::processEvents();
    }
    EXPECT_EQ(device->readBackBuffer().at(kWidth - 1, kHeight - 1), kGreen);

    // (That the window shows what was presented is tests/e2e/SoakTest.cpp's, frame by frame.)
    // Resized after the device was made, the window shows the back buffer stretched over it,
    // top rows at the top.
    const D3DRECT top{0, 0, int32_t{kWidth}, int32_t{kHeight / 4}};
    device->Clear(1, &top, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    window.setClientSize(kWidth * 2, kHeight * 2);
    for (int wait = 0; wait < 200 && window.clientHeight() != kHeight * 2; ++wait) {
        QGuiApplication::processEvents();
        QThread::msleep(10);
    }
    for (int frame = 0; frame < 3; ++frame) {
        device->Present(nullptr, nullptr, nullptr, nullptr);
        QGuiApplication::processEvents();
    }
    const QImage shot = window.screen()->grabWindow(window.winId()).toImage();
    ASSERT_EQ(shot.height(), int{kHeight * 2});
    EXPECT_EQ(shot.pixel(shot.width() - 2, 2) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(shot.pixel(shot.width() - 2, shot.height() - 2) & 0xFFFFFF, kGreen & 0xFFFFFF);
}

}  // namespace
