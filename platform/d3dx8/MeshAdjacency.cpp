// Face adjacency: faces are neighbours across an edge when their corners on that edge are
// the same vertices, or vertices at (nearly) the same position.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <span>
#include <vector>

#include "d3dx8/Mesh.h"
#include "runtime/Status.h"

namespace {

// A strict weak order on floats that puts NaN last, so sorting never meets undefined order.
bool before(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return !std::isnan(a) && std::isnan(b);
    return a < b;
}

bool beforePosition(const D3DVECTOR& p, const D3DVECTOR& q) {
    if (before(p.x, q.x) || before(q.x, p.x)) return before(p.x, q.x);
    if (before(p.y, q.y) || before(q.y, p.y)) return before(p.y, q.y);
    return before(p.z, q.z);
}

bool samePosition(const D3DVECTOR& p, const D3DVECTOR& q) {
    return p.x == q.x && p.y == q.y && p.z == q.z;
}

bool withinEpsilon(const D3DVECTOR& p, const D3DVECTOR& q, float epsilon) {
    float dx = q.x - p.x, dy = q.y - p.y, dz = q.z - p.z;
    return dx * dx + dy * dy + dz * dz <= epsilon * epsilon;
}

uint32_t floatKey(float value) {
    if (value == 0) return 0;  // +0 and -0 are the same place
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

size_t positionHash(const D3DVECTOR& p) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (float part : {p.x, p.y, p.z}) h = (h ^ floatKey(part)) * 0x100000001B3ull;
    return static_cast<size_t>(h ^ (h >> 31));
}

// Each vertex mapped to the lowest-numbered vertex at exactly the same place, through an
// open-addressed table of first vertices; a position with a NaN is nowhere else.
std::vector<uint32_t> canonicalVerticesExact(const D3DXMesh& mesh) {
    const uint32_t n = mesh.GetNumVertices();
    std::vector<uint32_t> canonical(n);
    size_t capacity = 64;
    while (capacity < 2 * size_t{n}) capacity *= 2;
    std::vector<uint32_t> table(capacity, D3DX_NO_NEIGHBOUR);
    for (uint32_t v = 0; v < n; ++v) {
        const D3DVECTOR p = mesh.position(v);
        canonical[v] = v;
        if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z)) continue;
        size_t at = positionHash(p) & (capacity - 1);
        for (; table[at] != D3DX_NO_NEIGHBOUR; at = (at + 1) & (capacity - 1))
            if (samePosition(mesh.position(table[at]), p)) break;
        if (table[at] == D3DX_NO_NEIGHBOUR)
            table[at] = v;
        else
            canonical[v] = table[at];
    }
    return canonical;
}

// With a tolerance, a sweep along x in sorted order compares every pair closer than epsilon
// in x, and joined vertices take the lowest number of their group.
std::vector<uint32_t> canonicalVerticesWithin(const std::vector<D3DVECTOR>& positions, float epsilon) {
    const auto n = static_cast<uint32_t>(positions.size());
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return beforePosition(positions[a], positions[b]); });
    std::vector<uint32_t> parent(n);
    std::iota(parent.begin(), parent.end(), 0u);
    auto find = [&](uint32_t v) {
        while (parent[v] != v) v = parent[v] = parent[parent[v]];
        return v;
    };
    auto unite = [&](uint32_t a, uint32_t b) {
        a = find(a), b = find(b);
        if (a != b) parent[std::max(a, b)] = std::min(a, b);
    };
    for (uint32_t i = 0; i + 1 < n; ++i) {
        const D3DVECTOR& p = positions[order[i]];
        for (uint32_t j = i + 1; j < n && positions[order[j]].x - p.x <= epsilon; ++j)
            if (withinEpsilon(p, positions[order[j]], epsilon)) unite(order[i], order[j]);
    }
    std::vector<uint32_t> canonical(n);
    for (uint32_t v = 0; v < n; ++v) canonical[v] = find(v);
    return canonical;
}

// One edge of one face, filed under the lower of its two canonical vertices.
struct EdgeRecord {
    uint32_t high;  // the other canonical vertex
    uint32_t face;
    uint8_t corner;
    bool forward;  // runs low -> high in the face's winding
};

// The first two distinct faces seen (in ascending order, as the records are sorted).
struct FirstTwo {
    uint32_t first = D3DX_NO_NEIGHBOUR, second = D3DX_NO_NEIGHBOUR;
    void add(uint32_t face) {
        if (first == D3DX_NO_NEIGHBOUR) first = face;
        else if (second == D3DX_NO_NEIGHBOUR && face != first) second = face;
    }
    uint32_t otherThan(uint32_t face) const { return first != face ? first : second; }
};

// The edges grouped by their lower vertex (a counting sort, faces in ascending order within
// a group), then each group ordered by the higher vertex: edges of equal ends end up together.
std::vector<EdgeRecord> sortedEdges(const D3DXMesh& mesh, const std::vector<uint32_t>& canonical,
                                    std::vector<uint32_t>& groupStart) {
    const uint32_t faces = mesh.GetNumFaces();
    auto ends = [&](uint32_t f, uint32_t k) {
        return std::pair{canonical[mesh.index(3 * size_t{f} + k)], canonical[mesh.index(3 * size_t{f} + (k + 1) % 3)]};
    };
    groupStart.assign(canonical.size() + 1, 0);
    for (uint32_t f = 0; f < faces; ++f)
        for (uint32_t k = 0; k < 3; ++k)
            if (auto [a, b] = ends(f, k); a != b) ++groupStart[std::min(a, b) + 1];
    std::partial_sum(groupStart.begin(), groupStart.end(), groupStart.begin());
    std::vector<EdgeRecord> edges(groupStart.back());
    std::vector<uint32_t> next(groupStart.begin(), groupStart.end() - 1);
    for (uint32_t f = 0; f < faces; ++f)
        for (uint8_t k = 0; k < 3; ++k)
            if (auto [a, b] = ends(f, k); a != b) edges[next[std::min(a, b)]++] = {std::max(a, b), f, k, a < b};
    for (size_t g = 0; g + 1 < groupStart.size(); ++g)
        std::stable_sort(edges.begin() + groupStart[g], edges.begin() + groupStart[g + 1],
                         [](const EdgeRecord& x, const EdgeRecord& y) { return x.high < y.high; });
    return edges;
}

// Neighbours across the edges of one run of records with the same two ends.
void connect(std::span<const EdgeRecord> run, uint32_t* adjacency) {
    // The first two faces of the run in each direction and overall are all a choice needs.
    FirstTwo byDirection[2], overall;
    for (const EdgeRecord& e : run) {
        byDirection[e.forward].add(e.face);
        overall.add(e.face);
    }
    for (const EdgeRecord& e : run) {
        uint32_t chosen = byDirection[!e.forward].otherThan(e.face);
        if (chosen == D3DX_NO_NEIGHBOUR) chosen = overall.otherThan(e.face);
        adjacency[3 * size_t{e.face} + e.corner] = chosen;
    }
}

}  // namespace

// With more than two faces on an edge, a face takes the first other face (lowest number) that
// runs the edge the opposite way, so consistently wound surfaces pair up; failing that, the
// first other face.
void D3DXMesh::GenerateAdjacency(float epsilon, uint32_t* adjacency) const {
    if (adjacency == nullptr) rt::raiseStatus(D3DERR_INVALIDCALL, "GenerateAdjacency", "no adjacency output");
    if (!(epsilon >= 0)) rt::raiseStatus(D3DERR_INVALIDCALL, "GenerateAdjacency", "epsilon must not be negative");
    const std::vector<uint32_t> canonical =
        epsilon == 0 ? canonicalVerticesExact(*this) : canonicalVerticesWithin(positions(), epsilon);
    std::fill(adjacency, adjacency + size_t{numFaces_} * 3, D3DX_NO_NEIGHBOUR);
    std::vector<uint32_t> groupStart;
    const std::vector<EdgeRecord> edges = sortedEdges(*this, canonical, groupStart);
    for (size_t g = 0; g + 1 < groupStart.size(); ++g)
        for (size_t begin = groupStart[g], end; begin < groupStart[g + 1]; begin = end) {
            for (end = begin + 1; end < groupStart[g + 1] && edges[end].high == edges[begin].high;) ++end;
            connect(std::span(edges).subspan(begin, end - begin), adjacency);
        }
}

D3DXAdjacency D3DXMesh::GenerateAdjacency(float epsilon) const {
    if (!(epsilon >= 0)) rt::raiseStatus(D3DERR_INVALIDCALL, "GenerateAdjacency", "epsilon must not be negative");
    // A mesh of its own that shares this one's bytes: later writes to this mesh copy them first.
    return D3DXAdjacency(std::make_shared<const D3DXMesh>(*this, options_, fvf_, device_), epsilon);
}

std::span<const uint32_t> D3DXAdjacency::entries() const {
    if (!generated_) {
        entries_.resize(size_t{mesh_->GetNumFaces()} * 3);
        if (!entries_.empty()) mesh_->GenerateAdjacency(epsilon_, entries_.data());
        generated_ = true;
    }
    return entries_;
}
