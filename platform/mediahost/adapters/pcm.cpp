// Adapter of the PCM decoder library: feeds the data chunk of a WAV file
// through op 1 the way the audio-decoder base does, with interleaved output.
// Sources wider than 16 bits come out in 32-bit containers.
#include <algorithm>
#include <cstring>

#include "kvr_pcmdec.h"
#include "mediahost/adapter.h"
#include "mediahost/host.h"

namespace {

using namespace mediahost;

class PcmDecode : public DecodeSession {
 public:
  explicit PcmDecode(KvrEntryFn entry) : entry_(entry) {}
  ~PcmDecode() override { close(); }

  int open(const WavFormat& f) {
    extra_ = f.extra;
    inFormat_.sample_rate = int32_t(f.sampleRate);
    inFormat_.channels = f.channels;
    inFormat_.bits = f.bitsPerSample;
    outFormat_.interleaved = 1;
    outFormat_.bits = f.bitsPerSample > 16 ? 32 : 16;
    KvrWavDecInit init{};
    init.extra = extra_.empty() ? nullptr : extra_.data();
    init.extra_size = int32_t(extra_.size());
    init.in_format = &inFormat_;
    init.out_format = &outFormat_;
    init.downmix = 0;
    init.alloc = hostMalloc;
    init.release = hostFree;
    init.copy = hostMemcpy;
    init.fill = hostMemset;
    init.format = f.formatTag;
    init.block_align = f.blockAlign;
    init.big_endian = 0;
    init.layout = KVR_LPCM_PLAIN;
    return entry_(KVR_WAV_DEC_OPEN, &slot_, &init, nullptr);
  }

  int decode(const uint8_t* data, size_t size, size_t* consumed, std::vector<uint8_t>* pcm) override {
    const size_t width = outFormat_.bits > 16 ? 4 : 2;
    const size_t channels = size_t(std::max(outFormat_.channels, 1));
    // Room for the most samples one call can write: linear PCM and G.711
    // give at most one sample per input byte, the ADPCM decoders (two
    // channels at most) one block of at most 5460 frames. Sized by samples,
    // not frames x channels, so a header claiming thousands of channels
    // cannot make the host allocate gigabytes.
    const size_t samples = std::max<size_t>(size, 32768) + channels;
    out_.resize(samples * width);
    KvrWavDecInput in{};
    in.data = data;
    in.length = int32_t(std::min<size_t>(size, 0x7FFFFFFF));
    in.sample_rate = inFormat_.sample_rate;
    in.channels = inFormat_.channels;
    KvrWavDecOutput out{};
    out.buffer[0] = out_.data();
    out.interleaved = 1;
    int r = entry_(KVR_WAV_DEC_DECODE, &slot_, &in, &out);
    if (r == KVR_WAV_DEC_ENEEDMORE) return kNeedMore;
    if (r < 0) return r;
    *consumed = size_t(in.data - data);
    size_t bytes = size_t(out.frames) * size_t(out.channels) * width;
    if (bytes > out_.size()) {
      Host::get().violation("decoder reported more samples than the output buffer holds");
      bytes = out_.size();
    }
    pcm->insert(pcm->end(), out_.begin(), out_.begin() + long(bytes));
    return kOk;
  }

  int close() override {
    if (!slot_) return kOk;
    return entry_(KVR_WAV_DEC_CLOSE, &slot_, nullptr, nullptr);
  }

 private:
  KvrEntryFn entry_;
  void* slot_ = nullptr;
  std::vector<uint8_t> extra_;
  HostBytes out_;
  KvrWavDecInput inFormat_{};
  KvrWavDecOutput outFormat_{};
};

std::unique_ptr<DecodeSession> openPcm(KvrEntryFn entry, const WavFormat& f, int* code) {
  std::unique_ptr<PcmDecode> s(new PcmDecode(entry));
  int r = s->open(f);
  if (r < 0) {
    *code = r;
    return nullptr;
  }
  return s;
}

}  // namespace

const mediahost::DecoderAdapter kPcmDecoderAdapter = {"KVR_WAV_DEC", "pcm", openPcm};
MEDIAHOST_REGISTER_DECODER(kPcmDecoderAdapter);
