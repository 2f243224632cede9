// render and edges as celshade-tool offers them: the process becomes celshade-tool-device
// from the same folder, with the same arguments, so output, errors and exit status are its own.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Command.h"
#include "DeviceCommands.h"
#include "runtime/Executable.h"

namespace {

int forward(const char* name, const std::vector<std::string>& args) {
    const std::filesystem::path directory = rt::executableDirectory();
    const std::string program = (directory / kDeviceProgram).string();
    std::vector<std::string> words{"celshade-tool", name};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::fflush(nullptr);
    if (!directory.empty()) execv(program.c_str(), argv.data());
    std::fprintf(stderr, "celshade-tool %s: cannot run %s: %s\n", name, program.c_str(),
                 std::strerror(directory.empty() ? ENOENT : errno));
    return 1;
}

int render(const std::vector<std::string>& args) { return forward("render", args); }
int edges(const std::vector<std::string>& args) { return forward("edges", args); }

const Command kRender{"render", kRenderSynopsis, kRenderHelp, &render};
const Command kEdges{"edges", kEdgesSynopsis, kEdgesHelp, &edges};

}  // namespace
