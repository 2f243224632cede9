#include "Primitives.h"

#include <algorithm>

namespace datagen {
namespace {

Vec3 fromAxes(const std::array<double, 3>& a) { return {a[0], a[1], a[2]}; }

// Newell's normal: robust for any planar polygon, whatever its first corner looks like.
Vec3 polygonNormal(const std::vector<Vec3>& pts) {
    Vec3 n{};
    for (size_t i = 0; i < pts.size(); ++i) {
        const Vec3& a = pts[i];
        const Vec3& b = pts[(i + 1) % pts.size()];
        n = n + cross(a, b);
    }
    return normalize(n);
}

// A flat convex polygon, given in cyclic order, turned to face away from the origin side
// that `outward` points away from.
void flatPolygon(Shape& shape, std::vector<Vec3> pts, Vec3 outward) {
    Vec3 n = polygonNormal(pts);
    if (dot(n, outward) < 0) {
        std::reverse(pts.begin(), pts.end());
        n = -n;
    }
    // Planar texture coordinates from the two axes the face spreads along most.
    Vec3 a = std::abs(n.x) > 0.9 ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
    Vec3 b = cross(n, a);
    a = cross(b, n);
    std::vector<uint32_t> ids;
    for (const Vec3& p : pts) ids.push_back(shape.addVertex(p, n, dot(p, a), dot(p, b)));
    for (size_t i = 1; i + 1 < ids.size(); ++i) shape.addTriangle(ids[0], ids[i], ids[i + 1]);
}

Vec3 centroid(const std::vector<Vec3>& pts) {
    Vec3 c{};
    for (const Vec3& p : pts) c = c + p;
    return c * (1.0 / static_cast<double>(pts.size()));
}

void boxFaces(Shape& s, const std::array<double, 3>& h, const std::array<double, 3>& c) {
    const double signs[2] = {1, -1};
    for (int a = 0; a < 3; ++a) {
        int b = (a + 1) % 3, d = (a + 2) % 3;
        for (double sa : signs) {
            std::vector<Vec3> pts;
            const double corners[4][2] = {{1, 1}, {1, -1}, {-1, -1}, {-1, 1}};
            for (auto& k : corners) {
                std::array<double, 3> p{};
                p[a] = sa * h[a];
                p[b] = k[0] * c[b];
                p[d] = k[1] * c[d];
                pts.push_back(fromAxes(p));
            }
            flatPolygon(s, pts, centroid(pts));
        }
    }
}

void bevelFaces(Shape& s, const std::array<double, 3>& h, const std::array<double, 3>& c) {
    const double signs[2] = {1, -1};
    for (int a = 0; a < 3; ++a) {
        int b = (a + 1) % 3, d = (a + 2) % 3;
        for (double sa : signs)
            for (double sb : signs) {
                std::array<double, 3> p1{}, p2{}, p3{}, p4{};
                p1[a] = p2[a] = sa * h[a];
                p1[b] = p2[b] = sb * c[b];
                p3[a] = p4[a] = sa * c[a];
                p3[b] = p4[b] = sb * h[b];
                p1[d] = p4[d] = c[d];
                p2[d] = p3[d] = -c[d];
                std::vector<Vec3> pts{fromAxes(p1), fromAxes(p2), fromAxes(p3), fromAxes(p4)};
                flatPolygon(s, pts, centroid(pts));
            }
    }
}

void cornerFaces(Shape& s, const std::array<double, 3>& h, const std::array<double, 3>& c) {
    const double signs[2] = {1, -1};
    for (double sx : signs)
        for (double sy : signs)
            for (double sz : signs) {
                std::vector<Vec3> pts{{sx * h[0], sy * c[1], sz * c[2]},
                                      {sx * c[0], sy * h[1], sz * c[2]},
                                      {sx * c[0], sy * c[1], sz * h[2]}};
                flatPolygon(s, pts, centroid(pts));
            }
}

Vec3 revolve(double r, double y, double angle) { return {r * std::cos(angle), y, r * std::sin(angle)}; }

struct ProfileRows {
    std::vector<uint32_t> before, after;  // first vertex of the row ending / starting a segment
};

Vec3 segmentNormal(const ProfilePoint& a, const ProfilePoint& b) {
    return normalize(Vec3{b.y - a.y, -(b.r - a.r), 0});  // (nr, ny) in x, y
}

uint32_t addRow(Shape& s, const ProfilePoint& p, Vec3 n2, int segments, double v) {
    if (p.r == 0 && !p.hasNormal) n2 = {0, n2.y >= 0 ? 1.0 : -1.0, 0};
    uint32_t first = static_cast<uint32_t>(s.vertices.size());
    for (int j = 0; j <= segments; ++j) {
        double angle = 2 * kPi * (j % segments) / segments;
        Vec3 n{n2.x * std::cos(angle), n2.y, n2.x * std::sin(angle)};
        s.addVertex(revolve(p.r, p.y, angle), n, static_cast<double>(j) / segments, v);
    }
    return first;
}

}  // namespace

Shape chamferBox(Vec3 half, double bevel) {
    Shape s;
    std::array<double, 3> h{half.x, half.y, half.z};
    std::array<double, 3> c{half.x - bevel, half.y - bevel, half.z - bevel};
    boxFaces(s, h, c);
    if (bevel > 0) {
        bevelFaces(s, h, c);
        cornerFaces(s, h, c);
    }
    return s;
}

Shape prism(const std::vector<std::array<double, 2>>& outline, double halfLength) {
    Shape s;
    Vec3 mid{};
    for (const auto& o : outline) mid = mid + Vec3{0, o[0], o[1]};
    mid = mid * (1.0 / static_cast<double>(outline.size()));
    std::vector<Vec3> left, right;
    for (const auto& o : outline) {
        left.push_back({-halfLength, o[0], o[1]});
        right.push_back({halfLength, o[0], o[1]});
    }
    flatPolygon(s, left, {-1, 0, 0});
    flatPolygon(s, right, {1, 0, 0});
    for (size_t i = 0; i < outline.size(); ++i) {
        size_t j = (i + 1) % outline.size();
        std::vector<Vec3> side{left[i], left[j], right[j], right[i]};
        Vec3 c = centroid(side);
        flatPolygon(s, side, Vec3{0, c.y, c.z} - mid);
    }
    return s;
}

Shape lathe(const std::vector<ProfilePoint>& p, int segments, bool closedProfile) {
    Shape s;
    const size_t n = p.size();
    ProfileRows rows;
    for (size_t i = 0; i < n; ++i) {
        bool first = i == 0, last = i + 1 == n;
        Vec3 in = !first ? segmentNormal(p[i - 1], p[i]) : closedProfile ? segmentNormal(p[n - 2], p[n - 1]) : Vec3{};
        Vec3 out = !last ? segmentNormal(p[i], p[i + 1]) : closedProfile ? segmentNormal(p[0], p[1]) : Vec3{};
        double v = static_cast<double>(i) / static_cast<double>(n - 1);
        if (p[i].hasNormal) {
            uint32_t row = addRow(s, p[i], normalize(Vec3{p[i].nr, p[i].ny, 0}), segments, v);
            rows.before.push_back(row);
            rows.after.push_back(row);
        } else if (p[i].crease) {
            rows.before.push_back(first ? 0 : addRow(s, p[i], in, segments, v));
            rows.after.push_back(last ? 0 : addRow(s, p[i], out, segments, v));
        } else {
            uint32_t row = addRow(s, p[i], normalize(in + out), segments, v);
            rows.before.push_back(row);
            rows.after.push_back(row);
        }
    }
    for (size_t k = 0; k + 1 < n; ++k) {
        uint32_t a = rows.after[k], b = rows.before[k + 1];
        for (uint32_t j = 0; j < static_cast<uint32_t>(segments); ++j) {
            s.addTriangle(a + j, b + j, b + j + 1);
            s.addTriangle(a + j, b + j + 1, a + j + 1);
        }
    }
    return s;
}

Shape sphere(double radius, int segments, int stacks) {
    std::vector<ProfilePoint> p;
    for (int i = 0; i <= stacks; ++i) {
        double phi = -kPi / 2 + kPi * i / stacks;
        ProfilePoint q;
        q.r = i == 0 || i == stacks ? 0.0 : radius * std::cos(phi);
        q.y = radius * std::sin(phi);
        q.hasNormal = true;
        q.nr = std::cos(phi);
        q.ny = std::sin(phi);
        p.push_back(q);
    }
    return lathe(p, segments, false);
}

Shape torus(double majorRadius, double minorRadius, int segments, int sides) {
    std::vector<ProfilePoint> p;
    for (int i = 0; i < sides; ++i) {
        double phi = -kPi / 2 + 2 * kPi * i / sides;
        ProfilePoint q;
        q.r = majorRadius + minorRadius * std::cos(phi);
        q.y = minorRadius * std::sin(phi);
        q.hasNormal = true;
        q.nr = std::cos(phi);
        q.ny = std::sin(phi);
        p.push_back(q);
    }
    p.push_back(p.front());
    return lathe(p, segments, true);
}

Shape cylinder(double radius, double halfHeight, int segments) {
    std::vector<ProfilePoint> p{{0, -halfHeight, false},
                                {radius, -halfHeight, true},
                                {radius, halfHeight, true},
                                {0, halfHeight, false}};
    return lathe(p, segments, false);
}

Shape band(double innerRadius, double outerRadius, double halfHeight, int segments) {
    std::vector<ProfilePoint> p{{innerRadius, -halfHeight, true},
                                {outerRadius, -halfHeight, true},
                                {outerRadius, halfHeight, true},
                                {innerRadius, halfHeight, true},
                                {innerRadius, -halfHeight, true}};
    return lathe(p, segments, true);
}

}  // namespace datagen
