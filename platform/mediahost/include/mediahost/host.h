#ifndef MEDIAHOST_HOST_H
#define MEDIAHOST_HOST_H
// The host side of the plug-in convention: the memory and file callbacks that
// a plug-in receives at open. The callbacks carry no user pointer, so the host
// state is process-wide and meant for one thread at a time.
//
// - Memory: a counting allocator (live blocks and bytes, the peak, a leak
//   report) that can fail the Nth allocation from now.
// - Files: stdio with 64-bit positions, or in-memory files registered by name
//   (fuzzing); short reads and failed seeks can be injected.
// - Misuse by a plug-in (freeing a foreign pointer, using a closed file, a
//   result outside its convention) is recorded as a violation.

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "kvr_plugin.h"

namespace mediahost {

struct Faults {
  unsigned long failAllocAt = 0;  // the Nth allocation from now returns null (1 = next); 0 never
  unsigned long failSeekAt = 0;   // the Nth seek from now fails; 0 never
  size_t shortReadMax = 0;        // every read returns at most this many bytes; 0 no cap
};

struct AllocStats {
  size_t liveBlocks = 0;
  size_t liveBytes = 0;
  size_t peakBytes = 0;
  unsigned long allocations = 0;        // successful malloc/realloc calls
  unsigned long failedAllocations = 0;  // injected or real failures
};

class Host {
 public:
  static Host& get();

  // Clears the counters, the faults and the violations. Live blocks and open
  // files are kept (and still reported) so a reset cannot hide a leak.
  void reset();
  void setFaults(const Faults& faults);
  const Faults& faults() const { return faults_; }

  AllocStats allocStats() const;
  size_t openFiles() const;
  // One line per leaked block or file left open; empty when all is returned.
  std::string leakReport() const;

  // Plug-in misuse seen by the host or flagged by an adapter.
  void violation(const std::string& what);
  const std::vector<std::string>& violations() const { return violations_; }

  // An in-memory file, found by fopen under `name`. The bytes are copied.
  void addMemoryFile(const std::string& name, const uint8_t* data, size_t size);
  void removeMemoryFile(const std::string& name);

  // The callbacks in the shared block order.
  const KvrHostServices& services() const { return services_; }

 private:
  Host();
  friend struct HostAccess;
  Faults faults_;
  std::vector<std::string> violations_;
  KvrHostServices services_;
};

// The callbacks themselves, for adapters of libraries that order them in
// their own records.
void* hostMalloc(size_t size);
void hostFree(void* block);
void* hostRealloc(void* block, size_t size);
void* hostMemcpy(void* dst, const void* src, size_t count);
void* hostMemmove(void* dst, const void* src, size_t count);
void* hostMemset(void* dst, int value, size_t count);
int hostMemcmp(const void* a, const void* b, size_t count);
void* hostFopen(const char* path, const char* mode);
size_t hostFread(void* buffer, size_t size, size_t count, void* file);
size_t hostFwrite(const void* buffer, size_t size, size_t count, void* file);
int32_t hostFseek(void* file, int32_t offset, int32_t whence);
int32_t hostFtell(void* file);
int32_t hostFseek64(void* file, int64_t offset, int32_t whence);
int64_t hostFtell64(void* file);
int32_t hostFclose(void* file);
int32_t hostFeof(void* file);
int32_t hostFflush(void* file);
int32_t hostUnlink(const char* path);

// The memory behind the plug-in's blocks, uncounted: for the buffers an
// adapter hands a library (frame and sample buffers), so that a program
// that serves the plug-in's blocks itself serves these too.
void* bufferAllocate(size_t size);
void bufferRelease(void* block);

template <typename T>
struct BufferAllocator {
  using value_type = T;
  BufferAllocator() = default;
  template <typename U>
  BufferAllocator(const BufferAllocator<U>&) {}
  T* allocate(size_t n) {
    void* p = bufferAllocate(n * sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t) { bufferRelease(p); }
  bool operator==(const BufferAllocator&) const { return true; }
  bool operator!=(const BufferAllocator&) const { return false; }
};

// A byte buffer from that memory.
using HostBytes = std::vector<uint8_t, BufferAllocator<uint8_t>>;

}  // namespace mediahost

#endif
