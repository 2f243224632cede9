// A device presenting to a real window (needs an X display: run under xvfb-run -a).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "ui/GlWindow.h"

namespace {

int argc = 1;
char name[] = "ui_glwindow_tests";
char* argv[] = {name, nullptr};

D3DPRESENT_PARAMETERS windowedParameters(HWND window, uint32_t interval) {
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    params.hDeviceWindow = window;
    params.Windowed = 1;
    params.EnableAutoDepthStencil = 1;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    params.FullScreen_PresentationInterval = interval;
    return params;
}

TEST(GlWindowDevice, BackBufferTakesTheClientSizeAndPresents) {
    QGuiApplication app(argc, argv);
    ui::GlWindow window;
    window.setClientSize(574, 441);
    window.show();
    QGuiApplication::processEvents();
    EXPECT_EQ(window.clientWidth(), 574u);
    EXPECT_EQ(window.clientHeight(), 441u);

    D3DPRESENT_PARAMETERS params = windowedParameters(&window, D3DPRESENT_INTERVAL_IMMEDIATE);
    auto device = DirectX8().Direct3DCreate()->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window,
                                                            D3DCREATE_SOFTWARE_VERTEXPROCESSING, params);
    EXPECT_EQ(device->backBufferWidth(), 574u);
    EXPECT_EQ(device->backBufferHeight(), 441u);
    EXPECT_EQ(window.swapInterval(), 0);
    for (int frame = 0; frame < 3; ++frame) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x004C4CFF, 1.0f, 0);
        device->BeginScene();
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        QGuiApplication::processEvents();
    }
    BackBufferImage image = device->readBackBuffer();
    EXPECT_EQ(image.width, 574u);
    EXPECT_EQ(image.at(573, 440), 0x004C4CFFu);
    // What reached the screen: the window shows the cleared colour.
    QImage shot = window.screen()->grabWindow(window.winId()).toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.pixel(shot.width() / 2, shot.height() / 2) & 0xFFFFFF, 0x4C4CFFu);
    device.reset();
}

TEST(GlWindowDevice, DeviceMadeBeforeTheWindowShowsAndDefaultIntervalWaitsForTheRefresh) {
    // The render window makes its device during its load, before it is shown.
    QGuiApplication app(argc, argv);
    ui::GlWindow window;
    window.setClientSize(64, 48);
    D3DPRESENT_PARAMETERS params = windowedParameters(&window, D3DPRESENT_INTERVAL_DEFAULT);
    auto device = DirectX8().Direct3DCreate()->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window,
                                                            D3DCREATE_SOFTWARE_VERTEXPROCESSING, params);
    EXPECT_EQ(window.swapInterval(), 1);
    EXPECT_EQ(device->backBufferWidth(), 64u);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    device->Present(nullptr, nullptr, nullptr, nullptr);  // not exposed yet: nothing to swap
    window.show();
    QGuiApplication::processEvents();
    for (int frame = 0; frame < 2; ++frame) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
        device->Present(nullptr, nullptr, nullptr, nullptr);
        QGuiApplication::processEvents();
    }
    QImage shot = window.screen()->grabWindow(window.winId()).toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.pixel(10, 10) & 0xFFFFFF, 0x00FF00u);
    device.reset();
}

}  // namespace
