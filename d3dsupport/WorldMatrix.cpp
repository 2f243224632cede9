// The world transform in one closed formula: Scaling × RotationX × RotationY × RotationZ ×
// Translation for row vectors. The angle factor is 3.14 / 180, not π / 180, and the sines and
// cosines are kept as 32-bit floats: both shape the picture the program has always shown
// (a half turn is 3.14 radians), so they stay.

#include <cmath>

#include "d3dsupport/Mdx8.h"
#include "runtime/Rounding.h"

namespace Mdx8 {

namespace {

constexpr double degToRad = 0.017444444444444446;  // 3.14 / 180

struct Trig {
    float c;
    float s;
};

Trig trigOf(int32_t degrees) {
    double radians = static_cast<double>(degrees) * degToRad;
    return {rt::toSingle(std::cos(radians)), rt::toSingle(std::sin(radians))};
}

}  // namespace

D3DMATRIX makeWorldMatrix(float scaleX, float scaleY, float scaleZ, int32_t angleX, int32_t angleY,
                          int32_t angleZ, float transX, float transY, float transZ) {
    const Trig x = trigOf(angleX), y = trigOf(angleY), z = trigOf(angleZ);
    const double cX = x.c, cY = y.c, cZ = z.c, sX = x.s, sY = y.s, sZ = z.s;
    const double sx = scaleX, sy = scaleY, sz = scaleZ;

    D3DMATRIX m{};
    m._11 = rt::toSingle(cY * sx * cZ);
    m._12 = rt::toSingle(cY * sx * sZ);
    m._13 = rt::toSingle(-(sY * sx));
    m._21 = rt::toSingle(sX * sy * sY * cZ - cX * sy * sZ);
    m._22 = rt::toSingle(sX * sy * sY * sZ + cX * sy * cZ);
    m._23 = rt::toSingle(sX * sy * cY);
    m._31 = rt::toSingle(cX * sz * sY * cZ + sX * sz * sZ);
    m._32 = rt::toSingle(cX * sz * sY * sZ - sX * sz * cZ);
    m._33 = rt::toSingle(cX * sz * cY);
    m._41 = transX;
    m._42 = transY;
    m._43 = transZ;
    m._44 = 1.0f;
    return m;
}

}  // namespace Mdx8
