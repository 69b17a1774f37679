/* Matroska demuxer: the Cues element and the cue table; Tags (targets only),
 * Attachments and Chapters (walked over). */

#include "mkv_internal.h"

static int32_t store_cue(mkv_dmx_t* ctx, const mkv_cue_t* rec, int at_track_positions) {
  mkv_cue_t* slot;
  if (at_track_positions && (ctx->read_flags & READ_TRACKS) && ctx->video_count) {
    uint32_t i;
    for (i = 0; i < ctx->video_count; ++i)
      if (ctx->video_tracks[i]->track_number == rec->track) break;
    if (i == ctx->video_count) return 0;
    ctx->options |= OPT_CUES_VIDEO;
  }
  if (!ctx->cue_count && ctx->pos[POS_CLUSTER] &&
      rec->cluster_pos != ctx->pos[POS_CLUSTER] - ctx->segment_start) {
    if (add_cue(ctx, ctx->pos[POS_CLUSTER] - ctx->segment_start, ctx->start_tc) < 0)
      return MKV_TAG(ctx, "<read_box_cue_point.if.if");
  }
  slot = (mkv_cue_t*)mkv_array_add(ctx, (void**)&ctx->cues, &ctx->cue_count, &ctx->cue_cap, sizeof *slot,
                                   "Insufficient memory to re-allocate of mkv arrary");
  if (!slot) return MKV_TAG(ctx, "<read_box_cue_point.cp");
  *slot = *rec;
  return 0;
}

static int32_t read_track_positions(mkv_dmx_t* ctx, uint64_t size, mkv_cue_t* rec) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child, v;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_box_cue_track_pos");
    if (id == 0xF7) {
      if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, "<read_box_cue_track_pos.CUE_EID_CUE_TRACK");
      if (v >= 256) return MKV_ERRV(ctx, MKV_ERR_INVALID, v, "CueTrack points to an invalid track");
      rec->track = (uint32_t)v;
    } else if (id == 0x5378) {
      if (read_uint(bs, child, &rec->block) < 0) return MKV_TAG(ctx, "<read_box_cue_track_pos.CUE_EID_CUE_BLOCK_NUMBER");
    } else if (id == 0xF1) {
      if (read_uint(bs, child, &rec->cluster_pos) < 0)
        return MKV_TAG(ctx, "<read_box_cue_track_pos.CUE_EID_CLUSTER_POSITION");
    } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
      return MKV_TAG(ctx, "<read_box_cue_track_pos.default");
    }
  }
  return 0;
}

/* Stores the point at the end of its first CueTrackPositions after the
 * CueTime and leaves the reader there: the point's remaining children are
 * passed over by the Cues walk. */
static int32_t read_cue_point(mkv_dmx_t* ctx, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  mkv_cue_t rec;
  int time_seen = 0;
  mkv_zero(ctx, &rec, sizeof rec);
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_box_cue_point");
    if (id == 0xB3) {
      if (read_uint(bs, child, &rec.time) < 0) return MKV_TAG(ctx, "<read_box_cue_point.CUE_EID_CUE_TIME");
      time_seen = 1;
    } else if (id == 0xB7) {
      if (read_track_positions(ctx, child, &rec) < 0)
        return MKV_TAG(ctx, "<read_box_cue_point.CUE_EID_CUE_TRACK_POSITIONS");
      if (time_seen) return store_cue(ctx, &rec, 1);
    } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
      return MKV_TAG(ctx, "<read_box_cue_point.default");
    }
  }
  return store_cue(ctx, &rec, 0);
}

int32_t element_cues(mkv_dmx_t* ctx, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  uint32_t i, n;
  int swapped;
  ctx->cue_count = 0;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child;
    if (read_box_header(bs, &id, &child) < 0) {
      if (!ctx->cue_count) return MKV_TAG(ctx, "<element_cues");
      break;
    }
    if (id == 0xBB) {
      if (read_cue_point(ctx, child) < 0 && !ctx->cue_count) return MKV_TAG(ctx, "<element_cues.CUE_EID_CUE_POINT");
    } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
      if (!ctx->cue_count) return MKV_TAG(ctx, "<element_cues.default");
      break;
    }
  }
  ctx->read_flags |= READ_CUES;
  if (ctx->cue_cap > ctx->cue_count && ctx->cue_count) {
    mkv_cue_t* shrunk = (mkv_cue_t*)ctx->host.realloc_fn(ctx->cues, ctx->cue_count * sizeof *shrunk);
    if (!shrunk) {
      MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to re-allocate of mkv arrary");
      return MKV_TAG(ctx, "<element_cues");
    }
    ctx->cues = shrunk;
    ctx->cue_cap = ctx->cue_count;
  }
  /* Bubble sort: equal times keep their order. */
  for (n = ctx->cue_count, swapped = 1; swapped && n > 1; --n) {
    swapped = 0;
    for (i = 0; i + 1 < n; ++i)
      if (ctx->cues[i].time > ctx->cues[i + 1].time) {
        mkv_cue_t t = ctx->cues[i];
        ctx->cues[i] = ctx->cues[i + 1];
        ctx->cues[i + 1] = t;
        swapped = 1;
      }
  }
  return 0;
}

int32_t add_cue(mkv_dmx_t* ctx, uint64_t cluster_pos, uint64_t time) {
  mkv_cue_t* slot = (mkv_cue_t*)mkv_array_add(ctx, (void**)&ctx->cues, &ctx->cue_count, &ctx->cue_cap, sizeof *slot,
                                              "Insufficient memory to re-allocate of mkv array");
  if (!slot) return MKV_TAG(ctx, "<add_cue");
  slot->time = time;
  slot->cluster_pos = cluster_pos;
  return 0;
}

/* Cue time in nanoseconds from the start timecode; points before the start
 * count as the start instead of wrapping round to the far future. */
static uint64_t cue_ns(const mkv_dmx_t* ctx, uint64_t time) {
  return time > ctx->start_tc ? (time - ctx->start_tc) * ctx->timecode_scale : 0;
}

int32_t prepare_cue_table(mkv_dmx_t* ctx) {
  uint32_t i;
  if (!(ctx->options & OPT_CUES_VIDEO) && ctx->video_count) {
    uint32_t number = 0, kept = 0;
    for (i = 0; i < ctx->track_count; ++i)
      if (ctx->tracks[i]->track_type == MKV_TRACK_VIDEO) {
        number = ctx->tracks[i]->track_number ? ctx->tracks[i]->track_number : i + 1;
        break;
      }
    for (i = 0; i < ctx->cue_count; ++i) {
      if (ctx->cues[i].track != number) continue;
      ctx->cues[kept].time = cue_ns(ctx, ctx->cues[i].time);
      ctx->cues[kept].cluster_pos = ctx->cues[i].cluster_pos;
      ctx->cues[kept].block = 0;
      ctx->cues[kept].track = number;
      ++kept;
    }
    ctx->cue_count = kept;
    if (kept && ctx->cue_cap > kept) {
      mkv_cue_t* shrunk = (mkv_cue_t*)ctx->host.realloc_fn(ctx->cues, kept * sizeof *shrunk);
      if (!shrunk) {
        MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to re-allocate of mkv arrary");
        return MKV_TAG(ctx, "<element_cues");
      }
      ctx->cues = shrunk;
      ctx->cue_cap = kept;
    }
  } else {
    for (i = 0; i < ctx->cue_count; ++i) ctx->cues[i].time = cue_ns(ctx, ctx->cues[i].time);
  }
  /* With fewer than two points there is no second time; nothing past the
   * count is read. */
  ctx->min_key_time = ctx->cue_count >= 2 ? ctx->cues[1].time / 1000000 : 0;
  ctx->max_key_time = ctx->cue_count ? ctx->cues[ctx->cue_count - 1].time / 1000000 : 0;
  return 0;
}

/* ---- tags, attachments, chapters ---- */

static int32_t read_targets(mkv_dmx_t* ctx, mkv_tag_t* tag, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id, kind;
    uint64_t child, v;
    const char* where;
    mkv_tag_target_t* t;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_box_targets");
    switch (id) {
      case 0x63C5: kind = 0; where = "<read_box_targets.TAGS_EID_TRACK_UID"; break;
      case 0x63C4: kind = 1; where = "<read_box_targets.TAGS_EID_CHAPTER_UID"; break;
      case 0x63C6: kind = 2; where = "<read_box_targets.TAGS_EID_ATTACHMENT_UID"; break;
      case 0x63C9: kind = 3; where = "<read_box_targets.TAGS_EID_EDITION_UID"; break;
      default:
        if (mkv_dmx_bs_skip_bytes(bs, child) < 0) return MKV_TAG(ctx, "<read_box_targets.default");
        continue;
    }
    if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, where);
    t = (mkv_tag_target_t*)mkv_array_add(ctx, (void**)&tag->targets, &tag->target_count, &tag->target_cap, sizeof *t,
                                         "Insufficient memory to re-allocate of mkv array");
    if (!t) return MKV_TAG(ctx, where);
    t->uid = v;
    t->kind = kind;
  }
  return 0;
}

/* Walks an element whose children are all passed over. */
static int32_t skip_children(mkv_dmx_t* ctx, uint64_t size, const char* tag, const char* default_tag) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, tag);
    if (mkv_dmx_bs_skip_bytes(bs, child) < 0) return MKV_TAG(ctx, default_tag);
  }
  return 0;
}

static int32_t read_tag(mkv_dmx_t* ctx, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  uint32_t index = ctx->tag_count;
  if (!mkv_array_add(ctx, (void**)&ctx->tags, &ctx->tag_count, &ctx->tag_cap, sizeof(mkv_tag_t),
                     "Insufficient memory to re-allocate of mkv array"))
    return MKV_TAG(ctx, "<element_tags.TAGS_EID_TAG");
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_box_tag");
    if (id == 0x63C0) {
      if (read_targets(ctx, &ctx->tags[index], child) < 0) return MKV_TAG(ctx, "<read_box_tag.TAGS_EID_TARGETS");
    } else if (id == 0x67C8) {
      if (skip_children(ctx, child, "<read_box_simple_tag", "<read_box_simple_tag.default") < 0)
        return MKV_TAG(ctx, "<read_box_tag.TAGS_EID_SIMPLE_TAG");
    } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
      return MKV_TAG(ctx, "<read_box_tag.default");
    }
  }
  return 0;
}

int32_t element_tags(mkv_dmx_t* ctx, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<element_tags");
    if (id == 0x7373) {
      if (read_tag(ctx, child) < 0) return MKV_TAG(ctx, "<element_tags.TAGS_EID_TAG");
    } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
      return MKV_TAG(ctx, "<element_tags.default");
    }
  }
  ctx->read_flags |= READ_TAGS;
  return 0;
}

int32_t element_attachments(mkv_dmx_t* ctx, uint64_t size) {
  int32_t r = skip_children(ctx, size, "<element_attachments", "<element_attachments.default");
  if (r < 0) return r;
  ctx->read_flags |= READ_ATTACHMENTS;
  return 0;
}

int32_t element_chapters(mkv_dmx_t* ctx, uint64_t size) {
  int32_t r = skip_children(ctx, size, "<element_chapters", "<element_chapters.default");
  if (r < 0) return r;
  ctx->read_flags |= READ_CHAPTERS;
  return 0;
}
