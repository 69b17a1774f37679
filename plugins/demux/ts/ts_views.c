/* Two-view reading: a base view and its dependent view stored in alternating
 * runs of blocks, each read by its own reader that skips the other's runs. */
#include "ts_internal.h"

#define TS_BLOCK 0x20000

/* Which view a role reads: 0 base, 1 dependent. */
static int own_view(TsDemuxContext* ctx) { return TS_ROLE(ctx) == 2 || TS_ROLE(ctx) == 0x12; }

static ProgramStream* view_stream(TsDemuxContext* ctx, int view) {
  ProgramStream* base = ctx->selected[K_VIDEO];
  if (base == NULL) return NULL;
  return view ? base->dependent : base;
}

/* 0: the usual filters decide; -1: taken whatever the wanted PID; 4 or 5. */
int32_t ts_view_rule(TsDemuxContext* ctx, PidSlot* slot) {
  int role = TS_ROLE(ctx);
  if (!ctx->auxReader || !ctx->twoView || (role != 1 && role != 2)) return 0;
  ProgramStream* dep = view_stream(ctx, 1);
  if (dep == NULL) return 0;
  int32_t pid = slot->pid;
  if (role == 1) return pid == dep->pid ? TSR_OTHER_VIEW : 0;
  if (pid == dep->pid) return -1;
  if (ctx->wantedPid >= 0) {
    for (int i = 0; i < K_COUNT; ++i)
      if (ctx->selected[i] && ctx->selected[i]->pid == pid) return TSR_OTHER_VIEW;
    return TSR_OTHER;
  }
  if (slot->kind == TSD_KIND_AUDIO || slot->kind == TSD_KIND_VIDEO) return TSR_OTHER_VIEW;
  return 0;
}

/* A PMT completed while a role is set: the first one gives the role's view
 * its resume position. */
void ts_note_view_pmt(TsDemuxContext* ctx, int64_t pos) {
  int role = TS_ROLE(ctx);
  ctx->pmtSeen |= role & 0x3;
  if (role == 0) return;
  int view = own_view(ctx);
  if (ctx->viewPos[view] < 0) ctx->viewPos[view] = pos;
}

/* The reader met a packet of the other view (not consumed). Returns 5 when it
 * was moved and the caller should return, 3 when it now stands at its own
 * view's next run, 10 or a frame code when the other view has ended. */
int32_t ts_other_view(TsDemuxContext* ctx) {
  int view = own_view(ctx);
  ProgramStream* mine = view_stream(ctx, view);
  ProgramStream* other = view_stream(ctx, !view);
  if (other && other->viewEnded) {
    if (mine) {
      mine->viewEnded = 1;
      PidSlot* s = ctx->pids[mine->pid];
      if (s && s->type == 2 && s->active && s->bytes > 0) {
        int32_t r = DeliverPartialFrame(ctx, s, 0);
        return TSR_IS_REREAD(r) ? r >> 8 : r;
      }
    }
    __TS_DMX__fioSkipBytes((uint32_t)ctx->packetSize, ctx->reader);
    return TSR_EOF;
  }
  int64_t pos = ts_reader_pos(ctx);
  if (pos < ctx->viewPos[view]) {
    __TS_DMX__fioSeek64(ctx->reader, ctx->viewPos[view], KVR_SEEK_SET);
    return TSR_OTHER_VIEW;
  }
  if (ctx->readState != TS_STATE_SEEK && ctx->viewPos[!view] < pos) ctx->viewPos[!view] = pos;
  /* Only an explicit call walks backward: a reader that stepped back reads
   * forward from there and would otherwise be sent back again and again. */
  if (!JumpByBlockMap(ctx, 0)) return TSR_OTHER_VIEW;
  return TSR_SKIP;
}

/* First block at or after `from` (before it when stepping back) whose mark
 * is `mark`; -1 when there is none. */
static int64_t find_mark(const TsDemuxContext* ctx, int64_t from, int64_t last, int mark, int step) {
  for (int64_t b = from; b >= 0 && b <= last; b += step)
    if (ctx->blockMap[b] == mark) return b;
  return -1;
}

static int64_t map_target(TsDemuxContext* ctx, int64_t pos, int backward, int mine) {
  int64_t bs = ctx->blockSize;
  int64_t last = ctx->dataEnd / bs;
  if (last >= ctx->blockCount) last = ctx->blockCount - 1;
  int64_t cur = pos / bs;
  if (cur > last) return -1;
  if (!backward) {
    int64_t b = find_mark(ctx, cur + 1, last, mine, 1);
    if (b < 0) return -1;
    /* the run may begin in the block before, whose first packet is the
     * other view's; never go back over what this reader has read */
    int64_t t = (b - 1) * bs;
    return t < pos ? pos : t;
  }
  int64_t b = cur;
  while (b > 0 && ctx->blockMap[b] == mine) b--;  /* the current run */
  while (b > 0 && ctx->blockMap[b] != mine) b--;  /* the other view's run */
  while (b > 0 && ctx->blockMap[b - 1] == mine) b--; /* to the start of ours */
  return (b > 0 ? b - 1 : 0) * bs;
}

static int is_view_hit(TsDemuxContext* ctx, int32_t pid) {
  for (int i = 0; i < K_COUNT; ++i)
    if (ctx->selected[i] && ctx->selected[i]->pid == pid) return 1;
  ProgramStream* dep = view_stream(ctx, 1);
  return dep && dep->pid == pid;
}

int32_t JumpByBlockMap(TsDemuxContext* ctx, int backward) {
  FioHandle* rd = ctx->reader;
  const uint32_t ps = (uint32_t)ctx->packetSize;
  uint32_t savedFill = __TS_DMX__fioGetCacheReadSize(rd);
  int mine = own_view(ctx) ? 0 : 1;
  int64_t pos = ts_reader_pos(ctx);
  int64_t target;
  if (ctx->blockMap && ctx->blockSize > 0) {
    /* only a few packets are read after each jump */
    __TS_DMX__fioSetCacheReadSize(rd, 6 * ps);
    target = map_target(ctx, pos, backward, mine);
  } else if (backward) {
    target = pos - 0x100000;
    if (target < 0) target = 0;
  } else {
    /* Without a map nothing tells where this view's next run begins, and a
     * fixed step forward would pass over runs shorter than the step: the
     * other view's run is read through instead, from where the reader is. */
    target = pos;
  }
  int32_t result = 0;
  if (target < 0) {
    /* no run of this view is left: the reader ends at the file end */
    __TS_DMX__fioSeek64(rd, 0, KVR_SEEK_END);
  } else if (__TS_DMX__fioSeek64(rd, target, KVR_SEEK_SET) == 0) {
    uint32_t resync = 0;
    for (;;) {
      const uint8_t* p = NULL;
      if (__TS_DMX__fioShowBytesByPtr(&p, ps, rd) < (int32_t)ps) break;
      const uint8_t* h = p + ctx->prefixLen;
      if (h[0] != 0x47 || (h[1] & 0x80)) {
        __TS_DMX__fioSkipBytes(1, rd);
        if (++resync > 0x80001) {
          if (ctx->openFlags & TSD_OPEN_GROWING) resync = 0;
          else if (ts_reader_pos(ctx) > ctx->dataEnd) break;
        }
        continue;
      }
      int64_t at = ts_reader_pos(ctx);
      int32_t pid = ((h[1] & 0x1F) << 8) | h[2];
      int32_t r = HandlePacket(ctx, p, 17);
      if (r == TSR_FAIL && ctx->lastError <= -1000 && ctx->lastError >= -1999) {
        __TS_DMX__fioSkipBytes(1, rd);
        continue;
      }
      if (r == TSR_PMT || r == TSR_ALL_PMT) {
        /* the codec family tells which view's reader owns the table */
        int view = ctx->videoFamily == 2;
        if (ctx->viewPos[view] < 0) ctx->viewPos[view] = at;
        __TS_DMX__fioSkipBytes(ps, rd);
        result = 1;
        break;
      }
      if (r == TSR_SEARCH && is_view_hit(ctx, pid)) {
        /* left for the caller to read: its counter must not look repeated */
        PidSlot* s = ctx->pids[pid];
        s->lastCc = s->prevCc;
        result = 1;
        break;
      }
      __TS_DMX__fioSkipBytes(ps, rd);
    }
  }
  __TS_DMX__fioSetCacheReadSize(rd, savedFill);
  return result;
}

/* 1 base, 0 dependent, -1 none within a block, -2 end of file. */
static int scan_block(TsDemuxContext* ctx) {
  FioHandle* rd = ctx->mainReader;
  const uint32_t ps = (uint32_t)ctx->packetSize;
  uint32_t used = 0;
  while (used < TS_BLOCK) {
    const uint8_t* p = NULL;
    int32_t got = __TS_DMX__fioShowBytesByPtr(&p, ps, rd);
    if (got < (int32_t)ps) {
      if (!(ctx->openFlags & TSD_OPEN_GROWING) && got > 0) __TS_DMX__fioSkipBytes((uint32_t)got, rd);
      return -2;
    }
    const uint8_t* h = p + ctx->prefixLen;
    if (h[0] != 0x47 || (h[1] & 0x80)) {
      __TS_DMX__fioSkipBytes(1, rd);
      used++;
      continue;
    }
    PidSlot* s = ctx->pids[((h[1] & 0x1F) << 8) | h[2]];
    if (s && s->type == 2 && s->active) {
      s->seen = 1;
      return (s->flags & SF_DEPENDENT) ? 0 : 1;
    }
    __TS_DMX__fioSkipBytes(ps, rd);
    used += ps;
  }
  return -1;
}

void BuildBlockMap(TsDemuxContext* ctx) {
  FioHandle* rd = ctx->mainReader;
  int64_t end = ctx->dataEnd;
  if (end <= 0) {
    __TS_DMX__fioSeek64(rd, 0, KVR_SEEK_END);
    end = __TS_DMX__fioTell64(rd);
  }
  if (end < 0) end = 0;
  int64_t count = (end / TS_BLOCK + 16) & ~(int64_t)15;
  if (count > 0x7FFFFFFF) count = 0x7FFFFFF0;
  ctx->blockSize = TS_BLOCK;
  ctx->blockMap = (uint8_t*)ts_calloc((size_t)count);
  if (ctx->blockMap == NULL) {
    ts_error(ctx, -14, __LINE__);
    return;
  }
  ctx->blockCount = (int32_t)count;
  /* the views are told apart by their video slots */
  for (ProgramEntry* prog = ctx->programs; prog; prog = prog->next)
    for (ProgramStream* st = prog->first; st; st = st->next)
      if (st->info && (st->info->kind & TSD_KIND_VIDEO))
        RegisterStreamSlot(ctx, st->pid, st->info->codec, (st->info->kind & KB_DEPENDENT) != 0, 0,
                           0, 1);
  __TS_DMX__fioSetCacheReadSize(rd, (uint32_t)ctx->packetSize);
  uint8_t mark = 0;
  int64_t last = -1;
  int64_t pos = 0;
  int seek = 1;
  for (;;) {
    if (seek) {
      if (__TS_DMX__fioSeek64(rd, pos, KVR_SEEK_SET) != 0) break;
      pos += TS_BLOCK;
    }
    int r = scan_block(ctx);
    if (r == -2) break;
    if (r == -1) {
      seek = 0;
      continue;
    }
    int64_t idx = ts_reader_pos(ctx) / TS_BLOCK;
    if (idx >= count) break;
    for (int64_t b = last + 1; b < idx; ++b) ctx->blockMap[b] = mark;
    mark = (uint8_t)r;
    ctx->blockMap[idx] = mark;
    last = idx;
    if (pos < (idx + 1) * TS_BLOCK) pos = (idx + 1) * TS_BLOCK;
    seek = 1;
  }
  int64_t endBlock = end / TS_BLOCK;
  for (int64_t b = last + 1; b <= endBlock && b < count; ++b) ctx->blockMap[b] = mark;
  __TS_DMX__fioSetCacheReadSize(rd, (uint32_t)ctx->cacheSize);
}
