// Giving freed heap memory back to the system.

#ifndef TOVEX_PLATFORM_MEMORY_H_
#define TOVEX_PLATFORM_MEMORY_H_

namespace tovex {

// Returns the free pages of the heap to the system, so that a large
// short-lived working set (compiling the crawler list) does not stay
// resident behind the few allocations that outlive it. Best effort: does
// nothing where the C library cannot.
void ReturnFreeMemory();

}  // namespace tovex

#endif  // TOVEX_PLATFORM_MEMORY_H_
