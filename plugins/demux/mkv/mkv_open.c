/* Matroska demuxer: the EBML header, the segment walk with its SeekHead
 * chain, the parse of remembered top-level elements, and close. */

#include "mkv_internal.h"

#define MAX_SEEKHEADS 16

static const uint32_t kReadBit[POS_COUNT] = {READ_INFO, READ_CLUSTER, READ_TRACKS, READ_CUES,
                                             READ_ATTACHMENTS, READ_CHAPTERS, READ_TAGS};
static const char* const kReadElementsTag[3] = {"<read_elements.SegmentInfo", "<read_elements.Cluster",
                                                "<read_elements.Tracks"};

int32_t read_box(mkv_dmx_t* ctx, uint64_t pos) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint32_t id;
  uint64_t size;
  int32_t r;
  if (mkv_dmx_bs_fseek(bs, pos) < 0 || read_box_header(bs, &id, &size) < 0) return MKV_TAG(ctx, "<read_box");
  switch (id) {
    case ID_INFO:
      r = element_segment_info(ctx, size);
      return r < 0 ? MKV_TAG(ctx, "<read_box.SEGMENT_SEGMENTINFO") : 0;
    case ID_TRACKS:
      r = element_tracks(ctx, size);
      return r < 0 ? MKV_TAG(ctx, "<read_box.SEGMENT_TRACKS") : 0;
    case ID_CLUSTER:
      r = read_box_first_cluster(ctx, size);
      return r < 0 ? MKV_TAG(ctx, "<read_box.SEGMENT_CLUSTER") : 0;
    case ID_CUES:
      ctx->pos[POS_CUES] = pos;
      r = element_cues(ctx, size);
      return r < 0 ? MKV_TAG(ctx, "<read_box.SEGMENT_CUES") : 0;
    case ID_ATTACHMENTS:
      r = element_attachments(ctx, size);
      return r < 0 ? MKV_TAG(ctx, "<read_box.SEGMENT_ATTACHMENTS") : 0;
    case ID_CHAPTERS:
      r = element_chapters(ctx, size);
      return r < 0 ? MKV_TAG(ctx, "<read_box.SEGMENT_CHAPTERS") : 0;
    case ID_TAGS:
      r = element_tags(ctx, size);
      return r < 0 ? MKV_TAG(ctx, "<read_box.SEGMENT_TAGS") : 0;
    default:
      return MKV_ERRV(ctx, MKV_ERR_UNSUPPORTED, id, "Not supported box ID");
  }
}

int32_t read_elements(mkv_dmx_t* ctx) {
  int slot;
  for (slot = POS_INFO; slot <= POS_TRACKS; ++slot) {
    if (ctx->pos[slot] && !(ctx->read_flags & kReadBit[slot]) && read_box(ctx, ctx->pos[slot]) < 0)
      return MKV_TAG(ctx, kReadElementsTag[slot]);
  }
  for (slot = POS_CUES; slot < POS_COUNT; ++slot) {
    if (!ctx->pos[slot] || (ctx->read_flags & kReadBit[slot])) continue;
    if (ctx->pos[slot] >= ctx->segment_end || read_box(ctx, ctx->pos[slot]) < 0) ctx->pos[slot] = 0;
  }
  return 0;
}

/* ---- SeekHead ---- */

static int32_t read_seek_entry(mkv_dmx_t* ctx, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size, target_id = 0, rel = 0, at;
  int have_pos = 0;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_box_seek_entry");
    if (id == 0x53AB) {
      if (child > 4) return MKV_ERRV(ctx, MKV_ERR_INVALID, child, "Invalid ID size in read_box_seek_entry");
      if (read_uint(bs, child, &target_id) < 0) return MKV_TAG(ctx, "<read_box_seek_entry.SEEK_HEAD_EID_SEEK_ID");
    } else if (id == 0x53AC) {
      if (read_uint(bs, child, &rel) < 0) return MKV_TAG(ctx, "<read_box_seek_entry.SEEK_HEAD_EID_SEEK_POSITION");
      have_pos = 1;
    } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
      return MKV_TAG(ctx, "<read_box_seek_entry.default");
    }
  }
  if (!have_pos) return MKV_ERR(ctx, MKV_ERR_INVALID, "Invalid element position in read_box_seek_entry");
  at = ctx->segment_start + rel;
  switch ((uint32_t)target_id) {
    case ID_TRACKS:
      if (!ctx->pos[POS_TRACKS]) {
        ctx->pos[POS_TRACKS] = at;
      } else if ((ctx->read_flags & READ_TRACKS) && ctx->pos[POS_TRACKS] != at) {
        ctx->read_flags &= ~(uint32_t)READ_TRACKS;
        ctx->pos[POS_TRACKS] = at;
      }
      break;
    case ID_TAGS: ctx->pos[POS_TAGS] = at; break;
    case ID_INFO: ctx->pos[POS_INFO] = at; break;
    case ID_CHAPTERS: ctx->pos[POS_CHAPTERS] = at; break;
    case ID_CUES: ctx->pos[POS_CUES] = at; break;
    case ID_ATTACHMENTS: ctx->pos[POS_ATTACHMENTS] = at; break;
    case ID_CLUSTER:
      if (!ctx->pos[POS_CLUSTER]) ctx->pos[POS_CLUSTER] = at;
      break;
    case ID_SEEKHEAD: ctx->next_seekhead = at; break;
    default: break;
  }
  return 0;
}

static int32_t read_seekhead_body(mkv_dmx_t* ctx, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  ctx->next_seekhead = 0;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<element_seekhead");
    if (id == 0x4DBB) {
      if (read_seek_entry(ctx, child) < 0) {
        MKV_TAG(ctx, "<read_box_seek_entry");
        return MKV_TAG(ctx, "<element_seekhead.SEEK_HEAD_EID_SEEK");
      }
    } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
      return MKV_TAG(ctx, "<element_seekhead.default");
    }
  }
  return 0;
}

/* Parses a SeekHead and follows its chain of further SeekHeads. Each
 * SeekHead is visited once, so a chain that points back cannot loop. */
static int32_t element_seekhead(mkv_dmx_t* ctx, uint64_t header_pos, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t resume = mkv_bs_pos(bs) + size;
  uint64_t visited[MAX_SEEKHEADS];
  uint32_t nvisited = 0, i;
  visited[nvisited++] = header_pos;
  for (;;) {
    uint32_t id;
    uint64_t next_size;
    int seen = 0;
    if (read_seekhead_body(ctx, size) < 0) return ctx->err.code;
    if (!ctx->next_seekhead) break;
    for (i = 0; i < nvisited; ++i)
      if (visited[i] == ctx->next_seekhead) seen = 1;
    if (seen || nvisited == MAX_SEEKHEADS) break;
    visited[nvisited++] = ctx->next_seekhead;
    if (mkv_dmx_bs_fseek(bs, ctx->next_seekhead) < 0) return MKV_TAG(ctx, "<element_seekhead.SeekHeadPosition");
    if (read_box_header(bs, &id, &next_size) < 0 || id != ID_SEEKHEAD) break;
    size = next_size;
  }
  ctx->next_seekhead = 0;
  if (ctx->pos[POS_INFO] && ctx->pos[POS_TRACKS] && ctx->pos[POS_CUES] && ctx->pos[POS_CLUSTER]) {
    if (read_elements(ctx) < 0) return MKV_TAG(ctx, "<element_seekhead.EVIL HACK");
  }
  if (mkv_dmx_bs_fseek(bs, resume) < 0) return MKV_TAG(ctx, "<element_seekhead.end");
  return 0;
}

/* ---- EBML header ---- */

static int32_t read_ebml_header(mkv_dmx_t* ctx) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t size, end;
  uint32_t further;
  if (read_vlc_uint_imp(bs, &further, &size) < 0) {
    MKV_TAG(ctx, "<read_size");
    return MKV_TAG(ctx, "<mkv_dmx_open.2");
  }
  if (mkv_is_unknown_size(size, further))
    return MKV_ERRV(ctx, MKV_ERR_INVALID, size, "Unspecified element size is not supported here");
  end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child, v;
    char doc_type[32];
    if (read_box_header(bs, &id, &child) < 0) {
      MKV_TAG(ctx, "<element_ebml");
      return MKV_TAG(ctx, "<mkv_dmx_open.3");
    }
    switch (id) {
      case 0x4286:
      case 0x4285:
        if (read_uint(bs, child, &v) < 0) {
          MKV_TAG(ctx, id == 0x4286 ? "<element_ebml.EBML_EID_EBML_VERSION" : "<element_ebml.EBML_EID_DOC_TYPE_READ_VERSION");
          return MKV_TAG(ctx, "<mkv_dmx_open.3");
        }
        break;
      case 0x42F7:
        if (read_uint(bs, child, &v) < 0 || v > 1) {
          if (ctx->err.code == 0 || v > 1) MKV_ERRV(ctx, MKV_ERR_INVALID, v, "invalid EBML_VERSION");
          MKV_TAG(ctx, "<element_ebml.EBML_EID_EBML_READ_VERSION");
          return MKV_TAG(ctx, "<mkv_dmx_open.3");
        }
        break;
      case 0x42F2:
        if (read_uint(bs, child, &v) < 0 || v > 4) {
          if (ctx->err.code == 0 || v > 4) MKV_ERRV(ctx, MKV_ERR_INVALID, v, "invalid maximum length of the EBML IDs");
          MKV_TAG(ctx, "<element_ebml.EBML_EID_EBML_MAX_ID_LENGTH");
          return MKV_TAG(ctx, "<mkv_dmx_open.3");
        }
        break;
      case 0x42F3:
        if (read_uint(bs, child, &v) < 0 || v > 8) {
          if (ctx->err.code == 0 || v > 8) MKV_ERRV(ctx, MKV_ERR_INVALID, v, "invalid maximum length of the EBML sizes");
          MKV_TAG(ctx, "<element_ebml.EBML_EID_EBML_MAX_SIZE_LENGTH");
          return MKV_TAG(ctx, "<mkv_dmx_open.3");
        }
        break;
      case 0x4282:
        if (read_string(bs, child, doc_type, sizeof doc_type) < 0) {
          MKV_TAG(ctx, "<element_ebml.EBML_EID_DOC_TYPE");
          return MKV_TAG(ctx, "<mkv_dmx_open.3");
        }
        if (mkv_dmx_strcmp(doc_type, "matroska") && mkv_dmx_strcmp(doc_type, "webm")) {
          MKV_ERR(ctx, MKV_ERR_UNSUPPORTED, "unsupported DocType of EBML");
          MKV_TAG(ctx, "<element_ebml.EBML_EID_DOC_TYPE");
          return MKV_TAG(ctx, "<mkv_dmx_open.3");
        }
        break;
      case 0x4287:
        if (read_uint(bs, child, &v) < 0) {
          MKV_TAG(ctx, "<element_ebml.EBML_EID_DOC_TYPE_VERSION");
          return MKV_TAG(ctx, "<mkv_dmx_open.3");
        }
        ctx->doc_type_version = (uint32_t)v;
        break;
      default:
        if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
          MKV_TAG(ctx, "<element_ebml.default");
          return MKV_TAG(ctx, "<mkv_dmx_open.3");
        }
        break;
    }
  }
  return 0;
}

/* ---- segment walk ---- */

static int positions_done(const mkv_dmx_t* ctx) {
  if (ctx->pos[POS_INFO] && ctx->pos[POS_TRACKS] && ctx->pos[POS_CLUSTER]) return 1;
  return (ctx->options & OPT_MAIN_ONLY) && ctx->pos[POS_INFO] && ctx->pos[POS_TRACKS];
}

/* A non-fatal parse failed: pass over the element and go on. */
static int32_t skip_failed(mkv_dmx_t* ctx, uint64_t end, const char* tag) {
  if (mkv_dmx_bs_fseek(ctx->pst_cur_bs, end) < 0) return MKV_TAG(ctx, tag);
  return 0;
}

static int32_t walk_segment(mkv_dmx_t* ctx) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  const int skip_extras = (ctx->options & (OPT_MAIN_ONLY | OPT_NO_END_SEARCH)) != 0;
  for (;;) {
    uint32_t id;
    uint64_t size, at = mkv_bs_pos(bs), end;
    int32_t r = 0;
    if (at >= ctx->segment_end) break;
    if (read_box_header(bs, &id, &size) < 0) {
      MKV_TAG(ctx, "<element_segment_tree");
      return MKV_TAG(ctx, "<mkv_dmx_open.7");
    }
    end = mkv_bs_pos(bs) + size;
    switch (id) {
      case ID_INFO:
        ctx->pos[POS_INFO] = at;
        if (element_segment_info(ctx, size) < 0) {
          MKV_TAG(ctx, "<element_segment_tree.SEGMENT_SEGMENTINFO");
          return MKV_TAG(ctx, "<mkv_dmx_open.7");
        }
        break;
      case ID_TRACKS:
        if (ctx->read_flags & READ_TRACKS) {
          r = mkv_dmx_bs_skip_bytes(bs, size);
          break;
        }
        ctx->pos[POS_TRACKS] = at;
        if (element_tracks(ctx, size) < 0) {
          MKV_TAG(ctx, "<element_segment_tree.SEGMENT_TRACKS");
          return MKV_TAG(ctx, "<mkv_dmx_open.7");
        }
        break;
      case ID_CLUSTER:
        if (ctx->options & OPT_MAIN_ONLY) {
          if (!(ctx->read_flags & (READ_INFO | READ_TRACKS))) return 0;
          break; /* walk on inside the cluster */
        }
        if (!ctx->pos[POS_CLUSTER]) ctx->pos[POS_CLUSTER] = at;
        if (!(ctx->read_flags & READ_CLUSTER) && ctx->pos[POS_CLUSTER] == at) {
          if (read_box_first_cluster(ctx, size) < 0) {
            MKV_TAG(ctx, "<element_segment_tree.SEGMENT_CLUSTER2");
            return MKV_TAG(ctx, "<mkv_dmx_open.7");
          }
          if (mkv_dmx_bs_fseek(bs, end) < 0) {
            MKV_TAG(ctx, "<element_segment_tree.SEGMENT_CLUSTER2");
            return MKV_TAG(ctx, "<mkv_dmx_open.7");
          }
        } else if (mkv_dmx_bs_skip_bytes(bs, size) < 0) {
          MKV_TAG(ctx, "<element_segment_tree.SEGMENT_CLUSTER1");
          return MKV_TAG(ctx, "<mkv_dmx_open.7");
        }
        break;
      case ID_CUES:
        if (!ctx->pos[POS_CLUSTER] || (ctx->read_flags & READ_CUES)) {
          r = mkv_dmx_bs_skip_bytes(bs, size);
          break;
        }
        ctx->pos[POS_CUES] = at;
        if (element_cues(ctx, size) < 0) r = skip_failed(ctx, end, "<element_segment_tree.SEGMENT_CUES");
        break;
      case ID_TAGS:
      case ID_CHAPTERS:
      case ID_ATTACHMENTS: {
        int slot = id == ID_TAGS ? POS_TAGS : id == ID_CHAPTERS ? POS_CHAPTERS : POS_ATTACHMENTS;
        if (skip_extras || (ctx->read_flags & kReadBit[slot])) {
          r = mkv_dmx_bs_skip_bytes(bs, size);
          break;
        }
        ctx->pos[slot] = at;
        r = id == ID_TAGS ? element_tags(ctx, size) : id == ID_CHAPTERS ? element_chapters(ctx, size)
                                                                          : element_attachments(ctx, size);
        if (r < 0)
          r = skip_failed(ctx, end, id == ID_TAGS       ? "<element_segment_tree.SEGMENT_TAGS"
                                    : id == ID_CHAPTERS ? "<element_segment_tree.SEGMENT_CHAPTERS"
                                                        : "<element_segment_tree.SEGMENT_ATTACHMENTS");
        break;
      }
      case ID_SEEKHEAD:
        if (skip_extras) {
          r = mkv_dmx_bs_skip_bytes(bs, size);
          break;
        }
        if (element_seekhead(ctx, at, size) < 0) r = skip_failed(ctx, end, "<element_segment_tree.SEGMENT_SEEKHEAD");
        break;
      default:
        r = mkv_dmx_bs_skip_bytes(bs, size);
        break;
    }
    if (r < 0) {
      MKV_TAG(ctx, "<element_segment_tree.default");
      return MKV_TAG(ctx, "<mkv_dmx_open.7");
    }
    if (positions_done(ctx)) {
      if (!(ctx->options & OPT_NO_END_SEARCH) && read_elements(ctx) < 0) {
        MKV_TAG(ctx, "<element_segment_tree.end");
        return MKV_TAG(ctx, "<mkv_dmx_open.7");
      }
      return 0;
    }
  }
  if (read_elements(ctx) < 0) {
    MKV_TAG(ctx, "<element_segment_tree.end");
    return MKV_TAG(ctx, "<mkv_dmx_open.7");
  }
  return 0;
}

int32_t mkv_dmx_open(mkv_dmx_t* ctx) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint32_t id, further, i;
  uint64_t size;
  if (read_id(bs, &id) < 0) return MKV_TAG(ctx, "<mkv_dmx_open.1");
  if (id != ID_SEGMENT) {
    if (id != ID_EBML) return MKV_ERRV(ctx, MKV_ERR_INVALID, id, "First element in file is not EBML");
    if (read_ebml_header(ctx) < 0) return ctx->err.code;
    for (;;) {
      if (read_id(bs, &id) < 0) return MKV_TAG(ctx, "<mkv_dmx_open.4");
      if (id == ID_SEGMENT) break;
      if (read_vlc_uint_imp(bs, &further, &size) < 0) return MKV_TAG(ctx, "<mkv_dmx_open.5");
      if (mkv_is_unknown_size(size, further))
        return MKV_ERRV(ctx, MKV_ERR_INVALID, size, "Unspecified element size is not supported here");
      if (mkv_dmx_bs_skip_bytes(bs, size) < 0) return MKV_TAG(ctx, "<mkv_dmx_open.6");
    }
  }
  if (read_vlc_uint_imp(bs, &further, &size) < 0) return MKV_TAG(ctx, "<mkv_dmx_open.5");
  if (further == 0 && size == 0x7F) size = UINT64_MAX;
  ctx->segment_start = mkv_bs_pos(bs);
  if (size == UINT64_MAX) {
    ctx->segment_end = UINT64_MAX;
  } else {
    uint64_t end = ctx->segment_start + size;
    if (end < ctx->segment_start) end = UINT64_MAX;
    if (ctx->segment_end > end) ctx->segment_end = end;
    if (ctx->file_size > end) ctx->file_size = end;
  }
  if (walk_segment(ctx) < 0) return ctx->err.code;
  if (!(ctx->read_flags & READ_INFO)) return MKV_ERR(ctx, MKV_ERR_INVALID, "Couldn't find SegmentInfo");
  /* A SegmentInfo whose parse failed where the walk goes on (through the
   * SeekHead) may have left no scale: every time would divide by it. */
  if (!ctx->timecode_scale) return MKV_ERR(ctx, MKV_ERR_INVALID, "Segment timecode scale is zero");
  if (!ctx->pos[POS_CLUSTER]) ctx->pos[POS_CLUSTER] = ctx->segment_end;
  ctx->no_video = ctx->video_count ? 0 : 1;
  if (ctx->cue_count && prepare_cue_table(ctx) < 0) return ctx->err.code;
  if (ctx->track_cap > ctx->track_count && ctx->track_count) {
    mkv_track_t** shrunk = (mkv_track_t**)ctx->host.realloc_fn(ctx->tracks, ctx->track_count * sizeof *shrunk);
    if (!shrunk) {
      MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to re-allocate of mkv arrary");
      return MKV_TAG(ctx, "<mkv_dmx_open.8");
    }
    ctx->tracks = shrunk;
    ctx->track_cap = ctx->track_count;
  }
  ctx->queues = (mkv_queue_t*)mkv_malloc(ctx, (ctx->track_count ? ctx->track_count : 1) * sizeof(mkv_queue_t));
  if (!ctx->queues) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to allocate of frame_list<mkv_dmx_open");
  mkv_zero(ctx, ctx->queues, (ctx->track_count ? ctx->track_count : 1) * sizeof(mkv_queue_t));
  ctx->cluster_pos = ctx->next_pos = ctx->elem_pos = ctx->pos[POS_CLUSTER];
  ctx->cluster_tc = ctx->start_tc;
  if (ctx->options & OPT_SINGLE_HANDLE) {
    ctx->pst_cur_bs = &ctx->bs_video;
  } else {
    mkv_dmx_bs_t* const readers[4] = {&ctx->bs_main, &ctx->bs_video, &ctx->bs_audio, &ctx->bs_subtitle};
    ctx->pst_cur_bs = readers[0];
    for (i = 1; i < 4; ++i)
      if (readers[i]->cache_size > ctx->pst_cur_bs->cache_size) ctx->pst_cur_bs = readers[i];
  }
  return 0;
}

int32_t es_open(mkv_dmx_t* ctx) { return mkv_dmx_open(ctx); }

void mkv_set_track_mask(mkv_dmx_t* ctx, uint32_t mask) {
  uint32_t i;
  if (ctx->seek_state & SEEK_STATE_HOLD_MASK) return;
  ctx->track_mask = mask;
  if (!ctx->queues) return;
  for (i = 0; i < ctx->track_count && i < 32; ++i)
    if (mask & (1u << i)) mkv_queue_release(ctx, i);
}

int32_t mkv_dmx_close(mkv_dmx_t* ctx) {
  uint32_t i, j;
  void* shared;
  mkv_free(ctx, ctx->lace);
  ctx->lace = 0;
  if (ctx->avcc) {
    mkv_free(ctx, ctx->avcc->sps_list);
    mkv_free(ctx, ctx->avcc->pps_list);
    mkv_free(ctx, ctx->avcc);
    ctx->avcc = 0;
  }
  if (ctx->hvcc) {
    if (ctx->hvcc->nal_arrays)
      for (i = 0; i < ctx->hvcc->nal_array_count; ++i) mkv_free(ctx, ctx->hvcc->nal_arrays[i].nal_units);
    mkv_free(ctx, ctx->hvcc->nal_arrays);
    mkv_free(ctx, ctx->hvcc);
    ctx->hvcc = 0;
  }
  mkv_free(ctx, ctx->meta);
  ctx->meta = 0;
  for (i = 0; i < ctx->packet_count; ++i) {
    if (!ctx->packet_records[i]) continue;
    mkv_free(ctx, ctx->packet_records[i]->m_pbyInternalBuffer);
    mkv_dmx_clear_allocated_data(ctx, &ctx->err, (void**)&ctx->packet_records[i]);
  }
  /* AudioSpecificConfig built where a track mapped to AAC had no
   * CodecPrivate: by what open built, not by what the file's CodecID or
   * track numbers say now. */
  for (i = 0; i < ctx->audio_count && i < MKV_MAX_PER_KIND && ctx->audio_info; ++i)
    if (ctx->built_configs & (1u << i))
      mkv_dmx_clear_allocated_data(ctx, &ctx->err, (void**)&ctx->audio_info[i].private_data);
  mkv_free(ctx, ctx->video_info);
  mkv_free(ctx, ctx->audio_info);
  mkv_free(ctx, ctx->subtitle_info);
  for (i = 0; i < ctx->track_count; ++i) {
    mkv_track_t* t = ctx->tracks[i];
    mkv_free(ctx, t->codec_private);
    mkv_free(ctx, t->pby_comp_method_private);
    mkv_free(ctx, t->name);
    mkv_free(ctx, t->language);
    mkv_free(ctx, t->codec_id);
    mkv_free(ctx, t->codec_name);
    mkv_free(ctx, t);
  }
  mkv_free(ctx, ctx->tracks);
  for (i = 0; i < ctx->block_count; ++i) mkv_free(ctx, ctx->blocks[i]);
  mkv_free(ctx, ctx->blocks);
  mkv_free(ctx, ctx->queues);
  for (i = 0; i < TEXT_COUNT; ++i) mkv_free(ctx, ctx->texts[i]);
  mkv_free(ctx, ctx->cues);
  for (i = 0; i < ctx->tag_count; ++i) mkv_free(ctx, ctx->tags[i].targets);
  mkv_free(ctx, ctx->tags);
  shared = ctx->bs_main.file;
  mkv_dmx_close_bitstream(&ctx->bs_main);
  {
    mkv_dmx_bs_t* const others[4] = {&ctx->bs_video, &ctx->bs_audio, &ctx->bs_subtitle, &ctx->bs_index};
    for (j = 0; j < 4; ++j) {
      if (shared && others[j]->file == shared) others[j]->file = 0;
      mkv_dmx_close_bitstream(others[j]);
    }
  }
  ctx->host.free_fn(ctx);
  return 0;
}
