#pragma once
// Failures are errors, not return codes: every failing platform call, arithmetic fault or
// bad index raises an rt::Error carrying a number and a text, the way the classic runtime
// reported them. Only the outermost event handler catches it (see ui/ErrorReport.h).

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rt {

// The classic runtime's error numbers that this program can raise.
namespace errc {
inline constexpr int32_t InvalidCall = 5;          // "Invalid procedure call or argument"
inline constexpr int32_t Overflow = 6;             // "Overflow"
inline constexpr int32_t OutOfMemory = 7;          // "Out of memory"
inline constexpr int32_t SubscriptOutOfRange = 9;  // "Subscript out of range"
inline constexpr int32_t DivisionByZero = 11;      // "Division by zero"
inline constexpr int32_t TypeMismatch = 13;        // "Type mismatch"
inline constexpr int32_t FileNotFound = 53;        // "File not found"
inline constexpr int32_t PathFileAccess = 75;      // "Path/File access error"
inline constexpr int32_t ObjectNotSet = 91;        // "Object variable or With block variable not set"
}  // namespace errc

class Error : public std::runtime_error {
public:
    Error(int32_t number, std::string text);

    int32_t number() const noexcept { return number_; }
    const std::string& text() const noexcept { return text_; }

private:
    int32_t number_;
    std::string text_;
};

// The classic text of a runtime error number ("Overflow" for 6, ...), or "Application-defined
// or object-defined error" for numbers it does not know.
std::string_view runtimeErrorText(int32_t number);

// Raises runtime error `number` with its classic text, followed by ": detail" when given.
[[noreturn]] void raiseRuntime(int32_t number, std::string_view detail = {});

}  // namespace rt
