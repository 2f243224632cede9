#pragma once
// Reading a number from the start of a text the way the classic runtime's Val did, for the
// start dialog's threshold box. Typing anything must never fail, so neither function here
// raises: what cannot be read reads as 0, and what lies beyond a range saturates.

#include <string_view>

namespace rt {

// The number at the start of `text` (UTF-8; only ASCII characters can be part of it):
// - blanks, tabs and line feeds are skipped wherever they stand, also between digits;
// - decimal: optional sign, digits, optional "." and fraction, optional exponent written with
//   E or D (either case), optional sign and digits; "." is the decimal point whatever the
//   locale, and a comma, like any other character that cannot continue the number, ends it;
//   an exponent without digits ("1e", "1e+") is not part of the number;
// - "&H" / "&O" (either case) at the start read a hexadecimal / octal integer. As the classic
//   runtime did, a value that fits in 16 bits is taken as a 16-bit signed integer ("&HFFFF"
//   is -1); one that fits in 32 bits as a 32-bit signed integer ("&HFFFFFFFF" is -1); a
//   longer one reads as its plain, non-negative value;
// - no number at the start reads as 0;
// - a decimal number beyond the double range reads as +/-infinity, one too small for it as 0.
double val(std::string_view text);

// Stores a double into a single-precision float without ever failing: values beyond the float
// range (infinities included) saturate to +/-FLT_MAX, NaN becomes 0.
float toSingleSaturated(double value);

}  // namespace rt
