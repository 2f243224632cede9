// Mesh methods the scene setup relies on: clone, adjacency, attribute sorting, the
// progressive mesh and the bounding sphere.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "d3dx8/D3DX8.h"
#include "d3dx8/PMesh.h"
#include "runtime/Error.h"
#include "runtime/Status.h"

namespace {

// A mesh of XYZ | NORMAL | TEX1 vertices at the given positions; normal (0,0,1), uv (i, 2i).
std::shared_ptr<D3DXMesh> makeMesh(const std::vector<D3DVECTOR>& positions, const std::vector<uint32_t>& triangles,
                                   const std::vector<uint32_t>& attributes, uint32_t options = D3DXMESH_SYSTEMMEM) {
    auto mesh = std::make_shared<D3DXMesh>(static_cast<uint32_t>(triangles.size() / 3),
                                           static_cast<uint32_t>(positions.size()), options,
                                           D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, nullptr);
    std::span<std::byte> bytes = mesh->GetVertexBuffer()->mutableBytes();
    for (size_t v = 0; v < positions.size(); ++v) {
        float vertex[8] = {positions[v].x, positions[v].y, positions[v].z, 0, 0, 1, float(v), float(2 * v)};
        std::memcpy(bytes.data() + v * 32, vertex, 32);
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

template <class F>
HRESULT statusOf(F f) {
    try {
        f();
    } catch (const rt::Error& e) {
        return e.number();
    }
    return S_OK;
}

constexpr uint32_t N = D3DX_NO_NEIGHBOUR;

}  // namespace

TEST(MeshClone, CopiesSharedElementsZeroFillsNewOnesAndKeepsAttributes) {
    auto mesh = makeMesh({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {0, 1, 2}, {4});
    mesh->sortFacesByAttribute();
    auto clone = mesh->CloneMeshFVF(D3DXMESH_MANAGED | D3DXMESH_32BIT, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, nullptr);
    ASSERT_EQ(clone->vertexSize(), 24u);
    float v[6];
    std::memcpy(v, clone->GetVertexBuffer()->bytes().data() + 24, 24);  // vertex 1
    EXPECT_EQ(v[0], 4);
    EXPECT_EQ(v[2], 6);
    uint32_t diffuse;
    std::memcpy(&diffuse, &v[3], 4);
    EXPECT_EQ(diffuse, 0u);
    EXPECT_EQ(v[4], 1);  // u of vertex 1
    EXPECT_EQ(v[5], 2);
    EXPECT_EQ(clone->GetIndexBuffer()->indexSize(), 4u);
    EXPECT_EQ(clone->GetVertexBuffer()->pool(), D3DPOOL_MANAGED);
    EXPECT_EQ(clone->indices(), mesh->indices());
    EXPECT_EQ(clone->attributes()[0], 4u);
    uint32_t count = 0;
    clone->GetAttributeTable(nullptr, &count);
    EXPECT_EQ(count, 1u);
}

TEST(MeshAdjacency, NeighboursAcrossSharedEdgesAndNoneOnBorders) {
    // A square as two triangles sharing the diagonal 0-2.
    auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0, 1, 2, 0, 2, 3}, {0, 0});
    EXPECT_EQ(adjacencyOf(*mesh, 0), (std::vector<uint32_t>{N, N, 1, 0, N, N}));
}

// Vertices split for their normals sit at the same position; exact position matching
// still joins their faces, and a tolerance joins near misses too.
TEST(MeshAdjacency, CoincidentVerticesJoinAndEpsilonJoinsNearOnes) {
    auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0, 1, 2, 3, 4, 5},
                         {0, 0});
    EXPECT_EQ(adjacencyOf(*mesh, 0), (std::vector<uint32_t>{N, N, 1, 0, N, N}));
    auto near = makeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0.001f, 0, 0}, {1, 1, 0}, {0, 1, 0}},
                         {0, 1, 2, 3, 4, 5}, {0, 0});
    EXPECT_EQ(adjacencyOf(*near, 0), (std::vector<uint32_t>(6, N)));
    EXPECT_EQ(adjacencyOf(*near, 0.01f), (std::vector<uint32_t>{N, N, 1, 0, N, N}));
}

TEST(MeshAdjacency, OnAnEdgeOfThreeFacesTheOppositelyWoundOneIsChosen) {
    // Faces 0 and 1 run the edge 0->1 the same way; face 2 runs it 1->0.
    auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}}, {0, 1, 2, 0, 1, 4, 1, 0, 3},
                         {0, 0, 0});
    std::vector<uint32_t> adjacency = adjacencyOf(*mesh, 0);
    EXPECT_EQ(adjacency[0], 2u);
    EXPECT_EQ(adjacency[3], 2u);
    EXPECT_EQ(adjacency[6], 0u);
}

TEST(MeshAttributes, StableSortBuildsOneRangePerIdWithItsVertexSpan) {
    auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 2, 0}},
                         {0, 1, 2, 1, 3, 2, 2, 3, 4}, {3, 1, 3});
    mesh->sortFacesByAttribute();
    EXPECT_EQ(mesh->indices(), (std::vector<uint32_t>{1, 3, 2, 0, 1, 2, 2, 3, 4}));
    ASSERT_EQ(mesh->attributeTable().size(), 2u);
    const D3DXATTRIBUTERANGE& three = mesh->attributeTable()[1];
    EXPECT_EQ(three.AttribId, 3u);
    EXPECT_EQ(three.FaceStart, 1u);
    EXPECT_EQ(three.FaceCount, 2u);
    EXPECT_EQ(three.VertexStart, 0u);
    EXPECT_EQ(three.VertexCount, 5u);
}

TEST(ProgressiveMesh, SortsByAttributeAndStaysAtFullDetail) {
    auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {0, 1, 2, 1, 3, 2, 0, 2, 1}, {2, 0, 2});
    std::vector<uint32_t> adjacency = adjacencyOf(*mesh, 0);
    D3DX8 d3dx;
    auto pmesh = d3dx.GeneratePMesh(*mesh, adjacency.data(), nullptr, nullptr, 1000, D3DXMESHSIMP_VERTEX);
    ASSERT_EQ(pmesh->attributeTable().size(), 2u);
    EXPECT_EQ(pmesh->attributeTable()[0].AttribId, 0u);
    EXPECT_EQ(pmesh->attributeTable()[1].FaceCount, 2u);
    EXPECT_EQ(pmesh->GetMaxVertices(), 4u);
    pmesh->SetNumVertices(4);
    EXPECT_EQ(pmesh->currentVertices(), 4u);
    pmesh->SetNumVertices(1);  // clamped: no simplification below full detail
    EXPECT_EQ(pmesh->currentVertices(), pmesh->GetMinVertices());
    EXPECT_EQ(statusOf([&] { d3dx.GeneratePMesh(*mesh, nullptr, nullptr, nullptr, 1000, D3DXMESHSIMP_VERTEX); }),
              D3DERR_INVALIDCALL);
}

TEST(BoundingSphere, CentreIsTheMeanAndRadiusTheFarthestVertex) {
    auto mesh = makeMesh({{0, 0, 0}, {2, 0, 0}, {0, 0, 0}, {0, 0, 6}}, {0, 1, 3}, {0});
    D3DVECTOR centre;
    float radius = 0;
    D3DX8().ComputeBoundingSphereFromMesh(*mesh, centre, radius);
    EXPECT_FLOAT_EQ(centre.x, 0.5f);
    EXPECT_FLOAT_EQ(centre.z, 1.5f);
    EXPECT_FLOAT_EQ(radius, std::sqrt(0.25f + 4.5f * 4.5f));
}

TEST(BoundingSphere, AnEmptyMeshIsAnInvalidCallNotADivisionByZero) {
    D3DXMesh empty(0, 0, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, nullptr);
    D3DVECTOR centre;
    float radius;
    EXPECT_EQ(statusOf([&] { D3DX8().ComputeBoundingSphereFromMesh(empty, centre, radius); }), D3DERR_INVALIDCALL);
}
