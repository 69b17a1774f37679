/* The library entry KVR_TS_DMX, its error pair and the operations that are
 * not open, close or seek. */
#include <string.h>

#include "ts_internal.h"

KVR_EXPORT int32_t g_tsd_lLastError;
KVR_EXPORT int32_t g_tsd_lErrorLine;

KVR_DEFINE_FUNCTION_LIST(KVR_TS_DMX);

void ts_error(TsDemuxContext* ctx, int32_t code, int32_t line) {
  if (ctx) {
    ctx->lastError = code;
    ctx->errorLine = line;
  } else {
    g_tsd_lLastError = code;
    g_tsd_lErrorLine = line;
  }
}

/* Accessors for the header parsers. */
static int32_t g_fallbackPending[TSD_PENDING_COUNT];

const uint8_t* tsd_es_payload(void* context, int32_t* length) {
  TsDemuxContext* ctx = (TsDemuxContext*)context;
  const uint8_t* p = ctx ? ctx->esPayload : NULL;
  int32_t n = ctx ? ctx->esPayloadLen : 0;
  if (ctx && (p == NULL || n <= 0)) {
    /* Outside probing a host parses the frame it has just read. */
    p = ctx->frameData;
    n = ctx->frameLength;
  }
  if (p == NULL || n <= 0) {
    if (length) *length = 0;
    return NULL;
  }
  if (length) *length = n;
  return p;
}

void ts_forget_frame(TsDemuxContext* ctx, const uint8_t* buffer) {
  if (buffer && ctx->frameData == buffer) {
    ctx->frameData = NULL;
    ctx->frameLength = 0;
  }
}

void tsd_es_set_error(void* context, int32_t code, int32_t line) {
  ts_error((TsDemuxContext*)context, code, line);
}

int32_t* tsd_es_pending_flags(void* context) {
  TsDemuxContext* ctx = (TsDemuxContext*)context;
  return ctx ? ctx->pendingFlags : g_fallbackPending;
}

/* Milliseconds of a frame of stream `st`, keeping the stream's last time. */
static int32_t frame_time(TsDemuxContext* ctx, ProgramStream* st, int64_t pts) {
  if (st == NULL) {
    if (pts == TS_PTS_NONE || ctx->startTime < 0) return 0;
    return (int32_t)(((pts - ctx->startTime) & TS_PTS_MASK) / 90);
  }
  int32_t prev = st->lastTimeMs < 0 ? 0 : st->lastTimeMs;
  if (pts == TS_PTS_NONE) return prev;
  int64_t base = st->basePts != TS_PTS_NONE ? st->basePts : ctx->startTime;
  if (base < 0) {
    /* No start time known (host-supplied PSI): the first time stamp seen is 0. */
    ctx->startTime = pts;
    base = pts;
  }
  int64_t t = ((pts - base) & TS_PTS_MASK) / 90 + st->timeOffset;
  if (ctx->openFlags & TSD_OPEN_GROWING) {
    if (st->lastTimeMs >= 0 && ctx->jumpThreshold > 0 &&
        (t - st->lastTimeMs > ctx->jumpThreshold || st->lastTimeMs - t > ctx->jumpThreshold)) {
      /* A splice or wrap of the time stamps: carry on from the last time. */
      st->basePts = pts;
      st->timeOffset = st->lastTimeMs;
      t = st->lastTimeMs;
    }
  } else if (ctx->fileDurationMs > 0 && t > ctx->fileDurationMs) {
    return prev;
  }
  st->lastTimeMs = (int32_t)t;
  return (int32_t)t;
}

static uint32_t frame_kind_bits(TsDemuxContext* ctx) {
  ProgramStream* st = ctx->frameStream;
  uint32_t kind = 0;
  if (st && st->info) {
    kind = st->info->kind & KB_MASK;
  } else {
    PidSlot* s = ctx->pids[ctx->framePid & 0x1FFF];
    if (s) kind = (uint32_t)s->kind;
  }
  return kind;
}

/* Pulls the next frame; returns the frame code (0x100 group) or 0. */
static int32_t pull_frame(TsDemuxContext* ctx) {
  /* A frame that waited for a large enough caller buffer goes first. */
  for (int i = 0; i < K_COUNT; ++i) {
    ProgramStream* st = ctx->selected[i];
    PidSlot* s = st ? ctx->pids[st->pid] : NULL;
    if (s && s->pendingFrame && (ctx->wantedPid < 0 || ctx->wantedPid == s->pid)) {
      int32_t r = DeliverFrame(ctx, s);
      if (TSR_IS_REREAD(r)) r >>= 8;
      if (TSR_IS_FRAME(r)) return r;
      if (r == TSR_FAIL) return 0;
    }
  }
  int budgets = 0;
  int retries = 0;
  for (;;) {
    if (!(ctx->openFlags & TSD_OPEN_GROWING) && ctx->dataEnd > 0 &&
        ts_reader_pos(ctx) > ctx->dataEnd)
      return TS_FAIL(ctx, -10009);
    /* two-view reading always goes through the pump */
    int loop = (ctx->openFlags & TSD_OPEN_PACKET_LOOP) && !(ctx->auxReader && ctx->twoView);
    int32_t r = loop ? RunPacketLoop(ctx, 3, 0x100000) : PumpPackets(ctx, 3, 0x100000);
    if (TSR_IS_FRAME(r)) return r;
    if (r == TSR_EOF) {
      if (ctx->openFlags & TSD_OPEN_GROWING) return TS_FAIL(ctx, -10009);
      r = ts_flush_gathered(ctx);
      if (TSR_IS_FRAME(r)) return r;
      if (r == TSR_FAIL && ctx->lastError == -4014) return 0;
      return TS_FAIL(ctx, -10009);
    }
    if (r == TSR_CHANGED) return TS_FAIL(ctx, -10010);
    if (r == TSR_FAIL && ctx->lastError == -4014) return 0;
    if (r == TSR_LIMIT) {
      if (++budgets > 400) return TS_FAIL(ctx, -1000);
      continue;
    }
    /* Refused deliveries, tables, dropped frames and other errors: read on,
     * but never forever on a failure that consumes nothing. */
    if (++retries > 0x10000) return TS_FAIL(ctx, -1000);
  }
}

static int32_t prepare_read(TsDemuxContext* ctx, int32_t kind, int* idxOut) {
  if (ctx->infoOnly) return TS_FAIL(ctx, -4032);
  if (ctx->sourceMode == 1) return TS_FAIL(ctx, -4005);
  if (ctx->sourceMode != 2) return -1;
  ctx->readState = TS_STATE_READING;
  if (ctx->openFlags & TSD_OPEN_SEPARATE_READERS) {
    int idx = ts_kind_index(kind);
    if (idx < 0) return TS_FAIL(ctx, -4013);
    if (ctx->selected[idx] == NULL) return TS_FAIL(ctx, -4007 - idx);
    ctx->reader = ctx->kindReader[idx];
    ctx->wantedPid = ctx->selected[idx]->pid;
    *idxOut = idx;
  } else {
    ctx->reader = ctx->mainReader;
    ctx->wantedPid = -1;
    *idxOut = -1;
  }
  return 1;
}

static int32_t op_read(TsDemuxContext* ctx, const TsdReadInput* in, TsdFrame* out) {
  int idx;
  int32_t ok = prepare_read(ctx, in ? in->kind : 0, &idx);
  if (ok <= 0) return 0;
  ctx->curBuf = NULL;
  ctx->curBufSize = 0;
  if ((ctx->openFlags & TSD_OPEN_CALLER_BUFFERS) && in) {
    ctx->curBuf = in->buffer;
    ctx->curBufSize = in->bufferSize;
  }
  int roles = idx < 0 && ctx->auxReader != NULL;
  if (roles) {
    /* a base-view picture and its dependent-view picture alternate */
    if (ctx->twoView && (ctx->readerRole == 0x11 || ctx->readerRole == 2)) {
      ctx->readerRole = 2;
      ctx->reader = ctx->auxReader;
    } else {
      ctx->readerRole = 1;
      ctx->reader = ctx->mainReader;
    }
  }
  int32_t r = pull_frame(ctx);
  if (!TSR_IS_FRAME(r)) {
    if (ctx->lastError == -4014 && out) {
      out->kind = 0;
      out->length = 0;
      out->data = NULL;
      out->timeMs = 0;
      out->priority = 0;
      out->discontinuity = 0;
      out->neededSize = ctx->requiredSize;
    }
    return 0;
  }
  ProgramStream* st = ctx->frameStream;
  if (st) st->frameCounter++;
  int32_t t = frame_time(ctx, st, ctx->framePts);
  if (out) {
    out->pid = ctx->framePid;
    out->kind = (ctx->discontinuitySeen && !ctx->hostPsi) ? 0 : frame_kind_bits(ctx);
    out->length = ctx->frameLength;
    out->data = ctx->frameData;
    out->timeMs = t;
    out->priority = ctx->framePriority;
    out->discontinuity = ctx->discontinuitySeen;
  }
  ctx->discontinuitySeen = 0;
  if (roles && r == 0x100 && st && st->info) {
    if (ctx->readerRole == 1 && (st->info->kind & KB_AVC) && st->dependent && ctx->twoView) {
      ctx->readerRole = 0x11;
      if (out) out->priority = 1;
    } else if (ctx->readerRole == 2 && (st->info->kind & KB_DEPENDENT)) {
      ctx->readerRole = 0x12;
      if (out) out->priority = 0;
    }
  }
  return 1;
}

static int32_t op_read2(TsDemuxContext* ctx, const TsdRead2Input* in, TsdFrame2* out) {
  int idx;
  int32_t ok = prepare_read(ctx, in ? in->kind : 0, &idx);
  if (ok <= 0) return 0;
  ctx->curBuf = NULL;
  ctx->curBufSize = 0;
  int32_t r = ReadFrameSecondLayout(ctx);
  if (!TSR_IS_FRAME(r)) return 0;
  ProgramStream* st = ctx->frameStream;
  if (st) st->frameCounter++;
  int32_t t = frame_time(ctx, st, ctx->framePts);
  if (out) {
    out->kind = frame_kind_bits(ctx);
    out->length = ctx->frameLength;
    out->data = ctx->frameData;
    out->timeMs = t;
    out->priority = ctx->framePriority;
    out->discontinuity = ctx->discontinuitySeen;
    out->switchedKinds = 0;
  }
  ctx->discontinuitySeen = 0;
  int k = ts_kind_index((int32_t)frame_kind_bits(ctx));
  if ((ctx->openFlags & TSD_OPEN_CALLER_BUFFERS) && in && k >= 0 && in->next[k]) {
    ctx->callerBuf[k] = in->next[k];
    PidSlot* s = ctx->pids[ctx->framePid & 0x1FFF];
    if (s) {
      s->frameBuf = in->next[k];
      s->partialCount = 0;
    }
    if (out) out->switchedKinds = 1u << k;
  }
  return 1;
}

static int32_t op_select(TsDemuxContext* ctx, TsdSelectInput* in, TsdSelectOutput* out) {
  if (ctx->infoOnly) return TS_FAIL(ctx, -4032);
  if (in == NULL) return TS_FAIL(ctx, -4016);
  uint32_t req = in->request;
  ProgramEntry* prog = ctx->currentProgram;
  if (req & 0x10000000) {
    prog = ts_find_program(ctx, in->programNumber);
    if (prog == NULL || !(prog->state & 0x1)) return TS_FAIL(ctx, -4016);
  }
  if (prog == NULL) return TS_FAIL(ctx, -4016);
  if (prog != ctx->currentProgram) {
    for (int i = 0; i < K_COUNT; ++i) {
      ProgramStream* st = ctx->selected[i];
      if (st == NULL) continue;
      ts_release_slot(ctx, st->pid);
      if (st->dependent) ts_release_slot(ctx, st->dependent->pid);
      ctx->selected[i] = NULL;
    }
    ctx->frameStream = NULL;
  }
  if (req & 0x10000000) ctx->startTime = -1;
  ProgramStream* chosen[K_COUNT];
  uint32_t newKinds = 0;
  for (int i = 0; i < K_COUNT; ++i) {
    uint32_t change = 1u << i, deselect = 0x100u << i;
    int32_t kind = ts_kind_of_index(i);
    int32_t want = in->pid[i];
    ProgramStream* found = NULL;
    int any = 0;
    for (ProgramStream* st = prog->first; st; st = st->next) {
      if (!st->info || !((st->info->kind & KB_MASK) & (uint32_t)kind)) continue;
      any = 1;
      int passOver = want == 0 && i == K_VIDEO && ctx->auxReader && (st->info->kind & KB_DEPENDENT);
      if (found == NULL && !passOver && (want == 0 || st->pid == want)) found = st;
    }
    if ((req & change) && !any) req &= ~change;
    if ((req & change) && ctx->selected[i] && want != 0 && ctx->selected[i]->pid == want)
      req &= ~change;
    chosen[i] = ctx->selected[i];
    if (req & deselect) {
      chosen[i] = NULL;
    } else if (req & change) {
      if (found == NULL) {
        in->request = req;
        return TS_FAIL(ctx, -4020 - i);
      }
      chosen[i] = found;
      newKinds |= change;
    }
    ctx->callerBuf[i] = in->buffer[i];
  }
  in->request = req;
  prog->hostValue = in->programValue;
  ctx->currentProgram = prog;
  if (!SelectStreams(ctx, prog, chosen)) return 0;
  if (out) {
    FillSelectionInfo(ctx, &out->selection);
    out->newKinds = (ctx->openFlags & (TSD_OPEN_CALLER_BUFFERS | TSD_OPEN_PRESETS)) ==
                            (TSD_OPEN_CALLER_BUFFERS | TSD_OPEN_PRESETS)
                        ? newKinds
                        : 0;
  }
  return 1;
}

static int32_t op_program_list(TsDemuxContext* ctx, TsdProgramListOutput* out) {
  if (ctx->listCount == 0 || ctx->list == NULL) return TS_FAIL(ctx, -1010);
  if (!BuildProgramList(ctx) || ctx->listCount == 0) return TS_FAIL(ctx, -1010);
  if (out) {
    out->count = ctx->listCount;
    out->entries = ctx->list;
  }
  return 1;
}

static int32_t op_set_buffers(TsDemuxContext* ctx, const TsdBufferInput* bin) {
  if (ctx->infoOnly) return TS_FAIL(ctx, -4032);
  if (!(ctx->openFlags & TSD_OPEN_PRESETS)) return TS_FAIL(ctx, -4031);
  if (bin == NULL) return TS_FAIL(ctx, -4031);
  for (int i = 0; i < K_COUNT; ++i) {
    int32_t v = bin->presetSize[i];
    ctx->presets[i] = v <= 0 ? 0 : (v < 512 ? 512 : (v > (i == K_VIDEO ? 1048576 : 65536) ? (i == K_VIDEO ? 1048576 : 65536) : v));
    if (ctx->openFlags & TSD_OPEN_CALLER_BUFFERS) ctx->callerBuf[i] = bin->buffer[i];
  }
  for (int i = 0; i < K_COUNT; ++i) {
    ProgramStream* st = ctx->selected[i];
    PidSlot* s = st ? ctx->pids[st->pid] : NULL;
    if (s == NULL || s->type != 2) continue;
    if (ctx->openFlags & TSD_OPEN_CALLER_BUFFERS) {
      s->frameBuf = ctx->callerBuf[i];
      if (s->frameBuf) {
        s->partialCount = 0;
        s->presetSize = ctx->presets[i];
      } else {
        s->presetSize = 0;
      }
    } else if (s->capacity != ctx->presets[i]) {
      if (ctx->presets[i] == 0) {
        s->frameBuf = NULL;
        s->presetSize = 0;
      } else {
        uint8_t* nb = (uint8_t*)ts_malloc((size_t)ctx->presets[i]);
        if (nb == NULL) return TS_FAIL(ctx, -3);
        ts_forget_frame(ctx, s->buffer);
        ts_free(s->buffer);
        s->buffer = nb;
        s->capacity = ctx->presets[i];
        s->presetSize = ctx->presets[i];
        s->frameBuf = nb;
        s->partialCount = 0;
        s->bytes = -1;
        s->expected = 0;
        s->pendingFrame = 0;
      }
    }
  }
  return 1;
}

static int32_t op_set_priority(TsDemuxContext* ctx, const int32_t* words) {
  uint32_t bits = words ? (uint32_t)words[0] & (SF_PRIORITY1 | SF_PRIORITY0) : 0;
  ctx->openFlags = (ctx->openFlags & ~(uint32_t)(SF_PRIORITY1 | SF_PRIORITY0)) | bits;
  ProgramStream* a = ctx->selected[K_AUDIO];
  PidSlot* s = a ? ctx->pids[a->pid] : NULL;
  if (s && a->info && a->info->audio.subKind >= 3 && a->info->audio.subKind <= 8) {
    s->flags &= ~(uint32_t)(SF_PRIORITY1 | SF_PRIORITY0);
    s->flags |= bits;
  }
  return 1;
}

KVR_EXPORT int32_t KVR_TS_DMX(int32_t op, void* handle, void* in, void* out) {
  TsDemuxContext* ctx = (TsDemuxContext*)handle;
  switch (op) {
    case TSD_OP_OPEN:
    case TSD_OP_OPEN_INFO:
      return OpenDemuxer((const TsdOpenRecord*)in, (TsdOpenOutput*)out, op == TSD_OP_OPEN_INFO);
    case TSD_OP_LAST_ERROR:
      return ctx ? ctx->lastError : g_tsd_lLastError;
    default:
      break;
  }
  int known = op == 3 || op == 4 || op == 10 || op == 11 || op == 12 || (op >= 20 && op <= 23) ||
              op == 100 || op == 101;
  if (!known) {
    ts_error(ctx, -4012, __LINE__);
    return 0;
  }
  if (ctx == NULL) {
    /* No handle to keep the error in: the exported pair gets it. */
    ts_error(NULL, -4026, __LINE__);
    return 0;
  }
  ctx->lastError = 0;
  ctx->errorLine = 0;
  switch (op) {
    case TSD_OP_CLOSE: return CloseDemuxer(ctx);
    case TSD_OP_SELECT: return op_select(ctx, (TsdSelectInput*)in, (TsdSelectOutput*)out);
    case TSD_OP_READ: return op_read(ctx, (const TsdReadInput*)in, (TsdFrame*)out);
    case TSD_OP_READ2: return op_read2(ctx, (const TsdRead2Input*)in, (TsdFrame2*)out);
    case TSD_OP_SEEK: {
      const TsdSeekInput* si = (const TsdSeekInput*)in;
      uint32_t flags = (si && !(ctx->openFlags & TSD_OPEN_NO_SEEK_FLAGS)) ? si->flags : 0;
      TsdSeekOutput* so = (TsdSeekOutput*)out;
      if (so && si && !(ctx->openFlags & TSD_OPEN_NO_SEEK_FLAGS)) so->flags = si->flags;
      return SeekStreams(ctx, si, so, flags);
    }
    case TSD_OP_PROGRAM_LIST: return op_program_list(ctx, (TsdProgramListOutput*)out);
    case TSD_OP_SET_BUFFERS: return op_set_buffers(ctx, (const TsdBufferInput*)in);
    case TSD_OP_SET_PRIORITY: return op_set_priority(ctx, (const int32_t*)in);
    default:
      ts_error(ctx, -4005, __LINE__);
      return 0;
  }
}
