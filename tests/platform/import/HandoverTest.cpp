// The handover as the parent reads it: what the child writes comes back unchanged, a failure
// the child reports becomes the file's error, and a handover that breaks any rule is refused
// before any of it is used, naming the byte and the rule.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

#include "ImportFixtures.h"
#include "import/Handover.h"
#include "runtime/Status.h"

namespace {

using modelimport::decodeHandover;
using modelimport::ImportedMesh;

// Two triangles of a quad, in two materials, the second one Assimp's stand-in.
ImportedMesh quad(bool texCoords) {
    ImportedMesh m;
    m.format = "test format";
    m.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    m.normals = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
    if (texCoords) m.texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    m.indices = {0, 2, 1, 0, 3, 2};
    m.faceMaterials = {0, 1};
    m.materials.resize(2);
    m.materials[0].diffuse = {1, 0.5f, 0.25f, 1};
    m.materials[0].power = 8;
    m.materials[1].origin = modelimport::MaterialOrigin::None;
    return m;
}

// Offsets of the quad's handover (no texture coordinates): magic 0, size 8, kind 16, format 20
// (+11), counts 35, 39, 43, flags 47, materials 51 (48 each), positions 147, normals 195,
// indices 243, face materials 267; 275 bytes in all.
constexpr size_t kVertexCountAt = 35, kFaceCountAt = 39, kMaterialCountAt = 43, kFlagsAt = 47;
constexpr size_t kMaterialsAt = 51, kPositionsAt = 147, kNormalsAt = 195, kIndicesAt = 243, kFaceMaterialsAt = 267;

void put32(std::vector<std::byte>& bytes, size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }
void putFloat(std::vector<std::byte>& bytes, size_t at, float value) { std::memcpy(bytes.data() + at, &value, 4); }

TEST(Handover, AFailureTheChildReportsIsTheFilesError) {
    struct Case { modelimport::FailureReason reason; HRESULT status; };
    for (const Case c : {Case{modelimport::FailureReason::Unreadable, D3DXERR_INVALIDDATA},
                         Case{modelimport::FailureReason::NoTriangles, D3DXERR_LOADEDMESHASNODATA}}) {
        const auto bytes = modelimport::encodeFailure(c.reason, "Unexpected token\nat line 3");
        const auto [number, text] = importtest::raised([&] { decodeHandover(bytes, "/m/a.obj"); });
        EXPECT_EQ(number, c.status);
        EXPECT_NE(text.find("/m/a.obj: Unexpected token at line 3"), std::string::npos) << text;
    }
}

// A sink that fails ends the writing with its error, and is not called again on the way out.
TEST(Handover, AFailingSinkEndsTheWritingWithItsError) {
    int calls = 0;
    const auto failing = [&](const void*, size_t) {
        ++calls;
        throw std::runtime_error("disk full");
    };
    EXPECT_THROW(modelimport::writeMesh(quad(false), failing), std::runtime_error);
    EXPECT_THROW(modelimport::writeFailure(modelimport::FailureReason::Unreadable, "x", failing), std::runtime_error);
    EXPECT_EQ(calls, 2);
}

TEST(Handover, BrokenRulesAreRefusedNamingTheByteAndTheRule) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* rule;
        std::function<void(std::vector<std::byte>&)> breakIt;
    };
    const Case cases[] = {
        {"byte 0: it does not start with \"CSIMPRT1\"", [](auto& b) { b[0] = std::byte{'X'}; }},
        {"byte 8: it says it has 276 bytes, but 275 arrived", [](auto& b) { put32(b, 8, 276); }},
        {"byte 16: kind 7 (0 or 1)", [](auto& b) { put32(b, 16, 7); }},
        {"byte 35: vertex count 0 is outside 1 .. 4294967294", [](auto& b) { put32(b, kVertexCountAt, 0); }},
        {"byte 39: face count 0 is outside", [](auto& b) { put32(b, kFaceCountAt, 0); }},
        {"byte 43: material count 0 is outside", [](auto& b) { put32(b, kMaterialCountAt, 0); }},
        {"byte 47: unknown flags 6", [](auto& b) { put32(b, kFlagsAt, 6); }},
        // Counts the bytes cannot back are refused before anything is allocated for them.
        {"4294967294 vertices, 2 faces and 2 materials take 103079215184 bytes, but 224 follow",
         [](auto& b) { put32(b, kVertexCountAt, 0xFFFFFFFEu); }},
        {"2 faces and 2 materials take 256 bytes, but 224 follow", [](auto& b) { put32(b, kFlagsAt, 1); }},
        {"it says it has 275 bytes, but 276 arrived", [](auto& b) { b.push_back(std::byte{0}); }},
        {"it says it has 275 bytes, but 274 arrived", [](auto& b) { b.pop_back(); }},
        {"byte 51: material 0 has origin 2 (0 or 1)", [](auto& b) { put32(b, kMaterialsAt, 2); }},
        {"byte 99: material 1 has a number that is not finite", [&](auto& b) { putFloat(b, kMaterialsAt + 48 + 20, inf); }},
        {"byte 159: position 1 is not finite", [&](auto& b) { putFloat(b, kPositionsAt + 12, nan); }},
        {"byte 239: normal 3 is not finite", [&](auto& b) { putFloat(b, kNormalsAt + 44, -inf); }},
        {"byte 263: index 5 is 4, beyond the 4 vertices", [](auto& b) { put32(b, kIndicesAt + 20, 4); }},
        {"byte 271: material of face 1 is 2, beyond the 2 materials", [](auto& b) { put32(b, kFaceMaterialsAt + 4, 2); }},
        {"byte 20: format name of 5000 bytes, more than 4096", [](auto& b) { put32(b, 20, 5000); }},
    };
    for (const Case& c : cases) {
        std::vector<std::byte> bytes = modelimport::encodeMesh(quad(false));
        c.breakIt(bytes);
        const auto [number, text] = importtest::raised([&] { decodeHandover(bytes, "/m/quad.glb"); });
        EXPECT_EQ(number, D3DXERR_INVALIDDATA) << c.rule;
        EXPECT_NE(text.find("/m/quad.glb: the importer's handover"), std::string::npos) << text;
        EXPECT_NE(text.find(c.rule), std::string::npos) << text;
    }
    // A texture coordinate, and a failure record with a reason no child writes.
    std::vector<std::byte> withTexCoords = modelimport::encodeMesh(quad(true));
    putFloat(withTexCoords, kNormalsAt + 48 + 8 + 4, nan);
    EXPECT_NE(importtest::raised([&] { decodeHandover(withTexCoords, "q"); }).second.find("texture coordinate 1 is not finite"),
              std::string::npos);
    std::vector<std::byte> failure = modelimport::encodeFailure(modelimport::FailureReason::Unreadable, "x");
    put32(failure, 20, 3);
    EXPECT_NE(importtest::raised([&] { decodeHandover(failure, "q"); }).second.find("byte 20: failure reason 3"),
              std::string::npos);
}

}  // namespace
