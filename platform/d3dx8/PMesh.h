#pragma once
// Progressive meshes, as far as this program needs them: a mesh with its faces sorted by
// attribute (one range per attribute, ascending ids) and a level of detail that can be set.
// This implementation does not simplify: its least detail is its full detail, so
// SetNumVertices clamps every request to the full vertex count.

#include "d3dx8/Mesh.h"

class D3DXPMesh : public D3DXMesh {
public:
    // A copy of `mesh` with its faces sorted stably by attribute and the attribute table built.
    explicit D3DXPMesh(const D3DXMesh& mesh);

    uint32_t GetMaxVertices() const { return GetNumVertices(); }
    uint32_t GetMinVertices() const { return GetNumVertices(); }
    uint32_t GetMaxFaces() const { return GetNumFaces(); }
    uint32_t GetMinFaces() const { return GetNumFaces(); }

    // Requests a level of detail; the request is clamped to [GetMinVertices, GetMaxVertices].
    void SetNumVertices(uint32_t vertices);
    void SetNumFaces(uint32_t faces);
    uint32_t currentVertices() const { return currentVertices_; }

private:
    uint32_t currentVertices_;
};
