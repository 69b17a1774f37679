/* Matroska demuxer: packet delivery. The earliest suitable queued frame is
 * read from the file into the caller's or the track's buffer, with stripped
 * header bytes put back in front. */

#include "mkv_internal.h"

/* The queue index to deliver from, or -1 when none qualifies. */
static int32_t choose(mkv_dmx_t* ctx, uint32_t kind) {
  uint32_t i;
  int32_t best = -1;
  for (i = 0; i < ctx->track_count; ++i) {
    const mkv_node_t* head = ctx->queues[i].head;
    const mkv_track_t* t = ctx->tracks[i];
    if (!head) continue;
    switch (kind) {
      case MKV_KIND_ANY:
        if (t->track_number != ctx->sel_video_number && t->track_number != ctx->sel_audio_number &&
            t->track_number != ctx->sel_subtitle_number)
          continue;
        if (best < 0 || head->time < ctx->queues[best].head->time) best = (int32_t)i;
        continue;
      case MKV_KIND_VIDEO:
        if (t->track_type == MKV_TRACK_SUBTITLE ||
            (t->track_type == MKV_TRACK_VIDEO && t->track_number == ctx->sel_video_number))
          return (int32_t)i;
        continue;
      case MKV_KIND_AUDIO:
        if (t->track_type == MKV_TRACK_SUBTITLE ||
            (t->track_type == MKV_TRACK_AUDIO && t->track_number == ctx->sel_audio_number))
          return (int32_t)i;
        continue;
      default:
        if (t->track_type == MKV_TRACK_SUBTITLE) return (int32_t)i;
        continue;
    }
  }
  return best;
}

#define DEFAULT_PACKET_LIMIT 115200u
#define LONGEST_AUDIO_FRAME 65536u /* samples: FLAC's largest block, beyond every other codec's frame */

/* The largest packet a track's own buffer may grow to: the limit open set
 * from the first video picture, or what the track itself holds when that is
 * more: a video track its own picture, an audio track its longest frame at
 * 32 bits a sample. Compressed frames of a tiny picture can exceed its raw
 * size, so no track gets less than the default. */
static uint32_t packet_limit(const mkv_dmx_t* ctx, const mkv_track_t* t) {
  uint64_t own = 0;
  uint32_t i;
  if (t->track_type == MKV_TRACK_VIDEO) {
    for (i = 0; ctx->video_info && i < ctx->video_count; ++i) {
      const mkv_video_info_t* v = &ctx->video_info[i];
      if (v->track_number != t->track_number) continue;
      own = ((v->width * v->height * 3) & 0x7FFFFFFFu) / 2;
      break;
    }
  } else if (t->track_type == MKV_TRACK_AUDIO) {
    own = (uint64_t)(t->u.a.channels ? t->u.a.channels : 1) * 4 * LONGEST_AUDIO_FRAME;
  }
  if (own < ctx->max_packet_size) own = ctx->max_packet_size;
  if (own < DEFAULT_PACKET_LIMIT) own = DEFAULT_PACKET_LIMIT;
  return own > UINT32_MAX ? UINT32_MAX : (uint32_t)own;
}

int32_t GetStreamData(mkv_dmx_t* ctx, mkv_dmx_packet_t** out, uint32_t kind) {
  for (;;) {
    int32_t index;
    mkv_queue_t* q;
    mkv_node_t node;
    mkv_dmx_packet_t* p;
    mkv_track_t* t;
    mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
    uint32_t strip, needed;
    if (kind == MKV_KIND_VIDEO && ctx->no_video) return MKV_ERR(ctx, MKV_ERR_INVALID, "invalid packet type");
    index = choose(ctx, kind);
    if (index < 0) {
      if (fill_queues_with_packet_type(ctx, kind) < 0) return MKV_TAG(ctx, "<GetStreamData");
      continue;
    }
    q = &ctx->queues[index];
    node = *q->head;
    q->head->next = ctx->free_nodes;
    ctx->free_nodes = q->head;
    q->head = node.next;
    if (!q->head) q->tail = 0;
    p = ctx->packet_records[index];
    t = ctx->tracks[index];
    if (!p) return MKV_ERR(ctx, MKV_ERR_INVALID, "packet record does not exist");
    ctx->pst_cur_packet = p;
    p->m_ulKeyFrame = ctx->last_key_flag = node.flags & NODE_KEY;
    switch (p->m_ulTrackType) {
      case MKV_TRACK_VIDEO:
        ctx->video_eos = 0;
        if (!(ctx->options & OPT_SINGLE_HANDLE)) bs = &ctx->bs_video;
        break;
      case MKV_TRACK_AUDIO:
        if (ctx->cook_state == 2) {
          if (!(node.flags & NODE_KEY)) continue;
          ctx->cook_state = 1;
        }
        ctx->audio_eos = 0;
        if (!(ctx->options & OPT_SINGLE_HANDLE)) bs = &ctx->bs_audio;
        break;
      case MKV_TRACK_SUBTITLE:
        ctx->subtitle_eos = 0;
        if (!(ctx->options & OPT_SINGLE_HANDLE)) bs = &ctx->bs_subtitle;
        break;
      default:
        bs = &ctx->bs_main;
        break;
    }
    ctx->pst_cur_bs = bs;
    p->m_ulTimestamp = (uint32_t)(node.time / 1000000);
    p->m_ulEndTime = (uint32_t)(node.end / 1000000);
    if (p->m_ulTrackType == MKV_TRACK_VIDEO) {
      ctx->last_video_time = p->m_ulTimestamp;
      if (p->m_ulKeyFrame && ctx->max_key_time < p->m_ulTimestamp) ctx->max_key_time = p->m_ulTimestamp;
    }
    ctx->last_packet_pos = node.pos;
    strip = (t->content_compressed && t->comp_algo == 3) ? t->comp_settings_size : 0;
    needed = node.size + strip;
    if (needed < node.size) return MKV_ERR(ctx, MKV_ERR_TOO_BIG, "chunk size is too big(greater than max buffer length)");
    if (ctx->ext_buffer) {
      p->m_pbyData = ctx->ext_buffer;
      p->m_ulBufferLength = ctx->ext_buffer_size;
      if (ctx->ext_buffer_size < needed) {
        /* Report what the packet needs, so the caller can grow its buffer. */
        p->m_ulDataLength = needed;
        *out = p;
        return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "insufficient buffer length of m_pbyData");
      }
    } else {
      p->m_pbyData = p->m_pbyInternalBuffer;
      if (p->m_ulBufferLength < needed || !p->m_pbyInternalBuffer) {
        uint8_t* grown;
        if (needed > packet_limit(ctx, t))
          return MKV_ERR(ctx, MKV_ERR_TOO_BIG, "chunk size is too big(greater than max buffer length)");
        grown = (uint8_t*)ctx->host.realloc_fn(p->m_pbyInternalBuffer, needed ? needed : 1);
        if (!grown) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "insufficient memory to re-allocate m_pbyInternalBuffer buffer");
        mkv_zero(ctx, grown, needed);
        p->m_pbyInternalBuffer = p->m_pbyData = grown;
        p->m_ulBufferLength = needed;
      }
    }
    if (mkv_dmx_bs_fseek(bs, node.pos) < 0) return MKV_TAG(ctx, "<GetStreamData");
    if (mkv_dmx_bs_read_bytes(bs, p->m_pbyData + strip, (int32_t)node.size) < 0) return MKV_TAG(ctx, "<GetStreamData");
    if (strip) mkv_copy(ctx, p->m_pbyData, t->pby_comp_method_private, strip);
    p->m_ulDataLength = needed;
    *out = p;
    return 0;
  }
}

int32_t GetStreamDataPreventingUnderrun(mkv_dmx_t* ctx, mkv_dmx_packet_t** out, uint32_t kind) {
  uint64_t pos = ctx->next_pos;
  uint32_t ts = ctx->pst_cur_packet ? ctx->pst_cur_packet->m_ulTimestamp : 0;
  int32_t r = GetStreamData(ctx, out, kind);
  if (r != MKV_ERR_END || !(ctx->options & OPT_UNDERRUN_GUARD) || ctx->next_pos >= ctx->segment_end) return r;
  mkv_queues_release_all(ctx);
  ctx->next_pos = ctx->elem_pos = pos;
  ctx->resync_from = 0;
  ctx->cluster_tc = ts;
  if (mkv_dmx_bs_fseek(ctx->pst_cur_bs, pos) < 0) return MKV_TAG(ctx, "<GetStreamData.MKVDMX_ERR_BUFFER_UNDERRUN");
  ctx->video_eos = ctx->audio_eos = ctx->subtitle_eos = 0;
  mkv_dmx_set_last_error(MKV_ERR_UNDERRUN, 0, 0, 0, "", &ctx->err);
  return MKV_TAG(ctx, "<GetStreamData.MKVDMX_ERR_BUFFER_UNDERRUN");
}
