#ifndef KVR_APE_DMX_H
#define KVR_APE_DMX_H
/* libkvrapedmx: the APE audio demuxer plug-in. Records are 32-bit words on
 * the board; pointer words are pointer-sized here (see kvr_plugin.h). */

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  APE_OP_OPEN = 0,
  APE_OP_NEXT_FRAME = 3,
  APE_OP_CLOSE = 4,
  APE_OP_SEEK = 5
};

/* Results of the entry. */
enum {
  APE_OK = 0,
  APE_ERR_END = -1,      /* end of stream, seek past the last frame; also no memory */
  APE_ERR_NO_MEMORY = -1,
  APE_ERR_OTHER = -2,    /* unknown operation; file cannot be opened or is not a usable APE file */
  APE_ERR_LEVEL = -4,    /* open: compression level above 4000 */
  APE_ERR_NO_HANDLE = -4 /* operations 3, 4, 5 without a handle */
};

/* The host functions as this library orders them; the open record carries
 * them from its second word on, and the library keeps a pointer to them, so
 * the record must outlive the handle. */
typedef struct ApeHostFunctions {
  KvrMallocFn allocate;  /* record word 1 */
  void* unused2;
  KvrFreeFn release;     /* word 3 */
  void* unused4;
  KvrMemcpyFn copy;      /* word 5 */
  KvrMemsetFn fill;      /* word 6 */
  KvrReallocFn resize;   /* word 7 */
  void* unused8;
  KvrMemcmpFn compare;   /* word 9 */
  KvrFopenFn open;       /* word 10, mode "rb" */
  KvrFreadFn read;       /* word 11 */
  KvrFseekFn seek;       /* word 12, origins 0 and 2 */
  KvrFtellFn tell;       /* word 13 */
  void* unused14;
  KvrFcloseFn close;     /* word 15 */
} ApeHostFunctions;

typedef struct ApeOpenRecord {
  const char* file_name;  /* word 0 */
  ApeHostFunctions host;  /* words 1-15 */
} ApeOpenRecord;

typedef struct ApeSeekRequest {
  int32_t target_ms;
  int32_t absolute; /* 0: the target is added to the current time */
} ApeSeekRequest;

/* Output of operation 0; only the named words are written. */
typedef struct ApeStreamInfo {
  int32_t word0;
  uint32_t file_size;            /* word 1 */
  int32_t duration_ms;           /* word 2 */
  int32_t words3_31[29];
  uint32_t total_frames;         /* word 32 */
  uint32_t sample_rate;          /* word 33 */
  uint32_t bits_per_sample;      /* word 34 */
  uint32_t channels;             /* word 35 */
  int32_t word36;
  const uint8_t* codec_header;   /* word 37 */
  uint32_t codec_header_size;    /* word 38: 24 */
  uint32_t max_frame_size;       /* word 39: 215039 */
  int32_t words40_41[2];
  uint32_t bit_rate;             /* word 42 */
  int32_t words43_63[21];
  const char* tags;              /* word 64: APE_TAG_FIELDS fields, or null */
} ApeStreamInfo;

/* Output of operations 3 and 5 (5 writes the time only). */
typedef struct ApeFrameOutput {
  const uint8_t* data; /* word 0, owned by the library */
  uint32_t size;       /* word 1 */
  int32_t word2;
  int32_t time_ms;     /* word 3 */
} ApeFrameOutput;

#define APE_CODEC_HEADER_SIZE 24
#define APE_FRAME_HEADER_SIZE 12
#define APE_FRAME_BUFFER_SIZE 215040
#define APE_MAX_FRAME_SIZE 215039

/* Tag strings: seven fields of 257 bytes, each value cut to 256 bytes and
 * always terminated. */
#define APE_TAG_FIELDS 7
#define APE_TAG_FIELD_SIZE 257
enum { APE_TAG_ARTIST, APE_TAG_ALBUM, APE_TAG_TITLE, APE_TAG_TRACK, APE_TAG_GENRE, APE_TAG_YEAR, APE_TAG_COMMENT };

/* The header record that ParseAPEHeader fills. Callers set the two input
 * fields first: the parser reads nothing of `buffer` past `buffer_bytes` and
 * accepts no frame that ends past `data_limit`. */
typedef struct ApeHeader {
  /* inputs */
  uint32_t buffer_bytes;        /* bytes of the APE data present in the buffer */
  uint32_t data_limit;          /* end of the frame data that the file can hold,
                                   counted from the start of the APE data */
  /* the file's header */
  uint16_t version;
  uint16_t padding;             /* descriptor padding word, 0 for old headers */
  uint16_t compression_level;
  uint16_t format_flags;
  uint16_t bits_per_sample;
  uint16_t channels;
  uint32_t sample_rate;
  uint32_t blocks_per_frame;
  uint32_t final_frame_blocks;
  uint32_t total_frames;
  uint32_t descriptor_length;   /* 0 for old headers */
  uint32_t header_length;
  uint32_t seek_table_length;   /* bytes */
  uint32_t wav_header_length;
  uint32_t terminating_length;
  kvr_u64 frame_data_length;    /* descriptor headers only */
  uint32_t data_start;          /* length of everything before the first frame */
  uint32_t* seek_table;         /* total_frames + 1 offsets, rising; the last
                                   one is the end of the last frame */
  uint32_t seek_table_frames;   /* frames that the table covers */
} ApeHeader;

/* ParseAPEHeader results. */
enum { APE_PARSE_OK = 0, APE_PARSE_NO_MEMORY = 1, APE_PARSE_NOT_APE = 2, APE_PARSE_LEVEL = 4 };

KVR_EXPORT int32_t KVR_APE_DMX(int32_t op, void* handle_slot, void* in, void* out);
/* Parses the header at the start of `buffer` (the APE data, after any ID3v2
 * tag) and allocates the seek table with `host`; `*data_start` receives the
 * data start offset. Result: APE_PARSE_*. */
KVR_EXPORT int32_t ParseAPEHeader(const uint8_t* buffer, ApeHeader* header, uint32_t* data_start,
                                  const ApeHostFunctions* host);
/* Reads the APE tag at the end of `file` into the tag string area
 * (APE_TAG_FIELDS x APE_TAG_FIELD_SIZE bytes). 0 when a tag was read, 1 when
 * there is none (or it cannot be read). */
KVR_EXPORT int32_t ParseAPETag(char* tags, void* file, const ApeHostFunctions* host);
KVR_EXPORT uint32_t APEGetBitrate(const ApeHeader* header, uint32_t file_size);

KVR_EXPORT extern const char APETAGINFO_PREAMPLE[8];
KVR_EXPORT extern const char APETAGINFO_ARTIST[8];
KVR_EXPORT extern const char APETAGINFO_ALBUM[8];
KVR_EXPORT extern const char APETAGINFO_TITLE[8];
KVR_EXPORT extern const char APETAGINFO_TRACK[8];
KVR_EXPORT extern const char APETAGINFO_GENRE[8];
KVR_EXPORT extern const char APETAGINFO_YEAR[8];
KVR_EXPORT extern const char APETAGINFO_COMMENT[8];

#ifdef __cplusplus
}
#endif

KVR_ASSERT_OFFSET32(ApeOpenRecord, file_name, 0);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.allocate, 4);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.release, 12);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.copy, 20);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.fill, 24);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.resize, 28);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.compare, 36);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.open, 40);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.read, 44);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.seek, 48);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.tell, 52);
KVR_ASSERT_OFFSET32(ApeOpenRecord, host.close, 60);
KVR_ASSERT_SIZE32(ApeOpenRecord, 64);
KVR_ASSERT_OFFSET32(ApeSeekRequest, absolute, 4);
KVR_ASSERT_OFFSET32(ApeStreamInfo, file_size, 4);
KVR_ASSERT_OFFSET32(ApeStreamInfo, duration_ms, 8);
KVR_ASSERT_OFFSET32(ApeStreamInfo, total_frames, 128);
KVR_ASSERT_OFFSET32(ApeStreamInfo, sample_rate, 132);
KVR_ASSERT_OFFSET32(ApeStreamInfo, bits_per_sample, 136);
KVR_ASSERT_OFFSET32(ApeStreamInfo, channels, 140);
KVR_ASSERT_OFFSET32(ApeStreamInfo, codec_header, 148);
KVR_ASSERT_OFFSET32(ApeStreamInfo, codec_header_size, 152);
KVR_ASSERT_OFFSET32(ApeStreamInfo, max_frame_size, 156);
KVR_ASSERT_OFFSET32(ApeStreamInfo, bit_rate, 168);
KVR_ASSERT_OFFSET32(ApeStreamInfo, tags, 256);
KVR_ASSERT_SIZE32(ApeStreamInfo, 260);
KVR_ASSERT_OFFSET32(ApeFrameOutput, size, 4);
KVR_ASSERT_OFFSET32(ApeFrameOutput, time_ms, 12);

#endif
