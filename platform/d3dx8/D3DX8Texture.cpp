// Textures from image files. Decoding goes through QImage (TextureImage.cpp); the texture
// keeps its texels in system memory and the device uploads them when it draws.

#include <string>

#include "d3dx8/D3DX8.h"
#include "d3dx8/TextureImage.h"
#include "runtime/Status.h"

namespace {

constexpr char kCall[] = "D3DXCreateTextureFromFileEx";
constexpr uint32_t kFilterModifierBits = 0x000F0000u;  // MIRROR_U/V/W and DITHER

void checkFilter(uint32_t filter, const char* what) {
    if (filter == D3DX_DEFAULT) return;
    uint32_t kind = filter & 0xFFFF;
    if (kind < D3DX_FILTER_NONE || kind > D3DX_FILTER_BOX || (filter & ~(0xFFFFu | kFilterModifierBits)))
        rt::raiseStatus(D3DERR_INVALIDCALL, kCall, std::string(what) + " " + std::to_string(filter) + " is not a filter");
}

void checkPool(D3DPOOL pool) {
    if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM)
        rt::raiseStatus(D3DERR_INVALIDCALL, kCall, "pool " + std::to_string(pool) + " does not exist");
}

void checkSide(uint32_t side, const char* what) {
    if (side != D3DX_DEFAULT && side > kMaxImageSide)
        rt::raiseStatus(D3DERR_INVALIDCALL, kCall, std::string(what) + " " + std::to_string(side) + " is out of range");
}

uint32_t sizeOrImage(uint32_t requested, uint32_t own) {
    return requested == D3DX_DEFAULT || requested == 0 ? own : requested;
}

// D3DFMT_UNKNOWN takes the file's format. A colour key needs an alpha channel to make its
// texels transparent, so a keyed load of an opaque image gets one rather than losing the key.
D3DFORMAT textureFormat(D3DFORMAT requested, const ArgbImage& image, D3DCOLOR colorKey) {
    switch (requested) {
    case D3DFMT_UNKNOWN:
        return image.hasAlpha || colorKey != 0 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    case D3DFMT_R8G8B8:  // the closest format the device keeps
    case D3DFMT_X8R8G8B8:
        return D3DFMT_X8R8G8B8;
    case D3DFMT_A8R8G8B8:
        return D3DFMT_A8R8G8B8;
    default:
        rt::raiseStatus(D3DERR_INVALIDCALL, kCall, "format " + std::to_string(requested) + " is not supported");
    }
}

void fillInfo(D3DXIMAGE_INFO* info, const ArgbImage& image) {
    if (info == nullptr) return;
    *info = D3DXIMAGE_INFO{image.width, image.height, 1, 1, image.fileFormat};
}

void copyTopLevel(Direct3DTexture8& texture, const ArgbImage& image) {
    Direct3DTexture8::Level& top = texture.mutableLevel(0);
    top.texels = image.texels;
    // X8R8G8B8 texels read back with alpha 0xFF whatever the image held there.
    if (texture.format() == D3DFMT_X8R8G8B8)
        for (uint32_t& t : top.texels) t |= 0xFF000000u;
}

}  // namespace

std::shared_ptr<Direct3DTexture8> D3DX8::CreateTextureFromFile(const std::shared_ptr<Direct3DDevice8>& device,
                                                               const std::string& fileName) {
    return CreateTextureFromFileEx(device, fileName, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                   D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                   nullptr, nullptr);
}

// The device is not consulted: textures are system-memory objects any device can draw
// from, which also lets the loader run without a window.
std::shared_ptr<Direct3DTexture8> D3DX8::CreateTextureFromFileEx(
    const std::shared_ptr<Direct3DDevice8>& /*device*/, const std::string& fileName, uint32_t width,
    uint32_t height, uint32_t mipLevels, uint32_t usage, D3DFORMAT format, D3DPOOL pool,
    uint32_t filter, uint32_t mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
    void* /*palette: images are converted to 32-bit texels, so there never is one*/) {
    checkPool(pool);
    checkFilter(filter, "filter");
    checkFilter(mipFilter, "mip filter");
    // A size the caller gives is checked before the file is read; the file's own size is
    // checked from its header.
    checkSide(width, "width");
    checkSide(height, "height");
    ArgbImage image = readImageFile(fileName);
    fillInfo(srcInfo, image);
    applyColorKey(image, colorKey);
    uint32_t w = sizeOrImage(width, image.width), h = sizeOrImage(height, image.height);
    image = resizeImage(image, w, h, filter == D3DX_DEFAULT ? D3DX_FILTER_TRIANGLE : filter);
    uint32_t levels = mipLevels == D3DX_DEFAULT ? 0 : mipLevels;
    auto texture = std::make_shared<Direct3DTexture8>(w, h, levels, usage,
                                                      textureFormat(format, image, colorKey), pool);
    copyTopLevel(*texture, image);
    fillMipChain(*texture, mipFilter == D3DX_DEFAULT ? D3DX_FILTER_BOX : mipFilter);
    return texture;
}
