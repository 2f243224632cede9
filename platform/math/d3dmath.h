#pragma once
// The math records of Direct3D 8 and the D3DX functions on them. Matrices are for row
// vectors: a point is transformed as v × M, and D3DXMatrixMultiply(A, B) applies A first.

#include <cstdint>

using D3DCOLOR = uint32_t;

struct D3DVECTOR {
    float x, y, z;
};
using D3DXVECTOR3 = D3DVECTOR;

struct D3DXVECTOR4 {
    float x, y, z, w;
};

struct D3DCOLORVALUE {
    float r, g, b, a;
};

struct D3DMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};
using D3DXMATRIX = D3DMATRIX;

static_assert(sizeof(D3DVECTOR) == 12);
static_assert(sizeof(D3DMATRIX) == 64);

D3DMATRIX D3DXMatrixIdentity();
D3DMATRIX D3DXMatrixMultiply(const D3DMATRIX& a, const D3DMATRIX& b);
D3DMATRIX D3DXMatrixTranspose(const D3DMATRIX& m);
D3DMATRIX D3DXMatrixLookAtLH(const D3DVECTOR& eye, const D3DVECTOR& at, const D3DVECTOR& up);
D3DMATRIX D3DXMatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);

D3DVECTOR D3DXVec3Subtract(const D3DVECTOR& a, const D3DVECTOR& b);
D3DVECTOR D3DXVec3Add(const D3DVECTOR& a, const D3DVECTOR& b);
D3DVECTOR D3DXVec3Cross(const D3DVECTOR& a, const D3DVECTOR& b);
// The unit vector of v; the zero vector stays zero (never NaN).
D3DVECTOR D3DXVec3Normalize(const D3DVECTOR& v);
D3DVECTOR D3DXVec3Scale(const D3DVECTOR& v, float s);
float D3DXVec3Dot(const D3DVECTOR& a, const D3DVECTOR& b);
float D3DXVec3Length(const D3DVECTOR& v);
// v × M for a point (w = 1), divided by the resulting w.
D3DVECTOR D3DXVec3TransformCoord(const D3DVECTOR& v, const D3DMATRIX& m);
// v × (upper 3 × 3 of M): a direction, no translation.
D3DVECTOR D3DXVec3TransformNormal(const D3DVECTOR& v, const D3DMATRIX& m);
// The inverse of M, or false when M is singular.
bool D3DXMatrixInverse(const D3DMATRIX& m, D3DMATRIX& inverse);

// The colour function of the platform: four floats 0..1 packed as ARGB, each channel
// truncated (x × 255) and masked to 8 bits, with no clamp and no rounding.
D3DCOLOR D3DColorRGBA(float r, float g, float b, float a);
