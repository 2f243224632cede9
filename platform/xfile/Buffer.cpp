#include "xfile/Buffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <new>

#include "runtime/Error.h"

namespace xfile {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

ByteBuffer::ByteBuffer(size_t size) : size_(size) {
    try {
        data_.reset(new std::byte[size]);  // default-initialised: left as it is
    } catch (const std::bad_alloc&) {
        rt::raiseRuntime(rt::errc::OutOfMemory, std::to_string(size) + " bytes");
    }
}

MappedFile::MappedFile(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) rt::raiseRuntime(errno == ENOENT ? rt::errc::FileNotFound : rt::errc::PathFileAccess, path);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) rt::raiseRuntime(rt::errc::PathFileAccess, path);
    size_ = static_cast<size_t>(info.st_size);
    if (size_ == 0) return;
    // MAP_POPULATE maps the whole file in one call instead of one fault per page.
    void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd.get(), 0);
    if (p == MAP_FAILED) rt::raiseRuntime(rt::errc::PathFileAccess, path);
    data_ = static_cast<const std::byte*>(p);
}

MappedFile::~MappedFile() {
    if (data_ != nullptr) ::munmap(const_cast<std::byte*>(data_), size_);
}

}  // namespace xfile
