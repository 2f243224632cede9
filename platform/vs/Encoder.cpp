#include "vs/Program.h"

namespace vs {

Instruction withoutSubtraction(const Instruction& ins) {
    if (ins.op.opcode != Opcode::Sub) return ins;
    Instruction out = ins;
    out.op = *findOp(uint16_t(Opcode::Add));
    out.src[1].negate = !out.src[1].negate;
    return out;
}

std::vector<uint32_t> encodeProgram(const Program& program) {
    std::vector<uint32_t> tokens{program.version};
    for (const Instruction& ins : program.instructions) {
        const Instruction out = withoutSubtraction(ins);
        tokens.push_back(uint32_t(out.op.opcode));
        if (out.op.writes) tokens.push_back(destinationToken(out.dst.type, out.dst.number, out.dst.mask));
        for (int s = 0; s < out.op.sources; ++s) {
            const Source& src = out.src[s];
            tokens.push_back(sourceToken(src.type, src.number, src.swizzle, src.negate, src.relative));
        }
    }
    tokens.push_back(kEndToken);
    return tokens;
}

}  // namespace vs
