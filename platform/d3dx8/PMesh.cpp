#include "d3dx8/PMesh.h"

#include <algorithm>
#include <cstring>

D3DXPMesh::D3DXPMesh(const D3DXMesh& mesh)
    : D3DXMesh(mesh.GetNumFaces(), mesh.GetNumVertices(), mesh.GetOptions(), mesh.GetFVF(), mesh.device()),
      currentVertices_(mesh.GetNumVertices()) {
    // Same options, so both buffers have the same layout and index size: plain copies.
    for (auto [from, to] : {std::pair{mesh.GetVertexBuffer()->bytes(), GetVertexBuffer()->mutableBytes()},
                            std::pair{mesh.GetIndexBuffer()->bytes(), GetIndexBuffer()->mutableBytes()}})
        if (!from.empty()) std::memcpy(to.data(), from.data(), from.size());
    std::copy(mesh.attributes().begin(), mesh.attributes().end(), mutableAttributes().begin());
    sortFacesByAttribute();
}

void D3DXPMesh::SetNumVertices(uint32_t vertices) {
    currentVertices_ = std::clamp(vertices, GetMinVertices(), GetMaxVertices());
}

void D3DXPMesh::SetNumFaces(uint32_t /*faces*/) {
    // Faces can only be kept at full detail, which is also the full vertex count.
    currentVertices_ = GetMaxVertices();
}
