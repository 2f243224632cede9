#include "import/ImportProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "import/Handover.h"
#include "runtime/Error.h"
#include "runtime/Executable.h"
#include "runtime/InputFile.h"
#include "runtime/Status.h"

extern char** environ;

namespace modelimport {

namespace {

constexpr size_t kStderrKept = 4096;  // the end of what the child says on stderr

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FileDescriptor() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

[[noreturn]] void raise(HRESULT status, const std::string& path, const std::string& reason) {
    rt::raiseStatus(status, "importing model", path + ": " + reason);
}

uint64_t defaultMemoryLimit() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    const uint64_t half = pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) / 2 : 0;
    return std::max<uint64_t>(half, uint64_t{1} << 30);
}

std::string megabytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

// The child, until it has been waited for: killed and reaped if this process lets go of it
// any other way (an error, an exception), so that it never lingers as a zombie or runs on.
class Child {
public:
    Child(pid_t pid, FileDescriptor pidfd) : pid_(pid), pidfd_(std::move(pidfd)) {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitForExit();
        }
    }
    int pidfd() const { return pidfd_.get(); }
    void kill() { ::kill(pid_, SIGKILL); }
    // The status waitpid gives; the child is gone afterwards.
    int waitForExit() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_;
    FileDescriptor pidfd_;
};

struct Pipe {
    FileDescriptor read, write;
};

Pipe makePipe(const std::string& path) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) raise(E_FAIL, path, std::string("cannot make a pipe: ") + std::strerror(errno));
    return {FileDescriptor(fds[0]), FileDescriptor(fds[1])};
}

std::filesystem::path childProgram(const ChildSettings& settings) {
    if (!settings.program.empty()) return settings.program;
    return rt::executableDirectory() / kChildProgram;
}

struct Started {
    std::unique_ptr<Child> child;
    FileDescriptor out, err;
};

// The child with stdin from /dev/null and stdout and stderr into pipes of ours. The child
// applies the memory limit itself, before it reads anything, and ends with this process
// (it is told this process's id to check it has not already gone).
Started start(const std::string& path, const ChildSettings& settings, uint64_t memoryLimit) {
    const std::string program = childProgram(settings).string();
    std::vector<std::string> words{program, "--memory-limit", std::to_string(memoryLimit), "--parent",
                                   std::to_string(::getpid())};
    if (!settings.fault.empty()) words.insert(words.end(), {"--fault", settings.fault});
    words.insert(words.end(), {"--", path});
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    Pipe out = makePipe(path), err = makePipe(path);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, err.write.get(), 2);
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) raise(E_FAIL, path, "cannot start the importer " + program + ": " + std::strerror(failed));
    // Through syscall(): Debian 12's <sys/pidfd.h> declares pidfd_open without C linkage.
    FileDescriptor pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    auto child = std::make_unique<Child>(pid, std::move(pidfd));
    if (child->pidfd() < 0) raise(E_FAIL, path, std::string("cannot watch the importer: ") + std::strerror(errno));
    return {std::move(child), std::move(out.read), std::move(err.read)};
}

struct Output {
    std::vector<std::byte> handover;
    std::string err;  // the end of it
    bool timedOut = false;
    bool tooLong = false;
};

// Appends what `fd` has to `to`; false at its end.
bool drain(int fd, std::vector<std::byte>& to) {
    std::byte buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    to.insert(to.end(), buffer, buffer + n);
    return n > 0;
}

// Reads both pipes until they close and the child has ended, or until the deadline (the
// child is then killed). A handover longer than the child's memory could hold ends it too.
Output collect(const std::string& path, Child& child, FileDescriptor& out, FileDescriptor& err,
               std::chrono::milliseconds limit, uint64_t memoryLimit) {
    Output result;
    std::vector<std::byte> errBytes;
    bool exited = false, sized = false;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (out.get() >= 0 || err.get() >= 0 || !exited) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            child.kill();
            return result;
        }
        pollfd fds[3] = {{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}, {exited ? -1 : child.pidfd(), POLLIN, 0}};
        const int ready = ::poll(fds, 3, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) raise(E_FAIL, path, std::string("waiting for the importer: ") + std::strerror(errno));
        if (ready <= 0) continue;
        if (fds[0].revents != 0 && !drain(out.get(), result.handover)) out.reset();
        if (fds[1].revents != 0 && !drain(err.get(), errBytes)) err.reset();
        if (fds[2].revents != 0) exited = true;
        if (!sized && result.handover.size() >= 16) {  // room for all of it, within reason
            result.handover.reserve(std::min<uint64_t>(announcedSize(result.handover), memoryLimit));
            sized = true;
        }
        if (errBytes.size() > 2 * kStderrKept) errBytes.erase(errBytes.begin(), errBytes.end() - kStderrKept);
        if (result.handover.size() > memoryLimit) {
            result.tooLong = true;
            child.kill();
            return result;
        }
    }
    const size_t keep = std::min(errBytes.size(), kStderrKept);
    result.err.assign(reinterpret_cast<const char*>(errBytes.data() + errBytes.size() - keep), keep);
    return result;
}

// The last line the child wrote on stderr, if any, as " (...)".
std::string lastWords(const std::string& err) {
    std::string text = err;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    text = text.substr(text.find_last_of('\n') + 1);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return text.empty() ? std::string() : " (" + text + ")";
}

std::string signalName(int signal) {
    const char* description = ::sigdescr_np(signal);
    return "signal " + std::to_string(signal) + (description != nullptr ? std::string(", ") + description : "");
}

[[noreturn]] void raiseEnding(const std::string& path, int status, const std::string& err, uint64_t memoryLimit) {
    if (WIFEXITED(status) && WEXITSTATUS(status) == kExitOutOfMemory)
        raise(E_OUTOFMEMORY, path, "the importer needed more than the " + megabytes(memoryLimit) + " it may use");
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT)
        raise(D3DXERR_INVALIDDATA, path, "the importer aborted while reading the file" + lastWords(err));
    if (WIFSIGNALED(status))
        raise(D3DXERR_INVALIDDATA, path,
              "the importer crashed while reading the file (" + signalName(WTERMSIG(status)) + ")" + lastWords(err));
    raise(D3DXERR_INVALIDDATA, path,
          "the importer stopped with exit status " + std::to_string(WEXITSTATUS(status)) + lastWords(err));
}

}  // namespace

ChildSettings& childSettings() {
    static ChildSettings settings;
    return settings;
}

std::string readFileStart(const std::string& path, size_t count) {
    const rt::InputFile file(path);
    rt::raiseUnlessReadable(file, path);
    if (file.size() == 0) raise(D3DXERR_INVALIDDATA, path, "the file is empty");
    std::string start(std::min<uint64_t>(count, file.size()), '\0');
    if (file.readInto(reinterpret_cast<std::byte*>(start.data()), start.size()) != start.size())
        rt::raiseRuntime(rt::errc::PathFileAccess, path);
    return start;
}

ImportedMesh importModel(const std::string& path, const ChildSettings& settings) {
    readFileStart(path, 0);
    const uint64_t memoryLimit = settings.memoryLimitBytes != 0 ? settings.memoryLimitBytes : defaultMemoryLimit();
    Started started = start(path, settings, memoryLimit);
    const Output output = collect(path, *started.child, started.out, started.err, settings.timeLimit, memoryLimit);
    const int status = started.child->waitForExit();
    if (output.timedOut) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", settings.timeLimit.count() / 1000.0);
        raise(D3DXERR_INVALIDDATA, path, std::string("the importer did not finish within ") + seconds + " s");
    }
    if (output.tooLong) raise(D3DXERR_INVALIDDATA, path, "the importer handed over more than " + megabytes(memoryLimit));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) raiseEnding(path, status, output.err, memoryLimit);
    return decodeHandover(output.handover, path);
}

}  // namespace modelimport
