#ifndef KVR_FLV_DMX_H
#define KVR_FLV_DMX_H
/* Records of the FLV demuxer entry KVR_FLV_DMX. Word offsets are those of the
 * board's 32-bit layout (pointer words are pointer-sized). The handle argument
 * of the entry is the address of the word that holds the context. */
#include <stdint.h>

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  FLVD_OP_OPEN = 0,
  FLVD_OP_CLOSE = 1,
  FLVD_OP_READ = 2,
  FLVD_OP_SEEK = 3,
  FLVD_OP_UNSUPPORTED = 4,
  FLVD_OP_LAST_ERROR = 5,
  FLVD_OP_OPEN_INFO = 10
};

/* Open flags (word 33 of the open record). */
enum {
  FLVD_OPEN_SEPARATE_HANDLES = 0x1,
  FLVD_OPEN_HOST_BUFFERS = 0x2,
  FLVD_OPEN_PROGRESSIVE = 0x4,
  FLVD_OPEN_MEMORY_INDEX = 0x8
};

/* What the entry returns on failure (op 5 gives the raw code below). */
enum {
  FLVD_RESULT_FAILED = -1,
  FLVD_RESULT_END = -2,
  FLVD_RESULT_BAD_HANDLE = -3,
  FLVD_RESULT_CANNOT_OPEN = -4
};

/* Error codes kept per handle and in g_flvd_lLastError. */
enum {
  FLVD_ERR_FRAME_TOO_BIG = 0, /* the op still fails */
  FLVD_ERR_TELL = -1,
  FLVD_ERR_SEEK = -2,
  FLVD_ERR_CONFIG_ALLOC = -3,
  FLVD_ERR_CONTEXT_ALLOC = -4,
  FLVD_ERR_OPEN_FILE = -5,
  FLVD_ERR_OPEN_SECOND = -6,
  FLVD_ERR_FRAME_BUFFER = -7,
  FLVD_ERR_NO_STREAM = -1002,
  FLVD_ERR_HEADER = -1004,
  FLVD_ERR_DURATION = -1005,
  FLVD_ERR_FRAME_SEEK = -2000,
  FLVD_ERR_BEYOND_END = -2003,
  FLVD_ERR_END2004 = -2004,
  FLVD_ERR_END2005 = -2005,
  FLVD_ERR_SEEK_WALK = -2006,
  FLVD_ERR_INDEX_ENTRY = -2007,
  FLVD_ERR_AVC_CONFIG = -3001,
  FLVD_ERR_VIDEO_HEADER = -3002,
  FLVD_ERR_AUDIO_HEADER = -3003,
  FLVD_ERR_AVC_NOT_SEQUENCE = -3004,
  FLVD_ERR_BAD_HANDLE = -4001,
  FLVD_ERR_NO_VIDEO = -4002,
  FLVD_ERR_NO_AUDIO = -4003,
  FLVD_ERR_BAD_KIND = -4004,
  FLVD_ERR_UNSUPPORTED = -4006,
  FLVD_ERR_INFO_ONLY = -4007,
  FLVD_ERR_NO_END_TAG = -10001,
  FLVD_ERR_END = -10002,
  FLVD_ERR_NOT_SEEKABLE = -10003
};

/* Seek modes of the file information block. */
enum { FLVD_SEEK_NONE = 0, FLVD_SEEK_INDEX = 1, FLVD_SEEK_ESTIMATE = 2 };

/* Stream kinds of frame requests and frame records. */
enum { FLVD_KIND_VIDEO = 1, FLVD_KIND_AUDIO = 2 };

/* Seek flags (word 1 of the seek request). */
enum {
  FLVD_SEEK_RELATIVE = 0x10,
  FLVD_SEEK_BACKWARD = 0x100,
  FLVD_SEEK_FORWARD = 0x200,
  FLVD_SEEK_END_AT_EOF = 0x10000,
  FLVD_SEEK_END_AT_LAST = 0x20000
};

/* Audio codec ids of the audio information block. */
enum { FLVD_AUDIO_AAC = 0xAAC0, FLVD_AUDIO_MP3 = 0x55, FLVD_AUDIO_MP2 = 0x50 };

typedef struct FlvdOpenRecord {
  KvrHostServices host;       /* words 0..26 */
  uint32_t unused[5];         /* 27..31 */
  const char* fileName;       /* 32 */
  uint32_t openFlags;         /* 33 */
  uint32_t cacheSize;         /* 34: 0 gives 4096, below 1024 gives 1024 */
  uint32_t seekReadSize;      /* 35: 0 gives 16 */
} FlvdOpenRecord;
KVR_ASSERT_OFFSET32(FlvdOpenRecord, fileName, 128);
KVR_ASSERT_OFFSET32(FlvdOpenRecord, seekReadSize, 140);
KVR_ASSERT_SIZE32(FlvdOpenRecord, 144);

typedef struct FlvdFileInfo {
  const char* fileName;       /* 0 */
  uint32_t durationMs;        /* 1 */
  kvr_i64 fileSize;           /* 2..3 */
  uint32_t seekMode;          /* 4 */
  uint32_t spare;             /* 5 */
} FlvdFileInfo;
KVR_ASSERT_OFFSET32(FlvdFileInfo, fileSize, 8);
KVR_ASSERT_OFFSET32(FlvdFileInfo, seekMode, 16);
KVR_ASSERT_SIZE32(FlvdFileInfo, 24);

typedef struct FlvdVideoInfo {
  uint32_t reserved;          /* 0: never written */
  uint32_t width;             /* 1 */
  uint32_t height;            /* 2 */
  uint32_t frameRate;         /* 3: frames per second x 1000 */
  uint32_t fourcc;            /* 4: four bytes in memory order */
  uint8_t* config;            /* 5: codec configuration, library-owned */
  uint32_t configLength;      /* 6 */
  uint32_t durationMs;        /* 7: from the key-frame index */
} FlvdVideoInfo;
KVR_ASSERT_OFFSET32(FlvdVideoInfo, config, 20);
KVR_ASSERT_SIZE32(FlvdVideoInfo, 32);

typedef struct FlvdAudioInfo {
  uint32_t reserved;          /* 0: never written */
  uint32_t sampleRate;        /* 1 */
  uint32_t bitsPerSample;     /* 2 */
  uint32_t channels;          /* 3 */
  uint32_t codecId;           /* 4: FLVD_AUDIO_* or 0 */
  uint8_t* config;            /* 5: AudioSpecificConfig for AAC, library-owned */
  uint32_t configLength;      /* 6 */
  uint32_t zero;              /* 7 */
} FlvdAudioInfo;
KVR_ASSERT_OFFSET32(FlvdAudioInfo, config, 20);
KVR_ASSERT_SIZE32(FlvdAudioInfo, 32);

/* The audio record of FLVD_ParseAudioHeader: the information block followed
 * by the bit rate word (kbit/s). */
typedef struct FlvdAudioRecord {
  FlvdAudioInfo info;         /* 0..7 */
  uint32_t bitRateKbps;       /* 8 */
} FlvdAudioRecord;
KVR_ASSERT_OFFSET32(FlvdAudioRecord, bitRateKbps, 32);

typedef struct FlvdOpenResult {
  FlvdFileInfo* file;         /* 0 */
  int32_t videoCount;         /* 1 */
  FlvdVideoInfo* video;       /* 2 */
  FlvdVideoInfo* video2;      /* 3: the same block */
  int32_t audioCount;         /* 4 */
  FlvdAudioInfo* audio;       /* 5 */
  FlvdAudioInfo* audio2;      /* 6: the same block */
} FlvdOpenResult;
KVR_ASSERT_OFFSET32(FlvdOpenResult, audioCount, 16);
KVR_ASSERT_SIZE32(FlvdOpenResult, 28);

typedef struct FlvdFrameRequest {
  uint8_t* buffer;            /* 0: host buffer (FLVD_OPEN_HOST_BUFFERS) */
  uint32_t size;              /* 1 */
  uint32_t kind;              /* 2: FLVD_KIND_* (FLVD_OPEN_SEPARATE_HANDLES) */
} FlvdFrameRequest;
KVR_ASSERT_SIZE32(FlvdFrameRequest, 12);

typedef struct FlvdFrame {
  const uint8_t* data;        /* 0 */
  uint32_t length;            /* 1 */
  uint32_t kind;              /* 2 */
  int32_t timeMs;             /* 3: relative to the first timestamp */
  uint32_t spare[2];          /* 4..5 */
} FlvdFrame;
KVR_ASSERT_SIZE32(FlvdFrame, 24);

typedef struct FlvdSeekRequest {
  int32_t timeMs;             /* 0 */
  uint32_t flags;             /* 1: FLVD_SEEK_* */
} FlvdSeekRequest;

typedef struct FlvdSeekAnswer {
  int32_t timeMs;             /* 0: reached time minus the first timestamp */
} FlvdSeekAnswer;

/* Tag information filled by the tag walks. */
typedef struct FlvTagInfo {
  uint32_t type;              /* 8 audio, 9 video, 18 script data */
  uint32_t dataSize;
  uint32_t timestamp;         /* ms, extension byte on top */
  uint32_t streamId;
} FlvTagInfo;

/* Tag kind bits, wanted and reported. */
enum {
  FLV_TAG_VIDEO = 0x1,
  FLV_TAG_AUDIO = 0x2,
  FLV_TAG_SCRIPT = 0x10000,
  FLV_TAG_KEY = 0x20000,
  FLV_TAG_CONFIG = 0x40000
};

/* Tag walk results besides 0. */
enum { FLV_WALK_FAILED = -1, FLV_WALK_BEGINNING = -100, FLV_WALK_END = -101 };

KVR_EXPORT int32_t KVR_FLV_DMX(int32_t op, void* handleSlot, void* in, void* out);
KVR_EXPORT extern int32_t g_flvd_lLastError;
KVR_EXPORT extern int32_t g_flvd_lErrorLine;

/* Codec header parsers. */
KVR_EXPORT int32_t FLVD_ParseAudioHeader(int32_t soundFormat, const uint8_t* bytes, int32_t length,
                                         FlvdAudioRecord* record);
KVR_EXPORT int32_t FLVD_ParseVideoHeader(int32_t codecId, const uint8_t* bytes, int32_t length,
                                         FlvdVideoInfo* record);
KVR_EXPORT int32_t FLVD_GetAVCSeqHeaderFromAvcC(const uint8_t* avcc, int32_t length, uint8_t* out,
                                                int32_t capacity);

#ifdef __cplusplus
}
#endif

#endif
