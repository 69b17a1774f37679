// Caption glyph layer: one FreeType face for the process, one character at a
// time rendered into the destination through the drawing layer.

#include "kvr_fontFT.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DevRoot.h"
#include "font_private.h"
#include "kvr_fontDraw.h"

namespace {

constexpr char kFontFileName[] = "/DroidSansFallback_OzB.ttf";
constexpr size_t kFontFileNameLength = sizeof(kFontFileName) - 1;
constexpr char kBoardFontDirectory[] = "/kvrozb/font";

FT_Library g_library;
FT_Face g_face;
// Composed once and kept for the life of the process, so a later init opens
// the same file even when the environment has changed since.
char g_fontPath[128];
std::string g_fontDirectory;
uint32_t g_baseline;

void composeFontPath()
{
    const char* fromEnv = std::getenv("OZB_FONT_PATH");
    g_fontDirectory = fromEnv ? std::string(fromEnv) : devroot::path(kBoardFontDirectory);
    std::memset(g_fontPath, 0, sizeof g_fontPath);
    // A directory too long for the buffer leaves the path empty: the font
    // cannot be opened and the next init tries again.
    if (g_fontDirectory.size() + kFontFileNameLength < sizeof g_fontPath)
        std::snprintf(g_fontPath, sizeof g_fontPath, "%s%s", g_fontDirectory.c_str(), kFontFileName);
}

int32_t saturate(int64_t v)
{
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

void releaseFreeType()
{
    if (g_face)
        FT_Done_Face(g_face);
    if (g_library)
        FT_Done_FreeType(g_library);
    g_face = nullptr;
    g_library = nullptr;
}

}  // namespace

KVR_FONT_EXPORT int32_t kvr_fontFT_init(void)
{
    // A second init without a close would otherwise lose the first face.
    releaseFreeType();
    if (FT_Init_FreeType(&g_library) != 0) {
        g_library = nullptr;
        return -1;
    }
    if (g_fontPath[0] == '\0')
        composeFontPath();
    if (FT_New_Face(g_library, g_fontPath, 0, &g_face) != 0) {
        g_face = nullptr;
        // Nothing is left open when the font is missing.
        releaseFreeType();
        return -1;
    }
    g_baseline = 0;
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontFT_close(void)
{
    const FT_Error faceError = FT_Done_Face(g_face);
    const FT_Error libraryError = FT_Done_FreeType(g_library);
    g_face = nullptr;
    g_library = nullptr;
    return (faceError != 0 || libraryError != 0) ? -1 : 0;
}

KVR_FONT_EXPORT int32_t kvr_fontFT_setFontSize(uint32_t width, uint32_t height)
{
    if (width == 0 || height == 0)
        return -2;
    if (!g_face)
        return -1;
    if (FT_Set_Char_Size(g_face, static_cast<FT_F26Dot6>(width) * 64, static_cast<FT_F26Dot6>(height) * 64,
                         width, height) != 0)
        return -1;
    if (FT_Set_Pixel_Sizes(g_face, width, height) != 0)
        return -1;
    const FT_Pos yMax = g_face->bbox.yMax;
    const FT_Pos yMin = g_face->bbox.yMin;
    if (yMax == yMin)
        return -1;
    g_baseline = ozbfontBaselineOffset(height, yMax, yMin);
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_FontFT_getRealFontSize(uint32_t code, uint32_t* width, uint32_t* height)
{
    if (!g_face || !width || !height)
        return -1;
    const FT_UInt index = FT_Get_Char_Index(g_face, code);
    if (index == 0)
        return -1;
    if (FT_Load_Glyph(g_face, index, FT_LOAD_NO_BITMAP) != 0)
        return -1;
    *width = g_face->size->metrics.x_ppem;
    *height = g_face->size->metrics.y_ppem;
    return 0;
}

KVR_FONT_EXPORT int32_t kvr_fontFT_drawChar(uint32_t flags, uint32_t code, uint32_t x, uint32_t y)
{
    if (!g_face)
        return -4;
    // A character the font lacks gets glyph 0, the font's missing-glyph shape.
    const FT_UInt index = FT_Get_Char_Index(g_face, code);
    if (FT_Load_Glyph(g_face, index, FT_LOAD_NO_BITMAP) != 0)
        return -4;
    FT_GlyphSlot slot = g_face->glyph;
    const FT_Render_Mode mode = (flags & 0x10u) ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
    if (FT_Render_Glyph(slot, mode) != 0)
        return -4;

    // The bitmap hangs from the baseline; one that reaches above the glyph box
    // starts at the box's top row. Both sides are signed: a glyph lying wholly
    // below the baseline has a negative top and goes down, not up. A negative
    // left bearing gives a negative x, which the drawing layer clips.
    const int64_t top = slot->bitmap_top;
    const int64_t baseline = g_baseline;
    const int64_t cornerX = static_cast<int64_t>(x) + slot->bitmap_left;
    const int64_t cornerY = static_cast<int64_t>(y) + (top < baseline ? baseline - top : 0);

    const FT_Bitmap& bitmap = slot->bitmap;
    int32_t rc = 0;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
        rc = kvr_fontDraw_drawBitmapGrey256(saturate(cornerX), saturate(cornerY), bitmap.width, bitmap.rows,
                                            bitmap.pitch, bitmap.buffer);
    else if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
        rc = kvr_fontDraw_drawBitmapMono(saturate(cornerX), saturate(cornerY), bitmap.width, bitmap.rows,
                                         bitmap.pitch, bitmap.buffer);
    if (rc != 0)
        return rc;
    return static_cast<int32_t>(slot->advance.x >> 6);
}
