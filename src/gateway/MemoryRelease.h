#pragma once

// What the gateway's threads freed, given back to the system. The C library keeps freed memory in
// the heap of each thread that used it, and gives back only what lies at a heap's end: after a
// burst of large requests on many threads the process would stay as large as the burst made it.

// Fewer heaps for the threads to share, so that a burst leaves less behind; before any thread.
void LimitMemoryHeaps();
// Gives back the free pages of every heap now.
void ReleaseFreedMemory();
