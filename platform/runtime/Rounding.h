#pragma once
// Conversions from floating point to integer as the classic runtime made them: to the
// nearest integer, ties to the even one, and an Overflow error (6) when the result does not
// fit (NaN included).

#include <cstdint>

namespace rt {

int32_t roundToInt32(double value);

// A double stored into a 32-bit float: Overflow (6) when it is not finite or beyond the float range.
float toSingle(double value);

}  // namespace rt
