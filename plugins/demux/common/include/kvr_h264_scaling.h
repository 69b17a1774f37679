#ifndef KVR_H264_SCALING_H
#define KVR_H264_SCALING_H
/* One step of an H.264 scaling list, shared by the plug-ins that walk
 * sequence parameter sets with their own bit readers. */
#include <stdint.h>

/* The next scale from the last one and a coded delta, modulo 256 in unsigned
 * arithmetic: a damaged delta of any size cannot overflow. 0 ends the list
 * (the rest repeats the last scale). */
static inline int32_t kvr_h264_next_scale(int32_t last, int32_t delta) {
  return (int32_t)(((uint32_t)last + (uint32_t)delta + 256u) & 255u);
}

#endif
