/* The frame-reading packet loop and the end-of-data hand-over of what the
 * selected streams still hold. */
#include "ts_internal.h"

/* At the end of the data, hands out the PES still gathered by the selected
 * streams, one per call, video first. 10 when none is left. */
int32_t ts_flush_gathered(TsDemuxContext* ctx) {
  /* Delivered slots are waiting again, so every call may look at all kinds;
   * with separate readers each kind's reader comes here on its own. */
  ctx->flushIndex = 0;
  while (ctx->flushIndex < K_COUNT) {
    int i = ctx->flushIndex;
    ProgramStream* st = ctx->selected[i];
    if (ctx->auxReader && ctx->twoView && TS_ROLE(ctx) == 2) {
      /* the dependent view's reader hands out its own view only */
      st = i == K_VIDEO && st ? st->dependent : NULL;
    }
    PidSlot* s = st ? ctx->pids[st->pid] : NULL;
    if (s && s->type == 2 && s->active && (s->bytes > 0 || s->pendingFrame) &&
        (ctx->wantedPid < 0 || ctx->wantedPid == s->pid)) {
      if (i == K_VIDEO) st->viewEnded = 1;
      int32_t r = DeliverPartialFrame(ctx, s, 0);
      if (TSR_IS_REREAD(r)) r >>= 8;
      if (TSR_IS_FRAME(r)) return r;
      if (r == TSR_FAIL) return r;
      continue; /* dropped or refused: look again at this kind */
    }
    ctx->flushIndex++;
  }
  return TSR_EOF;
}

int32_t RunPacketLoop(TsDemuxContext* ctx, uint32_t mask, uint32_t limit) {
  const uint32_t ps = (uint32_t)ctx->packetSize;
  uint64_t consumed = 0;
  uint32_t resync = 0;
  ctx->loopMode = 1;
  int32_t result;
  for (;;) {
    const uint8_t* p = NULL;
    int32_t got = __TS_DMX__fioShowBytesByPtr(&p, ps, ctx->reader);
    if (got < (int32_t)ps) {
      if (ctx->openFlags & TSD_OPEN_GROWING) {
        result = TSR_EOF;
        break;
      }
      if (got > 0) __TS_DMX__fioSkipBytes((uint32_t)got, ctx->reader);
      result = ts_flush_gathered(ctx);
      break;
    }
    if (p[ctx->prefixLen] != 0x47 || (p[ctx->prefixLen + 1] & 0x80)) {
      __TS_DMX__fioSkipBytes(1, ctx->reader);
      consumed++;
      if (++resync > 0x80000) {
        if (!(ctx->openFlags & TSD_OPEN_GROWING) && ts_reader_pos(ctx) > ctx->dataEnd) {
          result = TSR_EOF;
          break;
        }
        resync = 0;
      }
      if (limit && consumed > limit) {
        result = TSR_LIMIT;
        break;
      }
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
        result = TSR_FAIL;
        break;
      }
    } else if (TSR_IS_REREAD(r)) {
      result = r >> 8;
      break;
    } else if (r == TSR_OTHER_VIEW) {
      int32_t v = ts_other_view(ctx);
      if (v != TSR_SKIP) {
        result = v;
        break;
      }
      consumed += ps;
    } else {
      __TS_DMX__fioSkipBytes(ps, ctx->reader);
      consumed += ps;
      if (r == TSR_PMT || r == TSR_ALL_PMT) ts_note_view_pmt(ctx, at);
      if ((r == TSR_PMT || r == TSR_ALL_PMT) && ctx->readState == TS_STATE_READING &&
          ctx->currentProgram && (ctx->currentProgram->state & 0x2)) {
        result = TSR_CHANGED;
        break;
      }
      if (TSR_IS_FRAME(r) || r == TSR_REFUSED || r == TSR_DROPPED || r == TSR_DROPPED_UNBOUNDED) {
        result = r;
        break;
      }
    }
    if (limit && consumed > limit) {
      result = TSR_LIMIT;
      break;
    }
  }
  ctx->loopMode = 0;
  return result;
}
