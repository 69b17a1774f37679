#ifndef HOLVIK_RI0064DE_TUNER_H
#define HOLVIK_RI0064DE_TUNER_H
/* The ri0064de ISDB-T tuner module: register access over I2C, the module
 * driver, and the OpenMAX component through which the broadcast engine
 * opens, tunes and queries it. Everything here is process-wide: there is
 * one tuner module, driven by one thread at a time. */

#include <stddef.h>

#include "omx_il.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- register access over I2C ---- */

/* Descriptor of the bus device, and 1 while it is open. */
extern int ghI2C;
extern int ghI2CInited;

/* Addresses are 8-bit bus addresses (7-bit address << 1). */
int I2cOpen(void);
int I2cClose(void);
/* [reg, data...] to a device; 0 or -1. At most 127 data bytes. */
int I2cWriteREG(int address, int reg, const unsigned char* data, int length);
/* Reads `length` bytes from `reg`; the length, or -1 (destination untouched). */
int I2cReadREG(int address, int reg, unsigned char* destination, int length);
/* [gateway, device, reg, data...] through the demodulator to an RF path;
 * length 0 only sets the device's register pointer. At most 129 data bytes. */
int I2cWriteRFTunerREG(int address, int gateway, int device, int reg, const unsigned char* data,
                       int length);
/* Reads `length` bytes from the device behind `gateway`. */
int I2cReadRFTunerREG(int address, int gateway, int device, unsigned char* destination,
                      int length);

/* ---- module driver ---- */

#define TUNER_PATHS 4
#define TUNER_CHANNELS 40
/* Channel index 0 is UHF channel 13. */
#define TUNER_FIRST_UHF_CHANNEL 13
/* Centre frequency of channel index n: first + n x step, in kHz. */
#define TUNER_FIRST_FREQUENCY_KHZ 473143
#define TUNER_CHANNEL_STEP_KHZ 6000

/* Descriptor of the module's control device; -1 while closed. */
extern int g_kvr_ozb_ctrl_fd;
/* Per path and channel index, the 24-bit big-endian frequency word that
 * the path's RF tuner is given. */
extern const unsigned char FreqTable[TUNER_PATHS][TUNER_CHANNELS][3];

int TunerOpen(void);
int TunerClose(void);
/* 0 locked, 1 not locked, -1 error. */
int TunerChannelSet(int channel, int tsIndex, int i2TsStartOrStop);
/* Switches between one-stream (0) and two-stream (1) mode and gives path 3
 * `channel`; channel -1 switches the mode only. 0 or -1. */
int DualTsStartOrStop(int i2TsStartOrStop, int channel);
/* Emergency-alarm start flag of stream `tsIndex`: 1 or 0; -1 when the
 * stream is not locked or the module does not answer. */
int TunerGetEWSFlag(int tsIndex);
/* Fills out[12] (levels A and B, four branch levels, three register pairs)
 * and returns level A; -1.0 on error, with out untouched. */
float GetSignalStrength(int tsIndex, int* out);

/* ---- OpenMAX component ---- */

#define TUNER_COMPONENT_NAME "OMX.kvr.broadcast.ri0064de"

/* -1 no mode yet, 0 one-stream mode, 1 two-stream mode. */
extern int g_iCurrentTsMode;

/* Vendor parameter indices. */
typedef enum OMX_KVR_TUNER_INDEXTYPE {
    OMX_IndexKvrTunerChannelSet = 0x7F000037,
    OMX_IndexKvrTunerOpen = 0x7F000038,
    OMX_IndexKvrTunerClose = 0x7F000039,
    OMX_IndexKvrTunerSignalInfo = 0x7F00003B,
    OMX_IndexKvrTunerReserved = 0x7F00003D,
    OMX_IndexKvrTunerNoOp = 0x7F000041
} OMX_KVR_TUNER_INDEXTYPE;

typedef struct OMX_KVR_TUNER_CHANNELSETTYPE {
    OMX_S32 iTsIndex;       /* 0 or 1 */
    OMX_S32 iChannelNumber; /* 0..39, or -1 to change the mode only */
} OMX_KVR_TUNER_CHANNELSETTYPE;

typedef struct OMX_KVR_TUNER_OPENTYPE {
    OMX_S32 iTsIndex;
    OMX_S32 iCountryCode;
} OMX_KVR_TUNER_OPENTYPE;

typedef struct OMX_KVR_TUNER_CLOSETYPE {
    OMX_S32 iTsIndex;
} OMX_KVR_TUNER_CLOSETYPE;

/* Signal information: fourteen 32-bit words. */
typedef struct OMX_KVR_TUNER_SIGNALQUALITYTYPE {
    OMX_S32 i2TsMode;         /* 1 in two-stream mode */
    OMX_S32 iLevelA;          /* integer parts of the two levels */
    OMX_S32 iLevelB;
    OMX_S32 iBranchLevel[4];
    OMX_S32 iRegisterPair[6]; /* pairs 1, 2, 3: second half, then first */
    OMX_S32 iFrequencyKHz;    /* of the current one-stream channel; 0 if none */
} OMX_KVR_TUNER_SIGNALQUALITYTYPE;

typedef struct OMX_KVR_TUNER_SIGNALINFOTYPE {
    OMX_S32 iTsIndex;
    float* pfSignalLevel;
    OMX_KVR_TUNER_SIGNALQUALITYTYPE* pSignalInfo;
} OMX_KVR_TUNER_SIGNALINFOTYPE;

typedef struct OMX_KVR_TUNER_RESERVEDTYPE {
    OMX_S32 iValue;
} OMX_KVR_TUNER_RESERVEDTYPE;

OMX_IL_STATIC_ASSERT(sizeof(OMX_KVR_TUNER_CHANNELSETTYPE) == 8, "channel-set record");
OMX_IL_STATIC_ASSERT(offsetof(OMX_KVR_TUNER_CHANNELSETTYPE, iChannelNumber) == 4,
                     "channel-set record: channel in word 1");
OMX_IL_STATIC_ASSERT(sizeof(OMX_KVR_TUNER_OPENTYPE) == 8, "open record");
OMX_IL_STATIC_ASSERT(offsetof(OMX_KVR_TUNER_OPENTYPE, iCountryCode) == 4,
                     "open record: country in word 1");
OMX_IL_STATIC_ASSERT(sizeof(OMX_KVR_TUNER_CLOSETYPE) == 4, "close record");
OMX_IL_STATIC_ASSERT(sizeof(OMX_KVR_TUNER_RESERVEDTYPE) == 4, "reserved-query record");
OMX_IL_STATIC_ASSERT(sizeof(OMX_KVR_TUNER_SIGNALQUALITYTYPE) == 56,
                     "signal-information record: fourteen words");
OMX_IL_STATIC_ASSERT(offsetof(OMX_KVR_TUNER_SIGNALQUALITYTYPE, iLevelA) == 4, "word 1");
OMX_IL_STATIC_ASSERT(offsetof(OMX_KVR_TUNER_SIGNALQUALITYTYPE, iBranchLevel) == 12, "word 3");
OMX_IL_STATIC_ASSERT(offsetof(OMX_KVR_TUNER_SIGNALQUALITYTYPE, iRegisterPair) == 28, "word 7");
OMX_IL_STATIC_ASSERT(offsetof(OMX_KVR_TUNER_SIGNALQUALITYTYPE, iFrequencyKHz) == 52, "word 13");
OMX_IL_STATIC_ASSERT(offsetof(OMX_KVR_TUNER_SIGNALINFOTYPE, pfSignalLevel) == sizeof(void*),
                     "signal query: level pointer after the stream index");
OMX_IL_STATIC_ASSERT(offsetof(OMX_KVR_TUNER_SIGNALINFOTYPE, pSignalInfo) == 2 * sizeof(void*),
                     "signal query: record pointer last");
#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
/* The board's layout: three consecutive words. */
OMX_IL_STATIC_ASSERT(offsetof(OMX_KVR_TUNER_SIGNALINFOTYPE, pfSignalLevel) == 4, "word 1");
OMX_IL_STATIC_ASSERT(offsetof(OMX_KVR_TUNER_SIGNALINFOTYPE, pSignalInfo) == 8, "word 2");
OMX_IL_STATIC_ASSERT(sizeof(OMX_KVR_TUNER_SIGNALINFOTYPE) == 12, "signal query record");
#endif

/* Called by the core to create the component. */
OMX_ERRORTYPE ozb_omx_ri0064de_tuner_component_Init(OMX_COMPONENTTYPE* component);
OMX_ERRORTYPE ozb_omx_isdbt_tuner_ri0064de_component_Constructor(OMX_COMPONENTTYPE* component,
                                                                 OMX_STRING name);
OMX_ERRORTYPE ozb_omx_isdbt_tuner_ri0064de_component_Destructor(OMX_COMPONENTTYPE* component);
OMX_ERRORTYPE ozb_omx_isdbt_tuner_ri0064de_component_SetParameter(OMX_HANDLETYPE component,
                                                                  OMX_INDEXTYPE index,
                                                                  OMX_PTR record);
OMX_ERRORTYPE ozb_omx_isdbt_tuner_ri0064de_component_GetParameter(OMX_HANDLETYPE component,
                                                                  OMX_INDEXTYPE index,
                                                                  OMX_PTR record);

#ifdef __cplusplus
}
#endif

#endif
