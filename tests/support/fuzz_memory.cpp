// Linked into every libFuzzer binary made by holvik_fuzz_target.
//
// The sanitizer keeps 256 MiB of freed memory in quarantine and hands out
// fresh memory meanwhile; a target that builds a few thousand blocks per
// input then touches new pages all the time (the tuner target spent most of
// its start-up so). A 16 MiB quarantine still catches a use of a block freed
// during the same input. ASAN_OPTIONS set in the environment win over this.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

// The C++ allocator is left to the sanitizer, so a double delete, a use of
// a freed block and a block released by the wrong call (new[] and free) are
// reported as in any sanitizer build.
//
// What is kept for reuse is the media host's plug-in blocks and its
// adapters' frame buffers only (the host asks for them through the hooks
// below; other programs have no hooks and use the C++ allocator). A
// demuxer's open takes megabytes from the host, which fills every block:
// fresh pages for each input (the sanitizer maps every block of 128 KiB and
// more anew) were most of such a target's time.
//
// - A block freed during an input stays poisoned and is not handed out again
//   before the host starts the next input (Host::reset), so a read or write
//   through a stale pointer in the same input is reported
//   (use-after-poison).
// - A block handed out is poisoned past the size asked for, so an access
//   past its end is reported too.
// - A block freed twice, or one freed by the plug-in with free(), is caught
//   by the host's own bookkeeping and by the sanitizer (the blocks come
//   from operator new).
#include <cstddef>
#include <cstdio>
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
#include <sanitizer/common_interface_defs.h>

namespace {

constexpr int kFromLog = 17;  // 128 KiB
constexpr int kToLog = 28;    // 256 MiB: larger blocks are not kept
constexpr int kPerSize = 4;   // blocks kept per power-of-two size
constexpr int kSizes = kToLog - kFromLog + 1;

struct Shelf {
  void* ready[kPerSize];   // freed before this input: may be handed out
  void* parked[kPerSize];  // freed during this input: poisoned, not reused yet
  int readyCount;
  int parkedCount;
};
Shelf g_shelves[kSizes];  // zero-initialised before any constructor runs

int sizeLog(size_t n) {
  int log = kFromLog;
  while (log <= kToLog && (size_t(1) << log) < n) ++log;
  return log;
}

bool holds(void* const* blocks, int count, void* p) {
  for (int i = 0; i < count; ++i)
    if (blocks[i] == p) return true;
  return false;
}

}  // namespace

extern "C" void* holvik_host_block_new(size_t n) {
  const int log = sizeLog(n);
  if (n < (size_t(1) << kFromLog) || log > kToLog) return ::operator new(n, std::nothrow);
  const size_t cap = size_t(1) << log;
  Shelf& s = g_shelves[log - kFromLog];
  void* p = s.readyCount ? s.ready[--s.readyCount] : ::operator new(cap, std::nothrow);
  if (!p) return nullptr;
  ASAN_UNPOISON_MEMORY_REGION(p, n);
  ASAN_POISON_MEMORY_REGION(static_cast<char*>(p) + n, cap - n);
  return p;
}

extern "C" void holvik_host_block_delete(void* p) {
  if (!p) return;
  const size_t cap = __sanitizer_get_ownership(p) ? __sanitizer_get_allocated_size(p) : 0;
  if (cap >= (size_t(1) << kFromLog) && (cap & (cap - 1)) == 0 && sizeLog(cap) <= kToLog) {
    Shelf& s = g_shelves[sizeLog(cap) - kFromLog];
    if (holds(s.ready, s.readyCount, p) || holds(s.parked, s.parkedCount, p)) {
      fprintf(stderr, "ERROR: fuzz memory: attempting double-free of a host block at %p\n", p);
      __sanitizer_print_stack_trace();
      abort();
    }
    if (s.readyCount + s.parkedCount < kPerSize) {
      ASAN_POISON_MEMORY_REGION(p, cap);
      s.parked[s.parkedCount++] = p;
      return;
    }
    ASAN_UNPOISON_MEMORY_REGION(p, cap);
  }
  ::operator delete(p);
}

// A new input: the blocks freed during the last one may be handed out.
extern "C" void holvik_host_blocks_recycle() {
  for (Shelf& s : g_shelves) {
    while (s.parkedCount) s.ready[s.readyCount++] = s.parked[--s.parkedCount];
  }
}

#endif
