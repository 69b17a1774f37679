#include "mediahost/plugin.h"

#include <dlfcn.h>

namespace mediahost {

std::unique_ptr<Plugin> Plugin::load(const std::string& path, std::string* error) {
  std::unique_ptr<Plugin> p(new Plugin());
  p->path_ = path;
  p->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!p->handle_) {
    const char* e = dlerror();
    if (error) *error = std::string("cannot load ") + path + ": " + (e ? e : "unknown error");
    return nullptr;
  }
  auto* table = static_cast<KvrEntryFn*>(dlsym(p->handle_, "FucntionList"));
  if (!table) {
    if (error) *error = path + " exports no FucntionList";
    return nullptr;
  }
  if (!table[0]) {
    if (error) *error = path + ": FucntionList slot 0 is empty";
    return nullptr;
  }
  for (int i = 1; i < KVR_FUNCTION_LIST_SLOTS; ++i) {
    if (table[i]) {
      if (error) *error = path + ": FucntionList slot " + std::to_string(i) + " is not null";
      return nullptr;
    }
  }
  p->entry_ = table[0];
  return p;
}

Plugin::~Plugin() {
  if (handle_) dlclose(handle_);
}

void* Plugin::symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

bool Plugin::entryIs(const char* name) const {
  void* s = symbol(name);
  return s && reinterpret_cast<KvrEntryFn>(s) == entry_;
}

}  // namespace mediahost
