#include <windows.h>

#include <new>

#include "common/support/threads.h"

namespace {

struct Start {
    void (*entry)(void*);
    void* argument;
};

DWORD WINAPI trampoline(LPVOID p) {
    Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.entry(start.argument);
    return 0;
}

}  // namespace

Semaphore::~Semaphore() {
    if (handle_ != nullptr) CloseHandle(handle_);
}

bool Semaphore::create(uint32_t initial, uint32_t maximum) {
    handle_ =
        CreateSemaphoreW(nullptr, static_cast<LONG>(initial), static_cast<LONG>(maximum), nullptr);
    return handle_ != nullptr;
}

void Semaphore::post() {
    ReleaseSemaphore(handle_, 1, nullptr);
}

void Semaphore::wait() {
    WaitForSingleObject(handle_, INFINITE);
}

bool startThread(void (*entry)(void*), void* argument, ThreadHandle& thread) {
    Start* start = new (std::nothrow) Start{entry, argument};
    if (start == nullptr) return false;
    DWORD id = 0;
    thread = CreateThread(nullptr, 0, trampoline, start, 0, &id);
    if (thread == nullptr) delete start;
    return thread != nullptr;
}

void joinThread(ThreadHandle& thread) {
    if (thread == nullptr) return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
}
