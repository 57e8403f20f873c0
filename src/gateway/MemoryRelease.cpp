#include "gateway/MemoryRelease.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Two a core on this kind of machine: the threads rarely wait for one another's heap.
constexpr int kMaxHeaps = 4;

}  // namespace

void LimitMemoryHeaps() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, kMaxHeaps);
#endif
}

void ReleaseFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
