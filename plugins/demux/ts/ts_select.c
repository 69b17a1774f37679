/* Stream selection, default streams and probing at open. */
#include <string.h>

#include "ts_internal.h"

#define MIB (1024 * 1024)

/* a is before b in the 33-bit circle of time stamps. */
/* Frame rate in thousandths from the time stamps of the first pictures: the
   shortest step between neighbours in display order is one picture, whatever
   the reordering (n pictures in decode order need not cover n - 1 steps).
   0 when every stamp is the same. */
static uint32_t rate_from_pts(int64_t* pts, int32_t n) {
  int64_t step = 0;
  for (int32_t i = 1; i < n; ++i) /* insertion sort: n is TS_RATE_PICTURES */
    for (int32_t j = i; j > 0 && pts[j] < pts[j - 1]; --j) {
      int64_t t = pts[j];
      pts[j] = pts[j - 1];
      pts[j - 1] = t;
    }
  for (int32_t i = 1; i < n; ++i) {
    int64_t d = pts[i] - pts[i - 1];
    if (d > 0 && (step == 0 || d < step)) step = d;
  }
  return step > 0 ? (uint32_t)(90000000 / step) : 0;
}

static int pts_before(int64_t a, int64_t b) {
  int64_t d = (b - a) & TS_PTS_MASK;
  return d != 0 && d < ((int64_t)1 << 32);
}

int32_t ChooseDefaultStreams(TsDemuxContext* ctx, ProgramEntry* prog) {
  if (prog == NULL) {
    ts_error(ctx, -4003, 6035);
    return 0;
  }
  static const uint32_t kinds[K_COUNT] = {TSD_KIND_VIDEO, TSD_KIND_AUDIO, TSD_KIND_GRAPHICS,
                                          TSD_KIND_TEXT, TSD_KIND_PRIVATE};
  ProgramStream* found[K_COUNT] = {NULL, NULL, NULL, NULL, NULL};
  int nfound = 0;
  for (ProgramStream* st = prog->first; st && nfound < K_COUNT; st = st->next) {
    if (!st->info) continue;
    uint32_t k = st->info->kind & KB_MASK;
    /* the dependent view comes with its base view through its own reader */
    if (ctx->auxReader && (st->info->kind & KB_DEPENDENT)) continue;
    for (int i = 0; i < K_COUNT; ++i) {
      if (!(k & kinds[i]) || found[i]) continue;
      /* Streams whose header probing could not read stay out of the default. */
      if (i <= K_AUDIO && (st->info->probeBits & PB_DROPPED)) continue;
      found[i] = st;
      nfound++;
    }
  }
  if (nfound == 0) return 0;
  ctx->currentProgram = prog;
  return SelectStreams(ctx, prog, found);
}

static void release_selected(TsDemuxContext* ctx, int i) {
  ProgramStream* old = ctx->selected[i];
  if (old == NULL) return;
  ts_release_slot(ctx, old->pid);
  if (old->dependent) ts_release_slot(ctx, old->dependent->pid);
  if (ctx->frameStream == old) ctx->frameStream = NULL;
  ctx->selected[i] = NULL;
}

int32_t SelectStreams(TsDemuxContext* ctx, ProgramEntry* prog, ProgramStream* s[K_COUNT]) {
  int32_t videoMs = 0, audioMs = 0;
  for (int i = 0; i < K_COUNT; ++i) {
    ProgramStream* st = s[i];
    if (st == NULL) {
      release_selected(ctx, i);
      continue;
    }
    if (ctx->selected[i] && ctx->selected[i] != st) {
      release_selected(ctx, i);
      st->lastTimeMs = -1;
    }
    if (!st->info || !((st->info->kind & KB_MASK) & (uint32_t)ts_kind_of_index(i))) {
      ctx->selected[i] = NULL;
      static const int32_t lines[K_COUNT] = {5735, 5770, 5806, 5838, 5862};
      ts_error(ctx, -10004 - i, lines[i]);
      return 0;
    }
    StreamInfo* si = st->info;
    int ok;
    if (i == K_VIDEO) {
      ok = RegisterStreamSlot(ctx, st->pid, si->codec, (si->kind & KB_DEPENDENT) != 0, 0, 0, 0);
      videoMs = si->durationMs;
      if (ok) {
        TsdKeyFrameChecker checker = NULL;
        if (!TSD_GetKeyFrameChecker(ctx, si->codec, &checker)) {
          ts_release_slot(ctx, st->pid);
          return 0;
        }
        ctx->keyChecker = checker;
        ctx->twoView = 0;
        if (ctx->auxReader && st->dependent && !(ctx->openFlags & TSD_OPEN_PRESETS)) {
          StreamInfo* di = st->dependent->info;
          ok = di && RegisterStreamSlot(ctx, st->dependent->pid, di->codec, 1, 0, 0, 0);
          ctx->twoView = ok;
        }
      }
    } else if (i == K_AUDIO) {
      audioMs = si->durationMs;
      int split = si->audio.subKind >= 3 && si->audio.subKind <= 8;
      ok = RegisterStreamSlot(ctx, st->pid, si->codec, 0, split, 0, 0);
    } else {
      ok = RegisterStreamSlot(ctx, st->pid, si->codec, 0, 0, 0, 0);
    }
    if (!ok) return 0;
    ctx->selected[i] = st;
  }
  for (int i = 0; i < K_COUNT; ++i) {
    if (ctx->selected[i] == NULL) continue;
    ctx->selected[i]->basePts = TS_PTS_NONE;
    ctx->selected[i]->timeOffset = 0;
  }
  ctx->fileDurationMs = videoMs > audioMs ? videoMs : audioMs;
  if (prog->durationMs == 0) prog->durationMs = ctx->fileDurationMs;
  if (ctx->startTime < 0) {
    int64_t start = TS_PTS_NONE;
    for (ProgramStream* st = prog->first; st; st = st->next) {
      if (!st->info || !(st->info->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO))) continue;
      if (st->info->firstTs == TS_PTS_NONE) continue;
      if (start == TS_PTS_NONE || pts_before(st->info->firstTs, start)) start = st->info->firstTs;
    }
    ctx->startTime = start;
  }
  return 1;
}

static const TsdProbeHint* probe_hint(TsDemuxContext* ctx) {
  const TsdProbeHint* h = (const TsdProbeHint*)(ctx->hints[2] ? ctx->hints[2] : ctx->hints[1]);
  if (h && h->size < (int32_t)sizeof(TsdProbeHint)) return NULL;
  return h;
}

static void drop_stream(TsDemuxContext* ctx, StreamInfo* si) {
  si->probeBits |= PB_DROPPED;
  ts_release_slot(ctx, si->pid);
}

static int audio_same(const AudioHeaderInfo* a, const AudioHeaderInfo* b) {
  return a->formatTag == b->formatTag && a->sampleRate == b->sampleRate &&
         a->channelCount == b->channelCount && a->bitsPerSample == b->bitsPerSample &&
         a->subKind == b->subKind;
}

static int stream_pending(const StreamInfo* si) {
  return !(si->probeBits & (PB_FOUND | PB_DROPPED));
}

/* Raises a stream's last time stamp; kept unwrapped relative to its first. */
static void raise_last(StreamInfo* si, int64_t pts) {
  if (si->firstTs == TS_PTS_NONE) {
    if (si->lastTs == TS_PTS_NONE || pts_before(si->lastTs, pts)) si->lastTs = pts;
    return;
  }
  int64_t rel = (pts - si->firstTs) & TS_PTS_MASK;
  if (rel >= ((int64_t)1 << 32)) return; /* before the first time stamp */
  int64_t cand = si->firstTs + rel;
  if (si->lastTs == TS_PTS_NONE || cand > si->lastTs) si->lastTs = cand;
}

static StreamInfo* hit_stream(TsDemuxContext* ctx) {
  PidSlot* s = ctx->pids[ctx->framePid & 0x1FFF];
  if (s == NULL || s->info == NULL) return NULL;
  if (!(s->info->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO))) return NULL;
  return s->info;
}

static int all_programs_marked(TsDemuxContext* ctx) {
  for (ProgramEntry* p = ctx->programs; p; p = p->next) {
    if (!(p->state & 0x1)) continue;
    int marked = 0, any = 0;
    for (ProgramStream* st = p->first; st; st = st->next) {
      if (!st->info || !(st->info->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO))) continue;
      if (st->info->probeBits & PB_DROPPED) continue;
      any = 1;
      if (st->info->flags & SI_END_TIME) marked = 1;
    }
    if (any && !marked) return 0;
  }
  return 1;
}

int32_t ProbeStreams(TsDemuxContext* ctx, int32_t mode) {
  if (ctx->sourceMode != 2) {
    ts_error(ctx, -18745, 8745);
    return 0;
  }
  if (ctx->programs == NULL) {
    ts_error(ctx, -1012, 8811);
    return 0;
  }
  ctx->probeMode = mode;
  const TsdProbeHint* hint = probe_hint(ctx);
  int registered = 0;
  for (ProgramEntry* p = ctx->programs; p; p = p->next) {
    memset(p->counters, 0, sizeof(p->counters));
    for (ProgramStream* st = p->first; st; st = st->next) {
      StreamInfo* si = st->info;
      if (!si) continue;
      uint32_t k = si->kind & KB_MASK;
      p->counters[0]++;
      if (k & TSD_KIND_VIDEO) p->counters[1]++;
      if (k & TSD_KIND_AUDIO) p->counters[2]++;
      if (k & TSD_KIND_GRAPHICS) p->counters[3]++;
      if (k & TSD_KIND_TEXT) p->counters[4]++;
      if (k & TSD_KIND_PRIVATE) p->counters[5]++;
      if (!(k & (TSD_KIND_VIDEO | TSD_KIND_AUDIO))) continue;
      PidSlot* s = ctx->pids[st->pid];
      if (s && s->type == 2 && s->active && s->buffer) {
        registered++;
        continue;
      }
      if (!RegisterStreamSlot(ctx, st->pid, si->codec, (si->kind & KB_DEPENDENT) != 0, 0, 1, 0))
        return 0;
      registered++;
    }
  }
  if (registered == 0) {
    ts_error(ctx, -1012, 8811);
    return 0;
  }

  int64_t budget = 30 * MIB, step = MIB;
  if (hint && hint->budgetBytes >= 1 && hint->budgetBytes < 30 * MIB) {
    budget = hint->budgetBytes;
    step = budget < MIB ? budget : MIB;
  }
  int counting = hint ? hint->noCounting == 0 : mode == 3;
  int firstParse = hint && hint->firstParse == 1;
  int32_t wantV = hint ? hint->wantedVideo : -1, wantA = hint ? hint->wantedAudio : -1;

  int32_t savedState = ctx->readState;
  ctx->readState = TS_STATE_PROBE;
  ctx->reader = ctx->mainReader;
  int64_t origin = __TS_DMX__fioTell64(ctx->mainReader);
  RepositionReader(ctx, ctx->mainReader, 0);
  int64_t readBytes = 0;
  for (;;) {
    int64_t before = ts_reader_pos(ctx);
    int32_t r = RunPacketLoop(ctx, 2, (uint32_t)step);
    int64_t after = ts_reader_pos(ctx);
    readBytes += after > before ? after - before : 0;
    StreamInfo* si = NULL;
    if (r == 0x100 || r == 0x200) si = hit_stream(ctx);
    if (si && !(si->probeBits & PB_DROPPED)) {
      ctx->esPayload = ctx->frameData;
      ctx->esPayloadLen = ctx->frameLength;
      int newlyFound = 0;
      if (r == 0x100) {
        if (counting && !(si->probeBits & PB_COUNTED)) {
          int32_t c = TSD_GetVideoFrameCount(ctx, si->codec, &si->video);
          si->pictureTotal += c;
          si->pesCount++;
          if (si->pesCount > 9 || c < 0 || c > 2) si->probeBits |= PB_COUNTED;
        }
        if (!(si->probeBits & PB_HEADER)) {
          uint32_t rate = si->video.frameRate;
          si->headerAttempts++;
          if (TSD_ParseVideoHeader(ctx, si->codec, &si->video)) {
            if (si->video.frameRate == 0) si->video.frameRate = rate;
            si->probeBits |= PB_HEADER | PB_FOUND;
            newlyFound = 1;
          } else if (ctx->lastError == -3001 || si->headerAttempts >= 401) {
            drop_stream(ctx, si);
          }
          ctx->lastError = 0;
          ctx->errorLine = 0;
        }
      } else {
        AudioHeaderInfo prev = si->audio;
        if (ParseStreamAudioHeader(ctx, si->codec, &si->audio)) {
          if (!(si->probeBits & PB_HEADER)) {
            if (si->agree > 0 && audio_same(&prev, &si->audio)) si->agree++;
            else si->agree = 1;
            if (si->agree >= 3 || firstParse) si->probeBits |= PB_HEADER;
          }
        }
        ctx->lastError = 0;
        ctx->errorLine = 0;
        si->audioFrames++;
        if ((si->probeBits & PB_HEADER) && !(si->probeBits & PB_FOUND) &&
            (si->agree >= 3 || firstParse || si->audioFrames >= 21)) {
          si->probeBits |= PB_FOUND;
          newlyFound = 1;
        }
      }
      ctx->esPayload = NULL;
      ctx->esPayloadLen = 0;
      if (newlyFound && hint && (wantV >= 0 || wantA >= 0) &&
          CountProgramStreams(ctx->programs, si->pid, wantV, wantA) == 2)
        break;
    } else if (r == TSR_FAIL) {
      PidSlot* s = ctx->pids[ctx->currentPid & 0x1FFF];
      if (s && s->info) {
        if (ctx->lastError == -3005 ||
            (ctx->lastError == -1011 && ++s->info->headerAttempts >= 401))
          drop_stream(ctx, s->info);
      }
      ctx->lastError = 0;
      ctx->errorLine = 0;
    } else if (r == TSR_EOF) {
      break;
    }
    int pending = 0;
    for (ProgramEntry* p = ctx->programs; p; p = p->next)
      for (ProgramStream* st = p->first; st; st = st->next)
        if (st->info && (st->info->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO)) &&
            stream_pending(st->info) && ctx->pids[st->pid] && ctx->pids[st->pid]->active)
          pending = 1;
    if (!pending || readBytes > budget) break;
  }
  int alive = 0;
  for (ProgramEntry* p = ctx->programs; p; p = p->next)
    for (ProgramStream* st = p->first; st; st = st->next)
      if (st->info && (st->info->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO)) &&
          !(st->info->probeBits & PB_DROPPED))
        alive = 1;
  if (!alive) {
    ctx->readState = savedState;
    ts_error(ctx, -1012, 7105);
    return 0;
  }

  /* Pictures per PES. */
  ctx->picturesPerPesMarker = 1;
  for (ProgramEntry* p = ctx->programs; p; p = p->next)
    for (ProgramStream* st = p->first; st; st = st->next) {
      StreamInfo* si = st->info;
      if (!si || !(si->kind & TSD_KIND_VIDEO) || !(si->probeBits & PB_HEADER)) continue;
      if (si->pesCount > 0 && si->pictureTotal - 1 > si->pesCount) {
        si->picturesPerPes = 2;
        ctx->picturesPerPesMarker = 2;
      } else {
        si->picturesPerPes = 1;
      }
      si->pesCount = 0;
      si->pictureTotal = 0;
    }

  /* First time stamps, and frame rates where the header gave none. */
  RepositionReader(ctx, ctx->mainReader, 0);
  readBytes = 0;
  for (;;) {
    int64_t before = ts_reader_pos(ctx);
    int32_t r = ScanNextTimestampLimited(ctx, (uint32_t)step);
    int64_t after = ts_reader_pos(ctx);
    readBytes += after > before ? after - before : 0;
    if (r == TSR_EOF) break;
    StreamInfo* si = (r == 0x100 || r == 0x200) ? hit_stream(ctx) : NULL;
    if (si) {
      int64_t pts = ctx->scanPts;
      if (si->firstTs == TS_PTS_NONE) {
        si->firstTs = pts;
        si->firstPos = ctx->scanPos;
        si->tmFirst = si->tmPts[0] = pts;
        si->tmCount = 1;
      } else if (r == 0x100 && counting && ctx->picturesPerPesMarker == 1 &&
                 si->video.frameRate == 0 && !(si->probeBits & PB_TIMED)) {
        if (((pts - si->tmFirst) & TS_PTS_MASK) > 45000000 &&
            ((pts - si->tmFirst) & TS_PTS_MASK) < ((int64_t)1 << 32)) {
          si->tmFirst = si->tmPts[0] = pts;
          si->tmCount = 1;
        } else {
          si->tmPts[si->tmCount++] = pts;
          if (si->tmCount == TS_RATE_PICTURES) {
            si->video.frameRate = rate_from_pts(si->tmPts, si->tmCount);
            si->probeBits |= PB_TIMED;
          }
        }
      }
    }
    if (readBytes > budget) break;
    int waiting = 0;
    for (ProgramEntry* p = ctx->programs; p; p = p->next)
      for (ProgramStream* st = p->first; st; st = st->next) {
        StreamInfo* s2 = st->info;
        if (!s2 || !(s2->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO)) || (s2->probeBits & PB_DROPPED))
          continue;
        if (s2->firstTs == TS_PTS_NONE) waiting = 1;
        if ((s2->kind & TSD_KIND_VIDEO) && counting && ctx->picturesPerPesMarker == 1 &&
            s2->video.frameRate == 0 && !(s2->probeBits & PB_TIMED))
          waiting = 1;
      }
    if (!waiting) break;
  }

  /* End of the data and the last time stamps. */
  __TS_DMX__fioSeek64(ctx->mainReader, 0, KVR_SEEK_END);
  ctx->fileSize = __TS_DMX__fioTell64(ctx->mainReader);
  if (ctx->fileSize < 0) ctx->fileSize = 0;
  ctx->dataEnd = ctx->fileSize;
  int32_t nStreams = 0;
  for (ProgramEntry* p = ctx->programs; p; p = p->next)
    for (ProgramStream* st = p->first; st; st = st->next)
      if (st->info && (st->info->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO))) nStreams++;
  if (hint && hint->durationMs > 0 && hint->fileSize > 0) {
    for (ProgramEntry* p = ctx->programs; p; p = p->next)
      for (ProgramStream* st = p->first; st; st = st->next) {
        StreamInfo* si = st->info;
        if (!si || !(si->kind & (TSD_KIND_VIDEO | TSD_KIND_AUDIO)) || si->firstTs == TS_PTS_NONE)
          continue;
        si->lastTs = si->firstTs + (int64_t)90 * hint->durationMs;
        si->flags |= SI_END_TIME;
      }
    ctx->dataEnd = hint->fileSize;
  } else if (!(ctx->openFlags & TSD_OPEN_GROWING)) {
    int64_t reach = mode == 1 ? MIB : mode == 2 ? 5 * MIB : 30 * MIB;
    int64_t wstep = mode == 3 ? MIB : 512 * 1024;
    if (hint && hint->endReach > 0) reach = hint->endReach;
    if (hint && hint->endStep > 0) wstep = hint->endStep;
    int64_t winEnd = ctx->fileSize;
    int64_t winStart = ctx->fileSize - 512 * 1024;
    for (;;) {
      if (winStart < 0) winStart = 0;
      if (RepositionReader(ctx, ctx->mainReader, winStart) != 0) {
        ctx->readState = savedState;
        ts_error(ctx, -17, 7679);
        return 0;
      }
      for (;;) {
        if (ts_reader_pos(ctx) >= winEnd) break;
        int32_t r = ScanNextTimestampLimited(ctx, (uint32_t)(winEnd - winStart + 0x1000));
        if (r == TSR_EOF || r == TSR_LIMIT) break;
        StreamInfo* si = (r == 0x100 || r == 0x200) ? hit_stream(ctx) : NULL;
        if (si == NULL) continue;
        raise_last(si, ctx->scanPts);
        si->flags |= SI_END_TIME;
      }
      if (all_programs_marked(ctx) || winStart == 0 || ctx->fileSize - winStart >= reach) break;
      winEnd = winStart;
      winStart -= wstep;
    }
    if (mode == 3) {
      int32_t firstPid = 0;
      if (!FindEndOfData(ctx, nStreams, &firstPid, ctx->fileSize)) {
        ctx->readState = savedState;
        return 0;
      }
    }
  }
  ComputeDurations(ctx, nStreams);
  ctx->readState = savedState;
  RepositionReader(ctx, ctx->mainReader, origin < 0 ? 0 : origin);
  return 1;
}
