// Matroska demuxer: the entry's ops and refusals, stream description, codec
// configuration records, packet buffers, seeking and indexing, and the
// mended faults, over ffmpeg-made and hand-built files.
#include "mkv_test_support.h"

using namespace mkvtest;

namespace {

// ---- the entry ----

TEST_F(MkvTest, VersionNeedsNoHandleAndOtherOpsNeedOne) {
  const char* version = nullptr;
  const char* date = nullptr;
  EXPECT_EQ(call(MKV_OP_VERSION, nullptr, &version, &date), 0);
  EXPECT_STREQ(version, "KVR_MKVDMX_V1.2.1.2");
  EXPECT_STREQ(date, "2017-02-08/14:00");
  void* slot = nullptr;
  for (int32_t op : std::vector<int32_t>{MKV_OP_CLOSE, MKV_OP_READ, MKV_OP_SEEK, MKV_OP_SELECT, MKV_OP_LAST_ERROR, MKV_OP_META,
                     MKV_OP_CREATE_INDEX, MKV_OP_OPTIONS, MKV_OP_REAL_DURATION, 8})
    EXPECT_EQ(call(op, &slot, nullptr, nullptr), MKV_ERR_NO_HANDLE) << op;
}

TEST_F(MkvTest, OpenWithoutMemcpyLeavesTheSlotAlone) {
  void* slot = reinterpret_cast<void*>(0x1234);
  mkv_dmx_init_t record{};
  record.host = Host::get().services();
  record.host.memcpy_fn = nullptr;
  record.file = const_cast<char*>("x.mkv");
  EXPECT_EQ(call(MKV_OP_OPEN, &slot, &record, nullptr), MKV_ERR_NO_SERVICE);
  EXPECT_EQ(slot, reinterpret_cast<void*>(0x1234));
}

TEST_F(MkvTest, UnopenableFileLeavesAContextThatReportsAndCloses) {
  TempDir dir;
  Session s(dir.path + "/missing.mkv");
  EXPECT_EQ(s.result, MKV_ERR_OPEN);
  ASSERT_NE(s.slot, nullptr);
  EXPECT_EQ(s.error().code, MKV_ERR_OPEN);
  EXPECT_EQ(s.text(), "can't open file(set_bitstream)<dmx_open");
}

TEST_F(MkvTest, UnknownOpIsRefusedAndReported) {
  Session s(media("h264_aac.mkv"));
  ASSERT_EQ(s.result, 0);
  EXPECT_EQ(call(8, &s.slot, nullptr, nullptr), MKV_ERR_INVALID);
  EXPECT_EQ(s.text(), "invalid operation code");
  mkv_dmx_outstream_t out{};
  EXPECT_EQ(call(MKV_OP_READ, &s.slot, nullptr, &out), MKV_ERR_INVALID);
  EXPECT_EQ(s.text(), "mkv_dmx_getstream_t's value is NULL");
}

TEST_F(MkvTest, DescribesVideoAndAudioOfAnFfmpegFile) {
  Session s(media("h264_aac.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  ASSERT_EQ(s.info.video_count, 1u);
  ASSERT_EQ(s.info.audio_count, 1u);
  EXPECT_EQ(s.info.subtitle_count, 0u);
  const mkv_video_info_t& v = s.info.video[0];
  EXPECT_EQ(v.fourcc, 0x31637661u);  // avc1
  EXPECT_EQ(v.width, 320u);
  EXPECT_EQ(v.height, 240u);
  EXPECT_EQ(v.frame_rate, 25000u);
  EXPECT_GT(v.private_size, 7u);
  EXPECT_EQ(s.info.current_video, s.info.video);
  const mkv_audio_info_t& a = s.info.audio[0];
  EXPECT_EQ(a.format_tag, 0xFFu);
  EXPECT_EQ(a.sampling_rate, 48000u);
  EXPECT_EQ(a.channels, 1u);
  EXPECT_STREQ(a.language, "und");
  EXPECT_NEAR(double(s.info.file_info->duration_ms), 6000.0, 60.0);
  EXPECT_EQ(s.info.file_info->seekable, 1u);
}

TEST_F(MkvTest, SelectKeepsTheOutputForANumberNoTrackCarries) {
  Session s(media("h264_aac.mkv"));
  ASSERT_EQ(s.result, 0);
  mkv_dmx_select_t in{0x2, 0, 99, 0};
  mkv_dmx_selected_t out{};
  out.audio = reinterpret_cast<mkv_audio_info_t*>(0x10);
  EXPECT_EQ(call(MKV_OP_SELECT, &s.slot, &in, &out), 0);
  EXPECT_EQ(out.audio, reinterpret_cast<mkv_audio_info_t*>(0x10));
  in.audio_number = 2;
  EXPECT_EQ(call(MKV_OP_SELECT, &s.slot, &in, &out), 0);
  EXPECT_EQ(out.audio, s.info.audio);
}

TEST_F(MkvTest, OptionsStopVideoForGood) {
  Session s(media("h264_aac.mkv"));
  ASSERT_EQ(s.result, 0);
  mkv_dmx_options_t opt{0x4, 0};
  EXPECT_EQ(call(MKV_OP_OPTIONS, &s.slot, &opt, nullptr), 0);
  opt.bits = 0;
  EXPECT_EQ(call(MKV_OP_OPTIONS, &s.slot, &opt, nullptr), 0);
  int32_t last = 0;
  std::vector<Frame> frames = readAll(s, &last);
  EXPECT_EQ(last, MKV_ERR_END);
  ASSERT_FALSE(frames.empty());
  for (const Frame& f : frames) EXPECT_EQ(f.type, uint32_t(MKV_TRACK_AUDIO));
}

TEST_F(MkvTest, MetaListOfAFileWithCuesAndNoNames) {
  Session s(media("h264_aac.mkv"));
  ASSERT_EQ(s.result, 0);
  mkv_dmx_meta_list_t list{};
  ASSERT_EQ(call(MKV_OP_META, &s.slot, nullptr, &list), 0);
  ASSERT_GE(list.count, 1u);
  EXPECT_EQ(list.items[0].kind, uint32_t(MKV_META_CUE_COUNT));
  EXPECT_GT(list.items[0].value, 1u);
  // Asking again replaces the list without leaking the first.
  ASSERT_EQ(call(MKV_OP_META, &s.slot, nullptr, &list), 0);
}

// The display size travels in the meta list when it differs from the
// picture; a dimension the Video master leaves out follows the picture's,
// whatever the order of its elements.
TEST_F(MkvTest, DisplaySizeDefaultsToThePictureInAnyElementOrder) {
  const Bytes pw = uintEl(0xB0, 720), ph = uintEl(0xBA, 576);
  const Bytes dw = uintEl(0x54B0, 1024), dh = uintEl(0x54BA, 600);
  struct Case {
    const char* name;
    Bytes video;
    uint32_t width, height;
  } cases[] = {
      {"picture only", cat({pw, ph}), 720, 576},
      {"width after the picture", cat({pw, ph, dw}), 1024, 576},
      {"width before the picture", cat({dw, pw, ph}), 1024, 576},
      {"height before the picture", cat({dh, pw, ph}), 720, 600},
      {"both before the picture", cat({dw, dh, pw, ph}), 1024, 600},
      {"between the picture's", cat({pw, dw, dh, ph}), 1024, 600},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const Bytes track = el(0xAE, cat({uintEl(0xD7, 1), uintEl(0x83, 1), strEl(0x86, "V_VP8"), el(0xE0, c.video)}));
    const Bytes cluster = el(0x1F43B675, cat({uintEl(0xE7, 0), simpleBlock(1, 0, 0x80, Bytes(100, 0x11))}));
    Session s(dir.file("display.mkv", file(uintEl(0x2AD7B1, 1000000), track, cluster)));
    ASSERT_EQ(s.result, 0) << c.name << ": " << s.text();
    mkv_dmx_meta_list_t list{};
    ASSERT_EQ(call(MKV_OP_META, &s.slot, nullptr, &list), 0) << c.name;
    uint32_t width = 720, height = 576;  // no items: the display is the picture
    for (uint32_t i = 0; i < list.count; ++i) {
      if (list.items[i].kind == MKV_META_DISPLAY_WIDTH) width = uint32_t(list.items[i].value);
      if (list.items[i].kind == MKV_META_DISPLAY_HEIGHT) height = uint32_t(list.items[i].value);
    }
    EXPECT_EQ(width, c.width) << c.name;
    EXPECT_EQ(height, c.height) << c.name;
  }
}

// ---- codec configuration records ----

TEST_F(MkvTest, AvcCSplitsIntoParameterSetsAndRepeatsWithoutLeaking) {
  Session s(media("h264_aac.mkv"));
  ASSERT_EQ(s.result, 0);
  const mkv_video_info_t& v = s.info.video[0];
  mkv_dmx_bytes_t in{v.private_data, v.private_size};
  mkv_dmx_avcc_info_t* info = nullptr;
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(call(MKV_OP_AVCC, &s.slot, &in, &info), 0) << s.text();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->sps_count, 1u);
    EXPECT_EQ(info->pps_count, 1u);
    EXPECT_EQ(info->nal_length_size, 4u);
    EXPECT_EQ(info->sps_list[0].data[0] & 0x1F, 7);
    EXPECT_EQ(info->pps_list[0].data[0] & 0x1F, 8);
  }
  // A record cut inside its parameter sets is refused, not read past.
  std::vector<uint8_t> cut(v.private_data, v.private_data + 12);
  mkv_dmx_bytes_t short_in{cut.data(), uint32_t(cut.size())};
  EXPECT_EQ(call(MKV_OP_AVCC, &s.slot, &short_in, &info), MKV_ERR_AVCC);
  EXPECT_EQ(s.text(), "avcC's length is too short");
  uint8_t tiny[7] = {1, 0x64, 0, 0x1F, 0xFF, 0xE0, 0};
  mkv_dmx_bytes_t tiny_in{tiny, 7};
  ASSERT_EQ(call(MKV_OP_AVCC, &s.slot, &tiny_in, &info), 0);
  EXPECT_EQ(info->sps_count, 0u);
  EXPECT_EQ(info->pps_count, 0u);
  tiny[0] = 2;
  EXPECT_EQ(call(MKV_OP_AVCC, &s.slot, &tiny_in, &info), MKV_ERR_AVCC);
  EXPECT_EQ(s.text(), "Unknown avcC version");
}

TEST_F(MkvTest, HvcCGivesItsArraysAndStopsAtAUnitPastTheRecord) {
  Session s(media("hevc_ac3.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  const mkv_video_info_t& v = s.info.video[0];
  EXPECT_EQ(v.fourcc, 0x63766568u);  // hevc
  mkv_dmx_bytes_t in{v.private_data, v.private_size};
  mkv_dmx_hvcc_info_t* info = nullptr;
  ASSERT_EQ(call(MKV_OP_HVCC, &s.slot, &in, &info), 0);
  ASSERT_GE(info->nal_array_count, 3u);
  EXPECT_EQ(info->nal_arrays[0].nal_unit_type, 32u);
  EXPECT_EQ(info->nal_arrays[1].nal_unit_type, 33u);
  EXPECT_EQ(info->nal_arrays[2].nal_unit_type, 34u);
  EXPECT_EQ(info->nal_length_size, 4u);
  in.length = 30;
  EXPECT_EQ(call(MKV_OP_HVCC, &s.slot, &in, &info), MKV_ERR_HVCC_UNIT);
  in.length = 27;
  EXPECT_EQ(call(MKV_OP_HVCC, &s.slot, &in, &info), MKV_ERR_HVCC);
  EXPECT_EQ(s.text(), "hevcC's length is too short");
}

// ---- packets ----

TEST_F(MkvTest, TooSmallCallerBufferReportsTheNeededSizeAndMovesOn) {
  Session s(media("header_strip.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  std::vector<uint8_t> big(1 << 20);
  mkv_dmx_outstream_t out{};
  // The stripped header counts in the needed size: find an audio frame.
  uint32_t needed = 0;
  for (int i = 0; i < 200 && !needed; ++i) {
    uint8_t small[8];
    int32_t r = s.read(&out, MKV_KIND_AUDIO, small, sizeof small);
    if (r == MKV_ERR_NO_MEMORY) {
      EXPECT_EQ(s.text(), "insufficient buffer length of m_pbyData");
      needed = out.m_ulDataLength;
    }
  }
  ASSERT_GT(needed, 8u);
  ASSERT_EQ(s.read(&out, MKV_KIND_AUDIO, big.data(), uint32_t(big.size())), 0);
  EXPECT_EQ(out.m_pbyData, big.data());
  EXPECT_EQ(out.m_pbyData[0], 0x0B);  // the stripped sync word is back
  EXPECT_EQ(out.m_pbyData[1], 0x77);
}

TEST_F(MkvTest, ZlibFramesAreDeliveredAsStored) {
  Session s(media("zlib.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  int audio = 0;
  for (const Frame& f : readAll(s))
    if (f.type == MKV_TRACK_AUDIO) {
      ++audio;
      EXPECT_EQ(f.head[0], 0x78);  // zlib stream header
    }
  EXPECT_GT(audio, 100);
}

TEST_F(MkvTest, BlocksBeforeTheStartTimecodeStartAtZero) {
  Session s(media("negative_times.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  std::vector<Frame> frames = readAll(s);
  ASSERT_GT(frames.size(), 100u);
  // The first cluster's blocks lie up to 300 ms before the start: they read
  // as 0, never as their distance mirrored after it.
  EXPECT_EQ(frames[0].time, 0u);
  uint32_t zeros = 0;
  for (size_t i = 0; i < 10; ++i) zeros += frames[i].time == 0;
  EXPECT_GT(zeros, 2u);
  for (size_t i = 1; i < frames.size(); ++i)
    if (frames[i].type == frames[i - 1].type) {
      EXPECT_GE(frames[i].time + 200, frames[i - 1].time);
    }
}

TEST_F(MkvTest, DamagedClusterIsPassedOverToTheEnd) {
  Session s(media("damaged.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  int32_t last = 0;
  std::vector<Frame> frames = readAll(s, &last);
  EXPECT_EQ(last, MKV_ERR_END);
  ASSERT_FALSE(frames.empty());
  EXPECT_GT(frames.back().time, 3500u);
}

TEST_F(MkvTest, ManyTracksKeepAtMost127) {
  Session s(media("many_tracks.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  EXPECT_EQ(s.info.video_count, 1u);
  EXPECT_EQ(s.info.audio_count, 1u);
  EXPECT_EQ(s.info.subtitle_count, 32u);
  EXPECT_EQ(s.info.subtitle[0].track_number, 100u);
  EXPECT_EQ(s.info.subtitle[0].kind, uint32_t(MKV_SUB_UTF8));
}

// ---- seeking and the index ----

TEST_F(MkvTest, SeekWithoutCuesNeedsTheIndex) {
  Session s(media("no_cues.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  EXPECT_EQ(s.info.file_info->seekable, 0u);
  EXPECT_EQ(s.seek(2000), MKV_ERR_NO_KEYFRAME);
  EXPECT_EQ(s.text(), "can't seek, keyframe does not exist");
  mkv_dmx_outstream_t out{};
  EXPECT_EQ(s.seek(0, 0, &out), 0);
  EXPECT_EQ(out.m_ulTimestamp, 0u);
  ASSERT_EQ(call(MKV_OP_CREATE_INDEX, &s.slot, nullptr, nullptr), 0);
  EXPECT_EQ(s.info.file_info->seekable, 1u);
  ASSERT_EQ(s.seek(2100, 0, &out), 0) << s.text();
  EXPECT_EQ(out.m_ulTrackType, uint32_t(MKV_TRACK_VIDEO));
  EXPECT_EQ(*out.m_pulKeyFrame, 1u);
  EXPECT_GE(out.m_ulTimestamp, 2100u);
  uint32_t landed = out.m_ulTimestamp;
  ASSERT_EQ(s.read(&out, MKV_KIND_VIDEO), 0);
  EXPECT_EQ(out.m_ulTimestamp, landed);
  // A second index request changes nothing; op 10001 measures again.
  EXPECT_EQ(call(MKV_OP_CREATE_INDEX, &s.slot, nullptr, nullptr), 0);
  EXPECT_EQ(call(MKV_OP_REAL_DURATION, &s.slot, nullptr, nullptr), 0);
  EXPECT_NEAR(double(s.info.file_info->duration_ms), 4000.0, 100.0);
}

TEST_F(MkvTest, SeekTargetsByMode) {
  Session s(media("h264_aac.mkv"));
  ASSERT_EQ(s.result, 0);
  mkv_dmx_outstream_t out{};
  // Key frames every second. A target equal to the current time moves on by
  // 100 ms, so it lands on the next key frame.
  ASSERT_EQ(s.seek(3000, 0, &out), 0) << s.text();
  EXPECT_EQ(out.m_ulTimestamp, 3000u);
  ASSERT_EQ(s.seek(3000, 0, &out), 0) << s.text();
  EXPECT_EQ(out.m_ulTimestamp, 4000u);
  // Relative: 1.5 s back from 4 s lands on the key frame at 2 s.
  ASSERT_EQ(s.seek(-1500, MKV_SEEK_RELATIVE, &out), 0) << s.text();
  EXPECT_EQ(out.m_ulTimestamp, 2000u);
  // Past the last key frame: the end, unless seek end mode 2 asks for the
  // last key frame.
  EXPECT_EQ(s.seek(100000), MKV_ERR_END);
  mkv_dmx_options_t opt{0, 2};
  ASSERT_EQ(call(MKV_OP_OPTIONS, &s.slot, &opt, nullptr), 0);
  ASSERT_EQ(s.seek(100000, 0, &out), 0) << s.text();
  EXPECT_EQ(out.m_ulTimestamp, 5000u);
  ASSERT_EQ(s.seek(0, 0, &out), 0);
  EXPECT_EQ(out.m_ulTimestamp, 0u);
  ASSERT_EQ(s.read(&out, MKV_KIND_VIDEO), 0);
  EXPECT_EQ(out.m_ulTimestamp, 0u);
  EXPECT_EQ(*out.m_pulKeyFrame, 1u);
}

TEST_F(MkvTest, ReadingGoesOnToTheEndAfterASeek) {
  Session s(media("h264_aac.mkv"));
  ASSERT_EQ(s.result, 0);
  mkv_dmx_outstream_t out{};
  ASSERT_EQ(s.seek(3000, 0, &out), 0) << s.text();
  EXPECT_EQ(out.m_ulTimestamp, 3000u);
  int32_t last = 0;
  std::vector<Frame> frames = readAll(s, &last);
  EXPECT_EQ(last, MKV_ERR_END);
  int video = 0, audio = 0;
  for (const Frame& f : frames) {
    EXPECT_GE(f.time, 2900u);
    (f.type == MKV_TRACK_VIDEO ? video : audio)++;
  }
  EXPECT_EQ(video, 75);
  EXPECT_GT(audio, 130);
  ASSERT_GT(frames.size(), 0u);
  EXPECT_EQ(frames[0].type, uint32_t(MKV_TRACK_VIDEO));
}

// Cluster offsets (from the segment data start) and timecodes of a file
// whose segment has a known size.
std::vector<std::pair<uint64_t, uint64_t>> clusterList(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto vint = [&](size_t* p, bool marker) {
    int n = 1;
    while (n <= 8 && !(b[*p] & (0x80 >> (n - 1)))) ++n;
    uint64_t v = marker ? b[*p] : b[*p] & (0xFF >> n);
    for (int i = 1; i < n; ++i) v = v << 8 | b[*p + size_t(i)];
    *p += size_t(n);
    return v;
  };
  std::vector<std::pair<uint64_t, uint64_t>> out;
  size_t p = 0;
  vint(&p, true);
  p += size_t(vint(&p, false));  // EBML header
  vint(&p, true);
  vint(&p, false);
  const size_t start = p;
  while (p < b.size()) {
    const size_t at = p;
    uint64_t id = vint(&p, true), size = vint(&p, false);
    if (id == 0x1F43B675) {
      size_t q = p;
      uint64_t tid = vint(&q, true), tsize = vint(&q, false), tc = 0;
      for (uint64_t i = 0; tid == 0xE7 && i < tsize; ++i) tc = tc << 8 | b[q + i];
      out.emplace_back(at - start, tc);
    }
    p += size_t(size);
  }
  return out;
}

TEST_F(MkvTest, IndexByClusterScanListsEveryClusterButTheLast) {
  Session s(media("no_cues.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  ASSERT_EQ(call(MKV_OP_CREATE_INDEX, &s.slot, nullptr, nullptr), 0);
  const mkv_dmx_t* ctx = static_cast<const mkv_dmx_t*>(s.slot);
  std::vector<std::pair<uint64_t, uint64_t>> clusters = clusterList(media("no_cues.mkv"));
  ASSERT_GT(clusters.size(), 2u);
  ASSERT_EQ(ctx->cue_count, clusters.size() - 1);
  for (size_t i = 0; i + 1 < clusters.size(); ++i) {
    EXPECT_EQ(ctx->cues[i].cluster_pos, clusters[i].first) << i;
    EXPECT_EQ(ctx->cues[i].time, (clusters[i].second - clusters[0].second) * 1000000) << i;
  }
}

TEST_F(MkvTest, IndexGivesTheLastKeyTimeToTheSelectedVideoTrack) {
  Session s(media("two_video_no_cues.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  ASSERT_EQ(s.info.video_count, 2u);
  const uint32_t firstBefore = s.info.video[0].last_cue_time_ms;
  mkv_dmx_select_t select{1, s.info.video[1].track_number, 0, 0};
  mkv_dmx_selected_t selected{};
  ASSERT_EQ(call(MKV_OP_SELECT, &s.slot, &select, &selected), 0);
  ASSERT_EQ(selected.video, &s.info.video[1]);
  ASSERT_EQ(call(MKV_OP_CREATE_INDEX, &s.slot, nullptr, nullptr), 0);
  const mkv_dmx_t* ctx = static_cast<const mkv_dmx_t*>(s.slot);
  ASSERT_EQ(s.info.file_info->seekable, 1u);
  ASSERT_GT(ctx->max_key_time, 0u);
  EXPECT_EQ(s.info.video[1].last_cue_time_ms, ctx->max_key_time);
  EXPECT_EQ(s.info.video[0].last_cue_time_ms, firstBefore);
  EXPECT_NE(firstBefore, ctx->max_key_time);  // else the first track's word shows nothing
}

TEST_F(MkvTest, CloseWhileTheIndexIsBuiltWaitsForIt) {
  Session s(media("no_cues.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  const mkv_dmx_t* ctx = static_cast<const mkv_dmx_t*>(s.slot);
  std::atomic<bool> done{false};
  std::atomic<int32_t> result{1};
  void* slot = s.slot;
  std::thread indexer([&] {
    result = call(MKV_OP_CREATE_INDEX, &slot, nullptr, nullptr);
    done = true;
  });
  // Close only once the index creation has begun (or already ended).
  while (!done && !(__atomic_load_n(&ctx->run_state, __ATOMIC_ACQUIRE) & RUN_INDEXING)) std::this_thread::yield();
  EXPECT_EQ(call(MKV_OP_CLOSE, &s.slot, nullptr, nullptr), 0);
  indexer.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(s.slot, nullptr);
}

TEST_F(MkvTest, IndexIsRefusedOnOneHandleAndWithoutTheEndSearch) {
  Session one(media("no_cues.mkv"), MKV_OP_OPEN_HANDLE);
  ASSERT_EQ(one.result, 0) << one.text();
  EXPECT_EQ(call(MKV_OP_CREATE_INDEX, &one.slot, nullptr, nullptr), MKV_ERR_OPEN);
  EXPECT_EQ(one.text(), "cannot create index from single file handle");
  size_t frames = readAll(one).size();
  Session flagged(media("no_cues.mkv"), MKV_OP_OPEN, MKV_FLAG_NO_END_SEARCH);
  ASSERT_EQ(flagged.result, 0) << flagged.text();
  EXPECT_EQ(readAll(flagged).size(), frames);
  EXPECT_EQ(call(MKV_OP_CREATE_INDEX, &flagged.slot, nullptr, nullptr), MKV_ERR_OPEN);
  EXPECT_EQ(flagged.text(), "cannot create index from FLAG_DISABLE_SEEK_TO_END_OF_FILE");
}

// ---- hand-built headers ----

TEST_F(MkvTest, HeaderRefusalsAndAcceptances) {
  const Bytes info = uintEl(0x2AD7B1, 1000000);
  const Bytes tracks = audioTrack(1, "A_AC3");
  const Bytes cluster = el(0x1F43B675, cat({uintEl(0xE7, 0), simpleBlock(1, 0, 0x80, Bytes(100, 0x11))}));
  struct Case {
    const char* name;
    Bytes bytes;
    int32_t code;
    const char* message;
  } cases[] = {
      {"matroska", file(info, tracks, cluster), 0, ""},
      {"webm", file(info, tracks, cluster, "webm"), 0, ""},
      {"segment first", segment(cat({el(0x1549A966, info), el(0x1654AE6B, tracks), cluster})), 0, ""},
      {"capital doctype", file(info, tracks, cluster, "Matroska"), MKV_ERR_UNSUPPORTED, "unsupported DocType of EBML"},
      {"read version 2", cat({ebmlHeader("matroska", 2), segment(cat({el(0x1549A966, info), el(0x1654AE6B, tracks)}))}),
       MKV_ERR_INVALID, "invalid EBML_VERSION"},
      {"not ebml", Bytes{0x42, 0x86, 0x81, 0x01}, MKV_ERR_INVALID, "First element in file is not EBML"},
      {"no info", cat({ebmlHeader(), segment(cat({el(0x1654AE6B, tracks), cluster}))}), MKV_ERR_INVALID,
       "Couldn't find SegmentInfo"},
      {"zero scale", file(el(0x2AD7B1, {}), tracks, cluster), MKV_ERR_INVALID, "Segment timecode scale is zero"},
      {"uid of 15", file(el(0x73A4, Bytes(15, 1)), tracks, cluster), MKV_ERR_INVALID, "invalid size of SegmentUID"},
      {"float of 10", file(el(0x4489, Bytes(10, 0)), tracks, cluster), MKV_ERR_UNSUPPORTED,
       "invalid float size in read_float"},
      {"track type 255", file(info, el(0xAE, cat({uintEl(0xD7, 1), uintEl(0x83, 255), strEl(0x86, "A_AC3")})), cluster),
       MKV_ERR_INVALID, "Track type is > 255"},
      {"no codec id", file(info, el(0xAE, cat({uintEl(0xD7, 1), uintEl(0x83, 2)})), cluster), MKV_ERR_INVALID,
       "Track has no Codec ID"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    Session s(dir.file("case.mkv", c.bytes));
    EXPECT_EQ(s.result, c.code) << c.name << ": " << s.text();
    if (c.code) {
      EXPECT_EQ(s.text().rfind(c.message, 0), 0u) << c.name << ": " << s.text();
    }
  }
}

TEST_F(MkvTest, DurationFloatsAndCodecMapping) {
  TempDir dir;
  // Duration 1500.0 as binary64 with the default scale.
  Bytes f64 = {0x40, 0x97, 0x70, 0, 0, 0, 0, 0};
  Bytes v = cat({el(0xAE, cat({uintEl(0xD7, 1), uintEl(0x83, 1), strEl(0x86, "V_THEORA"),
                               el(0xE0, cat({uintEl(0xB0, 720), uintEl(0xBA, 576)})), uintEl(0x23E383, 41708333)})),
                 audioTrack(2, "A_AC3/BSID9"), audioTrack(3, "A_REAL/COOK", el(0x63A2, Bytes(8, 1))),
                 audioTrack(4, "A_AAC/MPEG4/LC"), audioTrack(5, "A_")});
  Session s(dir.file("d.mkv", file(cat({el(0x4489, f64)}), v, {})));
  ASSERT_EQ(s.result, 0) << s.text();
  EXPECT_EQ(s.info.file_info->duration_ms, 1500u);
  ASSERT_EQ(s.info.video_count, 1u);
  EXPECT_EQ(s.info.video[0].fourcc, 0x48545F56u);  // V_TH
  EXPECT_EQ(s.info.video[0].frame_rate, 23976u);
  ASSERT_EQ(s.info.audio_count, 4u);
  EXPECT_EQ(s.info.audio[0].format_tag, 0x2000u);
  EXPECT_EQ(s.info.audio[1].format_tag, 0x6B6F6F63u);  // cook
  EXPECT_EQ(s.info.audio[2].format_tag, 0xFFu);
  ASSERT_EQ(s.info.audio[2].private_size, 2u);
  // 48000 Hz, two channels: object type 2, index 3.
  EXPECT_EQ(s.info.audio[2].private_data[0], 0x11);
  EXPECT_EQ(s.info.audio[2].private_data[1], 0x90);
  // A CodecID shorter than its code window is not read past its end.
  EXPECT_EQ(s.info.audio[3].format_tag, 0u);
}

TEST_F(MkvTest, BitmapHeaderShorterThan40BytesIsNotRead) {
  TempDir dir;
  Bytes bih(36, 0);
  bih[0] = 36;  // biSize claims only what is there
  Bytes v = el(0xAE, cat({uintEl(0xD7, 1), uintEl(0x83, 1), strEl(0x86, "V_MS/VFW/FOURCC"), el(0x63A2, bih),
                          el(0xE0, cat({uintEl(0xB0, 64), uintEl(0xBA, 48)}))}));
  Session s(dir.file("b.mkv", file(uintEl(0x2AD7B1, 1000000), v, {})));
  ASSERT_EQ(s.result, 0) << s.text();
  ASSERT_EQ(s.info.video_count, 1u);
  EXPECT_EQ(s.info.video[0].fourcc, 0u);
  EXPECT_EQ(s.info.video[0].width, 0u);
  EXPECT_EQ(s.info.video[0].track_number, 1u);
}

TEST_F(MkvTest, LaceSizesThatDoNotFitTheBlockAreRefused) {
  TempDir dir;
  // Xiph lacing of 3 frames claiming 255+255+10 and 50 bytes in a block of 40.
  Bytes body = {2, 0xFF, 0xFF, 10, 50};
  body.resize(body.size() + 40, 0x22);
  Bytes ebml = {2, 0x40, 0x20, 0x5F, 0xFF};  // first size 32, difference far too large
  ebml.resize(ebml.size() + 40, 0x33);
  Bytes cluster = el(0x1F43B675, cat({uintEl(0xE7, 0), simpleBlock(1, 0, 0x80, Bytes(10, 1)),
                                      simpleBlock(1, 40, 0x80 | 0x02, body), simpleBlock(1, 80, 0x80 | 0x06, ebml),
                                      simpleBlock(1, 120, 0x80, Bytes(10, 4))}));
  Session s(dir.file("l.mkv", file(uintEl(0x2AD7B1, 1000000), audioTrack(1, "A_AC3"), cluster)));
  ASSERT_EQ(s.result, 0) << s.text();
  int32_t last = 0;
  std::vector<Frame> frames = readAll(s, &last);
  // The block before the bad ones comes through; the bad ones end the
  // reading with an error instead of frames that run past their block.
  ASSERT_GE(frames.size(), 1u);
  EXPECT_EQ(frames[0].size, 10u);
  for (const Frame& f : frames) EXPECT_LE(f.size, 45u);
  EXPECT_LT(last, 0);
}

TEST_F(MkvTest, ClusterWithABlockBeforeItsTimecodeIsPassedOver) {
  TempDir dir;
  const Bytes tracks = el(0x1654AE6B, audioTrack(1, "A_AC3", uintEl(0x23E383, 32000000)));
  Bytes first, second;
  for (int i = 0; i < 10; ++i) {
    first = cat({first, simpleBlock(1, int16_t(32 * i), 0x80, Bytes(64, 1))});
    second = cat({second, simpleBlock(1, int16_t(32 * i), 0x80, Bytes(80, 2))});
  }
  const Bytes bad = el(0x1F43B675, cat({simpleBlock(1, 0, 0x80, Bytes(64, 1)), uintEl(0xE7, 0), first}));
  const Bytes good = el(0x1F43B675, cat({uintEl(0xE7, 1000), second}));
  Session s(dir.file("early_block.mka",
                     cat({ebmlHeader(), segment(cat({el(0x1549A966, uintEl(0x2AD7B1, 1000000)), tracks, bad, good}))})));
  ASSERT_EQ(s.result, 0) << s.text();
  int32_t last = 0;
  std::vector<Frame> frames = readAll(s, &last);
  EXPECT_EQ(last, MKV_ERR_END);
  ASSERT_EQ(frames.size(), 10u);
  EXPECT_EQ(frames[0].size, 80u);
  EXPECT_EQ(frames[0].time, 1000u);
}

TEST_F(MkvTest, ResynchronisationThroughCuesNeverGoesBack) {
  TempDir dir;
  const Bytes head = cat({el(0x1549A966, uintEl(0x2AD7B1, 1000000)),
                          el(0x1654AE6B, audioTrack(1, "A_AC3", uintEl(0x23E383, 32000000)))});
  Bytes blocks;
  for (int i = 0; i < 10; ++i) blocks = cat({blocks, simpleBlock(1, int16_t(32 * i), 0x80, Bytes(64, 1))});
  const Bytes good = el(0x1F43B675, cat({uintEl(0xE7, 0), blocks}));
  const Bytes bad = el(0x1F43B675, cat({simpleBlock(1, 0, 0x80, Bytes(64, 2)), uintEl(0xE7, 1000), blocks}));
  // Two damaged clusters after a good one; the last cue point names the
  // segment's first element, behind the damage.
  auto point = [](uint64_t time, uint64_t pos) {
    return el(0xBB, cat({uintEl(0xB3, time), el(0xB7, cat({uintEl(0xF7, 1), uintEl(0xF1, pos)}))}));
  };
  const Bytes cues = el(0x1C53BB6B, cat({point(0, head.size()), point(1000, head.size() + good.size()),
                                         point(2000, head.size() + good.size() + bad.size()), point(5000, 0)}));
  Session s(dir.file("back.mka", cat({ebmlHeader(), segment(cat({head, good, bad, bad, cues}))})));
  ASSERT_EQ(s.result, 0) << s.text();
  int32_t last = 0;
  std::vector<Frame> frames = readAll(s, &last);
  EXPECT_LT(last, 0);
  EXPECT_EQ(frames.size(), 10u);
}

TEST_F(MkvTest, MainReaderOnlyOpenDescribesAndDeliversNothing) {
  Session s(media("h264_aac.mkv"), MKV_OP_OPEN_MAIN_ONLY);
  ASSERT_EQ(s.result, 0) << s.text();
  EXPECT_EQ(s.info.video_count, 1u);
  EXPECT_EQ(s.info.audio_count, 1u);
  mkv_dmx_outstream_t out{};
  EXPECT_EQ(s.read(&out), MKV_ERR_END);
  EXPECT_EQ(out.m_pbyData, nullptr);
  // Without an index reader the scan finds nothing, and says so cleanly.
  EXPECT_EQ(call(MKV_OP_CREATE_INDEX, &s.slot, nullptr, nullptr), 0);
  EXPECT_EQ(call(MKV_OP_REAL_DURATION, &s.slot, nullptr, nullptr), 0);
}

// ---- the cached reader ----

template <class Fn>
Fn sym(const char* name) {
  Fn f = reinterpret_cast<Fn>(plugin().symbol(name));
  EXPECT_NE(f, nullptr) << name;
  return f;
}

struct Reader {
  mkv_dmx_bs_t bs{};
  mkv_dmx_last_error_t err{};
  KvrHostServices host = Host::get().services();
  Reader(const std::string& path, uint32_t cache) {
    void* f = hostFopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr);
    sym<int32_t (*)(mkv_dmx_bs_t*, uint32_t, void*, const KvrHostServices*, mkv_dmx_last_error_t*, uint32_t)>(
        "mkv_dmx_open_bitstream_set")(&bs, cache, f, &host, &err, 0);
  }
  ~Reader() { sym<void (*)(mkv_dmx_bs_t*)>("mkv_dmx_close_bitstream")(&bs); }
  int32_t seek(uint64_t pos) { return sym<int32_t (*)(mkv_dmx_bs_t*, uint64_t)>("mkv_dmx_bs_fseek")(&bs, pos); }
  uint32_t be32() { return sym<uint32_t (*)(mkv_dmx_bs_t*)>("mkv_dmx_bs_read_be32")(&bs); }
  uint32_t le32() { return sym<uint32_t (*)(mkv_dmx_bs_t*)>("mkv_dmx_bs_read_le32")(&bs); }
  int32_t read(void* dst, int32_t n) {
    return sym<int32_t (*)(mkv_dmx_bs_t*, void*, int32_t)>("mkv_dmx_bs_read_bytes")(&bs, dst, n);
  }
};

TEST_F(MkvTest, ReaderSeeksOver4GiBLandOnTheirOwnBytes) {
  TempDir dir;
  const std::string path = dir.path + "/sparse.bin";
  const uint64_t far = (uint64_t(1) << 32) + 10;
  FILE* f = fopen64(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fseeko(f, 10, SEEK_SET);
  fwrite("\x1a\x45\xdf\xa3", 1, 4, f);
  fseeko64(f, off64_t(far), SEEK_SET);
  fwrite("WXYZ", 1, 4, f);
  fclose(f);
  {
    Reader r(path, 1024);
    ASSERT_EQ(r.seek(10), 0);
    EXPECT_EQ(r.be32(), 0x1A45DFA3u);
    ASSERT_EQ(r.seek(10), 0);
    EXPECT_EQ(r.le32(), 0xA3DF451Au);
    // 2^32 bytes past the cache: a 32-bit distance would land back inside it.
    ASSERT_EQ(r.seek(far), 0);
    EXPECT_EQ(r.be32(), 0x5758595Au);
    EXPECT_EQ(r.read(nullptr, 0), 0);
    char tail[8];
    EXPECT_EQ(r.read(tail, 8), MKV_ERR_END);
    EXPECT_STREQ(r.err.text, "the end of the file(bs_read_bytes)");
  }
}

// Callers allocate the reader record at its published size (56 bytes with
// 32-bit words): no path of the reader may write past it.
TEST_F(MkvTest, ReaderStaysInsideTheRecordCallersAllocate) {
  constexpr size_t kRecord = sizeof(void*) == 4 ? 56 : 88;  // the same words, pointer-sized
  constexpr size_t kGuard = 32;
  TempDir dir;
  Bytes content(5000);
  for (size_t i = 0; i < content.size(); ++i) content[i] = uint8_t(i * 7 + 3);
  const std::string path = dir.file("bytes.bin", content);
  alignas(8) uint8_t memory[kRecord + kGuard];
  std::memset(memory, 0xA5, sizeof memory);
  mkv_dmx_bs_t* bs = reinterpret_cast<mkv_dmx_bs_t*>(memory);
  mkv_dmx_last_error_t err{};
  KvrHostServices host = Host::get().services();
  void* f = hostFopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ((sym<int32_t (*)(mkv_dmx_bs_t*, uint32_t, void*, const KvrHostServices*, mkv_dmx_last_error_t*,
                             uint32_t)>("mkv_dmx_open_bitstream_set")(bs, 1024, f, &host, &err, MKV_BS_GROW)),
            0);
  auto seek = sym<int32_t (*)(mkv_dmx_bs_t*, uint64_t)>("mkv_dmx_bs_fseek");
  auto read = sym<int32_t (*)(mkv_dmx_bs_t*, void*, int32_t)>("mkv_dmx_bs_read_bytes");
  auto show = sym<int32_t (*)(mkv_dmx_bs_t*, void*, int32_t)>("mkv_dmx_bs_show_bytes");
  uint8_t got[3000];
  // Fills, a read that grows the cache, a show across the cache end, a
  // short backward step that keeps the overlap, a reset, the end of the file.
  EXPECT_EQ(read(bs, got, 100), 100);
  EXPECT_EQ(read(bs, got, 3000), 3000);
  EXPECT_EQ(got[0], content[100]);
  ASSERT_EQ(seek(bs, 3098), 0);
  EXPECT_EQ(show(bs, got, 4), 4);
  EXPECT_EQ(got[3], content[3101]);
  ASSERT_EQ(seek(bs, 3000), 0);
  EXPECT_EQ(read(bs, got, 4), 4);
  EXPECT_EQ(got[0], content[3000]);
  EXPECT_EQ((sym<int32_t (*)(mkv_dmx_bs_t*, uint64_t)>("mkv_dmx_bs_fseek_reset")(bs, 4990)), 0);
  EXPECT_EQ(read(bs, got, 20), MKV_ERR_END);
  sym<void (*)(mkv_dmx_bs_t*)>("mkv_dmx_close_bitstream")(bs);
  for (size_t i = kRecord; i < sizeof memory; ++i) EXPECT_EQ(memory[i], 0xA5) << "byte " << i << " of the record";
}

TEST_F(MkvTest, OneCuePointCannotBeSoughtOn) {
  TempDir dir;
  const Bytes info = uintEl(0x2AD7B1, 1000000);
  const Bytes tracks = el(0x1654AE6B, audioTrack(1, "A_AC3", uintEl(0x23E383, 32000000)));
  Bytes blocks;
  for (int i = 0; i < 40; ++i) blocks = cat({blocks, simpleBlock(1, int16_t(32 * i), 0x80, Bytes(64, uint8_t(i)))});
  const Bytes cluster = el(0x1F43B675, cat({uintEl(0xE7, 0), blocks}));
  const Bytes head = cat({el(0x1549A966, info), tracks});
  const Bytes cues = el(0x1C53BB6B, el(0xBB, cat({uintEl(0xB3, 0), el(0xB7, cat({uintEl(0xF7, 1),
                                                                              uintEl(0xF1, head.size())}))})));
  Session s(dir.file("one_cue.mka", cat({ebmlHeader(), segment(cat({head, cluster, cues}))})));
  ASSERT_EQ(s.result, 0) << s.text();
  EXPECT_EQ(s.info.file_info->seekable, 0u);
  EXPECT_EQ(s.seek(500), MKV_ERR_ONE_KEYFRAME);
  EXPECT_EQ(s.text(), "can't seek, there is only one keyframe");
  EXPECT_EQ(readAll(s).size(), 40u);
}

}  // namespace
