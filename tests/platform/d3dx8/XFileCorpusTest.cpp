// Real .x files written by other programs: each loads with the counts its manifest row gives,
// or fails as the row says. Skipped when the shared corpus is not there.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "d3dx8/MeshLoader.h"
#include "runtime/Error.h"
#include "xfile/XFile.h"

namespace {

const std::string kCorpus = std::string(CELSHADE_SHARED_DIR) + "/xfiles";

struct Row {
    std::string file, result;
    int meshes = 0, vertices = 0, faces = 0, triangles = 0;
};

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

std::vector<Row> manifest() {
    std::ifstream in(kCorpus + "/MANIFEST.tsv");
    std::vector<Row> rows;
    std::vector<std::string> columns;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields = splitTabs(line);
        if (columns.empty()) {
            columns = fields;
            continue;
        }
        auto field = [&](const char* name) {
            for (size_t i = 0; i < columns.size() && i < fields.size(); ++i)
                if (columns[i] == name) return fields[i];
            return std::string();
        };
        rows.push_back({field("file"), field("assimp_result"), std::stoi(field("file_meshes")),
                        std::stoi(field("file_vertices")), std::stoi(field("file_faces")),
                        std::stoi(field("file_triangles"))});
    }
    return rows;
}

}  // namespace

TEST(XFileCorpus, EveryFileLoadsWithItsManifestCountsOrFailsCleanly) {
    if (!std::filesystem::exists(kCorpus + "/MANIFEST.tsv")) GTEST_SKIP() << "no corpus at " << kCorpus;
    std::vector<Row> rows = manifest();
    ASSERT_FALSE(rows.empty());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::string path = kCorpus + "/" + row.file;
        if (row.meshes == 0) {
            EXPECT_THROW(d3dx8::buildMeshFromX(xfile::load(path), D3DXMESH_SYSTEMMEM, nullptr), rt::Error);
            continue;
        }
        xfile::Document document = xfile::load(path);
        ASSERT_EQ(static_cast<int>(document.meshes.size()), row.meshes);
        int vertices = 0, faces = 0;
        for (const xfile::Mesh& mesh : document.meshes) {
            vertices += static_cast<int>(mesh.positions.size());
            faces += static_cast<int>(mesh.faces.sizes.size());
        }
        EXPECT_EQ(vertices, row.vertices);
        EXPECT_EQ(faces, row.faces);
        d3dx8::MeshFromX loaded = d3dx8::buildMeshFromX(document, D3DXMESH_SYSTEMMEM, nullptr);
        EXPECT_EQ(static_cast<int>(loaded.mesh->GetNumFaces()), row.triangles);
        EXPECT_GE(static_cast<int>(loaded.mesh->GetNumVertices()), row.vertices);
        EXPECT_FALSE(loaded.mesh->attributeTable().empty());
    }
}

// The text, binary and compressed cubes are one model in three encodings.
TEST(XFileCorpus, TheThreeEncodingsOfOneCubeLoadAlike) {
    if (!std::filesystem::exists(kCorpus + "/assimp_test_cube_text.x")) GTEST_SKIP() << "no corpus";
    auto bytesOf = [](const char* name) {
        d3dx8::MeshFromX m = d3dx8::buildMeshFromX(xfile::load(kCorpus + "/" + name), D3DXMESH_SYSTEMMEM, nullptr);
        std::span<const std::byte> b = m.mesh->GetVertexBuffer()->bytes();
        return std::vector<std::byte>(b.begin(), b.end());
    };
    std::vector<std::byte> text = bytesOf("assimp_test_cube_text.x");
    EXPECT_EQ(bytesOf("assimp_test_cube_binary.x"), text);
    EXPECT_EQ(bytesOf("assimp_test_cube_compressed.x"), text);
}

// tiny.x hangs its mesh two frames deep: a scaling rotation with a translation, and inside it
// a translation. A vertex goes through the inner frame first.
TEST(XFileCorpus, NestedFramesPlaceTinyChildFrameFirst) {
    if (!std::filesystem::exists(kCorpus + "/ms_tiny.x")) GTEST_SKIP() << "no corpus";
    xfile::Document document = xfile::load(kCorpus + "/ms_tiny.x");
    const xfile::Mesh& mesh = document.meshes.at(0);
    const xfile::Frame& inner = document.frames.at(static_cast<size_t>(mesh.frame));
    const xfile::Frame& outer = document.frames.at(static_cast<size_t>(inner.parent));
    ASSERT_NE(inner.transform, xfile::identityMatrix());
    ASSERT_NE(outer.transform, xfile::identityMatrix());
    d3dx8::MeshFromX loaded = d3dx8::buildMeshFromX(document, D3DXMESH_SYSTEMMEM, nullptr);
    auto apply = [](const xfile::Matrix4& m, const std::array<double, 3>& v) {
        std::array<double, 3> r{};
        for (int c = 0; c < 3; ++c) r[c] = v[0] * m[c] + v[1] * m[4 + c] + v[2] * m[8 + c] + m[12 + c];
        return r;
    };
    for (size_t i : {size_t{0}, size_t{1000}, size_t{4431}}) {
        const xfile::Vec3& p = mesh.positions[i];
        std::array<double, 3> expected = apply(outer.transform, apply(inner.transform, {p.x, p.y, p.z}));
        float actual[3];
        std::memcpy(actual, loaded.mesh->GetVertexBuffer()->bytes().data() + i * loaded.mesh->vertexSize(), 12);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(actual[c], expected[c], 1e-3) << "vertex " << i;
    }
}
