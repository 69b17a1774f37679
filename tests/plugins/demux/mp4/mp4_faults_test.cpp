// Small hand-built files for what ffmpeg does not write: broken tables,
// items, fragments and sample descriptions, each read without a read outside
// its tables.
#include "mp4_test_support.h"

using namespace mp4test;

namespace {

class Mp4Faults : public Mp4Test {};

TEST_F(Mp4Faults, MiniMovieReadsAndSeeks) {
  MiniMovie m;
  ASSERT_EQ(openFile(write("mini.mp4", m.build())), 0);
  EXPECT_EQ(info_.video_samples, 10);
  Mp4Packet p{};
  int n = 0, keys = 0;
  while (next(0, &p) == 0) ++n, keys += p.key;
  EXPECT_EQ(n, 10);
  EXPECT_EQ(keys, 2);
}

}  // namespace
