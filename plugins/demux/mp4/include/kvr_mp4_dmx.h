#ifndef KVR_MP4_DMX_H
#define KVR_MP4_DMX_H
/* libkvrmp4dmx: the MP4 / MOV / 3GPP and fragmented-MP4 demuxer plug-in.
 * Records are 32-bit words on the board; pointer words are pointer-sized here
 * (see kvr_plugin.h) and the board offsets are asserted at the end. */

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  MP4_OP_OPEN = 0,
  MP4_OP_CLOSE = 1,
  MP4_OP_PACKET = 2,
  MP4_OP_SEEK = 3,
  MP4_OP_SELECT = 4,
  MP4_OP_OPEN_INFO = 7,
  MP4_OP_AVCC = 100,
  MP4_OP_VERSION = 4096,
  MP4_OP_EOF_POLICY = 4097
};

/* Results. The end codes are those of the kinds' reads. */
enum {
  MP4_OK = 0,
  MP4_END = -1,           /* end of all tracks (interleaved reading); also a box handler's soft refusal */
  MP4_END_VIDEO = -2,
  MP4_END_AUDIO = -3,
  MP4_END_SUBTITLE = -4,
  MP4_ERR_SEEK = -27007,
  MP4_ERR_EOF = -27010,
  MP4_ERR_ITEM_SHORT = -27011,
  MP4_ERR_OPEN = -27013,
  MP4_ERR_KIND = -27014,
  MP4_ERR_NOT_MOOF = -27015,
  MP4_ERR_FIELD = -27016,
  MP4_ERR_STSD = -27017,
  MP4_ERR_NO_SAMPLE = -27018,
  MP4_ERR_TRUN_OFFSET = -27020,
  MP4_ERR_AUDIO_INDEX = -27021,
  MP4_ERR_VIDEO_INDEX = -27022,
  MP4_ERR_SUBTITLE_INDEX = -27023,
  MP4_ERR_MEMORY = -27101,
  MP4_ERR_FORMAT = -27102,
  MP4_ERR_UNSUPPORTED = -27103,
  MP4_ERR_NO_TRACK = -27104,
  MP4_ERR_NO_CACHE = -27105,
  MP4_ERR_GROW = -27107,
  MP4_ERR_TABLE_MEMORY = -27108,
  MP4_ERR_NO_BASE_TRACK = -27110,
  MP4_ERR_ZERO_BOX = -27111,
  MP4_ERR_AVCC = -27202,
  MP4_ERR_FATAL = -27300, /* a box handler result below this ends the parse */
  MP4_ERR_STSZ = -27301
};

/* Track kinds and the kind bits of operations 2 and 4. */
enum { MP4_KIND_NONE = 0, MP4_KIND_VIDEO = 1, MP4_KIND_AUDIO = 2, MP4_KIND_SUBTITLE = 4 };

/* End-of-file seek policies of operation 4097. */
enum { MP4_EOF_FAIL = 0, MP4_EOF_TO_END = 1, MP4_EOF_LAST_SYNC = 2 };

/* Seek mode bit of operation 3: the target is added to the current time. */
#define MP4_SEEK_RELATIVE 0x10

/* Open record (input of operations 0 and 7): 49 words. */
typedef struct Mp4OpenRecord {
  KvrMallocFn malloc_fn;     /* 0 */
  KvrMallocFn nc_malloc_fn;  /* 1: stored, never called */
  KvrFreeFn free_fn;         /* 2 */
  KvrFreeFn nc_free_fn;      /* 3: stored, never called */
  KvrMemcpyFn memcpy_fn;     /* 4 */
  KvrMemsetFn memset_fn;     /* 5 */
  KvrReallocFn realloc_fn;   /* 6 */
  KvrMemmoveFn memmove_fn;   /* 7, may be null */
  void* unused8[8];          /* 8-15 */
  KvrFopenFn fopen_fn;       /* 16, mode "rb" */
  KvrFreadFn fread_fn;       /* 17 */
  KvrFseekFn fseek_fn;       /* 18 */
  KvrFtellFn ftell_fn;       /* 19 */
  KvrFwriteFn fwrite_fn;     /* 20: stored, never called */
  KvrFcloseFn fclose_fn;     /* 21 */
  KvrUnlinkFn unlink_fn;     /* 22: stored, never called */
  void* unused23[2];         /* 23-24 */
  KvrFseek64Fn fseek64_fn;   /* 25, may be null */
  KvrFtell64Fn ftell64_fn;   /* 26, may be null */
  void* unused27[5];         /* 27-31 */
  const char* file_name;     /* 32 */
  int32_t trim_audio;        /* 33: option 0x1 (operation 0 only) */
  int32_t trim_video;        /* 34: option 0x2 (operation 0 only) */
  int32_t option4;           /* 35: option 0x4, stored only */
  int32_t size_unknown;      /* 36: option 0x8 */
  int32_t one_handle;        /* 37: option 0x20 */
  int32_t key_seek;          /* 38: option 0x40 */
  int32_t unused39;
  int32_t video_cache;       /* 40: bytes, 0 means 1024 */
  int32_t audio_cache;       /* 41 */
  int32_t subtitle_cache;    /* 42 */
  int32_t unused43[5];
  int32_t main_cache;        /* 48 */
} Mp4OpenRecord;

/* Information record (output of operations 0, 7 and 4): 120 words. */
typedef struct Mp4Info {
  const char* file_name;       /* 0: without directories */
  const char* text1;           /* 1: stays empty */
  const char* creation_date;   /* 2: stays empty */
  int32_t duration_ms;         /* 3 */
  kvr_i64 file_size;           /* 4-5 */
  int32_t words6_7[2];
  int32_t timescale;           /* 8 */
  int32_t word9;
  int32_t track_count;         /* 10 */
  int32_t seekable;            /* 11 */
  const char* title;           /* 12 */
  const char* artist;          /* 13 */
  const char* album;           /* 14 */
  const char* album_artist;    /* 15 */
  const char* date;            /* 16 */
  const char* writer;          /* 17 */
  const uint8_t* cover;        /* 18 */
  int32_t cover_length;        /* 19 */
  const char* genre;           /* 20 */
  char compilation[4];         /* 21 */
  char track_number[16];       /* 22-25 */
  char disc_number[16];        /* 26-29 */
  const char* location;        /* 30 */
  int32_t genre_from_table;    /* 31 */
  int32_t fragmented;          /* 32 */
  int32_t words33_48[16];
  int32_t video_index;         /* 49 */
  uint32_t video_mask;         /* 50 */
  int32_t width;               /* 51 */
  int32_t height;              /* 52 */
  int32_t frame_rate;          /* 53: x 1000 */
  uint32_t video_codec;        /* 54: four bytes as stored */
  const char* video_codec_name;/* 55 */
  const char* video_text;      /* 56: stays empty */
  const uint8_t* video_config; /* 57 */
  int32_t video_config_length; /* 58 */
  int32_t video_samples;       /* 59 */
  int32_t video_key_samples;   /* 60 */
  int32_t has_avcc;            /* 61 */
  int32_t video_timescale;     /* 62 */
  int32_t last_key_ms;         /* 63 */
  int32_t video_max_bitrate;   /* 64 */
  int32_t video_avg_bitrate;   /* 65 */
  int32_t rotation;            /* 66 */
  int32_t h_spacing;           /* 67 */
  int32_t v_spacing;           /* 68 */
  uint32_t video_first_offset; /* 69 */
  int32_t has_ctts;            /* 70 */
  int32_t words71_79[9];
  int32_t audio_count;         /* 80 */
  int32_t audio_index;         /* 81 */
  uint32_t audio_mask;         /* 82 */
  int32_t audio_samples;       /* 83 */
  int32_t sample_rate;         /* 84 */
  int32_t bits_per_sample;     /* 85 */
  int32_t channels;            /* 86 */
  int32_t audio_format;        /* 87 */
  const char* audio_codec_name;/* 88 */
  const char* audio_text;      /* 89: stays empty */
  const uint8_t* audio_config; /* 90 */
  int32_t audio_config_length; /* 91 */
  int32_t frames_per_sample;   /* 92 */
  int32_t audio_timescale;     /* 93 */
  int32_t word94;
  int32_t audio_max_bitrate;   /* 95 */
  int32_t audio_avg_bitrate;   /* 96 */
  uint32_t audio_first_offset; /* 97 */
  int32_t words98_111[14];
  int32_t subtitle_count;      /* 112 */
  int32_t subtitle_index;      /* 113 */
  uint32_t subtitle_mask;      /* 114 */
  const char* subtitle_language; /* 115 */
  int32_t words116_119[4];
} Mp4Info;

/* Operation 2 input. */
typedef struct Mp4PacketRequest {
  uint8_t* buffer;  /* host buffer, or null for the track's own buffer */
  int32_t size;
  int32_t kind;     /* 1, 2, 4 (ignored in one-handle mode) */
} Mp4PacketRequest;

/* Output of operations 2 and 3: nine words. */
typedef struct Mp4Packet {
  const uint8_t* data;
  int32_t length;       /* on -27101 the length the sample needs */
  int32_t kind;
  int32_t time_ms;
  int32_t key;
  int32_t sync_cursor;
  uint32_t offset_low;
  uint32_t offset_high;
  int32_t next_time_ms;
} Mp4Packet;

typedef struct Mp4SeekRequest {
  int32_t target_ms;
  int32_t mode;         /* MP4_SEEK_RELATIVE */
} Mp4SeekRequest;

typedef struct Mp4SelectRequest {
  int32_t kinds;        /* MP4_KIND_* bits */
  int32_t video_index;
  int32_t audio_index;
  int32_t subtitle_index;
} Mp4SelectRequest;

typedef struct Mp4NalRef {
  const uint8_t* data;  /* into the caller's bytes */
  int32_t length;
} Mp4NalRef;

/* Made by operation 100; released at close. */
typedef struct Mp4AvcParamSets {
  int32_t sps_count;
  Mp4NalRef* sps;
  int32_t pps_count;
  Mp4NalRef* pps;
  int32_t nal_length_size;
} Mp4AvcParamSets;

typedef struct Mp4AvccRequest {
  const uint8_t* data;
  int32_t length;
  Mp4AvcParamSets* result;  /* written by the operation */
} Mp4AvccRequest;

/* Cached byte reader. */
typedef struct Mp4Reader {
  uint8_t* start;
  uint8_t* end;
  int32_t bit_offset;
  int32_t valid;
  int32_t index;
  void* handle;
  uint8_t* cache;
  int32_t cache_size;
  kvr_i64 file_pos;  /* of the cache start */
  int32_t eof;
} Mp4Reader;

/* Growable byte array. */
typedef struct Mp4Array {
  uint8_t* start;
  uint8_t* end;
  int32_t capacity;
  int32_t spare;
} Mp4Array;

/* Hosts' packet records that mp4_packet_video_clear and
 * mp4_dmx_packet_audio_clear release: 19 and 18 words. */
typedef struct Mp4VideoPacketRecord {
  int32_t words0_4[5];
  uint8_t* data;      /* 5 */
  int32_t length;     /* 6 */
  int32_t words7_18[12];
} Mp4VideoPacketRecord;

typedef struct Mp4AudioPacketRecord {
  int32_t words0_1[2];
  uint8_t* data;      /* 2 */
  int32_t length;     /* 3 */
  int32_t words4_17[14];
} Mp4AudioPacketRecord;

/* Broken-down time. */
typedef struct Mp4Tm {
  int32_t sec, min, hour, mday, mon, year, wday, yday, isdst;
} Mp4Tm;

KVR_EXPORT int32_t KVR_MP4_DMX(int32_t op, void* handle_slot, void* in, void* out);

KVR_EXPORT extern int32_t gMp4DmxLastErrorCode;

/* Host functions as the last open installed them. */
KVR_EXPORT extern KvrMallocFn mp4_dmx_io_malloc;
KVR_EXPORT extern KvrMallocFn mp4_dmx_io_nc_malloc;
KVR_EXPORT extern KvrFreeFn mp4_dmx_io_free;
KVR_EXPORT extern KvrFreeFn mp4_dmx_io_nc_free;
KVR_EXPORT extern KvrMemcpyFn mp4_dmx_io_memcpy;
KVR_EXPORT extern KvrMemsetFn mp4_dmx_io_memset;
KVR_EXPORT extern KvrReallocFn mp4_dmx_io_realloc;
KVR_EXPORT extern KvrMemmoveFn mp4_dmx_io_memmove;
KVR_EXPORT extern KvrFopenFn mp4_dmx_io_fopen;
KVR_EXPORT extern KvrFreadFn mp4_dmx_io_fread;
KVR_EXPORT extern KvrFseekFn mp4_dmx_io_fseek;
KVR_EXPORT extern KvrFtellFn mp4_dmx_io_ftell;
KVR_EXPORT extern KvrFwriteFn mp4_dmx_io_fwrite;
KVR_EXPORT extern KvrFcloseFn mp4_dmx_io_fclose;
KVR_EXPORT extern KvrUnlinkFn mp4_dmx_io_unlink;
KVR_EXPORT extern KvrFseek64Fn mp4_dmx_io_fseek64;
KVR_EXPORT extern KvrFtell64Fn mp4_dmx_io_ftell64;

/* Reader. */
KVR_EXPORT int32_t mp4_dmx_open_bitstream(Mp4Reader* r, int32_t cache_size, void* handle);
KVR_EXPORT int32_t mp4_dmx_close_bitstream(Mp4Reader* r);
KVR_EXPORT int32_t mp4_dmx_open_bitstream_from_external_memory(Mp4Reader* r, uint8_t* buffer, int32_t size,
                                                               void* handle);
KVR_EXPORT int32_t mp4_dmx_close_bitstream_from_external_memory(Mp4Reader* r);
KVR_EXPORT int32_t mp4_dmx_bs_read_1byte(Mp4Reader* r, uint8_t* out);
KVR_EXPORT int32_t mp4_dmx_bs_read_bytes(Mp4Reader* r, void* buffer, int32_t count);
KVR_EXPORT int32_t mp4_dmx_bs_show_bytes(Mp4Reader* r, void* buffer, int32_t count);
KVR_EXPORT int32_t mp4_dmx_bs_skip_bytes(Mp4Reader* r, int64_t count);
KVR_EXPORT int32_t mp4_dmx_bs_fseek(Mp4Reader* r, int64_t position);
KVR_EXPORT int32_t mp4_dmx_bs_fseek_reset(Mp4Reader* r, int64_t position);
KVR_EXPORT int32_t mp4_dmx_bs_ready_cache(Mp4Reader* r, int64_t position);
KVR_EXPORT int32_t mp4_dmx_bs_read_be16(Mp4Reader* r, uint16_t* out);
KVR_EXPORT int32_t mp4_dmx_bs_read_le16(Mp4Reader* r, uint16_t* out);
KVR_EXPORT int32_t mp4_dmx_bs_read_be32(Mp4Reader* r, uint32_t* out);
KVR_EXPORT int32_t mp4_dmx_bs_read_le32(Mp4Reader* r, uint32_t* out);
KVR_EXPORT int32_t mp4_dmx_bs_read_be64(Mp4Reader* r, uint64_t* out);
KVR_EXPORT int32_t mp4_dmx_bs_read_le64(Mp4Reader* r, uint64_t* out);

/* Arrays. */
KVR_EXPORT void mp4_dmx_array_clear(Mp4Array* a);
KVR_EXPORT int32_t mp4_dmx_array_append(Mp4Array* a, const void* source, int32_t n, int32_t alignment);
KVR_EXPORT int32_t mp4_dmx_array_alloc(Mp4Array* a, int32_t size, int32_t alignment);
KVR_EXPORT Mp4Array* mp4_dmx_array_lock(Mp4Array* a);

/* Strings. */
KVR_EXPORT char* mp4_dmx_io_strcpy(char* dst, const char* src);
KVR_EXPORT char* mp4_dmx_io_strcat(char* dst, const char* src);
KVR_EXPORT int32_t mp4_dmx_io_strlen(const char* text);
KVR_EXPORT char* mp4_dmx_io_strchr(const char* text, int32_t c);
KVR_EXPORT char* mp4_dmx_io_strstr(const char* text, const char* pattern);
KVR_EXPORT int32_t mp4_dmx_io_strcmp(const char* a, const char* b);
KVR_EXPORT int32_t mp4_dmx_io_strncmp(const char* a, const char* b, int32_t count);
KVR_EXPORT int32_t mp4_dmx_io_toupper(int32_t c);

/* Times and names. */
KVR_EXPORT void mp4_dmx_to_tm(int64_t seconds, Mp4Tm* tm);
KVR_EXPORT int64_t mp4_dmx_tm_to_time(Mp4Tm* tm);
KVR_EXPORT const char* mp4_dmx_asc_time(const Mp4Tm* tm);
KVR_EXPORT char* mp4_get_video_codec_name(char* buffer, uint32_t code);
KVR_EXPORT char* mp4_get_audio_codec_name(char* buffer, int32_t format);
KVR_EXPORT uint32_t mp4_upper_fourcc(uint32_t code);
KVR_EXPORT char* mp4_dmx_get_file_name(char* dst, const char* path);
KVR_EXPORT void mp4_packet_video_clear(Mp4VideoPacketRecord* record);
KVR_EXPORT void mp4_dmx_packet_audio_clear(Mp4AudioPacketRecord* record);

#ifdef __cplusplus
}
#endif

KVR_ASSERT_OFFSET32(Mp4OpenRecord, free_fn, 8);
KVR_ASSERT_OFFSET32(Mp4OpenRecord, memmove_fn, 28);
KVR_ASSERT_OFFSET32(Mp4OpenRecord, fopen_fn, 64);
KVR_ASSERT_OFFSET32(Mp4OpenRecord, fclose_fn, 84);
KVR_ASSERT_OFFSET32(Mp4OpenRecord, fseek64_fn, 100);
KVR_ASSERT_OFFSET32(Mp4OpenRecord, ftell64_fn, 104);
KVR_ASSERT_OFFSET32(Mp4OpenRecord, file_name, 128);
KVR_ASSERT_OFFSET32(Mp4OpenRecord, key_seek, 152);
KVR_ASSERT_OFFSET32(Mp4OpenRecord, video_cache, 160);
KVR_ASSERT_OFFSET32(Mp4OpenRecord, main_cache, 192);
KVR_ASSERT_SIZE32(Mp4OpenRecord, 196);
KVR_ASSERT_OFFSET32(Mp4Info, duration_ms, 12);
KVR_ASSERT_OFFSET32(Mp4Info, file_size, 16);
KVR_ASSERT_OFFSET32(Mp4Info, timescale, 32);
KVR_ASSERT_OFFSET32(Mp4Info, title, 48);
KVR_ASSERT_OFFSET32(Mp4Info, compilation, 84);
KVR_ASSERT_OFFSET32(Mp4Info, track_number, 88);
KVR_ASSERT_OFFSET32(Mp4Info, disc_number, 104);
KVR_ASSERT_OFFSET32(Mp4Info, location, 120);
KVR_ASSERT_OFFSET32(Mp4Info, fragmented, 128);
KVR_ASSERT_OFFSET32(Mp4Info, video_index, 196);
KVR_ASSERT_OFFSET32(Mp4Info, video_codec_name, 220);
KVR_ASSERT_OFFSET32(Mp4Info, has_ctts, 280);
KVR_ASSERT_OFFSET32(Mp4Info, audio_count, 320);
KVR_ASSERT_OFFSET32(Mp4Info, audio_codec_name, 352);
KVR_ASSERT_OFFSET32(Mp4Info, audio_first_offset, 388);
KVR_ASSERT_OFFSET32(Mp4Info, subtitle_count, 448);
KVR_ASSERT_OFFSET32(Mp4Info, subtitle_language, 460);
KVR_ASSERT_SIZE32(Mp4Info, 480);
KVR_ASSERT_SIZE32(Mp4Packet, 36);
KVR_ASSERT_OFFSET32(Mp4Packet, offset_low, 24);
KVR_ASSERT_OFFSET32(Mp4Packet, next_time_ms, 32);
KVR_ASSERT_SIZE32(Mp4AvcParamSets, 20);
KVR_ASSERT_OFFSET32(Mp4AvccRequest, result, 8);
KVR_ASSERT_SIZE32(Mp4Reader, 48);
KVR_ASSERT_OFFSET32(Mp4VideoPacketRecord, data, 20);
KVR_ASSERT_SIZE32(Mp4VideoPacketRecord, 76);
KVR_ASSERT_OFFSET32(Mp4AudioPacketRecord, data, 8);
KVR_ASSERT_SIZE32(Mp4AudioPacketRecord, 72);

#endif
