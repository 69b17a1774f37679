// Decoding speed of the PCM decoder library against ffmpeg on the same long
// files: every format is decoded once through the library's entry and once
// by "ffmpeg -i FILE -f s16le -y /dev/null"; prints sample frames per second
// of each and the ratio (library / ffmpeg). ffmpeg's figure includes its
// start-up and file reading, so short files favour the library.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mediahost/host.h"
#include "pcmdec_driver.h"

using namespace pcmtest;
using Clock = std::chrono::steady_clock;

namespace {

struct Stream {
  Params params;
  std::vector<std::vector<uint8_t>> packets;  // one op-1 call sequence per packet
};

// Decodes every packet through op 1, as many calls as each packet takes.
// Returns sample frames, or -1 on an error.
long long decode(const Stream& s) {
  Decoder d;
  if (d.open(s.params) != 0) return -1;
  const size_t width = d.outFormat().bits > 16 ? 4 : 2;
  std::vector<uint8_t> out(size_t(1 << 20) * width * size_t(d.outFormat().channels));
  long long frames = 0;
  void* slot = d.context();
  for (const auto& packet : s.packets) {
    KvrWavDecInput in{packet.data(), int32_t(packet.size()), s.params.rate, s.params.channels, {}, 0};
    while (in.length > 0) {
      KvrWavDecOutput o{};
      o.buffer[0] = out.data();
      o.interleaved = 1;
      int r = entry()(KVR_WAV_DEC_DECODE, &slot, &in, &o);
      if (r == KVR_WAV_DEC_ENEEDMORE) break;
      if (r != 0) return -1;
      frames += o.frames;
    }
  }
  return frames;
}

// Feeds the data in 64 KiB windows, as a player reading a file would.
std::vector<std::vector<uint8_t>> windows(const std::vector<uint8_t>& data, size_t size = 65536) {
  std::vector<std::vector<uint8_t>> w;
  for (size_t pos = 0; pos < data.size(); pos += size)
    w.emplace_back(data.begin() + long(pos), data.begin() + long(std::min(data.size(), pos + size)));
  return w;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? atoi(argv[1]) : 120;
  const std::string dir = workDir();
  const std::string source = "-f lavfi -i sine=f=440:r=48000:d=" + std::to_string(seconds) +
                             " -f lavfi -i anoisesrc=r=48000:a=0.2:d=" + std::to_string(seconds) +
                             " -filter_complex \"[0][1]amix=inputs=2\"";
  struct Format {
    const char* name;
    const char* args;
    const char* file;
  } formats[] = {
      {"u8 stereo", "-ac 2 -c:a pcm_u8", "u8.wav"},
      {"s16le stereo", "-ac 2 -c:a pcm_s16le", "s16.wav"},
      {"s16le 5.1", "-ac 6 -c:a pcm_s16le", "s16_6ch.wav"},
      {"s24le stereo", "-ac 2 -c:a pcm_s24le", "s24.wav"},
      {"s16be stereo", "-ac 2 -c:a pcm_s16be", "s16be.aiff"},
      {"s24be stereo", "-ac 2 -c:a pcm_s24be", "s24be.aiff"},
      {"A-law stereo", "-ac 2 -c:a pcm_alaw", "alaw.wav"},
      {"mu-law stereo", "-ac 2 -c:a pcm_mulaw", "mulaw.wav"},
      {"MS ADPCM stereo", "-ac 2 -c:a adpcm_ms -block_size 2048", "ms.wav"},
      {"IMA ADPCM stereo", "-ac 2 -c:a adpcm_ima_wav -block_size 2048", "ima.wav"},
      {"QuickTime IMA stereo", "-ac 2 -c:a adpcm_ima_qt", "qtima.aiff"},
      {"BD LPCM 16-bit stereo", "-ac 2 -c:a pcm_bluray", "bd.m2ts"},
      {"DVD LPCM 16-bit stereo", "-ac 2 -c:a pcm_dvd -f vob", "dvd16.vob"},
      {"DVD LPCM 24-bit stereo", "-ac 2 -sample_fmt s32 -c:a pcm_dvd -f vob", "dvd24.vob"},
  };
  printf("%-24s %14s %14s %8s\n", "format", "library fr/s", "ffmpeg fr/s", "ratio");
  for (const Format& f : formats) {
    const std::string path = dir + "/bench_" + f.file;
    if (!ffmpeg(source + " " + f.args + " " + path)) {
      fprintf(stderr, "cannot make %s\n", path.c_str());
      return 1;
    }
    Stream s;
    std::vector<uint8_t> bytes = readFile(path);
    Wav wav;
    Aiff aiff;
    if (parseWav(bytes, &wav)) {
      s.params.format = wav.tag;
      s.params.channels = wav.channels;
      s.params.rate = int32_t(wav.rate);
      s.params.bits = wav.bits;
      s.params.blockAlign = wav.blockAlign;
      s.params.extra = wav.extra;
      s.packets = windows(wav.data);
    } else if (parseAiff(bytes, &aiff)) {
      bool qt = aiff.compression == "ima4";
      s.params.format = qt ? KVR_WAV_FMT_IMAADPCM_QT : KVR_WAV_FMT_PCM_BE;
      s.params.channels = aiff.channels;
      s.params.rate = int32_t(aiff.rate);
      s.params.bits = qt ? 16 : aiff.bits;
      s.packets = windows(aiff.data, qt ? 34 * 2 * 960 : 65536);
    } else if (std::string(f.file).find(".vob") != std::string::npos) {
      s.params.layout = KVR_LPCM_DVD;
      s.params.channels = 2;
      s.params.bits = std::string(f.args).find("s32") != std::string::npos ? 24 : 16;
      s.packets = windows(dvdLpcmData(bytes), 6 * 2 * 4096);
    } else {
      s.params.bigEndian = 1;
      s.params.layout = KVR_LPCM_BD;
      s.params.channels = 2;
      s.params.bits = 16;
      s.packets = bdPayloads(bytes);
    }
    s.params.outBits = s.params.bits > 16 ? 32 : 16;

    auto t0 = Clock::now();
    long long frames = decode(s);
    double libSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (frames <= 0) {
      fprintf(stderr, "%s: the library failed\n", f.name);
      return 1;
    }
    t0 = Clock::now();
    if (!ffmpeg("-i " + path + " -f s16le /dev/null")) return 1;
    double ffSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    double lib = double(frames) / libSeconds, ff = double(frames) / ffSeconds;
    printf("%-24s %14.0f %14.0f %8.2f\n", f.name, lib, ff, lib / ff);
  }
  return 0;
}
