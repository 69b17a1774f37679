// Fuzz target of the AVI demuxer, through the media host's exerciser.
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
  // Every third input goes through single-handle mode, every third through
  // separate readers, so that the index-in-memory and per-kind paths are
  // fuzzed too.
  static const char* const kFlags[] = {"0", "0x8", "0x1"};
  setenv("MEDIAHOST_AVI_FLAGS", kFlags[size % 3], 1);
  mediahost::exerciseDemux(*adapter, plugin->entry(), data, size, holvik_fuzz::exerciseLimits());
  return 0;
}
