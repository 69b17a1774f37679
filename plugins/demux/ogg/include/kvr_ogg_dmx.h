#ifndef KVR_OGG_DMX_H
#define KVR_OGG_DMX_H
/* Records and exports of the Ogg demuxer KVR_OGG_DMX and of its page-queue
 * table KVR_OGG_QUE. Offsets in the comments are those of the board's 32-bit
 * layout (pointer words are pointer-sized). The handle argument of the entry is
 * the address of the word that holds the context. */
#include <stdint.h>

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  OGG_OP_OPEN = 0,
  OGG_OP_CLOSE = 1,
  OGG_OP_READ = 2,
  OGG_OP_SEEK = 3,
  OGG_OP_SELECT_AUDIO = 4,
  OGG_OP_OPEN_ALT = 7
};

/* Results of the entry. */
enum {
  OGG_ERR_END = -1,          /* no further page; end policy; bad queue handle */
  OGG_ERR_SHORT = -2,        /* a page cannot be read in full; no free queue slot */
  OGG_ERR_NO_KEY = -4,       /* nothing found after a seek */
  OGG_ERR_OPEN_FILE = -5,
  OGG_ERR_ARGUMENT = -6,     /* null record, empty handle slot, no memory */
  OGG_ERR_NO_CAPTURE = -7,   /* page reader only: no "OggS" */
  OGG_ERR_TOO_BIG = -8,      /* the packet does not fit the caller's buffer */
  OGG_ERR_BAD_KIND = -9,
  OGG_ERR_NO_STREAM = -10,   /* no stream of that kind or serial number */
  OGG_ERR_HEADERS = -11,     /* Theora headers beyond their buffer */
  OGG_ERR_RANGE = -12        /* seek beyond the duration; no last key frame */
};

/* Results of KVR_OGG_QUE. */
enum {
  OGG_QUE_BAD = -1,
  OGG_QUE_NO_SLOT = -2,
  OGG_QUE_NULL_DATA = -3,
  OGG_QUE_ZERO_SIZE = -4,
  OGG_QUE_NO_MEMORY = -5,
  OGG_QUE_NO_OLDEST = -6,
  OGG_QUE_FULL = -7,
  OGG_QUE_EMPTY = -8
};

enum {
  OGG_QUE_CREATE = 0,
  OGG_QUE_NOTHING = 1,
  OGG_QUE_APPEND = 2,
  OGG_QUE_TAKE = 3,
  OGG_QUE_DESTROY = 4,
  OGG_QUE_STATUS = 5,
  OGG_QUE_PEEK = 6,
  OGG_QUE_OLDEST_SIZE = 7
};

enum { OGG_KIND_NONE = 0, OGG_KIND_VIDEO = 1, OGG_KIND_AUDIO = 2 };

enum { OGG_OPEN_CALLER_STREAMS = 0x4 };
enum { OGG_SEEK_ABSOLUTE = 0x1, OGG_SEEK_BACKWARD = 0x2 };
enum { OGG_SELECT_CHANGE_AUDIO = 0x2 };
/* Seek policy for a video seek past the last key frame. */
enum { OGG_END_FAIL = 0, OGG_END_LAST_KEY = 2, OGG_END_REPORT = 1 };

/* Codec ids. */
#define OGG_CODEC_THEORA 0x4F454854u
#define OGG_CODEC_VORBIS 0x0002674Fu
#define OGG_CODEC_FLAC 0xF1ACu

#define OGG_MAX_STREAMS 20
#define OGG_QUEUE_SLOTS 10
#define OGG_PRIVATE_BYTES 524288u
#define OGG_SCRATCH_BYTES 1048576u

typedef struct OggOpenRecord {
  KvrHostServices host;       /* +0 .. +107 */
  uint32_t unused[5];         /* +108 .. +127 */
  const char* fileName;       /* +128 */
  uint32_t openFlags;         /* +132 */
  uint32_t cacheSize;         /* +136: 0 gives 4096, above 65536 gives 65536 */
  int32_t seekPolicy;         /* +140: OGG_END_* */
} OggOpenRecord;
KVR_ASSERT_OFFSET32(OggOpenRecord, fileName, 128);
KVR_ASSERT_OFFSET32(OggOpenRecord, seekPolicy, 140);
KVR_ASSERT_SIZE32(OggOpenRecord, 144);

typedef struct OggAudioEntry {
  uint32_t audioCount;        /* word 0 */
  uint32_t sampleRate;        /* 1 */
  uint32_t bitsPerSample;     /* 2 */
  uint32_t channels;          /* 3 */
  uint32_t codecId;           /* 4 */
  uint32_t spare5[2];         /* 5, 6 */
  uint8_t* priv;              /* 7 */
  uint32_t privLength;        /* 8 */
  uint32_t bitrate;           /* 9: average or nominal */
  uint32_t maxBitrate;        /* 10 */
  uint32_t minBitrate;        /* 11 */
  uint32_t vbr;               /* 12 */
  uint32_t serial;            /* 13 */
  uint32_t spare14[18];
} OggAudioEntry;
KVR_ASSERT_OFFSET32(OggAudioEntry, priv, 28);
KVR_ASSERT_OFFSET32(OggAudioEntry, serial, 52);
KVR_ASSERT_SIZE32(OggAudioEntry, 128);

typedef struct OggVideoEntry {
  uint32_t width;             /* word 0 */
  uint32_t height;            /* 1 */
  uint32_t frameRate;         /* 2: frames per second x 1000 */
  uint32_t codecId;           /* 3 */
  uint32_t spare4[2];         /* 4, 5 */
  uint8_t* priv;              /* 6 */
  uint32_t privLength;        /* 7 */
  uint32_t bitrate;           /* 8 */
  uint32_t serial;            /* 9 */
  uint32_t spare10[22];
} OggVideoEntry;
KVR_ASSERT_OFFSET32(OggVideoEntry, priv, 24);
KVR_ASSERT_OFFSET32(OggVideoEntry, serial, 36);
KVR_ASSERT_SIZE32(OggVideoEntry, 128);

typedef struct OggStreamInfo {
  const char* fileName;       /* +0 */
  uint32_t spare4[2];
  uint32_t durationMs;        /* +12 */
  kvr_i64 fileSize;           /* +16 */
  uint32_t bitrate;           /* +24 */
  uint32_t seekable;          /* +28 */
  uint32_t spare32[24];
  uint32_t width;             /* +128 */
  uint32_t height;            /* +132 */
  uint32_t frameRate;         /* +136 */
  uint32_t videoCodec;        /* +140 */
  uint32_t spare144[2];
  uint8_t* videoPriv;         /* +152 */
  uint32_t videoPrivLength;   /* +156 */
  uint32_t videoBitrate;      /* +160 */
  int32_t videoSerial;        /* +164: -1 without video */
  uint32_t spare168[22];
  uint32_t audioCount;        /* +256 */
  uint32_t sampleRate;        /* +260 */
  uint32_t bitsPerSample;     /* +264 */
  uint32_t channels;          /* +268 */
  uint32_t audioCodec;        /* +272 */
  uint32_t spare276[2];
  uint8_t* audioPriv;         /* +284 */
  uint32_t audioPrivLength;   /* +288 */
  uint32_t audioBitrate;      /* +292 */
  uint32_t audioMaxBitrate;   /* +296 */
  uint32_t audioMinBitrate;   /* +300 */
  uint32_t audioVbr;          /* +304 */
  int32_t audioSerial;        /* +308: -1 without audio */
  uint32_t spare312[18];
  uint32_t videoEntryCount;   /* +384 */
  OggVideoEntry* videoEntries; /* +388 */
  uint32_t audioEntryCount;   /* +392 */
  OggAudioEntry* audioEntries; /* +396 */
} OggStreamInfo;
KVR_ASSERT_OFFSET32(OggStreamInfo, fileSize, 16);
KVR_ASSERT_OFFSET32(OggStreamInfo, width, 128);
KVR_ASSERT_OFFSET32(OggStreamInfo, videoPriv, 152);
KVR_ASSERT_OFFSET32(OggStreamInfo, videoSerial, 164);
KVR_ASSERT_OFFSET32(OggStreamInfo, audioCount, 256);
KVR_ASSERT_OFFSET32(OggStreamInfo, audioPriv, 284);
KVR_ASSERT_OFFSET32(OggStreamInfo, audioSerial, 308);
KVR_ASSERT_OFFSET32(OggStreamInfo, videoEntryCount, 384);
KVR_ASSERT_OFFSET32(OggStreamInfo, audioEntries, 396);
KVR_ASSERT_SIZE32(OggStreamInfo, 400);

typedef struct OggPacketRequest {
  uint8_t* buffer;            /* +0 */
  uint32_t capacity;          /* +4 */
  uint32_t kind;              /* +8: OGG_KIND_* */
  uint32_t serial;            /* +12: with OGG_OPEN_CALLER_STREAMS */
} OggPacketRequest;
KVR_ASSERT_SIZE32(OggPacketRequest, 16);

typedef struct OggPacketResult {
  uint8_t* buffer;            /* +0 */
  uint32_t size;              /* +4 */
  uint32_t kind;              /* +8 */
  int32_t timeMs;             /* +12 */
  uint32_t unwritten;         /* +16 */
  uint32_t serial;            /* +20 */
} OggPacketResult;
KVR_ASSERT_OFFSET32(OggPacketResult, serial, 20);

typedef struct OggSeekRequest {
  int32_t timeMs;             /* +0 */
  uint32_t flags;             /* +4: OGG_SEEK_* */
} OggSeekRequest;

typedef struct OggSeekResult {
  uint32_t spare[2];
  uint32_t kind;              /* +8 */
  int32_t timeMs;             /* +12 */
} OggSeekResult;
KVR_ASSERT_OFFSET32(OggSeekResult, timeMs, 12);

typedef struct OggSelectRequest {
  uint32_t flags;             /* +0: OGG_SELECT_* */
  uint32_t spare;
  uint32_t ordinal;           /* +8: 0-based among the audio streams */
} OggSelectRequest;

typedef struct OggSelectResult {
  uint32_t spare;
  OggAudioEntry* entry;       /* +4: filled by the library */
} OggSelectResult;
KVR_ASSERT_OFFSET32(OggSelectResult, entry, 4);

/* --- page reader ------------------------------------------------------ */

typedef struct OggCache {
  uint8_t* base;
  uint8_t* cursor;
  uint32_t spare;
  uint32_t avail;             /* bytes from the cursor */
} OggCache;

/* Accepts every page. */
#define OGG_ANY_SERIAL (-2)

typedef struct OggInputReader {
  void* file;
  int32_t serialFilter;       /* OGG_ANY_SERIAL or the serial number */
  uint32_t spare;
  OggCache* cache;
  uint32_t cacheSize;         /* bytes of every refill */
  int32_t eod;                /* a refill came back short */
} OggInputReader;

typedef struct OggPageRecord {
  uint32_t spare0;
  uint32_t version;
  uint32_t flags;
  uint32_t spare1;
  kvr_i64 granule;
  uint32_t serial;
  uint32_t sequence;
  uint32_t crc;
  uint32_t segmentCount;
  uint8_t lacing[256];        /* 255 used */
  uint32_t segmentStart[256];
  uint32_t lastComplete;
  uint32_t dataSize;
  uint32_t ownsData;
  uint8_t* data;              /* null when the data was skipped */
  uint32_t cursor;            /* next segment of the reassembly */
  uint32_t packetsEnding;
} OggPageRecord;

/* --- page queues ------------------------------------------------------ */

typedef struct OggQueueItem {
  void* data;
  uint32_t size;
  uint32_t user[6];
} OggQueueItem;

typedef struct OggQueueServices {
  void* unused0[5];
  KvrMallocFn malloc_fn;      /* word 5 */
  KvrFreeFn free_fn;          /* 6 */
  KvrMemcpyFn memcpy_fn;      /* 7 */
  KvrMemsetFn memset_fn;      /* 8 */
  void* unused9[2];
} OggQueueServices;
KVR_ASSERT_OFFSET32(OggQueueServices, malloc_fn, 20);
KVR_ASSERT_SIZE32(OggQueueServices, 44);

typedef struct OggQueueStatus {
  void* oldest;
  void* newest;
  uint32_t count;
  uint32_t bytes;
  uint32_t totalQueued;
  uint32_t totalTaken;
} OggQueueStatus;

/* --- per-stream information -------------------------------------------- */

typedef struct OggAudioInfo {
  uint32_t codecId;
  uint32_t serial;
  uint32_t version;
  uint32_t channels;
  uint32_t sampleRate;
  uint32_t vbr;
  uint32_t minBitrate;
  uint32_t nominalBitrate;
  uint32_t maxBitrate;
  uint32_t bitsPerSample;
  uint32_t durationMs;
  uint32_t blockSize0;
  uint32_t blockSize1;
  uint8_t* priv;
  uint32_t privLength;
} OggAudioInfo;

typedef struct OggVideoInfo {
  uint32_t codecId;
  uint32_t spare;
  kvr_i64 frameDuration;      /* 100 ns units; OGM: the header's time unit */
  kvr_i64 samplesPerUnit;     /* OGM */
  uint32_t width;
  uint32_t height;
  uint32_t serial;
  uint32_t frameRate;         /* x 1000 */
  uint32_t durationMs;
  uint32_t bitrate;
  uint32_t kfShift;           /* Theora key-frame granule shift */
  uint32_t kfMask;
  uint32_t theoraVersion;     /* major << 16 | minor << 8 | revision */
  uint32_t lastTimeMs;
  uint8_t* priv;
  uint32_t privLength;
  /* Theora: the header's frame rate as its fraction, from which frame times
   * come exactly (a frame duration in 100 ns units is already rounded), and
   * the number of the last frame delivered. */
  uint32_t rateNum;
  uint32_t rateDen;
  kvr_i64 lastFrame;
} OggVideoInfo;

typedef struct OggPacketRecord {
  uint32_t serial;
  uint32_t spare;
  kvr_i64 granule;
  uint32_t size;              /* in: capacity; out: packet bytes */
  uint8_t* buffer;
  uint32_t spare2[2];
} OggPacketRecord;

/* --- exports ------------------------------------------------------------ */

KVR_EXPORT int32_t KVR_OGG_DMX(int32_t op, void* handleSlot, void* in, void* out);
/* op 0: handle is the address of an int32_t that receives the new handle;
 * the other ops take the handle value. */
KVR_EXPORT int32_t KVR_OGG_QUE(int32_t op, intptr_t handle, void* record, void* extra);

KVR_EXPORT int32_t IsH264Family(uint32_t codecId);
KVR_EXPORT int32_t ogg_packet_checkout_any(void);

KVR_EXPORT int32_t ogg_stream_read(uint8_t* buffer, int32_t length, OggInputReader* reader);
KVR_EXPORT int32_t ogg_stream_seek(OggInputReader* reader, int64_t delta);
KVR_EXPORT void ogg_streams_flush(OggInputReader* reader);
KVR_EXPORT int32_t ogg_streams_reset(OggInputReader* reader);
KVR_EXPORT int32_t ogg_stream_find_sync(OggInputReader* reader);
KVR_EXPORT int32_t ogg_page_header_parse(OggPageRecord* page, const uint8_t* header,
                                         OggInputReader* reader, int32_t loadData);
KVR_EXPORT int32_t ogg_page_parsing(OggPageRecord* page, OggInputReader* reader, int32_t loadData);
KVR_EXPORT int32_t findNextSync(const uint8_t* memory, int64_t* offset, int32_t count);
/* The per-file context (private to the library). */
struct OggDmxContext;
/* Opens reader k (a file handle and a cache of `cacheSize` bytes) for each
 * of the first `streamCount` streams: 0, OGG_ERR_OPEN_FILE or
 * OGG_ERR_ARGUMENT (no memory). Readers opened before a failure stay open
 * for the context's release. */
KVR_EXPORT int32_t input_stream_open(struct OggDmxContext* ctx, const char* fileName, int32_t streamCount,
                                     uint32_t cacheSize);
/* Tops up every stream's page queue to eleven pages, with the page data
 * when `loadData` is set: 0, or a page-reader or queue error. */
KVR_EXPORT int32_t ogg_page_enqueue(struct OggDmxContext* ctx, int32_t loadData);
/* The next whole packet of stream `serial` into packet->buffer (packet->size
 * holds its capacity on the way in): 0, OGG_ERR_TOO_BIG, OGG_ERR_END,
 * OGG_ERR_NO_STREAM, or an error of the queue top-up. */
KVR_EXPORT int32_t ogg_packet_checkout(OggPacketRecord* packet, struct OggDmxContext* ctx, uint32_t serial);
KVR_EXPORT int32_t ogg_get_page_Qnum(int32_t queue);
KVR_EXPORT int32_t ogg_pageQ_flush(int32_t queue);
KVR_EXPORT uint32_t ogg_get_audiotype(const uint8_t* subtype);

/* Host functions as the last open installed them. */
KVR_EXPORT extern KvrMallocFn ogg_dmx_pMalloc;
KVR_EXPORT extern KvrMallocFn ogg_dmx_pNonCacheMalloc;
KVR_EXPORT extern KvrFreeFn ogg_dmx_pFree;
KVR_EXPORT extern KvrFreeFn ogg_dmx_pNonCacheFree;
KVR_EXPORT extern KvrMemcpyFn ogg_dmx_pMemcpy;
KVR_EXPORT extern KvrMemmoveFn ogg_dmx_pMemmove;
KVR_EXPORT extern KvrMemsetFn ogg_dmx_pMemset;
KVR_EXPORT extern KvrReallocFn ogg_dmx_pRealloc;
KVR_EXPORT extern KvrFopenFn ogg_dmx_pFopen;
KVR_EXPORT extern KvrFreadFn ogg_dmx_pFread;
KVR_EXPORT extern KvrFseekFn ogg_dmx_pFseek;
KVR_EXPORT extern KvrFtellFn ogg_dmx_pFtell;
KVR_EXPORT extern KvrFcloseFn ogg_dmx_pFclose;
KVR_EXPORT extern KvrFeofFn ogg_dmx_pFeof;
KVR_EXPORT extern KvrFflushFn ogg_dmx_pFflush;
KVR_EXPORT extern KvrFwriteFn ogg_dmx_pFwrite;
KVR_EXPORT extern KvrUnlinkFn ogg_dmx_pUnlink;
KVR_EXPORT extern KvrFseek64Fn ogg_dmx_pFseek64;
KVR_EXPORT extern KvrFtell64Fn ogg_dmx_pFtell64;

#ifdef __cplusplus
}
#endif

#endif
