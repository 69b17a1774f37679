#pragma once
// Uncompressed 24-bit BMP pictures drawn centred on a 32-bit screen.

#include <cstddef>
#include <cstdint>
#include <string>

namespace micom {

struct BmpPicture {
    uint32_t fileSize = 0;  // from the header; rows end exactly here
    int32_t width = 0;
    int32_t height = 0;
    size_t rowBytes = 0;    // width * 3 + padding
};

struct Screen {
    uint32_t xres = 0;
    uint32_t yres = 0;
    uint32_t lineLength = 0;  // bytes per screen row
};

constexpr size_t kBmpHeaderSize = 54;

// Checks the header of a BMP file held whole in `data` (`size` bytes): a "BM"
// file of at least 54 bytes, 24 bits per pixel, no compression, a positive
// width and height, a header file size no larger than the real size, and
// every pixel row inside the file after the header. On failure returns false
// with a message in `*error`.
bool parseBmp(const uint8_t* data, size_t size, BmpPicture* out, std::string* error);

// Checks that `pic` fits on `screen` (whole picture, 4 bytes per pixel,
// rows of `lineLength` bytes inside `mapBytes`).
bool fitsScreen(const BmpPicture& pic, const Screen& screen, size_t mapBytes, std::string* error);

// Clears the `mapBytes` of `fb` to black and draws the picture centred,
// bottom file row last; the fourth byte of each pixel stays 0. The picture
// must have passed parseBmp and fitsScreen.
void drawBmp(const uint8_t* data, const BmpPicture& pic, const Screen& screen, uint8_t* fb,
             size_t mapBytes);

}  // namespace micom
