#pragma once
// The toon ramp: a 24-bit BMP whose columns step from shadow to highlight in a few flat bands;
// the cel pass picks a column by the lighting term, so u = 0 is the darkest band.

#include <array>
#include <cstdint>
#include <vector>

namespace datagen {

struct RampBand {
    uint8_t r, g, b;
};

inline constexpr int kRampWidth = 64;
inline constexpr int kRampHeight = 8;

// Four bands of equal width, dark to light, a touch warm so shadows do not look dead.
const std::array<RampBand, 4>& rampBands();

std::vector<uint8_t> rampBitmap();

}  // namespace datagen
