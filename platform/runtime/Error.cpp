#include "runtime/Error.h"

namespace rt {

Error::Error(int32_t number, std::string text)
    : std::runtime_error(text), number_(number), text_(std::move(text)) {}

std::string_view runtimeErrorText(int32_t number) {
    switch (number) {
    case errc::InvalidCall: return "Invalid procedure call or argument";
    case errc::Overflow: return "Overflow";
    case errc::OutOfMemory: return "Out of memory";
    case errc::SubscriptOutOfRange: return "Subscript out of range";
    case errc::DivisionByZero: return "Division by zero";
    case errc::TypeMismatch: return "Type mismatch";
    case errc::FileNotFound: return "File not found";
    case errc::PathFileAccess: return "Path/File access error";
    case errc::ObjectNotSet: return "Object variable or With block variable not set";
    default: return "Application-defined or object-defined error";
    }
}

void raiseRuntime(int32_t number, std::string_view detail) {
    std::string text(runtimeErrorText(number));
    if (!detail.empty()) {
        text += ": ";
        text += detail;
    }
    throw Error(number, std::move(text));
}

}  // namespace rt
