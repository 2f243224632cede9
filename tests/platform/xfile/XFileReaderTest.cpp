#include <gtest/gtest.h>

#include <string>

#include "XFileFixtures.h"
#include "runtime/Status.h"
#include "xfile/XFile.h"

using fixtures::bytesOf;

namespace {

// The unit square as "2 triangles over 4 vertices", which every file below states its own way.
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

// Exporters end the last vertex with ";," or ";;;", drop separators, put comments after them,
// break lines with CRLF and add objects the reader skips. Binary files come with 32- or 64-bit
// floats and end strings with a WORD or a DWORD separator; later blocks of compressed files
// refer back into earlier blocks' output. All of these read as the same square.
TEST(XFileReader, EveryWayOfWritingTheSquareReadsAlike) {
    std::vector<std::vector<std::byte>> files;
    for (const char* body : {
             "4;0;0;0;,1;0;0;,1;1;0;,0;1;0;,\n2;3;0,1,2;,3;0,2,3;,",  // ";," after the last vertex
             "4 0 0 0 1 0 0 1 1 0 0 1 0 2 3 0 1 2 3 0 2 3",            // no separators at all
             "4;;; 0.0;0.0;0.0;;; 1.;0;0;; 1;1e0;0;; 0;1;0;;;; 2;; 3;0,1,2;;; 3;0,2,3;;;",
             "4; // count\r\n0;0;0;, # origin\r\n1;0;0;,\r\n1;1;0;,\r\n0;1;0;;\r\n2;\r\n3;0,1,2;,\r\n3;0,2,3;;\r\n",
         })
        files.push_back(bytesOf(std::string("xof 0303txt 0032\nMesh M {\n") + body + "\n}\n"));
    files.push_back(bytesOf(R"(xof 0302txt 0064
Header { 1; 0; 1; }
template Mesh { <3D82AB44-62DA-11cf-AB39-0020AF71E433> DWORD nVertices; array Vector vertices[nVertices]; [...] }
AnimTicksPerSecond { 4800; }
Mesh M { <3D82AB44-62DA-11cf-AB39-0020AF71E433>
 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,3;;
 VertexDuplicationIndices { 4; 4; 0,1,2,3;; }
 XSkinMeshHeader { 1; 2; 1; }
 SkinWeights { "bone"; 1; 0; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
 DeclData { 1; 2;0;3;0;; 3; 1,2,3; }
 MeshFaceWraps { 0; }
}
AnimationSet Walk { Animation { { M } AnimationKey { 0; 1; 0;4;1,0,0,0;;; } } }
{ M }
)"));
    std::string repetitive = "xof 0303txt 0032\n";
    for (int i = 0; i < 400; ++i) repetitive += "Header { 1; 0; 1; }\n";
    repetitive += "Mesh M { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,3;; }\n";
    files.push_back(fixtures::compress(bytesOf(repetitive), "tzip", 700));
    for (const auto& binary : {fixtures::binarySquare("xof 0302bin 0032"), fixtures::binarySquare("xof 0303bin 0064", true),
                               fixtures::binarySquare("xof 0303bin 0032", false, true)}) {
        files.push_back(binary);
        files.push_back(fixtures::compress(binary, "bzip", 40));
    }
    for (const std::vector<std::byte>& file : files) {
        SCOPED_TRACE(&file - files.data());
        xfile::Document d = xfile::parse(file, "f.x");
        expectSquare(d);
        if (d.header.encoding != xfile::Encoding::Text) {
            EXPECT_EQ(d.meshes[0].materialList->materials.at(0).textureFilename, "tex.bmp");
        }
    }
}

TEST(XFileReader, MissingFileIsFileNotFoundNamingThePath) {
    auto [number, text] = fixtures::raised([] { xfile::load("/nonexistent/dir/model.x"); });
    EXPECT_EQ(number, rt::errc::FileNotFound);
    EXPECT_NE(text.find("/nonexistent/dir/model.x"), std::string::npos) << text;
}

namespace {

// The diffuse red of the one material of the last mesh of `file`.
float referencedRed(const std::vector<std::byte>& file) {
    const xfile::Document d = xfile::parse(file, "refs.x");
    return d.meshes.back().materialList.value().materials.at(0).faceColor.r;
}

std::string textFile(const std::string& body) {
    return "xof 0303txt 0032\n" + body;
}

#define MATERIAL(name, red) "Material " name " { " red ";0;0;1;; 0; 0;0;0;; 0;0;0;; }\n"
#define MESH_USING(ref) "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; { " ref " } } }\n"

// A binary 0302 file whose material is declared inside one frame and referenced from a mesh
// in a sibling frame, as some exporters write them.
std::vector<std::byte> materialInFrameReferencedFromSiblingBinary() {
    fixtures::BinaryWriter w("xof 0302bin 0032");
    w.name("Frame").name("Body").open().name("Material").name("TorsoMaterial0").open();
    w.floats({0.25f, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}).close().close();
    w.name("Frame").name("Torso").open().name("Mesh").open().integer(3).floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    w.integers({1, 3, 0, 1, 2}).name("MeshMaterialList").open().integers({1, 1, 0});
    w.open().name("TorsoMaterial0").close();
    return w.close().close().close().bytes();
}

}  // namespace

// A reference names a material declared earlier anywhere in the file; the first of a repeated
// name counts; a reference to one declared only later is refused, as the format describes.
TEST(XFileReader, MaterialReferencesResolveToTheFirstEarlierDeclarationAtAnyDepth) {
    EXPECT_FLOAT_EQ(referencedRed(materialInFrameReferencedFromSiblingBinary()), 0.25f);
    const std::pair<const char*, std::string> resolved[] = {
        {"material inside a frame, referenced from a sibling frame's mesh",
         "Frame A { " MATERIAL("Skin", "0.25") "}\nFrame B { " MESH_USING("Skin") "}"},
        {"material inside another mesh", "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; " MATERIAL("Skin", "0.25") "}\n" MESH_USING("Skin")},
        {"the same name declared twice", MATERIAL("Skin", "0.25") MATERIAL("Skin", "0.75") MESH_USING("Skin")},
    };
    for (const auto& [fixture, body] : resolved) EXPECT_FLOAT_EQ(referencedRed(bytesOf(textFile(body))), 0.25f) << fixture;

    auto [number, text] = fixtures::raised([] { xfile::parse(bytesOf(textFile(MESH_USING("Later") MATERIAL("Later", "1"))), "later.x"); });
    EXPECT_EQ(number, D3DXERR_INVALIDDATA);
    EXPECT_NE(text.find("later.x: line 2: reference to material 'Later' before its declaration"), std::string::npos) << text;
}

// Both as the reference reader has it: a file of a version it does not know is refused, and a
// compressed binary file holding one stray byte after its header is an empty file.
TEST(XFileReader, UnknownVersionsAreRefusedAndAStrayByteIsAnEmptyFile) {
    auto [number, text] = fixtures::raised([] { xfile::parse(bytesOf("xof 0102txt 0064\nMesh {}"), "old.x"); });
    EXPECT_EQ(number, D3DXERR_INVALIDDATA);
    EXPECT_NE(text.find("old.x: header: bad file version 0102"), std::string::npos) << text;
    for (const char* header : {"xof 0303bin 0032", "xof 0302bin 0064"}) {
        const std::vector<std::byte> stray = fixtures::compress(bytesOf(std::string(header) + "\n"), "bzip");
        EXPECT_TRUE(xfile::parse(stray, "stray.x").meshes.empty()) << header;
        EXPECT_TRUE(xfile::parse(bytesOf(std::string(header) + "\x0a"), "stray.x").meshes.empty()) << header;
    }
}
