#include "vs/Assembler.h"

#include "vs/Parser.h"

namespace vs {

AssemblyError::AssemblyError(const std::string& file, int line, int column, std::string reason)
    : std::runtime_error(file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + reason), line_(line),
      column_(column), reason_(std::move(reason)) {}

namespace {

SourcePosition faultPosition(const ParsedProgram& parsed, const ProgramFault& fault) {
    if (fault.instruction >= parsed.positions.size()) return parsed.end;
    const InstructionPositions& pos = parsed.positions[fault.instruction];
    return fault.operand < 0 ? pos.mnemonic : pos.operands[size_t(fault.operand)];
}

}  // namespace

Assembly assemble(std::string_view text, std::string_view fileName) {
    const std::string file(fileName);
    ParsedProgram parsed;
    try {
        parsed = parseProgram(text);
    } catch (const ParseError& e) {
        throw AssemblyError(file, e.at.line, e.at.column, e.reason);
    }
    if (auto fault = findFault(parsed.program)) {
        const SourcePosition at = faultPosition(parsed, *fault);
        throw AssemblyError(file, at.line, at.column, fault->reason);
    }
    return Assembly{encodeProgram(parsed.program), std::move(parsed.constants)};
}

}  // namespace vs
