#include "d3dx8/Mesh.h"

#include <algorithm>
#include <cstring>
#include <numeric>
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

std::shared_ptr<Direct3DVertexBuffer8> D3DXMesh::makeVertexBuffer(uint32_t numVertices, uint32_t fvf, uint32_t options) {
    const uint64_t bytes = uint64_t{numVertices} * fvfVertexSize(fvf);
    if (bytes > 0x7FFFFFFF) rt::raiseStatus(E_OUTOFMEMORY, "D3DXCreateMesh", "mesh too large");
    return std::make_shared<Direct3DVertexBuffer8>(static_cast<uint32_t>(bytes), 0, fvf,
                                                   poolOf(options, D3DXMESH_VB_MANAGED, D3DXMESH_VB_SYSTEMMEM));
}

D3DXMesh::D3DXMesh(uint32_t numFaces, uint32_t numVertices, uint32_t options, uint32_t fvf,
                   std::shared_ptr<Direct3DDevice8> device)
    : numFaces_(numFaces), numVertices_(numVertices), options_(options), fvf_(fvf),
      device_(std::move(device)) {
    bool wide = (options & D3DXMESH_32BIT) != 0;
    if (!wide && numVertices > 65535)
        rt::raiseStatus(D3DERR_INVALIDCALL, "D3DXCreateMesh",
                        std::to_string(numVertices) + " vertices do not fit 16-bit indices (at most 65,535)");
    uint64_t ibBytes = uint64_t{numFaces} * 3 * (wide ? 4 : 2);
    if (ibBytes > 0x7FFFFFFF) rt::raiseStatus(E_OUTOFMEMORY, "D3DXCreateMesh", "mesh too large");
    vertexBuffer_ = makeVertexBuffer(numVertices, fvf, options);
    indexBuffer_ = std::make_shared<Direct3DIndexBuffer8>(
        static_cast<uint32_t>(ibBytes), 0, wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
        poolOf(options, D3DXMESH_IB_MANAGED, D3DXMESH_IB_SYSTEMMEM));
    attributes_ = rt::SharedArray<uint32_t>(numFaces);
}

D3DXMesh::D3DXMesh(const D3DXMesh& source, uint32_t options, uint32_t fvf, std::shared_ptr<Direct3DDevice8> device)
    : numFaces_(source.numFaces_), numVertices_(source.numVertices_), options_(options), fvf_(fvf),
      device_(std::move(device)), attributes_(source.attributes_), attributeTable_(source.attributeTable_) {
    const Direct3DIndexBuffer8& indices = *source.indexBuffer_;
    if ((indices.indexSize() == 4) != ((options & D3DXMESH_32BIT) != 0))
        rt::raiseStatus(D3DERR_INVALIDCALL, "D3DXMesh", "a mesh sharing another's indices keeps their size");
    vertexBuffer_ = fvf == source.fvf_
                        ? std::make_shared<Direct3DVertexBuffer8>(source.vertexBuffer_->contents(), 0, fvf,
                                                                  poolOf(options, D3DXMESH_VB_MANAGED, D3DXMESH_VB_SYSTEMMEM))
                        : makeVertexBuffer(numVertices_, fvf, options);
    indexBuffer_ = std::make_shared<Direct3DIndexBuffer8>(
        indices.contents(), 0, indices.format(), poolOf(options, D3DXMESH_IB_MANAGED, D3DXMESH_IB_SYSTEMMEM));
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

std::vector<uint32_t> D3DXMesh::indices() const {
    const Direct3DIndexBuffer8& buffer = *indexBuffer_;
    std::vector<uint32_t> result(buffer.indexCount());
    std::span<const std::byte> bytes = buffer.bytes();
    if (buffer.indexSize() == 4) {
        if (!result.empty()) std::memcpy(result.data(), bytes.data(), result.size() * 4);
    } else {
        for (size_t i = 0; i < result.size(); ++i) {
            uint16_t value;
            std::memcpy(&value, bytes.data() + 2 * i, 2);
            result[i] = value;
        }
    }
    return result;
}

void D3DXMesh::setIndices(std::span<const uint32_t> values) {
    Direct3DIndexBuffer8& buffer = *indexBuffer_;
    if (values.size() != buffer.indexCount())
        rt::raiseStatus(D3DERR_INVALIDCALL, "setIndices", "index count does not match the mesh");
    std::span<std::byte> bytes = buffer.mutableBytes();
    if (buffer.indexSize() == 4) {
        if (!values.empty()) std::memcpy(bytes.data(), values.data(), values.size() * 4);  // an empty span may be null
        return;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] > 0xFFFF)
            rt::raiseStatus(D3DERR_INVALIDCALL, "setIndices", "index " + std::to_string(values[i]) + " does not fit 16 bits");
        auto value = static_cast<uint16_t>(values[i]);
        std::memcpy(bytes.data() + 2 * i, &value, 2);
    }
}

std::vector<D3DVECTOR> D3DXMesh::positions() const {
    const uint32_t stride = vertexSize();
    std::span<const std::byte> bytes = vertexBuffer_->bytes();
    std::vector<D3DVECTOR> result(numVertices_);
    for (uint32_t v = 0; v < numVertices_; ++v) std::memcpy(&result[v], bytes.data() + size_t{v} * stride, 12);
    return result;
}

// The faces in attribute order, stable; a counting sort where the ids are few enough to count.
std::vector<uint32_t> D3DXMesh::faceOrderByAttribute() const {
    const std::span<const uint32_t> ids = attributes();
    std::vector<uint32_t> order(numFaces_);
    const uint32_t highest = ids.empty() ? 0 : *std::max_element(ids.begin(), ids.end());
    if (highest > 4 * uint64_t{numFaces_} + 1024) {
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return ids[a] < ids[b]; });
        return order;
    }
    std::vector<uint32_t> next(size_t{highest} + 2, 0);
    for (uint32_t id : ids) ++next[size_t{id} + 1];
    std::partial_sum(next.begin(), next.end(), next.begin());
    for (uint32_t f = 0; f < numFaces_; ++f) order[next[ids[f]]++] = f;
    return order;
}

namespace {

// One range per run of equal ids, with the span of vertices its faces use.
template <typename Index>
std::vector<D3DXATTRIBUTERANGE> rangesOfRuns(std::span<const uint32_t> ids, const Index* indices) {
    std::vector<D3DXATTRIBUTERANGE> table;
    for (uint32_t f = 0; f < ids.size(); ++f) {
        if (table.empty() || table.back().AttribId != ids[f]) table.push_back({ids[f], f, 0, 0xFFFFFFFFu, 0});
        D3DXATTRIBUTERANGE& range = table.back();
        ++range.FaceCount;
        for (int k = 0; k < 3; ++k) {
            const uint32_t i = indices[3 * size_t{f} + k];
            range.VertexStart = std::min(range.VertexStart, i);
            range.VertexCount = std::max(range.VertexCount, i);  // the highest, for now
        }
    }
    for (D3DXATTRIBUTERANGE& range : table) range.VertexCount = range.VertexCount - range.VertexStart + 1;
    return table;
}

}  // namespace

// Faces already in order (as every loaded mesh's are) are left as they are, and their buffers
// stay shared with any mesh they came from.
void D3DXMesh::sortFacesByAttribute() {
    if (!std::is_sorted(attributes().begin(), attributes().end())) {
        const std::vector<uint32_t> order = faceOrderByAttribute();
        std::vector<uint32_t> newIndices(size_t{numFaces_} * 3);
        std::span<uint32_t> ids = mutableAttributes();
        std::vector<uint32_t> newIds(numFaces_);
        for (uint32_t f = 0; f < numFaces_; ++f) {
            newIds[f] = ids[order[f]];
            for (int k = 0; k < 3; ++k) newIndices[3 * size_t{f} + k] = index(3 * size_t{order[f]} + k);
        }
        setIndices(newIndices);
        std::copy(newIds.begin(), newIds.end(), ids.begin());
    }
    const std::byte* indices = indexBuffer_->bytes().data();
    attributeTable_ = indexBuffer_->indexSize() == 4
                          ? rangesOfRuns(attributes(), reinterpret_cast<const uint32_t*>(indices))
                          : rangesOfRuns(attributes(), reinterpret_cast<const uint16_t*>(indices));
}
