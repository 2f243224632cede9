#include "runtime/Rounding.h"

#include <cmath>
#include <limits>

#include "runtime/Error.h"

namespace rt {

namespace {

// Round half to even without depending on the current floating-point rounding mode.
double roundHalfEven(double value) {
    double floor = std::floor(value);
    double diff = value - floor;
    if (diff > 0.5) return floor + 1.0;
    if (diff < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

}  // namespace

int32_t roundToInt32(double value) {
    if (std::isnan(value)) raiseRuntime(errc::Overflow);
    const double r = roundHalfEven(value);
    if (r < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        r > static_cast<double>(std::numeric_limits<int32_t>::max()))
        raiseRuntime(errc::Overflow);
    return static_cast<int32_t>(r);
}

float toSingle(double value) {
    float f = static_cast<float>(value);
    if (!std::isfinite(f)) raiseRuntime(errc::Overflow);
    return f;
}

}  // namespace rt
