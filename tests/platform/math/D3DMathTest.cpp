#include <gtest/gtest.h>

#include "math/d3dmath.h"

namespace {

TEST(D3DMath, CameraProjectionMatchesTheKnownFigures) {
    D3DMATRIX proj = D3DXMatrixPerspectiveFovLH(0.785f, static_cast<float>(4.0 / 5.0), 0.1f, 1400.0f);
    EXPECT_NEAR(proj._22, 2.41557f, 1e-5);
    EXPECT_NEAR(proj._11, 3.01947f, 1e-5);
    EXPECT_NEAR(proj._33, 1.0000714f, 1e-7);
    EXPECT_NEAR(proj._43, -0.10000714f, 1e-7);
    EXPECT_EQ(proj._34, 1.0f);
    EXPECT_EQ(proj._44, 0.0f);
}

TEST(D3DMath, LookAtFromMinusFortyIsATranslation) {
    D3DMATRIX view = D3DXMatrixLookAtLH({0, 0, -40}, {0, 0, 0}, {0, 1, 0});
    D3DMATRIX expected = D3DXMatrixIdentity();
    expected._43 = 40.0f;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_FLOAT_EQ(view.m[i][j], expected.m[i][j]) << i << j;
}

TEST(D3DMath, MultiplyAppliesTheLeftMatrixFirst) {
    D3DMATRIX scale = D3DXMatrixIdentity();
    scale._11 = 2.0f;
    D3DMATRIX move = D3DXMatrixIdentity();
    move._41 = 5.0f;
    D3DVECTOR p = D3DXVec3TransformCoord({1, 0, 0}, D3DXMatrixMultiply(scale, move));
    EXPECT_FLOAT_EQ(p.x, 7.0f);  // scaled to 2, then moved by 5
    D3DMATRIX t = D3DXMatrixTranspose(move);
    EXPECT_EQ(t._14, 5.0f);
}

TEST(D3DMath, NormalizeKeepsTheZeroVectorZero) {
    D3DVECTOR n = D3DXVec3Normalize({0, 0, 0});
    EXPECT_EQ(n.x, 0.0f);
    EXPECT_EQ(n.y, 0.0f);
    EXPECT_EQ(n.z, 0.0f);
    D3DVECTOR c = D3DXVec3Cross({1, 0, 0}, {0, 1, 0});
    EXPECT_EQ(c.z, 1.0f);
}

TEST(D3DMath, ColourPackingTruncatesAndWraps) {
    EXPECT_EQ(D3DColorRGBA(0.3f, 0.3f, 1.0f, 0.0f), 0x004C4CFFu);
    EXPECT_EQ(D3DColorRGBA(1, 1, 1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(D3DColorRGBA(0.999f, 0, 0, 0) >> 16, 254u);
    EXPECT_EQ((D3DColorRGBA(1.1f, 0, 0, 0) >> 16) & 0xFF, 24u);  // 280 & 0xFF
}

TEST(D3DMath, InverseUndoesAnAffineMatrix) {
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

}  // namespace
