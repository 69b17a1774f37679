#ifndef PCMDEC_DRIVER_H
#define PCMDEC_DRIVER_H
// Test helpers for the PCM decoder library: load it, open a decoder with a
// given set of init words, push a stream through op 1 and collect the
// samples; run ffmpeg for fixtures and oracle decodes; read AIFF files.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kvr_pcmdec.h"
#include "mediahost/plugin.h"

namespace pcmtest {

KvrEntryFn entry();
const mediahost::Plugin& plugin();
template <typename T>
T* symbol(const char* name) {
  return reinterpret_cast<T*>(plugin().symbol(name));
}

struct Params {
  int32_t format = KVR_WAV_FMT_PCM;
  int32_t channels = 2;
  int32_t rate = 48000;
  int32_t bits = 16;
  int32_t blockAlign = 0;
  int32_t bigEndian = 0;
  int32_t layout = KVR_LPCM_PLAIN;
  int32_t downmix = 0;
  int32_t interleaved = 1;
  int32_t outBits = 16;  // requested output bits (above 16 asks for 32-bit containers)
  std::vector<uint8_t> extra;
};

// One decoder handle over the library's entry, with the host's counting
// allocator.
class Decoder {
 public:
  Decoder() = default;
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  int open(const Params& p);
  KvrWavDecContext* context() const { return static_cast<KvrWavDecContext*>(slot_); }
  const KvrWavDecOutput& outFormat() const { return outFormat_; }
  // One op-1 call over `in` with output buffers of `capacityFrames` frames
  // (interleaved in buffer 0, or one per channel). Samples go to `frames`
  // in interleaved order as 32-bit values whatever the width.
  int decodeOnce(KvrWavDecInput* in, KvrWavDecOutput* out, std::vector<int32_t>* samples,
                 size_t capacityFrames = 16384);
  // Feeds the whole stream in `chunk`-byte windows (a window grows when the
  // decoder wants more) and returns every sample; stops at the first error.
  int decodeAll(const std::vector<uint8_t>& data, size_t chunk, std::vector<int32_t>* samples);
  // The same for BD/DVD-style packets: one op-1 call per packet.
  int decodePackets(const std::vector<std::vector<uint8_t>>& packets, std::vector<int32_t>* samples);
  int close();

  int lastChannels = 0;
  int lastRate = 0;

 private:
  void* slot_ = nullptr;
  Params params_;
  KvrWavDecInput inFormat_{};
  KvrWavDecOutput outFormat_{};
  std::vector<std::vector<uint8_t>> buffers_;
};

// Files and ffmpeg.
std::string workDir();
std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
// Runs "ffmpeg -nostdin -loglevel error -y ARGS"; true on exit status 0.
bool ffmpeg(const std::string& args);
std::vector<int16_t> readS16(const std::string& path);
std::vector<int32_t> readS32(const std::string& path);

// The data chunk and format of a WAV file.
struct Wav {
  uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
  uint32_t rate = 0;
  std::vector<uint8_t> extra, data;
};
bool parseWav(const std::vector<uint8_t>& file, Wav* wav);
std::vector<uint8_t> makeWav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                             uint16_t blockAlign, const std::vector<uint8_t>& data);

// COMM and SSND of an AIFF or AIFF-C file.
struct Aiff {
  uint16_t channels = 0, bits = 0;
  uint32_t rate = 0;
  std::string compression = "NONE";
  std::vector<uint8_t> data;
};
bool parseAiff(const std::vector<uint8_t>& file, Aiff* aiff);

// PES payloads of the private stream (0xBD) of an m2ts file, in order.
std::vector<std::vector<uint8_t>> bdPayloads(const std::vector<uint8_t>& m2ts);

// The LPCM samples of the private stream of an MPEG program stream (a DVD
// VOB), the sub-stream and LPCM headers removed, packet after packet.
std::vector<uint8_t> dvdLpcmData(const std::vector<uint8_t>& ps);

double snrDb(const std::vector<int32_t>& reference, const std::vector<int32_t>& test);

}  // namespace pcmtest

#endif
