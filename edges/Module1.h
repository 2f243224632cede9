#pragma once
// The edge list builder: turns the loaded triangle mesh into the line list of the outline
// pass. Every face emits its three edges as six line vertices that carry the face's own
// normal and, where a neighbour across the edge meets it at a gentle bend, the neighbour's.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

#include "d3dx8/Mesh.h"
#include "math/d3dmath.h"
#include "runtime/UnzeroedAllocator.h"

// One line vertex of the outline pass, handed to the device unchanged (stride 36, two
// entries per line). The fields feed the edge shader's inputs v0, v3 and v6 in this order.
struct edgeVertex {
    D3DVECTOR position;  // end point of the edge, model space
    D3DVECTOR normalA;   // unit normal of the face that emitted the line
    D3DVECTOR normalB;   // the qualifying neighbour's normal, or -normalA when there is none
};
static_assert(sizeof(edgeVertex) == 36, "edgeVertex is a 36-byte vertex format");
static_assert(std::is_trivially_copyable_v<edgeVertex>, "edgeVertex is copied to the device as bytes");

namespace Module1 {

// The line list, six entries per face: 36 bytes each, so gigabytes for a model of millions
// of faces. Its entries are not zeroed when it is sized: a build writes every entry itself,
// and leaving the pages untouched until then lets it spread the cost of first touching
// gigabytes over both cores instead of paying it before its first yield.
using EdgeList = std::vector<edgeVertex, rt::UnzeroedAllocator<edgeVertex>>;

// The crease limit: cosine of the angle below which two neighbouring faces count as one
// smooth surface. Written by the start dialog, read at every comparison of a build.
extern float threshold;
// Faces finished by the running build: 0 at its start, +1 after each face's yield. A build
// started from inside a yield (a nested scene setup) resets it, and the suspended build goes
// on counting from the nested build's final value; only the readout is affected by that.
extern int32_t edgeProgress;

// Called once per face after its three edges; the window system's pending events run here.
using YieldFn = std::function<void()>;

// True when x, y and z are equal as 32-bit floats, with no tolerance (so -0 equals +0 and a
// NaN coordinate equals nothing).
bool sameVector(const D3DVECTOR& a, const D3DVECTOR& b);

// The scene's edge list: the scene's attribute ranges, Module1::threshold, and the window
// system's pending events as the per-face yield, run once a millisecond has passed since they
// last ran (rt::PacedEventStep): handlers see the build as they would with a run per face,
// while a face pays a few nanoseconds for its yield.
EdgeList buildEdges(const D3DXMesh& mesh, std::span<const D3DXATTRIBUTERANGE> ranges);

// The same build with its inputs explicit. 6 x F entries, zeroed, written range by range in
// table order, face by face, edges P0->P1, P1->P2, P2->P0. A neighbour of face f across
// A->B is the first face g of the same range, ascending, f included, that runs B->A (by
// position) and whose normal's dot with f's exceeds `threshold`, read afresh at every
// comparison. `ranges` is copied and the mesh's bytes taken (shared, not copied: a later
// write to the mesh copies them first) before the first yield, so a handler may replace
// either meanwhile. Work that does not depend on the threshold is done ahead of the yields,
// on a second core when the machine has one; the result does not depend on how.
//
// The mesh has 32-byte vertices with the position first and 16-bit or 32-bit indices.
// Raises rt::Error: 5 for any other vertex layout; 9 when an index names no vertex, a range
// passes the last face, or the ranges hold more than F faces in total (checked before
// anything is read or written); 6 when 6 x F passes int32.
EdgeList buildEdges(const D3DXMesh& mesh, std::span<const D3DXATTRIBUTERANGE> ranges, const float& threshold,
                    const YieldFn& yield);

}  // namespace Module1
