#ifndef KVR_AVI_INTERNAL_H
#define KVR_AVI_INTERNAL_H
/* The per-file context of the AVI demuxer and the functions its parts share. */
#include <stdint.h>

#include "avi_fio.h"
#include "kvr_avi_dmx.h"

#define AVI_FOURCC(a, b, c, d) \
  ((uint32_t)(uint8_t)(a) | ((uint32_t)(uint8_t)(b) << 8) | ((uint32_t)(uint8_t)(c) << 16) | \
   ((uint32_t)(uint8_t)(d) << 24))

enum {
  AVI_MAX_STREAMS = 20,
  AVI_SCAN_POINTS = 499,
  AVI_WALK_LIMIT = 0x400000,        /* bytes passed one at a time before a walk gives up */
  AVI_CHUNK_LIMIT = 0xA00000,       /* chunks this large are taken as damage */
  AVI_INDEX_LOAD_LIMIT = 20971520,  /* in-memory index blocks must stay below this */
  AVI_PREFIX_MAX = 18,
  AVI_MAX_DECLARED_STREAMS = 65536
};

/* The readers of a context, in their slot order. */
enum { AVI_FH_VIDX = 0, AVI_FH_AIDX = 1, AVI_FH_MAIN = 2, AVI_FH_AUDIO = 3, AVI_FH_K4 = 4, AVI_FH_K10 = 5,
       AVI_FH_COUNT = 6 };
/* The two chunk-size repair cursors. */
enum { AVI_REPAIR_VIDEO = 0, AVI_REPAIR_AUDIO = 1 };

typedef struct AviStreamHeader {
  uint32_t id, size;
  uint32_t type, handler, flags;
  uint16_t priority, language;
  uint32_t initial_frames, scale, rate, start, length, suggested_buffer, quality, sample_size;
  uint16_t rect[4];
} AviStreamHeader;
KVR_STATIC_ASSERT(sizeof(AviStreamHeader) == 64, "strh record is 64 bytes");

typedef struct AviVideoFormat {
  uint32_t bi_size;
  int32_t width, height;
  uint16_t planes, bit_count;
  uint32_t compression, size_image;
  int32_t x_ppm, y_ppm;
  uint32_t clr_used, clr_important;
  uint32_t extra_size;
  uint8_t* extra;
} AviVideoFormat;

typedef struct AviAudioFormat {
  uint16_t format_tag, channels;
  uint32_t sample_rate, avg_bytes;
  uint16_t block_align, bits, cb_size, pad;
  uint8_t* extra;
} AviAudioFormat;

typedef struct AviMetaFormat {
  uint8_t strf[80];
} AviMetaFormat;

typedef struct AviSuperEntry {
  int64_t offset;
  uint32_t size;
  uint32_t duration;
} AviSuperEntry;

/* A point of a scan table: where a chunk starts and the counters there. */
typedef struct AviScanPoint {
  uint32_t pos_lo, pos_hi;
  int32_t time_ms;
  uint32_t video_frame, audio_chunk, chunks, audio_bytes;
} AviScanPoint;

typedef struct AviScanTable {
  uint32_t count;
  AviScanPoint points[AVI_SCAN_POINTS];
} AviScanTable;

/* One kind of stream (video, audio, metadata): its streams in header order. */
typedef struct AviKind {
  int32_t count;
  int32_t number[AVI_MAX_STREAMS]; /* stream number of each ordinal */
  int32_t selected;
} AviKind;

/* The chunk-size repair cursor of one kind over "idx1". */
typedef struct AviRepair {
  int64_t entry_pos;      /* file position of the next idx1 entry to look at */
  uint32_t entries;       /* entries of the kind passed */
  uint64_t bytes;         /* audio bytes of the entries passed */
  int started;
  int pending;            /* re-align before the next use */
  int64_t handle_pos;     /* where the cursor's handle stands, -1 unknown */
} AviRepair;

typedef struct AviContext {
  AviFioHandle* fh[AVI_FH_COUNT];
  uint32_t flags;

  /* headers */
  uint32_t avih_flags, avih_streams, avih_width, avih_height, avih_suggested;
  uint32_t avih_total_frames;
  AviStreamHeader* strh;
  uint32_t strh_count;
  uint32_t header_streams_read;
  AviKind video, audio, meta;
  AviVideoFormat* video_fmt;
  AviAudioFormat* audio_fmt;
  AviMetaFormat* meta_fmt;
  int64_t super_pos[AVI_MAX_STREAMS]; /* "indx" chunk position per stream number, -1 none */
  uint32_t id_dc, id_db, id_wb, id_mt, id_ix_video, id_ix_audio;

  /* timing of the selected streams */
  int64_t frame_ns;
  uint64_t video_scale, video_rate;
  int64_t audio_block_us;
  uint64_t audio_scale, audio_rate; /* of variable-rate audio */
  uint32_t audio_avg, audio_block_align;
  int audio_zero_rate;

  AviFileInfo file_info;
  AviVideoInfo* video_info;
  AviAudioInfo* audio_info;
  AviMetaInfo* meta_info;

  /* reading counters */
  uint32_t video_frame, audio_chunk, chunks;
  uint64_t audio_bytes;
  uint32_t duration_ms, audio_duration_ms, video_duration_ms;

  /* indexes */
  int32_t index_mode;
  int64_t idx1_pos, idx1_base, idx1_end;
  AviSuperEntry* super[2];     /* 0 video, 1 audio */
  uint32_t super_count[2];
  uint8_t** odml_mem[2];       /* one standard index block per super entry */
  uint32_t* odml_mem_size[2];
  int odml_in_memory, odml_truncated;
  uint8_t* idx1_mem;
  uint32_t idx1_mem_size;
  int64_t movi_start, movi_size;
  int find_mode;

  uint8_t* buf;
  uint32_t buf_size;
  int host_buffer;
  uint32_t max_suggested;

  /* read-side state */
  AviFioHandle* repair_fh[2];
  int repair_on;
  AviRepair repair[2];
  int repair_corrected;
  int odml_check_on, odml_check_first_done, odml_check_matched;
  /* The audio index lists empty chunks, which take no time and so are not
   * counted in audio_chunk: the in-memory entry of the next audio chunk, as
   * found for the audio chunk number odml_audio_entry_chunk. */
  uint32_t odml_audio_entry, odml_audio_entry_chunk;
  int odml_audio_entry_known;
  uint32_t resync_count;
  int mp3_on, mp3_done;
  uint32_t mp3_searched;
  int64_t mp3_offset_ms;
  int64_t audio_start_pos;   /* header position of the first audio chunk, -1 unknown */
  int64_t file_size;

  /* host index */
  AviHostIndex host_index;
  uint32_t host_done, host_frames;
  uint32_t host_duration_ms;

  int32_t last_error;
  uint32_t prefix_len;
  uint8_t prefix[AVI_PREFIX_MAX];
  AviFioTable fio;
  int divx_ok;

  AviScanTable scan[2];        /* 0 video, 1 audio */
} AviContext;

KVR_STATIC_ASSERT(sizeof(AviContext) <= AVI_CONTEXT_SIZE, "the context fits in its 34160 bytes");

/* Library-wide memory services (the last open's). */
extern KvrMallocFn avi_malloc;
extern KvrFreeFn avi_free;
extern KvrReallocFn avi_realloc;
/* The host's memory functions; the library calls none of libc's. */
extern KvrMemsetFn avi_memset;
extern KvrMemcpyFn avi_memcpy;
extern KvrMemmoveFn avi_memmove;

static inline uint32_t avi_rd16(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8); }
static inline uint32_t avi_rd32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
static inline uint64_t avi_rd64(const uint8_t* p) {
  return (uint64_t)avi_rd32(p) | ((uint64_t)avi_rd32(p + 4) << 32);
}

/* Chunk ids. */
int avi_is_digit_id(uint32_t id);              /* two digits then two letters */
int avi_stream_number(uint32_t id);            /* ##xy or ix##; -1 when not a stream chunk */
int avi_is_stream_chunk(uint32_t id);          /* ##db ##dc ##wb ##pc ##ix ##tx ##xx ix## */
uint32_t avi_chunk_id(int number, char a, char b);

/* File helpers. */
int avi_peek(AviFioHandle* h, uint8_t* dst, uint32_t n);
int avi_skip(AviFioHandle* h, int64_t n);      /* 0 ok, -1 failed (then moved to the end) */
int64_t avi_tell(AviFioHandle* h);
int avi_seek_to(AviFioHandle* h, int64_t pos);
void avi_to_end(AviFioHandle* h);

/* Headers and selection. */
int avi_read_headers(AviContext* c);
int avi_read_stream_list(AviContext* c, uint32_t n);
int avi_build_info(AviContext* c);
int avi_select(AviContext* c, int kind, int ordinal);
void avi_default_selection(AviContext* c, int* video, int* audio, int* meta);
int avi_is_video_id(const AviContext* c, uint32_t id);
void avi_release_audio_streams(AviContext* c);
KVR_EXPORT int32_t estimate_file_size(AviContext* c);

/* Indexes. */
KVR_EXPORT int32_t aviFindStreamData(AviContext* c);
KVR_EXPORT AviHostIndexNode* aviFindIndex(AviHostIndex* index, uint32_t n);
KVR_EXPORT int32_t aviUpdateDurationBySysIndex(AviContext* c, AviHostIndex* in, uint32_t* out);
KVR_EXPORT int32_t aviGetOffsetbyIndex(AviContext* c, int32_t kind, uint32_t n, int64_t* pos,
                                       uint32_t* size);
KVR_EXPORT int32_t aviGetPosInfobyOffset(AviContext* c, int32_t kind, int64_t pos, uint32_t* count,
                                         uint64_t* bytes);
int avi_read_super_index(AviContext* c, int which, int number);
int avi_prepare_index(AviContext* c);
int avi_locate_idx1(AviContext* c);
int avi_odml_entry(AviContext* c, int which, uint32_t n, int64_t* pos, uint32_t* raw_size);
int avi_odml_mem_entry(AviContext* c, int which, uint32_t n, int64_t* pos, uint32_t* raw);
int avi_odml_mem_entry_at(AviContext* c, int which, int64_t pos, uint32_t* n);
void avi_release_indexes(AviContext* c);

/* Packets and seeking. */
int avi_next_packet(AviContext* c, const AviPacketRequest* req, AviPacket* pkt);
int avi_seek(AviContext* c, const AviSeekRequest* req, AviSeekResult* res);
KVR_EXPORT void aviMakeScanTableVideo(AviContext* c, int32_t time_ms, int64_t pos);
KVR_EXPORT void aviMakeScanTableAudio(AviContext* c, int32_t time_ms, int64_t pos);
KVR_EXPORT int32_t aviFrameSeekbyVideoScan(AviContext* c, int32_t target, int32_t* reached, int32_t back);
KVR_EXPORT int32_t aviFrameSeekbyAudioScan(AviContext* c, int32_t target, int32_t* reached, int32_t back);
KVR_EXPORT int32_t aviFrameSeekbyVideoOldMode(AviContext* c, int32_t target, int32_t* reached, int32_t back);
KVR_EXPORT int32_t aviFrameSeekbyAudioOldMode(AviContext* c, int32_t target, int32_t* reached, int32_t back);
KVR_EXPORT int32_t aviFrameSeekbyVideoOdmlMode(AviContext* c, int32_t target, int32_t* reached, int32_t back);
KVR_EXPORT int32_t aviFrameSeekbyAudioOdmlMode(AviContext* c, int32_t target, int32_t* reached, int32_t back);
KVR_EXPORT int32_t aviFrameSeekbySysIndexVideo(AviContext* c, int32_t target, int32_t* reached, int32_t back);
KVR_EXPORT int32_t aviFrameSeekbySysIndexAudio(AviContext* c, int32_t target, int32_t* reached, int32_t back);
KVR_EXPORT int32_t aviFrameSeekbyMemory_OLD(AviContext* c, int32_t target, int32_t* reached, int32_t back);
KVR_EXPORT int32_t aviFrameSeekbyMemory_ODML(AviContext* c, int32_t target, int32_t* reached, int32_t back);

/* Time of the selected video's frame n (without the start offset). */
static inline int64_t avi_video_ms(const AviContext* c, uint64_t frame) {
  /* From scale and rate: a duration rounded to nanoseconds drifts by a
   * millisecond within seconds at 15 frames per second. */
  return c->video_rate ? (int64_t)(frame * c->video_scale * 1000u / c->video_rate) : 0;
}
int64_t avi_video_start_ms(const AviContext* c);
int64_t avi_audio_ms(const AviContext* c, uint64_t chunk, uint64_t bytes);
/* Reader of a kind (video or audio). */
AviFioHandle* avi_audio_reader(AviContext* c);

#endif
