#pragma once
// A station logo on its way from the player wrapper to the logo writer.

#include <cstdint>

struct tagDbIconItem {
    // R, G, B, A bytes, row after row without gaps; only width x height x 4
    // bytes are used, the rest is zero.
    unsigned char pixels[32768];
    int32_t width;
    int32_t height;
    int32_t channelNumber;  // physical channel
    int32_t serviceID;
    int32_t networkID;      // the logo key: the file is named after it
};

static_assert(sizeof(tagDbIconItem) == 32788, "logo record layout");

// True when a logo of width x height pixels (4 bytes each) fits the record's
// pixel buffer. Asked without multiplying, so that no pair of sizes the
// engine reports can overflow into a small product.
inline bool logoFitsRecord(int width, int height)
{
    return width > 0 && height > 0 &&
           width <= static_cast<int>(sizeof(tagDbIconItem::pixels)) / 4 / height;
}
