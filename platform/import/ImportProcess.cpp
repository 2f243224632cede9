#include "import/ImportProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "import/ChildProcess.h"
#include "import/Handover.h"
#include "runtime/Error.h"
#include "runtime/Executable.h"
#include "runtime/InputFile.h"
#include "runtime/Status.h"

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

std::string megabytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

struct Pipe {
    FileDescriptor read, write;
};

Pipe makePipe(const std::string& path) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) raise(E_FAIL, path, std::string("cannot make a pipe: ") + std::strerror(errno));
    return {FileDescriptor(fds[0]), FileDescriptor(fds[1])};
}

// The file in memory the child writes the handover into: no copy through a pipe, and the
// parent reads it where it lies. Sealed once the child has gone, so that nothing (a process
// the child might have left behind with its descriptor) can change it or cut it short while
// it is read.
FileDescriptor makeHandoverFile(const std::string& path) {
    const int fd = ::memfd_create("celshade-handover", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) raise(E_FAIL, path, std::string("cannot make the importer's handover file: ") + std::strerror(errno));
    return FileDescriptor(fd);
}

// The sealed handover, mapped read-only for as long as it is read.
class HandoverMapping {
public:
    HandoverMapping(const FileDescriptor& file, const std::string& path, uint64_t memoryLimit) {
        if (::fcntl(file.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
            raise(D3DXERR_INVALIDDATA, path, std::string("the importer's handover cannot be sealed: ") + std::strerror(errno));
        struct stat info {};
        if (::fstat(file.get(), &info) != 0) raise(E_FAIL, path, std::string("reading the importer's handover: ") + std::strerror(errno));
        size_ = static_cast<size_t>(info.st_size);
        if (static_cast<uint64_t>(info.st_size) > memoryLimit)
            raise(D3DXERR_INVALIDDATA, path, "the importer handed over more than " + megabytes(memoryLimit));
        if (size_ == 0) return;
        void* at = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED | MAP_POPULATE, file.get(), 0);
        if (at == MAP_FAILED) raise(E_OUTOFMEMORY, path, std::string("mapping the importer's handover: ") + std::strerror(errno));
        bytes_ = static_cast<const std::byte*>(at);
    }
    HandoverMapping(const HandoverMapping&) = delete;
    HandoverMapping& operator=(const HandoverMapping&) = delete;
    ~HandoverMapping() {
        if (bytes_ != nullptr) ::munmap(const_cast<std::byte*>(bytes_), size_);
    }
    std::span<const std::byte> bytes() const { return {bytes_, size_}; }

private:
    const std::byte* bytes_ = nullptr;
    size_t size_ = 0;
};

struct Output {
    std::string err;  // the end of it
    bool timedOut = false;
};

// Appends what `fd` has to `to`; false at its end.
bool drain(int fd, std::vector<std::byte>& to) {
    std::byte buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    to.insert(to.end(), buffer, buffer + n);
    return n > 0;
}

// The child being waited for, which endRunningImport ends; only ever set on the thread that
// imports, for the length of collect().
ChildProcess* runningChild = nullptr;

struct Running {
    explicit Running(ChildProcess& child) { runningChild = &child; }
    ~Running() { runningChild = nullptr; }
};

using Clock = std::chrono::steady_clock;

// How long the next wait for the child may last: until the deadline (none when the limit is
// zero), and no longer than the wait step's period when there is one.
int pollTimeout(const ChildSettings& settings, Clock::time_point deadline) {
    int64_t ms = settings.waitStep ? 20 : 1000;
    if (settings.timeLimit.count() > 0)
        ms = std::min<int64_t>(ms, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    return static_cast<int>(std::max<int64_t>(ms, 0));
}

// Reads the child's stderr until it closes and the child has ended, or until the deadline (the
// child is then killed). The wait step runs between waits; should it throw, the child goes
// with `child`'s owner.
Output collect(const std::string& path, ChildProcess& child, FileDescriptor& err, const ChildSettings& settings) {
    const Running running(child);
    Output result;
    std::vector<std::byte> errBytes;
    bool exited = false;
    const auto deadline = Clock::now() + settings.timeLimit;
    while (err.get() >= 0 || !exited) {
        if (settings.timeLimit.count() > 0 && Clock::now() >= deadline) {
            result.timedOut = true;
            child.kill();
            return result;
        }
        pollfd fds[2] = {{err.get(), POLLIN, 0}, {exited ? -1 : child.pidfd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, pollTimeout(settings, deadline));
        if (ready < 0 && errno != EINTR) raise(E_FAIL, path, std::string("waiting for the importer: ") + std::strerror(errno));
        if (ready > 0) {
            if (fds[0].revents != 0 && !drain(err.get(), errBytes)) err.reset();
            if (fds[1].revents != 0) exited = true;
        }
        if (errBytes.size() > 2 * kStderrKept) errBytes.erase(errBytes.begin(), errBytes.end() - kStderrKept);
        if (settings.waitStep) settings.waitStep();
        if (child.reaped()) return result;  // ended by endRunningImport inside the step
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

uint64_t cgroupMemoryLimit(const std::filesystem::path& cgroupRoot, std::string_view procSelfCgroup) {
    uint64_t lowest = std::numeric_limits<uint64_t>::max();
    // The limit set on `group` and on every group above it, up to the hierarchy's root.
    auto lowestAlong = [&](const std::filesystem::path& hierarchy, const std::string& group, const char* file) {
        for (std::filesystem::path at = std::filesystem::path(group).relative_path();; at = at.parent_path()) {
            std::ifstream in(hierarchy / at / file);
            std::string value;
            char* end = nullptr;
            if (in >> value && value != "max") {
                const unsigned long long bytes = std::strtoull(value.c_str(), &end, 10);
                if (end != value.c_str() && *end == '\0') lowest = std::min<uint64_t>(lowest, bytes);
            }
            if (at.empty()) return;
        }
    };
    std::istringstream lines{std::string(procSelfCgroup)};
    for (std::string line; std::getline(lines, line);) {
        // hierarchy-id:controllers:path
        const size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1), group = line.substr(second + 1);
        if (controllers.empty()) {  // cgroup v2, mounted at the root or beside v1 as "unified"
            lowestAlong(cgroupRoot, group, "memory.max");
            lowestAlong(cgroupRoot / "unified", group, "memory.max");
        } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
            lowestAlong(cgroupRoot / "memory", group, "memory.limit_in_bytes");
        }
    }
    return lowest;
}

uint64_t defaultMemoryLimit() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    const uint64_t half = pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) / 2 : 0;
    std::ifstream in("/proc/self/cgroup");
    const std::string groups((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return std::min(std::max<uint64_t>(half, uint64_t{1} << 30), cgroupMemoryLimit("/sys/fs/cgroup", groups));
}

std::filesystem::path childProgramBeside(const std::filesystem::path& executableDirectory) {
    if (executableDirectory.empty())
        rt::raiseStatus(E_FAIL, "importing model",
                        "cannot find the importer: the program's own path (/proc/self/exe) cannot be read");
    return executableDirectory / kChildProgram;
}

std::vector<std::string> importerExtensions(const ChildSettings& settings) {
    constexpr size_t kMostBytes = 65536;
    std::vector<std::byte> listed;
    try {
        const std::string program =
            (settings.program.empty() ? childProgramBeside(rt::executableDirectory()) : settings.program).string();
        Pipe out = makePipe(program);
        const ChildProcess::Descriptor descriptors[] = {{out.write.get(), 1}};
        ChildProcess child(program, {program, "--formats"}, descriptors);
        out.write.reset();
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        for (pollfd fd{out.read.get(), POLLIN, 0}; Clock::now() < deadline && listed.size() <= kMostBytes;) {
            if (::poll(&fd, 1, 100) > 0 && !drain(fd.fd, listed)) break;
        }
    } catch (const std::exception&) {
        return {};
    }
    // "*.3ds;*.glb;*.mesh.xml;...": each pattern a star, a dot and a few letters, digits and dots.
    std::vector<std::string> extensions;
    std::istringstream patterns(std::string(reinterpret_cast<const char*>(listed.data()), std::min(listed.size(), kMostBytes)));
    for (std::string pattern; std::getline(patterns, pattern, ';');) {
        while (!pattern.empty() && std::isspace(static_cast<unsigned char>(pattern.back()))) pattern.pop_back();
        if (pattern.size() < 3 || pattern.size() > 18 || !pattern.starts_with("*.")) continue;
        std::string extension = pattern.substr(2);
        const bool plain = std::all_of(extension.begin(), extension.end(),
                                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.'; });
        if (!plain || extension.front() == '.' || extension.back() == '.') continue;
        std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) { return char(std::tolower(c)); });
        if (std::find(extensions.begin(), extensions.end(), extension) == extensions.end()) extensions.push_back(extension);
    }
    return extensions;
}

void endRunningImport() noexcept {
    if (runningChild == nullptr) return;
    runningChild->kill();
    runningChild->wait();
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
    const std::string program =
        (settings.program.empty() ? childProgramBeside(rt::executableDirectory()) : settings.program).string();
    std::vector<std::string> words{program, "--memory-limit", std::to_string(memoryLimit), "--parent",
                                   std::to_string(::getpid())};
    if (!settings.fault.empty()) words.insert(words.end(), {"--fault", settings.fault});
    words.insert(words.end(), {"--", path});

    const FileDescriptor handover = makeHandoverFile(path);
    Pipe err = makePipe(path);
    std::unique_ptr<ChildProcess> child;
    try {
        // Anything the child prints goes with its last words.
        const ChildProcess::Descriptor descriptors[] = {
            {err.write.get(), 1}, {err.write.get(), 2}, {handover.get(), kHandoverDescriptor}};
        child = std::make_unique<ChildProcess>(program, words, descriptors);
    } catch (const std::system_error& e) {
        raise(E_FAIL, path, e.what());
    }
    // Only the child writes now: its end of the pipe closes when it ends.
    err.write.reset();
    const Output output = collect(path, *child, err.read, settings);
    if (child->reaped()) raise(E_FAIL, path, "the import was ended before the importer finished");
    const int status = child->wait();
    if (output.timedOut) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", settings.timeLimit.count() / 1000.0);
        raise(D3DXERR_INVALIDDATA, path, std::string("the importer did not finish within ") + seconds + " s");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) raiseEnding(path, status, output.err, memoryLimit);
    const HandoverMapping mapping(handover, path, memoryLimit);
    return decodeHandover(mapping.bytes(), path);
}

}  // namespace modelimport
