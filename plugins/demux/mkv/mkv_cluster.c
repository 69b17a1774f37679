/* Matroska demuxer: the start timecode from the first cluster, incremental
 * cluster reading, and Block/SimpleBlock parsing with Xiph, EBML and fixed
 * lacing into frame nodes (position, size, times, flags). */

#include "mkv_internal.h"

#define BG_TAG(name) "<read_box_block_group." name

enum { LACE_NONE, LACE_XIPH, LACE_FIXED, LACE_EBML };

int32_t read_box_first_cluster(mkv_dmx_t* ctx, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end, track;
  ctx->read_flags |= READ_CLUSTER;
  ctx->start_tc = 0;
  if (size > ctx->file_size) size = ctx->file_size > mkv_bs_pos(bs) ? ctx->file_size - mkv_bs_pos(bs) : 0;
  ctx->first_cluster_size = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)size;
  end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child, v;
    int32_t hi, lo;
    int16_t rel;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_box_first_cluster");
    if (id == ID_TIMECODE) {
      if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, "<read_box_first_cluster.CLUSTER_EID_TIMECODE");
      ctx->start_tc += v;
    } else if (id == ID_SIMPLEBLOCK) {
      if (read_vlc_uint_imp(bs, 0, &track) < 0 || (hi = mkv_bs_byte(bs)) < 0 || (lo = mkv_bs_byte(bs)) < 0)
        return MKV_TAG(ctx, "<read_box_first_cluster.CLUSTER_EID_SIMPLE_BLOCK");
      rel = (int16_t)(uint16_t)(hi << 8 | lo);
      if (rel > 0) ctx->start_tc += (uint64_t)rel;
      if (ctx->options & OPT_NO_END_SEARCH) return 0;
      return mkv_dmx_bs_fseek(bs, end) < 0 ? MKV_TAG(ctx, "<read_box_first_cluster.CLUSTER_EID_SIMPLE_BLOCK") : 0;
    } else if (id == ID_BLOCKGROUP) {
      uint64_t group_end = mkv_bs_pos(bs) + child;
      while (mkv_bs_pos(bs) < group_end) {
        if (read_box_header(bs, &id, &child) < 0) {
          MKV_TAG(ctx, "<read_first_block_group");
          return MKV_TAG(ctx, "<read_box_first_cluster.CLUSTER_EID_BLOCK_GROUP");
        }
        if (id == ID_BLOCK) {
          if (read_vlc_uint_imp(bs, 0, &track) < 0 || (hi = mkv_bs_byte(bs)) < 0 || (lo = mkv_bs_byte(bs)) < 0) {
            MKV_TAG(ctx, "<read_first_block_group.CLUSTER_EID_BLOCK");
            return MKV_TAG(ctx, "<read_box_first_cluster.CLUSTER_EID_BLOCK_GROUP");
          }
          rel = (int16_t)(uint16_t)(hi << 8 | lo);
          if (rel > 0) ctx->start_tc += (uint64_t)rel;
          break;
        }
        if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
          MKV_TAG(ctx, "<read_first_block_group.default");
          return MKV_TAG(ctx, "<read_box_first_cluster.CLUSTER_EID_BLOCK_GROUP");
        }
      }
      return mkv_dmx_bs_fseek(bs, end) < 0 ? MKV_TAG(ctx, "<read_box_first_cluster.CLUSTER_EID_BLOCK_GROUP") : 0;
    } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
      return MKV_TAG(ctx, "<read_box_first_cluster.default");
    }
  }
  return 0;
}

static mkv_dmx_bs_t* reader_of(mkv_dmx_t* ctx, uint32_t type) {
  switch (type) {
    case MKV_TRACK_VIDEO: return &ctx->bs_video;
    case MKV_TRACK_AUDIO: return &ctx->bs_audio;
    case MKV_TRACK_SUBTITLE: return &ctx->bs_subtitle;
    default: return &ctx->bs_main;
  }
}

/* Is the track one whose frames are delivered: the selected one of its kind,
 * with that kind not switched off? */
int mkv_track_delivered(const mkv_dmx_t* ctx, const mkv_track_t* t) {
  switch (t->track_type) {
    case MKV_TRACK_VIDEO: return t->track_number == ctx->sel_video_number && !(ctx->options & OPT_NO_VIDEO);
    case MKV_TRACK_AUDIO: return t->track_number == ctx->sel_audio_number && !(ctx->options & OPT_NO_AUDIO);
    case MKV_TRACK_SUBTITLE:
      return t->track_number == ctx->sel_subtitle_number && !(ctx->options & OPT_NO_SUBTITLE);
    default: return 0;
  }
}

static void append(mkv_dmx_t* ctx, uint32_t track, mkv_node_t* n) {
  mkv_queue_t* q = &ctx->queues[track];
  n->next = 0;
  if (q->tail) q->tail->next = n;
  else q->head = n;
  q->tail = n;
}

/* A frame `offset` ns after a block time that may lie before the start:
 * frames before the start are delivered at 0. */
static uint64_t at_or_after_start(int64_t block_time, uint64_t offset) {
  if (block_time >= 0) {
    const uint64_t t = (uint64_t)block_time + offset;
    return t < offset ? UINT64_MAX : t;
  }
  return offset > (uint64_t)0 - (uint64_t)block_time ? offset - ((uint64_t)0 - (uint64_t)block_time) : 0;
}

typedef struct {
  uint32_t track;        /* index in the track list */
  mkv_track_t* t;
  mkv_node_t* first;     /* the block's first frame node */
  uint32_t frames;
  int64_t time;          /* block time, ns; below 0 before the start timecode */
  int key;
  int accepted;
} BlockState;

/* Lace sizes into ctx->lace; *remaining is the bytes of frame data. Sizes
 * are checked in 64 bits against what the block holds. */
static int32_t read_lacing(mkv_dmx_t* ctx, mkv_dmx_bs_t* bs, int lacing, uint32_t count, uint64_t block_end,
                           uint64_t* data_bytes) {
  uint64_t sum = 0, pos, left;
  uint32_t i;
  if (lacing == LACE_XIPH) {
    for (i = 0; i + 1 < count; ++i) {
      uint64_t size = 0;
      int32_t b;
      do {
        b = mkv_bs_byte(bs);
        if (b < 0) return MKV_TAG(ctx, BG_TAG("Xiph lacing"));
        size += (uint32_t)b;
      } while (b == 255 && mkv_bs_pos(bs) < block_end);
      ctx->lace[i] = (uint32_t)(size > 0xFFFFFFFFu ? 0xFFFFFFFFu : size);
      sum += size;
    }
  } else if (lacing == LACE_EBML) {
    int64_t size;
    uint64_t first;
    if (read_vlc_uint_imp(bs, 0, &first) < 0) return MKV_TAG(ctx, BG_TAG("EBMLlacing"));
    size = (int64_t)(first > 0x7FFFFFFFFFFFull ? 0x7FFFFFFFFFFFull : first);
    for (i = 0; i + 1 < count; ++i) {
      int64_t diff;
      if (i > 0) {
        if (read_vlc_sint(bs, &diff) < 0) return MKV_TAG(ctx, BG_TAG("EBMLlacing.for"));
        size += diff;
      }
      if (size < 0 || size > 0xFFFFFFFFll) return MKV_ERR(ctx, MKV_ERR_INVALID, "invalid lace size in Block");
      ctx->lace[i] = (uint32_t)size;
      sum += (uint64_t)size;
    }
  }
  pos = mkv_bs_pos(bs);
  if (pos > block_end) return MKV_ERR(ctx, MKV_ERR_INVALID, "invalid lace size in Block");
  left = block_end - pos;
  if (lacing == LACE_FIXED || lacing == LACE_NONE) {
    if (left / count > 0xFFFFFFFFu) return MKV_ERR(ctx, MKV_ERR_INVALID, "invalid lace size in Block");
    for (i = 0; i < count; ++i) ctx->lace[i] = (uint32_t)(left / count);
    *data_bytes = (left / count) * count;
    return 0;
  }
  if (sum > left || left - sum > 0xFFFFFFFFu) return MKV_ERR(ctx, MKV_ERR_INVALID, "invalid lace size in Block");
  ctx->lace[count - 1] = (uint32_t)(left - sum);
  *data_bytes = left;
  return 0;
}

/* Steps of one Block or SimpleBlock: track, time, lacing, frame nodes and
 * the positioning of the per-type reader. Returns 0, 1 when the block was
 * passed over (the caller skips the whole element), or a negative code. */
static int32_t read_block(mkv_dmx_t* ctx, BlockState* st, uint64_t block_end, uint64_t elem_end, uint64_t cluster_tc,
                          int simple) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t number, data_start, data_bytes = 0, off;
  uint32_t index = 0, count = 1, i;
  int32_t hi, lo, flags, lacing;
  int64_t t;
  int16_t rel;
  mkv_track_t* track;
  if (read_vlc_uint_imp(bs, 0, &number) < 0) return MKV_TAG(ctx, BG_TAG("CLUSTER_EID_BLOCK"));
  if (number > 255) return MKV_ERRV(ctx, MKV_ERR_INVALID, number, "invalid track number in Block");
  track = mkv_track_by_number(ctx, (uint32_t)number, &index);
  if (!track || (index < 32 && (ctx->track_mask & (1u << index)))) {
    if (st->accepted) return 1;
    if (mkv_dmx_bs_fseek(bs, elem_end) < 0) return MKV_TAG(ctx, BG_TAG("CLUSTER_EID_BLOCK"));
    return MKV_ERRV(ctx, MKV_ERR_INVALID, number, "Bad Track ID/Unsupported Track");
  }
  if (!mkv_track_delivered(ctx, track)) return 1;
  if ((hi = mkv_bs_byte(bs)) < 0 || (lo = mkv_bs_byte(bs)) < 0) {
    MKV_TAG(ctx, "<read_uint");
    MKV_TAG(ctx, "<read_sint");
    return MKV_TAG(ctx, BG_TAG("CLUSTER_EID_BLOCK"));
  }
  rel = (int16_t)(uint16_t)(hi << 8 | lo);
  if ((flags = mkv_bs_byte(bs)) < 0) return MKV_TAG(ctx, BG_TAG("Flags"));
  if (simple && !(flags & 0x80)) st->key = 0;
  lacing = (flags & 0x06) >> 1;
  if (lacing != LACE_NONE) {
    int32_t b = mkv_bs_byte(bs);
    if (b < 0) return MKV_TAG(ctx, BG_TAG("lacing"));
    count = (uint32_t)b + 1;
  }
  if (count > ctx->lace_cap) {
    mkv_free(ctx, ctx->lace);
    ctx->lace_cap = 0;
    ctx->lace = (uint32_t*)mkv_malloc(ctx, count * sizeof(uint32_t));
    if (!ctx->lace) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to allocate(read_box_block_group)");
    ctx->lace_cap = count;
  }
  if (read_lacing(ctx, bs, lacing, count, block_end, &data_bytes) < 0) return MKV_TAG(ctx, BG_TAG("lacing"));
  if (lacing == LACE_FIXED && (ctx->options & OPT_PCM) && (count > 8 || block_end - mkv_bs_pos(bs) <= 63)) {
    ctx->lace[0] = (uint32_t)(block_end - mkv_bs_pos(bs));
    data_bytes = ctx->lace[0];
    count = 1;
  }
  data_start = mkv_bs_pos(bs);
  /* Kept signed: the frames of a laced block that starts before the start
   * timecode count their offsets from the block's real time, and only the
   * frames that still lie before the start read as 0. */
  t = (int64_t)(cluster_tc - ctx->start_tc + (uint64_t)(int64_t)rel);
  if (__builtin_mul_overflow(t, (int64_t)ctx->timecode_scale, &t)) t = t < 0 ? INT64_MIN : INT64_MAX;
  {
    const uint64_t scaled = mkv_mul_fixed(t < 0 ? (uint64_t)0 - (uint64_t)t : (uint64_t)t, track->track_timecode_scale);
    const int64_t magnitude = scaled > (uint64_t)INT64_MAX ? INT64_MAX : (int64_t)scaled;
    st->time = t < 0 ? -magnitude : magnitude;
  }
  st->track = index;
  st->t = track;
  st->accepted = 1;
  for (i = 0, off = data_start; i < count; off += ctx->lace[i], ++i) {
    mkv_node_t* n = queue_alloc(ctx);
    if (!n) return MKV_TAG(ctx, "<read_box_block_group.while.switch.for");
    n->size = ctx->lace[i];
    n->pos = off;
    n->time = n->end = at_or_after_start(st->time, 0);
    n->flags = i ? NODE_KEY | NODE_INEXACT | NODE_NO_END : NODE_KEY | NODE_NO_END;
    if (i + 1 == count && (flags & 0x01)) n->flags |= NODE_DISCARDABLE;
    append(ctx, index, n);
    if (!i) st->first = n;
  }
  st->frames = count;
  if (!ctx->internal_seek) {
    uint64_t range_end = track->track_type == MKV_TRACK_VIDEO ? elem_end : block_end;
    if (!(ctx->options & OPT_SINGLE_HANDLE)) ctx->pst_cur_bs = reader_of(ctx, track->track_type);
    bs = ctx->pst_cur_bs;
    if (range_end > bs->cache_pos + bs->cache_size && data_bytes) {
      if (mkv_dmx_bs_fseek_reset(bs, data_start) != 0 || mkv_bs_byte(bs) < 0) {
        if (!ctx->err.code) MKV_ERRV(ctx, MKV_ERR_SEEK, data_start, "can't seek to SEEK_SET in fseek64(bs_fseek)");
        return MKV_TAG(ctx, "<dummy");
      }
    }
    if (mkv_dmx_bs_fseek(bs, data_start) < 0) return MKV_TAG(ctx, "<dummy");
  }
  if (mkv_dmx_bs_skip_bytes(ctx->pst_cur_bs, data_bytes) < 0) return MKV_TAG(ctx, "<read_box_block_group.while.switch");
  if (mkv_bs_pos(ctx->pst_cur_bs) != block_end && mkv_dmx_bs_fseek(ctx->pst_cur_bs, block_end) < 0)
    return MKV_TAG(ctx, "<read_box_block_group.while.switch");
  return 0;
}

/* BlockAdditions carry data beside a frame (an alpha plane, for one) that a
 * decoder of the frame's track cannot take: their bytes are passed over and
 * never queued among the track's packets, while their structure is read as
 * far as the first BlockMore so that damage in it fails as before. */
static int32_t read_additions(mkv_dmx_t* ctx, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_box_block_additions");
    if (!mkv_fits(bs, child, end)) return MKV_ERR(ctx, MKV_ERR_INVALID, "Element in BlockAdditions runs past its end");
    if (id == 0xA6) {
      uint64_t more_end = mkv_bs_pos(bs) + child, add_id;
      while (mkv_bs_pos(bs) < more_end) {
        if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_box_block_additions");
        if (!mkv_fits(bs, child, more_end)) return MKV_ERR(ctx, MKV_ERR_INVALID, "Element in BlockMore runs past its end");
        if (id == 0xEE) {
          if (read_uint(bs, child, &add_id) < 0) return MKV_TAG(ctx, "<read_box_block_additions.CLUSTER_EID_BLOCK_ADD_ID");
        } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
          return MKV_TAG(ctx, id == 0xA5 ? "<read_box_block_additions.CLUSTER_EID_BLOCK_ADDITIONAL"
                                         : "<read_box_block_additions.default");
        }
      }
      return mkv_dmx_bs_fseek(bs, end) < 0 ? MKV_TAG(ctx, "<read_box_block_additions") : 0;
    }
    if (mkv_dmx_bs_skip_bytes(bs, child) < 0) return MKV_TAG(ctx, "<read_box_block_additions.default");
  }
  return 0;
}

/* Is `t` a cue time, searching from the remembered index? */
static int cue_aligned(mkv_dmx_t* ctx, uint64_t t) {
  uint32_t i = ctx->key_index;
  if (ctx->seek_dir == 2) {
    for (; i >= 1 && i < ctx->cue_count && ctx->cues[i].time >= t; --i)
      if (ctx->cues[i].time == t) {
        ctx->key_index = i;
        return 1;
      }
    return 0;
  }
  for (; i < ctx->cue_count && ctx->cues[i].time <= t; ++i)
    if (ctx->cues[i].time == t) {
      ctx->key_index = i;
      return 1;
    }
  return 0;
}

int32_t read_box_block_group(mkv_dmx_t* ctx, uint64_t size, uint64_t cluster_tc, int simple) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t elem_end = mkv_bs_pos(bs) + size, duration = 0;
  int has_duration = 0;
  BlockState st;
  mkv_node_t* n;
  uint32_t i;
  int32_t r;
  mkv_zero(ctx, &st, sizeof st);
  st.key = 1;
  if (simple) {
    r = read_block(ctx, &st, elem_end, elem_end, cluster_tc, 1);
    if (r < 0) return r;
    if (r == 1) return mkv_dmx_bs_fseek(bs, elem_end) < 0 ? MKV_TAG(ctx, "<read_box_block_group") : 0;
  } else {
    while (mkv_bs_pos(ctx->pst_cur_bs) < elem_end) {
      uint32_t id;
      uint64_t child, v;
      int64_t ref;
      bs = ctx->pst_cur_bs;
      if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_box_block_group");
      if (!mkv_fits(bs, child, elem_end))
        return MKV_ERR(ctx, MKV_ERR_INVALID, id == ID_BLOCK ? "Block runs past its BlockGroup"
                                                            : "Element in a BlockGroup runs past its end");
      if (id == ID_BLOCK && !st.accepted) {
        uint64_t block_end = mkv_bs_pos(bs) + child;
        r = read_block(ctx, &st, block_end, elem_end, cluster_tc, 0);
        if (r < 0) return MKV_TAG(ctx, BG_TAG("CLUSTER_EID_BLOCK.found"));
        if (r == 1) return mkv_dmx_bs_fseek(bs, elem_end) < 0 ? MKV_TAG(ctx, "<read_box_block_group") : 0;
      } else if (id == ID_BLOCK_DURATION) {
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, BG_TAG("CLUSTER_EID_BLOCK_DURATION"));
        duration = v;
        has_duration = 1;
      } else if (id == 0xFB) {
        if (read_sint(bs, child, &ref) < 0) return MKV_TAG(ctx, BG_TAG("CLUSTER_EID_REF_BLOCK"));
        st.key = 0;
      } else if (id == 0x75A1 && st.accepted) {
        if (read_additions(ctx, child) < 0) return MKV_TAG(ctx, BG_TAG("CLUSTER_EID_BLOCK_ADDITIONS"));
      } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
        return MKV_TAG(ctx, BG_TAG("default"));
      }
    }
    if (!st.accepted) return MKV_ERR(ctx, MKV_ERR_INVALID, "Found a BlockGroup without Block");
  }
  /* Durations. */
  if (st.frames) {
    uint64_t dd = st.t->default_duration;
    uint64_t d_total = has_duration ? mkv_mul_fixed(duration * ctx->timecode_scale, st.t->track_timecode_scale) : 0;
    if (st.frames == 1) {
      if (has_duration || dd) {
        st.first->end = at_or_after_start(st.time, has_duration ? d_total : dd);
        st.first->flags &= ~(uint32_t)NODE_NO_END;
      }
    } else if (!has_duration) {
      if (dd)
        for (i = 0, n = st.first; i < st.frames; ++i, n = n->next) {
          n->time = at_or_after_start(st.time, i * dd);
          n->end = at_or_after_start(st.time, (i + 1) * dd);
          n->flags &= ~(uint32_t)(NODE_INEXACT | NODE_NO_END);
        }
    } else {
      uint64_t d = dd ? dd : d_total / st.frames;
      for (i = 0, n = st.first; i < st.frames; ++i, n = n->next) {
        n->time = at_or_after_start(st.time, i * d);
        n->end = at_or_after_start(st.time, (i + 1) * d);
        if (i + 1 == st.frames) {
          n->end = at_or_after_start(st.time, d_total);
          n->flags &= ~(uint32_t)(NODE_INEXACT | NODE_NO_END);
        }
      }
    }
    /* Key frames. */
    if (!st.key) {
      for (i = 0, n = st.first; i < st.frames; ++i, n = n->next) n->flags &= ~(uint32_t)NODE_KEY;
      ctx->cue_key_flag = 0;
    } else if (ctx->cue_key_flag && st.t->track_type == MKV_TRACK_VIDEO) {
      if (!(ctx->read_flags & READ_CUES) || !ctx->cue_count) {
        ctx->cue_key_flag = 0;
      } else if (!cue_aligned(ctx, st.first->time)) {
        for (i = 0, n = st.first; i < st.frames; ++i, n = n->next) n->flags &= ~(uint32_t)NODE_KEY;
      }
    }
  }
  return 0;
}

/* Elements that may stand between clusters. */
static int segment_child(uint32_t id) {
  switch (id) {
    case ID_SEEKHEAD: case ID_INFO: case ID_TRACKS: case ID_CUES: case ID_ATTACHMENTS: case ID_CHAPTERS: case ID_TAGS:
    case ID_VOID: case ID_CRC32:
      return 1;
    default:
      return 0;
  }
}

/* Children of a cluster, met where reading resumes inside one. */
static int cluster_child(uint32_t id) {
  switch (id) {
    case ID_TIMECODE: case ID_BLOCKGROUP: case ID_SIMPLEBLOCK: case ID_POSITION: case ID_PREV_SIZE:
    case ID_ENCRYPTED_BLOCK: case ID_SILENT_TRACKS:
    case ID_VOID: case ID_CRC32:
      return 1;
    default:
      return 0;
  }
}

static int32_t block_in_cluster(mkv_dmx_t* ctx, uint32_t id, uint64_t size, int tc_seen) {
  if (!tc_seen)
    return MKV_ERR(ctx, MKV_ERR_INVALID, id == ID_SIMPLEBLOCK ? "Found SimpleBlock before cluster TimeCode(CLUSTER_EID_SIMPLE_BLOCK)"
                                                              : "Found BlockGroup before cluster TimeCode");
  if (read_box_block_group(ctx, size, ctx->cluster_tc, id == ID_SIMPLEBLOCK) < 0)
    return MKV_TAG(ctx, id == ID_SIMPLEBLOCK ? "<element_cluster.CLUSTER_EID_SIMPLE_BLOCK"
                                             : "<element_cluster.CLUSTER_EID_BLOCK_GROUP");
  return 0;
}

/* Reads a cluster's children; 1 when the step's limit was passed inside it.
 * A child that runs past the cluster's end is damage: skipping it would
 * carry the reading past the clusters that follow. The next Cluster's ID
 * among the children ends a cluster whose size says too much. */
static int32_t element_cluster(mkv_dmx_t* ctx, uint64_t end, uint64_t limit) {
  int tc_seen = 0;
  while (mkv_bs_pos(ctx->pst_cur_bs) < end) {
    mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
    uint32_t id;
    const uint64_t here = mkv_bs_pos(bs);
    uint64_t child, v;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<element_cluster");
    if (id == ID_CLUSTER) return mkv_dmx_bs_fseek(bs, here) < 0 ? MKV_TAG(ctx, "<element_cluster") : 0;
    if (cluster_child(id)) ctx->elem_pos = here;
    if (!mkv_fits(bs, child, end)) return MKV_ERRV(ctx, MKV_ERR_INVALID, child, "Element in a cluster runs past its end");
    switch (id) {
      case ID_TIMECODE:
        ctx->cluster_tc = 0;
        if (read_uint(bs, child, &ctx->cluster_tc) < 0) return MKV_TAG(ctx, "<element_cluster.CLUSTER_EID_TIMECODE");
        tc_seen = 1;
        break;
      case ID_BLOCKGROUP:
      case ID_SIMPLEBLOCK:
        if (block_in_cluster(ctx, id, child, tc_seen) < 0) return ctx->err.code;
        ctx->next_pos = mkv_bs_pos(ctx->pst_cur_bs);
        if (ctx->next_pos > limit && ctx->next_pos < end) return 1;
        break;
      case ID_POSITION:
      case ID_PREV_SIZE:
        if (read_uint(bs, child, &v) < 0)
          return MKV_TAG(ctx, id == ID_POSITION ? "<element_cluster.CLUSTER_EID_POSITION" : "<element_cluster.CLUSTER_EID_PREV_SIZE");
        break;
      default:
        if (mkv_dmx_bs_skip_bytes(bs, child) < 0) return MKV_TAG(ctx, "<element_cluster.default");
        break;
    }
  }
  return 0;
}

int32_t read_more_blocks(mkv_dmx_t* ctx) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t limit, budget, bound;
  int first = 1, inside;
  if (ctx->next_pos >= ctx->segment_end)
    return MKV_ERR(ctx, MKV_ERR_END, "file position is greater than segment top position");
  budget = bs->cache_size > bs->m_ulBufBytes ? bs->cache_size - bs->m_ulBufBytes : 0;
  if (budget > 0x40000) budget = 0x40000;
  limit = ctx->next_pos + budget;
  if (mkv_dmx_bs_fseek(bs, ctx->next_pos) < 0) return MKV_TAG(ctx, "<read_more_blocks");
  for (;;) {
    uint32_t id;
    uint64_t size, at;
    int32_t r;
    bs = ctx->pst_cur_bs;
    at = mkv_bs_pos(bs);
    if (at >= ctx->segment_end) {
      if (first) return MKV_ERR(ctx, MKV_ERR_END, "file position is greater than segment top position");
      return 0;
    }
    first = 0;
    if (read_box_header(bs, &id, &size) < 0) return MKV_TAG(ctx, "<read_more_blocks");
    if (id == ID_CLUSTER || segment_child(id) || cluster_child(id)) ctx->elem_pos = at;
    if (id == ID_CLUSTER) {
      const uint64_t start = mkv_bs_pos(bs);
      ctx->cluster_pos = at;
      ctx->cluster_end = size > UINT64_MAX - start ? UINT64_MAX : start + size;
      r = element_cluster(ctx, ctx->cluster_end, limit);
      if (r < 0) return MKV_TAG(ctx, "<read_more_blocks.SEGMENT_CLUSTER");
      ctx->next_pos = mkv_bs_pos(ctx->pst_cur_bs);
      if (r == 1 || ctx->next_pos > limit) return 0;
      continue;
    }
    /* Inside the cluster last entered, a child must end within it; where
     * that cluster is not known, only what a cluster or the segment holds
     * belongs here, within the data. Anything else is damage, searched past
     * for the next cluster instead of being skipped by a size it made up. */
    inside = at > ctx->cluster_pos && at < ctx->cluster_end;
    if (!inside && !segment_child(id) && !cluster_child(id))
      return MKV_ERRV(ctx, MKV_ERR_INVALID, id, "Unknown element between clusters");
    bound = inside ? ctx->cluster_end : mkv_data_end(ctx);
    if (!mkv_fits(bs, size, bound))
      return MKV_ERRV(ctx, MKV_ERR_INVALID, size, inside ? "Element in a cluster runs past its end"
                                                         : "Element runs past the end of the data");
    if (!segment_child(id) && size > 0x400000)
      return MKV_ERRV(ctx, MKV_ERR_INVALID, size, "Element in a cluster is too large");
    if (id == ID_BLOCKGROUP || id == ID_SIMPLEBLOCK) {
      if (read_box_block_group(ctx, size, ctx->cluster_tc, id == ID_SIMPLEBLOCK) < 0)
        return MKV_TAG(ctx, id == ID_SIMPLEBLOCK ? "<read_more_blocks.CLUSTER_EID_SIMPLE_BLOCK"
                                                 : "<read_more_blocks.CLUSTER_EID_BLOCK_GROUP");
    } else if (mkv_dmx_bs_skip_bytes(bs, size) < 0) {
      return MKV_TAG(ctx, "<read_more_blocks.default");
    }
    ctx->next_pos = mkv_bs_pos(ctx->pst_cur_bs);
    return 0;
  }
}
