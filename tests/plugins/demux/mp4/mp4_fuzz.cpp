// Fuzz target of the MP4 demuxer, through the media
// host's exerciser (open, probe, frames, seeks, close, with injected faults),
// in file order and by kind.
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
  // Odd-sized inputs are read by kind through three more handles, even-sized
  // ones in file order through one.
  setenv("MEDIAHOST_MP4_OPTIONS", (size & 1) ? "0x40" : "0x60", 1);
  const mediahost::ExerciseLimits limits = holvik_fuzz::exerciseLimits(400);
  mediahost::exerciseDemux(*adapter, plugin->entry(), data, size, limits);
  return 0;
}
