#ifndef KVR_MKV_DMX_H
#define KVR_MKV_DMX_H
/* libkvrmkvdmx: the Matroska/WebM demuxer plug-in. Records are 32-bit words
 * on the board; pointer words are pointer-sized here (see kvr_plugin.h). The
 * handle argument of the entry is the address of the host's word that holds
 * the context. */

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  MKV_OP_OPEN = 0,
  MKV_OP_CLOSE = 1,
  MKV_OP_READ = 2,
  MKV_OP_SEEK = 3,
  MKV_OP_SELECT = 4,
  MKV_OP_LAST_ERROR = 5,
  MKV_OP_META = 6,
  MKV_OP_OPEN_MAIN_ONLY = 7,
  MKV_OP_OPEN_HANDLE = 3000,
  MKV_OP_AVCC = 3001,
  MKV_OP_CREATE_INDEX = 3002,
  MKV_OP_HVCC = 3003,
  MKV_OP_OPTIONS = 4000,
  MKV_OP_VERSION = 4001,
  MKV_OP_REAL_DURATION = 10001
};

/* Results of the entry. */
enum {
  MKV_OK = 0,
  MKV_ERR_NO_SERVICE = -1,      /* open: a required memory service is missing */
  MKV_ERR_END = -2,             /* end of the file or of the data */
  MKV_ERR_NO_HANDLE = -3,       /* no context; open: context not allocated */
  MKV_ERR_OPEN = -4,            /* file not opened; index creation refused */
  MKV_ERR_DIVX = -101,
  MKV_ERR_SEEK = -265012,       /* the host's fseek failed */
  MKV_ERR_CLOSE = -265013,
  MKV_ERR_NO_MEMORY = -265020,  /* also: the caller's buffer is too small */
  MKV_ERR_UNSUPPORTED = -265030,
  MKV_ERR_INVALID = -265031,
  MKV_ERR_TOO_BIG = -265101,
  MKV_ERR_AVCC = -265102,
  MKV_ERR_NO_KEYFRAME = -265103,
  MKV_ERR_ONE_KEYFRAME = -265104,
  MKV_ERR_UNDERRUN = -265105,
  MKV_ERR_HVCC = -265106,
  MKV_ERR_HVCC_UNIT = -1        /* GetHvcCInfo: a NAL unit runs past the record */
};

/* Open flags (word 33 of the open record). */
enum {
  MKV_FLAG_NO_END_SEARCH = 0x1,  /* file size not measured, no duration search */
  MKV_FLAG_GROW_CACHE = 0x2,     /* readers grow their cache for long reads */
  MKV_FLAG_NO_AUDIO = 0x4,
  MKV_FLAG_NO_VIDEO = 0x8,
  MKV_FLAG_NO_SUBTITLE = 0x10,
  MKV_FLAG_ACCEPT_DIVX = 0x100
};

/* Packet kinds of op 2. */
enum { MKV_KIND_ANY = 0, MKV_KIND_VIDEO = 1, MKV_KIND_AUDIO = 2, MKV_KIND_SUBTITLE = 4 };

/* Track types as the packet records carry them. */
enum { MKV_TRACK_VIDEO = 1, MKV_TRACK_AUDIO = 2, MKV_TRACK_SUBTITLE = 4 };

/* Seek flags of op 3. */
enum { MKV_SEEK_RELATIVE = 0x10, MKV_SEEK_BY_AUDIO = 0x100 };

#define MKV_ERROR_TEXT_MAX 1024

/* The open record: the shared host services block, then this library's tail. */
typedef struct mkv_dmx_init_t {
  KvrHostServices host;         /* words 0-26 */
  void* unused27_31[5];
  void* file;                   /* word 32: file name, or (op 3000) a host file handle */
  uint32_t flags;               /* word 33: MKV_FLAG_* */
  uint32_t video_cache_size;    /* word 34: 0 means 520833 */
  uint32_t audio_cache_size;    /* word 35: 0 means 520833 */
  uint32_t main_cache_size;     /* word 36: 0 means 1024 */
} mkv_dmx_init_t;

typedef struct mkv_dmx_file_info_t {
  const char* file_name;
  uint32_t duration_ms;
  kvr_u64 file_size;
  uint32_t seekable;
  uint32_t reserved;
} mkv_dmx_file_info_t;

typedef struct mkv_video_info_t {
  uint32_t track_number;
  uint32_t width;
  uint32_t height;
  uint32_t frame_rate;          /* frames per second x 1000 */
  uint32_t fourcc;
  const uint8_t* private_data;
  uint32_t private_size;
  uint32_t last_cue_time_ms;
  uint32_t reserved;
  uint32_t stereo_mode;
} mkv_video_info_t;

typedef struct mkv_audio_info_t {
  uint32_t track_number;
  uint32_t sampling_rate;
  uint32_t bits_per_sample;
  uint32_t channels;
  uint32_t format_tag;
  const uint8_t* private_data;
  uint32_t private_size;
  const char* language;
  uint32_t block_align;
  uint32_t avg_bytes_per_sec;
} mkv_audio_info_t;

/* Subtitle kinds. */
enum {
  MKV_SUB_UTF8 = 0, MKV_SUB_SSA = 1, MKV_SUB_USF = 2, MKV_SUB_BMP = 3,
  MKV_SUB_VOBSUB = 4, MKV_SUB_KATE = 5, MKV_SUB_PGS = 6
};

typedef struct mkv_subtitle_info_t {
  uint32_t track_number;
  const char* language;
  uint32_t kind;                /* MKV_SUB_*, or a four-character code */
  const uint8_t* private_data;
  uint32_t private_size;
} mkv_subtitle_info_t;

typedef struct mkv_dmx_stream_info_t {
  mkv_dmx_file_info_t* file_info;
  uint32_t video_count;
  mkv_video_info_t* video;
  mkv_video_info_t* current_video;
  uint32_t audio_count;
  mkv_audio_info_t* audio;
  mkv_audio_info_t* current_audio;
  uint32_t subtitle_count;
  mkv_subtitle_info_t* subtitle;
  mkv_subtitle_info_t* current_subtitle;
} mkv_dmx_stream_info_t;

/* Op 6 items. */
enum { MKV_META_CUE_COUNT = 10, MKV_META_CODEC_NAME = 4, MKV_META_LAST_CUE_MS = 11,
       MKV_META_DISPLAY_WIDTH = 12, MKV_META_DISPLAY_HEIGHT = 13 };
enum { MKV_META_INTEGER = 2, MKV_META_TEXT = 4 };

typedef struct mkv_dmx_meta_t {
  uint32_t kind;
  uint32_t type;                /* MKV_META_INTEGER or MKV_META_TEXT */
  uint32_t length;
  uintptr_t value;              /* the integer, or the text's address */
} mkv_dmx_meta_t;

typedef struct mkv_dmx_meta_list_t {
  uint32_t count;
  mkv_dmx_meta_t* items;
} mkv_dmx_meta_list_t;

typedef struct mkv_dmx_packet_t {
  uint32_t m_ulTrackNumber;
  uint32_t m_ulTrackType;
  uint8_t* m_pbyData;
  uint8_t* m_pbyInternalBuffer;
  uint32_t m_ulDataLength;
  uint32_t m_ulBufferLength;
  uint32_t m_ulTimestamp;
  uint32_t m_ulEndTime;
  uint32_t m_ulKeyFrame;
  uint32_t reserved[3];
} mkv_dmx_packet_t;

typedef struct mkv_dmx_getstream_t {
  uint8_t* buffer;              /* null: delivery in the library's buffers */
  uint32_t buffer_size;
  uint32_t kind;                /* MKV_KIND_*; above 4 is taken (and written back) as 0 */
} mkv_dmx_getstream_t;

typedef struct mkv_dmx_outstream_t {
  uint8_t* m_pbyData;
  uint32_t m_ulDataLength;
  uint32_t m_ulTrackType;
  uint32_t m_ulTimestamp;
  uint32_t m_ulEndTime;
  uint32_t* m_pulKeyFrame;
} mkv_dmx_outstream_t;

typedef struct mkv_dmx_seek_t {
  int32_t target_ms;
  uint32_t flags;               /* MKV_SEEK_* */
} mkv_dmx_seek_t;

typedef struct mkv_dmx_select_t {
  uint32_t bits;                /* 0x1 video, 0x2 audio, 0x4 subtitle */
  uint32_t video_number;
  uint32_t audio_number;
  uint32_t subtitle_number;
} mkv_dmx_select_t;

typedef struct mkv_dmx_selected_t {
  mkv_video_info_t* video;
  mkv_audio_info_t* audio;
  mkv_subtitle_info_t* subtitle;
} mkv_dmx_selected_t;

typedef struct mkv_dmx_error_out_t {
  int32_t code;
  const char* text;
  uint32_t extra[2];
} mkv_dmx_error_out_t;

typedef struct mkv_dmx_bytes_t {
  const uint8_t* bytes;
  uint32_t length;
} mkv_dmx_bytes_t;

typedef struct mkv_dmx_options_t {
  uint32_t bits;                /* 0x2 no audio, 0x4 no video, 0x8 no subtitles */
  uint32_t seek_end_mode;
} mkv_dmx_options_t;

typedef struct mkv_dmx_nal_unit_t {
  const uint8_t* data;          /* inside the caller's record */
  uint32_t length;
} mkv_dmx_nal_unit_t;

typedef struct mkv_dmx_avcc_info_t {
  uint32_t sps_count;
  mkv_dmx_nal_unit_t* sps_list;
  uint32_t pps_count;
  mkv_dmx_nal_unit_t* pps_list;
  uint32_t nal_length_size;
} mkv_dmx_avcc_info_t;

typedef struct mkv_dmx_nal_array_t {
  uint32_t nal_unit_type;
  uint32_t nal_unit_count;
  mkv_dmx_nal_unit_t* nal_units;
} mkv_dmx_nal_array_t;

typedef struct mkv_dmx_hvcc_info_t {
  uint32_t nal_length_size;
  uint32_t nal_array_count;
  mkv_dmx_nal_array_t* nal_arrays;
} mkv_dmx_hvcc_info_t;

KVR_EXPORT int32_t KVR_MKV_DMX(int32_t op, void* handle_slot, void* in, void* out);

#ifdef __cplusplus
}
#endif

KVR_ASSERT_OFFSET32(mkv_dmx_init_t, file, 128);
KVR_ASSERT_OFFSET32(mkv_dmx_init_t, flags, 132);
KVR_ASSERT_OFFSET32(mkv_dmx_init_t, main_cache_size, 144);
KVR_ASSERT_SIZE32(mkv_dmx_init_t, 148);
KVR_ASSERT_OFFSET32(mkv_dmx_file_info_t, file_size, 8);
KVR_ASSERT_OFFSET32(mkv_dmx_file_info_t, seekable, 16);
KVR_ASSERT_SIZE32(mkv_dmx_file_info_t, 24);
KVR_ASSERT_SIZE32(mkv_video_info_t, 40);
KVR_ASSERT_OFFSET32(mkv_video_info_t, private_data, 20);
KVR_ASSERT_OFFSET32(mkv_video_info_t, stereo_mode, 36);
KVR_ASSERT_SIZE32(mkv_audio_info_t, 40);
KVR_ASSERT_OFFSET32(mkv_audio_info_t, language, 28);
KVR_ASSERT_SIZE32(mkv_subtitle_info_t, 20);
KVR_ASSERT_SIZE32(mkv_dmx_stream_info_t, 40);
KVR_ASSERT_SIZE32(mkv_dmx_meta_t, 16);
KVR_ASSERT_SIZE32(mkv_dmx_packet_t, 48);
KVR_ASSERT_OFFSET32(mkv_dmx_packet_t, m_ulTimestamp, 24);
KVR_ASSERT_OFFSET32(mkv_dmx_packet_t, m_ulKeyFrame, 32);
KVR_ASSERT_SIZE32(mkv_dmx_getstream_t, 12);
KVR_ASSERT_SIZE32(mkv_dmx_outstream_t, 24);
KVR_ASSERT_SIZE32(mkv_dmx_select_t, 16);
KVR_ASSERT_SIZE32(mkv_dmx_error_out_t, 16);
KVR_ASSERT_SIZE32(mkv_dmx_avcc_info_t, 20);
KVR_ASSERT_SIZE32(mkv_dmx_hvcc_info_t, 12);
KVR_ASSERT_SIZE32(mkv_dmx_nal_array_t, 12);
KVR_ASSERT_SIZE32(mkv_dmx_nal_unit_t, 8);

#endif
