// celshade-tool asm FILE: assembles a vertex-shader source and prints its tokens in hex,
// the version line, then one instruction per line, then the end token; the constant
// declaration tokens of its def lines follow. On a fault, prints file:line:column: reason.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Command.h"
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
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: celshade-tool asm FILE\n");
        return 2;
    }
    // A directory opens like a file on some systems and then reads as nothing at all.
    std::error_code ec;
    if (std::filesystem::is_directory(args[0], ec)) {
        std::fprintf(stderr, "%s: cannot read the file (it is a directory)\n", args[0].c_str());
        return 1;
    }
    std::ifstream in(args[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot open the file\n", args[0].c_str());
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    try {
        const vs::Assembly a = vs::assemble(text.str(), args[0]);
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

const Command kCommand{"asm", "asm FILE   assemble a vertex-shader source and print its tokens", &run};

}  // namespace
