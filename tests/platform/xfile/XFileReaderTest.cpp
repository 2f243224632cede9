// Reading .x files: every way exporters write a valid one reads alike, and malformed ones fail
// with D3DXERR_INVALIDDATA and a message that says where and why, before anything they
// announce is allocated.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <span>
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

// As the reference reader has it, a compressed binary file holding one stray byte after its
// header is an empty file.
TEST(XFileReader, AStrayByteIsAnEmptyFile) {
    for (const char* header : {"xof 0303bin 0032", "xof 0302bin 0064"}) {
        const std::vector<std::byte> stray = fixtures::compress(bytesOf(std::string(header) + "\n"), "bzip");
        EXPECT_TRUE(xfile::parse(stray, "stray.x").meshes.empty()) << header;
        EXPECT_TRUE(xfile::parse(bytesOf(std::string(header) + "\x0a"), "stray.x").meshes.empty()) << header;
    }
}

namespace {

// A binary file whose mesh is open, for the faulty part that follows.
fixtures::BinaryWriter mesh() { return fixtures::BinaryWriter().name("Mesh").open(); }

std::string failureText(const std::vector<std::byte>& bytes) {
    auto [number, text] = fixtures::raised([&] { xfile::parse(bytes, "bad.x"); });
    EXPECT_EQ(number, D3DXERR_INVALIDDATA) << text;
    return text;
}

// A valid one-triangle mesh, left open for the faulty part that follows.
#define VERTICES "Mesh {\n3; 0;0;0;, 1;0;0;, 0;1;0;;\n"
#define TRIANGLE VERTICES "1; 3;0,1,2;;\n"

struct BadText {
    const char *file, *where, *reason;
};

const BadText kBadTexts[] = {
    {VERTICES "1; 3;0,1,3;;\n}", "line 4", "uses vertex 3 of 3"},
    {TRIANGLE "MeshMaterialList { 1; 1; 1;;\nMaterial { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }\n}", "line 5", "material 1 of 1"},
    {TRIANGLE "MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; }\n}", "line 5", "MeshNormals has 2 faces, the mesh 1"},
    {TRIANGLE "MeshNormals { 1; 0;0;1;; 1; 3;0,1,0;; }\n}", "line 5", "normal index 1 of 1"},
    {"Mesh {\n4000000000;\n0;0;0;;\n}", "line 3", "more than the file holds"},
    {VERTICES "1; 2;0,1;;\n}", "line 4", "needs at least 3"},  // a face with two corners
    {TRIANGLE "MeshMaterialList { 1; 1; 0;;\n{ Nowhere } }\n}", "line 6", "unknown material 'Nowhere'"},
    {TRIANGLE "MeshMaterialList { 2; 1; 0;; }\n}", "line 5", "declares 2 materials and holds 0"},
    {TRIANGLE "MeshTextureCoords { 2; 0;0;, 1;1;; }\n}", "line 5", "2 texture coordinates for 3 vertices"},
    {"Mesh {\n3; 0;0;0;, 1;zero;0;, 0;1;0;;\n}", "line 3", "expected a number"},
    {"Mesh {\n3; 0;0;0;, 1e999;0;0;, 0;1;0;;\n}", "line 3", "not a"},  // beyond 32-bit floats
    {TRIANGLE "7;\n}", "line 5", "unexpected"},  // too many values in an object
    // The first fault is the one reported, not a later one in the bytes still unread.
    {VERTICES "1; 3;0,one,2;;\n}\nMaterial { \"never closed\n}", "line 4", "expected an integer for corner index"},
};

// A small complete text file: a quad and a triangle, normals, texture coordinates, vertex
// colours and two materials (one referenced, one inline), inside a frame.
const char* kQuadAndTriangle = R"(xof 0303txt 0032
template Vector { <3D82AB5E-62DA-11cf-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }
Material Red { 1.0;0.0;0.0;1.0;; 8.0; 0.5;0.5;0.5;; 0.0;0.0;0.0;; TextureFilename { "red.bmp"; } }
Frame Root {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
 Mesh Shape {
  5; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;, 2.0;0.0;0.0;;
  2; 4;0,1,2,3;, 3;1,4,2;;
  MeshNormals { 1; 0.0;0.0;-2.0;; 2; 4;0,0,0,0;, 3;0,0,0;; }
  MeshTextureCoords { 5; 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.0;1.0;, 2.0;0.0;; }
  MeshVertexColors { 1; 4;0.0;1.0;0.0;1.0;; }
  MeshMaterialList { 2; 2; 1, 0;; { Red } Material { 0.0;0.0;1.0;1.0;; 1.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }
 }
}
)";

}  // namespace

TEST(XFileFailures, EachMalformedFileNamesWhereAndWhy) {
    for (const BadText& bad : kBadTexts) {
        SCOPED_TRACE(bad.reason);
        std::string text = failureText(bytesOf(std::string("xof 0303txt 0032\n") + bad.file));
        EXPECT_NE(text.find("bad.x: " + std::string(bad.where) + ":"), std::string::npos) << text;
        EXPECT_NE(text.find(bad.reason), std::string::npos) << text;
    }
    // A version the reference reader does not know is refused as it refuses it.
    for (const char* header : {"", "xof 0303", "xif 0303txt 0032", "xof 0303abc 0032", "xof 0303txt 0016",
                               "xof 03a3txt 0032", "xof 0102txt 0064\nMesh {}"}) {
        SCOPED_TRACE(header);
        const std::string text = failureText(bytesOf(header));
        const bool old = std::string_view(header).starts_with("xof 01");
        EXPECT_NE(text.find(old ? "bad.x: header: bad file version 0102" : "bad.x: header"), std::string::npos) << text;
    }
}

// Counts and lengths in binary records are checked against the bytes left before anything is
// allocated by them; errors give the byte offset.
TEST(XFileFailures, BinaryCountsBeyondTheFileAreRefusedWithTheirOffset) {
    const std::pair<std::vector<std::byte>, const char*> cases[] = {
        {mesh().word(6).dword(0x40000000).dword(1).bytes(), "byte 28: integer list of 1073741824 values"},
        {mesh().word(7).dword(0xFFFFFFFF).bytes(), "float list"},
        {fixtures::BinaryWriter().word(1).dword(1000).raw("Mesh").bytes(), "byte 16: a name of 1000 bytes passes the end"},
        {mesh().word(99).bytes(), "unknown token 99"},
    };
    for (const auto& [file, reason] : cases) EXPECT_NE(failureText(file).find(reason), std::string::npos) << reason;
}

TEST(XFileFailures, CorruptCompressedDataIsRefused) {
    std::vector<std::byte> good = fixtures::compress(bytesOf("xof 0303txt 0032\n" TRIANGLE "}\n"), "tzip");
    ASSERT_NO_THROW(xfile::parse(good, "good.x"));
    std::vector<std::byte> wrongSize = good, noSignature = good;
    wrongSize[16] = std::byte{0xFF};  // declared total no longer matches the blocks
    EXPECT_NE(failureText(wrongSize).find("(in the compressed file)"), std::string::npos);
    noSignature[24] = std::byte{'X'};
    EXPECT_NE(failureText(noSignature).find("\"CK\""), std::string::npos);
}

// A file whose first bytes are `head` (header, filler, then the rest of `head` ending at a page
// boundary) inside a 64 MB range of which only those pages can be read: a reader that looks
// past them faults, so a test passing shows how little it read. The filler is a comment in
// text and separator tokens in binary.
class GuardedFile {
public:
    explicit GuardedFile(const std::vector<std::byte>& head) {
        const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        const size_t readable = (head.size() + 2 + page - 1) / page * page;
        base_ = static_cast<std::byte*>(::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        const size_t filler = readable - head.size();
        std::memcpy(base_, head.data(), 16);
        const bool text = head[8] == std::byte{'t'};
        for (size_t i = 0; i < filler; ++i) base_[16 + i] = std::byte{static_cast<unsigned char>(text ? ' ' : i % 2 ? 0 : 20)};
        if (text) base_[16] = std::byte{'#'}, base_[16 + filler - 1] = std::byte{'\n'};
        std::memcpy(base_ + 16 + filler, head.data() + 16, head.size() - 16);
        ::mprotect(base_ + readable, kSize - readable, PROT_NONE);
    }
    ~GuardedFile() { ::munmap(base_, kSize); }
    std::span<const std::byte> bytes() const { return {base_, kSize}; }

private:
    static constexpr size_t kSize = size_t{64} << 20;
    std::byte* base_;
};

// Every limit is checked where it is crossed, before anything is read or allocated past it:
// counts too large for the bytes that follow (a count of 4e9 vertices would ask for 48 GB),
// names longer than the file, frames nested too deep, decompressed sizes the compressed bytes
// cannot produce. Nesting of skipped objects, which do not recurse, is free.
TEST(XFileFailures, HugeInputsAreRefusedWhereTheyCrossALimit) {
    std::string frames = "xof 0303txt 0032\n";
    for (int i = 0; i < 200; ++i) frames += "Frame {";
    const std::pair<std::vector<std::byte>, const char*> cases[] = {
        {bytesOf("xof 0303txt 0032\nMesh {\n4000000000; 0;"), "vertex count 4000000000 is more than the file holds"},
        {bytesOf("xof 0303txt 0032\nMesh { 1; 0;0;0;; 3000000000; 3;"), "face count 3000000000 is more than"},
        {mesh().integers({4000000000u, 0}).bytes(), "vertex count 4000000000 is more than the file holds"},
        {mesh().word(1).dword(0xFFFFFFF0u).bytes(), "a name of 4294967280 bytes passes the end"},
        {bytesOf(frames), "nested deeper than 128"},
    };
    for (const auto& [head, reason] : cases) {
        SCOPED_TRACE(reason);
        const GuardedFile file(head);
        auto [number, text] = fixtures::raised([&] { xfile::parse(file.bytes(), "huge.x"); });
        EXPECT_EQ(number, D3DXERR_INVALIDDATA);
        EXPECT_NE(text.find(reason), std::string::npos) << text;
    }
    std::vector<std::byte> bigPromise = fixtures::compress(bytesOf("xof 0303txt 0032\nHeader { 1; 0; 1; }"), "tzip");
    bigPromise[18] = std::byte{0x40};  // 4 MB declared for a block of 40 bytes
    EXPECT_NE(failureText(bigPromise).find("implausible decompressed size"), std::string::npos);

    std::string skipped = "xof 0303txt 0032\nAnimationSet {";
    for (int i = 0; i < 100000; ++i) skipped += "A {";
    skipped.append(100001, '}');
    EXPECT_NO_THROW(xfile::parse(bytesOf(skipped), "deep.x"));
}

// A file cut anywhere either still parses (when the cut falls after the last object) or fails
// with a format error: never a crash, a hang or another kind of exception.
TEST(XFileFailures, EveryPrefixOfAValidFileLoadsOrFailsCleanly) {
    const std::vector<std::byte> text = bytesOf(kQuadAndTriangle), binary = fixtures::binarySquare();
    for (const std::vector<std::byte>& file :
         {text, binary, fixtures::compress(text, "tzip", 256), fixtures::compress(binary, "bzip", 64)}) {
        ASSERT_NO_THROW(xfile::parse(file, "whole.x"));
        for (size_t cut = 0; cut < file.size(); ++cut) {
            const std::vector<std::byte> prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
            auto [number, text] = fixtures::raised([&] { xfile::parse(prefix, "cut.x"); });
            ASSERT_TRUE(number == 0 || number == D3DXERR_INVALIDDATA) << "cut at " << cut << ": " << number << " " << text;
        }
    }
}
