#include "Bmp.h"

#include <cstring>

namespace micom {

namespace {

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

}  // namespace

bool parseBmp(const uint8_t* data, size_t size, BmpPicture* out, std::string* error)
{
    if (size < kBmpHeaderSize)
        return fail(error, "not a BMP picture: " + std::to_string(size) + " bytes");
    if (data[0] != 'B' || data[1] != 'M')
        return fail(error, "not a BMP picture: no BM signature");
    const uint32_t fileSize = le32(data + 2);
    const int32_t width = static_cast<int32_t>(le32(data + 18));
    const int32_t height = static_cast<int32_t>(le32(data + 22));
    const uint16_t bits = le16(data + 28);
    const uint32_t compression = le32(data + 30);
    if (bits != 24 || compression != 0)
        return fail(error, "unsupported BMP: " + std::to_string(bits) + " bits per pixel, compression " +
                               std::to_string(compression) + " (needs 24, none)");
    if (fileSize > size)
        return fail(error, "BMP header claims " + std::to_string(fileSize) + " bytes, file has " +
                               std::to_string(size));
    // Negative heights (top-down rows) are refused with the rest: the rows
    // are always read bottom-up.
    if (width <= 0 || height <= 0)
        return fail(error, "bad BMP size " + std::to_string(width) + "x" + std::to_string(height));
    const uint64_t rowBytes = static_cast<uint64_t>(width) * 3 + (static_cast<uint32_t>(width) & 3);
    const uint64_t pixelBytes = rowBytes * static_cast<uint64_t>(height);
    if (fileSize < kBmpHeaderSize || pixelBytes > fileSize - kBmpHeaderSize)
        return fail(error, "BMP rows of " + std::to_string(width) + "x" + std::to_string(height) +
                               " do not fit in " + std::to_string(fileSize) + " bytes");
    out->fileSize = fileSize;
    out->width = width;
    out->height = height;
    out->rowBytes = static_cast<size_t>(rowBytes);
    return true;
}

bool fitsScreen(const BmpPicture& pic, const Screen& screen, size_t mapBytes, std::string* error)
{
    if (screen.lineLength / 4 < screen.xres ||
        static_cast<uint64_t>(screen.lineLength) * screen.yres > mapBytes)
        return fail(error, "bad screen geometry");
    if (static_cast<uint32_t>(pic.width) > screen.xres || static_cast<uint32_t>(pic.height) > screen.yres)
        return fail(error, "picture " + std::to_string(pic.width) + "x" + std::to_string(pic.height) +
                               " larger than the screen " + std::to_string(screen.xres) + "x" +
                               std::to_string(screen.yres));
    return true;
}

void drawBmp(const uint8_t* data, const BmpPicture& pic, const Screen& screen, uint8_t* fb,
             size_t mapBytes)
{
    std::memset(fb, 0, mapBytes);
    const size_t w = static_cast<size_t>(pic.width);
    const size_t h = static_cast<size_t>(pic.height);
    const size_t x0 = (screen.xres - w) / 2 * 4;
    const size_t y0 = (screen.yres - h) / 2 * static_cast<size_t>(screen.lineLength);
    for (size_t i = 0; i < h; ++i) {
        const uint8_t* src = data + pic.fileSize - (i + 1) * pic.rowBytes;
        uint8_t* dst = fb + y0 + i * screen.lineLength + x0;
        for (size_t j = 0; j < w; ++j) {
            dst[j * 4 + 0] = src[j * 3 + 0];
            dst[j * 4 + 1] = src[j * 3 + 1];
            dst[j * 4 + 2] = src[j * 3 + 2];
        }
    }
}

}  // namespace micom
