#pragma once
// Normals for a mesh whose file has none (or, as STL's, only its facets'): a curved surface
// shades smoothly, a sharper edge stays a crease.

#include <span>
#include <vector>

#include "import/Handover.h"

namespace importchild {

// Faces that meet at less than this share their normal at the vertices they share.
inline constexpr float kSmoothingAngleDegrees = 30.0f;

// A mesh whose identical positions are joined, its faces naming them.
struct CornerMesh {
    std::vector<modelimport::Float3> positions;  // taken over by `out` where they can be
    // Three per face, in the program's order (clockwise seen from the front). Rewritten in place
    // to the numbers of the vertices appended for them.
    std::span<uint32_t> corners;
    // Each corner's texture coordinates, or none.
    std::span<const modelimport::Float2> cornerTexCoords;
};

// Appends the mesh's vertices to `out` (positions, normals, and texture coordinates when
// `texCoords`: the corners' own, or 0 0) and numbers the corners after them. A corner's normal
// is the normalized sum of the unit normals of the faces at its position that meet its own face
// at less than kSmoothingAngleDegrees (all of them, when its own face has no area); corners at
// one position with the same normal and texture coordinates share one vertex, so a position is
// split only where its faces disagree. Cost in proportion to the corners (and to the square of
// the faces at a position, where they disagree).
void appendSmoothed(modelimport::ImportedMesh& out, CornerMesh mesh, bool texCoords);

}  // namespace importchild
