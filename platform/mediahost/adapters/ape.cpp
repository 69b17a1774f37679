// Adapter of the APE demuxer. Seek flags: bit 0 set asks for a seek relative
// to the current time; by default the target is absolute.
#include <string>

#include "ape_record.h"
#include "kvr_ape_dmx.h"
#include "mediahost/adapter.h"
#include "mediahost/adapter_support.h"
#include "mediahost/host.h"

namespace mediahost {

ApeOpenRecord apeOpenRecord(const char* fileName) {
  ApeOpenRecord record{};
  record.file_name = fileName;
  fillHostFunctions(record.host);
  record.host.compare = hostMemcmp;
  return record;
}

}  // namespace mediahost

namespace {

using namespace mediahost;

class ApeSession : public DemuxSession {
 public:
  ApeSession(KvrEntryFn entry, const std::string& path)
      : entry_(entry), path_(path), record_(apeOpenRecord(path_.c_str())) {}
  ~ApeSession() override { close(); }

  int open() {
    int r = entry_(APE_OP_OPEN, &slot_, &record_, &info_);
    if (!handleMatchesOpen(r == APE_OK, slot_)) return APE_ERR_OTHER;
    return r;
  }

  int streams(std::vector<StreamDesc>* out) override {
    StreamDesc d;
    d.kind = "audio";
    d.track = 0;
    d.fields = {{"codec_name", "ape"},
                {"sample_rate", std::to_string(info_.sample_rate)},
                {"channels", std::to_string(info_.channels)},
                {"bits_per_raw_sample", std::to_string(info_.bits_per_sample)},
                {"nb_frames", std::to_string(info_.total_frames)},
                {"duration_ms", std::to_string(info_.duration_ms)},
                {"bitrate_bps", std::to_string(info_.bit_rate)},
                {"tags", info_.tags ? "yes" : "no"}};
    out->push_back(d);
    return kOk;
  }

  int next(const std::string& kind, Frame* f) override {
    if (!kind.empty() && kind != "audio") return kEnd;
    ApeFrameOutput out{};
    int r = entry_(APE_OP_NEXT_FRAME, &slot_, nullptr, &out);
    if (r == APE_ERR_END) return kEnd;
    if (r < 0) return r;
    if (r != APE_OK) return r;  // the host flags a positive code
    f->kind = "audio";
    f->track = 0;
    f->timeMs = out.time_ms;
    f->key = -1;
    f->data = out.data;
    f->size = out.size;
    return kOk;
  }

  int seek(long long targetMs, int flags, long long* landedMs) override {
    ApeSeekRequest req{int32_t(targetMs), (flags & 1) ? 0 : 1};
    ApeFrameOutput out{};
    int r = entry_(APE_OP_SEEK, &slot_, &req, &out);
    if (r != APE_OK) return r;
    *landedMs = out.time_ms;
    return kOk;
  }

  int close() override { return closeSlot(entry_, APE_OP_CLOSE, &slot_); }

 private:
  KvrEntryFn entry_;
  std::string path_;
  ApeOpenRecord record_{};  // the library keeps a pointer into it
  ApeStreamInfo info_{};
  void* slot_ = nullptr;
};

}  // namespace

const mediahost::DemuxAdapter kApeDemuxAdapter = {"KVR_APE_DMX", "ape", mediahost::openSession<ApeSession>};
MEDIAHOST_REGISTER_DEMUX(kApeDemuxAdapter);
