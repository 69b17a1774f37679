/* The cached per-stream readers, the capture-pattern search, the page parser,
 * the process-wide page-queue table and the queue top-up. */
#include <string.h>

#include "ogg_internal.h"

KVR_EXPORT KvrMallocFn ogg_dmx_pMalloc;
KVR_EXPORT KvrMallocFn ogg_dmx_pNonCacheMalloc;
KVR_EXPORT KvrFreeFn ogg_dmx_pFree;
KVR_EXPORT KvrFreeFn ogg_dmx_pNonCacheFree;
KVR_EXPORT KvrMemcpyFn ogg_dmx_pMemcpy;
KVR_EXPORT KvrMemmoveFn ogg_dmx_pMemmove;
KVR_EXPORT KvrMemsetFn ogg_dmx_pMemset;
KVR_EXPORT KvrReallocFn ogg_dmx_pRealloc;
KVR_EXPORT KvrFopenFn ogg_dmx_pFopen;
KVR_EXPORT KvrFreadFn ogg_dmx_pFread;
KVR_EXPORT KvrFseekFn ogg_dmx_pFseek;
KVR_EXPORT KvrFtellFn ogg_dmx_pFtell;
KVR_EXPORT KvrFcloseFn ogg_dmx_pFclose;
KVR_EXPORT KvrFeofFn ogg_dmx_pFeof;
KVR_EXPORT KvrFflushFn ogg_dmx_pFflush;
KVR_EXPORT KvrFwriteFn ogg_dmx_pFwrite;
KVR_EXPORT KvrUnlinkFn ogg_dmx_pUnlink;
KVR_EXPORT KvrFseek64Fn ogg_dmx_pFseek64;
KVR_EXPORT KvrFtell64Fn ogg_dmx_pFtell64;

void* ogg_malloc(size_t size) { return ogg_dmx_pMalloc ? ogg_dmx_pMalloc(size) : NULL; }
void ogg_free(void* block) {
  if (block && ogg_dmx_pFree) ogg_dmx_pFree(block);
}

/* --- host file access ---------------------------------------------------- */

static int32_t host_seek(void* file, int64_t offset, int32_t whence) {
  if (ogg_dmx_pFseek64) return ogg_dmx_pFseek64(file, offset, whence);
  if (offset > INT32_MAX || offset < INT32_MIN) return -1;
  return ogg_dmx_pFseek(file, (int32_t)offset, whence);
}

static int64_t host_tell(void* file) {
  if (ogg_dmx_pFtell64) return ogg_dmx_pFtell64(file);
  return ogg_dmx_pFtell(file);
}

int64_t ogg_file_size(void* file) {
  if (host_seek(file, 0, KVR_SEEK_END) != 0) return 0;
  int64_t size = host_tell(file);
  if (host_seek(file, 0, KVR_SEEK_SET) != 0) return 0;
  return size < 0 ? 0 : size;
}

/* --- readers --------------------------------------------------------------- */

int32_t ogg_reader_open(OggInputReader* reader, const char* fileName, uint32_t cacheSize) {
  reader->file = ogg_dmx_pFopen ? ogg_dmx_pFopen(fileName, "rb") : NULL;
  if (!reader->file) return OGG_ERR_OPEN_FILE;
  reader->cacheSize = cacheSize;
  reader->eod = 0;
  reader->cache = (OggCache*)ogg_malloc(sizeof(OggCache));
  if (!reader->cache) return OGG_ERR_ARGUMENT;
  memset(reader->cache, 0, sizeof(OggCache));
  reader->cache->base = (uint8_t*)ogg_malloc(cacheSize ? cacheSize : 1);
  if (!reader->cache->base) return OGG_ERR_ARGUMENT;
  reader->cache->cursor = reader->cache->base;
  return 0;
}

void ogg_reader_close(OggInputReader* reader) {
  if (reader->file) ogg_dmx_pFclose(reader->file);
  reader->file = NULL;
  if (reader->cache) {
    ogg_free(reader->cache->base);
    ogg_free(reader->cache);
  }
  reader->cache = NULL;
}

KVR_EXPORT int32_t input_stream_open(OggDmxContext* ctx, const char* fileName, int32_t streamCount,
                                     uint32_t cacheSize) {
  if (!ctx || streamCount > OGG_MAX_STREAMS) return OGG_ERR_ARGUMENT;
  for (int32_t k = 0; k < streamCount; ++k) {
    int32_t r = ogg_reader_open(&ctx->readers[k], fileName, cacheSize);
    if (r != 0) return r;
  }
  return 0;
}

KVR_EXPORT int32_t ogg_stream_read(uint8_t* buffer, int32_t length, OggInputReader* reader) {
  if (!buffer || !reader || !reader->cache || !reader->cache->base) return -1;
  OggCache* c = reader->cache;
  int32_t done = 0;
  while (done < length) {
    if (c->avail == 0) {
      if (!reader->file) {
        reader->eod = 1;
        return done;
      }
      size_t n = ogg_dmx_pFread(c->base, 1, reader->cacheSize, reader->file);
      if (n > reader->cacheSize) n = 0; /* a host answer outside its convention */
      if (n < reader->cacheSize) reader->eod = 1;
      if (n == 0) return done;
      c->cursor = c->base;
      c->avail = (uint32_t)n;
    }
    uint32_t take = (uint32_t)(length - done) < c->avail ? (uint32_t)(length - done) : c->avail;
    memcpy(buffer + done, c->cursor, take);
    c->cursor += take;
    c->avail -= take;
    done += (int32_t)take;
  }
  return done;
}

KVR_EXPORT int32_t ogg_stream_seek(OggInputReader* reader, int64_t delta) {
  OggCache* c = reader->cache;
  if (!c) return -1;
  uint32_t consumed = (uint32_t)(c->cursor - c->base);
  if (delta >= 0 && (uint64_t)delta <= c->avail) {
    c->cursor += delta;
    c->avail -= (uint32_t)delta;
    return (int32_t)delta;
  }
  if (delta < 0 && (uint64_t)(-delta) <= consumed) {
    c->cursor += delta;
    c->avail += (uint32_t)(-delta);
    return (int32_t)(-delta);
  }
  if (!reader->file) return -1;
  /* The file stands `avail` bytes past the logical position. */
  int32_t r = host_seek(reader->file, delta - (int64_t)c->avail, KVR_SEEK_CUR);
  if (r != 0) return r;
  c->cursor = c->base;
  c->avail = 0;
  reader->eod = 0;
  int64_t magnitude = delta < 0 ? -delta : delta;
  return magnitude > INT32_MAX ? INT32_MAX : (int32_t)magnitude;
}

KVR_EXPORT void ogg_streams_flush(OggInputReader* reader) {
  if (reader && reader->cache) {
    reader->cache->avail = 0;
    reader->cache->cursor = reader->cache->base;
  }
}

KVR_EXPORT int32_t ogg_streams_reset(OggInputReader* reader) {
  ogg_streams_flush(reader);
  reader->eod = 0;
  return reader->file ? host_seek(reader->file, 0, KVR_SEEK_SET) : -1;
}

int32_t ogg_reader_seek_abs(OggInputReader* reader, int64_t position) {
  if (!reader->file) return -1;
  int32_t r = host_seek(reader->file, position, KVR_SEEK_SET);
  ogg_streams_flush(reader);
  reader->eod = 0;
  return r;
}

int64_t ogg_reader_tell(const OggInputReader* reader) {
  if (!reader->file) return -1;
  int64_t pos = host_tell(reader->file);
  return pos < 0 ? pos : pos - (reader->cache ? reader->cache->avail : 0);
}

static int is_capture(const uint8_t* p) { return p[0] == 'O' && p[1] == 'g' && p[2] == 'g' && p[3] == 'S'; }

KVR_EXPORT int32_t ogg_stream_find_sync(OggInputReader* reader) {
  if (!reader || !reader->cache || !reader->cache->base) return -1;
  OggCache* c = reader->cache;
  int misses = 0;
  for (;;) {
    if (c->avail >= 4) {
      const uint8_t* p = c->cursor;
      uint32_t last = c->avail - 4;
      for (uint32_t i = 0; i <= last; ++i) {
        const uint8_t* hit = (const uint8_t*)memchr(p + i, 'O', last - i + 1);
        if (!hit) break;
        i = (uint32_t)(hit - p);
        if (is_capture(hit)) {
          c->cursor += i;
          c->avail -= i;
          return 0;
        }
      }
      /* Keep the last three bytes: a pattern may begin there. */
      c->cursor += c->avail - 3;
      c->avail = 3;
      if (++misses >= OGG_SYNC_MISS_LIMIT) {
        misses = 0;
        if (ogg_stream_seek(reader, OGG_SKIP_BYTES) < 0) return -1;
      }
    }
    if (!reader->file) return -1;
    if (c->avail) memmove(c->base, c->cursor, c->avail);
    c->cursor = c->base;
    uint32_t want = reader->cacheSize > c->avail ? reader->cacheSize - c->avail : 0;
    size_t n = want ? ogg_dmx_pFread(c->base + c->avail, 1, want, reader->file) : 0;
    if (n > want) n = 0;
    if (n < want) reader->eod = 1;
    if (n == 0) return -1;
    c->avail += (uint32_t)n;
  }
}

/* Parses one page whose 27 fixed bytes are in `header`. A page whose serial
 * number fails `filter` is stepped over without its data (OGG_ERR_NO_STREAM). */
static int32_t parse_page(OggPageRecord* page, const uint8_t* header, OggInputReader* reader,
                          int32_t loadData, int32_t filter) {
  memset(page, 0, sizeof(*page));
  if (!is_capture(header)) return OGG_ERR_NO_CAPTURE;
  page->version = header[4];
  page->flags = header[5];
  uint64_t g = 0;
  for (int i = 7; i >= 0; --i) g = g << 8 | header[6 + i];
  page->granule = (int64_t)g;
  page->serial = (uint32_t)header[14] | (uint32_t)header[15] << 8 | (uint32_t)header[16] << 16 |
                 (uint32_t)header[17] << 24;
  page->sequence = (uint32_t)header[18] | (uint32_t)header[19] << 8 | (uint32_t)header[20] << 16 |
                   (uint32_t)header[21] << 24;
  page->crc = (uint32_t)header[22] | (uint32_t)header[23] << 8 | (uint32_t)header[24] << 16 |
              (uint32_t)header[25] << 24;
  page->segmentCount = header[26];
  if (page->segmentCount &&
      ogg_stream_read(page->lacing, (int32_t)page->segmentCount, reader) != (int32_t)page->segmentCount)
    return OGG_ERR_SHORT;
  uint32_t size = 0;
  for (uint32_t i = 0; i < page->segmentCount; ++i) {
    page->segmentStart[i] = size;
    size += page->lacing[i];
    if (page->lacing[i] != 255) page->packetsEnding++;
  }
  page->segmentStart[page->segmentCount] = size;
  page->lastComplete = page->segmentCount && page->lacing[page->segmentCount - 1] != 255;
  page->dataSize = size;
  page->ownsData = size;
  int pass = filter == OGG_ANY_SERIAL || (uint32_t)filter == page->serial;
  if (pass && loadData && size) {
    page->data = (uint8_t*)ogg_malloc(size);
    if (!page->data) {
      /* Not delivered without its data: step back so that a retry reads it. */
      page->ownsData = 0;
      ogg_stream_seek(reader, -(int64_t)(27 + page->segmentCount));
      return OGG_ERR_ARGUMENT;
    }
    if (ogg_stream_read(page->data, (int32_t)size, reader) != (int32_t)size) {
      ogg_free(page->data);
      page->data = NULL;
      page->ownsData = 0;
      return OGG_ERR_SHORT;
    }
  } else if (size) {
    page->ownsData = 0;
    if (ogg_stream_seek(reader, size) < (int32_t)size) return OGG_ERR_SHORT;
  } else {
    page->ownsData = 0;
  }
  return pass ? 0 : OGG_ERR_NO_STREAM;
}

KVR_EXPORT int32_t ogg_page_header_parse(OggPageRecord* page, const uint8_t* header,
                                         OggInputReader* reader, int32_t loadData) {
  if (!page || !header || !reader) return OGG_ERR_ARGUMENT;
  return parse_page(page, header, reader, loadData, OGG_ANY_SERIAL);
}

KVR_EXPORT int32_t ogg_page_parsing(OggPageRecord* page, OggInputReader* reader, int32_t loadData) {
  if (!page || !reader) return OGG_ERR_ARGUMENT;
  int false_captures = 0;
  for (;;) {
    uint8_t header[27];
    if (ogg_stream_find_sync(reader) != 0) return OGG_ERR_SHORT;
    if (ogg_stream_read(header, 27, reader) != 27) return OGG_ERR_SHORT;
    int32_t r = parse_page(page, header, reader, loadData, reader->serialFilter);
    if (r == 0) return 0;
    if (r == OGG_ERR_NO_STREAM) continue;
    if (r != OGG_ERR_NO_CAPTURE) return r;
    ogg_stream_seek(reader, -26);
    if (++false_captures >= OGG_FALSE_CAPTURE_LIMIT) {
      false_captures = 0;
      if (ogg_stream_seek(reader, OGG_SKIP_BYTES) < 0) return OGG_ERR_SHORT;
    }
  }
}

KVR_EXPORT int32_t findNextSync(const uint8_t* memory, int64_t* offset, int32_t count) {
  if (offset) *offset = 0;
  if (!memory || !offset || count < 1 || count > OGG_END_BLOCK) return -1;
  for (int32_t i = 0; i + 4 <= count; ++i)
    if (is_capture(memory + i)) {
      *offset = i;
      return 0;
    }
  return -1;
}

void ogg_page_release(OggPageRecord* page) {
  if (page->ownsData && page->data) ogg_free(page->data);
  page->data = NULL;
  page->ownsData = 0;
}

void ogg_stream_pages_release(OggStreamEntry* st) {
  if (st->cur.data == st->prev.data) st->prev.data = NULL;
  ogg_page_release(&st->cur);
  ogg_page_release(&st->prev);
  memset(&st->cur, 0, sizeof(st->cur));
  memset(&st->prev, 0, sizeof(st->prev));
  /* No page read yet at the new position: its granule is unknown. */
  st->cur.granule = -1;
  st->prev.granule = -1;
}

/* --- page queues ----------------------------------------------------------- */

typedef struct QueueNode {
  void* data;
  uint32_t size;
  uint32_t user[6];
  struct QueueNode* newer;
  struct QueueNode* older;
} QueueNode;

typedef struct QueueSlot {
  int32_t inUse;
  uint32_t capacity;
  uint32_t count;
  uint32_t bytes;
  uint32_t totalQueued;
  uint32_t totalTaken;
  QueueNode* newest;
  QueueNode* oldest;
} QueueSlot;

static QueueSlot g_queues[OGG_QUEUE_SLOTS];
static KvrMallocFn g_que_malloc;
static KvrFreeFn g_que_free;
static KvrMemcpyFn g_que_memcpy;
static KvrMemsetFn g_que_memset;
static uint32_t g_que_capacity;

static void free_node(QueueNode* n) {
  /* The node and its copy of the data are one block. */
  if (g_que_free) g_que_free(n);
}

KVR_EXPORT int32_t KVR_OGG_QUE(int32_t op, intptr_t handle, void* record, void* extra) {
  if (op == OGG_QUE_CREATE) {
    const OggQueueServices* s = (const OggQueueServices*)record;
    int32_t* out = (int32_t*)handle;
    if (!s || !out || !s->malloc_fn || !s->free_fn) return OGG_QUE_BAD;
    g_que_malloc = s->malloc_fn;
    g_que_free = s->free_fn;
    g_que_memcpy = s->memcpy_fn;
    g_que_memset = s->memset_fn;
    g_que_capacity = extra ? *(const uint32_t*)extra : OGG_QUEUE_CAPACITY;
    for (int i = 1; i < OGG_QUEUE_SLOTS; ++i)
      if (!g_queues[i].inUse) {
        memset(&g_queues[i], 0, sizeof(g_queues[i]));
        g_queues[i].inUse = 1;
        g_queues[i].capacity = g_que_capacity;
        *out = i;
        return 0;
      }
    return OGG_QUE_NO_SLOT;
  }
  if (op == OGG_QUE_NOTHING) return 0;
  if (op < 0 || op > OGG_QUE_OLDEST_SIZE) return 0;
  if (handle < 1 || handle >= OGG_QUEUE_SLOTS || !g_queues[handle].inUse) return OGG_QUE_BAD;
  QueueSlot* q = &g_queues[handle];
  OggQueueItem* item = (OggQueueItem*)record;
  switch (op) {
    case OGG_QUE_APPEND: {
      if (!item) return OGG_QUE_BAD;
      if (!item->data) return OGG_QUE_NULL_DATA;
      if (item->size == 0) return OGG_QUE_ZERO_SIZE;
      if (q->count >= q->capacity) return OGG_QUE_FULL;
      QueueNode* n = (QueueNode*)g_que_malloc(sizeof(QueueNode) + item->size);
      if (!n) return OGG_QUE_NO_MEMORY;
      n->data = n + 1;
      memcpy(n->data, item->data, item->size);
      n->size = item->size;
      memcpy(n->user, item->user, sizeof(n->user));
      n->newer = NULL;
      n->older = q->newest;
      if (q->newest) q->newest->newer = n;
      q->newest = n;
      if (!q->oldest) q->oldest = n;
      q->count++;
      q->bytes += item->size;
      q->totalQueued++;
      return 0;
    }
    case OGG_QUE_TAKE:
    case OGG_QUE_PEEK: {
      if (!item) return OGG_QUE_BAD;
      if (op == OGG_QUE_TAKE && q->count == 0) return OGG_QUE_EMPTY;
      QueueNode* n = q->oldest;
      if (!n) return OGG_QUE_NO_OLDEST;
      if (!item->data) return OGG_QUE_NULL_DATA;
      memcpy(item->data, n->data, n->size);
      item->size = n->size;
      memcpy(item->user, n->user, sizeof(n->user));
      if (op == OGG_QUE_PEEK) return 0;
      q->oldest = n->newer;
      if (q->oldest) q->oldest->older = NULL;
      else q->newest = NULL;
      q->count--;
      q->bytes -= n->size;
      q->totalTaken++;
      free_node(n);
      return 0;
    }
    case OGG_QUE_DESTROY: {
      QueueNode* n = q->newest;
      while (n) {
        QueueNode* older = n->older;
        free_node(n);
        n = older;
      }
      memset(q, 0, sizeof(*q));
      return 0;
    }
    case OGG_QUE_STATUS: {
      OggQueueStatus* s = (OggQueueStatus*)record;
      if (!s) return OGG_QUE_BAD;
      s->oldest = q->oldest;
      s->newest = q->newest;
      s->count = q->count;
      s->bytes = q->bytes;
      s->totalQueued = q->totalQueued;
      s->totalTaken = q->totalTaken;
      return 0;
    }
    case OGG_QUE_OLDEST_SIZE:
      return q->oldest ? (int32_t)q->oldest->size : OGG_QUE_EMPTY;
    default:
      return 0;
  }
}

KVR_EXPORT int32_t ogg_get_page_Qnum(int32_t queue) {
  OggQueueStatus s;
  int32_t r = KVR_OGG_QUE(OGG_QUE_STATUS, queue, &s, NULL);
  return r < 0 ? r : (int32_t)s.count;
}

int32_t ogg_queue_count(int32_t queue) {
  if (queue < 1 || queue >= OGG_QUEUE_SLOTS || !g_queues[queue].inUse) return OGG_QUE_BAD;
  return (int32_t)g_queues[queue].count;
}

/* The queued page `index` places after the oldest, left in the queue. */
int32_t ogg_queue_peek_at(int32_t queue, uint32_t index, OggPageRecord** page) {
  if (queue < 1 || queue >= OGG_QUEUE_SLOTS || !g_queues[queue].inUse) return OGG_QUE_BAD;
  QueueNode* n = g_queues[queue].oldest;
  while (n && index--) n = n->newer;
  if (!n) return OGG_QUE_EMPTY;
  *page = (OggPageRecord*)n->data;
  return 0;
}

KVR_EXPORT int32_t ogg_pageQ_flush(int32_t queue) {
  OggPageRecord page;
  for (;;) {
    OggQueueItem item = {&page, sizeof(page), {0}};
    int32_t n = KVR_OGG_QUE(OGG_QUE_OLDEST_SIZE, queue, NULL, NULL);
    if (n == OGG_QUE_EMPTY) return 0;
    if (n < 0 || n != (int32_t)sizeof(page)) return -1;
    if (KVR_OGG_QUE(OGG_QUE_TAKE, queue, &item, NULL) != 0) return -1;
    ogg_page_release(&page);
  }
}

/* Parses the next page of stream k (with its data when `loadData` is set)
 * and appends it to its queue: 0, OGG_ERR_END when the reader has no further
 * page, or an error. */
int32_t ogg_enqueue_one(OggDmxContext* ctx, int32_t k, int32_t loadData) {
  OggStreamEntry* st = &ctx->streams[k];
  OggPageRecord page;
  int32_t r = ogg_page_parsing(&page, &ctx->readers[k], loadData);
  if (r == OGG_ERR_SHORT) return OGG_ERR_END;
  if (r != 0) return r;
  OggQueueItem item = {&page, sizeof(page), {0}};
  r = KVR_OGG_QUE(OGG_QUE_APPEND, st->queue, &item, NULL);
  if (r != 0) {
    ogg_page_release(&page);
    return r == OGG_QUE_NO_MEMORY ? OGG_ERR_ARGUMENT : OGG_ERR_END;
  }
  return 0;
}

KVR_EXPORT int32_t ogg_page_enqueue(OggDmxContext* ctx, int32_t loadData) {
  for (int32_t k = 0; k < ctx->streamCount; ++k) {
    OggStreamEntry* st = &ctx->streams[k];
    if (!st->queue) continue;
    while (ogg_queue_count(st->queue) >= 0 && (uint32_t)ogg_queue_count(st->queue) <= OGG_TOPUP_PAGES) {
      int32_t r = ogg_enqueue_one(ctx, k, loadData);
      if (r == OGG_ERR_END) break;
      if (r != 0) return r;
    }
  }
  return 0;
}
