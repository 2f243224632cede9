// Loading .x files into one D3DX mesh: merge offsets, transforms, vertex splitting, fans,
// materials and the buffers LoadMeshFromX hands out.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "../xfile/XFileFixtures.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/MeshLoader.h"
#include "runtime/Error.h"
#include "runtime/Status.h"

namespace {

d3dx8::MeshFromX load(const std::string& text, uint32_t options = D3DXMESH_SYSTEMMEM) {
    return d3dx8::loadMeshFromXInMemory(fixtures::bytesOf(text), "test.x", options, nullptr);
}

struct Vertex {
    D3DVECTOR position, normal;
};

// Position and normal of every vertex of a mesh whose format starts XYZ | NORMAL.
std::vector<Vertex> vertices(const D3DXMesh& mesh) {
    std::vector<Vertex> result(mesh.GetNumVertices());
    std::span<const std::byte> bytes = mesh.GetVertexBuffer()->bytes();
    for (size_t v = 0; v < result.size(); ++v) std::memcpy(&result[v], bytes.data() + v * mesh.vertexSize(), 24);
    return result;
}

// Two meshes: a triangle at top level and a quad inside a moved frame; each has its own
// materials, so ids and indices of the second must be offset by the first's.
const char* kTwoMeshes = R"(xof 0303txt 0032
Mesh First {
 3; 0;0;0;, 1;0;0;, 0;1;0;;
 1; 3;0,1,2;;
 MeshMaterialList { 1; 1; 0;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } }
}
Frame Moved {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,5,1;; }
 Mesh Second {
  4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
  1; 4;0,1,2,3;;
  MeshNormals { 1; 0;0;-1;; 1; 4;0,0,0,0;; }
  MeshMaterialList { 2; 1; 1;;
   Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; }
   Material { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { "blue.bmp"; } }
  }
 }
}
)";

}  // namespace

TEST(LoadMeshFromX, MergedMeshesOffsetIndicesByVerticesAndIdsByMaterials) {
    d3dx8::MeshFromX loaded = load(kTwoMeshes);
    const D3DXMesh& mesh = *loaded.mesh;
    ASSERT_EQ(mesh.GetNumVertices(), 7u);
    ASSERT_EQ(mesh.GetNumFaces(), 3u);  // triangle + quad as a fan of two
    EXPECT_EQ(mesh.indices(), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 3, 5, 6}));
    EXPECT_EQ(std::vector<uint32_t>(mesh.attributes().begin(), mesh.attributes().end()),
              (std::vector<uint32_t>{0, 2, 2}));
    ASSERT_EQ(loaded.materials.size(), 3u);
    EXPECT_EQ(loaded.materials[2].Diffuse.b, 1.0f);
    EXPECT_EQ(loaded.textureFilenames[2], "blue.bmp");
    ASSERT_EQ(mesh.attributeTable().size(), 2u);
    const D3DXATTRIBUTERANGE& second = mesh.attributeTable()[1];
    EXPECT_EQ(second.AttribId, 2u);
    EXPECT_EQ(second.FaceStart, 1u);
    EXPECT_EQ(second.FaceCount, 2u);
    EXPECT_EQ(second.VertexStart, 3u);
    EXPECT_EQ(second.VertexCount, 4u);
    // The frame moves positions but not normals (which are unit length, not translated).
    std::vector<Vertex> v = vertices(mesh);
    EXPECT_FLOAT_EQ(v[3].position.z, 5.0f);
    EXPECT_FLOAT_EQ(v[3].normal.z, -1.0f);
    EXPECT_EQ(mesh.GetFVF(), D3DFVF_XYZ | D3DFVF_NORMAL);
}

TEST(LoadMeshFromX, NormalsFollowTheInverseTransposeOfAScalingFrame) {
    // Squashing y by 1/2 turns the slanted face normal (1,1,0)/√2 into (1,2,0)/√5.
    const char* text = R"(xof 0303txt 0032
Frame F {
 FrameTransformMatrix { 1,0,0,0, 0,0.5,0,0, 0,0,1,0, 3,4,5,1;; }
 Mesh { 3; 1;0;0;, 0;1;0;, 0;0;1;; 1; 3;0,1,2;;
  MeshNormals { 1; 1;1;0;; 1; 3;0,0,0;; } }
})";
    d3dx8::MeshFromX loaded = load(text);
    std::vector<Vertex> v = vertices(*loaded.mesh);
    EXPECT_NEAR(v[0].normal.x, 1 / std::sqrt(5.0f), 1e-6);
    EXPECT_NEAR(v[0].normal.y, 2 / std::sqrt(5.0f), 1e-6);
    EXPECT_FLOAT_EQ(v[1].position.y, 4.5f);
}

// The corners of a cube meet three faces with three different normals: each corner is split
// into one vertex per distinct normal, and faces sharing a normal share the vertex.
TEST(LoadMeshFromX, VerticesSplitOncePerDistinctNormal) {
    const char* text = R"(xof 0303txt 0032
Mesh {
 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;0;1;;
 3; 3;0,1,2;, 3;0,2,1;, 3;0,1,3;;
 MeshNormals { 3; 0;0;-1;, 0;0;1;, 0;-2;0;; 3; 3;0,0,0;, 3;1,1,1;, 3;2,2,2;; }
 MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0.5;0.5;; }
})";
    d3dx8::MeshFromX loaded = load(text);
    const D3DXMesh& mesh = *loaded.mesh;
    // vertex 0 and 1 appear with three normals, 2 with two, 3 with one: 4 + 2 + 2 + 1 copies.
    EXPECT_EQ(mesh.GetNumVertices(), 9u);
    std::vector<uint32_t> idx = mesh.indices();
    EXPECT_EQ(std::vector<uint32_t>(idx.begin(), idx.begin() + 3), (std::vector<uint32_t>{0, 1, 2}));
    std::vector<Vertex> v = vertices(mesh);
    EXPECT_FLOAT_EQ(v[idx[6]].normal.y, -1.0f);  // normalised on load
    // Copies keep their source's position and texture coordinate.
    const uint32_t copyOfVertex2 = idx[4];
    EXPECT_GE(copyOfVertex2, 4u);
    EXPECT_FLOAT_EQ(v[copyOfVertex2].position.x, 1.0f);
    float uv[2];
    std::memcpy(uv, mesh.GetVertexBuffer()->bytes().data() + copyOfVertex2 * mesh.vertexSize() + 24, 8);
    EXPECT_FLOAT_EQ(uv[1], 1.0f);
}

TEST(LoadMeshFromX, PolygonsBecomeFansCarryingTheirMaterial) {
    const char* text = R"(xof 0303txt 0032
Mesh {
 6; 0;0;0;, 1;0;0;, 2;1;0;, 1;2;0;, 0;1;0;, 5;5;5;;
 2; 5;0,1,2,3,4;, 3;5,1,0;;
 MeshMaterialList { 2; 2; 1, 0;;
  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } }
})";
    d3dx8::MeshFromX loaded = load(text);
    const D3DXMesh& mesh = *loaded.mesh;
    ASSERT_EQ(mesh.GetNumFaces(), 4u);
    // Sorted by material: the triangle (material 0) first, then the pentagon's three.
    EXPECT_EQ(mesh.indices(), (std::vector<uint32_t>{5, 1, 0, 0, 1, 2, 0, 2, 3, 0, 3, 4}));
    EXPECT_EQ(std::vector<uint32_t>(mesh.attributes().begin(), mesh.attributes().end()),
              (std::vector<uint32_t>{0, 1, 1, 1}));
}

TEST(LoadMeshFromX, FilesWithoutMaterialsGetOneDefaultMaterial) {
    d3dx8::MeshFromX loaded = load("xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
                                   "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; }");
    ASSERT_EQ(loaded.materials.size(), 1u);
    EXPECT_FLOAT_EQ(loaded.materials[0].Diffuse.r, 0.5f);
    EXPECT_FLOAT_EQ(loaded.materials[0].Specular.g, 0.5f);
    EXPECT_EQ(loaded.mesh->attributeTable().size(), 1u);
}

TEST(LoadMeshFromX, VertexColoursArePackedAndUnlistedVerticesWhite) {
    const char* text = R"(xof 0303txt 0032
Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshVertexColors { 1; 1; 1.5;0.5;0;1;; } })";
    d3dx8::MeshFromX loaded = load(text);
    const D3DXMesh& mesh = *loaded.mesh;
    ASSERT_EQ(mesh.GetFVF(), D3DFVF_XYZ | D3DFVF_DIFFUSE);
    uint32_t colours[3];
    for (int v = 0; v < 3; ++v) std::memcpy(&colours[v], mesh.GetVertexBuffer()->bytes().data() + v * 16 + 12, 4);
    EXPECT_EQ(colours[0], 0x00FFFFFFu);
    EXPECT_EQ(colours[1], 0xFFFF8000u);  // red clamped to 1, green 0.5 rounds to 128
}

TEST(LoadMeshFromX, SixteenBitMeshesRefuseMoreThan65535Vertices) {
    std::string text = "xof 0303txt 0032\nMesh {\n65536;\n";
    for (int i = 0; i < 65536; ++i) text += "0;0;0;,";
    text += "\n1; 3;0,1,65535;;\n}\n";
    try {
        load(text);
        FAIL() << "loaded";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), D3DERR_INVALIDCALL);
        EXPECT_NE(e.text().find("65536 vertices"), std::string::npos) << e.text();
    }
    d3dx8::MeshFromX wide = load(text, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT);
    EXPECT_EQ(wide.mesh->GetIndexBuffer()->indexSize(), 4u);
    EXPECT_EQ(wide.mesh->indices()[2], 65535u);
}

TEST(LoadMeshFromX, FilesWithoutFacesHaveNoMeshData) {
    for (const char* text : {"xof 0303txt 0032\nHeader { 1; 0; 1; }", "xof 0303txt 0032\nMesh { 0; 0; }"}) {
        try {
            load(text);
            ADD_FAILURE() << text;
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), D3DXERR_LOADEDMESHASNODATA);
        }
    }
}

TEST(LoadMeshFromX, HandsOutAdjacencyAndMaterialBuffers) {
    std::string path = testing::TempDir() + "two_meshes.x";
    std::ofstream(path) << kTwoMeshes;
    D3DX8 d3dx;
    std::shared_ptr<D3DXBuffer> adjacency, materials;
    int32_t count = -1;
    auto mesh = d3dx.LoadMeshFromX(path, D3DXMESH_MANAGED, nullptr, &adjacency, &materials, &count);
    std::remove(path.c_str());
    ASSERT_EQ(count, 3);
    ASSERT_EQ(adjacency->GetBufferSize(), 3u * 3u * 4u);
    uint32_t adj[9];
    std::memcpy(adj, adjacency->GetBufferPointer(), sizeof adj);
    EXPECT_EQ(adj[0], D3DX_NO_NEIGHBOUR);     // the lone triangle
    EXPECT_EQ(adj[2 * 3 + 0], 1u);           // the quad's halves share their diagonal
    EXPECT_EQ(d3dx.BufferGetMaterial(*materials, 1).Diffuse.g, 1.0f);
    D3DXMATERIAL entry;
    std::memcpy(&entry, materials->GetBufferPointer() + 2 * sizeof(D3DXMATERIAL), sizeof entry);
    ASSERT_NE(entry.pTextureFilename, nullptr);
    EXPECT_STREQ(entry.pTextureFilename, "blue.bmp");
    for (int32_t bad : {-1, 3, 4}) {
        try {
            d3dx.BufferGetMaterial(*materials, bad);
            ADD_FAILURE() << bad;
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), D3DERR_INVALIDCALL);
        }
    }
}
