// The FLV library's buffered file I/O and bit reader, and its codec header
// parsers, through their exported functions.
#include "flv_fio.h"
#include "flv_test_support.h"

using namespace flvtest;

namespace {

struct Fio {
  decltype(&__FLV_DMX__fioSetFunc) setFunc = sym<decltype(setFunc)>("__FLV_DMX__fioSetFunc");
  decltype(&__FLV_DMX__fioOpen) open = sym<decltype(open)>("__FLV_DMX__fioOpen");
  decltype(&__FLV_DMX__fioClose) close = sym<decltype(close)>("__FLV_DMX__fioClose");
  decltype(&__FLV_DMX__fioRead) read = sym<decltype(read)>("__FLV_DMX__fioRead");
  decltype(&__FLV_DMX__fioSeek) seek = sym<decltype(seek)>("__FLV_DMX__fioSeek");
  decltype(&__FLV_DMX__fioTell) tell = sym<decltype(tell)>("__FLV_DMX__fioTell");
  decltype(&__FLV_DMX__fioShowBytesByPtr) show = sym<decltype(show)>("__FLV_DMX__fioShowBytesByPtr");
  decltype(&__FLV_DMX__fioSetCacheReadSize) setFill =
      sym<decltype(setFill)>("__FLV_DMX__fioSetCacheReadSize");
  decltype(&__FLV_DMX__fioGetCacheReadSize) getFill =
      sym<decltype(getFill)>("__FLV_DMX__fioGetCacheReadSize");
  decltype(&__FLV_DMX__bitInit) bitInit = sym<decltype(bitInit)>("__FLV_DMX__bitInit");
  decltype(&__FLV_DMX__bitShowUBits) showBits = sym<decltype(showBits)>("__FLV_DMX__bitShowUBits");
  decltype(&__FLV_DMX__bitGetUBits) getBits = sym<decltype(getBits)>("__FLV_DMX__bitGetUBits");
  decltype(&__FLV_DMX__bitGetSBits) getSBits = sym<decltype(getSBits)>("__FLV_DMX__bitGetSBits");
  decltype(&__FLV_DMX__bitSkipBits) skipBits = sym<decltype(skipBits)>("__FLV_DMX__bitSkipBits");
  decltype(&__FLV_DMX__bitSkipBitsLong) skipLong =
      sym<decltype(skipLong)>("__FLV_DMX__bitSkipBitsLong");

  Fio() {
    const KvrHostServices& h = mediahost::Host::get().services();
    void* table[17] = {(void*)h.malloc_fn, (void*)h.realloc_fn, (void*)h.free_fn, h.reserved,
                       (void*)h.memcpy_fn, (void*)h.memmove_fn, (void*)h.memset_fn,
                       (void*)h.fopen_fn,  (void*)h.fclose_fn,  (void*)h.fread_fn,
                       (void*)h.fwrite_fn, (void*)h.fseek_fn,   (void*)h.ftell_fn,
                       (void*)h.feof_fn,   (void*)h.fflush_fn,  (void*)h.fseek64_fn,
                       (void*)h.ftell64_fn};
    setFunc(table);
  }
};

class FlvFioTest : public ::testing::Test {
 protected:
  void SetUp() override { mediahost::Host::get().reset(); }
  void TearDown() override { EXPECT_EQ(mediahost::Host::get().leakReport(), ""); }
  FlvFioHandle* openBytes(const Bytes& bytes, uint32_t flags = 0x210, uint32_t cache = 4096) {
    path_ = dir_.file("data.bin");
    writeFile(path_, bytes);
    return fio_.open(path_.c_str(), flags, cache, 0, 0);
  }
  TempDir dir_;
  std::string path_;
  Fio fio_;
};

TEST_F(FlvFioTest, OpenTakesTheCacheAsGivenWithTheFillSizeAtTheCacheSize) {
  for (uint32_t flags : {0x210u, 0x1210u, 0x2210u}) {
    FlvFioHandle* h = openBytes(Bytes(100, 1), flags, flags == 0x210 ? 65536 : 4096);
    ASSERT_NE(h, nullptr) << std::hex << flags;
    EXPECT_EQ(h->cacheSize, flags == 0x210 ? 65536u : 4096u);
    EXPECT_EQ(fio_.getFill(h), h->cacheSize);
    EXPECT_EQ(h->extra, 0u) << "flag 0x2000 asks for no extra area here";
    EXPECT_EQ(fio_.setFill(h, 16), 1);
    EXPECT_EQ(fio_.setFill(h, 0), 1);
    EXPECT_EQ(fio_.getFill(h), h->cacheSize);
    fio_.close(h);
  }
  EXPECT_EQ(openBytes(Bytes(10), 0x310), nullptr) << "'t' and 'b' together";
}

TEST_F(FlvFioTest, BitReadsShareTheFilePositionWithByteReads) {
  FlvFioHandle* h = openBytes({0x46, 0x4C, 0x56, 0x01, 0x05, 0xF0, 0x12, 0x34, 0x56, 0x78, 0x9A});
  ASSERT_NE(h, nullptr);
  fio_.bitInit(h);
  EXPECT_EQ(fio_.showBits(h, 24), 0x464C56u);
  EXPECT_EQ(fio_.tell(h), 0);
  fio_.skipBits(h, 32);
  EXPECT_EQ(fio_.tell(h), 4);
  EXPECT_EQ(fio_.getBits(h, 8), 5u);
  EXPECT_EQ(fio_.getSBits(h, 4), 15u) << "not sign-extended";
  EXPECT_EQ(fio_.tell(h), 6);
  EXPECT_EQ(fio_.getBits(h, 4), 0u);
  EXPECT_EQ(fio_.tell(h), 6) << "the second half of a byte moves nothing";
  uint8_t b = 0;
  ASSERT_EQ(fio_.read(&b, 1, 1, h), 1u);
  EXPECT_EQ(b, 0x12);
  EXPECT_EQ(h->validBits, 0) << "a byte read drops the window";
  fio_.bitInit(h);
  EXPECT_EQ(fio_.getBits(h, 8), 0x34u);
  // A seek inside the cached bytes drops the window too.
  fio_.seek(h, 1, KVR_SEEK_CUR);
  EXPECT_EQ(h->validBits, 0);
  fio_.close(h);
}

TEST_F(FlvFioTest, LongSkipAndShortFilesReadZeros) {
  Bytes data(20);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 17);
  FlvFioHandle* h = openBytes(data);
  ASSERT_NE(h, nullptr);
  fio_.bitInit(h);
  fio_.skipLong(h, 100);
  EXPECT_EQ(fio_.tell(h), 13);
  EXPECT_EQ(fio_.getBits(h, 4), uint32_t(data[12] & 15u));
  fio_.close(h);

  h = openBytes({0xAB, 0xCD, 0xEF});
  ASSERT_NE(h, nullptr);
  fio_.bitInit(h);
  EXPECT_EQ(fio_.getBits(h, 24), 0xABCDEFu);
  EXPECT_EQ(fio_.getBits(h, 32), 0u);
  fio_.close(h);
}

// --- codec headers ---

using AudioFn = decltype(&FLVD_ParseAudioHeader);
using VideoFn = decltype(&FLVD_ParseVideoHeader);
using AvcCFn = decltype(&FLVD_GetAVCSeqHeaderFromAvcC);

struct AudioCase {
  int32_t format;
  Bytes bytes;
  int32_t result;
  uint32_t rate, channels, codec, kbps;
};

TEST(FlvCodecHeaders, AudioHeaders) {
  auto parse = sym<AudioFn>("FLVD_ParseAudioHeader");
  const AudioCase cases[] = {
      {2, {0xFF, 0xFB, 0x90, 0x64}, 0, 44100, 2, 0x55, 128},
      {2, {0xFF, 0xF3, 0x48, 0xC4}, 0, 16000, 1, 0x55, 32},
      {14, {0x00, 0xFF, 0xFD, 0x84, 0x00}, 0, 48000, 2, 0x50, 128},       // Layer II, one byte in
      {2, {0xFF, 0xEB, 0x90, 0x64, 0xFF, 0xFB, 0x9C, 0xC0}, -1, 0, 0, 0, 0},  // version 1, then rate 3
      {2, {0xFF, 0xFB, 0x90}, -1, 0, 0, 0, 0},
      {10, {0x12, 0x10, 0x56, 0xE5}, 0, 44100, 2, 0, 0},
      {10, {0x10, 0x10}, 0, 96000, 2, 0, 0},
      {10, {0x12}, 0, 44100, 0, 0, 0},  // cut short: zero bits after it
      {11, {0xFF, 0xFB, 0x90, 0x64}, -1, 0, 0, 0, 0},
  };
  for (const AudioCase& c : cases) {
    FlvdAudioRecord rec{};
    Bytes exact = c.bytes;  // exactly sized, so a read beyond it is caught
    EXPECT_EQ(parse(c.format, exact.data(), int32_t(exact.size()), &rec), c.result) << c.format;
    EXPECT_EQ(rec.info.sampleRate, c.rate) << c.format;
    EXPECT_EQ(rec.info.channels, c.channels) << c.format;
    EXPECT_EQ(rec.info.codecId, c.codec) << c.format;
    EXPECT_EQ(rec.bitRateKbps, c.kbps) << c.format;
  }
}

struct VideoCase {
  const char* what;
  int32_t codec;
  Bytes bytes;
  int32_t result;
  uint32_t width, height;
};

TEST(FlvCodecHeaders, H263AndVp6Headers) {
  auto parse = sym<VideoFn>("FLVD_ParseVideoHeader");
  const VideoCase cases[] = {
      {"size code 4", 2, {0x00, 0x00, 0x80, 0x02, 0x00, 0x00, 0x00, 0x00}, 0, 128, 96},
      {"one byte in", 2, {0x12, 0x00, 0x00, 0x80, 0x02, 0x00, 0x00, 0x00, 0x00}, 0, 128, 96},
      // size code 0: 8-bit width 176 and height 144 follow
      {"size code 0", 2, {0x00, 0x00, 0x80, 0x00, 0x58, 0x48, 0x00, 0x00}, 0, 176, 144},
      {"no start code", 2, {1, 2, 3, 4, 5, 6, 7, 8}, -1, 0, 0},
      // adjustment 0x08; key frame, marker 0, profile 3; rows 15, cols 20 twice
      {"vp6", 4, {0x08, 0x0A, 0x1B, 0x0F, 0x14, 0x0F, 0x14, 0x00}, 0, 320, 232},
      {"vp6 inter", 4, {0x08, 0x8A, 0x1B, 0x0F, 0x14, 0x0F, 0x14, 0x00}, -1, 0, 0},
      {"vp6 alpha", 5, {0x08, 0x00, 0x00, 0x14, 0x0A, 0x1B, 0x0F, 0x14, 0x0F, 0x14}, 0, 320, 232},
      {"too short", 2, {0x00, 0x00, 0x80, 0x02, 0x00, 0x00, 0x00}, -1, 0, 0},
      {"screen video", 3, {0, 0, 0, 0, 0, 0, 0, 0}, -1, 0, 0},
  };
  for (const VideoCase& c : cases) {
    FlvdVideoInfo rec{};
    Bytes exact = c.bytes;
    EXPECT_EQ(parse(c.codec, exact.data(), int32_t(exact.size()), &rec), c.result) << c.what;
    EXPECT_EQ(rec.width, c.width) << c.what;
    EXPECT_EQ(rec.height, c.height) << c.what;
  }
}

struct SpsCase {
  const char* what;
  uint32_t profile;
  uint32_t chroma;
  uint32_t widthMbs, heightUnits;
  bool frameMbsOnly;
  uint32_t cropBottom;
  bool timing, fixedRate;
  uint32_t width, height, frameRate;
  uint32_t tick = 1001, scale = 60000;
};

// `list0` replaces the deltas of the first scaling list (Exp-Golomb code
// numbers, so that codes beyond the signed range can be written).
Bytes makeSps(const SpsCase& c, const std::vector<uint32_t>& list0 = {}) {
  BitWriter w;
  w.put(c.profile, 8);
  w.put(0, 8);
  w.put(40, 8);
  w.ue(0);
  if (c.profile == 100 || c.profile == 244 || c.profile == 44) {
    w.ue(c.chroma);
    if (c.chroma == 3) w.put(0, 1);
    w.ue(0);
    w.ue(0);
    w.put(0, 1);
    w.put(1, 1);  // scaling matrix present
    int lists = c.chroma == 3 ? 12 : 8;
    for (int i = 0; i < lists; ++i) {
      w.put(i == 0 || i == 6, 1);
      if (i == 0 && !list0.empty())
        for (uint32_t code : list0) w.ue(code);
      else if (i == 0 || i == 6)
        for (int j = 0; j < (i < 6 ? 16 : 64); ++j) w.se(j == 0 ? 8 : 0);
    }
  }
  w.ue(0);            // log2_max_frame_num_minus4
  w.ue(0);            // pic_order_cnt_type
  w.ue(0);            // log2_max_pic_order_cnt_lsb_minus4
  w.ue(4);            // max_num_ref_frames
  w.put(0, 1);
  w.ue(c.widthMbs - 1);
  w.ue(c.heightUnits - 1);
  w.put(c.frameMbsOnly, 1);
  if (!c.frameMbsOnly) w.put(0, 1);
  w.put(1, 1);
  w.put(c.cropBottom != 0, 1);
  if (c.cropBottom) {
    w.ue(0);
    w.ue(0);
    w.ue(0);
    w.ue(c.cropBottom);
  }
  w.put(c.timing, 1);
  if (c.timing) {
    w.put(0, 1);
    w.put(0, 1);
    w.put(0, 1);
    w.put(0, 1);
    w.put(1, 1);
    w.put(c.tick, 32);
    w.put(c.scale, 32);
    w.put(c.fixedRate, 1);
  }
  w.trailing();
  // Emulation prevention as an encoder writes it.
  Bytes nal = {0x67};
  int zeros = 0;
  for (uint8_t b : w.bytes) {
    if (zeros >= 2 && b <= 3) {
      nal.push_back(3);
      zeros = 0;
    }
    nal.push_back(b);
    zeros = b == 0 ? zeros + 1 : 0;
  }
  return nal;
}

TEST(FlvCodecHeaders, AvcSequenceParameterSets) {
  auto parse = sym<VideoFn>("FLVD_ParseVideoHeader");
  const SpsCase cases[] = {
      {"main 1080", 77, 1, 120, 68, true, 4, false, false, 1920, 1080, 0},
      {"high fields", 100, 1, 120, 34, false, 2, false, false, 1920, 1080, 0},
      {"timing fixed", 77, 1, 20, 15, true, 0, true, true, 320, 240, 29970},
      {"timing not fixed", 77, 1, 20, 15, true, 0, true, false, 320, 240, 0},
      {"high 4:4:4", 244, 3, 22, 18, true, 0, false, false, 352, 288, 0},
      {"cavlc 4:4:4 intra", 44, 3, 22, 18, true, 0, false, false, 352, 288, 0},
  };
  for (const SpsCase& c : cases) {
    Bytes sets = {0, 0, 0, 1};
    Bytes sps = makeSps(c);
    sets.insert(sets.end(), sps.begin(), sps.end());
    sets.insert(sets.end(), {0, 0, 0, 1, 0x68, 0xCE, 0x38, 0x80});
    FlvdVideoInfo rec{};
    rec.frameRate = 1234;
    ASSERT_EQ(parse(7, sets.data(), int32_t(sets.size()), &rec), 0) << c.what;
    EXPECT_EQ(rec.width, c.width) << c.what;
    EXPECT_EQ(rec.height, c.height) << c.what;
    EXPECT_EQ(rec.frameRate, c.frameRate) << c.what;
    EXPECT_EQ(memcmp(&rec.fourcc, "H264", 4), 0) << c.what;
  }
}

TEST(FlvCodecHeaders, EmulationPreventionBytesAreRemovedBeforeParsing) {
  // Small tick values write long zero runs; take the first that an encoder
  // has to escape.
  auto parse = sym<VideoFn>("FLVD_ParseVideoHeader");
  int escapedCases = 0;
  for (uint32_t tick = 1; tick < 400 && escapedCases < 3; ++tick) {
    SpsCase c{"escaped", 77, 1, 20, 15, true, 0, true, true, 320, 240, 0, tick, tick * 60};
    Bytes sps = makeSps(c);
    bool escaped = false;
    for (size_t i = 0; i + 2 < sps.size(); ++i)
      escaped |= sps[i] == 0 && sps[i + 1] == 0 && sps[i + 2] == 3;
    if (!escaped) continue;
    ++escapedCases;
    Bytes sets = {0, 0, 0, 1};
    sets.insert(sets.end(), sps.begin(), sps.end());
    FlvdVideoInfo rec{};
    ASSERT_EQ(parse(7, sets.data(), int32_t(sets.size()), &rec), 0);
    EXPECT_EQ(rec.frameRate, 30000u) << "tick " << tick;
    EXPECT_EQ(rec.width, 320u);
  }
  EXPECT_EQ(escapedCases, 3);
}

TEST(FlvCodecHeaders, DamagedScalingListDeltasStayInRange) {
  // The first list: two deltas of 2^31 (the largest code, 32 zeros long),
  // whose signed sum with the scale overflows, then -8, which brings the
  // scale to 0 modulo 256 and so ends the list after three deltas. The
  // size and the frame rate after the lists are read from the right bits
  // only when the scale was kept modulo 256 and each long code consumed whole.
  const uint32_t kLargest = 0xFFFFFFFFu, kMinus8 = 16;
  struct Case {
    const char* what;
    std::vector<uint32_t> list0;
  } const cases[] = {
      {"two deltas of 2^31, then -8", {kLargest, kLargest, kMinus8}},
      {"-8 at once", {kMinus8}},
      {"2^31 after a scale of 255", {2 * 247 - 1, kLargest, 2 * 255}},  // +247, 2^31, -255
  };
  for (const Case& k : cases) {
    SpsCase c{k.what, 100, 1, 20, 15, true, 0, true, true, 320, 240, 29970};
    Bytes sets = {0, 0, 0, 1};
    Bytes sps = makeSps(c, k.list0);
    sets.insert(sets.end(), sps.begin(), sps.end());
    FlvdVideoInfo rec{};
    ASSERT_EQ(sym<VideoFn>("FLVD_ParseVideoHeader")(7, sets.data(), int32_t(sets.size()), &rec), 0) << k.what;
    EXPECT_EQ(rec.width, 320u) << k.what;
    EXPECT_EQ(rec.height, 240u) << k.what;
    EXPECT_EQ(rec.frameRate, 29970u) << k.what;
  }
}

TEST(FlvCodecHeaders, AvcCBecomesStartCodedParameterSets) {
  auto convert = sym<AvcCFn>("FLVD_GetAVCSeqHeaderFromAvcC");
  const Bytes avcc = {1, 0x4D, 0x40, 0x1E, 0xFF, 0xE1, 0, 4, 0x67, 1, 2, 3, 1, 0, 2, 0x68, 9};
  Bytes out(128, 0xEE);
  ASSERT_EQ(convert(avcc.data(), int32_t(avcc.size()), out.data(), 128), 14);
  const Bytes want = {0, 0, 0, 1, 0x67, 1, 2, 3, 0, 0, 0, 1, 0x68, 9};
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 14), want);
  EXPECT_EQ(convert(avcc.data(), int32_t(avcc.size()), out.data(), 11), 0);
  EXPECT_EQ(convert(avcc.data(), 6, out.data(), 128), 0);
  Bytes wrongVersion = avcc;
  wrongVersion[0] = 2;
  EXPECT_EQ(convert(wrongVersion.data(), int32_t(wrongVersion.size()), out.data(), 128), 0);
  // A set length that runs past the record is refused, not read.
  Bytes cut(avcc.begin(), avcc.begin() + 10);
  EXPECT_EQ(convert(cut.data(), int32_t(cut.size()), out.data(), 128), 0);
}

}  // namespace
