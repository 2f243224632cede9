// The mesh operations of the D3DX object.

#include <cmath>
#include <cstring>

#include "d3dx8/D3DX8.h"
#include "d3dx8/MeshLoader.h"
#include "d3dx8/ModelFile.h"
#include "d3dx8/PMesh.h"
#include "runtime/Error.h"
#include "runtime/Status.h"

std::shared_ptr<D3DXMesh> D3DX8::LoadMeshFromX(const std::string& fileName, uint32_t options,
                                               const std::shared_ptr<Direct3DDevice8>& device,
                                               std::shared_ptr<D3DXBuffer>* adjacency,
                                               std::shared_ptr<D3DXBuffer>* materials,
                                               int32_t* materialCount) {
    // Any model file, not only .x: ModelFile.h chooses its reader.
    return LoadMeshFromX(d3dx8::readModelFile(fileName), options, device, adjacency, materials, materialCount);
}

std::shared_ptr<D3DXMesh> D3DX8::LoadMeshFromX(const d3dx8::ModelFile& model, uint32_t options,
                                               const std::shared_ptr<Direct3DDevice8>& device,
                                               std::shared_ptr<D3DXBuffer>* adjacency,
                                               std::shared_ptr<D3DXBuffer>* materials,
                                               int32_t* materialCount) {
    d3dx8::MeshFromX loaded = d3dx8::buildMesh(model, options, device);
    if (adjacency != nullptr) *adjacency = d3dx8::makeAdjacencyBuffer(*loaded.mesh);
    if (materials != nullptr) *materials = d3dx8::makeMaterialBuffer(loaded);
    if (materialCount != nullptr) *materialCount = static_cast<int32_t>(loaded.materials.size());
    return loaded.mesh;
}

D3DMATERIAL8 D3DX8::BufferGetMaterial(const D3DXBuffer& materials, int32_t index) {
    const uint32_t count = d3dx8::materialBufferCount(materials);
    if (index < 0 || static_cast<uint32_t>(index) >= count)
        rt::raiseStatus(D3DERR_INVALIDCALL, "BufferGetMaterial",
                        "material " + std::to_string(index) + " of " + std::to_string(count));
    D3DXMATERIAL entry;
    std::memcpy(&entry, materials.GetBufferPointer() + size_t(index) * sizeof(D3DXMATERIAL), sizeof entry);
    return entry.MatD3D;
}

namespace {

std::shared_ptr<D3DXPMesh> progressiveMesh(const D3DXMesh& mesh, int32_t minValue, uint32_t options) {
    if (minValue < 0) rt::raiseStatus(D3DERR_INVALIDCALL, "GeneratePMesh", "negative minimum");
    if (options != D3DXMESHSIMP_VERTEX && options != D3DXMESHSIMP_FACE)
        rt::raiseStatus(D3DERR_INVALIDCALL, "GeneratePMesh", "options must be D3DXMESHSIMP_VERTEX or D3DXMESHSIMP_FACE");
    if (mesh.GetNumFaces() == 0) rt::raiseStatus(D3DERR_INVALIDCALL, "GeneratePMesh", "the mesh has no faces");
    // The minimum is a goal the platform may miss; without simplification it is never reached.
    return std::make_shared<D3DXPMesh>(mesh);
}

}  // namespace

std::shared_ptr<D3DXPMesh> D3DX8::GeneratePMesh(const D3DXMesh& mesh, const uint32_t* adjacency,
                                                const void* /*attributeWeights*/, const float* /*vertexWeights*/,
                                                int32_t minValue, uint32_t options) {
    if (adjacency == nullptr) rt::raiseStatus(D3DERR_INVALIDCALL, "GeneratePMesh", "adjacency is required");
    return progressiveMesh(mesh, minValue, options);
}

std::shared_ptr<D3DXPMesh> D3DX8::GeneratePMesh(const D3DXMesh& mesh, const D3DXAdjacency& /*adjacency*/,
                                                const void* /*attributeWeights*/, const float* /*vertexWeights*/,
                                                int32_t minValue, uint32_t options) {
    return progressiveMesh(mesh, minValue, options);
}

void D3DX8::ComputeBoundingSphereFromMesh(const D3DXMesh& mesh, D3DVECTOR& centre, float& radius) {
    const uint32_t count = mesh.GetNumVertices();
    if (count == 0) rt::raiseStatus(D3DERR_INVALIDCALL, "ComputeBoundingSphere", "the mesh has no vertices");
    double sum[3] = {0, 0, 0};
    for (uint32_t v = 0; v < count; ++v) {
        const D3DVECTOR p = mesh.position(v);
        sum[0] += p.x;
        sum[1] += p.y;
        sum[2] += p.z;
    }
    const double n = static_cast<double>(count);
    centre = {static_cast<float>(sum[0] / n), static_cast<float>(sum[1] / n), static_cast<float>(sum[2] / n)};
    float largest = 0;
    for (uint32_t v = 0; v < count; ++v) largest = std::max(largest, D3DXVec3Length(D3DXVec3Subtract(mesh.position(v), centre)));
    radius = largest;
}
