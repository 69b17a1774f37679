// Entry, open, frame reading, metadata and seek of the FLV demuxer through
// its exported entry, on generated files and tiny hand-built ones.
#include <algorithm>
#include <map>

#include "flv_test_support.h"
#include "mediahost/md5.h"

using namespace flvtest;

namespace {

struct Frame {
  uint32_t kind;
  int32_t timeMs;
  Bytes bytes;
};

class FlvDmxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mediahost::Host::get().reset();
    entry_ = plugin().entry();
  }
  void TearDown() override {
    if (slot_) close();
    EXPECT_EQ(mediahost::Host::get().leakReport(), "");
  }

  int32_t open(const std::string& path, uint32_t flags = 0, int32_t op = FLVD_OP_OPEN,
               uint32_t cache = 0) {
    record_ = FlvdOpenRecord{};
    record_.host = mediahost::Host::get().services();
    if (malloc_) record_.host.malloc_fn = malloc_;
    path_ = path;
    record_.fileName = path_.c_str();
    record_.openFlags = flags;
    record_.cacheSize = cache;
    result_ = FlvdOpenResult{};
    return entry_(op, &slot_, &record_, &result_);
  }
  int32_t openBytes(const Bytes& bytes, uint32_t flags = 0, int32_t op = FLVD_OP_OPEN) {
    std::string p = dir_.file("t" + std::to_string(++files_) + ".flv");
    writeFile(p, bytes);
    return open(p, flags, op);
  }
  void close() { EXPECT_EQ(entry_(FLVD_OP_CLOSE, &slot_, nullptr, nullptr), 0); }
  int32_t lastError() { return entry_(FLVD_OP_LAST_ERROR, &slot_, nullptr, nullptr); }

  int32_t read(Frame* f, uint32_t kind = 0, uint8_t* buffer = nullptr, uint32_t size = 0) {
    FlvdFrameRequest req{buffer, size, kind};
    FlvdFrame out{};
    int32_t r = entry_(FLVD_OP_READ, &slot_, &req, &out);
    if (r == 0 && f) *f = Frame{out.kind, out.timeMs, Bytes(out.data, out.data + out.length)};
    return r;
  }
  std::vector<Frame> readAll(uint32_t kind = 0) {
    std::vector<Frame> all;
    Frame f;
    while (read(&f, kind) == 0) all.push_back(f);
    return all;
  }
  int32_t seek(int32_t ms, uint32_t flags, int32_t* landed = nullptr) {
    FlvdSeekRequest req{ms, flags};
    FlvdSeekAnswer out{-1};
    int32_t r = entry_(FLVD_OP_SEEK, &slot_, &req, &out);
    if (landed) *landed = out.timeMs;
    return r;
  }

  KvrEntryFn entry_ = nullptr;
  void* slot_ = nullptr;
  FlvdOpenRecord record_{};
  FlvdOpenResult result_{};
  std::string path_;
  TempDir dir_;
  int files_ = 0;
  KvrMallocFn malloc_ = nullptr;
};

// A small file of H.263 video at 40 ms and MP3 audio at 26 ms steps.
FlvBuilder smallFile(int videoTags = 20, int audioTags = 30) {
  FlvBuilder b;
  Bytes h263 = {0x12, 0x00, 0x00, 0x80, 0x02, 0x00, 0x00, 0x00, 0x00, 0x55};
  int v = 0, a = 0;
  while (v < videoTags || a < audioTags) {
    if (v < videoTags && (a >= audioTags || v * 40 <= a * 26)) {
      Bytes body = h263;
      body[0] = v % 5 == 0 ? 0x12 : 0x22;
      body.push_back(uint8_t(v));
      b.tag(9, uint32_t(v++ * 40), body);
    } else {
      Bytes body = mp3Body(30);
      body.push_back(uint8_t(a));
      b.tag(8, uint32_t(a++ * 26), body);
    }
  }
  return b;
}

TEST_F(FlvDmxTest, TableAndEntryAnswerEveryOp) {
  auto table = static_cast<KvrEntryFn*>(plugin().symbol("FucntionList"));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(table[0]), plugin().symbol("KVR_FLV_DMX"));
  for (int i = 1; i < 9; ++i) EXPECT_EQ(table[i], nullptr);
  auto* globalError = static_cast<int32_t*>(plugin().symbol("g_flvd_lLastError"));
  ASSERT_NE(globalError, nullptr);

  for (int32_t op : {FLVD_OP_READ, FLVD_OP_SEEK, FLVD_OP_UNSUPPORTED, FLVD_OP_CLOSE}) {
    EXPECT_EQ(entry_(op, &slot_, nullptr, nullptr), FLVD_RESULT_BAD_HANDLE) << op;
    EXPECT_EQ(*globalError, FLVD_ERR_BAD_HANDLE);
  }
  EXPECT_EQ(entry_(FLVD_OP_LAST_ERROR, nullptr, nullptr, nullptr), FLVD_ERR_BAD_HANDLE);
  EXPECT_EQ(entry_(77, &slot_, nullptr, nullptr), FLVD_RESULT_FAILED);

  ASSERT_EQ(openBytes(smallFile().bytes), 0);
  EXPECT_EQ(entry_(FLVD_OP_UNSUPPORTED, &slot_, nullptr, nullptr), FLVD_RESULT_FAILED);
  EXPECT_EQ(lastError(), FLVD_ERR_UNSUPPORTED);
  EXPECT_EQ(entry_(FLVD_OP_CLOSE, &slot_, nullptr, nullptr), 0);
  EXPECT_EQ(slot_, nullptr) << "close clears the slot";
  EXPECT_EQ(entry_(FLVD_OP_CLOSE, &slot_, nullptr, nullptr), FLVD_RESULT_BAD_HANDLE)
      << "a second close finds nothing to free";
}

TEST_F(FlvDmxTest, OpenRefusalsMapToTheirResults) {
  EXPECT_EQ(open(dir_.file("missing.flv")), FLVD_RESULT_CANNOT_OPEN);
  EXPECT_EQ(slot_, nullptr);
  EXPECT_EQ(lastError(), FLVD_ERR_OPEN_FILE);

  struct Case {
    const char* what;
    Bytes bytes;
    int32_t code;
  } cases[] = {
      {"eight bytes", Bytes{'F', 'L', 'V', 1, 5, 0, 0, 0}, FLVD_ERR_HEADER},
      {"DataOffset 8", FlvBuilder(5, 9).bytes, FLVD_ERR_HEADER},
      {"no signature", Bytes(5000, 0x20), FLVD_ERR_HEADER},
      {"DataOffset past the end", Bytes{'F', 'L', 'V', 1, 5, 0, 1, 0, 0, 0, 0, 0, 0}, FLVD_ERR_HEADER},
  };
  cases[1].bytes[8] = 8;
  for (Case& c : cases) {
    EXPECT_EQ(openBytes(c.bytes), FLVD_RESULT_FAILED) << c.what;
    EXPECT_EQ(slot_, nullptr) << c.what;
    EXPECT_EQ(lastError(), c.code) << c.what;
  }
  // 101 script tags and no stream.
  FlvBuilder scripts;
  for (int i = 0; i < 110; ++i) scripts.tag(18, 0, {0x05});
  EXPECT_EQ(openBytes(scripts.bytes), FLVD_RESULT_FAILED);
  EXPECT_EQ(lastError(), FLVD_ERR_NO_STREAM);
}

TEST_F(FlvDmxTest, AudioOnlyFileAnnouncesOneAudioStream) {
  ASSERT_EQ(open(media("audio_only.flv")), 0);
  EXPECT_EQ(result_.videoCount, 0);
  EXPECT_EQ(result_.video, nullptr);
  ASSERT_EQ(result_.audioCount, 1);
  EXPECT_EQ(result_.audio, result_.audio2);
  EXPECT_EQ(result_.audio->codecId, uint32_t(FLVD_AUDIO_MP3));
  EXPECT_EQ(result_.audio->sampleRate, 44100u);
  ASSERT_NE(result_.file, nullptr);
  EXPECT_EQ(result_.file->fileSize, int64_t(readFile(media("audio_only.flv")).size()));
  EXPECT_GT(result_.file->durationMs, 3900u);
}

TEST_F(FlvDmxTest, InformationOnlyHandlesRefuseFramesAndSeeks) {
  ASSERT_EQ(open(media("h264_aac.flv"), FLVD_OPEN_SEPARATE_HANDLES, FLVD_OP_OPEN_INFO), 0);
  EXPECT_EQ(result_.videoCount, 1);
  EXPECT_GT(result_.file->durationMs, 5900u);
  EXPECT_EQ(read(nullptr, FLVD_KIND_VIDEO), FLVD_RESULT_FAILED);
  EXPECT_EQ(lastError(), FLVD_ERR_INFO_ONLY);
  EXPECT_EQ(seek(1000, 0), FLVD_RESULT_FAILED);
  EXPECT_EQ(lastError(), FLVD_ERR_INFO_ONLY);
  close();
  // Bytes after the last tag that its brief look at the end cannot place.
  Bytes tail = readFile(media("h264_aac.flv"));
  tail.insert(tail.end(), 70, 'g');
  ASSERT_EQ(openBytes(tail, 0, FLVD_OP_OPEN_INFO), 0);
  EXPECT_GT(result_.file->durationMs, 5900u);
}

TEST_F(FlvDmxTest, FramesDropTheirCodecHeadersAndSequenceHeadersAreNoFrames) {
  FlvBuilder b(1);
  Bytes avcc = {1, 0x42, 0, 0x1E, 0xFF, 0xE1, 0, 4, 0x67, 0x42, 0x00, 0x1E, 1, 0, 2, 0x68, 0xCE};
  Bytes seqHeader = {0x17, 0, 0, 0, 0};
  seqHeader.insert(seqHeader.end(), avcc.begin(), avcc.end());
  b.tag(9, 0, seqHeader);
  Bytes nal(1005, 0x44);
  nal[0] = 0x17, nal[1] = 1, nal[2] = nal[3] = nal[4] = 0;
  b.tag(9, 0, nal);
  b.tag(9, 40, {0x27, 1, 0, 0});          // shorter than its 5-byte header: damage
  nal[0] = 0x27;
  b.tag(9, 80, nal);
  b.tag(9, 80, {0x17, 2, 0, 0, 0});       // end of sequence
  ASSERT_EQ(openBytes(b.bytes), 0);
  std::vector<Frame> all = readAll();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].bytes.size(), 1000u);
  EXPECT_EQ(all[1].timeMs, 80);
  EXPECT_EQ(lastError(), FLVD_ERR_END);
  close();

  FlvBuilder m(4);
  m.tag(8, 0, mp3Body(418));
  Bytes aac = {0xAF, 1};
  m.tag(8, 26, {0xAF});                    // AAC without its packet type
  ASSERT_EQ(openBytes(m.bytes), 0);
  all = readAll();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].bytes.size(), 417u);
}

TEST_F(FlvDmxTest, LargeCodecConfigurationsAreCopiedPastTheCache) {
  // An AAC sequence header far larger than the 4096-byte cache.
  FlvBuilder b(4);
  Bytes config = {0xAF, 0, 0x12, 0x10};
  config.resize(10000, 0x56);
  b.tag(8, 0, config);
  b.tag(8, 0, {0xAF, 1, 0x21, 0x22});
  b.tag(8, 23, {0xAF, 1, 0x21, 0x23});
  ASSERT_EQ(openBytes(b.bytes), 0);
  ASSERT_EQ(result_.audioCount, 1);
  EXPECT_EQ(result_.audio->codecId, uint32_t(FLVD_AUDIO_AAC));
  EXPECT_EQ(result_.audio->configLength, 9998u);
  EXPECT_EQ(result_.audio->sampleRate, 44100u);
  EXPECT_EQ(result_.audio->config[9997], 0x56);
  EXPECT_EQ(readAll().size(), 2u);
}

TEST_F(FlvDmxTest, LongParameterSetsAreConvertedWhole) {
  // The sequence header of an ffmpeg file, its SPS padded past 128 bytes
  // (bits after the SPS syntax change nothing).
  Bytes file = readFile(media("h264_aac.flv"));
  size_t pos = 13;
  Bytes avcc;
  while (pos + 16 < file.size() && avcc.empty()) {
    size_t size = size_t(file[pos + 1] << 16 | file[pos + 2] << 8 | file[pos + 3]);
    if (file[pos] == 9 && file[pos + 12] == 0) avcc.assign(file.begin() + long(pos + 16), file.begin() + long(pos + 11 + size));
    pos += 11 + size + 4;
  }
  ASSERT_GT(avcc.size(), 8u);
  size_t spsLen = size_t(avcc[6] << 8 | avcc[7]);
  Bytes sps(avcc.begin() + 8, avcc.begin() + long(8 + spsLen));
  sps.resize(sps.size() + 300, 0);
  Bytes padded(avcc.begin(), avcc.begin() + 6);
  padded.push_back(uint8_t(sps.size() >> 8));
  padded.push_back(uint8_t(sps.size()));
  padded.insert(padded.end(), sps.begin(), sps.end());
  padded.insert(padded.end(), avcc.begin() + long(8 + spsLen), avcc.end());
  FlvBuilder b(1);
  Bytes seqHeader = {0x17, 0, 0, 0, 0};
  seqHeader.insert(seqHeader.end(), padded.begin(), padded.end());
  b.tag(9, 0, seqHeader);
  b.tag(9, 0, {0x17, 1, 0, 0, 0, 0, 0, 0, 2, 0x09, 0xF0});
  ASSERT_EQ(openBytes(b.bytes), 0);
  ASSERT_EQ(result_.videoCount, 1);
  EXPECT_EQ(result_.video->width, 320u);
  EXPECT_EQ(result_.video->height, 240u);
  EXPECT_EQ(result_.video->configLength, padded.size());
}

TEST_F(FlvDmxTest, GrownFrameBufferAndHostBuffers) {
  FlvBuilder b(1);
  Bytes big(512000 + 2, 0x33);
  big[0] = 0x12;
  b.tag(9, 0, {0x12, 0, 0, 0x80, 0x02, 0, 0, 0, 0, 0});
  b.tag(9, 40, big);
  ASSERT_EQ(openBytes(b.bytes), 0);
  std::vector<Frame> all = readAll();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].bytes.size(), 512001u);
  close();

  ASSERT_EQ(open(path_, FLVD_OPEN_HOST_BUFFERS), 0);
  Bytes buffer(600);
  Frame f;
  EXPECT_EQ(read(&f, 0, buffer.data(), uint32_t(buffer.size())), 0);
  EXPECT_EQ(f.bytes.size(), 9u);
  EXPECT_EQ(read(&f, 0, buffer.data(), uint32_t(buffer.size())), FLVD_RESULT_FAILED);
  EXPECT_EQ(lastError(), FLVD_ERR_FRAME_TOO_BIG);
}

TEST_F(FlvDmxTest, HostBuffersSkipADamagedTagClaimingMoreThanTheyHold) {
  // 165 H.263 frames of 4000 bytes; the 21st tag's size field claims
  // 550000 bytes, more than the host's buffer and still inside the file.
  FlvBuilder b(1);
  std::vector<size_t> starts;
  for (int i = 0; i < 165; ++i) {
    Bytes body = {uint8_t(i % 10 == 0 ? 0x12 : 0x22), 0x00, 0x00, 0x80, 0x02, 0, 0, 0, 0, 0x55};
    body.resize(4000, uint8_t(i));
    starts.push_back(b.tag(9, uint32_t(i * 40), body));
  }
  const uint32_t claim = 550000;
  ASSERT_GT(b.bytes.size(), claim);
  size_t at = starts[20];
  b.bytes[at + 1] = uint8_t(claim >> 16);
  b.bytes[at + 2] = uint8_t(claim >> 8);
  b.bytes[at + 3] = uint8_t(claim);
  ASSERT_EQ(openBytes(b.bytes), 0);
  std::vector<Frame> own = readAll();
  ASSERT_EQ(own.size(), 164u);
  close();

  ASSERT_EQ(open(path_, FLVD_OPEN_HOST_BUFFERS), 0);
  Bytes buffer(512000);
  std::vector<Frame> lent;
  Frame f;
  while (read(&f, 0, buffer.data(), uint32_t(buffer.size())) == 0) lent.push_back(f);
  EXPECT_EQ(lastError(), FLVD_ERR_END);
  ASSERT_EQ(lent.size(), own.size());
  for (size_t i = 0; i < own.size(); ++i) {
    EXPECT_EQ(lent[i].bytes, own[i].bytes) << i;
    EXPECT_EQ(lent[i].timeMs, own[i].timeMs) << i;
  }
}

TEST_F(FlvDmxTest, SeparateHandlesReadEachKindAndRefuseOthers) {
  ASSERT_EQ(open(media("h263_mp3.flv"), FLVD_OPEN_SEPARATE_HANDLES), 0);
  std::vector<Frame> video = readAll(FLVD_KIND_VIDEO);
  EXPECT_EQ(read(nullptr, 3), FLVD_RESULT_FAILED);
  EXPECT_EQ(lastError(), FLVD_ERR_BAD_KIND);
  std::vector<Frame> audio = readAll(FLVD_KIND_AUDIO);
  close();
  ASSERT_EQ(open(media("h263_mp3.flv")), 0);
  std::vector<Frame> both = readAll();
  size_t v = 0, a = 0;
  for (const Frame& f : both) {
    const Frame& other = f.kind == FLVD_KIND_VIDEO ? video.at(v++) : audio.at(a++);
    EXPECT_EQ(other.bytes, f.bytes);
    EXPECT_EQ(other.timeMs, f.timeMs);
  }
  EXPECT_EQ(v, video.size());
  EXPECT_EQ(a, audio.size());
  close();
  ASSERT_EQ(open(media("audio_only.flv"), FLVD_OPEN_SEPARATE_HANDLES), 0);
  EXPECT_EQ(read(nullptr, FLVD_KIND_VIDEO), FLVD_RESULT_FAILED);
  EXPECT_EQ(lastError(), FLVD_ERR_NO_VIDEO);
}

TEST_F(FlvDmxTest, WrongPreviousTagSizeLosesOnlyItsTag) {
  ASSERT_EQ(open(media("h263_mp3.flv")), 0);
  std::vector<Frame> good = readAll();
  close();
  ASSERT_EQ(open(media("bad_prev_size.flv")), 0);
  std::vector<Frame> bad = readAll();
  ASSERT_EQ(bad.size() + 1, good.size());
  size_t skipped = 0, videoSeen = 0;
  for (size_t i = 0, j = 0; i < good.size(); ++i) {
    if (good[i].kind == FLVD_KIND_VIDEO && videoSeen++ == 10) {
      skipped++;
      continue;
    }
    EXPECT_EQ(good[i].bytes, bad[j].bytes);
    EXPECT_EQ(good[i].timeMs, bad[j++].timeMs);
  }
  EXPECT_EQ(skipped, 1u);
  close();

  // The first script tag is taken even with a wrong PreviousTagSize.
  FlvBuilder b(4);
  Bytes meta = {2, 0, 2, 'o', 'n', 8, 0, 0, 0, 1, 0, 5, 'w', 'i', 'd', 't', 'h', 0, 0x40, 0x84, 0, 0, 0, 0, 0, 0, 0, 0, 9};
  b.tag(18, 0, meta, 7);
  FlvBuilder tail = smallFile(0, 5);
  b.bytes.insert(b.bytes.end(), tail.bytes.begin() + 13, tail.bytes.end());
  ASSERT_EQ(openBytes(b.bytes), 0);
  EXPECT_EQ(readAll().size(), 5u);
}

TEST_F(FlvDmxTest, ATagRunningPastTheEndLosesOnlyItself) {
  FlvBuilder b = smallFile(10, 10);
  std::vector<size_t> starts;
  size_t pos = 13;
  while (pos + 11 < b.bytes.size()) {
    starts.push_back(pos);
    pos += 11 + size_t(b.bytes[pos + 1] << 16 | b.bytes[pos + 2] << 8 | b.bytes[pos + 3]) + 4;
  }
  // The third tag from the end claims half the file.
  size_t at = starts[starts.size() - 3];
  uint32_t claim = uint32_t(b.bytes.size() / 2);
  b.bytes[at + 1] = uint8_t(claim >> 16);
  b.bytes[at + 2] = uint8_t(claim >> 8);
  b.bytes[at + 3] = uint8_t(claim);
  ASSERT_EQ(openBytes(b.bytes), 0);
  std::vector<Frame> all = readAll();
  EXPECT_EQ(all.size(), 19u);
  EXPECT_EQ(lastError(), FLVD_ERR_END);
}

TEST_F(FlvDmxTest, SignatureFoundFurtherInWithAnAbsoluteDataOffset) {
  ASSERT_EQ(open(media("signature_at_1000.flv")), 0);
  std::vector<Frame> moved = readAll();
  close();
  ASSERT_EQ(open(media("h263_mp3.flv")), 0);
  std::vector<Frame> plain = readAll();
  ASSERT_EQ(moved.size(), plain.size());
  for (size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(moved[i].bytes, plain[i].bytes);
}

TEST_F(FlvDmxTest, ProgressiveReadingWaitsForTagsStillBeingWritten) {
  FlvBuilder whole = smallFile(10, 15);
  std::string p = dir_.file("growing.flv");
  // Written in pieces cut at awkward places: inside a header, inside a
  // payload, before a PreviousTagSize.
  size_t cuts[] = {40, 77, 150, 151, 300, whole.bytes.size()};
  size_t written = 0;
  writeFile(p, Bytes(whole.bytes.begin(), whole.bytes.begin() + long(cuts[0])));
  written = cuts[0];
  ASSERT_EQ(open(p, FLVD_OPEN_PROGRESSIVE), 0);
  std::vector<Frame> got;
  for (size_t c = 1; c < sizeof(cuts) / sizeof(cuts[0]); ++c) {
    Frame f;
    while (read(&f) == 0) got.push_back(f);
    EXPECT_EQ(lastError(), FLVD_ERR_END);
    writeFile(p, Bytes(whole.bytes.begin() + long(written), whole.bytes.begin() + long(cuts[c])), true);
    written = cuts[c];
  }
  Frame f;
  while (read(&f) == 0) got.push_back(f);
  close();
  ASSERT_EQ(open(p), 0);
  std::vector<Frame> all = readAll();
  ASSERT_EQ(got.size(), all.size());
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(got[i].bytes, all[i].bytes) << i;
    EXPECT_EQ(got[i].timeMs, all[i].timeMs) << i;
  }
}

// A script tag with onMetaData holding `props` (AMF0 name/value pairs).
Bytes metaTag(const Bytes& props) {
  Bytes m = {2, 0, 10, 'o', 'n', 'M', 'e', 't', 'a', 'D', 'a', 't', 'a', 8, 0, 0, 0, 0};
  m.insert(m.end(), props.begin(), props.end());
  m.insert(m.end(), {0, 0, 9});
  return m;
}

void amfName(Bytes* b, const std::string& s) {
  b->push_back(uint8_t(s.size() >> 8));
  b->push_back(uint8_t(s.size()));
  b->insert(b->end(), s.begin(), s.end());
}

void amfNumber(Bytes* b, double v) {
  uint64_t bits;
  memcpy(&bits, &v, 8);
  b->push_back(0);
  for (int i = 7; i >= 0; --i) b->push_back(uint8_t(bits >> (8 * i)));
}

void amfArray(Bytes* b, const std::vector<double>& values) {
  b->push_back(10);
  put32(b, uint32_t(values.size()));
  for (double v : values) amfNumber(b, v);
}

TEST_F(FlvDmxTest, MetadataKeysAreMatchedWithoutCase) {
  Bytes props;
  amfName(&props, "Width");
  amfNumber(&props, 640);
  amfName(&props, "heightx");
  amfNumber(&props, 480);
  amfName(&props, "framerate");
  amfNumber(&props, 29.97);
  amfName(&props, "duration");
  amfNumber(&props, 99);
  amfName(&props, "title");
  props.push_back(2);
  amfName(&props, std::string(300, 'x'));
  FlvBuilder b(4);
  b.tag(18, 0, metaTag(props));
  FlvBuilder tail = smallFile(0, 8);
  b.bytes.insert(b.bytes.end(), tail.bytes.begin() + 13, tail.bytes.end());
  b.bytes[4] = 5;
  ASSERT_EQ(openBytes(b.bytes), 0);
  ASSERT_EQ(result_.audioCount, 1);
  EXPECT_EQ(result_.videoCount, 0) << "metadata announces no stream";
  EXPECT_EQ(result_.file->durationMs, 7u * 26u) << "the duration comes from the tags";
  close();
  FlvBuilder v(1);
  v.tag(18, 0, metaTag(props));
  FlvBuilder vt = smallFile(5, 0);
  v.bytes.insert(v.bytes.end(), vt.bytes.begin() + 13, vt.bytes.end());
  ASSERT_EQ(openBytes(v.bytes), 0);
  ASSERT_EQ(result_.videoCount, 1);
  EXPECT_EQ(result_.video->width, 128u) << "the picture header comes after the metadata";
  EXPECT_EQ(result_.video->height, 96u);
  EXPECT_EQ(result_.video->frameRate, 29970u);
}

// A file whose metadata's key-frame index lists the key frames of
// smallFile(): one video key frame every 200 ms.
Bytes indexedFile(const std::vector<double>& times, int count, bool lieAboutTimes = false,
                  bool laterTimes = false) {
  FlvBuilder probe = smallFile(60, 90);
  std::vector<std::pair<double, double>> keys;
  size_t pos = 13;
  const Bytes& d = probe.bytes;
  while (pos + 11 < d.size()) {
    uint32_t size = uint32_t(d[pos + 1] << 16 | d[pos + 2] << 8 | d[pos + 3]);
    uint32_t ts = uint32_t(d[pos + 4] << 16 | d[pos + 5] << 8 | d[pos + 6]);
    if (d[pos] == 9 && (d[pos + 11] >> 4) == 1) keys.push_back({ts / 1000.0, double(pos)});
    pos += 11 + size + 4;
  }
  auto build = [&](size_t shift) {
    std::vector<double> t, fp;
    for (int i = 0; i < count && i < int(keys.size()); ++i) {
      t.push_back(times.empty() ? keys[i].first : times[i]);
      fp.push_back(keys[i].second + double(shift));
    }
    if (lieAboutTimes) t[2] += 1.5;  // 1.9 s for the key frame at 0.4 s
    Bytes props;
    amfName(&props, "keyframes");
    props.push_back(3);
    amfName(&props, "times");
    amfArray(&props, laterTimes ? std::vector<double>(t.begin(), t.begin() + 2) : t);
    amfName(&props, "filepositions");
    amfArray(&props, laterTimes ? std::vector<double>(fp.begin(), fp.begin() + 2) : fp);
    props.insert(props.end(), {0, 0, 9});
    FlvBuilder b;
    b.tag(18, 0, metaTag(props));
    if (laterTimes) {
      // A second script tag with a longer `times` array alone.
      Bytes more;
      amfName(&more, "keyframes");
      more.push_back(3);
      amfName(&more, "times");
      amfArray(&more, std::vector<double>(50, 0.1));
      more.insert(more.end(), {0, 0, 9});
      b.tag(18, 0, metaTag(more));
    }
    return b;
  };
  size_t head = build(0).bytes.size() - 13;
  FlvBuilder b = build(head);
  b.bytes.insert(b.bytes.end(), d.begin() + 13, d.end());
  return b.bytes;
}

TEST_F(FlvDmxTest, KeyFrameIndexSetsTheSeekMode) {
  struct Case {
    int entries;
    uint32_t mode;
  } cases[] = {{0, FLVD_SEEK_ESTIMATE}, {1, FLVD_SEEK_NONE}, {4, FLVD_SEEK_INDEX}};
  for (const Case& c : cases) {
    ASSERT_EQ(openBytes(indexedFile({}, c.entries)), 0) << c.entries;
    EXPECT_EQ(result_.file->seekMode, c.mode) << c.entries;
    if (c.mode == FLVD_SEEK_NONE) {
      EXPECT_EQ(seek(100, 0), FLVD_RESULT_FAILED);
      EXPECT_EQ(lastError(), FLVD_ERR_NOT_SEEKABLE);
    }
    close();
  }
}

TEST_F(FlvDmxTest, IndexSeeksLandOnKeyFramesInEveryMode) {
  for (uint32_t flags : {0u, uint32_t(FLVD_OPEN_MEMORY_INDEX), uint32_t(FLVD_OPEN_PROGRESSIVE)}) {
    ASSERT_EQ(openBytes(indexedFile({}, 4)), 0);
    ASSERT_EQ(result_.file->seekMode, uint32_t(FLVD_SEEK_INDEX));
    close();
    ASSERT_EQ(open(path_, flags), 0) << flags;
    int32_t landed = -1;
    Frame f;
    EXPECT_EQ(seek(300, FLVD_SEEK_BACKWARD, &landed), 0) << flags;
    EXPECT_EQ(landed, 200);
    ASSERT_EQ(read(&f), 0);
    EXPECT_EQ(f.timeMs, 200);
    EXPECT_EQ(f.kind, uint32_t(FLVD_KIND_VIDEO));
    EXPECT_EQ(seek(300, FLVD_SEEK_FORWARD, &landed), 0) << flags;
    EXPECT_EQ(landed, 400);
    EXPECT_EQ(seek(0, FLVD_SEEK_RELATIVE, &landed), 0);
    EXPECT_EQ(landed, 400) << "a relative seek of 0 answers the current time";
    ASSERT_EQ(read(&f), 0);
    EXPECT_EQ(f.timeMs, 400);
    EXPECT_EQ(seek(700, FLVD_SEEK_FORWARD, &landed), FLVD_RESULT_FAILED) << "past the last entry";
    ASSERT_EQ(read(&f), 0) << "a failed seek leaves the handle where it was";
    EXPECT_GT(f.timeMs, 400);
    EXPECT_EQ(seek(0, 0, &landed), 0);
    EXPECT_EQ(landed, 0);
    ASSERT_EQ(read(&f), 0);
    EXPECT_EQ(f.timeMs, 0);
    close();
  }
}

// Index times that fall short of their tags' times (seconds cut down to
// whole ms, or counted from a later origin): a seek to a key frame's own time
// still lands on it, the last one forwards included; past it, it fails.
TEST_F(FlvDmxTest, IndexTimesShortOfTheirTagsStillReachEveryKeyFrame) {
  for (uint32_t flags : {0u, uint32_t(FLVD_OPEN_MEMORY_INDEX), uint32_t(FLVD_OPEN_PROGRESSIVE)}) {
    SCOPED_TRACE(flags);
    ASSERT_EQ(openBytes(indexedFile({0, 0.1999, 0.3999, 0.5999}, 4)), 0);
    close();
    ASSERT_EQ(open(path_, flags), 0);
    for (int32_t key : {200, 400, 600}) {
      for (uint32_t direction : {uint32_t(FLVD_SEEK_FORWARD), uint32_t(FLVD_SEEK_BACKWARD)}) {
        SCOPED_TRACE(std::to_string(key) + (direction == FLVD_SEEK_FORWARD ? " forwards" : " backwards"));
        int32_t landed = -1;
        EXPECT_EQ(seek(key, direction, &landed), 0);
        EXPECT_EQ(landed, key);
        Frame f;
        ASSERT_EQ(read(&f), 0);
        EXPECT_EQ(f.timeMs, key);
        EXPECT_EQ(f.kind, uint32_t(FLVD_KIND_VIDEO));
      }
    }
    EXPECT_EQ(seek(601, FLVD_SEEK_FORWARD), FLVD_RESULT_FAILED) << "past the last key frame";
    close();
  }
}

TEST_F(FlvDmxTest, IndexEntryFarFromItsTagFailsAndPutsTheHandleBack) {
  ASSERT_EQ(openBytes(indexedFile({}, 4, true), FLVD_OPEN_MEMORY_INDEX), 0);
  Frame f;
  ASSERT_EQ(read(&f), 0);
  ASSERT_EQ(read(&f), 0);
  int32_t before = f.timeMs;
  EXPECT_EQ(seek(1900, FLVD_SEEK_BACKWARD), FLVD_RESULT_FAILED);
  EXPECT_EQ(lastError(), FLVD_ERR_SEEK_WALK);
  ASSERT_EQ(read(&f), 0);
  EXPECT_GT(f.timeMs, before);
  EXPECT_LE(f.timeMs, before + 40);
}

TEST_F(FlvDmxTest, ALaterTimesArrayNeverOutrunsTheFilePositions) {
  ASSERT_EQ(openBytes(indexedFile({}, 4, false, true), FLVD_OPEN_MEMORY_INDEX), 0);
  int32_t landed = -1;
  // The later `times` holds 50 entries of 0.1 s, the file positions two: a
  // backward seek past them takes the last entry both arrays have.
  EXPECT_EQ(seek(450, FLVD_SEEK_BACKWARD, &landed), 0);
  EXPECT_EQ(landed, 200);
  EXPECT_EQ(seek(450, FLVD_SEEK_FORWARD, &landed), FLVD_RESULT_FAILED);
}

TEST_F(FlvDmxTest, SeeksBeyondTheEnd) {
  ASSERT_EQ(openBytes(smallFile().bytes), 0);
  int32_t last = int32_t(result_.file->durationMs);
  EXPECT_EQ(seek(last + 500, 0), FLVD_RESULT_END);
  EXPECT_EQ(lastError(), FLVD_ERR_BEYOND_END);
  int32_t landed = -1;
  EXPECT_EQ(seek(last + 500, FLVD_SEEK_END_AT_LAST, &landed), 0);
  EXPECT_EQ(landed, 600) << "the last key frame before the end";
  Frame f;
  ASSERT_EQ(read(&f), 0);
  EXPECT_EQ(f.timeMs, 600);
  EXPECT_EQ(seek(last + 500, FLVD_SEEK_END_AT_EOF), 0);
  EXPECT_EQ(read(&f), FLVD_RESULT_END);
}

TEST_F(FlvDmxTest, MetadataDamageStaysInsideTheScriptTag) {
  struct Case {
    const char* what;
    Bytes props;
  } cases[3];
  // Objects nested far deeper than any real file.
  cases[0].what = "deep nesting";
  amfName(&cases[0].props, "a");
  for (int i = 0; i < 20000; ++i) {
    cases[0].props.push_back(3);
    amfName(&cases[0].props, "a");
  }
  cases[1].what = "huge array count";
  amfName(&cases[1].props, "keyframes");
  cases[1].props.push_back(3);
  amfName(&cases[1].props, "times");
  cases[1].props.push_back(10);
  put32(&cases[1].props, 0xFFFFFFFFu);
  amfNumber(&cases[1].props, 1);
  cases[2].what = "cut inside a number";
  amfName(&cases[2].props, "width");
  cases[2].props.insert(cases[2].props.end(), {0, 0x40, 0x84});
  for (const Case& c : cases) {
    for (uint32_t flags : {0u, uint32_t(FLVD_OPEN_MEMORY_INDEX)}) {
      FlvBuilder b;
      b.tag(18, 0, metaTag(c.props));
      FlvBuilder tail = smallFile(5, 5);
      b.bytes.insert(b.bytes.end(), tail.bytes.begin() + 13, tail.bytes.end());
      ASSERT_EQ(openBytes(b.bytes, flags), 0) << c.what;
      EXPECT_EQ(readAll().size(), 10u) << c.what;
      close();
    }
  }
}

void* failIndexArrays(size_t size) {
  // The index arrays of indexedFile(.., 4): 4 x 4 and 4 x 8 bytes.
  if (size == 16 || size == 32) return nullptr;
  return mediahost::hostMalloc(size);
}

TEST_F(FlvDmxTest, FailedIndexAllocationLeavesTheIndexInTheFile) {
  malloc_ = failIndexArrays;
  ASSERT_EQ(openBytes(indexedFile({}, 4), FLVD_OPEN_MEMORY_INDEX), 0);
  int32_t landed = -1;
  EXPECT_EQ(seek(300, FLVD_SEEK_BACKWARD, &landed), 0);
  EXPECT_EQ(landed, 200);
  EXPECT_EQ(seek(500, FLVD_SEEK_FORWARD, &landed), 0);
  EXPECT_EQ(landed, 600);
}

}  // namespace
