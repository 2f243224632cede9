#include "SceneMesh.h"

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

#include "SmoothNormals.h"

namespace importchild {

namespace {

using modelimport::FailureReason;
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

[[noreturn]] void unreadable(const std::string& text) { throw Failure{FailureReason::Unreadable, text}; }

struct Placement {
    const aiMesh* mesh;
    aiMatrix4x4 world;
};

// The triangle meshes of the node tree, parents before children. A stack of our own rather
// than recursion: a file's tree may be as deep as it likes.
std::vector<Placement> placementsOf(const aiScene& scene) {
    std::vector<Placement> out;
    struct Pending {
        const aiNode* node;
        aiMatrix4x4 parent;
    };
    std::vector<Pending> pending;
    if (scene.mRootNode != nullptr) pending.push_back({scene.mRootNode, aiMatrix4x4()});
    while (!pending.empty()) {
        const Pending at = pending.back();
        pending.pop_back();
        const aiNode& node = *at.node;
        const aiMatrix4x4 world = at.parent * node.mTransformation;
        for (unsigned i = 0; i < node.mNumMeshes; ++i) {
            const aiMesh* mesh = node.mMeshes[i] < scene.mNumMeshes ? scene.mMeshes[node.mMeshes[i]] : nullptr;
            if (mesh != nullptr && (mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) && mesh->mMaterialIndex < scene.mNumMaterials)
                out.push_back({mesh, world});
        }
        for (unsigned c = node.mNumChildren; c-- > 0;)  // the first child is taken first
            if (node.mChildren[c] != nullptr) pending.push_back({node.mChildren[c], world});
    }
    return out;
}

// A mesh as placed in the world and turned into the program's space.
class PlacedMesh {
public:
    PlacedMesh(const Placement& p, size_t number)
        : mesh(*p.mesh), world_(p.world), normalMatrix_(p.world), number_(number) {
        if (normalMatrix_.Determinant() != 0) normalMatrix_ = normalMatrix_.Inverse().Transpose();
        // z is negated on the way into the program's space, which mirrors: each face's corners go
        // the other way round to keep its front. A placement that mirrors too cancels that.
        corner_ = p.world.Determinant() < 0 ? std::array<unsigned, 3>{0, 1, 2} : std::array<unsigned, 3>{0, 2, 1};
    }

    Float3 position(unsigned v) const {
        const aiVector3D p = world_ * mesh.mVertices[v];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            unreadable("a vertex of mesh " + std::to_string(number_) + " is not a finite point");
        return {p.x, p.y, -p.z};
    }
    Float3 normal(unsigned v) const {
        aiVector3D n = normalMatrix_ * mesh.mNormals[v];
        const float length = n.Length();
        n = std::isfinite(length) && length > 0 ? n / length : aiVector3D(0, 0, 0);
        return {n.x, n.y, -n.z};
    }
    Float2 texCoord(unsigned v) const {
        if (!mesh.HasTextureCoords(0)) return {0, 0};
        const aiVector3D& t = mesh.mTextureCoords[0][v];
        return {finiteOr(t.x, 0), 1 - finiteOr(t.y, 0)};
    }
    // The mesh's vertex at corner k (0..2) of face f in the program's order; the face's indices
    // are checked by usedVertices first.
    unsigned corner(unsigned f, unsigned k) const { return mesh.mFaces[f].mIndices[corner_[k]]; }

    // Which vertices the mesh's triangles use: kNone for those they do not, 0 for the others.
    std::vector<uint32_t> usedVertices() const {
        std::vector<uint32_t> used(mesh.mNumVertices, kNone);
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            const aiFace& face = mesh.mFaces[f];
            if (face.mNumIndices != 3) continue;
            for (unsigned k = 0; k < 3; ++k) {
                if (face.mIndices[k] >= mesh.mNumVertices)
                    unreadable("a face of mesh " + std::to_string(number_) + " names a vertex it does not have");
                used[face.mIndices[k]] = 0;
            }
        }
        return used;
    }

    const aiMesh& mesh;

private:
    aiMatrix4x4 world_;
    aiMatrix3x3 normalMatrix_;
    std::array<unsigned, 3> corner_;
    size_t number_;
};

// -0 as +0: the two are the same coordinate.
uint32_t bitsOf(float f) { return f == 0 ? 0u : std::bit_cast<uint32_t>(f); }

// Every bit of the words reaches every bit of the hash: positions on a grid differ in few
// bits, and often only in high ones.
template <size_t N>
uint64_t hashOf(const std::array<uint32_t, N>& words) {
    uint64_t h = 0;
    for (uint32_t w : words) h = (h + w) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

// Open addressing, sized once for at most `count` keys, at most half full. A slot holds the
// number of a kept item and the top of its hash, which settles most comparisons without
// reading the item.
class JoinTable {
public:
    explicit JoinTable(size_t count)
        : slots_(std::bit_ceil(std::max<size_t>(2 * count, 2)), kEmpty), mask_(slots_.size() - 1),
          shift_(64 - std::countr_zero(slots_.size())) {}

    void prefetch(uint64_t hash) const { __builtin_prefetch(&slots_[hash >> shift_]); }

    // The number of the item `same` recognises; `fresh` when there is none, which is kept.
    template <class Same>
    uint32_t numberOf(uint64_t hash, uint32_t fresh, const Same& same) {
        const uint64_t top = hash & 0xFFFFFFFF00000000ull;
        for (size_t at = static_cast<size_t>(hash >> shift_);; at = (at + 1) & mask_) {
            const uint64_t slot = slots_[at];
            if (slot == kEmpty) {
                slots_[at] = top | fresh;
                return fresh;
            }
            if ((slot & 0xFFFFFFFF00000000ull) == top && same(static_cast<uint32_t>(slot))) return static_cast<uint32_t>(slot);
        }
    }

private:
    static constexpr uint64_t kEmpty = UINT64_MAX;  // no kept number is kNone
    std::vector<uint64_t> slots_;
    size_t mask_;
    int shift_;
};

// Joins items 0 .. count-1 in place: the first of each group of equal keys is kept and moved
// down to the next free place (an item only ever moves down, onto one already read), the others
// dropped. Returns the number of each item's kept one; `kept` is how many there are.
template <class KeyAt, class Move>
std::vector<uint32_t> joinInPlace(size_t count, const KeyAt& keyAt, const Move& move, size_t& kept) {
    constexpr size_t kAhead = 8;  // the table is far larger than the caches: ask for slots early
    JoinTable table(count);
    std::vector<uint32_t> number(count);
    kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (i + kAhead < count) table.prefetch(hashOf(keyAt(i + kAhead)));
        const auto key = keyAt(i);
        number[i] = table.numberOf(hashOf(key), static_cast<uint32_t>(kept), [&](uint32_t k) { return keyAt(k) == key; });
        if (number[i] == kept) move(i, kept++);
    }
    return number;
}

std::array<uint32_t, 3> keyOf(Float3 p) { return {bitsOf(p.x), bitsOf(p.y), bitsOf(p.z)}; }

std::array<uint32_t, 8> keyOf(Float3 p, Float3 n, Float2 t) {
    return {bitsOf(p.x), bitsOf(p.y), bitsOf(p.z), bitsOf(n.x), bitsOf(n.y), bitsOf(n.z), bitsOf(t.u), bitsOf(t.v)};
}

void requireRoomFor(const ImportedMesh& out, size_t more) {
    if (more > modelimport::kMaxVertices - out.positions.size())
        unreadable("the scene has more vertices than a mesh can index");
}

// The face's corners, numbered by `number`, appended to the indices.
void appendFaces(ImportedMesh& out, const PlacedMesh& placed, const std::vector<uint32_t>& number) {
    for (unsigned f = 0; f < placed.mesh.mNumFaces; ++f)
        if (placed.mesh.mFaces[f].mNumIndices == 3)
            for (unsigned k = 0; k < 3; ++k) out.indices.push_back(number[placed.corner(f, k)]);
}

// `used` (from usedVertices) numbered in order among the used: the vertices the mesh
// contributes, in the mesh's order; their count.
size_t numberUsed(std::vector<uint32_t>& used) {
    size_t count = 0;
    for (uint32_t& u : used)
        if (u != kNone) u = static_cast<uint32_t>(count++);
    return count;
}

// A mesh with the file's normals: its identical vertices (position, normal, texture
// coordinates) joined, in the mesh's order, those no triangle uses left out.
void appendWithNormals(ImportedMesh& out, const PlacedMesh& placed, bool texCoords) {
    std::vector<uint32_t> number = placed.usedVertices();
    const size_t used = numberUsed(number), first = out.positions.size();
    requireRoomFor(out, used);
    for (unsigned v = 0; v < placed.mesh.mNumVertices; ++v) {
        if (number[v] == kNone) continue;
        out.positions.push_back(placed.position(v));
        out.normals.push_back(placed.normal(v));
        if (texCoords) out.texCoords.push_back(placed.texCoord(v));
    }
    const auto keyAt = [&](size_t i) {
        return keyOf(out.positions[first + i], out.normals[first + i], texCoords ? out.texCoords[first + i] : Float2{0, 0});
    };
    const auto move = [&](size_t from, size_t to) {
        out.positions[first + to] = out.positions[first + from];
        out.normals[first + to] = out.normals[first + from];
        if (texCoords) out.texCoords[first + to] = out.texCoords[first + from];
    };
    size_t kept = 0;
    const std::vector<uint32_t> joined = joinInPlace(used, keyAt, move, kept);
    out.positions.resize(first + kept);
    out.normals.resize(first + kept);
    if (texCoords) out.texCoords.resize(first + kept);
    for (uint32_t& n : number)
        if (n != kNone) n = static_cast<uint32_t>(first + joined[n]);
    appendFaces(out, placed, number);
}

// A mesh without normals: its vertices joined by position alone, so that faces which share a
// position are neighbours whatever else their vertices hold, and then given normals.
void appendSmoothedMesh(ImportedMesh& out, const PlacedMesh& placed, bool texCoords) {
    std::vector<uint32_t> number = placed.usedVertices();
    std::vector<Float3> positions;
    positions.reserve(numberUsed(number));
    for (unsigned v = 0; v < placed.mesh.mNumVertices; ++v)
        if (number[v] != kNone) positions.push_back(placed.position(v));
    size_t kept = 0;
    const std::vector<uint32_t> joined = joinInPlace(
        positions.size(), [&](size_t i) { return keyOf(positions[i]); },
        [&](size_t from, size_t to) { positions[to] = positions[from]; }, kept);
    positions.resize(kept);
    for (uint32_t& n : number)
        if (n != kNone) n = joined[n];
    const size_t first = out.indices.size();
    appendFaces(out, placed, number);
    std::vector<Float2> cornerTexCoords;
    if (placed.mesh.HasTextureCoords(0)) {
        cornerTexCoords.reserve(out.indices.size() - first);
        for (unsigned f = 0; f < placed.mesh.mNumFaces; ++f)
            if (placed.mesh.mFaces[f].mNumIndices == 3)
                for (unsigned k = 0; k < 3; ++k) cornerTexCoords.push_back(placed.texCoord(placed.corner(f, k)));
    }
    requireRoomFor(out, out.indices.size() - first);
    const std::span<uint32_t> corners(out.indices.data() + first, out.indices.size() - first);
    appendSmoothed(out, {positions, corners, cornerTexCoords}, texCoords);
}

}  // namespace

ImportedMesh sceneMesh(const aiScene& scene) {
    std::vector<Placement> placements = placementsOf(scene);
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
    if (faces > modelimport::kMaxFaces) unreadable("the scene has more triangles than a mesh can index");
    for (unsigned i = 0; i < scene.mNumMaterials; ++i)
        if (newMaterial[i] == 0) {
            if (out.materials.size() == modelimport::kMaxMaterials)
                unreadable("its faces use more than the " + std::to_string(modelimport::kMaxMaterials) +
                           " materials a mesh can have");
            newMaterial[i] = static_cast<uint32_t>(out.materials.size());
            out.materials.push_back(materialOf(*scene.mMaterials[i]));
        }
    // At most this much, as long as the counts are sane: the scene is in memory already.
    out.positions.reserve(std::min<size_t>(vertices, modelimport::kMaxVertices));
    out.normals.reserve(out.positions.capacity());
    if (texCoords) out.texCoords.reserve(out.positions.capacity());
    out.indices.reserve(3 * faces);
    out.faceMaterials.reserve(faces);
    for (size_t m = 0; m < placements.size(); ++m) {
        const PlacedMesh placed(placements[m], m);
        if (placed.mesh.HasNormals()) appendWithNormals(out, placed, texCoords);
        else appendSmoothedMesh(out, placed, texCoords);
        out.faceMaterials.resize(out.indices.size() / 3, newMaterial[placed.mesh.mMaterialIndex]);
    }
    if (out.faceCount() == 0) throw Failure{FailureReason::NoTriangles, kNoTriangles};
    return out;
}

}  // namespace importchild
