// The parent's reading of the handover on any bytes: it either raises D3DXERR_INVALIDDATA or
// D3DXERR_LOADEDMESHASNODATA (a failure the child reported), or returns a mesh that obeys
// every rule, and from which the program's mesh is built without an error of its own.
#include <cstddef>
#include <cstdint>
#include <span>

#include "d3dx8/MeshLoader.h"
#include "d3dx8/ModelFile.h"
#include "import/Handover.h"
#include "runtime/Error.h"
#include "runtime/Status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    modelimport::ImportedMesh mesh;
    try {
        mesh = modelimport::decodeHandover(std::as_bytes(std::span(data, size)), "fuzz.glb");
    } catch (const rt::Error& e) {
        if (e.number() != D3DXERR_INVALIDDATA && e.number() != D3DXERR_LOADEDMESHASNODATA) __builtin_trap();
        return 0;
    }
    const size_t vertices = mesh.positions.size();
    if (vertices == 0 || mesh.normals.size() != vertices || (!mesh.texCoords.empty() && mesh.texCoords.size() != vertices) ||
        mesh.indices.size() != 3 * mesh.faceCount() || mesh.faceCount() == 0 || mesh.materials.empty())
        __builtin_trap();
    for (uint32_t index : mesh.indices)
        if (index >= vertices) __builtin_trap();
    for (uint32_t material : mesh.faceMaterials)
        if (material >= mesh.materials.size()) __builtin_trap();
    try {
        const size_t faces = mesh.faceCount();
        const d3dx8::MeshFromX built = d3dx8::buildMeshFromX(d3dx8::documentFromImport(std::move(mesh), "fuzz.glb"),
                                                             D3DXMESH_SYSTEMMEM, nullptr, d3dx8::IndexSize::AsNeeded);
        if (built.mesh->GetNumFaces() != faces) __builtin_trap();
    } catch (const rt::Error&) {
        __builtin_trap();
    }
    return 0;
}
