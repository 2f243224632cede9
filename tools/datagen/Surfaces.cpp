// Parametric shapes: two-sided sheets (petals, leaves) and tubes along curves (stems).
#include "Primitives.h"

namespace datagen {
namespace {

constexpr double kStep = 1e-4;

// Central differences; where the sheet pinches to a point the derivative across vanishes,
// so the sample moves a little towards the middle of the domain until the normal exists.
Vec3 sheetNormal(const SheetFunction& f, double s, double t) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        Vec3 ds = f(s + kStep, t) - f(s - kStep, t);
        Vec3 dt = f(s, t + kStep) - f(s, t - kStep);
        Vec3 n = cross(ds, dt);
        if (length(n) > 1e-16) return normalize(n);
        s += (0.5 - s) * 0.02;
        t += (0.5 - t) * 0.02;
    }
    return {};
}

void sheetSide(Shape& shape, const std::vector<Vec3>& pos, const std::vector<Vec3>& nrm, int sSteps,
               int tSteps, bool front) {
    const uint32_t base = static_cast<uint32_t>(shape.vertices.size());
    const uint32_t row = static_cast<uint32_t>(tSteps) + 1;
    for (int i = 0; i <= sSteps; ++i)
        for (int j = 0; j <= tSteps; ++j) {
            size_t k = static_cast<size_t>(i) * row + static_cast<size_t>(j);
            shape.addVertex(pos[k], front ? nrm[k] : -nrm[k], static_cast<double>(i) / sSteps,
                            static_cast<double>(j) / tSteps);
        }
    for (uint32_t i = 0; i < static_cast<uint32_t>(sSteps); ++i)
        for (uint32_t j = 0; j < static_cast<uint32_t>(tSteps); ++j) {
            uint32_t a = base + i * row + j, b = a + row, c = b + 1, d = a + 1;
            if (front) {
                shape.addTriangle(a, b, c);
                shape.addTriangle(a, c, d);
            } else {
                shape.addTriangle(a, c, b);
                shape.addTriangle(a, d, c);
            }
        }
}

struct Frame {
    Vec3 centre, tangent, normal, binormal;
    double radius = 0, radiusSlope = 0;
};

std::vector<Frame> transportFrames(const PathFunction& path, const RadiusFunction& radius, int sSteps) {
    std::vector<Frame> frames;
    Vec3 prevNormal{};
    for (int i = 0; i <= sSteps; ++i) {
        double s = static_cast<double>(i) / sSteps;
        Frame f;
        f.centre = path(s);
        Vec3 d = path(s + kStep) - path(s - kStep);
        f.tangent = normalize(d);
        if (i == 0) {
            Vec3 seed = std::abs(f.tangent.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 0, 1};
            prevNormal = cross(f.tangent, seed);
        }
        f.normal = normalize(prevNormal - f.tangent * dot(f.tangent, prevNormal));
        f.binormal = cross(f.normal, f.tangent);
        f.radius = radius(s);
        if (std::abs(f.radius) < 1e-9) f.radius = 0;  // sin(pi) is not quite zero
        f.radiusSlope = (radius(s + kStep) - radius(s - kStep)) / length(d);
        prevNormal = f.normal;
        frames.push_back(f);
    }
    return frames;
}

void tubeCap(Shape& shape, const Frame& f, int segments, bool atStart) {
    Vec3 n = atStart ? -f.tangent : f.tangent;
    uint32_t centre = shape.addVertex(f.centre, n, 0.5, 0.5);
    for (int j = 0; j <= segments; ++j) {
        double a = 2 * kPi * (j % segments) / segments;
        Vec3 radial = f.normal * std::cos(a) + f.binormal * std::sin(a);
        shape.addVertex(f.centre + radial * f.radius, n, 0.5 + 0.5 * std::cos(a), 0.5 + 0.5 * std::sin(a));
    }
    for (uint32_t j = 0; j < static_cast<uint32_t>(segments); ++j) {
        if (atStart)
            shape.addTriangle(centre, centre + 1 + j, centre + 2 + j);
        else
            shape.addTriangle(centre, centre + 2 + j, centre + 1 + j);
    }
}

}  // namespace

Shape sheet(const SheetFunction& f, int sSteps, int tSteps) {
    std::vector<Vec3> pos, nrm;
    for (int i = 0; i <= sSteps; ++i)
        for (int j = 0; j <= tSteps; ++j) {
            double s = static_cast<double>(i) / sSteps, t = static_cast<double>(j) / tSteps;
            pos.push_back(f(s, t));
            nrm.push_back(sheetNormal(f, s, t));
        }
    Shape shape;
    shape.closure = Closure::Sheet;
    sheetSide(shape, pos, nrm, sSteps, tSteps, true);
    sheetSide(shape, pos, nrm, sSteps, tSteps, false);
    return shape;
}

Shape tube(const PathFunction& path, const RadiusFunction& radius, int sSteps, int segments) {
    std::vector<Frame> frames = transportFrames(path, radius, sSteps);
    Shape shape;
    const uint32_t row = static_cast<uint32_t>(segments) + 1;
    for (int i = 0; i <= sSteps; ++i) {
        const Frame& f = frames[static_cast<size_t>(i)];
        for (int j = 0; j <= segments; ++j) {
            double a = 2 * kPi * (j % segments) / segments;
            Vec3 radial = f.normal * std::cos(a) + f.binormal * std::sin(a);
            Vec3 n = f.radius > 0 ? radial - f.tangent * f.radiusSlope : (i == 0 ? -f.tangent : f.tangent);
            shape.addVertex(f.centre + radial * f.radius, n, static_cast<double>(j) / segments,
                            static_cast<double>(i) / sSteps);
        }
    }
    for (uint32_t i = 0; i < static_cast<uint32_t>(sSteps); ++i)
        for (uint32_t j = 0; j < static_cast<uint32_t>(segments); ++j) {
            uint32_t a = i * row + j, b = a + row;
            shape.addTriangle(a, b, b + 1);
            shape.addTriangle(a, b + 1, a + 1);
        }
    if (frames.front().radius > 0) tubeCap(shape, frames.front(), segments, true);
    if (frames.back().radius > 0) tubeCap(shape, frames.back(), segments, false);
    return shape;
}

}  // namespace datagen
