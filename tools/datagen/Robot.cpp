// A toy robot: boxy head with round eyes and an antenna, red torso with a yellow chest plate,
// jointed arms and legs. Faces the viewer (-z); the default model, so it is the most detailed.
#include "Models.h"
#include "Primitives.h"

namespace datagen {
namespace {

enum RobotMaterial : uint32_t { Metal, Red, Yellow, Dark, Glow };

Affine at(double x, double y, double z) { return Affine::translate({x, y, z}); }
// Cylinders and tori are made about +y; these turn them to lie along x or z.
Affine alongX(double x, double y, double z) { return at(x, y, z) * Affine::rotateZ(kPi / 2); }
Affine alongZ(double x, double y, double z) { return at(x, y, z) * Affine::rotateX(kPi / 2); }

void head(ModelBuilder& b) {
    b.add("neck", cylinder(0.7, 0.5, 20), at(0, 4.6, 0), Dark);
    b.add("head", chamferBox({2.5, 1.9, 2.0}, 0.4), at(0, 6.9, 0), Metal);
    for (double side : {-1.0, 1.0}) {
        b.add("eye", cylinder(0.55, 0.2, 24), alongZ(side * 1.05, 7.35, -2.05), Glow);
        b.add("eye rim", torus(0.62, 0.13, 28, 10), alongZ(side * 1.05, 7.35, -2.05), Dark);
        b.add("ear", cylinder(0.62, 0.28, 24), alongX(side * 2.72, 6.9, 0), Yellow);
        b.add("ear bolt", sphere(0.28, 12, 6), at(side * 3.0, 6.9, 0), Dark);
    }
    b.add("mouth", chamferBox({1.35, 0.3, 0.15}, 0.08), at(0, 5.85, -1.98), Dark);
    for (int i = -2; i <= 2; ++i)
        b.add("tooth", chamferBox({0.12, 0.2, 0.08}, 0.03), at(i * 0.5, 5.85, -2.1), Yellow);
    b.add("antenna", cylinder(0.12, 0.8, 12), at(0, 9.55, 0), Dark);
    b.add("antenna ball", sphere(0.45, 24, 12), at(0, 10.6, 0), Red);
}

void torso(ModelBuilder& b) {
    b.add("torso", chamferBox({3.4, 3.0, 2.1}, 0.45), at(0, 1.1, 0), Red);
    b.add("chest plate", chamferBox({2.2, 1.2, 0.3}, 0.15), at(0, 2.2, -2.2), Yellow);
    const uint32_t lights[3] = {Red, Glow, Dark};
    for (int i = 0; i < 3; ++i)
        b.add("chest light", cylinder(0.33, 0.14, 20), alongZ((i - 1) * 1.2, 2.2, -2.55), lights[i]);
    for (int i = 0; i < 3; ++i)
        b.add("vent", chamferBox({1.8, 0.13, 0.12}, 0.04), at(0, -0.2 - 0.55 * i, -2.12), Dark);
    b.add("backpack", chamferBox({2.3, 2.1, 0.7}, 0.3), at(0, 1.4, 2.7), Metal);
    b.add("pelvis", chamferBox({2.8, 0.6, 1.5}, 0.2), at(0, -2.5, 0), Dark);
}

void arm(ModelBuilder& b, double side) {
    double x = side * 4.5;
    b.add("shoulder", sphere(1.15, 28, 14), at(side * 4.2, 3.3, 0), Metal);
    b.add("upper arm", chamferBox({0.7, 1.3, 0.75}, 0.18), at(x, 1.4, 0), Metal);
    b.add("elbow", sphere(0.8, 24, 12), at(x, -0.2, 0), Dark);
    b.add("forearm", chamferBox({0.85, 1.35, 0.9}, 0.22), at(x, -1.8, -0.15), Red);
    b.add("wrist", cylinder(0.5, 0.25, 20), at(x, -3.35, -0.15), Dark);
    for (double finger : {-1.0, 1.0})
        b.add("finger", chamferBox({0.22, 0.65, 0.5}, 0.08), at(x + finger * 0.4, -4.2, -0.15), Yellow);
}

void leg(ModelBuilder& b, double side) {
    double x = side * 1.8;
    b.add("hip", cylinder(0.6, 0.9, 20), alongX(x, -3.0, 0), Metal);
    b.add("thigh", chamferBox({0.85, 1.15, 0.95}, 0.2), at(x, -4.3, 0), Metal);
    b.add("knee", cylinder(0.72, 1.05, 24), alongX(x, -5.75, 0), Dark);
    b.add("shin", chamferBox({0.95, 1.5, 1.05}, 0.22), at(x, -7.4, 0), Metal);
    b.add("foot", chamferBox({1.3, 0.55, 1.9}, 0.25), at(x, -9.45, -0.45), Red);
}

}  // namespace

Model buildRobot() {
    ModelBuilder b("Robot", {makeMaterial(0.62f, 0.66f, 0.72f, 24, 0.6f), makeMaterial(0.88f, 0.16f, 0.12f, 16, 0.4f),
                             makeMaterial(1.0f, 0.78f, 0.12f, 16, 0.4f), makeMaterial(0.2f, 0.2f, 0.25f, 8, 0.2f),
                             makeMaterial(0.35f, 0.9f, 1.0f, 32, 0.8f)});
    head(b);
    torso(b);
    for (double side : {-1.0, 1.0}) {
        arm(b, side);
        leg(b, side);
    }
    return b.finish();
}

}  // namespace datagen
