// The serial protocol against the simulated microcontroller: frame bytes,
// reply positions, time-outs and retries, and the firmware transfer's stops.

#include "MicomHarness.h"
#include "FirmwareFile.h"
#include "MicomProtocol.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

using namespace micomtest;
using namespace micom;

namespace {

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
    int mode = 0;
    const double s = timed([&] { mode = micom_get_mode(fd); });
    EXPECT_EQ(mode, kModeNoAnswer);
    // Lower bounds prove the waits; upper bounds only catch a wait of another
    // unit, with room for a loaded machine under the sanitizers.
    EXPECT_GE(s, 1.95);
    EXPECT_LT(s, 10.0);
    sim.stop();
    const auto frames = sim.frames();
    ASSERT_EQ(frames.size(), 4u);
    for (size_t i = 1; i < frames.size(); ++i) {
        const long gap = frames[i].ms - frames[i - 1].ms;
        EXPECT_GE(gap, 480) << "retry " << i;
        EXPECT_LT(gap, 3000) << "retry " << i;
    }
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
    struct Case {
        uint8_t mode;
        double atLeast, below;
    };
    // Mode 0 must give up before update mode's second; otherwise the upper
    // bounds leave room for a loaded machine.
    for (const Case c : {Case{3, 0.98, 6.0}, Case{0, 0.48, 0.98}}) {
        Sim sim(root, {"--drop", "0-"});
        open();
        bool ok = true;
        const double s = timed([&] { ok = micom_set_mode(fd, c.mode); });
        EXPECT_FALSE(ok) << int(c.mode);
        EXPECT_GE(s, c.atLeast) << int(c.mode);
        EXPECT_LT(s, c.below) << int(c.mode);
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

TEST_F(Protocol, TransferStopsWithoutEndFrameOnReadErrorOrMissingAck)
{
    struct Case {
        const char* name;
        std::vector<std::string> simOptions;
        long failAtChunk;  // reader fails here; -1 never
        Transfer expected;
        size_t chunksReceived;
    };
    const Case cases[] = {
        {"stick pulled at chunk 2", {"--mode", "3"}, 2, Transfer::ReadError, 2},
        {"chunk 1 never acknowledged", {"--mode", "3", "--no-ack-chunk", "1"}, -1, Transfer::ChunkNotAcked, 2},
        {"controller not in update mode", {"--mode", "0"}, -1, Transfer::StartNotAcked, 0},
    };
    for (const Case& c : cases) {
        Sim sim(root, c.simOptions);
        open();
        long chunk = 0;
        ChunkReader reader = [&](uint8_t* buf, size_t n) -> ssize_t {
            if (chunk == c.failAtChunk)
                return -1;
            ++chunk;
            std::fill(buf, buf + n, static_cast<uint8_t>(chunk));
            return static_cast<ssize_t>(n);  // an endless image
        };
        bool endCallback = false;
        const Transfer t = transferFirmware(fd, reader, [&](ssize_t) { endCallback = true; }, 1000);
        EXPECT_EQ(t, c.expected) << c.name;
        EXPECT_FALSE(endCallback) << c.name;
        close(fd);
        fd = -1;
        sim.stop();
        size_t chunks = 0;
        for (const Frame& f : sim.frames()) {
            ASSERT_GE(f.bytes.size(), 7u);
            EXPECT_FALSE(f.bytes[2] == 0x47 && f.bytes[5] == 0x05) << c.name << ": end frame sent";
            chunks += f.bytes[2] == 0x47 && f.bytes[5] == 0x04;
        }
        EXPECT_EQ(chunks, c.chunksReceived) << c.name;
        // A controller that was in update mode stays there (the update can be
        // run again); one that never entered it is left alone.
        EXPECT_EQ(sim.mode(), c.expected == Transfer::StartNotAcked ? 0 : 2) << c.name;
    }
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
