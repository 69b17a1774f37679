// Pixel tests of the caption drawing layer.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <random>

#include "font_test_support.h"
#include "kvr_fontDraw.h"

using fonttest::Canvas;
using Picture = std::vector<std::string>;

namespace {

constexpr uint32_t kC0 = 0xFF0000AAu;  // foreground
constexpr uint32_t kC1 = 0xFF0000BBu;  // 2-bit value 2
constexpr uint32_t kBg = 0xFF0000CCu;  // colour 2, background
constexpr uint32_t kC3 = 0xFF0000DDu;  // 2-bit value 1
constexpr uint32_t kLine = 0xFF00EE00u;

const std::vector<std::pair<uint32_t, char>> kLegend = {
    {0, '.'}, {kC0, '0'}, {kC1, '1'}, {kBg, 'b'}, {kC3, '3'}, {kLine, 'L'}};

class FontDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvr_fontDraw_init();
        kvr_fontDraw_setDirection(0);
        kvr_fontDraw_setFontColor(kC0, kC1, kBg, kC3);
        kvr_fontDraw_setFontLineEffectColor(kLine);
    }
};

TEST_F(FontDraw, DestinationSettersRefuseEmptyValuesAndKeepThePrevious)
{
    uint32_t pixels[4];
    ASSERT_EQ(0, kvr_fontDraw_setDestBuf(pixels));
    EXPECT_EQ(-2, kvr_fontDraw_setDestBuf(nullptr));
    EXPECT_EQ(pixels, kvr_fontDraw_getDestBuf());

    ASSERT_EQ(0, kvr_fontDraw_setDestRegion(4, 3, 5));
    const uint32_t bad[][3] = {{0, 3, 5}, {4, 0, 5}, {4, 3, 0}};
    for (const auto& r : bad) {
        EXPECT_EQ(-2, kvr_fontDraw_setDestRegion(r[0], r[1], r[2]));
        uint32_t w = 0, h = 0, s = 0;
        EXPECT_EQ(0, kvr_fontDraw_getDestRegion(&w, &h, &s));
        EXPECT_EQ(4u, w);
        EXPECT_EQ(3u, h);
        EXPECT_EQ(5u, s);
    }

    // init forgets buffer, region and colours, but not the direction.
    EXPECT_EQ(7, kvr_fontDraw_setDirection(7));
    kvr_fontDraw_init();
    EXPECT_EQ(nullptr, kvr_fontDraw_getDestBuf());
    Canvas c(6, 6);
    c.bind();
    kvr_fontDraw_drawUnderline(0, 0, 4, 4, 0);  // vertical: column 3, line colour now 0
    kvr_fontDraw_setFontLineEffectColor(kLine);
    kvr_fontDraw_drawUnderline(0, 0, 4, 4, 0);
    EXPECT_EQ(kLine, c.at(3, 0));
    EXPECT_EQ(0u, c.at(0, 3));
}

TEST_F(FontDraw, ClearDestBufSetsEveryByteOfTheRegionToTheLowByte)
{
    EXPECT_EQ(-1, kvr_fontDraw_clearDestBuf(0));
    Canvas c(4, 2, 4, 0x11111111u);
    c.bind();
    ASSERT_EQ(0, kvr_fontDraw_clearDestBuf(0x12345600u));
    EXPECT_EQ(8u, c.count(0));
    ASSERT_EQ(0, kvr_fontDraw_clearDestBuf(0xAB));
    EXPECT_EQ(8u, c.count(0xABABABABu));
    EXPECT_TRUE(c.guardsIntact());
}

TEST_F(FontDraw, EveryDrawingCallNeedsABufferAndARegion)
{
    const uint8_t bits[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const uint32_t src[4] = {1, 2, 3, 4};
    uint32_t dest[16] = {};
    auto all = [&]() {
        return std::vector<int32_t>{
            kvr_fontDraw_drawBitmapGrey256(0, 0, 2, 2, 2, bits),
            kvr_fontDraw_drawBitmapMono(0, 0, 2, 2, 1, bits),
            kvr_fontDraw_drawBitmapDRCS(0, 0, 0, 2, 2, 2, bits),
            kvr_fontDraw_clearFontBG(0, 0, 2, 2),
            kvr_fontDraw_drawHighlighting(0, 0, 4, 4, 0, 0xF),
            kvr_fontDraw_drawUnderline(0, 0, 4, 4, 0),
            kvr_fontDraw_scaleBitmapDRCS(src, 2, 2, nullptr, 0, 0, 4, 4, 4),
        };
    };
    const std::vector<int32_t> refused(7, -3);
    EXPECT_EQ(refused, all());  // nothing set after init
    kvr_fontDraw_setDestBuf(dest);
    EXPECT_EQ(refused, all());  // a buffer without a region
    for (uint32_t v : dest)
        EXPECT_EQ(0u, v);

    // Bad parameters come before the destination test.
    EXPECT_EQ(-2, kvr_fontDraw_drawBitmapDRCS(2, 0, 0, 2, 2, 2, bits));
    EXPECT_EQ(-2, kvr_fontDraw_clearFontBG(0, 0, 0, 2));
    EXPECT_EQ(-2, kvr_fontDraw_drawHighlighting(0, 0, 4, 0, 0, 0xF));
    EXPECT_EQ(-2, kvr_fontDraw_drawUnderline(0, 0, 0, 4, 0));
}

TEST_F(FontDraw, BitmapThatEndsOnTheRightEdgeIsDrawnOnePixelMoreIsRefused)
{
    uint8_t bits[16];
    std::fill(std::begin(bits), std::end(bits), 0xFF);
    using Draw = std::function<int32_t(int32_t x, uint32_t width)>;
    const std::vector<std::pair<const char*, Draw>> calls = {
        {"grey", [&](int32_t x, uint32_t w) { return kvr_fontDraw_drawBitmapGrey256(x, 1, w, 2, 8, bits); }},
        {"mono", [&](int32_t x, uint32_t w) { return kvr_fontDraw_drawBitmapMono(x, 1, w, 2, 1, bits); }},
        {"drcs1", [&](int32_t x, uint32_t w) { return kvr_fontDraw_drawBitmapDRCS(0, x, 1, w, 2, w, bits); }},
        {"drcs2", [&](int32_t x, uint32_t w) { return kvr_fontDraw_drawBitmapDRCS(1, x, 1, w, 2, w, bits); }},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call.first);
        Canvas c(10, 4);
        c.bind();
        EXPECT_EQ(0, call.second(6, 4));
        EXPECT_EQ(kC0, c.at(9, 2));
        c.fill(0);
        EXPECT_EQ(-5, call.second(6, 5));
        EXPECT_EQ(40u, c.count(0));
        EXPECT_EQ(0, call.second(2, 0));  // no width: nothing to draw
        EXPECT_EQ(40u, c.count(0));
    }
}

TEST_F(FontDraw, GreyCoverageWritesForegroundOrAnInvertedTopByte)
{
    // Two rows, pitch 8: the second row's bytes start at offset 8.
    const uint8_t grey[16] = {0, 1, 128, 254, 255, 9, 9, 9, 255, 0, 0, 0, 17, 9, 9, 9};
    Canvas c(5, 2);
    c.bind();
    ASSERT_EQ(0, kvr_fontDraw_drawBitmapGrey256(0, 0, 5, 2, 8, grey));
    EXPECT_EQ(0u, c.at(0, 0));
    EXPECT_EQ(254u << 24, c.at(1, 0));
    EXPECT_EQ(127u << 24, c.at(2, 0));
    EXPECT_EQ(1u << 24, c.at(3, 0));
    EXPECT_EQ(kC0, c.at(4, 0));
    EXPECT_EQ(kC0, c.at(0, 1));
    EXPECT_EQ(0u, c.at(1, 1));
    EXPECT_EQ(238u << 24, c.at(4, 1));
}

TEST_F(FontDraw, MonoBitsRunFromTheTopBitAndRowsStartPitchBytesApart)
{
    const uint8_t mono[6] = {0xA5, 0x80, 0xFF, 0x01, 0x40, 0x00};
    Canvas c(10, 2);
    c.bind();
    ASSERT_EQ(0, kvr_fontDraw_drawBitmapMono(0, 0, 10, 2, 3, mono));
    EXPECT_EQ((Picture{"0.0..0.00.", ".......0.0"}), c.picture(kLegend));
}

TEST_F(FontDraw, DrcsRowsFollowEachOtherInOneBitString)
{
    Canvas c(4, 3);
    c.bind();
    // 3 x 3 one-bit: rows 101, 011, 001 take bits 1-9; the rest is not read.
    const uint8_t oneBit[2] = {0xAC, 0xFF};
    ASSERT_EQ(0, kvr_fontDraw_drawBitmapDRCS(0, 0, 0, 3, 3, 3, oneBit));
    EXPECT_EQ((Picture{"0.0.", ".00.", "..0."}), c.picture(kLegend));

    // Two bits: 0 keeps the pixel, 1 -> colour 3, 2 -> colour 1, 3 -> colour 0.
    c.fill(0);
    const uint8_t twoBit[2] = {0x1B, 0xE0};
    ASSERT_EQ(0, kvr_fontDraw_drawBitmapDRCS(1, 0, 0, 4, 1, 4, twoBit));
    EXPECT_EQ((Picture{".310", "....", "...."}), c.picture(kLegend));
    // Width 3: the second row starts with the last pair of the first byte.
    c.fill(0);
    ASSERT_EQ(0, kvr_fontDraw_drawBitmapDRCS(1, 0, 0, 3, 2, 3, twoBit));
    EXPECT_EQ((Picture{".31.", "001.", "...."}), c.picture(kLegend));
}

TEST_F(FontDraw, ScalingPicksTheNearestSourcePixel)
{
    const uint32_t src[6] = {1, 2, 3, 4, 5, 6};
    struct Case {
        uint32_t srcW, srcH;
        int32_t w, h;
        Picture expected;
    };
    const std::vector<std::pair<uint32_t, char>> legend = {
        {0, '.'}, {1, 'a'}, {2, 'b'}, {3, 'c'}, {4, 'd'}, {5, 'e'}, {6, 'f'}};
    const Case cases[] = {
        {2, 2, 4, 4, {"aabb..", "aabb..", "ccdd..", "ccdd.."}},  // each pixel a 2 x 2 square
        {3, 1, 2, 1, {"ab....", "......", "......", "......"}},  // positions 0.0 and 1.5
        {2, 1, 3, 2, {"aab...", "aab...", "......", "......"}},  // positions 0, 0.67, 1.33
        {3, 2, 6, 3, {"aabbcc", "aabbcc", "ddeeff", "......"}},
        {2, 2, 4, 0, {"......", "......", "......", "......"}},  // no rows
    };
    for (const Case& k : cases) {
        Canvas c(6, 4);
        c.bind();
        EXPECT_EQ(0, kvr_fontDraw_scaleBitmapDRCS(src, k.srcW, k.srcH, c.origin(), 0, 0, k.w, k.h, c.stride()));
        EXPECT_EQ(k.expected, c.picture(legend)) << k.srcW << "x" << k.srcH << " -> " << k.w << "x" << k.h;
    }
}

TEST_F(FontDraw, HighlightingBoxInHorizontalWriting)
{
    Canvas c(12, 11);
    c.bind();
    // Width 10, T = height + y offset = 7 + 3 = 10.
    ASSERT_EQ(0, kvr_fontDraw_drawHighlighting(0, 0, 10, 7, 3, 0xF));
    EXPECT_EQ((Picture{
                  "LLLLLLLLbb..",  // top, cut at the right side
                  "L......L....", "L......L....", "L......L....", "L......L....", "L......L....",
                  "L......L....",
                  "LLLLLLLLbb..",  // bottom at T - 3, cut likewise
                  "............", "............", "............",
              }),
              c.picture(kLegend));

    // The right side alone still erases the two pixels beyond it.
    c.fill(0);
    ASSERT_EQ(0, kvr_fontDraw_drawHighlighting(0, 0, 10, 7, 3, 0x2));
    EXPECT_EQ("......." "Lbb..", c.picture(kLegend)[0]);
    EXPECT_EQ("......." "L....", c.picture(kLegend)[3]);
    EXPECT_EQ("......." "Lbb..", c.picture(kLegend)[7]);
}

TEST_F(FontDraw, HighlightingBoxTurnsWithVerticalWriting)
{
    kvr_fontDraw_setDirection(1);
    Canvas c(12, 11);
    c.bind();
    ASSERT_EQ(0, kvr_fontDraw_drawHighlighting(0, 0, 10, 7, 3, 0xF));
    EXPECT_EQ((Picture{
                  "LLLLLLLL....",  // top to w - 4, then the right side
                  "L......L....", "L......L....", "L......L....", "L......L....", "L......L....",
                  "L......L....",
                  "LLLLLLLL....",  // bottom at T - 3
                  "b......b....", "b......b....",  // sides cut below it
                  "............",
              }),
              c.picture(kLegend));
}

TEST_F(FontDraw, UnderlineRunsAlongTheBottomOrTheRightEdgeOfTheCell)
{
    Canvas c(6, 6);
    c.bind();
    ASSERT_EQ(0, kvr_fontDraw_drawUnderline(1, 0, 4, 3, 2));  // T = 5
    EXPECT_EQ((Picture{"......", "......", "......", "......", ".LLLL.", "......"}), c.picture(kLegend));
    kvr_fontDraw_setDirection(1);
    c.fill(0);
    ASSERT_EQ(0, kvr_fontDraw_drawUnderline(1, 0, 4, 3, 2));
    EXPECT_EQ((Picture{"....L.", "....L.", "....L.", "....L.", "....L.", "......"}), c.picture(kLegend));
}

TEST_F(FontDraw, BoxesTooSmallForTheirSidesStayInsideTheBox)
{
    for (int32_t direction : {0, 1})
        for (uint32_t w = 1; w <= 3; ++w)
            for (uint32_t t = 1; t <= 3; ++t) {
                kvr_fontDraw_setDirection(direction);
                Canvas c(12, 12);
                c.bind();
                ASSERT_EQ(0, kvr_fontDraw_drawHighlighting(4, 4, w, t, 0, 0xF));
                ASSERT_EQ(0, kvr_fontDraw_drawUnderline(4, 4, w, t, 0));
                for (uint32_t y = 0; y < 12; ++y) {
                    for (uint32_t x = 0; x < 12; ++x) {
                        const bool inBox = x >= 4 && x < 4 + w && y >= 4 && y < 4 + t;
                        if (!inBox) {
                            EXPECT_EQ(0u, c.at(x, y)) << "dir " << direction << " box " << w << "x" << t
                                                      << " pixel " << x << "," << y;
                        }
                    }
                }
            }
}

// Each case draws partly outside a 16 x 12 region whose rows are 20 pixels
// apart; nothing may land outside it.
TEST_F(FontDraw, WritesOutsideTheRegionAreClipped)
{
    static const uint8_t ones[1024] = {
#define X16 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF
        X16, X16, X16, X16, X16, X16, X16, X16, X16, X16, X16, X16, X16, X16, X16, X16,
#undef X16
    };
    std::vector<uint32_t> block(40 * 40, 7);
    struct Case {
        const char* name;
        std::function<int32_t()> draw;
        int32_t result;
    };
    const Case cases[] = {
        {"mono, left bearing", [] { return kvr_fontDraw_drawBitmapMono(-3, 2, 8, 4, 1, ones); }, 0},
        {"grey, left bearing", [] { return kvr_fontDraw_drawBitmapGrey256(-7, 0, 8, 4, 8, ones); }, 0},
        {"drcs, left bearing", [] { return kvr_fontDraw_drawBitmapDRCS(1, -2, 0, 4, 4, 4, ones); }, 0},
        {"mono past the bottom", [] { return kvr_fontDraw_drawBitmapMono(0, 9, 16, 40, 2, ones); }, 0},
        {"grey past the bottom", [] { return kvr_fontDraw_drawBitmapGrey256(3, 10, 8, 50, 8, ones); }, 0},
        {"drcs past the bottom", [] { return kvr_fontDraw_drawBitmapDRCS(0, 0, 11, 16, 30, 16, ones); }, 0},
        {"drcs far below", [] { return kvr_fontDraw_drawBitmapDRCS(0, 0, 400, 16, 4, 16, ones); }, 0},
        {"mono above the top", [] { return kvr_fontDraw_drawBitmapMono(0, -3, 8, 5, 1, ones); }, 0},
        {"cell past the corner", [] { return kvr_fontDraw_clearFontBG(14, 10, 30, 30); }, 0},
        {"cell far outside", [] { return kvr_fontDraw_clearFontBG(0xFFFFFFF0u, 0xFFFFFFF0u, 0x20, 0x20); }, 0},
        {"box past the corner", [] { return kvr_fontDraw_drawHighlighting(10, 6, 20, 20, 3, 0xF); }, 0},
        {"underline past the corner", [] { return kvr_fontDraw_drawUnderline(10, 6, 20, 20, 3); }, 0},
        {"scaled block past the corner",
         [&] { return kvr_fontDraw_scaleBitmapDRCS(block.data(), 40, 40, kvr_fontDraw_getDestBuf(), 9, 7, 36, 36, 20); },
         0},
        {"scaled block with a stride beyond the buffer",
         [&] { return kvr_fontDraw_scaleBitmapDRCS(block.data(), 40, 40, kvr_fontDraw_getDestBuf(), 0, 0, 36, 36, 40); },
         0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        for (int32_t direction : {0, 1}) {
            kvr_fontDraw_setDirection(direction);
            Canvas c(16, 12, 20);
            c.bind();
            EXPECT_EQ(k.result, k.draw());
            EXPECT_TRUE(c.guardsIntact());
        }
    }

    // What lies inside is drawn as if nothing had been cut.
    Canvas c(16, 12, 20);
    c.bind();
    const uint8_t row[4] = {0x1F, 0x1F, 0x1F, 0x1F};  // bits 3..7 set
    ASSERT_EQ(0, kvr_fontDraw_drawBitmapMono(-3, 10, 8, 4, 1, row));
    EXPECT_EQ("00000...........", c.picture(kLegend)[10]);
    EXPECT_EQ("00000...........", c.picture(kLegend)[11]);

    // A region wider than its stride: rows would overlap and the last would
    // run past height x stride pixels, so only stride columns are written.
    Canvas narrow(8, 4);
    narrow.bind();
    kvr_fontDraw_setDestRegion(12, 4, 8);
    EXPECT_EQ(0, kvr_fontDraw_clearFontBG(0, 0, 12, 4));
    EXPECT_EQ(0, kvr_fontDraw_drawBitmapGrey256(0, 0, 12, 4, 0, ones));
    EXPECT_TRUE(narrow.guardsIntact());
}

// A bounded run of random calls with random positions, sizes and patterns:
// none may write outside the region, and none may fail other than with its
// documented codes.
TEST_F(FontDraw, RandomCallsNeverWriteOutsideTheRegion)
{
    std::mt19937 rng(20261210);
    std::vector<uint8_t> bytes(4096);
    std::vector<uint32_t> pixels(72 * 72);
    for (int iteration = 0; iteration < 3000; ++iteration) {
        for (auto& b : bytes)
            b = static_cast<uint8_t>(rng());
        for (auto& p : pixels)
            p = rng();
        const uint32_t w = 1 + rng() % 24, h = 1 + rng() % 20;
        Canvas c(w, h, w + rng() % 4);
        c.bind();
        kvr_fontDraw_setDirection(rng() % 2);
        auto pos = [&]() { return static_cast<int32_t>(rng() % 80) - 40; };
        auto size = [&]() { return static_cast<uint32_t>(rng() % 48); };
        const int32_t x = pos(), y = pos();
        const uint32_t sw = size(), sh = size();
        int32_t rc = 0;
        switch (rng() % 7) {
        case 0:
            rc = kvr_fontDraw_drawBitmapGrey256(x, y, sw, sh, static_cast<int32_t>(sw + rng() % 4), bytes.data());
            break;
        case 1:
            rc = kvr_fontDraw_drawBitmapMono(x, y, sw, sh, static_cast<int32_t>((sw + 7) / 8 + rng() % 2), bytes.data());
            break;
        case 2:
            rc = kvr_fontDraw_drawBitmapDRCS(rng() % 3, x, y, sw, sh, sw, bytes.data());
            break;
        case 3:
            rc = kvr_fontDraw_clearFontBG(static_cast<uint32_t>(x), static_cast<uint32_t>(y), sw, sh);
            break;
        case 4:
            rc = kvr_fontDraw_drawHighlighting(static_cast<uint32_t>(x), static_cast<uint32_t>(y), sw, sh, rng() % 8,
                                               rng() % 16);
            break;
        case 5:
            rc = kvr_fontDraw_drawUnderline(static_cast<uint32_t>(x), static_cast<uint32_t>(y), sw, sh, rng() % 8);
            break;
        default:
            rc = kvr_fontDraw_scaleBitmapDRCS(pixels.data(), 1 + rng() % 72, 1 + rng() % 72, c.origin(),
                                              static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                                              static_cast<int32_t>(sw), static_cast<int32_t>(sh), c.stride());
            break;
        }
        ASSERT_TRUE(rc == 0 || rc == -2 || rc == -5) << "iteration " << iteration << " rc " << rc;
        ASSERT_TRUE(c.guardsIntact()) << "iteration " << iteration;
    }
}

}  // namespace
