#pragma once
// The render window: creates the device when it is first shown, sets up the scene for the
// chosen model and then draws it without end, two vertex-shader passes per frame. The left
// mouse button turns the model, the right one zooms it; F12 or Ctrl+S saves the frame; a
// double-click or a close request ends the program.

#include <cstdint>
#include <string>

#include "render/DeferredCall.h"
#include "render/SaveNotice.h"
#include "scene/FrameRecipe.h"
#include "render/SteadyFrames.h"
#include "ui/GlWindow.h"

// The scene members (zoom, pitch, yaw, sphereRadius, sphereCentre, overlayFont, rampTexture,
// edgeList, celShader, edgeShader) are the frame recipe's, which draws every frame.
class Form1 : public ui::GlWindow, public recipe::Scene {
public:
    // Client area 8610 × 6615 twips: the recipe's frame.
    static constexpr int kClientWidth = recipe::kFrameWidth;
    static constexpr int kClientHeight = recipe::kFrameHeight;

    Form1();
    ~Form1() override;

    // The one render window of the process, created on first use.
    static Form1& instance();

    // Shows the window. The first show loads it: device, scene, main loop; it never returns.
    void show();

    // Draws without end: each pass a frame, then the event step. While nothing the frame
    // depends on changes, the event step waits for events instead of letting the loop draw
    // the same picture again.
    void mainLoop();
    int32_t creaVShader(const std::string& fileName);
    int32_t creaVShader2(const std::string& fileName);
    // Sets up the scene for the model named by Mdx8::modelFile. A call made while a setup is
    // running (from an event step inside it) is deferred until that setup returns; several such
    // calls collapse into one. One made while the importer reads the previous request's file
    // abandons that request at once.
    //
    // A model the user chose that cannot be opened is reported, and the window goes back to
    // the scene it had (or, having none, hides, leaving the dialog); one of the five that cannot
    // be set up ends the program with the error report, as every other failure does.
    void STAR();

    // Pointer motion in twips with the button state (1 left, 2 right, 4 middle).
    void Form_MouseMove(int16_t button, int16_t shift, float x, float y);

    // The pointer position at the previous mouse-move event, in twips.
    int32_t lastX = 0;
    int32_t lastY = 0;
    // The program waits for the display's refresh when it presents; benchmarks do not.
    bool presentImmediately = false;

    // One pass of the main loop: drawFrame, then eventStep.
    void mainLoopPass();
    // The frame of one pass: clear, both passes, overlay, present.
    void drawFrame();
    // The event step of one pass: every pending event; then, for as long as the frames on
    // screen were drawn with what the next frame would use (zoom, angles, scene, window), it
    // waits for the next event and runs it. Returns when the next frame would differ.
    void eventStep();
    // The inputs the next frame would be drawn with.
    FrameInputs frameInputs() const;
    // True when the frames on screen are the picture the next frame would draw.
    bool frameOnScreen() const { return steadyFrames_.onScreen(frameInputs()); }
    uint64_t framesDrawn() const { return framesDrawn_; }
    // Loads the window (device, scene, ramp) without entering the main loop.
    void loadWithoutLoop();
    // Writes the frame on screen as a new PNG in the user's pictures folder, under celshade/,
    // named after the model and the time, prints its path on standard output and shows it in
    // the window for a few seconds. A picture that cannot be written is reported on standard
    // error and in the window; the program goes on.
    void saveFrame();
    SaveNotice saveNotice;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Form_Load();
    void placeBesideOtherWindows();
    void Form_QueryUnload();
    void Form_DblClick();
    void setUpScene();
    void setUpChosenModel(const std::string& path);
    d3dx8::ModelFile readChosenModel(const std::string& path);
    void importWaitStep();
    void modelFailed(const std::string& path, int32_t number, const std::string& text);
    void sceneReady();
    bool hasScene() const { return sceneSetups_ > 0; }
    void giveBackAfterSmallerModel();

    bool loaded_ = false;
    DeferredCall sceneSetup_;
    bool importing_ = false;      // the importer reads the chosen model's file
    bool cancelImport_ = false;   // a newer request came in meanwhile
    SteadyFrames steadyFrames_;
    uint64_t sceneSetups_ = 0;
    uint64_t windowChanges_ = 0;
    uint64_t framesDrawn_ = 0;
    uint64_t memorySettledAfter_ = 0;  // the scene setup whose first frame has been drawn
    int32_t facesOfLastScene_ = 0;
};
