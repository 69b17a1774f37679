/* The FLV library's buffered file I/O: the transport-stream library's module
 * compiled here under private names, wrapped so that every byte-level move
 * drops the bit reader's window, with the FLV open (five arguments, the cache
 * size as given, the fill size starting at the cache size). */
#include "flv_fio.h"

/* The base module's exported names become private statics of this file. */
#define __TS_DMX__fioSetFunc base_set_func
#define __TS_DMX__fioOpen base_open
#define __TS_DMX__fioClose base_close
#define __TS_DMX__fioShowBytesByPtr base_show_ptr
#define __TS_DMX__fioShowBytesByCopy base_show_copy
#define __TS_DMX__fioSkipBytes base_skip
#define __TS_DMX__fioRead base_read
#define __TS_DMX__fioWrite base_write
#define __TS_DMX__fioSeek base_seek
#define __TS_DMX__fioSeek64 base_seek64
#define __TS_DMX__fioTell base_tell
#define __TS_DMX__fioTell64 base_tell64
#define __TS_DMX__fioIsEof base_is_eof
#define __TS_DMX__fioFlush base_flush
#define __TS_DMX__fioSetCacheReadSize base_set_fill
#define __TS_DMX__fioGetCacheReadSize base_get_fill
#define __TS_DMX__fiodbgReadBytes base_dbg_read_bytes
#define __TS_DMX__fiodbgReset base_dbg_reset
#undef KVR_EXPORT
#define KVR_EXPORT static __attribute__((unused))
#include "../ts/ts_fio.c"
#undef KVR_EXPORT
#define KVR_EXPORT __attribute__((visibility("default")))

/* The base handle is the head of ours. */
static FioHandle* base_of(FlvFioHandle* h) { return (FioHandle*)h; }
KVR_STATIC_ASSERT(offsetof(FlvFioHandle, extra) == offsetof(FioHandle, extra),
                  "the FLV handle starts with the base handle");

static void drop_window(FlvFioHandle* h) {
  if (h == NULL) return;
  h->validBits = 0;
  h->window = 0;
}

KVR_EXPORT void __FLV_DMX__fioSetFunc(void* const* table) { base_set_func(table); }

KVR_EXPORT FlvFioHandle* __FLV_DMX__fioOpen(const char* path, uint32_t flags, uint32_t cacheSize,
                                            uint32_t extraFlag, uint32_t extraSize) {
  char mode[4];
  int n = 0;
  switch (flags & 0x71) {
    case 0x10: mode[n++] = 'r'; break;
    case 0x20: case 0x21: mode[n++] = 'w'; break;
    case 0x30: mode[n++] = 'r'; mode[n++] = '+'; break;
    case 0x31: mode[n++] = 'w'; mode[n++] = '+'; break;
    case 0x40: mode[n++] = 'a'; break;
    case 0x50: mode[n++] = 'a'; mode[n++] = '+'; break;
    default: return NULL;
  }
  if ((flags & 0x300) == 0x300) return NULL;
  if (flags & 0x100) mode[n++] = 't';
  if (flags & 0x200) mode[n++] = 'b';
  mode[n] = 0;
  if (!g_fio.fopen || !g_fio.malloc || !g_fio.free || !g_fio.fclose) return NULL;
  uint32_t extra = extraFlag ? extraSize : 0;
  /* A zero cache could never serve a peek. */
  if (cacheSize == 0 || (uint64_t)cacheSize + extra > 0x7FFFFFFFu) return NULL;

  void* file = g_fio.fopen(path, mode);
  if (file == NULL) return NULL;
  FlvFioHandle* h = (FlvFioHandle*)g_fio.malloc(sizeof(FlvFioHandle));
  if (h == NULL) {
    g_fio.fclose(file);
    return NULL;
  }
  h->cache = (uint8_t*)g_fio.malloc((size_t)cacheSize + extra);
  if (h->cache == NULL) {
    g_fio.fclose(file);
    g_fio.free(h);
    return NULL;
  }
  h->file = file;
  h->offset = 0;
  h->valid = 0;
  h->state = FIO_IDLE;
  h->fillSize = cacheSize;
  h->cacheSize = cacheSize;
  h->extraMode = extraFlag ? 1 : 0;
  h->extra = extra;
  h->validBits = 0;
  h->window = 0;
  h->ownSkip = 0;
  return h;
}

KVR_EXPORT int32_t __FLV_DMX__fioClose(FlvFioHandle* h) { return base_close(base_of(h)); }

KVR_EXPORT int32_t __FLV_DMX__fioShowBytesByPtr(const uint8_t** out, uint32_t n, FlvFioHandle* h) {
  return base_show_ptr(out, n, base_of(h));
}

KVR_EXPORT int32_t __FLV_DMX__fioShowBytesByCopy(uint8_t* dst, uint32_t n, FlvFioHandle* h) {
  return base_show_copy(dst, n, base_of(h));
}

KVR_EXPORT int32_t __FLV_DMX__fioSkipBytes(uint32_t n, FlvFioHandle* h) {
  if (h != NULL) {
    if (h->ownSkip)
      h->ownSkip = 0;
    else
      drop_window(h);
  }
  return base_skip(n, base_of(h));
}

KVR_EXPORT uint32_t __FLV_DMX__fioRead(void* dst, uint32_t size, uint32_t count, FlvFioHandle* h) {
  drop_window(h);
  return base_read(dst, size, count, base_of(h));
}

KVR_EXPORT uint32_t __FLV_DMX__fioWrite(const void* src, uint32_t size, uint32_t count,
                                        FlvFioHandle* h) {
  drop_window(h);
  return base_write(src, size, count, base_of(h));
}

KVR_EXPORT int32_t __FLV_DMX__fioSeek(FlvFioHandle* h, int32_t offset, int32_t whence) {
  drop_window(h);
  return base_seek(base_of(h), offset, whence);
}

KVR_EXPORT int32_t __FLV_DMX__fioSeek64(FlvFioHandle* h, int64_t offset, int32_t whence) {
  drop_window(h);
  return base_seek64(base_of(h), offset, whence);
}

KVR_EXPORT int32_t __FLV_DMX__fioTell(FlvFioHandle* h) { return base_tell(base_of(h)); }
KVR_EXPORT int64_t __FLV_DMX__fioTell64(FlvFioHandle* h) { return base_tell64(base_of(h)); }
KVR_EXPORT int32_t __FLV_DMX__fioIsEof(FlvFioHandle* h) { return base_is_eof(base_of(h)); }

KVR_EXPORT int32_t __FLV_DMX__fioFlush(FlvFioHandle* h) {
  drop_window(h);
  return base_flush(base_of(h));
}

KVR_EXPORT int32_t __FLV_DMX__fioSetCacheReadSize(FlvFioHandle* h, uint32_t n) {
  return base_set_fill(base_of(h), n);
}

KVR_EXPORT uint32_t __FLV_DMX__fioGetCacheReadSize(FlvFioHandle* h) { return base_get_fill(base_of(h)); }
KVR_EXPORT int64_t __FLV_DMX__fiodbgReadBytes(void) { return base_dbg_read_bytes(); }
KVR_EXPORT void __FLV_DMX__fiodbgReset(void) { base_dbg_reset(); }
