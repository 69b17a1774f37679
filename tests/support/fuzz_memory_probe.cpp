// A libFuzzer binary built like every fuzz target (fuzz_memory.cpp linked
// in) whose input names one memory fault to commit on large blocks; the
// tests expect the sanitizer's report of each. "host-reuse" checks that a
// host block freed in one exercise is handed out again a few exercises
// later, which is what the fuzz targets' speed rests on.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mediahost/host.h"

namespace {

constexpr size_t kBig = 300 * 1024;

// Keep the compiler from dropping an access it can prove dead.
void use(volatile char* p) { p[1] = 1; }
volatile char g_sink;
void peek(volatile char* p) { g_sink = p[1]; }

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
  } else if (what == "host-next-input-write" || what == "host-next-input-read") {
    // A pointer that one exercise left behind, used in the next one after
    // a block of the same size was handed out there.
    host.reset();
    void* a = mediahost::hostMalloc(kBig);
    mediahost::hostFree(a);
    host.reset();
    void* b = mediahost::hostMalloc(kBig);
    if (what == "host-next-input-write") use(static_cast<char*>(a));
    else peek(static_cast<char*>(a));
    mediahost::hostFree(b);
  } else if (what == "host-reuse") {
    // One block per exercise: the first one's block comes back within a
    // few exercises, not a fresh one each time.
    host.reset();
    void* first = mediahost::hostMalloc(kBig);
    mediahost::hostFree(first);
    for (int exercise = 2; exercise <= 8; ++exercise) {
      host.reset();
      void* p = mediahost::hostMalloc(kBig);
      mediahost::hostFree(p);
      if (p == first) {
        printf("host block reused in exercise %d\n", exercise);
        return 0;
      }
    }
    fprintf(stderr, "a host block freed in one exercise was not reused in the seven after it\n");
    abort();
  } else {
    fprintf(stderr, "unknown case '%s'\n", what.c_str());
    abort();
  }
  return 0;
}
