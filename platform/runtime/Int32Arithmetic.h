#pragma once
// 32-bit signed integer arithmetic as the classic runtime did it with Longs: a result that
// does not fit raises Overflow (6) instead of wrapping.

#include <cstdint>
#include <string_view>

namespace rt {

// The exact product a × b as a 32-bit signed integer; Overflow (6) with `detail` when it does
// not fit.
int32_t multiplyInt32(int64_t a, int64_t b, std::string_view detail);

}  // namespace rt
