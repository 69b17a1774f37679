#ifndef TOY_FORMATS_H
#define TOY_FORMATS_H
/* Two tiny plug-ins that exercise the media host: a demuxer of a toy
 * container and a decoder of 8-bit unsigned PCM to 16-bit signed PCM.
 *
 * Toy container: "TOY1", u32 frame count, then per frame u32 length,
 * u32 time in ms, u8 key flag and the payload (all little-endian). */

#include "kvr_plugin.h"

typedef struct ToyOpenRecord {
  KvrHostServices host; /* +0 */
  const char* file;     /* +108 */
} ToyOpenRecord;
KVR_ASSERT_OFFSET32(ToyOpenRecord, file, 108);

typedef struct ToyFrameRecord {
  const uint8_t* data;
  int32_t size;
  int32_t time_ms;
  int32_t key;
} ToyFrameRecord;

typedef struct ToyInfoRecord {
  int32_t frames;
} ToyInfoRecord;

enum { TOY_OPEN = 0, TOY_NEXT = 1, TOY_SEEK = 2, TOY_CLOSE = 3 };
enum { TOY_END = -1, TOY_NO_MEMORY = -2, TOY_NO_FILE = -3, TOY_BAD_FILE = -4, TOY_IO = -5, TOY_NO_HANDLE = -6, TOY_BAD_OP = -7 };

typedef struct ToyDecInit {
  KvrMallocFn alloc;
  KvrFreeFn release;
  int32_t channels;
} ToyDecInit;

typedef struct ToyDecIo {
  const uint8_t* in;
  int32_t in_size; /* in: bytes given; out: bytes used */
  int16_t* out;
  int32_t out_frames; /* out: sample frames written */
} ToyDecIo;

enum { TOY_DEC_NEED_MORE = -13 };

#endif
