#ifndef PCMDEC_INTERNAL_H
#define PCMDEC_INTERNAL_H
#include "kvr_pcmdec.h"

#define PCMDEC_HIDDEN __attribute__((visibility("hidden")))

/* Linear PCM is taken at most this many sample frames per call. */
#define PCMDEC_LPCM_MAX_FRAMES 2048

struct KvrWavDecContext {
  KvrMallocFn alloc;
  KvrFreeFn release;
  KvrMemcpyFn copy;
  int32_t block_align;
  int32_t samples_per_block;
  int32_t interleaved;
  int32_t bits;
  int32_t format;
  int32_t channels;
  int32_t big_endian;
  int32_t layout;
  int32_t downmix;
  int32_t assignment;  /* channel count (WAVE family) or BD channel assignment */
  KvrPcmDrcFn drc;
  KvrBlockDecoder decode;
  const int32_t* mix_row;
  int32_t lpcm;
  uint8_t* work;       /* interleaved samples before they are spread over planar buffers */
  int32_t out32;       /* 32-bit output containers for sources wider than 16 bits */
  /* IMA ADPCM in WAVE blocks: samples that did not fill a group of four. */
  int16_t ima_left[2][3];
  int32_t ima_left_count;
};

/* Output channels after the down-mix. */
static inline int32_t pcmdec_out_channels(const KvrWavDecContext* ctx) {
  return (ctx->downmix && ctx->channels > 2) ? 2 : ctx->channels;
}

static inline int32_t pcmdec_sext24(uint32_t v) {
  return (int32_t)((v & 0xFFFFFFu) ^ 0x800000u) - 0x800000;
}

/* Sample readers shared by the decoders and the mixing routines. */
static inline int32_t pcmdec_le16(const uint8_t* p) { return (int16_t)(uint16_t)(p[0] | p[1] << 8); }
static inline int32_t pcmdec_be16(const uint8_t* p) { return (int16_t)(uint16_t)(p[0] << 8 | p[1]); }
static inline int32_t pcmdec_le24(const uint8_t* p) {
  return pcmdec_sext24((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16);
}
static inline int32_t pcmdec_be24(const uint8_t* p) {
  return pcmdec_sext24((uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | (uint32_t)p[2]);
}

/* Sample k of frame f (0 or 1) of a DVD group of two frames: the upper two
 * bytes of frame 1's channels, of frame 2's, then the low parts of frame 1
 * and of frame 2: a byte per channel (24-bit), or a byte per two consecutive
 * channels with the even channel in the high nibble (20-bit, whose lowest
 * four bits are 0). */
static inline int32_t pcmdec_dvd_sample(const uint8_t* group, int32_t channels, int32_t f, int32_t k,
                                        int wide) {
  const uint8_t* hi = group + 2 * channels * f + 2 * k;
  const uint8_t* lo = group + 4 * channels + (wide ? channels : channels / 2) * f;
  uint32_t low = wide ? lo[k] : ((uint32_t)(lo[k >> 1] >> (4 * (1 - (k & 1)))) & 0xF) << 4;
  return pcmdec_sext24((uint32_t)hi[0] << 16 | (uint32_t)hi[1] << 8 | low);
}

/* Frames the linear-PCM decoder would take from `length` bytes (a multiple
 * of four, possibly below four), or -1 for a bit depth it does not handle. */
PCMDEC_HIDDEN int32_t pcmdec_lpcm_frames(const KvrWavDecContext* ctx, int32_t length);

#endif
