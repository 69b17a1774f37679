#pragma once
// Test scaffolding for the board tools: a temporary development root, the
// simulated microcontroller on a pseudo-terminal, tool runs with their output,
// and small BMP fixtures.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace micomtest {

// A fresh temporary folder used as HOLVIK_ROOT, removed at the end. It holds
// dev/ (with a black 720x480x32 framebuffer file dev/fb0), home/root/,
// etc/ and run/media/sda1/update/.
class TempRoot {
public:
    TempRoot();
    ~TempRoot();
    const std::string& dir() const { return dir_; }
    std::string at(const std::string& boardPath) const { return dir_ + boardPath; }
    // Makes HOLVIK_ROOT point here for code running in this process.
    void activate() const;

private:
    std::string dir_;
};

// One received frame: milliseconds since the simulator started, and bytes.
struct Frame {
    long ms = 0;
    std::vector<uint8_t> bytes;
};

// The simulated microcontroller, linked at <root>/dev/ttyS1, with its frame
// log, received firmware and state files inside the root.
class Sim {
public:
    Sim(const TempRoot& root, const std::vector<std::string>& options = {});
    ~Sim();
    Sim(const Sim&) = delete;
    Sim& operator=(const Sim&) = delete;

    std::vector<Frame> frames() const;  // complete frames, in arrival order
    std::vector<std::string> badLines() const;
    std::vector<uint8_t> firmware() const;
    int mode() const;      // from the state file
    int recovery() const;  // -1 when no recovery frame arrived
    // Sends the answer held back by "--hold-chunk K" (once chunk K arrived).
    void release();
    // Waits until `n` complete frames have arrived; false after `seconds`.
    bool waitForFrames(size_t n, double seconds = 60) const;
    void stop();

private:
    int stateValue(const std::string& key) const;  // -1 when the state file lacks it

    std::string log_, fw_, state_, link_;
    pid_t pid_ = -1;
};

struct ToolRun {
    int status = -1;  // exit status, or -1 when the tool did not exit normally
    std::string out;
    double seconds = 0;
};

// Runs a tool with HOLVIK_ROOT = root and waits for it.
ToolRun runTool(const std::string& exe, const std::vector<std::string>& args, const TempRoot& root);

// Starts a tool and leaves it running; `*pid` and its output descriptor
// are returned. The caller kills it (by `pid`) and reaps it.
void startTool(const std::string& exe, const std::vector<std::string>& args, const TempRoot& root,
               pid_t* pid, int* outFd);

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& data);
bool exists(const std::string& path);
void makeDirs(const std::string& dir);  // mkdir -p

// A 24-bit bottom-up BMP of w x h with every pixel taken from `pixel(x, y)`
// (y = 0 is the top row), as blue, green, red.
std::vector<uint8_t> makeBmp(int w, int h, uint32_t (*pixel)(int x, int y));
// A recognisable pattern for makeBmp.
uint32_t patternPixel(int x, int y);

constexpr unsigned kXres = 720, kYres = 480;
constexpr size_t kFbBytes = size_t(kXres) * kYres * 4;

// Expected framebuffer after drawing `bmp` (made by makeBmp) centred.
std::vector<uint8_t> expectedScreen(int w, int h, uint32_t (*pixel)(int x, int y));

// Puts a pattern picture of `width` x 10 at `boardPath` below the root. Tests
// give each picture its own width, so the screen tells which one was drawn.
void putPicture(const TempRoot& root, const std::string& boardPath, int width);
// True when the root's framebuffer shows the picture of putPicture(width).
bool screenShows(const TempRoot& root, int width);

std::string hex(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> unhex(const std::string& text);

}  // namespace micomtest
