// A device presenting to a real window (needs an X display: run under xvfb-run -a).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "ui/GlWindow.h"

namespace {

TEST(GlWindowDevice, BackBufferTakesTheClientSizeAndPresentsWithTheAskedInterval) {
    int argc = 1;
    char name[] = "ui_glwindow_tests";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    // The render window makes its device during its load, before it is shown; a device made
    // after showing must work as well.
    struct Case { bool deviceBeforeShow; uint32_t width, height, interval; int swapInterval; uint32_t colour; };
    const Case cases[] = {{false, 574, 441, D3DPRESENT_INTERVAL_IMMEDIATE, 0, 0x004C4CFF},
                          {true, 64, 48, D3DPRESENT_INTERVAL_DEFAULT, 1, 0xFF00FF00}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "device made " << (c.deviceBeforeShow ? "before" : "after") << " showing");
        ui::GlWindow window;
        window.setClientSize(c.width, c.height);
        D3DPRESENT_PARAMETERS params{};
        params.Windowed = 1;
        params.SwapEffect = D3DSWAPEFFECT_FLIP;
        params.FullScreen_PresentationInterval = c.interval;
        auto create = [&] {
            return DirectX8().Direct3DCreate()->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window,
                                                             D3DCREATE_SOFTWARE_VERTEXPROCESSING, params);
        };
        std::shared_ptr<Direct3DDevice8> device;
        if (c.deviceBeforeShow) {
            device = create();
            device->Present(nullptr, nullptr, nullptr, nullptr);  // not exposed yet: nothing to swap
        }
        window.show();
        QGuiApplication::processEvents();
        if (!device) device = create();
        EXPECT_EQ(device->backBufferWidth(), c.width);
        EXPECT_EQ(device->backBufferHeight(), c.height);
        EXPECT_EQ(window.swapInterval(), c.swapInterval);
        for (int frame = 0; frame < 3; ++frame) {
            device->Clear(0, nullptr, D3DCLEAR_TARGET, c.colour, 1.0f, 0);
            device->Present(nullptr, nullptr, nullptr, nullptr);
            QGuiApplication::processEvents();
        }
        EXPECT_EQ(device->readBackBuffer().at(c.width - 1, c.height - 1), c.colour);
        // What reached the screen: the window shows the cleared colour.
        QImage shot = window.screen()->grabWindow(window.winId()).toImage();
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.pixel(shot.width() / 2, shot.height() / 2) & 0xFFFFFF, c.colour & 0xFFFFFF);

        // Resized after the device was made, the window shows the back buffer stretched over
        // it, top rows at the top.
        const D3DRECT top{0, 0, static_cast<int32_t>(c.width), static_cast<int32_t>(c.height / 4)};
        device->Clear(1, &top, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
        window.setClientSize(c.width * 2, c.height * 2);
        for (int wait = 0; wait < 200 && window.clientHeight() != c.height * 2; ++wait) {
            QGuiApplication::processEvents();
            QThread::msleep(10);
        }
        for (int frame = 0; frame < 3; ++frame) {
            device->Present(nullptr, nullptr, nullptr, nullptr);
            QGuiApplication::processEvents();
        }
        shot = window.screen()->grabWindow(window.winId()).toImage();
        ASSERT_EQ(shot.height(), static_cast<int>(c.height * 2));
        EXPECT_EQ(shot.pixel(shot.width() - 2, 2) & 0xFFFFFF, 0xFF0000u);
        EXPECT_EQ(shot.pixel(shot.width() - 2, shot.height() - 2) & 0xFFFFFF, c.colour & 0xFFFFFF);
        device.reset();
    }
}

}  // namespace
