// Adapters of the toy plug-ins, registered the same way as the real ones.
#include "toy_adapters.h"

#include <string>

#include "mediahost/host.h"
#include "toy_formats.h"

namespace {

using namespace mediahost;

class ToyDemux : public DemuxSession {
 public:
  ToyDemux(KvrEntryFn entry, std::string path) : entry_(entry), path_(std::move(path)) {}
  ~ToyDemux() override { close(); }
  int open(int32_t* frames) {
    ToyOpenRecord rec{};
    rec.host = Host::get().services();
    rec.file = path_.c_str();
    ToyInfoRecord info{};
    int r = entry_(TOY_OPEN, &slot_, &rec, &info);
    *frames = info.frames;
    return r;
  }
  int streams(std::vector<StreamDesc>* out) override {
    out->push_back(StreamDesc{"data", 0, {{"codec_name", "toy"}}});
    return kOk;
  }
  int next(const std::string&, Frame* f) override {
    ToyFrameRecord rec{};
    int r = entry_(TOY_NEXT, &slot_, nullptr, &rec);
    if (r == TOY_END) return kEnd;
    if (r < 0) return r;
    f->kind = "data";
    f->track = 0;
    f->timeMs = rec.time_ms;
    f->key = rec.key;
    f->data = rec.data;
    f->size = size_t(rec.size);
    return kOk;
  }
  int seek(long long ms, int, long long* landed) override {
    int32_t target = int32_t(ms), at = 0;
    int r = entry_(TOY_SEEK, &slot_, &target, &at);
    if (r < 0) return r;
    *landed = at;
    return kOk;
  }
  int close() override {
    if (!slot_) return kOk;
    return entry_(TOY_CLOSE, &slot_, nullptr, nullptr);
  }

 private:
  KvrEntryFn entry_;
  std::string path_;
  void* slot_ = nullptr;
};

std::unique_ptr<DemuxSession> openToy(KvrEntryFn entry, const std::string& path, int* code) {
  std::unique_ptr<ToyDemux> s(new ToyDemux(entry, path));
  int32_t frames = 0;
  int r = s->open(&frames);
  if (r < 0) {
    *code = r;
    return nullptr;
  }
  return s;
}

class ToyDecode : public DecodeSession {
 public:
  ToyDecode(KvrEntryFn entry) : entry_(entry) {}
  ~ToyDecode() override { close(); }
  int open(const WavFormat& f) {
    ToyDecInit init{hostMalloc, hostFree, f.channels};
    return entry_(0, &slot_, &init, nullptr);
  }
  int decode(const uint8_t* data, size_t size, size_t* consumed, std::vector<uint8_t>* pcm) override {
    std::vector<int16_t> out(256 * 8);
    ToyDecIo io{data, int32_t(size), out.data(), 0};
    int r = entry_(1, &slot_, &io, nullptr);
    if (r == TOY_DEC_NEED_MORE) return kNeedMore;
    if (r < 0) return r;
    *consumed = size_t(io.in_size);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(out.data());
    pcm->insert(pcm->end(), bytes, bytes + size_t(io.in_size) * 2);
    return kOk;
  }
  int close() override { return entry_(3, &slot_, nullptr, nullptr); }

 private:
  KvrEntryFn entry_;
  void* slot_ = nullptr;
};

std::unique_ptr<DecodeSession> openToyDecoder(KvrEntryFn entry, const WavFormat& f, int* code) {
  std::unique_ptr<ToyDecode> s(new ToyDecode(entry));
  int r = s->open(f);
  if (r < 0) {
    *code = r;
    return nullptr;
  }
  return s;
}

}  // namespace

const mediahost::DemuxAdapter kToyDemuxAdapter = {"KVR_TOY_DMX", "toy", openToy};
const mediahost::DecoderAdapter kToyDecoderAdapter = {"KVR_TOY_DEC", "toy pcm", openToyDecoder};
MEDIAHOST_REGISTER_DEMUX(kToyDemuxAdapter);
MEDIAHOST_REGISTER_DECODER(kToyDecoderAdapter);
