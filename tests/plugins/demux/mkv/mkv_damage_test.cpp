// Matroska demuxer: damaged files. Reading goes on at the next cluster after
// damage inside or between clusters, and a close releases what the open took
// whatever the file says of its tracks.
#include "mkv_test_support.h"

using namespace mkvtest;

namespace {

// An element header alone: whatever size it claims, the bytes that follow
// are the file's.
Bytes header(uint32_t id, uint64_t size) { return cat({idBytes(id), sizeBytes(size)}); }

Bytes cluster(uint64_t timecode, const Bytes& children) {
  return el(0x1F43B675, cat({uintEl(0xE7, timecode), children}));
}

// `count` AC-3-sized frames 32 ms apart, each byte of them `tag`.
Bytes blocks(int count, uint8_t tag) {
  Bytes out;
  for (int i = 0; i < count; ++i) out = cat({out, simpleBlock(1, int16_t(32 * i), 0x80, Bytes(64, tag))});
  return out;
}

Bytes cuePoint(uint64_t time, uint64_t pos) {
  return el(0xBB, cat({uintEl(0xB3, time), el(0xB7, cat({uintEl(0xF7, 1), uintEl(0xF1, pos)}))}));
}

// Four clusters of frames tagged 0x10, 0x11, 0x12 and 0x13, damage around
// the second: every frame of the first, third and fourth comes through and
// the second's one frame before the damage, then the end of the data. With
// Cues, their points name only the first and the last cluster, so jumping
// from point to point would lose the third.
TEST_F(MkvTest, DamageInOrBetweenClustersIsPassedAtTheNextCluster) {
  const Bytes c0 = cluster(0, blocks(10, 0x10));
  const Bytes c2 = cluster(2000, blocks(10, 0x12));
  const Bytes c3 = cluster(3000, blocks(10, 0x13));
  const Bytes block1 = blocks(1, 0x11);
  const Bytes hiding = cat({uintEl(0xE7, 1000), block1, header(0xC2, c2.size()), c2, header(0xC3, 1000000)});
  struct Case {
    const char* name;
    Bytes middle;  // between the first and the last cluster
  } cases[] = {
      // A child whose size runs past its cluster: skipping it would pass
      // over every cluster after it.
      {"child past its cluster", cat({cluster(1000, cat({block1, header(0xC2, 1000000), Bytes(8, 0)})), c2})},
      // An element that no cluster or segment holds, sized to swallow the
      // cluster after it.
      {"unknown element between clusters", cat({cluster(1000, block1), header(0x88, c2.size()), c2})},
      // A cluster whose size takes in the next one, hidden by an unknown
      // child, and damage after it: the search starts from the last element
      // read as such, not from the damage.
      {"cluster hidden in a cluster", cat({header(0x1F43B675, hiding.size()), hiding})},
  };
  const Bytes head = cat({el(0x1549A966, uintEl(0x2AD7B1, 1000000)),
                          el(0x1654AE6B, audioTrack(1, "A_AC3", uintEl(0x23E383, 32000000)))});
  for (bool cued : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (cued ? ", with Cues" : ""));
      TempDir dir;
      Bytes body = cat({head, c0, c.middle, c3});
      if (cued)
        body = cat({body, el(0x1C53BB6B, cat({cuePoint(0, head.size()),
                                              cuePoint(3000, head.size() + c0.size() + c.middle.size())}))});
      Session s(dir.file("damaged.mka", cat({ebmlHeader(), segment(body)})));
      EXPECT_EQ(s.result, 0) << s.text();
      int32_t last = 0;
      std::vector<Frame> frames = readAll(s, &last);
      EXPECT_EQ(last, MKV_ERR_END) << s.text();
      std::vector<uint8_t> tags;
      for (const Frame& f : frames) tags.push_back(f.head.empty() ? 0 : f.head[0]);
      std::vector<uint8_t> want(10, 0x10);
      want.push_back(0x11);
      want.insert(want.end(), 10, 0x12);
      want.insert(want.end(), 10, 0x13);
      EXPECT_EQ(tags, want);
      if (tags == want) {
        EXPECT_EQ(frames.back().time, 3000u + 9 * 32);
      }
    }
  }
}

// Garbage that holds Cluster IDs with sizes that do not fit, and no cluster
// after it: the search ends at the end of the data, the frames before the
// damage delivered.
TEST_F(MkvTest, SearchPastDamageStopsAtTheEndOfTheData) {
  TempDir dir;
  Bytes junk;
  for (int i = 0; i < 200; ++i) junk = cat({junk, {0x1F, 0x43, 0xB6, 0x75, 0x08}, Bytes(3, uint8_t(i))});
  const Bytes head = cat({el(0x1549A966, uintEl(0x2AD7B1, 1000000)),
                          el(0x1654AE6B, audioTrack(1, "A_AC3", uintEl(0x23E383, 32000000)))});
  Session s(dir.file("tail.mka", cat({ebmlHeader(), segment(cat({head, cluster(0, cat({blocks(5, 0x10),
                                                                                         header(0xC2, 1 << 20)})),
                                                                  junk}))})));
  ASSERT_EQ(s.result, 0) << s.text();
  int32_t last = 0;
  EXPECT_EQ(readAll(s, &last).size(), 5u);
  EXPECT_EQ(last, MKV_ERR_END) << s.text();
}

// The AudioSpecificConfig that open builds for a track mapped to AAC
// without CodecPrivate is released at close, whatever the CodecID says and
// whatever track shares its number. The fuzz finding's CodecID is garbled
// into one that falls back to AAC.
TEST_F(MkvTest, CloseReleasesTheAacConfigOpenBuilt) {
  const Bytes withPrivate = audioTrack(2, "A_AAC", el(0x63A2, {0x12, 0x10}));
  const Bytes without = audioTrack(2, "A_AAC/MPEG4/LC");
  const Bytes cluster0 = cluster(0, blocks(3, 0x21));
  TempDir dir;
  struct Case {
    const char* name;
    std::string path;
    uint32_t audio;
  } cases[] = {
      {"garbled CodecID", std::string(MKV_SOURCE_DIR) + "/garbled_audio_codec_id.mkv", 1},
      {"built first, same number",
       dir.file("a.mka", file(uintEl(0x2AD7B1, 1000000), cat({without, withPrivate}), cluster0)), 2},
      {"built second, same number",
       dir.file("b.mka", file(uintEl(0x2AD7B1, 1000000), cat({withPrivate, without}), cluster0)), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Host::get().reset();
    {
      Session s(c.path);
      ASSERT_EQ(s.result, 0) << s.text();
      ASSERT_EQ(s.info.audio_count, c.audio);
      for (uint32_t i = 0; i < c.audio; ++i) {
        EXPECT_EQ(s.info.audio[i].format_tag, 0xFFu);
        EXPECT_EQ(s.info.audio[i].private_size, 2u);
      }
      readAll(s);
    }
    EXPECT_EQ(Host::get().leakReport(), "");
    EXPECT_TRUE(Host::get().violations().empty());
  }
}

}  // namespace
