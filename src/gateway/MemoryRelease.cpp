#include "gateway/MemoryRelease.h"

#include <malloc.h>

namespace {

// Two a core on this kind of machine: the threads rarely wait for one another's heap.
constexpr int kMaxHeaps = 4;

}  // namespace

void LimitMemoryHeaps() {
    mallopt(M_ARENA_MAX, kMaxHeaps);
}

void ReleaseFreedMemory() {
    malloc_trim(0);
}
