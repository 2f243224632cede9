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
#include "import/ImportProcess.h"
#include "runtime/Error.h"
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
    if (hasScene())
        recipe::drawFrame(Mdx8::device(), *this, [this] { saveNotice.draw(*this); });
    else
        recipe::drawWaitingFrame(Mdx8::device(), *this);
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
    if (importing_) cancelImport_ = true;
    sceneSetup_.request([this] { setUpScene(); });
}

void Form1::setUpScene() {
    const std::string path = Mdx8::modelPath(Mdx8::modelFile);
    if (Mdx8::chosenByUser(Mdx8::modelFile)) {
        setUpChosenModel(path);
        return;
    }
    recipe::setUpScene(*this, path);
    sceneReady();
}

namespace {

// Thrown from the importer's wait when a newer request abandons the one being read.
struct SetupAbandoned {};

// The scene a setup replaces, set aside until the new one is complete: put back in place when
// the setup does not get that far. (Its mesh record is copied: the progress readout divides by
// its face count until the new one replaces it; the edge list, a large array, is moved.)
class PreviousScene {
public:
    explicit PreviousScene(recipe::Scene& scene)
        : scene_(scene), mesh_(Mdx8::sceneMesh), edgeList_(std::move(scene.edgeList)), sphereCentre_(scene.sphereCentre),
          sphereRadius_(scene.sphereRadius), pivot_(scene.pivot), edgeProgress_(Module1::edgeProgress) {}
    PreviousScene(const PreviousScene&) = delete;
    PreviousScene& operator=(const PreviousScene&) = delete;
    ~PreviousScene() {
        if (replaced_) return;
        Mdx8::sceneMesh = std::move(mesh_);
        scene_.edgeList = std::move(edgeList_);
        scene_.sphereCentre = sphereCentre_;
        scene_.sphereRadius = sphereRadius_;
        scene_.pivot = pivot_;
        Module1::edgeProgress = edgeProgress_;
    }
    void replaced() { replaced_ = true; }

private:
    recipe::Scene& scene_;
    MeshRecord mesh_;
    Module1::EdgeList edgeList_;
    D3DVECTOR sphereCentre_;
    float sphereRadius_;
    D3DVECTOR pivot_;
    int32_t edgeProgress_;
    bool replaced_ = false;
};

}  // namespace

// The file is read while the window keeps drawing; the rest of the model's setup then runs
// as any scene's does. Its shaders come from the program's own files, whose failure is the
// program's, not the model's.
void Form1::setUpChosenModel(const std::string& path) {
    try {
        d3dx8::ModelFile model = readChosenModel(path);
        PreviousScene previous(*this);
        recipe::setUpModel(*this, std::move(model), path);
        previous.replaced();
    } catch (const SetupAbandoned&) {
        return;
    } catch (const rt::Error& e) {
        modelFailed(path, e.number(), e.text());
        return;
    } catch (const std::bad_alloc&) {
        modelFailed(path, rt::errc::OutOfMemory, std::string(rt::runtimeErrorText(rt::errc::OutOfMemory)));
        return;
    }
    recipe::createShaders(*this);
    sceneReady();
}

// Without a time limit: the user ends an import that takes too long (another STAR, a drop,
// EXIT or closing a window). The memory limit stays.
d3dx8::ModelFile Form1::readChosenModel(const std::string& path) {
    struct Reading {
        explicit Reading(Form1& form) : form_(form) { form_.importing_ = Mdx8::readingModel = true; }
        ~Reading() { form_.importing_ = Mdx8::readingModel = form_.cancelImport_ = false; }
        Form1& form_;
    } reading(*this);
    cancelImport_ = false;
    rt::prepareHeapForFile(path);
    modelimport::ChildSettings settings = modelimport::childSettings();
    settings.timeLimit = std::chrono::milliseconds(0);
    settings.waitStep = [this] { importWaitStep(); };
    return d3dx8::readModelFile(path, settings);
}

// What the main loop's pass does, while the importer works: the events, and a frame of the
// scene on screen when they changed it.
void Form1::importWaitStep() {
    rt::processPendingEvents();
    if (cancelImport_) throw SetupAbandoned{};
    if (!frameOnScreen()) drawFrame();
}

void Form1::modelFailed(const std::string& path, int32_t number, const std::string& text) {
    ui::reportModelError(path, number, text);
    if (!hasScene()) ui::GlWindow::hide();
}

void Form1::sceneReady() {
    ++sceneSetups_;
    if (!isVisible()) ui::GlWindow::show();
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
