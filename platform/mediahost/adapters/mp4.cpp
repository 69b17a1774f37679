// Adapter of the MP4 demuxer. Streams are the selected video, audio and
// subtitle tracks; a frame's track is its index in the file. Open options can
// be given for tests in MEDIAHOST_MP4_OPTIONS as the library's option bits
// (0x1 trim audio, 0x2 trim video, 0x8 size not measured, 0x20 one handle,
// 0x40 key-frame seek; default 0x60) and the end-of-file seek policy (op
// 4097) in MEDIAHOST_MP4_EOF_POLICY. Seek flags are op 3's mode (0x10 is
// relative). With one handle frames come in file order; otherwise a read
// without a kind takes video, then audio, then subtitles.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "kvr_mp4_dmx.h"
#include "mediahost/adapter.h"
#include "mediahost/adapter_support.h"
#include "mediahost/host.h"

namespace {

using namespace mediahost;

std::string videoCodecName(uint32_t code) {
  std::string t = fourccText(code);
  if (t == "avc1" || t == "avc3" || t == "AVC1" || t == "H264" || t == "h264") return "h264";
  if (t == "hvc1" || t == "hev1") return "hevc";
  if (t == "mp4v") return "mpeg4";
  if (t == "s263" || t == "S263" || t == "h263" || t == "H263") return "h263";
  if (t == "jpeg" || t == "MJPG" || t == "mjpa") return "mjpeg";
  if (t == "mpeg") return "mpeg2video";
  return t;
}

std::string audioCodecName(int32_t format, int32_t bits) {
  switch (format) {
    case 0xAAC0: return "aac";
    case 0x55: return "mp3";
    case 0x2000: return "ac3";
    case 0x2008: return "eac3";
    case 0xA1AC: return "alac";
    case 87: return "amr_nb";
    case 88: return "amr_wb";
    case 6: return "pcm_alaw";
    case 7: return "pcm_mulaw";
    case 1: return bits <= 8 ? "pcm_u8" : "pcm_s" + std::to_string(bits) + "le";
    case 8: return "pcm_s" + std::to_string(bits) + "be";
    default: return "unknown";
  }
}

class Mp4Session : public DemuxSession {
 public:
  Mp4Session(KvrEntryFn entry, const std::string& path) : entry_(entry), path_(path) {
    options_ = envNumber("MEDIAHOST_MP4_OPTIONS", 0x60);
    Mp4OpenRecord& r = record_;
    r.malloc_fn = hostMalloc;
    r.nc_malloc_fn = hostMalloc;
    r.free_fn = hostFree;
    r.nc_free_fn = hostFree;
    r.memcpy_fn = hostMemcpy;
    r.memset_fn = hostMemset;
    r.realloc_fn = hostRealloc;
    r.memmove_fn = hostMemmove;
    r.fopen_fn = hostFopen;
    r.fread_fn = hostFread;
    r.fseek_fn = hostFseek;
    r.ftell_fn = hostFtell;
    r.fwrite_fn = hostFwrite;
    r.fclose_fn = hostFclose;
    r.unlink_fn = hostUnlink;
    r.fseek64_fn = hostFseek64;
    r.ftell64_fn = hostFtell64;
    r.file_name = path_.c_str();
    r.trim_audio = (options_ & 0x1) != 0;
    r.trim_video = (options_ & 0x2) != 0;
    r.size_unknown = (options_ & 0x8) != 0;
    r.one_handle = (options_ & 0x20) != 0;
    r.key_seek = (options_ & 0x40) != 0;
    buffer_.resize(1 << 16);
  }
  ~Mp4Session() override { close(); }

  int open() {
    int r = entry_(MP4_OP_OPEN, &slot_, &record_, &info_);
    if (!handleMatchesOpen(r >= 0, slot_)) return -1;
    if (r < 0) return r;
    if (const char* p = std::getenv("MEDIAHOST_MP4_EOF_POLICY")) {
      int32_t policy = int32_t(std::strtol(p, nullptr, 0));
      r = entry_(MP4_OP_EOF_POLICY, &slot_, &policy, nullptr);
      if (r < 0) return r;
    }
    return kOk;
  }

  int streams(std::vector<StreamDesc>* out) override {
    if (info_.video_index >= 0) {
      StreamDesc d;
      d.kind = "video";
      d.track = info_.video_index;
      d.fields = {{"codec_name", videoCodecName(info_.video_codec)},
                  {"display_name", info_.video_codec_name},
                  {"width", std::to_string(info_.width)},
                  {"height", std::to_string(info_.height)},
                  {"nb_frames", std::to_string(info_.video_samples)},
                  {"key_samples", std::to_string(info_.video_key_samples)},
                  {"frame_rate_milli", std::to_string(info_.frame_rate)},
                  {"duration_ms", std::to_string(info_.duration_ms)}};
      out->push_back(d);
    }
    if (info_.audio_index >= 0) {
      StreamDesc d;
      d.kind = "audio";
      d.track = info_.audio_index;
      d.fields = {{"codec_name", audioCodecName(info_.audio_format, info_.bits_per_sample)},
                  {"display_name", info_.audio_codec_name},
                  {"sample_rate", std::to_string(info_.sample_rate)},
                  {"channels", std::to_string(info_.channels)},
                  {"samples", std::to_string(info_.audio_samples)},
                  {"duration_ms", std::to_string(info_.duration_ms)}};
      out->push_back(d);
    }
    if (info_.subtitle_index >= 0) {
      StreamDesc d;
      d.kind = "subtitle";
      d.track = info_.subtitle_index;
      d.fields = {{"language", info_.subtitle_language ? info_.subtitle_language : ""}};
      out->push_back(d);
    }
    return kOk;
  }

  static const char* kindName(int32_t kind) {
    return kind == MP4_KIND_VIDEO ? "video" : kind == MP4_KIND_AUDIO ? "audio" : "subtitle";
  }

  // One op 2 call, growing the buffer when the library names a larger size.
  int readOne(int32_t kind, Mp4Packet* p) {
    for (;;) {
      Mp4PacketRequest req{buffer_.data(), int32_t(buffer_.size()), kind};
      int r = entry_(MP4_OP_PACKET, &slot_, &req, p);
      if (r == MP4_ERR_MEMORY && p->length > int32_t(buffer_.size())) {
        buffer_.resize(size_t(p->length));
        continue;
      }
      return r;
    }
  }

  int next(const std::string& kind, Frame* f) override {
    Mp4Packet p{};
    bool oneHandle = (options_ & 0x20) != 0;
    for (;;) {
      int32_t want = kind == "video" ? MP4_KIND_VIDEO : kind == "audio" ? MP4_KIND_AUDIO
                     : kind == "subtitle" ? MP4_KIND_SUBTITLE : 0;
      if (!oneHandle && want == 0) want = order_[std::min<size_t>(orderAt_, 2)];
      int r = readOne(want, &p);
      if (r == MP4_END || r == MP4_END_VIDEO || r == MP4_END_AUDIO || r == MP4_END_SUBTITLE) {
        if (!oneHandle && kind.empty() && orderAt_ < 2) {
          ++orderAt_;
          continue;
        }
        return kEnd;
      }
      if (r < 0) return r;
      if (r > 0) return r;  // the host flags a positive code
      if (!p.kind) return kEnd;
      if (oneHandle && !kind.empty() && kind != kindName(p.kind)) continue;
      break;
    }
    f->kind = kindName(p.kind);
    f->track = p.kind == MP4_KIND_VIDEO ? info_.video_index : p.kind == MP4_KIND_AUDIO ? info_.audio_index
                                                                                          : info_.subtitle_index;
    f->timeMs = p.time_ms;
    // Sync samples come from a sync table, which sound tracks leave out: for
    // them the library's flag says nothing.
    f->key = p.kind == MP4_KIND_VIDEO ? p.key : -1;
    f->data = p.data;
    f->size = size_t(p.length);
    return kOk;
  }

  int seek(long long targetMs, int flags, long long* landedMs) override {
    Mp4SeekRequest req{int32_t(targetMs), flags};
    Mp4Packet p{};
    int r = entry_(MP4_OP_SEEK, &slot_, &req, &p);
    if (r < 0) return r;
    *landedMs = p.kind ? p.time_ms : targetMs;
    orderAt_ = 0;
    return kOk;
  }

  int select(const std::string& kind, long long track) override {
    Mp4SelectRequest req{};
    if (kind == "video") req.kinds = MP4_KIND_VIDEO, req.video_index = int32_t(track);
    else if (kind == "audio") req.kinds = MP4_KIND_AUDIO, req.audio_index = int32_t(track);
    else if (kind == "subtitle") req.kinds = MP4_KIND_SUBTITLE, req.subtitle_index = int32_t(track);
    else return kUnsupported;
    int r = entry_(MP4_OP_SELECT, &slot_, &req, &info_);
    return r < 0 ? r : kOk;
  }

  int close() override { return closeSlot(entry_, MP4_OP_CLOSE, &slot_); }

 private:
  KvrEntryFn entry_;
  std::string path_;
  uint32_t options_ = 0x60;
  Mp4OpenRecord record_{};
  Mp4Info info_{};
  void* slot_ = nullptr;
  std::vector<uint8_t> buffer_;
  const int32_t order_[3] = {MP4_KIND_VIDEO, MP4_KIND_AUDIO, MP4_KIND_SUBTITLE};
  size_t orderAt_ = 0;
};

}  // namespace

const mediahost::DemuxAdapter kMp4DemuxAdapter = {"KVR_MP4_DMX", "mp4", mediahost::openSession<Mp4Session>};
MEDIAHOST_REGISTER_DEMUX(kMp4DemuxAdapter);
