/* Matroska demuxer: seeking through the cue table. The worker starts at the
 * cue point for the target, parses forward dropping frames before it, picks
 * the key frame of the video track (or the first audio frame of a file
 * without video) and leaves that frame at the head of its queue. */

#include "mkv_internal.h"

enum {
  MODE_FWD = 0x1, MODE_BWD = 0x2, MODE_VIDEO = 0x10, MODE_NO_VIDEO = 0x20, MODE_ABSOLUTE = 0x200, MODE_BY_AUDIO = 0x400
};

#define NOT_FOUND 1
#define LINEAR 2
#define LINEAR_AFTER_NS 100000000000ull /* 100 s past the target without a key frame */

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

static int32_t go_to_point(mkv_dmx_t* ctx, uint32_t i) {
  if (ctx->cue_key_flag) ctx->key_index = i;
  return reset_seek_status(ctx, ctx->segment_start + ctx->cues[i].cluster_pos,
                           ctx->cues[i].time / ctx->timecode_scale + ctx->start_tc);
}

/* Finds the key time of the main track starting at cue point i: forward,
 * the first key frame at or after the target (and after the last video
 * frame delivered); backward, the last key frame before or at it. */
static int32_t search_key(mkv_dmx_t* ctx, uint32_t point, uint64_t target, uint32_t mode, uint32_t main,
                          uint64_t* key) {
  const int forward = (mode & MODE_FWD) != 0;
  const uint64_t floor_ns = ctx->last_video_time * 1000000;
  int have_best = 0;
  uint64_t best = 0;
  if (go_to_point(ctx, point) < 0) return ctx->err.code;
  for (;;) {
    uint32_t i;
    int32_t r = fill_queues_with_packet_type(ctx, MKV_KIND_ANY);
    if (r < 0) {
      if (r == MKV_ERR_END && !forward && have_best) {
        *key = best;
        return 0;
      }
      return MKV_TAG(ctx, forward ? "<run_seek.SEEK_DIR_FWD" : "<run_seek.SEEK_DIR_BWD");
    }
    for (i = 0; i < ctx->track_count; ++i) {
      while (ctx->queues[i].head) {
        const mkv_node_t* n = ctx->queues[i].head;
        if (i != main) {
          drop_head(ctx, i);
          continue;
        }
        if (n->time < target) {
          if (exact_key(n)) {
            have_best = 1;
            best = n->time;
          }
          drop_head(ctx, i);
          continue;
        }
        if (forward) {
          if (exact_key(n) && (n->time > floor_ns || !ctx->last_video_time)) {
            *key = n->time;
            return 0;
          }
          if (n->time - target > LINEAR_AFTER_NS && !ctx->retry_done) return LINEAR;
          drop_head(ctx, i);
          continue;
        }
        if (exact_key(n) && n->time == target) {
          *key = n->time;
          return 0;
        }
        if (have_best) {
          *key = best;
          return 0;
        }
        return NOT_FOUND;
      }
    }
  }
}

/* Parses from cue point i and drops every frame before `key`; the main
 * track's first frame at or after it stays at the head of its queue. */
static int32_t deliver_from(mkv_dmx_t* ctx, uint32_t point, uint64_t key, uint32_t main, int need_key) {
  if (go_to_point(ctx, point) < 0) return ctx->err.code;
  for (;;) {
    uint32_t i;
    /* Kept frames of the other tracks must not stop the parse: step until
     * the main track has its frame. */
    int32_t r = mkv_parse_step(ctx);
    if (r < 0) return MKV_TAG(ctx, "<run_seek.DMXTYPE_VIDEO");
    for (i = 0; i < ctx->track_count; ++i) {
      while (ctx->queues[i].head) {
        const mkv_node_t* n = ctx->queues[i].head;
        if (n->time < key || (i == main && need_key && !exact_key(n))) {
          drop_head(ctx, i);
          continue;
        }
        break;
      }
    }
    if (ctx->queues[main].head) return 0;
  }
}

static void publish(mkv_dmx_t* ctx, uint32_t main) {
  const mkv_node_t* n = ctx->queues[main].head;
  mkv_dmx_packet_t* p = ctx->pst_cur_packet;
  if (!n || !p) return;
  p->m_ulDataLength = n->size;
  p->m_ulTrackType = ctx->tracks[main]->track_type;
  p->m_ulTimestamp = (uint32_t)(n->time / 1000000);
  p->m_ulEndTime = (uint32_t)(n->end / 1000000);
  p->m_ulKeyFrame = n->flags & NODE_KEY;
}

static int32_t run_seek(mkv_dmx_t* ctx, uint64_t target, uint32_t mode) {
  uint32_t lo, hi, start = 0, point;
  int32_t main = main_track(ctx), r;
  uint64_t key = 0;
  if (!target) {
    if (ctx->cue_key_flag) ctx->key_index = 0;
    return reset_seek_status(ctx, ctx->pos[POS_CLUSTER], ctx->start_tc);
  }
  if (!(ctx->read_flags & READ_CUES) || !ctx->cue_count)
    return MKV_ERR(ctx, MKV_ERR_INVALID, "can't find m_pstCues in run_seek");
  if (main < 0) return MKV_ERR(ctx, MKV_ERR_INVALID, "video stream does not exist");
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
  if ((mode & MODE_BY_AUDIO) || ctx->no_video) {
    r = deliver_from(ctx, start, target, (uint32_t)main, 0);
    if (r < 0) return r;
    publish(ctx, (uint32_t)main);
    return 0;
  }
  point = start;
  if (!ctx->retry_done) {
    for (;;) {
      r = search_key(ctx, point, target, mode, (uint32_t)main, &key);
      if (r < 0) return r;
      if (r == 0) {
        /* A landing more than 10 s away from the target ends the linear mode. */
        if (ctx->retry_done && (key > target ? key - target : target - key) < 10000000000ull) ctx->retry_done = 0;
        r = deliver_from(ctx, point, key, (uint32_t)main, 1);
        if (r < 0) return r;
        publish(ctx, (uint32_t)main);
        return 0;
      }
      if (r == LINEAR) break;
      /* No key frame before the target from this point: step back. */
      if (point == 0) {
        ctx->options |= OPT_FELL_BACK;
        if (ctx->cue_key_flag) ctx->key_index = 0;
        r = reset_seek_status(ctx, ctx->pos[POS_CLUSTER], ctx->start_tc);
        if (r < 0) return r;
        r = deliver_from(ctx, 0, 0, (uint32_t)main, 0);
        if (r < 0) return r;
        publish(ctx, (uint32_t)main);
        return 0;
      }
      --point;
    }
  }
  /* Linear search: the first frame of the main track at or after the target. */
  ctx->retry_done = 1;
  r = deliver_from(ctx, start, target, (uint32_t)main, 0);
  if (r < 0) return r;
  publish(ctx, (uint32_t)main);
  return 0;
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
  target_ns = (uint64_t)t * 1000000;
  saved_pos = ctx->next_pos;
  saved_tc = ctx->cluster_tc;
  if (ctx->cue_key_flag) ctx->seek_dir = (mode & MODE_FWD) ? 1 : 2;
  r = run_seek(ctx, target_ns, mode);
  if (r >= 0 && !ctx->retry_done && t &&
      ((rec->m_ulTimestamp == 0 && !rec->m_ulKeyFrame) || rec->m_ulTimestamp == (uint64_t)current)) {
    if (!(ctx->options & OPT_FELL_BACK)) {
      ctx->retry_done = 1;
      r = reset_seek_status(ctx, saved_pos, saved_tc);
      if (r >= 0) r = run_seek(ctx, target_ns, mode);
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
      if (reset_seek_status(ctx, saved_pos, saved_tc) < 0) return MKV_TAG(ctx, "<run_seek");
      ctx->err.code = code;
    }
    if ((ctx->options & OPT_UNDERRUN_GUARD) && ctx->next_pos < ctx->segment_end) {
      mkv_dmx_set_last_error(MKV_ERR_UNDERRUN, 0, 0, 0, "", &ctx->err);
      return MKV_TAG(ctx, "<run_seek.MKVDMX_ERR_BUFFER_UNDERRUN");
    }
  }
  return MKV_TAG(ctx, "<SeekStream");
}
