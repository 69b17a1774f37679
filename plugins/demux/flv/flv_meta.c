/* Script-data metadata: an AMF0 reader that copies the known onMetaData
 * properties into the context, with the key-frame index located in the file
 * or loaded into memory. */
#include <string.h>

#include "flv_internal.h"

typedef void* (*FlvMetaAlloc)(size_t size);
typedef void (*FlvMetaRelease)(void* block);
static FlvMetaAlloc g_metaAlloc;
static FlvMetaRelease g_metaRelease;

KVR_EXPORT void FLVD_SetCallbackforMeta(void* const* functions) {
  if (functions == NULL) return;
  g_metaAlloc = (FlvMetaAlloc)functions[0];
  g_metaRelease = (FlvMetaRelease)functions[1];
}

void flv_meta_release(void* block) {
  if (block == NULL) return;
  if (g_metaRelease)
    g_metaRelease(block);
  else
    g_flv_mem.free(block);
}

enum {
  KEY_TIMES, KEY_WIDTH, KEY_HEIGHT, KEY_DURATION, KEY_FILESIZE, KEY_FRAMERATE, KEY_KEYFRAMES,
  KEY_AUDIODELAY, KEY_AUDIODATARATE, KEY_FILEPOSITIONS, KEY_LASTTIMESTAMP, KEY_TOTALDURATION,
  KEY_AUDIOSAMPLERATE, KEY_AUDIOSAMPLESIZE, KEY_LASTKEYFRAMELOCATION, KEY_LASTKEYFRAMETIMESTAMP,
  KEY_NONE
};

/* Ordered by name length, as the lookup expects. */
static const char* const kKeys[KEY_NONE] = {
    "times", "width", "height", "duration", "filesize", "framerate", "keyframes", "audiodelay",
    "audiodatarate", "filepositions", "lasttimestamp", "totalduration", "audiosamplerate",
    "audiosamplesize", "lastkeyframelocation", "lastkeyframetimestamp"};

enum { IN_KEYFRAMES = 0x10, TIMES_LOCATED = 0x20, POSITIONS_LOCATED = 0x40 };

typedef struct FlvMetaParseState {
  uint32_t flags;
  uint32_t arrayCount;
  uint32_t valueType;
  double value;
  uint32_t currentKey;
  uint32_t previousKey;
  int64_t end;                    /* the payload's end */
  int depth;
  int storing;                    /* an index array is being loaded: nested arrays are not */
} FlvMetaParseState;

static uint32_t lookup_key(const char* name, size_t len) {
  uint32_t i = 0;
  while (i < KEY_NONE && strlen(kKeys[i]) < len) i++;
  for (; i < KEY_NONE && strlen(kKeys[i]) == len; i++)
    if (memcmp(kKeys[i], name, len) == 0) return i;
  return KEY_NONE;
}

static int64_t remaining(FlvDemuxContext* ctx, const FlvMetaParseState* st) {
  int64_t pos = __FLV_DMX__fioTell64(ctx->readHandle);
  return pos < 0 ? 0 : st->end - pos;
}

static int read_exact(FlvDemuxContext* ctx, void* dst, uint32_t n) {
  return __FLV_DMX__fioRead(dst, 1, n, ctx->readHandle) == n;
}

static int skip_exact(FlvDemuxContext* ctx, uint32_t n) {
  return __FLV_DMX__fioSkipBytes(n, ctx->readHandle) == (int32_t)n;
}

static void key_start(FlvDemuxContext* ctx, FlvMetaParseState* st, uint32_t k) {
  st->previousKey = st->currentKey;
  st->currentKey = k;
  if ((k == KEY_TIMES || k == KEY_FILEPOSITIONS) && (st->flags & IN_KEYFRAMES)) {
    int64_t pos = __FLV_DMX__fioTell64(ctx->readHandle);
    if (pos < 0) return;
    if (k == KEY_TIMES) {
      ctx->timesPosition = pos + 5;
      st->flags |= TIMES_LOCATED;
    } else {
      ctx->filePositionsPosition = pos + 5;
      st->flags |= POSITIONS_LOCATED;
    }
    st->arrayCount = 0;
  } else if (k == KEY_KEYFRAMES) {
    st->flags |= IN_KEYFRAMES;
    ctx->indexCount = 0xFFFFFFFFu;
  }
}

static void key_end(FlvDemuxContext* ctx, FlvMetaParseState* st) {
  st->previousKey = st->currentKey;
  st->currentKey = KEY_NONE;
  double v = st->value;
  switch (st->previousKey) {
    case KEY_TIMES:
    case KEY_FILEPOSITIONS:
      if (!(st->flags & IN_KEYFRAMES)) break;
      if (st->previousKey == KEY_TIMES)
        ctx->timesEntries = st->arrayCount;
      else
        ctx->positionsEntries = st->arrayCount;
      if (st->arrayCount < ctx->indexCount) ctx->indexCount = st->arrayCount;
      if (st->flags == (IN_KEYFRAMES | TIMES_LOCATED | POSITIONS_LOCATED)) st->flags = 0;
      break;
    case KEY_WIDTH: ctx->video.width = flv_double_to_u32(v); break;
    case KEY_HEIGHT: ctx->video.height = flv_double_to_u32(v); break;
    case KEY_FILESIZE: {
      int64_t size = flv_double_to_i64(v);
      if (ctx->fileSize == 0)
        ctx->fileSize = size;
      else if (ctx->fileSize < size)
        ctx->incompleteFile = 1;
      break;
    }
    case KEY_FRAMERATE: ctx->video.frameRate = flv_double_to_u32(v * 1000.0); break;
    case KEY_AUDIODELAY: ctx->audioDelayMs = flv_double_to_u32(v * 1000.0); break;
    case KEY_AUDIODATARATE: ctx->audio.bitRateKbps = flv_double_to_u32(v); break;
    case KEY_AUDIOSAMPLERATE: ctx->audio.info.sampleRate = flv_double_to_u32(v); break;
    case KEY_AUDIOSAMPLESIZE: ctx->audio.info.bitsPerSample = flv_double_to_u32(v); break;
    case KEY_LASTKEYFRAMELOCATION: ctx->lastKeyFrameLocation = flv_double_to_i64(v); break;
    case KEY_LASTKEYFRAMETIMESTAMP:
      ctx->indexDurationMs = flv_double_to_u32(v * 1000.0);
      ctx->video.durationMs = ctx->indexDurationMs;
      break;
    default:
      break;
  }
}

static int64_t read_value(FlvDemuxContext* ctx, FlvMetaParseState* st);

/* A String or Long string body: the length field, then the text, dropped. */
static int64_t read_text(FlvDemuxContext* ctx, uint32_t lengthBytes) {
  uint8_t b[4];
  if (!read_exact(ctx, b, lengthBytes)) return -1;
  uint32_t len = lengthBytes == 2 ? ((uint32_t)b[0] << 8 | b[1]) : flv_be32(b);
  if (!skip_exact(ctx, len)) return -1;
  return (int64_t)len + lengthBytes;
}

/* Properties up to the 00 00 09 end marker; the bytes consumed or -1. */
static int64_t read_properties(FlvDemuxContext* ctx, FlvMetaParseState* st) {
  FlvFioHandle* h = ctx->readHandle;
  int64_t count = 0;
  const uint8_t* p = NULL;
  if (__FLV_DMX__fioShowBytesByPtr(&p, 3, h) < 3) return -1;
  while (!(p[0] == 0 && p[1] == 0 && p[2] == 9) && !__FLV_DMX__fioIsEof(h)) {
    uint32_t len = ((uint32_t)p[0] << 8) | p[1];
    if (len == 0) return count;
    __FLV_DMX__fioSkipBytes(2, h);
    if (len > 255) {
      if (!skip_exact(ctx, len)) return -1;
    } else {
      char name[256];
      if (!read_exact(ctx, name, len)) return -1;
      for (uint32_t i = 0; i < len; i++)
        if (name[i] >= 'A' && name[i] <= 'Z') name[i] = (char)(name[i] - 'A' + 'a');
      key_start(ctx, st, lookup_key(name, len));
    }
    int64_t v = read_value(ctx, st);
    if (v < 0) return -1;
    count += v + len + 2;
    key_end(ctx, st);
    if (__FLV_DMX__fioShowBytesByPtr(&p, 3, h) < 3) return -1;
  }
  __FLV_DMX__fioSkipBytes(3, h);
  return count + 3;
}

/* A strict array: its values, stored in memory when the index is wanted
 * there. The count is bounded by the bytes left (each value takes one at
 * least) before anything is allocated. */
static int64_t read_strict_array(FlvDemuxContext* ctx, FlvMetaParseState* st) {
  uint8_t b[4];
  if (!read_exact(ctx, b, 4)) return -1;
  uint32_t count = flv_be32(b);
  st->arrayCount = count;
  if ((int64_t)count > remaining(ctx, st)) return -1;
  uint32_t key = st->currentKey;
  int inMemory = (ctx->openFlags & (FLVD_OPEN_PROGRESSIVE | FLVD_OPEN_MEMORY_INDEX)) != 0;
  uint32_t* times = NULL;
  int64_t* positions = NULL;
  if (inMemory && g_metaAlloc && !st->storing && (key == KEY_TIMES || key == KEY_FILEPOSITIONS)) {
    uint64_t bytes = (uint64_t)count * (key == KEY_TIMES ? 4u : 8u);
    if (bytes <= SIZE_MAX && count > 0) {
      if (key == KEY_FILEPOSITIONS) {
        flv_meta_release(ctx->filePositions);
        ctx->filePositions = NULL;
        ctx->filePositionsCount = 0;
        positions = (int64_t*)g_metaAlloc((size_t)bytes);
        if (positions) {
          ctx->filePositions = positions;
          ctx->filePositionsCount = count;
        }
      } else {
        flv_meta_release(ctx->times);
        ctx->times = NULL;
        ctx->timesCount = 0;
        times = (uint32_t*)g_metaAlloc((size_t)bytes);
        if (times) {
          ctx->times = times;
          ctx->timesCount = count;
        }
      }
    }
  }
  int64_t total = 4;
  int storing = times != NULL || positions != NULL;
  if (storing) st->storing = 1;
  for (uint32_t i = 0; i < count; i++) {
    int64_t v = read_value(ctx, st);
    if (v < 0) {
      /* A cut array keeps only the entries that were read. */
      if (times) ctx->timesCount = i;
      if (positions) ctx->filePositionsCount = i;
      if (storing) st->storing = 0;
      return -1;
    }
    total += v;
    if (times) times[i] = flv_double_to_u32(st->value * 1000.0);
    if (positions) positions[i] = flv_double_to_i64(st->value);
  }
  if (storing) st->storing = 0;
  st->arrayCount = count;
  return total;
}

static int64_t read_value(FlvDemuxContext* ctx, FlvMetaParseState* st) {
  uint8_t b[8];
  if (!read_exact(ctx, b, 1)) return -1;
  st->valueType = b[0];
  int64_t r;
  switch (b[0]) {
    case 0: { /* Number */
      if (!read_exact(ctx, b, 8)) return -1;
      uint64_t bits = 0;
      for (int i = 0; i < 8; i++) bits = (bits << 8) | b[i];
      memcpy(&st->value, &bits, sizeof(bits));
      return 9;
    }
    case 1: { /* Boolean: only the field's first byte changes */
      if (!read_exact(ctx, b, 1)) return -1;
      memcpy(&st->value, b, 1);
      return 2;
    }
    case 2:
    case 4: /* String, MovieClip */
      r = read_text(ctx, 2);
      return r < 0 ? -1 : r + 1;
    case 3:
    case 8:
    case 10: {
      if (st->depth >= FLV_AMF_MAX_DEPTH) return -1;
      st->depth++;
      if (b[0] == 3) {
        r = read_properties(ctx, st);
        r = r < 0 ? -1 : r + 1;
      } else if (b[0] == 8) {
        r = read_exact(ctx, b, 4) ? read_properties(ctx, st) : -1;
        r = r < 0 ? -1 : r + 5;
      } else {
        r = read_strict_array(ctx, st);
        r = r < 0 ? -1 : r + 1;
      }
      st->depth--;
      return r;
    }
    case 5:
    case 6:
    case 9:
      return 0;
    case 7: /* Reference */
      if (!read_exact(ctx, b, 2)) return -1;
      memcpy(&st->value, b, 2);
      return 3;
    case 11: /* Date */
      return skip_exact(ctx, 10) ? 11 : -1;
    case 12:
      r = read_text(ctx, 4);
      return r < 0 ? -1 : r + 1;
    default:
      return 0;
  }
}

KVR_EXPORT int32_t FLVD_ReadMetadata(FlvDemuxContext* ctx, uint32_t dataSize) {
  if (ctx == NULL || ctx->readHandle == NULL) return -1;
  FlvFioHandle* h = ctx->readHandle;
  int64_t start = __FLV_DMX__fioTell64(h);
  if (start < 0) return -1;
  FlvMetaParseState st;
  memset(&st, 0, sizeof(st));
  st.currentKey = KEY_NONE;
  st.previousKey = KEY_NONE;
  st.end = start + dataSize;
  int64_t consumed = 0;
  while (consumed < (int64_t)dataSize && !__FLV_DMX__fioIsEof(h)) {
    int64_t v = read_value(ctx, &st);
    if (v < 1) break;
    consumed += v;
  }
  /* Whatever later arrays said, the index never runs past either array. */
  if (ctx->indexCount != 0xFFFFFFFFu) {
    if (ctx->timesPosition && ctx->indexCount > ctx->timesEntries) ctx->indexCount = ctx->timesEntries;
    if (ctx->filePositionsPosition && ctx->indexCount > ctx->positionsEntries)
      ctx->indexCount = ctx->positionsEntries;
  }
  if (ctx->times && ctx->indexCount > ctx->timesCount) ctx->indexCount = ctx->timesCount;
  if (ctx->filePositions && ctx->indexCount > ctx->filePositionsCount)
    ctx->indexCount = ctx->filePositionsCount;
  if (consumed != (int64_t)dataSize && __FLV_DMX__fioSeek64(h, start + dataSize, KVR_SEEK_SET) != 0)
    return FLV_WALK_END;
  return consumed > 0 ? 0 : -1;
}
