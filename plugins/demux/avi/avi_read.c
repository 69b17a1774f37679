/* Packet reading: the chunk walk over the movi data with resynchronisation,
 * chunk-size repair from "idx1", the OpenDML size check, MPEG audio
 * resynchronisation, and reading by index when the walk is lost. */
#include "avi_internal.h"

#define ID_LIST AVI_FOURCC('L', 'I', 'S', 'T')
#define ID_RIFF AVI_FOURCC('R', 'I', 'F', 'F')

enum { WALK_AGAIN = 1 };

static int fail(AviContext* c, int32_t code) {
  c->last_error = code;
  return code == AVI_ERR_END ? AVI_END : AVI_FAIL;
}

static int is_plain_stream_chunk(uint32_t id) {
  if (!avi_is_digit_id(id)) return 0;
  uint32_t t = id >> 16;
  return t == ('d' | 'b' << 8) || t == ('d' | 'c' << 8) || t == ('w' | 'b' << 8) || t == ('p' | 'c' << 8) ||
         t == ('i' | 'x' << 8) || t == ('t' | 'x' << 8) || t == ('x' | 'x' << 8);
}

static int64_t video_time(const AviContext* c, uint32_t frame) {
  return avi_video_ms(c, frame) + avi_video_start_ms(c);
}

/* Makes the packet buffer hold `size` bytes; -1 with the last error set. */
static int ensure_buffer(AviContext* c, uint32_t size) {
  if (size <= c->buf_size) return 0;
  uint32_t want = (size + 3u) & ~3u;
  if (c->buf && !c->host_buffer) avi_free(c->buf);
  c->buf = (uint8_t*)avi_malloc(want);
  c->host_buffer = 0;
  if (c->buf == NULL) {
    c->buf_size = 0;
    c->last_error = AVI_ERR_NO_MEMORY;
    return -1;
  }
  c->buf_size = want;
  c->file_info.buffer_size = want;
  return 0;
}

/* Reads `size` data bytes (and the padding byte when `pad`) of the chunk whose
 * header is at the reader's position; the bytes read without padding. */
static uint32_t read_chunk(AviContext* c, AviFioHandle* h, uint32_t size, int pad) {
  __AVI_DMX__fioSkipBytes(8, h);
  if (size == 0) return 0;
  /* An odd chunk as large as the buffer leaves its padding byte in the file. */
  uint32_t into = pad && size < c->buf_size ? size + 1 : size;
  uint32_t got = __AVI_DMX__fioRead(c->buf, 1, into, h);
  if (pad && into == size) __AVI_DMX__fioSkipBytes(1, h);
  return got > size ? size : got;
}

/* ---- chunk-size repair from idx1 ---- */

typedef struct Idx1Entry {
  uint32_t id, flags, offset, length;
} Idx1Entry;

static int repair_entry(AviContext* c, int k, Idx1Entry* e) {
  uint8_t b[16];
  AviFioHandle* h = c->repair_fh[k];
  AviRepair* r = &c->repair[k];
  /* The cursor reads on from where it stopped; a seek would drop its cache. */
  if (r->handle_pos != r->entry_pos && avi_seek_to(h, r->entry_pos) != 0) return -1;
  r->handle_pos = -1;
  if (__AVI_DMX__fioRead(b, 1, 16, h) != 16) return -1;
  r->handle_pos = r->entry_pos + 16;
  e->id = avi_rd32(b);
  e->flags = avi_rd32(b + 4);
  e->offset = avi_rd32(b + 8);
  e->length = avi_rd32(b + 12);
  return 0;
}

static int repair_kind_match(const AviContext* c, int k, uint32_t id) {
  return k == AVI_REPAIR_VIDEO ? avi_is_video_id(c, id) : id == c->id_wb;
}

enum { REPAIR_EXHAUSTED = -2 };

/* Finds the idx1 entry of the chunk at `pos`; 1 with its length, 0 when the
 * index has no entry there (the reader stays), -1 when the repair gave up,
 * REPAIR_EXHAUSTED when the index ends before the chunk, 2 when the reader
 * was moved to the next indexed chunk. */
static int repair_lookup(AviContext* c, int k, int64_t pos, uint32_t* length) {
  AviRepair* r = &c->repair[k];
  int64_t end = c->idx1_end;
  if (!r->started) {
    r->started = 1;
    r->entry_pos = c->idx1_pos + 8;
    r->handle_pos = -1;
  }
  int realign = r->pending || c->resync_count > 16;
  uint32_t steps = 0;
  Idx1Entry e;
  for (;;) {
    /* Every entry is behind the reader: the indexed data has been read. */
    if (r->entry_pos + 16 > end) return REPAIR_EXHAUSTED;
    if (repair_entry(c, k, &e) != 0) return -1;
    if (!repair_kind_match(c, k, e.id)) {
      r->entry_pos += 16;
      continue;
    }
    int64_t at = c->idx1_base + e.offset - 4;
    if (at == pos) {
      r->entry_pos += 16;
      if (k == AVI_REPAIR_VIDEO || e.length) r->entries++;
      r->bytes += e.length;
      r->pending = 0;
      *length = e.length;
      return 1;
    }
    if (at < pos) {
      if (realign && ++steps > 1000) return -1;
      r->entry_pos += 16;
      if (k == AVI_REPAIR_VIDEO || e.length) r->entries++;
      r->bytes += e.length;
      continue;
    }
    /* The entry lies ahead: with a resync pending the reader follows it. */
    if (realign && at < c->file_size) {
      AviFioHandle* h = k == AVI_REPAIR_VIDEO ? c->fh[AVI_FH_MAIN] : avi_audio_reader(c);
      if (avi_seek_to(h, at) != 0) return -1;
      r->pending = 0;
      return 2;
    }
    return 0;
  }
}

/* ---- MPEG audio resynchronisation ---- */

static int is_mpeg_audio_header(const uint8_t* p) {
  if (p[0] != 0xFF || p[1] < 0xE0) return 0;
  if (((p[1] >> 3) & 3) == 1) return 0;               /* reserved version */
  uint32_t layer = (p[1] >> 1) & 3;
  if (layer != 1 && layer != 2) return 0;             /* Layer III or II */
  if (p[2] <= 15 || p[2] >= 240) return 0;
  if (((p[2] >> 2) & 3) == 3) return 0;               /* reserved sample rate */
  return 1;
}

/* Searches the audio from the chunk at the reader's position for the first
 * MPEG audio frame header; sets the time offset when found. The reader is
 * put back at `pos` in every case. */
static void mp3_resync(AviContext* c, AviFioHandle* h, int64_t pos) {
  uint32_t searched = 0;
  int chunks = 0;
  uint8_t b[12];
  while (searched <= 100000 && chunks < 256) {
    if (avi_peek(h, b, 8) < 8) break;
    uint32_t id = avi_rd32(b), size = avi_rd32(b + 4);
    if ((id == ID_LIST || id == ID_RIFF) && size) {
      __AVI_DMX__fioSkipBytes(12, h);
      continue;
    }
    if (!avi_is_stream_chunk(id) || size >= AVI_CHUNK_LIMIT) {
      __AVI_DMX__fioSkipBytes(1, h);
      ++searched;
      continue;
    }
    if (id != c->id_wb) {
      if (avi_skip(h, 8 + (int64_t)((size + 1u) & ~1u)) != 0) break;
      continue;
    }
    ++chunks;
    /* The search reads into the packet buffer; a caller's buffer is never
     * replaced by one of ours. */
    if (size + 1 > c->buf_size && ((c->flags & AVI_FLAG_CALLER_BUFFER) || ensure_buffer(c, size + 1) != 0)) break;
    uint32_t got = read_chunk(c, h, size, size & 1);
    for (uint32_t i = 0; i + 3 <= got; ++i) {
      if (is_mpeg_audio_header(c->buf + i)) {
        uint32_t align = c->audio_fmt ? c->audio_fmt[0].block_align : 0;
        /* A zero block alignment gives no block count: no offset then. */
        c->mp3_offset_ms = align ? (int64_t)((uint64_t)((searched + i) / align) * (uint64_t)c->audio_block_us / 1000u) : 0;
        c->mp3_done = 1;
        avi_seek_to(h, pos);
        return;
      }
    }
    searched += got;
    if (got < size) break;
  }
  c->mp3_on = 0;
  avi_seek_to(h, pos);
}

/* ---- the walk ---- */

static int deliver(AviContext* c, AviPacket* pkt, int kind, uint32_t got, int64_t time) {
  pkt->data = c->buf;
  pkt->size = got;
  pkt->kind = kind;
  pkt->time_ms = (int32_t)time;
  c->resync_count = 0;
  return AVI_OK;
}

static int read_by_index(AviContext* c, int kind, AviPacket* pkt);

static int video_chunk(AviContext* c, AviFioHandle* h, int64_t pos, uint32_t size, AviPacket* pkt) {
  int pad = size & 1;
  if (c->repair_on) {
    uint32_t length = 0;
    int r = repair_lookup(c, AVI_REPAIR_VIDEO, pos, &length);
    if (r == REPAIR_EXHAUSTED) return fail(c, AVI_ERR_END);
    if (r < 0) {
      c->repair_on = 0;
    } else if (r == 2) {
      return WALK_AGAIN;
    } else if (r == 1) {
      if (length != size && length < AVI_CHUNK_LIMIT) {
        size = length;
        pad = 0;
      }
      c->video_frame = c->repair[AVI_REPAIR_VIDEO].entries - 1;
    }
  }
  if (c->odml_check_on) {
    int64_t p;
    uint32_t raw;
    int r = avi_odml_mem_entry(c, 0, c->video_frame, &p, &raw);
    if (r == AVI_ERR_MEM_INDEX_OTHER_STREAM) return fail(c, r);
    uint32_t isize = raw & 0x7FFFFFFFu;
    if (r == 0 && isize < AVI_CHUNK_LIMIT && isize != size) {
      int64_t diff = (int64_t)isize - size;
      if (!c->odml_check_first_done && (diff > 5 || diff < -5)) {
        c->odml_check_on = 0;
      } else {
        int matched = 0;
        for (int i = 0; i < 100 && !matched; ++i) {
          ++c->video_frame;
          ++c->chunks;
          if (avi_odml_mem_entry(c, 0, c->video_frame, &p, &raw) != 0) break;
          if ((raw & 0x7FFFFFFFu) == size) matched = 1;
        }
        if (matched) {
          c->odml_check_matched = 1;
        } else {
          c->video_frame = c->video_frame >= 10 ? c->video_frame - 10 : 0;
          c->chunks = c->chunks >= 10 ? c->chunks - 10 : 0;
          if (!c->odml_check_matched) c->odml_check_on = 0;
        }
      }
    }
    c->odml_check_first_done = 1;
  }
  if (size >= AVI_CHUNK_LIMIT) {
    __AVI_DMX__fioSkipBytes(1, h);
    ++c->resync_count;
    return WALK_AGAIN;
  }
  if (size > c->buf_size) {
    if (c->flags & AVI_FLAG_CALLER_BUFFER) {
      avi_skip(h, 8 + (int64_t)size + pad);
      ++c->video_frame;
      ++c->chunks;
      pkt->size = size;
      return fail(c, AVI_ERR_BUFFER_SMALL);
    }
    if (ensure_buffer(c, size + (uint32_t)pad) != 0) return AVI_FAIL;
  }
  uint32_t frame = c->video_frame;
  uint32_t got = read_chunk(c, h, size, pad);
  if (got < size) return fail(c, AVI_ERR_END); /* cut off by the end of the file */
  ++c->video_frame;
  ++c->chunks;
  if (size == 0) return WALK_AGAIN;
  return deliver(c, pkt, AVI_KIND_VIDEO, got, video_time(c, frame));
}

/* The in-memory index entry of the audio chunk at the reader: the one that
 * follows the last chunk checked while the chunk number has not been set
 * since, else the first entry at or after the reader's position. */
static int audio_entry(AviContext* c, AviFioHandle* h, int64_t pos, uint32_t* entry) {
  if (c->odml_audio_entry_known && c->odml_audio_entry_chunk == c->audio_chunk) {
    *entry = c->odml_audio_entry;
    return 0;
  }
  return avi_odml_mem_entry_at(c, 1, pos >= 0 ? pos : avi_tell(h), entry);
}

static int audio_chunk(AviContext* c, AviFioHandle* h, int64_t pos, uint32_t size, AviPacket* pkt) {
  int pad = size & 1;
  if (c->repair_on) {
    uint32_t length = 0;
    int r = repair_lookup(c, AVI_REPAIR_AUDIO, pos, &length);
    if (r == REPAIR_EXHAUSTED) return fail(c, AVI_ERR_END);
    if (r < 0) {
      c->repair_on = 0;
    } else if (r == 2) {
      return WALK_AGAIN;
    } else if (r == 1) {
      if (length != size && length < AVI_CHUNK_LIMIT) {
        size = length;
        pad = 0;
      }
      c->audio_chunk = c->repair[AVI_REPAIR_AUDIO].entries - (length ? 1 : 0);
      c->audio_bytes = c->repair[AVI_REPAIR_AUDIO].bytes - length;
    }
  }
  if (c->odml_check_on) {
    int64_t p;
    uint32_t raw, entry = 0;
    int r = audio_entry(c, h, pos, &entry) == 0 ? avi_odml_mem_entry(c, 1, entry, &p, &raw) : -1;
    if (r == AVI_ERR_MEM_INDEX_OTHER_STREAM) return fail(c, r);
    uint32_t isize = raw & 0x7FFFFFFFu;
    if (r == 0 && isize && isize < AVI_CHUNK_LIMIT && isize != size) {
      int64_t diff = (int64_t)isize - size;
      if (!c->odml_check_first_done && (diff > 5 || diff < -5)) {
        c->odml_check_on = 0;
      } else {
        size = isize;
        pad = 0;
        c->repair_corrected = 1;
      }
    }
    c->odml_check_first_done = 1;
    /* The next chunk has the next entry, empty or not. */
    c->odml_audio_entry_known = r == 0;
    c->odml_audio_entry = entry + 1;
    c->odml_audio_entry_chunk = c->audio_chunk + (size ? 1u : 0u);
  }
  if (size >= AVI_CHUNK_LIMIT) {
    c->odml_audio_entry_known = 0;
    __AVI_DMX__fioSkipBytes(1, h);
    ++c->resync_count;
    return WALK_AGAIN;
  }
  if (size > c->buf_size) {
    if (c->flags & AVI_FLAG_CALLER_BUFFER) {
      avi_skip(h, 8 + (int64_t)size + pad);
      ++c->audio_chunk;
      c->audio_bytes += size;
      ++c->chunks;
      pkt->size = size;
      return fail(c, AVI_ERR_BUFFER_SMALL);
    }
    if (ensure_buffer(c, size + (uint32_t)pad) != 0) return AVI_FAIL;
  }
  if (c->mp3_on && !c->mp3_done) {
    /* Going back to the first audio chunk is for a reader of its own: a
     * shared reader would deliver the video in between twice. */
    if ((c->flags & AVI_FLAG_SEPARATE) && c->audio_start_pos >= 0 && pos > c->audio_start_pos + 100) {
      uint8_t b[8];
      if (avi_seek_to(h, c->audio_start_pos) == 0 && avi_peek(h, b, 8) == 8 && avi_rd32(b) == c->id_wb) {
        pos = c->audio_start_pos;
        size = avi_rd32(b + 4);
        pad = size & 1;
        if (size >= AVI_CHUNK_LIMIT || (size > c->buf_size && (c->flags & AVI_FLAG_CALLER_BUFFER))) {
          c->mp3_on = 0;
          avi_seek_to(h, c->audio_start_pos);
          return WALK_AGAIN;
        }
        if (size > c->buf_size && ensure_buffer(c, size + (uint32_t)pad) != 0) return AVI_FAIL;
        c->audio_chunk = 0;
        c->audio_bytes = 0;
      } else {
        avi_seek_to(h, pos);
      }
    }
    mp3_resync(c, h, pos);
  }
  int64_t time = avi_audio_ms(c, c->audio_chunk, c->audio_bytes);
  uint32_t got = read_chunk(c, h, size, pad);
  if (got < size) return fail(c, AVI_ERR_END);
  ++c->chunks;
  /* An empty audio chunk holds no block: it takes no time. */
  if (size == 0) return WALK_AGAIN;
  ++c->audio_chunk;
  c->audio_bytes += got;
  return deliver(c, pkt, AVI_KIND_AUDIO, got, time);
}

/* Damage or an unknown stream chunk: pass one byte. */
static int pass_byte(AviContext* c, AviFioHandle* h, int stream_like, int kind, AviPacket* pkt) {
  __AVI_DMX__fioSkipBytes(1, h);
  ++c->resync_count;
  if (!stream_like && c->resync_count >= 12 && !c->odml_check_matched) c->odml_check_on = 0;
  if (c->resync_count > AVI_WALK_LIMIT) {
    /* Lost: with an index the next packet comes by it. */
    if (c->index_mode != AVI_INDEX_NONE) {
      c->repair_on = 0;
      c->resync_count = 0;
      return read_by_index(c, kind, pkt);
    }
    return fail(c, AVI_ERR_NO_CHUNK);
  }
  return WALK_AGAIN;
}

static int walk(AviContext* c, AviFioHandle* h, int accept_video, int accept_audio, int kind, AviPacket* pkt) {
  int nstreams = c->video.count + c->audio.count;
  uint8_t b[12];
  c->resync_count = 0;
  for (;;) {
    if (avi_peek(h, b, 8) < 8) return fail(c, AVI_ERR_END);
    /* Asking the host for the position costs a system call: only the
     * repair and the MPEG audio search need it. */
    int64_t pos = (c->repair_on || (c->mp3_on && !c->mp3_done)) ? avi_tell(h) : -1;
    uint32_t id = avi_rd32(b), size = avi_rd32(b + 4);
    int r;
    if (accept_video && avi_is_video_id(c, id)) {
      r = video_chunk(c, h, pos, size, pkt);
    } else if (accept_audio && c->audio.count && id == c->id_wb) {
      r = audio_chunk(c, h, pos, size, pkt);
    } else if (id == ID_LIST || id == ID_RIFF) {
      if (size != 0 && (int64_t)size < c->file_size && avi_peek(h, b, 12) == 12) {
        uint32_t form = avi_rd32(b + 8);
        __AVI_DMX__fioSkipBytes(12, h);
        if (id == ID_LIST && form == AVI_FOURCC('r', 'e', 'c', ' ')) {
          c->repair_on = 0;
          c->odml_check_on = 0;
        } else if (!(id == ID_LIST && form == AVI_FOURCC('m', 'o', 'v', 'i')) &&
                   !(id == ID_RIFF && (form == AVI_FOURCC('A', 'V', 'I', ' ') || form == AVI_FOURCC('A', 'V', 'I', 'X')))) {
          avi_skip(h, (int64_t)size - 4);
        }
        r = WALK_AGAIN;
      } else {
        r = pass_byte(c, h, 0, kind, pkt);
      }
    } else if (id == AVI_FOURCC('i', 'n', 'd', 'x')) {
      if (size != 0 && (int64_t)size < c->file_size) {
        avi_skip(h, 8 + (int64_t)size);
        r = WALK_AGAIN;
      } else {
        r = pass_byte(c, h, 0, kind, pkt);
      }
    } else if (is_plain_stream_chunk(id) && avi_stream_number(id) < nstreams) {
      __AVI_DMX__fioSkipBytes(8, h);
      if (size >= 1 && size <= AVI_CHUNK_LIMIT) avi_skip(h, (int64_t)((size + 1u) & ~1u));
      ++c->chunks;
      r = WALK_AGAIN;
    } else if ((avi_stream_number(id) >= 0 && !avi_is_digit_id(id) && avi_stream_number(id) < nstreams) ||
               id == AVI_FOURCC('v', 'p', 'r', 'p') || id == AVI_FOURCC('J', 'U', 'N', 'K') ||
               id == AVI_FOURCC('i', 'd', 'x', '1') || id == AVI_FOURCC('R', 'E', 'S', '1')) {
      __AVI_DMX__fioSkipBytes(8, h);
      if (size != 0 && (int64_t)size < c->file_size) avi_skip(h, (int64_t)((size + 1u) & ~1u));
      r = WALK_AGAIN;
    } else if (avi_is_digit_id(id) && (id >> 16) == ('d' | 'd' << 8)) {
      if (size == 10) {
        __AVI_DMX__fioSkipBytes(18, h);
        c->resync_count = 0;
        r = WALK_AGAIN;
      } else {
        r = pass_byte(c, h, 0, kind, pkt);
      }
    } else {
      r = pass_byte(c, h, avi_is_stream_chunk(id), kind, pkt);
    }
    if (r != WALK_AGAIN) return r;
  }
}

/* ---- reading by index ---- */

static int read_indexed(AviContext* c, AviFioHandle* h, int kind, int64_t pos, uint32_t size, AviPacket* pkt) {
  int pad = size & 1;
  if (size >= AVI_CHUNK_LIMIT) return fail(c, AVI_ERR_NO_INDEX_ENTRY);
  if (size > c->buf_size) {
    if (c->flags & AVI_FLAG_CALLER_BUFFER) return fail(c, AVI_ERR_BUFFER_SMALL);
    if (ensure_buffer(c, size + (uint32_t)pad) != 0) return AVI_FAIL;
  }
  if (avi_seek_to(h, pos) != 0) {
    avi_to_end(h);
    return AVI_OK;
  }
  uint32_t into = pad && size < c->buf_size ? size + 1 : size;
  uint32_t got = __AVI_DMX__fioRead(c->buf, 1, into, h);
  if (got > size) got = size;
  if (kind == AVI_KIND_VIDEO) {
    int64_t t = avi_video_ms(c, c->video_frame);
    ++c->video_frame;
    ++c->chunks;
    return deliver(c, pkt, kind, got, t);
  }
  int64_t t = avi_audio_ms(c, c->audio_chunk, c->audio_bytes);
  ++c->audio_chunk;
  ++c->chunks;
  c->audio_bytes += got;
  return deliver(c, pkt, kind, got, t);
}

static int read_by_index(AviContext* c, int kind, AviPacket* pkt) {
  int64_t pos = 0;
  uint32_t size = 0;
  if (c->flags & AVI_FLAG_SEPARATE) {
    if (kind != AVI_KIND_VIDEO && kind != AVI_KIND_AUDIO) return fail(c, AVI_ERR_END);
    uint32_t n = kind == AVI_KIND_VIDEO ? c->video_frame : c->audio_chunk;
    if (aviGetOffsetbyIndex(c, kind, n, &pos, &size) == 0) return fail(c, AVI_ERR_NO_INDEX_ENTRY);
    return read_indexed(c, kind == AVI_KIND_VIDEO ? c->fh[AVI_FH_MAIN] : c->fh[AVI_FH_AUDIO], kind, pos, size, pkt);
  }
  if (c->index_mode == AVI_INDEX_IDX1) {
    /* The next chunk of any stream; chunks of other streams are passed. */
    for (uint32_t tries = 0; tries < 64; ++tries) {
      int got = aviGetOffsetbyIndex(c, -1, c->chunks, &pos, &size);
      if (got == 0) return fail(c, AVI_ERR_NO_INDEX_ENTRY);
      int64_t hpos = pos - 8;
      uint8_t b[8];
      AviFioHandle* h = c->fh[AVI_FH_MAIN];
      if (avi_seek_to(h, hpos) != 0 || avi_peek(h, b, 8) < 8) return fail(c, AVI_ERR_END);
      uint32_t id = avi_rd32(b);
      if (avi_is_video_id(c, id)) return read_indexed(c, h, AVI_KIND_VIDEO, pos, size, pkt);
      if (c->audio.count && id == c->id_wb) return read_indexed(c, h, AVI_KIND_AUDIO, pos, size, pkt);
      ++c->chunks;
    }
    return fail(c, AVI_ERR_NO_INDEX_ENTRY);
  }
  if (c->index_mode == AVI_INDEX_ODML || c->index_mode == AVI_INDEX_ODML_AUDIO) {
    int64_t vpos = 0, apos = 0;
    uint32_t vsize = 0, asize = 0;
    int hv = aviGetOffsetbyIndex(c, AVI_KIND_VIDEO, c->video_frame, &vpos, &vsize) != 0;
    int ha = c->audio.count && aviGetOffsetbyIndex(c, AVI_KIND_AUDIO, c->audio_chunk, &apos, &asize) != 0;
    if (!hv && !ha) return fail(c, AVI_ERR_NO_INDEX_ENTRY);
    if (hv && (!ha || vpos < apos)) return read_indexed(c, c->fh[AVI_FH_MAIN], AVI_KIND_VIDEO, vpos, vsize, pkt);
    return read_indexed(c, c->fh[AVI_FH_MAIN], AVI_KIND_AUDIO, apos, asize, pkt);
  }
  return fail(c, AVI_ERR_END);
}

int avi_next_packet(AviContext* c, const AviPacketRequest* req, AviPacket* pkt) {
  int kind = req ? req->kind : 0;
  if (c->flags & AVI_FLAG_SEPARATE) {
    switch (kind) {
      case AVI_KIND_VIDEO:
        if (c->video.count == 0) return fail(c, AVI_ERR_NO_VIDEO);
        if (c->video_duration_ms && video_time(c, c->video_frame) >= c->video_duration_ms) return fail(c, AVI_ERR_END);
        return walk(c, c->fh[AVI_FH_MAIN], 1, 0, kind, pkt);
      case AVI_KIND_AUDIO:
        if (c->audio.count == 0 || c->audio_zero_rate) return fail(c, AVI_ERR_NO_AUDIO);
        if (c->audio_duration_ms && avi_audio_ms(c, c->audio_chunk, c->audio_bytes) >= c->audio_duration_ms)
          return fail(c, AVI_ERR_END);
        return walk(c, c->fh[AVI_FH_AUDIO], 0, 1, kind, pkt);
      case AVI_KIND_META:
        if (c->meta.count == 0) return fail(c, AVI_ERR_NO_META);
        return walk(c, c->fh[AVI_FH_K10], 0, 0, kind, pkt);
      case AVI_KIND_4:
        return fail(c, AVI_ERR_NO_KIND4);
      default:
        return fail(c, AVI_ERR_KIND);
    }
  }
  return walk(c, c->fh[AVI_FH_MAIN], 1, !c->audio_zero_rate, kind, pkt);
}
