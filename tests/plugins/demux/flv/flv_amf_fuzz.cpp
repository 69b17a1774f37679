// Fuzz target of the AMF0 metadata reader: the input is the payload of a
// script tag, placed between an FLV header and one MP3 audio tag, and the file
// is opened with the key-frame index in the file, in memory and in
// progressive mode.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mediahost/adapter.h"
#include "mediahost/exercise.h"
#include "mediahost/plugin.h"

namespace {

void putTag(std::vector<uint8_t>* out, uint8_t type, uint32_t ts, const uint8_t* body, size_t size) {
  uint8_t head[11] = {type, uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size), uint8_t(ts >> 16),
                      uint8_t(ts >> 8), uint8_t(ts), uint8_t(ts >> 24), 0, 0, 0};
  out->insert(out->end(), head, head + 11);
  out->insert(out->end(), body, body + size);
  uint32_t prev = uint32_t(size + 11);
  uint8_t tail[4] = {uint8_t(prev >> 24), uint8_t(prev >> 16), uint8_t(prev >> 8), uint8_t(prev)};
  out->insert(out->end(), tail, tail + 4);
}

}  // namespace

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
  if (size > 0xFFFFFF) return 0;
  std::vector<uint8_t> file = {'F', 'L', 'V', 1, 4, 0, 0, 0, 9, 0, 0, 0, 0};
  putTag(&file, 18, 0, data, size);
  static const uint8_t kMp3[] = {0x2E, 0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0, 0, 0, 0};
  for (uint32_t i = 0; i < 4; ++i) putTag(&file, 8, i * 26, kMp3, sizeof(kMp3));
  static const char* const kFlags[] = {"0", "0x8", "0x4"};
  mediahost::ExerciseLimits limits;
  limits.maxFrames = 20;
  limits.injectFaults = (size & 1) != 0;
  for (const char* flags : kFlags) {
    setenv("MEDIAHOST_FLV_FLAGS", flags, 1);
    setenv("MEDIAHOST_FLV_CACHE", "0", 1);
    mediahost::exerciseDemux(*adapter, plugin->entry(), file.data(), file.size(), limits);
  }
  return 0;
}
