#pragma once
// The serial protocol spoken with the board microcontroller on the second
// UART: port settings, command frames, reply reading, time-outs and retries.
//
// Every bounded wait runs against its own monotonic deadline, so a wait that
// ended early never shortens the next one.

#include <poll.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace micom {

// Board path of the microcontroller port.
constexpr const char kPortPath[] = "/dev/ttyS1";

// Command groups (byte 2 of a frame).
constexpr uint8_t kGroupMode = 0x47;
constexpr uint8_t kGroupVersion = 0x48;
constexpr uint8_t kGroupRecovery = 0x41;

// Sub-commands of the mode group (first payload byte).
constexpr uint8_t kSubGetMode = 0x01;
constexpr uint8_t kSubSetMode = 0x02;
constexpr uint8_t kSubUpdateStart = 0x03;
constexpr uint8_t kSubChunk = 0x04;
constexpr uint8_t kSubUpdateEnd = 0x05;

// Mode values reported by the controller, and the tool's "no answer".
constexpr int kModeNormal = 0;
constexpr int kModeUnfinished = 2;
constexpr int kModeUpdate = 3;
constexpr int kModeNoAnswer = 255;

constexpr size_t kChunkSize = 256;
constexpr size_t kChunkFrameSize = 264;
// Firmware data starts this far into the image file.
constexpr long kFirmwareOffset = 0x4000;

constexpr int kReplyTimeoutMs = 500;
constexpr int kSetUpdateModeTimeoutMs = 1000;
// Firmware frames are acknowledged once the controller has written its
// flash, however long that takes: a transfer given up half way would leave
// the controller with half an image.
constexpr int kNoTimeout = -1;
constexpr int kRetries = 3;

// Where the protocol echoes reply bytes and prints its messages (stdout by
// default).
FILE* console();
void setConsole(FILE* out);

// The clock and the port wait under every reply wait: the monotonic clock and
// poll(2) on the board. Tests put in their own to see the time-outs that the
// protocol asks for and to let time pass without waiting for it.
class WaitClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~WaitClock() = default;
    virtual TimePoint now() = 0;
    // poll(2) on one descriptor for at most `timeoutMs` (kNoTimeout: no limit).
    virtual int poll(struct pollfd* pfd, int timeoutMs) = 0;
};
WaitClock& waitClock();
// nullptr puts the monotonic clock and poll(2) back.
void setWaitClock(WaitClock* clock);

// Opens the port below the development root (read-write, not as the
// controlling terminal). Returns the descriptor or -1.
int openPort();

// Raw 115200 8N1, receiver on, modem lines ignored, reads return at once;
// flushes the input queue. Returns false when the port refused the settings.
bool applyLineSettings(int fd);

// FA 01 group len(be16) payload 00 FE.
std::vector<uint8_t> buildFrame(uint8_t group, const uint8_t* payload, size_t n);
// The 264-byte chunk frame; `data` holds `n` <= 256 bytes, the rest of the
// chunk is filled with 0xFF (erased flash).
std::vector<uint8_t> buildChunkFrame(const uint8_t* data, size_t n);

// Writes the whole buffer. Returns false on a write error.
bool sendAll(int fd, const std::vector<uint8_t>& frame);

enum class Wait { Ended, TimedOut, HungUp, Failed };

// Reads reply bytes one at a time until 0xFE or until `timeoutMs` have passed
// (kNoTimeout: until 0xFE, however long); every byte but 0xFE is echoed as
// "0x%x " and handed to `onByte` with its position (from 0). HungUp means the
// far end of the port went away, Failed that the port reported another
// error; either ends even an endless wait.
Wait waitReply(int fd, int timeoutMs, const std::function<void(int pos, uint8_t b)>& onByte = {});

// Mode byte, or 255 when no reply delivered it (after three retries).
int micom_get_mode(int fd);
// True when the controller acknowledged the new mode.
bool micom_set_mode(int fd, uint8_t mode);
// "major.minor.patch", or "N/A" when no version arrived (after three retries).
std::string micom_get_version(int fd);
// 0 on an acknowledged frame, -1 after the retries.
int recovery_set_mode(int fd, uint8_t value);

// Firmware source: fills `buf` with up to `n` bytes; returns the count, 0 at
// the end, -1 on a read error.
using ChunkReader = std::function<ssize_t(uint8_t* buf, size_t n)>;

// ReadError: the firmware file; the others: the port, while sending a frame
// or while waiting for its acknowledgement.
enum class Transfer { Ok, ReadError, WriteError, HungUp, AckFailed };
const char* transferText(Transfer t);

// Sends the update-start frame, the image in 256-byte chunks and the
// update-end frame, each followed by a wait for its acknowledgement with no
// time-out and no retry. `beforeEnd` runs between the last chunk and the end
// frame with the last read count. A read error, a failed write or a port
// that hung up or failed during a wait stops the transfer at once; the end
// frame is then never sent, so the controller keeps its update pending and
// never takes a partial image as complete.
Transfer transferFirmware(int fd, const ChunkReader& reader,
                          const std::function<void(ssize_t lastRead)>& beforeEnd = {});

}  // namespace micom
