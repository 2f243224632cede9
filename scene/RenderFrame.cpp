// One frame, top to bottom: clear, begin, the world matrix from zoom and drag angles, the two
// passes, the overlay, end, present. Pass 1 draws the triangles of each attribute range,
// coloured by the range's material through the toon ramp; pass 2 draws the edge lines, of
// which the alpha test keeps only those the edge shader marks with an alpha at or below zero
// (the outline).

#include <cmath>
#include <cstdint>
#include <string>

#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/Font.h"
#include "scene/FrameRecipe.h"
#include "runtime/Error.h"
#include "runtime/Int32Arithmetic.h"
#include "runtime/Rounding.h"
#include "shaderbind/MeshVertex.h"

namespace recipe {

namespace {

constexpr uint32_t kEdgeVertexStride = sizeof(edgeVertex);  // 36
// The classic runtime's True, which a render state receives as it is: all bits set.
constexpr uint32_t kClassicRuntimeTrue = 0xFFFFFFFFu;

void setCelPassStageStates(Direct3DDevice8& device) {
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
}

// The cull mode is not restored afterwards: only the first frame's pass 1 culls (with the
// device's default), every later one draws back faces too.
void setEdgePassStates(Direct3DDevice8& device) {
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_CURRENT);
    device.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device.SetRenderState(D3DRS_ALPHATESTENABLE, kClassicRuntimeTrue);
    device.SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESSEQUAL);
    device.SetRenderState(D3DRS_ALPHAREF, 0);
}

void uploadVector(Direct3DDevice8& device, uint32_t reg, const D3DXVECTOR4& v) {
    device.SetVertexShaderConstant(reg, &v, 1);
}

void uploadTransforms(Direct3DDevice8& device) {
    const D3DMATRIX worldView = worldViewConstant(Mdx8::matWorld, Mdx8::matView);
    device.SetVertexShaderConstant(kWorldViewRegister, &worldView, 3);
    const D3DMATRIX worldViewProjection = worldViewProjectionConstant(Mdx8::matWorld, Mdx8::matView, Mdx8::matProj);
    device.SetVertexShaderConstant(kWorldViewProjectionRegister, &worldViewProjection, 4);
}

int32_t startIndexOf(const D3DXATTRIBUTERANGE& range) { return rt::multiplyInt32(range.FaceStart, 3, "FaceStart * 3"); }

void drawAttributeRanges(Direct3DDevice8& device) {
    const MeshRecord& mesh = Mdx8::sceneMesh;
    for (std::size_t i = 0; i < mesh.attribRanges.size(); ++i) {
        // The material is the one at the range's position in the table, not its AttribId.
        if (i >= mesh.materials.size())
            rt::raiseRuntime(rt::errc::SubscriptOutOfRange, "materials(" + std::to_string(i) + ")");
        const D3DCOLORVALUE& diffuse = mesh.materials[i].Diffuse;
        uploadVector(device, kDiffuseRegister, {diffuse.r, diffuse.g, diffuse.b, diffuse.a});
        const D3DXATTRIBUTERANGE& range = mesh.attribRanges[i];
        device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<uint32_t>(mesh.numVertices),
                                    static_cast<uint32_t>(startIndexOf(range)), range.FaceCount);
    }
}

// A line of the overlay from (left, top) to right 600 and bottom 800, wrapping at the right
// edge; in device pixels on a HiDPI window.
D3DRECT overlayLine(const Scene& scene, int32_t left, int32_t top) {
    const auto scaled = [&](int32_t v) { return static_cast<int32_t>(std::lround(v * double{scene.pixelRatio})); };
    return D3DRECT{scaled(left), scaled(top), scaled(600), scaled(800)};
}

std::u16string decimal(int64_t value) {
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

}  // namespace

D3DMATRIX worldViewConstant(const D3DMATRIX& world, const D3DMATRIX& view) {
    return D3DXMatrixTranspose(D3DXMatrixMultiply(world, view));
}

D3DMATRIX worldViewProjectionConstant(const D3DMATRIX& world, const D3DMATRIX& view, const D3DMATRIX& projection) {
    return D3DXMatrixTranspose(D3DXMatrixMultiply(D3DXMatrixMultiply(world, view), projection));
}

D3DCOLOR backgroundColour() { return D3DColorRGBA(0.3f, 0.3f, 1.0f, 0.0f); }

void drawFrame(Direct3DDevice8& device, const Scene& scene, const std::function<void()>& windowOnly) {
    device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, backgroundColour(), 1.0f, 0);
    device.BeginScene();
    Mdx8::matWorld = worldMatrix(scene);
    device.SetTransform(D3DTS_WORLD, Mdx8::matWorld);
    renderFrame(device, scene);
    drawOverlay(scene);
    if (windowOnly) windowOnly();
    device.EndScene();
    device.Present(nullptr, nullptr, nullptr, nullptr);
}

void drawWaitingFrame(Direct3DDevice8& device, const Scene& scene) {
    device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, backgroundColour(), 1.0f, 0);
    device.BeginScene();
    if (scene.overlayFont)
        scene.overlayFont->DrawTextW(titleLineText(), -1, overlayLine(scene, 20, 10), DT_WORDBREAK,
                                     D3DColorRGBA(1.0f, 1.0f, 1.0f, 1.0f));
    device.EndScene();
    device.Present(nullptr, nullptr, nullptr, nullptr);
}

D3DMATRIX worldMatrix(const Scene& scene) {
    const float s = worldScale(scene);
    // Negated through the checked conversion: the one pitch without a negation is an Overflow.
    const int32_t angleX = rt::roundToInt32(-static_cast<double>(scene.pitch));
    const D3DMATRIX turned = Mdx8::makeWorldMatrix(s, s, s, angleX, scene.yaw, 0, 0, 0, 0);
    const D3DVECTOR& p = scene.pivot;
    if (p.x == 0 && p.y == 0 && p.z == 0) return turned;
    // The pivot, scaled and turned with the model, is moved back to the origin.
    const D3DVECTOR moved = D3DXVec3TransformNormal(p, turned);
    return Mdx8::makeWorldMatrix(s, s, s, angleX, scene.yaw, 0, -moved.x, -moved.y, -moved.z);
}

float worldScale(const Scene& scene) {
    // Single-precision division with the faults the classic runtime raised.
    if (scene.sphereRadius == 0.0f)
        rt::raiseRuntime(scene.zoom == 0.0f ? rt::errc::Overflow : rt::errc::DivisionByZero, "zoom / sphereRadius");
    const float s = scene.zoom / scene.sphereRadius;
    if (!std::isfinite(s)) rt::raiseRuntime(rt::errc::Overflow, "zoom / sphereRadius");
    return s;
}

void renderFrame(Direct3DDevice8& device, const Scene& scene) {
    const MeshRecord& mesh = Mdx8::sceneMesh;

    setCelPassStageStates(device);
    device.SetVertexShader(static_cast<uint32_t>(scene.celShader));
    uploadTransforms(device);
    uploadVector(device, kRampRowRegister, kRampRow);
    uploadVector(device, kLightRegister, kLight);
    device.SetStreamSource(0, mesh.vertexBuffer, kMeshVertexStride);
    device.SetIndices(mesh.indexBuffer, 0);
    drawAttributeRanges(device);

    // The edge pass sets no constant: c0..c10 keep the cel pass's values.
    setEdgePassStates(device);
    device.SetVertexShader(static_cast<uint32_t>(scene.edgeShader));
    if (scene.edgeList.empty()) rt::raiseRuntime(rt::errc::SubscriptOutOfRange, "edgeList(0)");
    device.DrawPrimitiveUP(D3DPT_LINELIST, static_cast<uint32_t>(scene.edgeList.size() / 2), scene.edgeList.data(),
                           kEdgeVertexStride);
    device.SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    device.SetRenderState(D3DRS_TEXTUREFACTOR, 0);
}

void drawOverlay(const Scene& scene) {
    if (!scene.overlayFont) return;
    const D3DCOLOR white = D3DColorRGBA(1.0f, 1.0f, 1.0f, 1.0f);
    // The results are not used.
    scene.overlayFont->DrawTextW(titleLineText(), -1, overlayLine(scene, 20, 10), DT_WORDBREAK, white);
    scene.overlayFont->DrawTextW(statusLineText(Mdx8::sceneMesh.numFaces, Mdx8::sceneMesh.attribRanges.size()), -1,
                                 overlayLine(scene, 20, 30), DT_WORDBREAK, white);
}

std::u16string titleLineText() { return u"卡通渲染 (cel shading): 左键拖动旋转，右键拖动缩放，双击退出"; }

std::u16string statusLineText(int32_t numFaces, std::size_t attributeRangeCount) {
    return u"三角面：" + decimal(numFaces) + u"   材质数：" + decimal(static_cast<int64_t>(attributeRangeCount));
}

}  // namespace recipe
