#include <gtest/gtest.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <cstring>
#include <fstream>

#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/Font.h"
#include "d3dx8/PMesh.h"

namespace {

// Two triangles with different materials: red (power 5) and green (power 7).
constexpr char kTwoMaterialQuad[] = R"(xof 0302txt 0032
Mesh {
 4;
 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;1.0;0.0;;
 2;
 3;0,1,2;,
 3;1,3,2;;
 MeshMaterialList {
  2;
  2;
  1,
  0;;
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
    void SetUp() override { Mdx8::d3dx.reset(); }
    void TearDown() override { Mdx8::d3dDevice.reset(); }

    std::string write(const char* name, const char* text) {
        std::string file = dir_.filePath(name).toStdString();
        std::ofstream(file) << text;
        return file;
    }

    QTemporaryDir dir_;
};

TEST_F(Loaders, MeshRecordHasCountsAndOneMoreMaterialThanTheFileWithTheLastZero) {
    MeshRecord record = Mdx8::loadMesh(write("quad.x", kTwoMaterialQuad), true);
    EXPECT_NE(Mdx8::d3dx, nullptr);  // made on first use
    EXPECT_EQ(record.materialCount, 2);
    EXPECT_EQ(record.numVertices, 4);
    EXPECT_EQ(record.numFaces, 2);
    EXPECT_EQ(record.mesh->GetOptions() & D3DXMESH_SYSTEMMEM, D3DXMESH_SYSTEMMEM);
    ASSERT_EQ(record.materials.size(), 3u);
    EXPECT_EQ(record.materials[0].Diffuse.r, 1.0f);
    EXPECT_EQ(record.materials[0].Power, 5.0f);
    EXPECT_EQ(record.materials[1].Diffuse.g, 1.0f);
    EXPECT_EQ(record.materials[1].Power, 7.0f);
    EXPECT_TRUE(allZero(record.materials[2]));
    EXPECT_TRUE(record.attribRanges.empty());
    EXPECT_EQ(record.vertexBuffer, nullptr);
    EXPECT_EQ(record.indexBuffer, nullptr);
}

TEST_F(Loaders, WithoutReadMaterialsEveryEntryStaysZeroButTheArrayKeepsItsSize) {
    std::string file = write("quad.x", kTwoMaterialQuad);
    MeshRecord plain = Mdx8::loadMesh(file, false);
    PMeshRecord progressive = Mdx8::loadProgressiveMesh(file, false);
    for (const auto* materials : {&plain.materials, &progressive.materials}) {
        ASSERT_EQ(materials->size(), 3u);
        for (const D3DMATERIAL8& m : *materials) EXPECT_TRUE(allZero(m));
    }
}

TEST_F(Loaders, ProgressiveMeshIsManagedAtFullDetailWithAnAttributeTable) {
    PMeshRecord record = Mdx8::loadProgressiveMesh(write("quad.x", kTwoMaterialQuad), true);
    EXPECT_EQ(record.materialCount, 2);
    EXPECT_EQ(record.maxVertices, 4);
    EXPECT_EQ(record.numVertices, 4);
    ASSERT_NE(record.pmesh, nullptr);
    EXPECT_EQ(record.pmesh->currentVertices(), 4u);
    EXPECT_EQ(record.pmesh->GetOptions() & D3DXMESH_MANAGED, D3DXMESH_MANAGED);
    uint32_t ranges = 0;
    record.pmesh->GetAttributeTable(nullptr, &ranges);
    EXPECT_EQ(ranges, 2u);
    EXPECT_EQ(record.materials[1].Power, 7.0f);
    EXPECT_TRUE(allZero(record.materials[2]));
}

TEST_F(Loaders, TextureColourKeyAppliesOnlyWithTheExtendedLoad) {
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(0xFF00FF00u);
    image.setPixel(0, 0, 0xFFFF00FFu);
    std::string file = dir_.filePath("ramp.bmp").toStdString();
    ASSERT_TRUE(image.save(QString::fromStdString(file)));
    const int32_t magenta = static_cast<int32_t>(0xFFFF00FFu);

    auto keyed = Mdx8::loadTexture(file, magenta, true);
    EXPECT_EQ(keyed->pool(), D3DPOOL_DEFAULT);
    EXPECT_EQ(keyed->levelCount(), 2u);
    EXPECT_EQ(keyed->level(0).texels[0], 0u);

    auto plain = Mdx8::loadTexture(file, magenta, false);
    EXPECT_EQ(plain->pool(), D3DPOOL_MANAGED);
    EXPECT_EQ(plain->levelCount(), 2u);
    EXPECT_EQ(plain->level(0).texels[0], 0xFFFF00FFu);
}

TEST_F(Loaders, TwoFontsFromOneWindowFontAreIndependent) {
    static int argc = 1;
    static char name[] = "d3dsupport_tests";
    static char* argv[] = {name, nullptr};
    if (QGuiApplication::instance() == nullptr) new QGuiApplication(argc, argv);
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 64;
    params.BackBufferHeight = 32;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = 1;
    Mdx8::d3dDevice = DirectX8().Direct3DCreate()->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, params);
    QFont windowFont = QGuiApplication::font();
    auto first = Mdx8::makeFont(windowFont);
    auto second = Mdx8::makeFont(windowFont);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(first->device(), Mdx8::d3dDevice);

    // The fonts keep their own copy: a later change of the window's font reaches neither,
    // and text drawn with one leaves the other's cache alone.
    windowFont.setPointSize(windowFont.pointSize() + 10);
    EXPECT_NE(first->font().pointSize(), windowFont.pointSize());
    Mdx8::d3dDevice->BeginScene();
    first->DrawTextW(QString("x"), -1, D3DRECT{0, 0, 64, 32}, DT_WORDBREAK, 0xFFFFFFFFu);
    Mdx8::d3dDevice->EndScene();
    EXPECT_EQ(first->cachedTextCount(), 1u);
    EXPECT_EQ(second->cachedTextCount(), 0u);
}

}  // namespace
