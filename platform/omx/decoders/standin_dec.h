#ifndef STANDIN_DEC_H
#define STANDIN_DEC_H
/* What the Vorbis, Opus and FLAC stand-in decoders share.
 *
 * Entry (slot 0 of FucntionList): entry(op, slot, in, out), slot being the
 * address of the word that holds the context.
 *   op 0: in = omx_audiodec_DecoderInit (extra data, formats, allocators);
 *         writes the output format (rate, channels, 16 bits). 0 or
 *         STANDIN_EFAIL / STANDIN_EDATA.
 *   op 1: in = one packet (data, length), consumed whole; out->buffer[0]
 *         takes interleaved 16-bit samples, out->frames gives the room in
 *         frames and returns the frames written. 0 when everything decoded
 *         was written; STANDIN_MORE_OUTPUT when more is waiting (call again,
 *         with no new packet); STANDIN_EDATA for a damaged packet (dropped).
 *   op 3: frees the context and clears the slot. */

#include <stdint.h>
#include <string.h>

#include "kvr_pcmdec.h"
#include "omx_audiodec_component.h"

enum {
  STANDIN_OK = 0,
  STANDIN_EFAIL = -1,
  STANDIN_EDATA = -5,
  STANDIN_MORE_OUTPUT = OMX_AUDIODEC_RESULT_MORE_OUTPUT,
};

/* Decoded samples waiting for room in an output buffer. */
typedef struct StandinPending {
  int16_t* pcm;
  int32_t capacity; /* frames */
  int32_t frames;
  int32_t offset;
  int32_t channels;
} StandinPending;

/* Copies what fits into the output record; STANDIN_MORE_OUTPUT when some
 * is left. */
static inline int32_t standin_emit(StandinPending* p, KvrWavDecOutput* out) {
  int32_t room = out->frames > 0 ? out->frames : 0;
  int32_t left = p->frames - p->offset;
  int32_t n = left < room ? left : room;
  if (n > 0 && out->buffer[0])
    memcpy(out->buffer[0], p->pcm + (size_t)p->offset * p->channels,
           (size_t)n * p->channels * sizeof(int16_t));
  else
    n = 0;
  p->offset += n;
  out->frames = n;
  if (p->offset < p->frames) return STANDIN_MORE_OUTPUT;
  p->frames = p->offset = 0;
  return STANDIN_OK;
}

static inline int16_t standin_clip16(int32_t v) {
  return (int16_t)(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

static inline void standin_output_format(KvrWavDecOutput* out, int32_t rate, int32_t channels) {
  if (!out) return;
  out->sample_rate = rate;
  out->channels = channels;
  out->bits = 16;
}

#define STANDIN_EXPORT __attribute__((visibility("default")))

#endif
