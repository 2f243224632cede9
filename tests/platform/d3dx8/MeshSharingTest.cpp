// Meshes made from other meshes share their bytes until one of them is written, and each
// still behaves as a mesh of its own: a write reaches no other holder.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "../xfile/XFileFixtures.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/ModelFile.h"
#include "d3dx8/PMesh.h"

namespace {

// Two materials in file order: the faces are sorted by attribute as loaded.
const char* kQuadAndTriangle = R"(xof 0303txt 0032
Mesh M {
 5; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 2;0;0;; 2; 4;0,1,2,3;, 3;1,4,2;;
 MeshMaterialList { 2; 2; 0,1;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; } }
}
)";

d3dx8::ModelFile modelFile() { return d3dx8::ModelFile(xfile::parse(fixtures::bytesOf(kQuadAndTriangle), "m.x")); }

struct Shared {
    bool vertices, indices, attributes;
};

Shared sharedBetween(const D3DXMesh& a, const D3DXMesh& b) {
    return {a.GetVertexBuffer()->contents().sharesWith(b.GetVertexBuffer()->contents()),
            a.GetIndexBuffer()->contents().sharesWith(b.GetIndexBuffer()->contents()),
            a.attributes().data() == b.attributes().data()};
}

// A write to every part of `written` changes nothing `other` reads.
void expectIndependent(D3DXMesh& written, const D3DXMesh& other) {
    const auto vertices = std::vector(other.GetVertexBuffer()->bytes().begin(), other.GetVertexBuffer()->bytes().end());
    const auto indices = other.indices();
    const auto attributes = std::vector(other.attributes().begin(), other.attributes().end());
    written.GetVertexBuffer()->write(0, std::vector<std::byte>(4, std::byte{0x7F}));
    written.setIndices(std::vector<uint32_t>(written.indices().size(), 4));
    written.mutableAttributes()[0] = 9;
    EXPECT_TRUE(std::equal(vertices.begin(), vertices.end(), other.GetVertexBuffer()->bytes().begin()));
    EXPECT_EQ(other.indices(), indices);
    EXPECT_TRUE(std::equal(attributes.begin(), attributes.end(), other.attributes().begin()));
}

}  // namespace

TEST(MeshSharing, CopiesShareWhatTheyKeepUntilEitherIsWritten) {
    D3DX8 d3dx;
    struct Case {
        const char* what;
        std::function<std::shared_ptr<D3DXMesh>(const d3dx8::ModelFile&, const D3DXMesh&)> copy;
        Shared expected;
    };
    const Case cases[] = {
        {"progressive mesh",
         [&](const d3dx8::ModelFile&, const D3DXMesh& m) {
             return d3dx.GeneratePMesh(m, m.GenerateAdjacency(0.0f), nullptr, nullptr, 1, D3DXMESHSIMP_VERTEX);
         },
         {true, true, true}},
        {"clone in the same format",
         [](const d3dx8::ModelFile&, const D3DXMesh& m) { return m.CloneMeshFVF(D3DXMESH_MANAGED, m.GetFVF(), nullptr); },
         {true, true, true}},
        {"clone in another format", [](const d3dx8::ModelFile&, const D3DXMesh& m) { return m.CloneMeshFVF(D3DXMESH_MANAGED, 274, nullptr); },
         {false, true, true}},
        {"clone with wider indices",
         [](const d3dx8::ModelFile&, const D3DXMesh& m) { return m.CloneMeshFVF(D3DXMESH_32BIT, m.GetFVF(), nullptr); },
         {false, false, true}},
        {"second load of one model file",
         [](const d3dx8::ModelFile& f, const D3DXMesh&) { return d3dx8::buildMesh(f, D3DXMESH_MANAGED, nullptr).mesh; },
         {true, true, true}},
    };
    for (const Case& c : cases) {
        for (bool writeTheCopy : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (writeTheCopy ? ", the copy written" : ", the source written"));
            const d3dx8::ModelFile file = modelFile();
            const std::shared_ptr<D3DXMesh> source = d3dx8::buildMesh(file, D3DXMESH_SYSTEMMEM, nullptr).mesh;
            const std::shared_ptr<D3DXMesh> copy = c.copy(file, *source);
            const Shared shared = sharedBetween(*source, *copy);
            EXPECT_EQ(shared.vertices, c.expected.vertices);
            EXPECT_EQ(shared.indices, c.expected.indices);
            EXPECT_EQ(shared.attributes, c.expected.attributes);
            ASSERT_EQ(copy->attributeTable().size(), 2u);
            if (writeTheCopy) expectIndependent(*copy, *source);
            else expectIndependent(*source, *copy);
        }
    }
}

TEST(MeshSharing, DeferredAdjacencyIsOfTheMeshAsItWasWhenAskedFor) {
    const d3dx8::ModelFile file = modelFile();
    const std::shared_ptr<D3DXMesh> mesh = d3dx8::buildMesh(file, D3DXMESH_SYSTEMMEM, nullptr).mesh;
    std::vector<uint32_t> before(3 * mesh->GetNumFaces());
    mesh->GenerateAdjacency(0.0f, before.data());
    const D3DXAdjacency deferred = mesh->GenerateAdjacency(0.0f);
    mesh->setIndices(std::vector<uint32_t>(mesh->indices().size(), 0));
    EXPECT_TRUE(std::ranges::equal(deferred.entries(), before));
    EXPECT_NE(before, std::vector<uint32_t>(before.size(), D3DX_NO_NEIGHBOUR));
}
