// The glyph layer and the cell layer, drawing with Debian's CJK fallback font;
// glyph placement is checked against FreeType's own rendering.

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdlib>
#include <memory>

#include "font_private.h"
#include "font_test_env.h"
#include "font_test_support.h"
#include "kvr_font.h"
#include "kvr_fontDraw.h"
#include "kvr_fontFT.h"
#include "kvr_mw.h"

using fonttest::Canvas;
using fonttest::LogCapture;

namespace {

constexpr uint32_t kC0 = 0xFF0000AAu;
constexpr uint32_t kC1 = 0xFF0000BBu;
constexpr uint32_t kBg = 0xFF0000CCu;
constexpr uint32_t kC3 = 0xFF0000DDu;
constexpr uint32_t kLine = 0xFF00EE00u;

constexpr uint32_t kHiraganaA = 0x3042;      // あ
constexpr uint32_t kHiraganaKa = 0x304B;     // か
constexpr uint32_t kVoicedMark = 0x3099;     // combining dakuten
constexpr uint32_t kKanji = 0x6F22;          // 漢, reaches above the glyph box
constexpr uint32_t kIdeographicComma = 0x3001;
constexpr uint32_t kFullwidthLowLine = 0xFF3F;  // lies wholly below the baseline
constexpr uint32_t kFullwidthA = 0xFF21;
constexpr uint32_t kAsciiA = 'A';  // not in the font: the missing-glyph shape

::testing::Environment* const g_fontDirectory =
    ::testing::AddGlobalTestEnvironment(new fonttest::FontDirectory);

// FreeType's own rendering of a character, set up as the glyph layer does.
struct Reference {
    int left = 0, top = 0;
    unsigned width = 0, rows = 0;
    int pitch = 0;
    bool grey = false;
    std::vector<uint8_t> bits;
    long advance = 0;
    long yMax = 0, yMin = 0;
};

Reference reference(uint32_t code, uint32_t w, uint32_t h, bool grey)
{
    Reference r;
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&lib) != 0)
        return r;
    if (FT_New_Face(lib, fonttest::kSystemFont, 0, &face) == 0) {
        FT_Set_Char_Size(face, w * 64, h * 64, w, h);
        FT_Set_Pixel_Sizes(face, w, h);
        FT_Load_Glyph(face, FT_Get_Char_Index(face, code), FT_LOAD_NO_BITMAP);
        FT_Render_Glyph(face->glyph, grey ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO);
        const FT_Bitmap& b = face->glyph->bitmap;
        r.left = face->glyph->bitmap_left;
        r.top = face->glyph->bitmap_top;
        r.width = b.width;
        r.rows = b.rows;
        r.pitch = b.pitch;
        r.grey = b.pixel_mode == FT_PIXEL_MODE_GRAY;
        r.bits.assign(b.buffer, b.buffer + static_cast<size_t>(b.rows) * std::abs(b.pitch));
        r.advance = face->glyph->advance.x >> 6;
        r.yMax = face->bbox.yMax;
        r.yMin = face->bbox.yMin;
        FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
    return r;
}

// The baseline of a glyph box `height` pixels high: the ascent share of the
// face's bounding box, rounded to the nearest pixel.
long baselineOf(const Reference& r, uint32_t height)
{
    return std::lround(static_cast<double>(height) * r.yMax / static_cast<double>(r.yMax - r.yMin));
}

// Puts FreeType's bitmap on `c` with its corner at (x, y), coverage mapped as
// the renderer documents it.
void stamp(Canvas& c, const Reference& r, long x, long y)
{
    for (unsigned row = 0; row < r.rows; ++row)
        for (unsigned col = 0; col < r.width; ++col) {
            const uint8_t* line = r.bits.data() + static_cast<size_t>(row) * r.pitch;
            uint32_t value = 0;
            bool set = false;
            if (r.grey) {
                set = line[col] != 0;
                value = line[col] == 255 ? kC0 : static_cast<uint32_t>(255 - line[col]) << 24;
            } else {
                set = (line[col / 8] >> (7 - col % 8)) & 1;
                value = kC0;
            }
            const long px = x + col, py = y + row;
            if (set && px >= 0 && py >= 0 && px < c.width() && py < c.height())
                c.at(px, py) = value;
        }
}

std::vector<uint32_t> pixels(const Canvas& c)
{
    std::vector<uint32_t> v;
    for (uint32_t y = 0; y < c.height(); ++y)
        for (uint32_t x = 0; x < c.width(); ++x)
            v.push_back(c.at(x, y));
    return v;
}

class Renderer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, kvr_font_init());
        kvr_font_setFontColor(kC0, kC1, kBg, kC3);
        kvr_font_setFontLineEffectColor(kLine);
        kvr_font_setDirection(0, 0);
    }
    void TearDown() override { kvr_font_close(); }
};

TEST(GlyphBaseline, IsTheAscentShareOfTheBoxRoundedToTheNearestPixel)
{
    struct Case {
        uint32_t height;
        long yMax, yMin;
        uint32_t expected;
    } const cases[] = {
        {24, 1900, -500, 19},  // 19.0
        {24, 231, -61, 19},    // 18.99: the test font
        {36, 231, -61, 28},    // 28.48
        {48, 231, -61, 38},    // 37.97
        {3, 1, -1, 2},         // 1.5 rounds up
        {5, 1, -4, 1},
    };
    for (const Case& k : cases)
        EXPECT_EQ(k.expected, ozbfontBaselineOffset(k.height, k.yMax, k.yMin))
            << k.height << " " << k.yMax << " " << k.yMin;
}

TEST_F(Renderer, GlyphsLandWhereFreeTypePutsThemAgainstTheBaseline)
{
    const uint32_t sizes[][2] = {{24, 24}, {36, 36}, {20, 30}};
    const uint32_t codes[] = {kHiraganaA, kKanji, kIdeographicComma, kFullwidthLowLine, kFullwidthA, kVoicedMark,
                              kAsciiA};
    for (const auto& size : sizes)
        for (uint32_t code : codes)
            for (bool grey : {false, true}) {
                SCOPED_TRACE(testing::Message() << "size " << size[0] << "x" << size[1] << " U+" << std::hex
                                                << code << (grey ? " grey" : " mono"));
                ASSERT_EQ(0, kvr_fontFT_setFontSize(size[0], size[1]));
                Canvas got(80, 80), want(80, 80);
                got.bindRenderer();
                const int32_t advance = kvr_fontFT_drawChar(grey ? 0x10 : 0, code, 10, 12);
                const Reference r = reference(code, size[0], size[1], grey);
                ASSERT_GT(r.rows, 0u);
                EXPECT_EQ(r.advance, advance);
                const long baseline = baselineOf(r, size[1]);
                stamp(want, r, 10 + r.left, 12 + (r.top < baseline ? baseline - r.top : 0));
                EXPECT_EQ(pixels(want), pixels(got));
                EXPECT_TRUE(got.guardsIntact());
            }

    // The two ends of the rule at 24 pixels (baseline 19): a glyph reaching
    // above the box starts on its top row; one below the baseline (top -2)
    // starts 21 rows lower, not on the top row.
    ASSERT_EQ(0, kvr_fontFT_setFontSize(24, 24));
    Canvas c(80, 80);
    c.bindRenderer();
    kvr_fontFT_drawChar(0, kKanji, 10, 12);
    EXPECT_EQ(12u, c.boundsOf(kC0)[1]);
    c.fill(0);
    kvr_fontFT_drawChar(0, kFullwidthLowLine, 10, 12);
    EXPECT_EQ(33u, c.boundsOf(kC0)[1]);
}

TEST_F(Renderer, GlyphLayerRefusals)
{
    EXPECT_EQ(-2, kvr_fontFT_setFontSize(0, 24));
    EXPECT_EQ(-2, kvr_fontFT_setFontSize(24, 0));
    ASSERT_EQ(0, kvr_fontFT_setFontSize(30, 20));

    uint32_t w = 0, h = 0;
    EXPECT_EQ(0, kvr_FontFT_getRealFontSize(kHiraganaA, &w, &h));
    EXPECT_EQ(30u, w);
    EXPECT_EQ(20u, h);
    EXPECT_EQ(-1, kvr_FontFT_getRealFontSize(kAsciiA, &w, &h));
    EXPECT_EQ(-1, kvr_FontFT_getRealFontSize(kHiraganaA, nullptr, &h));

    // Past the right edge: -5 and nothing drawn. 漢 is 28 wide at 30 pixels.
    Canvas c(40, 40);
    c.bindRenderer();
    EXPECT_EQ(-5, kvr_fontFT_drawChar(0, kKanji, 20, 0));
    EXPECT_EQ(1600u, c.count(0));
    // Without a destination: -3.
    kvr_fontDraw_init();
    EXPECT_EQ(-3, kvr_fontFT_drawChar(0, kKanji, 0, 0));
}

// Cell, glyph offset, glyph size and extent, seen from outside: the cleared
// cell, a one-pixel DRCS at the glyph's corner, the size the glyph layer was
// given, and the call's result.
struct Geometry {
    int32_t direction;
    uint32_t kind, w, h, a, b;
    uint32_t glyphW, glyphH, cellW, cellH, offX, offY;
};

class CellGeometry : public Renderer, public ::testing::WithParamInterface<Geometry> {};

TEST_P(CellGeometry, MatchesTheSizeKindAndDirection)
{
    const Geometry& g = GetParam();
    Canvas c(100, 80);
    c.bindRenderer();
    kvr_font_setDirection(g.direction, 0);
    ASSERT_EQ(0, kvr_font_setFontSize(g.kind, g.w, g.h, g.a, g.b));

    uint32_t realW = 0, realH = 0;
    ASSERT_EQ(0, kvr_FontFT_getRealFontSize(kHiraganaA, &realW, &realH));
    EXPECT_EQ(g.glyphW, realW);
    EXPECT_EQ(g.glyphH, realH);

    const int32_t extent = kvr_font_clearChar(0, 10, 10);
    EXPECT_EQ(static_cast<int32_t>(g.direction ? g.glyphH : g.glyphW), extent);
    EXPECT_EQ((std::vector<uint32_t>{10, 10, 10 + g.cellW, 10 + g.cellH}), c.boundsOf(kBg));

    const uint8_t dot = 0x80;
    ASSERT_EQ(0, kvr_font_displayDRCS(0, 10, 10, 1, 1, &dot));
    EXPECT_EQ((std::vector<uint32_t>{10 + g.offX, 10 + g.offY, 11 + g.offX, 11 + g.offY}), c.boundsOf(kC0));
}

// W 25, H 21 (odd halves), character spacing 6 and line spacing 7 (halves and
// quarters that round), so that no two rules give the same numbers.
INSTANTIATE_TEST_SUITE_P(
    AllKinds, CellGeometry,
    ::testing::Values(
        //       dir kind  W   H  a  b   glyph    cell     offset
        Geometry{0, 0, 25, 21, 6, 7, 25, 21, 31, 28, 3, 3}, Geometry{0, 1, 25, 21, 6, 7, 12, 21, 15, 28, 1, 3},
        Geometry{0, 2, 25, 21, 6, 7, 12, 10, 15, 13, 1, 1}, Geometry{0, 3, 25, 21, 6, 7, 50, 21, 62, 28, 6, 3},
        Geometry{0, 4, 25, 21, 6, 7, 25, 42, 31, 54, 3, 9}, Geometry{0, 5, 25, 21, 6, 7, 50, 42, 62, 54, 6, 9},
        Geometry{1, 0, 25, 21, 6, 7, 25, 21, 32, 27, 3, 3}, Geometry{1, 1, 25, 21, 6, 7, 25, 10, 32, 13, 3, 1},
        Geometry{1, 2, 25, 21, 6, 7, 12, 10, 15, 13, 1, 1}, Geometry{1, 3, 25, 21, 6, 7, 50, 21, 64, 27, 7, 3},
        Geometry{1, 4, 25, 21, 6, 7, 25, 42, 32, 54, 3, 6}, Geometry{1, 5, 25, 21, 6, 7, 50, 42, 64, 48, 7, 3},
        // A caption-sized example: 24 x 24 with spacings 4 and 6.
        Geometry{0, 0, 24, 24, 4, 6, 24, 24, 28, 30, 2, 3}, Geometry{0, 4, 24, 24, 4, 6, 24, 48, 28, 60, 2, 9},
        Geometry{1, 5, 24, 24, 4, 6, 48, 48, 60, 52, 6, 2}));

TEST_F(Renderer, ReferenceModesTurnThePositionIntoTheCellCorner)
{
    Canvas c(100, 100);
    c.bindRenderer();
    struct Case {
        int32_t mode;
        uint32_t x, y, cornerX, cornerY;
    } const cases[] = {
        {0, 20, 40, 20, 40},
        {1, 20, 40, 6, 40},  // half of the 28-pixel cell to the left
        {1, 15, 40, 1, 40},
        {1, 14, 40, 0, 40},  // at most half a cell: the left edge
        {1, 3, 40, 0, 40},
        {2, 20, 40, 20, 10},  // one 30-pixel cell up
        {2, 20, 31, 20, 1},
        {2, 20, 30, 20, 0},  // at most one cell: the top edge
        {3, 20, 40, 20, 40},
    };
    for (const Case& k : cases) {
        kvr_font_setDirection(0, k.mode);
        ASSERT_EQ(0, kvr_font_setFontSize(0, 24, 24, 4, 6));
        c.fill(0);
        kvr_font_clearChar(0, k.x, k.y);
        EXPECT_EQ((std::vector<uint32_t>{k.cornerX, k.cornerY, k.cornerX + 28, k.cornerY + 30}), c.boundsOf(kBg))
            << "mode " << k.mode << " at " << k.x << "," << k.y;
    }
}

TEST_F(Renderer, BadSizesAreRefusedAndKeepTheGeometry)
{
    Canvas c(100, 100);
    c.bindRenderer();
    ASSERT_EQ(0, kvr_font_setFontSize(0, 24, 24, 4, 6));
    LogCapture log;
    EXPECT_EQ(-2, kvr_font_setFontSize(6, 24, 24, 4, 6));
    EXPECT_EQ(-2, kvr_font_setFontSize(0, 0, 24, 4, 6));
    EXPECT_EQ(-2, kvr_font_setFontSize(0, 24, 0, 4, 6));
    EXPECT_TRUE(log.contains(4, "Err Invalid Param(Size:6)\n"));
    EXPECT_TRUE(log.contains(4, "Err Invalid Param(uiWidth:0, uiHeight:24)\n"));
    EXPECT_TRUE(log.contains(4, "Err Invalid Param(uiWidth:24, uiHeight:0)\n"));
    EXPECT_EQ(24, kvr_font_clearChar(0, 0, 0));
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 28, 30}), c.boundsOf(kBg));

    // Half width of 1 pixel is 0: the glyph layer refuses it, yet the new
    // cell (0 + 4/2 wide) is already in force.
    EXPECT_EQ(-2, kvr_font_setFontSize(1, 1, 24, 4, 6));
    c.fill(0);
    EXPECT_EQ(0, kvr_font_clearChar(0, 0, 0));
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 2, 30}), c.boundsOf(kBg));
}

TEST_F(Renderer, DisplayCharClearsTheCellAndDrawsTheGlyphAtItsOffset)
{
    ASSERT_EQ(0, kvr_font_setFontSize(0, 24, 24, 4, 6));
    for (uint32_t flags : {0u, 0x10u}) {
        Canvas got(60, 60, 0, 0x12345678u), want(60, 60, 0, 0x12345678u);
        got.bindRenderer();
        EXPECT_EQ(24, kvr_font_displayChar(flags, 0, kKanji, 5, 7));
        want.bindRenderer();
        kvr_fontDraw_clearFontBG(5, 7, 28, 30);
        kvr_fontFT_drawChar(flags, kKanji, 5 + 2, 7 + 3);
        EXPECT_EQ(pixels(want), pixels(got)) << "flags " << flags;
        // One-bit rendering writes only the foreground; grey levels more.
        const size_t inCell = 28 * 30;
        const size_t plain = got.count(kBg) + got.count(kC0);
        if (flags == 0)
            EXPECT_EQ(inCell, plain);
        else
            EXPECT_LT(plain, inCell);
    }
}

TEST_F(Renderer, UnderlineAndHighlightingFrameTheCell)
{
    ASSERT_EQ(0, kvr_font_setFontSize(0, 24, 24, 4, 6));  // cell 28 x 30, glyph at (2, 3)
    Canvas c(60, 60);
    c.bindRenderer();
    // Underline only: the cell's last row (T = 3 + 24 + 3 = 30), no box.
    ASSERT_EQ(24, kvr_font_displayChar(0x20, 0, kHiraganaA, 5, 7));
    EXPECT_EQ((std::vector<uint32_t>{5, 36, 33, 37}), c.boundsOf(kLine));
    EXPECT_EQ(28u, c.count(kLine));

    // All four sides: the box closes three pixels inside the cell's right and
    // bottom edges.
    c.fill(0);
    ASSERT_EQ(24, kvr_font_displayChar(0xF, 0, kHiraganaA, 5, 7));
    EXPECT_EQ((std::vector<uint32_t>{5, 7, 31, 35}), c.boundsOf(kLine));
    EXPECT_EQ(kLine, c.at(5, 7));
    EXPECT_EQ(kLine, c.at(30, 34));
    EXPECT_EQ(kBg, c.at(31, 7));  // the top's end, erased by the right side

    // Vertical writing turns both.
    kvr_font_setDirection(1, 0);
    ASSERT_EQ(0, kvr_font_setFontSize(0, 24, 24, 4, 6));  // cell 30 x 28, glyph at (3, 2)
    c.fill(0);
    ASSERT_EQ(24, kvr_font_displayChar(0x20, 0, kHiraganaA, 5, 7));
    EXPECT_EQ((std::vector<uint32_t>{34, 7, 35, 35}), c.boundsOf(kLine));  // T = 2 + 24 + 2
    EXPECT_TRUE(c.guardsIntact());
}

TEST_F(Renderer, NonSpacingCharacterIsDrawnFirstAtTheSamePlace)
{
    ASSERT_EQ(0, kvr_font_setFontSize(0, 24, 24, 4, 6));
    Canvas got(60, 60), want(60, 60);
    got.bindRenderer();
    ASSERT_EQ(24, kvr_font_displayChar(0, kVoicedMark, kHiraganaKa, 0, 0));
    want.bindRenderer();
    kvr_fontDraw_clearFontBG(0, 0, 28, 30);
    kvr_fontFT_drawChar(0, kVoicedMark, 2, 3);
    kvr_fontFT_drawChar(0, kHiraganaKa, 2, 3);
    EXPECT_EQ(pixels(want), pixels(got));
}

TEST_F(Renderer, TheMainCharactersErrorIsReturnedTheOthersAreLogged)
{
    ASSERT_EQ(0, kvr_font_setFontSize(0, 24, 24, 4, 6));
    LogCapture log;
    kvr_fontDraw_init();  // no destination
    EXPECT_EQ(-3, kvr_font_displayChar(0x2F, kVoicedMark, kHiraganaKa, 0, 0));
    EXPECT_TRUE(log.contains(4, "Err kvr_fontDraw_clearFontBG(-3)\n"));
    EXPECT_TRUE(log.contains(4, "Err kvr_fontFT_drawChar(non-space character -3)\n"));
    EXPECT_TRUE(log.contains(4, "Err kvr_fontFT_drawChar(-3)\n"));

    // Past the right edge: -5, and neither box nor underline follows.
    Canvas c(40, 40);
    c.bindRenderer();
    kvr_font_setFontColor(kC0, kC1, kBg, kC3);
    kvr_font_setFontLineEffectColor(kLine);
    EXPECT_EQ(-5, kvr_font_displayChar(0x2F, 0, kKanji, 20, 0));
    EXPECT_EQ(0u, c.count(kLine));
    EXPECT_TRUE(c.guardsIntact());
}

TEST_F(Renderer, StringsAdvanceByTheGlyphAndWrapToTheLeftEdge)
{
    ASSERT_EQ(0, kvr_fontFT_setFontSize(24, 24));
    const uint16_t text[] = {kHiraganaA, kKanji, kHiraganaKa, kFullwidthA, 0};
    Canvas got(60, 80), want(60, 80);
    got.bindRenderer();
    ASSERT_EQ(0, kvr_font_DisplayString(text, 10, 2, 30));
    // Advances are 24: 10, 34, then past 60 -> next line at x 0, y 32.
    want.bindRenderer();
    kvr_fontFT_drawChar(0, kHiraganaA, 10, 2);
    kvr_fontFT_drawChar(0, kKanji, 34, 2);
    kvr_fontFT_drawChar(0, kHiraganaKa, 0, 32);
    kvr_fontFT_drawChar(0, kFullwidthA, 24, 32);
    EXPECT_EQ(pixels(want), pixels(got));

    const uint16_t empty[] = {0};
    Canvas blank(60, 80);
    blank.bindRenderer();
    EXPECT_EQ(0, kvr_font_DisplayString(empty, 10, 2, 30));
    EXPECT_EQ(60u * 80u, blank.count(0));

    LogCapture log;
    EXPECT_EQ(-2, kvr_font_DisplayString(nullptr, 0, 0, 30));
    EXPECT_TRUE(log.contains(4, "Err Invalid Param(pusString:0)\n"));

    // A glyph wider than the whole region ends the call instead of wrapping
    // for ever; so does a missing destination.
    Canvas narrow(12, 80);
    narrow.bindRenderer();
    EXPECT_EQ(-5, kvr_font_DisplayString(text, 4, 0, 30));
    EXPECT_TRUE(narrow.guardsIntact());
    kvr_fontDraw_init();
    EXPECT_EQ(-3, kvr_font_DisplayString(text, 0, 0, 30));
}

TEST_F(Renderer, DrcsPatternsSitAtTheGlyphOffsetOfAClearedCell)
{
    ASSERT_EQ(0, kvr_font_setFontSize(0, 24, 24, 4, 6));
    Canvas c(40, 40);
    c.bindRenderer();
    const uint8_t twoBit[] = {0x1B};
    ASSERT_EQ(0, kvr_font_displayDRCS(1, 0, 0, 4, 1, twoBit));
    EXPECT_EQ(kBg, c.at(2, 3));  // value 0 leaves the cleared pixel
    EXPECT_EQ(kC3, c.at(3, 3));
    EXPECT_EQ(kC1, c.at(4, 3));
    EXPECT_EQ(kC0, c.at(5, 3));
    EXPECT_EQ(28u * 30u - 3u, c.count(kBg));
    EXPECT_EQ(-2, kvr_font_displayDRCS(2, 0, 0, 4, 1, twoBit));
}

TEST_F(Renderer, ScaledDrcsFillsTheGlyphBoxWithThePattern)
{
    ASSERT_EQ(0, kvr_font_setFontSize(0, 24, 24, 4, 6));
    Canvas c(40, 40);
    c.bindRenderer();
    // 2 x 2 two-bit pattern 0 1 / 2 3, scaled to 4 x 4: each value a 2 x 2
    // square; value 0 copies the pattern's background, not the old pixel.
    const uint8_t pattern[] = {0x1B};
    c.fill(0x77777777u);
    ASSERT_EQ(0, kvr_font_displayDRCSwithScale(1, 0, 0, 4, 4, 2, 2, pattern));
    const uint32_t want[4][4] = {{kBg, kBg, kC3, kC3}, {kBg, kBg, kC3, kC3}, {kC1, kC1, kC0, kC0}, {kC1, kC1, kC0, kC0}};
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x)
            EXPECT_EQ(want[y][x], c.at(2 + x, 3 + y)) << x << "," << y;
    EXPECT_EQ(28u * 30u, c.count(kBg) + c.count(kC0) + c.count(kC1) + c.count(kC3));

    // The largest pattern the scratch buffer holds, scaled past the corner of
    // the caller's buffer: drawn, and clipped.
    std::vector<uint8_t> big(72 * 72 / 4, 0xFF);
    EXPECT_EQ(0, kvr_font_displayDRCSwithScale(0, 20, 20, 72, 72, 72, 72, big.data()));
    EXPECT_EQ(kC0, c.at(39, 39));
    EXPECT_TRUE(c.guardsIntact());
}

TEST_F(Renderer, ScaledDrcsRefusalsLeaveTheCallersDestinationAlone)
{
    ASSERT_EQ(0, kvr_font_setFontSize(0, 24, 24, 4, 6));
    Canvas c(40, 40, 44, 0x77777777u);
    c.bindRenderer();
    LogCapture log;
    std::vector<uint8_t> pattern(73 * 72 / 4 + 1, 0xFF);
    struct Case {
        uint32_t depth, pw, ph;
        int32_t result;
    } const cases[] = {
        {2, 4, 4, -2},    // bad depth, refused by the pattern stage
        {0, 73, 72, -2},  // more than the 5184 pixels of the scratch buffer
        {0, 0, 4, -2},
        {1, 4, 0, -2},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(k.result, kvr_font_displayDRCSwithScale(k.depth, 0, 0, 8, 8, k.pw, k.ph, pattern.data()))
            << k.depth << " " << k.pw << "x" << k.ph;
        EXPECT_EQ(c.origin(), kvr_fontDraw_getDestBuf());
        uint32_t w = 0, h = 0, s = 0;
        kvr_fontDraw_getDestRegion(&w, &h, &s);
        EXPECT_EQ((std::vector<uint32_t>{40, 40, 44}), (std::vector<uint32_t>{w, h, s}));
        EXPECT_EQ(40u * 40u, c.count(0x77777777u));
    }
    EXPECT_TRUE(log.contains(4, "Err kvr_fontDraw_drawBitmapDRCS(-2)\n"));

    // With no destination at all the scratch buffer must not become one.
    kvr_fontDraw_init();
    EXPECT_EQ(-3, kvr_font_displayDRCSwithScale(0, 0, 0, 8, 8, 4, 4, pattern.data()));
    EXPECT_EQ(nullptr, kvr_fontDraw_getDestBuf());
}

TEST_F(Renderer, LifecycleKeepsTheGeometryAndSurvivesAMissingScaleBuffer)
{
    ASSERT_EQ(0, kvr_font_setFontSize(3, 24, 24, 4, 6));
    ASSERT_EQ(0, kvr_font_close());
    EXPECT_EQ(0, kvr_mw_live_allocations());

    LogCapture log;
    EXPECT_EQ(-1, kvr_font_close());  // nothing open any more
    EXPECT_TRUE(log.contains(4, "Error kvr_fontFT_close(-1)\n"));

    // The scale buffer's allocation fails: init still succeeds, and the scaled
    // call refuses without drawing anything.
    kvr_mw_fail_allocation(1);
    ASSERT_EQ(0, kvr_font_init());
    EXPECT_TRUE(log.contains(4, "Error g_pDRCSScaleBuf is NULL\n"));
    Canvas c(80, 40, 0, 0x77777777u);
    c.bindRenderer();
    kvr_font_setFontColor(kC0, kC1, kBg, kC3);
    const uint8_t pattern[] = {0xFF, 0xFF};
    EXPECT_EQ(-3, kvr_font_displayDRCSwithScale(0, 0, 0, 8, 8, 4, 4, pattern));
    EXPECT_EQ(80u * 40u, c.count(0x77777777u));

    // Direction and geometry outlived the close: still the double-width cell
    // (2 x 24 + 2 x 4 wide), though the glyph layer has forgotten the size.
    EXPECT_EQ(48, kvr_font_clearChar(0, 0, 0));
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 56, 30}), c.boundsOf(kBg));
    ASSERT_EQ(0, kvr_font_close());
    EXPECT_EQ(0, kvr_mw_live_allocations());
    ASSERT_EQ(0, kvr_font_init());
    ASSERT_EQ(0, kvr_font_init());  // again without a close: one buffer
    EXPECT_EQ(1, kvr_mw_live_allocations());
}

}  // namespace
