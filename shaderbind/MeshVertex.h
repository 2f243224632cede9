#pragma once
// The vertex of the scene's mesh once scene setup has cloned it: what the cel pass's
// declaration reads from stream 0 (v0 position, v3 normal, v7 texture coordinate) and what
// the edge list builder reads back. Every part of the program that clones, binds or reads
// that mesh takes its format and stride from here.

#include <cstdint>

#include "d3d8/d3d8types.h"
#include "math/d3dmath.h"

struct MeshVertex {
    D3DVECTOR position;
    D3DVECTOR normal;
    float u, v;
};

// Position, normal and one texture coordinate pair: flexible vertex format 274.
inline constexpr uint32_t kMeshVertexFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
inline constexpr uint32_t kMeshVertexStride = sizeof(MeshVertex);

static_assert(kMeshVertexFVF == 274);
static_assert(kMeshVertexStride == 32, "MeshVertex is the 32-byte vertex of format 274");
