#include "MicomProtocol.h"

#include "DevRoot.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace micom {

namespace {

FILE* g_console = nullptr;

constexpr uint8_t kEnd = 0xFE;

class SystemClock : public WaitClock {
public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    int poll(struct pollfd* pfd, int timeoutMs) override { return ::poll(pfd, 1, timeoutMs); }
};

SystemClock g_systemClock;
WaitClock* g_clock = &g_systemClock;

// Milliseconds to the deadline, rounded up so that a wait never ends a
// fraction of a millisecond early; 0 once it has passed.
int msLeft(WaitClock& clock, WaitClock::TimePoint deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock.now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

std::vector<uint8_t> modeFrame(uint8_t sub)
{
    return buildFrame(kGroupMode, &sub, 1);
}

}  // namespace

FILE* console()
{
    return g_console ? g_console : stdout;
}

void setConsole(FILE* out)
{
    g_console = out;
}

WaitClock& waitClock()
{
    return *g_clock;
}

void setWaitClock(WaitClock* clock)
{
    g_clock = clock ? clock : &g_systemClock;
}

int openPort()
{
    const std::string p = devroot::path(kPortPath);
    return ::open(p.c_str(), O_RDWR | O_NOCTTY);
}

bool applyLineSettings(int fd)
{
    struct termios tio;
    std::memset(&tio, 0, sizeof tio);
    tio.c_cflag = B115200 | CS8 | CREAD | CLOCAL;
    tio.c_iflag = IGNPAR;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    // All control characters stay 0: VMIN = VTIME = 0, a read returns at once.
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcflush(fd, TCIFLUSH) != 0)
        return false;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

std::vector<uint8_t> buildFrame(uint8_t group, const uint8_t* payload, size_t n)
{
    std::vector<uint8_t> f;
    f.reserve(n + 7);
    f.push_back(0xFA);
    f.push_back(0x01);
    f.push_back(group);
    f.push_back(static_cast<uint8_t>(n >> 8));
    f.push_back(static_cast<uint8_t>(n & 0xFF));
    if (n)
        f.insert(f.end(), payload, payload + n);
    f.push_back(0x00);  // no checksum: always 0
    f.push_back(kEnd);
    return f;
}

std::vector<uint8_t> buildChunkFrame(const uint8_t* data, size_t n)
{
    uint8_t payload[1 + kChunkSize];
    payload[0] = kSubChunk;
    if (n > kChunkSize)
        n = kChunkSize;
    if (n)
        std::memcpy(payload + 1, data, n);
    std::memset(payload + 1 + n, 0xFF, kChunkSize - n);
    return buildFrame(kGroupMode, payload, sizeof payload);
}

bool sendAll(int fd, const std::vector<uint8_t>& frame)
{
    size_t done = 0;
    while (done < frame.size()) {
        ssize_t w = ::write(fd, frame.data() + done, frame.size() - done);
        if (w < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        done += static_cast<size_t>(w);
    }
    return true;
}

Wait waitReply(int fd, int timeoutMs, const std::function<void(int, uint8_t)>& onByte)
{
    WaitClock& clock = waitClock();
    const bool bounded = timeoutMs != kNoTimeout;
    const WaitClock::TimePoint deadline = clock.now() + std::chrono::milliseconds(bounded ? timeoutMs : 0);
    int pos = 0;
    for (;;) {
        int left = kNoTimeout;
        if (bounded) {
            left = msLeft(clock, deadline);
            if (left == 0)
                return Wait::TimedOut;
        }
        struct pollfd pfd = {fd, POLLIN, 0};
        int r = clock.poll(&pfd, left);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return Wait::Failed;
        }
        if (r == 0)
            continue;  // the deadline check above ends a bounded wait
        // The far end went away: no answer can come any more.
        const Wait broken = (pfd.revents & POLLHUP) ? Wait::HungUp : Wait::Failed;
        if (!(pfd.revents & POLLIN))
            return broken;  // hang-up or error without data
        uint8_t b = 0;
        ssize_t n = ::read(fd, &b, 1);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return broken;
        }
        if (n == 0) {
            // Nothing to read although poll said so.
            if (pfd.revents & (POLLHUP | POLLERR))
                return broken;
            continue;
        }
        if (b == kEnd)
            return Wait::Ended;
        std::fprintf(console(), "0x%x ", b);
        if (onByte)
            onByte(pos, b);
        ++pos;
    }
}

int micom_get_mode(int fd)
{
    FILE* out = console();
    std::fputs("GetMode ACK > ", out);
    const std::vector<uint8_t> frame = modeFrame(kSubGetMode);
    int mode = kModeNoAnswer;
    auto capture = [&mode](int pos, uint8_t b) {
        if (pos == 6)
            mode = b;
    };
    sendAll(fd, frame);
    for (int retry = 0;; ++retry) {
        if (waitReply(fd, kReplyTimeoutMs, capture) == Wait::Ended) {
            std::fputs("\n", out);
            return mode;
        }
        if (retry == kRetries) {
            std::fputs("Update Mode Get Fail..... \n", out);
            return mode;
        }
        std::fprintf(out, "Micom Get Version Fail..... Retry %d \n", retry);
        sendAll(fd, frame);
    }
}

bool micom_set_mode(int fd, uint8_t mode)
{
    FILE* out = console();
    std::fputs("SetMode ACK > ", out);
    const uint8_t payload[2] = {kSubSetMode, mode};
    const int timeout = mode == kModeUpdate ? kSetUpdateModeTimeoutMs : kReplyTimeoutMs;
    if (!sendAll(fd, buildFrame(kGroupMode, payload, 2))) {
        std::fputs("Update Mode Set Fail..... \n", out);
        return false;
    }
    if (waitReply(fd, timeout) == Wait::Ended) {
        std::fputs("\n", out);
        return true;
    }
    std::fputs("Update Mode Set Fail..... \n", out);
    return false;
}

std::string micom_get_version(int fd)
{
    FILE* out = console();
    std::fputs("GetVersion ACK > ", out);
    const std::vector<uint8_t> frame = buildFrame(kGroupVersion, nullptr, 0);
    int part[3] = {0, 0, 0};
    bool have[3] = {false, false, false};
    auto capture = [&](int pos, uint8_t b) {
        if (pos >= 5 && pos <= 7) {
            part[pos - 5] = b;
            have[pos - 5] = true;
        }
    };
    auto text = [&]() -> std::string {
        // A reply that ended before the patch byte carried no version.
        if (!have[0] || !have[1] || !have[2])
            return "N/A";
        char buf[16];
        std::snprintf(buf, sizeof buf, "%d.%d.%d", part[0], part[1], part[2]);
        return buf;
    };
    sendAll(fd, frame);
    for (int retry = 0;; ++retry) {
        if (waitReply(fd, kReplyTimeoutMs, capture) == Wait::Ended) {
            std::fputs("\n", out);
            return text();
        }
        if (retry == kRetries)
            return "N/A";
        std::fprintf(out, "Micom Get Version Fail..... Retry %d \n", retry);
        have[0] = have[1] = have[2] = false;
        sendAll(fd, frame);
    }
}

int recovery_set_mode(int fd, uint8_t value)
{
    FILE* out = console();
    std::fprintf(out, "Recovery mode set start, value=%d\n", value);
    const uint8_t payload[1] = {value};
    const std::vector<uint8_t> frame = buildFrame(kGroupRecovery, payload, 1);
    sendAll(fd, frame);
    for (int retry = 0;; ++retry) {
        if (waitReply(fd, kReplyTimeoutMs) == Wait::Ended) {
            std::fputs("Recovery mode set success\n", out);
            return 0;
        }
        if (retry == kRetries)
            return -1;
        std::fprintf(out, "Recovery mode set fail... Retry %d\n", retry);
        sendAll(fd, frame);
    }
}

const char* transferText(Transfer t)
{
    switch (t) {
    case Transfer::Ok:
        return "update sent";
    case Transfer::ReadError:
        return "firmware file read error";
    case Transfer::WriteError:
        return "serial port write error";
    case Transfer::HungUp:
        return "serial port hung up while waiting for an acknowledgement";
    case Transfer::AckFailed:
        return "serial port error while waiting for an acknowledgement";
    }
    return "?";
}

Transfer transferFirmware(int fd, const ChunkReader& reader, const std::function<void(ssize_t)>& beforeEnd)
{
    FILE* out = console();
    // Sends one frame and waits for its acknowledgement, however long the
    // controller takes; only a broken port ends the wait otherwise.
    auto exchange = [&](const std::vector<uint8_t>& frame) -> Transfer {
        if (!sendAll(fd, frame))
            return Transfer::WriteError;
        switch (waitReply(fd, kNoTimeout)) {
        case Wait::Ended:
            std::fputs(" \n", out);
            return Transfer::Ok;
        case Wait::HungUp:
            return Transfer::HungUp;
        default:
            return Transfer::AckFailed;
        }
    };

    Transfer sent = exchange(modeFrame(kSubUpdateStart));
    if (sent != Transfer::Ok)
        return sent;

    long pos = kFirmwareOffset;
    ssize_t got = 0;
    uint8_t buf[kChunkSize];
    for (;;) {
        std::fputs(" \n", out);
        got = reader(buf, kChunkSize);
        if (got < 0)
            return Transfer::ReadError;
        if (got == 0)
            break;
        pos += got;
        std::fprintf(out, "File read Ok. read len %d. file pos %ld !!! \n", static_cast<int>(got), pos);
        sent = exchange(buildChunkFrame(buf, static_cast<size_t>(got)));
        if (sent != Transfer::Ok)
            return sent;
    }
    std::fprintf(out, "File read End. read len %d !!! \n", static_cast<int>(got));
    if (beforeEnd)
        beforeEnd(got);
    return exchange(modeFrame(kSubUpdateEnd));
}

}  // namespace micom
