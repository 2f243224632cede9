// Scene setup: the model loaded twice (as a progressive mesh for its attribute table, and
// plainly with its materials), cloned into the shaders' vertex layout, its edge list built,
// its bounding sphere measured and both vertex shaders created.

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/PMesh.h"
#include "edges/Module1.h"
#include "render/Form1.h"
#include "runtime/Error.h"
#include "shaders/ShaderCreation.h"
#include "xfile/ParseScope.h"

namespace {

constexpr uint32_t kMeshVertexFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;  // 274

std::vector<D3DXATTRIBUTERANGE> attributeTableOf(D3DXPMesh& pmesh) {
    uint32_t n = 0;
    pmesh.GetAttributeTable(nullptr, &n);
    if (n == 0) rt::raiseRuntime(rt::errc::SubscriptOutOfRange, "the model has no attribute ranges");
    std::vector<D3DXATTRIBUTERANGE> ranges(n);
    pmesh.GetAttributeTable(ranges.data(), &n);
    return ranges;
}

void deleteShader(int32_t handle) {
    if (handle != 0) Mdx8::device().DeleteVertexShader(static_cast<uint32_t>(handle));
}

}  // namespace

void Form1::setUpScene() {
    using Mdx8::sceneMesh;
    const std::string modelPath = Mdx8::dataPath(Mdx8::modelFile);
    const xfile::ParseScope oneParseForBothLoads;

    PMeshRecord progressive = Mdx8::loadProgressiveMesh(modelPath, false);
    sceneMesh = Mdx8::loadMesh(modelPath, true);
    sceneMesh.attribRanges = attributeTableOf(*progressive.pmesh);
    progressive.pmesh.reset();

    sceneMesh.mesh = sceneMesh.mesh->CloneMeshFVF(D3DXMESH_MANAGED, kMeshVertexFVF, Mdx8::d3dDevice);
    sceneMesh.vertexBuffer = sceneMesh.mesh->GetVertexBuffer();
    sceneMesh.indexBuffer = sceneMesh.mesh->GetIndexBuffer();

    edgeList = Module1::buildEdges(*sceneMesh.mesh);
    Mdx8::d3dx->ComputeBoundingSphereFromMesh(*sceneMesh.mesh, sphereCentre, sphereRadius);

    // Nothing refers to the previous pair once the new one exists.
    const int32_t oldCel = celShader, oldEdge = edgeShader;
    celShader = creaVShader(Mdx8::dataPath("\\celshading.txt"));
    edgeShader = creaVShader2(Mdx8::dataPath("\\shver2.txt"));
    deleteShader(oldCel);
    deleteShader(oldEdge);
}

int32_t Form1::creaVShader(const std::string& fileName) {
    const auto declaration = D3DShaders::celShaderDeclaration();
    return D3DShaders::createVertexShaderFromFile(Mdx8::d3dx, Mdx8::device(), fileName, declaration);
}

int32_t Form1::creaVShader2(const std::string& fileName) {
    const auto declaration = D3DShaders::edgeShaderDeclaration();
    return D3DShaders::createVertexShaderFromFile(Mdx8::d3dx, Mdx8::device(), fileName, declaration);
}
