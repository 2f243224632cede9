// Face normals in the order the outline shader expects: (P2 - P1) x (P1 - P0), which points
// to the side from which the corners run clockwise (the platform's front side).

#include "EdgeStages.h"

namespace Module1::detail {

D3DVECTOR faceNormal(const MeshView& mesh, uint32_t f) {
    const D3DVECTOR p0 = mesh.corner(3 * size_t{f});
    const D3DVECTOR p1 = mesh.corner(3 * size_t{f} + 1);
    const D3DVECTOR p2 = mesh.corner(3 * size_t{f} + 2);
    // A zero-area face has a zero cross product, which normalises to the zero vector.
    return D3DXVec3Normalize(D3DXVec3Cross(D3DXVec3Subtract(p2, p1), D3DXVec3Subtract(p1, p0)));
}

}  // namespace Module1::detail
