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

// Forgets every watched block.
void reset();

}  // namespace release_watch
