#include "common/support/stop_request.h"

#include <atomic>

namespace {

// Set from a signal handler: it must be an atomic that needs no lock.
std::atomic<int> request{0};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

void requestStop(int reason) {
    int none = 0;
    request.compare_exchange_strong(none, reason);
}

int stopRequest() {
    return request.load(std::memory_order_relaxed);
}
