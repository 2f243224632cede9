// An armillary sphere: a blue globe on a tilted brass axis inside nested rings (equator,
// two colures, the wide copper ecliptic, tropic and polar circles), held by an upright
// meridian ring facing the viewer and a wooden horizon ring on four curved legs over a
// turned wooden base.
#include "Models.h"
#include "Primitives.h"

namespace datagen {
namespace {

enum ArmillaryMaterial : uint32_t { Brass, Globe, Wood, Copper };

constexpr double kTilt = 23.44;      // the axis leans by the obliquity of the ecliptic
constexpr double kRingRadius = 6.4;  // celestial rings
constexpr int kRingSegments = 96;

// Frame of the celestial sphere: +y along the tilted polar axis.
Affine celestial() { return Affine::rotateZ(radians(kTilt)); }

// A ring about the tilted axis, first stood up by `turnAboutX`, then spun about the axis.
Affine ringPlacement(double turnAboutX, double turnAboutAxis) {
    return celestial() * Affine::rotateY(turnAboutAxis) * Affine::rotateX(turnAboutX);
}

void celestialRings(ModelBuilder& b) {
    b.add("globe", sphere(2.8, 48, 24), celestial(), Globe);
    b.add("axis", cylinder(0.1, 7.6, 12), celestial(), Brass);
    for (double end : {-7.75, 7.75}) b.add("axis knob", sphere(0.32, 16, 8), celestial() * Affine::translate({0, end, 0}), Brass);
    b.add("equator", band(kRingRadius - 0.22, kRingRadius + 0.22, 0.16, kRingSegments), celestial(), Brass);
    b.add("colure", band(kRingRadius - 0.2, kRingRadius + 0.2, 0.14, kRingSegments), ringPlacement(kPi / 2, 0), Brass);
    b.add("colure", band(kRingRadius - 0.2, kRingRadius + 0.2, 0.14, kRingSegments),
          ringPlacement(kPi / 2, kPi / 2), Brass);
    b.add("ecliptic", band(kRingRadius - 0.12, kRingRadius + 0.12, 0.55, kRingSegments), Affine{}, Copper);
    for (double latitude : {kTilt, -kTilt, 90 - kTilt, kTilt - 90}) {
        double a = radians(latitude);
        Affine at = celestial() * Affine::translate({0, kRingRadius * std::sin(a), 0});
        b.add("circle", torus(kRingRadius * std::cos(a), 0.09, 64, 8), at, Brass);
    }
}

void meridianAndHorizon(ModelBuilder& b) {
    // The meridian ring stands in the picture plane, so the viewer sees it as a full circle.
    b.add("meridian", band(7.75, 8.25, 0.2, kRingSegments), Affine::rotateX(kPi / 2), Brass);
    b.add("horizon", band(8.6, 9.6, 0.18, kRingSegments), Affine{}, Wood);
    for (int i = 0; i < 4; ++i) {
        double a = radians(45 + 90.0 * i);
        Vec3 out{std::cos(a), 0, std::sin(a)};
        auto path = [out](double s) {
            double r = 9.1 - 5.6 * s + 1.2 * std::sin(kPi * s);
            return out * r + Vec3{0, -0.1 - 10.3 * s, 0};
        };
        b.add("leg", tube(path, [](double s) { return 0.26 - 0.06 * s; }, 30, 12), Affine{}, Wood);
    }
}

// A turned base with a short baluster that carries the meridian ring from below.
void stand(ModelBuilder& b) {
    std::vector<ProfilePoint> pedestal{{0, -9.35, false}, {1.0, -9.35, true}, {1.0, -9.1, true},
                                       {0.5, -8.9, false}, {0.35, -8.6, false}, {0.6, -8.2, true},
                                       {0, -8.2, false}};
    b.add("pedestal", lathe(pedestal, 32, false), Affine{}, Wood);
    std::vector<ProfilePoint> base{{0, -10.8, false}, {4.6, -10.8, true}, {4.6, -10.4, true},  {4.2, -10.1, false},
                                   {3.6, -9.9, true},  {3.6, -9.6, true},   {3.0, -9.4, false}, {0, -9.3, false}};
    b.add("base", lathe(base, 48, false), Affine{}, Wood);
}

}  // namespace

Model buildArmillarySphere() {
    ModelBuilder b("ArmillarySphere", {makeMaterial(0.86f, 0.66f, 0.24f, 40, 0.8f), makeMaterial(0.22f, 0.48f, 0.9f, 20, 0.5f),
                                       makeMaterial(0.5f, 0.29f, 0.14f, 8, 0.15f), makeMaterial(0.84f, 0.33f, 0.18f, 30, 0.6f)});
    celestialRings(b);
    meridianAndHorizon(b);
    stand(b);
    return b.finish();
}

}  // namespace datagen
