// The tuner component created through the OpenMAX core: construction, the
// vendor parameters in the engine's sequences, and the fallback to the base.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "kvr_mw.h"
#include "omx_core.h"
#include "ozb_omx_base.h"
#include "ri0064de_tuner.h"
#include "tuner_sim.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char kEntry[] = "ozb_omx_ri0064de_tuner_component_Init";

uint32_t code(OMX_ERRORTYPE e)
{
    return static_cast<uint32_t>(e);
}

void registerTuner()
{
    ASSERT_EQ(OMX_Init(), OMX_ErrorNone);
    ASSERT_EQ(ozb_omx_core_RegisterComponent(TUNER_COMPONENT_NAME, TUNER_LIBRARY, kEntry,
                                             OZB_OMX_INIT_COMPONENT),
              OMX_ErrorNone);
}

TEST(TunerCreation, ByNameWithItsOwnEntriesAndPrivateRecord)
{
    registerTuner();
    const long before = kvr_mw_live_allocations();
    OMX_HANDLETYPE h = nullptr;
    ASSERT_EQ(OMX_GetHandle(&h, const_cast<char*>(TUNER_COMPONENT_NAME), nullptr, nullptr),
              OMX_ErrorNone);
    auto* c = static_cast<OMX_COMPONENTTYPE*>(h);
    auto* priv = static_cast<ozb_omx_base_source_PrivateType*>(c->pComponentPrivate);
    ASSERT_NE(priv, nullptr);
    EXPECT_EQ(priv->destructor, &ozb_omx_isdbt_tuner_ri0064de_component_Destructor);
    EXPECT_EQ(priv->callbackData, nullptr);
    EXPECT_EQ(priv->callbacks, nullptr);
    EXPECT_EQ(priv->openmaxStandComp, c);
    EXPECT_STREQ(priv->name, "OMX.kvr.broadcast.ri0064de");
    EXPECT_EQ(c->SetParameter, &ozb_omx_isdbt_tuner_ri0064de_component_SetParameter);
    EXPECT_EQ(c->GetParameter, &ozb_omx_isdbt_tuner_ri0064de_component_GetParameter);
    EXPECT_EQ(c->GetConfig, nullptr);
    EXPECT_EQ(c->SetConfig, nullptr);
    EXPECT_EQ(c->GetExtensionIndex, nullptr);
    OMX_STATETYPE state;
    ASSERT_EQ(c->GetState(c, &state), OMX_ErrorNone);
    EXPECT_EQ(state, OMX_StateLoaded);
    EXPECT_GT(kvr_mw_live_allocations(), before);

    EXPECT_EQ(OMX_FreeHandle(h), OMX_ErrorNone);
    EXPECT_EQ(kvr_mw_live_allocations(), before);
}

TEST(TunerCreation, WrongNameAndExhaustedMemory)
{
    registerTuner();
    OMX_HANDLETYPE h = reinterpret_cast<OMX_HANDLETYPE>(1);
    EXPECT_EQ(code(OMX_GetHandle(&h, const_cast<char*>("OMX.kvr.broadcast.ri0064df"), nullptr,
                                 nullptr)),
              0x80001002u);
    EXPECT_EQ(h, nullptr);

    const long before = kvr_mw_live_allocations();
    // 1: the private record; 2: the base's port.
    for (unsigned failing : {1u, 2u}) {
        kvr_mw_fail_allocation(failing);
        EXPECT_EQ(code(OMX_GetHandle(&h, const_cast<char*>(TUNER_COMPONENT_NAME), nullptr,
                                     nullptr)),
                  0x80001000u)
            << failing;
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(kvr_mw_live_allocations(), before) << failing;
    }
    kvr_mw_fail_allocation(0);
}

class Tuner : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerTuner();
        ASSERT_EQ(OMX_GetHandle(&handle, const_cast<char*>(TUNER_COMPONENT_NAME), nullptr,
                                nullptr),
                  OMX_ErrorNone);
        c = static_cast<OMX_COMPONENTTYPE*>(handle);
    }
    void TearDown() override
    {
        OMX_KVR_TUNER_CLOSETYPE close = {0};
        set(OMX_IndexKvrTunerClose, &close);
        OMX_FreeHandle(handle);
    }
    uint32_t set(uint32_t index, void* record)
    {
        return code(c->SetParameter(c, static_cast<OMX_INDEXTYPE>(index), record));
    }
    uint32_t get(uint32_t index, void* record)
    {
        return code(c->GetParameter(c, static_cast<OMX_INDEXTYPE>(index), record));
    }
    void openTuner()
    {
        OMX_KVR_TUNER_OPENTYPE open = {0, 81};
        ASSERT_EQ(set(OMX_IndexKvrTunerOpen, &open), 0u);
        sim.clearTrace();
        log.clear();
    }
    uint32_t tune(int ts, int channel)
    {
        OMX_KVR_TUNER_CHANNELSETTYPE rec = {ts, channel};
        return set(OMX_IndexKvrTunerChannelSet, &rec);
    }
    uint32_t query(int ts, float* level, OMX_KVR_TUNER_SIGNALQUALITYTYPE* q)
    {
        OMX_KVR_TUNER_SIGNALINFOTYPE rec = {ts, level, q};
        return get(OMX_IndexKvrTunerSignalInfo, &rec);
    }
    // Programming traffic to path p (its gateway register on the bus).
    std::vector<std::string> pathWrites(int p)
    {
        char prefix[12];
        std::snprintf(prefix, sizeof prefix, "W 18: %02X CC", 8 + p);
        return sim.lines(prefix);
    }
    void setLevelA(int ts, uint8_t hi, uint8_t lo)
    {
        sim.setDemod(1, ts == 0 ? 0x61 : 0x9A, hi);
        sim.setDemod(1, ts == 0 ? 0x62 : 0x9B, lo);
    }

    TunerSim sim;
    LogCapture log;
    OMX_HANDLETYPE handle = nullptr;
    OMX_COMPONENTTYPE* c = nullptr;
};

TEST_F(Tuner, OpenAndClose)
{
    OMX_KVR_TUNER_OPENTYPE open = {1, 81};
    EXPECT_EQ(set(OMX_IndexKvrTunerOpen, &open), 0u);
    EXPECT_TRUE(log.has(2, "[TUNERCOMP_SetPa] TunerOpen / Success / iTsIndex(1), iCountryCode(81)\n"));
    EXPECT_EQ(g_iCurrentTsMode, -1);
    EXPECT_EQ(sim.openDescriptors(), 2);

    OMX_KVR_TUNER_CLOSETYPE close = {1};
    EXPECT_EQ(set(OMX_IndexKvrTunerClose, &close), 0u);
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_SetPa] TunerClose / iTsIndex(1)\n"));
    EXPECT_EQ(sim.openDescriptors(), 0);
    EXPECT_EQ(g_iCurrentTsMode, -1);

    // A module that does not answer as the ri0064de.
    sim.setDemod(0, 0x00, 0x00);
    EXPECT_EQ(set(OMX_IndexKvrTunerOpen, &open), 0x80001005u);
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_SetPa] TunerOpen / Fail XXXXXX / iTsIndex(1), "
                           "iCountryCode(81) / Please check this log !!!!! X X X X X X X X X X\n"));
}

TEST_F(Tuner, ModeChangeWithoutChannelProgramsNoPath)
{
    openTuner();
    EXPECT_EQ(tune(0, -1), 0u);
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_SetPa] TunerChannelSet / Mode Change, 2TS(3:1) -> 1TS(4:0) "
                           "/ g_iCurrentTsMode(-1 -> 0), iChannelNumber(-1), 1TS Cur Freq(-1)\n"));
    EXPECT_EQ(g_iCurrentTsMode, 0);
    EXPECT_THAT(sim.trace, ElementsAre("W 18: FF 00", "RD 18: 00 #1", "W 18: FF 00", "W 18: 06 00"));

    // Already one-stream: nothing to do.
    sim.clearTrace();
    EXPECT_EQ(tune(0, -1), 0u);
    EXPECT_THAT(sim.trace, IsEmpty());

    EXPECT_EQ(tune(1, -1), 0u);
    EXPECT_EQ(g_iCurrentTsMode, 1);
    EXPECT_THAT(sim.trace, ElementsAre("W 18: FF 00", "RD 18: 00 #1", "W 18: FF 00", "W 18: 06 40"));
}

TEST_F(Tuner, OneStreamTwoStreamAndBack)
{
    openTuner();
    sim.script(1, 0x5C, {0x5F, 0x5F});
    EXPECT_EQ(tune(0, 5), 0u);
    EXPECT_EQ(g_iCurrentTsMode, 0);
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_SetPa] TunerChannelSet / iTsIndex(0), iChannelNumber(5), "
                           "i2TsStartOrStop(0) / 5 Lock Success O O O\n"));
    // Mode switch (path 3) and then the tune of all four paths, five RF
    // tuner writes per programming.
    EXPECT_EQ(pathWrites(3).size(), 2 * 5u);
    EXPECT_EQ(pathWrites(0).size(), 5u);
    EXPECT_EQ(sim.demod(0, 0x06), 0x00);

    // Stream 1 to channel 5: two-stream mode, path 3 only, decoder 1.
    sim.clearTrace();
    log.clear();
    sim.script(1, 0x95, {0x5F, 0x5F});
    EXPECT_EQ(tune(1, 5), 0u);
    EXPECT_EQ(g_iCurrentTsMode, 1);
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_SetPa] TunerChannelSet / Mode Change, 1TS(4:0) -> 2TS(3:1) "
                           "/ g_iCurrentTsMode(0 -> 1), iChannelNumber(5)\n"));
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_SetPa] TunerChannelSet / iTsIndex(1), iChannelNumber(5), "
                           "i2TsStartOrStop(1) / 5 Lock Success O O O\n"));
    EXPECT_EQ(sim.demod(0, 0x06), 0x40);
    EXPECT_THAT(pathWrites(0), IsEmpty());
    EXPECT_THAT(sim.lines("RD 18: 95"), ElementsAre("RD 18: 95 #1", "RD 18: 95 #1"));

    float level;
    OMX_KVR_TUNER_SIGNALQUALITYTYPE q;
    ASSERT_EQ(query(0, &level, &q), 0u);
    EXPECT_EQ(q.i2TsMode, 1);
    EXPECT_EQ(q.iFrequencyKHz, 5 * 6000 + 473143);

    // Back to one stream without a channel: path 3 returns to channel 5,
    // nothing is tuned.
    sim.setRf(3, 0x10, 0x5A, 0x00);
    sim.clearTrace();
    log.clear();
    EXPECT_EQ(tune(0, -1), 0u);
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_SetPa] TunerChannelSet / Mode Change, 2TS(3:1) -> 1TS(4:0) "
                           "/ g_iCurrentTsMode(1 -> 0), iChannelNumber(-1), 1TS Cur Freq(5)\n"));
    EXPECT_EQ(sim.rf(3, 0x10, 0x5A), FreqTable[3][5][2]);
    EXPECT_THAT(sim.lines("RD 18: 5C"), IsEmpty());
    EXPECT_EQ(sim.demod(0, 0x06), 0x00);
}

TEST_F(Tuner, LockFailureAndRefusedChannels)
{
    openTuner();
    sim.script(1, 0x5C, {0x5F, 0x1F});
    EXPECT_EQ(tune(0, 6), 0x80001005u);
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_SetPa] TunerChannelSet / iTsIndex(0), iChannelNumber(6), "
                           "i2TsStartOrStop(0) / 6 Lock Fail X X X\n"));
    // The mode and channel were taken before the tune.
    EXPECT_EQ(g_iCurrentTsMode, 0);
    float level;
    OMX_KVR_TUNER_SIGNALQUALITYTYPE q;
    ASSERT_EQ(query(0, &level, &q), 0u);
    EXPECT_EQ(q.iFrequencyKHz, 6 * 6000 + 473143);

    sim.clearTrace();
    const int refused[][2] = {{2, 5}, {-1, 5}, {0, 40}, {1, -2}, {0, -2}};
    for (const auto& r : refused) {
        EXPECT_EQ(tune(r[0], r[1]), 0x80001005u) << r[0] << "," << r[1];
        EXPECT_EQ(g_iCurrentTsMode, 0);
    }
    EXPECT_THAT(sim.trace, IsEmpty());
    ASSERT_EQ(query(0, &level, &q), 0u);
    EXPECT_EQ(q.iFrequencyKHz, 6 * 6000 + 473143);
}

TEST_F(Tuner, SignalQuery)
{
    openTuner();
    float level = -3.0f;
    OMX_KVR_TUNER_SIGNALQUALITYTYPE q;
    // Register pair 2 of both decoders: words 10 and 9 are 0x002A and 0x03E8.
    for (int reg : {0x6C, 0xA5}) {
        const uint8_t pair[4] = {0x00, 0x2A, 0x03, 0xE8};
        for (int i = 0; i < 4; ++i)
            sim.setDemod(1, reg + i, pair[i]);
    }

    struct Case {
        int ts;
        uint8_t hi, lo;
        float level;
        int levelA, word7, word9;
    };
    const Case cases[] = {
        {0, 0x0F, 0x00, 7.5f, 7, 0, 1000},      // weak: word 9 forced
        {0, 0x18, 0x00, 12.0f, 12, 0, 0x03E8},  // strong enough: as read
        {1, 0x0F, 0x00, 7.5f, 7, 0, 0x03E8},    // stream 1 keeps its value
        {0, 0xFF, 0x00, 0.0f, 0, 100, 1000},    // no level
        {1, 0x00, 0x00, 0.0f, 0, 100, 1000},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.ts * 1000 + k.hi);
        setLevelA(k.ts, k.hi, k.lo);
        std::memset(&q, 0x55, sizeof q);
        ASSERT_EQ(query(k.ts, &level, &q), 0u);
        EXPECT_EQ(level, k.level);
        EXPECT_EQ(q.iLevelA, k.levelA);
        EXPECT_EQ(q.iRegisterPair[0], k.word7);
        EXPECT_EQ(q.iRegisterPair[3], 0x002A);
        EXPECT_EQ(q.iRegisterPair[2], k.word9);
        EXPECT_EQ(q.i2TsMode, 0);
        // No one-stream channel has been tuned yet.
        EXPECT_EQ(q.iFrequencyKHz, 0);
    }

    // A driver failure leaves nothing but the fixed values.
    sim.failRead = [](int, const std::vector<uint8_t>& h) { return h.size() == 1 && h[0] == 0x73; };
    std::memset(&q, 0x55, sizeof q);
    level = 5.0f;
    ASSERT_EQ(query(0, &level, &q), 0u);
    EXPECT_EQ(level, 0.0f);
    EXPECT_THAT(q.iBranchLevel, ElementsAre(0, 0, 0, 0));
    EXPECT_THAT(q.iRegisterPair, ElementsAre(100, 0, 1000, 0, 0, 0));
    EXPECT_EQ(q.iLevelA, 0);
    EXPECT_EQ(q.iLevelB, 0);
    sim.failRead = nullptr;

    OMX_KVR_TUNER_SIGNALINFOTYPE noLevel = {0, nullptr, &q};
    OMX_KVR_TUNER_SIGNALINFOTYPE noRecord = {0, &level, nullptr};
    EXPECT_EQ(get(OMX_IndexKvrTunerSignalInfo, &noLevel), 0x80001005u);
    EXPECT_EQ(get(OMX_IndexKvrTunerSignalInfo, &noRecord), 0x80001005u);
}

TEST_F(Tuner, ReservedQueryNoOpAndNullRecords)
{
    openTuner();
    OMX_KVR_TUNER_RESERVEDTYPE reserved = {1234};
    EXPECT_EQ(get(OMX_IndexKvrTunerReserved, &reserved), 0u);
    EXPECT_EQ(reserved.iValue, 0);
    int anything = 7;
    EXPECT_EQ(set(OMX_IndexKvrTunerNoOp, &anything), 0u);
    for (uint32_t index : {0x7F000037u, 0x7F000038u, 0x7F000039u, 0x7F000041u, 0x02000001u})
        EXPECT_EQ(set(index, nullptr), 0x80001005u) << std::hex << index;
    for (uint32_t index : {0x7F00003Bu, 0x7F00003Du, 0x02000001u})
        EXPECT_EQ(get(index, nullptr), 0x80001005u) << std::hex << index;
    EXPECT_THAT(sim.trace, IsEmpty());
    EXPECT_THAT(log.lines, IsEmpty());
}

TEST_F(Tuner, OtherIndicesGoToTheBase)
{
    int unused = 0;
    EXPECT_EQ(set(0x7F00003A, &unused), 0x8000101Au);
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_SetPa] Strange Command / nParamIndex(0x7f00003a) / Please "
                           "check this log !!!!!\n"));
    EXPECT_EQ(get(0x7F000040, &unused), 0x8000101Au);
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_GetPa] Strange Command / nParamIndex(0x7f000040) / Please "
                           "check this log !!!!!\n"));

    OMX_PARAM_PORTDEFINITIONTYPE def;
    std::memset(&def, 0, sizeof def);
    ozb_omx_base_SetHeader(&def, sizeof def);
    def.nPortIndex = 0;
    EXPECT_EQ(get(OMX_IndexParamPortDefinition, &def), 0u);
    EXPECT_EQ(def.eDir, OMX_DirOutput);
    def.nBufferCountActual = 4;
    EXPECT_EQ(set(OMX_IndexParamPortDefinition, &def), 0u);
    def.nPortIndex = 1;
    EXPECT_EQ(get(OMX_IndexParamPortDefinition, &def), 0x8000101Bu);
    EXPECT_TRUE(log.has(4, "[TUNERCOMP_GetPa] Strange Command / nParamIndex(0x2000001) / Please "
                           "check this log !!!!!\n"));
    EXPECT_THAT(sim.trace, IsEmpty());
}

} // namespace
