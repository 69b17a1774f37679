/* The format check at open (streams, times, duration), the stream choice and
 * the stream selection of op 5. */
#include "mpg_internal.h"

/* Index of the entry with the id, or PS_NOT_LISTED. */
#define PS_NOT_LISTED (-1)

static int32_t find_video(const MpgStreamInfo* info, uint32_t id) {
  for (uint32_t i = 0; i < info->video_count; ++i)
    if (info->video[i].id == id) return (int32_t)i;
  return PS_NOT_LISTED;
}

static int32_t find_audio(const MpgStreamInfo* info, uint32_t id) {
  for (uint32_t i = 0; i < info->audio_count; ++i)
    if (info->audio[i].id == id) return (int32_t)i;
  return PS_NOT_LISTED;
}

/* Streams beyond this many of one kind are not listed. */
#define PS_MAX_STREAMS 64

static int32_t append_video(MpgContext* c, MpgStreamInfo* info, const MpgVideoEntry* e) {
  if (info->video_count >= PS_MAX_STREAMS) return MPG_OK;
  MpgVideoEntry* grown = c->host.resize(info->video, (info->video_count + 1) * sizeof(MpgVideoEntry));
  if (!grown) return MPG_ERR_NO_MEMORY;
  info->video = grown;
  grown[info->video_count++] = *e;
  c->frame_duration = info->video[0].frame_rate ? (int32_t)(1000000u / info->video[0].frame_rate) : INT32_MAX;
  return MPG_OK;
}

static int32_t append_audio(MpgContext* c, MpgStreamInfo* info, const MpgAudioEntry* e) {
  if (info->audio_count >= PS_MAX_STREAMS) return MPG_OK;
  MpgAudioEntry* grown = c->host.resize(info->audio, (info->audio_count + 1) * sizeof(MpgAudioEntry));
  if (!grown) return MPG_ERR_NO_MEMORY;
  info->audio = grown;
  grown[info->audio_count++] = *e;
  return MPG_OK;
}

/* A later packet of a known stream: the first and (near the end) the last
 * time it carries. */
static void note_time(int32_t* first, int32_t* last, int32_t t, int track_last) {
  if (t == MPG_TIME_NONE) return;
  if (track_last && t > *last) *last = t;
  if (*first == MPG_TIME_NONE || (t > 0 && t < *first)) *first = t;
}

static int32_t find_pack(MpgByteReader* r) {
  for (;;) {
    if (MPG_DEC_MPG2PS_FindCode(r) < 0) return MPG_ERR_NOT_PS;
    if (bs_file_pos(r) > MPG_PACK_SEARCH) return MPG_ERR_NOT_PS;
    int32_t id = bs_read_1byte(r);
    if (id < 0) return MPG_ERR_NOT_PS;
    if (id != 0xBA) continue;
    if (bs_file_pos(r) > MPG_PACK_SEARCH) return MPG_ERR_NOT_PS;
    int32_t b = bs_read_1byte(r);
    if (b < 0) return MPG_ERR_NOT_PS;
    if ((b & 0xF0) == 0x20) return 0;
    if ((b & 0xC0) == 0x40) return 1;
    return MPG_ERR_NOT_PS;
  }
}

static int32_t scan(MpgContext* c, MpgOpenRecord* rec, MpgStreamInfo* info) {
  MpgByteReader* r = &c->probe;
  uint8_t work[MPG_HEADER_BYTES];
  int tail = 0;
  int32_t fallback_ms = MPG_TIME_NONE;
  for (;;) {
    uint64_t pos = bs_file_pos(r);
    if (rec->duration_mode != MPG_DURATION_MEASURE) {
      if ((info->video_count && info->audio_count) || pos > c->scan_limit) break;
    } else if (!tail && info->video_count + info->audio_count && pos > c->scan_limit) {
      uint64_t target = c->file_size > c->scan_limit ? c->file_size - c->scan_limit : 0;
      if (target > pos && bs_fseek(r, target) < 0) {
        PS_EOF();
        return MPG_ERR_END;
      }
      tail = 1;
    }
    /* A file no larger than the head window is whole after the head scan:
       its streams' last times are known there and give the duration. The
       span of its clock references would overstate it, as the first pack
       comes ahead of the first presentation by the multiplexer's preload
       (half a second in ffmpeg's files). */
    int track_last = tail || (rec->duration_mode == MPG_DURATION_MEASURE && c->file_size <= c->scan_limit);
    if (MPG_DEC_MPG2PS_FindCode(r) < 0) break;
    uint64_t code_pos = bs_file_pos(r) - 3;
    int32_t id = bs_read_1byte(r);
    if (id < 0) break;
    int32_t t = MPG_TIME_NONE, e;
    if (id == 0xBA) {
      int64_t scr;
      if (ps_read_pack(c, r, &scr) < 0) break;
      int64_t ms = ps_unwrap_scr(c, scr) / 90;
      if (c->file_first_scr_ms == MPG_NO_TIME) c->file_first_scr_ms = ms;
      else if (ms > c->file_first_scr_ms) c->file_last_scr_ms = ms;
    } else if (id >= 0xE0 && id <= 0xEF) {
      int32_t idx = find_video(info, (uint32_t)id);
      e = MPG_DEC_MPG2PS_GetInfoVideoHeader(c, r, work, &t, idx >= 0 ? info->video[idx].codec : 0);
      /* a packet cut by the end of the file ends the scan */
      if (e == MPG_ERR_END) break;
      if (idx >= 0) {
        MpgVideoEntry* v = &info->video[idx];
        /* the packet to fall back to after a failed seek: the latest one
           that starts a sequence, where a key frame can be decoded */
        if (track_last && e == MPG_OK && t > fallback_ms && code_pos > 0) {
          c->last_video_offset = code_pos - 1;
          fallback_ms = t;
        }
        note_time(&v->first_ms, &v->last_ms, t, track_last);
      } else if (e == MPG_OK && !tail) {
        MpgVideoEntry v;
        c->host.fill(&v, 0, sizeof v);
        if (MPG_DEC_MPG_DecodeSequenceHeader(&v, work) == MPG_OK) {
          v.id = (uint32_t)id;
          v.first_ms = t;
          v.last_ms = MPG_TIME_NONE;
          if ((e = append_video(c, info, &v)) < 0) return e;
        }
      }
    } else if (id >= 0xC0 && id <= 0xCF) {
      int32_t idx = find_audio(info, (uint32_t)id);
      e = MPG_DEC_MPG2PS_GetInfoAudioHeader(c, r, work, &t, idx >= 0);
      if (e == MPG_ERR_END) break;
      if (idx >= 0) {
        MpgAudioEntry* a = &info->audio[idx];
        note_time(&a->first_ms, &a->last_ms, t, track_last);
      } else if (e == MPG_OK && !tail) {
        MpgAudioEntry a;
        c->host.fill(&a, 0, sizeof a);
        a.first_ms = a.last_ms = MPG_TIME_NONE;
        if (MPG_DEC_MPG_DecodeADTSHeader(&a, work) == MPG_OK) {
          a.id = (uint32_t)id;
          a.first_ms = t;
          a.header = (uint32_t)work[0] << 8 | work[1];
          if ((e = append_audio(c, info, &a)) < 0) return e;
        }
      }
    } else if (id == 0xBD) {
      uint32_t sub = 0;
      e = MPG_DEC_MPG2PS_GetInfoVOBHeader(c, r, work, &t, &sub);
      if (e == MPG_ERR_END) break;
      if (e == MPG_ERR_NO_END_COMMAND && !sub) continue;
      if (sub < 0x80) continue;
      int32_t idx = find_audio(info, sub);
      if (idx >= 0) {
        MpgAudioEntry* a = &info->audio[idx];
        note_time(&a->first_ms, &a->last_ms, t, track_last);
      } else if (e == MPG_OK && !tail) {
        MpgAudioEntry a;
        c->host.fill(&a, 0, sizeof a);
        a.first_ms = a.last_ms = MPG_TIME_NONE;
        if (MPG_DEC_MPG_DecodeVOBAudioHeader(&a, work) == MPG_OK) {
          a.id = sub;
          a.first_ms = t;
          if ((e = append_audio(c, info, &a)) < 0) return e;
        }
      }
    } else if (id >= 0xBB) {
      uint32_t length;
      if (bs_read_be16(r, &length) < 0 || bs_skip_bytes(r, length) < 0) break;
    }
  }
  return MPG_OK;
}

int32_t MPG_Core_CheckFormat(MpgContext* c, MpgOpenRecord* rec, MpgStreamInfo* info) {
  if (rec->duration_mode != MPG_DURATION_GIVEN) c->host.fill(info, 0, sizeof *info);
  if (common_init() != MPG_OK) return MPG_ERR_NO_MEMORY;
  void* h = c->host.open(rec->file_name, "rb");
  if (!h) return MPG_ERR_FILE_OPEN;
  c->probe.host = &c->host;
  if (rec->duration_mode == MPG_DURATION_MEASURE) {
    int64_t size = -1;
    if (c->host.seek64 && c->host.tell64) {
      if (c->host.seek64(h, 0, KVR_SEEK_END) == 0) size = c->host.tell64(h);
      c->host.seek64(h, 0, KVR_SEEK_SET);
    } else {
      if (c->host.seek(h, 0, KVR_SEEK_END) == 0) size = c->host.tell(h);
      c->host.seek(h, 0, KVR_SEEK_SET);
    }
    c->file_size = size > 0 ? (uint64_t)size : 0;
    info->file_size = c->file_size;
  } else if (rec->duration_mode == MPG_DURATION_GIVEN) {
    c->file_size = info->file_size;
  } else {
    c->file_size = 0;
    info->file_size = 0;
  }
  int32_t e = open_bitstream(&c->probe, c->cache_size, h, &c->host);
  if (e < 0) {
    if (!c->probe.handle) c->host.close(h);
    close_bitstream(&c->probe);
    return MPG_ERR_PROBE_OPEN;
  }
  int32_t syntax = find_pack(&c->probe);
  if (syntax < 0) {
    close_bitstream(&c->probe);
    return MPG_ERR_NOT_PS;
  }
  c->pack_syntax = syntax;
  c->data_start = 0;
  if (bs_fseek(&c->probe, 0) < 0) {
    close_bitstream(&c->probe);
    return MPG_ERR_SEEK;
  }
  c->info = info;
  c->scan_buf = c->host.allocate(MPG_SCAN_BUFFER_SIZE);
  e = c->scan_buf ? scan(c, rec, info) : MPG_ERR_NO_MEMORY;
  if (c->scan_buf) c->host.release(c->scan_buf);
  c->scan_buf = NULL;
  if (e < 0) {
    close_bitstream(&c->probe);
    return e;
  }
  if (rec->stream_mode == MPG_MODE_TWO_READERS) close_bitstream(&c->probe);
  return MPG_Core_ChooseChannel(c, rec, info);
}

int32_t MPG_Core_ChooseChannel(MpgContext* c, MpgOpenRecord* rec, MpgStreamInfo* info) {
  c->n_audio = info->audio_count;
  c->n_video = info->video_count;
  const MpgAudioEntry* audio = NULL;
  const MpgVideoEntry* video = NULL;
  uint32_t best = 0x0FFFFFFF;
  for (uint32_t i = 0; i < info->audio_count; ++i)
    if (info->audio[i].id < best) {
      best = info->audio[i].id;
      audio = &info->audio[i];
      info->audio_index = i;
    }
  if (audio) {
    c->audio_id = c->sel_audio[0] = audio->id;
    c->audio_codec = c->sel_codec[0] = audio->codec;
    c->audio_frame_length = audio->frame_length;
    c->audio_header = audio->header;
    c->n_sel_audio = 1;
  } else {
    c->audio_id = 0;
    info->audio_index = 0;
  }
  best = 0x0FFFFFFF;
  for (uint32_t i = 0; i < info->video_count; ++i)
    if (info->video[i].id < best) {
      best = info->video[i].id;
      video = &info->video[i];
      info->video_index = i;
    }
  if (video) {
    c->video_id = c->sel_video[0] = video->id;
    c->video_codec = video->codec;
    c->n_sel_video = 1;
  } else {
    info->video_index = 0;
  }
  c->audio_base_ms = audio && audio->first_ms != MPG_TIME_NONE ? audio->first_ms : 0;
  c->video_base_ms = video && video->first_ms != MPG_TIME_NONE ? video->first_ms : 0;
  if (rec->duration_mode == MPG_DURATION_MEASURE) {
    int64_t d = 0;
    if (audio && audio->first_ms != MPG_TIME_NONE && audio->last_ms != MPG_TIME_NONE && audio->last_ms > audio->first_ms)
      d = (int64_t)audio->last_ms - audio->first_ms;
    else if (video && video->first_ms != MPG_TIME_NONE && video->last_ms != MPG_TIME_NONE && video->last_ms > video->first_ms)
      d = (int64_t)video->last_ms - video->first_ms;
    else if (c->file_first_scr_ms != MPG_NO_TIME && c->file_last_scr_ms != MPG_NO_TIME)
      d = c->file_last_scr_ms - c->file_first_scr_ms;
    if (d % 1000 > 499) d = d - d % 1000 + 1000;
    if (d < 0 || d > INT32_MAX) d = 0;
    c->duration_ms = info->duration_ms = (int32_t)d;
  } else if (rec->duration_mode == MPG_DURATION_GIVEN) {
    c->duration_ms = info->duration_ms;
  } else {
    c->duration_ms = info->duration_ms = 0;
  }
  return MPG_OK;
}

void ps_reset_video(MpgContext* c) {
  c->vring.rd = c->vring.wr = 0;
  c->frame_started = 0;
  c->frame_start = c->scan = 0;
  c->last_video_pts = MPG_NO_TIME;
  c->video_scr = MPG_NO_TIME;
  c->need_key = 1;
}

void ps_reset_audio(MpgContext* c) {
  c->aring.rd = c->aring.wr = 0;
  c->last_audio_pts = MPG_NO_TIME;
  c->audio_scr = MPG_NO_TIME;
}

int32_t MPG_Core_SelStream(MpgContext* c, const MpgSelectRequest* req, MpgSelectResult* res) {
  MpgStreamInfo* info = c->info;
  c->host.fill(res, 0, sizeof *res);
  if (!info) return MPG_OK;
  if (req->style != 0) {
    if (req->flags & 1) {
      c->multi |= 1;
      c->n_sel_video = 0;
      for (uint32_t i = 0; i < info->video_count && i < MPG_MAX_SELECTED; ++i)
        if (req->video & (1u << i)) {
          res->video[res->video_count++] = &info->video[i];
          c->sel_video[c->n_sel_video++] = info->video[i].id;
        }
      if (c->n_sel_video) c->video_id = c->sel_video[0];
    }
    if (req->flags & 2) {
      c->multi |= 2;
      c->n_sel_audio = 0;
      for (uint32_t i = 0; i < info->audio_count && i < MPG_MAX_SELECTED; ++i)
        if (req->audio & (1u << i)) {
          res->audio[res->audio_count++] = &info->audio[i];
          c->sel_codec[c->n_sel_audio] = info->audio[i].codec;
          c->sel_audio[c->n_sel_audio++] = info->audio[i].id;
        }
      if (c->n_sel_audio) c->audio_id = c->sel_audio[0];
    }
    return MPG_OK;
  }
  if (req->flags & 1) {
    int32_t i = find_video(info, req->video);
    if (i >= 0) {
      res->video[res->video_count++] = &info->video[i];
      c->video_id = c->sel_video[0] = info->video[i].id;
      c->video_codec = info->video[i].codec;
      ps_reset_video(c);
    }
  }
  if (req->flags & 2) {
    int32_t i = find_audio(info, req->audio);
    if (i >= 0) {
      const MpgAudioEntry* a = &info->audio[i];
      res->audio[res->audio_count++] = &info->audio[i];
      c->audio_id = c->sel_audio[0] = a->id;
      c->audio_codec = c->sel_codec[0] = a->codec;
      c->audio_frame_length = a->frame_length;
      c->audio_header = a->header;
      ps_reset_audio(c);
    }
  }
  return MPG_OK;
}
