// Matroska demuxer: how a seek searches the cue table (stepping back,
// linear search, fall-back to the start, points of audio blocks), what it
// leaves queued, cue times before the start, the last-time search at open,
// the step counter of the cluster-scan index and the duration it measures,
// over hand-built files.
#include <set>

#include "mkv_test_support.h"

using namespace mkvtest;

namespace {

Bytes videoTrack(uint32_t number) {
  return el(0xAE, cat({uintEl(0xD7, number), uintEl(0x83, 1), strEl(0x86, "V_VP8"), uintEl(0x23E383, 40000000),
                       el(0xE0, cat({uintEl(0xB0, 320), uintEl(0xBA, 240)}))}));
}

constexpr int kClusters = 6;
constexpr int kFramesPerCluster = 25;  // 40 ms apart: one cluster a second

// Video (track 1) and audio (track 2) in six one-second clusters with a Cue
// point per cluster on the video track. Only the video frames whose times
// (ms) are in `keys` are key frames; every audio frame is one.
Bytes keyedFile(const std::set<int>& keys) {
  const Bytes info = el(0x1549A966, uintEl(0x2AD7B1, 1000000));
  const Bytes tracks = el(0x1654AE6B, cat({videoTrack(1), audioTrack(2, "A_AC3", uintEl(0x23E383, 40000000))}));
  std::vector<Bytes> clusters;
  for (int c = 0; c < kClusters; ++c) {
    Bytes blocks = uintEl(0xE7, uint64_t(c) * 1000);
    for (int f = 0; f < kFramesPerCluster; ++f) {
      const int ms = c * 1000 + f * 40;
      blocks = cat({blocks, simpleBlock(1, int16_t(f * 40), keys.count(ms) ? 0x80 : 0x00, Bytes(64, uint8_t(f))),
                    simpleBlock(2, int16_t(f * 40), 0x80, Bytes(32, uint8_t(0x40 + f)))});
    }
    clusters.push_back(el(0x1F43B675, blocks));
  }
  // The Cues after the clusters, where the search for the last cluster at
  // open finds them.
  Bytes points, body = cat({info, tracks});
  for (int c = 0; c < kClusters; ++c) {
    points = cat({points, el(0xBB, cat({uintEl(0xB3, uint64_t(c) * 1000),
                                        el(0xB7, cat({uintEl(0xF7, 1), uintEl(0xF1, body.size())}))}))});
    body = cat({body, clusters[size_t(c)]});
  }
  return cat({ebmlHeader(), segment(cat({body, el(0x1C53BB6B, points)}))});
}

std::set<int> clusterStarts() {
  std::set<int> keys;
  for (int c = 0; c < kClusters; ++c) keys.insert(c * 1000);
  return keys;
}

mkv_dmx_t* context(Session& s) { return static_cast<mkv_dmx_t*>(s.slot); }

struct Landing {
  int32_t result;
  uint32_t time, key;
};

Landing seekTo(Session& s, int32_t ms) {
  mkv_dmx_outstream_t out{};
  int32_t r = s.seek(ms, 0, &out);
  return {r, out.m_ulTimestamp, r == 0 ? *out.m_pulKeyFrame : 0};
}

class MkvSeekTest : public MkvTest {};

TEST_F(MkvSeekTest, BackwardSearchStepsBackTwoPointsThenSearchesLinearly) {
  TempDir dir;
  Session s(dir.file("keys_0_5000.mkv", keyedFile({0, 5000})));
  ASSERT_EQ(s.result, 0) << s.text();
  EXPECT_EQ(context(s)->cue_count, uint32_t(kClusters));
  Landing l = seekTo(s, 4500);
  ASSERT_EQ(l.result, 0) << s.text();
  EXPECT_EQ(l.time, 5000u);
  EXPECT_EQ(l.key, 1u);
  // Back to 4.5 s: the points at 4, 3 and 2 s hold no key frame before the
  // target; the search stops stepping back there and searches linearly,
  // which still lands on the last key frame before the target, at 0.
  l = seekTo(s, 4500);
  ASSERT_EQ(l.result, 0) << s.text();
  EXPECT_EQ(l.time, 0u);
  EXPECT_EQ(l.key, 1u);
  EXPECT_EQ(context(s)->back_step, 0u);
  EXPECT_EQ(context(s)->retry_done, 1u);
  mkv_dmx_outstream_t out{};
  ASSERT_EQ(s.read(&out, MKV_KIND_VIDEO), 0);
  EXPECT_EQ(out.m_ulTimestamp, 0u);
  EXPECT_EQ(*out.m_pulKeyFrame, 1u);
  // The next seek is linear too: forward, it lands on the first key frame
  // at or after its target, not on the predicted frame there; landing
  // within 10 s of its target ends the linear mode.
  l = seekTo(s, 2000);
  ASSERT_EQ(l.result, 0) << s.text();
  EXPECT_EQ(l.time, 5000u);
  EXPECT_EQ(l.key, 1u);
  EXPECT_EQ(context(s)->retry_done, 0u);
  // Key-frame search again: from the point at 1 s it steps back to the
  // first point and finds the key frame at 0.
  l = seekTo(s, 1500);
  ASSERT_EQ(l.result, 0) << s.text();
  EXPECT_EQ(l.time, 0u);
  EXPECT_EQ(l.key, 1u);
  EXPECT_EQ(context(s)->options & OPT_FELL_BACK, 0u);
}

// Linear search over long groups of pictures: every seek lands on a key
// frame, at or before a backward target (however far back that key frame
// lies) and at or after a forward one, and reading goes on from there.
TEST_F(MkvSeekTest, LinearSearchLandsOnKeyFramesInBothDirections) {
  TempDir dir;
  Session s(dir.file("keys_0_2000_5000.mkv", keyedFile({0, 2000, 5000})));
  ASSERT_EQ(s.result, 0) << s.text();
  struct Step {
    int32_t target;
    uint32_t landing;
  } steps[] = {{4700, 5000}, {4900, 2000}, {1960, 0}, {2040, 5000}, {3000, 2000}, {100, 0}, {1000, 2000}};
  for (const Step& step : steps) {
    context(s)->retry_done = 1;  // as after a seek that found no key frame near its target
    Landing l = seekTo(s, step.target);
    ASSERT_EQ(l.result, 0) << step.target << ": " << s.text();
    EXPECT_EQ(l.time, step.landing) << step.target;
    EXPECT_EQ(l.key, 1u) << step.target;
    mkv_dmx_outstream_t out{};
    ASSERT_EQ(s.read(&out, MKV_KIND_VIDEO), 0) << step.target;
    EXPECT_EQ(out.m_ulTimestamp, step.landing) << step.target;
    EXPECT_EQ(*out.m_pulKeyFrame, 1u) << step.target;
  }
  // Forward past the last key frame there is nowhere to land: the seek
  // fails and the demuxer reads on from where it stood.
  context(s)->retry_done = 1;
  EXPECT_LT(seekTo(s, 5100).result, 0);

  // No key frame before the target down to the first point: the demuxer
  // starts over from the first cluster.
  Session late(dir.file("keys_3000_5000.mkv", keyedFile({3000, 5000})));
  ASSERT_EQ(late.result, 0) << late.text();
  ASSERT_EQ(seekTo(late, 4500).time, 5000u);
  context(late)->retry_done = 1;
  Landing l = seekTo(late, 2500);
  ASSERT_EQ(l.result, 0) << late.text();
  EXPECT_EQ(l.time, 0u);
  mkv_dmx_outstream_t out{};
  ASSERT_EQ(late.read(&out, MKV_KIND_VIDEO), 0);
  EXPECT_EQ(out.m_ulTimestamp, 0u);
}

TEST_F(MkvSeekTest, BackwardSearchWithoutAKeyFrameFromTheFirstPointFallsBackToTheStart) {
  TempDir dir;
  Session s(dir.file("keys_3000_5000.mkv", keyedFile({3000, 5000})));
  ASSERT_EQ(s.result, 0) << s.text();
  Landing l = seekTo(s, 3500);
  ASSERT_EQ(l.result, 0) << s.text();
  EXPECT_EQ(l.time, 5000u);
  // Nothing before 0.5 s is a key frame: the first point is tried twice,
  // then the demuxer starts over from the first cluster, and that landing
  // is not retried.
  l = seekTo(s, 500);
  ASSERT_EQ(l.result, 0) << s.text();
  EXPECT_EQ(l.time, 0u);
  EXPECT_EQ(l.key, 0u);
  EXPECT_EQ(context(s)->options & OPT_FELL_BACK, 0u);
  EXPECT_EQ(context(s)->retry_done, 0u);
  mkv_dmx_outstream_t out{};
  ASSERT_EQ(s.read(&out, MKV_KIND_VIDEO), 0);
  EXPECT_EQ(out.m_ulTimestamp, 0u);
}

TEST_F(MkvSeekTest, LandingLeavesOnlyTheVideoFrameQueued) {
  TempDir dir;
  Session s(dir.file("keyed.mkv", keyedFile(clusterStarts())));
  ASSERT_EQ(s.result, 0) << s.text();
  Landing l = seekTo(s, 2500);
  ASSERT_EQ(l.result, 0) << s.text();
  EXPECT_EQ(l.time, 3000u);
  const mkv_dmx_t* ctx = context(s);
  for (uint32_t i = 0; i < ctx->track_count; ++i) {
    if (ctx->tracks[i]->track_type == MKV_TRACK_VIDEO) {
      ASSERT_NE(ctx->queues[i].head, nullptr);
      EXPECT_EQ(ctx->queues[i].head->time, 3000000000u);
    } else {
      EXPECT_EQ(ctx->queues[i].head, nullptr) << "track " << i;
    }
  }
  // Reading goes on with both kinds after the video frame.
  std::vector<Frame> frames = readAll(s);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].type, uint32_t(MKV_TRACK_VIDEO));
  EXPECT_EQ(frames[0].time, 3000u);
  int audio = 0;
  for (const Frame& f : frames) {
    EXPECT_GE(f.time, 3000u);
    audio += f.type == MKV_TRACK_AUDIO;
  }
  EXPECT_GE(audio, 70);
}

TEST_F(MkvSeekTest, CuePointsNamingAudioBlocksLeadForwardToAVideoPoint) {
  TempDir dir;
  Session s(dir.file("keyed.mkv", keyedFile(clusterStarts())));
  ASSERT_EQ(s.result, 0) << s.text();
  mkv_dmx_t* ctx = context(s);
  ASSERT_EQ(ctx->cue_count, uint32_t(kClusters));
  // As a table kept with block numbers would hold them: every point but the
  // last names a block of the audio track. A forward search moves up to a
  // video track's point, here the last one.
  for (uint32_t i = 1; i + 1 < ctx->cue_count; ++i) {
    ctx->cues[i].block = 1;
    ctx->cues[i].track = 2;
  }
  Landing l = seekTo(s, 1500);
  ASSERT_EQ(l.result, 0) << s.text();
  EXPECT_EQ(l.time, 5000u);
  EXPECT_EQ(l.key, 1u);
}

TEST_F(MkvSeekTest, CueTimesBeforeTheStartCountFromZero) {
  TempDir dir;
  const Bytes info = el(0x1549A966, uintEl(0x2AD7B1, 1000000));
  const Bytes tracks = el(0x1654AE6B, audioTrack(1, "A_AC3", uintEl(0x23E383, 32000000)));
  Bytes clusters;
  std::vector<uint64_t> at;
  for (int c = 0; c < 2; ++c) {
    Bytes blocks = uintEl(0xE7, 1000 + uint64_t(c) * 1280);
    for (int i = 0; i < 40; ++i) blocks = cat({blocks, simpleBlock(1, int16_t(32 * i), 0x80, Bytes(64, uint8_t(i)))});
    at.push_back(clusters.size());
    clusters = cat({clusters, el(0x1F43B675, blocks)});
  }
  // The first cluster starts at 1 s; the first point says 0.4 s.
  const uint64_t first = info.size() + tracks.size();
  const uint64_t times[] = {400, 1000, 2280};
  const uint64_t where[] = {first + at[0], first + at[0], first + at[1]};
  Bytes points;
  for (int i = 0; i < 3; ++i)
    points = cat({points, el(0xBB, cat({uintEl(0xB3, times[i]),
                                        el(0xB7, cat({uintEl(0xF7, 1), uintEl(0xF1, where[i])}))}))});
  Session s(dir.file("early_cue.mka",
                     cat({ebmlHeader(), segment(cat({info, tracks, clusters, el(0x1C53BB6B, points)}))})));
  ASSERT_EQ(s.result, 0) << s.text();
  const mkv_dmx_t* ctx = context(s);
  ASSERT_EQ(ctx->cue_count, 3u);
  EXPECT_EQ(ctx->cues[0].time, 0u);
  EXPECT_EQ(ctx->cues[1].time, 0u);
  EXPECT_EQ(ctx->cues[2].time, 1280000000u);
  Landing l = seekTo(s, 1500);
  ASSERT_EQ(l.result, 0) << s.text();
  EXPECT_EQ(l.time, 1504u);
  l = seekTo(s, 100);
  ASSERT_EQ(l.result, 0) << s.text();
  EXPECT_EQ(l.time, 128u);
}

TEST_F(MkvSeekTest, LastTimeSearchTrustsAMeasuredDurationPastTheLastKeyFrame) {
  using Fn = uint64_t (*)(mkv_dmx_t*);
  Fn findLast = reinterpret_cast<Fn>(plugin().symbol("find_last_timecode"));
  ASSERT_NE(findLast, nullptr);
  Session s(media("h264_aac.mkv"));
  ASSERT_EQ(s.result, 0) << s.text();
  mkv_dmx_t* ctx = context(s);
  // Nothing measured: read to the end of the file.
  ctx->real_duration_ns = 0;
  const uint64_t last = findLast(ctx);
  EXPECT_NEAR(double(last) / 1e6, 6000.0, 100.0);
  // A duration more than a second past the last key frame stops the read
  // there with no time of its own.
  ctx->real_duration_ns = 60000000000ull;
  EXPECT_EQ(findLast(ctx), 0u);
  EXPECT_EQ(ctx->max_key_time, 5000u);
  // A duration within a second of it reads on.
  ctx->real_duration_ns = 5500000000ull;
  EXPECT_EQ(findLast(ctx), last);
  // The reading state is back at the start.
  std::vector<Frame> frames = readAll(s);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].time, 0u);
}

// `tiny` clusters under 1 KiB (not indexed) before three of 2 KiB.
Bytes smallThenLarge(int tiny) {
  const Bytes info = el(0x1549A966, uintEl(0x2AD7B1, 1000000));
  const Bytes tracks = el(0x1654AE6B, videoTrack(1));
  Bytes clusters;
  uint64_t tc = 0;
  for (int i = 0; i < tiny; ++i, tc += 40)
    clusters = cat({clusters, el(0x1F43B675, cat({uintEl(0xE7, tc), simpleBlock(1, 0, 0x80, Bytes(16, 0))}))});
  for (int c = 0; c < 3; ++c, tc += 1000) {
    Bytes blocks = uintEl(0xE7, tc);
    for (int f = 0; f < 25; ++f) blocks = cat({blocks, simpleBlock(1, int16_t(f * 40), 0x80, Bytes(80, 0))});
    clusters = cat({clusters, el(0x1F43B675, blocks)});
  }
  return cat({ebmlHeader(), segment(cat({info, tracks, clusters}))});
}

TEST_F(MkvSeekTest, IndexScanJumpsAheadAfterFiftyRejectedClusters) {
  TempDir dir;
  struct Case {
    int tiny;
    uint32_t points, seekable;
  };
  // 40 rejected candidates leave the scan in place: the two large clusters
  // followed by another become points. 60 pass the limit: the scan jumps
  // 10 MiB, past the end, and only the first cluster is indexed.
  for (const Case& c : {Case{40, 2, 1}, Case{60, 1, 0}}) {
    Session s(dir.file("small_" + std::to_string(c.tiny) + ".mkv", smallThenLarge(c.tiny)));
    ASSERT_EQ(s.result, 0) << s.text();
    ASSERT_EQ(call(MKV_OP_CREATE_INDEX, &s.slot, nullptr, nullptr), 0);
    EXPECT_EQ(context(s)->cue_count, c.points) << c.tiny;
    EXPECT_EQ(s.info.file_info->seekable, c.seekable) << c.tiny;
  }
}

// Three clusters of video without Cues, 25 frames of 40 ms each; the last
// cluster ends as `tail` says. The index that op 3002 builds ends where the
// frame shown last ends, as the duration found at open does, not where the
// block stored last starts.
TEST_F(MkvSeekTest, IndexedDurationEndsWithTheFrameShownLast) {
  TempDir dir;
  struct Case {
    const char* name;
    Bytes tail;
    uint32_t duration;
  } cases[] = {
      // A predicted frame stored before the B-frame shown ahead of it.
      {"B-frame stored last", cat({simpleBlock(1, 960, 0x00, Bytes(80, 1)), simpleBlock(1, 920, 0x00, Bytes(80, 2))}),
       3000},
      // A block whose BlockDuration runs past the frames stored after it.
      {"BlockDuration", cat({el(0xA0, cat({el(0xA1, cat({{0x81, 0x03, 0x98, 0x00}, Bytes(80, 3)})), uintEl(0x9B, 180)})),
                             simpleBlock(1, 940, 0x00, Bytes(80, 4))}),
       3100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes clusters;
    for (int k = 0; k < 3; ++k) {
      Bytes blocks = uintEl(0xE7, uint64_t(k) * 1000);
      for (int f = 0; f < 23; ++f)
        blocks = cat({blocks, simpleBlock(1, int16_t(f * 40), f ? 0x00 : 0x80, Bytes(80, uint8_t(f)))});
      clusters = cat({clusters, el(0x1F43B675, cat({blocks, k < 2 ? cat({simpleBlock(1, 920, 0x00, Bytes(80, 5)),
                                                                           simpleBlock(1, 960, 0x00, Bytes(80, 6))})
                                                                   : c.tail}))});
    }
    Session s(dir.file("tail.mkv", cat({ebmlHeader(), segment(cat({el(0x1549A966, uintEl(0x2AD7B1, 1000000)),
                                                                    el(0x1654AE6B, videoTrack(1)), clusters}))})));
    ASSERT_EQ(s.result, 0) << s.text();
    EXPECT_EQ(s.info.file_info->duration_ms, c.duration);
    ASSERT_EQ(call(MKV_OP_CREATE_INDEX, &s.slot, nullptr, nullptr), 0);
    EXPECT_EQ(context(s)->cue_count, 2u);
    EXPECT_EQ(s.info.file_info->duration_ms, c.duration);
    EXPECT_EQ(call(MKV_OP_REAL_DURATION, &s.slot, nullptr, nullptr), 0);
    EXPECT_EQ(s.info.file_info->duration_ms, c.duration);
  }
}

}  // namespace
