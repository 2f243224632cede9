#include "d3dx8/Mesh.h"

#include <algorithm>
#include <string>

#include "runtime/Error.h"
#include "runtime/Status.h"

namespace {

D3DPOOL poolOf(uint32_t options, uint32_t managedBit, uint32_t systemBit) {
    if (options & managedBit) return D3DPOOL_MANAGED;
    if (options & systemBit) return D3DPOOL_SYSTEMMEM;
    return D3DPOOL_DEFAULT;
}

}  // namespace

D3DXMesh::D3DXMesh(uint32_t numFaces, uint32_t numVertices, uint32_t options, uint32_t fvf,
                   std::shared_ptr<Direct3DDevice8> device)
    : numFaces_(numFaces), numVertices_(numVertices), options_(options), fvf_(fvf),
      device_(std::move(device)) {
    bool wide = (options & D3DXMESH_32BIT) != 0;
    if (!wide && numVertices > 65535)
        rt::raiseStatus(D3DERR_INVALIDCALL, "D3DXCreateMesh",
                        std::to_string(numVertices) + " vertices do not fit 16-bit indices (at most 65,535)");
    uint64_t vbBytes = uint64_t{numVertices} * fvfVertexSize(fvf);
    uint64_t ibBytes = uint64_t{numFaces} * 3 * (wide ? 4 : 2);
    if (vbBytes > 0x7FFFFFFF || ibBytes > 0x7FFFFFFF)
        rt::raiseStatus(E_OUTOFMEMORY, "D3DXCreateMesh", "mesh too large");
    vertexBuffer_ = std::make_shared<Direct3DVertexBuffer8>(
        static_cast<uint32_t>(vbBytes), 0, fvf, poolOf(options, D3DXMESH_VB_MANAGED, D3DXMESH_VB_SYSTEMMEM));
    indexBuffer_ = std::make_shared<Direct3DIndexBuffer8>(
        static_cast<uint32_t>(ibBytes), 0, wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
        poolOf(options, D3DXMESH_IB_MANAGED, D3DXMESH_IB_SYSTEMMEM));
    attributes_.assign(numFaces, 0);
}

void D3DXMesh::GetAttributeTable(D3DXATTRIBUTERANGE* table, uint32_t* count) const {
    if (count == nullptr) rt::raiseStatus(D3DERR_INVALIDCALL, "GetAttributeTable", "no count output");
    *count = static_cast<uint32_t>(attributeTable_.size());
    if (table != nullptr) std::copy(attributeTable_.begin(), attributeTable_.end(), table);
}

HRESULT D3DXMeshVertexBuffer8GetData(const D3DXMesh& mesh, uint32_t offset, uint32_t size,
                                     uint32_t /*flags*/, void* dest) {
    mesh.GetVertexBuffer()->read(offset, {static_cast<std::byte*>(dest), size});
    return S_OK;
}

HRESULT D3DXMeshIndexBuffer8GetData(const D3DXMesh& mesh, uint32_t offset, uint32_t size,
                                    uint32_t /*flags*/, void* dest) {
    mesh.GetIndexBuffer()->read(offset, {static_cast<std::byte*>(dest), size});
    return S_OK;
}
