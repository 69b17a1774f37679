// Adapter of the AVI demuxer. Open flags can be given for tests in the
// environment variable MEDIAHOST_AVI_FLAGS (0x1 separate readers per kind,
// 0x8 one handle for everything). With separate readers a request for any
// kind reads the video to its end, then the audio. Seek flags are the
// library's own (0x10: relative to the current time). Tracks are the
// library's stream ids (10 + video ordinal, 30 + audio ordinal).
#include <cstdlib>
#include <string>

#include "kvr_avi_dmx.h"
#include "mediahost/adapter.h"
#include "mediahost/adapter_support.h"
#include "mediahost/host.h"

namespace {

using namespace mediahost;

std::string fourcc(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    char ch = char((v >> (8 * i)) & 0xFF);
    s += (ch >= 32 && ch < 127) ? ch : '.';
  }
  return s;
}

std::string videoCodecName(uint32_t code) {
  if (code == 0) return "rawvideo";  // BI_RGB
  std::string t = fourcc(code);
  for (char& ch : t) ch = char(toupper(static_cast<unsigned char>(ch)));
  if (t == "FMP4" || t == "XVID" || t == "DIVX" || t == "DX50" || t == "MP4V" || t == "MP4S") return "mpeg4";
  if (t == "H264" || t == "AVC1" || t == "X264") return "h264";
  if (t == "MJPG") return "mjpeg";
  if (t == "DIB " || t == "RGB ") return "rawvideo";
  if (t == "DIV3" || t == "MP43") return "msmpeg4v3";
  return "unknown";
}

std::string audioCodecName(uint32_t tag, uint32_t bits) {
  switch (tag) {
    case 0x0001: return bits == 8 ? "pcm_u8" : bits == 24 ? "pcm_s24le" : bits == 32 ? "pcm_s32le" : "pcm_s16le";
    case 0x0006: return "pcm_alaw";
    case 0x0007: return "pcm_mulaw";
    case 0x0050: return "mp2";
    case 0x0055: return "mp3";
    case 0x2000: return "ac3";
    case 0x2001: return "dts";
    case 0x00FF: return "aac";
    default: return "unknown";
  }
}

class AviSession : public DemuxSession {
 public:
  AviSession(KvrEntryFn entry, const std::string& path) : entry_(entry), path_(path) {
    record_.host = Host::get().services();
    record_.file_name = path_.c_str();
    record_.cache_size = 65536;
    record_.flags = envNumber("MEDIAHOST_AVI_FLAGS");
    separate_ = (record_.flags & AVI_FLAG_SEPARATE) && !(record_.flags & AVI_FLAG_SINGLE);
  }
  ~AviSession() override { close(); }

  int open() {
    int r = entry_(AVI_OP_OPEN, &slot_, &record_, &result_);
    if (r == AVI_OK && !slot_) {
      Host::get().violation("open succeeded without a handle");
      return AVI_FAIL;
    }
    if (r < 0 && r != AVI_DIVX_REFUSED && slot_) Host::get().violation("a failed open left a handle behind");
    if (r != AVI_OK) {
      int code = lastError(entry_, AVI_OP_LAST_ERROR, &slot_, r);
      close();  // a refused DivX file stays open until closed
      return code;
    }
    return kOk;
  }

  int streams(std::vector<StreamDesc>* out) override {
    for (int i = 0; i < result_.video_count; ++i) {
      const AviVideoInfo& v = result_.videos[i];
      StreamDesc d;
      d.kind = "video";
      d.track = v.id;
      d.fields = {{"codec_name", videoCodecName(v.fourcc)},
                  {"fourcc", fourcc(v.fourcc)},
                  {"width", std::to_string(v.width)},
                  {"height", std::to_string(v.height)},
                  {"frame_rate_milli", std::to_string(v.frame_rate_milli)},
                  {"extra_bytes", std::to_string(v.extra_size)},
                  {"duration_ms", std::to_string(result_.file->duration_ms)}};
      out->push_back(d);
    }
    for (int i = 0; i < result_.audio_count; ++i) {
      const AviAudioInfo& a = result_.audios[i];
      StreamDesc d;
      d.kind = "audio";
      d.track = a.id;
      d.fields = {{"codec_name", audioCodecName(a.format_tag, a.bits_per_sample)},
                  {"format_tag", std::to_string(a.format_tag)},
                  {"sample_rate", std::to_string(a.sample_rate)},
                  {"channels", std::to_string(a.channels)},
                  {"block_align", std::to_string(a.block_align)},
                  {"avg_bytes_per_sec", std::to_string(a.avg_bytes_per_sec)}};
      out->push_back(d);
    }
    return kOk;
  }

  int readKind(int32_t kind, Frame* f) {
    AviPacketRequest req{nullptr, 0, kind};
    AviPacket pkt{};
    int r = entry_(AVI_OP_PACKET, &slot_, &req, &pkt);
    if (r == AVI_END) return kEnd;
    if (r < 0) return lastError(entry_, AVI_OP_LAST_ERROR, &slot_, r);
    if (r != AVI_OK) return r;
    bool video = pkt.kind == AVI_KIND_VIDEO;
    f->kind = video ? "video" : "audio";
    f->track = video ? (result_.video ? result_.video->id : 10) : (result_.audio ? result_.audio->id : 30);
    f->timeMs = pkt.time_ms;
    f->key = -1;
    f->data = pkt.data;
    f->size = pkt.size;
    return kOk;
  }

  int next(const std::string& kind, Frame* f) override {
    if (separate_) {
      if (kind == "video") return result_.video_count ? readKind(AVI_KIND_VIDEO, f) : kEnd;
      if (kind == "audio") return result_.audio_count ? readKind(AVI_KIND_AUDIO, f) : kEnd;
      if (!kind.empty()) return kEnd;
      if (!videoDone_ && result_.video_count) {
        int r = readKind(AVI_KIND_VIDEO, f);
        if (r != kEnd) return r;
      }
      videoDone_ = true;
      return result_.audio_count ? readKind(AVI_KIND_AUDIO, f) : kEnd;
    }
    for (;;) {
      int r = readKind(0, f);
      if (r != kOk || kind.empty() || kind == f->kind) return r;
    }
  }

  int seek(long long targetMs, int flags, long long* landedMs) override {
    AviSeekRequest req{int32_t(targetMs), uint32_t(flags)};
    AviSeekResult res{};
    int r = entry_(AVI_OP_SEEK, &slot_, &req, &res);
    if (r != AVI_OK) return lastError(entry_, AVI_OP_LAST_ERROR, &slot_, r);
    videoDone_ = false;
    *landedMs = res.reached_ms;
    return kOk;
  }

  int select(const std::string& kind, long long track) override {
    AviSelectRequest req{};
    if (kind == "video") {
      req.change = 1;
      req.video_id = int32_t(track);
    } else if (kind == "audio") {
      req.change = 2;
      req.audio_id = int32_t(track);
    } else {
      return kUnsupported;
    }
    AviSelectResult res{};
    int r = entry_(AVI_OP_SELECT, &slot_, &req, &res);
    if (r != AVI_OK) return lastError(entry_, AVI_OP_LAST_ERROR, &slot_, r);
    if (res.video) result_.video = res.video;
    if (res.audio) result_.audio = res.audio;
    return kOk;
  }

  int close() override { return closeSlot(entry_, AVI_OP_CLOSE, &slot_); }

 private:
  KvrEntryFn entry_;
  std::string path_;
  AviOpenRecord record_{};
  AviOpenResult result_{};
  void* slot_ = nullptr;
  bool separate_ = false;
  bool videoDone_ = false;
};

}  // namespace

const mediahost::DemuxAdapter kAviDemuxAdapter = {"KVR_AVI_DMX", "avi", mediahost::openSession<AviSession>};
MEDIAHOST_REGISTER_DEMUX(kAviDemuxAdapter);
