#include "SceneMesh.h"

#include "TextureColour.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "Halves.h"
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
        : mesh(*p.mesh), number(number), world_(p.world), normalMatrix_(p.world) {
        if (normalMatrix_.Determinant() != 0) normalMatrix_ = normalMatrix_.Inverse().Transpose();
        // z is negated on the way into the program's space, which mirrors: each face's corners go
        // the other way round to keep its front. A placement that mirrors too cancels that.
        corner_ = p.world.Determinant() < 0 ? std::array<unsigned, 3>{0, 1, 2} : std::array<unsigned, 3>{0, 2, 1};
    }

    // Not finite where the file or the placement says so: the caller checks.
    Float3 position(unsigned v) const {
        const aiVector3D p = world_ * mesh.mVertices[v];
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
    // Corner k (0..2) of a face, in the program's order.
    unsigned corner(const aiFace& face, unsigned k) const { return face.mIndices[corner_[k]]; }

    const aiMesh& mesh;
    const size_t number;

private:
    aiMatrix4x4 world_;
    aiMatrix3x3 normalMatrix_;
    std::array<unsigned, 3> corner_;
};

bool isFinite(Float3 p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

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

// The mesh's triangles appended to out.indices, corners in the program's order, each the
// mesh's own number of its vertex; in `used`, 0 for each vertex they name, kNone for the others.
std::vector<uint32_t> appendCorners(ImportedMesh& out, const PlacedMesh& placed) {
    const aiMesh& mesh = placed.mesh;
    size_t triangles = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) triangles += mesh.mFaces[f].mNumIndices == 3;
    const size_t first = out.indices.size();
    out.indices.resize(first + 3 * triangles);
    std::vector<uint32_t> used(mesh.mNumVertices, kNone);
    std::atomic<bool> outside = false;
    const auto read = [&](unsigned f, size_t at) {
        for (unsigned k = 0; k < 3; ++k) {
            const unsigned v = placed.corner(mesh.mFaces[f], k);
            if (v >= mesh.mNumVertices) {
                outside.store(true, std::memory_order_relaxed);
                continue;
            }
            out.indices[at + k] = v;
            std::atomic_ref(used[v]).store(0, std::memory_order_relaxed);
        }
    };
    if (triangles == mesh.mNumFaces) {
        inHalves(triangles, [&](size_t begin, size_t end) {
            for (size_t f = begin; f < end; ++f) read(static_cast<unsigned>(f), first + 3 * f);
        });
    } else {
        for (unsigned f = 0, at = 0; f < mesh.mNumFaces; ++f)
            if (mesh.mFaces[f].mNumIndices == 3) read(f, first + 3 * size_t{at++});
    }
    if (outside) unreadable("a face of mesh " + std::to_string(placed.number) + " names a vertex it does not have");
    return used;
}

// `used` numbered in order among the used vertices: the mesh's vertices as its output has them
// before joining. Their count.
size_t numberUsed(std::vector<uint32_t>& used) {
    size_t count = 0;
    for (uint32_t& u : used)
        if (u != kNone) u = static_cast<uint32_t>(count++);
    return count;
}

// stage(v, item) for each used vertex v, at once on both halves of the mesh. Refuses the mesh
// when a position is not finite.
template <class Stage>
void stageUsed(const PlacedMesh& placed, const std::vector<uint32_t>& used, const Stage& stage) {
    std::atomic<bool> infinite = false;
    inHalves(used.size(), [&](size_t begin, size_t end) {
        for (size_t v = begin; v < end; ++v)
            if (used[v] != kNone && !stage(static_cast<unsigned>(v), used[v])) infinite.store(true, std::memory_order_relaxed);
    });
    if (infinite) unreadable("a vertex of mesh " + std::to_string(placed.number) + " is not a finite point");
}

// The corners from `first` on, renamed from the mesh's vertex numbers to `base` + what the join
// made of their vertices.
void renumberCorners(ImportedMesh& out, size_t first, std::vector<uint32_t>& used, const std::vector<uint32_t>& joined,
                     size_t base) {
    inHalves(used.size(), [&](size_t begin, size_t end) {
        for (size_t v = begin; v < end; ++v)
            if (used[v] != kNone) used[v] = static_cast<uint32_t>(base + joined[used[v]]);
    });
    inHalves(out.indices.size() - first, [&](size_t begin, size_t end) {
        for (size_t c = first + begin; c < first + end; ++c) out.indices[c] = used[out.indices[c]];
    });
}

// A mesh with the file's normals: its identical vertices (position, normal, texture
// coordinates) joined, in the mesh's order, those no triangle uses left out.
void appendWithNormals(ImportedMesh& out, const PlacedMesh& placed, bool texCoords) {
    const size_t first = out.indices.size(), base = out.positions.size();
    std::vector<uint32_t> used = appendCorners(out, placed);
    const size_t count = numberUsed(used);
    requireRoomFor(out, count);
    out.positions.resize(base + count);
    out.normals.resize(base + count);
    if (texCoords) out.texCoords.resize(base + count);
    stageUsed(placed, used, [&](unsigned v, size_t item) {
        out.positions[base + item] = placed.position(v);
        out.normals[base + item] = placed.normal(v);
        if (texCoords) out.texCoords[base + item] = placed.texCoord(v);
        return isFinite(out.positions[base + item]);
    });
    const auto keyAt = [&](size_t i) {
        return keyOf(out.positions[base + i], out.normals[base + i], texCoords ? out.texCoords[base + i] : Float2{0, 0});
    };
    const auto move = [&](size_t from, size_t to) {
        out.positions[base + to] = out.positions[base + from];
        out.normals[base + to] = out.normals[base + from];
        if (texCoords) out.texCoords[base + to] = out.texCoords[base + from];
    };
    size_t kept = 0;
    const std::vector<uint32_t> joined = joinInPlace(count, keyAt, move, kept);
    out.positions.resize(base + kept);
    out.normals.resize(base + kept);
    if (texCoords) out.texCoords.resize(base + kept);
    renumberCorners(out, first, used, joined, base);
}

// A mesh without normals: its vertices joined by position alone, so that faces which share a
// position are neighbours whatever else their vertices hold, and then given normals.
void appendSmoothedMesh(ImportedMesh& out, const PlacedMesh& placed, bool texCoords) {
    const size_t first = out.indices.size();
    std::vector<uint32_t> used = appendCorners(out, placed);
    const std::span<uint32_t> corners(out.indices.data() + first, out.indices.size() - first);
    std::vector<Float2> cornerTexCoords;
    if (placed.mesh.HasTextureCoords(0)) {
        cornerTexCoords.resize(corners.size());
        inHalves(corners.size(), [&](size_t begin, size_t end) {
            for (size_t c = begin; c < end; ++c) cornerTexCoords[c] = placed.texCoord(corners[c]);
        });
    }
    std::vector<Float3> positions(numberUsed(used));
    stageUsed(placed, used, [&](unsigned v, size_t item) { return isFinite(positions[item] = placed.position(v)); });
    size_t kept = 0;
    const std::vector<uint32_t> joined = joinInPlace(
        positions.size(), [&](size_t i) { return keyOf(positions[i]); },
        [&](size_t from, size_t to) { positions[to] = positions[from]; }, kept);
    positions.resize(kept);
    renumberCorners(out, first, used, joined, 0);
    requireRoomFor(out, corners.size());
    appendSmoothed(out, {std::move(positions), corners, cornerTexCoords}, texCoords);
}

}  // namespace

ImportedMesh sceneMesh(const aiScene& scene, const std::filesystem::path& modelFolder) {
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
    std::vector<MeshUse> uses;
    for (const Placement& p : placements) uses.push_back({p.mesh, p.world});
    const TextureColours textures(scene, modelFolder, uses);
    for (unsigned i = 0; i < scene.mNumMaterials; ++i)
        if (newMaterial[i] == 0) {
            if (out.materials.size() == modelimport::kMaxMaterials)
                unreadable("its faces use more than the " + std::to_string(modelimport::kMaxMaterials) +
                           " materials a mesh can have");
            newMaterial[i] = static_cast<uint32_t>(out.materials.size());
            Material& m = out.materials.emplace_back(materialOf(*scene.mMaterials[i]));
            if (m.origin == modelimport::MaterialOrigin::File) m.diffuse = textures.colourOf(i, m.diffuse);
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
