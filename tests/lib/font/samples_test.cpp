// Renders caption samples into PNG files below the build folder, for a person
// to look at: horizontal and vertical text, underline and highlighting, plain
// and scaled DRCS, and a wrapped string, in Japanese and Latin.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "font_test_env.h"
#include "font_test_support.h"
#include "kvr_font.h"

using fonttest::Canvas;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kAmber = 0xFFFFC040u;
constexpr uint32_t kNavy = 0xFF1A2A6Cu;
constexpr uint32_t kSky = 0xFF80C0FFu;
constexpr uint32_t kGold = 0xFFFFD700u;
constexpr uint32_t kBlack = 0xFF000000u;

::testing::Environment* const g_fontDirectory =
    ::testing::AddGlobalTestEnvironment(new fonttest::FontDirectory);

class Samples : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fonttest::makeDirs(OZBFONT_SAMPLE_DIR));
        ASSERT_EQ(0, kvr_font_init());
        kvr_font_setFontColor(kWhite, kAmber, kNavy, kSky);
        kvr_font_setFontLineEffectColor(kGold);
        kvr_font_setDirection(0, 0);
    }
    void TearDown() override { kvr_font_close(); }

    // Draws `text` one cell after another from (x, y) along the writing
    // direction; returns the position after the last cell.
    static uint32_t line(const char16_t* text, uint32_t flags, uint32_t x, uint32_t y, uint32_t step, bool vertical)
    {
        for (; *text; ++text) {
            kvr_font_displayChar(flags, 0, *text, x, y);
            (vertical ? y : x) += step;
        }
        return vertical ? y : x;
    }

    static void save(const Canvas& c, const char* name)
    {
        const std::string path = std::string(OZBFONT_SAMPLE_DIR) + "/" + name;
        ASSERT_TRUE(fonttest::writePng(path, &const_cast<Canvas&>(c).at(0, 0), c.width(), c.height(), c.stride()))
            << path;
        EXPECT_GT(c.count(kWhite), 0u) << name << " shows no glyph";
        EXPECT_TRUE(c.guardsIntact()) << name;
        std::printf("sample: %s\n", path.c_str());
    }
};

TEST_F(Samples, HorizontalText)
{
    Canvas c(640, 230, 0, kBlack);
    c.bindRenderer();
    kvr_font_setFontSize(0, 36, 36, 4, 12);  // cell 40 x 48
    line(u"字幕の表示テスト、漢字とかな。", 0, 10, 10, 40, false);
    line(u"字幕の表示テスト、漢字とかな。", 0x10, 10, 58, 40, false);
    kvr_font_setFontSize(1, 36, 36, 4, 12);  // half width: cell 20 x 48
    line(u"ＨＯＬＶＩＫ　Ｃａｐｔｉｏｎ　ｔｅｓｔ　１２３", 0x10, 10, 106, 20, false);
    kvr_font_setFontSize(5, 24, 24, 4, 8);  // double size: cell 56 x 64
    line(u"二倍ＡＢ", 0, 10, 154, 56, false);
    kvr_font_setFontSize(2, 36, 36, 4, 12);  // half both: cell 20 x 30
    line(u"小さい文字ｓｍａｌｌ", 0, 250, 170, 20, false);
    save(c, "horizontal.png");
}

TEST_F(Samples, VerticalText)
{
    Canvas c(200, 520, 0, kBlack);
    c.bindRenderer();
    kvr_font_setDirection(1, 0);
    kvr_font_setFontSize(0, 36, 36, 4, 12);  // cell 48 x 40
    line(u"縦書きの字幕です", 0, 130, 10, 40, true);
    line(u"ＴＥＸＴ　ｔｅｘｔ", 0x10, 76, 10, 40, true);
    kvr_font_setFontSize(4, 24, 24, 4, 12);  // double height: cell 36 x 56
    line(u"二倍高", 0x20, 20, 10, 56, true);
    save(c, "vertical.png");
}

TEST_F(Samples, UnderlineAndHighlighting)
{
    Canvas c(520, 200, 0, kBlack);
    c.bindRenderer();
    kvr_font_setFontSize(0, 36, 36, 4, 12);
    line(u"下線付きＵｎｄｅｒ", 0x20, 10, 10, 40, false);
    line(u"囲み枠Ｂｏｘ", 0x2F, 10, 70, 40, false);
    // One side per character: bottom, right, top, left.
    const uint32_t sides[] = {0x1, 0x2, 0x4, 0x8};
    const char16_t text[] = u"上下左右";
    for (int i = 0; i < 4; ++i)
        kvr_font_displayChar(sides[i], 0, text[i], 10 + 50 * i, 130);
    save(c, "underline_highlight.png");
}

TEST_F(Samples, PlainAndScaledDrcs)
{
    // A 16 x 16 two-bit pattern: a frame of value 3, a diagonal of 2, a
    // centre block of 1, background 0 elsewhere.
    uint8_t twoBit[16 * 16 / 4] = {};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int v = 0;
            if (x == 0 || y == 0 || x == 15 || y == 15)
                v = 3;
            else if (x == y || x == 15 - y)
                v = 2;
            else if (x > 5 && x < 10 && y > 5 && y < 10)
                v = 1;
            const int bit = (y * 16 + x) * 2;
            twoBit[bit / 8] |= static_cast<uint8_t>(v << (6 - bit % 8));
        }
    // A 12 x 12 one-bit ring.
    uint8_t oneBit[12 * 12 / 8] = {};
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const int d = (2 * x - 11) * (2 * x - 11) + (2 * y - 11) * (2 * y - 11);
            if (d > 40 && d < 130)
                oneBit[(y * 12 + x) / 8] |= static_cast<uint8_t>(0x80 >> ((y * 12 + x) % 8));
        }

    Canvas c(600, 200, 0, kBlack);
    c.bindRenderer();
    kvr_font_setFontSize(0, 16, 16, 4, 4);
    ASSERT_EQ(0, kvr_font_displayDRCS(1, 10, 10, 16, 16, twoBit));
    ASSERT_EQ(0, kvr_font_displayDRCS(0, 10, 40, 12, 12, oneBit));
    uint32_t x = 50;
    for (uint32_t size : {24u, 36u, 48u, 72u}) {
        kvr_font_setFontSize(0, size, size, 4, 4);
        ASSERT_EQ(0, kvr_font_displayDRCSwithScale(1, x, 10, size, size, 16, 16, twoBit));
        ASSERT_EQ(0, kvr_font_displayDRCSwithScale(0, x, 100, size, size, 12, 12, oneBit));
        x += size + 20;
    }
    // Stretched: 16 x 16 to 96 x 40.
    kvr_font_setFontSize(0, 96, 40, 4, 4);
    ASSERT_EQ(0, kvr_font_displayDRCSwithScale(1, x, 10, 96, 40, 16, 16, twoBit));
    kvr_font_displayChar(0, 0, u'外', x, 100);  // a glyph beside them for scale
    save(c, "drcs_scaled.png");
}

TEST_F(Samples, WrappedString)
{
    Canvas c(300, 150, 0, kBlack);
    c.bindRenderer();
    kvr_font_setFontSize(0, 28, 28, 0, 0);
    const char16_t text[] = u"文字列は右端で折り返して次の行へ続きます。ＯＫ";
    ASSERT_EQ(0, kvr_font_DisplayString(reinterpret_cast<const uint16_t*>(text), 40, 4, 34));
    save(c, "string.png");
}

}  // namespace
