// The few C++ runtime entry points the shipped Windows binaries need, written small. The
// extractor travels in front of every archive, so its size matters: the compiler's own runtime
// would bring in exception unwinding, a name demangler for its "terminate called" message and a
// threads library, together more than the whole extractor. Our code never throws and allocates
// only with nothrow new, so all it needs is an allocator and a way to stop.
//
// Linked as an object (not from an archive), so these definitions win over the library's.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

void* allocate(std::size_t size) {
    return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
}

void release(void* block) {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

[[noreturn]] void stop() {
    std::abort();
}

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
// Throwing new would have to throw; without exceptions a failure ends the program instead.
void* operator new(std::size_t size) {
    void* block = allocate(size);
    if (block == nullptr) stop();
    return block;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* block) noexcept {
    release(block);
}
void operator delete[](void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    release(block);
}

extern "C" {
// An array size that overflows: nothrow new[] asks this to throw; we stop.
[[noreturn]] void __cxa_throw_bad_array_new_length() {
    stop();
}
[[noreturn]] void __cxa_pure_virtual() {
    stop();
}
}

namespace __gnu_cxx {
// Replaces the handler that demangles and prints the name of an uncaught exception.
[[noreturn]] void __verbose_terminate_handler() {
    stop();
}
}  // namespace __gnu_cxx
