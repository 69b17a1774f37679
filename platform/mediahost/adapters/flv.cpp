// Adapter of the FLV demuxer. The handle is the address of the context slot.
// For tests, open flags can be given in the environment variable
// MEDIAHOST_FLV_FLAGS (e.g. 0x8 for the in-memory key-frame index, 0x4 for
// progressive reading) and the cache size in MEDIAHOST_FLV_CACHE (0, the
// library's default, when unset). Seek flags are passed to op 3 as they are.
// With separate handles (flag 0x1) "any kind" reads all video, then all audio;
// with host buffers (flag 0x2) the session lends a 512000-byte buffer.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kvr_flv_dmx.h"
#include "mediahost/adapter.h"
#include "mediahost/adapter_support.h"
#include "mediahost/host.h"

namespace {

using namespace mediahost;

struct CodecName {
  const char* tag;
  const char* name;
};
const CodecName kVideoCodecs[] = {{"FLV1", "flv1"}, {"VP60", "vp6f"}, {"VP6A", "vp6a"}, {"H264", "h264"},
                                  {"SCR1", "flashsv"}, {"SCR2", "flashsv2"}, {"JPEG", "mjpeg"}};

const char* videoCodecName(uint32_t tag) {
  std::string t = fourccText(tag);
  for (const CodecName& c : kVideoCodecs)
    if (t == c.tag) return c.name;
  return "unknown";
}

class FlvSession : public DemuxSession {
 public:
  FlvSession(KvrEntryFn entry, const std::string& path) : entry_(entry), path_(path) {
    record_.host = Host::get().services();
    record_.fileName = path_.c_str();
    record_.openFlags = envNumber("MEDIAHOST_FLV_FLAGS");
    record_.cacheSize = envNumber("MEDIAHOST_FLV_CACHE");
  }
  ~FlvSession() override { close(); }

  int open() {
    int r = entry_(FLVD_OP_OPEN, &slot_, &record_, &result_);
    if (!handleMatchesOpen(r == 0, slot_)) return -1;
    if (r != 0) return lastError(entry_, FLVD_OP_LAST_ERROR, nullptr, -1);
    return kOk;
  }

  int streams(std::vector<StreamDesc>* out) override {
    const FlvdFileInfo* file = result_.file;
    if (result_.videoCount > 0 && result_.video) {
      const FlvdVideoInfo& v = *result_.video;
      StreamDesc d;
      d.kind = "video";
      d.fields = {{"codec_name", videoCodecName(v.fourcc)},
                  {"width", std::to_string(v.width)},
                  {"height", std::to_string(v.height)},
                  {"frame_rate_milli", std::to_string(v.frameRate)},
                  {"config_bytes", std::to_string(v.configLength)},
                  {"index_duration_ms", std::to_string(v.durationMs)}};
      out->push_back(d);
    }
    if (result_.audioCount > 0 && result_.audio) {
      const FlvdAudioInfo& a = *result_.audio;
      StreamDesc d;
      d.kind = "audio";
      d.track = result_.videoCount > 0 ? 1 : 0;
      // Rate and channels are the codec's own for AAC and MP3; for the other
      // formats they are the tag's flags, which ffmpeg reads otherwise for
      // some of them (Speex, Nellymoser): shown, not compared.
      bool described = a.codecId == FLVD_AUDIO_AAC || a.codecId == FLVD_AUDIO_MP3 ||
                       a.codecId == FLVD_AUDIO_MP2;
      if (described) {
        d.fields = {{"codec_name", a.codecId == FLVD_AUDIO_AAC ? "aac" : a.codecId == FLVD_AUDIO_MP2 ? "mp2" : "mp3"},
                    {"sample_rate", std::to_string(a.sampleRate)},
                    {"channels", std::to_string(a.channels)}};
      } else {
        d.fields = {{"codec_id", std::to_string(a.codecId)},
                    {"flags_sample_rate", std::to_string(a.sampleRate)},
                    {"flags_channels", std::to_string(a.channels)}};
      }
      d.fields.push_back({"config_bytes", std::to_string(a.configLength)});
      out->push_back(d);
    }
    for (StreamDesc& d : *out) {
      d.fields.push_back({"file_duration_ms", std::to_string(file ? file->durationMs : 0)});
      d.fields.push_back({"seek_mode", std::to_string(file ? file->seekMode : 0)});
    }
    return kOk;
  }

  int next(const std::string& kind, Frame* f) override {
    bool separate = record_.openFlags & FLVD_OPEN_SEPARATE_HANDLES;
    for (;;) {
      FlvdFrameRequest req{};
      if (record_.openFlags & FLVD_OPEN_HOST_BUFFERS) {
        if (hostBuffer_.empty()) hostBuffer_.resize(kHostBufferBytes);
        req.buffer = hostBuffer_.data();
        req.size = uint32_t(hostBuffer_.size());
      }
      if (separate) {
        if (!kind.empty())
          req.kind = kind == "video" ? FLVD_KIND_VIDEO : FLVD_KIND_AUDIO;
        else
          req.kind = videoDone_ || result_.videoCount == 0 ? FLVD_KIND_AUDIO : FLVD_KIND_VIDEO;
      }
      FlvdFrame out{};
      int r = entry_(FLVD_OP_READ, &slot_, &req, &out);
      if (r == FLVD_RESULT_END) {
        if (separate && kind.empty() && req.kind == FLVD_KIND_VIDEO && result_.audioCount > 0) {
          videoDone_ = true;
          continue;
        }
        return kEnd;
      }
      if (r != 0) return lastError(entry_, FLVD_OP_LAST_ERROR, &slot_, -1);
      const char* k = out.kind == FLVD_KIND_VIDEO ? "video" : "audio";
      if (!kind.empty() && kind != k) continue;
      f->kind = k;
      f->track = out.kind == FLVD_KIND_VIDEO || result_.videoCount == 0 ? 0 : 1;
      f->timeMs = out.timeMs;
      f->key = -1;
      f->data = out.data;
      f->size = out.length;
      return kOk;
    }
  }

  int seek(long long targetMs, int flags, long long* landedMs) override {
    FlvdSeekRequest req{int32_t(targetMs), uint32_t(flags)};
    FlvdSeekAnswer out{};
    int r = entry_(FLVD_OP_SEEK, &slot_, &req, &out);
    if (r != 0) return lastError(entry_, FLVD_OP_LAST_ERROR, &slot_, -1);
    videoDone_ = false;
    *landedMs = out.timeMs;
    return kOk;
  }

  int close() override { return closeSlot(entry_, FLVD_OP_CLOSE, &slot_); }

 private:
  KvrEntryFn entry_;
  std::string path_;
  FlvdOpenRecord record_{};
  FlvdOpenResult result_{};
  void* slot_ = nullptr;
  bool videoDone_ = false;
  // The frame buffer handed over under FLVD_OPEN_HOST_BUFFERS.
  static constexpr size_t kHostBufferBytes = 512000;
  HostBytes hostBuffer_;
};

}  // namespace

const mediahost::DemuxAdapter kFlvDemuxAdapter = {"KVR_FLV_DMX", "flv", mediahost::openSession<FlvSession>};
MEDIAHOST_REGISTER_DEMUX(kFlvDemuxAdapter);
