// The little threading the engine needs beyond the job's own worker: a thread it starts and
// joins, and counting semaphores to hand buffers between the two. Built on the calls every
// Windows version has (CreateThread, semaphores) and on POSIX threads elsewhere.
#pragma once

#include <cstdint>

#include "common/support/platform_types.h"

class Semaphore {
  public:
    Semaphore() = default;
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    bool create(uint32_t initial, uint32_t maximum);
    void post();
    void wait();

  private:
    void* handle_ = nullptr;
};

// Starts entry(argument) on a new thread; false when no thread could be had.
bool startThread(void (*entry)(void*), void* argument, ThreadHandle& thread);
// Waits for the thread to end and releases it.
void joinThread(ThreadHandle& thread);
