// The importer's process as the parent starts and ends it, and the limits it is given.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "import/ChildProcess.h"
#include "import/ImportProcess.h"
#include "support/Raised.h"
#include "runtime/Status.h"

namespace {

using modelimport::ChildProcess;

// What a shell started as the importer would be says about its inheritance.
std::string outputOf(const std::string& script) {
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    std::string out;
    {
        const ChildProcess::Descriptor descriptors[] = {{fds[1], 1}};
        ChildProcess shell("/bin/sh", {"sh", "-c", script}, descriptors);
        ::close(fds[1]);
        char buffer[4096];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
        shell.wait();
    }
    ::close(fds[0]);
    return out;
}

// Qt, glibc and the program leave descriptors open and signals blocked or ignored; none of it
// reaches the importer.
TEST(ChildProcess, InheritsNoDescriptorBlockedOrIgnoredSignalOfTheParent) {
    const int stray = ::dup2(::open("/dev/null", O_RDONLY), 77);  // without close-on-exec
    sigset_t usr1, before;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &usr1, &before);
    const auto ignoredBefore = ::signal(SIGUSR2, SIG_IGN);

    const std::string seen = outputOf("[ -e /proc/self/fd/77 ] && echo inherited 77; grep -E '^Sig(Blk|Ign)' /proc/self/status");

    ::signal(SIGUSR2, ignoredBefore);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::close(stray);
    // Signals 32 and 33 are glibc's own, which no program may touch: their dispositions are
    // whatever this process inherited.
    unsigned long long blocked = ~0ull, ignored = ~0ull;
    ASSERT_EQ(std::sscanf(seen.c_str(), "SigBlk: %llx SigIgn: %llx", &blocked, &ignored), 2) << seen;
    EXPECT_EQ(blocked, 0u) << seen;
    EXPECT_EQ(ignored & 0x7FFFFFFFull, 0u) << seen;
}

// Once reaped, a child's id may belong to anyone, and a kill through a stale id reaches them
// (through -1, every process that may be signalled). Run as the first process of a PID
// namespace of its own, where that would reach only the bystander started for it.
TEST(ChildProcess, IsNeverSignalledOnceReaped) {
    const pid_t outer = ::fork();
    ASSERT_GE(outer, 0);
    if (outer == 0) {
        if (::unshare(CLONE_NEWPID) != 0) std::_Exit(77);
        const pid_t first = ::fork();
        if (first == 0) {
            ChildProcess reaped("/bin/sleep", {"sleep", "30"}, {});
            reaped.kill();
            reaped.wait();
            ChildProcess bystander("/bin/sleep", {"sleep", "30"}, {});
            reaped.kill();
            ::usleep(200000);
            int status = 0;
            std::_Exit(::waitpid(bystander.pid(), &status, WNOHANG) == 0 ? 0 : 1);
        }
        int status = 0;
        ::waitpid(first, &status, 0);
        std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : 2);
    }
    int status = 0;
    ::waitpid(outer, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no PID namespace may be made here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the bystander was killed";
}

TEST(ImportLimits, TheMemoryLimitIsTheLowestOfTheControlGroupsAbove) {
    const std::filesystem::path root = std::filesystem::path(::testing::TempDir()) / "cgroups";
    std::filesystem::remove_all(root);
    auto limit = [&](const std::string& file, const std::string& value) {
        std::filesystem::create_directories((root / file).parent_path());
        std::ofstream(root / file) << value << "\n";
    };
    limit("a/memory.max", "max");
    limit("a/b/memory.max", "3000000000");
    limit("unified/u/memory.max", "1000000");
    limit("memory/memory.limit_in_bytes", "9223372036854771712");
    limit("memory/v1/memory.limit_in_bytes", "2000000000");
    constexpr uint64_t none = std::numeric_limits<uint64_t>::max();
    const std::pair<const char*, uint64_t> cases[] = {
        {"0::/a/b\n", 3000000000},  {"0::/a\n", none},           {"0::/\n", none},
        {"0::/u\n", 1000000},       {"4:memory:/v1\n0::/a/b\n", 2000000000},
        {"4:cpu,memory:/v1\n", 2000000000}, {"4:cpu:/v1\n", none},
        {"", none},
    };
    for (const auto& [groups, expected] : cases)
        EXPECT_EQ(modelimport::cgroupMemoryLimit(root, groups), expected) << groups;
    std::filesystem::remove_all(root);
}

TEST(ImportLimits, AProgramThatCannotFindItselfRunsNoImporterFromTheCurrentFolder) {
    EXPECT_EQ(modelimport::childProgramBeside("/opt/x"), std::filesystem::path("/opt/x/celshade-import"));
    EXPECT_EQ(testsupport::raised([] { modelimport::childProgramBeside({}); }).first, E_FAIL);
}

}  // namespace
