#pragma once
// The image of a material's texture, embedded in the model file or in a file beside it. Images
// are as untrusted as the model: their size is checked before they are decoded, the decoder
// may take only a bounded share of memory for any one of them, and an external file is opened
// only when it is a regular file inside the model's folder (or named like one there).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

struct aiScene;

namespace importchild {

// Why a texture cannot be had, for the note on stderr.
struct Unusable {
    std::string reason;
};

// RGBA, 8 bits a channel, rows from the top.
struct Image {
    uint32_t width = 0, height = 0;
    std::unique_ptr<uint8_t[], void (*)(void*)> rgba{nullptr, std::free};

    const uint8_t* texel(uint32_t x, uint32_t y) const { return rgba.get() + (size_t{y} * width + x) * 4; }
};

// PNG, JPEG, BMP, TGA or GIF (its first frame). Throws Unusable for anything else, for an
// image of more texels than the importer decodes, and for one that fails to decode.
Image decodeImage(std::span<const uint8_t> bytes);

// The image a material names: "*N" or a name in the file's embedded textures, else a file
// relative to `modelFolder` (a URI's escapes and "file://" understood, Windows' separators
// too, a name found in any case). Throws Unusable.
Image textureImage(const aiScene& scene, const std::string& reference, const std::filesystem::path& modelFolder);

}  // namespace importchild
