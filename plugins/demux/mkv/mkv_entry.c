/* Matroska demuxer: the op-coded entry, the open sequence (readers, segment,
 * packet records, stream description, duration) and the op table. */

#include "mkv_internal.h"

#define DEFAULT_AV_CACHE 520833u
#define DEFAULT_MAIN_CACHE 1024u
#define SUBTITLE_CACHE 512u
#define INDEX_CACHE 128u
#define RESILIENCE_MAX 4194304u

static char g_version[20];
static char g_build_date[17];

static const char kVersion[] = "KVR_MKVDMX_V1.2.1.2";
static const char kBuildDate[] = "2017-02-08/14:00";

static uint32_t resilience_distance(uint32_t s) {
  static const struct {
    uint32_t below, factor;
  } kSteps[] = {{7500, 200}, {10000, 100}, {20000, 50}, {40000, 20}, {80000, 15}, {120000, 9}, {160000, 7}};
  uint32_t i;
  if (s < 5000) return RESILIENCE_MAX;
  for (i = 0; i < sizeof kSteps / sizeof kSteps[0]; ++i)
    if (s < kSteps[i].below) return s * kSteps[i].factor;
  return s > RESILIENCE_MAX ? RESILIENCE_MAX : s * 4;
}

static int32_t measure_file(mkv_dmx_t* ctx, void* file) {
  const KvrHostServices* h = &ctx->host;
  if (ctx->options & (OPT_SINGLE_HANDLE | OPT_NO_END_SEARCH)) {
    ctx->file_size = 0x7FFFFFFFFFFFFFFFull;
  } else if (h->fseek64_fn && h->ftell64_fn) {
    int64_t size;
    if (h->fseek64_fn(file, 0, KVR_SEEK_END) != 0)
      return MKV_ERR(ctx, MKV_ERR_SEEK, "can't seek to SEEK_END in fseek64(set_bitstream)");
    size = h->ftell64_fn(file);
    if (h->fseek64_fn(file, 0, KVR_SEEK_SET) != 0)
      return MKV_ERR(ctx, MKV_ERR_SEEK, "can't seek to SEEK_SET in fseek64(set_bitstream)");
    ctx->file_size = size < 0 ? 0 : (uint64_t)size;
  } else if (h->fseek_fn && h->ftell_fn) {
    int32_t size;
    if (h->fseek_fn(file, 0, KVR_SEEK_END) != 0)
      return MKV_ERR(ctx, MKV_ERR_SEEK, "can't seek to SEEK_END in fseek(set_bitstream)");
    size = h->ftell_fn(file);
    if (h->fseek_fn(file, 0, KVR_SEEK_SET) != 0)
      return MKV_ERR(ctx, MKV_ERR_SEEK, "can't seek to SEEK_SET in fseek(set_bitstream)");
    ctx->file_size = (uint64_t)(int64_t)size;
  } else {
    return MKV_ERR(ctx, MKV_ERR_INVALID, "can't find feek function(set_bitstream)");
  }
  ctx->segment_end = ctx->file_size;
  return 0;
}

static int32_t open_readers(mkv_dmx_t* ctx, const mkv_dmx_init_t* init, void* file) {
  uint32_t video = init->video_cache_size ? init->video_cache_size : DEFAULT_AV_CACHE;
  uint32_t audio = init->audio_cache_size ? init->audio_cache_size : DEFAULT_AV_CACHE;
  uint32_t main = init->main_cache_size ? init->main_cache_size : DEFAULT_MAIN_CACHE;
  uint32_t flags = (init->flags & MKV_FLAG_GROW_CACHE) ? MKV_BS_GROW : 0;
  if (mkv_dmx_open_bitstream_set(&ctx->bs_main, main, file, &ctx->host, &ctx->err, flags) < 0) return ctx->err.code;
  if (ctx->options & OPT_SINGLE_HANDLE) {
    if (!(ctx->options & OPT_MAIN_ONLY)) {
      if (mkv_dmx_open_bitstream_set(&ctx->bs_video, video + audio, file, &ctx->host, &ctx->err, flags) < 0)
        return ctx->err.code;
      ctx->bs_main.flags |= MKV_BS_SHARED_HANDLE;
      ctx->bs_video.flags |= MKV_BS_SHARED_HANDLE;
    }
  } else if (!(ctx->options & OPT_MAIN_ONLY)) {
    mkv_dmx_bs_t* const readers[4] = {&ctx->bs_video, &ctx->bs_audio, &ctx->bs_subtitle, &ctx->bs_index};
    const uint32_t sizes[4] = {video, audio, SUBTITLE_CACHE, INDEX_CACHE};
    uint32_t i;
    for (i = 0; i < 4; ++i) {
      void* f = ctx->host.fopen_fn(ctx->file_name, "rb");
      if (!f) return MKV_ERR(ctx, MKV_ERR_OPEN, "can't open file(set_bitstream)");
      if (mkv_dmx_open_bitstream_set(readers[i], sizes[i], f, &ctx->host, &ctx->err, flags) < 0) {
        if (!readers[i]->file) ctx->host.fclose_fn(f);
        return ctx->err.code;
      }
    }
  }
  ctx->pst_cur_bs = &ctx->bs_main;
  return 0;
}

static int32_t open_file(mkv_dmx_t* ctx, const mkv_dmx_init_t* init, uint32_t op_options) {
  void* file;
  uint32_t i;
  int32_t r;
  uint64_t last;
  ctx->options = op_options;
  if (init->flags & MKV_FLAG_NO_END_SEARCH) ctx->options |= OPT_NO_END_SEARCH;
  if (init->flags & MKV_FLAG_NO_AUDIO) ctx->options |= OPT_NO_AUDIO;
  if (init->flags & MKV_FLAG_NO_VIDEO) ctx->options |= OPT_NO_VIDEO;
  if (init->flags & MKV_FLAG_NO_SUBTITLE) ctx->options |= OPT_NO_SUBTITLE;
  if (init->flags & MKV_FLAG_ACCEPT_DIVX) ctx->options |= OPT_ACCEPT_DIVX;
  ctx->read_packet = (ctx->options & OPT_UNDERRUN_GUARD) ? GetStreamDataPreventingUnderrun : GetStreamData;
  ctx->host = init->host;
  for (i = 0; i < sizeof ctx->host.unused / sizeof ctx->host.unused[0]; ++i) ctx->host.unused[i] = 0;
  ctx->sel_video_number = ctx->sel_audio_number = ctx->sel_subtitle_number = 0xFFFFFFFFu;
  if (ctx->options & OPT_SINGLE_HANDLE) {
    ctx->file_name = 0;
    file = init->file;
  } else {
    ctx->file_name = (const char*)init->file;
    file = ctx->file_name && ctx->host.fopen_fn ? ctx->host.fopen_fn(ctx->file_name, "rb") : 0;
  }
  if (!file) {
    MKV_ERR(ctx, MKV_ERR_OPEN, "can't open file(set_bitstream)");
    return MKV_TAG(ctx, "<dmx_open");
  }
  /* Readers that this open leaves without a cache still report into the
   * error record. The main reader owns the handle from here on, so close
   * releases it. */
  {
    mkv_dmx_bs_t* const readers[5] = {&ctx->bs_main, &ctx->bs_video, &ctx->bs_audio, &ctx->bs_subtitle, &ctx->bs_index};
    for (i = 0; i < 5; ++i) {
      readers[i]->host = &ctx->host;
      readers[i]->err = &ctx->err;
    }
  }
  ctx->bs_main.file = file;
  if (measure_file(ctx, file) < 0 || open_readers(ctx, init, file) < 0) return MKV_TAG(ctx, "<dmx_open");
  ctx->seek_state = 0;
  __atomic_store_n(&ctx->run_state, 0, __ATOMIC_RELEASE);
  ctx->retry_done = 0;
  ctx->min_key_time = 0;
  ctx->max_key_time = 0;
  r = mkv_dmx_open(ctx);
  if (r < 0) {
    if (r == MKV_ERR_END && ctx->segment_end > ctx->next_pos) {
      mkv_dmx_set_last_error(MKV_ERR_UNDERRUN, 0, 0, 0, "MKVDMX_ERR_BUFFER_UNDERRUN", &ctx->err);
      return MKV_TAG(ctx, "<dmx_open");
    }
    return MKV_TAG(ctx, "<dmx_open");
  }
  for (i = 0; i < ctx->track_count && i < MKV_MAX_TRACKS; ++i) {
    if (mkv_dmx_get_allocated_data(ctx, &ctx->err, sizeof(mkv_dmx_packet_t), (void**)&ctx->pst_cur_packet) < 0) {
      MKV_TAG(ctx, "<add_stream");
      return MKV_TAG(ctx, "<dmx_open");
    }
    ctx->packet_records[ctx->packet_count++] = ctx->pst_cur_packet;
    ctx->pst_cur_packet->m_ulTrackNumber = ctx->tracks[i]->track_number;
    ctx->pst_cur_packet->m_ulTrackType = ctx->tracks[i]->track_type;
  }
  ctx->pst_cur_packet = 0;
  ctx->file_info.file_name = ctx->file_name;
  ctx->file_info.duration_ms = (uint32_t)(ctx->duration_ns / 1000000);
  ctx->file_info.file_size = ctx->file_size;
  ctx->file_info.seekable = ctx->cue_count > 1;
  if (!(ctx->options & OPT_ACCEPT_DIVX) && ctx->texts[TEXT_MUXING_APP] &&
      !mkv_dmx_strcmp(ctx->texts[TEXT_MUXING_APP], "libDivXMediaFormat"))
    return MKV_ERR(ctx, MKV_ERR_DIVX, "divx media is not supported");
  ctx->max_packet_size = 115200;
  if (mkv_describe_streams(ctx) < 0) return MKV_TAG(ctx, "<dmx_open");
  ctx->cur_video = ctx->video_count ? ctx->video_info : 0;
  ctx->cur_audio = ctx->audio_count ? ctx->audio_info : 0;
  ctx->cur_subtitle = ctx->subtitle_count ? ctx->subtitle_info : 0;
  ctx->sel_video_number = ctx->cur_video ? ctx->cur_video->track_number : 0xFFFFFFFFu;
  ctx->sel_audio_number = ctx->cur_audio ? ctx->cur_audio->track_number : 0xFFFFFFFFu;
  ctx->sel_subtitle_number = ctx->cur_subtitle ? ctx->cur_subtitle->track_number : 0xFFFFFFFFu;
  if (ctx->cur_video && ctx->cur_video->width && ctx->cur_video->height)
    ctx->max_packet_size = ((ctx->cur_video->width * ctx->cur_video->height * 3) & 0x7FFFFFFFu) / 2;
  ctx->resilience = resilience_distance(ctx->first_cluster_size);
  if (ctx->cur_video && ctx->cur_video->width >= 1920) {
    uint64_t grown = (uint64_t)ctx->resilience * (ctx->cur_video->width >= 3840 ? 4 : 2);
    ctx->resilience = grown > RESILIENCE_MAX ? RESILIENCE_MAX : (uint32_t)grown;
  }
  if (ctx->resilience > RESILIENCE_MAX - 1) ctx->resilience = RESILIENCE_MAX;
  if (ctx->file_size < ctx->resilience) ctx->resilience = (uint32_t)ctx->file_size;
  /* The search for the last cluster looks as far back as a damaged block
   * is searched over: both are bounded by 4 MiB and by the file. */
  ctx->tail_window = ctx->resilience;
  ctx->cue_key_flag = 1;
  if (!(ctx->options & (OPT_MAIN_ONLY | OPT_NO_END_SEARCH))) {
    uint64_t pos = ctx->next_pos, tc = ctx->cluster_tc;
    last = find_last_timecode(ctx);
    if (last != UINT64_MAX && (int64_t)last > 0) {
      ctx->duration_ns = last;
      ctx->file_info.duration_ms = (uint32_t)(last / 1000000);
    } else {
      ctx->next_pos = ctx->elem_pos = pos;
      ctx->cluster_tc = tc;
    }
    mkv_dmx_clear_last_error(&ctx->err);
  }
  ctx->key_index = 0;
  return 0;
}

static void fill_stream_info(mkv_dmx_t* ctx, mkv_dmx_stream_info_t* out) {
  if (!out) return;
  out->file_info = &ctx->file_info;
  out->video_count = ctx->video_info ? ctx->video_count : 0;
  out->video = ctx->video_info;
  out->current_video = ctx->cur_video;
  out->audio_count = ctx->audio_info ? ctx->audio_count : 0;
  out->audio = ctx->audio_info;
  out->current_audio = ctx->cur_audio;
  out->subtitle_count = ctx->subtitle_info ? ctx->subtitle_count : 0;
  out->subtitle = ctx->subtitle_info;
  out->current_subtitle = ctx->cur_subtitle;
}

static int32_t op_open(int32_t op, mkv_dmx_t** slot, const mkv_dmx_init_t* init, mkv_dmx_stream_info_t* out) {
  mkv_dmx_t* ctx;
  int32_t r;
  if (!init || !init->host.malloc_fn || !init->host.free_fn || !init->host.memcpy_fn || !init->host.memset_fn ||
      !init->host.realloc_fn)
    return MKV_ERR_NO_SERVICE;
  ctx = (mkv_dmx_t*)init->host.malloc_fn(sizeof *ctx);
  if (!ctx) return MKV_ERR_NO_HANDLE;
  init->host.memset_fn(ctx, 0, sizeof *ctx);
  mkv_dmx_clear_last_error(&ctx->err);
  r = open_file(ctx, init, op == MKV_OP_OPEN_HANDLE ? OPT_SINGLE_HANDLE : op == MKV_OP_OPEN_MAIN_ONLY ? OPT_MAIN_ONLY : 0);
  *slot = ctx;
  if (out) {
    mkv_zero(ctx, out, sizeof *out);
    if (r >= 0) fill_stream_info(ctx, out);
  }
  return r < 0 ? r : 0;
}

static void fill_out(mkv_dmx_outstream_t* out, mkv_dmx_packet_t* p) {
  if (!out) return;
  if (!p) {
    out->m_pbyData = 0;
    out->m_ulDataLength = out->m_ulTrackType = out->m_ulTimestamp = out->m_ulEndTime = 0;
    out->m_pulKeyFrame = 0;
    return;
  }
  out->m_pbyData = p->m_pbyData;
  out->m_ulDataLength = p->m_ulDataLength;
  out->m_ulTrackType = p->m_ulTrackType;
  out->m_ulTimestamp = p->m_ulTimestamp;
  out->m_ulEndTime = p->m_ulEndTime;
  out->m_pulKeyFrame = &p->m_ulKeyFrame;
}

static int32_t op_select(mkv_dmx_t* ctx, const mkv_dmx_select_t* in, mkv_dmx_selected_t* out) {
  uint32_t i;
  if (!out) return 0;
  if (!in || !in->bits) {
    out->video = ctx->cur_video;
    out->audio = ctx->cur_audio;
    out->subtitle = ctx->cur_subtitle;
    return 0;
  }
  if (!(in->bits & 1) || !ctx->video_info) {
    out->video = ctx->cur_video;
  } else {
    for (i = 0; i < ctx->video_count; ++i)
      if (ctx->video_info[i].track_number == in->video_number) {
        out->video = &ctx->video_info[i];
        ctx->sel_video_number = in->video_number;
        break;
      }
  }
  if (!(in->bits & 2) || !ctx->audio_info) {
    out->audio = ctx->cur_audio;
  } else {
    for (i = 0; i < ctx->audio_count; ++i)
      if (ctx->audio_info[i].track_number == in->audio_number) {
        out->audio = &ctx->audio_info[i];
        ctx->sel_audio_number = in->audio_number;
        break;
      }
  }
  if (!(in->bits & 4) || !ctx->subtitle_info) {
    out->subtitle = ctx->cur_subtitle;
  } else {
    for (i = 0; i < ctx->subtitle_count; ++i)
      if (ctx->subtitle_info[i].track_number == in->subtitle_number) {
        out->subtitle = &ctx->subtitle_info[i];
        ctx->sel_subtitle_number = in->subtitle_number;
        break;
      }
  }
  return 0;
}

static void free_avcc(mkv_dmx_t* ctx) {
  if (!ctx->avcc) return;
  mkv_free(ctx, ctx->avcc->sps_list);
  mkv_free(ctx, ctx->avcc->pps_list);
  mkv_free(ctx, ctx->avcc);
  ctx->avcc = 0;
}

static void free_hvcc(mkv_dmx_t* ctx) {
  uint32_t i;
  if (!ctx->hvcc) return;
  if (ctx->hvcc->nal_arrays)
    for (i = 0; i < ctx->hvcc->nal_array_count; ++i) mkv_free(ctx, ctx->hvcc->nal_arrays[i].nal_units);
  mkv_free(ctx, ctx->hvcc->nal_arrays);
  mkv_free(ctx, ctx->hvcc);
  ctx->hvcc = 0;
}

int32_t KVR_MKV_DMX(int32_t op, void* handle_slot, void* in, void* out) {
  mkv_dmx_t** slot = (mkv_dmx_t**)handle_slot;
  mkv_dmx_t* ctx;
  mkv_dmx_packet_t* packet = 0;
  int32_t r;
  if (op == MKV_OP_VERSION) {
    mkv_dmx_strncpy(g_version, kVersion, sizeof g_version - 1);
    g_version[sizeof g_version - 1] = 0;
    mkv_dmx_strncpy(g_build_date, kBuildDate, sizeof g_build_date - 1);
    g_build_date[sizeof g_build_date - 1] = 0;
    if (in) *(const char**)in = g_version;
    if (out) *(const char**)out = g_build_date;
    return 0;
  }
  if (op == MKV_OP_OPEN || op == MKV_OP_OPEN_MAIN_ONLY || op == MKV_OP_OPEN_HANDLE) {
    if (!slot) return MKV_ERR_NO_HANDLE;
    return op_open(op, slot, (const mkv_dmx_init_t*)in, (mkv_dmx_stream_info_t*)out);
  }
  if (!slot || !*slot) return MKV_ERR_NO_HANDLE;
  ctx = *slot;
  switch (op) {
    case MKV_OP_CLOSE:
      if (__atomic_load_n(&ctx->run_state, __ATOMIC_ACQUIRE) & RUN_INDEXING) {
        /* An index creation runs on another thread: ask it to stop and
         * release nothing before it has returned. */
        __atomic_or_fetch(&ctx->run_state, RUN_CANCEL, __ATOMIC_ACQ_REL);
        while (__atomic_load_n(&ctx->run_state, __ATOMIC_ACQUIRE) & RUN_INDEXING) {
        }
      }
      r = mkv_dmx_close(ctx);
      if (r >= 0) *slot = 0;
      return r;
    case MKV_OP_READ: {
      mkv_dmx_getstream_t* req = (mkv_dmx_getstream_t*)in;
      mkv_dmx_clear_last_error(&ctx->err);
      if (!req) return MKV_ERR(ctx, MKV_ERR_INVALID, "mkv_dmx_getstream_t's value is NULL");
      ctx->ext_buffer = req->buffer;
      ctx->ext_buffer_size = req->buffer_size;
      if (req->kind > 4) req->kind = 0;
      r = ctx->read_packet(ctx, &packet, req->kind);
      fill_out((mkv_dmx_outstream_t*)out, packet);
      return r;
    }
    case MKV_OP_SEEK: {
      const mkv_dmx_seek_t* req = (const mkv_dmx_seek_t*)in;
      mkv_dmx_clear_last_error(&ctx->err);
      if (!req) return MKV_ERR(ctx, MKV_ERR_INVALID, "seek request is NULL");
      ctx->internal_seek = 1;
      r = SeekStream(ctx, &packet, req->target_ms, ctx->last_key_flag, req->flags);
      ctx->internal_seek = 0;
      if (out) {
        ctx->last_packet_pos = ctx->next_pos;
        fill_out((mkv_dmx_outstream_t*)out, r >= 0 ? packet : 0);
      }
      return r;
    }
    case MKV_OP_SELECT:
      mkv_dmx_clear_last_error(&ctx->err);
      return op_select(ctx, (const mkv_dmx_select_t*)in, (mkv_dmx_selected_t*)out);
    case MKV_OP_LAST_ERROR:
      if (out) {
        mkv_dmx_error_out_t* e = (mkv_dmx_error_out_t*)out;
        mkv_dmx_get_last_error(&ctx->err, &e->code, &e->text, e->extra);
      }
      return 0;
    case MKV_OP_META:
      mkv_dmx_clear_last_error(&ctx->err);
      return dmx_get_meta_info(ctx, (mkv_dmx_meta_list_t*)out);
    case MKV_OP_AVCC:
    case MKV_OP_HVCC: {
      const mkv_dmx_bytes_t* req = (const mkv_dmx_bytes_t*)in;
      const int avc = op == MKV_OP_AVCC;
      void* info;
      mkv_dmx_clear_last_error(&ctx->err);
      /* A repeated request replaces the earlier result, which is freed. */
      if (avc) free_avcc(ctx);
      else free_hvcc(ctx);
      info = mkv_malloc(ctx, avc ? sizeof(mkv_dmx_avcc_info_t) : sizeof(mkv_dmx_hvcc_info_t));
      if (!info)
        return MKV_ERR(ctx, MKV_ERR_NO_MEMORY,
                       avc ? "Insufficient memory to allocate of avc info" : "Insufficient memory to allocate of hevc info");
      if (out) *(void**)out = info;
      if (avc) {
        ctx->avcc = (mkv_dmx_avcc_info_t*)info;
        return GetAvcCInfo(ctx, ctx->avcc, req ? req->bytes : 0, req ? req->length : 0);
      }
      ctx->hvcc = (mkv_dmx_hvcc_info_t*)info;
      return GetHvcCInfo(ctx, ctx->hvcc, req ? req->bytes : 0, req ? req->length : 0);
    }
    case MKV_OP_CREATE_INDEX:
      if (ctx->options & OPT_SINGLE_HANDLE) return MKV_ERR(ctx, MKV_ERR_OPEN, "cannot create index from single file handle");
      if (ctx->options & OPT_NO_END_SEARCH)
        return MKV_ERR(ctx, MKV_ERR_OPEN, "cannot create index from FLAG_DISABLE_SEEK_TO_END_OF_FILE");
      mkv_dmx_clear_last_error(&ctx->err);
      __atomic_or_fetch(&ctx->run_state, RUN_INDEXING, __ATOMIC_ACQ_REL);
      r = CreateIndex(ctx);
      __atomic_and_fetch(&ctx->run_state, ~(uint32_t)(RUN_INDEXING | RUN_CANCEL), __ATOMIC_ACQ_REL);
      return r;
    case MKV_OP_OPTIONS: {
      const mkv_dmx_options_t* req = (const mkv_dmx_options_t*)in;
      mkv_dmx_clear_last_error(&ctx->err);
      if (!req) return 0;
      ctx->seek_end_mode = req->seek_end_mode;
      if (req->bits & 0x2) ctx->options |= OPT_NO_AUDIO;
      if (req->bits & 0x4) ctx->options |= OPT_NO_VIDEO;
      if (req->bits & 0x8) ctx->options |= OPT_NO_SUBTITLE;
      return 0;
    }
    case MKV_OP_REAL_DURATION:
      mkv_dmx_clear_last_error(&ctx->err);
      return GetRealDuration(ctx);
    default:
      return MKV_ERR(ctx, MKV_ERR_INVALID, "invalid operation code");
  }
}

KVR_DEFINE_FUNCTION_LIST(KVR_MKV_DMX);
