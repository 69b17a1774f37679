/* Matroska demuxer: seeking through the cue table. The worker starts at the
 * cue point for the target and parses forward for the video key frame,
 * stepping back to earlier points or searching linearly when none is found;
 * it then leaves only the landing frame (video, or audio on a file without
 * video) queued. */

#include "mkv_internal.h"

enum {
  MODE_FWD = 0x1, MODE_BWD = 0x2, MODE_VIDEO = 0x10, MODE_NO_VIDEO = 0x20, MODE_ABSOLUTE = 0x200, MODE_BY_AUDIO = 0x400
};

#define LINEAR_AFTER_NS 100000000000ull /* 100 s past the target without a key frame */
#define TEN_S_NS 10000000000ull

static int exact_key(const mkv_node_t* n) { return (n->flags & (NODE_KEY | NODE_INEXACT)) == NODE_KEY; }

static int32_t main_track(mkv_dmx_t* ctx) {
  uint32_t i;
  for (i = 0; i < ctx->track_count; ++i) {
    const mkv_track_t* t = ctx->tracks[i];
    if (!ctx->no_video && t->track_type == MKV_TRACK_VIDEO && t->track_number == ctx->sel_video_number) return (int32_t)i;
    if (ctx->no_video && t->track_type == MKV_TRACK_AUDIO && t->track_number == ctx->sel_audio_number) return (int32_t)i;
  }
  return -1;
}

static void drop_head(mkv_dmx_t* ctx, uint32_t track) {
  mkv_queue_t* q = &ctx->queues[track];
  mkv_node_t* n = q->head;
  q->head = n->next;
  if (!q->head) q->tail = 0;
  n->next = ctx->free_nodes;
  ctx->free_nodes = n;
}

static int is_video(const mkv_dmx_t* ctx, uint32_t i) { return ctx->tracks[i]->track_type == MKV_TRACK_VIDEO; }

static void empty_other_kinds(mkv_dmx_t* ctx, uint32_t keep_type) {
  uint32_t i;
  for (i = 0; i < ctx->track_count; ++i)
    if (ctx->tracks[i]->track_type != keep_type) mkv_queue_release(ctx, i);
}

static void unset_keys(mkv_dmx_t* ctx) {
  uint32_t i;
  for (i = 0; i < ctx->track_count; ++i) ctx->queues[i].seek_key = MKV_KEY_UNSET;
}

static int32_t go_to_point(mkv_dmx_t* ctx, uint32_t i) {
  if (ctx->cue_key_flag) ctx->key_index = i;
  return mkv_restart_at(ctx, ctx->segment_start + ctx->cues[i].cluster_pos,
                        ctx->cues[i].time / ctx->timecode_scale + ctx->start_tc);
}

static int32_t go_to_start(mkv_dmx_t* ctx) {
  if (ctx->cue_key_flag) ctx->key_index = 0;
  return reset_seek_status(ctx, ctx->pos[POS_CLUSTER], ctx->start_tc);
}

static int cue_on_video(mkv_dmx_t* ctx, uint32_t i) {
  const mkv_track_t* t = mkv_track_by_number(ctx, ctx->cues[i].track, 0);
  return t && t->track_type == MKV_TRACK_VIDEO;
}

/* The frame left at the head of the queues becomes the seek's answer: the
 * first video head, or on a file without video any head. */
static void publish(mkv_dmx_t* ctx) {
  mkv_dmx_packet_t* p = ctx->pst_cur_packet;
  uint32_t i;
  for (i = 0; i < ctx->track_count; ++i) {
    const mkv_node_t* n = ctx->queues[i].head;
    if (!n || (!ctx->no_video && !is_video(ctx, i))) continue;
    if (!p) return;
    p->m_ulDataLength = n->size;
    p->m_ulTrackType = ctx->tracks[i]->track_type;
    p->m_ulTimestamp = (uint32_t)(n->time / 1000000);
    p->m_ulEndTime = (uint32_t)(n->end / 1000000);
    p->m_ulKeyFrame = n->flags & NODE_KEY;
    return;
  }
}

/* Parses again from the chosen point and drops every frame before its
 * track's chosen time; the seek ends at the first video frame left (on a
 * file without video, the first audio frame) with the other queues empty. */
static int32_t deliver_from(mkv_dmx_t* ctx, uint32_t point) {
  const uint32_t lead = ctx->no_video ? MKV_TRACK_AUDIO : MKV_TRACK_VIDEO;
  uint32_t i, any_key = 0;
  for (i = 0; i < ctx->track_count; ++i) any_key |= ctx->queues[i].seek_key != MKV_KEY_UNSET;
  if (go_to_point(ctx, point) < 0) return ctx->err.code;
  if (!any_key) return 0;
  for (;;) {
    int32_t r = fill_queues_with_packet_type(ctx, MKV_KIND_ANY);
    if (r < 0) return MKV_TAG(ctx, "<run_seek.DMXTYPE_VIDEO");
    for (i = 0; i < ctx->track_count; ++i)
      while (ctx->queues[i].head && ctx->queues[i].head->time < ctx->queues[i].seek_key) drop_head(ctx, i);
    for (i = 0; i < ctx->track_count; ++i) {
      if (!ctx->queues[i].head) continue;
      if (ctx->tracks[i]->track_type != lead) {
        drop_head(ctx, i);
        continue;
      }
      empty_other_kinds(ctx, lead);
      publish(ctx);
      return r;
    }
  }
}

/* Backward linear search: the last exact key frame of the lead track at or
 * before the target, scanning from `point` up to the target, and then over
 * ever longer stretches before the part already scanned (1, 2, 4... cue
 * points back) until one is found; none down to the first point starts the
 * demuxer over from the first cluster. */
static int32_t linear_back(mkv_dmx_t* ctx, uint32_t lead, uint32_t point, uint64_t target, uint32_t was_linear) {
  uint64_t limit = UINT64_MAX; /* frames from here on have been scanned */
  uint32_t step = 1;
  for (;;) {
    uint64_t best = MKV_KEY_UNSET;
    int done = 0;
    uint32_t i, prev;
    if (go_to_point(ctx, point) < 0) return ctx->err.code;
    while (!done) {
      int32_t r = fill_queues_with_packet_type(ctx, MKV_KIND_ANY);
      if (r < 0) {
        if (r != MKV_ERR_END || best == MKV_KEY_UNSET) return MKV_TAG(ctx, "<run_seek.DMXTYPE_VIDEO");
        break;
      }
      for (i = 0; i < ctx->track_count; ++i) {
        while (!done && ctx->queues[i].head) {
          const mkv_node_t* n = ctx->queues[i].head;
          if (i == lead) {
            if (n->pos >= limit || n->time >= target) {
              if (n->pos < limit && n->time == target && exact_key(n)) best = n->time;
              done = 1;
              break;
            }
            if (exact_key(n)) best = n->time;
          }
          drop_head(ctx, i);
        }
      }
    }
    if (best != MKV_KEY_UNSET) {
      if (was_linear && target - best < TEN_S_NS) ctx->retry_done = 0;
      unset_keys(ctx);
      ctx->queues[lead].seek_key = best;
      return deliver_from(ctx, point);
    }
    /* Nothing from this point on: the stretch before it, twice as long as
     * the last one. */
    limit = ctx->segment_start + ctx->cues[point].cluster_pos;
    prev = point > step ? point - step : 0;
    while (prev > 0 && ctx->cues[prev].cluster_pos >= ctx->cues[point].cluster_pos) --prev;
    if (ctx->cues[prev].cluster_pos >= ctx->cues[point].cluster_pos) return go_to_start(ctx);
    point = prev;
    if (step < 0x40000000u) step *= 2;
  }
}

/* Linear search, for cue points that do not lead to key frames (a point on
 * every frame, groups of pictures longer than a point's reach): parses
 * frame by frame from the start point. Forward, the seek lands on the first
 * video key frame at or after the target; backward, on the last one at or
 * before it, so that decoding never starts from a predicted frame. A seek
 * that was already in this mode and lands within 10 s of its target ends
 * the mode, so that later seeks search key frames again. */
static int32_t linear_search(mkv_dmx_t* ctx, uint32_t point, uint64_t target, uint32_t mode) {
  const uint32_t was_linear = ctx->retry_done;
  const int32_t lead = main_track(ctx);
  ctx->retry_done = 1;
  if (lead < 0) return MKV_ERR(ctx, MKV_ERR_INVALID, "video stream does not exist");
  if ((mode & (MODE_FWD | MODE_BWD)) == MODE_BWD) return linear_back(ctx, (uint32_t)lead, point, target, was_linear);
  if (go_to_point(ctx, point) < 0) return ctx->err.code;
  for (;;) {
    uint32_t i;
    int32_t r = fill_queues_with_packet_type(ctx, MKV_KIND_ANY);
    if (r < 0) return MKV_TAG(ctx, "<run_seek.DMXTYPE_VIDEO");
    for (i = 0; i < ctx->track_count; ++i) {
      while (ctx->queues[i].head) {
        const mkv_node_t* n = ctx->queues[i].head;
        if (i != (uint32_t)lead || n->time < target || !exact_key(n)) {
          drop_head(ctx, i);
          continue;
        }
        if (was_linear && n->time - target < TEN_S_NS) ctx->retry_done = 0;
        for (i = 0; i < ctx->track_count; ++i)
          if (i != (uint32_t)lead) mkv_queue_release(ctx, i);
        publish(ctx);
        return r;
      }
    }
  }
}

enum { SEARCH_FOUND, SEARCH_STEP_BACK, SEARCH_LINEAR };

/* Key-frame search from cue point `point`: parses forward, noting for
 * every track the last exact key frame before the target, until the video
 * track's key time is decided. */
static int32_t search_key(mkv_dmx_t* ctx, uint32_t point, uint64_t next_cluster, uint64_t target, uint32_t mode,
                          uint64_t current_ms) {
  const int backward = (mode & (MODE_FWD | MODE_BWD)) == MODE_BWD;
  const uint64_t floor_ns = ctx->last_video_time * 1000000;
  uint64_t best = MKV_KEY_UNSET;
  if (go_to_point(ctx, point) < 0) return ctx->err.code;
  for (;;) {
    uint32_t i;
    int32_t r = fill_queues_with_packet_type(ctx, MKV_KIND_ANY);
    if (r < 0) return MKV_TAG(ctx, backward ? "<run_seek.SEEK_DIR_BWD" : "<run_seek.SEEK_DIR_FWD");
    for (i = 0; i < ctx->track_count; ++i) {
      mkv_queue_t* q = &ctx->queues[i];
      while (q->head && q->head->time < target) {
        if (exact_key(q->head)) {
          q->seek_key = q->head->time;
          if (is_video(ctx, i)) best = q->head->time;
        }
        drop_head(ctx, i);
      }
      if (!q->head) continue;
      if (exact_key(q->head)) {
        q->seek_key = q->head->time;
      } else if (q->head->time - target > LINEAR_AFTER_NS && !ctx->retry_done) {
        ctx->retry_done = 1;
        return SEARCH_LINEAR;
      }
    }
    for (i = 0; i < ctx->track_count; ++i) {
      mkv_queue_t* q = &ctx->queues[i];
      if (!q->head) continue;
      if (!is_video(ctx, i)) {
        drop_head(ctx, i);
        continue;
      }
      if (backward) {
        if (q->seek_key != MKV_KEY_UNSET &&
            (q->seek_key < target || (q->seek_key == target && target / 1000000 < current_ms))) {
          if (ctx->retry_done && target - q->seek_key < TEN_S_NS) ctx->retry_done = 0;
          return SEARCH_FOUND;
        }
        if (ctx->next_pos < next_cluster) {
          drop_head(ctx, i);
          continue;
        }
        if (best == MKV_KEY_UNSET) return SEARCH_STEP_BACK;
        q->seek_key = best;
        return SEARCH_FOUND;
      }
      if (q->seek_key != MKV_KEY_UNSET && q->seek_key > floor_ns && q->seek_key >= target) {
        if (ctx->retry_done && q->seek_key - target < TEN_S_NS) ctx->retry_done = 0;
        return SEARCH_FOUND;
      }
      drop_head(ctx, i);
    }
  }
}

static int32_t run_seek(mkv_dmx_t* ctx, uint64_t target, uint32_t mode, uint64_t current_ms) {
  uint32_t lo, hi, start = 0, point, retry_from_zero = 0;
  int32_t r;
  if (!target) return go_to_start(ctx);
  if (!(ctx->read_flags & READ_CUES) || !ctx->cue_count)
    return MKV_ERR(ctx, MKV_ERR_INVALID, "can't find m_pstCues in run_seek");
  for (lo = 0, hi = ctx->cue_count; lo < hi;) {
    uint32_t mid = (lo + hi) / 2;
    if (ctx->cues[mid].time <= target) {
      start = mid;
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  mkv_set_track_mask(ctx, ctx->track_mask);
  if (mode & MODE_BY_AUDIO) {
    uint32_t i;
    for (i = 0; i < ctx->track_count; ++i) ctx->queues[i].seek_key = target;
    return deliver_from(ctx, start);
  }
  point = start;
  for (;;) {
    uint64_t next_cluster = 0;
    uint32_t j, prev = 0;
    unset_keys(ctx);
    mkv_queues_release_all(ctx);
    /* Points that name a block may belong to an audio track: start from a
     * video track's point instead. */
    if (ctx->cues[point].block && !cue_on_video(ctx, point)) {
      if (mode & MODE_FWD) {
        while (point + 1 < ctx->cue_count && !cue_on_video(ctx, point)) ++point;
      } else {
        while (point > 0 && !cue_on_video(ctx, point)) --point;
        if (!cue_on_video(ctx, point)) return go_to_start(ctx);
      }
    }
    for (j = point + 1; j < ctx->cue_count; ++j)
      if (ctx->cues[j].cluster_pos > ctx->cues[point].cluster_pos) {
        next_cluster = ctx->segment_start + ctx->cues[j].cluster_pos;
        break;
      }
    for (j = point; j-- > 0;)
      if (ctx->cues[j].cluster_pos < ctx->cues[point].cluster_pos) {
        prev = j;
        break;
      }
    if (ctx->retry_done) return linear_search(ctx, start, target, mode);
    r = search_key(ctx, point, next_cluster, target, mode, current_ms);
    if (r < 0) return r;
    if (r == SEARCH_FOUND) return deliver_from(ctx, point);
    if (r == SEARCH_LINEAR) return linear_search(ctx, start, target, mode);
    /* No video key frame before the target from this point: step back,
     * but not without end; the anchor remembers where stepping began. */
    if (!ctx->back_step) ctx->back_step = point;
    if (ctx->back_step > point + 1) {
      ctx->back_step = 0;
      return linear_search(ctx, start, target, mode);
    }
    if (ctx->back_step == 1) ctx->back_step = 2;
    if (retry_from_zero) {
      ctx->options |= OPT_FELL_BACK;
      return go_to_start(ctx);
    }
    retry_from_zero = prev == 0;
    point = prev;
  }
}

int32_t SeekStream(mkv_dmx_t* ctx, mkv_dmx_packet_t** out, int32_t target_ms, uint32_t unused, uint32_t flags) {
  uint32_t mode = ctx->no_video ? MODE_NO_VIDEO : MODE_VIDEO;
  int32_t main, r;
  int64_t t = 0, current;
  int to_start = 0, replaced = 0;
  uint64_t saved_pos, saved_tc, target_ns;
  mkv_dmx_packet_t* rec;
  (void)unused;
  if (ctx->no_video) flags |= MKV_SEEK_BY_AUDIO;
  if (!(flags & MKV_SEEK_RELATIVE)) mode |= MODE_ABSOLUTE;
  if (flags & MKV_SEEK_BY_AUDIO) mode |= MODE_BY_AUDIO;
  ctx->video_eos = ctx->audio_eos = ctx->subtitle_eos = 0;
  ctx->pst_cur_bs = &ctx->bs_main;
  main = main_track(ctx);
  if (main < 0 || !ctx->packet_records[main]) return MKV_ERR(ctx, MKV_ERR_INVALID, "video stream does not exist");
  rec = ctx->packet_records[main];
  ctx->pst_cur_packet = rec;
  current = rec->m_ulTimestamp;
  if (ctx->cook_state) ctx->cook_state = 2;
  if (mode & MODE_ABSOLUTE) {
    t = target_ms;
    if (t <= 0) {
      to_start = 1;
    } else if (current > t) {
      mode |= MODE_BWD;
      if ((uint64_t)t < ctx->min_key_time && ctx->min_key_time < 1000) to_start = 1;
    } else if (ctx->seek_end_mode == 2 && ctx->max_key_time < (uint64_t)current) {
      mode |= MODE_BWD;
      t = (int64_t)ctx->max_key_time;
      replaced = 1;
    } else {
      mode |= MODE_FWD;
      if (t == current) t = current + 100;
      if ((uint64_t)t > ctx->max_key_time && ctx->seek_end_mode == 2) {
        t = (int64_t)ctx->max_key_time;
        replaced = 1;
      }
    }
  } else {
    t = current + target_ms;
    if (t <= 0) to_start = 1;
    mode |= target_ms >= 0 ? MODE_FWD : MODE_BWD;
    if (!to_start && (uint64_t)t > ctx->max_key_time && ctx->seek_end_mode == 2) {
      t = (int64_t)ctx->max_key_time;
      replaced = 1;
    }
  }
  if (to_start) {
    t = 0;
    mode = MODE_VIDEO | MODE_BWD;
  } else if (!(replaced && !ctx->max_key_time)) {
    if (!(ctx->read_flags & READ_CUES) || !ctx->cue_count)
      return MKV_ERR(ctx, MKV_ERR_NO_KEYFRAME, "can't seek, keyframe does not exist");
    if (ctx->cue_count == 1) return MKV_ERR(ctx, MKV_ERR_ONE_KEYFRAME, "can't seek, there is only one keyframe");
  }
  /* Times go out truncated to whole milliseconds, and a time scale other
   * than 1 ms puts frames between them: a backward seek to T takes in every
   * frame reported at T, so that a seek to the time reported for a key frame
   * lands on that frame. */
  target_ns = (uint64_t)t * 1000000;
  if (t && (mode & (MODE_FWD | MODE_BWD)) == MODE_BWD && !(mode & MODE_BY_AUDIO)) target_ns += 999999;
  saved_pos = ctx->next_pos;
  saved_tc = ctx->cluster_tc;
  if (ctx->cue_key_flag) ctx->seek_dir = (mode & MODE_FWD) ? 1 : 2;
  r = run_seek(ctx, target_ns, mode, (uint64_t)current);
  if (r >= 0 && !ctx->retry_done && t &&
      ((rec->m_ulTimestamp == 0 && !rec->m_ulKeyFrame) || rec->m_ulTimestamp == (uint64_t)current)) {
    if (!(ctx->options & OPT_FELL_BACK)) {
      ctx->retry_done = 1;
      r = mkv_restart_at(ctx, saved_pos, saved_tc);
      r = r < 0 ? MKV_TAG(ctx, "<run_seek") : run_seek(ctx, target_ns, mode, (uint64_t)current);
    } else {
      ctx->options &= ~(uint32_t)OPT_FELL_BACK;
    }
  }
  ctx->seek_dir = 0;
  if (r >= 0) {
    *out = rec;
    if (rec->m_ulTimestamp && rec->m_ulTimestamp < ctx->min_key_time) ctx->min_key_time = rec->m_ulTimestamp;
    if (ctx->options & OPT_SINGLE_HANDLE) ctx->pst_cur_bs = &ctx->bs_video;
    return 0;
  }
  if (r == MKV_ERR_END || ctx->err.code == MKV_ERR_END) {
    if ((uint64_t)t <= ctx->max_key_time || ctx->seek_end_mode != 1) {
      int32_t code = ctx->err.code;
      if (mkv_restart_at(ctx, saved_pos, saved_tc) < 0) return MKV_TAG(ctx, "<run_seek");
      ctx->err.code = code;
    }
    if ((ctx->options & OPT_UNDERRUN_GUARD) && ctx->next_pos < ctx->segment_end) {
      mkv_dmx_set_last_error(MKV_ERR_UNDERRUN, 0, 0, 0, "", &ctx->err);
      return MKV_TAG(ctx, "<run_seek.MKVDMX_ERR_BUFFER_UNDERRUN");
    }
  }
  return MKV_TAG(ctx, "<SeekStream");
}
