#include "kvr_plugin.h"

/* A library whose table breaks the convention: slot 1 is not null. */
KVR_EXPORT int32_t KVR_BAD_DMX(int32_t op, void* handle, void* in, void* out) { return -1; }
KVR_EXPORT KvrEntryFn FucntionList[KVR_FUNCTION_LIST_SLOTS] = {KVR_BAD_DMX, KVR_BAD_DMX};
