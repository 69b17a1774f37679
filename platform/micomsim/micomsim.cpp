// holvik-micomsim: a simulated board microcontroller at the far end of a
// pseudo-terminal. It links the terminal's slave side to a path (the
// development root's dev/ttyS1), answers the tools' frames and records what
// it received.
//
//   --link PATH          symlink to create for the slave side (required)
//   --mode N             starting mode: 0 normal, 3 update, 2 update unfinished
//   --version A.B.C      version to report (default 1.2.3)
//   --log FILE           one line per frame: "<ms since start> <hex bytes>",
//                        "bad <hex>" for bytes that did not form a frame
//   --firmware FILE      the firmware bytes received since the last update start
//   --state FILE         "mode N" (and "recovery V") rewritten on every change
//   --delay MS           wait this long before every answer
//   --drop A-B           do not answer frames A to B (counted from 0; "A-" up to the end)
//   --hold-chunk K       hold the answer to firmware chunk K (from 0) of an update
//                        until SIGUSR1 arrives: a controller slow to write flash
//   --garbage            answer every frame with a short meaningless reply
//
// Mode state: update start (in update mode) makes the mode 2 until the update
// end frame, which makes it 0. Start, chunk and end frames are only answered
// in update mode (3 or 2). Stops on SIGTERM or SIGINT.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_release = 0;

void onSignal(int)
{
    g_stop = 1;
}

void onRelease(int)
{
    g_release = 1;
}

struct Options {
    std::string link, log, firmware, state;
    int mode = 0;
    int version[3] = {1, 2, 3};
    int delayMs = 0;
    long dropFrom = -1, dropTo = -1;
    long holdChunk = -1;
    bool garbage = false;
};

[[noreturn]] void usage(const char* why)
{
    std::fprintf(stderr, "holvik-micomsim: %s\n", why);
    std::exit(2);
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage(("missing value for " + a).c_str());
            return argv[++i];
        };
        if (a == "--link")
            o.link = value();
        else if (a == "--log")
            o.log = value();
        else if (a == "--firmware")
            o.firmware = value();
        else if (a == "--state")
            o.state = value();
        else if (a == "--mode")
            o.mode = std::atoi(value().c_str());
        else if (a == "--version") {
            std::string v = value();
            if (std::sscanf(v.c_str(), "%d.%d.%d", &o.version[0], &o.version[1], &o.version[2]) != 3)
                usage("version must be A.B.C");
        } else if (a == "--delay")
            o.delayMs = std::atoi(value().c_str());
        else if (a == "--drop") {
            std::string v = value();
            size_t dash = v.find('-');
            o.dropFrom = std::atol(v.substr(0, dash).c_str());
            if (dash == std::string::npos)
                o.dropTo = o.dropFrom;
            else if (dash + 1 == v.size())
                o.dropTo = 0x7fffffff;
            else
                o.dropTo = std::atol(v.substr(dash + 1).c_str());
        } else if (a == "--hold-chunk")
            o.holdChunk = std::atol(value().c_str());
        else if (a == "--garbage")
            o.garbage = true;
        else
            usage(("unknown option " + a).c_str());
    }
    if (o.link.empty())
        usage("--link is required");
    return o;
}

class Sim {
public:
    Sim(const Options& o, int master) : o_(o), master_(master), mode_(o.mode)
    {
        if (!o_.log.empty())
            log_ = std::fopen(o_.log.c_str(), "w");
        if (!o_.firmware.empty())
            truncateFirmware();
        writeState();
    }
    ~Sim()
    {
        if (log_)
            std::fclose(log_);
    }

    // Feeds received bytes through the frame parser.
    void feed(const uint8_t* p, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            push(p[i]);
    }

    // Sends the answer held back by --hold-chunk, if one is waiting.
    void release()
    {
        if (held_.empty())
            return;
        std::vector<uint8_t> r;
        r.swap(held_);
        send(r);
    }

private:
    void push(uint8_t b)
    {
        if (buf_.empty() && b != 0xFA) {
            logBad({b});
            return;
        }
        buf_.push_back(b);
        if (buf_.size() == 2 && buf_[1] != 0x01) {
            resync();
            return;
        }
        if (buf_.size() < 5)
            return;
        const size_t len = static_cast<size_t>(buf_[3]) << 8 | buf_[4];
        if (len > 1024) {
            resync();
            return;
        }
        if (buf_.size() < 7 + len)
            return;
        if (buf_[5 + len] != 0x00 || buf_[6 + len] != 0xFE) {
            resync();
            return;
        }
        std::vector<uint8_t> frame;
        frame.swap(buf_);
        handle(frame);
    }

    // Drops the bytes gathered so far and looks for the next start byte
    // among them.
    void resync()
    {
        std::vector<uint8_t> rest(buf_.begin() + 1, buf_.end());
        std::vector<uint8_t> bad(buf_.begin(), buf_.begin() + 1);
        buf_.clear();
        logBad(bad);
        for (uint8_t c : rest)
            push(c);
    }

    void logBad(const std::vector<uint8_t>& bytes)
    {
        if (!log_)
            return;
        std::fputs("bad", log_);
        for (uint8_t c : bytes)
            std::fprintf(log_, " %02X", c);
        std::fputc('\n', log_);
        std::fflush(log_);
    }

    void logFrame(const std::vector<uint8_t>& f)
    {
        if (!log_)
            return;
        const long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start_)
                            .count();
        std::fprintf(log_, "%ld", ms);
        for (uint8_t c : f)
            std::fprintf(log_, " %02X", c);
        std::fputc('\n', log_);
        std::fflush(log_);
    }

    void writeState()
    {
        if (o_.state.empty())
            return;
        const std::string tmp = o_.state + ".tmp";
        FILE* f = std::fopen(tmp.c_str(), "w");
        if (!f)
            return;
        std::fprintf(f, "mode %d\n", mode_);
        if (recovery_ >= 0)
            std::fprintf(f, "recovery %d\n", recovery_);
        std::fclose(f);
        std::rename(tmp.c_str(), o_.state.c_str());
    }

    void truncateFirmware()
    {
        if (FILE* f = std::fopen(o_.firmware.c_str(), "wb"))
            std::fclose(f);
    }

    void appendFirmware(const uint8_t* p, size_t n)
    {
        if (o_.firmware.empty())
            return;
        if (FILE* f = std::fopen(o_.firmware.c_str(), "ab")) {
            std::fwrite(p, 1, n, f);
            std::fclose(f);
        }
    }

    static std::vector<uint8_t> frameOf(uint8_t group, const std::vector<uint8_t>& payload)
    {
        std::vector<uint8_t> r = {0xFA, 0x01, group, static_cast<uint8_t>(payload.size() >> 8),
                                  static_cast<uint8_t>(payload.size())};
        r.insert(r.end(), payload.begin(), payload.end());
        r.push_back(0x00);
        r.push_back(0xFE);
        return r;
    }

    void send(const std::vector<uint8_t>& r)
    {
        if (o_.delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(o_.delayMs));
        size_t done = 0;
        while (done < r.size()) {
            ssize_t w = ::write(master_, r.data() + done, r.size() - done);
            if (w < 0) {
                if (errno == EINTR || errno == EAGAIN)
                    continue;
                return;
            }
            done += static_cast<size_t>(w);
        }
    }

    bool inUpdate() const { return mode_ == 3 || mode_ == 2; }

    void handle(const std::vector<uint8_t>& f)
    {
        logFrame(f);
        const long index = frames_++;
        const uint8_t group = f[2];
        const size_t len = static_cast<size_t>(f[3]) << 8 | f[4];
        const uint8_t* payload = f.data() + 5;
        const uint8_t sub = len ? payload[0] : 0;

        // What the frame does to the controller happens whether or not the
        // answer is lost on the way back.
        bool answer = true;
        bool hold = false;
        std::vector<uint8_t> ack;
        if (group == 0x47 && sub == 0x01) {
            ack = {0x01, static_cast<uint8_t>(mode_)};
        } else if (group == 0x47 && sub == 0x02 && len == 2) {
            ack = {0x02, payload[1]};
            mode_ = payload[1];
            writeState();
        } else if (group == 0x47 && sub == 0x03) {
            answer = inUpdate();
            if (answer) {
                mode_ = 2;
                chunk_ = 0;
                truncateFirmware();
                writeState();
            }
            ack = {0x03};
        } else if (group == 0x47 && sub == 0x04 && len == 257) {
            answer = mode_ == 2;
            if (answer) {
                appendFirmware(payload + 1, 256);
                hold = chunk_ == o_.holdChunk;
                ++chunk_;
            }
            ack = {0x04};
        } else if (group == 0x47 && sub == 0x05) {
            answer = mode_ == 2;
            if (answer) {
                mode_ = 0;
                writeState();
            }
            ack = {0x05};
        } else if (group == 0x48) {
            ack = {static_cast<uint8_t>(o_.version[0]), static_cast<uint8_t>(o_.version[1]),
                   static_cast<uint8_t>(o_.version[2])};
        } else if (group == 0x41 && len == 1) {
            recovery_ = payload[0];
            ack = {payload[0]};
            writeState();
        } else {
            answer = false;
        }
        if (index >= o_.dropFrom && index <= o_.dropTo)
            return;
        if (!answer)
            return;
        if (o_.garbage) {
            send({0x13, 0x37, 0xFE});
            return;
        }
        if (hold) {
            held_ = frameOf(group, ack);
            return;
        }
        send(frameOf(group, ack));
    }

    const Options& o_;
    int master_;
    int mode_;
    int recovery_ = -1;
    long frames_ = 0;
    long chunk_ = 0;
    FILE* log_ = nullptr;
    std::vector<uint8_t> buf_;
    std::vector<uint8_t> held_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = onRelease;
    sigaction(SIGUSR1, &sa, nullptr);

    int master = -1, slave = -1;
    char name[256];
    struct termios raw;
    std::memset(&raw, 0, sizeof raw);
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        std::perror("holvik-micomsim: openpty");
        return 1;
    }
    // The slave side stays open here as well, so that the master never sees
    // a hang-up between two runs of a tool.
    Sim sim(o, master);
    ::unlink(o.link.c_str());
    if (::symlink(name, o.link.c_str()) != 0) {
        std::perror("holvik-micomsim: symlink");
        return 1;
    }
    while (!g_stop) {
        if (g_release) {
            g_release = 0;
            sim.release();
        }
        struct pollfd pfd = {master, POLLIN, 0};
        int r = ::poll(&pfd, 1, 100);
        if (r <= 0)
            continue;
        uint8_t buf[4096];
        ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0)
            sim.feed(buf, static_cast<size_t>(n));
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            break;
    }
    ::unlink(o.link.c_str());
    ::close(slave);
    ::close(master);
    return 0;
}
