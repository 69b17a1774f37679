// Fuzz target of the BMP reader: whatever it accepts is drawn on a small
// screen whose rows are longer than the visible width.

#include "Bmp.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that any read past the file is caught.
    std::unique_ptr<uint8_t[]> file(new uint8_t[size ? size : 1]);
    if (size)
        std::memcpy(file.get(), data, size);
    micom::BmpPicture pic;
    std::string why;
    if (!micom::parseBmp(file.get(), size, &pic, &why))
        return 0;
    const micom::Screen screen{96, 64, 96 * 4 + 12};
    std::vector<uint8_t> mapping(size_t(screen.lineLength) * screen.yres);
    if (micom::fitsScreen(pic, screen, mapping.size(), &why))
        micom::drawBmp(file.get(), pic, screen, mapping.data(), mapping.size());
    return 0;
}
