/* The cached byte reader over a host file handle and the bit reader over
 * memory. */
#include <stdio.h>

#include "mpg_internal.h"

void ps_eof(const char* function, int line) {
  printf("\33[31m $$$$ %s %d end_of_file \33[0m\n", function, line);
}

void ps_reader_clear(MpgByteReader* r) {
  r->start = r->end = NULL;
  r->bit_offset = r->bits = r->length = r->cursor = 0;
  r->block_pos = 0;
  r->handle = NULL;
  r->cache = NULL;
  r->cache_size = 0;
}

static uint64_t handle_pos(const MpgByteReader* r) {
  if (r->host->tell64) return (uint64_t)r->host->tell64(r->handle);
  return (uint32_t)r->host->tell(r->handle);
}

static int32_t handle_seek(const MpgByteReader* r, uint64_t pos) {
  if (r->host->seek64) return r->host->seek64(r->handle, (int64_t)pos, KVR_SEEK_SET);
  if (pos > 0x7FFFFFFFu) return MPG_ERR_SEEK;
  return r->host->seek(r->handle, (int32_t)pos, KVR_SEEK_SET);
}

/* Reads the next block at the handle's position. 0, or MPG_ERR_END. */
static int32_t refill(MpgByteReader* r) {
  if (!r->cache) return MPG_ERR_NO_CACHE;
  size_t n = r->host->read(r->cache, 1, r->cache_size, r->handle);
  if ((int64_t)n <= 0 || n > r->cache_size) {
    r->start = r->end = r->cache;
    r->length = r->bits = r->cursor = 0;
    return MPG_ERR_END;
  }
  r->start = r->cache;
  r->length = (uint32_t)n;
  r->end = r->cache + n;
  r->bits = r->length * 8;
  r->cursor = 0;
  return MPG_OK;
}

int32_t open_bitstream(MpgByteReader* r, uint32_t cache_size, void* handle, const MpgHostFunctions* host) {
  ps_reader_clear(r);
  r->host = host;
  r->handle = handle;
  r->cache = host->allocate(cache_size ? cache_size : 1);
  if (!r->cache) return MPG_ERR_NO_MEMORY;
  r->cache_size = cache_size;
  r->block_pos = 0;
  return refill(r);
}

int32_t close_bitstream(MpgByteReader* r) {
  int32_t result = 0;
  if (!r->host) return 0;
  if (r->cache) r->host->release(r->cache);
  r->cache = NULL;
  if (r->handle) result = r->host->close(r->handle);
  r->handle = NULL;
  r->start = r->end = NULL;
  r->length = r->cursor = r->bits = 0;
  return result;
}

int32_t ps_next_block(MpgByteReader* r) {
  if (!r->cache) return MPG_ERR_NO_CACHE;
  r->block_pos = handle_pos(r);
  return refill(r);
}

int32_t bs_read_1byte(MpgByteReader* r) {
  if (r->cursor >= r->length) {
    int32_t e = ps_next_block(r);
    if (e < 0) return e;
  }
  return r->start[r->cursor++];
}

int32_t bs_read_bytes(MpgByteReader* r, uint8_t* dst, int32_t count) {
  if (count < 1) return 0;
  uint32_t left = (uint32_t)count;
  while (left) {
    if (r->cursor >= r->length) {
      int32_t e = ps_next_block(r);
      if (e < 0) return e;
    }
    uint32_t n = r->length - r->cursor;
    if (n > left) n = left;
    r->host->copy(dst, r->start + r->cursor, n);
    dst += n;
    r->cursor += n;
    left -= n;
  }
  return count;
}

/* `count` bytes composed big-endian (or little-endian). */
static int32_t read_word(MpgByteReader* r, int count, int big, uint32_t* value, const char* name) {
  uint32_t v = 0;
  if (r->length - r->cursor >= (uint32_t)count && r->cursor <= r->length) {
    const uint8_t* p = r->start + r->cursor;
    for (int i = 0; i < count; ++i) v |= (uint32_t)p[i] << (big ? 8 * (count - 1 - i) : 8 * i);
    r->cursor += (uint32_t)count;
    *value = v;
    return MPG_OK;
  }
  for (int i = 0; i < count; ++i) {
    int32_t b = bs_read_1byte(r);
    if (b < 0) {
      ps_eof(name, __LINE__);
      return MPG_ERR_END;
    }
    v |= (uint32_t)b << (big ? 8 * (count - 1 - i) : 8 * i);
  }
  *value = v;
  return MPG_OK;
}

int32_t bs_read_be16(MpgByteReader* r, uint32_t* value) { return read_word(r, 2, 1, value, "bs_read_be16"); }
int32_t bs_read_le16(MpgByteReader* r, uint32_t* value) { return read_word(r, 2, 0, value, "bs_read_le16"); }
int32_t bs_read_be32(MpgByteReader* r, uint32_t* value) { return read_word(r, 4, 1, value, "bs_read_be32"); }
int32_t bs_read_le32(MpgByteReader* r, uint32_t* value) { return read_word(r, 4, 0, value, "bs_read_le32"); }

int32_t bs_read_be64(MpgByteReader* r, kvr_u64* value) {
  uint32_t high, low;
  if (read_word(r, 4, 1, &high, "bs_read_be64") < 0 || read_word(r, 4, 1, &low, "bs_read_be64") < 0)
    return MPG_ERR_END;
  *value = (uint64_t)high << 32 | low;
  return MPG_OK;
}

int32_t bs_read_le64(MpgByteReader* r, kvr_u64* value) {
  uint32_t high, low;
  if (read_word(r, 4, 0, &low, "bs_read_le64") < 0 || read_word(r, 4, 0, &high, "bs_read_le64") < 0)
    return MPG_ERR_END;
  *value = (uint64_t)high << 32 | low;
  return MPG_OK;
}

int32_t bs_show_bytes(MpgByteReader* r, uint8_t* dst, int32_t count) {
  if (count < 1) return 0;
  if (!r->cache) return MPG_ERR_NO_CACHE;
  uint32_t want = (uint32_t)count, have = r->length - r->cursor;
  if (want > have) {
    /* keep what is left of the block at the start of the cache and fill the
       cache behind it */
    if (want > r->cache_size) return MPG_ERR_END;
    const uint8_t* from = r->start + r->cursor;
    for (uint32_t i = 0; i < have; ++i) r->cache[i] = from[i];
    r->block_pos += r->cursor;
    size_t n = r->host->read(r->cache + have, 1, r->cache_size - have, r->handle);
    if ((int64_t)n <= 0 || n > r->cache_size - have) n = 0;
    r->start = r->cache;
    r->length = have + (uint32_t)n;
    r->end = r->cache + r->length;
    r->bits = r->length * 8;
    r->cursor = 0;
    if (want > r->length) return MPG_ERR_END;
  }
  r->host->copy(dst, r->start + r->cursor, want);
  return count;
}

int32_t swap_memcpy(uint8_t* dst, const uint8_t* src, uint32_t count) {
  for (uint32_t i = 0; i + 1 < count + 1; i += 2) {
    uint8_t a = src[i], b = src[i + 1];
    dst[i] = b;
    dst[i + 1] = a;
  }
  return 0;
}

kvr_u64 bs_file_pos(const MpgByteReader* r) { return r->block_pos + r->cursor; }

int32_t bs_fseek(MpgByteReader* r, kvr_u64 position) {
  if (r->cache && position > r->block_pos && position < r->block_pos + r->length) {
    uint32_t cut = (uint32_t)(position - r->block_pos);
    r->start += cut;
    r->length -= cut;
    r->bits = r->length * 8;
    r->cursor = 0;
    r->block_pos = position;
    return MPG_OK;
  }
  if (!r->cache) return MPG_ERR_NO_CACHE;
  r->start = r->end = r->cache;
  r->length = r->cursor = r->bits = 0;
  /* a failed seek is told apart from the end of the file */
  if (handle_seek(r, position) != 0) return MPG_ERR_SEEK;
  r->block_pos = position;
  return refill(r);
}

int32_t bs_fseek_reset(MpgByteReader* r, kvr_u64 position) {
  r->start = r->end = r->cache;
  r->length = r->cursor = r->bits = 0;
  int32_t s = handle_seek(r, position) != 0 ? MPG_ERR_SEEK : MPG_OK;
  r->block_pos = position;
  return s;
}

int32_t bs_skip_bytes(MpgByteReader* r, kvr_u64 count) {
  if (count <= (kvr_u64)(r->length - r->cursor)) {
    r->cursor += (uint32_t)count;
    return MPG_OK;
  }
  int32_t s = bs_fseek(r, bs_file_pos(r) + count);
  return s < 0 ? s : MPG_OK;
}

/* ---- bit reader over memory ---- */

static uint32_t byte_at(const MpgBitReader* b, uint32_t i) { return i < b->size ? b->buffer[i] : 0; }

void initbits(MpgBitReader* b, const uint8_t* buffer, uint32_t size) {
  b->buffer = buffer;
  b->size = size;
  b->look = byte_at(b, 0) << 24 | byte_at(b, 1) << 16 | byte_at(b, 2) << 8 | byte_at(b, 3);
  b->taken = 4;
  b->bit_pos = 0;
}

static uint32_t take(MpgBitReader* b, uint32_t n) {
  uint32_t v = (b->look << b->bit_pos) >> (32 - n);
  b->bit_pos += n;
  while (b->bit_pos >= 8) {
    b->look = b->look << 8 | byte_at(b, b->taken);
    if (b->taken < 0xFFFFFFF0u) b->taken++;
    b->bit_pos -= 8;
  }
  return v;
}

uint32_t getbits(MpgBitReader* b, uint32_t count) {
  if (count == 0) return 0;
  if (count > 32) count = 32;
  if (count <= 24) return take(b, count);
  uint32_t high = take(b, 16);
  return high << (count - 16) | take(b, count - 16);
}

void alignbits(MpgBitReader* b) {
  if (b->bit_pos) take(b, 8 - b->bit_pos);
}

uint32_t used_byte(const MpgBitReader* b) { return b->taken - 4 + (b->bit_pos ? 1 : 0); }

/* The format check's start-up hook: nothing to prepare. */
int32_t common_init(void) { return MPG_OK; }
