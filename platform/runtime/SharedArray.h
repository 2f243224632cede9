#pragma once
// A fixed-size array that copies share until one of them is written. A model of millions of
// faces passes through several meshes on its way to the screen (a progressive mesh of the
// loaded one, a second load of the same file, a clone with the same indices); each holds the
// same megabytes as long as neither changes them, and a write gives the writer its own copy,
// so every holder still sees an array of its own.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <span>

namespace rt {

template <typename T>
class SharedArray {
public:
    SharedArray() = default;
    // `size` value-initialised elements (zeros for numbers and bytes). The elements come from
    // new[] on their own, so bytes are aligned for any type a buffer's bytes are read as.
    explicit SharedArray(std::size_t size) : data_(size > 0 ? new T[size]() : nullptr), size_(size) {}

    std::size_t size() const { return size_; }
    std::span<const T> view() const { return {data_.get(), size_}; }
    // The elements for writing: copied first when another holder shares them.
    std::span<T> writableView() {
        if (data_.use_count() > 1) {
            std::shared_ptr<T[]> own(new T[size_]);
            std::copy_n(data_.get(), size_, own.get());
            data_ = std::move(own);
        }
        return {data_.get(), size_};
    }
    // Whether both hold the same elements (not merely equal ones).
    bool sharesWith(const SharedArray& other) const { return data_ != nullptr && data_ == other.data_; }

private:
    std::shared_ptr<T[]> data_;
    std::size_t size_ = 0;
};

}  // namespace rt
