#pragma once
// Subcommands of celshade-tool register themselves: each lives in its own .cpp file in this
// folder and declares   static const Command kCommand{"name", "usage line", &run};
// at namespace scope. main.cpp dispatches on the first argument.

#include <string>
#include <vector>

struct Command {
    using Run = int (*)(const std::vector<std::string>& args);
    Command(const char* name, const char* usage, Run run);
};
