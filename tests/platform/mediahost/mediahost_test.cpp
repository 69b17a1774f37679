#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mediahost/adapter.h"
#include "mediahost/cli.h"
#include "mediahost/host.h"
#include "mediahost/md5.h"
#include "mediahost/plugin.h"
#include "mediahost/wav.h"
#include "toy_adapters.h"

using namespace mediahost;

namespace {

// A 64-bit record field sits on an 8-byte boundary as on the board, also in
// the i386 build where int64_t alone would be 4-aligned.
struct LayoutProbe {
  int32_t word;
  kvr_i64 wide;
  int32_t tail;
};
KVR_ASSERT_OFFSET32(LayoutProbe, wide, 8);
KVR_ASSERT_SIZE32(LayoutProbe, 24);

struct ToyFrame {
  uint32_t time;
  uint8_t key;
  std::vector<uint8_t> payload;
};

std::vector<uint8_t> toyFile(const std::vector<ToyFrame>& frames) {
  std::vector<uint8_t> b = {'T', 'O', 'Y', '1'};
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  put32(uint32_t(frames.size()));
  for (const ToyFrame& f : frames) {
    put32(uint32_t(f.payload.size()));
    put32(f.time);
    b.push_back(f.key);
    b.insert(b.end(), f.payload.begin(), f.payload.end());
  }
  return b;
}

std::vector<ToyFrame> sampleFrames() {
  return {{0, 1, {1, 2, 3}}, {40, 0, std::vector<uint8_t>(300, 0x5A)}, {80, 1, {}}, {120, 0, {9}}};
}

std::string csvLine(const ToyFrame& f) {
  std::ostringstream o;
  o << "data,0," << f.time << ',' << f.payload.size() << ',' << int(f.key) << ','
    << md5Hex(f.payload.data(), f.payload.size()) << '\n';
  return o.str();
}

class MediaHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mediahost-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    Host::get().reset();
  }
  void TearDown() override {
    for (const std::string& f : files_) unlink(f.c_str());
    rmdir(dir_.c_str());
    EXPECT_EQ(Host::get().leakReport(), "");
  }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
    files_.push_back(path);
    return path;
  }
  int run(std::vector<std::string> args, std::string* out, std::string* err = nullptr) {
    args.insert(args.begin(), "mediahost");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    std::ostringstream o, e;
    int status = runCli(int(argv.size()), argv.data(), o, e);
    *out = o.str();
    if (err) *err = e.str();
    return status;
  }
  std::string dir_;
  std::vector<std::string> files_;
};

TEST(Md5, KnownDigestsAcrossBlockBoundaries) {
  struct Case {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
      {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {std::string(1000, 'a'), "cabe45dcc9ae5b66ba86600cca6b8ba8"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(md5Hex(reinterpret_cast<const uint8_t*>(c.input.data()), c.input.size()), c.digest)
        << c.input.size() << " bytes";
}

TEST(Loader, FindsTheEntryThroughTheTableAndPicksItsAdapter) {
  std::string error;
  auto toy = Plugin::load(TOYDMX_PATH, &error);
  ASSERT_TRUE(toy) << error;
  EXPECT_TRUE(toy->entryIs("KVR_TOY_DMX"));
  EXPECT_FALSE(toy->entryIs("KVR_TOY_DEC"));
  EXPECT_EQ(findDemuxAdapter(*toy), &kToyDemuxAdapter);
  EXPECT_EQ(findDecoderAdapter(*toy), nullptr);

  auto dec = Plugin::load(TOYDEC_PATH, &error);
  ASSERT_TRUE(dec) << error;
  EXPECT_EQ(findDecoderAdapter(*dec), &kToyDecoderAdapter);
}

TEST(Loader, RefusesLibrariesThatBreakTheConvention) {
  struct Case {
    const char* path;
    const char* message;
  } cases[] = {
      {BADTABLE_PATH, "slot 1 is not null"},
      {"/nonexistent/libnothing.so", "cannot load"},
      {LIBC_PATH, "exports no FucntionList"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(Plugin::load(c.path, &error), nullptr) << c.path;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST_F(MediaHostTest, DumpPrintsOneLinePerFrameAndSeeks) {
  const std::vector<ToyFrame> frames = sampleFrames();
  std::string path = write("a.toy", toyFile(frames));
  const std::string header = "kind,track,time_ms,size,key,md5\n";

  std::string full = header;
  for (const ToyFrame& f : frames) full += csvLine(f);
  full += "seek,50,80\n" + csvLine(frames[2]) + csvLine(frames[3]);
  std::string out, err;
  EXPECT_EQ(run({"dump", TOYDMX_PATH, path, "--seek", "50"}, &out, &err), 0) << err;
  EXPECT_EQ(out, full);

  // --frames limits every run; a failed seek is reported and the dump goes on.
  std::string limited = header + csvLine(frames[0]) + "seek,50,80\n" + csvLine(frames[2]) +
                        "seek,500,failed -1\n" + "seek,0,0\n" + csvLine(frames[0]);
  for (bool memory : {false, true}) {
    std::vector<std::string> args = {"dump", TOYDMX_PATH, path, "--frames", "1", "--seek", "50",
                                     "--seek", "500", "--seek", "0"};
    if (memory) args.push_back("--memory");
    EXPECT_EQ(run(args, &out, &err), 0) << err;
    EXPECT_EQ(out, limited) << (memory ? "memory" : "stdio");
  }
}

TEST_F(MediaHostTest, InfoListsStreamsAndRefusalsGiveTheLibraryCode) {
  std::string good = write("a.toy", toyFile(sampleFrames()));
  std::string bad = write("b.toy", {'N', 'O', 'P', 'E', 0, 0, 0, 0});
  std::string out, err;
  EXPECT_EQ(run({"info", TOYDMX_PATH, good}, &out, &err), 0) << err;
  EXPECT_EQ(out, "data,0,codec_name=toy\n");
  EXPECT_EQ(run({"info", TOYDMX_PATH, bad}, &out, &err), 2);
  EXPECT_NE(err.find("open failed: -4"), std::string::npos) << err;
  EXPECT_EQ(run({"info", TOYDMX_PATH, dir_ + "/missing.toy"}, &out, &err), 2);
  EXPECT_NE(err.find("open failed: -3"), std::string::npos) << err;
  // The toy adapter offers no stream selection.
  EXPECT_EQ(run({"dump", TOYDMX_PATH, good, "--select", "data:0"}, &out, &err), 2);
  EXPECT_NE(err.find("selecting data:0 failed: 1000"), std::string::npos) << err;
  EXPECT_EQ(out, "kind,track,time_ms,size,key,md5\n");
  EXPECT_EQ(run({"dump", TOYDMX_PATH, good, "--select", "data"}, &out, &err), 1);
  EXPECT_EQ(run({"info", TOYDEC_PATH, good}, &out, &err), 1);
  EXPECT_EQ(run({"frobnicate", TOYDMX_PATH, good}, &out, &err), 1);
}

// Every allocation of an open and a read run fails once in turn: each run
// ends with the library's own code and nothing left allocated or open.
TEST_F(MediaHostTest, FailedAllocationsAndShortReadsLeaveNothingBehind) {
  std::string path = write("a.toy", toyFile(sampleFrames()));
  bool sawSuccess = false;
  for (int n = 1; n <= 8 && !sawSuccess; ++n) {
    std::string out, err;
    int status = run({"dump", TOYDMX_PATH, path, "--fail-alloc", std::to_string(n), "--stats"}, &out, &err);
    ASSERT_TRUE(status == 0 || status == 2) << "allocation " << n << ": " << err;
    EXPECT_NE(err.find("live bytes: 0"), std::string::npos) << err;
    EXPECT_EQ(Host::get().allocStats().liveBlocks, 0u);
    sawSuccess = status == 0 && Host::get().allocStats().failedAllocations == 0;
  }
  EXPECT_TRUE(sawSuccess) << "the dump never ran past the injected failures";

  std::string out, err;
  EXPECT_EQ(run({"dump", TOYDMX_PATH, path, "--short-read", "8"}, &out, &err), 2);
  EXPECT_NE(err.find("reading a frame failed: -5"), std::string::npos) << err;
  EXPECT_EQ(run({"dump", TOYDMX_PATH, path, "--seek", "40", "--fail-seek", "1"}, &out, &err), 0);
  EXPECT_NE(out.find("seek,40,failed -5"), std::string::npos) << out;
}

TEST_F(MediaHostTest, HostReportsLeaksAndMisuse) {
  Host& h = Host::get();
  void* a = hostMalloc(10);
  void* b = hostMalloc(20);
  EXPECT_EQ(h.allocStats().liveBytes, 30u);
  std::string report = h.leakReport();
  EXPECT_NE(report.find("leaked block: 10 bytes"), std::string::npos) << report;
  EXPECT_NE(report.find("leaked block: 20 bytes"), std::string::npos) << report;

  memset(b, 7, 20);
  void* c = hostRealloc(b, 40);  // always moves, keeps the bytes
  ASSERT_NE(c, nullptr);
  EXPECT_NE(c, b);
  EXPECT_EQ(static_cast<uint8_t*>(c)[19], 7);
  EXPECT_EQ(h.allocStats().liveBytes, 50u);
  EXPECT_EQ(h.allocStats().peakBytes, 70u);

  Faults f;
  f.failAllocAt = 2;
  h.setFaults(f);
  void* d = hostMalloc(1);
  EXPECT_EQ(hostRealloc(c, 80), nullptr);  // the second call fails; c stays valid
  EXPECT_EQ(static_cast<uint8_t*>(c)[19], 7);
  EXPECT_EQ(h.allocStats().failedAllocations, 1u);

  hostFree(a);
  hostFree(c);
  hostFree(d);
  EXPECT_TRUE(h.violations().empty());
  hostFree(a);  // twice
  ASSERT_EQ(h.violations().size(), 1u);
  EXPECT_EQ(hostFclose(&f), -1);  // not a host file
  EXPECT_EQ(h.violations().size(), 2u);
  h.reset();
  EXPECT_EQ(h.leakReport(), "");
}

TEST_F(MediaHostTest, FileCallbacksOverStdioAndMemoryAgree) {
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 13);
  std::string path = write("f.bin", bytes);
  Host::get().addMemoryFile("mem:f", bytes.data(), bytes.size());
  for (const std::string& name : {path, std::string("mem:f")}) {
    SCOPED_TRACE(name);
    void* f = hostFopen(name.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    uint8_t buf[16];
    EXPECT_EQ(hostFseek64(f, -10, KVR_SEEK_END), 0);
    EXPECT_EQ(hostFtell64(f), 990);
    EXPECT_EQ(hostFread(buf, 1, 16, f), 10u);
    EXPECT_EQ(memcmp(buf, &bytes[990], 10), 0);
    EXPECT_NE(hostFeof(f), 0);
    EXPECT_EQ(hostFseek(f, 100, KVR_SEEK_SET), 0);
    EXPECT_EQ(hostFeof(f), 0);
    EXPECT_EQ(hostFread(buf, 4, 2, f), 2u);  // counts in items
    EXPECT_EQ(memcmp(buf, &bytes[100], 8), 0);
    EXPECT_EQ(hostFseek(f, -50, KVR_SEEK_CUR), 0);
    EXPECT_EQ(hostFtell(f), 58);
    EXPECT_NE(hostFseek64(f, -1, KVR_SEEK_SET), 0);
    EXPECT_EQ(hostFtell(f), 58);
    Faults faults;
    faults.shortReadMax = 3;
    faults.failSeekAt = 1;
    Host::get().setFaults(faults);
    EXPECT_NE(hostFseek(f, 0, KVR_SEEK_SET), 0);
    EXPECT_EQ(hostFtell(f), 58);
    EXPECT_EQ(hostFread(buf, 1, 16, f), 3u);
    Host::get().setFaults(Faults());
    EXPECT_EQ(hostFclose(f), 0);
  }
  EXPECT_EQ(hostFopen("mem:f", "r+b"), nullptr);
  Host::get().removeMemoryFile("mem:f");
  EXPECT_EQ(hostFopen("mem:f", "rb"), nullptr);
  EXPECT_TRUE(Host::get().violations().empty());
}

std::vector<uint8_t> wav(uint16_t tag, uint16_t channels, uint16_t bits, const std::vector<uint8_t>& data,
                         uint32_t dataLength, const std::vector<uint8_t>& fmtExtra = {},
                         bool junkFirst = false) {
  std::vector<uint8_t> b;
  auto put = [&](uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  auto tag4 = [&](const char* t) { b.insert(b.end(), t, t + 4); };
  tag4("RIFF");
  put(0, 4);
  tag4("WAVE");
  if (junkFirst) {
    tag4("JUNK");
    put(3, 4);
    put(0, 4);  // three bytes and the pad byte
  }
  tag4("fmt ");
  put(16 + (fmtExtra.empty() ? 0 : 2 + fmtExtra.size()), 4);
  put(tag, 2);
  put(channels, 2);
  put(8000, 4);
  put(8000 * channels * bits / 8, 4);
  put(channels * bits / 8, 2);
  put(bits, 2);
  if (!fmtExtra.empty()) {
    put(fmtExtra.size(), 2);
    b.insert(b.end(), fmtExtra.begin(), fmtExtra.end());
  }
  tag4("data");
  put(dataLength, 4);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(Wav, ParsesFormatAndClampsTheData) {
  std::vector<uint8_t> ext(22, 0);
  ext[0] = 20;    // valid bits
  ext[2] = 0x3F;  // channel mask
  ext[6] = 1;     // sub-format PCM
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    bool ok;
    uint16_t tag;
    size_t dataSize;
    size_t extra;
  } cases[] = {
      {"plain", wav(1, 2, 16, {1, 2, 3, 4}, 4), true, 1, 4, 0},
      {"junk chunk first", wav(1, 1, 8, {1, 2}, 2, {}, true), true, 1, 2, 0},
      {"length past the end", wav(1, 2, 16, {1, 2, 3, 4}, 0xFFFFFFFF), true, 1, 4, 0},
      {"extensible", wav(0xFFFE, 6, 24, {0}, 1, ext), true, 1, 1, 0},
      {"adpcm extra", wav(0x11, 1, 4, {0}, 1, {0xF9, 0x01}), true, 0x11, 1, 2},
      {"not riff", {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, false, 0, 0, 0},
      {"no chunks", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    WavFormat f;
    size_t off = 0, size = 0;
    std::string error;
    EXPECT_EQ(parseWav(c.image.data(), c.image.size(), &f, &off, &size, &error), c.ok) << c.name << error;
    if (!c.ok) continue;
    EXPECT_EQ(f.formatTag, c.tag) << c.name;
    EXPECT_EQ(size, c.dataSize) << c.name;
    EXPECT_EQ(f.extra.size(), c.extra) << c.name;
    EXPECT_EQ(off + size, c.image.size()) << c.name;
  }
  WavFormat f;
  size_t off, size;
  std::vector<uint8_t> image = wav(0xFFFE, 6, 24, {0}, 1, ext);
  ASSERT_TRUE(parseWav(image.data(), image.size(), &f, &off, &size, nullptr));
  EXPECT_TRUE(f.extensible);
  EXPECT_EQ(f.validBits, 20);
  EXPECT_EQ(f.channelMask, 0x3Fu);
  EXPECT_EQ(f.channels, 6);
  // A format chunk cut short by the end of the file.
  image = wav(1, 2, 16, {}, 0);
  image.resize(30);
  EXPECT_FALSE(parseWav(image.data(), image.size(), &f, &off, &size, nullptr));
}

// The decoder takes whole sample frames only: odd chunk sizes make it ask
// for more input and consume part of what it is given.
TEST_F(MediaHostTest, DecodeFeedsTheDecoderAndWritesInterleavedSamples) {
  std::vector<uint8_t> samples;
  for (int i = 0; i < 1001 * 2; ++i) samples.push_back(uint8_t(i * 7));
  samples.push_back(0x80);  // half a sample frame at the end is dropped
  std::string path = write("a.wav", wav(1, 2, 8, samples, uint32_t(samples.size())));
  std::string expected;
  for (size_t i = 0; i + 1 < samples.size(); ++i) {
    int16_t v = int16_t((samples[i] - 128) * 256);
    expected.append(reinterpret_cast<const char*>(&v), 2);
  }
  for (const char* chunk : {"1", "3", "4096"}) {
    std::string out, err;
    EXPECT_EQ(run({"decode", TOYDEC_PATH, path, "--chunk", chunk}, &out, &err), 0) << err;
    EXPECT_EQ(out, expected) << "chunk " << chunk;
  }
  std::string out, err;
  std::string mono5 = write("b.wav", wav(1, 9, 8, samples, uint32_t(samples.size())));
  EXPECT_EQ(run({"decode", TOYDEC_PATH, mono5}, &out, &err), 2);
  EXPECT_NE(err.find("decoder open failed: -5"), std::string::npos) << err;
}

}  // namespace
