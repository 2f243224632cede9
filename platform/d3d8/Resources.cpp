#include "d3d8/Resources.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "runtime/Status.h"

namespace {

void checkRange(std::size_t size, uint64_t offset, uint64_t count, const char* call) {
    if (offset > size || count > size - offset) {
        rt::raiseInvalidCall(call, "range " + std::to_string(offset) + "+" + std::to_string(count) +
                                       " outside a buffer of " + std::to_string(size) + " bytes");
    }
}

std::atomic<uint64_t> nextResourceIdentity{1};

}  // namespace

Direct3DResource8::Direct3DResource8(uint32_t usage, D3DPOOL pool)
    : usage_(usage), pool_(pool), identity_(nextResourceIdentity.fetch_add(1)) {}

uint32_t fvfVertexSize(uint32_t fvf) {
    uint32_t size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size += 12; break;
    case D3DFVF_XYZRHW: size += 16; break;
    case 0x006: size += 16; break;  // XYZB1
    case 0x008: size += 20; break;  // XYZB2
    case 0x00A: size += 24; break;  // XYZB3
    case 0x00C: size += 28; break;  // XYZB4
    case 0x00E: size += 32; break;  // XYZB5
    default: break;
    }
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_PSIZE) size += 4;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    uint32_t texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (uint32_t i = 0; i < texCount; ++i) {
        static constexpr uint32_t kFloats[4] = {2, 3, 4, 1};
        size += 4 * kFloats[(fvf >> (16 + 2 * i)) & 3];
    }
    return size;
}

Direct3DVertexBuffer8::Direct3DVertexBuffer8(uint32_t length, uint32_t usage, uint32_t fvf,
                                             D3DPOOL pool)
    : Direct3DVertexBuffer8(rt::SharedArray<std::byte>(length), usage, fvf, pool) {}

Direct3DVertexBuffer8::Direct3DVertexBuffer8(rt::SharedArray<std::byte> contents, uint32_t usage, uint32_t fvf,
                                             D3DPOOL pool)
    : Direct3DResource8(usage, pool), fvf_(fvf), bytes_(std::move(contents)) {}

void Direct3DVertexBuffer8::write(uint32_t offset, std::span<const std::byte> src) {
    checkRange(bytes_.size(), offset, src.size(), "Direct3DVertexBuffer8 write");
    std::copy(src.begin(), src.end(), mutableBytes().begin() + offset);
}

void Direct3DVertexBuffer8::read(uint32_t offset, std::span<std::byte> dst) const {
    checkRange(bytes_.size(), offset, dst.size(), "Direct3DVertexBuffer8 read");
    std::copy_n(bytes().begin() + offset, dst.size(), dst.begin());
}

std::span<std::byte> Direct3DVertexBuffer8::mutableBytes() {
    touch();
    return bytes_.writableView();
}

Direct3DIndexBuffer8::Direct3DIndexBuffer8(uint32_t length, uint32_t usage, D3DFORMAT format,
                                           D3DPOOL pool)
    : Direct3DIndexBuffer8(rt::SharedArray<std::byte>(length), usage, format, pool) {}

Direct3DIndexBuffer8::Direct3DIndexBuffer8(rt::SharedArray<std::byte> contents, uint32_t usage, D3DFORMAT format,
                                           D3DPOOL pool)
    : Direct3DResource8(usage, pool), format_(format), bytes_(std::move(contents)) {
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)
        rt::raiseInvalidCall("CreateIndexBuffer", "format is not INDEX16 or INDEX32");
}

void Direct3DIndexBuffer8::write(uint32_t offset, std::span<const std::byte> src) {
    checkRange(bytes_.size(), offset, src.size(), "Direct3DIndexBuffer8 write");
    std::copy(src.begin(), src.end(), mutableBytes().begin() + offset);
}

void Direct3DIndexBuffer8::read(uint32_t offset, std::span<std::byte> dst) const {
    checkRange(bytes_.size(), offset, dst.size(), "Direct3DIndexBuffer8 read");
    std::copy_n(bytes().begin() + offset, dst.size(), dst.begin());
}

std::span<std::byte> Direct3DIndexBuffer8::mutableBytes() {
    touch();
    return bytes_.writableView();
}

uint32_t Direct3DIndexBuffer8::index(uint32_t i) const {
    checkRange(bytes_.size(), uint64_t{i} * indexSize(), indexSize(), "Direct3DIndexBuffer8 index");
    if (indexSize() == 2) {
        uint16_t v;
        std::memcpy(&v, bytes().data() + std::size_t{i} * 2, 2);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, bytes().data() + std::size_t{i} * 4, 4);
    return v;
}

uint32_t fullMipLevelCount(uint32_t width, uint32_t height) {
    uint32_t levels = 1;
    while (width > 1 || height > 1) {
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
        ++levels;
    }
    return levels;
}

Direct3DTexture8::Direct3DTexture8(uint32_t width, uint32_t height, uint32_t levels,
                                   uint32_t usage, D3DFORMAT format, D3DPOOL pool)
    : Direct3DResource8(usage, pool), format_(format) {
    if (width == 0 || height == 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide)
        rt::raiseInvalidCall("CreateTexture", "size " + std::to_string(width) + " x " + std::to_string(height));
    if (format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8)
        rt::raiseInvalidCall("CreateTexture", "format is not X8R8G8B8 or A8R8G8B8");
    uint32_t full = fullMipLevelCount(width, height);
    uint32_t count = levels == 0 ? full : std::min(levels, full);
    for (uint32_t i = 0; i < count; ++i) {
        levels_.push_back({width, height, std::vector<uint32_t>(std::size_t{width} * height)});
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
    }
}

const Direct3DTexture8::Level& Direct3DTexture8::level(uint32_t i) const {
    if (i >= levels_.size()) rt::raiseInvalidCall("Direct3DTexture8 level", "no such level");
    return levels_[i];
}

Direct3DTexture8::Level& Direct3DTexture8::mutableLevel(uint32_t i) {
    if (i >= levels_.size()) rt::raiseInvalidCall("Direct3DTexture8 level", "no such level");
    touch();
    return levels_[i];
}
