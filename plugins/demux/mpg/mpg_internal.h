#ifndef MPG_INTERNAL_H
#define MPG_INTERNAL_H
/* The per-file context of the program-stream demuxer and the functions its
 * source files share. */

#include "kvr_mpg_dmx.h"
#include "kvr_timestamp.h"

/* 90 kHz slots hold this until a time is known: divided by 90 and cut to 32
 * bits it reads as -1 ms. */
#define MPG_NO_TIME ((int64_t)0xFFFFFFFFLL * 90)
#define MPG_MS(t) ((int32_t)(uint32_t)((uint64_t)(t) / 90u))

#define MPG_VIDEO_RING_SIZE 1024000u
/* A sub-picture unit may be 65535 bytes long; the ring holds one whole. */
#define MPG_SPU_RING_SIZE 65536u
/* The audio ring holds the longest audio frame of any codec the audio frame
 * finder knows (a DTS frame of 16384 bytes). */
#define MPG_AUDIO_RING_SIZE 16384u
#define MPG_SCAN_BUFFER_SIZE 65536u
#define MPG_SCAN_LIMIT 2097152u
#define MPG_SCAN_LIMIT_INFO 262144u
#define MPG_PACK_SEARCH 2097156u
#define MPG_MAX_SPU_COMMANDS 100

/* Where a packet goes: the direct reader, or one of the two readers. */
typedef enum { PS_READ_DIRECT, PS_READ_VIDEO, PS_READ_AUDIO } PsReadRole;

typedef struct PsRing {
  uint8_t* data;
  uint32_t size;
  uint32_t rd;   /* first byte not handed out */
  uint32_t wr;   /* bytes are kept linear: [rd, wr) */
} PsRing;

typedef struct PsSpuState {
  int forced;
  int extended;
  uint32_t start_delay;
  uint32_t stop_delay;
  uint8_t colour[4];
  uint8_t contrast[4];
  uint32_t x1, x2, y1, y2;
  uint32_t top_offset, bottom_offset;
  uint32_t width, height;
  uint8_t work[1024];
} PsSpuState;

typedef struct PsHeld {
  int pending;
  uint8_t* data;
  uint32_t capacity;
  MpgFrame frame;  /* fields 2 to 6 */
} PsHeld;

typedef struct MpgContext {
  /* mode */
  uint32_t stream_mode;
  int direct;
  int pack_syntax;        /* 0 MPEG-1, 1 MPEG-2 */
  uint64_t data_start;
  uint32_t cache_size;
  uint32_t mux_rate;
  /* readers */
  MpgByteReader probe, video_reader, audio_reader;
  MpgHostFunctions host;
  /* file */
  uint64_t file_size;
  int32_t duration_ms;
  int32_t video_base_ms, audio_base_ms;
  /* rings */
  int ring;               /* video payloads go to the ring */
  PsRing vring, sring;
  PsRing aring;           /* audio payloads for the audio frame finder */
  uint8_t* scan_buf;      /* one PES payload, while the format check runs */
  /* 90 kHz time slots */
  int64_t last_video_pts, last_audio_pts, last_spu_pts;
  int64_t video_scr, audio_scr, last_scr, first_scr_delivered;
  int64_t file_first_scr_ms, file_last_scr_ms;
  /* The first PTS and clock reference read in the file: every later one is
     read on their unwrapped scale, so times run on across a wrap. */
  int64_t pts_origin, scr_origin;
  /* chosen streams */
  uint32_t audio_codec, video_codec, audio_frame_length, audio_header;
  uint32_t audio_id, video_id;
  uint32_t spu_id;        /* sub-picture stream being collected */
  uint32_t sel_video[MPG_MAX_SELECTED], sel_audio[MPG_MAX_SELECTED], sel_codec[MPG_MAX_SELECTED];
  uint32_t n_sel_video, n_sel_audio, n_video, n_audio;
  uint32_t multi;         /* bit 0 video, bit 1 audio */
  /* frame production */
  int audio_ended, video_ended;
  int frame_started;
  uint32_t frame_start;   /* index in the video ring */
  uint32_t scan;          /* next index the finders look at */
  int32_t frame_time;
  int need_key;
  int nav_seen, nav_output;
  uint8_t* frame_buf;     /* the frame record's buffer: pointer and capacity stay together */
  uint32_t frame_capacity;
  PsHeld held;
  int32_t last_video_time, prev_audio_time;
  int seek_dir;
  int placed;             /* the last seek estimate lay inside the file */
  int32_t frame_duration;
  int repeat;
  uint32_t scan_limit;
  uint32_t time_flags;
  uint64_t last_video_offset;
  uint32_t recovery;
  MpgStreamInfo* info;
  PsSpuState spu;
} MpgContext;

/* The top bit of each of the eight bytes at `p` that equals `byte` is set
 * (and possibly of bytes after such a byte); 0 when none equals it. */
static inline uint64_t ps_byte_mask(const uint8_t* p, uint8_t byte) {
  uint64_t v;
  __builtin_memcpy(&v, p, sizeof v);
  v ^= 0x0101010101010101ull * byte;
  return (v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull;
}

void ps_eof(const char* function, int line);
#define PS_EOF() ps_eof(__func__, __LINE__)

/* byte reader */
void ps_reader_clear(MpgByteReader* r);
int32_t ps_next_block(MpgByteReader* r);

/* packets (mpg_pes.c) */
int32_t MPG_DEC_MPG2PS_FindCode(MpgByteReader* r);
int32_t MPG_DEC_GetPTS(uint32_t first, MpgByteReader* r, int64_t* pts);
int32_t MPG_DEC_MPG2PS(MpgContext* c, const MpgFrameRequest* req, MpgFrame* frame);
/* One private stream 2 (navigation) packet after its start code into the
 * frame record; only read while navigation output is on. */
KVR_EXPORT int32_t MPG_DEC_MPG2PS_DumpNavi(MpgByteReader* r, uint32_t id, MpgContext* c,
                                          const MpgFrameRequest* req, MpgFrame* frame);
int32_t ps_read_pack(MpgContext* c, MpgByteReader* r, int64_t* scr);
int64_t ps_unwrap_pts(MpgContext* c, int64_t pts);
int64_t ps_unwrap_scr(MpgContext* c, int64_t scr);
int32_t ps_pes_header(int syntax, MpgByteReader* r, uint32_t length, uint32_t* header_len, int64_t* pts);
int32_t ps_frame_grow(MpgContext* c, MpgFrame* frame, uint32_t n);
int32_t MPG_DEC_MPG2PS_GetInfoVideoHeader(MpgContext* c, MpgByteReader* r, uint8_t* work, int32_t* time_ms,
                                          uint32_t codec);
int32_t MPG_DEC_MPG2PS_GetInfoAudioHeader(MpgContext* c, MpgByteReader* r, uint8_t* work, int32_t* time_ms,
                                          int known);
int32_t MPG_DEC_MPG2PS_GetInfoVOBHeader(MpgContext* c, MpgByteReader* r, uint8_t* work, int32_t* time_ms,
                                        uint32_t* sub_id);

/* elementary streams (mpg_es.c) */
KVR_EXPORT int32_t KVR_MPG_FindSyncFrameVideo(MpgContext* c, MpgFrame* frame);
KVR_EXPORT int32_t KVR_MPG_FindOneFrameVideo(MpgContext* c, MpgFrame* frame);
/* Cuts the next whole frame of the chosen audio stream out of the audio ring
 * into the frame record; bytes before its header are passed over. */
KVR_EXPORT int32_t KVR_MPG_FindOneFrameAudio(MpgContext* c, MpgFrame* frame);
KVR_EXPORT int32_t KVR_MPG_FindOneFrameCaption(MpgContext* c, uint32_t* start, uint32_t* end);
KVR_EXPORT int32_t KVR_MPG_isKeyFrame(const MpgContext* c, const MpgFrame* frame);
const uint8_t* ps_next_start(const uint8_t* p, const uint8_t* end);

/* open, choice and selection (mpg_open.c) */
int32_t MPG_Core_CheckFormat(MpgContext* c, MpgOpenRecord* rec, MpgStreamInfo* info);
int32_t MPG_Core_ChooseChannel(MpgContext* c, MpgOpenRecord* rec, MpgStreamInfo* info);
int32_t MPG_Core_SelStream(MpgContext* c, const MpgSelectRequest* req, MpgSelectResult* res);
void ps_reset_video(MpgContext* c);
void ps_reset_audio(MpgContext* c);

/* frames and seeking (mpg_read.c) */
int32_t MPG_Core_Decode(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame, int key);
int32_t MPG_Core_Seek(MpgContext* c, MpgFrameRequest* req, MpgFrame* frame);
KVR_EXPORT int32_t MPG_SEEK_MPG2PS_BW(MpgContext* c, const MpgFrameRequest* req);
void ps_reset_parsing(MpgContext* c);

/* sub-pictures (mpg_spu.c) */
int32_t MPG_Core_SubTitle(MpgContext* c, const MpgSubpictureRequest* req, MpgSubpicture* pic);

#endif
