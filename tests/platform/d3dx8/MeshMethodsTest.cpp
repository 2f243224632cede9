// Mesh methods the scene setup relies on: clone, adjacency, attribute sorting, the
// progressive mesh and the bounding sphere.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "../xfile/XFileFixtures.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/PMesh.h"
#include "runtime/Status.h"

namespace {

// A mesh of XYZ | NORMAL | TEX1 vertices at the given positions; normal (0,0,1), uv (i, 2i).
std::shared_ptr<D3DXMesh> makeMesh(const std::vector<D3DVECTOR>& positions, const std::vector<uint32_t>& triangles,
                                   const std::vector<uint32_t>& attributes) {
    auto mesh = std::make_shared<D3DXMesh>(static_cast<uint32_t>(triangles.size() / 3),
                                           static_cast<uint32_t>(positions.size()), D3DXMESH_SYSTEMMEM,
                                           D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, nullptr);
    for (size_t v = 0; v < positions.size(); ++v) {
        float vertex[8] = {positions[v].x, positions[v].y, positions[v].z, 0, 0, 1, float(v), float(2 * v)};
        std::memcpy(mesh->GetVertexBuffer()->mutableBytes().data() + v * 32, vertex, 32);
    }
    mesh->setIndices(triangles);
    std::copy(attributes.begin(), attributes.end(), mesh->mutableAttributes().begin());
    return mesh;
}

std::vector<uint32_t> adjacencyOf(const D3DXMesh& mesh, float epsilon) {
    std::vector<uint32_t> adjacency(mesh.GetNumFaces() * 3);
    mesh.GenerateAdjacency(epsilon, adjacency.data());
    return adjacency;
}

constexpr uint32_t N = D3DX_NO_NEIGHBOUR;

}  // namespace

TEST(MeshClone, CopiesSharedElementsZeroFillsNewOnesAndKeepsAttributes) {
    auto mesh = makeMesh({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {0, 1, 2}, {4});
    mesh->sortFacesByAttribute();
    auto clone = mesh->CloneMeshFVF(D3DXMESH_MANAGED | D3DXMESH_32BIT, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, nullptr);
    ASSERT_EQ(clone->vertexSize(), 24u);
    std::array<float, 6> v;  // vertex 1: x y z diffuse u v
    std::memcpy(v.data(), clone->GetVertexBuffer()->bytes().data() + 24, 24);
    EXPECT_EQ(v, (std::array<float, 6>{4, 5, 6, 0, 1, 2}));
    EXPECT_EQ(clone->GetIndexBuffer()->indexSize(), 4u);
    EXPECT_EQ(clone->indices(), mesh->indices());
    EXPECT_EQ(clone->attributeTable().size(), 1u);
    EXPECT_EQ(clone->attributes()[0], 4u);
}

// Vertices split for their normals sit at the same position: exact position matching joins
// their faces like shared indices do, and a tolerance joins near misses too. On an edge of
// three faces, the one wound opposite is the neighbour.
TEST(MeshAdjacency, FacesMeetAcrossEdgesWithTheSamePositions) {
    struct Case {
        const char* name;
        std::vector<D3DVECTOR> positions;
        std::vector<uint32_t> triangles;
        float epsilon;
        std::vector<uint32_t> expected;
    };
    const std::vector<D3DVECTOR> split = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    std::vector<D3DVECTOR> near = split;
    near[3].x = 0.001f;
    const Case cases[] = {
        {"shared indices", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0, 1, 2, 0, 2, 3}, 0, {N, N, 1, 0, N, N}},
        {"coincident vertices", split, {0, 1, 2, 3, 4, 5}, 0, {N, N, 1, 0, N, N}},
        {"near miss, exact", near, {0, 1, 2, 3, 4, 5}, 0, {N, N, N, N, N, N}},
        {"near miss, tolerance", near, {0, 1, 2, 3, 4, 5}, 0.01f, {N, N, 1, 0, N, N}},
        {"three faces on an edge", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}}, {0, 1, 2, 0, 1, 4, 1, 0, 3},
         0, {2, N, N, 2, N, N, 0, N, N}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto mesh = makeMesh(c.positions, c.triangles, std::vector<uint32_t>(c.triangles.size() / 3, 0));
        EXPECT_EQ(adjacencyOf(*mesh, c.epsilon), c.expected);
    }
}

// Small ids are counted, ids too large to count are sorted: the same order either way.
TEST(MeshAttributes, StableSortBuildsOneRangePerIdWithItsVertexSpan) {
    for (uint32_t high : {3u, 0xFFFFFFF0u}) {
        auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 2, 0}}, {0, 1, 2, 1, 3, 2, 2, 3, 4}, {high, 1, high});
        mesh->sortFacesByAttribute();
        EXPECT_EQ(mesh->indices(), (std::vector<uint32_t>{1, 3, 2, 0, 1, 2, 2, 3, 4}));
        ASSERT_EQ(mesh->attributeTable().size(), 2u);
        const D3DXATTRIBUTERANGE& r = mesh->attributeTable()[1];
        EXPECT_EQ(std::vector<uint32_t>({r.AttribId, r.FaceStart, r.FaceCount, r.VertexStart, r.VertexCount}),
                  (std::vector<uint32_t>{high, 1, 2, 0, 5}));
    }
}

TEST(ProgressiveMesh, StaysAtFullDetailAndNeedsAdjacency) {
    auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {0, 1, 2, 1, 3, 2, 0, 2, 1}, {2, 0, 2});
    std::vector<uint32_t> adjacency = adjacencyOf(*mesh, 0);
    D3DX8 d3dx;
    auto pmesh = d3dx.GeneratePMesh(*mesh, adjacency.data(), nullptr, nullptr, 1000, D3DXMESHSIMP_VERTEX);
    pmesh->SetNumVertices(1);  // clamped: no simplification below full detail
    EXPECT_EQ(pmesh->currentVertices(), 4u);
    EXPECT_EQ(fixtures::raised([&] { d3dx.GeneratePMesh(*mesh, nullptr, nullptr, nullptr, 1000, D3DXMESHSIMP_VERTEX); }).first,
              D3DERR_INVALIDCALL);
}

TEST(BoundingSphere, CentreIsTheMeanAndAnEmptyMeshIsAnInvalidCallNotADivisionByZero) {
    auto mesh = makeMesh({{0, 0, 0}, {2, 0, 0}, {0, 0, 0}, {0, 0, 6}}, {0, 1, 3}, {0});
    D3DVECTOR centre;
    float radius = 0;
    D3DX8().ComputeBoundingSphereFromMesh(*mesh, centre, radius);
    EXPECT_FLOAT_EQ(centre.x, 0.5f);
    EXPECT_FLOAT_EQ(centre.z, 1.5f);
    EXPECT_FLOAT_EQ(radius, std::sqrt(0.25f + 4.5f * 4.5f));  // the farthest vertex
    D3DXMesh empty(0, 0, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, nullptr);
    EXPECT_EQ(fixtures::raised([&] { D3DX8().ComputeBoundingSphereFromMesh(empty, centre, radius); }).first,
              D3DERR_INVALIDCALL);
}
