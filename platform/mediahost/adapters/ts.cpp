// Adapter of the transport-stream demuxer. The handle is the context itself
// (output word 0 of the open). Streams are those of the current program;
// tracks number them in program order. For tests, open flags can be given in
// the environment variable MEDIAHOST_TS_FLAGS (e.g. 0x4 for the packet loop)
// and a program to select after open (op 4) in MEDIAHOST_TS_PROGRAM.
// `select` picks another stream of a kind (op 4), e.g. a second audio track.
// Seek flags are passed to op 12 as they are (0 = the library's default).
#include <cstdlib>
#include <string>

#include "kvr_ts_dmx.h"
#include "mediahost/adapter.h"
#include "mediahost/adapter_support.h"
#include "mediahost/host.h"

namespace {

using namespace mediahost;

std::string videoCodecName(uint32_t codec, uint32_t tag) {
  std::string t = fourccText(tag);
  if (t == "H264" || t == "MVC ") return "h264";
  if (t == "HEVC") return "hevc";
  if (t == "MP4V") return "mpeg4";
  if (t == "VC1 " || t == "wvc1") return "vc1";
  if (t == "AVS ") return "cavs";
  if (t == "mpeg") return (codec & 0xFF) == 0x01 ? "mpeg1video" : "mpeg2video";
  return "unknown";
}

std::string audioCodecName(uint32_t tag, uint32_t sub) {
  switch (tag) {
    case 0x50: return "mp2";
    case 0x55: return "mp3";
    case 0xCC01: return "mp1";
    case 0xAAC0: return sub == 2 ? "aac_latm" : "aac";
    case 0x2000: return sub == 4 ? "eac3" : sub == 3 ? "truehd" : "ac3";
    case 0x2001: return "dts";
    case 0x0001: return sub == 9 ? "pcm_bluray" : "pcm_dvd";
    default: return "unknown";
  }
}

const char* kindName(uint32_t kind) {
  if (kind & TSD_KIND_VIDEO) return "video";
  if (kind & TSD_KIND_AUDIO) return "audio";
  if (kind & (TSD_KIND_GRAPHICS | TSD_KIND_TEXT)) return "subtitle";
  return "data";
}

class TsSession : public DemuxSession {
 public:
  TsSession(KvrEntryFn entry, const std::string& path) : entry_(entry), path_(path) {
    record_.path = path_.c_str();
    record_.sourceMode = 2;
    record_.host = Host::get().services();
    record_.openFlags = envNumber("MEDIAHOST_TS_FLAGS");
  }
  ~TsSession() override { close(); }

  int open() {
    TsdOpenOutput out{};
    bool opened = entry_(TSD_OP_OPEN, nullptr, &record_, &out) == 1;
    if (!handleMatchesOpen(opened, out.handle)) return -1;
    if (!opened) return lastError(entry_, TSD_OP_LAST_ERROR, nullptr, -1);
    handle_ = out.handle;
    program_ = out.selection.programNumber;
    if (const char* p = std::getenv("MEDIAHOST_TS_PROGRAM")) {
      TsdSelectInput in{};
      in.request = 0x10000000 | TSD_KIND_VIDEO | TSD_KIND_AUDIO;
      in.programNumber = int32_t(std::strtol(p, nullptr, 0));
      TsdSelectOutput sel{};
      if (entry_(TSD_OP_SELECT, handle_, &in, &sel) != 1) return lastError(entry_, TSD_OP_LAST_ERROR, handle_, -1);
      program_ = sel.selection.programNumber;
    }
    return kOk;
  }

  const TsdProgramListEntry* currentProgram() {
    TsdProgramListOutput list{};
    if (entry_(TSD_OP_PROGRAM_LIST, handle_, nullptr, &list) != 1) return nullptr;
    for (int i = 0; i < list.count; ++i)
      if (list.entries[i].programNumber == program_) return &list.entries[i];
    return nullptr;
  }

  int streams(std::vector<StreamDesc>* out) override {
    const TsdProgramListEntry* p = currentProgram();
    if (!p) return entry_(TSD_OP_LAST_ERROR, handle_, nullptr, nullptr);
    pids_.clear();
    for (int i = 0; i < p->streamCount; ++i) {
      const TsdProgramListStream& s = p->streams[i];
      StreamDesc d;
      d.kind = kindName(s.kind);
      d.track = i;
      d.fields.push_back({"pid", std::to_string(s.pid)});
      if (s.kind & TSD_KIND_VIDEO) {
        d.fields.push_back({"codec_name", videoCodecName(s.codec, s.u.video.fourcc)});
        d.fields.push_back({"width", std::to_string(s.u.video.width)});
        d.fields.push_back({"height", std::to_string(s.u.video.height)});
        d.fields.push_back({"frame_rate_milli", std::to_string(s.u.video.frameRate)});
      } else if (s.kind & TSD_KIND_AUDIO) {
        d.fields.push_back({"codec_name", audioCodecName(s.u.audio.formatTag, s.u.audio.subKind)});
        d.fields.push_back({"sample_rate", std::to_string(s.u.audio.sampleRate)});
        d.fields.push_back({"channels", std::to_string(s.u.audio.channels)});
        d.fields.push_back({"sample_bits", std::to_string(s.u.audio.bitsPerSample)});
      }
      d.fields.push_back({"program_duration_ms", std::to_string(p->durationMs)});
      out->push_back(d);
    }
    return kOk;
  }

  long long trackOf(int32_t pid) {
    if (pids_.empty()) {
      if (const TsdProgramListEntry* p = currentProgram())
        for (int i = 0; i < p->streamCount; ++i) pids_.push_back(p->streams[i].pid);
    }
    for (size_t i = 0; i < pids_.size(); ++i)
      if (pids_[i] == pid) return (long long)i;
    return -1;
  }

  int next(const std::string& kind, Frame* f) override {
    for (;;) {
      TsdReadInput in{};
      TsdFrame out{};
      if (entry_(TSD_OP_READ, handle_, &in, &out) != 1) {
        int code = lastError(entry_, TSD_OP_LAST_ERROR, handle_, -1);
        return code == -10009 ? kEnd : code;
      }
      const char* k = out.kind ? kindName(out.kind) : "data";
      if (!kind.empty() && kind != k) continue;
      f->kind = k;
      f->track = trackOf(out.pid);
      f->timeMs = out.timeMs;
      f->key = -1;
      f->data = out.data;
      f->size = size_t(out.length);
      return kOk;
    }
  }

  int seek(long long targetMs, int flags, long long* landedMs) override {
    TsdSeekInput in{int32_t(targetMs), uint32_t(flags)};
    TsdSeekOutput out{};
    if (entry_(TSD_OP_SEEK, handle_, &in, &out) != 1) return lastError(entry_, TSD_OP_LAST_ERROR, handle_, -1);
    *landedMs = out.reachedMs;
    return kOk;
  }

  // Selects the stream of `track` (its index in the current program) for its
  // kind with op 4; the other kinds keep their streams.
  int select(const std::string& kind, long long track) override {
    const TsdProgramListEntry* p = currentProgram();
    if (!p) return lastError(entry_, TSD_OP_LAST_ERROR, handle_, -1);
    if (track < 0 || track >= p->streamCount) return kUnsupported;
    const TsdProgramListStream& s = p->streams[track];
    static const uint32_t kinds[] = {TSD_KIND_VIDEO, TSD_KIND_AUDIO, TSD_KIND_GRAPHICS, TSD_KIND_TEXT,
                                     TSD_KIND_PRIVATE};
    for (int i = 0; i < 5; ++i) {
      if (!(s.kind & kinds[i]) || kind != kindName(kinds[i])) continue;
      TsdSelectInput in{};
      in.request = 1u << i;
      in.pid[i] = s.pid;
      TsdSelectOutput out{};
      if (entry_(TSD_OP_SELECT, handle_, &in, &out) != 1) return lastError(entry_, TSD_OP_LAST_ERROR, handle_, -1);
      return kOk;
    }
    return kUnsupported;
  }

  int close() override {
    if (!handle_) return kOk;
    int r = entry_(TSD_OP_CLOSE, handle_, nullptr, nullptr);
    handle_ = nullptr;
    return r == 1 ? kOk : -1;
  }

 private:
  KvrEntryFn entry_;
  std::string path_;
  TsdOpenRecord record_{};
  void* handle_ = nullptr;
  int32_t program_ = 0;
  std::vector<int32_t> pids_;
};

}  // namespace

const mediahost::DemuxAdapter kTsDemuxAdapter = {"KVR_TS_DMX", "ts", mediahost::openSession<TsSession>};
MEDIAHOST_REGISTER_DEMUX(kTsDemuxAdapter);
