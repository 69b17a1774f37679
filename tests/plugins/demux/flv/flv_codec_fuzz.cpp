// Fuzz target of the FLV codec header parsers. The first byte chooses the
// parser (0 MPEG audio, 1 AudioSpecificConfig, 2 a video header with the
// CodecID in the second byte, 3 avcC to start codes and then the sequence
// parameter set); the rest is handed over in a buffer of exactly its size.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kvr_flv_dmx.h"
#include "mediahost/plugin.h"

namespace {

using AudioFn = decltype(&FLVD_ParseAudioHeader);
using VideoFn = decltype(&FLVD_ParseVideoHeader);
using AvcCFn = decltype(&FLVD_GetAVCSeqHeaderFromAvcC);

struct Parsers {
  AudioFn audio;
  VideoFn video;
  AvcCFn avcc;
};

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
  static Parsers parsers = [] {
    const mediahost::Plugin* p = plugin;
    Parsers s{reinterpret_cast<AudioFn>(p->symbol("FLVD_ParseAudioHeader")),
              reinterpret_cast<VideoFn>(p->symbol("FLVD_ParseVideoHeader")),
              reinterpret_cast<AvcCFn>(p->symbol("FLVD_GetAVCSeqHeaderFromAvcC"))};
    if (!s.audio || !s.video || !s.avcc) abort();
    return s;
  }();
  if (size < 2 || size > 4096) return 0;
  uint8_t which = data[0] & 3;
  size_t skip = which == 2 ? 2 : 1;
  std::vector<uint8_t> bytes(data + skip, data + size);
  int32_t n = int32_t(bytes.size());
  const uint8_t* b = n ? bytes.data() : nullptr;
  FlvdAudioRecord audio{};
  FlvdVideoInfo video{};
  switch (which) {
    case 0:
      parsers.audio(data[1] & 1 ? 14 : 2, b, n, &audio);
      break;
    case 1:
      if (parsers.audio(10, b, n, &audio) != 0) abort();
      break;
    case 2:
      parsers.video(data[1] & 7, b, n, &video);
      break;
    default: {
      // Room for what the record says, no more: the writer must stop there.
      std::vector<uint8_t> sets(size_t(2 * n + 8));
      int32_t len = parsers.avcc(b, n, sets.data(), int32_t(sets.size()));
      if (len < 0 || len > int32_t(sets.size())) abort();
      if (len > 0) {
        std::vector<uint8_t> exact(sets.begin(), sets.begin() + len);
        parsers.video(7, exact.data(), len, &video);
      }
      break;
    }
  }
  return 0;
}
