#pragma once
// An allocator for vectors whose every element is written before it is read: resizing one
// leaves the new elements as they are (default-initialised) instead of zeroing them, so that
// pages of a large buffer are first touched by the code that fills them.

#include <memory>
#include <new>

namespace rt {

template <typename T>
struct UnzeroedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UnzeroedAllocator<U>;
    };
    UnzeroedAllocator() = default;
    template <typename U>
    UnzeroedAllocator(const UnzeroedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
};

}  // namespace rt
