#include "SmoothNormals.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace importchild {

namespace {

using modelimport::Float2;
using modelimport::Float3;

Float3 operator-(Float3 a, Float3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Float3& operator+=(Float3& a, Float3 b) {
    a = {a.x + b.x, a.y + b.y, a.z + b.z};
    return a;
}
float dot(Float3 a, Float3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Float3 cross(Float3 a, Float3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
bool isZero(Float3 a) { return a.x == 0 && a.y == 0 && a.z == 0; }

// A zero (or overflowing) vector stays zero.
Float3 unit(Float3 a) {
    const float length = std::sqrt(dot(a, a));
    return std::isfinite(length) && length > 0 ? Float3{a.x / length, a.y / length, a.z / length} : Float3{0, 0, 0};
}

const float kCosLimit = std::cos(kSmoothingAngleDegrees * std::numbers::pi_v<float> / 180);
// Faces within half the limit of their sum's direction are within the limit of each other.
const float kCosHalfLimit = std::cos(kSmoothingAngleDegrees * std::numbers::pi_v<float> / 360);

std::vector<Float3> faceNormals(const CornerMesh& mesh) {
    std::vector<Float3> normals(mesh.corners.size() / 3);
    for (size_t f = 0; f < normals.size(); ++f) {
        const Float3 p0 = mesh.positions[mesh.corners[3 * f]], p1 = mesh.positions[mesh.corners[3 * f + 1]],
                     p2 = mesh.positions[mesh.corners[3 * f + 2]];
        normals[f] = unit(cross(p1 - p0, p2 - p0));
    }
    return normals;
}

constexpr uint32_t kSplit = UINT32_MAX;

// The corners at each position that may be split, in the corners' order: a counting sort, no
// table per position.
struct CornersAt {
    std::vector<uint32_t> start;  // corners of position p: corners[start[p]] .. corners[start[p + 1]]
    std::vector<uint32_t> corners;
    std::span<const uint32_t> of(size_t p) const { return {corners.data() + start[p], corners.data() + start[p + 1]}; }
    // Where corner c of position p is among corners.
    size_t entry(size_t p, uint32_t c) const {
        return static_cast<size_t>(std::lower_bound(corners.begin() + start[p], corners.begin() + start[p + 1], c) - corners.begin());
    }
};

CornersAt cornersAtSplitPositions(const CornerMesh& mesh, const std::vector<uint32_t>& vertexOf) {
    CornersAt at;
    at.start.assign(mesh.positions.size() + 1, 0);
    for (uint32_t p : mesh.corners)
        if (vertexOf[p] == kSplit) ++at.start[p + 1];
    for (size_t p = 1; p < at.start.size(); ++p) at.start[p] += at.start[p - 1];
    at.corners.resize(at.start.back());
    for (size_t c = 0; c < mesh.corners.size(); ++c)
        if (vertexOf[mesh.corners[c]] == kSplit) at.corners[at.start[mesh.corners[c]]++] = static_cast<uint32_t>(c);
    // Each start has moved on to the next position's: move them back.
    for (size_t p = at.start.size() - 1; p > 0; --p) at.start[p] = at.start[p - 1];
    at.start[0] = 0;
    return at;
}

struct Kept {
    Float3 normal;
    Float2 texCoord;
    uint32_t number;
};

bool sameBits(const Kept& kept, Float3 normal, Float2 texCoord) {
    return std::memcmp(&kept.normal, &normal, sizeof normal) == 0 && std::memcmp(&kept.texCoord, &texCoord, sizeof texCoord) == 0;
}

void appendVertex(modelimport::ImportedMesh& out, Float3 position, Float3 normal, Float2 texCoord, bool texCoords) {
    out.positions.push_back(position);
    out.normals.push_back(normal);
    if (texCoords) out.texCoords.push_back(texCoord);
}

}  // namespace

// Most positions are on a smooth surface, all their faces within the limit of each other: one
// vertex, whose normal is the sum of them all, found in a pass over the corners. Only the
// others, and all of a mesh with texture coordinates, are split corner by corner. Summed in the
// corners' order either way, so that the corners of a split position that take every face get
// exactly the normal an unsplit one would.
void appendSmoothed(modelimport::ImportedMesh& out, const CornerMesh& mesh, bool texCoords) {
    const std::vector<Float3> faceNormal = faceNormals(mesh);
    std::vector<Float3> normalOf(mesh.positions.size(), Float3{0, 0, 0});
    for (size_t c = 0; c < mesh.corners.size(); ++c) normalOf[mesh.corners[c]] += faceNormal[c / 3];
    for (Float3& n : normalOf) n = unit(n);
    std::vector<uint32_t> vertexOf(mesh.positions.size(), mesh.cornerTexCoords.empty() ? 0 : kSplit);
    for (size_t c = 0; c < mesh.corners.size() && mesh.cornerTexCoords.empty(); ++c) {
        const Float3 n = faceNormal[c / 3];
        if (!isZero(n) && dot(n, normalOf[mesh.corners[c]]) < kCosHalfLimit) vertexOf[mesh.corners[c]] = kSplit;
    }
    const CornersAt split = cornersAtSplitPositions(mesh, vertexOf);
    std::vector<uint32_t> splitNumber(split.corners.size());
    std::vector<Kept> kept;  // the vertices of one split position
    for (size_t p = 0; p < mesh.positions.size(); ++p) {
        if (vertexOf[p] != kSplit) {
            vertexOf[p] = static_cast<uint32_t>(out.positions.size());
            appendVertex(out, mesh.positions[p], normalOf[p], {0, 0}, texCoords);
            continue;
        }
        const std::span<const uint32_t> corners = split.of(p);
        kept.clear();
        for (size_t e = split.start[p]; e < split.start[p + 1]; ++e) {
            const uint32_t c = split.corners[e];
            const Float3 own = faceNormal[c / 3];
            Float3 normal = normalOf[p];
            if (!isZero(own)) {
                Float3 sum{0, 0, 0};
                for (uint32_t other : corners)
                    if (dot(own, faceNormal[other / 3]) >= kCosLimit) sum += faceNormal[other / 3];
                normal = unit(sum);
            }
            const Float2 texCoord = mesh.cornerTexCoords.empty() ? Float2{0, 0} : mesh.cornerTexCoords[c];
            size_t k = 0;
            while (k < kept.size() && !sameBits(kept[k], normal, texCoord)) ++k;
            if (k == kept.size()) {
                kept.push_back({normal, texCoord, static_cast<uint32_t>(out.positions.size())});
                appendVertex(out, mesh.positions[p], normal, texCoord, texCoords);
            }
            splitNumber[e] = kept[k].number;
        }
    }
    for (size_t c = 0; c < mesh.corners.size(); ++c) {
        const uint32_t p = mesh.corners[c];
        mesh.corners[c] = vertexOf[p] != kSplit ? vertexOf[p] : splitNumber[split.entry(p, static_cast<uint32_t>(c))];
    }
}

}  // namespace importchild
