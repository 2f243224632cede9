// Textures, meshes and fonts for the device. Each loader hands its result to the caller and
// keeps nothing; every failing platform call has already raised by the time it returns.

#include <QFont>

#include <limits>
#include <string>

#include "d3dsupport/Mdx8.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/Font.h"
#include "d3dx8/ModelFile.h"
#include "d3dx8/PMesh.h"
#include "runtime/Error.h"

namespace Mdx8 {

namespace {

constexpr int32_t kProgressiveMinimumVertices = 1000;

D3DX8& utility() {
    if (!d3dx) d3dx = std::make_shared<D3DX8>();
    return *d3dx;
}

// Counts are int32 in this module; a value that does not fit is an overflow, not a wrap.
int32_t toInt32(int64_t value, const char* what) {
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        rt::raiseRuntime(rt::errc::Overflow, std::string(what) + " = " + std::to_string(value));
    return static_cast<int32_t>(value);
}

// Entries 0 .. materialCount: material i of the file in entry i when readMaterials, the last
// entry (and every entry without readMaterials) all zero.
std::vector<D3DMATERIAL8> materialTable(D3DX8& x, const std::shared_ptr<D3DXBuffer>& buffer,
                                        int32_t materialCount, bool readMaterials) {
    if (materialCount < 0)
        rt::raiseRuntime(rt::errc::SubscriptOutOfRange, "materials(" + std::to_string(materialCount) + ")");
    int32_t entries = toInt32(int64_t{materialCount} + 1, "materialCount + 1");
    int32_t last = toInt32(int64_t{materialCount} - 1, "materialCount - 1");
    std::vector<D3DMATERIAL8> materials(static_cast<std::size_t>(entries), D3DMATERIAL8{});
    if (!readMaterials) return materials;
    if (last >= 0 && !buffer) rt::raiseRuntime(rt::errc::ObjectNotSet, "material buffer");
    for (int32_t i = 0; i <= last; ++i) materials[static_cast<std::size_t>(i)] = x.BufferGetMaterial(*buffer, i);
    return materials;
}

uint32_t indexOption(bool with32BitIndices) { return with32BitIndices ? D3DXMESH_32BIT : 0; }

}  // namespace

std::shared_ptr<Direct3DTexture8> loadTexture(const std::string& fileName, int32_t colorKey, bool withColorKey) {
    D3DX8& x = utility();
    if (!withColorKey) return x.CreateTextureFromFile(d3dDevice, fileName);
    return x.CreateTextureFromFileEx(d3dDevice, fileName, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN,
                                     D3DPOOL_DEFAULT, D3DX_FILTER_LINEAR, D3DX_FILTER_LINEAR,
                                     static_cast<D3DCOLOR>(colorKey), nullptr, nullptr);
}

MeshRecord loadMesh(const std::string& fileName, bool readMaterials, bool with32BitIndices) {
    return loadMesh(d3dx8::readModelFile(fileName), readMaterials, with32BitIndices);
}

// The file's adjacency, which neither mesh loader reads, is not asked for.
MeshRecord loadMesh(const d3dx8::ModelFile& model, bool readMaterials, bool with32BitIndices) {
    D3DX8& x = utility();
    MeshRecord record;
    std::shared_ptr<D3DXBuffer> materialBuffer;
    record.mesh = x.LoadMeshFromX(model, D3DXMESH_SYSTEMMEM | indexOption(with32BitIndices), d3dDevice, nullptr,
                                  &materialBuffer, &record.materialCount);
    record.numVertices = toInt32(record.mesh->GetNumVertices(), "numVertices");
    record.numFaces = toInt32(record.mesh->GetNumFaces(), "numFaces");
    record.materials = materialTable(x, materialBuffer, record.materialCount, readMaterials);
    return record;
}

PMeshRecord loadProgressiveMesh(const std::string& fileName, bool readMaterials, bool with32BitIndices) {
    return loadProgressiveMesh(d3dx8::readModelFile(fileName), readMaterials, with32BitIndices);
}

PMeshRecord loadProgressiveMesh(const d3dx8::ModelFile& model, bool readMaterials, bool with32BitIndices) {
    D3DX8& x = utility();
    PMeshRecord record;
    std::shared_ptr<D3DXBuffer> materialBuffer;
    std::shared_ptr<D3DXMesh> mesh = x.LoadMeshFromX(model, D3DXMESH_MANAGED | indexOption(with32BitIndices),
                                                     d3dDevice, nullptr, &materialBuffer, &record.materialCount);
    // Epsilon 0: only vertices at exactly the same position are shared. Made when first read:
    // the progressive mesh, which does not simplify, never reads it.
    const D3DXAdjacency adjacency = mesh->GenerateAdjacency(0.0f);
    record.maxVertices = record.numVertices = toInt32(mesh->GetNumVertices(), "numVertices");
    record.pmesh = x.GeneratePMesh(*mesh, adjacency, nullptr, nullptr, kProgressiveMinimumVertices,
                                   D3DXMESHSIMP_VERTEX);
    record.materials = materialTable(x, materialBuffer, record.materialCount, readMaterials);
    materialBuffer.reset();
    record.pmesh->SetNumVertices(static_cast<uint32_t>(record.numVertices));
    return record;
}

std::shared_ptr<D3DXFont> makeFont(const QFont& font) {
    return utility().CreateFont(d3dDevice, &font);
}

}  // namespace Mdx8
