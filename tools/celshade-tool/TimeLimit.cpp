#include "TimeLimit.h"

#include <cmath>
#include <cstdlib>

#include "import/ImportProcess.h"

std::optional<std::chrono::milliseconds> parseTimeLimit(const std::string& seconds) {
    constexpr double kDay = 86400;
    char* end = nullptr;
    const double value = std::strtod(seconds.c_str(), &end);
    if (end == seconds.c_str() || *end != '\0' || !(value >= 0 && value <= kDay)) return std::nullopt;
    return std::chrono::milliseconds(static_cast<int64_t>(std::ceil(value * 1000)));
}

void setImportTimeLimit(std::chrono::milliseconds limit) { modelimport::childSettings().timeLimit = limit; }
