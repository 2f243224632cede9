// The two passes of a frame: the triangles of each attribute range, coloured by the range's
// material through the toon ramp, then the edge lines, of which the alpha test keeps only
// those the edge shader marks with an alpha at or below zero (the outline).

#include <cstdint>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dx8/D3DX8.h"
#include "render/Form1.h"
#include "runtime/Error.h"

namespace {

constexpr uint32_t kMeshVertexFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;  // 274
constexpr uint32_t kEdgeVertexStride = 36;
constexpr uint32_t kTrue = 0xFFFFFFFFu;  // "true" as the classic runtime stores it: all bits set

void setCelPassStageStates(Direct3DDevice8& device) {
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
}

void setEdgePassStates(Direct3DDevice8& device) {
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_CURRENT);
    device.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device.SetRenderState(D3DRS_ALPHATESTENABLE, kTrue);
    device.SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESSEQUAL);
    device.SetRenderState(D3DRS_ALPHAREF, 0);
}

void uploadTransforms(Direct3DDevice8& device) {
    D3DMATRIX m = D3DXMatrixMultiply(Mdx8::matWorld, Mdx8::matView);
    m = D3DXMatrixTranspose(m);
    device.SetVertexShaderConstant(1, &m, 3);
    m = D3DXMatrixMultiply(Mdx8::matWorld, Mdx8::matView);
    m = D3DXMatrixMultiply(m, Mdx8::matProj);
    m = D3DXMatrixTranspose(m);
    device.SetVertexShaderConstant(5, &m, 4);
}

void uploadVector(Direct3DDevice8& device, uint32_t reg, float x, float y, float z, float w) {
    const D3DXVECTOR4 v{x, y, z, w};
    device.SetVertexShaderConstant(reg, &v, 1);
}

int32_t startIndexOf(const D3DXATTRIBUTERANGE& range) {
    const int64_t start = int64_t{range.FaceStart} * 3;
    if (range.FaceStart > INT32_MAX || start > INT32_MAX)
        rt::raiseRuntime(rt::errc::Overflow, "FaceStart * 3");
    return static_cast<int32_t>(start);
}

}  // namespace

void Form1::renderFrame() {
    using Mdx8::sceneMesh;
    auto& device = Mdx8::device();

    setCelPassStageStates(device);
    device.SetVertexShader(static_cast<uint32_t>(celShader));
    uploadTransforms(device);
    uploadVector(device, 0, 0.0f, 0.5f, 0.0f, 0.0f);
    uploadVector(device, 10, -0.4f, 0.1f, -0.5f, -0.0002f);
    const uint32_t stride = Mdx8::d3dx->GetFVFVertexSize(kMeshVertexFVF);
    device.SetStreamSource(0, sceneMesh.vertexBuffer, stride);
    device.SetIndices(sceneMesh.indexBuffer, 0);
    for (std::size_t i = 0; i < sceneMesh.attribRanges.size(); ++i) {
        // The material is the one at the range's position in the table, not its AttribId.
        if (i >= sceneMesh.materials.size())
            rt::raiseRuntime(rt::errc::SubscriptOutOfRange, "materials(" + std::to_string(i) + ")");
        const D3DCOLORVALUE& diffuse = sceneMesh.materials[i].Diffuse;
        uploadVector(device, 9, diffuse.r, diffuse.g, diffuse.b, diffuse.a);
        const D3DXATTRIBUTERANGE& range = sceneMesh.attribRanges[i];
        device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<uint32_t>(sceneMesh.numVertices),
                                    static_cast<uint32_t>(startIndexOf(range)), range.FaceCount);
    }

    // The edge pass sets no constant: c0..c10 keep the cel pass's values.
    setEdgePassStates(device);
    device.SetVertexShader(static_cast<uint32_t>(edgeShader));
    if (edgeList.empty()) rt::raiseRuntime(rt::errc::SubscriptOutOfRange, "edgeList(0)");
    device.DrawPrimitiveUP(D3DPT_LINELIST, static_cast<uint32_t>(edgeList.size() / 2), edgeList.data(),
                           kEdgeVertexStride);
    device.SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    device.SetRenderState(D3DRS_TEXTUREFACTOR, 0);
}
