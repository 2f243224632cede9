// Loading .x files into one D3DX mesh: merge offsets, transforms, vertex splitting, materials
// and the buffers LoadMeshFromX hands out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "../xfile/XFileFixtures.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/MeshLoader.h"
#include "runtime/Status.h"

namespace {

d3dx8::MeshFromX load(const std::string& text, uint32_t options = D3DXMESH_SYSTEMMEM) {
    return d3dx8::loadMeshFromXInMemory(fixtures::bytesOf("xof 0303txt 0032\n" + text), "test.x", options, nullptr);
}

// N values of type T of vertex v of a mesh, from byte `offset` of the vertex on.
template <size_t N, class T = float>
std::array<T, N> valuesAt(const D3DXMesh& mesh, uint32_t v, size_t offset = 0) {
    std::array<T, N> result;
    std::memcpy(result.data(), mesh.GetVertexBuffer()->bytes().data() + v * mesh.vertexSize() + offset, sizeof result);
    return result;
}

// Two meshes: a triangle at top level, its material a reference, and a quad inside a moved
// frame; each has its own materials, so ids and indices of the second must be offset by the first's.
const char* kTwoMeshes = R"(xof 0303txt 0032
Material Red { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }
Mesh First {
 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshMaterialList { 1; 1; 0;; { Red } }
}
Frame Moved {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,5,1;; }
 Mesh Second {
  4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 1; 4;0,1,2,3;;
  MeshNormals { 1; 0;0;-1;; 1; 4;0,0,0,0;; }
  MeshMaterialList { 2; 1; 1;;
   Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; }
   Material { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { "blue.bmp"; } }
  }
 }
}
)";

}  // namespace

// Also the adjacency and material buffers LoadMeshFromX hands out.
TEST(LoadMeshFromX, MergedMeshesOffsetIndicesByVerticesAndIdsByMaterials) {
    std::string path = testing::TempDir() + "two_meshes.x";
    std::ofstream(path) << kTwoMeshes;
    D3DX8 d3dx;
    std::shared_ptr<D3DXBuffer> adjacency, materials;
    int32_t count = -1;
    std::shared_ptr<D3DXMesh> mesh = d3dx.LoadMeshFromX(path, D3DXMESH_MANAGED, nullptr, &adjacency, &materials, &count);
    std::remove(path.c_str());
    ASSERT_EQ(mesh->GetNumVertices(), 7u);
    EXPECT_EQ(mesh->indices(), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 3, 5, 6}));  // the quad as a fan
    ASSERT_EQ(mesh->attributeTable().size(), 2u);
    const D3DXATTRIBUTERANGE& r = mesh->attributeTable()[1];
    EXPECT_EQ(std::vector<uint32_t>({r.AttribId, r.FaceStart, r.FaceCount, r.VertexStart, r.VertexCount}),
              (std::vector<uint32_t>{2, 1, 2, 3, 4}));
    // The frame moves positions but not normals.
    EXPECT_EQ(valuesAt<6>(*mesh, 3), (std::array<float, 6>{0, 0, 5, 0, 0, -1}));

    ASSERT_EQ(count, 3);
    ASSERT_EQ(adjacency->GetBufferSize(), 3u * 3u * 4u);
    std::vector<uint32_t> adj(9);
    std::memcpy(adj.data(), adjacency->GetBufferPointer(), 9 * 4);
    constexpr uint32_t N = D3DX_NO_NEIGHBOUR;
    EXPECT_EQ(adj, (std::vector<uint32_t>{N, N, N, N, N, 2, 1, N, N}));  // the quad's halves share their diagonal
    EXPECT_EQ(d3dx.BufferGetMaterial(*materials, 0).Diffuse.r, 1.0f);
    EXPECT_EQ(d3dx.BufferGetMaterial(*materials, 1).Diffuse.g, 1.0f);
    D3DXMATERIAL entry;
    std::memcpy(&entry, materials->GetBufferPointer() + 2 * sizeof(D3DXMATERIAL), sizeof entry);
    ASSERT_NE(entry.pTextureFilename, nullptr);
    EXPECT_STREQ(entry.pTextureFilename, "blue.bmp");
    for (int32_t bad : {-1, 3}) EXPECT_THROW(d3dx.BufferGetMaterial(*materials, bad), rt::Error) << bad;
}

// The child frame applies first: (0,1,0) squashed to (0,0.5,0), then moved to (3,4.5,5); the
// other order would give (3,2.5,5). Squashing y by 1/2 turns the slanted face normal
// (1,1,0)/√2 into (1,2,0)/√5.
TEST(LoadMeshFromX, NestedFramesApplyChildFirstAndNormalsFollowTheInverseTranspose) {
    d3dx8::MeshFromX loaded = load(R"(Frame Parent {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 3,4,5,1;; }
 Frame Child {
  FrameTransformMatrix { 1,0,0,0, 0,0.5,0,0, 0,0,1,0, 0,0,0,1;; }
  Mesh { 3; 1;0;0;, 0;1;0;, 0;0;1;; 1; 3;0,1,2;; MeshNormals { 1; 1;1;0;; 1; 3;0,0,0;; } }
 }
})");
    std::array<float, 6> v0 = valuesAt<6>(*loaded.mesh, 0);
    EXPECT_NEAR(v0[3], 1 / std::sqrt(5.0f), 1e-6);
    EXPECT_NEAR(v0[4], 2 / std::sqrt(5.0f), 1e-6);
    EXPECT_EQ(valuesAt<3>(*loaded.mesh, 1), (std::array<float, 3>{3, 4.5f, 5}));
}

TEST(LoadMeshFromX, DefaultMaterialAndPackedVertexColours) {
    const std::string triangle = "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;";
    d3dx8::MeshFromX plain = load(triangle + "}\n" + triangle + "}");
    ASSERT_EQ(plain.materials.size(), 1u);
    EXPECT_FLOAT_EQ(plain.materials[0].Diffuse.r, 0.5f);
    EXPECT_FLOAT_EQ(plain.materials[0].Specular.g, 0.5f);
    EXPECT_EQ(plain.mesh->attributeTable().size(), 1u);

    d3dx8::MeshFromX coloured = load(triangle + " MeshVertexColors { 1; 1; 1.5;0.5;0;1;; } }");
    ASSERT_EQ(coloured.mesh->GetFVF(), D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ((valuesAt<1, uint32_t>(*coloured.mesh, 0, 12)[0]), 0x00FFFFFFu);  // unlisted: white
    EXPECT_EQ((valuesAt<1, uint32_t>(*coloured.mesh, 1, 12)[0]), 0xFFFF8000u);  // red clamped, green 0.5 to 128
}

// Meshes passing the vertex numbers of 32-bit indices are a fault of the file, named with the
// mesh's line, not a want of memory (the limit itself takes tens of gigabytes to reach).
TEST(LoadMeshFromX, MoreVerticesThanThirtyTwoBitIndicesNumberAreInvalidData) {
    const auto bytes = fixtures::bytesOf("xof 0303txt 0032\n\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }");
    const xfile::Document document = xfile::parse(bytes, "big.x");
    EXPECT_NO_THROW(d3dx8::checkVertexTotal(document, document.meshes[0], 0xFFFFFFF0u, 0xE));
    for (size_t before : {size_t{0xFFFFFFF0u}, size_t{0x1FFFFFFFFull}}) {
        const auto [number, text] =
            fixtures::raised([&] { d3dx8::checkVertexTotal(document, document.meshes[0], before, 0xF); });
        EXPECT_EQ(number, D3DXERR_INVALIDDATA) << text;
        EXPECT_NE(text.find("big.x: line 3: the meshes need"), std::string::npos) << text;
    }
}

// A 16-bit mesh refuses more vertices than its indices can number; a 32-bit one takes them.
// A bounding sphere is centred on the mean of the vertices and reaches the farthest; a mesh
// with no vertices has none (no division by zero).
TEST(LoadMeshFromX, SixteenBitMeshesRefuseMoreThan65535VerticesAndAnEmptyMeshHasNoSphere) {
    std::string text = "Mesh {\n65536;\n";
    for (int i = 0; i < 65536; ++i) text += "0;0;0;,";
    text += "\n1; 3;0,1,65535;;\n}\n";
    EXPECT_EQ(fixtures::raised([&] { load(text); }).first, D3DERR_INVALIDCALL);
    EXPECT_EQ(load(text, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT).mesh->indices()[2], 65535u);
    D3DVECTOR centre;
    float radius = 0;
    D3DX8().ComputeBoundingSphereFromMesh(*load("Mesh { 4; 0;0;0;, 2;0;0;, 0;0;0;, 0;0;6;; 1; 3;0,1,3;; }").mesh, centre, radius);
    EXPECT_EQ(std::vector<float>({centre.x, centre.y, centre.z}), (std::vector<float>{0.5f, 0, 1.5f}));
    EXPECT_FLOAT_EQ(radius, std::sqrt(0.25f + 4.5f * 4.5f));
    D3DXMesh empty(0, 0, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, nullptr);
    EXPECT_EQ(fixtures::raised([&] { D3DX8().ComputeBoundingSphereFromMesh(empty, centre, radius); }).first, D3DERR_INVALIDCALL);
}

// The layout of a frame that merges several meshes, as the reference loader treats it: a
// transform applies to the meshes and child frames after it; a second one applies before the
// first (translations z + 2 then z + 3 put the third mesh at z = 5; doubling x and then moving
// it by 1 takes x = 1 to 3, where the other order would give 4); a mesh before any transform
// keeps its place.
TEST(LoadMeshFromX, FrameTransformsApplyToWhatFollowsThemInTheirFrame) {
    const std::string triangle = "Mesh { 3; 1;0;0;, 0;1;0;, 0;0;0;; 1; 3;0,1,2;; }\n";
    d3dx8::MeshFromX loaded = load("Frame Twice {\n" + triangle +
                                   "FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,2,1;; }\n" + triangle +
                                   "FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,3,1;; }\n" + triangle +
                                   "Frame Child { " + triangle + "}\n}\n"
                                   "Frame Scaled {\n"
                                   "FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1,0,0,1;; }\n"
                                   "FrameTransformMatrix { 2,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n" +
                                   triangle + "}\n");
    ASSERT_EQ(loaded.mesh->GetNumVertices(), 15u);
    EXPECT_EQ(loaded.materials.size(), 1u);
    for (uint32_t mesh = 0; mesh < 4; ++mesh) EXPECT_EQ(valuesAt<3>(*loaded.mesh, 3 * mesh + 2)[2], (std::array<float, 4>{0, 2, 5, 5}[mesh])) << mesh;
    EXPECT_EQ(valuesAt<3>(*loaded.mesh, 12), (std::array<float, 3>{3, 0, 0}));

    // The usual layout, one transform first, places the whole frame as before.
    d3dx8::MeshFromX usual = load("Frame { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,7,1;; }\n" + triangle + "}\n");
    EXPECT_EQ(valuesAt<3>(*usual.mesh, 2), (std::array<float, 3>{0, 0, 7}));
}

// A normal per vertex held without a corner list (as an imported model's) builds the mesh the
// same normals named at every corner build, an unused vertex (2) without a normal included.
TEST(LoadMeshFromX, NormalsPerVertexBuildTheMeshTheirCornerListWould) {
    xfile::Document document = xfile::parse(fixtures::bytesOf("xof 0303txt 0032\nMesh { 4; 0;0;0;, 1;0;0;, 5;5;5;, 0;1;0;; "
                                                              "1; 3;0,1,3;; MeshNormals { 4; 0;0;2;, 0;3;0;, 1;0;0;, 1;1;0;; "
                                                              "1; 3;0,1,3;; } }\n"),
                                            "n.x");
    const d3dx8::MeshFromX named = d3dx8::buildMeshFromX(document, D3DXMESH_SYSTEMMEM, nullptr);
    document.meshes[0].normals->faces = {};
    document.meshes[0].normals->perVertex = true;
    xfile::validate(document);
    const d3dx8::MeshFromX perVertex = d3dx8::buildMeshFromX(document, D3DXMESH_SYSTEMMEM, nullptr);
    EXPECT_TRUE(std::ranges::equal(named.mesh->GetVertexBuffer()->bytes(), perVertex.mesh->GetVertexBuffer()->bytes()));
    EXPECT_EQ(named.mesh->indices(), perVertex.mesh->indices());
    EXPECT_EQ(valuesAt<3>(*perVertex.mesh, 2, 12), (std::array<float, 3>{0, 0, 0}));
}
