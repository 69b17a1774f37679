// Fuzz target of the toy demuxer: shows the pattern every plug-in follows.
#include <cstdlib>
#include <cstdio>

#include "mediahost/exercise.h"
#include "mediahost/plugin.h"
#include "toy_adapters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static mediahost::Plugin* plugin = [] {
    std::string error;
    auto p = mediahost::Plugin::load(HOLVIK_PLUGIN_PATH, &error);
    if (!p) {
      fprintf(stderr, "%s\n", error.c_str());
      abort();
    }
    return p.release();
  }();
  mediahost::exerciseDemux(kToyDemuxAdapter, plugin->entry(), data, size);
  return 0;
}
