// Steps that the demux adapters share.
#include "mediahost/adapter_support.h"

#include <dlfcn.h>

#include <cstdlib>

#include "mediahost/host.h"

namespace mediahost {

uint32_t envNumber(const char* name, uint32_t fallback) {
  const char* v = std::getenv(name);
  return v ? uint32_t(std::strtoul(v, nullptr, 0)) : fallback;
}

std::string fourccText(uint32_t code) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += char((code >> (8 * i)) & 0xFF);
  return s;
}

void* librarySymbol(KvrEntryFn entry, const char* name) {
  Dl_info where{};
  if (!dladdr(reinterpret_cast<void*>(entry), &where) || !where.dli_fname) return nullptr;
  // The library is loaded already: this only takes a second reference to it.
  void* library = dlopen(where.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  if (!library) return nullptr;
  void* symbol = dlsym(library, name);
  dlclose(library);
  return symbol;
}

bool handleMatchesOpen(bool opened, const void* handle) {
  if (opened && !handle) {
    Host::get().violation("open succeeded without a handle");
    return false;
  }
  if (!opened && handle) Host::get().violation("a failed open left a handle behind");
  return true;
}

int closeSlot(KvrEntryFn entry, int32_t op, void** slot, void* out) {
  if (!*slot) return kOk;
  int r = entry(op, slot, nullptr, out);
  if (*slot) Host::get().violation("close left the handle slot set");
  *slot = nullptr;
  return r;
}

int lastError(KvrEntryFn entry, int32_t op, void* handle, int fallback) {
  int code = entry(op, handle, nullptr, nullptr);
  return code < 0 ? code : fallback;
}

}  // namespace mediahost
