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
    const char* usage;
    Command::Run run;
};

std::map<std::string, Entry>& registry() {
    static std::map<std::string, Entry> commands;
    return commands;
}

int usage() {
    std::fprintf(stderr, "usage: celshade-tool COMMAND ARGS...\n");
    for (const auto& [name, entry] : registry()) std::fprintf(stderr, "  %s\n", entry.usage);
    return 2;
}

}  // namespace

Command::Command(const char* name, const char* usage, Run run) { registry()[name] = {usage, run}; }

int main(int argc, char** argv) {
    rt::setMallocPolicy();  // for the whole process, as the program sets it
    if (argc < 2) return usage();
    auto it = registry().find(argv[1]);
    if (it == registry().end()) return usage();
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
        return it->second.run(args);
    } catch (const rt::Error& e) {
        std::fprintf(stderr, "celshade-tool %s: error %d: %s\n", argv[1], e.number(), e.text().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "celshade-tool %s: %s\n", argv[1], e.what());
    }
    return 1;
}
