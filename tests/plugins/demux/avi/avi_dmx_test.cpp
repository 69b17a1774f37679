// The AVI demuxer's entry, file access, headers, indexes and packet reading.
#include <algorithm>

#include "avi_test_support.h"

namespace avitest {

mediahost::Plugin* AviTest::plugin_ = nullptr;

using OffsetFn = int32_t (*)(AviContext*, int32_t, uint32_t, int64_t*, uint32_t*);
OffsetFn aviGetOffsetbyIndexFn() {
  static OffsetFn f = reinterpret_cast<OffsetFn>(AviTest::plugin()->symbol("aviGetOffsetbyIndex"));
  return f;
}

// ---- entry ----

TEST_F(AviTest, CacheSizeIsNormalisedAndWrittenBack) {
  struct Case {
    uint32_t given, kept;
  } cases[] = {{0, 4096}, {100, 512}, {511, 512}, {512, 512}, {65536, 65536}};
  for (const Case& c : cases) {
    record(media("idx1_relative.avi"), 0);
    rec_.cache_size = c.given;
    ASSERT_EQ(entry(AVI_OP_OPEN, &slot_, &rec_, &res_), AVI_OK);
    EXPECT_EQ(rec_.cache_size, c.kept) << c.given;
    closeIt();
  }
}

TEST_F(AviTest, LastErrorWithoutContextIsTheLibraryWideOne) {
  EXPECT_EQ(openPath("no-such-file.avi"), AVI_FAIL);
  EXPECT_EQ(slot_, nullptr);
  EXPECT_EQ(entry(AVI_OP_LAST_ERROR, nullptr, nullptr, nullptr), AVI_ERR_OPEN);
  void* empty = nullptr;
  EXPECT_EQ(entry(AVI_OP_LAST_ERROR, &empty, nullptr, nullptr), AVI_ERR_OPEN);
  // An unknown op fails and changes no error.
  EXPECT_EQ(entry(6, &empty, nullptr, nullptr), AVI_FAIL);
  EXPECT_EQ(entry(AVI_OP_LAST_ERROR, nullptr, nullptr, nullptr), AVI_ERR_OPEN);
  // A successful open clears it.
  ASSERT_EQ(openPath(media("idx1_relative.avi")), AVI_OK);
  EXPECT_EQ(entry(AVI_OP_LAST_ERROR, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(lastError(), 0);
}

TEST_F(AviTest, VersionFillsBothBuffersZeroPadded) {
  char a[32], b[32];
  std::memset(a, 'x', sizeof a);
  std::memset(b, 'x', sizeof b);
  EXPECT_EQ(entry(AVI_OP_VERSION, nullptr, a, b), AVI_OK);
  EXPECT_STREQ(a, "V3.0.0.2");
  EXPECT_STREQ(b, "2016/11/14 15:00");
  EXPECT_EQ(a[31], 0);
  EXPECT_EQ(b[31], 0);
}

TEST_F(AviTest, FailedOpensLeaveNoHandleAndNameTheirError) {
  Bytes notAvi(5000, 0x42);
  EXPECT_EQ(openBytes(notAvi), AVI_FAIL);
  EXPECT_EQ(slot_, nullptr);
  EXPECT_EQ(entry(AVI_OP_LAST_ERROR, nullptr, nullptr, nullptr), AVI_ERR_NO_RIFF);

  mediahost::Faults f;
  f.failAllocAt = 3;  // the handles and their caches come first, then the context
  std::string name = addMemory(buildAvi(simpleSpec(4)));
  mediahost::Host::get().setFaults(f);
  EXPECT_EQ(openPath(name), AVI_FAIL);
  mediahost::Host::get().setFaults(mediahost::Faults{});
  EXPECT_EQ(slot_, nullptr);
  EXPECT_EQ(entry(AVI_OP_LAST_ERROR, nullptr, nullptr, nullptr), AVI_ERR_NO_MEMORY);
}

TEST_F(AviTest, OpensWithoutAHandleSlotFailAndLeaveNothingOpen) {
  for (int32_t op : {AVI_OP_OPEN, AVI_OP_OPEN_INFO}) {
    SCOPED_TRACE(op);
    ASSERT_EQ(openPath(media("idx1_relative.avi")), AVI_OK);
    closeIt();
    record(media("idx1_relative.avi"), 0);
    res_ = AviOpenResult{};
    EXPECT_EQ(entry(op, nullptr, &rec_, &res_), AVI_FAIL);
    EXPECT_EQ(entry(AVI_OP_LAST_ERROR, nullptr, nullptr, nullptr), AVI_ERR_OPEN);
    EXPECT_EQ(mediahost::Host::get().openFiles(), 0u);
    EXPECT_EQ(mediahost::Host::get().allocStats().liveBlocks, 0u);
  }
}

namespace memcount {
int sets = 0, copies = 0, moves = 0;
void* set(void* d, int v, size_t n) {
  ++sets;
  return mediahost::hostMemset(d, v, n);
}
void* copy(void* d, const void* s, size_t n) {
  ++copies;
  return mediahost::hostMemcpy(d, s, n);
}
void* move(void* d, const void* s, size_t n) {
  ++moves;
  return mediahost::hostMemmove(d, s, n);
}
}  // namespace memcount

TEST_F(AviTest, MemoryWorkGoesThroughTheHostsFunctions) {
  memcount::sets = memcount::copies = memcount::moves = 0;
  record(media("mpeg4_mp3.avi"), 0);
  rec_.cache_size = 512;  // small enough for chunk headers to straddle refills
  rec_.host.memset_fn = memcount::set;
  rec_.host.memcpy_fn = memcount::copy;
  rec_.host.memmove_fn = memcount::move;
  ASSERT_EQ(entry(AVI_OP_OPEN, &slot_, &rec_, &res_), AVI_OK);
  EXPECT_GT(memcount::sets, 0);  // the context and the result are zeroed
  ASSERT_GT(readAll().size(), 100u);
  EXPECT_GT(memcount::copies, 0);  // reads served from the cache
  EXPECT_GT(memcount::moves, 0);   // the cache keeps its unread bytes on a refill
  closeIt();

  // A host that lacks one of them gets no context; op 7 needs no memmove.
  struct Case {
    int32_t op;
    void (*drop)(KvrHostServices&);
    int32_t result;
  } cases[] = {
      {AVI_OP_OPEN, [](KvrHostServices& h) { h.memset_fn = nullptr; }, AVI_FAIL},
      {AVI_OP_OPEN, [](KvrHostServices& h) { h.memcpy_fn = nullptr; }, AVI_FAIL},
      {AVI_OP_OPEN, [](KvrHostServices& h) { h.memmove_fn = nullptr; }, AVI_FAIL},
      {AVI_OP_OPEN_INFO, [](KvrHostServices& h) { h.memcpy_fn = nullptr; }, AVI_FAIL},
      {AVI_OP_OPEN_INFO, [](KvrHostServices& h) { h.memmove_fn = nullptr; }, AVI_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    record(media("idx1_relative.avi"), 0);
    c.drop(rec_.host);
    res_ = AviOpenResult{};
    EXPECT_EQ(entry(c.op, &slot_, &rec_, &res_), c.result);
    if (c.result == AVI_FAIL) {
      EXPECT_EQ(slot_, nullptr);
      EXPECT_EQ(entry(AVI_OP_LAST_ERROR, nullptr, nullptr, nullptr), AVI_ERR_OPEN);
    }
    closeIt();
  }
}

TEST_F(AviTest, DivxIsRefusedUnlessTheHostDecodesIt) {
  EXPECT_EQ(openPath(media("divx.avi")), AVI_DIVX_REFUSED);
  ASSERT_NE(slot_, nullptr);  // still open: the host closes it
  EXPECT_EQ(lastError(), AVI_ERR_DIVX);
  EXPECT_EQ(entry(AVI_OP_LAST_ERROR, nullptr, nullptr, nullptr), AVI_ERR_DIVX);
  closeIt();
  EXPECT_EQ(openPath(media("divx.avi"), AVI_FLAG_DIVX_OK), AVI_OK);
  EXPECT_EQ(res_.video->fourcc, AVI_FOURCC('D', 'I', 'V', 'X'));
}

TEST_F(AviTest, OpenResultDescribesTheStreams) {
  ASSERT_EQ(openPath(media("mpeg4_mp3.avi")), AVI_OK);
  ASSERT_EQ(res_.video_count, 1);
  ASSERT_EQ(res_.audio_count, 1);
  EXPECT_EQ(res_.file, &ctx()->file_info);
  EXPECT_EQ(res_.video, &res_.videos[0]);
  EXPECT_EQ(res_.video->id, 10);
  EXPECT_EQ(res_.video->width, 176u);
  EXPECT_EQ(res_.video->height, 144u);
  EXPECT_EQ(res_.video->frame_rate_milli, 25000u);
  EXPECT_EQ(res_.audio->id, 30);
  EXPECT_EQ(res_.audio->format_tag, 0x55u);
  EXPECT_EQ(res_.audio->sample_rate, 44100u);
  EXPECT_EQ(res_.file->index_present, 1u);
  EXPECT_NEAR(res_.file->duration_ms, 6000, 100);
  EXPECT_GT(res_.file->movi_start, 0);
  EXPECT_GE(res_.file->buffer_size, 524288u);
  EXPECT_EQ(res_.word10, 0);
}

TEST_F(AviTest, InformationOpenGivesBitRateAndNoReaders) {
  ASSERT_EQ(openPath(media("mpeg4_mp3.avi"), 0, AVI_OP_OPEN_INFO), AVI_OK);
  EXPECT_EQ(res_.audio->kbps, res_.audio->avg_bytes_per_sec / 125);
  EXPECT_EQ(res_.file->movi_start, 0);
  EXPECT_EQ(ctx()->buf, nullptr);
  EXPECT_EQ(ctx()->fh[AVI_FH_AUDIO], nullptr);
  // OpenDML super indexes make the index present.
  ASSERT_EQ(openPath(media("odml.avi"), 0, AVI_OP_OPEN_INFO), AVI_OK);
  EXPECT_EQ(res_.file->index_present, 1u);
}

TEST_F(AviTest, WithoutTheEndSeekTheFileSizeIsTheMoviData) {
  ASSERT_EQ(openPath(media("idx1_relative.avi"), AVI_FLAG_NO_EOF_SEEK), AVI_OK);
  EXPECT_EQ(*reinterpret_cast<int32_t*>(plugin_->symbol("avi_do_not_seek_to_eof")), 1);
  EXPECT_EQ(int64_t(res_.file->file_size), ctx()->movi_size);
  EXPECT_EQ(readAll().size(), 80u);
  ASSERT_EQ(openPath(media("idx1_relative.avi")), AVI_OK);
  EXPECT_EQ(*reinterpret_cast<int32_t*>(plugin_->symbol("avi_do_not_seek_to_eof")), 0);
  EXPECT_EQ(res_.file->file_size, readFile(media("idx1_relative.avi")).size());
}

TEST_F(AviTest, SingleHandleModeClearsSeparateAndHostIndexBits) {
  ASSERT_EQ(openPath(media("idx1_relative.avi"), AVI_FLAG_SINGLE | AVI_FLAG_SEPARATE | AVI_FLAG_HOST_INDEX | 0x10000),
            AVI_OK);
  EXPECT_EQ(rec_.flags, uint32_t(AVI_FLAG_SINGLE));
  for (int i = 0; i < AVI_FH_COUNT; ++i) EXPECT_EQ(ctx()->fh[i], ctx()->fh[AVI_FH_MAIN]);
  EXPECT_EQ(ctx()->index_mode, AVI_INDEX_IDX1_MEMORY);
}


// ---- buffered file access ----

namespace fio {
std::string lastMode;
int seeks = 0;
void* openMode(const char* path, const char* mode) {
  lastMode = mode;
  return mediahost::hostFopen(path, mode);
}
int32_t countSeek64(void* f, int64_t off, int32_t whence) {
  ++seeks;
  return mediahost::hostFseek64(f, off, whence);
}
}  // namespace fio

class AviFioTest : public AviTest {
 protected:
  using SetFunc = void (*)(void* const*);
  using Open = AviFioHandle* (*)(const char*, uint32_t, uint32_t);
  using Close = int32_t (*)(AviFioHandle*);
  using Peek = int32_t (*)(uint8_t*, uint32_t, AviFioHandle*);
  using Read = uint32_t (*)(void*, uint32_t, uint32_t, AviFioHandle*);
  using Seek = int32_t (*)(AviFioHandle*, int64_t, int32_t);
  using Tell = int64_t (*)(AviFioHandle*);

  void SetUp() override {
    AviTest::SetUp();
    AviFioTable t{};
    t.malloc = mediahost::hostMalloc;
    t.realloc = mediahost::hostRealloc;
    t.free = mediahost::hostFree;
    t.memcpy = mediahost::hostMemcpy;
    t.memmove = mediahost::hostMemmove;
    t.memset = mediahost::hostMemset;
    t.fopen = fio::openMode;
    t.fclose = mediahost::hostFclose;
    t.fread = mediahost::hostFread;
    t.fwrite = mediahost::hostFwrite;
    t.fseek = mediahost::hostFseek;
    t.ftell = mediahost::hostFtell;
    t.feof = mediahost::hostFeof;
    t.fflush = mediahost::hostFflush;
    t.fseek64 = fio::countSeek64;
    t.ftell64 = mediahost::hostFtell64;
    table_ = t;
    sym<SetFunc>("__AVI_DMX__fioSetFunc")(reinterpret_cast<void* const*>(&table_));
    bytes_ = payload(5000, 7);
    name_ = addMemory(bytes_);
  }
  void TearDown() override {
    *sym<int32_t*>("avi_do_not_seek_to_eof") = 0;
    AviTest::TearDown();
  }
  template <class T>
  T sym(const char* name) {
    void* p = plugin_->symbol(name);
    EXPECT_NE(p, nullptr) << name;
    return reinterpret_cast<T>(p);
  }
  AviFioTable table_{};
  Bytes bytes_;
  std::string name_;
};

TEST_F(AviFioTest, ModeFlagsChooseTheOpenText) {
  auto open = sym<Open>("__AVI_DMX__fioOpen");
  auto close = sym<Close>("__AVI_DMX__fioClose");
  struct Case {
    uint32_t mode;
    const char* text;
  } cases[] = {{0x210, "rb"}, {0x110, "rt"}, {0x10, "r"}, {0x310, nullptr}, {0x11, nullptr},
               {0x41, nullptr}, {0x0, nullptr}};
  for (const Case& c : cases) {
    fio::lastMode.clear();
    AviFioHandle* h = open(name_.c_str(), c.mode, 512);
    if (c.text == nullptr) {
      EXPECT_EQ(h, nullptr) << std::hex << c.mode;
      continue;
    }
    ASSERT_NE(h, nullptr) << std::hex << c.mode;
    EXPECT_EQ(fio::lastMode, c.text);
    EXPECT_EQ(h->state, AVI_FIO_IDLE);
    EXPECT_EQ(h->capacity, 512u);
    EXPECT_EQ(h->refill, 512u);
    close(h);
  }
}

TEST_F(AviFioTest, PeeksServeFromTheCacheAndRelativeSeeksStayInside) {
  auto open = sym<Open>("__AVI_DMX__fioOpen");
  auto close = sym<Close>("__AVI_DMX__fioClose");
  auto peek = sym<Peek>("__AVI_DMX__fioShowBytesByCopy");
  auto seek = sym<Seek>("__AVI_DMX__fioSeek64");
  auto tell = sym<Tell>("__AVI_DMX__fioTell64");
  AviFioHandle* h = open(name_.c_str(), 0x210, 512);
  ASSERT_NE(h, nullptr);
  uint8_t b[600];
  EXPECT_EQ(peek(b, 513, h), 0);  // larger than the cache
  EXPECT_EQ(peek(b, 16, h), 16);
  EXPECT_EQ(0, std::memcmp(b, bytes_.data(), 16));
  EXPECT_EQ(tell(h), 0);  // peeking consumes nothing
  fio::seeks = 0;
  EXPECT_EQ(seek(h, 100, KVR_SEEK_CUR), 0);
  EXPECT_EQ(fio::seeks, 0);
  EXPECT_EQ(tell(h), 100);
  EXPECT_EQ(peek(b, 8, h), 8);
  EXPECT_EQ(0, std::memcmp(b, bytes_.data() + 100, 8));
  EXPECT_EQ(seek(h, -50, KVR_SEEK_CUR), 0);  // backwards: the host moves
  EXPECT_EQ(fio::seeks, 1);
  EXPECT_EQ(tell(h), 50);
  close(h);
}

TEST_F(AviFioTest, EndSeekLandsAtTheStartWhenTheEndIsOffLimits) {
  auto open = sym<Open>("__AVI_DMX__fioOpen");
  auto close = sym<Close>("__AVI_DMX__fioClose");
  auto seek = sym<Seek>("__AVI_DMX__fioSeek64");
  auto tell = sym<Tell>("__AVI_DMX__fioTell64");
  AviFioHandle* h = open(name_.c_str(), 0x210, 512);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(seek(h, 0, KVR_SEEK_END), 0);
  EXPECT_EQ(tell(h), 5000);
  *sym<int32_t*>("avi_do_not_seek_to_eof") = 1;
  EXPECT_EQ(seek(h, 0, KVR_SEEK_END), 0);
  EXPECT_EQ(tell(h), 0);
  EXPECT_EQ(seek(h, 0, 7), -1);
  close(h);
}

TEST_F(AviFioTest, ReadsCountWholeItemsOnEveryPath) {
  auto open = sym<Open>("__AVI_DMX__fioOpen");
  auto close = sym<Close>("__AVI_DMX__fioClose");
  auto read = sym<Read>("__AVI_DMX__fioRead");
  auto seek = sym<Seek>("__AVI_DMX__fioSeek64");
  auto setRefill = sym<int32_t (*)(AviFioHandle*, uint32_t)>("__AVI_DMX__fioSetCacheReadSize");
  AviFioHandle* h = open(name_.c_str(), 0x210, 512);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(setRefill(h, 513), 0);
  EXPECT_EQ(setRefill(h, 16), 1);
  EXPECT_EQ(h->refill, 16u);
  EXPECT_EQ(setRefill(h, 0), 1);
  EXPECT_EQ(h->refill, 512u);
  Bytes out(6000);
  EXPECT_EQ(read(out.data(), 4, 10, h), 10u);  // from a cache refill
  EXPECT_EQ(0, std::memcmp(out.data(), bytes_.data(), 40));
  EXPECT_EQ(read(out.data(), 100, 20, h), 20u);  // larger than the cache
  EXPECT_EQ(0, std::memcmp(out.data(), bytes_.data() + 40, 2000));
  // Past the end: 2960 bytes remain, 29 whole items of 100.
  EXPECT_EQ(read(out.data(), 100, 40, h), 29u);
  EXPECT_EQ(0, std::memcmp(out.data(), bytes_.data() + 2040, 2900));
  EXPECT_EQ(seek(h, 4990, KVR_SEEK_SET), 0);
  EXPECT_EQ(read(out.data(), 4, 5, h), 2u);  // a short refill
  close(h);
}

// ---- headers ----

TEST_F(AviTest, GarbageBeforeRiffIsSearchedWithinALimit) {
  ASSERT_EQ(openPath(media("leading_garbage.avi")), AVI_OK);  // 100 bytes, and a "kvrh" chunk
  EXPECT_EQ(res_.video_count, 1);
  EXPECT_EQ(openPath(media("leading_garbage_2000.avi")), AVI_FAIL);
  EXPECT_EQ(entry(AVI_OP_LAST_ERROR, nullptr, nullptr, nullptr), AVI_ERR_NO_RIFF);
}

TEST_F(AviTest, AudioFormatsAreReadFromShortAndExtendedRecords) {
  ASSERT_EQ(openPath(media("pcmwaveformat16.avi")), AVI_OK);
  EXPECT_EQ(res_.audio->format_tag, 1u);
  EXPECT_EQ(res_.audio->extra_size, 0u);
  EXPECT_EQ(res_.audio->extra, nullptr);
  EXPECT_EQ(res_.audio->bits_per_sample, 16u);
  ASSERT_EQ(openPath(media("extensible.avi")), AVI_OK);
  EXPECT_EQ(res_.audio->format_tag, 1u);  // from the sub-format GUID
  EXPECT_EQ(res_.audio->extra_size, 22u);
  ASSERT_EQ(openPath(media("short_strh.avi")), AVI_OK);
  EXPECT_EQ(res_.video->width, 96u);
}

TEST_F(AviTest, StreamTypesAndSelection) {
  FileSpec f = simpleSpec(3);
  StreamSpec midi;
  midi.type = "mids";
  midi.strf = Bytes(8, 0);
  StreamSpec v2 = f.streams[0];
  v2.priority = 0;
  StreamSpec wrongSize = f.streams[0];
  wrongSize.priority = 5;
  wrongSize.strf = bitmapInfo(32, 32, "MJPG");
  StreamSpec alaw = f.streams[1];
  alaw.strf = waveFormat(6, 2, 8000, 0, 2, 0);
  alaw.priority = 3;
  f.streams = {f.streams[0], midi, v2, wrongSize, f.streams[1], alaw};
  f.idx1 = false;  // its entries would name other streams
  ASSERT_EQ(openBytes(buildAvi(f)), AVI_OK);
  EXPECT_EQ(res_.video_count, 3);
  ASSERT_EQ(res_.audio_count, 2);
  // Equal priorities keep the first; a stream whose size differs from the
  // main header's is never the default.
  EXPECT_EQ(res_.video->id, 10);
  // A-law: 8 bits and a rate from channels and sample rate.
  EXPECT_EQ(res_.audio->id, 31);
  EXPECT_EQ(res_.audio->bits_per_sample, 8u);
  EXPECT_EQ(res_.audio->avg_bytes_per_sec, 16000u);
  EXPECT_EQ(lastError(), 0);

  AviSelectRequest sel{1 | 2, 12, 30};
  AviSelectResult out{};
  ASSERT_EQ(entry(AVI_OP_SELECT, &slot_, &sel, &out), AVI_OK);
  EXPECT_EQ(out.video->id, 12);
  EXPECT_EQ(out.audio->id, 30);
  EXPECT_EQ(ctx()->id_dc, AVI_FOURCC('0', '3', 'd', 'c'));
  sel = {1, 13, 0};
  EXPECT_EQ(entry(AVI_OP_SELECT, &slot_, &sel, &out), AVI_FAIL);
  EXPECT_EQ(lastError(), AVI_ERR_VIDEO_RANGE);
  sel = {2, 0, 29};
  EXPECT_EQ(entry(AVI_OP_SELECT, &slot_, &sel, &out), AVI_FAIL);
  EXPECT_EQ(lastError(), AVI_ERR_AUDIO_RANGE);
}

TEST_F(AviTest, DamagedHeadersFailWithTheirCodes) {
  struct Case {
    const char* what;
    int32_t code;
  } cases[] = {{"no hdrl", AVI_ERR_NO_HDRL}, {"too few lists", AVI_ERR_NO_STRL}, {"no strf", AVI_ERR_NO_STRF},
               {"huge stream count", AVI_ERR_NO_STRL}};
  for (const Case& c : cases) {
    FileSpec f = simpleSpec(3);
    Bytes b = buildAvi(f);
    std::string what = c.what;
    if (what == "no hdrl") {
      std::memcpy(b.data() + 20, "hdrX", 4);
    } else if (what == "too few lists") {
      f.avihStreams = 3;
      b = buildAvi(f);
    } else if (what == "no strf") {
      auto at = std::search(b.begin(), b.end(), std::begin("strf"), std::begin("strf") + 4);
      std::memcpy(&*at, "strX", 4);
      at = std::search(at + 4, b.end(), std::begin("strf"), std::begin("strf") + 4);
      std::memcpy(&*at, "strX", 4);
    } else {
      // 64 times this count wraps a 32-bit size to 64 bytes.
      f.avihStreams = 0x4000001;
      b = buildAvi(f);
    }
    EXPECT_EQ(openBytes(b), AVI_FAIL) << c.what;
    EXPECT_EQ(slot_, nullptr);
    EXPECT_EQ(entry(AVI_OP_LAST_ERROR, nullptr, nullptr, nullptr), c.code) << c.what;
  }
}

TEST_F(AviTest, ZeroRatesDivideNothing) {
  FileSpec f = simpleSpec(6);
  f.streams[0].rate = 0;
  f.streams[1].rate = 0;                                        // audio strh rate 0
  f.streams[1].sampleSize = 0;
  f.streams[1].strf = waveFormat(0x55, 1, 8000, 0, 0, 0);       // nBlockAlign 0, no byte rate
  Bytes b = buildAvi(f);
  for (uint32_t flags : {0u, uint32_t(AVI_FLAG_SINGLE), uint32_t(AVI_FLAG_SEPARATE)}) {
    ASSERT_EQ(openBytes(b, flags), AVI_OK);
    EXPECT_EQ(res_.video->frame_rate_milli, 0u);
    EXPECT_EQ(res_.audio_count, 0);  // the only audio has no byte rate
    std::vector<Got> got = readAll(flags & AVI_FLAG_SEPARATE ? AVI_KIND_VIDEO : 0);
    EXPECT_EQ(got.size(), 6u);
    AviSeekResult r;
    seek(300, 0, &r);
    seek(100, AVI_SEEK_RELATIVE, &r);
  }
  // An OpenDML file whose video rate is 0: no duration, no frame numbers.
  Bytes odml = readFile(media("odml.avi"));
  auto strh = std::search(odml.begin(), odml.end(), std::begin("strh"), std::begin("strh") + 4);
  set32(odml, size_t(strh - odml.begin()) + 8 + 24, 0);  // dwRate of the video
  for (uint32_t flags : {0u, uint32_t(AVI_FLAG_SINGLE)}) {
    ASSERT_EQ(openBytes(odml, flags), AVI_OK);
    AviSeekResult r;
    seek(1500, 0, &r);
    EXPECT_EQ(readAll().size() > 0, true);
  }
  // Variable-rate MPEG audio with a zero block alignment: no offset.
  FileSpec mp3 = simpleSpec(3);
  mp3.streams[1].scale = 1152;
  mp3.streams[1].rate = 44100;
  mp3.streams[1].sampleSize = 0;
  mp3.streams[1].strf = waveFormat(0x55, 1, 44100, 8000, 0, 0);
  mp3.items[1].data = Bytes(300, 0);
  mp3.items[1].data[100] = 0xFF;
  mp3.items[1].data[101] = 0xFB;
  mp3.items[1].data[102] = 0x50;
  ASSERT_EQ(openBytes(buildAvi(mp3)), AVI_OK);
  EXPECT_EQ(readAll().size(), 6u);
  EXPECT_EQ(ctx()->mp3_offset_ms, 0);
}

TEST_F(AviTest, MetadataStreamsAndSoftErrorsDoNotStopTheOpen) {
  FileSpec f = simpleSpec(3);
  StreamSpec meta;
  meta.type = "meta";
  meta.strf = payload(40, 5);  // shorter than the 80 bytes kept
  StreamSpec text;
  text.type = "txts";
  text.strf = Bytes(4, 0);
  f.streams.push_back(meta);
  f.streams.push_back(text);
  f.idx1 = false;
  Bytes b = buildAvi(f);
  set32(b, 32 + 12, 0x20);  // avih flags: the soft -3003
  ASSERT_EQ(openBytes(b), AVI_OK);
  EXPECT_EQ(lastError(), 0);
  ASSERT_EQ(res_.meta_count, 1);
  EXPECT_EQ(res_.meta->id, 70);
  EXPECT_EQ(0, std::memcmp(res_.meta->strf, meta.strf.data(), 40));
  EXPECT_EQ(ctx()->id_mt, AVI_FOURCC('0', '2', 'm', 't'));
  EXPECT_EQ(readAll().size(), 6u);
}

TEST_F(AviTest, Mpeg4VisualPrefixGoesInFrontOfEachFrame) {
  FileSpec f = simpleSpec(2);
  Bytes extra = {0, 0, 1, 0xB0, 1, 0, 0, 1, 0x20, 0x08, 0xC8, 0x0D, 0x40, 0x00, 0x53, 0x88, 0x40, 0x0C, 0x40, 0x01};
  f.streams[0].handler = "MP4S";
  f.streams[0].strf = bitmapInfo(96, 64, "MP4S", extra);
  ASSERT_EQ(openBytes(buildAvi(f)), AVI_OK);
  ASSERT_EQ(ctx()->prefix_len, 18u);
  AviPacket p;
  ASSERT_EQ(next(&p), AVI_OK);
  ASSERT_EQ(p.size, 100u + 18u);
  const uint8_t head[4] = {0, 0, 1, 0};
  EXPECT_EQ(0, std::memcmp(p.data, head, 4));
  EXPECT_EQ(0, std::memcmp(p.data + 4, extra.data() + 5, 14));
  EXPECT_EQ(0, std::memcmp(p.data + 18, f.items[0].data.data(), 100));
}

TEST_F(AviTest, StreamListsBeyondTwentyArePassedOver) {
  FileSpec f = simpleSpec(2);
  StreamSpec extraAudio = f.streams[1];
  while (f.streams.size() < 22) f.streams.push_back(extraAudio);
  f.idx1 = false;
  ASSERT_EQ(openBytes(buildAvi(f)), AVI_OK);
  EXPECT_EQ(res_.video_count, 1);
  EXPECT_EQ(res_.audio_count, 19);  // stream numbers 1..19; 20 and 21 are not read
  EXPECT_EQ(readAll().size(), 4u);
}

// ---- packet reading ----

TEST_F(AviTest, OddChunksLoseTheirPaddingAndZeroChunksAdvanceTheFrame) {
  FileSpec f = simpleSpec(4);
  f.items[2].data = payload(101, 9);  // frame 1, odd
  f.items[4].data.clear();            // frame 2, empty
  ASSERT_EQ(openBytes(buildAvi(f)), AVI_OK);
  std::vector<Got> got = readAll();
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(got[2].size, 101u);
  EXPECT_EQ(got[2].data, f.items[2].data);
  EXPECT_EQ(got[3].kind, AVI_KIND_AUDIO);
  EXPECT_EQ(got[4].kind, AVI_KIND_AUDIO);  // the empty frame is not delivered
  EXPECT_EQ(got[5].kind, AVI_KIND_VIDEO);
  EXPECT_EQ(got[5].time, 300);  // but it took its time
  EXPECT_EQ(got[6].time, 150);  // audio: 3 x 800 bytes at 16000 bytes/s
}

TEST_F(AviTest, OddChunkAsLargeAsTheBufferKeepsItsPaddingOutOfIt) {
  FileSpec f = simpleSpec(3);
  f.items[2].data = payload(999, 3);
  ASSERT_EQ(openBytes(buildAvi(f), AVI_FLAG_CALLER_BUFFER), AVI_OK);
  Bytes buf(999 + 16, 0xEE);
  AviPacket p;
  ASSERT_EQ(next(&p, 0, buf.data(), 1200), AVI_OK);
  ASSERT_EQ(next(&p, 0, buf.data(), 1200), AVI_OK);
  ASSERT_EQ(next(&p, 0, buf.data(), 999), AVI_OK);
  EXPECT_EQ(p.size, 999u);
  EXPECT_EQ(buf[999], 0xEE);  // the padding byte stayed in the file
  ASSERT_EQ(next(&p, 0, buf.data(), 1200), AVI_OK);
  EXPECT_EQ(p.kind, AVI_KIND_AUDIO);  // and the next header was found
}

TEST_F(AviTest, TooSmallCallerBufferSkipsThatChunkOnly) {
  FileSpec f = simpleSpec(3);
  f.items[2].data = payload(4000, 1);
  ASSERT_EQ(openBytes(buildAvi(f), AVI_FLAG_CALLER_BUFFER), AVI_OK);
  Bytes buf(1000);
  AviPacket p;
  ASSERT_EQ(next(&p, 0, buf.data(), 1000), AVI_OK);
  ASSERT_EQ(next(&p, 0, buf.data(), 1000), AVI_OK);
  EXPECT_EQ(next(&p, 0, buf.data(), 1000), AVI_FAIL);
  EXPECT_EQ(lastError(), AVI_ERR_BUFFER_SMALL);
  ASSERT_EQ(next(&p, 0, buf.data(), 1000), AVI_OK);
  EXPECT_EQ(p.kind, AVI_KIND_AUDIO);
  EXPECT_EQ(p.time_ms, 50);
  ASSERT_EQ(next(&p, 0, buf.data(), 1000), AVI_OK);
  EXPECT_EQ(p.time_ms, 200);
  EXPECT_EQ(lastError(), 0);
}

TEST_F(AviTest, SingleHandleModeKeepsAFailedChunkForTheRetry) {
  FileSpec f = simpleSpec(3);
  f.items[2].data = payload(4000, 1);
  ASSERT_EQ(openBytes(buildAvi(f), AVI_FLAG_SINGLE | AVI_FLAG_CALLER_BUFFER), AVI_OK);
  Bytes buf(5000);
  AviPacket p;
  ASSERT_EQ(next(&p, 0, buf.data(), 1000), AVI_OK);
  ASSERT_EQ(next(&p, 0, buf.data(), 1000), AVI_OK);
  EXPECT_EQ(next(&p, 0, buf.data(), 1000), AVI_FAIL);
  EXPECT_EQ(lastError(), AVI_ERR_BUFFER_SMALL);
  ASSERT_EQ(next(&p, 0, buf.data(), 5000), AVI_OK);
  EXPECT_EQ(p.kind, AVI_KIND_VIDEO);
  EXPECT_EQ(p.size, 4000u);
  EXPECT_EQ(p.time_ms, 100);
}

TEST_F(AviTest, RecListsAndForeignListsInsideMovi) {
  for (const char* name : {"rec_lists.avi", "garbage_in_movi.avi", "idx1_relative.avi", "dd_chunk.avi"}) {
    ASSERT_EQ(openPath(media(name)), AVI_OK) << name;
    std::vector<Got> got = readAll();
    EXPECT_EQ(got.size(), 80u) << name;
    int video = 0;
    for (const Got& g : got) video += g.kind == AVI_KIND_VIDEO;
    EXPECT_EQ(video, 40) << name;
  }
}

TEST_F(AviTest, FiveMegabytesOfGarbageEndTheWalkUnlessAnIndexLeadsOn) {
  FileSpec f = simpleSpec(4);
  Bytes garbage(5 << 20, 0x55);
  f.items.insert(f.items.begin() + 4, Item{"JUNX", {}, false});
  Bytes b = buildAvi(f);
  // Replace the 8-byte "JUNX" chunk by the garbage.
  auto at = std::search(b.begin(), b.end(), std::begin("JUNX"), std::begin("JUNX") + 4);
  size_t pos = size_t(at - b.begin());
  b.erase(b.begin() + long(pos), b.begin() + long(pos) + 8);
  b.insert(b.begin() + long(pos), garbage.begin(), garbage.end());
  uint32_t grown = uint32_t(garbage.size()) - 8;
  auto movi = std::search(b.begin(), b.end(), std::begin("movi"), std::begin("movi") + 4);
  size_t moviSize = size_t(movi - b.begin()) - 4;
  set32(b, moviSize, uint32_t(b[moviSize] | b[moviSize + 1] << 8 | b[moviSize + 2] << 16 | uint32_t(b[moviSize + 3]) << 24) + grown);
  set32(b, 4, uint32_t(b.size()) - 8);
  for (bool index : {false, true}) {
    Bytes file = b;
    if (!index) {
      auto idx = std::search(file.begin(), file.end(), std::begin("idx1"), std::begin("idx1") + 4);
      std::memcpy(&*idx, "JUNK", 4);
    } else {
      // idx1 offsets count the garbage in: rebuild them.
      FileSpec g = f;
      g.items.erase(g.items.begin() + 4);
      Bytes plain = buildAvi(g);
      auto idxPlain = std::search(plain.begin(), plain.end(), std::begin("idx1"), std::begin("idx1") + 4);
      auto idx = std::search(file.begin(), file.end(), std::begin("idx1"), std::begin("idx1") + 4);
      std::copy(idxPlain, plain.end(), idx);
      for (size_t e = 0; e < g.items.size(); ++e) {
        size_t off = size_t(idx - file.begin()) + 8 + e * 16 + 8;
        uint32_t rel = uint32_t(file[off]) | uint32_t(file[off + 1]) << 8 | uint32_t(file[off + 2]) << 16 |
                       uint32_t(file[off + 3]) << 24;
        if (e >= 4) set32(file, off, rel + uint32_t(garbage.size()));
      }
    }
    ASSERT_EQ(openBytes(file), AVI_OK);
    std::vector<Got> got = readAll();
    if (!index) {
      EXPECT_EQ(got.size(), 4u);
      EXPECT_EQ(lastError(), AVI_ERR_NO_CHUNK);
    } else {
      EXPECT_EQ(got.size(), 8u);
      EXPECT_EQ(got.back().data, f.items.back().data);
    }
  }
}

TEST_F(AviTest, SeparateReadersEndEachKindAtItsDuration) {
  FileSpec f = simpleSpec(10);
  f.streams[0].length = 6;  // the header says 600 ms of video
  f.idx1 = false;           // (an index would count the frames)
  ASSERT_EQ(openBytes(buildAvi(f), AVI_FLAG_SEPARATE), AVI_OK);
  std::vector<Got> video = readAll(AVI_KIND_VIDEO);
  EXPECT_EQ(video.size(), 6u);
  EXPECT_EQ(lastError(), AVI_ERR_END);
  std::vector<Got> audio = readAll(AVI_KIND_AUDIO);
  EXPECT_EQ(audio.size(), 10u);
  AviPacket p;
  EXPECT_EQ(next(&p, 3), AVI_FAIL);
  EXPECT_EQ(lastError(), AVI_ERR_KIND);
  EXPECT_EQ(next(&p, AVI_KIND_META), AVI_FAIL);
  EXPECT_EQ(lastError(), AVI_ERR_NO_META);
  EXPECT_EQ(next(&p, AVI_KIND_4), AVI_FAIL);
  EXPECT_EQ(lastError(), AVI_ERR_NO_KIND4);
}

TEST_F(AviTest, ChunkSizeRepairTakesTheIndexLength) {
  ASSERT_EQ(openPath(media("bad_chunk_size.avi")), AVI_OK);
  EXPECT_EQ(ctx()->repair_on, 1);
  std::vector<Got> got = readAll();
  ASSERT_EQ(got.size(), 80u);  // nothing swallowed by the wrong size
  ASSERT_EQ(openPath(media("bad_chunk_size.avi"), AVI_FLAG_NO_REPAIR), AVI_OK);
  EXPECT_EQ(ctx()->repair_on, 0);
  EXPECT_EQ(readAll().size(), 79u);
}

TEST_F(AviTest, ChunkSizeRepairEndsTheReadingWhereTheIndexEnds) {
  // An idx1 that lists only the first 13 of the 20 chunks in the movi data.
  FileSpec f = simpleSpec(10);
  const size_t listed = 13;
  Bytes b = buildAvi(f);
  b.resize(b.size() - (f.items.size() - listed) * 16);
  set32(b, b.size() - listed * 16 - 4, uint32_t(listed * 16));
  set32(b, 4, uint32_t(b.size() - 8));
  ASSERT_EQ(openBytes(b), AVI_OK);
  ASSERT_EQ(ctx()->repair_on, 1);
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<Got> got = readAll();
    ASSERT_EQ(got.size(), listed) << pass;
    for (size_t i = 0; i < listed; ++i) EXPECT_EQ(got[i].data, f.items[i].data) << pass << " " << i;
    EXPECT_EQ(lastError(), AVI_ERR_END);
    AviPacket p;
    EXPECT_EQ(next(&p), AVI_END);
    // A seek back to the start reads the indexed data again.
    AviSeekResult r;
    ASSERT_EQ(seek(0, 0, &r), AVI_OK);
  }
  // Without the repair the walk reads the movi data to its end.
  ASSERT_EQ(openBytes(b, AVI_FLAG_NO_REPAIR), AVI_OK);
  EXPECT_EQ(readAll().size(), f.items.size());
}

TEST_F(AviTest, MpegAudioResyncFindsTheFirstFrameHeader) {
  FileSpec f = simpleSpec(4);
  f.streams[1].scale = 1152;
  f.streams[1].rate = 44100;
  f.streams[1].sampleSize = 0;
  f.streams[1].strf = waveFormat(0x55, 1, 44100, 8000, 100, 0);
  for (int i = 0; i < 4; ++i) {
    Bytes frame(209, 0);
    frame[0] = 0xFF;
    frame[1] = 0xFB;
    frame[2] = 0x50;
    f.items[size_t(2 * i + 1)].data = frame;
  }
  // 200 bytes of junk before the first frame header: two blocks of 100.
  Bytes& first = f.items[1].data;
  first.insert(first.begin(), 200, 0x00);
  ASSERT_EQ(openBytes(buildAvi(f)), AVI_OK);
  EXPECT_EQ(ctx()->mp3_on, 1);
  std::vector<Got> got = readAll();
  ASSERT_EQ(got.size(), 8u);
  EXPECT_EQ(ctx()->mp3_offset_ms, 2 * 1152 * 1000 / 44100);
  EXPECT_EQ(got[1].time, int(ctx()->mp3_offset_ms));
  EXPECT_EQ(got[1].size, 409u);
  // With the caller's buffer the search reads into it, and never swaps it
  // for one of its own.
  for (uint32_t size : {4096u, 300u}) {
    ASSERT_EQ(openBytes(buildAvi(f), AVI_FLAG_CALLER_BUFFER), AVI_OK);
    Bytes buf(size);
    AviPacket p;
    int delivered = 0;
    for (int i = 0; i < 12; ++i)
      if (next(&p, 0, buf.data(), size) == AVI_OK) {
        ++delivered;
        EXPECT_EQ(p.data, buf.data());
      }
    EXPECT_EQ(delivered, size == 4096u ? 8 : 7) << size;  // 409 bytes do not fit in 300
  }
}

// ---- indexes ----

TEST_F(AviTest, Idx1OffsetsRelativeOrAbsolute) {
  for (const char* name : {"idx1_relative.avi", "idx1_absolute.avi"}) {
    ASSERT_EQ(openPath(media(name)), AVI_OK);
    EXPECT_EQ(ctx()->index_mode, AVI_INDEX_IDX1);
    int64_t pos = 0;
    uint32_t size = 0;
    ASSERT_EQ(aviGetOffsetbyIndexFn()(ctx(), AVI_KIND_AUDIO, 2, &pos, &size), AVI_KIND_AUDIO) << name;
    Bytes file = readFile(media(name));
    EXPECT_EQ(std::string(file.begin() + long(pos) - 8, file.begin() + long(pos) - 4), "01wb") << name;
    EXPECT_EQ(size, 1600u);
    EXPECT_EQ(res_.file->first_video_pos + 8, int64_t(ctx()->movi_start) + 8) << name;
  }
}

TEST_F(AviTest, Idx1WithoutTheSelectedAudioDropsTheAudio) {
  FileSpec f = simpleSpec(4);
  for (Item& it : f.items)
    if (it.id == "01wb") it.id = "02wb";  // chunks of a stream that does not exist
  f.streams[1].length = 0;
  ASSERT_EQ(openBytes(buildAvi(f)), AVI_OK);
  EXPECT_EQ(res_.audio_count, 0);
  EXPECT_EQ(res_.audio, nullptr);
  EXPECT_EQ(readAll().size(), 4u);
}

TEST_F(AviTest, OpenDmlIndexIsCheckedAndLoaded) {
  ASSERT_EQ(openPath(media("odml.avi")), AVI_OK);
  EXPECT_EQ(ctx()->index_mode, AVI_INDEX_ODML);
  EXPECT_EQ(ctx()->odml_in_memory, 1);
  EXPECT_EQ(ctx()->super_count[0], 2u);
  EXPECT_EQ(res_.file->first_key_ms, 0u);
  EXPECT_EQ(res_.file->last_key_ms, 3500u);
  EXPECT_EQ(res_.file->duration_ms, 4000u);
  int64_t pos = 0;
  uint32_t size = 0;
  ASSERT_EQ(aviGetOffsetbyIndexFn()(ctx(), AVI_KIND_VIDEO, 30, &pos, &size), AVI_KIND_VIDEO);
  Bytes file = readFile(media("odml.avi"));
  EXPECT_EQ(std::string(file.begin() + long(pos) - 8, file.begin() + long(pos) - 4), "00dc");
  ASSERT_EQ(openPath(media("odml.avi"), AVI_FLAG_SINGLE), AVI_OK);
  EXPECT_EQ(ctx()->index_mode, AVI_INDEX_ODML_MEMORY);
}

TEST_F(AviTest, TruncatedOpenDmlEstimatesItsDurationAndCanAskForTheHostIndex) {
  ASSERT_EQ(openPath(media("odml_truncated.avi")), AVI_OK);
  EXPECT_EQ(ctx()->odml_truncated, 1);
  EXPECT_EQ(ctx()->index_mode, AVI_INDEX_ODML);
  EXPECT_GT(res_.file->duration_ms, res_.file->last_key_ms);
  ASSERT_EQ(openPath(media("odml_truncated.avi"), AVI_FLAG_HOST_INDEX), AVI_OK);
  EXPECT_EQ(ctx()->index_mode, AVI_INDEX_HOST);
}

TEST_F(AviTest, InMemoryOpenDmlEntriesStayInsideTheirBlock) {
  Bytes b = readFile(media("odml.avi"));
  // Claim four billion entries in the first video standard index.
  auto at = std::search(b.begin(), b.end(), std::begin("ix00"), std::begin("ix00") + 4);
  ASSERT_NE(at, b.end());
  set32(b, size_t(at - b.begin()) + 8 + 4, 0xFFFFFFF0u);
  ASSERT_EQ(openBytes(b, AVI_FLAG_SINGLE), AVI_OK);
  std::vector<Got> got = readAll();
  EXPECT_GE(got.size(), 60u);
}

TEST_F(AviTest, HostIndexCountsOnlyNewNodes) {
  FileSpec f = simpleSpec(6);
  f.idx1 = false;
  ASSERT_EQ(openBytes(buildAvi(f), AVI_FLAG_HOST_INDEX), AVI_OK);
  EXPECT_EQ(ctx()->index_mode, AVI_INDEX_HOST);
  std::vector<AviHostIndexNode> nodes(12);
  int64_t pos = ctx()->movi_start;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const Item& it = f.items[i];
    std::memcpy(&nodes[i].id, it.id.data(), 4);
    nodes[i].size = uint32_t(it.data.size());
    nodes[i].pos = pos;
    pos += 8 + int64_t((it.data.size() + 1) & ~size_t(1));
    nodes[i].next = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
  }
  AviHostIndex head{7, 6, &nodes[0], &nodes[5]};
  uint32_t covered = 0;
  ASSERT_EQ(entry(AVI_OP_HOST_INDEX, &slot_, &head, &covered), AVI_OK);
  EXPECT_EQ(covered, 300u);  // three frames
  head = {7, 12, &nodes[0], &nodes[11]};
  ASSERT_EQ(entry(AVI_OP_HOST_INDEX, &slot_, &head, &covered), AVI_OK);
  EXPECT_EQ(covered, 600u);
  EXPECT_EQ(ctx()->host_frames, 6u);
  auto find = reinterpret_cast<AviHostIndexNode* (*)(AviHostIndex*, uint32_t)>(plugin_->symbol("aviFindIndex"));
  ASSERT_NE(find, nullptr);
  EXPECT_EQ(find(&head, 0), &nodes[0]);
  EXPECT_EQ(find(&head, 3), &nodes[3]);
  EXPECT_EQ(find(&head, 50), &nodes[11]);
}

TEST_F(AviTest, EstimateFileSizeAddsTheRiffParts) {
  ASSERT_EQ(openPath(media("odml.avi")), AVI_OK);
  auto estimate = reinterpret_cast<int32_t (*)(AviContext*)>(plugin_->symbol("estimate_file_size"));
  ASSERT_NE(estimate, nullptr);
  AviFioHandle* main = ctx()->fh[AVI_FH_MAIN];
  auto seek = reinterpret_cast<int32_t (*)(AviFioHandle*, int64_t, int32_t)>(plugin_->symbol("__AVI_DMX__fioSeek64"));
  auto tell = reinterpret_cast<int64_t (*)(AviFioHandle*)>(plugin_->symbol("__AVI_DMX__fioTell64"));
  seek(main, 0, KVR_SEEK_SET);
  EXPECT_EQ(estimate(ctx()), 0);
  EXPECT_EQ(tell(main), 0);
  Bytes file = readFile(media("odml.avi"));
  EXPECT_EQ(ctx()->file_size, int64_t(file.size()) - 16);  // two RIFF headers of 8 bytes
}

}  // namespace avitest
