// Driver of the ri0064de module: reset, boot-up register script, chip check,
// RF path programming, one/two-stream tuning with the lock test, the
// emergency-alarm flag and the signal values.
//
// Device 0x30 is the demodulator (register 0xFF selects its page), 0xC4 the
// clock chip. Behind demodulator gateway 8 + p sit path p's RF tuner (0xCC,
// read back as 0xCD) and a switch device (0xC8).

#include <fcntl.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "kvr_mw.h"
#include "ri0064de_tuner.h"
#include "tuner_internal.h"

using tuner::sys;

namespace {

const int kDemod = 0x30;
const int kClock = 0xC4;
const int kRfWrite = 0xCC;
const int kRfRead = 0xCD;
const int kSwitch = 0xC8;
const int kGatewayBase = 8;
const unsigned long kResetRequest = 0xFB03;
const unsigned char kChipId = 0x40;
const char kCtrlDevice[] = "/dev/kvr_ozb_ctrl";

struct RegisterValue {
    unsigned char reg;
    unsigned char value;
};

// Per stream: decoder status, emergency-alarm flags, level block, and the
// three register pairs (page 1).
struct DecoderRegisters {
    unsigned char status;
    unsigned char alarm;
    unsigned char levels;
    unsigned char pairs[3];
};
const DecoderRegisters kDecoder[2] = {
    {0x5C, 0x60, 0x61, {0x65, 0x6C, 0x73}},
    {0x95, 0x99, 0x9A, {0x9E, 0xA5, 0xAC}},
};
const unsigned char kBranchLevels[4] = {0x36, 0x40, 0x4A, 0x54};

// Writes are built at the start, reads land at the middle.
unsigned char g_buf[256];
unsigned char* const g_read = g_buf + 128;

void sleepUs(unsigned long us)
{
    sys().sleep_us(us);
}

// ---- demodulator ----

void demodWrite(int reg, int value)
{
    g_buf[0] = static_cast<unsigned char>(value);
    I2cWriteREG(kDemod, reg, g_buf, 1);
}

void selectPage(int page)
{
    demodWrite(0xFF, page);
}

void demodWrites(std::initializer_list<RegisterValue> writes)
{
    for (const RegisterValue& w : writes)
        demodWrite(w.reg, w.value);
}

bool demodRead(int reg, int length)
{
    return I2cReadREG(kDemod, reg, g_read, length) == length;
}

// ---- clock chip ----

void clockWrites(std::initializer_list<RegisterValue> writes)
{
    for (const RegisterValue& w : writes) {
        g_buf[0] = w.value;
        I2cWriteREG(kClock, w.reg, g_buf, 1);
    }
}

bool clockRead(int reg)
{
    return I2cReadREG(kClock, reg, g_read, 1) == 1;
}

// ---- devices behind an RF path gateway ----

void pathWrite(int path, int device, int reg, const unsigned char* data, int length)
{
    I2cWriteRFTunerREG(kDemod, kGatewayBase + path, device, reg, data, length);
}

void pathWrites(int path, int device, std::initializer_list<RegisterValue> writes)
{
    for (const RegisterValue& w : writes) {
        g_buf[0] = w.value;
        pathWrite(path, device, w.reg, g_buf, 1);
    }
}

// Register pointer first, then the read-back address.
bool rfRead(int path, int reg, int length)
{
    pathWrite(path, kRfWrite, reg, g_buf, 0);
    return I2cReadRFTunerREG(kDemod, kGatewayBase + path, kRfRead, g_read, length) == length;
}

// ---- steps ----

int tunerReset()
{
    if (g_kvr_ozb_ctrl_fd < 0) {
        kvr_mw_log(4, "%s fail : g_kvr_ozb_ctrl_fd (%d).\n", "TunerReset", g_kvr_ozb_ctrl_fd);
        return -1;
    }
    int arg = 0;
    if (sys().ioctl(g_kvr_ozb_ctrl_fd, kResetRequest, &arg) < 0) {
        sys().close(g_kvr_ozb_ctrl_fd);
        g_kvr_ozb_ctrl_fd = -1;
        kvr_mw_log(4, "%s : Tuner reset error. kvr_ozb_ctrl closed.\n", "TunerReset");
        return -1;
    }
    kvr_mw_log(1, "%s : Tuner reset success.\n", "TunerReset");
    return 0;
}

int checkChipVer()
{
    selectPage(0);
    if (!demodRead(0x00, 1)) {
        kvr_mw_log(4, "Chip version read fail.\n");
        return -1;
    }
    if (g_read[0] != kChipId) {
        kvr_mw_log(4, "Abnormal Chip version [%02X].\n", g_read[0]);
        return -1;
    }
    return 0;
}

bool validStream(int tsIndex)
{
    return tsIndex == 0 || tsIndex == 1;
}

bool validChannel(int channel)
{
    return channel >= 0 && channel < TUNER_CHANNELS;
}

// The checks every operation starts with, logged under the operation's name.
bool streamOk(const char* name, int tsIndex)
{
    if (validStream(tsIndex))
        return true;
    kvr_mw_log(4, "%s : Invalid ts_id. [%d]\n", name, tsIndex);
    return false;
}

bool chipOk(const char* name)
{
    if (checkChipVer() == 0)
        return true;
    kvr_mw_log(4, "%s : CheckChipVer fail.\n", name);
    return false;
}

// A demodulator register read into g_read; a failed read is logged as
// `what` and never judged on what an earlier read left there.
bool checkedRead(const char* name, const char* what, int reg, int length = 1)
{
    if (demodRead(reg, length))
        return true;
    kvr_mw_log(4, "%s : %s read fail.\n", name, what);
    return false;
}

// One byte read back during boot-up must equal `expected`.
bool bootCheck1(bool readOk, int number, unsigned char expected, const char* step)
{
    if (!readOk) {
        kvr_mw_log(4, "Register Read %d fail.\n", number);
    } else if (g_read[0] != expected) {
        kvr_mw_log(4, "Abnormal Register Read %d value = [%02X].\n", number, g_read[0]);
    } else {
        return true;
    }
    kvr_mw_log(4, "%s : %s fail.\n", "BootUp", step);
    return false;
}

// Two bytes read back during boot-up must both be zero.
bool bootCheck2(bool readOk, int number, const char* step)
{
    if (!readOk) {
        kvr_mw_log(4, "Register Read %d fail.\n", number);
    } else if (g_read[0] != 0 || g_read[1] != 0) {
        kvr_mw_log(4, "Abnormal Register Read %d value = [%02X][%02X].\n", number, g_read[0],
                   g_read[1]);
    } else {
        return true;
    }
    kvr_mw_log(4, "%s : %s fail.\n", "BootUp", step);
    return false;
}

int bootUp()
{
    // Oscillator.
    clockWrites({{0x00, 0x00}, {0x13, 0x0A}, {0x14, 0x08}, {0x17, 0x06}, {0x18, 0x00}});
    sleepUs(5000);
    clockWrites({{0x00, 0x00}, {0x30, 0x02}, {0x22, 0x00}, {0x23, 0x01}});
    sleepUs(500);
    clockWrites({{0x00, 0x0A}});
    if (!bootCheck1(clockRead(0x10), 1, 0x01, "OSC_Init"))
        return -1;
    clockWrites({{0x00, 0x00}, {0x25, 0x00}});
    sleepUs(1000);
    clockWrites({{0x00, 0x0A}});
    if (!bootCheck1(clockRead(0x11), 2, 0x01, "OSC_Init"))
        return -1;

    // Open the RF side, then the RF tuner's register file on path 0.
    demodWrites({{0xFF, 0x02}, {0x80, 0x00}, {0xFF, 0x03}});
    pathWrites(0, kRfWrite,
               {{0x00, 0x10}, {0x69, 0x00}, {0x00, 0x00}, {0x20, 0x01}, {0x30, 0x02},
                {0x00, 0x01}, {0x32, 0x01}, {0x00, 0x00}, {0x21, 0x01}, {0x22, 0x00},
                {0x23, 0x01}, {0x00, 0x10}, {0x17, 0x01}, {0x18, 0x01}, {0x1A, 0x06},
                {0x4F, 0x18}, {0x51, 0x01}, {0x61, 0x00}, {0x71, 0x00}, {0x9D, 0x01},
                {0x7D, 0x02}, {0x8F, 0x01}, {0x8B, 0xC6}, {0x9A, 0x03}, {0x1C, 0x00},
                {0xB5, 0x00}, {0xB6, 0x1F}, {0xB7, 0x0A}, {0xB9, 0x0F}, {0x33, 0x01},
                {0xC1, 0x01}, {0xC4, 0x1E}, {0xC5, 0x07}, {0xD9, 0x2F}, {0xDA, 0x25},
                {0xDB, 0x12}, {0xDC, 0x14}, {0xDD, 0x16}, {0xDE, 0x12}, {0xDF, 0x14},
                {0xE0, 0x16}, {0xE1, 0x01}});
    pathWrites(0, kRfWrite,
               {{0x00, 0x11}, {0x44, 0x6C}, {0x45, 0x10}, {0x46, 0xA6}, {0x50, 0x16},
                {0x51, 0xA8}, {0x62, 0x00}, {0x63, 0x22}, {0x64, 0x00}, {0x65, 0x88},
                {0x70, 0xE9}, {0x74, 0x75}, {0x75, 0x00}, {0x76, 0x0A}, {0x77, 0x00},
                {0x78, 0x28}, {0x79, 0x00}, {0x7A, 0x39}, {0x7B, 0x00}, {0x7C, 0x86},
                {0x7D, 0x01}, {0x7E, 0xA4}});
    for (int reg = 0x7F; reg <= 0x8A; ++reg)
        pathWrites(0, kRfWrite, {{static_cast<unsigned char>(reg), 0x04}});
    for (int reg = 0x8B; reg <= 0x8D; ++reg)
        pathWrites(0, kRfWrite, {{static_cast<unsigned char>(reg), 0x03}});
    for (int reg = 0x8E; reg <= 0x8F; ++reg)
        pathWrites(0, kRfWrite, {{static_cast<unsigned char>(reg), 0x04}});
    for (int reg = 0x90; reg <= 0x92; ++reg)
        pathWrites(0, kRfWrite, {{static_cast<unsigned char>(reg), 0x05}});
    pathWrites(0, kRfWrite,
               {{0xBD, 0x08}, {0xBE, 0x09}, {0xC4, 0x08}, {0xC5, 0x09}, {0xC9, 0x20},
                {0xCA, 0x20}, {0xCB, 0x30}, {0xCC, 0x41}, {0xCD, 0x50}, {0xCE, 0x5F},
                {0xCF, 0x6F}, {0xD0, 0x80}});

    pathWrites(0, kRfWrite, {{0x00, 0x12}});
    static const unsigned char kLow[6] = {0x06, 0x07, 0x1A, 0x1F, 0x0A, 0x1F};
    static const unsigned char kHigh[6] = {0x06, 0x07, 0x1A, 0x0E, 0x09, 0x0E};
    for (int reg = 0x10; reg <= 0x6F; ++reg)
        pathWrites(0, kRfWrite, {{static_cast<unsigned char>(reg), kLow[(reg - 0x10) % 6]}});
    for (int reg = 0x70; reg <= 0x9F; ++reg)
        pathWrites(0, kRfWrite, {{static_cast<unsigned char>(reg), kHigh[(reg - 0x70) % 6]}});

    pathWrites(0, kRfWrite, {{0x00, 0x14}, {0x10, 0x15}, {0x11, 0x18}, {0x12, 0x00}, {0x15, 0x00}});
    sleepUs(500);

    pathWrites(0, kRfWrite, {{0x00, 0x0A}});
    if (!bootCheck1(rfRead(0, 0x10, 1), 3, 0x01, "RF_REG_SET_1"))
        return -1;

    pathWrites(0, kRfWrite, {{0x00, 0x00}, {0x25, 0x00}});
    sleepUs(10);
    pathWrites(0, kRfWrite, {{0x00, 0x0A}});
    if (!bootCheck1(rfRead(0, 0x11, 1), 4, 0x01, "RF_REG_SET_2"))
        return -1;
    sleepUs(100);

    pathWrites(0, kSwitch,
               {{0x00, 0x00}, {0x21, 0x01}, {0x00, 0xE1}, {0x80, 0xAA}, {0x8F, 0x12},
                {0x8A, 0x60}, {0x6A, 0x0F}, {0x6C, 0x16}, {0x6E, 0x00}, {0x6F, 0xFE},
                {0x70, 0xEE}, {0x8D, 0xA1}, {0x8E, 0x8B}, {0x77, 0x08}, {0x78, 0x09},
                {0x00, 0xE2}, {0x41, 0xA0}, {0x4B, 0x68}, {0x00, 0x00}, {0x21, 0x00},
                {0x10, 0x01}});

    pathWrites(0, kRfWrite, {{0x00, 0x10}, {0x25, 0x01}});
    sleepUs(100);
    pathWrites(0, kRfWrite, {{0x00, 0x1A}});
    if (!bootCheck1(rfRead(0, 0x10, 1), 5, 0x01, "RF_REG_SET_3"))
        return -1;

    pathWrites(0, kRfWrite, {{0x00, 0x10}, {0x14, 0x01}, {0x16, 0x01}, {0x00, 0x00}, {0x26, 0x00}});
    sleepUs(100000);
    pathWrites(0, kRfWrite, {{0x00, 0x1A}});
    if (!bootCheck2(rfRead(0, 0x15, 2), 6, "RF_REG_SET_4"))
        return -1;

    pathWrites(0, kRfWrite, {{0x00, 0x10}, {0xEA, 0x40}, {0xEB, 0x40}});
    sleepUs(10);
    pathWrites(0, kRfWrite, {{0x00, 0x1A}});
    if (!bootCheck2(rfRead(0, 0x15, 2), 7, "RF_REG_SET_5"))
        return -1;

    pathWrites(0, kRfWrite,
               {{0x00, 0x10}, {0x30, 0x00}, {0x31, 0x01}, {0x32, 0x00}, {0x33, 0x03},
                {0x00, 0x14}, {0x1B, 0x01}});
    pathWrites(0, kSwitch,
               {{0x00, 0x00}, {0x21, 0x01}, {0x00, 0xE1}, {0xD3, 0x00}, {0x00, 0x00}, {0x21, 0x00}});
    pathWrites(0, kRfWrite,
               {{0x00, 0x10}, {0x62, 0x00}, {0x48, 0x6F}, {0x49, 0x7E}, {0x4A, 0x91},
                {0x4B, 0x1C}, {0x52, 0x00}, {0x53, 0x00}, {0x54, 0x6B}, {0x55, 0x4D},
                {0x56, 0x00}, {0x57, 0x00}});

    demodWrites({{0xFF, 0x02}, {0x80, 0xE4}, {0xFF, 0x03}});

    static const RegisterValue kPathSwitch[4][3] = {
        {{0x60, 0x03}, {0x61, 0xA0}, {0x69, 0xFB}},
        {{0x60, 0x04}, {0x61, 0xE8}, {0x69, 0xF9}},
        {{0x60, 0x04}, {0x61, 0x0E}, {0x69, 0xFB}},
        {{0x60, 0x02}, {0x61, 0xC6}, {0x69, 0xFC}},
    };
    for (int path = 0; path < TUNER_PATHS; ++path) {
        const RegisterValue* s = kPathSwitch[path];
        pathWrites(path, kSwitch,
                   {{0x00, 0x00}, {0x21, 0x01}, {0x00, 0xE1}, s[0], s[1], s[2], {0x00, 0x00},
                    {0x21, 0x00}});
    }

    demodWrites({{0xFF, 0x0D}, {0x13, 0xF0}, {0x15, 0x10}, {0xFF, 0x0A}, {0x06, 0x0E}, {0x13, 0x40}});
    return 0;
}

int programPath(int path, int channel)
{
    if (path < 0 || path >= TUNER_PATHS) {
        kvr_mw_log(4, "Invalid BR id = [%d].\n", path);
        return -1;
    }
    if (!validChannel(channel))
        return -1;
    const unsigned char* f = FreqTable[path][channel];

    demodWrites({{0xFF, 0x02}, {0x80, 0xE4}, {0xFF, 0x03}});
    pathWrites(path, kSwitch, {{0x00, 0x00}, {0x10, 0x01}});
    pathWrites(path, kRfWrite, {{0x00, 0x10}});
    const unsigned char first[5] = {0x00, 0x00, 0x0E, 0x00, 0x03};
    pathWrite(path, kRfWrite, 0xE7, first, 5);
    const unsigned char second[5] = {0x1F, 0x80, 0x18, 0x00, 0x07};
    pathWrite(path, kRfWrite, 0xE7, second, 5);
    sleepUs(1000);
    pathWrites(path, kRfWrite, {{0x00, 0x10}});
    const unsigned char frequency[5] = {f[0], f[1], f[2], 0xFF, 0xFE};
    pathWrite(path, kRfWrite, 0x58, frequency, 5);
    sleepUs(10000);
    pathWrites(path, kSwitch, {{0x00, 0x00}, {0x10, 0x00}});
    return 0;
}

// Register 0x03 of page 0 holds the mask of the paths being programmed.
void setPathMask(int mask)
{
    selectPage(0);
    demodWrite(0x03, mask);
}

} // namespace

extern "C" {

int g_kvr_ozb_ctrl_fd = -1;

// The channel's centre frequency plus each path's own offset, in kHz.
#define FT_WORD(p, n)                                              \
    (TUNER_FIRST_FREQUENCY_KHZ + TUNER_CHANNEL_STEP_KHZ * (n) + \
     ((p) == 0 ? 170 : (p) == 1 ? 230 : (p) == 2 ? 190 : 130))
#define FT_ENTRY(p, n) \
    { (FT_WORD(p, n) >> 16) & 0xFF, (FT_WORD(p, n) >> 8) & 0xFF, FT_WORD(p, n) & 0xFF }
#define FT_TEN(p, n)                                                                        \
    FT_ENTRY(p, n), FT_ENTRY(p, n + 1), FT_ENTRY(p, n + 2), FT_ENTRY(p, n + 3),             \
        FT_ENTRY(p, n + 4), FT_ENTRY(p, n + 5), FT_ENTRY(p, n + 6), FT_ENTRY(p, n + 7), \
        FT_ENTRY(p, n + 8), FT_ENTRY(p, n + 9)
#define FT_PATH(p) { FT_TEN(p, 0), FT_TEN(p, 10), FT_TEN(p, 20), FT_TEN(p, 30) }

const unsigned char FreqTable[TUNER_PATHS][TUNER_CHANNELS][3] = {
    FT_PATH(0), FT_PATH(1), FT_PATH(2), FT_PATH(3)};
static_assert(sizeof(FreqTable) == 480, "4 paths x 40 channels x 3 bytes");

int TunerOpen(void)
{
    // A second open without a close would otherwise lose the descriptor.
    if (g_kvr_ozb_ctrl_fd >= 0) {
        sys().close(g_kvr_ozb_ctrl_fd);
        g_kvr_ozb_ctrl_fd = -1;
    }
    g_kvr_ozb_ctrl_fd = sys().open(kCtrlDevice, O_RDWR | O_NONBLOCK);
    if (g_kvr_ozb_ctrl_fd < 0) {
        kvr_mw_log(4, "g_kvr_ozb_ctrl_fd open fail : %d\n", g_kvr_ozb_ctrl_fd);
        kvr_mw_log(4, "%s : kvr_ozb_ctrl open fail.\n", "TunerOpen");
        g_kvr_ozb_ctrl_fd = -1;
        return -1;
    }
    tunerReset();
    sleepUs(50);
    if (I2cOpen() != 0) {
        kvr_mw_log(4, "%s : I2cOpen fail.\n", "TunerOpen");
        return -1;
    }
    if (bootUp() != 0) {
        kvr_mw_log(4, "%s : BootUp fail.\n", "TunerOpen");
        return -1;
    }
    setPathMask(0x0F);
    selectPage(0);
    demodWrite(0x06, 0x00);
    selectPage(0);
    demodWrites({{0x0D, 0xE8}, {0x15, 0xE8}, {0x1D, 0xE8}, {0x25, 0xE8}, {0x2F, 0xC1},
                 {0x42, 0xC1}, {0x30, 0xF9}, {0x43, 0xF9}});
    setPathMask(0x00);
    if (checkChipVer() != 0) {
        kvr_mw_log(4, "%s : CheckChipVer fail.\n", "TunerOpen");
        return -1;
    }
    kvr_mw_log(2, "%s was done.\n", "TunerOpen");
    return 0;
}

int TunerClose(void)
{
    tunerReset();
    I2cClose();
    // Descriptor 0 is a valid descriptor; only a negative one means closed.
    if (g_kvr_ozb_ctrl_fd < 0) {
        kvr_mw_log(4, "g_kvr_ozb_ctrl_fd already closed.\n");
    } else {
        sys().close(g_kvr_ozb_ctrl_fd);
        g_kvr_ozb_ctrl_fd = -1;
    }
    return 0;
}

int TunerChannelSet(int channel, int tsIndex, int i2TsStartOrStop)
{
    static const char kName[] = "TunerChannelSet";
    // Every argument is checked before anything is programmed.
    if (i2TsStartOrStop != 0 && i2TsStartOrStop != 1) {
        kvr_mw_log(4, "%s : Invalid i2TsStartOrStop [%d].\n", kName, i2TsStartOrStop);
        return -1;
    }
    if (!streamOk(kName, tsIndex))
        return -1;
    if (!validChannel(channel)) {
        kvr_mw_log(4, "%s : Invalid channel. [%d]\n", kName, channel);
        return -1;
    }
    if (!chipOk(kName))
        return -1;

    if (i2TsStartOrStop == 0) {
        setPathMask(0x0F);
        for (int path = 0; path < TUNER_PATHS; ++path)
            programPath(path, channel);
    } else if (tsIndex == 1) {
        setPathMask(0x08);
        programPath(3, channel);
    } else {
        setPathMask(0x07);
        for (int path = 0; path < 3; ++path)
            programPath(path, channel);
    }
    setPathMask(0x00);
    sleepUs(150000);

    // Lock test: the low four status bits first, then the full pattern
    // after the demodulator had time to settle.
    const int status = kDecoder[tsIndex].status;
    selectPage(1);
    if (!checkedRead(kName, "status", status))
        return -1;
    if ((g_read[0] & 0x0F) != 0x0F)
        return 1;
    sleepUs(500000);
    selectPage(1);
    if (!checkedRead(kName, "status", status))
        return -1;
    if ((g_read[0] & 0x5F) == 0x5F)
        return 0;
    kvr_mw_log(1, "%s : Signal is unlocked [%02X][%dCH].\n", kName, g_read[0],
               channel + TUNER_FIRST_UHF_CHANNEL);
    return 1;
}

int DualTsStartOrStop(int i2TsStartOrStop, int channel)
{
    static const char kName[] = "DualTsStartOrStop";
    int mode;
    const char* message;
    if (i2TsStartOrStop == 1) {
        mode = 0x40;
        message = "%s : Changed to 2 Diversity 2TS Mode. [%dCH]\n";
    } else if (i2TsStartOrStop == 0) {
        mode = 0x00;
        message = "%s : Changed to 4 Diversity 1TS Mode. [%dCH]\n";
    } else {
        kvr_mw_log(2, "%s : Invalid i2TsStartOrStop [%d].\n", kName, i2TsStartOrStop);
        return -1;
    }
    if (channel != -1 && !validChannel(channel)) {
        kvr_mw_log(4, "%s : Invalid channel. [%d]\n", kName, channel);
        return -1;
    }
    if (!chipOk(kName))
        return -1;
    if (channel == -1) {
        // Mode change only: path 3 keeps what it was given last.
        selectPage(0);
        demodWrite(0x06, mode);
    } else {
        setPathMask(0x08);
        selectPage(0);
        demodWrite(0x06, mode);
        programPath(3, channel);
        setPathMask(0x00);
    }
    kvr_mw_log(2, message, kName, channel + TUNER_FIRST_UHF_CHANNEL);
    return 0;
}

int TunerGetEWSFlag(int tsIndex)
{
    static const char kName[] = "TunerGetEWSFlag";
    if (!streamOk(kName, tsIndex) || !chipOk(kName))
        return -1;
    selectPage(1);
    if (!checkedRead(kName, "status", kDecoder[tsIndex].status))
        return -1;
    kvr_mw_log(1,
               tsIndex == 0 ? "DEC0 status register value = [%02X]\n"
                            : "DEC1 status register value = [%02X]\n",
               g_read[0]);
    if (g_read[0] != 0x7F) {
        kvr_mw_log(1, "TMCC information is invalid because signal is not locked.\n");
        return -1;
    }
    if (!checkedRead(kName, "alarm", kDecoder[tsIndex].alarm))
        return -1;
    const int flag = (g_read[0] >> 4) & 1;
    kvr_mw_log(1,
               tsIndex == 0 ? "[DEC0] Start flag for Emergency-Alarm is %d[%02X].\n"
                            : "[DEC1] Start flag for Emergency-Alarm is %d[%02X].\n",
               flag, g_read[0]);
    return flag;
}

float GetSignalStrength(int tsIndex, int* out)
{
    float level;
    if (!out || tuner::readSignal(tsIndex, out, &level) != 0)
        return -1.0f;
    return level;
}

} // extern "C"

namespace {

// Signed 16-bit big-endian in units of 1/512.
float level512(const unsigned char* p)
{
    const int16_t raw = static_cast<int16_t>((p[0] << 8) | p[1]);
    return static_cast<float>(raw) / 512.0f;
}

int unsigned16(const unsigned char* p)
{
    return (p[0] << 8) | p[1];
}

} // namespace

namespace tuner {

int readSignal(int tsIndex, int out[12], float* level)
{
    static const char kName[] = "GetSignalStrength";
    if (!streamOk(kName, tsIndex) || !chipOk(kName))
        return -1;
    const DecoderRegisters& dec = kDecoder[tsIndex];
    int values[12];

    selectPage(1);
    if (!checkedRead(kName, "level", dec.levels, 4))
        return -1;
    const float levelA = level512(g_read);
    values[0] = static_cast<int>(levelA);
    values[1] = static_cast<int>(level512(g_read + 2));

    for (int i = 0; i < 4; ++i) {
        if (!checkedRead(kName, "level", kBranchLevels[i], 2))
            return -1;
        values[2 + i] = static_cast<int>(level512(g_read));
    }
    for (int i = 0; i < 3; ++i) {
        selectPage(1);
        if (!checkedRead(kName, "level", dec.pairs[i], 7))
            return -1;
        values[6 + 2 * i] = unsigned16(g_read + 2);
        values[7 + 2 * i] = unsigned16(g_read);
    }
    std::memcpy(out, values, sizeof values);
    *level = levelA;
    return 0;
}

} // namespace tuner
