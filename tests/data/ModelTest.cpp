// The five models as they are written: budgets, material grouping, closed outward shells,
// and the round trip through the program's own .x reader and mesh loader. Built once and
// shared, the rose takes a moment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <tuple>

#include "Models.h"
#include "Primitives.h"
#include "d3dx8/MeshLoader.h"
#include "xfile/XFile.h"

namespace datagen::test {
namespace {

Vec3 at(const Model& m, const Face& f, int k) {
    const Float3& p = m.vertices[f.corners[static_cast<size_t>(k)]].position;
    return {p.x, p.y, p.z};
}

// (P1 - P0) x (P2 - P0): outward for a front face.
Vec3 windingNormal(const Model& m, const Face& f) {
    return cross(at(m, f, 1) - at(m, f, 0), at(m, f, 2) - at(m, f, 0));
}

// Over the faces `keep` selects: corners whose vertex normal points against the face's
// winding normal; directed edges, matched by position, that no face runs the other way; and
// six times the enclosed volume, positive when the winding normals point outward.
struct Shell {
    size_t cornersAgainstWinding = 0, unmatchedEdges = 0;
    double sixTimesVolume = 0;
};
Shell shell(const Model& m, const std::function<bool(const Face&)>& keep) {
    Shell s;
    std::map<std::tuple<double, double, double, double, double, double>, int> balance;
    for (const Face& f : m.faces) {
        if (!keep(f)) continue;
        for (uint32_t c : f.corners) {
            const Float3& n = m.vertices[c].normal;
            if (dot(windingNormal(m, f), {n.x, n.y, n.z}) <= 0) ++s.cornersAgainstWinding;
        }
        for (int k = 0; k < 3; ++k) {
            const Vec3 a = at(m, f, k), b = at(m, f, (k + 1) % 3);
            ++balance[{a.x, a.y, a.z, b.x, b.y, b.z}];
            --balance[{b.x, b.y, b.z, a.x, a.y, a.z}];
        }
        s.sixTimesVolume += dot(at(m, f, 0), cross(at(m, f, 1), at(m, f, 2)));
    }
    for (const auto& [key, count] : balance) s.unmatchedEdges += static_cast<size_t>(std::max(count, 0));
    return s;
}

struct Budget { size_t file, minFaces, maxFaces; };

class EveryModel : public ::testing::TestWithParam<Budget> {
protected:
    const ModelFile& file() const { return modelFiles()[GetParam().file]; }
    const Model& model() const {
        static std::map<size_t, Model> cache;
        auto it = cache.find(GetParam().file);
        return it != cache.end() ? it->second : cache.emplace(GetParam().file, file().build()).first->second;
    }
};

// The renderer draws one attribute range per material, in material order, with 16-bit
// indices; a face without area has no normal and would give the edge builder NaNs.
TEST_P(EveryModel, FitsSixteenBitIndicesItsBudgetAndAscendingMaterialGroups) {
    const Model& m = model();
    EXPECT_LT(m.vertices.size(), 65536u);
    EXPECT_GE(m.faces.size(), GetParam().minFaces);
    EXPECT_LE(m.faces.size(), GetParam().maxFaces);
    EXPECT_GE(m.materials.size(), 2u);
    EXPECT_LE(m.materials.size(), 6u);
    ASSERT_EQ(m.faces.front().material, 0u);
    EXPECT_EQ(m.faces.back().material, m.materials.size() - 1);
    for (size_t i = 0; i < m.faces.size(); ++i) {
        SCOPED_TRACE("face " + std::to_string(i));
        ASSERT_LE(m.faces[i].material - m.faces[i > 0 ? i - 1 : 0].material, 1u) << "descending or skipping";
        for (uint32_t c : m.faces[i].corners) ASSERT_LT(c, m.vertices.size());
        ASSERT_GT(length(windingNormal(m, m.faces[i])), 0.0);
    }
}

// Solids must enclose their volume with front faces outside; sheets must be two-sided, so
// that culling never opens a hole and their rims come out as creases. The program turns the
// model about the origin and frames it by its bounding sphere.
TEST_P(EveryModel, ShapesAreClosedOutwardAndCentredAtAboutElevenUnits) {
    const Model& m = model();
    for (const Vertex& v : m.vertices) ASSERT_NEAR(length({v.normal.x, v.normal.y, v.normal.z}), 1.0, 2e-6);
    std::set<std::string> names;
    for (const auto& part : m.parts) {
        if (!names.insert(part.name).second) continue;
        SCOPED_TRACE(part.name);
        const Shell s = shell(m, [&](const Face& f) { return m.parts[f.part].name == part.name; });
        EXPECT_EQ(s.cornersAgainstWinding, 0u);
        EXPECT_EQ(s.unmatchedEdges, 0u);
        EXPECT_TRUE(part.closure != Closure::Solid || s.sixTimesVolume > 0) << "inside out";
    }
    double reach = 0;
    for (float Float3::*axis : {&Float3::x, &Float3::y, &Float3::z}) {
        auto [lo, hi] = std::minmax_element(m.vertices.begin(), m.vertices.end(), [&](const Vertex& a, const Vertex& b) {
            return a.position.*axis < b.position.*axis;
        });
        EXPECT_NEAR((lo->position.*axis + hi->position.*axis) / 2, 0.0, 1e-5);
        reach = std::max(reach, static_cast<double>(hi->position.*axis - lo->position.*axis) / 2);
    }
    EXPECT_GT(reach, 6.0);
    EXPECT_LT(reach, 14.0);
}

// Every value must come back exactly (they are rounded to what the text encoding writes),
// and the loader must find one attribute range per material without splitting a vertex.
TEST_P(EveryModel, ReadsBackThroughOurReaderAndLoadsWithARangePerMaterial) {
    const Model& m = model();
    const std::vector<uint8_t> bytes = writeX(m, file().encoding);
    const xfile::Document doc = xfile::parse(std::as_bytes(std::span(bytes)), file().fileName);
    ASSERT_EQ(doc.frames.size(), 1u);
    EXPECT_EQ(doc.frames[0].name, m.name);
    ASSERT_EQ(doc.meshes.size(), 1u);
    const xfile::Mesh& mesh = doc.meshes[0];
    ASSERT_EQ(mesh.positions.size(), m.vertices.size());
    ASSERT_TRUE(mesh.normals && mesh.texCoords && mesh.materialList);
    ASSERT_EQ(mesh.normals->normals.size(), m.vertices.size());
    EXPECT_EQ(mesh.texCoords->size(), m.vertices.size());
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        const Float3 &p = m.vertices[i].position, &n = m.vertices[i].normal;
        const xfile::Vec3 &rp = mesh.positions[i], &rn = mesh.normals->normals[i];
        ASSERT_TRUE(rp.x == p.x && rp.y == p.y && rp.z == p.z && rn.x == n.x && rn.y == n.y && rn.z == n.z) << i;
    }
    ASSERT_EQ(mesh.faces.sizes, std::vector<uint32_t>(m.faces.size(), 3));
    const std::vector<xfile::Material>& materials = mesh.materialList->materials;
    ASSERT_EQ(materials.size(), m.materials.size());
    for (size_t f = 0; f < m.faces.size(); ++f) {
        ASSERT_EQ(mesh.materialList->faceMaterials[f], m.faces[f].material);
        for (size_t k = 0; k < 3; ++k) ASSERT_EQ(mesh.faces.indices[3 * f + k], m.faces[f].corners[k]);
    }
    for (size_t i = 0; i < m.materials.size(); ++i) {
        const xfile::ColorRGBA& c = materials[i].faceColor;
        EXPECT_TRUE(c.r == m.materials[i].faceColor[0] && c.g == m.materials[i].faceColor[1] &&
                    c.b == m.materials[i].faceColor[2] && materials[i].power == m.materials[i].power);
    }

    d3dx8::MeshFromX loaded =
        d3dx8::loadMeshFromXInMemory(std::as_bytes(std::span(bytes)), file().fileName, D3DXMESH_SYSTEMMEM, nullptr);
    EXPECT_EQ(loaded.mesh->GetNumVertices(), m.vertices.size());
    uint32_t ranges = 0;
    loaded.mesh->GetAttributeTable(nullptr, &ranges);
    EXPECT_EQ(ranges, m.materials.size());
}

INSTANTIATE_TEST_SUITE_P(Models, EveryModel,
                         ::testing::Values(Budget{0, 3000, 8000}, Budget{1, 5000, 15000}, Budget{2, 36000, 44000},
                                           Budget{3, 10000, 20000}, Budget{4, 400, 700}),
                         [](const auto& info) { return "doom" + std::to_string(info.param.file + 1); });

// No model places a shape through a mirror yet; when one does, the mirror flips the winding
// and the placed shape must still be closed and face outward.
TEST(ShapePlacement, MirroredAndUnevenlyScaledShapesStayOutward) {
    const Affine mirror = Affine::translate({-2, 0, 1}) * Affine::rotateY(1.1) * Affine::scale({-1.3, 0.8, 1.0});
    ASSERT_TRUE(mirror.mirrors());
    const std::pair<const char*, Shape> shapes[] = {
        {"chamfered box", chamferBox({1, 2, 0.5}, 0.2)},
        {"torus", torus(2, 0.5, 16, 8)},
        {"pointed tube", tube([](double s) { return Vec3{0, 2 * s, s}; }, [](double s) { return 0.3 * std::sin(kPi * s); }, 8, 10)},
    };
    for (const auto& [name, shape] : shapes) {
        SCOPED_TRACE(name);
        ModelBuilder b("Test", {makeMaterial(1, 1, 1, 1, 0)});
        b.add(name, shape, mirror, 0);
        const Model m = b.finish();
        const Shell s = shell(m, [](const Face&) { return true; });
        EXPECT_EQ(s.unmatchedEdges, 0u);
        EXPECT_EQ(s.cornersAgainstWinding, 0u);
        EXPECT_GT(s.sixTimesVolume, 0.0);
    }
}

}  // namespace
}  // namespace datagen::test
