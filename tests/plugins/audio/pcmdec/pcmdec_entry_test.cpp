// The entry's operations, the block decoders' framing and error paths, the
// channel order and the DVD/BD packet layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "mediahost/host.h"
#include "pcmdec_driver.h"

using namespace pcmtest;

namespace {

class PcmDec : public testing::Test {
 protected:
  void SetUp() override { mediahost::Host::get().reset(); }
  void TearDown() override {
    EXPECT_EQ(mediahost::Host::get().allocStats().liveBlocks, 0u) << mediahost::Host::get().leakReport();
  }
};

std::vector<uint8_t> msExtension(uint16_t samplesPerBlock, uint8_t count = 7) {
  static const int16_t c1[7] = {256, 512, 0, 192, 240, 460, 392};
  static const int16_t c2[7] = {0, -256, 0, 64, 0, -208, -232};
  std::vector<uint8_t> e = {uint8_t(samplesPerBlock), uint8_t(samplesPerBlock >> 8), count, 0};
  for (int i = 0; i < 7; ++i) {
    e.push_back(uint8_t(c1[i]));
    e.push_back(uint8_t(uint16_t(c1[i]) >> 8));
    e.push_back(uint8_t(c2[i]));
    e.push_back(uint8_t(uint16_t(c2[i]) >> 8));
  }
  return e;
}

Params pcm(int channels, int bits) {
  Params p;
  p.channels = channels;
  p.bits = bits;
  return p;
}

TEST_F(PcmDec, TableHoldsTheEntryInSlotZeroOnly) {
  auto list = symbol<KvrEntryFn>("FucntionList");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(list[0]), plugin().symbol("KVR_WAV_DEC"));
  for (int i = 1; i < 9; ++i) EXPECT_EQ(list[i], nullptr);
}

TEST_F(PcmDec, OpenValidatesEveryFormat) {
  auto ima = [](int channels, int bits, int align, std::vector<uint8_t> extra) {
    Params p;
    p.format = KVR_WAV_FMT_IMAADPCM;
    p.channels = channels;
    p.bits = bits;
    p.blockAlign = align;
    p.extra = extra;
    return p;
  };
  auto ms = [](int channels, int bits, int align, std::vector<uint8_t> extra, int rate = 44100) {
    Params p;
    p.format = KVR_WAV_FMT_MSADPCM;
    p.channels = channels;
    p.bits = bits;
    p.blockAlign = align;
    p.extra = extra;
    p.rate = rate;
    return p;
  };
  auto with = [](Params p, auto change) {
    change(p);
    return p;
  };
  std::vector<uint8_t> badPair = msExtension(500);
  badPair[8] = 1;  // second pair's first coefficient 513
  struct Case {
    const char* name;
    Params params;
    int code;
    int outChannels;
  } cases[] = {
      {"ima stereo 2048", ima(2, 4, 2048, {0xF9, 0x0F}), 0, 2},
      {"ima alignment 0", ima(2, 4, 0, {0xF9, 0x0F}), -5, 0},
      {"ima alignment 4097", ima(1, 4, 4097, {}), -5, 0},
      {"ima block shorter than the stereo headers", ima(2, 4, 7, {}), -5, 0},
      {"ima block of the stereo headers", ima(2, 4, 8, {}), 0, 2},
      {"ima three channels", ima(3, 4, 1024, {}), -5, 0},
      {"ima 5 bits", ima(1, 5, 1024, {}), -5, 0},
      {"ima 3 bits", ima(1, 3, 1024, {}), 0, 1},
      {"ima 4097 samples per block", ima(1, 4, 1024, {0x01, 0x10}), -5, 0},
      {"ima no channels", ima(0, 4, 1024, {}), -5, 0},
      {"ms full extension", ms(2, 4, 1024, msExtension(1012)), 0, 2},
      {"ms six coefficients", ms(2, 4, 1024, msExtension(1012, 6)), -5, 0},
      {"ms foreign coefficients", ms(2, 4, 1024, badPair), -5, 0},
      {"ms alignment 8192", ms(2, 4, 8192, msExtension(8180)), -5, 0},
      {"ms 3 bits", ms(1, 3, 1024, msExtension(2036)), -5, 0},
      {"ms 5461 samples per block", ms(1, 4, 4096, msExtension(5461)), -5, 0},
      {"ms short extension", ms(1, 4, 1024, {}), 0, 1},
      {"ms short extension 96101 Hz", ms(1, 4, 1024, {}, 96101), -5, 0},
      {"ms short extension 96100 Hz", ms(1, 4, 1024, {}, 96100), 0, 1},
      {"ms short extension no channels", ms(0, 4, 1024, {}), -5, 0},
      {"ms short extension no bits", ms(1, 0, 1024, {}), -5, 0},
      {"ms three channels", ms(3, 4, 1024, {}), -5, 0},
      {"pcm no channels", pcm(0, 16), -5, 0},
      {"pcm no bits", pcm(2, 0), -5, 0},
      {"alaw no channels", with(pcm(0, 8), [](Params& p) { p.format = KVR_WAV_FMT_ALAW; }), -5, 0},
      {"pcm 6 channels down-mixed", with(pcm(6, 16), [](Params& p) { p.downmix = 1; }), 0, 2},
      {"pcm 8 channels down-mixed", with(pcm(8, 24), [](Params& p) { p.downmix = 1; }), 0, 2},
      {"pcm 10 channels down-mixed", with(pcm(10, 16), [](Params& p) { p.downmix = 1; }), -3, 0},
      {"pcm 9 channels planar", with(pcm(9, 16), [](Params& p) { p.interleaved = 0; }), -5, 0},
      {"pcm 9 channels interleaved", pcm(9, 16), 0, 9},
      {"mulaw 3 channels down-mixed",
       with(pcm(3, 8), [](Params& p) { p.format = KVR_WAV_FMT_ULAW; p.downmix = 1; }), -3, 0},
      {"qt ima 3 channels", with(pcm(3, 16), [](Params& p) { p.format = KVR_WAV_FMT_IMAADPCM_QT; }), -5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoder d;
    EXPECT_EQ(d.open(c.params), c.code);
    if (c.code == 0) {
      EXPECT_EQ(d.outFormat().channels, c.outChannels);
      EXPECT_EQ(d.outFormat().frames, 4096);
      EXPECT_EQ(d.outFormat().sample_rate, c.params.rate);
    } else {
      EXPECT_EQ(d.context(), nullptr);
      EXPECT_EQ(mediahost::Host::get().allocStats().liveBlocks, 0u);
    }
  }
}

TEST_F(PcmDec, OutputBitsFollowSourceAndRequest) {
  struct Case {
    int bits, request, outBits;
  } cases[] = {{24, 32, 32}, {24, 24, 24}, {24, 16, 16}, {16, 32, 16}, {8, 32, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits, request " << c.request);
    Decoder d;
    Params p = pcm(2, c.bits);
    p.outBits = c.request;
    ASSERT_EQ(d.open(p), 0);
    EXPECT_EQ(d.outFormat().bits, c.outBits);
  }
}

TEST_F(PcmDec, OperationsWithoutContextOrUnknown) {
  void* slot = nullptr;
  EXPECT_EQ(entry()(3, &slot, nullptr, nullptr), 0);
  EXPECT_EQ(entry()(2, &slot, nullptr, nullptr), -1);
  KvrWavDecInput in{};
  KvrWavDecOutput out{};
  EXPECT_EQ(entry()(1, &slot, &in, &out), -1);
  EXPECT_EQ(entry()(1, nullptr, &in, &out), -1);
  EXPECT_EQ(entry()(0, nullptr, &in, &out), -1);
}

TEST_F(PcmDec, AllocationFailuresAreReported) {
  mediahost::Faults f;
  f.failAllocAt = 1;
  mediahost::Host::get().setFaults(f);
  Decoder d;
  EXPECT_EQ(d.open(pcm(2, 16)), -1);
  EXPECT_EQ(d.context(), nullptr);

  // The planar work buffer: the input is left for a retry.
  mediahost::Host::get().setFaults(mediahost::Faults());
  Params p = pcm(2, 16);
  p.interleaved = 0;
  ASSERT_EQ(d.open(p), 0);
  std::vector<uint8_t> data(64, 1);
  KvrWavDecInput in{data.data(), 64, 48000, 2, {}, 0};
  KvrWavDecOutput out{};
  std::vector<int32_t> samples;
  f.failAllocAt = 1;
  mediahost::Host::get().setFaults(f);
  EXPECT_EQ(d.decodeOnce(&in, &out, &samples), -1);
  EXPECT_EQ(in.data, data.data());
  EXPECT_EQ(in.length, 64);
  mediahost::Host::get().setFaults(mediahost::Faults());
  EXPECT_EQ(d.decodeOnce(&in, &out, &samples), 0);
  EXPECT_EQ(out.frames, 16);
}

TEST_F(PcmDec, LinearPcmTakesWholeGroupsOfFourFrames) {
  Decoder d;
  ASSERT_EQ(d.open(pcm(2, 16)), 0);
  struct Case {
    int length, frames, consumed, code;
  } cases[] = {{1002, 248, 992, 0}, {15, 0, 0, -13}, {16, 4, 16, 0}, {20000, 2048, 8192, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::vector<uint8_t> data(size_t(c.length), 0x11);
    KvrWavDecInput in{data.data(), c.length, 48000, 2, {}, 0};
    KvrWavDecOutput out{};
    std::vector<int32_t> samples;
    EXPECT_EQ(d.decodeOnce(&in, &out, &samples), c.code);
    EXPECT_EQ(in.data - data.data(), c.consumed);
    EXPECT_EQ(in.length, c.length - c.consumed);
    if (c.code == 0) {
      EXPECT_EQ(out.frames, c.frames);
    }
  }
}

// Sample conversions of the little-endian decoder.
TEST_F(PcmDec, SampleValues) {
  struct Case {
    int bits, outBits;
    std::vector<uint8_t> frame;  // one mono sample, repeated four times
    int32_t value;
  } cases[] = {
      {8, 16, {0x80}, 0},
      {8, 16, {0xFF}, 32512},
      {8, 16, {0x00}, -32768},
      {24, 32, {0xFF, 0xFF, 0x7F}, 0x7FFFFF},
      {24, 32, {0x00, 0x00, 0x80}, -0x800000},
      {24, 16, {0xFF, 0xFF, 0x7F}, 0x7FFF},
      {24, 16, {0x00, 0x00, 0x80}, -0x8000},
      {20, 32, {0x10, 0x32, 0xF4}, int32_t(0xFFF43210)},
      {16, 16, {0x34, 0x92}, int16_t(0x9234)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits value " << c.value);
    Decoder d;
    Params p = pcm(1, c.bits);
    p.outBits = c.outBits;
    ASSERT_EQ(d.open(p), 0);
    std::vector<uint8_t> data;
    for (int i = 0; i < 4; ++i) data.insert(data.end(), c.frame.begin(), c.frame.end());
    std::vector<int32_t> samples;
    ASSERT_EQ(d.decodeAll(data, data.size(), &samples), 0);
    EXPECT_EQ(samples, std::vector<int32_t>(4, c.value));
  }
}

TEST_F(PcmDec, UnsupportedDepthsAreRefusedAtDecode) {
  struct Case {
    int32_t format, bigEndian, layout, bits, channels;
  } cases[] = {{1, 0, 0, 12, 2}, {1, 0, 0, 32, 2}, {8, 0, 0, 8, 2}, {1, 0, 1, 8, 2}, {1, 0, 1, 20, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " layout " << c.layout << " bits " << c.bits);
    Decoder d;
    Params p = pcm(c.channels, c.bits);
    p.format = c.format;
    p.bigEndian = c.bigEndian;
    p.layout = c.layout;
    ASSERT_EQ(d.open(p), 0);
    std::vector<uint8_t> data(600, 0);
    std::vector<int32_t> samples;
    EXPECT_EQ(d.decodeAll(data, data.size(), &samples), -3);
  }
}

// A partial G.711 frame stays in the input, so the channels never shift.
TEST_F(PcmDec, G711TakesOnlyWholeFrames) {
  std::vector<uint8_t> stream(31);
  for (size_t i = 0; i < stream.size(); ++i) stream[i] = uint8_t(i * 37);
  Params p = pcm(3, 8);
  p.format = KVR_WAV_FMT_ALAW;
  Decoder whole, pieces;
  ASSERT_EQ(whole.open(p), 0);
  ASSERT_EQ(pieces.open(p), 0);
  std::vector<int32_t> expected, got;
  ASSERT_EQ(whole.decodeAll(stream, stream.size(), &expected), 0);
  EXPECT_EQ(expected.size(), 30u);

  std::vector<uint8_t> first(stream.begin(), stream.begin() + 10);
  KvrWavDecInput in{first.data(), 10, 8000, 3, {}, 0};
  KvrWavDecOutput out{};
  ASSERT_EQ(pieces.decodeOnce(&in, &out, &got), 0);
  EXPECT_EQ(out.frames, 3);
  EXPECT_EQ(in.length, 1);
  ASSERT_EQ(pieces.decodeAll(std::vector<uint8_t>(stream.begin() + 9, stream.end()), 7, &got), 0);
  EXPECT_EQ(got, expected);
}

// Too little input for one block: -13, nothing consumed, nothing read past
// the input (each input is an exactly sized heap block).
TEST_F(PcmDec, ShortInputAsksForMore) {
  auto adpcm = [](int32_t format, int channels, int align, std::vector<uint8_t> extra = {}) {
    Params p;
    p.format = format;
    p.channels = channels;
    p.bits = 4;
    p.blockAlign = align;
    p.extra = extra;
    return p;
  };
  struct Case {
    const char* name;
    Params params;
    int length;
  } cases[] = {
      {"ms block 512", adpcm(KVR_WAV_FMT_MSADPCM, 2, 512, msExtension(500)), 511},
      {"ms block 256 header only", adpcm(KVR_WAV_FMT_MSADPCM, 1, 256), 7},
      {"ms no alignment", adpcm(KVR_WAV_FMT_MSADPCM, 2, 0), 13},
      {"ima block 256", adpcm(KVR_WAV_FMT_IMAADPCM, 1, 256), 255},
      {"ima stereo block 2048", adpcm(KVR_WAV_FMT_IMAADPCM, 2, 2048), 2047},
      {"qt ima stereo", adpcm(KVR_WAV_FMT_IMAADPCM_QT, 2, 0), 67},
      {"qt ima mono", adpcm(KVR_WAV_FMT_IMAADPCM_QT, 1, 0), 33},
      {"mulaw", [] { Params p = pcm(3, 8); p.format = KVR_WAV_FMT_ULAW; return p; }(), 2},
      {"pcm 16", pcm(2, 16), 15},
      {"pcm 24", pcm(2, 24), 23},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoder d;
    ASSERT_EQ(d.open(c.params), 0);
    std::unique_ptr<uint8_t[]> data(new uint8_t[size_t(c.length)]);
    memset(data.get(), 0x5A, size_t(c.length));
    KvrWavDecInput in{data.get(), c.length, 44100, c.params.channels, {}, 0};
    KvrWavDecOutput out{};
    std::vector<int32_t> samples;
    EXPECT_EQ(d.decodeOnce(&in, &out, &samples), -13);
    EXPECT_EQ(in.data, data.get());
    EXPECT_EQ(in.length, c.length);
  }
}

TEST_F(PcmDec, MsAdpcmBadCoefficientIndexDropsTheInput) {
  Params p;
  p.format = KVR_WAV_FMT_MSADPCM;
  p.channels = 1;
  p.bits = 4;
  p.blockAlign = 64;
  Decoder d;
  ASSERT_EQ(d.open(p), 0);
  std::vector<uint8_t> block(64, 0);
  block[0] = 7;
  KvrWavDecInput in{block.data(), 64, 44100, 1, {}, 0};
  KvrWavDecOutput out{};
  std::vector<int32_t> samples;
  EXPECT_EQ(d.decodeOnce(&in, &out, &samples), -5);
  EXPECT_EQ(in.length, 0);
}

// Planar output stays planar wherever the two buffers lie: here the second
// buffer lies just before the first.
TEST_F(PcmDec, MsAdpcmShapeFollowsTheInterleavedFlag) {
  const std::string base = workDir() + "/shape_ms";
  ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=300:r=22050:d=0.1 -ac 2 -c:a adpcm_ms -block_size 256 " + base + ".wav"));
  Wav wav;
  ASSERT_TRUE(parseWav(readFile(base + ".wav"), &wav));
  std::vector<uint8_t> block(wav.data.begin(), wav.data.begin() + 256);
  Params p;
  p.format = KVR_WAV_FMT_MSADPCM;
  p.channels = 2;
  p.bits = 4;
  p.blockAlign = 256;
  p.extra = wav.extra;
  Decoder inter;
  ASSERT_EQ(inter.open(p), 0);
  std::vector<int32_t> expected;
  ASSERT_EQ(inter.decodeAll(block, 256, &expected), 0);
  ASSERT_EQ(expected.size(), 2u * 244);

  p.interleaved = 0;
  Decoder planar;
  ASSERT_EQ(planar.open(p), 0);
  std::vector<int16_t> memory(600, 0);
  KvrWavDecInput in{block.data(), 256, 22050, 2, {}, 0};
  KvrWavDecOutput out{};
  out.buffer[1] = memory.data();
  out.buffer[0] = memory.data() + 300;  // the second buffer lies before the first
  void* slot = planar.context();
  ASSERT_EQ(entry()(1, &slot, &in, &out), 0);
  ASSERT_EQ(out.frames, 244);
  for (int i = 0; i < 244; ++i) {
    ASSERT_EQ(memory[size_t(300 + i)], expected[size_t(2 * i)]) << i;
    ASSERT_EQ(memory[size_t(i)], expected[size_t(2 * i + 1)]) << i;
  }
}

// One buffer per channel holds what interleaved output holds, for every
// decoder that writes both shapes itself.
TEST_F(PcmDec, PlanarOutputMatchesInterleaved) {
  auto stereo = [](int32_t format, int bits, int align) {
    Params p = pcm(2, bits);
    p.format = format;
    p.blockAlign = align;
    return p;
  };
  struct Case {
    const char* name;
    Params params;
  } cases[] = {
      {"A-law", stereo(KVR_WAV_FMT_ALAW, 8, 2)},
      {"mu-law", stereo(KVR_WAV_FMT_ULAW, 8, 2)},
      {"IMA 4-bit", stereo(KVR_WAV_FMT_IMAADPCM, 4, 256)},
      {"IMA 3-bit", stereo(KVR_WAV_FMT_IMAADPCM, 3, 256)},
      {"QuickTime IMA", stereo(KVR_WAV_FMT_IMAADPCM_QT, 16, 0)},
  };
  std::mt19937 rng(3);
  std::vector<uint8_t> stream(2048);
  for (auto& b : stream) b = uint8_t(rng());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int32_t> shapes[2];
    for (int interleaved : {1, 0}) {
      Params p = c.params;
      p.interleaved = interleaved;
      Decoder d;
      ASSERT_EQ(d.open(p), 0);
      ASSERT_EQ(d.decodeAll(stream, 512, &shapes[interleaved]), 0);
    }
    EXPECT_GT(shapes[1].size(), 1000u);
    EXPECT_EQ(shapes[0], shapes[1]);
  }
}

TEST_F(PcmDec, ImaWaveCarriesSamplesToCompleteGroupsOfFour) {
  Params p;
  p.format = KVR_WAV_FMT_IMAADPCM;
  p.channels = 2;
  p.bits = 4;
  p.blockAlign = 2048;
  p.extra = {0xF9, 0x07};
  Decoder d;
  ASSERT_EQ(d.open(p), 0);
  std::vector<uint8_t> block(2048, 0x17);
  for (int expected : {2040, 2040, 2040, 2044, 2040}) {
    KvrWavDecInput in{block.data(), 2048, 44100, 2, {}, 0};
    KvrWavDecOutput out{};
    std::vector<int32_t> samples;
    ASSERT_EQ(d.decodeOnce(&in, &out, &samples), 0);
    EXPECT_EQ(out.frames, expected);
    EXPECT_EQ(in.length, 0);
  }
}

TEST_F(PcmDec, QuickTimeHeaderGivesPredictorAndIndex) {
  Params p;
  p.format = KVR_WAV_FMT_IMAADPCM_QT;
  p.channels = 1;
  p.bits = 16;
  Decoder d;
  ASSERT_EQ(d.open(p), 0);
  std::vector<uint8_t> packet(34, 0);
  packet[0] = 0x12;
  packet[1] = 0x34;
  std::vector<int32_t> samples;
  ASSERT_EQ(d.decodeAll(packet, 34, &samples), 0);
  ASSERT_EQ(samples.size(), 64u);
  // Predictor 0x1200, index 0x34 (step 1060): code 0 adds 1060 / 8.
  EXPECT_EQ(samples[0], 0x1200 + 132);
}

// The block decoders are exported on their own: called with a context that
// another stream shape opened, they frame by their own layout or refuse,
// and never read past the input or write past their state.
TEST_F(PcmDec, BlockDecodersCalledWithAForeignContext) {
  Params dvd20 = pcm(2, 20);
  dvd20.layout = KVR_LPCM_DVD;
  dvd20.outBits = 32;
  struct Case {
    const char* name;
    Params params;
    KvrBlockDecoder decoder;
    int length, code, consumed;
  } cases[] = {
      {"IMA on six-channel PCM", pcm(6, 16), IMAADPCM_DECLIB, 4096, -5, 0},
      {"QuickTime IMA on six-channel PCM", pcm(6, 16), IMAADPCMQT_DECLIB, 34 * 6, -5, 0},
      {"MS ADPCM on six-channel PCM", pcm(6, 16), MSADPCM_DECLIB, 512, -5, 0},
      {"IMA on 16-bit stereo PCM", pcm(2, 16), IMAADPCM_DECLIB, 4096, -5, 0},
      // 20-bit samples in 3-byte containers: 40 bytes hold six frames, four taken.
      {"little-endian on a DVD 20-bit context", dvd20, LPCM_LE16MIX_DECLIB, 40, 0, 24},
      {"big-endian on a DVD 20-bit context", dvd20, LPCM_BE16MIX_DECLIB, 40, 0, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoder d;
    ASSERT_EQ(d.open(c.params), 0);
    std::unique_ptr<uint8_t[]> data(new uint8_t[size_t(c.length)]);
    memset(data.get(), 0x21, size_t(c.length));
    KvrWavDecInput in{data.get(), c.length, 48000, c.params.channels, {}, 0};
    std::vector<int32_t> buffer(size_t(16384) * 8);
    KvrWavDecOutput out{};
    out.buffer[0] = buffer.data();
    out.interleaved = 1;
    EXPECT_EQ(c.decoder(&in, &out, d.context()), c.code);
    EXPECT_EQ(in.data - data.get(), c.consumed);
  }
}

// ---- channel order ----

KvrWavDecOutput positions(std::initializer_list<int32_t> p) {
  KvrWavDecOutput out{};
  int i = 0;
  for (int32_t v : p) out.position[i++] = v;
  return out;
}

TEST_F(PcmDec, ChannelOrderOfWaveLayouts) {
  struct Case {
    const char* name;
    int channels;
    KvrWavDecOutput table;
    int result;
    std::vector<int32_t> order;
  } cases[] = {
      {"six channels in WAVE order", 6, positions({1, 3, 2, 5, 6, 0, 0, 4}), 0, {0, 1, 2, 3, 4, 5}},
      {"six channels moved", 6, positions({2, 1, 4, 0, 0, 5, 6, 3}), 0, {1, 3, 0, 2, 4, 5}},
      {"four channels, surround from P5", 4, positions({1, 3, 2, 0, 0, 4, 0, 0}), 0, {0, 1, 2, 3}},
      {"required P7 absent", 6, positions({1, 3, 2, 5, 6, 0, 0, 0}), 1, {}},
      {"two channels on one slot", 6, positions({1, 1, 2, 5, 6, 0, 0, 4}), 1, {}},
      {"slot beyond the channels", 3, positions({1, 4, 2, 0, 0, 0, 0, 0}), 1, {}},
      {"five channels, P4 falls back to P5 twice", 5, positions({1, 3, 2, 0, 0, 4, 0, 0}), 1, {}},
      {"nine channels", 9, positions({1, 2, 3, 4, 5, 6, 7, 8}), 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoder d;
    ASSERT_EQ(d.open(pcm(c.channels, 16)), 0);
    int32_t order[8] = {0};
    EXPECT_EQ(KV_GetChannelOrder_PCM(c.table.position, order, d.context()), c.result);
    if (c.result == 0) {
      EXPECT_EQ(std::vector<int32_t>(order, order + c.channels), c.order);
    }
  }
}

// A BD packet header: payload size, assignment and rate code, depth code.
std::vector<uint8_t> bdPacket(int assignment, int depthCode, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> p = {uint8_t(payload.size() >> 8), uint8_t(payload.size()), uint8_t(assignment << 4 | 1),
                            uint8_t(depthCode << 6)};
  p.insert(p.end(), payload.begin(), payload.end());
  return p;
}

TEST_F(PcmDec, ChannelOrderOfBdAssignments) {
  Params p = pcm(7, 16);
  p.bigEndian = 1;
  p.layout = KVR_LPCM_BD;
  Decoder d;
  ASSERT_EQ(d.open(p), 0);
  std::vector<int32_t> samples;
  ASSERT_EQ(d.decodePackets({bdPacket(10, 1, std::vector<uint8_t>(7 * 2 * 4, 0))}, &samples), 0);
  int32_t order[8] = {0};
  KvrWavDecOutput all = positions({1, 3, 2, 4, 7, 5, 6, 0});
  EXPECT_EQ(KV_GetChannelOrder_PCM(all.position, order, d.context()), 0);
  EXPECT_EQ(std::vector<int32_t>(order, order + 7), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));
  KvrWavDecOutput noP6 = positions({1, 3, 2, 4, 7, 5, 0, 6});
  memset(order, 0, sizeof(order));
  EXPECT_EQ(KV_GetChannelOrder_PCM(noP6.position, order, d.context()), 1);
}

// Six little-endian channels, frame f channel k = 100 * f + k.
std::vector<uint8_t> sixChannelFrames(int frames, int bytesPerSample) {
  std::vector<uint8_t> v;
  for (int f = 0; f < frames; ++f)
    for (int k = 0; k < 6; ++k)
      for (int b = 0; b < bytesPerSample; ++b) v.push_back(uint8_t((100 * f + k) >> (8 * b)));
  return v;
}

TEST_F(PcmDec, MultichannelOutputFollowsTheSpeakerTable) {
  struct Case {
    const char* name;
    int interleaved;
    KvrWavDecOutput table;
    std::vector<int32_t> slotOfChannel;
  } cases[] = {
      {"interleaved, moved", 1, positions({2, 1, 4, 0, 0, 5, 6, 3}), {1, 3, 0, 2, 4, 5}},
      {"planar, moved", 0, positions({2, 1, 4, 0, 0, 5, 6, 3}), {1, 3, 0, 2, 4, 5}},
      {"interleaved, incomplete", 1, positions({2, 1, 4, 0, 0, 5, 0, 3}), {0, 1, 2, 3, 4, 5}},
      // Planar output without a usable order keeps every sample, in stream order.
      {"planar, incomplete", 0, positions({0, 0, 0, 0, 0, 0, 0, 0}), {0, 1, 2, 3, 4, 5}},
      {"planar, not a permutation", 0, positions({2, 2, 4, 0, 0, 5, 6, 3}), {0, 1, 2, 3, 4, 5}},
  };
  // 16-bit samples, and 24-bit ones in 32-bit containers.
  for (const Case& c : cases) {
    for (int bits : {16, 24}) {
      SCOPED_TRACE(testing::Message() << c.name << ", " << bits << " bits");
      Params p = pcm(6, bits);
      p.interleaved = c.interleaved;
      p.outBits = 32;
      Decoder d;
      ASSERT_EQ(d.open(p), 0);
      std::vector<uint8_t> data = sixChannelFrames(8, bits / 8);
      KvrWavDecInput in{data.data(), int32_t(data.size()), 48000, 6, {}, 0};
      KvrWavDecOutput out = c.table;
      std::vector<int32_t> samples;
      ASSERT_EQ(d.decodeOnce(&in, &out, &samples), 0);
      ASSERT_EQ(samples.size(), 48u);
      for (int f = 0; f < 8; ++f)
        for (int k = 0; k < 6; ++k)
          EXPECT_EQ(samples[size_t(6 * f + c.slotOfChannel[size_t(k)])], 100 * f + k) << "frame " << f << " channel " << k;
    }
  }
}

TEST_F(PcmDec, PlanarStereoAndWideSamplesAreSplit) {
  for (int bits : {16, 24}) {
    SCOPED_TRACE(bits);
    Params p = pcm(2, bits);
    p.outBits = 32;
    p.interleaved = 0;
    Decoder d;
    ASSERT_EQ(d.open(p), 0);
    std::vector<uint8_t> data;
    for (int i = 0; i < 16; ++i) {
      int32_t s = (i % 2 ? -1 : 1) * (1000 * i + 7);
      for (int b = 0; b < bits / 8; ++b) data.push_back(uint8_t(uint32_t(s) >> (8 * b)));
    }
    std::vector<int32_t> samples;
    ASSERT_EQ(d.decodeAll(data, data.size(), &samples), 0);
    ASSERT_EQ(samples.size(), 16u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(samples[size_t(i)], (i % 2 ? -1 : 1) * (1000 * i + 7));
  }
}

// ---- BD and DVD packets built from known samples ----

TEST_F(PcmDec, BdSpecialHeaderSetsRateAndStereo) {
  struct Case {
    uint8_t last;
    int rate;
  } cases[] = {{0x10, 44100}, {0x20, 48000}, {0x00, 32000}, {0x30, 32000}, {0x08, 32000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.last));
    Params p = pcm(6, 16);
    p.bigEndian = 1;
    p.layout = KVR_LPCM_BD;
    p.rate = 32000;
    Decoder d;
    ASSERT_EQ(d.open(p), 0);
    std::vector<uint8_t> packet = {0xA0, 0x06, 0x55, c.last};
    for (int i = 0; i < 8; ++i) {
      packet.push_back(uint8_t(i));
      packet.push_back(uint8_t(0x10 + i));
    }
    KvrWavDecInput in{packet.data(), int32_t(packet.size()), 32000, 6, {}, 0};
    KvrWavDecOutput out{};
    std::vector<int32_t> samples;
    ASSERT_EQ(d.decodeOnce(&in, &out, &samples), 0);
    EXPECT_EQ(out.sample_rate, c.rate);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(in.channels, 2);
    EXPECT_EQ(out.frames, 4);
    EXPECT_EQ(samples[1], 0x0111);
  }
}

TEST_F(PcmDec, BdHeaderErrors) {
  Params p = pcm(6, 16);
  p.bigEndian = 1;
  p.layout = KVR_LPCM_BD;
  Decoder d;
  ASSERT_EQ(d.open(p), 0);
  // An assignment that cannot carry six channels.
  std::vector<uint8_t> bad = bdPacket(3, 1, std::vector<uint8_t>(48, 0));
  KvrWavDecInput in{bad.data(), int32_t(bad.size()), 48000, 6, {}, 0};
  KvrWavDecOutput out{};
  out.frames = 77;
  std::vector<int32_t> samples;
  EXPECT_EQ(d.decodeOnce(&in, &out, &samples), -5);
  EXPECT_EQ(in.length, 0);
  EXPECT_EQ(out.frames, 0);
  // Too short for the header, or for four frames after it: the whole packet
  // stays, header included.
  for (size_t size : {size_t(3), size_t(4 + 47)}) {
    std::vector<uint8_t> packet = bdPacket(9, 1, std::vector<uint8_t>(47, 0));
    packet.resize(size);
    KvrWavDecInput shortIn{packet.data(), int32_t(size), 48000, 6, {}, 0};
    EXPECT_EQ(d.decodeOnce(&shortIn, &out, &samples), -13);
    EXPECT_EQ(shortIn.data, packet.data());
    EXPECT_EQ(shortIn.length, int32_t(size));
  }
}

std::vector<int32_t> knownSamples(size_t count, int bits, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<int32_t> v(count);
  for (auto& s : v) {
    int32_t x = int32_t(rng() & 0xFFFFFF) - 0x800000;
    s = bits == 16 ? x >> 8 : bits == 20 ? (x >> 4) * 16 : x;
  }
  return v;
}

// DVD groups: upper two bytes of frame 1, of frame 2, then the low parts.
std::vector<uint8_t> dvdGroups(const std::vector<int32_t>& s, int channels, int bits) {
  std::vector<uint8_t> out;
  const size_t frames = s.size() / size_t(channels);
  if (bits == 16) {
    for (int32_t v : s) {
      out.push_back(uint8_t(v >> 8));
      out.push_back(uint8_t(v));
    }
    return out;
  }
  for (size_t f = 0; f < frames; f += 2) {
    for (size_t g = 0; g < 2; ++g)
      for (int k = 0; k < channels; ++k) {
        int32_t v = s[(f + g) * size_t(channels) + size_t(k)];
        out.push_back(uint8_t(v >> 16));
        out.push_back(uint8_t(v >> 8));
      }
    for (size_t g = 0; g < 2; ++g) {
      if (bits == 24) {
        for (int k = 0; k < channels; ++k) out.push_back(uint8_t(s[(f + g) * size_t(channels) + size_t(k)]));
      } else {
        for (int k = 0; k < channels; k += 2) {
          const int32_t* fr = &s[(f + g) * size_t(channels)];
          out.push_back(uint8_t((fr[k] & 0xF0) | (fr[k + 1] & 0xF0) >> 4));
        }
      }
    }
  }
  return out;
}

TEST_F(PcmDec, DvdAndBdPacketsRoundTrip) {
  struct Case {
    int layout, bits, channels, outBits;
  } cases[] = {{1, 16, 2, 16}, {1, 16, 6, 16}, {1, 20, 2, 32}, {1, 20, 6, 32}, {1, 24, 2, 32},
               {1, 24, 6, 32}, {1, 24, 6, 16}, {1, 20, 2, 16}, {2, 16, 2, 16}, {2, 16, 6, 16},
               {2, 24, 6, 32}, {2, 24, 8, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.layout == 1 ? "DVD " : "BD ") << c.bits << " bits " << c.channels
                                    << " channels, output " << c.outBits);
    std::vector<int32_t> known = knownSamples(size_t(240 * c.channels), c.bits, unsigned(c.bits * 10 + c.channels));
    std::vector<std::vector<uint8_t>> packets;
    Params p = pcm(c.channels, c.bits);
    p.layout = c.layout;
    p.bigEndian = c.layout == 2;
    p.outBits = c.outBits;
    if (c.layout == 1) {
      std::vector<uint8_t> all = dvdGroups(known, c.channels, c.bits);
      // Packets that split nothing but whole groups of four frames.
      size_t per = all.size() / 3;
      packets = {std::vector<uint8_t>(all.begin(), all.begin() + long(per)),
                 std::vector<uint8_t>(all.begin() + long(per), all.begin() + long(2 * per)),
                 std::vector<uint8_t>(all.begin() + long(2 * per), all.end())};
    } else {
      for (size_t f = 0; f < 240; f += 80) {
        std::vector<uint8_t> payload;
        for (size_t i = f * size_t(c.channels); i < (f + 80) * size_t(c.channels); ++i)
          for (int b = c.bits - 8; b >= 0; b -= 8) payload.push_back(uint8_t(known[i] >> b));
        int assignment = c.channels == 2 ? 3 : c.channels == 6 ? 9 : 11;
        packets.push_back(bdPacket(assignment, c.bits == 16 ? 1 : 3, payload));
      }
    }
    Decoder d;
    ASSERT_EQ(d.open(p), 0);
    std::vector<int32_t> samples;
    ASSERT_EQ(d.decodePackets(packets, &samples), 0);
    std::vector<int32_t> expected = known;
    if (c.bits > 16 && c.outBits == 16)
      for (int32_t& v : expected) v = int16_t(uint16_t(uint32_t(v) >> 8));
    EXPECT_EQ(samples, expected);
  }
}

}  // namespace
