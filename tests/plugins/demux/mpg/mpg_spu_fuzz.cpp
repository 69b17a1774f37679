// Fuzz target of the DVD sub-picture decoder (op 2): the input is one unit,
// decoded with and without cropping into a buffer of a known capacity, over
// a handle opened on a small program stream held in memory.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sanitizer/asan_interface.h>

#include "kvr_mpg_dmx.h"
#include "mediahost/host.h"
#include "mediahost/plugin.h"

namespace {

// A pack and one video PES with a 64x48 sequence header.
const uint8_t kStream[] = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8,
                           0, 0, 1, 0xE0, 0, 24, 0x81, 0x80, 5, 0x21, 0, 1, 0, 1,
                           0, 0, 1, 0xB3, 0x04, 0x00, 0x30, 0x13, 0xFF, 0xFF, 0xE0, 0x18};

struct Handle {
  mediahost::Plugin* plugin = nullptr;
  MpgOpenRecord record{};
  MpgStreamInfo info{};
  void* slot = nullptr;
};

Handle* open() {
  using namespace mediahost;
  std::string error;
  Handle* h = new Handle;
  h->plugin = Plugin::load(HOLVIK_PLUGIN_PATH, &error).release();
  if (!h->plugin) {
    fprintf(stderr, "cannot load %s: %s\n", HOLVIK_PLUGIN_PATH, error.c_str());
    abort();
  }
  Host::get().addMemoryFile("mem:spu-host.vob", kStream, sizeof kStream);
  MpgOpenRecord& r = h->record;
  r.file_name = "mem:spu-host.vob";
  r.host.allocate = hostMalloc;
  r.host.release = hostFree;
  r.host.copy = hostMemcpy;
  r.host.fill = hostMemset;
  r.host.resize = hostRealloc;
  r.host.open = hostFopen;
  r.host.read = hostFread;
  r.host.read_direct = hostFread;
  r.host.seek = hostFseek;
  r.host.tell = hostFtell;
  r.host.seek64 = hostFseek64;
  r.host.tell64 = hostFtell64;
  r.host.close = hostFclose;
  r.cache_size = 4096;
  if (h->plugin->entry()(MPG_OP_OPEN, &h->slot, &r, &h->info) != MPG_OK) {
    fprintf(stderr, "cannot open the host stream\n");
    abort();
  }
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Handle* h = open();
  // The unit in a buffer of its own size, so a read past it shows.
  std::vector<uint8_t> unit(data, data + size);
  // The room for the picture, in pixels: a whole PAL frame for most inputs
  // (so the decoder runs), less or none for the rest (so its room check
  // does; 0 stands for a buffer of the largest DVD picture). Taken from the
  // length, not from a byte of the unit, whose first bytes are its own size.
  static const uint32_t kCapacity[] = {720 * 576, 720 * 576, 720 * 576, 64 * 1024, 4096, 0};
  uint32_t capacity = kCapacity[size % (sizeof kCapacity / sizeof kCapacity[0])];
  uint32_t room = capacity ? capacity : MPG_SPU_MAX_WIDTH * MPG_SPU_MAX_HEIGHT;
  // One picture buffer for every input (a fresh one of this size per input
  // was most of the time): the part past this input's room is poisoned, so
  // a write beyond it is still reported.
  static std::vector<uint16_t> buffer(MPG_SPU_MAX_WIDTH * MPG_SPU_MAX_HEIGHT + 1);
  uint16_t* pixels = buffer.data();
  ASAN_UNPOISON_MEMORY_REGION(pixels, buffer.size() * sizeof(uint16_t));
  ASAN_POISON_MEMORY_REGION(pixels + room + 1, (buffer.size() - room - 1) * sizeof(uint16_t));
  for (uint32_t crop = 0; crop < 2; ++crop) {
    MpgSubpictureRequest req{unit.data(), uint32_t(unit.size()), crop};
    MpgSubpicture pic{pixels, capacity, 0, 0, 0, 0, 0, 0};
    int32_t r = h->plugin->entry()(MPG_OP_SUBPICTURE, &h->slot, &req, &pic);
    if (r > 0) abort();
    if (r == MPG_OK && uint64_t(pic.width) * pic.height > room) abort();
  }
  return 0;
}
