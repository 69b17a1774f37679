/* Stand-in FLAC decoder library over libFLAC (see standin_dec.h). The extra
 * data is the stream information block, alone (34 bytes) or after "fLaC"
 * and its block header; each packet is one frame. */

#include <FLAC/stream_decoder.h>

#include "standin_dec.h"

#define STREAMINFO_SIZE 34
#define FLAC_MAX_CHANNELS 8

typedef struct FlacContext {
  KvrFreeFn release;
  FLAC__StreamDecoder* decoder;
  /* What the read callback hands out next. */
  const uint8_t* feed;
  size_t feedLeft;
  uint8_t header[4 + 4 + STREAMINFO_SIZE];
  int32_t channels, rate, bits;
  int failed;
  StandinPending pending;
} FlacContext;

static FLAC__StreamDecoderReadStatus flac_read(const FLAC__StreamDecoder* d, FLAC__byte* buffer,
                                               size_t* bytes, void* data) {
  (void)d;
  FlacContext* ctx = data;
  /* Running dry inside a frame means the packet was cut short. */
  if (!ctx->feedLeft) {
    *bytes = 0;
    return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
  }
  size_t n = *bytes < ctx->feedLeft ? *bytes : ctx->feedLeft;
  memcpy(buffer, ctx->feed, n);
  ctx->feed += n;
  ctx->feedLeft -= n;
  *bytes = n;
  return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

static FLAC__StreamDecoderWriteStatus flac_write(const FLAC__StreamDecoder* d, const FLAC__Frame* frame,
                                                 const FLAC__int32* const buffer[], void* data) {
  (void)d;
  FlacContext* ctx = data;
  int32_t n = (int32_t)frame->header.blocksize;
  int32_t channels = (int32_t)frame->header.channels;
  int32_t bits = (int32_t)frame->header.bits_per_sample;
  if (channels != ctx->channels || n > ctx->pending.capacity - ctx->pending.frames || bits < 4 || bits > 32) {
    ctx->failed = 1;
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  int16_t* dst = ctx->pending.pcm + (size_t)ctx->pending.frames * channels;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t c = 0; c < channels; ++c) {
      int32_t v = buffer[c][i];
      *dst++ = (int16_t)(bits > 16 ? v >> (bits - 16) : (int32_t)((uint32_t)v << (16 - bits)));
    }
  ctx->pending.frames += n;
  ctx->rate = (int32_t)frame->header.sample_rate;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

static void flac_metadata(const FLAC__StreamDecoder* d, const FLAC__StreamMetadata* m, void* data) {
  (void)d;
  FlacContext* ctx = data;
  if (m->type != FLAC__METADATA_TYPE_STREAMINFO) return;
  ctx->channels = (int32_t)m->data.stream_info.channels;
  ctx->rate = (int32_t)m->data.stream_info.sample_rate;
  ctx->bits = (int32_t)m->data.stream_info.bits_per_sample;
}

static void flac_error(const FLAC__StreamDecoder* d, FLAC__StreamDecoderErrorStatus status, void* data) {
  (void)d;
  (void)status;
  ((FlacContext*)data)->failed = 1;
}

static void flac_release(FlacContext* ctx) {
  if (ctx->decoder) FLAC__stream_decoder_delete(ctx->decoder);
  if (ctx->pending.pcm) ctx->release(ctx->pending.pcm);
  ctx->release(ctx);
}

static int32_t flac_open(void** slot, omx_audiodec_DecoderInit* init) {
  *slot = NULL;
  KvrMallocFn alloc = init->common.alloc;
  if (!alloc || !init->common.release) return STANDIN_EFAIL;
  const uint8_t* extra = init->common.extra;
  size_t n = init->common.extra_size > 0 ? (size_t)init->common.extra_size : 0;
  const uint8_t* info = NULL;
  if (extra && n >= 8 + STREAMINFO_SIZE && !memcmp(extra, "fLaC", 4) && (extra[4] & 0x7F) == 0)
    info = extra + 8;
  else if (extra && n == STREAMINFO_SIZE)
    info = extra;
  if (!info) return STANDIN_EDATA;
  FlacContext* ctx = alloc(sizeof *ctx);
  if (!ctx) return STANDIN_EFAIL;
  memset(ctx, 0, sizeof *ctx);
  ctx->release = init->common.release;
  /* The stream information alone, marked as the last metadata block. */
  memcpy(ctx->header, "fLaC", 4);
  ctx->header[4] = 0x80;
  ctx->header[7] = STREAMINFO_SIZE;
  memcpy(ctx->header + 8, info, STREAMINFO_SIZE);
  ctx->feed = ctx->header;
  ctx->feedLeft = sizeof ctx->header;
  ctx->decoder = FLAC__stream_decoder_new();
  if (!ctx->decoder) {
    flac_release(ctx);
    return STANDIN_EFAIL;
  }
  FLAC__stream_decoder_set_md5_checking(ctx->decoder, false);
  if (FLAC__stream_decoder_init_stream(ctx->decoder, flac_read, NULL, NULL, NULL, NULL, flac_write,
                                       flac_metadata, flac_error, ctx) != FLAC__STREAM_DECODER_INIT_STATUS_OK ||
      !FLAC__stream_decoder_process_until_end_of_metadata(ctx->decoder) || ctx->failed ||
      ctx->channels < 1 || ctx->channels > FLAC_MAX_CHANNELS) {
    flac_release(ctx);
    return STANDIN_EDATA;
  }
  uint32_t maxBlock = (uint32_t)info[2] << 8 | info[3];
  if (maxBlock < 16) maxBlock = 65535;
  ctx->pending.channels = ctx->channels;
  ctx->pending.capacity = (int32_t)maxBlock;
  ctx->pending.pcm = alloc((size_t)maxBlock * ctx->channels * sizeof(int16_t));
  if (!ctx->pending.pcm) {
    flac_release(ctx);
    return STANDIN_EFAIL;
  }
  standin_output_format(init->common.out_format, ctx->rate, ctx->channels);
  *slot = ctx;
  return STANDIN_OK;
}

static int32_t flac_decode(FlacContext* ctx, KvrWavDecInput* in, KvrWavDecOutput* out) {
  if (ctx->pending.frames > ctx->pending.offset) return standin_emit(&ctx->pending, out);
  if (in->length <= 0 || !in->data) {
    out->frames = 0;
    return STANDIN_OK;
  }
  ctx->feed = in->data;
  ctx->feedLeft = (size_t)in->length;
  in->data += in->length;
  in->length = 0;
  ctx->failed = 0;
  FLAC__bool ok = FLAC__stream_decoder_process_single(ctx->decoder);
  ctx->feedLeft = 0;
  if (!ok || ctx->failed || FLAC__stream_decoder_get_state(ctx->decoder) >= FLAC__STREAM_DECODER_END_OF_STREAM) {
    /* Back to searching for the next frame. */
    FLAC__stream_decoder_flush(ctx->decoder);
    ctx->pending.frames = ctx->pending.offset = 0;
    out->frames = 0;
    return STANDIN_EDATA;
  }
  out->sample_rate = ctx->rate;
  out->channels = ctx->channels;
  return standin_emit(&ctx->pending, out);
}

static int32_t flac_entry(int32_t op, void* slot, void* in, void* out) {
  void** handle = slot;
  if (!handle) return STANDIN_EFAIL;
  switch (op) {
  case KVR_WAV_DEC_OPEN:
    return in ? flac_open(handle, in) : STANDIN_EFAIL;
  case KVR_WAV_DEC_DECODE:
    if (!*handle || !in || !out) return STANDIN_EFAIL;
    return flac_decode(*handle, in, out);
  case KVR_WAV_DEC_CLOSE:
    if (*handle) flac_release(*handle);
    *handle = NULL;
    return STANDIN_OK;
  default:
    return STANDIN_EFAIL;
  }
}

STANDIN_EXPORT KvrEntryFn FucntionList[KVR_FUNCTION_LIST_SLOTS] = {flac_entry};
