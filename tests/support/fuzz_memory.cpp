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
// - A freed block is poisoned and waits in a queue of its size, oldest
//   first, as in the sanitizer's own quarantine: it is handed out again only
//   once the host has started a later input (Host::reset) and kDepth more
//   blocks of its size have been freed after it. A read or write through a
//   pointer that an input kept is reported (use-after-poison) in that input
//   and in the next ones, not written into the next input's live block.
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
constexpr int kSizes = kToLog - kFromLog + 1;
// Frees of blocks of the same size that a freed block sits through before
// it is handed out again.
constexpr int kDepth = 2;
// Blocks queued per size: at most kQueue, and no more than kQueueBytes of
// them unless that leaves fewer than kDepth + 2 (the largest sizes).
constexpr int kQueue = 16;
constexpr size_t kQueueBytes = size_t(64) << 20;

struct Freed {
  void* block;
  unsigned long input;  // the input during which it was freed
};

struct Queue {
  Freed freed[kQueue];  // a ring, oldest at `first`
  int first;
  int count;
};
Queue g_queues[kSizes];       // zero-initialised before any constructor runs
unsigned long g_input;        // counts the inputs the host started

int sizeLog(size_t n) {
  int log = kFromLog;
  while (log <= kToLog && (size_t(1) << log) < n) ++log;
  return log;
}

int queueLimit(int log) {
  const size_t byBytes = kQueueBytes >> log;
  if (byBytes < size_t(kDepth + 2)) return kDepth + 2;
  return byBytes < size_t(kQueue) ? int(byBytes) : kQueue;
}

Freed& at(Queue& q, int i) { return q.freed[(q.first + i) % kQueue]; }

void* popOldest(Queue& q) {
  void* p = q.freed[q.first].block;
  q.first = (q.first + 1) % kQueue;
  --q.count;
  return p;
}

}  // namespace

extern "C" void* holvik_host_block_new(size_t n) {
  const int log = sizeLog(n);
  if (n < (size_t(1) << kFromLog) || log > kToLog) return ::operator new(n, std::nothrow);
  const size_t cap = size_t(1) << log;
  Queue& q = g_queues[log - kFromLog];
  void* p = nullptr;
  if (q.count > kDepth && q.freed[q.first].input < g_input) p = popOldest(q);
  else p = ::operator new(cap, std::nothrow);
  if (!p) return nullptr;
  ASAN_UNPOISON_MEMORY_REGION(p, n);
  ASAN_POISON_MEMORY_REGION(static_cast<char*>(p) + n, cap - n);
  return p;
}

extern "C" void holvik_host_block_delete(void* p) {
  if (!p) return;
  const size_t cap = __sanitizer_get_ownership(p) ? __sanitizer_get_allocated_size(p) : 0;
  if (cap >= (size_t(1) << kFromLog) && (cap & (cap - 1)) == 0 && sizeLog(cap) <= kToLog) {
    const int log = sizeLog(cap);
    Queue& q = g_queues[log - kFromLog];
    for (int i = 0; i < q.count; ++i) {
      if (at(q, i).block == p) {
        fprintf(stderr, "ERROR: fuzz memory: attempting double-free of a host block at %p\n", p);
        __sanitizer_print_stack_trace();
        abort();
      }
    }
    if (q.count == queueLimit(log)) {
      void* oldest = popOldest(q);
      ASAN_UNPOISON_MEMORY_REGION(oldest, cap);
      ::operator delete(oldest);
    }
    ASAN_POISON_MEMORY_REGION(p, cap);
    at(q, q.count) = Freed{p, g_input};
    ++q.count;
    return;
  }
  ::operator delete(p);
}

// A new input: blocks freed before it may be handed out once they have sat
// through enough later frees.
extern "C" void holvik_host_blocks_recycle() { ++g_input; }

#endif
