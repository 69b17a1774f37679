/* The entry KVR_MPG_DEC: open, close, frames, seek, selection and
 * sub-pictures over the per-file context in the handle slot. */
#include "mpg_internal.h"

int32_t ps_seek(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame);

static int32_t open_reader(MpgContext* c, MpgByteReader* r, const char* name) {
  void* h = c->host.open(name, "rb");
  if (!h) return MPG_ERR_FILE_OPEN;
  int32_t e = open_bitstream(r, c->cache_size, h, &c->host);
  if (e < 0) {
    close_bitstream(r);
    return e;
  }
  if (bs_fseek(r, c->data_start) < 0) return MPG_ERR_SEEK;
  return MPG_OK;
}

static int32_t MPG_Core_Init(MpgContext** slot, int32_t op, MpgOpenRecord* rec, MpgStreamInfo* info) {
  if (!rec || !info || !rec->host.allocate || !rec->host.release) return MPG_ERR_ARGUMENT;
  MpgContext* c = rec->host.allocate(sizeof *c);
  if (!c) return MPG_ERR_NO_MEMORY;
  *slot = c;
  rec->host.fill(c, 0, sizeof *c);
  c->host = rec->host;
  c->probe.host = c->video_reader.host = c->audio_reader.host = &c->host;
  c->first_scr_delivered = c->file_first_scr_ms = c->file_last_scr_ms = MPG_NO_TIME;
  c->last_video_pts = c->last_audio_pts = c->last_spu_pts = MPG_NO_TIME;
  c->video_scr = c->audio_scr = c->last_scr = MPG_NO_TIME;
  c->pts_origin = c->scr_origin = MPG_NO_TIME;
  c->frame_duration = INT32_MAX;
  c->scan_limit = MPG_SCAN_LIMIT;
  if (op == MPG_OP_OPEN_INFO) {
    c->scan_limit = MPG_SCAN_LIMIT_INFO;
    rec->duration_mode = MPG_DURATION_NONE;
  }
  c->stream_mode = rec->stream_mode & 0xF;
  c->recovery = rec->recovery;
  c->cache_size = rec->cache_size;
  c->direct = c->stream_mode == MPG_MODE_DIRECT;
  c->need_key = 1;
  if (!c->direct) {
    c->vring.data = c->host.allocate(MPG_VIDEO_RING_SIZE);
    c->sring.data = c->host.allocate(MPG_SPU_RING_SIZE);
    c->aring.data = c->host.allocate(MPG_AUDIO_RING_SIZE);
    if (!c->vring.data || !c->sring.data || !c->aring.data) return MPG_ERR_NO_MEMORY;
    c->vring.size = MPG_VIDEO_RING_SIZE;
    c->sring.size = MPG_SPU_RING_SIZE;
    c->aring.size = MPG_AUDIO_RING_SIZE;
    c->ring = 1;
  }
  int32_t e = MPG_Core_CheckFormat(c, rec, info);
  if (e < 0) return e;
  if (op != MPG_OP_OPEN) return MPG_OK;
  if (info->video_count) {
    const MpgVideoEntry* v = &info->video[0];
    if (v->first_ms > 1000) c->time_flags |= MPG_TIME_LATE_START;
    if (v->last_ms < v->first_ms) c->time_flags |= MPG_TIME_ENDS_BEFORE_START;
    else if (v->last_ms == v->first_ms) c->time_flags |= MPG_TIME_ONE_TIME;
  }
  if (c->stream_mode == MPG_MODE_TWO_READERS) {
    e = open_reader(c, &c->audio_reader, rec->file_name);
    if (e < 0) return e;
    return open_reader(c, &c->video_reader, rec->file_name);
  }
  if (bs_fseek(&c->probe, c->data_start) < 0) return MPG_ERR_SEEK;
  return MPG_OK;
}

static int32_t MPG_Core_Close(MpgContext** slot, MpgFrame* frame) {
  MpgContext* c = *slot;
  close_bitstream(&c->video_reader);
  close_bitstream(&c->audio_reader);
  close_bitstream(&c->probe);
  if (c->vring.data) c->host.release(c->vring.data);
  if (c->sring.data) c->host.release(c->sring.data);
  if (c->aring.data) c->host.release(c->aring.data);
  if (c->frame_buf) c->host.release(c->frame_buf);
  if (frame && frame->data == c->frame_buf) {
    frame->data = NULL;
    frame->length = 0;
  }
  if (c->held.data) c->host.release(c->held.data);
  if (c->info) {
    if (c->info->video) c->host.release(c->info->video);
    if (c->info->audio) c->host.release(c->info->audio);
    c->info->video = NULL;
    c->info->audio = NULL;
    c->info->video_count = c->info->audio_count = 0;
  }
  KvrFreeFn release = c->host.release;
  release(c);
  *slot = NULL;
  return MPG_OK;
}

static int32_t next_frame(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame) {
  if (!req || !frame) return MPG_ERR_ARGUMENT;
  if (c->held.pending && (c->direct || req->kind == MPG_KIND_VIDEO)) {
    int32_t e = ps_frame_grow(c, frame, c->held.frame.length);
    if (e < 0) return e;
    if (c->held.frame.length) c->host.copy(frame->data, c->held.data, c->held.frame.length);
    frame->length = c->held.frame.length;
    frame->kind = c->held.frame.kind;
    frame->time_ms = c->held.frame.time_ms;
    frame->scr_ms = c->held.frame.scr_ms;
    frame->stream_id = c->held.frame.stream_id;
    c->held.pending = 0;
    return MPG_OK;
  }
  return MPG_Core_Decode(c, req, frame, 0);
}

KVR_EXPORT int32_t KVR_MPG_DEC(int32_t op, void* handle_slot, void* in, void* out) {
  MpgContext** slot = (MpgContext**)handle_slot;
  if (op == MPG_OP_OPEN || op == MPG_OP_OPEN_INFO) {
    if (!slot) return MPG_ERR_ARGUMENT;
    *slot = NULL;
    return MPG_Core_Init(slot, op, (MpgOpenRecord*)in, (MpgStreamInfo*)out);
  }
  if (op < 0 || op > MPG_OP_OPEN_INFO || op == 6) return MPG_ERR_ARGUMENT;
  /* no handle: never opened, or closed already */
  if (!slot || !*slot) return op == MPG_OP_CLOSE ? MPG_OK : MPG_ERR_ARGUMENT;
  MpgContext* c = *slot;
  switch (op) {
    case MPG_OP_CLOSE: return MPG_Core_Close(slot, (MpgFrame*)out);
    case MPG_OP_SUBPICTURE:
      return MPG_Core_SubTitle(c, (const MpgSubpictureRequest*)in, (MpgSubpicture*)out);
    case MPG_OP_SEEK:
      if (!in || !out) return MPG_ERR_ARGUMENT;
      return ps_seek(c, (MpgFrameRequest*)in, (MpgFrame*)out);
    case MPG_OP_NEXT_FRAME: return next_frame(c, (MpgFrameRequest*)in, (MpgFrame*)out);
    case MPG_OP_SELECT:
      if (!in || !out) return MPG_ERR_ARGUMENT;
      return MPG_Core_SelStream(c, (const MpgSelectRequest*)in, (MpgSelectResult*)out);
    default: return MPG_ERR_ARGUMENT;
  }
}

KVR_DEFINE_FUNCTION_LIST(KVR_MPG_DEC);
