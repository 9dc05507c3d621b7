// Heap preparation for a run that fills much memory at once.
#ifndef PILEOGRAPH_HEAP_H
#define PILEOGRAPH_HEAP_H

// Lets the heap hold about `bytes` of the run's data on transparent huge
// pages, which cuts the page faults of filling it up to 512-fold. Does
// nothing where the C library has no glibc malloc tuning.
void PrepareHeap(long long bytes);

#endif
