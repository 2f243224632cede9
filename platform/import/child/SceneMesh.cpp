#include "SceneMesh.h"

#include "TextureColour.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace importchild {

namespace {

using modelimport::Float2;
using modelimport::Float3;
using modelimport::ImportedMesh;
using modelimport::Material;

constexpr uint32_t kNone = UINT32_MAX;

float finiteOr(float value, float otherwise) { return std::isfinite(value) ? value : otherwise; }

Material materialOf(const aiMaterial& source) {
    Material m;
    aiString name;
    const bool named = source.Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length > 0;
    aiColor4D diffuse(1, 1, 1, 1);
    const bool baseColour = source.Get(AI_MATKEY_BASE_COLOR, diffuse) == AI_SUCCESS;
    if (!baseColour) source.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
    // Assimp's stand-in for a file without materials: named so by most readers, nameless and
    // white by the PLY reader.
    const bool white = diffuse.r == 1 && diffuse.g == 1 && diffuse.b == 1;
    if ((named && std::strcmp(name.C_Str(), AI_DEFAULT_MATERIAL_NAME) == 0) || (!named && !baseColour && white)) {
        m.origin = modelimport::MaterialOrigin::None;
        return m;
    }
    aiColor3D specular(0, 0, 0), emissive(0, 0, 0);
    source.Get(AI_MATKEY_COLOR_SPECULAR, specular);
    source.Get(AI_MATKEY_COLOR_EMISSIVE, emissive);
    float power = 0;
    source.Get(AI_MATKEY_SHININESS, power);
    m.diffuse = {finiteOr(diffuse.r, 1), finiteOr(diffuse.g, 1), finiteOr(diffuse.b, 1), finiteOr(diffuse.a, 1)};
    m.power = finiteOr(power, 0);
    m.specular = {finiteOr(specular.r, 0), finiteOr(specular.g, 0), finiteOr(specular.b, 0)};
    m.emissive = {finiteOr(emissive.r, 0), finiteOr(emissive.g, 0), finiteOr(emissive.b, 0)};
    return m;
}

struct Placement {
    const aiMesh* mesh;
    aiMatrix4x4 world;
};

// The triangle meshes of the node tree below `node`, parents before children.
void place(const aiScene& scene, const aiNode& node, const aiMatrix4x4& parent, std::vector<Placement>& out) {
    const aiMatrix4x4 world = parent * node.mTransformation;
    for (unsigned i = 0; i < node.mNumMeshes; ++i) {
        const aiMesh* mesh = node.mMeshes[i] < scene.mNumMeshes ? scene.mMeshes[node.mMeshes[i]] : nullptr;
        if (mesh != nullptr && (mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) && mesh->mMaterialIndex < scene.mNumMaterials)
            out.push_back({mesh, world});
    }
    for (unsigned c = 0; c < node.mNumChildren; ++c) place(scene, *node.mChildren[c], world, out);
}

// A vertex as the handover has it, compared bit for bit (-0 as +0).
struct Vertex {
    Float3 position, normal;
    Float2 texCoord;
};

uint32_t bitsOf(float f) { return f == 0 ? 0u : std::bit_cast<uint32_t>(f); }

using Key = std::array<uint32_t, 8>;

Key keyOf(const Vertex& v) {
    return {bitsOf(v.position.x), bitsOf(v.position.y), bitsOf(v.position.z), bitsOf(v.normal.x),
            bitsOf(v.normal.y),   bitsOf(v.normal.z),   bitsOf(v.texCoord.u), bitsOf(v.texCoord.v)};
}

size_t hashOf(const Key& key) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint32_t k : key) h = (h ^ k) * 0x100000001B3ull;
    return static_cast<size_t>(h ^ (h >> 29));
}

// A mesh as placed in the world and turned into the program's space, a vertex at a time.
class PlacedMesh {
public:
    PlacedMesh(const Placement& p, size_t number) : mesh_(*p.mesh), world_(p.world), normalMatrix_(p.world), number_(number) {
        if (normalMatrix_.Determinant() != 0) normalMatrix_ = normalMatrix_.Inverse().Transpose();
    }

    Vertex vertex(unsigned v) const {
        const aiVector3D position = world_ * mesh_.mVertices[v];
        if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z))
            throw Failure{modelimport::FailureReason::Unreadable,
                          "a vertex of mesh " + std::to_string(number_) + " is not a finite point"};
        aiVector3D normal = mesh_.HasNormals() ? normalMatrix_ * mesh_.mNormals[v] : aiVector3D(0, 0, 0);
        const float length = normal.Length();
        normal = std::isfinite(length) && length > 0 ? normal / length : aiVector3D(0, 0, 0);
        Float2 texCoord{0, 0};
        if (mesh_.HasTextureCoords(0)) {
            const aiVector3D& t = mesh_.mTextureCoords[0][v];
            texCoord = {finiteOr(t.x, 0), 1 - finiteOr(t.y, 0)};
        }
        return {{position.x, position.y, -position.z}, {normal.x, normal.y, -normal.z}, texCoord};
    }

private:
    const aiMesh& mesh_;
    aiMatrix4x4 world_;
    aiMatrix3x3 normalMatrix_;
    size_t number_;
};

Vertex outputVertex(const ImportedMesh& out, uint32_t i) {
    return {out.positions[i], out.normals[i], out.texCoords.empty() ? Float2{0, 0} : out.texCoords[i]};
}

// Appends the mesh's distinct vertices (in the order of their first use) to `out`; the number
// each of the mesh's vertices has there.
std::vector<uint32_t> appendJoined(ImportedMesh& out, const PlacedMesh& placed, unsigned count, bool texCoords) {
    const size_t capacity = std::bit_ceil(2 * size_t{count} + 1);
    std::vector<uint32_t> table(capacity, kNone);  // output numbers of the kept vertices, by key
    std::vector<uint32_t> number(count);
    for (unsigned i = 0; i < count; ++i) {
        const Vertex vertex = placed.vertex(i);
        const Key key = keyOf(vertex);
        size_t at = hashOf(key) & (capacity - 1);
        while (table[at] != kNone && keyOf(outputVertex(out, table[at])) != key) at = (at + 1) & (capacity - 1);
        if (table[at] == kNone) {
            if (out.positions.size() >= modelimport::kMaxVertices)
                throw Failure{modelimport::FailureReason::Unreadable, "the scene has more vertices than a mesh can index"};
            table[at] = static_cast<uint32_t>(out.positions.size());
            out.positions.push_back(vertex.position);
            out.normals.push_back(vertex.normal);
            if (texCoords) out.texCoords.push_back(vertex.texCoord);
        }
        number[i] = table[at];
    }
    return number;
}

}  // namespace

ImportedMesh sceneMesh(const aiScene& scene, const std::filesystem::path& modelFolder) {
    std::vector<Placement> placements;
    if (scene.mRootNode != nullptr) place(scene, *scene.mRootNode, aiMatrix4x4(), placements);
    // Faces end up sorted by material; so do the vertices, each material's together.
    std::stable_sort(placements.begin(), placements.end(),
                     [](const Placement& a, const Placement& b) { return a.mesh->mMaterialIndex < b.mesh->mMaterialIndex; });
    ImportedMesh out;
    std::vector<uint32_t> newMaterial(scene.mNumMaterials, kNone);
    bool texCoords = false;
    size_t vertices = 0, faces = 0;
    for (const Placement& p : placements) {
        texCoords |= p.mesh->HasTextureCoords(0);
        newMaterial[p.mesh->mMaterialIndex] = 0;
        vertices += p.mesh->mNumVertices;
        faces += p.mesh->mNumFaces;
    }
    std::vector<MeshUse> uses;
    for (const Placement& p : placements) uses.push_back({p.mesh, p.world});
    const TextureColours textures(scene, modelFolder, uses);
    for (unsigned i = 0; i < scene.mNumMaterials; ++i)
        if (newMaterial[i] == 0) {
            newMaterial[i] = static_cast<uint32_t>(out.materials.size());
            Material& m = out.materials.emplace_back(materialOf(*scene.mMaterials[i]));
            if (m.origin == modelimport::MaterialOrigin::File) m.diffuse = textures.colourOf(i, m.diffuse);
        }
    // At most this much, as long as the counts are sane: the scene is in memory already.
    out.positions.reserve(std::min<size_t>(vertices, modelimport::kMaxVertices));
    out.normals.reserve(out.positions.capacity());
    if (texCoords) out.texCoords.reserve(out.positions.capacity());
    out.indices.reserve(3 * std::min<size_t>(faces, modelimport::kMaxFaces));
    out.faceMaterials.reserve(std::min<size_t>(faces, modelimport::kMaxFaces));
    for (size_t m = 0; m < placements.size(); ++m) {
        const aiMesh& mesh = *placements[m].mesh;
        const std::vector<uint32_t> number = appendJoined(out, PlacedMesh(placements[m], m), mesh.mNumVertices, texCoords);
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            const aiFace& face = mesh.mFaces[f];
            if (face.mNumIndices != 3) continue;
            for (unsigned k : {0u, 2u, 1u}) {  // the other way round: clockwise in front
                if (face.mIndices[k] >= mesh.mNumVertices)
                    throw Failure{modelimport::FailureReason::Unreadable,
                                  "a face of mesh " + std::to_string(m) + " names a vertex it does not have"};
                out.indices.push_back(number[face.mIndices[k]]);
            }
            out.faceMaterials.push_back(newMaterial[mesh.mMaterialIndex]);
            if (out.faceCount() > modelimport::kMaxFaces)
                throw Failure{modelimport::FailureReason::Unreadable, "the scene has more triangles than a mesh can index"};
        }
    }
    if (out.faceCount() == 0) throw Failure{modelimport::FailureReason::NoTriangles, kNoTriangles};
    return out;
}

}  // namespace importchild
