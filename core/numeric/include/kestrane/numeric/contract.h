// The two checks of stated conditions, used by the design core and the console alike, and the
// condition they most often state.
//
// KESTRANE_EXPECT(condition): a precondition a caller must meet, such as "components must be
// finite". Checked wherever NDEBUG is not defined (debug builds, and the sanitizer build,
// which undefines it); compiled out otherwise, so it costs nothing in the program.
//
// KESTRANE_CHECK(condition): an invariant whose failure would corrupt memory, such as an index
// staying inside a fixed array. Always checked, NDEBUG or not.
//
// A failed check names the condition, file and line on standard error and aborts (in the
// page's WebAssembly module it traps).
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kestrane::contract {

[[noreturn]] inline void fail(const char* kind, const char* condition, const char* file, int line) {
#if defined(__wasi__)
    // The page's module has no standard error: the failed call traps, and the page sees an
    // exception.
    (void)kind, (void)condition, (void)file, (void)line;
    __builtin_trap();
#else
    std::fprintf(stderr, "%s:%d: %s failed: %s\n", file, line, kind, condition);
    std::abort();
#endif
}

}  // namespace kestrane::contract

#define KESTRANE_CHECK(condition)       \
    ((condition) ? static_cast<void>(0) \
                 : ::kestrane::contract::fail("invariant", #condition, __FILE__, __LINE__))

#ifndef NDEBUG
#define KESTRANE_EXPECT(condition)      \
    ((condition) ? static_cast<void>(0) \
                 : ::kestrane::contract::fail("precondition", #condition, __FILE__, __LINE__))
#else
// The condition stays an unevaluated operand, so what it names counts as used.
#define KESTRANE_EXPECT(condition) static_cast<void>(sizeof((condition) ? 1 : 0))
#endif

namespace kestrane {

// What most contracts here ask of a value: above 0 and finite.
inline bool is_positive_finite(double value) {
    return value > 0 && std::isfinite(value);
}

}  // namespace kestrane
