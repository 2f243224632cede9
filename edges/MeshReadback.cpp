// Reading the mesh back: the vertex and index buffers are copied once, before the first
// yield, so a handler that replaces the scene's mesh during the build cannot pull them away.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "EdgeStages.h"
#include "d3d8/d3d8types.h"
#include "runtime/Error.h"
#include "runtime/Int32Arithmetic.h"
#include "runtime/Status.h"
#include "shaderbind/MeshVertex.h"

namespace Module1::detail {

namespace {

void checkLayout(const D3DXMesh& mesh) {
    uint32_t fvf = mesh.GetFVF();
    if (mesh.vertexSize() != kMeshVertexStride || (fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZ)
        rt::raiseRuntime(rt::errc::InvalidCall,
                         "buildEdges: vertex format " + std::to_string(fvf) + " has " +
                             std::to_string(mesh.vertexSize()) + "-byte vertices; " +
                             std::to_string(kMeshVertexStride) + "-byte vertices with the position first (format " +
                             std::to_string(kMeshVertexFVF) + ") expected");
}

void checkCounts(uint32_t faceCount, uint32_t vertexCount) {
    // Entry numbers of the output are 32-bit signed: six per face.
    rt::multiplyInt32(faceCount, 6,
                      "buildEdges: " + std::to_string(faceCount) + " faces need more than 2^31 - 1 line vertices");
    // The read-back takes a 32-bit byte count.
    if (vertexCount > std::numeric_limits<uint32_t>::max() / kMeshVertexStride)
        rt::raiseRuntime(rt::errc::Overflow, "buildEdges: " + std::to_string(vertexCount) +
                                                 " vertices are more than 2^32 bytes to read back");
}

void checkIndices(const Table<uint32_t>& indices, uint32_t vertexCount) {
    for (size_t i = 0; i < indices.size(); ++i) {
        if (indices[i] < vertexCount) continue;
        rt::raiseRuntime(rt::errc::SubscriptOutOfRange,
                         "buildEdges: corner " + std::to_string(i % 3) + " of face " + std::to_string(i / 3) +
                             " names vertex " + std::to_string(indices[i]) + ", but the mesh has " +
                             std::to_string(vertexCount) + " vertices");
    }
}

// The index buffer as 32-bit vertex numbers, whichever index size the mesh has: 16 bits for
// the program's own models, 32 for one of more than 65,535 vertices.
Table<uint32_t> readIndices(const D3DXMesh& mesh, uint32_t faceCount) {
    const size_t count = size_t{faceCount} * 3;
    Table<uint32_t> indices(count);
    if (mesh.GetOptions() & D3DXMESH_32BIT) {
        rt::check(D3DXMeshIndexBuffer8GetData(mesh, 0, static_cast<uint32_t>(count * 4), 0, indices.data()),
                  "D3DXMeshIndexBuffer8GetData");
        return indices;
    }
    Table<uint16_t> narrow(count);
    rt::check(D3DXMeshIndexBuffer8GetData(mesh, 0, static_cast<uint32_t>(count * 2), 0, narrow.data()),
              "D3DXMeshIndexBuffer8GetData");
    std::copy(narrow.begin(), narrow.end(), indices.begin());
    return indices;
}

}  // namespace

MeshGeometry readGeometry(const D3DXMesh& mesh) {
    checkLayout(mesh);
    const uint32_t faceCount = mesh.GetNumFaces();
    const uint32_t vertexCount = mesh.GetNumVertices();
    checkCounts(faceCount, vertexCount);

    MeshGeometry geometry;
    geometry.faceCount = faceCount;
    Table<MeshVertex> vertices(vertexCount);
    rt::check(D3DXMeshVertexBuffer8GetData(mesh, 0, vertexCount * kMeshVertexStride, 0, vertices.data()),
              "D3DXMeshVertexBuffer8GetData");
    geometry.corners = readIndices(mesh, faceCount);
    checkIndices(geometry.corners, vertexCount);

    geometry.positions.resize(vertexCount);
    for (uint32_t v = 0; v < vertexCount; ++v) geometry.positions[v] = vertices[v].position;
    geometry.distinctPositions = assignPositionIds(geometry.positions, geometry.positionIds);
    return geometry;
}

}  // namespace Module1::detail
