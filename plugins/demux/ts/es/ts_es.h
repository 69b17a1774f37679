#ifndef KVR_TS_ES_H
#define KVR_TS_ES_H
/* Elementary-stream header parsers of the transport-stream demuxer and the
 * small set of context accessors they use. The parsers never see the
 * context's layout: they reach the payload, the error pair and their
 * per-handle counting flags through the accessors below, which the container
 * code defines. A null context is allowed everywhere: the payload is then
 * empty and errors go to the library's exported error pair. */

#include <stdint.h>

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Video header record: ten 32-bit words, owned by the caller. */
typedef struct TsdVideoHeader {
  uint32_t width;           /* 0 */
  uint32_t height;          /* 1 */
  uint32_t frameRate;       /* 2: frames per second x 1000, 0 = not given */
  uint32_t codecTag;        /* 3: four ASCII bytes in memory order */
  uint32_t reserved;        /* 4 */
  uint32_t aspectRatio;     /* 5: ten-thousandths, 0 = not given */
  uint32_t bitRate;         /* 6 */
  uint32_t interlaced;      /* 7 */
  uint32_t unused;          /* 8: never written */
  uint32_t audSeen;         /* 9: H.264 access-unit delimiters seen */
} TsdVideoHeader;

/* Audio description record: eleven 32-bit words, owned by the caller and
 * kept per stream between calls (frame-continuation state lives in it). */
typedef struct AudioHeaderInfo {
  uint32_t formatTag;       /* 0 */
  uint32_t subKind;         /* 1 */
  uint32_t sampleRate;      /* 2 */
  uint32_t bitsPerSample;   /* 3 */
  uint32_t bitRate;         /* 4: kbit/s */
  uint32_t channelCount;    /* 5 */
  uint32_t callerWords[2];  /* 6, 7: never touched by the parsers */
  uint32_t frameLength;     /* 8 */
  uint32_t frameBytesSeen;  /* 9 */
  uint32_t interleaved;     /* 10 */
} AudioHeaderInfo;

KVR_ASSERT_OFFSET32(TsdVideoHeader, frameRate, 8);
KVR_ASSERT_OFFSET32(TsdVideoHeader, codecTag, 12);
KVR_ASSERT_OFFSET32(TsdVideoHeader, aspectRatio, 20);
KVR_ASSERT_OFFSET32(TsdVideoHeader, interlaced, 28);
KVR_ASSERT_OFFSET32(TsdVideoHeader, audSeen, 36);
KVR_ASSERT_SIZE32(TsdVideoHeader, 40);
KVR_ASSERT_OFFSET32(AudioHeaderInfo, subKind, 4);
KVR_ASSERT_OFFSET32(AudioHeaderInfo, channelCount, 20);
KVR_ASSERT_OFFSET32(AudioHeaderInfo, frameLength, 32);
KVR_ASSERT_OFFSET32(AudioHeaderInfo, frameBytesSeen, 36);
KVR_ASSERT_OFFSET32(AudioHeaderInfo, interleaved, 40);
KVR_ASSERT_SIZE32(AudioHeaderInfo, 44);

/* Key-frame checker: 1 for a key frame, 0 otherwise. */
typedef int32_t (*TsdKeyFrameChecker)(const TsdVideoHeader* header, const uint8_t* bytes,
                                      int32_t count);

/* Exported parsers. `context` is the demuxer handle (the context). */
KVR_EXPORT int32_t TSD_ParseVideoHeader(void* context, uint32_t codecId, TsdVideoHeader* header);
KVR_EXPORT int32_t TSD_GetVideoFrameCount(void* context, uint32_t codecId, TsdVideoHeader* header);
KVR_EXPORT int32_t TSD_GetKeyFrameChecker(void* context, uint32_t codecId,
                                          TsdKeyFrameChecker* checker);
KVR_EXPORT int32_t TSD_GetAVSFrameStartPos(const uint8_t* bytes, int32_t count);
KVR_EXPORT int32_t TSD_ParseAudioHeader(void* context, uint32_t codecId, AudioHeaderInfo* info);

/* Context accessors, defined by the container code. */

/* The payload the parsers read: the last assembled PES payload (or what
 * probing placed there). Returns the pointer and stores the length; a null
 * context gives null and 0. */
const uint8_t* tsd_es_payload(void* context, int32_t* length);

/* Records a failure in the handle's error pair (the exported pair for a null
 * context). */
void tsd_es_set_error(void* context, int32_t code, int32_t line);

/* Header-pending flags of the picture counter, per handle so that one
 * handle's state cannot leak into another's count. Index by TsdPendingFlag.
 * A null context gives a process-wide fallback set. */
enum TsdPendingFlag {
  TSD_PENDING_MPEG12 = 0,
  TSD_PENDING_MPEG4 = 1,
  TSD_PENDING_VC1 = 2,
  TSD_PENDING_AVS = 3,
  TSD_PENDING_COUNT = 4
};
int32_t* tsd_es_pending_flags(void* context);

#ifdef __cplusplus
}
#endif

#endif
