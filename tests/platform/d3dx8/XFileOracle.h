#pragma once
// What LoadMeshFromX makes of a file, as one line of text: counts and format, then a digest of
// each buffer it hands out (vertices, indices, attributes, attribute table, materials with
// their texture names, adjacency), or the error number and text. Two loads that give the same
// line gave the same bytes.

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "d3dx8/MeshLoader.h"
#include "runtime/Error.h"
#include "runtime/Status.h"

namespace oracle {

// 64-bit FNV-1a: enough to tell buffers apart, short enough to keep in a table.
inline uint64_t digest(const void* data, size_t size, uint64_t h = 0xCBF29CE484222325ull) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

template <class T>
uint64_t digestOf(std::span<const T> values) {
    return digest(values.data(), values.size_bytes());
}

inline std::string hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

inline std::string describeMesh(const d3dx8::MeshFromX& loaded) {
    const D3DXMesh& mesh = *loaded.mesh;
    uint64_t materials = digestOf(std::span<const D3DMATERIAL8>(loaded.materials));
    for (const std::string& name : loaded.textureFilenames) materials = digest(name.c_str(), name.size() + 1, materials);
    const auto adjacency = d3dx8::makeAdjacencyBuffer(mesh);
    return "v=" + std::to_string(mesh.GetNumVertices()) + " f=" + std::to_string(mesh.GetNumFaces()) +
           " fvf=" + std::to_string(mesh.GetFVF()) + " index=" + std::to_string(mesh.GetIndexBuffer()->indexSize()) +
           " vb=" + hex(digestOf(mesh.GetVertexBuffer()->bytes())) + " ib=" + hex(digestOf(mesh.GetIndexBuffer()->bytes())) +
           " attr=" + hex(digestOf(mesh.attributes())) + " table=" + hex(digestOf(mesh.attributeTable())) +
           " mat=" + hex(materials) + " adj=" +
           hex(digest(adjacency->GetBufferPointer(), adjacency->GetBufferSize()));
}

// 16-bit indices when they suffice, 32-bit otherwise.
inline std::string describeLoad(std::span<const std::byte> bytes, std::string_view name) {
    try {
        try {
            return describeMesh(d3dx8::loadMeshFromXInMemory(bytes, name, D3DXMESH_SYSTEMMEM, nullptr));
        } catch (const rt::Error& e) {
            if (e.number() != D3DERR_INVALIDCALL) throw;
            return describeMesh(d3dx8::loadMeshFromXInMemory(bytes, name, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, nullptr));
        }
    } catch (const rt::Error& e) {
        return "error " + std::to_string(e.number()) + " " + e.text();
    }
}

}  // namespace oracle
