/* The entry of the PCM decoder library: open (op 0), decode one block
 * (op 1), close (op 3). Every state lives in the context that op 0 takes
 * from the caller's allocator. */
#include "pcmdec_internal.h"

/* A WAVE format chunk counts channels in 16 bits. */
#define MAX_FILE_CHANNELS 65535

static uint16_t le16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }

static int32_t fail_open(KvrWavDecContext* ctx, void** slot, int32_t code) {
  ctx->release(ctx);
  *slot = 0;
  return code;
}

/* Microsoft ADPCM with a full format extension: only the standard
 * coefficient set is decoded. */
static int32_t check_msadpcm_extension(KvrWavDecContext* ctx, const uint8_t* ext) {
  int32_t spb = le16(ext);
  if (ctx->channels > 2 || ctx->bits != 4 || ctx->block_align < 1 || ctx->block_align > 4096 ||
      spb < 1 || spb > 5460 || ext[2] != 7)
    return KVR_WAV_DEC_EPARAM;
  for (int i = 0; i < 7; ++i) {
    if ((int16_t)le16(ext + 4 + 4 * i) != psCoefficient1[i] ||
        (int16_t)le16(ext + 6 + 4 * i) != psCoefficient2[i])
      return KVR_WAV_DEC_EPARAM;
  }
  ctx->samples_per_block = spb;
  return KVR_WAV_DEC_OK;
}

static int32_t open_decoder(void** slot, const KvrWavDecInit* init) {
  if (!init || !init->alloc || !init->release || !init->copy || !init->fill || !init->in_format ||
      !init->out_format || init->extra_size < 0 || (init->extra_size > 0 && !init->extra)) {
    *slot = 0;
    return KVR_WAV_DEC_EPARAM;
  }
  KvrWavDecContext* ctx = (KvrWavDecContext*)init->alloc(sizeof(KvrWavDecContext));
  if (!ctx) {
    *slot = 0;
    return KVR_WAV_DEC_EFAIL;
  }
  init->fill(ctx, 0, sizeof(*ctx));
  KvrWavDecOutput* of = init->out_format;
  const KvrWavDecInput* inf = init->in_format;
  ctx->alloc = init->alloc;
  ctx->release = init->release;
  ctx->copy = init->copy;
  ctx->format = init->format;
  ctx->big_endian = init->big_endian;
  ctx->layout = init->layout;
  ctx->downmix = init->downmix != 0;
  ctx->bits = inf->bits;
  ctx->channels = inf->channels;
  ctx->block_align = init->block_align;
  ctx->interleaved = of->interleaved != 0;
  ctx->drc = gspfPCMDRCList[0];

  /* A stream without channels or sample bits has nothing to decode, and
   * every framing rule below divides by them. */
  if (ctx->channels <= 0 || ctx->channels > MAX_FILE_CHANNELS || ctx->bits <= 0 || ctx->bits > 32 ||
      ctx->block_align < 0)
    return fail_open(ctx, slot, KVR_WAV_DEC_EPARAM);

  int32_t out_bits = 16;
  switch (ctx->format) {
    case KVR_WAV_FMT_IMAADPCM:
      if (init->extra_size >= 2) ctx->samples_per_block = le16(init->extra);
      /* A block must at least hold the channels' headers. */
      if (ctx->channels > 2 || ctx->samples_per_block > 4096 || ctx->block_align > 4096 ||
          ctx->block_align < 4 * ctx->channels || (ctx->bits != 3 && ctx->bits != 4))
        return fail_open(ctx, slot, KVR_WAV_DEC_EPARAM);
      ctx->decode = IMAADPCM_DECLIB;
      break;
    case KVR_WAV_FMT_IMAADPCM_QT:
      /* The packet decoder has output positions for two channels. */
      if (ctx->channels > 2) return fail_open(ctx, slot, KVR_WAV_DEC_EPARAM);
      ctx->samples_per_block = 64;
      ctx->block_align = 34 * ctx->channels;
      ctx->decode = IMAADPCMQT_DECLIB;
      break;
    case KVR_WAV_FMT_MSADPCM:
      /* The block decoder writes one or two channels whatever the extension. */
      if (ctx->channels > 2) return fail_open(ctx, slot, KVR_WAV_DEC_EPARAM);
      if (init->extra_size < 32) {
        if (inf->sample_rate > 96100) return fail_open(ctx, slot, KVR_WAV_DEC_EPARAM);
        ctx->samples_per_block = 4084;
      } else if (check_msadpcm_extension(ctx, init->extra) != KVR_WAV_DEC_OK) {
        return fail_open(ctx, slot, KVR_WAV_DEC_EPARAM);
      }
      ctx->decode = MSADPCM_DECLIB;
      break;
    case KVR_WAV_FMT_ALAW:
    case KVR_WAV_FMT_ULAW:
      /* G.711 is never mixed down: a caller asking for two channels would
       * get every channel of the stream in buffers sized for two. */
      if (ctx->downmix && ctx->channels > 2) return fail_open(ctx, slot, KVR_WAV_DEC_EUNSUPPORTED);
      if (!ctx->interleaved && ctx->channels > KVR_WAV_DEC_MAX_CHANNELS)
        return fail_open(ctx, slot, KVR_WAV_DEC_EPARAM);
      ctx->decode = ctx->format == KVR_WAV_FMT_ALAW ? ALAW_DECLIB : ULAW_DECLIB;
      break;
    default:
      if (ctx->channels < 16) ctx->mix_row = AD_CHTB[ctx->channels];
      ctx->assignment = ctx->channels;
      if (ctx->bits > 16 && of->bits > 16) {
        ctx->out32 = 1;
        out_bits = of->bits;
      }
      if (ctx->format == KVR_WAV_FMT_PCM_BE) ctx->big_endian = 1;
      if (ctx->layout == KVR_LPCM_DVD) ctx->decode = LPCM_DVD16MIX_DECLIB;
      else if (ctx->big_endian) ctx->decode = LPCM_BE16MIX_DECLIB;
      else ctx->decode = LPCM_LE16MIX_DECLIB;
      ctx->lpcm = 1;
      if (!ctx->interleaved && !ctx->downmix && ctx->channels > KVR_WAV_DEC_MAX_CHANNELS)
        return fail_open(ctx, slot, KVR_WAV_DEC_EPARAM);
      break;
  }

  of->sample_rate = inf->sample_rate;
  if (ctx->downmix && ctx->channels > KVR_WAV_DEC_MAX_CHANNELS)
    return fail_open(ctx, slot, KVR_WAV_DEC_EUNSUPPORTED);
  of->channels = pcmdec_out_channels(ctx);
  of->frames = 4096;
  of->bits = out_bits;
  *slot = ctx;
  return KVR_WAV_DEC_OK;
}

/* The 4-byte header in front of every BD packet. */
static int32_t read_bd_header(KvrWavDecContext* ctx, KvrWavDecInput* in, KvrWavDecOutput* out) {
  const uint8_t* h = in->data;
  if (in->length < 4) return KVR_WAV_DEC_ENEEDMORE;
  if (h[0] == 0xA0 && h[1] == 0x06) {
    /* The rate code sits in bits 4-5 of the last byte, right below the
     * sample-depth code of the BD header's bits 6-7. */
    switch ((h[3] >> 4) & 3) {
      case 1: in->sample_rate = 44100; break;
      case 2: in->sample_rate = 48000; break;
      default: break;
    }
    ctx->channels = 2;
    ctx->assignment = 3;
    in->channels = 2;
  } else {
    int32_t assignment = h[2] >> 4;
    if (ctx->channels > 2 && (assignment < 4 || assignment > 11)) {
      in->length = 0;
      out->frames = 0;
      return KVR_WAV_DEC_EPARAM;
    }
    ctx->assignment = assignment;
    ctx->mix_row = BD_CHTB[assignment];
  }
  in->data += 4;
  in->length -= 4;
  return KVR_WAV_DEC_OK;
}

static int outputs_present(const KvrWavDecOutput* out, int32_t channels, int interleaved) {
  if (interleaved) return out->buffer[0] != 0;
  for (int32_t k = 0; k < channels; ++k)
    if (!out->buffer[k]) return 0;
  return 1;
}

/* Multichannel linear PCM into the caller's speaker order: in place for
 * interleaved output, or while the frames are spread over the planar
 * buffers. Planar output without a usable order keeps the stream order. */
static void arrange(KvrWavDecContext* ctx, KvrWavDecOutput* out, int32_t frames) {
  const int32_t c = pcmdec_out_channels(ctx);
  const size_t width = ctx->out32 ? 4 : 2;
  int32_t order[KVR_WAV_DEC_MAX_CHANNELS] = {0};
  int complete = 0;
  if (c >= 3) complete = KV_GetChannelOrder_PCM(out->position, order, ctx) == 0;
  if (!complete)
    for (int32_t k = 0; k < c && k < KVR_WAV_DEC_MAX_CHANNELS; ++k) order[k] = k;

  if (ctx->interleaved) {
    if (!complete) return;
    uint8_t first[4 * KVR_WAV_DEC_MAX_CHANNELS], second[4 * KVR_WAV_DEC_MAX_CHANNELS];
    uint8_t* frame = (uint8_t*)out->buffer[0];
    const size_t bytes = width * (size_t)c;
    for (int32_t f = 0; f < frames; ++f, frame += bytes) {
      ctx->copy(first, frame, bytes);
      ctx->copy(second, first, bytes);
      if (ctx->out32) KV_Reorder_ChannelData_InterleavePCM_int((const int32_t*)first, (int32_t*)second, c, order);
      else KV_Reorder_ChannelData_InterleavePCM_short((const int16_t*)first, (int16_t*)second, c, order);
      ctx->copy(frame, second, bytes);
    }
    return;
  }
  if (!ctx->work) return;
  for (int32_t f = 0; f < frames; ++f) {
    for (int32_t k = 0; k < c; ++k) {
      if (ctx->out32) ((int32_t*)out->buffer[order[k]])[f] = ((const int32_t*)ctx->work)[(size_t)f * c + k];
      else ((int16_t*)out->buffer[order[k]])[f] = ((const int16_t*)ctx->work)[(size_t)f * c + k];
    }
  }
}

static int32_t decode_block(KvrWavDecContext* ctx, KvrWavDecInput* in, KvrWavDecOutput* out) {
  if (!in || !out || in->length < 0 || (!in->data && in->length > 0)) return KVR_WAV_DEC_EPARAM;
  const KvrWavDecInput saved = *in;
  int32_t r;
  if (ctx->layout == KVR_LPCM_BD && ctx->big_endian) {
    r = read_bd_header(ctx, in, out);
    if (r != KVR_WAV_DEC_OK) return r;
  }
  const int32_t channels = pcmdec_out_channels(ctx);
  if (!outputs_present(out, channels, ctx->interleaved)) {
    *in = saved;
    return KVR_WAV_DEC_EPARAM;
  }
  if (ctx->lpcm && !ctx->interleaved && channels > 1) {
    int32_t frames = pcmdec_lpcm_frames(ctx, in->length);
    if (frames >= 4) {
      ctx->work = (uint8_t*)ctx->alloc((size_t)frames * channels * (ctx->out32 ? 4 : 2));
      if (!ctx->work) {
        *in = saved;
        return KVR_WAV_DEC_EFAIL;
      }
    }
  }
  r = ctx->decode(in, out, ctx);
  if (r == KVR_WAV_DEC_OK && ctx->lpcm) arrange(ctx, out, out->frames);
  if (ctx->work) {
    ctx->release(ctx->work);
    ctx->work = 0;
  }
  if (r == KVR_WAV_DEC_ENEEDMORE) *in = saved;
  if (r == KVR_WAV_DEC_EPARAM) in->length = 0;
  if (r != KVR_WAV_DEC_OK) return r;
  out->sample_rate = in->sample_rate;
  out->channels = channels;
  out->interleaved = ctx->interleaved;
  return KVR_WAV_DEC_OK;
}

int32_t KVR_WAV_DEC(int32_t op, void* handle, void* in, void* out) {
  void** slot = (void**)handle;
  switch (op) {
    case KVR_WAV_DEC_OPEN:
      if (!slot) return KVR_WAV_DEC_EFAIL;
      return open_decoder(slot, (const KvrWavDecInit*)in);
    case KVR_WAV_DEC_DECODE:
      if (!slot || !*slot) return KVR_WAV_DEC_EFAIL;
      return decode_block((KvrWavDecContext*)*slot, (KvrWavDecInput*)in, (KvrWavDecOutput*)out);
    case KVR_WAV_DEC_CLOSE:
      if (slot && *slot) {
        KvrWavDecContext* ctx = (KvrWavDecContext*)*slot;
        ctx->release(ctx);
        *slot = 0;
      }
      return KVR_WAV_DEC_OK;
    default:
      return KVR_WAV_DEC_EFAIL;
  }
}

KVR_DEFINE_FUNCTION_LIST(KVR_WAV_DEC);
