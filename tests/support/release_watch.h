// Proves that memory is wiped before it is released. The test programs that link this replace
// the global allocation functions; a watched block is inspected at the moment operator delete
// receives it, before the heap can reuse it.
#pragma once

#include <cstddef>

namespace release_watch {

// Starts watching the block at p of n bytes (up to a few blocks at once).
void watch(const void* p, std::size_t n);

// Whether the watched block at p has been released, and whether it read as all zeros then.
bool released(const void* p);
bool wasZero(const void* p);

// Forgets every watched block, and the watch and failure set below.
void reset();

// For memory the code under test takes and releases by itself: watches the first block of at
// least `minimum` bytes allocated from now on. watchedAllocation gives it once it has been
// allocated (null before), for released and wasZero.
void watchNextAllocation(std::size_t minimum);
const void* watchedAllocation();

// Makes every allocation of at least `minimum` bytes fail from now on (0: none fails), as a
// machine without that much memory would.
void failAllocationsFrom(std::size_t minimum);

// How many allocations have succeeded or failed since the program started.
std::size_t allocationCount();

}  // namespace release_watch
