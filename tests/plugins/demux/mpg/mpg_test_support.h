#pragma once
// What the program-stream demuxer tests share: the loaded plug-in and its
// exported functions, an open record over the media host's callbacks, a
// per-test folder, and a builder of small program streams by hand.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kvr_mpg_dmx.h"
#include "mediahost/host.h"
#include "mediahost/plugin.h"

namespace mpgtest {

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::string media(const std::string& name) { return std::string(MPG_MEDIA_DIR) + "/" + name; }

inline MpgOpenRecord openRecord(const char* path, uint32_t mode = MPG_MODE_DIRECT,
                                uint32_t duration = MPG_DURATION_MEASURE, uint32_t recovery = 0,
                                uint32_t cache = 65536) {
  using namespace mediahost;
  MpgOpenRecord r{};
  r.file_name = path;
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
  r.stream_mode = mode;
  r.cache_size = cache;
  r.duration_mode = duration;
  r.recovery = recovery;
  return r;
}

// Small program streams by hand: MPEG-2 (or MPEG-1) packs and PES packets.
struct PsBuilder {
  std::vector<uint8_t> out;

  void bytes(std::initializer_list<int> b) {
    for (int v : b) out.push_back(uint8_t(v));
  }
  void append(const std::vector<uint8_t>& b) { out.insert(out.end(), b.begin(), b.end()); }

  void pack(uint64_t scr) {
    bytes({0, 0, 1, 0xBA, int(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 3)), int((scr >> 20) & 0xFF),
           int(((scr >> 12) & 0xF8) | 4 | ((scr >> 13) & 3)), int((scr >> 5) & 0xFF), int(((scr << 3) & 0xF8) | 4),
           1, 0x01, 0x89, 0xC3, 0xF8});
  }
  void pack1(uint64_t scr) {
    bytes({0, 0, 1, 0xBA, int(0x21 | ((scr >> 29) & 0x0E)), int((scr >> 22) & 0xFF), int(((scr >> 14) & 0xFE) | 1),
           int((scr >> 7) & 0xFF), int(((scr << 1) & 0xFE) | 1), 0x80, 0x1B, 0x83});
  }
  static std::vector<uint8_t> pts(uint64_t v, int prefix = 0x20) {
    return {uint8_t(prefix | ((v >> 29) & 0x0E) | 1), uint8_t((v >> 22) & 0xFF), uint8_t(((v >> 14) & 0xFE) | 1),
            uint8_t((v >> 7) & 0xFF), uint8_t(((v << 1) & 0xFE) | 1)};
  }
  // MPEG-2 PES; pts < 0 writes none. `flags2` replaces the second flag byte
  // when non-zero (its header data then holds the PTS and `extra` bytes).
  void pes(int id, int64_t p, const std::vector<uint8_t>& payload, int flags2 = 0, int extra = 0) {
    std::vector<uint8_t> header;
    if (p >= 0) header = pts(uint64_t(p));
    header.insert(header.end(), size_t(extra), 0xFF);
    int f2 = flags2 ? flags2 : (p >= 0 ? 0x80 : 0);
    size_t length = 3 + header.size() + payload.size();
    bytes({0, 0, 1, id, int(length >> 8), int(length & 0xFF), 0x81, f2, int(header.size())});
    append(header);
    append(payload);
  }
  // MPEG-1 PES with a PTS or none.
  void pes1(int id, int64_t p, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> header = p >= 0 ? pts(uint64_t(p)) : std::vector<uint8_t>{0x0F};
    size_t length = header.size() + payload.size();
    bytes({0, 0, 1, id, int(length >> 8), int(length & 0xFF)});
    append(header);
    append(payload);
  }
};

// A 64x48 MPEG-2 sequence header at 25 frames/s followed by a picture start
// of the given coding type (1 I, 2 P, 3 B), padded with `fill` bytes.
inline std::vector<uint8_t> mpeg2Video(int type, size_t fill = 32, bool sequence = true) {
  std::vector<uint8_t> v;
  if (sequence) v = {0, 0, 1, 0xB3, 0x04, 0x00, 0x30, 0x13, 0xFF, 0xFF, 0xE0, 0x18};
  std::vector<uint8_t> pic = {0, 0, 1, 0x00, 0x00, uint8_t(type << 3), 0xFF, 0xF8};
  v.insert(v.end(), pic.begin(), pic.end());
  v.insert(v.end(), fill, 0x55);
  return v;
}

// One MPEG-1 layer II frame header at 48 kHz, 128 kbit/s, and filler.
inline std::vector<uint8_t> mp2Audio(size_t fill = 64) {
  std::vector<uint8_t> a = {0xFF, 0xFD, 0x84, 0x00};
  a.insert(a.end(), fill, 0x33);
  return a;
}

class MpgTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    if (plugin_) return;
    std::string error;
    plugin_ = mediahost::Plugin::load(MPG_PLUGIN_PATH, &error).release();
    ASSERT_NE(plugin_, nullptr) << error;
  }
  void SetUp() override {
    mediahost::Host::get().reset();
    char dir[] = "/tmp/mpg-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    for (const std::string& f : files_) unlink(f.c_str());
    rmdir(dir_.c_str());
    EXPECT_EQ(mediahost::Host::get().leakReport(), "");
    EXPECT_TRUE(mediahost::Host::get().violations().empty());
    mediahost::Host::get().setFaults(mediahost::Faults());
  }

  std::string file(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = dir_ + "/" + name;
    writeFile(path, bytes);
    files_.push_back(path);
    return path;
  }

  int32_t entry(int32_t op, void* slot, void* in, void* out) { return plugin_->entry()(op, slot, in, out); }
  template <class F>
  F fn(const char* name) {
    void* p = plugin_->symbol(name);
    EXPECT_NE(p, nullptr) << name;
    return reinterpret_cast<F>(p);
  }

  static mediahost::Plugin* plugin_;
  std::string dir_;
  std::vector<std::string> files_;
};

// One open file with its records; closes at the end of the scope.
struct Session {
  MpgTest* t;
  MpgOpenRecord record;
  MpgStreamInfo info{};
  MpgFrameRequest request{};
  MpgFrame frame{};
  void* slot = nullptr;
  int32_t opened;

  Session(MpgTest* test, const MpgOpenRecord& r, int32_t op = MPG_OP_OPEN) : t(test), record(r) {
    opened = call(op, &record, &info);
  }
  ~Session() { close(); }
  int32_t call(int32_t op, void* in, void* out) { return t->entry(op, &slot, in, out); }
  int32_t close() { return slot ? call(MPG_OP_CLOSE, nullptr, &frame) : 0; }
  int32_t next(uint32_t kind = MPG_KIND_VIDEO) {
    request.kind = kind;
    return call(MPG_OP_NEXT_FRAME, &request, &frame);
  }
  int32_t seek(int32_t target, uint32_t flags) {
    request.target_ms = target;
    request.seek_flags = flags;
    return call(MPG_OP_SEEK, &request, &frame);
  }
  std::vector<uint8_t> payload() const { return std::vector<uint8_t>(frame.data, frame.data + frame.length); }
};

}  // namespace mpgtest
