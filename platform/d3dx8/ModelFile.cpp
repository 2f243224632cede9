#include "d3dx8/ModelFile.h"

#include <algorithm>
#include <filesystem>

#include "d3dx8/MeshLoader.h"
#include "import/ImportProcess.h"

namespace d3dx8 {

namespace {

bool namedX(const std::string& path) {
    const std::string extension = std::filesystem::path(path).extension().string();
    return extension == ".x" || extension == ".X";
}

xfile::Material materialFromImport(const modelimport::Material& m) {
    xfile::Material x;
    if (m.origin == modelimport::MaterialOrigin::None) {
        const D3DMATERIAL8 d = defaultMaterial();
        x.faceColor = {d.Diffuse.r, d.Diffuse.g, d.Diffuse.b, d.Diffuse.a};
        x.specular = {d.Specular.r, d.Specular.g, d.Specular.b};
        return x;
    }
    x.faceColor = {m.diffuse[0], m.diffuse[1], m.diffuse[2], m.diffuse[3]};
    x.power = m.power;
    x.specular = {m.specular[0], m.specular[1], m.specular[2]};
    x.emissive = {m.emissive[0], m.emissive[1], m.emissive[2]};
    return x;
}

}  // namespace

bool readAsX(const std::string& path) {
    return namedX(path) || modelimport::readFileStart(path, 4) == "xof ";
}

xfile::Document documentFromImport(modelimport::ImportedMesh&& imported, std::string fileName) {
    xfile::Document document;
    document.fileName = std::move(fileName);
    xfile::Mesh& mesh = document.meshes.emplace_back();
    mesh.positions = std::move(imported.positions);
    mesh.faces.sizes.assign(imported.faceCount(), 3);
    mesh.faces.indices = std::move(imported.indices);
    // A normal per vertex: each corner's normal has the number of its vertex.
    mesh.normals.emplace();
    mesh.normals->normals = std::move(imported.normals);
    mesh.normals->faces = mesh.faces;
    if (!imported.texCoords.empty()) mesh.texCoords = std::move(imported.texCoords);
    const bool anyFromFile = std::any_of(imported.materials.begin(), imported.materials.end(), [](const modelimport::Material& m) {
        return m.origin == modelimport::MaterialOrigin::File;
    });
    if (anyFromFile) {
        xfile::MaterialList& list = mesh.materialList.emplace();
        list.materialCount = static_cast<uint32_t>(imported.materials.size());
        list.faceMaterials = std::move(imported.faceMaterials);
        for (const modelimport::Material& m : imported.materials) list.materials.push_back(materialFromImport(m));
    }
    return document;
}

ModelFile readModelFile(const std::string& path) { return readModelFile(path, modelimport::childSettings()); }

ModelFile readModelFile(const std::string& path, const modelimport::ChildSettings& settings) {
    if (readAsX(path)) return ModelFile{xfile::load(path)};
    return ModelFile{documentFromImport(modelimport::importModel(path, settings), path)};
}

MeshFromX buildMesh(const ModelFile& model, uint32_t options, std::shared_ptr<Direct3DDevice8> device,
                    IndexSize indexSize) {
    return buildMeshFromX(model.document, options, std::move(device), indexSize);
}

}  // namespace d3dx8
