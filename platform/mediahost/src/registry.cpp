#include "mediahost/adapter.h"
#include "mediahost/plugin.h"

namespace mediahost {
namespace {

// Function-local so that registration from other translation units' static
// initialisers finds the lists constructed.
std::vector<const DemuxAdapter*>& demuxList() {
  static std::vector<const DemuxAdapter*> list;
  return list;
}
std::vector<const DecoderAdapter*>& decoderList() {
  static std::vector<const DecoderAdapter*> list;
  return list;
}

}  // namespace

void registerDemuxAdapter(const DemuxAdapter* adapter) { demuxList().push_back(adapter); }
void registerDecoderAdapter(const DecoderAdapter* adapter) { decoderList().push_back(adapter); }
const std::vector<const DemuxAdapter*>& demuxAdapters() { return demuxList(); }
const std::vector<const DecoderAdapter*>& decoderAdapters() { return decoderList(); }

const DemuxAdapter* findDemuxAdapter(const Plugin& plugin) {
  for (const DemuxAdapter* a : demuxList())
    if (plugin.entryIs(a->entryName)) return a;
  return nullptr;
}

const DecoderAdapter* findDecoderAdapter(const Plugin& plugin) {
  for (const DecoderAdapter* a : decoderList())
    if (plugin.entryIs(a->entryName)) return a;
  return nullptr;
}

}  // namespace mediahost
