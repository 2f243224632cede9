#pragma once
// Whole files in memory: a file mapped read-only, and an owning buffer for inflated data.

#include <cstddef>
#include <memory>
#include <span>
#include <string>

namespace xfile {

// Bytes whose first use writes them; contents start undefined (not zeroed first).
class ByteBuffer {
public:
    ByteBuffer() = default;
    // Runtime error 7 "Out of memory" when the bytes cannot be had.
    explicit ByteBuffer(size_t size);

    std::byte* data() { return data_.get(); }
    const std::byte* data() const { return data_.get(); }
    size_t size() const { return size_; }
    const std::byte* begin() const { return data(); }
    const std::byte* end() const { return data() + size_; }
    operator std::span<const std::byte>() const { return {data(), size_}; }

private:
    std::unique_ptr<std::byte[]> data_;
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
