/* Host-function globals, the cached byte reader, growable arrays and the
 * string functions of the MP4 library. */
#include "mp4_internal.h"

int32_t gMp4DmxLastErrorCode;

KvrMallocFn mp4_dmx_io_malloc;
KvrMallocFn mp4_dmx_io_nc_malloc;
KvrFreeFn mp4_dmx_io_free;
KvrFreeFn mp4_dmx_io_nc_free;
KvrMemcpyFn mp4_dmx_io_memcpy;
KvrMemsetFn mp4_dmx_io_memset;
KvrReallocFn mp4_dmx_io_realloc;
KvrMemmoveFn mp4_dmx_io_memmove;
KvrFopenFn mp4_dmx_io_fopen;
KvrFreadFn mp4_dmx_io_fread;
KvrFseekFn mp4_dmx_io_fseek;
KvrFtellFn mp4_dmx_io_ftell;
KvrFwriteFn mp4_dmx_io_fwrite;
KvrFcloseFn mp4_dmx_io_fclose;
KvrUnlinkFn mp4_dmx_io_unlink;
KvrFseek64Fn mp4_dmx_io_fseek64;
KvrFtell64Fn mp4_dmx_io_ftell64;

void* mp4_alloc(size_t size) { return mp4_dmx_io_malloc(size ? size : 1); }
void* mp4_zalloc(size_t size) {
  void* p = mp4_alloc(size);
  if (p) mp4_dmx_io_memset(p, 0, size);
  return p;
}
void mp4_release(void* p) {
  if (p) mp4_dmx_io_free(p);
}
void* mp4_resize(void* p, size_t size) { return mp4_dmx_io_realloc(p, size ? size : 1); }
void mp4_copy(void* d, const void* s, size_t n) {
  if (n) mp4_dmx_io_memcpy(d, s, n);
}
void mp4_fill(void* d, int v, size_t n) {
  if (n) mp4_dmx_io_memset(d, v, n);
}

/* ---- reader ---- */

static int32_t host_seek(void* handle, int64_t position) {
  if (mp4_dmx_io_fseek64) return mp4_dmx_io_fseek64(handle, position, KVR_SEEK_SET) == 0 ? 0 : MP4_ERR_SEEK;
  if (position < 0 || position > 0x7FFFFFFF) return MP4_ERR_SEEK;
  return mp4_dmx_io_fseek(handle, (int32_t)position, KVR_SEEK_SET) == 0 ? 0 : MP4_ERR_SEEK;
}

static int64_t host_tell(void* handle) {
  return mp4_dmx_io_ftell64 ? mp4_dmx_io_ftell64(handle) : (int64_t)mp4_dmx_io_ftell(handle);
}

/* Reads up to count bytes, retrying short reads; the bytes read. */
static int64_t host_read(void* handle, uint8_t* dst, int64_t count) {
  int64_t got = 0;
  while (got < count) {
    size_t n = mp4_dmx_io_fread(dst + got, 1, (size_t)(count - got), handle);
    if (n == 0 || n > (size_t)(count - got)) break;
    got += (int64_t)n;
  }
  return got;
}

static void empty_cache(Mp4Reader* r, int64_t position) {
  r->valid = 0;
  r->index = 0;
  r->bit_offset = 0;
  r->start = r->end = 0;
  r->file_pos = position;
}

static int32_t refill(Mp4Reader* r) {
  if (!r->cache) return gMp4DmxLastErrorCode = MP4_ERR_NO_CACHE;
  int64_t pos = r->handle ? host_tell(r->handle) : -1;
  if (pos < 0) pos = r->file_pos + r->valid;
  int64_t n = r->handle ? host_read(r->handle, r->cache, r->cache_size) : 0;
  if (n <= 0) {
    empty_cache(r, pos < 0 ? r->file_pos + r->valid : pos);
    r->eof = 1;
    return gMp4DmxLastErrorCode = MP4_ERR_EOF;
  }
  r->file_pos = pos;
  r->valid = (int32_t)n;
  r->index = 0;
  r->start = r->cache;
  r->end = r->cache + n;
  return 0;
}

int32_t mp4_dmx_open_bitstream(Mp4Reader* r, int32_t cache_size, void* handle) {
  mp4_fill(r, 0, sizeof(*r));
  if (cache_size <= 0) cache_size = MP4_DEFAULT_CACHE;
  r->cache = (uint8_t*)mp4_alloc((size_t)cache_size);
  if (!r->cache) return gMp4DmxLastErrorCode = MP4_ERR_MEMORY;
  r->cache_size = cache_size;
  r->handle = handle;
  return 0;
}

int32_t mp4_dmx_close_bitstream(Mp4Reader* r) {
  int32_t result = 0;
  mp4_release(r->cache);
  r->cache = 0;
  if (r->handle) result = mp4_dmx_io_fclose(r->handle);
  r->handle = 0;
  empty_cache(r, 0);
  return result;
}

int32_t mp4_dmx_open_bitstream_from_external_memory(Mp4Reader* r, uint8_t* buffer, int32_t size, void* handle) {
  mp4_fill(r, 0, sizeof(*r));
  r->cache = buffer;
  r->cache_size = size;
  r->handle = handle;
  return 0;
}

int32_t mp4_dmx_close_bitstream_from_external_memory(Mp4Reader* r) {
  int32_t result = r->handle ? mp4_dmx_io_fclose(r->handle) : 0;
  r->handle = 0;
  r->cache = 0;
  empty_cache(r, 0);
  return result;
}

int32_t mp4_dmx_bs_read_bytes(Mp4Reader* r, void* buffer, int32_t count) {
  uint8_t* dst = (uint8_t*)buffer;
  int64_t left = count;
  while (left > 0) {
    int32_t avail = r->valid - r->index;
    if (avail > 0) {
      int32_t n = avail < left ? avail : (int32_t)left;
      mp4_copy(dst, r->cache + r->index, (size_t)n);
      r->index += n;
      dst += n;
      left -= n;
      continue;
    }
    if (left >= r->cache_size && r->handle && r->cache) {
      /* A long read goes straight to the caller's buffer. */
      int64_t at = r->file_pos + r->valid;
      int64_t got = host_read(r->handle, dst, left);
      empty_cache(r, at + got);
      if (got < left) {
        r->eof = 1;
        return gMp4DmxLastErrorCode = MP4_ERR_EOF;
      }
      return 0;
    }
    int32_t e = refill(r);
    if (e) return e;
  }
  r->bit_offset = r->index / 8;
  return 0;
}

int32_t mp4_dmx_bs_read_1byte(Mp4Reader* r, uint8_t* out) {
  if (r->index < r->valid) {
    *out = r->cache[r->index++];
    return 0;
  }
  return mp4_dmx_bs_read_bytes(r, out, 1);
}

int32_t mp4_dmx_bs_show_bytes(Mp4Reader* r, void* buffer, int32_t count) {
  if (count < 0 || count > r->cache_size) count = count < 0 ? 0 : r->cache_size;
  if (r->valid - r->index < count) {
    if (!r->cache) return gMp4DmxLastErrorCode = MP4_ERR_NO_CACHE;
    /* Move the unread tail to the front and fill the cache behind it. */
    int32_t tail = r->valid - r->index;
    if (tail > 0 && r->index > 0) {
      if (mp4_dmx_io_memmove) mp4_dmx_io_memmove(r->cache, r->cache + r->index, (size_t)tail);
      else for (int32_t i = 0; i < tail; ++i) r->cache[i] = r->cache[r->index + i];
    }
    r->file_pos += r->index;
    r->index = 0;
    r->valid = tail;
    if (r->handle) {
      int64_t got = host_read(r->handle, r->cache + tail, r->cache_size - tail);
      if (got > 0) r->valid += (int32_t)got;
    }
    r->start = r->cache;
    r->end = r->cache + r->valid;
    if (r->valid < count) count = r->valid;
    if (count == 0) {
      r->eof = 1;
      return gMp4DmxLastErrorCode = MP4_ERR_EOF;
    }
  }
  mp4_copy(buffer, r->cache + r->index, (size_t)count);
  return count;
}

/* Brings `distance` bytes before the cache start back into the cache,
 * keeping what the cache holds behind them. */
static int32_t shift_back(Mp4Reader* r, int32_t distance) {
  int32_t keep = r->valid;
  if (keep + distance > r->cache_size) keep = r->cache_size - distance;
  if (keep > 0) mp4_dmx_io_memmove(r->cache + distance, r->cache, (size_t)keep);
  int64_t at = r->file_pos - distance;
  if (host_seek(r->handle, at)) return gMp4DmxLastErrorCode = MP4_ERR_SEEK;
  if (host_read(r->handle, r->cache, distance) != distance) {
    r->eof = 1;
    empty_cache(r, at);
    host_seek(r->handle, at);
    return gMp4DmxLastErrorCode = MP4_ERR_EOF;
  }
  if (host_seek(r->handle, at + distance + keep)) return gMp4DmxLastErrorCode = MP4_ERR_SEEK;
  r->file_pos = at;
  r->valid = distance + keep;
  r->index = 0;
  r->start = r->cache;
  r->end = r->cache + r->valid;
  return 0;
}

static int32_t jump(Mp4Reader* r, int64_t position) {
  if (position < 0) return gMp4DmxLastErrorCode = MP4_ERR_SEEK;
  empty_cache(r, position);
  if (r->handle && host_seek(r->handle, position)) return gMp4DmxLastErrorCode = MP4_ERR_SEEK;
  r->eof = 0;
  return 0;
}

int32_t mp4_dmx_bs_fseek(Mp4Reader* r, int64_t position) {
  if (position >= r->file_pos && position <= r->file_pos + r->valid) {
    r->index = (int32_t)(position - r->file_pos);
    return 0;
  }
  if (position < r->file_pos && r->file_pos - position < r->valid && mp4_dmx_io_memmove && r->handle)
    return shift_back(r, (int32_t)(r->file_pos - position));
  return jump(r, position);
}

int32_t mp4_dmx_bs_skip_bytes(Mp4Reader* r, int64_t count) {
  int64_t target = (int64_t)r->index + count;
  if (target >= 0 && target <= r->valid) {
    r->index = (int32_t)target;
    return 0;
  }
  return mp4_dmx_bs_fseek(r, r->file_pos + target);
}

int32_t mp4_dmx_bs_fseek_reset(Mp4Reader* r, int64_t position) {
  if (!r->handle) {
    empty_cache(r, position);
    return 0;
  }
  return jump(r, position);
}

int32_t mp4_dmx_bs_ready_cache(Mp4Reader* r, int64_t position) {
  if (r->handle) return mp4_dmx_bs_fseek_reset(r, position);
  if (r->index >= r->valid) return refill(r);
  return 0;
}

static int32_t read_n(Mp4Reader* r, int n, uint8_t* b) {
  if (r->valid - r->index >= n) {
    mp4_copy(b, r->cache + r->index, (size_t)n);
    r->index += n;
    return 0;
  }
  return mp4_dmx_bs_read_bytes(r, b, n);
}

static uint64_t be(const uint8_t* b, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | b[i];
  return v;
}
static uint64_t le(const uint8_t* b, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[i];
  return v;
}

int32_t mp4_dmx_bs_read_be16(Mp4Reader* r, uint16_t* out) {
  uint8_t b[2];
  int32_t e = read_n(r, 2, b);
  if (!e) *out = (uint16_t)be(b, 2);
  return e;
}
int32_t mp4_dmx_bs_read_le16(Mp4Reader* r, uint16_t* out) {
  uint8_t b[2];
  int32_t e = read_n(r, 2, b);
  if (!e) *out = (uint16_t)le(b, 2);
  return e;
}
int32_t mp4_dmx_bs_read_be32(Mp4Reader* r, uint32_t* out) {
  uint8_t b[4];
  int32_t e = read_n(r, 4, b);
  if (!e) *out = (uint32_t)be(b, 4);
  return e;
}
int32_t mp4_dmx_bs_read_le32(Mp4Reader* r, uint32_t* out) {
  uint8_t b[4];
  int32_t e = read_n(r, 4, b);
  if (!e) *out = (uint32_t)le(b, 4);
  return e;
}
int32_t mp4_dmx_bs_read_be64(Mp4Reader* r, uint64_t* out) {
  uint8_t b[8];
  int32_t e = read_n(r, 8, b);
  if (!e) *out = be(b, 8);
  return e;
}
int32_t mp4_dmx_bs_read_le64(Mp4Reader* r, uint64_t* out) {
  uint8_t b[8];
  int32_t e = read_n(r, 8, b);
  if (!e) *out = le(b, 8);
  return e;
}

/* Short forms used by the box handlers. */
int32_t mp4_rd8(Mp4Reader* r, uint32_t* v) {
  if (r->index < r->valid) {
    *v = r->cache[r->index++];
    return 0;
  }
  uint8_t b;
  int32_t e = mp4_dmx_bs_read_bytes(r, &b, 1);
  if (!e) *v = b;
  return e;
}
int32_t mp4_rd16(Mp4Reader* r, uint32_t* v) {
  uint16_t x;
  int32_t e = mp4_dmx_bs_read_be16(r, &x);
  if (!e) *v = x;
  return e;
}
int32_t mp4_rd32(Mp4Reader* r, uint32_t* v) {
  if (r->valid - r->index >= 4) {
    const uint8_t* b = r->cache + r->index;
    *v = ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
    r->index += 4;
    return 0;
  }
  return mp4_dmx_bs_read_be32(r, v);
}
int32_t mp4_rd64(Mp4Reader* r, uint64_t* v) { return mp4_dmx_bs_read_be64(r, v); }
int32_t mp4_skip(Mp4Reader* r, int64_t n) { return mp4_dmx_bs_skip_bytes(r, n); }

/* ---- arrays ---- */

void mp4_dmx_array_clear(Mp4Array* a) {
  mp4_release(a->start);
  a->start = a->end = 0;
  a->capacity = 0;
}

static int32_t array_resize(Mp4Array* a, int64_t capacity) {
  if (capacity > 0x7FFFFFFF) return 0;
  int32_t used = (int32_t)(a->end - a->start);
  uint8_t* p = (uint8_t*)mp4_resize(a->start, (size_t)capacity);
  if (!p) return 0;
  a->start = p;
  a->end = p + used;
  a->capacity = (int32_t)capacity;
  return 1;
}

static int64_t round_up(int64_t v, int32_t alignment) {
  if (alignment <= 1) return v;
  return (v + alignment - 1) & ~(int64_t)(alignment - 1);
}

int32_t mp4_dmx_array_append(Mp4Array* a, const void* source, int32_t n, int32_t alignment) {
  int64_t used = a->end - a->start;
  if (n < 0) return 0;
  if (a->capacity < used + n && !array_resize(a, round_up(used + n, alignment))) return 0;
  if (source) mp4_copy(a->end, source, (size_t)n);
  a->end += n;
  return 1;
}

int32_t mp4_dmx_array_alloc(Mp4Array* a, int32_t size, int32_t alignment) {
  int64_t used = a->end - a->start;
  int64_t want = round_up(size, alignment);
  if (want < used) want = used;
  return array_resize(a, want);
}

Mp4Array* mp4_dmx_array_lock(Mp4Array* a) { return a; }

/* ---- strings ---- */

char* mp4_dmx_io_strcpy(char* dst, const char* src) {
  char* d = dst;
  while ((*d++ = *src++) != 0) {}
  return dst;
}

char* mp4_dmx_io_strcat(char* dst, const char* src) {
  mp4_dmx_io_strcpy(dst + mp4_dmx_io_strlen(dst), src);
  return dst;
}

int32_t mp4_dmx_io_strlen(const char* text) {
  int32_t n = 0;
  while (text[n]) ++n;
  return n;
}

char* mp4_dmx_io_strchr(const char* text, int32_t c) {
  for (; *text; ++text)
    if (*text == (char)c) return (char*)text;
  return 0;
}

char* mp4_dmx_io_strstr(const char* text, const char* pattern) {
  if (!*text) return 0;
  for (; *text; ++text) {
    const char* a = text;
    const char* b = pattern;
    while (*a && *b && *a == *b) ++a, ++b;
    if (!*b) return (char*)text;
  }
  return 0;
}

int32_t mp4_dmx_io_strcmp(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (*a != *b) return (uint8_t)*a - (uint8_t)*b;
  return 0;
}

int32_t mp4_dmx_io_strncmp(const char* a, const char* b, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    if (a[i] != b[i]) return (uint8_t)a[i] - (uint8_t)b[i];
    if (!a[i]) return 0;
  }
  return 0;
}

int32_t mp4_dmx_io_toupper(int32_t c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
