// Seeking by every strategy of the AVI demuxer, and the dispatcher's rules.
#include <algorithm>
#include <map>

#include "avi_test_support.h"

namespace avitest {
namespace {

class AviSeekTest : public AviTest {
 public:
  // Seeks and reads the next packet of `kind`; the landed time.
  int32_t seekAndRead(int32_t target, uint32_t flags, int32_t kind, AviPacket* p, int32_t* result = nullptr) {
    AviSeekResult r;
    int32_t rc = seek(target, flags, &r);
    if (result) *result = rc;
    if (rc != AVI_OK) return -1;
    EXPECT_EQ(r.flags, 0u);
    EXPECT_EQ(next(p, kind), AVI_OK);
    return r.reached_ms;
  }

  // Hands the host's index of the file built from `f` over (op 12); nodes
  // holds it. The duration the index covers, in ms.
  uint32_t giveHostIndex(const FileSpec& f, std::vector<AviHostIndexNode>* nodes) {
    nodes->assign(f.items.size(), AviHostIndexNode{});
    int64_t pos = ctx()->movi_start;
    for (size_t i = 0; i < nodes->size(); ++i) {
      AviHostIndexNode& n = (*nodes)[i];
      std::memcpy(&n.id, f.items[i].id.data(), 4);
      n.size = uint32_t(f.items[i].data.size());
      n.pos = pos;
      pos += 8 + int64_t((f.items[i].data.size() + 1) & ~size_t(1));
      n.next = i + 1 < nodes->size() ? &(*nodes)[i + 1] : nullptr;
    }
    AviHostIndex head{0, uint32_t(nodes->size()), &nodes->front(), &nodes->back()};
    uint32_t covered = 0;
    EXPECT_EQ(entry(AVI_OP_HOST_INDEX, &slot_, &head, &covered), AVI_OK);
    return covered;
  }

  // An audio-only file: 40 PCM chunks of 800 bytes (50 ms each).
  Bytes audioOnly(bool idx1) {
    FileSpec f = simpleSpec(40);
    f.streams.erase(f.streams.begin());
    f.items.erase(std::remove_if(f.items.begin(), f.items.end(), [](const Item& i) { return i.id == "00dc"; }),
                  f.items.end());
    for (Item& i : f.items) i.id = "00wb";
    f.streams[0].length = 40 * 400;
    f.idx1 = idx1;
    return buildAvi(f);
  }
};

TEST_F(AviSeekTest, VideoScanLandsOnAnyFrameAndRemembersScanPoints) {
  FileSpec f = simpleSpec(40);
  f.idx1 = false;
  ASSERT_EQ(openBytes(buildAvi(f)), AVI_OK);
  ASSERT_EQ(ctx()->index_mode, AVI_INDEX_NONE);
  AviPacket p;
  ASSERT_EQ(next(&p), AVI_OK);
  EXPECT_EQ(seekAndRead(1250, 0, 0, &p), 1300);  // forward: the first frame at or after, key or not
  EXPECT_EQ(p.kind, AVI_KIND_VIDEO);
  EXPECT_EQ(p.time_ms, 1300);
  EXPECT_GE(ctx()->scan[0].count, 2u);
  EXPECT_EQ(seekAndRead(3050, 0, 0, &p), 3100);
  // Backward: the frame that holds the target, from a scan point.
  EXPECT_EQ(seekAndRead(2050, 0, 0, &p), 2000);
  EXPECT_EQ(p.time_ms, 2000);
  // The audio counters followed the shared reader.
  ASSERT_EQ(next(&p), AVI_OK);
  EXPECT_EQ(p.kind, AVI_KIND_AUDIO);
  EXPECT_EQ(p.time_ms, 1000);
  // Beyond the end nothing moves.
  AviSeekResult r;
  EXPECT_EQ(seek(9000, 0, &r), AVI_END);
  EXPECT_EQ(lastError(), AVI_ERR_SEEK_NOT_FOUND);
  EXPECT_EQ(r.flags, 0u);
  ASSERT_EQ(next(&p), AVI_OK);
  EXPECT_EQ(p.time_ms, 2100);
}

TEST_F(AviSeekTest, AudioScanWithSeparateReaders) {
  FileSpec f = simpleSpec(40);
  f.idx1 = false;
  ASSERT_EQ(openBytes(buildAvi(f), AVI_FLAG_SEPARATE), AVI_OK);
  AviPacket p;
  EXPECT_EQ(seekAndRead(1250, 0, AVI_KIND_VIDEO, &p), 1300);
  // The audio reader went to the chunk that holds the video time.
  ASSERT_EQ(next(&p, AVI_KIND_AUDIO), AVI_OK);
  EXPECT_EQ(p.time_ms, 1300);  // audio chunk 26 of 50 ms each
  ASSERT_EQ(openBytes(audioOnly(false)), AVI_OK);
  ASSERT_EQ(res_.video_count, 0);
  EXPECT_EQ(seekAndRead(730, 0, 0, &p), 750);  // forward: the first chunk starting at or after
  EXPECT_EQ(p.time_ms, 750);
  EXPECT_EQ(seekAndRead(530, 0, 0, &p), 500);  // backward: the chunk that holds it
  EXPECT_GE(ctx()->scan[1].count, 1u);
}

TEST_F(AviSeekTest, Idx1OnDiskAndInMemoryLandOnKeyFrames) {
  for (uint32_t flags : {0u, uint32_t(AVI_FLAG_SINGLE)}) {
    ASSERT_EQ(openPath(media("idx1_relative.avi"), flags), AVI_OK);
    EXPECT_EQ(ctx()->index_mode, flags ? AVI_INDEX_IDX1_MEMORY : AVI_INDEX_IDX1);
    AviPacket p;
    ASSERT_EQ(next(&p), AVI_OK);
    EXPECT_EQ(seekAndRead(1200, 0, 0, &p), 1500);
    EXPECT_EQ(p.kind, AVI_KIND_VIDEO);
    EXPECT_EQ(p.time_ms, 1500);
    ASSERT_EQ(next(&p), AVI_OK);
    EXPECT_EQ(p.kind, AVI_KIND_AUDIO);
    EXPECT_EQ(p.time_ms, 1500);  // audio counters exact at the chosen entry
    EXPECT_EQ(seekAndRead(2400, 0, 0, &p), 2500);
    EXPECT_EQ(seekAndRead(1200, 0, 0, &p), 1000);  // backward: the last key at or before
    // Backward before the first key frame after frame 0: the start.
    EXPECT_EQ(seekAndRead(300, 0, 0, &p), 0);
    AviSeekResult r;
    EXPECT_EQ(seek(3900, 0, &r), AVI_END);  // no key frame after 3.9 s
    EXPECT_EQ(lastError(), AVI_ERR_SEEK_NOT_FOUND);
  }
}

TEST_F(AviSeekTest, Idx1AudioFollowsTheVideoWithSeparateReaders) {
  ASSERT_EQ(openPath(media("idx1_relative.avi"), AVI_FLAG_SEPARATE), AVI_OK);
  AviPacket p;
  EXPECT_EQ(seekAndRead(2200, 0, AVI_KIND_VIDEO, &p), 2500);
  ASSERT_EQ(next(&p, AVI_KIND_AUDIO), AVI_OK);
  EXPECT_EQ(p.time_ms, 2500);
  // Audio-led with an index: a target beyond the audio ends there.
  ASSERT_EQ(openBytes(audioOnly(true)), AVI_OK);
  EXPECT_EQ(ctx()->index_mode, AVI_INDEX_IDX1);
  EXPECT_EQ(seekAndRead(730, 0, 0, &p), 750);
  EXPECT_EQ(p.time_ms, 750);
  AviSeekResult r;
  EXPECT_EQ(seek(5000, 0, &r), AVI_END);
  EXPECT_EQ(lastError(), AVI_ERR_SEEK_AUDIO_BEYOND);
}

TEST_F(AviSeekTest, OpenDmlOnDiskAndInMemoryLandOnKeyFrames) {
  for (uint32_t flags : {0u, uint32_t(AVI_FLAG_SINGLE), uint32_t(AVI_FLAG_SEPARATE)}) {
    ASSERT_EQ(openPath(media("odml.avi"), flags), AVI_OK);
    EXPECT_EQ(ctx()->index_mode, flags == AVI_FLAG_SINGLE ? AVI_INDEX_ODML_MEMORY : AVI_INDEX_ODML);
    int32_t kind = flags == AVI_FLAG_SEPARATE ? AVI_KIND_VIDEO : 0;
    AviPacket p;
    ASSERT_EQ(next(&p, kind), AVI_OK);
    EXPECT_EQ(seekAndRead(1200, 0, kind, &p), 1500) << flags;
    EXPECT_EQ(p.time_ms, 1500);
    EXPECT_EQ(seekAndRead(2700, 0, kind, &p), 3000) << flags;  // in the AVIX part
    EXPECT_EQ(seekAndRead(2700, 0, kind, &p), 2500) << flags;  // backward
    if (flags == AVI_FLAG_SEPARATE) {
      ASSERT_EQ(next(&p, AVI_KIND_AUDIO), AVI_OK);
      EXPECT_EQ(p.time_ms, 2500);
    } else {
      ASSERT_EQ(next(&p), AVI_OK);
      EXPECT_EQ(p.kind, AVI_KIND_AUDIO);
      EXPECT_EQ(p.time_ms, 2500);
    }
  }
  // On disk, a target beyond the duration fails at once and moves nothing.
  ASSERT_EQ(openPath(media("odml.avi")), AVI_OK);
  AviPacket p;
  ASSERT_EQ(next(&p), AVI_OK);
  AviSeekResult r;
  EXPECT_EQ(seek(9000, 0, &r), AVI_END);
  EXPECT_EQ(r.flags, 0u);
  ASSERT_EQ(next(&p), AVI_OK);
  EXPECT_EQ(p.kind, AVI_KIND_AUDIO);
  EXPECT_EQ(p.time_ms, 0);
}

TEST_F(AviSeekTest, OpenDmlFieldIndexesHaveTwelveByteEntries) {
  for (uint32_t flags : {0u, uint32_t(AVI_FLAG_SINGLE)}) {
    ASSERT_EQ(openPath(media("odml_fields.avi"), flags), AVI_OK);
    AviPacket p;
    EXPECT_EQ(seekAndRead(1200, 0, 0, &p), 1500);
    EXPECT_EQ(seekAndRead(2700, 0, 0, &p), 3000);
    EXPECT_EQ(seekAndRead(2700, 0, 0, &p), 2500);
    EXPECT_EQ(p.kind, AVI_KIND_VIDEO);
    EXPECT_EQ(p.time_ms, 2500);
  }
}

TEST_F(AviSeekTest, OpenDmlAudioStrategyDirectly) {
  ASSERT_EQ(openPath(media("odml.avi"), AVI_FLAG_SEPARATE), AVI_OK);
  auto audioOdml = reinterpret_cast<int32_t (*)(AviContext*, int32_t, int32_t*, int32_t)>(
      plugin_->symbol("aviFrameSeekbyAudioOdmlMode"));
  ASSERT_NE(audioOdml, nullptr);
  int32_t reached = -1;
  ASSERT_EQ(audioOdml(ctx(), 1730, &reached, 0), AVI_OK);
  EXPECT_EQ(reached, 1800);
  ASSERT_EQ(audioOdml(ctx(), 1730, &reached, 1), AVI_OK);
  EXPECT_EQ(reached, 1700);
  AviPacket p;
  ASSERT_EQ(next(&p, AVI_KIND_AUDIO), AVI_OK);
  EXPECT_EQ(p.time_ms, 1700);
  EXPECT_EQ(audioOdml(ctx(), 99000, &reached, 0), AVI_END);
  EXPECT_EQ(ctx()->last_error, AVI_ERR_SEEK_NOT_FOUND);
}

TEST_F(AviSeekTest, HostIndexStrategies) {
  FileSpec f = simpleSpec(20);
  f.idx1 = false;
  for (uint32_t flags : {uint32_t(AVI_FLAG_HOST_INDEX), uint32_t(AVI_FLAG_HOST_INDEX | AVI_FLAG_SEPARATE)}) {
    ASSERT_EQ(openBytes(buildAvi(f), flags), AVI_OK);
    std::vector<AviHostIndexNode> nodes;
    EXPECT_EQ(giveHostIndex(f, &nodes), 2000u);
    int32_t kind = (flags & AVI_FLAG_SEPARATE) ? AVI_KIND_VIDEO : 0;
    AviPacket p;
    EXPECT_EQ(seekAndRead(750, 0, kind, &p), 800);  // every frame counts
    EXPECT_EQ(p.time_ms, 800);
    if (flags & AVI_FLAG_SEPARATE) {
      ASSERT_EQ(next(&p, AVI_KIND_AUDIO), AVI_OK);
      EXPECT_EQ(p.time_ms, 800);  // the first audio chunk starting at or after the video
    } else {
      ASSERT_EQ(next(&p), AVI_OK);
      EXPECT_EQ(p.time_ms, 400);  // the audio chunk stored after that frame
    }
    AviSeekResult r;
    EXPECT_EQ(seek(5000, 0, &r), AVI_END);
    EXPECT_EQ(lastError(), AVI_ERR_SEEK_NOT_FOUND);
  }
}

// At 30000/1001 frames a second the key frames (every fifth) lie between
// whole milliseconds: 166.8 ms is reported as 166. Every strategy lands on
// the key frame whose reported time it is given: forwards, backwards from
// the frame after it and backwards from the end.
TEST_F(AviSeekTest, EveryStrategyLandsOnTheKeyFrameWhoseReportedTimeItIsGiven) {
  FileSpec ntsc = simpleSpec(40);
  ntsc.streams[0].scale = 1001, ntsc.streams[0].rate = 30000;
  FileSpec bare = ntsc;
  bare.idx1 = false;
  struct Case {
    const char* name;
    Bytes bytes;  // or the file below
    const char* file;
    uint32_t flags;
    int32_t mode;
  };
  const Case cases[] = {
      {"idx1 on disk", buildAvi(ntsc), nullptr, 0, AVI_INDEX_IDX1},
      {"idx1 in memory", buildAvi(ntsc), nullptr, AVI_FLAG_SINGLE, AVI_INDEX_IDX1_MEMORY},
      {"scan", buildAvi(bare), nullptr, 0, AVI_INDEX_NONE},
      {"host index", buildAvi(bare), nullptr, AVI_FLAG_HOST_INDEX, AVI_INDEX_HOST},
      {"OpenDML on disk", {}, "odml_ntsc.avi", 0, AVI_INDEX_ODML},
      {"OpenDML in memory", {}, "odml_ntsc.avi", AVI_FLAG_SINGLE, AVI_INDEX_ODML_MEMORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.file ? openPath(media(c.file), c.flags) : openBytes(c.bytes, c.flags), AVI_OK);
    std::vector<AviHostIndexNode> nodes;
    if (c.flags & AVI_FLAG_HOST_INDEX) giveHostIndex(bare, &nodes);
    std::vector<int32_t> keys;  // reported times of frames 0, 5, 10, ...
    int frame = 0;
    for (const Got& g : readAll())
      if (g.kind == AVI_KIND_VIDEO && frame++ % 5 == 0) keys.push_back(g.time);
    ASSERT_EQ(keys.size(), 8u);
    EXPECT_EQ(keys[1], 166);
    ASSERT_EQ(ctx()->index_mode, c.mode);
    auto landsOn = [&](int32_t t, const char* how) {
      SCOPED_TRACE(std::string(how) + " to " + std::to_string(t));
      AviPacket p;
      EXPECT_EQ(seekAndRead(t, 0, 0, &p), t);
      EXPECT_EQ(p.kind, AVI_KIND_VIDEO);
      EXPECT_EQ(p.time_ms, t);
    };
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) landsOn(*it, "backwards from later");
    for (int32_t t : keys) {
      landsOn(t, "forwards");
      landsOn(t, "backwards from the frame after");
    }
  }
}

TEST_F(AviSeekTest, DispatcherRules) {
  ASSERT_EQ(openPath(media("idx1_relative.avi"), AVI_FLAG_SEPARATE | AVI_FLAG_KIND10), AVI_OK);
  AviPacket p;
  EXPECT_EQ(seekAndRead(3000, 0, AVI_KIND_VIDEO, &p), 3000);
  // Relative -5000 from 3000 lands at 0: the start, flags 0.
  AviSeekResult r;
  ASSERT_EQ(seek(-5000, AVI_SEEK_RELATIVE, &r), AVI_OK);
  EXPECT_EQ(r.reached_ms, 0);
  EXPECT_EQ(r.flags, 0u);
  ASSERT_EQ(next(&p, AVI_KIND_VIDEO), AVI_OK);
  EXPECT_EQ(p.time_ms, 0);
  ASSERT_EQ(next(&p, AVI_KIND_AUDIO), AVI_OK);
  EXPECT_EQ(p.time_ms, 0);
  // Relative forward from the current frame.
  EXPECT_EQ(seekAndRead(1400, AVI_SEEK_RELATIVE, AVI_KIND_VIDEO, &p), 1500);
  // Zero: the start again.
  ASSERT_EQ(seek(0, 0, &r), AVI_OK);
  EXPECT_EQ(r.reached_ms, 0);
  // An index mode that no strategy serves: nothing moves.
  EXPECT_EQ(seekAndRead(2000, 0, AVI_KIND_VIDEO, &p), 2000);
  ctx()->index_mode = 64;
  ASSERT_EQ(seek(1000, 0, &r), AVI_OK);
  EXPECT_EQ(r.reached_ms, 0);
  ASSERT_EQ(next(&p, AVI_KIND_VIDEO), AVI_OK);
  EXPECT_EQ(p.time_ms, 2100);
}

TEST_F(AviSeekTest, FailedSeekRetriesEarlierWithTheRetryFlag) {
  ASSERT_EQ(openPath(media("idx1_relative.avi"), AVI_FLAG_SEEK_RETRY | AVI_FLAG_STOP_AFTER_SEEK_MISS), AVI_OK);
  AviPacket p;
  ASSERT_EQ(next(&p), AVI_OK);
  // No key frame after 3.9 s: the retry lands on the last key frame.
  AviSeekResult r;
  ASSERT_EQ(seek(3900, 0, &r), AVI_OK);
  EXPECT_EQ(r.reached_ms, 3500);
  EXPECT_EQ(lastError(), 0);
  ASSERT_EQ(openPath(media("idx1_relative.avi"), AVI_FLAG_STOP_AFTER_SEEK_MISS), AVI_OK);
  EXPECT_EQ(seek(3900, 0, &r), AVI_END);
  EXPECT_EQ(next(&p), AVI_END);  // reading stops while the miss stands
}

TEST_F(AviSeekTest, ZeroRateAudioSeeksFailCleanly) {
  auto old = reinterpret_cast<int32_t (*)(AviContext*, int32_t, int32_t*, int32_t)>(
      plugin_->symbol("aviFrameSeekbyAudioOldMode"));
  auto scan = reinterpret_cast<int32_t (*)(AviContext*, int32_t, int32_t*, int32_t)>(
      plugin_->symbol("aviFrameSeekbyAudioScan"));
  auto odml = reinterpret_cast<int32_t (*)(AviContext*, int32_t, int32_t*, int32_t)>(
      plugin_->symbol("aviFrameSeekbyAudioOdmlMode"));
  ASSERT_EQ(openPath(media("idx1_relative.avi"), AVI_FLAG_SEPARATE), AVI_OK);
  ctx()->audio_avg = 0;
  ctx()->audio_duration_ms = 0;
  int32_t reached = 0;
  EXPECT_EQ(old(ctx(), 500, &reached, 0), AVI_FAIL);
  EXPECT_EQ(ctx()->last_error, AVI_ERR_AUDIO_ZERO_RATE);
  EXPECT_EQ(scan(ctx(), 500, &reached, 0), AVI_FAIL);
  EXPECT_EQ(ctx()->last_error, AVI_ERR_SCAN_AUDIO);
  EXPECT_EQ(odml(ctx(), 500, &reached, 0), AVI_FAIL);
  EXPECT_EQ(ctx()->last_error, AVI_ERR_ODML_AUDIO_ZERO_RATE);
}

// The OpenDML index lists an empty audio chunk that takes no time: after a
// seek past it, each audio chunk keeps the time a plain read gives it.
TEST_F(AviSeekTest, AudioAfterASeekPastAnEmptyChunkKeepsItsTime) {
  struct Case {
    uint32_t flags;
    std::vector<int32_t> targets;
  } cases[] = {{0, {1400, 600, 1900}}, {AVI_FLAG_SINGLE, {1400, 600, 1900}}, {AVI_FLAG_SEPARATE, {600, 900}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.flags);
    const int32_t kind = (c.flags & AVI_FLAG_SEPARATE) ? AVI_KIND_AUDIO : 0;
    ASSERT_EQ(openPath(media("odml_empty_audio.avi"), c.flags), AVI_OK);
    std::map<Bytes, int> timeOf;
    for (const Got& g : readAll(kind))
      if (g.kind == AVI_KIND_AUDIO) timeOf[g.data] = g.time;
    ASSERT_GT(timeOf.size(), 30u);
    for (int32_t target : c.targets) {
      SCOPED_TRACE(target);
      AviSeekResult r;
      ASSERT_EQ(seek(target, 0, &r), AVI_OK);
      int audio = 0;
      AviPacket p;
      for (int i = 0; i < 8 && next(&p, kind) == AVI_OK; ++i) {
        if (p.kind != AVI_KIND_AUDIO) continue;
        auto it = timeOf.find(Bytes(p.data, p.data + p.size));
        ASSERT_NE(it, timeOf.end()) << "a chunk the plain read did not give, at " << p.time_ms;
        EXPECT_EQ(p.time_ms, it->second);
        ++audio;
      }
      EXPECT_GT(audio, 0);
    }
  }
}

}  // namespace
}  // namespace avitest
