#include "FbDraw.h"

#include "Bmp.h"
#include "DevRoot.h"
#include "MicomProtocol.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fb.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace micom {

namespace {

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Opens the framebuffer read-write; says so on the console when it cannot.
int openFramebuffer(const std::string& dev)
{
    const int fd = ::open(dev.c_str(), O_RDWR);
    if (fd < 0)
        std::fprintf(console(), "can't open %s\n", dev.c_str());
    return fd;
}

bool isPlainFile(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Reads the screen geometry. On a plain file stand-in the ioctls fail and
// the fallback geometry applies, provided the file is large enough.
bool screenOf(int fd, const std::string& dev, Screen* s, size_t* mapBytes)
{
    struct fb_var_screeninfo var;
    struct fb_fix_screeninfo fix;
    std::memset(&var, 0, sizeof var);
    std::memset(&fix, 0, sizeof fix);
    if (ioctl(fd, FBIOGET_VSCREENINFO, &var) != 0) {
        if (!isPlainFile(fd)) {
            std::fprintf(console(), "%s: FBIOGET_VSCREENINFO failed, errno=%d\n", dev.c_str(), errno);
            return false;
        }
        s->xres = kFallbackXres;
        s->yres = kFallbackYres;
        s->lineLength = kFallbackXres * 4;
        *mapBytes = static_cast<size_t>(s->lineLength) * s->yres;
        struct stat st;
        if (fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) < *mapBytes) {
            std::fprintf(console(), "%s: smaller than a %ux%u screen\n", dev.c_str(), s->xres, s->yres);
            return false;
        }
        return true;
    }
    if (ioctl(fd, FBIOGET_FSCREENINFO, &fix) != 0) {
        std::fprintf(console(), "%s: FBIOGET_FSCREENINFO failed, errno=%d\n", dev.c_str(), errno);
        return false;
    }
    if (var.bits_per_pixel != 32) {
        std::fprintf(console(), "%s: %u bits per pixel, needs 32\n", dev.c_str(), var.bits_per_pixel);
        return false;
    }
    s->xres = var.xres;
    s->yres = var.yres;
    s->lineLength = fix.line_length;
    const uint64_t bytes = static_cast<uint64_t>(fix.line_length) * var.yres;
    if (bytes == 0 || (fix.smem_len && bytes > fix.smem_len)) {
        std::fprintf(console(), "%s: bad geometry %ux%u, line %u, memory %u\n", dev.c_str(), var.xres,
                     var.yres, fix.line_length, fix.smem_len);
        return false;
    }
    *mapBytes = static_cast<size_t>(bytes);
    return true;
}

}  // namespace

int fb_display_init()
{
    FILE* out = console();
    const std::string dev = devroot::path(kFbPath);
    Fd fb(openFramebuffer(dev));
    if (fb.fd < 0)
        return -1;
    struct fb_var_screeninfo var;
    std::memset(&var, 0, sizeof var);
    if (ioctl(fb.fd, FBIOGET_VSCREENINFO, &var) != 0) {
        if (isPlainFile(fb.fd))
            return 0;  // stand-in file: nothing to set
        std::fprintf(out, "%s: FBIOGET_VSCREENINFO failed, errno=%d\n", dev.c_str(), errno);
        return -1;
    }
    var.bits_per_pixel = 32;
    var.height = 480;
    var.width = 720;
    if (ioctl(fb.fd, FBIOPUT_VSCREENINFO, &var) != 0) {
        std::fprintf(out, "%s: FBIOPUT_VSCREENINFO failed, errno=%d\n", dev.c_str(), errno);
        return -1;
    }
    if (ioctl(fb.fd, FBIOGET_VSCREENINFO, &var) != 0) {
        std::fprintf(out, "%s: FBIOGET_VSCREENINFO failed, errno=%d\n", dev.c_str(), errno);
        return -1;
    }
    return 0;
}

int fb_display_draw_bmp(const char* path)
{
    FILE* out = console();
    if (!path) {
        std::fputs("input bmp file name..\n", out);
        return -1;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), &std::fclose);
    if (!file) {
        std::fprintf(out, "failed to open %s, errno=%d\n", path, errno);
        return -1;
    }
    long size = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0)
        size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        std::fprintf(out, "%s: cannot measure the file, errno=%d\n", path, errno);
        return -1;
    }
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    if (!data) {
        std::fprintf(out, "%ldbyte buf alloc fail..\n", size);
        return -1;
    }
    if (std::fread(data.get(), 1, static_cast<size_t>(size), file.get()) != static_cast<size_t>(size)) {
        std::fprintf(out, "%s: read error\n", path);
        return -1;
    }
    BmpPicture pic;
    std::string why;
    if (!parseBmp(data.get(), static_cast<size_t>(size), &pic, &why)) {
        std::fprintf(out, "%s: %s\n", path, why.c_str());
        return -1;
    }

    const std::string dev = devroot::path(kFbPath);
    Fd fb(openFramebuffer(dev));
    if (fb.fd < 0)
        return -1;
    Screen screen;
    size_t mapBytes = 0;
    if (!screenOf(fb.fd, dev, &screen, &mapBytes))
        return -1;
    if (!fitsScreen(pic, screen, mapBytes, &why)) {
        std::fprintf(out, "%s: %s\n", path, why.c_str());
        return -1;
    }
    void* map = mmap(nullptr, mapBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fb.fd, 0);
    if (map == MAP_FAILED) {
        std::fprintf(out, "%s: mmap of %zu bytes failed, errno=%d\n", dev.c_str(), mapBytes, errno);
        return -1;
    }
    drawBmp(data.get(), pic, screen, static_cast<uint8_t*>(map), mapBytes);
    munmap(map, mapBytes);
    return 0;
}

}  // namespace micom
