/* Matroska demuxer: the frame-node pool, the per-track queues, the reset
 * after a seek, and the filler that parses until a packet of the wanted kind
 * is queued, resynchronising after damaged data. */

#include "mkv_internal.h"

#define FILL_TAG(name) "<fill_queues_with_packet_type." name

mkv_node_t* queue_alloc(mkv_dmx_t* ctx) {
  mkv_node_t* n = ctx->free_nodes;
  mkv_node_t** slot;
  uint32_t i;
  if (n) {
    ctx->free_nodes = n->next;
    return n;
  }
  slot = (mkv_node_t**)mkv_array_add(ctx, (void**)&ctx->blocks, &ctx->block_count, &ctx->block_cap, sizeof *slot,
                                     "Insufficient memory to re-allocate of mkv array");
  if (!slot) {
    MKV_TAG(ctx, "<queue_alloc");
    return 0;
  }
  n = (mkv_node_t*)mkv_malloc(ctx, MKV_NODES_PER_BLOCK * sizeof *n);
  if (!n) {
    --ctx->block_count;
    MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to allocate of mkv queue");
    MKV_TAG(ctx, "<queue_alloc");
    return 0;
  }
  mkv_zero(ctx, n, MKV_NODES_PER_BLOCK * sizeof *n);
  for (i = 0; i + 1 < MKV_NODES_PER_BLOCK; ++i) n[i].next = &n[i + 1];
  n[MKV_NODES_PER_BLOCK - 1].next = 0;
  *slot = n;
  ctx->free_nodes = n[0].next;
  return &n[0];
}

void mkv_queue_release(mkv_dmx_t* ctx, uint32_t track) {
  mkv_queue_t* q = &ctx->queues[track];
  mkv_node_t* n = q->head;
  while (n) {
    mkv_node_t* next = n->next;
    n->next = ctx->free_nodes;
    ctx->free_nodes = n;
    n = next;
  }
  q->head = q->tail = 0;
}

void mkv_queues_release_all(mkv_dmx_t* ctx) {
  uint32_t i;
  if (!ctx->queues) return;
  for (i = 0; i < ctx->track_count; ++i) mkv_queue_release(ctx, i);
}

int32_t mkv_restart_at(mkv_dmx_t* ctx, uint64_t pos, uint64_t cluster_tc) {
  mkv_dmx_bs_t* const readers[4] = {&ctx->bs_main, &ctx->bs_video, &ctx->bs_audio, &ctx->bs_subtitle};
  uint32_t i;
  mkv_queues_release_all(ctx);
  ctx->next_pos = ctx->elem_pos = pos;
  ctx->cluster_tc = cluster_tc;
  ctx->pending_error = 0;
  ctx->resync_from = 0;
  ctx->seek_state &= ~(uint32_t)SEEK_STATE_HOLD_MASK;
  for (i = 0; i < 4; ++i)
    if (readers[i]->cache && mkv_dmx_bs_fseek(readers[i], pos) < 0) return MKV_TAG(ctx, "<reset_seek_status");
  ctx->video_eos = ctx->audio_eos = ctx->subtitle_eos = 0;
  return 0;
}

int32_t reset_seek_status(mkv_dmx_t* ctx, uint64_t pos, uint64_t cluster_tc) {
  if (mkv_restart_at(ctx, pos, cluster_tc) < 0) return ctx->err.code;
  if (ctx->pst_cur_packet) {
    ctx->pst_cur_packet->m_ulDataLength = 0;
    ctx->pst_cur_packet->m_ulTimestamp = 0;
    ctx->pst_cur_packet->m_ulEndTime = 0;
    ctx->pst_cur_packet->m_ulKeyFrame = 0;
  }
  return 0;
}

/* 0 when a packet of the kind is queued, 1 when more must be parsed, or a
 * negative code when the kind has run dry. */
static int32_t available(mkv_dmx_t* ctx, uint32_t kind) {
  uint32_t i;
  for (i = 0; i < ctx->track_count; ++i) {
    const mkv_track_t* t = ctx->tracks[i];
    if (!ctx->queues[i].head) continue;
    if (kind == MKV_KIND_ANY) {
      if ((t->track_number == ctx->sel_video_number && t->track_type == MKV_TRACK_VIDEO && !ctx->video_eos) ||
          (t->track_number == ctx->sel_audio_number && t->track_type == MKV_TRACK_AUDIO && !ctx->audio_eos) ||
          (t->track_number == ctx->sel_subtitle_number && t->track_type == MKV_TRACK_SUBTITLE && !ctx->subtitle_eos))
        return 0;
    } else if (kind == MKV_KIND_VIDEO || kind == MKV_KIND_AUDIO) {
      uint32_t sel = kind == MKV_KIND_VIDEO ? ctx->sel_video_number : ctx->sel_audio_number;
      uint64_t dist;
      if (t->track_type == MKV_TRACK_SUBTITLE) return 0;
      if (t->track_type == kind) {
        if (t->track_number == sel) return 0;
        continue;
      }
      /* Only other kinds are queued: when the reader has gone far past the
       * last packet delivered, this kind has ended. */
      dist = ctx->next_pos > ctx->last_packet_pos ? ctx->next_pos - ctx->last_packet_pos
                                                  : ctx->last_packet_pos - ctx->next_pos;
      if (ctx->last_packet_pos && !ctx->no_video && dist > (uint64_t)ctx->resilience + 0x400000) {
        if (kind == MKV_KIND_VIDEO) {
          ctx->video_eos = 1;
          return MKV_ERR(ctx, MKV_ERR_END, "Video data doesn't exist anymore");
        }
        ctx->audio_eos = 1;
        return MKV_ERR(ctx, MKV_ERR_END, "Audio data doesn't exist anymore");
      }
    } else if (t->track_type == MKV_TRACK_SUBTITLE) {
      return 0;
    }
  }
  return 1;
}

/* Scans from `from` for the next cluster: its ID on any byte, followed by a
 * size that reads and ends within the data. 0 with *at set; 1 when none
 * starts within `reach` bytes; MKV_ERR_END when the data ends first; or the
 * reader's failure. */
static int32_t next_cluster(mkv_dmx_t* ctx, mkv_dmx_bs_t* bs, uint64_t from, uint64_t reach, uint64_t* at) {
  const uint64_t end = mkv_data_end(ctx);
  const uint64_t last = reach > UINT64_MAX - from ? UINT64_MAX : from + reach; /* last start examined */
  uint64_t p = from; /* position of the next byte */
  uint32_t window = 0, held = 0;
  if (p >= end) return MKV_ERR(ctx, MKV_ERR_END, "file position is greater than segment top position");
  if (mkv_dmx_bs_fseek(bs, p) < 0) return ctx->err.code;
  for (;;) {
    int32_t b;
    uint64_t size, c;
    uint32_t further;
    if (p >= end) return MKV_ERR(ctx, MKV_ERR_END, "file position is greater than segment top position");
    if (held == 4 && p - 4 >= last) return 1;
    b = mkv_bs_byte(bs);
    if (b < 0) return ctx->err.code;
    ++p;
    window = window << 8 | (uint32_t)b;
    if (held < 4) ++held;
    if (held < 4 || window != ID_CLUSTER) continue;
    c = p - 4;
    if (read_vlc_uint_imp(bs, &further, &size) >= 0 && !mkv_is_unknown_size(size, further) &&
        mkv_fits(bs, size, end)) {
      *at = c;
      return 0;
    }
    /* Not a cluster: the search goes on after the ID, whose last three
     * bytes cannot begin another. */
    mkv_dmx_clear_last_error(&ctx->err);
    if (mkv_dmx_bs_fseek(bs, p) < 0) return ctx->err.code;
    window = 0;
    held = 0;
  }
}

/* A cue point's cluster past `after`, for damage that no scan passed:
 * 0 with the position and cluster timecode set, or a negative code. */
static int32_t cue_past(mkv_dmx_t* ctx, uint64_t after, uint64_t* at) {
  uint32_t lo = 0, hi = ctx->cue_count, index = 0, i;
  while (lo < hi) {
    uint32_t mid = (lo + hi) / 2;
    if (ctx->segment_start + ctx->cues[mid].cluster_pos <= after) {
      index = mid;
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  /* Only forward: a cue point behind the damage (a mangled index) would lead
   * the parse back to it for ever. */
  for (i = index; i < ctx->cue_count; ++i)
    if (ctx->segment_start + ctx->cues[i].cluster_pos > after) {
      *at = ctx->segment_start + ctx->cues[i].cluster_pos;
      ctx->cluster_tc = ctx->cues[i].time / ctx->timecode_scale + ctx->start_tc;
      return 0;
    }
  return MKV_ERR(ctx, MKV_ERR_INVALID, "error resilience doesn't try in the last cluster");
}

#define RESYNC_SCANS 3

/* After damage, parsing goes on at the next cluster past the element that
 * failed: found by its ID within the resilience distance (three searches at
 * most), else through the cue points. Each attempt starts past the one
 * before, so a resynchronisation never leads back. An attempt that read its
 * cluster whole and met damage further on has found data again: what it
 * queued is delivered first, and the next step searches afresh past that
 * damage. */
static int32_t resync(mkv_dmx_t* ctx) {
  const int cued = (ctx->read_flags & READ_CUES) && ctx->cue_count;
  uint64_t from = ctx->resync_from ? ctx->resync_from : ctx->elem_pos + 1, at = 0;
  uint32_t attempt;
  ctx->resync_from = 0;
  for (attempt = 0; attempt < (cued ? 255u : RESYNC_SCANS); ++attempt) {
    int32_t r = attempt < RESYNC_SCANS ? next_cluster(ctx, ctx->pst_cur_bs, from, ctx->resilience, &at) : 1;
    if (r < 0 && r != MKV_ERR_END) return r;
    if (r != 0) {
      if (!cued) {
        if (r == MKV_ERR_END) return r;
        break;
      }
      /* Past what the scan examined, or past the last failure. */
      if (cue_past(ctx, r == MKV_ERR_END ? mkv_data_end(ctx) : attempt < RESYNC_SCANS ? from + ctx->resilience : from - 1,
                   &at) < 0)
        return ctx->err.code;
    }
    ctx->next_pos = ctx->elem_pos = at;
    r = read_more_blocks(ctx);
    if (r >= MKV_ERR_END) return r;
    from = ctx->elem_pos + 1; /* at least past the cluster found */
    if (ctx->cluster_pos > at) {
      ctx->resync_from = from;
      mkv_dmx_clear_last_error(&ctx->err);
      return 0;
    }
  }
  return MKV_ERR(ctx, MKV_ERR_INVALID, "don't try too hard...in error_resilience_in_block");
}

int32_t mkv_parse_step(mkv_dmx_t* ctx) {
  int32_t r = ctx->resync_from ? MKV_ERR_INVALID : read_more_blocks(ctx);
  if (r < MKV_ERR_END) {
    r = resync(ctx);
    if (r < 0 && r != MKV_ERR_END) return MKV_TAG(ctx, "<error_resilience_in_block");
  }
  return r;
}

int32_t fill_queues_with_packet_type(mkv_dmx_t* ctx, uint32_t kind) {
  for (;;) {
    int32_t r = available(ctx, kind);
    if (r <= 0) return r;
    if (ctx->pending_error) {
      r = ctx->pending_error;
      ctx->pending_error = 0;
      if (r != MKV_ERR_END) mkv_dmx_set_last_error(r, 0, 0, 0, "damaged data after the frames delivered", &ctx->err);
      else mkv_dmx_set_last_error(r, 0, 0, 0, "file position is greater than segment top position", &ctx->err);
    } else {
      r = mkv_parse_step(ctx);
      /* Frames queued before a failure are delivered first; the failure
       * comes back, instead of a parse of the same data, once they are gone. */
      if (r < 0 && available(ctx, kind) == 0) {
        ctx->pending_error = r;
        return 0;
      }
    }
    if (r < 0) {
      if (r == MKV_ERR_END) {
        switch (kind) {
          case MKV_KIND_VIDEO: ctx->video_eos = 1; return MKV_TAG(ctx, FILL_TAG("DMXTYPE_VIDEO1"));
          case MKV_KIND_AUDIO: ctx->audio_eos = 1; return MKV_TAG(ctx, FILL_TAG("DMXTYPE_AUDIO1"));
          case MKV_KIND_SUBTITLE: ctx->subtitle_eos = 1; return MKV_TAG(ctx, FILL_TAG("DMXTYPE_SUBTITLE1"));
          case MKV_KIND_ANY:
            ctx->video_eos = ctx->audio_eos = ctx->subtitle_eos = 1;
            return MKV_TAG(ctx, FILL_TAG("DMXTYPE_NONE1"));
          default: return MKV_TAG(ctx, FILL_TAG("default1"));
        }
      }
      return MKV_TAG(ctx, FILL_TAG("normalerror"));
    }
  }
}
