#pragma once
// The colour a material's texture gives its faces. The program draws a material in one flat
// colour, so a textured material is drawn in the average colour of its texture over the faces
// that use it: the texture is read where those faces' texture coordinates put them, each face
// weighted by its area, so that the parts of a texture atlas no face uses count for nothing.
// Anything wrong with a texture (TextureImage.h) leaves the material its own colour, with a
// note on stderr, rather than failing the import.

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include <assimp/matrix4x4.h>

struct aiMesh;
struct aiScene;

namespace importchild {

// A triangle mesh as the node tree places it.
struct MeshUse {
    const aiMesh* mesh;
    aiMatrix4x4 world;
};

class TextureColours {
public:
    // Reads every texture the materials of `uses` (every placement of a mesh whose faces are
    // drawn) name; `modelFolder`: where the model file is, which external textures are
    // relative to.
    TextureColours(const aiScene& scene, const std::filesystem::path& modelFolder, std::span<const MeshUse> uses);

    // The material's own diffuse rgba (`factor`: glTF's base colour factor, OBJ's Kd, ...)
    // times the average colour of its diffuse texture over the faces that use it; `factor`
    // itself when it has no texture or its texture cannot be had.
    std::array<float, 4> colourOf(unsigned material, const std::array<float, 4>& factor) const;

private:
    // By material: its texture's average rgba over its faces, if it has one to be had.
    std::vector<std::optional<std::array<float, 4>>> averages_;
};

}  // namespace importchild
