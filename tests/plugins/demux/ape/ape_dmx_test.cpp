#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ape_record.h"
#include "kvr_ape_dmx.h"
#include "mediahost/host.h"
#include "mediahost/plugin.h"

using namespace mediahost;

namespace {

const char* const kStandard[] = {"new_plain.ape",        "new_id3_tag.ape",     "new_wav_24bit.ape",
                                 "old_3970.ape",         "old_3950_tag.ape",    "old_3900_wav_id3.ape",
                                 "old_3960_wav_after_table.ape", "new_5000_frames.ape", "old_4600_frames.ape",
                                 "new_big_frames.ape"};

struct Layout {
  std::map<std::string, uint64_t> v;
  std::vector<std::pair<uint32_t, uint32_t>> frames;  // file offset, length
};

Layout readLayout(const std::string& path) {
  Layout l;
  std::ifstream in(path);
  std::string key;
  while (in >> key) {
    if (key == "frame") {
      uint32_t off, len;
      in >> off >> len;
      l.frames.emplace_back(off, len);
    } else {
      in >> l.v[key];
    }
  }
  return l;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

std::string standard(const std::string& name) { return std::string(APE_STANDARD_DIR) + "/" + name; }
std::string fault(const std::string& name) { return std::string(APE_FAULT_DIR) + "/" + name; }

// A standard file, its bytes and what the fixture builder wrote into it.
struct StandardFile {
  std::string path;
  Layout layout;
  std::vector<uint8_t> bytes;
};

StandardFile loadStandard(const std::string& name) {
  StandardFile f;
  f.path = standard(name);
  f.layout = readLayout(f.path.substr(0, f.path.size() - 4) + ".layout");
  f.bytes = readFile(f.path);
  return f;
}

class ApeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    plugin_ = Plugin::load(APE_PLUGIN_PATH, &error).release();
    ASSERT_NE(plugin_, nullptr) << error;
  }
  void SetUp() override { Host::get().reset(); }
  void TearDown() override {
    if (slot_) {
      EXPECT_EQ(call(APE_OP_CLOSE), APE_OK);
    }
    EXPECT_EQ(slot_, nullptr);
    EXPECT_EQ(Host::get().leakReport(), "");
    for (const std::string& v : Host::get().violations()) ADD_FAILURE() << v;
  }

  int open(const std::string& path) {
    path_ = path;
    record_ = apeOpenRecord(path_.c_str());
    memset(&info_, 0xEE, sizeof info_);
    slot_ = reinterpret_cast<void*>(0x1);  // open must clear it on failure
    int r = plugin_->entry()(APE_OP_OPEN, &slot_, &record_, &info_);
    if (r != APE_OK) {
      EXPECT_EQ(slot_, nullptr) << path;
    }
    return r;
  }
  int call(int op, void* in = nullptr, void* out = nullptr) { return plugin_->entry()(op, &slot_, in, out); }
  int seek(int32_t ms, bool absolute, int32_t* landed) {
    ApeSeekRequest req{ms, absolute ? 1 : 0};
    ApeFrameOutput out{};
    out.time_ms = -12345;
    int r = call(APE_OP_SEEK, &req, &out);
    *landed = out.time_ms;
    return r;
  }
  int next(ApeFrameOutput* out) { return call(APE_OP_NEXT_FRAME, nullptr, out); }

  static Plugin* plugin_;
  std::string path_;
  ApeOpenRecord record_{};
  ApeStreamInfo info_{};
  void* slot_ = nullptr;
};
Plugin* ApeTest::plugin_ = nullptr;

TEST_F(ApeTest, ExportsTheTableTheEntryAndTheTagKeys) {
  EXPECT_TRUE(plugin_->entryIs("KVR_APE_DMX"));
  for (const char* name : {"ParseAPEHeader", "ParseAPETag", "APEGetBitrate"})
    EXPECT_NE(plugin_->symbol(name), nullptr) << name;
  const std::pair<const char*, const char*> keys[] = {
      {"APETAGINFO_PREAMPLE", "APETAGEX"}, {"APETAGINFO_ARTIST", "Artist\0\0"}, {"APETAGINFO_ALBUM", "Album\0\0\0"},
      {"APETAGINFO_TITLE", "Title\0\0\0"}, {"APETAGINFO_TRACK", "Track\0\0\0"}, {"APETAGINFO_GENRE", "Genre\0\0\0"},
      {"APETAGINFO_YEAR", "Year\0\0\0\0"}, {"APETAGINFO_COMMENT", "Comment\0"}};
  for (const auto& k : keys) {
    const void* p = plugin_->symbol(k.first);
    ASSERT_NE(p, nullptr) << k.first;
    EXPECT_EQ(memcmp(p, k.second, 8), 0) << k.first;
  }
}

// Stream information of both header generations, with and without ID3v2 and
// APE tags, checked against what the fixture builder wrote.
TEST_F(ApeTest, OpenDescribesTheFile) {
  for (const char* name : kStandard) {
    SCOPED_TRACE(name);
    StandardFile sf = loadStandard(name);
    Layout& l = sf.layout;
    const std::vector<uint8_t>& file = sf.bytes;
    ASSERT_EQ(open(sf.path), APE_OK);
    EXPECT_EQ(info_.file_size, file.size());
    EXPECT_EQ(info_.total_frames, l.v["total_frames"]);
    EXPECT_EQ(info_.sample_rate, l.v["rate"]);
    EXPECT_EQ(info_.channels, l.v["channels"]);
    EXPECT_EQ(info_.bits_per_sample, l.v["bits"]);
    EXPECT_EQ(info_.codec_header_size, 24u);
    EXPECT_EQ(info_.max_frame_size, 215039u);
    EXPECT_EQ(info_.tags != nullptr, strstr(name, "tag") != nullptr);
    ASSERT_NE(info_.codec_header, nullptr);
    const uint8_t* ch = info_.codec_header;
    EXPECT_EQ(ch[8] | ch[9] << 8, int(l.v["bits"]));
    EXPECT_EQ(ch[10] | ch[11] << 8, 0);
    EXPECT_EQ(le32(ch + 12), l.v["final_blocks"]);
    EXPECT_EQ(le32(ch + 16), l.v["blocks_per_frame"]);
    EXPECT_EQ(le32(ch + 20), l.v["total_frames"]);
    // Bit rate over the frame bytes (new headers) or everything after the
    // header (old ones); whole seconds of duration.
    uint64_t frameBytes = 0;
    for (const auto& f : l.frames) frameBytes += f.second;
    bool old = strncmp(name, "old", 3) == 0;
    uint64_t audio = old ? file.size() - l.v["data_start"] : frameBytes;
    uint64_t blocks = l.v["final_blocks"] + l.v["blocks_per_frame"] * (l.v["total_frames"] - 1);
    uint32_t rate = uint32_t(audio * 8 * l.v["rate"] / blocks);
    EXPECT_EQ(info_.bit_rate, rate);
    EXPECT_EQ(info_.duration_ms, rate < 8 ? -1000 : int32_t(file.size() / (rate / 8) * 1000));
    EXPECT_EQ(call(APE_OP_CLOSE), APE_OK);
  }
}

// Each frame: "KEES", its number, the alignment word, then the file's bytes
// from the word boundary at or before the frame, covering the whole frame.
TEST_F(ApeTest, FramesCarryTheHeaderAndTheWholeFrame) {
  for (const char* name : kStandard) {
    SCOPED_TRACE(name);
    StandardFile sf = loadStandard(name);
    Layout& l = sf.layout;
    const std::vector<uint8_t>& file = sf.bytes;
    ASSERT_EQ(open(sf.path), APE_OK);
    uint64_t start = l.v["id3"] + l.v["data_start"];
    uint64_t samples = 0;
    for (size_t n = 0; n < l.frames.size(); ++n) {
      SCOPED_TRACE(n);
      ApeFrameOutput out{};
      ASSERT_EQ(next(&out), APE_OK);
      uint32_t off = l.frames[n].first, len = l.frames[n].second;
      uint32_t skip = uint32_t(off - start) % 4;
      ASSERT_GE(out.size, 12 + skip + len);
      EXPECT_EQ(memcmp(out.data, "KEES", 4), 0);
      EXPECT_EQ(le32(out.data + 4), n);
      EXPECT_EQ(le32(out.data + 8), 3 - skip);
      uint32_t want = std::max((len + 4) & ~3u, (skip + len + 3) & ~3u);
      want = std::min<uint64_t>(want, file.size() - (off - skip));
      EXPECT_EQ(out.size, 12 + want);
      EXPECT_EQ(memcmp(out.data + 12, &file[off - skip], want), 0);
      uint32_t rate = uint32_t(l.v["rate"]);
      EXPECT_EQ(out.time_ms, int32_t(samples % rate * 1000 / rate + samples / rate * 1000));
      samples += n + 1 == l.frames.size() ? l.v["final_blocks"] : l.v["blocks_per_frame"];
    }
    ApeFrameOutput out{};
    EXPECT_EQ(next(&out), APE_ERR_END);
    EXPECT_EQ(next(&out), APE_ERR_END);
    EXPECT_EQ(call(APE_OP_CLOSE), APE_OK);
  }
}

// 44100 Hz, 294912 blocks per frame: a frame lasts 6687.3 ms, 12 frames.
// Each step seeks and then reads the frame it landed on, which makes that
// frame's time the current time for the relative steps.
TEST_F(ApeTest, SeekByTime) {
  ASSERT_EQ(open(standard("new_plain.ape")), APE_OK);
  struct Step {
    int32_t target;
    bool absolute;
    int32_t landed;
    uint32_t frame;
  } steps[] = {
      {0, true, 0, 0},          {1, true, 0, 0},          {6700, true, 6687, 1},
      {13400, true, 13374, 2},  {6700, false, 20062, 3},  // 13374 + 6700
      {-99999, false, 0, 0},    {80000, true, 73560, 11},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.target);
    int32_t landed = 0;
    ASSERT_EQ(seek(s.target, s.absolute, &landed), APE_OK);
    EXPECT_EQ(landed, s.landed);
    ApeFrameOutput out{};
    ASSERT_EQ(next(&out), APE_OK);
    EXPECT_EQ(le32(out.data + 4), s.frame);
    EXPECT_EQ(out.time_ms, s.landed);
  }
  // Past the last frame, absolute or relative: -1 and nothing moves.
  int32_t landed = 0;
  ASSERT_EQ(seek(13400, true, &landed), APE_OK);
  EXPECT_EQ(seek(81000, true, &landed), APE_ERR_END);
  EXPECT_EQ(seek(70000, false, &landed), APE_ERR_END);
  EXPECT_EQ(landed, -12345);
  ApeFrameOutput out{};
  ASSERT_EQ(next(&out), APE_OK);
  EXPECT_EQ(le32(out.data + 4), 2u);
}

// Frame times are cut down to whole ms (frame 1 of new_plain.ape starts at
// 6687.3 ms and is reported as 6687): a seek to a frame's reported time lands
// on that frame, a millisecond later too, a millisecond earlier on the frame
// before; in every standard file, both header generations.
TEST_F(ApeTest, SeekToAFramesReportedTimeLandsOnIt) {
  for (const char* name : kStandard) {
    SCOPED_TRACE(name);
    ASSERT_EQ(open(standard(name)), APE_OK);
    std::vector<int32_t> times;
    ApeFrameOutput out{};
    while (next(&out) == APE_OK) times.push_back(out.time_ms);
    ASSERT_GE(times.size(), 2u);
    auto landsOn = [&](int32_t target, size_t frame) {
      SCOPED_TRACE(target);
      int32_t landed = 0;
      ASSERT_EQ(seek(target, true, &landed), APE_OK);
      EXPECT_EQ(landed, times[frame]);
      ApeFrameOutput f{};
      ASSERT_EQ(next(&f), APE_OK);
      EXPECT_EQ(le32(f.data + 4), frame);
    };
    for (size_t n = times.size(); n-- > 0;) {
      landsOn(times[n] + 1, n);
      landsOn(times[n], n);
      if (n > 0) landsOn(times[n] - 1, n - 1);
    }
    EXPECT_EQ(call(APE_OP_CLOSE), APE_OK);
  }
}

TEST_F(ApeTest, TagValuesAreCutAndOnlyKnownKeysKept) {
  ASSERT_EQ(open(standard("new_id3_tag.ape")), APE_OK);
  ASSERT_NE(info_.tags, nullptr);
  auto field = [&](int i) { return std::string(info_.tags + i * APE_TAG_FIELD_SIZE); };
  EXPECT_EQ(field(APE_TAG_ARTIST), "Holvik Test Artist");
  EXPECT_EQ(field(APE_TAG_TITLE), std::string(256, 'T'));
  EXPECT_EQ(field(APE_TAG_YEAR), "2026");
  EXPECT_EQ(field(APE_TAG_COMMENT), "generated");
  EXPECT_EQ(field(APE_TAG_ALBUM), "");
  EXPECT_EQ(field(APE_TAG_GENRE), "");
  EXPECT_EQ(field(APE_TAG_TRACK), "");
}

// Files whose headers, seek tables or tags promise more than they hold are
// refused with the library's codes or read safely within their bytes.
TEST_F(ApeTest, BrokenFilesAreRefusedOrReadWithinTheirBytes) {
  std::ifstream index(fault("expected.txt"));
  std::string name;
  int expected = 0, seen = 0;
  while (index >> name >> expected) {
    SCOPED_TRACE(name);
    ++seen;
    ASSERT_EQ(open(fault(name)), expected);
    if (expected != APE_OK) continue;
    ApeFrameOutput out{};
    int frames = 0;
    while (frames < 100 && next(&out) == APE_OK) ++frames;
    EXPECT_LT(frames, 100);
    EXPECT_EQ(next(&out), APE_ERR_END);
    int32_t landed;
    if (name == "no_frames_with_table.ape" || name == "zero_blocks_per_frame.ape") {
      EXPECT_EQ(seek(0, true, &landed), APE_ERR_END);
    }
    if (name == "zero_total_blocks.ape") {
      EXPECT_EQ(info_.bit_rate, 0u);
      EXPECT_EQ(info_.duration_ms, -1000);
    }
    if (name == "tag_size_past_file.ape") {
      EXPECT_EQ(info_.tags, nullptr);
    }
    if (name == "tag_value_past_block.ape" || name == "tag_key_unterminated.ape") {
      ASSERT_NE(info_.tags, nullptr);
      for (int i = 0; i < APE_TAG_FIELDS; ++i) EXPECT_EQ(info_.tags[i * APE_TAG_FIELD_SIZE], 0);
    }
    if (name == "tag_count_huge.ape") {
      ASSERT_NE(info_.tags, nullptr);
      EXPECT_STREQ(info_.tags + APE_TAG_YEAR * APE_TAG_FIELD_SIZE, "2026");
    }
    EXPECT_EQ(call(APE_OP_CLOSE), APE_OK);
  }
  EXPECT_GT(seen, 10);
  EXPECT_EQ(open(fault("does-not-exist.ape")), APE_ERR_OTHER);
}

// The exported header, tag and bit-rate functions on their own, with the
// host functions of an open record.
TEST_F(ApeTest, ExportedParsersGiveTheirResults) {
  using ParseHeaderFn = int32_t (*)(const uint8_t*, ApeHeader*, uint32_t*, const ApeHostFunctions*);
  using ParseTagFn = int32_t (*)(char*, void*, const ApeHostFunctions*);
  using BitrateFn = uint32_t (*)(const ApeHeader*, uint32_t);
  auto parseHeader = reinterpret_cast<ParseHeaderFn>(plugin_->symbol("ParseAPEHeader"));
  auto parseTag = reinterpret_cast<ParseTagFn>(plugin_->symbol("ParseAPETag"));
  auto bitrate = reinterpret_cast<BitrateFn>(plugin_->symbol("APEGetBitrate"));
  ASSERT_TRUE(parseHeader && parseTag && bitrate);
  const ApeOpenRecord record = apeOpenRecord("");
  StandardFile sf = loadStandard("new_plain.ape");

  struct Case {
    const char* what;
    std::vector<std::pair<size_t, uint8_t>> patch;  // bytes changed in the file
    unsigned long failAlloc;
    int32_t result;
  } cases[] = {
      {"a good header", {}, 0, APE_PARSE_OK},
      {"no MAC identifier", {{1, 'B'}}, 0, APE_PARSE_NOT_APE},
      {"compression level 5000", {{52, 0x88}, {53, 0x13}}, 0, APE_PARSE_LEVEL},  // the header's first word
      {"no memory for the seek table", {}, 1, APE_PARSE_NO_MEMORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = sf.bytes;
    for (const auto& p : c.patch) bytes[p.first] = p.second;
    Faults f;
    f.failAllocAt = c.failAlloc;
    Host::get().setFaults(f);
    ApeHeader h{};
    h.buffer_bytes = uint32_t(bytes.size());
    h.data_limit = uint32_t(bytes.size());
    uint32_t dataStart = 0;
    EXPECT_EQ(parseHeader(bytes.data(), &h, &dataStart, &record.host), c.result);
    Host::get().setFaults(Faults());
    if (c.result != APE_PARSE_OK) {
      EXPECT_EQ(h.seek_table, nullptr);
      continue;
    }
    EXPECT_EQ(dataStart, sf.layout.v["data_start"]);
    ASSERT_NE(h.seek_table, nullptr);
    EXPECT_EQ(h.seek_table[0], sf.layout.frames[0].first);
    uint32_t rate = bitrate(&h, uint32_t(bytes.size()));
    hostFree(h.seek_table);
    ASSERT_EQ(open(sf.path), APE_OK);
    EXPECT_EQ(rate, info_.bit_rate);
    EXPECT_EQ(call(APE_OP_CLOSE), APE_OK);
  }

  // The tag of a tagged file, and none in a file without one.
  std::vector<char> tags(APE_TAG_FIELDS * APE_TAG_FIELD_SIZE, 0);
  void* file = hostFopen(standard("new_id3_tag.ape").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(parseTag(tags.data(), file, &record.host), 0);
  EXPECT_STREQ(tags.data() + APE_TAG_ARTIST * APE_TAG_FIELD_SIZE, "Holvik Test Artist");
  hostFclose(file);
  file = hostFopen(sf.path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(parseTag(tags.data(), file, &record.host), 1);
  hostFclose(file);
}

TEST_F(ApeTest, OperationsWithoutHandleOrUnknownAreRefused) {
  for (int op : {1, 2, 6, 100, -1}) EXPECT_EQ(call(op), APE_ERR_OTHER) << op;
  for (int op : {APE_OP_NEXT_FRAME, APE_OP_CLOSE, APE_OP_SEEK}) {
    EXPECT_EQ(call(op), APE_ERR_NO_HANDLE) << op;
    EXPECT_EQ(plugin_->entry()(op, nullptr, nullptr, nullptr), APE_ERR_NO_HANDLE) << op;
  }
  ASSERT_EQ(open(standard("new_plain.ape")), APE_OK);
  EXPECT_EQ(call(APE_OP_CLOSE), APE_OK);
  EXPECT_EQ(slot_, nullptr);
  EXPECT_EQ(call(APE_OP_CLOSE), APE_ERR_NO_HANDLE);
}

// Every allocation of open (tag block, context, frame buffer, seek table)
// and the growth of the frame buffer fails once in turn.
TEST_F(ApeTest, FailedAllocationsGiveMinusOneAndLeakNothing) {
  int failures = 0;
  for (unsigned long n = 1; n < 20; ++n) {
    Host::get().reset();
    Faults f;
    f.failAllocAt = n;
    Host::get().setFaults(f);
    int r = open(standard("new_id3_tag.ape"));
    if (r == APE_OK) {
      EXPECT_EQ(Host::get().allocStats().failedAllocations, 0u);
      EXPECT_EQ(call(APE_OP_CLOSE), APE_OK);
      break;
    }
    EXPECT_EQ(r, APE_ERR_NO_MEMORY);
    EXPECT_EQ(Host::get().allocStats().liveBlocks, 0u);
    ++failures;
  }
  EXPECT_EQ(failures, 4);

  Host::get().setFaults(Faults());
  ASSERT_EQ(open(standard("new_big_frames.ape")), APE_OK);
  Faults f;
  f.failAllocAt = 1;  // the frame buffer must grow for the first frame
  Host::get().setFaults(f);
  ApeFrameOutput out{};
  EXPECT_EQ(next(&out), APE_ERR_NO_MEMORY);
  ASSERT_EQ(next(&out), APE_OK);  // nothing moved: frame 0 comes now
  EXPECT_EQ(le32(out.data + 4), 0u);
  EXPECT_GT(out.size, 250000u);
}

}  // namespace
