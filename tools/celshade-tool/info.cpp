// celshade-tool info FILE...: what the program would load from each .x file.

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Command.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/MeshLoader.h"
#include "runtime/Error.h"
#include "xfile/Buffer.h"
#include "xfile/XFile.h"

namespace {

const char* encodingName(const xfile::Header& header) {
    if (header.encoding == xfile::Encoding::Text) return header.compressed ? "text, MSZIP-compressed" : "text";
    return header.compressed ? "binary, MSZIP-compressed" : "binary";
}

void printMaterials(const d3dx8::MeshFromX& loaded) {
    std::printf("  materials: %zu\n", loaded.materials.size());
    for (size_t i = 0; i < loaded.materials.size(); ++i) {
        const D3DCOLORVALUE& d = loaded.materials[i].Diffuse;
        std::printf("    %zu: diffuse %.3f %.3f %.3f %.3f%s%s\n", i, d.r, d.g, d.b, d.a,
                    loaded.textureFilenames[i].empty() ? "" : "  texture ",
                    loaded.textureFilenames[i].c_str());
    }
}

void printAttributeTable(const D3DXMesh& mesh) {
    uint32_t count = 0;
    mesh.GetAttributeTable(nullptr, &count);
    std::vector<D3DXATTRIBUTERANGE> table(count);
    mesh.GetAttributeTable(table.data(), &count);
    std::printf("  attribute table: %u ranges\n", count);
    for (const D3DXATTRIBUTERANGE& r : table)
        std::printf("    id %u: faces %u+%u, vertices %u+%u\n", r.AttribId, r.FaceStart, r.FaceCount, r.VertexStart,
                    r.VertexCount);
}

// The file's data objects; the file itself is let go once they are read.
xfile::Document readDocument(const std::string& path) {
    const xfile::MappedFile file(path);
    const xfile::Header header = xfile::readHeader(file.bytes(), path);
    std::printf("%s\n  encoding: %s, %u-bit floats, version %u.%u\n", path.c_str(), encodingName(header),
                header.floatBits, header.majorVersion, header.minorVersion);
    return xfile::parse(file.bytes(), path);
}

// 16-bit indices where they reach, as the program loads its models; 32-bit beyond.
void describe(const std::string& path) {
    const d3dx8::MeshFromX loaded =
        d3dx8::buildMeshFromX(readDocument(path), D3DXMESH_SYSTEMMEM, nullptr, d3dx8::IndexSize::AsNeeded);
    const D3DXMesh& mesh = *loaded.mesh;
    std::printf("  vertices: %u, faces: %u%s\n", mesh.GetNumVertices(), mesh.GetNumFaces(),
                mesh.GetNumVertices() > 65535 ? " (needs 32-bit indices)" : "");
    printMaterials(loaded);
    printAttributeTable(mesh);
    D3DVECTOR centre;
    float radius;
    D3DX8().ComputeBoundingSphereFromMesh(mesh, centre, radius);
    std::printf("  bounding sphere: centre %g %g %g, radius %g\n", centre.x, centre.y, centre.z, radius);
}

// A load touches tens of megabytes of fresh memory, and each 4 KB page of it costs a fault that
// on virtual machines dominates the load. So the heap grows once, by an arena the kernel backs
// with 2 MB pages where it allows, large arrays come from it rather than from a mapping each,
// and what the load frees (the inflated file, the parsed document) serves what it builds next.
void useOneLargePageArena() {
    constexpr size_t kBlock = size_t{30} << 20, kLargePage = size_t{2} << 20;
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // glibc's largest
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    const auto begin = reinterpret_cast<uintptr_t>(sbrk(0));
    void* volatile blocks[] = {std::malloc(kBlock), std::malloc(kBlock)};  // the heap grows by both
    const auto end = reinterpret_cast<uintptr_t>(sbrk(0));
    const uintptr_t first = (begin + kLargePage - 1) / kLargePage * kLargePage, last = end / kLargePage * kLargePage;
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    for (void* block : blocks) std::free(block);  // and keeps them, below the trim threshold
}

int run(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fprintf(stderr, "usage: celshade-tool info FILE...\n");
        return 2;
    }
    useOneLargePageArena();
    int status = 0;
    for (const std::string& path : args) {
        try {
            describe(path);
        } catch (const rt::Error& e) {
            std::fprintf(stderr, "%s: error %d: %s\n", path.c_str(), e.number(), e.text().c_str());
            status = 1;
        }
    }
    return status;
}

const Command kCommand{"info", "info FILE...   encoding, counts, materials, attribute table and bounding sphere of .x files",
                       &run};

}  // namespace
