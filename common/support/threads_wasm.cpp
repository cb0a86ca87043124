// Threads in the browser: the engine runs inside one Web Worker and starts no more, so every
// request for a thread or semaphore is refused and the callers do their work in line (the
// writer's read-ahead does each read and write when it is asked for).
#include "common/support/threads.h"

Semaphore::~Semaphore() = default;

bool Semaphore::create(uint32_t, uint32_t) {
    return false;
}

void Semaphore::post() {}

void Semaphore::wait() {}

bool startThread(void (*)(void*), void*, ThreadHandle&) {
    return false;
}

void joinThread(ThreadHandle& thread) {
    thread = nullptr;
}
