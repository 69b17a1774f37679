// Seeking in the program-stream demuxer: the held key frame, re-synchronising,
// refused requests and what each recovery option leaves after a failed seek.
#include "mpg_test_support.h"

using namespace mpgtest;

namespace {

using SeekTest = MpgTest;

const char kFile[] = "mpeg2_mp2.vob";

// The frames a fresh session delivers after skipping `skip` of them.
std::vector<std::vector<uint8_t>> framesAfter(MpgTest* t, const MpgOpenRecord& r, int skip, int count) {
  Session s(t, r);
  std::vector<std::vector<uint8_t>> out;
  for (int n = 0; n < skip + count && s.next() == MPG_OK; ++n)
    if (n >= skip) out.push_back(s.payload());
  return out;
}

TEST_F(SeekTest, NextFrameAfterASeekIsTheKeyFrameItFound) {
  std::string path = media(kFile);
  for (uint32_t mode : {MPG_MODE_DIRECT, MPG_MODE_TWO_READERS}) {
    Session s(this, openRecord(path.c_str(), mode));
    ASSERT_EQ(s.opened, MPG_OK);
    ASSERT_EQ(s.seek(1500, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE), MPG_OK) << mode;
    EXPECT_EQ(s.frame.kind, uint32_t(MPG_KIND_VIDEO));
    EXPECT_GE(s.frame.time_ms, 1500);
    std::vector<uint8_t> key = s.payload();
    int32_t time = s.frame.time_ms;
    ASSERT_EQ(s.next(), MPG_OK);
    EXPECT_EQ(s.payload(), key) << mode;
    EXPECT_EQ(s.frame.time_ms, time) << mode;
    ASSERT_EQ(s.next(), MPG_OK);
    EXPECT_NE(s.payload(), key) << mode;
    if (mode == MPG_MODE_TWO_READERS) {
      EXPECT_EQ(s.next(MPG_KIND_AUDIO), MPG_OK);
    }
  }
}

TEST_F(SeekTest, RequestsOutsideTheirRangesAreRefused) {
  std::string path = media(kFile);
  {
    Session s(this, openRecord(path.c_str(), MPG_MODE_DIRECT, MPG_DURATION_NONE));
    ASSERT_EQ(s.opened, MPG_OK);
    EXPECT_EQ(s.seek(1000, MPG_SEEK_FORWARD), MPG_ERR_ARGUMENT);  // no duration to scale by
    EXPECT_EQ(s.seek(0, MPG_SEEK_START), MPG_OK);
  }
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  EXPECT_EQ(s.seek(1000, 3), MPG_ERR_ARGUMENT);
  EXPECT_EQ(s.seek(1000, MPG_SEEK_FORWARD | 0x30), MPG_ERR_ARGUMENT);
}

TEST_F(SeekTest, RelativeSeekBackBeyondTheStartLandsOnTheFirstKeyFrame) {
  std::string path = media(kFile);
  std::vector<uint8_t> first = framesAfter(this, openRecord(path.c_str()), 0, 1).at(0);
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  for (int n = 0; n < 40; ++n) ASSERT_EQ(s.next(), MPG_OK);
  ASSERT_EQ(s.seek(100000, MPG_SEEK_BACKWARD), MPG_OK);
  EXPECT_EQ(s.payload(), first);
}

TEST_F(SeekTest, ResynchronisingDeliversTheNextKeyFrameWhereTheReaderStands) {
  std::string path = media(kFile);
  // Key frames hold a sequence header here.
  auto is_key = [](const std::vector<uint8_t>& p) {
    for (size_t i = 0; i + 3 < p.size(); ++i)
      if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && p[i + 3] == 0xB3) return true;
    return false;
  };
  auto after = framesAfter(this, openRecord(path.c_str()), 20, 60);
  size_t k = 0;
  while (k < after.size() && !(is_key(after[k]))) ++k;
  ASSERT_LT(k, after.size());
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  for (int n = 0; n < 20; ++n) ASSERT_EQ(s.next(), MPG_OK);
  ASSERT_EQ(s.seek(0, MPG_SEEK_RESYNC), MPG_OK);
  EXPECT_EQ(s.payload(), after[k]);
}

TEST_F(SeekTest, AFailedSeekLeavesWhatEachRecoveryOptionSays) {
  std::string path = media(kFile);
  MpgOpenRecord plain = openRecord(path.c_str());
  auto following = framesAfter(this, plain, 10, 3);
  // Without options the reader goes back to where it stood, with a cache
  // that matches its position, even when the failure was a host seek.
  for (bool hostFailure : {false, true}) {
    Session s(this, plain);
    ASSERT_EQ(s.opened, MPG_OK);
    for (int n = 0; n < 10; ++n) ASSERT_EQ(s.next(), MPG_OK);
    mediahost::Faults f;
    f.failSeekAt = 1;
    if (hostFailure) mediahost::Host::get().setFaults(f);
    EXPECT_LT(s.seek(s.info.duration_ms + 5000, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE), 0);
    mediahost::Host::get().setFaults(mediahost::Faults());
    for (const auto& want : following) {
      ASSERT_EQ(s.next(), MPG_OK);
      EXPECT_EQ(s.payload(), want) << hostFailure;
    }
  }
  // Option 1 ends the stream.
  {
    Session s(this, openRecord(path.c_str(), MPG_MODE_DIRECT, MPG_DURATION_MEASURE, MPG_RECOVER_END));
    ASSERT_EQ(s.opened, MPG_OK);
    EXPECT_LT(s.seek(s.info.duration_ms + 5000, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE), 0);
    EXPECT_EQ(s.next(), MPG_ERR_END);
  }
  // Option 2 falls back to the last video packet found at open.
  for (uint32_t mode : {MPG_MODE_DIRECT, MPG_MODE_TWO_READERS}) {
    Session s(this, openRecord(path.c_str(), mode, MPG_DURATION_MEASURE, MPG_RECOVER_LAST_VIDEO));
    ASSERT_EQ(s.opened, MPG_OK);
    ASSERT_EQ(s.seek(s.info.duration_ms + 5000, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE), MPG_OK) << mode;
    EXPECT_EQ(s.frame.kind, uint32_t(MPG_KIND_VIDEO));
    EXPECT_GT(s.frame.time_ms, s.info.duration_ms / 2) << mode;
  }
}

TEST_F(SeekTest, AFailedSeekKeepsTheFrameBufferItGrew) {
  // Small audio frames, then key frames much larger than any frame before.
  PsBuilder b;
  b.pack(0);
  for (int t = 0; t < 4; ++t) b.pes(0xC0, 90 * 1000 * t, mp2Audio(8));
  for (int t = 0; t < 6; ++t) b.pes(0xE0, 90 * (400 + 500 * t), mpeg2Video(1, 20000));
  std::string path = file("grow.mpg", b.out);
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  ASSERT_EQ(s.next(), MPG_OK);
  ASSERT_EQ(s.frame.length, 12u);
  // Past the last key frame: every estimate reads the large frames, then
  // the seek fails and the reader goes back after the first audio frame.
  ASSERT_EQ(s.info.duration_ms, 3000);
  EXPECT_LT(s.seek(2950, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE), 0);
  for (int n = 1; n < 4; ++n) {
    ASSERT_EQ(s.next(), MPG_OK);
    EXPECT_EQ(s.frame.kind, uint32_t(MPG_KIND_AUDIO));
    EXPECT_EQ(s.payload(), mp2Audio(8));
  }
  ASSERT_EQ(s.next(), MPG_OK);
  EXPECT_EQ(s.frame.length, 12u + 8 + 20000);
}

// A pack every 100 ms up to `endMs`, each with an audio frame; from
// `firstKeyMs` on a picture every 200 ms, a key frame each second.
PsBuilder packsWithKeyFrames(int endMs, int firstKeyMs) {
  PsBuilder b;
  const int keyPhase = firstKeyMs % 1000;
  for (int t = 0; t <= endMs; t += 100) {
    b.pack(uint64_t(90 * t));
    b.pes(0xC0, 90 * t, mp2Audio(200));
    if (t >= firstKeyMs && t % 200 == 0)
      b.pes(0xE0, 90 * t, mpeg2Video(t % 1000 == keyPhase ? 1 : 2, 300, t % 1000 == keyPhase));
  }
  return b;
}

TEST_F(SeekTest, BackwardSeekBeforeTheFirstKeyFrameDeliversItAtTheTarget) {
  // Audio from 0 ms, the first key frame at 800 ms, another at 1800 ms.
  PsBuilder b = packsWithKeyFrames(3000, 800);
  std::string path = file("late_key.mpg", b.out);
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  ASSERT_EQ(s.seek(2500, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE), MPG_OK);
  EXPECT_EQ(s.frame.time_ms, 2800);
  // Now behind the target: the seek runs backward, retries from the start
  // and delivers the first key frame with the target's time.
  ASSERT_EQ(s.seek(500, MPG_SEEK_BACKWARD | MPG_SEEK_ABSOLUTE), MPG_OK);
  EXPECT_EQ(s.frame.time_ms, 500);
  ASSERT_EQ(s.next(), MPG_OK);
  EXPECT_EQ(s.frame.kind, uint32_t(MPG_KIND_VIDEO));
  EXPECT_EQ(s.frame.length, 12u + 8 + 300);
}

// The video frames of a whole reading, in file order, and whether each holds
// a sequence header (every GOP of ffmpeg's MPEG-1/2 video starts with one).
struct VideoFrame {
  int32_t time;
  std::vector<uint8_t> payload;
  bool key;
};

std::vector<VideoFrame> readVideoToTheEnd(Session* s) {
  std::vector<VideoFrame> out;
  int32_t r;
  while ((r = s->next()) == MPG_OK) {
    if (s->frame.kind != MPG_KIND_VIDEO) continue;
    std::vector<uint8_t> p = s->payload();
    bool key = false;
    for (size_t i = 0; i + 3 < p.size() && !key; ++i)
      key = p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && p[i + 3] == 0xB3;
    out.push_back({s->frame.time_ms, std::move(p), key});
  }
  EXPECT_EQ(r, MPG_ERR_END);
  return out;
}

TEST_F(SeekTest, BackwardSeeksFromTheEndLandOnTheLastKeyFrameAtOrBeforeTheTarget) {
  // Times in the last GOP lie past the last key frame's share of the file:
  // the key-frame search from the estimate met the end of the file and the
  // seek failed. Targets are each key frame's own time, a millisecond after
  // it, and the middle and the end of the last GOP.
  for (const char* name : {"pal_dvd.vob", "mpeg1_60fps.mpg"}) {
    std::string path = media(name);
    for (uint32_t mode : {MPG_MODE_DIRECT, MPG_MODE_TWO_READERS}) {
      SCOPED_TRACE(std::string(name) + (mode == MPG_MODE_DIRECT ? " direct" : " two readers"));
      Session s(this, openRecord(path.c_str(), mode));
      ASSERT_EQ(s.opened, MPG_OK);
      std::vector<VideoFrame> frames = readVideoToTheEnd(&s);
      std::vector<const VideoFrame*> keys;
      for (const VideoFrame& f : frames)
        if (f.key) keys.push_back(&f);
      ASSERT_GT(keys.size(), 3u);
      const int32_t lastKey = keys.back()->time, end = frames.back().time;
      ASSERT_GT(end, lastKey + 100);
      std::vector<int32_t> targets = {(lastKey + end) / 2, end};
      for (const VideoFrame* k : keys) {
        targets.push_back(k->time);
        targets.push_back(k->time + 1);
      }
      for (int32_t t : targets) {
        const VideoFrame* want = nullptr;
        for (const VideoFrame* k : keys)
          if (k->time <= t) want = k;
        ASSERT_EQ(s.seek(t, MPG_SEEK_BACKWARD | MPG_SEEK_ABSOLUTE), MPG_OK) << t;
        EXPECT_EQ(s.payload(), want->payload) << t;
        // Two readers deliver a picture at its predecessor's time plus a
        // frame when its stamp would repeat a third time or go back; a seek
        // delivers the key frame at its stamp.
        if (mode == MPG_MODE_DIRECT) {
          EXPECT_EQ(s.frame.time_ms, want->time) << t;
        }
        int32_t landed = s.frame.time_ms;
        ASSERT_EQ(s.next(), MPG_OK);
        EXPECT_EQ(s.frame.time_ms, landed) << t;
        EXPECT_EQ(s.payload(), want->payload) << t;
        readVideoToTheEnd(&s);
      }
    }
  }
}

// A host that cannot tell the file's size: seeking to the end fails. Counts
// the seeks a session makes.
int g_hostSeeks = 0;
int32_t seekWithoutEnd(void* file, int64_t offset, int32_t whence) {
  ++g_hostSeeks;
  return whence == KVR_SEEK_END ? -1 : mediahost::hostFseek64(file, offset, whence);
}

// A seek and where it must land: on a video key frame at `landed`. A
// backward one starts from 9.5 s.
struct SeekCase {
  int32_t target;
  uint32_t flags;
  int32_t landed;
};

// Each case on a fresh session of `record`, counting the host's seeks.
void expectSeeksLand(MpgTest* t, const MpgOpenRecord& record, const std::vector<SeekCase>& cases,
                     int maxHostSeeks) {
  for (const SeekCase& k : cases) {
    Session s(t, record);
    ASSERT_EQ(s.opened, MPG_OK);
    if (k.flags & MPG_SEEK_BACKWARD) {
      ASSERT_EQ(s.seek(9500, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE), MPG_OK);
    }
    g_hostSeeks = 0;
    ASSERT_EQ(s.seek(k.target, k.flags), MPG_OK) << k.target;
    EXPECT_EQ(s.frame.time_ms, k.landed) << k.target;
    EXPECT_EQ(s.frame.kind, uint32_t(MPG_KIND_VIDEO));
    EXPECT_LE(g_hostSeeks, maxHostSeeks) << k.target;
  }
}

TEST_F(SeekTest, WithoutAFileSizeSeeksReadOnFromTheStart) {
  // Video from 800 ms with a key frame each second, over ten seconds.
  PsBuilder b = packsWithKeyFrames(10000, 800);
  std::string path = file("no_size.mpg", b.out);
  MpgOpenRecord r = openRecord(path.c_str());
  r.host.seek64 = seekWithoutEnd;
  {
    Session s(this, r);
    ASSERT_EQ(s.opened, MPG_OK);
    EXPECT_EQ(s.info.file_size, 0u);
    ASSERT_GT(s.info.duration_ms, 9000);
  }
  // Each estimate places the reader once; moving an estimate that cannot
  // move went on for a hundred thousand steps.
  expectSeeksLand(this, r,
                  {
                      {7500, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE, 7800},  // read on from the first key frame
                      {500, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE, 800},    // the first key frame is past it
                      {500, MPG_SEEK_BACKWARD | MPG_SEEK_ABSOLUTE, 500},   // before the first key frame
                      {3000, MPG_SEEK_BACKWARD | MPG_SEEK_ABSOLUTE, 2800},  // read on from the first key frame
                  },
                  4);
}

int32_t countedSeek(void* file, int64_t offset, int32_t whence) {
  ++g_hostSeeks;
  return mediahost::hostFseek64(file, offset, whence);
}

TEST_F(SeekTest, AClockFarAheadOfTheBytesSeeksInAFewSteps) {
  // Ten seconds of packs, a key frame each second, then one last key frame
  // stamped ten hours on: a duration of ten hours in some 40 KB. Steps of a
  // second moved the estimate by about a byte, and a seek into those hours
  // took thousands of them.
  PsBuilder b = packsWithKeyFrames(10000, 0);
  const int64_t tenHours = 10ll * 3600 * 1000;
  b.pack(uint64_t(90 * tenHours));
  b.pes(0xC0, uint64_t(90 * tenHours), mp2Audio(200));
  b.pes(0xE0, uint64_t(90 * tenHours), mpeg2Video(1, 300, true));
  std::string path = file("clock_ahead.mpg", b.out);
  // A cache smaller than a second of the file: each estimate places the
  // reader anew.
  MpgOpenRecord r = openRecord(path.c_str(), MPG_MODE_DIRECT, MPG_DURATION_MEASURE, 0, 2048);
  r.host.seek64 = countedSeek;
  {
    Session s(this, r);
    ASSERT_EQ(s.opened, MPG_OK);
    ASSERT_GT(s.info.duration_ms, 9 * 3600 * 1000);
  }
  expectSeeksLand(this, r,
                  {
                      {5 * 3600 * 1000, MPG_SEEK_FORWARD | MPG_SEEK_ABSOLUTE, int32_t(tenHours)},  // the next key frame
                      {4000, MPG_SEEK_BACKWARD | MPG_SEEK_ABSOLUTE, 4000},  // a step back covers the whole file
                  },
                  100);
}

TEST_F(SeekTest, BackwardSeekIntoALongTailWithoutKeyFramesStepsBackInFewTries) {
  // One key frame at the start, then ten minutes of pictures without one:
  // every estimate after it meets the end of the file. Steps of two seconds
  // took some three hundred tries, each reading to the end.
  PsBuilder b;
  for (int t = 0; t <= 600000; t += 200) {
    b.pack(uint64_t(90 * t));
    b.pes(0xE0, 90 * t, mpeg2Video(t == 0 ? 1 : 2, 300, t == 0));
  }
  std::string path = file("long_tail.mpg", b.out);
  MpgOpenRecord r = openRecord(path.c_str(), MPG_MODE_DIRECT, MPG_DURATION_MEASURE, 0, 2048);
  r.host.seek64 = countedSeek;
  Session s(this, r);
  ASSERT_EQ(s.opened, MPG_OK);
  ASSERT_EQ(s.info.duration_ms, 600000);
  std::vector<VideoFrame> frames = readVideoToTheEnd(&s);
  ASSERT_EQ(frames.size(), 3001u);
  g_hostSeeks = 0;
  ASSERT_EQ(s.seek(599000, MPG_SEEK_BACKWARD | MPG_SEEK_ABSOLUTE), MPG_OK);
  EXPECT_EQ(s.frame.time_ms, 0);
  EXPECT_EQ(s.payload(), frames[0].payload);
  EXPECT_LE(g_hostSeeks, 30);
}

}  // namespace
