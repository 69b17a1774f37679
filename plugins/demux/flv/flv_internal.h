#ifndef KVR_FLV_INTERNAL_H
#define KVR_FLV_INTERNAL_H
/* The FLV demuxer's context and the functions its phases share. */
#include <stdint.h>

#include "flv_fio.h"
#include "kvr_flv_dmx.h"

#ifdef __cplusplus
extern "C" {
#endif

#define FLV_FRAME_BUFFER_SIZE 512000u
#define FLV_UNKNOWN_TAG_BYTE 65535u
#define FLV_RESYNC_BUDGET 0x100000
#define FLV_PROGRESSIVE_END INT64_MAX
#define FLV_MAX_ROUNDS 101
/* AMF0 objects and arrays nest at most this deep; deeper data is damage. */
#define FLV_AMF_MAX_DEPTH 32

typedef struct FlvDemuxContext {
  /* handles and options */
  FlvFioHandle* readHandle;       /* probing and metadata: the video handle */
  FlvFioHandle* videoHandle;
  FlvFioHandle* audioHandle;      /* its own handle under FLVD_OPEN_SEPARATE_HANDLES */
  uint32_t openFlags;
  uint32_t seekMode;              /* FLVD_SEEK_* */
  uint32_t infoOnly;
  uint8_t* frameBuffer;
  uint32_t frameBufferSize;
  uint32_t cacheSize;
  uint32_t seekReadSize;
  uint32_t byteRate;              /* end of data x 1024 / duration, 0 when unknown */
  uint32_t streamFlags;           /* bit 0 video, bit 1 audio */
  /* blocks handed to the host */
  FlvdFileInfo fileInfo;
  FlvdVideoInfo video;
  FlvdAudioRecord audio;          /* the information block and the audio data rate */
  /* file layout */
  int64_t fileSize;
  int64_t endOfData;
  uint32_t dataOffset;
  uint32_t frameLength;
  /* times, ms */
  int32_t currentVideoMs;
  int32_t currentAudioMs;
  uint32_t durationMs;
  uint32_t firstTimestamp;
  uint32_t lastTimestamp;
  uint32_t audioDelayMs;
  uint32_t videoTagByte;          /* FLV_UNKNOWN_TAG_BYTE while unknown */
  uint32_t audioTagByte;
  /* key-frame index */
  int64_t timesPosition;
  int64_t filePositionsPosition;
  uint32_t indexCount;
  int64_t lastKeyFrameLocation;
  uint32_t indexDurationMs;
  uint32_t incompleteFile;
  int64_t videoResume;
  int64_t audioResume;
  uint32_t timesCount;
  uint32_t* times;                /* ms per entry, metadata allocator */
  uint32_t filePositionsCount;
  int64_t* filePositions;         /* metadata allocator */
  uint32_t timesEntries;          /* entries of the last `times` array, in memory or not */
  uint32_t positionsEntries;      /* entries of the last `filepositions` array */
  /* error pair */
  int32_t lastError;
  int32_t errorLine;
} FlvDemuxContext;

/* Host memory functions of the last open (process-wide). */
typedef struct FlvMemory {
  KvrMallocFn malloc;
  KvrReallocFn realloc;
  KvrFreeFn free;
  void* reserved;
  KvrMemcpyFn memcpy;
  KvrMemsetFn memset;
} FlvMemory;
extern FlvMemory g_flv_mem;

/* Records a failure in the context, or in the exported pair without one. */
void flv_error(FlvDemuxContext* ctx, int32_t code, int32_t line);
int32_t flv_rewind(FlvDemuxContext* ctx);

/* Tag reader. */
KVR_EXPORT int32_t FLVD_FindNextTag(FlvDemuxContext* ctx, FlvFioHandle* h, int32_t maximum);
KVR_EXPORT int32_t FLVD_MoveToNextTag(FlvDemuxContext* ctx, FlvFioHandle* h, FlvTagInfo* info,
                                      uint32_t wanted, uint32_t* kindOut);
KVR_EXPORT int32_t FLVD_GetCurrTagInfo(FlvDemuxContext* ctx, FlvFioHandle* h, FlvTagInfo* info,
                                       uint32_t wanted, int32_t verify);
KVR_EXPORT int32_t FLVD_MoveToPrevTag(FlvDemuxContext* ctx, FlvFioHandle* h, FlvTagInfo* info,
                                      uint32_t wanted, uint32_t* kindOut);
void flv_tag_info(const uint8_t* p, FlvTagInfo* info);

/* Backward scans read the 32-bit fields before a position through a window
 * of the file, so that stepping back one byte at a time over damage costs
 * no file call per byte. */
typedef struct FlvBackWindow {
  int64_t start;                  /* file offset of bytes[0] */
  int32_t count;                  /* bytes held */
  uint8_t bytes[4096];
} FlvBackWindow;
/* The big-endian word at `at`; 0 with *ok cleared when it cannot be read. */
uint32_t flv_back_word(FlvFioHandle* h, FlvBackWindow* w, int64_t at, int* ok);
int32_t flv_read_frame(FlvDemuxContext* ctx, const FlvdFrameRequest* req, FlvdFrame* out);
int32_t flv_read_frame_progressive(FlvDemuxContext* ctx, const FlvdFrameRequest* req, FlvdFrame* out);

/* Metadata. */
KVR_EXPORT int32_t FLVD_ReadMetadata(FlvDemuxContext* ctx, uint32_t dataSize);
KVR_EXPORT void FLVD_SetCallbackforMeta(void* const* functions);
void flv_meta_release(void* block);

/* Seek. */
int32_t flv_seek(FlvDemuxContext* ctx, const FlvdSeekRequest* req, FlvdSeekAnswer* out);
int32_t flv_seek_progressive(FlvDemuxContext* ctx, const FlvdSeekRequest* req, FlvdSeekAnswer* out);
KVR_EXPORT int32_t FLVD_RunFrameSeek(FlvDemuxContext* ctx, uint32_t target, uint32_t* found,
                                     int32_t kind, int32_t backward);
KVR_EXPORT int32_t FLVD_RunFrameSeekProgressive(FlvDemuxContext* ctx, uint32_t target,
                                                uint32_t* found, int32_t kind, int32_t backward);

/* Open helpers. */
int32_t flv_end_scan(FlvDemuxContext* ctx);
/* An AMF0 number (marker 0 and a big-endian double) at the handle, or -1
 * (not a number) / -2 (short). */
int32_t flv_read_amf_number(FlvFioHandle* h, double* value);
uint32_t flv_double_to_u32(double v);
int64_t flv_double_to_i64(double v);

static inline uint32_t flv_be24(const uint8_t* p) {
  return ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
}
static inline uint32_t flv_be32(const uint8_t* p) {
  return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

#ifdef __cplusplus
}
#endif

#endif
