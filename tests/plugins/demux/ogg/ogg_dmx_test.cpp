// Entry, open, packet reading, seeks, the page queues and the page reader of
// the Ogg demuxer, on generated files and tiny hand-built ones.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ogg_internal.h"
#include "ogg_test_support.h"

using namespace oggtest;

namespace {

class OggDmx : public ::testing::Test {
 protected:
  void SetUp() override { mediahost::Host::get().reset(); }
  void TearDown() override {
    mediahost::Host::get().setFaults(mediahost::Faults());
    EXPECT_EQ(mediahost::Host::get().leakReport(), "");
    EXPECT_TRUE(mediahost::Host::get().violations().empty());
  }
  std::string write(const Bytes& bytes) {
    std::string p = dir_.file("t" + std::to_string(++files_) + ".ogg");
    writeFile(p, bytes);
    return p;
  }
  TempDir dir_;
  int files_ = 0;
};

const uint32_t kSerial = 0x80000007u;  // high bit set: serials are unsigned

// An OGM video stream at 25 fps: `pages` pages of `perPage` frames, a key
// frame every `gop` frames (none with 0); the page granule is the number of
// its last frame.
Bytes ogmFile(int pages, int perPage, int gop, size_t frameBytes = 300, bool loudAudio = false) {
  OggBuilder b;
  b.page(kSerial, 0, {ogmVideoHeader("XVID", 400000, 64, 48)}, 2);
  if (loudAudio) {
    // An OGM audio stream without pages whose announced rate leaves the
    // video no bit rate of its own.
    b.page(99, 0, {ogmAudioHeader("0055", 0x0FFFFFFF)}, 2);
  }
  b.page(kSerial, 0, {{0x03, 'c', 'o', 'm'}});
  int n = 0;
  for (int p = 0; p < pages; ++p) {
    std::vector<Bytes> packets;
    for (int i = 0; i < perPage; ++i, ++n) packets.push_back(filled(frameBytes, gop && n % gop == 0 ? 0x08 : 0x00, uint8_t(n)));
    b.page(kSerial, n - 1, packets, p == pages - 1 ? 4 : 0);
  }
  return b.bytes;
}

TEST_F(OggDmx, OpsWithoutWorkAndEmptySlots) {
  KvrEntryFn entry = plugin().entry();
  void* slot = nullptr;
  for (int32_t op : {5, 6, 8, 100}) EXPECT_EQ(entry(op, &slot, nullptr, nullptr), 0);
  EXPECT_EQ(entry(OGG_OP_CLOSE, &slot, nullptr, nullptr), 0);
  OggPacketRequest req{};
  OggPacketResult res{};
  EXPECT_EQ(entry(OGG_OP_READ, &slot, &req, &res), OGG_ERR_ARGUMENT);
  EXPECT_EQ(entry(OGG_OP_SEEK, &slot, &req, &res), OGG_ERR_ARGUMENT);
  EXPECT_EQ(entry(OGG_OP_SELECT_AUDIO, &slot, &req, &res), OGG_ERR_ARGUMENT);
  Session s;
  EXPECT_EQ(s.open(dir_.file("missing.ogg")), OGG_ERR_OPEN_FILE);
  EXPECT_EQ(s.slot, nullptr);
  ASSERT_EQ(s.open(media("vorbis.ogg")), 0);
  EXPECT_EQ(s.entry()(OGG_OP_READ, &s.slot, nullptr, &res), OGG_ERR_ARGUMENT);
  EXPECT_EQ(s.entry()(OGG_OP_SEEK, &s.slot, nullptr, nullptr), OGG_ERR_ARGUMENT);
  EXPECT_EQ(s.entry()(OGG_OP_SELECT_AUDIO, &s.slot, nullptr, nullptr), OGG_ERR_ARGUMENT);
  EXPECT_EQ(s.read(3, nullptr), OGG_ERR_BAD_KIND);
  EXPECT_EQ(s.read(OGG_KIND_VIDEO, nullptr), OGG_ERR_NO_STREAM);
  EXPECT_EQ(plugin().symbol("FucntionList") != nullptr, true);
}

// The reader, queue and packet functions that tools call by name, looked up
// in the built library and run on an open file's context.
TEST_F(OggDmx, ReaderQueueAndPacketFunctionsServeAnOpenFileByName) {
  auto open = sym<int32_t (*)(OggDmxContext*, const char*, int32_t, uint32_t)>("input_stream_open");
  auto enqueue = sym<int32_t (*)(OggDmxContext*, int32_t)>("ogg_page_enqueue");
  auto checkout = sym<int32_t (*)(OggPacketRecord*, OggDmxContext*, uint32_t)>("ogg_packet_checkout");
  auto pages = sym<int32_t (*)(int32_t)>("ogg_get_page_Qnum");
  auto parse = sym<int32_t (*)(OggPageRecord*, OggInputReader*, int32_t)>("ogg_page_parsing");
  ASSERT_NE(open, nullptr);
  ASSERT_NE(enqueue, nullptr);
  ASSERT_NE(checkout, nullptr);

  std::string path = media("vorbis.ogg");
  Session s, t;
  ASSERT_EQ(s.open(path), 0);
  ASSERT_EQ(t.open(path), 0);
  auto* ctx = static_cast<OggDmxContext*>(s.slot);
  const uint32_t serial = uint32_t(s.info.audioSerial);
  // A top-up fills a stream's queue to eleven pages, or with every page of a
  // shorter stream (vorbis.ogg has ten).
  ASSERT_EQ(enqueue(ctx, 1), 0);
  EXPECT_EQ(pages(ctx->streams[0].queue), 10);
  {
    Session u;
    ASSERT_EQ(u.open(media("xvid.ogm")), 0);
    auto* other = static_cast<OggDmxContext*>(u.slot);
    ASSERT_EQ(enqueue(other, 1), 0);
    EXPECT_EQ(pages(other->streams[0].queue), 11);
  }
  // Packet by packet, the same bytes as the entry's reads: the three
  // headers, then audio.
  std::vector<Packet> entry = t.readAll(OGG_KIND_AUDIO, 6);
  ASSERT_EQ(entry.size(), 6u);
  Bytes buffer(1 << 16);
  for (size_t i = 0; i < entry.size(); ++i) {
    OggPacketRecord pkt{};
    pkt.buffer = buffer.data();
    pkt.size = uint32_t(buffer.size());
    ASSERT_EQ(checkout(&pkt, ctx, serial), 0) << i;
    EXPECT_EQ(pkt.serial, serial);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + pkt.size), entry[i].bytes) << i;
  }
  OggPacketRecord small{};
  small.buffer = buffer.data();
  small.size = 1;
  EXPECT_EQ(checkout(&small, ctx, serial), OGG_ERR_TOO_BIG);
  EXPECT_EQ(checkout(&small, ctx, serial + 1), OGG_ERR_NO_STREAM);

  // Readers for two streams of a fresh context, each from the file start;
  // a missing file opens none.
  OggDmxContext fresh;
  std::memset(&fresh, 0, sizeof fresh);
  EXPECT_EQ(open(&fresh, dir_.file("missing.ogg").c_str(), 2, 512), OGG_ERR_OPEN_FILE);
  EXPECT_EQ(fresh.readers[0].file, nullptr);
  ASSERT_EQ(open(&fresh, path.c_str(), 2, 512), 0);
  EXPECT_EQ(fresh.readers[2].file, nullptr);
  for (int k = 0; k < 2; ++k) {
    OggInputReader* r = &fresh.readers[k];
    ASSERT_NE(r->file, nullptr);
    EXPECT_EQ(r->cacheSize, 512u);
    r->serialFilter = OGG_ANY_SERIAL;
    OggPageRecord page;
    ASSERT_EQ(parse(&page, r, 1), 0);
    EXPECT_EQ(page.serial, serial);
    EXPECT_EQ(page.granule, 0);
    ASSERT_NE(page.data, nullptr);
    EXPECT_EQ(Bytes(page.data + 1, page.data + 7), Bytes({'v', 'o', 'r', 'b', 'i', 's'}));
    (*sym<KvrFreeFn*>("ogg_dmx_pFree"))(page.data);
    (*sym<KvrFcloseFn*>("ogg_dmx_pFclose"))(r->file);
    (*sym<KvrFreeFn*>("ogg_dmx_pFree"))(r->cache->base);
    (*sym<KvrFreeFn*>("ogg_dmx_pFree"))(r->cache);
  }
}

TEST_F(OggDmx, OpusIsNoRecognisedAudio) {
  Session s;
  ASSERT_EQ(s.open(media("opus.ogg")), 0);
  EXPECT_EQ(s.info.audioCount, 0u);
  EXPECT_EQ(s.info.videoSerial, -1);
  EXPECT_EQ(s.info.audioSerial, -1);
  EXPECT_EQ(s.info.audioEntryCount, 0u);
  EXPECT_EQ(s.read(OGG_KIND_AUDIO, nullptr), OGG_ERR_NO_STREAM);
}

TEST_F(OggDmx, AnOpenHoldsOneQueueSlotPerStreamOfTheNineShared) {
  QueFn que = sym<QueFn>("KVR_OGG_QUE");
  {
    // Ten streams need ten queues: refused, and nothing stays held.
    Session s;
    EXPECT_EQ(s.open(media("ten_vorbis.ogg")), OGG_ERR_SHORT);
    EXPECT_EQ(s.slot, nullptr);
  }
  Session a, b, c, d;
  ASSERT_EQ(a.open(media("theora_vorbis2.ogg")), 0);
  ASSERT_EQ(b.open(media("theora_vorbis2.ogg")), 0);
  ASSERT_EQ(c.open(media("theora_vorbis2.ogg")), 0);
  EXPECT_EQ(d.open(media("vorbis.ogg")), OGG_ERR_SHORT);
  b.close();
  ASSERT_EQ(d.open(media("vorbis.ogg")), 0);
  EXPECT_GT(d.readAll(OGG_KIND_AUDIO).size(), 3u);
  EXPECT_GT(a.readAll(OGG_KIND_AUDIO).size(), 3u);
  a.close();
  c.close();
  d.close();
  // All nine slots free again.
  OggQueueServices sv{};
  sv.malloc_fn = mediahost::hostMalloc;
  sv.free_fn = mediahost::hostFree;
  std::vector<int32_t> handles;
  for (int i = 0; i < 9; ++i) {
    int32_t h = 0;
    ASSERT_EQ(que(OGG_QUE_CREATE, intptr_t(&h), &sv, nullptr), 0);
    handles.push_back(h);
  }
  for (int32_t h : handles) EXPECT_EQ(que(OGG_QUE_DESTROY, h, nullptr, nullptr), 0);
}

TEST_F(OggDmx, QueueOperationsAndTheirErrors) {
  QueFn que = sym<QueFn>("KVR_OGG_QUE");
  OggQueueServices sv{};
  sv.malloc_fn = mediahost::hostMalloc;
  sv.free_fn = mediahost::hostFree;
  uint32_t capacity = 2;
  EXPECT_EQ(que(OGG_QUE_CREATE, 0, &sv, &capacity), OGG_QUE_BAD);
  int32_t h = 0;
  EXPECT_EQ(que(OGG_QUE_CREATE, intptr_t(&h), nullptr, &capacity), OGG_QUE_BAD);
  ASSERT_EQ(que(OGG_QUE_CREATE, intptr_t(&h), &sv, &capacity), 0);
  ASSERT_GE(h, 1);
  ASSERT_LE(h, 9);
  uint8_t a[3] = {1, 2, 3}, b[5] = {9, 8, 7, 6, 5}, out[8] = {};
  OggQueueItem item{a, 3, {11, 12, 13, 14, 15, 16}};
  OggQueueItem nulldata{nullptr, 3, {0}}, empty{a, 0, {0}};
  EXPECT_EQ(que(OGG_QUE_APPEND, h, &nulldata, nullptr), OGG_QUE_NULL_DATA);
  EXPECT_EQ(que(OGG_QUE_APPEND, h, &empty, nullptr), OGG_QUE_ZERO_SIZE);
  EXPECT_EQ(que(OGG_QUE_APPEND, h, nullptr, nullptr), OGG_QUE_BAD);
  OggQueueItem take{out, 0, {0}};
  EXPECT_EQ(que(OGG_QUE_TAKE, h, &take, nullptr), OGG_QUE_EMPTY);
  EXPECT_EQ(que(OGG_QUE_OLDEST_SIZE, h, nullptr, nullptr), OGG_QUE_EMPTY);
  ASSERT_EQ(que(OGG_QUE_APPEND, h, &item, nullptr), 0);
  OggQueueItem second{b, 5, {21}};
  ASSERT_EQ(que(OGG_QUE_APPEND, h, &second, nullptr), 0);
  EXPECT_EQ(que(OGG_QUE_APPEND, h, &item, nullptr), OGG_QUE_FULL);
  OggQueueStatus st{};
  ASSERT_EQ(que(OGG_QUE_STATUS, h, &st, nullptr), 0);
  EXPECT_EQ(st.count, 2u);
  EXPECT_EQ(st.bytes, 8u);
  EXPECT_EQ(sym<int32_t (*)(int32_t)>("ogg_get_page_Qnum")(h), 2);
  EXPECT_EQ(que(OGG_QUE_OLDEST_SIZE, h, nullptr, nullptr), 3);
  OggQueueItem peek{out, 0, {0}};
  ASSERT_EQ(que(OGG_QUE_PEEK, h, &peek, nullptr), 0);
  EXPECT_EQ(peek.size, 3u);
  ASSERT_EQ(que(OGG_QUE_TAKE, h, &take, nullptr), 0);
  EXPECT_EQ(take.size, 3u);
  EXPECT_EQ(take.user[5], 16u);
  EXPECT_EQ(Bytes(out, out + 3), Bytes(a, a + 3));
  OggQueueItem nobuf{nullptr, 0, {0}};
  EXPECT_EQ(que(OGG_QUE_TAKE, h, &nobuf, nullptr), OGG_QUE_NULL_DATA);
  ASSERT_EQ(que(OGG_QUE_STATUS, h, &st, nullptr), 0);
  EXPECT_EQ(st.totalQueued, 2u);
  EXPECT_EQ(st.totalTaken, 1u);
  for (intptr_t bad : {intptr_t(0), intptr_t(10), intptr_t(-1), intptr_t(h == 9 ? 8 : h + 1)})
    EXPECT_EQ(que(OGG_QUE_STATUS, bad, &st, nullptr), OGG_QUE_BAD) << bad;
  EXPECT_EQ(que(OGG_QUE_NOTHING, 42, nullptr, nullptr), 0);
  EXPECT_EQ(que(OGG_QUE_DESTROY, h, nullptr, nullptr), 0);
  EXPECT_EQ(que(OGG_QUE_DESTROY, h, nullptr, nullptr), OGG_QUE_BAD);
  // Nine slots, the tenth create is refused; a destroyed slot is handed out again.
  std::vector<int32_t> all;
  for (int i = 0; i < 9; ++i) {
    int32_t k = 0;
    ASSERT_EQ(que(OGG_QUE_CREATE, intptr_t(&k), &sv, nullptr), 0);
    all.push_back(k);
  }
  int32_t extra = 0;
  EXPECT_EQ(que(OGG_QUE_CREATE, intptr_t(&extra), &sv, nullptr), OGG_QUE_NO_SLOT);
  ASSERT_EQ(que(OGG_QUE_DESTROY, all[4], nullptr, nullptr), 0);
  ASSERT_EQ(que(OGG_QUE_CREATE, intptr_t(&extra), &sv, nullptr), 0);
  EXPECT_EQ(extra, all[4]);
  for (int32_t k : all) que(OGG_QUE_DESTROY, k, nullptr, nullptr);
}

TEST_F(OggDmx, PacketsAreJoinedAcrossPagesAndTimedByTheirFrames) {
  OggBuilder b;
  b.page(kSerial, 0, {ogmVideoHeader("XVID", 400000, 64, 48)}, 2);
  b.page(kSerial, 0, {{0x03, 'c'}});
  Bytes p255 = filled(255, 0x08, 1), p600 = filled(600, 0x00, 2), small = filled(20, 0x00, 3);
  // Frame 0: exactly 255 bytes (lacing 255 then 0); frame 1 spans three pages.
  b.raw(kSerial, 0, {255, 0, 255}, [&] {
    Bytes d = p255;
    d.insert(d.end(), p600.begin(), p600.begin() + 255);
    return d;
  }());
  b.raw(kSerial, -1, {255}, Bytes(p600.begin() + 255, p600.begin() + 510), 1);
  // The tail of frame 1, an empty packet (stepped over) and two more frames.
  b.raw(kSerial, 3, {90, 0, 20, 20}, [&] {
    Bytes d(p600.begin() + 510, p600.end());
    d.insert(d.end(), small.begin(), small.end());
    d.insert(d.end(), small.begin(), small.end());
    return d;
  }(), 1 | 4);
  Session s;
  ASSERT_EQ(s.open(write(b.bytes)), 0);
  EXPECT_EQ(s.info.videoSerial, int32_t(kSerial));
  EXPECT_EQ(s.info.width, 64u);
  EXPECT_EQ(s.info.frameRate, 25000u);
  std::vector<Packet> all = s.readAll(OGG_KIND_VIDEO);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].bytes, Bytes(p255.begin() + 1, p255.end()));
  EXPECT_EQ(all[1].bytes, Bytes(p600.begin() + 1, p600.end()));
  EXPECT_EQ(all[2].bytes.size(), 19u);
  EXPECT_EQ(all[0].serial, kSerial);
  // The last page's granule (3) is its last frame: the frames before count back.
  EXPECT_EQ(all[2].timeMs, 80);
  EXPECT_EQ(all[3].timeMs, 120);
  EXPECT_EQ(s.read(OGG_KIND_VIDEO, nullptr), OGG_ERR_END);
}

TEST_F(OggDmx, TooSmallBufferKeepsThePacketForTheRetry) {
  Bytes file = ogmFile(3, 4, 4, 700);
  Session ref;
  ASSERT_EQ(ref.open(write(file)), 0);
  std::vector<Packet> want = ref.readAll(OGG_KIND_VIDEO);
  ref.close();
  Session s;
  ASSERT_EQ(s.open(write(file)), 0);
  std::vector<Packet> got;
  for (;;) {
    Packet p;
    int32_t r = s.read(OGG_KIND_VIDEO, &p, 400);
    if (r == OGG_ERR_TOO_BIG) r = s.read(OGG_KIND_VIDEO, &p);
    if (r != 0) break;
    got.push_back(p);
  }
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].bytes, want[i].bytes) << i;
}

TEST_F(OggDmx, AFailedPageAllocationIsReportedAndTheRetryReadsThePage) {
  Bytes file = ogmFile(6, 3, 3, 900);
  Session ref;
  ASSERT_EQ(ref.open(write(file)), 0);
  std::vector<Packet> want = ref.readAll(OGG_KIND_VIDEO);
  ref.close();
  Session s;
  ASSERT_EQ(s.open(write(file)), 0);
  std::vector<Packet> got;
  int failures = 0;
  for (int calls = 0; calls < 200; ++calls) {
    // Every other call fails one allocation of the page top-up.
    mediahost::Faults f;
    f.failAllocAt = calls % 2 ? 0 : 1 + calls % 3;
    mediahost::Host::get().setFaults(f);
    Packet p;
    int32_t r = s.read(OGG_KIND_VIDEO, &p);
    mediahost::Host::get().setFaults(mediahost::Faults());
    if (r == OGG_ERR_ARGUMENT) {
      ++failures;
      continue;
    }
    if (r != 0) {
      EXPECT_EQ(r, OGG_ERR_END);
      break;
    }
    got.push_back(p);
  }
  EXPECT_GT(failures, 0);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].bytes, want[i].bytes) << i;
}

TEST_F(OggDmx, EveryFailedAllocationOfAnOpenReleasesEverything) {
  QueFn que = sym<QueFn>("KVR_OGG_QUE");
  for (unsigned long n = 1; n < 80; ++n) {
    mediahost::Faults f;
    f.failAllocAt = n;
    mediahost::Host::get().setFaults(f);
    Session s;
    int32_t r = s.open(media("theora_vorbis2.ogg"));
    mediahost::Host::get().setFaults(mediahost::Faults());
    if (r == 0) {
      s.readAll(OGG_KIND_AUDIO, 5);
      s.close();
    } else {
      EXPECT_EQ(s.slot, nullptr) << n;
    }
    EXPECT_EQ(mediahost::Host::get().leakReport(), "") << n;
  }
  // Every queue slot is free again.
  OggQueueServices sv{};
  sv.malloc_fn = mediahost::hostMalloc;
  sv.free_fn = mediahost::hostFree;
  std::vector<int32_t> handles(9);
  for (int32_t& h : handles) ASSERT_EQ(que(OGG_QUE_CREATE, intptr_t(&h), &sv, nullptr), 0);
  for (int32_t h : handles) que(OGG_QUE_DESTROY, h, nullptr, nullptr);
}

TEST_F(OggDmx, IdentificationHeadersAreReadOnlyAsFarAsThePageHolds) {
  // Each header stops early on its page: every field past the page's end
  // reads as 0 (a FLAC field of 0 still gives its count plus one).
  struct Case {
    const char* name;
    Bytes header;
    uint32_t videoCodec, width, height, frameRate;
    uint32_t audioCodec, sampleRate, channels, bits, minBitrate, maxBitrate;
  };
  Bytes flac = {0x7F, 'F', 'L', 'A', 'C', 1, 0, 0, 1, 'f', 'L', 'a', 'C', 0, 0, 0, 34};
  Bytes flacZero = flac;
  flacZero.resize(51, 0);  // block and frame sizes 0
  flacZero[27] = 0x0A;     // 44100 Hz
  flacZero[28] = 0xC4;
  flacZero[29] = 0x42;     // two channels
  const Case cases[] = {
      {"vorbis", {0x01, 'v', 'o', 'r', 'b', 'i', 's', 0}, 0, 0, 0, 0, OGG_CODEC_VORBIS, 0, 0, 16, 0, 0},
      {"theora", {0x80, 't', 'h', 'e', 'o', 'r', 'a', 3, 2}, OGG_CODEC_THEORA, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {"flac", flac, 0, 0, 0, 0, OGG_CODEC_FLAC, 0, 1, 1, 0, 0},
      {"flac with zero block sizes", flacZero, 0, 0, 0, 0, OGG_CODEC_FLAC, 44100, 2, 1, 0, 0},
      {"ogm video", {0x01, 'v', 'i', 'd', 'e', 'o', 0, 0, 0, 'X', 'V'}, 'X' | 'V' << 8, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {"ogm audio", {0x01, 'a', 'u', 'd', 'i', 'o', 0, 0, 0, '5', '5'}, 0, 0, 0, 0, 0x55, 0, 0, 16, 0, 0}};
  for (const Case& c : cases) {
    OggBuilder b;
    b.page(11, 0, {c.header}, 2);
    b.page(11, 4096, {filled(40, 0, 1), filled(40, 0, 2)}, 4);
    Session s;
    ASSERT_EQ(s.open(write(b.bytes)), 0) << c.name;
    const bool video = c.videoCodec != 0;
    EXPECT_EQ(s.info.videoEntryCount, video ? 1u : 0u) << c.name;
    EXPECT_EQ(s.info.audioCount, video ? 0u : 1u) << c.name;
    EXPECT_EQ(video ? s.info.videoSerial : s.info.audioSerial, 11) << c.name;
    EXPECT_EQ(s.info.videoCodec, c.videoCodec) << c.name;
    EXPECT_EQ(s.info.width, c.width) << c.name;
    EXPECT_EQ(s.info.height, c.height) << c.name;
    EXPECT_EQ(s.info.frameRate, c.frameRate) << c.name;
    EXPECT_EQ(s.info.audioCodec, c.audioCodec) << c.name;
    EXPECT_EQ(s.info.sampleRate, c.sampleRate) << c.name;
    EXPECT_EQ(s.info.channels, c.channels) << c.name;
    EXPECT_EQ(s.info.bitsPerSample, c.bits) << c.name;
    EXPECT_EQ(s.info.audioMinBitrate, c.minBitrate) << c.name;
    EXPECT_EQ(s.info.audioMaxBitrate, c.maxBitrate) << c.name;
    // Reading on stays within the pages too: audio hands out its header
    // packet in-band, the OGM video header is stepped over and the Theora
    // stream's two packets became its header data.
    size_t packets = !video ? 3 : c.videoCodec == OGG_CODEC_THEORA ? 0 : 2;
    EXPECT_EQ(s.readAll(video ? OGG_KIND_VIDEO : OGG_KIND_AUDIO, 10).size(), packets) << c.name;
  }
}

// A Theora identification header: 64x48, num/den fps (25 by default),
// key-frame shift 6.
Bytes theoraIdHeader(uint32_t num = 25, uint32_t den = 1) {
  Bytes h = {0x80, 't', 'h', 'e', 'o', 'r', 'a', 3, 2, 1};
  putBe(&h, 4, 2);
  putBe(&h, 3, 2);
  putBe(&h, 64, 3);
  putBe(&h, 48, 3);
  h.insert(h.end(), {0, 0});
  putBe(&h, num, 4);
  putBe(&h, den, 4);
  putBe(&h, 1, 3);
  putBe(&h, 1, 3);
  h.push_back(0);
  putBe(&h, 0, 3);
  h.push_back(0x00);  // quality 0, shift 6: bits 00000011 0...
  h.push_back(0xC0);
  return h;
}

// One packet over as many pages as it needs.
void spanning(OggBuilder* b, uint32_t serial, const Bytes& packet) {
  size_t at = 0;
  bool first = true;
  while (at < packet.size() || first) {
    size_t n = std::min(packet.size() - at, size_t(255 * 255));
    Bytes lacing(n / 255, 255);
    bool ends = n < size_t(255 * 255) || at + n == packet.size();
    if (n < size_t(255 * 255)) lacing.push_back(uint8_t(n % 255));
    b->raw(serial, ends && at + n == packet.size() ? 0 : -1, lacing,
           Bytes(packet.begin() + long(at), packet.begin() + long(at + n)), first ? 0 : 1);
    at += n;
    first = false;
  }
}

TEST_F(OggDmx, TheoraHeadersBeyondTheirBufferFailTheOpenButKeepTheFile) {
  OggBuilder b;
  b.page(5, 0, {theoraIdHeader()}, 2);
  Bytes comment = filled(530000, 0x81, 4);
  std::copy_n("theora", 6, comment.begin() + 1);
  spanning(&b, 5, comment);
  b.page(5, 0, {{0x82, 't', 'h', 'e', 'o', 'r', 'a', 0}});
  b.page(5, 1 << 6, {filled(100, 0x00, 9)}, 4);
  Session s;
  EXPECT_EQ(s.open(write(b.bytes)), OGG_ERR_HEADERS);
  ASSERT_NE(s.slot, nullptr);
  EXPECT_EQ(s.close(), 0);

  // Headers that fit: the three packets with their 16-bit lengths.
  OggBuilder ok;
  ok.page(5, 0, {theoraIdHeader()}, 2);
  ok.page(5, 0, {{0x81, 't', 'h', 'e', 'o', 'r', 'a', 1}, {0x82, 't', 'h', 'e', 'o', 'r', 'a', 2}});
  ok.page(5, 2 << 6, {filled(100, 0x00, 9), filled(50, 0x40, 9), filled(60, 0x40, 9)}, 4);
  Session t;
  ASSERT_EQ(t.open(write(ok.bytes)), 0);
  EXPECT_EQ(t.info.videoCodec, OGG_CODEC_THEORA);
  EXPECT_EQ(t.info.width, 64u);
  EXPECT_EQ(t.info.frameRate, 25000u);
  EXPECT_EQ(t.info.videoPrivLength, 42u + 8 + 8 + 6);
  std::vector<Packet> frames = t.readAll(OGG_KIND_VIDEO);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].timeMs, 0);
  EXPECT_EQ(frames[1].timeMs, 40);
  EXPECT_EQ(frames[2].timeMs, 80);
}

TEST_F(OggDmx, TheoraFrameTimesComeFromTheFrameRateFractionTruncatedOnce) {
  // 30000/1001 fps: one frame is 333666.67 in 100 ns units; times built on a
  // rounded frame duration fall a millisecond behind at frame 30 and 133 ms
  // behind at frame 2,000,000. Each page's granule numbers the frame of the
  // packet on the next page (shift 6: the frame number in the key-frame
  // part); the last one is beyond what 32 bits of milliseconds hold.
  const int64_t frames[] = {30, 30000, 2000000, int64_t(1) << 40};
  const int32_t wantMs[] = {0, 1001, 1001000, 66733333, INT32_MAX};
  OggBuilder b;
  b.page(5, 0, {theoraIdHeader(30000, 1001)}, 2);
  b.page(5, 0, {{0x81, 't', 'h', 'e', 'o', 'r', 'a', 1}, {0x82, 't', 'h', 'e', 'o', 'r', 'a', 2}});
  b.page(5, frames[0] << 6, {filled(100, 0x00, 1)});
  for (size_t i = 1; i < 4; ++i) b.page(5, frames[i] << 6, {filled(50, 0x40, uint8_t(i))});
  b.page(5, (frames[3] << 6) + 1, {filled(50, 0x40, 9)}, 4);
  Session s;
  ASSERT_EQ(s.open(write(b.bytes)), 0);
  EXPECT_EQ(s.info.frameRate, 29970u);
  std::vector<Packet> got = s.readAll(OGG_KIND_VIDEO);
  ASSERT_EQ(got.size(), 5u);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].timeMs, wantMs[i]) << "frame " << i;
}

TEST_F(OggDmx, SeeksIntoTheLastGopOfTheoraAloneLandOnItsKeyFrame) {
  // Theora alone at 15 fps, a key frame every 60 frames: 0, 4000 and
  // 8000 ms, the last GOP from 8000 to the end at 10 s. Backward lands on the
  // last key frame at or before the target, forward on the first one at or
  // after it and past the last one on the last one (policy 2); a target equal
  // to a key frame's time lands on that frame.
  Session s;
  ASSERT_EQ(s.open(media("theora_gop.ogg")), 0);
  std::vector<int32_t> keys;
  for (const Packet& p : s.readAll(OGG_KIND_VIDEO))
    if (!p.bytes.empty() && (p.bytes[0] & 0xC0) == 0) keys.push_back(p.timeMs);
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys, (std::vector<int32_t>{0, 4000, 8000}));
  const uint32_t back = OGG_SEEK_ABSOLUTE | OGG_SEEK_BACKWARD, fwd = OGG_SEEK_ABSOLUTE;
  // Targets at and around the key frames' times as the library reports them.
  struct Case {
    int32_t target;
    uint32_t flags;
    size_t key;
  } cases[] = {{9000, back, 2},        {9000, fwd, 2},         {8500, fwd, 2},         {9999, back, 2},
               {9999, fwd, 2},         {keys[2], back, 2},     {keys[2], fwd, 2},      {keys[2] + 1, back, 2},
               {keys[2] + 1, fwd, 2},  {keys[2] - 1, back, 1}, {keys[2] - 1, fwd, 2},  {keys[1], back, 1},
               {keys[1], fwd, 1},      {keys[1] + 1, fwd, 2},  {keys[1] - 1, back, 0}, {2000, fwd, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.target) + (c.flags & OGG_SEEK_BACKWARD ? " backward" : " forward"));
    OggSeekResult res{};
    ASSERT_EQ(s.seek(c.target, c.flags, &res), 0);
    EXPECT_EQ(res.kind, uint32_t(OGG_KIND_VIDEO));
    EXPECT_EQ(res.timeMs, keys[c.key]);
    Packet p;
    ASSERT_EQ(s.read(OGG_KIND_VIDEO, &p), 0);
    EXPECT_EQ(p.timeMs, keys[c.key]);
    ASSERT_FALSE(p.bytes.empty());
    EXPECT_EQ(p.bytes[0] & 0xC0, 0) << "not an intra frame";
  }
}

TEST_F(OggDmx, SeekPastTheLastKeyFrameFollowsThePolicy) {
  OggSeekResult res{};
  Session fail;
  ASSERT_EQ(fail.open(media("xvid.ogm"), OGG_END_FAIL), 0);
  uint32_t duration = fail.info.durationMs;
  ASSERT_GT(duration, 2000u);
  EXPECT_EQ(fail.seek(int32_t(duration) + 1, OGG_SEEK_ABSOLUTE, &res), OGG_ERR_RANGE);
  EXPECT_EQ(fail.seek(int32_t(duration) - 10, OGG_SEEK_ABSOLUTE, &res), OGG_ERR_NO_KEY);
  Session report;
  ASSERT_EQ(report.open(media("xvid.ogm"), OGG_END_REPORT), 0);
  EXPECT_EQ(report.seek(int32_t(duration) - 10, OGG_SEEK_ABSOLUTE, &res), OGG_ERR_END);
  Session last;
  ASSERT_EQ(last.open(media("xvid.ogm"), OGG_END_LAST_KEY), 0);
  std::vector<Packet> frames = last.readAll(OGG_KIND_VIDEO);
  ASSERT_EQ(last.seek(int32_t(duration) - 10, OGG_SEEK_ABSOLUTE, &res), 0);
  EXPECT_EQ(res.kind, uint32_t(OGG_KIND_VIDEO));
  // The last key frame of a 15 fps file with a key frame every 10 frames.
  int32_t lastKey = 0;
  for (size_t i = 0; i < frames.size(); i += 10) lastKey = frames[i].timeMs;
  EXPECT_EQ(res.timeMs, lastKey);
  Packet p;
  ASSERT_EQ(last.read(OGG_KIND_VIDEO, &p), 0);
  EXPECT_EQ(p.timeMs, lastKey);
  // Relative: from the last delivered time stamp back to the start.
  ASSERT_EQ(last.seek(-lastKey, 0, &res), 0);
  EXPECT_EQ(res.timeMs, 0);
}

// The granules of a file's pages that end a packet, in file order.
std::vector<int64_t> pageGranules(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int64_t> granules;
  for (size_t i = 0; i + 27 <= d.size() && !memcmp(&d[i], "OggS", 4);) {
    int64_t g = 0;
    for (int b = 7; b >= 0; --b) g = g << 8 | d[i + 6 + b];
    size_t n = d[i + 26], size = 0;
    for (size_t k = 0; k < n && i + 27 + k < d.size(); ++k) size += d[i + 27 + k];
    if (g != -1) granules.push_back(g);
    i += 27 + n + size;
  }
  return granules;
}

TEST_F(OggDmx, AudioTargetsInTheLastPageLandOnItsFirstPacket) {
  // One FLAC stream of 44100 Hz: the last page starts where the page
  // before it ends. A target in the last page lands there, from the file
  // start and from a stream read elsewhere; a guess from the overall bit
  // rate falls past the last page's start for the later targets.
  std::vector<int64_t> granules = pageGranules(media("flac.ogg"));
  ASSERT_GE(granules.size(), 4u);
  int32_t lastStart = int32_t(granules[granules.size() - 2] * 1000 / 44100);
  Session s;
  ASSERT_EQ(s.open(media("flac.ogg")), 0);
  int32_t end = int32_t(s.info.durationMs);
  ASSERT_GT(end, lastStart + 100);
  for (int32_t before : {-1, 1000, 2000}) {
    for (int32_t target : {lastStart + 1, (lastStart + end) / 2, end - 1, end}) {
      SCOPED_TRACE("target " + std::to_string(target) + " after " + std::to_string(before));
      OggSeekResult res{};
      if (before >= 0) {
        ASSERT_EQ(s.seek(before, OGG_SEEK_ABSOLUTE, &res), 0);
      }
      ASSERT_EQ(s.seek(target, OGG_SEEK_ABSOLUTE, &res), 0);
      EXPECT_EQ(res.timeMs, lastStart);
      Packet p;
      ASSERT_EQ(s.read(OGG_KIND_AUDIO, &p), 0);
      EXPECT_EQ(p.timeMs, lastStart);
    }
  }
}

size_t g_reads = 0;
size_t countedRead(void* buffer, size_t size, size_t count, void* file) {
  ++g_reads;
  return mediahost::hostFread(buffer, size, count, file);
}

TEST_F(OggDmx, AnEndFarPastTheAudioSeeksInAFewSteps) {
  // An OGM audio stream of one header page that claims a week: a seek near
  // that end finds no packet after any position and steps back to the
  // start, where there is none either.
  OggBuilder b;
  b.page(kSerial, 44100ll * 7 * 24 * 3600, {ogmAudioHeader("0001")}, 2);
  Session s;
  s.host.fread_fn = countedRead;
  ASSERT_EQ(s.open(write(b.bytes)), 0);
  ASSERT_EQ(s.info.audioCount, 1u);
  ASSERT_GT(s.info.durationMs, 600000000u);
  OggSeekResult res{};
  g_reads = 0;
  EXPECT_EQ(s.seek(int32_t(s.info.durationMs) - 10, OGG_SEEK_ABSOLUTE, &res), OGG_ERR_NO_KEY);
  // Steps of one second went back 600,000 times, each reading the file.
  EXPECT_LT(g_reads, 1000u);
}

TEST_F(OggDmx, BackwardSeekBeforeEveryLaterKeyFrameLandsAtTheStart) {
  // One key frame, at the start; large frames so that the backward steps
  // have a long way to go.
  Bytes file = ogmFile(40, 5, 1000, 4000);
  Session s;
  ASSERT_EQ(s.open(write(file)), 0);
  OggSeekResult res{};
  ASSERT_EQ(s.seek(7000, OGG_SEEK_ABSOLUTE | OGG_SEEK_BACKWARD, &res), 0);
  EXPECT_EQ(res.timeMs, 0);
  Packet p;
  ASSERT_EQ(s.read(OGG_KIND_VIDEO, &p), 0);
  EXPECT_EQ(p.timeMs, 0);
  // Forward finds no key frame after the target: the last key frame (policy 2).
  ASSERT_EQ(s.seek(3000, OGG_SEEK_ABSOLUTE, &res), 0);
  EXPECT_EQ(res.timeMs, 0);
  // Without a video bit rate the backward steps still move.
  Session z;
  ASSERT_EQ(z.open(write(ogmFile(40, 5, 1000, 4000, true))), 0);
  EXPECT_EQ(z.info.videoBitrate, 0u);
  EXPECT_EQ(z.info.audioCount, 1u);
  ASSERT_EQ(z.seek(7000, OGG_SEEK_ABSOLUTE | OGG_SEEK_BACKWARD, &res), 0);
  EXPECT_EQ(res.timeMs, 0);
  ASSERT_EQ(z.read(OGG_KIND_VIDEO, &p), 0);
  EXPECT_EQ(p.timeMs, 0);
}

TEST_F(OggDmx, AStreamWithoutKeyFramesHasNoLastKeyFrame) {
  Session s;
  ASSERT_EQ(s.open(write(ogmFile(10, 5, 0, 500))), 0);
  OggSeekResult res{};
  EXPECT_EQ(s.seek(int32_t(s.info.durationMs) - 1, OGG_SEEK_ABSOLUTE, &res), OGG_ERR_RANGE);
}

TEST_F(OggDmx, SelectAudioChoosesAnotherStreamWithItsOwnReader) {
  Session s;
  ASSERT_EQ(s.open(media("theora_vorbis2.ogg")), 0);
  ASSERT_EQ(s.info.audioCount, 2u);
  ASSERT_EQ(s.info.audioEntryCount, 2u);
  EXPECT_EQ(s.info.audioEntries[0].sampleRate, 44100u);
  EXPECT_EQ(s.info.audioEntries[1].sampleRate, 22050u);
  EXPECT_EQ(s.info.videoEntryCount, 1u);
  EXPECT_EQ(s.info.videoCodec, OGG_CODEC_THEORA);
  // Three headers with their 16-bit lengths.
  ASSERT_GT(s.info.videoPrivLength, 6u);
  EXPECT_EQ(s.info.videoPriv[2], 0x80);
  Packet first;
  ASSERT_EQ(s.read(OGG_KIND_AUDIO, &first), 0);
  EXPECT_EQ(first.bytes[0], 1);  // the identification header, in-band
  OggAudioEntry entry{};
  ASSERT_EQ(s.select(1, &entry), 0);
  EXPECT_EQ(entry.sampleRate, 22050u);
  EXPECT_EQ(entry.codecId, OGG_CODEC_VORBIS);
  EXPECT_EQ(entry.serial, 0u);
  Packet p;
  ASSERT_EQ(s.read(OGG_KIND_AUDIO, &p), 0);
  EXPECT_EQ(p.serial, s.info.audioEntries[1].serial);
  EXPECT_EQ(p.bytes[0], 1);
  ASSERT_EQ(s.select(0, &entry), 0);
  ASSERT_EQ(s.read(OGG_KIND_AUDIO, &p), 0);
  EXPECT_EQ(p.bytes[0], 3);  // the first stream goes on where it stood
}

TEST_F(OggDmx, CallerChosenStreamsAreReadBySerialNumber) {
  Session s;
  ASSERT_EQ(s.open(media("theora_vorbis2.ogg"), OGG_END_LAST_KEY, OGG_OPEN_CALLER_STREAMS), 0);
  uint32_t second = s.info.audioEntries[1].serial;
  Packet p;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(s.read(OGG_KIND_AUDIO, &p, 1 << 20, second), 0);
    EXPECT_EQ(p.serial, second);
  }
  ASSERT_EQ(s.read(OGG_KIND_VIDEO, &p, 1 << 20, uint32_t(s.info.videoSerial)), 0);
  EXPECT_EQ(p.serial, uint32_t(s.info.videoSerial));
  EXPECT_EQ(s.read(OGG_KIND_AUDIO, &p, 1 << 20, 12345), OGG_ERR_NO_STREAM);
}

TEST_F(OggDmx, ChainedLinksAreTwoAudioStreams) {
  Session s;
  ASSERT_EQ(s.open(media("chained.ogg")), 0);
  ASSERT_EQ(s.info.audioCount, 2u);
  size_t first = s.readAll(OGG_KIND_AUDIO).size();
  OggAudioEntry entry{};
  ASSERT_EQ(s.select(1, &entry), 0);
  size_t second = s.readAll(OGG_KIND_AUDIO).size();
  EXPECT_GT(first, 3u);
  EXPECT_GT(second, 3u);
}

int32_t brokenTell(void*) { return -1; }

TEST_F(OggDmx, FileSizeComesFromTheSixtyFourBitTell) {
  Session wide;
  wide.host.ftell_fn = brokenTell;
  ASSERT_EQ(wide.open(media("vorbis.ogg")), 0);
  Session narrow;
  narrow.host.fseek64_fn = nullptr;
  narrow.host.ftell64_fn = nullptr;
  ASSERT_EQ(narrow.open(media("vorbis.ogg")), 0);
  EXPECT_GT(narrow.info.fileSize, 0);
  EXPECT_EQ(wide.info.fileSize, narrow.info.fileSize);
  EXPECT_EQ(wide.readAll(OGG_KIND_AUDIO).size(), narrow.readAll(OGG_KIND_AUDIO).size());
}

// --- the page reader alone --------------------------------------------------

class OggReader : public OggDmx {
 protected:
  void SetUp() override {
    OggDmx::SetUp();
    const KvrHostServices& h = mediahost::Host::get().services();
    *sym<KvrMallocFn*>("ogg_dmx_pMalloc") = h.malloc_fn;
    *sym<KvrFreeFn*>("ogg_dmx_pFree") = h.free_fn;
    *sym<KvrFreadFn*>("ogg_dmx_pFread") = h.fread_fn;
    *sym<KvrFseekFn*>("ogg_dmx_pFseek") = h.fseek_fn;
    *sym<KvrFseek64Fn*>("ogg_dmx_pFseek64") = h.fseek64_fn;
  }
  void TearDown() override {
    if (reader_.file) mediahost::hostFclose(reader_.file);
    OggDmx::TearDown();
  }
  void openReader(const Bytes& bytes, uint32_t cacheSize, int32_t filter) {
    cache_.assign(cacheSize, 0);
    desc_ = OggCache{cache_.data(), cache_.data(), 0, 0};
    reader_ = OggInputReader{mediahost::hostFopen(write(bytes).c_str(), "rb"), filter, 0, &desc_, cacheSize, 0};
  }
  std::vector<OggPageRecord> pages() {
    auto parse = sym<int32_t (*)(OggPageRecord*, OggInputReader*, int32_t)>("ogg_page_parsing");
    std::vector<OggPageRecord> all;
    OggPageRecord p;
    while (parse(&p, &reader_, 1) == 0) {
      all.push_back(p);
      if (p.ownsData && p.data) mediahost::hostFree(p.data);
    }
    return all;
  }
  Bytes cache_;
  OggCache desc_{};
  OggInputReader reader_{};
};

TEST_F(OggReader, PagesOfOtherSerialsAreSkippedUnlessEveryPageIsAccepted) {
  OggBuilder b;
  for (int i = 0; i < 6; ++i) b.page(i % 2 ? 5 : 6, i, {filled(100 + i, 0, uint8_t(i))});
  openReader(b.bytes, 64, 5);
  std::vector<OggPageRecord> five = pages();
  ASSERT_EQ(five.size(), 3u);
  for (const OggPageRecord& p : five) EXPECT_EQ(p.serial, 5u);
  EXPECT_EQ(five[2].dataSize, 105u);
  EXPECT_EQ(five[2].segmentCount, 1u);
  EXPECT_EQ(five[2].lastComplete, 1u);
  mediahost::hostFclose(reader_.file);
  openReader(b.bytes, 64, OGG_ANY_SERIAL);
  EXPECT_EQ(pages().size(), 6u);
}

TEST_F(OggReader, GarbageBetweenPagesAndAcrossCacheBlocksIsStepped) {
  OggBuilder b;
  b.page(9, 1, {filled(10, 0, 1)});
  for (size_t n : {1u, 61u, 62u, 63u, 200u, 800u}) {
    b.bytes.insert(b.bytes.end(), n, 'O');
    b.page(9, 1, {filled(10, 0, 2)});
  }
  // A lone capture pattern without a page after it.
  b.bytes.insert(b.bytes.end(), {'O', 'g', 'g', 'S', 1, 2, 3});
  openReader(b.bytes, 64, OGG_ANY_SERIAL);
  EXPECT_EQ(pages().size(), 7u);
}

TEST_F(OggReader, SixteenBlocksWithoutCapturePatternJumpAhead) {
  // After 16 blocks the search jumps 131072 bytes: the page at 20000 lies
  // in the stretch jumped over, the one at 150000 is found.
  Bytes bytes(20000, 0x55);
  OggBuilder skipped, b;
  skipped.page(3, 5, {filled(10, 0, 1)});
  bytes.insert(bytes.end(), skipped.bytes.begin(), skipped.bytes.end());
  bytes.resize(150000, 0x55);
  b.page(3, 7, {filled(10, 0, 1)});
  bytes.insert(bytes.end(), b.bytes.begin(), b.bytes.end());
  openReader(bytes, 1024, OGG_ANY_SERIAL);
  std::vector<OggPageRecord> all = pages();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].granule, 7);
  auto find = sym<int32_t (*)(const uint8_t*, int64_t*, int32_t)>("findNextSync");
  int64_t offset = -1;
  EXPECT_EQ(find(b.bytes.data(), &offset, int32_t(b.bytes.size())), 0);
  EXPECT_EQ(offset, 0);
  EXPECT_EQ(find(bytes.data(), &offset, 5001), -1);
  EXPECT_EQ(find(bytes.data(), &offset, 5000), -1);
  EXPECT_EQ(offset, 0);
}

TEST_F(OggDmx, OgmAudioSubtypesBecomeFormatTags) {
  auto type = sym<uint32_t (*)(const uint8_t*)>("ogg_get_audiotype");
  EXPECT_EQ(type(reinterpret_cast<const uint8_t*>("0055")), 0x55u);
  EXPECT_EQ(type(reinterpret_cast<const uint8_t*>("55xx")), 0x55u);
  EXPECT_EQ(type(reinterpret_cast<const uint8_t*>("2000")), 0x2000u);
  EXPECT_EQ(type(reinterpret_cast<const uint8_t*>("1610")), 0x161u);
  EXPECT_EQ(type(reinterpret_cast<const uint8_t*>("2001")), 0x31303032u);
  auto h264 = sym<int32_t (*)(uint32_t)>("IsH264Family");
  EXPECT_EQ(h264(0x34363248u), 1);  // "H264"
  EXPECT_EQ(h264(0x44495658u), 0);  // "XVID"
}

}  // namespace
