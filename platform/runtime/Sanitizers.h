#pragma once
// CELSHADE_SANITIZED is defined in a build under AddressSanitizer or ThreadSanitizer, whose
// allocators and address-space reservations the heap policy and the importer's memory limit
// must leave alone. GCC says so through its own macros, Clang through __has_feature.

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CELSHADE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define CELSHADE_SANITIZED 1
#endif
#endif
