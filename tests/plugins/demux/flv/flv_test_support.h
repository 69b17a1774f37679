#pragma once
// Helpers of the FLV demuxer tests: the plug-in, a private temporary folder
// per test, and builders of FLV files and of bit strings.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demux_test_support.h"
#include "kvr_flv_dmx.h"
#include "mediahost/host.h"
#include "mediahost/plugin.h"

namespace flvtest {

using demuxtest::Bytes;
using demuxtest::writeFile;
using demuxtest::readFile;

inline std::string media(const std::string& name) { return std::string(FLV_MEDIA_DIR) + "/" + name; }

// A folder of its own, removed with what it holds.
class TempDir : public demuxtest::TempDir {
 public:
  TempDir() : demuxtest::TempDir("flvtest") {}
};

inline void put24(Bytes* b, uint32_t v) {
  b->push_back(uint8_t(v >> 16));
  b->push_back(uint8_t(v >> 8));
  b->push_back(uint8_t(v));
}
inline void put32(Bytes* b, uint32_t v) {
  b->push_back(uint8_t(v >> 24));
  put24(b, v);
}

// An FLV file: header, then tags with correct PreviousTagSize fields unless
// told otherwise.
struct FlvBuilder {
  Bytes bytes;
  explicit FlvBuilder(uint8_t flags = 5, uint32_t dataOffset = 9) {
    bytes = {'F', 'L', 'V', 1, flags};
    put32(&bytes, dataOffset);
    bytes.resize(dataOffset, 0);
    put32(&bytes, 0);
  }
  // Offset of the new tag.
  size_t tag(uint8_t type, uint32_t ts, const Bytes& payload, int prevSizeDelta = 0) {
    size_t at = bytes.size();
    bytes.push_back(type);
    put24(&bytes, uint32_t(payload.size()));
    put24(&bytes, ts & 0xFFFFFF);
    bytes.push_back(uint8_t(ts >> 24));
    put24(&bytes, 0);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    put32(&bytes, uint32_t(payload.size() + 11 + prevSizeDelta));
    return at;
  }
};

// An MP3 audio tag body: flags 0x2E, then a 44.1 kHz frame header.
inline Bytes mp3Body(size_t size) {
  Bytes b = {0x2E, 0xFF, 0xFB, 0x90, 0x64};
  b.resize(size, 0x11);
  return b;
}

// Big-endian bit writer with Exp-Golomb codes.
struct BitWriter {
  Bytes bytes;
  int bit = 0;
  void put(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (bit == 0) bytes.push_back(0);
      if ((v >> i) & 1u) bytes.back() |= uint8_t(0x80 >> bit);
      bit = (bit + 1) & 7;
    }
  }
  // Up to the largest code, 32 zeros, a one and 32 suffix bits.
  void ue(uint32_t v) {
    uint64_t x = uint64_t(v) + 1;
    int len = 0;
    while ((x >> len) > 1) ++len;
    put(0, len);
    put(1, 1);
    if (len) put(uint32_t(x - (uint64_t(1) << len)), len);
  }
  void se(int32_t v) { ue(v > 0 ? uint32_t(2 * v - 1) : uint32_t(-2 * v)); }
  void trailing() {
    put(1, 1);
    while (bit) put(0, 1);
  }
};

// The plug-in, loaded once per test program.
inline mediahost::Plugin& plugin() { return demuxtest::loadPluginOnce(FLV_PLUGIN_PATH); }

template <class Fn>
Fn sym(const char* name) {
  return reinterpret_cast<Fn>(plugin().symbol(name));
}

}  // namespace flvtest
