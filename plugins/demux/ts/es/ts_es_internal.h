#ifndef KVR_TS_ES_INTERNAL_H
#define KVR_TS_ES_INTERNAL_H
/* Shared pieces of the elementary-stream header parsers: the bit reader,
 * start-code helpers, and the parsers that other parsers hand frames to. */

#include <stddef.h>
#include <stdint.h>

#include "ts_es.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Most-significant-bit-first reader over a byte buffer. Reads past the end
 * yield zero bits and never touch memory outside the buffer, so a header cut
 * by the end of its buffer parses with zeros in the missing part. */
typedef struct TsdBits {
  const uint8_t* data;
  size_t size;   /* bytes */
  size_t pos;    /* bit position from data[0] */
} TsdBits;

void tsd_bits_init(TsdBits* br, const uint8_t* data, size_t size);
uint32_t tsd_bits_read(TsdBits* br, int n); /* n = 0..32 */
void tsd_bits_skip(TsdBits* br, size_t n);
/* Non-zero once every bit of the buffer has been read: loops over counts
 * stop there, since further reads would only return zeros. */
int tsd_bits_exhausted(const TsdBits* br);
/* Exp-Golomb codes: at most 32 leading zero bits, result modulo 2^32. */
uint32_t tsd_bits_ue(TsdBits* br);
int32_t tsd_bits_se(TsdBits* br);
/* ue(v) clamped to `max`: counts taken from a stream never exceed what the
 * standard allows, whatever the bits say. */
uint32_t tsd_bits_ue_max(TsdBits* br, uint32_t max);

/* Copies the NAL unit payload that starts at `src` into `dst` (at most
 * `cap` bytes), dropping the 03 of every 00 00 03 and stopping at the next
 * 00 00 01 or the end of the source. Returns the copied length. */
size_t tsd_unescape_nal(const uint8_t* src, size_t size, uint8_t* dst, size_t cap);

/* Dolby parsers: 1 when a frame was described, else 0. `depth` bounds the
 * hand-over between the two. */
int32_t tsd_ac3_walk(AudioHeaderInfo* info, const uint8_t* p, int32_t n, int depth);
int32_t tsd_eac3_parse(AudioHeaderInfo* info, const uint8_t* p, int32_t n, int depth);

/* AAC parsers: 1 on success, 0 when no usable header was found. */
int32_t tsd_adts_parse(AudioHeaderInfo* info, const uint8_t* p, int32_t n);
int32_t tsd_latm_parse(AudioHeaderInfo* info, const uint8_t* p, int32_t n);
/* AudioSpecificConfig at the reader's position; always 1. */
int32_t tsd_parse_audio_specific_config(TsdBits* br, uint32_t* sampleRate, uint32_t* channels);

/* Next AVS picture boundary with the given pending flag. */
int32_t tsd_avs_frame_start(const uint8_t* bytes, int32_t count, int32_t* flag);

/* Video codec groups by codec identifier; TSD_VIDEO_NONE for identifiers
 * that no video parser accepts. */
enum TsdVideoKind {
  TSD_VIDEO_NONE,
  TSD_VIDEO_MPEG12,
  TSD_VIDEO_MPEG4,
  TSD_VIDEO_H264,
  TSD_VIDEO_MVC,
  TSD_VIDEO_HEVC,
  TSD_VIDEO_AVS,
  TSD_VIDEO_VC1
};
int tsd_video_codec_kind(uint32_t codecId);

/* A 00 00 01 start code at b[i] (b[i + 2] must be readable). */
static inline int tsd_is_start_code(const uint8_t* b, int32_t i) {
  return b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1;
}

/* Offset of the first 00 00 01 `code` start code with more than ten bytes
 * from its start to the end of the buffer, or -1. */
static inline int32_t tsd_find_start_code(const uint8_t* b, int32_t n, uint8_t code) {
  for (int32_t i = 0; i + 10 < n; i++)
    if (tsd_is_start_code(b, i) && b[i + 3] == code) return i;
  return -1;
}

/* Four ASCII bytes in memory order as a 32-bit word. */
uint32_t tsd_fourcc(const char tag[4]);

#ifdef __cplusplus
}
#endif

#endif
