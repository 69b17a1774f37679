// Framing of register writes and reads on the bus, and the open/close rules
// of the bus device.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ri0064de_tuner.h"
#include "tuner_sim.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class I2cAccess : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(I2cOpen(), 0); sim.clearTrace(); }
    void TearDown() override { I2cClose(); }
    TunerSim sim;
    LogCapture log;
};

TEST_F(I2cAccess, WritesSelectTheSlaveAndSendRegisterThenData)
{
    const unsigned char two[2] = {0xAB, 0xCD};
    EXPECT_EQ(I2cWriteREG(0x30, 0x13, two, 2), 0);
    EXPECT_EQ(I2cWriteREG(0xC4, 0x00, two, 1), 0);
    EXPECT_EQ(I2cWriteRFTunerREG(0x30, 9, 0xCC, 0x58, two, 2), 0);
    // Length 0 sends only the header: the device's register pointer.
    EXPECT_EQ(I2cWriteRFTunerREG(0x30, 11, 0xCC, 0x15, nullptr, 0), 0);
    EXPECT_THAT(sim.trace, ElementsAre("W 18: 13 AB CD", "W 62: 00 AB", "W 18: 09 CC 58 AB CD",
                                       "W 18: 0B CC 15"));
}

TEST_F(I2cAccess, ReadsAreOneWriteThenReadWithoutRepeatedStart)
{
    sim.setDemod(0, 0x9A, 0x11);
    sim.setDemod(0, 0x9B, 0x22);
    sim.setDemod(0, 0x9C, 0x33);
    sim.setDemod(0, 0x9D, 0x44);
    unsigned char out[4] = {};
    // The simulated module refuses any other message shape ("RD BAD").
    EXPECT_EQ(I2cReadREG(0x30, 0x9A, out, 4), 4);
    EXPECT_THAT(out, ElementsAre(0x11, 0x22, 0x33, 0x44));

    sim.setRf(2, 0, 0x40, 0x5A);
    ASSERT_EQ(I2cWriteRFTunerREG(0x30, 10, 0xCC, 0x40, nullptr, 0), 0);
    EXPECT_EQ(I2cReadRFTunerREG(0x30, 10, 0xCD, out, 1), 1);
    EXPECT_EQ(out[0], 0x5A);
    EXPECT_THAT(sim.trace, ElementsAre("RD 18: 9A #4", "W 18: 0A CC 40", "RD 18: 0A CD #1"));
}

TEST_F(I2cAccess, FailedTransfersReportMinusOneAndLeaveTheDestination)
{
    sim.failRead = [](int, const std::vector<uint8_t>&) { return true; };
    unsigned char out[2] = {0xEE, 0xEE};
    EXPECT_EQ(I2cReadREG(0x30, 0x5C, out, 2), -1);
    EXPECT_EQ(I2cReadRFTunerREG(0x30, 8, 0xCD, out, 2), -1);
    EXPECT_THAT(out, ElementsAre(0xEE, 0xEE));

    sim.failWrites = true;
    EXPECT_EQ(I2cWriteREG(0x30, 0x03, out, 1), -1);
    EXPECT_EQ(I2cWriteRFTunerREG(0x30, 8, 0xCC, 0x00, out, 1), -1);
}

TEST_F(I2cAccess, OversizedOrMissingDataIsRefusedWithoutBusTraffic)
{
    unsigned char big[200] = {};
    EXPECT_EQ(I2cWriteREG(0x30, 0x00, big, 127), 0);
    EXPECT_EQ(I2cWriteRFTunerREG(0x30, 8, 0xCC, 0x00, big, 129), 0);
    sim.clearTrace();
    EXPECT_EQ(I2cWriteREG(0x30, 0x00, big, 128), -1);
    EXPECT_EQ(I2cWriteRFTunerREG(0x30, 8, 0xCC, 0x00, big, 130), -1);
    EXPECT_EQ(I2cWriteREG(0x30, 0x00, nullptr, 1), -1);
    EXPECT_EQ(I2cWriteREG(0x30, 0x00, big, -1), -1);
    EXPECT_EQ(I2cReadREG(0x30, 0x00, nullptr, 1), -1);
    EXPECT_EQ(I2cReadREG(0x30, 0x00, big, 0), -1);
    EXPECT_THAT(sim.trace, IsEmpty());
}

TEST(I2cDevice, OpenAndCloseTwice)
{
    TunerSim sim;
    LogCapture log;
    ASSERT_EQ(I2cOpen(), 0);
    EXPECT_EQ(ghI2CInited, 1);
    EXPECT_EQ(ghI2C, sim.i2cFd);
    EXPECT_EQ(I2cOpen(), -1);
    EXPECT_TRUE(log.has(4, "ghI2C already inited.\n"));
    EXPECT_EQ(I2cClose(), 0);
    EXPECT_EQ(ghI2CInited, 0);
    EXPECT_EQ(I2cClose(), 0);
    EXPECT_TRUE(log.has(4, "ghI2C already closed.\n"));
    EXPECT_EQ(sim.openDescriptors(), 0);
}

TEST(I2cDevice, FailedOpenIsAFailureAndCanBeRetried)
{
    TunerSim sim;
    LogCapture log;
    sim.failI2cOpen = true;
    EXPECT_EQ(I2cOpen(), -1);
    EXPECT_EQ(ghI2CInited, 0);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].text.rfind("I2c device driver open fail. [-1][2][", 0), 0u);

    sim.failI2cOpen = false;
    EXPECT_EQ(I2cOpen(), 0);
    EXPECT_EQ(ghI2C, sim.i2cFd);
    EXPECT_EQ(I2cClose(), 0);
}

} // namespace
