/* Bit reader and NAL helpers shared by the header parsers. */
#include <string.h>

#include "ts_es_internal.h"

void tsd_bits_init(TsdBits* br, const uint8_t* data, size_t size) {
  br->data = data;
  br->size = data ? size : 0;
  br->pos = 0;
}

static uint32_t read_bit(TsdBits* br) {
  size_t byte = br->pos >> 3;
  uint32_t bit = 0;
  if (byte < br->size) bit = (br->data[byte] >> (7 - (br->pos & 7))) & 1u;
  br->pos++;
  return bit;
}

uint32_t tsd_bits_read(TsdBits* br, int n) {
  uint32_t v = 0;
  if (n <= 0) return 0;
  if (n > 32) n = 32;
  /* Whole bytes when aligned and inside the buffer, bit by bit otherwise. */
  while (n >= 8 && (br->pos & 7) == 0 && (br->pos >> 3) < br->size) {
    v = (v << 8) | br->data[br->pos >> 3];
    br->pos += 8;
    n -= 8;
  }
  while (n-- > 0) v = (v << 1) | read_bit(br);
  return v;
}

void tsd_bits_skip(TsdBits* br, size_t n) {
  size_t limit = br->size * 8 + 1;
  /* Past the end nothing is left to read: park just beyond it. */
  br->pos = (n > limit || br->pos + n > limit) ? limit : br->pos + n;
}

int tsd_bits_exhausted(const TsdBits* br) { return br->pos >= br->size * 8; }

uint32_t tsd_bits_ue(TsdBits* br) {
  int zeros = 0;
  /* The marker bit after the zeros is consumed for the longest code too;
   * a longer run of zeros is no 32-bit code (damage, or the end). */
  while (read_bit(br) == 0)
    if (++zeros > 32) return 0xFFFFFFFFu;
  if (zeros == 0) return 0;
  /* (2^zeros - 1) + suffix, modulo 2^32. */
  uint32_t base = zeros == 32 ? 0xFFFFFFFFu : ((1u << zeros) - 1u);
  return base + tsd_bits_read(br, zeros);
}

int32_t tsd_bits_se(TsdBits* br) {
  uint32_t k = tsd_bits_ue(br);
  if (k & 1u) return (int32_t)((k >> 1) + 1u);
  return -(int32_t)(k >> 1);
}

uint32_t tsd_bits_ue_max(TsdBits* br, uint32_t max) {
  uint32_t v = tsd_bits_ue(br);
  return v > max ? max : v;
}

size_t tsd_unescape_nal(const uint8_t* src, size_t size, uint8_t* dst, size_t cap) {
  size_t out = 0;
  int zeros = 0;
  for (size_t i = 0; i < size && out < cap; i++) {
    uint8_t b = src[i];
    if (zeros >= 2 && b == 1) {
      /* Next start code: drop the zeros of its prefix that were copied. */
      out -= 2;
      break;
    }
    if (zeros >= 2 && b == 3) {
      zeros = 0;
      continue;
    }
    dst[out++] = b;
    zeros = b == 0 ? zeros + 1 : 0;
  }
  return out;
}

uint32_t tsd_fourcc(const char tag[4]) {
  uint32_t v;
  memcpy(&v, tag, 4);
  return v;
}
