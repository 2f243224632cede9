#pragma once
// The number and text of the rt::Error that a call raises: {0, ""} when it returns.

#include <cstdint>
#include <string>
#include <utility>

#include "runtime/Error.h"

namespace testsupport {

template <class F>
std::pair<int32_t, std::string> raised(F&& f) {
    try {
        f();
    } catch (const rt::Error& e) {
        return {e.number(), e.text()};
    }
    return {0, {}};
}

}  // namespace testsupport
