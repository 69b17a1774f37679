// The boot logo drawn into a framebuffer file: placement byte for byte, row
// padding, the screen's line length, and refusal of pictures and screens the
// copy cannot serve (the framebuffer then stays as it was).

#include "ISDBtBootLogoThread.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using holvik_test::readFile;
using holvik_test::TestDevRoot;
using holvik_test::writeFile;

void put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (8 * i));
}

// The colour of file row `y` (counted from the file's first row), column `x`.
uint8_t blue(int x, int y) { return static_cast<uint8_t>(x * 7 + y); }
uint8_t green(int x, int y) { return static_cast<uint8_t>(y * 5 + 1); }
uint8_t red(int x, int y) { return static_cast<uint8_t>(x + y * 3 + 9); }

struct BmpSpec {
    int width;
    int height;
    int bits = 24;
    int compression = 0;
    long sizeDelta = 0;  // added to the header's file size
};

std::string makeBmp(const BmpSpec& b)
{
    const size_t row = static_cast<size_t>(b.width) * 3 + (b.width % 4);
    std::string s(54 + row * b.height, '\0');
    s[0] = 'B';
    s[1] = 'M';
    put32(s, 2, static_cast<uint32_t>(static_cast<long>(s.size()) + b.sizeDelta));
    put32(s, 10, 54);
    put32(s, 14, 40);
    put32(s, 18, static_cast<uint32_t>(b.width));
    put32(s, 22, static_cast<uint32_t>(b.height));
    s[26] = 1;
    s[28] = static_cast<char>(b.bits);
    put32(s, 30, static_cast<uint32_t>(b.compression));
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) {
            const size_t at = 54 + y * row + x * 3;
            s[at] = static_cast<char>(blue(x, y));
            s[at + 1] = static_cast<char>(green(x, y));
            s[at + 2] = static_cast<char>(red(x, y));
        }
        // Padding bytes that must never reach the screen.
        for (size_t p = b.width * 3; p < row; ++p)
            s[54 + y * row + p] = '\x77';
    }
    return s;
}

struct Fb {
    unsigned xres, yres, bits, stride;
};

class BootLogo : public ::testing::Test
{
protected:
    // A framebuffer file of `fb`'s size filled with 0x5a, with the graphics
    // class files that describe it.
    void makeFramebuffer(const Fb& fb, size_t extraBytes = 0)
    {
        writeFile(root.path("/sys/class/graphics/fb0/virtual_size"),
                  std::to_string(fb.xres) + "," + std::to_string(fb.yres) + "\n");
        writeFile(root.path("/sys/class/graphics/fb0/bits_per_pixel"), std::to_string(fb.bits) + "\n");
        writeFile(root.path("/sys/class/graphics/fb0/stride"), std::to_string(fb.stride) + "\n");
        writeFile(root.path("/dev/fb0"), std::string(static_cast<size_t>(fb.stride) * fb.yres + extraBytes, '\x5a'));
    }
    std::string writeBmp(const std::string& bytes)
    {
        const std::string p = root.path("/usr/share/kvr_launcher/expand_sys2.bmp");
        writeFile(p, bytes);
        return p;
    }

    // The expected framebuffer: black, with the picture centred, the last
    // file row on top.
    static std::string expected(const Fb& fb, int width, int height)
    {
        std::string out(static_cast<size_t>(fb.stride) * fb.yres, '\0');
        const unsigned top = (fb.yres - height) / 2;
        const unsigned left = (fb.xres - width) / 2;
        for (int r = 0; r < height; ++r) {
            const int fileRow = height - 1 - r;
            for (int x = 0; x < width; ++x) {
                const size_t at = (top + r) * static_cast<size_t>(fb.stride) + (left + x) * 4;
                out[at] = static_cast<char>(blue(x, fileRow));
                out[at + 1] = static_cast<char>(green(x, fileRow));
                out[at + 2] = static_cast<char>(red(x, fileRow));
            }
        }
        return out;
    }

    TestDevRoot root;
};

// Reports the first differing byte as (row, column, byte) rather than
// dumping megabytes.
::testing::AssertionResult sameScreen(const std::string& got, const std::string& want, unsigned stride)
{
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "size " << got.size() << " != " << want.size();
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i])
            return ::testing::AssertionFailure()
                   << "row " << i / stride << " column " << (i % stride) / 4 << " byte " << i % 4 << ": got "
                   << int(uint8_t(got[i])) << " want " << int(uint8_t(want[i]));
    }
    return ::testing::AssertionSuccess();
}

TEST_F(BootLogo, PictureIsCentredWithBlackBordersByteForByte)
{
    struct Case {
        const char* name;
        Fb fb;
        int width, height;
    };
    const Case cases[] = {
        // 280 pixels left, 120 rows on top.
        {"480 picture on 720P", {1280, 720, 32, 1280 * 4}, 720, 480},
        // Rows of 3 x 721 + 1 = 2164 bytes in the file.
        {"odd width", {1280, 720, 32, 1280 * 4}, 721, 3},
        {"width 2 mod 4, odd borders", {101, 51, 32, 101 * 4}, 6, 4},
        {"whole screen", {64, 32, 32, 64 * 4}, 64, 32},
        // Rows of the screen are longer than its visible width.
        {"padded line length", {100, 40, 32, 128 * 4}, 33, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeFramebuffer(c.fb);
        const std::string bmp = writeBmp(makeBmp({c.width, c.height}));
        ASSERT_EQ(kvr_gui_display_draw_bmp(bmp.c_str()), 0);
        EXPECT_TRUE(sameScreen(readFile(root.path("/dev/fb0")), expected(c.fb, c.width, c.height), c.fb.stride));
    }
}

TEST_F(BootLogo, SpecExampleBordersAndOddRowLength)
{
    const Fb fb{1280, 720, 32, 1280 * 4};
    makeFramebuffer(fb);
    const std::string bmp = writeBmp(makeBmp({721, 2}));
    EXPECT_EQ(readFile(bmp).size(), 54u + 2 * 2164);
    ASSERT_EQ(kvr_gui_display_draw_bmp(bmp.c_str()), 0);
    const std::string screen = readFile(root.path("/dev/fb0"));
    // Top row of the picture: row 359, columns 279..999; the last file row.
    const size_t first = 359 * 5120 + 279 * 4;
    EXPECT_EQ(uint8_t(screen[first]), blue(0, 1));
    EXPECT_EQ(uint8_t(screen[first + 2]), red(0, 1));
    EXPECT_EQ(uint8_t(screen[first + 3]), 0);
    EXPECT_EQ(uint8_t(screen[first - 4 + 0]), 0);
    EXPECT_EQ(uint8_t(screen[359 * 5120 + 999 * 4]), blue(720, 1));
    EXPECT_EQ(uint8_t(screen[360 * 5120 + 999 * 4 + 1]), green(720, 0));
}

TEST_F(BootLogo, PicturesAndScreensTheCopyCannotServeAreRefusedAndTheScreenIsKept)
{
    struct Case {
        const char* name;
        BmpSpec bmp;
        Fb fb;
        size_t truncateTo = 0;  // the file is cut to this many bytes when set
    };
    const Fb screen{64, 32, 32, 64 * 4};
    const Case cases[] = {
        {"header claims more than the file", {8, 4, 24, 0, 1}, screen},
        {"header claims less than the rows", {8, 4, 24, 0, -4}, screen},
        {"file shorter than a header", {8, 4}, screen, 40},
        {"wider than the screen", {65, 4}, screen},
        {"taller than the screen", {8, 33}, screen},
        {"16 bits per pixel", {8, 4, 16}, screen},
        {"compressed", {8, 4, 24, 1}, screen},
        {"16-bit screen", {8, 4}, {64, 32, 16, 64 * 2}},
        {"line length shorter than the width", {8, 4}, {64, 32, 32, 60 * 4}},
        {"zero width", {0, 4}, screen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeFramebuffer(c.fb);
        const std::string before = readFile(root.path("/dev/fb0"));
        std::string bytes = makeBmp(c.bmp);
        if (c.truncateTo)
            bytes.resize(c.truncateTo);
        const std::string bmp = writeBmp(bytes);
        EXPECT_EQ(kvr_gui_display_draw_bmp(bmp.c_str()), -1);
        EXPECT_EQ(readFile(root.path("/dev/fb0")), before);
    }
}

TEST_F(BootLogo, MissingFilesAndFramebufferSmallerThanItsGeometryFail)
{
    EXPECT_EQ(kvr_gui_display_draw_bmp(nullptr), -1);
    EXPECT_EQ(kvr_gui_display_draw_bmp(root.path("/usr/share/none.bmp").c_str()), -1);
    const std::string bmp = writeBmp(makeBmp({8, 4}));
    std::remove(root.path("/dev/fb0").c_str());
    EXPECT_EQ(kvr_gui_display_init(), -1);
    EXPECT_EQ(kvr_gui_display_draw_bmp(bmp.c_str()), -1);
    // A file one row short of the screen it claims to be.
    writeFile(root.path("/sys/class/graphics/fb0/virtual_size"), "64,32\n");
    writeFile(root.path("/dev/fb0"), std::string(64 * 4 * 31, 'x'));
    EXPECT_EQ(kvr_gui_display_init(), 0);
    EXPECT_EQ(kvr_gui_display_draw_bmp(bmp.c_str()), -1);
    EXPECT_EQ(readFile(root.path("/dev/fb0")), std::string(64 * 4 * 31, 'x'));
}

TEST_F(BootLogo, ThreadDrawsTheLauncherBitmapOnce)
{
    const Fb fb{720, 480, 32, 720 * 4};
    makeFramebuffer(fb);
    writeBmp(makeBmp({100, 50}));
    ISDBtBootLogoThread thread;
    EXPECT_EQ(thread.result(), 1);
    thread.start();
    ASSERT_TRUE(thread.wait(30000));
    EXPECT_EQ(thread.result(), 0);
    EXPECT_TRUE(sameScreen(readFile(root.path("/dev/fb0")), expected(fb, 100, 50), fb.stride));
}

TEST_F(BootLogo, ThreadWithoutBitmapEndsWithoutDrawing)
{
    const Fb fb{720, 480, 32, 720 * 4};
    makeFramebuffer(fb);
    ISDBtBootLogoThread thread;
    thread.start();
    ASSERT_TRUE(thread.wait(30000));
    EXPECT_EQ(thread.result(), -1);
    EXPECT_EQ(readFile(root.path("/dev/fb0")), std::string(720 * 4 * 480, '\x5a'));
}

}  // namespace
