#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <cstring>
#include <fstream>
#include <functional>

#include "../xfile/XFileFixtures.h"
#include "d3dx8/D3DX8.h"
#include "d3dx8/TextureImage.h"

namespace {

constexpr uint32_t kMagenta = 0xFFFF00FFu;

class TextureFiles : public ::testing::Test {
protected:
    // A width x height opaque image; texel (x, y) = 0xFF000000 | pixel(x, y).
    std::string saveImage(const char* name, int width, int height, const std::function<uint32_t(int, int)>& pixel) {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) image.setPixel(x, y, pixel(x, y) | 0xFF000000u);
        std::string file = dir_.filePath(name).toStdString();
        EXPECT_TRUE(image.save(QString::fromStdString(file)));
        return file;
    }

    std::string saveBytes(const char* name, const std::vector<unsigned char>& bytes) {
        std::string file = dir_.filePath(name).toStdString();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return file;
    }

    // Loads `file`, expecting `status` and a message naming the file and the reason.
    void expectFailure(const std::string& file, HRESULT status, const char* reason) {
        auto [number, text] = fixtures::raised([&] { d3dx_.CreateTextureFromFile(nullptr, file); });
        EXPECT_EQ(number, status) << file;
        EXPECT_NE(text.find(file), std::string::npos) << text;
        EXPECT_NE(text.find(reason), std::string::npos) << text;
    }

    QTemporaryDir dir_;
    D3DX8 d3dx_;
};

// Texel channels chosen so that a truncating average would differ from a rounding one in the
// first 2 x 2 block.
uint32_t gradient(int x, int y) {
    if (x < 2 && y < 2) return (x == 0 && y == 0) ? 0x010101u : 0x020202u;  // average 1.75 -> 2
    return uint32_t(x * 30) << 16 | uint32_t(y * 60) << 8 | 0x40u;
}

TEST_F(TextureFiles, PlainLoadTakesFileSizeOpaqueFormatManagedPoolAndFullBoxFilteredChain) {
    auto texture = d3dx_.CreateTextureFromFile(nullptr, saveImage("ramp.bmp", 8, 4, gradient));
    EXPECT_EQ(texture->format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(texture->pool(), D3DPOOL_MANAGED);
    ASSERT_EQ(texture->levelCount(), 4u);  // 8x4, 4x2, 2x1, 1x1
    EXPECT_EQ(texture->level(2).width, 2u);
    EXPECT_EQ(texture->level(3).height, 1u);
    EXPECT_EQ(texture->level(0).texels[1 * 8 + 5], 0xFF000000u | gradient(5, 1));
    EXPECT_EQ(texture->level(1).texels[0], 0xFF020202u);
    // Level 1 (2, 1) averages level-0 texels (4..5, 2..3).
    uint32_t red = (120 + 150 + 120 + 150 + 2) / 4, green = (120 + 120 + 180 + 180 + 2) / 4;
    EXPECT_EQ(texture->level(1).texels[1 * 4 + 2], 0xFF000040u | red << 16 | green << 8);
}

TEST_F(TextureFiles, ColourKeyMakesMatchingTexelsTransparentBlackAndGivesAlphaFormat) {
    auto file = saveImage("keyed.bmp", 4, 4, [](int x, int y) { return (x + y) % 2 ? 0xFF00FFu : 0x808080u; });
    auto loadEx = [&](D3DCOLOR key) {
        return d3dx_.CreateTextureFromFileEx(nullptr, file, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT,
                                             D3DX_FILTER_LINEAR, D3DX_FILTER_LINEAR, key, nullptr, nullptr);
    };
    auto keyed = loadEx(kMagenta);
    EXPECT_EQ(keyed->format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(keyed->levelCount(), 3u);
    EXPECT_EQ(keyed->level(0).texels[0], 0xFF808080u);
    EXPECT_EQ(keyed->level(0).texels[1], 0u);
    EXPECT_EQ(keyed->level(1).texels[0], 0x80404040u);  // half of every 2 x 2 block keyed out
    auto unkeyed = loadEx(0);
    EXPECT_EQ(unkeyed->format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(unkeyed->level(0).texels[1], kMagenta);
}

// TGA has no signature: content sniffing mistakes it for another format, so the suffix has
// to pick the decoder.
TEST_F(TextureFiles, TgaIsFoundThroughItsSuffix) {
    std::vector<unsigned char> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0x20};
    for (unsigned char b : {0x10, 0x20, 0x30, 0x40, 0x50, 0x60}) tga.push_back(b);  // BGR BGR
    const char footer[] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";
    tga.insert(tga.end(), footer, footer + sizeof footer);
    auto texture = d3dx_.CreateTextureFromFile(nullptr, saveBytes("ramp.tga", tga));
    EXPECT_EQ(texture->format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(texture->level(0).texels, (std::vector<uint32_t>{0xFF302010u, 0xFF605040u}));
}

TEST(MipFilter, OddSidesHalveDownToOneDroppingTheLastColumn) {
    Direct3DTexture8::Level wide{3, 1, {0xFF000000u, 0xFF0000FEu, 0xFFFFFFFFu}};
    auto half = downsampleLevel(wide, D3DX_FILTER_BOX);
    EXPECT_EQ(half.width, 1u);
    EXPECT_EQ(half.texels, std::vector<uint32_t>{0xFF00007Fu});
    EXPECT_EQ(downsampleLevel(wide, D3DX_FILTER_POINT).texels, std::vector<uint32_t>{0xFF000000u});
    Direct3DTexture8::Level tall{1, 5, std::vector<uint32_t>(5, 0xFF204060u)};
    EXPECT_EQ(downsampleLevel(tall, D3DX_FILTER_BOX).height, 2u);
}

// A BMP header claiming 100000 x 100000 pixels must be refused from the header, not by
// attempting a 40 GB allocation.
TEST_F(TextureFiles, UnreadableInputsRaiseStatusesNamingTheFileAndReason) {
    expectFailure(saveBytes("garbage.bmp", {'n', 'o', 't', ' ', 'a', 'n'}), D3DXERR_INVALIDDATA, "not an image");
    expectFailure(dir_.filePath("absent.bmp").toStdString(), D3DERR_NOTFOUND, "file not found");
    expectFailure(dir_.path().toStdString(), D3DERR_NOTFOUND, "");
    std::vector<unsigned char> bmp(54 + 4, 0);
    bmp[0] = 'B', bmp[1] = 'M';
    // file size, pixel offset, info size, width, height, planes, bits per pixel
    for (auto [at, value] : {std::pair<size_t, uint32_t>{2, 58}, {10, 54}, {14, 40}, {18, 100000}, {22, 100000},
                             {26, 1}, {28, 24}})
        std::memcpy(&bmp[at], &value, 4);
    expectFailure(saveBytes("huge.bmp", bmp), D3DXERR_INVALIDDATA, "out of range");
}

}  // namespace
