// Entry, open, frame delivery, selection and seek of the transport-stream
// demuxer through its exported entry, plus the buffered file I/O module.
#include <gtest/gtest.h>

#include "demux_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "es/ts_es.h"
#include "kvr_ts_dmx.h"
#include "mediahost/host.h"
#include "mediahost/md5.h"
#include "mediahost/plugin.h"
#include "ts_fio.h"
#include "ts_internal.h"

using namespace mediahost;

namespace {

std::string media(const std::string& name) { return std::string(TS_MEDIA_DIR) + "/" + name; }

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file in a folder of this test process's own, removed when the process
// ends, so runs side by side never read each other's files.
std::string scratch(const std::string& name) {
  static demuxtest::TempDir folder("ts-dmx-test");
  return folder.file(name);
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct Read {
  int32_t pid;
  uint32_t kind;
  int32_t timeMs;
  int32_t discontinuity;
  std::vector<uint8_t> bytes;
};

class TsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    plugin_ = Plugin::load(TS_PLUGIN_PATH, &error).release();
    ASSERT_NE(plugin_, nullptr) << error;
  }
  static void TearDownTestSuite() {
    delete plugin_;
    plugin_ = nullptr;
  }
  void SetUp() override { Host::get().reset(); }
  void TearDown() override {
    EXPECT_EQ(Host::get().leakReport(), "");
    EXPECT_EQ(Host::get().openFiles(), 0u);
  }

  int32_t call(int32_t op, void* h, void* in, void* out) { return plugin_->entry()(op, h, in, out); }
  int32_t lastError(void* h) { return call(TSD_OP_LAST_ERROR, h, nullptr, nullptr); }
  int32_t globalError() { return *static_cast<int32_t*>(plugin_->symbol("g_tsd_lLastError")); }

  TsdOpenRecord record(const std::string& path, uint32_t flags = 0) {
    path_ = path;
    TsdOpenRecord r{};
    r.path = path_.c_str();
    r.sourceMode = 2;
    r.openFlags = flags;
    r.host = Host::get().services();
    return r;
  }

  void* open(const std::string& path, uint32_t flags = 0, TsdOpenOutput* outp = nullptr,
             int op = TSD_OP_OPEN) {
    TsdOpenRecord r = record(path, flags);
    TsdOpenOutput out{};
    int32_t ok = call(op, nullptr, &r, &out);
    if (outp) *outp = out;
    if (ok != 1) {
      EXPECT_EQ(out.handle, nullptr);
      return nullptr;
    }
    EXPECT_NE(out.handle, nullptr);
    return out.handle;
  }

  void close(void* h) { EXPECT_EQ(call(TSD_OP_CLOSE, h, nullptr, nullptr), 1); }

  // Reads every frame; a frame whose read fails with -4014 is retried with
  // a buffer of the size asked for when `tinyFirst`.
  std::vector<Read> readAll(void* h, bool callerBuffers = false, bool tinyFirst = false) {
    std::vector<Read> frames;
    std::vector<uint8_t> big(4 << 20);
    uint8_t tiny[1];
    for (int guard = 0; guard < 100000; ++guard) {
      TsdReadInput in{};
      TsdFrame out{};
      if (callerBuffers) {
        in.buffer = tinyFirst ? tiny : big.data();
        in.bufferSize = tinyFirst ? 1 : int32_t(big.size());
      }
      if (call(TSD_OP_READ, h, &in, &out) != 1) {
        int32_t e = lastError(h);
        if (e == -4014 && tinyFirst) {
          EXPECT_GT(out.neededSize, 0);
          EXPECT_EQ(out.neededSize % 65536, 0);
          in.buffer = big.data();
          in.bufferSize = out.neededSize;
          out = TsdFrame{};
          if (call(TSD_OP_READ, h, &in, &out) != 1) {
            ADD_FAILURE() << "retry with " << in.bufferSize << " bytes failed: " << lastError(h);
            break;
          }
          EXPECT_LE(out.length, in.bufferSize);
          EXPECT_GT(out.length + 65536, in.bufferSize);
        } else {
          EXPECT_EQ(e, -10009);
          break;
        }
      }
      frames.push_back({out.pid, out.kind, out.timeMs, out.discontinuity,
                        std::vector<uint8_t>(out.data, out.data + out.length)});
    }
    return frames;
  }

  static size_t count(const std::vector<Read>& f, uint32_t kind) {
    size_t n = 0;
    for (const Read& r : f) n += r.kind == kind;
    return n;
  }
  // Frames of one PID (a frame after a discontinuity reports kind 0).
  static size_t countPid(const std::vector<Read>& f, int32_t pid) {
    size_t n = 0;
    for (const Read& r : f) n += r.pid == pid;
    return n;
  }

  // What a generated file starts with, to build small files on: its video
  // and audio PIDs, the packets before its first PES (the tables) and the
  // first 120 bytes of its first video and audio PES payloads.
  struct FileStart {
    int videoPid = -1, audioPid = -1;
    std::vector<uint8_t> tables, picture, audio;
  };
  FileStart startOf(const std::string& name) {
    FileStart st;
    TsdOpenOutput out{};
    void* h = open(media(name), 0, &out);
    if (h == nullptr) return st;
    close(h);
    st.videoPid = out.selection.videoPid;
    st.audioPid = out.selection.audioPid > 0 ? out.selection.audioPid : -1;
    std::vector<uint8_t> real = readFile(media(name));
    for (size_t i = 0; i + 188 <= real.size(); i += 188) {
      if (!st.picture.empty() && (st.audioPid < 0 || !st.audio.empty())) break;
      const uint8_t* p = &real[i];
      int pid = ((p[1] & 0x1F) << 8) | p[2];
      if (!(p[1] & 0x40) || (pid != st.videoPid && pid != st.audioPid)) {
        if (st.picture.empty() && st.audio.empty()) st.tables.insert(st.tables.end(), p, p + 188);
        continue;
      }
      const uint8_t* q = p + 4 + ((p[3] & 0x20) ? p[4] + 1 : 0);
      const uint8_t* payload = q + 9 + q[8];
      std::vector<uint8_t>& into = pid == st.videoPid ? st.picture : st.audio;
      if (into.empty()) into.assign(payload, payload + 120);
    }
    return st;
  }

  static Plugin* plugin_;
  std::string path_;
};

Plugin* TsTest::plugin_ = nullptr;

// PES starts of one PID in a file of 188-byte packets.
size_t pesStarts(const std::vector<uint8_t>& file, int pid) {
  size_t n = 0;
  for (size_t i = 0; i + 188 <= file.size(); i += 188) {
    const uint8_t* p = &file[i];
    if (p[0] == 0x47 && (p[1] & 0x40) && (((p[1] & 0x1F) << 8) | p[2]) == pid) n++;
  }
  return n;
}

// A scratch folder that cannot be made fails the test instead of handing
// out paths in the root folder.
TEST(ScratchFolder, FolderThatCannotBeMadeFailsTheTest) {
  const char* old = getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", "/nonexistent-scratch-parent", 1);
  EXPECT_THROW(demuxtest::TempDir("ts-dmx-test"), std::runtime_error);
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
}

TEST_F(TsTest, FunctionTableHoldsTheEntryInSlotZeroOnly) {
  auto* table = static_cast<void**>(plugin_->symbol("FucntionList"));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table[0], plugin_->symbol("KVR_TS_DMX"));
  for (int i = 1; i < 9; ++i) EXPECT_EQ(table[i], nullptr) << i;
}

TEST_F(TsTest, ErrorPairAndOperationsWithoutAHandle) {
  EXPECT_EQ(open(media("does-not-exist.ts")), nullptr);
  EXPECT_EQ(lastError(nullptr), -15);
  EXPECT_EQ(lastError(nullptr), -15);  // op 5 clears nothing

  struct { int op; int32_t code; } cases[] = {
      {0, -4012}, {6, -4012}, {102, -4012}, {-3, -4012}, {3, -4026},
      {4, -4026}, {10, -4026}, {11, -4026}, {12, -4026}, {21, -4026}, {100, -4026}, {101, -4026}};
  for (auto c : cases) {
    EXPECT_EQ(call(c.op, nullptr, nullptr, nullptr), 0) << c.op;
    EXPECT_EQ(globalError(), c.code) << c.op;
  }
}

TEST_F(TsTest, OpenRefusals) {
  struct { int32_t sourceMode; int32_t packetType; uint32_t flags; int32_t code; } cases[] = {
      {1, 0, 0, -4030},          // source mode 1
      {2, 3, 0, -1007},          // packet type 3
      {2, 6, 0, -1007},          // packet type above 5
      {2, 0, 0x2000000, -4034},  // keep the PAT without growing-file mode
  };
  for (auto c : cases) {
    TsdOpenRecord r = record(media("mpeg2_mp2.ts"), c.flags);
    r.sourceMode = c.sourceMode;
    r.packetType = c.packetType;
    TsdOpenOutput out{};
    EXPECT_EQ(call(TSD_OP_OPEN, nullptr, &r, &out), 0);
    EXPECT_EQ(out.handle, nullptr);
    EXPECT_EQ(lastError(nullptr), c.code);
  }
  // Fewer than 10 x 1920 bytes cannot be told apart from noise.
  std::vector<uint8_t> f = readFile(media("mpeg2_mp2.ts"));
  f.resize(10 * 1920 - 188);
  writeFile(scratch("short.ts"), f);
  EXPECT_EQ(open(scratch("short.ts")), nullptr);
  EXPECT_EQ(lastError(nullptr), -1007);
  // Not a transport stream at all.
  writeFile(scratch("zeros.ts"), std::vector<uint8_t>(200000, 0));
  EXPECT_EQ(open(scratch("zeros.ts")), nullptr);
  EXPECT_EQ(lastError(nullptr), -1007);
}

TEST_F(TsTest, SourceModeWithoutFileGivesAQuietHandle) {
  TsdOpenRecord r = record(media("mpeg2_mp2.ts"));
  r.sourceMode = 0;
  TsdOpenOutput out{};
  ASSERT_EQ(call(TSD_OP_OPEN, nullptr, &r, &out), 1);
  ASSERT_NE(out.handle, nullptr);
  TsdReadInput in{};
  TsdFrame f{};
  EXPECT_EQ(call(TSD_OP_READ, out.handle, &in, &f), 0);
  EXPECT_EQ(lastError(out.handle), 0);
  close(out.handle);
  EXPECT_EQ(Host::get().openFiles(), 0u);
}

TEST_F(TsTest, PacketSizeIsDetected) {
  struct { const char* file; int32_t type; } cases[] = {
      {"mpeg2_mp2.ts", 1}, {"m2ts_lpcm.ts", 2}, {"packets204.ts", 4}, {"packets208.ts", 5}};
  for (auto c : cases) {
    TsdOpenOutput out{};
    void* h = open(media(c.file), 0, &out);
    ASSERT_NE(h, nullptr) << c.file << " " << lastError(nullptr);
    EXPECT_EQ(out.packetType, c.type) << c.file;
    EXPECT_EQ(out.timingKnown, 1) << c.file;
    EXPECT_GT(out.selection.durationMs, 2500) << c.file;
    close(h);
  }
}

TEST_F(TsTest, InformationOnlyHandleRefusesReadingOperations) {
  void* h = open(media("mpeg2_mp2.ts"), 0, nullptr, TSD_OP_OPEN_INFO);
  ASSERT_NE(h, nullptr);
  TsdReadInput in{};
  TsdFrame f{};
  TsdSelectInput sel{};
  TsdBufferInput buf{};
  for (int op : {TSD_OP_READ, TSD_OP_READ2, TSD_OP_SELECT, TSD_OP_SET_BUFFERS}) {
    void* input = op == TSD_OP_SELECT ? static_cast<void*>(&sel)
                  : op == TSD_OP_SET_BUFFERS ? static_cast<void*>(&buf) : static_cast<void*>(&in);
    EXPECT_EQ(call(op, h, input, &f), 0) << op;
    EXPECT_EQ(lastError(h), -4032) << op;
  }
  TsdProgramListOutput list{};
  EXPECT_EQ(call(TSD_OP_PROGRAM_LIST, h, nullptr, &list), 1);
  EXPECT_EQ(list.count, 1);
  EXPECT_EQ(call(TSD_OP_PROGRAM_LIST, h, nullptr, nullptr), 1);  // null output allowed
  for (int op : {20, 22, 23}) {
    EXPECT_EQ(call(op, h, nullptr, nullptr), 0);
    EXPECT_EQ(lastError(h), -4005);
  }
  close(h);
}

// The last video PES of a file has no successor to end it: it must still be
// delivered, in both reading modes.
TEST_F(TsTest, EveryPesIsDeliveredUpToTheEndOfTheFile) {
  std::vector<uint8_t> file = readFile(media("mpeg2_mp2.ts"));
  for (uint32_t flags : {0u, 0x4u}) {
    TsdOpenOutput out{};
    void* h = open(media("mpeg2_mp2.ts"), flags, &out);
    ASSERT_NE(h, nullptr);
    std::vector<Read> frames = readAll(h);
    EXPECT_EQ(count(frames, TSD_KIND_VIDEO), pesStarts(file, out.selection.videoPid)) << flags;
    EXPECT_EQ(count(frames, TSD_KIND_AUDIO), pesStarts(file, out.selection.audioPid)) << flags;
    // Reading on at the end keeps answering "end of data".
    TsdReadInput in{};
    TsdFrame f{};
    EXPECT_EQ(call(TSD_OP_READ, h, &in, &f), 0);
    EXPECT_EQ(lastError(h), -10009);
    close(h);
  }
}

// A host hands its handle to the exported header parsers after a read: they
// parse the frame just read, whichever buffer holds it.
TEST_F(TsTest, HeaderParsersReadTheLastFrameOfTheHandle) {
  using VideoFn = int32_t (*)(void*, uint32_t, TsdVideoHeader*);
  using AudioFn = int32_t (*)(void*, uint32_t, AudioHeaderInfo*);
  auto video = reinterpret_cast<VideoFn>(plugin_->symbol("TSD_ParseVideoHeader"));
  auto audio = reinterpret_cast<AudioFn>(plugin_->symbol("TSD_ParseAudioHeader"));
  ASSERT_NE(video, nullptr);
  ASSERT_NE(audio, nullptr);
  std::vector<uint8_t> buffer(4 << 20);
  for (uint32_t flags : {0u, 0x2u, 0x4u}) {
    void* h = open(media("h264_aac.ts"), flags);
    ASSERT_NE(h, nullptr);
    bool sawVideo = false, sawAudio = false;
    for (int i = 0; i < 400 && !(sawVideo && sawAudio); ++i) {
      TsdReadInput in{};
      in.buffer = buffer.data();
      in.bufferSize = int32_t(buffer.size());
      TsdFrame f{};
      ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1) << flags << " " << lastError(h);
      if ((f.kind & TSD_KIND_VIDEO) && !sawVideo) {
        TsdVideoHeader vh{};
        ASSERT_EQ(video(h, 0x2001B, &vh), 1) << flags << " " << lastError(h);
        EXPECT_EQ(vh.width, 320u);
        EXPECT_EQ(vh.height, 240u);
        EXPECT_EQ(std::memcmp(&vh.codecTag, "H264", 4), 0);
        sawVideo = true;
      } else if ((f.kind & TSD_KIND_AUDIO) && !sawAudio) {
        AudioHeaderInfo ah{};
        ASSERT_EQ(audio(h, 0x2000F, &ah), 1) << flags << " " << lastError(h);
        EXPECT_EQ(ah.sampleRate, 48000u);
        EXPECT_EQ(ah.channelCount, 1u);
        sawAudio = true;
      }
    }
    EXPECT_TRUE(sawVideo && sawAudio) << flags;
    close(h);
  }

  // Switching programs away and back renews the stream buffers: the frame
  // read before is gone, and the parser says so instead of reading freed
  // memory.
  TsdOpenOutput out{};
  void* h = open(media("multi_program.ts"), 0, &out);
  ASSERT_NE(h, nullptr);
  for (int i = 0; i < 400; ++i) {
    TsdReadInput in{};
    TsdFrame f{};
    ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1) << lastError(h);
    if (f.kind & TSD_KIND_VIDEO) break;
  }
  TsdVideoHeader vh{};
  EXPECT_EQ(video(h, 0x20002, &vh), 1) << lastError(h);
  for (int32_t program : {2, 1}) {
    TsdSelectInput in{};
    in.request = 0x10000000 | 0x3;
    in.programNumber = program;
    TsdSelectOutput sel{};
    ASSERT_EQ(call(TSD_OP_SELECT, h, &in, &sel), 1) << lastError(h);
  }
  EXPECT_EQ(video(h, 0x20002, &vh), 0);
  EXPECT_EQ(lastError(h), -4001);
  close(h);
}

// A PES as 188-byte packets of `pid`, continuing the PID's continuity
// counter; the last packet is padded with adaptation stuffing.
std::vector<uint8_t> pesPackets(std::map<int, int>& cc, int pid, uint8_t streamId, bool bounded,
                                int64_t pts, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> pes = {0, 0, 1, streamId, 0, 0, 0x80, uint8_t(pts >= 0 ? 0x80 : 0),
                              uint8_t(pts >= 0 ? 5 : 0)};
  if (pts >= 0)
    for (uint8_t b : {uint8_t(0x21 | ((pts >> 29) & 0x0E)), uint8_t(pts >> 22),
                      uint8_t(((pts >> 14) & 0xFE) | 1), uint8_t(pts >> 7), uint8_t((pts << 1) | 1)})
      pes.push_back(b);
  if (bounded) {
    size_t len = pes.size() - 6 + payload.size();
    pes[4] = uint8_t(len >> 8);
    pes[5] = uint8_t(len);
  }
  pes.insert(pes.end(), payload.begin(), payload.end());
  std::vector<uint8_t> out;
  for (size_t off = 0; off < pes.size();) {
    size_t n = std::min<size_t>(184, pes.size() - off);
    uint8_t pkt[188];
    std::memset(pkt, 0xFF, sizeof(pkt));
    int c = cc.count(pid) ? (cc[pid] + 1) & 15 : 0;
    cc[pid] = c;
    pkt[0] = 0x47;
    pkt[1] = uint8_t((off == 0 ? 0x40 : 0) | (pid >> 8));
    pkt[2] = uint8_t(pid);
    if (n == 184) {
      pkt[3] = uint8_t(0x10 | c);
    } else {
      pkt[3] = uint8_t(0x30 | c);
      pkt[4] = uint8_t(183 - n);  // adaptation field stuffs the rest
      if (pkt[4] > 0) pkt[5] = 0;
    }
    std::memcpy(pkt + 188 - n, &pes[off], n);
    out.insert(out.end(), pkt, pkt + 188);
    off += n;
  }
  return out;
}

// Host memory whose realloc grows a block in place while the room it keeps
// behind the block suffices, and otherwise moves it into twice the room, as
// a C library's realloc of a large block may do. Blocks still come from the
// test host, which counts them. A PES of many MiB grown in 64 KiB steps is
// then not copied again at every step (which the test host's realloc, moving
// every block, would make take minutes).
struct RoomyRealloc {
  struct Block {
    size_t used, room;
  };
  static std::map<void*, Block>& blocks() {
    static std::map<void*, Block> b;
    return b;
  }
  static void* allocate(size_t used, size_t room) {
    void* p = Host::get().services().malloc_fn(room);
    if (p) blocks()[p] = {used, room};
    return p;
  }
  static void* malloc_(size_t n) { return allocate(n, n); }
  static void free_(void* p) {
    blocks().erase(p);
    Host::get().services().free_fn(p);
  }
  static void* realloc_(void* p, size_t n) {
    auto it = blocks().find(p);
    if (p == nullptr || it == blocks().end()) return p ? nullptr : malloc_(n);
    if (n <= it->second.room) {
      it->second.used = n;
      return p;
    }
    void* q = allocate(n, std::max(n, 2 * it->second.room));
    if (q == nullptr) return nullptr;
    std::memcpy(q, p, std::min(n, it->second.used));
    free_(p);
    return q;
  }
  static KvrHostServices services() {
    KvrHostServices s = Host::get().services();
    s.malloc_fn = malloc_;
    s.free_fn = free_;
    s.realloc_fn = realloc_;
    return s;
  }
};

// A PES that would grow past its cap (16 MiB for video, 1 MiB for the other
// kinds) is dropped whole, while short PES of the other kind interleaved with
// it, and the PES after it on the same PID, come intact. (The short PES also
// carry time stamps, so that the end-of-data search sees data all along.)
TEST_F(TsTest, PesGrowthIsCappedPerKind) {
  std::vector<uint8_t> file = readFile(media("mpeg2_mp2.ts"));
  TsdOpenOutput out{};
  void* h = open(media("mpeg2_mp2.ts"), 0, &out);
  ASSERT_NE(h, nullptr);
  std::vector<Read> plain = readAll(h);
  close(h);
  const int vpid = out.selection.videoPid, apid = out.selection.audioPid;
  std::map<int, int> cc;
  int64_t pts = 0;
  for (size_t i = 0; i + 188 <= file.size(); i += 188) {
    const uint8_t* p = &file[i];
    int pid = ((p[1] & 0x1F) << 8) | p[2];
    if (p[3] & 0x10) cc[pid] = p[3] & 15;
    const uint8_t* q = p + 4 + ((p[3] & 0x20) ? p[4] + 1 : 0);
    if ((p[1] & 0x40) && (pid == vpid || pid == apid) && (q[7] & 0x80))
      pts = std::max<int64_t>(pts, (int64_t(q[9] & 0x0E) << 29) | (q[10] << 22) |
                                       ((q[11] & 0xFE) << 14) | (q[12] << 7) | (q[13] >> 1));
  }
  std::vector<uint8_t> smallVideo(5000), smallAudio(1152);
  for (size_t i = 0; i < smallVideo.size(); ++i) smallVideo[i] = uint8_t(i * 7);
  for (size_t i = 0; i < smallAudio.size(); ++i) smallAudio[i] = uint8_t(i * 3);
  // Each oversized PES, with a short PES of the other kind every 1400 packets.
  size_t shortVideo = 0, shortAudio = 0;
  auto oversized = [&](int pid, uint8_t id, size_t size, int otherPid, uint8_t otherId,
                       const std::vector<uint8_t>& other, size_t& count) {
    std::vector<uint8_t> big = pesPackets(cc, pid, id, false, -1, std::vector<uint8_t>(size, 0x11));
    for (size_t off = 0; off < big.size(); off += 1400 * 188) {
      size_t n = std::min<size_t>(1400 * 188, big.size() - off);
      file.insert(file.end(), big.begin() + off, big.begin() + off + n);
      pts += 1800;
      std::vector<uint8_t> s = pesPackets(cc, otherPid, otherId, true, pts, other);
      file.insert(file.end(), s.begin(), s.end());
      count++;
    }
  };
  oversized(vpid, 0xE0, (16 << 20) + 1000, apid, 0xC0, smallAudio, shortAudio);
  oversized(apid, 0xC0, (1 << 20) + 1000, vpid, 0xE0, smallVideo, shortVideo);
  std::vector<uint8_t> tail = pesPackets(cc, vpid, 0xE0, false, pts + 1800, smallVideo);
  file.insert(file.end(), tail.begin(), tail.end());
  std::string path = scratch("pes_cap.ts");
  writeFile(path, file);

  for (uint32_t flags : {0u, 0x4u}) {
    TsdOpenRecord r = record(path, flags);
    r.host = RoomyRealloc::services();
    TsdOpenOutput o{};
    ASSERT_EQ(call(TSD_OP_OPEN, nullptr, &r, &o), 1) << flags << " " << globalError();
    h = o.handle;
    std::vector<Read> frames = readAll(h);
    close(h);
    EXPECT_TRUE(RoomyRealloc::blocks().empty());
    ASSERT_EQ(countPid(frames, vpid), countPid(plain, vpid) + shortVideo + 1) << flags;
    ASSERT_EQ(countPid(frames, apid), countPid(plain, apid) + shortAudio) << flags;
    for (size_t i = plain.size(); i < frames.size(); ++i)
      EXPECT_EQ(frames[i].bytes, frames[i].pid == vpid ? smallVideo : smallAudio) << flags << " " << i;
  }
}

// A file of several MiB holding only video PES without announced lengths:
// every bisection step of the end-of-data search lands on such a PES, which
// must count as data going on (the open finishes, the data end is not cut
// short and every frame is read), and the duration comes from the last time
// stamp.
TEST_F(TsTest, EndOfDataSearchOverUnboundedVideoOnly) {
  std::vector<uint8_t> file = readFile(media("mpeg2_video_only.ts"));
  ASSERT_GT(file.size(), size_t(3) << 20);
  TsdOpenOutput out{};
  void* h = open(media("mpeg2_video_only.ts"), 0, &out);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(out.timingKnown, 1);
  EXPECT_GE(out.selection.durationMs, 3800);  // 100 pictures at 25 per second
  EXPECT_LE(out.selection.durationMs, 4000);
  std::vector<Read> frames = readAll(h);
  EXPECT_EQ(countPid(frames, out.selection.videoPid), pesStarts(file, out.selection.videoPid));
  close(h);
}

// A caller buffer that is too small must leave the frame pending: the retry
// with a large enough buffer returns it, and nothing of the stream is lost,
// repeated or marked discontinuous.
TEST_F(TsTest, TooSmallCallerBufferKeepsTheFrameForTheRetry) {
  for (const char* name : {"mpeg2_mp2.ts", "h264_aac.ts"}) {
    void* h = open(media(name));
    ASSERT_NE(h, nullptr);
    std::vector<Read> plain = readAll(h);
    close(h);
    h = open(media(name), TSD_OPEN_CALLER_BUFFERS);
    ASSERT_NE(h, nullptr);
    std::vector<Read> retried = readAll(h, true, true);
    close(h);
    ASSERT_EQ(retried.size(), plain.size()) << name;
    for (size_t i = 0; i < plain.size(); ++i) {
      EXPECT_EQ(retried[i].pid, plain[i].pid) << name << " " << i;
      EXPECT_EQ(retried[i].kind, plain[i].kind) << name << " " << i;
      EXPECT_EQ(retried[i].discontinuity, 0) << name << " " << i;
      EXPECT_EQ(retried[i].bytes, plain[i].bytes) << name << " " << i;
      EXPECT_EQ(retried[i].timeMs, plain[i].timeMs) << name << " " << i;
    }
  }
}

// Drops one packet from the middle of the tenth audio PES (a PES of known
// length): with flag 0x1000 that PES is discarded but the next one must not
// be lost; without it the PES is delivered short and flagged.
TEST_F(TsTest, BrokenBoundedPesLosesOnlyItself) {
  std::vector<uint8_t> file = readFile(media("mpeg2_mp2.ts"));
  TsdOpenOutput out{};
  void* h = open(media("mpeg2_mp2.ts"), 0, &out);
  ASSERT_NE(h, nullptr);
  std::vector<Read> plain = readAll(h);
  close(h);
  const int apid = out.selection.audioPid;
  std::vector<uint8_t> cut;
  int starts = 0, inPes = -1;
  for (size_t i = 0; i + 188 <= file.size(); i += 188) {
    const uint8_t* p = &file[i];
    int pid = ((p[1] & 0x1F) << 8) | p[2];
    if (pid == apid) {
      if (p[1] & 0x40) {
        starts++;
        inPes = 0;
      } else if (inPes >= 0) {
        inPes++;
      }
      if (starts == 10 && inPes == 2) continue;
    }
    cut.insert(cut.end(), p, p + 188);
  }
  std::string path = scratch("cut_audio.ts");
  writeFile(path, cut);

  h = open(path, TSD_OPEN_DROP_DISCONTINUOUS);
  ASSERT_NE(h, nullptr);
  std::vector<Read> dropped = readAll(h);
  close(h);
  EXPECT_EQ(countPid(dropped, apid), countPid(plain, apid) - 1);
  EXPECT_EQ(countPid(dropped, out.selection.videoPid), countPid(plain, out.selection.videoPid));
  // The PES after the broken one comes whole, reported as following a
  // discontinuity.
  size_t afterBreak = 0;
  for (const Read& r : dropped)
    if (r.discontinuity) {
      afterBreak++;
      EXPECT_EQ(r.kind, 0u);
      EXPECT_EQ(r.pid, apid);
      EXPECT_EQ(r.bytes.size(), 1152u);  // every MPEG audio frame of this file
    }
  EXPECT_EQ(afterBreak, 1u);

  h = open(path);
  ASSERT_NE(h, nullptr);
  std::vector<Read> kept = readAll(h);
  close(h);
  size_t flagged = 0;
  for (const Read& r : kept) flagged += r.discontinuity;
  EXPECT_EQ(flagged, 1u);
  EXPECT_EQ(kept.size(), plain.size());
}

TEST_F(TsTest, DamagedPacketsAreSkippedAndReadingGoesOn) {
  void* h = open(media("damaged.ts"));
  ASSERT_NE(h, nullptr);
  std::vector<Read> frames = readAll(h);
  close(h);
  size_t flagged = 0;
  for (const Read& r : frames) flagged += r.discontinuity;
  EXPECT_GE(flagged, 2u);
  EXPECT_GT(frames.size(), 200u);
}

// Four header bytes of one packet damaged: the packet is lost there, and
// only a frame that holds the gap may be marked. Probing at open (a gap in
// the audio early on) and a seek's search (a gap in the video before the
// target) read over the gap without handing anything out; the frames read
// next, up to the first picture (the file's first, or the key frame the
// seek lands on), are intact and must come as they come from the clean
// file: with their kind, unmarked.
TEST_F(TsTest, GapsReadOverByOpenOrSeekMarkNoDeliveredFrame) {
  struct Case {
    const char* name;
    bool audio;  // which stream loses the packet
    int percent;
    int32_t seekMs;  // 0: reading from the open
  } cases[] = {{"mpeg2_mp2.ts", true, 4, 0},
               {"h264_aac.ts", true, 4, 0},
               {"mpeg2_mp2.ts", false, 40, 2000},
               {"h264_aac.ts", false, 40, 2000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(c.percent) + "%");
    std::vector<uint8_t> file = readFile(media(c.name));
    TsdOpenOutput out{};
    void* h = open(media(c.name), 0, &out);
    ASSERT_NE(h, nullptr);
    close(h);
    const int vpid = out.selection.videoPid;
    const int lossPid = c.audio ? out.selection.audioPid : vpid;
    std::vector<uint8_t> damaged = file;
    size_t at = file.size() * size_t(c.percent) / 100 / 188 * 188;
    while (at + 188 <= file.size() &&
           ((((file[at + 1] & 0x1F) << 8) | file[at + 2]) != lossPid || (file[at + 1] & 0x40)))
      at += 188;
    ASSERT_LT(at + 188, file.size());
    std::memset(&damaged[at], 0xFF, 4);
    std::string path = scratch("gap.ts");
    writeFile(path, damaged);

    std::vector<Read> read[2];
    for (int pass = 0; pass < 2; ++pass) {
      void* d = open(pass ? path : media(c.name));
      ASSERT_NE(d, nullptr);
      if (c.seekMs) {
        TsdSeekInput in{c.seekMs, 0x31};
        TsdSeekOutput reached{};
        ASSERT_EQ(call(TSD_OP_SEEK, d, &in, &reached), 1) << lastError(d);
      }
      for (int n = 0; n < 50; ++n) {
        TsdReadInput in{};
        TsdFrame f{};
        ASSERT_EQ(call(TSD_OP_READ, d, &in, &f), 1) << lastError(d);
        read[pass].push_back({f.pid, f.kind, f.timeMs, f.discontinuity,
                              std::vector<uint8_t>(f.data, f.data + f.length)});
        if (f.pid == vpid) break;
      }
      close(d);
    }
    const std::vector<Read>& want = read[0];
    const std::vector<Read>& got = read[1];
    ASSERT_EQ(want.back().pid, vpid);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(want[i].discontinuity, 0);
      EXPECT_NE(want[i].kind, 0u);
      EXPECT_EQ(got[i].pid, want[i].pid);
      EXPECT_EQ(got[i].kind, want[i].kind);
      EXPECT_EQ(got[i].discontinuity, 0);
      EXPECT_EQ(got[i].timeMs, want[i].timeMs);
      EXPECT_TRUE(got[i].bytes == want[i].bytes);
    }
  }
}

TEST_F(TsTest, ProgramSelectionSwitchesStreams) {
  TsdOpenOutput out{};
  void* h = open(media("multi_program.ts"), 0, &out);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(out.programCount, 2);
  EXPECT_EQ(out.selection.programNumber, 1);
  TsdProgramListOutput list{};
  ASSERT_EQ(call(TSD_OP_PROGRAM_LIST, h, nullptr, &list), 1);
  ASSERT_EQ(list.count, 2);
  const TsdProgramListEntry& two = list.entries[1];
  EXPECT_EQ(two.programNumber, 2);
  ASSERT_EQ(two.streamCount, 2);
  int32_t vpid2 = two.streams[0].pid, apid2 = two.streams[1].pid;

  struct { int32_t program; uint32_t request; int32_t apid; int32_t code; } refusals[] = {
      {7, 0x10000000 | 0x3, 0, -4016},       // no such program
      {2, 0x10000000 | 0x3, 0x1FFE, -4021},  // no audio stream with that PID
  };
  for (auto c : refusals) {
    TsdSelectInput in{};
    in.request = c.request;
    in.programNumber = c.program;
    in.pid[1] = c.apid;
    TsdSelectOutput sel{};
    EXPECT_EQ(call(TSD_OP_SELECT, h, &in, &sel), 0);
    EXPECT_EQ(lastError(h), c.code);
  }

  TsdSelectInput in{};
  in.request = 0x10000000 | 0x3;
  in.programNumber = 2;
  TsdSelectOutput sel{};
  ASSERT_EQ(call(TSD_OP_SELECT, h, &in, &sel), 1) << lastError(h);
  EXPECT_EQ(sel.selection.programNumber, 2);
  EXPECT_EQ(sel.selection.videoPid, vpid2);
  EXPECT_EQ(sel.selection.audioPid, apid2);
  std::vector<Read> frames = readAll(h);
  ASSERT_FALSE(frames.empty());
  for (const Read& r : frames) EXPECT_TRUE(r.pid == vpid2 || r.pid == apid2) << r.pid;

  // Asking again for the PID already selected leaves the kind alone and
  // clears its change bit in the caller's record.
  TsdSelectInput again{};
  again.request = 0x2;
  again.pid[1] = apid2;
  ASSERT_EQ(call(TSD_OP_SELECT, h, &again, &sel), 1);
  EXPECT_EQ(again.request & 0x2, 0u);
  close(h);
}

uint32_t crc32(const uint8_t* p, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= uint32_t(p[i]) << 24;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

// Rewrites every PMT of a file of 188-byte packets: `edit` gets the section
// without its CRC and may change it; the CRC is recomputed (and then broken
// when `breakCrc`). The section must still fit its packet.
template <typename Edit>
std::vector<uint8_t> rewritePmt(std::vector<uint8_t> file, Edit edit, bool breakCrc = false) {
  int pmtPid = -1;
  for (size_t i = 0; i + 188 <= file.size() && pmtPid < 0; i += 188) {
    const uint8_t* p = &file[i];
    if ((((p[1] & 0x1F) << 8) | p[2]) == 0 && (p[1] & 0x40)) pmtPid = ((p[15] & 0x1F) << 8) | p[16];
  }
  for (size_t i = 0; i + 188 <= file.size(); i += 188) {
    uint8_t* p = &file[i];
    if ((((p[1] & 0x1F) << 8) | p[2]) != pmtPid || !(p[1] & 0x40)) continue;
    uint8_t* sec = p + 5;
    int len = ((sec[1] & 0x0F) << 8) | sec[2];
    std::vector<uint8_t> body(sec, sec + 3 + len - 4);
    edit(body);
    int newLen = int(body.size()) + 4 - 3;
    body[1] = uint8_t((body[1] & 0xF0) | (newLen >> 8));
    body[2] = uint8_t(newLen);
    uint32_t crc = crc32(body.data(), body.size()) ^ (breakCrc ? 1u : 0u);
    for (int k = 3; k >= 0; --k) body.push_back(uint8_t(crc >> (8 * k)));
    if (body.size() > 183) ADD_FAILURE() << "section too long";
    std::memset(sec, 0xFF, 183);
    std::memcpy(sec, body.data(), std::min<size_t>(body.size(), 183));
  }
  return file;
}

// The elementary-stream loop of a PMT starts after program_info_length.
size_t esLoop(const std::vector<uint8_t>& s) { return 12 + (((s[10] & 0x0F) << 8) | s[11]); }

TEST_F(TsTest, PmtTablesAndDescriptors) {
  std::vector<uint8_t> base = readFile(media("mpeg2_mp2.ts"));
  // The audio entry is the second one of the loop.
  auto audioEntry = [](std::vector<uint8_t>& s) {
    size_t e = esLoop(s);
    return e + 5 + (((s[e + 3] & 0x0F) << 8) | s[e + 4]);
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    int32_t openCode;        // 0: opens
    uint32_t audioTag;       // format tag of the audio stream in the program list
    const char* language;
  };
  std::vector<Case> cases;
  cases.push_back({"crc", rewritePmt(base, [](std::vector<uint8_t>&) {}, true), -1008, 0, ""});
  cases.push_back({"ac3 descriptor on a private stream",
                   rewritePmt(base, [&](std::vector<uint8_t>& s) {
                     size_t a = audioEntry(s);
                     s[a] = 0x06;
                     const uint8_t d[] = {0x6A, 0x01, 0x00};
                     s.insert(s.begin() + long(s.size()), d, d + 3);
                     int n = (((s[a + 3] & 0x0F) << 8) | s[a + 4]) + 3;
                     s[a + 3] = uint8_t(0xF0 | (n >> 8));
                     s[a + 4] = uint8_t(n);
                   }),
                   0, 0x2000, ""});
  cases.push_back({"language of the last entry",
                   rewritePmt(base, [&](std::vector<uint8_t>& s) {
                     size_t a = audioEntry(s);
                     const uint8_t d[] = {0x0A, 0x08, 'e', 'n', 'g', 0, 'p', 'o', 'r', 0};
                     s.insert(s.begin() + long(s.size()), d, d + sizeof(d));
                     int n = (((s[a + 3] & 0x0F) << 8) | s[a + 4]) + int(sizeof(d));
                     s[a + 3] = uint8_t(0xF0 | (n >> 8));
                     s[a + 4] = uint8_t(n);
                   }),
                   0, 0x50, "por"});
  cases.push_back({"descriptor running past its loop",
                   rewritePmt(base, [&](std::vector<uint8_t>& s) {
                     size_t a = audioEntry(s);
                     const uint8_t d[] = {0x0A, 0x7F, 'e', 'n', 'g', 0};
                     s.insert(s.begin() + long(s.size()), d, d + sizeof(d));
                     int n = (((s[a + 3] & 0x0F) << 8) | s[a + 4]) + int(sizeof(d));
                     s[a + 3] = uint8_t(0xF0 | (n >> 8));
                     s[a + 4] = uint8_t(n);
                   }),
                   0, 0x50, ""});
  cases.push_back({"ES_info_length past the section",
                   rewritePmt(base, [&](std::vector<uint8_t>& s) {
                     size_t a = audioEntry(s);
                     s[a + 3] = 0xF0;
                     s[a + 4] = 0x40;
                   }),
                   -1008, 0, ""});
  for (Case& c : cases) {
    std::string path = scratch("pmt.ts");
    writeFile(path, c.file);
    TsdOpenOutput out{};
    void* h = open(path, 0, &out);
    if (c.openCode) {
      EXPECT_EQ(h, nullptr) << c.name;
      EXPECT_EQ(lastError(nullptr), c.openCode) << c.name;
      continue;
    }
    ASSERT_NE(h, nullptr) << c.name << " " << lastError(nullptr);
    ASSERT_EQ(out.programCount, 1);
    const TsdProgramListEntry& e = static_cast<TsdProgramListEntry*>(out.programList)[0];
    bool found = false;
    for (int i = 0; i < e.streamCount; ++i) {
      if (!(e.streams[i].kind & TSD_KIND_AUDIO)) continue;
      found = true;
      EXPECT_EQ(e.streams[i].u.audio.formatTag, c.audioTag) << c.name;
      EXPECT_STREQ(e.streams[i].u.audio.language, c.language) << c.name;
    }
    EXPECT_TRUE(found) << c.name;
    close(h);
  }
}

TEST_F(TsTest, SeekToZeroRewindsAndSeekPastTheEndChangesNothing) {
  void* h = open(media("mpeg2_mp2.ts"));
  ASSERT_NE(h, nullptr);
  std::vector<Read> all = readAll(h);
  ASSERT_GT(all.size(), 20u);

  TsdSeekInput zero{0, 0};
  TsdSeekOutput at{};
  ASSERT_EQ(call(TSD_OP_SEEK, h, &zero, &at), 1);
  EXPECT_EQ(at.reachedMs, 0);
  TsdReadInput in{};
  TsdFrame f{};
  ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1);
  EXPECT_EQ(std::vector<uint8_t>(f.data, f.data + f.length), all[0].bytes);
  for (int i = 1; i < 10; ++i) ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1);

  TsdSeekInput far{600000, 0x21};
  EXPECT_EQ(call(TSD_OP_SEEK, h, &far, &at), 0);
  EXPECT_EQ(lastError(h), -2001);
  close(h);
}

// Time stamps far ahead of the bytes (a second frame at 40 ms, then frames
// ten seconds on, all in 20 kilobytes) hold the byte rate at its floor:
// a backward seek to 3 s jumped from the first frame past the second one,
// met a later frame, stepped back to the first and jumped again, until its
// guard gave up a hundred thousand rounds later. It must land on the last
// key frame before the target, the second one.
TEST_F(TsTest, BackwardSeekInAFileOfFewBytesPerSecondLandsOnTheKeyFrameBefore) {
  FileStart start = startOf("mpeg2_video_only.ts");
  ASSERT_FALSE(start.tables.empty());
  ASSERT_EQ(start.picture.at(3), 0xB3);  // a sequence header
  const int vpid = start.videoPid;
  const std::vector<uint8_t>& picture = start.picture;
  std::vector<uint8_t> file = start.tables;
  std::map<int, int> cc;
  const int64_t base = 90000;
  for (int i = 0; i < 110; ++i) {  // past the 19,200 bytes the open's probe needs
    int64_t ms = i == 0 ? 0 : i == 1 ? 40 : 10000 + 40 * i;
    std::vector<uint8_t> pes = pesPackets(cc, vpid, 0xE0, true, base + 90 * ms, picture);
    file.insert(file.end(), pes.begin(), pes.end());
  }
  std::string path = scratch("ahead.ts");
  writeFile(path, file);
  void* h = open(path);
  ASSERT_NE(h, nullptr);
  TsdSeekInput back{3000, 0x11};
  TsdSeekOutput at{};
  ASSERT_EQ(call(TSD_OP_SEEK, h, &back, &at), 1) << lastError(h);
  EXPECT_EQ(at.reachedMs, 40);
  TsdReadInput in{};
  TsdFrame f{};
  ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1);
  EXPECT_EQ(f.timeMs, 40);
  close(h);
}

// One key frame at the start, then a hundred other pictures within the first
// second, and an audio frame at 20 s that makes the duration: 20 s in 20 KB.
// A backward seek from the middle to 3 s met the end before any key frame,
// stepped back, jumped forward to the same place and met the end again,
// until its guard gave up. It must land on the key frame at the start.
TEST_F(TsTest, BackwardSeekThatMeetsTheEndFirstLandsOnTheKeyFrameBefore) {
  FileStart start = startOf("mpeg2_mp2.ts");
  ASSERT_FALSE(start.tables.empty());
  ASSERT_EQ(start.picture.at(3), 0xB3);  // a sequence header
  ASSERT_FALSE(start.audio.empty());
  const int vpid = start.videoPid, apid = start.audioPid;
  const std::vector<uint8_t>& picture = start.picture;
  std::vector<uint8_t> file = start.tables;
  std::vector<uint8_t> other = {0, 0, 1, 0, 0x00, 0x10};  // a picture of type P
  other.resize(120, 0x55);
  std::map<int, int> cc;
  const int64_t base = 90000;
  for (int i = 0; i < 106; ++i) {
    std::vector<uint8_t> pes = pesPackets(cc, vpid, 0xE0, true, base + 90 * 10 * i, i == 0 ? picture : other);
    file.insert(file.end(), pes.begin(), pes.end());
  }
  std::vector<uint8_t> last = pesPackets(cc, apid, 0xC0, true, base + 90 * 20000, start.audio);
  file.insert(file.end(), last.begin(), last.end());
  std::string path = scratch("end_first.ts");
  writeFile(path, file);
  void* h = open(path);
  ASSERT_NE(h, nullptr);
  TsdReadInput in{};
  TsdFrame f{};
  for (int i = 0; i < 50; ++i) ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1);
  TsdSeekInput back{3000, 0x11};
  TsdSeekOutput at{};
  ASSERT_EQ(call(TSD_OP_SEEK, h, &back, &at), 1) << lastError(h);
  EXPECT_EQ(at.reachedMs, 0);
  ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1);
  EXPECT_EQ(f.timeMs, 0);
  EXPECT_EQ(std::vector<uint8_t>(f.data, f.data + f.length), picture);
  close(h);
}

// Open GOPs: pictures that follow a key frame in the file but show before it.
// A forward key-frame seek whose byte estimate landed between such a key
// frame and those pictures met only pictures before the target, passed over
// the key frame and landed on the next one, or failed with the end of the
// data past the last one. From the start (rewound, and after its first
// picture, which moves the estimate), a seek to every few milliseconds
// before each key frame (as the key-frame checker counts them) up to the
// time reported for it must land on that frame, and so must a backward seek
// to that time (the reported time is truncated to whole milliseconds).
TEST_F(TsTest, SeeksBeforeAnOpenGopKeyFrameLandOnIt) {
  using GetChecker = int32_t (*)(void*, uint32_t, TsdKeyFrameChecker*);
  auto getChecker = reinterpret_cast<GetChecker>(plugin_->symbol("TSD_GetKeyFrameChecker"));
  ASSERT_NE(getChecker, nullptr);
  const struct {
    const char* file;
    uint32_t codec;
  } cases[] = {{"hevc_open_gop.ts", 0xFFFF0024}, {"h264_open_gop.ts", 0xFFFF001B},
               {"mpeg2_open_gop.ts", 0xFFFF0002}};
  for (const auto& c : cases) {
    void* h = open(media(c.file));
    ASSERT_NE(h, nullptr) << c.file;
    TsdKeyFrameChecker isKey = nullptr;
    ASSERT_EQ(getChecker(h, c.codec, &isKey), 1) << c.file;
    ASSERT_NE(isKey, nullptr);
    TsdVideoHeader header{};
    std::vector<Read> keys;
    for (Read& r : readAll(h))
      if (isKey(&header, r.bytes.data(), int32_t(r.bytes.size()))) keys.push_back(r);
    ASSERT_GE(keys.size(), 3u) << c.file;
    std::vector<std::string> wrong;
    auto seekFromStart = [&](int32_t target, uint32_t flags, const Read& want, bool readFirst) {
      TsdSeekInput zero{0, flags}, in{target, flags};
      TsdSeekOutput at{};
      TsdReadInput rin{};
      TsdFrame f{};
      std::string what = std::string(c.file) + (readFirst ? " after the first picture" : "") +
                         " seek " + std::to_string(target) + " flags " + std::to_string(flags) + ": ";
      if (call(TSD_OP_SEEK, h, &zero, &at) != 1 || (readFirst && call(TSD_OP_READ, h, &rin, &f) != 1) ||
          call(TSD_OP_SEEK, h, &in, &at) != 1 || call(TSD_OP_READ, h, &rin, &f) != 1)
        wrong.push_back(what + "failed " + std::to_string(lastError(h)));
      else if (at.reachedMs != want.timeMs || f.timeMs != want.timeMs ||
               std::vector<uint8_t>(f.data, f.data + f.length) != want.bytes)
        wrong.push_back(what + "landed " + std::to_string(at.reachedMs) + ", next frame " +
                        std::to_string(f.timeMs) + ", want " + std::to_string(want.timeMs));
    };
    for (bool readFirst : {false, true}) {
      for (size_t k = 1; k < keys.size(); ++k) {
        for (int32_t target = keys[k].timeMs - 150; target < keys[k].timeMs; target += 3)
          seekFromStart(target, 0x21, keys[k], readFirst);
        seekFromStart(keys[k].timeMs, 0x21, keys[k], readFirst);
        seekFromStart(keys[k].timeMs, 0x11, keys[k], readFirst);
      }
    }
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " seeks went wrong, first: " << wrong.front();
    close(h);
  }
}

// One key frame at the start, then other pictures up to 20 s in 20 KB: a
// forward key-frame seek to 3 s finds no key frame up to the end and steps
// back looking for one before where it landed; it must end with the end of
// the data, not on the key frame before the target, and reading goes on
// where it was.
TEST_F(TsTest, ForwardKeySeekWithNoKeyFrameAfterTheTargetEndsAtTheEnd) {
  FileStart start = startOf("mpeg2_video_only.ts");
  ASSERT_FALSE(start.tables.empty());
  ASSERT_EQ(start.picture.at(3), 0xB3);  // a sequence header
  std::vector<uint8_t> file = start.tables;
  std::vector<uint8_t> other = {0, 0, 1, 0, 0x00, 0x10};  // a picture of type P
  other.resize(120, 0x55);
  std::map<int, int> cc;
  const int64_t base = 90000;
  for (int i = 0; i < 106; ++i) {
    std::vector<uint8_t> pes =
        pesPackets(cc, start.videoPid, 0xE0, true, base + 90 * 190 * i, i == 0 ? start.picture : other);
    file.insert(file.end(), pes.begin(), pes.end());
  }
  std::string path = scratch("no_key_after.ts");
  writeFile(path, file);
  void* h = open(path);
  ASSERT_NE(h, nullptr);
  TsdReadInput in{};
  TsdFrame f{};
  for (int i = 0; i < 10; ++i) ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1);
  TsdSeekInput forward{3000, 0x21};
  TsdSeekOutput at{};
  EXPECT_EQ(call(TSD_OP_SEEK, h, &forward, &at), 0);
  EXPECT_EQ(lastError(h), -2001);
  ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1);
  EXPECT_EQ(f.timeMs, 190 * 10);
  close(h);
}

// With a reader per kind, each kind is read on its own and gives the same
// frames as the shared reader; a kind without a selected stream is refused.
TEST_F(TsTest, SeparateReadersPerKind) {
  void* h = open(media("h264_aac.ts"));
  ASSERT_NE(h, nullptr);
  std::vector<Read> plain = readAll(h);
  close(h);
  h = open(media("h264_aac.ts"), TSD_OPEN_SEPARATE_READERS);
  ASSERT_NE(h, nullptr);
  for (uint32_t kind : {TSD_KIND_AUDIO, TSD_KIND_VIDEO}) {
    std::vector<Read> mine;
    for (;;) {
      TsdReadInput in{};
      in.kind = int32_t(kind);
      TsdFrame f{};
      if (call(TSD_OP_READ, h, &in, &f) != 1) {
        EXPECT_EQ(lastError(h), -10009);
        break;
      }
      mine.push_back({f.pid, f.kind, f.timeMs, f.discontinuity,
                      std::vector<uint8_t>(f.data, f.data + f.length)});
    }
    std::vector<Read> want;
    for (const Read& r : plain)
      if (r.kind == kind) want.push_back(r);
    ASSERT_EQ(mine.size(), want.size()) << kind;
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(mine[i].bytes, want[i].bytes) << kind << " " << i;
      EXPECT_EQ(mine[i].timeMs, want[i].timeMs) << kind << " " << i;
    }
  }
  struct { int32_t kind; int32_t code; } refusals[] = {{3, -4013}, {16, -4009}, {256, -4011}};
  for (auto r : refusals) {
    TsdReadInput in{};
    in.kind = r.kind;
    TsdFrame f{};
    EXPECT_EQ(call(TSD_OP_READ, h, &in, &f), 0);
    EXPECT_EQ(lastError(h), r.code);
  }
  close(h);
}

// Streams declared by the host (hint kind 3) are read without looking for
// a PAT or PMT in the file.
// With one reader per kind a seek places the video reader on a key frame
// and then looks for the time it reached on the audio reader: the first
// audio frame read after the seek is the first one at or after that time.
TEST_F(TsTest, SeparateReadersSeekTheAudioToTheTimeTheVideoReached) {
  void* h = open(media("h264_aac.ts"));
  ASSERT_NE(h, nullptr);
  std::vector<Read> plain = readAll(h);
  close(h);
  h = open(media("h264_aac.ts"), TSD_OPEN_SEPARATE_READERS);
  ASSERT_NE(h, nullptr);
  for (int32_t target : {2600, 900, 1700}) {
    TsdSeekInput si{target, 0x21};
    TsdSeekOutput at{};
    ASSERT_EQ(call(TSD_OP_SEEK, h, &si, &at), 1) << target << " " << lastError(h);
    EXPECT_GE(at.reachedMs, target);
    TsdReadInput in{};
    TsdFrame f{};
    in.kind = TSD_KIND_VIDEO;
    ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1) << target;
    EXPECT_EQ(f.timeMs, at.reachedMs) << target;
    const Read* want = nullptr;
    for (const Read& r : plain)
      if (r.kind == TSD_KIND_AUDIO && r.timeMs >= at.reachedMs) {
        want = &r;
        break;
      }
    ASSERT_NE(want, nullptr) << target;
    in.kind = TSD_KIND_AUDIO;
    ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1) << target;
    EXPECT_EQ(f.timeMs, want->timeMs) << target << " reached " << at.reachedMs;
    EXPECT_EQ(std::vector<uint8_t>(f.data, f.data + f.length), want->bytes) << target;
  }
  close(h);
}

TEST_F(TsTest, HostDeclaredStreams) {
  TsdOpenOutput probe{};
  void* h = open(media("mpeg2_mp2.ts"), 0, &probe);
  ASSERT_NE(h, nullptr);
  std::vector<Read> plain = readAll(h);
  close(h);
  TsdHint audio{3, int32_t(sizeof(TsdHint)), nullptr, 1, 0x03, 5, probe.selection.audioPid, 0};
  TsdHint video{3, int32_t(sizeof(TsdHint)), &audio, 1, 0x02, 5, probe.selection.videoPid, 0};
  TsdOpenRecord r = record(media("mpeg2_mp2.ts"));
  r.hints = &video;
  TsdOpenOutput out{};
  ASSERT_EQ(call(TSD_OP_OPEN, nullptr, &r, &out), 1) << lastError(nullptr);
  EXPECT_EQ(out.timingKnown, 0);
  EXPECT_EQ(out.selection.programNumber, 5);
  EXPECT_EQ(out.selection.videoPid, probe.selection.videoPid);
  EXPECT_EQ(out.selection.audioPid, probe.selection.audioPid);
  std::vector<Read> frames = readAll(out.handle);
  close(out.handle);
  // Host-declared streams read the file as a growing one: the last video PES
  // has no successor yet and stays gathered for data still to come.
  ASSERT_EQ(frames.size() + 1, plain.size());
  for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(frames[i].bytes, plain[i].bytes) << i;
}

// Op 11 with caller buffers: each frame lands in the kind's current buffer,
// and the next buffer given for that kind takes over, so the caller
// alternates two buffers per kind.
TEST_F(TsTest, SecondRecordLayoutAlternatesCallerBuffers) {
  void* h = open(media("mpeg2_mp2.ts"));
  ASSERT_NE(h, nullptr);
  std::vector<Read> plain = readAll(h);
  close(h);

  std::vector<uint8_t> bufs[2][2];  // [kind][which]
  for (auto& k : bufs)
    for (auto& b : k) b.resize(1 << 20);
  TsdOpenRecord r = record(media("mpeg2_mp2.ts"), TSD_OPEN_PRESETS | TSD_OPEN_CALLER_BUFFERS);
  r.presetSize[0] = 1 << 20;
  r.presetSize[1] = 65536;
  r.callerBuffer[0] = bufs[0][0].data();
  r.callerBuffer[1] = bufs[1][0].data();
  TsdOpenOutput out{};
  ASSERT_EQ(call(TSD_OP_OPEN, nullptr, &r, &out), 1) << lastError(nullptr);
  int current[2] = {0, 0};
  size_t n = 0;
  for (;; ++n) {
    TsdRead2Input in{};
    in.next[0] = bufs[0][1 - current[0]].data();
    in.next[1] = bufs[1][1 - current[1]].data();
    TsdFrame2 f{};
    if (call(TSD_OP_READ2, out.handle, &in, &f) != 1) {
      EXPECT_EQ(lastError(out.handle), -10009);
      break;
    }
    ASSERT_LT(n, plain.size());
    int k = f.kind == TSD_KIND_VIDEO ? 0 : 1;
    EXPECT_EQ(f.data, bufs[k][current[k]].data()) << n;
    EXPECT_EQ(f.switchedKinds, 1u << k) << n;
    EXPECT_EQ(std::vector<uint8_t>(f.data, f.data + f.length), plain[n].bytes) << n;
    current[k] = 1 - current[k];
  }
  EXPECT_EQ(n, plain.size());
  close(out.handle);
}

// In the packet loop a unit start whose payload is no PES header is more of
// the PES being gathered: a stray start flag on a video packet changes no
// frame.
TEST_F(TsTest, PacketLoopTakesAStrayUnitStartAsMoreOfThePes) {
  std::vector<uint8_t> file = readFile(media("mpeg2_mp2.ts"));
  TsdOpenOutput out{};
  void* h = open(media("mpeg2_mp2.ts"), TSD_OPEN_PACKET_LOOP, &out);
  ASSERT_NE(h, nullptr);
  std::vector<Read> plain = readAll(h);
  close(h);
  const int vpid = out.selection.videoPid;
  int starts = 0, inPes = 0;
  size_t marked = 0;
  for (size_t i = 0; i + 188 <= file.size() && !marked; i += 188) {
    uint8_t* p = &file[i];
    if ((((p[1] & 0x1F) << 8) | p[2]) != vpid) continue;
    if (p[1] & 0x40) {
      starts++;
      inPes = 0;
      continue;
    }
    ++inPes;
    const uint8_t* pl = p + 4 + ((p[3] & 0x20) ? 1 + p[4] : 0);
    if (starts == 5 && inPes >= 3 && (p[3] & 0x10) && !(pl[0] == 0 && pl[1] == 0 && pl[2] == 1)) {
      p[1] |= 0x40;
      marked = i;
    }
  }
  ASSERT_NE(marked, 0u);
  std::string path = scratch("stray_unit_start.ts");
  writeFile(path, file);
  h = open(path, TSD_OPEN_PACKET_LOOP);
  ASSERT_NE(h, nullptr);
  std::vector<Read> frames = readAll(h);
  close(h);
  ASSERT_EQ(frames.size(), plain.size());
  for (size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(frames[i].pid, plain[i].pid) << i;
    EXPECT_EQ(frames[i].bytes, plain[i].bytes) << i;
  }
}

// Op 11 runs its own packet loop: from a file that starts with garbage it
// gives the same frames as op 10, the last video PES included, and keeps
// answering "end of data" afterwards; with one reader per kind it reads only
// the kind asked for.
TEST_F(TsTest, SecondRecordLayoutReadsWhatTheFirstReads) {
  std::vector<uint8_t> file = readFile(media("mpeg2_mp2.ts"));
  std::vector<uint8_t> garbage(100, 0x11);
  garbage.insert(garbage.end(), file.begin(), file.end());
  std::string path = scratch("garbage_first.ts");
  writeFile(path, garbage);

  struct Case {
    uint32_t flags;
    int32_t kind;
  } cases[] = {{0, 0}, {TSD_OPEN_PACKET_LOOP, 0}, {TSD_OPEN_SEPARATE_READERS, TSD_KIND_AUDIO},
               {TSD_OPEN_SEPARATE_READERS, TSD_KIND_VIDEO}};
  for (const Case& c : cases) {
    void* h = open(path);
    ASSERT_NE(h, nullptr);
    std::vector<Read> plain = readAll(h);
    close(h);
    if (c.kind) {
      std::vector<Read> only;
      for (const Read& r : plain)
        if (r.kind == uint32_t(c.kind)) only.push_back(r);
      plain.swap(only);
    }
    ASSERT_FALSE(plain.empty());

    h = open(path, c.flags);
    ASSERT_NE(h, nullptr);
    size_t n = 0;
    for (;; ++n) {
      TsdRead2Input in{};
      in.kind = c.kind;
      TsdFrame2 f{};
      if (call(TSD_OP_READ2, h, &in, &f) != 1) break;
      ASSERT_LT(n, plain.size()) << c.flags;
      EXPECT_EQ(f.kind, plain[n].kind) << c.flags << " " << n;
      EXPECT_EQ(f.timeMs, plain[n].timeMs) << c.flags << " " << n;
      EXPECT_EQ(std::vector<uint8_t>(f.data, f.data + f.length), plain[n].bytes)
          << c.flags << " " << n;
    }
    EXPECT_EQ(n, plain.size()) << c.flags;
    EXPECT_EQ(lastError(h), -10009) << c.flags;
    TsdRead2Input in{};
    in.kind = c.kind;
    TsdFrame2 f{};
    EXPECT_EQ(call(TSD_OP_READ2, h, &in, &f), 0);
    EXPECT_EQ(lastError(h), -10009);
    close(h);
  }
}

// Op 11's packet loop on damaged input: up to 40 random bytes of a short
// file are changed. Each such file still opens (or is refused with an open
// error), and reading each kind runs to "end of data" without any other
// error, handing out about what the clean file holds: each changed byte
// costs at most one frame and adds at most one.
TEST_F(TsTest, SecondRecordLayoutSurvivesMutatedFiles) {
  std::vector<uint8_t> base = readFile(media("h264_aac.ts"));
  base.resize(std::min<size_t>(base.size(), 300 * 188));
  std::string path = scratch("mutated_read2.ts");
  const uint32_t modes[] = {0u, uint32_t(TSD_OPEN_SEPARATE_READERS)};
  // Frames of one read loop: of every kind (one reader), or of `kind`.
  auto readLoop = [&](void* h, int32_t kind, int32_t* end) {
    int frames = 0;
    *end = 0;
    for (int n = 0; n < 5000; ++n) {
      TsdRead2Input in{};
      in.kind = kind;
      TsdFrame2 fr{};
      if (call(TSD_OP_READ2, h, &in, &fr) != 1) {
        *end = lastError(h);
        break;
      }
      frames++;
      if (fr.length > 0) {
        volatile uint8_t sink = fr.data[0] ^ fr.data[fr.length - 1];
        (void)sink;
      }
    }
    return frames;
  };
  const int32_t kinds[] = {int32_t(TSD_KIND_VIDEO), int32_t(TSD_KIND_AUDIO)};
  int clean[2][2] = {};  // [mode][kind]
  writeFile(path, base);
  for (int m = 0; m < 2; ++m) {
    void* h = open(path, modes[m]);
    ASSERT_NE(h, nullptr);
    for (int k = 0; k < (m ? 2 : 1); ++k) {
      int32_t end = 0;
      clean[m][k] = readLoop(h, kinds[k], &end);
      EXPECT_EQ(end, -10009);
      EXPECT_GT(clean[m][k], 20);
    }
    close(h);
  }

  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  const int32_t openErrors[] = {-1007, -1008, -1010, -1012, -17};
  int opened = 0, tried = 0;
  for (int round = 0; round < 150; ++round) {
    std::vector<uint8_t> f = base;
    int changes = 1 + int(next() % 40);
    for (int i = 0; i < changes; ++i) f[next() % f.size()] = uint8_t(next());
    writeFile(path, f);
    for (int m = 0; m < 2; ++m) {
      SCOPED_TRACE("round " + std::to_string(round) + " mode " + std::to_string(modes[m]));
      tried++;
      void* h = open(path, modes[m]);
      if (h == nullptr) {
        EXPECT_NE(std::find(std::begin(openErrors), std::end(openErrors), globalError()),
                  std::end(openErrors))
            << globalError();
        continue;
      }
      opened++;
      for (int k = 0; k < (m ? 2 : 1); ++k) {
        int32_t end = 0;
        int frames = readLoop(h, kinds[k], &end);
        if (m && end == -4007 - k && frames == 0) continue;  // that kind's stream is not there
        EXPECT_EQ(end, -10009) << "after " << frames << " frames";
        EXPECT_GE(frames, clean[m][k] - changes);
        EXPECT_LE(frames, clean[m][k] + changes);
      }
      close(h);
    }
  }
  EXPECT_GE(opened * 10, tried * 9);
}

// A growing file has no known duration: nothing divides by it, a seek to a
// time is refused and a seek to 0 rewinds.
TEST_F(TsTest, GrowingFileHasNoDurationAndSeeksOnlyToZero) {
  TsdOpenOutput out{};
  void* h = open(media("mpeg2_mp2.ts"), TSD_OPEN_GROWING, &out);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(out.timingKnown, 0);
  TsdReadInput in{};
  TsdFrame f{};
  ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1);
  std::vector<uint8_t> first(f.data, f.data + f.length);
  ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1);
  TsdSeekInput later{1500, 0};
  TsdSeekOutput at{};
  EXPECT_EQ(call(TSD_OP_SEEK, h, &later, &at), 0);
  EXPECT_EQ(lastError(h), -4025);
  TsdSeekInput zero{0, 0};
  ASSERT_EQ(call(TSD_OP_SEEK, h, &zero, &at), 1);
  ASSERT_EQ(call(TSD_OP_READ, h, &in, &f), 1);
  EXPECT_EQ(std::vector<uint8_t>(f.data, f.data + f.length), first);
  close(h);
}

// Exact-count peeks come from the cache, skips to the last cached byte
// reset the offset, and a relative seek by the cached count seeks the file
// by zero.
TEST_F(TsTest, FileModuleCacheRules) {
  using SetFunc = void (*)(void* const*);
  using Open = FioHandle* (*)(const char*, uint32_t, uint32_t, uint32_t);
  using Peek = int32_t (*)(const uint8_t**, uint32_t, FioHandle*);
  using Skip = int32_t (*)(uint32_t, FioHandle*);
  using Seek64 = int32_t (*)(FioHandle*, int64_t, int32_t);
  using Tell64 = int64_t (*)(FioHandle*);
  using Close = int32_t (*)(FioHandle*);
  using SetCache = int32_t (*)(FioHandle*, uint32_t);
  auto setFunc = reinterpret_cast<SetFunc>(plugin_->symbol("__TS_DMX__fioSetFunc"));
  auto fopen_ = reinterpret_cast<Open>(plugin_->symbol("__TS_DMX__fioOpen"));
  auto peek = reinterpret_cast<Peek>(plugin_->symbol("__TS_DMX__fioShowBytesByPtr"));
  auto skip = reinterpret_cast<Skip>(plugin_->symbol("__TS_DMX__fioSkipBytes"));
  auto seek = reinterpret_cast<Seek64>(plugin_->symbol("__TS_DMX__fioSeek64"));
  auto tell = reinterpret_cast<Tell64>(plugin_->symbol("__TS_DMX__fioTell64"));
  auto fclose_ = reinterpret_cast<Close>(plugin_->symbol("__TS_DMX__fioClose"));
  auto setCache = reinterpret_cast<SetCache>(plugin_->symbol("__TS_DMX__fioSetCacheReadSize"));
  ASSERT_TRUE(setFunc && fopen_ && peek && skip && seek && tell && fclose_ && setCache);

  static int reads, opens;
  static KvrFreadFn realRead;
  static KvrFopenFn realOpen;
  const KvrHostServices& s = Host::get().services();
  realRead = s.fread_fn;
  realOpen = s.fopen_fn;
  reads = opens = 0;
  KvrFreadFn countingRead = [](void* b, size_t sz, size_t n, void* f) { reads++; return realRead(b, sz, n, f); };
  KvrFopenFn countingOpen = [](const char* p, const char* m) { opens++; return realOpen(p, m); };
  void* table[17] = {(void*)s.malloc_fn, (void*)s.realloc_fn, (void*)s.free_fn, s.reserved,
                     (void*)s.memcpy_fn, (void*)s.memmove_fn, (void*)s.memset_fn, (void*)countingOpen,
                     (void*)s.fclose_fn, (void*)countingRead, (void*)s.fwrite_fn, (void*)s.fseek_fn,
                     (void*)s.ftell_fn, (void*)s.feof_fn, (void*)s.fflush_fn, (void*)s.fseek64_fn,
                     (void*)s.ftell64_fn};
  setFunc(table);
  std::string path = media("mpeg2_mp2.ts");
  EXPECT_EQ(fopen_(path.c_str(), 0x310, 0, 0), nullptr);  // 't' and 'b' together
  EXPECT_EQ(opens, 0);

  FioHandle* h = fopen_(path.c_str(), 0x1210, 1024, 0);
  ASSERT_NE(h, nullptr);
  const uint8_t* p = nullptr;
  ASSERT_EQ(peek(&p, 188, h), 188);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(tell(h), 0);
  ASSERT_EQ(skip(1024 - 188, h), 1024 - 188);  // 188 bytes stay cached
  EXPECT_EQ(h->valid, 188u);
  ASSERT_EQ(peek(&p, 188, h), 188);
  EXPECT_EQ(p, h->cache + h->offset);
  EXPECT_EQ(reads, 1);  // served from the cache
  ASSERT_EQ(peek(&p, 189, h), 189);  // one more: the rest moves to the start first
  EXPECT_EQ(p, h->cache);
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(tell(h), 1024 - 188);
  uint32_t cached = h->valid;
  ASSERT_EQ(skip(cached, h), int32_t(cached));
  EXPECT_EQ(h->offset, 0u);
  EXPECT_EQ(h->valid, 0u);
  ASSERT_EQ(peek(&p, 188, h), 188);
  int64_t before = tell(h);
  EXPECT_EQ(seek(h, h->valid, KVR_SEEK_CUR), 0);
  EXPECT_EQ(h->valid, 0u);
  EXPECT_EQ(tell(h), before + 1024);
  // A peek wider than the cache gets what the cache holds, never more.
  ASSERT_EQ(peek(&p, 4096, h), 1024);
  EXPECT_EQ(p, h->cache);
  EXPECT_EQ(setCache(h, 0), 1);
  EXPECT_EQ(h->fillSize, h->cacheSize);
  EXPECT_EQ(setCache(h, 4096), 0);
  EXPECT_EQ(fclose_(h), 0);
}

}  // namespace

// ---- Two views: an H.264 base view and a dependent view in alternating runs
// of blocks, each read through its own reader. ----

struct TwoViewMedia {
  std::vector<std::vector<uint8_t>> base, dep;
  std::vector<int64_t> pts;
  std::string map;
};

TwoViewMedia loadTwoView() {
  TwoViewMedia m;
  std::vector<uint8_t> b = readFile(media("two_view_base.bin"));
  std::vector<uint8_t> d = readFile(media("two_view_dep.bin"));
  std::ifstream in(media("two_view.txt"));
  std::string word;
  size_t bo = 0, dof = 0;
  while (in >> word) {
    if (word == "map") {
      in >> m.map;
      break;
    }
    size_t bs = 0, ds = 0;
    in >> bs >> ds;
    m.pts.push_back(std::stoll(word));
    m.base.emplace_back(b.begin() + long(bo), b.begin() + long(bo + bs));
    m.dep.emplace_back(d.begin() + long(dof), d.begin() + long(dof + ds));
    bo += bs;
    dof += ds;
  }
  return m;
}

constexpr int32_t kBasePid = 0x1011, kDepPid = 0x1012;

struct ViewFrame {
  int32_t pid, timeMs, priority;
  std::vector<uint8_t> bytes;
};

class TwoViewTest : public TsTest {
 protected:
  bool next(void* h, ViewFrame* f) {
    TsdReadInput in{};
    TsdFrame out{};
    if (call(TSD_OP_READ, h, &in, &out) != 1) return false;
    *f = {out.pid, out.timeMs, out.priority, std::vector<uint8_t>(out.data, out.data + out.length)};
    return true;
  }
  // The next two frames are picture `k` of the base view and of the
  // dependent view, at the same time.
  void expectPair(void* h, const TwoViewMedia& m, size_t k) {
    ViewFrame b, d;
    ASSERT_TRUE(next(h, &b)) << lastError(h);
    ASSERT_TRUE(next(h, &d)) << lastError(h);
    ASSERT_LT(k, m.base.size());
    EXPECT_EQ(b.pid, kBasePid);
    EXPECT_EQ(b.priority, 1);
    EXPECT_EQ(b.timeMs, int32_t(k * 40));
    EXPECT_TRUE(b.bytes == m.base[k]) << "base picture " << k;
    EXPECT_EQ(d.pid, kDepPid);
    EXPECT_EQ(d.priority, 0);
    EXPECT_EQ(d.timeMs, b.timeMs);
    EXPECT_TRUE(d.bytes == m.dep[k]) << "dependent picture " << k;
  }
};

TEST_F(TwoViewTest, OpenMapsTheBlocksAndPairsTheViews) {
  TwoViewMedia m = loadTwoView();
  ASSERT_EQ(m.base.size(), 100u);
  TsdOpenOutput out{};
  void* h = open(media("two_view.ts"), TSD_OPEN_BLOCK_MAP, &out);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(out.packetType, 0x10000);
  EXPECT_EQ(out.selection.videoPid, kBasePid);
  EXPECT_EQ(out.selection.hasDependent, 1);
  const TsDemuxContext* ctx = static_cast<const TsDemuxContext*>(h);
  ASSERT_NE(ctx->blockMap, nullptr);
  EXPECT_EQ(ctx->blockSize, 0x20000);
  ASSERT_GE(size_t(ctx->blockCount), m.map.size());
  std::string got;
  for (size_t b = 0; b < m.map.size(); ++b) got += char('0' + ctx->blockMap[b]);
  EXPECT_EQ(got, m.map);
  // Each reader starts where a table of its own role was found: both roles
  // collect from the file start, and every run opens with the PAT and then
  // the PMT, so both meet the file's first PMT, its second packet.
  EXPECT_EQ(ctx->viewPos[0], 188);
  EXPECT_EQ(ctx->viewPos[1], 188);
  close(h);

  // Without the flag the views are still paired, but nothing is mapped.
  h = open(media("two_view.ts"), 0, &out);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(out.packetType, 0x10000);
  EXPECT_EQ(static_cast<const TsDemuxContext*>(h)->blockMap, nullptr);
  close(h);

  // A one-view file stays one view, and information-only opens free the
  // second reader too (the teardown counts files and allocations).
  h = open(media("h264_aac.ts"), TSD_OPEN_BLOCK_MAP, &out);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(out.packetType, 1);
  EXPECT_EQ(static_cast<const TsDemuxContext*>(h)->auxReader, nullptr);
  close(h);
  h = open(media("two_view.ts"), TSD_OPEN_BLOCK_MAP, &out, TSD_OP_OPEN_INFO);
  ASSERT_NE(h, nullptr);
  close(h);
}

// Every picture of both views, in pairs, with the other view's runs jumped
// over, by the packet pump and by the packet loop. Without a block map (no
// flag, or a growing file, which never builds one) each reader must still
// find every run of its own view, although the runs are far shorter than a
// MiB.
TEST_F(TwoViewTest, ReadingAlternatesTheViewsOverEveryRun) {
  TwoViewMedia m = loadTwoView();
  for (uint32_t flags : {uint32_t(TSD_OPEN_BLOCK_MAP), uint32_t(TSD_OPEN_BLOCK_MAP | TSD_OPEN_PACKET_LOOP),
                         0u, uint32_t(TSD_OPEN_PACKET_LOOP),
                         uint32_t(TSD_OPEN_BLOCK_MAP | TSD_OPEN_GROWING)}) {
    SCOPED_TRACE(flags);
    void* h = open(media("two_view.ts"), flags);
    ASSERT_NE(h, nullptr);
    for (size_t k = 0; k < m.base.size(); ++k) {
      expectPair(h, m, k);
      if (HasFailure()) break;
    }
    ViewFrame f;
    EXPECT_FALSE(next(h, &f)) << f.pid << " " << f.timeMs << " " << f.bytes.size();
    EXPECT_EQ(lastError(h), -10009);
    close(h);
  }
}

// The second record layout reads through the main reader: once a seek has
// set the base view's role, it passes over the dependent view's runs, by the
// block map or without one.
TEST_F(TwoViewTest, SecondRecordLayoutKeepsToTheBaseViewAfterASeek) {
  TwoViewMedia m = loadTwoView();
  for (uint32_t flags : {uint32_t(TSD_OPEN_BLOCK_MAP), 0u}) {
    SCOPED_TRACE(flags);
    void* h = open(media("two_view.ts"), flags);
    ASSERT_NE(h, nullptr);
    TsdSeekInput in{0, 0x31};
    TsdSeekOutput out{};
    ASSERT_EQ(call(TSD_OP_SEEK, h, &in, &out), 1);
    size_t k = 0;
    for (int guard = 0; guard < 1000; ++guard) {
      TsdRead2Input rin{};
      TsdFrame2 fr{};
      if (call(TSD_OP_READ2, h, &rin, &fr) != 1) {
        EXPECT_EQ(lastError(h), -10009);
        break;
      }
      ASSERT_LT(k, m.base.size());
      EXPECT_EQ(fr.timeMs, int32_t(k * 40));
      EXPECT_TRUE(std::vector<uint8_t>(fr.data, fr.data + fr.length) == m.base[k]) << k;
      k++;
    }
    EXPECT_EQ(k, m.base.size());
    close(h);
  }
}

// A seek places the base view on a key frame and the dependent view on the
// picture of the same time; the pairs go on from there, with or without a
// block map.
TEST_F(TwoViewTest, SeekPlacesBothViewsOnTheSameTime) {
  TwoViewMedia m = loadTwoView();
  for (uint32_t flags : {uint32_t(TSD_OPEN_BLOCK_MAP), 0u}) {
    SCOPED_TRACE(flags);
    void* h = open(media("two_view.ts"), flags);
    ASSERT_NE(h, nullptr);
    expectPair(h, m, 0);
    struct Case {
      int32_t target;
      uint32_t flags;
    } cases[] = {{2000, 0x31}, {3100, 0x31}, {1000, 0x31}, {2600, 0x131}, {0, 0x31}, {1500, 0x20}};
    for (const Case& c : cases) {
      SCOPED_TRACE(c.target);
      TsdSeekInput in{c.target, c.flags};
      TsdSeekOutput out{};
      ASSERT_EQ(call(TSD_OP_SEEK, h, &in, &out), 1) << lastError(h);
      ASSERT_GE(out.reachedMs, 0);
      ASSERT_EQ(out.reachedMs % 40, 0);
      size_t k = size_t(out.reachedMs / 40);
      if (c.flags & 0x1) {
        EXPECT_EQ(k % 12, 0u);  // a key frame every 12 pictures
      }
      for (size_t i = k; i < k + 3 && i < m.base.size(); ++i) expectPair(h, m, i);
    }
    // A seek past the end fails and leaves both readers where they were.
    ViewFrame b;
    TsdSeekInput far{9000, 0x31};
    TsdSeekOutput out{};
    EXPECT_EQ(call(TSD_OP_SEEK, h, &far, &out), 0);
    EXPECT_EQ(lastError(h), -2001);
    ASSERT_TRUE(next(h, &b));
    EXPECT_EQ(b.pid, kBasePid);
    close(h);
  }
}

// Damaged two-view files: reading, seeking and closing stay bounded and
// leak nothing.
TEST_F(TwoViewTest, MutatedTwoViewFilesAreReadSafely) {
  std::vector<uint8_t> base = readFile(media("two_view.ts"));
  base.resize(std::min<size_t>(base.size(), 4 * 1500 * 188));
  std::string path = scratch("mutated_two_view.ts");
  uint32_t seed = 777;
  auto rnd = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  int opened = 0;
  for (int round = 0; round < 60; ++round) {
    std::vector<uint8_t> f = base;
    int changes = 1 + int(rnd() % 400);
    for (int i = 0; i < changes; ++i) f[rnd() % f.size()] = uint8_t(rnd());
    writeFile(path, f);
    // without the map the readers step a MiB at a time
    const uint32_t modes[] = {TSD_OPEN_BLOCK_MAP, TSD_OPEN_BLOCK_MAP | TSD_OPEN_PACKET_LOOP, 0};
    uint32_t flags = modes[round % 3];
    void* h = open(path, flags);
    if (h == nullptr) continue;
    opened++;
    ViewFrame fr;
    for (int n = 0; n < 400; ++n)
      if (!next(h, &fr) && lastError(h) == -10009) break;
    TsdSeekInput in{int32_t(rnd() % 2000), 0x31};
    TsdSeekOutput out{};
    call(TSD_OP_SEEK, h, &in, &out);
    for (int n = 0; n < 20; ++n)
      if (!next(h, &fr) && lastError(h) == -10009) break;
    close(h);
  }
  EXPECT_GT(opened, 30);
}

// Allocations and seeks failing anywhere in a two-view open, read and seek:
// each call fails or works, and close gives everything back.
TEST_F(TwoViewTest, FailuresAnywhereLeaveNothingBehind) {
  int opened = 0;
  for (unsigned long n = 1; n <= 160; ++n) {
    Host::get().reset();
    Faults faults;
    if (n % 2) faults.failAllocAt = n / 2 + 1;
    else faults.failSeekAt = n / 2;
    Host::get().setFaults(faults);
    void* h = open(media("two_view.ts"), TSD_OPEN_BLOCK_MAP);
    if (h == nullptr) continue;
    opened++;
    ViewFrame f;
    for (int i = 0; i < 60; ++i)
      if (!next(h, &f) && lastError(h) == -10009) break;
    TsdSeekInput in{1200, 0x31};
    TsdSeekOutput out{};
    call(TSD_OP_SEEK, h, &in, &out);
    next(h, &f);
    close(h);
    EXPECT_EQ(Host::get().leakReport(), "") << n;
  }
  EXPECT_GT(opened, 0);
}
