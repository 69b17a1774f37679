#ifndef KVR_AVI_DMX_H
#define KVR_AVI_DMX_H
/* libkvravidmx: the AVI demuxer plug-in (RIFF "AVI " with OpenDML "AVIX"
 * parts). Records are 32-bit words on the board; pointer words are
 * pointer-sized here (see kvr_plugin.h). */

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  AVI_OP_OPEN = 0,
  AVI_OP_CLOSE = 1,
  AVI_OP_PACKET = 2,
  AVI_OP_SEEK = 3,
  AVI_OP_SELECT = 4,
  AVI_OP_LAST_ERROR = 5,
  AVI_OP_OPEN_INFO = 7,
  AVI_OP_HOST_INDEX = 70,
  AVI_OP_VERSION = 0x8A74385
};

/* Results of the entry. */
enum { AVI_OK = 0, AVI_FAIL = -1, AVI_END = -2, AVI_DIVX_REFUSED = -101 };

/* Error codes (the context's last error, op 5; g_nLastError before a context). */
enum {
  AVI_ERR_NO_MEMORY = -2,
  AVI_ERR_REALLOC = -3,
  AVI_ERR_BUFFER_SMALL = -4,
  AVI_ERR_OPEN = -5,
  AVI_ERR_END = -6,
  AVI_ERR_NO_INDX = -1001,
  AVI_ERR_SUPER_OTHER_STREAM = -1004,
  AVI_ERR_STD_OTHER_STREAM = -1005,
  AVI_ERR_NO_RIFF = -1006,
  AVI_ERR_NO_HDRL = -1007,
  AVI_ERR_NO_STRL = -1008,
  AVI_ERR_STREAM_TYPE = -1009,
  AVI_ERR_NO_STRF = -1010,
  AVI_ERR_NO_MOVI = -1011,
  AVI_ERR_NO_CHUNK = -1012,
  AVI_ERR_NO_IDX1 = -1013,
  AVI_ERR_NO_INDEX_ENTRY = -1014,
  AVI_ERR_SEEK_MODE = -2000,
  AVI_ERR_SCAN_VIDEO = -2001,
  AVI_ERR_SCAN_AUDIO = -2004,
  AVI_ERR_AUDIO_ZERO_RATE = -2005,
  AVI_ERR_ODML_AUDIO_ZERO_RATE = -2006,
  AVI_ERR_SEEK_NOT_FOUND = -2010,
  AVI_ERR_SEEK_AUDIO_BEYOND = -2011,
  AVI_ERR_MIDI = -3001,
  AVI_ERR_TEXT = -3002,
  AVI_ERR_AVIH_FLAG20 = -3003,
  AVI_ERR_DIVX = -3005,
  AVI_ERR_VIDEO_RANGE = -4001,
  AVI_ERR_AUDIO_RANGE = -4002,
  AVI_ERR_META_RANGE = -4004,
  AVI_ERR_KIND = -4006,
  AVI_ERR_NO_VIDEO = -4007,
  AVI_ERR_NO_AUDIO = -4008,
  AVI_ERR_NO_KIND4 = -4009,
  AVI_ERR_NO_META = -4010,
  AVI_ERR_SELECT_KIND = -5000,
  AVI_ERR_MEM_INDEX_OTHER_STREAM = -5002
};

/* Open flags (AviOpenRecord.flags). */
enum {
  AVI_FLAG_SEPARATE = 0x1,
  AVI_FLAG_CALLER_BUFFER = 0x2,
  AVI_FLAG_HOST_INDEX = 0x4,
  AVI_FLAG_SINGLE = 0x8,
  AVI_FLAG_NO_EOF_SEEK = 0x10,
  AVI_FLAG_NO_REPAIR = 0x20,
  AVI_FLAG_KIND4 = 0x40,
  AVI_FLAG_KIND10 = 0x80,
  AVI_FLAG_STOP_AFTER_SEEK_MISS = 0x100,
  AVI_FLAG_SEEK_RETRY = 0x200,
  AVI_FLAG_DIVX_OK = 0x1000
};

/* Stream kinds of packet requests and packets. */
enum { AVI_KIND_VIDEO = 1, AVI_KIND_AUDIO = 2, AVI_KIND_4 = 4, AVI_KIND_META_SELECT = 8, AVI_KIND_META = 10 };

/* Index modes. */
enum {
  AVI_INDEX_NONE = 0,
  AVI_INDEX_IDX1 = 1,
  AVI_INDEX_ODML = 2,
  AVI_INDEX_ODML_AUDIO = 4,
  AVI_INDEX_HOST = 8,
  AVI_INDEX_IDX1_MEMORY = 16,
  AVI_INDEX_ODML_MEMORY = 32
};

enum { AVI_SEEK_RELATIVE = 0x10 };
enum { AVI_CONTEXT_SIZE = 34160 };

typedef struct AviOpenRecord {
  KvrHostServices host;    /* +0 .. +107 */
  void* unused108[5];      /* +108 .. +127 */
  const char* file_name;   /* +128 */
  uint32_t cache_size;     /* +132: 0 becomes 4096, below 512 becomes 512 (written back) */
  uint32_t flags;          /* +136 */
} AviOpenRecord;
KVR_ASSERT_OFFSET32(AviOpenRecord, file_name, 128);
KVR_ASSERT_OFFSET32(AviOpenRecord, cache_size, 132);
KVR_ASSERT_OFFSET32(AviOpenRecord, flags, 136);

typedef struct AviFileInfo {
  const char* file_name;      /* +0 */
  uint32_t duration_ms;       /* +4 */
  kvr_u64 file_size;          /* +8 */
  uint32_t buffer_size;       /* +16 */
  uint32_t index_present;     /* +20 */
  kvr_i64 first_video_pos;    /* +24 */
  kvr_i64 first_audio_pos;    /* +32 */
  kvr_i64 last_key_pos;       /* +40 */
  uint32_t last_key_ms;       /* +48 */
  uint32_t pad52;
  kvr_i64 movi_start;         /* +56 */
  kvr_i64 reserved64;         /* +64 */
  kvr_i64 first_key_pos;      /* +72: first video key frame after frame 0 */
  uint32_t first_key_ms;      /* +80 */
  uint32_t pad84;
} AviFileInfo;
KVR_ASSERT_OFFSET32(AviFileInfo, file_size, 8);
KVR_ASSERT_OFFSET32(AviFileInfo, first_video_pos, 24);
KVR_ASSERT_OFFSET32(AviFileInfo, last_key_ms, 48);
KVR_ASSERT_OFFSET32(AviFileInfo, movi_start, 56);
KVR_ASSERT_OFFSET32(AviFileInfo, first_key_ms, 80);

typedef struct AviVideoInfo {
  int32_t id;                 /* 10 + video ordinal */
  uint32_t width;
  uint32_t height;
  uint32_t frame_rate_milli;  /* dwRate * 1000 / dwScale */
  uint32_t fourcc;
  const uint8_t* extra;
  uint32_t extra_size;
  uint32_t bit_count;
  uint32_t reserved;
} AviVideoInfo;
KVR_ASSERT_SIZE32(AviVideoInfo, 36);

typedef struct AviAudioInfo {
  int32_t id;                 /* 30 + audio ordinal */
  uint32_t sample_rate;
  uint32_t bits_per_sample;
  uint32_t channels;
  uint32_t format_tag;
  const uint8_t* extra;
  uint32_t extra_size;        /* cbSize */
  uint32_t reserved;
  uint32_t block_align;
  uint32_t avg_bytes_per_sec;
  uint32_t kbps;              /* op 7 only */
} AviAudioInfo;
KVR_ASSERT_SIZE32(AviAudioInfo, 44);

typedef struct AviMetaInfo {
  int32_t id;                 /* 70 + metadata ordinal */
  uint8_t strf[80];
} AviMetaInfo;
KVR_ASSERT_SIZE32(AviMetaInfo, 84);

typedef struct AviOpenResult {
  AviFileInfo* file;          /* 0 */
  int32_t video_count;        /* 1 */
  AviVideoInfo* videos;       /* 2 */
  AviVideoInfo* video;        /* 3 */
  int32_t audio_count;        /* 4 */
  AviAudioInfo* audios;       /* 5 */
  AviAudioInfo* audio;        /* 6 */
  int32_t meta_count;         /* 7 */
  AviMetaInfo* metas;         /* 8 */
  AviMetaInfo* meta;          /* 9 */
  int32_t word10;
  int32_t word11;
} AviOpenResult;
KVR_ASSERT_SIZE32(AviOpenResult, 48);

typedef struct AviPacketRequest {
  uint8_t* buffer;            /* with AVI_FLAG_CALLER_BUFFER */
  uint32_t buffer_size;
  int32_t kind;               /* 1, 2, 4, 10, else whichever comes next */
} AviPacketRequest;

typedef struct AviPacket {
  const uint8_t* data;
  uint32_t size;
  int32_t kind;
  int32_t time_ms;
  int32_t word4;
  int32_t word5;
} AviPacket;
KVR_ASSERT_SIZE32(AviPacket, 24);

typedef struct AviSeekRequest {
  int32_t target_ms;
  uint32_t flags;             /* AVI_SEEK_RELATIVE */
} AviSeekRequest;

typedef struct AviSeekResult {
  int32_t reached_ms;
  uint32_t flags;             /* 0 after success, the request's flags after a failure */
} AviSeekResult;

typedef struct AviSelectRequest {
  uint32_t change;            /* 1 video, 2 audio */
  int32_t video_id;
  int32_t audio_id;
} AviSelectRequest;

typedef struct AviSelectResult {
  AviVideoInfo* video;
  AviAudioInfo* audio;
} AviSelectResult;

typedef struct AviHostIndexNode {
  uint32_t id;
  uint32_t size;
  kvr_i64 pos;
  struct AviHostIndexNode* next;
} AviHostIndexNode;
KVR_ASSERT_OFFSET32(AviHostIndexNode, pos, 8);
KVR_ASSERT_OFFSET32(AviHostIndexNode, next, 16);

typedef struct AviHostIndex {
  uint32_t word0;
  uint32_t count;
  AviHostIndexNode* first;
  AviHostIndexNode* last;
} AviHostIndex;

KVR_EXPORT int32_t KVR_AVI_DMX(int32_t op, void* handleSlot, void* in, void* out);

#ifdef __cplusplus
}
#endif

#endif
