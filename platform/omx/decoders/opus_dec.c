/* Stand-in Opus decoder library over libopus (see standin_dec.h). The extra
 * data is the stream's identification header ("OpusHead"); the output is
 * 48 kHz, with the header's pre-skip dropped from the start. */

#include <opus_multistream.h>

#include "standin_dec.h"

#define OPUS_RATE 48000
#define OPUS_MAX_FRAMES 5760 /* 120 ms */
#define OPUS_MAX_CHANNELS 8

typedef struct OpusContext {
  KvrFreeFn release;
  OpusMSDecoder* decoder;
  int32_t channels;
  int32_t skip; /* frames still to drop */
  StandinPending pending;
} OpusContext;

static void opus_release(OpusContext* ctx) {
  if (ctx->decoder) opus_multistream_decoder_destroy(ctx->decoder);
  if (ctx->pending.pcm) ctx->release(ctx->pending.pcm);
  ctx->release(ctx);
}

static int32_t opus_open(void** slot, omx_audiodec_DecoderInit* init) {
  *slot = NULL;
  KvrMallocFn alloc = init->common.alloc;
  if (!alloc || !init->common.release) return STANDIN_EFAIL;
  const uint8_t* h = init->common.extra;
  size_t n = init->common.extra_size > 0 ? (size_t)init->common.extra_size : 0;
  if (!h || n < 19 || memcmp(h, "OpusHead", 8) || (h[8] >> 4) != 0) return STANDIN_EDATA;
  int channels = h[9];
  int family = h[18];
  int streams = 1, coupled = channels == 2;
  unsigned char mapping[OPUS_MAX_CHANNELS] = {0, 1};
  if (channels < 1 || channels > OPUS_MAX_CHANNELS) return STANDIN_EDATA;
  if (family == 0) {
    if (channels > 2) return STANDIN_EDATA;
  } else {
    if (n < 21 + (size_t)channels) return STANDIN_EDATA;
    streams = h[19];
    coupled = h[20];
    memcpy(mapping, h + 21, (size_t)channels);
  }
  OpusContext* ctx = alloc(sizeof *ctx);
  if (!ctx) return STANDIN_EFAIL;
  memset(ctx, 0, sizeof *ctx);
  ctx->release = init->common.release;
  int err = 0;
  ctx->decoder = opus_multistream_decoder_create(OPUS_RATE, channels, streams, coupled, mapping, &err);
  ctx->channels = channels;
  ctx->skip = h[10] | h[11] << 8;
  ctx->pending.channels = channels;
  ctx->pending.capacity = OPUS_MAX_FRAMES;
  ctx->pending.pcm = alloc((size_t)OPUS_MAX_FRAMES * channels * sizeof(int16_t));
  if (!ctx->decoder || err != OPUS_OK || !ctx->pending.pcm) {
    const int32_t r = ctx->pending.pcm ? STANDIN_EDATA : STANDIN_EFAIL;
    opus_release(ctx);
    return r;
  }
  standin_output_format(init->common.out_format, OPUS_RATE, channels);
  *slot = ctx;
  return STANDIN_OK;
}

static int32_t opus_decode_packet(OpusContext* ctx, KvrWavDecInput* in, KvrWavDecOutput* out) {
  if (ctx->pending.frames > ctx->pending.offset) return standin_emit(&ctx->pending, out);
  if (in->length <= 0 || !in->data) {
    out->frames = 0;
    return STANDIN_OK;
  }
  const unsigned char* data = in->data;
  opus_int32 size = in->length;
  in->data += in->length;
  in->length = 0;
  int n = opus_multistream_decode(ctx->decoder, data, size, ctx->pending.pcm, OPUS_MAX_FRAMES, 0);
  if (n < 0) {
    out->frames = 0;
    return STANDIN_EDATA;
  }
  ctx->pending.frames = n;
  ctx->pending.offset = 0;
  if (ctx->skip > 0) {
    int32_t drop = ctx->skip < n ? ctx->skip : n;
    ctx->pending.offset = drop;
    ctx->skip -= drop;
  }
  out->sample_rate = OPUS_RATE;
  out->channels = ctx->channels;
  return standin_emit(&ctx->pending, out);
}

static int32_t opus_entry(int32_t op, void* slot, void* in, void* out) {
  void** handle = slot;
  if (!handle) return STANDIN_EFAIL;
  switch (op) {
  case KVR_WAV_DEC_OPEN:
    return in ? opus_open(handle, in) : STANDIN_EFAIL;
  case KVR_WAV_DEC_DECODE:
    if (!*handle || !in || !out) return STANDIN_EFAIL;
    return opus_decode_packet(*handle, in, out);
  case KVR_WAV_DEC_CLOSE:
    if (*handle) opus_release(*handle);
    *handle = NULL;
    return STANDIN_OK;
  default:
    return STANDIN_EFAIL;
  }
}

STANDIN_EXPORT KvrEntryFn FucntionList[KVR_FUNCTION_LIST_SLOTS] = {opus_entry};
