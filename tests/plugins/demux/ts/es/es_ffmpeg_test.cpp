// Header parsers against elementary streams written by ffmpeg: the
// parameters read from the first bytes of each stream must match ffprobe.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "es_test_context.h"

namespace {

std::string mediaPath(const std::string& name) {
  const char* dir = std::getenv("TSD_ES_MEDIA");
  return std::string(dir ? dir : ".") + "/" + name;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ffprobe's description of the first stream, as key=value pairs.
std::map<std::string, std::string> probe(const std::string& path, bool countFrames = false) {
  std::string cmd = "ffprobe -v error -select_streams 0 -show_streams -of default=nw=1 ";
  if (countFrames) cmd += "-count_frames ";
  cmd += "'" + path + "'";
  std::map<std::string, std::string> out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char line[512];
  while (fgets(line, sizeof line, p)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    size_t eq = s.find('=');
    if (eq != std::string::npos && !out.count(s.substr(0, eq))) out[s.substr(0, eq)] = s.substr(eq + 1);
  }
  pclose(p);
  return out;
}

uint32_t rateMilli(const std::string& fraction) {
  unsigned long num = 0, den = 1;
  if (sscanf(fraction.c_str(), "%lu/%lu", &num, &den) != 2 || den == 0) return 0;
  return uint32_t(uint64_t(num) * 1000 / den);
}

std::string tag(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

struct VideoCase {
  const char* file;
  uint32_t codec;
  const char* tag;
  uint32_t interlaced;
  int extraCountedPictures;  // picture starts beyond the frames ffprobe counts
  bool rateInHeader;         // false: the header gives no rate (frame rate 0)
};

class FfmpegVideo : public ::testing::TestWithParam<VideoCase> {};

TEST_P(FfmpegVideo, HeaderAndPictureCountMatchFfprobe) {
  const VideoCase& c = GetParam();
  std::string path = mediaPath(c.file);
  std::vector<uint8_t> es = readFile(path);
  ASSERT_GT(es.size(), 1000u) << path;
  auto info = probe(path, true);
  ASSERT_FALSE(info.empty()) << "ffprobe failed on " << path;

  // The first payload a demuxer would hand over: the first 64 KiB at most.
  std::vector<uint8_t> first(es.begin(), es.begin() + std::min<size_t>(es.size(), 65536));
  EsTestContext ctx{};
  ctx.payload = first.data();
  ctx.length = int32_t(first.size());
  TsdVideoHeader h{};
  ASSERT_EQ(TSD_ParseVideoHeader(&ctx, c.codec, &h), 1) << ctx.lastError;
  EXPECT_EQ(h.width, std::stoul(info["width"]));
  EXPECT_EQ(h.height, std::stoul(info["height"]));
  EXPECT_EQ(tag(h.codecTag), c.tag);
  EXPECT_EQ(h.interlaced, c.interlaced);
  EXPECT_EQ(h.frameRate, c.rateInHeader ? rateMilli(info["r_frame_rate"]) : 0u);

  TsdKeyFrameChecker checker = nullptr;
  ASSERT_EQ(TSD_GetKeyFrameChecker(&ctx, c.codec, &checker), 1);
  ASSERT_NE(checker, nullptr);
  EXPECT_EQ(checker(&h, first.data(), int32_t(first.size())), 1);

  EsTestContext whole{};
  whole.payload = es.data();
  whole.length = int32_t(es.size());
  TsdVideoHeader counted{};
  EXPECT_EQ(TSD_GetVideoFrameCount(&whole, c.codec, &counted),
            std::stoi(info["nb_read_frames"]) + c.extraCountedPictures);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FfmpegVideo,
    ::testing::Values(VideoCase{"video.h264", 0xFFFF001Bu, "H264", 0, 0, true},
                      VideoCase{"interlaced.h264", 0x2001Bu, "H264", 0, 0, true},
                      VideoCase{"ntsc.h264", 0x5001Bu, "H264", 0, 0, true},
                      VideoCase{"video.hevc", 0xFFFF0024u, "HEVC", 0, 0, true},
                      VideoCase{"video.m2v", 0xFFFF0002u, "mpeg", 0, 0, true},
                      // The video object start code before the first VOP
                      // counts as a picture start of its own; ffmpeg's VOL
                      // sets no fixed VOP rate.
                      VideoCase{"video.m4v", 0xFFFF0010u, "MP4V", 0, 1, false}),
    [](const ::testing::TestParamInfo<VideoCase>& i) {
      std::string n = i.param.file;
      for (char& ch : n)
        if (ch == '.') ch = '_';
      return n;
    });

TEST(FfmpegVideo, Mpeg2AspectAndBitRateFields) {
  std::vector<uint8_t> es = readFile(mediaPath("video.m2v"));
  ASSERT_GT(es.size(), 100u);
  EsTestContext ctx{};
  ctx.payload = es.data();
  ctx.length = int32_t(std::min<size_t>(es.size(), 65536));
  TsdVideoHeader h{};
  h.reserved = 77;  // MPEG-1/2 leaves this word alone
  ASSERT_EQ(TSD_ParseVideoHeader(&ctx, 0xFFFF0002u, &h), 1);
  EXPECT_EQ(h.aspectRatio, 7031u);  // code 3 (16:9) through the pel aspect table
  EXPECT_EQ(h.bitRate % 400, 0u);
  EXPECT_GT(h.bitRate, 0u);
  EXPECT_EQ(h.reserved, 77u);
}

// Packets of an elementary stream as ffprobe's parser splits it: byte
// position, size and whether it is a key frame.
struct Packet {
  size_t pos = 0, size = 0;
  bool key = false;
};

std::vector<Packet> packets(const std::string& path) {
  std::string cmd = "ffprobe -v error -select_streams 0 -show_entries packet=pos,size,flags "
                    "-of default=nw=1 '" + path + "'";
  std::vector<Packet> out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char line[256];
  Packet cur;
  while (fgets(line, sizeof line, p)) {
    std::string s(line);
    if (s.rfind("size=", 0) == 0) cur.size = std::stoul(s.substr(5));
    if (s.rfind("pos=", 0) == 0) cur.pos = std::stoul(s.substr(4));
    if (s.rfind("flags=", 0) == 0) {
      cur.key = s.find('K') != std::string::npos;
      out.push_back(cur);
      cur = Packet();
    }
  }
  pclose(p);
  return out;
}

// The key-frame checker agrees with ffprobe's key flags on every access unit
// of streams with a short GOP and B pictures.
TEST(FfmpegVideo, KeyFrameCheckerAgreesWithFfprobe) {
  struct Case {
    const char* file;
    uint32_t codec;
  } cases[] = {{"video.h264", 0xFFFF001Bu}, {"video.hevc", 0xFFFF0024u},
               {"video.m2v", 0xFFFF0002u}, {"video.m4v", 0xFFFF0010u}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = mediaPath(c.file);
    std::vector<uint8_t> es = readFile(path);
    std::vector<Packet> list = packets(path);
    ASSERT_GT(list.size(), 12u);
    EsTestContext ctx{};
    TsdKeyFrameChecker checker = nullptr;
    ASSERT_EQ(TSD_GetKeyFrameChecker(&ctx, c.codec, &checker), 1);
    TsdVideoHeader h{};
    int keys = 0;
    for (size_t i = 0; i < list.size(); i++) {
      const Packet& pk = list[i];
      ASSERT_LE(pk.pos + pk.size, es.size());
      std::vector<uint8_t> unit(es.begin() + pk.pos, es.begin() + pk.pos + pk.size);
      EXPECT_EQ(checker(&h, unit.data(), int32_t(unit.size())), pk.key ? 1 : 0) << "packet " << i;
      keys += pk.key;
    }
    EXPECT_GE(keys, 2);
  }
}

struct AudioCase {
  const char* file;
  uint32_t codec;
  uint32_t formatTag;
  bool checkBitRate;
  // The parser carries a frame cut at the end of one payload into the next,
  // so payloads may be cut anywhere; the others are given payloads that
  // start at a frame, as PES payloads of those formats do.
  bool cutAnywhere;
};

class FfmpegAudio : public ::testing::TestWithParam<AudioCase> {};

TEST_P(FfmpegAudio, DescriptionMatchesFfprobe) {
  const AudioCase& c = GetParam();
  std::string path = mediaPath(c.file);
  std::vector<uint8_t> es = readFile(path);
  ASSERT_GT(es.size(), 1000u) << path;
  auto info = probe(path);
  ASSERT_FALSE(info.empty()) << "ffprobe failed on " << path;

  // Payloads of an uneven size, so frames are cut between calls; every
  // payload must describe the stream the same way.
  AudioHeaderInfo a{};
  a.formatTag = 0xAAC0;  // LATM leaves the tag and the width to the caller
  a.bitsPerSample = 16;
  const size_t chunk = 3001;
  const size_t limit = c.cutAnywhere ? 40 * chunk : 1;
  int described = 0;
  for (size_t off = 0; off < es.size() && off < limit; off += chunk) {
    EsTestContext ctx{};
    ctx.payload = es.data() + off;
    ctx.length = int32_t(std::min(chunk, es.size() - off));
    if (TSD_ParseAudioHeader(&ctx, c.codec, &a) != 1) continue;
    described++;
    EXPECT_EQ(a.sampleRate, std::stoul(info["sample_rate"])) << "payload at " << off;
    EXPECT_EQ(a.channelCount, std::stoul(info["channels"])) << "payload at " << off;
    EXPECT_EQ(a.formatTag, c.formatTag);
    EXPECT_EQ(a.bitsPerSample, 16u);
    if (c.checkBitRate) {
      EXPECT_EQ(a.bitRate * 1000, std::stoul(info["bit_rate"]));
    }
  }
  EXPECT_GT(described, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FfmpegAudio,
    ::testing::Values(AudioCase{"audio.mp2", 0xFFFF0003u, 0x0050, true, true},
                      AudioCase{"audio.mp3", 0xFFFF0004u, 0x0055, true, true},
                      AudioCase{"audio.ac3", 0xFFFF0081u, 0x2000, true, true},
                      AudioCase{"audio441.ac3", 0x20081u, 0x2000, true, true},
                      AudioCase{"audio.eac3", 0xFFFF0084u, 0x2000, false, false},
                      AudioCase{"audio.adts", 0xFFFF000Fu, 0xAAC0, false, false},
                      AudioCase{"audio.latm", 0xFFFF0011u, 0xAAC0, false, false},
                      AudioCase{"audio.dts", 0xFFFF0082u, 0x2001, false, false}),
    [](const ::testing::TestParamInfo<AudioCase>& i) {
      std::string n = i.param.file;
      for (char& ch : n)
        if (ch == '.') ch = '_';
      return n;
    });

// The first PES payload of the private stream (stream_id 0xBD) in a 192-byte
// packet file.
std::vector<uint8_t> firstPrivatePayload(const std::vector<uint8_t>& ts) {
  std::vector<uint8_t> out;
  int pid = -1;
  for (size_t off = 0; off + 192 <= ts.size(); off += 192) {
    const uint8_t* p = &ts[off + 4];
    if (p[0] != 0x47) break;
    int thisPid = (p[1] & 0x1F) << 8 | p[2];
    bool start = (p[1] & 0x40) != 0;
    size_t body = 4;
    if (p[3] & 0x20) body += 1 + p[4];
    if (!(p[3] & 0x10) || body >= 188) continue;
    const uint8_t* pl = p + body;
    size_t len = 188 - body;
    if (pid < 0) {
      if (start && len > 9 && pl[0] == 0 && pl[1] == 0 && pl[2] == 1 && pl[3] == 0xBD) {
        pid = thisPid;
        size_t hdr = 9 + pl[8];
        out.assign(pl + hdr, pl + len);
      }
      continue;
    }
    if (thisPid != pid) continue;
    if (start) break;
    out.insert(out.end(), pl, pl + len);
  }
  return out;
}

TEST(FfmpegAudio, BluRayLpcmPayloadMatchesFfprobe) {
  std::string path = mediaPath("lpcm.m2ts");
  std::vector<uint8_t> payload = firstPrivatePayload(readFile(path));
  ASSERT_GT(payload.size(), 4u);
  auto info = probe(path);
  EsTestContext ctx{};
  ctx.payload = payload.data();
  ctx.length = int32_t(payload.size());
  AudioHeaderInfo a{};
  ASSERT_EQ(TSD_ParseAudioHeader(&ctx, 0x20080u, &a), 1);
  EXPECT_EQ(a.formatTag, 1u);
  EXPECT_EQ(a.subKind, 9u);
  EXPECT_EQ(a.sampleRate, std::stoul(info["sample_rate"]));
  EXPECT_EQ(a.channelCount, std::stoul(info["channels"]));
  EXPECT_EQ(a.bitsPerSample, 16u);
}

}  // namespace
