// The MP4 demuxer through its entry: offsets and chunk-mode PCM against
// ffmpeg, metadata items, the operations' edge cases, reading, seeking and
// selection, and the reader, string and calendar functions.
#include <map>
#include <sstream>

#include "mediahost/md5.h"
#include "mp4_test_support.h"

using namespace mp4test;

namespace {

struct Sample {
  int64_t offset;
  int32_t size;
};

// ffprobe's packets per stream as (pos, size).
std::map<int, std::vector<Sample>> ffprobePositions(const std::string& file) {
  Bytes out = runCommand("ffprobe -v error -ignore_editlist 1 -fflags +nofillin+noparse -show_entries "
                         "packet=stream_index,pos,size -of csv=p=0 '" + file + "'");
  std::map<int, std::vector<Sample>> r;
  std::istringstream in(std::string(out.begin(), out.end()));
  std::string line;
  while (std::getline(in, line)) {
    int stream = 0;
    long long pos = 0, size = 0;
    if (sscanf(line.c_str(), "%d,%lld,%lld", &stream, &size, &pos) == 3) r[stream].push_back({pos, int32_t(size)});
  }
  return r;
}

class Mp4Read : public Mp4Test {};

TEST_F(Mp4Read, SampleOffsetsAndSizesAreThoseFfprobeReports) {
  for (const char* name :
       {"h264_aac.mp4", "h264_aac_faststart.mp4", "co64.mp4", "frag.mp4", "frag_base.mp4", "frag_moov.mp4",
        "frag_interleave.mp4", "amr.3gp", "text.mp4"}) {
    SCOPED_TRACE(name);
    auto theirs = ffprobePositions(media(name));
    ASSERT_EQ(openFile(media(name)), 0);
    std::map<int, std::vector<Sample>> ours;
    Mp4Packet p{};
    int32_t r;
    int64_t previous = 0;
    while ((r = next(0, &p)) == 0) {
      // One handle reads the tracks' samples in file order.
      int64_t offset = int64_t(p.offset_low) | (int64_t(p.offset_high) << 32);
      EXPECT_GE(offset, previous);
      previous = offset;
      int stream = p.kind == MP4_KIND_VIDEO ? info_.video_index
                   : p.kind == MP4_KIND_AUDIO ? info_.audio_index : info_.subtitle_index;
      ours[stream].push_back({int64_t(p.offset_low) | (int64_t(p.offset_high) << 32), p.length});
    }
    EXPECT_EQ(r, MP4_END);
    ASSERT_EQ(ours.size(), theirs.size());
    for (auto& [stream, list] : theirs) {
      ASSERT_EQ(ours[stream].size(), list.size()) << "stream " << stream;
      for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(ours[stream][i].offset, list[i].offset) << "stream " << stream << " sample " << i;
        EXPECT_EQ(ours[stream][i].size, list[i].size) << "stream " << stream << " sample " << i;
      }
    }
    closeFile();
  }
}

TEST_F(Mp4Read, ChunkModePcmHoldsFfmpegsBytes) {
  Bytes theirs = runCommand("ffmpeg -nostdin -v error -i '" + media("pcm.mov") + "' -map 0:a -c copy -f data -");
  ASSERT_FALSE(theirs.empty());
  ASSERT_EQ(openFile(media("pcm.mov"), false), 0);
  EXPECT_EQ(info_.seekable, 1);  // no video
  EXPECT_EQ(info_.video_index, -1);
  EXPECT_EQ(info_.channels, 2);
  EXPECT_EQ(info_.bits_per_sample, 16);
  EXPECT_STREQ(info_.audio_codec_name, "PCM Audio");
  Bytes ours;
  Mp4Packet p{};
  int32_t r;
  while ((r = next(MP4_KIND_AUDIO, &p)) == 0) ours.insert(ours.end(), p.data, p.data + p.length);
  EXPECT_EQ(r, MP4_END_AUDIO);
  EXPECT_EQ(ours.size(), theirs.size());
  EXPECT_EQ(mediahost::md5Hex(ours.data(), ours.size()), mediahost::md5Hex(theirs.data(), theirs.size()));
  // No video track: a video request ends at once.
  EXPECT_EQ(next(MP4_KIND_VIDEO, &p), MP4_END_VIDEO);
}

TEST_F(Mp4Read, MetadataItemsAreWhatFfmpegWrote) {
  ASSERT_EQ(openFile(media("h264_aac.mp4")), 0);
  EXPECT_STREQ(info_.title, "A Title");
  EXPECT_STREQ(info_.artist, "Some Artist");
  EXPECT_STREQ(info_.album, "The Album");
  EXPECT_STREQ(info_.genre, "Jazz");
  EXPECT_EQ(info_.genre_from_table, 0);
  EXPECT_STREQ(info_.track_number, "3/12");
  EXPECT_STREQ(info_.date, "2020");
  EXPECT_STREQ(info_.file_name, "h264_aac.mp4");
  EXPECT_STREQ(info_.video_codec_name, "H.264");
  EXPECT_STREQ(info_.audio_codec_name, "AAC Audio");
  EXPECT_EQ(info_.has_avcc, 1);
  EXPECT_EQ(info_.has_ctts, 1);
  EXPECT_EQ(info_.video_samples, 200);
  EXPECT_EQ(info_.frame_rate, 25000);
  EXPECT_EQ(info_.sample_rate, 48000);
  EXPECT_EQ(info_.audio_format, 0xAAC0);
  EXPECT_EQ(info_.track_count, 2);
  EXPECT_EQ(info_.video_mask, 1u);
  EXPECT_EQ(info_.audio_mask, 2u);
  EXPECT_EQ(info_.seekable, 1);
  EXPECT_GT(info_.video_avg_bitrate, 0);
}

TEST_F(Mp4Read, OperationsWithoutAnOpenFile) {
  EXPECT_EQ(call(MP4_OP_CLOSE, nullptr, nullptr), 0);
  int32_t policy = 2;
  EXPECT_EQ(call(MP4_OP_EOF_POLICY, &policy, nullptr), MP4_ERR_FORMAT);
  const char* version = nullptr;
  const char* date = nullptr;
  EXPECT_EQ(call(MP4_OP_VERSION, &version, &date), 0);
  EXPECT_STREQ(version, "KVR_MP4DMX_V3.04.18");
  EXPECT_STREQ(date, "2019-01-25/10:00");
  EXPECT_EQ(openFile(dir_ + "/missing.mp4"), MP4_ERR_OPEN);
  EXPECT_EQ(slot_, nullptr);
  EXPECT_EQ(lastError(), MP4_ERR_OPEN);
  ASSERT_EQ(openFile(media("h264_aac.mp4")), 0);
  EXPECT_EQ(call(55, nullptr, nullptr), MP4_ERR_FORMAT);
}

TEST_F(Mp4Read, InformationOnlyOpenBuildsNoIndex) {
  ASSERT_EQ(openFile(media("h264_aac.mp4"), false, MP4_OP_OPEN_INFO), 0);
  EXPECT_EQ(info_.video_samples, 200);
  EXPECT_EQ(info_.video_key_samples, 0);
  Mp4Packet p{};
  EXPECT_EQ(next(MP4_KIND_VIDEO, &p), MP4_END_VIDEO);
}

TEST_F(Mp4Read, TooSmallCallerBufferReportsTheSizeAndKeepsTheSample) {
  ASSERT_EQ(openFile(media("h264_aac.mp4"), false), 0);
  uint8_t small[16];
  Mp4PacketRequest req{small, sizeof(small), MP4_KIND_VIDEO};
  Mp4Packet p{};
  EXPECT_EQ(call(MP4_OP_PACKET, &req, &p), MP4_ERR_MEMORY);
  EXPECT_GT(p.length, 16);
  int32_t needed = p.length;
  EXPECT_EQ(next(MP4_KIND_VIDEO, &p), 0);
  EXPECT_EQ(p.length, needed);
  EXPECT_EQ(p.time_ms, 0);
  EXPECT_EQ(p.key, 1);
  // A read into the library's own buffer.
  Mp4PacketRequest own{nullptr, 0, MP4_KIND_VIDEO};
  EXPECT_EQ(call(MP4_OP_PACKET, &own, &p), 0);
  EXPECT_EQ(p.time_ms, 40);
  EXPECT_NE(p.data, nullptr);
  EXPECT_EQ(call(MP4_OP_PACKET, &own, &p), 0);
  EXPECT_EQ(p.next_time_ms, 120);
  Mp4PacketRequest bad{nullptr, 0, 3};
  EXPECT_EQ(call(MP4_OP_PACKET, &bad, &p), MP4_ERR_KIND);
}

TEST_F(Mp4Read, SeekToZeroAndRelativeSeek) {
  ASSERT_EQ(openFile(media("h264_aac.mp4")), 0);
  Mp4Packet p{};
  for (int i = 0; i < 30; ++i) ASSERT_EQ(next(0, &p), 0);
  Mp4SeekRequest zero{0, 0};
  ASSERT_EQ(call(MP4_OP_SEEK, &zero, &p), 0);
  EXPECT_EQ(p.time_ms, 0);
  EXPECT_EQ(p.key, 1);
  EXPECT_EQ(p.kind, MP4_KIND_VIDEO);
  ASSERT_EQ(next(0, &p), 0);
  EXPECT_EQ(p.time_ms, 0);
  EXPECT_EQ(p.key, 1);
  // Key frames lie every second; from 2 s, +3 s forward lands on 5 s.
  Mp4SeekRequest two{2000, 0};
  ASSERT_EQ(call(MP4_OP_SEEK, &two, &p), 0);
  EXPECT_EQ(p.time_ms, 2000);
  Mp4SeekRequest plus{3000, MP4_SEEK_RELATIVE};
  ASSERT_EQ(call(MP4_OP_SEEK, &plus, &p), 0);
  EXPECT_EQ(p.time_ms, 5000);
  EXPECT_EQ(p.key, 1);
}

TEST_F(Mp4Read, SelectRefusesWrongIndicesPerKind) {
  ASSERT_EQ(openFile(media("h264_aac.mp4")), 0);
  Mp4SelectRequest both{MP4_KIND_VIDEO | MP4_KIND_AUDIO, 1, 1, 0};
  Mp4Info out{};
  EXPECT_EQ(call(MP4_OP_SELECT, &both, &out), MP4_ERR_VIDEO_INDEX);
  EXPECT_EQ(out.timescale, 0);  // not copied
  Mp4SelectRequest audio{MP4_KIND_AUDIO, 0, 0, 0};
  EXPECT_EQ(call(MP4_OP_SELECT, &audio, &out), MP4_ERR_AUDIO_INDEX);
  Mp4SelectRequest sub{MP4_KIND_SUBTITLE, 0, 0, 7};
  EXPECT_EQ(call(MP4_OP_SELECT, &sub, &out), MP4_ERR_SUBTITLE_INDEX);
  Mp4SelectRequest same{MP4_KIND_VIDEO | MP4_KIND_AUDIO, 0, 1, 0};
  EXPECT_EQ(call(MP4_OP_SELECT, &same, &out), 0);
  EXPECT_EQ(out.video_index, 0);
  EXPECT_EQ(out.audio_index, 1);
  EXPECT_EQ(out.timescale, info_.timescale);
}

TEST_F(Mp4Read, AvcConfigurationGivesItsParameterSets) {
  ASSERT_EQ(openFile(media("h264_aac.mp4")), 0);
  uint8_t five[5] = {1, 0x64, 0, 0x1F, 0xFF};
  Mp4AvccRequest shortReq{five, 5, nullptr};
  EXPECT_EQ(call(MP4_OP_AVCC, &shortReq, nullptr), MP4_ERR_AVCC);
  ASSERT_GT(info_.video_config_length, 6);
  Mp4AvccRequest req{info_.video_config, info_.video_config_length, nullptr};
  ASSERT_EQ(call(MP4_OP_AVCC, &req, nullptr), 0);
  ASSERT_NE(req.result, nullptr);
  EXPECT_EQ(req.result->sps_count, 1);
  EXPECT_EQ(req.result->pps_count, 1);
  EXPECT_EQ(req.result->nal_length_size, 4);
  EXPECT_EQ(req.result->sps[0].data[0] & 0x1F, 7);
  EXPECT_EQ(req.result->pps[0].data[0] & 0x1F, 8);
  Bytes wrongVersion(info_.video_config, info_.video_config + info_.video_config_length);
  wrongVersion[0] = 2;
  Mp4AvccRequest bad{wrongVersion.data(), int32_t(wrongVersion.size()), nullptr};
  EXPECT_EQ(call(MP4_OP_AVCC, &bad, nullptr), MP4_ERR_AVCC);
}

TEST_F(Mp4Read, FileCutInsideItsMediaDataEndsTheIndexAndTheDuration) {
  Bytes whole = readFile(media("h264_aac_faststart.mp4"));
  Bytes cut(whole.begin(), whole.begin() + whole.size() / 2);
  ASSERT_EQ(openFile(write("cut.mp4", cut)), 0);
  EXPECT_LT(info_.duration_ms, 6000);
  Mp4Packet p{};
  int32_t r;
  int64_t lastEnd = 0;
  while ((r = next(0, &p)) == 0) lastEnd = int64_t(p.offset_low) + p.length;
  EXPECT_EQ(r, MP4_END);
  EXPECT_LE(lastEnd, int64_t(cut.size()));
}

TEST_F(Mp4Read, FragmentedReadingByKindAndSeek) {
  ASSERT_EQ(openFile(media("frag.mp4"), false), 0);
  EXPECT_EQ(info_.fragmented, 1);
  EXPECT_EQ(info_.seekable, 1);
  EXPECT_GE(info_.video_key_samples, 2);
  Mp4Packet p{};
  int video = 0, audio = 0, keys = 0;
  std::map<int32_t, int32_t> keySizes;  // time -> size of each key frame
  while (next(MP4_KIND_VIDEO, &p) == 0) {
    ++video, keys += p.key;
    if (p.key) keySizes[p.time_ms] = p.length;
  }
  while (next(MP4_KIND_AUDIO, &p) == 0) ++audio;
  EXPECT_EQ(video, 150);
  EXPECT_EQ(keys, info_.video_key_samples);
  EXPECT_GT(audio, 250);
  // Key frames every second; seeking back from the end to 2.1 s lands on
  // the key frame before the target, the one at 2 s.
  ASSERT_EQ(keySizes.count(2000), 1u);
  Mp4SeekRequest two{2100, 0};
  ASSERT_EQ(call(MP4_OP_SEEK, &two, &p), 0);
  EXPECT_EQ(p.kind, MP4_KIND_VIDEO);
  EXPECT_EQ(p.key, 1);
  EXPECT_EQ(p.time_ms, 2000);
  EXPECT_EQ(p.length, keySizes[2000]);
  ASSERT_EQ(next(MP4_KIND_VIDEO, &p), 0);
  EXPECT_EQ(p.key, 1);
  EXPECT_EQ(p.time_ms, 2000);
  EXPECT_EQ(p.length, keySizes[2000]);
}

// Frames 33.37 ms apart are reported cut down to whole ms, key frames as
// 800, 1601, 2402, ...: a key-frame seek to the reported time of a key frame
// lands on it, and a seek that may land on any frame to the reported time of
// any frame (but the last, which bounds such seeks) on that frame; forwards,
// backwards from the frame after it and backwards from later; plain and
// fragmented.
TEST_F(Mp4Read, SeekToAFramesReportedTimeLandsOnIt) {
  for (const char* name : {"ntsc.mp4", "frag_ntsc.mp4"}) {
    for (bool keySeek : {true, false}) {
      SCOPED_TRACE(std::string(name) + (keySeek ? " key-frame seeks" : " frame seeks"));
      Mp4OpenRecord r = record(media(name), false, keySeek);
      ASSERT_EQ(call(MP4_OP_OPEN, &r, &info_), 0);
      std::vector<std::pair<int32_t, int32_t>> targets;  // time, size
      Mp4Packet p{};
      while (next(MP4_KIND_VIDEO, &p) == 0)
        if (p.key || !keySeek) targets.emplace_back(p.time_ms, p.length);
      if (!keySeek) targets.pop_back();
      ASSERT_GE(targets.size(), 5u);
      auto landsOn = [&](std::pair<int32_t, int32_t> frame, const char* how) {
        SCOPED_TRACE(std::string(how) + " to " + std::to_string(frame.first));
        Mp4SeekRequest s{frame.first, 0};
        Mp4Packet q{};
        ASSERT_EQ(call(MP4_OP_SEEK, &s, &q), 0);
        // An all-zero record: the next frame was already the one asked for.
        if (q.kind != 0) {
          EXPECT_EQ(q.time_ms, frame.first);
        }
        ASSERT_EQ(next(MP4_KIND_VIDEO, &q), 0);
        EXPECT_EQ(q.time_ms, frame.first);
        EXPECT_EQ(q.length, frame.second);
        if (keySeek) {
          EXPECT_EQ(q.key, 1);
        }
      };
      for (auto it = targets.rbegin(); it != targets.rend(); ++it) landsOn(*it, "backwards from later");
      for (const auto& frame : targets) {
        landsOn(frame, "forwards");
        landsOn(frame, "backwards from the frame after");
      }
      closeFile();
    }
  }
}

TEST_F(Mp4Read, FragmentedFileCountsTheMovieBoxSamplesWithItsFragments) {
  // The movie box holds the first second; the fragments hold the rest.
  auto theirs = ffprobePositions(media("frag_moov.mp4"));
  ASSERT_EQ(openFile(media("frag_moov.mp4"), false), 0);
  EXPECT_EQ(info_.fragmented, 1);
  struct Kind {
    int32_t kind;
    int32_t stream;
    int32_t announced;
  };
  for (const Kind& k : {Kind{MP4_KIND_VIDEO, info_.video_index, info_.video_samples},
                        Kind{MP4_KIND_AUDIO, info_.audio_index, info_.audio_samples}}) {
    SCOPED_TRACE(k.kind);
    Mp4Packet p{};
    int32_t delivered = 0, keys = 0, last = -1;
    while (next(k.kind, &p) == 0) {
      EXPECT_GT(p.time_ms, last) << "frame " << delivered;  // times run on into the fragments
      last = p.time_ms;
      ++delivered, keys += p.key;
    }
    EXPECT_EQ(delivered, int32_t(theirs[k.stream].size()));
    EXPECT_EQ(k.announced, delivered);
    if (k.kind == MP4_KIND_VIDEO) {
      EXPECT_EQ(delivered, 150);
      EXPECT_EQ(keys, 6);  // one a second, the first from the movie box
      EXPECT_EQ(info_.video_key_samples, keys);
    }
  }
}

int g_opensLeft = 0;
void* firstOpenOnly(const char* path, const char* mode) {
  return g_opensLeft-- > 0 ? mediahost::hostFopen(path, mode) : nullptr;
}

TEST_F(Mp4Read, ReadersSharingOneHandleReadWhatTheirOwnHandlesRead) {
  auto readKinds = [&](Mp4OpenRecord r) {
    std::vector<std::string> sums;
    EXPECT_EQ(call(MP4_OP_OPEN, &r, &info_), 0);
    Mp4Packet p{};
    // Alternate the kinds so that every read moves the shared handle.
    for (int i = 0; i < 400; ++i) {
      int32_t kind = (i % 3 == 2) ? MP4_KIND_AUDIO : MP4_KIND_VIDEO;
      if (next(kind, &p) == 0) sums.push_back(mediahost::md5Hex(p.data, size_t(p.length)));
      else sums.push_back("end");
    }
    closeFile();
    return sums;
  };
  auto own = readKinds(record(media("h264_aac.mp4"), false));
  Mp4OpenRecord shared = record(media("h264_aac.mp4"), false);
  g_opensLeft = 1;
  shared.fopen_fn = firstOpenOnly;
  EXPECT_EQ(readKinds(shared), own);
}

// --- reader, strings, calendar ---

class Mp4Functions : public Mp4Test {
 protected:
  template <class T>
  T fn(const char* name) {
    void* p = plugin_->symbol(name);
    EXPECT_NE(p, nullptr) << name;
    return reinterpret_cast<T>(p);
  }
};

TEST_F(Mp4Functions, ReaderValuesAcrossTheCacheEndAndBackwardRepositions) {
  Bytes data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 13 + 5);
  std::string path = write("bytes.bin", data);
  // The reader uses the host functions the last open installed.
  ASSERT_EQ(openFile(media("h264_aac.mp4")), 0);
  closeFile();
  auto openBs = fn<int32_t (*)(Mp4Reader*, int32_t, void*)>("mp4_dmx_open_bitstream");
  auto closeBs = fn<int32_t (*)(Mp4Reader*)>("mp4_dmx_close_bitstream");
  auto be32 = fn<int32_t (*)(Mp4Reader*, uint32_t*)>("mp4_dmx_bs_read_be32");
  auto le16 = fn<int32_t (*)(Mp4Reader*, uint16_t*)>("mp4_dmx_bs_read_le16");
  auto skip = fn<int32_t (*)(Mp4Reader*, int64_t)>("mp4_dmx_bs_skip_bytes");
  auto seek = fn<int32_t (*)(Mp4Reader*, int64_t)>("mp4_dmx_bs_fseek");
  auto readBytes = fn<int32_t (*)(Mp4Reader*, void*, int32_t)>("mp4_dmx_bs_read_bytes");
  auto show = fn<int32_t (*)(Mp4Reader*, void*, int32_t)>("mp4_dmx_bs_show_bytes");
  Mp4Reader r{};
  ASSERT_EQ(openBs(&r, 1024, mediahost::hostFopen(path.c_str(), "rb")), 0);
  auto expect32 = [&](size_t at) {
    return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8 | data[at + 3];
  };
  uint32_t v = 0;
  ASSERT_EQ(skip(&r, 1022), 0);
  ASSERT_EQ(be32(&r, &v), 0);
  EXPECT_EQ(v, expect32(1022));
  uint16_t h = 0;
  ASSERT_EQ(le16(&r, &h), 0);
  EXPECT_EQ(h, data[1026] | data[1027] << 8);
  // Ten bytes before the cache start come back without losing the cache.
  int64_t cacheStart = r.file_pos;
  ASSERT_EQ(seek(&r, cacheStart - 10), 0);
  EXPECT_EQ(r.file_pos, cacheStart - 10);
  ASSERT_EQ(be32(&r, &v), 0);
  EXPECT_EQ(v, expect32(size_t(cacheStart - 10)));
  uint8_t peek[4];
  ASSERT_EQ(show(&r, peek, 4), 4);
  EXPECT_EQ(peek[0], data[size_t(cacheStart - 6)]);
  Bytes big(3000);
  ASSERT_EQ(seek(&r, 100), 0);
  ASSERT_EQ(readBytes(&r, big.data(), 3000), 0);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), data.begin() + 100));
  ASSERT_EQ(seek(&r, 4998), 0);
  EXPECT_EQ(be32(&r, &v), MP4_ERR_EOF);
  EXPECT_EQ(r.eof, 1);
  closeBs(&r);
}

TEST_F(Mp4Functions, StringsCompareAndSearchAsTheLibraryDefines) {
  auto strcmp_ = fn<int32_t (*)(const char*, const char*)>("mp4_dmx_io_strcmp");
  auto strstr_ = fn<char* (*)(const char*, const char*)>("mp4_dmx_io_strstr");
  auto strncmp_ = fn<int32_t (*)(const char*, const char*, int32_t)>("mp4_dmx_io_strncmp");
  auto strchr_ = fn<char* (*)(const char*, int32_t)>("mp4_dmx_io_strchr");
  auto upper = fn<uint32_t (*)(uint32_t)>("mp4_upper_fourcc");
  auto fileName = fn<char* (*)(char*, const char*)>("mp4_dmx_get_file_name");
  EXPECT_LT(strcmp_("abc", "abd"), 0);
  EXPECT_EQ(strcmp_("abc", "abcd"), 0);
  const char* one = "a";
  EXPECT_EQ(strstr_(one, ""), one);
  EXPECT_EQ(strstr_("", ""), nullptr);
  EXPECT_STREQ(strstr_("hello world", "o w"), "o world");
  EXPECT_EQ(strstr_("hello", "xyz"), nullptr);
  EXPECT_EQ(strncmp_("abc", "abd", 0), 0);
  EXPECT_LT(strncmp_("abc", "abd", 3), 0);
  EXPECT_EQ(strchr_("abc", 0), nullptr);
  EXPECT_EQ(upper(MP4_FOURCC_T('t', 'e', 'x', 't')), MP4_FOURCC_T('T', 'E', 'X', 'T'));
  char buf[64];
  EXPECT_STREQ(fileName(buf, "/a/b/c.mp4"), "c.mp4");
  EXPECT_STREQ(fileName(buf, "C:\\x\\y.mov"), "y.mov");
  EXPECT_STREQ(fileName(buf, "plain.3gp"), "plain.3gp");
}

TEST_F(Mp4Functions, CodecNames) {
  auto video = fn<char* (*)(char*, uint32_t)>("mp4_get_video_codec_name");
  auto audio = fn<char* (*)(char*, int32_t)>("mp4_get_audio_codec_name");
  char buf[32];
  EXPECT_STREQ(video(buf, MP4_FOURCC_T('a', 'v', 'c', '1')), "H.264");
  EXPECT_STREQ(video(buf, MP4_FOURCC_T('h', 'e', 'v', '1')), "HEVC");
  EXPECT_STREQ(video(buf, MP4_FOURCC_T('a', 'b', 'c', 'd')), "Unknown Video");
  EXPECT_STREQ(audio(buf, 0x161), "WMA V2 AUdio");
  EXPECT_STREQ(audio(buf, 0x2008), "EAC3(DolbyDigitalPlus) Audio");
  EXPECT_STREQ(audio(buf, 12345), "Unknown Audio");
}

TEST_F(Mp4Functions, CalendarConversions) {
  auto toTm = fn<void (*)(int64_t, Mp4Tm*)>("mp4_dmx_to_tm");
  auto toTime = fn<int64_t (*)(Mp4Tm*)>("mp4_dmx_tm_to_time");
  auto asc = fn<const char* (*)(const Mp4Tm*)>("mp4_dmx_asc_time");
  Mp4Tm tm{};
  toTm(951782400, &tm);  // 2000-02-29 00:00:00
  EXPECT_EQ(tm.mday, 29);
  EXPECT_EQ(tm.mon, 1);
  EXPECT_EQ(tm.year, 100);
  EXPECT_EQ(tm.wday, 2);
  EXPECT_EQ(tm.yday, 59);
  Mp4Tm feb31{0, 0, 0, 31, 1, 2001, 0, 0, 0};
  EXPECT_EQ(toTime(&feb31), -1);
  Mp4Tm leap{5, 4, 3, 29, 1, 2000, 0, 0, 0};
  EXPECT_EQ(toTime(&leap), 951782400 + 3 * 3600 + 4 * 60 + 5);
  EXPECT_EQ(leap.yday, 59);
  toTm(0, &tm);
  EXPECT_STREQ(asc(&tm), "Thu Jan 01 00:00:00 1970\n");
}

}  // namespace
