// DVD sub-pictures: units gathered from spumux's file and decoded against the
// images spumux was given, and hand-built units for the control commands,
// the run-length codes, cropping and the refusals.
#include <sstream>

#include "mpg_test_support.h"

using namespace mpgtest;

namespace {

using SubpictureTest = MpgTest;

struct Expect {
  int32_t start, end;
  uint32_t left, top, width, height;
};

std::vector<Expect> readExpect() {
  std::ifstream in(media("spu_expect.txt"));
  std::vector<Expect> out;
  Expect e;
  while (in >> e.start >> e.end >> e.left >> e.top >> e.width >> e.height) out.push_back(e);
  return out;
}

// The images of make_mpg_media.py: opaque where these hold.
bool opaque(size_t unit, uint32_t x, uint32_t y) {
  switch (unit) {
    case 0: return 200 <= x && x <= 300 && 100 <= y && y <= 120;
    case 1: return 40 <= x && x < 680 && 40 <= y && y < 440 && ((x + y) / 8) % 2 == 0;
    default: return 600 <= x && x <= 650 && 400 <= y && y <= 461;
  }
}

TEST_F(SubpictureTest, SpumuxUnitsDecodeToTheirImagesPlacesAndTimes) {
  std::string path = media("subpictures.vob");
  std::vector<Expect> expect = readExpect();
  ASSERT_EQ(expect.size(), 3u);
  Session s(this, openRecord(path.c_str(), MPG_MODE_TWO_READERS));
  ASSERT_EQ(s.opened, MPG_OK);
  s.request.subpicture_id = 0x20;
  std::vector<uint16_t> pixels(720 * 480);
  size_t u = 0;
  while (s.next(MPG_KIND_VIDEO) == MPG_OK) {
    if (s.frame.kind != MPG_KIND_SUBPICTURE) continue;
    ASSERT_LT(u, expect.size());
    EXPECT_EQ(s.frame.stream_id, 0x20u);
    if (u == 1) {
      EXPECT_GT(s.frame.length, 4096u);  // gathered from many PES packets
    }
    const Expect& e = expect[u];
    MpgSubpictureRequest req{s.frame.data, s.frame.length, 1};
    MpgSubpicture pic{pixels.data(), uint32_t(pixels.size()), 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(s.call(MPG_OP_SUBPICTURE, &req, &pic), MPG_OK) << u;
    EXPECT_EQ(pic.left, e.left) << u;
    EXPECT_EQ(pic.top, e.top) << u;
    EXPECT_EQ(pic.width, e.width) << u;
    EXPECT_EQ(pic.height, e.height) << u;
    EXPECT_NEAR(pic.start_ms, e.start, 1) << u;
    EXPECT_NEAR(pic.end_ms, e.end, 12) << u;  // the stop delay counts 1024/90 ms
    int wrong = 0;
    for (uint32_t y = 0; y < pic.height; ++y)
      for (uint32_t x = 0; x < pic.width; ++x) {
        bool visible = (pixels[y * pic.width + x] >> 12) != 0;
        if (visible != opaque(u, pic.left + x, pic.top + y) && wrong++ < 5)
          ADD_FAILURE() << "unit " << u << " pixel " << pic.left + x << "," << pic.top + y;
      }
    ++u;
  }
  EXPECT_EQ(u, expect.size());
}

TEST_F(SubpictureTest, DirectModeDeliversOnlyTheRequestedSubPictureStream) {
  std::string path = media("subpictures.vob");
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  int packets = 0;
  while (s.next() == MPG_OK) packets += s.frame.kind == MPG_KIND_SUBPICTURE;
  EXPECT_EQ(packets, 0);
  Session t(this, openRecord(path.c_str()));
  t.request.subpicture_id = 0x20;
  while (t.next() == MPG_OK) packets += t.frame.kind == MPG_KIND_SUBPICTURE;
  EXPECT_GT(packets, 3);
}

TEST_F(SubpictureTest, APayloadThatDoesNotFitTheRingDropsTheUnitItBelongedTo) {
  auto spu = [](std::vector<uint8_t> data) {
    data.insert(data.begin(), 0x20);
    return data;
  };
  std::vector<uint8_t> small(100, 0x22);
  small[0] = 0;
  small[1] = 100;
  PsBuilder b;
  b.pack(0);
  b.pes(0xE0, 9000, mpeg2Video(1));
  // A unit that claims 65535 bytes, fed in 1300-byte pieces past the ring.
  std::vector<uint8_t> piece(1300, 0x11);
  piece[0] = 0xFF;
  piece[1] = 0xFF;
  b.pes(0xBD, 9000, spu(piece));
  piece[0] = piece[1] = 0x11;
  for (int n = 0; n < 50; ++n) b.pes(0xBD, -1, spu(piece));
  b.pes(0xBD, 18000, spu(small));
  b.pes(0xE0, 18000, mpeg2Video(1));
  b.pes(0xE0, 27000, mpeg2Video(1));
  std::string path = file("ring.vob", b.out);
  Session s(this, openRecord(path.c_str(), MPG_MODE_TWO_READERS));
  ASSERT_EQ(s.opened, MPG_OK);
  s.request.subpicture_id = 0x20;
  std::vector<std::vector<uint8_t>> units;
  while (s.next(MPG_KIND_VIDEO) == MPG_OK)
    if (s.frame.kind == MPG_KIND_SUBPICTURE) units.push_back(s.payload());
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0], small);
}

// A hand-built unit: both fields' rows, then one control sequence.
struct UnitBuilder {
  std::vector<uint8_t> top, bottom, control;
  // One row of runs (length, code); a length of 0 runs to the row's end.
  static std::vector<uint8_t> row(std::initializer_list<std::pair<int, int>> runs) {
    std::vector<uint8_t> r;
    for (auto [length, code] : runs) {
      int v = length << 2 | code;
      r.push_back(uint8_t(v >> 8));
      r.push_back(uint8_t(v));
    }
    return r;
  }
  std::vector<uint8_t> build(uint32_t x1, uint32_t x2, uint32_t y1, uint32_t y2, int start_delay = 0,
                             int stop_delay = 0, bool end = true, int size_adjust = 0) {
    std::vector<uint8_t> u = {0, 0, 0, 0};
    uint32_t top_at = 4, bottom_at = uint32_t(4 + top.size());
    u.insert(u.end(), top.begin(), top.end());
    u.insert(u.end(), bottom.begin(), bottom.end());
    uint32_t ctrl = uint32_t(u.size());
    auto seq = [&](int delay, std::vector<uint8_t> cmds, bool last) {
      uint32_t here = uint32_t(u.size());
      uint32_t next = last ? here : uint32_t(here + 4 + cmds.size());
      u.insert(u.end(), {uint8_t(delay >> 8), uint8_t(delay), uint8_t(next >> 8), uint8_t(next)});
      u.insert(u.end(), cmds.begin(), cmds.end());
    };
    std::vector<uint8_t> first = {0x01, 0x03, 0x32, 0x10, 0x04, 0xF0, 0x00,  // colours 3 2 1 0, contrast F 0 0 0
                                  0x05, uint8_t(x1 >> 4), uint8_t((x1 & 0xF) << 4 | x2 >> 8), uint8_t(x2),
                                  uint8_t(y1 >> 4), uint8_t((y1 & 0xF) << 4 | y2 >> 8), uint8_t(y2),
                                  0x06, uint8_t(top_at >> 8), uint8_t(top_at), uint8_t(bottom_at >> 8),
                                  uint8_t(bottom_at)};
    if (end) first.push_back(0xFF);
    seq(start_delay, first, !end);
    if (end) seq(stop_delay, {0x02, 0xFF}, true);
    size_t size = u.size() + size_t(size_adjust);
    u[0] = uint8_t(size >> 8);
    u[1] = uint8_t(size);
    u[2] = uint8_t(ctrl >> 8);
    u[3] = uint8_t(ctrl);
    return u;
  }
};

TEST_F(SubpictureTest, HandBuiltUnitsCropAndConvertByTheirCommands) {
  // Times count from the last sub-picture packet read.
  std::string path = media("subpictures.vob");
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  s.request.subpicture_id = 0x20;
  do ASSERT_EQ(s.next(), MPG_OK);
  while (s.frame.kind != MPG_KIND_SUBPICTURE);
  int32_t pts = s.frame.time_ms;
  // 720 x 480 area at (0, 0): rows 10 to 20, columns 100 to 200 of code 3
  // (contrast F); the rest code 0 (contrast 0).
  UnitBuilder b;
  for (int y = 0; y < 480; ++y) {
    auto r = (y >= 10 && y <= 20) ? UnitBuilder::row({{100, 0}, {101, 3}, {0, 0}}) : UnitBuilder::row({{0, 0}});
    auto& field = y % 2 ? b.bottom : b.top;
    field.insert(field.end(), r.begin(), r.end());
  }
  std::vector<uint8_t> unit = b.build(0, 719, 0, 479, 0, 90);
  std::vector<uint16_t> pixels(720 * 480, 0xAAAA);
  MpgSubpictureRequest req{unit.data(), uint32_t(unit.size()), 0};
  MpgSubpicture pic{pixels.data(), uint32_t(pixels.size()), 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(s.call(MPG_OP_SUBPICTURE, &req, &pic), MPG_OK);
  EXPECT_EQ(pic.width, 720u);
  EXPECT_EQ(pic.height, 480u);
  EXPECT_EQ(pic.start_ms, pts);
  EXPECT_EQ(pic.end_ms - pic.start_ms, 1024);  // 90 delay units
  EXPECT_EQ(pixels[15 * 720 + 150], 0xF333);     // contrast F, colour 3 thrice
  EXPECT_EQ(pixels[15 * 720 + 99], 0x0000);
  EXPECT_EQ(pixels[21 * 720 + 150], 0x0000);
  req.crop = 1;
  ASSERT_EQ(s.call(MPG_OP_SUBPICTURE, &req, &pic), MPG_OK);
  EXPECT_EQ(pic.width, 101u);
  EXPECT_EQ(pic.height, 11u);
  EXPECT_EQ(pic.left, 100u);
  EXPECT_EQ(pic.top, 10u);
  for (uint32_t i = 0; i < 101 * 11; ++i) ASSERT_EQ(pixels[i], 0xF333) << i;
}

TEST_F(SubpictureTest, AZeroRoomWordGivesRoomForTheLargestDvdPicture) {
  // Hosts that leave the picture's second word 0 hand over a buffer for a
  // whole PAL picture; areas beyond it are refused.
  std::string path = media("mpeg2_mp2.vob");
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  UnitBuilder b;
  for (int y = 0; y < 576; ++y) {
    auto r = UnitBuilder::row({{0, 1}});
    auto& field = y % 2 ? b.bottom : b.top;
    field.insert(field.end(), r.begin(), r.end());
  }
  struct Case {
    uint32_t x2, y2;
    int32_t result;
  } cases[] = {{719, 575, MPG_OK}, {15, 15, MPG_OK}, {720, 575, MPG_ERR_ARGUMENT}, {719, 576, MPG_ERR_ARGUMENT}};
  for (const Case& c : cases) {
    std::vector<uint8_t> unit = b.build(0, c.x2, 0, c.y2);
    std::vector<uint16_t> pixels(720 * 576, 0xAAAA);  // a write past it shows
    MpgSubpictureRequest req{unit.data(), uint32_t(unit.size()), 0};
    MpgSubpicture pic{pixels.data(), 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(s.call(MPG_OP_SUBPICTURE, &req, &pic), c.result) << c.x2 << "x" << c.y2;
    if (c.result != MPG_OK) continue;
    EXPECT_EQ(pic.width, c.x2 + 1);
    EXPECT_EQ(pic.height, c.y2 + 1);
    EXPECT_EQ(pixels[(c.x2 + 1) * (c.y2 + 1) - 1], 0x0111);  // code 1: contrast 0, colour 1
  }
}

TEST_F(SubpictureTest, UnitsThatCannotBeDecodedAreRefused) {
  std::string path = media("mpeg2_mp2.vob");
  Session s(this, openRecord(path.c_str()));
  ASSERT_EQ(s.opened, MPG_OK);
  UnitBuilder b;
  for (int y = 0; y < 16; ++y) {
    auto r = UnitBuilder::row({{0, 1}});
    auto& field = y % 2 ? b.bottom : b.top;
    field.insert(field.end(), r.begin(), r.end());
  }
  std::vector<uint8_t> good = b.build(10, 25, 20, 35);
  std::vector<uint8_t> no_end = b.build(10, 25, 20, 35, 0, 0, false);
  std::vector<uint8_t> inverted = b.build(25, 10, 20, 35);
  std::vector<uint8_t> short_unit = b.build(10, 25, 20, 35, 0, 0, true, 8);
  std::vector<uint8_t> outside = good;
  outside[outside.size() - 9] = 0xFF;  // bottom field offset far past the unit
  std::vector<uint16_t> pixels(16 * 16);
  struct Case {
    const char* name;
    const std::vector<uint8_t>& unit;
    uint32_t capacity;
    int32_t result;
  } cases[] = {
      {"good", good, 256, MPG_OK},
      {"buffer too small", good, 255, MPG_ERR_ARGUMENT},
      {"no end command", no_end, 256, MPG_ERR_NO_END_COMMAND},
      {"area turned inside out", inverted, 256, MPG_ERR_INCOMPLETE},
      {"size field beyond the length", short_unit, 256, MPG_ERR_INCOMPLETE},
      {"pixel data outside the unit", outside, 256, MPG_ERR_INCOMPLETE},
  };
  for (const Case& c : cases) {
    MpgSubpictureRequest req{c.unit.data(), uint32_t(c.unit.size()), 0};
    MpgSubpicture pic{pixels.data(), c.capacity, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(s.call(MPG_OP_SUBPICTURE, &req, &pic), c.result) << c.name;
    if (c.result == MPG_OK) {
      EXPECT_EQ(pic.width, 16u);
      EXPECT_EQ(pic.left, 10u);
      EXPECT_EQ(pixels[255], 0x0111);  // code 1: contrast 0, colour 1
    }
  }
  MpgSubpictureRequest none{nullptr, 0, 0};
  MpgSubpicture pic{pixels.data(), 256, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(s.call(MPG_OP_SUBPICTURE, &none, &pic), MPG_ERR_INCOMPLETE);
}

}  // namespace
