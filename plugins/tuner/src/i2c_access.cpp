// Register access to the tuner module on I2C bus 1: plain register writes
// and reads on the demodulator and the clock chip, and transfers that the
// demodulator forwards to an RF path through its gateway registers.

#include <errno.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kvr_mw.h"
#include "ri0064de_tuner.h"
#include "tuner_internal.h"

using tuner::sys;

extern "C" {
int ghI2C = -1;
int ghI2CInited = 0;
}

namespace {

const char kI2cDevice[] = "/dev/i2c-1";
const int kMaxRegisterData = 127;
const int kMaxRfData = 129;

void selectSlave(int address)
{
    // Only a later write can tell whether the selection took.
    sys().ioctl(ghI2C, I2C_SLAVE, reinterpret_cast<void*>(static_cast<uintptr_t>(address >> 1)));
}

// One plain write of [header..., data...] to the selected slave; 0 or -1.
// The failure goes to standard output with the bus's errno.
int writeFrame(int address, const unsigned char* header, int headerLength,
               const unsigned char* data, int length, int maxData, const char* name,
               const char* failFormat)
{
    if (length < 0 || length > maxData || (length > 0 && !data)) {
        kvr_mw_log(4, "%s: invalid length [%d].\n", name, length);
        return -1;
    }
    unsigned char frame[3 + kMaxRfData];
    std::memcpy(frame, header, static_cast<size_t>(headerLength));
    if (length > 0)
        std::memcpy(frame + headerLength, data, static_cast<size_t>(length));
    selectSlave(address);
    long n = sys().write(ghI2C, frame, static_cast<unsigned long>(length + headerLength));
    if (n <= 0) {
        int e = errno;
        printf(failFormat, n, e, strerror(e));
        return -1;
    }
    return 0;
}

// One combined transfer: a short write (without stop) and a read.
int combinedRead(int address, unsigned char* header, int headerLength, unsigned char* destination,
                 int length)
{
    if (!destination || length <= 0 || length > 0xFFFF)
        return -1;
    i2c_msg msgs[2];
    msgs[0].addr = static_cast<__u16>(address >> 1);
    msgs[0].flags = 0;
    msgs[0].len = static_cast<__u16>(headerLength);
    msgs[0].buf = header;
    msgs[1].addr = static_cast<__u16>(address >> 1);
    msgs[1].flags = I2C_M_RD | I2C_M_NOSTART;
    msgs[1].len = static_cast<__u16>(length);
    msgs[1].buf = destination;
    i2c_rdwr_ioctl_data transfer;
    transfer.msgs = msgs;
    transfer.nmsgs = 2;
    if (sys().ioctl(ghI2C, I2C_RDWR, &transfer) < 0) {
        perror("ioctl(I2C_RDWR) in i2c_read\n");
        return -1;
    }
    return length;
}

} // namespace

extern "C" {

int I2cOpen(void)
{
    if (ghI2CInited) {
        kvr_mw_log(4, "ghI2C already inited.\n");
        return -1;
    }
    int fd = sys().open(kI2cDevice, O_RDWR);
    if (fd < 0) {
        int e = errno;
        kvr_mw_log(4, "I2c device driver open fail. [%d][%d][%s]\n", fd, e, strerror(e));
        // Not marked open: every transfer would fail, and a later open could
        // never be tried again.
        ghI2C = -1;
        return -1;
    }
    ghI2C = fd;
    ghI2CInited = 1;
    return 0;
}

int I2cClose(void)
{
    if (!ghI2CInited) {
        kvr_mw_log(4, "ghI2C already closed.\n");
        return 0;
    }
    ghI2CInited = 0;
    int r = sys().close(ghI2C);
    if (r < 0) {
        int e = errno;
        kvr_mw_log(4, "I2c device driver close fail. [%d][%d][%s]\n", r, e, strerror(e));
    }
    ghI2C = -1;
    return 0;
}

int I2cWriteREG(int address, int reg, const unsigned char* data, int length)
{
    const unsigned char header[1] = {static_cast<unsigned char>(reg)};
    return writeFrame(address, header, 1, data, length, kMaxRegisterData, "I2cWriteREG",
                      "I2CWriteREG fail.[%ld][%d][%s]\n");
}

int I2cReadREG(int address, int reg, unsigned char* destination, int length)
{
    unsigned char header[1] = {static_cast<unsigned char>(reg)};
    return combinedRead(address, header, 1, destination, length);
}

int I2cWriteRFTunerREG(int address, int gateway, int device, int reg, const unsigned char* data,
                       int length)
{
    const unsigned char header[3] = {static_cast<unsigned char>(gateway),
                                     static_cast<unsigned char>(device),
                                     static_cast<unsigned char>(reg)};
    return writeFrame(address, header, 3, data, length, kMaxRfData, "I2cWriteRFTunerREG",
                      "I2CWriteRFTunerREG fail. [%ld][%d][%s]\n");
}

int I2cReadRFTunerREG(int address, int gateway, int device, unsigned char* destination,
                      int length)
{
    unsigned char header[2] = {static_cast<unsigned char>(gateway),
                               static_cast<unsigned char>(device)};
    return combinedRead(address, header, 2, destination, length);
}

} // extern "C"
