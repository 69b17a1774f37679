// Fuzz target of the Matroska demuxer, through the media host's exerciser.
#include <cstdio>
#include <cstdlib>
#include <stdlib.h>
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
  // Half the inputs also build the index by cluster scan (op 3002) after
  // open; the open op varies too (full, main reader only, one host handle).
  static const char* const kOps[] = {"0", "0", "7", "3000"};
  setenv("MEDIAHOST_MKV_INDEX", size % 2 ? "1" : "0", 1);
  setenv("MEDIAHOST_MKV_OP", kOps[(size / 2) % 4], 1);
  mediahost::exerciseDemux(*adapter, plugin->entry(), data, size, holvik_fuzz::exerciseLimits());
  return 0;
}
