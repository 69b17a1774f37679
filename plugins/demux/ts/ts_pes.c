/* PES assembly, frame hand-over, the fast time-stamp scan and repositioning. */
#include <string.h>

#include "ts_internal.h"

#define PES_CAP_VIDEO (16 * 1024 * 1024)
#define PES_CAP_OTHER (1024 * 1024)

static int pes_stream_id_ok(int id) { return id == 0xBD || id == 0xFD || (id >= 0xC0 && id <= 0xEF); }

int ts_parse_pes_header(const uint8_t* p, int32_t n, int64_t* pts, int32_t* headerLen,
                        int32_t* pesLen) {
  if (n < 9) return 4798;
  *pesLen = (p[4] << 8) | p[5];
  *headerLen = p[8];
  *pts = TS_PTS_NONE;
  if ((p[7] & 0x80) && *headerLen >= 5 && n >= 14) {
    *pts = ((int64_t)(p[9] & 0x0E) << 29) | ((int64_t)p[10] << 22) | ((int64_t)(p[11] & 0xFE) << 14) |
           ((int64_t)p[12] << 7) | ((int64_t)p[13] >> 1);
  }
  if (n - 9 - *headerLen < 0) return 4798;
  if (*pesLen != 0 && *pesLen < 3 + *headerLen) return 4891;
  return 0;
}

static int is_pes_start(const uint8_t* p, int32_t n) {
  return n >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 1 && pes_stream_id_ok(p[3]);
}

/* Makes room for `needed` bytes. Returns 1, 0 on allocation failure (-3),
 * or -1 when the PES would pass its growth cap (the PES is dropped). */
int32_t ts_grow_buffer(TsDemuxContext* ctx, PidSlot* s, int64_t needed, int firstUnit) {
  (void)firstUnit;
  if (needed <= s->capacity) return 1;
  int64_t cap = s->kind == TSD_KIND_VIDEO ? PES_CAP_VIDEO : PES_CAP_OTHER;
  if (needed > cap) {
    s->bytes = -1;
    s->expected = 0;
    return -1;
  }
  int64_t unit = s->capacity > 0 ? 65536 : 1024;
  int64_t size = (needed + unit - 1) / unit * unit;
  uint8_t* nb = s->buffer ? (uint8_t*)ts_realloc(s->buffer, (size_t)size)
                          : (uint8_t*)ts_malloc((size_t)size);
  if (nb == NULL) {
    ts_error(ctx, -3, 9810);
    return 0;
  }
  if ((ctx->openFlags & (TSD_OPEN_PRESETS | TSD_OPEN_CALLER_BUFFERS)) == TSD_OPEN_PRESETS &&
      s->frameBuf == s->buffer)
    s->frameBuf = nb;
  if (ctx->frameData == s->buffer) ctx->frameData = nb;
  s->buffer = nb;
  s->capacity = (int32_t)size;
  return 1;
}

static void publish(TsDemuxContext* ctx, PidSlot* s) {
  ctx->framePid = s->pid;
  ctx->frameUnitPos = s->unitPos;
  ctx->framePriority = s->priority;
}

static ProgramStream* stream_for(TsDemuxContext* ctx, PidSlot* s, int idx) {
  ProgramStream* st = ctx->selected[idx];
  if (idx == K_VIDEO && st && st->pid != s->pid && st->dependent && st->dependent->pid == s->pid)
    return st->dependent;
  if (st && st->pid == s->pid) return st;
  return NULL;
}

static int32_t deliver(TsDemuxContext* ctx, PidSlot* s, int partial, int forceGroup) {
  int32_t handed = s->bytes < 0 ? 0 : s->bytes;
  if (s->discontinuity) {
    /* Only frames the host is handed may mark what it reads next: a gap met
     * while tables are gathered, streams probed or a seek searches belongs
     * to nothing that is delivered. */
    if (!(ctx->readState & 0xF00)) ctx->discontinuitySeen = 1;
    if (ctx->openFlags & TSD_OPEN_DROP_DISCONTINUOUS) {
      int32_t r = s->expected > 0 ? TSR_DROPPED : TSR_DROPPED_UNBOUNDED;
      s->expected = 0;
      s->bytes = -1;
      s->pendingFrame = 0;
      publish(ctx, s);
      return r;
    }
  }
  ctx->framePts = s->pts;
  if ((s->flags & SF_LENGTH_CHECKED) && s->expected > 0 && s->expected != handed && !partial) {
    s->expected = 0;
    s->bytes = -1;
    s->pendingFrame = 0;
    publish(ctx, s);
    ts_error(ctx, -1017, __LINE__);
    return TSR_REFUSED;
  }
  int idx = ts_kind_index(s->kind);
  if (idx < 0) {
    s->bytes = -1;
    s->expected = 0;
    s->pendingFrame = 0;
    ctx->currentPid = s->pid;
    return TS_FAIL(ctx, -1016);
  }
  ctx->frameLength = handed;
  if (!(ctx->readState & 0xF00) && (ctx->openFlags & TSD_OPEN_CALLER_BUFFERS)) {
    uint8_t* dst = ctx->curBuf ? ctx->curBuf : s->frameBuf;
    int32_t room = ctx->curBuf ? ctx->curBufSize : s->presetSize;
    if (dst == NULL || room < handed) {
      ctx->requiredSize = (handed + 65535) & ~65535;
      s->pendingFrame = 1;
      return TS_FAIL(ctx, -4014);
    }
    if (handed) memcpy(dst, s->buffer, (size_t)handed);
    ctx->frameData = dst;
  } else {
    ctx->frameData = s->buffer;
  }
  s->pendingFrame = 0;
  publish(ctx, s);
  ctx->frameStream = stream_for(ctx, s, idx);
  int32_t code = 0x100 << idx;
  if (partial) {
    s->bytes = 0;
    if (s->expected < handed) s->expected = handed;
    s->expected -= handed;
    s->partialCount++;
    return code;
  }
  s->bytes = -1;
  if (forceGroup) {
    if (idx <= K_AUDIO || s->expected == 0) code <<= 8;
  } else if (s->expected == 0) {
    code <<= 8;
  }
  s->expected = 0;
  return code;
}

int32_t DeliverFrame(TsDemuxContext* ctx, PidSlot* s) { return deliver(ctx, s, 0, 0); }

int32_t DeliverPartialFrame(TsDemuxContext* ctx, PidSlot* s, int partial) {
  return deliver(ctx, s, partial, 1);
}

static int32_t append(TsDemuxContext* ctx, PidSlot* s, const uint8_t* p, int32_t n) {
  if (s->expected > 0 && s->bytes + n > s->expected) n = s->expected - s->bytes;
  if (n <= 0) return 1;
  int32_t g = ts_grow_buffer(ctx, s, (int64_t)s->bytes + n, 0);
  if (g <= 0) return g;
  memcpy(s->buffer + s->bytes, p, (size_t)n);
  s->bytes += n;
  return 1;
}

static int32_t completion(TsDemuxContext* ctx, PidSlot* s) {
  if (s->expected < 1 || s->expected > s->bytes) return TSR_INCOMPLETE;
  /* The packet loop hands a complete PES over at once only where the slot
   * asks for it; others wait for the next unit start. */
  if (ctx->loopMode && !(s->flags & SF_HANDOVER_AT_LENGTH)) return TSR_INCOMPLETE;
  int32_t r = DeliverFrame(ctx, s);
  if (TSR_IS_REREAD(r)) s->lastCc = s->prevCc;
  if (r == TSR_FAIL && ctx->lastError == -4014) ctx->consumeOnError = 1;
  return r;
}

int32_t ts_pes_packet(TsDemuxContext* ctx, PidSlot* s, const uint8_t* p, int32_t n, int start,
                      int priority) {
  if (!start) {
    if (s->bytes < 0 || s->pendingFrame) return TSR_SKIP;
    int32_t a = append(ctx, s, p, n);
    if (a == 0) return 0;
    if (a < 0) return TSR_SKIP;
    return completion(ctx, s);
  }
  if (ctx->loopMode && !s->pendingFrame && s->bytes >= 0 && !is_pes_start(p, n)) {
    /* A unit start without a PES header is taken as more of the PES being
     * gathered rather than cutting it short. */
    int32_t a = append(ctx, s, p, n);
    if (a == 0) return 0;
    if (a < 0) return TSR_SKIP;
    return completion(ctx, s);
  }
  if (ctx->loopMode && !s->pendingFrame && s->bytes > 0 && !(s->flags & SF_LENGTH_CHECKED) &&
      is_pes_start(p, n)) {
    /* The packet loop keeps collecting while the time stamp stays the same
     * and the collection limit is not reached. */
    int64_t pts;
    int32_t hl, pesLen;
    if (ts_parse_pes_header(p, n, &pts, &hl, &pesLen) == 0 && pts == s->pts &&
        (ctx->maxCollection <= 0 || s->bytes + (n - 9 - hl) < ctx->maxCollection)) {
      s->expected = 0;
      int32_t a = append(ctx, s, p + 9 + hl, n - 9 - hl);
      if (a == 0) return 0;
      return TSR_INCOMPLETE;
    }
  }
  if (s->pendingFrame || s->bytes > 0) {
    int32_t r = DeliverFrame(ctx, s);
    if (r == TSR_FAIL) {
      /* Keep the packet for the retry; its counter must not count twice. */
      s->lastCc = s->prevCc;
      return 0;
    }
    if (r != TSR_REFUSED && r != TSR_SKIP && r != TSR_DROPPED && r != TSR_DROPPED_UNBOUNDED) {
      if (TSR_IS_FRAME(r)) r <<= 8;
      s->lastCc = s->prevCc;
      return r;
    }
  }
  s->discontinuity = 0;
  s->bytes = -1;
  s->expected = 0;
  if (!is_pes_start(p, n)) {
    ctx->currentPid = s->pid;
    ts_error(ctx, -1011, 4922);
    return TSR_FAIL;
  }
  int64_t pts;
  int32_t hl, pesLen;
  int32_t bad = ts_parse_pes_header(p, n, &pts, &hl, &pesLen);
  if (bad != 0) {
    ctx->currentPid = s->pid;
    ts_error(ctx, -1000, bad);
    return TSR_FAIL;
  }
  s->unitPos = ts_reader_pos(ctx); /* the packet that starts the PES: seeks land there */
  s->pts = pts;
  s->priority = priority;
  s->expected = pesLen ? pesLen - 3 - hl : 0;
  s->bytes = 0;
  int32_t a = append(ctx, s, p + 9 + hl, n - 9 - hl);
  if (a == 0) return 0;
  if (a < 0) return TSR_SKIP;
  return completion(ctx, s);
}

int32_t ParseStreamAudioHeader(TsDemuxContext* ctx, uint32_t codec, AudioHeaderInfo* info) {
  return TSD_ParseAudioHeader(ctx, codec, info);
}

int32_t ScanNextTimestampLimited(TsDemuxContext* ctx, uint32_t limit) {
  const uint32_t ps = (uint32_t)ctx->packetSize;
  uint64_t consumed = 0;
  for (;;) {
    const uint8_t* p = NULL;
    int32_t got = __TS_DMX__fioShowBytesByPtr(&p, ps, ctx->reader);
    if (got < (int32_t)ps) {
      if (!(ctx->openFlags & TSD_OPEN_GROWING) && got > 0)
        __TS_DMX__fioSkipBytes((uint32_t)got, ctx->reader);
      return TSR_EOF;
    }
    const uint8_t* h = p + ctx->prefixLen;
    if (h[0] != 0x47 || (h[1] & 0x80)) {
      __TS_DMX__fioSkipBytes(1, ctx->reader);
      if (++consumed > 0x100000 || (limit && consumed > limit)) return TSR_LIMIT;
      continue;
    }
    int32_t pid = ((h[1] & 0x1F) << 8) | h[2];
    PidSlot* s = ctx->pids[pid];
    if (s && s->type == 2 && s->active && ts_view_rule(ctx, s) == TSR_OTHER_VIEW) {
      int32_t v = ts_other_view(ctx);
      if (v != TSR_SKIP) return v;
      consumed += ps;
      if (consumed > 0x100000 || (limit && consumed > limit)) return TSR_LIMIT;
      continue;
    }
    if (s && s->type == 2 && s->active) {
      s->seen = 1;
      int afc = (h[3] >> 4) & 3;
      if ((h[1] & 0x40) && (afc & 1)) {
        const uint8_t* pl = h + 4;
        if (afc & 2) pl += 1 + h[4];
        int32_t n = (int32_t)(h + 188 - pl);
        if (n >= 14 && is_pes_start(pl, n) && (pl[7] & 0xC0)) {
          int64_t pts;
          int32_t hl, pesLen;
          if (ts_parse_pes_header(pl, n, &pts, &hl, &pesLen) == 0 && pts != TS_PTS_NONE) {
            int idx = ts_kind_index(s->kind);
            int64_t pos = ts_reader_pos(ctx);
            __TS_DMX__fioSkipBytes(ps, ctx->reader);
            s->unitPos = pos;
            ctx->scanPos = pos;
            ctx->frameUnitPos = pos;
            ctx->currentPid = pid;
            ctx->framePid = pid;
            ctx->scanPts = pts;
            ctx->framePts = pts;
            if (idx < 0) return TS_FAIL(ctx, -1016);
            ctx->frameStream = stream_for(ctx, s, idx);
            return 0x100 << idx;
          }
        }
      }
    }
    __TS_DMX__fioSkipBytes(ps, ctx->reader);
    consumed += ps;
    if (consumed > 0x100000 || (limit && consumed > limit)) return TSR_LIMIT;
  }
}

int32_t ScanNextTimestamp(TsDemuxContext* ctx) { return ScanNextTimestampLimited(ctx, 0); }

void ts_reset_stream_slot(PidSlot* s) {
  if (s == NULL || s->type != 2) return;
  s->pts = TS_PTS_NONE;
  s->unitPos = 0;
  s->discontinuity = 0;
  s->expected = 0;
  s->lastCc = -1;
  s->prevCc = -1;
  s->bytes = -1;
  s->pendingFrame = 0;
}

static void reset_reader_streams(TsDemuxContext* ctx, FioHandle* reader) {
  if (ctx->currentProgram && reader != NULL && reader == ctx->auxReader) {
    ProgramStream* v = ctx->selected[K_VIDEO];
    if (v && v->dependent) ts_reset_stream_slot(ctx->pids[v->dependent->pid]);
  } else if (ctx->currentProgram) {
    for (int i = 0; i < K_COUNT; ++i) {
      ProgramStream* st = ctx->selected[i];
      if (st == NULL) continue;
      if (ctx->kindReader[i] != reader && ctx->mainReader != reader) continue;
      ts_reset_stream_slot(ctx->pids[st->pid]);
    }
  } else {
    for (ProgramEntry* p = ctx->programs; p; p = p->next)
      for (ProgramStream* st = p->first; st; st = st->next) ts_reset_stream_slot(ctx->pids[st->pid]);
  }
  ctx->flushIndex = 0;
}

int32_t RepositionReader(TsDemuxContext* ctx, FioHandle* reader, int64_t pos) {
  ctx->scanPos = 0;
  ctx->discontinuitySeen = 0; /* what was read before the move is never delivered */
  ctx->packetCounter = 0;
  reset_reader_streams(ctx, reader);
  if (pos < 0) pos = 0;
  return __TS_DMX__fioSeek64(reader, pos, KVR_SEEK_SET);
}

int32_t RepositionForSeek(TsDemuxContext* ctx, FioHandle* reader, int64_t off, int32_t whence) {
  ctx->scanPos = 0;
  ctx->discontinuitySeen = 0;
  ctx->packetCounter = 0;
  reset_reader_streams(ctx, reader);
  if (whence == KVR_SEEK_SET && off < 0) off = 0;
  return __TS_DMX__fioSeek64(reader, off, whence);
}

void ClearFrameCounters(TsDemuxContext* ctx) {
  for (int i = 0; i < K_COUNT; ++i)
    if (ctx->selected[i]) ctx->selected[i]->frameCounter = 0;
}

void ResetSelectedBuffers(TsDemuxContext* ctx) {
  for (int i = 0; i < K_COUNT; ++i) {
    ProgramStream* st = ctx->selected[i];
    if (st == NULL) continue;
    PidSlot* s = ctx->pids[st->pid];
    if (s == NULL) continue;
    s->presetSize = ctx->presets[i];
    s->partialCount = 0;
  }
}
