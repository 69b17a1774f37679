#pragma once
// The broadcast engine hands out pixels as B, G, R, A; Qt and the logo files
// take R, G, B, A.

#include <cstddef>

namespace pixelorder {

// Copies `bytes` bytes of whole pixels, swapping the first and third byte of
// each (green and alpha keep their places). A trailing partial pixel is not
// copied.
inline void bgraToRgba(unsigned char* dst, const unsigned char* src, size_t bytes)
{
    for (size_t i = 0; i + 3 < bytes; i += 4) {
        dst[i] = src[i + 2];
        dst[i + 1] = src[i + 1];
        dst[i + 2] = src[i];
        dst[i + 3] = src[i + 3];
    }
}

}  // namespace pixelorder
