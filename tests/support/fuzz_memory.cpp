// Linked into every libFuzzer binary made by holvik_fuzz_target.
//
// The sanitizer keeps 256 MiB of freed memory in quarantine and hands out
// fresh memory meanwhile; a target that opens a media session per input
// then touches new pages all the time, and each costs a fault. A smaller
// quarantine still catches a use of a block freed during the same input.
// ASAN_OPTIONS set in the environment win over these.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

// C++ allocations of 128 KiB and more
// (a media session's packet buffer, a copy of the input) come back from a
// small store of freed blocks instead of fresh memory. The sanitizer maps
// every large block anew, and touching a fresh page costs a fault; for a
// target that opens a session per input that was most of its time.
//
// A block in the store is poisoned; a block handed out is poisoned past the
// size asked for, so reads and writes past its end are still reported (as
// use-after-poison). The store holds a few blocks per power-of-two size and
// frees the rest.
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HOLVIK_FUZZ_ASAN 1
#endif
#endif

#ifdef HOLVIK_FUZZ_ASAN
#include <sanitizer/allocator_interface.h>
#include <sanitizer/asan_interface.h>

namespace {

constexpr int kFromLog = 17;  // 128 KiB
constexpr int kToLog = 28;    // 256 MiB: larger blocks are not kept
constexpr int kPerSize = 4;

struct Store {
  void* blocks[kToLog - kFromLog + 1][kPerSize];
  int count[kToLog - kFromLog + 1];
};
Store g_store;  // zero-initialised before any constructor runs

int sizeLog(size_t n) {
  int log = kFromLog;
  while (log <= kToLog && (size_t(1) << log) < n) ++log;
  return log;
}

void* allocate(size_t n) {
  if (n < (size_t(1) << kFromLog)) return malloc(n ? n : 1);
  int log = sizeLog(n);
  if (log > kToLog) return malloc(n);
  size_t cap = size_t(1) << log;
  int k = log - kFromLog;
  void* p = g_store.count[k] ? g_store.blocks[k][--g_store.count[k]] : malloc(cap);
  if (!p) return nullptr;
  ASAN_UNPOISON_MEMORY_REGION(p, n);
  ASAN_POISON_MEMORY_REGION(static_cast<char*>(p) + n, cap - n);
  return p;
}

void release(void* p) {
  if (!p) return;
  size_t cap = __sanitizer_get_ownership(p) ? __sanitizer_get_allocated_size(p) : 0;
  if (cap >= (size_t(1) << kFromLog) && (cap & (cap - 1)) == 0) {
    int log = sizeLog(cap);
    int k = log - kFromLog;
    if (log <= kToLog && g_store.count[k] < kPerSize) {
      ASAN_POISON_MEMORY_REGION(p, cap);
      g_store.blocks[k][g_store.count[k]++] = p;
      return;
    }
    ASAN_UNPOISON_MEMORY_REGION(p, cap);
  }
  free(p);
}

void* allocateOrThrow(size_t n) {
  void* p = allocate(n);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(size_t n) { return allocateOrThrow(n); }
void* operator new[](size_t n) { return allocateOrThrow(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

#endif
