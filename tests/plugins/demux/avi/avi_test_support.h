#ifndef AVI_TEST_SUPPORT_H
#define AVI_TEST_SUPPORT_H
// Shared by the AVI demuxer tests: the plug-in, an open helper over the
// media host's callbacks, and a small RIFF builder for files made in memory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "avi_internal.h"
#include "kvr_avi_dmx.h"
#include "mediahost/host.h"
#include "mediahost/plugin.h"

namespace avitest {

using Bytes = std::vector<uint8_t>;

inline std::string media(const std::string& name) { return std::string(AVI_MEDIA_DIR) + "/" + name; }

inline Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void putId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }
inline void set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

inline Bytes chunk(const char* id, const Bytes& data, bool pad = true) {
  Bytes b;
  putId(b, id);
  put32(b, uint32_t(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  if (pad && (data.size() & 1)) b.push_back(0);
  return b;
}

inline Bytes list(const char* form, const Bytes& body) {
  Bytes b;
  putId(b, "LIST");
  put32(b, uint32_t(body.size() + 4));
  putId(b, form);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

struct StreamSpec {
  std::string type = "vids";    // "vids", "auds", "mids", "meta" ...
  std::string handler = "MJPG";
  uint32_t scale = 1, rate = 10, length = 0, sampleSize = 0, suggested = 0, start = 0;
  uint16_t priority = 0;
  Bytes strf;                   // whole "strf" body
  uint32_t strhSize = 56;
};

inline Bytes bitmapInfo(int32_t w, int32_t h, const char* compression, const Bytes& extra = {}) {
  Bytes b;
  put32(b, 40);
  put32(b, uint32_t(w));
  put32(b, uint32_t(h));
  put16(b, 1);
  put16(b, 24);
  putId(b, compression);
  put32(b, uint32_t(w * h * 3));
  put32(b, 0);
  put32(b, 0);
  put32(b, 0);
  put32(b, 0);
  b.insert(b.end(), extra.begin(), extra.end());
  return b;
}

inline Bytes waveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg, uint16_t align, uint16_t bits,
                        const Bytes& extra = {}, bool withCbSize = true) {
  Bytes b;
  put16(b, tag);
  put16(b, channels);
  put32(b, rate);
  put32(b, avg);
  put16(b, align);
  put16(b, bits);
  if (withCbSize) put16(b, uint32_t(extra.size()));
  b.insert(b.end(), extra.begin(), extra.end());
  return b;
}

inline Bytes strl(const StreamSpec& s) {
  Bytes h;
  h.insert(h.end(), s.type.begin(), s.type.end());
  Bytes hand(4, 0);
  std::memcpy(hand.data(), s.handler.data(), std::min<size_t>(4, s.handler.size()));
  h.insert(h.end(), hand.begin(), hand.end());
  put32(h, 0);
  put16(h, s.priority);
  put16(h, 0);
  put32(h, 0);
  put32(h, s.scale);
  put32(h, s.rate);
  put32(h, s.start);
  put32(h, s.length);
  put32(h, s.suggested);
  put32(h, 0xFFFFFFFFu);
  put32(h, s.sampleSize);
  put16(h, 0);
  put16(h, 0);
  put16(h, 96);
  put16(h, 64);
  h.resize(s.strhSize);
  return list("strl", cat({chunk("strh", h), chunk("strf", s.strf)}));
}

struct Item {
  std::string id;
  Bytes data;
  bool key = true;
};

struct FileSpec {
  std::vector<StreamSpec> streams;
  std::vector<Item> items;
  uint32_t width = 96, height = 64;
  uint32_t avihStreams = 0;  // 0: the number of streams
  bool idx1 = true;
  Bytes beforeMovi;          // chunks between hdrl and movi
};

// Builds a RIFF AVI in memory; offsets of idx1 are relative to "movi".
inline Bytes buildAvi(const FileSpec& f) {
  Bytes avih;
  put32(avih, 100000);
  put32(avih, 0);
  put32(avih, 0);
  put32(avih, f.idx1 ? 0x10 : 0);
  put32(avih, 0);
  put32(avih, 0);
  put32(avih, f.avihStreams ? f.avihStreams : uint32_t(f.streams.size()));
  put32(avih, 0);
  put32(avih, f.width);
  put32(avih, f.height);
  avih.resize(56, 0);
  Bytes hdrlBody = chunk("avih", avih);
  for (const StreamSpec& s : f.streams) {
    Bytes l = strl(s);
    hdrlBody.insert(hdrlBody.end(), l.begin(), l.end());
  }
  Bytes head = cat({list("hdrl", hdrlBody), f.beforeMovi});
  Bytes movi;
  Bytes idx;
  for (const Item& it : f.items) {
    uint32_t rel = uint32_t(movi.size() + 4);
    Bytes c = chunk(it.id.c_str(), it.data);
    movi.insert(movi.end(), c.begin(), c.end());
    putId(idx, it.id.c_str());
    put32(idx, it.key ? 0x10 : 0);
    put32(idx, rel);
    put32(idx, uint32_t(it.data.size()));
  }
  Bytes body = cat({head, list("movi", movi)});
  if (f.idx1) body = cat({body, chunk("idx1", idx)});
  Bytes out;
  putId(out, "RIFF");
  put32(out, uint32_t(body.size() + 4));
  putId(out, "AVI ");
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

inline Bytes payload(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(seed + i * 31);
  return b;
}

// One video (10 fps, MJPG) and one PCM audio stream (8 kHz mono 16-bit),
// `frames` frames with an 800-byte audio chunk after each; key every 5th.
inline FileSpec simpleSpec(int frames, uint32_t frameSize = 100) {
  FileSpec f;
  StreamSpec v;
  v.length = uint32_t(frames);
  v.strf = bitmapInfo(96, 64, "MJPG");
  StreamSpec a;
  a.type = "auds";
  a.handler = std::string(4, '\0');
  a.scale = 2;
  a.rate = 16000;
  a.sampleSize = 2;
  a.length = uint32_t(frames) * 400;
  a.strf = waveFormat(1, 1, 8000, 16000, 2, 16);
  f.streams = {v, a};
  for (int i = 0; i < frames; ++i) {
    f.items.push_back({"00dc", payload(frameSize + uint32_t(i), uint8_t(i)), i % 5 == 0});
    f.items.push_back({"01wb", payload(800, uint8_t(100 + i)), true});
  }
  return f;
}

class AviTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    if (plugin_) return;
    std::string error;
    plugin_ = mediahost::Plugin::load(AVI_PLUGIN_PATH, &error).release();
    ASSERT_NE(plugin_, nullptr) << error;
  }
  void SetUp() override { mediahost::Host::get().reset(); }
  void TearDown() override {
    closeIt();
    for (const std::string& n : memoryFiles_) mediahost::Host::get().removeMemoryFile(n);
    EXPECT_EQ(mediahost::Host::get().leakReport(), "");
    EXPECT_TRUE(mediahost::Host::get().violations().empty());
  }

  static mediahost::Plugin* plugin() { return plugin_; }
  int32_t entry(int32_t op, void* slot, void* in, void* out) { return plugin_->entry()(op, slot, in, out); }

  std::string addMemory(const Bytes& b) {
    std::string name = "mem-" + std::to_string(memoryFiles_.size()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".avi";
    mediahost::Host::get().addMemoryFile(name, b.data(), b.size());
    memoryFiles_.push_back(name);
    return name;
  }

  void record(const std::string& path, uint32_t flags) {
    path_ = path;
    rec_ = AviOpenRecord{};
    rec_.host = mediahost::Host::get().services();
    rec_.file_name = path_.c_str();
    rec_.cache_size = 4096;
    rec_.flags = flags;
  }

  int32_t openPath(const std::string& path, uint32_t flags = 0, int32_t op = AVI_OP_OPEN) {
    closeIt();
    record(path, flags);
    res_ = AviOpenResult{};
    return entry(op, &slot_, &rec_, &res_);
  }
  int32_t openBytes(const Bytes& b, uint32_t flags = 0) { return openPath(addMemory(b), flags); }

  void closeIt() {
    if (slot_) {
      EXPECT_EQ(entry(AVI_OP_CLOSE, &slot_, nullptr, nullptr), AVI_OK);
    }
    slot_ = nullptr;
  }

  AviContext* ctx() { return static_cast<AviContext*>(slot_); }
  int32_t lastError() { return entry(AVI_OP_LAST_ERROR, &slot_, nullptr, nullptr); }

  int32_t next(AviPacket* p, int32_t kind = 0, uint8_t* buf = nullptr, uint32_t size = 0) {
    AviPacketRequest req{buf, size, kind};
    *p = AviPacket{};
    return entry(AVI_OP_PACKET, &slot_, &req, p);
  }

  int32_t seek(int32_t target, uint32_t flags, AviSeekResult* out) {
    AviSeekRequest req{target, flags};
    *out = AviSeekResult{};
    return entry(AVI_OP_SEEK, &slot_, &req, out);
  }

  // Every packet to the end: (kind, time, size).
  struct Got {
    int kind;
    int time;
    uint32_t size;
    Bytes data;
  };
  std::vector<Got> readAll(int32_t kind = 0, int limit = 100000) {
    std::vector<Got> out;
    AviPacket p;
    while (int(out.size()) < limit && next(&p, kind) == AVI_OK)
      out.push_back({p.kind, p.time_ms, p.size, Bytes(p.data, p.data + p.size)});
    return out;
  }

  static mediahost::Plugin* plugin_;
  std::vector<std::string> memoryFiles_;
  std::string path_;
  AviOpenRecord rec_{};
  AviOpenResult res_{};
  void* slot_ = nullptr;
};

}  // namespace avitest

#endif
