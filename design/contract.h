// KESTRANE_EXPECT(condition): a checked precondition of the design core. Active wherever
// NDEBUG is not defined, as in debug builds and the sanitizer build; compiled out otherwise.
// A failed check names the condition on standard error and aborts.
#pragma once

#ifndef NDEBUG
#include <cstdio>
#include <cstdlib>

namespace kestrane::contract {

[[noreturn]] inline void fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: precondition failed: %s\n", file, line, condition);
    std::abort();
}

}  // namespace kestrane::contract

#define KESTRANE_EXPECT(condition)      \
    ((condition) ? static_cast<void>(0) \
                 : ::kestrane::contract::fail(#condition, __FILE__, __LINE__))
#else
#define KESTRANE_EXPECT(condition) static_cast<void>(0)
#endif
