// Textured materials as the importer hands them back: the colours of the texture where the
// material's faces use it, weighted by the faces' areas, times the material's own colour; and
// a texture that cannot be had (missing, broken, huge, not a file, outside the model's folder)
// leaves the material its own colour without failing the import.

#include <sys/stat.h>

#include <QBuffer>
#include <QImage>

#include <array>
#include <cmath>
#include <vector>

#include "ImportFixtures.h"

namespace {

using Colour = std::array<float, 4>;

constexpr Colour kRed{1, 0, 0, 1}, kGreen{0, 1, 0, 1}, kBlue{0, 0, 1, 1};

// 2×2 texels: red (of alpha `redAlpha`) and green in the top row, blue and white below.
std::string quadrantsPng(int redAlpha = 255) {
    QImage image(2, 2, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 0, 0, redAlpha));
    image.setPixel(1, 0, qRgb(0, 255, 0));
    image.setPixel(0, 1, qRgb(0, 0, 255));
    image.setPixel(1, 1, qRgb(255, 255, 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// The start of a PNG file announcing width × height texels of RGBA, and nothing after it.
std::string pngHeader(uint32_t width, uint32_t height) {
    std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (uint32_t side : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) bytes += char(side >> shift);
    return bytes + std::string("\x08\x06\0\0\0\0\0\0\0", 9);
}

std::string base64(const std::string& bytes) { return QByteArray::fromStdString(bytes).toBase64().toStdString(); }

// A right triangle with legs of `size`, whose texture coordinates lie inside the quarter of the
// texture that starts at (u, v).
struct Face {
    float size, u, v;
};

// A glTF file of those faces, each at its own depth, in one material of base colour factor
// (1, 1, 0.5, 1) and the texture at `imageUri`.
std::string gltf(const std::vector<Face>& faces, const std::string& imageUri, const std::string& alphaMode = "OPAQUE") {
    std::vector<float> positions, coordinates;
    for (size_t i = 0; i < faces.size(); ++i) {
        const Face& f = faces[i];
        const float z = float(i);
        positions.insert(positions.end(), {0, 0, z, f.size, 0, z, 0, f.size, z});
        coordinates.insert(coordinates.end(), {f.u + 0.1f, f.v + 0.1f, f.u + 0.4f, f.v + 0.1f, f.u + 0.1f, f.v + 0.4f});
    }
    const size_t positionBytes = positions.size() * 4, coordinateBytes = coordinates.size() * 4;
    std::string buffer(reinterpret_cast<const char*>(positions.data()), positionBytes);
    buffer.append(reinterpret_cast<const char*>(coordinates.data()), coordinateBytes);
    const std::string count = std::to_string(3 * faces.size());
    return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],
"meshes":[{"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1},"material":0}]}],
"materials":[{"alphaMode":")" + alphaMode + R"(","pbrMetallicRoughness":{"baseColorTexture":{"index":0},"baseColorFactor":[1,1,0.5,1]}}],
"textures":[{"source":0}],"images":[{"uri":")" + imageUri + R"("}],
"buffers":[{"byteLength":)" + std::to_string(buffer.size()) + R"(,"uri":"data:application/octet-stream;base64,)" + base64(buffer) + R"("}],
"bufferViews":[{"buffer":0,"byteLength":)" + std::to_string(positionBytes) + R"(},{"buffer":0,"byteOffset":)" +
           std::to_string(positionBytes) + R"(,"byteLength":)" + std::to_string(coordinateBytes) + R"(}],
"accessors":[{"bufferView":0,"componentType":5126,"count":)" + count + R"(,"type":"VEC3","min":[0,0,0],"max":[1,1,)" +
           std::to_string(faces.size()) + R"(]},{"bufferView":1,"componentType":5126,"count":)" + count + R"(,"type":"VEC2"}]})";
}

class TextureColour : public importtest::ImportFixture {
protected:
    Colour colourOf(const std::string& model) {
        const modelimport::ImportedMesh mesh = modelimport::importModel(model);
        EXPECT_EQ(mesh.materials.size(), 1u);
        return mesh.materials.empty() ? Colour{} : mesh.materials[0].diffuse;
    }
};

void expectNear(const Colour& actual, const Colour& expected) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(actual[c], expected[c], 0.002) << "channel " << c;
}

Colour times(const Colour& a, const Colour& b) { return {a[0] * b[0], a[1] * b[1], a[2] * b[2], a[3] * b[3]}; }

// glTF counts v down the image; Assimp turns it up, and the texture must be read the same way.
TEST_F(TextureColour, IsTheTexturesWhereTheFacesUseItTimesTheFactor) {
    const Colour factor{1, 1, 0.5f, 1};
    const std::string embedded = "data:image/png;base64," + base64(quadrantsPng());
    const std::string transparentRed = "data:image/png;base64," + base64(quadrantsPng(0));
    file("my tex.png", quadrantsPng());
    struct Case {
        const char* what;
        std::vector<Face> faces;
        std::string imageUri, alphaMode;
        Colour expected;
    } cases[] = {
        {"top left", {{1, 0, 0}}, embedded, "OPAQUE", kRed},
        {"top right", {{1, 0.5f, 0}}, embedded, "OPAQUE", kGreen},
        {"bottom left", {{1, 0, 0.5f}}, embedded, "OPAQUE", kBlue},
        {"bottom right", {{1, 0.5f, 0.5f}}, embedded, "OPAQUE", {1, 1, 1, 1}},
        {"repeated outside 0..1", {{1, -1, 2}}, embedded, "OPAQUE", kRed},
        // Three times the area on red as on green: the average of light, not of sRGB values.
        {"weighted by area", {{1, 0, 0}, {std::sqrt(1 / 3.0f), 0.5f, 0}}, embedded, "OPAQUE", {0.8808f, 0.5371f, 0, 1}},
        {"external, escaped", {{1, 0.5f, 0}}, "my%20tex.png", "OPAQUE", kGreen},
        {"file URI", {{1, 0, 0.5f}}, "file://" + path("my%20tex.png"), "OPAQUE", kBlue},
        // Half on transparent red, half on green: both colours in an opaque material, only what
        // is there in a blended one.
        {"alpha ignored when opaque", {{1, 0, 0}, {1, 0.5f, 0}}, transparentRed, "OPAQUE", {0.7354f, 0.7354f, 0, 1}},
        {"alpha is coverage when blended", {{1, 0, 0}, {1, 0.5f, 0}}, transparentRed, "BLEND", {0, 1, 0, 0.5f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectNear(colourOf(file("model.gltf", gltf(c.faces, c.imageUri, c.alphaMode))), times(c.expected, factor));
    }
}

// OBJ counts v up; its map_Kd names a file beside the model, which lives in a folder of its
// own here, so that a file outside that folder can be named.
TEST_F(TextureColour, ATextureThatCannotBeHadLeavesTheMaterialsOwnColour) {
    const Colour kd{0.5f, 0.5f, 0.25f, 1};
    std::filesystem::create_directory(dir_ / "model");
    file("model/quad.png", quadrantsPng());
    file("outside.png", quadrantsPng());
    file("model/broken.png", quadrantsPng().substr(0, 60));
    file("model/huge.png", pngHeader(100000, 100000));
    file("model/large.png", pngHeader(9000, 9000));  // within what the decoder takes, not what the importer allows
    ASSERT_EQ(::mkfifo(path("model/fifo.png").c_str(), 0600), 0);
    std::filesystem::create_directory(dir_ / "model/folder.png");
    const struct {
        const char* texture;
        Colour expected;
    } cases[] = {
        {"quad.png", times(kBlue, kd)},
        {"C:\\Textures\\QUAD.PNG", times(kBlue, kd)},  // an author's path: the name, in any case, beside the model
        {"missing.png", kd},
        {"broken.png", kd},
        {"huge.png", kd},
        {"large.png", kd},
        {"fifo.png", kd},
        {"folder.png", kd},
        {"../outside.png", kd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texture);
        file("model/m.mtl", std::string("newmtl m\nKd 0.5 0.5 0.25\nmap_Kd ") + c.texture + "\n");
        const std::string model = file("model/m.obj", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.1 0.1\nvt 0.4 0.1\n"
                                                      "vt 0.1 0.4\nusemtl m\nf 1/1 2/2 3/3\n");
        expectNear(colourOf(model), c.expected);
    }
}

}  // namespace
