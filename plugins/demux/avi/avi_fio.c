/* Buffered file access of the AVI demuxer: a read cache whose peeks do not
 * consume, cheap skips and short relative seeks inside the cache, and a write
 * buffer, all over the process-wide host callback table. */
#include "avi_fio.h"

static AviFioTable g_fio;
KVR_EXPORT int32_t avi_do_not_seek_to_eof;

KVR_EXPORT void __AVI_DMX__fioSetFunc(void* const* table) {
  if (table == NULL) return;
  /* Slot by slot: the table's own memcpy is not ours to call before it is
   * installed, and the library calls no memory function of libc's. */
  const AviFioTable* t = (const AviFioTable*)(const void*)table;
  g_fio.malloc = t->malloc;
  g_fio.realloc = t->realloc;
  g_fio.free = t->free;
  g_fio.reserved = t->reserved;
  g_fio.memcpy = t->memcpy;
  g_fio.memmove = t->memmove;
  g_fio.memset = t->memset;
  g_fio.fopen = t->fopen;
  g_fio.fclose = t->fclose;
  g_fio.fread = t->fread;
  g_fio.fwrite = t->fwrite;
  g_fio.fseek = t->fseek;
  g_fio.ftell = t->ftell;
  g_fio.feof = t->feof;
  g_fio.fflush = t->fflush;
  g_fio.fseek64 = t->fseek64;
  g_fio.ftell64 = t->ftell64;
}

static int32_t fio_host_seek(void* file, int64_t offset, int32_t whence) {
  if (g_fio.fseek64) return g_fio.fseek64(file, offset, whence);
  return g_fio.fseek(file, (int32_t)offset, whence);
}

static int64_t fio_host_tell(void* file) {
  if (g_fio.ftell64) return g_fio.ftell64(file);
  return g_fio.ftell(file);
}

static void fio_drop(AviFioHandle* h) {
  h->offset = 0;
  h->fill = 0;
}

/* Writes the pending bytes; 0 when all went out. */
static int fio_write_pending(AviFioHandle* h) {
  if (h->fill == 0) return 0;
  size_t done = g_fio.fwrite(h->cache + h->offset, 1, h->fill, h->file);
  if (done > h->fill) done = h->fill;
  h->offset += (uint32_t)done;
  h->fill -= (uint32_t)done;
  if (h->fill == 0) h->offset = 0;
  return h->fill == 0 ? 0 : -1;
}

KVR_EXPORT AviFioHandle* __AVI_DMX__fioOpen(const char* path, uint32_t mode, uint32_t cacheSize) {
  char text[4];
  int n = 0;
  switch (mode & 0x71) {
    case 0x10: text[n++] = 'r'; break;
    case 0x20: case 0x21: text[n++] = 'w'; break;
    case 0x30: text[n++] = 'r'; text[n++] = '+'; break;
    case 0x31: text[n++] = 'w'; text[n++] = '+'; break;
    case 0x40: text[n++] = 'a'; break;
    case 0x50: text[n++] = 'a'; text[n++] = '+'; break;
    default: return NULL;
  }
  switch (mode & 0x300) {
    case 0x100: text[n++] = 't'; break;
    case 0x200: text[n++] = 'b'; break;
    case 0x300: return NULL;
    default: break;
  }
  text[n] = 0;
  if (!g_fio.fopen || !g_fio.malloc || !g_fio.free || cacheSize == 0) return NULL;
  void* file = g_fio.fopen(path, text);
  if (file == NULL) return NULL;
  AviFioHandle* h = (AviFioHandle*)g_fio.malloc(sizeof(AviFioHandle));
  uint8_t* cache = (uint8_t*)g_fio.malloc(cacheSize);
  if (h == NULL || cache == NULL) {
    g_fio.fclose(file);
    if (h) g_fio.free(h);
    if (cache) g_fio.free(cache);
    return NULL;
  }
  h->file = file;
  h->cache = cache;
  h->offset = 0;
  h->fill = 0;
  h->state = AVI_FIO_IDLE;
  h->refill = cacheSize;
  h->capacity = cacheSize;
  return h;
}

KVR_EXPORT int32_t __AVI_DMX__fioFlush(AviFioHandle* h) {
  if (h == NULL) return -1;
  if (h->state == AVI_FIO_WRITING) fio_write_pending(h);
  fio_drop(h);
  h->state = AVI_FIO_IDLE;
  return g_fio.fflush ? g_fio.fflush(h->file) : 0;
}

KVR_EXPORT int32_t __AVI_DMX__fioClose(AviFioHandle* h) {
  if (h == NULL) return 0;
  if (h->state == AVI_FIO_WRITING) fio_write_pending(h);
  void* file = h->file;
  g_fio.free(h->cache);
  g_fio.free(h);
  return g_fio.fclose(file);
}

KVR_EXPORT int32_t __AVI_DMX__fioShowBytesByPtr(const uint8_t** out, uint32_t n, AviFioHandle* h) {
  if (h == NULL || out == NULL || h->state == AVI_FIO_WRITING) return 0;
  h->state = AVI_FIO_READING;
  if (n > h->capacity) return 0;
  if (h->fill < n) {
    if (h->offset != 0 && h->fill != 0) g_fio.memmove(h->cache, h->cache + h->offset, h->fill);
    h->offset = 0;
    if (h->refill > h->fill) {
      uint32_t want = h->refill - h->fill;
      if (want < n - h->fill) want = n - h->fill; /* a lowered refill size still serves the peek */
      if (want > h->capacity - h->fill) want = h->capacity - h->fill;
      size_t got = g_fio.fread(h->cache + h->fill, 1, want, h->file);
      if ((int64_t)(intptr_t)got > 0) h->fill += (uint32_t)(got > want ? want : got);
    } else if (n > h->fill) {
      uint32_t want = n - h->fill;
      size_t got = g_fio.fread(h->cache + h->fill, 1, want, h->file);
      if ((int64_t)(intptr_t)got > 0) h->fill += (uint32_t)(got > want ? want : got);
    }
  }
  *out = h->cache + h->offset;
  return (int32_t)(n < h->fill ? n : h->fill);
}

KVR_EXPORT int32_t __AVI_DMX__fioShowBytesByCopy(uint8_t* dst, uint32_t n, AviFioHandle* h) {
  const uint8_t* p = NULL;
  int32_t got = __AVI_DMX__fioShowBytesByPtr(&p, n, h);
  if (got > 0 && dst != NULL) g_fio.memcpy(dst, p, (size_t)got);
  return got;
}

KVR_EXPORT void __AVI_DMX__fioSkipBytes(uint32_t n, AviFioHandle* h) {
  if (h == NULL || h->state == AVI_FIO_WRITING) return;
  h->state = AVI_FIO_READING;
  if (h->fill >= n) {
    h->offset += n;
    h->fill -= n;
    if (h->fill == 0) h->offset = 0;
    return;
  }
  uint32_t rest = n - h->fill;
  fio_drop(h);
  fio_host_seek(h->file, rest, KVR_SEEK_CUR);
}

/* One host read into dst; the bytes delivered (0 on error). */
static uint32_t fio_host_read(void* dst, uint32_t n, AviFioHandle* h) {
  size_t got = g_fio.fread(dst, 1, n, h->file);
  if ((int64_t)(intptr_t)got <= 0) return 0;
  return got > n ? n : (uint32_t)got;
}

KVR_EXPORT uint32_t __AVI_DMX__fioRead(void* dst, uint32_t size, uint32_t count, AviFioHandle* h) {
  if (h == NULL || dst == NULL || size == 0) return 0;
  uint64_t total64 = (uint64_t)size * count;
  if (total64 > 0x7FFFFFFFu) return 0;
  uint32_t total = (uint32_t)total64;
  uint8_t* out = (uint8_t*)dst;
  if (h->state == AVI_FIO_WRITING) __AVI_DMX__fioFlush(h);
  h->state = AVI_FIO_READING;
  if (h->fill >= total) {
    g_fio.memcpy(out, h->cache + h->offset, total);
    h->offset += total;
    h->fill -= total;
    if (h->fill == 0) h->offset = 0;
    return count;
  }
  uint32_t done = h->fill;
  if (done) g_fio.memcpy(out, h->cache + h->offset, done);
  fio_drop(h);
  uint32_t chunk = total > h->capacity ? h->refill : h->capacity;
  if (total > h->capacity) {
    while (total - done > h->refill) {
      uint32_t got = fio_host_read(out + done, h->refill, h);
      done += got;
      if (got < h->refill) return done / size;
    }
  }
  uint32_t got = fio_host_read(h->cache, chunk, h);
  uint32_t take = total - done < got ? total - done : got;
  g_fio.memcpy(out + done, h->cache, take);
  done += take;
  if (take < got) {
    h->offset = take;
    h->fill = got - take;
  }
  return done / size;
}

KVR_EXPORT uint32_t __AVI_DMX__IoWrite(const void* src, uint32_t size, uint32_t count,
                                       AviFioHandle* h) {
  if (h == NULL || src == NULL || size == 0) return 0;
  uint64_t total64 = (uint64_t)size * count;
  if (total64 > 0x7FFFFFFFu) return 0;
  uint32_t total = (uint32_t)total64;
  const uint8_t* in = (const uint8_t*)src;
  if (h->state == AVI_FIO_READING) __AVI_DMX__fioFlush(h);
  h->state = AVI_FIO_WRITING;
  if ((uint64_t)h->fill + total < h->capacity) {
    if (h->offset != 0) {
      g_fio.memmove(h->cache, h->cache + h->offset, h->fill);
      h->offset = 0;
    }
    g_fio.memcpy(h->cache + h->fill, in, total);
    h->fill += total;
    return count;
  }
  if (fio_write_pending(h) != 0) return 0;
  uint32_t done = 0;
  while (total - done >= h->capacity) {
    size_t put = g_fio.fwrite(in + done, 1, h->capacity, h->file);
    if (put != h->capacity) return 0;
    done += h->capacity;
  }
  g_fio.memcpy(h->cache, in + done, total - done);
  h->offset = 0;
  h->fill = total - done;
  return count;
}

KVR_EXPORT int32_t __AVI_DMX__fioSeek64(AviFioHandle* h, int64_t offset, int32_t whence) {
  if (h == NULL) return -1;
  if (h->state == AVI_FIO_WRITING) __AVI_DMX__fioFlush(h);
  switch (whence) {
    case KVR_SEEK_CUR:
      if (offset >= 0 && offset < (int64_t)h->fill) {
        h->offset += (uint32_t)offset;
        h->fill -= (uint32_t)offset;
        if (h->fill == 0) h->offset = 0;
        return 0;
      }
      offset -= h->fill; /* the host position is ahead of ours by the fill */
      fio_drop(h);
      return fio_host_seek(h->file, offset, KVR_SEEK_CUR);
    case KVR_SEEK_SET:
      fio_drop(h);
      return fio_host_seek(h->file, offset, KVR_SEEK_SET);
    case KVR_SEEK_END:
      fio_drop(h);
      return fio_host_seek(h->file, offset, avi_do_not_seek_to_eof == 1 ? KVR_SEEK_SET : KVR_SEEK_END);
    default:
      return -1;
  }
}

KVR_EXPORT int32_t __AVI_DMX__fioSeek(AviFioHandle* h, int32_t offset, int32_t whence) {
  if (h == NULL) return -1;
  if (h->state == AVI_FIO_WRITING) __AVI_DMX__fioFlush(h);
  switch (whence) {
    case KVR_SEEK_CUR:
      if (offset >= 0 && (uint32_t)offset < h->fill) return __AVI_DMX__fioSeek64(h, offset, whence);
      offset -= (int32_t)h->fill;
      fio_drop(h);
      return g_fio.fseek(h->file, offset, KVR_SEEK_CUR);
    case KVR_SEEK_SET:
      fio_drop(h);
      return g_fio.fseek(h->file, offset, KVR_SEEK_SET);
    case KVR_SEEK_END:
      fio_drop(h);
      return g_fio.fseek(h->file, offset, avi_do_not_seek_to_eof == 1 ? KVR_SEEK_SET : KVR_SEEK_END);
    default:
      return -1;
  }
}

KVR_EXPORT int64_t __AVI_DMX__fioTell64(AviFioHandle* h) {
  if (h == NULL) return -1;
  int64_t pos = fio_host_tell(h->file);
  return pos < 0 ? pos : pos - (int64_t)h->fill;
}

KVR_EXPORT int32_t __AVI_DMX__fioTell(AviFioHandle* h) {
  if (h == NULL) return -1;
  int32_t pos = g_fio.ftell(h->file);
  return pos < 0 ? pos : pos - (int32_t)h->fill;
}

KVR_EXPORT int32_t __AVI_DMX__fioIsEof(AviFioHandle* h) {
  if (h == NULL) return 1;
  if (h->fill != 0) return 0;
  return g_fio.feof ? g_fio.feof(h->file) : 0;
}

KVR_EXPORT int32_t __AVI_DMX__fioSetCacheReadSize(AviFioHandle* h, uint32_t n) {
  if (h == NULL || n > h->capacity) return 0;
  h->refill = n == 0 ? h->capacity : n;
  return 1;
}
