/* Sample-table boxes and the per-track sample index built from them. */
#include "mp4_internal.h"

#define FC(s) MP4_FOURCC((s)[0], (s)[1], (s)[2], (s)[3])

static Mp4Reader* main_reader(Mp4Context* c) { return &c->readers[RD_MAIN]; }

static int is_first_of_kind(const Mp4Context* c, const Mp4Track* t) {
  for (int32_t i = 0; i < c->track_count && c->tracks[i] != t; ++i)
    if (c->tracks[i]->desc.kind == t->desc.kind) return 0;
  return 1;
}

static int32_t table_header(Mp4Reader* r, uint32_t* count) {
  uint32_t vf;
  if (mp4_rd32(r, &vf) || mp4_rd32(r, count)) return MP4_ERR_FIELD;
  return 0;
}

/* Reads up to `count` entries of `words` 32-bit fields (or one 64-bit field
 * when `wide`), never more than the box holds, then the terminator. A read
 * failure ends the table with what was read. Returns the entries read. */
static int32_t read_table(Mp4Reader* r, Mp4Array* a, uint32_t count, int words, int wide, int64_t end,
                          const void* terminator) {
  int entry = wide ? 8 : 4 * words;
  int64_t room = (end - mp4_pos(r)) / entry;
  if (room < 0) room = 0;
  if ((int64_t)count > room) count = (uint32_t)room;
  mp4_dmx_array_clear(a);
  if (!mp4_dmx_array_alloc(a, (int32_t)((count + 1) * (int64_t)entry), 1)) return -1;
  uint32_t n = 0;
  for (; n < count; ++n) {
    if (wide) {
      uint64_t v;
      if (mp4_rd64(r, &v)) break;
      int64_t s = v > (uint64_t)MP4_NO_OFFSET ? MP4_NO_OFFSET : (int64_t)v;
      mp4_dmx_array_append(a, &s, 8, 1);
    } else {
      uint32_t v[3];
      int i = 0;
      for (; i < words; ++i)
        if (mp4_rd32(r, &v[i])) break;
      if (i < words) break;
      mp4_dmx_array_append(a, v, 4 * words, 1);
    }
  }
  if (n < count) gMp4DmxLastErrorCode = 0;
  mp4_dmx_array_append(a, terminator, entry, 1);
  return (int32_t)n;
}

int32_t mp4_box_stts(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_ERR_NO_TRACK;
  if (c->options & OPT_INFO_ONLY) return 0;
  uint32_t count;
  if (table_header(main_reader(c), &count)) return MP4_ERR_FIELD;
  static const uint32_t term[2] = {MP4_TABLE_END, 0};
  int32_t n = read_table(main_reader(c), &t->stts, count, 2, 0, end, term);
  t->stts_count = n < 0 ? 0 : n;
  return 0;
}

int32_t mp4_box_stss(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_ERR_NO_TRACK;
  if (c->options & OPT_INFO_ONLY) return 0;
  uint32_t count;
  if (table_header(main_reader(c), &count)) return MP4_ERR_FIELD;
  t->stss_seen = 1;
  if (count > 1) c->seekable = 1;
  if (t->desc.kind == MP4_KIND_VIDEO && is_first_of_kind(c, t)) c->info.video_key_samples = (int32_t)count;
  mp4_dmx_array_clear(&t->stss);
  t->stss_count = 0;
  if (count == 0) return 0;
  if (count < 2 && t->desc.kind == MP4_KIND_VIDEO && t->desc.codec == FC("S263")) return 0;
  static const uint32_t term = MP4_TABLE_END;
  int32_t n = read_table(main_reader(c), &t->stss, count, 1, 0, end, &term);
  if (n < 0) return 0;
  /* Sample numbers count from 1. */
  uint32_t* s = (uint32_t*)t->stss.start;
  for (int32_t i = 0; i < n; ++i) s[i] = s[i] ? s[i] - 1 : 0;
  t->stss_count = n;
  return 0;
}

int32_t mp4_box_stsc(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_ERR_NO_TRACK;
  uint32_t count;
  if (table_header(main_reader(c), &count)) return MP4_ERR_FIELD;
  t->stsc_count = (int32_t)(count & 0x7FFFFFFF);
  if (c->options & OPT_INFO_ONLY) return 0;
  static const uint32_t term[3] = {MP4_TABLE_END, 0, 0};
  int32_t n = read_table(main_reader(c), &t->stsc, count, 3, 0, end, term);
  if (n < 0) return 0;
  /* Keep {first chunk - 1, samples per chunk}; the description index goes. */
  uint32_t* s = (uint32_t*)t->stsc.start;
  for (int32_t i = 0; i <= n; ++i) {
    uint32_t first = s[3 * i], spc = s[3 * i + 1];
    /* Only the terminator holds the end mark. */
    if (first > MP4_TABLE_END) first = MP4_TABLE_END;
    s[2 * i] = i == n ? MP4_TABLE_END : (first ? first - 1 : 0);
    s[2 * i + 1] = i == n ? 0 : spc;
  }
  t->stsc.end = t->stsc.start + (size_t)(n + 1) * 8;
  t->stsc_count = n;
  return 0;
}

static int32_t read_stsz(Mp4Context* c, Mp4Track* t, int64_t end) {
  Mp4Reader* r = main_reader(c);
  uint32_t count, size;
  if (mp4_rd32(r, &size) || mp4_rd32(r, &size) || mp4_rd32(r, &count)) return MP4_ERR_FIELD;
  if (count > 0x0FFFFFFF || (int32_t)size < 0) return MP4_ERR_STSZ;
  t->const_size = (int32_t)size;
  t->stsz_count = (int32_t)count;
  if (t->desc.kind == MP4_KIND_VIDEO && is_first_of_kind(c, t)) {
    c->info.video_samples = (int32_t)count;
    c->info.frame_rate = 0;
    if (t->duration && t->timescale) {
      double seconds = (double)t->duration / (double)t->timescale;
      double rate = (double)count * 1000.0 / seconds;
      if (rate >= 0 && rate < 2147483647.0) c->info.frame_rate = (int32_t)rate;
    }
  } else if (t->desc.kind == MP4_KIND_AUDIO && is_first_of_kind(c, t)) {
    c->info.audio_samples = (int32_t)count;
  }
  if (c->options & OPT_INFO_ONLY) return 0;
  mp4_dmx_array_clear(&t->stsz);
  if (size) return 0;
  int64_t room = (end - mp4_pos(r)) / 4;
  if (room < 0) room = 0;
  if ((int64_t)count > room) count = (uint32_t)room;
  if (!mp4_dmx_array_alloc(&t->stsz, (int32_t)((count + 1) * 4), 1)) return 0;
  uint32_t* s = (uint32_t*)t->stsz.start;
  uint32_t n = 0, largest = 0;
  for (; n < count; ++n) {
    uint32_t v;
    if (mp4_rd32(r, &v)) {
      gMp4DmxLastErrorCode = 0;
      break;
    }
    s[n] = v;
    if (v > largest) largest = v;
    if (largest > 0xFFFFFFEBu) {
      ++n;
      break;
    }
  }
  s[n] = 0;
  t->stsz.end = t->stsz.start + (size_t)(n + 1) * 4;
  return 0;
}

static int32_t read_stco(Mp4Context* c, Mp4Track* t, int64_t end, int wide) {
  uint32_t count;
  if (table_header(main_reader(c), &count)) return MP4_ERR_FIELD;
  if (c->options & OPT_INFO_ONLY) return 0;
  if (wide) t->co64 = 1;
  int64_t term = MP4_NO_OFFSET;
  Mp4Reader* r = main_reader(c);
  int entry = wide ? 8 : 4;
  int64_t room = (end - mp4_pos(r)) / entry;
  if (room < 0) room = 0;
  if ((int64_t)count > room) count = (uint32_t)room;
  mp4_dmx_array_clear(&t->stco);
  if (!mp4_dmx_array_alloc(&t->stco, (int32_t)((count + 1) * 8), 1)) return 0;
  int64_t* s = (int64_t*)t->stco.start;
  uint32_t n = 0;
  for (; n < count; ++n) {
    int e;
    if (wide) {
      uint64_t v;
      e = mp4_rd64(r, &v);
      s[n] = v > (uint64_t)MP4_NO_OFFSET ? MP4_NO_OFFSET : (int64_t)v;
    } else {
      uint32_t v;
      e = mp4_rd32(r, &v);
      s[n] = v;
    }
    if (e) {
      gMp4DmxLastErrorCode = 0;
      break;
    }
  }
  s[n] = term;
  t->stco.end = t->stco.start + (size_t)(n + 1) * 8;
  t->stco_count = (int32_t)n;
  t->min_chunk_offset = MP4_NO_OFFSET;
  t->max_chunk_offset = 0;
  uint32_t from = n >= 3 ? 1 : 0, to = n >= 3 ? n - 1 : n;
  for (uint32_t i = from; i < to; ++i) {
    if (s[i] < t->min_chunk_offset) t->min_chunk_offset = s[i];
    if (s[i] > t->max_chunk_offset) t->max_chunk_offset = s[i];
  }
  return 0;
}

int32_t mp4_box_stsz(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_ERR_NO_TRACK;
  if (c->swapped_tables) return read_stco(c, t, end, 0);
  return read_stsz(c, t, end);
}

int32_t mp4_box_stco(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_ERR_NO_TRACK;
  if (c->swapped_tables && type == FC("stco")) return read_stsz(c, t, end);
  return read_stco(c, t, end, type == FC("co64"));
}

int32_t mp4_box_ctts(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_ERR_NO_TRACK;
  if (c->options & OPT_INFO_ONLY) return 0;
  Mp4Reader* r = main_reader(c);
  uint32_t count;
  if (table_header(r, &count)) return MP4_ERR_FIELD;
  int64_t room = (end - mp4_pos(r)) / 8;
  int32_t smallest = 0x7FFFFFFF;
  for (int64_t i = 0; i < count && i < room; ++i) {
    uint32_t n, off;
    if (mp4_rd32(r, &n) || mp4_rd32(r, &off)) {
      gMp4DmxLastErrorCode = 0;
      break;
    }
    if ((int32_t)off < smallest) smallest = (int32_t)off;
  }
  if (smallest > 0 && smallest < t->timescale) t->min_ctts = smallest;
  c->ctts_seen = 1;
  return 0;
}

/* ---- index ---- */

int32_t mp4_time_ms(const Mp4Track* t, int64_t dts) {
  if (t->timescale <= 0) return 0;
  uint64_t ms = (uint64_t)(dts / t->timescale) * 1000u + (uint64_t)(dts % t->timescale * 1000 / t->timescale);
  return (int32_t)ms;
}

int64_t get_timestamp_for_sampleidx(Mp4Track* t, int32_t index) {
  if (index < 0) index = 0;
  if (t->dts) return t->dts[index > t->entries ? t->entries : index];
  return (int64_t)index * t->const_delta;
}

void mp4_track_entry(const Mp4Track* t, int32_t index, int64_t* offset, uint32_t* size) {
  if (t->index64) {
    *offset = t->index64[index].offset;
    *size = t->index64[index].size;
  } else {
    *offset = t->index32[index].offset;
    *size = t->index32[index].size;
  }
}

typedef struct { const uint32_t* p; uint32_t left; int64_t dts; uint32_t delta; } SttsCursor;

static void stts_start(SttsCursor* s, const Mp4Track* t) {
  s->p = (const uint32_t*)t->stts.start;
  s->dts = 0;
  s->left = s->p ? s->p[0] : MP4_TABLE_END;
  s->delta = s->p ? s->p[1] : 0;
}

/* Moves the decoding time over n samples, run by run. */
static void stts_advance(SttsCursor* s, uint64_t n) {
  while (n) {
    if (s->left == 0 && s->p && s->p[0] != MP4_TABLE_END) {
      s->p += 2;
      s->left = s->p[0];
      s->delta = s->p[1];
      continue;
    }
    uint64_t step = s->left == MP4_TABLE_END || s->left > n ? n : s->left;
    s->dts = (int64_t)((uint64_t)s->dts + step * s->delta);
    if (s->left != MP4_TABLE_END) s->left -= (uint32_t)step;
    n -= step;
  }
}

static int64_t average_delta(const Mp4Track* t) {
  const uint32_t* p = (const uint32_t*)t->stts.start;
  if (!p || t->stts_count == 0) return 0;
  if (t->stts_count < 2) return p[1];
  uint64_t sum = 0, count = 0;
  for (int32_t i = 0; i < t->stts_count; ++i) {
    sum += (uint64_t)p[2 * i] * p[2 * i + 1];
    count += p[2 * i];
    if (count > 100) break;
  }
  return count ? (int64_t)(sum / count) : 0;
}

/* Samples per chunk of chunk `chunk`, following the runs. */
typedef struct { const uint32_t* p; } StscCursor;
static uint32_t stsc_for(StscCursor* s, uint32_t chunk) {
  while (s->p[0] != MP4_TABLE_END && s->p[2] != MP4_TABLE_END && s->p[2] <= chunk) s->p += 2;
  return s->p[0] <= chunk ? s->p[1] : 0;
}

static int entry_store(Mp4Track* t, int wide, int32_t i, int64_t offset, uint32_t size) {
  if (wide) {
    t->index64[i].offset = offset;
    t->index64[i].size = size;
    t->index64[i].spare = 0;
  } else {
    if (offset > 0xFFFFFFFFLL) return 0;
    t->index32[i].offset = (uint32_t)offset;
    t->index32[i].size = size;
  }
  return 1;
}

static int32_t alloc_index(Mp4Track* t, int wide, int64_t n, int times) {
  if (n <= 0) return 0;
  if (wide) t->index64 = (Mp4IndexEntry64*)mp4_alloc((size_t)n * sizeof(Mp4IndexEntry64));
  else t->index32 = (Mp4IndexEntry32*)mp4_alloc((size_t)n * sizeof(Mp4IndexEntry32));
  if (!t->index64 && !t->index32) return gMp4DmxLastErrorCode = MP4_ERR_TABLE_MEMORY;
  if (times) {
    t->dts = (int64_t*)mp4_alloc((size_t)(n + 1) * sizeof(int64_t));
    if (!t->dts) return gMp4DmxLastErrorCode = MP4_ERR_TABLE_MEMORY;
  }
  return 0;
}

static int32_t build_chunk_index(Mp4Context* c, Mp4Track* t, int wide) {
  int32_t chunks = t->stco_count;
  const int64_t* co = (const int64_t*)t->stco.start;
  const uint32_t* sizes = t->stsz.start ? (const uint32_t*)t->stsz.start : 0;
  int64_t n_sizes = sizes ? (t->stsz.end - t->stsz.start) / 4 - 1 : 0;
  int64_t samples = t->const_size ? t->stsz_count : (n_sizes < t->stsz_count ? n_sizes : t->stsz_count);
  int64_t spp = t->samples_per_packet;
  if (spp == -1) spp = t->const_size ? t->const_size : 1;
  if (spp <= 0) spp = 1;
  int64_t bpf = t->bytes_per_frame;
  if (t->pcm_v0) bpf = (int64_t)t->desc.bits * t->desc.channels / 8;
  if (t->audio_entry == MP4_FOURCC('i', 'm', 'a', '4')) bpf = 34 * (int64_t)t->desc.channels;
  int32_t e = alloc_index(t, wide, chunks, 1);
  if (e) return e;
  StscCursor sc = {(const uint32_t*)t->stsc.start};
  SttsCursor st;
  stts_start(&st, t);
  int64_t s = 0;
  int32_t i = 0;
  for (; i < chunks && s < samples; ++i) {
    if (!wide && co[i] >= c->file_size) break;
    uint64_t k = stsc_for(&sc, (uint32_t)i);
    if ((int64_t)k > samples - s) k = (uint64_t)(samples - s);
    uint64_t bytes = 0;
    if (t->const_size) bytes = k * (uint64_t)t->const_size;
    else
      for (uint64_t j = 0; j < k; ++j) bytes += sizes[s + (int64_t)j];
    uint64_t size = bpf > 0 ? (uint64_t)bpf * bytes / (uint64_t)spp : bytes;
    if (size > 0x7FFFFFFF || !entry_store(t, wide, i, co[i], (uint32_t)size)) break;
    t->dts[i] = st.dts;
    stts_advance(&st, k);
    t->total_bytes += (int64_t)size;
    s += (int64_t)k;
  }
  t->entries = i;
  if (t->dts) t->dts[i] = st.dts;
  return 0;
}

static int32_t build_sample_index(Mp4Context* c, Mp4Track* t, int wide) {
  int32_t chunks = t->stco_count;
  const int64_t* co = (const int64_t*)t->stco.start;
  const uint32_t* sizes = t->stsz.start ? (const uint32_t*)t->stsz.start : 0;
  int64_t n_sizes = sizes ? (t->stsz.end - t->stsz.start) / 4 - 1 : 0;
  int64_t n = t->const_size ? t->stsz_count : (n_sizes < t->stsz_count ? n_sizes : t->stsz_count);
  /* No more samples than the chunks hold, nor (for one constant size) than
   * the file could. */
  StscCursor sc = {(const uint32_t*)t->stsc.start};
  int64_t held = 0;
  for (const uint32_t* p = sc.p; p[0] != MP4_TABLE_END && held < n; p += 2) {
    int64_t last = p[2] == MP4_TABLE_END ? (int64_t)chunks : (p[2] < (uint32_t)chunks ? (int64_t)p[2] : (int64_t)chunks);
    if (last > (int64_t)p[0]) held += (last - (int64_t)p[0]) * (int64_t)p[1];
  }
  if (held < n) n = held;
  if (t->const_size && !(c->options & OPT_SIZE_UNKNOWN) && n > c->file_size / t->const_size + 1)
    n = c->file_size / t->const_size + 1;
  int times = t->stts_count >= 2 && n > 0;
  int32_t e = alloc_index(t, wide, n, times);
  if (e) return e;
  SttsCursor st;
  stts_start(&st, t);
  t->const_delta = t->stts_count > 0 ? (int32_t)((const uint32_t*)t->stts.start)[1] : 0;
  int64_t s = 0;
  int stop = 0;
  for (int32_t ch = 0; ch < chunks && s < n && !stop; ++ch) {
    uint32_t k = stsc_for(&sc, (uint32_t)ch);
    int64_t off = co[ch];
    for (uint32_t j = 0; j < k && s < n; ++j) {
      uint32_t size = t->const_size ? (uint32_t)t->const_size : sizes[s];
      if ((!wide && off >= c->file_size) || !entry_store(t, wide, (int32_t)s, off, size)) {
        stop = 1;
        break;
      }
      if (times) {
        t->dts[s] = st.dts;
        stts_advance(&st, 1);
      }
      t->total_bytes += size;
      ++s;
      if (off > MP4_NO_OFFSET - size) {
        stop = 1;
        break;
      }
      off += size;
    }
  }
  t->entries = (int32_t)s;
  if (times && t->dts) t->dts[s] = st.dts;
  if (!wide && s < n && (t->desc.kind == MP4_KIND_VIDEO || t->desc.kind == MP4_KIND_AUDIO)) {
    /* The file ends inside the track: it lasts as far as its samples reach. */
    int64_t reached = times ? st.dts : s * (int64_t)t->const_delta;
    if (reached < t->duration) {
      t->duration = reached;
      c->duration_ms = 0;
    }
  }
  return 0;
}

/* Keeps the sync entries that name samples of the index, rising. */
static void clip_sync(Mp4Track* t) {
  uint32_t* s = (uint32_t*)t->stss.start;
  if (!s) return;
  int32_t kept = 0;
  for (int32_t i = 0; i < t->stss_count; ++i) {
    if (s[i] >= (uint32_t)t->entries) break;
    if (kept && s[i] <= s[kept - 1]) continue;
    s[kept++] = s[i];
  }
  s[kept] = MP4_TABLE_END;
  t->stss_count = kept;
  if (!kept) mp4_dmx_array_clear(&t->stss);
}

static int32_t entry_ms(Mp4Track* t, int32_t i) { return mp4_time_ms(t, get_timestamp_for_sampleidx(t, i)); }

static void trim_to_file(Mp4Context* c, Mp4Track* t, int sync) {
  int32_t i = t->entries - 1;
  for (; i >= 0; --i) {
    int64_t off;
    uint32_t size;
    mp4_track_entry(t, i, &off, &size);
    if (off <= c->file_size) break;
  }
  if (i < 0) return;
  int32_t ms = entry_ms(t, i);
  if (ms > c->duration_ms) c->duration_ms = ms;
  t->entries = i + 1;
  if (!sync) return;
  const uint32_t* s = (const uint32_t*)t->stss.start;
  int32_t k = t->stss_count - 1;
  while (k >= 0 && s && s[k] > (uint32_t)i) --k;
  if (k < 0) return;
  t->stss_count = k + 1;
  c->info.video_key_samples = k + 1;
  c->info.last_key_ms = entry_ms(t, (int32_t)s[k]);
}

int32_t mp4_complete_track(Mp4Context* c, Mp4Track* t) {
  int info_only = (c->options & OPT_INFO_ONLY) != 0;
  /* A fragmented track may have no tables: its fragments describe it. */
  if (!info_only && (!c->fragmented || (t->stsc.start && t->stco.start))) {
    if (!t->stsc.start || !t->stco.start) {
      if (c->track_count && c->tracks[c->track_count - 1] == t) mp4_format_remove_stream(c);
      return 0;
    }
    int k = t->desc.kind;
    if (k == MP4_KIND_VIDEO || k == MP4_KIND_AUDIO || k == MP4_KIND_SUBTITLE) {
      int wide = t->co64 != 0;
      int64_t avg = average_delta(t);
      int32_t e = (k == MP4_KIND_AUDIO && avg * 100 < t->timescale) ? build_chunk_index(c, t, wide)
                                                                      : build_sample_index(c, t, wide);
      if (e) return e;
      clip_sync(t);
    }
  }
  if (t->desc.kind == MP4_KIND_VIDEO) {
    c->info.last_key_ms = -1;
    if (t->duration > 0) {
      int64_t rate = (int64_t)t->stsz_count * 1000000 / t->duration;
      t->desc.frame_rate = rate > 0x7FFFFFFF ? 0x7FFFFFFF : (int32_t)rate;
      t->desc.frame_rate_scale = 1000;
      t->desc.video_timescale = t->timescale;
      if (t->desc.frame_rate < 1000) t->desc.colour_format |= 0x4000;
      if (t->desc.width > 0 && t->desc.height > 0) {
        int64_t most = (int64_t)t->desc.width * t->desc.height * 3 / 2;
        c->max_sample = most > 0x7FFFFFFF ? 0x7FFFFFFF : (int32_t)most;
      }
      if (!info_only && (c->options & (OPT_TRIM_AUDIO | OPT_TRIM_VIDEO | OPT_SIZE_UNKNOWN)) ==
                            (OPT_TRIM_AUDIO | OPT_TRIM_VIDEO))
        trim_to_file(c, t, 1);
    }
  } else if (t->desc.kind == MP4_KIND_AUDIO) {
    if (!info_only && (c->options & (OPT_TRIM_AUDIO | OPT_SIZE_UNKNOWN)) == OPT_TRIM_AUDIO) trim_to_file(c, t, 0);
    t->desc.audio_timescale = t->timescale;
  }
  if (!info_only) {
    mp4_format_prepair_stream(c, t);
    c->parsing = 0;
  } else {
    t->kind = t->desc.kind;
  }
  return 0;
}
