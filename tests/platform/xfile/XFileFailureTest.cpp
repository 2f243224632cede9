// Malformed files fail with D3DXERR_INVALIDDATA and a message that says where and why.

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
    for (const char* header : {"", "xof 0303", "xif 0303txt 0032", "xof 0303abc 0032", "xof 0303txt 0016",
                               "xof 03a3txt 0032"}) {
        SCOPED_TRACE(header);
        EXPECT_NE(failureText(bytesOf(header)).find("header"), std::string::npos);
    }
}

// Counts and lengths in binary records are checked against the bytes left before anything is
// allocated by them; errors give the byte offset.
TEST(XFileFailures, BinaryCountsBeyondTheFileAreRefusedWithTheirOffset) {
    auto mesh = [] { return fixtures::BinaryWriter().name("Mesh").open(); };
    const std::pair<std::vector<std::byte>, const char*> cases[] = {
        {mesh().word(6).dword(0x40000000).dword(1).bytes(), "byte 28: integer list of 1073741824 values"},
        {mesh().word(7).dword(0xFFFFFFFF).bytes(), "float list"},
        {fixtures::BinaryWriter().word(1).dword(1000).raw("Mesh").bytes(), "byte 16: a name of 1000 bytes passes the end"},
        {mesh().integers({0xFFFFFFF0u, 1, 2}).close().bytes(), "vertex count 4294967280 is more than the file holds"},
        {mesh().word(99).bytes(), "unknown token 99"},
    };
    for (const auto& [file, reason] : cases) EXPECT_NE(failureText(file).find(reason), std::string::npos) << reason;
}

TEST(XFileFailures, CorruptCompressedDataIsRefused) {
    std::vector<std::byte> good = fixtures::compress(bytesOf("xof 0303txt 0032\n" TRIANGLE "}\n"), "tzip");
    ASSERT_NO_THROW(xfile::parse(good, "good.x"));
    std::vector<std::byte> wrongSize = good, noSignature = good, scrambled = good;
    wrongSize[16] = std::byte{0xFF};  // declared total no longer matches the blocks
    EXPECT_NE(failureText(wrongSize).find("(in the compressed file)"), std::string::npos);
    noSignature[24] = std::byte{'X'};
    EXPECT_NE(failureText(noSignature).find("\"CK\""), std::string::npos);
    for (size_t i = 30; i < scrambled.size(); ++i) scrambled[i] = std::byte{0xFF};
    failureText(scrambled);
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
    auto mesh = [] { return fixtures::BinaryWriter().name("Mesh").open(); };
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
