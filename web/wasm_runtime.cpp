// What the module needs from a C++ runtime, without the library's versions that would print to
// standard error through imported system calls: the module imports nothing. Memory comes from
// wasi-libc's malloc, which grows the module's memory; running out of it, or any failed
// library check, stops the call with a trap that the page sees as an exception.
#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" void __wasm_call_ctors();

// Called by the page once after instantiating the module, before any other export.
extern "C" __attribute__((export_name("_initialize"))) void initialize_module() {
    __wasm_call_ctors();
}

namespace std {
inline namespace __2 {
[[noreturn]] void __libcpp_verbose_abort(const char*, ...) {
    __builtin_trap();
}
}  // namespace __2
}  // namespace std

void* operator new(std::size_t bytes) {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) __builtin_trap();
    return block;
}
void* operator new[](std::size_t bytes) {
    return ::operator new(bytes);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
