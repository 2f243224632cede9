#pragma once
// Whole files in memory: a file mapped read-only, and an owning buffer for inflated data.
// Large buffers come from rt::allocateLarge, in 2 MB pages where the kernel allows them: a
// multi-megabyte file otherwise costs one page fault per 4 KB, a large share of its load time.

#include <cstddef>
#include <memory>
#include <span>
#include <string>

namespace xfile {

// Bytes whose first use writes them; contents start undefined.
class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(size_t size);
    ByteBuffer(ByteBuffer&& other) noexcept { swap(other); }
    ByteBuffer& operator=(ByteBuffer&& other) noexcept {
        ByteBuffer(std::move(other)).swap(*this);
        return *this;
    }
    ~ByteBuffer();

    std::byte* data() { return data_; }
    const std::byte* data() const { return data_; }
    size_t size() const { return size_; }
    const std::byte* begin() const { return data_; }
    const std::byte* end() const { return data_ + size_; }
    operator std::span<const std::byte>() const { return {data_, size_}; }

private:
    void swap(ByteBuffer& other) noexcept;

    std::byte* data_ = nullptr;
    size_t size_ = 0;
};

// A file's bytes, mapped; runtime error 53 when it does not exist, 75 when it cannot be read.
class MappedFile {
public:
    explicit MappedFile(const std::string& path);
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    std::span<const std::byte> bytes() const { return {data_, size_}; }

private:
    const std::byte* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace xfile
