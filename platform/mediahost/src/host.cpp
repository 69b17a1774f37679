#include "mediahost/host.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <sstream>
#include <unistd.h>
#include <unordered_map>

// A program may serve the plug-in's blocks itself: the fuzz targets keep
// large blocks for the next input (tests/support/fuzz_memory.cpp). Without
// these hooks the blocks come from the C++ allocator.
extern "C" void* holvik_host_block_new(size_t size) __attribute__((weak));
extern "C" void holvik_host_block_delete(void* block) __attribute__((weak));
// Called as a new exercise starts: blocks freed before it may be reused.
extern "C" void holvik_host_blocks_recycle() __attribute__((weak));

namespace mediahost {
namespace {

// Filled into every new block so that a library reading memory it never
// wrote sees the same garbage every run.
constexpr uint8_t kFreshByte = 0xA5;

void* blockNew(size_t size) {
  if (size == 0) size = 1;
  return holvik_host_block_new ? holvik_host_block_new(size) : ::operator new(size, std::nothrow);
}
void blockDelete(void* block) {
  if (holvik_host_block_delete)
    holvik_host_block_delete(block);
  else
    ::operator delete(block);
}

struct Block {
  size_t size;
  unsigned long serial;
};

class HostFile {
 public:
  virtual ~HostFile() = default;
  virtual size_t read(void* buffer, size_t count) = 0;
  virtual size_t write(const void* buffer, size_t count) = 0;
  // 0 on success; -1 leaves the position unchanged.
  virtual int seek(int64_t offset, int whence) = 0;
  virtual int64_t tell() = 0;
  virtual bool eof() = 0;
  virtual int flush() = 0;
  virtual int close() = 0;
  std::string name;
};

class StdioFile : public HostFile {
 public:
  explicit StdioFile(FILE* f) : f_(f) {}
  size_t read(void* buffer, size_t count) override { return fread(buffer, 1, count, f_); }
  size_t write(const void* buffer, size_t count) override { return fwrite(buffer, 1, count, f_); }
  int seek(int64_t offset, int whence) override {
    return fseeko(f_, static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
  }
  int64_t tell() override { return static_cast<int64_t>(ftello(f_)); }
  bool eof() override { return feof(f_) != 0; }
  int flush() override { return fflush(f_); }
  int close() override {
    int r = fclose(f_);
    f_ = nullptr;
    return r;
  }
  ~StdioFile() override {
    if (f_) fclose(f_);
  }

 private:
  FILE* f_;
};

class MemoryFile : public HostFile {
 public:
  explicit MemoryFile(std::shared_ptr<const std::vector<uint8_t>> bytes) : bytes_(std::move(bytes)) {}
  size_t read(void* buffer, size_t count) override {
    const int64_t size = static_cast<int64_t>(bytes_->size());
    if (pos_ >= size) {
      eof_ = true;
      return 0;
    }
    size_t n = count;
    if (static_cast<int64_t>(n) > size - pos_) {
      n = static_cast<size_t>(size - pos_);
      eof_ = true;
    }
    memcpy(buffer, bytes_->data() + pos_, n);
    pos_ += static_cast<int64_t>(n);
    return n;
  }
  size_t write(const void*, size_t) override { return 0; }
  int seek(int64_t offset, int whence) override {
    int64_t base = whence == KVR_SEEK_SET   ? 0
                   : whence == KVR_SEEK_CUR ? pos_
                   : whence == KVR_SEEK_END ? static_cast<int64_t>(bytes_->size())
                                            : -1;
    if (base < 0) return -1;
    if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0)
      return -1;
    pos_ = base + offset;
    eof_ = false;
    return 0;
  }
  int64_t tell() override { return pos_; }
  bool eof() override { return eof_; }
  int flush() override { return 0; }
  int close() override { return 0; }

 private:
  std::shared_ptr<const std::vector<uint8_t>> bytes_;
  int64_t pos_ = 0;
  bool eof_ = false;
};

struct State {
  std::unordered_map<void*, Block> blocks;
  size_t liveBytes = 0;
  size_t peakBytes = 0;
  unsigned long serial = 0;
  unsigned long allocations = 0;
  unsigned long failedAllocations = 0;
  unsigned long allocCalls = 0;  // since the faults were set
  unsigned long seekCalls = 0;
  std::set<HostFile*> files;
  std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> memoryFiles;
};

State& state() {
  static State* s = new State();  // never destroyed: plug-ins may call late
  return *s;
}

bool allocationShouldFail() {
  Host& h = Host::get();
  State& s = state();
  ++s.allocCalls;
  if (h.faults().failAllocAt != 0 && s.allocCalls == h.faults().failAllocAt) {
    ++s.failedAllocations;
    return true;
  }
  return false;
}

void* track(void* p, size_t size) {
  State& s = state();
  s.blocks[p] = Block{size, ++s.serial};
  s.liveBytes += size;
  if (s.liveBytes > s.peakBytes) s.peakBytes = s.liveBytes;
  ++s.allocations;
  return p;
}

HostFile* fileOf(void* file, const char* op) {
  auto* f = static_cast<HostFile*>(file);
  if (!f || !state().files.count(f)) {
    Host::get().violation(std::string(op) + " on a handle the host did not open");
    return nullptr;
  }
  return f;
}

bool seekShouldFail() {
  State& s = state();
  ++s.seekCalls;
  return Host::get().faults().failSeekAt != 0 && s.seekCalls == Host::get().faults().failSeekAt;
}

}  // namespace

Host& Host::get() {
  static Host* h = new Host();
  return *h;
}

Host::Host() {
  memset(&services_, 0, sizeof services_);
  services_.malloc_fn = hostMalloc;
  services_.free_fn = hostFree;
  services_.reserved = nullptr;
  services_.memcpy_fn = hostMemcpy;
  services_.memmove_fn = hostMemmove;
  services_.memset_fn = hostMemset;
  services_.realloc_fn = hostRealloc;
  services_.fopen_fn = hostFopen;
  services_.fread_fn = hostFread;
  services_.fseek_fn = hostFseek;
  services_.ftell_fn = hostFtell;
  services_.fclose_fn = hostFclose;
  services_.feof_fn = hostFeof;
  services_.fflush_fn = hostFflush;
  services_.fwrite_fn = hostFwrite;
  services_.unlink_fn = hostUnlink;
  services_.fseek64_fn = hostFseek64;
  services_.ftell64_fn = hostFtell64;
}

void Host::reset() {
  if (holvik_host_blocks_recycle) holvik_host_blocks_recycle();
  State& s = state();
  faults_ = Faults();
  violations_.clear();
  s.peakBytes = s.liveBytes;
  s.allocations = 0;
  s.failedAllocations = 0;
  s.allocCalls = 0;
  s.seekCalls = 0;
}

void Host::setFaults(const Faults& faults) {
  faults_ = faults;
  state().allocCalls = 0;
  state().seekCalls = 0;
}

AllocStats Host::allocStats() const {
  const State& s = state();
  AllocStats a;
  a.liveBlocks = s.blocks.size();
  a.liveBytes = s.liveBytes;
  a.peakBytes = s.peakBytes;
  a.allocations = s.allocations;
  a.failedAllocations = s.failedAllocations;
  return a;
}

size_t Host::openFiles() const { return state().files.size(); }

std::string Host::leakReport() const {
  const State& s = state();
  std::map<unsigned long, size_t> bySerial;
  for (const auto& b : s.blocks) bySerial[b.second.serial] = b.second.size;
  std::ostringstream o;
  for (const auto& b : bySerial)
    o << "leaked block: " << b.second << " bytes (allocation #" << b.first << ")\n";
  for (const HostFile* f : s.files) o << "file left open: " << f->name << "\n";
  return o.str();
}

void Host::violation(const std::string& what) { violations_.push_back(what); }

void Host::addMemoryFile(const std::string& name, const uint8_t* data, size_t size) {
  state().memoryFiles[name] = std::make_shared<const std::vector<uint8_t>>(data, data + size);
}

void Host::removeMemoryFile(const std::string& name) { state().memoryFiles.erase(name); }

void* bufferAllocate(size_t size) { return blockNew(size); }
void bufferRelease(void* block) {
  if (block) blockDelete(block);
}

void* hostMalloc(size_t size) {
  if (allocationShouldFail()) return nullptr;
  void* p = blockNew(size);
  if (!p) {
    ++state().failedAllocations;
    return nullptr;
  }
  memset(p, kFreshByte, size);
  return track(p, size);
}

void hostFree(void* block) {
  if (!block) return;
  State& s = state();
  auto it = s.blocks.find(block);
  if (it == s.blocks.end()) {
    Host::get().violation("free of a block the host did not allocate (or freed twice)");
    return;
  }
  s.liveBytes -= it->second.size;
  s.blocks.erase(it);
  blockDelete(block);
}

void* hostRealloc(void* block, size_t size) {
  if (!block) return hostMalloc(size);
  State& s = state();
  auto it = s.blocks.find(block);
  if (it == s.blocks.end()) {
    Host::get().violation("realloc of a block the host did not allocate");
    return nullptr;
  }
  if (allocationShouldFail()) return nullptr;  // the old block stays valid
  // Always move the block, so a library that keeps using the old address
  // is caught.
  void* p = blockNew(size);
  if (!p) {
    ++s.failedAllocations;
    return nullptr;
  }
  size_t old = it->second.size;
  memcpy(p, block, old < size ? old : size);
  if (size > old) memset(static_cast<uint8_t*>(p) + old, kFreshByte, size - old);
  s.blocks.erase(it);
  track(p, size);  // both blocks exist for a moment: that is the peak
  s.liveBytes -= old;
  blockDelete(block);
  return p;
}

void* hostMemcpy(void* dst, const void* src, size_t count) { return count ? memcpy(dst, src, count) : dst; }
void* hostMemmove(void* dst, const void* src, size_t count) { return count ? memmove(dst, src, count) : dst; }
void* hostMemset(void* dst, int value, size_t count) { return count ? memset(dst, value, count) : dst; }
int hostMemcmp(const void* a, const void* b, size_t count) { return count ? memcmp(a, b, count) : 0; }

void* hostFopen(const char* path, const char* mode) {
  if (!path || !mode) return nullptr;
  State& s = state();
  std::unique_ptr<HostFile> f;
  auto mem = s.memoryFiles.find(path);
  if (mem != s.memoryFiles.end()) {
    if (mode[0] != 'r' || strchr(mode, '+')) return nullptr;  // memory files are read-only
    f.reset(new MemoryFile(mem->second));
  } else {
    FILE* sf = fopen(path, mode);
    if (!sf) return nullptr;
    f.reset(new StdioFile(sf));
  }
  f->name = path;
  HostFile* raw = f.release();
  s.files.insert(raw);
  return raw;
}

size_t hostFread(void* buffer, size_t size, size_t count, void* file) {
  HostFile* f = fileOf(file, "fread");
  if (!f || size == 0 || count == 0) return 0;
  if (count > std::numeric_limits<size_t>::max() / size) {
    Host::get().violation("fread size * count overflows");
    return 0;
  }
  size_t bytes = size * count;
  size_t cap = Host::get().faults().shortReadMax;
  if (cap && bytes > cap) bytes = cap;
  if (size > 1) bytes -= bytes % size;
  return f->read(buffer, bytes) / size;
}

size_t hostFwrite(const void* buffer, size_t size, size_t count, void* file) {
  HostFile* f = fileOf(file, "fwrite");
  if (!f || size == 0 || count == 0) return 0;
  if (count > std::numeric_limits<size_t>::max() / size) return 0;
  return f->write(buffer, size * count) / size;
}

int32_t hostFseek64(void* file, int64_t offset, int32_t whence) {
  HostFile* f = fileOf(file, "fseek");
  if (!f) return -1;
  if (seekShouldFail()) return -1;
  return f->seek(offset, whence);
}

int32_t hostFseek(void* file, int32_t offset, int32_t whence) { return hostFseek64(file, offset, whence); }

int64_t hostFtell64(void* file) {
  HostFile* f = fileOf(file, "ftell");
  return f ? f->tell() : -1;
}

int32_t hostFtell(void* file) {
  int64_t pos = hostFtell64(file);
  // A position that a 32-bit word cannot hold is an error, as with EOVERFLOW.
  return pos > std::numeric_limits<int32_t>::max() ? -1 : static_cast<int32_t>(pos);
}

int32_t hostFclose(void* file) {
  HostFile* f = fileOf(file, "fclose");
  if (!f) return -1;
  state().files.erase(f);
  int r = f->close();
  delete f;
  return r;
}

int32_t hostFeof(void* file) {
  HostFile* f = fileOf(file, "feof");
  return f ? (f->eof() ? 1 : 0) : 1;
}

int32_t hostFflush(void* file) {
  HostFile* f = fileOf(file, "fflush");
  return f ? f->flush() : -1;
}

int32_t hostUnlink(const char* path) { return path ? unlink(path) : -1; }

}  // namespace mediahost
