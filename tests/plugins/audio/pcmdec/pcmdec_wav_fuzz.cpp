// Fuzz target: a WAV image through the media host's decode adapter (op 0 from
// the format chunk, op 1 over the data chunk), with injected allocation
// failures.
#include <cstdio>
#include <cstdlib>

#include "mediahost/exercise.h"
#include "mediahost/plugin.h"
#include "pcmdec_plugin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const mediahost::Plugin& plugin = pcmtest::loadedPlugin(HOLVIK_PLUGIN_PATH);
  static const mediahost::DecoderAdapter* adapter = mediahost::findDecoderAdapter(plugin);
  if (!adapter) abort();
  mediahost::exerciseDecoder(*adapter, plugin.entry(), data, size);
  return 0;
}
