#pragma once
// A model file read once, for every load that needs it: a scene setup loads its model twice
// (as a progressive mesh for its attribute table, and plainly with its materials) from one
// reading of the file, which it makes and hands to both loads.
//
// `content` is what the file held, in the form its reader gives; one alternative per reader.
// A reader of another format adds its result type to Content, the choice of reader by the
// file's bytes to readModelFile, and an overload of buildMesh for its result (the rest of
// D3DX and the program see only ModelFile and the mesh made of it).

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "d3dx8/MeshLoader.h"
#include "xfile/XFile.h"

class Direct3DDevice8;

namespace d3dx8 {

struct ModelFile {
    using Content = std::variant<xfile::Document>;

    std::string fileName;  // names the file in error messages
    Content content;
};

// Reads and parses the file at `path`. Raises runtime error 53 when it does not exist and
// D3DXERR_INVALIDDATA, naming the line or byte and the reason, when it is not a model.
ModelFile readModelFile(const std::string& path);

// The mesh of a model file, as LoadMeshFromX makes it (see buildMeshFromX for .x documents).
MeshFromX buildMesh(const ModelFile& model, uint32_t options, std::shared_ptr<Direct3DDevice8> device,
                    IndexSize indexSize = IndexSize::AsOptionsSay);

}  // namespace d3dx8
