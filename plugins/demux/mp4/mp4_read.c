/* Packet reading in file order or by kind, seeking and track alignment. */
#include "mp4_internal.h"

#define FC(s) MP4_FOURCC((s)[0], (s)[1], (s)[2], (s)[3])

Mp4TimestampFn gfpGetTimestamp;
Mp4SeekTrackFn gfpSeekBaseTrack;

int32_t mp4_track_samples(const Mp4Context* c, const Mp4Track* t) {
  return c->fragmented ? t->frag_samples : t->entries;
}

static int32_t sample_ms(Mp4Track* t, int32_t index) { return mp4_time_ms(t, gfpGetTimestamp(t, index)); }

static int has_sync(const Mp4Context* c, const Mp4Track* t) {
  return c->fragmented ? t->frag_keys > 0 : t->stss_count > 0;
}
static int32_t sync_count(const Mp4Context* c, const Mp4Track* t) {
  return c->fragmented ? t->frag_keys : t->stss_count;
}
static int32_t sync_at(const Mp4Context* c, const Mp4Track* t, int32_t k) {
  return c->fragmented ? mp4_frag_key(t, k) : (int32_t)((const uint32_t*)t->stss.start)[k];
}

/* The sync cursor counts the sync samples before the current index. */
static void fix_cursor(const Mp4Context* c, Mp4Track* t) {
  int32_t lo = 0, hi = sync_count(c, t);
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (sync_at(c, t, mid) < t->cur) lo = mid + 1;
    else hi = mid;
  }
  t->sync_cursor = lo;
}

static Mp4Reader* kind_reader(Mp4Context* c, int sel) {
  Mp4Reader* r = &c->readers[RD_VIDEO + sel];
  return r->cache ? r : &c->readers[RD_MAIN];
}

/* Checks the buffer for a sample of `size` bytes before anything moves, so
 * that a caller whose buffer is too small learns the size and can retry. */
static int32_t prepare_buffer(Mp4Context* c, Mp4Track* t, uint32_t size) {
  t->length = (int32_t)size;
  c->needed = (int32_t)size;
  if (c->host_buffer) return size > (uint32_t)c->host_size ? MP4_ERR_MEMORY : 0;
  if ((int64_t)size > t->capacity) {
    if (size > (uint32_t)c->max_sample) return MP4_ERR_MEMORY;
    uint8_t* p = (uint8_t*)mp4_resize(t->buffer, size);
    if (!p) return MP4_ERR_GROW;
    mp4_fill(p, 0, size);
    t->buffer = p;
    t->capacity = (int32_t)size;
  }
  return 0;
}

static int32_t read_at(Mp4Context* c, Mp4Track* t, int64_t offset, uint32_t size) {
  Mp4Reader* r = c->reader;
  /* Readers that share one handle cannot trust the handle's position. */
  int moved = c->shared_readers && c->last_reader != r;
  c->last_reader = r;
  if ((moved || mp4_pos(r) != offset) && c->reposition(r, offset)) return MP4_ERR_SEEK;
  uint8_t* dst = c->host_buffer ? c->host_buffer : t->buffer;
  t->last_offset = offset;
  if (size == 0) return 0;
  return mp4_dmx_bs_read_bytes(r, dst, (int32_t)size);
}

/* A sample that does not lie inside the file is the end of the file; no
 * buffer is asked for it. */
static int beyond_file(const Mp4Context* c, int64_t offset, uint32_t size) {
  return offset < 0 || offset > c->file_size || (int64_t)size > c->file_size - offset;
}

static int32_t read_plain(Mp4Context* c, Mp4Track* t) {
  if (!t->index64 && !t->index32) return MP4_ERR_UNSUPPORTED;
  int64_t offset;
  uint32_t size;
  mp4_track_entry(t, t->cur, &offset, &size);
  if (beyond_file(c, offset, size)) {
    t->cur++;
    return gMp4DmxLastErrorCode = MP4_ERR_EOF;
  }
  int32_t e = prepare_buffer(c, t, size);
  if (e) return e;
  /* Without a sync-sample table every sample is a sync sample. */
  t->key = !t->stss_seen;
  if (t->stss_count > 0) {
    if (t->sync_cursor < t->stss_count && ((const uint32_t*)t->stss.start)[t->sync_cursor] == (uint32_t)t->cur) {
      t->key = 1;
      t->sync_cursor++;
    }
  }
  t->cur_ms = sample_ms(t, t->cur);
  t->next_ms = sample_ms(t, t->cur + 1);
  t->cur++;
  return read_at(c, t, offset, size);
}

int32_t mp4dmx_get_stream(Mp4Context* c, Mp4Track** out, int32_t kind) {
  Mp4Track* t = 0;
  *out = 0;
  if (c->options & OPT_ONE_HANDLE) {
    int64_t best = MP4_NO_OFFSET;
    for (int k = 0; k < 3; ++k) {
      Mp4Track* s = c->sel[k];
      if (!s || s->cur >= s->entries) continue;
      if (!s->index64 && !s->index32) return MP4_END;
      int64_t off;
      uint32_t size;
      mp4_track_entry(s, s->cur, &off, &size);
      if (off < best) best = off, t = s;
    }
    if (!t) return MP4_END;
    c->reader = &c->readers[RD_MAIN];
  } else {
    int sel;
    switch (kind) {
      case MP4_KIND_VIDEO: sel = SEL_VIDEO; break;
      case MP4_KIND_AUDIO: sel = SEL_AUDIO; break;
      case MP4_KIND_SUBTITLE: sel = SEL_SUBTITLE; break;
      default: return MP4_ERR_KIND;
    }
    t = c->sel[sel];
    if (!t || t->cur >= t->entries) return sel == SEL_VIDEO ? MP4_END_VIDEO : sel == SEL_AUDIO ? MP4_END_AUDIO : MP4_END_SUBTITLE;
    c->reader = kind_reader(c, sel);
  }
  int32_t e = read_plain(c, t);
  if (e) return e;
  *out = t;
  return 0;
}

static int is_selected(const Mp4Context* c, const Mp4Track* t) {
  return t == c->sel[0] || t == c->sel[1] || t == c->sel[2];
}

/* One-handle reading of a fragmented file has used up the parsed fragments:
 * parse the next top-level "moof" at the reader's position. */
static int32_t next_fragment(Mp4Context* c) {
  Mp4Reader* r = &c->readers[RD_MAIN];
  for (;;) {
    int64_t start, size;
    uint32_t type;
    int32_t e = mp4_read_box_header(r, &start, &size, &type);
    if (e) return r->eof ? MP4_END : e;
    if (size == 0) return MP4_ERR_ZERO_BOX;
    if (type == FC("mfra")) return MP4_END;  /* the random-access index closes the file */
    if (type == FC("moof")) {
      c->moof_start = start;
      c->moof_size = size;
      int64_t before = c->last_moof_parsed;
      e = mp4_box_moof(c, start + size < c->file_size ? start + size : c->file_size, type);
      if (e < 0 && e != MP4_ERR_FIELD) return e;
      gMp4DmxLastErrorCode = 0;
      if (mp4_dmx_bs_fseek(r, start + size)) return MP4_ERR_SEEK;
      if (c->last_moof_parsed != before) return 0;
      continue;
    }
    if (type != FC("mdat") && type != FC("free") && type != FC("skip")) return MP4_ERR_NOT_MOOF;
    if (start + size > c->file_size) return MP4_END;
    if (mp4_dmx_bs_fseek(r, start + size)) return MP4_ERR_SEEK;
  }
}

int32_t fmp4_get_stream(Mp4Context* c, Mp4Track** out, int32_t kind) {
  Mp4Track* t = 0;
  *out = 0;
  if (c->options & OPT_ONE_HANDLE) {
    for (;;) {
      int64_t best = MP4_NO_OFFSET;
      for (int32_t i = 0; i < c->track_count; ++i) {
        Mp4Track* s = c->tracks[i];
        if (s->cur >= s->frag_samples) continue;
        if (!is_selected(c, s)) {
          s->cur = s->frag_samples;
          continue;
        }
        int64_t off = mp4_frag_entry(s, s->cur)->offset;
        if (!t || off < best) best = off, t = s;
      }
      if (t) break;
      int32_t e = next_fragment(c);
      if (e) return e;
    }
    c->reader = &c->readers[RD_MAIN];
  } else {
    int sel;
    switch (kind) {
      case MP4_KIND_VIDEO: sel = SEL_VIDEO; break;
      case MP4_KIND_AUDIO: sel = SEL_AUDIO; break;
      case MP4_KIND_SUBTITLE: sel = SEL_SUBTITLE; break;
      default: return MP4_ERR_KIND;
    }
    t = c->sel[sel];
    if (!t || t->cur >= t->frag_samples) return sel == SEL_VIDEO ? MP4_END_VIDEO : sel == SEL_AUDIO ? MP4_END_AUDIO : MP4_END_SUBTITLE;
    c->reader = kind_reader(c, sel);
  }
  if (t->cur >= t->frag_samples) return MP4_ERR_NO_SAMPLE;
  Mp4IndexEntry64* entry = mp4_frag_entry(t, t->cur);
  if (beyond_file(c, entry->offset, entry->size)) {
    t->cur++;
    return gMp4DmxLastErrorCode = MP4_ERR_EOF;
  }
  int32_t e = prepare_buffer(c, t, entry->size);
  if (e) return e;
  t->key = 0;
  if (t->frag_keys > 0 && t->sync_cursor < t->frag_keys && mp4_frag_key(t, t->sync_cursor) == t->cur) {
    t->key = 1;
    t->sync_cursor++;
  }
  t->cur_ms = sample_ms(t, t->cur);
  if (t->cur + 1 < t->frag_samples) t->next_ms = sample_ms(t, t->cur + 1);
  e = read_at(c, t, entry->offset, entry->size);
  if (e) return e;
  t->cur++;
  *out = t;
  return 0;
}

/* ---- seeking ---- */

/* The decoding times that packets report as the target: those whose time
 * in whole milliseconds, truncated as packets carry it, is target_ms, from
 * *first to *last (empty, first > last, when one millisecond holds no tick
 * of the time scale). Comparing with these bounds instead of one rounded
 * decoding time makes a seek to a time a packet reported land on that
 * packet's sample, whatever fraction of a millisecond the time scale
 * leaves. A relative target (mode bit 0x10) counts from the decoding time
 * of the track's current index. Products of a 32-bit target and a 32-bit
 * time scale fit 64 bits. */
static void get_timestamp_for_desttime(Mp4Track* t, int32_t target_ms, int32_t mode, int64_t* first, int64_t* last) {
  int64_t scale = t->timescale;
  if (scale <= 0) {
    *first = *last = (int64_t)target_ms * scale / 1000;
  } else {
    /* ceil(target * scale / 1000) and floor(((target + 1) * scale - 1) / 1000) */
    int64_t lo = (int64_t)target_ms * scale, hi = ((int64_t)target_ms + 1) * scale - 1;
    *first = lo / 1000 + (lo % 1000 > 0);
    *last = hi / 1000 - (hi % 1000 < 0);
  }
  if (mode & MP4_SEEK_RELATIVE) {
    uint64_t base = (uint64_t)gfpGetTimestamp(t, t->cur);
    *first = (int64_t)((uint64_t)*first + base);
    *last = (int64_t)((uint64_t)*last + base);
  }
}

static int32_t end_code(const Mp4Track* t) {
  switch (t->kind) {
    case MP4_KIND_VIDEO: return MP4_END_VIDEO;
    case MP4_KIND_AUDIO: return MP4_END_AUDIO;
    case MP4_KIND_SUBTITLE: return MP4_END_SUBTITLE;
    default: return MP4_ERR_SEEK;
  }
}

static int32_t end_every_track(Mp4Context* c, Mp4Track* base) {
  for (int32_t i = 0; i < c->track_count; ++i) c->tracks[i]->cur = mp4_track_samples(c, c->tracks[i]);
  return end_code(base);
}

static void settle(Mp4Context* c, Mp4Track* t) {
  t->cur_ms = sample_ms(t, t->cur);
  t->next_ms = sample_ms(t, t->cur + 1);
}

/* Searches over `count` ascending times given by `at`. */
typedef int64_t (*TimeAt)(const Mp4Context* c, Mp4Track* t, int32_t i);
static int64_t sync_time(const Mp4Context* c, Mp4Track* t, int32_t i) { return gfpGetTimestamp(t, sync_at(c, t, i)); }
static int64_t sample_time(const Mp4Context* c, Mp4Track* t, int32_t i) { return gfpGetTimestamp(t, i); }

/* The last entry whose time is at or before x; entry 0 when none is. */
static int32_t last_at_or_before(const Mp4Context* c, Mp4Track* t, TimeAt at, int32_t count, int64_t x) {
  int32_t lo = 0, hi = count;
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (at(c, t, mid) > x) hi = mid;
    else lo = mid + 1;
  }
  return lo > 0 ? lo - 1 : 0;
}

/* The first entry whose time is at or after x; the last entry when none is. */
static int32_t first_at_or_after(const Mp4Context* c, Mp4Track* t, TimeAt at, int32_t count, int64_t x) {
  int32_t lo = 0, hi = count;
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (at(c, t, mid) < x) lo = mid + 1;
    else hi = mid;
  }
  return lo < count ? lo : count - 1;
}

/* A target at or after the current index's time seeks forwards: to the
 * first entry that reports a time at or after it. One before it seeks
 * backwards: to the last entry that reports a time at or before it. */
static int32_t pick(const Mp4Context* c, Mp4Track* t, TimeAt at, int32_t count, int64_t first, int64_t last,
                    int back) {
  return back ? last_at_or_before(c, t, at, count, last) : first_at_or_after(c, t, at, count, first);
}

static int32_t seek_track(Mp4Context* c, Mp4Track* t, int32_t target_ms, int32_t mode, int32_t key, int fragmented) {
  int64_t duration = t->duration;
  if (fragmented && t->next_dts > duration) duration = t->next_dts;
  if (duration == 0) return 0;
  int32_t n = mp4_track_samples(c, t);
  if (target_ms < 1) {
    t->cur = 0;
    t->sync_cursor = 0;
    t->key = 1;
    t->cur_ms = 0;
    t->next_ms = n > 1 ? sample_ms(t, 1) : 0;
    return 0;
  }
  if (n <= 0) return 0;
  int64_t first, last;
  get_timestamp_for_desttime(t, target_ms, mode, &first, &last);
  int back = last < gfpGetTimestamp(t, t->cur);
  int policy2 = !fragmented && c->eof_policy == MP4_EOF_LAST_SYNC;
  if (key && has_sync(c, t)) {
    int32_t count = sync_count(c, t);
    int32_t entry;
    /* A target reported after the last sync sample follows the policy. */
    if (first > sync_time(c, t, count - 1)) {
      if (fragmented) return MP4_ERR_SEEK;
      if (c->eof_policy == MP4_EOF_TO_END) return end_every_track(c, t);
      if (c->eof_policy != MP4_EOF_LAST_SYNC) return MP4_ERR_SEEK;
      entry = count - 1;
    } else {
      entry = pick(c, t, sync_time, count, first, last, back);
      /* Under the last-sync policy a target before the second sync sample
       * (or any in a two-entry table) takes the one at or before it, even
       * forwards. */
      if (policy2 && count >= 2) {
        int32_t before = last_at_or_before(c, t, sync_time, count, last);
        if (before == 0 || count == 2) entry = before;
      }
    }
    t->cur = sync_at(c, t, entry);
    t->sync_cursor = entry;
    t->key = 1;
  } else {
    /* The next-to-last sample bounds the target; a one-sample track has only
     * sample 0. */
    int32_t last_index = n >= 2 ? n - 2 : 0;
    if (first > gfpGetTimestamp(t, last_index)) {
      if (fragmented) return MP4_ERR_SEEK;
      if (c->eof_policy == MP4_EOF_TO_END) return end_every_track(c, t);
      if (c->eof_policy != MP4_EOF_LAST_SYNC) return t->kind == MP4_KIND_SUBTITLE ? MP4_END_SUBTITLE : MP4_ERR_SEEK;
      /* the next-to-last sample; of two samples the second */
      t->cur = n == 2 ? 1 : last_index;
    } else {
      t->cur = pick(c, t, sample_time, n, first, last, back);
      /* Under the last-sync policy a seekable file takes sample 1 for a
       * target before it, whichever the direction. */
      if (policy2 && c->seekable && n >= 2 && last_at_or_before(c, t, sample_time, n, last) == 0) t->cur = 1;
    }
    if (c->seekable && !fragmented) t->key = 1;
    fix_cursor(c, t);
  }
  settle(c, t);
  return 0;
}

int32_t seek_base_track(Mp4Context* c, Mp4Track* t, int32_t target_ms, int32_t mode, int32_t key) {
  return seek_track(c, t, target_ms, mode, key, 0);
}

int32_t seek_base_track_fmp4(Mp4Context* c, Mp4Track* t, int32_t target_ms, int32_t mode, int32_t key) {
  return seek_track(c, t, target_ms, mode, key, 1);
}

static int32_t seek_the_other_tracks(Mp4Context* c, Mp4Track* base, int32_t mode, int32_t key) {
  int32_t result = 0;
  for (int32_t i = 0; i < c->track_count; ++i) {
    Mp4Track* t = c->tracks[i];
    if (t == base) continue;
    /* The others follow the base track's new time, not the relative step. */
    int32_t r = gfpSeekBaseTrack(c, t, base->cur_ms, mode & ~MP4_SEEK_RELATIVE, key);
    result = r == MP4_END_SUBTITLE ? 0 : r;
  }
  return result;
}

int32_t mp4dmx_seek(Mp4Context* c, Mp4Track** out, int32_t target_ms, int32_t mode) {
  *out = 0;
  Mp4Track* base = c->sel[SEL_VIDEO];
  if (!base || mp4_track_samples(c, base) <= 1) base = c->sel[SEL_AUDIO];
  if (!base) return MP4_ERR_NO_BASE_TRACK;
  if (base->cur_ms < base->next_ms && target_ms == base->next_ms) return 0;
  int32_t cur = base->cur, cur_ms = base->cur_ms, next_ms = base->next_ms, cursor = base->sync_cursor, key = base->key;
  int32_t r = gfpSeekBaseTrack(c, base, target_ms, mode, (c->options & OPT_KEY_SEEK) ? 1 : 0);
  if (r < 0) return r;
  r = seek_the_other_tracks(c, base, mode, (c->options & OPT_KEY_SEEK) ? 1 : 0);
  if (r < 0) {
    base->cur = cur, base->cur_ms = cur_ms, base->next_ms = next_ms, base->sync_cursor = cursor, base->key = key;
    return r;
  }
  *out = base;
  return 0;
}

/* Aligns a newly selected track with the time the old one has reached. */
void sync_sampleidx_pts_ctx(Mp4Context* c, Mp4Track* old_track, Mp4Track* t) {
  int32_t n = mp4_track_samples(c, t);
  if (n <= 0) return;
  int32_t f = sample_ms(old_track, old_track->cur);
  int32_t a = old_track->cur;
  if (a > n - 1) a = n - 1;
  if (a < 0) a = 0;
  int32_t ta = sample_ms(t, a);
  if (ta > f) {
    while (a > 0) {
      int32_t tm = sample_ms(t, a);
      if (tm <= f) break;
      if (tm < 1 || t->timescale == 0) {
        a = 0;
        break;
      }
      --a;
    }
  } else if (ta < f) {
    while (a < n - 1) {
      ++a;
      int32_t tm = sample_ms(t, a);
      if (tm >= f) {
        int32_t before = sample_ms(t, a - 1);
        if (f - before < tm - f) --a;
        break;
      }
    }
  }
  t->cur = a;
  fix_cursor(c, t);
  settle(c, t);
}
