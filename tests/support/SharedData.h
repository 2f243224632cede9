#pragma once
// Files from ../shared beside the repository (the real-world .x corpus and the like). A test
// that reads one starts with SKIP_WITHOUT_SHARED: on a developer's machine without the folder
// the test is skipped, but under CI (CI=true) the missing file fails it, so a run that could
// not reach the files never passes as if it had checked them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

inline std::string sharedPath(std::string_view relative) {
    return std::string(CELSHADE_SHARED_DIR) + "/" + std::string(relative);
}

inline bool underCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string_view(ci) == "true";
}

}  // namespace testsupport

#define SKIP_WITHOUT_SHARED(relative)                                                           \
    do {                                                                                        \
        const std::string sharedFile = testsupport::sharedPath(relative);                      \
        if (!std::filesystem::exists(sharedFile)) {                                             \
            if (testsupport::underCi()) FAIL() << "CI=true, but " << sharedFile << " is missing"; \
            GTEST_SKIP() << "no " << sharedFile;                                                \
        }                                                                                       \
    } while (false)
