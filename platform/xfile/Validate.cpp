// The checks that need a whole data object or the whole file: indices against the counts
// they index, the face lists that must match the mesh's, and material references. Nothing
// is built from a document until it has passed here.

#include <string>
#include <unordered_map>

#include "xfile/XFile.h"

namespace xfile {

namespace {

class Validator {
public:
    explicit Validator(Document& document) : document_(document) {
        for (size_t i = 0; i < document.namedMaterials.size(); ++i)
            firstDeclaration_.try_emplace(document.namedMaterials[i].name, i);
    }

    void run() {
        validateHierarchy();
        for (Mesh& mesh : document_.meshes) validateMesh(mesh);
    }

private:
    [[noreturn]] void fail(SourcePos pos, const std::string& reason) const {
        raiseFormatError(document_.fileName, document_.header, pos, reason);
    }
    std::string meshLabel(const Mesh& mesh) const {
        return mesh.name.empty() ? std::string("mesh") : "mesh '" + mesh.name + "'";
    }
    void validateHierarchy() const;
    void validateMesh(Mesh& mesh);
    void validateFaces(const Mesh& mesh) const;
    void validateNormals(const Mesh& mesh) const;
    void validateTexCoords(const Mesh& mesh) const;
    void validateVertexColors(const Mesh& mesh) const;
    void validateMaterials(Mesh& mesh) const;
    Material resolve(const MaterialSlot& slot) const;

    Document& document_;
    std::unordered_map<std::string_view, size_t> firstDeclaration_;  // material name -> index
};

// Parents come before their children, so walking up from any frame ends.
void Validator::validateHierarchy() const {
    for (size_t f = 0; f < document_.frames.size(); ++f)
        if (document_.frames[f].parent >= static_cast<int32_t>(f))
            fail(SourcePos{}, "frame " + std::to_string(f) + " has a parent that does not precede it");
    for (const Mesh& mesh : document_.meshes)
        if (mesh.frame >= static_cast<int32_t>(document_.frames.size()))
            fail(mesh.pos, meshLabel(mesh) + ": frame " + std::to_string(mesh.frame) + " does not exist");
}

void Validator::validateMesh(Mesh& mesh) {
    validateFaces(mesh);
    validateNormals(mesh);
    validateTexCoords(mesh);
    validateVertexColors(mesh);
    validateMaterials(mesh);
}

void Validator::validateFaces(const Mesh& mesh) const {
    const size_t vertexCount = mesh.positions.size();
    size_t at = 0;
    for (size_t face = 0; face < mesh.faces.sizes.size(); ++face) {
        uint32_t corners = mesh.faces.sizes[face];
        const SourcePos where = face < mesh.faces.where.size() ? mesh.faces.where[face] : mesh.pos;
        if (corners < 3)
            fail(where, meshLabel(mesh) + ": face " + std::to_string(face) + " has " + std::to_string(corners) +
                               " corners; a face needs at least 3");
        for (uint32_t k = 0; k < corners; ++k, ++at) {
            if (mesh.faces.indices[at] >= vertexCount)
                fail(where, meshLabel(mesh) + ": face " + std::to_string(face) + " uses vertex " +
                                   std::to_string(mesh.faces.indices[at]) + " of " + std::to_string(vertexCount));
        }
    }
}

void Validator::validateNormals(const Mesh& mesh) const {
    if (!mesh.normals) return;
    const MeshNormals& normals = *mesh.normals;
    if (normals.perVertex) {
        if (normals.normals.size() != mesh.positions.size())
            fail(normals.pos, meshLabel(mesh) + ": " + std::to_string(normals.normals.size()) + " normals for " +
                                  std::to_string(mesh.positions.size()) + " vertices");
        return;
    }
    if (normals.faces.sizes.size() != mesh.faces.sizes.size())
        fail(normals.pos, meshLabel(mesh) + ": MeshNormals has " + std::to_string(normals.faces.sizes.size()) +
                              " faces, the mesh " + std::to_string(mesh.faces.sizes.size()));
    for (size_t face = 0; face < mesh.faces.sizes.size(); ++face)
        if (normals.faces.sizes[face] != mesh.faces.sizes[face])
            fail(normals.pos, meshLabel(mesh) + ": normal face " + std::to_string(face) + " has " +
                                  std::to_string(normals.faces.sizes[face]) + " corners, the mesh face " +
                                  std::to_string(mesh.faces.sizes[face]));
    for (uint32_t index : normals.faces.indices)
        if (index >= normals.normals.size())
            fail(normals.pos, meshLabel(mesh) + ": normal index " + std::to_string(index) + " of " +
                                  std::to_string(normals.normals.size()) + " normals");
}

void Validator::validateTexCoords(const Mesh& mesh) const {
    if (mesh.texCoords && mesh.texCoords->size() != mesh.positions.size())
        fail(mesh.texCoordsPos, meshLabel(mesh) + ": " + std::to_string(mesh.texCoords->size()) +
                                    " texture coordinates for " + std::to_string(mesh.positions.size()) + " vertices");
}

void Validator::validateVertexColors(const Mesh& mesh) const {
    if (!mesh.vertexColors) return;
    for (const VertexColor& color : *mesh.vertexColors)
        if (color.index >= mesh.positions.size())
            fail(mesh.vertexColorsPos, meshLabel(mesh) + ": vertex colour for vertex " + std::to_string(color.index) +
                                           " of " + std::to_string(mesh.positions.size()));
}

// The first material of that name, which must come before the reference (see MaterialSlot).
Material Validator::resolve(const MaterialSlot& slot) const {
    if (slot.inlineMaterial) return *slot.inlineMaterial;
    const auto found = firstDeclaration_.find(slot.reference);
    if (found == firstDeclaration_.end()) fail(slot.pos, "reference to unknown material '" + slot.reference + "'");
    if (found->second >= slot.declaredBefore)
        fail(slot.pos, "reference to material '" + slot.reference + "' before its declaration");
    return document_.namedMaterials[found->second];
}

void Validator::validateMaterials(Mesh& mesh) const {
    if (!mesh.materialList) return;
    MaterialList& list = *mesh.materialList;
    const size_t faceCount = mesh.faces.sizes.size();
    // Exporters often write a shorter list (commonly a single index for a one-material mesh);
    // the last index then holds for the remaining faces. An empty list or a longer one is an error.
    if (list.faceMaterials.size() > faceCount || (list.faceMaterials.empty() && faceCount > 0))
        fail(list.pos, meshLabel(mesh) + ": MeshMaterialList gives materials for " +
                           std::to_string(list.faceMaterials.size()) + " faces, the mesh has " +
                           std::to_string(faceCount));
    if (list.entries.size() != list.materialCount)
        fail(list.pos, meshLabel(mesh) + ": MeshMaterialList declares " + std::to_string(list.materialCount) +
                           " materials and holds " + std::to_string(list.entries.size()));
    for (size_t face = 0; face < list.faceMaterials.size(); ++face)
        if (list.faceMaterials[face] >= list.materialCount)
            fail(list.pos, meshLabel(mesh) + ": face " + std::to_string(face) + " uses material " +
                               std::to_string(list.faceMaterials[face]) + " of " + std::to_string(list.materialCount));
    if (!list.faceMaterials.empty()) list.faceMaterials.resize(faceCount, list.faceMaterials.back());
    list.materials.clear();
    for (const MaterialSlot& slot : list.entries) list.materials.push_back(resolve(slot));
}

}  // namespace

void validate(Document& document) {
    Validator(document).run();
}

}  // namespace xfile
