/* Op 11's own packet loop. It works on a budget counted over the whole call
 * rather than per pump, and hands out at the end of the data what the
 * selected streams still hold before it answers "end of data". */
#include "ts_internal.h"

#define READ2_BUDGET_BYTES 0x100000u
#define READ2_MAX_BUDGETS 400
#define READ2_MAX_RESYNC 0x80000u

/* Frames that waited for a large enough caller buffer go first. */
static int32_t pending_frame(TsDemuxContext* ctx) {
  for (int i = 0; i < K_COUNT; ++i) {
    ProgramStream* st = ctx->selected[i];
    PidSlot* s = st ? ctx->pids[st->pid] : NULL;
    if (s && s->pendingFrame && (ctx->wantedPid < 0 || ctx->wantedPid == s->pid)) {
      int32_t r = DeliverFrame(ctx, s);
      if (TSR_IS_REREAD(r)) r >>= 8;
      if (TSR_IS_FRAME(r) || r == TSR_FAIL) return r;
    }
  }
  return TSR_SKIP;
}

int32_t ReadFrameSecondLayout(TsDemuxContext* ctx) {
  int32_t r = pending_frame(ctx);
  if (TSR_IS_FRAME(r)) return r;
  if (r == TSR_FAIL && ctx->lastError == -4014) return 0;
  const uint32_t ps = (uint32_t)ctx->packetSize;
  uint32_t spent = 0; /* bytes consumed since the last budget was counted */
  int budgets = 0;
  uint32_t resync = 0;
  for (;;) {
    if (spent >= READ2_BUDGET_BYTES) {
      spent -= READ2_BUDGET_BYTES;
      if (++budgets > READ2_MAX_BUDGETS) return TS_FAIL(ctx, -1000);
    }
    const uint8_t* p = NULL;
    int32_t got = __TS_DMX__fioShowBytesByPtr(&p, ps, ctx->reader);
    if (got < (int32_t)ps) {
      /* A growing file may still receive the rest of the packet. */
      if (ctx->openFlags & TSD_OPEN_GROWING) return TS_FAIL(ctx, -10009);
      if (got > 0) __TS_DMX__fioSkipBytes((uint32_t)got, ctx->reader);
      r = ts_flush_gathered(ctx);
      if (TSR_IS_FRAME(r)) return r;
      if (r == TSR_FAIL && ctx->lastError == -4014) return 0;
      return TS_FAIL(ctx, -10009);
    }
    if (p[ctx->prefixLen] != 0x47 || (p[ctx->prefixLen + 1] & 0x80)) {
      __TS_DMX__fioSkipBytes(1, ctx->reader);
      spent++;
      if (++resync > READ2_MAX_RESYNC) {
        if (!(ctx->openFlags & TSD_OPEN_GROWING) && ts_reader_pos(ctx) > ctx->dataEnd)
          return TS_FAIL(ctx, -10009);
        resync = 0;
      }
      continue;
    }
    resync = 0;
    ctx->packetCounter++;
    ctx->consumeOnError = 0;
    r = HandlePacket(ctx, p, 3);
    if (r == TSR_FAIL) {
      int32_t e = ctx->lastError;
      if (e <= -1000 && e >= -1999) {
        __TS_DMX__fioSkipBytes(1, ctx->reader);
        spent++;
        continue;
      }
      if (e == -3005) {
        __TS_DMX__fioSkipBytes(ps, ctx->reader);
        spent += ps;
        continue;
      }
      /* -4014 keeps the packet unless the frame was completed by it. */
      if (ctx->consumeOnError) __TS_DMX__fioSkipBytes(ps, ctx->reader);
      return 0;
    }
    if (r == TSR_OTHER_VIEW) {
      /* the other view's run: jump to this reader's next one */
      int32_t v = ts_other_view(ctx);
      if (TSR_IS_FRAME(v)) return v;
      if (v == TSR_EOF) return TS_FAIL(ctx, -10009);
      spent += ps;
      continue;
    }
    if (TSR_IS_REREAD(r)) return r >> 8; /* the packet is read again next call */
    __TS_DMX__fioSkipBytes(ps, ctx->reader);
    spent += ps;
    if (TSR_IS_FRAME(r)) return r;
    if (r == TSR_PMT || r == TSR_ALL_PMT) ctx->psiState |= ctx->videoFamily;
    if ((r == TSR_PMT || r == TSR_ALL_PMT) && ctx->readState == TS_STATE_READING &&
        ctx->currentProgram && (ctx->currentProgram->state & 0x2))
      return TS_FAIL(ctx, -10010);
  }
}
