#pragma once
// --time-limit SECONDS, for the subcommands that may import a model of another format: how long
// the importer may take over one file (its default is 30 s; 0: as long as it needs).

#include <chrono>
#include <optional>
#include <string>

inline constexpr const char* kTimeLimitOption = "--time-limit";
// Its lines in the subcommands' help, a literal so that the help texts can be joined with it.
#define CELSHADE_TIME_LIMIT_HELP                                                              \
    "  --time-limit S   the longest the importer may take over a model of another format, in\n" \
    "                   seconds, fractions allowed, up to a day (30); 0: no limit\n"

// The limit SECONDS gives, in whole milliseconds rounded up (so that a limit, however short,
// never becomes none); nothing when it is not a number from 0 to 86400.
std::optional<std::chrono::milliseconds> parseTimeLimit(const std::string& seconds);

// Sets the limit for every import of this process.
void setImportTimeLimit(std::chrono::milliseconds limit);
