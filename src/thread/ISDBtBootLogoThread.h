#pragma once
// Paints the boot logo straight into the framebuffer while the QML is still
// loading, so the screen is not empty during start-up. Runs once per process.

#include <QMutex>
#include <QThread>

#include <cstddef>
#include <cstdint>
#include <string>

// Framebuffer and bitmap of the boot logo (board paths).
constexpr const char kBootLogoFbPath[] = "/dev/fb0";
constexpr const char kBootLogoBmpPath[] = "/usr/share/kvr_launcher/expand_sys2.bmp";

// Opens the framebuffer and asks for 32 bits per pixel on a 720 x 480 mm
// panel: 0, or -1 when it cannot be opened.
int kvr_gui_display_init();
// Clears the framebuffer to black and draws the 24-bit BMP file `path`
// centred: 0 drawn, -1 (with a printed line) otherwise.
int kvr_gui_display_draw_bmp(const char* path);

namespace bootlogo {

struct Picture {
    uint32_t fileSize = 0;  // from the header; the last pixel row ends here
    int32_t width = 0;
    int32_t height = 0;
    size_t rowBytes = 0;    // 3 x width + (width mod 4)
};

struct Screen {
    uint32_t xres = 0;
    uint32_t yres = 0;
    uint32_t lineLength = 0;    // bytes per framebuffer row
    uint32_t bitsPerPixel = 0;
};

constexpr size_t kHeaderSize = 54;

// Checks the header of a BMP held whole in `data` (`size` bytes): at least a
// header, 24 bits per pixel, no compression, a positive width and height, a
// header file size within the real size and every pixel row after the
// header. False with the reason in `*error` otherwise.
bool parse(const uint8_t* data, size_t size, Picture* out, std::string* error);
// The picture fits the screen: 32 bits per pixel, the whole picture on the
// screen, and the rows of `lineLength` bytes inside `mapBytes`.
bool fits(const Picture& pic, const Screen& screen, size_t mapBytes, std::string* error);
// Clears `mapBytes` of `fb` and copies the picture centred, the last file row
// on top; the fourth byte of each pixel stays 0.
void draw(const uint8_t* data, const Picture& pic, const Screen& screen, uint8_t* fb, size_t mapBytes);

}  // namespace bootlogo

class ISDBtBootLogoThread : public QThread
{
    Q_OBJECT
public:
    explicit ISDBtBootLogoThread(QObject* parent = nullptr);
    ~ISDBtBootLogoThread() override;

    void stop();
    // Result of the drawing of the last run: 0 drawn, -1 not, 1 not run yet.
    int result() const { return m_nResult; }

protected:
    void run() override;

private:
    QMutex m_mutex;
    int m_nResult = 1;
};
