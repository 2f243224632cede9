#include <gtest/gtest.h>

#include <string>

#include "XFileFixtures.h"
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
