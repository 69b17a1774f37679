// Fuzz target of the elementary-stream header decoders, the key-frame test
// and the video frame finders: the input is a header work buffer (cut or
// padded to its 104 bytes), a payload, and the bytes of a video ring.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mpg_internal.h"
#include "mediahost/plugin.h"

namespace {

struct Api {
  mediahost::Plugin* plugin;
  int32_t (*video)(MpgVideoEntry*, const uint8_t*);
  int32_t (*adts)(MpgAudioEntry*, const uint8_t*);
  int32_t (*vob)(MpgAudioEntry*, const uint8_t*);
  int32_t (*key)(const MpgContext*, const MpgFrame*);
  int32_t (*sync)(MpgContext*, MpgFrame*);
  int32_t (*one)(MpgContext*, MpgFrame*);
};

Api* load() {
  std::string error;
  mediahost::Plugin* p = mediahost::Plugin::load(HOLVIK_PLUGIN_PATH, &error).release();
  if (!p) {
    fprintf(stderr, "cannot load %s: %s\n", HOLVIK_PLUGIN_PATH, error.c_str());
    abort();
  }
  Api* a = new Api;
  a->plugin = p;
  a->video = reinterpret_cast<decltype(a->video)>(p->symbol("MPG_DEC_MPG_DecodeSequenceHeader"));
  a->adts = reinterpret_cast<decltype(a->adts)>(p->symbol("MPG_DEC_MPG_DecodeADTSHeader"));
  a->vob = reinterpret_cast<decltype(a->vob)>(p->symbol("MPG_DEC_MPG_DecodeVOBAudioHeader"));
  a->key = reinterpret_cast<decltype(a->key)>(p->symbol("KVR_MPG_isKeyFrame"));
  a->sync = reinterpret_cast<decltype(a->sync)>(p->symbol("KVR_MPG_FindSyncFrameVideo"));
  a->one = reinterpret_cast<decltype(a->one)>(p->symbol("KVR_MPG_FindOneFrameVideo"));
  if (!a->video || !a->adts || !a->vob || !a->key || !a->sync || !a->one) abort();
  return a;
}

const uint32_t kCodecs[] = {MPG_VIDEO_MPEG, MPG_VIDEO_MP4V, MPG_VIDEO_AVC1, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Api* api = load();
  // The decoders read exactly the work buffer's 104 bytes.
  std::vector<uint8_t> work(data, data + (size < MPG_HEADER_BYTES ? size : MPG_HEADER_BYTES));
  work.resize(MPG_HEADER_BYTES, 0);
  MpgVideoEntry v{};
  MpgAudioEntry a{};
  if (api->video(&v, work.data()) > 0 || api->adts(&a, work.data()) > 0 || api->vob(&a, work.data()) > 0) abort();
  // The demuxer hands the key-frame test and the finders a frame and a ring
  // that hold bytes, never an empty one.
  if (size == 0) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  for (uint32_t codec : kCodecs) {
    MpgContext* c = static_cast<MpgContext*>(calloc(1, sizeof(MpgContext)));
    c->video_codec = codec;
    MpgFrame f{};
    f.kind = MPG_KIND_VIDEO;
    f.data = bytes.data();
    f.length = uint32_t(bytes.size());
    if (api->key(c, &f) < 0) abort();
    // The finders cut every frame out of a ring holding the input.
    c->vring.data = bytes.data();
    c->vring.size = c->vring.wr = uint32_t(bytes.size());
    for (int n = 0; n < 10000; ++n) {
      int32_t r = (n % 3 == 0) ? api->sync(c, &f) : api->one(c, &f);
      if (r != MPG_OK) break;
      if (c->frame_start + f.length > c->vring.wr) abort();
      c->vring.rd = c->frame_start + f.length;
      c->scan = c->vring.rd;
      c->frame_started = 0;
    }
    free(c);
  }
  return 0;
}
