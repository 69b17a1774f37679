/* The library entry KVR_FLV_DMX, its error pair, close and the rewind. */
#include <string.h>

#include "flv_internal.h"

KVR_EXPORT int32_t g_flvd_lLastError;
KVR_EXPORT int32_t g_flvd_lErrorLine;

KVR_DEFINE_FUNCTION_LIST(KVR_FLV_DMX);

FlvMemory g_flv_mem;

int32_t flv_open(const FlvdOpenRecord* record, FlvdOpenResult* out, int infoOnly,
                 FlvDemuxContext** created);

void flv_error(FlvDemuxContext* ctx, int32_t code, int32_t line) {
  if (ctx) {
    ctx->lastError = code;
    ctx->errorLine = line;
  } else {
    g_flvd_lLastError = code;
    g_flvd_lErrorLine = line;
  }
}

int32_t flv_rewind(FlvDemuxContext* ctx) {
  ctx->currentVideoMs = 0;
  ctx->currentAudioMs = 0;
  if (__FLV_DMX__fioSeek64(ctx->videoHandle, ctx->dataOffset, KVR_SEEK_SET) != 0) return -1;
  if (ctx->audioHandle != ctx->videoHandle &&
      __FLV_DMX__fioSeek64(ctx->audioHandle, ctx->dataOffset, KVR_SEEK_SET) != 0)
    return -1;
  return 0;
}

void flv_close(FlvDemuxContext* ctx) {
  if (ctx == NULL) return;
  if (ctx->audioHandle && ctx->audioHandle != ctx->videoHandle) __FLV_DMX__fioClose(ctx->audioHandle);
  if (ctx->videoHandle) __FLV_DMX__fioClose(ctx->videoHandle);
  if (ctx->video.config) g_flv_mem.free(ctx->video.config);
  if (ctx->audio.info.config) g_flv_mem.free(ctx->audio.info.config);
  if (ctx->frameBuffer && !(ctx->openFlags & FLVD_OPEN_HOST_BUFFERS)) g_flv_mem.free(ctx->frameBuffer);
  if (ctx->times) flv_meta_release(ctx->times);
  if (ctx->filePositions) flv_meta_release(ctx->filePositions);
  g_flv_mem.free(ctx);
}

/* Entry result of a failed op from its code. */
static int32_t map_code(int32_t code) {
  switch (code) {
    case FLVD_ERR_BEYOND_END:
    case FLVD_ERR_END2004:
    case FLVD_ERR_END2005:
    case FLVD_ERR_END:
      return FLVD_RESULT_END;
    case FLVD_ERR_BAD_HANDLE:
      return FLVD_RESULT_BAD_HANDLE;
    case FLVD_ERR_OPEN_FILE:
    case FLVD_ERR_OPEN_SECOND:
      return FLVD_RESULT_CANNOT_OPEN;
    default:
      return FLVD_RESULT_FAILED;
  }
}

KVR_EXPORT int32_t KVR_FLV_DMX(int32_t op, void* handleSlot, void* in, void* out) {
  FlvDemuxContext** slot = (FlvDemuxContext**)handleSlot;
  FlvDemuxContext* ctx = slot ? *slot : NULL;
  switch (op) {
    case FLVD_OP_OPEN:
    case FLVD_OP_OPEN_INFO: {
      FlvDemuxContext* created = NULL;
      int32_t r = flv_open((const FlvdOpenRecord*)in, (FlvdOpenResult*)out,
                           op == FLVD_OP_OPEN_INFO, &created);
      if (slot == NULL && created != NULL) {
        /* Nowhere to keep the context: it could never be closed. */
        flv_close(created);
        flv_error(NULL, FLVD_ERR_BAD_HANDLE, 103);
        return FLVD_RESULT_BAD_HANDLE;
      }
      if (slot) *slot = created;
      return r == 0 ? 0 : map_code(g_flvd_lLastError);
    }
    case FLVD_OP_LAST_ERROR:
      return ctx ? ctx->lastError : g_flvd_lLastError;
    case FLVD_OP_CLOSE:
    case FLVD_OP_READ:
    case FLVD_OP_SEEK:
    case FLVD_OP_UNSUPPORTED:
      break;
    default:
      return FLVD_RESULT_FAILED;
  }
  if (ctx == NULL) {
    flv_error(NULL, FLVD_ERR_BAD_HANDLE, 100);
    return FLVD_RESULT_BAD_HANDLE;
  }
  int32_t r;
  switch (op) {
    case FLVD_OP_CLOSE:
      flv_close(ctx);
      /* A second close then finds no context instead of freed memory. */
      *slot = NULL;
      return 0;
    case FLVD_OP_READ:
      r = (ctx->openFlags & FLVD_OPEN_PROGRESSIVE)
              ? flv_read_frame_progressive(ctx, (const FlvdFrameRequest*)in, (FlvdFrame*)out)
              : flv_read_frame(ctx, (const FlvdFrameRequest*)in, (FlvdFrame*)out);
      break;
    case FLVD_OP_SEEK:
      if (in == NULL) {
        flv_error(ctx, FLVD_ERR_FRAME_SEEK, 101);
        r = -1;
      } else {
        r = (ctx->openFlags & FLVD_OPEN_PROGRESSIVE)
                ? flv_seek_progressive(ctx, (const FlvdSeekRequest*)in, (FlvdSeekAnswer*)out)
                : flv_seek(ctx, (const FlvdSeekRequest*)in, (FlvdSeekAnswer*)out);
      }
      break;
    default:
      flv_error(ctx, FLVD_ERR_UNSUPPORTED, 102);
      r = -1;
      break;
  }
  return r == 0 ? 0 : map_code(ctx->lastError);
}
