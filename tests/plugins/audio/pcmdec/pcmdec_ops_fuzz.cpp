// Fuzz target over ops 0 and 1 with every init word the library reads: a
// 16-byte parameter header picks the format, layout, flags, channels, bits,
// block alignment, extra data, output request and speaker table; the rest is
// fed to op 1 in windows whose sizes come from the input. Output buffers are
// sized for the largest block a decoder may write, so any write past them,
// any read past the input window, a leak or a non-negative refusal aborts.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <sanitizer/asan_interface.h>

#include "kvr_pcmdec.h"
#include "mediahost/host.h"
#include "mediahost/plugin.h"
#include "pcmdec_plugin.h"

namespace {

const int32_t kFormats[8] = {KVR_WAV_FMT_PCM, KVR_WAV_FMT_PCM_BE, KVR_WAV_FMT_MSADPCM, KVR_WAV_FMT_ALAW,
                             KVR_WAV_FMT_ULAW, KVR_WAV_FMT_IMAADPCM, KVR_WAV_FMT_IMAADPCM_QT, 3};
const int32_t kBits[8] = {8, 16, 20, 24, 4, 3, 0, 32};

void check(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "pcmdec fuzz: %s\n", what);
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const KvrEntryFn entry = pcmtest::loadedPlugin(HOLVIK_PLUGIN_PATH).entry();
  if (size < 16) return 0;
  mediahost::Host& host = mediahost::Host::get();
  host.reset();
  const uint8_t* h = data;
  KvrWavDecInput inFormat{};
  inFormat.sample_rate = 8000 * (1 + h[7] % 24);
  inFormat.channels = h[2] % 11;
  inFormat.bits = kBits[h[3] % 8];
  KvrWavDecOutput outFormat{};
  outFormat.interleaved = (h[1] >> 4) & 1;
  outFormat.bits = (h[1] & 0x40) ? 32 : 16;
  size_t extraSize = h[6] % 40;
  if (extraSize > size - 16) extraSize = size - 16;
  std::vector<uint8_t> extra(data + 16, data + 16 + extraSize);
  KvrWavDecInit init{};
  init.extra = extra.empty() ? nullptr : extra.data();
  init.extra_size = int32_t(extra.size());
  init.in_format = &inFormat;
  init.out_format = &outFormat;
  init.downmix = (h[1] >> 3) & 1;
  init.alloc = mediahost::hostMalloc;
  init.release = mediahost::hostFree;
  init.copy = mediahost::hostMemcpy;
  init.fill = mediahost::hostMemset;
  init.format = kFormats[h[0] % 8];
  init.block_align = (h[4] | h[5] << 8) % 4200;
  init.big_endian = (h[1] >> 2) & 1;
  init.layout = h[1] & 3;
  if (h[1] & 0x80) {
    mediahost::Faults f;
    f.failAllocAt = 1 + h[7] % 3;
    host.setFaults(f);
  }
  void* slot = nullptr;
  int r = entry(KVR_WAV_DEC_OPEN, &slot, &init, nullptr);
  check(r <= 0, "open returned a positive code");
  check((r == 0) == (slot != nullptr), "open result and slot disagree");
  if (r == 0) {
    const size_t channels = size_t(outFormat.channels);
    const size_t width = outFormat.bits > 16 ? 4 : 2;
    const uint8_t* stream = data + 16 + extraSize;
    size_t left = size - 16 - extraSize, window = 1 + h[8] * 7 + h[9];
    KvrWavDecOutput table{};
    for (int i = 0; i < 8; ++i) table.position[i] = h[8 + i] % 10;
    for (int calls = 0; left > 0 && calls < 2000; ++calls) {
      size_t avail = left < window ? left : window;
      std::unique_ptr<uint8_t[]> piece(new uint8_t[avail]);
      memcpy(piece.get(), stream, avail);
      // The largest block: one G.711 frame per byte, 2048 linear-PCM frames,
      // a 3-bit IMA block of 4096 bytes, 5460 MS ADPCM frames.
      const size_t frames = avail + 16384;
      // The same buffers for every call (fresh ones of these sizes per call
      // were most of the time): what lies past this call's room is
      // poisoned, so a write beyond it is still reported.
      static std::vector<uint8_t>* const storage = new std::vector<uint8_t>[8];
      const size_t bufferCount = outFormat.interleaved ? 1 : channels;
      const size_t room = frames * width * (outFormat.interleaved ? channels : 1);
      KvrWavDecOutput out = table;
      for (size_t i = 0; i < bufferCount && i < 8; ++i) {
        std::vector<uint8_t>& b = storage[i];
        ASAN_UNPOISON_MEMORY_REGION(b.data(), b.size());
        if (b.size() < room) b.resize(room);
        ASAN_POISON_MEMORY_REGION(b.data() + room, b.size() - room);
        out.buffer[i] = b.data();
      }
      KvrWavDecInput in{piece.get(), int32_t(avail), inFormat.sample_rate, inFormat.channels, {}, 0};
      r = entry(KVR_WAV_DEC_DECODE, &slot, &in, &out);
      check(r <= 0, "decode returned a positive code");
      check(in.length >= 0 && in.data >= piece.get() && in.data + in.length <= piece.get() + avail,
            "input record left outside the window");
      if (r == KVR_WAV_DEC_ENEEDMORE) {
        check(in.data == piece.get() && in.length == int32_t(avail), "-13 consumed input");
        if (avail == left) break;
        window *= 2;
        continue;
      }
      if (r < 0) break;
      check(out.frames >= 0 && size_t(out.frames) <= frames, "frame count beyond the buffers");
      size_t used = size_t(in.data - piece.get());
      if (used == 0 && out.frames == 0) break;
      stream += used;
      left -= used;
    }
    check(entry(KVR_WAV_DEC_CLOSE, &slot, nullptr, nullptr) == 0 && slot == nullptr, "close");
  }
  host.setFaults(mediahost::Faults());
  if (host.allocStats().liveBlocks != 0) {
    fprintf(stderr, "%s", host.leakReport().c_str());
    abort();
  }
  return 0;
}
