// Fuzz target of the FLV demuxer container, through the media host's
// exerciser (open, frames, seeks, close, with injected faults). The input's
// last byte picks the open flags and the cache size, so that every reader
// (two handles, host buffers, progressive, in-memory index) sees damage.
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
  static const char* const kFlags[] = {"0", "0x1", "0x2", "0x4", "0x8", "0x9", "0xc", "0"};
  uint8_t pick = size ? data[size - 1] : 0;
  setenv("MEDIAHOST_FLV_FLAGS", kFlags[pick & 7], 1);
  setenv("MEDIAHOST_FLV_CACHE", (pick & 8) ? "1024" : "0", 1);
  const mediahost::ExerciseLimits limits = holvik_fuzz::exerciseLimits(400);
  mediahost::exerciseDemux(*adapter, plugin->entry(), data, size, limits);
  return 0;
}
