/* The entry of libkvravidmx: open, stream-information open, close, packets,
 * seeking, stream selection, last error, host index and version. */
#include "avi_internal.h"

KVR_EXPORT int32_t g_nLastError;
KvrMallocFn avi_malloc;
KvrFreeFn avi_free;
KvrReallocFn avi_realloc;
KvrMemsetFn avi_memset;
KvrMemcpyFn avi_memcpy;
KvrMemmoveFn avi_memmove;

KVR_DEFINE_FUNCTION_LIST(KVR_AVI_DMX);

static void take_services(const AviOpenRecord* r, int with_memmove) {
  avi_malloc = r->host.malloc_fn;
  avi_free = r->host.free_fn;
  avi_realloc = r->host.realloc_fn;
  avi_memset = r->host.memset_fn;
  avi_memcpy = r->host.memcpy_fn;
  if (with_memmove) avi_memmove = r->host.memmove_fn;
}

static void build_fio_table(const AviOpenRecord* r, AviFioTable* t) {
  t->malloc = r->host.malloc_fn;
  t->realloc = r->host.realloc_fn;
  t->free = r->host.free_fn;
  t->reserved = r->host.reserved;
  t->memcpy = r->host.memcpy_fn;
  t->memmove = r->host.memmove_fn;
  t->memset = r->host.memset_fn;
  t->fopen = r->host.fopen_fn;
  t->fclose = r->host.fclose_fn;
  t->fread = r->host.fread_fn;
  t->fwrite = r->host.fwrite_fn;
  t->fseek = r->host.fseek_fn;
  t->ftell = r->host.ftell_fn;
  t->feof = r->host.feof_fn;
  t->fflush = r->host.fflush_fn;
  t->fseek64 = r->host.fseek64_fn;
  t->ftell64 = r->host.ftell64_fn;
}

static void close_handle(AviContext* c, AviFioHandle* h) {
  if (h == NULL) return;
  /* Slots may share a handle: close it once. */
  for (int i = 0; i < AVI_FH_COUNT; ++i)
    if (c->fh[i] == h) c->fh[i] = NULL;
  for (int i = 0; i < 2; ++i)
    if (c->repair_fh[i] == h) c->repair_fh[i] = NULL;
  __AVI_DMX__fioClose(h);
}

static void release_context(AviContext* c) {
  if (c == NULL) return;
  for (int i = 0; i < AVI_FH_COUNT; ++i) close_handle(c, c->fh[i]);
  for (int i = 0; i < 2; ++i) close_handle(c, c->repair_fh[i]);
  avi_release_indexes(c);
  avi_free(c->strh);
  for (int i = 0; i < c->video.count; ++i) avi_free(c->video_fmt[i].extra);
  avi_free(c->video_fmt);
  if (c->audio_fmt)
    for (int i = 0; i < c->audio.count; ++i) avi_free(c->audio_fmt[i].extra);
  avi_free(c->audio_fmt);
  avi_free(c->meta_fmt);
  avi_free(c->video_info);
  avi_free(c->audio_info);
  avi_free(c->meta_info);
  if (!c->host_buffer) avi_free(c->buf);
  avi_free(c);
}

static const uint32_t kDivx[] = {
    AVI_FOURCC('D', 'X', 'M', 'F'), AVI_FOURCC('d', 'x', 'm', 'f'), AVI_FOURCC('D', 'X', '5', '0'),
    AVI_FOURCC('d', 'x', '5', '0'), AVI_FOURCC('D', 'I', 'V', 'X'), AVI_FOURCC('d', 'i', 'v', 'x'),
    AVI_FOURCC('M', 'P', '4', '3'), AVI_FOURCC('m', 'p', '4', '3'), AVI_FOURCC('D', 'i', 'v', 'X'),
    AVI_FOURCC('D', 'I', 'V', '3'), AVI_FOURCC('d', 'i', 'v', '3'), AVI_FOURCC('D', 'I', 'V', '4'),
    AVI_FOURCC('d', 'i', 'v', '4')};

static int32_t aviCHECK_divxdecode(AviContext* c) {
  if (c->video.count == 0 || c->divx_ok) return AVI_OK;
  uint32_t code = c->video_info[c->video.selected].fourcc;
  for (size_t i = 0; i < sizeof kDivx / sizeof kDivx[0]; ++i) {
    if (kDivx[i] == code) {
      c->last_error = AVI_ERR_DIVX;
      g_nLastError = AVI_ERR_DIVX;
      return AVI_DIVX_REFUSED;
    }
  }
  return AVI_OK;
}

static void fill_result(AviContext* c, AviOpenResult* out) {
  out->file = &c->file_info;
  out->video_count = c->video.count;
  out->videos = c->video_info;
  if (c->video.count) out->video = &c->video_info[c->video.selected];
  if (!c->audio_zero_rate) {
    out->audio_count = c->audio.count;
    out->audios = c->audio_info;
    if (c->audio.count) out->audio = &c->audio_info[c->audio.selected];
  }
  out->meta_count = c->meta.count;
  out->metas = c->meta_info;
  if (c->meta.count) out->meta = &c->meta_info[c->meta.selected];
}

static int select_defaults(AviContext* c) {
  int v, a, m;
  avi_default_selection(c, &v, &a, &m);
  if (c->video.count && avi_select(c, AVI_KIND_VIDEO, v) != 0) return -1;
  if (c->audio.count && avi_select(c, AVI_KIND_AUDIO, a) != 0) return -1;
  if (c->meta.count && avi_select(c, AVI_KIND_META_SELECT, m) != 0) return -1;
  return 0;
}

/* Steps 1-3 of both opens; the context, or null with g_nLastError set. */
static AviContext* open_common(AviOpenRecord* r, int info_only, AviOpenResult* out) {
  /* Every memory operation goes through the host's functions: an open
   * without them fails before anything is taken over. */
  if (r == NULL || r->host.malloc_fn == NULL || r->host.free_fn == NULL || r->host.fopen_fn == NULL ||
      r->host.memcpy_fn == NULL || r->host.memset_fn == NULL || (!info_only && r->host.memmove_fn == NULL)) {
    g_nLastError = AVI_ERR_OPEN;
    return NULL;
  }
  take_services(r, !info_only);
  if (r->cache_size == 0) r->cache_size = 4096;
  else if (r->cache_size < 512) r->cache_size = 512;
  uint32_t flags = r->flags;
  if (flags & AVI_FLAG_SINGLE) flags &= ~(uint32_t)(AVI_FLAG_SEPARATE | AVI_FLAG_HOST_INDEX | 0xFFFF0000u);
  r->flags = flags;
  AviFioTable table;
  build_fio_table(r, &table);
  __AVI_DMX__fioSetFunc((void* const*)&table);
  if (!info_only) avi_do_not_seek_to_eof = (flags & AVI_FLAG_NO_EOF_SEEK) ? 1 : 0;

  /* Every copy and fill goes through the host's functions, here too: an
   * initialiser, a structure assignment or a filling loop may become a call
   * to the C library's memset or memcpy. */
  AviFioHandle* fh[AVI_FH_COUNT];
  avi_memset(fh, 0, sizeof fh);
  fh[AVI_FH_MAIN] = __AVI_DMX__fioOpen(r->file_name, AVI_FIO_READ_BINARY, r->cache_size);
  int ok = fh[AVI_FH_MAIN] != NULL;
  if (ok && !info_only) {
    int sep = (flags & AVI_FLAG_SEPARATE) != 0;
    if (sep) ok = (fh[AVI_FH_AUDIO] = __AVI_DMX__fioOpen(r->file_name, AVI_FIO_READ_BINARY, r->cache_size)) != NULL;
    else fh[AVI_FH_AUDIO] = fh[AVI_FH_MAIN];
    if (ok && (flags & AVI_FLAG_KIND4)) {
      fh[AVI_FH_K4] = sep ? __AVI_DMX__fioOpen(r->file_name, AVI_FIO_READ_BINARY, r->cache_size) : fh[AVI_FH_MAIN];
      ok = fh[AVI_FH_K4] != NULL;
    }
    if (ok && (flags & AVI_FLAG_KIND10)) {
      fh[AVI_FH_K10] = sep ? __AVI_DMX__fioOpen(r->file_name, AVI_FIO_READ_BINARY, r->cache_size) : fh[AVI_FH_MAIN];
      ok = fh[AVI_FH_K10] != NULL;
    }
  }
  AviContext* c = ok ? (AviContext*)avi_malloc(AVI_CONTEXT_SIZE) : NULL;
  if (c == NULL) {
    for (int i = 0; i < AVI_FH_COUNT; ++i) {
      if (fh[i] == NULL) continue;
      for (int j = i + 1; j < AVI_FH_COUNT; ++j)
        if (fh[j] == fh[i]) fh[j] = NULL;
      __AVI_DMX__fioClose(fh[i]);
    }
    g_nLastError = ok ? AVI_ERR_NO_MEMORY : AVI_ERR_OPEN;
    return NULL;
  }
  avi_memset(c, 0, AVI_CONTEXT_SIZE);
  if (out) avi_memset(out, 0, sizeof *out);
  avi_memcpy(&c->fio, &table, sizeof table);
  avi_memcpy(c->fh, fh, sizeof fh);
  c->flags = flags;
  c->divx_ok = (flags & AVI_FLAG_DIVX_OK) != 0;
  c->file_info.file_name = r->file_name;
  c->audio_start_pos = -1;
  avi_memset(c->super_pos, 0xFF, sizeof c->super_pos); /* every position -1 */
  return c;
}

static int read_all_headers(AviContext* c) {
  if (avi_read_headers(c) != 0) return -1;
  for (uint32_t n = 0; n < c->avih_streams; ++n)
    if (avi_read_stream_list(c, n) != 0) return -1;
  return 0;
}

static int32_t open_failed(AviContext* c, void** slot, int32_t code) {
  g_nLastError = code;
  release_context(c);
  if (slot) *slot = NULL;
  return AVI_FAIL;
}

static int32_t avi_open(void** slot, AviOpenRecord* r, AviOpenResult* out) {
  *slot = NULL;
  AviContext* c = open_common(r, 0, out);
  if (c == NULL) return AVI_FAIL;
  AviFioHandle* main = c->fh[AVI_FH_MAIN];
  if (!avi_do_not_seek_to_eof) {
    __AVI_DMX__fioSeek64(main, 0, KVR_SEEK_END);
    c->file_size = avi_tell(main);
    c->file_info.file_size = (uint64_t)c->file_size;
    avi_seek_to(main, 0);
  } else {
    c->file_size = 0x7FFFFFFFFFFFFFFFll;
  }
  if (read_all_headers(c) != 0) return open_failed(c, slot, c->last_error);
  if (out) {
    out->word10 = 0;
    out->word11 = 0;
  }
  if (!(c->flags & AVI_FLAG_SINGLE)) {
    uint32_t cache = r->cache_size;
    AviFioHandle* extra[3] = {0};
    for (int i = 0; i < 3; ++i) {
      extra[i] = __AVI_DMX__fioOpen(r->file_name, AVI_FIO_READ_BINARY, cache);
      if (extra[i] == NULL) {
        for (int j = 0; j < i; ++j) __AVI_DMX__fioClose(extra[j]);
        return open_failed(c, slot, AVI_ERR_OPEN);
      }
    }
    c->fh[AVI_FH_VIDX] = extra[0];
    c->repair_fh[0] = extra[1];
    c->repair_fh[1] = extra[2];
    if ((c->avih_flags & 0x20) && (c->flags & AVI_FLAG_SEPARATE)) {
      c->fh[AVI_FH_AIDX] = __AVI_DMX__fioOpen(r->file_name, AVI_FIO_READ_BINARY, cache);
      if (c->fh[AVI_FH_AIDX] == NULL) return open_failed(c, slot, AVI_ERR_OPEN);
    } else {
      c->fh[AVI_FH_AIDX] = c->fh[AVI_FH_VIDX];
    }
  } else {
    for (int i = 0; i < AVI_FH_COUNT; ++i) c->fh[i] = main;
    c->repair_fh[0] = c->repair_fh[1] = main;
  }
  for (int i = 0; i < AVI_MAX_STREAMS; ++i)
    if (c->super_pos[i] >= 0) c->avih_flags |= 0x10;
  if (avi_build_info(c) != 0) return open_failed(c, slot, AVI_FAIL);
  int32_t soft = c->last_error;
  if (select_defaults(c) != 0) return open_failed(c, slot, c->last_error);
  if (c->last_error == AVI_ERR_NO_INDX || c->last_error == AVI_ERR_SUPER_OTHER_STREAM) c->last_error = soft;
  if (aviFindStreamData(c) != 0) return open_failed(c, slot, AVI_ERR_NO_MOVI);
  int64_t main_pos = avi_tell(main);
  if (avi_do_not_seek_to_eof) {
    c->file_size = c->movi_size;
    c->file_info.file_size = (uint64_t)c->movi_size;
  }
  avi_prepare_index(c);
  uint32_t want = c->max_suggested;
  if (c->flags & AVI_FLAG_CALLER_BUFFER) {
    c->buf_size = want;
    c->host_buffer = 1;
  } else {
    if (want < 524288) want = 524288;
    c->buf = (uint8_t*)avi_malloc(want);
    if (c->buf == NULL) return open_failed(c, slot, AVI_ERR_NO_MEMORY);
    c->buf_size = want;
  }
  c->file_info.buffer_size = c->buf_size;
  c->file_info.duration_ms = c->duration_ms;
  c->file_info.index_present = c->index_mode != AVI_INDEX_NONE;
  c->file_info.movi_start = c->movi_start;
  if (c->flags & AVI_FLAG_NO_REPAIR) c->repair_on = 0;
  if (c->odml_mem[0] && !(c->flags & AVI_FLAG_NO_REPAIR)) c->odml_check_on = 1;
  if (c->audio.count && c->audio_fmt[0].format_tag == 0x55 && c->audio_block_us) c->mp3_on = 1;
  if (c->flags & AVI_FLAG_SINGLE) avi_seek_to(main, main_pos);
  if ((c->flags & AVI_FLAG_HOST_INDEX) && (c->index_mode == AVI_INDEX_NONE || c->odml_truncated))
    c->index_mode = AVI_INDEX_HOST;
  if (out) fill_result(c, out);
  *slot = c;
  g_nLastError = 0;
  c->last_error = 0;
  return aviCHECK_divxdecode(c);
}

static int32_t avi_open_info(void** slot, AviOpenRecord* r, AviOpenResult* out) {
  *slot = NULL;
  AviContext* c = open_common(r, 1, out);
  if (c == NULL) return AVI_FAIL;
  c->file_size = 0x7FFFFFFFFFFFFFFFll;
  AviFioHandle* main = c->fh[AVI_FH_MAIN];
  for (int i = 0; i < AVI_FH_COUNT; ++i) c->fh[i] = main;
  if (read_all_headers(c) != 0) return open_failed(c, slot, c->last_error);
  for (int i = 0; i < AVI_MAX_STREAMS; ++i)
    if (c->super_pos[i] >= 0) c->avih_flags |= 0x10;
  if (avi_build_info(c) != 0) return open_failed(c, slot, AVI_FAIL);
  if (select_defaults(c) != 0) return open_failed(c, slot, c->last_error);
  if (c->audio.count) c->audio_info[c->audio.selected].kbps = c->audio_fmt[c->audio.selected].avg_bytes / 125u;
  c->file_info.duration_ms = c->duration_ms;
  c->file_info.movi_start = 0;
  c->file_info.index_present = c->super_count[0] || c->super_count[1];
  if ((c->flags & AVI_FLAG_HOST_INDEX) && c->index_mode == AVI_INDEX_NONE) c->index_mode = AVI_INDEX_HOST;
  for (int i = 0; i < AVI_FH_COUNT; ++i)
    if (i != AVI_FH_MAIN) c->fh[i] = NULL;
  if (out) fill_result(c, out);
  *slot = c;
  g_nLastError = 0;
  c->last_error = 0;
  return AVI_OK;
}

static int32_t avi_packet(AviContext* c, const AviPacketRequest* req, AviPacket* pkt) {
  AviPacket scratch;
  if (pkt == NULL) pkt = &scratch;
  avi_memset(pkt, 0, sizeof *pkt);
  if ((c->flags & AVI_FLAG_STOP_AFTER_SEEK_MISS) && c->last_error == AVI_ERR_SEEK_NOT_FOUND) return AVI_END;
  if ((c->flags & AVI_FLAG_CALLER_BUFFER) && req) {
    c->buf = req->buffer;
    c->buf_size = req->buffer ? req->buffer_size : 0;
    c->host_buffer = 1;
  }
  AviFioHandle* main = c->fh[AVI_FH_MAIN];
  int64_t keep = 0;
  uint32_t kv = c->video_frame, ka = c->audio_chunk, kc = c->chunks;
  uint64_t kb = c->audio_bytes;
  if (c->flags & AVI_FLAG_SINGLE) keep = avi_tell(main);
  int r = avi_next_packet(c, req, pkt);
  if (r < 0) {
    if (c->flags & AVI_FLAG_SINGLE) {
      c->odml_audio_entry_known = 0;
      avi_seek_to(main, keep);
      c->video_frame = kv;
      c->audio_chunk = ka;
      c->chunks = kc;
      c->audio_bytes = kb;
    }
    return r;
  }
  if (pkt->kind == AVI_KIND_VIDEO && c->prefix_len && c->video_fmt &&
      (c->video_fmt[0].compression == AVI_FOURCC('M', 'P', '4', 'S') ||
       c->video_fmt[0].compression == AVI_FOURCC('m', 'p', '4', 's')) &&
      (uint64_t)pkt->size + c->prefix_len < c->buf_size) {
    avi_memmove(c->buf + c->prefix_len, c->buf, pkt->size);
    avi_memcpy(c->buf, c->prefix, c->prefix_len);
    pkt->size += c->prefix_len;
  }
  c->last_error = 0;
  return AVI_OK;
}

static int32_t avi_select_op(AviContext* c, const AviSelectRequest* in, AviSelectResult* out) {
  AviSelectResult scratch;
  if (out == NULL) out = &scratch;
  out->video = NULL;
  out->audio = NULL;
  uint32_t change = in ? in->change : 0;
  if (c->video.count) {
    if (change & 1) {
      if (in->video_id < 10) {
        c->last_error = AVI_ERR_VIDEO_RANGE;
        return AVI_FAIL;
      }
      if (avi_select(c, AVI_KIND_VIDEO, in->video_id - 10) != 0) return AVI_FAIL;
      aviGetPosInfobyOffset(c, AVI_KIND_VIDEO, avi_tell(c->fh[AVI_FH_MAIN]), NULL, NULL);
    }
    out->video = &c->video_info[c->video.selected];
  }
  if (c->audio.count) {
    if (change & 2) {
      if (in->audio_id < 30) {
        c->last_error = AVI_ERR_AUDIO_RANGE;
        return AVI_FAIL;
      }
      c->odml_audio_entry_known = 0;
      if (avi_select(c, AVI_KIND_AUDIO, in->audio_id - 30) != 0) return AVI_FAIL;
      aviGetPosInfobyOffset(c, AVI_KIND_AUDIO, avi_tell(avi_audio_reader(c)), NULL, NULL);
    }
    out->audio = &c->audio_info[c->audio.selected];
  }
  c->last_error = 0;
  return AVI_OK;
}

static int32_t avi_seek_op(AviContext* c, const AviSeekRequest* in, AviSeekResult* out) {
  AviSeekRequest req = in ? *in : (AviSeekRequest){0, 0};
  AviSeekResult scratch;
  if (out == NULL) out = &scratch;
  c->odml_audio_entry_known = 0;
  int r = avi_seek(c, &req, out);
  if ((c->flags & AVI_FLAG_SEEK_RETRY) && c->last_error == AVI_ERR_SEEK_NOT_FOUND) {
    c->last_error = 0;
    for (int64_t t = c->file_info.last_key_ms; t >= 0; t -= 1000) {
      AviSeekRequest retry = {(int32_t)t, 0};
      r = avi_seek(c, &retry, out);
      if (r == AVI_OK || c->last_error == AVI_ERR_SEEK_AUDIO_BEYOND) return r;
    }
    c->last_error = AVI_ERR_END;
    return AVI_END;
  }
  if (r == AVI_OK) c->last_error = 0;
  return r;
}

/* A text zero-filled to 32 bytes. */
static void put_text(void* buffer, const char* text) {
  if (buffer == NULL) return;
  char* b = (char*)buffer;
  size_t i = 0;
  for (; text[i] && i < 32; ++i) b[i] = text[i];
  for (; i < 32; ++i) b[i] = 0;
}

KVR_EXPORT int32_t KVR_AVI_DMX(int32_t op, void* handleSlot, void* in, void* out) {
  void** slot = (void**)handleSlot;
  AviContext* c = slot ? (AviContext*)*slot : NULL;
  switch (op) {
    case AVI_OP_OPEN:
    case AVI_OP_OPEN_INFO:
      /* Without a slot an open context could be neither handed over nor
       * closed: fail before opening anything. */
      if (slot == NULL) {
        g_nLastError = AVI_ERR_OPEN;
        return AVI_FAIL;
      }
      if (op == AVI_OP_OPEN) return avi_open(slot, (AviOpenRecord*)in, (AviOpenResult*)out);
      return avi_open_info(slot, (AviOpenRecord*)in, (AviOpenResult*)out);
    case AVI_OP_CLOSE:
      if (c) release_context(c);
      if (slot) *slot = NULL;
      return AVI_OK;
    case AVI_OP_PACKET:
      if (c == NULL) return AVI_FAIL;
      return avi_packet(c, (const AviPacketRequest*)in, (AviPacket*)out);
    case AVI_OP_SEEK:
      if (c == NULL) return AVI_FAIL;
      return avi_seek_op(c, (const AviSeekRequest*)in, (AviSeekResult*)out);
    case AVI_OP_SELECT:
      if (c == NULL) return AVI_FAIL;
      return avi_select_op(c, (const AviSelectRequest*)in, (AviSelectResult*)out);
    case AVI_OP_LAST_ERROR:
      return c ? c->last_error : g_nLastError;
    case AVI_OP_HOST_INDEX:
      if (c == NULL) return AVI_FAIL;
      return aviUpdateDurationBySysIndex(c, (AviHostIndex*)in, (uint32_t*)out);
    case AVI_OP_VERSION:
      /* Asked before any open, when there are no host functions yet. */
      put_text(in, "V3.0.0.2");
      put_text(out, "2016/11/14 15:00");
      return AVI_OK;
    default:
      return AVI_FAIL;
  }
}
