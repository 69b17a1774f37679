// Matroska demuxer tests: the plug-in, temporary folders, a tiny EBML writer
// for hand-built files, and a session that opens, reads and seeks.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kvr_mkv_dmx.h"
#include "mediahost/host.h"
#include "mkv_internal.h"
#include "mediahost/plugin.h"
#include "temp_dir.h"

using namespace mediahost;

namespace mkvtest {

inline Plugin& plugin() {
  static Plugin* p = [] {
    std::string error;
    auto loaded = Plugin::load(MKV_PLUGIN_PATH, &error);
    if (!loaded) {
      fprintf(stderr, "%s\n", error.c_str());
      abort();
    }
    return loaded.release();
  }();
  return *p;
}

inline int32_t call(int32_t op, void* slot, void* in, void* out) { return plugin().entry()(op, slot, in, out); }

inline std::string media(const std::string& name) { return std::string(MKV_MEDIA_DIR) + "/" + name; }

// A folder of the test's own, removed with everything in it.
struct TempDir {
  std::string path;
  TempDir() : path(testsupport::makeTempDir("mkv_dmx_test")) {}
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string file(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::string p = path + "/" + name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return p;
  }
};

// ---- a tiny EBML writer for hand-built files ----

using Bytes = std::vector<uint8_t>;

inline Bytes idBytes(uint32_t id) {
  Bytes b;
  for (int shift = 24; shift >= 0; shift -= 8)
    if ((id >> shift) || !b.empty() || shift == 0) b.push_back(uint8_t(id >> shift));
  return b;
}

inline Bytes sizeBytes(uint64_t n) {
  int w = 1;
  while (w < 8 && n >= (uint64_t(1) << (7 * w)) - 1) ++w;
  Bytes b(static_cast<size_t>(w), 0);
  for (int i = w - 1; i >= 0; --i, n >>= 8) b[size_t(i)] = uint8_t(n);
  b[0] |= uint8_t(0x80 >> (w - 1));
  return b;
}

inline Bytes el(uint32_t id, const Bytes& payload) {
  Bytes b = idBytes(id), s = sizeBytes(payload.size());
  b.insert(b.end(), s.begin(), s.end());
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

inline Bytes uintEl(uint32_t id, uint64_t v, int width = 0) {
  Bytes p;
  int w = width;
  if (!w)
    for (w = 1; w < 8 && (v >> (8 * w)); ++w) {
    }
  for (int i = w - 1; i >= 0; --i) p.push_back(uint8_t(v >> (8 * i)));
  return el(id, p);
}

inline Bytes strEl(uint32_t id, const std::string& s) { return el(id, Bytes(s.begin(), s.end())); }

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes ebmlHeader(const std::string& doc = "matroska", uint64_t readVersion = 1) {
  return el(0x1A45DFA3, cat({uintEl(0x4286, 1), uintEl(0x42F7, readVersion), strEl(0x4282, doc)}));
}

inline Bytes audioTrack(uint32_t number, const std::string& codec, const Bytes& extra = {}) {
  return el(0xAE, cat({uintEl(0xD7, number), uintEl(0x83, 2), strEl(0x86, codec),
                       el(0xE1, cat({el(0xB5, {0x47, 0x3B, 0x80, 0x00}), uintEl(0x9F, 2)})), extra}));
}

// A SimpleBlock of `track` at `rel` with the given flags byte and body.
inline Bytes simpleBlock(uint32_t track, int16_t rel, uint8_t flags, const Bytes& body) {
  Bytes p = sizeBytes(track);
  p.push_back(uint8_t(uint16_t(rel) >> 8));
  p.push_back(uint8_t(rel));
  p.push_back(flags);
  p.insert(p.end(), body.begin(), body.end());
  return el(0xA3, p);
}

inline Bytes segment(const Bytes& children) { return el(0x18538067, children); }

inline Bytes file(const Bytes& info, const Bytes& tracks, const Bytes& clusters, const std::string& doc = "matroska") {
  return cat({ebmlHeader(doc), segment(cat({el(0x1549A966, info), el(0x1654AE6B, tracks), clusters}))});
}

// ---- opening and reading ----

struct Session {
  void* slot = nullptr;
  mkv_dmx_init_t record{};
  mkv_dmx_stream_info_t info{};
  int32_t result = 0;
  std::string path;

  explicit Session(const std::string& p, int32_t op = MKV_OP_OPEN, uint32_t flags = 0) : path(p) {
    record.host = Host::get().services();
    record.file = const_cast<char*>(path.c_str());
    record.flags = flags;
    if (op == MKV_OP_OPEN_HANDLE) record.file = hostFopen(path.c_str(), "rb");
    result = call(op, &slot, &record, &info);
  }
  ~Session() {
    if (slot) {
      EXPECT_GE(call(MKV_OP_CLOSE, &slot, nullptr, nullptr), 0);
    }
    EXPECT_EQ(slot, nullptr);
  }
  mkv_dmx_error_out_t error() {
    mkv_dmx_error_out_t e{};
    call(MKV_OP_LAST_ERROR, &slot, nullptr, &e);
    return e;
  }
  std::string text() { return error().text ? error().text : ""; }
  int32_t read(mkv_dmx_outstream_t* out, uint32_t kind = MKV_KIND_ANY, uint8_t* buffer = nullptr, uint32_t size = 0) {
    mkv_dmx_getstream_t in{buffer, size, kind};
    return call(MKV_OP_READ, &slot, &in, out);
  }
  int32_t seek(int32_t ms, uint32_t flags = 0, mkv_dmx_outstream_t* out = nullptr) {
    mkv_dmx_seek_t in{ms, flags};
    mkv_dmx_outstream_t o{};
    return call(MKV_OP_SEEK, &slot, &in, out ? out : &o);
  }
};

struct Frame {
  uint32_t type, time, size, key;
  Bytes head;
};

inline std::vector<Frame> readAll(Session& s, int32_t* last = nullptr) {
  std::vector<Frame> frames;
  mkv_dmx_outstream_t out{};
  int32_t r;
  while ((r = s.read(&out)) == 0) {
    Frame f{out.m_ulTrackType, out.m_ulTimestamp, out.m_ulDataLength, *out.m_pulKeyFrame, {}};
    f.head.assign(out.m_pbyData, out.m_pbyData + std::min<uint32_t>(out.m_ulDataLength, 4));
    frames.push_back(f);
  }
  if (last) *last = r;
  return frames;
}

class MkvTest : public ::testing::Test {
 protected:
  void SetUp() override { Host::get().reset(); }
  void TearDown() override {
    EXPECT_EQ(Host::get().leakReport(), "");
    EXPECT_TRUE(Host::get().violations().empty());
  }
};

}  // namespace mkvtest
