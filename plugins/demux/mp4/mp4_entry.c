/* The entry of the MP4 library: open, close, packets, seek, track selection,
 * AVC parameter sets, version and the end-of-file seek policy. */
#include "mp4_internal.h"

KVR_DEFINE_FUNCTION_LIST(KVR_MP4_DMX);

static char gVersion[20] = "KVR_MP4DMX_V3.04.18";
static const char kBuildDate[] = "2019-01-25/10:00";
static char gFileName[56];
static char gText1[256];
static char gDate[26];
static char gVideoName[32];
static char gVideoText[24];
static char gAudioName[32];
static char gAudioText[24];

static void copy_file_name(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  /* A longer name keeps its first 55 bytes. */
  int i = 0;
  for (; name[i] && i < (int)sizeof(gFileName) - 1; ++i) gFileName[i] = name[i];
  gFileName[i] = 0;
}

static void mp4_dec_close(Mp4Context* c) {
  while (c->track_count > 0) {
    Mp4Track* t = c->tracks[c->track_count - 1];
    mp4_release(t->buffer);
    t->buffer = 0;
    mp4_format_remove_stream(c);
  }
  for (int i = RD_COUNT - 1; i >= 0; --i) {
    Mp4Reader* r = &c->readers[i];
    if (i != RD_MAIN && !c->own_handle[i]) r->handle = 0;
    if (r->cache || r->handle) mp4_dmx_close_bitstream(r);
  }
  if (c->avc) {
    mp4_release(c->avc->sps);
    mp4_release(c->avc->pps);
    mp4_release(c->avc);
    c->avc = 0;
  }
  meta_data_close(c);
  mp4_release(c);
}

static int32_t track_ms(const Mp4Context* c, const Mp4Track* t) {
  int64_t d = t->duration;
  if (c->fragmented && t->next_dts > d) d = t->next_dts;
  if (t->timescale <= 0) return 0;
  double ms = (double)d / (double)t->timescale * 1000.0;
  return ms >= 2147483647.0 ? 0x7FFFFFFF : (int32_t)ms;
}

static uint32_t first_offset(const Mp4Context* c, const Mp4Track* t) {
  if (c->fragmented) return t->frag_samples ? (uint32_t)mp4_frag_entry(t, 0)->offset : 0;
  if (t->entries <= 0) return 0;
  int64_t off;
  uint32_t size;
  mp4_track_entry(t, 0, &off, &size);
  return (uint32_t)off;
}

static int32_t average_bitrate(const Mp4Context* c, const Mp4Track* t) {
  if (t->desc.avg_bitrate) return t->desc.avg_bitrate;
  int32_t ms = track_ms(c, t);
  if (ms <= 0) return 0;
  if (t->total_bytes > (int64_t)0x7FFFFFFFFFFFFFFFLL / 8000) return 0x7FFFFFFF;
  int64_t rate = t->total_bytes * 8000 / ms;
  return rate > 0x7FFFFFFF ? 0x7FFFFFFF : (int32_t)rate;
}

static void fill_video(Mp4Context* c, const Mp4Track* t) {
  Mp4Info* in = &c->info;
  in->width = t->desc.width;
  in->height = t->desc.height;
  in->video_codec = t->desc.codec;
  mp4_get_video_codec_name(gVideoName, t->desc.codec);
  in->video_config = t->desc.config;
  in->video_config_length = t->desc.config ? t->desc.config_length : 0;
  in->has_avcc = c->avcc_seen;
  in->video_timescale = t->timescale;
  in->video_max_bitrate = t->desc.max_bitrate;
  in->video_avg_bitrate = average_bitrate(c, t);
  in->rotation = t->rotation;
  in->video_first_offset = first_offset(c, t);
  in->has_ctts = c->ctts_seen;
  if (c->fragmented) in->video_key_samples = t->frag_keys;
  /* A fragmented track's samples are those of its movie box and fragments. */
  if (c->fragmented && !(c->options & OPT_INFO_ONLY)) in->video_samples = t->frag_samples;
}

static void fill_audio(Mp4Context* c, const Mp4Track* t) {
  Mp4Info* in = &c->info;
  in->sample_rate = t->desc.sample_rate;
  in->bits_per_sample = t->desc.bits;
  in->channels = t->desc.channels;
  in->audio_format = t->desc.format;
  mp4_get_audio_codec_name(gAudioName, t->desc.format);
  in->audio_config = t->desc.config;
  in->audio_config_length = t->desc.config ? t->desc.config_length : 0;
  int amr = t->desc.format == 86 || t->desc.format == 87 || t->desc.format == 88;
  in->frames_per_sample = amr ? t->frames_per_sample : 0;
  in->audio_timescale = t->timescale;
  in->audio_max_bitrate = t->desc.max_bitrate;
  in->audio_avg_bitrate = average_bitrate(c, t);
  in->audio_first_offset = first_offset(c, t);
  if (c->fragmented && !(c->options & OPT_INFO_ONLY)) in->audio_samples = t->frag_samples;
}

static void describe_tracks(Mp4Context* c) {
  Mp4Info* in = &c->info;
  int have_video = 0;
  for (int32_t i = 0; i < c->track_count; ++i) {
    Mp4Track* t = c->tracks[i];
    int32_t ms = track_ms(c, t);
    if (ms > c->duration_ms) c->duration_ms = ms;
    switch (t->kind) {
      case MP4_KIND_VIDEO:
        have_video = 1;
        in->video_mask |= 1u << i;
        if (!c->sel[SEL_VIDEO]) {
          c->sel[SEL_VIDEO] = t;
          c->sel_index[SEL_VIDEO] = i;
          fill_video(c, t);
          if (c->fragmented && t->frag_keys >= 2) c->seekable = 1;
        }
        break;
      case MP4_KIND_AUDIO:
        in->audio_count++;
        in->audio_mask |= 1u << i;
        if (!c->sel[SEL_AUDIO]) {
          c->sel[SEL_AUDIO] = t;
          c->sel_index[SEL_AUDIO] = i;
          fill_audio(c, t);
        }
        break;
      case MP4_KIND_SUBTITLE:
        in->subtitle_count++;
        in->subtitle_mask |= 1u << i;
        if (!c->sel[SEL_SUBTITLE]) {
          c->sel[SEL_SUBTITLE] = t;
          c->sel_index[SEL_SUBTITLE] = i;
          in->subtitle_language = t->language;
        }
        break;
      default:
        break;
    }
  }
  in->track_count = c->track_count;
  if (!have_video) c->seekable = 1;
  in->seekable = c->seekable;
  in->duration_ms = c->duration_ms;
  in->timescale = c->timescale;
  in->fragmented = c->fragmented;
  in->video_index = c->sel_index[SEL_VIDEO];
  in->audio_index = c->sel_index[SEL_AUDIO];
  in->subtitle_index = c->sel_index[SEL_SUBTITLE];
}

static int32_t open_file(Mp4Context** slot, const Mp4OpenRecord* rec, Mp4Info* out, int info_only) {
  gMp4DmxLastErrorCode = 0;
  *slot = 0;
  mp4_dmx_io_malloc = rec->malloc_fn;
  mp4_dmx_io_nc_malloc = rec->nc_malloc_fn;
  mp4_dmx_io_free = rec->free_fn;
  mp4_dmx_io_nc_free = rec->nc_free_fn;
  mp4_dmx_io_memcpy = rec->memcpy_fn;
  mp4_dmx_io_memset = rec->memset_fn;
  mp4_dmx_io_realloc = rec->realloc_fn;
  mp4_dmx_io_memmove = rec->memmove_fn;
  mp4_dmx_io_fopen = rec->fopen_fn;
  mp4_dmx_io_fread = rec->fread_fn;
  mp4_dmx_io_fseek = rec->fseek_fn;
  mp4_dmx_io_ftell = rec->ftell_fn;
  mp4_dmx_io_fwrite = rec->fwrite_fn;
  mp4_dmx_io_fclose = rec->fclose_fn;
  mp4_dmx_io_unlink = rec->unlink_fn;
  mp4_dmx_io_fseek64 = rec->fseek64_fn;
  mp4_dmx_io_ftell64 = rec->ftell64_fn;

  Mp4Context* c = (Mp4Context*)mp4_zalloc(sizeof(Mp4Context));
  if (!c) return gMp4DmxLastErrorCode = MP4_ERR_MEMORY;
  c->reader = &c->readers[RD_MAIN];
  c->file_name = rec->file_name;
  if (!info_only) {
    if (rec->trim_audio) c->options |= OPT_TRIM_AUDIO;
    if (rec->trim_video) c->options |= OPT_TRIM_VIDEO;
  } else {
    c->options |= OPT_INFO_ONLY;
  }
  if (rec->option4) c->options |= OPT_4;
  if (rec->size_unknown) c->options |= OPT_SIZE_UNKNOWN;
  if (rec->one_handle) c->options |= OPT_ONE_HANDLE;
  if (rec->key_seek) c->options |= OPT_KEY_SEEK;

  int32_t result;
  void* handle = rec->file_name ? mp4_dmx_io_fopen(rec->file_name, "rb") : 0;
  if (!handle) {
    result = MP4_ERR_OPEN;
    goto fail;
  }
  c->own_handle[RD_MAIN] = 1;
  if (c->options & OPT_SIZE_UNKNOWN) {
    c->file_size = MP4_NO_OFFSET;
  } else if (mp4_dmx_io_fseek64) {
    if (mp4_dmx_io_fseek64(handle, 0, KVR_SEEK_END)) goto seek_fail;
    c->file_size = mp4_dmx_io_ftell64(handle);
    if (mp4_dmx_io_fseek64(handle, 0, KVR_SEEK_SET)) goto seek_fail;
  } else {
    if (mp4_dmx_io_fseek(handle, 0, KVR_SEEK_END)) goto seek_fail;
    c->file_size = mp4_dmx_io_ftell(handle);
    if (mp4_dmx_io_fseek(handle, 0, KVR_SEEK_SET)) goto seek_fail;
  }
  if (c->file_size < 0) c->file_size = 0;
  result = mp4_dmx_open_bitstream(&c->readers[RD_MAIN], rec->main_cache, handle);
  if (result) {
    mp4_dmx_io_fclose(handle);
    goto fail;
  }
  c->reposition = mp4_dmx_bs_fseek_reset;
  if (!(c->options & OPT_ONE_HANDLE)) {
    const int32_t sizes[3] = {rec->video_cache, rec->audio_cache, rec->subtitle_cache};
    c->reposition = mp4_dmx_bs_fseek;
    for (int i = 0; i < 3; ++i) {
      void* h = mp4_dmx_io_fopen(rec->file_name, "rb");
      if (!h) {
        h = handle;
        c->reposition = mp4_dmx_bs_fseek_reset;
        c->shared_readers = 1;
      } else {
        c->own_handle[RD_VIDEO + i] = 1;
      }
      result = mp4_dmx_open_bitstream(&c->readers[RD_VIDEO + i], sizes[i], h);
      if (result) {
        if (c->own_handle[RD_VIDEO + i]) mp4_dmx_io_fclose(h);
        c->own_handle[RD_VIDEO + i] = 0;
        c->readers[RD_VIDEO + i].handle = 0;
        goto fail;
      }
    }
  }
  c->sel_index[0] = c->sel_index[1] = c->sel_index[2] = -1;
  mp4_fill(gText1, 0, sizeof(gText1));
  mp4_fill(gDate, 0, sizeof(gDate));
  mp4_fill(gVideoText, 0, sizeof(gVideoText));
  mp4_fill(gAudioText, 0, sizeof(gAudioText));
  gVideoName[0] = gAudioName[0] = 0;
  c->info.file_name = gFileName;
  c->info.text1 = gText1;
  c->info.creation_date = gDate;
  c->info.video_codec_name = gVideoName;
  c->info.video_text = gVideoText;
  c->info.audio_codec_name = gAudioName;
  c->info.audio_text = gAudioText;
  c->info.last_key_ms = -1;
  c->info.file_size = c->file_size;

  result = mp4_dec_open(c);
  if (result < 0) goto fail;
  copy_file_name(rec->file_name);
  describe_tracks(c);
  if (out) {
    mp4_copy(out, &c->info, sizeof(*out));
    out->timescale = c->timescale;
  }
  *slot = c;
  return result;

seek_fail:
  mp4_dmx_io_fclose(handle);
  c->own_handle[RD_MAIN] = 0;
  result = MP4_ERR_SEEK;
fail:
  if (gMp4DmxLastErrorCode == 0) gMp4DmxLastErrorCode = result;
  mp4_dec_close(c);
  *slot = 0;
  return result;
}

static void describe_packet(Mp4Context* c, Mp4Track* t, Mp4Packet* p, int32_t length, int64_t offset) {
  p->data = c->host_buffer ? c->host_buffer : t->buffer;
  p->length = length;
  p->kind = t->kind;
  p->time_ms = t->cur_ms;
  p->key = t->key;
  p->sync_cursor = t->sync_cursor;
  p->offset_low = (uint32_t)offset;
  p->offset_high = (uint32_t)((uint64_t)offset >> 32);
  p->next_time_ms = t->next_ms;
}

static int32_t op_packet(Mp4Context* c, const Mp4PacketRequest* req, Mp4Packet* out) {
  Mp4Packet zero = {0};
  if (out) *out = zero;
  int32_t kind = req ? req->kind : 0;
  c->host_buffer = req ? req->buffer : 0;
  c->host_size = req && req->buffer ? req->size : 0;
  Mp4Track* t = 0;
  c->needed = 0;
  int32_t r = c->fragmented ? fmp4_get_stream(c, &t, kind) : mp4dmx_get_stream(c, &t, kind);
  if (r == MP4_ERR_EOF) r = kind == MP4_KIND_AUDIO ? MP4_END_AUDIO : kind == MP4_KIND_VIDEO ? MP4_END_VIDEO : MP4_END;
  if (r < 0) {
    if (r == MP4_ERR_MEMORY && out) out->length = c->needed;
    if (r < MP4_END_SUBTITLE) gMp4DmxLastErrorCode = r;
    return r;
  }
  if (t && out) describe_packet(c, t, out, t->length, t->last_offset);
  return 0;
}

static int32_t op_seek(Mp4Context* c, const Mp4SeekRequest* req, Mp4Packet* out) {
  Mp4Packet zero = {0};
  if (out) *out = zero;
  if (!req) return MP4_ERR_FORMAT;
  Mp4Track* t = 0;
  int32_t r = mp4dmx_seek(c, &t, req->target_ms, req->mode);
  if (r < 0) {
    if (r < MP4_END_SUBTITLE) gMp4DmxLastErrorCode = r;
    return r;
  }
  if (t && out) {
    int64_t offset = 0;
    uint32_t size = 0;
    if (t->cur < mp4_track_samples(c, t)) {
      if (c->fragmented) {
        offset = mp4_frag_entry(t, t->cur)->offset;
        size = mp4_frag_entry(t, t->cur)->size;
      } else {
        mp4_track_entry(t, t->cur, &offset, &size);
      }
    }
    c->host_buffer = 0;
    describe_packet(c, t, out, (int32_t)size, offset);
  }
  return 0;
}

static int32_t select_kind(Mp4Context* c, int sel, int32_t index, int32_t kind, int32_t error) {
  if (index < 0 || index >= c->track_count || c->tracks[index]->kind != kind) return error;
  if (index == c->sel_index[sel]) return 0;
  Mp4Track* old = c->sel[sel];
  Mp4Track* t = c->tracks[index];
  if (old) {
    if (sel == SEL_SUBTITLE) {
      t->cur = old->cur - 1 < 0 ? 0 : old->cur - 1;
      int32_t n = mp4_track_samples(c, t);
      if (t->cur > n) t->cur = n;
    } else {
      sync_sampleidx_pts_ctx(c, old, t);
    }
  }
  if (sel == SEL_VIDEO) fill_video(c, t);
  else if (sel == SEL_AUDIO) fill_audio(c, t);
  else c->info.subtitle_language = t->language;
  c->sel[sel] = t;
  c->sel_index[sel] = index;
  if (sel == SEL_VIDEO) c->info.video_index = index;
  else if (sel == SEL_AUDIO) c->info.audio_index = index;
  else c->info.subtitle_index = index;
  return 0;
}

static int32_t op_select(Mp4Context* c, const Mp4SelectRequest* req, Mp4Info* out) {
  if (!req) return MP4_ERR_FORMAT;
  int32_t r;
  if ((req->kinds & MP4_KIND_AUDIO) &&
      (r = select_kind(c, SEL_AUDIO, req->audio_index, MP4_KIND_AUDIO, MP4_ERR_AUDIO_INDEX)))
    return r;
  if ((req->kinds & MP4_KIND_VIDEO) &&
      (r = select_kind(c, SEL_VIDEO, req->video_index, MP4_KIND_VIDEO, MP4_ERR_VIDEO_INDEX)))
    return r;
  if ((req->kinds & MP4_KIND_SUBTITLE) &&
      (r = select_kind(c, SEL_SUBTITLE, req->subtitle_index, MP4_KIND_SUBTITLE, MP4_ERR_SUBTITLE_INDEX)))
    return r;
  if (out) {
    mp4_copy(out, &c->info, sizeof(*out));
    out->timescale = c->timescale;
  }
  return 0;
}

/* Walks `count` {16-bit length, bytes} sets from p; the position after them,
 * or null when they run past the end. */
static const uint8_t* walk_sets(const uint8_t* p, const uint8_t* end, int32_t count, Mp4NalRef* refs) {
  for (int32_t i = 0; i < count; ++i) {
    if (end - p < 2) return 0;
    int32_t len = (p[0] << 8) | p[1];
    p += 2;
    if (end - p < len) return 0;
    if (refs) refs[i].data = p, refs[i].length = len;
    p += len;
  }
  return p;
}

static int32_t op_avcc(Mp4Context* c, Mp4AvccRequest* req) {
  if (!req || !req->data || req->length <= 6 || req->data[0] != 1) return MP4_ERR_AVCC;
  const uint8_t* p = req->data;
  const uint8_t* end = p + req->length;
  int32_t sps = p[5] & 0x1F;
  const uint8_t* q = walk_sets(p + 6, end, sps, 0);
  if (!q || q >= end) return MP4_ERR_AVCC;
  int32_t pps = *q;
  if (!walk_sets(q + 1, end, pps, 0)) return MP4_ERR_AVCC;
  Mp4AvcParamSets* a = (Mp4AvcParamSets*)mp4_zalloc(sizeof(*a));
  if (!a) {
    gMp4DmxLastErrorCode = MP4_ERR_MEMORY;
    return MP4_ERR_AVCC;
  }
  a->sps = (Mp4NalRef*)mp4_zalloc(sizeof(Mp4NalRef) * (size_t)(sps ? sps : 1));
  a->pps = (Mp4NalRef*)mp4_zalloc(sizeof(Mp4NalRef) * (size_t)(pps ? pps : 1));
  if (!a->sps || !a->pps) {
    mp4_release(a->sps);
    mp4_release(a->pps);
    mp4_release(a);
    gMp4DmxLastErrorCode = MP4_ERR_MEMORY;
    return MP4_ERR_AVCC;
  }
  a->sps_count = sps;
  a->pps_count = pps;
  walk_sets(p + 6, end, sps, a->sps);
  walk_sets(q + 1, end, pps, a->pps);
  a->nal_length_size = (p[4] & 3) + 1;
  if (c->avc) {
    mp4_release(c->avc->sps);
    mp4_release(c->avc->pps);
    mp4_release(c->avc);
  }
  c->avc = a;
  req->result = a;
  return 0;
}

int32_t KVR_MP4_DMX(int32_t op, void* handle_slot, void* in, void* out) {
  Mp4Context** slot = (Mp4Context**)handle_slot;
  Mp4Context* c = slot ? *slot : 0;
  switch (op) {
    case MP4_OP_OPEN:
    case MP4_OP_OPEN_INFO:
      if (!slot || !in) return MP4_ERR_FORMAT;
      return open_file(slot, (const Mp4OpenRecord*)in, (Mp4Info*)out, op == MP4_OP_OPEN_INFO);
    case MP4_OP_CLOSE:
      if (!c) return 0;
      gMp4DmxLastErrorCode = 0;
      mp4_dec_close(c);
      *slot = 0;
      return 0;
    case MP4_OP_VERSION:
      if (in) *(const char**)in = gVersion;
      if (out) *(const char**)out = kBuildDate;
      return 0;
    case MP4_OP_PACKET:
    case MP4_OP_SEEK:
    case MP4_OP_SELECT:
    case MP4_OP_AVCC:
    case MP4_OP_EOF_POLICY:
      break;
    default:
      return MP4_ERR_FORMAT;
  }
  if (!c) return MP4_ERR_FORMAT;
  switch (op) {
    case MP4_OP_PACKET:
      gMp4DmxLastErrorCode = 0;
      return op_packet(c, (const Mp4PacketRequest*)in, (Mp4Packet*)out);
    case MP4_OP_SEEK:
      gMp4DmxLastErrorCode = 0;
      return op_seek(c, (const Mp4SeekRequest*)in, (Mp4Packet*)out);
    case MP4_OP_SELECT:
      return op_select(c, (const Mp4SelectRequest*)in, (Mp4Info*)out);
    case MP4_OP_AVCC:
      gMp4DmxLastErrorCode = 0;
      return op_avcc(c, (Mp4AvccRequest*)in);
    default:
      gMp4DmxLastErrorCode = 0;
      if (!in) return MP4_ERR_FORMAT;
      c->eof_policy = *(const int32_t*)in;
      return 0;
  }
}
