// Scene setup: the model loaded twice (as a progressive mesh for its attribute table, and
// plainly with its materials), cloned into the shaders' vertex layout, its edge list built,
// its bounding sphere measured and both vertex shaders created.

#include <algorithm>
#include <cmath>

#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dsupport/Paths.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/ModelFile.h"
#include "d3dx8/PMesh.h"
#include "edges/Module1.h"
#include "scene/FrameRecipe.h"
#include "runtime/Error.h"
#include "runtime/Heap.h"
#include "runtime/Status.h"
#include "shaderbind/MeshVertex.h"
#include "shaderbind/ShaderCreation.h"

namespace recipe {

namespace {

constexpr const char* kCelShaderFile = "\\celshading.txt";
constexpr const char* kEdgeShaderFile = "\\shver2.txt";
constexpr const char* kRampTextureFile = "\\banda2.bmp";

std::vector<D3DXATTRIBUTERANGE> attributeTableOf(D3DXPMesh& pmesh) {
    uint32_t n = 0;
    pmesh.GetAttributeTable(nullptr, &n);
    if (n == 0) rt::raiseRuntime(rt::errc::SubscriptOutOfRange, "the model has no attribute ranges");
    std::vector<D3DXATTRIBUTERANGE> ranges(n);
    pmesh.GetAttributeTable(ranges.data(), &n);
    return ranges;
}

// The progressive load with 16-bit indices, as every model has always been loaded; a mesh
// that needs more than 65,535 vertices is refused with D3DERR_INVALIDCALL (the only invalid
// call a load with these options raises) and is loaded again with 32-bit indices. Should
// the refusal have had another cause, the second load raises it again.
PMeshRecord loadProgressiveChoosingIndexSize(const d3dx8::ModelFile& model, bool& with32BitIndices) {
    with32BitIndices = false;
    try {
        return Mdx8::loadProgressiveMesh(model, false);
    } catch (const rt::Error& e) {
        if (e.number() != D3DERR_INVALIDCALL) throw;
    }
    with32BitIndices = true;
    return Mdx8::loadProgressiveMesh(model, false, true);
}

// The middle of the box around every corner of the mesh's faces: where its geometry is, and
// nothing else (neither a vertex no face uses, nor how often a corner's vertex is split for its
// normals, which differ between formats of the same model).
D3DVECTOR middleOfFaces(const D3DXMesh& mesh) {
    D3DVECTOR low{INFINITY, INFINITY, INFINITY}, high{-INFINITY, -INFINITY, -INFINITY};
    for (size_t i = 0, n = size_t{mesh.GetNumFaces()} * 3; i < n; ++i) {
        const D3DVECTOR p = mesh.position(mesh.index(i));
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    if (!(low.x <= high.x)) return {};
    return {low.x / 2 + high.x / 2, low.y / 2 + high.y / 2, low.z / 2 + high.z / 2};
}

void deleteShader(int32_t handle) {
    if (handle != 0) Mdx8::device().DeleteVertexShader(static_cast<uint32_t>(handle));
}

}  // namespace

void loadModel(const std::string& modelPath) {
    rt::prepareHeapForFile(modelPath);
    loadModel(d3dx8::readModelFile(modelPath));  // read once for both loads
}

void loadModel(const d3dx8::ModelFile& model) {
    using Mdx8::sceneMesh;
    bool with32BitIndices = false;
    PMeshRecord progressive = loadProgressiveChoosingIndexSize(model, with32BitIndices);
    sceneMesh = Mdx8::loadMesh(model, true, with32BitIndices);
    sceneMesh.attribRanges = attributeTableOf(*progressive.pmesh);
    progressive.pmesh.reset();

    const uint32_t cloneOptions = D3DXMESH_MANAGED | (with32BitIndices ? D3DXMESH_32BIT : 0);
    sceneMesh.mesh = sceneMesh.mesh->CloneMeshFVF(cloneOptions, kMeshVertexFVF, Mdx8::d3dDevice);
    sceneMesh.vertexBuffer = sceneMesh.mesh->GetVertexBuffer();
    sceneMesh.indexBuffer = sceneMesh.mesh->GetIndexBuffer();
}

void setUpScene(Scene& scene, const std::string& modelPath) {
    rt::prepareHeapForFile(modelPath);
    setUpModel(scene, d3dx8::readModelFile(modelPath), modelPath);
    createShaders(scene);
}

void setUpModel(Scene& scene, d3dx8::ModelFile model, const std::string& modelPath) {
    using Mdx8::sceneMesh;
    loadModel(model);
    model = {};  // both loads have what they need of it
    scene.edgeList = Module1::buildEdges(*sceneMesh.mesh, sceneMesh.attribRanges);
    Mdx8::d3dx->ComputeBoundingSphereFromMesh(*sceneMesh.mesh, scene.sphereCentre, scene.sphereRadius);
    scene.pivot = Mdx8::isBuiltInModel(modelPath) ? D3DVECTOR{} : middleOfFaces(*sceneMesh.mesh);
}

void createShaders(Scene& scene) {
    // Nothing refers to the previous pair once the new one exists.
    const int32_t oldCel = scene.celShader, oldEdge = scene.edgeShader;
    scene.celShader = createCelShader(Mdx8::dataPath(kCelShaderFile));
    scene.edgeShader = createEdgeShader(Mdx8::dataPath(kEdgeShaderFile));
    deleteShader(oldCel);
    deleteShader(oldEdge);
}

int32_t createCelShader(const std::string& fileName) {
    const auto declaration = D3DShaders::celShaderDeclaration();
    return D3DShaders::createVertexShaderFromFile(Mdx8::d3dx, Mdx8::device(), fileName, declaration);
}

int32_t createEdgeShader(const std::string& fileName) {
    const auto declaration = D3DShaders::edgeShaderDeclaration();
    return D3DShaders::createVertexShaderFromFile(Mdx8::d3dx, Mdx8::device(), fileName, declaration);
}

void bindRampTexture(Scene& scene) {
    scene.rampTexture = Mdx8::loadTexture(Mdx8::dataPath(kRampTextureFile), 0, false);
    Mdx8::device().SetTexture(0, scene.rampTexture);
}

}  // namespace recipe
