/* End of the readable data, stream counting and durations. */
#include "ts_internal.h"

#define MIB (1024 * 1024)

static int pts_before(int64_t a, int64_t b) {
  int64_t d = (b - a) & TS_PTS_MASK;
  return d != 0 && d < ((int64_t)1 << 32);
}

static StreamInfo* hit_info(TsDemuxContext* ctx, int32_t r) {
  if (r != 0x100 && r != 0x200) return NULL;
  PidSlot* s = ctx->pids[ctx->framePid & 0x1FFF];
  if (s == NULL || s->info == NULL) return NULL;
  return s->info;
}

static void raise_last(StreamInfo* si, int64_t pts) {
  if (si->firstTs == TS_PTS_NONE) {
    if (si->lastTs == TS_PTS_NONE || pts_before(si->lastTs, pts)) si->lastTs = pts;
    return;
  }
  int64_t rel = (pts - si->firstTs) & TS_PTS_MASK;
  if (rel >= ((int64_t)1 << 32)) return;
  int64_t cand = si->firstTs + rel;
  if (si->lastTs == TS_PTS_NONE || cand > si->lastTs) si->lastTs = cand;
}

static void mark_programs(TsDemuxContext* ctx, int32_t pid) {
  for (ProgramEntry* p = ctx->programs; p; p = p->next)
    for (ProgramStream* st = p->first; st; st = st->next)
      if (st->pid == pid) p->state |= 0x8;
}

static int32_t programs_marked(TsDemuxContext* ctx) {
  int32_t n = 0;
  for (ProgramEntry* p = ctx->programs; p; p = p->next)
    if ((p->state & 0x1) && (p->state & 0x8)) n++;
  return n;
}

int32_t FindEndOfData(TsDemuxContext* ctx, int32_t wanted, int32_t* firstPid, int64_t fileSize) {
  FioHandle* rd = ctx->mainReader;
  int64_t remembered = __TS_DMX__fioTell64(rd);
  ctx->reader = rd;
  int64_t low = 0, high = fileSize;
  while (high - low > 0xFFFFF) {
    int64_t mid = low + (high - low) / 2;
    if (mid <= low || mid >= high) break; /* never probe the same middle twice */
    if (RepositionReader(ctx, rd, mid) != 0) {
      RepositionReader(ctx, rd, remembered);
      ctx->durationUnknown = 1;
      return 1;
    }
    int32_t r = ScanNextTimestamp(ctx);
    if (r == TSR_EOF || r == TSR_LIMIT || r == TSR_FAIL) high = mid;
    else low = mid; /* any time stamp means data goes on past the middle */
  }
  ctx->dataEnd = high;
  int32_t withEnd = 0;
  int64_t distance = (fileSize - high) + 102400;
  int64_t prevStart = -1;
  int lastHitHasEnd = 0;
  for (;;) {
    int64_t start = fileSize - distance;
    if (start < 0) start = 0;
    if (RepositionReader(ctx, rd, start) != 0) {
      /* A window that cannot be reached leaves the durations unknown; only
       * the file end itself must be reachable. */
      ctx->durationUnknown = 1;
      break;
    }
    int atEof = 0;
    for (;;) {
      if (prevStart >= 0 && ts_reader_pos(ctx) >= prevStart) break;
      int32_t r = ScanNextTimestamp(ctx);
      if (r == TSR_EOF) {
        atEof = 1;
        break;
      }
      if (r == TSR_LIMIT) break;
      StreamInfo* si = hit_info(ctx, r);
      if (si == NULL || !(si->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO))) continue;
      if (*firstPid == 0 || (si->kind & TSD_KIND_AUDIO)) *firstPid = si->pid;
      if (!(si->flags & SI_END_TIME)) {
        si->flags |= SI_END_TIME;
        withEnd++;
      }
      mark_programs(ctx, si->pid);
      raise_last(si, ctx->scanPts);
      lastHitHasEnd = 1;
    }
    if (atEof && prevStart < 0) {
      if (__TS_DMX__fioSeek64(rd, 0, KVR_SEEK_END) != 0) {
        ts_error(ctx, -17, 7912);
        return 0;
      }
    }
    if ((wanted > 0 && withEnd >= wanted) || programs_marked(ctx) >= ctx->acceptedCount) break;
    if (start == 0 || distance > 0x1DFFFFF) {
      ctx->durationUnknown = !lastHitHasEnd;
      break;
    }
    prevStart = start;
    distance += MIB;
  }
  RepositionReader(ctx, rd, remembered < 0 ? 0 : remembered);
  return 1;
}

int32_t CountProgramStreams(ProgramEntry* first, int32_t pid, int32_t wantedVideo,
                            int32_t wantedAudio) {
  uint32_t orS = 0, orC = 0;
  int any = 0;
  for (ProgramEntry* p = first; p; p = p->next) {
    ProgramStream* hit = NULL;
    int32_t V = 0, A = 0;
    for (ProgramStream* st = p->first; st; st = st->next) {
      if (!st->info) continue;
      if (st->info->kind & TSD_KIND_VIDEO) V++;
      else if (st->info->kind & TSD_KIND_AUDIO) A++;
      if (st->pid == pid) hit = st;
    }
    if (hit == NULL) continue;
    any = 1;
    if (hit->info->kind & TSD_KIND_VIDEO) {
      if (p->seenVideo < 255) p->seenVideo++;
    } else if (p->seenAudio < 255) {
      p->seenAudio++;
    }
    int32_t v = p->seenVideo, a = p->seenAudio;
    int32_t WV = wantedVideo < 0 ? V : wantedVideo, WA = wantedAudio < 0 ? A : wantedAudio;
    uint32_t S, B, C;
    if (V && WV) {
      S = v > 0 ? 3 : 2;
      B = v > 0 ? 1 : 0;
      C = (v > 0 && v >= (V < WV ? V : WV)) ? 1 : 0;
    } else {
      S = 3;
      B = 1;
      C = 1;
    }
    if (A && WA) {
      if (a == 0) S = B;
      else if (a >= (A < WA ? A : WA)) C |= 2;
    } else {
      C |= 2;
    }
    p->countingComplete = C == 3;
    orS |= S;
    orC |= C;
  }
  if (!any || orS < 3) return 0;
  if (orC < 3) return 1;
  return (wantedVideo < 0 && wantedAudio < 0) ? 1 : 2;
}

int32_t ComputeDurations(TsDemuxContext* ctx, int32_t n) {
  int32_t visited = 0;
  int32_t largest = 0;
  for (ProgramEntry* p = ctx->programs; p; p = p->next) {
    int64_t start = TS_PTS_NONE;
    for (ProgramStream* st = p->first; st; st = st->next) {
      StreamInfo* si = st->info;
      if (!si || !(si->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO)) || (si->kind & KB_DEPENDENT))
        continue;
      if (si->firstTs == TS_PTS_NONE) continue;
      if (start == TS_PTS_NONE || pts_before(si->firstTs, start)) start = si->firstTs;
    }
    int32_t progMs = 0;
    for (ProgramStream* st = p->first; st && visited < n; st = st->next) {
      StreamInfo* si = st->info;
      if (!si || !(si->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO))) continue;
      visited++;
      int32_t ms = 0;
      if (start != TS_PTS_NONE && (si->flags & SI_END_TIME) && si->lastTs != TS_PTS_NONE) {
        int64_t d = (si->lastTs - start) & TS_PTS_MASK;
        if (d < ((int64_t)1 << 32)) ms = (int32_t)(d / 90);
      }
      if (start != TS_PTS_NONE && si->firstTs != TS_PTS_NONE) {
        /* Keep the last time stamp on the same unwrapped scale as the start. */
        int64_t shift = (si->firstTs - start) & TS_PTS_MASK;
        if (shift < ((int64_t)1 << 32) && si->lastTs != TS_PTS_NONE)
          si->lastTs = start + ((si->lastTs - start) & TS_PTS_MASK);
        si->firstTs = start;
      }
      si->durationMs = ms;
      if (ms > progMs) progMs = ms;
    }
    p->durationMs = progMs;
    if (progMs > largest) largest = progMs;
  }
  if (largest > 0) {
    int64_t rate = ctx->dataEnd / largest;
    if (rate < 1) rate = 1;
    if (rate > 0x7FFFFFFF / 500) rate = 0x7FFFFFFF / 500;
    ctx->bytesPerMs = (int32_t)rate;
    ctx->bytesPer500ms = (int32_t)(rate * 500);
    ctx->durationUnknown = 0;
  } else {
    ctx->durationUnknown = 1;
  }
  return 1;
}
