// Framebuffer picture drawing: byte-exact output against an independent
// rendering, refusal of bad pictures with the screen untouched, and a bounded
// mutation run over the BMP reader.

#include "Bmp.h"
#include "FbDraw.h"
#include "MicomHarness.h"
#include "MicomProtocol.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

using namespace micomtest;
using namespace micom;

namespace {

class Picture : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.activate();
        console = std::tmpfile();
        setConsole(console);
    }
    void TearDown() override
    {
        setConsole(nullptr);
        std::fclose(console);
    }
    std::string output()
    {
        std::fflush(console);
        std::rewind(console);
        std::string s;
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, console)) > 0)
            s.append(buf, n);
        std::rewind(console);
        return s;
    }
    std::string fb() const { return root.at("/dev/fb0"); }
    int draw(const std::vector<uint8_t>& bmp)
    {
        const std::string p = root.dir() + "/pic.bmp";
        writeFile(p, bmp);
        return fb_display_draw_bmp(p.c_str());
    }

    TempRoot root;
    FILE* console = nullptr;
};

int sh(const std::string& cmd)
{
    return std::system(cmd.c_str());
}

}  // namespace

TEST_F(Picture, MatchesFfmpegOverlayOnABlackScreen)
{
    // Odd sizes exercise every row padding; the full-screen picture lands at
    // offset 0 with the file's last row on top. One ffmpeg run writes every
    // picture and, from the same pixels, its overlay centred on a black
    // 720x480 screen; one ffprobe run reads the pictures' sizes back.
    const std::pair<int, int> sizes[] = {{101, 57}, {3, 5}, {718, 479}, {720, 480}};
    const size_t n = sizeof sizes / sizeof sizes[0];
    const std::string dir = root.dir() + "/oracle";
    makeDirs(dir);
    std::string graph = "[0:v]format=bgr24,split=" + std::to_string(n);
    for (size_t i = 1; i <= n; ++i)
        graph += "[s" + std::to_string(i) + "]";
    graph += ";[1:v]format=gbrp,split=" + std::to_string(n);
    for (size_t i = 1; i <= n; ++i)
        graph += "[b" + std::to_string(i) + "]";
    std::string outputs;
    for (size_t i = 1; i <= n; ++i) {
        const std::string k = std::to_string(i);
        graph += ";[s" + k + "]crop=" + std::to_string(sizes[i - 1].first) + ":" +
                 std::to_string(sizes[i - 1].second) + ":1:1,split[p" + k + "][q" + k + "];[b" + k + "][q" + k +
                 "]overlay=x=trunc((W-w)/2):y=trunc((H-h)/2):format=gbrp,format=bgr24[r" + k + "]";
        outputs += " -map '[p" + k + "]' -frames:v 1 -pix_fmt bgr24 '" + dir + "/pic" + k + ".bmp'";
        outputs += " -map '[r" + k + "]' -frames:v 1 -f rawvideo -pix_fmt bgr24 '" + dir + "/ref" + k + ".raw'";
    }
    ASSERT_EQ(sh("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=721x481 -f lavfi -i color=c=black:s=720x480"
                 " -filter_complex \"" + graph + "\"" + outputs),
              0);
    std::string want = "";
    for (const auto& s : sizes)
        want += std::to_string(s.first) + "," + std::to_string(s.second) + "\n";
    ASSERT_EQ(sh("test \"$(ffprobe -v error -f image2 -i '" + dir +
                 "/pic%d.bmp' -show_entries frame=width,height -of csv=p=0)\" = \"$(printf '" + want + "')\""),
              0)
        << "fixture sizes";

    for (size_t i = 1; i <= n; ++i) {
        SCOPED_TRACE(std::to_string(sizes[i - 1].first) + "x" + std::to_string(sizes[i - 1].second));
        // Leave something on the screen that the drawing must clear.
        writeFile(fb(), std::vector<uint8_t>(kFbBytes, 0x77));
        const std::string bmp = dir + "/pic" + std::to_string(i) + ".bmp";
        ASSERT_EQ(fb_display_draw_bmp(bmp.c_str()), 0) << output();
        const auto screen = readFile(fb());
        const auto ref = readFile(dir + "/ref" + std::to_string(i) + ".raw");
        ASSERT_EQ(screen.size(), kFbBytes);
        ASSERT_EQ(ref.size(), size_t(kXres) * kYres * 3);
        size_t mismatches = 0, first = 0;
        for (size_t p = 0; p < size_t(kXres) * kYres; ++p) {
            const bool same = screen[p * 4] == ref[p * 3] && screen[p * 4 + 1] == ref[p * 3 + 1] &&
                              screen[p * 4 + 2] == ref[p * 3 + 2] && screen[p * 4 + 3] == 0;
            if (!same && mismatches++ == 0)
                first = p;
        }
        EXPECT_EQ(mismatches, 0u) << "first at x=" << first % kXres << " y=" << first / kXres;
    }
}

TEST_F(Picture, RowPaddingNeverReachesTheScreen)
{
    // Hand-made pictures whose padding bytes are 0xAB: widths 1, 2, 3 and 4
    // need 1, 2, 3 and 0 padding bytes per row.
    for (int w = 1; w <= 4; ++w) {
        SCOPED_TRACE(w);
        ASSERT_EQ(draw(makeBmp(w, 3, patternPixel)), 0) << output();
        EXPECT_TRUE(readFile(fb()) == expectedScreen(w, 3, patternPixel));
    }
}

TEST_F(Picture, UsesTheScreensLineLength)
{
    // 8 x 4 pixels visible in rows of 10 pixels.
    const Screen screen{8, 4, 40};
    const auto bmp = makeBmp(4, 2, patternPixel);
    BmpPicture pic;
    std::string why;
    ASSERT_TRUE(parseBmp(bmp.data(), bmp.size(), &pic, &why)) << why;
    std::vector<uint8_t> mem(40 * 4, 0x33);
    ASSERT_TRUE(fitsScreen(pic, screen, mem.size(), &why)) << why;
    drawBmp(bmp.data(), pic, screen, mem.data(), mem.size());
    std::vector<uint8_t> want(40 * 4, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint32_t c = patternPixel(x, y);
            uint8_t* d = want.data() + (1 + y) * 40 + (2 + x) * 4;
            d[0] = uint8_t(c);
            d[1] = uint8_t(c >> 8);
            d[2] = uint8_t(c >> 16);
        }
    EXPECT_TRUE(mem == want);
    // A line length shorter than the visible row, or a mapping too small
    // for the rows, is refused.
    EXPECT_FALSE(fitsScreen(pic, Screen{8, 4, 28}, mem.size(), &why));
    EXPECT_FALSE(fitsScreen(pic, screen, mem.size() - 1, &why));
}

TEST_F(Picture, BadPicturesAreRefusedAndTheScreenIsLeftAlone)
{
    auto base = [] { return makeBmp(5, 4, patternPixel); };
    auto set32 = [](std::vector<uint8_t> v, size_t at, uint32_t x) {
        for (int i = 0; i < 4; ++i)
            v[at + i] = uint8_t(x >> (8 * i));
        return v;
    };
    auto set16 = [](std::vector<uint8_t> v, size_t at, uint16_t x) {
        v[at] = uint8_t(x);
        v[at + 1] = uint8_t(x >> 8);
        return v;
    };
    const std::vector<uint8_t> ok = base();
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        const char* message;
    };
    std::vector<uint8_t> truncated = ok;
    truncated.resize(ok.size() - 7);
    std::vector<uint8_t> headerOnly(ok.begin(), ok.begin() + 40);
    const Case cases[] = {
        {"header size beyond the file", set32(ok, 2, uint32_t(ok.size() + 1)), "header claims"},
        {"file cut short", truncated, "header claims"},
        {"shorter than a header", headerOnly, "not a BMP"},
        {"empty file", {}, "not a BMP"},
        {"no signature", set16(ok, 0, 0x4242), "signature"},
        {"rows beyond the header size", set32(ok, 22, 40), "do not fit"},
        {"header size inside the header", set32(ok, 2, 20), "do not fit"},
        {"width overflow", set32(ok, 18, 0x7FFFFFFF), "do not fit"},
        {"zero width", set32(ok, 18, 0), "bad BMP size"},
        {"top-down rows", set32(ok, 22, uint32_t(-4)), "bad BMP size"},
        {"32 bits per pixel", set16(ok, 28, 32), "unsupported"},
        {"compressed", set32(ok, 30, 1), "unsupported"},
        {"wider than the screen", makeBmp(721, 1, patternPixel), "larger than the screen"},
        {"taller than the screen", makeBmp(1, 481, patternPixel), "larger than the screen"},
    };
    const std::vector<uint8_t> before(kFbBytes, 0x5A);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(fb(), before);
        EXPECT_EQ(draw(c.file), -1);
        EXPECT_NE(output().find(c.message), std::string::npos) << output();
        EXPECT_TRUE(readFile(fb()) == before);
    }

    writeFile(fb(), before);
    const std::string missing = root.dir() + "/missing.bmp";
    EXPECT_EQ(fb_display_draw_bmp(missing.c_str()), -1);
    EXPECT_NE(output().find("failed to open " + missing + ", errno=2"), std::string::npos) << output();
    EXPECT_EQ(fb_display_draw_bmp(nullptr), -1);
    EXPECT_NE(output().find("input bmp file name.."), std::string::npos);
    EXPECT_TRUE(readFile(fb()) == before);

    // A header file size below the real size is fine: the rows end there.
    std::vector<uint8_t> trailing = ok;
    trailing.insert(trailing.end(), 9, 0xEE);
    EXPECT_EQ(draw(trailing), 0) << output();
    EXPECT_TRUE(readFile(fb()) == expectedScreen(5, 4, patternPixel));
}

TEST_F(Picture, FramebufferStandInMustHoldAWholeScreen)
{
    const std::vector<uint8_t> small(kFbBytes - 4, 0x5A);
    writeFile(fb(), small);
    EXPECT_EQ(draw(makeBmp(2, 2, patternPixel)), -1);
    EXPECT_NE(output().find("smaller than a 720x480 screen"), std::string::npos) << output();
    EXPECT_TRUE(readFile(fb()) == small);

    EXPECT_EQ(std::remove(fb().c_str()), 0);
    EXPECT_EQ(draw(makeBmp(2, 2, patternPixel)), -1);
    EXPECT_EQ(fb_display_init(), -1);
    EXPECT_NE(output().find("can't open " + fb()), std::string::npos) << output();
}

TEST(BmpReader, BoundedMutation)
{
    // Mutated headers and lengths of valid pictures. Whatever the reader
    // accepts must draw inside a small screen without touching memory outside
    // the file or the mapping (the sanitizer build checks).
    std::mt19937 rng(20261210);
    const std::vector<std::vector<uint8_t>> seeds = {makeBmp(3, 2, patternPixel), makeBmp(17, 9, patternPixel),
                                                     makeBmp(64, 48, patternPixel)};
    const Screen screen{64, 48, 64 * 4 + 8};
    std::vector<uint8_t> mapping(size_t(screen.lineLength) * screen.yres);
    size_t accepted = 0;
    for (int iter = 0; iter < 20000; ++iter) {
        std::vector<uint8_t> f = seeds[rng() % seeds.size()];
        const int edits = 1 + int(rng() % 6);
        for (int e = 0; e < edits; ++e) {
            switch (rng() % 5) {
            case 0:
            case 1:  // a header byte
                f[rng() % std::min<size_t>(f.size(), 54)] = uint8_t(rng());
                break;
            case 2:  // any byte
                if (!f.empty())
                    f[rng() % f.size()] = uint8_t(rng());
                break;
            case 3:  // cut
                f.resize(rng() % (f.size() + 1));
                break;
            case 4:  // extend
                f.resize(f.size() + rng() % 64, uint8_t(rng()));
                break;
            }
            if (f.empty())
                break;
        }
        // An exactly sized heap copy lets the sanitizer see any read past it.
        std::unique_ptr<uint8_t[]> data(new uint8_t[f.size() + 1]);
        std::copy(f.begin(), f.end(), data.get());
        BmpPicture pic;
        std::string why;
        if (!parseBmp(data.get(), f.size(), &pic, &why)) {
            EXPECT_FALSE(why.empty());
            continue;
        }
        ASSERT_LE(pic.fileSize, f.size());
        ASSERT_LE(uint64_t(pic.rowBytes) * uint64_t(pic.height) + kBmpHeaderSize, pic.fileSize);
        if (!fitsScreen(pic, screen, mapping.size(), &why))
            continue;
        ++accepted;
        drawBmp(data.get(), pic, screen, mapping.data(), mapping.size());
    }
    EXPECT_GT(accepted, 0u);
}
