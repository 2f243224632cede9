#include "d3dx8/ModelFile.h"

namespace d3dx8 {

ModelFile readModelFile(const std::string& path) {
    return ModelFile{path, xfile::load(path)};
}

MeshFromX buildMesh(const ModelFile& model, uint32_t options, std::shared_ptr<Direct3DDevice8> device,
                    IndexSize indexSize) {
    return std::visit([&](const auto& content) { return buildMeshFromX(content, options, std::move(device), indexSize); },
                      model.content);
}

}  // namespace d3dx8
