#include "xfile/Buffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

#include "runtime/Error.h"

namespace xfile {

namespace {

// Below this, the allocator's pages are as good as the kernel's.
constexpr size_t kMapThreshold = size_t{1} << 20;
// Huge pages cover aligned 2 MB extents only, so a mapped buffer starts on one.
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kPage = 4096;

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
    if (size < kMapThreshold) {
        data_ = new std::byte[size == 0 ? 1 : size];
        return;
    }
    // Map a huge page more than needed, then give back what lies before the first aligned
    // address and after the buffer's last page.
    const size_t pages = (size + kPage - 1) / kPage * kPage, length = pages + kHugePage;
    void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) rt::raiseRuntime(rt::errc::OutOfMemory, std::to_string(size) + " bytes");
    auto* base = static_cast<std::byte*>(p);
    const size_t skip = (kHugePage - reinterpret_cast<uintptr_t>(base) % kHugePage) % kHugePage;
    if (skip > 0) ::munmap(base, skip);
    ::munmap(base + skip + pages, length - skip - pages);
    data_ = base + skip;
    ::madvise(data_, pages, MADV_HUGEPAGE);  // a request only: ignored where huge pages are off
    mapped_ = true;
}

ByteBuffer::~ByteBuffer() {
    if (mapped_)
        ::munmap(data_, size_);
    else
        delete[] data_;
}

void ByteBuffer::swap(ByteBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(mapped_, other.mapped_);
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
