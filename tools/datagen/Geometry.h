#pragma once
// Construction geometry of the data generator: double-precision vectors, affine placements
// and the Shape, a piece of triangle mesh in its own local frame.
//
// Winding: a front face is clockwise as the viewer sees it in Direct3D's left-handed frame,
// which makes cross(P1 - P0, P2 - P0) point out of the surface. Every shape is built that
// way, and Affine::mirrors() tells the model builder when a placement turns it inside out.

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace datagen {

inline constexpr double kPi = 3.14159265358979323846;

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, Vec3 a) { return a * s; }
inline bool operator==(Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(Vec3 a) { return std::sqrt(dot(a, a)); }
// A zero vector stays zero rather than turning into NaNs.
inline Vec3 normalize(Vec3 a) {
    double l = length(a);
    return l > 0 ? a * (1.0 / l) : Vec3{};
}
inline Vec3 lerp(Vec3 a, Vec3 b, double t) { return a + (b - a) * t; }

// p' = m * p + t (column vectors). Normals go through the inverse transpose.
struct Affine {
    std::array<double, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};
    Vec3 t{};

    Vec3 point(Vec3 p) const;
    Vec3 direction(Vec3 d) const;
    Vec3 normal(Vec3 n) const;
    double determinant() const;
    bool mirrors() const { return determinant() < 0; }

    static Affine translate(Vec3 t);
    static Affine scale(Vec3 s);
    static Affine rotateX(double radians);
    static Affine rotateY(double radians);
    static Affine rotateZ(double radians);
    // Rotation taking the +y axis onto `dir` (unit), the shortest way.
    static Affine alignY(Vec3 dir);
};

// a * b applies b first.
Affine operator*(const Affine& a, const Affine& b);

inline double radians(double degrees) { return degrees * kPi / 180.0; }

struct ShapeVertex {
    Vec3 position;
    Vec3 normal;
    double u = 0, v = 0;
};

// Whether a shape bounds a volume (every edge met by its reverse, normals outward) or is a
// two-sided sheet (both sides share positions, so it is edge-closed but encloses nothing).
enum class Closure { Solid, Sheet };

struct Shape {
    std::vector<ShapeVertex> vertices;
    std::vector<std::array<uint32_t, 3>> triangles;
    Closure closure = Closure::Solid;

    uint32_t addVertex(Vec3 p, Vec3 n, double u, double v);
    // Drops triangles that have two corners at one position (poles, pinched sheet ends).
    void addTriangle(uint32_t a, uint32_t b, uint32_t c);
};

}  // namespace datagen
