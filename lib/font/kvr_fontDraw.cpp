// Caption drawing layer: every pixel of the renderer is written here, clipped
// to the destination region so that no call, whatever its position or size,
// writes outside the caller's buffer.

#include "kvr_fontDraw.h"

#include <algorithm>
#include <cstring>

#include "font_private.h"

namespace {

struct DrawState {
    uint32_t* buffer;
    uint32_t width;
    uint32_t height;
    uint32_t stride;
    uint32_t colour[4];
    uint32_t lineColour;
    int32_t direction;
};

DrawState g_draw;

bool haveDestination()
{
    return g_draw.buffer && g_draw.width && g_draw.height && g_draw.stride;
}

// Columns that may be written: the region's width, but never past the stride,
// or the last row would reach beyond height x stride pixels.
int64_t writableWidth()
{
    return std::min(g_draw.width, g_draw.stride);
}

// Fills the rectangle [x0, x1) x [y0, y1), clipped to the region.
void fillRect(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t colour)
{
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, writableWidth());
    y1 = std::min<int64_t>(y1, g_draw.height);
    for (int64_t yy = y0; yy < y1; ++yy) {
        uint32_t* row = g_draw.buffer + static_cast<size_t>(yy) * g_draw.stride;
        for (int64_t xx = x0; xx < x1; ++xx)
            row[xx] = colour;
    }
}

// A clip box: lines of the highlighting and the underline stay inside the box
// they were asked for, even where a narrow box gives a side no sound length.
struct Box {
    int64_t x0, y0, x1, y1;
};

void fillInBox(const Box& box, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t colour)
{
    fillRect(std::max(x0, box.x0), std::max(y0, box.y0), std::min(x1, box.x1),
             std::min(y1, box.y1), colour);
}

// The box that the highlighting and the underline draw in: `width` columns
// and T = height + y offset rows from (x, y). 0, or the call's error code.
int32_t lineBox(uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint32_t yOffset, Box* box)
{
    if (width == 0 || height == 0)
        return -2;
    if (!haveDestination())
        return -3;
    *box = Box{x, y, static_cast<int64_t>(x) + width, static_cast<int64_t>(y) + height + yOffset};
    return 0;
}

// Row lines [x0, x1] and column lines [y0, y1], both ends inclusive.
void hline(const Box& box, int64_t x0, int64_t x1, int64_t y, uint32_t colour)
{
    fillInBox(box, x0, y, x1 + 1, y + 1, colour);
}

void vline(const Box& box, int64_t x, int64_t y0, int64_t y1, uint32_t colour)
{
    fillInBox(box, x, y0, x + 1, y1 + 1, colour);
}

// The test shared by the bitmap calls; 0 when drawing may go on.
int32_t checkBitmap(int32_t x, uint32_t width)
{
    if (!g_draw.buffer || g_draw.width == 0)
        return -3;
    if (g_draw.stride == 0 || g_draw.height == 0)
        return -3;
    if (static_cast<int64_t>(x) + width > g_draw.width)
        return -5;
    return 0;
}

// The columns [c0, c1) of a bitmap placed at x that lie inside the region.
void visibleColumns(int32_t x, uint32_t width, int64_t* c0, int64_t* c1)
{
    *c0 = std::max<int64_t>(0, -static_cast<int64_t>(x));
    *c1 = std::min<int64_t>(width, writableWidth() - static_cast<int64_t>(x));
}

// The rows [r0, r1) of a bitmap placed at y that lie inside the region.
void visibleRows(int32_t y, uint32_t rows, int64_t* r0, int64_t* r1)
{
    *r0 = std::max<int64_t>(0, -static_cast<int64_t>(y));
    *r1 = std::min<int64_t>(rows, static_cast<int64_t>(g_draw.height) - y);
}

// Row y of the destination; callers index it with x + column, which the
// visible ranges keep inside [0, writable width).
uint32_t* pixelRow(int64_t y)
{
    return g_draw.buffer + static_cast<size_t>(y) * g_draw.stride;
}

// The frame of every bitmap call: the common test, then `pixel(row, column,
// destination pixel)` for each bitmap pixel that lies inside the region.
// Zero rows or zero width draw nothing.
template <typename Pixel>
int32_t drawClipped(int32_t x, int32_t y, uint32_t width, uint32_t rows, const void* bits, Pixel pixel)
{
    const int32_t rc = checkBitmap(x, width);
    if (rc != 0)
        return rc;
    if (width == 0 || rows == 0)
        return 0;
    if (!bits)
        return -2;
    int64_t c0, c1, r0, r1;
    visibleColumns(x, width, &c0, &c1);
    visibleRows(y, rows, &r0, &r1);
    for (int64_t r = r0; r < r1; ++r) {
        uint32_t* dst = pixelRow(y + r);
        for (int64_t c = c0; c < c1; ++c)
            pixel(r, c, dst[x + c]);
    }
    return 0;
}

}  // namespace

KVR_FONT_EXPORT int32_t kvr_fontDraw_init(void)
{
    const int32_t direction = g_draw.direction;
    g_draw = DrawState();
    g_draw.direction = direction;
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_close(void)
{
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_setDestBuf(uint32_t* buffer)
{
    if (!buffer)
        return -2;
    g_draw.buffer = buffer;
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_setDestRegion(uint32_t width, uint32_t height, uint32_t stride)
{
    if (width == 0 || height == 0 || stride == 0)
        return -2;
    g_draw.width = width;
    g_draw.height = height;
    g_draw.stride = stride;
    return 0;
}

KVR_FONT_EXPORT uint32_t* kvr_fontDraw_getDestBuf(void)
{
    return g_draw.buffer;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_getDestRegion(uint32_t* width, uint32_t* height, uint32_t* stride)
{
    if (width)
        *width = g_draw.width;
    if (height)
        *height = g_draw.height;
    if (stride)
        *stride = g_draw.stride;
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_setFontColor(uint32_t colour0, uint32_t colour1, uint32_t colour2,
                                                  uint32_t colour3)
{
    g_draw.colour[0] = colour0;
    g_draw.colour[1] = colour1;
    g_draw.colour[2] = colour2;
    g_draw.colour[3] = colour3;
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_setFontLineEffectColor(uint32_t colour)
{
    g_draw.lineColour = colour;
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_clearDestBuf(uint32_t fill)
{
    if (!g_draw.buffer)
        return -1;
    std::memset(g_draw.buffer, static_cast<int>(fill & 0xFFu),
                static_cast<size_t>(g_draw.height) * g_draw.stride * sizeof(uint32_t));
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_setDirection(int32_t direction)
{
    g_draw.direction = direction;
    return direction;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_clearFontBG(uint32_t x, uint32_t y, uint32_t width, uint32_t height)
{
    if (width == 0 || height == 0)
        return -2;
    if (!haveDestination())
        return -3;
    fillRect(x, y, static_cast<int64_t>(x) + width, static_cast<int64_t>(y) + height,
             g_draw.colour[2]);
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_drawHighlighting(uint32_t x, uint32_t y, uint32_t width,
                                                      uint32_t height, uint32_t yOffset, uint32_t flags)
{
    Box box;
    const int32_t rc = lineBox(x, y, width, height, yOffset, &box);
    if (rc != 0)
        return rc;
    const int64_t x0 = box.x0;
    const int64_t y0 = box.y0;
    const int64_t w = box.x1 - box.x0;
    const int64_t t = box.y1 - box.y0;
    const uint32_t line = g_draw.lineColour;
    const uint32_t background = g_draw.colour[2];

    // Sides in the order bottom/left, top/right, left/top, then the closing
    // side, which first erases the ends that the earlier sides drew past it.
    if (g_draw.direction == 0) {
        if (flags & 0x1)
            hline(box, x0, x0 + w - 1, y0 + t - 3, line);
        if (flags & 0x4)
            hline(box, x0, x0 + w - 1, y0, line);
        if (flags & 0x8)
            vline(box, x0, y0, y0 + t - 4, line);
        if (flags & 0x2) {
            fillInBox(box, x0 + w - 3, y0, x0 + w, y0 + 1, background);
            fillInBox(box, x0 + w - 3, y0 + t - 3, x0 + w, y0 + t - 2, background);
            vline(box, x0 + w - 3, y0, y0 + t - 3, line);
        }
    } else {
        if (flags & 0x1)
            vline(box, x0, y0, y0 + t - 1, line);
        if (flags & 0x4)
            vline(box, x0 + w - 3, y0, y0 + t - 1, line);
        if (flags & 0x8)
            hline(box, x0, x0 + w - 4, y0, line);
        if (flags & 0x2) {
            fillInBox(box, x0, y0 + t - 3, x0 + 1, y0 + t, background);
            fillInBox(box, x0 + w - 3, y0 + t - 3, x0 + w - 2, y0 + t, background);
            hline(box, x0, x0 + w - 3, y0 + t - 3, line);
        }
    }
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_drawUnderline(uint32_t x, uint32_t y, uint32_t width,
                                                   uint32_t height, uint32_t yOffset)
{
    Box box;
    const int32_t rc = lineBox(x, y, width, height, yOffset, &box);
    if (rc != 0)
        return rc;
    const int64_t x0 = box.x0;
    const int64_t y0 = box.y0;
    const int64_t w = box.x1 - box.x0;
    const int64_t t = box.y1 - box.y0;
    if (g_draw.direction == 0)
        hline(box, x0, x0 + w - 1, y0 + t - 1, g_draw.lineColour);
    else
        vline(box, x0 + w - 1, y0, y0 + t - 1, g_draw.lineColour);
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_drawBitmapGrey256(int32_t x, int32_t y, uint32_t width,
                                                       uint32_t rows, int32_t pitch, const uint8_t* bytes)
{
    const uint32_t foreground = g_draw.colour[0];
    return drawClipped(x, y, width, rows, bytes, [&](int64_t r, int64_t c, uint32_t& pixel) {
        const uint8_t v = bytes[r * pitch + c];
        if (v != 0)
            pixel = v == 255 ? foreground : static_cast<uint32_t>(255 - v) << 24;
    });
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_drawBitmapMono(int32_t x, int32_t y, uint32_t width, uint32_t rows,
                                                    int32_t pitch, const uint8_t* bytes)
{
    const uint32_t foreground = g_draw.colour[0];
    return drawClipped(x, y, width, rows, bytes, [&](int64_t r, int64_t c, uint32_t& pixel) {
        if (bytes[r * pitch + (c >> 3)] & (0x80u >> (c & 7)))
            pixel = foreground;
    });
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_drawBitmapDRCS(uint32_t depth, int32_t x, int32_t y, uint32_t width,
                                                    uint32_t height, uint32_t rowWidth,
                                                    const uint8_t* pattern)
{
    (void)rowWidth;
    if (depth > 1)
        return -2;
    // Two-bit values 1, 2, 3 take colours 3, 1, 0; value 0 leaves the pixel.
    const uint32_t twoBit[4] = {0, g_draw.colour[3], g_draw.colour[1], g_draw.colour[0]};
    return drawClipped(x, y, width, height, pattern, [&](int64_t r, int64_t c, uint32_t& pixel) {
        // Rows follow each other in one bit string, not on byte boundaries.
        const uint64_t index = static_cast<uint64_t>(r) * width + static_cast<uint64_t>(c);
        if (depth == 0) {
            if (pattern[index >> 3] & (0x80u >> (index & 7)))
                pixel = twoBit[3];
        } else {
            const uint64_t bit = index * 2;
            const unsigned v = (pattern[bit >> 3] >> (6 - (bit & 7))) & 3u;
            if (v)
                pixel = twoBit[v];
        }
    });
}

KVR_FONT_EXPORT int32_t kvr_fontDraw_scaleBitmapDRCS(const uint32_t* src, uint32_t srcWidth,
                                                     uint32_t srcHeight, uint32_t* dest, uint32_t x,
                                                     uint32_t y, int32_t width, int32_t height,
                                                     uint32_t destStride)
{
    if (height <= 0 || width <= 0)
        return 0;
    if (!src || srcWidth == 0 || srcHeight == 0)
        return -2;
    if (!dest || !g_draw.width || !g_draw.height || !destStride)
        return -3;
    // The block is clipped to the region in force and to the given stride,
    // and never reaches past the region's height x stride pixels, whatever
    // stride the caller gives.
    const int64_t right = std::min<int64_t>(std::min(g_draw.width, destStride), static_cast<int64_t>(x) + width);
    const int64_t bottom = std::min<int64_t>(g_draw.height, static_cast<int64_t>(y) + height);
    const uint64_t limit = static_cast<uint64_t>(g_draw.height) * g_draw.stride;
    const double stepX = static_cast<double>(srcWidth) / width;
    const double stepY = static_cast<double>(srcHeight) / height;
    // Positions grow by repeated addition; the clamp only guards against the
    // sum creeping onto the source's edge.
    double posY = 0.0;
    for (int64_t r = 0; r < height; ++r, posY += stepY) {
        const int64_t dy = static_cast<int64_t>(y) + r;
        if (dy >= bottom || static_cast<uint64_t>(dy) * destStride >= limit)
            break;
        const uint32_t sy = std::min<uint32_t>(static_cast<uint32_t>(posY), srcHeight - 1);
        const uint32_t* srcRow = src + static_cast<size_t>(sy) * srcWidth;
        uint32_t* dstRow = dest + static_cast<size_t>(dy) * destStride;
        double posX = 0.0;
        for (int64_t c = 0; c < width; ++c, posX += stepX) {
            const int64_t dx = static_cast<int64_t>(x) + c;
            if (dx >= right || static_cast<uint64_t>(dy) * destStride + dx >= limit)
                break;
            const uint32_t sx = std::min<uint32_t>(static_cast<uint32_t>(posX), srcWidth - 1);
            dstRow[dx] = srcRow[sx];
        }
    }
    return 0;
}
