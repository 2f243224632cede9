#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <cstring>
#include <fstream>
#include <functional>

#include "d3dx8/D3DX8.h"
#include "d3dx8/TextureImage.h"
#include "runtime/Error.h"

namespace {

constexpr uint32_t kMagenta = 0xFFFF00FFu;

class TextureFiles : public ::testing::Test {
protected:
    std::string path(const char* name) const { return dir_.filePath(name).toStdString(); }

    // A width x height opaque image; texel (x, y) = 0xFF000000 | pixel(x, y).
    std::string saveImage(const char* name, int width, int height,
                          const std::function<uint32_t(int, int)>& pixel, bool alpha = false) {
        QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) image.setPixel(x, y, pixel(x, y) | (alpha ? 0 : 0xFF000000u));
        std::string file = path(name);
        EXPECT_TRUE(image.save(QString::fromStdString(file)));
        return file;
    }

    std::string saveBytes(const char* name, const std::vector<unsigned char>& bytes) {
        std::string file = path(name);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return file;
    }

    rt::Error loadError(const std::string& file) {
        try {
            d3dx_.CreateTextureFromFile(nullptr, file);
        } catch (const rt::Error& e) {
            return e;
        }
        ADD_FAILURE() << "loading " << file << " did not fail";
        return rt::Error(0, "");
    }

    QTemporaryDir dir_;
    D3DX8 d3dx_;
};

// A 24-bit BMP 8 x 4: texel channels chosen so that a truncating average would differ from
// a rounding one in the first 2 x 2 block.
uint32_t gradient(int x, int y) {
    if (x < 2 && y < 2) return (x == 0 && y == 0) ? 0x010101u : 0x020202u;  // average 1.75 -> 2
    return uint32_t(x * 30) << 16 | uint32_t(y * 60) << 8 | 0x40u;
}

TEST_F(TextureFiles, PlainLoadTakesFileSizeOpaqueFormatManagedPoolAndFullBoxFilteredChain) {
    auto texture = d3dx_.CreateTextureFromFile(nullptr, saveImage("ramp.bmp", 8, 4, gradient));
    EXPECT_EQ(texture->format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(texture->pool(), D3DPOOL_MANAGED);
    ASSERT_EQ(texture->levelCount(), 4u);
    const uint32_t sizes[4][2] = {{8, 4}, {4, 2}, {2, 1}, {1, 1}};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(texture->level(i).width, sizes[i][0]);
        EXPECT_EQ(texture->level(i).height, sizes[i][1]);
    }
    const auto& top = texture->level(0);
    EXPECT_EQ(top.texels[1 * 8 + 5], 0xFF000000u | gradient(5, 1));
    EXPECT_EQ(texture->level(1).texels[0], 0xFF020202u);
    // Level 1 (2, 1) averages level-0 texels (4..5, 2..3).
    uint32_t red = (120 + 150 + 120 + 150 + 2) / 4, green = (120 + 120 + 180 + 180 + 2) / 4;
    EXPECT_EQ(texture->level(1).texels[1 * 4 + 2], 0xFF000040u | red << 16 | green << 8);
}

TEST_F(TextureFiles, ColourKeyMakesMatchingTexelsTransparentBlackAndGivesAlphaFormat) {
    auto file = saveImage("keyed.bmp", 4, 4, [](int x, int y) { return (x + y) % 2 ? 0xFF00FFu : 0x808080u; });
    auto keyed = d3dx_.CreateTextureFromFileEx(nullptr, file, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN,
                                               D3DPOOL_DEFAULT, D3DX_FILTER_LINEAR, D3DX_FILTER_LINEAR,
                                               kMagenta, nullptr, nullptr);
    EXPECT_EQ(keyed->format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(keyed->pool(), D3DPOOL_DEFAULT);
    EXPECT_EQ(keyed->levelCount(), 3u);
    EXPECT_EQ(keyed->level(0).texels[0], 0xFF808080u);
    EXPECT_EQ(keyed->level(0).texels[1], 0u);
    // Half of every 2 x 2 block is keyed out: grey at half alpha.
    EXPECT_EQ(keyed->level(1).texels[0], 0x80404040u);

    auto unkeyed = d3dx_.CreateTextureFromFileEx(nullptr, file, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN,
                                                 D3DPOOL_DEFAULT, D3DX_FILTER_LINEAR, D3DX_FILTER_LINEAR, 0,
                                                 nullptr, nullptr);
    EXPECT_EQ(unkeyed->format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(unkeyed->levelCount(), 3u);
    EXPECT_EQ(unkeyed->level(0).texels[1], kMagenta);
}

TEST_F(TextureFiles, PngAlphaIsKeptAndSelectsAlphaFormat) {
    auto file = saveImage("alpha.png", 2, 2, [](int x, int) { return x ? 0x80FF0000u : 0xFF00FF00u; }, true);
    D3DXIMAGE_INFO info{};
    auto texture = d3dx_.CreateTextureFromFileEx(nullptr, file, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                                                 D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, nullptr);
    EXPECT_EQ(texture->format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(texture->levelCount(), 1u);
    EXPECT_EQ(texture->level(0).texels[1], 0x80FF0000u);
    EXPECT_EQ(info.Width, 2u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
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

TEST_F(TextureFiles, ExplicitSizeResamplesAndOddSidesHalveDownToOne) {
    auto file = saveImage("flat.bmp", 4, 4, [](int, int) { return 0x204060u; });
    auto texture = d3dx_.CreateTextureFromFileEx(nullptr, file, 5, 3, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
                                                 D3DX_FILTER_POINT, D3DX_FILTER_BOX, 0, nullptr, nullptr);
    ASSERT_EQ(texture->levelCount(), 3u);
    EXPECT_EQ(texture->level(1).width, 2u);
    EXPECT_EQ(texture->level(1).height, 1u);
    EXPECT_EQ(texture->level(2).texels, std::vector<uint32_t>{0xFF204060u});
}

TEST(MipFilter, OddLastColumnIsDroppedAndSingleRowsAverageAlongOneAxis) {
    Direct3DTexture8::Level wide{3, 1, {0xFF000000u, 0xFF0000FEu, 0xFFFFFFFFu}};
    auto half = downsampleLevel(wide, D3DX_FILTER_BOX);
    EXPECT_EQ(half.width, 1u);
    EXPECT_EQ(half.texels, std::vector<uint32_t>{0xFF00007Fu});
    EXPECT_EQ(downsampleLevel(wide, D3DX_FILTER_POINT).texels, std::vector<uint32_t>{0xFF000000u});
}

TEST_F(TextureFiles, UnreadableInputsRaiseStatusesNamingTheFileAndReason) {
    auto garbage = saveBytes("garbage.bmp", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    rt::Error bad = loadError(garbage);
    EXPECT_EQ(bad.number(), D3DXERR_INVALIDDATA);
    EXPECT_NE(bad.text().find(garbage), std::string::npos) << bad.text();
    EXPECT_NE(bad.text().find("not an image"), std::string::npos) << bad.text();

    rt::Error missing = loadError(path("absent.bmp"));
    EXPECT_EQ(missing.number(), D3DERR_NOTFOUND);
    EXPECT_NE(missing.text().find("absent.bmp': file not found"), std::string::npos) << missing.text();

    rt::Error directory = loadError(dir_.path().toStdString());
    EXPECT_EQ(directory.number(), D3DERR_NOTFOUND);
}

// A BMP header claiming 100000 x 100000 pixels must be refused from the header, not by
// attempting a 40 GB allocation.
TEST_F(TextureFiles, HugeDeclaredSizeIsRefusedBeforeDecoding) {
    std::vector<unsigned char> bmp(54 + 4, 0);
    auto put32 = [&](std::size_t at, uint32_t v) { std::memcpy(&bmp[at], &v, 4); };
    bmp[0] = 'B', bmp[1] = 'M';
    put32(2, uint32_t(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, 100000);
    put32(22, 100000);
    bmp[26] = 1, bmp[28] = 24;
    rt::Error e = loadError(saveBytes("huge.bmp", bmp));
    EXPECT_EQ(e.number(), D3DXERR_INVALIDDATA);
    EXPECT_NE(e.text().find("huge.bmp"), std::string::npos) << e.text();
    EXPECT_NE(e.text().find("out of range"), std::string::npos) << e.text();
}

}  // namespace
