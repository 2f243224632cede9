#include "Model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace datagen {

float roundToWritten(double value) {
    float f = static_cast<float>(value);
    // Twice, so that the result is a fixed point: writing it again gives the same text.
    for (int i = 0; i < 2; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "%.6f", static_cast<double>(f));
        f = std::strtof(text, nullptr);
    }
    return f == 0.0f ? 0.0f : f;
}

Material makeMaterial(float r, float g, float b, float power, float specular) {
    Material m;
    m.faceColor = {r, g, b, 1.0f};
    m.power = power;
    m.specularColor = {specular, specular, specular};
    return m;
}

ModelBuilder::ModelBuilder(std::string name, std::vector<Material> materials) {
    model_.name = std::move(name);
    model_.materials = std::move(materials);
}

void ModelBuilder::add(const std::string& partName, const Shape& shape, const Affine& placement,
                       uint32_t material) {
    const uint32_t base = static_cast<uint32_t>(exact_.size());
    const uint32_t part = static_cast<uint32_t>(model_.parts.size());
    model_.parts.push_back({partName, shape.closure});
    for (const ShapeVertex& v : shape.vertices)
        exact_.push_back({placement.point(v.position), placement.normal(v.normal), v.u, v.v});
    // A mirroring placement turns the surface inside out; swapping two corners turns it back.
    const bool swap = placement.mirrors();
    for (const auto& t : shape.triangles) {
        Face f;
        f.corners = swap ? std::array<uint32_t, 3>{base + t[0], base + t[2], base + t[1]}
                         : std::array<uint32_t, 3>{base + t[0], base + t[1], base + t[2]};
        f.material = material;
        f.part = part;
        model_.faces.push_back(f);
    }
}

namespace {

Float3 roundVector(Vec3 v) { return {roundToWritten(v.x), roundToWritten(v.y), roundToWritten(v.z)}; }

bool samePosition(const Float3& a, const Float3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

Vec3 boundingBoxCentre(const std::vector<ShapeVertex>& vertices) {
    const double inf = std::numeric_limits<double>::infinity();
    Vec3 lo{inf, inf, inf}, hi{-inf, -inf, -inf};
    for (const ShapeVertex& v : vertices) {
        lo = {std::min(lo.x, v.position.x), std::min(lo.y, v.position.y), std::min(lo.z, v.position.z)};
        hi = {std::max(hi.x, v.position.x), std::max(hi.y, v.position.y), std::max(hi.z, v.position.z)};
    }
    return (lo + hi) * 0.5;
}

}  // namespace

Model ModelBuilder::finish() {
    const Vec3 centre = boundingBoxCentre(exact_);
    std::vector<Vertex> rounded;
    for (const ShapeVertex& v : exact_)
        rounded.push_back({roundVector(v.position - centre), roundVector(v.normal), roundToWritten(v.u),
                           roundToWritten(v.v)});
    std::vector<Face> faces;
    for (const Face& f : model_.faces) {
        const Float3 &a = rounded[f.corners[0]].position, &b = rounded[f.corners[1]].position,
                     &c = rounded[f.corners[2]].position;
        if (!samePosition(a, b) && !samePosition(b, c) && !samePosition(c, a)) faces.push_back(f);
    }
    std::stable_sort(faces.begin(), faces.end(),
                     [](const Face& x, const Face& y) { return x.material < y.material; });
    // Keep only referenced vertices, numbered in order of first use.
    const uint32_t unused = std::numeric_limits<uint32_t>::max();
    std::vector<uint32_t> newIndex(rounded.size(), unused);
    model_.vertices.clear();
    for (Face& f : faces)
        for (uint32_t& c : f.corners) {
            if (newIndex[c] == unused) {
                newIndex[c] = static_cast<uint32_t>(model_.vertices.size());
                model_.vertices.push_back(rounded[c]);
            }
            c = newIndex[c];
        }
    model_.faces = std::move(faces);
    return model_;
}

}  // namespace datagen
