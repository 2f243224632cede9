#include "math/d3dmath.h"

#include <cmath>

D3DMATRIX D3DXMatrixIdentity() {
    D3DMATRIX r{};
    r._11 = r._22 = r._33 = r._44 = 1.0f;
    return r;
}

D3DMATRIX D3DXMatrixMultiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                        a.m[i][3] * b.m[3][j];
    return r;
}

D3DMATRIX D3DXMatrixTranspose(const D3DMATRIX& m) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = m.m[j][i];
    return r;
}

D3DMATRIX D3DXMatrixLookAtLH(const D3DVECTOR& eye, const D3DVECTOR& at, const D3DVECTOR& up) {
    D3DVECTOR z = D3DXVec3Normalize(D3DXVec3Subtract(at, eye));
    D3DVECTOR x = D3DXVec3Normalize(D3DXVec3Cross(up, z));
    D3DVECTOR y = D3DXVec3Cross(z, x);
    D3DMATRIX r{};
    r._11 = x.x; r._12 = y.x; r._13 = z.x;
    r._21 = x.y; r._22 = y.y; r._23 = z.y;
    r._31 = x.z; r._32 = y.z; r._33 = z.z;
    r._41 = -D3DXVec3Dot(x, eye);
    r._42 = -D3DXVec3Dot(y, eye);
    r._43 = -D3DXVec3Dot(z, eye);
    r._44 = 1.0f;
    return r;
}

D3DMATRIX D3DXMatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar) {
    float yScale = 1.0f / std::tan(fovY / 2.0f);
    float xScale = yScale / aspect;
    D3DMATRIX r{};
    r._11 = xScale;
    r._22 = yScale;
    r._33 = zFar / (zFar - zNear);
    r._34 = 1.0f;
    r._43 = -zNear * zFar / (zFar - zNear);
    return r;
}

D3DVECTOR D3DXVec3Subtract(const D3DVECTOR& a, const D3DVECTOR& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

D3DVECTOR D3DXVec3Add(const D3DVECTOR& a, const D3DVECTOR& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

D3DVECTOR D3DXVec3Cross(const D3DVECTOR& a, const D3DVECTOR& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float D3DXVec3Dot(const D3DVECTOR& a, const D3DVECTOR& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

float D3DXVec3Length(const D3DVECTOR& v) { return std::sqrt(D3DXVec3Dot(v, v)); }

D3DVECTOR D3DXVec3Normalize(const D3DVECTOR& v) {
    float length = D3DXVec3Length(v);
    if (length == 0.0f) return {0.0f, 0.0f, 0.0f};
    return {v.x / length, v.y / length, v.z / length};
}

D3DVECTOR D3DXVec3Scale(const D3DVECTOR& v, float s) { return {v.x * s, v.y * s, v.z * s}; }

D3DVECTOR D3DXVec3TransformCoord(const D3DVECTOR& v, const D3DMATRIX& m) {
    float x = v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41;
    float y = v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42;
    float z = v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43;
    float w = v.x * m._14 + v.y * m._24 + v.z * m._34 + m._44;
    if (w == 0.0f) return {x, y, z};
    return {x / w, y / w, z / w};
}

D3DVECTOR D3DXVec3TransformNormal(const D3DVECTOR& v, const D3DMATRIX& m) {
    return {v.x * m._11 + v.y * m._21 + v.z * m._31, v.x * m._12 + v.y * m._22 + v.z * m._32,
            v.x * m._13 + v.y * m._23 + v.z * m._33};
}

bool D3DXMatrixInverse(const D3DMATRIX& m, D3DMATRIX& inverse) {
    // Gauss-Jordan elimination with partial pivoting, in double precision.
    double a[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            a[i][j] = m.m[i][j];
            a[i][j + 4] = i == j ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (a[pivot][col] == 0.0) return false;
        if (pivot != col)
            for (int j = 0; j < 8; ++j) std::swap(a[pivot][j], a[col][j]);
        double inv = 1.0 / a[col][col];
        for (int j = 0; j < 8; ++j) a[col][j] *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0.0) continue;
            double f = a[r][col];
            for (int j = 0; j < 8; ++j) a[r][j] -= f * a[col][j];
        }
    }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) inverse.m[i][j] = static_cast<float>(a[i][j + 4]);
    return true;
}

D3DCOLOR D3DColorRGBA(float r, float g, float b, float a) {
    auto channel = [](float x) {
        return static_cast<D3DCOLOR>(static_cast<int64_t>(x * 255.0f)) & 0xFFu;
    };
    return channel(a) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
}
