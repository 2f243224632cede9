#pragma once
// The finished model as it goes into a .x file: single-precision vertices with one normal and
// one texture coordinate each, triangles grouped by ascending material, inline materials.
// Every number is already rounded to what the text encoding writes (six decimals), so the
// text, binary and compressed files of a model all read back as exactly these values.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Geometry.h"

namespace datagen {

struct Float3 {
    float x = 0, y = 0, z = 0;
};

struct Vertex {
    Float3 position;
    Float3 normal;
    float u = 0, v = 0;
};

struct Material {
    std::array<float, 4> faceColor{};  // r, g, b, a
    float power = 0;
    std::array<float, 3> specularColor{};
    std::array<float, 3> emissiveColor{};
};

struct Face {
    std::array<uint32_t, 3> corners{};
    uint32_t material = 0;
    uint32_t part = 0;  // which placed shape the face came from
};

// A placed shape. Shapes placed under one name must together be closed (a solid made of
// pieces in different materials) or each be a sheet.
struct Part {
    std::string name;
    Closure closure = Closure::Solid;
};

struct Model {
    std::string name;  // frame name in the file
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    std::vector<Material> materials;
    std::vector<Part> parts;
};

// The value a float reads back as after being written with six decimals; -0 becomes 0.
float roundToWritten(double value);

Material makeMaterial(float r, float g, float b, float power, float specular);

// Collects placed shapes; finish() rounds every value and groups faces by material.
class ModelBuilder {
public:
    ModelBuilder(std::string name, std::vector<Material> materials);

    void add(const std::string& partName, const Shape& shape, const Affine& placement, uint32_t material);
    // Moves every vertex so that the bounding box is centred on the origin, then rounds.
    Model finish();

private:
    Model model_;
    std::vector<ShapeVertex> exact_;  // placed vertices before centring and rounding
};

}  // namespace datagen
