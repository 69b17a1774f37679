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
 * already needs 48 bits. */
const uint8_t* KV_PCMDOWNCH_AUDIO16(const uint8_t* src, const int32_t* row, int16_t* dst,
                                    int32_t channels) {
  int64_t l = 0, r = 0;
  for (int32_t k = 0; k < channels; ++k) {
    int64_t s = (int16_t)(uint16_t)(src[2 * k] | src[2 * k + 1] << 8);
    l += s * row[k];
    r += s * row[8 + k];
  }
  dst[0] = (int16_t)(l >> 24);
  dst[1] = (int16_t)(r >> 24);
  return src + 2 * channels;
}

const uint8_t* KV_PCMDOWNCH_BD16(const uint8_t* src, const int32_t* row, int16_t* dst,
                                 int32_t channels) {
  int64_t l = 0, r = 0;
  for (int32_t k = 0; k < channels; ++k) {
    int64_t s = (int16_t)(uint16_t)(src[2 * k] << 8 | src[2 * k + 1]);
    l += s * row[k];
    r += s * row[8 + k];
  }
  dst[0] = (int16_t)(l >> 24);
  dst[1] = (int16_t)(r >> 24);
  return src + 2 * channels;
}

const uint8_t* KV_PCMDOWNCH_AUDIO24(const uint8_t* src, const int32_t* row, int32_t* dst,
                                    int32_t channels) {
  int64_t l = 0, r = 0;
  for (int32_t k = 0; k < channels; ++k) {
    const uint8_t* p = src + 3 * k;
    int64_t s = pcmdec_sext24((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16);
    l += s * row[k];
    r += s * row[8 + k];
  }
  dst[0] = (int32_t)(l >> 24);
  dst[1] = (int32_t)(r >> 24);
  return src + 3 * channels;
}

const uint8_t* KV_PCMDOWNCH_BD24(const uint8_t* src, const int32_t* row, int32_t* dst,
                                 int32_t channels) {
  int64_t l = 0, r = 0;
  for (int32_t k = 0; k < channels; ++k) {
    const uint8_t* p = src + 3 * k;
    int64_t s = pcmdec_sext24((uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | (uint32_t)p[2]);
    l += s * row[k];
    r += s * row[8 + k];
  }
  dst[0] = (int32_t)(l >> 24);
  dst[1] = (int32_t)(r >> 24);
  return src + 3 * channels;
}

/* A DVD 24-bit group: upper two bytes of frame 1's channels, of frame 2's,
 * then the low bytes of frame 1 and of frame 2. */
const uint8_t* KV_PCMDOWNCH_DVD24(const uint8_t* src, const int32_t* row, int32_t* dst,
                                  int32_t channels) {
  for (int32_t f = 0; f < 2; ++f) {
    const uint8_t* hi = src + 2 * channels * f;
    const uint8_t* lo = src + 4 * channels + channels * f;
    int64_t l = 0, r = 0;
    for (int32_t k = 0; k < channels; ++k) {
      int64_t s = pcmdec_sext24((uint32_t)hi[2 * k] << 16 | (uint32_t)hi[2 * k + 1] << 8 | lo[k]);
      l += s * row[k];
      r += s * row[8 + k];
    }
    dst[2 * f] = (int32_t)(l >> 24);
    dst[2 * f + 1] = (int32_t)(r >> 24);
  }
  return src + 6 * channels;
}

/* A DVD 20-bit group: as 24-bit, but each low byte carries the low nibbles of
 * two consecutive channels (the even channel in the high nibble). */
const uint8_t* KV_PCMDOWNCH_DVD20(const uint8_t* src, const int32_t* row, int32_t* dst,
                                  int32_t channels) {
  for (int32_t f = 0; f < 2; ++f) {
    const uint8_t* hi = src + 2 * channels * f;
    const uint8_t* lo = src + 4 * channels + (channels / 2) * f;
    int64_t l = 0, r = 0;
    for (int32_t k = 0; k < channels; ++k) {
      uint32_t nib = (uint32_t)(lo[k >> 1] >> (4 * (1 - (k & 1)))) & 0xF;
      int64_t s = pcmdec_sext24((uint32_t)hi[2 * k] << 16 | (uint32_t)hi[2 * k + 1] << 8 | nib << 4);
      l += s * row[k];
      r += s * row[8 + k];
    }
    dst[2 * f] = (int32_t)(l >> 24);
    dst[2 * f + 1] = (int32_t)(r >> 24);
  }
  return src + 5 * channels;
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
