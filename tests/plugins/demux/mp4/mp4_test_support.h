#pragma once
// Shared by the MP4 demuxer's tests: the plug-in, an open record over the
// media host's callbacks, a per-test folder and a builder of small files box
// by box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kvr_mp4_dmx.h"
#include "mediahost/host.h"
#include "mediahost/plugin.h"

namespace mp4test {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t MP4_FOURCC_T(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

inline std::string media(const std::string& name) { return std::string(MP4_MEDIA_DIR) + "/" + name; }

inline Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Output of a command (binary safe).
inline Bytes runCommand(const std::string& cmd) {
  Bytes out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.insert(out.end(), buf, buf + n);
  pclose(p);
  return out;
}

// --- boxes ---
inline void be32(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void be16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
inline void be64(Bytes& b, uint64_t v) {
  be32(b, uint32_t(v >> 32));
  be32(b, uint32_t(v));
}
inline void add(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline void tag(Bytes& b, const char* t) { b.insert(b.end(), t, t + 4); }

inline Bytes box(const char* type, const Bytes& body) {
  Bytes b;
  be32(b, uint32_t(8 + body.size()));
  tag(b, type);
  add(b, body);
  return b;
}
inline Bytes fullBox(const char* type, uint32_t versionFlags, const Bytes& body) {
  Bytes b;
  be32(b, versionFlags);
  add(b, body);
  return box(type, b);
}
inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) add(b, p);
  return b;
}

// A one-track movie of `samples` samples of `sampleSize` bytes in one chunk
// per sample; the parts a test wants to break can be replaced.
struct MiniMovie {
  bool video = true;
  uint32_t samples = 10;
  uint32_t sampleSize = 100;
  uint32_t timescale = 1000;
  uint32_t delta = 40;
  uint32_t language = 0x15C7;  // "mdhd" language word: packed "eng"
  Bytes stsd;                 // empty: a plain avc1 / mp4a entry
  Bytes extraStbl;            // appended to "stbl"
  Bytes stss;                 // empty: every 5th sample
  Bytes stsc;                 // empty: one sample per chunk
  Bytes chunkTable;           // empty: "stco" pointing at the samples
  Bytes moovExtra;            // appended to "moov"
  Bytes trakExtra;            // appended to "trak"
  Bytes hdlr;                 // empty: "vide" / "soun"
  Bytes mvhd;                 // empty: a version-0 "mvhd" of the movie's timescale and duration

  Bytes build() const {
    Bytes head = box("ftyp", cat({Bytes{'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm'}}));
    Bytes data;
    for (uint32_t i = 0; i < samples * sampleSize; ++i) data.push_back(uint8_t(i * 7 + i / sampleSize));
    Bytes mdat = box("mdat", data);
    uint32_t first = uint32_t(head.size() + 8);
    Bytes mvhd;
    be32(mvhd, 0), be32(mvhd, 0), be32(mvhd, timescale), be32(mvhd, samples * delta);
    mvhd.resize(mvhd.size() + 80, 0);
    Bytes tkhd;
    be32(tkhd, 0), be32(tkhd, 0), be32(tkhd, 1), be32(tkhd, 0), be32(tkhd, samples * delta);
    tkhd.resize(tkhd.size() + 16, 0);
    for (uint32_t m : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u}) be32(tkhd, m);
    be32(tkhd, 320 << 16), be32(tkhd, 240 << 16);
    Bytes mdhd;
    be32(mdhd, 0), be32(mdhd, 0), be32(mdhd, timescale), be32(mdhd, samples * delta);
    be16(mdhd, language), be16(mdhd, 0);
    Bytes hd = hdlr;
    if (hd.empty()) {
      Bytes h;
      be32(h, 0);
      tag(h, video ? "vide" : "soun");
      h.resize(h.size() + 13, 0);
      hd = fullBox("hdlr", 0, h);
    }
    Bytes entry = stsd;
    if (entry.empty()) {
      Bytes e(6, 0);
      be16(e, 1);
      if (video) {
        e.resize(e.size() + 16, 0);
        be16(e, 320), be16(e, 240);
        e.resize(e.size() + 46, 0);
        be16(e, 24), be16(e, 0xFFFF);
        entry = box("avc1", e);
      } else {
        e.resize(e.size() + 8, 0);
        be16(e, 2), be16(e, 16), be32(e, 0), be32(e, 48000u << 16);
        entry = box("mp4a", e);
      }
      Bytes list;
      be32(list, 1);
      add(list, entry);
      entry = fullBox("stsd", 0, list);
    }
    Bytes stts;
    be32(stts, 1), be32(stts, samples), be32(stts, delta);
    Bytes sync = stss;
    if (sync.empty() && video) {
      Bytes s;
      be32(s, (samples + 4) / 5);
      for (uint32_t i = 0; i < samples; i += 5) be32(s, i + 1);
      sync = fullBox("stss", 0, s);
    }
    Bytes sc = stsc;
    if (sc.empty()) {
      Bytes s;
      be32(s, 1), be32(s, 1), be32(s, 1), be32(s, 1);
      sc = fullBox("stsc", 0, s);
    }
    Bytes stsz;
    be32(stsz, 0), be32(stsz, samples);
    for (uint32_t i = 0; i < samples; ++i) be32(stsz, sampleSize);
    Bytes co = chunkTable;
    if (co.empty()) {
      Bytes s;
      be32(s, samples);
      for (uint32_t i = 0; i < samples; ++i) be32(s, first + i * sampleSize);
      co = fullBox("stco", 0, s);
    }
    Bytes stbl = box("stbl", cat({entry, fullBox("stts", 0, stts), sync, sc, fullBox("stsz", 0, stsz), co, extraStbl}));
    Bytes trak = box("trak", cat({fullBox("tkhd", 0, tkhd),
                                  box("mdia", cat({fullBox("mdhd", 0, mdhd), hd, box("minf", stbl)})), trakExtra}));
    Bytes moov = box("moov", cat({this->mvhd.empty() ? fullBox("mvhd", 0, mvhd) : this->mvhd, trak, moovExtra}));
    return cat({head, mdat, moov});
  }
};

class Mp4Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    plugin_ = mediahost::Plugin::load(MP4_PLUGIN_PATH, &error).release();
    ASSERT_NE(plugin_, nullptr) << error;
  }
  static void TearDownTestSuite() {
    delete plugin_;
    plugin_ = nullptr;
  }
  void SetUp() override {
    mediahost::Host::get().reset();
    char tmpl[] = "/tmp/mp4_dmx_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    closeFile();
    EXPECT_EQ(mediahost::Host::get().leakReport(), "");
    EXPECT_EQ(mediahost::Host::get().openFiles(), 0u);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  int32_t call(int32_t op, void* in, void* out) { return plugin_->entry()(op, &slot_, in, out); }
  int32_t lastError() { return *static_cast<int32_t*>(plugin_->symbol("gMp4DmxLastErrorCode")); }

  std::string write(const std::string& name, const Bytes& bytes) {
    std::string path = dir_ + "/" + name;
    writeFile(path, bytes);
    return path;
  }

  Mp4OpenRecord record(const std::string& path, bool oneHandle = true, bool keySeek = true) {
    path_ = path;
    Mp4OpenRecord r{};
    using namespace mediahost;
    r.malloc_fn = hostMalloc, r.nc_malloc_fn = hostMalloc, r.free_fn = hostFree, r.nc_free_fn = hostFree;
    r.memcpy_fn = hostMemcpy, r.memset_fn = hostMemset, r.realloc_fn = hostRealloc, r.memmove_fn = hostMemmove;
    r.fopen_fn = hostFopen, r.fread_fn = hostFread, r.fseek_fn = hostFseek, r.ftell_fn = hostFtell;
    r.fwrite_fn = hostFwrite, r.fclose_fn = hostFclose, r.unlink_fn = hostUnlink;
    r.fseek64_fn = hostFseek64, r.ftell64_fn = hostFtell64;
    r.file_name = path_.c_str();
    r.one_handle = oneHandle;
    r.key_seek = keySeek;
    return r;
  }

  int32_t openFile(const std::string& path, bool oneHandle = true, int32_t op = MP4_OP_OPEN) {
    Mp4OpenRecord r = record(path, oneHandle);
    return call(op, &r, &info_);
  }
  void closeFile() {
    if (slot_) {
      EXPECT_EQ(call(MP4_OP_CLOSE, nullptr, nullptr), 0);
    }
    slot_ = nullptr;
  }

  // Next sample into a buffer that grows to the size the library asks for.
  int32_t next(int32_t kind, Mp4Packet* p) {
    for (;;) {
      Mp4PacketRequest req{buffer_.data(), int32_t(buffer_.size()), kind};
      int32_t r = call(MP4_OP_PACKET, &req, p);
      if (r == MP4_ERR_MEMORY && p->length > int32_t(buffer_.size())) {
        buffer_.resize(size_t(p->length));
        continue;
      }
      return r;
    }
  }

  static mediahost::Plugin* plugin_;
  void* slot_ = nullptr;
  Mp4Info info_{};
  std::string path_;
  std::string dir_;
  Bytes buffer_ = Bytes(4096);
};

inline mediahost::Plugin* Mp4Test::plugin_ = nullptr;

}  // namespace mp4test
