#include "BumpyTorus.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Geometry.h"

namespace datagen {

namespace {

constexpr double kMajorRadius = 3.0, kMinorRadius = 1.0;

// A point of the surface at angle u about the z axis (the torus faces a camera on that axis)
// and v about the tube.
Vec3 surfacePoint(double u, double v) {
    // Gentle enough that neighbouring faces meet well within 30 degrees even on the smallest
    // benchmark grid (250 sides): the surface is smooth at every size, its normals never alike.
    const double bumps = 1 + 0.12 * std::sin(7 * u) * std::cos(3 * v) + 0.05 * std::sin(13 * u + 5 * v) +
                         0.03 * std::cos(11 * v - 3 * u);
    const double r = kMinorRadius * bumps;
    const double ring = kMajorRadius + r * std::cos(v);
    return {ring * std::cos(u), ring * std::sin(u), r * std::sin(v)};
}

void put32(std::vector<char>& out, uint32_t value) {
    char bytes[4];
    std::memcpy(bytes, &value, 4);  // the generator runs on little-endian machines only, as the .x writers
    out.insert(out.end(), bytes, bytes + 4);
}

void putFloat(std::vector<char>& out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    put32(out, bits);
}

void flushIfFull(std::ostream& out, std::vector<char>& buffer, bool last = false) {
    if (buffer.size() < (size_t{1} << 20) && !last) return;
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    buffer.clear();
}

}  // namespace

TorusGrid torusGrid(uint64_t vertices) {
    vertices = std::clamp(vertices, kMinTorusVertices, kMaxTorusVertices);
    const auto sides = std::max<uint64_t>(3, std::llround(std::sqrt(double(vertices) / 4)));
    const auto segments = std::max<uint64_t>(4, std::llround(double(vertices) / double(sides)));
    return {static_cast<uint32_t>(segments), static_cast<uint32_t>(sides)};
}

void writeBumpyTorusPly(std::ostream& out, const TorusGrid& grid) {
    const std::string header = "ply\nformat binary_little_endian 1.0\ncomment celshade-datagen bumpy torus\n"
                               "element vertex " + std::to_string(grid.vertices()) +
                               "\nproperty float x\nproperty float y\nproperty float z\n"
                               "element face " + std::to_string(grid.faces()) +
                               "\nproperty list uchar int vertex_indices\nend_header\n";
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    std::vector<char> buffer;
    for (uint32_t i = 0; i < grid.segments; ++i)
        for (uint32_t j = 0; j < grid.sides; ++j) {
            const Vec3 p = surfacePoint(2 * kPi * i / grid.segments, 2 * kPi * j / grid.sides);
            for (double c : {p.x, p.y, p.z}) putFloat(buffer, static_cast<float>(c));
            flushIfFull(out, buffer);
        }
    // Each grid cell's two triangles, corners ordered so that cross(b - a, c - a) points out of
    // the tube (the u direction crossed with the v direction).
    const auto at = [&](uint32_t i, uint32_t j) { return (i % grid.segments) * grid.sides + j % grid.sides; };
    for (uint32_t i = 0; i < grid.segments; ++i)
        for (uint32_t j = 0; j < grid.sides; ++j) {
            const uint32_t a = at(i, j), b = at(i + 1, j), c = at(i, j + 1), d = at(i + 1, j + 1);
            for (const auto& corners : {std::array{a, b, c}, std::array{b, d, c}}) {
                buffer.push_back(3);
                for (uint32_t k : corners) put32(buffer, k);
            }
            flushIfFull(out, buffer);
        }
    flushIfFull(out, buffer, true);
}

}  // namespace datagen
