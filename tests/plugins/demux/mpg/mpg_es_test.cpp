// Elementary-stream header decoders, the key-frame test and the byte reader
// of the program-stream demuxer, through the library's exported functions.
#include "mpg_internal.h"
#include "mpg_test_support.h"

using namespace mpgtest;

namespace {

// Bits most significant first, with Exp-Golomb codes.
struct BitWriter {
  std::vector<uint8_t> bytes;
  int used = 8;
  void bit(uint32_t b) {
    if (used == 8) {
      bytes.push_back(0);
      used = 0;
    }
    bytes.back() |= uint8_t((b & 1) << (7 - used++));
  }
  void bits(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) bit(v >> i);
  }
  void ue(uint32_t v) {
    uint32_t x = v + 1;
    int n = 0;
    while ((x >> n) > 1) ++n;
    bits(0, n);
    bits(x, n + 1);
  }
  void se(int32_t v) { ue(v > 0 ? uint32_t(2 * v - 1) : uint32_t(-2 * v)); }
};

std::vector<uint8_t> workBuffer(std::vector<uint8_t> b) {
  b.resize(MPG_HEADER_BYTES, 0);
  return b;
}

// The SPS from the reference frame count on: one reference frame, 64x48
// (4x3 macroblocks), frames only, no cropping, no VUI; as a work buffer.
std::vector<uint8_t> spsEnd(BitWriter* w) {
  w->ue(1);
  w->bit(0);
  w->ue(3);
  w->ue(2);
  w->bit(1);
  w->bit(1);
  w->bit(0);
  w->bit(0);
  std::vector<uint8_t> b = {0, 0, 1, 0x67};
  b.insert(b.end(), w->bytes.begin(), w->bytes.end());
  return workBuffer(b);
}

// A baseline SPS of 64x48 with picture-order type 1 and `cycle` offsets.
std::vector<uint8_t> avcSps(int profile, int constraints, uint32_t cycle) {
  BitWriter w;
  w.bits(profile, 8);
  w.bits(constraints, 8);
  w.bits(30, 8);
  w.ue(0);
  w.ue(0);
  w.ue(1);
  w.bit(0);
  w.se(0);
  w.se(0);
  w.ue(cycle);
  for (uint32_t i = 0; i < cycle && i < 40; ++i) w.se(1);
  return spsEnd(&w);
}

// A high-profile SPS of 64x48 whose first scaling list codes the delta
// 2^31 - 1 (the longest code the decoder reads: 31 zeros, then 31 bits)
// after the start scale 8, then -7 back to a scale of 0 (end of the list).
std::vector<uint8_t> avcSpsDamagedScaling() {
  BitWriter w;
  w.bits(100, 8);
  w.bits(0, 8);
  w.bits(30, 8);
  w.ue(0);
  w.ue(1);  // chroma 4:2:0
  w.ue(0);
  w.ue(0);
  w.bit(0);
  w.bit(1);  // scaling matrix present
  w.bit(1);  // list 0 present
  w.bits(0, 31);
  w.bits(0x7FFFFFFE, 31);  // code number 2^32 - 3: delta +(2^31 - 1)
  w.se(-7);
  for (int i = 1; i < 8; ++i) w.bit(0);
  w.ue(0);
  w.ue(0);  // picture-order type 0
  w.ue(0);
  return spsEnd(&w);
}

// The first `code` start code of `file` with the bytes after it.
std::vector<uint8_t> headerFrom(const std::string& file, uint8_t code) {
  std::vector<uint8_t> d = readFile(media(file));
  for (size_t i = 0; i + 100 < d.size(); ++i)
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == code)
      return workBuffer(std::vector<uint8_t>(d.begin() + long(i), d.begin() + long(i) + 100));
  return {};
}

using HeaderTest = MpgTest;

TEST_F(HeaderTest, VideoSequenceHeaders) {
  auto decode = fn<int32_t (*)(MpgVideoEntry*, const uint8_t*)>("MPG_DEC_MPG_DecodeSequenceHeader");
  std::vector<uint8_t> mpeg2 = workBuffer(mpeg2Video(1));
  std::vector<uint8_t> no_marker = mpeg2;
  no_marker[10] &= ~0x20;
  std::vector<uint8_t> no_width = mpeg2;
  no_width[4] = 0;
  no_width[5] &= 0x0F;
  struct Case {
    const char* name;
    std::vector<uint8_t> buffer;
    int32_t result;
    uint32_t codec, width, height, rate;
  } cases[] = {
      {"MPEG-2", mpeg2, MPG_OK, MPG_VIDEO_MPEG, 64, 48, 25000},
      {"marker bit cleared", no_marker, MPG_ERR_NO_END_COMMAND, 0, 0, 0, 0},
      {"no width", no_width, MPG_ERR_NO_END_COMMAND, 0, 0, 0, 0},
      {"H.264 from x264", headerFrom("h264_mp2.vob", 0x67), MPG_OK, MPG_VIDEO_AVC1, 320, 240, 25000},
      {"MPEG-4 visual", headerFrom("mpeg4_mp2.vob", 0xB0), MPG_OK, MPG_VIDEO_MP4V, 320, 240, 25000},
      {"H.264 picture-order cycle", avcSps(66, 0, 2), MPG_OK, MPG_VIDEO_AVC1, 64, 48, 0},
      {"H.264 cycle beyond 255", avcSps(66, 0, 1000), MPG_ERR_NO_END_COMMAND, 0, 0, 0, 0},
      {"H.264 profile 83", avcSps(83, 0, 2), MPG_ERR_PROFILE, 0, 0, 0, 0},
      {"H.264 constraint bits", avcSps(66, 0x01, 2), MPG_ERR_PROFILE, 0, 0, 0, 0},
      {"H.264 damaged scaling delta", avcSpsDamagedScaling(), MPG_OK, MPG_VIDEO_AVC1, 64, 48, 0},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.buffer.size(), size_t(MPG_HEADER_BYTES)) << c.name;
    MpgVideoEntry e{};
    EXPECT_EQ(decode(&e, c.buffer.data()), c.result) << c.name;
    if (c.result != MPG_OK) continue;
    EXPECT_EQ(e.codec, c.codec) << c.name;
    EXPECT_EQ(e.width, c.width) << c.name;
    EXPECT_EQ(e.height, c.height) << c.name;
    EXPECT_EQ(e.frame_rate, c.rate) << c.name;
  }
}

TEST_F(HeaderTest, AudioHeaders) {
  auto mpeg = fn<int32_t (*)(MpgAudioEntry*, const uint8_t*)>("MPG_DEC_MPG_DecodeADTSHeader");
  auto vob = fn<int32_t (*)(MpgAudioEntry*, const uint8_t*)>("MPG_DEC_MPG_DecodeVOBAudioHeader");
  struct Case {
    const char* name;
    bool dvd;
    std::vector<uint8_t> buffer;
    int32_t result;
    uint32_t codec, rate, channels, length;
  } cases[] = {
      {"ADTS index 0", false, {0xFF, 0xF1, 0x40 | (0 << 2), 0x80, 0x2E, 0x7F}, MPG_OK, MPG_AUDIO_AAC, 96000, 2, 371},
      {"ADTS index 15", false, {0xFF, 0xF1, 0x40 | (15 << 2), 0x80, 0x2E, 0x7F}, MPG_ERR_NO_END_COMMAND, 0, 0, 0, 0},
      {"layer II 48 kHz", false, {0xFF, 0xFD, 0x84, 0x00}, MPG_OK, MPG_AUDIO_MP2, 48000, 2, 384},
      {"layer II padded mono", false, {0xFF, 0xFD, 0x86, 0xC0}, MPG_OK, MPG_AUDIO_MP2, 48000, 1, 385},
      {"MPEG-2 layer III 24 kHz", false, {0xFF, 0xF3, 0x84, 0x00}, MPG_OK, MPG_AUDIO_MP3, 24000, 2, 192},
      {"reserved layer", false, {0xFF, 0xF9, 0x84, 0x00}, MPG_OK, MPG_AUDIO_OTHER, 0, 0, 0},
      {"free bit rate", false, {0xFF, 0xFD, 0x04, 0x00}, MPG_ERR_NO_END_COMMAND, 0, 0, 0, 0},
      {"no sync", false, {0xFE, 0xFD, 0x84, 0x00}, MPG_ERR_NO_END_COMMAND, 0, 0, 0, 0},
      {"AC-3 44.1 kHz code 2", true, {0x0B, 0x77, 0, 0, 0x42, 0x40, 0x40}, MPG_OK, MPG_AUDIO_AC3, 44100, 2, 174},
      {"AC-3 44.1 kHz code 3", true, {0x0B, 0x77, 0, 0, 0x43, 0x40, 0xE0}, MPG_OK, MPG_AUDIO_AC3, 44100, 5, 176},
      {"AC-3 reserved rate", true, {0x0B, 0x77, 0, 0, 0xC2, 0x40, 0x40}, MPG_ERR_NO_END_COMMAND, 0, 0, 0, 0},
      // FTYPE 1, SHORT 31, NBLKS 15, FSIZE 1005, AMODE 9, SFREQ 13, RATE 15.
      {"DTS", true, {0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C, 0x3E, 0xD2, 0x75, 0xE0}, MPG_OK, MPG_AUDIO_DTS, 48000, 5,
       1006},
      {"LPCM", true, {0xA0, 7, 0, 4, 0, 0x01}, MPG_OK, MPG_AUDIO_LPCM, 48000, 2, 19200},
      {"unknown", true, {0x55, 0x77}, MPG_ERR_NO_END_COMMAND, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> b = workBuffer(c.buffer);
    MpgAudioEntry e{};
    EXPECT_EQ((c.dvd ? vob : mpeg)(&e, b.data()), c.result) << c.name;
    if (c.result != MPG_OK) continue;
    EXPECT_EQ(e.codec, c.codec) << c.name;
    EXPECT_EQ(e.sample_rate, c.rate) << c.name;
    EXPECT_EQ(e.channels, c.channels) << c.name;
    EXPECT_EQ(e.frame_length, c.length) << c.name;
  }
}

TEST_F(HeaderTest, KeyFramesByCodec) {
  auto is_key = fn<int32_t (*)(const MpgContext*, const MpgFrame*)>("KVR_MPG_isKeyFrame");
  struct Case {
    const char* name;
    uint32_t codec;
    std::vector<uint8_t> payload;
    int32_t key;
  } cases[] = {
      {"B picture only", MPG_VIDEO_MPEG, mpeg2Video(3, 8, false), 0},
      {"P picture only", MPG_VIDEO_MPEG, mpeg2Video(2, 8, false), 0},
      {"I picture", MPG_VIDEO_MPEG, mpeg2Video(1, 8, false), 1},
      {"sequence header", MPG_VIDEO_MPEG, {0x55, 0, 0, 1, 0xB3, 0x04}, 1},
      {"intra VOP", MPG_VIDEO_MP4V, {0, 0, 1, 0xB6, 0x10, 0}, 1},
      {"predicted VOP", MPG_VIDEO_MP4V, {0, 0, 1, 0xB6, 0x50, 0}, 0},
      {"IDR slice", MPG_VIDEO_AVC1, {0, 0, 0, 1, 0x65, 0x88}, 1},
      {"non-IDR slice", MPG_VIDEO_AVC1, {0, 0, 0, 1, 0x41, 0x9A}, 0},
      {"unknown codec", 0, mpeg2Video(1, 8), 0},
  };
  for (const Case& c : cases) {
    MpgContext ctx{};
    ctx.video_codec = c.codec;
    MpgFrame f{};
    f.kind = MPG_KIND_VIDEO;
    f.data = const_cast<uint8_t*>(c.payload.data());
    f.length = uint32_t(c.payload.size());
    EXPECT_EQ(is_key(&ctx, &f), c.key) << c.name;
  }
}

// The open meets the damaged scaling list in a video packet and lists the
// stream all the same.
TEST_F(HeaderTest, DamagedScalingListInAnOpenedFileStillDescribesTheStream) {
  std::vector<uint8_t> sps = avcSpsDamagedScaling();
  sps.resize(40);
  PsBuilder b;
  b.pack(0);
  b.pes(0xE0, 90 * 40, sps);
  b.pes(0xC0, 90 * 40, mp2Audio());
  std::string path = file("scaling.vob", b.out);
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  ASSERT_EQ(s.info.video_count, 1u);
  EXPECT_EQ(s.info.video[0].codec, MPG_VIDEO_AVC1);
  EXPECT_EQ(s.info.video[0].width, 64u);
  EXPECT_EQ(s.info.video[0].height, 48u);
}

// ---- audio frames ----

// Audio bytes for the ring: frames are recorded with their offsets.
struct AudioRing {
  std::vector<uint8_t> bytes;
  std::vector<std::pair<size_t, size_t>> frames;  // offset, length
  AudioRing& junk(std::vector<uint8_t> b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
  AudioRing& frame(std::vector<uint8_t> header, size_t length) {
    frames.push_back({bytes.size(), length});
    return part(header, length);
  }
  // A frame whose end is not in the ring yet.
  AudioRing& part(std::vector<uint8_t> header, size_t length) {
    header.resize(length, uint8_t(0x30 + frames.size()));
    return junk(header);
  }
};

TEST_F(HeaderTest, AudioFinderCutsWholeFramesOfTheChosenStream) {
  auto find = fn<int32_t (*)(MpgContext*, MpgFrame*)>("KVR_MPG_FindOneFrameAudio");
  const std::vector<uint8_t> mp2 = {0xFF, 0xFD, 0x84, 0x00};        // 48 kHz 128 kbit/s: 384 bytes
  const std::vector<uint8_t> mp2NoCrc = {0xFF, 0xFC, 0x86, 0x00};   // protected and padded: 385
  const std::vector<uint8_t> ac3 = {0x0B, 0x77, 0, 0, 0x43, 0x40, 0xE0, 0};
  const std::vector<uint8_t> dts = {0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C, 0x3E, 0xD2, 0x75, 0xE0};
  std::vector<uint8_t> dtsTiny = dts;  // FSIZE 2: shorter than its own header
  dtsTiny[5] = 0;
  dtsTiny[6] = 0;
  dtsTiny[7] = 0x22;
  const std::vector<uint8_t> aac = {0xFF, 0xF1, 0x4C, 0x80, 0x2E, 0x7F, 0xFC};
  struct Case {
    const char* name;
    uint32_t codec, header;
    AudioRing ring;
    int32_t last;  // the result after the listed frames
  } cases[] = {
      {"layer II behind other headers and junk", MPG_AUDIO_MP2, 0xFFFD,
       AudioRing().junk({0x11, 0xFF, 0xFB, 0x90, 0x00, 0x22}).frame(mp2, 384).frame(mp2NoCrc, 385).part(mp2, 100),
       MPG_ERR_INCOMPLETE},
      {"MPEG-2 layer III at 24 kHz", MPG_AUDIO_MP3, 0xFFF3,
       AudioRing().frame({0xFF, 0xF3, 0x84, 0x00}, 192).frame({0xFF, 0xF3, 0x84, 0x00}, 192), MPG_ERR_INCOMPLETE},
      {"AC-3 44.1 kHz code 3 and a reserved rate", MPG_AUDIO_AC3, 0,
       AudioRing().frame(ac3, 176).junk({0x0B, 0x77, 0, 0, 0xC3, 0x40, 0xE0, 0, 9}), MPG_ERR_INCOMPLETE},
      {"DTS after a sync word of a too short frame", MPG_AUDIO_DTS, 0,
       AudioRing().junk(dtsTiny).frame(dts, 1006), MPG_ERR_INCOMPLETE},
      {"ADTS", MPG_AUDIO_AAC, 0xFFF1, AudioRing().junk({0xFF, 0xF9, 0, 0}).frame(aac, 371).part(aac, 7),
       MPG_ERR_INCOMPLETE},
      {"a frame not yet whole", MPG_AUDIO_MP2, 0xFFFD, AudioRing().junk({1, 2, 3}).part(mp2, 383),
       MPG_ERR_INCOMPLETE},
      {"reserved MPEG version", MPG_AUDIO_MP2, 0xFFED, AudioRing().junk({0xFF, 0xED, 0x84, 0, 0, 0, 0, 0}),
       MPG_ERR_AUDIO_VERSION},
      {"linear PCM has no headers", MPG_AUDIO_LPCM, 0, AudioRing().junk(std::vector<uint8_t>(64, 0)),
       MPG_ERR_NO_END_COMMAND},
  };
  for (Case& c : cases) {
    MpgContext ctx{};
    ctx.host = openRecord("").host;
    ctx.audio_codec = c.codec;
    ctx.audio_header = c.header;
    ctx.audio_id = 0xC0;
    ctx.last_audio_pts = 90 * 1500;
    std::vector<uint8_t> ring = c.ring.bytes;
    ring.resize(MPG_AUDIO_RING_SIZE);
    ctx.aring = {ring.data(), MPG_AUDIO_RING_SIZE, 0, uint32_t(c.ring.bytes.size())};
    MpgFrame f{};
    for (const auto& expected : c.ring.frames) {
      ASSERT_EQ(find(&ctx, &f), MPG_OK) << c.name << " at " << expected.first;
      EXPECT_EQ(f.length, expected.second) << c.name;
      EXPECT_TRUE(std::equal(f.data, f.data + f.length, c.ring.bytes.begin() + long(expected.first))) << c.name;
      EXPECT_EQ(f.kind, uint32_t(MPG_KIND_AUDIO)) << c.name;
      EXPECT_EQ(f.time_ms, 1500) << c.name;
      EXPECT_EQ(f.stream_id, 0xC0u) << c.name;
      EXPECT_EQ(ctx.aring.rd, expected.first + expected.second) << c.name;
    }
    EXPECT_EQ(find(&ctx, &f), c.last) << c.name;
    if (ctx.frame_buf) ctx.host.release(ctx.frame_buf);
  }
}

TEST_F(HeaderTest, AudioFinderKeepsAnIncompleteFrameFromItsHeaderOn) {
  auto find = fn<int32_t (*)(MpgContext*, MpgFrame*)>("KVR_MPG_FindOneFrameAudio");
  AudioRing r = AudioRing().junk({9, 9, 9, 9, 9}).part({0xFF, 0xFD, 0x84, 0x00}, 200);
  std::vector<uint8_t> ring = r.bytes;
  ring.resize(MPG_AUDIO_RING_SIZE);
  MpgContext ctx{};
  ctx.host = openRecord("").host;
  ctx.audio_codec = MPG_AUDIO_MP2;
  ctx.audio_header = 0xFFFD;
  ctx.aring = {ring.data(), MPG_AUDIO_RING_SIZE, 0, uint32_t(r.bytes.size())};
  MpgFrame f{};
  EXPECT_EQ(find(&ctx, &f), MPG_ERR_INCOMPLETE);
  EXPECT_EQ(ctx.aring.rd, 5u);
  // The rest of the frame arrives: it is cut from the kept header.
  std::fill(ring.begin() + long(r.bytes.size()), ring.begin() + 5 + 384, 0x44);
  ctx.aring.wr = 5 + 384;
  ASSERT_EQ(find(&ctx, &f), MPG_OK);
  EXPECT_EQ(f.length, 384u);
  EXPECT_EQ(f.data[0], 0xFF);
  EXPECT_EQ(f.data[383], 0x44);
  EXPECT_EQ(find(&ctx, &f), MPG_ERR_INCOMPLETE);
  ctx.host.release(ctx.frame_buf);
}

// The functions other libraries and tools look up by name.
TEST_F(HeaderTest, FindersNavigationReaderAndStartHookAreExported) {
  mediahost::Plugin* p = plugin_;
  for (const char* name : {"KVR_MPG_FindOneFrameAudio", "MPG_DEC_MPG2PS_DumpNavi", "common_init"})
    EXPECT_NE(p->symbol(name), nullptr) << name;
  EXPECT_EQ(fn<int32_t (*)()>("common_init")(), 0);
}

// ---- byte reader ----

struct Reader {
  MpgHostFunctions host;
  MpgByteReader r{};
};

TEST_F(HeaderTest, ByteReaderMovesWithinItsBlockWithoutTheFile) {
  using namespace mediahost;
  std::vector<uint8_t> bytes(100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i);
  bytes[40] = bytes[41] = bytes[42] = bytes[43] = 0xFF;
  std::string path = file("r.bin", bytes);
  auto open = fn<int32_t (*)(MpgByteReader*, uint32_t, void*, const MpgHostFunctions*)>("open_bitstream");
  auto close = fn<int32_t (*)(MpgByteReader*)>("close_bitstream");
  auto seek = fn<int32_t (*)(MpgByteReader*, kvr_u64)>("bs_fseek");
  auto pos = fn<kvr_u64 (*)(const MpgByteReader*)>("bs_file_pos");
  auto be16 = fn<int32_t (*)(MpgByteReader*, uint32_t*)>("bs_read_be16");
  auto be32 = fn<int32_t (*)(MpgByteReader*, uint32_t*)>("bs_read_be32");
  auto read = fn<int32_t (*)(MpgByteReader*, uint8_t*, int32_t)>("bs_read_bytes");
  Reader rd;
  rd.host = openRecord(path.c_str()).host;
  ASSERT_EQ(open(&rd.r, 16, hostFopen(path.c_str(), "rb"), &rd.host), MPG_OK);
  // Across block boundaries.
  uint8_t got[40];
  ASSERT_EQ(read(&rd.r, got, 40), 40);
  EXPECT_EQ(std::vector<uint8_t>(got, got + 40), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 40));
  // An all-ones word is data, not the end of the file.
  uint32_t v = 0;
  ASSERT_EQ(be32(&rd.r, &v), MPG_OK);
  EXPECT_EQ(v, 0xFFFFFFFFu);
  // Inside the current block (32..47) no file seek is made: a failing seek
  // would show.
  Faults f;
  f.failSeekAt = 1;
  Host::get().setFaults(f);
  EXPECT_EQ(seek(&rd.r, 45), MPG_OK);
  EXPECT_EQ(pos(&rd.r), 45u);
  ASSERT_EQ(be16(&rd.r, &v), MPG_OK);
  EXPECT_EQ(v, 45u << 8 | 46u);
  // The block's first byte is read again from the file.
  EXPECT_LT(seek(&rd.r, 45), 0);
  Host::get().setFaults(Faults());
  ASSERT_EQ(seek(&rd.r, 99), MPG_OK);
  EXPECT_EQ(be16(&rd.r, &v), MPG_ERR_END);
  EXPECT_EQ(close(&rd.r), 0);
}

TEST_F(HeaderTest, ReaderHelpersNoOperationUses) {
  using namespace mediahost;
  // swap_memcpy: pairs swapped, an odd count rounded up, in place too.
  auto swap = fn<int32_t (*)(uint8_t*, const uint8_t*, uint32_t)>("swap_memcpy");
  uint8_t src[6] = {1, 2, 3, 4, 5, 6}, dst[6] = {};
  EXPECT_EQ(swap(dst, src, 3), 0);
  EXPECT_EQ(std::vector<uint8_t>(dst, dst + 6), (std::vector<uint8_t>{2, 1, 4, 3, 0, 0}));
  swap(src, src, 6);
  EXPECT_EQ(std::vector<uint8_t>(src, src + 6), (std::vector<uint8_t>{2, 1, 4, 3, 6, 5}));

  // A stream: a pack, an audio PES, a video PES with a PTS of 2 s, one without.
  PsBuilder b;
  b.pack(0);
  b.pes(0xC0, 90 * 100, mp2Audio(20));
  b.pes(0xE0, 90 * 2000, mpeg2Video(1, 4));
  b.pack(90);
  b.pes(0xE0, -1, mpeg2Video(2, 4, false));
  std::string path = file("check.mpg", b.out);
  auto open = fn<int32_t (*)(MpgByteReader*, uint32_t, void*, const MpgHostFunctions*)>("open_bitstream");
  auto close = fn<int32_t (*)(MpgByteReader*)>("close_bitstream");
  auto check = fn<int32_t (*)(MpgByteReader*, int32_t)>("MPG_Check_PTS");
  auto show = fn<int32_t (*)(MpgByteReader*, uint8_t*, int32_t)>("bs_show_bytes");
  auto be64 = fn<int32_t (*)(MpgByteReader*, kvr_u64*)>("bs_read_be64");
  auto le64 = fn<int32_t (*)(MpgByteReader*, kvr_u64*)>("bs_read_le64");
  auto seek = fn<int32_t (*)(MpgByteReader*, kvr_u64)>("bs_fseek");
  MpgHostFunctions host = openRecord(path.c_str()).host;
  MpgByteReader r{};
  ASSERT_EQ(open(&r, 16, hostFopen(path.c_str(), "rb"), &host), MPG_OK);
  EXPECT_EQ(check(&r, 1), 2000);
  EXPECT_EQ(uint32_t(check(&r, 1)), MPG_CHECK_NO_PTS);
  EXPECT_EQ(check(&r, 1), MPG_ERR_END);
  // Shown bytes across the block's end stay to be read.
  ASSERT_EQ(seek(&r, 10), MPG_OK);
  uint8_t shown[12];
  ASSERT_EQ(show(&r, shown, 12), 12);
  kvr_u64 v = 0;
  ASSERT_EQ(be64(&r, &v), MPG_OK);
  EXPECT_EQ(v, uint64_t(shown[0]) << 56 | uint64_t(shown[1]) << 48 | uint64_t(shown[2]) << 40 |
                   uint64_t(shown[3]) << 32 | uint64_t(shown[4]) << 24 | uint64_t(shown[5]) << 16 |
                   uint64_t(shown[6]) << 8 | shown[7]);
  EXPECT_EQ(std::vector<uint8_t>(shown, shown + 12), std::vector<uint8_t>(b.out.begin() + 10, b.out.begin() + 22));
  ASSERT_EQ(le64(&r, &v), MPG_OK);
  EXPECT_EQ(v & 0xFFFFFFFF, uint64_t(b.out[21]) << 24 | uint64_t(b.out[20]) << 16 | uint64_t(b.out[19]) << 8 | b.out[18]);
  EXPECT_EQ(close(&r), 0);
}

}  // namespace
