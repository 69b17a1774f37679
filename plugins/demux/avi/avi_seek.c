/* Seeking: the dispatcher over the index mode and the ten strategies (scan,
 * "idx1" on disk and in memory, OpenDML on disk and in memory, host index),
 * and the scan tables that let later scans start near their target. */
#include "avi_internal.h"

#define ID_LIST AVI_FOURCC('L', 'I', 'S', 'T')
#define ID_RIFF AVI_FOURCC('R', 'I', 'F', 'F')
#define ID_IDX1 AVI_FOURCC('i', 'd', 'x', '1')

static int32_t seek_fail(AviContext* c, int32_t code, int32_t result) {
  c->last_error = code;
  return result;
}

static void set_reached(int32_t* reached, int64_t ms) {
  if (reached) *reached = (int32_t)ms;
}

static int shared_reader(const AviContext* c) { return !(c->flags & AVI_FLAG_SEPARATE); }

/* ---- scan tables ---- */

static void add_point(AviContext* c, AviScanTable* t, int32_t time_ms, int64_t pos) {
  if (t->count >= AVI_SCAN_POINTS) return;
  int32_t spacing = c->duration_ms > 500000u ? (int32_t)(c->duration_ms / 500u) : 1000;
  if (t->count && time_ms <= t->points[t->count - 1].time_ms + spacing) return;
  AviScanPoint* p = &t->points[t->count++];
  p->pos_lo = (uint32_t)pos;
  p->pos_hi = (uint32_t)((uint64_t)pos >> 32);
  p->time_ms = time_ms;
  p->video_frame = c->video_frame;
  p->audio_chunk = c->audio_chunk;
  p->chunks = c->chunks;
  p->audio_bytes = (uint32_t)c->audio_bytes;
}

KVR_EXPORT void aviMakeScanTableVideo(AviContext* c, int32_t time_ms, int64_t pos) {
  if (c) add_point(c, &c->scan[0], time_ms, pos);
}

KVR_EXPORT void aviMakeScanTableAudio(AviContext* c, int32_t time_ms, int64_t pos) {
  if (c) add_point(c, &c->scan[1], time_ms, pos);
}

/* The latest point before the target, or null. */
static const AviScanPoint* scan_start(const AviScanTable* t, int32_t target) {
  const AviScanPoint* best = NULL;
  for (uint32_t i = 0; i < t->count; ++i)
    if (t->points[i].time_ms < target) best = &t->points[i];
  return best;
}

static int64_t point_pos(const AviScanPoint* p) { return (int64_t)(((uint64_t)p->pos_hi << 32) | p->pos_lo); }

static void set_refill(AviContext* c, uint32_t n) {
  __AVI_DMX__fioSetCacheReadSize(c->fh[AVI_FH_MAIN], n);
  if (c->fh[AVI_FH_AUDIO] && c->fh[AVI_FH_AUDIO] != c->fh[AVI_FH_MAIN]) __AVI_DMX__fioSetCacheReadSize(c->fh[AVI_FH_AUDIO], n);
}

/* End time of an audio chunk; -1 when constant-rate audio has no rate. */
static int64_t audio_end_ms(const AviContext* c, uint64_t chunk, uint64_t bytes, uint32_t size) {
  if (c->audio_block_us) return (int64_t)((chunk + 1) * c->audio_scale * 1000u / c->audio_rate) + c->mp3_offset_ms;
  if (c->audio_avg == 0) return -1;
  return (int64_t)((bytes + size) * 1000u / c->audio_avg);
}

static int audio_stop(int64_t start, int64_t end, int32_t target, int back) {
  return (back && end > target) || start >= target;
}

/* Walks the movi data from the reader's position; video (audio == 0) or
 * audio chunks of the selected stream are tested against the target. */
static int32_t scan(AviContext* c, int audio, int32_t target, int32_t* reached, int32_t back) {
  AviFioHandle* h = audio ? avi_audio_reader(c) : c->fh[AVI_FH_MAIN];
  int shared = shared_reader(c);
  uint8_t b[12];
  uint32_t passed = 0;
  int32_t result = 0;
  set_refill(c, 16);
  for (;;) {
    if (avi_peek(h, b, 8) < 8) {
      result = audio ? seek_fail(c, AVI_ERR_SCAN_AUDIO, AVI_END) : seek_fail(c, AVI_ERR_SEEK_NOT_FOUND, AVI_END);
      break;
    }
    int64_t pos = avi_tell(h);
    uint32_t id = avi_rd32(b), size = avi_rd32(b + 4);
    if ((id == ID_LIST || id == ID_RIFF) && size != 0 && (int64_t)size < c->file_size && avi_peek(h, b, 12) == 12) {
      uint32_t form = avi_rd32(b + 8);
      __AVI_DMX__fioSkipBytes(12, h);
      if (!(form == AVI_FOURCC('m', 'o', 'v', 'i') || form == AVI_FOURCC('r', 'e', 'c', ' ') ||
            form == AVI_FOURCC('A', 'V', 'I', ' ') || form == AVI_FOURCC('A', 'V', 'I', 'X')))
        avi_skip(h, (int64_t)size - 4);
      continue;
    }
    int is_video = avi_is_video_id(c, id);
    int is_audio = c->audio.count && id == c->id_wb;
    if ((is_video || is_audio || avi_is_stream_chunk(id)) && size < AVI_CHUNK_LIMIT) {
      passed = 0;
      if (!audio && is_video) {
        int64_t t = avi_video_ms(c, c->video_frame);
        aviMakeScanTableVideo(c, (int32_t)t, pos);
        int64_t next = avi_video_ms(c, c->video_frame + 1);
        if ((!back && t >= target) || (back && next > target)) {
          set_reached(reached, t);
          break;
        }
        ++c->video_frame;
      } else if (is_audio && size == 0) {
        /* an empty audio chunk takes no time */
      } else if (is_audio && (audio || shared)) {
        int64_t start = avi_audio_ms(c, c->audio_chunk, c->audio_bytes);
        if (audio) {
          int64_t end = audio_end_ms(c, c->audio_chunk, c->audio_bytes, size);
          if (end < 0) {
            result = seek_fail(c, AVI_ERR_SCAN_AUDIO, AVI_FAIL);
            break;
          }
          aviMakeScanTableAudio(c, (int32_t)start, pos);
          if (audio_stop(start, end, target, back)) {
            set_reached(reached, start);
            break;
          }
        }
        ++c->audio_chunk;
        c->audio_bytes += size;
      } else if (is_video && shared) {
        ++c->video_frame;
      }
      ++c->chunks;
      if (avi_skip(h, 8 + (int64_t)((size + 1u) & ~1u)) != 0) continue;
      continue;
    }
    if (++passed > 4194304u) {
      result = seek_fail(c, AVI_ERR_NO_INDEX_ENTRY, AVI_FAIL);
      break;
    }
    __AVI_DMX__fioSkipBytes(1, h);
  }
  set_refill(c, 0);
  return result;
}

static int32_t scan_begin(AviContext* c, int audio, int32_t target) {
  const AviScanPoint* p = scan_start(&c->scan[audio], target);
  AviFioHandle* h = audio ? avi_audio_reader(c) : c->fh[AVI_FH_MAIN];
  if (p) {
    if (avi_seek_to(h, point_pos(p)) == 0) {
      if (!audio || shared_reader(c)) c->video_frame = p->video_frame;
      if (audio || shared_reader(c)) {
        c->audio_chunk = p->audio_chunk;
        c->audio_bytes = p->audio_bytes;
      }
      c->chunks = p->chunks;
      return 0;
    }
  }
  if (c->movi_start <= 0 || avi_seek_to(h, c->movi_start) != 0)
    return seek_fail(c, audio ? AVI_ERR_SCAN_AUDIO : AVI_ERR_SCAN_VIDEO, AVI_FAIL);
  if (!audio || shared_reader(c)) c->video_frame = 0;
  if (audio || shared_reader(c)) {
    c->audio_chunk = 0;
    c->audio_bytes = 0;
  }
  c->chunks = 0;
  return 0;
}

KVR_EXPORT int32_t aviFrameSeekbyVideoScan(AviContext* c, int32_t target, int32_t* reached, int32_t back) {
  if (scan_begin(c, 0, target) != 0) return AVI_FAIL;
  return scan(c, 0, target, reached, back);
}

KVR_EXPORT int32_t aviFrameSeekbyAudioScan(AviContext* c, int32_t target, int32_t* reached, int32_t back) {
  if (!c->audio_block_us && c->audio_avg == 0) return seek_fail(c, AVI_ERR_SCAN_AUDIO, AVI_FAIL);
  if (scan_begin(c, 1, target) != 0) return AVI_FAIL;
  return scan(c, 1, target, reached, back);
}

/* ---- idx1 ---- */

typedef struct Idx1Walk {
  AviContext* c;
  AviFioHandle* h;    /* on disk */
  const uint8_t* mem; /* or in memory */
  uint64_t count, next;
  int64_t keep;
} Idx1Walk;

static int idx1_open(AviContext* c, Idx1Walk* w, int memory) {
  avi_memset(w, 0, sizeof *w);
  w->c = c;
  w->keep = -1;
  if (memory) {
    if (c->idx1_mem == NULL) return seek_fail(c, AVI_ERR_NO_IDX1, -1);
    w->mem = c->idx1_mem;
    w->count = c->idx1_mem_size / 16u;
    return 0;
  }
  uint8_t b[8];
  w->h = c->fh[AVI_FH_VIDX];
  if (w->h == c->fh[AVI_FH_MAIN]) w->keep = avi_tell(w->h);
  if (avi_seek_to(w->h, c->idx1_pos) != 0 || __AVI_DMX__fioRead(b, 1, 8, w->h) != 8 || avi_rd32(b) != ID_IDX1) {
    if (w->keep >= 0) avi_seek_to(w->h, w->keep);
    return seek_fail(c, AVI_ERR_NO_IDX1, -1);
  }
  w->count = avi_rd32(b + 4) / 16u;
  return 0;
}

/* The next entry as 16 bytes; 0, or -1 at the end. */
static int idx1_next(Idx1Walk* w, uint8_t* e) {
  if (w->next >= w->count) return -1;
  if (w->mem) {
    avi_memcpy(e, w->mem + w->next * 16u, 16);
  } else if (__AVI_DMX__fioRead(e, 1, 16, w->h) != 16) {
    return -1;
  }
  ++w->next;
  return 0;
}

static void idx1_close(Idx1Walk* w) {
  if (w->keep >= 0) avi_seek_to(w->h, w->keep);
}

typedef struct Counters {
  uint32_t video_frame, audio_chunk, chunks;
  uint64_t audio_bytes;
} Counters;

static void apply(AviContext* c, const Counters* k, int with_audio) {
  c->video_frame = k->video_frame;
  c->chunks = k->chunks;
  if (with_audio) {
    c->audio_chunk = k->audio_chunk;
    c->audio_bytes = k->audio_bytes;
  }
}

static int32_t video_idx1(AviContext* c, int32_t target, int32_t* reached, int32_t back, int memory) {
  Idx1Walk w;
  if (idx1_open(c, &w, memory) != 0) return AVI_FAIL;
  int shared = shared_reader(c);
  Counters k = {0, 0, 0, 0}, chosen_k = {0, 0, 0, 0}, first_k = {0, 0, 0, 0};
  int64_t chosen = -1, first_key = -1;
  uint64_t chosen_entry = 0, first_entry = 0;
  int64_t chosen_ms = 0, first_ms = 0;
  uint8_t e[16];
  while (idx1_next(&w, e) == 0) {
    uint32_t id = avi_rd32(e), fl = avi_rd32(e + 4);
    int64_t header = c->idx1_base + avi_rd32(e + 8) - 4;
    if (avi_is_video_id(c, id)) {
      int64_t t = avi_video_ms(c, k.video_frame);
      int key = (fl & 0x10) != 0 || (target == 0 && k.video_frame == 0);
      if (key && first_key < 0) {
        first_key = header;
        first_k = k;
        first_entry = w.next - 1;
        first_ms = t;
      }
      if (!back) {
        if (key && t >= target) {
          chosen = header;
          chosen_k = k;
          chosen_entry = w.next - 1;
          chosen_ms = t;
          break;
        }
      } else {
        if (t > target) break;
        if (key) {
          chosen = header;
          chosen_k = k;
          chosen_entry = w.next - 1;
          chosen_ms = t;
        }
      }
      ++k.video_frame;
    } else if (c->audio.count && id == c->id_wb) {
      /* counted with separate readers too: the audio repair cursor needs it */
      if (avi_rd32(e + 12)) ++k.audio_chunk;
      k.audio_bytes += avi_rd32(e + 12);
    } else {
      ++k.chunks;
    }
  }
  idx1_close(&w);
  if (chosen < 0 && back && first_key >= 0) {
    chosen = first_key;
    chosen_k = first_k;
    chosen_entry = first_entry;
    chosen_ms = first_ms;
  }
  if (chosen < 0 || avi_seek_to(c->fh[AVI_FH_MAIN], chosen) != 0) return seek_fail(c, AVI_ERR_SEEK_NOT_FOUND, AVI_END);
  chosen_k.chunks += chosen_k.video_frame + (shared ? chosen_k.audio_chunk : 0);
  apply(c, &chosen_k, shared);
  if ((c->flags & (AVI_FLAG_SEPARATE | AVI_FLAG_KIND10)) == (AVI_FLAG_SEPARATE | AVI_FLAG_KIND10))
    avi_seek_to(c->fh[AVI_FH_K10], chosen);
  if (c->repair_on) {
    for (int r = 0; r < 2; ++r) {
      c->repair[r].started = 1;
      c->repair[r].pending = 0;
      c->repair[r].handle_pos = -1;
      c->repair[r].entry_pos = c->idx1_pos + 8 + (int64_t)chosen_entry * 16;
    }
    c->repair[AVI_REPAIR_VIDEO].entries = chosen_k.video_frame;
    c->repair[AVI_REPAIR_AUDIO].entries = chosen_k.audio_chunk;
    c->repair[AVI_REPAIR_AUDIO].bytes = chosen_k.audio_bytes;
  }
  set_reached(reached, chosen_ms);
  return AVI_OK;
}

KVR_EXPORT int32_t aviFrameSeekbyVideoOldMode(AviContext* c, int32_t target, int32_t* reached, int32_t back) {
  return video_idx1(c, target, reached, back, 0);
}

KVR_EXPORT int32_t aviFrameSeekbyMemory_OLD(AviContext* c, int32_t target, int32_t* reached, int32_t back) {
  return video_idx1(c, target, reached, back, 1);
}

KVR_EXPORT int32_t aviFrameSeekbyAudioOldMode(AviContext* c, int32_t target, int32_t* reached, int32_t back) {
  AviFioHandle* h = avi_audio_reader(c);
  if (c->audio_duration_ms && target > (int64_t)c->audio_duration_ms) {
    avi_to_end(h);
    return seek_fail(c, AVI_ERR_SEEK_AUDIO_BEYOND, AVI_END);
  }
  if (!c->audio_block_us && c->audio_avg == 0) return seek_fail(c, AVI_ERR_AUDIO_ZERO_RATE, AVI_FAIL);
  Idx1Walk w;
  if (idx1_open(c, &w, c->index_mode == AVI_INDEX_IDX1_MEMORY) != 0) return AVI_FAIL;
  uint32_t chunk = 0;
  uint64_t bytes = 0, entry = 0;
  int64_t chosen = -1, start = 0;
  uint8_t e[16];
  while (idx1_next(&w, e) == 0) {
    if (avi_rd32(e) != c->id_wb || avi_rd32(e + 12) == 0) continue;
    uint32_t len = avi_rd32(e + 12);
    start = avi_audio_ms(c, chunk, bytes);
    if (audio_stop(start, audio_end_ms(c, chunk, bytes, len), target, back)) {
      chosen = c->idx1_base + avi_rd32(e + 8) - 4;
      entry = w.next - 1;
      break;
    }
    ++chunk;
    bytes += len;
  }
  idx1_close(&w);
  if (chosen < 0 || avi_seek_to(h, chosen) != 0) {
    avi_to_end(h);
    return seek_fail(c, AVI_ERR_SEEK_AUDIO_BEYOND, AVI_END);
  }
  if ((c->flags & AVI_FLAG_KIND10) && c->video.count && c->fh[AVI_FH_K10] && c->fh[AVI_FH_K10] != h)
    avi_seek_to(c->fh[AVI_FH_K10], chosen);
  c->audio_chunk = chunk;
  c->audio_bytes = bytes;
  if (c->repair_on) {
    AviRepair* r = &c->repair[AVI_REPAIR_AUDIO];
    r->started = 1;
    r->pending = 0;
    r->handle_pos = -1;
    r->entry_pos = c->idx1_pos + 8 + (int64_t)entry * 16;
    r->entries = chunk;
    r->bytes = bytes;
  }
  set_reached(reached, start);
  return AVI_OK;
}

/* ---- OpenDML ---- */

/* Entry j of standard index i of a kind, from disk or memory. */
typedef struct OdmlIndex {
  uint32_t entries, esize, chunk_id;
  int64_t base;
  const uint8_t* mem;
  int64_t first_entry;
} OdmlIndex;

static int odml_index(AviContext* c, int which, uint32_t i, int memory, OdmlIndex* s) {
  uint8_t b[32];
  const uint8_t* p;
  uint32_t size;
  if (memory) {
    if (c->odml_mem[which] == NULL || c->odml_mem[which][i] == NULL) return -1;
    p = c->odml_mem[which][i];
    size = c->odml_mem_size[which][i];
    s->mem = p + 32;
  } else {
    AviFioHandle* h = c->fh[AVI_FH_VIDX];
    if (avi_seek_to(h, c->super[which][i].offset) != 0 || __AVI_DMX__fioRead(b, 1, 32, h) != 32) return -1;
    p = b;
    size = avi_rd32(b + 4) + 8;
    s->mem = NULL;
    s->first_entry = c->super[which][i].offset + 32;
  }
  if (size < 32) return -1;
  s->esize = p[10] == 1 ? 12 : 8;
  s->entries = avi_rd32(p + 12);
  if (s->entries > (size - 32) / s->esize) s->entries = (size - 32) / s->esize;
  s->chunk_id = avi_rd32(p + 16);
  s->base = (int64_t)avi_rd64(p + 20);
  return 0;
}

static int odml_get(AviContext* c, const OdmlIndex* s, uint32_t j, uint32_t* off, uint32_t* raw) {
  uint8_t e[8];
  if (s->mem) {
    avi_memcpy(e, s->mem + (size_t)j * s->esize, 8);
  } else {
    AviFioHandle* h = c->fh[AVI_FH_VIDX];
    if (avi_seek_to(h, s->first_entry + (int64_t)j * s->esize) != 0 || __AVI_DMX__fioRead(e, 1, 8, h) != 8) return -1;
  }
  *off = avi_rd32(e);
  *raw = avi_rd32(e + 4);
  return 0;
}

static int odml_id_ok(const AviContext* c, int which, uint32_t id) {
  if (which == 0) return id == c->id_dc || id == c->id_db || id == c->id_ix_video;
  return id == c->id_wb || id == c->id_ix_audio;
}

/* Audio counters before a position, from the in-memory audio index. */
static void audio_counters_from_memory(AviContext* c, int64_t pos) {
  uint32_t n = 0;
  uint64_t bytes = 0;
  for (uint32_t i = 0; i < c->super_count[1]; ++i) {
    OdmlIndex s;
    if (odml_index(c, 1, i, 1, &s) != 0) break;
    for (uint32_t j = 0; j < s.entries; ++j) {
      uint32_t off, raw;
      if (odml_get(c, &s, j, &off, &raw) != 0 || s.base + off - 8 >= pos) goto done;
      /* An empty chunk takes no time and is not counted, as in reading. */
      if (raw & 0x7FFFFFFFu) ++n;
      bytes += raw & 0x7FFFFFFFu;
    }
  }
done:
  c->audio_chunk = n;
  c->audio_bytes = bytes;
}

static int32_t video_odml(AviContext* c, int32_t target, int32_t* reached, int32_t back, int memory) {
  if (!memory && target > (int64_t)c->duration_ms) return AVI_END;
  if (c->super_count[0] == 0) return seek_fail(c, AVI_ERR_SEEK_NOT_FOUND, AVI_END);
  AviFioHandle* vidx = c->fh[AVI_FH_VIDX];
  int64_t keep = vidx == c->fh[AVI_FH_MAIN] ? avi_tell(vidx) : -1;
  /* A zero frame duration has no frame numbers: everything is frame 0. */
  uint64_t target_frame = c->video_scale ? (uint64_t)target * c->video_rate / (c->video_scale * 1000u) : 0;
  uint64_t first = 0;
  int64_t chosen = -1;
  uint64_t chosen_frame = 0;
  int32_t result = AVI_OK;
  int64_t prev_key = -1;
  uint64_t prev_key_frame = 0;
  for (uint32_t i = 0; i < c->super_count[0] && chosen < 0; ++i) {
    OdmlIndex s;
    if (odml_index(c, 0, i, memory, &s) != 0) break;
    if (!odml_id_ok(c, 0, s.chunk_id)) {
      result = seek_fail(c, memory ? AVI_ERR_MEM_INDEX_OTHER_STREAM : AVI_ERR_STD_OTHER_STREAM, AVI_FAIL);
      break;
    }
    if (!back && first + s.entries <= target_frame) {
      first += s.entries;
      continue;
    }
    for (uint32_t j = 0; j < s.entries; ++j) {
      uint32_t off, raw;
      if (odml_get(c, &s, j, &off, &raw) != 0) break;
      uint64_t frame = first + j;
      int64_t t = avi_video_ms(c, frame);
      int key = !(raw & 0x80000000u);
      if (!back) {
        if (key && t >= target) {
          chosen = s.base + off - 8;
          chosen_frame = frame;
          break;
        }
      } else {
        if (t > target) {
          chosen = prev_key;
          chosen_frame = prev_key_frame;
          if (chosen < 0) chosen = -2;
          break;
        }
        if (key) {
          prev_key = s.base + off - 8;
          prev_key_frame = frame;
        }
      }
    }
    first += s.entries;
  }
  if (back && chosen == -1 && prev_key >= 0) {
    chosen = prev_key;
    chosen_frame = prev_key_frame;
  }
  if (keep >= 0) avi_seek_to(vidx, keep);
  if (result != AVI_OK) return result;
  if (chosen < 0 || avi_seek_to(c->fh[AVI_FH_MAIN], chosen) != 0) return seek_fail(c, AVI_ERR_SEEK_NOT_FOUND, AVI_END);
  c->video_frame = (uint32_t)chosen_frame;
  c->chunks = (uint32_t)chosen_frame;
  if (shared_reader(c) && c->audio.count) {
    if (memory) {
      audio_counters_from_memory(c, chosen);
    } else {
      int64_t main_pos = avi_tell(c->fh[AVI_FH_MAIN]);
      uint32_t n = 0;
      uint64_t bytes = 0;
      if (c->super_count[1] && aviGetPosInfobyOffset(c, AVI_KIND_AUDIO, chosen, &n, &bytes) == 0) c->chunks += n;
      if (c->flags & AVI_FLAG_SINGLE) avi_seek_to(c->fh[AVI_FH_MAIN], main_pos);
    }
    c->video_frame = (uint32_t)chosen_frame;
  }
  set_reached(reached, avi_video_ms(c, chosen_frame));
  return AVI_OK;
}

KVR_EXPORT int32_t aviFrameSeekbyVideoOdmlMode(AviContext* c, int32_t target, int32_t* reached, int32_t back) {
  return video_odml(c, target, reached, back, 0);
}

KVR_EXPORT int32_t aviFrameSeekbyMemory_ODML(AviContext* c, int32_t target, int32_t* reached, int32_t back) {
  return video_odml(c, target, reached, back, 1);
}

KVR_EXPORT int32_t aviFrameSeekbyAudioOdmlMode(AviContext* c, int32_t target, int32_t* reached, int32_t back) {
  if (!c->audio_block_us && c->audio_avg == 0) return seek_fail(c, AVI_ERR_ODML_AUDIO_ZERO_RATE, AVI_FAIL);
  AviFioHandle* h = avi_audio_reader(c);
  AviFioHandle* vidx = c->fh[AVI_FH_VIDX];
  int64_t keep = vidx == h ? avi_tell(vidx) : -1;
  int memory = c->odml_mem[1] != NULL;
  uint32_t chunk = 0;
  uint64_t bytes = 0;
  int64_t chosen = -1, start = 0;
  for (uint32_t i = 0; i < c->super_count[1] && chosen < 0; ++i) {
    OdmlIndex s;
    if (odml_index(c, 1, i, memory, &s) != 0) break;
    for (uint32_t j = 0; j < s.entries; ++j) {
      uint32_t off, raw;
      if (odml_get(c, &s, j, &off, &raw) != 0) break;
      uint32_t len = raw & 0x7FFFFFFFu;
      if (len == 0) continue;
      start = avi_audio_ms(c, chunk, bytes);
      if (audio_stop(start, audio_end_ms(c, chunk, bytes, len), target, back)) {
        chosen = s.base + off - 8;
        break;
      }
      ++chunk;
      bytes += len;
    }
  }
  if (keep >= 0) avi_seek_to(vidx, keep);
  if (chosen < 0) return seek_fail(c, AVI_ERR_SEEK_NOT_FOUND, AVI_END);
  if (avi_seek_to(h, chosen) != 0) {
    avi_to_end(h);
    return seek_fail(c, AVI_ERR_SEEK_NOT_FOUND, AVI_END);
  }
  c->audio_chunk = chunk;
  c->audio_bytes = bytes;
  set_reached(reached, start);
  return AVI_OK;
}

/* ---- host index ---- */

static int32_t host_seek(AviContext* c, int audio, int32_t target, int32_t* reached, int32_t back) {
  AviHostIndex* x = &c->host_index;
  int shared = shared_reader(c);
  if (audio && !c->audio_block_us && c->audio_avg == 0) return seek_fail(c, AVI_ERR_AUDIO_ZERO_RATE, AVI_FAIL);
  Counters k = {0, 0, 0, 0};
  uint32_t n = 0;
  for (AviHostIndexNode* node = x->first; node && n < x->count; node = node->next, ++n) {
    uint32_t id = node->id;
    if (avi_is_video_id(c, id)) {
      int64_t t = avi_video_ms(c, k.video_frame);
      if (!audio && t >= target) {
        if (avi_seek_to(c->fh[AVI_FH_MAIN], node->pos) != 0) break;
        apply(c, &k, shared);
        set_reached(reached, t);
        return AVI_OK;
      }
      ++k.video_frame;
    } else if (id == AVI_FOURCC('0', '0', 'd', 'd')) {
      /* not counted */
    } else if (c->audio.count && id == c->id_wb) {
      int64_t start = avi_audio_ms(c, k.audio_chunk, k.audio_bytes);
      if (audio && audio_stop(start, audio_end_ms(c, k.audio_chunk, k.audio_bytes, node->size), target, back)) {
        AviFioHandle* h = avi_audio_reader(c);
        if (avi_seek_to(h, node->pos) != 0) {
          avi_to_end(h);
          break;
        }
        c->audio_chunk = k.audio_chunk;
        c->audio_bytes = k.audio_bytes;
        set_reached(reached, start);
        return AVI_OK;
      }
      if ((shared || audio) && node->size) {
        ++k.audio_chunk;
        k.audio_bytes += node->size;
      }
    } else {
      ++k.chunks;
    }
    if (node == x->last) break;
  }
  return seek_fail(c, AVI_ERR_SEEK_NOT_FOUND, AVI_END);
}

KVR_EXPORT int32_t aviFrameSeekbySysIndexVideo(AviContext* c, int32_t target, int32_t* reached, int32_t back) {
  return host_seek(c, 0, target, reached, back);
}

KVR_EXPORT int32_t aviFrameSeekbySysIndexAudio(AviContext* c, int32_t target, int32_t* reached, int32_t back) {
  return host_seek(c, 1, target, reached, back);
}

/* ---- dispatcher ---- */

static void seek_to_start(AviContext* c) {
  AviFioHandle* main = c->fh[AVI_FH_MAIN];
  avi_seek_to(main, c->movi_start);
  if (c->flags & AVI_FLAG_SEPARATE) {
    AviFioHandle* a = c->fh[AVI_FH_AUDIO];
    int64_t at = c->file_info.first_audio_pos > 0 ? c->file_info.first_audio_pos : c->movi_start;
    if (a && a != main) avi_seek_to(a, at);
    for (int k = AVI_FH_K4; k <= AVI_FH_K10; ++k)
      if (c->fh[k] && c->fh[k] != main) avi_seek_to(c->fh[k], c->movi_start);
  }
  /* With one reader the audio starts where the video does: moving on to
   * the first audio chunk would pass the video chunks before it. */
  c->video_frame = c->audio_chunk = c->chunks = 0;
  c->audio_bytes = 0;
  if (c->repair_on) avi_memset(c->repair, 0, sizeof c->repair);
}

int avi_seek(AviContext* c, const AviSeekRequest* req, AviSeekResult* res) {
  AviFioHandle* readers[3] = {c->fh[AVI_FH_MAIN], c->fh[AVI_FH_AUDIO], c->fh[AVI_FH_K10]};
  int64_t kept[3];
  for (int i = 0; i < 3; ++i) kept[i] = readers[i] ? avi_tell(readers[i]) : -1;
  Counters saved = {c->video_frame, c->audio_chunk, c->chunks, c->audio_bytes};
  AviRepair saved_repair[2];
  avi_memcpy(saved_repair, c->repair, sizeof saved_repair);
  int32_t target = req->target_ms;
  int relative = (req->flags & AVI_SEEK_RELATIVE) != 0;
  res->reached_ms = 0;
  res->flags = req->flags;
  if (c->host_duration_ms) c->index_mode = AVI_INDEX_HOST;
  int mode = c->index_mode;
  int64_t start_term = avi_video_start_ms(c);
  if (target == 0 || (target < 0 && (!relative || mode == AVI_INDEX_HOST))) {
    seek_to_start(c);
    res->flags = 0;
    res->reached_ms = (int32_t)start_term;
    return AVI_OK;
  }
  int32_t reached = 0;
  int32_t r = AVI_OK;
  int video_modes = mode == 0 || mode == 1 || mode == 2 || mode == 8 || mode == 16 || mode == 32;
  if (c->video.count == 0 || !video_modes) {
    if (c->audio.count == 0 || !(mode == 0 || mode == 1 || mode == 4)) {
      res->reached_ms = (int32_t)start_term;
      res->flags = 0;
      return AVI_OK;
    }
    int64_t cur = c->audio_avg ? (int64_t)(c->audio_bytes * 1000u / c->audio_avg) : 0;
    int back;
    int64_t t = target;
    if (relative) {
      back = target < 0;
      t = cur + target;
      if (t < 0) t = 0;
    } else {
      back = t < cur;
    }
    if (mode == 1) r = aviFrameSeekbyAudioOldMode(c, (int32_t)t, &reached, back);
    else if (mode == 4) r = aviFrameSeekbyAudioOdmlMode(c, (int32_t)t, &reached, back);
    else r = aviFrameSeekbyAudioScan(c, (int32_t)t, &reached, back);
  } else {
    int64_t cur = (c->video_frame ? avi_video_ms(c, c->video_frame - 1) : 0) + start_term;
    int64_t t = target;
    int back;
    if (relative) {
      back = target < 0;
      t = cur + target;
      if (t < 0) t = 0;
      t -= start_term;
      if (t < 0) t = 0;
    } else {
      back = t < cur;
      t -= start_term;
      if (t < 0) t = 0;
    }
    if (back && t < (int64_t)c->file_info.first_key_ms) {
      seek_to_start(c);
      res->flags = 0;
      res->reached_ms = (int32_t)start_term;
      return AVI_OK;
    }
    int separate_audio = (c->flags & AVI_FLAG_SEPARATE) && c->audio.count && !c->audio_zero_rate;
    switch (mode) {
      case AVI_INDEX_IDX1:
        r = aviFrameSeekbyVideoOldMode(c, (int32_t)t, &reached, back);
        if (r == AVI_OK && separate_audio) r = aviFrameSeekbyAudioOldMode(c, reached, NULL, 1);
        break;
      case AVI_INDEX_ODML:
        r = aviFrameSeekbyVideoOdmlMode(c, (int32_t)t, &reached, back);
        if (r == AVI_OK && separate_audio && c->super_count[1]) r = aviFrameSeekbyAudioOdmlMode(c, reached, NULL, 1);
        break;
      case AVI_INDEX_HOST:
        r = aviFrameSeekbySysIndexVideo(c, (int32_t)t, &reached, back);
        if (r == AVI_OK && separate_audio) r = aviFrameSeekbySysIndexAudio(c, reached, NULL, 0);
        break;
      case AVI_INDEX_IDX1_MEMORY:
        r = aviFrameSeekbyMemory_OLD(c, (int32_t)t, &reached, back);
        break;
      case AVI_INDEX_ODML_MEMORY:
        r = aviFrameSeekbyMemory_ODML(c, (int32_t)t, &reached, back);
        break;
      case AVI_INDEX_NONE:
        r = aviFrameSeekbyVideoScan(c, (int32_t)t, &reached, back);
        if (r == AVI_OK && separate_audio) r = aviFrameSeekbyAudioScan(c, reached, NULL, 1);
        break;
      default:
        return seek_fail(c, AVI_ERR_SEEK_MODE, AVI_FAIL);
    }
  }
  if (r != AVI_OK) {
    if (c->last_error == AVI_ERR_SEEK_AUDIO_BEYOND) {
      res->reached_ms = (int32_t)(reached + start_term);
      return r;
    }
    for (int i = 0; i < 3; ++i)
      if (readers[i] && kept[i] >= 0) avi_seek_to(readers[i], kept[i]);
    apply(c, &saved, 1);
    avi_memcpy(c->repair, saved_repair, sizeof saved_repair);
    c->repair[0].handle_pos = c->repair[1].handle_pos = -1;
    return r;
  }
  res->reached_ms = (int32_t)(reached + start_term);
  res->flags = 0;
  return AVI_OK;
}
