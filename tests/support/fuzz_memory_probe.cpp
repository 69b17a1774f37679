// A libFuzzer binary built like every fuzz target (fuzz_memory.cpp linked
// in) whose input names one memory fault to commit on large blocks; the
// tests expect the sanitizer's report of each. "host-reuse" checks that a
// host block freed in one exercise is handed out again in the next, which
// is what the fuzz targets' speed rests on.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mediahost/host.h"

namespace {

constexpr size_t kBig = 300 * 1024;

// Keeps the compiler from dropping an access it can prove dead.
void use(volatile char* p) { p[1] = 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string what(reinterpret_cast<const char*>(data), size);
  while (!what.empty() && (what.back() == '\n' || what.back() == ' ')) what.pop_back();
  mediahost::Host& host = mediahost::Host::get();
  if (what == "double-delete") {
    char* p = new char[kBig];
    delete[] p;
    delete[] p;
  } else if (what == "stale-write") {
    char* p = new char[kBig];
    delete[] p;
    char* q = new char[kBig];
    use(p);
    delete[] q;
  } else if (what == "new-free") {
    char* p = new char[kBig];
    use(p);
    free(p);
  } else if (what == "host-stale-write") {
    host.reset();
    void* a = mediahost::hostMalloc(kBig);
    mediahost::hostFree(a);
    void* b = mediahost::hostMalloc(kBig);
    use(static_cast<char*>(a));
    mediahost::hostFree(b);
  } else if (what == "host-past-end") {
    host.reset();
    char* a = static_cast<char*>(mediahost::hostMalloc(kBig));
    use(a + kBig - 1);
    mediahost::hostFree(a);
  } else if (what == "host-free") {
    host.reset();
    void* a = mediahost::hostMalloc(kBig);
    free(a);
  } else if (what == "host-reuse") {
    host.reset();
    void* a = mediahost::hostMalloc(kBig);
    mediahost::hostFree(a);
    host.reset();
    void* b = mediahost::hostMalloc(kBig);
    mediahost::hostFree(b);
    if (a != b) {
      fprintf(stderr, "a host block freed in one exercise was not reused in the next\n");
      abort();
    }
    printf("host block reused\n");
  } else {
    fprintf(stderr, "unknown case '%s'\n", what.c_str());
    abort();
  }
  return 0;
}
