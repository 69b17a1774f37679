/* Seeking by time: probe searches over the overall bit rate, the key-frame
 * aware video read, the last key frame, and the seek op with its end policies. */
#include <string.h>

#include "ogg_internal.h"

static int32_t stream_index(OggDmxContext* ctx, uint32_t serial) {
  for (int32_t i = 0; i < ctx->streamCount; ++i)
    if (ctx->streams[i].serial == serial && ctx->streams[i].queue) return i;
  return -1;
}

void flush_stream(OggDmxContext* ctx, uint32_t serial) {
  for (int32_t i = 0; i < ctx->streamCount; ++i)
    if (ctx->streams[i].serial == serial) {
      ogg_stream_pages_release(&ctx->streams[i]);
      ogg_streams_flush(&ctx->readers[i]);
    }
}

/* Time of a page with granule g in ms. */
static int32_t page_time(const OggStreamEntry* st, int64_t g) {
  if (st->kind == OGG_KIND_AUDIO)
    return st->audio.sampleRate ? ogg_ms((double)g * 1000.0 / (double)st->audio.sampleRate) : 0;
  if (st->codecId == OGG_CODEC_THEORA) {
    int32_t t = 0;
    ogg_theora_time(&st->video, g, &t);
    return t;
  }
  return ogg_ms((double)g * (double)(uint32_t)st->video.frameDuration / 10000.0);
}

/* Moves reader k to `position`, emptying the stream's queue and the cache. */
static void probe_at(OggDmxContext* ctx, int32_t k, int64_t position) {
  ogg_pageQ_flush(ctx->streams[k].queue);
  ogg_reader_seek_abs(&ctx->readers[k], position < 0 ? 0 : position);
}

/* The first page at the reader with a known granule: its time. */
static int32_t probe_page(OggDmxContext* ctx, int32_t k, int32_t* timeMs, uint32_t* dataSize) {
  OggPageRecord page;
  for (;;) {
    int32_t r = ogg_page_parsing(&page, &ctx->readers[k], 0);
    if (r != 0) return r;
    if (page.granule != -1) break;
  }
  *timeMs = page_time(&ctx->streams[k], page.granule);
  *dataSize = page.dataSize;
  return 0;
}

static int64_t abs64(int64_t v) { return v < 0 ? -v : v; }

/* Coarse search (video) when `refined` is 0, refined search (audio) otherwise.
 * A byte position, or a negative page-reader error. */
static int64_t probe_search(OggDmxContext* ctx, int32_t target, uint32_t serial, int refined) {
  int32_t k = stream_index(ctx, serial);
  if (k < 0) return OGG_ERR_NO_STREAM;
  const OggStreamEntry* st = &ctx->streams[k];
  int video = st->kind == OGG_KIND_VIDEO;
  int64_t tolerance = video ? (int64_t)((uint32_t)st->video.frameDuration / 10000u) : 30;
  int64_t position = (int64_t)((double)ctx->bitrate * (double)target / 8000.0);
  if (position < 0) position = 0;
  probe_at(ctx, k, position);
  if (target == 0) return 0;
  int64_t probePos[OGG_MAX_PROBES];
  int64_t probeDiff[OGG_MAX_PROBES];
  double factor = 1.0;
  int n = 0, stopNext = 0;
  int64_t prevAbs = INT64_MAX, curDiff = 0;
  uint32_t lastSize = 0;
  int64_t chosen = -1;
  int64_t retreat = OGG_MAX_PAGE_BYTES;
  int retreats = 0;
  for (;;) {
    int32_t t = 0;
    int32_t r = probe_page(ctx, k, &t, &lastSize);
    /* An audio probe past the stream's last page (the guess from the overall
     * bit rate, or a step, overshot it) probes again further back instead
     * of ending the search: by one longest page at first (half the way to
     * the file start at most), twice as far each time, so that a target in
     * the last page still finds that page. */
    if (r != 0 && refined && position > 0 && retreats < OGG_PROBE_RETREATS) {
      ++retreats;
      if (position > ctx->fileSize) position = ctx->fileSize;
      position -= retreat < position / 2 ? retreat : (position + 1) / 2;
      retreat = retreat > INT64_MAX / 2 ? INT64_MAX : retreat * 2;
      probe_at(ctx, k, position);
      continue;
    }
    if (r != 0) {
      if (n == 0) return r;
      break; /* the best probe so far */
    }
    int64_t d = (int64_t)target - t;
    probePos[n] = position;
    probeDiff[n] = d;
    n++;
    if (abs64(d) <= tolerance) {
      chosen = position;
      break;
    }
    if (n >= OGG_MAX_PROBES || stopNext) break;
    if (abs64(d) < prevAbs) {
      prevAbs = abs64(d);
      curDiff = d;
      if (n > 7) factor *= 0.85;
    } else {
      if (!refined) {
        curDiff = d;
      } else {
        if (factor < 0.5 || abs64(d) == prevAbs) stopNext = 1;
        if (n >= 2) {
          position = probePos[n - 2];
          curDiff = probeDiff[n - 2];
        }
      }
      factor *= 0.85;
    }
    int64_t step = (int64_t)((double)ctx->bitrate * (double)curDiff * factor / 8000.0);
    position = position + step < 0 ? 0 : position + step;
    probe_at(ctx, k, position);
  }
  if (chosen < 0) {
    int best = 0;
    for (int i = 0; i < n; ++i)
      if (probeDiff[i] != 0 && (abs64(probeDiff[i]) < abs64(probeDiff[best]) || probeDiff[best] == 0)) best = i;
    chosen = probePos[best];
    probe_at(ctx, k, chosen);
    int32_t t = 0;
    int32_t r = probe_page(ctx, k, &t, &lastSize);
    if (r != 0) return r;
  }
  if (video) chosen -= 27 + (int64_t)lastSize;
  return chosen < 0 ? 0 : chosen;
}

/* Puts stream `serial` at the byte position a search found for `target`. */
static int32_t reposition(OggDmxContext* ctx, int32_t target, uint32_t serial, int refined) {
  int64_t position = probe_search(ctx, target, serial, refined);
  int32_t k = stream_index(ctx, serial);
  /* The selected video's key-frame search steps back from where it starts:
   * when no probe found a timed page (the guess lay past the stream's last
   * one), it starts at the end of the file. */
  if (position < 0 && k >= 0 && k == ctx->videoIndex) position = ctx->fileSize;
  if (position < 0) return OGG_ERR_END;
  if (k < 0) return 0;
  OggStreamEntry* st = &ctx->streams[k];
  st->dropCounter = target ? 2 : 0;
  ogg_stream_pages_release(st);
  ogg_pageQ_flush(st->queue);
  if (k == ctx->videoIndex) {
    ctx->keyPassPosition = position;
    ctx->keyPassDrop = st->dropCounter;
    ctx->keyPassSet = 1;
  }
  return ogg_reader_seek_abs(&ctx->readers[k], position);
}

static int32_t reposition_audio(OggDmxContext* ctx, int32_t target) {
  int32_t r = 0;
  for (int32_t i = 0; i < ctx->streamCount; ++i) {
    const OggStreamEntry* st = &ctx->streams[i];
    if (st->kind != OGG_KIND_AUDIO || !st->queue) continue;
    if (!ctx->callerStreams && i != ctx->audioIndex) continue;
    int32_t t = target;
    if (t > (int32_t)st->audio.durationMs && st->audio.durationMs) t = (int32_t)st->audio.durationMs;
    int32_t one = reposition(ctx, t, st->serial, 1);
    if (i == ctx->audioIndex) r = one;
  }
  return r;
}

static uint32_t back_step(const OggDmxContext* ctx) {
  uint64_t step = 3ull * ctx->video.bitrate / 8u;
  /* An unknown bit rate still moves the search. */
  return step < OGG_MIN_BACK_STEP ? OGG_MIN_BACK_STEP : (step > INT32_MAX ? INT32_MAX : (uint32_t)step);
}

/* A key frame: a decoder can start at this packet. */
static int is_key(const OggStreamEntry* st, const OggPacketRecord* pkt) {
  /* Theora: an intra frame (data packet, frame-type bit clear) with a known
   * granule. */
  if (st->codecId == OGG_CODEC_THEORA)
    return pkt->granule != -1 && pkt->size >= 1 && (pkt->buffer[0] & 0xC0) == 0;
  /* OGM: a data packet (bit 0 clear) with the key-frame bit, whether or not
   * length bytes follow its header byte. */
  return pkt->size >= 1 && (pkt->buffer[0] & 0x09) == 0x08;
}

/* The time a video packet is reported with, when its granule gives one. */
static int packet_time(const OggStreamEntry* st, const OggPacketRecord* pkt, int32_t* timeMs) {
  if (st->codecId == OGG_CODEC_THEORA) return ogg_theora_time(&st->video, pkt->granule, timeMs);
  *timeMs = ogg_ogm_video_time(&st->video, pkt->granule);
  return 1;
}

/* Puts the video reader of stream k at `position` for a pass of the key-frame
 * search and remembers the pass, so that it can be read again. */
static int32_t start_pass(OggDmxContext* ctx, int32_t k, int64_t position, int32_t drop) {
  OggStreamEntry* st = &ctx->streams[k];
  flush_stream(ctx, st->serial);
  ogg_pageQ_flush(st->queue);
  if (ogg_reader_seek_abs(&ctx->readers[k], position) != 0) return OGG_ERR_NO_KEY;
  st->dropCounter = drop;
  ctx->keyPassPosition = position;
  ctx->keyPassDrop = drop;
  ctx->keyPassSet = 1;
  return 0;
}

/* Reads the remembered pass again up to the key frame of granule `granule`,
 * which it met before. */
static int32_t read_again_to(OggDmxContext* ctx, int32_t k, OggPacketRecord* packet, uint32_t capacity,
                             int64_t granule) {
  const OggStreamEntry* st = &ctx->streams[k];
  uint8_t* buffer = packet->buffer;
  int32_t r = start_pass(ctx, k, ctx->keyPassPosition, ctx->keyPassDrop);
  while (r == 0) {
    packet->buffer = buffer;
    packet->size = capacity;
    r = ogg_packet_checkout(packet, ctx, st->serial);
    if (r == 0 && packet->granule == granule && is_key(st, packet)) return 0;
  }
  return r == OGG_ERR_END ? OGG_ERR_NO_KEY : r;
}

/* The key-frame search of a pending seek, from the pass the reader of the
 * selected video (stream k) was put at. Forward: the first key frame at or
 * after the target; backward: the last one at or before it, or the file's
 * first one when there is none. The coarse search may put the reader past
 * what is looked for (and the packets ending on its first page are dropped),
 * so a pass that begins past the target steps back, and a backward pass reads
 * on to the first frame past the target before it goes back to the last key
 * frame it met. A step is 3 s at the video bit rate from `start`; more than
 * `stepLimit` of them give OGG_ERR_RANGE. 0 with the key frame in `packet`,
 * OGG_ERR_END when the data ends without it, or another checkout error. */
static int32_t key_search(OggDmxContext* ctx, int32_t k, OggPacketRecord* packet, uint32_t flags, int32_t target,
                          uint32_t capacity, int64_t start, int stepLimit) {
  const OggStreamEntry* st = &ctx->streams[k];
  uint8_t* buffer = packet->buffer;
  /* Without a remembered pass (the repositioning failed) there is nothing to
   * step back from or read again: the next key frame from wherever the
   * stream is. Forward to 0 takes it as well. */
  int backward = ctx->keyPassSet && (flags & OGG_SEEK_BACKWARD) != 0;
  if (!ctx->keyPassSet) target = 0;
  int canStep = ctx->keyPassSet && (backward || target > 0);
  for (int steps = 0;;) {
    int atStart = !canStep || ctx->keyPassPosition <= 0;
    int timedSeen = 0, haveKey = 0, pastStart = 0;
    int64_t keyGranule = 0;
    int32_t r;
    for (;;) {
      packet->buffer = buffer;
      packet->size = capacity;
      r = ogg_packet_checkout(packet, ctx, st->serial);
      if (r != 0) break;
      int32_t t = 0;
      int timed = packet_time(st, packet, &t);
      int key = timed && is_key(st, packet);
      if (!backward) {
        if (timed && !timedSeen++ && t > target && !atStart) {
          pastStart = 1;
          break;
        }
        if (key && t >= target) return 0;
        continue;
      }
      /* From the file start, the first key frame when none is at or before
       * the target. */
      if (key && t > target && atStart && !haveKey) return 0;
      if (key && t <= target) {
        haveKey = 1;
        keyGranule = packet->granule;
      }
      if (timed && t > target && (haveKey || !atStart)) break;
    }
    if (r != 0 && r != OGG_ERR_END) return r;
    if (haveKey) return read_again_to(ctx, k, packet, capacity, keyGranule);
    if (atStart) return OGG_ERR_END;
    /* Forward, a pass that ends without a timed frame may have begun in the
     * last page, past the key frame. */
    if (!backward && !pastStart && timedSeen) return OGG_ERR_END;
    if (++steps > stepLimit) return OGG_ERR_RANGE;
    int64_t position = start - (int64_t)steps * back_step(ctx);
    if (position < 0) position = 0;
    r = start_pass(ctx, k, position, position ? 2 : 0);
    if (r != 0) return r;
  }
}

static int32_t selected_video(OggDmxContext* ctx) {
  return ctx->videoIndex < 0 ? -1 : stream_index(ctx, (uint32_t)ctx->selectedVideoSerial);
}

int32_t _find_video_key(OggDmxContext* ctx, OggPacketRecord* packet, uint32_t flags, int32_t target,
                        uint32_t capacity) {
  if (!packet || !packet->buffer) return OGG_ERR_ARGUMENT;
  int32_t k = selected_video(ctx);
  if (k < 0) return OGG_ERR_ARGUMENT;
  OggStreamEntry* st = &ctx->streams[k];
  int32_t r;
  if (!ctx->seekPending) {
    uint8_t* buffer = packet->buffer;
    for (;;) {
      packet->buffer = buffer;
      packet->size = capacity;
      r = ogg_packet_checkout(packet, ctx, st->serial);
      if (r != 0) break;
      if (st->codecId == OGG_CODEC_THEORA) return 0;
      if (packet->size == 0 || (packet->buffer[0] & 1) == 0) return 0;
    }
  } else {
    /* A search is read from the start of its pass, also when an earlier
     * call stopped inside it (a packet too big for the caller's buffer). */
    if (ctx->keyPassSet) {
      r = start_pass(ctx, k, ctx->keyPassPosition, ctx->keyPassDrop);
      if (r != 0) return r;
    }
    int64_t start = ctx->keyPassSet ? ctx->keyPassPosition : ogg_reader_tell(&ctx->readers[k]);
    r = key_search(ctx, k, packet, flags, target, capacity, start, OGG_BACK_STEP_LIMIT);
    if (r == 0) {
      ctx->seekPending = 0;
      ctx->keyPassSet = 0;
      return 0;
    }
  }
  /* End of data, a packet too big and no memory keep their codes. */
  return r == OGG_ERR_END || r == OGG_ERR_TOO_BIG || r == OGG_ERR_ARGUMENT ? r : OGG_ERR_NO_KEY;
}

/* The last key frame of the selected video: a backward search for the end of
 * time from the end of the file. */
static int32_t _find_last_video_key(OggDmxContext* ctx, OggPacketRecord* packet, uint32_t capacity) {
  if (!packet || !packet->buffer) return OGG_ERR_ARGUMENT;
  int32_t k = selected_video(ctx);
  if (k < 0) return OGG_ERR_ARGUMENT;
  int32_t r = start_pass(ctx, k, ctx->fileSize, 2);
  if (r == 0)
    r = key_search(ctx, k, packet, OGG_SEEK_BACKWARD, INT32_MAX, capacity, ctx->fileSize, OGG_LAST_KEY_STEPS);
  ctx->keyPassSet = 0;
  /* Read from the file start without a key frame, or too far: there is none. */
  if (r == OGG_ERR_END || r == OGG_ERR_RANGE) return OGG_ERR_RANGE;
  if (r != 0) return OGG_ERR_NO_KEY;
  ctx->seekPending = 0;
  return 0;
}

static int32_t replace_saved(OggDmxContext* ctx, uint32_t bytes) {
  ogg_free(ctx->savedBuffer);
  ctx->savedBuffer = (uint8_t*)ogg_malloc(bytes);
  memset(&ctx->saved, 0, sizeof(ctx->saved));
  if (!ctx->savedBuffer) return OGG_ERR_ARGUMENT;
  ctx->saved.buffer = ctx->savedBuffer;
  ctx->saved.size = bytes;
  return 0;
}

static void drop_saved(OggDmxContext* ctx) {
  ogg_free(ctx->savedBuffer);
  ctx->savedBuffer = NULL;
  memset(&ctx->saved, 0, sizeof(ctx->saved));
}

/* The audio side of a seek: audio at `target`, its next packet saved. */
/* Codec header packets that a repositioned stream may meet at the file start. */
static int is_audio_header(const OggStreamEntry* st, const OggPacketRecord* pkt) {
  if (pkt->size == 0) return 0;
  uint8_t b = pkt->buffer[0];
  if (st->codecId == OGG_CODEC_VORBIS) return pkt->size >= 7 && (b & 1) && memcmp(pkt->buffer + 1, "vorbis", 6) == 0;
  if (st->codecId == OGG_CODEC_FLAC) return b != 0xFF;
  return b & 1;
}

/* Puts stream k just before the last page of its own that ends a packet:
 * the packets that end on that page come next. 0, or OGG_ERR_END when no
 * page of the stream ends a packet before it. The file's tail is read page
 * header by page header, in windows twice as long each time. */
static int32_t reposition_last_page(OggDmxContext* ctx, int32_t k) {
  OggStreamEntry* st = &ctx->streams[k];
  OggInputReader* reader = &ctx->readers[k];
  for (int64_t window = 2 * (int64_t)OGG_MAX_PAGE_BYTES;; window *= 2) {
    int64_t from = ctx->fileSize > window ? ctx->fileSize - window : 0;
    probe_at(ctx, k, from);
    int64_t last = -1, before = -1;
    OggPageRecord page;
    while (ogg_page_parsing(&page, reader, 0) == 0) {
      if (page.granule == -1) continue;
      before = last;
      last = ogg_reader_tell(reader) - 27 - (int64_t)page.segmentCount - (int64_t)page.dataSize;
    }
    if (before < 0 && from > 0) continue;
    if (before < 0) return OGG_ERR_END;
    st->dropCounter = 2;
    ogg_stream_pages_release(st);
    ogg_pageQ_flush(st->queue);
    return ogg_reader_seek_abs(reader, before) != 0 ? OGG_ERR_END : 0;
  }
}

/* The selected audio stream's next frame into the saved packet, past the
 * codec headers met at the file start. */
static int32_t next_audio_frame(OggDmxContext* ctx, const OggStreamEntry* st) {
  for (;;) {
    ctx->saved.buffer = ctx->savedBuffer;
    ctx->saved.size = OGG_SAVED_AUDIO_BYTES;
    int32_t r = ogg_packet_checkout(&ctx->saved, ctx, (uint32_t)ctx->selectedAudioSerial);
    if (r != 0 || !is_audio_header(st, &ctx->saved)) return r;
  }
}

static int32_t audio_led(OggDmxContext* ctx, int32_t target, OggSeekResult* res) {
  if (ctx->audio.sampleRate == 0) return 0;
  if (target > (int32_t)ctx->durationMs) return OGG_ERR_RANGE;
  int32_t r = replace_saved(ctx, OGG_SAVED_AUDIO_BYTES);
  if (r != 0) return r;
  const OggStreamEntry* st = &ctx->streams[ctx->audioIndex];
  int32_t back = OGG_AUDIO_BACK_MS;
  for (int32_t t = target;;) {
    /* A search that found no page has not moved the stream: reading on
     * would answer from wherever the stream was. It counts as the end. */
    r = reposition_audio(ctx, t) != 0 ? OGG_ERR_END : next_audio_frame(ctx, st);
    /* The search chose the stream's last page, whose packets a
     * repositioning drops: the target lies in that page, which the seek
     * then starts at. */
    if (r == OGG_ERR_END && t == target && t > 0) {
      r = reposition_last_page(ctx, ctx->audioIndex);
      if (r == 0) r = next_audio_frame(ctx, st);
    }
    /* No page before the last one ends a packet (or its granule is
     * damaged): the target starts a little earlier instead of failing. */
    if (r != OGG_ERR_END || t == 0) break;
    /* Each step goes twice as far back: a damaged last granule can put the
     * end days past the data, where steps of one second would take hours. */
    t = t > back ? t - back : 0;
    back = back > INT32_MAX / 2 ? INT32_MAX : back * 2;
  }
  if (r != 0) {
    drop_saved(ctx);
    return OGG_ERR_NO_KEY;
  }
  ctx->saved.buffer = ctx->savedBuffer;
  int32_t landedMs = ogg_ms((double)ctx->saved.granule * 1000.0 / (double)ctx->audio.sampleRate);
  if (res) {
    res->kind = OGG_KIND_AUDIO;
    res->timeMs = landedMs;
  }
  /* Theora video follows the audio: the next video read, with the seek
   * still pending, starts at the first intra frame from there. */
  if (ctx->videoIndex >= 0 && ctx->video.codecId == OGG_CODEC_THEORA) {
    reposition(ctx, target ? landedMs : 0, (uint32_t)ctx->selectedVideoSerial, 0);
    ctx->followTarget = target ? landedMs : 0;
    ctx->followFlags = OGG_SEEK_BACKWARD;
  }
  return 0;
}

static void video_back(OggDmxContext* ctx) {
  drop_saved(ctx);
  reposition(ctx, ctx->lastTimeMs, (uint32_t)ctx->selectedVideoSerial, 0);
}

static int32_t landed(OggDmxContext* ctx, int32_t target, OggSeekResult* res) {
  ctx->saved.buffer = ctx->savedBuffer;
  int32_t t = 0;
  const OggStreamEntry* st = &ctx->streams[ctx->videoIndex];
  if (st->codecId == OGG_CODEC_THEORA)
    ogg_theora_time(&st->video, ctx->saved.granule, &t);
  else
    t = ogg_ogm_video_time(&st->video, ctx->saved.granule);
  if (res) {
    res->kind = OGG_KIND_VIDEO;
    res->timeMs = t;
  }
  if (ctx->audio.sampleRate) reposition_audio(ctx, target ? t : 0);
  return 0;
}

int32_t ogg_seek(OggDmxContext* ctx, const OggSeekRequest* req, OggSeekResult* res) {
  if (!req) return OGG_ERR_ARGUMENT;
  int64_t wanted = (req->flags & OGG_SEEK_ABSOLUTE) ? req->timeMs : (int64_t)req->timeMs + ctx->lastTimeMs;
  int32_t target = wanted < 0 ? 0 : (wanted > INT32_MAX ? INT32_MAX : (int32_t)wanted);
  ctx->seekPending = 1;
  ctx->followTarget = 0;
  ctx->followFlags = 0;
  ctx->keyPassSet = 0;
  /* Audio leads when there is no video or the video is Theora (whose
   * stream then follows the audio); Theora alone is led by its video. */
  if (ctx->videoIndex < 0 || (ctx->video.codecId == OGG_CODEC_THEORA && ctx->audio.sampleRate))
    return audio_led(ctx, target, res);
  if (target > (int32_t)ctx->durationMs) return OGG_ERR_RANGE;
  uint32_t serial = (uint32_t)ctx->selectedVideoSerial;
  int32_t r = reposition(ctx, target, serial, 0);
  if (r == 0) {
    r = replace_saved(ctx, OGG_SCRATCH_BYTES);
    if (r != 0) return r;
    r = _find_video_key(ctx, &ctx->saved, req->flags, target, OGG_SCRATCH_BYTES);
  }
  if (r == 0) return landed(ctx, target, res);
  if (r != OGG_ERR_END || ctx->seekPolicy == OGG_END_FAIL) {
    video_back(ctx);
    return OGG_ERR_NO_KEY;
  }
  if (ctx->seekPolicy == OGG_END_LAST_KEY) {
    r = replace_saved(ctx, OGG_SCRATCH_BYTES);
    if (r != 0) return r;
    r = _find_last_video_key(ctx, &ctx->saved, OGG_SCRATCH_BYTES);
    if (r != 0) {
      drop_saved(ctx);
      return r;
    }
    return landed(ctx, ctx->durationMs ? 1 : 0, res);
  }
  drop_saved(ctx);
  reposition_audio(ctx, (int32_t)ctx->durationMs);
  return OGG_ERR_END;
}
