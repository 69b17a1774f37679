#ifndef MEDIAHOST_PLUGIN_H
#define MEDIAHOST_PLUGIN_H
// Loads a plug-in library and finds its entry the way the board's media
// engine does: through slot 0 of the exported nine-slot table.

#include <memory>
#include <string>

#include "kvr_plugin.h"

namespace mediahost {

class Plugin {
 public:
  // Null with a message in `error` when the library cannot be loaded, has no
  // table, or the table breaks the convention (slot 0 empty, slots 1-8 set).
  static std::unique_ptr<Plugin> load(const std::string& path, std::string* error);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  KvrEntryFn entry() const { return entry_; }
  // Address of an exported symbol, or null.
  void* symbol(const char* name) const;
  // True when `name` is exported and is the entry of slot 0.
  bool entryIs(const char* name) const;
  const std::string& path() const { return path_; }

 private:
  Plugin() = default;
  void* handle_ = nullptr;
  KvrEntryFn entry_ = nullptr;
  std::string path_;
};

}  // namespace mediahost

#endif
