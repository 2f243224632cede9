#include "d3dx8/MeshLoader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "runtime/Error.h"
#include "runtime/Status.h"

namespace d3dx8 {

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;

// A mesh's vertices after splitting. Output vertex v < the file's vertex count is file vertex
// v; those after it are copies. Normals are held as indices into the file's normal list.
struct SplitVertices {
    std::vector<uint32_t> firstNormal;   // per file vertex: the normal of its first use, kNone if unused
    std::vector<uint32_t> copySource;    // per copy: its file vertex
    std::vector<uint32_t> copyNormal;    // per copy: its normal
    std::vector<uint32_t> cornerVertex;  // per polygon corner, in file order; empty: the mesh's own indices
    size_t vertexCount() const { return firstNormal.size() + copySource.size(); }
};

uint32_t floatKey(float value) {
    if (value == 0) return 0;  // +0 and -0 compare equal, so they share a key
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

bool sameNormal(const D3DVECTOR& a, const D3DVECTOR& b) {
    return floatKey(a.x) == floatKey(b.x) && floatKey(a.y) == floatKey(b.y) && floatKey(a.z) == floatKey(b.z);
}

D3DVECTOR toVector(const xfile::Vec3& v) {
    return {v.x, v.y, v.z};
}

// Normals compare, and go into the mesh, normalised.
D3DVECTOR unitNormal(const xfile::Mesh& mesh, uint32_t index) {
    return D3DXVec3Normalize(toVector(mesh.normals->normals[index]));
}

// The copies a vertex gets for its other normals, found by (vertex, normal) in an open-addressed
// table of copy numbers: the keys are read back from the copies, so the table is one array.
class CopyTable {
public:
    CopyTable(const xfile::Mesh& mesh, SplitVertices& split) : mesh_(mesh), split_(split) {}

    // The output vertex of the copy of `vertex` with normal `normalIndex`, made on first request.
    uint32_t copyOf(uint32_t vertex, uint32_t normalIndex) {
        if (2 * (split_.copySource.size() + 1) > table_.size()) grow();
        const D3DVECTOR normal = unitNormal(mesh_, normalIndex);
        size_t at = hash(vertex, normal) & (table_.size() - 1);
        for (; table_[at] != kNone; at = (at + 1) & (table_.size() - 1)) {
            const uint32_t copy = table_[at];
            if (split_.copySource[copy] == vertex && sameNormal(unitNormal(mesh_, split_.copyNormal[copy]), normal))
                return outputVertex(copy);
        }
        table_[at] = static_cast<uint32_t>(split_.copySource.size());
        split_.copySource.push_back(vertex);
        split_.copyNormal.push_back(normalIndex);
        return outputVertex(table_[at]);
    }

private:
    uint32_t outputVertex(uint32_t copy) const { return static_cast<uint32_t>(split_.firstNormal.size()) + copy; }
    static size_t hash(uint32_t vertex, const D3DVECTOR& n) {
        uint64_t h = vertex * 0x9E3779B97F4A7C15ull;
        for (float part : {n.x, n.y, n.z}) h = (h ^ floatKey(part)) * 0x100000001B3ull;
        return static_cast<size_t>(h ^ (h >> 29));
    }
    void grow() {
        table_.assign(std::max<size_t>(64, table_.size() * 2), kNone);
        for (uint32_t copy = 0; copy < split_.copySource.size(); ++copy) {
            size_t at = hash(split_.copySource[copy], unitNormal(mesh_, split_.copyNormal[copy])) & (table_.size() - 1);
            while (table_[at] != kNone) at = (at + 1) & (table_.size() - 1);
            table_[at] = copy;
        }
    }

    const xfile::Mesh& mesh_;
    SplitVertices& split_;
    std::vector<uint32_t> table_;
};

// A vertex keeps its slot and the normal of its first use; a use with a different normal
// (exact comparison of the normalised values) gets a copy appended after the file's vertices,
// and later uses with that same normal share the copy.
SplitVertices splitByNormals(const xfile::Mesh& mesh) {
    SplitVertices split;
    split.firstNormal.assign(mesh.positions.size(), kNone);
    if (!mesh.normals) return split;
    if (mesh.normals->perVertex) {
        // Every use of a vertex has its normal: nothing splits, and a vertex that no face uses
        // keeps none, as when each corner names its vertex's normal.
        for (uint32_t v : mesh.faces.indices) split.firstNormal[v] = v;
        return split;
    }
    const std::vector<uint32_t>& normalOf = mesh.normals->faces.indices;
    CopyTable copies(mesh, split);
    split.cornerVertex.resize(mesh.faces.indices.size());
    for (size_t corner = 0; corner < mesh.faces.indices.size(); ++corner) {
        const uint32_t v = mesh.faces.indices[corner], n = normalOf[corner];
        uint32_t& first = split.firstNormal[v];
        if (first == kNone) first = n;
        const bool same = first == n || sameNormal(unitNormal(mesh, first), unitNormal(mesh, n));
        split.cornerVertex[corner] = same ? v : copies.copyOf(v, n);
    }
    return split;
}

D3DMATRIX toMatrix(const xfile::Matrix4& m) {
    D3DMATRIX r;
    std::memcpy(&r.m[0][0], m.data(), sizeof r.m);
    return r;
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

// One file mesh on its way into the merged mesh.
struct MeshPart {
    const xfile::Mesh* mesh;
    SplitVertices split;
    bool transformed;
    D3DMATRIX positionMatrix, normalMatrix;
    uint32_t vertexBase, attributeBase;
};

// What the merged mesh holds, known before any buffer is made.
struct Plan {
    std::vector<MeshPart> parts;
    bool hasNormals = false, hasTexCoords = false, hasColors = false;
    size_t vertexCount = 0, faceCount = 0;
    uint32_t attributeCount = 1;  // attribute ids run from 0 to attributeCount - 1
};

D3DVECTOR placed(const MeshPart& part, const xfile::Vec3& position) {
    D3DVECTOR p = toVector(position);
    return part.transformed ? D3DXVec3TransformCoord(p, part.positionMatrix) : p;
}

MeshPart planPart(const xfile::Document& document, const xfile::Mesh& mesh, size_t vertexBase, uint32_t attributeBase) {
    MeshPart part{&mesh, splitByNormals(mesh), false, {}, {}, static_cast<uint32_t>(vertexBase), attributeBase};
    const xfile::Matrix4 world = document.worldTransform(mesh);
    part.transformed = world != xfile::identityMatrix();
    part.positionMatrix = toMatrix(world);
    part.normalMatrix = normalMatrix(part.positionMatrix);
    checkVertexTotal(document, mesh, vertexBase, part.split.vertexCount());
    for (const xfile::Vec3& position : mesh.positions) {
        const D3DVECTOR p = placed(part, position);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            xfile::raiseFormatError(document.fileName, document.header, mesh.pos,
                                    "a frame transform moves a vertex of the mesh to infinity");
    }
    return part;
}

size_t triangleCount(const xfile::Mesh& mesh) {
    size_t count = 0;
    for (uint32_t size : mesh.faces.sizes) count += size - 2;
    return count;
}

Plan planMesh(const xfile::Document& document, bool anyMaterials) {
    Plan plan;
    plan.parts.reserve(document.meshes.size());
    uint32_t materials = 0;
    for (const xfile::Mesh& mesh : document.meshes) {
        plan.hasNormals |= mesh.normals.has_value();
        plan.hasTexCoords |= mesh.texCoords.has_value();
        plan.hasColors |= mesh.vertexColors.has_value();
        plan.parts.push_back(planPart(document, mesh, plan.vertexCount, anyMaterials ? materials : 0));
        plan.vertexCount += plan.parts.back().split.vertexCount();
        plan.faceCount += triangleCount(mesh);
        materials += mesh.materialList ? static_cast<uint32_t>(mesh.materialList->materials.size()) : 1;
    }
    if (anyMaterials) plan.attributeCount = std::max(materials, 1u);
    return plan;
}

uint32_t vertexFormat(const Plan& plan) {
    return D3DFVF_XYZ | (plan.hasNormals ? D3DFVF_NORMAL : 0) | (plan.hasColors ? D3DFVF_DIFFUSE : 0) |
           (plan.hasTexCoords ? D3DFVF_TEX1 : 0);
}

std::vector<D3DCOLOR> vertexColors(const xfile::Mesh& mesh) {
    std::vector<D3DCOLOR> colors;
    if (!mesh.vertexColors) return colors;
    colors.assign(mesh.positions.size(), 0x00FFFFFFu);
    auto channel = [](float x) { return static_cast<uint32_t>(std::clamp(x, 0.0f, 1.0f) * 255.0f + 0.5f); };
    for (const xfile::VertexColor& c : *mesh.vertexColors)
        colors[c.index] = channel(c.color.a) << 24 | channel(c.color.r) << 16 | channel(c.color.g) << 8 | channel(c.color.b);
    return colors;
}

// Every vertex of a part, in the merged mesh's format, straight into the vertex buffer.
void writeVertices(std::span<std::byte> buffer, uint32_t stride, const Plan& plan, const MeshPart& part) {
    const xfile::Mesh& mesh = *part.mesh;
    const SplitVertices& split = part.split;
    const std::vector<D3DCOLOR> colors = vertexColors(mesh);
    std::byte* out = buffer.data() + size_t{part.vertexBase} * stride;
    for (size_t i = 0; i < split.vertexCount(); ++i, out += stride) {
        const bool copy = i >= split.firstNormal.size();
        const uint32_t v = copy ? split.copySource[i - split.firstNormal.size()] : static_cast<uint32_t>(i);
        const uint32_t normal = copy ? split.copyNormal[i - split.firstNormal.size()] : split.firstNormal[i];
        const D3DVECTOR p = placed(part, mesh.positions[v]);
        std::byte* at = out;
        auto put = [&](const void* value, size_t size) {
            std::memcpy(at, value, size);
            at += size;
        };
        put(&p, 12);
        if (plan.hasNormals) {
            D3DVECTOR n = normal == kNone ? D3DVECTOR{0, 0, 0} : unitNormal(mesh, normal);
            if (part.transformed) n = D3DXVec3Normalize(D3DXVec3TransformNormal(n, part.normalMatrix));
            put(&n, 12);
        }
        if (plan.hasColors) {
            const D3DCOLOR color = colors.empty() ? 0u : colors[v];
            put(&color, 4);
        }
        if (plan.hasTexCoords) {
            const xfile::Vec2 uv = mesh.texCoords ? (*mesh.texCoords)[v] : xfile::Vec2{0, 0};
            put(&uv, 8);
        }
    }
}

// Calls f(attribute, a, b, c) for every triangle of the file in order: polygons become fans
// from their first corner, every triangle keeping its polygon's material.
template <class F>
void forEachTriangle(const Plan& plan, F f) {
    for (const MeshPart& part : plan.parts) {
        const xfile::Mesh& mesh = *part.mesh;
        const std::vector<uint32_t>& corners = part.split.cornerVertex.empty() ? mesh.faces.indices : part.split.cornerVertex;
        size_t corner = 0;
        for (size_t face = 0; face < mesh.faces.sizes.size(); ++face) {
            const uint32_t size = mesh.faces.sizes[face];
            const uint32_t attribute = part.attributeBase + (mesh.materialList ? mesh.materialList->faceMaterials[face] : 0);
            for (uint32_t k = 1; k + 1 < size; ++k)
                f(attribute, part.vertexBase + corners[corner], part.vertexBase + corners[corner + k],
                  part.vertexBase + corners[corner + k + 1]);
            corner += size;
        }
    }
}

// The faces in attribute order (stable: file order within an attribute), written in place by
// a counting sort, and the attribute table with the vertex span of each range.
template <class Index>
std::vector<D3DXATTRIBUTERANGE> writeFaces(D3DXMesh& mesh, const Plan& plan) {
    std::vector<D3DXATTRIBUTERANGE> ranges(plan.attributeCount, D3DXATTRIBUTERANGE{0, 0, 0, 0xFFFFFFFFu, 0});
    forEachTriangle(plan, [&](uint32_t attribute, uint32_t, uint32_t, uint32_t) { ++ranges[attribute].FaceCount; });
    uint32_t start = 0;
    for (uint32_t id = 0; id < plan.attributeCount; ++id) {
        ranges[id].AttribId = id;
        ranges[id].FaceStart = start;
        start += ranges[id].FaceCount;
    }
    std::vector<uint32_t> next(plan.attributeCount);
    for (uint32_t id = 0; id < plan.attributeCount; ++id) next[id] = ranges[id].FaceStart;
    auto* indices = reinterpret_cast<Index*>(mesh.GetIndexBuffer()->mutableBytes().data());
    std::span<uint32_t> attributes = mesh.mutableAttributes();
    forEachTriangle(plan, [&](uint32_t attribute, uint32_t a, uint32_t b, uint32_t c) {
        const uint32_t face = next[attribute]++;
        attributes[face] = attribute;
        indices[3 * size_t{face}] = static_cast<Index>(a);
        indices[3 * size_t{face} + 1] = static_cast<Index>(b);
        indices[3 * size_t{face} + 2] = static_cast<Index>(c);
        D3DXATTRIBUTERANGE& range = ranges[attribute];
        range.VertexStart = std::min({range.VertexStart, a, b, c});
        range.VertexCount = std::max({range.VertexCount, a, b, c});  // the highest, for now
    });
    std::erase_if(ranges, [](const D3DXATTRIBUTERANGE& r) { return r.FaceCount == 0; });
    for (D3DXATTRIBUTERANGE& r : ranges) r.VertexCount = r.VertexCount - r.VertexStart + 1;
    return ranges;
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

std::shared_ptr<D3DXMesh> makeMesh(const Plan& plan, const xfile::Document& document, uint32_t options,
                                   std::shared_ptr<Direct3DDevice8> device) {
    if (plan.faceCount == 0)
        rt::raiseStatus(D3DXERR_LOADEDMESHASNODATA, "LoadMeshFromX", document.fileName + ": the file holds no face to load");
    if (!(options & D3DXMESH_32BIT) && plan.vertexCount > 65535)
        rt::raiseStatus(D3DERR_INVALIDCALL, "LoadMeshFromX",
                        document.fileName + ": the mesh needs " + std::to_string(plan.vertexCount) +
                            " vertices; 16-bit indices reach at most 65,535 (load with D3DXMESH_32BIT)");
    if (plan.vertexCount > 0xFFFFFFFEu || plan.faceCount > 0x55555555u)
        rt::raiseStatus(E_OUTOFMEMORY, "LoadMeshFromX", document.fileName + ": mesh too large");
    auto mesh = std::make_shared<D3DXMesh>(static_cast<uint32_t>(plan.faceCount), static_cast<uint32_t>(plan.vertexCount),
                                           options, vertexFormat(plan), std::move(device));
    std::span<std::byte> vertices = mesh->GetVertexBuffer()->mutableBytes();
    for (const MeshPart& part : plan.parts) writeVertices(vertices, mesh->vertexSize(), plan, part);
    // Attribute ids rise from mesh to mesh, so sorting the whole mesh is sorting each mesh,
    // and the table has one range per material that has faces.
    mesh->setAttributeTable(mesh->GetIndexBuffer()->indexSize() == 4 ? writeFaces<uint32_t>(*mesh, plan)
                                                                     : writeFaces<uint16_t>(*mesh, plan));
    return mesh;
}

}  // namespace

void checkVertexTotal(const xfile::Document& document, const xfile::Mesh& mesh, size_t before, size_t added) {
    constexpr size_t kMostVertices = 0xFFFFFFFEu;
    if (added > kMostVertices || before > kMostVertices - added)
        xfile::raiseFormatError(document.fileName, document.header, mesh.pos,
                                "the meshes need " + std::to_string(before + added) +
                                    " vertices, more than 32-bit indices can number");
}

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

MeshFromX buildMeshFromX(const xfile::Document& document, uint32_t options, std::shared_ptr<Direct3DDevice8> device,
                         IndexSize indexSize) {
    MeshFromX result;
    const bool anyMaterials = std::any_of(document.meshes.begin(), document.meshes.end(),
                                          [](const xfile::Mesh& m) { return m.materialList.has_value(); });
    const Plan plan = planMesh(document, anyMaterials);
    if (indexSize == IndexSize::AsNeeded && plan.vertexCount > 65535) options |= D3DXMESH_32BIT;
    if (anyMaterials)
        for (const xfile::Mesh& mesh : document.meshes) appendMaterials(result, mesh);
    else
        appendMaterials(result, xfile::Mesh{});
    result.mesh = makeMesh(plan, document, options, std::move(device));
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
