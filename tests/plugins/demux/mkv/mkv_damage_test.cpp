// Matroska demuxer: damaged files. A close releases what the open took
// whatever the file says of its tracks.
#include "mkv_test_support.h"

using namespace mkvtest;

namespace {

Bytes cluster(uint64_t timecode, const Bytes& children) {
  return el(0x1F43B675, cat({uintEl(0xE7, timecode), children}));
}

// `count` AC-3-sized frames 32 ms apart, each byte of them `tag`.
Bytes blocks(int count, uint8_t tag) {
  Bytes out;
  for (int i = 0; i < count; ++i) out = cat({out, simpleBlock(1, int16_t(32 * i), 0x80, Bytes(64, tag))});
  return out;
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
