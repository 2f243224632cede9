#pragma once
// Runs a decoded vertex-shader program over many vertices at once. Vertices are processed in
// batches held as structure-of-arrays (one float array per register component), so each
// instruction is a handful of plain loops the compiler vectorises; large draws are spread
// over the machine's cores. Steps that read only constants (a light vector normalised, a
// scale made of constants) run once per draw, not once per vertex. Results are
// bit-identical whatever the number of threads.
//
// Semantics chosen where the platform leaves room:
// - Scalar operations (rcp, rsq, exp, log, expp, logp) read the w channel of their swizzled
//   source, so "rcp r0, r1.x" reads x (the swizzle replicates) and "rcp r0, r1" reads w.
// - rcp and rsq of 0 give +infinity, of 1 exactly 1; log of 0 gives -infinity and logp of 0
//   gives (-inf, 0, -inf, 1).
// - "mov a0.x, src" rounds the x channel of the swizzled source to the nearest integer (ties to
//   even); a relative read outside c0-c95 gives (0, 0, 0, 0).
// - Input components the declaration does not supply read as (0, 0, 0, 1).
// - Output components the program does not write read as (0, 0, 0, 1); oD0, oD1 and oFog are
//   clamped to 0..1 (a NaN becomes 0) on their way out, as the rasteriser expects them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "vs/Program.h"

namespace vs {

enum class InputType : uint8_t { Float1, Float2, Float3, Float4, D3DColor };

// Where one input register comes from inside each vertex of the stream.
struct InputBinding {
    uint8_t reg;
    InputType type;
    uint32_t offset;  // bytes from the start of the vertex
};

// The vertices to shade: vertex k of the run is vertex indices[k] (or first + k when indices
// is empty) of the stream.
struct VertexSource {
    const std::byte* data = nullptr;
    uint32_t stride = 0;
    std::span<const InputBinding> bindings;
    std::span<const uint32_t> indices;
    uint32_t first = 0;
};

enum OutputRegister : uint8_t {
    OutPos = 0, OutFog, OutPts, OutD0, OutD1, OutT0,
    kNumOutputRegisters = OutT0 + kNumTexCoords,
};

// Caller-owned result arrays: comp[r][c] receives component c of output r for every vertex
// of the run (count floats); a null pointer skips that component.
struct OutputArrays {
    std::array<std::array<float*, 4>, kNumOutputRegisters> comp{};
};

using ConstantFile = std::array<std::array<float, 4>, kNumConstants>;

class CompiledShader {
public:
    explicit CompiledShader(const Program& program);
    ~CompiledShader();
    CompiledShader(CompiledShader&&) noexcept;
    CompiledShader& operator=(CompiledShader&&) noexcept;

    // Shades `count` vertices. maxThreads 0 uses every core; 1 keeps the work on the caller.
    void run(const ConstantFile& constants, const VertexSource& source, size_t count,
             const OutputArrays& outputs, unsigned maxThreads = 0) const;

    // The interpreter's own form of the program (Plan.h), for running it with other kernels.
    struct Plan;
    const Plan& plan() const { return *plan_; }

private:
    std::unique_ptr<Plan> plan_;
};

}  // namespace vs
