// The serial protocol against the simulated microcontroller: frame bytes,
// reply positions, time-outs and retries, and the firmware transfer's stops.

#include "MicomHarness.h"
#include "FirmwareFile.h"
#include "MicomProtocol.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

using namespace micomtest;
using namespace micom;

namespace {

// Time that passes only when the protocol waits for it. Each wait first looks
// at the port for a moment of real time; when nothing came, the whole time-out
// asked for passes at once (a wait without a limit moves a minute on) and
// `onIdle` runs. `asked` keeps every time-out asked for, in order.
class FakeClock : public WaitClock {
public:
    static constexpr int kLookMs = 10;
    static constexpr int kUnboundedStepMs = 60000;

    TimePoint now() override { return now_; }
    int poll(struct pollfd* pfd, int timeoutMs) override
    {
        asked.push_back(timeoutMs);
        const int look = timeoutMs == kNoTimeout ? kLookMs : std::min(timeoutMs, kLookMs);
        const int r = ::poll(pfd, 1, look);
        if (r != 0)
            return r;
        now_ += std::chrono::milliseconds(timeoutMs == kNoTimeout ? kUnboundedStepMs : timeoutMs);
        if (onIdle)
            onIdle();
        return 0;
    }
    long elapsedMs() const
    {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(now_ - TimePoint{}).count());
    }

    std::vector<int> asked;
    std::function<void()> onIdle;

private:
    TimePoint now_{};
};

class Protocol : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.activate();
        quiet = std::fopen("/dev/null", "w");
        setConsole(quiet);
    }
    void TearDown() override
    {
        if (fd >= 0)
            close(fd);
        setWaitClock(nullptr);
        setConsole(nullptr);
        std::fclose(quiet);
    }
    void open()
    {
        fd = openPort();
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(applyLineSettings(fd));
    }
    TempRoot root;
    FILE* quiet = nullptr;
    int fd = -1;
};

template <typename F>
double timed(F f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<uint8_t> seq(size_t n, uint8_t first)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(first + i * 3);
    return v;
}

}  // namespace

TEST_F(Protocol, EveryCommandFrameGoesOutByteForByte)
{
    Sim sim(root, {"--mode", "3", "--version", "4.5.6"});
    open();
    EXPECT_EQ(micom_get_mode(fd), 3);
    EXPECT_TRUE(micom_set_mode(fd, 3));
    EXPECT_EQ(micom_get_version(fd), "4.5.6");
    EXPECT_EQ(recovery_set_mode(fd, 0x5A), 0);
    const std::vector<uint8_t> data = seq(300, 7);  // one full and one short chunk
    size_t at = 0;
    ChunkReader reader = [&](uint8_t* buf, size_t n) -> ssize_t {
        const size_t k = std::min(n, data.size() - at);
        std::copy(data.begin() + at, data.begin() + at + k, buf);
        at += k;
        return static_cast<ssize_t>(k);
    };
    EXPECT_EQ(transferFirmware(fd, reader), Transfer::Ok);
    EXPECT_TRUE(micom_set_mode(fd, 0));

    std::vector<uint8_t> chunk1 = {0xFA, 0x01, 0x47, 0x01, 0x01, 0x04};
    chunk1.insert(chunk1.end(), data.begin(), data.begin() + 256);
    chunk1.insert(chunk1.end(), {0x00, 0xFE});
    std::vector<uint8_t> chunk2 = {0xFA, 0x01, 0x47, 0x01, 0x01, 0x04};
    chunk2.insert(chunk2.end(), data.begin() + 256, data.end());
    chunk2.insert(chunk2.end(), 256 - 44, 0xFF);
    chunk2.insert(chunk2.end(), {0x00, 0xFE});
    const std::vector<std::vector<uint8_t>> expected = {
        {0xFA, 0x01, 0x47, 0x00, 0x01, 0x01, 0x00, 0xFE},        // get mode
        {0xFA, 0x01, 0x47, 0x00, 0x02, 0x02, 0x03, 0x00, 0xFE},  // set mode 3
        {0xFA, 0x01, 0x48, 0x00, 0x00, 0x00, 0xFE},              // get version
        {0xFA, 0x01, 0x41, 0x00, 0x01, 0x5A, 0x00, 0xFE},        // recovery 0x5A
        {0xFA, 0x01, 0x47, 0x00, 0x01, 0x03, 0x00, 0xFE},        // update start
        chunk1,
        chunk2,
        {0xFA, 0x01, 0x47, 0x00, 0x01, 0x05, 0x00, 0xFE},        // update end
        {0xFA, 0x01, 0x47, 0x00, 0x02, 0x02, 0x00, 0x00, 0xFE},  // set mode 0
    };
    sim.stop();
    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(hex(frames[i].bytes), hex(expected[i])) << "frame " << i;
    EXPECT_TRUE(sim.badLines().empty());
    EXPECT_EQ(chunk2.size(), kChunkFrameSize);
}

TEST_F(Protocol, ShortLastChunkIsPaddedWithErasedBytesNotThePreviousChunk)
{
    // Two chunks of the image: the second is 5 bytes long. Frames built one
    // after another must not carry bytes of the first into the second.
    const std::vector<uint8_t> a(256, 0x11);
    const std::vector<uint8_t> b = {1, 2, 3, 4, 5};
    const auto fa = buildChunkFrame(a.data(), a.size());
    const auto fb = buildChunkFrame(b.data(), b.size());
    ASSERT_EQ(fa.size(), kChunkFrameSize);
    ASSERT_EQ(fb.size(), kChunkFrameSize);
    for (size_t i = 0; i < 256; ++i)
        EXPECT_EQ(fb[6 + i], i < 5 ? b[i] : 0xFF) << i;
    EXPECT_EQ(fb[262], 0x00);
    EXPECT_EQ(fb[263], 0xFE);
}

TEST_F(Protocol, ModeQueryRetriesThreeTimesFiveHundredMillisecondsApart)
{
    Sim sim(root, {"--drop", "0-"});
    open();
    FakeClock clock;
    setWaitClock(&clock);
    EXPECT_EQ(micom_get_mode(fd), kModeNoAnswer);
    // Four waits of 500 ms each, one per frame sent, and no time beyond them.
    EXPECT_EQ(clock.asked, std::vector<int>({500, 500, 500, 500}));
    EXPECT_EQ(clock.elapsedMs(), 2000);
    sim.stop();
    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 4u);
    for (const Frame& f : frames)
        EXPECT_EQ(hex(f.bytes), "FA 01 47 00 01 01 00 FE");
}

TEST_F(Protocol, AnsweredRetryReturnsTheMode)
{
    // The first two queries are lost; the third is answered.
    Sim sim(root, {"--mode", "2", "--drop", "0-1"});
    open();
    EXPECT_EQ(micom_get_mode(fd), 2);
    sim.stop();
    EXPECT_EQ(sim.frames().size(), 3u);
}

TEST_F(Protocol, RepliesThatEndTooEarlyCarryNoValue)
{
    // Three bytes then the end byte: no mode at position 6, no version at 5-7.
    Sim sim(root, {"--garbage", "--mode", "3"});
    open();
    EXPECT_EQ(micom_get_mode(fd), kModeNoAnswer);
    EXPECT_EQ(micom_get_version(fd), "N/A");
    sim.stop();
    EXPECT_EQ(sim.frames().size(), 2u);  // an ended reply is not retried
}

TEST_F(Protocol, VersionKeepsEveryDigit)
{
    Sim sim(root, {"--version", "12.100.255"});
    open();
    EXPECT_EQ(micom_get_version(fd), "12.100.255");
}

TEST_F(Protocol, SetModeWaitsLongerForUpdateModeAndReportsNoAnswer)
{
    for (const auto& c : {std::make_pair(3, 1000), std::make_pair(0, 500)}) {
        SCOPED_TRACE(c.first);
        Sim sim(root, {"--drop", "0-"});
        open();
        FakeClock clock;
        setWaitClock(&clock);
        EXPECT_FALSE(micom_set_mode(fd, static_cast<uint8_t>(c.first)));
        EXPECT_EQ(clock.asked, std::vector<int>({c.second}));
        EXPECT_EQ(clock.elapsedMs(), c.second);
        setWaitClock(nullptr);
        close(fd);
        fd = -1;
        sim.stop();
        EXPECT_EQ(sim.frames().size(), 1u) << "set mode is never repeated";
    }
}

TEST_F(Protocol, AQuickAnswerLeavesTheNextWaitItsFullTime)
{
    // An answered query followed at once by an unanswered one: the second
    // wait must still last its own 500 ms per try.
    Sim sim(root, {"--drop", "1-"});
    open();
    EXPECT_EQ(micom_get_mode(fd), 0);
    const double s = timed([&] { EXPECT_EQ(recovery_set_mode(fd, 1), -1); });
    EXPECT_GE(s, 1.95);
    sim.stop();
    EXPECT_EQ(sim.frames().size(), 5u);  // 1 query + 4 recovery frames
}

TEST_F(Protocol, RecoveryFrameAcknowledgedOnce)
{
    Sim sim(root);
    open();
    EXPECT_EQ(recovery_set_mode(fd, 1), 0);
    sim.stop();
    EXPECT_EQ(sim.frames().size(), 1u);
    EXPECT_EQ(sim.recovery(), 1);
}

TEST_F(Protocol, TransferWaitsForASlowControllerAsLongAsItTakes)
{
    // The controller holds its answer to chunk 1 for ten minutes of the
    // protocol's time, then answers (or its port goes away). No wait of the
    // transfer has a limit: the chunk is neither repeated nor given up on.
    enum Then { Answers, PortGone };
    for (const Then then : {Answers, PortGone}) {
        SCOPED_TRACE(then == Answers ? "answers late" : "port gone");
        Sim sim(root, {"--mode", "3", "--hold-chunk", "1"});
        open();
        const std::vector<uint8_t> data = seq(600, 9);  // chunks of 256, 256 and 88 bytes
        size_t at = 0;
        ChunkReader reader = [&](uint8_t* buf, size_t n) -> ssize_t {
            const size_t k = std::min(n, data.size() - at);
            std::copy(data.begin() + at, data.begin() + at + k, buf);
            at += k;
            return static_cast<ssize_t>(k);
        };
        FakeClock clock;
        int idleWhileHeld = 0;
        long heldFromMs = -1, heldForMs = -1;
        clock.onIdle = [&] {
            if (heldForMs >= 0)
                return;
            // Held once chunk 1 arrived: start, chunk 0, chunk 1. The idle
            // step that shows it was already spent waiting for the answer.
            if (heldFromMs < 0 && sim.frames().size() >= 3)
                heldFromMs = clock.elapsedMs() - FakeClock::kUnboundedStepMs;
            if (heldFromMs >= 0 && ++idleWhileHeld == 10) {
                heldForMs = clock.elapsedMs() - heldFromMs;
                if (then == Answers)
                    sim.release();
                else
                    sim.stop();
            }
        };
        setWaitClock(&clock);
        bool endCallback = false;
        const Transfer t = transferFirmware(fd, reader, [&](ssize_t) { endCallback = true; });
        setWaitClock(nullptr);
        EXPECT_GE(heldForMs, 10 * 60 * 1000);
        for (int asked : clock.asked)
            EXPECT_EQ(asked, kNoTimeout);
        close(fd);
        fd = -1;
        sim.stop();
        const auto frames = sim.frames();
        std::vector<uint8_t> subs;
        for (const Frame& f : frames) {
            ASSERT_GE(f.bytes.size(), 7u);
            EXPECT_EQ(f.bytes[2], 0x47);
            subs.push_back(f.bytes[5]);
        }
        if (then == Answers) {
            EXPECT_EQ(t, Transfer::Ok);
            EXPECT_TRUE(endCallback);
            EXPECT_EQ(subs, std::vector<uint8_t>({0x03, 0x04, 0x04, 0x04, 0x05}));
            std::vector<uint8_t> want = data;
            want.resize(768, 0xFF);
            EXPECT_TRUE(sim.firmware() == want);
            EXPECT_EQ(sim.mode(), 0);
        } else {
            // A port whose far end went away ends even an endless wait, is
            // named so, and a transfer that broke off never sends the end
            // frame.
            EXPECT_EQ(t, Transfer::HungUp);
            EXPECT_STREQ(transferText(t), "serial port hung up while waiting for an acknowledgement");
            EXPECT_FALSE(endCallback);
            EXPECT_EQ(subs, std::vector<uint8_t>({0x03, 0x04, 0x04}));
            EXPECT_EQ(sim.mode(), 2);
        }
    }
}

TEST_F(Protocol, TransferStopsWithoutEndFrameOnReadError)
{
    // A stick pulled at chunk 2: two chunks went out, the controller keeps
    // its update pending so the update can run again.
    Sim sim(root, {"--mode", "3"});
    open();
    long chunk = 0;
    ChunkReader reader = [&](uint8_t* buf, size_t n) -> ssize_t {
        if (chunk == 2)
            return -1;
        ++chunk;
        std::fill(buf, buf + n, static_cast<uint8_t>(chunk));
        return static_cast<ssize_t>(n);
    };
    bool endCallback = false;
    EXPECT_EQ(transferFirmware(fd, reader, [&](ssize_t) { endCallback = true; }), Transfer::ReadError);
    EXPECT_FALSE(endCallback);
    close(fd);
    fd = -1;
    sim.stop();
    size_t chunks = 0;
    for (const Frame& f : sim.frames()) {
        ASSERT_GE(f.bytes.size(), 7u);
        EXPECT_FALSE(f.bytes[2] == 0x47 && f.bytes[5] == 0x05) << "end frame sent";
        chunks += f.bytes[2] == 0x47 && f.bytes[5] == 0x04;
    }
    EXPECT_EQ(chunks, 2u);
    EXPECT_EQ(sim.mode(), 2);
}

TEST_F(Protocol, FirmwareFileThatShrinksUnderTheReaderIsAReadError)
{
    // A stick pulled mid-update reads as an error or as a file that ends
    // early; either must stop the transfer, never end it as complete.
    const std::string path = root.dir() + "/micom.bin";
    writeFile(path, std::vector<uint8_t>(0x4000 + 600, 0x42));
    FirmwareFile f;
    ASSERT_TRUE(f.open(path)) << f.error();
    EXPECT_EQ(f.position(), 0x4000);
    uint8_t buf[256];
    EXPECT_EQ(f.read(buf, sizeof buf), 256);
    ASSERT_EQ(truncate(path.c_str(), 0x4000 + 300), 0);
    EXPECT_EQ(f.read(buf, sizeof buf), -1);
    EXPECT_NE(f.error().find("file ended at 16684 of 16984 bytes"), std::string::npos) << f.error();

    // The whole image reads to its end: full chunks, a short one, then 0.
    writeFile(path, std::vector<uint8_t>(0x4000 + 300, 0x42));
    FirmwareFile g;
    ASSERT_TRUE(g.open(path)) << g.error();
    EXPECT_EQ(g.read(buf, sizeof buf), 256);
    EXPECT_EQ(g.read(buf, sizeof buf), 44);
    EXPECT_EQ(g.read(buf, sizeof buf), 0);
}
