#ifndef KVR_FONTDRAW_H
#define KVR_FONTDRAW_H
/* Caption drawing layer: owns the destination pixel buffer and the colours and
 * writes every pixel of the caption renderer. Pixels are 32-bit words stored
 * as given (no blending); pixel (x, y) is word y * stride + x.
 *
 * Colours: 0 foreground (glyph pixels, one-bit DRCS, 2-bit DRCS value 3),
 * 1 2-bit DRCS value 2, 2 background (cell clearing), 3 2-bit DRCS value 1;
 * the line-effect colour draws the underline and the highlighting box.
 *
 * Results: 0 success, -1 no buffer (clearDestBuf), -2 bad parameter,
 * -3 no buffer or region, -5 bitmap past the right edge of the region.
 * Nothing is ever written outside the region (width x height, and no further
 * right than the stride). */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int32_t kvr_fontDraw_init(void);
int32_t kvr_fontDraw_close(void);

int32_t kvr_fontDraw_setDestBuf(uint32_t* buffer);
int32_t kvr_fontDraw_setDestRegion(uint32_t width, uint32_t height, uint32_t stride);
uint32_t* kvr_fontDraw_getDestBuf(void);
int32_t kvr_fontDraw_getDestRegion(uint32_t* width, uint32_t* height, uint32_t* stride);

int32_t kvr_fontDraw_setFontColor(uint32_t colour0, uint32_t colour1, uint32_t colour2, uint32_t colour3);
int32_t kvr_fontDraw_setFontLineEffectColor(uint32_t colour);

/* Sets every byte of the first height x stride pixels to the low byte of fill. */
int32_t kvr_fontDraw_clearDestBuf(uint32_t fill);

/* 0 horizontal writing, any other value vertical; returns the direction. */
int32_t kvr_fontDraw_setDirection(int32_t direction);

int32_t kvr_fontDraw_clearFontBG(uint32_t x, uint32_t y, uint32_t width, uint32_t height);
int32_t kvr_fontDraw_drawHighlighting(uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                                      uint32_t yOffset, uint32_t flags);
int32_t kvr_fontDraw_drawUnderline(uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                                   uint32_t yOffset);

/* Glyph bitmaps. x may be negative (a glyph's left bearing): columns left of
 * the region are skipped. Rows below the region are skipped. */
int32_t kvr_fontDraw_drawBitmapGrey256(int32_t x, int32_t y, uint32_t width, uint32_t rows,
                                       int32_t pitch, const uint8_t* bytes);
int32_t kvr_fontDraw_drawBitmapMono(int32_t x, int32_t y, uint32_t width, uint32_t rows,
                                    int32_t pitch, const uint8_t* bytes);

/* depth 0: one bit per pixel, 1: two bits per pixel. The pattern is one bit
 * string for the whole glyph; rowWidth is not read. */
int32_t kvr_fontDraw_drawBitmapDRCS(uint32_t depth, int32_t x, int32_t y, uint32_t width,
                                    uint32_t height, uint32_t rowWidth, const uint8_t* pattern);

/* Nearest-neighbour copy of a srcWidth x srcHeight block (rows srcWidth apart)
 * to a width x height block at (x, y) of dest, rows destStride apart. */
int32_t kvr_fontDraw_scaleBitmapDRCS(const uint32_t* src, uint32_t srcWidth, uint32_t srcHeight,
                                     uint32_t* dest, uint32_t x, uint32_t y, int32_t width,
                                     int32_t height, uint32_t destStride);

#ifdef __cplusplus
}
#endif

#endif
