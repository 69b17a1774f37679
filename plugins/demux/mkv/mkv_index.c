/* Matroska demuxer: the cluster-scan index for files without Cues, the
 * duration measured from the last clusters, and the last time of the file
 * found at open. */

#include "mkv_internal.h"

#define MIN_CLUSTER 1024u
#define MAX_CLUSTER 0x4000000u /* 64 MiB */
#define MAX_SKIPPED_CHILD 4195327u
#define SCAN_JUMP 0xA00000u
#define TAIL_SCAN 0x400000u

static int is_cluster_id(const uint8_t* b) { return b[0] == 0x1F && b[1] == 0x43 && b[2] == 0xB6 && b[3] == 0x75; }

static uint64_t cue_ticks_to_ns(const mkv_dmx_t* ctx, uint64_t tc) {
  return tc > ctx->start_tc ? (tc - ctx->start_tc) * ctx->timecode_scale : 0;
}

/* The Timecode of the cluster whose payload starts at the reader; 0 when
 * none is found before `limit`. */
static int32_t cluster_timecode(mkv_dmx_t* ctx, mkv_dmx_bs_t* bs, uint64_t limit, uint64_t* tc) {
  *tc = 0;
  while (mkv_bs_pos(bs) < limit) {
    uint32_t id;
    uint64_t size;
    if (read_box_header(bs, &id, &size) < 0) return -1;
    if (id == ID_TIMECODE) {
      if (read_uint(bs, size, tc) < 0) *tc = 0;
      return 0;
    }
    if (size <= MAX_SKIPPED_CHILD && mkv_dmx_bs_skip_bytes(bs, size) < 0) return -1;
  }
  return -1;
}

int32_t create_index(mkv_dmx_t* ctx) {
  mkv_dmx_bs_t* bs = &ctx->bs_index;
  uint64_t p = ctx->pos[POS_CLUSTER];
  uint32_t steps = 0;
  ctx->cue_count = 0;
  if (mkv_dmx_bs_fseek(bs, p) < 0) return MKV_TAG(ctx, "<make_index");
  while (p < ctx->segment_end) {
    uint8_t id[4];
    uint64_t size, end, tc, next_size;
    uint32_t further, next_id;
    mkv_cue_t* cue;
    if (__atomic_load_n(&ctx->run_state, __ATOMIC_ACQUIRE) & RUN_CANCEL) return 0;
    if (++steps > 50) {
      steps = 0;
      p += SCAN_JUMP;
      continue;
    }
    if (mkv_dmx_bs_fseek(bs, p) < 0) {
      p += 4;
      continue;
    }
    if (mkv_dmx_bs_read_bytes(bs, id, 4) < 0) {
      if (ctx->err.code == MKV_ERR_END) break;
      p += 4;
      continue;
    }
    if (!is_cluster_id(id)) {
      ++p;
      --steps; /* a byte step is not a new start */
      continue;
    }
    if (read_vlc_uint_imp(bs, &further, &size) < 0 || mkv_is_unknown_size(size, further) || size < MIN_CLUSTER ||
        size >= MAX_CLUSTER) {
      p += 4;
      continue;
    }
    end = mkv_bs_pos(bs) + size;
    if (cluster_timecode(ctx, bs, end + 1024, &tc) < 0) {
      p += 4;
      continue;
    }
    if (mkv_dmx_bs_fseek(bs, end) < 0 || read_box_header(bs, &next_id, &next_size) < 0 || next_id != ID_CLUSTER ||
        next_size < MIN_CLUSTER || next_size >= MAX_CLUSTER) {
      p += 4;
      continue;
    }
    cue = (mkv_cue_t*)mkv_array_add(ctx, (void**)&ctx->cues, &ctx->cue_count, &ctx->cue_cap, sizeof *cue,
                                    "Insufficient memory to re-allocate of mkv array");
    if (!cue) {
      mkv_dmx_clear_last_error(&ctx->err);
      return 0;
    }
    cue->time = cue_ticks_to_ns(ctx, tc);
    cue->cluster_pos = p - ctx->segment_start;
    ctx->max_key_time = cue->time / 1000000;
    if (ctx->cue_count >= 2) ctx->min_key_time = ctx->cues[1].time / 1000000;
    ctx->read_flags |= READ_CUES;
    p = end;
    steps = 0;
  }
  mkv_dmx_clear_last_error(&ctx->err);
  if (!ctx->cue_count) {
    if (add_cue(ctx, ctx->pos[POS_CLUSTER] - ctx->segment_start, 0) < 0) return MKV_TAG(ctx, "<make_index.cp");
    ctx->read_flags |= READ_CUES;
    ctx->max_key_time = 0;
  }
  return 0;
}

/* Reads the head of a Block or SimpleBlock at the reader: its track, its
 * relative timecode and its frame count. 0, or the reader's code. */
static int32_t block_head(mkv_dmx_bs_t* bs, uint64_t* track, int16_t* rel, uint32_t* frames) {
  int32_t hi, lo, flags, count, r = read_vlc_uint_imp(bs, 0, track);
  if (r < 0) return r;
  if ((hi = mkv_bs_byte(bs)) < 0) return hi;
  if ((lo = mkv_bs_byte(bs)) < 0) return lo;
  if ((flags = mkv_bs_byte(bs)) < 0) return flags;
  *rel = (int16_t)(uint16_t)(hi << 8 | lo);
  *frames = 1;
  if (flags & 0x06) {
    if ((count = mkv_bs_byte(bs)) < 0) return count;
    *frames = (uint32_t)count + 1;
  }
  return 0;
}

/* Where the frames of a block end, in nanoseconds from the start timecode
 * (0 before it): its time plus its BlockDuration, else plus its frame count
 * times the track's DefaultDuration; its time where neither is known. Timed
 * as the cluster reader times the block. */
static uint64_t block_end(const mkv_dmx_t* ctx, const mkv_track_t* t, uint64_t tc, int16_t rel, uint32_t frames,
                          int has_duration, uint64_t duration) {
  int64_t ticks = (int64_t)(tc - ctx->start_tc + (uint64_t)(int64_t)rel), ns;
  uint64_t magnitude, span;
  if (__builtin_mul_overflow(ticks, (int64_t)ctx->timecode_scale, &ns)) ns = ticks < 0 ? INT64_MIN : INT64_MAX;
  magnitude = mkv_mul_fixed(ns < 0 ? (uint64_t)0 - (uint64_t)ns : (uint64_t)ns, t->track_timecode_scale);
  span = has_duration ? mkv_mul_fixed(duration * ctx->timecode_scale, t->track_timecode_scale)
                      : frames * t->default_duration;
  if (ns >= 0) return magnitude + span < span ? UINT64_MAX : magnitude + span;
  return span > magnitude ? span - magnitude : 0;
}

/* Walks a cluster's children up to `end`, raising *latest to where each
 * block of a delivered track ends. 0 or a negative code. */
static int32_t measure_cluster(mkv_dmx_t* ctx, mkv_dmx_bs_t* bs, uint64_t end, uint64_t* tc, uint64_t* latest,
                               int* found) {
  while (mkv_bs_pos(bs) < end) {
    uint64_t child, child_end, number = 0, duration = 0;
    uint32_t id, frames = 0;
    int16_t rel = 0;
    int has_block = 0, has_duration = 0;
    mkv_track_t* t;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<get_real_duration.default");
    child_end = mkv_bs_pos(bs) + child;
    if (id == ID_TIMECODE) {
      if (read_uint(bs, child, tc) < 0) return MKV_TAG(ctx, "<get_real_duration.default");
      continue;
    }
    if (id == ID_SIMPLEBLOCK) {
      if (block_head(bs, &number, &rel, &frames) < 0) return MKV_TAG(ctx, "<get_real_duration.CLUSTER_EID_SIMPLE_BLOCK");
      has_block = 1;
    } else if (id == ID_BLOCKGROUP) {
      while (mkv_bs_pos(bs) < child_end) {
        uint32_t gid;
        uint64_t gsize, gend;
        if (read_box_header(bs, &gid, &gsize) < 0) return MKV_TAG(ctx, "<get_real_duration.read_box_block_group");
        gend = mkv_bs_pos(bs) + gsize;
        if (gid == ID_BLOCK && !has_block) {
          if (block_head(bs, &number, &rel, &frames) < 0) return MKV_TAG(ctx, "<get_real_duration.CLUSTER_EID_BLOCK");
          has_block = 1;
        } else if (gid == ID_BLOCK_DURATION) {
          if (read_uint(bs, gsize, &duration) < 0) return MKV_TAG(ctx, "<get_real_duration.read_box_block_group");
          has_duration = 1;
        }
        if (mkv_dmx_bs_fseek(bs, gend) < 0) return MKV_TAG(ctx, "<get_real_duration.read_box_block_group");
      }
    }
    t = has_block && number <= 0xFFFFFFFFu ? mkv_track_by_number(ctx, (uint32_t)number, 0) : 0;
    if (t && mkv_track_delivered(ctx, t)) {
      const uint64_t e = block_end(ctx, t, *tc, rel, frames, has_duration, duration);
      if (!*found || e > *latest) *latest = e;
      *found = 1;
    }
    if (mkv_dmx_bs_fseek(bs, child_end) < 0) return MKV_TAG(ctx, "<get_real_duration.default");
  }
  return 0;
}

/* The duration is where the last frame delivered ends, measured over the
 * clusters from the last cue point on: every block of a delivered track,
 * since with B-frames the block stored last is not the frame shown last.
 * What was measured before damage or the end of a cut file stands. */
int32_t get_real_duration(mkv_dmx_t* ctx) {
  mkv_dmx_bs_t* bs = &ctx->bs_index;
  const mkv_cue_t* last;
  uint64_t p, latest = 0, tc;
  int found = 0;
  int32_t r = 0;
  if (!ctx->cue_count) return 0;
  last = &ctx->cues[ctx->cue_count - 1];
  p = ctx->segment_start + last->cluster_pos;
  tc = last->time / ctx->timecode_scale + ctx->start_tc;
  if (mkv_dmx_bs_fseek(bs, p) < 0) return MKV_TAG(ctx, "<get_real_duration");
  while (p < ctx->segment_end) {
    uint32_t id;
    uint64_t size;
    if (mkv_dmx_bs_fseek(bs, p) < 0 || read_box_header(bs, &id, &size) < 0) {
      r = MKV_TAG(ctx, "<get_real_duration");
      break;
    }
    if (id != ID_CLUSTER) break;
    p = mkv_bs_pos(bs) + size;
    r = measure_cluster(ctx, bs, p, &tc, &latest, &found);
    if (r < 0) break;
  }
  if (found) {
    ctx->real_duration_ns = latest;
    ctx->file_info.duration_ms = (uint32_t)(latest / 1000000);
  }
  return r;
}

int32_t GetRealDuration(mkv_dmx_t* ctx) { return get_real_duration(ctx); }

/* The last key time belongs to the video track that is read, which op 4
 * may have changed since open. */
static void publish_last_key_time(mkv_dmx_t* ctx) {
  uint32_t i;
  if (!ctx->video_info) return;
  for (i = 0; i < ctx->video_count; ++i)
    if (ctx->video_info[i].track_number == ctx->sel_video_number) {
      ctx->video_info[i].last_cue_time_ms = (uint32_t)ctx->max_key_time;
      return;
    }
}

int32_t CreateIndex(mkv_dmx_t* ctx) {
  if (ctx->read_flags & READ_CUES) return 0;
  if (create_index(ctx) >= 0) {
    get_real_duration(ctx);
    mkv_dmx_clear_last_error(&ctx->err);
    if (ctx->cue_count >= 2) {
      ctx->file_info.seekable = 1;
      publish_last_key_time(ctx);
    }
  }
  return 0;
}

/* Finds the last cluster at or after the reader by scanning for its ID;
 * the reader ends at that cluster's header. */
static int32_t last_cluster_from_tail(mkv_dmx_t* ctx, mkv_dmx_bs_t* bs, uint64_t* cluster, uint64_t* tc) {
  uint64_t p = mkv_bs_pos(bs), scanned, found = 0, size, end;
  uint32_t id;
  for (scanned = 0; scanned < TAIL_SCAN; ++scanned, ++p) {
    uint8_t b[4];
    if (p >= ctx->segment_end) return -1;
    if (mkv_dmx_bs_fseek(bs, p) < 0 || mkv_dmx_bs_show_bytes(bs, b, 4) < 0) return MKV_TAG(ctx, "<find_last_timecode.Step1");
    if (is_cluster_id(b)) {
      found = p;
      break;
    }
  }
  if (!found) return -1;
  /* Walk from cluster to cluster to the last one inside the segment. */
  for (;;) {
    if (mkv_dmx_bs_fseek(bs, found) < 0 || read_box_header(bs, &id, &size) < 0)
      return MKV_TAG(ctx, "<find_last_timecode.read_box_header");
    end = mkv_bs_pos(bs) + size;
    if (end >= ctx->segment_end || mkv_dmx_bs_fseek(bs, end) < 0 || read_box_header(bs, &id, &size) < 0 ||
        id != ID_CLUSTER)
      break;
    found = end;
  }
  mkv_dmx_clear_last_error(&ctx->err);
  if (mkv_dmx_bs_fseek(bs, found) < 0 || read_box_header(bs, &id, &size) < 0)
    return MKV_TAG(ctx, "<find_last_timecode.Step2");
  end = mkv_bs_pos(bs) + size;
  if (cluster_timecode(ctx, bs, end, tc) < 0) return MKV_TAG(ctx, "<find_last_timecode.CLUSTER_EID_TIMECODE");
  *cluster = found;
  /* Cues after the last cluster. */
  if (mkv_dmx_bs_fseek(bs, end) >= 0) {
    while (mkv_bs_pos(bs) < ctx->segment_end) {
      if (read_box_header(bs, &id, &size) < 0) break;
      if (id == ID_CUES) {
        mkv_dmx_bs_t* keep = ctx->pst_cur_bs;
        ctx->pst_cur_bs = bs;
        if (element_cues(ctx, size) >= 0 && ctx->cue_count) prepare_cue_table(ctx);
        ctx->pst_cur_bs = keep;
        break;
      }
      if (mkv_dmx_bs_skip_bytes(bs, size) < 0) break;
    }
  }
  mkv_dmx_clear_last_error(&ctx->err);
  return 0;
}

uint64_t find_last_timecode(mkv_dmx_t* ctx) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t last_key = ctx->max_key_time * 1000000, largest = 0, first = ctx->pos[POS_CLUSTER];
  int have = 0;
  uint32_t i;
  mkv_queues_release_all(ctx);
  if ((ctx->read_flags & READ_CUES) && ctx->cue_count) {
    int32_t j = (int32_t)ctx->cue_count - 1;
    while (j >= 0 && ctx->segment_start + ctx->cues[j].cluster_pos >= ctx->segment_end) --j;
    if (j < 0) return UINT64_MAX;
    if (j != (int32_t)ctx->cue_count - 1 && j > 0) --j;
    ctx->cue_count = (uint32_t)j + 1;
    ctx->next_pos = ctx->elem_pos = ctx->segment_start + ctx->cues[j].cluster_pos;
    ctx->cluster_tc = ctx->cues[j].time / ctx->timecode_scale + ctx->start_tc;
    ctx->max_key_time = ctx->cues[j].time / 1000000;
  } else {
    uint64_t from = ctx->file_size > ctx->tail_window ? ctx->file_size - ctx->tail_window : 0, cluster = 0, tc = 0;
    if (from < first) from = first;
    if (from >= ctx->segment_end || mkv_dmx_bs_fseek(bs, from) < 0) return UINT64_MAX;
    if (last_cluster_from_tail(ctx, bs, &cluster, &tc) < 0) {
      ctx->next_pos = ctx->elem_pos = first;
      ctx->cluster_tc = ctx->start_tc;
      return UINT64_MAX;
    }
    ctx->next_pos = ctx->elem_pos = cluster;
    ctx->cluster_tc = tc;
  }
  for (;;) {
    int32_t r = fill_queues_with_packet_type(ctx, MKV_KIND_ANY);
    int enough = 0;
    for (i = 0; i < ctx->track_count; ++i) {
      while (ctx->queues[i].head) {
        mkv_node_t* n = ctx->queues[i].head;
        uint64_t t = (n->flags & NODE_NO_END) ? n->time : n->end;
        if (t > largest || !have) largest = t;
        have = 1;
        if ((n->flags & NODE_KEY) && ctx->tracks[i]->track_type == MKV_TRACK_VIDEO) {
          last_key = n->time;
          /* With Cues, a measured duration more than a second past this
           * key frame is trusted: no need to read on to the end. */
          if ((ctx->read_flags & READ_CUES) && ctx->real_duration_ns > n->time + 1000000000ull) enough = 1;
        }
        ctx->queues[i].head = n->next;
        n->next = ctx->free_nodes;
        ctx->free_nodes = n;
      }
      ctx->queues[i].tail = 0;
    }
    if (enough) {
      largest = 0;
      break;
    }
    if (r < 0) break;
  }
  mkv_dmx_clear_last_error(&ctx->err);
  if (last_key / 1000000 != ctx->max_key_time) {
    ctx->max_key_time = last_key / 1000000;
    publish_last_key_time(ctx);
  }
  ctx->track_mask = 0;
  ctx->pending_error = 0;
  ctx->resync_from = 0;
  mkv_queues_release_all(ctx);
  ctx->next_pos = ctx->elem_pos = ctx->pos[POS_CLUSTER] = first;
  ctx->cluster_tc = ctx->start_tc;
  ctx->video_eos = ctx->audio_eos = ctx->subtitle_eos = 0;
  return have ? largest : UINT64_MAX;
}
