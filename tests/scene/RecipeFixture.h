#pragma once
// The frame recipe on an off-screen device of the program's frame size, as celshade-tool
// render runs it: models written by the data generator into a temporary folder, set up and
// drawn through the recipe, and the back buffer read.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <string>

#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "import/ImportProcess.h"
#include "scene/FrameRecipe.h"
#include "support/Models.h"
#include "support/QtApplication.h"

namespace recipetest {

class RecipeFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testsupport::ensureApplication<QGuiApplication>();
        Mdx8::setDataDirectory(CELSHADE_SOURCE_DIR "/data");
        modelimport::childSettings().program = CELSHADE_RUNTIME_DIR "/celshade-import";
    }

    // A fresh device: its first frame culls with the device's default cull mode.
    void SetUp() override {
        Mdx8::initDevice(recipe::kFrameWidth, recipe::kFrameHeight, D3DFMT_X8R8G8B8, nullptr, false, 1, true);
        Mdx8::initScene();
        scene = {};
        scene.zoom = recipe::kInitialZoom;
    }
    void TearDown() override { Mdx8::shutdown(false); }

    // Scene setup and the ramp, as the window's load does them.
    void setUp(const std::string& modelPath) {
        recipe::setUpScene(scene, modelPath);
        recipe::bindRampTexture(scene);
    }

    BackBufferImage drawFrames(int frames) {
        for (int i = 0; i < frames; ++i) recipe::drawFrame(Mdx8::device(), scene);
        return Mdx8::device().readBackBuffer();
    }

    recipe::Scene scene;
};

}  // namespace recipetest
