// Fuzz target of the program-stream demuxer, through the media host's exerciser.
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
  // Half the inputs go through the two-reader mode; sub-pictures of stream
  // 0x20 are gathered in both.
  setenv("MEDIAHOST_MPG_MODE", size % 2 ? "1" : "0", 1);
  setenv("MEDIAHOST_MPG_SUBPICTURE", "0x20", 1);
  setenv("MEDIAHOST_MPG_RECOVERY", size % 3 == 0 ? "2" : size % 3 == 1 ? "1" : "0", 1);
  mediahost::exerciseDemux(*adapter, plugin->entry(), data, size, holvik_fuzz::exerciseLimits());
  return 0;
}
