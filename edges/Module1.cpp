#include "edges/Module1.h"

#include "EdgeStages.h"
#include "runtime/Events.h"

namespace Module1 {

// The dialog writes the value from its text box at load; this only covers builds run
// without the dialog (tools, tests).
float threshold = 0.5f;
int32_t edgeProgress = 0;

bool sameVector(const D3DVECTOR& a, const D3DVECTOR& b) {
    if (a.x != b.x) return false;
    if (a.y != b.y) return false;
    return a.z == b.z;
}

namespace {

using detail::MeshGeometry;
using detail::RangeEdgeIndex;

// The working tables of one build. Nothing here outlives the call or is shared with a
// build nested inside one of its yields.
struct EdgeBuild {
    MeshGeometry geometry;
    detail::Table<D3DVECTOR> normals;
    RangeEdgeIndex index;
    const float& threshold;

    EdgeBuild(MeshGeometry g, const float& t)
        : geometry(std::move(g)), normals(detail::faceNormals(geometry)), index(geometry.distinctPositions),
          threshold(t) {}

    // The normal of the first face of the range, ascending, that runs `to` -> `from` and
    // bends away from face f by less than the threshold allows; null when there is none.
    const D3DVECTOR* neighbourNormal(uint32_t f, size_t from, size_t to) const {
        for (uint64_t entry : index.facesWithEdge(geometry.cornerId(to), geometry.cornerId(from))) {
            const uint32_t g = RangeEdgeIndex::faceOf(entry);
            // The threshold is read at every comparison: a handler may change it in a yield.
            if (D3DXVec3Dot(normals[f], normals[g]) > threshold) return &normals[g];
        }
        return nullptr;
    }

    // The six line vertices of face f: edges P0->P1, P1->P2, P2->P0.
    void emitFace(uint32_t f, EdgeList& out) const {
        const D3DVECTOR flipped = D3DXVec3Scale(normals[f], -1.0f);
        for (size_t k = 0; k < 3; ++k) {
            const size_t from = 3 * size_t{f} + k;
            const size_t to = 3 * size_t{f} + (k + 1) % 3;
            const D3DVECTOR* neighbour = neighbourNormal(f, from, to);
            const D3DVECTOR& normalB = neighbour ? *neighbour : flipped;
            out.push_back({geometry.corner(from), normals[f], normalB});
            out.push_back({geometry.corner(to), normals[f], normalB});
        }
    }
};

}  // namespace

EdgeList buildEdges(const D3DXMesh& mesh, std::span<const D3DXATTRIBUTERANGE> ranges, const float& threshold,
                    const YieldFn& yield) {
    edgeProgress = 0;
    // Everything the build needs from the mesh and the table is checked and copied before the
    // first yield.
    const std::vector<D3DXATTRIBUTERANGE> table = detail::checkedRanges(ranges, mesh.GetNumFaces());
    EdgeBuild build(detail::readGeometry(mesh), threshold);

    // Reserved at the final size and filled in order: entries are written once, and those
    // after the last face processed are zeroed at the end.
    EdgeList out;
    out.reserve(size_t{build.geometry.faceCount} * 6);
    for (const D3DXATTRIBUTERANGE& range : table) {
        if (range.FaceCount == 0) continue;
        build.index.build(build.geometry, range.FaceStart, range.FaceCount);
        for (uint32_t f = range.FaceStart; f < range.FaceStart + range.FaceCount; ++f) {
            build.emitFace(f, out);
            if (yield) yield();
            ++edgeProgress;
        }
    }
    out.resize(size_t{build.geometry.faceCount} * 6);
    return out;
}

EdgeList buildEdges(const D3DXMesh& mesh, std::span<const D3DXATTRIBUTERANGE> ranges) {
    rt::PacedEventStep eventStep;
    return buildEdges(mesh, ranges, threshold, [&eventStep] { eventStep(); });
}

}  // namespace Module1
