#pragma once
// Helpers shared by the renderer's layers (not exported).

#include <stdint.h>

#define KVR_FONT_EXPORT extern "C" __attribute__((visibility("default")))

// Every diagnostic of the renderer goes out at this level.
constexpr int kFontLogLevel = 4;

// Pixels from the top of the glyph box down to the baseline: the face's
// ascent share of the box height, rounded to the nearest pixel. The face's
// bounding box is given in font units; yMax must differ from yMin.
inline uint32_t ozbfontBaselineOffset(uint32_t height, long yMax, long yMin)
{
    const uint32_t span = static_cast<uint32_t>(yMax - yMin);
    return (2u * height * static_cast<uint32_t>(yMax) / span + 1u) / 2u;
}
