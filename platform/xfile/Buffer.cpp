#include "xfile/Buffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <utility>

#include "runtime/Error.h"
#include "runtime/LargePages.h"

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
        data_ = static_cast<std::byte*>(rt::allocateLarge(size == 0 ? 1 : size));
    } catch (const std::bad_alloc&) {
        rt::raiseRuntime(rt::errc::OutOfMemory, std::to_string(size) + " bytes");
    }
}

ByteBuffer::~ByteBuffer() {
    if (data_ != nullptr) rt::freeLarge(data_, size_ == 0 ? 1 : size_);
}

void ByteBuffer::swap(ByteBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
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
