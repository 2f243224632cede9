// Any input must either load or raise rt::Error; anything else (a crash, a sanitizer report,
// another exception such as bad_alloc from an allocation sized by an unchecked count) is a bug.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "d3dx8/MeshLoader.h"
#include "runtime/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    try {
        d3dx8::MeshFromX loaded = d3dx8::loadMeshFromXInMemory(bytes, "fuzz.x", D3DXMESH_SYSTEMMEM, nullptr);
        std::vector<uint32_t> adjacency(size_t{loaded.mesh->GetNumFaces()} * 3);
        loaded.mesh->GenerateAdjacency(0.0f, adjacency.data());
        auto materials = d3dx8::makeMaterialBuffer(loaded);
        if (d3dx8::materialBufferCount(*materials) != loaded.materials.size()) __builtin_trap();
    } catch (const rt::Error&) {
    }
    return 0;
}
