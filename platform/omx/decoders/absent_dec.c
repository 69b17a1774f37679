/* A decoder library whose codec is not part of this build: it loads, and
 * refuses to open. */

#include "standin_dec.h"

static int32_t absent_entry(int32_t op, void* slot, void* in, void* out) {
  (void)in;
  (void)out;
  if (op == KVR_WAV_DEC_CLOSE) {
    if (slot) *(void**)slot = NULL;
    return STANDIN_OK;
  }
  return STANDIN_EFAIL;
}

STANDIN_EXPORT KvrEntryFn FucntionList[KVR_FUNCTION_LIST_SLOTS] = {absent_entry};
