// The AVI demuxer's entry, file access, headers, indexes and packet reading.
#include <algorithm>

#include "avi_test_support.h"

namespace avitest {

mediahost::Plugin* AviTest::plugin_ = nullptr;

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

TEST_F(AviTest, SingleHandleModeClearsSeparateAndHostIndexBits) {
  ASSERT_EQ(openPath(media("idx1_relative.avi"), AVI_FLAG_SINGLE | AVI_FLAG_SEPARATE | AVI_FLAG_HOST_INDEX | 0x10000),
            AVI_OK);
  EXPECT_EQ(rec_.flags, uint32_t(AVI_FLAG_SINGLE));
  for (int i = 0; i < AVI_FH_COUNT; ++i) EXPECT_EQ(ctx()->fh[i], ctx()->fh[AVI_FH_MAIN]);
  EXPECT_EQ(ctx()->index_mode, AVI_INDEX_IDX1_MEMORY);
}

}  // namespace avitest
