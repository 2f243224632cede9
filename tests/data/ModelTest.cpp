// Sanity of the five models as they are written: budgets, material grouping, winding,
// closed outward shells. Built once and shared, the rose takes a moment.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "MeshChecks.h"
#include "Models.h"
#include "Primitives.h"

namespace datagen::test {
namespace {

struct Budget {
    const char* file;
    size_t minFaces, maxFaces;
};

const Budget kBudgets[] = {{"doom1.x", 3000, 8000},
                           {"doom2.x", 5000, 15000},
                           {"doom3.x", 36000, 44000},
                           {"doom4.x", 10000, 20000},
                           {"doom5.x", 400, 700}};

const Model& built(const std::string& file) {
    static std::map<std::string, Model> cache;
    auto it = cache.find(file);
    if (it != cache.end()) return it->second;
    for (const ModelFile& f : modelFiles())
        if (f.fileName == file) return cache.emplace(file, f.build()).first->second;
    throw std::runtime_error("no model " + file);
}

void PrintTo(const Budget& b, std::ostream* os) { *os << b.file; }

class EveryModel : public ::testing::TestWithParam<Budget> {
protected:
    const Model& model() const { return built(GetParam().file); }
};

TEST_P(EveryModel, FitsSixteenBitIndicesAndItsFaceBudget) {
    const Model& m = model();
    EXPECT_LT(m.vertices.size(), 65536u);
    EXPECT_GE(m.faces.size(), GetParam().minFaces);
    EXPECT_LE(m.faces.size(), GetParam().maxFaces);
    EXPECT_GE(m.materials.size(), 2u);
    EXPECT_LE(m.materials.size(), 6u);
}

// The renderer draws attribute ranges of the file's face order; one range per material,
// in material order, needs faces grouped that way and every material used.
TEST_P(EveryModel, FacesRunThroughEveryMaterialInAscendingOrder) {
    const Model& m = model();
    std::set<uint32_t> used;
    for (size_t i = 0; i < m.faces.size(); ++i) {
        ASSERT_LT(m.faces[i].material, m.materials.size());
        if (i > 0) {
            ASSERT_LE(m.faces[i - 1].material, m.faces[i].material) << "face " << i;
        }
        used.insert(m.faces[i].material);
    }
    EXPECT_EQ(used.size(), m.materials.size());
}

// A face with two corners at one position has no normal; the edge builder would get NaNs.
TEST_P(EveryModel, IndicesInRangeAndNoFaceWithoutArea) {
    const Model& m = model();
    for (size_t i = 0; i < m.faces.size(); ++i) {
        for (uint32_t c : m.faces[i].corners) ASSERT_LT(c, m.vertices.size());
        ASSERT_GT(length(windingNormal(m, m.faces[i])), 0.0) << "face " << i;
    }
}

TEST_P(EveryModel, VertexNormalsAreUnitAndAgreeWithWinding) {
    const Model& m = model();
    for (const Vertex& v : m.vertices)
        ASSERT_NEAR(length({v.normal.x, v.normal.y, v.normal.z}), 1.0, 2e-6);
    for (uint32_t p = 0; p < m.parts.size(); ++p)
        EXPECT_EQ(cornersAgainstWinding(m, facesOfPart(m, p)), 0u) << m.parts[p].name << " (part " << p << ")";
}

// Solids must enclose their volume with front faces outside; sheets must be two-sided, so
// that culling never opens a hole and their rims come out as creases.
TEST_P(EveryModel, SolidsAreClosedOutwardAndSheetsTwoSided) {
    const Model& m = model();
    std::map<std::string, Closure> names;
    for (const Part& p : m.parts) names[p.name] = p.closure;
    for (const auto& [name, closure] : names) {
        SCOPED_TRACE(name);
        auto faces = facesNamed(m, name);
        ASSERT_FALSE(faces.empty());
        EXPECT_EQ(unmatchedEdges(m, faces), 0u);
        if (closure == Closure::Solid) {
            EXPECT_GT(signedVolume(m, faces), 0.0);
        }
    }
}

// The program turns the model about the origin and frames it by its bounding sphere.
TEST_P(EveryModel, CentredOnTheOriginAtAboutElevenUnits) {
    const Model& m = model();
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (const Vertex& v : m.vertices) {
        const float p[3] = {v.position.x, v.position.y, v.position.z};
        for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
    }
    double reach = 0;
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR((lo[k] + hi[k]) / 2, 0.0, 1e-5) << "axis " << k;
        reach = std::max(reach, static_cast<double>(hi[k] - lo[k]) / 2);
    }
    EXPECT_GT(reach, 6.0);
    EXPECT_LT(reach, 14.0);
}

INSTANTIATE_TEST_SUITE_P(Models, EveryModel, ::testing::ValuesIn(kBudgets),
                         [](const auto& info) { return std::string(info.param.file).substr(0, 5); });

// A placement with a mirror flips the winding; scaling unevenly bends normals. Either way
// the placed shape must still face outward.
TEST(ShapePlacement, MirroredAndUnevenlyScaledShapesStayOutward) {
    const Affine placements[] = {
        Affine::translate({1, 2, 3}) * Affine::rotateX(0.4) * Affine::scale({1.5, 0.6, 1.1}),
        Affine::translate({-2, 0, 1}) * Affine::rotateY(1.1) * Affine::scale({-1.3, 0.8, 1.0}),
    };
    const std::pair<const char*, Shape> shapes[] = {
        {"chamfered box", chamferBox({1, 2, 0.5}, 0.2)},
        {"plain box", chamferBox({1, 1, 1}, 0)},
        {"sphere", sphere(1, 16, 8)},
        {"torus", torus(2, 0.5, 16, 8)},
        {"cylinder", cylinder(0.5, 2, 12)},
        {"band", band(1.5, 2, 0.2, 24)},
        {"prism", prism({{0, 1}, {1, 0}, {0, -1}, {-0.5, 0}}, 2)},
        {"capped tube", tube([](double s) { return Vec3{s, s * s, 0}; }, [](double s) { return 0.2 + 0.1 * s; }, 8, 10)},
        {"pointed tube", tube([](double s) { return Vec3{0, 2 * s, s}; }, [](double s) { return 0.3 * std::sin(kPi * s); }, 8, 10)},
    };
    for (const Affine& placement : placements)
        for (const auto& [name, shape] : shapes) {
            SCOPED_TRACE(std::string(name) + (placement.mirrors() ? ", mirrored" : ", scaled"));
            ModelBuilder b("Test", {makeMaterial(1, 1, 1, 1, 0)});
            b.add(name, shape, placement, 0);
            Model m = b.finish();
            std::vector<const Face*> all;
            for (const Face& f : m.faces) all.push_back(&f);
            EXPECT_EQ(unmatchedEdges(m, all), 0u);
            EXPECT_EQ(cornersAgainstWinding(m, all), 0u);
            EXPECT_GT(signedVolume(m, all), 0.0);
        }
}

TEST(ShapePlacement, PinchedSheetKeepsBothSidesAndDropsCollapsedFaces) {
    Shape s = sheet([](double u, double v) { return Vec3{u, std::sin(kPi * u) * (v - 0.5), u * u}; }, 6, 4);
    ModelBuilder b("Test", {makeMaterial(1, 1, 1, 1, 0)});
    b.add("sheet", s, Affine{}, 0);
    Model m = b.finish();
    std::vector<const Face*> all;
    for (const Face& f : m.faces) all.push_back(&f);
    // Both pinched ends lose one triangle per column on each side.
    EXPECT_EQ(m.faces.size(), 2u * (6 * 4 * 2 - 2 * 4));
    EXPECT_EQ(unmatchedEdges(m, all), 0u);
    EXPECT_EQ(cornersAgainstWinding(m, all), 0u);
}

}  // namespace
}  // namespace datagen::test
