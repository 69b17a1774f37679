// hv-micom-update-tool: updates the board microcontroller's firmware from the
// USB stick, brings it back to normal mode, or records its version.
//
//   hv-micom-update-tool      update run (two runs: switch to update mode, then send)
//   hv-micom-update-tool 1    recovery check: leave an update mode left behind
//   hv-micom-update-tool 2    write the firmware version to /home/root/micom_ver.ini
//
// Exit status: 1 when the port or the firmware image cannot be opened, or the
// transfer broke off (a firmware read error or a broken port); after an
// update run that sent the image, the result of drawing the end picture
// (255 when it could not be drawn); 0 otherwise.

#include "DevRoot.h"
#include "FbDraw.h"
#include "FirmwareFile.h"
#include "MicomProtocol.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using namespace micom;

namespace {

constexpr const char kVersionFile[] = "/home/root/micom_ver.ini";
constexpr const char kStickPictures[] = "/run/media/sda1/update/kv_upgrade_image/";
constexpr const char kBoardPictures[] = "/etc/kv_upgrade_image/";

void pause(int seconds)
{
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

int show(const std::string& boardPath)
{
    const std::string p = devroot::path(boardPath);
    return fb_display_draw_bmp(p.c_str());
}

int recoveryCheck(int fd)
{
    const int mode = micom_get_mode(fd);
    std::printf("Micom Mode %d ... \n", mode);
    if (mode == kModeUpdate) {
        std::puts("Micom Update Mode... ");
        std::puts("Change Nomal Mode...And System Reset...  ");
        show(std::string(kBoardPictures) + "micom_updating_modechange.bmp");
        pause(3);
        // The controller resets the box on a mode change; an answer lost on
        // the way back changes nothing for the scripts.
        micom_set_mode(fd, kModeNormal);
        return 0;
    }
    if (mode == kModeUnfinished) {
        std::puts("ERROR !!!! ");
        std::puts("The micom update has not finished");
        show(std::string(kBoardPictures) + "micom_updating_Err1.bmp");
        std::fflush(stdout);
        // The error picture stays on the screen until service staff act.
        for (;;)
            ::pause();
    }
    return 0;
}

int readVersion(int fd)
{
    const std::string version = micom_get_version(fd);
    std::puts("========================================");
    std::printf("       Micom Version is %s.\n", version.c_str());
    std::puts("========================================");
    // The version file is only news for the TV application: the run itself
    // ends normally whether or not it could be written.
    const std::string path = devroot::path(kVersionFile);
    int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        std::printf("can't write %s\n", path.c_str());
        return 0;
    }
    const bool ok = ::write(out, version.data(), version.size()) == static_cast<ssize_t>(version.size());
    if (::close(out) != 0 || !ok)
        std::printf("can't write %s\n", path.c_str());
    return 0;
}

int updateRun(int fd)
{
    const std::string stick = kStickPictures;
    show(stick + "micom_updating_start.bmp");
    const int mode = micom_get_mode(fd);
    std::printf("Micom Mode %d ... \n", mode);

    if (mode == kModeNoAnswer) {
        std::puts("Micom GetMode Fail... ");
        std::puts("Micom update not support ...  ");
        return 0;
    }

    if (mode == kModeNormal) {
        // The image is looked for only by the second run, after the reset:
        // the controller resets the box on the switch, answered or not.
        std::puts("Micom is Nomal Mode... ");
        std::puts("Change Update Mode...And System Reset...  ");
        show(stick + "micom_updating_modechange.bmp");
        pause(6);
        micom_set_mode(fd, kModeUpdate);
        return 0;
    }

    FirmwareFile image;
    if (!image.open(devroot::path(kFirmwarePath))) {
        std::puts("find File..... ");
        std::printf("%s\n", image.error().c_str());
        return 1;
    }

    std::printf("file pos %ld \n", static_cast<long>(image.position()));
    ChunkReader reader = [&image](uint8_t* buf, size_t n) { return image.read(buf, n); };
    // A run that sent the whole image ends with the result of drawing the
    // end picture: -1 (exit status 255) tells that the screen never showed it.
    int drawn = -1;
    const Transfer result = transferFirmware(fd, reader, [&](ssize_t) {
        drawn = show(stick + "micom_updating_end.bmp");
        pause(5);
    });
    std::puts(" ");
    if (result != Transfer::Ok) {
        std::printf("Micom update failed: %s\n", transferText(result));
        if (result == Transfer::ReadError)
            std::printf("%s\n", image.error().c_str());
        return 1;
    }
    return drawn;
}

}  // namespace

int main(int argc, char** argv)
{
    std::puts("Micom Update start !!! ");
    const int fd = openPort();
    if (fd < 0) {
        std::puts(" tty driver Open Error ! ");
        return 1;
    }
    std::printf("Uart Open Ok (%d) ... !!!\n", argc);
    if (!applyLineSettings(fd)) {
        std::puts(" tty driver setting Error ! ");
        return 1;
    }
    fb_display_init();

    if (argc < 2)
        return updateRun(fd);
    switch (std::atoi(argv[1])) {
    case 1:
        return recoveryCheck(fd);
    case 2:
        return readVersion(fd);
    default:
        return 0;
    }
}
