/* The movi list, the "idx1" and OpenDML indexes, the host's index, and the
 * two index look-ups (n-th chunk of a kind, chunks before a position). */
#include "avi_internal.h"

#define ID_LIST AVI_FOURCC('L', 'I', 'S', 'T')
#define ID_IDX1 AVI_FOURCC('i', 'd', 'x', '1')
#define ID_JUNK AVI_FOURCC('J', 'U', 'N', 'K')
#define ID_INDX AVI_FOURCC('i', 'n', 'd', 'x')

static const uint32_t kSkippedWhole[] = {
    AVI_FOURCC('J', 'U', 'N', 'K'), AVI_FOURCC('s', 't', 'r', 'd'), AVI_FOURCC('s', 't', 'r', 'f'),
    AVI_FOURCC('s', 't', 'r', 'n'), AVI_FOURCC('d', 'm', 'l', 'h'), AVI_FOURCC('v', 'p', 'r', 'p'),
    AVI_FOURCC('i', 'n', 'd', 'x'), AVI_FOURCC('k', 'v', 'r', 'h')};

/* An index walk must not move a reader: with single-handle mode the cursor
 * is the main reader, so its position is kept around the walk. */
typedef struct Cursor {
  AviFioHandle* h;
  int64_t keep;
} Cursor;

static Cursor cursor_begin(AviContext* c) {
  Cursor k = {c->fh[AVI_FH_VIDX], -1};
  if (k.h == c->fh[AVI_FH_MAIN] || k.h == c->fh[AVI_FH_AUDIO]) k.keep = avi_tell(k.h);
  return k;
}

static void cursor_end(Cursor* k) {
  if (k->keep >= 0) avi_seek_to(k->h, k->keep);
}

int64_t avi_video_start_ms(const AviContext* c) {
  if (c->strh == NULL || c->strh[0].start == 0) return 0;
  return avi_video_ms(c, c->strh[0].start);
}

int64_t avi_audio_ms(const AviContext* c, uint64_t chunk, uint64_t bytes) {
  /* From scale and rate directly, so that the rounding of the block
   * duration does not add up over a long file. */
  if (c->audio_block_us) return (int64_t)(chunk * c->audio_scale * 1000u / c->audio_rate) + c->mp3_offset_ms;
  if (c->audio_avg == 0) return 0;
  return (int64_t)(bytes * 1000u / c->audio_avg);
}

AviFioHandle* avi_audio_reader(AviContext* c) {
  return (c->flags & AVI_FLAG_SEPARATE) ? c->fh[AVI_FH_AUDIO] : c->fh[AVI_FH_MAIN];
}

/* ---- movi ---- */

static void reset_counters(AviContext* c) {
  c->video_frame = 0;
  c->audio_chunk = 0;
  c->audio_bytes = 0;
  c->chunks = 0;
}

KVR_EXPORT int32_t aviFindStreamData(AviContext* c) {
  if (c == NULL) return -1;
  if (c->movi_start > 0) {
    if (c->find_mode != 2) {
      avi_seek_to(c->fh[AVI_FH_MAIN], c->movi_start);
      c->video_frame = 0;
      c->chunks = 0;
      if (c->find_mode == 1) return 0;
    }
    if (c->flags & AVI_FLAG_SEPARATE) avi_seek_to(c->fh[AVI_FH_AUDIO], c->movi_start);
    c->audio_chunk = 0;
    c->audio_bytes = 0;
    c->chunks = 0;
    return 0;
  }
  AviFioHandle* h = c->fh[AVI_FH_MAIN];
  if (avi_seek_to(h, 0) != 0) goto fail;
  uint32_t passed = 0;
  uint8_t b[12];
  for (;;) {
    if (avi_peek(h, b, 12) < 12) goto fail;
    uint32_t id = avi_rd32(b), size = avi_rd32(b + 4);
    if (id == ID_LIST && avi_rd32(b + 8) == AVI_FOURCC('m', 'o', 'v', 'i')) {
      c->movi_start = avi_tell(h) + 12;
      c->movi_size = size >= 4 ? (int64_t)size - 4 : 0;
      break;
    }
    int whole = 0;
    for (size_t i = 0; i < sizeof kSkippedWhole / sizeof kSkippedWhole[0]; ++i)
      if (kSkippedWhole[i] == id) whole = 1;
    if (whole) {
      if (avi_skip(h, (int64_t)size + 8) != 0) goto fail;
      continue;
    }
    if (++passed > AVI_WALK_LIMIT) goto fail;
    __AVI_DMX__fioSkipBytes(1, h);
  }
  avi_seek_to(h, c->movi_start);
  if ((c->flags & AVI_FLAG_SEPARATE) && c->fh[AVI_FH_AUDIO] != h) avi_seek_to(c->fh[AVI_FH_AUDIO], c->movi_start);
  for (int k = AVI_FH_K4; k <= AVI_FH_K10; ++k)
    if (c->fh[k] && c->fh[k] != h) avi_seek_to(c->fh[k], c->movi_start);
  reset_counters(c);
  c->file_info.movi_start = c->movi_start;
  return 0;
fail:
  c->last_error = AVI_ERR_NO_MOVI;
  return -1;
}

/* ---- idx1 ---- */

int avi_locate_idx1(AviContext* c) {
  Cursor k = cursor_begin(c);
  AviFioHandle* h = k.h;
  int found = -1;
  uint32_t passed = 0;
  uint8_t b[24];
  if (avi_seek_to(h, c->movi_start + c->movi_size) != 0) goto done;
  for (;;) {
    if (avi_peek(h, b, 8) < 8) break;
    uint32_t id = avi_rd32(b), size = avi_rd32(b + 4);
    if (id == ID_IDX1) {
      c->idx1_pos = avi_tell(h);
      c->idx1_end = c->idx1_pos + 8 + (int64_t)size;
      if (avi_peek(h, b, 24) < 24) break;
      /* Offsets at or beyond the movi data are file positions of the chunk
       * headers; smaller ones count from the "movi" form type. */
      uint32_t first = avi_rd32(b + 16);
      c->idx1_base = (int64_t)first >= c->movi_start ? 4 : c->movi_start;
      c->avih_flags |= 0x10;
      found = 0;
      break;
    }
    if (id == ID_LIST || id == ID_JUNK) {
      if (avi_skip(h, (int64_t)size + 8) != 0) break;
      continue;
    }
    if (++passed > AVI_WALK_LIMIT) break;
    __AVI_DMX__fioSkipBytes(1, h);
  }
done:
  cursor_end(&k);
  if (found != 0) c->last_error = AVI_ERR_NO_IDX1;
  return found;
}

static int is_audio_id(const AviContext* c, uint32_t id) { return c->audio.count && id == c->id_wb; }

/* Analyses "idx1" on disk: first chunks, key frames and durations. */
static int analyse_idx1(AviContext* c) {
  Cursor k = cursor_begin(c);
  AviFioHandle* h = k.h;
  uint8_t b[16];
  int r = -1;
  if (avi_seek_to(h, c->idx1_pos) != 0 || __AVI_DMX__fioRead(b, 1, 8, h) != 8 || avi_rd32(b) != ID_IDX1) goto done;
  uint64_t n = avi_rd32(b + 4) / 16u;
  uint32_t frames = 0;
  uint64_t audio_total = 0;
  int audio_seen = 0, video_seen = 0, key_seen = 0;
  for (uint64_t i = 0; i < n; ++i) {
    if (__AVI_DMX__fioRead(b, 1, 16, h) != 16) break;
    uint32_t id = avi_rd32(b), fl = avi_rd32(b + 4), off = avi_rd32(b + 8), len = avi_rd32(b + 12);
    int64_t header = c->idx1_base + off - 4;
    if (avi_is_video_id(c, id)) {
      if (!video_seen) {
        video_seen = 1;
        c->file_info.first_video_pos = header;
      } else if (fl & 0x10) {
        c->file_info.last_key_pos = header;
        c->file_info.last_key_ms = (uint32_t)avi_video_ms(c, frames);
        if (!key_seen) {
          key_seen = 1;
          c->file_info.first_key_pos = header;
          c->file_info.first_key_ms = c->file_info.last_key_ms;
        }
      }
      ++frames;
    } else if (is_audio_id(c, id)) {
      if (!audio_seen) {
        audio_seen = 1;
        c->file_info.first_audio_pos = header;
        c->audio_start_pos = header;
        if ((c->flags & AVI_FLAG_SEPARATE) && avi_seek_to(c->fh[AVI_FH_AUDIO], header) != 0)
          avi_seek_to(c->fh[AVI_FH_AUDIO], 0);
      }
      if (len < 2000000u) audio_total += len;
    }
  }
  uint32_t rate = c->video_info ? c->video_info[0].frame_rate_milli : 0;
  uint32_t vdur = rate ? (uint32_t)((uint64_t)frames * 1000000u / rate) : 0;
  if (c->audio_avg) {
    /* In milliseconds, not whole seconds: the audio duration ends the
     * reading of a separate audio reader, and whole seconds would drop
     * the audio of a last, partial second (half a second of a 5.5 s PCM
     * file, the last chunk of a 6 s MP3 one). */
    uint32_t adur = (uint32_t)(audio_total * 1000u / c->audio_avg);
    if (c->audio_duration_ms && audio_total && adur != c->audio_duration_ms + 1000u) {
      if (c->audio_block_us) {
        int64_t dn = (int64_t)adur - vdur, dh = (int64_t)c->audio_duration_ms - vdur;
        if ((dn < 0 ? -dn : dn) < (dh < 0 ? -dh : dh)) c->audio_duration_ms = adur;
      } else {
        c->audio_duration_ms = adur;
      }
    }
  }
  if (vdur) {
    c->video_duration_ms = vdur;
    c->duration_ms = vdur > c->audio_duration_ms ? vdur : c->audio_duration_ms;
  }
  if (c->audio.count && !audio_seen) avi_release_audio_streams(c);
  r = 0;
done:
  cursor_end(&k);
  return r;
}

static int load_idx1(AviContext* c) {
  Cursor k = cursor_begin(c);
  AviFioHandle* h = k.h;
  uint8_t b[8];
  int r = -1;
  if (avi_seek_to(h, c->idx1_pos) != 0 || __AVI_DMX__fioRead(b, 1, 8, h) != 8 || avi_rd32(b) != ID_IDX1) {
    c->last_error = AVI_ERR_NO_IDX1;
    goto done;
  }
  uint32_t size = avi_rd32(b + 4) & ~15u;
  if (size == 0 || size >= AVI_INDEX_LOAD_LIMIT) goto done;
  c->idx1_mem = (uint8_t*)avi_malloc(size);
  if (c->idx1_mem == NULL) goto done;
  c->idx1_mem_size = __AVI_DMX__fioRead(c->idx1_mem, 1, size, h) & ~15u;
  int vseen = 0, aseen = 0;
  for (uint32_t i = 0; i + 16 <= c->idx1_mem_size && !(vseen && aseen); i += 16) {
    uint32_t id = avi_rd32(c->idx1_mem + i);
    int64_t data = c->idx1_base + avi_rd32(c->idx1_mem + i + 8) + 4;
    if (!vseen && avi_is_video_id(c, id)) {
      vseen = 1;
      c->file_info.first_video_pos = data - 8;
    } else if (!aseen && is_audio_id(c, id)) {
      aseen = 1;
      c->file_info.first_audio_pos = data - 8;
      c->audio_start_pos = data - 8;
    }
  }
  r = 0;
done:
  cursor_end(&k);
  return r;
}

/* ---- OpenDML ---- */

int avi_read_super_index(AviContext* c, int which, int number) {
  AviFioHandle* h = c->fh[AVI_FH_MAIN];
  int64_t keep = avi_tell(h);
  uint8_t b[32];
  int r = -1;
  if (avi_seek_to(h, c->super_pos[number]) != 0) {
    c->super_pos[number] = -1;
    avi_to_end(h);
    if ((which == 0 && c->index_mode == AVI_INDEX_ODML) || (which == 1 && c->index_mode == AVI_INDEX_ODML_AUDIO))
      c->index_mode = AVI_INDEX_NONE;
    return -1;
  }
  if (__AVI_DMX__fioRead(b, 1, 32, h) != 32 || avi_rd32(b) != ID_INDX) {
    c->last_error = AVI_ERR_NO_INDX;
    goto done;
  }
  uint32_t chunk = avi_rd32(b + 16);
  int ok = which == 0 ? (chunk == c->id_dc || chunk == c->id_db) : chunk == c->id_wb;
  if (!ok) {
    c->last_error = AVI_ERR_SUPER_OTHER_STREAM;
    goto done;
  }
  uint32_t entries = avi_rd32(b + 12);
  uint32_t chunk_size = avi_rd32(b + 4);
  /* The entries cannot outnumber what the chunk holds. */
  if (chunk_size >= 24 && entries > (chunk_size - 24) / 16) entries = (chunk_size - 24) / 16;
  /* ... nor than the file holds. */
  if ((uint64_t)entries * 16u > (uint64_t)c->file_size) entries = (uint32_t)(c->file_size / 16);
  if (entries > 0x100000) entries = 0x100000;
  avi_free(c->super[which]);
  c->super[which] = NULL;
  c->super_count[which] = 0;
  if (entries == 0) goto done;
  c->super[which] = (AviSuperEntry*)avi_malloc((size_t)entries * sizeof(AviSuperEntry));
  if (c->super[which] == NULL) {
    c->last_error = AVI_ERR_NO_MEMORY;
    goto done;
  }
  uint32_t n = 0;
  for (; n < entries; ++n) {
    uint8_t e[16];
    if (__AVI_DMX__fioRead(e, 1, 16, h) != 16) break;
    c->super[which][n].offset = (int64_t)avi_rd64(e);
    c->super[which][n].size = avi_rd32(e + 8);
    c->super[which][n].duration = avi_rd32(e + 12);
  }
  c->super_count[which] = n;
  r = n ? 0 : -1;
done:
  avi_seek_to(h, keep);
  return r;
}

/* Reads the header of a standard index; 0 with its fields, or -1. */
typedef struct StdIndex {
  uint32_t entries, chunk_id, entry_size;
  int64_t base;
  int64_t first_entry; /* file position of the first entry */
} StdIndex;

static int read_std_header(AviFioHandle* h, int64_t at, StdIndex* s) {
  uint8_t b[32];
  if (avi_seek_to(h, at) != 0 || __AVI_DMX__fioRead(b, 1, 32, h) != 32) return -1;
  s->entry_size = b[10] == 1 ? 12 : 8;
  s->entries = avi_rd32(b + 12);
  s->chunk_id = avi_rd32(b + 16);
  s->base = (int64_t)avi_rd64(b + 20);
  s->first_entry = at + 32;
  uint32_t size = avi_rd32(b + 4);
  if (size >= 24 && s->entries > (size - 24) / s->entry_size) s->entries = (size - 24) / s->entry_size;
  return 0;
}

static int std_matches(const AviContext* c, int which, uint32_t id) {
  if (which == 0) return id == c->id_dc || id == c->id_db;
  return id == c->id_wb;
}

int avi_odml_entry(AviContext* c, int which, uint32_t n, int64_t* pos, uint32_t* raw_size) {
  Cursor k = cursor_begin(c);
  int r = -1;
  uint64_t first = 0;
  for (uint32_t i = 0; i < c->super_count[which]; ++i) {
    StdIndex s;
    if (read_std_header(k.h, c->super[which][i].offset, &s) != 0) break;
    if (n < first + s.entries) {
      uint8_t e[12];
      if (avi_seek_to(k.h, s.first_entry + (int64_t)(n - first) * s.entry_size) != 0 ||
          __AVI_DMX__fioRead(e, 1, 8, k.h) != 8)
        break;
      *pos = s.base + avi_rd32(e);
      *raw_size = avi_rd32(e + 4);
      r = 0;
      break;
    }
    first += s.entries;
  }
  cursor_end(&k);
  return r;
}

static int64_t estimate_frames_ms(const AviContext* c, uint64_t frames) {
  uint32_t rate = c->video_info ? c->video_info[0].frame_rate_milli : 0;
  return rate ? (int64_t)(frames * 1000000u / rate) : 0;
}

/* Analyses the OpenDML index on disk; 1 when the whole index was counted. */
static int analyse_odml(AviContext* c) {
  Cursor k = cursor_begin(c);
  AviFioHandle* h = k.h;
  int whole = 0;
  StdIndex s;
  uint8_t e[8];
  if (c->super_count[1] && c->super[1][0].offset < c->file_size && read_std_header(h, c->super[1][0].offset, &s) == 0 &&
      s.entries && __AVI_DMX__fioRead(e, 1, 8, h) == 8) {
    c->file_info.first_audio_pos = s.base + avi_rd32(e) - 8;
    c->audio_start_pos = c->file_info.first_audio_pos;
    if (c->flags & AVI_FLAG_SEPARATE) avi_seek_to(c->fh[AVI_FH_AUDIO], c->file_info.first_audio_pos);
  }
  if (c->super_count[0] == 0) goto done;
  if (c->super[0][0].offset < c->file_size && read_std_header(h, c->super[0][0].offset, &s) == 0 && s.entries &&
      __AVI_DMX__fioRead(e, 1, 8, h) == 8) {
    c->file_info.first_video_pos = s.base + avi_rd32(e) - 8;
    if (!(avi_rd32(e + 4) & 0x80000000u)) {
      c->file_info.first_key_pos = c->file_info.first_video_pos;
      c->file_info.first_key_ms = 0;
    } else {
      for (uint32_t i = 1; i < s.entries; ++i) {
        if (avi_seek_to(h, s.first_entry + (int64_t)i * s.entry_size) != 0 || __AVI_DMX__fioRead(e, 1, 8, h) != 8) break;
        if (!(avi_rd32(e + 4) & 0x80000000u)) {
          c->file_info.first_key_pos = s.base + avi_rd32(e) - 8;
          c->file_info.first_key_ms = (uint32_t)avi_video_ms(c, i);
          break;
        }
      }
    }
  }
  uint32_t last = c->super_count[0] - 1;
  int truncated = c->super[0][last].offset >= c->file_size;
  if (truncated) {
    c->odml_truncated = 1;
    while (last > 0 && c->super[0][last].offset >= c->file_size) --last;
    if (last == 0) {
      c->index_mode = AVI_INDEX_NONE;
      goto done;
    }
  }
  uint64_t frames = 0;
  for (uint32_t i = 0; i < last; ++i) frames += c->super[0][i].duration;
  if (read_std_header(h, c->super[0][last].offset, &s) == 0) {
    for (uint32_t i = 0; i < s.entries; ++i) {
      if (avi_seek_to(h, s.first_entry + (int64_t)i * s.entry_size) != 0 || __AVI_DMX__fioRead(e, 1, 8, h) != 8) break;
      int64_t data = s.base + avi_rd32(e);
      if (truncated && data >= c->file_size) break;
      if (!(avi_rd32(e + 4) & 0x80000000u)) {
        c->file_info.last_key_pos = data - 8;
        c->file_info.last_key_ms = (uint32_t)avi_video_ms(c, frames);
      }
      ++frames;
    }
  }
  int64_t ms = estimate_frames_ms(c, frames);
  if (truncated) {
    int64_t p = c->file_info.last_key_pos;
    if (p > 0 && frames > 0 && p / (int64_t)frames > 0) {
      int64_t more = (c->file_size - p) / (p / (int64_t)frames);
      if (more > 0) ms += estimate_frames_ms(c, (uint64_t)more);
    }
  } else {
    whole = 1;
  }
  if (ms > 0) {
    c->video_duration_ms = (uint32_t)ms;
    c->duration_ms = c->video_duration_ms > c->audio_duration_ms ? c->video_duration_ms : c->audio_duration_ms;
  }
done:
  cursor_end(&k);
  return whole;
}

static void free_odml_mem(AviContext* c) {
  for (int w = 0; w < 2; ++w) {
    if (c->odml_mem[w]) {
      for (uint32_t i = 0; i < c->super_count[w]; ++i) avi_free(c->odml_mem[w][i]);
      avi_free(c->odml_mem[w]);
    }
    avi_free(c->odml_mem_size[w]);
    c->odml_mem[w] = NULL;
    c->odml_mem_size[w] = NULL;
  }
}

static int load_odml(AviContext* c) {
  Cursor k = cursor_begin(c);
  int r = 0;
  for (int w = 0; w < 2 && r == 0; ++w) {
    uint32_t n = c->super_count[w];
    if (n == 0) continue;
    c->odml_mem[w] = (uint8_t**)avi_malloc(n * sizeof(uint8_t*));
    c->odml_mem_size[w] = (uint32_t*)avi_malloc(n * sizeof(uint32_t));
    if (c->odml_mem[w] == NULL || c->odml_mem_size[w] == NULL) {
      avi_free(c->odml_mem[w]);
      avi_free(c->odml_mem_size[w]);
      c->odml_mem[w] = NULL;
      c->odml_mem_size[w] = NULL;
      r = -1;
      break;
    }
    avi_memset(c->odml_mem[w], 0, n * sizeof(uint8_t*));
    avi_memset(c->odml_mem_size[w], 0, n * sizeof(uint32_t));
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t size = c->super[w][i].size;
      if (size < 32 || size >= AVI_INDEX_LOAD_LIMIT) { r = -1; break; }
      c->odml_mem[w][i] = (uint8_t*)avi_malloc(size);
      if (c->odml_mem[w][i] == NULL) { r = -1; break; }
      if (avi_seek_to(k.h, c->super[w][i].offset) != 0 ||
          __AVI_DMX__fioRead(c->odml_mem[w][i], 1, size, k.h) != size) { r = -1; break; }
      c->odml_mem_size[w][i] = size;
    }
  }
  if (r != 0) free_odml_mem(c);
  cursor_end(&k);
  return r;
}

/* The n-th entry of an in-memory standard index of a kind; 0 with its data
 * position and raw size, -1 when there is none, AVI_ERR_MEM_INDEX_OTHER_STREAM
 * when the block belongs to another stream. */
int avi_odml_mem_entry(AviContext* c, int which, uint32_t n, int64_t* pos, uint32_t* raw) {
  if (c->odml_mem[which] == NULL) return -1;
  uint64_t first = 0;
  for (uint32_t i = 0; i < c->super_count[which]; ++i) {
    const uint8_t* b = c->odml_mem[which][i];
    uint32_t size = c->odml_mem_size[which][i];
    if (b == NULL || size < 32) return -1;
    uint32_t id = avi_rd32(b + 16);
    uint32_t esize = b[10] == 1 ? 12 : 8;
    /* Entries are bounded by the block that holds them, counted in 64 bits. */
    uint64_t entries = avi_rd32(b + 12);
    if (entries > (uint64_t)(size - 32) / esize) entries = (size - 32) / esize;
    if (n < first + entries) {
      if (!std_matches(c, which, id) && id != (which == 0 ? c->id_ix_video : c->id_ix_audio)) return AVI_ERR_MEM_INDEX_OTHER_STREAM;
      const uint8_t* e = b + 32 + (size_t)(n - first) * esize;
      *pos = (int64_t)avi_rd64(b + 20) + avi_rd32(e);
      *raw = avi_rd32(e + 4);
      return 0;
    }
    first += entries;
  }
  return -1;
}

/* The number of the first entry of an in-memory standard index of a kind
 * whose chunk header lies at or after `pos`; -1 when every entry lies
 * before it or the index cannot be read. */
int avi_odml_mem_entry_at(AviContext* c, int which, int64_t pos, uint32_t* n) {
  if (c->odml_mem[which] == NULL) return -1;
  uint32_t number = 0;
  for (uint32_t i = 0; i < c->super_count[which]; ++i) {
    const uint8_t* b = c->odml_mem[which][i];
    uint32_t size = c->odml_mem_size[which][i];
    if (b == NULL || size < 32) return -1;
    uint32_t esize = b[10] == 1 ? 12 : 8;
    uint64_t entries = avi_rd32(b + 12);
    if (entries > (uint64_t)(size - 32) / esize) entries = (size - 32) / esize;
    int64_t base = (int64_t)avi_rd64(b + 20);
    for (uint64_t j = 0; j < entries; ++j, ++number) {
      if (base + avi_rd32(b + 32 + (size_t)j * esize) - 8 >= pos) {
        *n = number;
        return 0;
      }
    }
  }
  return -1;
}

/* ---- choosing the index at open ---- */

int avi_prepare_index(AviContext* c) {
  int single = (c->flags & AVI_FLAG_SINGLE) != 0;
  if (c->index_mode == AVI_INDEX_ODML) {
    int whole = 0, analysed = 0;
    if (c->audio.count && c->super_count[1] == 0 && avi_locate_idx1(c) == 0) {
      c->index_mode = AVI_INDEX_IDX1;
    } else if (!single && (c->video.count || c->audio.count)) {
      whole = analyse_odml(c);
      analysed = 1;
    }
    if (c->index_mode == AVI_INDEX_ODML && ((analysed && whole) || single)) {
      if (load_odml(c) == 0) {
        if (single) c->index_mode = AVI_INDEX_ODML_MEMORY;
        else c->odml_in_memory = 1;
      } else {
        c->odml_in_memory = 0;
        if (single) c->index_mode = AVI_INDEX_NONE;
      }
    }
  }
  if (c->index_mode == AVI_INDEX_NONE && avi_locate_idx1(c) == 0) c->index_mode = AVI_INDEX_IDX1;
  if (c->index_mode == AVI_INDEX_IDX1 && !single) {
    if (analyse_idx1(c) != 0) {
      c->index_mode = AVI_INDEX_NONE;
    } else if (c->audio.count && c->video.count && !(c->flags & AVI_FLAG_NO_REPAIR) && c->avih_streams <= 2 &&
               c->video.count == 1 && c->audio.count == 1) {
      c->repair_on = 1;
    }
  } else if (c->index_mode == AVI_INDEX_IDX1 && single) {
    c->index_mode = load_idx1(c) == 0 ? AVI_INDEX_IDX1_MEMORY : AVI_INDEX_NONE;
  }
  if ((c->flags & AVI_FLAG_HOST_INDEX) && (c->index_mode == AVI_INDEX_NONE || c->odml_truncated))
    c->index_mode = AVI_INDEX_HOST;
  c->last_error = 0;
  return 0;
}

void avi_release_indexes(AviContext* c) {
  free_odml_mem(c);
  for (int w = 0; w < 2; ++w) {
    avi_free(c->super[w]);
    c->super[w] = NULL;
    c->super_count[w] = 0;
  }
  avi_free(c->idx1_mem);
  c->idx1_mem = NULL;
}

/* ---- host index ---- */

KVR_EXPORT AviHostIndexNode* aviFindIndex(AviHostIndex* index, uint32_t n) {
  if (index == NULL) return NULL;
  AviHostIndexNode* node = index->first;
  for (uint32_t i = 0; i < n && node && node != index->last; ++i) node = node->next;
  return node;
}

KVR_EXPORT int32_t aviUpdateDurationBySysIndex(AviContext* c, AviHostIndex* in, uint32_t* out) {
  if (c == NULL || in == NULL) return 0;
  c->host_index = *in;
  AviHostIndexNode* node = aviFindIndex(in, c->host_done);
  if (c->host_done >= in->count) node = NULL;
  for (; node && c->host_done < in->count; node = node->next) {
    if (avi_is_video_id(c, node->id)) ++c->host_frames;
    ++c->host_done;
    if (node == in->last) break;
  }
  c->host_duration_ms = (uint32_t)avi_video_ms(c, c->host_frames);
  if (out) *out = c->host_duration_ms;
  return 0;
}

/* ---- look-ups ---- */

static int counted_kind(const AviContext* c, uint32_t id) {
  if (avi_is_video_id(c, id)) return AVI_KIND_VIDEO;
  if (is_audio_id(c, id)) return AVI_KIND_AUDIO;
  return 0;
}

static int any_stream_entry(uint32_t id) {
  if (!avi_is_digit_id(id)) return 0;
  uint32_t t = id >> 16;
  return t == ('d' | 'b' << 8) || t == ('d' | 'c' << 8) || t == ('w' | 'b' << 8) || t == ('p' | 'c' << 8) ||
         t == ('i' | 'x' << 8) || t == ('t' | 'x' << 8);
}

KVR_EXPORT int32_t aviGetOffsetbyIndex(AviContext* c, int32_t kind, uint32_t n, int64_t* pos, uint32_t* size) {
  if (c == NULL || pos == NULL || size == NULL) return 0;
  if (c->index_mode == AVI_INDEX_IDX1) {
    Cursor k = cursor_begin(c);
    int32_t r = 0;
    uint8_t b[16];
    if (avi_seek_to(k.h, c->idx1_pos) == 0 && __AVI_DMX__fioRead(b, 1, 8, k.h) == 8 && avi_rd32(b) == ID_IDX1) {
      int64_t end = c->idx1_pos + 8 + (int64_t)avi_rd32(b + 4);
      uint32_t count = 0, passed = 0;
      while (avi_tell(k.h) + 16 <= end && avi_peek(k.h, b, 16) == 16) {
        uint32_t id = avi_rd32(b);
        int got = counted_kind(c, id);
        int counts = kind == -1 ? any_stream_entry(id) : got == kind;
        if (!any_stream_entry(id) && !got && id != AVI_FOURCC('0', '0', 'x', 'x')) {
          if (++passed > 0x3FFFFF) break;
          __AVI_DMX__fioSkipBytes(1, k.h);
          continue;
        }
        passed = 0;
        __AVI_DMX__fioSkipBytes(16, k.h);
        if (counts && count++ == n) {
          *pos = c->idx1_base + avi_rd32(b + 8) + 4;
          *size = avi_rd32(b + 12);
          r = got ? got : (int32_t)(avi_stream_number(id) >= 0 ? 1 : 0);
          if (r == 0) r = 1;
          break;
        }
      }
    }
    cursor_end(&k);
    return r;
  }
  if (c->index_mode == AVI_INDEX_ODML || c->index_mode == AVI_INDEX_ODML_AUDIO) {
    if (kind != AVI_KIND_VIDEO && kind != AVI_KIND_AUDIO) return 0;
    uint32_t raw = 0;
    if (avi_odml_entry(c, kind - 1, n, pos, &raw) != 0) return 0;
    *size = raw & 0x7FFFFFFFu;
    return kind;
  }
  return 0;
}

KVR_EXPORT int32_t aviGetPosInfobyOffset(AviContext* c, int32_t kind, int64_t pos, uint32_t* count, uint64_t* bytes) {
  if (c == NULL) return -1;
  if (kind != AVI_KIND_VIDEO && kind != AVI_KIND_AUDIO) {
    c->last_error = AVI_ERR_KIND;
    return -1;
  }
  uint32_t n = 0;
  uint64_t total = 0;
  if (c->index_mode == AVI_INDEX_NONE) {
    AviFioHandle* h = kind == AVI_KIND_VIDEO ? c->fh[AVI_FH_MAIN] : avi_audio_reader(c);
    int64_t keep = avi_tell(h);
    if (avi_seek_to(h, c->movi_start) != 0) return -1;
    uint8_t b[12];
    while (avi_tell(h) < pos && avi_peek(h, b, 8) == 8) {
      uint32_t id = avi_rd32(b), size = avi_rd32(b + 4);
      if ((id == AVI_FOURCC('L', 'I', 'S', 'T') || id == AVI_FOURCC('R', 'I', 'F', 'F')) && size) {
        __AVI_DMX__fioSkipBytes(12, h);
        continue;
      }
      if (avi_is_stream_chunk(id) && size < AVI_CHUNK_LIMIT) {
        if (kind == AVI_KIND_VIDEO && avi_is_video_id(c, id)) ++n;
        if (kind == AVI_KIND_AUDIO && is_audio_id(c, id) && size) {
          ++n;
          total += size;
        }
        if (avi_skip(h, 8 + (int64_t)((size + 1u) & ~1u)) != 0) break;
        continue;
      }
      __AVI_DMX__fioSkipBytes(1, h);
    }
    avi_seek_to(h, keep);
  } else if (c->index_mode == AVI_INDEX_IDX1) {
    Cursor k = cursor_begin(c);
    uint8_t b[16];
    if (avi_seek_to(k.h, c->idx1_pos) == 0 && __AVI_DMX__fioRead(b, 1, 8, k.h) == 8) {
      uint64_t entries = avi_rd32(b + 4) / 16u;
      for (uint64_t i = 0; i < entries; ++i) {
        if (__AVI_DMX__fioRead(b, 1, 16, k.h) != 16) break;
        if (c->idx1_base + (int64_t)avi_rd32(b + 8) - 4 >= pos) break;
        int got = counted_kind(c, avi_rd32(b));
        if (got == kind && (kind == AVI_KIND_VIDEO || avi_rd32(b + 12))) {
          ++n;
          total += avi_rd32(b + 12);
        }
      }
    }
    cursor_end(&k);
  } else if (c->index_mode == AVI_INDEX_ODML || c->index_mode == AVI_INDEX_ODML_AUDIO ||
             c->index_mode == (AVI_INDEX_ODML | AVI_INDEX_ODML_AUDIO)) {
    Cursor k = cursor_begin(c);
    int w = kind - 1;
    int done = 0;
    for (uint32_t i = 0; i < c->super_count[w] && !done; ++i) {
      StdIndex s;
      if (read_std_header(k.h, c->super[w][i].offset, &s) != 0) break;
      for (uint32_t j = 0; j < s.entries; ++j) {
        uint8_t e[8];
        if (avi_seek_to(k.h, s.first_entry + (int64_t)j * s.entry_size) != 0 || __AVI_DMX__fioRead(e, 1, 8, k.h) != 8) {
          done = 1;
          break;
        }
        if (s.base + avi_rd32(e) - 8 >= pos) {
          done = 1;
          break;
        }
        if (kind == AVI_KIND_VIDEO || (avi_rd32(e + 4) & 0x7FFFFFFFu)) ++n;
        total += avi_rd32(e + 4) & 0x7FFFFFFFu;
      }
    }
    cursor_end(&k);
  } else {
    return -1;
  }
  if (count) *count = n;
  if (bytes) *bytes = total;
  if (kind == AVI_KIND_VIDEO) {
    c->video_frame = n;
  } else {
    c->audio_chunk = n;
    c->audio_bytes = total;
  }
  return 0;
}
