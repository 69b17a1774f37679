// Adapter of the Matroska/WebM demuxer. Tracks are the file's track numbers.
// For tests, open flags can be given in MEDIAHOST_MKV_FLAGS and the open op
// in MEDIAHOST_MKV_OP (0, 7, or 3000 to open over a handle this adapter
// opened with the host's fopen; the library then owns and closes it);
// MEDIAHOST_MKV_INDEX=1 runs op 3002 (index by cluster scan) after open.
// Seek flags are passed to op 3 as they are (0x10 relative, 0x100 by audio).
#include <cstddef>
#include <cstdlib>
#include <string>

#include "kvr_mkv_dmx.h"
#include "mediahost/adapter.h"
#include "mediahost/adapter_support.h"
#include "mediahost/host.h"

namespace {

using namespace mediahost;

std::string videoCodecName(uint32_t code) {
  const std::string c = fourccText(code);
  if (c == "avc1") return "h264";
  if (c == "hevc") return "hevc";
  if (c == "vp80") return "vp8";
  if (c == "vp90") return "vp9";
  if (c == "mp4v") return "mpeg4";
  if (c == "mpeg") return "mpeg2video";
  if (c == "mjpg") return "mjpeg";
  if (c == "div3") return "msmpeg4v3";
  if (c == "MP42") return "msmpeg4v2";
  if (c == "DIV3" || c == "MP43") return "msmpeg4v3";
  if (c == "XVID" || c == "DIVX" || c == "FMP4" || c == "DX50") return "mpeg4";
  if (c == "MJPG") return "mjpeg";
  if (c == "H264") return "h264";
  if (c == "V_AV") return "av1";
  if (c == "V_TH") return "theora";
  return c;
}

std::string audioCodecName(uint32_t tag, uint32_t bits) {
  switch (tag) {
    case 0x1: return bits == 8 ? "pcm_u8" : bits == 24 ? "pcm_s24le" : bits == 32 ? "pcm_s32le" : "pcm_s16le";
    case 0x2: return "adpcm_ms";
    case 0x3: return "pcm_f32le";
    case 0x6: return "pcm_alaw";
    case 0x7: return "pcm_mulaw";
    case 0x11: return "adpcm_ima_wav";
    case 0xFF: return "aac";
    case 0x2000: return "ac3";
    case 0x2001: return "dts";
    case 0x2008: return "eac3";
    case 0x674F: return "vorbis";
    case 0xF1AC: return "flac";
    case 0x55: return "mp3";
    case 0x50: return "mp2";
    case 0x5355504F: return "opus";
    default: return fourccText(tag);
  }
}

const char* kindOf(uint32_t type) {
  switch (type) {
    case MKV_TRACK_VIDEO: return "video";
    case MKV_TRACK_AUDIO: return "audio";
    case MKV_TRACK_SUBTITLE: return "subtitle";
    default: return "data";
  }
}

uint32_t kindCode(const std::string& kind) {
  if (kind == "video") return MKV_KIND_VIDEO;
  if (kind == "audio") return MKV_KIND_AUDIO;
  if (kind == "subtitle") return MKV_KIND_SUBTITLE;
  return MKV_KIND_ANY;
}

class MkvSession : public DemuxSession {
 public:
  MkvSession(KvrEntryFn entry, const std::string& path) : entry_(entry), path_(path) {
    record_.host = Host::get().services();
    record_.file = const_cast<char*>(path_.c_str());
    record_.flags = envNumber("MEDIAHOST_MKV_FLAGS");
    if (const char* o = std::getenv("MEDIAHOST_MKV_OP")) op_ = int32_t(std::strtol(o, nullptr, 0));
  }
  ~MkvSession() override { close(); }

  int open() {
    if (op_ == MKV_OP_OPEN_HANDLE) {
      record_.file = hostFopen(path_.c_str(), "rb");
      if (!record_.file) return MKV_ERR_OPEN;
    }
    int r = entry_(op_, &slot_, &record_, &info_);
    if (r < 0) {
      if (slot_) {
        entry_(MKV_OP_CLOSE, &slot_, nullptr, nullptr);
        if (slot_) Host::get().violation("close after a failed open left the handle slot set");
        slot_ = nullptr;
      } else if (op_ == MKV_OP_OPEN_HANDLE) {
        hostFclose(record_.file);
      }
      return r;
    }
    if (!handleMatchesOpen(true, slot_)) return MKV_ERR_NO_HANDLE;
    const char* index = std::getenv("MEDIAHOST_MKV_INDEX");
    if (index && *index == '1') {
      r = entry_(MKV_OP_CREATE_INDEX, &slot_, nullptr, nullptr);
      if (r < 0) return r;
    }
    return kOk;
  }

  int streams(std::vector<StreamDesc>* out) override {
    const std::string duration = std::to_string(info_.file_info ? info_.file_info->duration_ms : 0);
    for (uint32_t i = 0; i < info_.video_count; ++i) {
      const mkv_video_info_t& v = info_.video[i];
      StreamDesc d;
      d.kind = "video";
      d.track = v.track_number;
      d.fields = {{"codec_name", videoCodecName(v.fourcc)},
                  {"width", std::to_string(v.width)},
                  {"height", std::to_string(v.height)},
                  {"frame_rate_milli", std::to_string(v.frame_rate)},
                  {"extradata_size", std::to_string(v.private_size)},
                  {"duration_ms", duration}};
      out->push_back(d);
    }
    for (uint32_t i = 0; i < info_.audio_count; ++i) {
      const mkv_audio_info_t& a = info_.audio[i];
      StreamDesc d;
      d.kind = "audio";
      d.track = a.track_number;
      d.fields = {{"codec_name", audioCodecName(a.format_tag, a.bits_per_sample)},
                  {"sample_rate", std::to_string(a.sampling_rate)},
                  {"channels", std::to_string(a.channels)},
                  {"sample_bits", std::to_string(a.bits_per_sample)},
                  // FLAC's CodecPrivate keeps the stream marker and block
                  // header that ffmpeg's extradata leaves out.
                  {a.format_tag == 0xF1AC ? "private_size" : "extradata_size", std::to_string(a.private_size)},
                  {"language", a.language ? a.language : ""},
                  {"duration_ms", duration}};
      out->push_back(d);
    }
    for (uint32_t i = 0; i < info_.subtitle_count; ++i) {
      const mkv_subtitle_info_t& s = info_.subtitle[i];
      StreamDesc d;
      d.kind = "subtitle";
      d.track = s.track_number;
      d.fields = {{"subtitle_kind", std::to_string(s.kind)}, {"private_size", std::to_string(s.private_size)}};
      out->push_back(d);
    }
    return kOk;
  }

  int next(const std::string& kind, Frame* f) override {
    for (;;) {
      mkv_dmx_getstream_t in{nullptr, 0, kindCode(kind)};
      mkv_dmx_outstream_t out{};
      int r = entry_(MKV_OP_READ, &slot_, &in, &out);
      if (r == MKV_ERR_END) return kEnd;
      if (r < 0) return r;
      if (!out.m_pulKeyFrame) {
        Host::get().violation("a packet without its record");
        return MKV_ERR_INVALID;
      }
      const mkv_dmx_packet_t* p = reinterpret_cast<const mkv_dmx_packet_t*>(
          reinterpret_cast<const char*>(out.m_pulKeyFrame) - offsetof(mkv_dmx_packet_t, m_ulKeyFrame));
      const char* k = kindOf(out.m_ulTrackType);
      if (!kind.empty() && kind != k) continue;
      f->kind = k;
      f->track = p->m_ulTrackNumber;
      f->timeMs = out.m_ulTimestamp;
      f->key = *out.m_pulKeyFrame ? 1 : 0;
      f->data = out.m_pbyData;
      f->size = out.m_ulDataLength;
      return kOk;
    }
  }

  int seek(long long targetMs, int flags, long long* landedMs) override {
    mkv_dmx_seek_t in{int32_t(targetMs), uint32_t(flags)};
    mkv_dmx_outstream_t out{};
    int r = entry_(MKV_OP_SEEK, &slot_, &in, &out);
    if (r < 0) return r;
    *landedMs = out.m_ulTimestamp;
    return kOk;
  }

  int select(const std::string& kind, long long track) override {
    mkv_dmx_select_t in{};
    mkv_dmx_selected_t out{};
    if (kind == "video") in.bits = 1, in.video_number = uint32_t(track);
    else if (kind == "audio") in.bits = 2, in.audio_number = uint32_t(track);
    else if (kind == "subtitle") in.bits = 4, in.subtitle_number = uint32_t(track);
    else return kUnsupported;
    return entry_(MKV_OP_SELECT, &slot_, &in, &out);
  }

  int close() override {
    int r = closeSlot(entry_, MKV_OP_CLOSE, &slot_);
    return r < 0 ? r : kOk;
  }

 private:
  KvrEntryFn entry_;
  std::string path_;
  mkv_dmx_init_t record_{};
  mkv_dmx_stream_info_t info_{};
  int32_t op_ = MKV_OP_OPEN;
  void* slot_ = nullptr;
};

}  // namespace

const mediahost::DemuxAdapter kMkvDemuxAdapter = {"KVR_MKV_DMX", "mkv", mediahost::openSession<MkvSession>};
MEDIAHOST_REGISTER_DEMUX(kMkvDemuxAdapter);
