#ifndef KVR_TS_DMX_H
#define KVR_TS_DMX_H
/* Records of the transport-stream demuxer entry KVR_TS_DMX. Word offsets are
 * those of the board's 32-bit layout (pointer words are pointer-sized). */
#include <stdint.h>

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  TSD_OP_OPEN = 1,
  TSD_OP_OPEN_INFO = 2,
  TSD_OP_CLOSE = 3,
  TSD_OP_SELECT = 4,
  TSD_OP_LAST_ERROR = 5,
  TSD_OP_READ = 10,
  TSD_OP_READ2 = 11,
  TSD_OP_SEEK = 12,
  TSD_OP_PROGRAM_LIST = 21,
  TSD_OP_SET_BUFFERS = 100,
  TSD_OP_SET_PRIORITY = 101
};

enum {
  TSD_KIND_VIDEO = 0x1,
  TSD_KIND_AUDIO = 0x2,
  TSD_KIND_GRAPHICS = 0x10,
  TSD_KIND_TEXT = 0x20,
  TSD_KIND_PRIVATE = 0x100
};

/* Open flags (word 3 of the open record). */
enum {
  TSD_OPEN_SEPARATE_READERS = 0x1,
  TSD_OPEN_CALLER_BUFFERS = 0x2,
  TSD_OPEN_PACKET_LOOP = 0x4,
  TSD_OPEN_GROWING = 0x8,
  TSD_OPEN_PRESETS = 0x10,
  TSD_OPEN_NO_CRC = 0x40,
  TSD_OPEN_PROBE_MODE2 = 0x100,
  TSD_OPEN_NO_SEEK_FLAGS = 0x200,
  TSD_OPEN_BLOCK_MAP = 0x800,
  TSD_OPEN_DROP_DISCONTINUOUS = 0x1000,
  TSD_OPEN_SMALL_CACHE = 0x2000,
  TSD_OPEN_START_AT_VIDEO = 0x4000
};

typedef struct TsdOpenRecord {
  const char* path;           /* word 0 */
  int32_t sourceMode;         /* 1: 2 = a file */
  int32_t packetType;         /* 2: low byte type, 0x100 one-segment PMTs only */
  uint32_t openFlags;         /* 3 */
  KvrHostServices host;       /* 4..30 */
  int32_t unused[6];          /* 31..36 */
  int32_t cacheSize;          /* 37 */
  int32_t readUnit;           /* 38 */
  int32_t maxCollection;      /* 39 */
  int32_t presetSize[5];      /* 40..44 */
  uint8_t* callerBuffer[5];   /* 45..49 */
  void* hints;                /* 50 */
} TsdOpenRecord;
KVR_ASSERT_OFFSET32(TsdOpenRecord, host, 16);
KVR_ASSERT_OFFSET32(TsdOpenRecord, cacheSize, 148);
KVR_ASSERT_OFFSET32(TsdOpenRecord, presetSize, 160);
KVR_ASSERT_OFFSET32(TsdOpenRecord, callerBuffer, 180);
KVR_ASSERT_OFFSET32(TsdOpenRecord, hints, 200);
KVR_ASSERT_SIZE32(TsdOpenRecord, 204);

/* Host hint record (a chain through `next`). Kind 3 declares a stream. */
typedef struct TsdHint {
  int32_t kind;               /* 0 */
  int32_t size;               /* 1: bytes of the whole record */
  struct TsdHint* next;       /* 2 */
  int32_t family;             /* 3 (kind 3) */
  int32_t streamType;         /* 4 */
  int32_t programNumber;      /* 5 */
  int32_t pid;                /* 6 */
  int32_t format;             /* 7 */
} TsdHint;
KVR_ASSERT_OFFSET32(TsdHint, family, 12);
KVR_ASSERT_OFFSET32(TsdHint, format, 28);

/* Probe parameters (hint kind 1 or 2); only these words are read. */
typedef struct TsdProbeHint {
  int32_t kind, size;
  void* next;
  int32_t budgetBytes;        /* 3: bytes read by probing; < 1 = default */
  int32_t noCounting;         /* 4: 0 = count pictures per PES */
  int32_t firstParse;         /* 5: 1 = the first audio parse is enough */
  int32_t wantedVideo;        /* 6: streams wanted, negative = all */
  int32_t wantedAudio;        /* 7 */
  int32_t durationMs;         /* 8: known duration, 0 = none */
  int32_t fileSize;           /* 9: file size for the known duration */
  int32_t endReach;           /* 10: end scan reach in bytes, 0 = by probe mode */
  int32_t endStep;            /* 11: end scan step in bytes, 0 = by probe mode */
} TsdProbeHint;
KVR_ASSERT_OFFSET32(TsdProbeHint, budgetBytes, 12);

/* Jump threshold (hint kind 5). */
typedef struct TsdJumpHint {
  int32_t kind, size;
  void* next;
  int32_t pad;                /* 3 */
  kvr_i64 threshold90k;       /* bytes 16..23 */
  int32_t thresholdMs;        /* 6 */
} TsdJumpHint;
KVR_ASSERT_OFFSET32(TsdJumpHint, threshold90k, 16);
KVR_ASSERT_OFFSET32(TsdJumpHint, thresholdMs, 24);

/* Selection record, ops 1 (from word 5 of the output) and 4. */
typedef struct TsdSelectionInfo {
  int32_t programNumber;
  int32_t pmtPid;
  int32_t videoPid;
  uint32_t width, height, frameRate, fourcc;
  int32_t hasDependent;
  int32_t dvProfile, dvLevel;
  int32_t audioPid;
  uint32_t formatTag, subKind, sampleRate, bitsPerSample, bitRate, channels;
  char audioLanguage[4];
  int32_t graphicsPid, graphicsType;
  char graphicsLanguage[4];
  int32_t textPid, textType;
  char textLanguage[4];
  int32_t privatePid;
  int32_t durationMs;
} TsdSelectionInfo;
KVR_ASSERT_SIZE32(TsdSelectionInfo, 104);

typedef struct TsdOpenOutput {
  void* handle;               /* 0 */
  int32_t packetType;         /* 1 */
  int32_t timingKnown;        /* 2 */
  int32_t programCount;       /* 3 */
  void* programList;          /* 4 */
  TsdSelectionInfo selection; /* 5.. */
} TsdOpenOutput;
KVR_ASSERT_OFFSET32(TsdOpenOutput, selection, 20);

typedef struct TsdSelectInput {
  uint32_t request;           /* 0 (written back) */
  int32_t programNumber;      /* 1 */
  int32_t pid[5];             /* 2..6 */
  uint8_t* buffer[5];         /* 7..11 */
  int32_t programValue;       /* 12 */
} TsdSelectInput;
KVR_ASSERT_OFFSET32(TsdSelectInput, programValue, 48);

typedef struct TsdSelectOutput {
  TsdSelectionInfo selection; /* 0..25 */
  int32_t unused[4];          /* 26..29 */
  int32_t newKinds;           /* 30 */
} TsdSelectOutput;
KVR_ASSERT_OFFSET32(TsdSelectOutput, newKinds, 120);

typedef struct TsdReadInput {
  int32_t kind;               /* 0 */
  uint8_t* buffer;            /* 1 (op 10) */
  int32_t bufferSize;         /* 2 (op 10) */
} TsdReadInput;

typedef struct TsdRead2Input {
  int32_t kind;               /* 0 */
  uint8_t* next[5];           /* 1..5 */
} TsdRead2Input;

typedef struct TsdFrame {
  int32_t pid;                /* 0 */
  uint32_t kind;              /* 1 */
  int32_t length;             /* 2 */
  const uint8_t* data;        /* 3 */
  int32_t timeMs;             /* 4 */
  int32_t priority;           /* 5 */
  int32_t neededSize;         /* 6 */
  int32_t discontinuity;      /* 7 */
} TsdFrame;
KVR_ASSERT_OFFSET32(TsdFrame, timeMs, 16);
KVR_ASSERT_SIZE32(TsdFrame, 32);

typedef struct TsdFrame2 {
  uint32_t kind;              /* 0 */
  int32_t length;             /* 1 */
  const uint8_t* data;        /* 2 */
  int32_t timeMs;             /* 3 */
  int32_t priority;           /* 4 */
  int32_t discontinuity;      /* 5 */
  uint32_t switchedKinds;     /* 6 */
} TsdFrame2;
KVR_ASSERT_SIZE32(TsdFrame2, 28);

/* Op 100 input. */
typedef struct TsdBufferInput {
  int32_t presetSize[5];      /* 0..4 */
  uint8_t* buffer[5];         /* 5..9 (with open flag 0x2) */
} TsdBufferInput;
KVR_ASSERT_OFFSET32(TsdBufferInput, buffer, 20);

typedef struct TsdSeekInput {
  int32_t targetMs;
  uint32_t flags;
} TsdSeekInput;

typedef struct TsdSeekOutput {
  int32_t reachedMs;
  uint32_t flags;
} TsdSeekOutput;

typedef struct TsdProgramListStream {
  uint32_t kind;              /* kind bits & 0x133 */
  uint32_t codec;             /* low 16 bits of the codec identifier */
  int32_t pid;
  union {
    struct { int32_t pid; uint32_t width, height, frameRate, fourcc; int32_t hasDependent; } video;
    struct { int32_t pid; uint32_t formatTag, subKind, sampleRate, bitsPerSample, bitRate, channels;
             char language[4]; } audio;
    struct { int32_t pid; int32_t type; char language[4]; } subtitle;
    struct { int32_t pid; int32_t type; int32_t length; uint8_t* data; } priv;
  } u;
} TsdProgramListStream;
KVR_ASSERT_SIZE32(TsdProgramListStream, 44);

typedef struct TsdProgramListEntry {
  int32_t programNumber;
  int32_t pmtPid;
  int32_t streamCount;
  TsdProgramListStream* streams;
  int32_t durationMs;
} TsdProgramListEntry;
KVR_ASSERT_SIZE32(TsdProgramListEntry, 20);

typedef struct TsdProgramListOutput {
  int32_t count;
  TsdProgramListEntry* entries;
} TsdProgramListOutput;

KVR_EXPORT int32_t KVR_TS_DMX(int32_t op, void* handle, void* in, void* out);
KVR_EXPORT extern int32_t g_tsd_lLastError;
KVR_EXPORT extern int32_t g_tsd_lErrorLine;

#ifdef __cplusplus
}
#endif

#endif
