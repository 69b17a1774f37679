#ifndef PCMDEC_PLUGIN_H
#define PCMDEC_PLUGIN_H
// The PCM decoder library, loaded once per process as the media engine loads
// it; a library that does not load ends the run with the loader's message.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "mediahost/plugin.h"

namespace pcmtest {

inline const mediahost::Plugin& loadedPlugin(const char* path) {
  static const mediahost::Plugin* plugin = [path] {
    std::string error;
    auto loaded = mediahost::Plugin::load(path, &error);
    if (!loaded) {
      fprintf(stderr, "%s\n", error.c_str());
      abort();
    }
    return loaded.release();
  }();
  return *plugin;
}

}  // namespace pcmtest

#endif
