/* Pack and PES parsing: start codes, pack headers, PES headers with their
 * times, payload delivery into the frame record or the rings, and the header
 * readers of the format check. */
#include "mpg_internal.h"

int32_t MPG_DEC_MPG2PS_FindCode(MpgByteReader* r) {
  uint32_t sr = 0xFFFFFF;  /* the last three bytes; cannot match at first */
  for (;;) {
    if (r->cursor >= r->length && ps_next_block(r) < 0) return MPG_ERR_END;
    const uint8_t* base = r->start;
    const uint8_t* p = base + r->cursor;
    const uint8_t* e = base + r->length;
    if (e - p < 6) {
      while (p < e) {
        sr = ((sr << 8) | *p++) & 0xFFFFFF;
        if (sr == 1) {
          r->cursor = (uint32_t)(p - base);
          return MPG_OK;
        }
      }
      r->cursor = r->length;
      continue;
    }
    /* the two windows that begin in the previous bytes */
    for (int k = 0; k < 2; ++k) {
      sr = ((sr << 8) | *p++) & 0xFFFFFF;
      if (sr == 1) {
        r->cursor = (uint32_t)(p - base);
        return MPG_OK;
      }
    }
    const uint8_t* q = p - 2;
    while (e - q >= 3) {
      if (e - q >= 10 && !ps_byte_mask(q + 2, 0x01)) {
        q += 8;
        continue;
      }
      if (q[2] > 1) {
        q += 3;
      } else if (q[2] == 1) {
        if (!q[1] && !q[0]) {
          r->cursor = (uint32_t)(q + 3 - base);
          return MPG_OK;
        }
        q += 3;
      } else {
        ++q;
      }
    }
    sr = 0xFFFFFF;
    while (q < e) sr = ((sr << 8) | *q++) & 0xFFFFFF;
    r->cursor = r->length;
  }
}

int32_t MPG_DEC_GetPTS(uint32_t first, MpgByteReader* r, int64_t* pts) {
  uint32_t w1, w2;
  if (bs_read_be16(r, &w1) < 0 || bs_read_be16(r, &w2) < 0) {
    PS_EOF();
    return MPG_ERR_END;
  }
  *pts = (int64_t)(first & 0x0E) << 29 | (int64_t)(w1 >> 1) << 15 | (int64_t)(w2 >> 1);
  return MPG_OK;
}

/* Reads a pack header after its start code; `scr` gets the low 32 bits of
 * the clock reference. */
int32_t ps_read_pack(MpgContext* c, MpgByteReader* r, int64_t* scr) {
  uint32_t w1, w2, w16;
  if (bs_read_be32(r, &w1) < 0) goto eof;
  if (w1 >= 0x20000000u && w1 <= 0x2FFFFFFFu) {
    if (bs_read_be32(r, &w2) < 0) goto eof;
    c->pack_syntax = 0;
    c->mux_rate = ((w2 >> 1) & 0x3FFFFF) * 50;
    uint64_t v = (uint64_t)((w1 >> 25) & 7) << 30 | (uint64_t)((w1 >> 9) & 0x7FFF) << 15 |
                 (uint64_t)((w1 & 0xFF) << 7 | ((w2 >> 25) & 0x7F));
    *scr = (int64_t)(uint32_t)v;
    return MPG_OK;
  }
  if (bs_read_be16(r, &w16) < 0 || bs_read_be32(r, &w2) < 0) goto eof;
  c->pack_syntax = 1;
  c->mux_rate = (w2 >> 10) * 50;
  uint64_t v = (uint64_t)((w1 >> 27) & 7) << 30 | (uint64_t)((w1 >> 11) & 0x7FFF) << 15 |
               (uint64_t)((w1 & 0x3FF) << 5 | ((w16 >> 11) & 0x1F));
  *scr = (int64_t)(uint32_t)v;
  if ((w2 & 7) && bs_skip_bytes(r, w2 & 7) < 0) goto eof;
  return MPG_OK;
eof:
  PS_EOF();
  return MPG_ERR_END;
}

/* A stamp from before a wrap in a file that starts just after it would lie
 * below 0 on the unwrapped scale: it counts as 0. */
static int64_t unwrap(int64_t* origin, int64_t ts, unsigned bits) {
  if (*origin == MPG_NO_TIME) {
    *origin = ts;
    return ts;
  }
  int64_t t = kvr_ts_unwrap(ts, *origin, bits);
  return t < 0 ? 0 : t;
}

int64_t ps_unwrap_pts(MpgContext* c, int64_t pts) {
  return pts < 0 ? pts : unwrap(&c->pts_origin, pts, KVR_PTS_BITS);
}

/* Clock references keep their low 32 bits only: they wrap on that circle. */
int64_t ps_unwrap_scr(MpgContext* c, int64_t scr) { return unwrap(&c->scr_origin, scr, KVR_SCR_LOW_BITS); }

/* Parses the PES header after the length word by the pack syntax. A header
 * that would run past the packet's `length` is not read further: the rest of
 * the packet is skipped and MPG_ERR_SKIPPED returned. */
int32_t ps_pes_header(int syntax, MpgByteReader* r, uint32_t length, uint32_t* header_len, int64_t* pts) {
  *pts = -1;  /* no PTS: 90 kHz times are never negative */
  uint32_t n = 0;
  if (syntax == 0) {
    int32_t b = 0x80;
    while ((b & 0x80) && n < length && n < 24) {
      if ((b = bs_read_1byte(r)) < 0) goto eof;
      ++n;
    }
    if (b & 0x80) goto broken;
    if ((b & 0xC0) == 0x40) {
      if (n + 2 > length) goto broken;
      if (bs_read_1byte(r) < 0 || (b = bs_read_1byte(r)) < 0) goto eof;
      n += 2;
    }
    if ((b & 0xF0) == 0x20 || (b & 0xF0) == 0x30) {
      uint32_t more = (b & 0xF0) == 0x30 ? 9 : 4;
      if (n + more > length) goto broken;
      if (MPG_DEC_GetPTS((uint32_t)b, r, pts) < 0) return MPG_ERR_END;
      if (more == 9 && bs_skip_bytes(r, 5) < 0) goto eof;
      n += more;
    }
    *header_len = n;
    return MPG_OK;
  }
  uint32_t flags;
  int32_t h;
  if (length < 3) goto broken;
  if (bs_read_be16(r, &flags) < 0 || (h = bs_read_1byte(r)) < 0) goto eof;
  n = 3;
  if (3 + (uint32_t)h > length) goto broken;
  uint32_t used = 0, top = (flags >> 4) & 0xF;
  if ((top == 0x8 && h >= 5) || (top == 0xC && h >= 10)) {
    int32_t b = bs_read_1byte(r);
    if (b < 0 || MPG_DEC_GetPTS((uint32_t)b, r, pts) < 0) goto eof;
    used = 5;
  }
  if ((uint32_t)h > used && bs_skip_bytes(r, (uint32_t)h - used) < 0) goto eof;
  *header_len = 3 + (uint32_t)h;
  return MPG_OK;
broken:
  if (length > n && bs_skip_bytes(r, length - n) < 0) goto eof;
  return MPG_ERR_SKIPPED;
eof:
  PS_EOF();
  return MPG_ERR_END;
}

int32_t ps_frame_grow(MpgContext* c, MpgFrame* frame, uint32_t n) {
  if (n > c->frame_capacity || !c->frame_buf) {
    if (c->frame_buf) c->host.release(c->frame_buf);
    c->frame_buf = NULL;
    c->frame_capacity = 0;
    frame->data = NULL;
    frame->length = 0;
    uint32_t size = (n + 100) & ~3u;
    c->frame_buf = c->host.allocate(size);
    if (!c->frame_buf) return MPG_ERR_NO_MEMORY;
    c->frame_capacity = size;
  }
  frame->data = c->frame_buf;
  return MPG_OK;
}

static int32_t read_into_frame(MpgContext* c, MpgByteReader* r, MpgFrame* frame, uint32_t n) {
  int32_t e = ps_frame_grow(c, frame, n);
  if (e < 0) return e;
  if (n && bs_read_bytes(r, frame->data, (int32_t)n) != (int32_t)n) return MPG_ERR_SHORT_READ;
  frame->length = n;
  return MPG_OK;
}

/* Appends `n` payload bytes to a ring, keeping its bytes linear. */
static int32_t ring_append(MpgContext* c, PsRing* ring, MpgByteReader* r, uint32_t n) {
  if (ring->size - ring->wr < n) {
    uint32_t have = ring->wr - ring->rd;
    if (have && ring->rd) c->host.copy(ring->data, ring->data + ring->rd, have);
    if (c->frame_started) c->frame_start -= ring->rd;
    c->scan = c->scan > ring->rd ? c->scan - ring->rd : 0;
    ring->rd = 0;
    ring->wr = have;
    if (ring->size - ring->wr < n) return MPG_ERR_RING_FULL;
  }
  if (n && bs_read_bytes(r, ring->data + ring->wr, (int32_t)n) != (int32_t)n) return MPG_ERR_SHORT_READ;
  ring->wr += n;
  return MPG_OK;
}

static int32_t spu_append(MpgContext* c, PsRing* ring, MpgByteReader* r, uint32_t n) {
  if (ring->size - ring->wr < n) {
    uint32_t have = ring->wr - ring->rd;
    if (have && ring->rd) c->host.copy(ring->data, ring->data + ring->rd, have);
    ring->rd = 0;
    ring->wr = have;
    if (ring->size - ring->wr < n) {
      /* refused: the unit being gathered cannot be whole any more */
      ring->wr = 0;
      return MPG_ERR_SKIPPED;
    }
  }
  if (n && bs_read_bytes(r, ring->data + ring->wr, (int32_t)n) != (int32_t)n) return MPG_ERR_SHORT_READ;
  ring->wr += n;
  return MPG_OK;
}

static int is_selected_audio(const MpgContext* c, uint32_t id, uint32_t* codec) {
  for (uint32_t i = 0; i < c->n_sel_audio && i < MPG_MAX_SELECTED; ++i)
    if (c->sel_audio[i] == id) {
      *codec = c->sel_codec[i];
      return 1;
    }
  return 0;
}

static int is_selected_video(const MpgContext* c, uint32_t id) {
  for (uint32_t i = 0; i < c->n_sel_video && i < MPG_MAX_SELECTED; ++i)
    if (c->sel_video[i] == id) return 1;
  return 0;
}

static int32_t skip_left(MpgByteReader* r, uint32_t left) {
  if (left && bs_skip_bytes(r, left) < 0) {
    PS_EOF();
    return MPG_ERR_END;
  }
  return MPG_ERR_SKIPPED;
}

static int32_t deliver_audio(MpgContext* c, MpgByteReader* r, MpgFrame* frame, uint32_t left, int64_t pts,
                             uint32_t id) {
  int32_t e = read_into_frame(c, r, frame, left);
  if (e < 0) return e;
  c->prev_audio_time = MPG_MS(c->last_audio_pts);
  if (pts >= 0) c->last_audio_pts = pts;
  frame->kind = MPG_KIND_AUDIO;
  frame->time_ms = MPG_MS(c->last_audio_pts);
  frame->stream_id = id;
  return MPG_OK;
}

static int32_t MPG_DEC_MPG2PS_DumpData(MpgContext* c, MpgByteReader* r, uint32_t id, PsReadRole role,
                                       const MpgFrameRequest* req, MpgFrame* frame) {
  uint32_t length, header_len;
  int64_t pts;
  if (bs_read_be16(r, &length) < 0) return MPG_ERR_END;
  int32_t e = ps_pes_header(c->pack_syntax, r, length, &header_len, &pts);
  if (e < 0) return e;
  pts = ps_unwrap_pts(c, pts);
  uint32_t left = length - header_len;
  if (id >= 0xE0 && id <= 0xEF) {
    if (pts >= 0) c->last_video_pts = pts;
    if (role == PS_READ_VIDEO) return ring_append(c, &c->vring, r, left);
    e = read_into_frame(c, r, frame, left);
    if (e < 0) return e;
    frame->kind = MPG_KIND_VIDEO;
    frame->time_ms = MPG_MS(c->last_video_pts);
    frame->stream_id = id;
    return MPG_OK;
  }
  if (id >= 0xC0 && id <= 0xDF) {
    /* the video reader passes over audio: the audio reader delivers it */
    if (role == PS_READ_VIDEO) return skip_left(r, left);
    return deliver_audio(c, r, frame, left, pts, id);
  }
  if (id != 0xBD || left < 1) return skip_left(r, left);
  int32_t sub = bs_read_1byte(r);
  if (sub < 0) return MPG_ERR_END;
  --left;
  if (sub >= 0x20 && sub <= 0x3F) {
    c->spu_id = req->subpicture_id;
    if ((uint32_t)sub != req->subpicture_id || role == PS_READ_AUDIO) return skip_left(r, left);
    if (pts >= 0) c->last_spu_pts = pts;
    if (role == PS_READ_VIDEO) {
      e = spu_append(c, &c->sring, r, left);
      return e == MPG_ERR_SKIPPED ? skip_left(r, left) : e;
    }
    e = read_into_frame(c, r, frame, left);
    if (e < 0) return e;
    frame->kind = MPG_KIND_SUBPICTURE;
    frame->time_ms = MPG_MS(c->last_spu_pts);
    frame->stream_id = (uint32_t)sub;
    return MPG_OK;
  }
  uint32_t codec = 0;
  if (role == PS_READ_VIDEO || !is_selected_audio(c, (uint32_t)sub, &codec)) return skip_left(r, left);
  uint32_t skip = codec == MPG_AUDIO_LPCM ? 6 : (codec == MPG_AUDIO_AC3 || codec == MPG_AUDIO_DTS) ? 3 : 0;
  if (left < skip) return skip_left(r, left);
  if (skip && bs_skip_bytes(r, skip) < 0) return MPG_ERR_END;
  return deliver_audio(c, r, frame, left - skip, pts, (uint32_t)sub);
}

/* Navigation packets: a presentation control packet (sub-stream 0) and a
 * data search packet (sub-stream 1) carry these many bytes after their
 * sub-stream byte. */
#define PS_NAV_PCI_BYTES 979u
#define PS_NAV_DSI_BYTES 1017u

int32_t MPG_DEC_MPG2PS_DumpNavi(MpgByteReader* r, uint32_t id, MpgContext* c, const MpgFrameRequest* req,
                                MpgFrame* frame) {
  (void)req;
  uint32_t length;
  if (bs_read_be16(r, &length) < 0) return MPG_ERR_END;
  /* An empty packet holds nothing to deliver: passed over, so that the
   * frame record never goes out with the previous frame in it. */
  if (!length) return MPG_ERR_SKIPPED;
  kvr_u64 start = bs_file_pos(r);
  int32_t sub = bs_read_1byte(r);
  if (sub < 0) return MPG_ERR_END;
  uint32_t kind = MPG_KIND_NAV_OTHER, n = length;
  kvr_u64 from = start;
  /* A packet too short for its table is delivered whole as another payload
   * rather than read on into the next packet. */
  if (sub == 0 && length > PS_NAV_PCI_BYTES) {
    kind = MPG_KIND_NAV_PCI;
    n = PS_NAV_PCI_BYTES;
    from = start + 1;
  } else if (sub == 1 && length > PS_NAV_DSI_BYTES) {
    kind = MPG_KIND_NAV_DSI;
    n = PS_NAV_DSI_BYTES;
    from = start + 1;
  }
  int32_t e = ps_frame_grow(c, frame, n);
  if (e < 0) return e;
  /* The bytes come through the host's second read function straight from
   * the handle: the cache is dropped first and the reader placed after the
   * packet afterwards. */
  if (bs_fseek_reset(r, from) < 0) return MPG_ERR_END;
  size_t got = c->host.read_direct ? c->host.read_direct(frame->data, 1, n, r->handle) : 0;
  if (got != n) return MPG_ERR_SHORT_READ;
  if (bs_fseek_reset(r, start + length) < 0) return MPG_ERR_END;
  c->nav_seen = 1;
  frame->length = n;
  frame->kind = kind;
  frame->time_ms = MPG_TIME_NONE;  /* navigation packets carry no PES time */
  frame->stream_id = id;
  return MPG_OK;
}

int32_t MPG_DEC_MPG2PS(MpgContext* c, const MpgFrameRequest* req, MpgFrame* frame) {
  MpgByteReader* r;
  PsReadRole role;
  if (c->stream_mode == MPG_MODE_DIRECT) {
    r = &c->probe;
    role = PS_READ_DIRECT;
  } else if (c->stream_mode == MPG_MODE_TWO_READERS && req->kind == MPG_KIND_VIDEO) {
    r = &c->video_reader;
    role = PS_READ_VIDEO;
  } else if (c->stream_mode == MPG_MODE_TWO_READERS && req->kind == MPG_KIND_AUDIO) {
    r = &c->audio_reader;
    role = PS_READ_AUDIO;
  } else {
    return MPG_ERR_ARGUMENT;
  }
  if (!r->cache) return MPG_ERR_END;
  for (;;) {
    if (MPG_DEC_MPG2PS_FindCode(r) < 0) {
      PS_EOF();
      return MPG_ERR_END;
    }
    int32_t id = bs_read_1byte(r);
    if (id < 0) {
      PS_EOF();
      return MPG_ERR_END;
    }
    if (id == 0xBA) {
      int64_t scr;
      if (ps_read_pack(c, r, &scr) < 0) return MPG_ERR_END;
      scr = ps_unwrap_scr(c, scr);
      if (role == PS_READ_VIDEO) c->video_scr = scr;
      else if (role == PS_READ_AUDIO) c->audio_scr = scr;
      else c->last_scr = scr;
      continue;
    }
    if (id < 0xBB) continue;
    int wanted, navigation = 0;
    if (id == 0xBF && c->nav_output && role != PS_READ_VIDEO) {
      /* the video reader passes over what the caller reads elsewhere */
      wanted = navigation = 1;
    } else if (id == 0xBB || id == 0xBC || id == 0xBE || id == 0xBF) {
      /* system header, stream map, padding, navigation: passed over */
      wanted = 0;
    } else if (id == 0xBD) {
      wanted = c->audio_codec != 0 || req->subpicture_id != 0;
    } else if (id >= 0xE0 && id <= 0xEF && role == PS_READ_AUDIO) {
      wanted = 0;
    } else if (id >= 0xE0 && id <= 0xEF && role == PS_READ_VIDEO) {
      wanted = (uint32_t)id == c->video_id;
    } else if (id >= 0xE0 && id <= 0xEF) {
      wanted = (c->multi & 1) ? is_selected_video(c, (uint32_t)id) : (uint32_t)id == c->video_id;
    } else {
      uint32_t codec;
      wanted = (c->multi & 2) ? is_selected_audio(c, (uint32_t)id, &codec) : (uint32_t)id == c->audio_id;
    }
    if (!wanted) {
      uint32_t length;
      if (bs_read_be16(r, &length) < 0 || bs_skip_bytes(r, length) < 0) {
        PS_EOF();
        return MPG_ERR_END;
      }
      continue;
    }
    int32_t e = navigation ? MPG_DEC_MPG2PS_DumpNavi(r, (uint32_t)id, c, req, frame)
                           : MPG_DEC_MPG2PS_DumpData(c, r, (uint32_t)id, role, req, frame);
    if (e == MPG_OK) {
      if (role == PS_READ_DIRECT) {
        frame->scr_ms = MPG_MS(c->last_scr);
        if (c->first_scr_delivered == MPG_NO_TIME) c->first_scr_delivered = c->last_scr;
      }
      return MPG_OK;
    }
    if (e == MPG_ERR_SKIPPED) continue;
    if (e == MPG_ERR_END) PS_EOF();
    return e;
  }
}

/* ---- header readers of the format check ---- */

/* The header readers take the packet's payload into the scan buffer (a PES
 * payload is shorter than 64 KiB) and search it in memory. */
static int32_t info_payload(MpgContext* c, MpgByteReader* r, int32_t* time_ms, const uint8_t** data,
                            uint32_t* left) {
  uint32_t length, header_len;
  int64_t pts;
  if (bs_read_be16(r, &length) < 0) return MPG_ERR_END;
  int32_t e = ps_pes_header(c->pack_syntax, r, length, &header_len, &pts);
  if (e < 0) return e == MPG_ERR_SKIPPED ? MPG_ERR_NO_END_COMMAND : e;
  pts = ps_unwrap_pts(c, pts);
  *time_ms = pts >= 0 ? MPG_MS(pts) : MPG_TIME_NONE;
  *left = length - header_len;
  if (*left && bs_read_bytes(r, c->scan_buf, (int32_t)*left) != (int32_t)*left) return MPG_ERR_END;
  *data = c->scan_buf;
  return MPG_OK;
}

/* Copies the header at `from` into the work buffer: `count` bytes at most,
 * none past the payload's end; the rest of the buffer stays zero. */
static void take_header(MpgContext* c, uint8_t* work, const uint8_t* from, const uint8_t* end, uint32_t count) {
  uint32_t n = (uint32_t)(end - from) < count ? (uint32_t)(end - from) : count;
  c->host.fill(work, 0, MPG_HEADER_BYTES);
  c->host.copy(work, from, n);
}

static int video_code_matches(uint32_t codec, uint32_t code) {
  if (codec == MPG_VIDEO_AVC1) return (code & 0x1F) == 7;
  if (codec == MPG_VIDEO_MPEG) return code == 0xB3;
  if (codec == MPG_VIDEO_MP4V) return code == 0xB0;
  return code == 0xB3 || code == 0xB0 || (code & 0x1F) == 7;
}

int32_t MPG_DEC_MPG2PS_GetInfoVideoHeader(MpgContext* c, MpgByteReader* r, uint8_t* work, int32_t* time_ms,
                                          uint32_t codec) {
  const uint8_t* p;
  uint32_t left;
  int32_t e = info_payload(c, r, time_ms, &p, &left);
  if (e < 0) return e;
  const uint8_t* end = p + left;
  const uint8_t* q;
  while ((q = ps_next_start(p, end)) != NULL) {
    if (video_code_matches(codec, *q)) {
      /* the start code and the 96 bytes after it */
      take_header(c, work, q - 3, end, 100);
      return MPG_OK;
    }
    p = q;
  }
  return MPG_ERR_NO_END_COMMAND;
}

int32_t MPG_DEC_MPG2PS_GetInfoAudioHeader(MpgContext* c, MpgByteReader* r, uint8_t* work, int32_t* time_ms,
                                          int known) {
  if (known) {
    /* only the time is wanted: pass over the payload */
    uint32_t length, header_len;
    int64_t pts;
    if (bs_read_be16(r, &length) < 0) return MPG_ERR_END;
    int32_t e = ps_pes_header(c->pack_syntax, r, length, &header_len, &pts);
    if (e < 0) return e == MPG_ERR_SKIPPED ? MPG_ERR_NO_END_COMMAND : e;
    pts = ps_unwrap_pts(c, pts);
    *time_ms = pts >= 0 ? MPG_MS(pts) : MPG_TIME_NONE;
    if (length > header_len && bs_skip_bytes(r, length - header_len) < 0) return MPG_ERR_END;
    return MPG_ERR_NO_END_COMMAND;
  }
  const uint8_t* p;
  uint32_t left;
  int32_t e = info_payload(c, r, time_ms, &p, &left);
  if (e < 0) return e;
  for (uint32_t i = 0; i + 1 < left; ++i)
    if (p[i] == 0xFF && (p[i + 1] & 0xE0) == 0xE0) {
      take_header(c, work, p + i, p + left, 100);
      return MPG_OK;
    }
  return MPG_ERR_NO_END_COMMAND;
}

/* Not an audio sub-stream. */
#define PS_NOT_AUDIO 253

int32_t MPG_DEC_MPG2PS_GetInfoVOBHeader(MpgContext* c, MpgByteReader* r, uint8_t* work, int32_t* time_ms,
                                        uint32_t* sub_id) {
  const uint8_t* p;
  uint32_t left;
  int32_t e = info_payload(c, r, time_ms, &p, &left);
  if (e < 0) return e;
  if (!left) return MPG_ERR_NO_END_COMMAND;
  const uint8_t* end = p + left;
  uint32_t sub = *p++;
  *sub_id = sub;
  if (sub >= 0xA0 && sub <= 0xAF) {
    /* the sub-stream id and the 99 bytes after it */
    take_header(c, work, p - 1, end, 100);
    return MPG_OK;
  }
  int dts = sub >= 0x88 && sub <= 0x8F;
  int ac3 = (sub >= 0x80 && sub <= 0x87) || (sub >= 0xC0 && sub <= 0xCF);
  if (!dts && !ac3) return PS_NOT_AUDIO;
  if (end - p < 3) return MPG_ERR_NO_END_COMMAND;
  p += 3;
  if (dts) {
    if (end - p < 4 || !(p[0] == 0x7F && p[1] == 0xFE && p[2] == 0x80 && p[3] == 0x01)) return PS_NOT_AUDIO;
    take_header(c, work, p, end, 100);
    return MPG_OK;
  }
  for (; end - p >= 2; ++p)
    if (p[0] == 0x0B && p[1] == 0x77) {
      take_header(c, work, p, end, 100);
      return MPG_OK;
    }
  return MPG_ERR_NO_END_COMMAND;
}

/* Passes over a pack header after its start code. */
static int32_t skip_pack(MpgByteReader* r) {
  int32_t b = bs_read_1byte(r);
  if (b < 0) return MPG_ERR_END;
  if ((b & 0xF0) == 0x20) return bs_skip_bytes(r, 7) < 0 ? MPG_ERR_END : MPG_OK;
  if (bs_skip_bytes(r, 8) < 0) return MPG_ERR_END;
  int32_t last = bs_read_1byte(r);
  if (last < 0 || ((last & 7) && bs_skip_bytes(r, (uint32_t)last & 7) < 0)) return MPG_ERR_END;
  return MPG_OK;
}

int32_t MPG_Check_PTS(MpgByteReader* r, int32_t syntax) {
  for (;;) {
    int32_t id;
    if (MPG_DEC_MPG2PS_FindCode(r) < 0 || (id = bs_read_1byte(r)) < 0) return MPG_ERR_END;
    if (id == 0xBA) {
      if (skip_pack(r) < 0) return MPG_ERR_END;
      continue;
    }
    if (id < 0xBB) continue;
    uint32_t length;
    if (bs_read_be16(r, &length) < 0) return MPG_ERR_END;
    if (id >= 0xE0 && id <= 0xEF) {
      uint32_t header_len;
      int64_t pts;
      int32_t e = ps_pes_header(syntax, r, length, &header_len, &pts);
      if (e == MPG_ERR_SKIPPED) continue;
      if (e < 0) return MPG_ERR_END;
      return pts >= 0 ? MPG_MS(pts) : (int32_t)MPG_CHECK_NO_PTS;
    }
    if (bs_skip_bytes(r, length) < 0) return MPG_ERR_END;
  }
}
