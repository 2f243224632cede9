#include "TextureColour.h"

#include <stb_image.h>
#include <sys/resource.h>

#include <assimp/material.h>
#include <assimp/scene.h>
#include <assimp/texture.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "runtime/InputFile.h"

namespace importchild {

namespace {

namespace fs = std::filesystem;

// Decoded RGBA at most: 8192 × 8192 texels, and at most a sixteenth of the address space the
// importer may use, since decoding takes a few times its output and the scene is in memory.
constexpr uint64_t kMaxDecodedBytes = uint64_t{256} << 20;
constexpr uint64_t kMaxSide = 32768;
// Texels read per material, however many faces it has and however often their coordinates
// repeat the texture: the faces share them by their size in the texture.
constexpr double kSampleBudget = 1 << 22;
constexpr unsigned kMaxSteps = 2048;  // per side of one face
constexpr auto kTimeForTextures = std::chrono::seconds(10);
// A folder searched for a name spelt in another case (as 3DS files name theirs) is looked at
// this far.
constexpr int kMaxFolderEntries = 10000;

// Why a texture cannot be had, for the note on stderr.
struct Unusable {
    std::string reason;
};

// RGBA, rows from the top.
struct Image {
    uint32_t width = 0, height = 0;
    std::unique_ptr<uint8_t[], void (*)(void*)> rgba{nullptr, std::free};
    const uint8_t* texel(uint32_t x, uint32_t y) const { return rgba.get() + (size_t{y} * width + x) * 4; }
};

uint64_t decodedByteLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kMaxDecodedBytes;
    return std::min<uint64_t>(kMaxDecodedBytes, limit.rlim_cur / 16);
}

void checkSize(uint64_t width, uint64_t height, uint64_t bytesPerTexel) {
    if (width == 0 || height == 0) throw Unusable{"it has no texels"};
    if (width > kMaxSide || height > kMaxSide || width * height * bytesPerTexel > decodedByteLimit())
        throw Unusable{"its " + std::to_string(width) + "x" + std::to_string(height) +
                       " texels are more than the importer decodes"};
}

std::string stbReason() {
    const char* reason = stbi_failure_reason();
    return reason != nullptr ? reason : "no reason given";
}

// PNG, JPEG, BMP, TGA, GIF (its first frame) and the rest stb_image reads.
Image decode(const uint8_t* bytes, size_t size) {
    if (size > INT_MAX) throw Unusable{"the image takes more than 2 GB"};
    const int length = static_cast<int>(size);
    int width = 0, height = 0, channels = 0;
    if (stbi_info_from_memory(bytes, length, &width, &height, &channels) == 0)
        throw Unusable{"not an image the importer reads (" + stbReason() + ")"};
    checkSize(static_cast<uint64_t>(width), static_cast<uint64_t>(height), stbi_is_16_bit_from_memory(bytes, length) ? 8 : 4);
    int decodedWidth = 0, decodedHeight = 0;
    Image image{static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                {stbi_load_from_memory(bytes, length, &decodedWidth, &decodedHeight, &channels, 4), stbi_image_free}};
    if (!image.rgba) throw Unusable{"it cannot be decoded (" + stbReason() + ")"};
    if (decodedWidth != width || decodedHeight != height) throw Unusable{"it decodes to another size than it announces"};
    return image;
}

Image embedded(const aiTexture& texture) {
    if (texture.pcData == nullptr) throw Unusable{"the file holds no data for it"};
    if (texture.mHeight == 0) return decode(reinterpret_cast<const uint8_t*>(texture.pcData), texture.mWidth);
    // Texels Assimp has decoded itself, in memory already: only copied.
    checkSize(texture.mWidth, texture.mHeight, 4);
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
    std::vector<fs::path> places;
    const auto add = [&](const fs::path& p) {
        if (std::find(places.begin(), places.end(), p) == places.end()) places.push_back(p);
    };
    for (const std::string& s : spellings) {
        if (s.empty() || s.find('\0') != std::string::npos) continue;
        const fs::path relative = fs::path(s).lexically_normal();
        if (relative.is_relative() && !relative.empty() && *relative.begin() != "..") add(folder / relative);
    }
    for (const std::string& s : spellings) {
        const fs::path bare = fs::path(s).filename();
        if (s.find('\0') == std::string::npos && !bare.empty() && bare != "." && bare != "..") add(folder / bare);
    }
    return places;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

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

// The file whole, if it is a regular file (a FIFO or a device is never opened) of a size an
// image may have.
std::vector<uint8_t> contents(const fs::path& file) {
    const rt::InputFile in(file.string());
    if (!in.ok()) throw Unusable{file.string() + ": " + in.reason()};
    if (in.size() > std::min<uint64_t>(decodedByteLimit(), INT_MAX))
        throw Unusable{file.string() + ": larger than an image the importer decodes"};
    std::vector<uint8_t> bytes(in.size());
    bytes.resize(in.readInto(reinterpret_cast<std::byte*>(bytes.data()), bytes.size()));
    return bytes;
}

// A material's diffuse texture and how its faces read it.
struct Texture {
    std::string reference;
    unsigned channel = 0;
    aiTextureMapping mapping = aiTextureMapping_UV;
    aiTextureMapMode modes[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
};

std::optional<Texture> diffuseTexture(const aiMaterial& material) {
    for (aiTextureType type : {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE}) {
        Texture t;
        aiString path;
        if (material.GetTextureCount(type) == 0 ||
            material.GetTexture(type, 0, &path, &t.mapping, &t.channel, nullptr, nullptr, t.modes) != AI_SUCCESS ||
            path.length == 0)
            continue;
        t.reference = path.C_Str();
        return t;
    }
    return std::nullopt;
}

Image imageOf(const aiScene& scene, const std::string& reference, const fs::path& folder) {
    if (const aiTexture* texture = scene.GetEmbeddedTexture(reference.c_str())) return embedded(*texture);
    if (reference.starts_with('*')) throw Unusable{"the file embeds no such texture"};
    const std::vector<uint8_t> bytes = contents(textureFile(reference, folder));
    return decode(bytes.data(), bytes.size());
}

// sRGB values to linear light and back: an average is of light, as the eye mixes a surface
// seen from afar.
const std::array<double, 256>& linearOf() {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        return t;
    }();
    return table;
}

float encoded(double linear) {
    const double c = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return static_cast<float>(std::clamp(c, 0.0, 1.0));
}

// Colours weighted by their texels' opacity, so that the transparent parts of a cut-out
// texture (leaves, hair) do not tint what is seen of it.
struct Average {
    double r = 0, g = 0, b = 0, opacity = 0, weight = 0;

    void add(const uint8_t* texel, double w) {
        const std::array<double, 256>& linear = linearOf();
        const double seen = w * texel[3] / 255.0;
        r += seen * linear[texel[0]];
        g += seen * linear[texel[1]];
        b += seen * linear[texel[2]];
        opacity += seen;
        weight += w;
    }
    void add(const Average& other, double scale) {
        r += scale * other.r, g += scale * other.g, b += scale * other.b;
        opacity += scale * other.opacity, weight += scale * other.weight;
    }
    std::array<float, 4> rgba() const {
        if (!(opacity > 0) || !std::isfinite(opacity)) throw Unusable{"it is transparent where its faces use it"};
        return {encoded(r / opacity), encoded(g / opacity), encoded(b / opacity), static_cast<float>(opacity / weight)};
    }
};

Average wholeImage(const Image& image) {
    Average sum;
    const double w = 1.0 / (double(image.width) * image.height);
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x) sum.add(image.texel(x, y), w);
    return sum;
}

double wrapped(double x, aiTextureMapMode mode) {
    switch (mode) {
        case aiTextureMapMode_Clamp:
        case aiTextureMapMode_Decal:
            return std::clamp(x, 0.0, 1.0);
        case aiTextureMapMode_Mirror: {
            const double m = x - 2 * std::floor(x / 2);
            return m > 1 ? 2 - m : m;
        }
        default:
            return x - std::floor(x);
    }
}

// The texel at (u, v) with v up, as Assimp gives every format's coordinates.
const uint8_t* texelAt(const Image& image, const Texture& texture, double u, double v) {
    const double s = wrapped(u, texture.modes[0]), t = 1 - wrapped(v, texture.modes[1]);
    const auto x = std::min(static_cast<uint32_t>(s * image.width), image.width - 1);
    const auto y = std::min(static_cast<uint32_t>(t * image.height), image.height - 1);
    return image.texel(x, y);
}

// A face's share of the texture, in texels; 0 when its coordinates are not numbers.
double texelArea(const Image& image, const aiVector3D& t0, const aiVector3D& t1, const aiVector3D& t2) {
    const double ax = (t1.x - t0.x) * image.width, ay = (t1.y - t0.y) * image.height;
    const double bx = (t2.x - t0.x) * image.width, by = (t2.y - t0.y) * image.height;
    const double area = 0.5 * std::abs(ax * by - ay * bx);
    return std::isfinite(area) ? area : 0;
}

// Reads the face's part of the texture at the centres of k × k equal triangles it divides into.
void sampleFace(const Image& image, const Texture& texture, const aiVector3D* t[3], unsigned k, double weight, Average& sum) {
    const double w = weight / (double(k) * k);
    const auto at = [&](double a, double b) {
        const double u = t[0]->x + a * (t[1]->x - t[0]->x) + b * (t[2]->x - t[0]->x);
        const double v = t[0]->y + a * (t[1]->y - t[0]->y) + b * (t[2]->y - t[0]->y);
        sum.add(texelAt(image, texture, u, v), w);
    };
    for (unsigned i = 0; i < k; ++i)
        for (unsigned j = 0; i + j < k; ++j) {
            at((i + 1 / 3.0) / k, (j + 1 / 3.0) / k);
            if (i + j + 1 < k) at((i + 2 / 3.0) / k, (j + 2 / 3.0) / k);
        }
}

// Calls visit(area, corners' coordinates or null) for each triangle, with its area as placed.
template <class Visit>
void forEachFace(std::span<const MeshUse> uses, const Texture& texture, Visit&& visit) {
    for (const MeshUse& use : uses) {
        const aiMesh& mesh = *use.mesh;
        const aiVector3D* coordinates = texture.mapping == aiTextureMapping_UV && texture.channel < AI_MAX_NUMBER_OF_TEXTURECOORDS &&
                                                mesh.HasTextureCoords(texture.channel)
                                            ? mesh.mTextureCoords[texture.channel]
                                            : nullptr;
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            const aiFace& face = mesh.mFaces[f];
            if (face.mNumIndices != 3 || std::any_of(face.mIndices, face.mIndices + 3, [&](unsigned i) { return i >= mesh.mNumVertices; }))
                continue;
            const aiVector3D a = use.world * mesh.mVertices[face.mIndices[0]], b = use.world * mesh.mVertices[face.mIndices[1]],
                             c = use.world * mesh.mVertices[face.mIndices[2]];
            const double area = 0.5 * double(((b - a) ^ (c - a)).Length());
            if (!(area > 0) || !std::isfinite(area)) continue;
            const aiVector3D* t[3] = {nullptr, nullptr, nullptr};
            if (coordinates != nullptr)
                for (int k = 0; k < 3; ++k) t[k] = &coordinates[face.mIndices[k]];
            visit(area, t);
        }
    }
}

// The texture's average over the faces, each weighted by its area; faces without coordinates
// for it see the whole texture.
std::array<float, 4> averageOver(const Image& image, const Texture& texture, std::span<const MeshUse> uses) {
    double texels = 0;
    forEachFace(uses, texture, [&](double, const aiVector3D* t[3]) {
        if (t[0] != nullptr) texels += texelArea(image, *t[0], *t[1], *t[2]);
    });
    const double share = texels > kSampleBudget ? kSampleBudget / texels : 1;
    Average sum;
    double unmapped = 0;
    forEachFace(uses, texture, [&](double area, const aiVector3D* t[3]) {
        if (t[0] == nullptr) {
            unmapped += area;
            return;
        }
        const double steps = std::ceil(std::sqrt(texelArea(image, *t[0], *t[1], *t[2]) * share));
        sampleFace(image, texture, t, static_cast<unsigned>(std::clamp(steps, 1.0, double(kMaxSteps))), area, sum);
    });
    if (unmapped > 0) sum.add(wholeImage(image), unmapped);
    return sum.rgba();
}

}  // namespace

TextureColours::TextureColours(const aiScene& scene, std::filesystem::path modelFolder, std::span<const MeshUse> uses)
    : scene_(scene), folder_(std::move(modelFolder)), usesByMaterial_(scene.mNumMaterials),
      deadline_(std::chrono::steady_clock::now() + kTimeForTextures) {
    for (const MeshUse& use : uses)
        if (use.mesh->mMaterialIndex < usesByMaterial_.size()) usesByMaterial_[use.mesh->mMaterialIndex].push_back(use);
}

std::array<float, 4> TextureColours::colourOf(unsigned material, const std::array<float, 4>& factor) const {
    if (material >= scene_.mNumMaterials || scene_.mMaterials[material] == nullptr) return factor;
    const std::optional<Texture> texture = diffuseTexture(*scene_.mMaterials[material]);
    if (!texture) return factor;
    try {
        if (std::chrono::steady_clock::now() > deadline_) throw Unusable{"the time for textures is up"};
        const std::array<float, 4> average = averageOver(imageOf(scene_, texture->reference, folder_), *texture, usesByMaterial_[material]);
        return {factor[0] * average[0], factor[1] * average[1], factor[2] * average[2], factor[3] * average[3]};
    } catch (const Unusable& unusable) {
        std::fprintf(stderr, "celshade-import: material %u keeps its own colour: texture \"%s\": %s\n", material,
                     texture->reference.c_str(), unusable.reason.c_str());
        return factor;
    }
}

}  // namespace importchild
