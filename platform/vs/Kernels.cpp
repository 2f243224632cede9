// The hot part of the interpreter: one batch of vertices through every step of a plan. Each
// operation is a loop over kBatch lanes of plain float arrays; no contraction of a*b+c into
// fused operations, so every build gives the same bits.
//
// Two builds, chosen at build time (CMake option CELSHADE_PORTABLE_KERNELS): the x86-64 one
// clones the batch function for three instruction-set levels, picked at load time, and reads
// strided floats through AVX-512 gathers where the processor has them; the portable one is
// plain C++ for any processor. The tests run both on the same inputs and compare the bits.

#ifndef CELSHADE_PORTABLE_KERNELS  // built outside CMake: portable unless the target is x86-64
#if defined(__x86_64__)
#define CELSHADE_PORTABLE_KERNELS 0
#else
#define CELSHADE_PORTABLE_KERNELS 1
#endif
#endif

#if !CELSHADE_PORTABLE_KERNELS
#if !defined(__x86_64__)
#error "the x86-64 kernels need an x86-64 target; configure with -DCELSHADE_PORTABLE_KERNELS=ON"
#endif
#include <immintrin.h>
#endif

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "vs/Plan.h"

namespace vs {
// A second build of these kernels for the comparison test lives in its own namespace.
#ifdef CELSHADE_KERNELS_NAMESPACE
namespace CELSHADE_KERNELS_NAMESPACE {
#endif
namespace {

constexpr int N = kBatch;
constexpr float kInf = std::numeric_limits<float>::infinity();

#define VS_INLINE [[gnu::always_inline]] inline
// A destination may be the very array a source reads (an instruction writing the register it
// reads, channel for channel); each lane is read before it is written, so no lane depends on
// another, which is all the vectoriser needs to know.
// (GCC builds the program; other compilers check for overlap at run time instead.)
#if defined(__GNUC__) && !defined(__clang__)
#define VS_LOOP _Pragma("GCC ivdep")
#else
#define VS_LOOP
#endif

VS_INLINE void kMov(float* d, const float* a) { VS_LOOP for (int i = 0; i < N; ++i) d[i] = a[i]; }
VS_INLINE void kAdd(float* d, const float* a, const float* b) { VS_LOOP for (int i = 0; i < N; ++i) d[i] = a[i] + b[i]; }
VS_INLINE void kMul(float* d, const float* a, const float* b) { VS_LOOP for (int i = 0; i < N; ++i) d[i] = a[i] * b[i]; }
VS_INLINE void kMad(float* d, const float* a, const float* b, const float* c) {
    VS_LOOP for (int i = 0; i < N; ++i) d[i] = a[i] * b[i] + c[i];
}
VS_INLINE void kMin(float* d, const float* a, const float* b) { VS_LOOP for (int i = 0; i < N; ++i) d[i] = a[i] < b[i] ? a[i] : b[i]; }
VS_INLINE void kMax(float* d, const float* a, const float* b) { VS_LOOP for (int i = 0; i < N; ++i) d[i] = a[i] >= b[i] ? a[i] : b[i]; }
VS_INLINE void kSlt(float* d, const float* a, const float* b) { VS_LOOP for (int i = 0; i < N; ++i) d[i] = a[i] < b[i] ? 1.0f : 0.0f; }
VS_INLINE void kSge(float* d, const float* a, const float* b) { VS_LOOP for (int i = 0; i < N; ++i) d[i] = a[i] >= b[i] ? 1.0f : 0.0f; }

VS_INLINE void kDp3(float* d, const float* const* a, const float* const* b) {
    const float* a0 = a[0]; const float* a1 = a[1]; const float* a2 = a[2];
    const float* b0 = b[0]; const float* b1 = b[1]; const float* b2 = b[2];
    VS_LOOP for (int i = 0; i < N; ++i) d[i] = a0[i] * b0[i] + a1[i] * b1[i] + a2[i] * b2[i];
}
VS_INLINE void kDp4(float* d, const float* const* a, const float* const* b) {
    const float* a0 = a[0]; const float* a1 = a[1]; const float* a2 = a[2]; const float* a3 = a[3];
    const float* b0 = b[0]; const float* b1 = b[1]; const float* b2 = b[2]; const float* b3 = b[3];
    VS_LOOP for (int i = 0; i < N; ++i) d[i] = a0[i] * b0[i] + a1[i] * b1[i] + a2[i] * b2[i] + a3[i] * b3[i];
}

// 1/x with the platform's special cases: 0 gives +inf (either sign), 1 stays exactly 1.
VS_INLINE void kRcp(float* d, const float* a) {
    VS_LOOP for (int i = 0; i < N; ++i) d[i] = a[i] == 0.0f ? kInf : 1.0f / a[i];
}
VS_INLINE void kRsq(float* d, const float* a) {
    VS_LOOP for (int i = 0; i < N; ++i) d[i] = 1.0f / std::sqrt(std::fabs(a[i]));
}
VS_INLINE void kExp(float* d, const float* a) { VS_LOOP for (int i = 0; i < N; ++i) d[i] = std::exp2(a[i]); }
VS_INLINE void kLog(float* d, const float* a) { VS_LOOP for (int i = 0; i < N; ++i) d[i] = std::log2(std::fabs(a[i])); }
VS_INLINE void kFrc(float* d, const float* a) { VS_LOOP for (int i = 0; i < N; ++i) d[i] = a[i] - std::floor(a[i]); }

// The partial-precision results clear the low byte of the mantissa, keeping 15 of its 23
// stored bits (16 significant bits with the implicit one).
VS_INLINE float reducedPrecision(float v) { return std::bit_cast<float>(std::bit_cast<uint32_t>(v) & 0xFFFFFF00u); }

VS_INLINE void expp(float v, float out[4]) {
    const float whole = std::floor(v);
    out[0] = std::exp2(whole);
    out[1] = v - whole;
    out[2] = reducedPrecision(std::exp2(v));
    out[3] = 1.0f;
}

VS_INLINE void logp(float s, float out[4]) {
    const float v = std::fabs(s);
    out[3] = 1.0f;
    if (v == 0.0f) {
        out[0] = -kInf; out[1] = 0.0f; out[2] = -kInf;
        return;
    }
    if (!std::isfinite(v)) {
        out[0] = v; out[1] = v; out[2] = v;
        return;
    }
    int exponent = 0;
    const float mantissa = std::frexp(v, &exponent);  // v = mantissa * 2^exponent, mantissa in [0.5, 1)
    out[0] = float(exponent - 1);
    out[1] = mantissa * 2.0f;
    out[2] = reducedPrecision(std::log2(v));
}

VS_INLINE void lit(float x, float y, float w, float out[4]) {
    constexpr float kMaxPower = 127.9961f;
    out[0] = 1.0f; out[1] = 0.0f; out[2] = 0.0f; out[3] = 1.0f;
    if (x > 0.0f) {
        out[1] = x;
        if (y > 0.0f) out[2] = std::pow(y, std::fmax(-kMaxPower, std::fmin(kMaxPower, w)));
    }
}

VS_INLINE int32_t toAddress(float v) {
    // Far outside the constants, and far enough that no offset brings it back (NaN too).
    constexpr int32_t kFar = 1 << 24;
    if (!(v > -1.0e6f && v < 1.0e6f)) return v > 0.0f ? kFar : -kFar;
    return int32_t(std::nearbyint(v));
}

struct Operands {
    const float* p[3][4];
};

VS_INLINE void gatherRelative(const SrcRef& s, const ConstantFile& k, const int32_t* a0, float* out) {
    const int32_t offset = s.offset;
    const bool negate = s.negate;
    for (int c = 0; c < 4; ++c) {
        if (!(s.channels & (1u << c))) continue;
        const size_t comp = s.swz[size_t(c)];
        float* to = out + c * N;
        for (int i = 0; i < N; ++i) {
            const int32_t index = a0[i] + offset;
            const float v = uint32_t(index) < kNumConstants ? k[size_t(index)][comp] : 0.0f;
            to[i] = negate ? -v : v;
        }
    }
}

VS_INLINE void negatedCopy(const float* from, float* to) { VS_LOOP for (int i = 0; i < N; ++i) to[i] = -from[i]; }

VS_INLINE void resolveSources(const Step& step, BatchContext& ctx, const ConstantFile& k, Operands& ops) {
    for (int s = 0; s < step.sources; ++s) {
        const SrcRef& src = step.src[size_t(s)];
        float* scratch = ctx.slot[kScratchSrc0 + s];
        if (src.kind == SrcKind::Relative) {
            gatherRelative(src, k, ctx.a0.data(), scratch);
        } else if (src.kind == SrcKind::NegatedCopy) {
            const float* from = ctx.slot[src.slot];
            for (int c = 0; c < 4; ++c)
                if (src.channels & (1u << c)) negatedCopy(from + src.swz[size_t(c)] * N, scratch + c * N);
        }
        for (int c = 0; c < 4; ++c)
            ops.p[s][c] = src.kind == SrcKind::Direct ? ctx.slot[src.slot] + src.swz[size_t(c)] * N : scratch + c * N;
    }
}

// Copies channel `from` of d into the other channels of mask.
VS_INLINE void replicate(float* d, uint32_t mask, int from) {
    for (int c = 0; c < 4; ++c)
        if (c != from && (mask & (1u << c))) kMov(d + c * N, d + from * N);
}

template <typename F>
VS_INLINE void perVertexVector(float* d, uint32_t mask, F&& f) {
    for (int i = 0; i < N; ++i) {
        float r[4];
        f(i, r);
        for (int c = 0; c < 4; ++c)
            if (mask & (1u << c)) d[c * N + i] = r[c];
    }
}

VS_INLINE void executeStep(const Step& step, const Operands& o, float* d, int32_t* a0) {
    const uint32_t mask = step.mask;
    const int first = std::countr_zero(mask);
    auto each = [&](auto&& kernel) {
        for (int c = 0; c < 4; ++c)
            if (mask & (1u << c)) kernel(d + c * N, c);
    };
    switch (step.kernel) {
    case Kernel::None: break;  // never planned: operations without a kernel have no step
    case Kernel::Mov: each([&](float* out, int c) { kMov(out, o.p[0][c]); }); break;
    case Kernel::MovA0: for (int i = 0; i < N; ++i) a0[i] = toAddress(o.p[0][0][i]); break;
    case Kernel::Add: each([&](float* out, int c) { kAdd(out, o.p[0][c], o.p[1][c]); }); break;
    case Kernel::Mul: each([&](float* out, int c) { kMul(out, o.p[0][c], o.p[1][c]); }); break;
    case Kernel::Mad: each([&](float* out, int c) { kMad(out, o.p[0][c], o.p[1][c], o.p[2][c]); }); break;
    case Kernel::Min: each([&](float* out, int c) { kMin(out, o.p[0][c], o.p[1][c]); }); break;
    case Kernel::Max: each([&](float* out, int c) { kMax(out, o.p[0][c], o.p[1][c]); }); break;
    case Kernel::Slt: each([&](float* out, int c) { kSlt(out, o.p[0][c], o.p[1][c]); }); break;
    case Kernel::Sge: each([&](float* out, int c) { kSge(out, o.p[0][c], o.p[1][c]); }); break;
    case Kernel::Frc: each([&](float* out, int c) { kFrc(out, o.p[0][c]); }); break;
    case Kernel::Dp3: kDp3(d + first * N, o.p[0], o.p[1]); replicate(d, mask, first); break;
    case Kernel::Dp4: kDp4(d + first * N, o.p[0], o.p[1]); replicate(d, mask, first); break;
    case Kernel::Rcp: kRcp(d + first * N, o.p[0][3]); replicate(d, mask, first); break;
    case Kernel::Rsq: kRsq(d + first * N, o.p[0][3]); replicate(d, mask, first); break;
    case Kernel::Exp: kExp(d + first * N, o.p[0][3]); replicate(d, mask, first); break;
    case Kernel::Log: kLog(d + first * N, o.p[0][3]); replicate(d, mask, first); break;
    case Kernel::Expp: perVertexVector(d, mask, [&](int i, float* r) { expp(o.p[0][3][i], r); }); break;
    case Kernel::Logp: perVertexVector(d, mask, [&](int i, float* r) { logp(o.p[0][3][i], r); }); break;
    case Kernel::Lit: perVertexVector(d, mask, [&](int i, float* r) { lit(o.p[0][0][i], o.p[0][1][i], o.p[0][3][i], r); }); break;
    case Kernel::Dst:
        perVertexVector(d, mask, [&](int i, float* r) {
            r[0] = 1.0f; r[1] = o.p[0][1][i] * o.p[1][1][i]; r[2] = o.p[0][2][i]; r[3] = o.p[1][3][i];
        });
        break;
    }
}

// Float-aligned streams (every vertex buffer and float array) are read as floats with a
// stride: with AVX-512 sixteen lanes at a time through gathers, otherwise one by one.
VS_INLINE void loadStrided(float* __restrict d, const float* __restrict f, size_t stride, int n) {
    for (int i = 0; i < n; ++i) d[i] = f[size_t(i) * stride];
}

VS_INLINE void loadIndexed(float* __restrict d, const float* __restrict f, const uint32_t* __restrict index,
                           size_t stride, int n) {
    for (int i = 0; i < n; ++i) d[i] = f[size_t(index[i]) * stride];
}

#if CELSHADE_PORTABLE_KERNELS

#define VS_BATCH_FUNCTION

VS_INLINE void loadComponent(float* d, const float* f, size_t stride, int n) { loadStrided(d, f, stride, n); }

VS_INLINE void loadComponentIndexed(float* d, const float* f, const uint32_t* index, size_t stride, int n) {
    loadIndexed(d, f, index, stride, n);
}

#else

#if defined(__clang__)
// Clang 14 (the fuzz build's compiler) dispatches to the x86-64-v4 clone on processors without
// AVX-512, which then stop at its first AVX-512 instruction: it gets the baseline kernels.
#define VS_BATCH_FUNCTION
#else
#define VS_BATCH_FUNCTION [[gnu::target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")]]
#endif

[[gnu::target("avx512f")]] void gatherAvx512(float* d, const float* f, uint32_t stride, int n) {
    const __m512i lane = _mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                                            _mm512_set1_epi32(int32_t(stride)));
    int i = 0;
    for (; i + 16 <= n; i += 16) _mm512_storeu_ps(d + i, _mm512_mask_i32gather_ps(_mm512_setzero_ps(), __mmask16(0xFFFF), lane, f + size_t(i) * stride, 4));
    loadStrided(d + i, f + size_t(i) * stride, stride, n - i);
}

[[gnu::target("avx512f,avx512dq")]] void gatherIndexedAvx512(float* d, const float* f, const uint32_t* index, uint32_t stride, int n) {
    const __m512i scale = _mm512_set1_epi64(int64_t(stride));
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m512i idx = _mm512_mullo_epi64(_mm512_maskz_cvtepu32_epi64(__mmask8(0xFF), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(index + i))), scale);
        _mm256_storeu_ps(d + i, _mm512_mask_i64gather_ps(_mm256_setzero_ps(), __mmask8(0xFF), idx, f, 4));
    }
    loadIndexed(d + i, f, index + i, stride, n - i);
}

bool haveAvx512() {
    static const bool have = [] {
        __builtin_cpu_init();  // may run before the library's own start-up code
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    }();
    return have;
}

// Lane offsets are 32-bit: 16 * stride must stay far below 2^31.
VS_INLINE bool gathers(size_t stride) { return haveAvx512() && stride < (1u << 20); }

VS_INLINE void loadComponent(float* d, const float* f, size_t stride, int n) {
    if (gathers(stride)) return gatherAvx512(d, f, uint32_t(stride), n);
    loadStrided(d, f, stride, n);
}

VS_INLINE void loadComponentIndexed(float* d, const float* f, const uint32_t* index, size_t stride, int n) {
    if (gathers(stride)) return gatherIndexedAvx512(d, f, index, uint32_t(stride), n);
    loadIndexed(d, f, index, stride, n);
}

#endif

// Copies C floats per vertex into the component arrays; fixed sizes let the compiler turn
// the copies into plain (or gathered) loads.
template <int C>
VS_INLINE void loadFloats(float* d, const VertexSource& src, uint32_t offset, size_t start, int n) {
    const size_t stride = src.stride;
    const std::byte* base = src.data + offset;
    if (reinterpret_cast<uintptr_t>(base) % alignof(float) == 0 && stride % sizeof(float) == 0) {
        const float* f = reinterpret_cast<const float*>(base);
        const size_t floats = stride / sizeof(float);
        for (int c = 0; c < C; ++c) {
            if (src.indices.empty())
                loadComponent(d + c * N, f + (size_t(src.first) + start) * floats + size_t(c), floats, n);
            else
                loadComponentIndexed(d + c * N, f + size_t(c), src.indices.data() + start, floats, n);
        }
        return;
    }
    for (int c = 0; c < C; ++c)
        for (int i = 0; i < n; ++i) {
            const size_t vertex = src.indices.empty() ? size_t(src.first) + start + size_t(i) : src.indices[start + size_t(i)];
            std::memcpy(d + c * N + i, base + vertex * stride + size_t(c) * 4, 4);
        }
}

VS_INLINE void loadColours(float* d, const VertexSource& src, uint32_t offset, size_t start, int n) {
    for (int i = 0; i < n; ++i) {
        const size_t vertex = src.indices.empty() ? size_t(src.first) + start + size_t(i) : src.indices[start + size_t(i)];
        uint32_t argb;
        std::memcpy(&argb, src.data + vertex * src.stride + offset, 4);
        d[i] = float((argb >> 16) & 0xFF) / 255.0f;
        d[N + i] = float((argb >> 8) & 0xFF) / 255.0f;
        d[2 * N + i] = float(argb & 0xFF) / 255.0f;
        d[3 * N + i] = float(argb >> 24) / 255.0f;
    }
}

VS_INLINE void loadInputs(const CompiledShader::Plan& plan, BatchContext& ctx, const VertexSource& src, size_t start, int n) {
    for (const InputBinding& b : src.bindings) {
        if (b.reg >= kNumInputs || !(plan.inputsRead & (1u << b.reg))) continue;
        float* d = ctx.slot[kInputSlot0 + b.reg];
        switch (b.type) {
        case InputType::Float1: loadFloats<1>(d, src, b.offset, start, n); break;
        case InputType::Float2: loadFloats<2>(d, src, b.offset, start, n); break;
        case InputType::Float3: loadFloats<3>(d, src, b.offset, start, n); break;
        case InputType::Float4: loadFloats<4>(d, src, b.offset, start, n); break;
        case InputType::D3DColor: loadColours(d, src, b.offset, start, n); break;
        }
    }
}

VS_INLINE float clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

VS_INLINE void storeOutputs(BatchContext& ctx, size_t start, int n, const OutputArrays& out) {
    for (int r = 0; r < kNumOutputRegisters; ++r) {
        const float* from = ctx.slot[kOutputSlot0 + r];
        const bool clamp = r == OutD0 || r == OutD1 || r == OutFog;
        for (int c = 0; c < 4; ++c) {
            float* to = out.comp[size_t(r)][size_t(c)];
            if (!to) continue;
            to += start;
            if (clamp)
                for (int i = 0; i < n; ++i) to[i] = clamp01(from[c * N + i]);
            else
                std::memcpy(to, from + c * N, size_t(n) * sizeof(float));
        }
    }
}

VS_INLINE void runSteps(const std::vector<Step>& steps, BatchContext& ctx, const ConstantFile& constants) {
    for (const Step& step : steps) {
        Operands ops;
        resolveSources(step, ctx, constants, ops);
        float* d = ctx.slot[step.viaScratch ? kScratchDst : step.dstSlot];
        executeStep(step, ops, d, ctx.a0.data());
        if (step.viaScratch)
            for (int c = 0; c < 4; ++c)
                if (step.mask & (1u << c)) kMov(ctx.slot[step.dstSlot] + c * N, d + c * N);
    }
}

}  // namespace

void runPrologue(const CompiledShader::Plan& plan, BatchContext& ctx, const ConstantFile& constants) {
    runSteps(plan.prologue, ctx, constants);
    for (size_t k = 0; k < plan.constSlots.size(); ++k) {
        const ConstSlot& cs = plan.constSlots[k];
        if (cs.uniformTemp) std::memcpy(ctx.slot[kBatchSlots + k], ctx.slot[kTempSlot0 + cs.reg], kSlotFloats * sizeof(float));
    }
}

VS_BATCH_FUNCTION
void shadeBatch(const CompiledShader::Plan& plan, BatchContext& ctx, const ConstantFile& constants,
                const VertexSource& source, size_t start, int n, const OutputArrays& outputs) {
    loadInputs(plan, ctx, source, start, n);
    runSteps(plan.steps, ctx, constants);
    storeOutputs(ctx, start, n, outputs);
}

#ifdef CELSHADE_KERNELS_NAMESPACE
}  // namespace CELSHADE_KERNELS_NAMESPACE
#endif
}  // namespace vs
