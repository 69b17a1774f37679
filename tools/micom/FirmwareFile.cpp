#include "FirmwareFile.h"

#include "MicomProtocol.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace micom {

FirmwareFile::~FirmwareFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool FirmwareFile::open(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDONLY);
    if (fd_ < 0) {
        error_ = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = path + ": not a regular file";
        return false;
    }
    size_ = st.st_size;
    if (size_ < kFirmwareOffset) {
        error_ = path + ": " + std::to_string(static_cast<long long>(size_)) +
                 " bytes, shorter than the image header";
        return false;
    }
    if (lseek(fd_, kFirmwareOffset, SEEK_SET) != kFirmwareOffset) {
        error_ = path + ": " + std::strerror(errno);
        return false;
    }
    pos_ = kFirmwareOffset;
    // Prove the medium readable before the controller is told to do anything.
    uint8_t probe;
    if (::pread(fd_, &probe, 1, 0) != 1) {
        error_ = path + ": unreadable";
        return false;
    }
    return true;
}

ssize_t FirmwareFile::read(uint8_t* buf, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd_, buf + got, n - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            error_ = std::string("read error: ") + std::strerror(errno);
            return -1;
        }
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
        pos_ += r;
    }
    if (got < n && pos_ < size_) {
        error_ = "file ended at " + std::to_string(static_cast<long long>(pos_)) + " of " +
                 std::to_string(static_cast<long long>(size_)) + " bytes";
        return -1;
    }
    return static_cast<ssize_t>(got);
}

}  // namespace micom
