#include "tuner_sim.h"

#include <errno.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "kvr_mw.h"
#include "tuner_syscalls.h"

namespace {

TunerSim* g_sim = nullptr;

int simOpen(const char* path, int flags)
{
    return g_sim->doOpen(path, flags);
}
int simClose(int fd)
{
    return g_sim->doClose(fd);
}
int simIoctl(int fd, unsigned long request, void* arg)
{
    return g_sim->doIoctl(fd, request, arg);
}
long simWrite(int fd, const void* data, unsigned long length)
{
    return g_sim->doWrite(fd, data, length);
}
void simSleep(unsigned long us)
{
    g_sim->doSleep(us);
}

std::string hexBytes(const uint8_t* data, size_t length)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(b, sizeof b, " %02X", data[i]);
        s += b;
    }
    return s;
}

const int kDemodBus = 0x18;
const int kClockBus = 0x62;

} // namespace

TunerSim::TunerSim()
    : demod_(256, std::vector<uint8_t>(256)),
      rf_(4, File(256, std::vector<uint8_t>(256))),
      sw_(4, File(256, std::vector<uint8_t>(256))),
      clock_(256, std::vector<uint8_t>(256))
{
    // A healthy module: chip identity, oscillator and RF tuner ready bits.
    demod_[0][0x00] = 0x40;
    clock_[0x0A][0x10] = 0x01;
    clock_[0x0A][0x11] = 0x01;
    for (int p = 0; p < 4; ++p) {
        rf_[p][0x0A][0x10] = 0x01;
        rf_[p][0x0A][0x11] = 0x01;
        rf_[p][0x1A][0x10] = 0x01;
    }
    g_sim = this;
    const tuner_syscalls calls = {simOpen, simClose, simIoctl, simWrite, simSleep};
    tuner_set_syscalls(&calls);
}

TunerSim::~TunerSim()
{
    tuner_set_syscalls(nullptr);
    g_sim = nullptr;
}

void TunerSim::script(int page, int reg, std::vector<uint8_t> values)
{
    auto& q = scripts_[{page, reg}];
    q.assign(values.begin(), values.end());
}

std::vector<std::string> TunerSim::lines(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const auto& l : trace)
        if (l.compare(0, prefix.size(), prefix) == 0)
            out.push_back(l);
    return out;
}

int TunerSim::doOpen(const char* path, int)
{
    trace.push_back(std::string("OPEN ") + path);
    int fd;
    if (std::strcmp(path, "/dev/i2c-1") == 0) {
        if (failI2cOpen) {
            errno = ENOENT;
            return -1;
        }
        fd = i2cFd;
    } else if (std::strcmp(path, "/dev/kvr_ozb_ctrl") == 0) {
        if (failCtrlOpen) {
            errno = ENOENT;
            return -1;
        }
        fd = ctrlFd;
    } else {
        errno = ENOENT;
        return -1;
    }
    if (std::find(open_.begin(), open_.end(), fd) != open_.end()) {
        // Keeps descriptors apart when a device is opened twice.
        errno = EBUSY;
        return -1;
    }
    open_.push_back(fd);
    return fd;
}

int TunerSim::doClose(int fd)
{
    trace.push_back("CLOSE " + std::to_string(fd));
    auto it = std::find(open_.begin(), open_.end(), fd);
    if (it == open_.end()) {
        errno = EBADF;
        return -1;
    }
    open_.erase(it);
    return 0;
}

int TunerSim::doIoctl(int fd, unsigned long request, void* arg)
{
    const bool isOpen = std::find(open_.begin(), open_.end(), fd) != open_.end();
    if (!isOpen) {
        errno = EBADF;
        return -1;
    }
    if (fd == ctrlFd && request == 0xFB03) {
        trace.push_back("RESET");
        if (failReset || !arg || *static_cast<int*>(arg) != 0) {
            errno = EIO;
            return -1;
        }
        return 0;
    }
    if (fd != i2cFd) {
        errno = ENOTTY;
        return -1;
    }
    if (request == I2C_SLAVE) {
        slave_ = static_cast<int>(reinterpret_cast<uintptr_t>(arg));
        return 0;
    }
    if (request == I2C_RDWR) {
        auto* transfer = static_cast<i2c_rdwr_ioctl_data*>(arg);
        const i2c_msg* m = transfer->msgs;
        // The module answers only a write of the register (or gateway and
        // device) followed by a read without a repeated start.
        if (transfer->nmsgs != 2 || m[0].flags != 0 || m[1].flags != (I2C_M_RD | I2C_M_NOSTART) ||
            m[0].addr != m[1].addr || m[0].len < 1 || m[0].len > 2) {
            trace.push_back("RD BAD");
            errno = EINVAL;
            return -1;
        }
        std::vector<uint8_t> header(m[0].buf, m[0].buf + m[0].len);
        char head[16];
        std::snprintf(head, sizeof head, "RD %02X:", m[0].addr);
        trace.push_back(head + hexBytes(header.data(), header.size()) + " #" +
                        std::to_string(m[1].len));
        if (failRead && failRead(m[0].addr, header)) {
            errno = EIO;
            return -1;
        }
        std::vector<uint8_t> out(m[1].len);
        if (!busRead(m[0].addr, header, out.data(), out.size())) {
            errno = ENXIO;
            return -1;
        }
        std::memcpy(m[1].buf, out.data(), out.size());
        return 2;
    }
    errno = ENOTTY;
    return -1;
}

long TunerSim::doWrite(int fd, const void* data, unsigned long length)
{
    if (fd != i2cFd || std::find(open_.begin(), open_.end(), fd) == open_.end()) {
        errno = EBADF;
        return -1;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    char head[16];
    if (slave_ < 0)
        std::snprintf(head, sizeof head, "W ??:");
    else
        std::snprintf(head, sizeof head, "W %02X:", slave_);
    trace.push_back(head + hexBytes(bytes, length));
    if (failWrites) {
        errno = EIO;
        return 0;
    }
    busWrite(slave_, bytes, length);
    return static_cast<long>(length);
}

void TunerSim::doSleep(unsigned long us)
{
    trace.push_back("SLEEP " + std::to_string(us));
    nowUs += us;
}

void TunerSim::busWrite(int address, const uint8_t* d, size_t n)
{
    if (n < 2)
        return;
    if (address == kClockBus) {
        if (d[0] == 0x00)
            clockBank_ = d[1];
        else
            clock_[clockBank_][d[0]] = d[1];
        return;
    }
    if (address != kDemodBus)
        return;
    if (d[0] >= 8 && d[0] <= 11) {
        // Gateway: [gateway, device, reg, data...] to an RF path.
        const int path = d[0] - 8;
        if (n < 3)
            return;
        const int reg = d[2];
        if (d[1] == 0xCC || d[1] == 0xC8) {
            const bool rfFile = d[1] == 0xCC;
            int& bank = rfFile ? rfBank_[path] : swBank_[path];
            File& file = rfFile ? rf_[path] : sw_[path];
            if (rfFile)
                rfPointer_[path] = reg;
            for (size_t i = 3; i < n; ++i) {
                const int r = (reg + static_cast<int>(i - 3)) & 0xFF;
                if (r == 0x00)
                    bank = d[i];
                else
                    file[bank][r] = d[i];
            }
        }
        return;
    }
    if (d[0] == 0xFF) {
        page_ = d[1];
        return;
    }
    for (size_t i = 1; i < n; ++i)
        demod_[page_][(d[0] + i - 1) & 0xFF] = d[i];
}

uint8_t TunerSim::demodRead(int reg)
{
    auto it = scripts_.find({page_, reg});
    if (it != scripts_.end() && !it->second.empty()) {
        uint8_t v = it->second.front();
        it->second.pop_front();
        return v;
    }
    return demod_[page_][reg];
}

bool TunerSim::busRead(int address, const std::vector<uint8_t>& header, uint8_t* out,
                       size_t length)
{
    if (address == kClockBus && header.size() == 1) {
        for (size_t i = 0; i < length; ++i)
            out[i] = clock_[clockBank_][(header[0] + i) & 0xFF];
        return true;
    }
    if (address != kDemodBus)
        return false;
    if (header.size() == 1) {
        out[0] = demodRead(header[0]);
        for (size_t i = 1; i < length; ++i)
            out[i] = demod_[page_][(header[0] + i) & 0xFF];
        return true;
    }
    // [gateway, 0xCD]: read the RF tuner from its register pointer.
    if (header[0] < 8 || header[0] > 11 || header[1] != 0xCD)
        return false;
    const int path = header[0] - 8;
    for (size_t i = 0; i < length; ++i)
        out[i] = rf_[path][rfBank_[path]][(rfPointer_[path] + i) & 0xFF];
    return true;
}

namespace {

void captureLine(int level, const char* line, void* user)
{
    static_cast<LogCapture*>(user)->lines.push_back({level, line});
}

} // namespace

LogCapture::LogCapture()
{
    kvr_mw_set_log_sink(captureLine, this);
}

LogCapture::~LogCapture()
{
    kvr_mw_set_log_sink(nullptr, nullptr);
}

bool LogCapture::has(const std::string& text) const
{
    for (const auto& l : lines)
        if (l.text == text)
            return true;
    return false;
}

bool LogCapture::has(int level, const std::string& text) const
{
    for (const auto& l : lines)
        if (l.level == level && l.text == text)
            return true;
    return false;
}
