#include "runtime/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/Error.h"

namespace rt {
namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

std::string notRegular(mode_t mode) { return std::string("cannot read the file (it is ") + kindOf(mode) + ")"; }

}  // namespace

InputFile::InputFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        fail(errno);
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        fault_ = Fault::NotRegular;
        reason_ = notRegular(info.st_mode);
        return;
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) {
        fail(errno);
        return;
    }
    if (::fstat(fd_, &info) != 0) {
        fail(errno);
    } else if (!S_ISREG(info.st_mode)) {
        fault_ = Fault::NotRegular;
        reason_ = notRegular(info.st_mode);
    } else {
        size_ = static_cast<uint64_t>(info.st_size);
        return;
    }
    ::close(fd_);
    fd_ = -1;
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

void InputFile::fail(int error) {
    if (error == ENOENT || error == ENOTDIR) {
        fault_ = Fault::NotFound;
        reason_ = "file not found";
    } else {
        fault_ = Fault::CannotOpen;
        reason_ = std::strerror(error);
    }
}

size_t InputFile::readInto(std::byte* data, size_t bytes) const {
    size_t done = 0;
    while (fd_ >= 0 && done < bytes) {
        const ssize_t n = ::pread(fd_, data + done, bytes - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void raiseUnlessReadable(const InputFile& file, const std::string& path) {
    if (file.fault() == InputFile::Fault::NotFound) raiseRuntime(errc::FileNotFound, path);
    if (!file.ok()) raiseRuntime(errc::PathFileAccess, path + ": " + file.reason());
}

}  // namespace rt
