#pragma once
// A model file read once, for every load that needs it: a scene setup loads its model twice
// (as a progressive mesh for its attribute table, and plainly with its materials) from one
// reading of the file, which it makes and hands to both loads.
//
// The reader is chosen by the file's content: a file named .x, or one that starts with a .x
// header whatever its name, is read by our .x reader with all its rules; any other is imported
// by Assimp in a child process (import/ImportProcess.h). Both arrive as the data objects of a
// .x file, so the mesh built from them is the same kind: materials, attribute ranges, vertex
// layout and all.

#include <cstdint>
#include <memory>
#include <string>

#include "d3dx8/MeshLoader.h"
#include "import/Handover.h"
#include "import/ImportProcess.h"
#include "xfile/XFile.h"

class Direct3DDevice8;

namespace d3dx8 {

struct ModelFile {
    xfile::Document document;  // its fileName names the file in error messages
};

// Whether `path` is read as .x. Opens the file, unless it is named .x: runtime error 53 when
// it does not exist, 75 when it is not a regular file or cannot be read, D3DXERR_INVALIDDATA
// when it is empty.
bool readAsX(const std::string& path);

// The imported mesh as the .x data objects that would hold it: one mesh at the top level with
// a normal per vertex, texture coordinates if it has them, and a material list unless no
// material came from the file (then the mesh gets the default material, as a .x file without
// one does). Its arrays move into the document.
xfile::Document documentFromImport(modelimport::ImportedMesh&& mesh, std::string fileName);

// Reads the model file at `path` with whichever reader it goes to. Raises runtime error 53
// when it does not exist, and the reader's error, naming the file and the reason, when it
// cannot be read as a model.
ModelFile readModelFile(const std::string& path);
// The same with the importer's settings given (its time limit and wait step, for one).
ModelFile readModelFile(const std::string& path, const modelimport::ChildSettings& settings);

// The mesh of a model file, as LoadMeshFromX makes it (see buildMeshFromX).
MeshFromX buildMesh(const ModelFile& model, uint32_t options, std::shared_ptr<Direct3DDevice8> device,
                    IndexSize indexSize = IndexSize::AsOptionsSay);

}  // namespace d3dx8
