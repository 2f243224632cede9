// Image files as the texture loader reads them: the textures it makes of good ones; a file it
// cannot read, or one cut short of what its header announces, is refused naming the file and
// the reason.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "d3dx8/D3DX8.h"
#include "d3dx8/TextureImage.h"
#include "support/Raised.h"

namespace {

class TextureFiles : public ::testing::Test {
protected:
    std::string saveBytes(const char* name, const std::vector<unsigned char>& bytes) {
        std::string file = dir_.filePath(name).toStdString();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return file;
    }

    // Loads `file`, expecting `status` and a message naming the file and the reason.
    void expectFailure(const std::string& file, HRESULT status, const char* reason) {
        auto [number, text] = testsupport::raised([&] { d3dx_.CreateTextureFromFile(nullptr, file); });
        EXPECT_EQ(number, status) << file;
        EXPECT_NE(text.find(file), std::string::npos) << text;
        EXPECT_NE(text.find(reason), std::string::npos) << text;
    }

    QTemporaryDir dir_;
    D3DX8 d3dx_;
};

uint32_t gradient(int x, int y) { return uint32_t(x * 30) << 16 | uint32_t(y * 60) << 8 | 0x40u; }

// Little-endian fields written into a zeroed header.
std::vector<unsigned char> header(size_t size, std::initializer_list<std::pair<size_t, uint32_t>> fields, int width = 4) {
    std::vector<unsigned char> bytes(size, 0);
    for (auto [at, value] : fields) std::memcpy(&bytes[at], &value, size_t(width));
    return bytes;
}

// A BMP file header and 40-byte info header: width, height, bits per pixel, compression.
std::vector<unsigned char> bmpHeader(int32_t width, int32_t height, uint32_t bits, uint32_t compression = 0,
                                     uint32_t colours = 0) {
    auto bmp = header(54, {{10, 54 + colours * 4}, {14, 40}, {18, uint32_t(width)}, {22, uint32_t(height)},
                           {26, 1 | bits << 16}, {30, compression}, {46, colours}});
    bmp[0] = 'B', bmp[1] = 'M';
    return bmp;
}

std::vector<unsigned char> tgaHeader(uint8_t type, uint16_t width, uint16_t height, uint8_t bits) {
    auto tga = header(18, {{12, width}, {14, height}}, 2);
    tga[2] = type, tga[16] = bits, tga[17] = 0x20;  // top-left origin
    return tga;
}

// The version 2 footer the TGA decoder requires.
const std::vector<unsigned char> kTgaFooter = [] {
    const char footer[] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";
    return std::vector<unsigned char>(footer, footer + sizeof footer);
}();

// An uncompressed 24-bit TGA with its footer; `pixels` are blue, green, red bytes.
std::vector<unsigned char> tgaFile(uint16_t width, uint16_t height, const std::vector<unsigned char>& pixels) {
    // Sized first and copied into: GCC 12 at -O3 warns falsely about inserting into the header.
    std::vector<unsigned char> tga = tgaHeader(2, width, height, 24);
    const std::size_t headerSize = tga.size();
    tga.resize(headerSize + pixels.size() + kTgaFooter.size());
    std::copy(pixels.begin(), pixels.end(), tga.begin() + static_cast<std::ptrdiff_t>(headerSize));
    std::copy(kTgaFooter.begin(), kTgaFooter.end(), tga.end() - static_cast<std::ptrdiff_t>(kTgaFooter.size()));
    return tga;
}

std::vector<unsigned char> encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return {bytes.begin(), bytes.end()};
}

// A plain load takes the file's size, an opaque format, the managed pool and a full chain of
// box-filtered levels, rounded (the first 2 x 2 block averages 1.75 to 2; an odd side drops
// its last column). A colour key makes its texels transparent black and gives a format with
// alpha. A TGA, which has no signature, is found through its suffix.
TEST_F(TextureFiles, LoadsABoxFilteredChainKeysOutItsColourAndFindsTgaByItsSuffix) {
    QImage image(8, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) image.setPixel(x, y, 0xFF000000u | (x < 2 && y < 2 ? (x + y ? 0x020202u : 0x010101u) : gradient(x, y)));
    auto plain = d3dx_.CreateTextureFromFile(nullptr, saveBytes("ramp.bmp", encoded(image, "BMP")));
    EXPECT_EQ(plain->format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(plain->pool(), D3DPOOL_MANAGED);
    ASSERT_EQ(plain->levelCount(), 4u);  // 8x4, 4x2, 2x1, 1x1
    EXPECT_EQ(plain->level(1).texels[0], 0xFF020202u);
    const uint32_t red = (120 + 150 + 120 + 150 + 2) / 4, green = (120 + 120 + 180 + 180 + 2) / 4;
    EXPECT_EQ(plain->level(1).texels[1 * 4 + 2], 0xFF000040u | red << 16 | green << 8);  // level 0's (4..5, 2..3)
    const Direct3DTexture8::Level odd{3, 1, {0xFF000000u, 0xFF0000FEu, 0xFFFFFFFFu}};
    EXPECT_EQ(downsampleLevel(odd, D3DX_FILTER_BOX).texels, std::vector<uint32_t>{0xFF00007Fu});
    EXPECT_EQ(downsampleLevel(odd, D3DX_FILTER_POINT).texels, std::vector<uint32_t>{0xFF000000u});

    QImage checker(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) checker.setPixel(x, y, (x + y) % 2 ? 0xFFFF00FFu : 0xFF808080u);
    const std::string keyed = saveBytes("keyed.bmp", encoded(checker, "BMP"));
    auto loadEx = [&](D3DCOLOR key) {
        return d3dx_.CreateTextureFromFileEx(nullptr, keyed, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT,
                                             D3DX_FILTER_LINEAR, D3DX_FILTER_LINEAR, key, nullptr, nullptr);
    };
    auto withKey = loadEx(0xFFFF00FFu), withoutKey = loadEx(0);
    EXPECT_EQ(withKey->format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(withKey->level(0).texels[1], 0u);
    EXPECT_EQ(withKey->level(1).texels[0], 0x80404040u);  // half of every 2 x 2 block keyed out
    EXPECT_EQ(withoutKey->format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(withoutKey->level(0).texels[1], 0xFFFF00FFu);

    auto tga = d3dx_.CreateTextureFromFile(nullptr, saveBytes("ramp.tga", tgaFile(2, 1, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60})));
    EXPECT_EQ(tga->level(0).texels, (std::vector<uint32_t>{0xFF302010u, 0xFF605040u}));
}

// A file that is missing or not a regular file is the program's data fault, tested end to end
// (tests/e2e: EveryFileTheProgramReads). A size beyond the limit is refused from the header,
// before the decoder runs: the files that declare one have no pixel data to decode.
TEST_F(TextureFiles, UnreadableInputsRaiseStatusesNamingTheFileAndReason) {
    // A size the caller asks for is refused before the file is looked for.
    const auto [number, text] = testsupport::raised([&] {
        d3dx_.CreateTextureFromFileEx(nullptr, "absent.bmp", kMaxImageSide + 1, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN,
                                      D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr);
    });
    EXPECT_EQ(number, D3DERR_INVALIDCALL) << text;
    QImage tall(1, 16385, QImage::Format_Grayscale8);
    tall.fill(0);
    std::vector<unsigned char> pngSignatureAndHeader = encoded(tall, "PNG");
    pngSignatureAndHeader.resize(8 + 25);  // the signature and the header chunk: no pixel data
    std::vector<unsigned char> wideJpeg = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0x4E, 0x21, 1, 1, 0x11, 0};
    // 49,152 colour-map entries of 0 bits: the decoder spent seconds on this header.
    std::vector<unsigned char> zeroBitMap = tgaHeader(2, 6, 2, 32);
    zeroBitMap[1] = 1, zeroBitMap[6] = 0xC0, zeroBitMap[7] = 0;
    const struct {
        const char* name;
        std::vector<unsigned char> bytes;
        const char* reason;
    } cases[] = {
        {"garbage.bmp", {'n', 'o', 't', ' ', 'a', 'n'}, "not an image"}, {"empty.png", {}, "empty"},
        {"picture.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'}, "not an image in a known format"},
        {"huge.bmp", bmpHeader(100000, 100000, 24), "out of range"}, {"no-width.bmp", bmpHeader(0, 8, 24), "out of range"},
        {"negative-width.bmp", bmpHeader(-8, 8, 24), "out of range"},
        {"lowest-height.bmp", bmpHeader(8, INT32_MIN, 24), "out of range"},
        {"too-many-texels.bmp", bmpHeader(16384, 1025, 8), "out of range"},
        {"wide.jpg", wideJpeg, "out of range"}, {"tall.png", pngSignatureAndHeader, "out of range"},
        {"jpeg-in.bmp", bmpHeader(8, 8, 24, 4), "compression 4 is not supported"},
        {"rle.tga", tgaHeader(10, 2, 2, 24), "not supported"},
        {"zero-bit-colour-map.tga", zeroBitMap, "colour map of 0-bit entries is not supported"},
    };
    for (const auto& c : cases) expectFailure(saveBytes(c.name, c.bytes), D3DXERR_INVALIDDATA, c.reason);
    {
        // A file that cannot be opened (no descriptor left): the reason is the system call's. Last,
        // so that the sanitizers' runtime has seen an error before no descriptor is left to it.
        const std::string image = saveBytes("image.bmp", encoded(QImage(2, 2, QImage::Format_RGB32), "BMP"));
        rlimit saved{};
        getrlimit(RLIMIT_NOFILE, &saved);
        rlimit few = saved;
        few.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
        setrlimit(RLIMIT_NOFILE, &few);
        std::vector<int> taken;
        for (int fd; (fd = dup(0)) >= 0;) taken.push_back(fd);
        const auto [status, message] = testsupport::raised([&] { d3dx_.CreateTextureFromFile(nullptr, image); });
        for (int fd : taken) close(fd);
        setrlimit(RLIMIT_NOFILE, &saved);
        EXPECT_EQ(status, D3DERR_NOTFOUND) << message;
        EXPECT_NE(message.find(std::strerror(EMFILE)), std::string::npos) << message;
    }
}

// Whole, each file loads; cut short of what its header announces, it is refused naming the
// file, never decoded in part (the decoders fill missing bitmap rows with black and a cut
// JPEG scan with grey, and report success).
TEST_F(TextureFiles, AFileEndingBeforeWhatItsHeaderAnnouncesIsRefused) {
    QImage image(20, 12, QImage::Format_RGB32);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) image.setPixel(x, y, gradient(x, y) | 0xFF000000u);
    std::ifstream rampFile(CELSHADE_SOURCE_DIR "/data/banda2.bmp", std::ios::binary);
    std::vector<unsigned char> ramp{std::istreambuf_iterator<char>(rampFile), {}};
    // RLE8, 4 x 2: a run of four, end of line, four literal pixels, end of bitmap.
    std::vector<unsigned char> rle = bmpHeader(4, 2, 8, 1, 2);
    rle.insert(rle.end(), {0, 0, 0, 0, 255, 255, 255, 0, 4, 1, 0, 0, 0, 4, 0, 1, 0, 1, 0, 1});
    std::vector<unsigned char> pixels(3 * 2 * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 14);
    const std::vector<unsigned char> tga = tgaFile(3, 2, pixels);
    const struct {
        const char* name;
        std::vector<unsigned char> whole;
        std::vector<unsigned char> cut;  // besides the cuts at a third and at one byte short
    } cases[] = {
        {"banda2.bmp", ramp, {}},
        {"palette.bmp", encoded(image.convertToFormat(QImage::Format_Indexed8), "BMP"), {}},
        {"rle.bmp", rle, std::vector<unsigned char>(rle.begin(), rle.end() - 2)},  // no end-of-bitmap code
        {"ramp.png", encoded(image, "PNG"), {}},
        {"ramp.jpg", encoded(image, "JPEG"), {}},
        {"ramp.tga", tga, [&] {  // the footer kept, a pixel lost
             std::vector<unsigned char> t(tga.begin(), tga.end() - long(kTgaFooter.size()) - 3);
             t.insert(t.end(), kTgaFooter.begin(), kTgaFooter.end());
             return t;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ArgbImage whole = readImageFile(saveBytes(c.name, c.whole));
        EXPECT_EQ(whole.texels.size(), size_t{whole.width} * whole.height);
        const auto cut = [&](size_t size) { return std::vector<unsigned char>(c.whole.begin(), c.whole.begin() + long(size)); };
        expectFailure(saveBytes(c.name, cut(c.whole.size() / 3)), D3DXERR_INVALIDDATA, "truncated");
        // One byte short may only break a TGA's footer, which the decoder then refuses.
        expectFailure(saveBytes(c.name, cut(c.whole.size() - 1)), D3DXERR_INVALIDDATA, "");
        if (!c.cut.empty()) expectFailure(saveBytes(c.name, c.cut), D3DXERR_INVALIDDATA, "truncated");
    }
}

}  // namespace
