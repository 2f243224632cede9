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

class Loaders : public ::testing::Test {
protected:
    void SetUp() override {
        Mdx8::d3dx.reset();
        std::ofstream(file_) << kTwoMaterialQuad;
    }

    QTemporaryDir dir_;
    std::string file_ = dir_.filePath("quad.x").toStdString();
};

// The material array has one entry more than the file, the last all zero; without
// readMaterials every entry stays zero but the array keeps its size.
TEST_F(Loaders, MaterialArraysHoldTheFileInOrderPlusOneZeroEntry) {
    MeshRecord record = Mdx8::loadMesh(file_, true);
    EXPECT_NE(Mdx8::d3dx, nullptr);  // made on first use
    EXPECT_EQ(std::vector<int32_t>({record.materialCount, record.numVertices, record.numFaces}),
              (std::vector<int32_t>{2, 4, 2}));
    ASSERT_EQ(record.materials.size(), 3u);
    EXPECT_EQ(record.materials[0].Power, 5.0f);
    EXPECT_EQ(record.materials[1].Diffuse.g, 1.0f);
    EXPECT_TRUE(allZero(record.materials[2]));
    for (const auto& materials : {Mdx8::loadMesh(file_, false).materials, Mdx8::loadProgressiveMesh(file_, false).materials}) {
        ASSERT_EQ(materials.size(), 3u);
        for (const D3DMATERIAL8& m : materials) EXPECT_TRUE(allZero(m));
    }
}

TEST_F(Loaders, ProgressiveMeshIsManagedAtFullDetailWithAnAttributeTable) {
    PMeshRecord record = Mdx8::loadProgressiveMesh(file_, true);
    EXPECT_EQ(std::vector<int32_t>({record.materialCount, record.maxVertices, record.numVertices}),
              (std::vector<int32_t>{2, 4, 4}));
    ASSERT_NE(record.pmesh, nullptr);
    EXPECT_EQ(record.pmesh->currentVertices(), 4u);
    EXPECT_EQ(record.pmesh->GetOptions() & D3DXMESH_MANAGED, D3DXMESH_MANAGED);
    EXPECT_EQ(record.pmesh->attributeTable().size(), 2u);
    EXPECT_EQ(record.materials.at(1).Power, 7.0f);
    EXPECT_TRUE(allZero(record.materials.at(2)));
}

}  // namespace
