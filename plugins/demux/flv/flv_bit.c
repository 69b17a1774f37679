/* Bit reader over a buffered-file handle: a 64-bit look-ahead window that is
 * refilled from the handle's cache, so that bit reads and byte-level reads
 * share one file position (the first byte none of whose bits was consumed). */
#include "flv_fio.h"

static void own_skip(FlvFioHandle* h, uint32_t bytes) {
  h->ownSkip = 1;
  __FLV_DMX__fioSkipBytes(bytes, h);
  h->ownSkip = 0;
}

KVR_EXPORT int32_t __FLV_DMX__bitInit(FlvFioHandle* h) {
  if (h == NULL) return 1;
  const uint8_t* p = NULL;
  int32_t got = __FLV_DMX__fioShowBytesByPtr(&p, 8, h);
  uint64_t w = 0;
  for (int32_t i = 0; i < 8; i++) w = (w << 8) | (i < got ? p[i] : 0u);
  h->window = w;
  h->validBits = 64;
  return 1;
}

static uint32_t clamp_bits(int32_t n) { return n < 1 ? 0 : n > 32 ? 32 : (uint32_t)n; }

KVR_EXPORT uint32_t __FLV_DMX__bitShowUBits(FlvFioHandle* h, int32_t n) {
  uint32_t k = clamp_bits(n);
  if (h == NULL || k == 0) return 0;
  return (uint32_t)(h->window >> (64 - k));
}

KVR_EXPORT uint32_t __FLV_DMX__bitShowSBits(FlvFioHandle* h, int32_t n) {
  return __FLV_DMX__bitShowUBits(h, n);
}

KVR_EXPORT uint32_t __FLV_DMX__bitShowBit(FlvFioHandle* h) { return __FLV_DMX__bitShowUBits(h, 1); }

/* Consumes k bits (k <= 32) and refills the window to at least 33 bits. */
static void consume(FlvFioHandle* h, uint32_t k) {
  if (k == 0) return;
  int32_t partial = h->validBits & 7;
  int32_t past = (int32_t)k - partial;
  h->window = k >= 64 ? 0 : h->window << k;
  h->validBits -= (int32_t)k;
  if (h->validBits < 0) h->validBits = 0;
  if (past > 0) own_skip(h, (uint32_t)(past + 7) / 8);
  if (h->validBits < 33) {
    uint32_t have = (uint32_t)h->validBits / 8;
    const uint8_t* p = NULL;
    int32_t got = __FLV_DMX__fioShowBytesByPtr(&p, have + 4, h);
    uint32_t next = 0;
    for (uint32_t i = 0; i < 4; i++) {
      int32_t at = (int32_t)(have + i);
      next = (next << 8) | (at < got ? p[at] : 0u);
    }
    h->window |= (uint64_t)next << (32 - h->validBits);
    h->validBits += 32;
  }
}

KVR_EXPORT uint32_t __FLV_DMX__bitGetUBits(FlvFioHandle* h, int32_t n) {
  uint32_t v = __FLV_DMX__bitShowUBits(h, n);
  if (h != NULL) consume(h, clamp_bits(n));
  return v;
}

KVR_EXPORT uint32_t __FLV_DMX__bitGetSBits(FlvFioHandle* h, int32_t n) {
  return __FLV_DMX__bitGetUBits(h, n);
}

KVR_EXPORT uint32_t __FLV_DMX__bitGetBit(FlvFioHandle* h) { return __FLV_DMX__bitGetUBits(h, 1); }

KVR_EXPORT void __FLV_DMX__bitSkipBits(FlvFioHandle* h, int32_t n) {
  if (h != NULL) consume(h, clamp_bits(n));
}

KVR_EXPORT void __FLV_DMX__bitSkipBitsLong(FlvFioHandle* h, uint32_t n) {
  if (h == NULL) return;
  if (n <= 32) {
    consume(h, n);
    return;
  }
  uint32_t past = n - (uint32_t)(h->validBits & 7);
  own_skip(h, past / 8);
  __FLV_DMX__bitInit(h);
  uint32_t r = past % 8;
  if (r != 0) {
    h->window <<= r;
    h->validBits -= (int32_t)r;
    own_skip(h, 1);
  }
}
