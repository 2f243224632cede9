// Face normals in the order the outline shader expects: (P2 - P1) x (P1 - P0), which points
// to the side from which the corners run clockwise (the platform's front side).

#include "EdgeStages.h"

namespace Module1::detail {

Table<D3DVECTOR> faceNormals(const MeshGeometry& geometry) {
    Table<D3DVECTOR> normals(geometry.faceCount);
    for (size_t f = 0; f < normals.size(); ++f) {
        const D3DVECTOR& p0 = geometry.corner(3 * f);
        const D3DVECTOR& p1 = geometry.corner(3 * f + 1);
        const D3DVECTOR& p2 = geometry.corner(3 * f + 2);
        // A zero-area face has a zero cross product, which normalises to the zero vector.
        normals[f] = D3DXVec3Normalize(D3DXVec3Cross(D3DXVec3Subtract(p2, p1), D3DXVec3Subtract(p1, p0)));
    }
    return normals;
}

}  // namespace Module1::detail
