// The boot logo: a 24-bit BMP copied centred into the 32-bit framebuffer.

#include "ISDBtBootLogoThread.h"

#include "DevRoot.h"
#include "KelpAppLog.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fb.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>

namespace bootlogo {

namespace {

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
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

bool parse(const uint8_t* data, size_t size, Picture* out, std::string* error)
{
    if (size < kHeaderSize)
        return fail(error, "not a BMP picture: " + std::to_string(size) + " bytes");
    const uint32_t fileSize = le32(data + 2);
    const int32_t width = static_cast<int32_t>(le32(data + 18));
    const int32_t height = static_cast<int32_t>(le32(data + 22));
    const uint16_t bits = le16(data + 28);
    const uint32_t compression = le32(data + 30);
    if (bits != 24 || compression != 0)
        return fail(error, "unsupported BMP: " + std::to_string(bits) + " bits per pixel, compression " +
                               std::to_string(compression));
    if (fileSize > size)
        return fail(error, "BMP header claims " + std::to_string(fileSize) + " bytes, the file has " +
                               std::to_string(size));
    // Rows are always read bottom-up, so top-down (negative) heights are refused.
    if (width <= 0 || height <= 0)
        return fail(error, "bad BMP size " + std::to_string(width) + "x" + std::to_string(height));
    const uint64_t rowBytes = static_cast<uint64_t>(width) * 3 + (static_cast<uint32_t>(width) & 3);
    const uint64_t pixelBytes = rowBytes * static_cast<uint64_t>(height);
    if (fileSize < kHeaderSize || pixelBytes > fileSize - kHeaderSize)
        return fail(error, "BMP rows of " + std::to_string(width) + "x" + std::to_string(height) +
                               " do not fit in " + std::to_string(fileSize) + " bytes");
    out->fileSize = fileSize;
    out->width = width;
    out->height = height;
    out->rowBytes = static_cast<size_t>(rowBytes);
    return true;
}

bool fits(const Picture& pic, const Screen& screen, size_t mapBytes, std::string* error)
{
    if (screen.bitsPerPixel != 32)
        return fail(error, std::to_string(screen.bitsPerPixel) + " bits per pixel, needs 32");
    if (screen.xres == 0 || screen.yres == 0 || screen.lineLength / 4 < screen.xres ||
        static_cast<uint64_t>(screen.lineLength) * screen.yres > mapBytes)
        return fail(error, "bad screen geometry");
    if (static_cast<uint32_t>(pic.width) > screen.xres || static_cast<uint32_t>(pic.height) > screen.yres)
        return fail(error, "picture " + std::to_string(pic.width) + "x" + std::to_string(pic.height) +
                               " larger than the screen " + std::to_string(screen.xres) + "x" +
                               std::to_string(screen.yres));
    return true;
}

void draw(const uint8_t* data, const Picture& pic, const Screen& screen, uint8_t* fb, size_t mapBytes)
{
    std::memset(fb, 0, mapBytes);
    const size_t w = static_cast<size_t>(pic.width);
    const size_t h = static_cast<size_t>(pic.height);
    const size_t x0 = (screen.xres - w) / 2 * 4;
    const size_t y0 = (screen.yres - h) / 2 * static_cast<size_t>(screen.lineLength);
    for (size_t r = 0; r < h; ++r) {
        const uint8_t* src = data + pic.fileSize - (r + 1) * pic.rowBytes;
        uint8_t* dst = fb + y0 + r * screen.lineLength + x0;
        for (size_t c = 0; c < w; ++c) {
            dst[c * 4 + 0] = src[c * 3 + 0];
            dst[c * 4 + 1] = src[c * 3 + 1];
            dst[c * 4 + 2] = src[c * 3 + 2];
        }
    }
}

}  // namespace bootlogo

namespace {

using bootlogo::Screen;

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

int openFramebuffer(const std::string& dev)
{
    const int fd = ::open(dev.c_str(), O_RDWR);
    if (fd < 0)
        std::printf("can't open %s\n", dev.c_str());
    return fd;
}

bool isPlainFile(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

unsigned readSysNumber(const std::string& boardPath, unsigned fallback, unsigned* second = nullptr)
{
    std::ifstream in(devroot::path(boardPath));
    unsigned value = 0;
    char comma = 0;
    if (!(in >> value))
        return fallback;
    if (second && !(in >> comma >> *second))
        return fallback;
    return value;
}

// Geometry of a framebuffer that is a plain file (a development root), where
// the screen-information requests do not answer: read from the graphics
// class files as the board publishes them, 720 x 480 at 32 bits when absent.
bool plainFileScreen(int fd, const std::string& dev, Screen* s, size_t* mapBytes)
{
    unsigned yres = 480;
    s->xres = readSysNumber("/sys/class/graphics/fb0/virtual_size", 720, &yres);
    s->yres = yres;
    s->bitsPerPixel = readSysNumber("/sys/class/graphics/fb0/bits_per_pixel", 32);
    s->lineLength = readSysNumber("/sys/class/graphics/fb0/stride", s->xres * (s->bitsPerPixel / 8));
    *mapBytes = static_cast<size_t>(s->lineLength) * s->yres;
    struct stat st;
    if (fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) < *mapBytes) {
        std::printf("%s: smaller than a %ux%u screen\n", dev.c_str(), s->xres, s->yres);
        return false;
    }
    return true;
}

bool screenOf(int fd, const std::string& dev, Screen* s, size_t* mapBytes)
{
    struct fb_var_screeninfo var;
    struct fb_fix_screeninfo fix;
    std::memset(&var, 0, sizeof var);
    std::memset(&fix, 0, sizeof fix);
    if (ioctl(fd, FBIOGET_VSCREENINFO, &var) != 0) {
        if (isPlainFile(fd))
            return plainFileScreen(fd, dev, s, mapBytes);
        std::printf("%s: FBIOGET_VSCREENINFO failed, errno=%d\n", dev.c_str(), errno);
        return false;
    }
    if (ioctl(fd, FBIOGET_FSCREENINFO, &fix) != 0) {
        std::printf("%s: FBIOGET_FSCREENINFO failed, errno=%d\n", dev.c_str(), errno);
        return false;
    }
    s->xres = var.xres;
    s->yres = var.yres;
    s->bitsPerPixel = var.bits_per_pixel;
    s->lineLength = fix.line_length;
    const uint64_t bytes = static_cast<uint64_t>(fix.line_length) * var.yres;
    if (bytes == 0 || (fix.smem_len && bytes > fix.smem_len)) {
        std::printf("%s: bad geometry %ux%u, line %u, memory %u\n", dev.c_str(), var.xres, var.yres,
                    fix.line_length, fix.smem_len);
        return false;
    }
    *mapBytes = static_cast<size_t>(bytes);
    return true;
}

}  // namespace

int kvr_gui_display_init()
{
    const std::string dev = devroot::path(kBootLogoFbPath);
    Fd fb(openFramebuffer(dev));
    if (fb.fd < 0)
        return -1;
    struct fb_var_screeninfo var;
    std::memset(&var, 0, sizeof var);
    if (ioctl(fb.fd, FBIOGET_VSCREENINFO, &var) != 0)
        return 0;  // a plain file stands in for the device: nothing to set
    var.width = 720;
    var.height = 480;
    var.bits_per_pixel = 32;
    ioctl(fb.fd, FBIOPUT_VSCREENINFO, &var);
    ioctl(fb.fd, FBIOGET_VSCREENINFO, &var);
    return 0;
}

int kvr_gui_display_draw_bmp(const char* path)
{
    if (!path) {
        std::printf("input bmp file name..\n");
        return -1;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), &std::fclose);
    if (!file) {
        std::printf("failed to open %s, errno=%d\n", path, errno);
        return -1;
    }
    long size = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0)
        size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        std::printf("%s: cannot measure the file, errno=%d\n", path, errno);
        return -1;
    }
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    if (!data) {
        std::printf("%ldbyte buf alloc fail..\n", size);
        return -1;
    }
    if (std::fread(data.get(), 1, static_cast<size_t>(size), file.get()) != static_cast<size_t>(size)) {
        std::printf("%s: read error\n", path);
        return -1;
    }
    bootlogo::Picture pic;
    std::string why;
    if (!bootlogo::parse(data.get(), static_cast<size_t>(size), &pic, &why)) {
        std::printf("%s: %s\n", path, why.c_str());
        return -1;
    }

    const std::string dev = devroot::path(kBootLogoFbPath);
    Fd fb(openFramebuffer(dev));
    if (fb.fd < 0)
        return -1;
    Screen screen;
    size_t mapBytes = 0;
    if (!screenOf(fb.fd, dev, &screen, &mapBytes))
        return -1;
    if (!bootlogo::fits(pic, screen, mapBytes, &why)) {
        std::printf("%s: %s\n", path, why.c_str());
        return -1;
    }
    void* map = mmap(nullptr, mapBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fb.fd, 0);
    if (map == MAP_FAILED) {
        std::printf("%s: mmap of %zu bytes failed, errno=%d\n", dev.c_str(), mapBytes, errno);
        return -1;
    }
    bootlogo::draw(data.get(), pic, screen, static_cast<uint8_t*>(map), mapBytes);
    munmap(map, mapBytes);
    return 0;
}

ISDBtBootLogoThread::ISDBtBootLogoThread(QObject* parent)
    : QThread(parent)
{
    LOG_I("[%s]==================== ISDBtBootLogoThread Start ====================", __func__);
}

ISDBtBootLogoThread::~ISDBtBootLogoThread()
{
    stop();
    // The drawing is short; a thread object must not go while it runs.
    wait();
}

void ISDBtBootLogoThread::stop()
{
    LOG_I("[%s]==================== ISDBtBootLogoThread stop ====================", __func__);
}

void ISDBtBootLogoThread::run()
{
    LOG_I("[%s]==================== ISDBtBootLogoThread run ====================", __func__);
    std::printf("======================================> displaying logo init\n");
    kvr_gui_display_init();
    std::printf("======================================> displaying logo start\n");
    const std::string bmp = devroot::path(kBootLogoBmpPath);
    m_nResult = kvr_gui_display_draw_bmp(bmp.c_str());
    std::fflush(stdout);
}
