#pragma once
// An Assimp scene as the one mesh the handover carries.

#include <filesystem>
#include <string>

#include "import/Handover.h"

struct aiScene;

namespace importchild {

// Why a scene yields no mesh; main() hands it over as the failure.
struct Failure {
    modelimport::FailureReason reason;
    std::string text;
};

inline constexpr const char* kNoTriangles = "the file holds no triangle to draw";

// Every triangle mesh the node tree places, once per placement, with the placement's transform
// applied; each mesh's identical vertices joined and those no triangle uses left out; normals
// made where the mesh has none (SmoothNormals.h); turned into the program's left-handed space
// (z negated, each triangle's corners reversed unless its placement mirrors too, v of the
// texture coordinates flipped, as Direct3D has them); materials no triangle uses left out, the
// others in the file's order,
// each textured one in its texture's colours (TextureColour.h), its external textures looked
// for in `modelFolder`. Throws Failure.
modelimport::ImportedMesh sceneMesh(const aiScene& scene, const std::filesystem::path& modelFolder);

}  // namespace importchild
