// The texture loader's decoding on any bytes: it either returns an image of the size its
// header declared, within the limits and with one texel per pixel, or raises
// D3DXERR_INVALIDDATA. The first byte picks the name the bytes are decoded under: TGA is
// found only through its suffix.
#include <cstddef>
#include <cstdint>
#include <span>

#include "d3dx8/TextureImage.h"
#include "runtime/Error.h"
#include "runtime/Status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const auto bytes = std::as_bytes(std::span(data + 1, size - 1));
    try {
        const ArgbImage image = decodeImage(bytes, data[0] % 2 == 0 ? "fuzz.tga" : "fuzz.img");
        const bool inLimits = image.width > 0 && image.height > 0 && image.width <= kMaxImageSide &&
                              image.height <= kMaxImageSide && uint64_t{image.width} * image.height <= kMaxImageTexels;
        if (!inLimits || image.texels.size() != size_t{image.width} * image.height) __builtin_trap();
    } catch (const rt::Error& e) {
        if (e.number() != D3DXERR_INVALIDDATA) __builtin_trap();
    }
    return 0;
}
