#pragma once
// The benchmarks' big model: a torus whose tube radius rises and falls with a few sines, so
// that its normals vary everywhere, on a grid of any size, as binary little-endian PLY without
// normals (vertex x y z float; face list uchar int), right-handed with counter-clockwise fronts
// as PLY files have them.

#include <cstdint>
#include <ostream>

namespace datagen {

struct TorusGrid {
    uint32_t segments = 0;  // around the torus's axis
    uint32_t sides = 0;     // around its tube
    uint64_t vertices() const { return uint64_t{segments} * sides; }
    uint64_t faces() const { return 2 * vertices(); }
};

inline constexpr uint64_t kMinTorusVertices = 12;
inline constexpr uint64_t kMaxTorusVertices = uint64_t{1} << 28;  // indices fit PLY's int

// The grid closest to `vertices` vertices with four segments to a side.
TorusGrid torusGrid(uint64_t vertices);

// The whole file, written in pieces; the stream reports any write error.
void writeBumpyTorusPly(std::ostream& out, const TorusGrid& grid);

}  // namespace datagen
