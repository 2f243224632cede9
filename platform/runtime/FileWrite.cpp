#include "runtime/FileWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "runtime/Error.h"

namespace rt {
namespace {

[[noreturn]] void fail(const std::string& path, int error) {
    raiseRuntime(errc::PathFileAccess, "cannot write " + path + ": " + std::strerror(error));
}

// Writes all of the bytes and closes the file; false with errno set when either fails.
bool writeAllAndClose(int fd, const void* bytes, size_t size) {
    const char* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(fd, at, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const int error = written < 0 ? errno : EIO;
            ::close(fd);
            errno = error;
            return false;
        }
        at += written;
        size -= size_t(written);
    }
    return ::close(fd) == 0;
}

// The bytes in a new file beside `path` with a name of its own (hidden, and saying whose it
// is), created with the permissions the user's umask gives a new file; returns its name.
std::string writeTemporary(const std::string& path, const void* bytes, size_t size) {
    static std::atomic<unsigned> made{0};
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    for (;;) {
        const std::string name = ".celshade-" + std::to_string(::getpid()) + "-" + std::to_string(made++) + ".part";
        const std::string temporary = (folder / name).string();
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;  // left by an earlier process of the same id
        if (fd < 0) fail(path, errno);
        if (!writeAllAndClose(fd, bytes, size)) {
            const int error = errno;
            ::unlink(temporary.c_str());
            fail(path, error);
        }
        return temporary;
    }
}

// A device or a FIFO named as the output (/dev/null, /dev/stdout) is written into: renaming a
// file over it would replace it.
void writeInto(const std::string& path, const void* bytes, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0 || !writeAllAndClose(fd, bytes, size)) fail(path, errno);
}

}  // namespace

void replaceFile(const std::string& path, const void* bytes, size_t size) {
    struct stat status{};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return writeInto(path, bytes, size);
    // Through a link, its target is what is replaced.
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::is_symlink(path, ec) ? std::filesystem::canonical(path, ec) : "";
    const std::string target = ec || resolved.empty() ? path : resolved.string();
    const std::string temporary = writeTemporary(target, bytes, size);
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(path, error);
    }
}

bool createNewFile(const std::string& path, const void* bytes, size_t size) {
    const std::string temporary = writeTemporary(path, bytes, size);
    // A rename that refuses to replace; where the file system cannot, a hard link, which
    // refuses too.
    int status = ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    bool linked = false;
    if (status != 0 && (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)) {
        status = ::link(temporary.c_str(), path.c_str());
        linked = true;
    }
    const int error = errno;
    if (status != 0 || linked) ::unlink(temporary.c_str());
    if (status == 0) return true;
    if (error == EEXIST) return false;
    fail(path, error);
}

}  // namespace rt
