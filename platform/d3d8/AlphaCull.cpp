#include "d3d8/AlphaCull.h"

#include <algorithm>
#include <cmath>

#include "d3d8/d3d8types.h"

namespace {
// Interpolated alphas may stray from the vertex span by float rounding; widening the span
// by this much keeps every primitive that a pixel could pass for.
constexpr float kInterpolationMargin = 1.0f / 4096.0f;
}  // namespace

uint32_t alphaLevel(float alpha) {
    if (!(alpha > 0.0f)) return 0;  // NaN too
    return static_cast<uint32_t>(std::floor(std::clamp(alpha, 0.0f, 1.0f) * 255.0f + 0.5f));
}

bool alphaTestCanPass(uint32_t func, uint32_t ref, float minAlpha, float maxAlpha) {
    if (std::isnan(minAlpha) || std::isnan(maxAlpha)) return true;
    const uint32_t low = alphaLevel(minAlpha - kInterpolationMargin);
    const uint32_t high = alphaLevel(maxAlpha + kInterpolationMargin);
    ref &= 0xFF;
    switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return low < ref;
    case D3DCMP_EQUAL: return low <= ref && ref <= high;
    case D3DCMP_LESSEQUAL: return low <= ref;
    case D3DCMP_GREATER: return high > ref;
    case D3DCMP_NOTEQUAL: return !(low == ref && high == ref);
    case D3DCMP_GREATEREQUAL: return high >= ref;
    default: return true;
    }
}
