#pragma once
// Which reader a model file goes to, chosen by its content: a file named .x, or one that starts
// with a .x header whatever its name, is read by our .x reader with all its rules; any other is
// imported by Assimp in a child process (import/ImportProcess.h). Both arrive as the data
// objects of a .x file, so the mesh built from them is the same kind: materials, attribute
// ranges, vertex layout and all.

#include <string>

#include "import/Handover.h"
#include "xfile/XFile.h"

namespace d3dx8 {

// Whether `path` is read as .x. Opens the file, unless it is named .x: runtime error 53 when
// it does not exist, 75 when it is not a regular file or cannot be read, D3DXERR_INVALIDDATA
// when it is empty.
bool readAsX(const std::string& path);

// The imported mesh as the .x data objects that would hold it: one mesh at the top level with
// a normal per vertex, texture coordinates if it has them, and a material list unless no
// material came from the file (then the mesh gets the default material, as a .x file without
// one does).
// Its arrays move into the document.
xfile::Document documentFromImport(modelimport::ImportedMesh&& mesh, std::string fileName);

// The data objects of the model file at `path`, from whichever reader it goes to.
xfile::Document readModel(const std::string& path);

}  // namespace d3dx8
