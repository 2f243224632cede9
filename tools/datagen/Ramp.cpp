#include "Ramp.h"

#include <cstddef>

#include "Bytes.h"

namespace datagen {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kRowBytes = (kRampWidth * 3 + 3) / 4 * 4;

void headers(std::vector<uint8_t>& out) {
    const uint32_t pixelBytes = kRowBytes * kRampHeight;
    out.push_back('B');
    out.push_back('M');
    appendLE32(out, kFileHeaderSize + kInfoHeaderSize + pixelBytes);
    appendLE32(out, 0);  // reserved
    appendLE32(out, kFileHeaderSize + kInfoHeaderSize);
    appendLE32(out, kInfoHeaderSize);
    appendLE32(out, kRampWidth);
    appendLE32(out, kRampHeight);  // positive: rows stored bottom-up
    appendLE16(out, 1);            // planes
    appendLE16(out, 24);           // bits per pixel
    appendLE32(out, 0);            // BI_RGB
    appendLE32(out, pixelBytes);
    appendLE32(out, 2835);  // 72 dpi, in pixels per metre
    appendLE32(out, 2835);
    appendLE32(out, 0);  // palette colours
    appendLE32(out, 0);  // important colours
}

}  // namespace

const std::array<RampBand, 4>& rampBands() {
    static const std::array<RampBand, 4> bands{{{0x58, 0x50, 0x50}, {0x98, 0x90, 0x8C}, {0xCE, 0xC8, 0xC4},
                                                {0xFF, 0xFF, 0xFF}}};
    return bands;
}

std::vector<uint8_t> rampBitmap() {
    std::vector<uint8_t> out;
    headers(out);
    const auto& bands = rampBands();
    for (int y = 0; y < kRampHeight; ++y) {
        for (int x = 0; x < kRampWidth; ++x) {
            const RampBand& b = bands[static_cast<std::size_t>(x * 4 / kRampWidth)];
            out.push_back(b.b);  // BMP stores blue first
            out.push_back(b.g);
            out.push_back(b.r);
        }
        out.resize(out.size() + (kRowBytes - kRampWidth * 3), 0);
    }
    return out;
}

}  // namespace datagen
