// Real .x files written by other programs: each loads with the counts its manifest row gives,
// or fails as the row says. Skipped when the shared corpus is not there.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "d3dx8/MeshLoader.h"
#include "runtime/Error.h"
#include "xfile/XFile.h"

namespace {

const std::string kCorpus = std::string(CELSHADE_SHARED_DIR) + "/xfiles";

struct Row {
    std::string file;
    int meshes = 0, vertices = 0, faces = 0, triangles = 0;
};

std::vector<Row> manifest() {
    std::ifstream in(kCorpus + "/MANIFEST.tsv");
    std::vector<Row> rows;
    std::vector<std::string> columns;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (columns.empty()) {
            columns = fields;
            continue;
        }
        auto field = [&](const char* name) {
            return fields.at(std::find(columns.begin(), columns.end(), name) - columns.begin());
        };
        auto number = [&](const char* name) { return std::stoi(field(name)); };
        rows.push_back({field("file"), number("file_meshes"), number("file_vertices"), number("file_faces"),
                        number("file_triangles")});
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
