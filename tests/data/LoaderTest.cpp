// The files go through the program's own .x reader and mesh loader and come back as the
// generator's models: same counts, positions, corners and materials, one attribute range per
// material, no vertex split (one normal per vertex is written).
#include <gtest/gtest.h>

#include <cstddef>
#include <span>

#include "Models.h"
#include "Ramp.h"
#include "d3dx8/MeshLoader.h"
#include "d3dx8/TextureImage.h"
#include "xfile/XFile.h"

namespace datagen::test {
namespace {

std::span<const std::byte> asBytes(const std::vector<uint8_t>& v) { return std::as_bytes(std::span(v)); }

class EveryFile : public ::testing::TestWithParam<size_t> {
protected:
    const ModelFile& file() const { return modelFiles()[GetParam()]; }
};

void expectSameMesh(const xfile::Mesh& mesh, const Model& m) {
    ASSERT_EQ(mesh.positions.size(), m.vertices.size());
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        const Float3& p = m.vertices[i].position;
        ASSERT_TRUE(mesh.positions[i].x == p.x && mesh.positions[i].y == p.y && mesh.positions[i].z == p.z)
            << "vertex " << i;
    }
    ASSERT_EQ(mesh.faces.sizes.size(), m.faces.size());
    for (size_t f = 0; f < m.faces.size(); ++f) {
        ASSERT_EQ(mesh.faces.sizes[f], 3u);
        for (size_t k = 0; k < 3; ++k) ASSERT_EQ(mesh.faces.indices[3 * f + k], m.faces[f].corners[k]);
    }
    ASSERT_TRUE(mesh.normals.has_value());
    EXPECT_EQ(mesh.normals->normals.size(), m.vertices.size());
    ASSERT_TRUE(mesh.texCoords.has_value());
    EXPECT_EQ(mesh.texCoords->size(), m.vertices.size());
}

void expectSameMaterials(const xfile::Mesh& mesh, const Model& m) {
    ASSERT_TRUE(mesh.materialList.has_value());
    const xfile::MaterialList& list = *mesh.materialList;
    ASSERT_EQ(list.materials.size(), m.materials.size());
    for (size_t f = 0; f < m.faces.size(); ++f) ASSERT_EQ(list.faceMaterials[f], m.faces[f].material);
    for (size_t i = 0; i < m.materials.size(); ++i) {
        EXPECT_EQ(list.materials[i].faceColor.r, m.materials[i].faceColor[0]);
        EXPECT_EQ(list.materials[i].faceColor.g, m.materials[i].faceColor[1]);
        EXPECT_EQ(list.materials[i].faceColor.b, m.materials[i].faceColor[2]);
        EXPECT_EQ(list.materials[i].power, m.materials[i].power);
    }
}

TEST_P(EveryFile, ReadsBackAsTheModelThroughTheXReader) {
    Model m = file().build();
    std::vector<uint8_t> bytes = writeX(m, file().encoding);
    xfile::Document doc = xfile::parse(asBytes(bytes), file().fileName);
    ASSERT_EQ(doc.frames.size(), 1u);
    EXPECT_EQ(doc.frames[0].name, m.name);
    ASSERT_EQ(doc.meshes.size(), 1u);
    expectSameMesh(doc.meshes[0], m);
    expectSameMaterials(doc.meshes[0], m);
}

TEST_P(EveryFile, LoadsAsOneSixteenBitMeshWithARangePerMaterial) {
    Model m = file().build();
    std::vector<uint8_t> bytes = writeX(m, file().encoding);
    d3dx8::MeshFromX loaded = d3dx8::loadMeshFromXInMemory(asBytes(bytes), file().fileName, D3DXMESH_SYSTEMMEM, nullptr);
    EXPECT_EQ(loaded.mesh->GetNumVertices(), m.vertices.size());
    EXPECT_EQ(loaded.mesh->GetNumFaces(), m.faces.size());
    EXPECT_EQ(loaded.materials.size(), m.materials.size());
    uint32_t count = 0;
    loaded.mesh->GetAttributeTable(nullptr, &count);
    ASSERT_EQ(count, m.materials.size());
    std::vector<D3DXATTRIBUTERANGE> table(count);
    loaded.mesh->GetAttributeTable(table.data(), &count);
    uint32_t nextFace = 0;
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(table[i].AttribId, i);
        EXPECT_EQ(table[i].FaceStart, nextFace);
        nextFace += table[i].FaceCount;
    }
    EXPECT_EQ(nextFace, m.faces.size());
}

INSTANTIATE_TEST_SUITE_P(Models, EveryFile, ::testing::Range<size_t>(0, 5),
                         [](const auto& info) { return "doom" + std::to_string(info.param + 1); });

TEST(RampFile, DecodesToItsBandsThroughTheImageLoader) {
    ArgbImage image = decodeImage(asBytes(rampBitmap()), "banda2.bmp");
    ASSERT_EQ(image.width, static_cast<uint32_t>(kRampWidth));
    ASSERT_EQ(image.height, static_cast<uint32_t>(kRampHeight));
    const auto& bands = rampBands();
    for (size_t b = 0; b < bands.size(); ++b) {
        uint32_t x = static_cast<uint32_t>(b * kRampWidth / bands.size() + 1);
        uint32_t expected = 0xFF000000u | uint32_t{bands[b].r} << 16 | uint32_t{bands[b].g} << 8 | bands[b].b;
        EXPECT_EQ(image.texels[x], expected) << "band " << b;
    }
}

}  // namespace
}  // namespace datagen::test
