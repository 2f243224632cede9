#include <gtest/gtest.h>

#include "../platform/xfile/XFileFixtures.h"
#include "d3d8/Direct3D8.h"
#include "d3d8/Direct3DDevice8.h"
#include "d3dsupport/Mdx8.h"

namespace {

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
}

TEST(Shutdown, BeforeAnyDeviceExistsItEndsTheProgramCleanly) {
    EXPECT_EXIT(Mdx8::shutdown(true), ::testing::ExitedWithCode(0), "");
}

}  // namespace

TEST(Shutdown, ADeviceCallAfterItFailsWithAnErrorInsteadOfACrash) {
    Mdx8::shutdown(false);
    EXPECT_EQ(fixtures::raised([] { Mdx8::initScene(); }).first, rt::errc::ObjectNotSet);
}
