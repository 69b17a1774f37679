// Fuzz target of the APE demuxer, through the media host's exerciser.
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
  mediahost::exerciseDemux(*adapter, plugin->entry(), data, size, holvik_fuzz::exerciseLimits());
  return 0;
}
