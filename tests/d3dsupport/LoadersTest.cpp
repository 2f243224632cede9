#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstring>
#include <fstream>

#include "d3dsupport/Mdx8.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/PMesh.h"

namespace {

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

}  // namespace
