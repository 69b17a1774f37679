/* Matroska demuxer: the cached bitstream reader. Each reader keeps the file
 * position of its cache, so seeks that land inside the cache cost nothing and
 * short backward steps keep what overlaps. Readers that share one host file
 * handle put the handle at their own position before every refill. */

#include "mkv_internal.h"

enum { WHO_1BYTE, WHO_READ, WHO_SHOW, WHO_READY };

static const char* const kNoCache[] = {"invalid data: cache is NULL(bs_read_1byte)",
                                       "invalid data: cache is NULL(bs_read_bytes)",
                                       "invalid data: cache is NULL(bs_show_bytes)",
                                       "invalid data: cache is NULL(bs_ready_cache)"};
static const char* const kAtEnd[] = {"the end of the file(bs_read_1byte)", "the end of the file(bs_read_bytes)",
                                     "the end of the file(bs_show_bytes)", "the end of the file(bs_ready_cache)"};

/* Puts the host file at `pos`; the host's result (0 on success). */
static int32_t host_seek(mkv_dmx_bs_t* bs, uint64_t pos) {
  if (bs->host->fseek64_fn) return bs->host->fseek64_fn(bs->file, (int64_t)pos, KVR_SEEK_SET);
  if (!bs->host->fseek_fn || pos > 0x7FFFFFFFu) return -1;
  return bs->host->fseek_fn(bs->file, (int32_t)pos, KVR_SEEK_SET);
}

static void drop_cache(mkv_dmx_bs_t* bs, uint64_t pos) {
  bs->m_pBuf = 0;
  bs->m_pEnd = 0;
  bs->valid = 0;
  bs->m_ulBufBytes = 0;
  bs->bit_count = 0;
  bs->cache_pos = pos;
}

/* Readers on a shared handle put it where their next fill reads from. */
static int32_t own_position(mkv_dmx_bs_t* bs, uint64_t fill_pos) {
  if (!(bs->flags & MKV_BS_SHARED_HANDLE) || host_seek(bs, fill_pos) == 0) return 0;
  return mkv_dmx_set_last_error(MKV_ERR_SEEK, 0, (uint32_t)fill_pos, (uint32_t)(fill_pos >> 32),
                                "can't seek to position mkv wants in fseek64(bs_fseek)", bs->err);
}

static uint32_t host_read(mkv_dmx_bs_t* bs, uint8_t* dst, uint32_t n) {
  size_t got = bs->host->fread_fn(dst, 1, n, bs->file);
  /* A host that reports more than it was asked for, or a negative count,
   * delivered nothing we can trust. */
  if ((intptr_t)got <= 0 || got > n) return 0;
  return (uint32_t)got;
}

/* Refills the cache from the reader's own file position. `want` is the
 * number of bytes still wanted, for readers that grow their cache. */
static int32_t fill(mkv_dmx_bs_t* bs, uint32_t want, int who) {
  const uint64_t fill_pos = bs->cache_pos + bs->valid;
  uint32_t got;
  if (who == WHO_READ && (bs->flags & MKV_BS_GROW) && want > bs->cache_size) {
    uint8_t* grown = (uint8_t*)bs->host->realloc_fn(bs->cache, want);
    if (!grown)
      return mkv_dmx_set_last_error(MKV_ERR_NO_MEMORY, 0, 0, 0, "Insufficient memory to re-allocate of bitstream",
                                    bs->err);
    bs->cache = grown;
    bs->cache_size = want;
  }
  if (!bs->cache || !bs->cache_size) return mkv_dmx_set_last_error(MKV_ERR_INVALID, 0, 0, 0, kNoCache[who], bs->err);
  if (!bs->file) return mkv_dmx_set_last_error(MKV_ERR_END, 0, 0, 0, kAtEnd[who], bs->err);
  if (own_position(bs, fill_pos) < 0) return bs->err->code;
  got = host_read(bs, bs->cache, bs->cache_size);
  if (!got) {
    drop_cache(bs, fill_pos);
    return mkv_dmx_set_last_error(MKV_ERR_END, 0, 0, 0, kAtEnd[who], bs->err);
  }
  bs->cache_pos = fill_pos;
  bs->m_pBuf = bs->cache;
  bs->m_pEnd = bs->cache + got;
  bs->valid = got;
  bs->m_ulBufBytes = 0;
  bs->bit_count = 0;
  return 0;
}

int32_t mkv_dmx_open_bitstream_set(mkv_dmx_bs_t* bs, uint32_t cache_size, void* file, const KvrHostServices* host,
                                   mkv_dmx_last_error_t* err, uint32_t flags) {
  bs->host = host;
  bs->err = err;
  bs->flags = flags;
  bs->reserved = 0;
  bs->cache = 0;
  drop_cache(bs, 0);
  if (cache_size) {
    bs->cache = (uint8_t*)host->malloc_fn(cache_size);
    if (!bs->cache)
      return mkv_dmx_set_last_error(MKV_ERR_NO_MEMORY, 0, 0, 0, "Insufficient memory to allocate(open_bitstream)", err);
  }
  bs->cache_size = cache_size;
  bs->file = file;
  return 0;
}

int32_t mkv_dmx_open_bitstream(mkv_dmx_bs_t* bs, uint32_t cache_size, void* file) {
  return mkv_dmx_open_bitstream_set(bs, cache_size, file, bs->host, bs->err, 0);
}

int32_t mkv_dmx_open_bitstream_from_external_memory(mkv_dmx_bs_t* bs, uint8_t* buffer, uint32_t size, void* file) {
  drop_cache(bs, 0);
  bs->cache = buffer;
  bs->cache_size = size;
  bs->file = file;
  return 0;
}

void mkv_dmx_close_bitstream(mkv_dmx_bs_t* bs) {
  if (!bs->host) return;
  if (bs->cache) bs->host->free_fn(bs->cache);
  bs->cache = 0;
  if (bs->file) bs->host->fclose_fn(bs->file);
  bs->file = 0;
  drop_cache(bs, 0);
}

int32_t mkv_dmx_close_bitstream_from_external_memory(mkv_dmx_bs_t* bs) {
  if (bs->file) {
    int32_t r = bs->host->fclose_fn(bs->file);
    if (r != 0)
      return mkv_dmx_set_last_error(MKV_ERR_CLOSE, 0, (uint32_t)(uintptr_t)bs->file, 0, "Error in fclose()", bs->err);
    bs->file = 0;
  }
  return 0;
}

int32_t mkv_dmx_bs_read_1byte_slow(mkv_dmx_bs_t* bs) {
  int32_t r;
  if (bs->m_pBuf && bs->m_ulBufBytes < bs->valid) return bs->m_pBuf[bs->m_ulBufBytes++];
  if ((bs->flags & MKV_BS_GROW) && !bs->cache_size) {
    uint8_t* grown = (uint8_t*)bs->host->realloc_fn(bs->cache, 1);
    if (!grown)
      return mkv_dmx_set_last_error(MKV_ERR_NO_MEMORY, 0, 0, 0, "Insufficient memory to re-allocate of bitstream",
                                    bs->err);
    bs->cache = grown;
    bs->cache_size = 1;
  }
  r = fill(bs, 1, WHO_1BYTE);
  if (r < 0) return r;
  return bs->m_pBuf[bs->m_ulBufBytes++];
}

int32_t mkv_dmx_bs_read_1byte(mkv_dmx_bs_t* bs) { return mkv_bs_byte(bs); }

int32_t mkv_dmx_bs_read_bytes(mkv_dmx_bs_t* bs, void* dst, int32_t n) {
  uint8_t* out = (uint8_t*)dst;
  uint32_t total = 0;
  if (n <= 0) return 0;
  while (total < (uint32_t)n) {
    uint32_t take;
    if (!bs->m_pBuf || bs->m_ulBufBytes >= bs->valid) {
      int32_t r = fill(bs, (uint32_t)n - total, WHO_READ);
      if (r < 0) return r;
    }
    take = bs->valid - bs->m_ulBufBytes;
    if (take > (uint32_t)n - total) take = (uint32_t)n - total;
    if (bs->m_pBuf + bs->m_ulBufBytes + take > bs->m_pEnd)
      return mkv_dmx_set_last_error(MKV_ERR_INVALID, 0, 0, 0,
                                    "invalid data: (pstBs->m_pBuf+pstBs->m_ulBufBytes+n > pstBs->m_pEnd) (bs_read_bytes)",
                                    bs->err);
    bs->host->memcpy_fn(out + total, bs->m_pBuf + bs->m_ulBufBytes, take);
    bs->m_ulBufBytes += take;
    bs->bit_count = bs->m_ulBufBytes * 8;
    total += take;
  }
  return n;
}

int32_t mkv_dmx_bs_show_bytes(mkv_dmx_bs_t* bs, void* dst, int32_t n) {
  uint32_t have, got;
  if (n <= 0) return 0;
  have = bs->m_pBuf ? bs->valid - bs->m_ulBufBytes : 0;
  if (have >= (uint32_t)n) {
    bs->host->memcpy_fn(dst, bs->m_pBuf + bs->m_ulBufBytes, (size_t)n);
    return n;
  }
  if (!bs->cache || (uint32_t)n > bs->cache_size)
    return mkv_dmx_set_last_error(MKV_ERR_INVALID, 0, 0, 0, kNoCache[WHO_SHOW], bs->err);
  if (!bs->file) return mkv_dmx_set_last_error(MKV_ERR_END, 0, 0, 0, kAtEnd[WHO_SHOW], bs->err);
  /* Keep what is left at the front of the cache and read behind it, so the
   * cache begins at the first shown byte. */
  if (have) {
    uint8_t* from = bs->m_pBuf + bs->m_ulBufBytes;
    uint32_t i;
    for (i = 0; i < have; ++i) bs->cache[i] = from[i];
  }
  bs->cache_pos += bs->m_ulBufBytes;
  bs->m_pBuf = bs->cache;
  bs->m_ulBufBytes = 0;
  bs->valid = have;
  bs->m_pEnd = bs->cache + have;
  if (own_position(bs, bs->cache_pos + have) < 0) return bs->err->code;
  got = host_read(bs, bs->cache + have, bs->cache_size - have);
  bs->valid += got;
  bs->m_pEnd = bs->cache + bs->valid;
  if (!bs->valid) bs->m_pBuf = 0;
  if (bs->valid < (uint32_t)n) return mkv_dmx_set_last_error(MKV_ERR_END, 0, 0, 0, kAtEnd[WHO_SHOW], bs->err);
  bs->host->memcpy_fn(dst, bs->cache, (size_t)n);
  return n;
}

int32_t mkv_dmx_bs_skip_bytes(mkv_dmx_bs_t* bs, uint64_t n) {
  int64_t left = bs->m_pBuf ? (int64_t)bs->valid - (int64_t)bs->m_ulBufBytes : 0;
  if ((int64_t)n >= 0 && (int64_t)n <= left) {
    bs->m_ulBufBytes += (uint32_t)n;
    return 0;
  }
  return mkv_dmx_bs_fseek(bs, mkv_bs_pos(bs) + n);
}

int32_t mkv_dmx_bs_fseek(mkv_dmx_bs_t* bs, uint64_t pos) {
  if (bs->m_pBuf) {
    /* The distance is 64-bit: a 32-bit one wraps on files over 4 GiB and
     * lands inside the wrong cache window. */
    int64_t d = (int64_t)(pos - bs->cache_pos);
    if (d >= 0 && d < (int64_t)bs->valid) {
      bs->m_ulBufBytes = (uint32_t)d;
      return 0;
    }
    if (d < 0 && bs->host->memmove_fn && bs->file && -d < (int64_t)bs->valid) {
      uint32_t gap = (uint32_t)-d;
      uint32_t got;
      bs->host->memmove_fn(bs->cache + gap, bs->cache, bs->valid - gap);
      if (host_seek(bs, pos) != 0) {
        drop_cache(bs, pos);
        return mkv_dmx_set_last_error(MKV_ERR_SEEK, 0, 0, 0,
                                      bs->host->fseek64_fn ? "can't seek to SEEK_SET in fseek64(bs_fseek)"
                                                           : "can't seek to SEEK_SET in fseek(bs_fseek)",
                                      bs->err);
      }
      got = host_read(bs, bs->cache, gap);
      if (got == gap) {
        uint32_t keep = bs->valid;
        if (host_seek(bs, pos + keep) != 0) {
          drop_cache(bs, pos);
          return mkv_dmx_set_last_error(MKV_ERR_SEEK, 0, 0, 0,
                                        bs->host->fseek64_fn ? "can't seek to SEEK_SET in fseek64(bs_fseek)"
                                                             : "can't seek to SEEK_SET in fseek(bs_fseek)",
                                        bs->err);
        }
        bs->cache_pos = pos;
        bs->m_pBuf = bs->cache;
        bs->m_pEnd = bs->cache + keep;
        bs->m_ulBufBytes = 0;
        bs->bit_count = 0;
        return 0;
      }
      if (!got) {
        drop_cache(bs, pos + gap);
        host_seek(bs, pos + gap);
        return mkv_dmx_set_last_error(MKV_ERR_END, 0, 0, 0, "the end of the file(bs_fseek)", bs->err);
      }
    }
  }
  drop_cache(bs, pos);
  if (bs->file && host_seek(bs, pos) != 0)
    return mkv_dmx_set_last_error(MKV_ERR_SEEK, 0, (uint32_t)pos, (uint32_t)(pos >> 32),
                                  "can't seek to position mkv wants in fseek64(bs_fseek)", bs->err);
  return 0;
}

int32_t mkv_dmx_bs_fseek_reset(mkv_dmx_bs_t* bs, uint64_t pos) {
  if (!bs->file) {
    bs->m_ulBufBytes = 0;
    bs->bit_count = 0;
    return 0;
  }
  drop_cache(bs, pos);
  return host_seek(bs, pos);
}

int32_t mkv_dmx_bs_ready_cache(mkv_dmx_bs_t* bs, uint64_t pos) {
  if (bs->file) return mkv_dmx_bs_fseek_reset(bs, pos);
  bs->m_ulBufBytes = 0;
  bs->bit_count = 0;
  if (bs->m_pBuf && bs->valid) return 0;
  return fill(bs, 0, WHO_READY);
}

uint32_t mkv_dmx_bs_read_be16(mkv_dmx_bs_t* bs) {
  uint32_t a = (uint32_t)mkv_bs_byte(bs);
  return a << 8 | (uint32_t)mkv_bs_byte(bs);
}
uint32_t mkv_dmx_bs_read_le16(mkv_dmx_bs_t* bs) {
  uint32_t a = (uint32_t)mkv_bs_byte(bs);
  return a | (uint32_t)mkv_bs_byte(bs) << 8;
}
uint32_t mkv_dmx_bs_read_be32(mkv_dmx_bs_t* bs) {
  uint32_t a = mkv_dmx_bs_read_be16(bs);
  return a << 16 | mkv_dmx_bs_read_be16(bs);
}
uint32_t mkv_dmx_bs_read_le32(mkv_dmx_bs_t* bs) {
  uint32_t a = mkv_dmx_bs_read_le16(bs);
  return a | mkv_dmx_bs_read_le16(bs) << 16;
}
uint64_t mkv_dmx_bs_read_be64(mkv_dmx_bs_t* bs) {
  uint64_t a = mkv_dmx_bs_read_be32(bs);
  return a << 32 | mkv_dmx_bs_read_be32(bs);
}
uint64_t mkv_dmx_bs_read_le64(mkv_dmx_bs_t* bs) {
  uint64_t a = mkv_dmx_bs_read_le32(bs);
  return a | (uint64_t)mkv_dmx_bs_read_le32(bs) << 32;
}
