// The render window's life: load, the endless main loop, scene setup and the window events.

#include "render/Form1.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/Font.h"
#include "d3dx8/PMesh.h"
#include "runtime/Error.h"
#include "runtime/Events.h"
#include "runtime/Rounding.h"
#include "ui/ErrorReport.h"

namespace {

constexpr float kInitialZoom = 11.0f;
constexpr uint32_t kDT_WORDBREAK = 16;

}  // namespace

Form1::Form1() {
    setTitle(QStringLiteral("卡通渲染 celshade"));
    resize(kClientWidth, kClientHeight);
    setMinimumSize(QSize(kClientWidth, kClientHeight));
    setMaximumSize(QSize(kClientWidth, kClientHeight));
}

Form1::~Form1() = default;

Form1& Form1::instance() {
    // Never destroyed: the process ends through shutdown, which does not return.
    static Form1* form = new Form1;
    return *form;
}

void Form1::show() {
    if (loaded_) {
        ui::GlWindow::show();
        return;
    }
    Form_Load();
}

// Beside the start dialog, so that neither hides the other.
void Form1::placeBesideOtherWindows() {
    QPoint position(320, 40);
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window != this && window->isVisible()) {
            position = window->frameGeometry().topRight() + QPoint(16, 0);
            break;
        }
    }
    setPosition(position);
}

void Form1::loadWithoutLoop() {
    loaded_ = true;
    zoom = kInitialZoom;
    placeBesideOtherWindows();
    create();
    Mdx8::initDevice(800, 600, D3DFMT_X8R8G8B8, this, true, 1, presentImmediately);
    Mdx8::initScene();
    ui::GlWindow::show();
    // No font is set on the window: it uses the environment's default one.
    overlayFont = Mdx8::makeFont(QGuiApplication::font());
    STAR();
    rampTexture = Mdx8::loadTexture(Mdx8::dataPath("\\banda2.bmp"), 0, false);
    Mdx8::device().SetTexture(0, rampTexture);
}

void Form1::Form_Load() {
    loadWithoutLoop();
    mainLoop();
}

void Form1::mainLoop() {
    for (;;) {
        drawFrame();
        rt::processPendingEvents();
    }
}

void Form1::drawFrame() {
    auto& device = Mdx8::device();
    device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DColorRGBA(0.3f, 0.3f, 1.0f, 0.0f), 1.0f, 0);
    device.BeginScene();
    const float s = worldScale();
    // Negated through the checked conversion: the one pitch without a negation is an Overflow.
    const int32_t angleX = rt::roundToInt32(-static_cast<double>(pitch));
    Mdx8::matWorld = Mdx8::makeWorldMatrix(s, s, s, angleX, yaw, 0, 0, 0, 0);
    device.SetTransform(D3DTS_WORLD, Mdx8::matWorld);
    renderFrame();
    drawOverlay();
    device.EndScene();
    device.Present(nullptr, nullptr, nullptr, nullptr);
}

float Form1::worldScale() const {
    // Single-precision division with the faults the classic runtime raised.
    if (sphereRadius == 0.0f)
        rt::raiseRuntime(zoom == 0.0f ? rt::errc::Overflow : rt::errc::DivisionByZero, "zoom / sphereRadius");
    const float s = zoom / sphereRadius;
    if (!std::isfinite(s)) rt::raiseRuntime(rt::errc::Overflow, "zoom / sphereRadius");
    return s;
}

void Form1::drawOverlay() {
    const D3DCOLOR white = D3DColorRGBA(1.0f, 1.0f, 1.0f, 1.0f);
    // The results are not used.
    overlayFont->DrawTextW(titleLineText(), -1, D3DRECT{20, 10, 600, 800}, kDT_WORDBREAK, white);
    overlayFont->DrawTextW(statusLineText(Mdx8::sceneMesh.numFaces, Mdx8::sceneMesh.attribRanges.size()),
                           -1, D3DRECT{20, 30, 600, 800}, kDT_WORDBREAK, white);
}

QString titleLineText() { return QStringLiteral("卡通渲染 (cel shading): 左键拖动旋转，右键拖动缩放，双击退出"); }

QString statusLineText(int32_t numFaces, std::size_t attributeRangeCount) {
    return QStringLiteral("三角面：") + QString::number(numFaces) + QStringLiteral("   材质数：") +
           QString::number(attributeRangeCount);
}

void Form1::STAR() {
    sceneSetup_.request([this] { setUpScene(); });
}

void Form1::Form_QueryUnload() { Mdx8::shutdown(true); }

void Form1::Form_DblClick() { Mdx8::shutdown(true); }

void Form1::mouseMoveEvent(QMouseEvent* event) {
    ui::runGuarded([&] {
        int16_t button = 0;
        if (event->buttons() & Qt::LeftButton) button |= 1;
        if (event->buttons() & Qt::RightButton) button |= 2;
        if (event->buttons() & Qt::MiddleButton) button |= 4;
        constexpr float twipsPerPixel = 15.0f;
        const QPointF p = event->position();
        Form_MouseMove(button, 0, static_cast<float>(p.x()) * twipsPerPixel,
                       static_cast<float>(p.y()) * twipsPerPixel);
    });
}

void Form1::mouseDoubleClickEvent(QMouseEvent*) {
    ui::runGuarded([&] { Form_DblClick(); });
}

bool Form1::event(QEvent* event) {
    if (event->type() == QEvent::Close) {
        ui::runGuarded([&] { Form_QueryUnload(); });
        return true;
    }
    return ui::GlWindow::event(event);
}
