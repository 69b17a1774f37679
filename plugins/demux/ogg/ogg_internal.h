#ifndef KVR_OGG_INTERNAL_H
#define KVR_OGG_INTERNAL_H
/* The Ogg demuxer's context and the functions its phases share. */
#include <stdint.h>

#include "kvr_ogg_dmx.h"

#ifdef __cplusplus
extern "C" {
#endif

#define OGG_DEFAULT_CACHE 4096u
#define OGG_MAX_CACHE 65536u
#define OGG_QUEUE_CAPACITY 10240u
#define OGG_TOPUP_PAGES 10u
#define OGG_SAVED_AUDIO_BYTES 32768u
#define OGG_FALSE_CAPTURE_LIMIT 6145
#define OGG_SYNC_MISS_LIMIT 16
#define OGG_SKIP_BYTES 131072
#define OGG_END_BLOCK 5000
#define OGG_COUNT_PAGES 61
#define OGG_MAX_PROBES 14
#define OGG_LAST_KEY_STEPS 1000
/* Backward key-frame stepping gives up after this many steps. */
#define OGG_BACK_STEP_LIMIT 1000
/* The step of the backward searches when the video bit rate is unknown. */
#define OGG_MIN_BACK_STEP 65536
/* An audio seek that finds no packet after the target retries this much earlier. */
#define OGG_AUDIO_BACK_MS 1000
/* The longest page: header, 255 lacing values, 255 full segments. */
#define OGG_MAX_PAGE_BYTES (27 + 255 + 255 * 255)
/* Probes past the last page that one audio search moves back from. */
#define OGG_PROBE_RETREATS 32

typedef struct OggStreamEntry {
  uint32_t serial;
  uint32_t codecId;
  int32_t queue;              /* 1..9, 0 without */
  OggPageRecord cur;
  OggPageRecord prev;
  kvr_i64 granuleAcc;
  int32_t dropCounter;        /* 0 or 2 after a repositioning */
  int32_t kind;               /* OGG_KIND_* */
  int32_t ordinal;            /* 1-based within its kind */
  int32_t headersLeft;        /* Vorbis: 3 */
  uint32_t endedOnPage;       /* packets of the current page delivered so far */
  OggAudioInfo audio;
  OggVideoInfo video;
} OggStreamEntry;

typedef struct OggDmxContext {
  int32_t streamCount;
  int32_t audioCount;
  int32_t videoCount;
  int32_t audioIndex;
  int32_t videoIndex;
  OggInputReader readers[OGG_MAX_STREAMS];
  OggStreamEntry streams[OGG_MAX_STREAMS];
  int64_t fileSize;
  uint32_t bitrate;
  uint32_t durationMs;
  OggVideoInfo video;         /* the selected video stream's record */
  OggAudioInfo audio;         /* the selected audio stream's record */
  uint8_t* scratch;
  int32_t seekPending;
  /* The key-frame read after an audio-led seek with Theora video: back to
   * the intra frame at or before the audio's landing. */
  int32_t followTarget;
  uint32_t followFlags;
  /* Where the selected video's reader was last put for a key-frame search
   * (a byte position and its drop counter): reading from there again gives
   * the same packets, so a search can go back to a key frame it passed. */
  int64_t keyPassPosition;
  int32_t keyPassDrop;
  int32_t keyPassSet;
  int32_t lastTimeMs;
  int32_t seekable;
  OggPacketRecord saved;
  uint8_t* savedBuffer;
  int32_t seekPolicy;
  int32_t callerStreams;
  OggAudioEntry* audioEntries;
  OggVideoEntry* videoEntries;
  /* discovery */
  uint32_t serials[OGG_MAX_STREAMS];
  int64_t lastGranules[OGG_MAX_STREAMS];
  uint32_t cacheSize;
  int32_t selectedVideoSerial;
  int32_t selectedAudioSerial;
} OggDmxContext;

/* A time or rate computed in floating point, truncated and held inside the
 * 32-bit word it is handed out in (damaged granules give any value). */
static inline int32_t ogg_ms(double v) {
  if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
  return v < 2147483647.0 ? (int32_t)v : INT32_MAX;
}
static inline uint32_t ogg_u32(double v) {
  if (!(v > 0)) return 0;
  return v < 4294967295.0 ? (uint32_t)v : UINT32_MAX;
}

/* Host functions (library globals). */
void* ogg_malloc(size_t size);
void ogg_free(void* block);

/* Reader helpers. */
int32_t ogg_reader_open(OggInputReader* reader, const char* fileName, uint32_t cacheSize);
void ogg_reader_close(OggInputReader* reader);
int32_t ogg_reader_seek_abs(OggInputReader* reader, int64_t position);
int64_t ogg_reader_tell(const OggInputReader* reader);
int64_t ogg_file_size(void* file);

/* Queues and pages. */
void ogg_page_release(OggPageRecord* page);
void ogg_stream_pages_release(OggStreamEntry* st);
int32_t ogg_queue_peek_at(int32_t queue, uint32_t index, OggPageRecord** page);
int32_t ogg_enqueue_one(OggDmxContext* ctx, int32_t k, int32_t loadData);
int32_t ogg_queue_count(int32_t queue);

/* Packets. */
OggStreamEntry* ogg_find_stream(OggDmxContext* ctx, uint32_t serial);
int32_t ogg_read_packet(OggDmxContext* ctx, const OggPacketRequest* req, OggPacketResult* res);
int32_t ogg_frame_ms(uint64_t frame, uint32_t num, uint32_t den);
uint64_t ogg_theora_frame(const OggVideoInfo* v, int64_t granule);
int32_t ogg_theora_time(const OggVideoInfo* v, int64_t granule, int32_t* timeMs);
uint32_t ogg_ogm_header_bytes(uint8_t first);
int32_t ogg_ogm_video_time(const OggVideoInfo* v, int64_t granule);

/* Discovery. */
int64_t check_stream_num(OggDmxContext* ctx, const char* fileName);
int32_t get_allstream_info(OggDmxContext* ctx, const char* fileName);
int32_t get_theora_extradata(OggDmxContext* ctx);
void get_common_info(OggDmxContext* ctx);
int32_t set_dmx_info(OggDmxContext* ctx, OggStreamInfo* info);

/* Seeking. */
int32_t ogg_seek(OggDmxContext* ctx, const OggSeekRequest* req, OggSeekResult* res);
int32_t _find_video_key(OggDmxContext* ctx, OggPacketRecord* packet, uint32_t flags, int32_t target,
                        uint32_t capacity);
void flush_stream(OggDmxContext* ctx, uint32_t serial);

#ifdef __cplusplus
}
#endif

#endif
