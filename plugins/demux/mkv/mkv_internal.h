#ifndef MKV_INTERNAL_H
#define MKV_INTERNAL_H
/* Matroska demuxer: the context, the track, cue and queue records, and the
 * functions the library's files share. */

#include "kvr_mkv_dmx.h"

/* ---- error record and strings ---- */

typedef struct mkv_dmx_last_error_t {
  int32_t code;
  char text[MKV_ERROR_TEXT_MAX + 1];
  uint32_t length;
  uint32_t extra[2];
} mkv_dmx_last_error_t;

KVR_EXPORT int32_t mkv_dmx_set_last_error(int32_t code, uint32_t ignored, uint32_t extra1, uint32_t extra2,
                                          const char* message, mkv_dmx_last_error_t* err);
KVR_EXPORT int32_t mkv_dmx_add_err_string(const char* tag, mkv_dmx_last_error_t* err);
KVR_EXPORT void mkv_dmx_clear_last_error(mkv_dmx_last_error_t* err);
KVR_EXPORT void mkv_dmx_get_last_error(const mkv_dmx_last_error_t* err, int32_t* code, const char** text,
                                       uint32_t* extra);
KVR_EXPORT uint32_t mkv_dmx_strlen(const char* s);
KVR_EXPORT void mkv_dmx_strcpy(char* dst, const char* src);
KVR_EXPORT void mkv_dmx_strcat(char* dst, const char* src);
KVR_EXPORT void mkv_dmx_strncpy(char* dst, const char* src, uint32_t n);
KVR_EXPORT int32_t mkv_dmx_strcmp(const char* a, const char* b);
KVR_EXPORT int32_t mkv_dmx_strncmp(const char* a, const char* b, uint32_t n);
KVR_EXPORT const char* mkv_dmx_strchr(const char* s, int c);
KVR_EXPORT const char* mkv_dmx_strstr(const char* s, const char* pattern);
KVR_EXPORT int mkv_dmx_toupper(int c);

#define MKV_ERR(ctx, code, msg) mkv_dmx_set_last_error((code), 0, 0, 0, (msg), &(ctx)->err)
#define MKV_ERRV(ctx, code, v, msg) \
  mkv_dmx_set_last_error((code), 0, (uint32_t)(v), (uint32_t)((uint64_t)(v) >> 32), (msg), &(ctx)->err)
#define MKV_TAG(ctx, tag) mkv_dmx_add_err_string((tag), &(ctx)->err)

/* ---- cached bitstream reader ---- */

/* Reader flags. The shared-handle bit is the library's own: such a reader
 * puts the host file at its fill position before every refill, since
 * another reader moves the same handle. */
enum { MKV_BS_GROW = 0x1, MKV_BS_SHARED_HANDLE = 0x80000000u };

/* The exported reader record, in the layout callers allocate (56 bytes on
 * the board): nothing may be added. The host file stands at cache_pos +
 * valid after every fill, so that is where the next fill reads from. */
typedef struct mkv_dmx_bs_t {
  uint8_t* m_pBuf;              /* start of the valid data, null when empty */
  uint8_t* m_pEnd;
  uint32_t bit_count;
  uint32_t valid;               /* bytes obtained by the last fill */
  uint32_t m_ulBufBytes;        /* read offset in the cache */
  void* file;
  uint8_t* cache;
  uint32_t cache_size;
  kvr_u64 cache_pos;            /* file position of the first cache byte */
  const KvrHostServices* host;
  mkv_dmx_last_error_t* err;
  uint32_t flags;               /* MKV_BS_* */
  uint32_t reserved;            /* 0 */
} mkv_dmx_bs_t;

KVR_ASSERT_OFFSET32(mkv_dmx_bs_t, m_ulBufBytes, 16);
KVR_ASSERT_OFFSET32(mkv_dmx_bs_t, file, 20);
KVR_ASSERT_OFFSET32(mkv_dmx_bs_t, cache_size, 28);
KVR_ASSERT_OFFSET32(mkv_dmx_bs_t, cache_pos, 32);
KVR_ASSERT_OFFSET32(mkv_dmx_bs_t, host, 40);
KVR_ASSERT_OFFSET32(mkv_dmx_bs_t, err, 44);
KVR_ASSERT_OFFSET32(mkv_dmx_bs_t, flags, 48);
KVR_ASSERT_SIZE32(mkv_dmx_bs_t, 56);

KVR_EXPORT int32_t mkv_dmx_open_bitstream_set(mkv_dmx_bs_t* bs, uint32_t cache_size, void* file,
                                              const KvrHostServices* host, mkv_dmx_last_error_t* err,
                                              uint32_t flags);
KVR_EXPORT int32_t mkv_dmx_open_bitstream(mkv_dmx_bs_t* bs, uint32_t cache_size, void* file);
KVR_EXPORT int32_t mkv_dmx_open_bitstream_from_external_memory(mkv_dmx_bs_t* bs, uint8_t* buffer, uint32_t size,
                                                               void* file);
KVR_EXPORT void mkv_dmx_close_bitstream(mkv_dmx_bs_t* bs);
KVR_EXPORT int32_t mkv_dmx_close_bitstream_from_external_memory(mkv_dmx_bs_t* bs);
KVR_EXPORT int32_t mkv_dmx_bs_read_1byte_slow(mkv_dmx_bs_t* bs);
KVR_EXPORT int32_t mkv_dmx_bs_read_1byte(mkv_dmx_bs_t* bs);
KVR_EXPORT int32_t mkv_dmx_bs_read_bytes(mkv_dmx_bs_t* bs, void* dst, int32_t n);
KVR_EXPORT int32_t mkv_dmx_bs_show_bytes(mkv_dmx_bs_t* bs, void* dst, int32_t n);
KVR_EXPORT int32_t mkv_dmx_bs_skip_bytes(mkv_dmx_bs_t* bs, uint64_t n);
KVR_EXPORT int32_t mkv_dmx_bs_fseek(mkv_dmx_bs_t* bs, uint64_t pos);
KVR_EXPORT int32_t mkv_dmx_bs_fseek_reset(mkv_dmx_bs_t* bs, uint64_t pos);
KVR_EXPORT int32_t mkv_dmx_bs_ready_cache(mkv_dmx_bs_t* bs, uint64_t pos);
KVR_EXPORT uint32_t mkv_dmx_bs_read_be16(mkv_dmx_bs_t* bs);
KVR_EXPORT uint32_t mkv_dmx_bs_read_le16(mkv_dmx_bs_t* bs);
KVR_EXPORT uint32_t mkv_dmx_bs_read_be32(mkv_dmx_bs_t* bs);
KVR_EXPORT uint32_t mkv_dmx_bs_read_le32(mkv_dmx_bs_t* bs);
KVR_EXPORT uint64_t mkv_dmx_bs_read_be64(mkv_dmx_bs_t* bs);
KVR_EXPORT uint64_t mkv_dmx_bs_read_le64(mkv_dmx_bs_t* bs);

static inline uint64_t mkv_bs_pos(const mkv_dmx_bs_t* bs) { return bs->cache_pos + bs->m_ulBufBytes; }

/* One byte, from the cache when it holds one. */
static inline int32_t mkv_bs_byte(mkv_dmx_bs_t* bs) {
  if (bs->m_pBuf && bs->m_ulBufBytes < bs->valid) return bs->m_pBuf[bs->m_ulBufBytes++];
  return mkv_dmx_bs_read_1byte_slow(bs);
}

/* ---- records ---- */

typedef int64_t mkv_float; /* 32.32 fixed point */

KVR_EXPORT void mkv_integer_to_float(mkv_float* out, int32_t n);
KVR_EXPORT int32_t mkv_trunc_float(mkv_float value);

typedef struct mkv_track_t {
  uint64_t track_uid;
  uint32_t track_number;
  uint32_t track_type;
  uint64_t default_duration;
  uint8_t* codec_private;
  uint32_t codec_private_size;
  char* codec_id;
  char* language;
  char* name;
  char* codec_name;
  uint32_t content_compressed;
  uint32_t comp_algo;
  uint8_t* pby_comp_method_private;
  uint32_t comp_settings_size;
  mkv_float track_timecode_scale;
  union {
    struct {
      uint32_t display_unit, aspect_ratio_type, pixel_width, pixel_height, display_width, display_height;
      uint32_t pixel_crop_left, pixel_crop_top, pixel_crop_right, pixel_crop_bottom;
      uint32_t colour_space, flag_interlaced, stereo_mode;
      mkv_float frame_rate;
    } v;
    struct {
      uint32_t channels, bit_depth;
      mkv_float sampling_frequency, output_sampling_frequency;
    } a;
  } u;
} mkv_track_t;

typedef struct mkv_cue_t {
  uint64_t time;
  uint64_t cluster_pos; /* from the segment data start */
  uint64_t block;
  uint32_t track;
} mkv_cue_t;

typedef struct mkv_tag_target_t {
  uint64_t uid;
  uint32_t kind;
} mkv_tag_target_t;

typedef struct mkv_tag_t {
  uint32_t target_count, target_cap;
  mkv_tag_target_t* targets;
  uint32_t simple_count, simple_cap;
  void* simple;
} mkv_tag_t;

/* Frame node flags. */
enum { NODE_KEY = 0x01, NODE_INEXACT = 0x02, NODE_NO_END = 0x04, NODE_DISCARDABLE = 0x08 };

typedef struct mkv_node_t {
  struct mkv_node_t* next;
  uint32_t size;
  uint64_t time;
  uint64_t end;
  uint64_t pos;
  uint32_t flags;
} mkv_node_t;

typedef struct mkv_queue_t {
  mkv_node_t* head;
  mkv_node_t* tail;
  uint64_t seek_key; /* ns; where a seek resumes this track, MKV_KEY_UNSET before one is chosen */
} mkv_queue_t;
#define MKV_KEY_UNSET UINT64_MAX

#define MKV_NODES_PER_BLOCK 512
#define MKV_MAX_TRACKS 127
#define MKV_MAX_PER_KIND 32

/* Option bits of the context. */
enum {
  OPT_SINGLE_HANDLE = 0x2,
  OPT_MAIN_ONLY = 0x4,
  OPT_NO_AUDIO = 0x8,
  OPT_NO_VIDEO = 0x10,
  OPT_NO_SUBTITLE = 0x20,
  OPT_UNDERRUN_GUARD = 0x40,
  OPT_PCM = 0x200,
  OPT_NO_END_SEARCH = 0x400,
  OPT_CUES_VIDEO = 0x800,
  OPT_FELL_BACK = 0x1000,
  OPT_ACCEPT_DIVX = 0x2000
};

/* Element-read flags. */
enum {
  READ_INFO = 0x01, READ_CLUSTER = 0x02, READ_TRACKS = 0x04, READ_CUES = 0x08,
  READ_ATTACHMENTS = 0x10, READ_CHAPTERS = 0x20, READ_TAGS = 0x40
};

/* Remembered positions. */
enum { POS_INFO, POS_CLUSTER, POS_TRACKS, POS_CUES, POS_ATTACHMENTS, POS_CHAPTERS, POS_TAGS, POS_COUNT };

/* Segment texts. */
enum { TEXT_SEGMENT_FILENAME, TEXT_PREV_FILENAME, TEXT_NEXT_FILENAME, TEXT_TITLE, TEXT_MUXING_APP,
       TEXT_WRITING_APP, TEXT_COUNT };

enum { SEEK_STATE_HOLD_MASK = 0x10000 };
enum { RUN_INDEXING = 0x1, RUN_CANCEL = 0x2 };

typedef struct mkv_dmx_t mkv_dmx_t;
typedef int32_t (*mkv_read_packet_fn)(mkv_dmx_t* ctx, mkv_dmx_packet_t** out, uint32_t kind);

struct mkv_dmx_t {
  KvrHostServices host;
  mkv_dmx_last_error_t err;
  mkv_dmx_packet_t* packet_records[MKV_MAX_TRACKS];
  mkv_dmx_packet_t* pst_cur_packet;
  uint32_t packet_count;
  const char* file_name;
  uint64_t file_size;
  mkv_dmx_bs_t bs_main, bs_video, bs_audio, bs_subtitle, bs_index;
  mkv_dmx_bs_t* pst_cur_bs;
  uint8_t* ext_buffer;
  uint32_t ext_buffer_size;
  uint32_t max_packet_size;
  uint32_t seek_state;
  uint32_t* lace;
  uint32_t lace_cap;
  uint32_t doc_type_version;
  uint64_t segment_start;
  uint64_t next_seekhead;
  uint64_t pos[POS_COUNT];
  uint8_t segment_uid[16], prev_uid[16], next_uid[16];
  char* texts[TEXT_COUNT];
  uint64_t timecode_scale;
  uint64_t duration_ns;
  int64_t date_utc;
  uint64_t segment_end;
  uint32_t track_mask;
  uint32_t track_count, track_cap;
  mkv_track_t** tracks;
  uint32_t cue_count, cue_cap;
  mkv_cue_t* cues;
  uint32_t tag_count, tag_cap;
  mkv_tag_t* tags;
  uint32_t block_count, block_cap;
  mkv_node_t** blocks;
  mkv_node_t* free_nodes;
  mkv_queue_t* queues;
  uint32_t read_flags;
  uint64_t next_pos, start_tc, cluster_tc, cluster_pos;
  uint64_t cluster_end; /* with cluster_pos: where the cluster whose header was read last lies */
  uint64_t elem_pos;    /* header of the last element read that a cluster or the segment may hold, or where
                         * parsing last started: damage is searched for a cluster from the byte after it */
  uint64_t min_key_time; /* ms: the second cue point's time */
  uint64_t max_key_time; /* ms */
  uint64_t last_video_time, last_packet_pos;
  uint32_t last_key_flag;
  uint32_t video_eos, audio_eos, subtitle_eos;
  mkv_dmx_avcc_info_t* avcc;
  mkv_dmx_hvcc_info_t* hvcc;
  mkv_dmx_file_info_t file_info;
  mkv_video_info_t* video_info;
  mkv_audio_info_t* audio_info;
  mkv_subtitle_info_t* subtitle_info;
  mkv_video_info_t* cur_video;
  mkv_audio_info_t* cur_audio;
  mkv_subtitle_info_t* cur_subtitle;
  uint32_t meta_count;
  mkv_dmx_meta_t* meta;
  uint32_t video_count, audio_count, subtitle_count;
  uint32_t built_configs; /* bit i: audio_info[i].private_data is an AudioSpecificConfig this library built */
  mkv_track_t* video_tracks[MKV_MAX_PER_KIND];
  mkv_track_t* audio_tracks[MKV_MAX_PER_KIND];
  mkv_track_t* subtitle_tracks[MKV_MAX_PER_KIND];
  uint32_t no_video;
  uint32_t sel_video_number, sel_audio_number, sel_subtitle_number;
  uint32_t internal_seek;
  uint32_t cook_state;
  uint32_t cue_key_flag, key_index, seek_dir, retry_done;
  uint32_t back_step;
  uint32_t first_cluster_size;
  uint32_t resilience;
  uint32_t tail_window; /* bytes before the file end where the search for the last cluster starts */
  uint32_t run_state; /* shared with a closing thread: atomic access only */
  uint32_t options;
  uint32_t seek_end_mode;
  mkv_read_packet_fn read_packet;
  uint64_t real_duration_ns;
  int32_t pending_error; /* a parse failure held back while frames before it are delivered */
  uint64_t resync_from;  /* where the next step searches for a cluster after damage; 0 when none is due */
};

/* Element IDs. */
#define ID_EBML 0x1A45DFA3u
#define ID_SEGMENT 0x18538067u
#define ID_SEEKHEAD 0x114D9B74u
#define ID_INFO 0x1549A966u
#define ID_TRACKS 0x1654AE6Bu
#define ID_CLUSTER 0x1F43B675u
#define ID_CUES 0x1C53BB6Bu
#define ID_ATTACHMENTS 0x1941A469u
#define ID_CHAPTERS 0x1043A770u
#define ID_TAGS 0x1254C367u
#define ID_TIMECODE 0xE7u
#define ID_BLOCKGROUP 0xA0u
#define ID_BLOCK 0xA1u
#define ID_SIMPLEBLOCK 0xA3u
#define ID_BLOCK_DURATION 0x9Bu
#define ID_POSITION 0xA7u
#define ID_PREV_SIZE 0xABu
#define ID_ENCRYPTED_BLOCK 0xAFu
#define ID_SILENT_TRACKS 0x5854u
#define ID_VOID 0xECu
#define ID_CRC32 0xBFu

/* ---- EBML primitives ---- */

int32_t read_id(mkv_dmx_bs_t* bs, uint32_t* id);
int32_t read_vlc_uint_imp(mkv_dmx_bs_t* bs, uint32_t* further, uint64_t* value);
int32_t read_box_header(mkv_dmx_bs_t* bs, uint32_t* id, uint64_t* size);
/* 0 or a negative code; *value is 0 when the bytes could not be read but no
 * error code was recorded. */
int32_t read_uint(mkv_dmx_bs_t* bs, uint64_t size, uint64_t* value);
int32_t read_sint(mkv_dmx_bs_t* bs, uint64_t size, int64_t* value);
int32_t read_vlc_sint(mkv_dmx_bs_t* bs, int64_t* value);
int32_t read_string(mkv_dmx_bs_t* bs, uint64_t size, char* dst, uint32_t capacity);
int32_t read_float(mkv_dmx_bs_t* bs, uint64_t size, mkv_float* out);
int mkv_is_unknown_size(uint64_t size, uint32_t further);
/* Grows a growable array by one record; the new record, or null (error recorded). */
void* mkv_array_add(mkv_dmx_t* ctx, void** data, uint32_t* count, uint32_t* cap, uint32_t record,
                    const char* message);
/* Allocates a text buffer and reads a string element into it. */
int32_t mkv_read_text(mkv_dmx_t* ctx, uint64_t size, uint32_t cap, char** out);
uint64_t mkv_mul_fixed(uint64_t value, mkv_float scale);
/* Where the file's data ends: the segment's end, or the file's when the
 * segment claims more. */
static inline uint64_t mkv_data_end(const mkv_dmx_t* ctx) {
  return ctx->segment_end < ctx->file_size ? ctx->segment_end : ctx->file_size;
}
/* Does an element of `size` bytes from the reader end by `end`? */
static inline int mkv_fits(const mkv_dmx_bs_t* bs, uint64_t size, uint64_t end) {
  return mkv_bs_pos(bs) <= end && size <= end - mkv_bs_pos(bs);
}

/* ---- parsers ---- */

KVR_EXPORT int32_t mkv_dmx_open(mkv_dmx_t* ctx);
KVR_EXPORT int32_t es_open(mkv_dmx_t* ctx);
KVR_EXPORT int32_t mkv_dmx_close(mkv_dmx_t* ctx);
KVR_EXPORT void mkv_set_track_mask(mkv_dmx_t* ctx, uint32_t mask);
int32_t element_segment_info(mkv_dmx_t* ctx, uint64_t size);
int32_t element_tracks(mkv_dmx_t* ctx, uint64_t size);
int32_t element_cues(mkv_dmx_t* ctx, uint64_t size);
int32_t add_cue(mkv_dmx_t* ctx, uint64_t cluster_pos, uint64_t time);
int32_t prepare_cue_table(mkv_dmx_t* ctx);
int32_t element_tags(mkv_dmx_t* ctx, uint64_t size);
int32_t element_attachments(mkv_dmx_t* ctx, uint64_t size);
int32_t element_chapters(mkv_dmx_t* ctx, uint64_t size);
int32_t read_box(mkv_dmx_t* ctx, uint64_t pos);
int32_t read_elements(mkv_dmx_t* ctx);
int32_t read_box_first_cluster(mkv_dmx_t* ctx, uint64_t size);
int32_t read_more_blocks(mkv_dmx_t* ctx);
int32_t read_box_block_group(mkv_dmx_t* ctx, uint64_t size, uint64_t cluster_tc, int simple);
int mkv_track_delivered(const mkv_dmx_t* ctx, const mkv_track_t* t);

/* ---- queues, packets, seeking, index ---- */

mkv_node_t* queue_alloc(mkv_dmx_t* ctx);
void mkv_queue_release(mkv_dmx_t* ctx, uint32_t track);
void mkv_queues_release_all(mkv_dmx_t* ctx);
/* Moves parsing to `pos` (absolute) with every queue emptied, the readers
 * there and the end-of-data flags cleared; the current packet record keeps
 * what it describes, so a seek that fails or retries still knows where the
 * caller stands. */
int32_t mkv_restart_at(mkv_dmx_t* ctx, uint64_t pos, uint64_t cluster_tc);
/* The reset to a start point: as mkv_restart_at, and the current packet
 * record's length, times and key flag become 0. */
int32_t reset_seek_status(mkv_dmx_t* ctx, uint64_t pos, uint64_t cluster_tc);
int32_t fill_queues_with_packet_type(mkv_dmx_t* ctx, uint32_t kind);
/* One parse step with resynchronisation after damage: 0, -2 at the end, or
 * a negative code. */
int32_t mkv_parse_step(mkv_dmx_t* ctx);
KVR_EXPORT int32_t GetStreamData(mkv_dmx_t* ctx, mkv_dmx_packet_t** out, uint32_t kind);
KVR_EXPORT int32_t GetStreamDataPreventingUnderrun(mkv_dmx_t* ctx, mkv_dmx_packet_t** out, uint32_t kind);
KVR_EXPORT int32_t SeekStream(mkv_dmx_t* ctx, mkv_dmx_packet_t** out, int32_t target_ms, uint32_t unused,
                              uint32_t flags);
KVR_EXPORT uint64_t find_last_timecode(mkv_dmx_t* ctx);
KVR_EXPORT int32_t create_index(mkv_dmx_t* ctx);
KVR_EXPORT int32_t CreateIndex(mkv_dmx_t* ctx);
KVR_EXPORT int32_t get_real_duration(mkv_dmx_t* ctx);
KVR_EXPORT int32_t GetRealDuration(mkv_dmx_t* ctx);
KVR_EXPORT int32_t GetAvcCInfo(mkv_dmx_t* ctx, mkv_dmx_avcc_info_t* info, const uint8_t* bytes, uint32_t length);
KVR_EXPORT int32_t GetHvcCInfo(mkv_dmx_t* ctx, mkv_dmx_hvcc_info_t* info, const uint8_t* bytes, uint32_t length);

/* ---- description ---- */

int32_t mkv_describe_streams(mkv_dmx_t* ctx);
KVR_EXPORT int32_t dmx_get_meta_info(mkv_dmx_t* ctx, mkv_dmx_meta_list_t* out);
KVR_EXPORT int32_t mkv_dmx_set_wave_format(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, const uint8_t* bytes,
                                           uint32_t length, mkv_audio_info_t* info);
KVR_EXPORT int32_t mkv_dmx_set_bitmap_format(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, const uint8_t* bytes,
                                             uint32_t length, mkv_video_info_t* info);
KVR_EXPORT int32_t mkv_dmx_aac_build_config(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, const char* codec_id,
                                            uint32_t output_rate, mkv_audio_info_t* info);
KVR_EXPORT int32_t mkv_dmx_get_allocated_data(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, uint32_t size,
                                              void** where);
KVR_EXPORT int32_t mkv_dmx_clear_allocated_data(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, void** where);
KVR_EXPORT int32_t mkv_dmx_clear_data_memory(mkv_dmx_t* ctx, mkv_dmx_last_error_t* err, void** where,
                                             uint32_t size);
KVR_EXPORT int32_t mkv_dmx_common_init(void);

/* Helpers over the host's services. */
static inline void* mkv_malloc(mkv_dmx_t* ctx, size_t n) { return ctx->host.malloc_fn(n); }
static inline void mkv_free(mkv_dmx_t* ctx, void* p) {
  if (p) ctx->host.free_fn(p);
}
static inline void mkv_zero(mkv_dmx_t* ctx, void* p, size_t n) {
  if (n) ctx->host.memset_fn(p, 0, n);
}
static inline void mkv_copy(mkv_dmx_t* ctx, void* d, const void* s, size_t n) {
  if (n) ctx->host.memcpy_fn(d, s, n);
}
mkv_track_t* mkv_track_by_number(mkv_dmx_t* ctx, uint32_t number, uint32_t* index);

#endif
