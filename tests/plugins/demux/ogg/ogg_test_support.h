#pragma once
// Helpers of the Ogg demuxer tests: the plug-in, a private temporary folder
// per test, a builder of Ogg pages and the identification headers, and a
// session over the entry.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "demux_test_support.h"
#include "kvr_ogg_dmx.h"
#include "mediahost/host.h"
#include "mediahost/plugin.h"

namespace oggtest {

using demuxtest::Bytes;
using demuxtest::writeFile;

inline std::string media(const std::string& name) { return std::string(OGG_MEDIA_DIR) + "/" + name; }

// A folder of its own, removed with what it holds.
class TempDir : public demuxtest::TempDir {
 public:
  TempDir() : demuxtest::TempDir("oggtest") {}
};

inline void putLe(Bytes* b, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b->push_back(uint8_t(v >> (8 * i)));
}
inline void putBe(Bytes* b, uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b->push_back(uint8_t(v >> (8 * i)));
}

// Ogg pages; the CRC is left 0 (the library does not check it).
struct OggBuilder {
  Bytes bytes;
  std::map<uint32_t, uint32_t> sequence;

  // One page of raw lacing values and data.
  void raw(uint32_t serial, int64_t granule, const Bytes& lacing, const Bytes& data, uint8_t flags = 0) {
    bytes.insert(bytes.end(), {'O', 'g', 'g', 'S', 0, flags});
    putLe(&bytes, uint64_t(granule), 8);
    putLe(&bytes, serial, 4);
    putLe(&bytes, sequence[serial]++, 4);
    putLe(&bytes, 0, 4);
    bytes.push_back(uint8_t(lacing.size()));
    bytes.insert(bytes.end(), lacing.begin(), lacing.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  // Whole packets on one page.
  void page(uint32_t serial, int64_t granule, const std::vector<Bytes>& packets, uint8_t flags = 0) {
    Bytes lacing, data;
    for (const Bytes& p : packets) {
      size_t n = p.size();
      while (n >= 255) {
        lacing.push_back(255);
        n -= 255;
      }
      lacing.push_back(uint8_t(n));
      data.insert(data.end(), p.begin(), p.end());
    }
    raw(serial, granule, lacing, data, flags);
  }
};

inline Bytes filled(size_t n, uint8_t first, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(seed + i * 13);
  if (n) b[0] = first;
  return b;
}

// OGM stream header of a video stream: time unit in 100 ns, one sample per
// unit.
inline Bytes ogmVideoHeader(const char* subtype, uint64_t timeUnit, uint32_t width, uint32_t height) {
  Bytes h;
  for (char c : std::string("\x01video\0\0\0", 9) + std::string(subtype, 4)) h.push_back(uint8_t(c));
  putLe(&h, 56, 4);
  putLe(&h, timeUnit, 8);
  putLe(&h, 1, 8);
  putLe(&h, 1, 4);
  putLe(&h, 65536, 4);
  putLe(&h, 24, 2);
  putLe(&h, 0, 2);
  putLe(&h, width, 4);
  putLe(&h, height, 4);
  return h;
}

// An OGM audio stream header: the format tag (four hex digits), 44100
// samples per unit, two channels, then the announced bytes per second unless 0.
inline Bytes ogmAudioHeader(const char* formatTag, uint32_t bytesPerSecond = 0) {
  Bytes h = {0x01, 'a', 'u', 'd', 'i', 'o', 0, 0, 0};
  for (const char* c = formatTag; *c; ++c) h.push_back(uint8_t(*c));
  h.resize(45, 0);
  h[25] = 0x44;
  h[26] = 0xAC;
  putLe(&h, 2, 4);
  if (bytesPerSecond) putLe(&h, bytesPerSecond, 4);
  return h;
}

inline Bytes vorbisIdHeader(uint32_t rate, uint8_t channels, uint8_t blocksizes = 0xB8) {
  Bytes h = {0x01, 'v', 'o', 'r', 'b', 'i', 's'};
  putLe(&h, 0, 4);
  h.push_back(channels);
  putLe(&h, rate, 4);
  putLe(&h, 0, 4);
  putLe(&h, 64000, 4);
  putLe(&h, 0, 4);
  h.push_back(blocksizes);
  h.push_back(1);
  return h;
}

// The plug-in, loaded once per test program.
inline mediahost::Plugin& plugin() { return demuxtest::loadPluginOnce(OGG_PLUGIN_PATH); }

template <class Fn>
Fn sym(const char* name) {
  return reinterpret_cast<Fn>(plugin().symbol(name));
}

using QueFn = int32_t (*)(int32_t, intptr_t, void*, void*);

struct Packet {
  uint32_t kind = 0;
  int32_t timeMs = 0;
  uint32_t serial = 0;
  Bytes bytes;
};

// One open file through the entry.
class Session {
 public:
  Session() : entry_(plugin().entry()), buffer_(1 << 20) {}
  ~Session() { close(); }

  int32_t open(const std::string& path, int32_t policy = OGG_END_LAST_KEY, uint32_t flags = 0,
               uint32_t cache = 0) {
    record_ = OggOpenRecord{};
    record_.host = host;
    path_ = path;
    record_.fileName = path_.c_str();
    record_.openFlags = flags;
    record_.cacheSize = cache;
    record_.seekPolicy = policy;
    info = OggStreamInfo{};
    return entry_(OGG_OP_OPEN, &slot, &record_, &info);
  }
  int32_t close() {
    int32_t r = entry_(OGG_OP_CLOSE, &slot, nullptr, nullptr);
    EXPECT_EQ(slot, nullptr);
    return r;
  }
  int32_t read(uint32_t kind, Packet* p, uint32_t capacity = 1 << 20, uint32_t serial = 0) {
    OggPacketRequest req{buffer_.data(), capacity, kind, serial};
    OggPacketResult res{};
    int32_t r = entry_(OGG_OP_READ, &slot, &req, &res);
    if (r == 0 && p) *p = Packet{res.kind, res.timeMs, res.serial, Bytes(res.buffer, res.buffer + res.size)};
    return r;
  }
  std::vector<Packet> readAll(uint32_t kind, int limit = 100000) {
    std::vector<Packet> all;
    Packet p;
    while (limit-- > 0 && read(kind, &p) == 0) all.push_back(p);
    return all;
  }
  int32_t seek(int32_t ms, uint32_t flags, OggSeekResult* res) {
    OggSeekRequest req{ms, flags};
    return entry_(OGG_OP_SEEK, &slot, &req, res);
  }
  int32_t select(uint32_t ordinal, OggAudioEntry* entry) {
    OggSelectRequest req{OGG_SELECT_CHANGE_AUDIO, 0, ordinal};
    OggSelectResult res{0, entry};
    return entry_(OGG_OP_SELECT_AUDIO, &slot, &req, &res);
  }
  KvrEntryFn entry() const { return entry_; }

  KvrHostServices host = mediahost::Host::get().services();
  OggStreamInfo info{};
  void* slot = nullptr;

 private:
  KvrEntryFn entry_;
  OggOpenRecord record_{};
  std::string path_;
  Bytes buffer_;
};

}  // namespace oggtest
