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

/* Frames the linear-PCM decoder would take from `length` bytes (a multiple
 * of four, possibly below four), or -1 for a bit depth it does not handle. */
PCMDEC_HIDDEN int32_t pcmdec_lpcm_frames(const KvrWavDecContext* ctx, int32_t length);

#endif
