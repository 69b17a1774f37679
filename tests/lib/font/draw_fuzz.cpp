// libFuzzer target: drawing calls with positions, sizes, depths and patterns
// taken from the input, into a guarded region; any write outside it aborts.

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "font_test_support.h"
#include "fuzz_seeds.h"
#include "kvr_fontDraw.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    uint32_t take(uint32_t mod)
    {
        uint32_t v = 0;
        for (int i = 0; i < 2 && n > 0; ++i, ++p, --n)
            v = (v << 8) | *p;
        return mod ? v % mod : v;
    }
};

}  // namespace

// One call of each kind on a small canvas, in both directions, as the
// drawing tests make them (the values the reader above takes, two bytes each).
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::vector<std::string> seeds;
    for (uint16_t direction = 0; direction < 2; ++direction)
        for (uint16_t op = 0; op < 7; ++op) {
            const uint16_t values[] = {11, 7, 1, direction, op, 100, 101, 5, 2, 3};
            std::string seed;
            for (uint16_t v : values) {
                seed += static_cast<char>(v >> 8);
                seed += static_cast<char>(v & 0xFF);
            }
            for (int i = 0; i < 24; ++i)
                seed += static_cast<char>(i * 37 + op);
            seeds.push_back(seed);
        }
    holvik_fuzz::writeSeedsIfAsked(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    const uint32_t width = 1 + in.take(40), height = 1 + in.take(40), stride = width + in.take(4);
    fonttest::Canvas canvas(width, height, stride);
    kvr_fontDraw_init();
    canvas.bind();
    kvr_fontDraw_setFontColor(1, 2, 3, 4);
    kvr_fontDraw_setFontLineEffectColor(5);
    kvr_fontDraw_setDirection(static_cast<int32_t>(in.take(2)));
    const uint32_t op = in.take(7);
    const int32_t x = static_cast<int32_t>(in.take(200)) - 100, y = static_cast<int32_t>(in.take(200)) - 100;
    const uint32_t w = in.take(96), h = in.take(96), extra = in.take(16);
    // The pattern: whatever input is left, padded so that the largest
    // bitmap these sizes describe can be read.
    std::vector<uint8_t> pattern(in.p, in.p + in.n);
    pattern.resize(std::max<size_t>(pattern.size(), static_cast<size_t>(w + extra) * h + 1), 0);
    std::vector<uint32_t> source(72 * 72);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = pattern[i % pattern.size()];
    switch (op) {
    case 0:
        kvr_fontDraw_drawBitmapGrey256(x, y, w, h, static_cast<int32_t>(w + extra), pattern.data());
        break;
    case 1:
        kvr_fontDraw_drawBitmapMono(x, y, w, h, static_cast<int32_t>((w + 7) / 8 + extra), pattern.data());
        break;
    case 2:
        kvr_fontDraw_drawBitmapDRCS(extra % 3, x, y, w, h, w, pattern.data());
        break;
    case 3:
        kvr_fontDraw_clearFontBG(static_cast<uint32_t>(x), static_cast<uint32_t>(y), w, h);
        break;
    case 4:
        kvr_fontDraw_drawHighlighting(static_cast<uint32_t>(x), static_cast<uint32_t>(y), w, h, extra, extra);
        break;
    case 5:
        kvr_fontDraw_drawUnderline(static_cast<uint32_t>(x), static_cast<uint32_t>(y), w, h, extra);
        break;
    default:
        kvr_fontDraw_scaleBitmapDRCS(source.data(), 1 + extra * 4, 1 + (w % 72), canvas.origin(),
                                     static_cast<uint32_t>(x), static_cast<uint32_t>(y), static_cast<int32_t>(w),
                                     static_cast<int32_t>(h), canvas.stride());
        break;
    }
    if (!canvas.guardsIntact())
        std::abort();
    return 0;
}
