#include "d3dx8/PMesh.h"

#include <algorithm>

// Same options, so both buffers have the same layout and index size: the copy shares them,
// and only a mesh whose faces are out of order pays for copies of its indices and attributes.
D3DXPMesh::D3DXPMesh(const D3DXMesh& mesh)
    : D3DXMesh(mesh, mesh.GetOptions(), mesh.GetFVF(), mesh.device()), currentVertices_(mesh.GetNumVertices()) {
    sortFacesByAttribute();
}

void D3DXPMesh::SetNumVertices(uint32_t vertices) {
    currentVertices_ = std::clamp(vertices, GetMinVertices(), GetMaxVertices());
}

void D3DXPMesh::SetNumFaces(uint32_t /*faces*/) {
    // Faces can only be kept at full detail, which is also the full vertex count.
    currentVertices_ = GetMaxVertices();
}
