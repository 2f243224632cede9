#include <set>
#include <utility>

#include "vs/Program.h"

namespace vs {

namespace {

using Fault = std::optional<ProgramFault>;

struct State {
    const Program& program;
    size_t index = 0;
    uint32_t slots = 0;
    std::array<uint32_t, kNumTemps> tempWritten{};
    bool addrWritten = false;
    bool positionWritten = false;

    Fault fault(int operand, std::string reason) const { return ProgramFault{index, operand, std::move(reason)}; }
};

bool isVersion11(const Program& p) { return p.version == kVersion11; }

Fault checkDestination(const State& st, const Instruction& ins) {
    const Destination& d = ins.dst;
    if (d.mask == 0 || d.mask > 0xF) return st.fault(0, "empty write mask");
    switch (d.type) {
    case RegType::Temp:
        if (d.number >= kNumTemps) return st.fault(0, "register r" + std::to_string(d.number) + " out of range (r0-r11)");
        return std::nullopt;
    case RegType::Addr:
        if (!isVersion11(st.program)) return st.fault(0, "a0 needs vs.1.1");
        if (d.number != 0) return st.fault(0, "register a" + std::to_string(d.number) + " out of range (a0 only)");
        if (ins.op.opcode != Opcode::Mov) return st.fault(0, "a0 can only be written by mov");
        if (d.mask != 0x1) return st.fault(0, "a0 has only the x component");
        return std::nullopt;
    case RegType::RastOut:
        if (d.number > kRastPts) return st.fault(0, "rasteriser output register out of range");
        return std::nullopt;
    case RegType::AttrOut:
        if (d.number > 1) return st.fault(0, "register oD" + std::to_string(d.number) + " out of range (oD0-oD1)");
        return std::nullopt;
    case RegType::TexCrdOut:
        if (d.number >= kNumTexCoords) return st.fault(0, "register oT" + std::to_string(d.number) + " out of range (oT0-oT7)");
        return std::nullopt;
    default: return st.fault(0, "register cannot be written");
    }
}

Fault checkSourceRegister(const State& st, const Source& s, int operand, uint32_t rows) {
    const uint32_t last = s.number + (rows ? rows - 1 : 0);
    if (s.relative && s.type != RegType::Const) return st.fault(operand, "only constants can be addressed through a0");
    if (s.relative && !isVersion11(st.program)) return st.fault(operand, "relative addressing needs vs.1.1");
    switch (s.type) {
    case RegType::Temp:
        if (last >= kNumTemps) return st.fault(operand, "register r" + std::to_string(last) + " out of range (r0-r11)");
        return std::nullopt;
    case RegType::Input:
        if (last >= kNumInputs) return st.fault(operand, "register v" + std::to_string(last) + " out of range (v0-v15)");
        return std::nullopt;
    case RegType::Const:
        if (last >= kNumConstants) return st.fault(operand, "register c" + std::to_string(last) + " out of range (c0-c95)");
        return std::nullopt;
    case RegType::Addr: return st.fault(operand, "a0 can only be used as an index");
    default: return st.fault(operand, "output registers cannot be read");
    }
}

// Hardware reads at most one input, one constant and three temporaries per instruction.
Fault checkReadPorts(const State& st, const Instruction& ins) {
    std::set<std::pair<int, int>> consts, inputs, temps;
    for (int i = 0; i < ins.op.sources; ++i) {
        const Source& s = ins.src[i];
        const int key = s.relative ? s.number + 0x10000 : s.number;
        auto& set = s.type == RegType::Const ? consts : s.type == RegType::Input ? inputs : temps;
        set.insert({int(s.type), key});
        if (consts.size() > 1) return st.fault(i + 1, "more than one constant register read in one instruction");
        if (inputs.size() > 1) return st.fault(i + 1, "more than one input register read in one instruction");
        if (temps.size() > 3) return st.fault(i + 1, "more than three temporary registers read in one instruction");
    }
    return std::nullopt;
}

uint32_t componentsRead(const Source& s, uint32_t channels) {
    uint32_t comps = 0;
    for (uint32_t c = 0; c < 4; ++c)
        if (channels & (1u << c)) comps |= 1u << swizzleComponent(s.swizzle, c);
    return comps;
}

Fault checkInitialised(const State& st, const Instruction& ins) {
    for (int i = 0; i < ins.op.sources; ++i) {
        const Source& s = ins.src[i];
        if (s.relative && !st.addrWritten) return st.fault(i + 1, "a0.x is read before it is written");
        if (s.type != RegType::Temp) continue;
        // The matrix operand takes no swizzle: its rows are read in the channels of a row.
        const bool matrix = i == 1 && ins.op.matrixRows > 0;
        const uint32_t rows = matrix ? ins.op.matrixRows : 1;
        const uint32_t read = channelsRead(ins.op, i, ins.dst.mask);
        const uint32_t comps = matrix ? read : componentsRead(s, read);
        for (uint32_t r = 0; r < rows; ++r)
            if ((st.tempWritten[s.number + r] & comps) != comps)
                return st.fault(i + 1, "register r" + std::to_string(s.number + r) + " is read before it is written");
    }
    return std::nullopt;
}

std::string writeMaskText(uint32_t mask) {
    std::string text = ".";
    for (uint32_t c = 0; c < 4; ++c)
        if (mask & (1u << c)) text += "xyzw"[c];
    return text;
}

// "frc writes only .y or .xy"
Fault checkWriteMask(const State& st, const Instruction& ins) {
    if (ins.op.writeMasks & (1u << ins.dst.mask)) return std::nullopt;
    std::string allowed;
    for (uint32_t mask = 1; mask <= kMaskAll; ++mask) {
        if (!(ins.op.writeMasks & (1u << mask))) continue;
        if (!allowed.empty()) allowed += " or ";
        allowed += writeMaskText(mask);
    }
    return st.fault(0, std::string(ins.op.name) + " writes only " + allowed);
}

Fault checkMatrixOperands(const State& st, const Instruction& ins) {
    const uint32_t rows = ins.op.matrixRows;
    if (rows > 0) {
        const Source& m = ins.src[1];
        if (m.swizzle != kSwizzleIdentity || m.negate) return st.fault(2, "the matrix operand takes no swizzle or negation");
        if (ins.dst.type == RegType::Temp && ins.src[0].type == RegType::Temp && ins.dst.number == ins.src[0].number)
            return st.fault(1, "the destination of a matrix macro must differ from its first source");
        if (ins.dst.type == RegType::Temp && m.type == RegType::Temp && ins.dst.number >= m.number &&
            ins.dst.number < m.number + rows)
            return st.fault(2, "the destination of a matrix macro must differ from its matrix rows");
    }
    return std::nullopt;
}

Fault checkInstruction(State& st, const Instruction& ins) {
    if (!ins.op.writes) return std::nullopt;
    if (auto f = checkDestination(st, ins)) return f;
    for (int i = 0; i < ins.op.sources; ++i) {
        const uint32_t rows = i == 1 ? ins.op.matrixRows : 0;
        if (auto f = checkSourceRegister(st, ins.src[i], i + 1, rows)) return f;
    }
    if (auto f = checkMatrixOperands(st, ins)) return f;
    if (auto f = checkWriteMask(st, ins)) return f;
    if (auto f = checkReadPorts(st, ins)) return f;
    return checkInitialised(st, ins);
}

void recordWrites(State& st, const Instruction& ins) {
    if (!ins.op.writes) return;
    uint32_t mask = ins.dst.mask;
    if (const uint32_t rows = ins.op.matrixRows) mask &= (1u << rows) - 1;
    switch (ins.dst.type) {
    case RegType::Temp: st.tempWritten[ins.dst.number] |= mask; break;
    case RegType::Addr: st.addrWritten = true; break;
    case RegType::RastOut: st.positionWritten |= ins.dst.number == kRastPos; break;
    default: break;
    }
}

}  // namespace

std::optional<ProgramFault> findFault(const Program& program) {
    State st{program};
    if (program.version != kVersion10 && program.version != kVersion11)
        return ProgramFault{0, -1, "unsupported version"};
    for (const Instruction& ins : program.instructions) {
        st.slots += ins.op.slots;
        if (st.slots > kMaxSlots) return st.fault(-1, "more than 128 instruction slots");
        if (auto f = checkInstruction(st, ins)) return f;
        recordWrites(st, ins);
        ++st.index;
    }
    if (!st.positionWritten) return st.fault(-1, "oPos is never written");
    return std::nullopt;
}

}  // namespace vs
