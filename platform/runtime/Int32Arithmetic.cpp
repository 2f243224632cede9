#include "runtime/Int32Arithmetic.h"

#include "runtime/Error.h"

namespace rt {

int32_t multiplyInt32(int64_t a, int64_t b, std::string_view detail) {
    int32_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) raiseRuntime(errc::Overflow, detail);
    return product;
}

}  // namespace rt
