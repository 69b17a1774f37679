/* Linear PCM block decoders (little-endian, big-endian and BD, DVD) and the
 * channel-order rules that put multichannel output into the caller's
 * speaker order. */
#include "pcmdec_internal.h"

/* Bits a sample takes in the stream: 20-bit samples sit in 3-byte containers
 * except in the DVD layout, which packs them into 2.5 bytes. The decoder
 * that runs decides, so that a block decoder called on its own with another
 * decoder's context still frames by its own layout. */
static int32_t container_bits(const KvrWavDecContext* ctx, KvrBlockDecoder decoder) {
  if (ctx->bits == 20 && decoder != LPCM_DVD16MIX_DECLIB) return 24;
  return ctx->bits;
}

static int depth_supported(const KvrWavDecContext* ctx, KvrBlockDecoder decoder) {
  int32_t b = ctx->bits;
  if (decoder == LPCM_LE16MIX_DECLIB) return b == 8 || b == 16 || b == 20 || b == 24;
  if (decoder == LPCM_BE16MIX_DECLIB) return b == 16 || b == 20 || b == 24;
  /* DVD 20-bit nibble bytes pair channels up, so the count must be even. */
  if (b == 20) return (ctx->channels & 1) == 0;
  return b == 16 || b == 24;
}

static int32_t lpcm_frames(const KvrWavDecContext* ctx, KvrBlockDecoder decoder, int32_t length) {
  if (!depth_supported(ctx, decoder)) return -1;
  int64_t frame_bits = (int64_t)ctx->channels * container_bits(ctx, decoder);
  int64_t bytes = length;
  if (bytes * 8 > frame_bits * PCMDEC_LPCM_MAX_FRAMES) bytes = frame_bits * PCMDEC_LPCM_MAX_FRAMES / 8;
  return (int32_t)((bytes * 8 / frame_bits) & ~(int64_t)3);
}

int32_t pcmdec_lpcm_frames(const KvrWavDecContext* ctx, int32_t length) {
  return lpcm_frames(ctx, ctx->decode, length);
}

/* Where the decoder writes: the work buffer when the entry spreads the
 * samples over planar buffers afterwards, else output buffer 0. */
static uint8_t* destination(const KvrWavDecOutput* out, const KvrWavDecContext* ctx) {
  return ctx->work ? ctx->work : (uint8_t*)out->buffer[0];
}

static void store_wide(const KvrWavDecContext* ctx, uint8_t** dst, int32_t v) {
  if (ctx->out32) {
    *(int32_t*)*dst = v;
    *dst += 4;
  } else {
    *(int16_t*)*dst = ctx->drc(v);
    *dst += 2;
  }
}

static void finish(KvrWavDecInput* in, KvrWavDecOutput* out, int32_t frames, int32_t consumed) {
  in->data += consumed;
  in->length -= consumed;
  if (in->length < 0) in->length = 0;
  out->frames = frames;
}

/* Little- and big-endian linear PCM share their framing and differ only in
 * how a sample is read; 8-bit samples exist only little-endian (the depth
 * check refuses them big-endian). */
static int32_t plain_lpcm(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx, int big) {
  int32_t frames = lpcm_frames(ctx, big ? LPCM_BE16MIX_DECLIB : LPCM_LE16MIX_DECLIB, in->length);
  if (frames < 0) return KVR_WAV_DEC_EUNSUPPORTED;
  if (frames < 4) return KVR_WAV_DEC_ENEEDMORE;
  const int32_t c = ctx->channels;
  const int32_t samples = frames * c;
  const int32_t consumed = frames * c * (container_bits(ctx, LPCM_LE16MIX_DECLIB) / 8);
  const uint8_t* src = in->data;
  uint8_t* dst = destination(out, ctx);
  const int mix = ctx->downmix && c > 2;
  if (mix && !ctx->mix_row) return KVR_WAV_DEC_EUNSUPPORTED;

  if (!mix) {
    if (ctx->bits == 16 && !big) {
      ctx->copy(dst, src, (size_t)samples * 2);
    } else if (ctx->bits == 16) {
      int16_t* d = (int16_t*)dst;
      for (int32_t i = 0; i < samples; ++i, src += 2) d[i] = (int16_t)pcmdec_be16(src);
    } else if (ctx->bits == 8) {
      int16_t* d = (int16_t*)dst;
      for (int32_t i = 0; i < samples; ++i) d[i] = (int16_t)((src[i] - 128) * 256);
    } else {
      for (int32_t i = 0; i < samples; ++i, src += 3)
        store_wide(ctx, &dst, big ? pcmdec_be24(src) : pcmdec_le24(src));
    }
  } else if (ctx->bits == 16) {
    int16_t* d = (int16_t*)dst;
    for (int32_t f = 0; f < frames; ++f, d += 2)
      src = big ? KV_PCMDOWNCH_BD16(src, ctx->mix_row, d, c) : KV_PCMDOWNCH_AUDIO16(src, ctx->mix_row, d, c);
  } else if (ctx->bits == 8) {
    /* (x - 128) x 256 as a little-endian 16-bit sample: a zero low byte and
     * x with its top bit flipped, mixed like 16-bit input. */
    uint8_t frame[2 * KVR_WAV_DEC_MAX_CHANNELS];
    int16_t* d = (int16_t*)dst;
    for (int32_t f = 0; f < frames; ++f, d += 2) {
      for (int32_t k = 0; k < c; ++k) {
        frame[2 * k] = 0;
        frame[2 * k + 1] = (uint8_t)(*src++ ^ 0x80);
      }
      KV_PCMDOWNCH_AUDIO16(frame, ctx->mix_row, d, c);
    }
  } else {
    int32_t pair[2];
    for (int32_t f = 0; f < frames; ++f) {
      src = big ? KV_PCMDOWNCH_BD24(src, ctx->mix_row, pair, c) : KV_PCMDOWNCH_AUDIO24(src, ctx->mix_row, pair, c);
      store_wide(ctx, &dst, pair[0]);
      store_wide(ctx, &dst, pair[1]);
    }
  }
  finish(in, out, frames, consumed);
  return KVR_WAV_DEC_OK;
}

int32_t LPCM_LE16MIX_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx) {
  return plain_lpcm(in, out, ctx, 0);
}

/* Big-endian, also BD LPCM after its packet header. */
int32_t LPCM_BE16MIX_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx) {
  return plain_lpcm(in, out, ctx, 1);
}

int32_t LPCM_DVD16MIX_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx) {
  int32_t frames = lpcm_frames(ctx, LPCM_DVD16MIX_DECLIB, in->length);
  if (frames < 0) return KVR_WAV_DEC_EUNSUPPORTED;
  if (frames < 4) return KVR_WAV_DEC_ENEEDMORE;
  const int32_t c = ctx->channels;
  const int32_t consumed = (int32_t)((int64_t)frames * c * ctx->bits / 8);
  const uint8_t* src = in->data;
  uint8_t* dst = destination(out, ctx);
  const int mix = ctx->downmix && c > 2;
  if (mix && !ctx->mix_row) return KVR_WAV_DEC_EUNSUPPORTED;

  if (ctx->bits == 16) {
    if (!mix) {
      int16_t* d = (int16_t*)dst;
      for (int32_t i = 0; i < frames * c; ++i, src += 2) d[i] = (int16_t)pcmdec_be16(src);
    } else {
      int16_t* d = (int16_t*)dst;
      for (int32_t f = 0; f < frames; ++f, d += 2) src = KV_PCMDOWNCH_BD16(src, ctx->mix_row, d, c);
    }
  } else {
    const int wide = ctx->bits == 24;
    const int32_t group = wide ? 6 * c : 5 * c;
    for (int32_t g = 0; g < frames / 2; ++g, src += group) {
      if (mix) {
        int32_t four[4];
        if (wide) KV_PCMDOWNCH_DVD24(src, ctx->mix_row, four, c);
        else KV_PCMDOWNCH_DVD20(src, ctx->mix_row, four, c);
        for (int i = 0; i < 4; ++i) store_wide(ctx, &dst, four[i]);
        continue;
      }
      for (int32_t f = 0; f < 2; ++f)
        for (int32_t k = 0; k < c; ++k) store_wide(ctx, &dst, pcmdec_dvd_sample(src, c, f, k, wide));
    }
  }
  finish(in, out, frames, consumed);
  return KVR_WAV_DEC_OK;
}

/* Channel-order rules: for each stream channel the speaker position that
 * carries it, with a fallback position where the layout allows one. */
typedef struct {
  int8_t pos;
  int8_t alt; /* -1: the position is required */
} PositionRule;

typedef struct {
  int32_t channels;
  PositionRule rule[8];
} OrderRow;

#define R(p) {p, -1}
#define A(p, q) {p, q}

static const OrderRow kBdOrder[12] = {
    {0, {R(0)}}, {0, {R(0)}}, {0, {R(0)}},
    /* 3 */ {2, {R(0), R(2)}},
    /* 4 */ {3, {R(0), R(2), R(1)}},
    /* 5 */ {3, {R(0), R(2), R(1)}},
    /* 6 */ {4, {R(0), R(2), R(1), A(3, 5)}},
    /* 7 */ {4, {R(0), R(2), A(3, 5), A(4, 6)}},
    /* 8 */ {5, {R(0), R(2), R(1), A(3, 5), A(4, 6)}},
    /* 9 */ {6, {R(0), R(2), R(1), A(3, 5), A(4, 6), R(7)}},
    /* 10 */ {7, {R(0), R(2), R(1), R(3), R(5), R(6), R(4)}},
    /* 11 */ {8, {R(0), R(2), R(1), R(3), R(5), R(6), R(4), R(7)}},
};

static const OrderRow kWaveOrder[9] = {
    {0, {R(0)}}, {0, {R(0)}},
    /* 2 */ {2, {R(0), R(2)}},
    /* 3 */ {3, {R(0), R(2), R(1)}},
    /* 4 */ {4, {R(0), R(2), R(1), A(3, 5)}},
    /* 5 */ {5, {R(0), R(2), R(1), A(3, 5), A(4, 5)}},
    /* 6 */ {6, {R(0), R(2), R(1), R(7), A(3, 5), A(4, 6)}},
    /* 7 */ {7, {R(0), R(2), R(1), A(3, 5), A(4, 5), R(5), R(6)}},
    /* 8 */ {8, {R(0), R(2), R(1), R(7), A(3, 5), A(4, 6), R(5), R(6)}},
};

int32_t KV_GetChannelOrder_PCM(const int32_t* positions, int32_t* order, const KvrWavDecContext* ctx) {
  const OrderRow* row = 0;
  int32_t code = ctx->layout == KVR_LPCM_BD ? ctx->assignment : ctx->channels;
  if (ctx->layout == KVR_LPCM_BD) {
    if (code >= 0 && code < 12) row = &kBdOrder[code];
  } else if (code >= 0 && code < 9) {
    row = &kWaveOrder[code];
  }
  if (!row || row->channels == 0) return 1;
  for (int32_t k = 0; k < row->channels; ++k) {
    int32_t slot = positions[row->rule[k].pos];
    if (slot == 0 && row->rule[k].alt >= 0) slot = positions[row->rule[k].alt];
    if (slot == 0) return 1;
    order[k] = slot - 1;
  }
  /* Only a permutation of the stream's channels is an order: a slot outside
   * the frame, or two channels sent to one slot, would overwrite or lose
   * samples. */
  const int32_t c = ctx->channels;
  if (c > KVR_WAV_DEC_MAX_CHANNELS || row->channels < c) return 1;
  uint32_t seen = 0;
  for (int32_t k = 0; k < c; ++k) {
    if (order[k] < 0 || order[k] >= c || (seen >> order[k] & 1u)) return 1;
    seen |= 1u << order[k];
  }
  return 0;
}

void KV_Reorder_ChannelData_InterleavePCM_short(const int16_t* src, int16_t* dst, int32_t channels,
                                                const int32_t* order) {
  for (int32_t k = 0; k < channels; ++k) dst[order[k]] = src[k];
}

void KV_Reorder_ChannelData_InterleavePCM_int(const int32_t* src, int32_t* dst, int32_t channels,
                                              const int32_t* order) {
  for (int32_t k = 0; k < channels; ++k) dst[order[k]] = src[k];
}
