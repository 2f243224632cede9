#include "d3dx8/MeshLoader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

#include "runtime/Error.h"
#include "runtime/Status.h"

namespace d3dx8 {

namespace {

// The merged mesh before it goes into buffers.
struct Geometry {
    std::vector<D3DVECTOR> positions;
    std::vector<D3DVECTOR> normals;
    std::vector<xfile::Vec2> texCoords;
    std::vector<D3DCOLOR> colors;
    std::vector<uint32_t> triangles;   // 3 vertex indices per face
    std::vector<uint32_t> attributes;  // 1 per face
    bool hasNormals = false, hasTexCoords = false, hasColors = false;
};

// A mesh's vertices after splitting: output vertex i comes from file vertex source[i].
struct SplitVertices {
    std::vector<uint32_t> source;
    std::vector<D3DVECTOR> normals;  // empty when the mesh has none
    std::vector<uint32_t> cornerVertex;  // per polygon corner, in file order
};

struct NormalKey {
    uint32_t vertex, x, y, z;
    bool operator==(const NormalKey&) const = default;
};
struct NormalKeyHash {
    size_t operator()(const NormalKey& k) const {
        uint64_t h = k.vertex * 0x9E3779B97F4A7C15ull;
        for (uint32_t part : {k.x, k.y, k.z}) h = (h ^ part) * 0x100000001B3ull;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

uint32_t floatKey(float value) {
    if (value == 0) return 0;  // +0 and -0 compare equal, so they share a key
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

D3DVECTOR toVector(const xfile::Vec3& v) {
    return {v.x, v.y, v.z};
}

// A vertex keeps its slot and the normal of its first use; a use with a different normal
// (exact comparison of the normalised values) gets a copy appended after the file's vertices,
// and later uses with that same normal share the copy.
SplitVertices splitByNormals(const xfile::Mesh& mesh) {
    SplitVertices split;
    const auto vertexCount = static_cast<uint32_t>(mesh.positions.size());
    split.source.resize(vertexCount);
    for (uint32_t v = 0; v < vertexCount; ++v) split.source[v] = v;
    if (!mesh.normals) {
        split.cornerVertex = mesh.faces.indices;
        return split;
    }
    split.normals.assign(vertexCount, D3DVECTOR{0, 0, 0});
    std::vector<bool> used(vertexCount, false);
    std::unordered_map<NormalKey, uint32_t, NormalKeyHash> slots;
    split.cornerVertex.reserve(mesh.faces.indices.size());
    for (size_t corner = 0; corner < mesh.faces.indices.size(); ++corner) {
        uint32_t v = mesh.faces.indices[corner];
        D3DVECTOR n = D3DXVec3Normalize(toVector(mesh.normals->normals[mesh.normals->faces.indices[corner]]));
        auto [it, inserted] = slots.try_emplace(NormalKey{v, floatKey(n.x), floatKey(n.y), floatKey(n.z)}, v);
        if (inserted && used[v]) {
            it->second = static_cast<uint32_t>(split.source.size());
            split.source.push_back(v);
            split.normals.push_back(n);
        } else if (inserted) {
            used[v] = true;
            split.normals[v] = n;
        }
        split.cornerVertex.push_back(it->second);
    }
    return split;
}

D3DMATRIX toMatrix(const xfile::Matrix4& m) {
    D3DMATRIX r;
    std::memcpy(&r.m[0][0], m.data(), sizeof r.m);
    return r;
}

bool isIdentity(const xfile::Matrix4& m) {
    return m == xfile::identityMatrix();
}

// Normals follow the inverse transpose of the transform's 3 × 3 part (no translation) and
// are renormalised, so scaled or sheared frames keep them perpendicular to the surface.
D3DMATRIX normalMatrix(const D3DMATRIX& world) {
    D3DMATRIX linear = world;
    linear._14 = linear._24 = linear._34 = 0;
    linear._41 = linear._42 = linear._43 = 0;
    linear._44 = 1;
    D3DMATRIX inverse;
    if (!D3DXMatrixInverse(linear, inverse)) return linear;
    return D3DXMatrixTranspose(inverse);
}

void appendVertices(Geometry& g, const xfile::Document& document, const xfile::Mesh& mesh,
                    const SplitVertices& split) {
    const xfile::Matrix4 world = document.worldTransform(mesh);
    const bool transform = !isIdentity(world);
    const D3DMATRIX positionMatrix = toMatrix(world);
    const D3DMATRIX normalTransform = normalMatrix(positionMatrix);
    std::vector<D3DCOLOR> fileColors;
    if (mesh.vertexColors) {
        fileColors.assign(mesh.positions.size(), 0x00FFFFFFu);
        for (const xfile::VertexColor& c : *mesh.vertexColors) {
            auto channel = [](float x) { return static_cast<uint32_t>(std::clamp(x, 0.0f, 1.0f) * 255.0f + 0.5f); };
            fileColors[c.index] = channel(c.color.a) << 24 | channel(c.color.r) << 16 | channel(c.color.g) << 8 |
                                  channel(c.color.b);
        }
    }
    for (size_t i = 0; i < split.source.size(); ++i) {
        uint32_t v = split.source[i];
        D3DVECTOR p = toVector(mesh.positions[v]);
        if (transform) p = D3DXVec3TransformCoord(p, positionMatrix);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            xfile::raiseFormatError(document.fileName, document.header, mesh.pos,
                                    "a frame transform moves a vertex of the mesh to infinity");
        g.positions.push_back(p);
        D3DVECTOR n = split.normals.empty() ? D3DVECTOR{0, 0, 0} : split.normals[i];
        if (transform) n = D3DXVec3Normalize(D3DXVec3TransformNormal(n, normalTransform));
        g.normals.push_back(n);
        g.texCoords.push_back(mesh.texCoords ? (*mesh.texCoords)[v] : xfile::Vec2{0, 0});
        g.colors.push_back(fileColors.empty() ? 0u : fileColors[v]);
    }
}

// Polygons become fans from their first corner; every triangle keeps its polygon's material.
void appendTriangles(Geometry& g, const xfile::Mesh& mesh, const SplitVertices& split, uint32_t vertexBase,
                     uint32_t attributeBase) {
    size_t corner = 0;
    for (size_t face = 0; face < mesh.faces.sizes.size(); ++face) {
        const uint32_t size = mesh.faces.sizes[face];
        const uint32_t attribute =
            attributeBase + (mesh.materialList ? mesh.materialList->faceMaterials[face] : 0);
        for (uint32_t k = 1; k + 1 < size; ++k) {
            g.triangles.push_back(vertexBase + split.cornerVertex[corner]);
            g.triangles.push_back(vertexBase + split.cornerVertex[corner + k]);
            g.triangles.push_back(vertexBase + split.cornerVertex[corner + k + 1]);
            g.attributes.push_back(attribute);
        }
        corner += size;
    }
}

void appendMaterials(MeshFromX& result, const xfile::Mesh& mesh) {
    if (!mesh.materialList) {
        result.materials.push_back(defaultMaterial());
        result.textureFilenames.emplace_back();
        return;
    }
    for (const xfile::Material& material : mesh.materialList->materials) {
        result.materials.push_back(materialFromX(material));
        result.textureFilenames.push_back(material.textureFilename);
    }
}

uint32_t vertexFormat(const Geometry& g) {
    return D3DFVF_XYZ | (g.hasNormals ? D3DFVF_NORMAL : 0) | (g.hasColors ? D3DFVF_DIFFUSE : 0) |
           (g.hasTexCoords ? D3DFVF_TEX1 : 0);
}

void fillVertexBuffer(D3DXMesh& mesh, const Geometry& g) {
    const uint32_t stride = mesh.vertexSize();
    std::span<std::byte> bytes = mesh.GetVertexBuffer()->mutableBytes();
    for (size_t v = 0; v < g.positions.size(); ++v) {
        std::byte* out = bytes.data() + v * stride;
        std::memcpy(out, &g.positions[v], 12);
        out += 12;
        auto put = [&](bool present, const void* value, size_t size) {
            if (!present) return;
            std::memcpy(out, value, size);
            out += size;
        };
        put(g.hasNormals, &g.normals[v], 12);
        put(g.hasColors, &g.colors[v], 4);
        put(g.hasTexCoords, &g.texCoords[v], 8);
    }
}

std::shared_ptr<D3DXMesh> makeMesh(const Geometry& g, const xfile::Document& document, uint32_t options,
                                   std::shared_ptr<Direct3DDevice8> device) {
    const size_t vertexCount = g.positions.size();
    const size_t faceCount = g.attributes.size();
    if (faceCount == 0)
        rt::raiseStatus(D3DXERR_LOADEDMESHASNODATA, "LoadMeshFromX", document.fileName + ": the file holds no face to load");
    if (!(options & D3DXMESH_32BIT) && vertexCount > 65535)
        rt::raiseStatus(D3DERR_INVALIDCALL, "LoadMeshFromX",
                        document.fileName + ": the mesh needs " + std::to_string(vertexCount) +
                            " vertices; 16-bit indices reach at most 65,535 (load with D3DXMESH_32BIT)");
    if (vertexCount > 0xFFFFFFFEu || faceCount > 0x55555555u)
        rt::raiseStatus(E_OUTOFMEMORY, "LoadMeshFromX", document.fileName + ": mesh too large");
    auto mesh = std::make_shared<D3DXMesh>(static_cast<uint32_t>(faceCount), static_cast<uint32_t>(vertexCount),
                                           options, vertexFormat(g), std::move(device));
    fillVertexBuffer(*mesh, g);
    mesh->setIndices(g.triangles);
    std::copy(g.attributes.begin(), g.attributes.end(), mesh->mutableAttributes().begin());
    // Attribute ids rise from mesh to mesh, so one stable sort over the whole mesh is the
    // per-mesh sort, and the table has one range per material.
    mesh->sortFacesByAttribute();
    return mesh;
}

}  // namespace

D3DMATERIAL8 defaultMaterial() {
    D3DMATERIAL8 m{};
    m.Diffuse = {0.5f, 0.5f, 0.5f, 0.0f};
    m.Specular = {0.5f, 0.5f, 0.5f, 0.0f};
    return m;
}

D3DMATERIAL8 materialFromX(const xfile::Material& material) {
    D3DMATERIAL8 m{};
    m.Diffuse = {material.faceColor.r, material.faceColor.g, material.faceColor.b, material.faceColor.a};
    m.Ambient = {0, 0, 0, 1};
    m.Specular = {material.specular.r, material.specular.g, material.specular.b, 1};
    m.Emissive = {material.emissive.r, material.emissive.g, material.emissive.b, 1};
    m.Power = material.power;
    return m;
}

MeshFromX buildMeshFromX(const xfile::Document& document, uint32_t options,
                         std::shared_ptr<Direct3DDevice8> device) {
    Geometry g;
    MeshFromX result;
    const bool anyMaterials = std::any_of(document.meshes.begin(), document.meshes.end(),
                                          [](const xfile::Mesh& m) { return m.materialList.has_value(); });
    for (const xfile::Mesh& mesh : document.meshes) {
        g.hasNormals |= mesh.normals.has_value();
        g.hasTexCoords |= mesh.texCoords.has_value();
        g.hasColors |= mesh.vertexColors.has_value();
        const SplitVertices split = splitByNormals(mesh);
        const auto vertexBase = static_cast<uint32_t>(g.positions.size());
        if (split.source.size() > 0xFFFFFFFEu - vertexBase)
            rt::raiseStatus(E_OUTOFMEMORY, "LoadMeshFromX", document.fileName + ": too many vertices");
        const auto attributeBase = static_cast<uint32_t>(result.materials.size());
        appendVertices(g, document, mesh, split);
        appendTriangles(g, mesh, split, vertexBase, anyMaterials ? attributeBase : 0);
        if (anyMaterials) appendMaterials(result, mesh);
    }
    if (!anyMaterials) {
        result.materials.push_back(defaultMaterial());
        result.textureFilenames.emplace_back();
    }
    result.mesh = makeMesh(g, document, options, std::move(device));
    return result;
}

MeshFromX loadMeshFromXInMemory(std::span<const std::byte> bytes, std::string_view fileName, uint32_t options,
                                std::shared_ptr<Direct3DDevice8> device) {
    return buildMeshFromX(xfile::parse(bytes, fileName), options, std::move(device));
}

std::shared_ptr<D3DXBuffer> makeMaterialBuffer(const MeshFromX& mesh) {
    const size_t count = mesh.materials.size();
    size_t size = count * sizeof(D3DXMATERIAL);
    for (const std::string& name : mesh.textureFilenames)
        if (!name.empty()) size += name.size() + 1;
    std::vector<std::byte> bytes(size);
    // Names follow the entries in entry order; the vector's storage moves into the buffer
    // unchanged, so the pointers stay valid for the buffer's life.
    size_t at = count * sizeof(D3DXMATERIAL);
    for (size_t i = 0; i < count; ++i) {
        D3DXMATERIAL entry{mesh.materials[i], nullptr};
        const std::string& name = mesh.textureFilenames[i];
        if (!name.empty()) {
            entry.pTextureFilename = reinterpret_cast<char*>(bytes.data() + at);
            std::memcpy(bytes.data() + at, name.c_str(), name.size() + 1);
            at += name.size() + 1;
        }
        std::memcpy(bytes.data() + i * sizeof(D3DXMATERIAL), &entry, sizeof entry);
    }
    return std::make_shared<D3DXBuffer>(std::move(bytes));
}

// The first texture name of a material buffer starts right after the last entry; entries
// before the first one with a name have none. So the entries end at the lowest name pointer
// that points into the buffer, or at the buffer's end when no entry has a name.
uint32_t materialBufferCount(const D3DXBuffer& buffer) {
    const std::byte* base = buffer.GetBufferPointer();
    size_t limit = buffer.GetBufferSize();
    for (size_t i = 0; (i + 1) * sizeof(D3DXMATERIAL) <= limit; ++i) {
        D3DXMATERIAL entry;
        std::memcpy(&entry, base + i * sizeof(D3DXMATERIAL), sizeof entry);
        const auto name = reinterpret_cast<uintptr_t>(entry.pTextureFilename);
        const auto start = reinterpret_cast<uintptr_t>(base);
        if (name >= start && name < start + buffer.GetBufferSize()) limit = std::min(limit, size_t{name - start});
    }
    return static_cast<uint32_t>(limit / sizeof(D3DXMATERIAL));
}

std::shared_ptr<D3DXBuffer> makeAdjacencyBuffer(const D3DXMesh& mesh) {
    std::vector<std::byte> bytes(size_t{mesh.GetNumFaces()} * 3 * sizeof(uint32_t));
    mesh.GenerateAdjacency(0.0f, reinterpret_cast<uint32_t*>(bytes.data()));
    return std::make_shared<D3DXBuffer>(std::move(bytes));
}

}  // namespace d3dx8
