/* Two-channel down-mix rows and routines, and the dynamic-range curves that
 * bring wide values down to 16-bit samples. */
#include "pcmdec_internal.h"

const int32_t BD_8CH_2[16] = {6950528, 0, 4914664, 5926236, 6421308, 2659684, 3631592, 3050400,
                              0, 6950528, 4914664, 3631592, 2659684, 6421308, 5926236, 3050400};
const int32_t BD_8CH_1[16] = {7645584, 0, 5406132, 6518860, 7063440, 2925656, 3994752, 0,
                              0, 7645584, 5406132, 3994752, 2925656, 7063440, 6518860, 0};
const int32_t BD_6CH_2[16] = {9896788, 0, 6997940, 8438304, 5170984, 3050400, 0, 0,
                              0, 9896788, 6997940, 5170984, 8438304, 3050400, 0, 0};
const int32_t BD_6CH_1[16] = {10886468, 0, 7697736, 9282136, 5688084, 0, 0, 0,
                              0, 10886468, 7697736, 5688084, 9282136, 0, 0, 0};
const int32_t AD_8CH_2[16] = {6950528, 0, 4914664, 3050400, 5926236, 3631592, 6421308, 2659684,
                              0, 6950528, 4914664, 3050400, 3631592, 5926236, 2659684, 6421308};
const int32_t AD_8CH_1[16] = {7645584, 0, 5406132, 6518860, 3994752, 7063440, 2925656, 0,
                              0, 7645584, 5406132, 3994752, 6518860, 2925656, 7063440, 0};
const int32_t AD_6CH_2[16] = {9896788, 0, 6997940, 3050400, 8438304, 5170984, 0, 0,
                              0, 9896788, 6997940, 3050400, 5170984, 8438304, 0, 0};
const int32_t AD_6CH_1[16] = {10886468, 0, 7697736, 9282136, 5688084, 0, 0, 0,
                              0, 10886468, 7697736, 5688084, 9282136, 0, 0, 0};
const int32_t ADBD_4CH_2[16] = {14127452, 0, 12045500, 7381472, 0, 0, 0, 0,
                                0, 14127452, 7381472, 12045500, 0, 0, 0, 0};
const int32_t ADBD_4CH_1[16] = {13898864, 0, 9827780, 9827780, 0, 0, 0, 0,
                                0, 13898864, 9827780, 9827780, 0, 0, 0, 0};
const int32_t ADBD_3CH_1[16] = {19655896, 0, 13898532, 0, 0, 0, 0, 0,
                                0, 19655896, 13898532, 0, 0, 0, 0, 0};

const int32_t* const AD_CHTB[16] = {
    0, 0, 0, ADBD_3CH_1, ADBD_4CH_1, AD_6CH_1, AD_6CH_2, AD_8CH_1, AD_8CH_2,
    0, 0, 0, 0, 0, 0, 0};
const int32_t* const BD_CHTB[16] = {
    0, 0, 0, 0, ADBD_3CH_1, ADBD_3CH_1, ADBD_4CH_1, ADBD_4CH_2, BD_6CH_1,
    BD_6CH_2, BD_8CH_1, BD_8CH_2, 0, 0, 0, 0};

/* The accumulators are 64-bit: a full-scale 24-bit sample times a Q24 weight
 * already needs 48 bits. The helpers are inlined with constant layout flags,
 * so each exported routine keeps a branch-free loop. */
/* Left and right sums of one frame of 16-bit or 24-bit samples. */
static inline void mix_frame(const uint8_t* src, const int32_t* row, int32_t channels, int width, int big,
                             int64_t* left, int64_t* right) {
  int64_t l = 0, r = 0;
  for (int32_t k = 0; k < channels; ++k) {
    const uint8_t* p = src + width * k;
    int64_t s = width == 2 ? (big ? pcmdec_be16(p) : pcmdec_le16(p)) : (big ? pcmdec_be24(p) : pcmdec_le24(p));
    l += s * row[k];
    r += s * row[8 + k];
  }
  *left = l;
  *right = r;
}

/* A mix of loud channels can pass full scale (every side of a row weighs
 * 2.0 in all): it is held at the limits of the sample width rather than
 * wrapped into a sign flip. */
static inline int64_t saturate(int64_t v, int bits) {
  const int64_t hi = ((int64_t)1 << (bits - 1)) - 1, lo = -((int64_t)1 << (bits - 1));
  return v > hi ? hi : v < lo ? lo : v;
}

static inline const uint8_t* mix16(const uint8_t* src, const int32_t* row, int16_t* dst, int32_t channels,
                                   int big) {
  int64_t l, r;
  mix_frame(src, row, channels, 2, big, &l, &r);
  dst[0] = (int16_t)saturate(l >> 24, 16);
  dst[1] = (int16_t)saturate(r >> 24, 16);
  return src + 2 * channels;
}

static inline const uint8_t* mix24(const uint8_t* src, const int32_t* row, int32_t* dst, int32_t channels,
                                   int big) {
  int64_t l, r;
  mix_frame(src, row, channels, 3, big, &l, &r);
  dst[0] = (int32_t)saturate(l >> 24, 24);
  dst[1] = (int32_t)saturate(r >> 24, 24);
  return src + 3 * channels;
}

/* One DVD group: frame 1's pair, then frame 2's. */
static inline const uint8_t* mix_dvd(const uint8_t* src, const int32_t* row, int32_t* dst,
                                     int32_t channels, int wide) {
  for (int32_t f = 0; f < 2; ++f) {
    int64_t l = 0, r = 0;
    for (int32_t k = 0; k < channels; ++k) {
      int64_t s = pcmdec_dvd_sample(src, channels, f, k, wide);
      l += s * row[k];
      r += s * row[8 + k];
    }
    dst[2 * f] = (int32_t)saturate(l >> 24, 24);
    dst[2 * f + 1] = (int32_t)saturate(r >> 24, 24);
  }
  return src + (wide ? 6 : 5) * channels;
}

const uint8_t* KV_PCMDOWNCH_AUDIO16(const uint8_t* src, const int32_t* row, int16_t* dst, int32_t channels) {
  return mix16(src, row, dst, channels, 0);
}

const uint8_t* KV_PCMDOWNCH_BD16(const uint8_t* src, const int32_t* row, int16_t* dst, int32_t channels) {
  return mix16(src, row, dst, channels, 1);
}

const uint8_t* KV_PCMDOWNCH_AUDIO24(const uint8_t* src, const int32_t* row, int32_t* dst, int32_t channels) {
  return mix24(src, row, dst, channels, 0);
}

const uint8_t* KV_PCMDOWNCH_BD24(const uint8_t* src, const int32_t* row, int32_t* dst, int32_t channels) {
  return mix24(src, row, dst, channels, 1);
}

const uint8_t* KV_PCMDOWNCH_DVD24(const uint8_t* src, const int32_t* row, int32_t* dst, int32_t channels) {
  return mix_dvd(src, row, dst, channels, 1);
}

const uint8_t* KV_PCMDOWNCH_DVD20(const uint8_t* src, const int32_t* row, int32_t* dst, int32_t channels) {
  return mix_dvd(src, row, dst, channels, 0);
}

static int16_t limit16(int32_t v) {
  return (int16_t)(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

/* Bits 8-23 as they stand: a plain rescale of a 24-bit value, no limiting. */
int16_t get_goodvalue0(int32_t x) { return (int16_t)(uint16_t)((uint32_t)x >> 8); }

/* A soft knee: small values are kept finer, large ones compressed. */
int16_t get_goodvalue1(int32_t x) {
  if (x >= -4096 && x < 4096) return limit16(x >> 6);
  if (x >= 4096 && x < (1 << 21)) return limit16((x >> 7) - 16);
  if (x >= (1 << 21)) return limit16((x >> 11) + (x >> 9) + 10922);
  if (x >= -(1 << 21)) return limit16((x >> 7) + 16);
  return limit16((x >> 11) + (x >> 9) - 10922);
}

int16_t get_goodvalue2(int32_t x) {
  if (x >= -128 && x < 128) return limit16(x >> 4);
  if (x >= 128 && x < (1 << 22)) return limit16((x >> 7) + 7);
  if (x >= -(1 << 22) && x < -128) return limit16((x >> 7) - 7);
  return limit16(x >> 4);
}

const KvrPcmDrcFn gspfPCMDRCList[3] = {get_goodvalue0, get_goodvalue1, get_goodvalue2};
