// The render window's life: load, the endless main loop, scene setup and the window events.

#include "render/Form1.h"

#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "d3dx8/Font.h"
#include "runtime/Events.h"
#include "runtime/Heap.h"
#include "ui/ErrorReport.h"
#include "ui/Twips.h"

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
    zoom = recipe::kInitialZoom;
    placeBesideOtherWindows();
    create();
    // On a HiDPI screen the back buffer has the window's device pixels, and the overlay is
    // drawn as much larger.
    pixelRatio = static_cast<float>(devicePixelRatio());
    // The device, the font, the scene and the first frame all write fresh memory.
    rt::prepareHeapForFile(Mdx8::modelPath(Mdx8::modelFile));
    Mdx8::initDevice(800, 600, D3DFMT_X8R8G8B8, this, true, 1, presentImmediately);
    Mdx8::initScene();
    ui::GlWindow::show();
    // No font is set on the window: it uses the environment's default one.
    overlayFont = Mdx8::makeFont(scaledFont(QGuiApplication::font(), pixelRatio));
    STAR();
    recipe::bindRampTexture(*this);
}

void Form1::Form_Load() {
    loadWithoutLoop();
    mainLoop();
}

void Form1::mainLoop() {
    for (;;) mainLoopPass();
}

void Form1::mainLoopPass() {
    drawFrame();
    eventStep();
}

void Form1::drawFrame() {
    recipe::drawFrame(Mdx8::device(), *this, [this] { saveNotice.draw(*this); });
    ++framesDrawn_;
    steadyFrames_.drawn(frameInputs());
    if (memorySettledAfter_ != sceneSetups_) giveBackAfterSmallerModel();
}

// After the first frame of a scene, which has allocated all that its frames keep. A model
// smaller than the last leaves much of the heap free, and that goes back to the system; one
// as large (STAR pressed again) would only fault it all in again, so it keeps it.
void Form1::giveBackAfterSmallerModel() {
    if (Mdx8::sceneMesh.numFaces < facesOfLastScene_) rt::giveBackFreeMemory();
    facesOfLastScene_ = Mdx8::sceneMesh.numFaces;
    memorySettledAfter_ = sceneSetups_;
}

void Form1::eventStep() {
    rt::processPendingEvents();
    // The dialog's timer ticks all the while; a tick, or a pointer move with no button held,
    // changes nothing here and the wait goes on.
    while (frameOnScreen()) rt::waitForEvents();
}

FrameInputs Form1::frameInputs() const {
    return {zoom, pitch, yaw, sceneSetups_, windowChanges_, saveNotice.changes()};
}

void Form1::STAR() {
    sceneSetup_.request([this] { setUpScene(); });
}

void Form1::setUpScene() {
    recipe::setUpScene(*this, Mdx8::modelPath(Mdx8::modelFile));
    ++sceneSetups_;
}

int32_t Form1::creaVShader(const std::string& fileName) { return recipe::createCelShader(fileName); }

int32_t Form1::creaVShader2(const std::string& fileName) { return recipe::createEdgeShader(fileName); }

void Form1::Form_QueryUnload() { Mdx8::shutdown(true); }

void Form1::Form_DblClick() { Mdx8::shutdown(true); }

void Form1::mouseMoveEvent(QMouseEvent* event) {
    ui::runGuarded([&] {
        int16_t button = 0;
        if (event->buttons() & Qt::LeftButton) button |= 1;
        if (event->buttons() & Qt::RightButton) button |= 2;
        if (event->buttons() & Qt::MiddleButton) button |= 4;
        constexpr float twipsPerPixel = ui::kTwipsPerPixel;
        const QPointF p = event->position();
        Form_MouseMove(button, 0, static_cast<float>(p.x()) * twipsPerPixel,
                       static_cast<float>(p.y()) * twipsPerPixel);
    });
}

void Form1::keyPressEvent(QKeyEvent* event) {
    const bool save = event->key() == Qt::Key_F12 ||
                      (event->key() == Qt::Key_S && event->modifiers() == Qt::ControlModifier);
    if (save && loaded_) ui::runGuarded([&] { saveFrame(); });
}

void Form1::mouseDoubleClickEvent(QMouseEvent*) {
    ui::runGuarded([&] { Form_DblClick(); });
}

bool Form1::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Close:
        ui::runGuarded([&] { Form_QueryUnload(); });
        return true;
    case QEvent::Expose:
    case QEvent::Resize:
        // What was on screen may be gone (or was never presented: a window that is not
        // exposed skips its presents), so the next frames are drawn whatever else holds.
        ++windowChanges_;
        break;
    default:
        break;
    }
    return ui::GlWindow::event(event);
}
