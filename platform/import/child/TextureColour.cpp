#include "TextureColour.h"

#include <assimp/GltfMaterial.h>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "TextureImage.h"

namespace importchild {

namespace {

// Texels read per material, however many faces it has and however often their coordinates
// repeat the texture: the faces share them by their size in the texture.
constexpr double kSampleBudget = 1 << 22;
constexpr unsigned kMaxSteps = 2048;  // per side of one face
// Images are not decoded past this, so that textures cannot make an import run out of its time.
constexpr auto kTimeForTextures = std::chrono::seconds(10);

// A material's diffuse texture and how its faces read it.
struct Texture {
    std::string reference;
    unsigned channel = 0;
    aiTextureMapping mapping = aiTextureMapping_UV;
    aiTextureMapMode modes[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
    // Whether a texel's alpha says how much of the surface is there: not for a glTF material
    // drawn opaque, whose texture's alpha means nothing (and is often 0 throughout).
    bool alphaIsCoverage = true;
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
        aiString alphaMode;
        t.alphaIsCoverage = material.Get(AI_MATKEY_GLTF_ALPHAMODE, alphaMode) != AI_SUCCESS ||
                            std::string_view(alphaMode.C_Str()) != "OPAQUE";
        return t;
    }
    return std::nullopt;
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

// A sum of texels in linear light, weighted by area, and again by their opacity: the transparent
// parts of a cut-out texture (leaves, hair) do not tint what is seen of it.
struct Average {
    double seen[3] = {0, 0, 0}, all[3] = {0, 0, 0};
    double opacity = 0, weight = 0;

    void add(const uint8_t* texel, double w) {
        const std::array<double, 256>& linear = linearOf();
        const double visible = w * texel[3] / 255.0;
        for (int c = 0; c < 3; ++c) {
            seen[c] += visible * linear[texel[c]];
            all[c] += w * linear[texel[c]];
        }
        opacity += visible;
        weight += w;
    }
    void add(const Average& other, double scale) {
        for (int c = 0; c < 3; ++c) seen[c] += scale * other.seen[c], all[c] += scale * other.all[c];
        opacity += scale * other.opacity, weight += scale * other.weight;
    }
    // Where the faces' part of the texture is transparent throughout, its colours as they are.
    std::array<float, 4> rgba(bool alphaIsCoverage) const {
        if (!(weight > 0) || !std::isfinite(weight)) throw Unusable{"no face of the material has an area"};
        if (!alphaIsCoverage || !(opacity > 0)) return {encoded(all[0] / weight), encoded(all[1] / weight), encoded(all[2] / weight), 1};
        return {encoded(seen[0] / opacity), encoded(seen[1] / opacity), encoded(seen[2] / opacity), static_cast<float>(opacity / weight)};
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

// The texel at (u, v) with v up, as Assimp gives every format's coordinates (it turns glTF's,
// which count v down, round).
const uint8_t* texelAt(const Image& image, const Texture& texture, double u, double v) {
    const double s = wrapped(u, texture.modes[0]), t = 1 - wrapped(v, texture.modes[1]);
    const auto x = std::min(static_cast<uint32_t>(s * image.width), image.width - 1);
    const auto y = std::min(static_cast<uint32_t>(t * image.height), image.height - 1);
    return image.texel(x, y);
}

// A face's share of the texture, in texels; 0 when it is too large to be a number.
double texelArea(const Image& image, const aiVector3D& t0, const aiVector3D& t1, const aiVector3D& t2) {
    const double ax = (t1.x - t0.x) * double(image.width), ay = (t1.y - t0.y) * double(image.height);
    const double bx = (t2.x - t0.x) * double(image.width), by = (t2.y - t0.y) * double(image.height);
    const double area = 0.5 * std::abs(ax * by - ay * bx);
    return std::isfinite(area) ? area : 0;
}

// Reads the face's part of the texture at the centres of the k × k equal triangles it divides into.
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

bool finite(const aiVector3D& t) { return std::isfinite(t.x) && std::isfinite(t.y); }

// Calls visit(area, corners' texture coordinates) for each triangle, with its area as placed;
// the coordinates are null where the face has none (or none that are numbers).
template <class Visit>
void forEachFace(std::span<const MeshUse> uses, const Texture& texture, Visit&& visit) {
    for (const MeshUse& use : uses) {
        const aiMesh& mesh = *use.mesh;
        const bool mapped = texture.mapping == aiTextureMapping_UV && texture.channel < AI_MAX_NUMBER_OF_TEXTURECOORDS &&
                            mesh.HasTextureCoords(texture.channel);
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            const aiFace& face = mesh.mFaces[f];
            if (face.mNumIndices != 3 || std::any_of(face.mIndices, face.mIndices + 3, [&](unsigned i) { return i >= mesh.mNumVertices; }))
                continue;
            const aiVector3D a = use.world * mesh.mVertices[face.mIndices[0]], b = use.world * mesh.mVertices[face.mIndices[1]],
                             c = use.world * mesh.mVertices[face.mIndices[2]];
            const double area = 0.5 * double(((b - a) ^ (c - a)).Length());
            if (!(area > 0) || !std::isfinite(area)) continue;
            const aiVector3D* t[3] = {nullptr, nullptr, nullptr};
            if (mapped) {
                for (int k = 0; k < 3; ++k) t[k] = &mesh.mTextureCoords[texture.channel][face.mIndices[k]];
                if (!finite(*t[0]) || !finite(*t[1]) || !finite(*t[2])) t[0] = t[1] = t[2] = nullptr;
            }
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
    return sum.rgba(texture.alphaIsCoverage);
}

}  // namespace

TextureColours::TextureColours(const aiScene& scene, const std::filesystem::path& modelFolder, std::span<const MeshUse> uses)
    : averages_(scene.mNumMaterials) {
    std::vector<std::vector<MeshUse>> usesByMaterial(scene.mNumMaterials);
    for (const MeshUse& use : uses)
        if (use.mesh->mMaterialIndex < scene.mNumMaterials) usesByMaterial[use.mesh->mMaterialIndex].push_back(use);
    // Each image decoded once, however many materials share it (an atlas often serves them all).
    std::map<std::string, std::vector<std::pair<unsigned, Texture>>> materialsByImage;
    for (unsigned m = 0; m < scene.mNumMaterials; ++m)
        if (scene.mMaterials[m] != nullptr && !usesByMaterial[m].empty())
            if (std::optional<Texture> texture = diffuseTexture(*scene.mMaterials[m]))
                materialsByImage[texture->reference].emplace_back(m, std::move(*texture));
    const auto deadline = std::chrono::steady_clock::now() + kTimeForTextures;
    for (const auto& [reference, materials] : materialsByImage) {
        const auto note = [&](unsigned material, const Unusable& unusable) {
            std::fprintf(stderr, "celshade-import: material %u keeps its own colour: texture \"%s\": %s\n", material,
                         reference.c_str(), unusable.reason.c_str());
        };
        std::optional<Image> image;
        try {
            if (std::chrono::steady_clock::now() > deadline) throw Unusable{"the time for textures is up"};
            image = textureImage(scene, reference, modelFolder);
        } catch (const Unusable& unusable) {
            for (const auto& [material, texture] : materials) note(material, unusable);
            continue;
        }
        for (const auto& [material, texture] : materials) try {
                averages_[material] = averageOver(*image, texture, usesByMaterial[material]);
            } catch (const Unusable& unusable) {
                note(material, unusable);
            }
    }
}

std::array<float, 4> TextureColours::colourOf(unsigned material, const std::array<float, 4>& factor) const {
    if (material >= averages_.size() || !averages_[material]) return factor;
    const std::array<float, 4>& average = *averages_[material];
    return {factor[0] * average[0], factor[1] * average[1], factor[2] * average[2], factor[3] * average[3]};
}

}  // namespace importchild
