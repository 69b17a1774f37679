/* Seek by time: a byte-rate estimate, then time stamps (and key frames) read
 * forward with corrections. */
#include "ts_internal.h"

#define MIB (1024 * 1024)

typedef struct SeekState {
  int64_t R; /* bytes per ms */
  int64_t H; /* bytes per 500 ms */
} SeekState;

static int64_t frame_ms(TsDemuxContext* ctx, int64_t pts) {
  return ((pts - ctx->startTime) & TS_PTS_MASK) / 90;
}

/* Reads to the next frame (key frames: whole frames through the pump) or
 * time stamp of `kind`. Returns 1 with the time, 0 on failure. */
static int next_stamp(TsDemuxContext* ctx, int kindIdx, int key, int* budgets, int64_t* ms,
                      int64_t* unitPos, int* isKey) {
  for (;;) {
    int32_t r = key ? PumpPackets(ctx, 2, MIB) : ScanNextTimestamp(ctx);
    if (r == TSR_LIMIT) {
      if (++*budgets > 401) return TS_FAIL(ctx, -1000);
      continue;
    }
    if (r == TSR_EOF) return TS_FAIL(ctx, -2001);
    if (r == TSR_FAIL) {
      if (ctx->lastError == -3 ) return 0;
      continue;
    }
    if (r != (0x100 << kindIdx)) continue;
    ProgramStream* want = ctx->selected[kindIdx];
    if (want == NULL || ctx->framePid != want->pid) continue;
    if (ctx->framePts == TS_PTS_NONE) continue;
    int64_t t = frame_ms(ctx, ctx->framePts);
    if (ctx->fileDurationMs > 0 && t > ctx->fileDurationMs) return TS_FAIL(ctx, -1018);
    *ms = t;
    *unitPos = ctx->frameUnitPos;
    *isKey = 1;
    if (key && ctx->keyChecker && want->info)
      *isKey = ctx->keyChecker(&want->info->video, ctx->frameData, ctx->frameLength) != 0;
    return 1;
  }
}

/* After an overshoot: halve the rate so the next jump falls shorter; at its
 * floor no jump can shrink, so the search reads on instead. */
static void slow_down(int64_t* R, int* settled) {
  if (*R == 1) *settled = 1;
  *R = *R / 2 < 1 ? 1 : *R / 2;
}

static int32_t SeekByTime(TsDemuxContext* ctx, int32_t target, int32_t* outMs, int64_t startPos,
                          int kindIdx, int backward, int key, SeekState* st) {
  FioHandle* rd = ctx->reader;
  int64_t H = st->H, R = st->R;
  /* Land half a second short of the estimate: a jump into the middle of the
   * wanted picture's PES would skip it, and with reordered pictures the
   * frames after it can still be before the target. */
  int64_t pos = backward ? startPos : startPos - H;
  if (pos >= ctx->dataEnd) pos = ctx->dataEnd - H;
  if (pos < 0) pos = 0;
  if (RepositionReader(ctx, rd, pos) != 0) return TS_FAIL(ctx, -2000);
  int budgets = 0;
  int justJumped = 1;
  int contiguous = 0; /* every frame since the candidate was read */
  int64_t lowBound = 0; /* a frame at or after this lies before the target */
  int64_t candPos = -1, candMs = 0;
  /* Set once an overshoot finds the rate at its floor (jumps can then no
   * longer shrink, and in a file whose time stamps run ahead of its bytes
   * the same jump would land past the target forever), or once a backward
   * search has met the end. From there on the frames are read one after
   * another. */
  int settled = 0;
  /* Forward to a key frame: the leading pictures of an open GOP follow their
   * key frame in the file but show before it, so pictures before the target
   * read after a landing do not show that the landing was early enough: the
   * key frame they lead may lie just before it, at or after the target. A
   * key frame at or after the target is the answer only when the reading
   * since the landing has met a key frame before the target, or began at
   * one (or at the start of the data). Otherwise the search steps back,
   * twice as far each time, until it meets one. */
  int64_t keyFloor = 0; /* where a key frame before the target begins */
  int anchored = pos <= keyFloor;
  int64_t seenFrom = -1; /* read from here on up to laterPos: no key frame */
  int64_t laterPos = -1, laterMs = 0; /* key frame after seenFrom; -1: none up to the end */
  int64_t backStep = 0;
  for (int guard = 0; guard < 100000; ++guard) {
    int64_t t, unit;
    int isKey;
    int found = next_stamp(ctx, kindIdx, key, &budgets, &t, &unit, &isKey);
    int unsure = 0; /* forward: the wanted key frame may lie before the landing */
    if (!found) {
      if (!backward && key && !anchored && ctx->lastError == -2001) {
        /* No key frame from the landing to the end: one may lie before it. */
        ctx->lastError = 0;
        ctx->errorLine = 0;
        laterPos = -1;
        unsure = 1;
      } else if (backward && ctx->lastError == -2001) {
        /* The end came first: the last frame before it is the answer, or, with
         * none seen yet, the search starts further back. */
        ctx->lastError = 0;
        ctx->errorLine = 0;
        if (candPos >= 0) {
          RepositionReader(ctx, rd, candPos);
          *outMs = (int32_t)candMs;
          return 1;
        }
        if (pos > 0) {
          /* and reads on from there: a jump forward would only meet the
           * end again */
          settled = 1;
          pos = pos - H < 0 ? 0 : pos - H;
          if (RepositionReader(ctx, rd, pos) != 0) return TS_FAIL(ctx, -2000);
          justJumped = 1;
          contiguous = 0;
          continue;
        }
        return TS_FAIL(ctx, -2001);
      } else {
        return 0;
      }
    } else if (!backward && key && seenFrom >= 0 && unit >= seenFrom) {
      /* Everything from here to the key frame found last (or to the end) was
       * read by the pass that began here: no key frame lies in between. */
      if (anchored) {
        if (laterPos < 0) return TS_FAIL(ctx, -2001);
        RepositionReader(ctx, rd, laterPos);
        *outMs = (int32_t)laterMs;
        return 1;
      }
      unsure = 1;
    } else if (!backward && key && isKey && t >= target && !anchored &&
               !(justJumped && pos > lowBound)) {
      laterPos = unit;
      laterMs = t;
      unsure = 1;
    }
    if (unsure) {
      if (backStep == 0) {
        backStep = laterPos < 0 ? H : ((laterMs - target) / 500) * H;
        if (backStep < H) backStep = H;
      } else {
        backStep = backStep > ctx->dataEnd ? backStep : backStep * 2;
      }
      seenFrom = pos;
      pos = pos - backStep < keyFloor ? keyFloor : pos - backStep;
      anchored = pos <= keyFloor;
      if (RepositionReader(ctx, rd, pos) != 0) return TS_FAIL(ctx, -2000);
      justJumped = 1;
      continue;
    }
    if (!backward) {
      if (t >= target) {
        if (justJumped && pos > lowBound) {
          int64_t back = ((t - target) / 500) * H;
          if (back < H) back = H;
          int64_t np = pos - back;
          if (np < lowBound) np = lowBound;
          if (np < 0) np = 0;
          if (np < pos) {
            pos = np;
            anchored = pos <= keyFloor;
            slow_down(&R, &settled);
            if (RepositionReader(ctx, rd, pos) != 0) return TS_FAIL(ctx, -2000);
            justJumped = 1;
            continue;
          }
        }
        justJumped = 0;
        if (key && !isKey) continue;
        RepositionReader(ctx, rd, unit);
        *outMs = (int32_t)t;
        return 1;
      }
      if (unit > lowBound) lowBound = unit;
      if (key && isKey) {
        anchored = 1;
        if (unit > keyFloor) keyFloor = unit;
      }
      /* The answer lies no later than the key frame already found: read on
       * to it rather than jump. */
      if (seenFrom >= 0) {
        justJumped = 0;
        continue;
      }
    } else {
      if (t <= target) {
        if (!key || isKey) {
          candPos = unit;
          candMs = t;
          contiguous = 1;
        }
        if (unit > lowBound) lowBound = unit;
      } else {
        /* Past the target: the candidate is the answer when everything from
         * it to here was read; otherwise step back, not before it. */
        if (candPos >= 0 && contiguous) {
          RepositionReader(ctx, rd, candPos);
          *outMs = (int32_t)candMs;
          return 1;
        }
        int64_t back = ((t - target) / 500) * H;
        if (back < H) back = H;
        int64_t floor = candPos >= 0 ? candPos : 0;
        int64_t np = pos - back < floor ? floor : pos - back;
        if (np >= pos) {
          if (candPos >= 0) {
            RepositionReader(ctx, rd, candPos);
            *outMs = (int32_t)candMs;
            return 1;
          }
          RepositionReader(ctx, rd, 0);
          *outMs = 0;
          return 1;
        }
        pos = np;
        slow_down(&R, &settled);
        if (RepositionReader(ctx, rd, pos) != 0) return TS_FAIL(ctx, -2000);
        justJumped = 1;
        contiguous = 0;
        continue;
      }
    }
    /* Before the target: jump when the distance is worth more than H. */
    int64_t jump = R * (target - t);
    if (!settled && jump > 2 * H) {
      int64_t cur = ts_reader_pos(ctx);
      if (cur + jump < ctx->dataEnd) {
        pos = cur + jump - H;
        anchored = pos <= keyFloor;
        if (RepositionReader(ctx, rd, pos) != 0) return TS_FAIL(ctx, -2000);
        justJumped = 1;
        contiguous = 0;
        continue;
      }
      R = R / 2 < 1 ? 1 : R / 2;
    }
    justJumped = 0;
  }
  return TS_FAIL(ctx, -1000);
}

static int32_t FindFrameTime(TsDemuxContext* ctx, int32_t* outMs, int64_t pos, int kindIdx,
                             int key, SeekState* st) {
  if (pos >= ctx->dataEnd) pos = ctx->dataEnd - st->H;
  if (pos < 0) pos = 0;
  if (RepositionReader(ctx, ctx->reader, pos) != 0) return TS_FAIL(ctx, -2000);
  int budgets = 0;
  for (;;) {
    int64_t t, unit;
    int isKey;
    if (!next_stamp(ctx, kindIdx, key, &budgets, &t, &unit, &isKey)) return 0;
    if (key && kindIdx == K_VIDEO) {
      if (!isKey) continue;
      RepositionReader(ctx, ctx->reader, unit);
    }
    *outMs = (int32_t)t;
    return 1;
  }
}

/* Places the dependent view's reader at the picture whose time the base view
 * reached. */
static int32_t SeekByPosition(TsDemuxContext* ctx, int32_t target, int32_t* outMs, int64_t pos,
                              SeekState* st) {
  FioHandle* rd = ctx->auxReader;
  ProgramStream* dep = ctx->selected[K_VIDEO] ? ctx->selected[K_VIDEO]->dependent : NULL;
  if (rd == NULL || dep == NULL) return TS_FAIL(ctx, -2002);
  int64_t H = st->H, R = st->R;
  /* a step back must always move */
  int64_t back = H / 3 > ctx->packetSize ? H / 3 : ctx->packetSize;
  ctx->reader = rd;
  ctx->readerRole = 2;
  if (pos >= ctx->dataEnd) pos = ctx->dataEnd - H;
  if (pos < 1) pos = 0;
  if (RepositionReader(ctx, rd, pos) != 0) return TS_FAIL(ctx, -2000);
  ctx->readerRole |= 0x10000;
  JumpByBlockMap(ctx, 1);
  int budgets = 0;
  int stepped = 0;
  for (;;) {
    int32_t r = ScanNextTimestamp(ctx);
    if (r == TSR_LIMIT) {
      if (++budgets > 401) return TS_FAIL(ctx, -1000);
      continue;
    }
    if (r == TSR_EOF) return TS_FAIL(ctx, -2001);
    if (r != 0x100 || ctx->framePid != dep->pid || ctx->framePts == TS_PTS_NONE) continue;
    int64_t t = frame_ms(ctx, ctx->framePts);
    if (ctx->fileDurationMs > 0 && t > ctx->fileDurationMs) return TS_FAIL(ctx, -1018);
    if (t == target) {
      if (RepositionReader(ctx, rd, ctx->frameUnitPos) != 0) return TS_FAIL(ctx, -2000);
      *outMs = target;
      return 1;
    }
    if (t > target) {
      if (pos == 0) return TS_FAIL(ctx, -1018);
      pos = pos > back ? pos - back : 0;
      ctx->readerRole |= 0x20000;
      if (RepositionReader(ctx, rd, pos) != 0) return TS_FAIL(ctx, -2000);
      stepped = 1;
      continue;
    }
    if (stepped) continue;
    int64_t ahead = (R / 3) * (target - t);
    if (ahead <= H / 3) continue;
    int64_t next = __TS_DMX__fioTell64(rd) + ahead;
    if (next >= ctx->dataEnd) continue;
    pos = next;
    if (RepositionReader(ctx, rd, pos) != 0) return TS_FAIL(ctx, -2000);
  }
}

int32_t SeekStreams(TsDemuxContext* ctx, const TsdSeekInput* in, TsdSeekOutput* out,
                    uint32_t flags) {
  if (ctx->infoOnly) return TS_FAIL(ctx, -4032);
  if (ctx->sourceMode == 1) return TS_FAIL(ctx, -4005);
  if (ctx->sourceMode != 2) return TS_FAIL(ctx, -2002);
  if (in == NULL) return TS_FAIL(ctx, -2002);
  int32_t target = in->targetMs;
  if (target < 0) target = 0;
  if (ctx->openFlags & TSD_OPEN_GROWING) {
    if (flags & 0x10000000)
      for (int i = 0; i < K_COUNT; ++i) __TS_DMX__fioFlush(ctx->kindReader[i]);
    if (target != 0) return TS_FAIL(ctx, -4025);
  }
  if (ctx->durationUnknown || ctx->fileDurationMs <= 0 || ctx->bytesPerMs <= 0) target = 0;
  if ((flags & 0xFF) == 0) flags |= 0x31;

  int64_t saved[K_COUNT];
  for (int i = 0; i < K_COUNT; ++i) saved[i] = __TS_DMX__fioTell64(ctx->kindReader[i]);
  int views = ctx->auxReader && ctx->twoView;
  int64_t savedAux = views ? __TS_DMX__fioTell64(ctx->auxReader) : -1;
  int32_t savedRole = ctx->readerRole;
  int64_t savedViewPos[2] = {ctx->viewPos[0], ctx->viewPos[1]};
  /* resume positions from before the seek would send the readers back over
   * where they were */
  if (views) {
    ctx->viewPos[0] = ctx->viewPos[1] = -1;
    ctx->readerRole = 1;
  }
  int32_t savedState = ctx->readState;
  ctx->readState = TS_STATE_SEEK;
  int single = !(ctx->openFlags & TSD_OPEN_SEPARATE_READERS);
  /* Seeking jumps about: refill the cache by the read unit only, not by a
   * whole cache's worth at every landing. */
  if (single) __TS_DMX__fioSetCacheReadSize(ctx->mainReader, (uint32_t)ctx->readUnit);
  int32_t ok = 1;
  int32_t reached = 0;
  if (target == 0) {
    for (int i = 0; i < K_COUNT; ++i) {
      if (i > 0 && ctx->kindReader[i] == ctx->mainReader) continue;
      RepositionReader(ctx, ctx->kindReader[i], 0);
    }
    if (views) RepositionReader(ctx, ctx->auxReader, 0);
    for (int i = 0; i < K_COUNT; ++i)
      if (ctx->selected[i]) ctx->selected[i]->lastTimeMs = -1;
  } else {
    int kindIdx = ctx->selected[K_VIDEO] ? K_VIDEO : (ctx->selected[K_AUDIO] ? K_AUDIO : -1);
    if (kindIdx < 0) {
      ok = TS_FAIL(ctx, -2002);
    } else {
      ProgramStream* ref = ctx->selected[kindIdx];
      int32_t last = ref->lastTimeMs < 0 ? 0 : ref->lastTimeMs;
      int32_t dist = target - last;
      uint32_t mode = flags & 0x30;
      int backward = mode == 0x10 || (dist < 0 && mode != 0x20);
      if (!backward) {
        ProgramStream* v = ctx->selected[K_VIDEO];
        ProgramStream* a = ctx->selected[K_AUDIO];
        if ((v && v->info && target >= v->info->durationMs) ||
            (a && a->info && target >= a->info->durationMs))
          ok = TS_FAIL(ctx, -2001);
      }
      if (ok) {
        SeekState st;
        st.R = ctx->bytesPerMs > 0 ? ctx->bytesPerMs : 1;
        st.H = ctx->bytesPer500ms > 0 ? ctx->bytesPer500ms : 500;
        if (ctx->auxReader) {
          /* the readers share the bytes: each view gets two thirds */
          st.R = st.R * 2 / 3 > 0 ? st.R * 2 / 3 : 1;
          st.H = st.H * 2 / 3 > 0 ? st.H * 2 / 3 : 1;
        }
        int key = (flags & 0x1) && kindIdx == K_VIDEO && ref->info && ref->info->codec != 0x20020;
        int64_t offset = (ctx->dataEnd / ctx->fileDurationMs) * (int64_t)dist;
        if ((flags & 0x100) && key) offset -= 200 * st.R;
        if (offset < 0 && dist > 0) offset = 0;
        ctx->reader = ctx->kindReader[kindIdx];
        int64_t start = __TS_DMX__fioTell64(ctx->reader) + offset;
        if (!single) ctx->wantedPid = ref->pid;
        ok = (flags & 0x100) ? FindFrameTime(ctx, &reached, start, kindIdx, key, &st)
                             : SeekByTime(ctx, target, &reached, start, kindIdx, backward, key, &st);
        if (ok && single && views && kindIdx == K_VIDEO) {
          int32_t depMs = 0;
          ok = SeekByPosition(ctx, reached, &depMs, __TS_DMX__fioTell64(ctx->mainReader), &st);
        }
        if (ok && !single) {
          FioHandle* lead = ctx->reader;
          int64_t landed = __TS_DMX__fioTell64(lead);
          /* The audio reader looks for the time the video reached, from
           * where the video landed; the other kinds start where it landed. */
          int audioSought = 0;
          if (kindIdx == K_VIDEO && ctx->selected[K_AUDIO] && ctx->kindReader[K_AUDIO] != lead) {
            int32_t audioMs = 0;
            ctx->reader = ctx->kindReader[K_AUDIO];
            ctx->wantedPid = ctx->selected[K_AUDIO]->pid;
            ok = SeekByTime(ctx, reached, &audioMs, landed, K_AUDIO, 0, 0, &st);
            audioSought = 1;
          }
          for (int i = 0; ok && i < K_COUNT; ++i) {
            if (i == kindIdx || (i == K_AUDIO && audioSought) || ctx->kindReader[i] == lead)
              continue;
            RepositionReader(ctx, ctx->kindReader[i], landed);
          }
        }
        ctx->wantedPid = -1;
        ctx->reader = ctx->mainReader;
        if (ok) {
          if (ctx->selected[K_VIDEO]) ctx->selected[K_VIDEO]->lastTimeMs = reached;
          if (ctx->selected[K_AUDIO]) ctx->selected[K_AUDIO]->lastTimeMs = reached;
          if (ctx->selected[K_GRAPHICS]) ctx->selected[K_GRAPHICS]->lastTimeMs = reached;
        }
      }
    }
  }
  if (!ok) {
    int32_t e = ctx->lastError, l = ctx->errorLine;
    for (int i = 0; i < K_COUNT; ++i) {
      if (i > 0 && ctx->kindReader[i] == ctx->mainReader) continue;
      if (saved[i] >= 0) __TS_DMX__fioSeek64(ctx->kindReader[i], saved[i], KVR_SEEK_SET);
    }
    if (savedAux >= 0) __TS_DMX__fioSeek64(ctx->auxReader, savedAux, KVR_SEEK_SET);
    ctx->readerRole = savedRole;
    ctx->viewPos[0] = savedViewPos[0];
    ctx->viewPos[1] = savedViewPos[1];
    ctx->lastError = e;
    ctx->errorLine = l;
  }
  if (ctx->openFlags & TSD_OPEN_PRESETS) ResetSelectedBuffers(ctx);
  for (int32_t pid = 0; pid < TS_PID_COUNT; ++pid) ts_reset_stream_slot(ctx->pids[pid]);
  ctx->flushIndex = 0;
  if (ok && views) {
    /* the base view's picture comes first, each reader resumes where it
     * landed */
    ctx->readerRole = 1;
    ctx->viewPos[0] = __TS_DMX__fioTell64(ctx->mainReader);
    ctx->viewPos[1] = __TS_DMX__fioTell64(ctx->auxReader);
    ctx->selected[K_VIDEO]->viewEnded = 0;
    if (ctx->selected[K_VIDEO]->dependent) ctx->selected[K_VIDEO]->dependent->viewEnded = 0;
  }
  ctx->reader = ctx->mainReader;
  __TS_DMX__fioSetCacheReadSize(ctx->mainReader, 0);
  ctx->readState = savedState;
  if (ok && out) out->reachedMs = reached;
  return ok;
}
