// Fuzz target of the caption renderer's public calls as the caption decoder
// makes them, with what the broadcast decides: the font size and spacing,
// the writing direction, the position, DRCS patterns with their sizes and
// depth, and the characters of a string (drawn through FreeType). The
// renderer draws into a guarded region; a write outside it, or a result
// outside the documented codes, aborts.
//
// Input: op, size kind, cell width (2), cell height (2), character spacing,
// line spacing, direction, x (2), y (2), depth, width, height, pattern
// width, pattern height, region width, region height, then the pattern
// bytes or the string's code units (big-endian pairs).

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "font_test_support.h"
#include "kvr_font.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    uint32_t byte()
    {
        if (!n)
            return 0;
        --n;
        return *p++;
    }
    uint32_t word() { return byte() << 8 | byte(); }
};

// The bytes a pattern of `pixels` pixels at `depth` occupies: rows follow
// each other in one bit string.
size_t patternBytes(uint32_t depth, uint64_t pixels)
{
    return static_cast<size_t>((pixels * (depth == 0 ? 1 : 2) + 7) / 8);
}

// The pattern in a block of exactly `bytes` bytes (never null, as the
// caption decoder's are), from the input's remaining bytes, zero-padded.
std::unique_ptr<uint8_t[]> pattern(const Reader& in, size_t bytes)
{
    std::unique_ptr<uint8_t[]> p(new uint8_t[bytes]());
    std::memcpy(p.get(), in.p, in.n < bytes ? in.n : bytes);
    return p;
}

void checkResult(int32_t r)
{
    if (r < -5)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The renderer composes its font path once per process: the folder
    // lives as long as the process.
    static fonttest::TempDir* dir = new fonttest::TempDir;
    if (!fonttest::installFont(dir->path()))
        std::abort();
    setenv("OZB_FONT_PATH", dir->path().c_str(), 1);
    if (kvr_font_init() != 0)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    const uint32_t op = in.byte() % 4;
    const uint32_t sizeKind = in.byte() % 8;  // 6 and 7 are no size kind
    const uint32_t cellWidth = in.word() % 160, cellHeight = in.word() % 160;
    const uint32_t charSpacing = in.byte() % 32, lineSpacing = in.byte() % 64;
    const uint32_t direction = in.byte();
    const uint32_t x = in.word() % 400, y = in.word() % 300;
    const uint32_t depth = in.byte() % 3;  // 2 is no depth
    const uint32_t width = in.byte() % 100, height = in.byte() % 100;
    const uint32_t patternWidth = in.byte() % 90, patternHeight = in.byte() % 90;
    const uint32_t regionWidth = 1 + in.byte() % 240, regionHeight = 1 + in.byte() % 160;

    fonttest::Canvas canvas(regionWidth, regionHeight, regionWidth + 3);
    canvas.bindRenderer();
    kvr_font_setFontColor(0xFF0000AAu, 0xFF0000BBu, 0xFF0000CCu, 0xFF0000DDu);
    kvr_font_setFontLineEffectColor(0xFF00EE00u);
    checkResult(kvr_font_setDirection(direction & 1, (direction >> 1) % 4));
    checkResult(kvr_font_setFontSize(sizeKind, cellWidth, cellHeight, charSpacing, lineSpacing));

    switch (op) {
    case 0: {
        // Exactly the bytes the sizes describe, so a read past them shows.
        const auto bits = pattern(in, patternBytes(depth, uint64_t(width) * height));
        checkResult(kvr_font_displayDRCS(depth, x, y, width, height, bits.get()));
        break;
    }
    case 1: {
        const auto bits = pattern(in, patternBytes(depth, uint64_t(patternWidth) * patternHeight));
        checkResult(kvr_font_displayDRCSwithScale(depth, x, y, width, height, patternWidth, patternHeight,
                                                  bits.get()));
        break;
    }
    case 2: {
        std::vector<uint16_t> text;
        while (in.n >= 2 && text.size() < 64)
            text.push_back(static_cast<uint16_t>(in.word()));
        text.push_back(0);
        checkResult(kvr_font_DisplayString(text.data(), x, y, lineSpacing + cellHeight));
        break;
    }
    default: {
        const uint32_t character = in.word(), nonSpacing = in.byte() ? in.word() : 0;
        checkResult(kvr_font_displayChar(in.byte(), nonSpacing, character, x, y));
        break;
    }
    }
    if (!canvas.guardsIntact())
        std::abort();
    return 0;
}
