/* PID table, per-packet handling and the packet pump. */
#include <string.h>

#include "ts_internal.h"

TsMem g_tsMem;

void* ts_malloc(size_t n) { return g_tsMem.malloc ? g_tsMem.malloc(n) : NULL; }

void* ts_calloc(size_t n) {
  void* p = ts_malloc(n);
  if (p) memset(p, 0, n);
  return p;
}

void* ts_realloc(void* p, size_t n) {
  if (g_tsMem.realloc) return g_tsMem.realloc(p, n);
  return NULL;
}

void ts_free(void* p) {
  if (p && g_tsMem.free) g_tsMem.free(p);
}

int ts_kind_index(int32_t kind) {
  switch (kind) {
    case TSD_KIND_VIDEO: return K_VIDEO;
    case TSD_KIND_AUDIO: return K_AUDIO;
    case TSD_KIND_GRAPHICS: return K_GRAPHICS;
    case TSD_KIND_TEXT: return K_TEXT;
    case TSD_KIND_PRIVATE: return K_PRIVATE;
    default: return -1;
  }
}

int32_t ts_kind_of_index(int index) {
  static const int32_t kinds[K_COUNT] = {TSD_KIND_VIDEO, TSD_KIND_AUDIO, TSD_KIND_GRAPHICS,
                                         TSD_KIND_TEXT, TSD_KIND_PRIVATE};
  return index >= 0 && index < K_COUNT ? kinds[index] : 0;
}

int32_t ts_frame_code(int32_t kind) {
  int i = ts_kind_index(kind);
  return i < 0 ? 0 : (0x100 << i);
}

int64_t ts_reader_pos(TsDemuxContext* ctx) { return __TS_DMX__fioTell64(ctx->reader); }

static PidSlot* new_slot(TsDemuxContext* ctx, int32_t pid) {
  PidSlot* s = (PidSlot*)ts_calloc(sizeof(PidSlot));
  if (s == NULL) return NULL;
  s->pid = pid;
  s->lastCc = -1;
  s->prevCc = -1;
  s->bytes = -1;
  s->pts = TS_PTS_NONE;
  ctx->pids[pid] = s;
  return s;
}

int32_t RegisterSectionHandler(TsDemuxContext* ctx, int32_t pid, int32_t tableId,
                               SectionHandler h) {
  if (pid < 0 || pid >= TS_PID_COUNT) return TS_FAIL(ctx, -6);
  PidSlot* s = ctx->pids[pid];
  if (s == NULL) {
    s = new_slot(ctx, pid);
    if (s == NULL) return TS_FAIL(ctx, -6);
  }
  if (s->type == 1 && s->sectionBuf && (int32_t)s->selector == tableId) {
    if (s->active) return 1;
    if (s->complete) {
      s->active = 1;
      s->lastCc = -1;
      s->handler = h;
      return 1;
    }
  }
  if (s->type == 2) {
    ts_forget_frame(ctx, s->buffer);
    ts_free(s->buffer);
    s->buffer = NULL;
    s->capacity = 0;
    s->bytes = -1;
  }
  if (s->sectionBuf == NULL) {
    s->sectionBuf = (uint8_t*)ts_malloc(TS_SECTION_BUFFER);
    if (s->sectionBuf == NULL) return TS_FAIL(ctx, -6);
  }
  s->type = 1;
  s->pid = pid;
  s->selector = (uint32_t)tableId;
  s->handler = h;
  s->lastCc = -1;
  s->active = 1;
  s->complete = 1;
  s->sectionLength = 0;
  s->gathered = 0;
  s->sectionNumber = 0;
  s->lastSectionNumber = 0;
  s->version = 255;
  s->unitPos = 0;
  return 1;
}

int32_t ts_slot_kind_for_codec(uint32_t codec) {
  StreamInfo tmp;
  memset(&tmp, 0, sizeof(tmp));
  ts_describe_stream(&tmp, codec);
  uint32_t k = tmp.kind & KB_MASK;
  /* Type-2 graphics subtitles get their kind in the slot too, so that their
   * frames are delivered instead of refused. */
  return (int32_t)k;
}

int32_t RegisterStreamSlot(TsDemuxContext* ctx, int32_t pid, uint32_t codec, int dependent,
                           int splitByPriority, int smallBuffer, int kindOnly) {
  if (pid < 0 || pid >= TS_PID_COUNT) return TS_FAIL(ctx, -7);
  PidSlot* s = ctx->pids[pid];
  if (s && s->type == 2 && s->active && s->selector == codec && (s->buffer || kindOnly)) return 1;
  if (s == NULL) {
    s = new_slot(ctx, pid);
    if (s == NULL) return TS_FAIL(ctx, -7);
  }
  ts_free(s->sectionBuf);
  s->sectionBuf = NULL;
  ts_forget_frame(ctx, s->buffer);
  ts_free(s->buffer);
  s->buffer = NULL;
  s->capacity = 0;
  s->type = 2;
  s->pid = pid;
  s->selector = codec;
  s->unitPos = 0;
  s->pts = TS_PTS_NONE;
  s->lastCc = -1;
  s->prevCc = -1;
  s->bytes = -1;
  s->active = 1;
  s->expected = 0;
  s->frameBuf = NULL;
  s->presetSize = 0;
  s->pendingFrame = 0;
  s->partialCount = 0;
  s->discontinuity = 0;
  s->kind = ts_slot_kind_for_codec(codec);
  uint32_t f = 0;
  if (dependent) f |= SF_DEPENDENT;
  if (codec == 0x20080 || codec == 0x50083 || codec == 0xFFFF0083) f |= SF_LENGTH_CHECKED;
  if (s->kind == TSD_KIND_GRAPHICS || s->kind == TSD_KIND_TEXT || s->kind == TSD_KIND_PRIVATE ||
      (f & SF_LENGTH_CHECKED))
    f |= SF_HANDOVER_AT_LENGTH;
  if (splitByPriority) f |= ctx->openFlags & (SF_PRIORITY1 | SF_PRIORITY0);
  s->flags = f;
  if (!kindOnly) {
    int idx = ts_kind_index(s->kind);
    int32_t size = 64 * 1024;
    if (smallBuffer) {
      size = 8 * 1024;
    } else if ((ctx->openFlags & TSD_OPEN_PRESETS) && idx >= 0 && ctx->presets[idx] > 0) {
      size = (ctx->presets[idx] + 1023) & ~1023;
    }
    s->buffer = (uint8_t*)ts_malloc((size_t)size);
    if (s->buffer == NULL) return TS_FAIL(ctx, -3);
    s->capacity = size;
    if (idx >= 0) {
      if (ctx->openFlags & TSD_OPEN_CALLER_BUFFERS) {
        s->frameBuf = ctx->callerBuf[idx];
      } else if (ctx->openFlags & TSD_OPEN_PRESETS) {
        s->frameBuf = s->buffer;
      }
      if (ctx->openFlags & TSD_OPEN_PRESETS) s->presetSize = ctx->presets[idx];
    }
  }
  return 1;
}

void ts_free_slot(TsDemuxContext* ctx, int32_t pid) {
  PidSlot* s = ctx->pids[pid];
  if (s == NULL) return;
  ts_free(s->sectionBuf);
  ts_forget_frame(ctx, s->buffer);
  ts_free(s->buffer);
  if (s->info) {
    ts_free(s->info->privateData);
    ts_free(s->info);
  }
  ts_free(s);
  ctx->pids[pid] = NULL;
}

/* A slot that carries a StreamInfo is only deactivated; any other is freed. */
void ts_release_slot(TsDemuxContext* ctx, int32_t pid) {
  if (pid < 0 || pid >= TS_PID_COUNT) return;
  PidSlot* s = ctx->pids[pid];
  if (s == NULL) return;
  if (s->info) {
    s->active = 0;
    s->bytes = -1;
    s->expected = 0;
    s->pendingFrame = 0;
    return;
  }
  ts_free_slot(ctx, pid);
}

void ts_release_slots_of_type(TsDemuxContext* ctx, int32_t type, int keepPat) {
  for (int32_t pid = 0; pid < TS_PID_COUNT; ++pid) {
    PidSlot* s = ctx->pids[pid];
    if (s == NULL || s->type != type) continue;
    if (keepPat && pid == 0) continue;
    ts_release_slot(ctx, pid);
  }
}

int32_t CountSyncHits(const uint8_t* bytes, int32_t length, int32_t stride) {
  if (bytes == NULL || length < 4 || stride <= 0 || stride > 208) return 0;
  int32_t counts[208];
  memset(counts, 0, sizeof(counts));
  int32_t best = 0;
  int32_t phase = 0;
  for (int32_t i = 0; i <= length - 4; ++i) {
    if (bytes[i] == 0x47 && !(bytes[i + 1] & 0x80) && (bytes[i + 3] & 0x30)) {
      if (++counts[phase] > best) best = counts[phase];
    }
    if (++phase == stride) phase = 0;
  }
  return best;
}

static int32_t handle_section(TsDemuxContext* ctx, PidSlot* s, const uint8_t* p, int32_t n,
                              int pusi, int continuous) {
  if (!pusi) {
    if (!continuous) return TSR_SKIP;
    return GatherSection(ctx, s, p, n, 0);
  }
  if (n < 1) return TSR_SKIP;
  int32_t ptr = p[0];
  if (1 + ptr >= n) {
    if (!continuous) return TSR_SKIP;
    return GatherSection(ctx, s, p + 1, n - 1, 0);
  }
  int32_t r1 = 0;
  if (ptr != 0 && continuous && !s->complete) r1 = GatherSection(ctx, s, p + 1, ptr, 0);
  int32_t r2 = GatherSection(ctx, s, p + 1 + ptr, n - 1 - ptr, 1);
  return r1 > r2 ? r1 : r2;
}

int32_t HandlePacket(TsDemuxContext* ctx, const uint8_t* pkt, uint32_t mask) {
  const uint8_t* h = pkt + ctx->prefixLen;
  int pusi = (h[1] >> 6) & 1;
  int priority = (h[1] >> 5) & 1;
  int32_t pid = ((h[1] & 0x1F) << 8) | h[2];
  int scrambling = (h[3] >> 6) & 3;
  int afc = (h[3] >> 4) & 3;
  int cc = h[3] & 15;

  PidSlot* s = ctx->pids[pid];
  if (s == NULL || !s->active) return TSR_SKIP;
  s->seen = 1;

  const uint8_t* end = h + 188;
  const uint8_t* payload = h + 4;
  if (afc & 2) payload += 1 + h[4];
  if (payload > end) {
    ctx->currentPid = pid;
    ts_error(ctx, -1014, 1067);
    return TSR_FAIL;
  }
  if (!(afc & 1)) return TSR_SKIP;
  if (scrambling != 0) {
    ctx->currentPid = pid;
    ts_error(ctx, -3005, 1079);
    return TSR_FAIL;
  }
  int continuous = 1;
  s->prevCc = s->lastCc;
  if (s->lastCc >= 0 && cc != ((s->lastCc + 1) & 15)) {
    s->discontinuity = 1;
    continuous = 0;
  }
  s->lastCc = cc;
  int32_t n = (int32_t)(end - payload);

  if (s->type == 1) {
    if ((mask & 0x1) && ts_reader_pos(ctx) >= ctx->sectionPos)
      return handle_section(ctx, s, payload, n, pusi, continuous);
    return TSR_SKIP;
  }
  if (s->type == 2) {
    int32_t view = ts_view_rule(ctx, s);
    if (view == TSR_OTHER_VIEW || view == TSR_OTHER) {
      /* the packet belongs to the other reader, which still has to read it */
      s->lastCc = s->prevCc;
      if (view == TSR_OTHER_VIEW || (mask & 0x2)) return view;
    }
    if (mask & 0x2) {
      if (view == 0 && ctx->wantedPid >= 0 && pid != ctx->wantedPid) return TSR_OTHER;
      if (s->flags & (SF_PRIORITY1 | SF_PRIORITY0)) {
        uint32_t need = priority ? SF_PRIORITY1 : SF_PRIORITY0;
        if (!(s->flags & need)) return TSR_INCOMPLETE;
      }
      return ts_pes_packet(ctx, s, payload, n, pusi, priority);
    }
    if (mask & 0x10) {
      if (s->kind == TSD_KIND_GRAPHICS || s->kind == TSD_KIND_TEXT) return TSR_OTHER;
      return TSR_SEARCH;
    }
  }
  return TSR_SKIP;
}

int32_t PumpPackets(TsDemuxContext* ctx, uint32_t mask, uint32_t limit) {
  const uint32_t ps = (uint32_t)ctx->packetSize;
  uint64_t consumed = 0;
  uint32_t resync = 0;
  for (;;) {
    const uint8_t* p = NULL;
    int32_t got = __TS_DMX__fioShowBytesByPtr(&p, ps, ctx->reader);
    if (got < (int32_t)ps) {
      if (!(ctx->openFlags & TSD_OPEN_GROWING) && got > 0)
        __TS_DMX__fioSkipBytes((uint32_t)got, ctx->reader);
      return TSR_EOF;
    }
    if (p[ctx->prefixLen] != 0x47 || (p[ctx->prefixLen + 1] & 0x80)) {
      __TS_DMX__fioSkipBytes(1, ctx->reader);
      consumed++;
      if (++resync > 0x80001) {
        if (ctx->openFlags & TSD_OPEN_GROWING) {
          resync = 0;
        } else if (ts_reader_pos(ctx) > ctx->dataEnd) {
          return TSR_EOF;
        }
      }
      if (limit && consumed > limit) return TSR_LIMIT;
      continue;
    }
    ctx->packetCounter++;
    ctx->consumeOnError = 0;
    int64_t at = ts_reader_pos(ctx);
    int32_t r = HandlePacket(ctx, p, mask);
    if (r == TSR_FAIL) {
      int32_t e = ctx->lastError;
      if (e <= -1000 && e >= -1999) {
        __TS_DMX__fioSkipBytes(1, ctx->reader);
        consumed++;
      } else if (e == -3005) {
        __TS_DMX__fioSkipBytes(ps, ctx->reader);
        consumed += ps;
      } else {
        if (ctx->consumeOnError) __TS_DMX__fioSkipBytes(ps, ctx->reader);
        return TSR_FAIL;
      }
    } else if (TSR_IS_REREAD(r)) {
      return r >> 8;
    } else if (r == TSR_OTHER_VIEW) {
      int32_t v = ts_other_view(ctx);
      if (v != TSR_SKIP) return v;
      consumed += ps;
    } else {
      __TS_DMX__fioSkipBytes(ps, ctx->reader);
      consumed += ps;
      switch (r) {
        case TSR_SKIP:
        case TSR_OTHER:
        case TSR_INCOMPLETE:
          break;
        case TSR_PMT:
        case TSR_ALL_PMT:
          ctx->psiState |= ctx->videoFamily;
          ts_note_view_pmt(ctx, at);
          if (ctx->readState == TS_STATE_READING && ctx->currentProgram &&
              (ctx->currentProgram->state & 0x2))
            return TSR_CHANGED;
          return r;
        default:
          return r;
      }
    }
    if (limit && consumed > limit) return TSR_LIMIT;
  }
}
