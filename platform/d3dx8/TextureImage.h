#pragma once
// The image half of the texture loader: bytes -> 32-bit ARGB words, colour key, resizing and
// mip-level filtering. Kept apart from the D3DX entry points so each step can be tested on
// its own and the decoding can run from memory (fuzzing, tests) as well as from a file.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "d3d8/Resources.h"

// An image as textures keep it: row after row, top row first, each texel 0xAARRGGBB.
struct ArgbImage {
    uint32_t width = 0;
    uint32_t height = 0;
    bool hasAlpha = false;                   // some texel is not fully opaque
    D3DFORMAT fileFormat = D3DFMT_UNKNOWN;   // what the file's pixels are, as a D3D format
    std::vector<uint32_t> texels;
};

// Largest side accepted from a file: the largest texture the device creates.
inline constexpr uint32_t kMaxImageSide = kMaxSurfaceSide;
// Largest number of texels accepted from a file, 64 MB as 32-bit texels: a 4096 x 4096
// square or a 16384 x 1024 strip. Decoding and the mip chain take some four times that.
inline constexpr uint64_t kMaxImageTexels = uint64_t{4096} * 4096;

// Decodes BMP, PNG, JPEG and TGA (uncompressed true colour) from memory; other formats are
// refused. `name` only labels errors. Before any pixel is decoded, the header is read and
// the file is checked to hold everything the header announces: a declared size out of range,
// or a file that ends before its pixel data (or, for PNG and JPEG, before its end marker)
// raises D3DXERR_INVALIDDATA naming `name`, the byte position and the reason. A partial
// image is never returned.
ArgbImage decodeImage(std::span<const std::byte> bytes, const std::string& name);

// Reads and decodes a file. A missing or unreadable file raises D3DERR_NOTFOUND, an
// undecodable one D3DXERR_INVALIDDATA; both texts name the path and the reason.
ArgbImage readImageFile(const std::string& path);

// Every texel whose ARGB value equals `key` becomes transparent black. Key 0 is "no key".
void applyColorKey(ArgbImage& image, D3DCOLOR key);

// Scales to width x height: nearest texel for D3DX_FILTER_NONE/POINT, area-weighted
// otherwise. Returns the image unchanged when the size already matches.
ArgbImage resizeImage(const ArgbImage& image, uint32_t width, uint32_t height, uint32_t filter);

// The next smaller mip level of `source` (each side halved, at least 1). D3DX_FILTER_NONE
// and POINT take the top-left texel of each 2 x 2 block; every other filter averages the
// block per channel, rounding to nearest. An odd last row or column is dropped, as the
// halved size leaves no room for it.
Direct3DTexture8::Level downsampleLevel(const Direct3DTexture8::Level& source, uint32_t filter);

// Fills levels 1.. of `texture` from level 0.
void fillMipChain(Direct3DTexture8& texture, uint32_t mipFilter);
