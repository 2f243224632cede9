#pragma once
// Building a D3DX mesh from the data objects of a .x file: every mesh of the file merged into
// one, in file order, with frame transforms applied, polygons split into triangles, vertices
// split where their normals differ, and faces sorted by material.

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "d3dx8/D3DX8.h"
#include "d3dx8/Mesh.h"
#include "xfile/XFile.h"

namespace d3dx8 {

struct MeshFromX {
    std::shared_ptr<D3DXMesh> mesh;
    // One material per attribute id. A file without materials gets one default material;
    // in a file where only some meshes have a material list, each mesh without one gets a
    // default material of its own, so attribute ids stay in mesh order.
    std::vector<D3DMATERIAL8> materials;
    std::vector<std::string> textureFilenames;  // parallel to materials; empty when none
};

// Index size as `options` say it, or 32-bit exactly when the mesh has more than 65,535 vertices.
enum class IndexSize { AsOptionsSay, AsNeeded };

// D3DERR_INVALIDCALL when a mesh without D3DXMESH_32BIT would need more than 65,535
// vertices (unless `indexSize` is AsNeeded); D3DXERR_LOADEDMESHASNODATA when the file holds no face.
MeshFromX buildMeshFromX(const xfile::Document& document, uint32_t options, std::shared_ptr<Direct3DDevice8> device,
                         IndexSize indexSize = IndexSize::AsOptionsSay);

// Parses `bytes` and builds the mesh; `fileName` names the data in error messages.
MeshFromX loadMeshFromXInMemory(std::span<const std::byte> bytes, std::string_view fileName,
                                uint32_t options, std::shared_ptr<Direct3DDevice8> device);

// Before a mesh of the file adds `added` vertices to the `before` of the merged mesh: when the
// total passes what 32-bit indices can number, D3DXERR_INVALIDDATA naming the file and mesh
// (a limit of the format, not a want of memory).
void checkVertexTotal(const xfile::Document& document, const xfile::Mesh& mesh, size_t before, size_t added);

// D3DXMATERIAL entries followed by the texture names they point to.
std::shared_ptr<D3DXBuffer> makeMaterialBuffer(const MeshFromX& mesh);
// Number of D3DXMATERIAL entries in a buffer made by makeMaterialBuffer.
uint32_t materialBufferCount(const D3DXBuffer& buffer);
// 3 uint32 per face, from GenerateAdjacency(0).
std::shared_ptr<D3DXBuffer> makeAdjacencyBuffer(const D3DXMesh& mesh);

// The material of a file's Material data object, and the one used when a file has none.
D3DMATERIAL8 materialFromX(const xfile::Material& material);
D3DMATERIAL8 defaultMaterial();

}  // namespace d3dx8
