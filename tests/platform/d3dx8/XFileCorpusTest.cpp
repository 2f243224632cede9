// Every .x file we know of (the models and real files written by other programs), with cut and
// damaged copies of the small ones, loads to exactly the bytes (or fails with exactly the
// error) recorded in xfile-oracle.tsv. The table was recorded when every corpus file also
// loaded with the counts of its row in the corpus manifest. Corpus rows are skipped when the
// shared corpus is not there (under CI its absence fails the test).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <string>

#include "d3dx8/MeshLoader.h"
#include "runtime/Error.h"
#include "runtime/Status.h"
#include "support/SharedData.h"
#include "xfile/XFile.h"

namespace {

// What LoadMeshFromX makes of a file, as one line of text: counts and format, then a digest of
// each buffer it hands out (vertices, indices, attributes, attribute table, materials with
// their texture names, adjacency), or the error number and text. Two loads that give the same
// line gave the same bytes.

// 64-bit FNV-1a: enough to tell buffers apart, short enough to keep in a table.
uint64_t digest(const void* data, size_t size, uint64_t h = 0xCBF29CE484222325ull) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

template <class T>
uint64_t digestOf(std::span<const T> values) {
    return digest(values.data(), values.size_bytes());
}

std::string hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string describeMesh(const d3dx8::MeshFromX& loaded) {
    const D3DXMesh& mesh = *loaded.mesh;
    uint64_t materials = digestOf(std::span<const D3DMATERIAL8>(loaded.materials));
    for (const std::string& name : loaded.textureFilenames) materials = digest(name.c_str(), name.size() + 1, materials);
    const auto adjacency = d3dx8::makeAdjacencyBuffer(mesh);
    return "v=" + std::to_string(mesh.GetNumVertices()) + " f=" + std::to_string(mesh.GetNumFaces()) +
           " fvf=" + std::to_string(mesh.GetFVF()) + " index=" + std::to_string(mesh.GetIndexBuffer()->indexSize()) +
           " vb=" + hex(digestOf(mesh.GetVertexBuffer()->bytes())) + " ib=" + hex(digestOf(mesh.GetIndexBuffer()->bytes())) +
           " attr=" + hex(digestOf(mesh.attributes())) + " table=" + hex(digestOf(mesh.attributeTable())) +
           " mat=" + hex(materials) + " adj=" +
           hex(digest(adjacency->GetBufferPointer(), adjacency->GetBufferSize()));
}

// 16-bit indices when they suffice, 32-bit otherwise.
std::string describeLoad(std::span<const std::byte> bytes, std::string_view name) {
    try {
        try {
            return describeMesh(d3dx8::loadMeshFromXInMemory(bytes, name, D3DXMESH_SYSTEMMEM, nullptr));
        } catch (const rt::Error& e) {
            if (e.number() != D3DERR_INVALIDCALL) throw;
            return describeMesh(d3dx8::loadMeshFromXInMemory(bytes, name, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, nullptr));
        }
    } catch (const rt::Error& e) {
        return "error " + std::to_string(e.number()) + " " + e.text();
    }
}

const std::string kCorpus = std::string(CELSHADE_SHARED_DIR) + "/xfiles";
const std::string kData = std::string(CELSHADE_SOURCE_DIR) + "/data";
const std::string kOracle = std::string(CELSHADE_SOURCE_DIR) + "/tests/platform/d3dx8/xfile-oracle.tsv";

struct OracleInput {
    std::string key;   // the row's name in the table
    std::string name;  // the file name the loader reports
    std::vector<std::byte> bytes;
};

// Every model and corpus file, and for the small files that load, copies cut short and copies
// with one byte overwritten at six places each: the errors they raise are pinned as well.
std::vector<OracleInput> oracleInputs() {
    std::vector<OracleInput> inputs;
    for (int i = 1; i <= 5; ++i) {
        const std::string name = "doom" + std::to_string(i) + ".x";
        inputs.push_back({name, name, xfile::readFileBytes(kData + "/" + name)});
    }
    if (!std::filesystem::exists(kCorpus)) return inputs;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus))
        if (entry.path().extension() == ".x") paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        const std::string name = path.filename().string();
        inputs.push_back({"xfiles/" + name, name, xfile::readFileBytes(path.string())});
    }
    const size_t whole = inputs.size();
    for (size_t i = 0; i < whole; ++i) {
        const std::vector<std::byte> file = inputs[i].bytes;
        if (file.size() > 200000 || describeLoad(file, "x").starts_with("error")) continue;
        for (size_t k = 1; k <= 6; ++k) {
            const size_t at = file.size() * k / 7;
            inputs.push_back({inputs[i].key + " cut " + std::to_string(at), inputs[i].name,
                              std::vector<std::byte>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(at))});
            std::vector<std::byte> damaged = file;
            damaged[at] = std::byte{'@'};
            inputs.push_back({inputs[i].key + " byte " + std::to_string(at), inputs[i].name, std::move(damaged)});
        }
    }
    return inputs;
}

std::map<std::string, std::string> readOracle() {
    std::map<std::string, std::string> rows;
    std::ifstream in(kOracle);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) rows[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return rows;
}

}  // namespace

// CELSHADE_WRITE_XFILE_ORACLE=1 rewrites the table from the reader as it stands: only for a
// change of output that was meant, and then the diff of the table is part of the change.
TEST(XFileCorpus, EveryFileLoadsToTheRecordedBytesOrError) {
    const std::vector<OracleInput> inputs = oracleInputs();
    if (std::getenv("CELSHADE_WRITE_XFILE_ORACLE") != nullptr) {
        std::ofstream out(kOracle);
        out << "# LoadMeshFromX of each file: counts and digests of its buffers, or its error. See XFileCorpusTest.cpp.\n";
        for (const OracleInput& input : inputs) out << input.key << '\t' << describeLoad(input.bytes, input.name) << '\n';
        GTEST_SKIP() << "wrote " << kOracle;
    }
    if (testsupport::underCi()) {
        ASSERT_TRUE(std::filesystem::exists(kCorpus)) << "CI=true, but " << kCorpus << " is missing";
    }
    const auto expected = readOracle();
    ASSERT_FALSE(expected.empty()) << kOracle;
    for (const OracleInput& input : inputs) {
        auto row = expected.find(input.key);
        ASSERT_NE(row, expected.end()) << input.key << " has no row";
        EXPECT_EQ(describeLoad(input.bytes, input.name), row->second) << input.key;
    }
}
