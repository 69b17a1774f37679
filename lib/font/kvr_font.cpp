// Caption font renderer: character cells over the glyph and drawing layers.

#include "kvr_font.h"

#include "font_private.h"
#include "kvr_fontDraw.h"
#include "kvr_fontFT.h"
#include "kvr_mw.h"

namespace {

// The scratch buffer of scaled DRCS patterns holds the largest pattern, 72 x 72.
constexpr uint32_t kScaleBufPixels = 72 * 72;
constexpr size_t kScaleBufBytes = kScaleBufPixels * sizeof(uint32_t);

struct FontState {
    int32_t direction;
    int32_t referenceMode;
    uint32_t glyphWidth;
    uint32_t glyphHeight;
    uint32_t cellWidth;
    uint32_t cellHeight;
    uint32_t glyphX;
    uint32_t glyphY;
};

// Zero at load; kept across a close and a new init.
FontState g_font;

struct Geometry {
    uint32_t glyphWidth, glyphHeight, cellWidth, glyphX, cellHeight, glyphY;
};

struct Corner {
    uint32_t x;
    uint32_t y;
};

// Turns the caller's position into the cell's top-left corner.
Corner cellCorner(uint32_t x, uint32_t y)
{
    if (g_font.referenceMode == 1) {
        const uint32_t half = g_font.cellWidth / 2;
        x = x > half ? x - half : 0;
    } else if (g_font.referenceMode == 2) {
        y = y > g_font.cellHeight ? y - g_font.cellHeight : 0;
    }
    return {x, y};
}

void clearCell(Corner corner)
{
    const int32_t rc = kvr_fontDraw_clearFontBG(corner.x, corner.y, g_font.cellWidth, g_font.cellHeight);
    if (rc < 0)
        kvr_mw_log(kFontLogLevel, "Err kvr_fontDraw_clearFontBG(%d)\n", rc);
}

int32_t glyphExtent()
{
    return static_cast<int32_t>(g_font.direction != 0 ? g_font.glyphHeight : g_font.glyphWidth);
}

}  // namespace

// Scratch destination of kvr_font_displayDRCSwithScale.
uint32_t* g_pDRCSScaleBuf;

KVR_FONT_EXPORT int32_t kvr_font_init(void)
{
    const int32_t rc = kvr_fontFT_init();
    if (rc != 0) {
        kvr_mw_log(kFontLogLevel, "Error kvr_fontFT_init(%d)\n", rc);
        return -1;
    }
    kvr_fontDraw_init();
    if (g_pDRCSScaleBuf)  // init twice without a close: keep one buffer
        kvr_mw_free("kvr_font_init", 124, g_pDRCSScaleBuf);
    g_pDRCSScaleBuf = static_cast<uint32_t*>(kvr_mw_malloc("kvr_font_init", 124, kScaleBufBytes));
    if (!g_pDRCSScaleBuf)
        kvr_mw_log(kFontLogLevel, "Error g_pDRCSScaleBuf is NULL\n");
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_font_close(void)
{
    if (g_pDRCSScaleBuf) {
        kvr_mw_free("kvr_font_close", 140, g_pDRCSScaleBuf);
        g_pDRCSScaleBuf = nullptr;
    }
    kvr_fontDraw_close();
    const int32_t rc = kvr_fontFT_close();
    if (rc != 0) {
        kvr_mw_log(kFontLogLevel, "Error kvr_fontFT_close(%d)\n", rc);
        return -1;
    }
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_font_setDestBuf(uint32_t* buffer)
{
    return kvr_fontDraw_setDestBuf(buffer);
}

KVR_FONT_EXPORT int32_t kvr_font_setDestRegion(uint32_t width, uint32_t height, uint32_t stride)
{
    return kvr_fontDraw_setDestRegion(width, height, stride);
}

KVR_FONT_EXPORT int32_t kvr_font_clearDestBuf(uint32_t fill)
{
    return kvr_fontDraw_clearDestBuf(fill);
}

KVR_FONT_EXPORT int32_t kvr_font_setDirection(int32_t direction, int32_t referenceMode)
{
    g_font.direction = direction;
    g_font.referenceMode = referenceMode;
    kvr_fontDraw_setDirection(direction);
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_font_setFontSize(uint32_t sizeKind, uint32_t uiWidth, uint32_t uiHeight,
                                             uint32_t charSpacing, uint32_t lineSpacing)
{
    if (uiWidth == 0 || uiHeight == 0) {
        kvr_mw_log(kFontLogLevel, "Err Invalid Param(uiWidth:%d, uiHeight:%d)\n", static_cast<int>(uiWidth),
                   static_cast<int>(uiHeight));
        return -2;
    }
    if (sizeKind > 5) {
        kvr_mw_log(kFontLogLevel, "Err Invalid Param(Size:%d)\n", static_cast<int>(sizeKind));
        return -2;
    }
    const uint32_t W = uiWidth;
    const uint32_t H = uiHeight;
    const uint32_t a = charSpacing;
    const uint32_t b = lineSpacing;
    // Each row: glyph width, glyph height, cell width, x offset, cell height,
    // y offset.
    Geometry g;
    if (g_font.direction == 0) {
        // Character spacing acts along the row, line spacing between rows.
        // Double height sits low in its cell: 3 half-spacings above, 1 below.
        const Geometry rows[6] = {
            {W, H, W + a, a / 2, H + b, b / 2},
            {W / 2, H, W / 2 + a / 2, a / 4, H + b, b / 2},
            {W / 2, H / 2, W / 2 + a / 2, a / 4, H / 2 + b / 2, b / 4},
            {2 * W, H, 2 * W + 2 * a, a, H + b, b / 2},
            {W, 2 * H, W + a, a / 2, 2 * H + 4 * (b / 2), 3 * (b / 2)},
            {2 * W, 2 * H, 2 * W + 2 * a, a, 2 * H + 4 * (b / 2), 3 * (b / 2)},
        };
        g = rows[sizeKind];
    } else {
        // Vertical writing: character spacing acts down the column, line
        // spacing between columns.
        const Geometry rows[6] = {
            {W, H, W + b, b / 2, H + a, a / 2},
            {W, H / 2, W + b, b / 2, H / 2 + a / 2, a / 4},
            {W / 2, H / 2, W / 2 + b / 2, b / 4, H / 2 + a / 2, a / 4},
            {2 * W, H, 2 * W + 2 * b, b, H + a, a / 2},
            {W, 2 * H, W + b, b / 2, 2 * H + 2 * a, a},
            {2 * W, 2 * H, 2 * W + 2 * b, b, 2 * H + a, a / 2},
        };
        g = rows[sizeKind];
    }
    g_font.glyphWidth = g.glyphWidth;
    g_font.glyphHeight = g.glyphHeight;
    g_font.cellWidth = g.cellWidth;
    g_font.glyphX = g.glyphX;
    g_font.cellHeight = g.cellHeight;
    g_font.glyphY = g.glyphY;
    // The geometry stays in force even when the glyph layer refuses the size.
    return kvr_fontFT_setFontSize(g_font.glyphWidth, g_font.glyphHeight);
}

KVR_FONT_EXPORT int32_t kvr_font_setFontColor(uint32_t foreground, uint32_t level2Colour,
                                              uint32_t background, uint32_t level1Colour)
{
    kvr_fontDraw_setFontColor(foreground, level2Colour, background, level1Colour);
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_font_setFontLineEffectColor(uint32_t colour)
{
    kvr_fontDraw_setFontLineEffectColor(colour);
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_font_clearChar(uint32_t unused, uint32_t x, uint32_t y)
{
    (void)unused;
    clearCell(cellCorner(x, y));
    return glyphExtent();
}

KVR_FONT_EXPORT int32_t kvr_font_displayChar(uint32_t flags, uint32_t nonSpacingChar, uint32_t character,
                                             uint32_t x, uint32_t y)
{
    const Corner corner = cellCorner(x, y);
    clearCell(corner);
    const uint32_t gx = corner.x + g_font.glyphX;
    const uint32_t gy = corner.y + g_font.glyphY;

    if (nonSpacingChar != 0) {
        const int32_t rc = kvr_fontFT_drawChar(flags, nonSpacingChar, gx, gy);
        if (rc < 0)
            kvr_mw_log(kFontLogLevel, "Err kvr_fontFT_drawChar(non-space character %d)\n", rc);
    }
    const int32_t rc = kvr_fontFT_drawChar(flags, character, gx, gy);
    if (rc < 0) {
        kvr_mw_log(kFontLogLevel, "Err kvr_fontFT_drawChar(%d)\n", rc);
        return rc;
    }

    const uint32_t boxHeight = g_font.glyphY + g_font.glyphHeight;
    if (flags & KVR_FONT_HIGHLIGHT_MASK) {
        const int32_t hl = kvr_fontDraw_drawHighlighting(corner.x, corner.y, g_font.cellWidth, boxHeight,
                                                         g_font.glyphY, flags);
        if (hl < 0)
            kvr_mw_log(kFontLogLevel, "Err kvr_fontDraw_drawHighlighting(%d)\n", hl);
    }
    if (flags & KVR_FONT_FLAG_UNDERLINE) {
        const int32_t ul = kvr_fontDraw_drawUnderline(corner.x, corner.y, g_font.cellWidth, boxHeight,
                                                      g_font.glyphY);
        if (ul < 0)
            kvr_mw_log(kFontLogLevel, "Err kvr_fontDraw_drawUnderline(%d)\n", ul);
    }
    // The caller moves to the next cell itself; the glyph's advance is unused.
    return glyphExtent();
}

KVR_FONT_EXPORT int32_t kvr_font_displayDRCS(uint32_t depth, uint32_t x, uint32_t y, uint32_t width,
                                             uint32_t height, const uint8_t* pattern)
{
    const Corner corner = cellCorner(x, y);
    clearCell(corner);
    const int64_t gx = static_cast<int64_t>(corner.x) + g_font.glyphX;
    const int64_t gy = static_cast<int64_t>(corner.y) + g_font.glyphY;
    // Positions past the signed range lie beyond any region: the drawing
    // layer reports them as past the right edge or writes no row.
    const int32_t px = gx > INT32_MAX ? INT32_MAX : static_cast<int32_t>(gx);
    const int32_t py = gy > INT32_MAX ? INT32_MAX : static_cast<int32_t>(gy);
    return kvr_fontDraw_drawBitmapDRCS(depth, px, py, width, height, width, pattern);
}

KVR_FONT_EXPORT int32_t kvr_font_displayDRCSwithScale(uint32_t depth, uint32_t x, uint32_t y, uint32_t width,
                                                      uint32_t height, uint32_t patternWidth,
                                                      uint32_t patternHeight, const uint8_t* pattern)
{
    // The pattern is first drawn into the scratch buffer; with no buffer, or a
    // pattern it cannot hold, nothing is drawn at all, and the caller's
    // destination is never touched at the pattern stage.
    if (!g_pDRCSScaleBuf) {
        kvr_mw_log(kFontLogLevel, "Err g_pDRCSScaleBuf is NULL\n");
        return -3;
    }
    if (patternWidth == 0 || patternHeight == 0 ||
        static_cast<uint64_t>(patternWidth) * patternHeight > kScaleBufPixels) {
        kvr_mw_log(kFontLogLevel, "Err Invalid Param(patternWidth:%u, patternHeight:%u)\n", patternWidth,
                   patternHeight);
        return -2;
    }
    uint32_t* const callerBuffer = kvr_fontDraw_getDestBuf();
    uint32_t callerWidth = 0, callerHeight = 0, callerStride = 0;
    kvr_fontDraw_getDestRegion(&callerWidth, &callerHeight, &callerStride);
    // The swap below can only be undone through the setters, which refuse an
    // unset destination; without one there is nothing to draw into anyway.
    if (!callerBuffer || !callerWidth || !callerHeight || !callerStride) {
        kvr_mw_log(kFontLogLevel, "Err no destination buffer or region\n");
        return -3;
    }
    auto restoreCaller = [&]() {
        kvr_fontDraw_setDestBuf(callerBuffer);
        kvr_fontDraw_setDestRegion(callerWidth, callerHeight, callerStride);
    };

    kvr_fontDraw_setDestBuf(g_pDRCSScaleBuf);
    kvr_fontDraw_setDestRegion(patternWidth, patternHeight, patternWidth);
    int32_t rc = kvr_fontDraw_clearFontBG(0, 0, patternWidth, patternHeight);
    if (rc < 0)
        kvr_mw_log(kFontLogLevel, "Err kvr_fontDraw_clearFontBG(%d)\n", rc);
    rc = kvr_fontDraw_drawBitmapDRCS(depth, 0, 0, patternWidth, patternHeight, patternWidth, pattern);
    if (rc != 0) {
        kvr_mw_log(kFontLogLevel, "Err kvr_fontDraw_drawBitmapDRCS(%d)\n", rc);
        restoreCaller();
        return rc;
    }
    restoreCaller();

    const Corner corner = cellCorner(x, y);
    clearCell(corner);
    return kvr_fontDraw_scaleBitmapDRCS(g_pDRCSScaleBuf, patternWidth, patternHeight, callerBuffer,
                                        corner.x + g_font.glyphX, corner.y + g_font.glyphY,
                                        static_cast<int32_t>(width), static_cast<int32_t>(height), callerStride);
}

KVR_FONT_EXPORT int32_t kvr_font_DisplayString(const uint16_t* pusString, uint32_t x, uint32_t y,
                                               uint32_t lineStep)
{
    if (!pusString) {
        kvr_mw_log(kFontLogLevel, "Err Invalid Param(pusString:0)\n");
        return -2;
    }
    for (const uint16_t* unit = pusString; *unit != 0;) {
        const int32_t rc = kvr_fontFT_drawChar(0, *unit, x, y);
        if (rc >= 0) {
            x += static_cast<uint32_t>(rc);
            ++unit;
        } else if (rc == -5 && x != 0) {
            // Past the right edge: the same unit starts the next line at the
            // region's left edge.
            x = 0;
            y += lineStep;
        } else {
            // Any other failure, or a glyph too wide even for a whole line,
            // ends the string instead of retrying it forever.
            kvr_mw_log(kFontLogLevel, "Err kvr_fontFT_drawChar(%d)\n", rc);
            return rc;
        }
    }
    return 0;
}
