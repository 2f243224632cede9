// The program's Direct3D support module: device and scene setup, the two model loaders'
// material arrays, the world matrix, and shutdown.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/PMesh.h"
#include "support/Raised.h"

namespace {

using testsupport::raised;

// Two triangles with different materials: red (power 5) and green (power 7).
constexpr char kTwoMaterialQuad[] = R"(xof 0302txt 0032
Mesh {
 4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;1.0;0.0;;
 2; 3;0,1,2;, 3;1,3,2;;
 MeshMaterialList { 2; 2; 1, 0;;
  Material { 1.0;0.0;0.0;1.0;; 5.0; 1.0;1.0;1.0;; 0.0;0.0;0.0;; }
  Material { 0.0;1.0;0.0;1.0;; 7.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }
 }
}
)";

bool allZero(const D3DMATERIAL8& m) {
    static const D3DMATERIAL8 zero{};
    return std::memcmp(&m, &zero, sizeof m) == 0;
}

// Both loaders give one material entry more than the file, the last all zero; without
// readMaterials every entry stays zero but the array keeps its size. The progressive mesh is
// managed, at full detail, with an attribute table.
TEST(Loaders, MaterialArraysHoldTheFileInOrderPlusOneZeroEntry) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("quad.x").toStdString();
    std::ofstream(file) << kTwoMaterialQuad;
    Mdx8::d3dx.reset();
    MeshRecord record = Mdx8::loadMesh(file, true);
    EXPECT_NE(Mdx8::d3dx, nullptr);  // made on first use
    EXPECT_EQ(std::vector<int32_t>({record.materialCount, record.numVertices, record.numFaces}),
              (std::vector<int32_t>{2, 4, 2}));
    PMeshRecord progressive = Mdx8::loadProgressiveMesh(file, true);
    ASSERT_NE(progressive.pmesh, nullptr);
    EXPECT_EQ(std::vector<int32_t>({progressive.materialCount, progressive.maxVertices, progressive.numVertices}),
              (std::vector<int32_t>{2, 4, 4}));
    EXPECT_EQ(progressive.pmesh->currentVertices(), 4u);
    EXPECT_EQ(progressive.pmesh->GetOptions() & D3DXMESH_MANAGED, D3DXMESH_MANAGED);
    EXPECT_EQ(progressive.pmesh->attributeTable().size(), 2u);
    for (const auto& materials : {record.materials, progressive.materials}) {
        ASSERT_EQ(materials.size(), 3u);
        EXPECT_EQ(materials[0].Power, 5.0f);
        EXPECT_EQ(materials[1].Diffuse.g, 1.0f);
        EXPECT_TRUE(allZero(materials[2]));
    }
    for (const auto& materials : {Mdx8::loadMesh(file, false).materials, Mdx8::loadProgressiveMesh(file, false).materials}) {
        ASSERT_EQ(materials.size(), 3u);
        for (const D3DMATERIAL8& m : materials) EXPECT_TRUE(allZero(m));
    }
}

// An angle of one degree is 3.14 / 180 radians, so a half turn is not quite a half turn; an
// element beyond the float range is an overflow, the largest float is not. (The frame turns the
// model about x and y at one scale: the golden frames' turned view pins the order of the turns,
// and the far-off model's framing the move, tests/scene.)
TEST(WorldMatrix, TurnsByDegreesOf314Over180AndOverflowsOnlyBeyondTheFloatRange) {
    const D3DMATRIX half = Mdx8::makeWorldMatrix(1, 1, 1, 0, 180, 0, 0, 0, 0);
    EXPECT_NEAR(half._11, std::cos(3.14), 1e-6);
    EXPECT_NEAR(half._13, -std::sin(3.14), 1e-6);
    const float huge = std::numeric_limits<float>::max(), inf = std::numeric_limits<float>::infinity();
    EXPECT_NO_THROW(Mdx8::makeWorldMatrix(huge, huge, huge, 0, 45, 0, 0, 0, 0));  // cos 45 < 1
    EXPECT_EQ(raised([&] { Mdx8::makeWorldMatrix(inf, 1, 1, 0, 0, 0, 0, 0, 0); }).first, rt::errc::Overflow);
}

TEST(Shutdown, DropsTheDeviceObjectsAndTheModelsBuffersButKeepsItsArrays) {
    Mdx8::dx = std::make_shared<DirectX8>();
    Mdx8::sceneMesh.mesh = std::make_shared<D3DXMesh>(1, 3, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, nullptr);
    Mdx8::sceneMesh.vertexBuffer = Mdx8::sceneMesh.mesh->GetVertexBuffer();
    Mdx8::sceneMesh.indexBuffer = Mdx8::sceneMesh.mesh->GetIndexBuffer();
    Mdx8::sceneMesh.materials.resize(2);
    Mdx8::sceneMesh.attribRanges.resize(1);
    std::weak_ptr<Direct3DVertexBuffer8> vertices = Mdx8::sceneMesh.vertexBuffer;

    Mdx8::shutdown(false);

    EXPECT_EQ(Mdx8::dx, nullptr);
    EXPECT_EQ(Mdx8::d3d, nullptr);
    EXPECT_EQ(Mdx8::d3dDevice, nullptr);
    EXPECT_EQ(Mdx8::sceneMesh.indexBuffer, nullptr);
    EXPECT_TRUE(vertices.expired());  // neither the mesh nor the model holds it
    EXPECT_EQ(Mdx8::sceneMesh.materials.size(), 2u);
    EXPECT_EQ(Mdx8::sceneMesh.attribRanges.size(), 1u);
    // A device call after it fails with an error instead of a crash.
    EXPECT_EQ(raised([] { Mdx8::initScene(); }).first, rt::errc::ObjectNotSet);
}

}  // namespace
