// hv-recovery-tool: sets the board microcontroller's recovery mode and shows
// the recovery prompts.
//
//   hv-recovery-tool 1 VALUE   send recovery value VALUE (value 1 also shows
//                              the recovery-mode picture)
//   hv-recovery-tool 2|3|4     show the USB stick, firmware file or kernel
//                              file check prompt
//
// Exit status: 0 done; 255 no acknowledgement, no port, missing argument,
// unknown action or a picture that could not be drawn.

#include "DevRoot.h"
#include "FbDraw.h"
#include "MicomProtocol.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace micom;

namespace {

int show(const char* boardPath)
{
    const std::string p = devroot::path(boardPath);
    return fb_display_draw_bmp(p.c_str());
}

int setRecovery(int value)
{
    const int fd = openPort();
    if (fd < 0) {
        std::puts("tty driver open error!!");
        return -1;
    }
    int result = -1;
    if (!applyLineSettings(fd))
        std::puts("tty driver setting error!!");
    else
        result = recovery_set_mode(fd, static_cast<uint8_t>(value & 0xFF));
    // Shown whatever the answer: the scripts go on into recovery either way.
    if (value == 1)
        show("/etc/hv_recovery/recovery_mode_set.bmp");
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    std::puts("Recovery update mode -->");
    fb_display_init();
    if (argc < 2)
        return -1;
    switch (std::atoi(argv[1])) {
    case 1:
        if (argc < 3) {
            std::puts("recovery value missing: hv-recovery-tool 1 VALUE");
            return -1;
        }
        return setRecovery(std::atoi(argv[2]));
    case 2:
        return show("/etc/hv_recovery/recovery_usb_check.bmp");
    case 3:
        return show("/run/media/sda1/update/kv_upgrade_image/recovery_micom_file_check.bmp");
    case 4:
        return show("/run/media/sda1/update/kv_upgrade_image/recovery_kernel_file_check.bmp");
    default:
        return -1;
    }
}
