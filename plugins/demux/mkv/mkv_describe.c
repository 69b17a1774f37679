/* Matroska demuxer: CodecID mapping, the video, audio and subtitle
 * descriptions handed to the host at open, the compatibility structures
 * (BITMAPINFOHEADER, WAVEFORMATEX), AudioSpecificConfig for AAC without
 * CodecPrivate, and the op 6 meta list. */

#include "mkv_internal.h"

#define FOURCC(a, b, c, d) ((uint32_t)(a) | (uint32_t)(b) << 8 | (uint32_t)(c) << 16 | (uint32_t)(d) << 24)

enum { EXACT, PREFIX, CONTAINS };

typedef struct {
  int match;
  uint32_t n; /* prefix length */
  const char* id;
  uint32_t code;
} CodecRow;

/* Code 0: characters 7..10 of the CodecID; 1: the first four characters. */
enum { CODE_FROM_ID_7 = 0, CODE_FIRST_FOUR = 1 };

static const CodecRow kVideo[] = {
    {PREFIX, 9, "V_REAL/RV", CODE_FROM_ID_7},
    {PREFIX, 14, "V_MPEG4/ISO/AV", FOURCC('a', 'v', 'c', '1')},
    {PREFIX, 11, "V_MPEG4/ISO", FOURCC('m', 'p', '4', 'v')},
    {PREFIX, 16, "V_MPEGH/ISO/HEVC", FOURCC('h', 'e', 'v', 'c')},
    {EXACT, 0, "V_MPEG4/MS/V3", FOURCC('d', 'i', 'v', '3')},
    {EXACT, 0, "V_MPEG1", FOURCC('m', 'p', 'e', 'g')},
    {EXACT, 0, "V_MPEG2", FOURCC('m', 'p', 'e', 'g')},
    {EXACT, 0, "V_MJPEG", FOURCC('m', 'j', 'p', 'g')},
    {EXACT, 0, "V_VP8", FOURCC('v', 'p', '8', '0')},
    {EXACT, 0, "V_VP9", FOURCC('v', 'p', '9', '0')},
};

static const CodecRow kAudio[] = {
    {EXACT, 0, "A_MPEG/L3", 0x55},
    {EXACT, 0, "A_MPEG/L1", 0x50},
    {EXACT, 0, "A_MPEG/L2", 0x50},
    {EXACT, 0, "A_PCM/INT/BIG", 1},
    {EXACT, 0, "A_PCM/INT/LIT", 1},
    {EXACT, 0, "A_PCM/FLOAT/IEEE", 3},
    {CONTAINS, 0, "A_AC3", 0x2000},
    {EXACT, 0, "A_DTS", 0x2001},
    {EXACT, 0, "A_VORBIS", 0x674F},
    {EXACT, 0, "A_FLAC", 0xF1AC},
    {EXACT, 0, "A_REAL", CODE_FROM_ID_7},
    {CONTAINS, 0, "A_AAC", 0xFF},
    {EXACT, 0, "A_QUICKTIME/QDM2", 0x450},
    {EXACT, 0, "A_TTA1", 0x77A1},
    {EXACT, 0, "A_EAC3", 0x2008},
    {EXACT, 0, "A_OPUS", FOURCC('O', 'P', 'U', 'S')},
};

static const struct {
  const char* id;
  uint32_t kind;
} kSubtitle[] = {
    {"S_TEXT/UTF8", MKV_SUB_UTF8}, {"S_UTF8", MKV_SUB_UTF8},   {"S_TEXT/SSA", MKV_SUB_SSA},
    {"S_SSA", MKV_SUB_SSA},        {"S_TEXT/ASS", MKV_SUB_SSA}, {"S_ASS", MKV_SUB_SSA},
    {"S_TEXT/USF", MKV_SUB_USF},   {"S_USF", MKV_SUB_USF},     {"S_IMAGE/BMP", MKV_SUB_BMP},
    {"S_VOBSUB", MKV_SUB_VOBSUB},  {"S_KATE", MKV_SUB_KATE},   {"S_HDMV/PGS", MKV_SUB_PGS},
    {"S_PGS", MKV_SUB_PGS},
};

/* Four characters of the CodecID from `at`; a short CodecID gives zero
 * bytes where it ends instead of reading past its terminator. */
static uint32_t code_at(const char* id, uint32_t at) {
  uint32_t len = mkv_dmx_strlen(id), code = 0, i;
  for (i = 0; i < 4 && at + i < len; ++i) code |= (uint32_t)(uint8_t)id[at + i] << (8 * i);
  return code;
}

static int row_matches(const CodecRow* row, const char* id) {
  switch (row->match) {
    case PREFIX: return !mkv_dmx_strncmp(id, row->id, row->n);
    case CONTAINS: return mkv_dmx_strstr(id, row->id) != 0;
    default: return !mkv_dmx_strcmp(id, row->id);
  }
}

static uint32_t map_code(const CodecRow* rows, uint32_t count, const char* id, uint32_t fallback_at, int* found) {
  uint32_t i;
  *found = 0;
  for (i = 0; i < count; ++i)
    if (row_matches(&rows[i], id)) {
      *found = 1;
      if (rows[i].code == CODE_FROM_ID_7) return code_at(id, 7);
      return rows[i].code;
    }
  return code_at(id, fallback_at);
}

int32_t mkv_dmx_get_allocated_data(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, uint32_t size, void** where) {
  void* p;
  if (!size) return 0;
  p = mkv_malloc(ctx, size);
  *where = p;
  if (!p)
    return mkv_dmx_set_last_error(MKV_ERR_NO_MEMORY, 0, 0, 0, "Insufficient memory to re-allocate (get_allocated_data)",
                                  err);
  mkv_zero(ctx, p, size);
  return 0;
}

int32_t mkv_dmx_clear_allocated_data(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, void** where) {
  (void)err;
  if (*where) ctx->host.free_fn(*where);
  *where = 0;
  return 0;
}

int32_t mkv_dmx_clear_data_memory(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, void** where, uint32_t size) {
  if (size) return mkv_dmx_clear_allocated_data(ctx, err, where);
  return 0;
}

int32_t mkv_dmx_common_init(void) { return 0; }

static uint32_t rd16le(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
static uint32_t rd32le(const uint8_t* p) { return rd16le(p) | rd16le(p + 2) << 16; }

int32_t mkv_dmx_set_bitmap_format(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, const uint8_t* bytes, uint32_t length,
                                  mkv_video_info_t* info) {
  uint32_t bi_size;
  int32_t height;
  (void)err;
  /* A BITMAPINFOHEADER is 40 bytes; anything shorter cannot hold the fields
   * read below. */
  if (length < 40) return 0;
  bi_size = rd32le(bytes);
  if (length < bi_size) return 0;
  mkv_zero(ctx, info, 7 * sizeof(uint32_t) > sizeof *info ? sizeof *info : sizeof *info);
  info->width = rd32le(bytes + 4);
  height = (int32_t)rd32le(bytes + 8);
  info->height = height < 0 ? (uint32_t)-(int64_t)height : (uint32_t)height;
  info->fourcc = rd32le(bytes + 16);
  if (bi_size > 40) {
    info->private_data = bytes + 40;
    info->private_size = bi_size - 40;
  }
  return 0;
}

int32_t mkv_dmx_set_wave_format(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, const uint8_t* bytes, uint32_t length,
                                mkv_audio_info_t* info) {
  uint32_t cb;
  (void)err;
  if (length < 16) return 0;
  mkv_zero(ctx, info, sizeof *info);
  info->format_tag = rd16le(bytes);
  info->channels = rd16le(bytes + 2);
  info->sampling_rate = rd32le(bytes + 4);
  info->avg_bytes_per_sec = rd32le(bytes + 8);
  info->block_align = rd16le(bytes + 12);
  info->bits_per_sample = rd16le(bytes + 14);
  if (length > 18) {
    cb = rd16le(bytes + 16);
    if (cb && cb <= length - 18) {
      info->private_data = bytes + 18;
      info->private_size = cb;
    }
  }
  if (info->format_tag > 0x2000) {
    if (info->block_align && info->avg_bytes_per_sec &&
        info->block_align == info->channels * info->bits_per_sample / 8 &&
        info->avg_bytes_per_sec == info->sampling_rate * info->channels * info->bits_per_sample / 8)
      info->format_tag = 1;
    else
      return 0;
  }
  if (info->format_tag != 1) return 0;
  info->bits_per_sample = (info->bits_per_sample + 7) / 8 * 8;
  info->block_align = info->channels * info->bits_per_sample / 8;
  info->avg_bytes_per_sec = info->bits_per_sample * info->sampling_rate * info->channels / 8;
  return 0;
}

static uint32_t aac_rate_index(uint32_t rate) {
  static const uint32_t kBounds[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025};
  uint32_t i;
  for (i = 0; i < sizeof kBounds / sizeof kBounds[0]; ++i)
    if (rate >= kBounds[i]) return i;
  return 11;
}

int32_t mkv_dmx_aac_build_config(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, const char* codec_id, uint32_t output_rate,
                                 mkv_audio_info_t* info) {
  uint32_t rate = info->sampling_rate, index, object, size;
  int sbr = 0;
  const char* profile = mkv_dmx_strlen(codec_id) > 12 ? codec_id + 12 : "";
  uint8_t* cfg;
  if (output_rate > rate) {
    sbr = 1;
    rate = output_rate <= 24000 ? output_rate : output_rate / 2;
    info->sampling_rate = rate;
  }
  index = aac_rate_index(rate);
  if (!mkv_dmx_strcmp(profile, "MAIN")) {
    object = 1, size = 2;
  } else if (!mkv_dmx_strcmp(profile, "SSR")) {
    object = 3, size = 2;
  } else if (!mkv_dmx_strcmp(profile, "LTP")) {
    object = 4, size = 2;
  } else if (!mkv_dmx_strcmp(profile, "sbr")) {
    object = 5, size = 2;
  } else if (!mkv_dmx_strcmp(profile, "LC/sbr")) {
    object = 2, size = 5;
  } else {
    object = 2, size = sbr ? 5 : 2;
  }
  cfg = (uint8_t*)ctx->host.realloc_fn((void*)info->private_data, size);
  if (!cfg)
    return mkv_dmx_set_last_error(MKV_ERR_NO_MEMORY, 0, 0, 0, "Insufficient memory to re-allocate (set_data_memory)", err);
  info->private_data = cfg;
  info->private_size = size;
  cfg[0] = (uint8_t)(object * 8 + (index >> 1));
  cfg[1] = (uint8_t)(((index << 7) & 0xFF) | (info->channels * 8));
  if (size == 5) {
    if (rate <= 24000) rate *= 2;
    info->sampling_rate = rate;
    cfg[2] = 0x56;
    cfg[3] = 0xE5;
    cfg[4] = (uint8_t)(0x80 | aac_rate_index(rate) * 8);
  }
  return 0;
}

static int32_t set_audio_track(mkv_dmx_t* ctx, mkv_track_t* t, uint32_t tag, mkv_audio_info_t* info) {
  mkv_zero(ctx, info, sizeof *info);
  info->track_number = t->track_number;
  info->format_tag = tag;
  if (!t->u.a.channels) t->u.a.channels = 1;
  info->channels = t->u.a.channels;
  if (!mkv_trunc_float(t->u.a.sampling_frequency)) mkv_integer_to_float(&t->u.a.sampling_frequency, 8000);
  if (!mkv_trunc_float(t->u.a.output_sampling_frequency)) t->u.a.output_sampling_frequency = t->u.a.sampling_frequency;
  info->sampling_rate = (uint32_t)mkv_trunc_float(t->u.a.sampling_frequency);
  info->bits_per_sample = t->u.a.bit_depth ? t->u.a.bit_depth : tag == 1 ? 8 : 16;
  if (t->codec_private_size) {
    info->private_data = t->codec_private;
    info->private_size = t->codec_private_size;
    if (tag == FOURCC('C', 'O', 'O', 'K') || tag == FOURCC('c', 'o', 'o', 'k') || tag == FOURCC('K', 'O', 'O', 'C') ||
        tag == FOURCC('k', 'o', 'o', 'c')) {
      info->format_tag = FOURCC('c', 'o', 'o', 'k');
      ctx->cook_state = 1;
    }
  } else if (tag == 0xFF) {
    if (mkv_dmx_aac_build_config(ctx, &ctx->err, t->codec_id, (uint32_t)mkv_trunc_float(t->u.a.output_sampling_frequency),
                                 info) < 0)
      return MKV_TAG(ctx, "<set_audio_track");
    ctx->built_configs |= 1u << (info - ctx->audio_info);
  }
  info->language = t->language;
  return 0;
}

/* Measures the frame duration of an audio track from its first packets,
 * then returns to the start. */
static int32_t measure_audio_duration(mkv_dmx_t* ctx, mkv_track_t* t) {
  mkv_dmx_packet_t* p = 0;
  uint32_t keep = ctx->max_packet_size, t0, count = 0;
  uint8_t* ext = ctx->ext_buffer;
  int32_t r;
  ctx->max_packet_size = 1048576;
  ctx->ext_buffer = 0;
  if (GetStreamData(ctx, &p, MKV_KIND_AUDIO) == 0 && p) {
    t0 = p->m_ulTimestamp;
    for (;;) {
      if (GetStreamData(ctx, &p, MKV_KIND_AUDIO) < 0) break;
      ++count;
      if (p->m_ulTimestamp > t0) {
        uint32_t d = p->m_ulTimestamp - t0;
        if (count && d) t->default_duration = (uint64_t)d * 1000000 / count;
        break;
      }
    }
  }
  ctx->max_packet_size = keep;
  ctx->ext_buffer = ext;
  mkv_dmx_clear_last_error(&ctx->err);
  ctx->internal_seek = 1;
  r = SeekStream(ctx, &p, 0, 0, 0);
  ctx->internal_seek = 0;
  return r;
}

static void video_rate(mkv_track_t* t, mkv_video_info_t* info) {
  int32_t whole = mkv_trunc_float(t->u.v.frame_rate);
  if (whole) {
    info->frame_rate = (uint32_t)(whole < 0 ? -whole : whole) * 1000;
  } else if (!t->default_duration) {
    info->frame_rate = 23976;
  } else {
    double fps = 1000000000.0 / (double)t->default_duration;
    info->frame_rate = (fps >= 23.975 && fps <= 23.977) || fps > 100.0 ? 23976 : (uint32_t)(fps * 1000);
  }
}

int32_t mkv_describe_streams(mkv_dmx_t* ctx) {
  uint32_t i, n;
  int found;
  uint32_t last_cue_ms = ctx->cue_count ? (uint32_t)(ctx->cues[ctx->cue_count - 1].time / 1000000) : 0;
  /* Video. */
  for (i = 0, n = 0; i < ctx->track_count && n < ctx->video_count; ++i) {
    mkv_track_t* t = ctx->tracks[i];
    mkv_video_info_t* info;
    if (t->codec_id[0] != 'V') continue;
    if (!ctx->video_info) {
      ctx->video_info = (mkv_video_info_t*)mkv_malloc(ctx, ctx->video_count * sizeof *info);
      if (!ctx->video_info)
        return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to allocate video info list(set_video_track_info)");
      mkv_zero(ctx, ctx->video_info, ctx->video_count * sizeof *info);
      ctx->sel_video_number = t->track_number;
    }
    info = &ctx->video_info[n++];
    if (!mkv_dmx_strcmp(t->codec_id, "V_MS/VFW/FOURCC")) {
      mkv_dmx_set_bitmap_format(ctx, &ctx->err, t->codec_private, t->codec_private_size, info);
      info->track_number = t->track_number;
    } else {
      mkv_zero(ctx, info, sizeof *info);
      info->track_number = t->track_number;
      info->width = t->u.v.pixel_width;
      info->height = t->u.v.pixel_height;
      info->fourcc = map_code(kVideo, sizeof kVideo / sizeof kVideo[0], t->codec_id, 0, &found);
      info->stereo_mode = t->u.v.stereo_mode;
      if (t->codec_private_size) {
        info->private_data = t->codec_private;
        info->private_size = t->codec_private_size;
      }
    }
    video_rate(t, info);
    info->last_cue_time_ms = last_cue_ms;
    info->reserved = 0;
  }
  if (ctx->video_info) ctx->video_count = n;
  /* Audio. */
  for (i = 0, n = 0; i < ctx->track_count && n < ctx->audio_count; ++i) {
    mkv_track_t* t = ctx->tracks[i];
    mkv_audio_info_t* info;
    if (t->codec_id[0] != 'A') continue;
    if (!ctx->audio_info) {
      ctx->audio_info = (mkv_audio_info_t*)mkv_malloc(ctx, ctx->audio_count * sizeof *info);
      if (!ctx->audio_info)
        return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to allocate audio info list(set_audio_track_info)");
      mkv_zero(ctx, ctx->audio_info, ctx->audio_count * sizeof *info);
      ctx->sel_audio_number = t->track_number;
    }
    info = &ctx->audio_info[n++];
    if (!mkv_dmx_strcmp(t->codec_id, "A_MS/ACM")) {
      mkv_dmx_set_wave_format(ctx, &ctx->err, t->codec_private, t->codec_private_size, info);
      info->track_number = t->track_number;
      if (!info->language) info->language = t->language;
    } else {
      uint32_t tag = map_code(kAudio, sizeof kAudio / sizeof kAudio[0], t->codec_id, 7, &found);
      if (set_audio_track(ctx, t, tag, info) < 0) {
        MKV_TAG(ctx, "<set_audio_track_info");
        return MKV_TAG(ctx, "<dmx_open");
      }
    }
    if (!t->default_duration) {
      if (info->format_tag == 0x2000) {
        if (info->sampling_rate) t->default_duration = 1536000000000ull / info->sampling_rate;
      } else if (measure_audio_duration(ctx, t) < 0) {
        MKV_TAG(ctx, "<set_audio_track_info");
        return MKV_TAG(ctx, "<dmx_open");
      }
    }
  }
  if (ctx->audio_info) ctx->audio_count = n;
  /* Subtitles. */
  for (i = 0, n = 0; i < ctx->track_count && n < ctx->subtitle_count; ++i) {
    mkv_track_t* t = ctx->tracks[i];
    mkv_subtitle_info_t* info;
    uint32_t k;
    if (t->codec_id[0] != 'S') continue;
    if (!ctx->subtitle_info) {
      ctx->subtitle_info = (mkv_subtitle_info_t*)mkv_malloc(ctx, ctx->subtitle_count * sizeof *info);
      if (!ctx->subtitle_info)
        return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to allocate subs info list(set_subtitle_track_info)");
      mkv_zero(ctx, ctx->subtitle_info, ctx->subtitle_count * sizeof *info);
      ctx->sel_subtitle_number = t->track_number;
    }
    info = &ctx->subtitle_info[n++];
    info->track_number = t->track_number;
    info->language = t->language;
    info->kind = code_at(t->codec_id, 0);
    for (k = 0; k < sizeof kSubtitle / sizeof kSubtitle[0]; ++k)
      if (!mkv_dmx_strcmp(t->codec_id, kSubtitle[k].id)) {
        info->kind = kSubtitle[k].kind;
        break;
      }
    if (t->codec_private_size) {
      info->private_data = t->codec_private;
      info->private_size = t->codec_private_size;
    }
  }
  if (ctx->subtitle_info) ctx->subtitle_count = n;
  return 0;
}

static mkv_track_t* track_of(mkv_dmx_t* ctx, uint32_t number, int present) {
  return present ? mkv_track_by_number(ctx, number, 0) : 0;
}

int32_t dmx_get_meta_info(mkv_dmx_t* ctx, mkv_dmx_meta_list_t* out) {
  mkv_track_t* v = track_of(ctx, ctx->cur_video ? ctx->cur_video->track_number : 0, ctx->cur_video != 0);
  mkv_track_t* a = track_of(ctx, ctx->cur_audio ? ctx->cur_audio->track_number : 0, ctx->cur_audio != 0);
  const char* vname = v ? (v->codec_name ? v->codec_name : v->name) : 0;
  const char* aname = a ? (a->codec_name ? a->codec_name : a->name) : 0;
  uint32_t count = 0, k = 0;
  if (ctx->meta_count && ctx->meta) mkv_free(ctx, ctx->meta);
  ctx->meta = 0;
  ctx->meta_count = 0;
  if (ctx->cue_count) ++count;
  if (vname) ++count;
  if (aname) ++count;
  if (ctx->max_key_time) ++count;
  if (v && (v->u.v.display_width != v->u.v.pixel_width || v->u.v.display_height != v->u.v.pixel_height)) count += 2;
  if (out) {
    out->count = 0;
    out->items = 0;
  }
  if (!count) return 0;
  ctx->meta = (mkv_dmx_meta_t*)mkv_malloc(ctx, count * sizeof(mkv_dmx_meta_t));
  if (!ctx->meta) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "insufficient memory to allocate meta list");
  mkv_zero(ctx, ctx->meta, count * sizeof(mkv_dmx_meta_t));
#define META(kind_, type_, len_, value_)      \
  do {                                        \
    ctx->meta[k].kind = (kind_);              \
    ctx->meta[k].type = (type_);              \
    ctx->meta[k].length = (len_);             \
    ctx->meta[k].value = (uintptr_t)(value_); \
    ++k;                                      \
  } while (0)
  if (ctx->cue_count) META(MKV_META_CUE_COUNT, MKV_META_INTEGER, 4, ctx->cue_count);
  if (vname) META(MKV_META_CODEC_NAME, MKV_META_TEXT, mkv_dmx_strlen(vname), vname);
  if (aname) META(MKV_META_CODEC_NAME, MKV_META_TEXT, mkv_dmx_strlen(aname), aname);
  if (ctx->max_key_time) META(MKV_META_LAST_CUE_MS, MKV_META_INTEGER, 4, (uint32_t)ctx->max_key_time);
  if (k < count) {
    META(MKV_META_DISPLAY_WIDTH, MKV_META_INTEGER, 4, v->u.v.display_width);
    META(MKV_META_DISPLAY_HEIGHT, MKV_META_INTEGER, 4, v->u.v.display_height);
  }
#undef META
  ctx->meta_count = count;
  if (out) {
    out->count = count;
    out->items = ctx->meta;
  }
  return 0;
}
