// A red rose: twenty petals set round the axis at the golden angle, tight and tall inside,
// opening and curling back outside; a green hip with sepals, a thorny stem, serrated leaves.
// The head leans towards the viewer so that the spiral shows. The largest model.
#include <algorithm>

#include "Models.h"
#include "Primitives.h"

namespace datagen {
namespace {

enum RoseMaterial : uint32_t { Stem, Leaf, Sepal, Petal, Thorn };

constexpr int kPetals = 20;
const double kGoldenAngle = radians(137.508);

double smoothstep(double a, double b, double x) {
    double t = std::clamp((x - a) / (b - a), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Petal k of the head (0 innermost), in the head's frame with the axis along +y. The petal
// is a band of a surface of revolution: s climbs from the base, t crosses its width.
Shape petal(int k) {
    const double o = static_cast<double>(k) / (kPetals - 1);  // 0 closed bud .. 1 open
    const double centre = k * kGoldenAngle;
    const double halfWidth = kPi * (0.62 - 0.27 * o);
    const double baseRadius = 0.3 + 0.9 * o;
    const double height = 3.7 + 0.8 * o;
    const double lean = 0.1 + 1.3 * std::pow(o, 1.8);
    const double curlAmount = 0.3 + 0.6 * o;
    auto f = [=](double s, double t) {
        double u = 2 * t - 1;
        double curl = curlAmount * std::pow(smoothstep(0.55, 1.0, s), 2);
        double r = baseRadius + lean * std::pow(s, 1.3) + curl + 0.12 * u * u * (0.3 + o) * s;
        double y = height * s * (1 - 0.45 * std::pow(o, 1.5) * s) * (1 - 0.18 * u * u) - 0.4 * curl -
                   0.25 * u * u * s * o;
        double a = centre + halfWidth * u;
        return Vec3{r * std::cos(a), y, r * std::sin(a)};
    };
    return sheet(f, 20, 20);
}

// A pointed sepal hanging down and out from the hip.
Shape sepal(double angle) {
    const Vec3 out{std::cos(angle), 0, std::sin(angle)};
    const Vec3 side{-std::sin(angle), 0, std::cos(angle)};
    auto f = [=](double s, double t) {
        double width = 0.45 * std::pow(std::sin(kPi * (0.15 + 0.85 * s)), 0.7) * (1 - s);
        return out * (0.7 + 2.0 * s) + side * ((2 * t - 1) * width) + Vec3{0, 0.1 - 1.5 * s * s, 0};
    };
    return sheet(f, 10, 6);
}

// A serrated leaf whose blade is tipped up towards the viewer.
Shape leaf(Vec3 base, double angle, double length) {
    const Vec3 out{std::cos(angle), 0.35, std::sin(angle)};
    const Vec3 flat = normalize(cross(out, Vec3{0, 1, 0}));
    const Vec3 side = normalize(flat * std::cos(radians(55)) + Vec3{0, std::sin(radians(55)), 0});
    auto f = [=](double s, double t) {
        double u = 2 * t - 1;
        double teeth = 1 + 0.07 * std::sin(44 * kPi * s);
        double width = 1.1 * std::pow(std::sin(kPi * s), 0.75) * (1 - 0.3 * s) * teeth;
        double droop = -1.0 * s * s;
        return base + normalize(out) * (length * s) + side * (u * width) +
               Vec3{0, droop + 0.35 * u * u * width, 0};
    };
    return sheet(f, 24, 12);
}

Shape thorn() {
    std::vector<ProfilePoint> p{{0, 0, false}, {0.2, 0, true}, {0, 0.55, false}};
    return lathe(p, 10, false);
}

Vec3 stemPath(double s) { return {0.3 * std::sin(kPi * s), -9.5 + 10.5 * s, -0.5 * s * s}; }

Vec3 headAxis() { return {0, std::cos(radians(28)), -std::sin(radians(28))}; }

void stemAndLeaves(ModelBuilder& b) {
    b.add("stem", tube(stemPath, [](double s) { return 0.3 - 0.06 * s; }, 50, 16), Affine{}, Stem);
    b.add("leaf", leaf(stemPath(0.25), radians(185), 4.2), Affine{}, Leaf);
    b.add("leaf", leaf(stemPath(0.42), radians(-10), 3.8), Affine{}, Leaf);
    b.add("leaf", leaf(stemPath(0.62), radians(150), 3.0), Affine{}, Leaf);
    for (int i = 0; i < 5; ++i) {
        double s = 0.12 + 0.15 * i;
        double around = radians(40 + 100.0 * i);
        Vec3 dir = normalize(Vec3{std::cos(around), 0.5, std::sin(around)});
        Vec3 surface = stemPath(s) + Vec3{std::cos(around), 0, std::sin(around)} * 0.26;
        b.add("thorn", thorn(), Affine::translate(surface) * Affine::alignY(dir), Thorn);
    }
}

}  // namespace

Model buildRose() {
    ModelBuilder b("Rose", {makeMaterial(0.28f, 0.56f, 0.2f, 8, 0.2f), makeMaterial(0.2f, 0.46f, 0.16f, 10, 0.3f),
                            makeMaterial(0.14f, 0.38f, 0.13f, 8, 0.2f), makeMaterial(0.88f, 0.07f, 0.16f, 20, 0.5f),
                            makeMaterial(0.55f, 0.28f, 0.16f, 8, 0.2f)});
    stemAndLeaves(b);
    const Vec3 axis = headAxis();
    const Affine head =
        Affine::translate(stemPath(1.0) + axis * 0.6) * Affine::alignY(axis) * Affine::scale({1.35, 1.35, 1.35});
    b.add("hip", sphere(0.75, 24, 12), head * Affine::translate({0, -0.1, 0}) * Affine::scale({1, 0.85, 1}), Sepal);
    for (int i = 0; i < 5; ++i) b.add("sepal", sepal(radians(18 + 72.0 * i)), head, Sepal);
    // A closed bud fills the middle, where the innermost petals leave a gap down to the hip.
    b.add("bud", sphere(0.4, 16, 8), head * Affine::translate({0, 1.6, 0}) * Affine::scale({1, 2.8, 1}), Petal);
    for (int k = 0; k < kPetals; ++k) b.add("petal", petal(k), head, Petal);
    return b.finish();
}

}  // namespace datagen
