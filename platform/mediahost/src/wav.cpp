#include "mediahost/wav.h"

#include <cstring>

namespace mediahost {
namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

constexpr uint16_t kExtensible = 0xFFFE;

}  // namespace

bool parseWav(const uint8_t* data, size_t size, WavFormat* format, size_t* dataOffset,
              size_t* dataSize, std::string* error) {
  auto fail = [&](const char* msg) {
    if (error) *error = msg;
    return false;
  };
  if (size < 12 || memcmp(data, "RIFF", 4) != 0 || memcmp(data + 8, "WAVE", 4) != 0)
    return fail("not a RIFF/WAVE file");
  bool haveFormat = false;
  size_t pos = 12;
  while (size - pos >= 8) {
    const uint8_t* chunk = data + pos;
    uint32_t length = le32(chunk + 4);
    size_t body = pos + 8;
    size_t avail = size - body;
    if (memcmp(chunk, "fmt ", 4) == 0) {
      if (length < 16 || length > avail) return fail("format chunk is short or truncated");
      const uint8_t* f = data + body;
      WavFormat w;
      w.formatTag = le16(f);
      w.channels = le16(f + 2);
      w.sampleRate = le32(f + 4);
      w.byteRate = le32(f + 8);
      w.blockAlign = le16(f + 12);
      w.bitsPerSample = le16(f + 14);
      if (length >= 18) {
        size_t cb = le16(f + 16);
        if (cb > length - 18) cb = length - 18;
        const uint8_t* ext = f + 18;
        if (w.formatTag == kExtensible && cb >= 22) {
          w.extensible = true;
          w.validBits = le16(ext);
          w.channelMask = le32(ext + 2);
          w.formatTag = le16(ext + 6);  // first two bytes of the sub-format GUID
          w.extra.assign(ext + 22, ext + cb);
        } else {
          w.extra.assign(ext, ext + cb);
        }
      }
      *format = w;
      haveFormat = true;
    } else if (memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return fail("data chunk before the format chunk");
      *dataOffset = body;
      *dataSize = length < avail ? length : avail;
      return true;
    }
    if (length > avail) break;
    pos = body + length + (length & 1);
    if (pos > size) break;
  }
  return fail(haveFormat ? "no data chunk" : "no format chunk");
}

}  // namespace mediahost
