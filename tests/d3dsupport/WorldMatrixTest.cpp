#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "../platform/xfile/XFileFixtures.h"
#include "d3dsupport/Mdx8.h"

namespace {

D3DMATRIX unitTurn(int32_t x, int32_t y, int32_t z) { return Mdx8::makeWorldMatrix(1, 1, 1, x, y, z, 0, 0, 0); }

TEST(WorldMatrix, AngleFactorIsThreePointOneFourOverOneEighty) {
    // A half turn is 3.14 radians, so it is not quite a half turn.
    D3DMATRIX m = unitTurn(0, 180, 0);
    EXPECT_FLOAT_EQ(m._11, -0.99999875f);
    EXPECT_FLOAT_EQ(m._33, -0.99999875f);
    EXPECT_FLOAT_EQ(m._13, -0.0015926529f);
    EXPECT_FLOAT_EQ(m._31, 0.0015926529f);

    D3DMATRIX q = unitTurn(90, 0, 0);
    EXPECT_FLOAT_EQ(q._22, 0.00079632673f);  // cX
    EXPECT_FLOAT_EQ(q._23, 0.9999997f);      // sX

    D3DMATRIX full = unitTurn(0, 0, 360);
    EXPECT_FLOAT_EQ(full._11, 0.99999493f);
    EXPECT_FLOAT_EQ(full._12, -0.0031853018f);
}

// Also with no turn, where it is scale then translation.
TEST(WorldMatrix, MatchesTheProductOfTheSeparateTransforms) {
    const float sx = 1.5f, sy = 0.5f, sz = 2.0f;
    const double k = 3.14 / 180;
    auto rot = [](int axis, double a) {
        D3DMATRIX r = D3DXMatrixIdentity();
        const float c = static_cast<float>(std::cos(a)), s = static_cast<float>(std::sin(a));
        // Rows of RotationX/Y/Z for row vectors; for Y (p = 2, q = 0): (c,0,-s), (0,1,0), (s,0,c).
        const int p = (axis + 1) % 3, q = (axis + 2) % 3;
        r.m[p][p] = c; r.m[p][q] = s; r.m[q][p] = -s; r.m[q][q] = c;
        return r;
    };
    D3DMATRIX scale = D3DXMatrixIdentity();
    scale._11 = sx; scale._22 = sy; scale._33 = sz;
    D3DMATRIX move = D3DXMatrixIdentity();
    move._41 = 1; move._42 = 2; move._43 = 3;
    for (auto [ax, ay, az] : {std::array<int32_t, 3>{0, 0, 0}, {25, -70, 140}}) {
        D3DMATRIX m = Mdx8::makeWorldMatrix(sx, sy, sz, ax, ay, az, 1, 2, 3);
        D3DMATRIX product = D3DXMatrixMultiply(
            D3DXMatrixMultiply(D3DXMatrixMultiply(D3DXMatrixMultiply(scale, rot(0, ax * k)), rot(1, ay * k)), rot(2, az * k)),
            move);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) EXPECT_NEAR(m.m[i][j], product.m[i][j], 1e-5) << ax << " " << i << j;
    }
}

TEST(WorldMatrix, AnElementBeyondTheFloatRangeIsAnOverflow) {
    const float huge = std::numeric_limits<float>::max();
    EXPECT_NO_THROW(Mdx8::makeWorldMatrix(huge, huge, huge, 0, 0, 0, 0, 0, 0));
    EXPECT_NO_THROW(Mdx8::makeWorldMatrix(huge, huge, huge, 0, 45, 0, 0, 0, 0));  // cos 45 < 1
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(fixtures::raised([&] { Mdx8::makeWorldMatrix(inf, 1, 1, 0, 0, 0, 0, 0, 0); }).first, rt::errc::Overflow);
}

}  // namespace
