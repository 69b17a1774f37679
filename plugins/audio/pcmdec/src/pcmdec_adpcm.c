/* Companded and ADPCM block decoders: G.711 A-law and mu-law, IMA ADPCM in
 * WAVE blocks and in QuickTime packets, and Microsoft ADPCM. All produce
 * signed 16-bit samples, interleaved in buffer 0 or one buffer per channel. */
#include "pcmdec_internal.h"

const int16_t step_table[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int8_t IndexTab_4bit[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
const int8_t IndexTab_3bit[8] = {-1, -1, 1, 2, -1, -1, 1, 2};
const int16_t psCoefficient1[7] = {256, 512, 0, 192, 240, 460, 392};
const int16_t psCoefficient2[7] = {0, -256, 0, 64, 0, -208, -232};
const int16_t psP4[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                          768, 614, 512, 409, 307, 230, 230, 230};

static int16_t clamp16(int32_t v) {
  return (int16_t)(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

/* One output sample: frame `i` of channel `c`. */
static void put(const KvrWavDecOutput* out, const KvrWavDecContext* ctx, int32_t i, int32_t c,
                int16_t v) {
  if (ctx->interleaved) ((int16_t*)out->buffer[0])[(size_t)i * ctx->channels + c] = v;
  else ((int16_t*)out->buffer[c])[i] = v;
}

/* The ADPCM decoders keep per-channel state for two channels. Called on
 * their own with a context opened for another stream shape, they refuse it
 * rather than overrun that state or the block. */
static int adpcm_shape_ok(const KvrWavDecContext* ctx) {
  return ctx->channels >= 1 && ctx->channels <= 2;
}

/* ---- G.711 ---- */

static int16_t alaw_sample(uint8_t a) {
  a ^= 0x55;
  int32_t t = (a & 0x0F) << 4;
  int32_t seg = (a & 0x70) >> 4;
  if (seg == 0) t += 8;
  else t = (t + 0x108) << (seg - 1);
  return (int16_t)((a & 0x80) ? t : -t);
}

static int16_t ulaw_sample(uint8_t u) {
  u = (uint8_t)~u;
  int32_t t = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
  return (int16_t)((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

/* Only whole frames are taken: a partial frame stays in the input, so the
 * next call still starts on channel 0. */
static int32_t g711(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx,
                    int16_t (*expand)(uint8_t)) {
  const int32_t c = ctx->channels;
  const int32_t frames = in->length / c;
  if (frames == 0) return KVR_WAV_DEC_ENEEDMORE;
  const uint8_t* src = in->data;
  if (ctx->interleaved) {
    int16_t* d = (int16_t*)out->buffer[0];
    for (int32_t i = 0; i < frames * c; ++i) d[i] = expand(src[i]);
  } else {
    for (int32_t f = 0; f < frames; ++f)
      for (int32_t k = 0; k < c; ++k) ((int16_t*)out->buffer[k])[f] = expand(src[f * c + k]);
  }
  in->data += frames * c;
  in->length -= frames * c;
  out->frames = frames;
  return KVR_WAV_DEC_OK;
}

int32_t ALAW_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx) {
  return g711(in, out, ctx, alaw_sample);
}

int32_t ULAW_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx) {
  return g711(in, out, ctx, ulaw_sample);
}

/* ---- IMA ADPCM ---- */

typedef struct {
  int32_t predictor;
  int32_t index;
} ImaState;

/* The shift-and-add difference of the WAVE decoder, for 4-bit and 3-bit
 * codes (the top bit of the code is the sign). */
static int16_t ima_expand(ImaState* s, uint32_t code, int32_t bits) {
  int32_t step = step_table[s->index];
  int32_t diff;
  uint32_t sign;
  if (bits == 4) {
    diff = step >> 3;
    if (code & 4) diff += step;
    if (code & 2) diff += step >> 1;
    if (code & 1) diff += step >> 2;
    sign = code & 8;
    s->index += IndexTab_4bit[code];
  } else {
    diff = step >> 2;
    if (code & 2) diff += step;
    if (code & 1) diff += step >> 1;
    sign = code & 4;
    s->index += IndexTab_3bit[code];
  }
  s->predictor = clamp16(sign ? s->predictor - diff : s->predictor + diff);
  if (s->index < 0) s->index = 0;
  if (s->index > 88) s->index = 88;
  return (int16_t)s->predictor;
}

/* Bytes of one channel inside the data part of a block: the channels take
 * turns of four bytes. */
static int32_t ima_channel_bytes(int32_t data, int32_t channels, int32_t c) {
  int32_t words = data / 4;
  int32_t n = (words + channels - 1 - c) / channels * 4;
  if ((words % channels) == c) n += data % 4;
  return n;
}

static uint8_t ima_byte(const uint8_t* blk, int32_t channels, int32_t c, int32_t t) {
  return blk[4 * channels + ((t / 4) * channels + c) * 4 + (t % 4)];
}

/* Decodes one block after the carried samples and keeps the samples that do
 * not complete a group of four. Returns the frames written. */
static int32_t DecodeIMAADPCM(const uint8_t* blk, int32_t block, KvrWavDecOutput* out,
                              KvrWavDecContext* ctx) {
  const int32_t ch = ctx->channels;
  const int32_t bits = ctx->bits;
  int32_t spb = ch == 1 ? 8 * (block - 4) / bits + 1 : 4 * (block - 8) / bits + 1;
  for (int32_t c = 0; c < ch; ++c) {
    int32_t fit = ima_channel_bytes(block - 4 * ch, ch, c) * 8 / bits + 1;
    if (fit < spb) spb = fit;
  }
  const int32_t carried = ctx->ima_left_count;
  const int32_t total = carried + spb;
  const int32_t emit = total & ~3;
  int16_t left[2][3];

  for (int32_t c = 0; c < ch; ++c) {
    const uint8_t* h = blk + 4 * c;
    ImaState s = {(int16_t)(uint16_t)(h[0] | h[1] << 8), h[2] > 88 ? 88 : h[2]};
    for (int32_t i = 0; i < carried; ++i) put(out, ctx, i, c, ctx->ima_left[c][i]);
    for (int32_t j = 0; j < spb; ++j) {
      int16_t v;
      if (j == 0) {
        v = (int16_t)s.predictor;
      } else {
        int32_t p = (j - 1) * bits;
        int32_t t = p / 8, shift = p % 8;
        uint32_t word = ima_byte(blk, ch, c, t);
        if (shift + bits > 8) word |= (uint32_t)ima_byte(blk, ch, c, t + 1) << 8;
        v = ima_expand(&s, (word >> shift) & ((1u << bits) - 1), bits);
      }
      int32_t at = carried + j;
      if (at < emit) put(out, ctx, at, c, v);
      else left[c][at - emit] = v;
    }
  }
  for (int32_t c = 0; c < ch; ++c)
    for (int32_t i = 0; i < total - emit; ++i) ctx->ima_left[c][i] = left[c][i];
  ctx->ima_left_count = total - emit;
  return emit;
}

int32_t IMAADPCM_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx) {
  const int32_t block = ctx->block_align;
  if (!adpcm_shape_ok(ctx) || (ctx->bits != 3 && ctx->bits != 4) || block < 4 * ctx->channels ||
      block > 4096)
    return KVR_WAV_DEC_EPARAM;
  if (in->length < block) return KVR_WAV_DEC_ENEEDMORE;
  out->frames = DecodeIMAADPCM(in->data, block, out, ctx);
  in->data += block;
  in->length -= block;
  return KVR_WAV_DEC_OK;
}

/* QuickTime packets: 34 bytes per channel, a big-endian header with the
 * predictor's top nine bits and the step index, then 64 codes. The
 * difference uses the multiplying form. */
static int32_t DecodeQTIMAADPCM(const uint8_t* src, KvrWavDecOutput* out, KvrWavDecContext* ctx) {
  for (int32_t c = 0; c < ctx->channels; ++c) {
    const uint8_t* p = src + 34 * c;
    uint32_t header = (uint32_t)p[0] << 8 | p[1];
    int32_t predictor = (int16_t)(uint16_t)(header & 0xFF80u);
    int32_t index = (int32_t)(header & 0x7F);
    if (index > 88) index = 88;
    for (int32_t i = 0; i < 64; ++i) {
      uint32_t code = (i & 1) ? p[2 + i / 2] >> 4 : p[2 + i / 2] & 0xF;
      int32_t step = step_table[index];
      int32_t diff = (int32_t)(2 * (code & 7) + 1) * step / 8;
      predictor = clamp16((code & 8) ? predictor - diff : predictor + diff);
      index += IndexTab_4bit[code];
      if (index < 0) index = 0;
      if (index > 88) index = 88;
      put(out, ctx, i, c, (int16_t)predictor);
    }
  }
  return 64;
}

int32_t IMAADPCMQT_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx) {
  if (!adpcm_shape_ok(ctx)) return KVR_WAV_DEC_EPARAM;
  const int32_t packet = 34 * ctx->channels;
  if (in->length < packet) return KVR_WAV_DEC_ENEEDMORE;
  out->frames = DecodeQTIMAADPCM(in->data, out, ctx);
  in->data += packet;
  in->length -= packet;
  return KVR_WAV_DEC_OK;
}

/* ---- Microsoft ADPCM ---- */

/* The delta grows by up to 3x per code; this keeps code x delta inside 32
 * bits however long a stream keeps it growing. */
#define MSADPCM_MAX_DELTA (0x7FFFFFFF / 768)

static int32_t DecodeMSADPCM(const uint8_t* blk, int32_t block, KvrWavDecOutput* out,
                             KvrWavDecContext* ctx) {
  const int32_t ch = ctx->channels;
  if (block < 7 * ch) return KVR_WAV_DEC_ENEEDMORE;
  int32_t coef1[2], coef2[2], delta[2], s1[2], s2[2];
  const uint8_t* p = blk;
  for (int32_t c = 0; c < ch; ++c) {
    if (p[c] > 6) return KVR_WAV_DEC_EPARAM;
    coef1[c] = psCoefficient1[p[c]];
    coef2[c] = psCoefficient2[p[c]];
  }
  p += ch;
  for (int32_t c = 0; c < ch; ++c, p += 2) delta[c] = (int16_t)(uint16_t)(p[0] | p[1] << 8);
  for (int32_t c = 0; c < ch; ++c, p += 2) s1[c] = (int16_t)(uint16_t)(p[0] | p[1] << 8);
  for (int32_t c = 0; c < ch; ++c, p += 2) s2[c] = (int16_t)(uint16_t)(p[0] | p[1] << 8);

  /* 64-bit: without a block alignment the block is the whole input, whose
   * doubled length need not fit in 32 bits. */
  int64_t codes = ((2 * (int64_t)block - 14 * ch) >> (ch - 1)) + 2;
  int32_t frames = ctx->samples_per_block < codes ? ctx->samples_per_block : (int32_t)codes;
  for (int32_t c = 0; c < ch; ++c) {
    if (frames > 0) put(out, ctx, 0, c, (int16_t)s2[c]);
    if (frames > 1) put(out, ctx, 1, c, (int16_t)s1[c]);
  }
  /* Codes run high nibble first; in stereo each byte is one frame. */
  for (int32_t n = 0; n < (frames - 2) * ch; ++n) {
    const int32_t c = ch == 2 ? (n & 1) : 0;
    uint32_t code = (n & 1) ? p[n >> 1] & 0xF : p[n >> 1] >> 4;
    int32_t signed_code = (int32_t)code - ((code & 8) ? 16 : 0);
    int32_t predicted = (s1[c] * coef1[c] + s2[c] * coef2[c]) / 256 + signed_code * delta[c];
    int16_t v = clamp16(predicted);
    s2[c] = s1[c];
    s1[c] = v;
    int32_t next = (int32_t)((int64_t)psP4[code] * delta[c] / 256);
    delta[c] = next < 16 ? 16 : next > MSADPCM_MAX_DELTA ? MSADPCM_MAX_DELTA : next;
    put(out, ctx, 2 + n / ch, c, v);
  }
  return frames;
}

int32_t MSADPCM_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx) {
  if (!adpcm_shape_ok(ctx)) return KVR_WAV_DEC_EPARAM;
  const int32_t block = ctx->block_align ? ctx->block_align : in->length;
  /* A block that has not fully arrived waits for more input; a block too
   * short for its own header is bad data. */
  if (in->length < block) return KVR_WAV_DEC_ENEEDMORE;
  if (!ctx->block_align && block < 7 * ctx->channels) return KVR_WAV_DEC_ENEEDMORE;
  int32_t r = DecodeMSADPCM(in->data, block, out, ctx);
  if (r < 1) {
    in->length = 0;
    return KVR_WAV_DEC_EPARAM;
  }
  out->frames = r;
  in->data += block;
  in->length -= block;
  return KVR_WAV_DEC_OK;
}
