#pragma once
// Shape makers. Each returns a shape in its own frame with outward normals and front faces
// wound as Geometry.h describes; the model builder places it.

#include <functional>
#include <vector>

#include "Geometry.h"

namespace datagen {

// A box with flat faces whose twelve edges are cut by 45-degree bevels of width `bevel`
// (0: a plain box). Every face keeps its own vertices, so all its edges are hard.
Shape chamferBox(Vec3 half, double bevel);

// A convex outline in the (y, z) plane, in cyclic order, extruded along x from -halfLength
// to +halfLength; every face flat with hard edges.
Shape prism(const std::vector<std::array<double, 2>>& outline, double halfLength);

// A point of a lathe profile in the (radius, height) half-plane. The profile runs so that
// the outside lies on its right (upwards along an outer wall, outwards along a floor).
// A crease splits the normal at the point; an explicit normal (nr, ny) overrides the one
// derived from the neighbouring segments.
struct ProfilePoint {
    double r = 0, y = 0;
    bool crease = false;
    bool hasNormal = false;
    double nr = 0, ny = 0;
};

// Surface of revolution about +y. A closed profile repeats its first point at the end.
Shape lathe(const std::vector<ProfilePoint>& profile, int segments, bool closedProfile);

Shape sphere(double radius, int segments, int stacks);
Shape torus(double majorRadius, double minorRadius, int segments, int sides);
// Cylinder about +y from y = -halfHeight to +halfHeight with flat, hard-edged caps.
Shape cylinder(double radius, double halfHeight, int segments);
// Flat band about +y: a ring of rectangular cross-section, all four edges hard.
Shape band(double innerRadius, double outerRadius, double halfHeight, int segments);

// Two-sided sheet over s, t in [0, 1]: both sides share positions, so its rim is a hard edge.
// The front side faces along d/ds x d/dt.
using SheetFunction = std::function<Vec3(double s, double t)>;
Shape sheet(const SheetFunction& f, int sSteps, int tSteps);

// Tube of radius(s) along path(s), s in [0, 1]; ends with a non-zero radius get flat caps.
using PathFunction = std::function<Vec3(double s)>;
using RadiusFunction = std::function<double(double s)>;
Shape tube(const PathFunction& path, const RadiusFunction& radius, int sSteps, int segments);

}  // namespace datagen
