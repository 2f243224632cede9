#pragma once
// The interpreter's own form of a program: macros expanded, subtraction folded into addition,
// every operand resolved to a "slot" (4 components x kBatch floats) of the batch memory.

#include <array>
#include <cstdint>
#include <vector>

#include "vs/Interpreter.h"

namespace vs {

inline constexpr int kBatch = 128;
inline constexpr int kSlotFloats = 4 * kBatch;

// Slots of one batch's memory, then one slot per referenced constant (shared, read-only).
inline constexpr uint16_t kTempSlot0 = 0;
inline constexpr uint16_t kInputSlot0 = kTempSlot0 + kNumTemps;
inline constexpr uint16_t kOutputSlot0 = kInputSlot0 + kNumInputs;
inline constexpr uint16_t kScratchSrc0 = kOutputSlot0 + kNumOutputRegisters;
inline constexpr uint16_t kScratchDst = kScratchSrc0 + 3;
inline constexpr uint16_t kBatchSlots = kScratchDst + 1;

enum class SrcKind : uint8_t { Direct, NegatedCopy, Relative };

struct SrcRef {
    uint16_t slot = 0;
    std::array<uint8_t, 4> swz{0, 1, 2, 3};
    SrcKind kind = SrcKind::Direct;
    bool negate = false;
    uint16_t offset = 0;  // Relative: added to a0.x
    uint8_t channels = 0xF;  // the channels the step reads: only these are copied or gathered
};

struct Step {
    Kernel kernel;
    uint8_t mask;
    uint16_t dstSlot;
    bool viaScratch;  // the destination is also a source: compute aside, then copy
    uint8_t sources;
    std::array<SrcRef, 3> src;
};

// A slot shared by all threads: a constant register (negated or not) or the value a
// uniform temporary has once the prologue has run.
struct ConstSlot {
    uint16_t reg;
    bool negate;
    bool uniformTemp;
};

struct CompiledShader::Plan {
    std::vector<Step> prologue;  // steps giving every vertex the same value: run once per run
    std::vector<Step> steps;
    std::vector<ConstSlot> constSlots;  // slot kBatchSlots + k
    uint32_t inputsRead = 0;  // bit r: the program reads v<r>
};

// Everything one thread needs to shade batches: its batch memory and slot table.
struct BatchContext {
    float* memory = nullptr;            // kBatchSlots slots, owned by the thread (see initContext)
    std::vector<float*> slot;           // batch slots, then the shared constant slots
    std::array<int32_t, kBatch> a0{};
};

// Sets up a context on the calling thread's batch memory, with constant slots pointing into
// `constantMemory` and the defaults of the inputs read and the outputs wanted filled in.
void initContext(BatchContext& ctx, const CompiledShader::Plan& plan, float* constantMemory,
                 const VertexSource& source, const OutputArrays& outputs);

// Runs the prologue and copies the uniform temporaries into their shared slots.
void runPrologue(const CompiledShader::Plan& plan, BatchContext& ctx, const ConstantFile& constants);

// Shades vertices [start, start + n) of the run, n <= kBatch.
void shadeBatch(const CompiledShader::Plan& plan, BatchContext& ctx, const ConstantFile& constants,
                const VertexSource& source, size_t start, int n, const OutputArrays& outputs);

// The two kernel entry points a run calls (Kernels.cpp): this build's own by default; the
// tests pass the portable build's to compare the two.
struct BatchKernels {
    decltype(&runPrologue) prologue = runPrologue;
    decltype(&shadeBatch) shade = shadeBatch;
};

// CompiledShader::run with the given kernels.
void runPlan(const CompiledShader::Plan& plan, const ConstantFile& constants, const VertexSource& source,
             size_t count, const OutputArrays& outputs, unsigned maxThreads, const BatchKernels& kernels);

}  // namespace vs
