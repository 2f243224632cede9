// celshade-tool asm FILE: assembles a vertex-shader source and prints its tokens in hex,
// the version line, then one instruction per line, then the end token; the constant
// declaration tokens of its def lines follow. On a fault, prints file:line:column: reason.
#include <cstdio>
#include <string>

#include "Command.h"
#include "runtime/InputFile.h"
#include "vs/Assembler.h"
#include "vs/Tokens.h"

namespace {

void printFunction(const std::vector<uint32_t>& tokens) {
    for (size_t i = 0; i < tokens.size(); ++i) {
        // An instruction token starts a line; its parameter tokens (bit 31 set) follow on it.
        const bool parameter = (tokens[i] & vs::kParamBit) && i > 0 && tokens[i] != vs::kEndToken;
        std::printf(parameter ? " %08X" : (i == 0 ? "%08X" : "\n%08X"), tokens[i]);
    }
    std::printf("\n");
}

void printConstants(const std::vector<uint32_t>& tokens) {
    for (size_t i = 0; i + 4 < tokens.size(); i += 5)
        std::printf("%08X %08X %08X %08X %08X\n", tokens[i], tokens[i + 1], tokens[i + 2], tokens[i + 3], tokens[i + 4]);
}

int run(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("asm", args.empty() ? "no file given" : "one file at a time");
    const rt::InputFile file(args[0]);
    if (!file.ok()) {
        const bool notRegular = file.fault() == rt::InputFile::Fault::NotRegular;
        std::fprintf(stderr, "%s: %s\n", args[0].c_str(), notRegular ? file.reason().c_str() : "cannot open the file");
        return 1;
    }
    std::string text(static_cast<size_t>(file.size()), '\0');
    text.resize(file.readInto(reinterpret_cast<std::byte*>(text.data()), text.size()));
    try {
        const vs::Assembly a = vs::assemble(text, args[0]);
        std::printf("; function tokens\n");
        printFunction(a.function);
        if (!a.constants.empty()) {
            std::printf("; constant tokens\n");
            printConstants(a.constants);
        }
        return 0;
    } catch (const vs::AssemblyError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

const Command kCommand{"asm", "asm FILE",
                       "Assembles a vs.1.1 vertex-shader source as the program does and prints its tokens in\n"
                       "hex: the version token, one instruction per line with its parameters, the end token,\n"
                       "then the constant tokens of its def lines. A fault is printed as FILE:LINE:COLUMN: reason.\n",
                       &run};

}  // namespace
