#include "SmoothNormals.h"

#include "Halves.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
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
// Faces within half the limit of their sum's direction are within the limit of each other. And
// they are within half the limit when their count less their sum's length is at most this:
// that difference is the sum, over the faces, of 1 - the cosine of each one's angle to the
// sum's direction, every term of which is positive.
const float kAgreementSlack = 1 - std::cos(kSmoothingAngleDegrees * std::numbers::pi_v<float> / 360);

// 1 / the length of (x, y, z); 0 for a zero, overflowing or NaN vector.
float inverseLength(float x, float y, float z) {
    const float length = std::sqrt(x * x + y * y + z * z);
    return length > 0 && length <= std::numeric_limits<float>::max() ? 1 / length : 0;
}

[[gnu::always_inline]] inline Float3 crossOfFace(const CornerMesh& mesh, size_t f) {
    const Float3 p0 = mesh.positions[mesh.corners[3 * f]], p1 = mesh.positions[mesh.corners[3 * f + 1]],
                 p2 = mesh.positions[mesh.corners[3 * f + 2]];
    return cross(p1 - p0, p2 - p0);
}

// Face normals are computed where needed rather than kept: an array of them would cost more
// than computing them twice, memory being slow to come by the first time. One alone:
Float3 faceNormal(const CornerMesh& mesh, size_t f) {
    const Float3 n = crossOfFace(mesh, f);
    const float k = inverseLength(n.x, n.y, n.z);
    return {n.x * k, n.y * k, n.z * k};
}

// ... and a block at a time, the same numbers: gathered face by face, then normalized over the
// block, which leaves the processor independent work to overlap (half the time here).
template <class Visit>
void forEachFaceNormal(const CornerMesh& mesh, size_t begin, size_t end, const Visit& visit) {
    constexpr size_t kBlock = 64;
    float x[kBlock], y[kBlock], z[kBlock];
    for (size_t first = begin; first < end; first += kBlock) {
        const size_t count = std::min(kBlock, end - first);
        for (size_t i = 0; i < count; ++i) {
            const Float3 n = crossOfFace(mesh, first + i);
            x[i] = n.x, y[i] = n.y, z[i] = n.z;
        }
        for (size_t i = 0; i < count; ++i) {
            const float k = inverseLength(x[i], y[i], z[i]);
            x[i] *= k, y[i] *= k, z[i] *= k;
        }
        for (size_t i = 0; i < count; ++i) visit(first + i, Float3{x[i], y[i], z[i]});
    }
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

// The vertices of a mesh some of whose positions (kSplit in vertexOf) may need several: each
// corner of those gets the sum of the faces at its position that meet its own within the limit.
void appendSplit(modelimport::ImportedMesh& out, const CornerMesh& mesh, const std::vector<Float3>& normalOf,
                 std::vector<uint32_t>& vertexOf, bool texCoords) {
    const CornersAt split = cornersAtSplitPositions(mesh, vertexOf);
    std::vector<uint32_t> splitNumber(split.corners.size());
    std::vector<Kept> kept;         // the vertices of one split position
    std::vector<Float3> faceNormals;  // the normals of its faces
    for (size_t p = 0; p < mesh.positions.size(); ++p) {
        if (vertexOf[p] != kSplit) {
            vertexOf[p] = static_cast<uint32_t>(out.positions.size());
            appendVertex(out, mesh.positions[p], normalOf[p], {0, 0}, texCoords);
            continue;
        }
        const std::span<const uint32_t> corners = split.of(p);
        faceNormals.clear();
        for (uint32_t c : corners) faceNormals.push_back(faceNormal(mesh, c / 3));
        kept.clear();
        for (size_t e = split.start[p], i = 0; e < split.start[p + 1]; ++e, ++i) {
            const uint32_t c = split.corners[e];
            const Float3 own = faceNormals[i];
            Float3 normal = normalOf[p];
            if (!isZero(own)) {
                Float3 sum{0, 0, 0};
                for (const Float3& n : faceNormals)
                    if (dot(own, n) >= kCosLimit) sum += n;
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
    inHalves(mesh.corners.size(), [&](size_t begin, size_t end) {
        for (size_t c = begin; c < end; ++c) {
            const uint32_t p = mesh.corners[c];
            mesh.corners[c] = vertexOf[p] != kSplit ? vertexOf[p] : splitNumber[split.entry(p, static_cast<uint32_t>(c))];
        }
    });
}

}  // namespace

// Most positions are on a smooth surface, all their faces within the limit of each other: one
// vertex, whose normal is the sum of them all, found in one pass over the faces. Only the
// others, and all of a mesh with texture coordinates, are split corner by corner. Summed in the
// corners' order either way, so that the corners of a split position that take every face get
// exactly the normal an unsplit one would.
void appendSmoothed(modelimport::ImportedMesh& out, CornerMesh mesh, bool texCoords) {
    std::vector<Float3> normalOf(mesh.positions.size(), Float3{0, 0, 0});
    std::vector<uint32_t> vertexOf(mesh.positions.size(), 0);  // for now: the faces with a normal there
    forEachFaceNormal(mesh, 0, mesh.corners.size() / 3, [&](size_t f, Float3 n) {  // one thread: faces share positions
        for (size_t k = 0; k < 3 && !isZero(n); ++k) {
            const uint32_t p = mesh.corners[3 * f + k];
            normalOf[p] += n;
            ++vertexOf[p];
        }
    });
    const bool textured = !mesh.cornerTexCoords.empty();
    std::atomic<bool> anySplit = textured;
    inHalves(normalOf.size(), [&](size_t begin, size_t end) {
        for (size_t p = begin; p < end; ++p) {
            const Float3 sum = normalOf[p];
            const bool agree = static_cast<float>(vertexOf[p]) - std::sqrt(dot(sum, sum)) <= kAgreementSlack;
            normalOf[p] = unit(sum);
            vertexOf[p] = textured || !agree ? kSplit : 0;
            if (!agree) anySplit.store(true, std::memory_order_relaxed);
        }
    });
    const uint32_t first = static_cast<uint32_t>(out.positions.size());
    if (anySplit) {
        appendSplit(out, mesh, normalOf, vertexOf, texCoords);
    } else if (first == 0) {  // a position a vertex, numbered as the corners have them already
        out.positions = std::move(mesh.positions);
        out.normals = std::move(normalOf);
    } else {
        out.positions.insert(out.positions.end(), mesh.positions.begin(), mesh.positions.end());
        out.normals.insert(out.normals.end(), normalOf.begin(), normalOf.end());
        inHalves(mesh.corners.size(), [&](size_t begin, size_t end) {
            for (size_t c = begin; c < end; ++c) mesh.corners[c] += first;
        });
    }
    if (texCoords) out.texCoords.resize(out.positions.size(), Float2{0, 0});
}

}  // namespace importchild
