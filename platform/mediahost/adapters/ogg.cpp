// Adapter of the Ogg demuxer. The handle is the address of the context slot.
// Environment for tests: MEDIAHOST_OGG_FLAGS (open flags), MEDIAHOST_OGG_CACHE
// (reader cache size, 0 the library's default), MEDIAHOST_OGG_POLICY (the
// seek-past-the-end policy, default 2), MEDIAHOST_OGG_HEADERS=1 to deliver the
// codec header packets that the library hands out in-band (Vorbis, FLAC, OGM
// audio) instead of stepping over them as a host passes them to its decoder.
// The session announces the selected video stream (track 0) and every audio
// stream (tracks after it); "any kind" reads all video, then each audio stream
// in turn (op 4 chooses it).
// OGM audio packets lose their packet header and length bytes, as the host's
// audio path does.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kvr_ogg_dmx.h"
#include "mediahost/adapter.h"
#include "mediahost/adapter_support.h"
#include "mediahost/host.h"

namespace {

using namespace mediahost;

struct CodecName {
  uint32_t id;
  const char* name;
};
const CodecName kAudioCodecs[] = {{OGG_CODEC_VORBIS, "vorbis"}, {OGG_CODEC_FLAC, "flac"}, {0x55, "mp3"},
                                  {0x2000, "ac3"}, {0x1, "pcm_s16le"}};

std::string videoCodecName(uint32_t id) {
  if (id == OGG_CODEC_THEORA) return "theora";
  std::string t = fourccText(id);
  for (char& c : t) c = char(toupper(c));
  if (t == "XVID" || t == "DIVX" || t == "DX50" || t == "FMP4" || t == "MP4V") return "mpeg4";
  if (t == "H264" || t == "AVC1" || t == "X264") return "h264";
  return "unknown";
}

std::string audioCodecName(uint32_t id) {
  for (const CodecName& c : kAudioCodecs)
    if (c.id == id) return c.name;
  return "unknown";
}

class OggSession : public DemuxSession {
 public:
  OggSession(KvrEntryFn entry, const std::string& path) : entry_(entry), path_(path) {
    record_.host = Host::get().services();
    record_.fileName = path_.c_str();
    record_.openFlags = envNumber("MEDIAHOST_OGG_FLAGS", 0);
    record_.cacheSize = envNumber("MEDIAHOST_OGG_CACHE", 0);
    record_.seekPolicy = int32_t(envNumber("MEDIAHOST_OGG_POLICY", OGG_END_LAST_KEY));
    headers_ = envNumber("MEDIAHOST_OGG_HEADERS", 0) != 0;
  }
  ~OggSession() override { close(); }

  int open() {
    int r = entry_(OGG_OP_OPEN, &slot_, &record_, &info_);
    if (r != 0) {
      // Theora header errors keep the context; the session cannot use it.
      if (slot_) entry_(OGG_OP_CLOSE, &slot_, nullptr, nullptr);
      if (slot_) Host::get().violation("close left the handle slot set");
      return r;
    }
    if (!handleMatchesOpen(true, slot_)) return -1;
    for (uint32_t i = 0; i < info_.audioEntryCount && info_.audioEntries; ++i)
      audio_.push_back(info_.audioEntries[i]);
    buffer_.resize(kBufferBytes);
    return kOk;
  }

  int streams(std::vector<StreamDesc>* out) override {
    if (hasVideo()) {
      StreamDesc d;
      d.kind = "video";
      d.fields = {{"codec_name", videoCodecName(info_.videoCodec)},
                  {"width", std::to_string(info_.width)},
                  {"height", std::to_string(info_.height)},
                  {"frame_rate_milli", std::to_string(info_.frameRate)},
                  {"config_bytes", std::to_string(info_.videoPrivLength)},
                  {"video_bit_rate", std::to_string(info_.videoBitrate)}};
      out->push_back(d);
    }
    for (size_t i = 0; i < audio_.size(); ++i) {
      const OggAudioEntry& a = audio_[i];
      StreamDesc d;
      d.kind = "audio";
      d.track = static_cast<long long>(i) + (hasVideo() ? 1 : 0);
      d.fields = {{"codec_name", audioCodecName(a.codecId)},
                  {"sample_rate", std::to_string(a.sampleRate)},
                  {"channels", std::to_string(a.channels)},
                  {"config_bytes", std::to_string(a.privLength)},
                  {"nominal_bit_rate", std::to_string(a.bitrate)}};
      out->push_back(d);
    }
    for (StreamDesc& d : *out) {
      d.fields.push_back({"file_duration_ms", std::to_string(info_.durationMs)});
      d.fields.push_back({"file_bit_rate", std::to_string(info_.bitrate)});
    }
    return kOk;
  }

  int next(const std::string& kind, Frame* f) override {
    for (;;) {
      bool video;
      if (kind == "video") {
        if (!hasVideo()) return kEnd;
        video = true;
      } else if (kind == "audio") {
        if (audio_.empty()) return kEnd;
        video = false;
      } else {
        video = hasVideo() && !videoDone_;
        if (!video) {
          if (audioTrack_ >= audio_.size()) return kEnd;
          if (!selectAudio(audioTrack_)) return -1;
        }
      }
      OggPacketRequest req{buffer_.data(), uint32_t(buffer_.size()), video ? uint32_t(OGG_KIND_VIDEO)
                                                                           : uint32_t(OGG_KIND_AUDIO), 0};
      OggPacketResult res{};
      int r = entry_(OGG_OP_READ, &slot_, &req, &res);
      if (r == OGG_ERR_END) {
        if (!kind.empty()) return kEnd;
        if (video) {
          videoDone_ = true;
        } else {
          ++audioTrack_;
        }
        continue;
      }
      if (r != 0) return r;
      const uint8_t* data = res.buffer;
      size_t size = res.size;
      if (!video) {
        uint32_t codec = audio_[selected_].codecId;
        if (!headers_ && isHeader(codec, data, size)) continue;
        if (codec != OGG_CODEC_VORBIS && codec != OGG_CODEC_FLAC && size) {
          // OGM: the packet header byte and its length bytes.
          size_t skip = 1 + (((data[0] >> 6) & 3) | ((data[0] << 1) & 4));
          if (skip > size) skip = size;
          data += skip;
          size -= skip;
        }
      }
      f->kind = video ? "video" : "audio";
      f->track = video ? 0 : static_cast<long long>(selected_) + (hasVideo() ? 1 : 0);
      f->timeMs = res.timeMs;
      f->key = -1;
      f->data = data;
      f->size = size;
      return kOk;
    }
  }

  int seek(long long targetMs, int flags, long long* landedMs) override {
    OggSeekRequest req{int32_t(targetMs), uint32_t(flags)};
    OggSeekResult res{};
    int r = entry_(OGG_OP_SEEK, &slot_, &req, &res);
    if (r != 0) return r;
    videoDone_ = false;
    audioTrack_ = selected_;
    *landedMs = res.timeMs;
    return kOk;
  }

  int select(const std::string& kind, long long track) override {
    if (hasVideo()) --track;
    if (kind != "audio" || track < 0 || size_t(track) >= audio_.size()) return kUnsupported;
    return selectAudio(size_t(track)) ? kOk : -1;
  }

  int close() override { return closeSlot(entry_, OGG_OP_CLOSE, &slot_); }

 private:
  bool hasVideo() const { return info_.videoEntryCount > 0; }

  static bool isHeader(uint32_t codec, const uint8_t* d, size_t n) {
    if (n == 0) return false;
    if (codec == OGG_CODEC_VORBIS) return n >= 7 && (d[0] & 1) && std::memcmp(d + 1, "vorbis", 6) == 0;
    if (codec == OGG_CODEC_FLAC) return d[0] != 0xFF;
    return d[0] & 1;
  }

  bool selectAudio(size_t track) {
    if (track == selected_ && selectedOnce_) return true;
    OggSelectRequest req{OGG_SELECT_CHANGE_AUDIO, 0, uint32_t(track)};
    OggAudioEntry entry{};
    OggSelectResult res{0, &entry};
    if (entry_(OGG_OP_SELECT_AUDIO, &slot_, &req, &res) != 0) return false;
    selected_ = track;
    selectedOnce_ = true;
    return true;
  }

  KvrEntryFn entry_;
  std::string path_;
  OggOpenRecord record_{};
  OggStreamInfo info_{};
  void* slot_ = nullptr;
  bool headers_ = false;
  bool videoDone_ = false;
  size_t audioTrack_ = 0;
  size_t selected_ = 0;
  bool selectedOnce_ = false;
  std::vector<OggAudioEntry> audio_;
  static constexpr size_t kBufferBytes = 1 << 20;
  HostBytes buffer_;
};

}  // namespace

const mediahost::DemuxAdapter kOggDemuxAdapter = {"KVR_OGG_DMX", "ogg", mediahost::openSession<OggSession>};
MEDIAHOST_REGISTER_DEMUX(kOggDemuxAdapter);
