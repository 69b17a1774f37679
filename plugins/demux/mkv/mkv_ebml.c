/* Matroska demuxer: EBML primitives (IDs, variable-length integers, element
 * headers, fixed-width integers, strings, floats) and the growable arrays. */

#include "mkv_internal.h"

#define BS_ERR(bs, code, v, msg) \
  mkv_dmx_set_last_error((code), 0, (uint32_t)(v), (uint32_t)((uint64_t)(v) >> 32), (msg), (bs)->err)
#define BS_TAG(bs, tag) mkv_dmx_add_err_string((tag), (bs)->err)

/* Bias of the signed vint, by the count of further bytes. */
static const int64_t kSignedBias[8] = {0x3F, 0x1FFF, 0xFFFFF, 0x7FFFFFF, 0x3FFFFFFFFLL, 0x1FFFFFFFFFFLL,
                                       0xFFFFFFFFFFFFFLL, 0x7FFFFFFFFFFFFFLL};

int32_t read_id(mkv_dmx_bs_t* bs, uint32_t* id) {
  static const char* const kTags[4] = {"<read_id.c0", "<read_id.c1", "<read_id.c2", "<read_id.c3"};
  int32_t c[4];
  int i, len;
  c[0] = mkv_bs_byte(bs);
  if (c[0] < 0) return BS_TAG(bs, kTags[0]);
  if (c[0] & 0x80) {
    *id = (uint32_t)c[0];
    return 1;
  }
  if (!(c[0] & 0xF0)) return BS_ERR(bs, MKV_ERR_INVALID, c[0], "Invalid first byte of EBML ID");
  len = (c[0] & 0xC0) == 0x40 ? 2 : (c[0] & 0xE0) == 0x20 ? 3 : 4;
  *id = (uint32_t)c[0];
  for (i = 1; i < len; ++i) {
    c[i] = mkv_bs_byte(bs);
    if (c[i] < 0) return BS_TAG(bs, kTags[i]);
    *id = *id << 8 | (uint32_t)c[i];
  }
  return len;
}

int32_t read_vlc_uint_imp(mkv_dmx_bs_t* bs, uint32_t* further, uint64_t* value) {
  int32_t b;
  uint32_t n = 0, i;
  uint64_t v;
  if (further) *further = 0;
  *value = 0;
  b = mkv_bs_byte(bs);
  if (b < 0) return BS_TAG(bs, "<read_vlc_uint_imp.c");
  if (b == 0) return BS_ERR(bs, MKV_ERR_UNSUPPORTED, 0, "invalid first byte of EBML vluinteger");
  while (!(b & (0x80 >> n))) ++n;
  v = (uint64_t)(b & (0x7F >> n));
  for (i = 0; i < n; ++i) {
    int32_t d = mkv_bs_byte(bs);
    if (d < 0) return BS_TAG(bs, "<read_vlc_uint_imp.d");
    v = v << 8 | (uint64_t)d;
  }
  if (further) *further = n;
  *value = v;
  return 0;
}

int mkv_is_unknown_size(uint64_t size, uint32_t further) {
  return size == (((uint64_t)1 << (7 * (further + 1))) - 1);
}

int32_t read_box_header(mkv_dmx_bs_t* bs, uint32_t* id, uint64_t* size) {
  uint32_t n;
  int32_t r = read_id(bs, id);
  if (r < 0) return BS_TAG(bs, "<read_box_header");
  r = read_vlc_uint_imp(bs, &n, size);
  if (r < 0) {
    BS_TAG(bs, "<read_size");
    return BS_TAG(bs, "<read_box_header");
  }
  if (mkv_is_unknown_size(*size, n)) {
    BS_ERR(bs, MKV_ERR_INVALID, *size, "Unspecified element size is not supported here");
    return BS_TAG(bs, "<read_box_header");
  }
  return 0;
}

static int32_t read_be(mkv_dmx_bs_t* bs, uint64_t size, uint64_t* value) {
  uint64_t v = 0;
  uint32_t i;
  for (i = 0; i < (uint32_t)size; ++i) {
    int32_t b = mkv_bs_byte(bs);
    if (b < 0) {
      *value = 0;
      return b;
    }
    v = v << 8 | (uint64_t)b;
  }
  *value = v;
  return 0;
}

int32_t read_uint(mkv_dmx_bs_t* bs, uint64_t size, uint64_t* value) {
  *value = 0;
  if (size == 0) return 0;
  if (size > 8) return BS_ERR(bs, MKV_ERR_UNSUPPORTED, size, "unsupported integer size");
  if (read_be(bs, size, value) < 0) return BS_TAG(bs, "<read_uint");
  return 0;
}

int32_t read_sint(mkv_dmx_bs_t* bs, uint64_t size, int64_t* value) {
  uint64_t v;
  *value = 0;
  if (size == 0) return 0;
  if (size > 8) return BS_ERR(bs, MKV_ERR_UNSUPPORTED, size, "unsupported integer size");
  if (read_be(bs, size, &v) < 0) return BS_TAG(bs, "<read_sint");
  if (size < 8) {
    unsigned shift = (unsigned)(64 - 8 * size);
    *value = (int64_t)(v << shift) >> shift;
  } else {
    *value = (int64_t)v;
  }
  return 0;
}

int32_t read_vlc_sint(mkv_dmx_bs_t* bs, int64_t* value) {
  uint32_t n;
  uint64_t v;
  *value = 0;
  if (read_vlc_uint_imp(bs, &n, &v) < 0) return BS_TAG(bs, "<read_vlc_sint");
  *value = (int64_t)v - kSignedBias[n];
  return 0;
}

int32_t read_string(mkv_dmx_bs_t* bs, uint64_t size, char* dst, uint32_t capacity) {
  uint64_t n;
  if (!capacity) return BS_ERR(bs, MKV_ERR_INVALID, 0, "invalid buffer size in read_string");
  n = size < capacity - 1 ? size : capacity - 1;
  if (mkv_dmx_bs_read_bytes(bs, dst, (int32_t)n) < 0) return BS_TAG(bs, "<read_string");
  if (size > n && mkv_dmx_bs_skip_bytes(bs, size - n) < 0) return BS_TAG(bs, "<read_string");
  dst[n] = 0;
  return 0;
}

static int64_t saturate(int negative) { return negative ? INT64_MIN : INT64_MAX; }

int32_t read_float(mkv_dmx_bs_t* bs, uint64_t size, mkv_float* out) {
  uint64_t bits;
  int negative;
  int64_t sig, result;
  int shift, max_shift;
  uint32_t exponent;
  if (size != 4 && size != 8) return BS_ERR(bs, MKV_ERR_UNSUPPORTED, size, "invalid float size in read_float");
  if (read_be(bs, size, &bits) < 0) {
    BS_TAG(bs, "<read_uint");
    return BS_TAG(bs, "<read_float");
  }
  if (size == 4) {
    negative = (int)(bits >> 31);
    exponent = (uint32_t)(bits >> 23) & 0xFF;
    if (exponent == 0) {
      *out = 0;
      return 0;
    }
    if (exponent == 0xFF) {
      *out = saturate(negative);
      return 0;
    }
    sig = (int64_t)((bits & 0x7FFFFF) | 0x800000);
    shift = (int)exponent - 118;
    max_shift = 39;
  } else {
    negative = (int)(bits >> 63);
    exponent = (uint32_t)(bits >> 52) & 0x7FF;
    if (exponent == 0) {
      *out = 0;
      return 0;
    }
    if (exponent == 0x7FF) {
      *out = saturate(negative);
      return 0;
    }
    sig = (int64_t)((bits & 0xFFFFFFFFFFFFFULL) | 0x10000000000000ULL);
    shift = (int)exponent - 1043;
    max_shift = 10;
  }
  if (negative) sig = -sig;
  if (shift > max_shift) {
    *out = saturate(negative);
    return 0;
  }
  if (shift < 0)
    result = shift <= -64 ? (sig < 0 ? -1 : 0) : (sig >> -shift);
  else
    result = (int64_t)((uint64_t)sig << shift);
  *out = result;
  return 0;
}

void mkv_integer_to_float(mkv_float* out, int32_t n) { *out = (mkv_float)((uint64_t)(uint32_t)n << 32); }

int32_t mkv_trunc_float(mkv_float value) { return (int32_t)(value >> 32); }

/* (value x |scale|) / 2^32, the low 64 bits, without a 128-bit type. */
uint64_t mkv_mul_fixed(uint64_t value, mkv_float scale) {
  uint64_t s = scale < 0 ? (uint64_t)0 - (uint64_t)scale : (uint64_t)scale;
  uint64_t ah = value >> 32, al = value & 0xFFFFFFFFu, bh = s >> 32, bl = s & 0xFFFFFFFFu;
  return ((ah * bh) << 32) + ah * bl + al * bh + ((al * bl) >> 32);
}

void* mkv_array_add(mkv_dmx_t* ctx, void** data, uint32_t* count, uint32_t* cap, uint32_t record,
                    const char* message) {
  uint8_t* at;
  if (*count == *cap) {
    uint32_t next = *cap ? *cap * 2 : 1;
    void* grown;
    if (next < *cap || next > 0x7FFFFFFFu / record) {
      MKV_ERR(ctx, MKV_ERR_NO_MEMORY, message);
      return 0;
    }
    grown = ctx->host.realloc_fn(*data, (size_t)next * record);
    if (!grown) {
      MKV_ERR(ctx, MKV_ERR_NO_MEMORY, message);
      return 0;
    }
    *data = grown;
    *cap = next;
  }
  at = (uint8_t*)*data + (size_t)*count * record;
  mkv_zero(ctx, at, record);
  ++*count;
  return at;
}

int32_t mkv_read_text(mkv_dmx_t* ctx, uint64_t size, uint32_t cap, char** out) {
  uint32_t bytes = size < cap ? (uint32_t)size + 1 : cap;
  char* text = (char*)mkv_malloc(ctx, bytes);
  if (!text) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "insufficient memory to allocate string buffer");
  if (read_string(ctx->pst_cur_bs, size, text, bytes) < 0) {
    mkv_free(ctx, text);
    return MKV_TAG(ctx, "<get_string");
  }
  mkv_free(ctx, *out);
  *out = text;
  return 0;
}

mkv_track_t* mkv_track_by_number(mkv_dmx_t* ctx, uint32_t number, uint32_t* index) {
  uint32_t i;
  for (i = 0; i < ctx->track_count; ++i)
    if (ctx->tracks[i]->track_number == number) {
      if (index) *index = i;
      return ctx->tracks[i];
    }
  return 0;
}
