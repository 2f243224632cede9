// What no picture shows: colour packing's truncation and wrap-around, a singular matrix, and
// the zero vector normalised. The projection, view, products, cross products and the rest of
// normalisation are pinned by the golden
// frames (tests/scene), the shader programs' results (tests/shaderbind) and the edge builder's
// normals (tests/edges).
#include <gtest/gtest.h>

#include "math/d3dmath.h"

namespace {

TEST(D3DMath, ColourPackingTruncatesAndWraps) {
    EXPECT_EQ(D3DColorRGBA(0.3f, 0.3f, 1.0f, 0.0f), 0x004C4CFFu);
    EXPECT_EQ(D3DColorRGBA(1, 1, 1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(D3DColorRGBA(0.999f, 0, 0, 0) >> 16, 254u);
    EXPECT_EQ((D3DColorRGBA(1.1f, 0, 0, 0) >> 16) & 0xFF, 24u);  // 280 & 0xFF
}

TEST(D3DMath, InverseUndoesAnAffineMatrixAndRefusesASingularOne) {
    D3DMATRIX m = D3DXMatrixIdentity();
    m._11 = 2; m._22 = 4; m._41 = 3; m._12 = 1;
    D3DMATRIX inv{};
    ASSERT_TRUE(D3DXMatrixInverse(m, inv));
    D3DMATRIX id = D3DXMatrixMultiply(m, inv);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(id.m[i][j], i == j ? 1.0f : 0.0f, 1e-6);
    D3DMATRIX zero{};
    EXPECT_FALSE(D3DXMatrixInverse(zero, inv));
}

// A face without area gets the zero normal, never NaN.
TEST(D3DMath, NormalizeKeepsTheZeroVectorZero) {
    const D3DVECTOR n = D3DXVec3Normalize({0, 0, 0});
    EXPECT_TRUE(n.x == 0 && n.y == 0 && n.z == 0) << n.x << " " << n.y << " " << n.z;
}

}  // namespace
