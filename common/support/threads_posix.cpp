#include <pthread.h>
#include <semaphore.h>

#include <cerrno>
#include <new>

#include "common/support/threads.h"

namespace {

struct Start {
    void (*entry)(void*);
    void* argument;
    pthread_t thread;
};

void* trampoline(void* p) {
    Start* start = static_cast<Start*>(p);
    start->entry(start->argument);
    return nullptr;
}

}  // namespace

Semaphore::~Semaphore() {
    if (handle_ != nullptr) {
        sem_destroy(static_cast<sem_t*>(handle_));
        delete static_cast<sem_t*>(handle_);
    }
}

bool Semaphore::create(uint32_t initial, uint32_t) {
    sem_t* s = new (std::nothrow) sem_t;
    if (s == nullptr || sem_init(s, 0, initial) != 0) {
        delete s;
        return false;
    }
    handle_ = s;
    return true;
}

void Semaphore::post() {
    sem_post(static_cast<sem_t*>(handle_));
}

void Semaphore::wait() {
    while (sem_wait(static_cast<sem_t*>(handle_)) != 0 && errno == EINTR) {
    }
}

bool startThread(void (*entry)(void*), void* argument, ThreadHandle& thread) {
    Start* start = new (std::nothrow) Start{entry, argument, {}};
    if (start == nullptr) return false;
    if (pthread_create(&start->thread, nullptr, trampoline, start) != 0) {
        delete start;
        return false;
    }
    thread = start;
    return true;
}

void joinThread(ThreadHandle& thread) {
    if (thread == nullptr) return;
    Start* start = static_cast<Start*>(thread);
    pthread_join(start->thread, nullptr);
    delete start;
    thread = nullptr;
}
