#include "import/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

extern char** environ;

namespace modelimport {

namespace {

// Owns what posix_spawn needs for the length of one start.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;

    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
};

void startClean(SpawnSetup& setup, std::span<const ChildProcess::Descriptor> descriptors) {
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    int highest = 2;
    for (const auto& [from, to] : descriptors) {
        posix_spawn_file_actions_adddup2(&setup.actions, from, to);
        highest = std::max(highest, to);
    }
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, highest + 1);

    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);  // their dispositions cannot be set at all
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           std::span<const Descriptor> descriptors) {
    std::vector<char*> argv;
    for (const std::string& word : arguments) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    SpawnSetup setup;
    startClean(setup, descriptors);
    pid_t pid = -1;
    if (const int failed = ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ))
        throw std::system_error(failed, std::generic_category(), "cannot start " + program);
    pid_ = pid;
    // Through syscall(): Debian 12's <sys/pidfd.h> declares pidfd_open without C linkage.
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd_ < 0) {
        const int error = errno;
        ::kill(pid_, SIGKILL);  // not yet reaped: the id is still this child's
        wait();
        throw std::system_error(error, std::generic_category(), "cannot watch " + program);
    }
}

ChildProcess::~ChildProcess() {
    if (reaped()) return;
    kill();
    wait();
}

void ChildProcess::kill() noexcept {
    if (pidfd_ >= 0) ::syscall(SYS_pidfd_send_signal, pidfd_, SIGKILL, nullptr, 0);
}

int ChildProcess::wait() noexcept {
    int status = 0;
    if (reaped()) return status;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (pidfd_ >= 0) ::close(pidfd_);
    pidfd_ = -1;
    return status;
}

}  // namespace modelimport
