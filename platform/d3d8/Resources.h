#pragma once
// Vertex buffers, index buffers and textures. Vertex processing runs on the CPU, so every
// resource keeps its contents in system memory whatever its pool; the OpenGL layer uploads
// what it needs at draw time and uses `version()` to know when a copy went stale.
// Objects are held by std::shared_ptr: dropping the last reference releases them.
// A buffer's bytes may be shared with other buffers (rt::SharedArray): made from the contents
// of another, a buffer holds the same bytes until either is written, and then each has its own.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "d3d8/d3d8types.h"
#include "runtime/SharedArray.h"

// The widest and tallest surface (texture or back buffer) the device makes.
inline constexpr uint32_t kMaxSurfaceSide = 16384;

class Direct3DResource8 {
public:
    virtual ~Direct3DResource8() = default;
    D3DPOOL pool() const { return pool_; }
    uint32_t usage() const { return usage_; }
    // Raised by every write; starts at 1.
    uint64_t version() const { return version_; }
    // A number no other resource of this process has had, so that caches keyed by it never
    // mistake a new resource for a released one at the same address.
    uint64_t identity() const { return identity_; }

protected:
    Direct3DResource8(uint32_t usage, D3DPOOL pool);
    void touch() { ++version_; }

private:
    uint32_t usage_;
    D3DPOOL pool_;
    uint64_t version_ = 1;
    uint64_t identity_;
};

class Direct3DVertexBuffer8 : public Direct3DResource8 {
public:
    // A zero-filled buffer of `length` bytes.
    Direct3DVertexBuffer8(uint32_t length, uint32_t usage, uint32_t fvf, D3DPOOL pool);
    // A buffer of the given contents (of another buffer: shared until either is written).
    Direct3DVertexBuffer8(rt::SharedArray<std::byte> contents, uint32_t usage, uint32_t fvf, D3DPOOL pool);

    uint32_t length() const { return static_cast<uint32_t>(bytes_.size()); }
    uint32_t fvf() const { return fvf_; }
    // Valid until the buffer is written or released.
    std::span<const std::byte> bytes() const { return bytes_.view(); }
    // The contents as they are now, for another buffer or a reader that must not see later writes.
    const rt::SharedArray<std::byte>& contents() const { return bytes_; }
    // Copies `src` in at `offset`; D3DERR_INVALIDCALL if it does not fit.
    void write(uint32_t offset, std::span<const std::byte> src);
    // Copies `dst.size()` bytes out from `offset`; D3DERR_INVALIDCALL if out of range.
    void read(uint32_t offset, std::span<std::byte> dst) const;
    // Direct access for loaders that fill the whole buffer; marks it changed.
    std::span<std::byte> mutableBytes();

private:
    uint32_t fvf_;
    rt::SharedArray<std::byte> bytes_;
};

class Direct3DIndexBuffer8 : public Direct3DResource8 {
public:
    Direct3DIndexBuffer8(uint32_t length, uint32_t usage, D3DFORMAT format, D3DPOOL pool);
    Direct3DIndexBuffer8(rt::SharedArray<std::byte> contents, uint32_t usage, D3DFORMAT format, D3DPOOL pool);

    uint32_t length() const { return static_cast<uint32_t>(bytes_.size()); }
    D3DFORMAT format() const { return format_; }
    uint32_t indexSize() const { return format_ == D3DFMT_INDEX32 ? 4u : 2u; }
    uint32_t indexCount() const { return length() / indexSize(); }
    std::span<const std::byte> bytes() const { return bytes_.view(); }
    const rt::SharedArray<std::byte>& contents() const { return bytes_; }
    void write(uint32_t offset, std::span<const std::byte> src);
    void read(uint32_t offset, std::span<std::byte> dst) const;
    std::span<std::byte> mutableBytes();
    // Index i (0-based) as an unsigned value; D3DERR_INVALIDCALL beyond the end.
    uint32_t index(uint32_t i) const;

private:
    D3DFORMAT format_;
    rt::SharedArray<std::byte> bytes_;
};

// A 2D texture with its mip chain. Texels are 32-bit ARGB words (0xAARRGGBB) in both
// supported formats; for X8R8G8B8 the alpha byte reads as 0xFF.
class Direct3DTexture8 : public Direct3DResource8 {
public:
    struct Level {
        uint32_t width;
        uint32_t height;
        std::vector<uint32_t> texels;  // row after row, top row first
    };

    // levels = 0 makes the full chain down to 1 × 1. Texels start zeroed.
    Direct3DTexture8(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                     D3DFORMAT format, D3DPOOL pool);

    D3DFORMAT format() const { return format_; }
    uint32_t levelCount() const { return static_cast<uint32_t>(levels_.size()); }
    const Level& level(uint32_t i) const;
    Level& mutableLevel(uint32_t i);

private:
    D3DFORMAT format_;
    std::vector<Level> levels_;
};

// The number of levels of a full mip chain for a width × height image.
uint32_t fullMipLevelCount(uint32_t width, uint32_t height);
