// Glyphs per second at caption sizes, and 16-character caption lines per
// second, drawn into a full-HD 32-bit buffer.
//
// The font is Debian's CJK fallback font, copied into a temporary folder
// under the renderer's file name, unless OZB_FONT_PATH already names one.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "kvr_font.h"

namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;

// A caption's worth of kana and kanji, cycled through so that the glyph
// cache of no single character decides the figure.
const char16_t kCaption[] = u"今日の天気は晴れのち曇り、夕方から雨が降るでしょう。"
                            u"ニュースをお伝えします東京都内の交通情報";

std::vector<uint32_t> g_frame(static_cast<size_t>(kWidth) * kHeight);

void setUpRenderer(uint32_t size)
{
    kvr_font_setDestBuf(g_frame.data());
    kvr_font_setDestRegion(kWidth, kHeight, kWidth);
    kvr_font_setFontColor(0xFFFFFFFFu, 0xFFFFC040u, 0xFF1A2A6Cu, 0xFF80C0FFu);
    kvr_font_setDirection(0, 0);
    kvr_font_setFontSize(0, size, size, 4, 8);
}

void glyphs(benchmark::State& state, uint32_t flags)
{
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    setUpRenderer(size);
    const size_t count = sizeof kCaption / sizeof kCaption[0] - 1;
    const uint32_t cell = size + 4;
    size_t i = 0;
    uint32_t x = 0, y = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kvr_font_displayChar(flags, 0, kCaption[i], x, y));
        i = (i + 1) % count;
        x += cell;
        if (x + cell > kWidth) {
            x = 0;
            y = (y + size + 8) % (kHeight - 2 * size);
        }
    }
    state.counters["glyphs/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_GlyphMono(benchmark::State& state)
{
    glyphs(state, 0);
}

void BM_GlyphGrey(benchmark::State& state)
{
    glyphs(state, KVR_FONT_FLAG_GREY);
}

void BM_CaptionLine16(benchmark::State& state)
{
    setUpRenderer(36);
    uint16_t line[17];
    for (int i = 0; i < 16; ++i)
        line[i] = kCaption[i];
    line[16] = 0;
    uint32_t y = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kvr_font_DisplayString(line, 0, y, 44));
        y = (y + 44) % (kHeight - 88);
    }
    state.counters["strings/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_GlyphMono)->Arg(24)->Arg(36)->Arg(48);
BENCHMARK(BM_GlyphGrey)->Arg(24)->Arg(36)->Arg(48);
BENCHMARK(BM_CaptionLine16);

}  // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    fs::path tempDir;
    if (!std::getenv("OZB_FONT_PATH")) {
        std::string pattern = (fs::temp_directory_path() / "ozbfont-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            return 1;
        }
        tempDir = pattern;
        std::error_code ec;
        fs::copy_file("/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf",
                      tempDir / "DroidSansFallback_OzB.ttf", ec);
        if (ec) {
            std::fprintf(stderr, "cannot copy the test font: %s\n", ec.message().c_str());
            return 1;
        }
        setenv("OZB_FONT_PATH", tempDir.c_str(), 1);
    }
    if (kvr_font_init() != 0) {
        std::fprintf(stderr, "the renderer could not open its font\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    kvr_font_close();
    if (!tempDir.empty()) {
        std::error_code ec;
        fs::remove_all(tempDir, ec);
    }
    return 0;
}
