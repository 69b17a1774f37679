/* Open and close of a transport-stream handle, packet-size detection and the
 * host hint records. */
#include <string.h>

#include "ts_internal.h"

#define DETECT_BYTES 102400
#define MAX_HINTS 64

static int32_t clamp_preset(int32_t v, int video) {
  if (v <= 0) return 0;
  int32_t hi = video ? 1048576 : 65536;
  if (v < 512) return 512;
  return v > hi ? hi : v;
}

static int32_t detect_packet_size(TsDemuxContext* ctx) {
  uint8_t* buf = (uint8_t*)ts_malloc(DETECT_BYTES);
  if (buf == NULL) {
    ts_error(ctx, -9, __LINE__);
    return 0;
  }
  __TS_DMX__fioSeek64(ctx->mainReader, 0, KVR_SEEK_SET);
  int32_t n = (int32_t)__TS_DMX__fioRead(buf, 1, DETECT_BYTES, ctx->mainReader);
  int32_t q = n / 1920;
  int32_t best = 0, size = 0;
  if (q >= 10) {
    __TS_DMX__fioSeek64(ctx->mainReader, 0, KVR_SEEK_SET);
    static const int32_t strides[4] = {188, 192, 204, 208};
    for (int i = 0; i < 4; ++i) {
      int32_t c = CountSyncHits(buf, n, strides[i]);
      if (c > best) {
        best = c;
        size = strides[i];
      }
    }
    if (best < q) size = 0;
  }
  ts_free(buf);
  return size;
}

static int set_packet_type(TsDemuxContext* ctx, int32_t type) {
  switch (type) {
    case 1: ctx->packetSize = 188; ctx->prefixLen = 0; ctx->trailerLen = 0; break;
    case 2: ctx->packetSize = 192; ctx->prefixLen = 4; ctx->trailerLen = 0; break;
    case 4: ctx->packetSize = 204; ctx->prefixLen = 0; ctx->trailerLen = 16; break;
    case 5: ctx->packetSize = 208; ctx->prefixLen = 0; ctx->trailerLen = 20; break;
    default: return 0;
  }
  ctx->packetType = type;
  return 1;
}

static int32_t apply_stream_hint(TsDemuxContext* ctx, const TsdHint* h) {
  if (h->pid < 0 || h->pid >= TS_PID_COUNT) return 1;
  ProgramEntry* prog = ts_find_program(ctx, h->programNumber);
  if (prog == NULL) {
    prog = ts_new_program(ctx, h->programNumber, 0);
    if (prog == NULL) return TS_FAIL(ctx, -2);
    prog->state |= 0x1;
    ctx->programCount++;
    ctx->acceptedCount++;
  }
  ProgramStream* st = AddProgramStream(ctx, prog, h->pid);
  if (st == NULL) return TS_FAIL(ctx, -12);
  uint32_t codec = ((uint32_t)(h->family & 0xFFFF) << 16) | (uint32_t)(h->streamType & 0xFFFF);
  StreamInfo tmp;
  memset(&tmp, 0, sizeof(tmp));
  ts_describe_stream(&tmp, codec);
  if (tmp.kind == 0) {
    codec = 0xFFFF0000u | (codec & 0xFFFF);
    ts_describe_stream(&tmp, codec);
  }
  st->info->codec = codec;
  ts_describe_stream(st->info, codec);
  if (h->format) {
    if (st->info->kind & TSD_KIND_VIDEO) st->info->video.codecTag = (uint32_t)h->format;
    else if (st->info->kind & TSD_KIND_AUDIO) st->info->audio.formatTag = (uint32_t)h->format;
  }
  prog->kinds |= st->info->kind & KB_MASK;
  ctx->hostPsi = 1;
  return 1;
}

static int32_t apply_hints(TsDemuxContext* ctx, const TsdHint* h) {
  for (int n = 0; h && n < MAX_HINTS; ++n, h = h->next) {
    if (h->kind == 3) {
      if (h->size >= (int32_t)sizeof(TsdHint) && !apply_stream_hint(ctx, h)) return 0;
    } else if (h->kind >= 0 && h->kind <= 5) {
      int32_t size = h->size;
      if (size < (int32_t)(3 * sizeof(int32_t)) || size > 4096) continue;
      void* copy = ts_malloc((size_t)size);
      if (copy == NULL) return TS_FAIL(ctx, -8);
      memcpy(copy, h, (size_t)size);
      ts_free(ctx->hints[h->kind]);
      ctx->hints[h->kind] = copy;
    }
  }
  if (ctx->hints[1] && ctx->hints[2]) {
    ts_free(ctx->hints[1]);
    ctx->hints[1] = NULL;
  }
  return 1;
}

static FioHandle* open_reader(TsDemuxContext* ctx, const char* path) {
  uint32_t flags = (ctx->openFlags & TSD_OPEN_SMALL_CACHE) ? 0x210 : 0x1210;
  return __TS_DMX__fioOpen(path, flags, (uint32_t)ctx->cacheSize, 512);
}

static int declares_two_views(TsDemuxContext* ctx) {
  for (ProgramEntry* p = ctx->programs; p; p = p->next)
    for (ProgramStream* st = p->first; st; st = st->next)
      if (st->info && (st->info->kind & TSD_KIND_VIDEO) && (st->info->kind & KB_DEPENDENT)) return 1;
  return 0;
}

static void collect_under_role(TsDemuxContext* ctx, int32_t role) {
  ctx->readerRole = role;
  CollectPsi(ctx, 0);
  ctx->readerRole = 0;
  ctx->lastError = 0;
  ctx->errorLine = 0;
}

/* A program that declares a dependent view gets a second reader for it. Each
 * reader collects the tables under its own role: the dependent view's under
 * role 2, the base view's under role 1. Returns 0 only when the second reader
 * cannot be opened. */
static int32_t open_two_views(TsDemuxContext* ctx, const char* path) {
  if (!declares_two_views(ctx)) return 1;
  collect_under_role(ctx, 2);
  if (!(ctx->pmtSeen & 0x2)) return 1;
  for (int i = 0; i < 15 && ctx->pmtSeen != 3; ++i) collect_under_role(ctx, 1);
  if (ctx->pmtSeen != 3) return 1;
  if ((ctx->openFlags & TSD_OPEN_BLOCK_MAP) && !(ctx->openFlags & TSD_OPEN_GROWING)) {
    BuildBlockMap(ctx);
    ctx->lastError = 0;
    ctx->errorLine = 0;
  } else {
    ctx->viewPos[0] = ctx->viewPos[1] = -1;
  }
  for (int i = 0; i < 15 && (ctx->viewPos[0] < 0 || ctx->viewPos[1] < 0); ++i)
    collect_under_role(ctx, ctx->viewPos[0] < 0 ? 1 : 2);
  for (int v = 0; v < 2; ++v)
    if (ctx->viewPos[v] < 0) ctx->viewPos[v] = 0;
  ctx->auxReader = open_reader(ctx, path);
  if (ctx->auxReader == NULL) return 0;
  ctx->openFlags &= ~(uint32_t)TSD_OPEN_DROP_DISCONTINUOUS;
  return 1;
}

static int same_format(const StreamInfo* a, const StreamInfo* b) {
  return a->video.width == b->video.width && a->video.height == b->video.height &&
         a->video.interlaced == b->video.interlaced && a->video.reserved == b->video.reserved;
}

/* Pairs each base view with a dependent view of the same picture format.
 * Returns the number of pairs. */
static int pair_views(TsDemuxContext* ctx) {
  int pairs = 0;
  for (ProgramEntry* p = ctx->programs; p; p = p->next)
    for (ProgramStream* a = p->first; a; a = a->next) {
      if (a->dependent || !a->info || !(a->info->kind & KB_AVC)) continue;
      for (ProgramStream* b = p->first; b; b = b->next) {
        if (b == a || b->dependent || !b->info || !(b->info->kind & KB_DEPENDENT)) continue;
        if (!same_format(a->info, b->info)) continue;
        a->dependent = b;
        b->dependent = a;
        pairs++;
        break;
      }
    }
  return pairs;
}

static int32_t pick_default_program(TsDemuxContext* ctx) {
  ProgramEntry* found = NULL;
  static const uint32_t want[3] = {3, 1, 2};
  for (int w = 0; w < 3 && !found; ++w)
    for (ProgramEntry* p = ctx->programs; p; p = p->next)
      if ((p->state & 0x1) && (p->kinds & 0xF) == want[w]) {
        found = p;
        break;
      }
  /* Programs with subtitles or data beside video or audio still qualify. */
  for (int w = 0; w < 3 && !found; ++w)
    for (ProgramEntry* p = ctx->programs; p; p = p->next)
      if ((p->state & 0x1) && (p->kinds & 0x3) == want[w]) {
        found = p;
        break;
      }
  if (found == NULL) return TS_FAIL(ctx, -1010);
  found->hostValue = 0;
  ChooseDefaultStreams(ctx, found);
  return 1;
}

int32_t OpenDemuxer(const TsdOpenRecord* rec, TsdOpenOutput* out, int32_t infoOnly) {
  if (rec == NULL || out == NULL) {
    ts_error(NULL, -15, __LINE__);
    return 0;
  }
  if (rec->host.malloc_fn == NULL || rec->host.free_fn == NULL) {
    ts_error(NULL, -8, __LINE__);
    return 0;
  }
  g_tsMem.malloc = rec->host.malloc_fn;
  g_tsMem.free = rec->host.free_fn;
  g_tsMem.reserved = rec->host.reserved;
  g_tsMem.memcpy = rec->host.memcpy_fn;
  g_tsMem.memset = rec->host.memset_fn;
  g_tsMem.realloc = rec->host.realloc_fn;

  TsDemuxContext* ctx = (TsDemuxContext*)ts_calloc(sizeof(TsDemuxContext));
  out->handle = ctx;
  if (ctx == NULL) {
    ts_error(NULL, -8, __LINE__);
    return 0;
  }
  ctx->sourceMode = rec->sourceMode;
  ctx->openFlags = rec->openFlags;
  if (infoOnly) ctx->openFlags &= ~(uint32_t)TSD_OPEN_SEPARATE_READERS;
  ctx->readUnit = rec->readUnit;
  ctx->infoOnly = infoOnly;
  ctx->psiFamily = 1;
  ctx->wantedPid = -1;
  ctx->startTime = -1;
  ctx->framePts = TS_PTS_NONE;
  ctx->cacheSize = rec->cacheSize == 0 ? 262144 : (rec->cacheSize < 512 ? 512 : rec->cacheSize);
  int32_t code = 0;
  int32_t line = 0;

  if (!infoOnly && (ctx->openFlags & TSD_OPEN_PRESETS)) {
    for (int i = 0; i < K_COUNT; ++i) {
      ctx->presets[i] = clamp_preset(rec->presetSize[i], i == K_VIDEO);
      if (ctx->openFlags & TSD_OPEN_CALLER_BUFFERS) ctx->callerBuf[i] = rec->callerBuffer[i];
    }
  }
  if (ctx->sourceMode == 1) {
    code = -4030;
    line = __LINE__;
    goto fail;
  }
  if (ctx->sourceMode != 2) return 1;
  if ((ctx->openFlags & 0x2000000) && !(ctx->openFlags & TSD_OPEN_GROWING)) {
    code = -4034;
    line = __LINE__;
    goto fail;
  }
  {
    void* table[17] = {(void*)rec->host.malloc_fn, (void*)rec->host.realloc_fn,
                       (void*)rec->host.free_fn, rec->host.reserved,
                       (void*)rec->host.memcpy_fn, (void*)rec->host.memmove_fn,
                       (void*)rec->host.memset_fn, (void*)rec->host.fopen_fn,
                       (void*)rec->host.fclose_fn, (void*)rec->host.fread_fn,
                       (void*)rec->host.fwrite_fn, (void*)rec->host.fseek_fn,
                       (void*)rec->host.ftell_fn, (void*)rec->host.feof_fn,
                       (void*)rec->host.fflush_fn, (void*)rec->host.fseek64_fn,
                       (void*)rec->host.ftell64_fn};
    __TS_DMX__fioSetFunc(table);
  }
  if (!apply_hints(ctx, (const TsdHint*)rec->hints)) goto fail_recorded;

  ctx->mainReader = open_reader(ctx, rec->path);
  if (ctx->mainReader == NULL) {
    code = -15;
    line = __LINE__;
    goto fail;
  }
  for (int i = 0; i < K_COUNT; ++i) ctx->kindReader[i] = ctx->mainReader;
  if (ctx->openFlags & TSD_OPEN_SEPARATE_READERS) {
    for (int i = 1; i < K_COUNT; ++i) {
      ctx->kindReader[i] = open_reader(ctx, rec->path);
      if (ctx->kindReader[i] == NULL) {
        code = -16;
        line = __LINE__;
        goto fail;
      }
    }
  }
  ctx->reader = ctx->mainReader;

  {
    int32_t type = rec->packetType & 0xFF;
    if (type == 0) {
      int32_t size = detect_packet_size(ctx);
      type = size == 188 ? 1 : size == 192 ? 2 : size == 204 ? 4 : size == 208 ? 5 : 0;
    }
    if (!set_packet_type(ctx, type)) {
      code = -1007;
      line = __LINE__;
      goto fail;
    }
  }
  if (ctx->readUnit == 0) ctx->readUnit = 16 * ctx->packetSize;
  out->packetType = ctx->packetType;

  if (!RegisterSectionHandler(ctx, 0, 0, ParsePat)) goto fail_recorded;
  ctx->viewPos[0] = ctx->viewPos[1] = -1;

  if (ctx->hostPsi) {
    ctx->openFlags |= TSD_OPEN_GROWING;
    ctx->durationUnknown = 1;
  } else {
    int32_t ok = 0;
    if (!(rec->packetType & 0x100)) ok = CollectPsi(ctx, 0);
    if (!ok) {
      if (!ts_onesegment_fallback(ctx)) {
        code = -1008;
        line = __LINE__;
        goto fail;
      }
    }
  }
  if (!ctx->hostPsi && !open_two_views(ctx, rec->path)) {
    code = -15;
    line = __LINE__;
    goto fail;
  }
  if ((ctx->openFlags & TSD_OPEN_PACKET_LOOP) && rec->maxCollection > 0)
    ctx->maxCollection = rec->maxCollection;

  ts_release_slots_of_type(ctx, 2, 0);
  if (!ctx->hostPsi) {
    int32_t mode = (ctx->openFlags & TSD_OPEN_PROBE_MODE2) ? 2 : (infoOnly ? 1 : 3);
    if (!ProbeStreams(ctx, mode)) goto fail_recorded;
  }
  if (ctx->auxReader) {
    if (pair_views(ctx) > 0) {
      out->packetType = 0x10000;
    } else {
      __TS_DMX__fioClose(ctx->auxReader);
      ctx->auxReader = NULL;
    }
  }
  ts_release_slots_of_type(ctx, 2, 0);
  if (ctx->openFlags & 0x2000000) ts_release_slots_of_type(ctx, 1, 1);
  else if (!ctx->auxReader) ts_release_slots_of_type(ctx, 1, 0);

  if (!pick_default_program(ctx)) goto fail_recorded;
  if (!BuildProgramList(ctx)) {
    code = -1010;
    line = __LINE__;
    goto fail;
  }
  out->programCount = ctx->listCount;
  out->programList = ctx->list;
  out->timingKnown = (!ctx->hostPsi && !ctx->durationUnknown && ctx->bytesPerMs > 0) ? 1 : 0;
  FillSelectionInfo(ctx, &out->selection);

  {
    int64_t pos = 0;
    ProgramStream* v = ctx->selected[K_VIDEO];
    if ((ctx->openFlags & TSD_OPEN_START_AT_VIDEO) && v && v->info && v->info->firstPos > 0)
      pos = v->info->firstPos;
    if (ctx->auxReader) pos = ctx->viewPos[0];
    for (int i = 0; i < K_COUNT; ++i) {
      if (i > 0 && ctx->kindReader[i] == ctx->mainReader) continue;
      RepositionReader(ctx, ctx->kindReader[i], pos);
    }
    if (ctx->auxReader && ctx->twoView) RepositionReader(ctx, ctx->auxReader, ctx->viewPos[1]);
    ctx->reader = ctx->mainReader;
  }
  ctx->framePts = TS_PTS_NONE;
  ctx->framePid = 0;
  ctx->readState = TS_STATE_OPEN;
  ctx->lastError = 0;
  ctx->errorLine = 0;
  if (ctx->openFlags & TSD_OPEN_GROWING) {
    ctx->jumpThreshold = 5000;
    const TsdJumpHint* j = (const TsdJumpHint*)ctx->hints[5];
    if (j && j->size >= (int32_t)sizeof(TsdJumpHint)) {
      if (j->threshold90k != 0) ctx->jumpThreshold = (int32_t)(j->threshold90k / 90);
      else if (j->thresholdMs != 0) ctx->jumpThreshold = j->thresholdMs;
    }
  }
  return 1;

fail:
  ts_error(ctx, code, line);
fail_recorded:
  g_tsd_lLastError = ctx->lastError;
  g_tsd_lErrorLine = ctx->errorLine;
  CloseDemuxer(ctx);
  out->handle = NULL;
  return 0;
}

int32_t CloseDemuxer(TsDemuxContext* ctx) {
  if (ctx == NULL) return 1;
  FioHandle* closed[K_COUNT + 2];
  int nclosed = 0;
  FioHandle* all[K_COUNT + 2];
  all[0] = ctx->mainReader;
  for (int i = 0; i < K_COUNT; ++i) all[i + 1] = ctx->kindReader[i];
  all[K_COUNT + 1] = ctx->auxReader;
  for (int i = 0; i < K_COUNT + 2; ++i) {
    FioHandle* r = all[i];
    if (r == NULL) continue;
    int seen = 0;
    for (int k = 0; k < nclosed; ++k) seen |= closed[k] == r;
    if (seen) continue;
    closed[nclosed++] = r;
    __TS_DMX__fioClose(r);
  }
  for (int32_t pid = 0; pid < TS_PID_COUNT; ++pid) ts_free_slot(ctx, pid);
  ts_free_programs(ctx);
  ts_free_program_list(ctx);
  for (int i = 0; i < 6; ++i) ts_free(ctx->hints[i]);
  ts_free(ctx->blockMap);
  ts_free(ctx);
  return 1;
}
