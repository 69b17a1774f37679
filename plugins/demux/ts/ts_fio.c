/* Buffered file I/O over the host's file callbacks: a read cache with peeks
 * that do not consume, cheap skips inside the cache, and a write buffer. */
#include "ts_fio.h"

#include <string.h>

static TsFioTable g_fio;

KVR_EXPORT void __TS_DMX__fioSetFunc(void* const* table) {
  if (table == NULL) return;
  memcpy(&g_fio, table, sizeof(g_fio));
}

static int64_t fio_file_seek(void* file, int64_t offset, int32_t whence) {
  if (g_fio.fseek64) return g_fio.fseek64(file, offset, whence);
  if (offset > INT32_MAX || offset < INT32_MIN) return -1;
  return g_fio.fseek(file, (int32_t)offset, whence);
}

static int64_t fio_file_tell(void* file) {
  if (g_fio.ftell64) return g_fio.ftell64(file);
  return g_fio.ftell(file);
}

/* Writes the pending bytes; returns 0 when all went out. */
static int fio_write_pending(FioHandle* h) {
  if (h->state != FIO_WRITING || h->valid == 0) return 0;
  size_t done = g_fio.fwrite(h->cache + h->offset, 1, h->valid, h->file);
  if (done > h->valid) done = h->valid;
  h->offset += (uint32_t)done;
  h->valid -= (uint32_t)done;
  if (h->valid == 0) h->offset = 0;
  return h->valid == 0 ? 0 : -1;
}

KVR_EXPORT FioHandle* __TS_DMX__fioOpen(const char* path, uint32_t flags, uint32_t cacheSize,
                                        uint32_t extraSize) {
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
  if (!g_fio.fopen || !g_fio.malloc || !g_fio.free) return NULL;

  uint32_t size = 1024, fill = 0, extra = 0, extraMode = 0;
  if (flags & 0x1000) {
    if (cacheSize == 0) return NULL; /* a zero cache could never serve a peek */
    size = cacheSize;
    fill = cacheSize;
  }
  if (flags & 0x2000) {
    extra = extraSize;
    extraMode = 1;
  }
  if ((uint64_t)size + extra > 0x7FFFFFFFu) return NULL;

  void* file = g_fio.fopen(path, mode);
  if (file == NULL) return NULL;
  FioHandle* h = (FioHandle*)g_fio.malloc(sizeof(FioHandle));
  if (h == NULL) {
    g_fio.fclose(file);
    return NULL;
  }
  h->cache = (uint8_t*)g_fio.malloc((size_t)size + extra);
  if (h->cache == NULL) {
    g_fio.fclose(file);
    g_fio.free(h);
    return NULL;
  }
  h->file = file;
  h->offset = 0;
  h->valid = 0;
  h->state = FIO_IDLE;
  h->fillSize = fill;
  h->cacheSize = size;
  h->extraMode = extraMode;
  h->extra = extra;
  return h;
}

KVR_EXPORT int32_t __TS_DMX__fioFlush(FioHandle* h) {
  if (h == NULL) return -1;
  if (h->state == FIO_WRITING) fio_write_pending(h);
  h->offset = 0;
  h->valid = 0;
  h->state = FIO_IDLE;
  return g_fio.fflush ? g_fio.fflush(h->file) : 0;
}

KVR_EXPORT int32_t __TS_DMX__fioClose(FioHandle* h) {
  if (h == NULL) return 0;
  if (h->state == FIO_WRITING) fio_write_pending(h);
  void* file = h->file;
  g_fio.free(h->cache);
  g_fio.free(h);
  return g_fio.fclose(file);
}

/* Makes at least n bytes (or what the file still has) available at the
 * cache start; returns the bytes available there, at most n. */
static uint32_t fio_fill(FioHandle* h, uint32_t n) {
  uint32_t limit = h->cacheSize + (h->extraMode ? h->extra : 0);
  if (n > limit) n = limit; /* never ask for more than the cache holds */
  if (h->valid >= n) return n;
  if (h->offset != 0 && h->valid != 0) memmove(h->cache, h->cache + h->offset, h->valid);
  h->offset = 0;
  uint32_t want = n > h->fillSize ? n : h->fillSize;
  if (want > limit) want = limit;
  if (h->valid < want) {
    size_t got = g_fio.fread(h->cache + h->valid, 1, want - h->valid, h->file);
    if (got > want - h->valid) got = want - h->valid;
    h->valid += (uint32_t)got;
  }
  return h->valid < n ? h->valid : n;
}

KVR_EXPORT int32_t __TS_DMX__fioShowBytesByPtr(const uint8_t** out, uint32_t n, FioHandle* h) {
  if (h == NULL || out == NULL) return 0;
  if (h->state == FIO_WRITING) return 0;
  h->state = FIO_READING;
  if (h->valid >= n) {
    *out = h->cache + h->offset;
    return (int32_t)n;
  }
  uint32_t got = fio_fill(h, n);
  *out = h->cache;
  return (int32_t)got;
}

KVR_EXPORT int32_t __TS_DMX__fioShowBytesByCopy(uint8_t* dst, uint32_t n, FioHandle* h) {
  const uint8_t* p = NULL;
  int32_t got = __TS_DMX__fioShowBytesByPtr(&p, n, h);
  if (got > 0 && dst) memcpy(dst, p, (size_t)got);
  return got;
}

KVR_EXPORT int32_t __TS_DMX__fioSkipBytes(uint32_t n, FioHandle* h) {
  if (h == NULL || h->state == FIO_WRITING) return -1;
  if (h->valid >= n) {
    h->offset += n;
    h->valid -= n;
    if (h->valid == 0) h->offset = 0;
    return (int32_t)n;
  }
  uint32_t cached = h->valid;
  h->offset = 0;
  h->valid = 0;
  if (fio_file_seek(h->file, (int64_t)(n - cached), KVR_SEEK_CUR) != 0) return (int32_t)cached;
  return (int32_t)n;
}

KVR_EXPORT uint32_t __TS_DMX__fioRead(void* dst, uint32_t size, uint32_t count, FioHandle* h) {
  if (h == NULL || dst == NULL || size == 0) return 0;
  uint64_t total64 = (uint64_t)size * count;
  if (total64 > 0x7FFFFFFFu) return 0;
  uint32_t total = (uint32_t)total64;
  uint8_t* out = (uint8_t*)dst;
  if (h->state == FIO_WRITING) __TS_DMX__fioFlush(h);
  h->state = FIO_READING;
  if (total < h->valid) {
    memcpy(out, h->cache + h->offset, total);
    h->offset += total;
    h->valid -= total;
    return count;
  }
  uint32_t done = h->valid;
  if (done) memcpy(out, h->cache + h->offset, done);
  h->offset = 0;
  h->valid = 0;
  uint32_t remaining = total - done;
  uint32_t f = h->fillSize;
  if (remaining > 0) {
    if (f == 0 || (remaining >= f && !h->extraMode)) {
      size_t got = g_fio.fread(out + done, 1, remaining, h->file);
      if (got > remaining) got = remaining;
      done += (uint32_t)got;
    } else {
      int shortRead = 0;
      if (h->extraMode) {
        while (remaining > f) {
          size_t got = g_fio.fread(out + done, 1, f, h->file);
          if (got > f) got = f;
          done += (uint32_t)got;
          remaining -= (uint32_t)got;
          if (got < f) {
            shortRead = 1;
            break;
          }
        }
      }
      if (!shortRead && remaining > 0) {
        size_t got = g_fio.fread(h->cache, 1, f, h->file);
        if (got > f) got = f;
        uint32_t take = remaining < got ? remaining : (uint32_t)got;
        memcpy(out + done, h->cache, take);
        done += take;
        h->offset = take;
        h->valid = (uint32_t)got - take;
        if (h->valid == 0) h->offset = 0;
      }
    }
  }
  return done / size;
}

KVR_EXPORT uint32_t __TS_DMX__fioWrite(const void* src, uint32_t size, uint32_t count,
                                       FioHandle* h) {
  if (h == NULL || src == NULL || size == 0) return 0;
  uint64_t total64 = (uint64_t)size * count;
  if (total64 > 0x7FFFFFFFu) return 0;
  uint32_t total = (uint32_t)total64;
  if (h->state == FIO_READING) __TS_DMX__fioFlush(h);
  h->state = FIO_WRITING;
  if ((uint64_t)h->valid + total >= h->cacheSize) {
    if (fio_write_pending(h) != 0) return 0;
    if (total < h->cacheSize) {
      memcpy(h->cache, src, total);
      h->offset = 0;
      h->valid = total;
      return count;
    }
    size_t done = g_fio.fwrite(src, 1, total, h->file);
    if (done > total) done = total;
    return (uint32_t)done / size;
  }
  if (h->offset != 0) {
    memmove(h->cache, h->cache + h->offset, h->valid);
    h->offset = 0;
  }
  memcpy(h->cache + h->valid, src, total);
  h->valid += total;
  return count;
}

KVR_EXPORT int32_t __TS_DMX__fioSeek64(FioHandle* h, int64_t offset, int32_t whence) {
  if (h == NULL) return -1;
  if (h->state == FIO_WRITING) __TS_DMX__fioFlush(h);
  if (whence == KVR_SEEK_CUR) {
    if (offset >= 0 && offset < (int64_t)h->valid) {
      h->offset += (uint32_t)offset;
      h->valid -= (uint32_t)offset;
      return 0;
    }
    int64_t rel = offset - (int64_t)h->valid;
    h->offset = 0;
    h->valid = 0;
    return (int32_t)fio_file_seek(h->file, rel, KVR_SEEK_CUR);
  }
  if (whence == KVR_SEEK_SET || whence == KVR_SEEK_END) {
    h->offset = 0;
    h->valid = 0;
    return (int32_t)fio_file_seek(h->file, offset, whence);
  }
  return -1;
}

KVR_EXPORT int32_t __TS_DMX__fioSeek(FioHandle* h, int32_t offset, int32_t whence) {
  return __TS_DMX__fioSeek64(h, offset, whence);
}

KVR_EXPORT int64_t __TS_DMX__fioTell64(FioHandle* h) {
  if (h == NULL) return -1;
  int64_t pos = fio_file_tell(h->file);
  if (pos < 0) return pos;
  return h->state == FIO_READING ? pos - (int64_t)h->valid : pos + (int64_t)h->valid;
}

KVR_EXPORT int32_t __TS_DMX__fioTell(FioHandle* h) { return (int32_t)__TS_DMX__fioTell64(h); }

KVR_EXPORT int32_t __TS_DMX__fioIsEof(FioHandle* h) {
  if (h == NULL) return 1;
  if (h->valid != 0) return 0;
  return g_fio.feof ? g_fio.feof(h->file) : 0;
}

KVR_EXPORT int32_t __TS_DMX__fioSetCacheReadSize(FioHandle* h, uint32_t n) {
  if (h == NULL || n > h->cacheSize) return 0;
  h->fillSize = n == 0 ? h->cacheSize : n;
  return 1;
}

KVR_EXPORT uint32_t __TS_DMX__fioGetCacheReadSize(FioHandle* h) { return h ? h->fillSize : 0; }

KVR_EXPORT int64_t __TS_DMX__fiodbgReadBytes(void) { return 0; }

KVR_EXPORT void __TS_DMX__fiodbgReset(void) {}
