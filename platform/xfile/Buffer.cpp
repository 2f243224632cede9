#include "xfile/Buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

#include "runtime/Error.h"
#include "runtime/InputFile.h"

namespace xfile {

ByteBuffer::ByteBuffer(size_t size) : size_(size) {
    try {
        data_.reset(new std::byte[size]);  // default-initialised: left as it is
    } catch (const std::bad_alloc&) {
        rt::raiseRuntime(rt::errc::OutOfMemory, std::to_string(size) + " bytes");
    }
}

MappedFile::MappedFile(const std::string& path) {
    const rt::InputFile file(path);
    rt::raiseUnlessReadable(file, path);
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
