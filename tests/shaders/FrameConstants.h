#pragma once
// The vertex-shader constants of one frame, built the way the renderer builds them: a fixed
// camera 40 units in front of the origin, the fixed perspective, and a world matrix.

#include <cmath>
#include <cstring>

#include "math/d3dmath.h"
#include "vs/Interpreter.h"

namespace shadertest {

inline D3DMATRIX viewMatrix() { return D3DXMatrixLookAtLH({0, 0, -40}, {0, 0, 0}, {0, 1, 0}); }
inline D3DMATRIX projectionMatrix() { return D3DXMatrixPerspectiveFovLH(0.785f, 4.0f / 5.0f, 0.1f, 1400.0f); }

// Scale, then turn about x, then about y (row-vector convention).
inline D3DMATRIX worldMatrix(float scale, float angleX, float angleY) {
    D3DMATRIX s = D3DXMatrixIdentity();
    s._11 = s._22 = s._33 = scale;
    D3DMATRIX rx = D3DXMatrixIdentity();
    rx._22 = std::cos(angleX), rx._23 = std::sin(angleX), rx._32 = -std::sin(angleX), rx._33 = std::cos(angleX);
    D3DMATRIX ry = D3DXMatrixIdentity();
    ry._11 = std::cos(angleY), ry._13 = -std::sin(angleY), ry._31 = std::sin(angleY), ry._33 = std::cos(angleY);
    return D3DXMatrixMultiply(D3DXMatrixMultiply(s, rx), ry);
}

// c0.y the ramp's v, c1..c3 world-view and c5..c8 world-view-projection (transposed), c9 the
// diffuse colour, c10 the light vector and the edge pass's depth bias.
inline vs::ConstantFile frameConstants(const D3DMATRIX& world, const std::array<float, 4>& diffuse = {1, 1, 1, 1}) {
    const D3DMATRIX wv = D3DXMatrixMultiply(world, viewMatrix());
    const D3DMATRIX wvT = D3DXMatrixTranspose(wv), wvpT = D3DXMatrixTranspose(D3DXMatrixMultiply(wv, projectionMatrix()));
    vs::ConstantFile k{};
    k[0] = {0, 0.5f, 0, 0};
    std::memcpy(&k[1], &wvT, 3 * 16);
    std::memcpy(&k[5], &wvpT, 4 * 16);
    k[9] = diffuse;
    k[10] = {-0.4f, 0.1f, -0.5f, -0.0002f};
    return k;
}

}  // namespace shadertest
