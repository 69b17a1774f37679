// Two-channel down-mix against a 64-bit reference of the coefficient rows,
// and the dynamic-range curves.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

#include "mediahost/host.h"
#include "pcmdec_driver.h"

using namespace pcmtest;

namespace {

using Row = std::vector<int64_t>;

// The down-mix weights, row by row: entries 0-7 left, 8-15 right.
const std::map<std::string, Row>& referenceRows() {
  static const std::map<std::string, Row> rows = {
      {"BD_8CH_2", {6950528, 0, 4914664, 5926236, 6421308, 2659684, 3631592, 3050400,
                    0, 6950528, 4914664, 3631592, 2659684, 6421308, 5926236, 3050400}},
      {"BD_8CH_1", {7645584, 0, 5406132, 6518860, 7063440, 2925656, 3994752, 0,
                    0, 7645584, 5406132, 3994752, 2925656, 7063440, 6518860, 0}},
      {"BD_6CH_2", {9896788, 0, 6997940, 8438304, 5170984, 3050400, 0, 0,
                    0, 9896788, 6997940, 5170984, 8438304, 3050400, 0, 0}},
      {"BD_6CH_1", {10886468, 0, 7697736, 9282136, 5688084, 0, 0, 0,
                    0, 10886468, 7697736, 5688084, 9282136, 0, 0, 0}},
      {"AD_8CH_2", {6950528, 0, 4914664, 3050400, 5926236, 3631592, 6421308, 2659684,
                    0, 6950528, 4914664, 3050400, 3631592, 5926236, 2659684, 6421308}},
      {"AD_8CH_1", {7645584, 0, 5406132, 6518860, 3994752, 7063440, 2925656, 0,
                    0, 7645584, 5406132, 3994752, 6518860, 2925656, 7063440, 0}},
      {"AD_6CH_2", {9896788, 0, 6997940, 3050400, 8438304, 5170984, 0, 0,
                    0, 9896788, 6997940, 3050400, 5170984, 8438304, 0, 0}},
      {"AD_6CH_1", {10886468, 0, 7697736, 9282136, 5688084, 0, 0, 0,
                    0, 10886468, 7697736, 5688084, 9282136, 0, 0, 0}},
      {"ADBD_4CH_2", {14127452, 0, 12045500, 7381472, 0, 0, 0, 0, 0, 14127452, 7381472, 12045500, 0, 0, 0, 0}},
      {"ADBD_4CH_1", {13898864, 0, 9827780, 9827780, 0, 0, 0, 0, 0, 13898864, 9827780, 9827780, 0, 0, 0, 0}},
      {"ADBD_3CH_1", {19655896, 0, 13898532, 0, 0, 0, 0, 0, 0, 19655896, 13898532, 0, 0, 0, 0, 0}},
  };
  return rows;
}

const char* const kByChannels[9] = {"", "", "", "ADBD_3CH_1", "ADBD_4CH_1", "AD_6CH_1", "AD_6CH_2", "AD_8CH_1", "AD_8CH_2"};
const char* const kByAssignment[12] = {"", "", "", "", "ADBD_3CH_1", "ADBD_3CH_1", "ADBD_4CH_1",
                                       "ADBD_4CH_2", "BD_6CH_1", "BD_6CH_2", "BD_8CH_1", "BD_8CH_2"};

std::pair<int64_t, int64_t> mix(const std::vector<int32_t>& frame, const Row& row) {
  int64_t l = 0, r = 0;
  for (size_t k = 0; k < frame.size(); ++k) {
    l += int64_t(frame[k]) * row[k];
    r += int64_t(frame[k]) * row[8 + k];
  }
  return {l >> 24, r >> 24};
}

// A mixed value held at the limits of a sample width.
int64_t sat(int64_t v, int bits) {
  const int64_t hi = (int64_t(1) << (bits - 1)) - 1;
  return std::min(hi, std::max(-hi - 1, v));
}

TEST(PcmDecMix, RowsAndTablesHoldTheDownMixWeights) {
  for (const auto& kv : referenceRows()) {
    SCOPED_TRACE(kv.first);
    const int32_t* row = symbol<const int32_t>(kv.first.c_str());
    ASSERT_NE(row, nullptr);
    int64_t left = 0, right = 0;
    for (int k = 0; k < 8; ++k) {
      left += row[k];
      right += row[8 + k];
    }
    // Unity gain on each side (2^25 is a full-scale pair of equal channels).
    EXPECT_NEAR(double(left), double(1 << 25), 32.0);
    EXPECT_NEAR(double(right), double(1 << 25), 32.0);
    EXPECT_EQ(Row(row, row + 16), kv.second);
  }
  auto ad = symbol<const int32_t* const>("AD_CHTB");
  auto bd = symbol<const int32_t* const>("BD_CHTB");
  for (int i = 0; i < 16; ++i) {
    const char* a = i < 9 ? kByChannels[i] : "";
    const char* b = i < 12 ? kByAssignment[i] : "";
    for (auto entry : {std::make_pair(ad[i], a), std::make_pair(bd[i], b)}) {
      SCOPED_TRACE(testing::Message() << "index " << i << " row " << entry.second);
      if (!*entry.second) {
        EXPECT_EQ(entry.first, nullptr);
      } else {
        ASSERT_NE(entry.first, nullptr);
        EXPECT_EQ(Row(entry.first, entry.first + 16), referenceRows().at(entry.second));
      }
    }
  }
}

TEST(PcmDecMix, MixingRoutinesHoldLoudFramesAtFullScale) {
  // (L, R, C) = (1000, 0, 0) through the three-channel row.
  uint8_t le[6] = {0xE8, 0x03, 0, 0, 0, 0};
  int16_t pair[2];
  EXPECT_EQ(KV_PCMDOWNCH_AUDIO16(le, ADBD_3CH_1, pair, 3), le + 6);
  EXPECT_EQ(pair[0], 1171);
  EXPECT_EQ(pair[1], 0);
  // Full scale on all three channels sums to 65533 (or -65536): held at
  // full scale, not wrapped into a sign flip.
  uint8_t loud[6] = {0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F};
  KV_PCMDOWNCH_AUDIO16(loud, ADBD_3CH_1, pair, 3);
  EXPECT_EQ(pair[0], 32767);
  EXPECT_EQ(pair[1], 32767);
  uint8_t loudBe[6] = {0x80, 0x00, 0x80, 0x00, 0x80, 0x00};
  KV_PCMDOWNCH_BD16(loudBe, ADBD_3CH_1, pair, 3);
  EXPECT_EQ(pair[0], -32768);
  EXPECT_EQ(pair[1], -32768);
  // 24-bit sources are held at the 24-bit limits, which the 16-bit curve
  // then turns into full scale too.
  uint8_t loud24[9] = {0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0x7F};
  int32_t wide[2];
  KV_PCMDOWNCH_AUDIO24(loud24, ADBD_3CH_1, wide, 3);
  EXPECT_EQ(wide[0], 0x7FFFFF);
  EXPECT_EQ(get_goodvalue0(wide[1]), 32767);
  uint8_t quiet24Be[9] = {0x80, 0, 0, 0x80, 0, 0, 0x80, 0, 0};
  KV_PCMDOWNCH_BD24(quiet24Be, ADBD_3CH_1, wide, 3);
  EXPECT_EQ(wide[0], -0x800000);
  EXPECT_EQ(get_goodvalue0(wide[1]), -32768);
}

// Every routine over random frames against the 64-bit reference.
TEST(PcmDecMix, RoutinesMatchTheReference) {
  std::mt19937 rng(5);
  for (const auto& kv : referenceRows()) {
    const int32_t* row = symbol<const int32_t>(kv.first.c_str());
    for (int channels : {2, 4, 6, 8}) {
      SCOPED_TRACE(kv.first + " " + std::to_string(channels));
      for (int trial = 0; trial < 50; ++trial) {
        std::vector<int32_t> f1 = std::vector<int32_t>(size_t(channels)), f2 = f1;
        for (std::vector<int32_t>* f : {&f1, &f2})
          for (auto& s : *f) s = int32_t(rng() & 0xFFFFFF) - 0x800000;
        if (trial == 0) std::fill(f1.begin(), f1.end(), 0x7FFFFF);
        std::vector<uint8_t> le16, be16, le24, be24, dvd24, dvd20;
        for (int32_t s : f1) {
          int16_t h = int16_t(s >> 8);
          le16.insert(le16.end(), {uint8_t(h), uint8_t(uint16_t(h) >> 8)});
          be16.insert(be16.end(), {uint8_t(uint16_t(h) >> 8), uint8_t(h)});
          le24.insert(le24.end(), {uint8_t(s), uint8_t(s >> 8), uint8_t(s >> 16)});
          be24.insert(be24.end(), {uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s)});
        }
        for (const std::vector<int32_t>* f : {&f1, &f2})
          for (int32_t s : *f) {
            dvd24.insert(dvd24.end(), {uint8_t(s >> 16), uint8_t(s >> 8)});
          }
        dvd20 = dvd24;
        for (const std::vector<int32_t>* f : {&f1, &f2})
          for (int32_t s : *f) dvd24.push_back(uint8_t(s));
        for (const std::vector<int32_t>* f : {&f1, &f2})
          for (size_t k = 0; k < f->size(); k += 2) dvd20.push_back(uint8_t(((*f)[k] & 0xF0) | ((*f)[k + 1] & 0xF0) >> 4));

        std::vector<int32_t> h1;
        for (int32_t s : f1) h1.push_back(int16_t(s >> 8));
        auto ref16 = mix(h1, kv.second);
        int16_t p16[2];
        ASSERT_EQ(KV_PCMDOWNCH_AUDIO16(le16.data(), row, p16, channels), le16.data() + le16.size());
        EXPECT_EQ(p16[0], sat(ref16.first, 16));
        EXPECT_EQ(p16[1], sat(ref16.second, 16));
        ASSERT_EQ(KV_PCMDOWNCH_BD16(be16.data(), row, p16, channels), be16.data() + be16.size());
        EXPECT_EQ(p16[0], sat(ref16.first, 16));
        EXPECT_EQ(p16[1], sat(ref16.second, 16));

        auto ref24 = mix(f1, kv.second);
        ref24 = {sat(ref24.first, 24), sat(ref24.second, 24)};
        int32_t p32[2];
        ASSERT_EQ(KV_PCMDOWNCH_AUDIO24(le24.data(), row, p32, channels), le24.data() + le24.size());
        EXPECT_EQ(p32[0], ref24.first);
        EXPECT_EQ(p32[1], ref24.second);
        ASSERT_EQ(KV_PCMDOWNCH_BD24(be24.data(), row, p32, channels), be24.data() + be24.size());
        EXPECT_EQ(p32[0], ref24.first);
        EXPECT_EQ(p32[1], ref24.second);

        auto ref24b = mix(f2, kv.second);
        ref24b = {sat(ref24b.first, 24), sat(ref24b.second, 24)};
        int32_t four[4];
        ASSERT_EQ(KV_PCMDOWNCH_DVD24(dvd24.data(), row, four, channels), dvd24.data() + dvd24.size());
        EXPECT_EQ(std::vector<int64_t>(four, four + 4),
                  (std::vector<int64_t>{ref24.first, ref24.second, ref24b.first, ref24b.second}));
        std::vector<int32_t> g1, g2;
        for (int32_t s : f1) g1.push_back(s & ~0xF);
        for (int32_t s : f2) g2.push_back(s & ~0xF);
        auto ref20 = mix(g1, kv.second), ref20b = mix(g2, kv.second);
        ref20 = {sat(ref20.first, 24), sat(ref20.second, 24)};
        ref20b = {sat(ref20b.first, 24), sat(ref20b.second, 24)};
        ASSERT_EQ(KV_PCMDOWNCH_DVD20(dvd20.data(), row, four, channels), dvd20.data() + dvd20.size());
        EXPECT_EQ(std::vector<int64_t>(four, four + 4),
                  (std::vector<int64_t>{ref20.first, ref20.second, ref20b.first, ref20b.second}));
      }
    }
  }
}

// The decoders' down-mix path against the reference, through op 1.
TEST(PcmDecMix, DecodersMixEveryLayout) {
  struct Case {
    int32_t format, bigEndian, layout, bits, channels, outBits;
  } cases[] = {{1, 0, 0, 16, 3, 16}, {1, 0, 0, 16, 6, 16}, {1, 0, 0, 16, 8, 16}, {1, 0, 0, 8, 5, 16},
               {1, 0, 0, 24, 6, 32}, {1, 0, 0, 24, 7, 16}, {8, 0, 0, 16, 4, 16}, {8, 0, 0, 24, 6, 32},
               {1, 1, 2, 16, 6, 16}, {1, 1, 2, 24, 8, 32}, {1, 0, 1, 16, 6, 16}, {1, 0, 1, 20, 6, 32},
               {1, 0, 1, 24, 8, 16}, {1, 0, 1, 24, 4, 32}};
  std::mt19937 rng(11);
  // Interleaved output, and the two planar buffers split from the work buffer.
  for (const Case& c : cases) {
    for (int interleaved : {1, 0}) {
      SCOPED_TRACE(testing::Message() << "format " << c.format << " layout " << c.layout << " " << c.bits << " bits "
                                      << c.channels << " channels, output " << c.outBits
                                      << (interleaved ? " interleaved" : " planar"));
      const int frames = 16;
      std::vector<int32_t> s(size_t(frames * c.channels));
      for (auto& v : s) {
        int32_t x = int32_t(rng() & 0xFFFFFF) - 0x800000;
        v = c.bits == 8 ? int32_t(rng() & 0xFF) : c.bits == 16 ? x >> 8 : c.bits == 20 ? x & ~0xF : x;
      }
      // Frames 0 and 1 at full scale, up and down: their mix passes it.
      const int32_t top = c.bits == 8 ? 255 : c.bits == 16 ? 32767 : c.bits == 20 ? 0x7FFFF0 : 0x7FFFFF;
      const int32_t bottom = c.bits == 8 ? 0 : c.bits == 16 ? -32768 : -0x800000;
      std::fill(s.begin(), s.begin() + c.channels, top);
      std::fill(s.begin() + c.channels, s.begin() + 2 * c.channels, bottom);
      std::vector<uint8_t> data;
      const bool be = c.format == 8 || c.bigEndian;
      if (c.layout == 2) {
        int assignment = c.channels == 6 ? 9 : 11;
        data = {0, 0, uint8_t(assignment << 4 | 1), uint8_t((c.bits == 16 ? 1 : 3) << 6)};
      }
      if (c.layout == 1 && c.bits > 16) {
        for (int f = 0; f < frames; f += 2) {
          for (int g = 0; g < 2; ++g)
            for (int k = 0; k < c.channels; ++k) {
              int32_t v = s[size_t((f + g) * c.channels + k)];
              data.insert(data.end(), {uint8_t(v >> 16), uint8_t(v >> 8)});
            }
          for (int g = 0; g < 2; ++g)
            for (int k = 0; k < c.channels; k += c.bits == 24 ? 1 : 2) {
              const int32_t* fr = &s[size_t((f + g) * c.channels)];
              data.push_back(c.bits == 24 ? uint8_t(fr[k]) : uint8_t((fr[k] & 0xF0) | (fr[k + 1] & 0xF0) >> 4));
            }
        }
      } else {
        for (int32_t v : s) {
          if (c.bits == 8) data.push_back(uint8_t(v));
          for (int b = 0; b < c.bits / 8 && c.bits > 8; ++b)
            data.push_back(uint8_t(v >> (be || c.layout == 1 ? c.bits - 8 - 8 * b : 8 * b)));
        }
      }
      Params p = Params();
      p.format = c.format;
      p.bigEndian = c.bigEndian;
      p.layout = c.layout;
      p.bits = c.bits;
      p.channels = c.channels;
      p.outBits = c.outBits;
      p.downmix = 1;
      p.interleaved = interleaved;
      Decoder d;
      ASSERT_EQ(d.open(p), 0);
      std::vector<int32_t> samples;
      ASSERT_EQ(d.decodePackets({data}, &samples), 0);
      ASSERT_EQ(samples.size(), size_t(2 * frames));
      const char* rowName = c.layout == 2 ? kByAssignment[c.channels == 6 ? 9 : 11] : kByChannels[c.channels];
      const Row& row = referenceRows().at(rowName);
      for (int f = 0; f < frames; ++f) {
        std::vector<int32_t> frame(s.begin() + f * c.channels, s.begin() + (f + 1) * c.channels);
        if (c.bits == 8)
          for (auto& v : frame) v = (v - 128) * 256;
        auto lr = mix(frame, row);
        for (int side = 0; side < 2; ++side) {
          int64_t v = side ? lr.second : lr.first;
          int32_t expected = c.bits <= 16 ? int32_t(sat(v, 16))
                             : c.outBits > 16 ? int32_t(sat(v, 24))
                                              : int16_t(uint16_t(uint32_t(sat(v, 24)) >> 8));
          EXPECT_EQ(samples[size_t(2 * f + side)], expected) << "frame " << f << " side " << side;
        }
      }
    }
  }
}

TEST(PcmDecMix, DynamicRangeCurves) {
  struct Case {
    KvrPcmDrcFn fn;
    int32_t in;
    int16_t out;
  } cases[] = {
      {get_goodvalue0, 0x123456, 0x1234},   {get_goodvalue0, 0x7F1234FF, 0x1234},
      {get_goodvalue0, -0x800000, -0x8000}, {get_goodvalue0, 0x00FFFF00, -1},
      {get_goodvalue1, 4095, 63},           {get_goodvalue1, 4096, 16},
      {get_goodvalue1, -4096, -64},         {get_goodvalue1, -4097, -17},
      {get_goodvalue1, (1 << 21) - 1, 16367}, {get_goodvalue1, 1 << 21, 16042},
      {get_goodvalue1, 0x7FFFFFFF, 32767},  {get_goodvalue1, -0x7FFFFFFF - 1, -32768},
      {get_goodvalue1, -(1 << 21), -16368}, {get_goodvalue1, -(1 << 21) - 1, -16044},
      {get_goodvalue2, 127, 7},             {get_goodvalue2, 128, 8},
      {get_goodvalue2, -128, -8},           {get_goodvalue2, -129, -9},
      {get_goodvalue2, (1 << 22) - 1, 32767}, {get_goodvalue2, 1 << 22, 32767},
      {get_goodvalue2, -(1 << 22) - 1, -32768},
  };
  for (const Case& c : cases) EXPECT_EQ(c.fn(c.in), c.out) << "input " << c.in;
  auto list = symbol<const KvrPcmDrcFn>("gspfPCMDRCList");
  EXPECT_EQ(list[0](0x7F1234FF), 0x1234);
  EXPECT_EQ(list[1](4095), 63);
  EXPECT_EQ(list[2](-129), -9);
}

}  // namespace
