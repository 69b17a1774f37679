/* Stand-in Vorbis decoder library over libvorbis (see standin_dec.h). The
 * extra data holds the three header packets one after the other, from the
 * identification header on: 30 bytes of identification, the comment header
 * (its length follows from its own fields), then the setup header. */

#include <math.h>
#include <vorbis/codec.h>

#include "standin_dec.h"

typedef struct VorbisContext {
  KvrFreeFn release;
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  int dsp_ready, block_ready;
  int64_t packetno;
  StandinPending pending;
} VorbisContext;

#define ID_HEADER_SIZE 30
#define MAX_COMMENTS 100000u

static uint32_t le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

/* Length of the comment header at p (at most n bytes), or 0 when its fields
 * run past n. */
static size_t comment_length(const uint8_t* p, size_t n) {
  if (n < 7 + 4 || p[0] != 3 || memcmp(p + 1, "vorbis", 6)) return 0;
  size_t pos = 7;
  uint32_t vendor = le32(p + pos);
  pos += 4;
  if (vendor > n - pos || n - pos - vendor < 4) return 0;
  pos += vendor;
  uint32_t count = le32(p + pos);
  pos += 4;
  if (count > MAX_COMMENTS) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (n - pos < 4) return 0;
    uint32_t len = le32(p + pos);
    pos += 4;
    if (len > n - pos) return 0;
    pos += len;
  }
  if (n - pos < 1) return 0; /* framing bit */
  return pos + 1;
}

/* Clipped in float, before the conversion, so a damaged packet's huge
 * values cannot wrap. */
static int16_t to_s16(float v) {
  if (!(v > -1.0f)) return v != v ? 0 : -32768;
  if (v >= 1.0f) return 32767;
  return standin_clip16((int32_t)lrintf(v * 32768.0f));
}

static void vorbis_release(VorbisContext* ctx) {
  if (ctx->block_ready) vorbis_block_clear(&ctx->block);
  if (ctx->dsp_ready) vorbis_dsp_clear(&ctx->dsp);
  vorbis_comment_clear(&ctx->comment);
  vorbis_info_clear(&ctx->info);
  if (ctx->pending.pcm) ctx->release(ctx->pending.pcm);
  ctx->release(ctx);
}

static int header_in(VorbisContext* ctx, const uint8_t* data, size_t size, int first) {
  ogg_packet p;
  memset(&p, 0, sizeof p);
  p.packet = (unsigned char*)data;
  p.bytes = (long)size;
  p.b_o_s = first;
  p.packetno = ctx->packetno++;
  return vorbis_synthesis_headerin(&ctx->info, &ctx->comment, &p) == 0;
}

static int32_t vorbis_open(void** slot, omx_audiodec_DecoderInit* init) {
  *slot = NULL;
  if (!init->calloc_fn || !init->common.release) return STANDIN_EFAIL;
  const uint8_t* extra = init->common.extra;
  size_t size = init->common.extra_size > 0 ? (size_t)init->common.extra_size : 0;
  if (!extra || size < ID_HEADER_SIZE) return STANDIN_EDATA;
  VorbisContext* ctx = init->calloc_fn(1, sizeof *ctx);
  if (!ctx) return STANDIN_EFAIL;
  ctx->release = init->common.release;
  vorbis_info_init(&ctx->info);
  vorbis_comment_init(&ctx->comment);
  size_t comment = comment_length(extra + ID_HEADER_SIZE, size - ID_HEADER_SIZE);
  if (!comment || size - ID_HEADER_SIZE - comment == 0 ||
      !header_in(ctx, extra, ID_HEADER_SIZE, 1) ||
      !header_in(ctx, extra + ID_HEADER_SIZE, comment, 0) ||
      !header_in(ctx, extra + ID_HEADER_SIZE + comment, size - ID_HEADER_SIZE - comment, 0))
    goto fail;
  if (ctx->info.channels < 1 || ctx->info.channels > 8) goto fail;
  if (vorbis_synthesis_init(&ctx->dsp, &ctx->info) != 0) goto fail;
  ctx->dsp_ready = 1;
  if (vorbis_block_init(&ctx->dsp, &ctx->block) != 0) goto fail;
  ctx->block_ready = 1;
  ctx->pending.channels = ctx->info.channels;
  ctx->pending.capacity = (int32_t)vorbis_info_blocksize(&ctx->info, 1);
  ctx->pending.pcm = init->calloc_fn((size_t)ctx->pending.capacity * ctx->info.channels, sizeof(int16_t));
  if (!ctx->pending.pcm) goto fail;
  standin_output_format(init->common.out_format, (int32_t)ctx->info.rate, ctx->info.channels);
  *slot = ctx;
  return STANDIN_OK;
fail:
  vorbis_release(ctx);
  return STANDIN_EDATA;
}

static int32_t vorbis_decode(VorbisContext* ctx, KvrWavDecInput* in, KvrWavDecOutput* out) {
  if (ctx->pending.frames > ctx->pending.offset) return standin_emit(&ctx->pending, out);
  if (in->length <= 0 || !in->data) {
    out->frames = 0;
    return STANDIN_OK;
  }
  ogg_packet p;
  memset(&p, 0, sizeof p);
  p.packet = (unsigned char*)in->data;
  p.bytes = in->length;
  p.packetno = ctx->packetno++;
  in->data += in->length;
  in->length = 0;
  if (vorbis_synthesis(&ctx->block, &p) != 0 || vorbis_synthesis_blockin(&ctx->dsp, &ctx->block) != 0) {
    out->frames = 0;
    return STANDIN_EDATA;
  }
  float** pcm;
  int n;
  while ((n = vorbis_synthesis_pcmout(&ctx->dsp, &pcm)) > 0) {
    int room = ctx->pending.capacity - ctx->pending.frames;
    if (n > room) n = room;
    int16_t* dst = ctx->pending.pcm + (size_t)ctx->pending.frames * ctx->info.channels;
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < ctx->info.channels; ++c)
        *dst++ = to_s16(pcm[c][i]);
    ctx->pending.frames += n;
    vorbis_synthesis_read(&ctx->dsp, n);
    if (ctx->pending.frames == ctx->pending.capacity) break;
  }
  out->sample_rate = (int32_t)ctx->info.rate;
  out->channels = ctx->info.channels;
  return standin_emit(&ctx->pending, out);
}

static int32_t vorbis_entry(int32_t op, void* slot, void* in, void* out) {
  void** handle = slot;
  if (!handle) return STANDIN_EFAIL;
  switch (op) {
  case KVR_WAV_DEC_OPEN:
    return in ? vorbis_open(handle, in) : STANDIN_EFAIL;
  case KVR_WAV_DEC_DECODE:
    if (!*handle || !in || !out) return STANDIN_EFAIL;
    return vorbis_decode(*handle, in, out);
  case KVR_WAV_DEC_CLOSE:
    if (*handle) vorbis_release(*handle);
    *handle = NULL;
    return STANDIN_OK;
  default:
    return STANDIN_EFAIL;
  }
}

STANDIN_EXPORT KvrEntryFn FucntionList[KVR_FUNCTION_LIST_SLOTS] = {vorbis_entry};
