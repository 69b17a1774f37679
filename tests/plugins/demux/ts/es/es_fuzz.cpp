// Fuzz targets of the header parsers. One source, built once per parser
// with TSD_FUZZ_TARGET naming it. The input is cut into up to three
// payloads (the first byte picks where) that go to the parser one after the
// other with the same record and context, as successive PES payloads of one
// stream would; the crash, hang and leak checks are the harness's and the
// sanitizers'.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "es_test_context.h"

#define TSD_FUZZ_VIDEO_HEADER 1
#define TSD_FUZZ_FRAME_COUNT 2
#define TSD_FUZZ_AUDIO 3
#define TSD_FUZZ_DOLBY 4
#define TSD_FUZZ_AAC 5

namespace {

// Splits the input after its first byte into payloads; each is copied to an
// exactly sized buffer so an over-read is caught.
std::vector<std::vector<uint8_t>> payloads(const uint8_t* data, size_t size) {
  std::vector<std::vector<uint8_t>> out;
  if (size == 0) return out;
  uint8_t split = data[0];
  data++;
  size--;
  size_t first = split & 0x80 ? size : size * (split & 0x7F) / 128;
  size_t second = first + (size - first) / 2;
  out.emplace_back(data, data + first);
  if (first < size) {
    out.emplace_back(data + first, data + second);
    out.emplace_back(data + second, data + size);
  }
#ifdef TSD_FUZZ_EMPTY_PAYLOADS
  // The harness as it must not be: the reach check's test builds it so and
  // expects the check to fail.
  for (auto& p : out) p.clear();
#endif
  return out;
}

void feed(EsTestContext& ctx, std::vector<uint8_t>& p) {
  ctx.payload = p.empty() ? nullptr : p.data();
  ctx.length = int32_t(p.size());
}

#if TSD_FUZZ_TARGET == TSD_FUZZ_VIDEO_HEADER || TSD_FUZZ_TARGET == TSD_FUZZ_FRAME_COUNT
const uint32_t kVideoCodecs[] = {0xFFFF0002u, 0xFFFF0010u, 0xFFFF001Bu, 0xFFFF0020u,
                                 0xFFFF0024u, 0xFFFF0042u, 0xFFFF00EAu};
#endif

void run(const uint8_t* data, size_t size) {
  auto parts = payloads(data, size);
#if TSD_FUZZ_TARGET == TSD_FUZZ_VIDEO_HEADER
  for (uint32_t codec : kVideoCodecs) {
    EsTestContext ctx{};
    TsdVideoHeader h{};
    for (auto& p : parts) {
      feed(ctx, p);
      TSD_ParseVideoHeader(&ctx, codec, &h);
    }
  }
#elif TSD_FUZZ_TARGET == TSD_FUZZ_FRAME_COUNT
  for (uint32_t codec : kVideoCodecs) {
    EsTestContext ctx{};
    TsdVideoHeader h{};
    TsdKeyFrameChecker checker = nullptr;
    TSD_GetKeyFrameChecker(&ctx, codec, &checker);
    for (auto& p : parts) {
      feed(ctx, p);
      TSD_GetVideoFrameCount(&ctx, codec, &h);
      if (checker) {
        checker(&h, ctx.payload, ctx.length);
        h.interlaced ^= 1;
        checker(&h, ctx.payload, ctx.length);
      }
    }
  }
  TSD_GetAVSFrameStartPos(nullptr, 0);
  for (auto& p : parts) {
    size_t at = 0;
    while (at <= p.size()) {
      int32_t r = TSD_GetAVSFrameStartPos(p.data() + at, int32_t(p.size() - at));
      if (r < 0) break;
      at += size_t(r) + 4;
    }
  }
#else
#if TSD_FUZZ_TARGET == TSD_FUZZ_AUDIO
  const uint32_t codecs[] = {0xFFFF0003u, 0x20082u, 0x20080u, 0xFFFF0083u};
#elif TSD_FUZZ_TARGET == TSD_FUZZ_DOLBY
  const uint32_t codecs[] = {0xFFFF0081u, 0x20083u, 0xFFFF0084u};
#elif TSD_FUZZ_TARGET == TSD_FUZZ_AAC
  const uint32_t codecs[] = {0xFFFF000Fu, 0xFFFF0011u};
#endif
  for (uint32_t codec : codecs) {
    EsTestContext ctx{};
    AudioHeaderInfo info{};
    for (auto& p : parts) {
      feed(ctx, p);
      TSD_ParseAudioHeader(&ctx, codec, &info);
    }
  }
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  run(data, size);
  return 0;
}
