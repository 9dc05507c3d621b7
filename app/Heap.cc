#include "Heap.h"

#include <cstdlib>  // also brings in the C library's feature macros

#if defined(__GLIBC__)

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>

// The heap grows once by `bytes` (address space only), that stretch is
// advised for huge pages, and it stays the heap's: blocks up to 32 MB come
// from it and nothing is trimmed. Where huge pages are off, or the heap
// cannot grow, only the malloc settings change.
void PrepareHeap(long long bytes) {
  constexpr long long kMaxMmapThreshold = 32LL << 20;
  if (bytes <= 0 || bytes > (1LL << 40)) return;
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMaxMmapThreshold));
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  if (bytes > INT_MAX) bytes = INT_MAX;
  char* before = static_cast<char*>(sbrk(0));
  mallopt(M_TOP_PAD, static_cast<int>(bytes));
  void* volatile probe = std::malloc(1 << 20);  // more than the heap has spare
  mallopt(M_TOP_PAD, 128 * 1024);
  char* after = static_cast<char*>(sbrk(0));
#ifdef MADV_HUGEPAGE
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t from = (reinterpret_cast<uintptr_t>(before) + page - 1) & ~(page - 1);
  const uintptr_t to = reinterpret_cast<uintptr_t>(after) & ~(page - 1);
  const bool grew = before != reinterpret_cast<char*>(-1) && after != reinterpret_cast<char*>(-1) &&
                    after - before >= bytes;
  if (grew && to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)before;
  (void)after;
#endif
  std::free(probe);
}

#else

void PrepareHeap(long long) {}

#endif
