// Fuzz target of the process-wide page-queue table: the input is a program of
// queue operations (create, append, take out, peek, status, size, destroy, on
// valid and invalid handles); every queue is destroyed at the end and nothing
// may stay allocated.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kvr_ogg_dmx.h"
#include "mediahost/host.h"
#include "mediahost/plugin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static mediahost::Plugin* plugin = [] {
    std::string error;
    auto p = mediahost::Plugin::load(HOLVIK_PLUGIN_PATH, &error);
    if (!p) {
      fprintf(stderr, "cannot load %s: %s\n", HOLVIK_PLUGIN_PATH, error.c_str());
      abort();
    }
    return p.release();
  }();
  using QueFn = int32_t (*)(int32_t, intptr_t, void*, void*);
  static QueFn que = reinterpret_cast<QueFn>(plugin->symbol("KVR_OGG_QUE"));
  if (!que) abort();
  mediahost::Host& host = mediahost::Host::get();
  host.reset();
  OggQueueServices services{};
  services.malloc_fn = mediahost::hostMalloc;
  services.free_fn = mediahost::hostFree;
  services.memcpy_fn = mediahost::hostMemcpy;
  services.memset_fn = mediahost::hostMemset;
  std::vector<int32_t> handles;
  uint8_t payload[512];
  for (size_t i = 0; i < sizeof(payload); ++i) payload[i] = uint8_t(i * 7);
  uint8_t out[512];
  for (size_t i = 0; i + 1 < size; i += 2) {
    uint8_t op = data[i] & 7, arg = data[i + 1];
    intptr_t handle = (arg & 0x80) ? intptr_t(arg & 0xF) - 2
                                   : (handles.empty() ? 0 : handles[arg % handles.size()]);
    if (op == OGG_QUE_CREATE) {
      uint32_t capacity = 1 + (arg & 7);
      int32_t h = 0;
      if (que(OGG_QUE_CREATE, reinterpret_cast<intptr_t>(&h), &services, &capacity) == 0) handles.push_back(h);
    } else if (op == OGG_QUE_APPEND) {
      OggQueueItem item{(arg & 0x40) ? nullptr : payload, uint32_t(arg & 0x3F) * 8, {arg}};
      que(OGG_QUE_APPEND, handle, &item, nullptr);
    } else if (op == OGG_QUE_TAKE || op == OGG_QUE_PEEK) {
      OggQueueItem item{(arg & 0x40) ? nullptr : out, 0, {0}};
      int32_t r = que(op, handle, &item, nullptr);
      if (r == 0 && (item.size > sizeof(out) || memcmp(out, payload, item.size) != 0)) abort();
    } else if (op == OGG_QUE_DESTROY) {
      if (que(OGG_QUE_DESTROY, handle, nullptr, nullptr) == 0)
        for (size_t k = 0; k < handles.size(); ++k)
          if (handles[k] == handle) handles.erase(handles.begin() + long(k)), k = handles.size();
    } else if (op == OGG_QUE_STATUS) {
      OggQueueStatus s{};
      que(OGG_QUE_STATUS, handle, (arg & 0x40) ? nullptr : &s, nullptr);
    } else {
      que(op, handle, nullptr, nullptr);
    }
  }
  for (int32_t h : handles) que(OGG_QUE_DESTROY, h, nullptr, nullptr);
  std::string leaks = host.leakReport();
  if (!leaks.empty()) {
    fputs(leaks.c_str(), stderr);
    abort();
  }
  return 0;
}
