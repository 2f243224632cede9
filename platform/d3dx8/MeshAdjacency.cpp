// Face adjacency: faces are neighbours across an edge when their corners on that edge are
// the same vertices, or vertices at (nearly) the same position.

#include <algorithm>
#include <cmath>
#include <numeric>
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

// Each vertex mapped to the lowest-numbered vertex at the same place (within epsilon).
// Exact matching groups equal neighbours of a sorted order; with a tolerance a sweep along x
// compares every pair closer than epsilon in x.
std::vector<uint32_t> canonicalVertices(const std::vector<D3DVECTOR>& positions, float epsilon) {
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
        if (epsilon == 0) {
            if (samePosition(p, positions[order[i + 1]])) unite(order[i], order[i + 1]);
            continue;
        }
        for (uint32_t j = i + 1; j < n && positions[order[j]].x - p.x <= epsilon; ++j)
            if (withinEpsilon(p, positions[order[j]], epsilon)) unite(order[i], order[j]);
    }
    std::vector<uint32_t> canonical(n);
    for (uint32_t v = 0; v < n; ++v) canonical[v] = find(v);
    return canonical;
}

struct EdgeRecord {
    uint32_t low, high;  // canonical vertices of the edge, low < high
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

}  // namespace

// With more than two faces on an edge, a face takes the first other face (lowest number) that
// runs the edge the opposite way, so consistently wound surfaces pair up; failing that, the
// first other face.
void D3DXMesh::GenerateAdjacency(float epsilon, uint32_t* adjacency) const {
    if (adjacency == nullptr) rt::raiseStatus(D3DERR_INVALIDCALL, "GenerateAdjacency", "no adjacency output");
    if (!(epsilon >= 0)) rt::raiseStatus(D3DERR_INVALIDCALL, "GenerateAdjacency", "epsilon must not be negative");
    const std::vector<uint32_t> canonical = canonicalVertices(positions(), epsilon);
    const std::vector<uint32_t> corners = indices();
    std::vector<EdgeRecord> edges;
    edges.reserve(corners.size());
    std::fill(adjacency, adjacency + corners.size(), D3DX_NO_NEIGHBOUR);
    for (uint32_t f = 0; f < numFaces_; ++f)
        for (uint8_t k = 0; k < 3; ++k) {
            uint32_t a = canonical[corners[3 * size_t{f} + k]], b = canonical[corners[3 * size_t{f} + (k + 1) % 3]];
            if (a != b) edges.push_back({std::min(a, b), std::max(a, b), f, k, a < b});
        }
    std::sort(edges.begin(), edges.end(), [](const EdgeRecord& x, const EdgeRecord& y) {
        if (x.low != y.low) return x.low < y.low;
        if (x.high != y.high) return x.high < y.high;
        return x.face < y.face;
    });
    for (size_t begin = 0; begin < edges.size();) {
        size_t end = begin;
        while (end < edges.size() && edges[end].low == edges[begin].low && edges[end].high == edges[begin].high) ++end;
        // The first two faces of the group in each direction and overall are all a choice needs.
        FirstTwo byDirection[2], overall;
        for (size_t j = begin; j < end; ++j) {
            byDirection[edges[j].forward].add(edges[j].face);
            overall.add(edges[j].face);
        }
        for (size_t i = begin; i < end; ++i) {
            uint32_t face = edges[i].face;
            uint32_t chosen = byDirection[!edges[i].forward].otherThan(face);
            if (chosen == D3DX_NO_NEIGHBOUR) chosen = overall.otherThan(face);
            adjacency[3 * size_t{face} + edges[i].corner] = chosen;
        }
        begin = end;
    }
}
