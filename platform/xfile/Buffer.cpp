#include "xfile/Buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>
#include <utility>

#include "runtime/Error.h"
#include "runtime/InputFile.h"
#include "runtime/LargePages.h"

namespace xfile {

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
    const rt::InputFile file(path);
    if (file.fault() == rt::InputFile::Fault::NotFound) rt::raiseRuntime(rt::errc::FileNotFound, path);
    if (!file.ok()) rt::raiseRuntime(rt::errc::PathFileAccess, path + ": " + file.reason());
    size_ = static_cast<size_t>(file.size());
    if (size_ == 0) return;
    // MAP_POPULATE maps the whole file in one call instead of one fault per page.
    void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.descriptor(), 0);
    if (p == MAP_FAILED) rt::raiseRuntime(rt::errc::PathFileAccess, path);
    data_ = static_cast<const std::byte*>(p);
}

MappedFile::~MappedFile() {
    if (data_ != nullptr) ::munmap(const_cast<std::byte*>(data_), size_);
}

}  // namespace xfile
