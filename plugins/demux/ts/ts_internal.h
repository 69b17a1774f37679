#ifndef KVR_TS_INTERNAL_H
#define KVR_TS_INTERNAL_H
/* Context, PID slots and program model of the transport-stream demuxer. */
#include <stdint.h>

#include "es/ts_es.h"
#include "kvr_ts_dmx.h"
#include "ts_fio.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TS_PTS_NONE ((int64_t)-1)
#define TS_PTS_MASK ((int64_t)0x1FFFFFFFFLL)
#define TS_PID_COUNT 8192
#define TS_SECTION_BUFFER 4096

/* Results shared by the packet pump, the packet loop and the handlers. */
enum {
  TSR_FAIL = 0,
  TSR_REFUSED = 1,
  TSR_CHANGED = 2,
  TSR_SKIP = 3,
  TSR_OTHER = 4,
  TSR_OTHER_VIEW = 5,
  TSR_INCOMPLETE = 6,
  TSR_PAT = 7,
  TSR_PMT = 8,
  TSR_ALL_PMT = 9,
  TSR_EOF = 10,
  TSR_LIMIT = 11,
  TSR_SEARCH = 0x7F00,
  TSR_DROPPED = 0x4000,
  TSR_DROPPED_UNBOUNDED = 0x400000
};
#define TSR_IS_FRAME(r) ((r) == 0x100 || (r) == 0x200 || (r) == 0x400 || (r) == 0x800 || (r) == 0x1000)
#define TSR_IS_REREAD(r) (((r) & 0x7F0000) != 0 && ((r) & ~0x1F0000) == 0)

/* Reading states. */
enum { TS_STATE_OPEN = 1, TS_STATE_READING = 3, TS_STATE_PSI = 256, TS_STATE_PROBE = 512,
       TS_STATE_SEEK = 1024 };

/* Kind slots of the five selections. */
enum { K_VIDEO = 0, K_AUDIO = 1, K_GRAPHICS = 2, K_TEXT = 3, K_PRIVATE = 4, K_COUNT = 5 };

/* Stream flags of a stream slot. */
enum {
  SF_DEPENDENT = 0x1,
  SF_LENGTH_CHECKED = 0x10,
  SF_HANDOVER_AT_LENGTH = 0x20,
  SF_PRIORITY1 = 0x10000000,
  SF_PRIORITY0 = 0x20000000
};

/* StreamInfo kind bits and flags. */
enum { KB_AVC = 0x1000, KB_DEPENDENT = 0x2000, KB_MASK = 0x133 };
enum { SI_PROBE_CODEC = 0x40, SI_END_TIME = 0x100 };
/* Probe bits. */
enum { PB_HEADER = 1, PB_FOUND = 2, PB_DROPPED = 4, PB_TIMED = 8, PB_COUNTED = 0x20 };

struct TsDemuxContext;
struct PidSlot;
typedef int32_t (*SectionHandler)(struct TsDemuxContext* ctx, struct PidSlot* slot, int64_t pos);

/* Pictures whose time stamps give a probed frame rate. */
#define TS_RATE_PICTURES 10

typedef struct StreamInfo {
  uint32_t codec;
  int32_t pid;
  uint32_t kind;
  uint32_t flags;
  int64_t firstTs;
  int64_t lastTs;
  int64_t firstPos;
  TsdVideoHeader video;
  AudioHeaderInfo audio;
  int32_t durationMs;
  char language[4];
  int32_t subtitleType;
  int32_t privateType;
  int32_t dvProfile, dvLevel;
  int32_t privateLen;
  uint8_t* privateData;
  /* probing */
  int32_t probeBits;
  int32_t headerAttempts;
  int32_t pesCount;
  int32_t pictureTotal;
  int32_t picturesPerPes;
  int32_t agree;
  int32_t audioFrames;
  /* time stamps of the first pictures, for a rate the headers do not give */
  int64_t tmFirst;
  int64_t tmPts[TS_RATE_PICTURES];
  int32_t tmCount;
} StreamInfo;

typedef struct PidSlot {
  int32_t type; /* 0 placeholder, 1 section, 2 stream */
  int32_t pid;
  int32_t lastCc;
  int32_t discontinuity;
  int32_t active;
  int32_t seen;
  int64_t unitPos;
  uint32_t selector;
  /* section slot */
  int32_t sectionLength;
  int32_t version;
  int32_t sectionNumber;
  int32_t lastSectionNumber;
  SectionHandler handler;
  int32_t complete;
  int32_t gathered;
  uint8_t* sectionBuf;
  /* stream slot */
  int32_t kind;
  int32_t expected;
  int32_t bytes; /* -1 = waiting for a PES start */
  int32_t capacity;
  uint8_t* buffer;
  int32_t presetSize;
  uint8_t* frameBuf;
  uint32_t flags;
  int32_t priority;
  int64_t pts;
  int32_t prevCc;       /* counter before the packet being handled */
  int32_t pendingFrame; /* a completed frame waits for a large enough caller buffer */
  int32_t partialCount;
  StreamInfo* info;
} PidSlot;

typedef struct ProgramEntry ProgramEntry;

typedef struct ProgramStream {
  int32_t pid;
  StreamInfo* info;
  ProgramEntry* program;
  struct ProgramStream* dependent;
  struct ProgramStream* next;
  int32_t frameCounter;
  int32_t lastTimeMs;
  int64_t basePts;
  int32_t timeOffset;
  int32_t viewEnded;
} ProgramStream;

struct ProgramEntry {
  int32_t programNumber;
  int32_t pmtPid;
  int32_t state; /* 0x1 accepted, 0x2 changed, 0x8 end time */
  int32_t version;
  ProgramStream* first;
  ProgramStream* last;
  int32_t streamCount;
  int32_t wantedVideo, wantedAudio, seenVideo, seenAudio, countingComplete;
  uint32_t kinds;
  uint32_t lastKinds;
  int32_t durationMs;
  int32_t hostValue; /* op 4 word 12 */
  int32_t counters[6];
  ProgramEntry* next;
};

typedef struct TsDemuxContext {
  FioHandle* reader;
  FioHandle* mainReader;
  FioHandle* kindReader[K_COUNT];
  int32_t sourceMode;
  int32_t packetType;
  int32_t psiFamily;
  int32_t packetSize, prefixLen, trailerLen;
  PidSlot* pids[TS_PID_COUNT];
  ProgramEntry* programs;
  int32_t programCount;
  int32_t acceptedCount;
  ProgramEntry* currentProgram;
  ProgramStream* selected[K_COUNT];
  /* current frame */
  ProgramStream* frameStream;
  const uint8_t* frameData;
  int32_t frameLength;
  int32_t framePriority;
  int64_t framePts;
  int32_t framePid;
  int64_t frameUnitPos;
  int32_t discontinuitySeen;
  int32_t requiredSize;
  /* positions and timing */
  int64_t dataEnd;
  int64_t fileSize;
  int64_t startTime;
  int32_t timeOffset;
  int32_t fileDurationMs;
  int32_t bytesPerMs, bytesPer500ms, durationUnknown;
  int32_t timingKnown;
  /* open */
  uint32_t openFlags;
  int32_t infoOnly;
  int32_t readState;
  int32_t readUnit;
  int32_t cacheSize;
  int32_t presets[K_COUNT];
  uint8_t* callerBuf[K_COUNT];
  uint8_t* curBuf; /* op 10's caller buffer for this read */
  int32_t curBufSize;
  void* hints[6];
  int32_t hostPsi;
  int32_t jumpThreshold;
  int32_t maxCollection;
  int32_t wantedPid; /* separate readers: the only PID passed; -1 none */
  /* PSI */
  int64_t sectionPos;
  int32_t currentPid;
  int64_t currentSectionPos;
  int32_t videoFamily;
  int32_t psiState;
  uint32_t packetCounter;
  int64_t scanPos;
  int64_t scanPts;
  /* probing and selection */
  TsdKeyFrameChecker keyChecker;
  int32_t picturesPerPesMarker;
  int32_t probeMode;
  /* program list */
  TsdProgramListEntry* list;
  int32_t listCount;
  /* header parsers */
  const uint8_t* esPayload;
  int32_t esPayloadLen;
  int32_t pendingFlags[TSD_PENDING_COUNT];
  /* set when a failed delivery already consumed its packet's payload */
  int32_t consumeOnError;
  int32_t flushIndex;
  int32_t loopMode; /* the frame-reading packet loop is running */ /* end of file: next kind whose gathered PES is handed out */
  /* two-view reading: the dependent video is read through its own reader */
  FioHandle* auxReader;
  int32_t readerRole; /* 1 base, 2 dependent, 0x11/0x12 next view; +0x10000/0x20000 seeking */
  int32_t pmtSeen;    /* OR of the reader roles under which a PMT completed */
  int32_t twoView;    /* selection registered the dependent view */
  int64_t viewPos[2]; /* resume positions of the base and dependent readers; -1 none */
  uint8_t* blockMap;  /* per block: 1 base view, 0 dependent view */
  int32_t blockSize;
  int32_t blockCount;
  /* error pair: always the last two words */
  int32_t lastError;
  int32_t errorLine;
} TsDemuxContext;

/* Library-wide memory callbacks (the last open decides them). */
typedef struct TsMem {
  KvrMallocFn malloc;
  KvrFreeFn free;
  void* reserved;
  KvrMemcpyFn memcpy;
  KvrMemsetFn memset;
  KvrReallocFn realloc;
} TsMem;
extern TsMem g_tsMem;

void* ts_malloc(size_t n);
void* ts_calloc(size_t n);
void* ts_realloc(void* p, size_t n);
void ts_free(void* p);

/* Error pair: the handle's, or the exported pair without a handle. */
void ts_error(TsDemuxContext* ctx, int32_t code, int32_t line);
/* The last frame handed out points into a slot buffer that is about to be
 * freed: the header parsers must not read it any more. */
void ts_forget_frame(TsDemuxContext* ctx, const uint8_t* buffer);
#define TS_FAIL(ctx, code) (ts_error((ctx), (code), __LINE__), 0)

/* kind helpers */
int ts_kind_index(int32_t kind);
int32_t ts_kind_of_index(int index);
int32_t ts_frame_code(int32_t kind);

/* packets and slots */
int32_t RegisterSectionHandler(TsDemuxContext* ctx, int32_t pid, int32_t tableId, SectionHandler h);
int32_t RegisterStreamSlot(TsDemuxContext* ctx, int32_t pid, uint32_t codec, int dependent,
                           int splitByPriority, int smallBuffer, int kindOnly);
void ts_release_slot(TsDemuxContext* ctx, int32_t pid);
void ts_release_slots_of_type(TsDemuxContext* ctx, int32_t type, int keepPat);
void ts_free_slot(TsDemuxContext* ctx, int32_t pid);
int32_t HandlePacket(TsDemuxContext* ctx, const uint8_t* pkt, uint32_t mask);
int32_t PumpPackets(TsDemuxContext* ctx, uint32_t mask, uint32_t limit);
int32_t CountSyncHits(const uint8_t* bytes, int32_t length, int32_t stride);
int32_t ts_slot_kind_for_codec(uint32_t codec);
int64_t ts_reader_pos(TsDemuxContext* ctx);

/* PSI */
int32_t GatherSection(TsDemuxContext* ctx, PidSlot* slot, const uint8_t* p, int32_t n, int start);
int32_t ParsePat(TsDemuxContext* ctx, PidSlot* slot, int64_t pos);
int32_t ParsePmt(TsDemuxContext* ctx, PidSlot* slot, int64_t pos);
ProgramStream* AddProgramStream(TsDemuxContext* ctx, ProgramEntry* prog, int32_t pid);
int32_t CollectPsi(TsDemuxContext* ctx, int64_t start);
int32_t ts_onesegment_fallback(TsDemuxContext* ctx);
int32_t BuildProgramList(TsDemuxContext* ctx);
int32_t FillSelectionInfo(TsDemuxContext* ctx, TsdSelectionInfo* out);
void ts_describe_stream(StreamInfo* si, uint32_t codec);
ProgramEntry* ts_new_program(TsDemuxContext* ctx, int32_t number, int32_t pmtPid);
ProgramEntry* ts_find_program(TsDemuxContext* ctx, int32_t programNumber);
void ts_free_programs(TsDemuxContext* ctx);
void ts_free_program_list(TsDemuxContext* ctx);
uint32_t ts_crc32(const uint8_t* p, int32_t n);

/* PES */
int32_t ts_pes_packet(TsDemuxContext* ctx, PidSlot* slot, const uint8_t* payload, int32_t n,
                      int start, int priority);
int32_t DeliverFrame(TsDemuxContext* ctx, PidSlot* slot);
int32_t DeliverPartialFrame(TsDemuxContext* ctx, PidSlot* slot, int partial);
int32_t ParseStreamAudioHeader(TsDemuxContext* ctx, uint32_t codec, AudioHeaderInfo* info);
int32_t ScanNextTimestamp(TsDemuxContext* ctx);
int32_t ScanNextTimestampLimited(TsDemuxContext* ctx, uint32_t limit);
int32_t RepositionReader(TsDemuxContext* ctx, FioHandle* reader, int64_t pos);
int32_t RepositionForSeek(TsDemuxContext* ctx, FioHandle* reader, int64_t off, int32_t whence);
void ClearFrameCounters(TsDemuxContext* ctx);
void ResetSelectedBuffers(TsDemuxContext* ctx);
void ts_reset_stream_slot(PidSlot* slot);
int32_t ts_grow_buffer(TsDemuxContext* ctx, PidSlot* slot, int64_t needed, int firstUnit);
int ts_parse_pes_header(const uint8_t* p, int32_t n, int64_t* pts, int32_t* headerLen,
                        int32_t* pesLen);

/* packet loop */
int32_t RunPacketLoop(TsDemuxContext* ctx, uint32_t mask, uint32_t limit);
int32_t ts_flush_gathered(TsDemuxContext* ctx);
int32_t ReadFrameSecondLayout(TsDemuxContext* ctx);

/* durations */
int32_t FindEndOfData(TsDemuxContext* ctx, int32_t wanted, int32_t* firstPid, int64_t fileSize);
int32_t CountProgramStreams(ProgramEntry* first, int32_t pid, int32_t wantedVideo,
                            int32_t wantedAudio);
int32_t ComputeDurations(TsDemuxContext* ctx, int32_t n);

/* two-view reading */
#define TS_ROLE(ctx) ((ctx)->readerRole & 0xFF)
int32_t ts_view_rule(TsDemuxContext* ctx, PidSlot* slot);
int32_t ts_other_view(TsDemuxContext* ctx);
int32_t JumpByBlockMap(TsDemuxContext* ctx, int backward);
void BuildBlockMap(TsDemuxContext* ctx);
void ts_note_view_pmt(TsDemuxContext* ctx, int64_t pos);

/* seek */
int32_t SeekStreams(TsDemuxContext* ctx, const TsdSeekInput* in, TsdSeekOutput* out,
                    uint32_t flags);

/* selection and probing */
int32_t ChooseDefaultStreams(TsDemuxContext* ctx, ProgramEntry* prog);
int32_t SelectStreams(TsDemuxContext* ctx, ProgramEntry* prog, ProgramStream* s[K_COUNT]);
int32_t ProbeStreams(TsDemuxContext* ctx, int32_t mode);

/* open and close */
int32_t OpenDemuxer(const TsdOpenRecord* rec, TsdOpenOutput* out, int32_t infoOnly);
int32_t CloseDemuxer(TsDemuxContext* ctx);

#ifdef __cplusplus
}
#endif

#endif
