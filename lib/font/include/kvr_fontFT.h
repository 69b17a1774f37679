#ifndef KVR_FONTFT_H
#define KVR_FONTFT_H
/* Caption glyph layer: opens the caption font with FreeType and renders one
 * character at a time through the drawing layer.
 *
 * The font file is "DroidSansFallback_OzB.ttf" in the directory named by the
 * environment variable OZB_FONT_PATH, or in "/kvrozb/font" when it is not set.
 * The path is composed at the first successful composition and kept for the
 * life of the process. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 0; -1 when FreeType cannot start or the font cannot be opened. */
int32_t kvr_fontFT_init(void);
/* 0; -1 when closing the face or the library reports an error. */
int32_t kvr_fontFT_close(void);
/* 0; -2 when either size is 0; -1 on a FreeType failure. */
int32_t kvr_fontFT_setFontSize(uint32_t width, uint32_t height);
/* 0 with the current pixels per em; -1 when the character has no glyph. */
int32_t kvr_FontFT_getRealFontSize(uint32_t code, uint32_t* width, uint32_t* height);
/* Draws `code` with its glyph box's top-left corner at (x, y). Flag 0x10
 * renders 256 grey levels, otherwise one bit per pixel. Returns the advance
 * in pixels, -4 when the glyph cannot be loaded or rendered, or the drawing
 * layer's error (-3, -5). */
int32_t kvr_fontFT_drawChar(uint32_t flags, uint32_t code, uint32_t x, uint32_t y);

#ifdef __cplusplus
}
#endif

#endif
