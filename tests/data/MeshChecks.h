#pragma once
// Geometric checks shared by the model tests: winding against normals, closed shells,
// outward orientation, all on the rounded values that go into the files.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Model.h"

namespace datagen::test {

// Faces of one placed shape.
std::vector<const Face*> facesOfPart(const Model& model, uint32_t part);
// Faces of every shape placed under `name`.
std::vector<const Face*> facesNamed(const Model& model, const std::string& name);

// (P1 - P0) x (P2 - P0): outward for a front face.
Vec3 windingNormal(const Model& model, const Face& face);

// Corners whose vertex normal points against the face's winding normal.
size_t cornersAgainstWinding(const Model& model, const std::vector<const Face*>& faces);

// Directed edges, matched by position, that no face of the set runs the other way.
size_t unmatchedEdges(const Model& model, const std::vector<const Face*>& faces);

// Volume enclosed by the faces, positive when their winding normals point outward.
double signedVolume(const Model& model, const std::vector<const Face*>& faces);

}  // namespace datagen::test
