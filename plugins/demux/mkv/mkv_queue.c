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
  ctx->next_pos = pos;
  ctx->cluster_tc = cluster_tc;
  ctx->pending_error = 0;
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

static int32_t resync(mkv_dmx_t* ctx) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  int32_t r = ctx->err.code;
  uint32_t attempt;
  if (!(ctx->read_flags & READ_CUES) || !ctx->cue_count) {
    for (attempt = 0; attempt < 3; ++attempt) {
      uint64_t p = mkv_bs_pos(bs), tried;
      int found = 0;
      for (tried = 0; tried <= ctx->resilience; ++tried, ++p) {
        uint8_t id[4];
        if (p >= ctx->segment_end) return MKV_ERR(ctx, MKV_ERR_END, "file position is greater than segment top position");
        if (mkv_dmx_bs_fseek(bs, p) < 0) return ctx->err.code;
        if (mkv_dmx_bs_show_bytes(bs, id, 4) < 0) {
          if (ctx->err.code == MKV_ERR_END) return MKV_ERR_END;
          return ctx->err.code;
        }
        if (id[0] == 0x1F && id[1] == 0x43 && id[2] == 0xB6 && id[3] == 0x75) {
          found = 1;
          break;
        }
      }
      if (!found) break;
      ctx->next_pos = p;
      r = read_more_blocks(ctx);
      if (r >= -2) return r;
      bs = ctx->pst_cur_bs;
      if (mkv_dmx_bs_fseek(bs, p + 1) < 0) return ctx->err.code;
    }
    return MKV_ERR(ctx, MKV_ERR_INVALID, "don't try too hard...in error_resilience_in_block");
  } else {
    uint64_t here = mkv_bs_pos(bs);
    uint32_t lo = 0, hi = ctx->cue_count, index = 0, i;
    while (lo < hi) {
      uint32_t mid = (lo + hi) / 2;
      if (ctx->segment_start + ctx->cues[mid].cluster_pos <= here) {
        index = mid;
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    for (attempt = 0; attempt < 255; ++attempt) {
      uint64_t pos;
      if (index + 1 >= ctx->cue_count)
        return MKV_ERR(ctx, MKV_ERR_INVALID, "error resilience doesn't try in the last cluster");
      here = mkv_bs_pos(ctx->pst_cur_bs);
      /* Only forward: a cue point behind the damage (a mangled index) would
       * lead the parse back to it for ever. */
      for (i = index; i < ctx->cue_count; ++i)
        if (ctx->segment_start + ctx->cues[i].cluster_pos > here) break;
      if (i == ctx->cue_count) return MKV_ERR(ctx, MKV_ERR_INVALID, "error resilience doesn't try in the last cluster");
      index = i;
      pos = ctx->segment_start + ctx->cues[i].cluster_pos;
      ctx->next_pos = pos;
      ctx->cluster_tc = ctx->cues[i].time / ctx->timecode_scale + ctx->start_tc;
      r = read_more_blocks(ctx);
      if (r >= -2) return r;
      if (mkv_bs_pos(ctx->pst_cur_bs) <= pos && mkv_dmx_bs_fseek(ctx->pst_cur_bs, pos + 1) < 0) return ctx->err.code;
    }
    return MKV_ERR(ctx, MKV_ERR_INVALID, "don't try too hard...in error_resilience_in_block");
  }
}

int32_t mkv_parse_step(mkv_dmx_t* ctx) {
  int32_t r = read_more_blocks(ctx);
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
