/* Open: signature search, header, first tags with the codec headers, the
 * duration scan and the seek mode. */
#include <string.h>

#include "flv_internal.h"

enum { TAG_HEADER = 11, PREV_SIZE = 4 };
/* The MPEG audio search looks this far into the first MP3 tag. */
enum { MP3_PROBE_BYTES = 64 };

void flv_close(FlvDemuxContext* ctx);

static const char kFourcc[8][5] = {"\0\0\0\0", "JPEG", "FLV1", "SCR1", "VP60", "VP6A", "SCR2", "H264"};
static const uint32_t kSoundRate[4] = {5500, 11025, 22050, 44100};

static uint32_t fourcc_of(uint32_t codecId) {
  uint32_t v = 0;
  if (codecId < 8) memcpy(&v, kFourcc[codecId], 4);
  return v;
}

/* Copies `n` bytes at `at` into a new buffer through a read: a tag's
 * payload may be larger than the read cache. The handle is put back at
 * `back`. Null on a failed allocation or a short read (code in *error). */
static uint8_t* copy_bytes(FlvDemuxContext* ctx, FlvFioHandle* h, int64_t at, uint32_t n,
                           int64_t back, int32_t* error) {
  uint8_t* buf = (uint8_t*)g_flv_mem.malloc(n ? n : 1);
  if (buf == NULL) {
    *error = FLVD_ERR_CONFIG_ALLOC;
    return NULL;
  }
  int ok = __FLV_DMX__fioSeek64(h, at, KVR_SEEK_SET) == 0 && __FLV_DMX__fioRead(buf, 1, n, h) == n;
  if (__FLV_DMX__fioSeek64(h, back, KVR_SEEK_SET) != 0) ok = 0;
  if (!ok) {
    g_flv_mem.free(buf);
    *error = FLVD_ERR_END;
    return NULL;
  }
  return buf;
}

/* The first audio tag at the handle: 0 when it describes a stream. */
static int32_t parse_audio(FlvDemuxContext* ctx, FlvFioHandle* h, const FlvTagInfo* tag) {
  const uint8_t* p = NULL;
  if (__FLV_DMX__fioShowBytesByPtr(&p, 12, h) < 12) {
    flv_error(ctx, FLVD_ERR_END, 300);
    return FLVD_ERR_END;
  }
  uint8_t b = p[11];
  FlvdAudioInfo* a = &ctx->audio.info;
  ctx->audioTagByte = b;
  a->sampleRate = kSoundRate[(b >> 2) & 3u];
  a->bitsPerSample = 16;
  a->channels = (b & 1u) ? 2 : 1;
  uint32_t format = b >> 4;
  switch (format) {
    case 0: case 1: case 3: case 4: case 5: case 6: case 7: case 8: case 15:
      a->codecId = 0;
      return 0;
    case 2:
    case 14: {
      uint32_t n = tag->dataSize > 1 ? tag->dataSize - 1 : 0;
      if (n > MP3_PROBE_BYTES) n = MP3_PROBE_BYTES;
      int32_t got = __FLV_DMX__fioShowBytesByPtr(&p, 12 + n, h);
      if (got < (int32_t)(12 + n)) {
        flv_error(ctx, FLVD_ERR_END, 301);
        return FLVD_ERR_END;
      }
      if (FLVD_ParseAudioHeader((int32_t)format, p + 12, (int32_t)n, &ctx->audio) < 0) {
        flv_error(ctx, FLVD_ERR_AUDIO_HEADER, 302);
        return FLVD_ERR_AUDIO_HEADER;
      }
      a->codecId = FLVD_AUDIO_MP3;
      return 0;
    }
    case 10: {
      a->codecId = FLVD_AUDIO_AAC;
      if (tag->dataSize < 2) return FLVD_ERR_AUDIO_HEADER; /* no room for the packet type */
      if (__FLV_DMX__fioShowBytesByPtr(&p, 13, h) < 13) {
        flv_error(ctx, FLVD_ERR_END, 304);
        return FLVD_ERR_END;
      }
      if (p[12] != 0) return 0;
      int64_t start = __FLV_DMX__fioTell64(h);
      int32_t err = 0;
      uint8_t* config = copy_bytes(ctx, h, start + 13, tag->dataSize - 2, start, &err);
      if (config == NULL) {
        flv_error(ctx, err, 303);
        return err;
      }
      if (a->config) g_flv_mem.free(a->config);
      a->config = config;
      a->configLength = tag->dataSize - 2;
      FLVD_ParseAudioHeader(10, config, (int32_t)a->configLength, &ctx->audio);
      return 0;
    }
    default:
      a->codecId = 0;
      return FLVD_ERR_AUDIO_HEADER;
  }
}

/* The first video tag at the handle: 0 when it describes a stream. */
static int32_t parse_video(FlvDemuxContext* ctx, FlvFioHandle* h, const FlvTagInfo* tag) {
  const uint8_t* p = NULL;
  if (__FLV_DMX__fioShowBytesByPtr(&p, 13, h) < 13) {
    flv_error(ctx, FLVD_ERR_END, 310);
    return FLVD_ERR_END;
  }
  uint8_t b = p[11];
  uint32_t codec = b & 15u;
  ctx->videoTagByte = b;
  ctx->video.fourcc = fourcc_of(codec);
  if (codec == 2 || codec == 4 || codec == 5) {
    /* The picture header is near the start; only the tag's own bytes. */
    uint32_t n = tag->dataSize > 1 ? tag->dataSize - 1 : 0;
    if (n > 116) n = 116;
    int32_t got = __FLV_DMX__fioShowBytesByPtr(&p, 12 + n, h);
    if (got < (int32_t)(12 + n)) {
      flv_error(ctx, FLVD_ERR_END, 311);
      return FLVD_ERR_END;
    }
    if (FLVD_ParseVideoHeader((int32_t)codec, p + 12, (int32_t)n, &ctx->video) < 0) {
      flv_error(ctx, FLVD_ERR_VIDEO_HEADER, 312);
      return FLVD_ERR_VIDEO_HEADER;
    }
    ctx->video.fourcc = fourcc_of(codec);
    return 0;
  }
  if (codec == 7) {
    if (p[12] != 0 || tag->dataSize < 5) {
      flv_error(ctx, FLVD_ERR_AVC_NOT_SEQUENCE, 313);
      return FLVD_ERR_AVC_NOT_SEQUENCE;
    }
    int64_t start = __FLV_DMX__fioTell64(h);
    int32_t err = 0;
    uint32_t n = tag->dataSize - 5;
    uint8_t* avcc = copy_bytes(ctx, h, start + 16, n, start, &err);
    if (avcc == NULL) {
      flv_error(ctx, err, 314);
      return err;
    }
    if (ctx->video.config) g_flv_mem.free(ctx->video.config);
    ctx->video.config = avcc;
    ctx->video.configLength = n;
    /* Each parameter set trades its 2-byte length for a 4-byte start code,
     * so twice the record's size always holds the result. */
    uint32_t capacity = 2 * n + 8;
    uint8_t* sets = (uint8_t*)g_flv_mem.malloc(capacity);
    if (sets == NULL) {
      flv_error(ctx, FLVD_ERR_CONFIG_ALLOC, 315);
      return FLVD_ERR_CONFIG_ALLOC;
    }
    int32_t len = FLVD_GetAVCSeqHeaderFromAvcC(avcc, (int32_t)n, sets, (int32_t)capacity);
    int32_t r = 0;
    if (len < 1) {
      flv_error(ctx, FLVD_ERR_AVC_CONFIG, 316);
      r = FLVD_ERR_AVC_CONFIG;
    } else if (FLVD_ParseVideoHeader(7, sets, len, &ctx->video) < 0) {
      flv_error(ctx, FLVD_ERR_VIDEO_HEADER, 317);
      r = FLVD_ERR_VIDEO_HEADER;
    }
    g_flv_mem.free(sets);
    return r;
  }
  return 0;
}

/* Header: signature search, flags, DataOffset and the file size. */
static int32_t read_header(FlvDemuxContext* ctx, uint32_t* headerFlags) {
  FlvFioHandle* h = ctx->readHandle;
  const uint8_t* p = NULL;
  __FLV_DMX__bitInit(h);
  if (__FLV_DMX__fioShowBytesByPtr(&p, 9, h) < 9) return 400;
  for (uint32_t steps = 0; __FLV_DMX__bitShowUBits(h, 24) != 0x464C56u; steps++) {
    if (steps >= 0x100000u) return 401;
    __FLV_DMX__bitSkipBits(h, 8);
    if (__FLV_DMX__fioShowBytesByPtr(&p, 9, h) < 9) return 402;
  }
  __FLV_DMX__bitSkipBits(h, 32);
  *headerFlags = __FLV_DMX__bitGetUBits(h, 8);
  ctx->dataOffset = __FLV_DMX__bitGetUBits(h, 32);
  if (ctx->dataOffset <= 8) return 403;
  if (ctx->openFlags & FLVD_OPEN_PROGRESSIVE) {
    ctx->fileSize = FLV_PROGRESSIVE_END;
    ctx->endOfData = FLV_PROGRESSIVE_END;
    return 0;
  }
  if (__FLV_DMX__fioSeek64(h, 0, KVR_SEEK_END) != 0) return 404;
  int64_t size = __FLV_DMX__fioTell64(h);
  if (size < 0) return 405;
  if ((int64_t)ctx->dataOffset >= size) return 406;
  ctx->fileSize = size;
  ctx->endOfData = size;
  return 0;
}

typedef struct FirstTags {
  uint32_t wanted;     /* stream bits */
  uint32_t found;
  int videoParsed, audioParsed, metadata, haveFirst;
  uint32_t first;
} FirstTags;

static void take_first(FirstTags* s, uint32_t ts) {
  if (!s->haveFirst || ts < s->first) s->first = ts;
  s->haveFirst = 1;
}

static int first_tags_done(const FirstTags* s) {
  return (s->found & s->wanted) == s->wanted && s->metadata && s->haveFirst;
}

/* Handles one tag of the first-tag walk, the handle at its first byte; the
 * handle ends there again. Returns 0, or a code that ends the open. */
static int32_t first_tag(FlvDemuxContext* ctx, FirstTags* s, const FlvTagInfo* tag, uint32_t kind,
                         int progressive) {
  FlvFioHandle* h = ctx->readHandle;
  int64_t start = __FLV_DMX__fioTell64(h);
  if (start < 0) return FLVD_ERR_TELL;
  const uint8_t* p = NULL;
  if (tag->type == 9) {
    int carriesConfig = (kind & FLV_TAG_CONFIG) != 0;
    if (progressive) {
      if (__FLV_DMX__fioShowBytesByPtr(&p, 13, h) < 13) return FLVD_ERR_END;
      carriesConfig = (p[11] & 15u) != 7 || p[12] == 0;
    }
    if (carriesConfig) {
      if (!s->videoParsed) {
        s->videoParsed = 1;
        int32_t r = parse_video(ctx, h, tag);
        if (r == 0) s->found |= 1u;
        if (r == FLVD_ERR_END && progressive) return FLVD_ERR_END;
      }
    } else {
      /* Sequence headers often carry time 0 in a file whose frames start
       * later: only frames set the first timestamp, in both walks. */
      take_first(s, tag->timestamp);
    }
  } else if (tag->type == 8) {
    if (!s->audioParsed) {
      s->audioParsed = 1;
      int32_t r = parse_audio(ctx, h, tag);
      if (r == 0) s->found |= 2u;
      if (r == FLVD_ERR_END && progressive) return FLVD_ERR_END;
    }
    if (__FLV_DMX__fioShowBytesByPtr(&p, 13, h) < 13) return FLVD_ERR_END;
    int aacConfig = (p[11] >> 4) == 10 && p[12] == 0;
    if (!aacConfig) take_first(s, tag->timestamp);
  } else if (tag->type == 18) {
    if (progressive && __FLV_DMX__fioShowBytesByPtr(&p, TAG_HEADER + tag->dataSize, h) <
                           (int32_t)(TAG_HEADER + tag->dataSize) &&
        TAG_HEADER + tag->dataSize <= h->cacheSize)
      return FLVD_ERR_NO_STREAM;
    __FLV_DMX__fioSkipBytes(TAG_HEADER, h);
    if (FLVD_ReadMetadata(ctx, tag->dataSize) == 0) s->metadata = 1;
  }
  if (__FLV_DMX__fioSeek64(h, start, KVR_SEEK_SET) != 0) return FLVD_ERR_SEEK;
  return 0;
}

static int32_t walk_first_tags(FlvDemuxContext* ctx, uint32_t headerFlags) {
  FlvFioHandle* h = ctx->readHandle;
  FirstTags s;
  memset(&s, 0, sizeof(s));
  s.wanted = ((headerFlags & 1u) ? 1u : 0u) | ((headerFlags & 4u) ? 2u : 0u);
  if (s.wanted == 0) s.wanted = 3;
  int progressive = (ctx->openFlags & FLVD_OPEN_PROGRESSIVE) != 0;
  if (__FLV_DMX__fioSeek64(h, ctx->dataOffset, KVR_SEEK_SET) != 0) {
    flv_error(NULL, FLVD_ERR_SEEK, 410);
    return -1;
  }
  const uint32_t wanted = FLV_TAG_VIDEO | FLV_TAG_AUDIO | FLV_TAG_SCRIPT;
  for (int i = 0; i < FLV_MAX_ROUNDS; i++) {
    FlvTagInfo tag;
    uint32_t kind = 0;
    int32_t r = progressive ? FLVD_GetCurrTagInfo(ctx, h, &tag, wanted, 0)
                            : FLVD_MoveToNextTag(ctx, h, &tag, wanted, &kind);
    if (r != 0) break;
    r = first_tag(ctx, &s, &tag, kind, progressive);
    if (r != 0) {
      flv_error(NULL, r == FLVD_ERR_END && progressive ? FLVD_ERR_END : r, 411);
      return -1;
    }
    if (first_tags_done(&s)) break;
    if (progressive) {
      int64_t start = __FLV_DMX__fioTell64(h);
      if (start < 0 || __FLV_DMX__fioSeek64(h, start + TAG_HEADER + tag.dataSize + PREV_SIZE,
                                            KVR_SEEK_SET) != 0)
        break;
    }
  }
  if (s.found == 0) {
    flv_error(NULL, FLVD_ERR_NO_STREAM, 412);
    return -1;
  }
  ctx->streamFlags = s.found;
  if (s.haveFirst) ctx->firstTimestamp = s.first;
  return 0;
}

/* One entry of an AMF0 number array in the file. */
int32_t flv_read_amf_number(FlvFioHandle* h, double* value) {
  uint8_t b[9];
  if (__FLV_DMX__fioRead(b, 1, 9, h) != 9) return -2;
  if (b[0] != 0) return -1;
  uint64_t bits = 0;
  for (int i = 1; i < 9; i++) bits = (bits << 8) | b[i];
  memcpy(value, &bits, sizeof(*value));
  return 0;
}

uint32_t flv_double_to_u32(double v) {
  if (!(v > 0)) return 0;
  if (v >= 4294967296.0) return 0xFFFFFFFFu;
  return (uint32_t)v;
}

int64_t flv_double_to_i64(double v) {
  if (v != v) return 0;
  if (v >= 9223372036854775807.0) return INT64_MAX;
  if (v <= -9223372036854775808.0) return INT64_MIN;
  return (int64_t)v;
}

/* Index entry i (time in ms or file position); 0, -1 not a number, -2 short. */
static int32_t index_time(FlvDemuxContext* ctx, uint32_t i, uint32_t* ms) {
  if (ctx->times) {
    if (i >= ctx->timesCount) return -1;
    *ms = ctx->times[i];
    return 0;
  }
  double v;
  if (__FLV_DMX__fioSeek64(ctx->readHandle, ctx->timesPosition + 9 * (int64_t)i, KVR_SEEK_SET) != 0)
    return -2;
  int32_t r = flv_read_amf_number(ctx->readHandle, &v);
  if (r == 0) *ms = flv_double_to_u32(v * 1000.0);
  return r;
}

static int32_t index_position(FlvDemuxContext* ctx, uint32_t i, int64_t* at) {
  if (ctx->filePositions) {
    if (i >= ctx->filePositionsCount) return -1;
    *at = ctx->filePositions[i];
    return 0;
  }
  double v;
  if (__FLV_DMX__fioSeek64(ctx->readHandle, ctx->filePositionsPosition + 9 * (int64_t)i,
                           KVR_SEEK_SET) != 0)
    return -2;
  int32_t r = flv_read_amf_number(ctx->readHandle, &v);
  if (r == 0) *at = flv_double_to_i64(v);
  return r;
}

/* End of the last whole tag, searched backward from `from` (a position of
 * a PreviousTagSize) over `tries` positions; 0 when none, -1 on error. */
static int64_t backward_search(FlvDemuxContext* ctx, int64_t from, uint32_t tries) {
  FlvFioHandle* h = ctx->readHandle;
  int64_t pos = from;
  FlvBackWindow window;
  window.start = 0;
  window.count = 0;
  for (uint32_t i = 0; i < tries && pos >= 0; i++, pos--) {
    const uint8_t* p = NULL;
    int ok = 0;
    uint32_t prev = flv_back_word(h, &window, pos, &ok);
    if (!ok) continue;
    if (prev == 0 || (int64_t)prev >= pos || prev < TAG_HEADER) continue;
    if (__FLV_DMX__fioSeek64(h, pos - prev, KVR_SEEK_SET) != 0) return -1;
    if (__FLV_DMX__fioShowBytesByPtr(&p, TAG_HEADER, h) < TAG_HEADER) continue;
    uint32_t ts = flv_be24(p + 4) | ((uint32_t)p[7] << 24);
    if (flv_be24(p + 1) == prev - TAG_HEADER &&
        (ctx->lastTimestamp == 0 || ts <= ctx->lastTimestamp))
      return pos + PREV_SIZE;
  }
  return 0;
}

int32_t flv_end_scan(FlvDemuxContext* ctx) {
  FlvFioHandle* h = ctx->readHandle;
  __FLV_DMX__fioSetCacheReadSize(h, 16);
  int64_t end = backward_search(ctx, ctx->fileSize - PREV_SIZE, ctx->infoOnly ? 16 : 256);
  if (end == 0 && !ctx->infoOnly) {
    int64_t lo = 0, hi = ctx->fileSize;
    while (hi - lo > 0x100000) {
      int64_t mid = lo + (hi - lo) / 2;
      FlvTagInfo tag;
      if (__FLV_DMX__fioSeek64(h, mid, KVR_SEEK_SET) == 0 &&
          FLVD_FindNextTag(ctx, h, 0x100000) >= 0 &&
          FLVD_GetCurrTagInfo(ctx, h, &tag, FLV_TAG_VIDEO | FLV_TAG_AUDIO | FLV_TAG_SCRIPT, 1) == 0) {
        int64_t at = __FLV_DMX__fioTell64(h);
        if (at <= lo || at >= hi) break;
        lo = at;
      } else {
        hi = mid;
      }
    }
    end = backward_search(ctx, hi - PREV_SIZE, 0x100000);
  }
  __FLV_DMX__fioSetCacheReadSize(h, 0);
  if (end < 0) return -1;
  /* An information-only open looks at the end briefly and does not fail
   * when it finds nothing there. */
  if (end == 0 && ctx->infoOnly) end = ctx->fileSize;
  ctx->endOfData = end;
  return 0;
}

/* End of data from the key-frame index (seek mode 1). */
static int32_t index_end(FlvDemuxContext* ctx) {
  FlvFioHandle* h = ctx->readHandle;
  uint32_t n = ctx->indexCount;
  int64_t lastBelow = -1;
  int readLast = 0;
  for (uint32_t i = 0; i < n; i++) {
    int64_t at;
    int32_t r = index_position(ctx, i, &at);
    if (r == -2) return -1;
    if (r != 0 || at >= ctx->fileSize) break;
    lastBelow = at;
    if (i == n - 1) readLast = 1;
  }
  if (readLast || lastBelow < 0) {
    if (flv_end_scan(ctx) != 0) return -1;
  } else {
    FlvTagInfo tag;
    if (__FLV_DMX__fioSeek64(h, lastBelow, KVR_SEEK_SET) != 0) return -1;
    const uint32_t any = FLV_TAG_VIDEO | FLV_TAG_AUDIO | FLV_TAG_SCRIPT;
    if (FLVD_GetCurrTagInfo(ctx, h, &tag, any, 1) == 0) {
      int64_t end = __FLV_DMX__fioTell64(h) + TAG_HEADER + tag.dataSize + PREV_SIZE;
      while (FLVD_MoveToNextTag(ctx, h, &tag, any, NULL) == 0)
        end = __FLV_DMX__fioTell64(h) + TAG_HEADER + tag.dataSize + PREV_SIZE;
      ctx->endOfData = end;
    } else {
      if (__FLV_DMX__fioSeek64(h, lastBelow, KVR_SEEK_SET) != 0) return -1;
      if (FLVD_MoveToPrevTag(ctx, h, &tag, any, NULL) == 0)
        ctx->endOfData = __FLV_DMX__fioTell64(h) + TAG_HEADER + tag.dataSize + PREV_SIZE;
      else if (flv_end_scan(ctx) != 0)
        return -1;
    }
  }
  /* Entries past the end of data do not count. */
  uint32_t last = n - 1;
  if (ctx->endOfData != ctx->fileSize) {
    for (uint32_t i = 0; i < n; i++) {
      int64_t at;
      if (index_position(ctx, i, &at) != 0) break;
      if (at >= ctx->endOfData) {
        last = i;
        break;
      }
    }
    ctx->indexCount = last + 1;
  }
  uint32_t ms = 0;
  if (index_time(ctx, last, &ms) == 0) {
    ctx->indexDurationMs = ms;
    ctx->video.durationMs = ms;
  }
  return 0;
}

static int32_t scan_duration(FlvDemuxContext* ctx) {
  FlvFioHandle* h = ctx->readHandle;
  uint32_t n = ctx->indexCount;
  if (ctx->timesPosition > 0 && ctx->filePositionsPosition > 0 && ctx->timesPosition < ctx->fileSize &&
      ctx->filePositionsPosition < ctx->fileSize && n > 1 && n != 0xFFFFFFFFu) {
    ctx->seekMode = FLVD_SEEK_INDEX;
    if (index_end(ctx) != 0) return 420;
  } else {
    ctx->seekMode = n == 1 ? FLVD_SEEK_NONE : FLVD_SEEK_ESTIMATE;
    if (flv_end_scan(ctx) != 0) return 421;
  }
  if (ctx->endOfData == 0) {
    flv_error(NULL, FLVD_ERR_NO_END_TAG, 422);
    return 422;
  }
  if (__FLV_DMX__fioSeek64(h, ctx->endOfData, KVR_SEEK_SET) != 0) return 423;
  uint32_t seen = 0, last = 0;
  int any = 0;
  for (int i = 0; i < 10; i++) {
    FlvTagInfo tag;
    if (FLVD_MoveToPrevTag(ctx, h, &tag, FLV_TAG_VIDEO | FLV_TAG_AUDIO, NULL) != 0) break;
    any = 1;
    if (tag.timestamp > last) last = tag.timestamp;
    seen |= tag.type == 9 ? 1u : 2u;
    if ((seen & ctx->streamFlags) == ctx->streamFlags) break;
  }
  if (!any) {
    flv_error(NULL, FLVD_ERR_NO_END_TAG, 424);
    return 424;
  }
  ctx->lastTimestamp = last;
  return 0;
}

static uint32_t resolve_cache(uint32_t asked) {
  if (asked == 0) return 4096;
  return asked < 1024 ? 1024 : asked;
}

int32_t flv_open(const FlvdOpenRecord* record, FlvdOpenResult* out, int infoOnly,
                 FlvDemuxContext** created) {
  *created = NULL;
  if (record == NULL || record->host.malloc_fn == NULL || record->host.free_fn == NULL) {
    flv_error(NULL, FLVD_ERR_CONTEXT_ALLOC, 1);
    return -1;
  }
  const KvrHostServices* hs = &record->host;
  g_flv_mem.malloc = hs->malloc_fn;
  g_flv_mem.realloc = hs->realloc_fn;
  g_flv_mem.free = hs->free_fn;
  g_flv_mem.reserved = hs->reserved;
  g_flv_mem.memcpy = hs->memcpy_fn;
  g_flv_mem.memset = hs->memset_fn;
  FlvDemuxContext* ctx = (FlvDemuxContext*)hs->malloc_fn(sizeof(FlvDemuxContext));
  if (ctx == NULL) {
    flv_error(NULL, FLVD_ERR_CONTEXT_ALLOC, 2);
    return -1;
  }
  memset(ctx, 0, sizeof(*ctx));
  if (out) memset(out, 0, sizeof(*out));
  ctx->videoTagByte = FLV_UNKNOWN_TAG_BYTE;
  ctx->audioTagByte = FLV_UNKNOWN_TAG_BYTE;
  ctx->openFlags = record->openFlags;
  ctx->infoOnly = infoOnly ? 1 : 0;
  ctx->cacheSize = resolve_cache(record->cacheSize);
  ctx->seekReadSize = record->seekReadSize == 0 ? 16 : record->seekReadSize;
  if (ctx->seekReadSize > ctx->cacheSize) ctx->seekReadSize = ctx->cacheSize;

  void* table[17] = {(void*)hs->malloc_fn, (void*)hs->realloc_fn, (void*)hs->free_fn, hs->reserved,
                     (void*)hs->memcpy_fn, (void*)hs->memmove_fn, (void*)hs->memset_fn,
                     (void*)hs->fopen_fn,  (void*)hs->fclose_fn,  (void*)hs->fread_fn,
                     (void*)hs->fwrite_fn, (void*)hs->fseek_fn,   (void*)hs->ftell_fn,
                     (void*)hs->feof_fn,   (void*)hs->fflush_fn,  (void*)hs->fseek64_fn,
                     (void*)hs->ftell64_fn};
  __FLV_DMX__fioSetFunc(table);
  FLVD_SetCallbackforMeta((void* const*)record);

  int32_t code = 0, line = 0;
  ctx->videoHandle = __FLV_DMX__fioOpen(record->fileName, 0x210, ctx->cacheSize, 0, 0);
  if (ctx->videoHandle == NULL) {
    code = FLVD_ERR_OPEN_FILE, line = 3;
    goto fail;
  }
  ctx->audioHandle = ctx->videoHandle;
  ctx->readHandle = ctx->videoHandle;
  if (!infoOnly && (ctx->openFlags & FLVD_OPEN_SEPARATE_HANDLES)) {
    ctx->audioHandle = __FLV_DMX__fioOpen(record->fileName, 0x210, ctx->cacheSize, 0, 0);
    if (ctx->audioHandle == NULL) {
      ctx->audioHandle = ctx->videoHandle;
      code = FLVD_ERR_OPEN_SECOND, line = 4;
      goto fail;
    }
  }
  if (!(ctx->openFlags & FLVD_OPEN_HOST_BUFFERS)) {
    ctx->frameBuffer = (uint8_t*)g_flv_mem.malloc(FLV_FRAME_BUFFER_SIZE);
    if (ctx->frameBuffer == NULL) {
      code = FLVD_ERR_FRAME_BUFFER, line = 5;
      goto fail;
    }
    ctx->frameBufferSize = FLV_FRAME_BUFFER_SIZE;
  }
  uint32_t headerFlags = 0;
  line = read_header(ctx, &headerFlags);
  if (line != 0) {
    code = FLVD_ERR_HEADER;
    goto fail;
  }
  if (walk_first_tags(ctx, headerFlags) != 0) goto fail_recorded;
  if (ctx->openFlags & FLVD_OPEN_PROGRESSIVE) {
    ctx->seekMode = (ctx->times && ctx->filePositions) ? FLVD_SEEK_INDEX : FLVD_SEEK_NONE;
    ctx->fileSize = 0;
  } else {
    line = scan_duration(ctx);
    if (line != 0) {
      flv_error(NULL, FLVD_ERR_DURATION, line);
      goto fail_recorded;
    }
  }
  if (ctx->openFlags & FLVD_OPEN_PROGRESSIVE) {
    /* A growing file has no last timestamp yet (0 sets no limit): the
     * duration is unknown, and the first timestamp still anchors the frame
     * times and the seeks. */
    ctx->durationMs = 0;
  } else if (ctx->lastTimestamp < ctx->firstTimestamp) {
    ctx->seekMode = FLVD_SEEK_NONE;
    ctx->durationMs = 0;
    ctx->firstTimestamp = 0;
    ctx->lastTimestamp = 0;
  } else {
    ctx->durationMs = ctx->lastTimestamp - ctx->firstTimestamp;
  }
  if (ctx->durationMs != 0 && ctx->endOfData != FLV_PROGRESSIVE_END) {
    uint64_t rate = (uint64_t)ctx->endOfData * 1024u / ctx->durationMs;
    ctx->byteRate = rate > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)rate;
  }
  ctx->fileInfo.fileName = record->fileName;
  ctx->fileInfo.durationMs = ctx->durationMs;
  ctx->fileInfo.fileSize = ctx->fileSize;
  ctx->fileInfo.seekMode = ctx->seekMode;
  if (out) {
    out->file = &ctx->fileInfo;
    if (ctx->streamFlags & 1u) {
      out->videoCount = 1;
      out->video = out->video2 = &ctx->video;
    }
    if (ctx->streamFlags & 2u) {
      out->audioCount = 1;
      out->audio = out->audio2 = &ctx->audio.info;
    }
  }
  if (flv_rewind(ctx) != 0) {
    code = FLVD_ERR_SEEK, line = 6;
    goto fail;
  }
  *created = ctx;
  return 0;

fail:
  flv_error(NULL, code, line);
fail_recorded:
  if (out) memset(out, 0, sizeof(*out));
  flv_close(ctx);
  return -1;
}
