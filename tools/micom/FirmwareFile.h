#pragma once
// The firmware image on the USB stick, read from byte 0x4000 on.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace micom {

constexpr const char kFirmwarePath[] = "/run/media/sda1/update/micom.bin";

class FirmwareFile {
public:
    FirmwareFile() = default;
    ~FirmwareFile();
    FirmwareFile(const FirmwareFile&) = delete;
    FirmwareFile& operator=(const FirmwareFile&) = delete;

    // Opens the image and checks that it is a readable regular file of at
    // least 0x4000 bytes, positioned at 0x4000. On failure returns false
    // with the reason in `error()`.
    bool open(const std::string& path);

    // Fills `buf` with up to `n` bytes; short only at the end of the image.
    // Returns -1 on a read error and when the file ends before the size it
    // had when opened (the stick was pulled or the file changed under us).
    ssize_t read(uint8_t* buf, size_t n);

    // Size of the whole file when it was opened.
    off_t size() const { return size_; }
    off_t position() const { return pos_; }
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    off_t size_ = 0;
    off_t pos_ = 0;
    std::string error_;
};

}  // namespace micom
