#include "EdgeTestMeshes.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace edgetest {

std::shared_ptr<D3DXMesh> makeMesh(const std::vector<D3DVECTOR>& positions, const std::vector<uint16_t>& corners,
                                   uint32_t options, uint32_t fvf) {
    auto mesh = std::make_shared<D3DXMesh>(static_cast<uint32_t>(corners.size() / 3),
                                           static_cast<uint32_t>(positions.size()), options, fvf, nullptr);
    const uint32_t stride = mesh->vertexSize();
    std::vector<std::byte> vertices(positions.size() * stride);
    for (size_t v = 0; v < positions.size(); ++v) {
        // A normal and texture coordinates the builder must ignore.
        const float rest[5] = {9.0f, 9.0f, 9.0f, 0.25f, 0.75f};
        std::memcpy(&vertices[v * stride], &positions[v], sizeof(D3DVECTOR));
        std::memcpy(&vertices[v * stride + 12], rest, std::min<size_t>(sizeof rest, stride - 12));
    }
    mesh->GetVertexBuffer()->write(0, vertices);
    mesh->setIndices(std::vector<uint32_t>(corners.begin(), corners.end()));
    return mesh;
}

D3DXATTRIBUTERANGE range(uint32_t faceStart, uint32_t faceCount) { return {0, faceStart, faceCount, 0, 0}; }

std::vector<edgeVertex> scanEdges(const D3DXMesh& mesh, std::span<const D3DXATTRIBUTERANGE> ranges,
                                  const float& threshold, const std::function<void()>& yield, int32_t& progress) {
    progress = 0;
    // The position of every corner, 3 x F, read through the mesh's own accessors.
    const size_t faces = mesh.GetNumFaces(), vertices = mesh.GetNumVertices();
    std::vector<float> vertexCopy(vertices * 8);
    std::vector<uint32_t> indexCopy(faces * 3);
    D3DXMeshVertexBuffer8GetData(mesh, 0, static_cast<uint32_t>(vertices * 32), 0, vertexCopy.data());
    if (mesh.GetOptions() & D3DXMESH_32BIT) {
        D3DXMeshIndexBuffer8GetData(mesh, 0, static_cast<uint32_t>(faces * 12), 0, indexCopy.data());
    } else {
        std::vector<uint16_t> narrow(faces * 3);
        D3DXMeshIndexBuffer8GetData(mesh, 0, static_cast<uint32_t>(faces * 6), 0, narrow.data());
        indexCopy.assign(narrow.begin(), narrow.end());
    }
    std::vector<D3DVECTOR> at;
    for (uint32_t i : indexCopy) at.push_back({vertexCopy[i * 8], vertexCopy[i * 8 + 1], vertexCopy[i * 8 + 2]});
    std::vector<D3DVECTOR> normal(faces), flippedNormal(faces);
    for (size_t f = 0; f < faces; ++f) {
        normal[f] = D3DXVec3Normalize(D3DXVec3Cross(D3DXVec3Subtract(at[3 * f + 2], at[3 * f + 1]),
                                                    D3DXVec3Subtract(at[3 * f + 1], at[3 * f])));
        flippedNormal[f] = D3DXVec3Scale(normal[f], -1.0f);
    }
    std::vector<edgeVertex> out(faces * 6);
    size_t w = 0;
    for (const D3DXATTRIBUTERANGE& r : ranges) {
        const size_t s = r.FaceStart, e = size_t{r.FaceStart} + r.FaceCount;  // e is one past
        for (size_t f = s; f < e; ++f) {
            for (size_t k = 0; k < 3; ++k) {
                const D3DVECTOR a = at[3 * f + k], b = at[3 * f + (k + 1) % 3];
                out[w] = {a, normal[f], flippedNormal[f]};
                out[w + 1] = {b, normal[f], flippedNormal[f]};
                for (size_t g = s; g < e; ++g) {
                    const D3DVECTOR* gc = &at[3 * g];
                    // All six comparisons are made for every face examined, as the plain
                    // scan does; the benchmark times exactly that.
                    const bool candidate = (Module1::sameVector(a, gc[1]) & Module1::sameVector(b, gc[0])) |
                                           (Module1::sameVector(a, gc[2]) & Module1::sameVector(b, gc[1])) |
                                           (Module1::sameVector(a, gc[0]) & Module1::sameVector(b, gc[2]));
                    if (!candidate) continue;
                    const float d = D3DXVec3Dot(normal[f], normal[g]);
                    if (d > threshold) {
                        out[w].normalB = out[w + 1].normalB = normal[g];
                        break;
                    }
                }
                w += 2;
            }
            yield();
            ++progress;
        }
    }
    return out;
}

namespace {

float pick(std::mt19937& rng, std::initializer_list<float> pool) { return pool.begin()[rng() % pool.size()]; }

// Faces drawn from a small vertex pool, often reusing an edge of an earlier face either way
// round, sometimes repeating a whole face or repeating a vertex (no area).
std::vector<uint16_t> randomCorners(std::mt19937& rng, uint32_t faces, uint32_t vertices) {
    std::vector<uint16_t> c;
    auto vertex = [&] { return static_cast<uint16_t>(rng() % vertices); };
    for (uint32_t f = 0; f < faces; ++f) {
        const unsigned kind = rng() % 10;
        const size_t g = f == 0 ? 0 : 3 * (rng() % f), k = rng() % 3;
        if (f == 0 || kind < 3)
            c.insert(c.end(), {vertex(), vertex(), vertex()});
        else if (kind < 4)
            c.insert(c.end(), {c[g], c[g + 1], c[g + 2]});
        else if (kind < 8)
            c.insert(c.end(), {c[g + (k + 1) % 3], c[g + k], vertex()});
        else
            c.insert(c.end(), {c[g + k], c[g + (k + 1) % 3], vertex()});
    }
    return c;
}

std::vector<D3DXATTRIBUTERANGE> randomRanges(std::mt19937& rng, uint32_t faces) {
    const unsigned kind = rng() % 10;
    if (kind == 0) return {};  // an empty table
    const uint32_t half = faces / 2;
    if (kind == 1 && faces > 2)  // overlapping ranges that still hold at most F faces
        return {range(faces - half, half), range(rng() % (faces - half + 1), half)};
    // Consecutive ranges, in shuffled table order, some faces left out.
    std::vector<D3DXATTRIBUTERANGE> ranges;
    for (uint32_t start = 0, count = 0; start < faces; start += count) {
        count = 1 + rng() % (faces - start);
        if (rng() % 5 != 0) ranges.push_back(range(start, count));
    }
    std::shuffle(ranges.begin(), ranges.end(), rng);
    return ranges;
}

}  // namespace

RandomCase randomCase(std::mt19937& rng) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    auto coordinate = [&] {
        const unsigned kind = rng() % 100;
        return kind < 2 ? kNaN
               : kind < 10 ? std::uniform_real_distribution<float>(-4.0f, 4.0f)(rng)
                           : pick(rng, {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 2.0f, 3.0f});
    };
    auto threshold = [&] {
        return pick(rng, {0.5f, 0.0f, -0.0f, 1.0f, -1.0f, 0.70710677f, 0.8660254f, -0.5f, 2.0f, -2.0f, 0.99f, kNaN});
    };
    const uint32_t vertices = 1 + rng() % 12;
    std::vector<D3DVECTOR> positions;
    for (uint32_t v = 0; v < vertices; ++v) {
        if (v > 0 && rng() % 4 == 0)
            positions.push_back(positions[rng() % v]);  // a split vertex
        else
            positions.push_back({coordinate(), coordinate(), coordinate()});
    }
    const uint32_t faces = rng() % 40;
    RandomCase rc{makeMesh(positions, randomCorners(rng, faces, vertices)), randomRanges(rng, faces), threshold(), {}};
    for (unsigned i = 0, changes = rng() % 3; i < changes && faces > 0; ++i)
        rc.thresholdChanges.push_back({static_cast<int>(rng() % faces), threshold()});
    return rc;
}

std::shared_ptr<D3DXMesh> gridMesh(uint32_t quads, uint32_t rangeCount, std::vector<D3DXATTRIBUTERANGE>& ranges) {
    const uint32_t side = quads + 1;
    std::vector<D3DVECTOR> positions;
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x)
            positions.push_back({float(x), float(y), 0.3f * std::sin(0.7f * x) * std::cos(0.4f * y) + 0.05f * ((x * 7 + y * 3) % 5)});
    std::vector<uint16_t> corners;
    ranges.clear();
    for (uint32_t r = 0; r < rangeCount; ++r) {
        ranges.push_back(range(static_cast<uint32_t>(corners.size() / 3), 2 * quads * quads));
        for (uint32_t y = 0; y < quads; ++y) {
            for (uint32_t x = 0; x < quads; ++x) {
                const auto v = [&](uint32_t dx, uint32_t dy) { return static_cast<uint16_t>((y + dy) * side + x + dx); };
                if ((x + y + r) % 2 == 0)
                    corners.insert(corners.end(), {v(0, 0), v(0, 1), v(1, 1), v(0, 0), v(1, 1), v(1, 0)});
                else
                    corners.insert(corners.end(), {v(0, 0), v(0, 1), v(1, 0), v(1, 0), v(0, 1), v(1, 1)});
            }
        }
    }
    return makeMesh(positions, corners);
}

bool sameBytes(std::span<const edgeVertex> a, std::span<const edgeVertex> b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(edgeVertex)) == 0);
}

}  // namespace edgetest
