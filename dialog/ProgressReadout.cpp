#include "dialog/ProgressReadout.h"

#include <cmath>

#include "runtime/Error.h"
#include "runtime/Int32Arithmetic.h"

namespace dialog {

std::string progressReadout(int32_t edgeProgress, int32_t numFaces) {
    const int32_t percentTimesFaces = rt::multiplyInt32(edgeProgress, 100, "progress readout");
    if (numFaces == 0) rt::raiseRuntime(rt::errc::DivisionByZero, "progress readout");
    const double share = static_cast<double>(percentTimesFaces) / static_cast<double>(numFaces);
    // |share| <= 2^31, so its floor fits in 64 bits and prints without exponent or point.
    return std::to_string(static_cast<int64_t>(std::floor(share))) + "%";
}

}  // namespace dialog
