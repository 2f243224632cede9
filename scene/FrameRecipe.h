#pragma once
// The scene the render window shows and the frame that draws it, with no window in sight:
// the render window (Form1) is a shell over this, and celshade-tool render, the tests and
// the benchmarks draw through it too. Every render state and constant of a frame lives here
// (the device's default state, camera and projection live in Mdx8::initScene).
//
// The recipe works on the Direct3D support module's state: the model in Mdx8::sceneMesh,
// the matrices Mdx8::matWorld, matView and matProj, and Mdx8::d3dx. Its calls raise
// rt::Error like every other part of the program.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "d3d8/d3d8types.h"
#include "d3dx8/ModelFile.h"
#include "edges/Module1.h"
#include "math/d3dmath.h"

class D3DXFont;
class Direct3DDevice8;
class Direct3DTexture8;

namespace recipe {

// The frame the program shows: the render window's client area, 8610 × 6615 twips.
inline constexpr int32_t kFrameWidth = 574;
inline constexpr int32_t kFrameHeight = 441;
inline constexpr float kInitialZoom = 11.0f;

// Vertex-shader constant registers of the cel pass; the edge pass keeps them.
inline constexpr uint32_t kRampRowRegister = 0;              // c0
inline constexpr uint32_t kWorldViewRegister = 1;            // c1..c3
inline constexpr uint32_t kWorldViewProjectionRegister = 5;  // c5..c8
inline constexpr uint32_t kDiffuseRegister = 9;              // c9
inline constexpr uint32_t kLightRegister = 10;               // c10
// c0.y is the ramp's v; c10 holds the light direction and, in w, the edge pass's depth bias.
inline constexpr D3DXVECTOR4 kRampRow{0.0f, 0.5f, 0.0f, 0.0f};
inline constexpr D3DXVECTOR4 kLight{-0.4f, 0.1f, -0.5f, -0.0002f};

// The state a frame reads: the render window's members, also held by the headless renderer.
// Zero and empty until the window's load (or a caller) fills it.
struct Scene {
    float zoom = 0.0f;       // the world scale is zoom / sphereRadius
    int32_t pitch = 0;       // whole degrees, applied negated about X
    int32_t yaw = 0;         // whole degrees, about Y
    float sphereRadius = 0.0f;
    D3DVECTOR sphereCentre{};
    // The point the model turns about, which stays in the middle of the frame: the origin for
    // the five models; for any other the middle of its faces' bounds, so that a model far from
    // its file's origin is in the picture too.
    D3DVECTOR pivot{};
    std::shared_ptr<D3DXFont> overlayFont;  // none: the frame has no overlay text
    // Device pixels per window pixel: the overlay's lines are placed this much further out,
    // and its font is made this much larger, so that a HiDPI window shows what a plain one does.
    float pixelRatio = 1.0f;
    std::shared_ptr<Direct3DTexture8> rampTexture;
    Module1::EdgeList edgeList;
    int32_t celShader = 0;
    int32_t edgeShader = 0;
};

// Scene setup for the model at modelPath, in this order: progressive load (for the attribute
// table), plain load into Mdx8::sceneMesh, the clone into the shaders' vertex layout, its
// buffers, the edge list (which yields to the window system once per face), the bounding
// sphere and both shaders (the previous pair is deleted). A model that needs more than
// 65,535 vertices is loaded, cloned and drawn with 32-bit indices.
void setUpScene(Scene& scene, const std::string& modelPath);
// The same in two parts, for a caller that reads the file itself (the program waits for an
// import while it draws) and tells the model's failures from its own: everything of the model
// (both loads from `model`, the clone, the edge list, the bounding sphere and the pivot), then
// both shaders.
void setUpModel(Scene& scene, d3dx8::ModelFile model, const std::string& modelPath);
void createShaders(Scene& scene);
// The first part of a setup: both loads, the attribute table, the clone and its buffers.
void loadModel(const std::string& modelPath);
void loadModel(const d3dx8::ModelFile& model);
// The shader of each pass, from its assembly file.
int32_t createCelShader(const std::string& fileName);
int32_t createEdgeShader(const std::string& fileName);

// The toon ramp loaded from beside the executable and bound to stage 0 for good.
void bindRampTexture(Scene& scene);

// The colour every frame is cleared to: red 0.3, green 0.3, blue 1.0 through the platform's
// colour function (0x004C4CFF).
D3DCOLOR backgroundColour();

// One pass of the main loop without its event step: clear, begin, world matrix, both passes,
// the overlay, `windowOnly` (what the render window alone draws over its frames: never part of
// a picture of the scene), end, present.
void drawFrame(Direct3DDevice8& device, const Scene& scene, const std::function<void()>& windowOnly = {});
// A frame while no model has been set up yet: the background and the title line.
void drawWaitingFrame(Direct3DDevice8& device, const Scene& scene);
// zoom / sphereRadius in single precision; a zero radius is the classic division fault.
float worldScale(const Scene& scene);
// Scaled by worldScale, turned by the drag angles about the scene's pivot.
D3DMATRIX worldMatrix(const Scene& scene);
// The two passes: the triangles of each attribute range, then the outline.
void renderFrame(Direct3DDevice8& device, const Scene& scene);
// The title line and the status line of the current model.
void drawOverlay(const Scene& scene);

// c1..c3 and c5..c8 as uploaded: (world × view) and (world × view × projection), transposed.
D3DMATRIX worldViewConstant(const D3DMATRIX& world, const D3DMATRIX& view);
D3DMATRIX worldViewProjectionConstant(const D3DMATRIX& world, const D3DMATRIX& view, const D3DMATRIX& projection);

std::u16string titleLineText();
// "三角面：" faces "   材质数：" ranges.
std::u16string statusLineText(int32_t numFaces, std::size_t attributeRangeCount);

}  // namespace recipe
