// The mesh as the build reads it: its buffers' bytes held (not copied) before the first yield,
// so a handler that replaces the scene's mesh during the build cannot pull them away, and a
// write to them would copy them first.

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
    // Vertex bytes are numbered in 32 bits.
    if (vertexCount > std::numeric_limits<uint32_t>::max() / kMeshVertexStride)
        rt::raiseRuntime(rt::errc::Overflow, "buildEdges: " + std::to_string(vertexCount) +
                                                 " vertices are more than 2^32 bytes");
}

void checkIndices(const MeshView& mesh) {
    const uint32_t vertexCount = mesh.vertexCount();
    for (size_t i = 0; i < size_t{mesh.faceCount()} * 3; ++i) {
        if (mesh.vertex(i) < vertexCount) continue;
        rt::raiseRuntime(rt::errc::SubscriptOutOfRange,
                         "buildEdges: corner " + std::to_string(i % 3) + " of face " + std::to_string(i / 3) +
                             " names vertex " + std::to_string(mesh.vertex(i)) + ", but the mesh has " +
                             std::to_string(vertexCount) + " vertices");
    }
}

}  // namespace

MeshView::MeshView(const D3DXMesh& mesh)
    : vertices_(mesh.GetVertexBuffer()->contents()), indices_(mesh.GetIndexBuffer()->contents()),
      vertexBytes_(vertices_.view().data()), indexBytes_(indices_.view().data()), stride_(kMeshVertexStride),
      wide_(mesh.GetIndexBuffer()->indexSize() == 4), faceCount_(mesh.GetNumFaces()),
      vertexCount_(mesh.GetNumVertices()) {
    checkLayout(mesh);
    checkCounts(faceCount_, vertexCount_);
    if (vertices_.size() < size_t{vertexCount_} * stride_ || indices_.size() < size_t{faceCount_} * 3 * (wide_ ? 4 : 2))
        rt::raiseRuntime(rt::errc::InvalidCall, "buildEdges: the mesh's buffers are smaller than its counts");
    checkIndices(*this);
}

}  // namespace Module1::detail
