#pragma once
// Dropping primitives that the alpha test would reject at every pixel. A primitive's pixel
// alphas are interpolated from its clamped vertex alphas, so they lie between the smallest
// and the largest of them; the test compares round(alpha * 255) with the reference's low
// byte. If no 8-bit level in that span passes, no pixel of the primitive can be drawn.

#include <array>
#include <cmath>
#include <cstdint>

// The 8-bit level the alpha test compares for an alpha of 0..1 (NaN and below 0 give 0).
inline uint32_t alphaLevel(float alpha) {
    if (!(alpha > 0.0f)) return 0;
    if (alpha >= 1.0f) return 255;
    return static_cast<uint32_t>(alpha * 255.0f + 0.5f);
}

// Which alpha spans can pass one comparison against one reference; built once per draw.
class AlphaPassTable {
public:
    AlphaPassTable(uint32_t func, uint32_t ref);

    // Whether some alpha in [minAlpha, maxAlpha] passes. Errs on the side of "can pass":
    // a margin covers the rounding of interpolation, and NaN spans are kept.
    bool canPass(float minAlpha, float maxAlpha) const {
        if (std::isnan(minAlpha) || std::isnan(maxAlpha)) return true;
        uint32_t low = alphaLevel(minAlpha - kInterpolationMargin);
        uint32_t high = alphaLevel(maxAlpha + kInterpolationMargin);
        return passingBelow_[high + 1] > passingBelow_[low];
    }

private:
    // Interpolated alphas may stray from the vertex span by float rounding; widening the
    // span by this much keeps every primitive that a pixel could pass for.
    static constexpr float kInterpolationMargin = 1.0f / 4096.0f;
    std::array<uint16_t, 257> passingBelow_{};  // passing levels below each level
};
