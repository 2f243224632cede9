#include "TextureImage.h"

#include <sys/resource.h>

#include <assimp/scene.h>
#include <assimp/texture.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "runtime/InputFile.h"

namespace importchild {

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMaxSide = 32768;
// Decoded RGBA at most: 8192 × 8192 texels, and at most a sixteenth of the address space the
// importer may use, since the scene is in memory already.
constexpr uint64_t kMaxDecodedBytes = uint64_t{256} << 20;
// What the decoder may allocate for one image, per byte of its decoded size: a progressive
// JPEG holds its coefficients (6 bytes a texel) and its planes beside the result, a PNG its
// inflated rows and the result before and after conversion. A file whose data inflates far
// beyond its announced size runs out of this, not of the process's memory.
constexpr uint64_t kDecodingBytesPerImageByte = 6;
constexpr uint64_t kDecodingSlack = 4 << 20;

// The decoder's allocations, counted against what the image under way may take. Each block
// carries its size before it, so that a free gives back what it took.
size_t decodingAllowance = 0;

struct alignas(16) BlockSize {
    size_t bytes;
};

void* allowedMalloc(size_t bytes) {
    if (bytes > decodingAllowance) return nullptr;
    auto* block = static_cast<BlockSize*>(std::malloc(sizeof(BlockSize) + bytes));
    if (block == nullptr) return nullptr;
    block->bytes = bytes;
    decodingAllowance -= bytes;
    return block + 1;
}

void allowedFree(void* data) {
    if (data == nullptr) return;
    BlockSize* block = static_cast<BlockSize*>(data) - 1;
    decodingAllowance += block->bytes;
    std::free(block);
}

void* allowedRealloc(void* data, size_t bytes) {
    if (data == nullptr) return allowedMalloc(bytes);
    BlockSize* block = static_cast<BlockSize*>(data) - 1;
    const size_t old = block->bytes;
    if (bytes > old && bytes - old > decodingAllowance) return nullptr;
    auto* moved = static_cast<BlockSize*>(std::realloc(block, sizeof(BlockSize) + bytes));
    if (moved == nullptr) return nullptr;
    decodingAllowance = decodingAllowance + old - bytes;
    moved->bytes = bytes;
    return moved + 1;
}

}  // namespace

}  // namespace importchild

// The decoder is built here rather than taken from libstb: so that its memory is bounded as
// above, and so that only the formats models use are read (no PSD, HDR, PIC or PNM code to
// reach with a hostile file).
#define STBI_MALLOC(bytes) importchild::allowedMalloc(bytes)
#define STBI_REALLOC(data, bytes) importchild::allowedRealloc(data, bytes)
#define STBI_FREE(data) importchild::allowedFree(data)
#define STBI_MAX_DIMENSIONS 32768
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_GIF
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace importchild {

namespace {

static_assert(STBI_MAX_DIMENSIONS == kMaxSide);

uint64_t decodedByteLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kMaxDecodedBytes;
    return std::min<uint64_t>(kMaxDecodedBytes, limit.rlim_cur / 16);
}

// Bytes of the decoded image, checked against the limits.
uint64_t checkedSize(uint64_t width, uint64_t height, uint64_t bytesPerTexel) {
    if (width == 0 || height == 0) throw Unusable{"it has no texels"};
    if (width > kMaxSide || height > kMaxSide || width * height * bytesPerTexel > decodedByteLimit())
        throw Unusable{"its " + std::to_string(width) + "x" + std::to_string(height) +
                       " texels are more than the importer decodes"};
    return width * height * bytesPerTexel;
}

std::string stbReason() {
    const char* reason = stbi_failure_reason();
    return reason != nullptr ? reason : "no reason given";
}

Image fromTexels(const aiTexture& texture) {
    checkedSize(texture.mWidth, texture.mHeight, 4);
    const size_t count = size_t{texture.mWidth} * texture.mHeight;
    Image image{texture.mWidth, texture.mHeight, {static_cast<uint8_t*>(std::malloc(count * 4)), std::free}};
    if (!image.rgba) throw Unusable{"no memory to hold it"};
    for (size_t i = 0; i < count; ++i) {
        const aiTexel& t = texture.pcData[i];
        uint8_t* out = image.rgba.get() + 4 * i;
        out[0] = t.r, out[1] = t.g, out[2] = t.b, out[3] = t.a;
    }
    return image;
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Where a file the model names may be, inside its folder only: the path as written when it is
// relative and stays inside, then its bare name there (a path absolute or reaching out names
// the author's folders, or files that are none of the model's business). Each as written, as
// a URI decodes it, and with Windows' separators.
std::vector<fs::path> placesFor(const std::string& reference, const fs::path& folder) {
    const std::string_view scheme = "file://";
    const std::string name = reference.starts_with(scheme) ? reference.substr(scheme.size()) : reference;
    std::vector<std::string> spellings{name, percentDecoded(name)};
    for (size_t i = 0, n = spellings.size(); i < n; ++i) {
        std::string slashes = spellings[i];
        std::replace(slashes.begin(), slashes.end(), '\\', '/');
        spellings.push_back(slashes);
    }
    std::erase_if(spellings, [](const std::string& s) { return s.empty() || s.find('\0') != std::string::npos; });
    std::vector<fs::path> places;
    const auto add = [&](const fs::path& p) {
        if (std::find(places.begin(), places.end(), p) == places.end()) places.push_back(p);
    };
    for (const std::string& s : spellings) {
        const fs::path relative = fs::path(s).lexically_normal();
        if (relative.is_relative() && !relative.empty() && *relative.begin() != "..") add(folder / relative);
    }
    for (const std::string& s : spellings) {
        const fs::path bare = fs::path(s).filename();
        if (!bare.empty() && bare != "." && bare != "..") add(folder / bare);
    }
    return places;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A name spelt in another case than the file's (as 3DS files, written on systems that ignore
// case, name theirs); a folder is looked at this far.
constexpr int kMaxFolderEntries = 10000;

std::optional<fs::path> inAnyCase(const fs::path& wanted) {
    std::error_code error;
    fs::directory_iterator entry(wanted.parent_path(), error);
    for (int seen = 0; !error && entry != fs::directory_iterator() && seen < kMaxFolderEntries; entry.increment(error), ++seen)
        if (sameIgnoringCase(entry->path().filename().string(), wanted.filename().string())) return entry->path();
    return std::nullopt;
}

fs::path textureFile(const std::string& reference, const fs::path& folder) {
    const std::vector<fs::path> places = placesFor(reference, folder);
    for (const fs::path& place : places) {
        std::error_code error;
        if (fs::exists(place, error)) return place;
    }
    for (const fs::path& place : places)
        if (const std::optional<fs::path> found = inAnyCase(place)) return *found;
    throw Unusable{"no such file in the model's folder"};
}

// The file whole, if it is a regular file (a FIFO or a device is never opened, nor waited
// for) of a size an image may have.
std::vector<uint8_t> contents(const fs::path& file) {
    const rt::InputFile in(file.string());
    if (!in.ok()) throw Unusable{file.string() + ": " + in.reason()};
    if (in.size() > std::min<uint64_t>(decodedByteLimit(), INT_MAX))
        throw Unusable{file.string() + ": larger than an image the importer decodes"};
    std::vector<uint8_t> bytes(in.size());
    bytes.resize(in.readInto(reinterpret_cast<std::byte*>(bytes.data()), bytes.size()));
    return bytes;
}

}  // namespace

Image decodeImage(std::span<const uint8_t> bytes) {
    if (bytes.size() > INT_MAX) throw Unusable{"the image takes more than 2 GB"};
    const int length = static_cast<int>(bytes.size());
    int width = 0, height = 0, channels = 0;
    if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) == 0)
        throw Unusable{"not an image the importer reads (" + stbReason() + ")"};
    const uint64_t decoded = checkedSize(static_cast<uint64_t>(width), static_cast<uint64_t>(height),
                                         stbi_is_16_bit_from_memory(bytes.data(), length) ? 8 : 4);
    decodingAllowance = kDecodingBytesPerImageByte * decoded + 2 * bytes.size() + kDecodingSlack;
    int decodedWidth = 0, decodedHeight = 0;
    Image image{static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                {stbi_load_from_memory(bytes.data(), length, &decodedWidth, &decodedHeight, &channels, 4), stbi_image_free}};
    if (!image.rgba) throw Unusable{"it cannot be decoded (" + stbReason() + ")"};
    if (decodedWidth != width || decodedHeight != height) throw Unusable{"it decodes to another size than it announces"};
    return image;
}

Image textureImage(const aiScene& scene, const std::string& reference, const fs::path& modelFolder) {
    if (const aiTexture* texture = scene.GetEmbeddedTexture(reference.c_str())) {
        if (texture->pcData == nullptr) throw Unusable{"the file holds no data for it"};
        // A compressed image is its file's bytes; otherwise Assimp has decoded the texels itself.
        if (texture->mHeight == 0) return decodeImage({reinterpret_cast<const uint8_t*>(texture->pcData), texture->mWidth});
        return fromTexels(*texture);
    }
    if (reference.starts_with('*')) throw Unusable{"the file embeds no such texture"};
    const std::vector<uint8_t> bytes = contents(textureFile(reference, modelFolder));
    return decodeImage(bytes);
}

}  // namespace importchild
