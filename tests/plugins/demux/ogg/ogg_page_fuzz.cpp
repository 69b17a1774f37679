// Fuzz target of the page reader alone: the input is served as a file to one
// reader (cache size from the first byte) that finds capture patterns, parses
// every page with its data and steps back and forth; the memory search for a
// capture pattern sees the same bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kvr_ogg_dmx.h"
#include "mediahost/host.h"
#include "mediahost/plugin.h"

namespace {

struct Api {
  int32_t (*parsing)(OggPageRecord*, OggInputReader*, int32_t);
  int32_t (*seek)(OggInputReader*, int64_t);
  int32_t (*findSync)(OggInputReader*);
  int32_t (*findNext)(const uint8_t*, int64_t*, int32_t);
  int32_t (*read)(uint8_t*, int32_t, OggInputReader*);
};

template <class T>
void bind(mediahost::Plugin& p, const char* name, T* fn) {
  *fn = reinterpret_cast<T>(p.symbol(name));
  if (!*fn) {
    fprintf(stderr, "%s is not exported\n", name);
    abort();
  }
}

// The host functions the library's readers call, as an open installs them.
void install(mediahost::Plugin& p) {
  const KvrHostServices& h = mediahost::Host::get().services();
  *reinterpret_cast<KvrMallocFn*>(p.symbol("ogg_dmx_pMalloc")) = h.malloc_fn;
  *reinterpret_cast<KvrFreeFn*>(p.symbol("ogg_dmx_pFree")) = h.free_fn;
  *reinterpret_cast<KvrFreadFn*>(p.symbol("ogg_dmx_pFread")) = h.fread_fn;
  *reinterpret_cast<KvrFseekFn*>(p.symbol("ogg_dmx_pFseek")) = h.fseek_fn;
  *reinterpret_cast<KvrFtellFn*>(p.symbol("ogg_dmx_pFtell")) = h.ftell_fn;
  *reinterpret_cast<KvrFseek64Fn*>(p.symbol("ogg_dmx_pFseek64")) = h.fseek64_fn;
  *reinterpret_cast<KvrFtell64Fn*>(p.symbol("ogg_dmx_pFtell64")) = h.ftell64_fn;
}

}  // namespace

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
  static Api api = [] {
    Api a;
    bind(*plugin, "ogg_page_parsing", &a.parsing);
    bind(*plugin, "ogg_stream_seek", &a.seek);
    bind(*plugin, "ogg_stream_find_sync", &a.findSync);
    bind(*plugin, "findNextSync", &a.findNext);
    bind(*plugin, "ogg_stream_read", &a.read);
    return a;
  }();
  install(*plugin);
  mediahost::Host& host = mediahost::Host::get();
  host.reset();
  host.addMemoryFile("mem:page", data, size);
  static const uint32_t kCache[] = {4, 27, 300, 4096};
  uint32_t cacheSize = kCache[size ? data[0] & 3 : 0];
  OggInputReader reader{};
  OggCache cache{};
  cache.base = static_cast<uint8_t*>(malloc(cacheSize));
  cache.cursor = cache.base;
  reader.cache = &cache;
  reader.cacheSize = cacheSize;
  reader.serialFilter = size > 1 && (data[1] & 1) ? int32_t(data[1]) : OGG_ANY_SERIAL;
  reader.file = mediahost::hostFopen("mem:page", "rb");
  for (int n = 0; n < 200; ++n) {
    OggPageRecord page;
    int32_t r = api.parsing(&page, &reader, n & 1);
    if (r != 0) break;
    volatile uint8_t sink = 0;
    if (page.data)
      for (uint32_t i = 0; i < page.dataSize; ++i) sink = sink ^ page.data[i];
    if (page.ownsData && page.data) mediahost::hostFree(page.data);
    if (n % 7 == 3) api.seek(&reader, -int64_t(page.dataSize) / 2);
  }
  uint8_t tail[16];
  api.read(tail, sizeof(tail), &reader);
  api.findSync(&reader);
  int64_t offset = 0;
  api.findNext(data, &offset, int32_t(size < 5000 ? size : 5000));
  if (reader.file) mediahost::hostFclose(reader.file);
  free(cache.base);
  host.removeMemoryFile("mem:page");
  std::string leaks = host.leakReport();
  if (!leaks.empty() || !host.violations().empty()) {
    fputs(leaks.c_str(), stderr);
    abort();
  }
  return 0;
}
