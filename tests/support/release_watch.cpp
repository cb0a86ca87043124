#include "tests/support/release_watch.h"

#include <cstdlib>
#include <new>

namespace {

struct Watched {
    const void* p = nullptr;
    std::size_t n = 0;
    bool released = false;
    bool zero = false;
};

Watched g_watched[8];
std::size_t g_watchNextFrom = 0;  // 0: no block waiting to be watched
const void* g_watchedAllocation = nullptr;
std::size_t g_failFrom = 0;
std::size_t g_allocations = 0;

Watched* find(const void* p) {
    for (Watched& w : g_watched) {
        if (w.p == p && p != nullptr) return &w;
    }
    return nullptr;
}

void inspect(void* p) {
    Watched* w = find(p);
    if (w == nullptr || w->released) return;
    const unsigned char* bytes = static_cast<const unsigned char*>(p);
    bool zero = true;
    for (std::size_t i = 0; i < w->n; ++i) zero = zero && bytes[i] == 0;
    w->released = true;
    w->zero = zero;
}

void* allocate(std::size_t n) {
    ++g_allocations;
    if (g_failFrom != 0 && n >= g_failFrom) return nullptr;
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p != nullptr) {
        // A block the heap hands out again is no longer the one being watched.
        if (Watched* w = find(p); w != nullptr && w->released) *w = Watched{};
        if (g_watchNextFrom != 0 && n >= g_watchNextFrom) {
            g_watchNextFrom = 0;
            g_watchedAllocation = p;
            release_watch::watch(p, n);
        }
    }
    return p;
}

void release(void* p) {
    if (p == nullptr) return;
    inspect(p);
    std::free(p);
}

}  // namespace

namespace release_watch {

void watch(const void* p, std::size_t n) {
    for (Watched& w : g_watched) {
        if (w.p == nullptr) {
            w = Watched{p, n, false, false};
            return;
        }
    }
}

bool released(const void* p) {
    const Watched* w = find(p);
    return w != nullptr && w->released;
}

bool wasZero(const void* p) {
    const Watched* w = find(p);
    return w != nullptr && w->released && w->zero;
}

void reset() {
    for (Watched& w : g_watched) w = Watched{};
    g_watchNextFrom = 0;
    g_watchedAllocation = nullptr;
    g_failFrom = 0;
}

void watchNextAllocation(std::size_t minimum) {
    g_watchNextFrom = minimum == 0 ? 1 : minimum;
    g_watchedAllocation = nullptr;
}

const void* watchedAllocation() {
    return g_watchedAllocation;
}

void failAllocationsFrom(std::size_t minimum) {
    g_failFrom = minimum;
}

std::size_t allocationCount() {
    return g_allocations;
}

}  // namespace release_watch

void* operator new(std::size_t n) {
    void* p = allocate(n);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return allocate(n);
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    release(p);
}
