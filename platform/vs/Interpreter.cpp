#include "vs/Interpreter.h"

#include <algorithm>
#include <new>

#include "vs/Plan.h"
#include "vs/WorkerPool.h"

namespace vs {
namespace {

using Plan = CompiledShader::Plan;

Kernel kernelOf(const Instruction& ins) {
    return ins.dst.type == RegType::Addr ? Kernel::MovA0 : ins.op.kernel;
}

uint16_t destinationSlot(const Destination& d) {
    switch (d.type) {
    case RegType::Temp: return uint16_t(kTempSlot0 + d.number);
    case RegType::RastOut: return uint16_t(kOutputSlot0 + d.number);
    case RegType::AttrOut: return uint16_t(kOutputSlot0 + OutD0 + d.number);
    case RegType::TexCrdOut: return uint16_t(kOutputSlot0 + OutT0 + d.number);
    default: return kScratchDst;  // a0 lives outside the slots
    }
}

// Channels are written one after the other. An operation that works channel by channel and
// reads, in a later channel, a component of its own destination that an earlier channel has
// already overwritten ("mov r0.xy, r0.yx") must work aside and copy. Every other operation
// reads all it needs of a lane before writing that lane.
bool crossChannelHazard(const Step& step, bool perChannel) {
    if (!perChannel) return false;
    for (int s = 0; s < step.sources; ++s) {
        const SrcRef& src = step.src[size_t(s)];
        if (src.kind != SrcKind::Direct || src.slot != step.dstSlot) continue;
        for (uint32_t c = 0; c < 4; ++c) {
            const uint32_t comp = src.swz[c];
            if ((step.mask & (1u << c)) && comp < c && (step.mask & (1u << comp))) return true;
        }
    }
    return false;
}

// One operation after macro expansion, before its operands are given slots.
struct RawStep {
    Kernel kernel;
    Destination dst;
    uint8_t mask;
    std::array<Source, 3> src;
    int sources;
    std::array<uint8_t, 3> channels;  // channels read from each source
    bool perChannel;
};

RawStep rawStep(const Instruction& ins, uint8_t mask, const std::array<Source, 3>& src) {
    RawStep st{kernelOf(ins), ins.dst, mask, src, ins.op.sources, {}, worksPerChannel(ins.op)};
    for (int s = 0; s < st.sources; ++s) st.channels[size_t(s)] = uint8_t(channelsRead(ins.op, s, mask));
    return st;
}

std::vector<RawStep> expand(const Program& program) {
    std::vector<RawStep> raw;
    for (const Instruction& in : program.instructions) {
        if (in.op.kernel == Kernel::None) continue;
        const Instruction ins = withoutSubtraction(in);
        // Row r of a matrix macro is its kernel with register src1 + r into channel r.
        for (uint32_t r = 0; r < ins.op.matrixRows; ++r) {
            if (!(ins.dst.mask & (1u << r))) continue;
            Source row = ins.src[1];
            row.number = uint16_t(row.number + r);
            raw.push_back(rawStep(ins, uint8_t(1u << r), {ins.src[0], row, Source{}}));
        }
        if (ins.op.matrixRows == 0) raw.push_back(rawStep(ins, ins.dst.mask, ins.src));
    }
    return raw;
}

uint32_t rawComponentsRead(const RawStep& st, int index) {
    uint32_t comps = 0;
    for (uint32_t c = 0; c < 4; ++c)
        if (st.channels[size_t(index)] & (1u << c)) comps |= 1u << swizzleComponent(st.src[size_t(index)].swizzle, c);
    return comps;
}

bool writesTemp(const RawStep& st, uint32_t temps) {
    return st.dst.type == RegType::Temp && (temps & (1u << st.dst.number));
}

// A step whose every source is a constant or a uniform temporary gives every vertex the
// same result.
bool readsOnlyUniforms(const RawStep& st, uint32_t uniform) {
    for (int s = 0; s < st.sources; ++s) {
        const Source& src = st.src[size_t(s)];
        const bool constant = src.type == RegType::Const && !src.relative;
        const bool uniformTemp = src.type == RegType::Temp && (uniform & (1u << src.number));
        if (!constant && !uniformTemp) return false;
    }
    return true;
}

// Whether a later uniform write to temporary t would change a value a per-vertex step has
// already read; the uniform steps all run before the per-vertex ones, so t must not move.
bool readBeforeLastWrite(const std::vector<RawStep>& raw, uint32_t t, uint32_t uniform) {
    uint32_t readSoFar = 0;
    for (const RawStep& st : raw) {
        if (writesTemp(st, 1u << t) && (readSoFar & st.mask)) return true;
        if (writesTemp(st, uniform)) continue;
        for (int s = 0; s < st.sources; ++s)
            if (st.src[size_t(s)].type == RegType::Temp && st.src[size_t(s)].number == t) readSoFar |= rawComponentsRead(st, s);
    }
    return false;
}

// The temporaries whose every write is uniform and can be done once per run instead of once
// per vertex (a light vector, a scale made from constants).
uint32_t uniformTemporaries(const std::vector<RawStep>& raw) {
    uint32_t uniform = 0;
    for (const RawStep& st : raw)
        if (st.dst.type == RegType::Temp) uniform |= 1u << st.dst.number;
    for (bool changed = true; changed;) {
        changed = false;
        for (const RawStep& st : raw) {
            if (!writesTemp(st, uniform) || readsOnlyUniforms(st, uniform)) continue;
            uniform &= ~(1u << st.dst.number);
            changed = true;
        }
        for (uint32_t t = 0; t < kNumTemps; ++t) {
            if (!(uniform & (1u << t)) || !readBeforeLastWrite(raw, t, uniform)) continue;
            uniform &= ~(1u << t);
            changed = true;
        }
    }
    return uniform;
}

class PlanBuilder {
public:
    PlanBuilder(Plan& plan, uint32_t uniformTemps) : plan_(plan), uniform_(uniformTemps) {}

    void add(const RawStep& raw) {
        const bool prologue = writesTemp(raw, uniform_);
        Step step{raw.kernel, raw.mask, destinationSlot(raw.dst), false, uint8_t(raw.sources), {}};
        for (int s = 0; s < raw.sources; ++s) {
            step.src[size_t(s)] = resolve(raw.src[size_t(s)], prologue);
            step.src[size_t(s)].channels = raw.channels[size_t(s)];
        }
        step.viaScratch = crossChannelHazard(step, raw.perChannel);
        (prologue ? plan_.prologue : plan_.steps).push_back(step);
    }

private:
    // Uniform steps read uniform temporaries where they live, in the temporaries of the
    // context that runs them; per-vertex steps read the copies shared with every thread.
    SrcRef resolve(const Source& s, bool prologue) {
        SrcRef ref;
        for (uint32_t c = 0; c < 4; ++c) ref.swz[c] = uint8_t(swizzleComponent(s.swizzle, c));
        ref.negate = s.negate;
        if (s.type == RegType::Const && s.relative) {
            ref.kind = SrcKind::Relative;
            ref.offset = s.number;
            return ref;
        }
        if (s.type == RegType::Const) {
            ref.slot = sharedSlot({s.number, s.negate, false});  // the negation is folded into the copy
            return ref;
        }
        if (s.type == RegType::Temp && !prologue && (uniform_ & (1u << s.number)))
            ref.slot = sharedSlot({s.number, false, true});
        else
            ref.slot = uint16_t((s.type == RegType::Input ? kInputSlot0 : kTempSlot0) + s.number);
        if (s.type == RegType::Input) plan_.inputsRead |= 1u << s.number;
        ref.kind = s.negate ? SrcKind::NegatedCopy : SrcKind::Direct;
        return ref;
    }

    uint16_t sharedSlot(const ConstSlot& wanted) {
        for (size_t k = 0; k < plan_.constSlots.size(); ++k) {
            const ConstSlot& cs = plan_.constSlots[k];
            if (cs.reg == wanted.reg && cs.negate == wanted.negate && cs.uniformTemp == wanted.uniformTemp)
                return uint16_t(kBatchSlots + k);
        }
        plan_.constSlots.push_back(wanted);
        return uint16_t(kBatchSlots + plan_.constSlots.size() - 1);
    }

    Plan& plan_;
    uint32_t uniform_;
};

// Each referenced constant (and negated constant) as kBatch copies per component.
std::vector<float> broadcastConstants(const Plan& plan, const ConstantFile& constants) {
    std::vector<float> memory(plan.constSlots.size() * kSlotFloats);
    for (size_t k = 0; k < plan.constSlots.size(); ++k) {
        const ConstSlot& cs = plan.constSlots[k];
        if (cs.uniformTemp) continue;  // filled by the prologue
        for (int c = 0; c < 4; ++c) {
            const float v = constants[cs.reg][size_t(c)];
            std::fill_n(memory.begin() + ptrdiff_t(k * kSlotFloats + size_t(c) * kBatch), kBatch, cs.negate ? -v : v);
        }
    }
    return memory;
}

void fillSlot(float* slot, int fromComponent) {
    static constexpr float kDefault[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (int c = fromComponent; c < 4; ++c) std::fill_n(slot + c * kBatch, kBatch, kDefault[c]);
}

int suppliedComponents(InputType t) {
    switch (t) {
    case InputType::Float1: return 1;
    case InputType::Float2: return 2;
    case InputType::Float3: return 3;
    default: return 4;
    }
}

}  // namespace

// Each thread keeps one batch memory for all runs: allocating and clearing it per draw costs
// as much as shading a few thousand vertices. Temporaries need no clearing, since a valid
// program writes every temporary component before reading it.
float* threadBatchMemory() {
    struct AlignedDelete {
        void operator()(float* p) const { ::operator delete[](p, std::align_val_t(64)); }
    };
    thread_local std::unique_ptr<float[], AlignedDelete> memory(
        new (std::align_val_t(64)) float[size_t(kBatchSlots) * kSlotFloats]());
    return memory.get();
}

void initContext(BatchContext& ctx, const Plan& plan, float* constantMemory, const VertexSource& source,
                 const OutputArrays& outputs) {
    ctx.memory = threadBatchMemory();
    ctx.slot.resize(kBatchSlots + plan.constSlots.size());
    for (size_t s = 0; s < kBatchSlots; ++s) ctx.slot[s] = ctx.memory + s * kSlotFloats;
    for (size_t k = 0; k < plan.constSlots.size(); ++k) ctx.slot[kBatchSlots + k] = constantMemory + k * kSlotFloats;
    for (uint32_t r = 0; r < kNumInputs; ++r)
        if (plan.inputsRead & (1u << r)) fillSlot(ctx.slot[kInputSlot0 + r], 0);
    for (const InputBinding& b : source.bindings)
        if (b.reg < kNumInputs && (plan.inputsRead & (1u << b.reg)))
            fillSlot(ctx.slot[kInputSlot0 + b.reg], suppliedComponents(b.type));
    for (uint32_t r = 0; r < kNumOutputRegisters; ++r) {
        const auto& wanted = outputs.comp[r];
        if (wanted[0] || wanted[1] || wanted[2] || wanted[3]) fillSlot(ctx.slot[kOutputSlot0 + r], 0);
    }
    ctx.a0.fill(0);
}

CompiledShader::CompiledShader(const Program& program) : plan_(std::make_unique<Plan>()) {
    const std::vector<RawStep> raw = expand(program);
    PlanBuilder builder(*plan_, uniformTemporaries(raw));
    for (const RawStep& step : raw) builder.add(step);
}

CompiledShader::~CompiledShader() = default;
CompiledShader::CompiledShader(CompiledShader&&) noexcept = default;
CompiledShader& CompiledShader::operator=(CompiledShader&&) noexcept = default;

void CompiledShader::run(const ConstantFile& constants, const VertexSource& source, size_t count,
                         const OutputArrays& outputs, unsigned maxThreads) const {
    runPlan(*plan_, constants, source, count, outputs, maxThreads, BatchKernels{});
}

void runPlan(const Plan& plan, const ConstantFile& constants, const VertexSource& source, size_t count,
             const OutputArrays& outputs, unsigned maxThreads, const BatchKernels& kernels) {
    if (count == 0) return;
    std::vector<float> constantMemory = broadcastConstants(plan, constants);
    if (!plan.prologue.empty()) {
        BatchContext ctx;
        initContext(ctx, plan, constantMemory.data(), source, outputs);
        kernels.prologue(plan, ctx, constants);
    }
    const size_t batches = (count + kBatch - 1) / kBatch;
    // Tasks of 16 batches: big enough to make the hand-over cheap, small enough to balance.
    constexpr size_t kBatchesPerTask = 16;
    const size_t tasks = (batches + kBatchesPerTask - 1) / kBatchesPerTask;
    WorkerPool& pool = WorkerPool::shared();
    const unsigned threads = tasks > 1 ? std::min(maxThreads == 0 ? pool.threads() : maxThreads, pool.threads()) : 1;
    std::vector<BatchContext> contexts(threads);
    std::vector<char> ready(threads, 0);  // one byte each: workers set their own concurrently
    auto task = [&](size_t t, unsigned worker) {
        BatchContext& ctx = contexts[worker];
        if (!ready[worker]) {
            initContext(ctx, plan, constantMemory.data(), source, outputs);
            ready[worker] = 1;
        }
        const size_t end = std::min(batches, (t + 1) * kBatchesPerTask);
        for (size_t b = t * kBatchesPerTask; b < end; ++b) {
            const size_t start = b * kBatch;
            kernels.shade(plan, ctx, constants, source, start, int(std::min<size_t>(kBatch, count - start)), outputs);
        }
    };
    if (threads == 1) {
        for (size_t t = 0; t < tasks; ++t) task(t, 0);
        return;
    }
    pool.run(tasks, threads, task);
}

}  // namespace vs
