// The OpenMAX component "OMX.kvr.broadcast.ri0064de": a source component of
// the board's base whose vendor parameters open, close and tune the tuner
// module and read its signal information.

#include <cstdint>
#include <cstring>

#include "kvr_mw.h"
#include "ozb_omx_base.h"
#include "ri0064de_tuner.h"
#include "tuner_internal.h"

namespace {

// The channel last tuned in one-stream mode; -1 when none. It is what the
// signal information reports as the frequency, and what one-stream mode
// returns to when the engine names no channel.
int g_iCurrent1TsChannel = -1;

OMX_ERRORTYPE channelSet(const OMX_KVR_TUNER_CHANNELSETTYPE& rec)
{
    const int ts = rec.iTsIndex;
    const int channel = rec.iChannelNumber;
    // Refused before the mode or any path is touched.
    if ((ts != 0 && ts != 1) || channel < -1 || channel >= TUNER_CHANNELS) {
        kvr_mw_log(4,
                   "[TUNERCOMP_SetPa] TunerChannelSet / Invalid parameter / iTsIndex(%d), "
                   "iChannelNumber(%d)\n",
                   ts, channel);
        return OMX_ErrorBadParameter;
    }

    int twoStream;
    int result;
    if (ts == 0) {
        twoStream = 0;
        if (g_iCurrentTsMode != 0) {
            kvr_mw_log(4,
                       "[TUNERCOMP_SetPa] TunerChannelSet / Mode Change, 2TS(3:1) -> 1TS(4:0) / "
                       "g_iCurrentTsMode(%d -> 0), iChannelNumber(%d), 1TS Cur Freq(%d)\n",
                       g_iCurrentTsMode, channel, g_iCurrent1TsChannel);
            g_iCurrentTsMode = 0;
            if (channel == -1) {
                DualTsStartOrStop(0, g_iCurrent1TsChannel);
                return OMX_ErrorNone;
            }
            DualTsStartOrStop(0, channel);
        } else if (channel == -1) {
            return OMX_ErrorNone;
        }
        g_iCurrent1TsChannel = channel;
        result = TunerChannelSet(channel, 0, 0);
    } else {
        twoStream = 1;
        if (g_iCurrentTsMode != 1) {
            kvr_mw_log(4,
                       "[TUNERCOMP_SetPa] TunerChannelSet / Mode Change, 1TS(4:0) -> 2TS(3:1) / "
                       "g_iCurrentTsMode(%d -> 1), iChannelNumber(%d)\n",
                       g_iCurrentTsMode, channel);
            g_iCurrentTsMode = 1;
            DualTsStartOrStop(1, channel);
        }
        if (channel == -1)
            return OMX_ErrorNone;
        result = TunerChannelSet(channel, ts, 1);
    }

    if (result == 0) {
        kvr_mw_log(4,
                   "[TUNERCOMP_SetPa] TunerChannelSet / iTsIndex(%d), iChannelNumber(%d), "
                   "i2TsStartOrStop(%d) / %d Lock Success O O O\n",
                   ts, channel, twoStream, channel);
        return OMX_ErrorNone;
    }
    kvr_mw_log(4,
               "[TUNERCOMP_SetPa] TunerChannelSet / iTsIndex(%d), iChannelNumber(%d), "
               "i2TsStartOrStop(%d) / %d Lock Fail X X X\n",
               ts, channel, twoStream, channel);
    return OMX_ErrorBadParameter;
}

OMX_ERRORTYPE signalInfo(const OMX_KVR_TUNER_SIGNALINFOTYPE& rec)
{
    if (!rec.pfSignalLevel || !rec.pSignalInfo)
        return OMX_ErrorBadParameter;
    OMX_KVR_TUNER_SIGNALQUALITYTYPE& q = *rec.pSignalInfo;

    int values[12] = {0};
    float level = 0.0f;
    // A failed read leaves nothing of an earlier query behind: all zero.
    const bool ok = tuner::readSignal(rec.iTsIndex, values, &level) == 0;
    q.iLevelA = values[0];
    q.iLevelB = values[1];
    std::memcpy(q.iBranchLevel, values + 2, sizeof q.iBranchLevel);
    std::memcpy(q.iRegisterPair, values + 6, sizeof q.iRegisterPair);

    if (!ok || level <= 0.0f) {
        *rec.pfSignalLevel = 0.0f;
        q.iLevelA = 0;
        q.iLevelB = 0;
        q.iRegisterPair[0] = 100;
        q.iRegisterPair[2] = 1000;
    } else {
        *rec.pfSignalLevel = level;
    }
    if (rec.iTsIndex == 0 && *rec.pfSignalLevel <= 10.0f)
        q.iRegisterPair[2] = 1000;

    q.i2TsMode = g_iCurrentTsMode == 1 ? 1 : 0;
    q.iFrequencyKHz = g_iCurrent1TsChannel >= 0
                          ? g_iCurrent1TsChannel * TUNER_CHANNEL_STEP_KHZ + TUNER_FIRST_FREQUENCY_KHZ
                          : 0;
    return OMX_ErrorNone;
}

// An index this component does not handle goes on to the base; it is
// logged because the engine is not expected to send one.
void logStrangeCommand(const char* direction, OMX_INDEXTYPE index)
{
    kvr_mw_log(4,
               "[TUNERCOMP_%s] Strange Command / nParamIndex(0x%x) / Please check this log "
               "!!!!!\n",
               direction, static_cast<unsigned>(index));
}

} // namespace

extern "C" {

int g_iCurrentTsMode = -1;

OMX_ERRORTYPE ozb_omx_ri0064de_tuner_component_Init(OMX_COMPONENTTYPE* component)
{
    char name[OMX_MAX_STRINGNAME_SIZE];
    std::strcpy(name, TUNER_COMPONENT_NAME);
    return ozb_omx_isdbt_tuner_ri0064de_component_Constructor(component, name);
}

OMX_ERRORTYPE ozb_omx_isdbt_tuner_ri0064de_component_Constructor(OMX_COMPONENTTYPE* component,
                                                                 OMX_STRING name)
{
    if (!component)
        return OMX_ErrorBadParameter;
    if (!component->pComponentPrivate) {
        component->pComponentPrivate =
            kvr_mw_calloc(__func__, __LINE__, 1, OZB_OMX_BASE_SOURCE_PRIVATE_SIZE);
        if (!component->pComponentPrivate)
            return OMX_ErrorInsufficientResources;
    }
    auto* priv = static_cast<ozb_omx_base_source_PrivateType*>(component->pComponentPrivate);
    priv->callbackData = nullptr;
    if (ozb_omx_base_source_Constructor(component, name) != OMX_ErrorNone)
        return OMX_ErrorInsufficientResources;

    // No client callbacks until the core hands them over.
    priv->callbackData = nullptr;
    priv->callbacks = nullptr;
    priv->destructor = ozb_omx_isdbt_tuner_ri0064de_component_Destructor;
    component->SetParameter = ozb_omx_isdbt_tuner_ri0064de_component_SetParameter;
    component->GetParameter = ozb_omx_isdbt_tuner_ri0064de_component_GetParameter;
    component->GetConfig = nullptr;
    component->SetConfig = nullptr;
    component->GetExtensionIndex = nullptr;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE ozb_omx_isdbt_tuner_ri0064de_component_Destructor(OMX_COMPONENTTYPE* component)
{
    return ozb_omx_base_source_Destructor(component);
}

OMX_ERRORTYPE ozb_omx_isdbt_tuner_ri0064de_component_SetParameter(OMX_HANDLETYPE component,
                                                                  OMX_INDEXTYPE index,
                                                                  OMX_PTR record)
{
    if (!record)
        return OMX_ErrorBadParameter;
    switch (static_cast<uint32_t>(index)) {
    case OMX_IndexKvrTunerOpen: {
        const auto* rec = static_cast<const OMX_KVR_TUNER_OPENTYPE*>(record);
        if (TunerOpen() != 0) {
            kvr_mw_log(4,
                       "[TUNERCOMP_SetPa] TunerOpen / Fail XXXXXX / iTsIndex(%d), "
                       "iCountryCode(%d) / Please check this log !!!!! X X X X X X X X X X\n",
                       rec->iTsIndex, rec->iCountryCode);
            return OMX_ErrorBadParameter;
        }
        kvr_mw_log(2, "[TUNERCOMP_SetPa] TunerOpen / Success / iTsIndex(%d), iCountryCode(%d)\n",
                   rec->iTsIndex, rec->iCountryCode);
        g_iCurrentTsMode = -1;
        g_iCurrent1TsChannel = -1;
        return OMX_ErrorNone;
    }
    case OMX_IndexKvrTunerClose: {
        const auto* rec = static_cast<const OMX_KVR_TUNER_CLOSETYPE*>(record);
        kvr_mw_log(4, "[TUNERCOMP_SetPa] TunerClose / iTsIndex(%d)\n", rec->iTsIndex);
        TunerClose();
        g_iCurrentTsMode = -1;
        g_iCurrent1TsChannel = -1;
        return OMX_ErrorNone;
    }
    case OMX_IndexKvrTunerNoOp:
        return OMX_ErrorNone;
    case OMX_IndexKvrTunerChannelSet:
        return channelSet(*static_cast<const OMX_KVR_TUNER_CHANNELSETTYPE*>(record));
    default:
        logStrangeCommand("SetPa", index);
        return ozb_omx_base_component_SetParameter(component, index, record);
    }
}

OMX_ERRORTYPE ozb_omx_isdbt_tuner_ri0064de_component_GetParameter(OMX_HANDLETYPE component,
                                                                  OMX_INDEXTYPE index,
                                                                  OMX_PTR record)
{
    if (!record)
        return OMX_ErrorBadParameter;
    switch (static_cast<uint32_t>(index)) {
    case OMX_IndexKvrTunerSignalInfo:
        return signalInfo(*static_cast<const OMX_KVR_TUNER_SIGNALINFOTYPE*>(record));
    case OMX_IndexKvrTunerReserved:
        static_cast<OMX_KVR_TUNER_RESERVEDTYPE*>(record)->iValue = 0;
        return OMX_ErrorNone;
    default:
        logStrangeCommand("GetPa", index);
        return ozb_omx_base_component_GetParameter(component, index, record);
    }
}

} // extern "C"
