#include "runtime/Val.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace rt {

namespace {

bool isSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Walks the text one readable character at a time, stepping over the blanks, tabs and line
// feeds that the reader ignores wherever they stand.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) { skipBlanks(); }

    // The current character, or '\0' past the end (never part of a number).
    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void advance() {
        ++pos_;
        skipBlanks();
    }

private:
    void skipBlanks() {
        while (pos_ < text_.size() && isSkipped(text_[pos_])) ++pos_;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

// A decimal number copied into the plain form std::from_chars reads ("-12.5e-3"), plus the
// decimal order of its leading significant digit, which tells an overflow from an underflow
// when the value lies outside the double range.
struct DecimalText {
    std::string text;
    int64_t order = 0;
    bool significant = false;  // a non-zero digit was seen in the mantissa
};

// Exponents are only needed to tell huge from tiny; past this they all mean the same.
constexpr int64_t kExponentCap = 1'000'000;

void readSign(Cursor& c, std::string& out) {
    if (c.peek() == '+' || c.peek() == '-') {
        if (c.peek() == '-') out += '-';
        c.advance();
    }
}

void readIntegerPart(Cursor& c, DecimalText& d) {
    for (; isDecimalDigit(c.peek()); c.advance()) {
        if (c.peek() != '0') d.significant = true;
        if (d.significant) ++d.order;
        d.text += c.peek();
    }
}

void readFraction(Cursor& c, DecimalText& d) {
    if (c.peek() != '.') return;
    d.text += '.';
    c.advance();
    for (; isDecimalDigit(c.peek()); c.advance()) {
        if (!d.significant) {
            if (c.peek() == '0') --d.order;
            else d.significant = true;
        }
        d.text += c.peek();
    }
}

// "E" or "D", an optional sign and at least one digit; anything less is not an exponent and
// ends the number before the letter.
void readExponent(Cursor& c, DecimalText& d) {
    if (upper(c.peek()) != 'E' && upper(c.peek()) != 'D') return;
    const size_t mantissaLength = d.text.size();
    d.text += 'e';
    c.advance();
    const bool negative = c.peek() == '-';
    readSign(c, d.text);
    int64_t exponent = 0;
    bool anyDigit = false;
    for (; isDecimalDigit(c.peek()); c.advance()) {
        anyDigit = true;
        exponent = std::min(exponent * 10 + (c.peek() - '0'), kExponentCap);
        d.text += c.peek();
    }
    if (!anyDigit) {
        d.text.resize(mantissaLength);
        return;
    }
    d.order += negative ? -exponent : exponent;
}

double readDecimal(Cursor& c) {
    DecimalText d;
    readSign(c, d.text);
    readIntegerPart(c, d);
    readFraction(c, d);
    const bool hasDigit = d.text.find_first_of("0123456789") != std::string::npos;
    if (!hasDigit) return 0.0;  // "", "-", ".", "-." and the like
    readExponent(c, d);

    double value = 0.0;
    const char* first = d.text.data();
    const auto [end, ec] = std::from_chars(first, first + d.text.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        const bool negative = d.text.front() == '-';
        const double magnitude = d.order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        return negative ? -magnitude : magnitude;
    }
    return value;
}

int digitValue(char c, int base) {
    int v = -1;
    if (isDecimalDigit(c)) v = c - '0';
    else if (upper(c) >= 'A' && upper(c) <= 'F') v = upper(c) - 'A' + 10;
    return v < base ? v : -1;
}

// Hexadecimal and octal constants were 16-bit integers when they fit in 16 bits and 32-bit
// ones when they fit in 32, so their top bit is a sign bit.
double asClassicInteger(double value) {
    if (value <= 0xFFFF) return static_cast<int16_t>(static_cast<uint16_t>(value));
    if (value <= 0xFFFFFFFFu) return static_cast<int32_t>(static_cast<uint32_t>(value));
    return value;
}

double readRadixInteger(Cursor& c, int base) {
    double value = 0.0;
    for (int digit = digitValue(c.peek(), base); digit >= 0; digit = digitValue(c.peek(), base)) {
        value = value * base + digit;
        c.advance();
    }
    return asClassicInteger(value);
}

}  // namespace

double val(std::string_view text) {
    Cursor c(text);
    if (c.peek() != '&') return readDecimal(c);
    c.advance();
    const char radix = upper(c.peek());
    if (radix != 'H' && radix != 'O') return 0.0;
    c.advance();
    return readRadixInteger(c, radix == 'H' ? 16 : 8);
}

float toSingleSaturated(double value) {
    if (std::isnan(value)) return 0.0f;
    if (value > FLT_MAX) return FLT_MAX;
    if (value < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(value);
}

}  // namespace rt
