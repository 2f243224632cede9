#pragma once
// Dropping primitives that the alpha test would reject at every pixel. A primitive's pixel
// alphas are interpolated from its clamped vertex alphas, so they lie between the smallest
// and the largest of them; the test compares round(alpha * 255) with the reference's low
// byte. If no 8-bit level in that span passes, no pixel of the primitive can be drawn.

#include <cstdint>

// Whether some alpha in [minAlpha, maxAlpha] (each within 0..1) passes `func` (D3DCMP_*)
// against `ref`. Errs on the side of "can pass": a margin covers interpolation rounding.
bool alphaTestCanPass(uint32_t func, uint32_t ref, float minAlpha, float maxAlpha);

// The 8-bit level the alpha test compares for an alpha of 0..1.
uint32_t alphaLevel(float alpha);
