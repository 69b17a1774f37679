// Picture counting, key-frame checkers and the AVS picture search.
#include <gtest/gtest.h>

#include <vector>

#include "es_samples.h"
#include "es_test_context.h"

namespace {

using Bytes = std::vector<uint8_t>;

int32_t count(EsTestContext& ctx, uint32_t codec, const Bytes& bytes, TsdVideoHeader* h = nullptr) {
  Bytes copy(bytes);
  ctx.payload = copy.empty() ? nullptr : copy.data();
  ctx.length = int32_t(copy.size());
  TsdVideoHeader local{};
  int32_t n = TSD_GetVideoFrameCount(&ctx, codec, h ? h : &local);
  ctx.payload = nullptr;
  return n;
}

Bytes code(uint8_t c, std::initializer_list<uint8_t> after = {0x80, 0x00}) {
  Bytes b = {0, 0, 1, c};
  b.insert(b.end(), after.begin(), after.end());
  return b;
}

TEST(FrameCount, Mpeg12SequenceHeaderTakesItsPicture) {
  EsTestContext ctx{};
  Bytes gop = code(0xB8, {0x00, 0x08, 0x00, 0x00});
  EXPECT_EQ(count(ctx, 0xFFFF0002u, concat({mpeg2Sequence(720, 576, 3, 4, 1), gop, mpeg2Picture(1)})), 1);
  EXPECT_EQ(count(ctx, 0xFFFF0002u, mpeg2Picture(2)), 1);
  EXPECT_EQ(count(ctx, 0xFFFF0002u, concat({mpeg2Picture(3), mpeg2Picture(3)})), 2);
  // A sequence header at the very end leaves its picture pending for the
  // next buffer.
  EXPECT_EQ(count(ctx, 0xFFFF0002u, concat({mpeg2Picture(2), mpeg2Sequence(720, 576, 3, 4, 1)})), 2);
  EXPECT_EQ(count(ctx, 0xFFFF0002u, concat({mpeg2Picture(1), mpeg2Picture(3)})), 1);
}

TEST(FrameCount, Mpeg4VideoObjectStartAfterAVop) {
  Bytes bytes = concat({code(0x00), mpeg4Vop(0)});
  EsTestContext fresh{};
  EXPECT_EQ(count(fresh, 0xFFFF0010u, bytes), 2);
  EsTestContext afterVop{};
  EXPECT_EQ(count(afterVop, 0xFFFF0010u, mpeg4Vop(1)), 1);
  EXPECT_EQ(count(afterVop, 0xFFFF0010u, bytes), 1);
}

TEST(FrameCount, Vc1SequenceHeaderTakesItsFrame) {
  EsTestContext ctx{};
  Vc1Seq s;
  EXPECT_EQ(count(ctx, 0xFFFF00EAu, concat({vc1Sequence(s), code(0x0D, {0xC0, 0})})), 1);
  EXPECT_EQ(count(ctx, 0x200EAu, concat({code(0x0D, {0x00}), code(0x0D, {0x80})})), 2);
}

TEST(FrameCount, H264DelimitersOrFirstSlices) {
  Bytes aud = nalUnit({0x09}, {0xF0});
  Bytes sps = h264Sps(H264Sps{});
  auto slice = [](uint8_t nal, uint32_t firstMb) {
    BitWriter w;
    w.ue(firstMb).ue(7).ue(0).put(0x1F, 5).align(1);
    return nalUnit({nal}, w.data());
  };
  // Four slices of one IDR picture, then a second picture.
  Bytes idr = concat({sps, slice(0x65, 0), slice(0x65, 30), slice(0x65, 60), slice(0x65, 90)});
  EsTestContext ctx{};
  TsdVideoHeader h{};
  EXPECT_EQ(count(ctx, 0xFFFF001Bu, idr, &h), 1);
  EXPECT_EQ(count(ctx, 0xFFFF001Bu, concat({idr, slice(0x41, 0), slice(0x41, 45)}), &h), 2);
  EXPECT_EQ(h.audSeen, 0u);

  // Delimiters count and switch slice counting off from then on.
  EXPECT_EQ(count(ctx, 0xFFFF001Bu, concat({aud, idr, aud, slice(0x41, 0), slice(0x41, 0)}), &h), 2);
  EXPECT_EQ(h.audSeen, 1u);
  EXPECT_EQ(count(ctx, 0xFFFF001Bu, concat({slice(0x41, 0), slice(0x41, 0)}), &h), 0);

  // first_mb_in_slice 0 written behind an emulation-prevention byte.
  TsdVideoHeader fresh{};
  Bytes escaped = {0, 0, 1, 0x65, 0x00, 0x00, 0x03, 0x01, 0x88};  // ue: 00000000 00000001 1...
  EXPECT_EQ(count(ctx, 0xFFFF001Bu, escaped, &fresh), 0);  // first_mb_in_slice 255, not 0
}

TEST(FrameCount, HevcFirstSliceSegments) {
  EsTestContext ctx{};
  Bytes bytes = concat({hevcVps(1, 25), hevcSps(HevcSps{}), nalUnit({0x26, 0x01}, {0xAF, 0x10}),
                        nalUnit({0x26, 0x01}, {0x2F, 0x10}), nalUnit({0x02, 0x01}, {0xD0, 0x10}),
                        nalUnit({0x4E, 0x01}, {0x80}), nalUnit({0x00, 0x01}, {0x84})});
  // IDR first segment, IDR dependent segment, trailing picture, SEI, TRAIL_N.
  EXPECT_EQ(count(ctx, 0xFFFF0024u, bytes), 3);
}

TEST(FrameCount, AvsPictureStarts) {
  Bytes seq = avsSequence(1920, 1080, 1, 2, 3);
  Bytes iPic = code(0xB3, {0, 0, 0});
  Bytes pbPic = code(0xB6, {0, 0, 0});
  EsTestContext ctx{};
  EXPECT_EQ(count(ctx, 0xFFFF0042u, concat({seq, iPic, pbPic, pbPic})), 3);
  EXPECT_EQ(count(ctx, 0xFFFF0042u, concat({pbPic, seq})), 2);
  EXPECT_EQ(count(ctx, 0xFFFF0042u, concat({iPic, pbPic})), 1);  // the I picture belongs to that header
}

TEST(FrameCount, IdentifiersAndEmptyBuffers) {
  EsTestContext ctx{};
  EXPECT_EQ(count(ctx, 0xFFFF0020u, mpeg2Picture(1)), -1);
  EXPECT_EQ(count(ctx, 0x20020u, {}), -1);
  EXPECT_EQ(count(ctx, 0xFFFF0003u, mpeg2Picture(1)), 0);
  EXPECT_EQ(count(ctx, 0xFFFF0002u, {}), 0);
  EXPECT_EQ(ctx.lastError, 0);
}

// The pending flags belong to the handle: a sequence header that ends one
// handle's buffer must not swallow the next picture of another handle.
TEST(FrameCount, PendingFlagsArePerHandle) {
  struct Case {
    uint32_t codec;
    Bytes endsWithHeader;
    int32_t endsWithHeaderCount;
    Bytes onePicture;
  } cases[] = {
      {0xFFFF0002u, concat({mpeg2Picture(2), mpeg2Sequence(720, 576, 3, 4, 1)}), 2, mpeg2Picture(1)},
      {0xFFFF0010u, mpeg4Vop(1), 1, code(0x01)},
      {0xFFFF00EAu, concat({code(0x0D), vc1Sequence(Vc1Seq{})}), 2, code(0x0D)},
      {0xFFFF0042u, concat({code(0xB6), avsSequence(720, 576, 1, 2, 3)}), 2, code(0xB3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codec);
    EsTestContext a{}, b{};
    EXPECT_EQ(count(a, c.codec, c.endsWithHeader), c.endsWithHeaderCount);
    EXPECT_EQ(count(b, c.codec, c.onePicture), 1);
    EXPECT_EQ(count(a, c.codec, c.onePicture), 0);
    EXPECT_EQ(count(b, c.codec, c.onePicture), 1);
  }
}

TEST(AvsFrameStart, SequenceHeaderThenItsPicture) {
  Bytes bytes = concat({Bytes{0xAA, 0xBB}, avsSequence(720, 576, 1, 2, 3), code(0xB3, {0, 0}),
                        code(0xB6, {0, 0})});
  TSD_GetAVSFrameStartPos(nullptr, 0);
  EXPECT_EQ(TSD_GetAVSFrameStartPos(bytes.data(), int32_t(bytes.size())), 2);
  // On the rest, the I picture of the header is passed over and the next
  // picture is found.
  size_t rest = 2 + 4;
  size_t pb = bytes.size() - 6;
  EXPECT_EQ(TSD_GetAVSFrameStartPos(bytes.data() + rest, int32_t(bytes.size() - rest)), int32_t(pb - rest));
  // A null pointer clears a pending header.
  Bytes seqOnly = avsSequence(720, 576, 1, 2, 3);
  EXPECT_EQ(TSD_GetAVSFrameStartPos(seqOnly.data(), int32_t(seqOnly.size())), 0);
  EXPECT_EQ(TSD_GetAVSFrameStartPos(nullptr, 99), 0);
  Bytes iPic = code(0xB3, {0, 0});
  EXPECT_EQ(TSD_GetAVSFrameStartPos(iPic.data(), int32_t(iPic.size())), 0);
  EXPECT_EQ(TSD_GetAVSFrameStartPos(iPic.data(), 3), -1);
  Bytes noise(64, 0x11);
  EXPECT_EQ(TSD_GetAVSFrameStartPos(noise.data(), int32_t(noise.size())), -1);
}

TEST(KeyFrameChecker, PerCodec) {
  struct Case {
    const char* name;
    uint32_t codec;
    uint32_t interlaced;
    Bytes bytes;
    int32_t key;
  };
  std::vector<Case> cases = {
      {"mpeg2 sequence header", 0xFFFF0002u, 0, mpeg2Sequence(720, 576, 3, 4, 1), 1},
      {"mpeg2 I picture", 0x10002u, 0, mpeg2Picture(1), 1},
      {"mpeg2 P picture", 0x10002u, 0, mpeg2Picture(2), 0},
      {"mpeg2 too short", 0x10002u, 0, Bytes{0, 0, 1, 0xB3, 0}, 0},
      {"mpeg4 I VOP", 0xFFFF0010u, 0, mpeg4Vop(0), 1},
      {"mpeg4 P VOP", 0xFFFF0010u, 0, mpeg4Vop(1), 0},
      {"h264 SPS", 0xFFFF001Bu, 0, h264Sps(H264Sps{}), 1},
      {"h264 IDR", 0xFFFF001Bu, 0, nalUnit({0x65}, {0x88, 0x80}), 1},
      {"h264 AUD I", 0xFFFF001Bu, 0, nalUnit({0x09}, {0x10}), 1},
      {"h264 AUD P", 0xFFFF001Bu, 0, nalUnit({0x09}, {0x30}), 0},
      {"h264 non-IDR", 0xFFFF001Bu, 0, nalUnit({0x41}, {0x9A, 0x00}), 0},
      {"hevc CRA", 0xFFFF0024u, 0, nalUnit({0x2A, 0x01}, {0xAF}), 1},
      {"hevc trailing", 0xFFFF0024u, 0, nalUnit({0x02, 0x01}, {0xAF}), 0},
      {"vc1 progressive I", 0xFFFF00EAu, 0, code(0x0D, {0xC0, 0}), 1},
      {"vc1 progressive B", 0xFFFF00EAu, 0, code(0x0D, {0x80, 0}), 0},
      {"vc1 interlaced progressive-coded I", 0xFFFF00EAu, 1, code(0x0D, {0x60, 0}), 1},
      {"vc1 interlaced field-coded I", 0xFFFF00EAu, 1, code(0x0D, {0xB0, 0}), 1},
      {"vc1 interlaced field-coded P", 0xFFFF00EAu, 1, code(0x0D, {0x80, 0}), 0},
      {"vc1 only the first frame counts", 0xFFFF00EAu, 0, concat({code(0x0D, {0x10}), code(0x0D, {0xC0})}), 0},
      {"avs I picture", 0xFFFF0042u, 0, code(0xB3, {0, 0}), 1},
      {"avs PB picture", 0xFFFF0042u, 0, code(0xB6, {0, 0}), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EsTestContext ctx{};
    TsdKeyFrameChecker checker = nullptr;
    ASSERT_EQ(TSD_GetKeyFrameChecker(&ctx, c.codec, &checker), 1);
    ASSERT_NE(checker, nullptr);
    TsdVideoHeader h{};
    h.interlaced = c.interlaced;
    Bytes copy(c.bytes);
    EXPECT_EQ(checker(&h, copy.data(), int32_t(copy.size())), c.key);
    EXPECT_EQ(checker(&h, copy.data(), 4), 0);  // never reads beyond the count
    EXPECT_EQ(checker(&h, nullptr, 0), 0);
  }
}

TEST(KeyFrameChecker, MvcAndUnknownIdentifiers) {
  EsTestContext ctx{};
  TsdKeyFrameChecker checker = reinterpret_cast<TsdKeyFrameChecker>(1);
  EXPECT_EQ(TSD_GetKeyFrameChecker(&ctx, 0x20020u, &checker), 1);
  EXPECT_EQ(checker, nullptr);
  EXPECT_EQ(TSD_GetKeyFrameChecker(&ctx, 0xFFFF0081u, &checker), 0);
  EXPECT_EQ(ctx.lastError, -3001);
  EXPECT_EQ(ctx.errorLine, 3055);
}

}  // namespace
