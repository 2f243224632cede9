#pragma once
// Subcommands of celshade-tool register themselves: each lives in its own .cpp file in this
// folder and declares   static const Command kCommand{"name", "synopsis", "help", &run};
// at namespace scope. main.cpp dispatches on the first argument and answers --help, --version
// and empty arguments for every subcommand alike.

#include <string>
#include <vector>

struct Command {
    using Run = int (*)(const std::vector<std::string>& args);
    // synopsis: the usage line after "celshade-tool"; help: what the subcommand does and its
    // options, printed by "celshade-tool NAME --help".
    Command(const char* name, const char* synopsis, const char* help, Run run);
};

// A wrong command line: prints why, then the subcommand's usage, to standard error; returns
// the exit status for it (2).
int usageError(const std::string& command, const std::string& why);
