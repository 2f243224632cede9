#include "Geometry.h"

namespace datagen {

Vec3 Affine::direction(Vec3 d) const {
    return {m[0] * d.x + m[1] * d.y + m[2] * d.z, m[3] * d.x + m[4] * d.y + m[5] * d.z,
            m[6] * d.x + m[7] * d.y + m[8] * d.z};
}

Vec3 Affine::point(Vec3 p) const { return direction(p) + t; }

double Affine::determinant() const {
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
           m[2] * (m[3] * m[7] - m[4] * m[6]);
}

// The cofactor matrix is the inverse transpose up to the determinant's factor; its sign is
// kept so that a mirrored normal still points out of the mirrored surface.
Vec3 Affine::normal(Vec3 n) const {
    std::array<double, 9> c{
        m[4] * m[8] - m[5] * m[7], m[5] * m[6] - m[3] * m[8], m[3] * m[7] - m[4] * m[6],
        m[2] * m[7] - m[1] * m[8], m[0] * m[8] - m[2] * m[6], m[1] * m[6] - m[0] * m[7],
        m[1] * m[5] - m[2] * m[4], m[2] * m[3] - m[0] * m[5], m[0] * m[4] - m[1] * m[3]};
    Vec3 r{c[0] * n.x + c[1] * n.y + c[2] * n.z, c[3] * n.x + c[4] * n.y + c[5] * n.z,
           c[6] * n.x + c[7] * n.y + c[8] * n.z};
    return normalize(determinant() < 0 ? -r : r);
}

Affine operator*(const Affine& a, const Affine& b) {
    Affine r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i * 3 + j] = a.m[i * 3] * b.m[j] + a.m[i * 3 + 1] * b.m[3 + j] +
                             a.m[i * 3 + 2] * b.m[6 + j];
    r.t = a.point(b.t);
    return r;
}

Affine Affine::translate(Vec3 t) {
    Affine a;
    a.t = t;
    return a;
}

Affine Affine::scale(Vec3 s) {
    Affine a;
    a.m = {s.x, 0, 0, 0, s.y, 0, 0, 0, s.z};
    return a;
}

Affine Affine::rotateX(double r) {
    Affine a;
    double c = std::cos(r), s = std::sin(r);
    a.m = {1, 0, 0, 0, c, -s, 0, s, c};
    return a;
}

Affine Affine::rotateY(double r) {
    Affine a;
    double c = std::cos(r), s = std::sin(r);
    a.m = {c, 0, s, 0, 1, 0, -s, 0, c};
    return a;
}

Affine Affine::rotateZ(double r) {
    Affine a;
    double c = std::cos(r), s = std::sin(r);
    a.m = {c, -s, 0, s, c, 0, 0, 0, 1};
    return a;
}

// Rodrigues' rotation about y x dir; the antiparallel case turns half a circle about x.
Affine Affine::alignY(Vec3 dir) {
    Vec3 y{0, 1, 0};
    Vec3 axis = cross(y, dir);
    double s = length(axis), c = dot(y, dir);
    if (s < 1e-12) return c > 0 ? Affine{} : rotateX(kPi);
    axis = axis * (1.0 / s);
    double k = 1 - c;
    Affine a;
    a.m = {c + axis.x * axis.x * k,          axis.x * axis.y * k - axis.z * s,
           axis.x * axis.z * k + axis.y * s, axis.y * axis.x * k + axis.z * s,
           c + axis.y * axis.y * k,          axis.y * axis.z * k - axis.x * s,
           axis.z * axis.x * k - axis.y * s, axis.z * axis.y * k + axis.x * s,
           c + axis.z * axis.z * k};
    return a;
}

uint32_t Shape::addVertex(Vec3 p, Vec3 n, double u, double v) {
    vertices.push_back({p, normalize(n), u, v});
    return static_cast<uint32_t>(vertices.size() - 1);
}

void Shape::addTriangle(uint32_t a, uint32_t b, uint32_t c) {
    const Vec3 &pa = vertices[a].position, &pb = vertices[b].position, &pc = vertices[c].position;
    if (pa == pb || pb == pc || pc == pa) return;
    triangles.push_back({a, b, c});
}

}  // namespace datagen
