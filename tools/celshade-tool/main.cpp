#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "Command.h"
#include "runtime/Error.h"
#include "runtime/Heap.h"

namespace {

struct Entry {
    const char* synopsis;
    const char* help;
    Command::Run run;
};

std::map<std::string, Entry>& registry() {
    static std::map<std::string, Entry> commands;
    return commands;
}

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage: celshade-tool COMMAND ARGS...\n       celshade-tool [COMMAND] --help | --version\n");
    for (const auto& [name, entry] : registry()) std::fprintf(to, "  %s\n", entry.synopsis);
}

void printCommandHelp(const Entry& entry) {
    std::printf("usage: celshade-tool %s\n\n%s", entry.synopsis, entry.help);
}

bool isHelp(const std::string& a) { return a == "--help" || a == "-h"; }

}  // namespace

Command::Command(const char* name, const char* synopsis, const char* help, Run run) {
    registry()[name] = {synopsis, help, run};
}

int usageError(const std::string& command, const std::string& why) {
    const auto it = registry().find(command);
    std::fprintf(stderr, "celshade-tool %s: %s\n", command.c_str(), why.c_str());
    if (it != registry().end())
        std::fprintf(stderr, "usage: celshade-tool %s\n(celshade-tool %s --help says more)\n", it->second.synopsis,
                     command.c_str());
    return 2;
}

int main(int argc, char** argv) {
    rt::setMallocPolicy();  // for the whole process, as the program sets it
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (words.size() == 1 && isHelp(words[0])) {
        printUsage(stdout);
        return 0;
    }
    if (words.size() == 1 && words[0] == "--version") {
        std::printf("celshade-tool %s\n", CELSHADE_VERSION);
        return 0;
    }
    const auto it = words.empty() ? registry().end() : registry().find(words[0]);
    if (it == registry().end()) {
        printUsage(stderr);
        return 2;
    }
    const std::vector<std::string> args(words.begin() + 1, words.end());
    for (const std::string& a : args) {
        if (isHelp(a)) {
            printCommandHelp(it->second);
            return 0;
        }
        if (a.empty()) return usageError(words[0], "an empty argument names no file and no value");
    }
    try {
        return it->second.run(args);
    } catch (const rt::Error& e) {
        std::fprintf(stderr, "celshade-tool %s: error %d: %s\n", words[0].c_str(), e.number(), e.text().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "celshade-tool %s: %s\n", words[0].c_str(), e.what());
    }
    return 1;
}
