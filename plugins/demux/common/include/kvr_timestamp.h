#ifndef KVR_TIMESTAMP_H
#define KVR_TIMESTAMP_H
/* 90 kHz time stamps that run on a circle: a PTS or DTS has 33 bits and
 * wraps after about 26.5 hours, the low 32 bits of a clock reference after
 * half that. A stamp is read against a reference as the shorter way round
 * the circle, so a file that crosses the wrap keeps counting upwards. */
#include <stdint.h>

#define KVR_PTS_BITS 33u
#define KVR_SCR_LOW_BITS 32u

/* The signed distance from `from` to `to` on a circle of 2^bits ticks, in
 * [-2^(bits-1), 2^(bits-1)). */
static inline int64_t kvr_ts_delta(int64_t to, int64_t from, unsigned bits) {
  const uint64_t size = (uint64_t)1 << bits;
  uint64_t d = ((uint64_t)to - (uint64_t)from) & (size - 1);
  return d >= size / 2 ? (int64_t)d - (int64_t)size : (int64_t)d;
}

/* `a` lies strictly before `b` on the circle. */
static inline int kvr_ts_before(int64_t a, int64_t b, unsigned bits) { return kvr_ts_delta(b, a, bits) > 0; }

/* `ts` on the unwrapped scale of `reference`: within half a circle of it,
 * beyond the wrap counting on past 2^bits. */
static inline int64_t kvr_ts_unwrap(int64_t ts, int64_t reference, unsigned bits) {
  return reference + kvr_ts_delta(ts, reference, bits);
}

#endif
