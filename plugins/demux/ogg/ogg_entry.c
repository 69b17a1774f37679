/* The library entry KVR_OGG_DMX: open, close, next packet, seek and the
 * choice of another audio stream. */
#include <string.h>

#include "ogg_internal.h"

KVR_DEFINE_FUNCTION_LIST(KVR_OGG_DMX);

void ogg_fill_audio_entry(const OggDmxContext* ctx, const OggAudioInfo* a, OggAudioEntry* e);

static void install_host(const KvrHostServices* h) {
  ogg_dmx_pMalloc = h->malloc_fn;
  ogg_dmx_pNonCacheMalloc = h->malloc_fn;
  ogg_dmx_pFree = h->free_fn;
  ogg_dmx_pNonCacheFree = h->free_fn;
  ogg_dmx_pMemcpy = h->memcpy_fn;
  ogg_dmx_pMemmove = h->memmove_fn;
  ogg_dmx_pMemset = h->memset_fn;
  ogg_dmx_pRealloc = h->realloc_fn;
  ogg_dmx_pFopen = h->fopen_fn;
  ogg_dmx_pFread = h->fread_fn;
  ogg_dmx_pFseek = h->fseek_fn;
  ogg_dmx_pFtell = h->ftell_fn;
  ogg_dmx_pFclose = h->fclose_fn;
  ogg_dmx_pFeof = h->feof_fn;
  ogg_dmx_pFflush = h->fflush_fn;
  ogg_dmx_pFwrite = h->fwrite_fn;
  ogg_dmx_pUnlink = h->unlink_fn;
  ogg_dmx_pFseek64 = h->fseek64_fn;
  ogg_dmx_pFtell64 = h->ftell64_fn;
}

/* Releases everything an open allocated, whatever step it reached. */
static void ogg_release(OggDmxContext* ctx) {
  for (int32_t i = 0; i < OGG_MAX_STREAMS; ++i) {
    OggStreamEntry* st = &ctx->streams[i];
    ogg_free(st->audio.priv);
    ogg_free(st->video.priv);
    st->audio.priv = st->video.priv = NULL;
    if (st->queue) {
      ogg_pageQ_flush(st->queue);
      KVR_OGG_QUE(OGG_QUE_DESTROY, st->queue, NULL, NULL);
      st->queue = 0;
    }
    ogg_stream_pages_release(st);
    ogg_reader_close(&ctx->readers[i]);
  }
  ogg_free(ctx->audioEntries);
  ogg_free(ctx->videoEntries);
  ogg_free(ctx->savedBuffer);
  ogg_free(ctx->scratch);
  ogg_free(ctx);
}

static void set_filters(OggDmxContext* ctx) {
  for (int32_t k = 0; k < ctx->streamCount; ++k) ctx->readers[k].serialFilter = (int32_t)ctx->streams[k].serial;
}

static int32_t ogg_open(const OggOpenRecord* rec, OggStreamInfo* info, OggDmxContext** created) {
  if (!rec || !info || !rec->host.malloc_fn || !rec->host.free_fn || !rec->fileName) return OGG_ERR_ARGUMENT;
  memset(info, 0, sizeof(*info));
  install_host(&rec->host);
  OggDmxContext* ctx = (OggDmxContext*)ogg_malloc(sizeof(OggDmxContext));
  if (!ctx) return OGG_ERR_ARGUMENT;
  memset(ctx, 0, sizeof(*ctx));
  *created = ctx;
  for (int i = 0; i < OGG_MAX_STREAMS; ++i) ctx->serials[i] = 0xFFFFFFFFu;
  ctx->selectedVideoSerial = -1;
  ctx->selectedAudioSerial = -1;
  ctx->videoIndex = ctx->audioIndex = -1;
  uint32_t cache = rec->cacheSize == 0 ? OGG_DEFAULT_CACHE : rec->cacheSize;
  if (cache > OGG_MAX_CACHE) cache = OGG_MAX_CACHE;
  ctx->cacheSize = cache;
  for (int i = 0; i < OGG_MAX_STREAMS; ++i) ctx->readers[i].cacheSize = cache;

  ctx->scratch = (uint8_t*)ogg_malloc(OGG_SCRATCH_BYTES);
  int64_t size = check_stream_num(ctx, rec->fileName);
  if (size == OGG_ERR_OPEN_FILE || size == OGG_ERR_ARGUMENT) return (int32_t)size;
  /* An empty file or one without a page. */
  if (size <= 0) return OGG_ERR_SHORT;
  ctx->fileSize = size;
  if (size < (int64_t)ctx->cacheSize) {
    ctx->cacheSize = (uint32_t)size;
    for (int i = 0; i < OGG_MAX_STREAMS; ++i) ctx->readers[i].cacheSize = ctx->cacheSize;
  }
  ctx->seekPolicy = rec->seekPolicy;
  ctx->callerStreams = (rec->openFlags & OGG_OPEN_CALLER_STREAMS) != 0;
  int32_t r = get_allstream_info(ctx, rec->fileName);
  if (r != 0) return r;

  r = input_stream_open(ctx, rec->fileName, ctx->streamCount, ctx->cacheSize);
  if (r != 0) return r;
  if (!ctx->scratch) return OGG_ERR_ARGUMENT;
  uint32_t capacity = OGG_QUEUE_CAPACITY;
  OggQueueServices services;
  memset(&services, 0, sizeof(services));
  services.malloc_fn = rec->host.malloc_fn;
  services.free_fn = rec->host.free_fn;
  services.memcpy_fn = rec->host.memcpy_fn;
  services.memset_fn = rec->host.memset_fn;
  for (int32_t k = 0; k < ctx->streamCount; ++k) {
    int32_t handle = 0;
    r = KVR_OGG_QUE(OGG_QUE_CREATE, (intptr_t)&handle, &services, &capacity);
    if (r != 0) return r;
    ctx->streams[k].queue = handle;
  }

  for (int32_t k = 0; k < ctx->streamCount; ++k) {
    const OggStreamEntry* st = &ctx->streams[k];
    if (ctx->videoIndex < 0 && st->kind == OGG_KIND_VIDEO && st->ordinal == 1) {
      ctx->videoIndex = k;
      ctx->video = st->video;
      ctx->selectedVideoSerial = (int32_t)st->serial;
    }
    if (ctx->audioIndex < 0 && st->kind == OGG_KIND_AUDIO && st->ordinal == 1) {
      ctx->audioIndex = k;
      ctx->audio = st->audio;
      ctx->selectedAudioSerial = (int32_t)st->serial;
    }
  }
  set_filters(ctx);
  int32_t result = 0;
  if (ctx->videoIndex >= 0 && ctx->video.codecId == OGG_CODEC_THEORA) result = get_theora_extradata(ctx);
  get_common_info(ctx);
  r = set_dmx_info(ctx, info);
  if (r != 0) return r;
  info->fileName = rec->fileName;
  ogg_free(ctx->scratch);
  ctx->scratch = NULL;
  return result;
}

static int32_t select_audio(OggDmxContext* ctx, const OggSelectRequest* req, OggSelectResult* res) {
  if (!req || !res) return OGG_ERR_ARGUMENT;
  if ((req->flags & OGG_SELECT_CHANGE_AUDIO) && ctx->audioCount > 0) {
    for (int32_t k = 0; k < ctx->streamCount; ++k) {
      const OggStreamEntry* st = &ctx->streams[k];
      if (st->kind != OGG_KIND_AUDIO || (uint32_t)st->ordinal != req->ordinal + 1) continue;
      ctx->audio = st->audio;
      ctx->audioIndex = k;
      ctx->selectedAudioSerial = (int32_t)st->serial;
      if (res->entry) ogg_fill_audio_entry(ctx, &st->audio, res->entry);
      break;
    }
  }
  set_filters(ctx);
  return 0;
}

KVR_EXPORT int32_t KVR_OGG_DMX(int32_t op, void* handleSlot, void* in, void* out) {
  OggDmxContext** slot = (OggDmxContext**)handleSlot;
  switch (op) {
    case OGG_OP_OPEN:
    case OGG_OP_OPEN_ALT: {
      if (!slot) return OGG_ERR_ARGUMENT;
      OggDmxContext* ctx = NULL;
      int32_t r = ogg_open((const OggOpenRecord*)in, (OggStreamInfo*)out, &ctx);
      /* Theora header errors keep the file open; every other failure
       * releases what the open allocated, queue slots included. */
      if (r != 0 && r != OGG_ERR_HEADERS && ctx) {
        ogg_release(ctx);
        ctx = NULL;
      }
      if (ctx && ctx->scratch) {
        ogg_free(ctx->scratch);
        ctx->scratch = NULL;
      }
      *slot = ctx;
      return r;
    }
    case OGG_OP_CLOSE:
      if (slot && *slot) {
        ogg_release(*slot);
        *slot = NULL;
      }
      return 0;
    case OGG_OP_READ:
    case OGG_OP_SEEK:
    case OGG_OP_SELECT_AUDIO: {
      if (!slot || !*slot) return OGG_ERR_ARGUMENT;
      OggDmxContext* ctx = *slot;
      if (op == OGG_OP_READ) return ogg_read_packet(ctx, (const OggPacketRequest*)in, (OggPacketResult*)out);
      if (op == OGG_OP_SEEK) return ogg_seek(ctx, (const OggSeekRequest*)in, (OggSeekResult*)out);
      return select_audio(ctx, (const OggSelectRequest*)in, (OggSelectResult*)out);
    }
    default:
      return 0;
  }
}
