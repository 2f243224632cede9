// Real .x files written by other programs: each loads with the counts its manifest row gives,
// or fails as the row says. Skipped when the shared corpus is not there.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "d3dx8/MeshLoader.h"
#include "runtime/Error.h"
#include "support/SharedData.h"
#include "xfile/XFile.h"

namespace {

const std::string kCorpus = std::string(CELSHADE_SHARED_DIR) + "/xfiles";

// The manifest's rows, each as column name -> cell.
std::vector<std::map<std::string, std::string>> manifest() {
    std::ifstream in(kCorpus + "/MANIFEST.tsv");
    std::vector<std::map<std::string, std::string>> rows;
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
        auto& row = rows.emplace_back();
        for (size_t i = 0; i < columns.size() && i < fields.size(); ++i) row[columns[i]] = fields[i];
    }
    return rows;
}

}  // namespace

TEST(XFileCorpus, EveryFileLoadsWithItsManifestCountsOrFailsCleanly) {
    SKIP_WITHOUT_SHARED("xfiles/MANIFEST.tsv");
    const auto rows = manifest();
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.at("file"));
        auto count = [&](const char* column) { return std::stoi(row.at(column)); };
        const std::string path = kCorpus + "/" + row.at("file");
        if (count("file_meshes") == 0) {
            EXPECT_THROW(d3dx8::buildMeshFromX(xfile::load(path), D3DXMESH_SYSTEMMEM, nullptr), rt::Error);
            continue;
        }
        xfile::Document document = xfile::load(path);
        ASSERT_EQ(static_cast<int>(document.meshes.size()), count("file_meshes"));
        int vertices = 0, faces = 0;
        for (const xfile::Mesh& mesh : document.meshes) {
            vertices += static_cast<int>(mesh.positions.size());
            faces += static_cast<int>(mesh.faces.sizes.size());
        }
        EXPECT_EQ(vertices, count("file_vertices"));
        EXPECT_EQ(faces, count("file_faces"));
        d3dx8::MeshFromX loaded = d3dx8::buildMeshFromX(document, D3DXMESH_SYSTEMMEM, nullptr);
        EXPECT_EQ(static_cast<int>(loaded.mesh->GetNumFaces()), count("file_triangles"));
        EXPECT_GE(static_cast<int>(loaded.mesh->GetNumVertices()), vertices);
        EXPECT_FALSE(loaded.mesh->attributeTable().empty());
    }
}
