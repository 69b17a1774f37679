/* Fragmented files: track defaults, fragment walks and the sample tables
 * that their "trun" boxes grow. */
#include <stdio.h>

#include "mp4_internal.h"

#define FC(s) MP4_FOURCC((s)[0], (s)[1], (s)[2], (s)[3])
#define RD(call) do { if (call) return MP4_ERR_FIELD; } while (0)

/* No file may describe more fragment samples per track than this. */
#define MP4_FRAG_MAX_SAMPLES (MP4_FRAG_CHUNK * 256)

static Mp4Track* track_by_id(Mp4Context* c, uint32_t id) {
  for (int32_t i = 0; i < c->track_count; ++i)
    if (c->tracks[i]->track_id == id) return c->tracks[i];
  return 0;
}

int32_t mp4_box_mehd(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Reader* r = &c->readers[RD_MAIN];
  uint32_t vf, d32;
  uint64_t d = 0;
  RD(mp4_rd32(r, &vf));
  if ((vf >> 24) == 1) {
    RD(mp4_rd64(r, &d));
  } else {
    RD(mp4_rd32(r, &d32));
    d = d32;
  }
  c->frag_duration = d > (uint64_t)0x3FFFFFFFFFFFFFFFLL ? 0x3FFFFFFFFFFFFFFFLL : (int64_t)d;
  if (c->timescale > 0) {
    double ms = (double)c->frag_duration / c->timescale * 1000.0;
    c->duration_ms = ms < 2147483647.0 ? (int32_t)ms : 0x7FFFFFFF;
  }
  return 0;
}

int32_t mp4_box_trex(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Reader* r = &c->readers[RD_MAIN];
  uint32_t vf, id, v[4];
  RD(mp4_rd32(r, &vf));
  RD(mp4_rd32(r, &id));
  for (int i = 0; i < 4; ++i) RD(mp4_rd32(r, &v[i]));
  Mp4Track* t = track_by_id(c, id);
  if (!t) return 0;
  t->trex_desc = v[0];
  t->trex_duration = v[1];
  t->trex_size = v[2];
  t->trex_flags = v[3];
  return 0;
}

static int32_t box_tfhd(Mp4Context* c, int64_t end) {
  Mp4Reader* r = &c->readers[RD_MAIN];
  uint32_t flags, id, v;
  uint64_t base;
  RD(mp4_rd32(r, &flags));
  RD(mp4_rd32(r, &id));
  c->tfhd_id = id;
  Mp4Track* t = track_by_id(c, id);
  c->frag_track = t;
  if (!t) return 0;
  t->trun_count = 0;
  if (flags & 0x1) {
    RD(mp4_rd64(r, &base));
    t->base_offset = base > 0x3FFFFFFFFFFFFFFFull ? 0x3FFFFFFFFFFFFFFFLL : (int64_t)base;
  } else {
    t->base_offset = c->moof_start;
  }
  t->tf_desc = t->trex_desc;
  t->tf_duration = t->trex_duration;
  t->tf_size = t->trex_size;
  t->tf_flags = t->trex_flags;
  if (flags & 0x2) {
    RD(mp4_rd32(r, &v));
    t->tf_desc = v;
  }
  if (flags & 0x8) {
    RD(mp4_rd32(r, &v));
    t->tf_duration = v;
  }
  if (flags & 0x10) {
    RD(mp4_rd32(r, &v));
    t->tf_size = v;
  }
  if (flags & 0x20) {
    RD(mp4_rd32(r, &v));
    t->tf_flags = v;
  }
  return 0;
}

/* Adds one pointer to a table of chunk pointers. */
static int32_t grow_table(void*** table, int32_t count) {
  void** p = (void**)mp4_alloc((size_t)(count + 1) * sizeof(void*));
  if (!p) return MP4_ERR_GROW;
  if (count) mp4_copy(p, *table, (size_t)count * sizeof(void*));
  mp4_release(*table);
  *table = p;
  return 0;
}

static int32_t grow_samples(Mp4Track* t, int64_t wanted) {
  while ((int64_t)t->frag_chunks * MP4_FRAG_CHUNK < wanted) {
    if (grow_table((void***)&t->frag_entries, t->frag_chunks)) return MP4_ERR_GROW;
    t->frag_entries[t->frag_chunks] = 0;
    if (grow_table((void***)&t->frag_times, t->frag_chunks)) return MP4_ERR_GROW;
    t->frag_times[t->frag_chunks] = 0;
    Mp4IndexEntry64* e = (Mp4IndexEntry64*)mp4_alloc(MP4_FRAG_CHUNK * sizeof(Mp4IndexEntry64));
    int64_t* d = (int64_t*)mp4_alloc(MP4_FRAG_CHUNK * sizeof(int64_t));
    if (!e || !d) {
      mp4_release(e);
      mp4_release(d);
      return MP4_ERR_TABLE_MEMORY;
    }
    t->frag_entries[t->frag_chunks] = e;
    t->frag_times[t->frag_chunks] = d;
    t->frag_chunks++;
  }
  return 0;
}

static int32_t add_key(Mp4Track* t, int32_t index) {
  if (t->frag_keys == t->key_chunks * MP4_KEY_CHUNK) {
    if (grow_table((void***)&t->key_table, t->key_chunks)) return MP4_ERR_GROW;
    t->key_table[t->key_chunks] = (int32_t*)mp4_alloc(MP4_KEY_CHUNK * sizeof(int32_t));
    if (!t->key_table[t->key_chunks]) return MP4_ERR_TABLE_MEMORY;
    t->key_chunks++;
  }
  t->key_table[t->frag_keys / MP4_KEY_CHUNK][t->frag_keys % MP4_KEY_CHUNK] = index;
  t->frag_keys++;
  return 0;
}

/* Samples that the movie box itself describes come before every fragment:
 * the track's index becomes the start of its fragment tables, and the
 * fragments' decoding times run on from its end. */
int32_t mp4_frag_adopt_index(Mp4Context* c, Mp4Track* t) {
  int32_t n = t->entries;
  if (n <= 0 || (!t->index64 && !t->index32) || t->frag_samples) return 0;
  int32_t e = grow_samples(t, n);
  if (e) return e;
  int video = t->desc.kind == MP4_KIND_VIDEO;
  const uint32_t* sync = (const uint32_t*)t->stss.start;
  int32_t k = 0;
  for (int32_t i = 0; i < n; ++i) {
    Mp4IndexEntry64* entry = &t->frag_entries[i / MP4_FRAG_CHUNK][i % MP4_FRAG_CHUNK];
    mp4_track_entry(t, i, &entry->offset, &entry->size);
    entry->spare = 0;
    t->frag_times[i / MP4_FRAG_CHUNK][i % MP4_FRAG_CHUNK] = get_timestamp_for_sampleidx(t, i);
    /* Without a sync table every sample is a sync sample. */
    int key = !t->stss_seen;
    if (sync && k < t->stss_count && sync[k] == (uint32_t)i) key = 1, ++k;
    if (video && key) {
      e = add_key(t, i);
      if (e) return e;
    }
  }
  t->frag_samples = n;
  t->next_dts = get_timestamp_for_sampleidx(t, n);
  /* From here on the fragment tables alone describe the track. */
  mp4_release(t->index64);
  mp4_release(t->index32);
  mp4_release(t->dts);
  t->index64 = 0;
  t->index32 = 0;
  t->dts = 0;
  t->entries = 0;
  return 0;
}

static int32_t box_trun(Mp4Context* c, int64_t end) {
  Mp4Track* t = c->frag_track;
  if (!t) return 0;
  Mp4Reader* r = &c->readers[RD_MAIN];
  t->trun_count++;
  uint32_t flags, count, v, first_flags = 0;
  RD(mp4_rd32(r, &flags));
  flags &= 0xFFFFFF;
  if ((flags & 0x4) && (flags & 0x400)) return MP4_ERR_FORMAT;
  RD(mp4_rd32(r, &count));
  /* Each sample takes at least the bytes of its per-sample fields. */
  int per = ((flags & 0x100) ? 4 : 0) + ((flags & 0x200) ? 4 : 0) + ((flags & 0x400) ? 4 : 0) + ((flags & 0x800) ? 4 : 0);
  if (per) {
    int64_t room = (end - mp4_pos(r)) / per;
    if (room < 0) room = 0;
    if ((int64_t)count > room) count = (uint32_t)room;
  } else {
    /* Samples of the default size must fit in the file. */
    int64_t room = t->tf_size ? c->file_size / t->tf_size + 1 : MP4_FRAG_CHUNK;
    if ((int64_t)count > room) count = (uint32_t)room;
  }
  /* A track holds no more samples than the file has bytes (and a fixed cap). */
  int64_t most = c->file_size < MP4_FRAG_MAX_SAMPLES - MP4_FRAG_CHUNK ? c->file_size + MP4_FRAG_CHUNK : MP4_FRAG_MAX_SAMPLES;
  if ((int64_t)t->frag_samples + count > most) count = (uint32_t)(most - t->frag_samples);
  int32_t e = grow_samples(t, (int64_t)t->frag_samples + count);
  if (e) return e;
  int64_t offset;
  if (flags & 0x1) {
    /* Every "trun" of a "traf" counts its data offset from the same base;
     * the base itself does not move. */
    RD(mp4_rd32(r, &v));
    int64_t moved = t->base_offset + (int64_t)(int32_t)v;
    offset = moved < 0 ? 0 : moved;
  } else if (t->trun_count == 1) {
    offset = t->base_offset;
  } else {
    puts("[Error] fragmented-mp4 no support yet! dataoffset is not present");
    return MP4_ERR_TRUN_OFFSET;
  }
  if (flags & 0x4) RD(mp4_rd32(r, &first_flags));
  int video = t->desc.kind == MP4_KIND_VIDEO;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t duration = t->tf_duration, size = t->tf_size, sflags;
    if (flags & 0x100) RD(mp4_rd32(r, &duration));
    if (flags & 0x200) RD(mp4_rd32(r, &size));
    if (flags & 0x400) RD(mp4_rd32(r, &sflags));
    else sflags = (i == 0 && (flags & 0x4)) ? first_flags : t->tf_flags;
    if (flags & 0x800) RD(mp4_rd32(r, &v));
    int32_t n = t->frag_samples;
    Mp4IndexEntry64* entry = &t->frag_entries[n / MP4_FRAG_CHUNK][n % MP4_FRAG_CHUNK];
    entry->offset = offset;
    entry->size = size;
    entry->spare = 0;
    t->frag_times[n / MP4_FRAG_CHUNK][n % MP4_FRAG_CHUNK] = t->next_dts;
    offset = offset > MP4_NO_OFFSET - size ? MP4_NO_OFFSET : offset + size;
    t->total_bytes += size;
    t->next_dts += duration;
    t->frag_samples++;
    /* Flag 0x2000000: the sample depends on no other. */
    if (video && (sflags & 0x2000000)) {
      e = add_key(t, n);
      if (e) return e;
    }
  }
  return 0;
}

static int32_t frag_walk(Mp4Context* c, int64_t end) {
  Mp4Reader* r = &c->readers[RD_MAIN];
  int32_t result = 0;
  if (c->depth >= MP4_MAX_DEPTH) return 0;
  c->depth++;
  for (;;) {
    if (mp4_pos(r) >= end - 8) break;
    int64_t start, size;
    uint32_t type;
    if (mp4_read_box_header(r, &start, &size, &type) || size == 0) break;
    int64_t child_end = start + size;
    if (type == FC("mdat")) {
      c->mdat_seen = 1;
      break;
    }
    int32_t hr = 0;
    int64_t limit = child_end < c->file_size ? child_end : c->file_size;
    if (type == FC("moof") || type == FC("traf")) hr = frag_walk(c, limit);
    else if (type == FC("tfhd")) hr = box_tfhd(c, limit);
    else if (type == FC("trun")) hr = box_trun(c, limit);
    if (hr < MP4_ERR_FATAL) {
      c->depth--;
      return hr;
    }
    if (hr < 0 && hr != MP4_ERR_FIELD) {
      result = hr;
      break;
    }
    if (gMp4DmxLastErrorCode < 0) {
      result = gMp4DmxLastErrorCode;
      break;
    }
    if (child_end > c->file_size) break;
    if (mp4_dmx_bs_fseek(r, child_end)) {
      result = MP4_ERR_SEEK;
      break;
    }
  }
  c->depth--;
  if (r->eof) {
    if (c->moov_seen && c->mdat_seen) {
      r->eof = 0;
      gMp4DmxLastErrorCode = 0;
      return 0;
    }
    return MP4_ERR_EOF;
  }
  return result;
}

int32_t mp4_box_moof(Mp4Context* c, int64_t end, uint32_t type) {
  int64_t start = c->moof_start;
  if (c->last_moof_parsed && start <= c->last_moof_parsed) return 0;
  c->last_moof_parsed = start;
  c->frag_track = 0;
  return frag_walk(c, end);
}

int64_t get_timestamp_for_sampleidx_fmp4(Mp4Track* t, int32_t index) {
  if (!t->frag_times || index < 0) return 0;
  if (index >= t->frag_samples) return t->next_dts;
  return t->frag_times[index / MP4_FRAG_CHUNK][index % MP4_FRAG_CHUNK];
}

Mp4IndexEntry64* mp4_frag_entry(const Mp4Track* t, int32_t index) {
  return &t->frag_entries[index / MP4_FRAG_CHUNK][index % MP4_FRAG_CHUNK];
}

int32_t mp4_frag_key(const Mp4Track* t, int32_t k) { return t->key_table[k / MP4_KEY_CHUNK][k % MP4_KEY_CHUNK]; }

void mp4_frag_release(Mp4Track* t) {
  for (int32_t i = 0; i < t->frag_chunks; ++i) {
    mp4_release(t->frag_entries[i]);
    mp4_release(t->frag_times[i]);
  }
  mp4_release(t->frag_entries);
  mp4_release(t->frag_times);
  t->frag_entries = 0;
  t->frag_times = 0;
  t->frag_chunks = 0;
  for (int32_t i = 0; i < t->key_chunks; ++i) mp4_release(t->key_table[i]);
  mp4_release(t->key_table);
  t->key_table = 0;
  t->key_chunks = 0;
}
