// Fuzz target of the Ogg demuxer container, through the media host's
// exerciser (open, packets, seeks, close, with injected faults). The input's
// last byte picks the reader cache size and the seek-past-the-end policy.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mediahost/adapter.h"
#include "fuzz_exercise.h"
#include "mediahost/exercise.h"
#include "mediahost/plugin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static mediahost::Plugin* plugin = [] {
    std::string error;
    auto p = mediahost::Plugin::load(HOLVIK_PLUGIN_PATH, &error);
    if (!p || !mediahost::findDemuxAdapter(*p)) {
      fprintf(stderr, "cannot drive %s: %s\n", HOLVIK_PLUGIN_PATH, error.c_str());
      abort();
    }
    return p.release();
  }();
  static const mediahost::DemuxAdapter* adapter = mediahost::findDemuxAdapter(*plugin);
  static const char* const kCache[] = {"0", "64", "1000", "65536"};
  static const char* const kPolicy[] = {"2", "0", "1", "2"};
  uint8_t pick = size ? data[size - 1] : 0;
  setenv("MEDIAHOST_OGG_CACHE", kCache[pick & 3], 1);
  setenv("MEDIAHOST_OGG_POLICY", kPolicy[(pick >> 2) & 3], 1);
  setenv("MEDIAHOST_OGG_HEADERS", (pick & 16) ? "1" : "0", 1);
  const mediahost::ExerciseLimits limits = holvik_fuzz::exerciseLimits(400);
  mediahost::exerciseDemux(*adapter, plugin->entry(), data, size, limits);
  return 0;
}
