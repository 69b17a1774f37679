/* Seek by time: the key-frame index (in memory or in the file), a byte-rate
 * estimate followed by a key-frame scan, and a tag scan for audio. Times
 * here are tag timestamps; the context's current times are relative to the
 * first timestamp. */
#include <string.h>

#include "flv_internal.h"

enum { TAG_HEADER = 11, PREV_SIZE = 4 };
enum { KEY_VIDEO = FLV_TAG_KEY | FLV_TAG_VIDEO };

static int32_t fail(FlvDemuxContext* ctx, int32_t code, int32_t line) {
  flv_error(ctx, code, line);
  return -1;
}

static int32_t go(FlvFioHandle* h, int64_t at) { return __FLV_DMX__fioSeek64(h, at, KVR_SEEK_SET); }

/* Rewinds one handle; the answer is the first timestamp. */
static int32_t to_start(FlvDemuxContext* ctx, FlvFioHandle* h, uint32_t* found) {
  if (go(h, ctx->dataOffset) != 0) return fail(ctx, FLVD_ERR_SEEK, 500);
  *found = ctx->firstTimestamp;
  return 0;
}

static uint32_t tag_time_at(const uint8_t* p) { return flv_be24(p + 4) | ((uint32_t)p[7] << 24); }

/* The index is read from memory when both arrays are there; when their
 * allocation failed it is still in the file. */
static int memory_index(const FlvDemuxContext* ctx) {
  return (ctx->openFlags & (FLVD_OPEN_MEMORY_INDEX | FLVD_OPEN_PROGRESSIVE)) && ctx->times &&
         ctx->filePositions;
}

/* Index entry time from memory or the file: 0, or -1 when it is not a
 * number (the reading stops there). */
static int32_t entry_time(FlvDemuxContext* ctx, uint32_t i, uint32_t* ms) {
  if (memory_index(ctx)) {
    if (ctx->times == NULL || i >= ctx->timesCount) return -1;
    *ms = ctx->times[i];
    return 0;
  }
  double v;
  if (go(ctx->readHandle, ctx->timesPosition + 9 * (int64_t)i) != 0) return -1;
  if (flv_read_amf_number(ctx->readHandle, &v) != 0) return -1;
  *ms = flv_double_to_u32(v * 1000.0);
  return 0;
}

static int32_t entry_position(FlvDemuxContext* ctx, uint32_t i, int64_t* at, int32_t* code) {
  if (memory_index(ctx)) {
    if (ctx->filePositions == NULL || i >= ctx->filePositionsCount) {
      *code = FLVD_ERR_INDEX_ENTRY;
      return -1;
    }
    *at = ctx->filePositions[i];
    return 0;
  }
  double v;
  if (go(ctx->readHandle, ctx->filePositionsPosition + 9 * (int64_t)i) != 0) {
    *code = FLVD_ERR_SEEK;
    return -1;
  }
  int32_t r = flv_read_amf_number(ctx->readHandle, &v);
  if (r != 0) {
    *code = r == -1 ? FLVD_ERR_INDEX_ENTRY : FLVD_ERR_END;
    return -1;
  }
  *at = flv_double_to_i64(v);
  return 0;
}

/* Muxers write the key-frame times either as the tags carry them or from
 * the first timestamp on. A first entry more than a second before the first
 * timestamp cannot be a tag time: that index counts from the first one. */
static uint32_t index_base(FlvDemuxContext* ctx) {
  uint32_t t0 = 0;
  if (ctx->firstTimestamp <= 1000 || entry_time(ctx, 0, &t0) != 0) return 0;
  return t0 < ctx->firstTimestamp - 1000 ? ctx->firstTimestamp : 0;
}

/* The time of the tag that index entry i points at, with the video handle
 * left at that tag, after checking that the tag is about the entry's time:
 * 0, or -1 with the code and the line of the failure. */
static int32_t probe_entry(FlvDemuxContext* ctx, uint32_t i, uint32_t base, uint32_t* ts, int32_t* code,
                           int32_t* line) {
  FlvFioHandle* h = ctx->videoHandle;
  const uint8_t* p = NULL;
  uint32_t ms = 0;
  int64_t at;
  if (entry_time(ctx, i, &ms) != 0) {
    *code = FLVD_ERR_INDEX_ENTRY;
    *line = 520;
    return -1;
  }
  if (entry_position(ctx, i, &at, code) != 0) {
    *line = 522;
    return -1;
  }
  if (at < 0 || go(h, at) != 0) {
    *code = FLVD_ERR_SEEK;
    *line = 510;
    return -1;
  }
  if (__FLV_DMX__fioShowBytesByPtr(&p, TAG_HEADER, h) < TAG_HEADER) {
    *code = FLVD_ERR_END;
    *line = 511;
    return -1;
  }
  uint32_t t = tag_time_at(p), entryMs = ms + base;
  uint32_t gap = t > entryMs ? t - entryMs : entryMs - t;
  if (gap >= 1001) {
    *code = FLVD_ERR_SEEK_WALK;
    *line = 512;
    return -1;
  }
  *ts = t;
  return 0;
}

static int32_t index_seek(FlvDemuxContext* ctx, uint32_t target, uint32_t* found, int backward) {
  uint32_t n = ctx->indexCount == 0xFFFFFFFFu ? 0 : ctx->indexCount;
  uint32_t i = 0, ms = 0, ts = 0, next = 0;
  int qualified = 0;
  int32_t code = 0, line = 0;
  uint32_t base = index_base(ctx);
  /* A target at or before the first timestamp has rewound already. */
  uint32_t rel = target > base ? target - base : 0;
  for (; i < n; i++) {
    if (entry_time(ctx, i, &ms) != 0) break;
    if (ms >= rel) {
      qualified = 1;
      break;
    }
  }
  if (backward) {
    if (qualified && i == 0) return to_start(ctx, ctx->videoHandle, found);
    if (!qualified || ms != rel) {
      if (i == 0) return to_start(ctx, ctx->videoHandle, found);
      i--;
    }
  } else if (!qualified) {
    /* No entry's time reaches the target, but entry times can fall short
     * of their tags' (another origin, or a time in seconds cut down to
     * whole ms: 1.001 s gives 1000): the last entry read is tried, and its
     * tag's own time decides below. */
    if (i == 0) {
      flv_error(ctx, FLVD_ERR_SEEK_WALK, 521);
      return FLV_WALK_END;
    }
    i--;
  }
  if (probe_entry(ctx, i, base, &ts, &code, &line) != 0) return fail(ctx, code, line);
  /* Index times may count from another origin than the tags (a muxer's
   * first video time, not the file's first timestamp), by up to the second
   * that the check allows: the tags' own times decide, so that a backward
   * seek never lands after its target nor a forward one before it, nor
   * passes over a key frame that would do. */
  if (backward) {
    while (ts > target) {
      if (i == 0) return to_start(ctx, ctx->videoHandle, found);
      if (probe_entry(ctx, --i, base, &ts, &code, &line) != 0) return fail(ctx, code, line);
    }
    while (i + 1 < n && probe_entry(ctx, i + 1, base, &next, &code, &line) == 0 && next <= target) {
      i++;
      ts = next;
    }
  } else {
    while (ts < target) {
      if (i + 1 >= n) {
        flv_error(ctx, FLVD_ERR_SEEK_WALK, 521);
        return FLV_WALK_END;
      }
      if (probe_entry(ctx, ++i, base, &ts, &code, &line) != 0) return fail(ctx, code, line);
    }
    while (i > 0 && probe_entry(ctx, i - 1, base, &next, &code, &line) == 0 && next >= target) {
      i--;
      ts = next;
    }
  }
  /* Back to the entry chosen, which the last look may have left. */
  if (probe_entry(ctx, i, base, &ts, &code, &line) != 0) return fail(ctx, code, line);
  *found = ts;
  return 0;
}

static int32_t walk_on(FlvDemuxContext* ctx, FlvFioHandle* h, uint32_t wanted, uint32_t target,
                       uint32_t* found, int backward, int estimate);

/* Walks backward until a wanted tag at or before the target, then finishes
 * by the direction. None before the target: backward, the seek goes to the
 * start; forward, it lands on the first wanted tag, which lies after the
 * target. */
static int32_t walk_back(FlvDemuxContext* ctx, FlvFioHandle* h, uint32_t wanted, uint32_t target,
                         uint32_t* found, int backward, int estimate) {
  FlvTagInfo tag;
  for (;;) {
    int32_t r = FLVD_MoveToPrevTag(ctx, h, &tag, wanted, NULL);
    if (r == FLV_WALK_BEGINNING) {
      if (backward) return to_start(ctx, h, found);
      if (go(h, ctx->dataOffset) != 0) return fail(ctx, FLVD_ERR_SEEK, 533);
      return walk_on(ctx, h, wanted, target, found, 0, estimate);
    }
    if (r != 0) return fail(ctx, FLVD_ERR_SEEK_WALK, 530);
    if (tag.timestamp <= target) break;
  }
  if (backward || tag.timestamp == target) {
    *found = tag.timestamp;
    return 0;
  }
  int32_t r = FLVD_MoveToNextTag(ctx, h, &tag, wanted, NULL);
  if (r == FLV_WALK_END) {
    flv_error(ctx, FLVD_ERR_SEEK_WALK, 531);
    return FLV_WALK_END;
  }
  if (r != 0) return fail(ctx, FLVD_ERR_SEEK_WALK, 532);
  *found = tag.timestamp;
  return 0;
}

/* Walks forward until a wanted tag at or after the target. */
static int32_t walk_on(FlvDemuxContext* ctx, FlvFioHandle* h, uint32_t wanted, uint32_t target,
                       uint32_t* found, int backward, int estimate) {
  FlvTagInfo tag;
  /* The tag at the handle is a candidate too: the handle stands at a tag
   * boundary that no walk has looked at yet, or at an anchor before the
   * target. */
  int32_t r = FLVD_GetCurrTagInfo(ctx, h, &tag, wanted, 1);
  for (;; r = FLVD_MoveToNextTag(ctx, h, &tag, wanted, NULL)) {
    if (r == FLV_WALK_END) {
      if (go(h, ctx->endOfData) != 0) return fail(ctx, FLVD_ERR_SEEK, 540);
      if (!estimate) {
        *found = ctx->lastTimestamp;
        return 0;
      }
      if (!backward) {
        *found = ctx->lastTimestamp;
        flv_error(ctx, FLVD_ERR_SEEK_WALK, 541);
        return FLV_WALK_END;
      }
      return walk_back(ctx, h, wanted, target, found, 1, estimate);
    }
    if (r != 0) return fail(ctx, FLVD_ERR_SEEK_WALK, 542);
    if (tag.timestamp >= target) break;
  }
  if (!backward || tag.timestamp == target) {
    *found = tag.timestamp;
    return 0;
  }
  r = FLVD_MoveToPrevTag(ctx, h, &tag, wanted, NULL);
  if (r == FLV_WALK_BEGINNING) return to_start(ctx, h, found);
  if (r != 0) return fail(ctx, FLVD_ERR_SEEK_WALK, 543);
  *found = tag.timestamp;
  return 0;
}

/* Scan anchored at the tag at the handle (time `current`), starting from
 * the nearest of the start, that tag and the end. */
static int32_t anchored_scan(FlvDemuxContext* ctx, FlvFioHandle* h, uint32_t wanted, uint32_t current,
                             int64_t afterCurrent, uint32_t target, uint32_t* found, int backward,
                             int estimate) {
  uint32_t d = current > target ? current - target : target - current;
  uint32_t e = ctx->lastTimestamp > target ? ctx->lastTimestamp - target : 0;
  if (d > target) {
    if (go(h, ctx->dataOffset) != 0) return fail(ctx, FLVD_ERR_SEEK, 550);
    return walk_on(ctx, h, wanted, target, found, backward, estimate);
  }
  if (d >= e) {
    if (go(h, ctx->endOfData) != 0) return fail(ctx, FLVD_ERR_SEEK, 551);
    return walk_back(ctx, h, wanted, target, found, backward, estimate);
  }
  if (current >= target) {
    /* From just after the anchor, so that the anchor itself is a candidate. */
    if (afterCurrent > 0 && go(h, afterCurrent) != 0) return fail(ctx, FLVD_ERR_SEEK, 552);
    return walk_back(ctx, h, wanted, target, found, backward, estimate);
  }
  return walk_on(ctx, h, wanted, target, found, backward, estimate);
}

static int64_t end_of_tag(FlvFioHandle* h, const FlvTagInfo* tag) {
  int64_t at = __FLV_DMX__fioTell64(h);
  return at < 0 ? -1 : at + TAG_HEADER + tag->dataSize + PREV_SIZE;
}

static int32_t estimate_seek(FlvDemuxContext* ctx, uint32_t target, uint32_t* found, int backward) {
  FlvFioHandle* h = ctx->videoHandle;
  uint64_t rel = target > ctx->firstTimestamp ? target - ctx->firstTimestamp : 0;
  uint32_t offset = (uint32_t)((rel * ctx->byteRate) / 1024u);
  if (go(h, offset) != 0) return fail(ctx, FLVD_ERR_SEEK, 560);
  FlvTagInfo tag;
  int32_t r = FLVD_MoveToNextTag(ctx, h, &tag, FLV_TAG_VIDEO, NULL);
  if (r == FLV_WALK_END) {
    if (go(h, ctx->endOfData) != 0) return fail(ctx, FLVD_ERR_SEEK, 561);
    r = FLVD_MoveToPrevTag(ctx, h, &tag, FLV_TAG_VIDEO, NULL);
    if (r == FLV_WALK_BEGINNING) return to_start(ctx, h, found);
  }
  if (r != 0) return fail(ctx, FLVD_ERR_SEEK_WALK, 562);
  return anchored_scan(ctx, h, KEY_VIDEO, tag.timestamp, end_of_tag(h, &tag), target, found,
                       backward, 1);
}

static int32_t audio_seek(FlvDemuxContext* ctx, uint32_t target, uint32_t* found, int backward) {
  FlvFioHandle* h = ctx->audioHandle;
  if ((ctx->openFlags & FLVD_OPEN_SEPARATE_HANDLES) && (ctx->streamFlags & 1u)) {
    int64_t at = __FLV_DMX__fioTell64(ctx->videoHandle);
    if (at < 0) return fail(ctx, FLVD_ERR_TELL, 570);
    if (go(h, at) != 0) return fail(ctx, FLVD_ERR_SEEK, 571);
    FlvTagInfo tag;
    int32_t r = FLVD_MoveToNextTag(ctx, h, &tag, FLV_TAG_AUDIO, NULL);
    if (r == FLV_WALK_END) {
      if (go(h, ctx->endOfData) != 0) return fail(ctx, FLVD_ERR_SEEK, 572);
      r = FLVD_MoveToPrevTag(ctx, h, &tag, FLV_TAG_AUDIO, NULL);
      if (r == FLV_WALK_BEGINNING) return to_start(ctx, h, found);
    }
    if (r != 0) return fail(ctx, FLVD_ERR_SEEK_WALK, 573);
    if (tag.timestamp == target) {
      *found = tag.timestamp;
      return 0;
    }
    if (tag.timestamp > target) {
      int64_t after = end_of_tag(h, &tag);
      if (after < 0 || go(h, after) != 0) return fail(ctx, FLVD_ERR_SEEK, 574);
      return walk_back(ctx, h, FLV_TAG_AUDIO, target, found, backward, 0);
    }
    return walk_on(ctx, h, FLV_TAG_AUDIO, target, found, backward, 0);
  }
  uint32_t current = (uint32_t)ctx->currentAudioMs + ctx->firstTimestamp;
  /* The handle stands at a tag boundary, not at the anchor: no anchor end. */
  return anchored_scan(ctx, h, FLV_TAG_AUDIO, current, 0, target, found, backward, 0);
}

KVR_EXPORT int32_t FLVD_RunFrameSeek(FlvDemuxContext* ctx, uint32_t target, uint32_t* found,
                                     int32_t kind, int32_t backward) {
  if (ctx == NULL || found == NULL) return -1;
  int32_t r;
  if (kind == FLVD_KIND_VIDEO) {
    switch (ctx->seekMode) {
      case FLVD_SEEK_INDEX:
        return index_seek(ctx, target, found, backward);
      case FLVD_SEEK_ESTIMATE:
        __FLV_DMX__fioSetCacheReadSize(ctx->videoHandle, ctx->seekReadSize);
        r = estimate_seek(ctx, target, found, backward);
        __FLV_DMX__fioSetCacheReadSize(ctx->videoHandle, 0);
        return r;
      default:
        return fail(ctx, FLVD_ERR_NOT_SEEKABLE, 580);
    }
  }
  __FLV_DMX__fioSetCacheReadSize(ctx->audioHandle, ctx->seekReadSize);
  r = audio_seek(ctx, target, found, backward);
  __FLV_DMX__fioSetCacheReadSize(ctx->audioHandle, 0);
  return r;
}

KVR_EXPORT int32_t FLVD_RunFrameSeekProgressive(FlvDemuxContext* ctx, uint32_t target,
                                                uint32_t* found, int32_t kind, int32_t backward) {
  if (ctx == NULL || found == NULL || kind != FLVD_KIND_VIDEO) return -1;
  return index_seek(ctx, target, found, backward);
}

/* Notes where a handle stood before the seek (once per seek). */
static int32_t remember(FlvFioHandle* h, int64_t* resume) {
  if (*resume != 0) return 0;
  int64_t at = __FLV_DMX__fioTell64(h);
  if (at < 0) return -1;
  *resume = at;
  return 0;
}

static void put_back(FlvDemuxContext* ctx) {
  if (ctx->videoResume != 0) go(ctx->videoHandle, ctx->videoResume);
  if (ctx->audioResume != 0 && ctx->audioHandle != ctx->videoHandle) go(ctx->audioHandle, ctx->audioResume);
  ctx->videoResume = 0;
  ctx->audioResume = 0;
}

static int32_t seek_impl(FlvDemuxContext* ctx, int32_t timeMs, uint32_t flags, FlvdSeekAnswer* out,
                         int progressive) {
  if (ctx->infoOnly) return fail(ctx, FLVD_ERR_INFO_ONLY, 590);
  int hasVideo = (ctx->streamFlags & 1u) != 0, hasAudio = (ctx->streamFlags & 2u) != 0;
  if (ctx->seekMode == FLVD_SEEK_NONE || (progressive && !hasVideo))
    return fail(ctx, FLVD_ERR_NOT_SEEKABLE, 591);
  int separate = (ctx->openFlags & FLVD_OPEN_SEPARATE_HANDLES) != 0;
  int64_t first = ctx->firstTimestamp;
  int64_t current = first + (hasVideo ? ctx->currentVideoMs : ctx->currentAudioMs);
  int64_t target;
  int backward;
  if (flags & FLVD_SEEK_RELATIVE) {
    if (timeMs == 0) {
      if (out) out->timeMs = (int32_t)(current - first);
      return 0;
    }
    backward = timeMs < 0;
    target = current + timeMs;
  } else {
    target = first + timeMs;
    backward = target < current;
  }
  uint32_t force = flags & (FLVD_SEEK_BACKWARD | FLVD_SEEK_FORWARD);
  if (force == FLVD_SEEK_BACKWARD) backward = 1;
  if (force == FLVD_SEEK_FORWARD) backward = 0;

  if (target <= first) {
    if (flv_rewind(ctx) != 0) return fail(ctx, FLVD_ERR_SEEK, 592);
    ctx->videoResume = ctx->audioResume = 0;
    if (out) out->timeMs = 0;
    return 0;
  }
  if (target > (int64_t)ctx->lastTimestamp && !progressive) {
    uint32_t last = ctx->lastTimestamp;
    if (flags & FLVD_SEEK_END_AT_EOF) {
      if (go(ctx->videoHandle, ctx->endOfData) != 0) return fail(ctx, FLVD_ERR_SEEK, 593);
      if (separate && go(ctx->audioHandle, ctx->endOfData) != 0) return fail(ctx, FLVD_ERR_SEEK, 594);
      if (out) out->timeMs = (int32_t)(last - first);
      return 0;
    }
    if (flags & FLVD_SEEK_END_AT_LAST)
      return seek_impl(ctx, (int32_t)(last - first), FLVD_SEEK_BACKWARD, out, progressive);
    return fail(ctx, FLVD_ERR_BEYOND_END, 595);
  }
  uint32_t goal = (uint32_t)target, found = 0, result = 0;
  if (progressive) {
    if (remember(ctx->videoHandle, &ctx->videoResume) != 0) return fail(ctx, FLVD_ERR_TELL, 596);
    if (FLVD_RunFrameSeekProgressive(ctx, goal, &found, FLVD_KIND_VIDEO, backward) != 0) goto failed;
    ctx->currentVideoMs = (int32_t)(found - first);
    result = found;
    if (separate && hasAudio) {
      int64_t at = __FLV_DMX__fioTell64(ctx->videoHandle);
      if (at < 0) return put_back(ctx), fail(ctx, FLVD_ERR_TELL, 597);
      if (go(ctx->audioHandle, at) != 0) return put_back(ctx), fail(ctx, FLVD_ERR_SEEK, 598);
      ctx->currentAudioMs = ctx->currentVideoMs;
    }
  } else if (separate) {
    if (hasVideo) {
      if (remember(ctx->videoHandle, &ctx->videoResume) != 0) return fail(ctx, FLVD_ERR_TELL, 600);
      if (FLVD_RunFrameSeek(ctx, goal, &found, FLVD_KIND_VIDEO, backward) != 0) goto failed;
      ctx->currentVideoMs = (int32_t)(found - first);
      goal = found;
      backward = 1;
      result = found;
    }
    if (hasAudio) {
      if (remember(ctx->audioHandle, &ctx->audioResume) != 0) return put_back(ctx), fail(ctx, FLVD_ERR_TELL, 601);
      if (FLVD_RunFrameSeek(ctx, goal, &found, FLVD_KIND_AUDIO, backward) != 0) goto failed;
      ctx->currentAudioMs = (int32_t)(found - first);
      if (!hasVideo) result = found;
    }
  } else {
    if (remember(ctx->videoHandle, &ctx->videoResume) != 0) return fail(ctx, FLVD_ERR_TELL, 602);
    if (FLVD_RunFrameSeek(ctx, goal, &found, hasVideo ? FLVD_KIND_VIDEO : FLVD_KIND_AUDIO, backward) != 0)
      goto failed;
    ctx->currentVideoMs = (int32_t)(found - first);
    ctx->currentAudioMs = ctx->currentVideoMs;
    result = found;
  }
  if (out) out->timeMs = (int32_t)(result - first);
  ctx->videoResume = 0;
  ctx->audioResume = 0;
  return 0;

failed:
  /* The run has recorded why it failed (a walk, the index, a seek). */
  put_back(ctx);
  return -1;
}

int32_t flv_seek(FlvDemuxContext* ctx, const FlvdSeekRequest* req, FlvdSeekAnswer* out) {
  return seek_impl(ctx, req->timeMs, req->flags, out, 0);
}

int32_t flv_seek_progressive(FlvDemuxContext* ctx, const FlvdSeekRequest* req, FlvdSeekAnswer* out) {
  return seek_impl(ctx, req->timeMs, req->flags, out, 1);
}
