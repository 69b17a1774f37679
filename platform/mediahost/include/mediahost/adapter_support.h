#ifndef MEDIAHOST_ADAPTER_SUPPORT_H
#define MEDIAHOST_ADAPTER_SUPPORT_H
// Steps that the demux adapters share: test settings from the environment,
// the handle-slot checks around open and close, the library's last error, and
// the open of a session object.

#include <cstdint>
#include <memory>
#include <string>

#include "kvr_plugin.h"
#include "mediahost/adapter.h"
#include "mediahost/host.h"

namespace mediahost {

// The number in environment variable `name` (decimal, 0x hex or 0 octal), or
// `fallback` when it is unset.
uint32_t envNumber(const char* name, uint32_t fallback = 0);

// A four-character code as its bytes, low byte first.
std::string fourccText(uint32_t code);

// The host's memory and stdio callbacks in a library's own record of them,
// for the libraries that name them allocate/release/copy/fill/resize and
// open/read/seek/tell/close.
template <class Functions>
void fillHostFunctions(Functions& h) {
  h.allocate = hostMalloc;
  h.release = hostFree;
  h.copy = hostMemcpy;
  h.fill = hostMemset;
  h.resize = hostRealloc;
  h.open = hostFopen;
  h.read = hostFread;
  h.seek = hostFseek;
  h.tell = hostFtell;
  h.close = hostFclose;
}

// Flags a handle that does not match the result of an open: a successful open
// without one, or a failed open that left one behind. False in the first case,
// where the session has nothing to work with.
bool handleMatchesOpen(bool opened, const void* handle);

// Closes the library handle held in `*slot`, if any, and flags a library that
// leaves the slot set; the library's result, kOk when there was no handle.
int closeSlot(KvrEntryFn entry, int32_t op, void** slot, void* out = nullptr);

// The library's last error (op `op` on `handle`) when it is negative, else
// `fallback`.
int lastError(KvrEntryFn entry, int32_t op, void* handle, int fallback);

// An exported symbol of the library whose entry is `entry` (beside the
// entry, for the functions that a library exports on their own), or null.
void* librarySymbol(KvrEntryFn entry, const char* name);

// Builds a `Session` for `path` and opens it; on a refusal returns null with
// the code of `Session::open` in `*code` (the session's destructor closes
// whatever the failed open left behind).
template <class Session>
std::unique_ptr<DemuxSession> openSession(KvrEntryFn entry, const std::string& path, int* code) {
  std::unique_ptr<Session> s(new Session(entry, path));
  int r = s->open();
  if (r != kOk) {
    *code = r;
    return nullptr;
  }
  return s;
}

}  // namespace mediahost

#endif
