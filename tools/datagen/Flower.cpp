// A daisy-like flower: a ring of cupped pink petals in two layers around a domed yellow
// centre, turned a little upwards towards the viewer, on a curved stem with two leaves.
#include "Models.h"
#include "Primitives.h"

namespace datagen {
namespace {

enum FlowerMaterial : uint32_t { Stem, Leaf, Petal, Centre };

constexpr int kPetals = 14;
const Vec3 kHeadCentre{0.0, 5.2, -0.8};

// The head's axis points at the viewer (-z), raised by 18 degrees.
Affine headFrame() {
    const double tilt = radians(18);
    return Affine::translate(kHeadCentre) * Affine::alignY(Vec3{0, std::sin(tilt), -std::cos(tilt)});
}

// One petal in the head's frame (head axis +y), running out along `angle`: narrow at the
// base, widest past the middle, with a rounded tip, its sides cupped upwards. It starts just
// inside the rim of the centre: an outline hidden close under the centre would show through
// it, since the outline pass pulls its lines towards the viewer.
Shape petal(double angle, double lift, double length) {
    const Vec3 along{std::cos(angle), 0, std::sin(angle)};
    const Vec3 across{-std::sin(angle), 0, std::cos(angle)};
    auto f = [=](double s, double t) {
        double width = 0.8 * std::sqrt(s) * std::sqrt(std::max(0.0, 1 - s * s * s));
        double w = (2 * t - 1) * width;
        // The cup rises with the square of the distance from the midrib, so it flattens
        // out where the petal narrows to its tip instead of standing up like a wall.
        double height = lift + 0.9 * s * s - 0.25 * s + 0.6 * w * w;
        return along * (1.5 + length * s) + across * w + Vec3{0, height, 0};
    };
    return sheet(f, 16, 8);
}

// A leaf whose blade is tipped 50 degrees up from the horizontal, so that it shows its face
// from the front rather than its edge; its sides fold up along the midrib.
Shape leaf(Vec3 base, double angle, double length) {
    const Vec3 out{std::cos(angle), 0, std::sin(angle)};
    const Vec3 flat = cross(out, Vec3{0, 1, 0});
    const Vec3 side = normalize(flat * std::cos(radians(50)) + Vec3{0, std::sin(radians(50)), 0});
    auto f = [=](double s, double t) {
        double width = 1.25 * std::pow(std::sin(kPi * s), 0.8) * (1 - 0.35 * s);
        double u = 2 * t - 1;
        double rise = 2.2 * s - 2.6 * s * s;
        return base + out * (length * s) + side * (u * width) + Vec3{0, rise + 0.45 * u * u * width, 0};
    };
    return sheet(f, 20, 10);
}

// Ends at the back pole of the calyx, well behind the face of the flower.
Vec3 stemPath(double s) { return {0.45 * std::sin(kPi * s), -6.8 + 11.6 * s, 0.44 * s * s}; }

// The head's centre: a yellow dome in front and a green calyx cone behind, meeting at one
// rim; together, under one part name, they close. Nothing lies hidden just under the dome, where the outline pass would show it through.
void centre(ModelBuilder& b, const Affine& head) {
    std::vector<ProfilePoint> dome{{1.55, 0, false}, {1.35, 0.45, false}, {0.9, 0.75, false}, {0, 0.88, false}};
    std::vector<ProfilePoint> calyx{{0, -1.3, false}, {0.45, -1.1, false}, {1.1, -0.45, false}, {1.55, 0, false}};
    b.add("centre and calyx", lathe(calyx, 40, false), head, Stem);
    b.add("centre and calyx", lathe(dome, 40, false), head, Centre);
}

}  // namespace

Model buildFlower() {
    ModelBuilder b("Flower", {makeMaterial(0.3f, 0.64f, 0.22f, 8, 0.2f), makeMaterial(0.2f, 0.52f, 0.18f, 8, 0.25f),
                              makeMaterial(1.0f, 0.5f, 0.66f, 12, 0.3f), makeMaterial(1.0f, 0.74f, 0.1f, 16, 0.4f)});
    b.add("stem", tube(stemPath, [](double s) { return 0.38 - 0.1 * s; }, 40, 16), Affine{}, Stem);
    b.add("leaf", leaf(stemPath(0.22), radians(188), 5.0), Affine{}, Leaf);
    b.add("leaf", leaf(stemPath(0.45), radians(-14), 4.4), Affine{}, Leaf);
    const Affine head = headFrame();
    centre(b, head);
    for (int i = 0; i < kPetals; ++i) {
        bool back = i % 2 == 1;
        double angle = 2 * kPi * i / kPetals;
        b.add("petal", petal(angle, back ? -0.12 : 0.0, back ? 3.4 : 3.8), head, Petal);
    }
    return b.finish();
}

}  // namespace datagen
