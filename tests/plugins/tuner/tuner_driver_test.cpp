// The module driver against the simulated module: boot-up script, chip
// check, path programming, lock test, emergency flag, signal values, waits,
// and the failure paths.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ri0064de_tuner.h"
#include "script_notation.h"
#include "tuner_sim.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

std::vector<std::string> cat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The boot-up register script, step by step.
std::vector<std::string> bootScript()
{
    std::vector<std::string> s = {
        "C4 00=00 13=0A 14=08 17=06 18=00 @5000 00=00 30=02 22=00 23=01 @500",
        "C4 00=0A ?10",
        "C4 00=00 25=00 @1000 00=0A ?11",
        "30 FF=02 80=00 FF=03",
        "CC 00=10 69=00 00=00 20=01 30=02 00=01 32=01 00=00 21=01 22=00 23=01 00=10 17=01 "
        "18=01 1A=06 4F=18 51=01 61=00 71=00 9D=01 7D=02 8F=01 8B=C6 9A=03 1C=00 B5=00 B6=1F "
        "B7=0A B9=0F 33=01 C1=01 C4=1E C5=07 D9=2F DA=25 DB=12 DC=14 DD=16 DE=12 DF=14 E0=16 "
        "E1=01",
        "CC 00=11 44=6C 45=10 46=A6 50=16 51=A8 62=00 63=22 64=00 65=88 70=E9 74=75 75=00 "
        "76=0A 77=00 78=28 79=00 7A=39 7B=00 7C=86 7D=01 7E=A4 7F=04 80=04 81=04 82=04 83=04 "
        "84=04 85=04 86=04 87=04 88=04 89=04 8A=04 8B=03 8C=03 8D=03 8E=04 8F=04 90=05 91=05 "
        "92=05 BD=08 BE=09 C4=08 C5=09 C9=20 CA=20 CB=30 CC=41 CD=50 CE=5F CF=6F D0=80",
    };
    std::string table = "CC 00=12";
    const char* low[6] = {"06", "07", "1A", "1F", "0A", "1F"};
    const char* high[6] = {"06", "07", "1A", "0E", "09", "0E"};
    char reg[3];
    for (int r = 0x10; r < 0x70; ++r) {
        std::snprintf(reg, sizeof reg, "%02X", r);
        table += std::string(" ") + reg + "=" + low[(r - 0x10) % 6];
    }
    for (int r = 0x70; r < 0xA0; ++r) {
        std::snprintf(reg, sizeof reg, "%02X", r);
        table += std::string(" ") + reg + "=" + high[(r - 0x70) % 6];
    }
    s.push_back(table);
    const std::vector<std::string> rest = {
        "CC 00=14 10=15 11=18 12=00 15=00 @500",
        "CC 00=0A ?10",
        "CC 00=00 25=00 @10 00=0A ?11 @100",
        "C8 00=00 21=01 00=E1 80=AA 8F=12 8A=60 6A=0F 6C=16 6E=00 6F=FE 70=EE 8D=A1 8E=8B "
        "77=08 78=09 00=E2 41=A0 4B=68 00=00 21=00 10=01",
        "CC 00=10 25=01 @100 00=1A ?10",
        "CC 00=10 14=01 16=01 00=00 26=00 @100000 00=1A ?15:2",
        "CC 00=10 EA=40 EB=40 @10 00=1A ?15:2",
        "CC 00=10 30=00 31=01 32=00 33=03 00=14 1B=01",
        "C8 00=00 21=01 00=E1 D3=00 00=00 21=00",
        "CC 00=10 62=00 48=6F 49=7E 4A=91 4B=1C 52=00 53=00 54=6B 55=4D 56=00 57=00",
        "30 FF=02 80=E4 FF=03",
        "P0:C8 00=00 21=01 00=E1 60=03 61=A0 69=FB 00=00 21=00",
        "P1:C8 00=00 21=01 00=E1 60=04 61=E8 69=F9 00=00 21=00",
        "P2:C8 00=00 21=01 00=E1 60=04 61=0E 69=FB 00=00 21=00",
        "P3:C8 00=00 21=01 00=E1 60=02 61=C6 69=FC 00=00 21=00",
        "30 FF=0D 13=F0 15=10 FF=0A 06=0E 13=40",
    };
    return cat(s, rest);
}

const char kChipCheck[] = "30 FF=00 ?00";

class Driver : public ::testing::Test {
protected:
    void TearDown() override { TunerClose(); }
    void open()
    {
        ASSERT_EQ(TunerOpen(), 0);
        sim.clearTrace();
        sim.nowUs = 0;
        log.clear();
    }
    TunerSim sim;
    LogCapture log;
};

TEST(FrequencyTable, FollowsThePathOffsetsAndChannelStep)
{
    EXPECT_THAT(FreqTable[0][0], ElementsAre(0x07, 0x38, 0xE1));
    EXPECT_THAT(FreqTable[3][39], ElementsAre(0x0A, 0xCA, 0xC9));
    const int offset[4] = {170, 230, 190, 130};
    for (int p = 0; p < 4; ++p)
        for (int n = 0; n < 40; ++n) {
            const int word = (FreqTable[p][n][0] << 16) | (FreqTable[p][n][1] << 8) | FreqTable[p][n][2];
            EXPECT_EQ(word, 473143 + 6000 * n + offset[p]) << "path " << p << " channel " << n;
        }
}

TEST_F(Driver, OpenResetsBootsAndChecksTheChip)
{
    ASSERT_EQ(TunerOpen(), 0);
    const std::vector<std::string> expected = expandScript(cat(
        cat({"OPEN /dev/kvr_ozb_ctrl", "RESET", "SLEEP 50", "OPEN /dev/i2c-1"}, bootScript()),
        {"30 FF=00 03=0F FF=00 06=00 FF=00 0D=E8 15=E8 1D=E8 25=E8 2F=C1 42=C1 30=F9 43=F9 "
         "FF=00 03=00",
         kChipCheck}));
    EXPECT_THAT(sim.trace, ElementsAreArray(expected));
    EXPECT_EQ(sim.nowUs, 50u + 5000 + 500 + 1000 + 500 + 10 + 100 + 100 + 100000 + 10);
    EXPECT_TRUE(log.has(1, "TunerReset : Tuner reset success.\n"));
    EXPECT_TRUE(log.has("TunerOpen was done.\n"));
    EXPECT_EQ(g_kvr_ozb_ctrl_fd, sim.ctrlFd);
    EXPECT_EQ(ghI2CInited, 1);
}

TEST_F(Driver, CloseReleasesBothDevicesOnce)
{
    open();
    EXPECT_EQ(TunerClose(), 0);
    EXPECT_THAT(sim.trace, ElementsAre("RESET", "CLOSE 7", "CLOSE 9"));
    EXPECT_EQ(g_kvr_ozb_ctrl_fd, -1);
    EXPECT_EQ(sim.openDescriptors(), 0);
    EXPECT_EQ(TunerClose(), 0);
    EXPECT_TRUE(log.has(4, "g_kvr_ozb_ctrl_fd already closed.\n"));
    EXPECT_TRUE(log.has(4, "TunerReset fail : g_kvr_ozb_ctrl_fd (-1).\n"));
}

TEST_F(Driver, ControlDescriptorZeroIsAnOpenDevice)
{
    sim.ctrlFd = 0;
    open();
    EXPECT_EQ(TunerClose(), 0);
    EXPECT_THAT(sim.lines("CLOSE"), ElementsAre("CLOSE 7", "CLOSE 0"));
    EXPECT_FALSE(log.has("g_kvr_ozb_ctrl_fd already closed.\n"));
    EXPECT_EQ(sim.openDescriptors(), 0);
}

TEST_F(Driver, SecondOpenClosesTheControlDeviceFirst)
{
    open();
    EXPECT_EQ(TunerOpen(), -1);  // the bus is still open
    EXPECT_THAT(sim.trace, testing::IsSupersetOf({"CLOSE 9"}));
    EXPECT_EQ(sim.trace.at(0), "CLOSE 9");
    EXPECT_EQ(sim.trace.at(1), "OPEN /dev/kvr_ozb_ctrl");
    EXPECT_TRUE(log.has(4, "TunerOpen : I2cOpen fail.\n"));
    EXPECT_EQ(sim.openDescriptors(), 2);
}

TEST_F(Driver, OpenFailures)
{
    sim.failCtrlOpen = true;
    EXPECT_EQ(TunerOpen(), -1);
    EXPECT_TRUE(log.has(4, "g_kvr_ozb_ctrl_fd open fail : -1\n"));
    EXPECT_TRUE(log.has(4, "TunerOpen : kvr_ozb_ctrl open fail.\n"));
    EXPECT_EQ(sim.openDescriptors(), 0);
    sim.failCtrlOpen = false;

    // A failed bus open leaves the module able to open on the next try.
    sim.failI2cOpen = true;
    EXPECT_EQ(TunerOpen(), -1);
    EXPECT_TRUE(log.has(4, "TunerOpen : I2cOpen fail.\n"));
    EXPECT_EQ(ghI2CInited, 0);
    sim.failI2cOpen = false;
    EXPECT_EQ(TunerOpen(), 0);
    EXPECT_EQ(sim.openDescriptors(), 2);
}

TEST_F(Driver, ResetFailureClosesTheControlDeviceAndOpenGoesOn)
{
    sim.failReset = true;
    EXPECT_EQ(TunerOpen(), 0);
    EXPECT_TRUE(log.has(4, "TunerReset : Tuner reset error. kvr_ozb_ctrl closed.\n"));
    EXPECT_EQ(g_kvr_ozb_ctrl_fd, -1);
    EXPECT_EQ(sim.openDescriptors(), 1);
}

TEST(DriverBoot, StopsAtTheFirstWrongReadBack)
{
    struct Case {
        const char* name;
        std::function<void(TunerSim&)> poke;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"clock 1", [](TunerSim& s) { s.setClock(0x0A, 0x10, 0x00); },
         {"Abnormal Register Read 1 value = [00].\n", "BootUp : OSC_Init fail.\n"}},
        {"clock 2", [](TunerSim& s) { s.setClock(0x0A, 0x11, 0x03); },
         {"Abnormal Register Read 2 value = [03].\n", "BootUp : OSC_Init fail.\n"}},
        {"rf 3", [](TunerSim& s) { s.setRf(0, 0x0A, 0x10, 0x00); },
         {"Abnormal Register Read 3 value = [00].\n", "BootUp : RF_REG_SET_1 fail.\n"}},
        {"rf 4", [](TunerSim& s) { s.setRf(0, 0x0A, 0x11, 0x00); },
         {"Abnormal Register Read 4 value = [00].\n", "BootUp : RF_REG_SET_2 fail.\n"}},
        {"rf 5", [](TunerSim& s) { s.setRf(0, 0x1A, 0x10, 0x02); },
         {"Abnormal Register Read 5 value = [02].\n", "BootUp : RF_REG_SET_3 fail.\n"}},
        {"rf 6", [](TunerSim& s) { s.setRf(0, 0x1A, 0x16, 0x80); },
         {"Abnormal Register Read 6 value = [00][80].\n", "BootUp : RF_REG_SET_4 fail.\n"}},
        {"read fails", [](TunerSim& s) {
             s.failRead = [](int address, const std::vector<uint8_t>&) { return address == 0x62; };
         },
         {"Register Read 1 fail.\n", "BootUp : OSC_Init fail.\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TunerSim sim;
        LogCapture log;
        c.poke(sim);
        EXPECT_EQ(TunerOpen(), -1);
        std::vector<std::string> level4;
        for (const auto& l : log.lines)
            if (l.level == 4)
                level4.push_back(l.text);
        EXPECT_THAT(level4, ElementsAreArray(cat(c.lines, {"TunerOpen : BootUp fail.\n"})));
        TunerClose();
    }
}

TEST_F(Driver, ChipCheckRejectsAnotherChipAndAFailedRead)
{
    sim.setDemod(0, 0x00, 0x41);
    EXPECT_EQ(TunerOpen(), -1);
    EXPECT_TRUE(log.has(4, "Abnormal Chip version [41].\n"));
    EXPECT_TRUE(log.has(4, "TunerOpen : CheckChipVer fail.\n"));
    TunerClose();

    sim.setDemod(0, 0x00, 0x40);
    open();
    // The transfer buffer still holds the 0x40 of the last good check.
    sim.failRead = [](int, const std::vector<uint8_t>& h) { return h.size() == 1 && h[0] == 0x00; };
    EXPECT_EQ(TunerChannelSet(0, 0, 0), -1);
    EXPECT_EQ(DualTsStartOrStop(1, 0), -1);
    EXPECT_EQ(TunerGetEWSFlag(0), -1);
    int out[12] = {};
    EXPECT_EQ(GetSignalStrength(0, out), -1.0f);
    for (const char* name : {"TunerChannelSet", "DualTsStartOrStop", "TunerGetEWSFlag",
                             "GetSignalStrength"})
        EXPECT_TRUE(log.has(4, std::string(name) + " : CheckChipVer fail.\n")) << name;
    EXPECT_THAT(sim.lines("W 18: 03"), IsEmpty());
}

TEST_F(Driver, OneStreamTuneProgramsAllPathsAndTestsDecoder0)
{
    open();
    sim.script(1, 0x5C, {0x5F, 0x5F});
    EXPECT_EQ(TunerChannelSet(0, 0, 0), 0);
    std::vector<std::string> groups = {kChipCheck, "30 FF=00 03=0F"};
    for (int p = 0; p < 4; ++p)
        groups = cat(groups, programmingGroups(p, 0));
    groups = cat(groups, {"30 FF=00 03=00 @150000", "30 FF=01 ?5C @500000 FF=01 ?5C"});
    EXPECT_THAT(sim.trace, ElementsAreArray(expandScript(groups)));
    EXPECT_EQ(sim.nowUs, 4u * (1000 + 10000) + 150000 + 500000);
    for (int p = 0; p < 4; ++p)
        EXPECT_THAT((std::vector<uint8_t>{sim.rf(p, 0x10, 0x58), sim.rf(p, 0x10, 0x59),
                                          sim.rf(p, 0x10, 0x5A)}),
                    ElementsAreArray(FreqTable[p][0], 3));
    EXPECT_EQ(sim.rf(0, 0x10, 0x5A), 0xE1);
}

TEST_F(Driver, TwoStreamTuneProgramsOnlyItsPaths)
{
    open();
    sim.script(1, 0x95, {0x5F, 0x5F});
    EXPECT_EQ(TunerChannelSet(7, 1, 1), 0);
    std::vector<std::string> groups = cat({kChipCheck, "30 FF=00 03=08"}, programmingGroups(3, 7));
    groups = cat(groups, {"30 FF=00 03=00 @150000", "30 FF=01 ?95 @500000 FF=01 ?95"});
    EXPECT_THAT(sim.trace, ElementsAreArray(expandScript(groups)));

    sim.clearTrace();
    sim.script(1, 0x5C, {0x5F, 0x5F});
    EXPECT_EQ(TunerChannelSet(7, 0, 1), 0);
    groups = {kChipCheck, "30 FF=00 03=07"};
    for (int p = 0; p < 3; ++p)
        groups = cat(groups, programmingGroups(p, 7));
    groups = cat(groups, {"30 FF=00 03=00 @150000", "30 FF=01 ?5C @500000 FF=01 ?5C"});
    EXPECT_THAT(sim.trace, ElementsAreArray(expandScript(groups)));
}

TEST_F(Driver, LockTestOutcomes)
{
    struct Case {
        std::vector<uint8_t> status;  // first and second read
        int failReadNumber;           // 1 or 2: that status read fails
        int result;
        uint64_t waitedUs;            // after the 150 ms settle time
        const char* unlockedLine;
    };
    const uint64_t kProgramming = 4 * (1000 + 10000) + 150000;
    const Case cases[] = {
        {{0x5F, 0x5F}, 0, 0, 500000, nullptr},
        {{0x0F, 0xFF}, 0, 0, 500000, nullptr},
        {{0x5F, 0x1F}, 0, 1, 500000, "TunerChannelSet : Signal is unlocked [1F][13CH].\n"},
        {{0x0E}, 0, 1, 0, nullptr},
        // A failed status read is an error, never a verdict on old bytes.
        {{0x5F, 0x5F}, 1, -1, 0, nullptr},
        {{0x5F, 0x5F}, 2, -1, 500000, nullptr},
    };
    open();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.status) + " fail " + std::to_string(c.failReadNumber));
        // A good lock test first leaves 0x5F in the transfer buffer.
        sim.script(1, 0x5C, {0x5F, 0x5F});
        sim.failRead = nullptr;
        ASSERT_EQ(TunerChannelSet(0, 0, 0), 0);
        sim.script(1, 0x5C, c.status);
        int reads = 0;
        const int failOn = c.failReadNumber;
        sim.failRead = [&reads, failOn](int, const std::vector<uint8_t>& h) {
            return h.size() == 1 && h[0] == 0x5C && ++reads == failOn;
        };
        sim.nowUs = 0;
        log.clear();
        EXPECT_EQ(TunerChannelSet(0, 0, 0), c.result);
        EXPECT_EQ(sim.nowUs, kProgramming + c.waitedUs);
        if (c.unlockedLine)
            EXPECT_TRUE(log.has(1, c.unlockedLine));
        else
            EXPECT_FALSE(log.has(1, "TunerChannelSet : Signal is unlocked [1F][13CH].\n"));
    }
    sim.failRead = nullptr;
}

TEST_F(Driver, BadArgumentsAreRefusedBeforeAnyTraffic)
{
    open();
    struct Call {
        int channel, ts, flag;
        const char* line;
    };
    const Call calls[] = {
        {0, 2, 0, "TunerChannelSet : Invalid ts_id. [2]\n"},
        {0, -1, 1, "TunerChannelSet : Invalid ts_id. [-1]\n"},
        {0, 0, 2, "TunerChannelSet : Invalid i2TsStartOrStop [2].\n"},
        {40, 0, 0, "TunerChannelSet : Invalid channel. [40]\n"},
        {-1, 1, 1, "TunerChannelSet : Invalid channel. [-1]\n"},
    };
    for (const Call& c : calls) {
        EXPECT_EQ(TunerChannelSet(c.channel, c.ts, c.flag), -1);
        EXPECT_TRUE(log.has(4, c.line)) << c.line;
    }
    EXPECT_EQ(DualTsStartOrStop(2, 0), -1);
    EXPECT_TRUE(log.has(2, "DualTsStartOrStop : Invalid i2TsStartOrStop [2].\n"));
    EXPECT_EQ(DualTsStartOrStop(1, 40), -1);
    EXPECT_EQ(DualTsStartOrStop(1, -2), -1);
    EXPECT_EQ(TunerGetEWSFlag(2), -1);
    int out[12];
    EXPECT_EQ(GetSignalStrength(-1, out), -1.0f);
    EXPECT_EQ(GetSignalStrength(0, nullptr), -1.0f);
    EXPECT_THAT(sim.trace, IsEmpty());
}

TEST_F(Driver, DualStreamSwitchSetsTheModeAndPath3)
{
    open();
    EXPECT_EQ(DualTsStartOrStop(1, 5), 0);
    EXPECT_THAT(sim.trace, ElementsAreArray(expandScript(cat(
                               {kChipCheck, "30 FF=00 03=08 FF=00 06=40"},
                               cat(programmingGroups(3, 5), {"30 FF=00 03=00"})))));
    EXPECT_TRUE(log.has(2, "DualTsStartOrStop : Changed to 2 Diversity 2TS Mode. [18CH]\n"));
    EXPECT_EQ(sim.demod(0, 0x06), 0x40);

    // Without a channel only the mode changes.
    sim.clearTrace();
    EXPECT_EQ(DualTsStartOrStop(0, -1), 0);
    EXPECT_THAT(sim.trace, ElementsAreArray(expandScript({kChipCheck, "30 FF=00 06=00"})));
    EXPECT_TRUE(log.has(2, "DualTsStartOrStop : Changed to 4 Diversity 1TS Mode. [12CH]\n"));
    EXPECT_EQ(sim.nowUs, 11000u);
}

TEST_F(Driver, EmergencyFlag)
{
    struct Case {
        int ts;
        uint8_t status, alarm;
        int result;
        std::vector<std::string> reads;
        const char* line;
    };
    const Case cases[] = {
        {0, 0x7F, 0x10, 1, {"RD 18: 00 #1", "RD 18: 5C #1", "RD 18: 60 #1"},
         "[DEC0] Start flag for Emergency-Alarm is 1[10].\n"},
        {0, 0x7F, 0xEF, 0, {"RD 18: 00 #1", "RD 18: 5C #1", "RD 18: 60 #1"},
         "[DEC0] Start flag for Emergency-Alarm is 0[EF].\n"},
        {1, 0x7F, 0x30, 1, {"RD 18: 00 #1", "RD 18: 95 #1", "RD 18: 99 #1"},
         "[DEC1] Start flag for Emergency-Alarm is 1[30].\n"},
        {0, 0x3F, 0x10, -1, {"RD 18: 00 #1", "RD 18: 5C #1"},
         "TMCC information is invalid because signal is not locked.\n"},
        {1, 0xFF, 0x10, -1, {"RD 18: 00 #1", "RD 18: 95 #1"},
         "TMCC information is invalid because signal is not locked.\n"},
    };
    open();
    for (const Case& c : cases) {
        sim.clearTrace();
        log.clear();
        const int base = c.ts == 0 ? 0x5C : 0x95;
        sim.setDemod(1, base, c.status);
        sim.setDemod(1, base + 4, c.alarm);
        EXPECT_EQ(TunerGetEWSFlag(c.ts), c.result) << c.line;
        EXPECT_THAT(sim.lines("RD"), ElementsAreArray(c.reads));
        EXPECT_TRUE(log.has(1, c.line)) << c.line;
    }
    // The flag read fails after a locked status: no flag from stale bytes.
    sim.failRead = [](int, const std::vector<uint8_t>& h) { return h.size() == 1 && h[0] == 0x60; };
    sim.setDemod(1, 0x5C, 0x7F);
    EXPECT_EQ(TunerGetEWSFlag(0), -1);
}

TEST_F(Driver, SignalValuesAndTheirScaling)
{
    open();
    const uint8_t levels[4] = {0xFF, 0x00, 0x0C, 0x80};  // A = -0.5, B = 6.25
    for (int i = 0; i < 4; ++i)
        sim.setDemod(1, 0x61 + i, levels[i]);
    const uint8_t branches[4][2] = {{0x14, 0x00}, {0xF6, 0x00}, {0x01, 0x00}, {0x80, 0x00}};
    const int branchRegs[4] = {0x36, 0x40, 0x4A, 0x54};
    for (int i = 0; i < 4; ++i) {
        sim.setDemod(1, branchRegs[i], branches[i][0]);
        sim.setDemod(1, branchRegs[i] + 1, branches[i][1]);
    }
    const int pairRegs[3] = {0x65, 0x6C, 0x73};
    for (int i = 0; i < 3; ++i) {
        const uint8_t bytes[4] = {uint8_t(0x10 * i), 0x0A, 0xFF, uint8_t(0x34 + i)};
        for (int b = 0; b < 4; ++b)
            sim.setDemod(1, pairRegs[i] + b, bytes[b]);
    }
    int out[12];
    EXPECT_EQ(GetSignalStrength(0, out), -0.5f);
    EXPECT_THAT(out, ElementsAre(0, 6, 10, -5, 0, -64, 0xFF34, 0x000A, 0xFF35, 0x100A, 0xFF36,
                                 0x200A));
    EXPECT_THAT(sim.lines("RD"), ElementsAre("RD 18: 00 #1", "RD 18: 61 #4", "RD 18: 36 #2",
                                             "RD 18: 40 #2", "RD 18: 4A #2", "RD 18: 54 #2",
                                             "RD 18: 65 #7", "RD 18: 6C #7", "RD 18: 73 #7"));
    EXPECT_THAT(sim.lines("W 18: FF"), ElementsAre("W 18: FF 00", "W 18: FF 01", "W 18: FF 01",
                                                   "W 18: FF 01", "W 18: FF 01"));

    sim.clearTrace();
    sim.setDemod(1, 0x9A, 0x0C);
    sim.setDemod(1, 0x9B, 0x80);
    EXPECT_EQ(GetSignalStrength(1, out), 6.25f);
    EXPECT_EQ(out[0], 6);
    EXPECT_THAT(sim.lines("RD"), ElementsAre("RD 18: 00 #1", "RD 18: 9A #4", "RD 18: 36 #2",
                                             "RD 18: 40 #2", "RD 18: 4A #2", "RD 18: 54 #2",
                                             "RD 18: 9E #7", "RD 18: A5 #7", "RD 18: AC #7"));

    // A read that fails half-way gives -1.0 and leaves the caller's values.
    sim.failRead = [](int, const std::vector<uint8_t>& h) { return h.size() == 1 && h[0] == 0xAC; };
    int kept[12] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    EXPECT_EQ(GetSignalStrength(1, kept), -1.0f);
    EXPECT_THAT(kept, ElementsAre(7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7));
}

} // namespace
