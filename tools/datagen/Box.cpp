// A treasure chest of about five hundred faces: a bevelled wooden body, a faceted barrel lid,
// iron straps and feet, a gold lock. Mostly flat faces meeting at hard creases.
#include "Models.h"
#include "Primitives.h"

namespace datagen {
namespace {

enum BoxMaterial : uint32_t { Wood, Iron, Gold };

// Drawn at half size below; doubled so that it spans about as much as the other models.
Affine at(double x, double y, double z) { return Affine::scale({2, 2, 2}) * Affine::translate({x, y, z}); }

// Half a circle of `radius` in the (y, z) plane standing on y = 0, in `facets` flat steps.
std::vector<std::array<double, 2>> lidOutline(double radius, int facets) {
    std::vector<std::array<double, 2>> pts;
    for (int i = 0; i <= facets; ++i) {
        double a = kPi * i / facets;
        pts.push_back({radius * std::sin(a), radius * std::cos(a)});
    }
    return pts;
}

}  // namespace

Model buildBox() {
    ModelBuilder b("Chest", {makeMaterial(0.74f, 0.46f, 0.22f, 8, 0.15f), makeMaterial(0.3f, 0.3f, 0.35f, 24, 0.5f),
                             makeMaterial(1.0f, 0.8f, 0.2f, 40, 0.9f)});
    b.add("body", chamferBox({5.0, 2.6, 3.4}, 0.3), at(0, -1.6, 0), Wood);
    b.add("lid", prism(lidOutline(3.4, 6), 5.0), at(0, 1.0, 0), Wood);
    for (double x : {-3.0, 3.0}) {
        b.add("strap", chamferBox({0.35, 2.65, 3.5}, 0.08), at(x, -1.6, 0), Iron);
        b.add("lid strap", prism(lidOutline(3.52, 6), 0.35), at(x, 1.0, 0), Iron);
    }
    for (double x : {-4.4, 4.4})
        for (double z : {-2.8, 2.8}) b.add("foot", chamferBox({0.6, 0.35, 0.6}, 0.12), at(x, -4.55, z), Iron);
    b.add("lock", chamferBox({0.8, 0.95, 0.18}, 0.12), at(0, 0.7, -3.5), Gold);
    b.add("keyhole", chamferBox({0.14, 0.3, 0.05}, 0.0), at(0, 0.55, -3.7), Iron);
    for (double x : {-5.15, 5.15})
        b.add("handle", torus(0.75, 0.16, 8, 4), at(x, -0.6, 0) * Affine::rotateZ(kPi / 2), Iron);
    return b.finish();
}

}  // namespace datagen
