#include "Ramp.h"

#include <cstddef>

namespace datagen {
namespace {

void put16(std::vector<uint8_t>& v, uint16_t x) { v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8)}); }
void put32(std::vector<uint8_t>& v, uint32_t x) {
    v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), uint8_t(x >> 24)});
}

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kRowBytes = (kRampWidth * 3 + 3) / 4 * 4;

void headers(std::vector<uint8_t>& out) {
    const uint32_t pixelBytes = kRowBytes * kRampHeight;
    out.insert(out.end(), {'B', 'M'});
    put32(out, kFileHeaderSize + kInfoHeaderSize + pixelBytes);
    put32(out, 0);  // reserved
    put32(out, kFileHeaderSize + kInfoHeaderSize);
    put32(out, kInfoHeaderSize);
    put32(out, kRampWidth);
    put32(out, kRampHeight);  // positive: rows stored bottom-up
    put16(out, 1);            // planes
    put16(out, 24);           // bits per pixel
    put32(out, 0);            // BI_RGB
    put32(out, pixelBytes);
    put32(out, 2835);  // 72 dpi, in pixels per metre
    put32(out, 2835);
    put32(out, 0);  // palette colours
    put32(out, 0);  // important colours
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
            out.insert(out.end(), {b.b, b.g, b.r});  // BMP stores blue first
        }
        out.resize(out.size() + (kRowBytes - kRampWidth * 3), 0);
    }
    return out;
}

}  // namespace datagen
