#include "toy_formats.h"

typedef struct Dec {
  KvrFreeFn release;
  int32_t channels;
} Dec;

/* Op 0 init, op 1 decode up to 256 whole sample frames, op 3 close. */
KVR_EXPORT int32_t KVR_TOY_DEC(int32_t op, void* handle, void* in, void* out) {
  void** slot = (void**)handle;
  if (!slot) return -1;
  if (op == 0) {
    const ToyDecInit* init = (const ToyDecInit*)in;
    Dec* d;
    if (init->channels < 1 || init->channels > 8) return -5;
    d = (Dec*)init->alloc(sizeof(Dec));
    if (!d) return -1;
    d->release = init->release;
    d->channels = init->channels;
    *slot = d;
    return 0;
  }
  if (op == 3) {
    if (*slot) ((Dec*)*slot)->release(*slot);
    *slot = 0;
    return 0;
  }
  if (op == 1 && *slot) {
    Dec* d = (Dec*)*slot;
    ToyDecIo* io = (ToyDecIo*)in;
    int32_t frames = io->in_size / d->channels;
    int32_t i;
    if (frames == 0) return TOY_DEC_NEED_MORE;
    if (frames > 256) frames = 256;
    for (i = 0; i < frames * d->channels; ++i) io->out[i] = (int16_t)((io->in[i] - 128) * 256);
    io->in_size = frames * d->channels;
    io->out_frames = frames;
    return 0;
  }
  return -1;
}

KVR_DEFINE_FUNCTION_LIST(KVR_TOY_DEC);
