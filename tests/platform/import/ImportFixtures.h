#pragma once
// What the importer's tests share: the child program from the build, files written into a
// fresh folder, the round-trip files the build exported, the error a call raises, and the
// processes this one has started and not yet let go of.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "../xfile/XFileFixtures.h"
#include "import/Handover.h"
#include "import/ImportProcess.h"

namespace importtest {

using fixtures::raised;

inline std::string roundtrip(const std::string& folder, const std::string& file) {
    return std::string(CELSHADE_ROUNDTRIP_DIR) + "/" + folder + "/" + file;
}

// The ids of this process's children, zombies included: /proc/PID/stat's fourth field.
inline std::vector<pid_t> childrenOfThisProcess() {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const size_t close = line.rfind(')');  // the command name may hold spaces
        if (close == std::string::npos) continue;
        char state = 0;
        long parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) == 2 && parent == ::getpid())
            children.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
    return children;
}

// Every test starts with the child from the build and its default limits, in a folder of its own.
class ImportFixture : public ::testing::Test {
protected:
    void SetUp() override {
        modelimport::childSettings() = {};
        modelimport::childSettings().program = CELSHADE_RUNTIME_DIR "/celshade-import";
        dir_ = std::filesystem::path(::testing::TempDir()) /
               ("import-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        EXPECT_TRUE(childrenOfThisProcess().empty()) << "a child process is left behind";
        modelimport::childSettings() = {};
        std::filesystem::remove_all(dir_);
    }

    std::string file(const std::string& name, std::string_view bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace importtest
