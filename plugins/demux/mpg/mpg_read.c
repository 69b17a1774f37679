/* Frame production in direct and two-reader mode, time bases, and seeking
 * with its correction loop and recovery. */
#include "mpg_internal.h"

static int32_t min_base(const MpgContext* c) {
  return c->video_base_ms < c->audio_base_ms ? c->video_base_ms : c->audio_base_ms;
}

void ps_reset_parsing(MpgContext* c) {
  c->vring.rd = c->vring.wr = 0;
  c->sring.rd = c->sring.wr = 0;
  c->aring.rd = c->aring.wr = 0;
  c->frame_started = 0;
  c->frame_start = c->scan = 0;
  c->audio_ended = c->video_ended = 0;
  c->repeat = 0;
  c->last_video_pts = c->last_audio_pts = c->last_spu_pts = MPG_NO_TIME;
  c->video_scr = c->audio_scr = c->last_scr = c->first_scr_delivered = MPG_NO_TIME;
  c->need_key = 1;
}

/* Copies ring bytes [from, from + n) into the frame record. */
static int32_t ring_out(MpgContext* c, const PsRing* ring, uint32_t from, uint32_t n, MpgFrame* frame) {
  int32_t e = ps_frame_grow(c, frame, n);
  if (e < 0) return e;
  if (n) c->host.copy(frame->data, ring->data + from, n);
  frame->length = n;
  return MPG_OK;
}

/* The reader of the video ring has reached the end of the file. */
enum { VIDEO_RUNNING = 0, VIDEO_DRAINING = 1, VIDEO_ENDED = 2 };

static int32_t video_two_readers(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame, int key) {
  if (!c->n_video || c->video_ended == VIDEO_ENDED) return MPG_ERR_END;
  for (;;) {
    uint32_t s, e;
    if (c->spu_id && KVR_MPG_FindOneFrameCaption(c, &s, &e) == MPG_OK) {
      int32_t r = ring_out(c, &c->sring, s, e - s + 1, frame);
      if (r < 0) return r;
      c->sring.rd = e + 1;
      frame->kind = MPG_KIND_SUBPICTURE;
      frame->time_ms = MPG_MS(c->last_spu_pts);
      frame->scr_ms = MPG_MS(c->n_audio ? c->audio_scr : c->video_scr);
      frame->stream_id = c->spu_id;
      return MPG_OK;
    }
    int32_t r = (key || c->need_key) ? KVR_MPG_FindSyncFrameVideo(c, frame) : KVR_MPG_FindOneFrameVideo(c, frame);
    if (r == MPG_OK || (c->video_ended == VIDEO_DRAINING && c->frame_started)) {
      uint32_t n = r == MPG_OK ? frame->length : c->vring.wr - c->frame_start;
      r = ring_out(c, &c->vring, c->frame_start, n, frame);
      if (r < 0) return r;
      c->vring.rd = c->frame_start + n;
      c->scan = c->vring.rd;
      c->frame_started = 0;
      c->need_key = 0;
      frame->kind = MPG_KIND_VIDEO;
      frame->time_ms = c->frame_time;
      if (frame->time_ms == 0) frame->time_ms = MPG_MS(c->last_video_pts);
      frame->scr_ms = MPG_MS(c->video_scr);
      frame->stream_id = c->video_id;
      return MPG_OK;
    }
    if (r == MPG_ERR_NO_END_COMMAND) return r;
    if (c->video_ended == VIDEO_DRAINING) {
      c->video_ended = VIDEO_ENDED;
      PS_EOF();
      return MPG_ERR_END;
    }
    MpgFrameRequest video = *req;
    video.kind = MPG_KIND_VIDEO;
    r = MPG_DEC_MPG2PS(c, &video, frame);
    if (r == MPG_ERR_END) {
      c->video_ended = VIDEO_DRAINING;
      continue;
    }
    if (r == MPG_ERR_RING_FULL) {
      if (!c->frame_started) {
        /* no frame began in all that data: start over */
        c->vring.rd = c->vring.wr = c->scan = 0;
        continue;
      }
      c->video_ended = VIDEO_ENDED;
      return r;
    }
    if (r < 0) return r;
  }
}

static int32_t decode_inside(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame, int key) {
  if (c->stream_mode == MPG_MODE_DIRECT) {
    for (;;) {
      int32_t e = MPG_DEC_MPG2PS(c, req, frame);
      if (e < 0) return e;
      if (!key || KVR_MPG_isKeyFrame(c, frame)) return MPG_OK;
    }
  }
  if (c->stream_mode != MPG_MODE_TWO_READERS) return MPG_ERR_ARGUMENT;
  if (req->kind == MPG_KIND_AUDIO) {
    if (c->audio_ended) return MPG_ERR_END;
    int32_t e = MPG_DEC_MPG2PS(c, req, frame);
    if (e == MPG_ERR_END) c->audio_ended = 1;
    return e;
  }
  if (req->kind == MPG_KIND_VIDEO) return video_two_readers(c, req, frame, key);
  return MPG_ERR_ARGUMENT;
}

static int32_t clamp_time(int64_t t) {
  return t > INT32_MAX ? INT32_MAX : t < INT32_MIN ? INT32_MIN : (int32_t)t;
}

int32_t MPG_Core_Decode(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame, int key) {
  if (c->stream_mode > MPG_MODE_TWO_READERS) return MPG_ERR_ARGUMENT;
  int32_t e;
  for (int produced = 0;; ++produced) {
    e = decode_inside(c, req, frame, key);
    if (e < 0) return e;
    if (key) {
      if (!c->n_video || (frame->kind == MPG_KIND_VIDEO && frame->time_ms != MPG_TIME_NONE)) break;
      continue;
    }
    if (frame->time_ms == MPG_TIME_NONE && (frame->kind == MPG_KIND_VIDEO || frame->kind == MPG_KIND_AUDIO)) continue;
    break;
  }
  int64_t t = frame->time_ms;
  if (frame->kind == MPG_KIND_SUBPICTURE) {
    t -= c->video_base_ms;
  } else if (c->stream_mode == MPG_MODE_DIRECT) {
    t -= min_base(c);
  } else if (c->time_flags & MPG_TIME_B_PICTURES) {
    int64_t scr = frame->kind == MPG_KIND_VIDEO ? c->video_scr : c->audio_scr;
    int64_t first = c->file_first_scr_ms == MPG_NO_TIME ? 0 : c->file_first_scr_ms;
    t = (int64_t)MPG_MS(scr) - first;
  } else if (c->time_flags & (MPG_TIME_LATE_START | MPG_TIME_ENDS_BEFORE_START)) {
    t -= min_base(c);
  }
  if (c->stream_mode == MPG_MODE_TWO_READERS && frame->kind == MPG_KIND_VIDEO && !key &&
      !(c->time_flags & MPG_TIME_B_PICTURES)) {
    int64_t step = (int64_t)c->last_video_time + c->frame_duration;
    if (t == c->last_video_time) {
      if (c->repeat++ == 2) t = step;
    } else {
      c->repeat = 0;
      if (t < c->last_video_time) t = step;
    }
  }
  frame->time_ms = clamp_time(t);
  if (frame->kind == MPG_KIND_VIDEO) c->last_video_time = frame->time_ms;
  return MPG_OK;
}

/* ---- seeking ---- */

static int32_t place(MpgByteReader* r, uint64_t pos) {
  int32_t e = bs_fseek(r, pos);
  if (e == MPG_ERR_END) PS_EOF();
  if (e < 0 && e != MPG_ERR_END) return MPG_ERR_SEEK;
  return e;
}

static int32_t MPG_SEEK_MPG2PS(MpgContext* c, const MpgFrameRequest* req) {
  uint32_t mode = req->seek_flags & MPG_SEEK_MODE_MASK;
  uint64_t pos;
  int video = 1, audio = 1;
  if (mode == MPG_SEEK_START) {
    uint32_t which = req->seek_flags & MPG_SEEK_READERS_MASK;
    if (which == MPG_SEEK_VIDEO_READER) audio = 0;
    else if (which == MPG_SEEK_AUDIO_READER) video = 0;
    else if (which) return MPG_ERR_ARGUMENT;
    pos = c->data_start;
  } else if (mode == MPG_SEEK_FORWARD || mode == MPG_SEEK_BACKWARD) {
    /* in floating point: target times a large file size overflows 64 bits */
    double target = req->target_ms > 0 ? (double)req->target_ms : 0;
    double at = c->duration_ms > 0 ? target * (double)c->file_size / c->duration_ms : 0;
    pos = at < (double)c->file_size ? (uint64_t)at : c->file_size;
  } else {
    return MPG_ERR_ARGUMENT;
  }
  if (c->stream_mode != MPG_MODE_TWO_READERS) return place(&c->probe, pos);
  int32_t e = MPG_OK;
  if (audio && c->audio_reader.cache) e = place(&c->audio_reader, pos);
  if (e == MPG_OK && video) e = place(&c->video_reader, pos);
  return e;
}

/* Places the readers by the distance from the current video time back to the
 * target; no operation uses it. */
int32_t MPG_SEEK_MPG2PS_BW(MpgContext* c, const MpgFrameRequest* req) {
  int64_t now = 0;
  if (c->last_video_pts != MPG_NO_TIME) now = (int64_t)MPG_MS(c->last_video_pts) - c->video_base_ms;
  if (now < 0) now = 0;
  c->seek_dir = req->target_ms < now ? 2 : 1;
  int64_t distance = now - req->target_ms;
  MpgFrameRequest at = *req;
  at.seek_flags = (req->seek_flags & MPG_SEEK_READERS_MASK) | MPG_SEEK_BACKWARD;
  at.target_ms = distance > 0 ? clamp_time(distance) : 0;
  if (at.target_ms == 0) at.seek_flags &= ~(uint32_t)MPG_SEEK_MODE_MASK;
  return MPG_SEEK_MPG2PS(c, &at);
}

int32_t MPG_Core_Seek(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame) {
  int32_t e = MPG_SEEK_MPG2PS(c, req);
  if (e < 0) return e;
  ps_reset_parsing(c);
  return MPG_OK;
}

static int32_t hold(MpgContext* c, const MpgFrame* frame) {
  if (frame->length > c->held.capacity || !c->held.data) {
    if (c->held.data) c->host.release(c->held.data);
    c->held.data = c->host.allocate(frame->length ? frame->length : 1);
    c->held.capacity = c->held.data ? frame->length : 0;
    if (!c->held.data) {
      c->held.pending = 0;
      return MPG_ERR_NO_MEMORY;
    }
  }
  if (frame->length) c->host.copy(c->held.data, frame->data, frame->length);
  c->held.frame = *frame;
  c->held.pending = 1;
  return MPG_OK;
}

/* Holds the frame; in two-reader mode the audio reader then starts where the
 * video reader stands. */
static int32_t hold_and_follow(MpgContext* c, const MpgFrame* frame) {
  int32_t e = hold(c, frame);
  if (e < 0) return e;
  if (c->stream_mode == MPG_MODE_TWO_READERS && c->n_video && c->n_audio && c->audio_reader.cache) {
    if (bs_fseek(&c->audio_reader, bs_file_pos(&c->video_reader)) < 0) {
      PS_EOF();
      return MPG_ERR_END;
    }
  }
  return MPG_OK;
}

/* Puts back the context saved before a seek, keeping the buffers as they are
 * now (a failed seek may have replaced them) and dropping the readers' blocks,
 * whose bytes the cache no longer holds. */
static void restore(MpgContext* c, const MpgContext* saved) {
  uint8_t* frame_buf = c->frame_buf;
  uint32_t frame_capacity = c->frame_capacity;
  PsHeld held = c->held;
  MpgByteReader probe = c->probe, video = c->video_reader, audio = c->audio_reader;
  c->host.copy(c, saved, sizeof *c);
  c->frame_buf = frame_buf;
  c->frame_capacity = frame_capacity;
  c->held = held;
  c->probe = probe;
  c->video_reader = video;
  c->audio_reader = audio;
}

static int32_t replace_readers(MpgContext* c, uint64_t pos) {
  if (c->stream_mode != MPG_MODE_TWO_READERS) return bs_fseek_reset(&c->probe, pos);
  int32_t e = MPG_OK;
  if (c->audio_reader.cache) e = bs_fseek_reset(&c->audio_reader, pos);
  if (e >= 0) e = bs_fseek_reset(&c->video_reader, pos);
  return e;
}

static int32_t recover(MpgContext* c, const MpgContext* saved, uint64_t noted, MpgFrameRequest* req,
                       MpgFrame* frame, int32_t failure) {
  int two = c->stream_mode == MPG_MODE_TWO_READERS;
  if (c->recovery & MPG_RECOVER_END) {
    if (two) {
      c->audio_ended = 1;
      c->video_ended = VIDEO_ENDED;
    } else {
      restore(c, saved);
      bs_fseek_reset(&c->probe, c->file_size);
    }
    return failure;
  }
  if ((c->recovery & MPG_RECOVER_LAST_VIDEO) && c->last_video_offset) {
    if (!two) restore(c, saved);
    replace_readers(c, c->last_video_offset);
    ps_reset_parsing(c);
    int32_t e = MPG_Core_Decode(c, req, frame, 1);
    if (e < 0) return e;
    return hold_and_follow(c, frame);
  }
  restore(c, saved);
  replace_readers(c, noted);
  if (two) ps_reset_parsing(c);
  return failure;
}

#define PS_MAX_SEEK_STEPS 100000

/* Places the readers at the estimate and decodes the first key frame after
 * it. MPG_ERR_END with `placed` clear: the estimate lies past the end. */
static int32_t try_estimate(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame) {
  c->placed = 0;
  int32_t e = MPG_Core_Seek(c, req, frame);
  if (e < 0) return e;
  c->placed = 1;
  return MPG_Core_Decode(c, req, frame, 1);
}

/* A step of `ms` in the estimate, made long enough to move it by a pack at
 * least: where the time stamps run far ahead of the bytes (a damaged clock
 * claiming days in a few kilobytes) steps of seconds move it by a few bytes,
 * and a seek would take a step for every second of those days. */
static int32_t estimate_step(const MpgContext* c, int32_t ms) {
  if (c->file_size == 0) return ms;
  double least = 2048.0 * (double)c->duration_ms / (double)c->file_size;
  return least > ms ? clamp_time((int64_t)least + 1) : ms;
}

/* Reads on from the key frame in `frame`, found from the estimate in the
 * request, to the last key frame at or before `goal`: counts the key frames
 * after it up to the first one of the latest time at or before the goal (in
 * two-reader mode a sequence header and its picture are two key frames of one
 * time: the header comes first), then decodes them again from the same
 * estimate, so that the reader stands right after the one delivered. The end
 * of the file ends the count. */
static int32_t last_key_before(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame, int64_t goal) {
  int32_t time = frame->time_ms;
  uint32_t read = 0, wanted = 0;
  for (;;) {
    int32_t e = MPG_Core_Decode(c, req, frame, 1);
    if (e == MPG_ERR_END) break;
    if (e < 0) return e;
    if (frame->time_ms > goal) break;
    ++read;
    if (frame->time_ms != time) {
      time = frame->time_ms;
      wanted = read;
    }
  }
  int32_t e = try_estimate(c, req, frame);
  for (uint32_t n = 0; n < wanted && e == MPG_OK; ++n) e = MPG_Core_Decode(c, req, frame, 1);
  return e;
}

/* Backward (or to the start): the estimate moves back by two seconds (or a
 * pack, where that is longer), twice as far on each further try, until the
 * key frame found after it lies at or before the target; key frames are then
 * read on to the last one at or before it. An estimate after the last key
 * frame (a target in the last GOP: the bytes of a time lie before its share
 * of the file) meets the end of the file and moves back the same way: a key
 * frame before the target exists. At the start a later key frame is
 * delivered with the target's time. Without a file size every estimate lies
 * at the start, so the first one is the last. */
static int32_t seek_back(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame, int64_t goal) {
  /* doubling bounds the tries by the bits of a time, on any clock */
  int64_t back = estimate_step(c, 2000);
  for (;;) {
    int32_t e = try_estimate(c, req, frame);
    int past_last = e == MPG_ERR_END;
    if (e < 0 && !past_last) return e;
    if (!past_last && goal == 0) return MPG_OK;
    if (!past_last && frame->time_ms <= goal) return last_key_before(c, req, frame, goal);
    if (req->target_ms == 0 || c->file_size == 0) {
      if (past_last) return e;  /* no key frame from the start on */
      frame->time_ms = clamp_time(goal);
      return MPG_OK;
    }
    req->target_ms = req->target_ms > back ? clamp_time(req->target_ms - back) : 0;
    back *= 2;
  }
}

/* Forward: the estimate moves by whole seconds (or a pack) until it lies
 * before the first key frame at or after the target (a proportional estimate
 * may overshoot it, or land past the last one), then key frames are read one
 * after the other up to it. Without a file size every estimate lies at the
 * start: moving it would find the same key frame each time, so the reading
 * starts there. */
static int32_t seek_forward(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame, int64_t goal) {
  int32_t before = MPG_TIME_NONE;  /* the last estimate that fell short */
  int32_t e = MPG_OK;
  if (req->target_ms > c->duration_ms) req->target_ms = c->duration_ms;
  for (int step = 0; step < PS_MAX_SEEK_STEPS; ++step) {
    e = try_estimate(c, req, frame);
    /* past the end of the file counts as past the target */
    if (e < 0 && e != MPG_ERR_END) return e;
    int over = e == MPG_ERR_END || frame->time_ms >= goal;
    if (!over) {
      before = req->target_ms;
      if (goal - frame->time_ms <= 1000 || c->file_size == 0) break;
      req->target_ms = clamp_time((int64_t)req->target_ms + estimate_step(c, 1000));
      continue;
    }
    if (before >= 0) {
      req->target_ms = before;
      e = try_estimate(c, req, frame);
      if (e < 0) return e;
      break;
    }
    if (req->target_ms == 0 || c->file_size == 0) {
      c->placed = 1;
      return e;
    }
    int32_t back = estimate_step(c, 1000);
    req->target_ms = req->target_ms > back ? req->target_ms - back : 0;
  }
  while (frame->time_ms < goal) {
    e = MPG_Core_Decode(c, req, frame, 1);
    if (e < 0) return e;
  }
  return MPG_OK;
}

int32_t ps_seek(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame) {
  if (req->seek_flags & MPG_SEEK_RESYNC) {
    ps_reset_parsing(c);
    if (c->n_video) req->kind = MPG_KIND_VIDEO;
    int32_t e = MPG_Core_Decode(c, req, frame, 1);
    if (e < 0) return e;
    return hold_and_follow(c, frame);
  }
  if (req->target_ms != 0 && c->duration_ms == 0) return MPG_ERR_ARGUMENT;
  uint32_t mode = req->seek_flags & MPG_SEEK_MODE_MASK;
  if (mode > MPG_SEEK_BACKWARD || (req->seek_flags & MPG_SEEK_READERS_MASK) > MPG_SEEK_AUDIO_READER)
    return MPG_ERR_ARGUMENT;
  MpgContext* saved = c->host.allocate(sizeof *c);
  if (!saved) return MPG_ERR_NO_MEMORY;
  c->host.copy(saved, c, sizeof *c);
  uint64_t noted = bs_file_pos(c->stream_mode == MPG_MODE_TWO_READERS ? &c->video_reader : &c->probe);
  int64_t goal = req->target_ms;
  int forward = 1;
  if (goal == 0) {
    req->seek_flags = 0;
  } else {
    /* mode 0 with a target is taken as an absolute seek forward */
    if (mode == MPG_SEEK_START) req->seek_flags |= MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE;
    if (!(req->seek_flags & MPG_SEEK_ABSOLUTE_MASK)) {
      req->seek_flags |= MPG_SEEK_ABSOLUTE;
      int64_t now = c->last_video_pts != MPG_NO_TIME ? (int64_t)MPG_MS(c->last_video_pts) - c->video_base_ms : 0;
      goal = mode == MPG_SEEK_BACKWARD ? now - goal : now + goal;
      if (goal < 0) goal = 0;
    }
    forward = c->last_video_time < goal;
  }
  c->seek_dir = forward ? 1 : 2;
  if (c->n_video) req->kind = MPG_KIND_VIDEO;
  req->target_ms = clamp_time(goal);
  int32_t e = goal == 0 || !forward ? seek_back(c, req, frame, goal) : seek_forward(c, req, frame, goal);
  if (e == MPG_OK) {
    e = hold_and_follow(c, frame);
  } else if (e != MPG_ERR_END || c->placed) {
    /* the end of the file met while placing the readers is not recovered */
    e = recover(c, saved, noted, req, frame, e);
  }
  c->host.release(saved);
  return e;
}
