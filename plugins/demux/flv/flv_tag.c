/* Tag reader: finding, validating and stepping over FLV tags forward and
 * backward with resynchronisation, and reading one audio or video frame. */
#include <string.h>

#include "flv_internal.h"

enum { TAG_HEADER = 11, TAG_PEEK = 13, PREV_SIZE = 4 };
enum { VERIFY_NONE = 0, VERIFY_NOW = 1, VERIFY_LATER = 2 };

void flv_tag_info(const uint8_t* p, FlvTagInfo* info) {
  info->type = p[0];
  info->dataSize = flv_be24(p + 1);
  info->timestamp = flv_be24(p + 4) | ((uint32_t)p[7] << 24);
  info->streamId = flv_be24(p + 8);
}

static int time_ok(const FlvDemuxContext* ctx, uint32_t ts) {
  return ctx->lastTimestamp == 0 || ts <= ctx->lastTimestamp;
}

/* The codec test of the walks: a known codec must match. The bytes after
 * the header are only looked at when the tag has them. */
static int codec_ok(const FlvDemuxContext* ctx, const uint8_t* p, uint32_t size) {
  if (p[0] == 9) {
    if (size == 0) return 0;
    if (ctx->videoTagByte == FLV_UNKNOWN_TAG_BYTE) return 1;
    return (p[11] & 15u) == (ctx->videoTagByte & 15u) && (p[11] >> 4) <= 5;
  }
  if (p[0] == 8) {
    if (size == 0) return 0;
    return ctx->audioTagByte == FLV_UNKNOWN_TAG_BYTE || p[11] == ctx->audioTagByte;
  }
  return 1;
}

/* A plausible tag start at p (13 bytes). */
static int plausible(const FlvDemuxContext* ctx, const uint8_t* p) {
  if (p[0] != 8 && p[0] != 9 && p[0] != 18) return 0;
  uint32_t size = flv_be24(p + 1);
  if ((int64_t)size >= ctx->endOfData) return 0;
  if (!time_ok(ctx, flv_be24(p + 4) | ((uint32_t)p[7] << 24))) return 0;
  return codec_ok(ctx, p, size);
}

static int is_wanted(const uint8_t* p, uint32_t wanted) {
  switch (p[0]) {
    case 9: {
      if (!(wanted & FLV_TAG_VIDEO)) return 0;
      uint32_t frameType = p[11] >> 4;
      /* The AVC sequence header and end-of-sequence tags carry the
       * key-frame type but no picture, and a muxer may time the header 0
       * in a file whose pictures start hours later: a seek must not land
       * on either. */
      if (wanted & FLV_TAG_KEY)
        return (frameType == 1 || frameType == 4) && !((p[11] & 15u) == 7 && p[12] != 1);
      if ((wanted & FLV_TAG_CONFIG) && (p[11] & 15u) == 7) return p[12] == 0;
      return 1;
    }
    case 8:
      if (!(wanted & FLV_TAG_AUDIO)) return 0;
      if ((wanted & FLV_TAG_CONFIG) && (p[11] >> 4) == 10) return p[12] == 0;
      return 1;
    case 18:
      return (wanted & FLV_TAG_SCRIPT) != 0;
    default:
      return 0;
  }
}

static uint32_t kind_of(const uint8_t* p, uint32_t wanted) {
  if (p[0] == 9) {
    int avc = (p[11] & 15u) == 7;
    uint32_t frameType = p[11] >> 4;
    if (wanted & FLV_TAG_KEY) return FLV_TAG_KEY | FLV_TAG_VIDEO;
    if ((wanted & FLV_TAG_CONFIG) && avc) return FLV_TAG_CONFIG | FLV_TAG_VIDEO;
    uint32_t k = FLV_TAG_VIDEO;
    if (frameType == 1 || frameType == 4) k |= FLV_TAG_KEY;
    if (!avc || p[12] == 0) k |= FLV_TAG_CONFIG;
    return k;
  }
  if (p[0] == 8) {
    int aac = (p[11] >> 4) == 10;
    if ((wanted & FLV_TAG_CONFIG) && aac) return FLV_TAG_CONFIG | FLV_TAG_AUDIO;
    uint32_t k = FLV_TAG_AUDIO;
    if (!aac || p[12] == 0) k |= FLV_TAG_CONFIG;
    return k;
  }
  return FLV_TAG_SCRIPT;
}

KVR_EXPORT int32_t FLVD_FindNextTag(FlvDemuxContext* ctx, FlvFioHandle* h, int32_t maximum) {
  if (ctx == NULL || h == NULL) return -1;
  uint32_t oldFill = __FLV_DMX__fioGetCacheReadSize(h);
  __FLV_DMX__fioSetCacheReadSize(h, 0);
  int64_t total = 0;
  int32_t result = -1;
  while (total < maximum) {
    const uint8_t* p = NULL;
    int32_t n = __FLV_DMX__fioShowBytesByPtr(&p, h->cacheSize, h);
    if (n < TAG_PEEK) break;
    for (int32_t off = 0; off + TAG_PEEK <= n; off++) {
      if (plausible(ctx, p + off)) {
        __FLV_DMX__fioSkipBytes((uint32_t)off, h);
        result = (int32_t)(total + off);
        goto done;
      }
    }
    __FLV_DMX__fioSkipBytes((uint32_t)(n - 12), h);
    total += n - 12;
  }
done:
  __FLV_DMX__fioSetCacheReadSize(h, oldFill ? oldFill : 0);
  return result;
}

/* Skips one byte and searches on; returns the budget left. */
static int32_t resync(FlvDemuxContext* ctx, FlvFioHandle* h, int32_t budget, int afterMismatch) {
  __FLV_DMX__fioSkipBytes(1, h);
  int32_t skipped = FLVD_FindNextTag(ctx, h, FLV_RESYNC_BUDGET);
  if (skipped >= 0) return budget - skipped - 1;
  return afterMismatch ? budget - 1 : 0;
}

/* Compares the PreviousTagSize after the tag at `start` (header at p) with
 * its size. The handle is left at the tag start when the test passes and
 * `keep` is set, else after the tag's PreviousTagSize. 1 equal, 0 not,
 * -1 short. */
static int prev_size_matches(FlvFioHandle* h, int64_t start, uint32_t size, int keep) {
  uint32_t whole = TAG_HEADER + size + PREV_SIZE;
  const uint8_t* p = NULL;
  if (whole <= h->cacheSize) {
    int32_t n = __FLV_DMX__fioShowBytesByPtr(&p, whole, h);
    if (n < (int32_t)whole) return -1;
    if (flv_be32(p + TAG_HEADER + size) != size + TAG_HEADER) return 0;
    if (!keep) __FLV_DMX__fioSkipBytes(whole, h);
    return 1;
  }
  if (__FLV_DMX__fioSeek64(h, start + TAG_HEADER + size, KVR_SEEK_SET) != 0) return -1;
  int32_t n = __FLV_DMX__fioShowBytesByPtr(&p, PREV_SIZE, h);
  if (n < PREV_SIZE) {
    __FLV_DMX__fioSeek64(h, start, KVR_SEEK_SET);
    return -1;
  }
  int same = flv_be32(p) == size + TAG_HEADER;
  if (!same || keep) return __FLV_DMX__fioSeek64(h, start, KVR_SEEK_SET) == 0 ? same : -1;
  __FLV_DMX__fioSkipBytes(PREV_SIZE, h);
  return 1;
}

/* The forward loop shared by the walks: finds the first wanted tag at or
 * after the position. `verify` as VERIFY_*; with VERIFY_LATER a wanted tag
 * is returned before its PreviousTagSize is looked at. */
static int32_t walk_forward(FlvDemuxContext* ctx, FlvFioHandle* h, FlvTagInfo* info, uint32_t wanted,
                            int verify, uint32_t* kindOut, int32_t budget) {
  while (budget >= 1) {
    if (__FLV_DMX__fioIsEof(h)) return FLV_WALK_END;
    const uint8_t* p = NULL;
    if (__FLV_DMX__fioShowBytesByPtr(&p, TAG_PEEK, h) < TAG_PEEK) return FLV_WALK_END;
    int64_t start = __FLV_DMX__fioTell64(h);
    if (start < 0) return FLV_WALK_FAILED;
    if (!plausible(ctx, p)) {
      budget = resync(ctx, h, budget, 0);
      continue;
    }
    FlvTagInfo tag;
    flv_tag_info(p, &tag);
    int want = is_wanted(p, wanted);
    uint32_t kind = want ? kind_of(p, wanted) : 0;
    if (want && verify != VERIFY_NOW) {
      if (info) *info = tag;
      if (kindOut) *kindOut = kind;
      return 0;
    }
    if (verify == VERIFY_NONE) {
      /* Stepping over an unwanted tag without looking at its size field. */
      uint32_t whole = TAG_HEADER + tag.dataSize + PREV_SIZE;
      if (__FLV_DMX__fioSkipBytes(whole, h) != (int32_t)whole) return FLV_WALK_END;
      budget = FLV_RESYNC_BUDGET;
      continue;
    }
    int scriptAtStart = tag.type == 18 && start <= (int64_t)ctx->dataOffset + PREV_SIZE;
    int same = scriptAtStart ? 1 : prev_size_matches(h, start, tag.dataSize, want);
    /* A size field beyond the end of the file is damage (or a cut last
     * tag): the search goes on after the tag's first byte. */
    if (same < 0) same = 0;
    if (scriptAtStart && !want) {
      __FLV_DMX__fioSkipBytes(TAG_HEADER + tag.dataSize + PREV_SIZE, h);
    }
    if (same == 1) {
      if (want) {
        if (info) *info = tag;
        if (kindOut) *kindOut = kind;
        return 0;
      }
      budget = FLV_RESYNC_BUDGET;
      continue;
    }
    if (__FLV_DMX__fioSeek64(h, start, KVR_SEEK_SET) != 0) return FLV_WALK_FAILED;
    budget = resync(ctx, h, budget, 1);
  }
  int64_t pos = __FLV_DMX__fioTell64(h);
  return (pos >= 0 && ctx->endOfData - pos < TAG_PEEK) ? FLV_WALK_END : FLV_WALK_FAILED;
}

KVR_EXPORT int32_t FLVD_MoveToNextTag(FlvDemuxContext* ctx, FlvFioHandle* h, FlvTagInfo* info,
                                      uint32_t wanted, uint32_t* kindOut) {
  if (kindOut) *kindOut = 0;
  if (ctx == NULL || h == NULL) return FLV_WALK_FAILED;
  int64_t pos = __FLV_DMX__fioTell64(h);
  if (pos < 0) return FLV_WALK_FAILED;
  int32_t budget = FLV_RESYNC_BUDGET;
  if (pos == (int64_t)ctx->dataOffset) {
    __FLV_DMX__fioSkipBytes(PREV_SIZE, h);
  } else {
    const uint8_t* p = NULL;
    if (__FLV_DMX__fioShowBytesByPtr(&p, TAG_PEEK, h) < TAG_PEEK) return FLV_WALK_END;
    if (plausible(ctx, p)) {
      uint32_t size = flv_be24(p + 1);
      if (p[0] == 18 && pos <= (int64_t)ctx->dataOffset + PREV_SIZE) {
        __FLV_DMX__fioSkipBytes(TAG_HEADER + size + PREV_SIZE, h);
      } else {
        int same = prev_size_matches(h, pos, size, 0);
        if (same <= 0) {
          if (__FLV_DMX__fioSeek64(h, pos, KVR_SEEK_SET) != 0) return FLV_WALK_FAILED;
          budget = resync(ctx, h, budget, 1);
        }
      }
    } else {
      budget = resync(ctx, h, budget, 0);
    }
  }
  return walk_forward(ctx, h, info, wanted, VERIFY_NOW, kindOut, budget);
}

KVR_EXPORT int32_t FLVD_GetCurrTagInfo(FlvDemuxContext* ctx, FlvFioHandle* h, FlvTagInfo* info,
                                       uint32_t wanted, int32_t verify) {
  if (ctx == NULL || h == NULL) return FLV_WALK_FAILED;
  int64_t pos = __FLV_DMX__fioTell64(h);
  if (pos < 0) return FLV_WALK_FAILED;
  if (pos == (int64_t)ctx->dataOffset) __FLV_DMX__fioSkipBytes(PREV_SIZE, h);
  return walk_forward(ctx, h, info, wanted, verify ? VERIFY_NOW : VERIFY_NONE, NULL,
                      FLV_RESYNC_BUDGET);
}

uint32_t flv_back_word(FlvFioHandle* h, FlvBackWindow* w, int64_t at, int* ok) {
  *ok = 1;
  if (at < 0) {
    *ok = 0;
    return 0;
  }
  if (at < w->start || at + 4 > w->start + w->count) {
    int64_t start = at + 4 - (int64_t)sizeof(w->bytes);
    if (start < 0) start = 0;
    w->start = start;
    w->count = 0;
    uint32_t want = (uint32_t)(at + 4 - start);
    if (__FLV_DMX__fioSeek64(h, start, KVR_SEEK_SET) != 0) {
      *ok = 0;
      return 0;
    }
    w->count = (int32_t)__FLV_DMX__fioRead(w->bytes, 1, want, h);
    if (at + 4 > w->start + w->count) {
      *ok = 0;
      return 0;
    }
  }
  return flv_be32(w->bytes + (at - w->start));
}

KVR_EXPORT int32_t FLVD_MoveToPrevTag(FlvDemuxContext* ctx, FlvFioHandle* h, FlvTagInfo* info,
                                      uint32_t wanted, uint32_t* kindOut) {
  if (kindOut) *kindOut = 0;
  if (ctx == NULL || h == NULL) return FLV_WALK_FAILED;
  int64_t pos = __FLV_DMX__fioTell64(h);
  if (pos < 0) return FLV_WALK_FAILED;
  int64_t base = ctx->dataOffset;
  if (pos <= base) return FLV_WALK_BEGINNING;
  int64_t q = pos - PREV_SIZE;
  int32_t budget = FLV_RESYNC_BUDGET;
  FlvBackWindow window;
  window.start = 0;
  window.count = 0;
  while (budget >= 1 && q > base) {
    const uint8_t* p = NULL;
    int ok = 0;
    uint32_t prev = flv_back_word(h, &window, q, &ok);
    if (!ok) return FLV_WALK_END;
    if (prev < 1 || (int64_t)prev >= q) {
      q--;
      budget--;
      continue;
    }
    int64_t t = q - prev;
    if (__FLV_DMX__fioSeek64(h, t, KVR_SEEK_SET) != 0) return FLV_WALK_FAILED;
    if (__FLV_DMX__fioShowBytesByPtr(&p, TAG_PEEK, h) < TAG_PEEK) return FLV_WALK_END;
    uint32_t size = flv_be24(p + 1);
    uint32_t ts = flv_be24(p + 4) | ((uint32_t)p[7] << 24);
    int valid = 0;
    if (p[0] == 8 || p[0] == 9)
      valid = size + TAG_HEADER == prev && time_ok(ctx, ts) && codec_ok(ctx, p, size);
    else if (p[0] == 18)
      valid = size < prev && time_ok(ctx, ts) && (size + TAG_HEADER == prev || q <= base + PREV_SIZE);
    if (valid && is_wanted(p, wanted)) {
      if (info) flv_tag_info(p, info);
      if (kindOut) {
        if (p[0] == 18) *kindOut = FLV_TAG_SCRIPT;
        else if (p[0] == 9) *kindOut = (wanted & FLV_TAG_KEY) ? (FLV_TAG_KEY | FLV_TAG_VIDEO)
                                     : ((wanted & FLV_TAG_CONFIG) && (p[11] & 15u) == 7)
                                           ? (FLV_TAG_CONFIG | FLV_TAG_VIDEO) : FLV_TAG_VIDEO;
        else *kindOut = ((wanted & FLV_TAG_CONFIG) && (p[11] >> 4) == 10)
                            ? (FLV_TAG_CONFIG | FLV_TAG_AUDIO) : FLV_TAG_AUDIO;
      }
      return 0;
    }
    if (valid) {
      q = t - PREV_SIZE;
      budget = FLV_RESYNC_BUDGET;
    } else {
      q--;
      budget--;
    }
  }
  __FLV_DMX__fioSeek64(h, q > base ? q : base, KVR_SEEK_SET);
  return q > base ? FLV_WALK_FAILED : FLV_WALK_BEGINNING;
}

/* Grows the library's frame buffer to hold `length` bytes; 0 or -1. */
static int32_t frame_room(FlvDemuxContext* ctx, uint8_t** buffer, uint32_t* capacity,
                          uint32_t length) {
  if (length <= *capacity) return 0;
  if (ctx->openFlags & FLVD_OPEN_HOST_BUFFERS) return -1;
  uint64_t grown = ((uint64_t)length + 16383u) / 16384u * 16384u;
  g_flv_mem.free(ctx->frameBuffer);
  ctx->frameBuffer = (uint8_t*)g_flv_mem.malloc((size_t)grown);
  ctx->frameBufferSize = ctx->frameBuffer ? (uint32_t)grown : 0;
  *buffer = ctx->frameBuffer;
  *capacity = ctx->frameBufferSize;
  return ctx->frameBuffer ? 0 : -1;
}

enum { PAYLOAD_FRAME = 1, PAYLOAD_NONE = 0, PAYLOAD_FAILED = -1, PAYLOAD_DAMAGED = -2,
       PAYLOAD_SHORT = -101 };

/* Reads the payload of the tag at the handle (header included, the tag
 * starting at `start`) into the buffer. A tag whose data is shorter than its
 * codec's header is damage: it is stepped over and gives no frame. With
 * `checkLarge`, a frame larger than the buffer is first checked against its
 * PreviousTagSize: a damaged size field neither fails the read nor grows the
 * buffer (PAYLOAD_DAMAGED, the handle back at the tag's start). */
static int32_t read_payload(FlvDemuxContext* ctx, FlvFioHandle* h, int64_t start, int checkLarge,
                            const FlvTagInfo* tag, uint8_t** buffer, uint32_t* capacity,
                            uint32_t* length) {
  const uint8_t* p = NULL;
  if (__FLV_DMX__fioShowBytesByPtr(&p, TAG_HEADER + 2, h) < TAG_HEADER + 2) {
    flv_error(ctx, FLVD_ERR_END, 200);
    return PAYLOAD_SHORT;
  }
  uint32_t head;
  int config;
  uint8_t b0 = p[TAG_HEADER], b1 = p[TAG_HEADER + 1];
  if (tag->type == 8) {
    int aac = (b0 >> 4) == 10;
    head = aac ? 2 : 1;
    config = aac && b1 == 0;
  } else {
    int avc = (b0 & 15u) == 7;
    head = avc ? 5 : 1;
    config = avc && (b1 == 0 || b1 == 2);
  }
  if (checkLarge && !config && tag->dataSize >= head && tag->dataSize - head > *capacity &&
      (start < 0 || prev_size_matches(h, start, tag->dataSize, 1) != 1))
    return PAYLOAD_DAMAGED;
  __FLV_DMX__fioSkipBytes(TAG_HEADER, h);
  if (config || tag->dataSize < head) {
    if (__FLV_DMX__fioSkipBytes(tag->dataSize, h) != (int32_t)tag->dataSize) return PAYLOAD_SHORT;
    return PAYLOAD_NONE;
  }
  uint32_t n = tag->dataSize - head;
  if (frame_room(ctx, buffer, capacity, n) != 0) {
    flv_error(ctx, FLVD_ERR_FRAME_TOO_BIG, 201);
    return PAYLOAD_FAILED;
  }
  __FLV_DMX__fioSkipBytes(head, h);
  if (n > 0 && __FLV_DMX__fioRead(*buffer, 1, n, h) != n) {
    flv_error(ctx, FLVD_ERR_END, 202);
    return PAYLOAD_SHORT;
  }
  *length = n;
  return PAYLOAD_FRAME;
}

/* Chooses the handle and the wanted kinds of a frame request. */
static int32_t frame_source(FlvDemuxContext* ctx, const FlvdFrameRequest* req, FlvFioHandle** h,
                            uint32_t* wanted, int64_t** resume, uint8_t** buffer,
                            uint32_t* capacity) {
  if (ctx->infoOnly) {
    flv_error(ctx, FLVD_ERR_INFO_ONLY, 210);
    return -1;
  }
  *h = ctx->videoHandle;
  *wanted = FLV_TAG_VIDEO | FLV_TAG_AUDIO;
  *resume = &ctx->videoResume;
  if (ctx->openFlags & FLVD_OPEN_SEPARATE_HANDLES) {
    uint32_t kind = req ? req->kind : 0;
    if (kind == FLVD_KIND_VIDEO) {
      if (!(ctx->streamFlags & 1u)) {
        flv_error(ctx, FLVD_ERR_NO_VIDEO, 211);
        return -1;
      }
      *wanted = FLV_TAG_VIDEO;
    } else if (kind == FLVD_KIND_AUDIO) {
      if (!(ctx->streamFlags & 2u)) {
        flv_error(ctx, FLVD_ERR_NO_AUDIO, 212);
        return -1;
      }
      *h = ctx->audioHandle;
      *wanted = FLV_TAG_AUDIO;
      *resume = &ctx->audioResume;
    } else {
      flv_error(ctx, FLVD_ERR_BAD_KIND, 213);
      return -1;
    }
  }
  *buffer = ctx->frameBuffer;
  *capacity = ctx->frameBufferSize;
  if (ctx->openFlags & FLVD_OPEN_HOST_BUFFERS) {
    *buffer = req ? req->buffer : NULL;
    *capacity = req && req->buffer ? req->size : 0;
  }
  return 0;
}

static void deliver(FlvDemuxContext* ctx, const FlvTagInfo* tag, const uint8_t* data,
                    uint32_t length, FlvdFrame* out) {
  int32_t rel = (int32_t)(tag->timestamp - ctx->firstTimestamp);
  ctx->frameLength = length;
  if (tag->type == 9)
    ctx->currentVideoMs = rel;
  else
    ctx->currentAudioMs = rel;
  if (out) {
    out->kind = tag->type == 9 ? FLVD_KIND_VIDEO : FLVD_KIND_AUDIO;
    out->data = data;
    out->length = length;
    out->timeMs = rel;
  }
}

int32_t flv_read_frame(FlvDemuxContext* ctx, const FlvdFrameRequest* req, FlvdFrame* out) {
  FlvFioHandle* h;
  uint32_t wanted, capacity;
  int64_t* resume;
  uint8_t* buffer;
  if (frame_source(ctx, req, &h, &wanted, &resume, &buffer, &capacity) != 0) return -1;
  if (out) memset(out, 0, sizeof(*out));
  int64_t pos = __FLV_DMX__fioTell64(h);
  if (pos < 0) {
    flv_error(ctx, FLVD_ERR_TELL, 220);
    return -1;
  }
  if (pos == (int64_t)ctx->dataOffset) __FLV_DMX__fioSkipBytes(PREV_SIZE, h);
  for (int round = 0; round <= FLV_MAX_ROUNDS; round++) {
    FlvTagInfo tag;
    if (walk_forward(ctx, h, &tag, wanted, VERIFY_LATER, NULL, FLV_RESYNC_BUDGET) != 0) break;
    int64_t start = __FLV_DMX__fioTell64(h);
    uint32_t length = 0;
    int32_t r = read_payload(ctx, h, start, 1, &tag, &buffer, &capacity, &length);
    if (r == PAYLOAD_FAILED) return -1;
    /* The tag counts only when its PreviousTagSize agrees; one that runs
     * past the end of the file is damage too. */
    const uint8_t* p = NULL;
    if (r == PAYLOAD_SHORT || r == PAYLOAD_DAMAGED ||
        __FLV_DMX__fioShowBytesByPtr(&p, PREV_SIZE, h) < PREV_SIZE ||
        flv_be32(p) != tag.dataSize + TAG_HEADER) {
      if (start < 0 || __FLV_DMX__fioSeek64(h, start, KVR_SEEK_SET) != 0) break;
      resync(ctx, h, FLV_RESYNC_BUDGET, 1);
      continue;
    }
    __FLV_DMX__fioSkipBytes(PREV_SIZE, h);
    if (r == PAYLOAD_FRAME) {
      deliver(ctx, &tag, buffer, length, out);
      return 0;
    }
  }
  flv_error(ctx, FLVD_ERR_END, 221);
  return -1;
}

int32_t flv_read_frame_progressive(FlvDemuxContext* ctx, const FlvdFrameRequest* req,
                                   FlvdFrame* out) {
  FlvFioHandle* h;
  uint32_t wanted, capacity;
  int64_t* resume;
  uint8_t* buffer;
  if (frame_source(ctx, req, &h, &wanted, &resume, &buffer, &capacity) != 0) return -1;
  if (out) memset(out, 0, sizeof(*out));
  if (*resume != 0) {
    int64_t at = *resume;
    *resume = 0;
    if (__FLV_DMX__fioSeek64(h, at, KVR_SEEK_SET) != 0) {
      flv_error(ctx, FLVD_ERR_SEEK, 230);
      return -1;
    }
  }
  for (int round = 0; round <= FLV_MAX_ROUNDS; round++) {
    int64_t pos = __FLV_DMX__fioTell64(h);
    if (pos < 0) {
      flv_error(ctx, FLVD_ERR_TELL, 231);
      return -1;
    }
    *resume = pos;
    FlvTagInfo tag;
    int32_t r = FLVD_GetCurrTagInfo(ctx, h, &tag, wanted, 0);
    int64_t start = __FLV_DMX__fioTell64(h);
    if (r == 0 && start >= 0) {
      uint32_t length = 0;
      r = read_payload(ctx, h, start, 0, &tag, &buffer, &capacity, &length);
      if (r == PAYLOAD_FAILED) return -1;
      const uint8_t* p = NULL;
      if (r != PAYLOAD_SHORT && __FLV_DMX__fioShowBytesByPtr(&p, PREV_SIZE, h) == PREV_SIZE) {
        __FLV_DMX__fioSkipBytes(PREV_SIZE, h);
        if (r == PAYLOAD_FRAME) {
          *resume = 0;
          deliver(ctx, &tag, buffer, length, out);
          return 0;
        }
        continue;
      }
      /* Not all written yet: the next call reads this tag again. */
      *resume = start;
    }
    int64_t back = *resume;
    *resume = 0;
    if (__FLV_DMX__fioSeek64(h, back, KVR_SEEK_SET) != 0) {
      flv_error(ctx, FLVD_ERR_SEEK, 232);
      return -1;
    }
    break;
  }
  flv_error(ctx, FLVD_ERR_END, 233);
  return -1;
}
