// The number reader of the threshold box on any text. It must never raise, must ignore
// blanks, tabs and line feeds wherever they stand, and must agree with a plain reading of
// the same rules: the longest prefix that is a number, handed to strtod; &H / &O integers
// summed exactly and given the classic 16- or 32-bit sign.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/Val.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isOneOf(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

int digitIn(char c, int base) {
    int v = isDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    return v < base ? v : -1;
}

// The decimal number at the start of `s` (blanks already removed), or nothing.
double plainDecimal(const std::string& s) {
    size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
    size_t digits = 0;
    for (; i < s.size() && isDigit(s[i]); ++i, ++digits) number += s[i];
    if (i < s.size() && s[i] == '.')
        for (number += s[i++]; i < s.size() && isDigit(s[i]); ++i, ++digits) number += s[i];
    if (digits == 0) return 0.0;
    if (i < s.size() && isOneOf(s[i], "EeDd")) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
        const size_t first = j;
        for (; j < s.size() && isDigit(s[j]); ++j) exponent += s[j];
        if (j > first) number += exponent;
    }
    // strtod gives infinity beyond the double range and a zero of the text's sign below it.
    return std::strtod(number.c_str(), nullptr);
}

// 1: `out` holds the value; 0: the integer has too many significant digits to sum exactly,
// so only its sign is known (non-negative).
int plainRadix(const std::string& s, double& out) {
    const int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
    uint64_t value = 0;
    size_t digits = 0;
    for (size_t i = 2; i < s.size() && digitIn(s[i], base) >= 0; ++i) {
        if (digits == 13) return 0;  // 16^13 = 2^52: below it every sum is exact in a double
        value = value * uint64_t(base) + uint64_t(digitIn(s[i], base));
        if (value != 0) ++digits;  // leading zeros add nothing
    }
    out = value <= 0xFFFF ? double(int16_t(uint16_t(value)))
          : value <= 0xFFFFFFFFu ? double(int32_t(uint32_t(value)))
                                 : double(value);
    return 1;
}

bool sameDouble(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double read = rt::val(text);
    std::string bare;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n') bare += c;
    if (!sameDouble(rt::val(bare), read)) __builtin_trap();  // blanks are skipped wherever they stand

    if (bare.size() >= 2 && bare[0] == '&' && isOneOf(bare[1], "HhOo")) {
        double expected = 0.0;
        if (plainRadix(bare, expected) == 1 ? !sameDouble(read, expected) : !(read >= 0.0)) __builtin_trap();
    } else if (!bare.empty() && bare[0] == '&') {
        if (!sameDouble(read, 0.0)) __builtin_trap();
    } else if (!sameDouble(read, plainDecimal(bare))) {
        __builtin_trap();
    }

    const float single = rt::toSingleSaturated(read);
    if (!std::isfinite(single)) __builtin_trap();
    if (std::fabs(read) <= 3.4028234663852886e38 && single != static_cast<float>(read)) __builtin_trap();
    return 0;
}
