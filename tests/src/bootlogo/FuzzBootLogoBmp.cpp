// Fuzz target of the boot logo's BMP reading: header checks, then the copy
// onto a small 32-bit screen when the picture fits.

#include "ISDBtBootLogoThread.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    bootlogo::Picture pic;
    if (!bootlogo::parse(data, size, &pic, nullptr))
        return 0;
    bootlogo::Screen screen;
    screen.xres = 40;
    screen.yres = 30;
    screen.lineLength = 41 * 4;
    screen.bitsPerPixel = 32;
    std::vector<uint8_t> fb(static_cast<size_t>(screen.lineLength) * screen.yres);
    if (bootlogo::fits(pic, screen, fb.size(), nullptr))
        bootlogo::draw(data, pic, screen, fb.data(), fb.size());
    return 0;
}
