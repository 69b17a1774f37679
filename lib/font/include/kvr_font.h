#ifndef KVR_FONT_H
#define KVR_FONT_H
/* Caption font renderer: lays caption characters, DRCS patterns and strings
 * out in character cells of a caller-owned 32-bit pixel buffer.
 *
 * Order of use: kvr_font_init; destination buffer and region, colours,
 * direction and reference mode, then the font size (the cell geometry is
 * computed from the direction in force at that call); drawing calls;
 * kvr_font_close. One process-wide renderer, one caller at a time.
 *
 * Results: 0 or a glyph extent on success; -1 start/stop failure, -2 bad
 * parameter, -3 no destination buffer or region, -4 glyph not loadable,
 * -5 glyph past the right edge of the region. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of kvr_font_displayChar. */
#define KVR_FONT_HIGHLIGHT_MASK 0x0Fu /* sides of the highlighting box */
#define KVR_FONT_FLAG_GREY 0x10u      /* 256-level glyph rendering */
#define KVR_FONT_FLAG_UNDERLINE 0x20u

int32_t kvr_font_init(void);
int32_t kvr_font_close(void);

int32_t kvr_font_setDestBuf(uint32_t* buffer);
int32_t kvr_font_setDestRegion(uint32_t width, uint32_t height, uint32_t stride);
int32_t kvr_font_clearDestBuf(uint32_t fill);

/* direction: 0 horizontal, other vertical. referenceMode: 0 the position is the
 * cell's top-left corner, 1 it lies half a cell right of the cell's left edge,
 * 2 it lies one cell below the cell's top edge. */
int32_t kvr_font_setDirection(int32_t direction, int32_t referenceMode);

/* sizeKind 0 normal, 1 half width (half height in vertical writing), 2 half
 * width and height, 3 double width, 4 double height, 5 double both. */
int32_t kvr_font_setFontSize(uint32_t sizeKind, uint32_t uiWidth, uint32_t uiHeight,
                             uint32_t charSpacing, uint32_t lineSpacing);

int32_t kvr_font_setFontColor(uint32_t foreground, uint32_t level2Colour, uint32_t background,
                              uint32_t level1Colour);
int32_t kvr_font_setFontLineEffectColor(uint32_t colour);

/* Clears the cell at (x, y) to the background; returns the glyph extent. */
int32_t kvr_font_clearChar(uint32_t unused, uint32_t x, uint32_t y);
/* Draws a character (after an optional non-spacing character, 0 for none) in
 * the cell at (x, y); returns the glyph extent or a negative code. */
int32_t kvr_font_displayChar(uint32_t flags, uint32_t nonSpacingChar, uint32_t character,
                             uint32_t x, uint32_t y);

/* depth 0: one bit per pixel, 1: two bits per pixel. */
int32_t kvr_font_displayDRCS(uint32_t depth, uint32_t x, uint32_t y, uint32_t width,
                             uint32_t height, const uint8_t* pattern);
/* Draws a patternWidth x patternHeight pattern scaled to width x height; the
 * pattern may hold at most 72 x 72 (5184) pixels. */
int32_t kvr_font_displayDRCSwithScale(uint32_t depth, uint32_t x, uint32_t y, uint32_t width,
                                      uint32_t height, uint32_t patternWidth,
                                      uint32_t patternHeight, const uint8_t* pattern);

/* Draws a zero-terminated string of 16-bit code units from (x, y), wrapping to
 * x 0 one lineStep lower at the right edge of the region. */
int32_t kvr_font_DisplayString(const uint16_t* pusString, uint32_t x, uint32_t y,
                               uint32_t lineStep);

#ifdef __cplusplus
}
#endif

#endif
