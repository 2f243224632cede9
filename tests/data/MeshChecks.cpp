#include "MeshChecks.h"

#include <map>
#include <tuple>

namespace datagen::test {
namespace {

Vec3 toVec(const Float3& f) { return {f.x, f.y, f.z}; }

using EdgeKey = std::tuple<float, float, float, float, float, float>;

EdgeKey edgeKey(const Float3& a, const Float3& b) { return {a.x, a.y, a.z, b.x, b.y, b.z}; }

}  // namespace

std::vector<const Face*> facesOfPart(const Model& model, uint32_t part) {
    std::vector<const Face*> out;
    for (const Face& f : model.faces)
        if (f.part == part) out.push_back(&f);
    return out;
}

std::vector<const Face*> facesNamed(const Model& model, const std::string& name) {
    std::vector<const Face*> out;
    for (const Face& f : model.faces)
        if (model.parts[f.part].name == name) out.push_back(&f);
    return out;
}

Vec3 windingNormal(const Model& model, const Face& face) {
    Vec3 p0 = toVec(model.vertices[face.corners[0]].position);
    Vec3 p1 = toVec(model.vertices[face.corners[1]].position);
    Vec3 p2 = toVec(model.vertices[face.corners[2]].position);
    return cross(p1 - p0, p2 - p0);
}

size_t cornersAgainstWinding(const Model& model, const std::vector<const Face*>& faces) {
    size_t bad = 0;
    for (const Face* f : faces) {
        Vec3 n = windingNormal(model, *f);
        for (uint32_t c : f->corners)
            if (dot(n, toVec(model.vertices[c].normal)) <= 0) ++bad;
    }
    return bad;
}

size_t unmatchedEdges(const Model& model, const std::vector<const Face*>& faces) {
    std::map<EdgeKey, int> balance;
    for (const Face* f : faces)
        for (int k = 0; k < 3; ++k) {
            const Float3& a = model.vertices[f->corners[static_cast<size_t>(k)]].position;
            const Float3& b = model.vertices[f->corners[static_cast<size_t>((k + 1) % 3)]].position;
            ++balance[edgeKey(a, b)];
            --balance[edgeKey(b, a)];
        }
    size_t unmatched = 0;
    for (const auto& [key, count] : balance) unmatched += static_cast<size_t>(count > 0 ? count : 0);
    return unmatched;
}

double signedVolume(const Model& model, const std::vector<const Face*>& faces) {
    double sixTimes = 0;
    for (const Face* f : faces) {
        Vec3 p0 = toVec(model.vertices[f->corners[0]].position);
        Vec3 p1 = toVec(model.vertices[f->corners[1]].position);
        Vec3 p2 = toVec(model.vertices[f->corners[2]].position);
        sixTimes += dot(p0, cross(p1, p2));
    }
    return sixTimes / 6.0;
}

}  // namespace datagen::test
