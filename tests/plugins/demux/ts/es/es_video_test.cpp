// Video header parsing over hand-built headers: every codec's fields, the
// failure codes, truncated parameter sets and counts beyond the standard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "es_samples.h"
#include "es_test_context.h"

namespace {

struct Parsed {
  int32_t result;
  TsdVideoHeader h;
  int32_t error;
  int32_t line;
};

Parsed parse(uint32_t codec, const std::vector<uint8_t>& bytes, TsdVideoHeader start = {}) {
  // An exactly sized heap copy, so a read past the payload is an error under
  // the address sanitizer.
  std::vector<uint8_t> copy(bytes);
  EsTestContext ctx{};
  ctx.payload = copy.empty() ? nullptr : copy.data();
  ctx.length = int32_t(copy.size());
  Parsed p{0, start, 0, 0};
  p.result = TSD_ParseVideoHeader(&ctx, codec, &p.h);
  p.error = ctx.lastError;
  p.line = ctx.errorLine;
  return p;
}

std::string tag(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

TEST(VideoHeader, H264SizeCroppingAndFrameRate) {
  struct Case {
    const char* name;
    H264Sps sps;
    uint32_t width, height, rate;
  };
  std::vector<Case> cases;
  {
    H264Sps s;  // 1920x1088 coded, 4:2:0, bottom crop 4 (two chroma rows)
    s.crop[3] = 4;
    cases.push_back({"1080p", s, 1920, 1080, 29970});
  }
  {
    H264Sps s;  // field coding: map units are field macroblock rows
    s.profile = 77;
    s.frameMbsOnly = false;
    s.heightUnits = 34;
    s.crop[3] = 2;
    s.unitsInTick = 1;
    s.timeScale = 50;
    cases.push_back({"1080i", s, 1920, 1080, 25000});
  }
  {
    H264Sps s;  // 4:2:2 crops whole luma rows vertically
    s.profile = 122;
    s.chroma = 2;
    s.widthMbs = 40;
    s.heightUnits = 23;
    s.crop[3] = 8;
    s.scalingMatrix = true;
    s.pocType = 1;
    s.pocCycle = 3;
    cases.push_back({"422", s, 640, 360, 29970});
  }
  {
    H264Sps s;  // 4:4:4: twelve scaling lists, crop in luma samples
    s.profile = 244;
    s.chroma = 3;
    s.scalingMatrix = true;
    s.crop[1] = 6;
    s.timing = false;
    cases.push_back({"444", s, 1914, 1088, 0});
  }
  {
    H264Sps s;  // no VUI at all, baseline profile
    s.profile = 66;
    s.vui = false;
    s.widthMbs = 22;
    s.heightUnits = 18;
    cases.push_back({"cif", s, 352, 288, 0});
  }
  {
    H264Sps s;  // num_units_in_tick 0: the divisor becomes 2
    s.unitsInTick = 0;
    s.timeScale = 50;
    cases.push_back({"zero tick", s, 1920, 1088, 25000});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A slice of another picture first, to show that the SPS is looked for.
    auto bytes = concat({nalUnit({0x41}, {0x9A, 0x12, 0x34}), h264Sps(c.sps)});
    Parsed p = parse(0xFFFF001Bu, bytes);
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.h.width, c.width);
    EXPECT_EQ(p.h.height, c.height);
    EXPECT_EQ(p.h.frameRate, c.rate);
    EXPECT_EQ(tag(p.h.codecTag), "H264");
    EXPECT_EQ(p.h.audSeen, 0u);
  }
}

TEST(VideoHeader, H264AccessUnitDelimiterIsNotedAndRecordWordsAreCleared) {
  TsdVideoHeader start{};
  start.reserved = 5;
  start.aspectRatio = 9;
  start.bitRate = 9;
  start.interlaced = 1;
  start.unused = 1234;
  auto bytes = concat({nalUnit({0x09}, {0x10}), h264Sps(H264Sps{})});
  Parsed p = parse(0x2001Bu, bytes, start);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.h.audSeen, 1u);
  EXPECT_EQ(p.h.reserved, 0u);
  EXPECT_EQ(p.h.aspectRatio, 0u);
  EXPECT_EQ(p.h.bitRate, 0u);
  EXPECT_EQ(p.h.interlaced, 0u);
  EXPECT_EQ(p.h.unused, 1234u);
}

TEST(VideoHeader, MvcSubsetSpsAfterTheWholeSpsSyntax) {
  // The rate comes from the MVC VUI, which lies behind the base VUI, the
  // HRD parameters and the view, reference and level lists.
  auto bytes = concat({h264Sps(H264Sps{}), mvcSubsetSps(118, 1001, 48000)});
  Parsed p = parse(0xFFFF0020u, bytes);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(tag(p.h.codecTag), "MVC ");
  EXPECT_EQ(p.h.width, 1920u);
  EXPECT_EQ(p.h.height, 1088u);
  EXPECT_EQ(p.h.frameRate, 23976u);

  // A subset SPS of another profile is passed over.
  p = parse(0x20020u, concat({mvcSubsetSps(100, 1, 50), h264Sps(H264Sps{})}));
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.error, -3003);
}

TEST(VideoHeader, HevcSizeAndTimingFromSpsOrVps) {
  HevcSps s;
  Parsed p = parse(0xFFFF0024u, concat({hevcVps(1, 25, 1), hevcSps(s)}));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(tag(p.h.codecTag), "HEVC");
  EXPECT_EQ(p.h.width, 1920u);
  EXPECT_EQ(p.h.height, 1080u);
  EXPECT_EQ(p.h.frameRate, 59940u);  // the SPS's own timing wins

  HevcSps noTiming;
  noTiming.timing = false;
  noTiming.maxSubMinus1 = 0;
  noTiming.chroma = 2;
  noTiming.window[0] = 8;  // 4:2:2: two luma columns per unit, one row
  p = parse(0xFFFF0024u, concat({hevcVps(1001, 60000), hevcSps(noTiming)}));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.h.width, 1920u - 16u);
  EXPECT_EQ(p.h.height, 1088u - 4u);
  EXPECT_EQ(p.h.frameRate, 59940u);  // kept from the VPS

  HevcSps zeroTick;
  zeroTick.units = 0;
  zeroTick.scale = 50;
  zeroTick.scalingList = false;
  p = parse(0xFFFF0024u, hevcSps(zeroTick));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.h.frameRate, 50000u);
}

TEST(VideoHeader, Mpeg2FixedFields) {
  struct Case {
    uint32_t aspect, rateCode, expectAspect, expectRate;
  } cases[] = {{3, 4, 7031, 29970}, {2, 9, 6735, 0}, {1, 8, 10000, 60000}, {15, 1, 0, 23976}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rateCode);
    auto bytes = concat({std::vector<uint8_t>{0xFF, 0x00}, mpeg2Sequence(720, 576, c.aspect, c.rateCode, 15000),
                         std::vector<uint8_t>{0, 0, 1, 0xB8}});
    TsdVideoHeader start{};
    start.reserved = 42;
    Parsed p = parse(0x30080u, bytes, start);
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.h.width, 720u);
    EXPECT_EQ(p.h.height, 576u);
    EXPECT_EQ(p.h.aspectRatio, c.expectAspect);
    EXPECT_EQ(p.h.frameRate, c.expectRate);
    EXPECT_EQ(p.h.bitRate, 15000u * 400u);
    EXPECT_EQ(p.h.reserved, 42u);
    EXPECT_EQ(tag(p.h.codecTag), "mpeg");
  }
  // A sequence header too close to the end of the buffer is not taken.
  auto cut = mpeg2Sequence(720, 576, 3, 4, 15000);
  cut.resize(10);
  cut.insert(cut.begin(), 4, 0xFF);
  EXPECT_EQ(parse(0xFFFF0002u, cut).error, -3003);
}

TEST(VideoHeader, Vc1SequenceHeader) {
  struct Case {
    const char* name;
    Vc1Seq s;
    uint32_t width, height, rate, bitRate, interlaced;
  };
  std::vector<Case> cases;
  cases.push_back({"coarse", Vc1Seq{}, 1920, 1080, 14000, 672, 0});
  {
    Vc1Seq s;
    s.frmrtq = 0;
    s.bitrtq = 31;
    s.interlace = 1;
    cases.push_back({"no coarse rates", s, 1920, 1080, 0, 0, 1});
  }
  {
    Vc1Seq s;
    s.frmrtq = 0;
    s.bitrtq = 30;
    cases.push_back({"rtq 0/30", s, 1920, 1080, 2000, 1952, 0});
  }
  {
    Vc1Seq s;
    s.frmrtq = 7;
    s.bitrtq = 31;
    s.displayExt = true;
    cases.push_back({"display size", s, 1440, 1080, 30000, 2016, 0});
  }
  {
    Vc1Seq s;
    s.displayExt = true;
    s.rateMode = 1;
    s.exp = 799;  // (799 + 1) / 32 = 25 fps
    cases.push_back({"frame rate exponent", s, 1440, 1080, 25000, 672, 0});
  }
  {
    Vc1Seq s;
    s.displayExt = true;
    s.rateMode = 2;
    s.nr = 4;
    s.dr = 2;
    cases.push_back({"rate table 1001", s, 1440, 1080, 49950, 672, 0});
  }
  {
    Vc1Seq s;
    s.displayExt = true;
    s.rateMode = 2;
    s.nr = 8;
    s.dr = 1;
    cases.push_back({"no table row", s, 1440, 1080, 14000, 672, 0});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Parsed p = parse(0x200EAu, vc1Sequence(c.s));
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(tag(p.h.codecTag), "wvc1");
    EXPECT_EQ(p.h.width, c.width);
    EXPECT_EQ(p.h.height, c.height);
    EXPECT_EQ(p.h.frameRate, c.rate);
    EXPECT_EQ(p.h.bitRate, c.bitRate);
    EXPECT_EQ(p.h.interlaced, c.interlaced);
  }
}

TEST(VideoHeader, AvsSequenceHeader) {
  Parsed p = parse(0xFFFF0042u, avsSequence(1920, 1080, 0, 3, 3));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(tag(p.h.codecTag), "AVS ");
  EXPECT_EQ(p.h.width, 1920u);
  EXPECT_EQ(p.h.height, 1080u);
  EXPECT_EQ(p.h.interlaced, 1u);
  EXPECT_EQ(p.h.aspectRatio, 5625u);
  EXPECT_EQ(p.h.frameRate, 25000u);

  p = parse(0xFFFF0042u, avsSequence(720, 576, 1, 9, 8));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.h.interlaced, 0u);
  EXPECT_EQ(p.h.aspectRatio, 0u);
  EXPECT_EQ(p.h.frameRate, 0u);
}

TEST(VideoHeader, Mpeg4VolAndShortHeader) {
  Parsed p = parse(0x10010u, mpeg4Vol(640, 480, 30000, 1001, 1));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(tag(p.h.codecTag), "MP4V");
  EXPECT_EQ(p.h.width, 640u);
  EXPECT_EQ(p.h.height, 480u);
  EXPECT_EQ(p.h.interlaced, 1u);
  EXPECT_EQ(p.h.frameRate, 29970u);

  p = parse(0xFFFF0010u, mpeg4Vol(320, 240, 25, 0, 0, 3));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.h.width, 320u);
  EXPECT_EQ(p.h.frameRate, 0u);  // no fixed VOP rate

  // Binary-only shape carries no size; the search goes on.
  EXPECT_EQ(parse(0xFFFF0010u, mpeg4Vol(320, 240, 25, 1, 0, 2)).error, -3003);

  p = parse(0x20010u, mpeg4ShortHeader(2));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.h.width, 176u);
  EXPECT_EQ(p.h.height, 144u);
  EXPECT_EQ(p.h.frameRate, 29970u);
}

TEST(VideoHeader, FailureCodes) {
  std::vector<uint8_t> seven = {0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0};
  for (uint32_t codec : {0xFFFF0002u, 0xFFFF001Bu, 0xFFFF0024u, 0x12345678u}) {
    Parsed p = parse(codec, seven);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.error, -4001);
    EXPECT_EQ(p.line, 2889);
  }
  Parsed p = parse(0xFFFF0003u, mpeg2Sequence(720, 576, 3, 4, 1));
  EXPECT_EQ(p.error, -3001);
  EXPECT_EQ(p.line, 2943);
  p = parse(0x40010u, mpeg4Vol(320, 240, 25, 1, 0));  // MPEG-4 in a family that has none
  EXPECT_EQ(p.error, -3001);
  std::vector<uint8_t> noise(300, 0x5A);
  for (uint32_t codec : {0xFFFF0002u, 0xFFFF0010u, 0xFFFF001Bu, 0xFFFF0020u, 0xFFFF0024u,
                         0xFFFF0042u, 0xFFFF00EAu}) {
    p = parse(codec, noise);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.error, -3003);
    EXPECT_EQ(p.line, 2949);
  }
  // Without a context the payload is empty and the error has nowhere else
  // to go than the process-wide pair.
  TsdVideoHeader h{};
  g_esTestLastError = 0;
  EXPECT_EQ(TSD_ParseVideoHeader(nullptr, 0xFFFF001Bu, &h), 0);
  EXPECT_EQ(g_esTestLastError, -4001);
}

// Every prefix of each header parses inside its buffer (reads beyond it are
// zeros); a parameter set cut after its size fields still gives the size.
TEST(VideoHeader, TruncatedHeadersReadZerosPastTheEnd) {
  struct Sample {
    uint32_t codec;
    std::vector<uint8_t> bytes;
  };
  HevcSps hevc;
  Vc1Seq vc1;
  vc1.displayExt = true;
  vc1.rateMode = 2;
  vc1.nr = 2;
  vc1.dr = 1;
  std::vector<Sample> samples = {
      {0xFFFF001Bu, h264Sps(H264Sps{})},
      {0xFFFF0020u, mvcSubsetSps(128, 1001, 48000)},
      {0xFFFF0024u, concat({hevcVps(1001, 60000, 2), hevcSps(hevc)})},
      {0xFFFF00EAu, vc1Sequence(vc1)},
      {0xFFFF0042u, avsSequence(1920, 1080, 0, 3, 3)},
      {0xFFFF0010u, mpeg4Vol(640, 480, 30000, 1001, 1)},
      {0xFFFF0010u, mpeg4ShortHeader(3)},
      {0xFFFF0002u, mpeg2Sequence(720, 576, 3, 4, 1)},
  };
  for (const Sample& s : samples) {
    for (size_t len = 0; len <= s.bytes.size(); len++) {
      std::vector<uint8_t> cut(s.bytes.begin(), s.bytes.begin() + len);
      Parsed p = parse(s.codec, cut);
      if (p.result == 0) {
        EXPECT_NE(p.error, 0) << "codec " << std::hex << s.codec << " length " << len;
      }
    }
  }
  // The H.264 SPS cut in the byte that holds vui_parameters_present_flag:
  // the timing information lies beyond and reads as absent.
  H264Sps plain;
  plain.vui = false;
  auto full = h264Sps(H264Sps{});
  auto head = h264Sps(plain);
  std::vector<uint8_t> cut(full.begin(), full.begin() + head.size());
  Parsed p = parse(0xFFFF001Bu, cut);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.h.width, 1920u);
  EXPECT_EQ(p.h.height, 1088u);
  EXPECT_EQ(p.h.frameRate, 0u);
}

// Counts read with ue(v) far beyond what the standard allows must neither
// loop for billions of entries nor run past the copy of the parameter set.
TEST(VideoHeader, OversizedCountsAreBounded) {
  auto withHugeCount = [](auto writePrefix, int afterBits) {
    BitWriter w;
    writePrefix(w);
    w.ue(0xFFFFFFFEu);
    w.put(0, afterBits);
    return w.data();
  };
  struct Case {
    const char* name;
    uint32_t codec;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"H.264 picture order cycle", 0xFFFF001Bu,
                   nalUnit({0x67}, withHugeCount([](BitWriter& w) {
                             w.put(77, 8).put(0, 8).put(40, 8).ue(0).ue(4).ue(1).put(0, 1).se(1).se(1);
                           }, 64))});
  cases.push_back({"MVC view count", 0xFFFF0020u,
                   nalUnit({0x6F}, withHugeCount([](BitWriter& w) {
                             H264Sps s;
                             s.profile = 128;
                             writeH264SpsData(w, s);
                             w.put(1, 1);
                           }, 64))});
  cases.push_back({"HEVC short-term sets", 0xFFFF0024u,
                   nalUnit({0x42, 0x01}, withHugeCount([](BitWriter& w) {
                             w.put(0, 8);
                             writeHevcPtl(w, 0);
                             w.ue(0).ue(1).ue(64).ue(64).put(0, 1).ue(0).ue(0).ue(4).put(1, 1);
                             w.ue(1).ue(0).ue(0).ue(0).ue(0).ue(0).ue(0).ue(0).ue(0).put(0, 3);
                           }, 64))});
  cases.push_back({"HEVC VPS layer sets", 0xFFFF0024u,
                   nalUnit({0x40, 0x01}, withHugeCount([](BitWriter& w) {
                             w.put(0x0C01FFFF, 32);
                             writeHevcPtl(w, 0);
                             w.put(1, 1).ue(0).ue(0).ue(0).put(63, 6);
                           }, 64))});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Followed by a buffer's worth of 0xFF bytes that read as ue(v) = 0.
    std::vector<uint8_t> bytes = c.bytes;
    bytes.insert(bytes.end(), 5000, 0xFF);
    parse(c.codec, bytes);
    parse(c.codec, c.bytes);
  }
  // An HEVC SPS with 2^32-2 short-term sets still gives its size.
  Parsed p = parse(0xFFFF0024u, cases[2].bytes);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.h.width, 64u);
}

}  // namespace
