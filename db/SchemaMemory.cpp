#include "db/SchemaMemory.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>

// Under a sanitizer the memory is the sanitizer's, not glibc's.
#if defined(__SANITIZE_ADDRESS__)
#define VANTRIX_GLIBC_HEAPS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || \
    __has_feature(thread_sanitizer)
#define VANTRIX_GLIBC_HEAPS 0
#endif
#endif
#if !defined(VANTRIX_GLIBC_HEAPS) && defined(__linux__) && defined(__GLIBC__)
#define VANTRIX_GLIBC_HEAPS 1
#elif !defined(VANTRIX_GLIBC_HEAPS)
#define VANTRIX_GLIBC_HEAPS 0
#endif

#if VANTRIX_GLIBC_HEAPS
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vantrix::db {

#if VANTRIX_GLIBC_HEAPS

namespace {

// glibc gives each thread other than the first a heap of its own: a region
// of this size at an address that is a multiple of it (twice the largest
// mmap threshold on 64-bit systems), made usable a page at a time as it
// fills unless asked to add more at once.
constexpr std::uintptr_t kThreadHeap = std::uintptr_t{64} << 20;

// How much more than asked a heap is made usable each time it must grow:
// large pages need whole 2 MiB stretches, which steps of a page never
// leave. As much as a thread's heap holds, so that a new one is usable
// whole at once; nothing is used before it is written.
constexpr int kGrowth = static_cast<int>(kThreadHeap);

// Blocks up to this size come from the heaps too, rather than each from a
// mapping of its own, new pages every time (asking for the growth above
// stops glibc from raising its threshold by itself).
constexpr int kOwnMapping = 32 << 20;

}  // namespace

void PrepareForLargeSchemas() {
  static std::once_flag growth;
  std::call_once(growth, [] {
    mallopt(M_TOP_PAD, kGrowth);
    mallopt(M_MMAP_THRESHOLD, kOwnMapping);
  });
}

void PrepareThreadForSchema() {
  PrepareForLargeSchemas();
  thread_local bool prepared = false;
  if (prepared) return;
  prepared = true;
  void* probe = std::malloc(1);
  if (!probe) return;
  const auto at = reinterpret_cast<std::uintptr_t>(probe);
  std::free(probe);
  // The first thread's heap lies below the program break and grows by
  // brk; its pages stay as they are.
  if (at < reinterpret_cast<std::uintptr_t>(sbrk(0))) return;
  // Advice for the whole region, the part not yet in use included; an
  // error only means the advice is not taken.
  madvise(reinterpret_cast<void*>(at & ~(kThreadHeap - 1)), kThreadHeap, MADV_HUGEPAGE);
}

#else

void PrepareForLargeSchemas() {}
void PrepareThreadForSchema() {}

#endif

}  // namespace vantrix::db
