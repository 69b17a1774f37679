// The entry, open and close, the byte reader and frame production of the
// program-stream demuxer.
#include <algorithm>

#include "mpg_internal.h"
#include "mpg_test_support.h"

using namespace mpgtest;

mediahost::Plugin* mpgtest::MpgTest::plugin_ = nullptr;

namespace {

using EntryTest = MpgTest;

TEST_F(EntryTest, UnknownOpsAndMissingHandlesAreRefusedAndCloseClearsTheSlot) {
  void* null_slot = nullptr;
  MpgFrameRequest req{};
  MpgFrame frame{};
  for (int32_t op : {6, 8, 100, -1}) EXPECT_EQ(entry(op, &null_slot, &req, &frame), MPG_ERR_ARGUMENT) << op;
  for (int32_t op : {MPG_OP_SUBPICTURE, MPG_OP_SEEK, MPG_OP_NEXT_FRAME, MPG_OP_SELECT})
    EXPECT_EQ(entry(op, &null_slot, &req, &frame), MPG_ERR_ARGUMENT) << op;
  EXPECT_EQ(entry(MPG_OP_NEXT_FRAME, nullptr, &req, &frame), MPG_ERR_ARGUMENT);
  EXPECT_EQ(entry(MPG_OP_CLOSE, &null_slot, nullptr, nullptr), MPG_OK);

  std::string path = media("mpeg2_mp2.vob");
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  ASSERT_EQ(s.next(), MPG_OK);
  EXPECT_EQ(s.call(6, &s.request, &s.frame), MPG_ERR_ARGUMENT);
  EXPECT_EQ(s.close(), MPG_OK);
  EXPECT_EQ(s.slot, nullptr);
  EXPECT_EQ(s.frame.data, nullptr);
  EXPECT_EQ(s.call(MPG_OP_CLOSE, nullptr, nullptr), MPG_OK);
  EXPECT_EQ(s.next(), MPG_ERR_ARGUMENT);
}

TEST_F(EntryTest, FilesThatAreNotProgramStreamsAreRefusedAndTheHandleStillCloses) {
  std::vector<uint8_t> late(MPG_PACK_SEARCH, 0x11);
  PsBuilder b;
  b.pack(90000);
  late.insert(late.end(), b.out.begin(), b.out.end());
  std::vector<uint8_t> odd = {0, 0, 1, 0xBA, 0xC4, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8};
  struct Case {
    const char* name;
    std::string path;
    int32_t code;
  } cases[] = {
      {"missing file", dir_ + "/none.vob", MPG_ERR_FILE_OPEN},
      {"empty file", file("empty.vob", {}), MPG_ERR_PROBE_OPEN},
      {"elementary video", media("mpeg2_mp2.m2v"), MPG_ERR_NOT_PS},
      {"pack after the scan window", file("late.vob", late), MPG_ERR_NOT_PS},
      {"pack of neither syntax", file("odd.vob", odd), MPG_ERR_NOT_PS},
  };
  for (const Case& c : cases) {
    Session s(this, openRecord(c.path.c_str()));
    EXPECT_EQ(s.opened, c.code) << c.name;
    EXPECT_NE(s.slot, nullptr) << c.name;  // the host still closes it
    EXPECT_EQ(s.close(), MPG_OK);
    EXPECT_EQ(mediahost::Host::get().openFiles(), 0u) << c.name;
  }
}

TEST_F(EntryTest, HostsWithoutTheSixtyFourBitPairUseTheThirtyTwoBitOne) {
  std::string path = media("mpeg2_ac3.vob");
  std::vector<std::vector<uint8_t>> frames[2];
  for (int narrow = 0; narrow < 2; ++narrow) {
    MpgOpenRecord r = openRecord(path.c_str(), MPG_MODE_DIRECT, MPG_DURATION_MEASURE, 0, 4096);
    if (narrow) r.host.seek64 = nullptr, r.host.tell64 = nullptr;
    Session s(this, r);
    ASSERT_EQ(s.opened, MPG_OK);
    EXPECT_EQ(s.info.file_size, readFile(path).size());
    while (s.next() == MPG_OK) frames[narrow].push_back(s.payload());
    ASSERT_EQ(s.seek(1500, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE), MPG_OK);
    frames[narrow].push_back(s.payload());
  }
  EXPECT_GT(frames[0].size(), 90u);
  EXPECT_TRUE(frames[0] == frames[1]);
}

TEST_F(EntryTest, InformationOpenListsStreamsWithoutDurationOrTimeFlags) {
  std::string path = media("mpeg2_ac3.vob");
  Session s(this, openRecord(path.c_str()), MPG_OP_OPEN_INFO);
  ASSERT_EQ(s.opened, MPG_OK);
  EXPECT_EQ(s.record.duration_mode, uint32_t(MPG_DURATION_NONE));
  EXPECT_EQ(s.info.duration_ms, 0);
  EXPECT_EQ(s.info.file_size, 0u);
  ASSERT_EQ(s.info.video_count, 1u);
  ASSERT_EQ(s.info.audio_count, 1u);
  EXPECT_EQ(s.info.video[0].codec, MPG_VIDEO_MPEG);
  EXPECT_EQ(s.info.video[0].width, 320u);
  EXPECT_EQ(s.info.video[0].frame_rate, 25000u);
  EXPECT_EQ(s.info.audio[0].codec, uint32_t(MPG_AUDIO_AC3));
  EXPECT_EQ(s.info.audio[0].id, 0x80u);
  EXPECT_EQ(s.info.audio[0].channels, 2u);
}

// ---- navigation packets ----

struct NavPacket {
  uint32_t kind;
  std::vector<uint8_t> bytes;
  bool operator==(const NavPacket& o) const { return kind == o.kind && bytes == o.bytes; }
};

// The private stream 2 packets of an MPEG-2 program stream, walked pack by
// pack and packet by packet: presentation control (sub-stream 0) and data
// search (sub-stream 1) tables without their sub-stream byte.
std::vector<NavPacket> navPacketsOf(const std::vector<uint8_t>& d) {
  std::vector<NavPacket> out;
  size_t i = 0;
  while (i + 6 <= d.size() && d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
    uint8_t id = d[i + 3];
    if (id == 0xB9) break;
    if (id == 0xBA) {
      i += 14 + (d[i + 13] & 7);
      continue;
    }
    size_t length = size_t(d[i + 4]) << 8 | d[i + 5];
    const uint8_t* payload = &d[i + 6];
    if (id == 0xBF && length > 0 && i + 6 + length <= d.size()) {
      if (payload[0] == 0) out.push_back({MPG_KIND_NAV_PCI, {payload + 1, payload + 1 + 979}});
      if (payload[0] == 1) out.push_back({MPG_KIND_NAV_DSI, {payload + 1, payload + 1 + 1017}});
    }
    i += 6 + length;
  }
  return out;
}

std::string ffprobeStreamIds(const std::string& path) {
  std::string out, cmd = "ffprobe -v error -show_entries stream=id -of csv=p=0 '" + path + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[256];
  while (fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  return out;
}

using NavigationTest = MpgTest;

TEST_F(NavigationTest, DvdNavigationPacketsComeOutWholeBetweenTheOtherFrames) {
  std::string path = media("dvd_nav.vob");
  // ffprobe lists the navigation stream of the file ffmpeg wrote.
  EXPECT_NE(ffprobeStreamIds(path).find("0x1bf"), std::string::npos);
  std::vector<NavPacket> expected = navPacketsOf(readFile(path));
  ASSERT_GT(expected.size(), 10u);

  std::vector<std::vector<uint8_t>> plain, between;
  std::vector<NavPacket> navs;
  for (int output = 0; output < 2; ++output) {
    Session s(this, openRecord(path.c_str()));
    ASSERT_EQ(s.opened, MPG_OK);
    static_cast<MpgContext*>(s.slot)->nav_output = output;
    int32_t r;
    while ((r = s.next()) == MPG_OK) {
      if (s.frame.kind >= MPG_KIND_NAV_PCI) {
        EXPECT_EQ(s.frame.stream_id, 0xBFu);
        navs.push_back({s.frame.kind, s.payload()});
      } else {
        (output ? between : plain).push_back(s.payload());
      }
    }
    EXPECT_EQ(r, MPG_ERR_END);
    EXPECT_EQ(static_cast<MpgContext*>(s.slot)->nav_seen, output);
  }
  EXPECT_TRUE(navs == expected) << navs.size() << " of " << expected.size();
  // Reading the navigation packets straight from the file loses no frame.
  EXPECT_GT(plain.size(), 100u);
  EXPECT_TRUE(plain == between);
}

size_t shortDirectRead(void* buffer, size_t size, size_t count, void* file) {
  return mediahost::hostFread(buffer, size, count / 2, file);
}

TEST_F(NavigationTest, OddNavigationPacketsAreDeliveredAsTheyStandAndShortReadsFail) {
  PsBuilder b;
  b.pack(0);
  b.pes(0xE0, 90 * 40, mpeg2Video(1));
  b.pes(0xC0, 90 * 40, mp2Audio());
  b.bytes({0, 0, 1, 0xBF, 0, 0});  // empty: nothing to deliver
  b.bytes({0, 0, 1, 0xBF, 0, 10, 0});  // a presentation control packet cut short
  b.append(std::vector<uint8_t>(9, 0xAA));
  b.bytes({0, 0, 1, 0xBF, 0, 4, 5, 6, 7, 8});  // another sub-stream
  b.pes(0xE0, 90 * 80, mpeg2Video(2, 8, false));
  std::string path = file("nav.vob", b.out);

  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  static_cast<MpgContext*>(s.slot)->nav_output = 1;
  std::vector<std::pair<uint32_t, size_t>> got;
  std::vector<uint8_t> cut(10, 0xAA);
  cut[0] = 0;
  while (s.next() == MPG_OK) {
    got.push_back({s.frame.kind, s.frame.length});
    if (s.frame.kind == MPG_KIND_NAV_OTHER && s.frame.length == cut.size()) {
      EXPECT_EQ(s.payload(), cut);
    }
  }
  const std::vector<std::pair<uint32_t, size_t>> want = {
      {MPG_KIND_VIDEO, 52}, {MPG_KIND_AUDIO, 68}, {MPG_KIND_NAV_OTHER, 10}, {MPG_KIND_NAV_OTHER, 4},
      {MPG_KIND_VIDEO, 16}};
  EXPECT_EQ(got, want);

  MpgOpenRecord r = openRecord(path.c_str());
  r.host.read_direct = shortDirectRead;
  Session t(this, r);
  ASSERT_EQ(t.opened, MPG_OK);
  static_cast<MpgContext*>(t.slot)->nav_output = 1;
  ASSERT_EQ(t.next(), MPG_OK);
  ASSERT_EQ(t.next(), MPG_OK);
  EXPECT_EQ(t.next(), MPG_ERR_SHORT_READ);
}

TEST_F(EntryTest, FullOpenMeasuresSizeAndDurationAndChoosesTheSmallestIds) {
  std::string path = media("two_audio.vob");
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  EXPECT_EQ(s.info.file_size, readFile(path).size());
  EXPECT_EQ(s.info.duration_ms, 3000);
  ASSERT_EQ(s.info.audio_count, 2u);
  // AC-3 as private stream 1 sub-stream 0x80, MP2 as PES 0xC0: 0x80 is chosen.
  EXPECT_EQ(s.info.audio[s.info.audio_index].id, 0x80u);
  for (uint32_t i = 0; i < s.info.audio_count; ++i) {
    EXPECT_GE(s.info.audio[i].first_ms, 0);
    EXPECT_GT(s.info.audio[i].last_ms, s.info.audio[i].first_ms);
  }
  // Direct mode delivers only the chosen audio stream until a selection.
  for (int n = 0; n < 200 && s.next() == MPG_OK;)
    if (s.frame.kind == MPG_KIND_AUDIO) {
      EXPECT_EQ(s.frame.stream_id, 0x80u);
      ++n;
    }
}

TEST_F(EntryTest, SelectionByIdOfAMissingStreamListsNothingAndKeepsTheChoice) {
  std::string path = media("two_audio.vob");
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  MpgSelectRequest req{0, 3, 0xE7, 0xC5};
  MpgSelectResult res{};
  ASSERT_EQ(s.call(MPG_OP_SELECT, &req, &res), MPG_OK);
  EXPECT_EQ(res.video_count, 0u);
  EXPECT_EQ(res.audio_count, 0u);
  req = {0, 2, 0, 0xC0};
  ASSERT_EQ(s.call(MPG_OP_SELECT, &req, &res), MPG_OK);
  ASSERT_EQ(res.audio_count, 1u);
  EXPECT_EQ(res.audio[0]->codec, uint32_t(MPG_AUDIO_MP2));
  int audio = 0;
  while (audio < 20 && s.next() == MPG_OK)
    if (s.frame.kind == MPG_KIND_AUDIO) {
      EXPECT_EQ(s.frame.stream_id, 0xC0u);
      ++audio;
    }
  EXPECT_EQ(audio, 20);
}

// ---- hand-built streams ----

TEST_F(EntryTest, PesHeadersByTheirFlagsAndPackSyntax) {
  PsBuilder b;
  b.pack(900000);
  b.pes(0xE0, 900000, mpeg2Video(1));
  b.pes(0xC0, 900000 + 90 * 10, mp2Audio());
  b.pes(0xE0, -1, mpeg2Video(2, 40, false));              // no PTS: the previous time
  b.pes(0xE0, 900000 + 90 * 80, mpeg2Video(3, 40, false), 0x80 | 0x20);  // PTS with ESCR flag: no time
  b.pack1(990000);                                       // MPEG-1 syntax from here
  b.pes1(0xE0, 900000 + 90 * 120, mpeg2Video(3, 8, false));
  b.pes1(0xC0, -1, mp2Audio(10));
  b.pack(1000000);                                       // and back to MPEG-2
  b.pes(0xE0, 900000 + 90 * 160, mpeg2Video(2, 8, false));
  // A header that claims more bytes than the packet holds is skipped.
  b.bytes({0, 0, 1, 0xE0, 0, 4, 0x81, 0x80, 0x20, 0, 0, 0, 0});
  b.pes(0xC0, 900000 + 90 * 200, mp2Audio(12));
  std::string path = file("flags.mpg", b.out);
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  struct Want {
    uint32_t kind;
    int32_t time;
    uint32_t length;
  } want[] = {{1, 0, 52}, {2, 10, 68}, {1, 0, 48}, {1, 0, 48}, {1, 120, 16}, {2, 10, 14}, {1, 160, 16}, {2, 200, 16}};
  for (const Want& w : want) {
    ASSERT_EQ(s.next(), MPG_OK);
    EXPECT_EQ(s.frame.kind, w.kind);
    EXPECT_EQ(s.frame.time_ms, w.time);
    EXPECT_EQ(s.frame.length, w.length);
  }
  EXPECT_EQ(s.next(), MPG_ERR_END);
  EXPECT_EQ(s.next(), MPG_ERR_END);
}

TEST_F(EntryTest, PrivateStreamAudioOfAnUnselectedSubStreamIsSkipped) {
  std::vector<uint8_t> ac3 = {0x0B, 0x77, 0, 0, 0x04, 0x40, 0x40, 0, 0, 0};  // 48 kHz, code 4, acmod 2
  auto sub = [&](int id) {
    std::vector<uint8_t> p = {uint8_t(id), 1, 0, 1};
    p.insert(p.end(), ac3.begin(), ac3.end());
    return p;
  };
  PsBuilder b;
  b.pack(0);
  b.pes(0xE0, 9000, mpeg2Video(1));
  b.pes(0xBD, 9000, sub(0x81));
  b.pes(0xBD, 9000, sub(0x80));
  b.pes(0xBD, 18000, sub(0x81));
  b.pes(0xBD, 18000, sub(0x80));
  std::string path = file("ac3.vob", b.out);
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  ASSERT_EQ(s.info.audio_count, 2u);
  EXPECT_EQ(s.info.audio[0].frame_length, 2u * 96);
  std::vector<uint32_t> ids;
  while (s.next() == MPG_OK) {
    if (s.frame.kind != MPG_KIND_AUDIO) continue;
    ids.push_back(s.frame.stream_id);
    ASSERT_EQ(s.frame.length, ac3.size());  // sub-stream id and 3-byte header stripped
    EXPECT_EQ(s.payload(), ac3);
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{0x80, 0x80}));
}

TEST_F(EntryTest, AStreamIsListedFromItsFirstPacketWhoseHeaderDecodes) {
  std::vector<uint8_t> broken = mpeg2Video(1);
  broken[10] &= ~0x20;  // marker bit after the bit rate cleared
  for (bool later : {false, true}) {
    PsBuilder b;
    b.pack(0);
    b.pes(0xE0, 90 * 40, broken);
    b.pes(0xC0, 90 * 40, mp2Audio());
    b.pes(0xE0, 90 * 80, later ? mpeg2Video(1) : broken);
    b.pes(0xE0, 90 * 120, mpeg2Video(2, 8, false));
    std::string path = file("listed.mpg", b.out);
    Session s(this, openRecord(path.c_str()));
    ASSERT_EQ(s.opened, MPG_OK);
    ASSERT_EQ(s.info.video_count, later ? 1u : 0u);
    if (later) {
      EXPECT_EQ(s.info.video[0].first_ms, 80);
      EXPECT_EQ(s.info.video[0].last_ms, 120);
    }
  }
}

TEST_F(EntryTest, DurationRoundsUpFromHalfASecond) {
  for (int32_t span : {12499, 12500}) {
    PsBuilder b;
    b.pack(0);
    b.pes(0xE0, 90000, mpeg2Video(1));
    b.pes(0xC0, 90000, mp2Audio());
    b.pack(90 * 13000);
    b.pes(0xC0, 90000 + 90 * int64_t(span), mp2Audio());
    std::string path = file("span.mpg", b.out);
    Session s(this, openRecord(path.c_str()));
    ASSERT_EQ(s.opened, MPG_OK);
    EXPECT_EQ(s.info.duration_ms, span == 12499 ? 12499 : 13000);
  }
}

TEST_F(EntryTest, LargerPayloadsReplaceTheFrameBufferAndSmallerOnesReuseIt) {
  PsBuilder b;
  b.pack(0);
  b.pes(0xE0, 9000, mpeg2Video(1, 100));
  b.pes(0xE0, 9000, mpeg2Video(2, 3000, false));
  b.pes(0xE0, 9000, mpeg2Video(2, 10, false));
  std::string path = file("grow.mpg", b.out);
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  ASSERT_EQ(s.next(), MPG_OK);
  ASSERT_EQ(s.next(), MPG_OK);
  const uint8_t* big = s.frame.data;
  ASSERT_EQ(s.next(), MPG_OK);
  EXPECT_EQ(s.frame.data, big);
  EXPECT_GE(s.frame.length, 18u);
}

TEST_F(EntryTest, AFailedGrowthOfTheFrameBufferLeavesNoBufferBehind) {
  std::string path = media("mpeg2_mp2.vob");
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  mediahost::Faults f;
  f.failAllocAt = 1;
  mediahost::Host::get().setFaults(f);
  EXPECT_EQ(s.next(), MPG_ERR_NO_MEMORY);
  EXPECT_EQ(s.frame.data, nullptr);
  mediahost::Host::get().setFaults(mediahost::Faults());
  ASSERT_EQ(s.next(), MPG_OK);
  EXPECT_NE(s.frame.data, nullptr);
}

// ---- two-reader mode ----

TEST_F(EntryTest, TwoReaderVideoFramesJoinIntoTheElementaryStreamToItsLastPicture) {
  struct Case {
    const char* file;
    const char* es;
    size_t skip;  // bytes ahead of the first three-byte start code
  } cases[] = {{"mpeg2_mp2.vob", "mpeg2_mp2.m2v", 0},
               {"mpeg1_mp2.mpg", "mpeg1_mp2.m1v", 0},
               {"mpeg4_mp2.vob", "mpeg4_mp2.m4v", 0},
               {"h264_mp2.vob", "h264_mp2.h264", 1}};
  for (const Case& c : cases) {
    std::string path = media(c.file);
    std::vector<uint8_t> es = readFile(media(c.es));
    ASSERT_GT(es.size(), c.skip) << c.es;
    es.erase(es.begin(), es.begin() + long(c.skip));
    Session s(this, openRecord(path.c_str(), MPG_MODE_TWO_READERS));
    ASSERT_EQ(s.opened, MPG_OK);
    std::vector<uint8_t> joined;
    int frames = 0, err;
    while ((err = s.next(MPG_KIND_VIDEO)) == MPG_OK) {
      ASSERT_EQ(s.frame.kind, uint32_t(MPG_KIND_VIDEO));
      std::vector<uint8_t> p = s.payload();
      ASSERT_GE(p.size(), 4u);
      EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 1) << c.file << " frame " << frames;
      joined.insert(joined.end(), p.begin(), p.end());
      ++frames;
    }
    EXPECT_EQ(err, MPG_ERR_END);
    EXPECT_EQ(joined.size(), es.size()) << c.file;
    EXPECT_TRUE(joined == es) << c.file;
    EXPECT_GT(frames, 75) << c.file;
    // Audio comes from its own reader, every PES of it.
    int audio = 0;
    while (s.next(MPG_KIND_AUDIO) == MPG_OK) {
      EXPECT_EQ(s.frame.kind, uint32_t(MPG_KIND_AUDIO));
      ++audio;
    }
    EXPECT_GT(audio, 20) << c.file;
    // Other kinds are refused.
    EXPECT_EQ(s.next(3), MPG_ERR_ARGUMENT);
  }
}

TEST_F(EntryTest, TwoReaderVideoTimesWithoutBPicturesNeverGoBackwards) {
  std::string path = media("video_only.mpg");
  Session s(this, openRecord(path.c_str(), MPG_MODE_TWO_READERS));
  ASSERT_EQ(s.opened, MPG_OK);
  int32_t last = -1;
  int frames = 0;
  while (s.next(MPG_KIND_VIDEO) == MPG_OK) {
    EXPECT_GE(s.frame.time_ms, last) << frames;
    last = s.frame.time_ms;
    ++frames;
  }
  EXPECT_GT(frames, 48);
}

TEST_F(EntryTest, TwoReaderPicturesStampedEarlierFollowTheirPredecessorAndTheLastOneComes) {
  // Pictures without B-pictures at 1000, 1000, 1040, 1020 and 1100 ms
  // (25 frames/s, so one frame lasts 40 ms), one per PES.
  PsBuilder b;
  b.pack(0);
  b.pes(0xE0, 90 * 1000, mpeg2Video(1, 20));
  b.pes(0xE0, 90 * 1040, mpeg2Video(2, 21, false));
  b.pes(0xE0, 90 * 1020, mpeg2Video(2, 22, false));
  b.pes(0xE0, 90 * 1100, mpeg2Video(2, 23, false));
  std::string path = file("late.vob", b.out);
  Session s(this, openRecord(path.c_str(), MPG_MODE_TWO_READERS));
  ASSERT_EQ(s.opened, MPG_OK);
  std::vector<int32_t> times;
  std::vector<uint32_t> sizes;
  while (s.next(MPG_KIND_VIDEO) == MPG_OK) {
    times.push_back(s.frame.time_ms);
    sizes.push_back(s.frame.length);
  }
  // The sequence header is a frame of its own; the picture stamped 1020 is
  // delivered at 1040 + 40; the last picture comes at the end of the file.
  EXPECT_EQ(times, (std::vector<int32_t>{1000, 1000, 1040, 1080, 1100}));
  EXPECT_EQ(sizes, (std::vector<uint32_t>{12, 28, 29, 30, 31}));
}

TEST_F(EntryTest, TimesOfAFileStartingLateStartNearZeroInBothModes) {
  std::string path = media("offset.vob");  // presentation times from 30 s
  for (uint32_t mode : {MPG_MODE_DIRECT, MPG_MODE_TWO_READERS}) {
    Session s(this, openRecord(path.c_str(), mode));
    ASSERT_EQ(s.opened, MPG_OK);
    EXPECT_GE(s.info.video[0].first_ms, 30000);
    for (uint32_t kind : {MPG_KIND_VIDEO, MPG_KIND_AUDIO}) {
      do ASSERT_EQ(s.next(kind), MPG_OK);
      while (s.frame.kind != kind);
      EXPECT_GE(s.frame.time_ms, 0) << mode << " " << kind;
      EXPECT_LT(s.frame.time_ms, 1000) << mode << " " << kind;
    }
  }
}

TEST_F(EntryTest, TimesRunOnAcrossTheWrapOfTheClockInBothModes) {
  // Eight seconds whose 33-bit presentation clock (and the low 32 bits of
  // the clock references) wrap 3.7 s in.
  std::string path = media("wrap.vob");
  for (uint32_t mode : {MPG_MODE_DIRECT, MPG_MODE_TWO_READERS}) {
    SCOPED_TRACE(mode);
    Session s(this, openRecord(path.c_str(), mode));
    ASSERT_EQ(s.opened, MPG_OK);
    EXPECT_EQ(s.info.duration_ms, 8000);
    ASSERT_EQ(s.info.video_count, 1u);
    EXPECT_GT(s.info.video[0].last_ms, s.info.video[0].first_ms);
    for (uint32_t kind : {MPG_KIND_VIDEO, MPG_KIND_AUDIO}) {
      int32_t latest = -1, scr = -1;
      int frames = 0;
      while (s.next(kind) == MPG_OK) {
        if (s.frame.kind != kind) continue;
        ++frames;
        // Pictures come in decoding order: a time may fall back by a few
        // frames, never by the seconds before the wrap.
        EXPECT_GT(s.frame.time_ms, latest - 200) << kind << " frame " << frames;
        EXPECT_LE(s.frame.time_ms, 8600) << kind << " frame " << frames;
        EXPECT_GE(s.frame.scr_ms, scr) << kind << " frame " << frames;
        latest = std::max(latest, s.frame.time_ms);
        if (mode == MPG_MODE_DIRECT || kind == MPG_KIND_VIDEO) scr = s.frame.scr_ms;
      }
      EXPECT_GT(latest, 7800) << kind;
      EXPECT_GT(frames, 150) << kind;
      if (mode == MPG_MODE_DIRECT) break;  // one reader delivers both kinds
    }
    // Seeks before and after the wrap land on the next key frame (a group
    // of pictures lasts 480 ms) and hand it out next.
    for (int32_t target : {2000, 6000}) {
      ASSERT_EQ(s.seek(0, MPG_SEEK_START), MPG_OK);
      ASSERT_EQ(s.seek(target, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE), MPG_OK) << target;
      int32_t landed = s.frame.time_ms;
      EXPECT_GE(landed, target);
      EXPECT_LT(landed, target + 500);
      ASSERT_EQ(s.next(MPG_KIND_VIDEO), MPG_OK);
      EXPECT_EQ(s.frame.time_ms, landed);
    }
  }
}

TEST_F(EntryTest, UnknownStreamModesOpenButRefuseFrames) {
  std::string path = media("mpeg2_mp2.vob");
  Session s(this, openRecord(path.c_str(), 5));
  ASSERT_EQ(s.opened, MPG_OK);
  EXPECT_EQ(s.next(), MPG_ERR_ARGUMENT);
}

}  // namespace
