// Adapter of the program-stream demuxer. The file is opened with its duration
// measured and a 64 KiB read cache, and every stream is then selected by mask,
// so a dump holds every stream the library lists; `select` narrows one kind to
// one track (by mask). Tracks number the video and the audio entries.
//
// Environment, for tests: MEDIAHOST_MPG_MODE (0 direct, 1 two readers),
// MEDIAHOST_MPG_SUBPICTURE (the sub-picture stream to collect, e.g. 0x20),
// MEDIAHOST_MPG_RECOVERY (seek recovery options). Seek flags are passed to op
// 3 as they are (1 forward, 2 backward; 0x1000 absolute).
//
// Video frames carry the library's own key-frame test (KVR_MPG_isKeyFrame,
// asked only where the host reports the flag); other kinds have none, since
// that test knows only video codecs.
//
// In two-reader mode frames are asked for by kind; for "any" kind the adapter
// keeps one frame of each kind and hands out the earlier one.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kvr_mpg_dmx.h"
#include "mediahost/adapter.h"
#include "mediahost/adapter_support.h"
#include "mediahost/host.h"

namespace {

using namespace mediahost;

const char* audioCodecName(uint32_t codec) {
  switch (codec) {
    case MPG_AUDIO_MP2: return "mp2";
    case MPG_AUDIO_MP3: return "mp3";
    case MPG_AUDIO_MP1: return "mp1";
    case MPG_AUDIO_AAC: return "aac";
    case MPG_AUDIO_AC3: return "ac3";
    case MPG_AUDIO_DTS: return "dts";
    case MPG_AUDIO_LPCM: return "pcm_dvd";
    default: return "unknown";
  }
}

// The stream id as ffprobe writes it: the start code for PES streams, the
// sub-stream id for private stream 1.
std::string ffprobeId(uint32_t id, bool pes) {
  char text[16];
  snprintf(text, sizeof text, "0x%x", pes ? 0x100 | id : id);
  return text;
}

bool pesAudio(uint32_t codec) {
  return codec == MPG_AUDIO_MP1 || codec == MPG_AUDIO_MP2 || codec == MPG_AUDIO_MP3 || codec == MPG_AUDIO_AAC;
}

const char* kindName(uint32_t kind) {
  switch (kind) {
    case MPG_KIND_VIDEO: return "video";
    case MPG_KIND_AUDIO: return "audio";
    case MPG_KIND_SUBPICTURE: return "subtitle";
    default: return "data";
  }
}

struct Pending {
  bool have = false;
  bool ended = false;
  MpgFrame frame{};
  std::vector<uint8_t> bytes;
};

class MpgSession : public DemuxSession {
 public:
  MpgSession(KvrEntryFn entry, const std::string& path) : entry_(entry), path_(path) {
    record_.file_name = path_.c_str();
    MpgHostFunctions& h = record_.host;
    fillHostFunctions(h);
    h.read_direct = hostFread;
    h.seek64 = hostFseek64;
    h.tell64 = hostFtell64;
    record_.stream_mode = envNumber("MEDIAHOST_MPG_MODE", MPG_MODE_DIRECT);
    record_.cache_size = 65536;
    record_.duration_mode = MPG_DURATION_MEASURE;
    record_.recovery = envNumber("MEDIAHOST_MPG_RECOVERY", 0);
    request_.subpicture_id = envNumber("MEDIAHOST_MPG_SUBPICTURE", 0);
  }
  ~MpgSession() override { close(); }

  int open() {
    // The library prints its end-of-file diagnostic with printf on standard
    // output, which a dump's rows share through their own buffer. Line by
    // line, each diagnostic reaches the output whole between the rows' bytes,
    // so a reader can take it out again.
    static const bool lineBuffered = setvbuf(stdout, nullptr, _IOLBF, BUFSIZ) == 0;
    (void)lineBuffered;
    int r = entry_(MPG_OP_OPEN, &slot_, &record_, &info_);
    // A failed open leaves the context in the handle slot; close releases it.
    if (r != MPG_OK) return r;
    if (!slot_) {
      Host::get().violation("open succeeded without a handle");
      return MPG_ERR_ARGUMENT;
    }
    isKeyFrame_ = reinterpret_cast<IsKeyFrameFn>(librarySymbol(entry_, "KVR_MPG_isKeyFrame"));
    if (!isKeyFrame_) Host::get().violation("KVR_MPG_isKeyFrame is not exported");
    MpgSelectRequest all{1, 3, 0xFFFFFFFFu, 0xFFFFFFFFu};
    MpgSelectResult result{};
    return entry_(MPG_OP_SELECT, &slot_, &all, &result);
  }

  int streams(std::vector<StreamDesc>* out) override {
    for (uint32_t i = 0; i < info_.video_count; ++i) {
      const MpgVideoEntry& v = info_.video[i];
      StreamDesc d;
      d.kind = "video";
      d.track = i;
      d.fields = {{"id", ffprobeId(v.id, true)},
                  {"fourcc", fourccText(v.codec)},
                  {"width", std::to_string(v.width)},
                  {"height", std::to_string(v.height)},
                  {"frame_rate_milli", std::to_string(v.frame_rate)},
                  {"first_ms", std::to_string(v.first_ms)},
                  {"last_ms", std::to_string(v.last_ms)},
                  {"duration_ms", std::to_string(info_.duration_ms)}};
      out->push_back(d);
    }
    for (uint32_t i = 0; i < info_.audio_count; ++i) {
      const MpgAudioEntry& a = info_.audio[i];
      StreamDesc d;
      d.kind = "audio";
      d.track = i;
      d.fields = {{"id", ffprobeId(a.id, pesAudio(a.codec))},
                  {"codec_name", audioCodecName(a.codec)},
                  {"sample_rate", std::to_string(a.sample_rate)},
                  {"channels", std::to_string(a.channels)},
                  {"sample_bits", std::to_string(a.bits)},
                  {"frame_length", std::to_string(a.frame_length)},
                  {"first_ms", std::to_string(a.first_ms)},
                  {"last_ms", std::to_string(a.last_ms)},
                  {"duration_ms", std::to_string(info_.duration_ms)}};
      out->push_back(d);
    }
    return kOk;
  }

  long long trackOf(uint32_t kind, uint32_t id) const {
    if (kind == MPG_KIND_VIDEO) {
      for (uint32_t i = 0; i < info_.video_count; ++i)
        if (info_.video[i].id == id) return i;
    } else if (kind == MPG_KIND_AUDIO) {
      for (uint32_t i = 0; i < info_.audio_count; ++i)
        if (info_.audio[i].id == id) return i;
    } else if (kind == MPG_KIND_SUBPICTURE) {
      return id & 0x1F;
    }
    return -1;
  }

  void fill(const MpgFrame& out, const uint8_t* data, Frame* f) const {
    f->kind = kindName(out.kind);
    f->track = trackOf(out.kind, out.stream_id);
    f->timeMs = out.time_ms;
    f->key = -1;
    bool video = out.kind == MPG_KIND_VIDEO && isKeyFrame_;
    f->keyQuery = video ? &MpgSession::keyOf : nullptr;
    f->keySession = this;
    f->data = data;
    f->size = out.length;
  }

  static int keyOf(const void* session, const Frame& f) {
    const MpgSession* s = static_cast<const MpgSession*>(session);
    MpgFrame frame{const_cast<uint8_t*>(f.data), uint32_t(f.size), MPG_KIND_VIDEO, 0, 0, 0};
    return s->isKeyFrame_(s->slot_, &frame) ? 1 : 0;
  }

  // One frame of `kind` (0 for the direct mode) into `pending`.
  int pull(uint32_t kind, Pending* p) {
    request_.kind = kind;
    MpgFrame out = frame_;
    int r = entry_(MPG_OP_NEXT_FRAME, &slot_, &request_, &out);
    frame_ = out;
    if (r == MPG_ERR_END) {
      p->ended = true;
      return kEnd;
    }
    if (r < 0) return r;
    if (r != MPG_OK) return r;  // the host flags a positive code
    if (out.length && !out.data) {
      Host::get().violation("a frame with bytes but no data pointer");
      return MPG_ERR_ARGUMENT;
    }
    p->frame = out;
    p->bytes.assign(out.data, out.data + out.length);
    p->have = true;
    return kOk;
  }

  int next(const std::string& kind, Frame* f) override {
    if (record_.stream_mode != MPG_MODE_TWO_READERS) {
      for (;;) {
        request_.kind = MPG_KIND_VIDEO;
        int r = entry_(MPG_OP_NEXT_FRAME, &slot_, &request_, &frame_);
        if (r == MPG_ERR_END) return kEnd;
        if (r != MPG_OK) return r;
        if (!kind.empty() && kind != kindName(frame_.kind)) continue;
        fill(frame_, frame_.data, f);
        return kOk;
      }
    }
    if (kind == "video" || kind == "subtitle") return pullOne(MPG_KIND_VIDEO, kind, f);
    if (kind == "audio") return pullOne(MPG_KIND_AUDIO, kind, f);
    if (!kind.empty()) return kEnd;
    // Any kind: the earlier of the next video and the next audio frame.
    for (Pending* p : {&video_, &audio_})
      if (!p->have && !p->ended) {
        int r = pull(p == &video_ ? MPG_KIND_VIDEO : MPG_KIND_AUDIO, p);
        if (r < 0) return r;
      }
    Pending* take = nullptr;
    if (video_.have && audio_.have) take = video_.frame.time_ms <= audio_.frame.time_ms ? &video_ : &audio_;
    else if (video_.have) take = &video_;
    else if (audio_.have) take = &audio_;
    if (!take) return kEnd;
    delivered_.swap(take->bytes);
    fill(take->frame, delivered_.data(), f);
    take->have = false;
    return kOk;
  }

  int pullOne(uint32_t want, const std::string& kind, Frame* f) {
    for (;;) {
      Pending p;
      int r = pull(want, &p);
      if (r != kOk) return r;
      if (kind != kindName(p.frame.kind)) continue;
      fill(frame_, frame_.data, f);
      return kOk;
    }
  }

  int seek(long long targetMs, int flags, long long* landedMs) override {
    MpgFrameRequest req = request_;
    req.target_ms = int32_t(targetMs);
    req.seek_flags = uint32_t(flags);
    req.kind = MPG_KIND_VIDEO;
    MpgFrame out = frame_;
    int r = entry_(MPG_OP_SEEK, &slot_, &req, &out);
    frame_ = out;
    video_ = Pending();
    audio_ = Pending();
    if (r != MPG_OK) return r < 0 ? r : MPG_ERR_ARGUMENT;
    *landedMs = out.time_ms;
    return kOk;
  }

  int select(const std::string& kind, long long track) override {
    if (track < 0 || track >= 32) return MPG_ERR_ARGUMENT;
    MpgSelectRequest req{1, 0, 0, 0};
    if (kind == "video") {
      req.flags = 1;
      req.video = 1u << track;
    } else if (kind == "audio") {
      req.flags = 2;
      req.audio = 1u << track;
    } else {
      return MPG_ERR_ARGUMENT;
    }
    MpgSelectResult result{};
    int r = entry_(MPG_OP_SELECT, &slot_, &req, &result);
    if (r != MPG_OK) return r;
    if (result.video_count + result.audio_count == 0) return MPG_ERR_ARGUMENT;
    return kOk;
  }

  int close() override { return closeSlot(entry_, MPG_OP_CLOSE, &slot_, &frame_); }

 private:
  typedef int32_t (*IsKeyFrameFn)(const void* context, const MpgFrame* frame);
  IsKeyFrameFn isKeyFrame_ = nullptr;
  KvrEntryFn entry_;
  std::string path_;
  MpgOpenRecord record_{};
  MpgStreamInfo info_{};
  MpgFrameRequest request_{};
  MpgFrame frame_{};
  Pending video_, audio_;
  std::vector<uint8_t> delivered_;
  void* slot_ = nullptr;
};

}  // namespace

const mediahost::DemuxAdapter kMpgDemuxAdapter = {"KVR_MPG_DEC", "mpg", mediahost::openSession<MpgSession>};
MEDIAHOST_REGISTER_DEMUX(kMpgDemuxAdapter);
