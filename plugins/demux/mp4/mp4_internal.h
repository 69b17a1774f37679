#ifndef KVR_MP4_INTERNAL_H
#define KVR_MP4_INTERNAL_H
/* Context, track record and the functions the MP4 library's files share. */
#include <stdint.h>

#include "kvr_mp4_dmx.h"

#ifdef __cplusplus
extern "C" {
#endif

#define MP4_MAX_TRACKS 16
#define MP4_DEFAULT_CACHE 1024
#define MP4_FIRST_MAX_SAMPLE 115200
#define MP4_FRAG_CHUNK 8192   /* fragment samples per chunk */
#define MP4_KEY_CHUNK 1024    /* key-sample indices per chunk */
#define MP4_MAX_DEPTH 24      /* nested boxes followed; deeper ones are skipped */
#define MP4_FOURCC(a, b, c, d) ((uint32_t)(uint8_t)(a) | ((uint32_t)(uint8_t)(b) << 8) | \
                                ((uint32_t)(uint8_t)(c) << 16) | ((uint32_t)(uint8_t)(d) << 24))
#define MP4_NO_OFFSET ((int64_t)0x7FFFFFFFFFFFFFFFLL)
#define MP4_TABLE_END 0x7FFFFFFF

/* Option bits built at open. */
enum {
  OPT_TRIM_AUDIO = 0x1,
  OPT_TRIM_VIDEO = 0x2,
  OPT_4 = 0x4,
  OPT_SIZE_UNKNOWN = 0x8,
  OPT_INFO_ONLY = 0x10,
  OPT_ONE_HANDLE = 0x20,
  OPT_KEY_SEEK = 0x40
};

/* Reader slots of the context. */
enum { RD_MAIN = 0, RD_VIDEO = 1, RD_AUDIO = 2, RD_SUBTITLE = 3, RD_COUNT = 4 };

/* The stream description of a track. */
typedef struct Mp4TrackDesc {
  int32_t kind;
  int32_t avg_bytes_per_sec;
  int32_t frame_rate;          /* x 1000 */
  int32_t frame_rate_scale;
  int32_t width;
  int32_t height;
  uint32_t subtitle_code;
  uint32_t entry_code;         /* audio sample-entry code */
  int32_t key_count;
  uint32_t codec;
  int32_t sample_rate;
  int32_t bits;
  int32_t channels;
  int32_t block_align;
  int32_t frames_per_sample;
  int32_t colour_format;       /* video: 1 compressed, 2 palettised, 4 code 3 */
  int32_t format_flags;        /* audio: 32 / 96, +4 for 8 bits or fewer */
  int32_t format;              /* audio format code */
  int32_t valid_bits;
  int32_t depth;
  int32_t audio_timescale;
  int32_t row_order;
  int32_t samples_per_packet;
  int32_t video_timescale;
  int32_t max_bitrate;
  int32_t avg_bitrate;
  uint8_t* config;
  int32_t config_length;
} Mp4TrackDesc;

typedef struct Mp4IndexEntry64 {
  int64_t offset;
  uint32_t size;
  uint32_t spare;
} Mp4IndexEntry64;

typedef struct Mp4IndexEntry32 {
  uint32_t offset;
  uint32_t size;
} Mp4IndexEntry32;

typedef struct Mp4Track {
  Mp4TrackDesc desc;
  /* packet buffer */
  uint8_t* buffer;
  int32_t length;
  int32_t capacity;
  int32_t key;
  int32_t sync_cursor;
  int64_t duration;     /* track timescale */
  int32_t timescale;
  int32_t samples_per_packet;  /* sound description version 1 */
  int32_t bytes_per_packet;
  int32_t bytes_per_frame;
  int32_t rotation;
  int32_t frames_per_sample;
  int32_t amr_frame_size;
  int64_t min_chunk_offset, max_chunk_offset;
  int32_t min_ctts;
  int32_t const_size;
  Mp4Array stss, stsz, stts, stsc, stco;
  /* index */
  Mp4IndexEntry64* index64;
  Mp4IndexEntry32* index32;
  int32_t cur;           /* current sample index */
  int32_t cur_ms;
  int32_t next_ms;
  int32_t entries;       /* index entries */
  int32_t kind;
  int64_t* dts;          /* entries + 1 decoding times, or null */
  int32_t const_delta;
  int32_t stsc_count, stss_count, stsz_count, stco_count, stts_count;
  int32_t stss_seen;      /* a sync-sample table was read (it may name none) */
  int32_t co64;
  uint32_t track_id;
  /* fragments */
  int64_t base_offset;
  uint32_t trex_desc, trex_duration, trex_size, trex_flags;
  uint32_t tf_desc, tf_duration, tf_size, tf_flags;
  int32_t frag_samples;
  int64_t next_dts;
  Mp4IndexEntry64** frag_entries;
  int64_t** frag_times;
  int32_t frag_chunks;
  int32_t frag_keys;
  int32_t key_chunks;
  int32_t** key_table;
  int32_t trun_count;
  char language[4];
  int64_t total_bytes;
  uint32_t audio_entry;  /* sample-entry code of an audio track */
  int32_t pcm_v0;        /* version-0 sound description with a given sample size */
  int64_t last_offset;   /* file offset of the sample just read */
} Mp4Track;

typedef struct Mp4Context {
  const char* file_name;
  uint32_t options;
  Mp4Reader readers[RD_COUNT];
  Mp4Reader* reader;     /* in use */
  int32_t (*reposition)(Mp4Reader* r, int64_t position);
  int32_t own_handle[RD_COUNT];  /* reader holds a handle of its own */
  /* parse state */
  Mp4Track* parsing;
  int32_t moov_seen, mdat_seen;
  int32_t timescale;
  int32_t duration_ms;
  int32_t is_3gp;
  int32_t amr_mode;
  int32_t avcc_seen;
  int32_t swapped_tables;
  int32_t fragmented;
  int64_t moof_start, moof_size;
  int64_t last_moof_parsed;
  uint32_t tfhd_id;
  Mp4Track* frag_track;
  int64_t file_size;
  int32_t depth;
  int32_t multi_desc;
  int32_t first_video_done, first_audio_done;
  int64_t frag_duration;
  Mp4Info info;
  Mp4Track* tracks[MP4_MAX_TRACKS];
  int32_t track_count;
  int32_t sel_index[3];  /* video, audio, subtitle */
  Mp4Track* sel[3];
  uint8_t* host_buffer;
  int32_t host_size;
  int32_t max_sample;
  Mp4AvcParamSets* avc;
  int32_t eof_policy;
  int32_t seekable;
  int32_t ctts_seen;
  char genre_number[12];
  int32_t needed;        /* size of the sample a too-small buffer refused */
  int32_t shared_readers;
  Mp4Reader* last_reader;
} Mp4Context;

enum { SEL_VIDEO = 0, SEL_AUDIO = 1, SEL_SUBTITLE = 2 };

typedef int64_t (*Mp4TimestampFn)(Mp4Track* t, int32_t index);
typedef int32_t (*Mp4SeekTrackFn)(Mp4Context* c, Mp4Track* t, int32_t target_ms, int32_t mode, int32_t key);

KVR_EXPORT extern Mp4TimestampFn gfpGetTimestamp;
KVR_EXPORT extern Mp4SeekTrackFn gfpSeekBaseTrack;

/* mp4_io.c helpers */
void* mp4_alloc(size_t size);
void* mp4_zalloc(size_t size);
void mp4_release(void* p);
void* mp4_resize(void* p, size_t size);
void mp4_copy(void* d, const void* s, size_t n);
void mp4_fill(void* d, int v, size_t n);
static inline int64_t mp4_pos(const Mp4Reader* r) { return r->file_pos + r->index; }
int32_t mp4_rd8(Mp4Reader* r, uint32_t* v);
int32_t mp4_rd16(Mp4Reader* r, uint32_t* v);
int32_t mp4_rd32(Mp4Reader* r, uint32_t* v);
int32_t mp4_rd64(Mp4Reader* r, uint64_t* v);
int32_t mp4_skip(Mp4Reader* r, int64_t n);

/* mp4_box.c */
int32_t mp4_dec_open(Mp4Context* c);
int32_t mp4_walk(Mp4Context* c, int64_t end);
int32_t mp4_read_box_header(Mp4Reader* r, int64_t* start, int64_t* size, uint32_t* type);

/* mp4_stbl.c */
int32_t mp4_box_stts(Mp4Context* c, int64_t end, uint32_t type);
int32_t mp4_box_stss(Mp4Context* c, int64_t end, uint32_t type);
int32_t mp4_box_stsc(Mp4Context* c, int64_t end, uint32_t type);
int32_t mp4_box_stsz(Mp4Context* c, int64_t end, uint32_t type);
int32_t mp4_box_stco(Mp4Context* c, int64_t end, uint32_t type);
int32_t mp4_box_ctts(Mp4Context* c, int64_t end, uint32_t type);
int32_t mp4_complete_track(Mp4Context* c, Mp4Track* t);
int64_t get_timestamp_for_sampleidx(Mp4Track* t, int32_t index);
int32_t mp4_time_ms(const Mp4Track* t, int64_t dts);
void mp4_track_entry(const Mp4Track* t, int32_t index, int64_t* offset, uint32_t* size);

/* mp4_frag.c */
int32_t mp4_box_mehd(Mp4Context* c, int64_t end, uint32_t type);
int32_t mp4_box_trex(Mp4Context* c, int64_t end, uint32_t type);
int32_t mp4_box_moof(Mp4Context* c, int64_t end, uint32_t type);
int32_t mp4_frag_adopt_index(Mp4Context* c, Mp4Track* t);
int64_t get_timestamp_for_sampleidx_fmp4(Mp4Track* t, int32_t index);
void mp4_frag_release(Mp4Track* t);
Mp4IndexEntry64* mp4_frag_entry(const Mp4Track* t, int32_t index);
int32_t mp4_frag_key(const Mp4Track* t, int32_t k);

/* mp4_meta.c */
int32_t mp4_box_item(Mp4Context* c, int64_t end, uint32_t type);
void meta_data_close(Mp4Context* c);

/* mp4_desc.c */
const char* mp4_video_name(uint32_t code);
void mp4_packet_format_clear(Mp4Track* t);
int32_t mp4_packet_format_extra(Mp4Track* t, int32_t n);
void mp4_packet_format_default(Mp4Track* t);
Mp4Track* mp4_format_add_stream(Mp4Context* c, int32_t size);
void mp4_format_remove_stream(Mp4Context* c);
void mp4_format_prepair_stream(Mp4Context* c, Mp4Track* t);
void mp4_track_release_tables(Mp4Track* t);

/* mp4_read.c */
int32_t mp4dmx_get_stream(Mp4Context* c, Mp4Track** out, int32_t kind);
int32_t fmp4_get_stream(Mp4Context* c, Mp4Track** out, int32_t kind);
int32_t mp4dmx_seek(Mp4Context* c, Mp4Track** out, int32_t target_ms, int32_t mode);
int32_t seek_base_track(Mp4Context* c, Mp4Track* t, int32_t target_ms, int32_t mode, int32_t key);
int32_t seek_base_track_fmp4(Mp4Context* c, Mp4Track* t, int32_t target_ms, int32_t mode, int32_t key);
void sync_sampleidx_pts_ctx(Mp4Context* c, Mp4Track* old_track, Mp4Track* new_track);
int32_t mp4_track_samples(const Mp4Context* c, const Mp4Track* t);

#ifdef __cplusplus
}
#endif

#endif
