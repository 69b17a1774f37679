#ifndef HOLVIK_TESTS_TUNER_SIM_H
#define HOLVIK_TESTS_TUNER_SIM_H
// A simulated ri0064de module behind the tuner's system-call table: the
// control device, the I2C bus with the paged demodulator, the four RF paths
// behind the demodulator's gateways, the clock chip, a transaction trace and
// a virtual clock.
//
// Trace lines (bus addresses in 7-bit form, bytes in hex):
//   "OPEN /dev/i2c-1"      open of a device        "CLOSE 7"   close of a descriptor
//   "RESET"                reset request on the control device
//   "W 18: FF 02"          plain write of the bytes to the selected slave
//   "RD 18: 5C #1"         combined transfer: write of the bytes, read of 1 byte
//   "SLEEP 150000"         a wait, in microseconds

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class TunerSim {
public:
    // Installs itself behind the tuner's system calls; the destructor
    // restores the real ones.
    TunerSim();
    ~TunerSim();
    TunerSim(const TunerSim&) = delete;
    TunerSim& operator=(const TunerSim&) = delete;

    // ---- devices ----
    int i2cFd = 7;
    int ctrlFd = 9;
    bool failI2cOpen = false;
    bool failCtrlOpen = false;
    bool failReset = false;
    // Plain writes return 0 bytes.
    bool failWrites = false;
    // A combined transfer for which this returns true fails (ioctl -1);
    // arguments: 7-bit address and the bytes of the write message.
    std::function<bool(int address, const std::vector<uint8_t>& header)> failRead;

    // Demodulator: register 0xFF selects the page. Page 0 register 0 is the
    // chip identity (0x40).
    uint8_t demod(int page, int reg) const { return demod_[page][reg]; }
    void setDemod(int page, int reg, uint8_t value) { demod_[page][reg] = value; }
    // Reads of (page, reg) return these values first, one per read, then
    // the register's value.
    void script(int page, int reg, std::vector<uint8_t> values);
    // RF tuner register file of a path, by bank (the value written to its
    // register 0x00) and register.
    uint8_t rf(int path, int bank, int reg) const { return rf_[path][bank][reg]; }
    void setRf(int path, int bank, int reg, uint8_t value) { rf_[path][bank][reg] = value; }
    uint8_t switchReg(int path, int bank, int reg) const { return sw_[path][bank][reg]; }
    void setClock(int bank, int reg, uint8_t value) { clock_[bank][reg] = value; }

    // ---- records ----
    std::vector<std::string> trace;
    uint64_t nowUs = 0;
    int openDescriptors() const { return static_cast<int>(open_.size()); }
    void clearTrace() { trace.clear(); }
    // Trace lines that match `prefix` at their start.
    std::vector<std::string> lines(const std::string& prefix) const;

    // Entry points of the system-call table (public for the table only).
    int doOpen(const char* path, int flags);
    int doClose(int fd);
    int doIoctl(int fd, unsigned long request, void* arg);
    long doWrite(int fd, const void* data, unsigned long length);
    void doSleep(unsigned long us);

private:
    using File = std::vector<std::vector<uint8_t>>;  // [bank][reg]
    void busWrite(int address, const uint8_t* data, size_t length);
    bool busRead(int address, const std::vector<uint8_t>& header, uint8_t* out, size_t length);
    uint8_t demodRead(int reg);

    File demod_;
    std::vector<File> rf_, sw_;
    File clock_;
    int page_ = 0;
    int rfBank_[4] = {0, 0, 0, 0};
    int swBank_[4] = {0, 0, 0, 0};
    int rfPointer_[4] = {0, 0, 0, 0};
    int clockBank_ = 0;
    int slave_ = -1;
    std::map<std::pair<int, int>, std::deque<uint8_t>> scripts_;
    std::vector<int> open_;
};

// Captures the lines of the utility library's log while alive.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    struct Line {
        int level;
        std::string text;
    };
    std::vector<Line> lines;
    bool has(const std::string& text) const;
    bool has(int level, const std::string& text) const;
    void clear() { lines.clear(); }
};

#endif
