#include <gtest/gtest.h>

#include <string>

#include "XFileFixtures.h"
#include "runtime/Error.h"
#include "runtime/Status.h"
#include "xfile/XFile.h"

using fixtures::bytesOf;

namespace {

xfile::Document parseText(const std::string& text) {
    return xfile::parse(bytesOf(text), "test.x");
}

// The same small mesh as "2 triangles over 4 vertices"; body differs per test.
std::string meshFile(const std::string& body) {
    return "xof 0303txt 0032\nMesh M {\n" + body + "\n}\n";
}

void expectSquare(const xfile::Document& d) {
    ASSERT_EQ(d.meshes.size(), 1u);
    const xfile::Mesh& m = d.meshes[0];
    ASSERT_EQ(m.positions.size(), 4u);
    EXPECT_FLOAT_EQ(m.positions[2].x, 1.0f);
    EXPECT_FLOAT_EQ(m.positions[2].y, 1.0f);
    EXPECT_EQ(m.faces.sizes, (std::vector<uint32_t>{3, 3}));
    EXPECT_EQ(m.faces.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
}

}  // namespace

TEST(XFileReader, ReadsEveryChildOfAMeshInsideAFrame) {
    xfile::Document d = parseText(fixtures::kQuadAndTriangle);
    EXPECT_EQ(d.header.encoding, xfile::Encoding::Text);
    EXPECT_EQ(d.header.floatBits, 32u);
    ASSERT_EQ(d.frames.size(), 1u);
    ASSERT_EQ(d.meshes.size(), 1u);
    const xfile::Mesh& m = d.meshes[0];
    EXPECT_EQ(m.frame, 0);
    EXPECT_EQ(m.name, "Shape");
    EXPECT_EQ(m.faces.sizes, (std::vector<uint32_t>{4, 3}));
    ASSERT_TRUE(m.normals && m.texCoords && m.vertexColors && m.materialList);
    EXPECT_FLOAT_EQ(m.normals->normals[0].z, -2.0f);  // the reader keeps values as written
    EXPECT_FLOAT_EQ((*m.texCoords)[4].u, 2.0f);
    ASSERT_EQ(m.vertexColors->size(), 1u);
    EXPECT_EQ((*m.vertexColors)[0].index, 4u);
    const xfile::MaterialList& list = *m.materialList;
    EXPECT_EQ(list.faceMaterials, (std::vector<uint32_t>{1, 0}));
    ASSERT_EQ(list.materials.size(), 2u);
    EXPECT_EQ(list.materials[0].name, "Red");  // the reference, resolved
    EXPECT_EQ(list.materials[0].textureFilename, "red.bmp");
    EXPECT_FLOAT_EQ(list.materials[0].power, 8.0f);
    EXPECT_FLOAT_EQ(list.materials[1].faceColor.b, 1.0f);
}

// Exporters end the last vertex with ";," or ";;;", drop separators, put comments after
// them and break lines with CRLF; all of these read the same.
TEST(XFileReader, SeparatorAndCommentVariantsReadAlike) {
    const char* variants[] = {
        "4;0;0;0;,1;0;0;,1;1;0;,0;1;0;;2;3;0,1,2;,3;0,2,3;;",
        "4;0;0;0;,1;0;0;,1;1;0;,0;1;0;,\n2;3;0,1,2;,3;0,2,3;,",  // ";," after the last vertex
        "4 0 0 0 1 0 0 1 1 0 0 1 0 2 3 0 1 2 3 0 2 3",            // no separators at all
        "4;;; 0.0;0.0;0.0;;; 1.;0;0;; 1;1e0;0;; 0;1;0;;;; 2;; 3;0,1,2;;; 3;0,2,3;;;",
        "4; // count\r\n0;0;0;, # origin\r\n1;0;0;,\r\n1;1;0;,\r\n0;1;0;;\r\n2;\r\n3;0,1,2;,\r\n3;0,2,3;;\r\n",
    };
    for (const char* body : variants) {
        SCOPED_TRACE(body);
        expectSquare(parseText(meshFile(body)));
    }
}

TEST(XFileReader, SkipsTemplatesAndObjectsItDoesNotUse) {
    std::string text = R"(xof 0302txt 0064
Header { 1; 0; 1; }
template Mesh { <3D82AB44-62DA-11cf-AB39-0020AF71E433> DWORD nVertices; array Vector vertices[nVertices]; [...] }
AnimTicksPerSecond { 4800; }
Mesh M { <3D82AB44-62DA-11cf-AB39-0020AF71E433>
 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;
 2; 3;0,1,2;, 3;0,2,3;;
 VertexDuplicationIndices { 4; 4; 0,1,2,3;; }
 XSkinMeshHeader { 1; 2; 1; }
 SkinWeights { "bone"; 1; 0; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
 DeclData { 1; 2;0;3;0;; 3; 1,2,3; }
 MeshFaceWraps { 0; }
}
AnimationSet Walk { Animation { { M } AnimationKey { 0; 1; 0;4;1,0,0,0;;; } } }
{ M }
)";
    expectSquare(parseText(text));
}

TEST(XFileReader, BinaryStreamsReadLikeText) {
    auto write = [](fixtures::BinaryWriter w, bool doubles) {
        w.name("Mesh").name("M").open().integer(4);
        std::vector<float> v = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
        if (doubles)
            w.doubles(std::vector<double>(v.begin(), v.end()));
        else
            w.floats(v);
        w.integers({2, 3, 0, 1, 2, 3, 0, 2, 3});
        w.name("MeshMaterialList").open().integers({1, 2, 0, 0});
        std::vector<float> material = {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
        if (doubles)
            w.name("Material").open().doubles(std::vector<double>(material.begin(), material.end()));
        else
            w.name("Material").open().floats(material);
        w.name("TextureFilename").open().string("tex.bmp").close();
        w.close().close().close();
        return w.bytes();
    };
    xfile::Document single = xfile::parse(write(fixtures::BinaryWriter("xof 0302bin 0032"), false), "b.x");
    expectSquare(single);
    EXPECT_EQ(single.meshes[0].materialList->materials[0].textureFilename, "tex.bmp");
    xfile::Document dbl = xfile::parse(write(fixtures::BinaryWriter("xof 0303bin 0064"), true), "d.x");
    expectSquare(dbl);
    EXPECT_EQ(dbl.header.floatBits, 64u);
}

// The separator after a binary string is a WORD token in most files and a DWORD in some.
TEST(XFileReader, BinaryStringsEndWithAWordOrADwordSeparator) {
    for (bool dword : {false, true}) {
        fixtures::BinaryWriter w;
        w.name("Material").name("M").open().floats({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
        w.name("TextureFilename").open().word(2).dword(5).raw("a.bmp").word(20);
        if (dword) w.word(0);
        w.close().close();
        xfile::Document d = xfile::parse(w.bytes(), "s.x");
        ASSERT_EQ(d.namedMaterials.size(), 1u);
        EXPECT_EQ(d.namedMaterials[0].textureFilename, "a.bmp");
    }
}

// Blocks after the first refer back into earlier blocks' output; inflating each block on its
// own would corrupt them.
TEST(XFileReader, CompressedBlocksKeepTheHistoryOfEarlierBlocks) {
    std::string text = "xof 0303txt 0032\n";
    for (int i = 0; i < 400; ++i) text += "Header { 1; 0; 1; }\n";  // repetitive, so later blocks match back
    text += "Mesh M { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,3;; }\n";
    std::vector<std::byte> plain = bytesOf(text);
    xfile::Document d = xfile::parse(fixtures::compress(plain, "tzip", 700), "t.x");
    EXPECT_TRUE(d.header.compressed);
    expectSquare(d);
}

TEST(XFileReader, WorldTransformAppliesTheChildFrameThenItsParent) {
    // Child rotates +90° about z, parent moves by +10 in x: (1,0,0) -> (0,1,0) -> (10,1,0).
    std::string text = R"(xof 0303txt 0032
Frame Parent {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }
 Frame Child {
  FrameTransformMatrix { 0,1,0,0, -1,0,0,0, 0,0,1,0, 0,0,0,1;; }
  Mesh { 3; 1;0;0;, 0;0;0;, 0;0;1;; 1; 3;0,1,2;; }
 }
})";
    xfile::Document d = parseText(text);
    xfile::Matrix4 m = d.worldTransform(d.meshes[0]);
    const float x = 1 * m[0] + m[12], y = 1 * m[1] + m[13];
    EXPECT_FLOAT_EQ(x, 10.0f);
    EXPECT_FLOAT_EQ(y, 1.0f);
}

TEST(XFileReader, MissingFileIsFileNotFoundNamingThePath) {
    try {
        xfile::load("/nonexistent/dir/model.x");
        FAIL() << "no error";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::errc::FileNotFound);
        EXPECT_NE(e.text().find("/nonexistent/dir/model.x"), std::string::npos) << e.text();
    }
}
