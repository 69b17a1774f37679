#ifndef KVR_MPG_DMX_H
#define KVR_MPG_DMX_H
/* libkvrmpgdmx: the MPEG program-stream / DVD VOB demuxer plug-in. Records are
 * 32-bit words on the board; pointer words are pointer-sized here (see
 * kvr_plugin.h). The entry takes the address of the handle word. */

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  MPG_OP_OPEN = 0,
  MPG_OP_CLOSE = 1,
  MPG_OP_SUBPICTURE = 2,
  MPG_OP_SEEK = 3,
  MPG_OP_NEXT_FRAME = 4,
  MPG_OP_SELECT = 5,
  MPG_OP_OPEN_INFO = 7
};

/* Results of the entry and of the internal steps. */
enum {
  MPG_OK = 0,
  MPG_ERR_END = -1,           /* end of file or unreadable data */
  MPG_ERR_NO_MEMORY = -2,
  MPG_ERR_NO_END_COMMAND = -3, /* sub-picture: no end command; header: not decodable */
  MPG_ERR_ARGUMENT = -4,      /* unknown op, bad mode or kind, no handle */
  MPG_ERR_NOT_PS = -5,        /* no pack header in the scan window, or a foreign pack syntax */
  MPG_ERR_AUDIO_VERSION = -5, /* audio frame finder: MPEG audio of the reserved version */
  MPG_ERR_INCOMPLETE = -6,    /* sub-picture unit shorter than its size field; no frame yet */
  MPG_ERR_RING_FULL = -7,     /* buffered video exceeded its ring */
  MPG_ERR_PROBE_OPEN = -8,
  MPG_ERR_SKIPPED = -21,      /* internal: a private stream 1 sub-stream passed over */
  MPG_ERR_FILE_OPEN = -30,
  MPG_ERR_SEEK = -33,
  MPG_ERR_SHORT_READ = -34,
  MPG_ERR_NO_CACHE = -32,     /* byte reader used without a cache */
  MPG_ERR_PROFILE = -100      /* H.264 profile or constraint refused */
};

/* A millisecond time that is not known (first and last times of the entries,
 * frame times before any PTS). */
#define MPG_TIME_NONE (-1)

/* Stream modes (open record word 21, low four bits). */
enum { MPG_MODE_DIRECT = 0, MPG_MODE_TWO_READERS = 1 };
/* Duration modes (open record word 23). */
enum { MPG_DURATION_NONE = 0, MPG_DURATION_MEASURE = 1, MPG_DURATION_GIVEN = 2 };
/* Seek recovery options (open record word 24). */
enum { MPG_RECOVER_END = 0x1, MPG_RECOVER_LAST_VIDEO = 0x2 };

/* Frame kinds. */
enum {
  MPG_KIND_VIDEO = 1,
  MPG_KIND_AUDIO = 2,
  MPG_KIND_SUBPICTURE = 4,
  MPG_KIND_NAV_PCI = 5,
  MPG_KIND_NAV_DSI = 6,
  MPG_KIND_NAV_OTHER = 7
};

/* Seek flags (frame request word 1). */
enum {
  MPG_SEEK_MODE_MASK = 0xF,
  MPG_SEEK_START = 0,
  MPG_SEEK_FORWARD = 1,
  MPG_SEEK_BACKWARD = 2,
  MPG_SEEK_READERS_MASK = 0xF0,
  MPG_SEEK_VIDEO_READER = 0x10,
  MPG_SEEK_AUDIO_READER = 0x20,
  MPG_SEEK_ABSOLUTE_MASK = 0xF000,
  MPG_SEEK_ABSOLUTE = 0x1000,
  MPG_SEEK_RESYNC = 0x10000
};

/* Codec codes of the audio entries and tags of the video entries. */
enum {
  MPG_AUDIO_OTHER = 0,
  MPG_AUDIO_LPCM = 1,
  MPG_AUDIO_MP2 = 0x50,
  MPG_AUDIO_MP3 = 0x55,
  MPG_AUDIO_MP1 = 0xCC01,
  MPG_AUDIO_AAC = 0xAAC0,
  MPG_AUDIO_AC3 = 0x2000,
  MPG_AUDIO_DTS = 0x2001
};
#define MPG_TAG(a, b, c, d) ((uint32_t)(a) | ((uint32_t)(b) << 8) | ((uint32_t)(c) << 16) | ((uint32_t)(d) << 24))
#define MPG_VIDEO_MPEG MPG_TAG('m', 'p', 'e', 'g')
#define MPG_VIDEO_MP4V MPG_TAG('m', 'p', '4', 'v')
#define MPG_VIDEO_AVC1 MPG_TAG('a', 'v', 'c', '1')

/* Time flags of the context (open computes them from the first video entry). */
enum {
  MPG_TIME_LATE_START = 0x1,
  MPG_TIME_ENDS_BEFORE_START = 0x10,
  MPG_TIME_B_PICTURES = 0x100,
  MPG_TIME_ONE_TIME = 0x1000
};

/* The twenty host functions, open record words 1 to 20. */
typedef struct MpgHostFunctions {
  KvrMallocFn allocate;  /* word 1 */
  void* unused2;
  KvrFreeFn release;     /* word 3 */
  void* unused4;
  KvrMemcpyFn copy;      /* word 5 */
  KvrMemsetFn fill;      /* word 6 */
  KvrReallocFn resize;   /* word 7: grows the stream lists */
  void* unused8;
  KvrFopenFn open;       /* word 9, mode "rb" */
  KvrFreadFn read;       /* word 10: every cached read */
  KvrFreadFn read_direct; /* word 11: direct reads of navigation packets */
  KvrFseekFn seek;       /* word 12, used when seek64 is null */
  KvrFtellFn tell;       /* word 13, used when tell64 is null */
  KvrFseek64Fn seek64;   /* word 14, or null */
  KvrFtell64Fn tell64;   /* word 15, or null */
  void* unused16;
  KvrFcloseFn close;     /* word 17 */
  void* unused18_20[3];
} MpgHostFunctions;

typedef struct MpgOpenRecord {
  const char* file_name;   /* word 0 */
  MpgHostFunctions host;   /* words 1-20 */
  uint32_t stream_mode;    /* word 21: MPG_MODE_* in the low four bits */
  uint32_t cache_size;     /* word 22: read cache of every reader, bytes */
  uint32_t duration_mode;  /* word 23: MPG_DURATION_*; op 7 writes 0 */
  uint32_t recovery;       /* word 24: MPG_RECOVER_* */
} MpgOpenRecord;

typedef struct MpgVideoEntry {
  uint32_t id;             /* 0xE0-0xEF */
  uint32_t codec;          /* MPG_VIDEO_* */
  uint32_t width;
  uint32_t height;
  uint32_t aspect;         /* MPEG-1/2 code, or height/width x 10000 */
  uint32_t frame_rate;     /* frames per second x 1000 */
  uint32_t bit_rate;
  int32_t first_ms;        /* -1 when none */
  int32_t last_ms;
} MpgVideoEntry;

typedef struct MpgAudioEntry {
  uint32_t id;             /* 0xC0-0xCF, or the private stream 1 sub-stream id */
  uint32_t codec;          /* MPG_AUDIO_* */
  uint32_t sample_rate;
  uint32_t bits;
  uint32_t bit_rate;
  uint32_t channels;
  uint32_t header;         /* first two header bytes of MPEG audio and AAC */
  uint32_t frame_length;
  int32_t first_ms;        /* -1 when none */
  int32_t last_ms;
} MpgAudioEntry;

typedef struct MpgStreamInfo {
  kvr_u64 file_size;
  int32_t duration_ms;
  uint32_t video_count;
  uint32_t video_index;
  MpgVideoEntry* video;    /* owned by the library */
  uint32_t audio_count;
  uint32_t audio_index;
  MpgAudioEntry* audio;    /* owned by the library */
  uint32_t word9;
} MpgStreamInfo;

typedef struct MpgFrameRequest {
  int32_t target_ms;       /* op 3 */
  uint32_t seek_flags;     /* op 3: MPG_SEEK_* */
  int32_t word2;
  uint32_t kind;           /* MPG_KIND_VIDEO or MPG_KIND_AUDIO (two-reader mode) */
  uint32_t subpicture_id;  /* 0x20-0x2F, 0 for none */
} MpgFrameRequest;

typedef struct MpgFrame {
  uint8_t* data;           /* owned by the library */
  uint32_t length;
  uint32_t kind;
  int32_t time_ms;
  int32_t scr_ms;
  uint32_t stream_id;
} MpgFrame;

typedef struct MpgSelectRequest {
  uint32_t style;          /* 0: one stream of each kind by id; else masks */
  uint32_t flags;          /* bit 0 video, bit 1 audio */
  uint32_t video;          /* id or mask of video indexes */
  uint32_t audio;          /* id or mask of audio indexes */
} MpgSelectRequest;

#define MPG_MAX_SELECTED 32
typedef struct MpgSelectResult {
  uint32_t video_count;
  uint32_t audio_count;
  MpgVideoEntry* video[MPG_MAX_SELECTED];
  MpgAudioEntry* audio[MPG_MAX_SELECTED];
} MpgSelectResult;

typedef struct MpgSubpictureRequest {
  const uint8_t* unit;
  uint32_t length;
  uint32_t crop;
} MpgSubpictureRequest;

/* The largest DVD picture (PAL). */
#define MPG_SPU_MAX_WIDTH 720u
#define MPG_SPU_MAX_HEIGHT 576u

typedef struct MpgSubpicture {
  uint16_t* pixels;        /* the caller's buffer */
  uint32_t capacity;       /* entries the buffer holds; 0: a buffer for the
                              largest DVD picture, MPG_SPU_MAX_WIDTH x MPG_SPU_MAX_HEIGHT */
  uint32_t width;
  uint32_t height;
  uint32_t left;
  uint32_t top;
  int32_t start_ms;
  int32_t end_ms;
} MpgSubpicture;

/* Cached byte reader over one host file handle. */
typedef struct MpgByteReader {
  uint8_t* start;          /* current block in the cache */
  uint8_t* end;
  uint32_t bit_offset;     /* kept 0 */
  uint32_t bits;           /* block length in bits */
  uint32_t length;         /* block length in bytes */
  uint32_t cursor;         /* next byte within the block */
  kvr_u64 block_pos;       /* file position of the block's first byte */
  void* handle;
  uint8_t* cache;
  uint32_t cache_size;
  const MpgHostFunctions* host;
} MpgByteReader;

/* Bit reader over memory: reads zeros past `size` bytes. */
typedef struct MpgBitReader {
  const uint8_t* buffer;
  uint32_t bit_pos;        /* 0-7, 8 right after a byte was taken */
  uint32_t taken;          /* bytes taken into the look-ahead word */
  uint32_t look;           /* next four bytes, most significant first */
  uint32_t size;
} MpgBitReader;

KVR_EXPORT int32_t KVR_MPG_DEC(int32_t op, void* handle_slot, void* in, void* out);

/* Byte reader. Word readers return 0 with the value, or MPG_ERR_END, so an
 * all-ones word is never taken for the end of the file. */
KVR_EXPORT int32_t open_bitstream(MpgByteReader* r, uint32_t cache_size, void* handle,
                                  const MpgHostFunctions* host);
KVR_EXPORT int32_t close_bitstream(MpgByteReader* r);
KVR_EXPORT int32_t bs_read_1byte(MpgByteReader* r);
KVR_EXPORT int32_t bs_read_bytes(MpgByteReader* r, uint8_t* dst, int32_t count);
KVR_EXPORT int32_t bs_read_be16(MpgByteReader* r, uint32_t* value);
KVR_EXPORT int32_t bs_read_le16(MpgByteReader* r, uint32_t* value);
KVR_EXPORT int32_t bs_read_be32(MpgByteReader* r, uint32_t* value);
KVR_EXPORT int32_t bs_read_le32(MpgByteReader* r, uint32_t* value);
KVR_EXPORT int32_t bs_read_be64(MpgByteReader* r, kvr_u64* value);
KVR_EXPORT int32_t bs_read_le64(MpgByteReader* r, kvr_u64* value);
/* Copies `count` bytes without moving past them; when the block ends first,
 * its rest moves to the start of the cache and the cache is filled behind it. */
KVR_EXPORT int32_t bs_show_bytes(MpgByteReader* r, uint8_t* dst, int32_t count);
KVR_EXPORT kvr_u64 bs_file_pos(const MpgByteReader* r);
KVR_EXPORT int32_t bs_fseek(MpgByteReader* r, kvr_u64 position);
KVR_EXPORT int32_t bs_fseek_reset(MpgByteReader* r, kvr_u64 position);
KVR_EXPORT int32_t bs_skip_bytes(MpgByteReader* r, kvr_u64 count);

/* Called by the format check before it opens the file; 0, or the check
 * fails with MPG_ERR_NO_MEMORY. */
KVR_EXPORT int32_t common_init(void);

/* Copies `count` bytes rounded up to an even number, the two bytes of every
 * pair swapped (in place when both pointers are equal). Returns 0. */
KVR_EXPORT int32_t swap_memcpy(uint8_t* dst, const uint8_t* src, uint32_t count);
/* The PTS in milliseconds of the next video PES packet, MPG_ERR_END at the
 * end of the file, MPG_CHECK_NO_PTS when that packet carries none. */
#define MPG_CHECK_NO_PTS 0xD82D82D8u
KVR_EXPORT int32_t MPG_Check_PTS(MpgByteReader* r, int32_t syntax);

KVR_EXPORT void initbits(MpgBitReader* b, const uint8_t* buffer, uint32_t size);
KVR_EXPORT uint32_t getbits(MpgBitReader* b, uint32_t count);
KVR_EXPORT void alignbits(MpgBitReader* b);
KVR_EXPORT uint32_t used_byte(const MpgBitReader* b);

/* Header decoders over the 104-byte work buffer. */
#define MPG_HEADER_BYTES 104
KVR_EXPORT int32_t MPG_DEC_MPG_DecodeSequenceHeader(MpgVideoEntry* entry, const uint8_t* buffer);
KVR_EXPORT int32_t MPG_DEC_MPG_DecodeADTSHeader(MpgAudioEntry* entry, const uint8_t* buffer);
KVR_EXPORT int32_t MPG_DEC_MPG_DecodeVOBAudioHeader(MpgAudioEntry* entry, const uint8_t* buffer);

/* Sub-picture run-length decoding into `picture` (see MpgSubpicture). */
KVR_EXPORT int32_t KVR_MPG_DecRLE(void* context, const MpgSubpictureRequest* request,
                                  MpgSubpicture* picture);

KVR_EXPORT extern const uint16_t gmMPEGAudioSampleFreq[16];
KVR_EXPORT extern const uint16_t gmMPEGAudioBitrate[256];
KVR_EXPORT extern const uint32_t gmAACAudioSampleFreq[16];
KVR_EXPORT extern const uint16_t gmAC3SampleRate[3];
KVR_EXPORT extern const uint16_t gmAC3BitRate[38];
KVR_EXPORT extern const uint16_t gmAC3FrameSize[57];
KVR_EXPORT extern const uint8_t gmAC3ChannelInfo[8];
KVR_EXPORT extern const uint16_t gmDTSSampleRate[17];
KVR_EXPORT extern const uint16_t gmDTSBitRate[32];
KVR_EXPORT extern const uint8_t gmDTSChannelInfo[16];
KVR_EXPORT extern const uint32_t gmPCMSampleRate[4];
KVR_EXPORT extern const uint32_t gmPCMBitSize[4];
KVR_EXPORT extern const uint8_t gmPCMChannelInfo[8];

#ifdef __cplusplus
}
#endif

KVR_ASSERT_OFFSET32(MpgOpenRecord, host.allocate, 4);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.release, 12);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.copy, 20);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.fill, 24);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.resize, 28);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.open, 36);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.read, 40);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.read_direct, 44);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.seek, 48);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.tell, 52);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.seek64, 56);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.tell64, 60);
KVR_ASSERT_OFFSET32(MpgOpenRecord, host.close, 68);
KVR_ASSERT_OFFSET32(MpgOpenRecord, stream_mode, 84);
KVR_ASSERT_OFFSET32(MpgOpenRecord, cache_size, 88);
KVR_ASSERT_OFFSET32(MpgOpenRecord, duration_mode, 92);
KVR_ASSERT_OFFSET32(MpgOpenRecord, recovery, 96);
KVR_ASSERT_SIZE32(MpgOpenRecord, 100);
KVR_ASSERT_SIZE32(MpgVideoEntry, 36);
KVR_ASSERT_SIZE32(MpgAudioEntry, 40);
KVR_ASSERT_OFFSET32(MpgStreamInfo, duration_ms, 8);
KVR_ASSERT_OFFSET32(MpgStreamInfo, video, 20);
KVR_ASSERT_OFFSET32(MpgStreamInfo, audio, 32);
KVR_ASSERT_SIZE32(MpgStreamInfo, 40);
KVR_ASSERT_SIZE32(MpgFrameRequest, 20);
KVR_ASSERT_SIZE32(MpgFrame, 24);
KVR_ASSERT_SIZE32(MpgSelectRequest, 16);
KVR_ASSERT_OFFSET32(MpgSelectResult, audio, 136);
KVR_ASSERT_SIZE32(MpgSelectResult, 264);
KVR_ASSERT_SIZE32(MpgSubpictureRequest, 12);
KVR_ASSERT_OFFSET32(MpgSubpicture, start_ms, 24);
KVR_ASSERT_SIZE32(MpgSubpicture, 32);
KVR_ASSERT_OFFSET32(MpgByteReader, block_pos, 24);
KVR_ASSERT_SIZE32(MpgByteReader, 48);

#endif
